// Durability: definitions and committed persistent messages survive a
// SIGKILL of the server and a clean restart; uncommitted and non-persistent
// messages do not; a torn journal tail costs nothing acknowledged.
#include <fstream>

#include "mqsim_fixture.h"

using namespace mqsim_test;

namespace {

std::vector<std::string> Drain(MQHCONN h, const std::string& queue) {
  MQHOBJ obj = 0;
  EXPECT_EQ(Open(h, queue, MQOO_INPUT_SHARED, &obj), 0) << queue;
  std::vector<std::string> out;
  for (;;) {
    Got g = Get(h, obj);
    if (g.rc != MQRC_NONE) {
      EXPECT_EQ(g.rc, MQRC_NO_MSG_AVAILABLE);
      break;
    }
    out.push_back(g.data);
  }
  return out;
}

MQMD Persistent(MQLONG persistence = MQPER_PERSISTENT) {
  MQMD md = Md();
  md.Persistence = persistence;
  return md;
}

}  // namespace

class MqsimDurabilityTest : public MqsimTest {
 protected:
  // The test copy of the server, which takes fault rules from
  // HARROW_FAULT_POINTS (os/fault_injection.h).
  MqsimDurabilityTest() { server_binary_ = MQSIM_FAULT_POINTS_BIN; }

  // Puts a known mixture; returns the messages that must survive, in order.
  std::vector<std::string> PutMixture(MQHCONN h, MQHOBJ obj) {
    std::vector<std::string> kept;
    for (int i = 0; i < 20; ++i) {
      MQMD md = Persistent();
      std::string d = "persistent-" + std::to_string(i);
      EXPECT_EQ(Put(h, obj, d, &md), 0);
      kept.push_back(d);
    }
    MQMD np = Persistent(MQPER_NOT_PERSISTENT);
    EXPECT_EQ(Put(h, obj, "not-persistent", &np), 0);
    for (int i = 0; i < 5; ++i) {
      MQMD md = Persistent();
      std::string d = "committed-" + std::to_string(i);
      EXPECT_EQ(Put(h, obj, d, &md, MQPMO_SYNCPOINT), 0);
      kept.push_back(d);
    }
    MQLONG cc = 0, rc = 0;
    MQCMIT(h, &cc, &rc);
    EXPECT_EQ(rc, 0);
    // Removed for good: the first one, got outside syncpoint.
    EXPECT_EQ(Get(h, obj).data, "persistent-0");
    kept.erase(kept.begin());
    // Got under syncpoint and not committed: stays.
    EXPECT_EQ(Get(h, obj, MQGMO_SYNCPOINT).data, "persistent-1");
    // Put and not committed: lost.
    MQMD md = Persistent();
    EXPECT_EQ(Put(h, obj, "uncommitted", &md, MQPMO_SYNCPOINT), 0);
    return kept;
  }
};

TEST_F(MqsimDurabilityTest, CommittedPersistentMessagesSurviveKill9) {
  ASSERT_EQ(Ctl("define QM1 DURABLE.Q --type local --maxdepth 777"), 0);
  MQHCONN h = Connect();
  MQHOBJ obj = 0;
  ASSERT_EQ(Open(h, "DURABLE.Q", MQOO_OUTPUT | MQOO_INPUT_SHARED | MQOO_SET, &obj), 0);
  MQLONG sel = MQIA_TRIGGER_CONTROL, val = MQTC_ON, cc = 0, rc = 0;
  MQSET(h, obj, 1, &sel, 1, &val, 0, nullptr, &cc, &rc);
  ASSERT_EQ(rc, 0);
  std::vector<std::string> kept = PutMixture(h, obj);
  KillServer();
  Disconnect(h);
  StartServer();
  MQHCONN h2 = Connect();
  MQHOBJ inq = 0;
  ASSERT_EQ(Open(h2, "DURABLE.Q", MQOO_INQUIRE, &inq), 0);
  MQLONG sels[] = {MQIA_MAX_Q_DEPTH, MQIA_TRIGGER_CONTROL};
  MQLONG ints[2] = {0, 0};
  MQINQ(h2, inq, 2, sels, 2, ints, 0, nullptr, &cc, &rc);
  EXPECT_EQ(ints[0], 777);
  EXPECT_EQ(ints[1], MQTC_ON);
  EXPECT_EQ(Drain(h2, "DURABLE.Q"), kept);
  Disconnect(h2);
}

