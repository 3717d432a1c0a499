// Message requests through the agent: a client selects a queue manager and
// sends 10300 to 10306; the agent hands each to the message server on a
// connection of its own and relays the responses up to the last one.

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <msgops/protocol.h>
#include <pcfcore/excmd.h>

#include "message_requests.h"
#include "mqsim_host.h"

namespace localagent::testing {
namespace {

using std::chrono::seconds;

constexpr MQLONG kQmgrName = 2015;
constexpr MQLONG kQName = 2016;
constexpr MQLONG kQNames = 3011;
constexpr MQLONG kSyncpoint = 30;
constexpr MQLONG kDepth = 3;
constexpr MQLONG kSource = 20030;
constexpr MQLONG kDestination = 20031;
constexpr MQLONG kLimit = 20157;
constexpr MQLONG kFirstPosition = 20159;
constexpr MQLONG kDataLength = 20158;
constexpr MQLONG kData = 20037;
constexpr MQLONG kFormat = 20022;

// A request with string lists besides strings and integers.
class Request {
 public:
  explicit Request(MQLONG command) : message_(CreatePcfMessage(command, MQCFT_COMMAND, 1024)) {
    Str(kQmgrName, "QM1");
  }
  ~Request() { DeletePcfMessage(message_); }
  Request& Str(MQLONG id, const std::string& text) {
    Message r{};
    CreatePcfStrAttr(&r, id, text.c_str());
    return Append(&r);
  }
  Request& Int(MQLONG id, MQLONG value) {
    Message r{};
    CreatePcfIntAttr(&r, id, value);
    return Append(&r);
  }
  Request& StrList(MQLONG id, const std::vector<std::string>& items) {
    Message r{};
    CreatePcfStrListAttr(&r, id, 0, 48);
    for (size_t i = 0; i < items.size(); ++i) {
      SetPcfStrListAttrValue(&r, static_cast<MQLONG>(i), items[i].c_str());
    }
    return Append(&r);
  }
  mqPcfMessage* get() {
    RawToPcf(message_);
    return message_;
  }

 private:
  Request& Append(Message* r) {
    AppendAttr(message_, r);
    DeleteMessage(r);
    return *this;
  }
  mqPcfMessage* message_;
};

// What a test keeps of one response.
struct Response {
  MQLONG command = 0, control = 0, comp_code = 0, reason = 0, seq = 0;
  std::string request_id;
  std::vector<Param> params;
  std::optional<MQLONG> Int(MQLONG id) const {
    for (const Param& p : params) {
      if (p.id == id && !p.is_string) return p.value;
    }
    return std::nullopt;
  }
  std::optional<std::string> Str(MQLONG id) const {
    for (const Param& p : params) {
      if (p.id == id && p.is_string) return p.text;
    }
    return std::nullopt;
  }
};

Response Keep(const mqPcfMessage* m) {
  Response r;
  r.command = m->Cfh->Command;
  r.control = m->Cfh->Control;
  r.comp_code = m->Cfh->CompCode;
  r.reason = m->Cfh->Reason;
  r.seq = m->Cfh->MsgSeqNumber;
  const char* id = reinterpret_cast<const char*>(MESSAGE_HEADER(&m->Body)->MsgId);
  r.request_id = std::string(id, strnlen(id, 24));
  r.params = ParamsOf(m);
  return r;
}

// Every response of one request, up to the one with Control 1; empty when
// the agent stopped answering.
std::vector<Response> ReceiveAll(AgentClient& client, size_t most = 1000) {
  std::vector<Response> all;
  while (all.size() < most) {
    mqPcfMessage* got = client.Receive(seconds(20));
    if (got == nullptr) return {};
    all.push_back(Keep(got));
    if (all.back().control == MQCFC_LAST) break;
  }
  return all;
}

std::vector<Response> Exchange(AgentClient& client, Request& request, MQLONG wait_ms = 10000) {
  if (!client.SendBuilt(request.get(), 1, wait_ms)) return {};
  return ReceiveAll(client);
}

class MessageRequestsTest : public AgentWithMqTest {
 protected:
  void StartWithQm1(const std::vector<std::string>& queues) {
    ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
    for (const std::string& queue : queues) {
      std::vector<std::string> args = {"define", "QM1"};
      size_t blank = queue.find(' ');
      args.push_back(queue.substr(0, blank));
      args.insert(args.end(), {"--type", "local"});
      if (blank != std::string::npos) args.insert(args.end(), {"--maxdepth", queue.substr(blank + 1)});
      std::string out;
      ASSERT_EQ(Ctl(args, &out), 0) << out;
    }
    ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-q"}));
  }
  // Selects QM1 on the client.
  void Open(AgentClient& client) {
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, "QM1")}));
    mqPcfMessage* got = client.Receive(seconds(10));
    ASSERT_NE(got, nullptr);
    ASSERT_EQ(got->Cfh->CompCode, 0) << got->Cfh->Reason << "\n" << Output();
  }
  // Puts count messages "hello" on queue through the agent.
  void PutHello(AgentClient& client, const std::string& queue, MQLONG count) {
    Request put(EXCMD_MG_NEW);
    put.StrList(kQNames, {queue}).Int(kLimit, count).Int(kDataLength, 5).Str(kData, "hello")
        .Str(kFormat, "MQSTR");
    std::vector<Response> got = Exchange(client, put);
    ASSERT_EQ(got.size(), 1u) << Output();
    ASSERT_EQ(got[0].comp_code, 0) << got[0].reason;
    ASSERT_EQ(got[0].Int(kLimit), count);
  }
  // The depth of queue as a browse's final response gives it.
  MQLONG Depth(AgentClient& client, const std::string& queue) {
    Request browse(EXCMD_MG_BROWSE);
    browse.Str(kQName, queue).Int(kLimit, 0);
    std::vector<Response> got = Exchange(client, browse);
    if (got.empty() || !got.back().Int(kDepth)) return -1;
    return *got.back().Int(kDepth);
  }
};

