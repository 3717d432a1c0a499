// Test fixture for qmlink against a real mqsim: a private installation
// (HARROWLINE_MQM) and registry (HRLCOMPACT_REGISTRY) in a temporary
// directory, queue manager QM1 (the default) served by mqsim on a free
// loopback port, and a stand-in command server the test drives itself.
#ifndef QMLINK_TESTS_MQSIM_ENV_H_
#define QMLINK_TESTS_MQSIM_ENV_H_

#include <gtest/gtest.h>
#include <mqi/mqi.h>
#include <os/registry.h>
#include <pcfcore/pcfcore.h>
#include <qmlink/qmlink.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <testsupport/testsupport.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace qmlink_test {

namespace ts = harrow::testsupport;

inline void SetField(char* field, size_t width, const std::string& text) {
  size_t n = std::min(width, text.size());
  std::memcpy(field, text.data(), n);
  std::memset(field + n, ' ', width - n);
}

inline std::string Trimmed(const char* field, size_t width) {
  std::string s(field, strnlen(field, width));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Runs a program to its end (at most 20 s); its exit code, or -1.
inline int RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& log_path) {
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  bool done = ts::WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(20));
  if (!done) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline MQMD DefaultMd() {
  MQMD md;
  SetDefaultMd(&md);
  return md;
}

// A connection of the test's own, on the calling thread.
class Conn {
 public:
  explicit Conn(const char* qmgr = "QM1") {
    char name[48];
    SetField(name, 48, qmgr);
    MQLONG cc = 0, rc = 0;
    MQCONN(name, &h_, &cc, &rc);
    // A thread that already holds QM1 (through an object under test) gets
    // that handle back, which is not ours to end.
    owned_ = cc == MQCC_OK;
    EXPECT_TRUE(cc == MQCC_OK || rc == MQRC_ALREADY_CONNECTED) << "MQCONN reason " << rc;
  }
  ~Conn() {
    MQLONG cc = 0, rc = 0;
    if (owned_ && h_ > 0) MQDISC(&h_, &cc, &rc);
  }
  MQHCONN h() const { return h_; }

  static MQOD Od(const std::string& queue) {
    MQOD od{};
    std::memcpy(od.StrucId, MQOD_STRUC_ID, 4);
    od.Version = MQOD_VERSION_1;
    od.ObjectType = MQOT_Q;
    SetField(od.ObjectName, 48, queue);
    SetField(od.ObjectQMgrName, 48, "");
    SetField(od.DynamicQName, 48, "AMQ.*");
    SetField(od.AlternateUserId, 12, "");
    return od;
  }

  MQHOBJ Open(const std::string& queue, MQLONG options, MQLONG* reason = nullptr) {
    MQOD od = Od(queue);
    MQHOBJ obj = MQHO_UNUSABLE_HOBJ;
    MQLONG cc = 0, rc = 0;
    MQOPEN(h_, &od, options, &obj, &cc, &rc);
    if (reason != nullptr) *reason = rc;
    return obj;
  }

  MQLONG Put1(const std::string& queue, MQMD* md, const void* data, size_t length) {
    MQOD od = Od(queue);
    MQPMO pmo{};
    std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
    pmo.Version = MQPMO_VERSION_1;
    pmo.Options = MQPMO_NO_SYNCPOINT;
    MQLONG cc = 0, rc = 0;
    MQPUT1(h_, &od, md, &pmo, static_cast<MQLONG>(length), const_cast<void*>(data), &cc, &rc);
    return rc;
  }

  MQLONG Depth(const std::string& queue) {
    MQLONG reason = 0;
    MQHOBJ obj = Open(queue, MQOO_INQUIRE, &reason);
    if (reason != MQRC_NONE) return -reason;
    MQLONG selector = MQIA_CURRENT_Q_DEPTH, depth = -1, cc = 0, rc = 0;
    MQINQ(h_, obj, 1, &selector, 1, &depth, 0, nullptr, &cc, &rc);
    MQCLOSE(h_, &obj, MQCO_NONE, &cc, &rc);
    return depth;
  }

 private:
  MQHCONN h_ = MQHC_UNUSABLE_HCONN;
  bool owned_ = false;
};

// Plays the command server of QM1 on a thread of its own: holds
// SYSTEM.ADMIN.COMMAND.QUEUE open for input and, when answering, replies to
// each request with one PCF response of the same command (Control last),
// passing MsgId and CorrelId as the request's report options ask (else a
// new MsgId and the request's MsgId as CorrelId, as MQ does).
class FakeCommandServer {
 public:
  enum class Mode { kAnswer, kSilent };

  // Answers each request with `replies` responses, the last with Control 1.
  explicit FakeCommandServer(Mode mode = Mode::kAnswer, int replies = 1) : mode_(mode), replies_(replies) {
    thread_ = std::thread([this] { Run(); });
    EXPECT_TRUE(ts::WaitFor([this] { return ready_.load(); }, std::chrono::seconds(10)));
  }
  ~FakeCommandServer() {
    stop_ = true;
    thread_.join();
  }

  struct Request {
    MQMD md;
    std::vector<unsigned char> body;
    MQLONG Command() const {
      return body.size() >= sizeof(MQCFH) ? reinterpret_cast<const MQCFH*>(body.data())->Command : -1;
    }
  };
  std::vector<Request> Requests() {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
  }
  size_t RequestCount() {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_.size();
  }

