// Test fixture: a real mqsim on 127.0.0.1 over a temporary installation
// with two queue managers, QM1 (default) and QM2, on free ports.
#ifndef MQSIM_TESTS_MQSIM_FIXTURE_H_
#define MQSIM_TESTS_MQSIM_FIXTURE_H_

#include <gtest/gtest.h>
#include <mqi/mqi.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "common/install.h"
#include "common/wire.h"

namespace mqsim_test {

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

class MqsimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mqsimtest.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    setenv("HARROWLINE_MQM", root_.c_str(), 1);
    ASSERT_EQ(Ctl("create QM1 -p 0 -D"), 0);
    ASSERT_EQ(Ctl("create QM2 -p 0"), 0);
    StartServer();
  }

  void TearDown() override {
    StopServer();
    // A server that mqsimctl started in the background is no child of
    // ours: ask it to end, so that a failed test leaves nothing running.
    if (access((root_ + "/mqsim.sock").c_str(), F_OK) == 0) Ctl("shutdown");
    std::string log;
    mqsim::ReadFile(root_ + "/server.log", &log);
    EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << "sanitizer report in the server's log";
    EXPECT_EQ(log.find("runtime error"), std::string::npos) << "sanitizer report in the server's log";
    if (HasFailure()) {
      fprintf(stderr, "---- mqsim log ----\n%s\n", log.c_str());
    }
    std::string cmd = "rm -rf " + Quote(root_);
    if (system(cmd.c_str()) != 0) fprintf(stderr, "cannot remove %s\n", root_.c_str());
  }

  int Ctl(const std::string& args) {
    std::string cmd = std::string(MQSIMCTL_BIN) + " -m " + Quote(root_) + " " + args + " >>" +
                      Quote(root_ + "/ctl.log") + " 2>&1";
    int st = system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }

  // Starts mqsim with both queue managers and waits for its ready line.
  void StartServer(bool start_qm2 = true) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      dup2(out[1], 1);
      int log = open((root_ + "/server.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (log >= 0) dup2(log, 2);
      close(out[0]);
      if (start_qm2)
        execl(server_binary_.c_str(), "mqsim", "-m", root_.c_str(), "-s", "QM1", "-s", "QM2", (char*)nullptr);
      else
        execl(server_binary_.c_str(), "mqsim", "-m", root_.c_str(), "-s", "QM1", (char*)nullptr);
      _exit(127);
    }
    close(out[1]);
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    char c;
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{out[0], POLLIN, 0};
      // A server that neither speaks nor exits must not hang the test.
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) != 1) break;
      if (read(out[0], &c, 1) != 1 || c == '\n') break;
      line += c;
    }
    close(out[0]);
    ASSERT_EQ(line, "mqsim: ready");
    port1_ = mqsim::ReadListenerPort(root_ + "/qmgrs/QM1");
    port2_ = mqsim::ReadListenerPort(root_ + "/qmgrs/QM2");
    ASSERT_GT(port1_, 0);
  }

  // SIGTERM, then SIGKILL after a deadline.
  void StopServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!WaitChild(std::chrono::seconds(10))) {
      kill(pid_, SIGKILL);
      WaitChild(std::chrono::seconds(10));
    }
    pid_ = -1;
  }

  void KillServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    WaitChild(std::chrono::seconds(10));
    pid_ = -1;
  }

  bool WaitChild(std::chrono::seconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) == pid_) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

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

  std::string server_binary_ = MQSIM_BIN;
  std::string root_;
  pid_t pid_ = -1;
  int port1_ = 0;
  int port2_ = 0;
};

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
inline MQLONG Open(MQHCONN h, const std::string& name, MQLONG options, MQHOBJ* obj,
                   const std::string& qmgr = "", MQOD* od_out = nullptr) {
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
