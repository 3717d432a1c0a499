// msgops_bench: the message server against the MQ calls it is made of.
//
// Browse: 10,000 messages of 1 KB browsed through the server (one browse
// request, one response per message, each carrying the whole message) and,
// as the baseline, browsed with MQGET (browse first/next) through mqi by
// the same process on the same queue. Each iteration is one round that runs
// both, alternating which goes first; the counters are the per-round ratio
// of the server's message rate to the baseline's, minimum and median.
//
// Move: 10,000 persistent messages of 1 KB moved by the server (one move
// request; each message in its own unit of work) and, as the baseline, the
// same number of MQGET + MQPUT + MQCMIT under syncpoint through mqi. Rounds
// alternate direction between two queues so each starts full, and
// alternate which of the two goes first.
//
// The benchmark starts its own mqsim through the test harness on a
// temporary installation. Every round checks what it read: the baseline
// the message count and bytes, the server the count of its responses and
// the count in its final response.
#include <benchmark/benchmark.h>
#include <mqi/mqi.h>
#include <msgops/msgops.h>
#include <pcfcore/pcfcore.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_report.h"
#include "qm_link.h"
#include "server.h"
#include "testsupport/testsupport.h"

namespace {

namespace ts = harrow::testsupport;

// 10,000 unless MSGOPS_BENCH_MESSAGES says otherwise (CTest's brief run
// uses a few hundred: persistent moves wait for the disk every message).
int kMessages = 10000;
constexpr size_t kMessageBytes = 1024;

void SetField(char* field, size_t length, const char* text) {
  std::memset(field, ' ', length);
  std::memcpy(field, text, std::min(length, std::strlen(text)));
}

// mqsim with one queue manager and the benchmark's queues.
class Installation {
 public:
  Installation() : dir_("msgopsbench"), env_("HARROWLINE_MQM", dir_.path()) {}
  bool Start() {
    if (Ctl("create BENCH -p 0 -D") != 0) return false;
    ts::ServerOptions options;
    options.program = ts::ProgramPath("mqsim");
    options.args = {"-m", dir_.path(), "-s", "BENCH"};
    options.ready_text = "mqsim: ready";
    std::string error;
    if (!server_.Start(options, &error)) {
      fprintf(stderr, "mqsim: %s\n", error.c_str());
      return false;
    }
    for (const char* q : {"BROWSE.Q", "REPLY.Q", "MOVE.A", "MOVE.B"}) {
      if (Ctl(std::string("define BENCH ") + q + " --type local --maxdepth 1000000") != 0) return false;
    }
    return true;
  }

 private:
  int Ctl(const std::string& args) {
    std::string command = ts::ProgramPath("mqsimctl") + " -m " + dir_.path() + " " + args + " >/dev/null";
    return std::system(command.c_str());
  }
  ts::TempDir dir_;
  ts::ScopedEnv env_;
  ts::ServerProcess server_;
};

class Connection {
 public:
  Connection() {
    char qm[48];
    SetField(qm, sizeof qm, "BENCH");
    MQLONG cc = 0, rc = 0;
    MQCONN(qm, &h_, &cc, &rc);
  }
  ~Connection() {
    MQLONG cc, rc;
    if (h_ > 0) MQDISC(&h_, &cc, &rc);
  }
  MQHCONN h() const { return h_; }
  bool ok() const { return h_ > 0; }
  MQHOBJ Open(const char* name, MQLONG options) {
    MQOD od{};
    std::memcpy(od.StrucId, MQOD_STRUC_ID, 4);
    od.Version = MQOD_VERSION_1;
    od.ObjectType = MQOT_Q;
    SetField(od.ObjectName, 48, name);
    SetField(od.ObjectQMgrName, 48, "");
    MQHOBJ obj = MQHO_UNUSABLE_HOBJ;
    MQLONG cc, rc;
    MQOPEN(h_, &od, options, &obj, &cc, &rc);
    return obj;
  }

