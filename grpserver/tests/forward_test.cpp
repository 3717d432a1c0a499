// Forwarding to a node and the relay of its replies, in process: a console
// connection and a test agent socket on loopback around the dispatcher.
#include <poll.h>

#include <climits>
#include <cstring>

#include <gtest/gtest.h>

#include <groupdb/groupdb.h>

#include "client_io.h"
#include "client_table.h"
#include "dispatch.h"
#include "entry_connection.h"
#include "group_create.h"
#include "support/group_fixture.h"

namespace grpserver {
namespace {

using grptest::PcfPtr;

constexpr char kRequestId[] = "CONSOLE-REQ-ID-0001-XYZ!";  // 24 bytes
constexpr int32_t kConsoleId = 7;

SocketAddress Loopback(const std::string& port) {
  SocketAddress a{};
  std::snprintf(a.host, sizeof a.host, "127.0.0.1");
  std::snprintf(a.service, sizeof a.service, "%s", port.c_str());
  std::snprintf(a.protocol, sizeof a.protocol, "tcp");
  return a;
}

// Reads one message from node within 5 s (node non-blocking).
bool ReadOne(mqPcfMessage* msg, mqnMQNodeData* node) {
  harrow::testsupport::Deadline d(std::chrono::seconds(5));
  while (!d.Expired()) {
    if (mnSRead(msg, node, 0, nullptr) == 1) return true;
    if (node->lastError != MN_ERR_WOULD_BLOCK) return false;
    pollfd p{node->socket.handle, POLLIN, 0};
    poll(&p, 1, d.PollMs());
  }
  return false;
}

class ForwardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    inst_.ExportToThisProcess();
    GroupSpec spec;
    spec.name = "FG";
    std::string error;
    ASSERT_TRUE(CreateGroup(spec, inst_.install_dir(), &error)) << error;
    int out = 0;
    ASSERT_EQ(DbOpen("FG", &out), 1) << out;

    SocketAddress any = Loopback("0");
    agent_listener_ = CreateMQNode(&any, MQNODE_MODE_SERVER);
    server_listener_ = CreateMQNode(&any, MQNODE_MODE_SERVER);
    ASSERT_EQ(agent_listener_->lastError, 0);
    ASSERT_EQ(server_listener_->lastError, 0);
    GroupDbRecord r{};
    r.Table = DBT_MQNODES;
    DbClearRecord(&r);
    DbSetField(&r, DBF_MANAGER_NAME, "FG");
    DbSetField(&r, DBF_MQNODE_NAME, "N1");
    DbSetField(&r, DBF_MQNODE_NET_ADDRESS, "127.0.0.1");
    DbSetField(&r, DBF_MQNODE_PORT_NO, std::to_string(agent_listener_->address.port).c_str());
    ASSERT_EQ(DbWriteRecord(&r, GDB_WRITE_ADD, &out), 1) << out;

    ResetServerState();
    GroupServer& s = Server();
    s.group = "FG";
    PadCopy(s.group_padded, kGroupNameWidth, "FG");
    s.limits = ComputeLimits(4, 2, 2);
    s.table.assign(static_cast<size_t>(s.limits.max_total_conns) + 1, ClientEntry{});
    s.tables_allocated = true;
    s.notification = CreatePcfMessage(0, MQCFT_EVENT, 2048);
    s.request = CreatePcfMessage(0, MQCFT_COMMAND, 32000);
    s.response = CreatePcfMessage(0, MQCFT_RESPONSE, 32000);

    // The console: a client node here, its accepted end in entry 1.
    SocketAddress to = Loopback(std::to_string(server_listener_->address.port));
    console_ = CreateMQNode(&to, MQNODE_MODE_CLIENT);
    ASSERT_EQ(mnOpen(console_), 1);
    ASSERT_EQ(mnOpen(server_listener_), 1);
    console_entry_ = s.Entry(1);
    console_entry_->connection = server_listener_->accepted;
    server_listener_->accepted = nullptr;
    console_entry_->connection->context = console_entry_;
    console_entry_->connection_id = kConsoleId;
    console_entry_->trusted = 1;
    console_entry_->command_count = 1;
    console_entry_->processing_time_ms = 10000;
    std::snprintf(console_entry_->application_name, sizeof console_entry_->application_name, "40000");
    NoblockSocket(&console_entry_->connection->socket);
    NoblockSocket(&console_->socket);

