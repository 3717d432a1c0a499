// Test fixture: a real mqsim on 127.0.0.1 over a temporary installation
// with two queue managers, QM1 (default) and QM2, on free ports.
#ifndef MQSIM_TESTS_MQSIM_FIXTURE_H_
#define MQSIM_TESTS_MQSIM_FIXTURE_H_

#include <gtest/gtest.h>
#include <mqi/mqi.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/testsupport.h"

#include "common/install.h"
#include "common/wire.h"

namespace mqsim_test {

// Splits a control command line into arguments: blanks separate, and
// single quotes keep blanks inside one argument ("--desc 'An app queue'").
inline std::vector<std::string> SplitArgs(const std::string& line) {
  std::vector<std::string> args;
  std::string current;
  bool quoted = false, have = false;
  for (char c : line) {
    if (c == '\'') {
      quoted = !quoted;
      have = true;
    } else if (c == ' ' && !quoted) {
      if (have) args.push_back(current);
      current.clear();
      have = false;
    } else {
      current += c;
      have = true;
    }
  }
  if (have) args.push_back(current);
  return args;
}

class MqsimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Fixed ports below the ephemeral range: the queue managers keep them
    // across the restarts the tests make. A port found free can still be
    // taken by another program before the server binds it: then the
    // installation is made anew with other ports.
    std::string error;
    for (int attempt = 0; attempt < 3; ++attempt) {
      mqm_env_.reset();
      root_dir_ = std::make_unique<harrow::testsupport::TempDir>("mqsimtest");
      root_ = root_dir_->path();
      ASSERT_FALSE(root_.empty());
      mqm_env_ = std::make_unique<harrow::testsupport::ScopedEnv>("HARROWLINE_MQM", root_);
      const int p1 = harrow::testsupport::FreeLoopbackPort();
      int p2 = harrow::testsupport::FreeLoopbackPort();
      while (p2 == p1) p2 = harrow::testsupport::FreeLoopbackPort();
      ASSERT_EQ(Ctl("create QM1 -p " + std::to_string(p1) + " -D"), 0);
      ASSERT_EQ(Ctl("create QM2 -p " + std::to_string(p2)), 0);
      error.clear();
      if (TryStartServer(true, &error)) return;
      if (error.find("Address already in use") == std::string::npos) break;
    }
    FAIL() << error;
  }

  void TearDown() override {
    StopServer();
    // A server that mqsimctl started in the background is no child of
    // ours: ask it to end, so that a failed test leaves nothing running.
    if (access((root_ + "/mqsim.sock").c_str(), F_OK) == 0) Ctl("shutdown");
    std::string log = harrow::testsupport::ReadWholeFile(root_ + "/mqsim.log");
    EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << "sanitizer report in the background server's log";
    EXPECT_EQ(log.find("runtime error"), std::string::npos) << "sanitizer report in the background server's log";
    mqm_env_.reset();
    // The temporary installation goes with root_dir_, without a shell.
  }

  // Runs mqsimctl on the installation; its output is appended to ctl.log.
  // Returns its exit status, -1 when it did not end within a minute.
  int Ctl(const std::string& args) { return RunCtl(args, root_ + "/ctl.log"); }

  // Runs mqsimctl and returns what it printed.
  std::string CtlOutput(const std::string& args) {
    harrow::testsupport::TempDir out_dir("mqsimctl-out");
    RunCtl(args, out_dir.Sub("out.log"));
    return harrow::testsupport::ReadWholeFile(out_dir.Sub("out.log"));
  }

  int RunCtl(const std::string& args, const std::string& log_path) {
    harrow::testsupport::ServerOptions options;
    options.program = MQSIMCTL_BIN;
    options.args = {"-m", root_};
    for (std::string& a : SplitArgs(args)) options.args.push_back(std::move(a));
    options.log_path = log_path;
    std::string error;
    int status = harrow::testsupport::RunToExit(options, std::chrono::seconds(60), &error);
    if (status < 0) ADD_FAILURE() << "mqsimctl " << args << ": " << error;
    return status;
  }

  // Starts mqsim with QM1 (and QM2) and waits for its ready line.
  void StartServer(bool start_qm2 = true) {
    std::string error;
    ASSERT_TRUE(TryStartServer(start_qm2, &error)) << error;
  }

  bool TryStartServer(bool start_qm2, std::string* error) {
    harrow::testsupport::ServerOptions options;
    options.program = server_binary_;
    options.args = {"-m", root_, "-s", "QM1"};
    if (start_qm2) options.args.insert(options.args.end(), {"-s", "QM2"});
    options.args.insert(options.args.end(), server_args_.begin(), server_args_.end());
    options.ready_text = "mqsim: ready";
    options.log_path = root_ + "/server.log";
    if (!server_.Start(options, error)) return false;
    port1_ = mqsim::ReadListenerPort(root_ + "/qmgrs/QM1");
    port2_ = mqsim::ReadListenerPort(root_ + "/qmgrs/QM2");
    if (port1_ <= 0) *error = "no listener port for QM1";
    return port1_ > 0;
  }

  // SIGTERM, then SIGABRT, then SIGKILL, each after a deadline.
  void StopServer() { server_.Stop(); }

  void KillServer() { server_.Kill(); }

  // Waits for the server to end by itself; true when it did.
  bool WaitServerExit(std::chrono::seconds limit) { return server_.WaitExit(limit); }

  MQHCONN Connect(const char* name = "QM1") {
    MQHCONN h = MQHC_UNUSABLE_HCONN;
    MQLONG cc = 0, rc = 0;
    char qm[48] = {0};
    mqsim::SetField(qm, sizeof qm, name);
    MQCONN(qm, &h, &cc, &rc);
    EXPECT_EQ(cc, MQCC_OK) << "MQCONN " << name << " reason " << rc;
    EXPECT_GT(h, 0);
    return h;
  }

  MQHCONN ConnectX(const char* name, int port, MQLONG* cc, MQLONG* rc) {
    MQCD cd{};
    memcpy(cd.ChannelName, "SYSTEM.DEF.SVRCONN  ", 20);
    cd.Version = MQCD_VERSION_6;
    cd.ChannelType = MQCHT_CLNTCONN;
    cd.TransportType = MQXPT_TCP;
    std::string conn = "127.0.0.1(" + std::to_string(port) + ")";
    memset(cd.ConnectionName, ' ', sizeof cd.ConnectionName);
    memcpy(cd.ConnectionName, conn.data(), conn.size());
    MQCNO cno{};
    memcpy(cno.StrucId, MQCNO_STRUC_ID, 4);
    cno.Version = MQCNO_VERSION_2;
    cno.ClientConnPtr = &cd;
    char qm[48] = {0};
    mqsim::SetField(qm, sizeof qm, name);
    MQHCONN h = MQHC_UNUSABLE_HCONN;
    MQCONNX(qm, &cno, &h, cc, rc);
    return h;
  }

  void Disconnect(MQHCONN& h) {
    MQLONG cc = 0, rc = 0;
    MQDISC(&h, &cc, &rc);
  }

  // The current depth of a queue, through a connection of its own; -1 when
  // it cannot be opened. Not for a thread that holds a connection to qmgr.
  MQLONG Depth(const char* qmgr, const char* queue);

  std::string server_binary_ = MQSIM_BIN;
  std::unique_ptr<harrow::testsupport::TempDir> root_dir_;
  std::unique_ptr<harrow::testsupport::ScopedEnv> mqm_env_;
  std::vector<std::string> server_args_;  // more options for the server
  std::string root_;
  harrow::testsupport::ServerProcess server_;
  int port1_ = 0;
  int port2_ = 0;
};

