// MQManager against a real mqsim: connections, reply-queue names, the
// command exchange matched by id, waits, events, qmTest, transactions.
#include <algorithm>
#include <chrono>
#include <map>
#include <string>

#include "mqsim_env.h"

namespace qmlink_test {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

std::string Name(const MQueue* q) { return Trimmed(q->name, 48); }

struct ManagerDeleter {
  void operator()(MQManager* m) const { DeleteMQManager(m); }
};
using ManagerPtr = std::unique_ptr<MQManager, ManagerDeleter>;

TEST_F(MqsimTest, ClientConnectionTakesChannelAndHostFromRegistryKey) {
  DefineQM1();
  ManagerPtr m(CreateCLConn("QM1", nullptr, "SYSTEM.ADMIN.QMGR.EVENT", "AGENT1"));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->kind, 3u);
  EXPECT_EQ(m->reason, 0u);
  ASSERT_GT(m->hConn, 0);
  ASSERT_NE(m->commandQueue, nullptr);
  ASSERT_NE(m->replyQueue, nullptr);
  ASSERT_NE(m->eventQueue, nullptr);
  EXPECT_EQ(Name(m->commandQueue), "SYSTEM.ADMIN.COMMAND.QUEUE");
  EXPECT_EQ(Name(m->eventQueue), "SYSTEM.ADMIN.QMGR.EVENT");
  EXPECT_EQ(Name(m->replyQueue), "HARROWLINE.REPLY.AGENT1*");
  ASSERT_EQ(qmOpen(m.get(), nullptr), 1);
  // MQ completed the name; the object now holds the dynamic queue's name.
  std::string made = Name(m->replyQueue);
  EXPECT_EQ(made.rfind("HARROWLINE.REPLY.AGENT1", 0), 0u) << made;
  EXPECT_EQ(made.find('*'), std::string::npos) << made;
  EXPECT_TRUE(qqIsOpen(m->replyQueue));
  EXPECT_EQ(qmClose(m.get()), 1);
  EXPECT_EQ(m->hConn, -1);
  EXPECT_EQ(m->replyQueue, nullptr);
}

TEST_F(MqsimTest, LocalConnectionAndCommandQueueNamedByCaller) {
  ManagerPtr m(CreateMQManager("QM1", "SYSTEM.DEAD.LETTER.QUEUE", nullptr, nullptr));
  ASSERT_NE(m, nullptr);
  ASSERT_GT(m->hConn, 0);
  EXPECT_EQ(m->eventQueue, nullptr);
  EXPECT_EQ(Name(m->commandQueue), "SYSTEM.DEAD.LETTER.QUEUE");
  EXPECT_EQ(Name(m->replyQueue), "HARROWLINE.REPLY.DEFAULT*");
  EXPECT_EQ(qmOpen(m.get(), "            "), 1);
}

