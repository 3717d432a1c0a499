// Delete, copy, move and new messages against a real mqsim: nothing lost,
// nothing doubled, whatever fails.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <msgops/msgops.h>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "message_bytes.h"
#include "mq_queue.h"
#include "mqsim_env.h"
#include "qm_link.h"
#include "server.h"

namespace msgops {
namespace {

using msgops_test::BytesParam;
using msgops_test::Conn;
using msgops_test::Dlh;
using msgops_test::IntParam;
using msgops_test::MqsimEnv;
using msgops_test::PcfPtr;
using msgops_test::Request;

constexpr const char* kReply = "TEST.REPLY";

class ChangeQueuesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(env_.Start());
    ASSERT_TRUE(env_.DefineLocal(kReply));
    conn_ = std::make_unique<Conn>(env_.Connect());
    link_ = std::make_unique<MqiLink>(conn_->h(), "QM1", kReply);
    handle_ = ZORCREATE();
  }
  void TearDown() override { ZORDELETE(handle_); }

  PcfPtr RunFinal(Request& request, int expected_result = 1) {
    EXPECT_EQ(ExecuteRequest(handle_, link_.get(), request.get()), expected_result);
    auto responses = conn_->Responses(kReply);
    EXPECT_EQ(responses.size(), 1u) << "exactly one response";
    if (responses.empty()) return nullptr;
    EXPECT_EQ(responses.back()->Cfh->Control, MQCFC_LAST);
    return std::move(responses.back());
  }

  // Puts n messages "<prefix> i" and returns their descriptors as put.
  std::vector<MQMD> Fill(const std::string& queue, int n, const std::string& prefix, MQLONG persistence = 0) {
    std::vector<MQMD> put;
    for (int i = 0; i < n; ++i) {
      MQMD md = Conn::NewMd();
      md.Persistence = persistence;
      EXPECT_EQ(conn_->Put(queue, prefix + " " + std::to_string(i), &md), 0);
      put.push_back(md);
    }
    return put;
  }

  static std::string Id(const MQMD& md) { return std::string(reinterpret_cast<const char*>(md.MsgId), 24); }

  // Every message id on the queues, with how often it is there.
  std::map<std::string, int> Census(std::initializer_list<const char*> queues) {
    std::map<std::string, int> seen;
    for (const char* q : queues) {
      for (auto& got : conn_->BrowseAll(q)) ++seen[Id(got.md)];
    }
    return seen;
  }

  MqsimEnv env_;
  std::unique_ptr<Conn> conn_;
  std::unique_ptr<MqiLink> link_;
  void* handle_ = nullptr;
};

TEST_F(ChangeQueuesTest, MovesAThousandMessagesInOrderWithTheirIdentity) {
  ASSERT_TRUE(env_.DefineLocal("SRC", {"--maxdepth", "5000"}));
  ASSERT_TRUE(env_.DefineLocal("DST", {"--maxdepth", "5000"}));
  auto originals = Fill("SRC", 1000, "message");
  std::vector<Conn::Got> before = conn_->BrowseAll("SRC");
  Request request(EXCMD_MG_MOVE);
  request.Str(MG_SOURCE_Q_NAME, "SRC").Str(MG_DEST_Q_NAME, "DST").Int(MG_MSG_LIMIT, -1);
  auto final = RunFinal(request);
  ASSERT_TRUE(final);
  EXPECT_EQ(final->Cfh->CompCode, 0);
  EXPECT_EQ(IntParam(final.get(), MG_MSG_LIMIT), 1000);
  EXPECT_EQ(IntParam(final.get(), MQIA_CURRENT_Q_DEPTH), 0);
  std::vector<Conn::Got> after = conn_->BrowseAll("DST");
  ASSERT_EQ(after.size(), 1000u);
  EXPECT_TRUE(conn_->BrowseAll("SRC").empty());
  for (size_t i = 0; i < after.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(after[i].data, "message " + std::to_string(i));
    EXPECT_EQ(Id(after[i].md), Id(originals[i]));
    EXPECT_EQ(std::string(after[i].md.PutDate, 8), std::string(before[i].md.PutDate, 8));
    EXPECT_EQ(std::string(after[i].md.PutTime, 8), std::string(before[i].md.PutTime, 8));
  }
}