TEST_F(MessageRequestsTest, EachKindRunsAndItsResponsesAreRelayedToTheLast) {
  ASSERT_NO_FATAL_FAILURE(StartWithQm1({"MR.SRC", "MR.DST", "MR.MOVED"}));
  AgentClient client(agent_port_);
  // Without a queue manager: 2059, nothing run.
  Request early(EXCMD_MG_BROWSE);
  early.Str(kQName, "MR.SRC");
  std::vector<Response> got = Exchange(client, early);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].comp_code, 2);
  EXPECT_EQ(got[0].reason, 2059);
  ASSERT_NO_FATAL_FAILURE(Open(client));

  // New messages: one final response, with the node identity.
  ASSERT_NO_FATAL_FAILURE(PutHello(client, "MR.SRC", 3));

  // Browse: one response per message in order, then the final one with the
  // depth; every one carries the client's request id.
  Request browse(EXCMD_MG_BROWSE);
  browse.Str(kQName, "MR.SRC");
  got = Exchange(client, browse);
  ASSERT_EQ(got.size(), 4u) << Output();
  for (MQLONG i = 0; i < 3; ++i) {
    EXPECT_EQ(got[i].command, EXCMD_MG_BROWSE);
    EXPECT_EQ(got[i].control, MQCFC_NOT_LAST);
    EXPECT_EQ(got[i].seq, i + 1);
    EXPECT_EQ(got[i].Str(kData), "hello");
    EXPECT_EQ(got[i].request_id, "LKOUT-1");
  }
  EXPECT_EQ(got[3].control, MQCFC_LAST);
  EXPECT_EQ(got[3].comp_code, 0);
  EXPECT_EQ(got[3].Int(kDepth), 3);
  EXPECT_EQ(got[3].Int(kLimit), 3);
  EXPECT_EQ(got[3].Int(20119), 7);
  EXPECT_EQ(got[3].Str(20909), "3.6.0023");
  EXPECT_EQ(got[3].request_id, "LKOUT-1");

  // Find over a generic name: one response for the queue that holds them.
  Request find(EXCMD_MG_FIND);
  find.Str(kQName, "MR.*");
  got = Exchange(client, find);
  ASSERT_EQ(got.size(), 2u) << Output();
  EXPECT_EQ(got[0].Str(kQName), "MR.SRC");
  EXPECT_EQ(got[0].Int(kDepth), 3);
  EXPECT_EQ(got[1].control, MQCFC_LAST);
  EXPECT_EQ(got[1].Int(kLimit), 1);  // one find per queue that holds a match

  // Copy, move, delete: one final response each, counts and depths.
  Request copy(EXCMD_MG_COPY);
  copy.Str(kSource, "MR.SRC").Str(kDestination, "MR.DST").Int(kLimit, -1);
  got = Exchange(client, copy);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].comp_code, 0) << got[0].reason;
  EXPECT_EQ(got[0].Int(kLimit), 3);
  Request move(EXCMD_MG_MOVE);
  move.Str(kSource, "MR.DST").Str(kDestination, "MR.MOVED").Int(kLimit, -1).Int(kSyncpoint, 1);
  got = Exchange(client, move);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].comp_code, 0) << got[0].reason;
  EXPECT_EQ(got[0].Int(kLimit), 3);
  EXPECT_EQ(Depth(client, "MR.DST"), 0);
  Request remove(EXCMD_MG_DELETE);
  remove.Str(kQName, "MR.MOVED").Int(kLimit, 2);
  got = Exchange(client, remove);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].comp_code, 0) << got[0].reason;
  EXPECT_EQ(got[0].Int(kLimit), 2);
  EXPECT_EQ(got[0].Int(kDepth), 1);
  EXPECT_EQ(Depth(client, "MR.SRC"), 3);

  // Refusals of the server, each in one final response.
  struct Case {
    const char* what;
    MQLONG command;
    std::vector<std::pair<MQLONG, std::string>> strings;
    std::vector<std::pair<MQLONG, MQLONG>> ints;
    MQLONG comp_code, reason;
  } cases[] = {
      {"unknown queue", EXCMD_MG_BROWSE, {{kQName, "MR.NONE"}}, {}, 2, 2085},
      {"no queue named", EXCMD_MG_BROWSE, {}, {}, 2, 2085},
      {"past the last message", EXCMD_MG_BROWSE, {{kQName, "MR.SRC"}}, {{kFirstPosition, 9}}, 1, 2033},
      {"nothing to delete", EXCMD_MG_DELETE, {{kQName, "MR.DST"}}, {}, 2, 2033},
      {"find without queues", EXCMD_MG_FIND, {}, {}, 2, 3019},
      {"copy without a destination", EXCMD_MG_COPY, {{kSource, "MR.SRC"}}, {}, 2, 2085},
      {"modify", EXCMD_MG_MODIFY, {{kQName, "MR.SRC"}}, {}, 2, 3007},
  };
  for (const Case& c : cases) {
    Request request(c.command);
    for (const auto& [id, text] : c.strings) request.Str(id, text);
    for (const auto& [id, value] : c.ints) request.Int(id, value);
    got = Exchange(client, request);
    ASSERT_EQ(got.size(), 1u) << c.what;
    EXPECT_EQ(got[0].command, c.command) << c.what;
    EXPECT_EQ(got[0].control, MQCFC_LAST) << c.what;
    EXPECT_EQ(got[0].comp_code, c.comp_code) << c.what;
    EXPECT_EQ(got[0].reason, c.reason) << c.what;
  }

  // Find needs the command server for a generic name.
  ASSERT_EQ(Ctl({"cmdserver", "QM1", "stop"}), 0);
  got = Exchange(client, find);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back().comp_code, 2);
  EXPECT_EQ(got.back().reason, 20012);
  ASSERT_EQ(Ctl({"cmdserver", "QM1", "start"}), 0);

  // Without the reply flag the request runs and nothing is answered: the
  // next answer is the next request's.
  Request quiet(EXCMD_MG_DELETE);
  quiet.Str(kQName, "MR.SRC").Int(kLimit, 1);
  ASSERT_TRUE(client.SendBuilt(quiet.get(), /*reply_tag=*/0));
  EXPECT_EQ(Depth(client, "MR.SRC"), 2);
}

