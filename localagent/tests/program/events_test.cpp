// Events and discovery through a client connection against a real mqsim:
// the fallback to the system event queues, events forwarded with their
// added parameters, messages that are not PCF dropped, and discovery from
// started to stopped.

#include <cstring>
#include <string>
#include <vector>

#include <qmlink/qmlink.h>

#include "mqsim_host.h"

namespace localagent::testing {
namespace {

using std::chrono::seconds;

constexpr MQLONG kQmgrName = 2015;

bool HasParam(const mqPcfMessage* m, const Param& p) {
  for (const Param& q : ParamsOf(m)) {
    if (q == p) return true;
  }
  return false;
}

// The next message that is not a heartbeat.
mqPcfMessage* Next(AgentClient& client) {
  for (;;) {
    mqPcfMessage* got = client.Receive(seconds(10));
    if (got == nullptr || got->Cfh->Command != 10015) return got;
  }
}

// An application of the queue manager putting messages (the test's side).
class Putter {
 public:
  explicit Putter(const char* qmgr) {
    qm_ = CreateCLConn(qmgr, nullptr, nullptr, "PUTTER");
    qmOpen(qm_, nullptr);
  }
  ~Putter() { DeleteMQManager(qm_); }
  // Puts body with format on queue; the open's reason (0 when it worked).
  MQLONG Put(const char* queue, const char* format, const std::string& body) {
    MQueue* q = CreateMQueue(qm_->hConn, queue);
    MQLONG reason = 0;
    if (!qqOpen(MQOO_OUTPUT, q, nullptr)) {
      reason = q->reason;
    } else {
      Message m{};
      CreateMessage(&m, static_cast<MQLONG>(body.size()));
      std::memcpy(m.Md.Format, format, 8);
      std::memcpy(m.Payload, body.data(), body.size());
      m.UsedLength = static_cast<MQLONG>(body.size()) + 136;
      MQPMO pmo{};
      std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
      pmo.Version = MQPMO_VERSION_1;
      pmo.Options = MQPMO_NO_SYNCPOINT;
      if (!qqWrite(&m, &pmo, q)) reason = q->reason;
      DeleteMessage(&m);
    }
    DeleteMQueue(q);
    return reason;
  }
  // Runs a PCF command through the command server; the reply's reason.
  MQLONG Command(MQLONG command, const std::vector<Param>& params) {
    mqPcfMessage* m = BuildMessage(command, MQCFT_COMMAND, params);
    MQLONG reason = -1;
    m->Body.Md.Report |= MQRO_PASS_MSG_ID | MQRO_PASS_CORREL_ID;
    std::memcpy(MESSAGE_HEADER(&m->Body)->MsgId, "EVENTS-1", 8);
    if (!qmWrite(&m->Body, qm_)) {
      ADD_FAILURE() << "put " << qm_->reason;
    } else if (!qmRead(&m->Body, 10000, qm_) || !RawToPcf(m)) {
      ADD_FAILURE() << "reply " << qm_->reason;
    } else {
      reason = m->Cfh->Reason;
    }
    DeletePcfMessage(m);
    return reason;
  }
  MQManager* qm_;
};

TEST_F(AgentWithMqTest, EventsReachTheClientWithTheirAddedParameters) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  std::string out;
  ASSERT_EQ(Ctl({"define", "QM1", "APP.Q", "--type", "local", "--maxdepth", "10", "--qdepthhi",
                 "20"},
                &out),
            0)
      << out;
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-q"}));
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, "QM1")}));
  mqPcfMessage* got = Next(client);
  ASSERT_NE(got, nullptr);
  ASSERT_EQ(got->Cfh->CompCode, 0) << got->Cfh->Reason << Output();

  // Queue-manager (local) and performance events on; depth-high on APP.Q.
  Putter app("QM1");
  ASSERT_GE(app.qm_->hConn, 0);
  EXPECT_EQ(app.Command(1, {Int(49, 1), Int(53, 1)}), 0);
  EXPECT_EQ(app.Command(8, {Str(2016, "APP.Q"), Int(20, 1), Int(43, 1)}), 0);

  // No publisher queue and no shared queue: the system event queues.
  ASSERT_TRUE(client.Send(10005, {}));
  got = Next(client);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, 10005);
  EXPECT_EQ(got->Cfh->CompCode, 0) << got->Cfh->Reason << Output();

  // Not PCF: dropped. Then a local event, two messages that reach the
  // depth-high limit (2 of 10), and a channel event put by hand.
  EXPECT_EQ(app.Put("SYSTEM.ADMIN.QMGR.EVENT", "MQSTR   ", "not an event"), 0);
  EXPECT_EQ(app.Put("SYSTEM.ADMIN.QMGR.EVENT", "MQSTR   ", "nor this"), 0);
  EXPECT_EQ(app.Put("NO.SUCH.Q", "MQSTR   ", "x"), 2085);
  EXPECT_EQ(app.Put("APP.Q", "MQSTR   ", "one"), 0);
  EXPECT_EQ(app.Put("APP.Q", "MQSTR   ", "two"), 0);
  mqPcfMessage* channel = BuildMessage(46, MQCFT_EVENT, {Str(3501, "TO.QM2"), Str(kQmgrName, "QM1")});
  channel->Cfh->Reason = 2283;  // channel stopped
  RawToPcf(channel);
  std::string channel_body(reinterpret_cast<char*>(channel->Cfh),
                           static_cast<size_t>(channel->Body.UsedLength - 136));
  DeletePcfMessage(channel);
  EXPECT_EQ(app.Put("SYSTEM.ADMIN.CHANNEL.EVENT", "MQEVENT ", channel_body), 0);

  // The agent's own probes of the publisher and shared queues raise local
  // events too; every message is an event, none is the string.
  bool local = false, depth = false, chan = false;
  while ((got = client.Receive(std::chrono::milliseconds(1500))) != nullptr) {
    if (got->Cfh->Command == 10015) continue;
    EXPECT_EQ(got->Cfh->Type, MQCFT_EVENT);
    if (got->Cfh->Command == 44) {
      EXPECT_EQ(got->Cfh->Reason, 2085);
      local = local || HasParam(got, Str(2016, "NO.SUCH.Q"));
    } else if (got->Cfh->Command == 45) {
      EXPECT_EQ(got->Cfh->Reason, 2224);
      EXPECT_TRUE(HasParam(got, Str(2002, "APP.Q")));
      EXPECT_TRUE(HasParam(got, Int(40, 20)));
      EXPECT_TRUE(HasParam(got, Int(41, 20)));
      depth = true;
    } else if (got->Cfh->Command == 46) {
      EXPECT_EQ(got->Cfh->Reason, 2283);
      EXPECT_TRUE(HasParam(got, Str(3501, "TO.QM2")));
      chan = true;
    } else {
      ADD_FAILURE() << "unexpected " << got->Cfh->Command << " "
                    << ::testing::PrintToString(ParamsOf(got));
    }
  }
  EXPECT_TRUE(local);
  EXPECT_TRUE(depth);
  EXPECT_TRUE(chan);
  // Said once for the connection, under an id of its own.
  EXPECT_TRUE(WaitOutput("TLX1111W Message that is not PCF on event queue SYSTEM.ADMIN.QMGR.EVENT dropped",
                         seconds(3)))
      << Output();
  std::string log = Output();
  EXPECT_EQ(log.find("not PCF"), log.rfind("not PCF")) << log;
  EXPECT_EQ(log.find("TLX1110W"), std::string::npos) << log;
}