TEST_F(ChangeQueuesTest, AMoveIntoAQueueThatFillsUpLosesAndDoublesNothing) {
  ASSERT_TRUE(env_.DefineLocal("SRC", {"--maxdepth", "5000"}));
  ASSERT_TRUE(env_.DefineLocal("DST", {"--maxdepth", "500"}));
  auto originals = Fill("SRC", 1000, "message");
  Request request(EXCMD_MG_MOVE);
  request.Str(MG_SOURCE_Q_NAME, "SRC").Str(MG_DEST_Q_NAME, "DST").Int(MG_MSG_LIMIT, -1);
  auto final = RunFinal(request);
  ASSERT_TRUE(final);
  EXPECT_EQ(final->Cfh->CompCode, MQCC_FAILED);
  EXPECT_EQ(final->Cfh->Reason, MQRC_Q_FULL);
  EXPECT_EQ(IntParam(final.get(), MG_MSG_LIMIT), 500);
  auto census = Census({"SRC", "DST"});
  ASSERT_EQ(census.size(), 1000u);
  for (const MQMD& md : originals) EXPECT_EQ(census[Id(md)], 1);
  EXPECT_EQ(conn_->BrowseAll("DST").size(), 500u);

  // Going on past failed puts leaves each failing message where it was.
  Request bypass(EXCMD_MG_MOVE);
  bypass.Str(MG_SOURCE_Q_NAME, "SRC").Str(MG_DEST_Q_NAME, "DST").Int(MG_MSG_LIMIT, -1).Int(MG_FAILURE_POLICY, 1);
  auto warned = RunFinal(bypass);
  ASSERT_TRUE(warned);
  EXPECT_EQ(warned->Cfh->CompCode, MQCC_WARNING);
  EXPECT_EQ(warned->Cfh->Reason, MQRCCF_MQPUT_FAILED);
  EXPECT_EQ(IntParam(warned.get(), MG_MSG_LIMIT), 0);
  EXPECT_EQ(Census({"SRC", "DST"}).size(), 1000u);
  EXPECT_EQ(conn_->BrowseAll("SRC").size(), 500u);
}

TEST_F(ChangeQueuesTest, AKilledQueueManagerLeavesEveryMessageOnExactlyOneQueue) {
  ASSERT_TRUE(env_.DefineLocal("SRC", {"--maxdepth", "5000"}));
  ASSERT_TRUE(env_.DefineLocal("DST", {"--maxdepth", "5000"}));
  auto originals = Fill("SRC", 1000, "persistent", MQPER_PERSISTENT);
  std::atomic<bool> finished{false};
  std::thread mover([&] {
    Conn conn(env_.Connect());
    MqiLink link(conn.h(), "QM1", "");  // no responses: the server dies under it
    Request request(EXCMD_MG_MOVE);
    request.Str(MG_SOURCE_Q_NAME, "SRC").Str(MG_DEST_Q_NAME, "DST").Int(MG_MSG_LIMIT, -1);
    ExecuteRequest(handle_, &link, request.get());
    finished = true;
  });
  // Kill it somewhere in the middle of the move.
  bool started = harrow::testsupport::WaitFor(
      [&] {
        MQLONG depth = 0;
        Queue dst(conn_->h(), "DST");
        MQLONG max_depth = 0;
        return dst.Open(MQOO_INQUIRE, "") && dst.Stats(&depth, &max_depth) && depth >= 100;
      },
      std::chrono::seconds(20));
  EXPECT_TRUE(started);
  env_.Kill();
  mover.join();
  EXPECT_TRUE(finished);
  conn_.reset();
  ASSERT_TRUE(env_.StartServer());
  // The restarted server's log still holds the first start's ready line:
  // wait until it takes connections.
  MQHCONN h = MQHC_UNUSABLE_HCONN;
  ASSERT_TRUE(harrow::testsupport::WaitFor(
      [&] {
        char qm[48];
        msgops_test::SetMqField(qm, sizeof qm, "QM1");
        MQLONG cc = 0, rc = 0;
        MQCONN(qm, &h, &cc, &rc);
        return cc == MQCC_OK;
      },
      std::chrono::seconds(20)));
  conn_ = std::make_unique<Conn>(h);
  auto census = Census({"SRC", "DST"});
  EXPECT_EQ(census.size(), 1000u);
  for (const MQMD& md : originals) EXPECT_EQ(census[Id(md)], 1);
  EXPECT_GE(conn_->BrowseAll("DST").size(), 100u);
}

