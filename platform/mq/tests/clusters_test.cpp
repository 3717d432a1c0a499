// A two-member cluster of queue managers of one mqsim, listed from both
// sides, with its cluster queues and the commands that change the lists.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "mqsim_fixture.h"
#include "pcf_admin.h"

using namespace mqsim_test;

namespace {

class ClustersTest : public MqsimTest {
 protected:
  void Ok(const char* qmgr, const Request& req) {
    Admin a(this, qmgr);
    auto r = a.Send(req);
    ASSERT_EQ(r.size(), 1u);
    ASSERT_EQ(r[0].cfh.CompCode, MQCC_OK) << "reason " << r[0].cfh.Reason;
  }
  std::vector<Reply> Members(const char* qmgr) {
    Admin a(this, qmgr);
    return a.Send(Request(MQCMD_INQUIRE_CLUSTER_Q_MGR).Str(MQCA_CLUSTER_Q_MGR_NAME, "*"));
  }
  // Polls until the depth satisfies `done`.
  template <typename Pred>
  bool WaitDepth(const char* qmgr, const char* queue, Pred done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      if (done(Depth(qmgr, queue))) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  // A message as a queue manager puts it on the cluster transmission queue
  // for queue `to` of member `member`.
  static std::string ForMember(const char* member, const char* to, const std::string& data) {
    MQXQH x{};
    std::memcpy(x.StrucId, MQXQH_STRUC_ID, 4);
    x.Version = MQXQH_VERSION_1;
    mqsim::SetField(x.RemoteQName, 48, to);
    mqsim::SetField(x.RemoteQMgrName, 48, member);
    MQMD md = Md();
    md.Persistence = MQPER_PERSISTENT;
    std::memcpy(&x.MsgDesc, &md, sizeof x.MsgDesc);
    return std::string(reinterpret_cast<const char*>(&x), sizeof x) + data;
  }
  // QM1 (full repository) and QM2 in DEMO, SHARED.Q on QM2, and QM1's
  // cluster transmission queue.
  void TwoMembers() {
    Ok("QM1", Request(MQCMD_CHANGE_Q_MGR).Str(MQCA_REPOSITORY_NAME, "DEMO"));
    Join("QM1", port1_);
    Join("QM2", port2_);
    Ok("QM2", Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "SHARED.Q").Int(MQIA_Q_TYPE, MQQT_LOCAL)
                  .Str(MQCA_CLUSTER_NAME, "DEMO").Int(MQIA_MAX_Q_DEPTH, 100000));
    Admin a(this, "QM1");
    auto r = a.Send(Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "SYSTEM.CLUSTER.TRANSMIT.QUEUE")
                        .Int(MQIA_Q_TYPE, MQQT_LOCAL).Int(MQIA_USAGE, MQUS_TRANSMISSION).Int(MQIA_MAX_Q_DEPTH, 100000));
    ASSERT_EQ(r.size(), 1u);
    if (r[0].cfh.CompCode != MQCC_OK) {
      ASSERT_EQ(r[0].cfh.Reason, MQRCCF_OBJECT_ALREADY_EXISTS);
    }
  }
  void Join(const char* qmgr, int port) {
    Ok(qmgr, Request(MQCMD_CREATE_CHANNEL).Str(MQCACH_CHANNEL_NAME, std::string("TO.") + qmgr)
                 .Int(MQIACH_CHANNEL_TYPE, MQCHT_CLUSRCVR).Str(MQCA_CLUSTER_NAME, "DEMO")
                 .Str(MQCACH_CONNECTION_NAME, "127.0.0.1(" + std::to_string(port) + ")"));
  }
};

