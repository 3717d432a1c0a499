// The agent with real queue managers: verification at start-up, and a
// client (a group manager) selecting a queue manager and running commands.

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "mqsim_host.h"

namespace localagent::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr MQLONG kQmgrName = 2015;
constexpr MQLONG kQName = 2016;

std::string Port(int port) { return std::to_string(port); }

bool HasParam(const mqPcfMessage* m, const Param& p) {
  for (const Param& q : ParamsOf(m)) {
    if (q == p) return true;
  }
  return false;
}

TEST_F(AgentWithMqTest, VerificationAtStartUp) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  // A key for a queue manager that does not exist on this host.
  DefineClientKey("QMGONE", "127.0.0.1(1)");
  std::string out;
  EXPECT_EQ(RunToEnd({"-console", "-s" + Port(agent_port_), "-v"}, {}, &out), 0);
  EXPECT_NE(out.find("\nQueueManager(\"QM1\") : Verifying configuration...\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("TLX1137W QueueManager(QM1): PASSED verification test.\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("\nQueueManager(\"QMGONE\") : Verifying configuration...\n"), std::string::npos);
  EXPECT_NE(out.find("TLX1121W QueueManager(QMGONE): defined but does not exist.\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("TLX1154A QueueManager(QMGONE): should be deleted or re-created.\n"),
            std::string::npos);
  EXPECT_NE(out.find("TLX1138W QueueManager(QMGONE): FAILED verification test with RC(2058).\n"),
            std::string::npos)
      << out;

  // Verification off: only the list; a mask limits it.
  EXPECT_EQ(RunToEnd({"-console", "-s" + Port(agent_port_), "-v", "-q"}, {}, &out), 0);
  EXPECT_NE(out.find("\nQUEUE MANAGERS:\n\tQM1\n\tQMGONE\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("Verifying"), std::string::npos);
  EXPECT_EQ(RunToEnd({"-console", "-s" + Port(agent_port_), "-v", "-q", "-QQMG*"}, {}, &out), 0);
  EXPECT_NE(out.find("\nQUEUE MANAGERS:\n\tQMGONE\n"), std::string::npos) << out;
}

TEST_F(AgentWithMqTest, VerificationWithTheCommandServerStopped) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  ASSERT_EQ(Ctl({"cmdserver", "QM1", "stop"}), 0);
  std::string out;
  EXPECT_EQ(RunToEnd({"-console", "-s" + Port(agent_port_), "-v"}, {}, &out), 0);
  EXPECT_NE(out.find("\tQueueManager(QM1) : Unable to ping QMgr RC(20012)\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("TLX1119W QueueManager(QM1): Command-Server is not running.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("TLX1118W"), std::string::npos) << out;
}

TEST_F(AgentWithMqTest, NoQueueManagersFound) {
  std::string out;
  EXPECT_EQ(RunToEnd({"-console", "-s" + Port(agent_port_), "-v"}, {}, &out), 0);
  EXPECT_NE(out.find("TLX1122W No queue managers have been found on your system.\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("TLX1123A If queue manager(s) exist, refer to the Install Guide to configure\n"),
            std::string::npos);
}

TEST_F(AgentWithMqTest, ClientSelectsAQueueManagerAndGetsItsAnswers) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1", "QM2"}));
  ASSERT_TRUE(StartAgent({"-console", "-s" + Port(agent_port_), "-q"}));
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.connected());

  // The list of queue managers, with the node identity added.
  ASSERT_TRUE(client.Send(10007, {}));
  mqPcfMessage* got = client.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Type, MQCFT_RESPONSE);
  EXPECT_EQ(got->Cfh->Command, 10007);
  EXPECT_EQ(got->Cfh->CompCode, 0);
  EXPECT_EQ(got->Cfh->Control, MQCFC_LAST);
  EXPECT_TRUE(HasParam(got, Int(20119, 7)));
  EXPECT_TRUE(HasParam(got, Str(20909, "3.6.0023")));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(MESSAGE_HEADER(&got->Body)->MsgId), 7), "LKOUT-1");

  // Names that cannot be a queue manager: 2058 at once.
  for (const char* name : {"*", " QM1", ""}) {
    ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, name)}));
    got = client.Receive(seconds(10));
    ASSERT_NE(got, nullptr) << name;
    EXPECT_EQ(got->Cfh->CompCode, 2) << name;
    EXPECT_EQ(got->Cfh->Reason, 2058) << name;
  }
  // No name at all: 3001.
  ASSERT_TRUE(client.Send(10008, {}));
  got = client.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Reason, 3001);

  // A standard command before any queue manager is selected: 2059.
  ASSERT_TRUE(client.Send(40, {}));
  got = client.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, 40);
  EXPECT_EQ(got->Cfh->Reason, 2059);

  // Select QM1.
  ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, "QM1")}));
  got = client.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, 10008);
  EXPECT_EQ(got->Cfh->CompCode, 0) << got->Cfh->Reason << "\n" << Output();
  EXPECT_TRUE(HasParam(got, Str(kQmgrName, "QM1")));

  // With the command server stopped a standard command is answered 20012
  // at once instead of after the reply wait.
  Ctl({"cmdserver", "QM1", "stop"});
  ASSERT_TRUE(client.Send(40, {}, 1, 60000));
  got = client.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, 40);
  EXPECT_EQ(got->Cfh->CompCode, 2);
  EXPECT_EQ(got->Cfh->Reason, 20012);
  EXPECT_TRUE(HasParam(got, Int(20119, 7)));

  // A request without the reply flag runs but gets no answer: the answer
  // that comes next is the following request's.
  ASSERT_TRUE(client.Send(10999, {Str(kQmgrName, "QM2")}, /*reply_tag=*/0));
  ASSERT_TRUE(client.Send(10999, {Str(kQmgrName, "QM2")}));
  got = client.Receive(seconds(20));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, 10999);
  // Already connected to a queue manager: the test is refused.
  EXPECT_EQ(got->Cfh->Reason, 2002);

  // The agent's own commands answered 3008.
  for (MQLONG command : {10998, 11002}) {
    ASSERT_TRUE(client.Send(command, {}));
    got = client.Receive(seconds(10));
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->Cfh->Reason, 3008) << command;
  }

  // Closing it; a standard command is then refused again.
  ASSERT_TRUE(client.Send(10009, {}));
  got = client.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->CompCode, 0);
  ASSERT_TRUE(client.Send(40, {}));
  got = client.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Reason, 2059);
}

