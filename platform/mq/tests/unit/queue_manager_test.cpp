// The queue manager driven directly, without a socket: waiting gets are
// parked and answered through the session's sink, so every wakeup, timeout
// and ending can be checked without any sleep. Also the replay of stored
// records against messages whose place in their queue changed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <chrono>
#include <cstring>
#include <ctime>
#include <limits>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <sys/time.h>
#include <thread>
#include <vector>

#include "common/install.h"
#include "common/protocol.h"
#include "server/journal.h"
#include "server/queue_def.h"
#include "server/queue_manager.h"
#include "testsupport/testsupport.h"

using namespace mqsim;
using namespace mqsim::server;

namespace {

// Collects what the queue manager sends later.
struct Sink : ReplySink {
  std::vector<GetReply> gets;
  bool ended = false;
  void SendReply(uint32_t op, const Writer& payload) override {
    EXPECT_EQ(op, kOpGet);
    GetReply r;
    EXPECT_TRUE(Decode(const_cast<Writer&>(payload).buffer(), &r));
    gets.push_back(r);
  }
  void SessionEnded() override { ended = true; }
};

MQMD Md(MQLONG persistence = MQPER_NOT_PERSISTENT, MQLONG priority = MQPRI_PRIORITY_AS_Q_DEF) {
  MQMD md{};
  std::memcpy(md.StrucId, MQMD_STRUC_ID, 4);
  md.Version = MQMD_VERSION_2;
  md.Persistence = persistence;
  md.Priority = priority;
  std::memcpy(md.Format, MQFMT_STRING, 8);
  return md;
}

Attr IntAttr(MQLONG sel, MQLONG v) {
  Attr a;
  a.selector = sel;
  a.int_value = v;
  return a;
}

Attr StrAttr(MQLONG sel, const std::string& v) {
  Attr a;
  a.selector = sel;
  a.is_string = true;
  a.str_value = v;
  return a;
}

class QueueManagerCoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_.emplace("mqsimcore");
    ASSERT_FALSE(temp_->path().empty());
    dir_ = temp_->path();
    std::string error;
    qm_ = QueueManager::Open("QMT", dir_, nullptr, &error);
    ASSERT_TRUE(qm_) << error;
    std::string text;
    ASSERT_EQ(qm_->DefineQueue({StrAttr(MQCA_Q_NAME, "Q"), IntAttr(MQIA_Q_TYPE, MQQT_LOCAL)}, false, &text).cc,
              MQCC_OK)
        << text;
  }
  void TearDown() override {
    qm_.reset();
    temp_.reset();
  }

  MQHOBJ Open(Session* s, MQLONG options, const std::string& name = "Q") {
    OpenRequest req;
    req.options = options;
    req.od.name = name;
    OpenReply r = qm_->OpenObject(s, req);
    EXPECT_EQ(r.cc, MQCC_OK) << r.rc;
    return r.hobj;
  }
  MQLONG Put(Session* s, MQHOBJ h, const std::string& data, MQLONG options = MQPMO_NO_SYNCPOINT,
             MQMD md = Md()) {
    PutRequest req;
    req.hobj = h;
    req.options = options;
    req.md = md;
    req.data = data;
    return qm_->Put(s, req, false).rc;
  }
  GetRequest GetReq(MQHOBJ h, MQLONG options, MQLONG wait_ms) {
    GetRequest req;
    req.hobj = h;
    req.options = options;
    req.wait_ms = wait_ms;
    req.md = Md();
    req.buffer_length = 1000;
    return req;
  }
  MQLONG Depth(Session* s, const std::string& name = "Q") {
    MQHOBJ h = Open(s, MQOO_INQUIRE, name);
    InquireRequest req;
    req.hobj = h;
    req.selectors = {MQIA_CURRENT_Q_DEPTH};
    req.int_count = 1;
    InquireReply r = qm_->Inquire(s, req);
    qm_->Close(s, CloseRequest{h, MQCO_NONE});
    return r.ints.empty() ? -1 : r.ints[0];
  }

  Sink& NewSink() {
    sinks_.emplace_back();
    return sinks_.back();
  }

  std::optional<harrow::testsupport::TempDir> temp_;
  std::string dir_;
  std::list<Sink> sinks_;  // outlive the queue manager, which answers into them
  std::unique_ptr<QueueManager> qm_;
};