TEST_F(MessageRequestsTest, RefusedForAQueueManagerServedByAProxy) {
  {
    std::ofstream ini(dir_->Sub("config/groups/mqproxy.ini"));
    ini << "QMP::Proxy=QM1\n";
  }
  ASSERT_NO_FATAL_FAILURE(StartWithQm1({"MR.SRC"}));
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, "QMP")}));
  mqPcfMessage* opened = client.Receive(seconds(10));
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->Cfh->Reason, 4018);
  Request browse(EXCMD_MG_BROWSE);
  browse.Str(kQName, "MR.SRC");
  std::vector<Response> got = Exchange(client, browse);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].comp_code, 2);
  EXPECT_EQ(got[0].reason, 2059);
}

// With authority checks the server acts on the queues as the checked
// user (a plain frame names the sending process's user): a user the queue
// manager refuses as alternate user gets 2035.
TEST_F(MessageRequestsTest, WithAuthorityChecksRequestsRunAsTheCheckedUser) {
  std::string rules = dir_->Sub("authority.rules");
  {
    std::ofstream out(rules);
    out << "default allow\n";
  }
  ASSERT_EQ(chmod(rules.c_str(), 0600), 0);
  env_.push_back({"HRLCOMPACT_AUTH_RULES", rules});
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  std::string out;
  ASSERT_EQ(Ctl({"define", "QM1", "MR.SRC", "--type", "local"}, &out), 0) << out;
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-q", "+u"}));
  AgentClient client(agent_port_);
  ASSERT_TRUE(client.Send(10008, {Str(kQmgrName, "QM1")}));
  mqPcfMessage* opened = client.Receive(seconds(10));
  ASSERT_NE(opened, nullptr);
  ASSERT_EQ(opened->Cfh->CompCode, 0) << opened->Cfh->Reason << "\n" << Output();

  Request browse(EXCMD_MG_BROWSE);
  browse.Str(kQName, "MR.SRC");
  ASSERT_TRUE(client.SendBuilt(browse.get()));
  std::vector<Response> got = ReceiveAll(client);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].comp_code, 1);  // allowed: an empty queue
  EXPECT_EQ(got[0].reason, 2033);

  const passwd* me = getpwuid(geteuid());
  ASSERT_NE(me, nullptr);
  std::string user = std::string(me->pw_name).substr(0, 12);
  for (char& ch : user) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  ASSERT_EQ(Ctl({"deny", "QM1", user}, &out), 0) << out;
  ASSERT_TRUE(client.SendBuilt(browse.get()));
  got = ReceiveAll(client);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].comp_code, 2);
  EXPECT_EQ(got[0].reason, 2035);
}

