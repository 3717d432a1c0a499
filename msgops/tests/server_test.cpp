// The server automaton around the requests: one final response per
// request sent after the unit of work ended, the failure path, and one
// handle serving several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <msgops/msgops.h>
#include <string>
#include <thread>
#include <vector>

#include "mqsim_env.h"
#include "qm_link.h"
#include "server.h"

namespace msgops {
namespace {

using msgops_test::BytesParam;
using msgops_test::Conn;
using msgops_test::IntParam;
using msgops_test::MqsimEnv;
using msgops_test::PcfPtr;
using msgops_test::Request;

// A link that records what was on the reply queue when the unit of work
// ended, and can be told to fail the commit.
class WatchedLink : public MqiLink {
 public:
  WatchedLink(Conn* conn, std::string reply) : MqiLink(conn->h(), "QM1", reply), conn_(conn), reply_(reply) {}
  bool EndTransaction(bool commit) override {
    ends.push_back(commit);
    depth_at_end.push_back(conn_->BrowseAll(reply_).size());
    if (commit && fail_commit) {
      set_last_reason(MQRC_BACKED_OUT);
      return false;
    }
    return MqiLink::EndTransaction(commit);
  }
  bool fail_commit = false;
  std::vector<bool> ends;
  std::vector<size_t> depth_at_end;

 private:
  Conn* conn_;
  std::string reply_;
};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(env_.Start());
    ASSERT_TRUE(env_.DefineLocal("REPLY.Q"));
    ASSERT_TRUE(env_.DefineLocal("SOURCE.Q"));
    handle_ = ZORCREATE();
    ASSERT_NE(handle_, nullptr);
  }
  void TearDown() override { ZORDELETE(handle_); }
  MqsimEnv env_;
  void* handle_ = nullptr;
};

TEST_F(ServerTest, TheFinalResponseFollowsTheEndOfTheUnitOfWork) {
  Conn conn(env_.Connect());
  for (int i = 0; i < 3; ++i) ASSERT_EQ(conn.Put("SOURCE.Q", "m" + std::to_string(i)), 0);
  WatchedLink link(&conn, "REPLY.Q");
  Request request(EXCMD_MG_BROWSE);
  request.Str(MQCA_Q_NAME, "SOURCE.Q").Int(MQIA_SYNCPOINT, 1);
  EXPECT_EQ(ExecuteRequest(handle_, &link, request.get()), 1);
  ASSERT_EQ(link.ends, std::vector<bool>{true});
  // Three intermediate responses were out, the final one not yet.
  EXPECT_EQ(link.depth_at_end, std::vector<size_t>{3});
  auto responses = conn.Responses("REPLY.Q");
  ASSERT_EQ(responses.size(), 4u);
  EXPECT_EQ(responses.back()->Cfh->Control, MQCFC_LAST);
  EXPECT_EQ(responses.back()->Cfh->CompCode, 0);
}

TEST_F(ServerTest, AFailedCommitIsWhatTheFinalResponseSays) {
  Conn conn(env_.Connect());
  ASSERT_EQ(conn.Put("SOURCE.Q", "m"), 0);
  WatchedLink link(&conn, "REPLY.Q");
  link.fail_commit = true;
  Request request(EXCMD_MG_BROWSE);
  request.Str(MQCA_Q_NAME, "SOURCE.Q").Int(MQIA_SYNCPOINT, 1);
  EXPECT_EQ(ExecuteRequest(handle_, &link, request.get()), 1);
  EXPECT_EQ(link.ends, (std::vector<bool>{true, false}));
  auto responses = conn.Responses("REPLY.Q");
  ASSERT_EQ(responses.size(), 2u);
  EXPECT_EQ(responses.back()->Cfh->Control, MQCFC_LAST);
  EXPECT_EQ(responses.back()->Cfh->CompCode, MQCC_FAILED);
  EXPECT_EQ(responses.back()->Cfh->Reason, MQRC_BACKED_OUT);
}

TEST_F(ServerTest, AFailedRequestIsBackedOutBeforeItsResponse) {
  Conn conn(env_.Connect());
  WatchedLink link(&conn, "REPLY.Q");
  Request request(EXCMD_MG_BROWSE);
  request.Str(MQCA_Q_NAME, "NO.SUCH.Q");
  EXPECT_EQ(ExecuteRequest(handle_, &link, request.get()), 1);
  EXPECT_EQ(link.ends, std::vector<bool>{false});
  EXPECT_EQ(link.depth_at_end, std::vector<size_t>{0});
  auto responses = conn.Responses("REPLY.Q");
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_EQ(responses[0]->Cfh->Reason, MQRC_UNKNOWN_OBJECT_NAME);
}

TEST_F(ServerTest, AFinalResponseThatCannotBePutEndsOnTheFailurePath) {
  Conn conn(env_.Connect());
  MqiLink link(conn.h(), "QM1", "NO.SUCH.REPLY.Q");
  Request request(EXCMD_MG_MODIFY);
  EXPECT_EQ(ExecuteRequest(handle_, &link, request.get()), 0);
  EXPECT_EQ(link.last_reason(), MQRC_UNKNOWN_OBJECT_NAME);
  // A blank reply queue sends nothing and counts as sent.
  MqiLink silent(conn.h(), "QM1", "   ");
  EXPECT_EQ(ExecuteRequest(handle_, &silent, request.get()), 1);
}

