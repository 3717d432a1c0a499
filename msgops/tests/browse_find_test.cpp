// Browse and find against a real mqsim: paging, every field of a browse
// response, header chains, find over several queues, and the final
// response of every kind of request.
#include <gtest/gtest.h>

#include <cstring>
#include <msgops/msgops.h>
#include <string>
#include <vector>

#include "fields.h"
#include "message_bytes.h"
#include "mqsim_env.h"
#include "qm_link.h"
#include "server.h"

namespace msgops {
namespace {

using msgops_test::BytesParam;
using msgops_test::Conn;
using msgops_test::Dlh;
using msgops_test::IntParam;
using msgops_test::IsStringParam;
using msgops_test::MqsimEnv;
using msgops_test::PcfPtr;
using msgops_test::Request;
using msgops_test::Xqh;

constexpr const char* kReply = "TEST.REPLY";

class BrowseFindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(env_.Start());
    ASSERT_TRUE(env_.DefineLocal(kReply));
    conn_ = std::make_unique<Conn>(env_.Connect());
    link_ = std::make_unique<MqiLink>(conn_->h(), "QM1", kReply);
    handle_ = ZORCREATE();
    ASSERT_NE(handle_, nullptr);
  }
  void TearDown() override { ZORDELETE(handle_); }

  // Runs the request and returns every response it sent.
  std::vector<PcfPtr> Run(Request& request, int expected_result = 1) {
    EXPECT_EQ(ExecuteRequest(handle_, link_.get(), request.get()), expected_result);
    return conn_->Responses(kReply);
  }

  static void ExpectFinal(const std::vector<PcfPtr>& responses, MQLONG comp_code, MQLONG reason) {
    ASSERT_FALSE(responses.empty());
    for (size_t i = 0; i + 1 < responses.size(); ++i) EXPECT_EQ(responses[i]->Cfh->Control, MQCFC_NOT_LAST) << i;
    const mqPcfMessage* last = responses.back().get();
    EXPECT_EQ(last->Cfh->Control, MQCFC_LAST);
    EXPECT_EQ(last->Cfh->Type, MQCFT_RESPONSE);
    EXPECT_EQ(last->Cfh->CompCode, comp_code);
    EXPECT_EQ(last->Cfh->Reason, reason);
  }

  MqsimEnv env_;
  std::unique_ptr<Conn> conn_;
  std::unique_ptr<MqiLink> link_;
  void* handle_ = nullptr;
};

std::string Text(int i) {
  char text[32];
  snprintf(text, sizeof text, "message %03d of the test", i);
  return text;
}