TEST_F(MqsimTest, UnknownQueueManagerLeavesObjectUnconnected) {
  for (bool client : {true, false}) {
    SCOPED_TRACE(client ? "client" : "local");
    ManagerPtr m(client ? CreateCLConn("NOSUCH", nullptr, "EVENTS", "X") : CreateMQManager("NOSUCH", nullptr, nullptr, "X"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->hConn, -1);
    EXPECT_NE(m->reason, 0u);
    EXPECT_EQ(m->commandQueue, nullptr);
    EXPECT_EQ(m->replyQueue, nullptr);
    EXPECT_EQ(m->eventQueue, nullptr);
    MQULONG connect_reason = m->reason;
    EXPECT_EQ(qmOpen(m.get(), nullptr), 0);
    EXPECT_EQ(m->reason, connect_reason);
    Pcf cmd(MQCMD_PING_Q_MGR);
    EXPECT_EQ(qmWrite(cmd.body(), m.get()), 0);
    EXPECT_EQ(qmRead(cmd.body(), 0, m.get()), 0);
  }
}

TEST_F(MqsimTest, ReplySuffixIsCutTo16CharactersAndStillCompletedByMq) {
  DefineQM1();
  ManagerPtr m(CreateCLConn("QM1", nullptr, nullptr, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Name(m->replyQueue), "HARROWLINE.REPLY.ABCDEFGHIJKLMNOP*");
  ASSERT_EQ(qmOpen(m.get(), nullptr), 1);
  EXPECT_EQ(Name(m->replyQueue).rfind("HARROWLINE.REPLY.ABCDEFGHIJKLMNOP", 0), 0u);
}

TEST_F(MqsimTest, CommandReplyIsMatchedByIdAndStaleReplyStaysQueued) {
  DefineQM1();
  FakeCommandServer server;
  ManagerPtr m(CreateCLConn("QM1", nullptr, nullptr, "IDS"));
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(qmOpen(m.get(), nullptr), 1);

  // Request A, whose reply nobody reads.
  Pcf a(MQCMD_INQUIRE_Q_MGR);
  std::memcpy(MESSAGE_HEADER(a.body())->MsgId, "REQUEST-A", 9);
  a.body()->Md.Report |= MQRO_PASS_MSG_ID | MQRO_PASS_CORREL_ID;
  ASSERT_EQ(qmWrite(a.body(), m.get()), 1);
  ASSERT_TRUE(ts::WaitFor([&] { return Conn().Depth(Name(m->replyQueue)) == 1; }, milliseconds(10000)));

  // Request B with ids in both header fields; its reply must come back even
  // though A's reply is first on the queue.
  Pcf b(MQCMD_PING_Q_MGR);
  std::memcpy(MESSAGE_HEADER(b.body())->MsgId, "REQUEST-B", 9);
  std::memcpy(MESSAGE_HEADER(b.body())->CorrelId, "CORREL-B", 8);
  b.body()->Md.Report |= MQRO_PASS_MSG_ID | MQRO_PASS_CORREL_ID;
  ASSERT_EQ(qmWrite(b.body(), m.get()), 1);
  EXPECT_EQ(b.body()->Md.MsgType, MQMT_REQUEST);
  EXPECT_EQ(std::string(b.body()->Md.Format, 8), "MQADMIN ");
  EXPECT_EQ(Trimmed(b.body()->Md.ReplyToQMgr, 48), "QM1");

  Pcf reply(0, MQCFT_RESPONSE);
  ASSERT_EQ(qmRead(reply.body(), 10000, m.get()), 1) << m->reason;
  ASSERT_EQ(RawToPcf(reply.m), 1);
  EXPECT_EQ(reply.cfh()->Command, MQCMD_PING_Q_MGR);
  EXPECT_EQ(std::memcmp(MESSAGE_HEADER(reply.body())->MsgId, "REQUEST-B", 9), 0);
  EXPECT_EQ(std::memcmp(MESSAGE_HEADER(reply.body())->CorrelId, "CORREL-B", 8), 0);
  EXPECT_EQ(Conn().Depth(Name(m->replyQueue)), 1) << "the reply to A was taken";

  // The command server saw both requests with the reply queue MQ made.
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(Trimmed(requests[1].md.ReplyToQ, 48), Name(m->replyQueue));
  EXPECT_EQ(std::memcmp(requests[1].md.MsgId, "REQUEST-B", 9), 0);
}

TEST_F(MqsimTest, ReplyWithoutPassedIdsIsMatchedByCorrelIdOfRequestMsgId) {
  DefineQM1();
  FakeCommandServer server;
  ManagerPtr m(CreateCLConn("QM1", nullptr, nullptr, "COPYID"));
  ASSERT_EQ(qmOpen(m.get(), nullptr), 1);
  Pcf a(MQCMD_INQUIRE_Q_MGR), b(MQCMD_PING_Q_MGR);
  ASSERT_EQ(qmWrite(a.body(), m.get()), 1);
  ASSERT_EQ(qmWrite(b.body(), m.get()), 1);
  // Header ids were zero: MQ made a MsgId for each request.
  EXPECT_NE(std::memcmp(a.body()->Md.MsgId, b.body()->Md.MsgId, 24), 0);
  Pcf reply(0, MQCFT_RESPONSE);
  ASSERT_EQ(qmRead(reply.body(), 10000, m.get()), 1) << m->reason;
  ASSERT_EQ(RawToPcf(reply.m), 1);
  EXPECT_EQ(reply.cfh()->Command, MQCMD_PING_Q_MGR);
  EXPECT_EQ(std::memcmp(reply.body()->Md.CorrelId, b.body()->Md.MsgId, 24), 0);
}

TEST_F(MqsimTest, AllRepliesOfARequestAreMatchedThenZeroIdsTakeAnyMessage) {
  DefineQM1();
  FakeCommandServer server(FakeCommandServer::Mode::kAnswer, 3);
  ManagerPtr m(CreateCLConn("QM1", nullptr, nullptr, "MULTI"));
  ASSERT_EQ(qmOpen(m.get(), nullptr), 1);
  Pcf request(MQCMD_INQUIRE_Q);
  ASSERT_EQ(qmWrite(request.body(), m.get()), 1);
  Pcf reply(0, MQCFT_RESPONSE);
  for (MQLONG sequence = 1; sequence <= 3; ++sequence) {
    SCOPED_TRACE(sequence);
    // A reset between reads clears the descriptor's ids, as the agent's
    // reply loop does; the request's ids still select its replies.
    ASSERT_EQ(ResetPcfMessage(reply.m, 0, MQCFT_RESPONSE), 1);
    ASSERT_EQ(qmRead(reply.body(), 10000, m.get()), 1) << m->reason;
    ASSERT_EQ(RawToPcf(reply.m), 1);
    EXPECT_EQ(reply.cfh()->MsgSeqNumber, sequence);
    EXPECT_EQ(reply.cfh()->Control, sequence == 3 ? MQCFC_LAST : MQCFC_NOT_LAST);
  }
  // A response the message server puts itself, with ids of its own, is
  // read by zero ids once the command is fully answered.
  Pcf own(10300, MQCFT_RESPONSE);
  MQMD md = DefaultMd();
  std::memcpy(md.MsgId, "SERVER-OWN", 10);
  Conn conn;
  ASSERT_EQ(conn.Put1(Name(m->replyQueue), &md, own.cfh(), MQCFH_STRUC_LENGTH), MQRC_NONE);
  ASSERT_EQ(ResetPcfMessage(reply.m, 0, MQCFT_RESPONSE), 1);
  ASSERT_EQ(qmRead(reply.body(), 10000, m.get()), 1) << m->reason;
  EXPECT_EQ(std::memcmp(reply.body()->Md.MsgId, "SERVER-OWN", 10), 0);
}

TEST_F(MqsimTest, UnansweredRequestKeepsItsIdsUntilTheReplyQueueIsEmptied) {
  DefineQM1();
  FakeCommandServer server(FakeCommandServer::Mode::kSilent);
  ManagerPtr m(CreateCLConn("QM1", nullptr, nullptr, "GIVEUP"));
  ASSERT_EQ(qmOpen(m.get(), nullptr), 1);
  Pcf request(MQCMD_PING_Q_MGR);
  ASSERT_EQ(qmWrite(request.body(), m.get()), 1);
  Pcf reply(0, MQCFT_RESPONSE);
  ASSERT_EQ(qmRead(reply.body(), 0, m.get()), 0);
  EXPECT_EQ(m->reason, static_cast<MQULONG>(MQRC_NO_MSG_AVAILABLE));
  // Nothing yet for the request: a message with other ids is no reply to
  // it, however often a reader waiting in slices asks.
  Pcf own(10300, MQCFT_RESPONSE);
  MQMD md = DefaultMd();
  std::memcpy(md.MsgId, "SERVER-OWN", 10);
  Conn conn;
  ASSERT_EQ(conn.Put1(Name(m->replyQueue), &md, own.cfh(), MQCFH_STRUC_LENGTH), MQRC_NONE);
  for (int slice = 0; slice < 3; ++slice) {
    ASSERT_EQ(ResetPcfMessage(reply.m, 0, MQCFT_RESPONSE), 1);
    EXPECT_EQ(qmRead(reply.body(), 0, m.get()), 0);
    EXPECT_EQ(m->reason, static_cast<MQULONG>(MQRC_NO_MSG_AVAILABLE));
  }
  // Emptying the reply queue gives the request up.
  ASSERT_EQ(qqClear(m->replyQueue), 1);
  md = DefaultMd();
  std::memcpy(md.MsgId, "SERVER-TWO", 10);
  ASSERT_EQ(conn.Put1(Name(m->replyQueue), &md, own.cfh(), MQCFH_STRUC_LENGTH), MQRC_NONE);
  ASSERT_EQ(ResetPcfMessage(reply.m, 0, MQCFT_RESPONSE), 1);
  ASSERT_EQ(qmRead(reply.body(), 10000, m.get()), 1) << m->reason;
  EXPECT_EQ(std::memcmp(reply.body()->Md.MsgId, "SERVER-TWO", 10), 0);
}

TEST_F(MqsimTest, ReadWithWaitZeroOnEmptyReplyQueueGives2033AtOnce) {
  DefineQM1();
  ManagerPtr m(CreateCLConn("QM1", nullptr, nullptr, "EMPTY"));
  ASSERT_EQ(qmOpen(m.get(), nullptr), 1);
  Pcf reply(0, MQCFT_RESPONSE);
  auto start = steady_clock::now();
  EXPECT_EQ(qmRead(reply.body(), 0, m.get()), 0);
  EXPECT_EQ(m->reason, static_cast<MQULONG>(MQRC_NO_MSG_AVAILABLE));
  EXPECT_LT(steady_clock::now() - start, milliseconds(5000));
  // A negative wait other than -1 does not wait either.
  EXPECT_EQ(qmRead(reply.body(), -7, m.get()), 0);
  EXPECT_EQ(m->reason, static_cast<MQULONG>(MQRC_NO_MSG_AVAILABLE));
}

TEST_F(MqsimTest, EventsAreReadFromTheEventQueueAndFromAnyGivenQueue) {
  DefineQM1();
  ManagerPtr m(CreateCLConn("QM1", nullptr, "SYSTEM.ADMIN.QMGR.EVENT", "EVT"));
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(qqOpen(MQOO_INPUT_EXCLUSIVE, m->eventQueue, nullptr), 1);
  Pcf event(MQCMD_Q_MGR_EVENT, MQCFT_EVENT);
  event.cfh()->Reason = MQRC_Q_MGR_NOT_ACTIVE;
  MQMD md = DefaultMd();
  std::memcpy(md.Format, MQFMT_EVENT, 8);
  Conn conn;
  ASSERT_EQ(conn.Put1("SYSTEM.ADMIN.QMGR.EVENT", &md, event.cfh(), MQCFH_STRUC_LENGTH), MQRC_NONE);
  ASSERT_EQ(conn.Put1("SYSTEM.ADMIN.PERFM.EVENT", &md, event.cfh(), MQCFH_STRUC_LENGTH), MQRC_NONE);

  Pcf got(0, MQCFT_RESPONSE);
  ASSERT_EQ(qmPost(got.body(), 1000, m.get()), 1) << m->reason;
  ASSERT_EQ(RawToPcf(got.m), 1);
  EXPECT_EQ(got.cfh()->Type, MQCFT_EVENT);
  EXPECT_EQ(got.cfh()->Reason, MQRC_Q_MGR_NOT_ACTIVE);
  EXPECT_EQ(qmPost(got.body(), 0, m.get()), 0);
  EXPECT_EQ(m->reason, static_cast<MQULONG>(MQRC_NO_MSG_AVAILABLE));

  MQueue* perf = CreateMQueue(m->hConn, "SYSTEM.ADMIN.PERFM.EVENT");
  ASSERT_EQ(qqOpen(MQOO_INPUT_EXCLUSIVE, perf, nullptr), 1);
  Pcf got2(0, MQCFT_RESPONSE);
  EXPECT_EQ(ReadEventQ(got2.body(), 1000, m.get(), perf), 1) << m->reason;
  EXPECT_EQ(ReadEventQ(got2.body(), 0, m.get(), perf), 0);
  EXPECT_EQ(m->reason, static_cast<MQULONG>(MQRC_NO_MSG_AVAILABLE));
  DeleteMQueue(perf);

  // A manager without an event queue reports the missing object.
  ManagerPtr bare(CreateCLConn("QM1", nullptr, nullptr, "BARE"));
  EXPECT_EQ(qmPost(got.body(), 0, bare.get()), 0);
  EXPECT_EQ(bare->reason, static_cast<MQULONG>(MQRC_HOBJ_ERROR));
}

TEST_F(MqsimTest, SecondConnectOfSameThreadDoesNotDisconnectTheFirst) {
  ManagerPtr first(CreateMQManager("QM1", nullptr, nullptr, "FIRST"));
  ASSERT_EQ(first->reason, 0u);
  ASSERT_EQ(qmOpen(first.get(), nullptr), 1);
  ManagerPtr second(CreateMQManager("QM1", nullptr, nullptr, "SECOND"));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->reason, static_cast<MQULONG>(MQRC_ALREADY_CONNECTED));
  EXPECT_EQ(second->hConn, first->hConn);
  second.reset();
  // The first object's connection and reply queue still work.
  Pcf reply(0, MQCFT_RESPONSE);
  EXPECT_EQ(qmRead(reply.body(), 0, first.get()), 0);
  EXPECT_EQ(first->reason, static_cast<MQULONG>(MQRC_NO_MSG_AVAILABLE));
}

TEST_F(MqsimTest, EndTransactionCommitsAndBacksOut) {
  ManagerPtr m(CreateMQManager("QM1", nullptr, nullptr, nullptr));
  EXPECT_EQ(qmEndTrans(m.get(), 1), 1);
  EXPECT_EQ(qmEndTrans(m.get(), 0), 1);
  EXPECT_EQ(qmEndTrans(nullptr, 1), 0);
  qmClose(m.get());
  EXPECT_EQ(qmEndTrans(m.get(), 1), 0);
}

TEST_F(MqsimTest, UpdateQueueInfoSendsChangeQueueAndReadsItsReply) {
  DefineQM1();
  FakeCommandServer server;
  ManagerPtr m(CreateCLConn("QM1", nullptr, nullptr, "DESC"));
  ASSERT_EQ(qmOpen(m.get(), nullptr), 1);
  MQLONG reason = -1;
  std::string long_text(80, 'd');
  ASSERT_EQ(qmUpdateQueInfo(m.get(), Name(m->replyQueue).c_str(), long_text.c_str(), &reason), 1) << m->reason;
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Command(), MQCMD_CHANGE_Q);
  // Parse what the server got with the PCF library: the three parameters.
  Pcf seen(0, MQCFT_COMMAND, static_cast<MQLONG>(requests[0].body.size()));
  std::memcpy(PCF_BODY(seen.m), requests[0].body.data(), requests[0].body.size());
  seen.m->Body.UsedLength = MESSAGE_HEADER_LENGTH + static_cast<MQLONG>(requests[0].body.size());
  ASSERT_EQ(RawToPcf(seen.m), 1);
  Message rec{};
  char text[65];
  ASSERT_EQ(GetAttrByID(MQCA_Q_NAME, &rec, seen.m), 1);
  ASSERT_EQ(GetPcfStrAttrValue(&rec, text, 48), 1);
  EXPECT_EQ(Trimmed(text, 48), Name(m->replyQueue));
  ASSERT_EQ(GetAttrByID(MQCA_Q_DESC, &rec, seen.m), 1);
  ASSERT_EQ(GetPcfStrAttrValue(&rec, text, 64), 1);
  EXPECT_EQ(std::string(text), long_text.substr(0, 64));
  MQLONG type = 0;
  ASSERT_EQ(GetAttrByID(MQIA_Q_TYPE, &rec, seen.m), 1);
  ASSERT_EQ(GetPcfIntAttrValue(&rec, &type), 1);
  EXPECT_EQ(type, MQQT_LOCAL);
  DeleteMessage(&rec);
  // The command queue was closed again.
  EXPECT_FALSE(qqIsOpen(m->commandQueue));
}