 private:
  void Run() {
    Conn conn;
    MQHOBJ q = conn.Open(QMLINK_COMMAND_QUEUE, MQOO_INPUT_SHARED);
    ready_ = true;
    std::vector<unsigned char> buffer(1 << 20);
    while (!stop_) {
      if (mode_ == Mode::kSilent) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        continue;
      }
      MQMD md = DefaultMd();
      MQGMO gmo{};
      std::memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
      gmo.Version = MQGMO_VERSION_2;
      gmo.Options = MQGMO_WAIT | MQGMO_NO_SYNCPOINT;
      gmo.WaitInterval = 50;
      MQLONG length = 0, cc = 0, rc = 0;
      MQGET(conn.h(), q, &md, &gmo, static_cast<MQLONG>(buffer.size()), buffer.data(), &length, &cc, &rc);
      if (cc != MQCC_OK) continue;
      Request r{md, std::vector<unsigned char>(buffer.begin(), buffer.begin() + length)};
      {
        std::lock_guard<std::mutex> lock(mu_);
        requests_.push_back(r);
      }
      for (int i = 1; i <= replies_; ++i) Answer(conn, r, i, i == replies_);
    }
  }

  static void Answer(Conn& conn, const Request& r, MQLONG sequence, bool last) {
    MQCFH cfh{};
    cfh.Type = MQCFT_RESPONSE;
    cfh.StrucLength = MQCFH_STRUC_LENGTH;
    cfh.Version = MQCFH_VERSION_1;
    cfh.Command = r.Command();
    cfh.MsgSeqNumber = sequence;
    cfh.Control = last ? MQCFC_LAST : MQCFC_NOT_LAST;
    MQMD md = DefaultMd();
    md.MsgType = MQMT_REPLY;
    std::memcpy(md.Format, MQFMT_ADMIN, 8);
    if (r.md.Report & MQRO_PASS_MSG_ID) std::memcpy(md.MsgId, r.md.MsgId, 24);
    std::memcpy(md.CorrelId, (r.md.Report & MQRO_PASS_CORREL_ID) ? r.md.CorrelId : r.md.MsgId, 24);
    conn.Put1(Trimmed(r.md.ReplyToQ, 48), &md, &cfh, sizeof cfh);
  }

  Mode mode_;
  int replies_;
  std::thread thread_;
  std::atomic<bool> ready_{false};
  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::vector<Request> requests_;
};

class MqsimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    root_ = dir_.path();
    mqm_env_ = std::make_unique<ts::ScopedEnv>("HARROWLINE_MQM", root_);
    registry_env_ = std::make_unique<ts::ScopedEnv>("HRLCOMPACT_REGISTRY", dir_.Sub("registry"));
    // A port below the ephemeral range, kept across restarts.
    ASSERT_EQ(Ctl({"create", "QM1", "-D", "-p", std::to_string(ts::FreeLoopbackPort())}), 0) << ts::ReadWholeFile(dir_.Sub("ctl.log"));
    ts::ServerOptions o;
    o.program = ts::ProgramPath("mqsim");
    o.args = {"-m", root_, "-s", "QM1"};
    o.ready_text = "mqsim: ready";
    std::string error;
    ASSERT_TRUE(server_.Start(o, &error)) << error;
    port_ = ListenerPort("QM1");
    ASSERT_GT(port_, 0);
    // These tests play the command server themselves (FakeCommandServer),
    // so the queue manager's own stands aside.
    ASSERT_EQ(Ctl({"cmdserver", "QM1", "stop"}), 0) << ts::ReadWholeFile(dir_.Sub("ctl.log"));
  }

  int Ctl(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"-m", root_};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(ts::ProgramPath("mqsimctl"), all, dir_.Sub("ctl.log"));
  }

  int ListenerPort(const std::string& qmgr) {
    std::ifstream in(root_ + "/qmgrs/" + qmgr + "/qm.ini");
    std::string line;
    while (std::getline(in, line)) {
      size_t at = line.find("Port=");
      if (at != std::string::npos) return std::atoi(line.c_str() + at + 5);
    }
    return -1;
  }

  // The suite's client-connection key for a queue manager.
  void DefineClient(const std::string& key_name, const std::string& channel, const std::string& connection) {
    HKEY key = nullptr;
    std::string path = "Software\\Brackwin\\Harrowline Compact\\Queue Managers\\" + key_name;
    ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, path.c_str(), &key), OS_REG_SUCCESS);
    if (!channel.empty()) ASSERT_EQ(osRegSetString(key, "Channel Name", channel.c_str()), OS_REG_SUCCESS);
    if (!connection.empty()) ASSERT_EQ(osRegSetString(key, "Connection Name", connection.c_str()), OS_REG_SUCCESS);
    osRegCloseKey(key);
  }
  void DefineQM1() { DefineClient("QM1", "SYSTEM.DEF.SVRCONN", "127.0.0.1(" + std::to_string(port_) + ")"); }

  ts::TempDir dir_{"qmlink"};
  std::string root_;
  std::unique_ptr<ts::ScopedEnv> mqm_env_;
  std::unique_ptr<ts::ScopedEnv> registry_env_;
  ts::ServerProcess server_;
  int port_ = 0;
};

// A PCF command in a message of its own; freed by the test.
struct Pcf {
  explicit Pcf(MQLONG command, MQLONG type = MQCFT_COMMAND, MQLONG size = 512)
      : m(CreatePcfMessage(command, type, size)) {}
  ~Pcf() { DeletePcfMessage(m); }
  Message* body() { return &m->Body; }
  MQCFH* cfh() { return reinterpret_cast<MQCFH*>(PCF_BODY(m)); }
  mqPcfMessage* m;
};

}  // namespace qmlink_test

#endif  // QMLINK_TESTS_MQSIM_ENV_H_
