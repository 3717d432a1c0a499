// Report messages of a real mqsim: expiration reports as the Report
// options of the expired message ask, and what happens to a report or a
// command server reply that its reply queue does not take.
#include <gtest/gtest.h>

#include <thread>

#include "mqsim_fixture.h"
#include "pcf_admin.h"

using namespace mqsim_test;

namespace {

class ReportsTest : public MqsimTest {
 protected:
  // Waits up to five seconds for the next message of a queue.
  Got Next(MQHCONN h, const std::string& queue) {
    MQHOBJ obj = 0;
    EXPECT_EQ(Open(h, queue, MQOO_INPUT_SHARED, &obj), 0);
    Got g = Get(h, obj, MQGMO_NO_SYNCPOINT | MQGMO_WAIT, 5000);
    MQLONG cc = 0, rc = 0;
    MQCLOSE(h, &obj, MQCO_NONE, &cc, &rc);
    return g;
  }

  static MQDLH Dlh(const std::string& data) {
    MQDLH dlh{};
    if (data.size() >= sizeof dlh) std::memcpy(&dlh, data.data(), sizeof dlh);
    return dlh;
  }
};

TEST_F(ReportsTest, ExpirationReportsCarryWhatTheReportOptionsAsk) {
  ASSERT_EQ(Ctl("define QM1 EXP.Q --type local"), 0);
  ASSERT_EQ(Ctl("define QM1 REPORT.Q --type local"), 0);
  const std::string long_data(150, 'd');
  struct Case {
    const char* name;
    MQLONG report;
    size_t data_bytes;  // of long_data the report carries
    bool msg_id_passed, correl_id_passed;
  };
  const Case cases[] = {
      {"bare", MQRO_EXPIRATION, 0, false, false},
      {"with data", MQRO_EXPIRATION_WITH_DATA, 100, false, false},
      {"with full data", MQRO_EXPIRATION_WITH_FULL_DATA, 150, false, false},
      {"ids passed", MQRO_EXPIRATION | MQRO_PASS_MSG_ID | MQRO_PASS_CORREL_ID, 0, true, true},
      {"correl id passed", MQRO_EXPIRATION_WITH_DATA | MQRO_PASS_CORREL_ID, 100, false, true},
  };
  MQHCONN h = Connect("QM1");
  MQHOBJ exp = 0, rep = 0;
  ASSERT_EQ(Open(h, "EXP.Q", MQOO_OUTPUT | MQOO_BROWSE, &exp), 0);
  ASSERT_EQ(Open(h, "REPORT.Q", MQOO_INPUT_SHARED, &rep), 0);
  std::vector<MQMD> sent;
  for (size_t i = 0; i < std::size(cases); ++i) {
    MQMD md = Md();
    md.Expiry = 1;  // tenths of a second
    md.Report = cases[i].report;
    md.Priority = 3;
    md.Persistence = i % 2 == 0 ? MQPER_PERSISTENT : MQPER_NOT_PERSISTENT;
    mqsim::SetField(md.ReplyToQ, 48, "REPORT.Q");
    std::memset(md.CorrelId, 'A' + static_cast<int>(i), sizeof md.CorrelId);
    ASSERT_EQ(Put(h, exp, long_data, &md, MQPMO_NO_SYNCPOINT | MQPMO_NEW_MSG_ID), 0);
    sent.push_back(md);
  }
  // One message without a report option, and one with a report option but
  // nowhere to send it: neither makes a report.
  MQMD quiet = Md();
  quiet.Expiry = 1;
  mqsim::SetField(quiet.ReplyToQ, 48, "REPORT.Q");
  ASSERT_EQ(Put(h, exp, "quiet", &quiet), 0);
  MQMD nowhere = Md();
  nowhere.Expiry = 1;
  nowhere.Report = MQRO_EXPIRATION;
  ASSERT_EQ(Put(h, exp, "nowhere", &nowhere), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(250));  // the expiry itself is what is tested
  EXPECT_EQ(Get(h, exp, MQGMO_BROWSE_FIRST).rc, MQRC_NO_MSG_AVAILABLE);

  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    Got g = Get(h, rep, MQGMO_NO_SYNCPOINT | MQGMO_WAIT, 5000);
    ASSERT_EQ(g.cc, MQCC_OK) << "reason " << g.rc;
    EXPECT_EQ(g.md.MsgType, MQMT_REPORT);
    EXPECT_EQ(g.md.Feedback, MQFB_EXPIRATION);
    EXPECT_EQ(g.md.Report, MQRO_NONE);
    EXPECT_EQ(g.md.Expiry, MQEI_UNLIMITED);
    EXPECT_EQ(g.md.Priority, 3);
    EXPECT_EQ(g.md.Persistence, sent[i].Persistence);
    EXPECT_EQ(g.md.PutApplType, MQAT_QMGR);
    EXPECT_EQ(Trim(std::string(g.md.PutApplName, 28)), "QM1");
    EXPECT_EQ(Trim(std::string(g.md.ReplyToQ, 48)), "");
    EXPECT_EQ(g.data, long_data.substr(0, cases[i].data_bytes));
    EXPECT_EQ(std::string(g.md.Format, 8),
              std::string(cases[i].data_bytes > 0 ? MQFMT_STRING : MQFMT_NONE, 8));
    bool same_msg_id = std::memcmp(g.md.MsgId, sent[i].MsgId, 24) == 0;
    EXPECT_EQ(same_msg_id, cases[i].msg_id_passed);
    const MQBYTE* want_correl = cases[i].correl_id_passed ? sent[i].CorrelId : sent[i].MsgId;
    EXPECT_EQ(std::memcmp(g.md.CorrelId, want_correl, 24), 0);
  }
  EXPECT_EQ(Get(h, rep).rc, MQRC_NO_MSG_AVAILABLE) << "one report per asking message";
  Disconnect(h);
}