// ---- qmTest -------------------------------------------------------------------

struct TestResult {
  int result = -1;
  MQLONG comp_code = -1, reason = -1;
  std::map<MQLONG, MQLONG> params;
};

TestResult RunTest(const char* name) {
  Pcf out(10999, MQCFT_COMMAND, 512);
  TestResult r;
  r.result = qmTest(name, "SYSTEM.ADMIN.COMMAND.QUEUE", "MQMGM.ADMIN.EVENT.QUEUE", "MQCMD.DYNAMIC.QUEUE", out.m);
  EXPECT_EQ(out.cfh()->Type, MQCFT_RESPONSE);
  EXPECT_EQ(out.cfh()->Command, 10999);
  r.comp_code = out.cfh()->CompCode;
  r.reason = out.cfh()->Reason;
  for (MQLONG i = 1; i <= out.cfh()->ParameterCount; ++i) {
    Message rec{};
    MQLONG v = 0;
    EXPECT_EQ(GetAttrByPos(i, &rec, out.m), 1);
    EXPECT_EQ(GetPcfIntAttrValue(&rec, &v), 1);
    r.params[reinterpret_cast<MQCFIN*>(rec.Payload)->Parameter] = v;
    DeleteMessage(&rec);
  }
  return r;
}

TEST_F(MqsimTest, QmTestPassesWithAnsweringCommandServer) {
  FakeCommandServer server;
  TestResult r = RunTest("QM1");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.comp_code, MQCC_OK);
  EXPECT_EQ(r.reason, 0);
  EXPECT_TRUE(r.params.empty());
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].Command(), MQCMD_PING_Q_MGR);
  // Its dynamic queues went with it.
  EXPECT_EQ(Conn().Depth("SYSTEM.ADMIN.COMMAND.QUEUE"), 0);
}

