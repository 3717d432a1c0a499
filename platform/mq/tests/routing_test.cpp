// Where an application's output to another queue manager goes: through a
// transmission queue behind an MQXQH (named by a remote definition, by the
// queue manager's name, a queue-manager alias, the default transmission
// queue or the cluster), on over a running sender/receiver pair; straight
// to a queue manager of the same server only when no transmission queue
// leads there, in units of work that commit or back out as a whole. Also
// MQINQ of the queue manager's own attributes.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "mqsim_fixture.h"
#include "pcf_admin.h"

using namespace mqsim_test;

namespace {

// The helpers connect on a thread of their own: a thread has one
// connection to a queue manager, which the test body may hold.
template <typename Fn>
void OnOwnThread(Fn fn) {
  std::thread(fn).join();
}

class RoutingTest : public MqsimTest {
 protected:
  void Ok(const char* qmgr, const Request& req) {
    OnOwnThread([&] {
      Admin a(this, qmgr);
      auto r = a.Send(req);
      ASSERT_EQ(r.size(), 1u);
      ASSERT_EQ(r[0].cfh.CompCode, MQCC_OK) << "reason " << r[0].cfh.Reason;
    });
  }

  void CreateXmitQueue(const char* qmgr, const std::string& name) {
    Ok(qmgr, Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, name).Int(MQIA_Q_TYPE, MQQT_LOCAL)
                 .Int(MQIA_USAGE, MQUS_TRANSMISSION).Int(MQIA_MAX_Q_DEPTH, 100000));
  }

