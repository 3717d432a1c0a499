// The command server of the MQ stand-in: MQCMD_INQUIRE_Q over many queues,
// as one generic request (one reply per queue) and as one request per queue,
// against MQPUT+MQGET of the same number of 1 KB messages measured in the
// same run. Rounds interleave the three; each round prints the reply rate
// of each inquiry over the message rate of the baseline, and the end the
// minimum and median of those ratios.
//
// CMDSERVER_BENCH_QUEUES (default 10000) and CMDSERVER_BENCH_ROUNDS
// (default 3) size the run. The benchmark starts its own mqsim.
#include <benchmark/benchmark.h>
#include <mqi/mqi.h>

#include "testsupport/testsupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace ts = harrow::testsupport;
using Clock = std::chrono::steady_clock;

std::unique_ptr<ts::TempDir> g_root;
std::unique_ptr<ts::ServerProcess> g_server;

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

bool Ctl(std::vector<std::string> args) {
  ts::ServerOptions options;
  options.program = MQSIMCTL_BIN;
  options.args = {"-m", g_root->path()};
  options.args.insert(options.args.end(), args.begin(), args.end());
  options.log_path = g_root->Sub("ctl.log");
  std::string error;
  return ts::RunToExit(options, std::chrono::seconds(60), &error) == 0;
}

void Field(char* field, size_t width, const std::string& s) {
  std::memset(field, ' ', width);
  std::memcpy(field, s.data(), std::min(width, s.size()));
}

// A PCF request body: MQCFH, then string and integer records.
class Request {
 public:
  explicit Request(MQLONG command) {
    MQCFH h{};
    h.Type = MQCFT_COMMAND;
    h.StrucLength = MQCFH_STRUC_LENGTH;
    h.Version = MQCFH_VERSION_1;
    h.Command = command;
    h.MsgSeqNumber = 1;
    h.Control = MQCFC_LAST;
    body_.assign(reinterpret_cast<const char*>(&h), sizeof h);
  }
  Request& Str(MQLONG id, const std::string& s) {
    size_t padded = (s.size() + 3) / 4 * 4;
    Word(MQCFT_STRING);
    Word(static_cast<MQLONG>(20 + padded));
    Word(id);
    Word(0);
    Word(static_cast<MQLONG>(s.size()));
    body_ += s;
    body_.append(padded - s.size(), ' ');
    Count();
    return *this;
  }
  Request& Int(MQLONG id, MQLONG v) {
    Word(MQCFT_INTEGER);
    Word(16);
    Word(id);
    Word(v);
    Count();
    return *this;
  }
  const std::string& body() const { return body_; }

 private:
  void Word(MQLONG v) { body_.append(reinterpret_cast<const char*>(&v), 4); }
  void Count() {
    MQCFH h;
    std::memcpy(&h, body_.data(), sizeof h);
    ++h.ParameterCount;
    std::memcpy(body_.data(), &h, sizeof h);
  }
  std::string body_;
};

struct Mq {
  MQHCONN h = MQHC_UNUSABLE_HCONN;
  MQHOBJ cmd = 0, reply = 0, data = 0;
  std::string reply_name;
  std::vector<char> buffer = std::vector<char>(1 << 20);

