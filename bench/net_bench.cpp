// net_bench: round trips of one PCF message over a loopback TCP connection,
// signed and plain, 1 KB and 1 MB, against raw-socket round trips of the
// same number of wire bytes in the same rounds (bench_rounds.h): ratio_min
// and ratio_median are per-round ratios of frame time to raw time.
//
// Every echoed message is compared with what was sent, so a fast wrong
// answer cannot pass. Payload bytes come from a fixed-seed generator.

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_rounds.h"
#include "netcore/netcore.h"
#include "pcfcore/pcfcore.h"
#include "testsupport/testsupport.h"

namespace {

// ---- Environment ---------------------------------------------------------

// The signing key: a 0600 file in a private temporary directory, named by
// the key variable for the whole run.
struct KeyFile {
  KeyFile() : path(dir.Sub("signing.key")) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const std::string text = "8f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c4b5a69788796a5b4c3d2e1f0\n";
    if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
      std::fprintf(stderr, "net_bench: cannot write %s\n", path.c_str());
    }
    if (fd >= 0) ::close(fd);
    variable.emplace(MQC_SIGNING_KEY_VARIABLE, path);
  }
  harrow::testsupport::TempDir dir{"net_bench"};
  std::string path;
  std::optional<harrow::testsupport::ScopedEnv> variable;
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

// Frame round trips on one connection against raw round trips of the same
// wire bytes on another, in rounds: both made afresh for each round (loopback
// speed differs from one connection to the next), the side that goes first
// alternating. Each round's ratio is kept; the report gives their minimum
// and median. The reported time is the frames'.
void BM_FrameVsRawRounds(benchmark::State& state) {
  const auto body_bytes = static_cast<std::size_t>(state.range(0));
  const int secure = static_cast<int>(state.range(1));
  const std::size_t wire = body_bytes + 136 + (secure ? 32 + 56 : 0);
  const int trips = body_bytes <= 64 * 1024 ? 200 : 8;
  std::vector<unsigned char> raw_out = Payload(wire);
  std::vector<unsigned char> raw_in(wire);
  mqPcfMessage* out = MessageOfSize(body_bytes);
  mqPcfMessage* in = CreatePcfMessage(0, MQCFT_COMMAND, 64);
  bench::RatioRounds rounds;
  for (auto _ : state) {
    NodeEcho echo(secure);
    RawEcho raw(wire);
    if (!echo.Ready()) {
      state.SkipWithError("no signing credential or no connection");
      break;
    }
    bool ok = true;
    auto frames = [&] {
      for (int i = 0; i < trips && ok; ++i) ok = echo.RoundTrip(out, in);
    };
    auto raws = [&] {
      for (int i = 0; i < trips && ok; ++i) ok = raw.RoundTrip(raw_out, &raw_in);
    };
    double ours = 0, base = 0;
    if (rounds.OursFirst()) {
      ours = bench::RatioRounds::Seconds(frames);
      base = bench::RatioRounds::Seconds(raws);
    } else {
      base = bench::RatioRounds::Seconds(raws);
      ours = bench::RatioRounds::Seconds(frames);
    }
    if (!ok) {
      state.SkipWithError("a frame or raw round trip failed");
      break;
    }
    rounds.Add(ours, base);
    state.SetIterationTime(ours);
  }
  if (PCF_BODY_LENGTH(in) != PCF_BODY_LENGTH(out) ||
      std::memcmp(PCF_BODY(in), PCF_BODY(out), static_cast<std::size_t>(PCF_BODY_LENGTH(out))) != 0) {
    state.SkipWithError("echoed message differs from the one sent");
  }
  if (raw_in != raw_out) state.SkipWithError("raw echo differs from the bytes sent");
  state.SetBytesProcessed(state.iterations() * trips * static_cast<int64_t>(2 * body_bytes));
  rounds.Report(state, std::string("net_bench ") + (secure ? "signed " : "plain ") +
                           (body_bytes < 1024 * 1024 ? "1 KB" : "1 MB") +
                           " frame round trip / raw round trip of the same bytes");
  DeletePcfMessage(out);
  DeletePcfMessage(in);
}

BENCHMARK(BM_FrameVsRawRounds)
    ->ArgNames({"bytes", "signed"})
    ->Args({1024, 0})
    ->Args({1024, 1})
    ->Args({1 << 20, 0})
    ->Args({1 << 20, 1})
    ->UseManualTime()
    ->MinTime(0.2)
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
  benchmark::AddCustomContext("baseline", "raw loopback TCP round trips of the same bytes, same rounds");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
