// agent_bench: PCF commands relayed by the local agent against the same
// commands put on the command queue directly.
//
// Ours: clients of a real localagent on loopback (netcore frames), each
// having selected queue manager BENCH, send MQCMD_INQUIRE_Q_MGR and read
// the reply; the agent puts it on the command queue, reads the command
// server's reply and sends it on with what it adds (node identity, log
// settings). Baseline: the same inquiry put with qmWrite and its reply read
// with qmRead by a qmlink connection of the benchmark's own, one per client
// thread, to the same mqsim.
//
// One benchmark iteration is one round: every client thread makes the same
// number of round trips through the agent, then directly (the side that
// goes first alternates). Reported: the per-round ratio of the agent's time
// to the direct time, minimum and median, for 1 and 16 clients, and the
// round trips per second of each side. Every reply is checked (command,
// CompCode 0, the queue manager's name), so a fast wrong answer cannot pass.
//
// AGENT_BENCH_TRIPS (default 200) is the round trips per client per round;
// AGENT_BENCH_ROUNDS (default 5) the rounds. The benchmark starts its own
// mqsim and localagent through the test harness on a temporary
// installation.
#include <benchmark/benchmark.h>
#include <netcore/netcore.h>
#include <pcfcore/pcfcore.h>
#include <qmlink/qmlink.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_report.h"
#include "bench_rounds.h"
#include "testsupport/testsupport.h"

namespace {

namespace ts = harrow::testsupport;

constexpr MQLONG kInquireQmgr = 2;      // MQCMD_INQUIRE_Q_MGR
constexpr MQLONG kOpenQmgr = 10008;     // the agent's queue-manager selection
constexpr MQLONG kQmgrName = 2015;      // MQCA_Q_MGR_NAME
constexpr MQLONG kWaitMs = 10000;

int g_trips = 200;
int g_rounds = 5;

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

// mqsim serving BENCH, its client-connection key, and an agent.
class Installation {
 public:
  Installation() : dir_("agentbench") {}

  bool Start() {
    for (const char* sub : {"config", "config/groups", "registry", "mqm"}) {
      if (mkdir(dir_.Sub(sub).c_str(), 0700) != 0) return false;
    }
    std::string key = dir_.Sub("signing.key");
    {
      std::ofstream out(key);
      out << "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff\n";
    }
    chmod(key.c_str(), 0600);
    env_ = {{"HARROWLINE_MQM", dir_.Sub("mqm")},
            {"HRLCOMPACT", dir_.path()},
            {"HRLCOMPACT_SIGNING_KEY", key},
            {"HRLCOMPACT_REGISTRY", dir_.Sub("registry")},
            {"HRLCOMPACT_BIND_ADDRESS", "127.0.0.1"},
            {"HRLCOMPACT_CM_OPTIONS", "\x01unset"}};
    // This process finds BENCH through the same registry.
    for (const auto& [name, value] : env_) scoped_.push_back(std::make_unique<ts::ScopedEnv>(name, value));
    if (!Ctl({"create", "BENCH", "-D"})) return false;
    ts::ServerOptions mq;
    mq.program = ts::ProgramPath("mqsim");
    mq.args = {"-m", dir_.Sub("mqm"), "-s", "BENCH"};
    mq.env = env_;
    mq.ready_text = "mqsim: ready";
    std::string error;
    if (!mqsim_.Start(mq, &error)) {
      std::fprintf(stderr, "mqsim: %s\n", error.c_str());
      return false;
    }
    if (!Ctl({"clients"})) return false;
    port_ = ts::FreeLoopbackPort(true);
    ts::ServerOptions agent;
    agent.program = ts::ProgramPath("localagent");
    agent.args = {"-console", "-s" + std::to_string(port_), "-q"};
    agent.env = env_;
    agent.working_dir = dir_.path();
    agent.ready_text = "IMI0010(";
    if (!agent_.Start(agent, &error)) {
      std::fprintf(stderr, "localagent: %s\n", error.c_str());
      return false;
    }
    return true;
  }
  int port() const { return port_; }

 private:
  bool Ctl(std::vector<std::string> args) {
    ts::ServerOptions options;
    options.program = ts::ProgramPath("mqsimctl");
    options.args = {"-m", dir_.Sub("mqm")};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.env = env_;
    options.log_path = dir_.Sub("ctl.log");
    std::string error;
    return ts::RunToExit(options, std::chrono::seconds(60), &error) == 0;
  }

