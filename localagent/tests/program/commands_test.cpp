// The agent's own handling of some commands: MQSC scripts, the queue
// runtime inquiry (and local-queue inquiries answered by it), what it adds
// to a channel ping, and the MQ log settings on a queue-manager inquiry.

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <pcfcore/excmd.h>
#include <qmlink/qmlink.h>

#include "mqsim_host.h"

namespace localagent::testing {
namespace {

using std::chrono::seconds;

constexpr MQLONG kQmgrName = 2015;
constexpr MQLONG kQName = 2016;
constexpr MQLONG kChannelName = 3501;
constexpr MQLONG kEscapeText = 3014;

std::optional<MQLONG> IntOf(const mqPcfMessage* m, MQLONG id) {
  for (const Param& p : ParamsOf(m)) {
    if (p.id == id && !p.is_string) return p.value;
  }
  return std::nullopt;
}

std::optional<std::string> StrOf(const mqPcfMessage* m, MQLONG id) {
  for (const Param& p : ParamsOf(m)) {
    if (p.id == id && p.is_string) return p.text;
  }
  return std::nullopt;
}

class AgentCommandsTest : public AgentWithMqTest {
 protected:
  void StartWith(const std::vector<std::string>& qmgrs) {
    ASSERT_NO_FATAL_FAILURE(StartQueueManagers(qmgrs));
    ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-q"}));
    client_ = std::make_unique<AgentClient>(agent_port_);
    ASSERT_TRUE(client_->connected());
  }
  void Open(const std::string& qmgr) {
    mqPcfMessage* got = Ask(10008, {Str(kQmgrName, qmgr)});
    ASSERT_NE(got, nullptr);
    ASSERT_EQ(got->Cfh->CompCode, 0) << got->Cfh->Reason << "\n" << Output();
  }
  // Sends a command and returns its one answer (null when none came).
  mqPcfMessage* Ask(MQLONG command, const std::vector<Param>& params, MQLONG wait_ms = 10000) {
    if (!client_->Send(command, params, 1, wait_ms)) return nullptr;
    mqPcfMessage* got = client_->Receive(seconds(20));
    if (got != nullptr) EXPECT_EQ(got->Cfh->Control, MQCFC_LAST);
    return got;
  }
  // MQCMD_INQUIRE_Q of a local queue for the attributes; its first answer.
  mqPcfMessage* InquireLocalQueue(const std::string& queue, const std::vector<MQLONG>& attributes) {
    mqPcfMessage* inquiry = BuildMessage(13, MQCFT_COMMAND, {Str(kQName, queue), Int(20, 1)});
    Message list{};
    CreatePcfIntListAttr(&list, 1002, static_cast<MQLONG>(attributes.size()));
    for (size_t i = 0; i < attributes.size(); ++i) {
      SetPcfIntListAttrValue(&list, static_cast<MQLONG>(i), attributes[i]);
    }
    AppendAttr(inquiry, &list);
    DeleteMessage(&list);
    RawToPcf(inquiry);
    bool sent = client_->SendBuilt(inquiry, 1, 10000);
    DeletePcfMessage(inquiry);
    return sent ? client_->Receive(seconds(20)) : nullptr;
  }
  mqPcfMessage* Script(const std::string& text) { return Ask(EXCMD_MQSC_SCRIPT, {Str(kEscapeText, text)}); }

  std::unique_ptr<AgentClient> client_;
};

TEST_F(AgentCommandsTest, MqscScriptsRunThroughTheCommandServer) {
  ASSERT_NO_FATAL_FAILURE(StartWith({"QM1"}));
  mqPcfMessage* got = Script("DISPLAY QMGR");
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->CompCode, 2);
  EXPECT_EQ(got->Cfh->Reason, 2059);  // no queue manager selected
  ASSERT_NO_FATAL_FAILURE(Open("QM1"));

  // A script of two commands: one answer with the command server's text.
  got = Script("DEFINE QLOCAL(SCRIPT.Q) MAXDEPTH(7)\nDISPLAY QLOCAL(SCRIPT.Q) MAXDEPTH\n");
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, EXCMD_MQSC_SCRIPT);
  EXPECT_EQ(got->Cfh->CompCode, 0) << got->Cfh->Reason;
  EXPECT_EQ(IntOf(got, 1017), 1);  // MQET_MQSC
  std::string text = StrOf(got, kEscapeText).value_or("");
  EXPECT_NE(text.find("2 MQSC commands read."), std::string::npos) << text;
  EXPECT_NE(text.find("All valid MQSC commands were processed."), std::string::npos) << text;
  EXPECT_TRUE(IntOf(got, 20119) == 7);
  // The queue is there, with its depth limit.
  got = Ask(EXCMD_INQUIRE_Q_RUNTIME, {Str(kQName, "SCRIPT.Q")});
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->CompCode, 0) << got->Cfh->Reason;
  EXPECT_EQ(IntOf(got, 15), 7);

  // A syntax error fails the script, with the server's text.
  got = Script("DEFINE QLOCAL(");
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->CompCode, 2);
  EXPECT_EQ(got->Cfh->Reason, 3008);  // MQRCCF_COMMAND_FAILED
  EXPECT_NE(StrOf(got, kEscapeText).value_or("").find("Syntax error"), std::string::npos);

  // No command server: refused at once, and nothing left behind to run
  // when one starts again.
  ASSERT_EQ(Ctl({"cmdserver", "QM1", "stop"}), 0);
  got = Script("DEFINE QLOCAL(LATE.Q)");
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, EXCMD_MQSC_SCRIPT);
  EXPECT_EQ(got->Cfh->CompCode, 2);
  EXPECT_EQ(got->Cfh->Reason, 20012);
  ASSERT_EQ(Ctl({"cmdserver", "QM1", "start"}), 0);
  got = Script("DISPLAY QLOCAL(SCRIPT.Q)");
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->CompCode, 0);
  got = Ask(EXCMD_INQUIRE_Q_RUNTIME, {Str(kQName, "LATE.Q")});
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Reason, 2085);
}