TEST_F(MqsimTest, QmTestWithCommandServerStoppedReports20012AndPasses) {
  TestResult r = RunTest("QM1");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.comp_code, MQCC_OK);
  EXPECT_EQ(r.params, (std::map<MQLONG, MQLONG>{{QMGR_TEST_PING_RC, EXRC_CMD_SERVER_DOWN}}));
}

TEST_F(MqsimTest, QmTestWithHungCommandServerReports20307) {
  FakeCommandServer server(FakeCommandServer::Mode::kSilent);
  TestResult r = RunTest("QM1");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.comp_code, MQCC_FAILED);
  EXPECT_EQ(r.reason, EXRC_CMD_SERVER_NOT_RESPONDING);
  EXPECT_EQ(r.params, (std::map<MQLONG, MQLONG>{{QMGR_TEST_PING_RC, EXRC_CMD_SERVER_NOT_RESPONDING}}));
}

TEST_F(MqsimTest, QmTestOnMissingModelQueueReports2085AndCreatesNothing) {
  ASSERT_EQ(Ctl({"delete-queue", "QM1", "SYSTEM.DEFAULT.MODEL.QUEUE"}), 0) << ts::ReadWholeFile(dir_.Sub("ctl.log"));
  FakeCommandServer server;
  TestResult r = RunTest("QM1");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.comp_code, MQCC_FAILED);
  EXPECT_EQ(r.reason, MQRC_UNKNOWN_OBJECT_NAME);
  EXPECT_EQ(r.params.at(QMGR_TEST_REPLYQ_RC), MQRC_UNKNOWN_OBJECT_NAME);
  EXPECT_EQ(r.params.at(QMGR_TEST_EVENTQ_RC), MQRC_UNKNOWN_OBJECT_NAME);
  EXPECT_EQ(r.params.count(QMGR_TEST_PING_RC), 0u);
  EXPECT_EQ(server.RequestCount(), 0u) << "no command may be sent to create the model";
  EXPECT_EQ(Conn().Depth("SYSTEM.DEFAULT.MODEL.QUEUE"), -MQRC_UNKNOWN_OBJECT_NAME);
}