  bool Open(const char* name, MQLONG options, MQHOBJ* obj, std::string* made = nullptr) {
    MQOD od{};
    std::memcpy(od.StrucId, MQOD_STRUC_ID, 4);
    od.Version = MQOD_VERSION_1;
    od.ObjectType = MQOT_Q;
    Field(od.ObjectName, 48, name);
    Field(od.DynamicQName, 48, "BENCH.REPLY.*");
    MQLONG cc = 0, rc = 0;
    MQOPEN(h, &od, options, obj, &cc, &rc);
    if (made != nullptr) *made = std::string(od.ObjectName, strnlen(od.ObjectName, 48));
    return cc == MQCC_OK;
  }
  bool Connect() {
    char qm[48] = {0};
    Field(qm, 48, "BENCH");
    MQLONG cc = 0, rc = 0;
    MQCONN(qm, &h, &cc, &rc);
    return cc == MQCC_OK && Open("SYSTEM.ADMIN.COMMAND.QUEUE", MQOO_OUTPUT, &cmd) &&
           Open("BENCH.MODEL", MQOO_INPUT_EXCLUSIVE, &reply, &reply_name) &&
           Open("BENCH.DATA", MQOO_OUTPUT | MQOO_INPUT_SHARED, &data);
  }
  static MQMD Md() {
    MQMD md{};
    std::memcpy(md.StrucId, MQMD_STRUC_ID, 4);
    md.Version = MQMD_VERSION_2;
    md.MsgType = MQMT_REQUEST;
    md.Expiry = MQEI_UNLIMITED;
    md.Encoding = MQENC_NATIVE;
    md.Persistence = MQPER_NOT_PERSISTENT;
    md.MsgSeqNumber = 1;
    md.OriginalLength = MQOL_UNDEFINED;
    return md;
  }
  bool Put(MQHOBJ obj, const std::string& body, const char* format) {
    MQMD md = Md();
    std::memcpy(md.Format, format, 8);
    md.Report = MQRO_PASS_CORREL_ID | MQRO_PASS_MSG_ID;
    Field(md.ReplyToQ, 48, reply_name);
    MQPMO pmo{};
    std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
    pmo.Version = MQPMO_VERSION_1;
    pmo.Options = MQPMO_NO_SYNCPOINT;
    MQLONG cc = 0, rc = 0;
    MQPUT(h, obj, &md, &pmo, static_cast<MQLONG>(body.size()), const_cast<char*>(body.data()), &cc, &rc);
    return cc == MQCC_OK;
  }
  // One message; its PCF Control (or 1 for other data), -1 on failure.
  MQLONG Get(MQHOBJ obj, MQLONG wait_ms) {
    MQMD md = Md();
    MQGMO gmo{};
    std::memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
    gmo.Version = MQGMO_VERSION_2;
    gmo.Options = MQGMO_NO_SYNCPOINT | MQGMO_WAIT;
    gmo.WaitInterval = wait_ms;
    MQLONG cc = 0, rc = 0, length = 0;
    MQGET(h, obj, &md, &gmo, static_cast<MQLONG>(buffer.size()), buffer.data(), &length, &cc, &rc);
    if (cc == MQCC_FAILED) return -1;
    if (std::memcmp(md.Format, MQFMT_ADMIN, 8) != 0) return 1;
    MQCFH cfh;
    std::memcpy(&cfh, buffer.data(), sizeof cfh);
    return cfh.CompCode == MQCC_OK ? cfh.Control : -1;
  }
};

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void BM_InquireQueues(benchmark::State& state) {
  const int queues = EnvInt("CMDSERVER_BENCH_QUEUES", 10000);
  const int rounds = EnvInt("CMDSERVER_BENCH_ROUNDS", 3);
  g_root = std::make_unique<ts::TempDir>("cmdbench");
  setenv("HARROWLINE_MQM", g_root->path().c_str(), 1);
  if (!Ctl({"create", "BENCH", "-p", "0", "-D"})) return state.SkipWithError("mqsimctl create failed");
  ts::ServerOptions options;
  options.program = MQSIM_BIN;
  options.args = {"-m", g_root->path(), "-s", "BENCH"};
  options.ready_text = "mqsim: ready";
  g_server = std::make_unique<ts::ServerProcess>();
  std::string error;
  if (!g_server->Start(options, &error)) return state.SkipWithError(error.c_str());
  // The reply queue holds every reply of the generic inquiry at once.
  if (!Ctl({"define", "BENCH", "BENCH.DATA", "--type", "local", "--maxdepth", "1000000"}) ||
      !Ctl({"define", "BENCH", "BENCH.MODEL", "--type", "model", "--maxdepth", "1000000"}))
    return state.SkipWithError("define failed");
  Mq mq;
  if (!mq.Connect()) return state.SkipWithError("connect failed");
  // The queues, made through the command server itself (all requests first,
  // then the replies, so that the server batches their journal writes).
  for (int i = 0; i < queues; ++i) {
    Request req(MQCMD_CREATE_Q);
    req.Str(MQCA_Q_NAME, "BQ." + std::to_string(i)).Int(MQIA_Q_TYPE, MQQT_LOCAL);
    if (!mq.Put(mq.cmd, req.body(), MQFMT_ADMIN)) return state.SkipWithError("put failed");
  }
  for (int i = 0; i < queues; ++i)
    if (mq.Get(mq.reply, 30000) != MQCFC_LAST) return state.SkipWithError("create failed");

  std::vector<double> generic_ratio, single_ratio;
  const std::string kilobyte(1024, 'b');
  for (auto _ : state) {
    for (int round = 0; round < rounds; ++round) {
      auto t0 = Clock::now();
      for (int i = 0; i < queues; ++i) {
        if (!mq.Put(mq.data, kilobyte, MQFMT_STRING) || mq.Get(mq.data, 1000) < 0)
          return state.SkipWithError("baseline failed");
      }
      double baseline_rate = queues / Seconds(t0);

      t0 = Clock::now();
      Request generic(MQCMD_INQUIRE_Q);
      generic.Str(MQCA_Q_NAME, "BQ.*");
      if (!mq.Put(mq.cmd, generic.body(), MQFMT_ADMIN)) return state.SkipWithError("put failed");
      int replies = 0;
      for (;;) {
        MQLONG control = mq.Get(mq.reply, 30000);
        if (control < 0) return state.SkipWithError("generic inquiry failed");
        ++replies;
        if (control == MQCFC_LAST) break;
      }
      if (replies != queues) return state.SkipWithError("wrong number of replies");
      double generic_rate = replies / Seconds(t0);

      t0 = Clock::now();
      for (int i = 0; i < queues; ++i) {
        Request one(MQCMD_INQUIRE_Q);
        one.Str(MQCA_Q_NAME, "BQ." + std::to_string(i));
        if (!mq.Put(mq.cmd, one.body(), MQFMT_ADMIN) || mq.Get(mq.reply, 30000) != MQCFC_LAST)
          return state.SkipWithError("single inquiry failed");
      }
      double single_rate = queues / Seconds(t0);

      generic_ratio.push_back(generic_rate / baseline_rate);
      single_ratio.push_back(single_rate / baseline_rate);
      std::printf("round %d: MQPUT+MQGET %.0f/s, generic inquiry %.0f replies/s (ratio %.2f), "
                  "single inquiries %.0f replies/s (ratio %.2f)\n",
                  round + 1, baseline_rate, generic_rate, generic_ratio.back(), single_rate,
                  single_ratio.back());
    }
  }
  auto report = [](const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return;
    std::printf("%s over MQPUT+MQGET: min %.2f, median %.2f\n", what, v.front(), v[v.size() / 2]);
  };
  report("generic INQUIRE_Q replies", generic_ratio);
  report("single INQUIRE_Q replies", single_ratio);
  MQLONG cc = 0, rc = 0;
  MQDISC(&mq.h, &cc, &rc);
  g_server.reset();
  g_root.reset();
}
BENCHMARK(BM_InquireQueues)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
