// net_bench: round trips of one PCF message over a loopback TCP connection,
// signed and plain, 1 KB and 1 MB, against raw-socket round trips of the
// same number of wire bytes in the same rounds (bench_rounds.h): ratio_min
// and ratio_median are per-round ratios of frame time to raw time. Frames
// and raw bytes come back from echo processes of the same make.
//
// Every echoed message is compared with what was sent, so a fast wrong
// answer cannot pass. Payload bytes come from a fixed-seed generator.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_rounds.h"
#include "echo_peer.h"
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

// ---- The echo peers --------------------------------------------------------
//
// Both ends that send the bytes back are long-lived processes of their own
// (echo_peer.h), forked before any thread exists, one for raw TCP and one
// for frames; each round connects afresh to both, before the clock starts.
//
// Where the echo runs matters more than anything measured here, so it is
// fixed rather than left to the scheduler (which may wake one echo on the
// benchmark's CPU and the other elsewhere): the benchmark runs on the first
// CPU it is given, and each case talks to a pair of echoes on that same CPU
// (every exchange is a switch between two processes, the cheapest wake-up,
// and nothing runs at once) or to a pair on the second CPU (both ends run
// at once, as two hosts do, and every exchange wakes the other CPU).

struct EchoPair {
  bench::PeerProcesses raw;
  bench::PeerProcesses frames;
  bool Start(int cpu);
  void Stop() {
    frames.Stop();
    raw.Stop();
  }
  bool started = false;
};

EchoPair g_same_cpu;
EchoPair g_other_cpu;

// The frame echo: a connection first says whether its frames are signed
// (one byte) and waits for a byte of answer; then every frame read goes
// back through netcore as the accepting end of the connection.
void ServeFrameEcho(int fd) {
  static mqPcfMessage* message = CreatePcfMessage(0, MQCFT_COMMAND, 64);  // kept between connections
  static mqcSignature credential = nullptr;
  unsigned char secure = 0;
  if (!bench::RecvAll(fd, &secure, 1) || message == nullptr ||
      (secure != 0 && credential == nullptr && mqc_get_signature(&credential) == 0)) {
    close(fd);
    return;
  }
  SocketData socket;
  CreateSocketFromExisting(&socket, fd);
  mqnMQNodeData* node = CreateAndBindMQNode(&socket, MQNODE_MODE_CLIENT);
  if (node == nullptr) {
    close(fd);
    return;
  }
  node->open = 1;
  node->side = MQNODE_SIDE_ACCEPTING;
  const char ready = 1;
  if (bench::SendAll(fd, &ready, 1)) {
    while (mnSRead(message, node, secure, credential) &&
           mnSWrite(message, node, secure, credential)) {
    }
  }
  DeleteMQNode(node);
}

// A fresh client node connected to the frame echo, answered and ready.
class FrameConnection {
 public:
  FrameConnection(const EchoPair& echo, int secure, mqcSignature credential)
      : secure_(secure), credential_(credential) {
    SocketAddress to = Address(echo.frames.port());
    node_ = CreateMQNode(&to, MQNODE_MODE_CLIENT);
    if (node_ == nullptr || mnOpen(node_) == 0) return;
    const int fd = node_->socket.handle;
    bench::NoDelay(fd);
    const unsigned char flag = secure != 0 ? 1 : 0;
    char answer = 0;
    ready_ = bench::SendAll(fd, &flag, 1) && bench::RecvAll(fd, &answer, 1);
  }
  ~FrameConnection() {
    if (node_ != nullptr) DeleteMQNode(node_);
  }
  FrameConnection(const FrameConnection&) = delete;
  FrameConnection& operator=(const FrameConnection&) = delete;

  bool Ready() const { return ready_; }
  bool RoundTrip(mqPcfMessage* out, mqPcfMessage* in) {
    return mnSWrite(out, node_, secure_, credential_) && mnSRead(in, node_, secure_, credential_);
  }

 private:
  int secure_;
  mqcSignature credential_;
  mqnMQNodeData* node_ = nullptr;
  bool ready_ = false;
};

