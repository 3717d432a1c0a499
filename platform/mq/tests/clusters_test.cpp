// A two-member cluster of queue managers of one mqsim, listed from both
// sides, with its cluster queues and the commands that change the lists.
#include <gtest/gtest.h>

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

}  // namespace