  ts::TempDir dir_;
  std::vector<std::pair<std::string, std::string>> env_;
  std::vector<std::unique_ptr<ts::ScopedEnv>> scoped_;
  ts::ServerProcess mqsim_;
  ts::ServerProcess agent_;
  int port_ = 0;
};

std::unique_ptr<Installation> g_install;

bool IsBenchReply(const mqPcfMessage* reply) {
  if (reply->Cfh->Command != kInquireQmgr || reply->Cfh->CompCode != MQCC_OK) return false;
  Message record{};
  char name[49] = {};
  bool ok = GetAttrByID(kQmgrName, &record, reply) && GetPcfStrAttrValue(&record, name, 48) &&
            std::strncmp(name, "BENCH", 5) == 0;
  DeleteMessage(&record);
  return ok;
}

// A client of the agent that has selected BENCH.
class AgentClient {
 public:
  explicit AgentClient(int port) {
    SocketAddress address{};
    std::snprintf(address.host, sizeof address.host, "127.0.0.1");
    std::snprintf(address.service, sizeof address.service, "%d", port);
    std::snprintf(address.protocol, sizeof address.protocol, "tcp");
    node_ = CreateMQNode(&address, MQNODE_MODE_CLIENT);
    if (node_ != nullptr && !mnOpen(node_)) {
      DeleteMQNode(node_);
      node_ = nullptr;
    }
    reply_ = CreatePcfMessage(0, MQCFT_RESPONSE, 32000);
    inquiry_ = Command(kInquireQmgr, "");
    mqPcfMessage* open = Command(kOpenQmgr, "BENCH");
    ok_ = node_ != nullptr && Exchange(open) && reply_->Cfh->CompCode == MQCC_OK;
    DeletePcfMessage(open);
  }
  ~AgentClient() {
    DeleteMQNode(node_);
    DeletePcfMessage(reply_);
    DeletePcfMessage(inquiry_);
  }
  bool ok() const { return ok_; }
  bool Inquire() { return Exchange(inquiry_) && IsBenchReply(reply_); }

 private:
  static mqPcfMessage* Command(MQLONG command, const char* qmgr) {
    mqPcfMessage* message = CreatePcfMessage(command, MQCFT_COMMAND, 512);
    if (*qmgr != '\0') {
      Message record{};
      CreatePcfStrAttr(&record, kQmgrName, qmgr);
      AppendAttr(message, &record);
      DeleteMessage(&record);
    }
    RawToPcf(message);
    MessageHeader* header = MESSAGE_HEADER(&message->Body);
    header->ReplyTag = 1;
    header->WaitInterval = kWaitMs;
    std::snprintf(header->ApplName, sizeof header->ApplName, "BENCH");
    return message;
  }
  // Sends message and reads its replies up to the last.
  bool Exchange(mqPcfMessage* message) {
    if (mnSWrite(message, node_, 0, nullptr) != 1) return false;
    for (;;) {
      mqnMQNodeData* nodes[] = {node_, nullptr};
      mqnMQNodeData* accept_ready[2] = {};
      mqnMQNodeData* read_ready[2] = {};
      int error = 0;
      if (!mnPost(nodes, accept_ready, read_ready, 10, &error)) return false;
      if (!mnSRead(reply_, node_, 0, nullptr)) {
        if (node_->lastError == 10035) continue;  // the rest of the frame is on its way
        return false;
      }
      if (reply_->Cfh->Control == MQCFC_LAST) return true;
    }
  }