TEST_F(QueueManagerCoreTest, ParkedGetIsAnsweredByALaterPut) {
  Sink& gs = NewSink();
  Sink& ps = NewSink();
  Session* getter = qm_->Connect("u", "getter", &gs);
  Session* putter = qm_->Connect("u", "putter", &ps);
  MQHOBJ in = Open(getter, MQOO_INPUT_SHARED);
  MQHOBJ out = Open(putter, MQOO_OUTPUT);
  GetReply now;
  ASSERT_FALSE(qm_->Get(getter, GetReq(in, MQGMO_WAIT, MQWI_UNLIMITED), &now)) << "not parked";
  EXPECT_TRUE(gs.gets.empty());
  EXPECT_EQ(Put(putter, out, "late"), MQRC_NONE);
  ASSERT_EQ(gs.gets.size(), 1u);
  EXPECT_EQ(gs.gets[0].cc, MQCC_OK);
  EXPECT_EQ(gs.gets[0].data, "late");
  EXPECT_EQ(Depth(putter), 0);
  EXPECT_TRUE(ps.gets.empty());
}

TEST_F(QueueManagerCoreTest, ParkedGetWakesOnCommitNotOnTheUncommittedPut) {
  Sink& gs = NewSink();
  Sink& ps = NewSink();
  Session* getter = qm_->Connect("u", "getter", &gs);
  Session* putter = qm_->Connect("u", "putter", &ps);
  MQHOBJ in = Open(getter, MQOO_INPUT_SHARED);
  MQHOBJ out = Open(putter, MQOO_OUTPUT);
  GetReply now;
  ASSERT_FALSE(qm_->Get(getter, GetReq(in, MQGMO_WAIT, MQWI_UNLIMITED), &now));
  EXPECT_EQ(Put(putter, out, "in a unit of work", MQPMO_SYNCPOINT), MQRC_NONE);
  EXPECT_TRUE(gs.gets.empty());
  qm_->Commit(putter);
  ASSERT_EQ(gs.gets.size(), 1u);
  EXPECT_EQ(gs.gets[0].data, "in a unit of work");
}

TEST_F(QueueManagerCoreTest, ParkedGetsAreServedInArrivalOrderAndMatchTheirIds) {
  Sink& s1 = NewSink();
  Sink& s2 = NewSink();
  Sink& ps = NewSink();
  Session* g1 = qm_->Connect("u", "g1", &s1);
  Session* g2 = qm_->Connect("u", "g2", &s2);
  Session* putter = qm_->Connect("u", "putter", &ps);
  MQHOBJ in1 = Open(g1, MQOO_INPUT_SHARED);
  MQHOBJ in2 = Open(g2, MQOO_INPUT_SHARED);
  MQHOBJ out = Open(putter, MQOO_OUTPUT);
  // g1 waits for correlation id "B" only; g2 for anything.
  GetRequest only_b = GetReq(in1, MQGMO_WAIT, MQWI_UNLIMITED);
  only_b.match_options = MQMO_MATCH_CORREL_ID;
  std::memcpy(only_b.md.CorrelId, "B", 1);
  GetReply now;
  ASSERT_FALSE(qm_->Get(g1, only_b, &now));
  ASSERT_FALSE(qm_->Get(g2, GetReq(in2, MQGMO_WAIT, MQWI_UNLIMITED), &now));
  MQMD a = Md();
  std::memcpy(a.CorrelId, "A", 1);
  EXPECT_EQ(Put(putter, out, "for anyone", MQPMO_NO_SYNCPOINT, a), MQRC_NONE);
  EXPECT_TRUE(s1.gets.empty());
  ASSERT_EQ(s2.gets.size(), 1u);
  EXPECT_EQ(s2.gets[0].data, "for anyone");
  MQMD b = Md();
  std::memcpy(b.CorrelId, "B", 1);
  EXPECT_EQ(Put(putter, out, "for g1", MQPMO_NO_SYNCPOINT, b), MQRC_NONE);
  ASSERT_EQ(s1.gets.size(), 1u);
  EXPECT_EQ(s1.gets[0].data, "for g1");
  EXPECT_EQ(s2.gets.size(), 1u);
}