TEST_F(ClustersTest, TwoMembersListedFromBothSidesWithTheirQueues) {
  Ok("QM1", Request(MQCMD_CHANGE_Q_MGR).Str(MQCA_REPOSITORY_NAME, "DEMO"));
  Join("QM1", port1_);
  Join("QM2", port2_);
  Ok("QM2", Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "SHARED.Q").Int(MQIA_Q_TYPE, MQQT_LOCAL)
                .Str(MQCA_CLUSTER_NAME, "DEMO"));
  Ok("QM2", Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "PRIVATE.Q").Int(MQIA_Q_TYPE, MQQT_LOCAL));

  for (const char* side : {"QM1", "QM2"}) {
    SCOPED_TRACE(side);
    auto r = Members(side);
    ASSERT_EQ(r.size(), 2u);
    for (const auto& m : r) {
      EXPECT_EQ(m.strs.at(MQCA_CLUSTER_NAME), "DEMO");
      bool self = m.strs.at(MQCA_CLUSTER_Q_MGR_NAME) == side;
      EXPECT_EQ(m.ints.at(MQIACF_Q_MGR_DEFINITION_TYPE),
                self ? MQQMDT_CLUSTER_RECEIVER : MQQMDT_AUTO_CLUSTER_SENDER);
      EXPECT_EQ(m.ints.at(MQIACF_Q_MGR_TYPE),
                m.strs.at(MQCA_CLUSTER_Q_MGR_NAME) == "QM1" ? MQQMT_REPOSITORY : MQQMT_NORMAL);
      EXPECT_EQ(m.strs.at(MQCACH_CHANNEL_NAME), "TO." + m.strs.at(MQCA_CLUSTER_Q_MGR_NAME));
    }
    Admin a(this, side);
    auto q = a.Send(Request(MQCMD_INQUIRE_Q).Str(MQCA_Q_NAME, "*").Int(MQIA_Q_TYPE, MQQT_CLUSTER));
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].strs[MQCA_Q_NAME], "SHARED.Q");
    EXPECT_EQ(q[0].ints[MQIA_Q_TYPE], MQQT_CLUSTER);
    EXPECT_EQ(q[0].strs[MQCA_CLUSTER_Q_MGR_NAME], "QM2");
    EXPECT_EQ(q[0].ints[MQIA_CLUSTER_Q_TYPE], MQCQT_LOCAL_Q);
    auto n = a.Send(Request(MQCMD_INQUIRE_Q_NAMES).Str(MQCA_Q_NAME, "*").Int(MQIA_Q_TYPE, MQQT_CLUSTER));
    EXPECT_EQ(n.at(0).str_lists[MQCACF_Q_NAMES], (std::vector<std::string>{"SHARED.Q"}));
  }

  // Suspended as both see it, until resumed.
  Ok("QM2", Request(MQCMD_SUSPEND_Q_MGR_CLUSTER).Str(MQCA_CLUSTER_NAME, "DEMO"));
  for (const auto& m : Members("QM1"))
    EXPECT_EQ(m.ints.at(MQIACF_SUSPEND), m.strs.at(MQCA_CLUSTER_Q_MGR_NAME) == "QM2" ? MQSUS_YES : MQSUS_NO);
  Ok("QM2", Request(MQCMD_RESUME_Q_MGR_CLUSTER).Str(MQCA_CLUSTER_NAME, "DEMO"));
  for (const auto& m : Members("QM1")) EXPECT_EQ(m.ints.at(MQIACF_SUSPEND), MQSUS_NO);

  // The repository removes QM2 from its view; a refresh brings it back.
  Ok("QM1", Request(MQCMD_RESET_CLUSTER).Str(MQCA_CLUSTER_NAME, "DEMO").Int(MQIACF_ACTION, MQACT_FORCE_REMOVE)
                .Str(MQCA_Q_MGR_NAME, "QM2"));
  EXPECT_EQ(Members("QM1").size(), 1u);
  Ok("QM1", Request(MQCMD_REFRESH_CLUSTER).Str(MQCA_CLUSTER_NAME, "DEMO"));
  EXPECT_EQ(Members("QM1").size(), 2u);
  {
    Admin a(this, "QM2");
    auto r = a.Send(Request(MQCMD_RESET_CLUSTER).Str(MQCA_CLUSTER_NAME, "DEMO").Int(MQIACF_ACTION, MQACT_FORCE_REMOVE)
                        .Str(MQCA_Q_MGR_NAME, "QM1"));
    EXPECT_EQ(r.at(0).cfh.CompCode, MQCC_FAILED) << "only a full repository resets";
    r = a.Send(Request(MQCMD_SUSPEND_Q_MGR_CLUSTER).Str(MQCA_CLUSTER_NAME, "OTHER"));
    EXPECT_EQ(r.at(0).cfh.Reason, MQRC_UNKNOWN_OBJECT_NAME);
  }
}