  mqnMQNodeData* node_ = nullptr;
  mqPcfMessage* reply_ = nullptr;
  mqPcfMessage* inquiry_ = nullptr;
  bool ok_ = false;
};

// The baseline: the benchmark's own connection to BENCH.
class DirectClient {
 public:
  explicit DirectClient(int n) {
    std::string suffix = "BENCH" + std::to_string(n);
    manager_ = CreateCLConn("BENCH", "SYSTEM.ADMIN.COMMAND.QUEUE", nullptr, suffix.c_str());
    ok_ = manager_ != nullptr && manager_->hConn >= 0 && qmOpen(manager_, "");
    inquiry_ = CreatePcfMessage(kInquireQmgr, MQCFT_COMMAND, 512);
    RawToPcf(inquiry_);
    reply_ = CreatePcfMessage(0, MQCFT_RESPONSE, 32000);
  }
  ~DirectClient() {
    DeleteMQManager(manager_);
    DeletePcfMessage(inquiry_);
    DeletePcfMessage(reply_);
  }
  bool ok() const { return ok_; }
  bool Inquire() {
    if (!qmWrite(&inquiry_->Body, manager_)) return false;
    for (;;) {
      std::memset(reply_->Body.Md.MsgId, 0, sizeof reply_->Body.Md.MsgId);
      std::memset(reply_->Body.Md.CorrelId, 0, sizeof reply_->Body.Md.CorrelId);
      if (!qmRead(&reply_->Body, kWaitMs, manager_) || !RawToPcf(reply_)) return false;
      if (reply_->Cfh->Control == MQCFC_LAST) return IsBenchReply(reply_);
    }
  }

 private:
  MQManager* manager_ = nullptr;
  mqPcfMessage* inquiry_ = nullptr;
  mqPcfMessage* reply_ = nullptr;
  bool ok_ = false;
};

// Runs trips inquiries on every client at once, a thread each; false when
// any reply was wrong.
template <typename Client>
bool RunAll(std::vector<std::unique_ptr<Client>>& clients, int trips) {
  std::atomic<bool> good{true};
  std::vector<std::thread> threads;
  for (auto& client : clients) {
    threads.emplace_back([&good, &client, trips] {
      for (int i = 0; i < trips && good.load(); ++i) {
        if (!client->Inquire()) good.store(false);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  return good.load();
}

void BM_RelayedVsDirectRounds(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  if (!g_install) {
    g_install = std::make_unique<Installation>();
    if (!g_install->Start()) {
      g_install.reset();
      state.SkipWithError("mqsim or localagent did not start");
      return;
    }
  }
  std::vector<std::unique_ptr<AgentClient>> relayed;
  std::vector<std::unique_ptr<DirectClient>> direct;
  for (int i = 0; i < count; ++i) {
    relayed.push_back(std::make_unique<AgentClient>(g_install->port()));
    // The MQ client gives a thread that is connected already the same
    // connection again: each direct client connects on a thread of its
    // own, as each connection of the agent does.
    std::thread([&direct, i] { direct.push_back(std::make_unique<DirectClient>(i)); }).join();
    if (!relayed.back()->ok() || !direct.back()->ok()) {
      state.SkipWithError("a client could not select or open BENCH");
      return;
    }
  }
  bench::RatioRounds rounds;
  double relayed_seconds = 0, direct_seconds = 0;
  for (auto _ : state) {
    bool good = true;
    auto ours = [&] { good = RunAll(relayed, g_trips) && good; };
    auto base = [&] { good = RunAll(direct, g_trips) && good; };
    double ours_s = 0, base_s = 0;
    if (rounds.OursFirst()) {
      ours_s = bench::RatioRounds::Seconds(ours);
      base_s = bench::RatioRounds::Seconds(base);
    } else {
      base_s = bench::RatioRounds::Seconds(base);
      ours_s = bench::RatioRounds::Seconds(ours);
    }
    if (!good) {
      state.SkipWithError("a reply was missing or wrong");
      return;
    }
    rounds.Add(ours_s, base_s);
    relayed_seconds += ours_s;
    direct_seconds += base_s;
  }
  double trips = static_cast<double>(g_trips) * count * static_cast<double>(state.iterations());
  state.counters["relayed_per_s"] = trips / relayed_seconds;
  state.counters["direct_per_s"] = trips / direct_seconds;
  rounds.Report(state, "inquiry through the agent / direct, " + std::to_string(count) + " client(s)");
}

class Reporter : public bench::TimingReporter {
  void Summarize() override {}
};

}  // namespace

int main(int argc, char** argv) {
  g_trips = EnvInt("AGENT_BENCH_TRIPS", g_trips);
  g_rounds = EnvInt("AGENT_BENCH_ROUNDS", g_rounds);
  std::printf("round trips per client per round: %d, rounds: %d\n", g_trips, g_rounds);
  benchmark::RegisterBenchmark("BM_RelayedVsDirectRounds", BM_RelayedVsDirectRounds)
      ->Arg(1)
      ->Arg(16)
      ->Iterations(g_rounds)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  Reporter reporter;
  int result = bench::RunWith(argc, argv, &reporter);
  g_install.reset();
  return result;
}