// The commands of the events a discovery gives, up to its stop event.
std::vector<MQLONG> Discover(AgentClient& client, const std::vector<Param>& params) {
  std::vector<MQLONG> seen;
  EXPECT_TRUE(client.Send(11000, params));
  for (;;) {
    mqPcfMessage* got = Next(client);
    if (got == nullptr) break;
    if (got->Cfh->Type == MQCFT_EVENT && got->Cfh->Command == 44) {
      seen.push_back(-got->Cfh->Reason);
      if (got->Cfh->Reason == 20017) break;
      continue;
    }
    // One entry per command, however many replies it has.
    if (got->Cfh->Control == MQCFC_LAST) seen.push_back(got->Cfh->Command);
  }
  return seen;
}

TEST_F(AgentWithMqTest, DiscoveryRepliesArriveInOrderBetweenStartedAndStopped) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-q"}));
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, "QM1")}));
  mqPcfMessage* got = Next(client);
  ASSERT_NE(got, nullptr);
  ASSERT_TRUE(client.Send(10005, {}));
  got = Next(client);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->CompCode, 0);

  // The replies of the discovery command itself, then the local list, the
  // started event, the inquiries in their order, and the stop after 7.
  std::vector<MQLONG> seen = Discover(client, {Int(20324, 3600)});
  const std::vector<MQLONG> all = {11000, 10007, -20011, 2, 13, 13, 13, 13, 13, 18,
                                   25,    25,    20,     42, 19, 7, -20017};
  EXPECT_EQ(seen, all);
  // Drain the rows after process (namelists, cluster queue managers).
  while (client.Receive(std::chrono::milliseconds(800)) != nullptr) {
  }
  // No channels: rows 8 to 11 are left out.
  seen = Discover(client, {Int(20324, 3600), Str(3501, "$none$")});
  const std::vector<MQLONG> no_channels = {11000, 10007, -20011, 2, 13, 13, 13, 13, 13, 18,
                                           19,    7,     -20017};
  EXPECT_EQ(seen, no_channels);
}

TEST_F(AgentWithMqTest, DiscoveryWithTheCommandServerDownFails) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-q"}));
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, "QM1")}));
  ASSERT_NE(Next(client), nullptr);
  ASSERT_TRUE(client.Send(10005, {}));
  ASSERT_NE(Next(client), nullptr);
  Ctl({"cmdserver", "QM1", "stop"});
  ASSERT_TRUE(client.Send(11000, {Int(20324, 3600)}));
  std::vector<MQLONG> reasons;
  for (int i = 0; i < 4; ++i) {
    mqPcfMessage* got = Next(client);
    ASSERT_NE(got, nullptr);
    if (got->Cfh->Command == 44) {
      reasons.push_back(got->Cfh->Reason);
      if (got->Cfh->Reason == 20010) {
        EXPECT_TRUE(HasParam(got, Int(1020, 20012)));
        EXPECT_TRUE(HasParam(got, Str(2016, "SYSTEM.ADMIN.COMMAND.QUEUE")));
        break;
      }
    }
  }
  EXPECT_EQ(reasons, (std::vector<MQLONG>{20012, 20010}));
}

}  // namespace
}  // namespace localagent::testing
