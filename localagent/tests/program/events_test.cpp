// Events and discovery through a client connection against a real mqsim:
// the event sources (publisher, private queue, fallback to the system event
// queues), events forwarded with their added parameters, messages that are
// not PCF dropped, the events of a lost and regained queue manager, channel
// events of reset and resolve, and discovery from started to stopped.

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <os/names.h>

#include "event_queues.h"

#include <qmlink/qmlink.h>

#include "mqsim_host.h"

namespace localagent::testing {
namespace {

using std::chrono::milliseconds;
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
  // Takes one message off queue into m, waiting up to wait_ms; the reason.
  MQLONG Get(const char* queue, mqPcfMessage* m, MQLONG wait_ms) {
    MQueue* q = CreateMQueue(qm_->hConn, queue);
    MQLONG reason = 0;
    if (!qqOpen(MQOO_INPUT_SHARED, q, nullptr)) {
      reason = q->reason;
    } else {
      MQGMO gmo{};
      std::memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
      gmo.Version = MQGMO_VERSION_1;
      gmo.Options = MQGMO_WAIT | MQGMO_NO_SYNCPOINT;
      gmo.WaitInterval = wait_ms;
      if (!qqRead(&m->Body, &gmo, q)) reason = q->reason;
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

// A message from the agent, kept beyond the next receive.
struct Got {
  MQLONG command = 0, type = 0, reason = 0, comp_code = 0, control = 0;
  std::vector<Param> params;
};

Got Keep(const mqPcfMessage* m) {
  Got g;
  g.command = m->Cfh->Command;
  g.type = m->Cfh->Type;
  g.reason = m->Cfh->Reason;
  g.comp_code = m->Cfh->CompCode;
  g.control = m->Cfh->Control;
  g.params = ParamsOf(m);
  return g;
}

bool Contains(const std::vector<Param>& params, const Param& p) {
  for (const Param& q : params) {
    if (q == p) return true;
  }
  return false;
}

std::function<bool(const Got&)> AgentEvent(MQLONG reason) {
  return [reason](const Got& g) { return g.type == MQCFT_EVENT && g.command == 44 && g.reason == reason; };
}

// Messages from the agent until one that want accepts (returned) or until
// limit; the ones passed over go to *skipped when given.
std::optional<Got> Await(AgentClient& client, const std::function<bool(const Got&)>& want,
                         milliseconds limit, std::vector<Got>* skipped = nullptr) {
  harrow::testsupport::Deadline deadline(limit);
  while (!deadline.Expired()) {
    mqPcfMessage* m = client.Receive(std::max(milliseconds(1), deadline.Left()));
    if (m == nullptr) break;
    Got g = Keep(m);
    if (want(g)) return g;
    if (skipped != nullptr) skipped->push_back(std::move(g));
  }
  return std::nullopt;
}

// Selects the queue manager and opens its events; both must succeed.
void OpenWithEvents(AgentClient& client, const char* qmgr) {
  ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, qmgr)}));
  auto is_reply = [](MQLONG command) {
    return [command](const Got& g) { return g.type == MQCFT_RESPONSE && g.command == command; };
  };
  std::optional<Got> opened = Await(client, is_reply(10008), seconds(10));
  ASSERT_TRUE(opened);
  ASSERT_EQ(opened->comp_code, 0) << opened->reason;
  ASSERT_TRUE(client.Send(10005, {}));
  std::optional<Got> events = Await(client, is_reply(10005), seconds(10));
  ASSERT_TRUE(events);
  ASSERT_EQ(events->comp_code, 0) << events->reason;
}

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