// A script that gets no reply is a failure, not an empty success.
TEST_F(AgentCommandsTest, MqscScriptWithAHungCommandServerFails) {
  ASSERT_NO_FATAL_FAILURE(StartWith({"QM1"}));
  ASSERT_NO_FATAL_FAILURE(Open("QM1"));
  ASSERT_EQ(Ctl({"cmdserver", "QM1", "hang"}), 0);
  mqPcfMessage* got = Script("DISPLAY QMGR");
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, EXCMD_MQSC_SCRIPT);
  EXPECT_EQ(got->Cfh->CompCode, 2);
  EXPECT_EQ(got->Cfh->Reason, 20307);
}

TEST_F(AgentCommandsTest, QueueRuntimeInquiryAndLocalQueueInquiriesAnsweredByIt) {
  ASSERT_NO_FATAL_FAILURE(StartWith({"QM1"}));
  mqPcfMessage* got = Ask(EXCMD_INQUIRE_Q_RUNTIME, {Str(kQName, "RT.Q")});
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Reason, 2059);
  std::string out;
  ASSERT_EQ(Ctl({"define", "QM1", "RT.Q", "--type", "local", "--maxdepth", "9"}, &out), 0) << out;
  ASSERT_NO_FATAL_FAILURE(Open("QM1"));

  // The oracle: this test's own connection holds the queue open for input
  // and output and puts two messages.
  MQManager* own = CreateCLConn("QM1", "SYSTEM.ADMIN.COMMAND.QUEUE", nullptr, "TEST");
  ASSERT_NE(own, nullptr);
  ASSERT_GE(own->hConn, 0);
  MQueue* queue = CreateMQueue(own->hConn, "RT.Q");
  ASSERT_NE(queue, nullptr);
  ASSERT_TRUE(qqOpen(MQOO_INPUT_SHARED | MQOO_OUTPUT, queue, ""));
  Message message{};
  ASSERT_TRUE(CreateMessage(&message, 64));
  for (int i = 0; i < 2; ++i) {
    SetDefaultMd(&message.Md);
    message.UsedLength = MESSAGE_HEADER_LENGTH + 4;
    std::memcpy(message.Payload, "data", 4);
    MQPMO pmo{};
    std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
    pmo.Version = MQPMO_VERSION_1;
    pmo.Options = MQPMO_NO_SYNCPOINT;
    ASSERT_TRUE(qqWrite(&message, &pmo, queue)) << queue->reason;
  }
  DeleteMessage(&message);

  got = Ask(EXCMD_INQUIRE_Q_RUNTIME, {Str(kQmgrName, "QM1"), Str(kQName, "RT.Q")});
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, EXCMD_INQUIRE_Q_RUNTIME);
  EXPECT_EQ(got->Cfh->CompCode, 0) << got->Cfh->Reason;
  EXPECT_EQ(StrOf(got, kQName), "RT.Q");
  EXPECT_EQ(IntOf(got, 3), 2);   // depth
  EXPECT_EQ(IntOf(got, 15), 9);  // max depth
  EXPECT_EQ(IntOf(got, 17), 1);  // open for input: this test
  EXPECT_EQ(IntOf(got, 18), 1);  // open for output: this test
  EXPECT_EQ(IntOf(got, 24), 0);  // trigger control off

  // Refusals.
  got = Ask(EXCMD_INQUIRE_Q_RUNTIME, {Str(kQmgrName, "QM1")});
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->CompCode, 2);
  EXPECT_EQ(got->Cfh->Reason, 3019);
  got = Ask(EXCMD_INQUIRE_Q_RUNTIME, {Str(kQName, "NO.SUCH.Q")});
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->CompCode, 2);
  EXPECT_EQ(got->Cfh->Reason, 2085);

  // An inquiry of a local queue for named attributes is answered from the
  // queue's statistics; one for all attributes goes to the command server.
  got = InquireLocalQueue("RT.Q", {3, 15});
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, EXCMD_INQUIRE_Q_RUNTIME);
  EXPECT_EQ(IntOf(got, 3), 2);
  EXPECT_EQ(IntOf(got, 17), 1);
  got = InquireLocalQueue("RT.Q", {1009});  // MQIACF_ALL
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, 13);
  EXPECT_EQ(got->Cfh->CompCode, 0) << got->Cfh->Reason;
  EXPECT_EQ(IntOf(got, 15), 9);

  DeleteMQueue(queue);
  DeleteMQManager(own);
}