    // The node entry, connected to the test agent.
    ASSERT_EQ(ConnectNodeEntry("FG", "N1", "QM1", s.NodeEntries(), s.limits.node_entry_count), 0);
    node_entry_ = s.NodeEntries();
    ASSERT_EQ(OpenEntryConnection(node_entry_, "SYSTEM", 0, 0), 1);
    NoblockSocket(&node_entry_->connection->socket);
    ASSERT_EQ(mnOpen(agent_listener_), 1);
    agent_ = agent_listener_->accepted;
    agent_listener_->accepted = nullptr;
    NoblockSocket(&agent_->socket);
  }
  void TearDown() override {
    GroupServer& s = Server();
    for (ClientEntry& e : s.table) {
      if (e.connection != nullptr) CloseEntryConnection(&e, "SYSTEM", 0, 0, 0);
    }
    DeletePcfMessage(s.notification);
    DeletePcfMessage(s.request);
    DeletePcfMessage(s.response);
    ResetServerState();
    DbCloseLocked();
    for (mqnMQNodeData* n : {agent_, console_, agent_listener_, server_listener_}) {
      if (n != nullptr) DeleteMQNode(n);
    }
  }

  // The server side reads one message from entry and processes it.
  void ServeOne(ClientEntry* entry) {
    GroupServer& s = Server();
    harrow::testsupport::Deadline d(std::chrono::seconds(5));
    while (ReadFromClient(s.request, entry) != 1) {
      ASSERT_EQ(entry->connection->lastError, MN_ERR_WOULD_BLOCK);
      ASSERT_FALSE(d.Expired());
      pollfd p{entry->connection->socket.handle, POLLIN, 0};
      poll(&p, 1, d.PollMs());
    }
    ProcessMessage(entry, s.request, s.response);
  }

  grptest::Installation inst_;
  mqnMQNodeData* agent_listener_ = nullptr;
  mqnMQNodeData* server_listener_ = nullptr;
  mqnMQNodeData* console_ = nullptr;
  mqnMQNodeData* agent_ = nullptr;
  ClientEntry* console_entry_ = nullptr;
  ClientEntry* node_entry_ = nullptr;
};

TEST_F(ForwardTest, AForwardedCommandsReplyReachesItsConsoleWithTheRequestIdIntact) {
  PcfPtr request = grptest::MakeCommand(MQCMD_ESCAPE, std::string(kRequestId, 24));
  grptest::AddStr(request.get(), 20006, "FG");
  grptest::AddStr(request.get(), 20007, "N1");
  grptest::AddStr(request.get(), MQCA_Q_MGR_NAME, "QM1");
  grptest::AddStr(request.get(), 3014, "DISPLAY QMGR");
  ASSERT_EQ(mnSWrite(request.get(), console_, 0, nullptr), 1);
  ServeOne(console_entry_);

  // The console is told at once that the command is in progress.
  PcfPtr first(CreatePcfMessage(0, MQCFT_RESPONSE, 1024), DeletePcfMessage);
  ASSERT_TRUE(ReadOne(first.get(), console_));
  EXPECT_EQ(first->Cfh->CompCode, MQCC_WARNING);
  EXPECT_EQ(first->Cfh->Reason, 20107);
  EXPECT_EQ(grptest::RequestId(first.get()), std::string(kRequestId, 24));
  EXPECT_EQ(grptest::StrParam(first.get(), 20007), "N1");

  // The agent gets the command without the routing names, and the console's
  // connection id in header bytes 16 to 19.
  PcfPtr forwarded(CreatePcfMessage(0, MQCFT_COMMAND, 1024), DeletePcfMessage);
  ASSERT_TRUE(ReadOne(forwarded.get(), agent_));
  EXPECT_EQ(forwarded->Cfh->Command, MQCMD_ESCAPE);
  EXPECT_EQ(grptest::StrParam(forwarded.get(), 3014), "DISPLAY QMGR");
  EXPECT_EQ(grptest::StrParam(forwarded.get(), 20006), "<absent>");
  EXPECT_EQ(grptest::StrParam(forwarded.get(), 20007), "<absent>");
  EXPECT_EQ(grptest::StrParam(forwarded.get(), MQCA_Q_MGR_NAME), "<absent>");
  int32_t id = 0;
  std::memcpy(&id, forwarded->Body.Storage + 16, 4);
  EXPECT_EQ(id, kConsoleId);

  // The agent answers as agents do: ids copied from the request.
  PcfPtr answer(CreatePcfMessage(MQCMD_ESCAPE, MQCFT_RESPONSE, 1024), DeletePcfMessage);
  grptest::AddStr(answer.get(), 3014, "QMNAME(QM1)");
  grptest::AddInteger(answer.get(), 20126, 3);
  std::memcpy(MESSAGE_HEADER(&answer->Body)->MsgId, MESSAGE_HEADER(&forwarded->Body)->MsgId, 24);
  std::memcpy(MESSAGE_HEADER(&answer->Body)->CorrelId, MESSAGE_HEADER(&forwarded->Body)->CorrelId, 24);
  ASSERT_EQ(mnSWrite(answer.get(), agent_, 0, nullptr), 1);
  ServeOne(node_entry_);

  PcfPtr relayed(CreatePcfMessage(0, MQCFT_RESPONSE, 1024), DeletePcfMessage);
  ASSERT_TRUE(ReadOne(relayed.get(), console_));
  EXPECT_EQ(relayed->Cfh->Type, MQCFT_RESPONSE);
  EXPECT_EQ(relayed->Cfh->Command, MQCMD_ESCAPE);
  EXPECT_EQ(grptest::RequestId(relayed.get()), std::string(kRequestId, 24));
  EXPECT_EQ(grptest::StrParam(relayed.get(), 3014), "QMNAME(QM1)");
  EXPECT_EQ(grptest::StrParam(relayed.get(), 20006), "FG");
  EXPECT_EQ(grptest::StrParam(relayed.get(), 20007), "N1");
  EXPECT_EQ(grptest::StrParam(relayed.get(), MQCA_Q_MGR_NAME), "QM1");
  MQLONG average = 0;
  EXPECT_TRUE(grptest::IntParam(relayed.get(), 20410, &average));
}