// The commands of the events a discovery gives, up to its stop event; the
// parameters of its queue-manager inquiry reply go to *qmgr_reply.
std::vector<MQLONG> Discover(AgentClient& client, const std::vector<Param>& params,
                             std::vector<Param>* qmgr_reply = nullptr) {
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
    if (got->Cfh->Command == 2 && qmgr_reply != nullptr) *qmgr_reply = ParamsOf(got);
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
  std::vector<Param> qmgr_reply;
  std::vector<MQLONG> seen = Discover(client, {Int(20324, 3600)}, &qmgr_reply);
  const std::vector<MQLONG> all = {11000, 10007, -20011, 2, 13, 13, 13, 13, 13, 18,
                                   25,    25,    20,     42, 19, 7, -20017};
  EXPECT_EQ(seen, all);
  // Its queue-manager reply carries the queue manager's log settings (as
  // mqsimctl wrote them in its qm.ini), as a reply to the client's own
  // inquiry does.
  const std::vector<Param> log = {Str(20019, mqm_ + "/log/QM1/"), Int(20144, 3), Int(20145, 2),
                                  Int(20146, 1024), Int(20150, 0)};
  for (const Param& p : log) EXPECT_TRUE(Contains(qmgr_reply, p)) << ::testing::PrintToString(p);

  // Drain the rows after process (namelists, cluster queue managers).
  while (client.Receive(std::chrono::milliseconds(800)) != nullptr) {
  }
  ASSERT_TRUE(client.Send(2, {}, 1, 10000));
  got = Next(client);
  ASSERT_NE(got, nullptr);
  ASSERT_EQ(got->Cfh->Command, 2);
  std::vector<Param> asked = ParamsOf(got);
  for (const Param& p : log) EXPECT_TRUE(Contains(asked, p)) << ::testing::PrintToString(p);
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

TEST_F(AgentWithMqTest, EventsAreOpenedAgainWhenTheQueueManagerComesBack) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-q"}));
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.connected());
  ASSERT_NO_FATAL_FAILURE(OpenWithEvents(client, "QM1"));

  // The queue manager goes away while a command is sent: whether the
  // command or the event read finds it gone first, the client hears once
  // that it is not active, with the failed call's reason.
  mqsim_.Kill();
  ASSERT_TRUE(client.Send(40, {}));
  std::vector<Got> skipped;
  std::optional<Got> lost = Await(client, AgentEvent(2223), seconds(10), &skipped);
  ASSERT_TRUE(lost) << Output();
  EXPECT_TRUE(Contains(lost->params, Str(kQmgrName, "QM1")));
  MQLONG qualifier = 0;
  for (const Param& p : lost->params) {
    if (p.id == 1020) qualifier = p.value;
  }
  EXPECT_NE(qualifier, 0);
  EXPECT_TRUE(WaitOutput("IME0011(", seconds(5))) << Output();

  EXPECT_TRUE(WaitOutput("Queue manager for previous MQ open error is <QM1>.", seconds(15)))
      << Output();

  // Back again: the connection opens it and its events, and says so with
  // the application name of the client's open (its frames carry the
  // client's program name).
  ASSERT_NO_FATAL_FAILURE(RestartQueueManagers({"QM1"}));
  std::optional<Got> active = Await(client, AgentEvent(2222), seconds(20), &skipped);
  ASSERT_TRUE(active) << Output();
  // Besides, only the command's failed reply.
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].command, 40);
  EXPECT_EQ(skipped[0].comp_code, 2);
  EXPECT_EQ(active->params,
            (std::vector<Param>{Str(kQmgrName, "QM1"), Str(3024, "LOCALAGENT_EVENTS_TEST")}));
  EXPECT_TRUE(WaitOutput("TLX1105I Server Task reconnected successfully to QM1", seconds(5)))
      << Output();

  // The event source is open again: a local event raised now arrives.
  Putter app("QM1");
  ASSERT_GE(app.qm_->hConn, 0);
  EXPECT_EQ(app.Command(1, {Int(49, 1)}), 0);
  EXPECT_EQ(app.Put("NO.SUCH.Q", "MQSTR   ", "x"), 2085);
  std::optional<Got> local = Await(
      client,
      [](const Got& g) { return g.command == 44 && Contains(g.params, Str(2016, "NO.SUCH.Q")); },
      seconds(10));
  ASSERT_TRUE(local) << Output();
  EXPECT_EQ(local->reason, 2085);
}

TEST_F(AgentWithMqTest, AQueueManagerThatIsGoneIsReportedAndNotRetried) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1", "QM2"}));
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-q"}));
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.connected());
  ASSERT_NO_FATAL_FAILURE(OpenWithEvents(client, "QM2"));
  mqsim_.Kill();
  std::optional<Got> lost = Await(client, AgentEvent(2223), seconds(10));
  ASSERT_TRUE(lost) << Output();
  EXPECT_TRUE(Contains(lost->params, Str(kQmgrName, "QM2")));

  // QM2's key now leads to QM1, which refuses the name (2058): QM2 is
  // reported deleted.
  DefineClientKey("QM2", "127.0.0.1(" + std::to_string(ListenerPort("QM1")) + ")");
  ASSERT_NO_FATAL_FAILURE(RestartQueueManagers({"QM1", "QM2"}));
  std::optional<Got> gone = Await(client, AgentEvent(20004), seconds(20));
  ASSERT_TRUE(gone) << Output();
  EXPECT_EQ(gone->params, (std::vector<Param>{Str(kQmgrName, "QM2")}));

  // And never tried again: with its key right again, nothing reconnects
  // it, and commands find no queue manager.
  DefineClientKey("QM2", "127.0.0.1(" + std::to_string(ListenerPort("QM2")) + ")");
  std::vector<Got> skipped;
  EXPECT_FALSE(Await(client, AgentEvent(2222), seconds(6), &skipped));
  EXPECT_TRUE(skipped.empty());
  ASSERT_TRUE(client.Send(40, {}));
  std::optional<Got> ping = Await(client, [](const Got& g) { return g.command == 40; }, seconds(10));
  ASSERT_TRUE(ping);
  EXPECT_EQ(ping->reason, 2059);
}

