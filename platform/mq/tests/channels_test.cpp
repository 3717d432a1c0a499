// Channels between two queue managers of one mqsim: status, commands,
// events, dead-letter delivery, and no message lost or doubled across a
// kill -9 in the middle of a transfer.
#include <gtest/gtest.h>

#include <fstream>
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
  static std::string Transmitted(const std::string& to, const std::string& data, MQMD* md_out = nullptr,
                                 const char* qmgr = "QM2") {
    MQXQH x{};
    std::memcpy(x.StrucId, MQXQH_STRUC_ID, 4);
    x.Version = MQXQH_VERSION_1;
    mqsim::SetField(x.RemoteQName, 48, to.c_str());
    mqsim::SetField(x.RemoteQMgrName, 48, qmgr);
    MQMD md = Md();
    md.Persistence = MQPER_PERSISTENT;
    md.Priority = 0;
    std::memcpy(&x.MsgDesc, &md, sizeof x.MsgDesc);
    if (md_out != nullptr) *md_out = md;
    return std::string(reinterpret_cast<const char*>(&x), sizeof x) + data;
  }


  // Channel events now on a queue manager's event queue: (reason, channel).
  std::vector<std::pair<MQLONG, std::string>> ChannelEvents(const char* qmgr) {
    MQHCONN h = Connect(qmgr);
    MQHOBJ events = 0;
    EXPECT_EQ(Open(h, "SYSTEM.ADMIN.CHANNEL.EVENT", MQOO_INPUT_SHARED, &events), 0);
    std::vector<std::pair<MQLONG, std::string>> out;
    for (;;) {
      Got e = Get(h, events);
      if (e.cc == MQCC_FAILED) break;
      Reply rep = ParseReply(e.data);
      out.emplace_back(rep.cfh.Reason, rep.strs[MQCACH_CHANNEL_NAME]);
    }
    Disconnect(h);
    return out;
  }

  std::vector<Reply> Status(const char* qmgr, const std::string& channel, MQLONG instance = MQOT_CURRENT_CHANNEL) {
    Admin a(this, qmgr);
    return a.Send(Request(MQCMD_INQUIRE_CHANNEL_STATUS).Str(MQCACH_CHANNEL_NAME, channel)
                      .Int(MQIACH_CHANNEL_INSTANCE_TYPE, instance)
                      .IntList(MQIACH_CHANNEL_INSTANCE_ATTRS, {MQIACF_ALL}));
  }

  // Polls a channel's current status until it shows `state`.
  bool WaitState(const char* qmgr, const std::string& channel, MQLONG state) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      auto r = Status(qmgr, channel);
      if (r.size() == 1 && r[0].ints.count(MQIACH_CHANNEL_STATUS) && r[0].ints[MQIACH_CHANNEL_STATUS] == state)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
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