TEST_F(ReportsTest, AReportItsQueueRefusesGoesToTheDeadLetterQueue) {
  ASSERT_EQ(Ctl("define QM1 EXP.Q --type local"), 0);
  ASSERT_EQ(Ctl("define QM1 FULL.Q --type local --maxdepth 1"), 0);
  MQHCONN h = Connect("QM1");
  MQHOBJ exp = 0, full = 0;
  ASSERT_EQ(Open(h, "EXP.Q", MQOO_OUTPUT | MQOO_INPUT_SHARED, &exp), 0);
  ASSERT_EQ(Open(h, "FULL.Q", MQOO_OUTPUT, &full), 0);
  ASSERT_EQ(Put(h, full, "fills it"), 0);
  struct Case {
    const char* reply_q;
    MQLONG reason;
  };
  const Case cases[] = {{"NO.SUCH.Q", MQRC_UNKNOWN_OBJECT_NAME}, {"FULL.Q", MQRC_Q_FULL}};
  for (const Case& c : cases) {
    MQMD md = Md();
    md.Expiry = 1;
    md.Report = MQRO_EXPIRATION_WITH_FULL_DATA;
    mqsim::SetField(md.ReplyToQ, 48, c.reply_q);
    ASSERT_EQ(Put(h, exp, std::string("for ") + c.reply_q, &md), 0);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(250));  // the expiry itself is what is tested
  EXPECT_EQ(Get(h, exp).rc, MQRC_NO_MSG_AVAILABLE);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply_q);
    Got g = Next(h, "SYSTEM.DEAD.LETTER.QUEUE");
    ASSERT_EQ(g.cc, MQCC_OK) << "reason " << g.rc;
    EXPECT_EQ(std::string(g.md.Format, 8), std::string(MQFMT_DEAD_LETTER_HEADER, 8));
    EXPECT_EQ(g.md.MsgType, MQMT_REPORT);
    EXPECT_EQ(g.md.Feedback, MQFB_EXPIRATION);
    ASSERT_GE(g.data.size(), sizeof(MQDLH));
    MQDLH dlh = Dlh(g.data);
    EXPECT_EQ(std::string(dlh.StrucId, 4), "DLH ");
    EXPECT_EQ(dlh.Reason, c.reason);
    EXPECT_EQ(Trim(std::string(dlh.DestQName, 48)), c.reply_q);
    EXPECT_EQ(Trim(std::string(dlh.DestQMgrName, 48)), "QM1");
    EXPECT_EQ(std::string(dlh.Format, 8), std::string(MQFMT_STRING, 8));
    EXPECT_EQ(dlh.PutApplType, MQAT_QMGR);
    EXPECT_EQ(g.data.substr(sizeof dlh), std::string("for ") + c.reply_q);
  }
  Disconnect(h);
}

TEST_F(ReportsTest, ACommandReplyWithoutItsReplyQueueGoesToTheDeadLetterQueue) {
  Admin a(this, "QM1");
  MQMD md = Md();
  md.MsgType = MQMT_REQUEST;
  std::memcpy(md.Format, MQFMT_ADMIN, 8);
  mqsim::SetField(md.ReplyToQ, 48, "GONE.Q");
  ASSERT_EQ(Put(a.h_, a.cmd_q_, Request(MQCMD_PING_Q_MGR).Bytes(), &md, MQPMO_NO_SYNCPOINT | MQPMO_NEW_MSG_ID), 0);
  Got g = Next(a.h_, "SYSTEM.DEAD.LETTER.QUEUE");
  ASSERT_EQ(g.cc, MQCC_OK) << "reason " << g.rc;
  EXPECT_EQ(std::string(g.md.Format, 8), std::string(MQFMT_DEAD_LETTER_HEADER, 8));
  EXPECT_EQ(g.md.MsgType, MQMT_REPLY);
  EXPECT_EQ(std::memcmp(g.md.CorrelId, md.MsgId, 24), 0);
  ASSERT_GE(g.data.size(), sizeof(MQDLH));
  MQDLH dlh = Dlh(g.data);
  EXPECT_EQ(dlh.Reason, MQRC_UNKNOWN_OBJECT_NAME);
  EXPECT_EQ(Trim(std::string(dlh.DestQName, 48)), "GONE.Q");
  EXPECT_EQ(std::string(dlh.Format, 8), std::string(MQFMT_ADMIN, 8));
  Reply reply = ParseReply(g.data.substr(sizeof dlh));
  EXPECT_TRUE(reply.well_formed);
  EXPECT_EQ(reply.cfh.Command, MQCMD_PING_Q_MGR);
  EXPECT_EQ(reply.cfh.Type, MQCFT_RESPONSE);
}

}  // namespace