TEST_F(ServerTest, NullArgumentsDoNothing) {
  Conn conn(env_.Connect());
  MqiLink link(conn.h(), "QM1", "REPLY.Q");
  Request request(EXCMD_MG_BROWSE);
  EXPECT_EQ(ExecuteRequest(nullptr, &link, request.get()), 0);
  EXPECT_EQ(ExecuteRequest(handle_, nullptr, request.get()), 0);
  EXPECT_EQ(ExecuteRequest(handle_, &link, nullptr), 0);
  EXPECT_EQ(ZOREXEC(nullptr, nullptr, nullptr), 0);
  ZORDELETE(nullptr);
  EXPECT_TRUE(conn.Responses("REPLY.Q").empty());
}

TEST_F(ServerTest, TwoThreadsOnOneHandleEachGetOnlyTheirOwnResponses) {
  ASSERT_TRUE(env_.DefineLocal("REPLY.B"));
  ASSERT_TRUE(env_.DefineLocal("SOURCE.B"));
  {
    Conn conn(env_.Connect());
    for (int i = 0; i < 7; ++i) ASSERT_EQ(conn.Put("SOURCE.Q", "first queue " + std::to_string(i)), 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(conn.Put("SOURCE.B", "second queue " + std::to_string(i)), 0);
  }
  struct Worker {
    const char* source;
    const char* reply;
    size_t messages;
    std::string prefix;
  } workers[] = {{"SOURCE.Q", "REPLY.Q", 7, "first queue"}, {"SOURCE.B", "REPLY.B", 3, "second queue"}};
  std::atomic<int> wrong{0};
  std::vector<std::string> failures[2];
  std::vector<std::thread> threads;
  for (int w = 0; w < 2; ++w) {
    threads.emplace_back([&, w] {
      const Worker& me = workers[w];
      Conn conn(env_.Connect());
      MqiLink link(conn.h(), "QM1", me.reply);
      for (int round = 0; round < 25; ++round) {
        std::string id = std::string(me.source) + "#" + std::to_string(round);
        Request request(EXCMD_MG_BROWSE);
        request.Str(MQCA_Q_NAME, me.source).Int(MG_MSG_LIMIT, 100).Ids(id, id);
        if (ExecuteRequest(handle_, &link, request.get()) != 1) ++wrong;
        auto responses = conn.Responses(me.reply);
        if (responses.size() != me.messages + 1) {
          failures[w].push_back("round " + std::to_string(round) + ": " + std::to_string(responses.size()) + " responses");
          ++wrong;
          continue;
        }
        for (size_t i = 0; i < responses.size(); ++i) {
          mqPcfMessage* r = responses[i].get();
          std::string correl(reinterpret_cast<const char*>(r->Body.Md.CorrelId), id.size());
          bool last = i + 1 == responses.size();
          if (correl != id || r->Cfh->Control != (last ? MQCFC_LAST : MQCFC_NOT_LAST)) ++wrong;
          if (!last && BytesParam(r, MG_DATA_BYTES).value_or("").rfind(me.prefix, 0) != 0) ++wrong;
          if (last && IntParam(r, MG_MSG_LIMIT) != static_cast<MQLONG>(me.messages)) ++wrong;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
  for (auto& f : failures) {
    for (auto& line : f) ADD_FAILURE() << line;
  }
}

}  // namespace
}  // namespace msgops

namespace msgops {
namespace {

TEST_F(ServerTest, ZorexecServesTheAgentsQueueManagerObject) {
  {
    Conn conn(env_.Connect());
    ASSERT_EQ(conn.Put("SOURCE.Q", "through the agent's connection"), 0);
  }
  MQManager* manager = CreateMQManager("QM1", nullptr, nullptr, "MSGOPS");
  ASSERT_NE(manager, nullptr);
  ASSERT_GT(manager->hConn, 0);
  ASSERT_EQ(qmOpen(manager, ""), 1);
  Request request(EXCMD_MG_BROWSE);
  request.Str(MQCA_Q_NAME, "SOURCE.Q").Ids("AGENT-REQUEST", "AGENT-CORREL");
  EXPECT_EQ(ZOREXEC(handle_, manager, request.get()), 1);
  EXPECT_EQ(manager->reason, 0u);
  // Both responses wait on the agent's own reply queue.
  std::vector<MQLONG> controls;
  for (;;) {
    Message got{};
    CreateMessage(&got, 4096);
    MQGMO gmo{};
    std::memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
    gmo.Version = MQGMO_VERSION_2;
    gmo.Options = MQGMO_NO_SYNCPOINT;
    int read = qqRead(&got, &gmo, manager->replyQueue);
    if (read == 1) {
      MQCFH cfh;
      std::memcpy(&cfh, got.Payload, sizeof cfh);
      controls.push_back(cfh.Control);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(got.Md.CorrelId), 12), "AGENT-CORREL");
    }
    DeleteMessage(&got);
    if (read != 1) break;
  }
  EXPECT_EQ(controls, (std::vector<MQLONG>{MQCFC_NOT_LAST, MQCFC_LAST}));
  DeleteMQManager(manager);
}

}  // namespace
}  // namespace msgops