TEST_F(ChannelsTest, ARequesterStartsItsPartnerServerAndReceivesFromIt) {
  {
    Admin b(this, "QM2");
    Ok(b, Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "TO.QM1").Int(MQIA_Q_TYPE, MQQT_LOCAL)
              .Int(MQIA_USAGE, MQUS_TRANSMISSION));
    Ok(b, Request(MQCMD_CREATE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "PULL.CHL")
              .Int(MQIACH_CHANNEL_TYPE, MQCHT_SERVER).Str(MQCACH_XMIT_Q_NAME, "TO.QM1"));
    MQHOBJ xq = 0;
    ASSERT_EQ(Open(b.h_, "TO.QM1", MQOO_OUTPUT, &xq), 0);
    for (int i = 0; i < 5; ++i) {
      MQMD md = Md();
      md.Persistence = MQPER_PERSISTENT;
      ASSERT_EQ(Put(b.h_, xq, Transmitted("APP.IN", "pulled", nullptr, "QM1"), &md), 0);
    }
  }
  {
    Admin a(this, "QM1");
    Ok(a, Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "APP.IN").Int(MQIA_Q_TYPE, MQQT_LOCAL));
    Ok(a, Request(MQCMD_CREATE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "PULL.CHL")
              .Int(MQIACH_CHANNEL_TYPE, MQCHT_REQUESTER)
              .Str(MQCACH_CONNECTION_NAME, "127.0.0.1(" + std::to_string(port2_) + ")"));
  }
  auto r = Status("QM1", "PULL.CHL", MQOT_SAVED_CHANNEL);
  EXPECT_EQ(r.at(0).cfh.Reason, MQRCCF_CHL_STATUS_NOT_FOUND) << "no batch yet";
  {
    Admin a(this, "QM1");
    Ok(a, Request(MQCMD_START_CHANNEL).Str(MQCACH_CHANNEL_NAME, "PULL.CHL"));
  }
  ASSERT_TRUE(WaitDepth("QM1", "APP.IN", 5));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Depth("QM2", "TO.QM1") != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(Depth("QM2", "TO.QM1"), 0) << "the batch was confirmed";

  r = Status("QM1", "PULL.CHL");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_TYPE], MQCHT_REQUESTER);
  EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_STATUS], MQCHS_RUNNING);
  EXPECT_EQ(r[0].ints[MQIACH_MSGS], 5);
  r = Status("QM2", "PULL.CHL");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_TYPE], MQCHT_SERVER);
  EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_STATUS], MQCHS_RUNNING);
  EXPECT_EQ(r[0].strs[MQCACH_XMIT_Q_NAME], "TO.QM1");
  EXPECT_EQ(r[0].ints[MQIACH_MSGS], 5);
  EXPECT_EQ(r[0].ints[MQIACH_CURRENT_SEQ_NUMBER], 5);
  EXPECT_EQ(r[0].ints[MQIACH_INDOUBT_STATUS], MQCHIDS_NOT_INDOUBT);

  // Stopping the requester ends the server normally; its saved status stays.
  {
    Admin a(this, "QM1");
    Ok(a, Request(MQCMD_STOP_CHANNEL).Str(MQCACH_CHANNEL_NAME, "PULL.CHL"));
  }
  EXPECT_EQ(Status("QM2", "PULL.CHL").at(0).cfh.Reason, MQRCCF_CHL_STATUS_NOT_FOUND);
  r = Status("QM2", "PULL.CHL", MQOT_SAVED_CHANNEL);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_INSTANCE_TYPE], MQOT_SAVED_CHANNEL);
  EXPECT_EQ(r[0].ints[MQIACH_LAST_SEQ_NUMBER], 5);
  EXPECT_EQ(r[0].ints.count(MQIACH_MSGS), 0u) << "counters belong to the current status";
  using Events = std::vector<std::pair<MQLONG, std::string>>;
  EXPECT_EQ(ChannelEvents("QM1"), (Events{{MQRC_CHANNEL_STARTED, "PULL.CHL"}, {MQRC_CHANNEL_STOPPED_BY_USER, "PULL.CHL"}}));
  EXPECT_EQ(ChannelEvents("QM2"), (Events{{MQRC_CHANNEL_STARTED, "PULL.CHL"}, {MQRC_CHANNEL_STOPPED, "PULL.CHL"}}));
}

TEST_F(ChannelsTest, ServerConnectionStatusShowsEachConnectedClient) {
  MQLONG cc = 0, rc = 0;
  ASSERT_EQ(Ctl("define QM1 APP.Q --type local"), 0);
  // The clients connect on a thread of their own, so that the inquiries
  // of this thread get connections of their own.
  MQLONG cc2 = 0, rc2 = 0;
  MQHCONN c1 = MQHC_UNUSABLE_HCONN, c2 = MQHC_UNUSABLE_HCONN;
  std::thread([&] {
    c1 = ConnectX("QM1", port1_, &cc, &rc);
    // A second queue manager's client: not one of QM1's.
    c2 = ConnectX("QM2", port2_, &cc2, &rc2);
  }).join();
  ASSERT_EQ(cc, MQCC_OK) << rc;
  ASSERT_EQ(cc2, MQCC_OK) << rc2;
  MQHOBJ obj = 0;
  ASSERT_EQ(Open(c1, "APP.Q", MQOO_OUTPUT, &obj), 0);
  ASSERT_EQ(Put(c1, obj, "a call"), 0);

  auto r = Status("QM1", "SYSTEM.DEF.SVRCONN");
  ASSERT_EQ(r.size(), 1u) << "the MQCONN connection of the inquiry names no channel";
  EXPECT_EQ(r[0].cfh.CompCode, MQCC_OK);
  EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_TYPE], MQCHT_SVRCONN);
  EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_STATUS], MQCHS_RUNNING);
  EXPECT_EQ(r[0].ints[MQIACH_MCA_STATUS], MQMCAS_RUNNING);
  EXPECT_EQ(r[0].strs[MQCACH_CONNECTION_NAME], "127.0.0.1");
  EXPECT_EQ(r[0].ints[MQIACH_MSGS], 2) << "open and put";
  EXPECT_GT(r[0].ints[MQIACH_BYTES_RCVD], 0);
  EXPECT_GT(r[0].ints[MQIACH_BYTES_SENT], 0);
  EXPECT_EQ(r[0].strs[MQCACH_CHANNEL_START_DATE].size(), 10u);
  EXPECT_EQ(r[0].strs[MQCACH_LAST_MSG_TIME].size(), 8u);
  EXPECT_EQ(r[0].ints.count(MQIACH_CURRENT_SEQ_NUMBER), 0u) << "no sequence numbers on a client channel";
  EXPECT_EQ(Status("QM1", "SYSTEM.DEF.SVRCONN", MQOT_SAVED_CHANNEL).at(0).cfh.Reason, MQRCCF_CHL_STATUS_NOT_FOUND);
  EXPECT_EQ(Status("QM1", "*").size(), 1u);
  {
    Admin a(this, "QM1");
    auto d = a.Send(Request(MQCMD_DELETE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "SYSTEM.DEF.SVRCONN"));
    EXPECT_EQ(d.at(0).cfh.Reason, MQRCCF_CHANNEL_IN_USE);
    // Stopping the channel ends its clients.
    Ok(a, Request(MQCMD_STOP_CHANNEL).Str(MQCACH_CHANNEL_NAME, "SYSTEM.DEF.SVRCONN"));
    d = a.Send(Request(MQCMD_STOP_CHANNEL).Str(MQCACH_CHANNEL_NAME, "SYSTEM.DEF.SVRCONN"));
    EXPECT_EQ(d.at(0).cfh.Reason, MQRCCF_CHANNEL_NOT_ACTIVE);
  }
  EXPECT_EQ(Put(c1, obj, "after the stop"), MQRC_CONNECTION_BROKEN);
  EXPECT_EQ(Status("QM1", "SYSTEM.DEF.SVRCONN").at(0).cfh.Reason, MQRCCF_CHL_STATUS_NOT_FOUND);
  EXPECT_EQ(Status("QM2", "SYSTEM.DEF.SVRCONN").size(), 1u) << "QM2's client stays";
  Disconnect(c1);
  Disconnect(c2);
}