inline MQLONG Open(MQHCONN h, const std::string& name, MQLONG options, MQHOBJ* obj,
                   const std::string& qmgr = "", MQOD* od_out = nullptr);

inline MQLONG MqsimTest::Depth(const char* qmgr, const char* queue) {
  MQHCONN h = Connect(qmgr);
  MQHOBJ obj = 0;
  MQLONG depth = -1;
  if (Open(h, queue, MQOO_INQUIRE, &obj) == 0) {
    MQLONG sel = MQIA_CURRENT_Q_DEPTH, cc = 0, rc = 0;
    MQINQ(h, obj, 1, &sel, 1, &depth, 0, nullptr, &cc, &rc);
  }
  Disconnect(h);
  return depth;
}

inline MQOD Od(const std::string& name, const std::string& qmgr = "") {
  MQOD od{};
  memcpy(od.StrucId, MQOD_STRUC_ID, 4);
  od.Version = MQOD_VERSION_1;
  od.ObjectType = MQOT_Q;
  mqsim::SetField(od.ObjectName, 48, name.c_str());
  mqsim::SetField(od.ObjectQMgrName, 48, qmgr.c_str());
  mqsim::SetField(od.DynamicQName, 48, "AMQ.*");
  return od;
}

inline MQMD Md() {
  MQMD md{};
  memcpy(md.StrucId, MQMD_STRUC_ID, 4);
  md.Version = MQMD_VERSION_2;
  md.MsgType = MQMT_DATAGRAM;
  md.Expiry = MQEI_UNLIMITED;
  md.Encoding = MQENC_NATIVE;
  md.Priority = MQPRI_PRIORITY_AS_Q_DEF;
  md.Persistence = MQPER_PERSISTENCE_AS_Q_DEF;
  memcpy(md.Format, MQFMT_STRING, 8);
  md.MsgSeqNumber = 1;
  md.OriginalLength = MQOL_UNDEFINED;
  return md;
}