TEST_F(MqsimTest, QmTestOnUnknownQueueManagerReportsConnectReason) {
  TestResult r = RunTest("NOSUCH");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.comp_code, MQCC_FAILED);
  ASSERT_EQ(r.params.size(), 1u);
  MQLONG connect = r.params.at(QMGR_TEST_CONNECT_RC);
  EXPECT_NE(connect, 0);
  EXPECT_EQ(r.reason, connect);
}

TEST_F(MqsimTest, QmTestOnAlreadyConnectedThreadReports2002) {
  ManagerPtr held(CreateMQManager("QM1", nullptr, nullptr, nullptr));
  ASSERT_EQ(held->reason, 0u);
  TestResult r = RunTest("QM1");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.params, (std::map<MQLONG, MQLONG>{{QMGR_TEST_CONNECT_RC, MQRC_ALREADY_CONNECTED}}));
  // The test's object did not take the held connection with it.
  EXPECT_EQ(qmOpen(held.get(), nullptr), 1);
}

// ---- traces -------------------------------------------------------------------

std::vector<std::string>* g_points = nullptr;
int RecordManager(const char* point, MQManager*) {
  g_points->push_back(std::string("M:") + point);
  return 1;
}
int RecordQueue(const char* point, MQueue* q) {
  g_points->push_back("Q" + std::to_string(q->traceData) + ":" + point);
  return 1;
}