TEST_F(ForwardTest, WithoutANodeEntryTheAnswerIs20301AndACommandFromANodeIsDropped) {
  PcfPtr request = grptest::MakeCommand(MQCMD_ESCAPE, "NO-NODE");
  grptest::AddStr(request.get(), 20006, "FG");
  grptest::AddStr(request.get(), 20007, "N2");
  grptest::AddStr(request.get(), MQCA_Q_MGR_NAME, "QM9");
  ASSERT_EQ(mnSWrite(request.get(), console_, 0, nullptr), 1);
  ServeOne(console_entry_);
  PcfPtr reply(CreatePcfMessage(0, MQCFT_RESPONSE, 1024), DeletePcfMessage);
  ASSERT_TRUE(ReadOne(reply.get(), console_));
  EXPECT_EQ(reply->Cfh->Reason, 20301);

  // An agent may not send commands: nothing is dispatched or answered.
  const long commands = Server().commands_received;
  PcfPtr command = grptest::MakeCommand(EXCMD_SHUTDOWN_MANAGER, "FROM-NODE");
  grptest::AddStr(command.get(), 20006, "FG");
  ASSERT_EQ(mnSWrite(command.get(), agent_, 0, nullptr), 1);
  ServeOne(node_entry_);
  EXPECT_EQ(Server().commands_received, commands);
  EXPECT_EQ(Server().shutdown_countdown_s, 0);
  PcfPtr nothing(CreatePcfMessage(0, MQCFT_RESPONSE, 1024), DeletePcfMessage);
  EXPECT_EQ(mnSRead(nothing.get(), agent_, 0, nullptr), 0);
  EXPECT_EQ(agent_->lastError, MN_ERR_WOULD_BLOCK);
}

TEST_F(ForwardTest, AReplyForAConsoleThatIsGoneIsNotRelayed) {
  PcfPtr answer(CreatePcfMessage(MQCMD_ESCAPE, MQCFT_RESPONSE, 1024), DeletePcfMessage);
  const int32_t stranger = 999;
  std::memcpy(MESSAGE_HEADER(&answer->Body)->MsgId, &stranger, 4);
  ASSERT_EQ(mnSWrite(answer.get(), agent_, 0, nullptr), 1);
  ServeOne(node_entry_);
  PcfPtr nothing(CreatePcfMessage(0, MQCFT_RESPONSE, 1024), DeletePcfMessage);
  EXPECT_EQ(mnSRead(nothing.get(), console_, 0, nullptr), 0);
  EXPECT_EQ(console_->lastError, MN_ERR_WOULD_BLOCK);
}

