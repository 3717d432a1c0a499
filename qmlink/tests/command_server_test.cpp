// qmlink against mqsim's own command server: the command exchange end to
// end, qmTest with the command server running, stopped and hung, and the
// queue description the agent sets on its reply queue.
#include <map>
#include <string>
#include <vector>

#include "mqsim_env.h"

namespace qmlink_test {
namespace {

struct ManagerDeleter {
  void operator()(MQManager* m) const { DeleteMQManager(m); }
};
using ManagerPtr = std::unique_ptr<MQManager, ManagerDeleter>;

class CommandServerTest : public MqsimTest {
 protected:
  void SetUp() override {
    MqsimTest::SetUp();
    if (HasFatalFailure()) return;
    CommandServer("start");
  }
  void CommandServer(const char* state) {
    ASSERT_EQ(Ctl({"cmdserver", "QM1", state}), 0) << ts::ReadWholeFile(dir_.Sub("ctl.log"));
  }
};

std::map<MQLONG, MQLONG> TestParameters(mqPcfMessage* out) {
  std::map<MQLONG, MQLONG> params;
  MQCFH* cfh = reinterpret_cast<MQCFH*>(PCF_BODY(out));
  for (MQLONG i = 1; i <= cfh->ParameterCount; ++i) {
    Message rec{};
    MQLONG v = 0;
    EXPECT_EQ(GetAttrByPos(i, &rec, out), 1);
    EXPECT_EQ(GetPcfIntAttrValue(&rec, &v), 1);
    params[reinterpret_cast<MQCFIN*>(rec.Payload)->Parameter] = v;
    DeleteMessage(&rec);
  }
  return params;
}

TEST_F(CommandServerTest, QmTestFollowsTheCommandServersState) {
  struct Case {
    const char* state;
    int result;
    MQLONG comp_code, reason;
    std::map<MQLONG, MQLONG> params;
  } cases[] = {
      {"start", 1, MQCC_OK, 0, {}},
      {"stop", 1, MQCC_OK, 0, {{QMGR_TEST_PING_RC, EXRC_CMD_SERVER_DOWN}}},
      {"hang", 0, MQCC_FAILED, EXRC_CMD_SERVER_NOT_RESPONDING,
       {{QMGR_TEST_PING_RC, EXRC_CMD_SERVER_NOT_RESPONDING}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    CommandServer(c.state);
    Pcf out(10999, MQCFT_COMMAND);
    EXPECT_EQ(qmTest("QM1", "SYSTEM.ADMIN.COMMAND.QUEUE", "MQMGM.ADMIN.EVENT.QUEUE", "MQCMD.DYNAMIC.QUEUE", out.m),
              c.result);
    EXPECT_EQ(out.cfh()->CompCode, c.comp_code);
    EXPECT_EQ(out.cfh()->Reason, c.reason);
    EXPECT_EQ(TestParameters(out.m), c.params);
  }
}

TEST_F(CommandServerTest, InquiryRepliesAreReadUntilTheLastOne) {
  DefineQM1();
  ManagerPtr m(CreateCLConn("QM1", nullptr, nullptr, "INQ"));
  ASSERT_EQ(qmOpen(m.get(), nullptr), 1);
  Pcf request(MQCMD_INQUIRE_Q_NAMES);
  Message rec{};
  ASSERT_EQ(CreatePcfStrAttr(&rec, MQCA_Q_NAME, "SYSTEM.*"), 1);
  ASSERT_EQ(AppendAttr(request.m, &rec), 1);
  DeleteMessage(&rec);
  ASSERT_EQ(RawToPcf(request.m), 1);
  request.body()->Md.Report |= MQRO_PASS_MSG_ID | MQRO_PASS_CORREL_ID;
  std::memcpy(MESSAGE_HEADER(request.body())->MsgId, "LKOUT-1", 7);
  ASSERT_EQ(qmWrite(request.body(), m.get()), 1) << m->reason;

  Pcf reply(0, MQCFT_RESPONSE);
  std::vector<std::string> names;
  for (int guard = 0; guard < 100; ++guard) {
    ASSERT_EQ(ResetPcfMessage(reply.m, 0, MQCFT_RESPONSE), 1);
    ASSERT_EQ(qmRead(reply.body(), 10000, m.get()), 1) << m->reason;
    ASSERT_EQ(RawToPcf(reply.m), 1);
    EXPECT_EQ(std::memcmp(MESSAGE_HEADER(reply.body())->MsgId, "LKOUT-1", 7), 0);
    EXPECT_EQ(reply.cfh()->CompCode, MQCC_OK) << reply.cfh()->Reason;
    Message list{};
    if (GetAttrByID(3011, &list, reply.m) == 1) {  // MQCACF_Q_NAMES
      const auto* sl = reinterpret_cast<const MQCFSL*>(list.Payload);
      char text[49];
      for (MQLONG i = 0; i < sl->Count; ++i) {
        ASSERT_EQ(GetPcfStrListAttrValue(&list, i, text, 48), 1);
        names.push_back(Trimmed(text, 48));
      }
      DeleteMessage(&list);
    }
    if (reply.cfh()->Control == MQCFC_LAST) break;
  }
  EXPECT_NE(std::find(names.begin(), names.end(), "SYSTEM.ADMIN.COMMAND.QUEUE"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "SYSTEM.ADMIN.QMGR.EVENT"), names.end());
  EXPECT_EQ(qmRead(reply.body(), 0, m.get()), 0);
  EXPECT_EQ(m->reason, static_cast<MQULONG>(MQRC_NO_MSG_AVAILABLE));
}

TEST_F(CommandServerTest, ReplyQueueDescriptionIsSetThroughTheCommandServer) {
  DefineQM1();
  ManagerPtr m(CreateCLConn("QM1", nullptr, nullptr, "DESC"));
  ASSERT_EQ(qmOpen(m.get(), nullptr), 1);
  std::string queue = Trimmed(m->replyQueue->name, 48);
  MQLONG reason = -1;
  ASSERT_EQ(qmUpdateQueInfo(m.get(), queue.c_str(), "Created for 127.0.0.1(4005), user(ops), appl(X)", &reason), 1)
      << m->reason;
  Conn conn;
  MQLONG err = 0;
  MQHOBJ h = conn.Open(queue, MQOO_INQUIRE, &err);
  ASSERT_EQ(err, 0);
  MQLONG selector = MQCA_Q_DESC, cc = 0, rc = 0;
  char text[MQ_Q_DESC_LENGTH];
  MQINQ(conn.h(), h, 1, &selector, 0, nullptr, sizeof text, text, &cc, &rc);
  EXPECT_EQ(rc, MQRC_NONE);
  EXPECT_EQ(Trimmed(text, sizeof text), "Created for 127.0.0.1(4005), user(ops), appl(X)");
  MQCLOSE(conn.h(), &h, MQCO_NONE, &cc, &rc);
}

}  // namespace
}  // namespace qmlink_test
