// A real mqsim for msgops tests: one queue manager QM1 in a private
// installation, started through the test harness, with helpers to define
// queues, put messages and read the server's responses back.
#ifndef MSGOPS_TESTS_MQSIM_ENV_H_
#define MSGOPS_TESTS_MQSIM_ENV_H_

#include <gtest/gtest.h>
#include <mqi/mqi.h>
#include <pcfcore/pcfcore.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "request_builder.h"
#include "request_params.h"
#include "testsupport/testsupport.h"

namespace msgops_test {

namespace ts = harrow::testsupport;

inline void SetMqField(char* field, size_t length, const std::string& text) {
  std::memset(field, ' ', length);
  std::memcpy(field, text.data(), std::min(length, text.size()));
}

class MqsimEnv {
 public:
  MqsimEnv() : dir_("msgops"), env_("HARROWLINE_MQM", dir_.path()) {}
  ~MqsimEnv() { server_.Stop(); }

  // Creates QM1 and starts the server; false (with a test failure) when not.
  bool Start() {
    // A port below the ephemeral range, kept across restarts.
    const std::string port = std::to_string(ts::FreeLoopbackPort());
    if (Ctl({"create", "QM1", "-p", port, "-D"}) != 0) return Failed("mqsimctl create");
    return StartServer();
  }
  bool StartServer() {
    ts::ServerOptions options;
    options.program = ts::ProgramPath("mqsim");
    options.args = {"-m", dir_.path(), "-s", "QM1"};
    options.env = {{"HARROWLINE_MQM", dir_.path()}};
    options.ready_text = "mqsim: ready";
    std::string error;
    if (!server_.Start(options, &error)) return Failed("mqsim: " + error);
    return true;
  }
  int Kill() { return server_.Kill(); }
  int Stop() { return server_.Stop(); }