TEST_F(MqsimTest, TraceHooksSeeEachTracedPoint) {
  std::vector<std::string> points;
  g_points = &points;
  OnGQMgrTrace(RecordManager, RecordQueue, 7);
  MQManager* m = CreateMQManager("QM1", nullptr, nullptr, "TRACE");
  OnGQMgrTrace(nullptr, nullptr, 0);
  ASSERT_NE(m, nullptr);
  qmOpen(m, nullptr);
  OnQMgrTrace(m, RecordManager, RecordQueue, 9);
  EXPECT_EQ(m->replyQueue->traceData, 9);
  DeleteMQManager(m);
  g_points = nullptr;
  auto has = [&](const std::string& p) { return std::find(points.begin(), points.end(), p) != points.end(); };
  EXPECT_TRUE(has("M:CreateMQManager"));
  EXPECT_TRUE(has("M:qmOpen: before"));
  EXPECT_TRUE(has("M:qmOpen: after"));
  EXPECT_TRUE(has("Q7:qqOpen: before"));
  EXPECT_TRUE(has("Q7:qqClear: after"));
  EXPECT_TRUE(has("M:DeleteMQManager"));
  EXPECT_TRUE(has("Q9:DeleteMQueue"));
  EXPECT_TRUE(has("M:qmClose: after"));
}

TEST(ManagerNullTest, NullObjectsAreRefused) {
  EXPECT_EQ(DeleteMQManager(nullptr), 0);
  EXPECT_EQ(qmOpen(nullptr, nullptr), 0);
  EXPECT_EQ(qmClose(nullptr), 0);
  EXPECT_EQ(qmWrite(nullptr, nullptr), 0);
  EXPECT_EQ(qmRead(nullptr, 0, nullptr), 0);
  EXPECT_EQ(qmPost(nullptr, 0, nullptr), 0);
  EXPECT_EQ(qmTest("QM1", nullptr, nullptr, nullptr, nullptr), 0);
}

}  // namespace
}  // namespace qmlink_test