TEST_F(AgentWithMqTest, ChannelResetAndResolveRaiseChannelEvents) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-q"}));
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.connected());
  // No publisher or shared queue: the system event queues, the channel
  // events among them.
  ASSERT_NO_FATAL_FAILURE(OpenWithEvents(client, "QM1"));

  struct Step {
    MQLONG command;
    std::vector<Param> params;
    MQLONG comp_code;
  } steps[] = {
      {23, {Str(3501, "TO.QM2"), Int(1511, 1), Str(3505, "XQ"), Str(3506, "127.0.0.1(1)")}, 0},
      {27, {Str(3501, "NO.SUCH.CHANNEL")}, 2},  // failed: no event
      {27, {Str(3501, "TO.QM2"), Int(1514, 7)}, 0},
      {39, {Str(3501, "TO.QM2"), Int(1516, 1)}, 0},
  };
  std::vector<Got> events;
  for (const Step& step : steps) {
    ASSERT_TRUE(client.Send(step.command, step.params, 1, 10000));
    MQLONG command = step.command;
    std::optional<Got> reply = Await(
        client, [command](const Got& g) { return g.type == MQCFT_RESPONSE && g.command == command; },
        seconds(15), &events);
    ASSERT_TRUE(reply) << step.command << Output();
    EXPECT_EQ(reply->comp_code, step.comp_code) << step.command << " " << reply->reason;
  }
  // The events follow the replies within a cycle or two; then nothing more.
  auto channel_events = [&events] {
    return std::count_if(events.begin(), events.end(), [](const Got& g) { return g.command == 46; });
  };
  harrow::testsupport::Deadline deadline(seconds(10));
  while (channel_events() < 2 && !deadline.Expired()) {
    Await(client, [](const Got&) { return false; }, milliseconds(200), &events);
  }
  Await(client, [](const Got&) { return false; }, milliseconds(1000), &events);

  // Each event: the queue manager, the user of the client's frames, then
  // the request's own parameters.
  char login[256] = {};
  osGetLoginName(login, sizeof login);
  std::string user(login, strnlen(login, 12));
  std::vector<Got> channel;
  for (Got& g : events) {
    if (g.command == 46) channel.push_back(g);
  }
  ASSERT_EQ(channel.size(), 2u);
  EXPECT_EQ(channel[0].type, MQCFT_EVENT);
  EXPECT_EQ(channel[0].reason, 20019);
  EXPECT_EQ(channel[0].params, (std::vector<Param>{Str(kQmgrName, "QM1"), Str(3025, user),
                                                   Str(3501, "TO.QM2"), Int(1514, 7)}));
  EXPECT_EQ(channel[1].reason, 20020);
  EXPECT_EQ(channel[1].params, (std::vector<Param>{Str(kQmgrName, "QM1"), Str(3025, user),
                                                   Str(3501, "TO.QM2"), Int(1516, 1)}));
}