TEST_F(ChangeQueuesTest, DeadLettersGoBackToTheirDestinationsWithoutTheirHeader) {
  for (const char* q : {"DLQ", "TARGET.ONE", "TARGET.TWO"}) ASSERT_TRUE(env_.DefineLocal(q));
  MQMD dead = Conn::NewMd(MQFMT_DEAD_LETTER_HEADER);
  ASSERT_EQ(conn_->Put("DLQ", Dlh("TARGET.ONE", "QM1", "MQSTR   ") + "first payload", &dead), 0);
  MQMD plain = Conn::NewMd();
  ASSERT_EQ(conn_->Put("DLQ", "no header at all", &plain), 0);
  MQMD dead2 = Conn::NewMd(MQFMT_DEAD_LETTER_HEADER);
  ASSERT_EQ(conn_->Put("DLQ", Dlh("TARGET.TWO", "", "MQSTR   ") + "second payload", &dead2), 0);
  Request request(EXCMD_MG_MOVE);
  request.Str(MG_SOURCE_Q_NAME, "DLQ").Str(MG_DEST_Q_NAME, MG_DEST_DEAD_LETTER).Int(MG_MSG_LIMIT, -1)
      .Int(MG_STRIP_HEADERS, MG_HDR_DLH);
  auto final = RunFinal(request);
  ASSERT_TRUE(final);
  EXPECT_EQ(final->Cfh->CompCode, 0);
  EXPECT_EQ(IntParam(final.get(), MG_MSG_LIMIT), 2);
  auto one = conn_->BrowseAll("TARGET.ONE");
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].data, "first payload");
  EXPECT_EQ(std::string(one[0].md.Format, 8), "MQSTR   ");
  EXPECT_EQ(one[0].md.CodedCharSetId, 819);
  EXPECT_EQ(Id(one[0].md), Id(dead));
  auto two = conn_->BrowseAll("TARGET.TWO");
  ASSERT_EQ(two.size(), 1u);
  EXPECT_EQ(two[0].data, "second payload");
  auto left = conn_->BrowseAll("DLQ");
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].data, "no header at all");
}

TEST_F(ChangeQueuesTest, CopyToTheSameQueueTakesOnlyWhatWasThere) {
  ASSERT_TRUE(env_.DefineLocal("LOOP.Q", {"--maxdepth", "100"}));
  for (int i = 0; i < 10; ++i) {
    MQMD md = Conn::NewMd();
    md.Priority = i % 3;
    ASSERT_EQ(conn_->Put("LOOP.Q", "m" + std::to_string(i), &md), 0);
  }
  Request copy(EXCMD_MG_COPY);
  copy.Str(MG_SOURCE_Q_NAME, "LOOP.Q").Str(MG_DEST_Q_NAME, "LOOP.Q").Int(MG_MSG_LIMIT, -1);
  auto final = RunFinal(copy);
  ASSERT_TRUE(final);
  EXPECT_EQ(IntParam(final.get(), MG_MSG_LIMIT), 10);
  std::map<std::string, int> copies;
  for (auto& got : conn_->BrowseAll("LOOP.Q")) ++copies[got.data];
  ASSERT_EQ(copies.size(), 10u);
  for (auto& [data, count] : copies) EXPECT_EQ(count, 2) << data;

  Request move(EXCMD_MG_MOVE);
  move.Str(MG_SOURCE_Q_NAME, "LOOP.Q").Str(MG_DEST_Q_NAME, "LOOP.Q").Int(MG_MSG_LIMIT, -1);
  auto moved = RunFinal(move);
  ASSERT_TRUE(moved);
  EXPECT_EQ(IntParam(moved.get(), MG_MSG_LIMIT), 20);
  EXPECT_EQ(conn_->BrowseAll("LOOP.Q").size(), 20u);
}

