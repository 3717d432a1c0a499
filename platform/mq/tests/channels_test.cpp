// Channels between two queue managers of one mqsim: status, commands,
// events, dead-letter delivery, and no message lost or doubled across a
// kill -9 in the middle of a transfer.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "mqsim_fixture.h"
#include "pcf_admin.h"

using namespace mqsim_test;

namespace {

class ChannelsTest : public MqsimTest {
 protected:
  void Ok(Admin& a, const Request& req) {
    auto r = a.Send(req);
    ASSERT_EQ(r.size(), 1u);
    ASSERT_EQ(r[0].cfh.CompCode, MQCC_OK) << "reason " << r[0].cfh.Reason;
  }

  // The transmission queue QM2 and the channel pair QM1.TO.QM2.
  void DefinePair(int batch_size) {
    {
      Admin a(this, "QM1");
      Ok(a, Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "QM2").Int(MQIA_Q_TYPE, MQQT_LOCAL)
                .Int(MQIA_USAGE, MQUS_TRANSMISSION).Int(MQIA_MAX_Q_DEPTH, 100000));
      Ok(a, Request(MQCMD_CREATE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2")
                .Int(MQIACH_CHANNEL_TYPE, MQCHT_SENDER).Str(MQCACH_XMIT_Q_NAME, "QM2")
                .Str(MQCACH_CONNECTION_NAME, "127.0.0.1(" + std::to_string(port2_) + ")")
                .Int(MQIACH_BATCH_SIZE, batch_size));
    }
    Admin b(this, "QM2");
    Ok(b, Request(MQCMD_CREATE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2")
              .Int(MQIACH_CHANNEL_TYPE, MQCHT_RECEIVER));
    Ok(b, Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "APP.IN").Int(MQIA_Q_TYPE, MQQT_LOCAL)
              .Int(MQIA_MAX_Q_DEPTH, 100000));
  }

  // A message for queue `to` of QM2 as a queue manager puts it on a
  // transmission queue: MQXQH, then the data.
  static std::string Transmitted(const std::string& to, const std::string& data, MQMD* md_out = nullptr) {
    MQXQH x{};
    std::memcpy(x.StrucId, MQXQH_STRUC_ID, 4);
    x.Version = MQXQH_VERSION_1;
    mqsim::SetField(x.RemoteQName, 48, to.c_str());
    mqsim::SetField(x.RemoteQMgrName, 48, "QM2");
    MQMD md = Md();
    md.Persistence = MQPER_PERSISTENT;
    md.Priority = 0;
    std::memcpy(&x.MsgDesc, &md, sizeof x.MsgDesc);
    if (md_out != nullptr) *md_out = md;
    return std::string(reinterpret_cast<const char*>(&x), sizeof x) + data;
  }

