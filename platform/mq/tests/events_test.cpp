// Events and message expiry against a real mqsim: each event kind comes
// from the action that causes it.
#include <gtest/gtest.h>

#include <thread>

#include "mqsim_fixture.h"
#include "pcf_admin.h"

using namespace mqsim_test;

namespace {

class EventsTest : public MqsimTest {
 protected:
  // Every event now on the queue, oldest first.
  std::vector<Reply> Drain(MQHCONN h, const std::string& queue) {
    MQHOBJ obj = 0;
    EXPECT_EQ(Open(h, queue, MQOO_INPUT_SHARED, &obj), 0);
    std::vector<Reply> out;
    for (;;) {
      Got g = Get(h, obj, MQGMO_NO_SYNCPOINT, 0, 65536);
      if (g.cc == MQCC_FAILED) break;
      EXPECT_EQ(std::string(g.md.Format, 8), std::string(MQFMT_EVENT, 8));
      Reply r = ParseReply(g.data);
      EXPECT_TRUE(r.well_formed);
      EXPECT_EQ(r.cfh.Type, MQCFT_EVENT);
      out.push_back(r);
    }
    MQLONG cc = 0, rc = 0;
    MQCLOSE(h, &obj, MQCO_NONE, &cc, &rc);
    return out;
  }

  void Switch(Admin& a, MQLONG id) {
    auto r = a.Send(Request(MQCMD_CHANGE_Q_MGR).Int(id, MQEVR_ENABLED));
    ASSERT_EQ(r.size(), 1u);
    ASSERT_EQ(r[0].cfh.CompCode, MQCC_OK);
  }
};

TEST_F(EventsTest, QueueManagerEventsFromTheirCauses) {
  ASSERT_EQ(Ctl("define QM1 NOPUT.Q --type local --put disabled"), 0);
  ASSERT_EQ(Ctl("define QM1 NOGET.Q --type local --get disabled"), 0);
  ASSERT_EQ(Ctl("deny QM1 badguy"), 0);
  {
    Admin a(this, "QM1");
    Switch(a, MQIA_LOCAL_EVENT);
    Switch(a, MQIA_INHIBIT_EVENT);
    Switch(a, MQIA_AUTHORITY_EVENT);
    Switch(a, MQIA_START_STOP_EVENT);

    MQHOBJ obj = 0;
    EXPECT_EQ(Open(a.h_, "NO.SUCH.Q", MQOO_OUTPUT, &obj), MQRC_UNKNOWN_OBJECT_NAME);
    ASSERT_EQ(Open(a.h_, "NOPUT.Q", MQOO_OUTPUT, &obj), 0);
    EXPECT_EQ(Put(a.h_, obj, "x"), MQRC_PUT_INHIBITED);
    ASSERT_EQ(Open(a.h_, "NOGET.Q", MQOO_INPUT_SHARED, &obj), 0);
    EXPECT_EQ(Get(a.h_, obj).rc, MQRC_GET_INHIBITED);
    MQOD od = Od("NOPUT.Q");
    od.Version = MQOD_VERSION_3;
    mqsim::SetField(od.AlternateUserId, 12, "badguy");
    MQLONG cc = 0, rc = 0;
    MQOPEN(a.h_, &od, MQOO_OUTPUT | MQOO_ALTERNATE_USER_AUTHORITY, &obj, &cc, &rc);
    EXPECT_EQ(rc, MQRC_NOT_AUTHORIZED);

    auto events = Drain(a.h_, "SYSTEM.ADMIN.QMGR.EVENT");
    ASSERT_EQ(events.size(), 4u);
    const MQLONG reasons[] = {MQRC_UNKNOWN_OBJECT_NAME, MQRC_PUT_INHIBITED, MQRC_GET_INHIBITED,
                              MQRC_NOT_AUTHORIZED};
    const char* queues[] = {"NO.SUCH.Q", "NOPUT.Q", "NOGET.Q", "NOPUT.Q"};
    for (size_t i = 0; i < events.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(events[i].cfh.Command, MQCMD_Q_MGR_EVENT);
      EXPECT_EQ(events[i].cfh.Reason, reasons[i]);
      EXPECT_EQ(events[i].strs[MQCA_Q_MGR_NAME], "QM1");
      EXPECT_EQ(events[i].strs[MQCA_Q_NAME], queues[i]);
      EXPECT_TRUE(events[i].strs.count(MQCACF_APPL_NAME));
    }
    EXPECT_EQ(events[3].ints[MQIACF_REASON_QUALIFIER], MQRQ_OPEN_NOT_AUTHORIZED);
    EXPECT_EQ(events[3].strs[MQCACF_USER_IDENTIFIER], "badguy");
  }
  // Stop and start.
  StopServer();
  StartServer();
  MQHCONN h = Connect("QM1");
  auto events = Drain(h, "SYSTEM.ADMIN.QMGR.EVENT");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].cfh.Reason, MQRC_Q_MGR_NOT_ACTIVE);
  EXPECT_EQ(events[0].ints[MQIACF_REASON_QUALIFIER], MQRQ_Q_MGR_STOPPING);
  EXPECT_EQ(events[1].cfh.Reason, MQRC_Q_MGR_ACTIVE);
  EXPECT_EQ(events[1].cfh.CompCode, MQCC_OK);
  Disconnect(h);
}