// A run that cannot put its final response still ends with one: the
// pooled connection's reply queue holds three messages here, so a browse of
// five fills it and the server's own final response fails too.
TEST_F(MessageRequestsTest, ARunWithoutItsFinalResponseStillGetsOne) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  // Every reply queue holds three messages at most: a new-message request
  // (one response) runs, a browse of five fills the queue.
  std::string out;
  ASSERT_EQ(Ctl({"define", "QM1", "SYSTEM.DEFAULT.MODEL.QUEUE", "--type", "model", "--replace",
                 "--maxdepth", "3", "--deftype", "tempdyn"},
                &out),
            0)
      << out;
  ASSERT_EQ(Ctl({"define", "QM1", "MR.SRC", "--type", "local"}, &out), 0) << out;
  ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-q"}));
  AgentClient again(agent_port_);
  ASSERT_NO_FATAL_FAILURE(Open(again));
  ASSERT_NO_FATAL_FAILURE(PutHello(again, "MR.SRC", 5));
  Request browse(EXCMD_MG_BROWSE);
  browse.Str(kQName, "MR.SRC");
  std::vector<Response> got = Exchange(again, browse);
  ASSERT_EQ(got.size(), 4u) << Output();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(got[i].control, MQCFC_NOT_LAST);
  EXPECT_EQ(got[3].control, MQCFC_LAST);
  EXPECT_EQ(got[3].comp_code, 2);
  EXPECT_EQ(got[3].reason, 2053);  // MQRC_Q_FULL
  EXPECT_EQ(got[3].command, EXCMD_MG_BROWSE);
  // The connection serves the next request as before.
  Request small(EXCMD_MG_BROWSE);
  small.Str(kQName, "MR.SRC").Int(kLimit, 1);
  got = Exchange(again, small);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].comp_code, 0);
}