TEST_F(ClustersTest, AClusterSenderDrainsTheClusterTransmitQueueToEachMember) {
  TwoMembers();
  MQHCONN h = Connect("QM1");
  MQHOBJ xq = 0;
  ASSERT_EQ(Open(h, "SYSTEM.CLUSTER.TRANSMIT.QUEUE", MQOO_OUTPUT, &xq), 0);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(Put(h, xq, ForMember("QM2", "SHARED.Q", "m" + std::to_string(i))), 0);
  // For a queue manager that is no member: it waits.
  ASSERT_EQ(Put(h, xq, ForMember("QM9", "SHARED.Q", "stays")), 0);
  Disconnect(h);
  ASSERT_TRUE(WaitDepth("QM2", "SHARED.Q", [](MQLONG d) { return d == 20; }));
  ASSERT_TRUE(WaitDepth("QM1", "SYSTEM.CLUSTER.TRANSMIT.QUEUE", [](MQLONG d) { return d == 1; }));

  {
    Admin a(this, "QM1");
    auto r = a.Send(Request(MQCMD_INQUIRE_CHANNEL_STATUS).Str(MQCACH_CHANNEL_NAME, "TO.QM2"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_TYPE], MQCHT_CLUSSDR);
    EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_STATUS], MQCHS_RUNNING);
    EXPECT_EQ(r[0].strs[MQCACH_XMIT_Q_NAME], "SYSTEM.CLUSTER.TRANSMIT.QUEUE");
    EXPECT_EQ(r[0].strs[MQCACH_CONNECTION_NAME], "127.0.0.1(" + std::to_string(port2_) + ")");
    EXPECT_EQ(r[0].ints[MQIACH_MSGS], 20);
    auto m = a.Send(Request(MQCMD_INQUIRE_CLUSTER_Q_MGR).Str(MQCA_CLUSTER_Q_MGR_NAME, "QM2"));
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].ints[MQIACH_CHANNEL_STATUS], MQCHS_RUNNING);
    // No definition appears for the sender the cluster made.
    auto d = a.Send(Request(MQCMD_INQUIRE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "TO.QM2"));
    EXPECT_EQ(d.at(0).cfh.Reason, MQRC_UNKNOWN_OBJECT_NAME);
  }
  Admin b(this, "QM2");
  auto r = b.Send(Request(MQCMD_INQUIRE_CHANNEL_STATUS).Str(MQCACH_CHANNEL_NAME, "TO.QM2"));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_TYPE], MQCHT_CLUSRCVR);
  EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_STATUS], MQCHS_RUNNING);
  EXPECT_EQ(r[0].ints[MQIACH_MSGS], 20);
}

TEST_F(ClustersTest, ClusterMessagesCrossAKillNineNeitherLostNorDoubled) {
  TwoMembers();
  // Small batches, so that the kill comes in the middle.
  Ok("QM2", Request(MQCMD_CHANGE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "TO.QM2").Int(MQIACH_CHANNEL_TYPE, MQCHT_CLUSRCVR)
                .Int(MQIACH_BATCH_SIZE, 5));
  const int kCount = 600;
  MQHCONN h = Connect("QM1");
  MQHOBJ xq = 0;
  ASSERT_EQ(Open(h, "SYSTEM.CLUSTER.TRANSMIT.QUEUE", MQOO_OUTPUT, &xq), 0);
  for (int i = 0; i < kCount; ++i) {
    MQMD md = Md();
    md.Persistence = MQPER_PERSISTENT;
    ASSERT_EQ(Put(h, xq, ForMember("QM2", "SHARED.Q", "c-" + std::to_string(i)), &md, MQPMO_SYNCPOINT), 0);
  }
  MQLONG cc = 0, rc = 0;
  MQCMIT(h, &cc, &rc);
  ASSERT_EQ(rc, 0);
  Disconnect(h);
  ASSERT_TRUE(WaitDepth("QM2", "SHARED.Q", [](MQLONG d) { return d >= 100; }));
  KillServer();
  StartServer();
  // The cluster sender starts again by itself.
  ASSERT_TRUE(WaitDepth("QM2", "SHARED.Q", [&](MQLONG d) { return d >= kCount; }));
  ASSERT_TRUE(WaitDepth("QM1", "SYSTEM.CLUSTER.TRANSMIT.QUEUE", [](MQLONG d) { return d == 0; }));
  h = Connect("QM2");
  MQHOBJ in = 0;
  ASSERT_EQ(Open(h, "SHARED.Q", MQOO_INPUT_SHARED, &in), 0);
  std::set<std::string> seen;
  for (;;) {
    Got g = Get(h, in);
    if (g.cc == MQCC_FAILED) break;
    EXPECT_TRUE(seen.insert(g.data).second) << "doubled: " << g.data;
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kCount));
  Disconnect(h);
}

}  // namespace