TEST_F(QueueManagerCoreTest, ParkedGetTimesOutAtItsDeadlineAndNotBefore) {
  Sink& gs = NewSink();
  Session* getter = qm_->Connect("u", "getter", &gs);
  MQHOBJ in = Open(getter, MQOO_INPUT_SHARED);
  Clock::time_point before = Clock::now();
  GetReply now;
  ASSERT_FALSE(qm_->Get(getter, GetReq(in, MQGMO_WAIT, 5000), &now));
  Clock::time_point after = Clock::now();
  std::optional<Clock::time_point> deadline = qm_->NextDeadline();
  ASSERT_TRUE(deadline.has_value());
  EXPECT_GE(*deadline, before + std::chrono::milliseconds(5000));
  EXPECT_LE(*deadline, after + std::chrono::milliseconds(5000));
  qm_->OnTimer(*deadline - std::chrono::milliseconds(1));
  EXPECT_TRUE(gs.gets.empty());
  qm_->OnTimer(*deadline);
  ASSERT_EQ(gs.gets.size(), 1u);
  EXPECT_EQ(gs.gets[0].cc, MQCC_FAILED);
  EXPECT_EQ(gs.gets[0].rc, MQRC_NO_MSG_AVAILABLE);
  EXPECT_FALSE(qm_->NextDeadline().has_value());
  // An unlimited wait has no deadline.
  ASSERT_FALSE(qm_->Get(getter, GetReq(in, MQGMO_WAIT, MQWI_UNLIMITED), &now));
  EXPECT_FALSE(qm_->NextDeadline().has_value());
}

TEST_F(QueueManagerCoreTest, EndingAnswersParkedGetsAndEndsTheSessions) {
  Sink& gs = NewSink();
  Sink& fs = NewSink();
  Session* getter = qm_->Connect("u", "getter", &gs);
  Session* fiq = qm_->Connect("u", "fiq", &fs);
  MQHOBJ in = Open(getter, MQOO_INPUT_SHARED);
  MQHOBJ in2 = Open(fiq, MQOO_INPUT_SHARED);
  GetReply now;
  ASSERT_FALSE(qm_->Get(getter, GetReq(in, MQGMO_WAIT, MQWI_UNLIMITED), &now));
  ASSERT_FALSE(qm_->Get(fiq, GetReq(in2, MQGMO_WAIT | MQGMO_FAIL_IF_QUIESCING, MQWI_UNLIMITED), &now));
  qm_->Quiesce();
  // Only the fail-if-quiescing get learns of the quiesce.
  EXPECT_TRUE(gs.gets.empty());
  ASSERT_EQ(fs.gets.size(), 1u);
  EXPECT_EQ(fs.gets[0].rc, MQRC_Q_MGR_QUIESCING);
  qm_->End(MQRC_Q_MGR_STOPPING);
  ASSERT_EQ(gs.gets.size(), 1u);
  EXPECT_EQ(gs.gets[0].cc, MQCC_FAILED);
  EXPECT_EQ(gs.gets[0].rc, MQRC_Q_MGR_STOPPING);
  EXPECT_TRUE(gs.ended);
  EXPECT_TRUE(fs.ended);
  EXPECT_EQ(qm_->session_count(), 0u);
}