inline MQPMO Pmo(MQLONG options = MQPMO_NO_SYNCPOINT) {
  MQPMO pmo{};
  memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
  pmo.Version = MQPMO_VERSION_1;
  pmo.Options = options;
  pmo.Timeout = -1;
  return pmo;
}

inline MQGMO Gmo(MQLONG options = MQGMO_NO_SYNCPOINT, MQLONG wait_ms = 0) {
  MQGMO gmo{};
  memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
  gmo.Version = MQGMO_VERSION_2;
  gmo.Options = options;
  gmo.WaitInterval = wait_ms;
  gmo.MatchOptions = MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID;
  return gmo;
}

// Open; returns the reason (0 on success).
inline MQLONG Open(MQHCONN h, const std::string& name, MQLONG options, MQHOBJ* obj, const std::string& qmgr,
                   MQOD* od_out) {
  MQOD od = Od(name, qmgr);
  MQLONG cc = 0, rc = 0;
  MQOPEN(h, &od, options, obj, &cc, &rc);
  if (od_out != nullptr) *od_out = od;
  return rc;
}

inline MQLONG Put(MQHCONN h, MQHOBJ obj, const std::string& data, MQMD* md_io = nullptr,
                  MQLONG options = MQPMO_NO_SYNCPOINT) {
  MQMD md = md_io != nullptr ? *md_io : Md();
  MQPMO pmo = Pmo(options);
  MQLONG cc = 0, rc = 0;
  MQPUT(h, obj, &md, &pmo, static_cast<MQLONG>(data.size()), const_cast<char*>(data.data()), &cc, &rc);
  if (md_io != nullptr) *md_io = md;
  return rc;
}

struct Got {
  MQLONG cc = 0, rc = 0, length = 0;
  std::string data;
  MQMD md{};
};

inline Got Get(MQHCONN h, MQHOBJ obj, MQLONG options = MQGMO_NO_SYNCPOINT, MQLONG wait_ms = 0,
               MQLONG buffer = 65536, const MQMD* match = nullptr) {
  Got g;
  g.md = match != nullptr ? *match : Md();
  MQGMO gmo = Gmo(options, wait_ms);
  std::string buf(static_cast<size_t>(buffer), '\0');
  MQGET(h, obj, &g.md, &gmo, buffer, buf.data(), &g.length, &g.cc, &g.rc);
  if (g.cc != MQCC_FAILED) g.data = buf.substr(0, std::min(g.length, buffer));
  return g;
}

}  // namespace mqsim_test

#endif  // MQSIM_TESTS_MQSIM_FIXTURE_H_