// Two clients at once on one queue manager: one moves messages in units of
// work that commit, the other moves into a queue too small, so its unit of
// work is backed out, and browses a third queue. Neither sees the other's
// responses, and neither's commit or back-out touches the other's work.
TEST_F(MessageRequestsTest, TwoClientsAtOnceNeitherSeesNorAffectsTheOther) {
  ASSERT_NO_FATAL_FAILURE(StartWithQm1({"A.SRC", "A.DST", "B.SRC", "B.DST 2", "C.Q"}));
  AgentClient a(agent_port_), b(agent_port_);
  a.set_request_id("CLIENT-A");
  b.set_request_id("CLIENT-B");
  ASSERT_NO_FATAL_FAILURE(Open(a));
  ASSERT_NO_FATAL_FAILURE(Open(b));
  ASSERT_NO_FATAL_FAILURE(PutHello(b, "B.SRC", 6));
  ASSERT_NO_FATAL_FAILURE(PutHello(b, "C.Q", 5));

  constexpr int kRounds = 12;
  std::mutex mutex;
  std::vector<std::string> faults;  // guarded by mutex
  auto fault = [&](const char* client, int round, const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex);
    faults.push_back(std::string(client) + " round " + std::to_string(round) + ": " + what);
  };
  // Every response is the request's own: its command and its client's id.
  auto own = [&](const std::vector<Response>& got, MQLONG command, const char* id, int round) {
    if (got.empty()) fault(id, round, "no final response");
    for (const Response& r : got) {
      if (r.command != command || r.request_id != id) {
        fault(id, round, "response of " + r.request_id + " to " + std::to_string(r.command));
      }
    }
  };
  auto outcome = [](const std::vector<Response>& got) {
    if (got.empty()) return std::string("none");
    const Response& last = got.back();
    return std::to_string(got.size()) + " responses, " + std::to_string(last.comp_code) + "/" +
           std::to_string(last.reason) + ", count " + std::to_string(last.Int(kLimit).value_or(-1));
  };
  std::thread client_a([&] {
    for (int i = 0; i < kRounds; ++i) {
      Request put(EXCMD_MG_NEW);
      put.StrList(kQNames, {"A.SRC"}).Int(kLimit, 4).Int(kSyncpoint, 1).Int(kDataLength, 1)
          .Str(kData, "a");
      std::vector<Response> got = Exchange(a, put);
      own(got, EXCMD_MG_NEW, "CLIENT-A", i);
      if (got.size() != 1 || got[0].comp_code != 0) fault("CLIENT-A", i, "put: " + outcome(got));
      Request move(EXCMD_MG_MOVE);
      move.Str(kSource, "A.SRC").Str(kDestination, "A.DST").Int(kLimit, -1).Int(kSyncpoint, 1);
      got = Exchange(a, move);
      own(got, EXCMD_MG_MOVE, "CLIENT-A", i);
      if (got.size() != 1 || got[0].comp_code != 0 || got[0].Int(kLimit) != 4) {
        fault("CLIENT-A", i, "move: " + outcome(got));
      }
    }
  });
  std::thread client_b([&] {
    for (int i = 0; i < kRounds; ++i) {
      Request move(EXCMD_MG_MOVE);
      move.Str(kSource, "B.SRC").Str(kDestination, "B.DST").Int(kLimit, -1).Int(kSyncpoint, 1);
      std::vector<Response> got = Exchange(b, move);
      own(got, EXCMD_MG_MOVE, "CLIENT-B", i);
      if (got.size() != 1 || got[0].comp_code != 2 || got[0].reason != 2053) {
        fault("CLIENT-B", i, "move: " + outcome(got));
      }
      Request browse(EXCMD_MG_BROWSE);
      browse.Str(kQName, "C.Q");
      got = Exchange(b, browse);
      own(got, EXCMD_MG_BROWSE, "CLIENT-B", i);
      if (got.size() != 6 || got.back().Int(kLimit) != 5) fault("CLIENT-B", i, "browse: " + outcome(got));
    }
  });
  client_a.join();
  client_b.join();
  for (const std::string& f : faults) ADD_FAILURE() << f;
  if (!faults.empty()) ADD_FAILURE() << Output();
  // Everything A committed is there; everything B backed out is back.
  EXPECT_EQ(Depth(a, "A.SRC"), 0);
  EXPECT_EQ(Depth(a, "A.DST"), 4 * kRounds);
  EXPECT_EQ(Depth(b, "B.SRC"), 6);
  EXPECT_EQ(Depth(b, "B.DST"), 0);
  EXPECT_EQ(Depth(b, "C.Q"), 5);
}