TEST_F(ChannelsTest, ChannelsBeyondTheActiveLimitWaitAndAreActivatedWhenASlotFrees) {
  {
    // Read at each start of a channel: no restart needed.
    std::ofstream ini(root_ + "/qmgrs/QM1/qm.ini", std::ios::app);
    ini << "CHANNELS:\n   MaxActiveChannels=1\n";
  }
  const std::string conn = "127.0.0.1(" + std::to_string(port2_) + ")";
  for (const char* name : {"A.CHL", "B.CHL"}) {
    Admin a(this, "QM1");
    Ok(a, Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, std::string(name) + ".XQ").Int(MQIA_Q_TYPE, MQQT_LOCAL)
              .Int(MQIA_USAGE, MQUS_TRANSMISSION));
    Ok(a, Request(MQCMD_CREATE_CHANNEL).Str(MQCACH_CHANNEL_NAME, name).Int(MQIACH_CHANNEL_TYPE, MQCHT_SENDER)
              .Str(MQCACH_XMIT_Q_NAME, std::string(name) + ".XQ").Str(MQCACH_CONNECTION_NAME, conn));
    Admin b(this, "QM2");
    Ok(b, Request(MQCMD_CREATE_CHANNEL).Str(MQCACH_CHANNEL_NAME, name).Int(MQIACH_CHANNEL_TYPE, MQCHT_RECEIVER));
  }
  {
    Admin a(this, "QM1");
    Ok(a, Request(MQCMD_START_CHANNEL).Str(MQCACH_CHANNEL_NAME, "A.CHL"));
    Ok(a, Request(MQCMD_START_CHANNEL).Str(MQCACH_CHANNEL_NAME, "B.CHL"));
  }
  EXPECT_EQ(Status("QM1", "A.CHL").at(0).ints[MQIACH_CHANNEL_STATUS], MQCHS_RUNNING);
  EXPECT_EQ(Status("QM1", "B.CHL").at(0).ints[MQIACH_CHANNEL_STATUS], MQCHS_STARTING);
  {
    Admin a(this, "QM1");
    Ok(a, Request(MQCMD_STOP_CHANNEL).Str(MQCACH_CHANNEL_NAME, "A.CHL"));
  }
  ASSERT_TRUE(WaitState("QM1", "B.CHL", MQCHS_RUNNING));
  using Events = std::vector<std::pair<MQLONG, std::string>>;
  EXPECT_EQ(ChannelEvents("QM1"), (Events{{MQRC_CHANNEL_STARTED, "A.CHL"},
                                          {MQRC_CHANNEL_NOT_ACTIVATED, "B.CHL"},
                                          {MQRC_CHANNEL_STOPPED_BY_USER, "A.CHL"},
                                          {MQRC_CHANNEL_ACTIVATED, "B.CHL"},
                                          {MQRC_CHANNEL_STARTED, "B.CHL"}}));
}

}  // namespace