TEST_F(MqsimDurabilityTest, CleanRestartKeepsTheSameMessages) {
  ASSERT_EQ(Ctl("define QM1 DURABLE.Q --type local"), 0);
  MQHCONN h = Connect();
  MQHOBJ obj = 0;
  ASSERT_EQ(Open(h, "DURABLE.Q", MQOO_OUTPUT | MQOO_INPUT_SHARED, &obj), 0);
  std::vector<std::string> kept = PutMixture(h, obj);
  StopServer();
  Disconnect(h);
  StartServer();
  MQHCONN h2 = Connect();
  EXPECT_EQ(Drain(h2, "DURABLE.Q"), kept);
  Disconnect(h2);
  // A queue deleted before a kill stays deleted.
  ASSERT_EQ(Ctl("delete-queue QM1 DURABLE.Q"), 0);
  KillServer();
  StartServer();
  MQHCONN h3 = Connect();
  MQHOBJ gone = 0;
  EXPECT_EQ(Open(h3, "DURABLE.Q", MQOO_OUTPUT, &gone), MQRC_UNKNOWN_OBJECT_NAME);
  Disconnect(h3);
}

TEST_F(MqsimDurabilityTest, TornJournalTailIsDroppedAndLogged) {
  ASSERT_EQ(Ctl("define QM1 DURABLE.Q --type local"), 0);
  MQHCONN h = Connect();
  MQHOBJ obj = 0;
  ASSERT_EQ(Open(h, "DURABLE.Q", MQOO_OUTPUT, &obj), 0);
  MQMD md = Persistent();
  ASSERT_EQ(Put(h, obj, "acknowledged", &md), 0);
  KillServer();
  Disconnect(h);
  {
    // Half a batch: a length promising more bytes than follow.
    std::ofstream j(root_ + "/qmgrs/QM1/journal", std::ios::binary | std::ios::app);
    const char torn[] = {'\x40', 0, 0, 0, '\x11', '\x22', '\x33', '\x44', 1, 0, 0};
    j.write(torn, sizeof torn);
  }
  StartServer();
  MQHCONN h2 = Connect();
  EXPECT_EQ(Drain(h2, "DURABLE.Q"), std::vector<std::string>{"acknowledged"});
  Disconnect(h2);
  std::string log;
  ASSERT_TRUE(mqsim::ReadFile(root_ + "/qmgrs/QM1/errors/AMQERR01.LOG", &log));
  EXPECT_NE(log.find("unfinished batch dropped"), std::string::npos);
}

TEST_F(MqsimDurabilityTest, DamagedCheckpointStopsTheStartWithAReason) {
  StopServer();
  {
    std::ofstream c(root_ + "/qmgrs/QM1/checkpoint", std::ios::binary | std::ios::in | std::ios::out);
    c.seekp(20);
    c.write("\xFF\xFF", 2);
  }
  EXPECT_NE(Ctl("start QM1"), 0);
  std::string log;
  mqsim::ReadFile(root_ + "/ctl.log", &log);
  EXPECT_NE(log.find("checkpoint"), std::string::npos);
  Ctl("shutdown");
}