// A raw connection to the raw echo for blocks of `bytes`, closed with it.
class RawConnection {
 public:
  RawConnection(const EchoPair& echo, std::size_t bytes)
      : bytes_(bytes), fd_(bench::ConnectRawEcho(echo.raw, bytes)) {}
  ~RawConnection() {
    if (fd_ >= 0) close(fd_);
  }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool Ready() const { return fd_ >= 0; }
  bool RoundTrip(const std::vector<unsigned char>& out, std::vector<unsigned char>* in) {
    return bench::RawRoundTrip(fd_, out.data(), in->data(), bytes_);
  }

 private:
  std::size_t bytes_;
  int fd_;
};

bool EchoPair::Start(int cpu) {
  started = raw.Start(1, bench::ServeRawEcho, cpu) && frames.Start(1, ServeFrameEcho, cpu);
  return started;
}

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
// speed differs from one connection to the next) and ready before the clock
// starts, the side that goes first alternating. Each round's ratio is kept;
// the report gives their minimum and median. The reported time is the
// frames'.
void BM_FrameVsRawRounds(benchmark::State& state) {
  const auto body_bytes = static_cast<std::size_t>(state.range(0));
  const int secure = static_cast<int>(state.range(1));
  const std::size_t wire = body_bytes + 136 + (secure ? NODE_HEADER_LENGTH + MQC_SIGNATURE_LENGTH : 0);
  const int trips = body_bytes <= 64 * 1024 ? 200 : 8;
  const bool other_cpu = state.range(2) == 2;
  const EchoPair& echo = other_cpu ? g_other_cpu : g_same_cpu;
  if (!echo.started) {
    state.SkipWithError("the echo on another CPU needs a second CPU (taskset -c A,B)");
    return;
  }
  mqcSignature credential = nullptr;
  if (secure && mqc_get_signature(&credential) == 0) {
    state.SkipWithError("no signing credential");
    return;
  }
  std::vector<unsigned char> raw_out = Payload(wire);
  std::vector<unsigned char> raw_in(wire);
  mqPcfMessage* out = MessageOfSize(body_bytes);
  mqPcfMessage* in = CreatePcfMessage(0, MQCFT_COMMAND, 64);
  bench::RatioRounds rounds;
  for (auto _ : state) {
    FrameConnection framed(echo, secure, credential);
    RawConnection raw(echo, wire);
    if (!framed.Ready() || !raw.Ready()) {
      state.SkipWithError("cannot connect to an echo peer");
      break;
    }
    bool ok = true;
    auto frames = [&] {
      for (int i = 0; i < trips && ok; ++i) ok = framed.RoundTrip(out, in);
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
                           " frame round trip / raw round trip of the same bytes, echo on " +
                           (other_cpu ? "another CPU" : "the same CPU"));
  DeletePcfMessage(out);
  DeletePcfMessage(in);
  mqc_release_signature(&credential);
}

BENCHMARK(BM_FrameVsRawRounds)
    ->ArgNames({"bytes", "signed", "cpus"})
    ->ArgsProduct({{1024, 1 << 20}, {0, 1}, {1, 2}})
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
  benchmark::AddCustomContext("baseline",
                              "raw loopback TCP round trips of the same bytes through an echo "
                              "process, same rounds");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // The key file and its variable first, then the echo processes, forked
  // while this process has one thread.
  Key();
  const std::vector<int> cpus = bench::AllowedCpus();
  if (cpus.empty() || !bench::PinTo(cpus[0]) || !g_same_cpu.Start(cpus[0]) ||
      (cpus.size() >= 2 && !g_other_cpu.Start(cpus[1]))) {
    std::fprintf(stderr, "net_bench: cannot start the echo processes\n");
    return 1;
  }
  benchmark::AddCustomContext("benchmark_cpu", std::to_string(cpus[0]));
  benchmark::AddCustomContext("other_cpu", cpus.size() >= 2 ? std::to_string(cpus[1]) : "none");
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_other_cpu.Stop();
  g_same_cpu.Stop();
  return 0;
}