TEST_F(AgentWithMqTest, EventsThroughThePublisherQueue) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  std::string out;
  ASSERT_EQ(Ctl({"define", "QM1", "HARROWLINE.PUBLISH.EVENT.QUEUE", "--type", "local"}, &out), 0)
      << out;
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-q"}));
  Putter publisher("QM1");
  ASSERT_GE(publisher.qm_->hConn, 0);

  // Nobody serves the publisher queue: the subscription is put anyway, the
  // client hears that no publisher is active, and its events come from
  // the private queue.
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.connected());
  std::vector<Got> before;
  ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, "QM1")}));
  ASSERT_TRUE(Await(client, [](const Got& g) { return g.command == 10008; }, seconds(10)));
  ASSERT_TRUE(client.Send(10005, {}));
  std::optional<Got> opened =
      Await(client, [](const Got& g) { return g.command == 10005; }, seconds(10), &before);
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->comp_code, 0) << opened->reason;
  ASSERT_EQ(before.size(), 1u);
  EXPECT_EQ(before[0].type, MQCFT_EVENT);
  EXPECT_EQ(before[0].command, 44);
  EXPECT_EQ(before[0].reason, 20018);
  EXPECT_TRUE(Contains(before[0].params, Str(kQmgrName, "QM1")));

  // The subscription: the agent's open-events command, answering to the
  // private queue, named after the client's application (its program
  // name: longer than 16 characters, so taken as it is).
  mqPcfMessage* sub = CreatePcfMessage(0, MQCFT_COMMAND, 4096);
  ASSERT_EQ(publisher.Get("HARROWLINE.PUBLISH.EVENT.QUEUE", sub, 5000), 0);
  ASSERT_TRUE(RawToPcf(sub));
  EXPECT_EQ(sub->Cfh->Command, 10005);
  EXPECT_EQ(sub->Cfh->Type, MQCFT_COMMAND);
  std::string reply_q(sub->Body.Md.ReplyToQ, 48);
  std::string reply_qmgr(sub->Body.Md.ReplyToQMgr, 48);
  EXPECT_EQ((sub->Body.Md.Report & 0xC0), 0xC0);
  DeletePcfMessage(sub);
  reply_q.erase(reply_q.find_last_not_of(' ') + 1);
  reply_qmgr.erase(reply_qmgr.find_last_not_of(' ') + 1);
  EXPECT_EQ(reply_q, "HARROWLINE.EVENT.LOCALAGENT_EVENTS_TEST");
  EXPECT_EQ(reply_qmgr, "QM1");
  // Its description says whom it serves (cut to the 64 characters of a
  // queue description).
  ASSERT_TRUE(client.Send(13, {Str(2016, reply_q)}, 1, 10000));
  std::optional<Got> inquired = Await(client, [](const Got& g) { return g.command == 13; }, seconds(15));
  ASSERT_TRUE(inquired);
  std::string description;
  for (const Param& p : inquired->params) {
    if (p.id == 2013) description = p.text;
  }
  EXPECT_EQ(description.rfind("Created for 127.0.0.1(", 0), 0u) << description;
  EXPECT_NE(description.find("), user(), appl(LOCALAGENT"), std::string::npos) << description;

  // The test publishes an event there; it reaches the client.
  mqPcfMessage* event = BuildMessage(44, MQCFT_EVENT, {Str(kQmgrName, "QM1"), Str(2016, "PUB.Q")});
  event->Cfh->Reason = 2085;
  RawToPcf(event);
  std::string body(reinterpret_cast<char*>(event->Cfh), static_cast<size_t>(event->Body.UsedLength - 136));
  DeletePcfMessage(event);
  EXPECT_EQ(publisher.Put(reply_q.c_str(), "MQEVENT ", body), 0);
  std::optional<Got> published =
      Await(client, [](const Got& g) { return Contains(g.params, Str(2016, "PUB.Q")); }, seconds(10));
  ASSERT_TRUE(published) << Output();
  EXPECT_EQ(published->command, 44);
  EXPECT_EQ(published->reason, 2085);

  // Served (the test holds the publisher queue open for input): events
  // closed and opened again give no such warning before the answer.
  MQueue* serving = CreateMQueue(publisher.qm_->hConn, "HARROWLINE.PUBLISH.EVENT.QUEUE");
  ASSERT_TRUE(qqOpen(MQOO_INPUT_SHARED, serving, nullptr)) << serving->reason;
  ASSERT_TRUE(client.Send(10006, {}));
  std::optional<Got> closed =
      Await(client, [](const Got& g) { return g.command == 10006; }, seconds(10));
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->comp_code, 0) << closed->reason;
  ASSERT_TRUE(client.Send(10005, {}));
  before.clear();
  opened = Await(client, [](const Got& g) { return g.command == 10005; }, seconds(10), &before);
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->comp_code, 0) << opened->reason;
  EXPECT_TRUE(before.empty());
  DeleteMQueue(serving);
}