TEST_F(BrowseFindTest, BrowsesTwoHundredFiftyMessagesInPages) {
  ASSERT_TRUE(env_.DefineLocal("PAGED.Q", {"--maxdepth", "5000"}));
  for (int i = 1; i <= 250; ++i) {
    MQMD md = Conn::NewMd();
    md.Priority = i % 10;
    md.Persistence = i % 2;
    ASSERT_EQ(conn_->Put("PAGED.Q", Text(i), &md), 0);
  }
  // The oracle: the queue as a plain browse sees it.
  std::vector<Conn::Got> all = conn_->BrowseAll("PAGED.Q");
  ASSERT_EQ(all.size(), 250u);

  struct Page {
    MQLONG first;
    size_t count;
  } pages[] = {{1, 100}, {101, 100}, {201, 50}};
  for (const Page& page : pages) {
    SCOPED_TRACE("page from " + std::to_string(page.first));
    Request request(EXCMD_MG_BROWSE);
    request.Str(MQCA_Q_NAME, "PAGED.Q").Int(MG_FIRST_POSITION, page.first).Int(MG_MSG_LIMIT, 100)
        .Int(MG_DATA_LENGTH, 10).Ids("REQUEST-ID", "CORREL-ID");
    auto responses = Run(request);
    ASSERT_EQ(responses.size(), page.count + 1);
    ExpectFinal(responses, 0, 0);
    for (size_t i = 0; i < page.count; ++i) {
      mqPcfMessage* r = responses[i].get();
      const Conn::Got& oracle = all[static_cast<size_t>(page.first - 1) + i];
      const MQMD& md = oracle.md;
      EXPECT_EQ(r->Cfh->Command, EXCMD_MG_BROWSE);
      EXPECT_EQ(r->Cfh->CompCode, 0);
      EXPECT_EQ(r->Cfh->MsgSeqNumber, static_cast<MQLONG>(i + 1));
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(r->Body.Md.CorrelId), 9), "CORREL-ID");
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(r->Body.Md.MsgId), 10), "REQUEST-ID");
      // Every descriptor field, version 2 included, from the oracle's descriptor.
      for (auto fields : {MdResponseFields(), MdV2ResponseFields()}) {
        for (const FieldSpec& f : fields) {
          const auto* at = reinterpret_cast<const char*>(&md) + f.offset;
          if (f.kind == FieldKind::kInt) {
            MQLONG v;
            std::memcpy(&v, at, 4);
            EXPECT_EQ(IntParam(r, f.id), v) << "field " << f.id;
          } else {
            EXPECT_EQ(BytesParam(r, f.id), std::string(at, f.length)) << "field " << f.id;
          }
        }
      }
      EXPECT_EQ(IntParam(r, MG_DATA_LENGTH_MAX), static_cast<MQLONG>(oracle.data.size()));
      EXPECT_EQ(IntParam(r, MG_MD_LENGTH), 364);
      EXPECT_EQ(IntParam(r, MG_HEADER_FLAGS), 1);
      EXPECT_EQ(IntParam(r, MG_DATA_OFFSET), 0);
      EXPECT_EQ(IntParam(r, MG_DATA_LENGTH), static_cast<MQLONG>(oracle.data.size()));
      EXPECT_EQ(BytesParam(r, MG_DATA_BYTES), oracle.data.substr(0, 10));
      EXPECT_TRUE(IsStringParam(r, MG_DATA_BYTES));
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(responses[0]->Body.Md.MsgId), 10), "REQUEST-ID");
    mqPcfMessage* last = responses.back().get();
    EXPECT_EQ(last->Cfh->MsgSeqNumber, static_cast<MQLONG>(page.count + 1));
    EXPECT_EQ(IntParam(last, MG_MSG_LIMIT), static_cast<MQLONG>(page.count));
    EXPECT_EQ(IntParam(last, MQIA_CURRENT_Q_DEPTH), 250);
    EXPECT_EQ(IntParam(last, MQIA_MAX_Q_DEPTH), 5000);
    EXPECT_EQ(BytesParam(last, MQCA_Q_NAME), "PAGED.Q");
  }
  // The first response of the first page is the first message of the queue.
  Request first(EXCMD_MG_BROWSE);
  first.Str(MQCA_Q_NAME, "PAGED.Q").Int(MG_MSG_LIMIT, 1);
  auto one = Run(first);
  ASSERT_EQ(one.size(), 2u);
  EXPECT_EQ(BytesParam(one[0].get(), MG_DATA_BYTES), all[0].data);

  // Past the end: no message, a warning 2033.
  Request past(EXCMD_MG_BROWSE);
  past.Str(MQCA_Q_NAME, "PAGED.Q").Int(MG_FIRST_POSITION, 251);
  auto none = Run(past);
  ASSERT_EQ(none.size(), 1u);
  ExpectFinal(none, MQCC_WARNING, MQRC_NO_MSG_AVAILABLE);
  EXPECT_EQ(IntParam(none[0].get(), MG_MSG_LIMIT), 0);
}