// The pool of connections: at most its size per queue manager, each a
// connection of its own even for a thread that holds one already; a
// request that finds all busy waits, and gives up with 2102 at its deadline
// or at a stop; a connection given back is taken again, one that went bad
// while idle is replaced.
TEST_F(MessageRequestsTest, PoolOfConnectionsPerQueueManager) {
  ASSERT_NO_FATAL_FAILURE(StartQueueManagers({"QM1"}));
  using Clock = std::chrono::steady_clock;
  const std::string command_queue = "SYSTEM.ADMIN.COMMAND.QUEUE";
  auto never = [] { return false; };
  // This thread's own connection, as a client connection thread holds one.
  MQManager* own = CreateCLConn("QM1", command_queue.c_str(), nullptr, "TEST");
  ASSERT_NE(own, nullptr);
  ASSERT_GE(own->hConn, 0);

  MessageServer server(2);
  ASSERT_NE(server.handle(), nullptr);
  MQLONG reason = 0;
  auto first = server.Acquire("QM1", command_queue, Clock::now() + seconds(10), never, &reason);
  ASSERT_NE(first, nullptr) << reason;
  auto second = server.Acquire("QM1", command_queue, Clock::now() + seconds(10), never, &reason);
  ASSERT_NE(second, nullptr) << reason;
  for (MQManager* m : {first->manager(), second->manager()}) {
    EXPECT_NE(m->hConn, own->hConn);
    EXPECT_EQ(m->ownsConnection, 1);
  }
  EXPECT_NE(first->manager()->hConn, second->manager()->hConn);
  EXPECT_EQ(server.OpenCount("QM1", command_queue), 2u);

  // Full: the deadline passes, or a stop ends the wait.
  auto asked = Clock::now();
  EXPECT_EQ(server.Acquire("QM1", command_queue, asked + std::chrono::milliseconds(300), never,
                           &reason),
            nullptr);
  EXPECT_EQ(reason, 2102);
  EXPECT_GE(Clock::now() - asked, std::chrono::milliseconds(300));
  reason = 0;
  EXPECT_EQ(server.Acquire("QM1", command_queue, Clock::now() + seconds(60), [] { return true; },
                           &reason),
            nullptr);
  EXPECT_EQ(reason, 2102);

  // A waiter gets the connection given back.
  MQManager* given_back = first->manager();
  MQManager* taken = nullptr;
  std::thread waiter([&] {
    MQLONG why = 0;
    auto lease = server.Acquire("QM1", command_queue, Clock::now() + seconds(20), never, &why);
    taken = lease ? lease->manager() : nullptr;
  });
  first.reset();
  waiter.join();
  EXPECT_EQ(taken, given_back);
  EXPECT_EQ(server.OpenCount("QM1", command_queue), 2u);
  second.reset();

  // The queue manager restarts while both are idle: each is found dead and
  // replaced by a working one.
  DeleteMQManager(own);
  mqsim_.Kill();
  harrow::testsupport::ServerOptions options;
  options.program = harrow::testsupport::ProgramPath("mqsim");
  options.args = {"-m", mqm_, "-s", "QM1"};
  options.env = env_;
  options.ready_text = "mqsim: ready";
  ASSERT_TRUE(mqsim_.Start(options));
  auto again = server.Acquire("QM1", command_queue, Clock::now() + seconds(10), never, &reason);
  ASSERT_NE(again, nullptr) << reason;
  EXPECT_TRUE(qqClear(again->manager()->replyQueue));
  EXPECT_EQ(server.OpenCount("QM1", command_queue), 1u);
}

}  // namespace
}  // namespace localagent::testing
