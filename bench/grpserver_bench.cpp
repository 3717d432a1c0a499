// grpserver_bench: round trips per second of a command the group server's
// dispatcher answers itself (EXCMD_CLOSE_EVENT), sent by one console through
// the server's loop while 1 or 500 consoles are connected, against a raw
// netcore frame echo (a thread of this process echoing each frame on a
// loopback connection) measured in the same run.
//
// Rounds interleave the two: each round times kTripsPerRound echo round
// trips, then as many server round trips, and prints the ratio of their
// rates (server / echo; 1.0 would be as fast as the bare transport). The
// summary gives the minimum and the median of the per-round ratios. Every
// reply is checked (command, CompCode, request id), so a fast wrong answer
// cannot pass.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "group_create.h"
#include "groupdb/groupdb.h"
#include "netcore/netcore.h"
#include "pcfcore/pcfcore.h"
#include "testsupport/testsupport.h"

namespace {

namespace ts = harrow::testsupport;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 7;
constexpr int kTripsPerRound = 300;

SocketAddress Loopback(int port) {
  SocketAddress a{};
  std::snprintf(a.host, sizeof a.host, "127.0.0.1");
  std::snprintf(a.service, sizeof a.service, "%d", port);
  std::snprintf(a.protocol, sizeof a.protocol, "tcp");
  return a;
}

void NoDelay(mqnMQNodeData* node) {
  int on = 1;
  setsockopt(node->socket.handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

mqPcfMessage* Request() {
  mqPcfMessage* m = CreatePcfMessage(EXCMD_CLOSE_EVENT, MQCFT_COMMAND, 256);
  MessageHeader* h = MESSAGE_HEADER(&m->Body);
  std::memcpy(h->MsgId, "BENCH-ROUND-TRIP", 16);
  h->ReplyTag = 1;
  return m;
}

bool CheckedTrip(mqnMQNodeData* node, mqPcfMessage* out, mqPcfMessage* in, MQLONG want_type) {
  if (mnSWrite(out, node, 0, nullptr) != 1 || mnSRead(in, node, 0, nullptr) != 1) return false;
  return in->Cfh->Command == EXCMD_CLOSE_EVENT && in->Cfh->Type == want_type && in->Cfh->CompCode == MQCC_OK &&
         std::memcmp(MESSAGE_HEADER(&in->Body)->MsgId, "BENCH-ROUND-TRIP", 16) == 0;
}

// The baseline: a loopback connection whose far end echoes every frame.
class FrameEcho {
 public:
  FrameEcho() {
    SocketAddress any = Loopback(0);
    server_ = CreateMQNode(&any, MQNODE_MODE_SERVER);
    SocketAddress to = Loopback(static_cast<int>(server_->address.port));
    client_ = CreateMQNode(&to, MQNODE_MODE_CLIENT);
    mnOpen(client_);
    mnOpen(server_);
    accepted_ = server_->accepted;
    NoDelay(client_);
    NoDelay(accepted_);
    thread_ = std::thread([this] {
      mqPcfMessage* m = CreatePcfMessage(0, MQCFT_COMMAND, 256);
      while (mnSRead(m, accepted_, 0, nullptr) == 1 && mnSWrite(m, accepted_, 0, nullptr) == 1) {
      }
      DeletePcfMessage(m);
    });
  }
  ~FrameEcho() {
    shutdown(client_->socket.handle, SHUT_RDWR);
    thread_.join();
    DeleteMQNode(client_);
    DeleteMQNode(accepted_);
    DeleteMQNode(server_);
  }
  mqnMQNodeData* client() { return client_; }

 private:
  mqnMQNodeData* server_ = nullptr;
  mqnMQNodeData* client_ = nullptr;
  mqnMQNodeData* accepted_ = nullptr;
  std::thread thread_;
};

// A group made in a temporary install directory and its running server.
class Group {
 public:
  Group() : dir_("grpserver_bench") {
    const std::string install = dir_.Sub("inst");
    mkdir(install.c_str(), 0700);
    mkdir(dir_.Sub("registry").c_str(), 0700);
    const std::string key = dir_.Sub("signing.key");
    std::ofstream(key) << "5a5b5c5d5e5f606162636465666768696a6b6c6d6e6f70717273747576777879\n";
    chmod(key.c_str(), 0600);
    setenv("HRLCOMPACT", install.c_str(), 1);
    setenv("HRLCOMPACT_REGISTRY", dir_.Sub("registry").c_str(), 1);
    setenv("HRLCOMPACT_SIGNING_KEY", key.c_str(), 1);
    setenv("HRLCOMPACT_BIND_ADDRESS", "127.0.0.1", 1);
    unsetenv("HRLCOMPACT_SVR_OPTIONS");
    port_ = ts::FreeLoopbackPort(true);
    DbSetPrintHook([](const char*) {});  // the creation's backup lines
    grpserver::GroupSpec spec;
    spec.name = "BENCH";
    spec.port = port_;
    spec.max_clients = 600;
    std::string error;
    if (!grpserver::CreateGroup(spec, install, &error)) {
      error_ = "grpcreate: " + error;
      return;
    }
    ts::ServerOptions o;
    o.program = ts::ProgramPath("grpserver");
    o.args = {"-console", "-mBENCH"};
    o.ready_text = "IGE0019";
    if (!server_.Start(o, &error)) error_ = "grpserver: " + error;
  }
  ~Group() { server_.Stop(); }
  const std::string& error() const { return error_; }
  int port() const { return port_; }

 private:
  ts::TempDir dir_;
  ts::ServerProcess server_;
  int port_ = 0;
  std::string error_;
};

Group& TheGroup() {
  static Group* group = new Group();
  return *group;
}

struct Console {
  explicit Console(int port) {
    SocketAddress to = Loopback(port);
    node = CreateMQNode(&to, MQNODE_MODE_CLIENT);
    if (node != nullptr && mnOpen(node) == 1) NoDelay(node);
  }
  ~Console() {
    if (node != nullptr) DeleteMQNode(node);
  }
  mqnMQNodeData* node = nullptr;
};

void PrintEnvironment() {
  static bool printed = false;
  if (printed) return;
  printed = true;
  std::printf("grpserver_bench: %u hardware threads", std::thread::hardware_concurrency());
#if !defined(__OPTIMIZE__)
  std::printf(", WARNING: built without optimisation");
#endif
#ifndef NDEBUG
  std::printf(", WARNING: assertions on");
#endif
  std::printf("\n");
}

void BM_DispatcherRoundTrip(benchmark::State& state) {
  PrintEnvironment();
  const int consoles = static_cast<int>(state.range(0));
  Group& group = TheGroup();
  if (!group.error().empty()) {
    state.SkipWithError(group.error().c_str());
    return;
  }
  std::unique_ptr<mqPcfMessage, int (*)(mqPcfMessage*)> out(Request(), DeletePcfMessage);
  std::unique_ptr<mqPcfMessage, int (*)(mqPcfMessage*)> in(CreatePcfMessage(0, MQCFT_RESPONSE, 256),
                                                           DeletePcfMessage);
  // The idle consoles are accepted (each answered once) before timing.
  std::vector<std::unique_ptr<Console>> idle;
  for (int i = 1; i < consoles; ++i) {
    idle.push_back(std::make_unique<Console>(group.port()));
    if (!CheckedTrip(idle.back()->node, out.get(), in.get(), MQCFT_RESPONSE)) {
      state.SkipWithError("an idle console was not served");
      return;
    }
  }
  Console active(group.port());
  FrameEcho echo;
  std::vector<double> ratios;
  double server_rate_sum = 0;
  for (auto _ : state) {
    ratios.clear();
    for (int round = 0; round < kRounds; ++round) {
      auto t0 = Clock::now();
      for (int i = 0; i < kTripsPerRound; ++i) {
        if (!CheckedTrip(echo.client(), out.get(), in.get(), MQCFT_COMMAND)) {
          state.SkipWithError("echo round trip failed");
          return;
        }
      }
      auto t1 = Clock::now();
      for (int i = 0; i < kTripsPerRound; ++i) {
        if (!CheckedTrip(active.node, out.get(), in.get(), MQCFT_RESPONSE)) {
          state.SkipWithError("server round trip failed or answered wrongly");
          return;
        }
      }
      auto t2 = Clock::now();
      const double echo_rate = kTripsPerRound / std::chrono::duration<double>(t1 - t0).count();
      const double server_rate = kTripsPerRound / std::chrono::duration<double>(t2 - t1).count();
      server_rate_sum += server_rate;
      ratios.push_back(server_rate / echo_rate);
      std::printf("  consoles=%d round %d: server %.0f/s, echo %.0f/s, ratio %.3f\n", consoles, round, server_rate,
                  echo_rate, ratios.back());
    }
  }
  std::vector<double> sorted = ratios;
  std::sort(sorted.begin(), sorted.end());
  state.counters["ratio_min"] = sorted.front();
  state.counters["ratio_median"] = sorted[sorted.size() / 2];
  state.counters["server_trips_per_s"] =
      server_rate_sum / static_cast<double>(kRounds * std::max<int64_t>(state.iterations(), 1));
  std::printf("consoles=%d: ratio (server/echo round trips per second) min %.3f median %.3f\n", consoles,
              sorted.front(), sorted[sorted.size() / 2]);
}

BENCHMARK(BM_DispatcherRoundTrip)->ArgName("consoles")->Arg(1)->Arg(500)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