// A node's reply carries its elapsed time (20126, tenths of a second) as
// the agent writes it: any number. The console's total time and command
// count stay within 0 and INT32_MAX, so the average time (20410) the
// console is told never wraps.
TEST_F(ForwardTest, ElapsedTimesAndCountsFromPeersNeverWrapTheAverageTime) {
  struct Case {
    int32_t tenths;
    int32_t total_before;
    int32_t average;  // total / 1 command
  } cases[] = {
      {30, 10000, 13000},          {-5, 10000, 10000},         {INT32_MIN, 10000, 10000},
      {INT32_MAX, 10000, INT32_MAX}, {21474836, 10000, INT32_MAX}, {1, INT32_MAX, INT32_MAX},
  };
  for (const Case& c : cases) {
    console_entry_->processing_time_ms = c.total_before;
    console_entry_->command_count = 1;
    PcfPtr answer(CreatePcfMessage(MQCMD_ESCAPE, MQCFT_RESPONSE, 1024), DeletePcfMessage);
    grptest::AddInteger(answer.get(), 20126, c.tenths);
    std::memcpy(MESSAGE_HEADER(&answer->Body)->MsgId, &kConsoleId, 4);
    ASSERT_EQ(mnSWrite(answer.get(), agent_, 0, nullptr), 1);
    ServeOne(node_entry_);
    PcfPtr relayed(CreatePcfMessage(0, MQCFT_RESPONSE, 1024), DeletePcfMessage);
    ASSERT_TRUE(ReadOne(relayed.get(), console_)) << c.tenths;
    MQLONG average = -1;
    EXPECT_TRUE(grptest::IntParam(relayed.get(), 20410, &average));
    EXPECT_EQ(average, c.average) << c.tenths;
  }

  // A console at the top of both counters: its next command still gets its
  // answer with the average time, and neither counter wraps.
  console_entry_->command_count = INT32_MAX;
  console_entry_->processing_time_ms = INT32_MAX - 10;
  PcfPtr request = grptest::MakeCommand(50, "COUNTED");
  ASSERT_EQ(mnSWrite(request.get(), console_, 0, nullptr), 1);
  ServeOne(console_entry_);
  PcfPtr answer(CreatePcfMessage(0, MQCFT_RESPONSE, 1024), DeletePcfMessage);
  ASSERT_TRUE(ReadOne(answer.get(), console_));
  EXPECT_EQ(answer->Cfh->Reason, 3007);
  MQLONG average = -1;
  EXPECT_TRUE(grptest::IntParam(answer.get(), 20410, &average));
  EXPECT_EQ(average, 1);
  EXPECT_EQ(console_entry_->command_count, INT32_MAX);
  EXPECT_EQ(console_entry_->processing_time_ms, INT32_MAX);
}

TEST_F(ForwardTest, AnEventFromANodeReachesTheConsolesWhoseMaskLetsItThrough) {
  console_entry_->event_mask = 4;  // queue-manager events
  PcfPtr event(CreatePcfMessage(MQCMD_Q_MGR_EVENT, MQCFT_EVENT, 512), DeletePcfMessage);
  grptest::AddStr(event.get(), MQCA_Q_MGR_NAME, "QM1");
  event->Cfh->Reason = 2222;
  ASSERT_EQ(mnSWrite(event.get(), agent_, 0, nullptr), 1);
  ServeOne(node_entry_);
  FlushEventNotifications(Server().notification, ConsoleEntries(), ConsoleCount(), 0);
  PcfPtr got(CreatePcfMessage(0, MQCFT_EVENT, 1024), DeletePcfMessage);
  ASSERT_TRUE(ReadOne(got.get(), console_));
  EXPECT_EQ(got->Cfh->Type, MQCFT_EVENT);
  EXPECT_EQ(got->Cfh->Command, MQCMD_Q_MGR_EVENT);
  EXPECT_EQ(got->Cfh->Reason, 2222);

  // A channel event does not pass the mask.
  console_entry_->event_mask = 4;
  ResetPcfMessage(Server().notification, MQCMD_CHANNEL_EVENT, MQCFT_EVENT);
  grptest::AddStr(Server().notification, MQCA_Q_MGR_NAME, "QM1");
  FlushEventNotifications(Server().notification, ConsoleEntries(), ConsoleCount(), 0);
  EXPECT_EQ(mnSRead(got.get(), console_, 0, nullptr), 0);
  EXPECT_EQ(console_->lastError, MN_ERR_WOULD_BLOCK);
}

}  // namespace
}  // namespace grpserver