TEST_F(EventsTest, DepthHighLowAndFullPerformanceEvents) {
  ASSERT_EQ(Ctl("define QM1 DEEP.Q --type local --maxdepth 10 --qdepthhi 50 --qdepthlo 20"), 0);
  Admin a(this, "QM1");
  auto r = a.Send(Request(MQCMD_CHANGE_Q).Str(MQCA_Q_NAME, "DEEP.Q").Int(MQIA_Q_TYPE, MQQT_LOCAL)
                      .Int(MQIA_Q_DEPTH_HIGH_EVENT, MQEVR_ENABLED).Int(MQIA_Q_DEPTH_MAX_EVENT, MQEVR_ENABLED));
  ASSERT_EQ(r.at(0).cfh.CompCode, MQCC_OK);
  MQHOBJ obj = 0;
  ASSERT_EQ(Open(a.h_, "DEEP.Q", MQOO_OUTPUT | MQOO_INPUT_SHARED, &obj), 0);
  ASSERT_EQ(Put(a.h_, obj, "before the switch"), 0);
  Switch(a, MQIA_PERFORMANCE_EVENT);
  for (int i = 1; i < 10; ++i) ASSERT_EQ(Put(a.h_, obj, "m"), 0);
  EXPECT_EQ(Put(a.h_, obj, "one too many"), MQRC_Q_FULL);
  for (int i = 0; i < 8; ++i) ASSERT_EQ(Get(a.h_, obj).rc, 0);
  auto events = Drain(a.h_, "SYSTEM.ADMIN.PERFM.EVENT");
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].cfh.Reason, MQRC_Q_DEPTH_HIGH);
  EXPECT_EQ(events[0].strs[MQCA_BASE_Q_NAME], "DEEP.Q");
  EXPECT_EQ(events[0].ints[MQIA_HIGH_Q_DEPTH], 5);
  EXPECT_EQ(events[0].ints[MQIA_MSG_ENQ_COUNT], 5);
  EXPECT_EQ(events[1].cfh.Reason, MQRC_Q_FULL);
  EXPECT_EQ(events[2].cfh.Reason, MQRC_Q_DEPTH_LOW);
  for (const auto& e : events) EXPECT_EQ(e.cfh.Command, MQCMD_PERFM_EVENT);
  // Depth high fired and armed depth low, which fired and armed high again.
  r = a.Send(Request(MQCMD_INQUIRE_Q).Str(MQCA_Q_NAME, "DEEP.Q"));
  EXPECT_EQ(r.at(0).ints[MQIA_Q_DEPTH_HIGH_EVENT], MQEVR_ENABLED);
  EXPECT_EQ(r.at(0).ints[MQIA_Q_DEPTH_LOW_EVENT], MQEVR_DISABLED);
}

TEST_F(EventsTest, AnExpiredMessageIsNeverSeenAndIsDiscarded) {
  ASSERT_EQ(Ctl("define QM1 EXP.Q --type local --defpsist yes"), 0);
  MQHCONN h = Connect("QM1");
  MQHOBJ obj = 0;
  ASSERT_EQ(Open(h, "EXP.Q", MQOO_OUTPUT | MQOO_INPUT_SHARED | MQOO_BROWSE | MQOO_INQUIRE, &obj), 0);
  MQMD md = Md();
  md.Expiry = 2;  // tenths of a second
  ASSERT_EQ(Put(h, obj, "short-lived", &md), 0);
  md = Md();
  md.Expiry = 6000;
  ASSERT_EQ(Put(h, obj, "long-lived", &md), 0);
  // Seen while it lives, with what is left of its expiry.
  Got g = Get(h, obj, MQGMO_BROWSE_FIRST);
  EXPECT_EQ(g.data, "short-lived");
  EXPECT_GE(g.md.Expiry, 1);
  EXPECT_LE(g.md.Expiry, 2);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the expiry itself is what is tested
  for (MQLONG options : {MQGMO_BROWSE_FIRST, MQGMO_NO_SYNCPOINT}) {
    g = Get(h, obj, options);
    EXPECT_EQ(g.data, "long-lived");
    EXPECT_GT(g.md.Expiry, 5000);
  }
  EXPECT_EQ(Get(h, obj).rc, MQRC_NO_MSG_AVAILABLE);
  MQLONG sel = MQIA_CURRENT_Q_DEPTH, depth = -1, cc = 0, rc = 0;
  MQINQ(h, obj, 1, &sel, 1, &depth, 0, nullptr, &cc, &rc);
  EXPECT_EQ(depth, 0) << "the expired message was discarded";
  Disconnect(h);
  KillServer();
  StartServer();
  h = Connect("QM1");
  ASSERT_EQ(Open(h, "EXP.Q", MQOO_INPUT_SHARED, &obj), 0);
  EXPECT_EQ(Get(h, obj).rc, MQRC_NO_MSG_AVAILABLE) << "nor back after a restart";
  Disconnect(h);
}

}  // namespace