TEST_F(ChangeQueuesTest, DeleteByKeyLeavesTheOthers) {
  ASSERT_TRUE(env_.DefineLocal("DEL.Q"));
  auto put = Fill("DEL.Q", 5, "keep");
  Request request(EXCMD_MG_DELETE);
  request.Str(MQCA_Q_NAME, "DEL.Q").Bin(20023, Id(put[2]));
  auto final = RunFinal(request);
  ASSERT_TRUE(final);
  EXPECT_EQ(final->Cfh->CompCode, 0);
  EXPECT_EQ(IntParam(final.get(), MG_MSG_LIMIT), 1);
  EXPECT_EQ(IntParam(final.get(), MQIA_CURRENT_Q_DEPTH), 4);
  auto left = conn_->BrowseAll("DEL.Q");
  ASSERT_EQ(left.size(), 4u);
  for (auto& got : left) EXPECT_NE(Id(got.md), Id(put[2]));

  Request all(EXCMD_MG_DELETE);
  all.Str(MQCA_Q_NAME, "DEL.Q").Int(MG_MSG_LIMIT, -1);
  auto gone = RunFinal(all);
  EXPECT_EQ(IntParam(gone.get(), MG_MSG_LIMIT), 4);
  Request none(EXCMD_MG_DELETE);
  none.Str(MQCA_Q_NAME, "DEL.Q");
  auto nothing = RunFinal(none);
  EXPECT_EQ(nothing->Cfh->CompCode, MQCC_FAILED);
  EXPECT_EQ(nothing->Cfh->Reason, MQRC_NO_MSG_AVAILABLE);
}

TEST_F(ChangeQueuesTest, InsertedHeadersAreChainedAndBadOffsetsRefused) {
  ASSERT_TRUE(env_.DefineLocal("EDIT.SRC"));
  ASSERT_TRUE(env_.DefineLocal("EDIT.DST"));
  ASSERT_EQ(conn_->Put("EDIT.SRC", "short"), 0);
  Request insert(EXCMD_MG_COPY);
  insert.Str(MG_SOURCE_Q_NAME, "EDIT.SRC").Str(MG_DEST_Q_NAME, "EDIT.DST").Int(MG_HEADER_FLAGS, MG_HDR_MDE | MG_HDR_DLH)
      .Str(20087, "WHERE.IT.WENT");
  auto final = RunFinal(insert);
  ASSERT_TRUE(final);
  EXPECT_EQ(final->Cfh->CompCode, 0);
  auto copied = conn_->BrowseAll("EDIT.DST");
  ASSERT_EQ(copied.size(), 1u);
  const std::string& data = copied[0].data;
  ASSERT_EQ(data.size(), 72u + 172u + 5u);
  EXPECT_EQ(std::string(copied[0].md.Format, 8), "MQHMDE  ");
  EXPECT_EQ(data.substr(0, 4), "MDE ");
  EXPECT_EQ(data.substr(20, 8), "MQDEAD  ");    // the MQMDE's Format names the MQDLH
  EXPECT_EQ(data.substr(72, 4), "DLH ");
  EXPECT_EQ(data.substr(72 + 12, 13), "WHERE.IT.WENT");
  EXPECT_EQ(data.substr(72 + 116, 8), "MQSTR   ");  // and the MQDLH the data
  EXPECT_EQ(data.substr(244), "short");

  Request bad(EXCMD_MG_COPY);
  bad.Str(MG_SOURCE_Q_NAME, "EDIT.SRC").Str(MG_DEST_Q_NAME, "EDIT.DST").Int(MG_DATA_OFFSET, 6).Str(MG_REPLACE_DATA, "x");
  auto refused = RunFinal(bad);
  EXPECT_EQ(refused->Cfh->CompCode, MQCC_FAILED);
  EXPECT_EQ(refused->Cfh->Reason, MQRC_DATA_LENGTH_ERROR);
  Request huge(EXCMD_MG_COPY);
  huge.Str(MG_SOURCE_Q_NAME, "EDIT.SRC").Str(MG_DEST_Q_NAME, "EDIT.DST").Int(MG_NEW_DATA_LENGTH, 0x7fffffff).Str(MG_REPLACE_DATA, "x");
  auto too_big = RunFinal(huge);
  EXPECT_EQ(too_big->Cfh->Reason, MQRC_DATA_LENGTH_ERROR);
  EXPECT_EQ(conn_->BrowseAll("EDIT.DST").size(), 1u);
  auto source = conn_->BrowseAll("EDIT.SRC");
  ASSERT_EQ(source.size(), 1u);
  EXPECT_EQ(source[0].data, "short");

  Request replace(EXCMD_MG_MOVE);
  replace.Str(MG_SOURCE_Q_NAME, "EDIT.SRC").Str(MG_DEST_Q_NAME, "EDIT.DST").Int(MG_DATA_OFFSET, 2).Bin(MG_REPLACE_BYTES, "ORTER!");
  auto replaced = RunFinal(replace);
  EXPECT_EQ(replaced->Cfh->CompCode, 0);
  auto dst = conn_->BrowseAll("EDIT.DST");
  ASSERT_EQ(dst.size(), 2u);
  EXPECT_EQ(dst[1].data, "shORT");  // at most the 3 bytes after the offset are replaced
}