 private:
  MQHCONN h_ = MQHC_UNUSABLE_HCONN;
};

MQGMO Gmo(MQLONG options) {
  MQGMO gmo{};
  std::memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
  gmo.Version = MQGMO_VERSION_2;
  gmo.Options = options;
  gmo.MatchOptions = MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID;
  return gmo;
}

bool Fill(Connection& conn, const char* queue, MQLONG persistence = MQPER_NOT_PERSISTENT) {
  MQHOBJ obj = conn.Open(queue, MQOO_OUTPUT);
  std::string data(kMessageBytes, 'x');
  for (int i = 0; i < kMessages; ++i) {
    std::snprintf(data.data(), 16, "%08d", i);
    MQMD md{};
    SetDefaultMd(&md);
    std::memcpy(md.Format, MQFMT_STRING, 8);
    md.Persistence = persistence;
    MQPMO pmo{};
    std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
    pmo.Version = MQPMO_VERSION_1;
    pmo.Options = MQPMO_NO_SYNCPOINT;
    MQLONG cc, rc;
    MQPUT(conn.h(), obj, &md, &pmo, static_cast<MQLONG>(data.size()), data.data(), &cc, &rc);
    if (cc != MQCC_OK) return false;
  }
  MQLONG cc, rc;
  MQCLOSE(conn.h(), &obj, MQCO_NONE, &cc, &rc);
  return true;
}

// The baseline: browse every message with MQGET; the count of messages
// whose bytes look right.
int BrowseWithMqget(Connection& conn, const char* queue) {
  MQHOBJ obj = conn.Open(queue, MQOO_BROWSE | MQOO_INQUIRE);
  std::vector<char> buffer(4096);
  int good = 0;
  for (int i = 0;; ++i) {
    MQMD md{};
    SetDefaultMd(&md);
    md.Version = MQMD_VERSION_2;
    MQGMO gmo = Gmo((i == 0 ? MQGMO_BROWSE_FIRST : MQGMO_BROWSE_NEXT) | MQGMO_FAIL_IF_QUIESCING);
    MQLONG length = 0, cc, rc;
    MQGET(conn.h(), obj, &md, &gmo, static_cast<MQLONG>(buffer.size()), buffer.data(), &length, &cc, &rc);
    if (cc == MQCC_FAILED) break;
    char expected[16];
    std::snprintf(expected, sizeof expected, "%08d", i);
    if (length == static_cast<MQLONG>(kMessageBytes) && std::memcmp(buffer.data(), expected, 8) == 0) ++good;
  }
  MQLONG cc, rc;
  MQCLOSE(conn.h(), &obj, MQCO_NONE, &cc, &rc);
  return good;
}

// Empties the reply queue; the count of responses and the message count
// that the final one reports.
std::pair<int, MQLONG> DrainResponses(Connection& conn, MQHOBJ reply) {
  std::vector<char> buffer(8192);
  int count = 0;
  MQLONG reported = -1;
  for (;;) {
    MQMD md{};
    SetDefaultMd(&md);
    MQGMO gmo = Gmo(MQGMO_NO_SYNCPOINT);
    gmo.MatchOptions = MQMO_NONE;
    MQLONG length = 0, cc, rc;
    MQGET(conn.h(), reply, &md, &gmo, static_cast<MQLONG>(buffer.size()), buffer.data(), &length, &cc, &rc);
    if (cc == MQCC_FAILED) break;
    ++count;
    const auto* cfh = reinterpret_cast<const MQCFH*>(buffer.data());
    if (length >= static_cast<MQLONG>(sizeof(MQCFH)) && cfh->Control == MQCFC_LAST) {
      // The final response of a browse holds 20157 as its last parameter.
      if (length >= 16) std::memcpy(&reported, buffer.data() + length - 4, 4);
    }
  }
  return {count, reported};
}

void ReportRatios(benchmark::State& state, std::vector<double> ratios, const char* what) {
  if (ratios.empty()) return;
  std::sort(ratios.begin(), ratios.end());
  state.counters[std::string(what) + "_ratio_min"] = ratios.front();
  state.counters[std::string(what) + "_ratio_median"] = ratios[ratios.size() / 2];
  std::printf("%s: per-round ratio to the mqi baseline: min %.3f median %.3f over %zu rounds\n", what,
              ratios.front(), ratios[ratios.size() / 2], ratios.size());
}

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

void BM_Browse(benchmark::State& state) {
  Installation installation;
  if (!installation.Start()) {
    state.SkipWithError("cannot start mqsim");
    return;
  }
  Connection conn;
  if (!conn.ok() || !Fill(conn, "BROWSE.Q")) {
    state.SkipWithError("cannot fill the queue");
    return;
  }
  void* handle = ZORCREATE();
  msgops::MqiLink link(conn.h(), "BENCH", "REPLY.Q");
  MQHOBJ reply = conn.Open("REPLY.Q", MQOO_INPUT_SHARED);
  mqPcfMessage* request = CreatePcfMessage(EXCMD_MG_BROWSE, MQCFT_COMMAND, 256);
  Message record{};
  CreatePcfStrAttr(&record, MQCA_Q_NAME, "BROWSE.Q");
  AppendAttr(request, &record);
  DeleteMessage(&record);
  for (auto [id, value] : {std::pair{MG_MSG_LIMIT, kMessages}, std::pair{MG_DATA_LENGTH, static_cast<int>(kMessageBytes)}}) {
    CreatePcfIntAttr(&record, id, value);
    AppendAttr(request, &record);
    DeleteMessage(&record);
  }
  RawToPcf(request);

  std::vector<double> ratios;
  int round = 0;
  for (auto _ : state) {
    double baseline_s = 0, server_s = 0;
    for (int order = 0; order < 2; ++order) {
      bool baseline_now = (order == 0) == (round % 2 == 0);
      auto start = std::chrono::steady_clock::now();
      if (baseline_now) {
        int good = BrowseWithMqget(conn, "BROWSE.Q");
        baseline_s = Seconds(start);
        if (good != kMessages) state.SkipWithError("baseline read wrong messages");
      } else {
        int result = msgops::ExecuteRequest(handle, &link, request);
        server_s = Seconds(start);
        state.PauseTiming();
        auto [count, reported] = DrainResponses(conn, reply);
        state.ResumeTiming();
        if (result != 1 || count != kMessages + 1 || reported != kMessages) {
          state.SkipWithError("server browse answered wrongly");
        }
      }
    }
    if (baseline_s > 0 && server_s > 0) ratios.push_back(baseline_s / server_s);  // rate ratio
    ++round;
  }
  state.counters["messages"] = kMessages;
  ReportRatios(state, ratios, "browse");
  DeletePcfMessage(request);
  ZORDELETE(handle);
  MQLONG cc, rc;
  MQCLOSE(conn.h(), &reply, MQCO_NONE, &cc, &rc);
}
BENCHMARK(BM_Browse)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline: every message of `from` to `to`, one unit of work each; the
// number moved.
int MoveWithMqi(Connection& conn, const char* from, const char* to) {
  MQHOBJ in = conn.Open(from, MQOO_INPUT_SHARED);
  MQHOBJ out = conn.Open(to, MQOO_OUTPUT | MQOO_SET_ALL_CONTEXT);
  std::vector<char> buffer(4096);
  int moved = 0;
  for (;;) {
    MQMD md{};
    SetDefaultMd(&md);
    md.Version = MQMD_VERSION_2;
    MQGMO gmo = Gmo(MQGMO_SYNCPOINT | MQGMO_FAIL_IF_QUIESCING);
    MQLONG length = 0, cc, rc;
    MQGET(conn.h(), in, &md, &gmo, static_cast<MQLONG>(buffer.size()), buffer.data(), &length, &cc, &rc);
    if (cc == MQCC_FAILED) break;
    MQPMO pmo{};
    std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
    pmo.Version = MQPMO_VERSION_1;
    pmo.Options = MQPMO_SYNCPOINT | MQPMO_SET_ALL_CONTEXT | MQPMO_FAIL_IF_QUIESCING;
    MQPUT(conn.h(), out, &md, &pmo, length, buffer.data(), &cc, &rc);
    if (cc != MQCC_OK) break;
    MQCMIT(conn.h(), &cc, &rc);
    if (cc != MQCC_OK) break;
    ++moved;
  }
  MQLONG cc, rc;
  MQCLOSE(conn.h(), &in, MQCO_NONE, &cc, &rc);
  MQCLOSE(conn.h(), &out, MQCO_NONE, &cc, &rc);
  return moved;
}

mqPcfMessage* MoveRequest(const char* from, const char* to) {
  mqPcfMessage* request = CreatePcfMessage(EXCMD_MG_MOVE, MQCFT_COMMAND, 256);
  Message record{};
  CreatePcfStrAttr(&record, MG_SOURCE_Q_NAME, from);
  AppendAttr(request, &record);
  DeleteMessage(&record);
  CreatePcfStrAttr(&record, MG_DEST_Q_NAME, to);
  AppendAttr(request, &record);
  DeleteMessage(&record);
  CreatePcfIntAttr(&record, MG_MSG_LIMIT, -1);
  AppendAttr(request, &record);
  DeleteMessage(&record);
  RawToPcf(request);
  return request;
}

void BM_Move(benchmark::State& state) {
  Installation installation;
  if (!installation.Start()) {
    state.SkipWithError("cannot start mqsim");
    return;
  }
  Connection conn;
  if (!conn.ok() || !Fill(conn, "MOVE.A", MQPER_PERSISTENT)) {
    state.SkipWithError("cannot fill the queue");
    return;
  }
  void* handle = ZORCREATE();
  msgops::MqiLink link(conn.h(), "BENCH", "REPLY.Q");
  MQHOBJ reply = conn.Open("REPLY.Q", MQOO_INPUT_SHARED);
  mqPcfMessage* a_to_b = MoveRequest("MOVE.A", "MOVE.B");
  mqPcfMessage* b_to_a = MoveRequest("MOVE.B", "MOVE.A");
  // Where the messages are now: every run moves them all to the other queue.
  bool on_a = true;
  std::vector<double> ratios;
  int round = 0;
  for (auto _ : state) {
    double baseline_s = 0, server_s = 0;
    for (int order = 0; order < 2; ++order) {
      bool baseline_now = (order == 0) == (round % 2 == 0);
      auto start = std::chrono::steady_clock::now();
      if (baseline_now) {
        int moved = MoveWithMqi(conn, on_a ? "MOVE.A" : "MOVE.B", on_a ? "MOVE.B" : "MOVE.A");
        baseline_s = Seconds(start);
        if (moved != kMessages) state.SkipWithError("baseline moved the wrong number");
      } else {
        int result = msgops::ExecuteRequest(handle, &link, on_a ? a_to_b : b_to_a);
        server_s = Seconds(start);
        state.PauseTiming();
        auto [count, reported] = DrainResponses(conn, reply);
        state.ResumeTiming();
        if (result != 1 || count != 1 || reported != kMessages) state.SkipWithError("server move answered wrongly");
      }
      on_a = !on_a;
    }
    if (baseline_s > 0 && server_s > 0) ratios.push_back(baseline_s / server_s);
    ++round;
  }
  state.counters["messages"] = kMessages;
  ReportRatios(state, ratios, "move");
  DeletePcfMessage(a_to_b);
  DeletePcfMessage(b_to_a);
  ZORDELETE(handle);
  MQLONG cc, rc;
  MQCLOSE(conn.h(), &reply, MQCO_NONE, &cc, &rc);
}
BENCHMARK(BM_Move)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// The ratios are printed by the benchmark itself; the shared reporter adds
// the build warnings.
class Reporter : public bench::TimingReporter {
  void Summarize() override {}
};

int main(int argc, char** argv) {
  if (const char* count = std::getenv("MSGOPS_BENCH_MESSAGES"); count != nullptr && std::atoi(count) > 0) {
    kMessages = std::atoi(count);
  }
  std::printf("messages per round: %d\n", kMessages);
  Reporter reporter;
  return bench::RunWith(argc, argv, &reporter);
}
