// The agent program as a user runs it: options and their messages, the
// start-up dump, signals, a port already taken, no credential, the service
// form and its unit file.

#include <signal.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "agent_fixture.h"

namespace localagent::testing {
namespace {

namespace ts = harrow::testsupport;
using std::chrono::seconds;

std::string Port(int port) { return std::to_string(port); }

TEST_F(AgentTest, OptionsFromTheVariableAndTheCommandLineWithTheirMessages) {
  WriteGroupIni("");
  ASSERT_TRUE(StartAgent({"-console", "-s" + Port(agent_port_), "-mG1", "-d", "-r2x", "-x9"},
                         "-mFROMVAR;-d3, -Qqm*,-bogus -r0"));
  std::string out = Output();
  EXPECT_NE(out.find("CONSOLE MODE: \"Harrowline Compact Connection Manager\".\n"), std::string::npos);
  EXPECT_NE(out.find("TLX1001I Harrowline Connection Manager started V3.6.0023\n"), std::string::npos);
  EXPECT_NE(out.find("Invalid environment option: \"-bogus\"\n"
                     "Invalid command line option \"-d\"\n"
                     "Invalid command line option \"-r2x\"\n"
                     "Invalid command line option \"-x9\"\n"
                     "Unrecognized parameters have been ignored\n\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\nLocal Manager Startup parameters:\n"
                     "  PORT(" + Port(agent_port_) + ")\n"
                     "  GROUP(G1)\n"
                     "  ALIAS_NODE(" + host_upper_ + ")\n"
                     "  QMGR_MASK(qm*)\n"
                     "  TRACE(OFF)\n"
                     "  AUTHORIZATION(OFF)\n"
                     "  AUTHENTICATION(OFF)\n"
                     "  VERIFY(OFF)\n"
                     "  REUSE_ADDR(OFF)\n"
                     "  REPORT_IP(ON)\n"
                     "  BIND_RETRIES(1)\n"
                     "  DEF_DISCOVERY(3 min)\n"
                     "  ENABLE QMGR CONFIGURATION TEST\n"
                     "  HARROWLINE_INSTALL(" + dir_->path() + ")\n"
                     "  GROUPMGR_REG_RETRY(0 min)\n\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("IMI0009(" + host_upper_ + ", G1, " + Port(agent_port_) +
                     "): TCP/IP Server node bound on port " + Port(agent_port_) + "\n"),
            std::string::npos)
      << out;
}

TEST_F(AgentTest, CommunicationTraceRecordsSocketAndNodeOperations) {
  ASSERT_TRUE(StartAgent({"-console", "-s" + Port(agent_port_), "-x"}));
  std::string out = Output();
  EXPECT_NE(out.find("IGT0001: METHOD("), std::string::npos) << out;
  EXPECT_NE(out.find("IGT0002: NAME("), std::string::npos);
  EXPECT_NE(out.find("IGT0004: METHOD("), std::string::npos);
  EXPECT_NE(out.find("IGT0005: ADDR("), std::string::npos);
  EXPECT_NE(out.find("-----------------------------------------------------------\n\n"),
            std::string::npos);
  EXPECT_NE(out.find("\nDate: "), std::string::npos);
}

TEST_F(AgentTest, UsageEndsWithOne) {
  std::string out;
  EXPECT_EQ(RunToEnd({"-console", "-?"}, {}, &out), 1);
  EXPECT_NE(out.find("Usage: localagent \n"), std::string::npos) << out;
  EXPECT_NE(out.find("    [-D<name.com>] -- DNS name to create fully qualified host name\n"),
            std::string::npos);
}

TEST_F(AgentTest, SignalsEndItCleanly) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    ts::ServerProcess agent;
    ASSERT_TRUE(StartProcess(&agent, {"-console", "-s" + Port(agent_port_)}));
    ASSERT_TRUE(agent.Signal(sig));
    int status = -1;
    EXPECT_TRUE(agent.WaitExit(seconds(15), &status));
    EXPECT_EQ(status, 0) << agent.Output();
    std::string out = agent.Output();
    EXPECT_NE(out.find("Stopping Harrowline Compact Connection Manager.\n"), std::string::npos) << out;
    EXPECT_NE(out.find("IMI0003(" + host_upper_ + ", , " + Port(agent_port_) +
                       "): Successfully terminated: RC(0)\n"),
              std::string::npos)
        << out;
  }
}

TEST_F(AgentTest, SignalEndsItWhileAClientIsConnected) {
  ASSERT_TRUE(StartAgent({"-console", "-s" + Port(agent_port_)}));
  SocketAddress address{};
  std::snprintf(address.host, sizeof address.host, "127.0.0.1");
  std::snprintf(address.service, sizeof address.service, "%d", agent_port_);
  std::snprintf(address.protocol, sizeof address.protocol, "tcp");
  mqnMQNodeData* client = CreateMQNode(&address, MQNODE_MODE_CLIENT);
  ASSERT_NE(client, nullptr);
  ASSERT_EQ(mnOpen(client), 1) << client->lastError;
  // A command that wants an answer gets one.
  mqPcfMessage* request = CreatePcfMessage(40, MQCFT_COMMAND, 64);
  ASSERT_EQ(mnSWrite(request, client, 0, nullptr), 1);
  mqnMQNodeData* nodes[] = {client, nullptr};
  mqnMQNodeData* accept_ready[2] = {};
  mqnMQNodeData* read_ready[2] = {};
  int error = 0;
  ASSERT_EQ(mnPost(nodes, accept_ready, read_ready, 10, &error), 1) << error;
  ASSERT_EQ(mnSRead(request, client, 0, nullptr), 1) << client->lastError;
  EXPECT_EQ(request->Cfh->Type, MQCFT_RESPONSE);
  EXPECT_EQ(request->Cfh->CompCode, 2);
  EXPECT_EQ(request->Cfh->Reason, 2059);  // no queue manager selected
  ASSERT_TRUE(agent_.Signal(SIGTERM));
  EXPECT_EQ(WaitExit(), 0) << Output();
  DeletePcfMessage(request);
  DeleteMQNode(client);
}

TEST_F(AgentTest, SecondAgentOnTheSamePortFailsWithOne) {
  ASSERT_TRUE(StartAgent({"-console", "-s" + Port(agent_port_)}));
  std::string out;
  EXPECT_EQ(RunToEnd({"-console", "-s" + Port(agent_port_), "-nsecond"}, {}, &out), 1);
  EXPECT_NE(out.find("IME0001(second, , " + Port(agent_port_) +
                     "): Failed to create TCP/IP server: RC(10048)\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("IME0013(second, , " + Port(agent_port_) +
                     "): Initialization failed: unable to continue: RC(10048)\n"),
            std::string::npos)
      << out;
  // With retries it tries again, pausing in between, and then gives up.
  EXPECT_EQ(RunToEnd({"-console", "-s" + Port(agent_port_), "-r2"}, {}, &out), 1);
  EXPECT_NE(out.find("LOCALAGENT: Could not bind port " + Port(agent_port_) +
                     " RC(10048), attempt 1 of 2\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("IME0013("), std::string::npos);
  // The first one still runs.
  EXPECT_TRUE(agent_.Running());
}

TEST_F(AgentTest, WithoutASigningKeyItEndsWithTwo) {
  std::string out;
  EXPECT_EQ(RunToEnd({"-console", "-s" + Port(agent_port_)},
                     {{"HRLCOMPACT_SIGNING_KEY", dir_->Sub("missing.key")}}, &out),
            2);
  EXPECT_NE(out.find("IME0015(" + host_upper_ + ", , " + Port(agent_port_) +
                     "): Failed to obtain digital signature!\n"),
            std::string::npos)
      << out;
}

TEST_F(AgentTest, VerifyOnlyStopsWithoutRegistering) {
  WriteGroupIni(DefaultGroupIni());
  std::string out;
  EXPECT_EQ(RunToEnd({"-console", "-s" + Port(agent_port_), "-mG1", "-v"}, {}, &out), 0);
  EXPECT_NE(out.find("  VERIFY(ON)\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Successfully terminated: RC(0)\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("Registration sent"), std::string::npos) << out;
  EXPECT_EQ(manager_->Receive(std::chrono::milliseconds(200)), nullptr);
}

TEST_F(AgentTest, ServiceRunWritesToItsLogFileAndStopsOnTerm) {
  WriteGroupIni(DefaultGroupIni());
  ASSERT_TRUE(StartAgent({"-s" + Port(agent_port_), "-mG1", "-nsvc"}, nullptr,
                         /*ready=*/"This may take several seconds.  Please wait.\n"));
  EXPECT_NE(Output().find("HRLCompact_Connection_Manager -install          to install the service\n"
                          "HRLCompact_Connection_Manager -remove           to remove the service\n"
                          "HRLCompact_Connection_Manager -console <params>   to run as a console "
                          "application\n\nStartServiceCtrlDispatcher being called.\n"),
            std::string::npos)
      << Output();
  ASSERT_NE(manager_->Receive(seconds(10)), nullptr);
  std::string log = dir_->Sub("G1_svc.log");
  EXPECT_TRUE(ts::WaitFor([&] {
    return ts::ReadWholeFile(log).find("IMI0010(svc, G1, ") != std::string::npos;
  }, seconds(10)));
  struct stat st;
  ASSERT_EQ(stat(log.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_TRUE(agent_.Signal(SIGTERM));
  EXPECT_EQ(WaitExit(), 0);
  std::string text = ts::ReadWholeFile(log);
  EXPECT_NE(text.find("\nLocal Manager Startup parameters:\n"), std::string::npos) << text;
  EXPECT_NE(text.find("LOCALAGENT: Stop requested due to WM_CLOSE signal!\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("IMI0003(svc, G1, "), std::string::npos) << text;
}

TEST_F(AgentTest, InstallAndRemoveTheServiceUnit) {
  std::string units = dir_->Sub("units");
  ASSERT_EQ(mkdir(units.c_str(), 0700), 0);
  std::vector<std::pair<std::string, std::string>> env = {{"HRLCOMPACT_UNIT_DIR", units}};
  std::string unit = units + "/HRLCompactConnectionManager.service";
  std::string out;
  EXPECT_EQ(RunToEnd({"-install"}, env, &out), 0);
  EXPECT_EQ(out, "Harrowline Compact Connection Manager installed.\n");
  std::string text = ts::ReadWholeFile(unit);
  EXPECT_NE(text.find("ExecStart=\"" + ts::ProgramPath("localagent") + "\"\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Environment=\"HRLCOMPACT=" + dir_->path() + "\"\n"), std::string::npos)
      << text;
  EXPECT_EQ(RunToEnd({"/INSTALL"}, env, &out), 0);
  EXPECT_EQ(out, "CreateService failed - File exists (0x11)\n");
  EXPECT_EQ(RunToEnd({"-Remove"}, env, &out), 0);
  EXPECT_EQ(out, "Harrowline Compact Connection Manager removed.\n");
  EXPECT_FALSE(ts::WaitFor([&] { return !ts::ReadWholeFile(unit).empty(); },
                           std::chrono::milliseconds(0)));
  EXPECT_EQ(RunToEnd({"-remove"}, env, &out), 0);
  EXPECT_EQ(out, "OpenService failed - No such file or directory (0x2)\n");
  EXPECT_EQ(RunToEnd({"-install"}, {{"HRLCOMPACT_UNIT_DIR", units + "/none"}}, &out), 0);
  EXPECT_EQ(out, "OpenSCManager failed - No such file or directory (0x2)\n");
}

}  // namespace
}  // namespace localagent::testing