TEST_F(AgentWithMqTest, UnknownQueueManagerAndProxiedOnes) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  {
    std::ofstream ini(dir_->Sub("config/groups/mqproxy.ini"));
    ini << "QMP::Proxy=QM1\nQMC::CommandSupport=MQSC\n";
  }
  ASSERT_TRUE(StartAgent({"-console", "-s" + Port(agent_port_), "-q"}));
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.connected());
  struct Case {
    const char* name;
    MQLONG reason;
  } cases[] = {{"QMP", 4018}, {"QMC", 20308}};
  for (const Case& c : cases) {
    ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, c.name)}));
    mqPcfMessage* got = client.Receive(seconds(10));
    ASSERT_NE(got, nullptr) << c.name;
    EXPECT_EQ(got->Cfh->CompCode, 2) << c.name;
    EXPECT_EQ(got->Cfh->Reason, c.reason) << c.name;
  }
  // A queue manager nobody serves: the connect's reason, logged once.
  DefineClientKey("QMX", "127.0.0.1(1)");
  ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, "QMX")}));
  mqPcfMessage* got = client.Receive(seconds(20));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->CompCode, 2);
  EXPECT_NE(got->Cfh->Reason, 0);
  EXPECT_TRUE(WaitOutput("Queue manager for previous MQ open error is <QMP>. \nReconnect retries will "
                         "occur periodically.\nMessage will be logged when reconnected.\n"))
      << Output();
}

TEST_F(AgentWithMqTest, InquiryRepliesAreRelayedUpToTheLast) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  ASSERT_TRUE(StartAgent({"-console", "-s" + Port(agent_port_), "-q"}));
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, "QM1")}));
  mqPcfMessage* got = client.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  ASSERT_EQ(got->Cfh->CompCode, 0);

  // One reply per queue: every one is relayed, the last with Control 1,
  // each with the request's id and the node identity.
  ASSERT_TRUE(client.Send(13, {Str(kQName, "SYSTEM.*")}, 1, 10000));
  int replies = 0;
  for (;;) {
    got = client.Receive(seconds(15));
    ASSERT_NE(got, nullptr) << Output();
    ASSERT_EQ(got->Cfh->Command, 13);
    EXPECT_EQ(got->Cfh->CompCode, 0) << got->Cfh->Reason;
    EXPECT_TRUE(HasParam(got, Int(20119, 7)));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(MESSAGE_HEADER(&got->Body)->MsgId), 7),
              "LKOUT-1");
    ++replies;
    if (got->Cfh->Control == MQCFC_LAST) break;
  }
  EXPECT_GT(replies, 1);

  // The queue-manager inquiry: one reply.
  ASSERT_TRUE(client.Send(2, {}, 1, 10000));
  got = client.Receive(seconds(15));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, 2);
  EXPECT_EQ(got->Cfh->CompCode, 0);
  EXPECT_EQ(got->Cfh->Control, MQCFC_LAST);
  EXPECT_TRUE(HasParam(got, Str(kQmgrName, "QM1")));

  // A hung command server: the reply wait runs out and says so.
  ASSERT_EQ(Ctl({"cmdserver", "QM1", "hang"}), 0);
  ASSERT_TRUE(client.Send(40, {}, 1, 1000));
  got = client.Receive(seconds(15));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->CompCode, 2);
  EXPECT_EQ(got->Cfh->Reason, 20307);
}