TEST_F(QueueManagerCoreTest, DisconnectWhileWaitingLeavesTheNextMessageForOthers) {
  Sink& gs = NewSink();
  Sink& ps = NewSink();
  Session* getter = qm_->Connect("u", "getter", &gs);
  Session* putter = qm_->Connect("u", "putter", &ps);
  MQHOBJ in = Open(getter, MQOO_INPUT_SHARED);
  MQHOBJ out = Open(putter, MQOO_OUTPUT);
  GetReply now;
  ASSERT_FALSE(qm_->Get(getter, GetReq(in, MQGMO_WAIT, 60000), &now));
  qm_->Disconnect(getter);
  EXPECT_FALSE(qm_->NextDeadline().has_value());
  EXPECT_EQ(Put(putter, out, "kept"), MQRC_NONE);
  EXPECT_TRUE(gs.gets.empty());
  EXPECT_EQ(Depth(putter), 1);
}

TEST_F(QueueManagerCoreTest, DeletingTheQueueAnswersItsParkedGets) {
  Sink& gs = NewSink();
  Session* getter = qm_->Connect("u", "getter", &gs);
  // A temporary dynamic queue goes when its creator closes it; a second
  // handle of the same session waits on it.
  OpenRequest model;
  model.options = MQOO_INPUT_SHARED;
  model.od.name = "SYSTEM.DEFAULT.MODEL.QUEUE";
  model.od.dynamic_name = "TMP.*";
  OpenReply created = qm_->OpenObject(getter, model);
  ASSERT_EQ(created.cc, MQCC_OK);
  Sink& ws = NewSink();
  Session* waiter = qm_->Connect("u", "waiter", &ws);
  MQHOBJ in = Open(waiter, MQOO_INPUT_SHARED, created.object_name);
  GetReply now;
  ASSERT_FALSE(qm_->Get(waiter, GetReq(in, MQGMO_WAIT, MQWI_UNLIMITED), &now));
  qm_->Close(getter, CloseRequest{created.hobj, MQCO_NONE});
  ASSERT_EQ(ws.gets.size(), 1u);
  EXPECT_EQ(ws.gets[0].rc, MQRC_Q_DELETED);
}

// Handles stay above 0 and distinct when the session's counter goes round,
// and a temporary dynamic queue still goes with the handle that made it.
TEST_F(QueueManagerCoreTest, ObjectHandlesStayPositiveAndDistinctPastTheLargest) {
  Sink& sink = NewSink();
  Session* s = qm_->Connect("u", "a", &sink);
  MQHOBJ first = Open(s, MQOO_OUTPUT);
  EXPECT_EQ(first, 1);
  s->next_hobj = std::numeric_limits<MQHOBJ>::max() - 1;
  MQHOBJ a = Open(s, MQOO_OUTPUT);
  OpenRequest model;
  model.options = MQOO_INPUT_SHARED;
  model.od.name = "SYSTEM.DEFAULT.MODEL.QUEUE";
  model.od.dynamic_name = "WRAP.*";
  OpenReply dyn = qm_->OpenObject(s, model);
  ASSERT_EQ(dyn.cc, MQCC_OK);
  MQHOBJ c = Open(s, MQOO_OUTPUT);
  EXPECT_EQ(a, std::numeric_limits<MQHOBJ>::max() - 1);
  EXPECT_EQ(dyn.hobj, std::numeric_limits<MQHOBJ>::max());
  EXPECT_EQ(c, 2);  // 1 is still open
  EXPECT_EQ(Depth(s, dyn.object_name), 0);
  EXPECT_EQ(qm_->Close(s, CloseRequest{dyn.hobj, MQCO_NONE}).cc, MQCC_OK);
  OpenRequest again;
  again.options = MQOO_INQUIRE;
  again.od.name = dyn.object_name;
  EXPECT_EQ(qm_->OpenObject(s, again).rc, MQRC_UNKNOWN_OBJECT_NAME);
}