TEST_F(BrowseFindTest, PagesCountPositionsAmongMatchingMessages) {
  ASSERT_TRUE(env_.DefineLocal("MIXED.Q"));
  for (int i = 1; i <= 12; ++i) {
    MQMD md = Conn::NewMd();
    md.Priority = i % 2 == 0 ? 7 : 1;
    ASSERT_EQ(conn_->Put("MIXED.Q", Text(i), &md), 0);
  }
  // Matching messages are 2, 4, 6, ...; positions 3 and 4 among them are
  // messages 6 and 8.
  Request request(EXCMD_MG_BROWSE);
  request.Str(MQCA_Q_NAME, "MIXED.Q").Int(20154, 7).Int(MG_FIRST_POSITION, 3).Int(MG_MSG_LIMIT, 2);
  auto responses = Run(request);
  ASSERT_EQ(responses.size(), 3u);
  EXPECT_EQ(BytesParam(responses[0].get(), MG_DATA_BYTES), Text(6));
  EXPECT_EQ(BytesParam(responses[1].get(), MG_DATA_BYTES), Text(8));
  EXPECT_EQ(responses[0]->Cfh->MsgSeqNumber, 1);
  EXPECT_EQ(responses[1]->Cfh->MsgSeqNumber, 2);
  ExpectFinal(responses, 0, 0);
}

TEST_F(BrowseFindTest, ReturnsHeaderFieldsOnlyForHeadersThatAreThere) {
  ASSERT_TRUE(env_.DefineLocal("HDR.Q"));
  MQMD dead = Conn::NewMd(MQFMT_DEAD_LETTER_HEADER);
  ASSERT_EQ(conn_->Put("HDR.Q", Dlh("ORIGINAL.Q", "QM9", "MQSTR   ", 2053) + "dead payload", &dead), 0);
  MQMD liar = Conn::NewMd(MQFMT_DEAD_LETTER_HEADER);
  ASSERT_EQ(conn_->Put("HDR.Q", "DLH but far too short", &liar), 0);
  MQMD xmit = Conn::NewMd(MQFMT_XMIT_Q_HEADER);
  ASSERT_EQ(conn_->Put("HDR.Q", Xqh("REMOTE.Q", "QM7", "MQDEAD  ") + Dlh("D.Q", "QM8", "MQSTR   ") + "inner", &xmit), 0);

  Request request(EXCMD_MG_BROWSE);
  request.Str(MQCA_Q_NAME, "HDR.Q");
  auto r = Run(request);
  ASSERT_EQ(r.size(), 4u);
  ExpectFinal(r, 0, 0);

  mqPcfMessage* first = r[0].get();
  EXPECT_EQ(IntParam(first, MG_HEADER_FLAGS), 3);
  EXPECT_EQ(BytesParam(first, 20050), std::string("ORIGINAL.Q") + std::string(38, ' '));
  EXPECT_EQ(BytesParam(first, 20051), std::string("QM9") + std::string(45, ' '));
  EXPECT_EQ(IntParam(first, 20181), 2053);
  EXPECT_EQ(IntParam(first, 20178), 819);
  EXPECT_EQ(IntParam(first, 20179), 6);
  EXPECT_EQ(BytesParam(first, 20052), "MQSTR   ");
  EXPECT_EQ(BytesParam(first, 20055), "16300000");
  EXPECT_EQ(IntParam(first, MG_DATA_LENGTH), 12);
  EXPECT_EQ(BytesParam(first, MG_DATA_BYTES), "dead payload");
  EXPECT_FALSE(IsStringParam(first, MG_DATA_BYTES));  // the descriptor's Format is not MQSTR
  EXPECT_FALSE(IntParam(first, 20191));

  mqPcfMessage* second = r[1].get();
  EXPECT_EQ(IntParam(second, MG_HEADER_FLAGS), 1);
  EXPECT_FALSE(IntParam(second, 20181));
  EXPECT_EQ(BytesParam(second, MG_DATA_BYTES), "DLH but far too short");

  mqPcfMessage* third = r[2].get();
  EXPECT_EQ(IntParam(third, MG_HEADER_FLAGS), 15);
  EXPECT_EQ(BytesParam(third, 20056), std::string("REMOTE.Q") + std::string(40, ' '));
  EXPECT_EQ(IntParam(third, 20194), 4);
  EXPECT_EQ(BytesParam(third, 20058), "MQDEAD  ");
  EXPECT_EQ(BytesParam(third, 20050), std::string("D.Q") + std::string(45, ' '));
  EXPECT_EQ(BytesParam(third, MG_DATA_BYTES), "inner");
}

