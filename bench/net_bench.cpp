// net_bench: round trips of one PCF message over a loopback TCP connection,
// signed and plain, 1 KB and 1 MB, against a raw-socket round trip of the
// same number of bytes measured in the same run. The counter
// "ratio_vs_raw" is (frame round trip time) / (raw round trip time).
//
// Every echoed message is compared with what was sent, so a fast wrong
// answer cannot pass. Payload bytes come from a fixed-seed generator.

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "netcore/netcore.h"
#include "pcfcore/pcfcore.h"

namespace {

using Clock = std::chrono::steady_clock;

// ---- Environment ---------------------------------------------------------

struct KeyFile {
  KeyFile() {
    char templ[] = "/tmp/net_bench.XXXXXX";
    dir = mkdtemp(templ);
    path = dir + "/signing.key";
    FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("8f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c4b5a69788796a5b4c3d2e1f0\n", f);
    std::fclose(f);
    chmod(path.c_str(), 0600);
    setenv("HRLCOMPACT_SIGNING_KEY", path.c_str(), 1);
  }
  ~KeyFile() {
    unlink(path.c_str());
    rmdir(dir.c_str());
  }
  std::string dir;
  std::string path;
};

KeyFile& Key() {
  static KeyFile key;
  return key;
}

std::vector<unsigned char> Payload(std::size_t size) {
  std::mt19937 rng(20261210);
  std::vector<unsigned char> bytes(size);
  for (unsigned char& b : bytes) b = static_cast<unsigned char>(rng());
  return bytes;
}

SocketAddress Address(uint32_t port) {
  SocketAddress a{};
  std::strcpy(a.host, "127.0.0.1");
  std::snprintf(a.service, sizeof a.service, "%u", port);
  std::strcpy(a.protocol, "tcp");
  return a;
}

void NoDelay(int fd) {
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// ---- Raw sockets: the baseline ----------------------------------------------

bool SendAll(int fd, const unsigned char* p, std::size_t n) {
  while (n > 0) {
    ssize_t k = send(fd, p, n, MSG_NOSIGNAL);
    if (k <= 0) return false;
    p += k;
    n -= static_cast<std::size_t>(k);
  }
  return true;
}

bool ReceiveAll(int fd, unsigned char* p, std::size_t n) {
  while (n > 0) {
    ssize_t k = recv(fd, p, n, 0);
    if (k <= 0) return false;
    p += k;
    n -= static_cast<std::size_t>(k);
  }
  return true;
}

// A loopback connection whose far end echoes every block of size bytes.
class RawEcho {
 public:
  explicit RawEcho(std::size_t size) : size_(size) {
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener, 1);
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    client_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    connect(client_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    server_ = accept(listener, nullptr, nullptr);
    close(listener);
    NoDelay(client_);
    NoDelay(server_);
    echo_ = std::thread([this] {
      std::vector<unsigned char> block(size_);
      while (ReceiveAll(server_, block.data(), size_) && SendAll(server_, block.data(), size_)) {
      }
    });
  }
  ~RawEcho() {
    shutdown(client_, SHUT_RDWR);
    echo_.join();
    close(client_);
    close(server_);
  }
  bool RoundTrip(const std::vector<unsigned char>& out, std::vector<unsigned char>* in) {
    return SendAll(client_, out.data(), size_) && ReceiveAll(client_, in->data(), size_);
  }

 private:
  std::size_t size_;
  int client_ = -1;
  int server_ = -1;
  std::thread echo_;
};

// ---- Nodes ---------------------------------------------------------------------

// A connected client node whose accepted peer echoes every frame.
class NodeEcho {
 public:
  explicit NodeEcho(int secure) : secure_(secure) {
    Key();
    mqc_get_signature(&credential_);
    SocketAddress any = Address(0);
    server_ = CreateMQNode(&any, MQNODE_MODE_SERVER);
    SocketAddress to = Address(server_->address.port);
    client_ = CreateMQNode(&to, MQNODE_MODE_CLIENT);
    mnOpen(client_);
    mnOpen(server_);
    accepted_ = server_->accepted;
    if (accepted_ == nullptr) return;  // Ready() says so; nothing to echo on
    NoDelay(client_->socket.handle);
    NoDelay(accepted_->socket.handle);
    echo_ = std::thread([this] {
      mqPcfMessage* m = CreatePcfMessage(0, MQCFT_COMMAND, 64);
      while (mnSRead(m, accepted_, secure_, credential_) &&
             mnSWrite(m, accepted_, secure_, credential_)) {
      }
      DeletePcfMessage(m);
    });
  }
  ~NodeEcho() {
    shutdown(client_->socket.handle, SHUT_RDWR);
    if (echo_.joinable()) echo_.join();
    DeleteMQNode(client_);
    DeleteMQNode(accepted_);
    DeleteMQNode(server_);
    mqc_release_signature(&credential_);
  }
  bool Ready() const { return credential_ != nullptr && accepted_ != nullptr; }
  bool RoundTrip(mqPcfMessage* out, mqPcfMessage* in) {
    return mnSWrite(out, client_, secure_, credential_) &&
           mnSRead(in, client_, secure_, credential_);
  }

 private:
  int secure_;
  mqcSignature credential_ = nullptr;
  mqnMQNodeData* server_ = nullptr;
  mqnMQNodeData* client_ = nullptr;
  mqnMQNodeData* accepted_ = nullptr;
  std::thread echo_;
};

// A message whose body is an MQCFH and one raw-bytes record, payload_bytes
// long in all (header of the frame not counted).
mqPcfMessage* MessageOfSize(std::size_t body_bytes) {
  const std::size_t data = body_bytes - 36 - 20;
  std::vector<unsigned char> bytes = Payload(data);
  mqPcfMessage* msg = CreatePcfMessage(10014, MQCFT_COMMAND, static_cast<MQLONG>(body_bytes));
  Message record{};
  CreatePcfBinAttr(&record, 20999, bytes.data(), static_cast<MQLONG>(data));
  AppendAttr(msg, &record);
  DeleteMessage(&record);
  RawToPcf(msg);
  return msg;
}

void BM_FrameRoundTrip(benchmark::State& state) {
  const auto body_bytes = static_cast<std::size_t>(state.range(0));
  const int secure = static_cast<int>(state.range(1));
  // The baseline carries the bytes a frame carries on the wire. Each
  // iteration times one frame round trip and one raw round trip right after
  // it, so both see the same machine load; the reported time is the frame's.
  const std::size_t wire = body_bytes + 136 + (secure ? 32 + 32 : 0);
  RawEcho raw(wire);
  std::vector<unsigned char> raw_out = Payload(wire);
  std::vector<unsigned char> raw_in(wire);

  NodeEcho echo(secure);
  if (!echo.Ready()) {
    state.SkipWithError("no signing credential or no connection");
    return;
  }
  mqPcfMessage* out = MessageOfSize(body_bytes);
  mqPcfMessage* in = CreatePcfMessage(0, MQCFT_COMMAND, 64);
  double frame_seconds = 0;
  double raw_seconds = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    if (!echo.RoundTrip(out, in)) {
      state.SkipWithError("round trip failed");
      break;
    }
    auto t1 = Clock::now();
    if (!raw.RoundTrip(raw_out, &raw_in)) {
      state.SkipWithError("raw round trip failed");
      break;
    }
    auto t2 = Clock::now();
    double frame = std::chrono::duration<double>(t1 - t0).count();
    frame_seconds += frame;
    raw_seconds += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(frame);
  }
  if (PCF_BODY_LENGTH(in) != PCF_BODY_LENGTH(out) ||
      std::memcmp(PCF_BODY(in), PCF_BODY(out), static_cast<std::size_t>(PCF_BODY_LENGTH(out))) != 0) {
    state.SkipWithError("echoed message differs from the one sent");
  }
  if (raw_in != raw_out) state.SkipWithError("raw echo differs from the bytes sent");
  const double n = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(2 * body_bytes));
  state.counters["raw_us"] = raw_seconds / n * 1e6;
  state.counters["frame_us"] = frame_seconds / n * 1e6;
  state.counters["ratio_vs_raw"] = raw_seconds > 0 ? frame_seconds / raw_seconds : 0;
  DeletePcfMessage(out);
  DeletePcfMessage(in);
}

BENCHMARK(BM_FrameRoundTrip)
    ->ArgNames({"bytes", "signed"})
    ->Args({1024, 0})
    ->Args({1024, 1})
    ->Args({1 << 20, 0})
    ->Args({1 << 20, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
#ifndef NDEBUG
  std::fprintf(stderr, "net_bench: WARNING: built with assertions on (no NDEBUG)\n");
#endif
#if !defined(__OPTIMIZE__)
  std::fprintf(stderr, "net_bench: WARNING: built without optimisation\n");
#endif
  benchmark::AddCustomContext("hardware_threads",
                              std::to_string(std::thread::hardware_concurrency()));
  benchmark::AddCustomContext("baseline", "raw loopback TCP round trip of the same bytes");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