// A message put while its queue delivered first-in-first-out sits at
// priority 0; the queue then changes to priority order and a checkpoint
// stores the message under its own priority. A later removal names the
// place the message was queued at (0). Replaying checkpoint and journal
// must still remove it: a got message must not come back.
TEST_F(QueueManagerCoreTest, ReplayRemovesAMessageWhoseQueueChangedItsDeliveryOrder) {
  qm_.reset();
  std::string qdir = dir_ + "/replay";
  ASSERT_TRUE(MakeDirs(qdir));
  QueueDef def;
  def.name = "ORDER.Q";
  def.type = MQQT_LOCAL;
  def.ints[MQIA_MSG_DELIVERY_SEQUENCE] = MQMDS_PRIORITY;
  def.ApplyDefaults();
  JournalRecord define;
  define.type = JournalRecord::kDefineQueue;
  define.attrs = def.ToAttrs();
  auto put = [](uint64_t seq, MQLONG priority) {
    JournalRecord p;
    p.type = JournalRecord::kPutMessage;
    p.queue = "ORDER.Q";
    p.seq = seq;
    p.md = Md(MQPER_PERSISTENT, priority);
    p.data = "m" + std::to_string(seq);
    return p;
  };
  {
    Journal j;
    std::string error, note;
    ASSERT_TRUE(j.Load(qdir, [](const JournalRecord&) {}, &error, &note)) << error;
    ASSERT_TRUE(j.WriteCheckpoint({define, put(5, 5), put(6, 5), put(7, 3)}, &error)) << error;
    JournalRecord remove;
    remove.type = JournalRecord::kRemoveMessage;
    remove.queue = "ORDER.Q";
    remove.seq = 5;
    remove.priority = 0;  // where it sat when it was put
    JournalRecord backout;
    backout.type = JournalRecord::kBackoutCount;
    backout.queue = "ORDER.Q";
    backout.seq = 7;
    backout.priority = 0;
    backout.backout_count = 2;
    j.Append({remove, backout});
    ASSERT_TRUE(j.Sync(&error)) << error;
  }
  std::string error;
  qm_ = QueueManager::Open("QMR", qdir, nullptr, &error);
  ASSERT_TRUE(qm_) << error;
  Sink& sink = NewSink();
  Session* s = qm_->Connect("u", "a", &sink);
  EXPECT_EQ(Depth(s, "ORDER.Q"), 2);
  MQHOBJ in = Open(s, MQOO_INPUT_SHARED, "ORDER.Q");
  GetReply r;
  ASSERT_TRUE(qm_->Get(s, GetReq(in, MQGMO_NO_SYNCPOINT, 0), &r));
  EXPECT_EQ(r.data, "m6");
  ASSERT_TRUE(qm_->Get(s, GetReq(in, MQGMO_NO_SYNCPOINT, 0), &r));
  EXPECT_EQ(r.data, "m7");
  EXPECT_EQ(r.md.BackoutCount, 2);
}

}  // namespace

namespace {

// The UTC date and second of `t`, as strftime writes them.
std::string UtcText(time_t t) {
  tm g{};
  gmtime_r(&t, &g);
  char buf[32];
  strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &g);
  return buf;
}

}  // namespace

// The date and second part of the stamp are kept between puts: every stamp,
// also across second changes, must equal what the clock said around it.
TEST(PutTimeStampTest, DateAndTimeMatchTheClockAcrossSeconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1100);
  int stamps = 0;
  while (std::chrono::steady_clock::now() < until) {
    timeval before{}, after{};
    gettimeofday(&before, nullptr);
    MQMD md{};
    StampPutTime(&md);
    gettimeofday(&after, nullptr);
    std::string got = std::string(md.PutDate, 8) + std::string(md.PutTime, 6);
    EXPECT_TRUE(got == UtcText(before.tv_sec) || got == UtcText(after.tv_sec)) << got;
    const char h0 = md.PutTime[6], h1 = md.PutTime[7];
    EXPECT_TRUE(h0 >= '0' && h0 <= '9' && h1 >= '0' && h1 <= '9');
    ++stamps;
    std::this_thread::sleep_for(std::chrono::milliseconds(7));
  }
  EXPECT_GT(stamps, 50);
}