  // Runs mqsimctl with the arguments; its exit status.
  int Ctl(const std::vector<std::string>& args) {
    pid_t pid = fork();
    if (pid == 0) {
      std::vector<std::string> all = {"mqsimctl", "-m", dir_.path()};
      all.insert(all.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (auto& a : all) argv.push_back(a.data());
      argv.push_back(nullptr);
      int null = open("/dev/null", O_WRONLY);
      if (null >= 0) dup2(null, 1);
      std::string program = ts::ProgramPath("mqsimctl");
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  bool DefineLocal(const std::string& name, std::vector<std::string> options = {}) {
    std::vector<std::string> args = {"define", "QM1", name, "--type", "local", "--replace"};
    args.insert(args.end(), options.begin(), options.end());
    int rc = Ctl(args);
    EXPECT_EQ(rc, 0) << "define " << name;
    return rc == 0;
  }

  MQHCONN Connect() {
    char qm[48];
    SetMqField(qm, sizeof qm, "QM1");
    MQHCONN h = MQHC_UNUSABLE_HCONN;
    MQLONG cc = 0, rc = 0;
    MQCONN(qm, &h, &cc, &rc);
    EXPECT_EQ(cc, MQCC_OK) << "MQCONN reason " << rc;
    return h;
  }

  const std::string& root() const { return dir_.path(); }

 private:
  bool Failed(const std::string& what) {
    ADD_FAILURE() << what;
    return false;
  }
  ts::TempDir dir_;
  ts::ScopedEnv env_;
  ts::ServerProcess server_;
};

// A connection with helpers to put, browse and get.
class Conn {
 public:
  explicit Conn(MQHCONN h) : h_(h) {}
  ~Conn() {
    for (auto& [name, obj] : open_) {
      MQLONG cc, rc;
      MQCLOSE(h_, &obj, MQCO_NONE, &cc, &rc);
    }
    MQLONG cc, rc;
    if (h_ > 0) MQDISC(&h_, &cc, &rc);
  }
  MQHCONN h() const { return h_; }

  MQHOBJ Open(const std::string& name, MQLONG options) {
    for (auto& [n, obj] : open_) {
      if (n == name + "/" + std::to_string(options)) return obj;
    }
    MQOD od{};
    std::memcpy(od.StrucId, MQOD_STRUC_ID, 4);
    od.Version = MQOD_VERSION_1;
    od.ObjectType = MQOT_Q;
    SetMqField(od.ObjectName, 48, name);
    SetMqField(od.ObjectQMgrName, 48, "");
    MQHOBJ obj = MQHO_UNUSABLE_HOBJ;
    MQLONG cc = 0, rc = 0;
    MQOPEN(h_, &od, options, &obj, &cc, &rc);
    EXPECT_EQ(cc, MQCC_OK) << "MQOPEN " << name << " reason " << rc;
    open_.push_back({name + "/" + std::to_string(options), obj});
    return obj;
  }

  static MQMD NewMd(const char* format = MQFMT_STRING) {
    MQMD md{};
    SetDefaultMd(&md);
    md.Version = MQMD_VERSION_2;
    std::memcpy(md.Format, format, 8);
    return md;
  }

  // Puts data; returns the reason. md_io gets the descriptor as put.
  MQLONG Put(const std::string& queue, const std::string& data, MQMD* md_io = nullptr,
             MQLONG options = MQPMO_NO_SYNCPOINT) {
    MQHOBJ obj = Open(queue, MQOO_OUTPUT | MQOO_SET_ALL_CONTEXT);
    MQMD md = md_io != nullptr ? *md_io : NewMd();
    MQPMO pmo{};
    std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
    pmo.Version = MQPMO_VERSION_1;
    pmo.Options = options;
    pmo.Timeout = -1;
    MQLONG cc = 0, rc = 0;
    MQPUT(h_, obj, &md, &pmo, static_cast<MQLONG>(data.size()), const_cast<char*>(data.data()), &cc, &rc);
    if (md_io != nullptr) *md_io = md;
    return rc;
  }

  struct Got {
    MQLONG reason = 0;
    MQMD md{};
    std::string data;
  };
  // Gets (or browses, with browse options) the next message.
  Got Get(const std::string& queue, MQLONG options, MQLONG open_options = MQOO_INPUT_SHARED | MQOO_BROWSE) {
    MQHOBJ obj = Open(queue, open_options);
    Got g;
    g.md = NewMd();
    MQGMO gmo{};
    std::memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
    gmo.Version = MQGMO_VERSION_2;
    gmo.Options = options;
    std::string buffer(1 << 20, '\0');
    MQLONG length = 0, cc = 0;
    MQGET(h_, obj, &g.md, &gmo, static_cast<MQLONG>(buffer.size()), buffer.data(), &length, &cc, &g.reason);
    if (cc != MQCC_FAILED) g.data = buffer.substr(0, static_cast<size_t>(length));
    return g;
  }
  // Every message on the queue, in order, by browsing.
  std::vector<Got> BrowseAll(const std::string& queue) {
    std::vector<Got> all;
    MQHOBJ obj = MQHO_UNUSABLE_HOBJ;
    {
      MQOD od{};
      std::memcpy(od.StrucId, MQOD_STRUC_ID, 4);
      od.Version = MQOD_VERSION_1;
      od.ObjectType = MQOT_Q;
      SetMqField(od.ObjectName, 48, queue);
      MQLONG cc, rc;
      MQOPEN(h_, &od, MQOO_BROWSE, &obj, &cc, &rc);
      if (cc != MQCC_OK) return all;
    }
    std::string buffer(1 << 20, '\0');
    for (bool first = true;; first = false) {
      Got g;
      g.md = NewMd();
      MQGMO gmo{};
      std::memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
      gmo.Version = MQGMO_VERSION_2;
      gmo.Options = first ? MQGMO_BROWSE_FIRST : MQGMO_BROWSE_NEXT;
      MQLONG length = 0, cc = 0;
      MQGET(h_, obj, &g.md, &gmo, static_cast<MQLONG>(buffer.size()), buffer.data(), &length, &cc, &g.reason);
      if (cc == MQCC_FAILED) break;
      g.data = buffer.substr(0, static_cast<size_t>(length));
      all.push_back(std::move(g));
    }
    MQLONG cc, rc;
    MQCLOSE(h_, &obj, MQCO_NONE, &cc, &rc);
    return all;
  }

  // Reads every PCF response waiting on the queue, in order.
  std::vector<PcfPtr> Responses(const std::string& reply_queue) {
    std::vector<PcfPtr> out;
    for (;;) {
      Got g = Get(reply_queue, MQGMO_NO_SYNCPOINT, MQOO_INPUT_SHARED);
      if (g.reason == MQRC_NO_MSG_AVAILABLE) break;
      EXPECT_EQ(g.reason, 0) << "reading responses";
      if (g.reason != 0) break;
      PcfPtr m(CreatePcfMessage(0, MQCFT_RESPONSE, static_cast<MQLONG>(g.data.size())));
      SizePcfMessage(m.get(), static_cast<MQLONG>(g.data.size()));
      std::memcpy(PCF_BODY(m.get()), g.data.data(), g.data.size());
      m->Body.UsedLength = MESSAGE_HEADER_LENGTH + static_cast<MQLONG>(g.data.size());
      EXPECT_EQ(RawToPcf(m.get()), 1) << "response is no PCF message";
      m->Body.Md = g.md;
      out.push_back(std::move(m));
    }
    return out;
  }

 private:
  MQHCONN h_;
  std::vector<std::pair<std::string, MQHOBJ>> open_;
};

// Reads a parameter of a response.
inline std::optional<MQLONG> IntParam(mqPcfMessage* m, MQLONG id) {
  msgops::RequestParams p(m);
  return p.Int(id);
}
inline std::optional<std::string> BytesParam(mqPcfMessage* m, MQLONG id) {
  msgops::RequestParams p(m);
  auto v = p.Bytes(id);
  if (!v) return std::nullopt;
  return v->bytes;
}
inline bool IsStringParam(mqPcfMessage* m, MQLONG id) {
  msgops::RequestParams p(m);
  auto v = p.Bytes(id);
  return v && v->is_string;
}

}  // namespace msgops_test

#endif  // MSGOPS_TESTS_MQSIM_ENV_H_