  MQLONG Depth(const char* qmgr, const char* queue) {
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

  bool WaitDepth(const char* qmgr, const char* queue, MQLONG at_least, int seconds = 20) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Depth(qmgr, queue) >= at_least) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
};

TEST_F(ChannelsTest, PersistentMessagesCrossAKillNineNeitherLostNorDoubled) {
  DefinePair(10);
  const int kCount = 1000;
  {
    MQHCONN h = Connect("QM1");
    MQHOBJ xq = 0;
    ASSERT_EQ(Open(h, "QM2", MQOO_OUTPUT, &xq), 0);
    for (int i = 0; i < kCount; ++i) {
      MQMD md = Md();
      md.Persistence = MQPER_PERSISTENT;
      char data[16];
      snprintf(data, sizeof data, "msg-%04d", i);
      ASSERT_EQ(Put(h, xq, Transmitted("APP.IN", data), &md, MQPMO_SYNCPOINT), 0);
    }
    MQLONG cc = 0, rc = 0;
    MQCMIT(h, &cc, &rc);
    ASSERT_EQ(rc, 0);
    Disconnect(h);
  }
  {
    Admin a(this, "QM1");
    Ok(a, Request(MQCMD_START_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2"));
  }
  ASSERT_TRUE(WaitDepth("QM2", "APP.IN", 100));
  KillServer();
  StartServer();
  MQLONG arrived_before = Depth("QM2", "APP.IN");
  EXPECT_GT(arrived_before, 0);
  {
    Admin a(this, "QM1");
    Ok(a, Request(MQCMD_START_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2"));
  }
  ASSERT_TRUE(WaitDepth("QM2", "APP.IN", kCount)) << "only " << Depth("QM2", "APP.IN") << " arrived";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Depth("QM1", "QM2") != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(Depth("QM1", "QM2"), 0);

  MQHCONN h = Connect("QM2");
  MQHOBJ in = 0;
  ASSERT_EQ(Open(h, "APP.IN", MQOO_INPUT_SHARED, &in), 0);
  std::set<std::string> seen;
  for (;;) {
    Got g = Get(h, in);
    if (g.cc == MQCC_FAILED) break;
    EXPECT_TRUE(seen.insert(g.data).second) << "doubled: " << g.data;
    EXPECT_EQ(g.md.Persistence, MQPER_PERSISTENT);
    EXPECT_EQ(std::string(g.md.Format, 8), std::string(MQFMT_STRING, 8)) << "the transmission header is gone";
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kCount));
  Disconnect(h);
}

TEST_F(ChannelsTest, StatusCommandsEventsAndDeadLetters) {
  DefinePair(50);
  Admin a(this, "QM1");
  auto r = a.Send(Request(MQCMD_INQUIRE_CHANNEL_STATUS).Str(MQCACH_CHANNEL_NAME, "*"));
  EXPECT_EQ(r.at(0).cfh.Reason, MQRCCF_CHL_STATUS_NOT_FOUND);
  r = a.Send(Request(MQCMD_STOP_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2"));
  EXPECT_EQ(r.at(0).cfh.Reason, MQRCCF_CHANNEL_NOT_ACTIVE);
  r = a.Send(Request(MQCMD_PING_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2").Int(MQIACH_DATA_COUNT, 100));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].cfh.CompCode, MQCC_OK);
  EXPECT_EQ(r[0].ints[MQIACH_DATA_COUNT], 100);
  r = a.Send(Request(MQCMD_START_CHANNEL).Str(MQCACH_CHANNEL_NAME, "NO.SUCH"));
  EXPECT_EQ(r.at(0).cfh.Reason, MQRCCF_CHANNEL_NOT_FOUND);

  // One message for a queue QM2 does not have: it goes to QM2's
  // dead-letter queue behind an MQDLH.
  MQHOBJ xq = 0;
  ASSERT_EQ(Open(a.h_, "QM2", MQOO_OUTPUT, &xq), 0);
  ASSERT_EQ(Put(a.h_, xq, Transmitted("NO.SUCH.Q", "lost?")), 0);
  ASSERT_EQ(Put(a.h_, xq, Transmitted("APP.IN", "found")), 0);
  Ok(a, Request(MQCMD_START_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2"));
  ASSERT_TRUE(WaitDepth("QM2", "APP.IN", 1));
  ASSERT_TRUE(WaitDepth("QM2", "SYSTEM.DEAD.LETTER.QUEUE", 1));
  r = a.Send(Request(MQCMD_INQUIRE_CHANNEL_STATUS).Str(MQCACH_CHANNEL_NAME, "QM1.*"));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_STATUS], MQCHS_RUNNING);
  EXPECT_EQ(r[0].ints[MQIACH_MSGS], 2);
  EXPECT_EQ(r[0].strs[MQCACH_XMIT_Q_NAME], "QM2");
  r = a.Send(Request(MQCMD_PING_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2"));
  EXPECT_EQ(r.at(0).cfh.Reason, MQRCCF_CHANNEL_IN_USE);
  r = a.Send(Request(MQCMD_DELETE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2"));
  EXPECT_EQ(r.at(0).cfh.Reason, MQRCCF_CHANNEL_IN_USE);
  Ok(a, Request(MQCMD_STOP_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2"));
  r = a.Send(Request(MQCMD_INQUIRE_CHANNEL_STATUS).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2"));
  EXPECT_EQ(r.at(0).ints[MQIACH_CHANNEL_STATUS], MQCHS_STOPPED);
  Ok(a, Request(MQCMD_RESET_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2").Int(MQIACH_MSG_SEQUENCE_NUMBER, 7));
  Ok(a, Request(MQCMD_RESOLVE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2").Int(MQIACH_IN_DOUBT, MQIDO_COMMIT));
  r = a.Send(Request(MQCMD_RESOLVE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2").Int(MQIACH_IN_DOUBT, 9));
  EXPECT_EQ(r.at(0).cfh.Reason, MQRCCF_INDOUBT_VALUE_ERROR);

  MQHCONN h2 = Connect("QM2");
  MQHOBJ dlq = 0;
  ASSERT_EQ(Open(h2, "SYSTEM.DEAD.LETTER.QUEUE", MQOO_INPUT_SHARED, &dlq), 0);
  Got g = Get(h2, dlq);
  ASSERT_EQ(g.cc, MQCC_OK);
  EXPECT_EQ(std::string(g.md.Format, 8), std::string(MQFMT_DEAD_LETTER_HEADER, 8));
  ASSERT_EQ(g.data.size(), sizeof(MQDLH) + 5);
  MQDLH dlh;
  std::memcpy(&dlh, g.data.data(), sizeof dlh);
  EXPECT_EQ(std::string(dlh.StrucId, 4), "DLH ");
  EXPECT_EQ(dlh.Reason, MQRC_UNKNOWN_OBJECT_NAME);
  EXPECT_EQ(std::string(dlh.DestQName, 9), "NO.SUCH.Q");
  EXPECT_EQ(std::string(dlh.Format, 8), std::string(MQFMT_STRING, 8));
  EXPECT_EQ(g.data.substr(sizeof dlh), "lost?");

  // Channel events: started on both ends, stopped by the user here.
  MQHOBJ events = 0;
  ASSERT_EQ(Open(a.h_, "SYSTEM.ADMIN.CHANNEL.EVENT", MQOO_INPUT_SHARED, &events), 0);
  std::vector<MQLONG> reasons;
  for (;;) {
    Got e = Get(a.h_, events);
    if (e.cc == MQCC_FAILED) break;
    Reply rep = ParseReply(e.data);
    EXPECT_EQ(rep.cfh.Command, MQCMD_CHANNEL_EVENT);
    EXPECT_EQ(rep.strs[MQCACH_CHANNEL_NAME], "QM1.TO.QM2");
    reasons.push_back(rep.cfh.Reason);
  }
  EXPECT_EQ(reasons, (std::vector<MQLONG>{MQRC_CHANNEL_STARTED, MQRC_CHANNEL_STOPPED_BY_USER}));
  ASSERT_EQ(Open(h2, "SYSTEM.ADMIN.CHANNEL.EVENT", MQOO_INPUT_SHARED, &events), 0);
  Got e = Get(h2, events);
  EXPECT_EQ(ParseReply(e.data).cfh.Reason, MQRC_CHANNEL_STARTED);
  Disconnect(h2);
}

TEST_F(ChannelsTest, ASenderWithoutItsReceiverRetries) {
  Admin a(this, "QM1");
  Ok(a, Request(MQCMD_CREATE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "TO.NOWHERE").Int(MQIACH_CHANNEL_TYPE, MQCHT_SENDER)
            .Str(MQCACH_XMIT_Q_NAME, "XQ").Str(MQCACH_CONNECTION_NAME, "127.0.0.1(" + std::to_string(port2_) + ")"));
  Ok(a, Request(MQCMD_START_CHANNEL).Str(MQCACH_CHANNEL_NAME, "TO.NOWHERE"));
  auto r = a.Send(Request(MQCMD_INQUIRE_CHANNEL_STATUS).Str(MQCACH_CHANNEL_NAME, "TO.NOWHERE"));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_STATUS], MQCHS_RETRYING);
}

}  // namespace