TEST_F(BrowseFindTest, ChunksStartAtTheOffsetAndAnOffsetPastTheEndSendsNoData) {
  ASSERT_TRUE(env_.DefineLocal("CHUNK.Q"));
  ASSERT_EQ(conn_->Put("CHUNK.Q", "0123456789"), 0);
  struct Case {
    MQLONG offset, chunk;
    std::optional<MQLONG> remaining;
    std::optional<std::string> data;
  } cases[] = {{0, 4, 10, "0123"}, {6, 100, 4, "6789"}, {9, 1, 1, "9"}, {10, 5, std::nullopt, std::nullopt},
               {50, 5, std::nullopt, std::nullopt}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    Request request(EXCMD_MG_BROWSE);
    request.Str(MQCA_Q_NAME, "CHUNK.Q").Int(MG_DATA_OFFSET, c.offset).Int(MG_DATA_LENGTH, c.chunk);
    auto r = Run(request);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(IntParam(r[0].get(), MG_DATA_OFFSET), c.offset);
    EXPECT_EQ(IntParam(r[0].get(), MG_DATA_LENGTH), c.remaining);
    EXPECT_EQ(BytesParam(r[0].get(), MG_DATA_BYTES), c.data);
  }
}

TEST_F(BrowseFindTest, BrowseSelectsByMsgIdThroughTheQueueManager) {
  ASSERT_TRUE(env_.DefineLocal("IDS.Q"));
  std::string wanted_id;
  for (int i = 0; i < 5; ++i) {
    MQMD md = Conn::NewMd();
    ASSERT_EQ(conn_->Put("IDS.Q", Text(i), &md), 0);
    if (i == 3) wanted_id.assign(reinterpret_cast<const char*>(md.MsgId), 24);
  }
  Request request(EXCMD_MG_BROWSE);
  request.Str(MQCA_Q_NAME, "IDS.Q").Bin(20023, wanted_id);
  auto r = Run(request);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(BytesParam(r[0].get(), MG_DATA_BYTES), Text(3));
  EXPECT_EQ(BytesParam(r[0].get(), 20023), wanted_id);
}

TEST_F(BrowseFindTest, FinalResponsesOfShortAndFailedRequests) {
  ASSERT_TRUE(env_.DefineLocal("EMPTY.Q"));
  ASSERT_TRUE(env_.DefineLocal("ONE.Q"));
  ASSERT_EQ(conn_->Put("ONE.Q", "x"), 0);
  struct Case {
    const char* name;
    std::function<void(Request&)> params;
    MQLONG command, comp_code, reason;
    std::optional<MQLONG> count;
  } cases[] = {
      {"empty queue", [](Request& r) { r.Str(MQCA_Q_NAME, "EMPTY.Q"); }, EXCMD_MG_BROWSE, 1, 2033, 0},
      {"limit 0", [](Request& r) { r.Str(MQCA_Q_NAME, "ONE.Q").Int(MG_MSG_LIMIT, 0); }, EXCMD_MG_BROWSE, 0, 0, 0},
      {"no queue name", [](Request&) {}, EXCMD_MG_BROWSE, 2, 2085, 0},
      {"unknown queue", [](Request& r) { r.Str(MQCA_Q_NAME, "NO.SUCH.Q"); }, EXCMD_MG_BROWSE, 2, 2085, 0},
      {"modify is not served", [](Request& r) { r.Str(MQCA_Q_NAME, "ONE.Q"); }, EXCMD_MG_MODIFY, 2, 3007, std::nullopt},
      {"shutdown is not a message request", [](Request&) {}, EXCMD_SHUTDOWN_MANAGER, 2, 3007, std::nullopt},
      {"unknown command", [](Request&) {}, 4711, 2, 3007, std::nullopt},
      {"find without names", [](Request&) {}, EXCMD_MG_FIND, 2, 3019, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Request request(c.command);
    c.params(request);
    auto r = Run(request);
    ASSERT_EQ(r.size(), 1u);
    ExpectFinal(r, c.comp_code, c.reason);
    EXPECT_EQ(r[0]->Cfh->Command, c.command);
    EXPECT_EQ(IntParam(r[0].get(), MG_MSG_LIMIT), c.count);
  }
}

TEST_F(BrowseFindTest, FindGoesOnWithTheNextQueueAfterOneReachesItsLimit) {
  for (const char* q : {"FIND.A", "FIND.B", "FIND.C"}) ASSERT_TRUE(env_.DefineLocal(q));
  // FIND.A: ten messages, none matching; its browse limit of 5 runs out.
  for (int i = 0; i < 10; ++i) ASSERT_EQ(conn_->Put("FIND.A", "other " + std::to_string(i)), 0);
  ASSERT_EQ(conn_->Put("FIND.B", "other"), 0);
  ASSERT_EQ(conn_->Put("FIND.B", "wanted thing"), 0);
  ASSERT_EQ(conn_->Put("FIND.C", "wanted too"), 0);
  Request request(EXCMD_MG_FIND);
  request.StrList(MQCACF_Q_NAMES, {"FIND.A", "NO.SUCH.Q", "FIND.B", "FIND.C"}).Str(MG_DATA_STRING, "wanted");
  auto r = Run(request);
  ASSERT_EQ(r.size(), 4u);
  ExpectFinal(r, 0, 0);
  EXPECT_EQ(BytesParam(r[0].get(), MQCA_Q_NAME), "NO.SUCH.Q");
  EXPECT_EQ(r[0]->Cfh->CompCode, 2);
  EXPECT_EQ(r[0]->Cfh->Reason, 2085);
  EXPECT_EQ(BytesParam(r[1].get(), MQCA_Q_NAME), "FIND.B");
  EXPECT_EQ(r[1]->Cfh->CompCode, 0);
  EXPECT_EQ(IntParam(r[1].get(), MQIA_CURRENT_Q_DEPTH), 2);
  EXPECT_EQ(BytesParam(r[2].get(), MQCA_Q_NAME), "FIND.C");
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(r[i]->Cfh->MsgSeqNumber, 0);
  EXPECT_EQ(IntParam(r[3].get(), MG_MSG_LIMIT), 2);
}

}  // namespace
}  // namespace msgops