TEST_F(AgentWithMqTest, ReconnectsAfterTheQueueManagerComesBack) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  ASSERT_TRUE(StartAgent({"-console", "-s" + Port(agent_port_), "-q"}));
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, "QM1")}));
  mqPcfMessage* got = client.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  ASSERT_EQ(got->Cfh->CompCode, 0);

  // The queue manager goes away: a command fails, and further commands are
  // refused as for no queue manager while it is away.
  mqsim_.Kill();
  ASSERT_TRUE(client.Send(40, {}));
  got = client.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->CompCode, 2);
  EXPECT_NE(got->Cfh->Reason, 0);
  ASSERT_TRUE(client.Send(40, {}));
  got = client.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Reason, 2059);
  EXPECT_TRUE(WaitOutput("Queue manager for previous MQ open error is <QM1>.", seconds(15)))
      << Output();

  // Back again: within a few retries the connection holds QM1 once more
  // and its command server answers.
  ASSERT_NO_FATAL_FAILURE(RestartQueueManagers({"QM1"}));
  EXPECT_TRUE(WaitOutput("TLX1105I Server Task reconnected successfully to QM1", seconds(20)))
      << Output();
  ASSERT_TRUE(client.Send(40, {}, 1, 10000));
  got = client.Receive(seconds(15));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, 40);
  EXPECT_EQ(got->Cfh->CompCode, 0) << got->Cfh->Reason;
}

TEST_F(AgentWithMqTest, ConnectionsBeyondTheLimitAreRefused) {
  ASSERT_TRUE(StartAgent({"-console", "-s" + Port(agent_port_), "-q"}));
  std::vector<std::unique_ptr<AgentClient>> clients;
  for (int i = 0; i < 64; ++i) {
    clients.push_back(std::make_unique<AgentClient>(agent_port_));
    ASSERT_TRUE(clients.back()->connected());
  }
  // Every one of them is served: each answers (the list of queue managers).
  for (auto& c : clients) ASSERT_TRUE(c->Send(10007, {}));
  for (auto& c : clients) ASSERT_NE(c->Receive(seconds(10)), nullptr);
  AgentClient surplus(agent_port_);
  ASSERT_TRUE(surplus.connected());
  EXPECT_TRUE(WaitOutput("connections are served already\n")) << Output();
  // Closed at once: no answer, the read sees the end of the stream.
  surplus.Send(10007, {});
  EXPECT_EQ(surplus.Receive(seconds(5)), nullptr);
  // When one goes, a new one is served again.
  clients.pop_back();
  EXPECT_TRUE(harrow::testsupport::WaitFor([&] {
    AgentClient again(agent_port_);
    return again.Send(10007, {}) && again.Receive(seconds(2)) != nullptr;
  }, seconds(10)));
}

TEST_F(AgentWithMqTest, AuthorityRefusalAnswers2035) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  // +u with a rules file that does not exist: everything is refused.
  env_.push_back({"HRLCOMPACT_AUTH_RULES", dir_->Sub("no.rules")});
  ASSERT_TRUE(StartAgent({"-console", "-s" + Port(agent_port_), "-q", "+u"}));
  EXPECT_TRUE(WaitOutput("authority checks (+u) without authentication (+a)")) << Output();
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, "QM1")}, 1, 5000, "alice"));
  mqPcfMessage* got = client.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, 10008);
  EXPECT_EQ(got->Cfh->CompCode, 2);
  EXPECT_EQ(got->Cfh->Reason, 2035);
}

TEST_F(AgentWithMqTest, ShutdownCommandStopsTheAgentWithClientsConnected) {
  ASSERT_TRUE(StartAgent({"-console", "-s" + Port(agent_port_), "-q"}));
  AgentClient idle(agent_port_);
  AgentClient client(agent_port_);
  ASSERT_TRUE(idle.connected());
  ASSERT_TRUE(client.Send(10110, {}));
  mqPcfMessage* got = client.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, 10110);
  EXPECT_EQ(got->Cfh->CompCode, 0);
  EXPECT_EQ(WaitExit(), 0) << Output();
  EXPECT_NE(Output().find("Shutdown Manager Reply : CompCode = 0"), std::string::npos);
  EXPECT_NE(Output().find("Successfully terminated: RC(0)\n"), std::string::npos);
}

}  // namespace
}  // namespace localagent::testing
