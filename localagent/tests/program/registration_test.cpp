// Registration with the group managers, and the datagrams the agent takes:
// the exact 10128 datagram, confirmations, broadcasts and the shutdown.

#include <signal.h>

#include <string>
#include <vector>

#include "agent_fixture.h"

namespace localagent::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr MQLONG kRegister = 10128;

TEST_F(AgentTest, RegistrationDatagramHasItsParametersInOrder) {
  struct Case {
    std::vector<std::string> options;
    std::vector<Param> expected;  // after 20006 and 20007
  } cases[] = {
      {{},
       {Str(20912, host_upper_), Str(20009, "127.0.0.1"), Str(20909, "3.6.0023"),
        Int(20106, agent_port_), Int(20119, 7), Int(20324, 10), Str(20908, "*")}},
      // use-DNS given: 20425 before 20106 and the host with the suffix; no
      // IP with -i; the mask and discovery of the options.
      {{"+z", "-Dexample.com", "-i", "-QQM*", "-d5"},
       {Str(20912, host_upper_ + ".example.com"), Str(20909, "3.6.0023"), Int(20425, 1),
        Int(20106, agent_port_), Int(20119, 7), Int(20324, 5), Str(20908, "QM*")}},
      // -z is use-DNS given too (0): the suffix goes with it.
      {{"-Dexample.com", "-z"},
       {Str(20912, host_upper_ + ".example.com"), Str(20009, "127.0.0.1"), Str(20909, "3.6.0023"), Int(20425, 0),
        Int(20106, agent_port_), Int(20119, 7), Int(20324, 10), Str(20908, "*")}},
      // Without +z/-z the suffix is not used.
      {{"-Dexample.com"},
       {Str(20912, host_upper_), Str(20009, "127.0.0.1"), Str(20909, "3.6.0023"),
        Int(20106, agent_port_), Int(20119, 7), Int(20324, 10), Str(20908, "*")}},
  };
  WriteGroupIni(DefaultGroupIni());
  for (const Case& c : cases) {
    std::vector<std::string> args = {"-console", "-s" + std::to_string(agent_port_), "-mG1",
                                     "-nnode1"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    harrow::testsupport::ServerProcess agent;
    ASSERT_TRUE(StartProcess(&agent, args));
    mqPcfMessage* got = manager_->Receive(seconds(10));
    ASSERT_NE(got, nullptr) << agent.Output();
    EXPECT_EQ(got->Cfh->Type, MQCFT_COMMAND);
    EXPECT_EQ(got->Cfh->Command, kRegister);
    std::vector<Param> expected = {Str(20006, "G1"), Str(20007, "NODE1")};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(ParamsOf(got), expected);
    EXPECT_TRUE(agent.WaitForOutput("LOCALAGENT: Registration sent to G1 at 127.0.0.1(" +
                                        std::to_string(manager_->port()) + ")\n",
                                    seconds(10)))
        << agent.Output();
    std::string out = agent.Output();
    EXPECT_NE(out.find("\nGROUPMASK(\"G1\")\nHOST(\""), std::string::npos) << out;
    EXPECT_NE(out.find("HOSTALIAS(\"node1\")\nSERVICE(\"" + std::to_string(agent_port_) +
                       "\")\nVERSION(\"3.6.0023\")\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(agent.Stop(), 0);
  }
}

TEST_F(AgentTest, RegistersWithEveryGroupManagerOfAMaskAndSkipsIncompleteOnes) {
  UdpPeer second;
  WriteGroupIni(DefaultGroupIni() +
                "Group::G2=G2\n"
                "G2::Service=1\n"  // no ::Node before it: skipped
                "Group::G3=G3\nG3::Node=127.0.0.1\nG3::Service=" +
                std::to_string(second.port()) + "\n");
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-mG*", "-t"}));
  mqPcfMessage* got = manager_->Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(ParamsOf(got)[0], Str(20006, "G1"));
  got = second.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(ParamsOf(got)[0], Str(20006, "G3"));
  EXPECT_TRUE(WaitOutput("LOCALAGENT: Could not resolve key(\"G2::Node\").\n")) << Output();
  EXPECT_TRUE(WaitOutput("LOCALAGENT: Group name to register: G1\n")) << Output();
  EXPECT_TRUE(WaitOutput("LOCALAGENT: No further keys(\"Group::G*\") found!\n")) << Output();
}

TEST_F(AgentTest, ReRegistersEveryInterval) {
  // -p takes minutes; the second datagram is checked for in the output's
  // count rather than waited for a whole minute: the interval is proven by
  // the absence of a second datagram right after the first.
  WriteGroupIni(DefaultGroupIni());
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-mG1", "-p1"}));
  ASSERT_NE(manager_->Receive(seconds(10)), nullptr);
  EXPECT_TRUE(WaitOutput("  GROUPMGR_REG_RETRY(1 min)\n"));
  EXPECT_EQ(manager_->Receive(milliseconds(300)), nullptr);
}

TEST_F(AgentTest, ConfirmationIsReported) {
  WriteGroupIni(DefaultGroupIni());
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-mG1"}));
  ASSERT_NE(manager_->Receive(seconds(10)), nullptr);
  ASSERT_TRUE(manager_->Send(agent_port_, kRegister, MQCFT_RESPONSE, {Str(20020, "G1   ")}));
  EXPECT_TRUE(WaitOutput("LOCALAGENT: Registration confirmation received from GROUP(\"G1\") 127.0.0.1(" +
                         std::to_string(manager_->port()) + "): RC(0)\n"))
      << Output();
}

TEST_F(AgentTest, BroadcastsOfOurGroupAndActiveManagerInquiriesAreAnswered) {
  WriteGroupIni(DefaultGroupIni());
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-mG1", "+z"}));
  ASSERT_NE(manager_->Receive(seconds(10)), nullptr);

  UdpPeer console;
  // Another group's discovery: no answer. The inquiry sent right after it
  // is answered first, so the broadcast before it was dropped.
  ASSERT_TRUE(console.Send(agent_port_, 10121, MQCFT_COMMAND, {Str(20006, "OTHER")}));
  ASSERT_TRUE(console.Send(agent_port_, 10108, MQCFT_COMMAND, {Str(20006, "OTHER")}));
  mqPcfMessage* got = console.Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, kRegister);
  EXPECT_EQ(got->Cfh->Type, MQCFT_COMMAND);
  // The answer form: empty group for 10108, 20425 after 20106, no mask.
  std::vector<Param> expected = {Str(20006, ""), Str(20007, host_upper_), Str(20912, host_upper_),
                                 Str(20009, "127.0.0.1"), Str(20909, "3.6.0023"),
                                 Int(20106, agent_port_), Int(20425, 1), Int(20119, 7),
                                 Int(20324, 10)};
  EXPECT_EQ(ParamsOf(got), expected);
  EXPECT_TRUE(WaitOutput("LOCALAGENT: Registration sent to  at 127.0.0.1(" +
                         std::to_string(console.port()) + ")\n"))
      << Output();

  // Our group's discovery from the group manager: answered with the group.
  ASSERT_TRUE(manager_->Send(agent_port_, 10121, MQCFT_COMMAND, {Str(20006, "G1")}));
  got = manager_->Receive(seconds(10));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(ParamsOf(got)[0], Str(20006, "G1"));

  // Answers to one address are limited: a second inquiry at once gets none.
  ASSERT_TRUE(console.Send(agent_port_, 10108, MQCFT_COMMAND, {}));
  EXPECT_EQ(console.Receive(milliseconds(500)), nullptr);
}

TEST_F(AgentTest, ShutdownIsTakenOnlyFromAGroupManager) {
  WriteGroupIni(DefaultGroupIni());
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-mG1"}));
  ASSERT_NE(manager_->Receive(seconds(10)), nullptr);

  UdpPeer stranger;
  ASSERT_TRUE(stranger.Send(agent_port_, 10110, MQCFT_COMMAND, {}));
  std::string refused = "TLX1992W Shutdown request from 127.0.0.1(" +
                        std::to_string(stranger.port()) + ") refused";
  EXPECT_TRUE(WaitOutput(refused)) << Output();
  // Still serving.
  ASSERT_TRUE(stranger.Send(agent_port_, 10108, MQCFT_COMMAND, {}));
  EXPECT_NE(stranger.Receive(seconds(10)), nullptr);

  ASSERT_TRUE(manager_->Send(agent_port_, 10110, MQCFT_COMMAND, {}));
  EXPECT_EQ(WaitExit(), 0) << Output();
  EXPECT_NE(Output().find("TLX1991I Shutdown request of all LM processes rcvd from 127.0.0.1(" +
                          std::to_string(manager_->port()) + ")\n"),
            std::string::npos)
      << Output();
  EXPECT_NE(Output().find("Successfully terminated: RC(0)\n"), std::string::npos);
}

TEST_F(AgentTest, WithAuthenticationASignedShutdownFromAnyoneIsTaken) {
  WriteGroupIni(DefaultGroupIni());
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-mG1", "+a"}));
  mqPcfMessage* got = manager_->Receive(seconds(10), /*secure=*/true);
  ASSERT_NE(got, nullptr);
  UdpPeer stranger;
  // Unsigned: not even read.
  ASSERT_TRUE(stranger.Send(agent_port_, 10110, MQCFT_COMMAND, {}, /*secure=*/false));
  EXPECT_TRUE(WaitOutput("LOCALAGENT: Invalid UDP/PCF broadcast received from 127.0.0.1(" +
                         std::to_string(stranger.port()) + ")!\n"))
      << Output();
  ASSERT_TRUE(stranger.Send(agent_port_, 10110, MQCFT_COMMAND, {}, /*secure=*/true));
  EXPECT_EQ(WaitExit(), 0) << Output();
  EXPECT_NE(Output().find("TLX1991I"), std::string::npos);
}

}  // namespace
}  // namespace localagent::testing
