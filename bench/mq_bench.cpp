// MQPUT+MQGET through the MQ stand-in (mqi -> mqsim over loopback TCP)
// against raw loopback round trips through an echo peer process.
//
// BM_PutGetVsRawRounds is the figure that counts: 1 KB and 256 KB
// non-persistent put+get against the raw exchanges of the same bytes, in
// interleaved rounds, as per-round ratios (min and median).
// BM_PutGet and BM_LoopbackRoundTrip give throughput with one and eight
// client threads, persistent and not, for orientation only: counter
// "vs_loopback" is the total message rate over the rate of one raw socket
// pair measured once (one MQPUT+MQGET makes two round trips, so a single
// thread tops out at 0.5; eight threads may pass 1).
//
// The benchmark starts its own mqsim on a temporary installation and stops
// it at the end. Every got message is compared with the one put.
#include <benchmark/benchmark.h>
#include <mqi/mqi.h>

#include "bench_rounds.h"
#include "echo_peer.h"
#include "testsupport/testsupport.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

namespace {

namespace ts = harrow::testsupport;

constexpr size_t kMsgBytes = 1024;

// The installation and server live for the whole run; the harness removes
// the directory and stops the server (bounded) when they go.
std::unique_ptr<ts::TempDir> g_root;
std::unique_ptr<ts::ServerProcess> g_server;

bool Ctl(std::vector<std::string> args) {
  ts::ServerOptions options;
  options.program = MQSIMCTL_BIN;
  options.args = {"-m", g_root->path()};
  options.args.insert(options.args.end(), args.begin(), args.end());
  options.log_path = g_root->Sub("ctl.log");
  std::string error;
  int status = ts::RunToExit(options, std::chrono::seconds(60), &error);
  if (status != 0) fprintf(stderr, "mq_bench: mqsimctl failed (%d) %s\n", status, error.c_str());
  return status == 0;
}

bool StartServer() {
  g_root = std::make_unique<ts::TempDir>("mqbench");
  if (g_root->path().empty()) return false;
  setenv("HARROWLINE_MQM", g_root->path().c_str(), 1);
  if (!Ctl({"create", "BENCH", "-p", "0", "-D"})) return false;
  ts::ServerOptions options;
  options.program = MQSIM_BIN;
  options.args = {"-m", g_root->path(), "-s", "BENCH"};
  options.ready_text = "mqsim: ready";
  g_server = std::make_unique<ts::ServerProcess>();
  std::string error;
  if (!g_server->Start(options, &error)) {
    fprintf(stderr, "mq_bench: %s\n", error.c_str());
    return false;
  }
  return Ctl({"define", "BENCH", "BENCH.Q", "--type", "local", "--maxdepth", "1000000"});
}

void StopServer() {
  g_server.reset();
  g_root.reset();
}

// ---- Baseline: raw loopback round trips through an echo peer ---------------
//
// The peer is made of processes of its own, as mqsim is (a thread of this
// process would be woken more cheaply than another process, which favours
// the baseline), and long-lived, as mqsim is (echo_peer.h). kEchoWorkers
// processes are forked at start, before any thread exists.

constexpr int kEchoWorkers = 8;  // as many as client threads at once
bench::PeerProcesses g_echo;

// A fresh connection to the echo peer for exchanges of `bytes`; -1 on failure.
int ConnectEcho(size_t bytes = kMsgBytes) { return bench::ConnectRawEcho(g_echo, bytes); }

bool RoundTrip(int fd, char* buf, size_t bytes = kMsgBytes) {
  return bench::RawRoundTrip(fd, buf, buf, bytes);
}

// Round trips per second of one socket pair, measured once per run.
double LoopbackRate() {
  static double rate = [] {
    int fd = ConnectEcho();
    if (fd < 0) return 0.0;
    char buf[kMsgBytes];
    memset(buf, 'x', sizeof buf);
    for (int i = 0; i < 200; ++i) RoundTrip(fd, buf);
    const int n = 5000;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) RoundTrip(fd, buf);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    close(fd);
    return n / secs;
  }();
  return rate;
}

void BM_LoopbackRoundTrip(benchmark::State& state) {
  int fd = ConnectEcho();
  char buf[kMsgBytes];
  memset(buf, static_cast<int>('a' + state.thread_index()), sizeof buf);
  for (auto _ : state) {
    if (fd < 0 || !RoundTrip(fd, buf)) {
      state.SkipWithError("loopback round trip failed");
      break;
    }
  }
  if (fd >= 0) close(fd);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoopbackRoundTrip)->Threads(1)->Threads(8)->UseRealTime();