  // Transmission queue QM2 on QM1, the channel pair QM1.TO.QM2 (not
  // started) and the target queue APP.IN on QM2.
  void DefinePair() {
    CreateXmitQueue("QM1", "QM2");
    Ok("QM1", Request(MQCMD_CREATE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2")
                  .Int(MQIACH_CHANNEL_TYPE, MQCHT_SENDER).Str(MQCACH_XMIT_Q_NAME, "QM2")
                  .Str(MQCACH_CONNECTION_NAME, "127.0.0.1(" + std::to_string(port2_) + ")")
                  .Int(MQIACH_BATCH_SIZE, 7));
    Ok("QM2", Request(MQCMD_CREATE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2")
                  .Int(MQIACH_CHANNEL_TYPE, MQCHT_RECEIVER));
    Ok("QM2", Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "APP.IN").Int(MQIA_Q_TYPE, MQQT_LOCAL)
                  .Int(MQIA_MAX_Q_DEPTH, 100000));
  }

  void StartChannel() { Ok("QM1", Request(MQCMD_START_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2")); }

  MQLONG Depth(const char* qmgr, const char* queue) {
    MQLONG depth = -1;
    OnOwnThread([&] {
      MQHCONN h = Connect(qmgr);
      MQHOBJ obj = 0;
      if (Open(h, queue, MQOO_INQUIRE, &obj) == 0) {
        MQLONG sel = MQIA_CURRENT_Q_DEPTH, cc = 0, rc = 0;
        MQINQ(h, obj, 1, &sel, 1, &depth, 0, nullptr, &cc, &rc);
      }
      Disconnect(h);
    });
    return depth;
  }

  bool WaitDepth(const char* qmgr, const char* queue, MQLONG depth) {
    harrow::testsupport::Deadline deadline(std::chrono::milliseconds(20000));
    while (!deadline.Expired()) {
      if (Depth(qmgr, queue) == depth) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // Every message of a queue, got destructively.
  std::vector<Got> Drain(const char* qmgr, const char* queue) {
    std::vector<Got> out;
    OnOwnThread([&] {
      MQHCONN h = Connect(qmgr);
      MQHOBJ obj = 0;
      EXPECT_EQ(Open(h, queue, MQOO_INPUT_SHARED, &obj), 0);
      for (;;) {
        Got g = Get(h, obj);
        if (g.cc == MQCC_FAILED) {
          EXPECT_EQ(g.rc, MQRC_NO_MSG_AVAILABLE);
          break;
        }
        out.push_back(g);
      }
      Disconnect(h);
    });
    return out;
  }

  // The transmission header at the front of a message on a transmission queue.
  static MQXQH HeaderOf(const Got& g) {
    MQXQH x{};
    EXPECT_GE(g.data.size(), sizeof x);
    if (g.data.size() >= sizeof x) std::memcpy(&x, g.data.data(), sizeof x);
    return x;
  }

  MQLONG Put1(MQHCONN h, const std::string& queue, const std::string& qmgr, const std::string& data,
              MQPMO* pmo_out = nullptr, MQLONG options = MQPMO_NO_SYNCPOINT) {
    MQOD od = Od(queue, qmgr);
    MQMD md = Md();
    MQPMO pmo = Pmo(options);
    MQLONG cc = 0, rc = 0;
    MQPUT1(h, &od, &md, &pmo, static_cast<MQLONG>(data.size()), const_cast<char*>(data.data()), &cc, &rc);
    if (pmo_out != nullptr) *pmo_out = pmo;
    return rc;
  }
};

// Puts through a remote definition wait on the transmission queue behind
// an MQXQH naming the queue and queue manager, and arrive once each, in
// order and with their descriptor, when the channel runs.
TEST_F(RoutingTest, RemoteDefinitionPutsTravelThroughTheTransmissionQueueAndTheChannel) {
  DefinePair();
  ASSERT_EQ(Ctl("define QM1 TO.APP --type remote --rname APP.IN --rqmname QM2"), 0);
  const int kCount = 40;
  MQHCONN h = Connect("QM1");
  MQHOBJ obj = 0;
  ASSERT_EQ(Open(h, "TO.APP", MQOO_OUTPUT, &obj), 0);
  for (int i = 0; i < kCount; ++i) {
    MQMD md = Md();
    md.Persistence = i % 2 == 0 ? MQPER_PERSISTENT : MQPER_NOT_PERSISTENT;
    mqsim::SetField(md.ReplyToQ, 48, "MY.REPLIES");
    MQPMO pmo = Pmo(MQPMO_NO_SYNCPOINT);
    std::string data = "message-" + std::to_string(i);
    MQLONG cc = 0, rc = 0;
    MQPUT(h, obj, &md, &pmo, static_cast<MQLONG>(data.size()), data.data(), &cc, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(mqsim::FieldText(pmo.ResolvedQName, 48), "APP.IN");
    EXPECT_EQ(mqsim::FieldText(pmo.ResolvedQMgrName, 48), "QM2");
  }
  EXPECT_EQ(Depth("QM2", "APP.IN"), 0) << "delivered without the channel";
  EXPECT_EQ(Depth("QM1", "QM2"), kCount);
  {
    // What waits on the transmission queue, browsed.
    MQHOBJ xq = 0;
    ASSERT_EQ(Open(h, "QM2", MQOO_BROWSE, &xq), 0);
    Got g = Get(h, xq, MQGMO_BROWSE_FIRST);
    ASSERT_EQ(g.cc, MQCC_OK);
    EXPECT_EQ(std::string(g.md.Format, 8), std::string(MQFMT_XMIT_Q_HEADER, 8));
    EXPECT_EQ(g.md.Persistence, MQPER_PERSISTENT);
    MQXQH x = HeaderOf(g);
    EXPECT_EQ(std::string(x.StrucId, 4), "XQH ");
    EXPECT_EQ(x.Version, MQXQH_VERSION_1);
    EXPECT_EQ(mqsim::FieldText(x.RemoteQName, 48), "APP.IN");
    EXPECT_EQ(mqsim::FieldText(x.RemoteQMgrName, 48), "QM2");
    EXPECT_EQ(std::string(x.MsgDesc.Format, 8), std::string(MQFMT_STRING, 8));
    EXPECT_EQ(mqsim::FieldText(x.MsgDesc.ReplyToQMgr, 48), "QM1");
    EXPECT_EQ(x.MsgDesc.Persistence, MQPER_PERSISTENT);
    EXPECT_EQ(g.data.substr(sizeof x), "message-0");
  }
  Disconnect(h);

  StartChannel();
  ASSERT_TRUE(WaitDepth("QM2", "APP.IN", kCount)) << Depth("QM2", "APP.IN") << " arrived";
  ASSERT_TRUE(WaitDepth("QM1", "QM2", 0));
  std::vector<Got> got = Drain("QM2", "APP.IN");
  ASSERT_EQ(got.size(), static_cast<size_t>(kCount));
  std::set<std::string> seen;
  for (size_t i = 0; i < got.size(); ++i) {
    const Got& g = got[i];
    EXPECT_TRUE(seen.insert(g.data).second) << "doubled: " << g.data;
    EXPECT_EQ(g.data, "message-" + std::to_string(i));
    EXPECT_EQ(std::string(g.md.Format, 8), std::string(MQFMT_STRING, 8));
    EXPECT_EQ(g.md.Persistence, i % 2 == 0 ? MQPER_PERSISTENT : MQPER_NOT_PERSISTENT);
    EXPECT_EQ(mqsim::FieldText(g.md.ReplyToQ, 48), "MY.REPLIES");
    EXPECT_EQ(mqsim::FieldText(g.md.ReplyToQMgr, 48), "QM1");
  }
}

// An object queue manager name finds the transmission queue of that name
// (directly, or through a queue-manager alias); under syncpoint the
// message waits there uncommitted like any other.
TEST_F(RoutingTest, ObjectQueueManagerNameAndQueueManagerAliasLeadToTheTransmissionQueue) {
  DefinePair();
  ASSERT_EQ(Ctl("define QM1 QM2.ALIAS --type remote --rqmname QM2"), 0);
  MQHCONN h = Connect("QM1");
  MQPMO pmo;
  ASSERT_EQ(Put1(h, "APP.IN", "QM2", "by name", &pmo), 0);
  EXPECT_EQ(mqsim::FieldText(pmo.ResolvedQMgrName, 48), "QM2");
  ASSERT_EQ(Put1(h, "APP.IN", "QM2.ALIAS", "by alias", &pmo), 0);
  EXPECT_EQ(mqsim::FieldText(pmo.ResolvedQMgrName, 48), "QM2");
  ASSERT_EQ(Put1(h, "APP.IN", "QM2", "backed out", nullptr, MQPMO_SYNCPOINT), 0);
  EXPECT_EQ(Depth("QM1", "QM2"), 3) << "the uncommitted message counts in the depth";
  MQLONG cc = 0, rc = 0;
  MQBACK(h, &cc, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(Put1(h, "APP.IN", "QM2", "committed", nullptr, MQPMO_SYNCPOINT), 0);
  MQCMIT(h, &cc, &rc);
  ASSERT_EQ(rc, 0);
  Disconnect(h);
  EXPECT_EQ(Depth("QM2", "APP.IN"), 0);
  std::vector<Got> waiting = Drain("QM1", "QM2");
  ASSERT_EQ(waiting.size(), 3u);
  const char* expected[] = {"by name", "by alias", "committed"};
  for (size_t i = 0; i < waiting.size(); ++i) {
    MQXQH x = HeaderOf(waiting[i]);
    EXPECT_EQ(mqsim::FieldText(x.RemoteQName, 48), "APP.IN");
    EXPECT_EQ(mqsim::FieldText(x.RemoteQMgrName, 48), "QM2") << "the alias is resolved in the header";
    EXPECT_EQ(waiting[i].data.substr(sizeof x), expected[i]);
  }
}

// The reasons of IBM's queue managers when a transmission queue cannot be
// used, by where its name came from.
TEST_F(RoutingTest, TransmissionQueueErrorsGiveTheirReasons) {
  ASSERT_EQ(Ctl("define QM1 PLAIN.Q --type local"), 0);
  ASSERT_EQ(Ctl("define QM1 SOME.ALIAS --type alias --target PLAIN.Q"), 0);
  CreateXmitQueue("QM1", "GOOD.XQ");
  ASSERT_EQ(Ctl("define QM1 VIA.MISSING --type remote --rname R --rqmname FAR --xmitq NO.SUCH.XQ"), 0);
  ASSERT_EQ(Ctl("define QM1 VIA.ALIAS --type remote --rname R --rqmname FAR --xmitq SOME.ALIAS"), 0);
  ASSERT_EQ(Ctl("define QM1 VIA.PLAIN --type remote --rname R --rqmname FAR --xmitq PLAIN.Q"), 0);
  ASSERT_EQ(Ctl("define QM1 VIA.GOOD --type remote --rname R --rqmname FAR --xmitq GOOD.XQ"), 0);
  ASSERT_EQ(Ctl("define QM1 NOWHERE --type remote --rname R --rqmname FAR"), 0);
  struct Case {
    const char* def_xmitq;  // the queue manager's DEFXMITQ
    const char* queue;
    const char* qmgr;
    MQLONG rc;
  } cases[] = {
      {"", "VIA.MISSING", "", MQRC_UNKNOWN_XMIT_Q},
      {"", "VIA.ALIAS", "", MQRC_XMIT_Q_TYPE_ERROR},
      {"", "VIA.PLAIN", "", MQRC_XMIT_Q_USAGE_ERROR},
      {"", "VIA.GOOD", "", MQRC_NONE},
      {"", "NOWHERE", "", MQRC_UNKNOWN_REMOTE_Q_MGR},
      {"", "R", "FAR", MQRC_UNKNOWN_REMOTE_Q_MGR},
      {"", "R", "PLAIN.Q", MQRC_XMIT_Q_USAGE_ERROR},
      {"", "R", "GOOD.XQ", MQRC_NONE},
      {"NO.SUCH.XQ", "R", "FAR", MQRC_UNKNOWN_DEF_XMIT_Q},
      {"SOME.ALIAS", "R", "FAR", MQRC_DEF_XMIT_Q_TYPE_ERROR},
      {"PLAIN.Q", "R", "FAR", MQRC_DEF_XMIT_Q_USAGE_ERROR},
      {"GOOD.XQ", "NOWHERE", "", MQRC_NONE},
      {"GOOD.XQ", "R", "FAR", MQRC_NONE},
      {"NO.SUCH.XQ", "PLAIN.Q", "QM1", MQRC_NONE},  // this queue manager: no transmission queue needed
  };
  MQHCONN h = Connect("QM1");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.queue) + " at '" + c.qmgr + "' with DEFXMITQ '" + c.def_xmitq + "'");
    Ok("QM1", Request(MQCMD_CHANGE_Q_MGR).Str(MQCA_DEF_XMIT_Q_NAME, c.def_xmitq));
    MQHOBJ obj = 0;
    EXPECT_EQ(Open(h, c.queue, MQOO_OUTPUT, &obj, c.qmgr), c.rc);
    if (c.rc == MQRC_NONE) {
      MQLONG cc = 0, rc = 0;
      MQCLOSE(h, &obj, MQCO_NONE, &cc, &rc);
    }
  }
  // Only output may go elsewhere.
  MQHOBJ obj = 0;
  EXPECT_EQ(Open(h, "R", MQOO_INPUT_SHARED, &obj, "GOOD.XQ"), MQRC_OPTION_NOT_VALID_FOR_TYPE);
  EXPECT_EQ(Open(h, "VIA.GOOD", MQOO_OUTPUT | MQOO_BROWSE, &obj), MQRC_OPTION_NOT_VALID_FOR_TYPE);
  Disconnect(h);
  // What went through GOOD.XQ names the remote queue manager.
  std::vector<Got> none = Drain("QM1", "GOOD.XQ");
  EXPECT_TRUE(none.empty());
}

// At the receiving side, a message whose header names a further queue
// manager goes on to the transmission queue there, header and all; when
// that is full, or no route leads on, it goes to the dead-letter queue
// with the reason and without the header.
TEST_F(RoutingTest, MessagesForFurtherQueueManagersGoOnOrToTheDeadLetterQueue) {
  DefinePair();
  Ok("QM2", Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "QM3").Int(MQIA_Q_TYPE, MQQT_LOCAL)
                .Int(MQIA_USAGE, MQUS_TRANSMISSION).Int(MQIA_MAX_Q_DEPTH, 1));
  ASSERT_EQ(Ctl("define QM1 TO.QM3 --type remote --rname THIRD.Q --rqmname QM3 --xmitq QM2"), 0);
  ASSERT_EQ(Ctl("define QM1 TO.FAR --type remote --rname FAR.Q --rqmname FAR.AWAY --xmitq QM2"), 0);
  std::thread([&] {
    MQHCONN h = Connect("QM1");
    MQHOBJ third = 0, far = 0;
    ASSERT_EQ(Open(h, "TO.QM3", MQOO_OUTPUT, &third), 0);
    ASSERT_EQ(Open(h, "TO.FAR", MQOO_OUTPUT, &far), 0);
    ASSERT_EQ(Put(h, third, "onwards"), 0);
    ASSERT_EQ(Put(h, third, "no room"), 0);
    ASSERT_EQ(Put(h, far, "undeliverable"), 0);
    Disconnect(h);
  }).join();
  StartChannel();
  ASSERT_TRUE(WaitDepth("QM2", "SYSTEM.DEAD.LETTER.QUEUE", 2));
  std::vector<Got> onwards = Drain("QM2", "QM3");
  ASSERT_EQ(onwards.size(), 1u);
  EXPECT_EQ(std::string(onwards[0].md.Format, 8), std::string(MQFMT_XMIT_Q_HEADER, 8));
  MQXQH x = HeaderOf(onwards[0]);
  EXPECT_EQ(mqsim::FieldText(x.RemoteQName, 48), "THIRD.Q");
  EXPECT_EQ(mqsim::FieldText(x.RemoteQMgrName, 48), "QM3");
  EXPECT_EQ(mqsim::FieldText(x.MsgDesc.ReplyToQMgr, 48), "");
  EXPECT_EQ(onwards[0].data.substr(sizeof x), "onwards");

  std::vector<Got> dead = Drain("QM2", "SYSTEM.DEAD.LETTER.QUEUE");
  ASSERT_EQ(dead.size(), 2u);
  struct Expected {
    MQLONG reason;
    const char* queue;
    const char* qmgr;
    const char* data;
  } expected[] = {{MQRC_Q_FULL, "THIRD.Q", "QM3", "no room"},
                  {MQRC_UNKNOWN_REMOTE_Q_MGR, "FAR.Q", "FAR.AWAY", "undeliverable"}};
  for (size_t i = 0; i < dead.size(); ++i) {
    SCOPED_TRACE(expected[i].data);
    ASSERT_EQ(dead[i].data.size(), sizeof(MQDLH) + strlen(expected[i].data));
    MQDLH dlh;
    std::memcpy(&dlh, dead[i].data.data(), sizeof dlh);
    EXPECT_EQ(dlh.Reason, expected[i].reason);
    EXPECT_EQ(mqsim::FieldText(dlh.DestQName, 48), expected[i].queue);
    EXPECT_EQ(mqsim::FieldText(dlh.DestQMgrName, 48), expected[i].qmgr);
    EXPECT_EQ(std::string(dlh.Format, 8), std::string(MQFMT_STRING, 8)) << "the transmission header is gone";
    EXPECT_EQ(dead[i].data.substr(sizeof dlh), expected[i].data);
  }
}

// A cluster queue hosted by another member is opened by its name alone;
// what is put to it goes through SYSTEM.CLUSTER.TRANSMIT.QUEUE to that
// member, once each.
TEST_F(RoutingTest, ClusterQueueOfAnotherMemberRoutesThroughTheClusterTransmissionQueue) {
  for (auto [qmgr, port] : {std::pair{"QM1", port1_}, std::pair{"QM2", port2_}})
    Ok(qmgr, Request(MQCMD_CREATE_CHANNEL).Str(MQCACH_CHANNEL_NAME, std::string("TO.") + qmgr)
                 .Int(MQIACH_CHANNEL_TYPE, MQCHT_CLUSRCVR).Str(MQCA_CLUSTER_NAME, "DEMO")
                 .Str(MQCACH_CONNECTION_NAME, "127.0.0.1(" + std::to_string(port) + ")"));
  Ok("QM2", Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "SHARED.Q").Int(MQIA_Q_TYPE, MQQT_LOCAL)
                .Str(MQCA_CLUSTER_NAME, "DEMO"));
  MQHCONN h = Connect("QM1");
  MQHOBJ obj = 0;
  MQOD od;
  ASSERT_EQ(Open(h, "SHARED.Q", MQOO_OUTPUT, &obj, "", &od), 0);
  MQPMO pmo = Pmo();
  MQMD md = Md();
  MQLONG cc = 0, rc = 0;
  MQPUT(h, obj, &md, &pmo, 7, const_cast<char*>("for QM2"), &cc, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(mqsim::FieldText(pmo.ResolvedQName, 48), "SHARED.Q");
  EXPECT_EQ(mqsim::FieldText(pmo.ResolvedQMgrName, 48), "QM2");
  ASSERT_EQ(Put1(h, "SHARED.Q", "QM2", "named member"), 0);
  MQHOBJ in = 0;
  EXPECT_EQ(Open(h, "SHARED.Q", MQOO_INPUT_SHARED, &in), MQRC_UNKNOWN_OBJECT_NAME)
      << "another member's queue is not opened for input here";
  EXPECT_EQ(Open(h, "NOT.CLUSTERED", MQOO_OUTPUT, &in), MQRC_UNKNOWN_OBJECT_NAME);
  Disconnect(h);
  // The cluster sender to QM2 takes them off the cluster transmission
  // queue and QM2 strips the header.
  ASSERT_TRUE(WaitDepth("QM2", "SHARED.Q", 2)) << Depth("QM2", "SHARED.Q") << " arrived";
  ASSERT_TRUE(WaitDepth("QM1", "SYSTEM.CLUSTER.TRANSMIT.QUEUE", 0));
  std::vector<Got> arrived = Drain("QM2", "SHARED.Q");
  ASSERT_EQ(arrived.size(), 2u);
  EXPECT_EQ(arrived[0].data, "for QM2");
  EXPECT_EQ(arrived[1].data, "named member");
  for (const Got& g : arrived) {
    EXPECT_EQ(std::string(g.md.Format, 8), std::string(MQFMT_STRING, 8));
    EXPECT_EQ(mqsim::FieldText(g.md.PutApplName, 28).empty(), false);
  }
}

// With no transmission queue for it, a queue manager of the same server is
// reached directly. A unit of work that put there commits both parts or
// backs both out; a part lost with its queue manager (ended and started
// again while the unit was open) backs the whole unit out, even when the
// unit put there again afterwards.
TEST_F(RoutingTest, UnitsOfWorkAcrossQueueManagersEndAsAWhole) {
  ASSERT_EQ(Ctl("define QM1 NEAR.Q --type local --defpsist yes"), 0);
  ASSERT_EQ(Ctl("define QM2 FAR.Q --type local --defpsist yes"), 0);
  std::thread([&] {
    MQHCONN h = Connect("QM1");
    MQHOBJ near = 0, far = 0;
    ASSERT_EQ(Open(h, "NEAR.Q", MQOO_OUTPUT, &near), 0);
    ASSERT_EQ(Open(h, "FAR.Q", MQOO_OUTPUT, &far, "QM2"), 0);
    MQLONG cc = 0, rc = 0;
    for (bool commit : {false, true}) {
      ASSERT_EQ(Put(h, near, commit ? "near kept" : "near dropped", nullptr, MQPMO_SYNCPOINT), 0);
      ASSERT_EQ(Put(h, far, commit ? "far kept" : "far dropped", nullptr, MQPMO_SYNCPOINT), 0);
      if (commit)
        MQCMIT(h, &cc, &rc);
      else
        MQBACK(h, &cc, &rc);
      ASSERT_EQ(rc, 0);
    }
    ASSERT_EQ(Put(h, near, "near in doubt", nullptr, MQPMO_SYNCPOINT), 0);
    ASSERT_EQ(Put(h, far, "far lost", nullptr, MQPMO_SYNCPOINT), 0);
    ASSERT_EQ(Ctl("stop QM2 -i"), 0);
    // A fresh port: the one it had may be taken by any other program
    // meanwhile.
    const std::string ini = root_ + "/qmgrs/QM2/qm.ini";
    std::string text;
    ASSERT_TRUE(mqsim::ReadFile(ini, &text));
    const std::string old_port = "Port=" + std::to_string(mqsim::ReadListenerPort(root_ + "/qmgrs/QM2"));
    ASSERT_NE(text.find(old_port), std::string::npos);
    text.replace(text.find(old_port), old_port.size(), "Port=0");
    ASSERT_TRUE(mqsim::WriteFileAtomic(ini, text));
    ASSERT_EQ(Ctl("start QM2"), 0);
    EXPECT_EQ(Put(h, far, "stale handle"), MQRC_Q_DELETED);
    MQCLOSE(h, &far, MQCO_NONE, &cc, &rc);
    ASSERT_EQ(Open(h, "FAR.Q", MQOO_OUTPUT, &far, "QM2"), 0);
    ASSERT_EQ(Put(h, far, "far after restart", nullptr, MQPMO_SYNCPOINT), 0);
    MQCMIT(h, &cc, &rc);
    EXPECT_EQ(cc, MQCC_FAILED);
    EXPECT_EQ(rc, MQRC_BACKED_OUT);
    Disconnect(h);
  }).join();
  auto texts = [](const std::vector<Got>& got) {
    std::vector<std::string> out;
    for (const Got& g : got) out.push_back(g.data);
    return out;
  };
  EXPECT_EQ(texts(Drain("QM1", "NEAR.Q")), (std::vector<std::string>{"near kept"}));
  EXPECT_EQ(texts(Drain("QM2", "FAR.Q")), (std::vector<std::string>{"far kept"}));
  // The committed parts survive a restart of the server.
  ASSERT_EQ(Ctl("define QM1 AGAIN.Q --type local --defpsist yes"), 0);
  std::thread([&] {
    MQHCONN h = Connect("QM1");
    MQHOBJ near = 0, far = 0;
    ASSERT_EQ(Open(h, "AGAIN.Q", MQOO_OUTPUT, &near), 0);
    ASSERT_EQ(Open(h, "FAR.Q", MQOO_OUTPUT, &far, "QM2"), 0);
    ASSERT_EQ(Put(h, near, "near durable", nullptr, MQPMO_SYNCPOINT), 0);
    ASSERT_EQ(Put(h, far, "far durable", nullptr, MQPMO_SYNCPOINT), 0);
    MQLONG cc = 0, rc = 0;
    MQCMIT(h, &cc, &rc);
    ASSERT_EQ(rc, 0);
    Disconnect(h);
  }).join();
  KillServer();
  StartServer();
  EXPECT_EQ(texts(Drain("QM1", "AGAIN.Q")), (std::vector<std::string>{"near durable"}));
  EXPECT_EQ(texts(Drain("QM2", "FAR.Q")), (std::vector<std::string>{"far durable"}));
}

// MQINQ on the queue manager answers with its attributes as they are,
// also after a change.
TEST_F(RoutingTest, InquireOnTheQueueManagerAnswersItsAttributes) {
  CreateXmitQueue("QM1", "DEFAULT.XQ");
  Ok("QM1", Request(MQCMD_CHANGE_Q_MGR).Str(MQCA_Q_MGR_DESC, "the first one").Str(MQCA_DEF_XMIT_Q_NAME, "DEFAULT.XQ")
                .Str(MQCA_DEAD_LETTER_Q_NAME, "MY.DLQ").Int(MQIA_INHIBIT_EVENT, MQEVR_ENABLED)
                .Int(MQIA_TRIGGER_INTERVAL, 5000));
  MQHCONN h = Connect("QM1");
  MQOD od{};
  std::memcpy(od.StrucId, MQOD_STRUC_ID, 4);
  od.Version = MQOD_VERSION_1;
  od.ObjectType = MQOT_Q_MGR;
  MQHOBJ qm = 0;
  MQLONG cc = 0, rc = 0;
  MQOPEN(h, &od, MQOO_INQUIRE, &qm, &cc, &rc);
  ASSERT_EQ(rc, 0);
  const MQLONG sel[] = {MQIA_PLATFORM,      MQIA_COMMAND_LEVEL, MQIA_INHIBIT_EVENT, MQIA_TRIGGER_INTERVAL,
                        MQIA_PERFORMANCE_EVENT, MQIA_MAX_PRIORITY, MQCA_Q_MGR_NAME, MQCA_Q_MGR_DESC,
                        MQCA_DEF_XMIT_Q_NAME, MQCA_DEAD_LETTER_Q_NAME};
  MQLONG ints[6] = {};
  char chars[48 + 64 + 48 + 48];
  MQINQ(h, qm, 10, const_cast<MQLONG*>(sel), 6, ints, sizeof chars, chars, &cc, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(ints[0], MQPL_UNIX);
  EXPECT_EQ(ints[1], MQCMDL_LEVEL_530);
  EXPECT_EQ(ints[2], MQEVR_ENABLED);
  EXPECT_EQ(ints[3], 5000);
  EXPECT_EQ(ints[4], MQEVR_DISABLED);
  EXPECT_EQ(ints[5], 9);
  std::string text(chars, sizeof chars);
  EXPECT_EQ(mqsim::FieldText(text.data(), 48), "QM1");
  EXPECT_EQ(mqsim::FieldText(text.data() + 48, 64), "the first one");
  EXPECT_EQ(mqsim::FieldText(text.data() + 112, 48), "DEFAULT.XQ");
  EXPECT_EQ(mqsim::FieldText(text.data() + 160, 48), "MY.DLQ");
  MQLONG depth = MQIA_CURRENT_Q_DEPTH, v = 0;
  MQINQ(h, qm, 1, &depth, 1, &v, 0, nullptr, &cc, &rc);
  EXPECT_EQ(rc, MQRC_SELECTOR_ERROR) << "a queue's attribute is no queue manager's";
  Disconnect(h);
}

}  // namespace