TEST_F(AgentCommandsTest, PingChannelRepliesCarryTheQueueManagerTheChannelAndTheTripTime) {
  ASSERT_NO_FATAL_FAILURE(StartWith({"QM1", "QM2"}));
  ASSERT_NO_FATAL_FAILURE(Open("QM2"));
  mqPcfMessage* got = Script("DEFINE CHANNEL(QM1.TO.QM2) CHLTYPE(RCVR)");
  ASSERT_NE(got, nullptr);
  ASSERT_EQ(got->Cfh->CompCode, 0) << StrOf(got, kEscapeText).value_or("");
  ASSERT_NO_FATAL_FAILURE(Open("QM1"));
  got = Script("DEFINE QLOCAL(QM2) USAGE(XMITQ)\nDEFINE CHANNEL(QM1.TO.QM2) CHLTYPE(SDR) CONNAME('127.0.0.1(" +
               std::to_string(ListenerPort("QM2")) + ")') XMITQ(QM2)");
  ASSERT_NE(got, nullptr);
  ASSERT_EQ(got->Cfh->CompCode, 0) << StrOf(got, kEscapeText).value_or("");

  // The request names no queue manager: the reply's 2015 is the agent's.
  struct Case {
    const char* channel;
    MQLONG comp_code;
  } cases[] = {{"QM1.TO.QM2", 0}, {"NO.SUCH.CHL", 2}};
  for (const Case& c : cases) {
    got = Ask(26, {Str(kChannelName, c.channel)});
    ASSERT_NE(got, nullptr) << c.channel;
    EXPECT_EQ(got->Cfh->Command, 26);
    EXPECT_EQ(got->Cfh->CompCode, c.comp_code) << c.channel << " " << got->Cfh->Reason;
    EXPECT_EQ(StrOf(got, kQmgrName), "QM1") << c.channel;
    EXPECT_EQ(StrOf(got, kChannelName), c.channel);
    std::optional<MQLONG> trip = IntOf(got, 20126);
    ASSERT_TRUE(trip.has_value()) << c.channel;
    EXPECT_GE(*trip, 0);
  }
}

// The log settings come from the queue manager's qm.ini; this test writes
// values there that no default has.
TEST_F(AgentCommandsTest, QueueManagerInquiryRepliesCarryTheLogSettings) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  std::string ini_path = mqm_ + "/qmgrs/QM1/qm.ini";
  std::string ini;
  {
    std::ifstream in(ini_path);
    std::stringstream all;
    all << in.rdbuf();
    ini = all.str();
  }
  std::stringstream rewritten;
  std::istringstream lines(ini);
  std::string line;
  const std::vector<std::pair<std::string, std::string>> values = {
      {"LogPrimaryFiles", "7"}, {"LogSecondaryFiles", "5"}, {"LogFilePages", "2048"},
      {"LogType", "LINEAR"},    {"LogBufferPages", "16"},   {"LogPath", "/srv/mqlog/QM1/"}};
  while (std::getline(lines, line)) {
    for (const auto& [key, value] : values) {
      size_t at = line.find(key + "=");
      if (at != std::string::npos) line = line.substr(0, at) + key + "=" + value;
    }
    rewritten << line << "\n";
  }
  {
    std::ofstream out(ini_path, std::ios::trunc);
    out << rewritten.str();
  }
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-q"}));
  client_ = std::make_unique<AgentClient>(agent_port_);
  ASSERT_NO_FATAL_FAILURE(Open("QM1"));

  mqPcfMessage* got = Ask(2, {});
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->CompCode, 0) << got->Cfh->Reason;
  EXPECT_EQ(StrOf(got, 20019), "/srv/mqlog/QM1/");
  EXPECT_EQ(IntOf(got, 20143), 3);  // linear
  EXPECT_EQ(IntOf(got, 20144), 7);
  EXPECT_EQ(IntOf(got, 20145), 5);
  EXPECT_EQ(IntOf(got, 20146), 2048);
  EXPECT_EQ(IntOf(got, 20150), 16);
  // Other replies carry none.
  got = Ask(EXCMD_INQUIRE_Q_RUNTIME, {Str(kQName, "SYSTEM.ADMIN.COMMAND.QUEUE")});
  ASSERT_NE(got, nullptr);
  EXPECT_FALSE(StrOf(got, 20019).has_value());
  EXPECT_FALSE(IntOf(got, 20144).has_value());
}

}  // namespace
}  // namespace localagent::testing