// ---- MQPUT + MQGET -----------------------------------------------------------

void BM_PutGet(benchmark::State& state) {
  const bool persistent = state.range(0) != 0;
  MQHCONN h = 0;
  MQLONG cc = 0, rc = 0;
  char qm[48] = "BENCH";
  MQCONN(qm, &h, &cc, &rc);
  if (cc != MQCC_OK) {
    state.SkipWithError("MQCONN failed");
    return;
  }
  MQOD od{};
  memcpy(od.StrucId, MQOD_STRUC_ID, 4);
  od.Version = 1;
  od.ObjectType = MQOT_Q;
  strncpy(od.ObjectName, "BENCH.Q", 48);
  MQHOBJ obj = 0;
  MQOPEN(h, &od, MQOO_OUTPUT | MQOO_INPUT_SHARED, &obj, &cc, &rc);
  std::string data(kMsgBytes, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('A' + (i * 7 + state.thread_index()) % 26);
  std::string buf(kMsgBytes, '\0');
  MQBYTE24 correl{};
  snprintf(reinterpret_cast<char*>(correl), sizeof correl, "bench-thread-%d", state.thread_index());
  auto started = std::chrono::steady_clock::now();
  for (auto _ : state) {
    MQMD md{};
    memcpy(md.StrucId, MQMD_STRUC_ID, 4);
    md.Version = 1;
    md.Persistence = persistent ? MQPER_PERSISTENT : MQPER_NOT_PERSISTENT;
    md.Priority = MQPRI_PRIORITY_AS_Q_DEF;
    md.Encoding = MQENC_NATIVE;
    memcpy(md.CorrelId, correl, 24);
    MQPMO pmo{};
    memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
    pmo.Version = 1;
    pmo.Options = MQPMO_NO_SYNCPOINT;
    MQPUT(h, obj, &md, &pmo, static_cast<MQLONG>(data.size()), data.data(), &cc, &rc);
    MQGMO gmo{};
    memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
    gmo.Version = 2;
    gmo.Options = MQGMO_NO_SYNCPOINT;
    gmo.MatchOptions = MQMO_MATCH_CORREL_ID;
    MQMD got{};
    memcpy(got.StrucId, MQMD_STRUC_ID, 4);
    got.Version = 1;
    memcpy(got.CorrelId, correl, 24);
    MQLONG len = 0;
    MQGET(h, obj, &got, &gmo, static_cast<MQLONG>(buf.size()), buf.data(), &len, &cc, &rc);
    if (cc != MQCC_OK || len != static_cast<MQLONG>(kMsgBytes) || buf != data) {
      state.SkipWithError("MQGET did not return the message put");
      break;
    }
  }
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  MQDISC(&h, &cc, &rc);
  state.SetItemsProcessed(state.iterations());
  // Counters are summed over the threads: each adds its own share of the
  // message rate, so the sum is the total rate over the raw round-trip rate.
  double loopback = LoopbackRate();
  state.counters["vs_loopback"] =
      secs > 0 && loopback > 0 ? static_cast<double>(state.iterations()) / secs / loopback : 0;
  state.counters["loopback_rt_per_s"] =
      benchmark::Counter(loopback, benchmark::Counter::kAvgThreads);
}
BENCHMARK(BM_PutGet)->ArgName("persistent")->Arg(0)->Arg(1)->Threads(1)->Threads(8)->UseRealTime();

// ---- Interleaved rounds: one put+get against the raw exchanges -------------
//
// Each round puts and gets kOpsPerRound non-persistent messages and makes
// the raw round trips of the same size through the echo peer. Both sides
// start the round on a fresh connection, made before the clock starts
// (loopback speed varies by connection, and a connection's buffers grow
// as it is used); the side that goes first alternates. The time reported
// is ours; ratio_min and ratio_median are the per-round ratios ours / raw.

constexpr int kOpsPerRound = 50;

struct MqSide {
  MQHCONN h = 0;
  MQHOBJ obj = 0;
  bool Open() {
    MQLONG cc = 0, rc = 0;
    char qm[48] = "BENCH";
    MQCONN(qm, &h, &cc, &rc);
    if (cc != MQCC_OK) return false;
    MQOD od{};
    memcpy(od.StrucId, MQOD_STRUC_ID, 4);
    od.Version = 1;
    od.ObjectType = MQOT_Q;
    strncpy(od.ObjectName, "BENCH.Q", 48);
    MQOPEN(h, &od, MQOO_OUTPUT | MQOO_INPUT_SHARED, &obj, &cc, &rc);
    return cc == MQCC_OK;
  }
  void Close() {
    MQLONG cc = 0, rc = 0;
    MQCLOSE(h, &obj, MQCO_NONE, &cc, &rc);
    MQDISC(&h, &cc, &rc);
  }
};

void BM_PutGetVsRawRounds(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(state.range(0));
  // A small message is weighed against the two exchanges a put+get needs;
  // a large one against one raw round trip of its bytes (a put+get carries
  // them once each way, as that round trip does).
  const int raw_per_op = bytes <= kMsgBytes ? 2 : 1;
  std::string data(bytes, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + (i * 11) % 26);
  std::string buf(bytes, '\0');
  std::vector<char> raw(bytes, 'r');
  MQBYTE24 correl{};
  snprintf(reinterpret_cast<char*>(correl), sizeof correl, "bench-rounds");
  bool ok = true;
  MqSide mq;
  auto put_get = [&] {
    MQLONG cc = 0, rc = 0;
    for (int i = 0; i < kOpsPerRound && ok; ++i) {
      MQMD md{};
      memcpy(md.StrucId, MQMD_STRUC_ID, 4);
      md.Version = 1;
      md.Persistence = MQPER_NOT_PERSISTENT;
      md.Encoding = MQENC_NATIVE;
      memcpy(md.CorrelId, correl, 24);
      MQPMO pmo{};
      memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
      pmo.Version = 1;
      pmo.Options = MQPMO_NO_SYNCPOINT;
      MQPUT(mq.h, mq.obj, &md, &pmo, static_cast<MQLONG>(data.size()), data.data(), &cc, &rc);
      MQGMO gmo{};
      memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
      gmo.Version = 2;
      gmo.Options = MQGMO_NO_SYNCPOINT;
      gmo.MatchOptions = MQMO_MATCH_CORREL_ID;
      MQMD got{};
      memcpy(got.StrucId, MQMD_STRUC_ID, 4);
      got.Version = 1;
      memcpy(got.CorrelId, correl, 24);
      MQLONG len = 0;
      MQGET(mq.h, mq.obj, &got, &gmo, static_cast<MQLONG>(buf.size()), buf.data(), &len, &cc, &rc);
      ok = cc == MQCC_OK && len == static_cast<MQLONG>(bytes) && buf == data;
    }
  };
  int echo_fd = -1;
  auto raw_trips = [&] {
    for (int i = 0; i < raw_per_op * kOpsPerRound && ok; ++i) ok = RoundTrip(echo_fd, raw.data(), bytes);
  };
  bench::RatioRounds rounds;
  for (auto _ : state) {
    echo_fd = ConnectEcho(bytes);
    if (echo_fd < 0 || !mq.Open()) {
      if (echo_fd >= 0) close(echo_fd);
      state.SkipWithError("cannot connect to the echo peer or the queue manager");
      break;
    }
    double ours = 0, base = 0;
    if (rounds.OursFirst()) {
      ours = bench::RatioRounds::Seconds(put_get);
      base = bench::RatioRounds::Seconds(raw_trips);
    } else {
      base = bench::RatioRounds::Seconds(raw_trips);
      ours = bench::RatioRounds::Seconds(put_get);
    }
    close(echo_fd);
    mq.Close();
    if (!ok) {
      state.SkipWithError("a put+get or raw round trip failed");
      break;
    }
    rounds.Add(ours, base);
    state.SetIterationTime(ours);
  }
  state.SetItemsProcessed(state.iterations() * kOpsPerRound);
  rounds.Report(state, bytes <= kMsgBytes ? "mq_bench 1 KB put+get / two raw exchanges"
                                         : "mq_bench 256 KB put+get / one raw round trip of the same bytes");
}
BENCHMARK(BM_PutGetVsRawRounds)->ArgName("bytes")->Arg(1024)->Arg(256 * 1024)->UseManualTime()->MinTime(0.2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
#ifndef NDEBUG
  fprintf(stderr, "WARNING: built with assertions on; figures are not representative\n");
#endif
#if !defined(__OPTIMIZE__)
  fprintf(stderr, "WARNING: built without optimisation; figures are not representative\n");
#endif
  benchmark::AddCustomContext("message_bytes", std::to_string(kMsgBytes));
  // The echo workers are forked first, while this process has one thread.
  if (!g_echo.Start(kEchoWorkers, bench::ServeRawEcho)) {
    fprintf(stderr, "mq_bench: cannot start the echo peer\n");
    return 1;
  }
  if (!StartServer()) {
    fprintf(stderr, "mq_bench: cannot start mqsim\n");
    StopServer();
    g_echo.Stop();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  StopServer();
  g_echo.Stop();
  return 0;
}