TEST_F(ChangeQueuesTest, NewMessagesFollowTheFailurePolicy) {
  ASSERT_TRUE(env_.DefineLocal("NEW.A"));
  ASSERT_TRUE(env_.DefineLocal("NEW.B", {"--put", "disabled"}));
  ASSERT_TRUE(env_.DefineLocal("NEW.C"));
  struct Case {
    MQLONG policy;
    MQLONG put;
    size_t on_a, on_c;
  } cases[] = {{1, 4, 2, 2}, {0, 2, 2, 0}, {2, 4, 2, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.policy);
    Request request(EXCMD_MG_NEW);
    request.StrList(MQCACF_Q_NAMES, {"NEW.A", "NEW.B", "NEW.C"}).Int(MG_MSG_LIMIT, 2).Int(MG_FAILURE_POLICY, c.policy)
        .Str(MG_DATA_STRING, "hello").Int(MG_DATA_LENGTH, 8).Int(20154, 3);
    auto final = RunFinal(request);
    ASSERT_TRUE(final);
    EXPECT_EQ(final->Cfh->CompCode, MQCC_WARNING);
    EXPECT_EQ(final->Cfh->Reason, MQRCCF_MQPUT_FAILED);
    EXPECT_EQ(IntParam(final.get(), MG_MSG_LIMIT), c.put);
    msgops::RequestParams p(final.get());
    EXPECT_EQ(p.NameList(MQCACF_Q_NAMES), std::vector<std::string>{"NEW.B"});
    auto a = conn_->BrowseAll("NEW.A");
    auto cq = conn_->BrowseAll("NEW.C");
    EXPECT_EQ(a.size(), c.on_a);
    EXPECT_EQ(cq.size(), c.on_c);
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a[0].data, std::string("hello\0\0\0", 8));
    EXPECT_EQ(a[0].md.Priority, 3);
    conn_->Get("NEW.A", MQGMO_NO_SYNCPOINT);
    conn_->Get("NEW.A", MQGMO_NO_SYNCPOINT);
    while (conn_->Get("NEW.C", MQGMO_NO_SYNCPOINT).reason == 0) {
    }
  }
  // Fill bytes, and the failure without any queue.
  Request fill(EXCMD_MG_NEW);
  fill.StrList(MQCACF_Q_NAMES, {"NEW.A"}).Int(MG_DATA_LENGTH, 10).Int(MG_FILL_BYTE, 'z');
  EXPECT_EQ(RunFinal(fill)->Cfh->CompCode, 0);
  EXPECT_EQ(conn_->BrowseAll("NEW.A")[0].data, std::string(10, 'z'));
  Request none(EXCMD_MG_NEW);
  auto missing = RunFinal(none);
  EXPECT_EQ(missing->Cfh->Reason, MQRC_UNKNOWN_OBJECT_NAME);
  EXPECT_EQ(IntParam(missing.get(), MG_MSG_LIMIT), 0);
  EXPECT_FALSE(IntParam(missing.get(), MQIA_CURRENT_Q_DEPTH));
}

}  // namespace
}  // namespace msgops