// The server dies at its n-th journal sync, before writing the batch or
// after writing it and before the fdatasync. Everything acknowledged must be
// there after a restart; the one operation in flight may or may not be.
TEST_F(MqsimDurabilityTest, CrashAtEachJournalSyncLosesNothingAcknowledged) {
  ASSERT_EQ(Ctl("define QM1 CRASH.Q --type local --maxdepth 100000"), 0);
  for (const char* phase : {"before", "after"}) {
    for (int n = 1; n <= 6; ++n) {
      SCOPED_TRACE(std::string("phase ") + phase + " sync " + std::to_string(n));
      StopServer();
      // Before the batch is written, or after it is written and before
      // it is synced.
      std::string point = std::string(phase) == "before" ? "journal-write" : "journal-sync";
      setenv("HARROW_FAULT_POINTS", (point + ":" + std::to_string(n) + ":crash").c_str(), 1);
      StartServer(false);
      unsetenv("HARROW_FAULT_POINTS");
      std::vector<std::string> acked;
      std::string in_flight;
      MQHCONN h = Connect();
      MQHOBJ obj = 0;
      ASSERT_EQ(Open(h, "CRASH.Q", MQOO_OUTPUT, &obj), 0);
      for (int i = 0; i < 50; ++i) {
        std::string d = std::string(phase) + "-" + std::to_string(n) + "-" + std::to_string(i);
        MQMD md = Persistent();
        in_flight = d;
        if (i % 2 == 0) {
          if (Put(h, obj, d, &md) != 0) break;
        } else {
          if (Put(h, obj, d, &md, MQPMO_SYNCPOINT) != 0) break;
          MQLONG cc = 0, rc = 0;
          MQCMIT(h, &cc, &rc);
          if (rc != 0) break;
        }
        acked.push_back(d);
        in_flight.clear();
      }
      EXPECT_FALSE(in_flight.empty()) << "the server did not die";
      Disconnect(h);
      ASSERT_TRUE(WaitServerExit(std::chrono::seconds(10)));
      StartServer(false);
      MQHCONN h2 = Connect();
      std::vector<std::string> got = Drain(h2, "CRASH.Q");
      Disconnect(h2);
      std::vector<std::string> with_flight = acked;
      with_flight.push_back(in_flight);
      EXPECT_TRUE(got == acked || got == with_flight)
          << "acknowledged " << acked.size() << ", found " << got.size();
    }
  }
}

// The disk refuses a journal write (injected at the first sync). The call
// whose record it was must not be acknowledged, whether the record went to
// the caller's own queue manager or, through MQPUT1, to another one; the
// queue manager whose journal failed ends, and the other one goes on.
TEST_F(MqsimDurabilityTest, FailedJournalWriteAcknowledgesNothing) {
  ASSERT_EQ(Ctl("define QM1 NEAR.Q --type local"), 0);
  ASSERT_EQ(Ctl("define QM2 FAR.Q --type local"), 0);
  struct Case {
    const char* name;
    const char* target_qmgr;
    const char* queue;
    const char* failed;     // the queue manager that ends
    const char* surviving;  // the one that goes on
  } cases[] = {
      {"own queue manager", "", "NEAR.Q", "QM1", "QM2"},
      {"another queue manager", "QM2", "FAR.Q", "QM2", "QM1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StopServer();
    setenv("HARROW_FAULT_POINTS", "journal-write:1:fail", 1);
    StartServer();
    unsetenv("HARROW_FAULT_POINTS");
    std::thread([&] {
      MQHCONN h = Connect("QM1");
      MQOD od = Od(c.queue, c.target_qmgr);
      MQMD md = Persistent();
      MQPMO pmo = Pmo(MQPMO_NO_SYNCPOINT);
      MQLONG cc = 0, rc = 0;
      MQPUT1(h, &od, &md, &pmo, 4, const_cast<char*>("lost"), &cc, &rc);
      EXPECT_EQ(cc, MQCC_FAILED);
      EXPECT_EQ(rc, MQRC_CONNECTION_BROKEN);
      Disconnect(h);
    }).join();
    std::thread([&] {
      char qm[48] = {0};
      mqsim::SetField(qm, sizeof qm, c.failed);
      MQHCONN h = 0;
      MQLONG cc = 0, rc = 0;
      MQCONN(qm, &h, &cc, &rc);
      EXPECT_EQ(rc, MQRC_Q_MGR_NOT_AVAILABLE);
    }).join();
    std::thread([&] {
      MQHCONN h = Connect(c.surviving);
      MQHOBJ obj = 0;
      EXPECT_EQ(Open(h, "SYSTEM.DEAD.LETTER.QUEUE", MQOO_OUTPUT, &obj), 0);
      MQMD md = Persistent();
      EXPECT_EQ(Put(h, obj, "still served", &md), 0);
      Disconnect(h);
    }).join();
    std::string log;
    mqsim::ReadFile(root_ + "/server.log", &log);
    EXPECT_NE(log.find("queue manager " + std::string(c.failed) + ": journal write failed"), std::string::npos);
  }
}