// The agent's own open never connects a queue manager that mqproxy.ini
// gives to a proxy (4018), so the event side is driven directly here: a
// connection holding QM1 under the settings of QMP, which QM1 serves.
TEST_F(AgentWithMqTest, ProxiedQueueManagerUsesItsConfiguredEventQueue) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  std::string out;
  for (std::vector<std::string> define :
       {std::vector<std::string>{"define", "QM1", "QMP.EVENTS", "--type", "local"},
        std::vector<std::string>{"define", "QM1", "APP.Q", "--type", "local", "--qdepthhi", "20",
                                 "--qdepthlo", "5"}}) {
    ASSERT_EQ(Ctl(define, &out), 0) << out;
  }
  // A loopback pair of nodes: the connection's side and the client's.
  int port = harrow::testsupport::FreeLoopbackPort();
  SocketAddress address{};
  std::snprintf(address.host, sizeof address.host, "127.0.0.1");
  std::snprintf(address.service, sizeof address.service, "%d", port);
  std::snprintf(address.protocol, sizeof address.protocol, "tcp");
  mqnMQNodeData* server = CreateMQNode(&address, MQNODE_MODE_SERVER);
  ASSERT_NE(server, nullptr);
  AgentClient client(port);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(mnOpen(server));
  mqnMQNodeData* node = server->accepted;
  ASSERT_NE(node, nullptr);

  AgentState agent(Settings{});
  ClientConnection c;
  c.qm = CreateCLConn("QM1", nullptr, nullptr, "GM1");
  ASSERT_NE(c.qm, nullptr);
  ASSERT_GE(c.qm->hConn, 0) << c.qm->reason;
  c.proxy.requested = "QMP";
  c.proxy.proxy = "QM1";
  c.proxy.system_event_queue = "QMP.EVENTS";
  mqPcfMessage* response = CreatePcfMessage(0, MQCFT_RESPONSE, 32000);

  // The configured queue, exclusively; the system event queues are the
  // proxy's own (20305).
  MQLONG reason = 0;
  EXPECT_EQ(DoExcmdOpenEvent(agent, c, node, &reason), 1) << reason;
  ASSERT_NE(c.qm->eventQueue, nullptr);
  EXPECT_EQ(std::string(c.qm->eventQueue->name).substr(0, 10), "QMP.EVENTS");
  Putter app("QM1");
  MQueue* other = CreateMQueue(app.qm_->hConn, "QMP.EVENTS");
  EXPECT_FALSE(qqOpen(MQOO_INPUT_SHARED, other, nullptr));
  DeleteMQueue(other);
  reason = 0;
  EXPECT_EQ(OpenSysEventQ(c, &reason), 0);
  EXPECT_EQ(reason, 20305);

  // An event put there is forwarded with the queue's depth limits added.
  mqPcfMessage* event = BuildMessage(45, MQCFT_EVENT, {Str(kQmgrName, "QM1"), Str(2002, "APP.Q")});
  event->Cfh->Reason = 2224;
  RawToPcf(event);
  std::string body(reinterpret_cast<char*>(event->Cfh), static_cast<size_t>(event->Body.UsedLength - 136));
  DeletePcfMessage(event);
  EXPECT_EQ(app.Put("QMP.EVENTS", "MQEVENT ", body), 0);
  bool lose = false;
  EXPECT_TRUE(ForwardEvents(agent, c, node, response, &lose));
  EXPECT_FALSE(lose);
  mqPcfMessage* got = client.Receive(seconds(5));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, 45);
  EXPECT_EQ(ParamsOf(got), (std::vector<Param>{Str(kQmgrName, "QM1"), Str(2002, "APP.Q"),
                                               Int(40, 20), Int(41, 5)}));

  // Discovery does not ask after the command server of a proxied queue
  // manager: with it stopped the 16 inquiries are put all the same.
  ASSERT_EQ(Ctl({"cmdserver", "QM1", "stop"}), 0);
  std::string failing;
  reason = 0;
  EXPECT_EQ(RunDiscovery(agent, c, node, response, &failing, &reason), 1) << reason;
  EXPECT_TRUE(failing.empty());
  got = client.Receive(seconds(5));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Cfh->Command, 10007);
  EXPECT_EQ(client.Receive(milliseconds(500)), nullptr);
  MQLONG depth = 0, rc = 0;
  EXPECT_TRUE(qqGetIntAttr(app.qm_->hConn, "SYSTEM.ADMIN.COMMAND.QUEUE", 3, &depth, &rc)) << rc;
  EXPECT_EQ(depth, 16);

  DeletePcfMessage(response);
  DeleteSysEventQueues(c);
  DeleteMQManager(c.qm);
  DeleteMQNode(node);
  DeleteMQNode(server);
}

}  // namespace
}  // namespace localagent::testing