namespace msgops {
namespace {

TEST_F(BrowseFindTest, FindWithAGenericNameSearchesTheQueuesTheCommandServerLists) {
  for (const char* q : {"FIND.A", "FIND.B", "FIND.C"}) ASSERT_TRUE(env_.DefineLocal(q));
  ASSERT_EQ(conn_->Put("FIND.A", "wanted here"), 0);
  ASSERT_EQ(conn_->Put("FIND.C", "wanted there"), 0);
  ASSERT_EQ(conn_->Put("FIND.C", "wanted again"), 0);
  ASSERT_TRUE(env_.DefineLocal("OTHER.Q"));
  ASSERT_EQ(conn_->Put("OTHER.Q", "wanted elsewhere"), 0);
  // The queue manager's command server lists the local queues FIND.*.
  Request request(EXCMD_MG_FIND);
  request.Str(MQCA_Q_NAME, "FIND.*").Str(MG_DATA_STRING, "wanted");
  auto r = Run(request);
  ASSERT_EQ(r.size(), 3u);
  ExpectFinal(r, 0, 0);
  EXPECT_EQ(BytesParam(r[0].get(), MQCA_Q_NAME), "FIND.A");
  EXPECT_EQ(BytesParam(r[1].get(), MQCA_Q_NAME), "FIND.C");
  EXPECT_EQ(IntParam(r[1].get(), MQIA_CURRENT_Q_DEPTH), 2);
  EXPECT_EQ(IntParam(r[2].get(), MG_MSG_LIMIT), 2);
}

TEST_F(BrowseFindTest, FindWithAGenericNameNeedsARunningCommandServer) {
  ASSERT_EQ(env_.Ctl({"cmdserver", "QM1", "stop"}), 0);
  Request request(EXCMD_MG_FIND);
  request.Str(MQCA_Q_NAME, "FIND.*");
  auto r = Run(request);
  ASSERT_EQ(r.size(), 1u);
  ExpectFinal(r, MQCC_FAILED, EXRC_CMD_SERVER_DOWN);
  EXPECT_EQ(IntParam(r[0].get(), MG_MSG_LIMIT), 0);
}

}  // namespace
}  // namespace msgops
