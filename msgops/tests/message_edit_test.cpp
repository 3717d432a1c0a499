// Header stripping and chained insertion on hand-laid messages.
#include <gtest/gtest.h>

#include <cstring>
#include <msgops/protocol.h>

#include "message_bytes.h"
#include "message_edit.h"
#include "request_builder.h"
#include "request_params.h"

namespace msgops {
namespace {

using msgops_test::Dlh;
using msgops_test::Mde;
using msgops_test::Request;
using msgops_test::Xqh;

void Load(MqMessage* m, const char* format, const std::string& data) {
  std::memcpy(m->md().Format, format, 8);
  m->md().CodedCharSetId = 500;
  ASSERT_TRUE(m->Reserve(data.size()));
  std::memcpy(m->data(), data.data(), data.size());
  m->SetLength(data.size());
}

std::string Data(const MqMessage& m) { return std::string(reinterpret_cast<const char*>(m.view().data()), m.length()); }

TEST(MessageEditTest, StripTakesHeadersOffTheDataStartInOrder) {
  struct Case {
    const char* name;
    MQLONG flags;
    const char* format;
    std::string data;
    std::string left;
    const char* md_format;
    MQLONG ccsid;
  } cases[] = {
      {"dead letter", MG_HDR_DLH, "MQDEAD  ", Dlh("Q", "QM", "MQSTR   ") + "body", "body", "MQSTR   ", 819},
      {"not asked", MG_HDR_MDE, "MQDEAD  ", Dlh("Q", "QM", "MQSTR   ") + "body", Dlh("Q", "QM", "MQSTR   ") + "body",
       "MQDEAD  ", 500},
      {"extension then dead letter", MG_HDR_MDE | MG_HDR_DLH, "MQHMDE  ", Mde("MQDEAD  ") + Dlh("Q", "QM", "MQSTR   ") + "b",
       "b", "MQSTR   ", 819},
      {"transmission header", MG_HDR_XQH, "MQXMIT  ", Xqh("RQ", "RQM", "MQSTR   ") + "inner", "inner", "MQSTR   ", 0},
      {"short dead letter stays data", MG_HDR_DLH, "MQDEAD  ", "DLH too short", "DLH too short", "MQDEAD  ", 500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Request request(EXCMD_MG_MOVE);
    request.Int(MG_STRIP_HEADERS, c.flags);
    RequestParams params(request.get());
    MessageEdit edit = MessageEdit::FromRequest(params, true);
    MqMessage m;
    Load(&m, c.format, c.data);
    edit.Strip(&m);
    EXPECT_EQ(Data(m), c.left);
    EXPECT_EQ(std::string(m.md().Format, 8), c.md_format);
    EXPECT_EQ(m.md().CodedCharSetId, c.ccsid);
  }
}

TEST(MessageEditTest, InsertedTransmissionHeaderIsChainedBehindAnExistingExtension) {
  Request request(EXCMD_MG_COPY);
  request.Int(MG_HEADER_FLAGS, MG_HDR_MDE | MG_HDR_XQH).Str(20093, "REMOTE.Q");
  RequestParams params(request.get());
  MessageEdit edit = MessageEdit::FromRequest(params, false);
  MqMessage m;
  Load(&m, "MQHMDE  ", Mde("MQSTR   ") + "payload");
  ASSERT_EQ(edit.Apply(&m), 0);
  std::string data = Data(m);
  ASSERT_EQ(data.size(), 72u + 428u + 7u);
  EXPECT_EQ(std::string(m.md().Format, 8), "MQHMDE  ");
  EXPECT_EQ(data.substr(20, 8), "MQXMIT  ");          // the existing MQMDE now names the MQXQH
  EXPECT_EQ(data.substr(72, 4), "XQH ");
  EXPECT_EQ(data.substr(72 + 8, 8), "REMOTE.Q");
  EXPECT_EQ(data.substr(72 + 136, 8), "MQSTR   ");     // and the MQXQH's descriptor the data
  EXPECT_EQ(data.substr(500), "payload");
}

TEST(MessageEditTest, ARefusedEditLeavesTheMessageAsGot) {
  Request request(EXCMD_MG_COPY);
  request.Int(MG_HEADER_FLAGS, MG_HDR_DLH).Int(MG_DATA_OFFSET, -1).Bin(MG_REPLACE_BYTES, "zz");
  RequestParams params(request.get());
  MessageEdit edit = MessageEdit::FromRequest(params, false);
  MqMessage m;
  Load(&m, "MQSTR   ", "abc");
  EXPECT_EQ(edit.Apply(&m), MQRC_DATA_LENGTH_ERROR);
  EXPECT_EQ(Data(m), "abc");
  EXPECT_EQ(std::string(m.md().Format, 8), "MQSTR   ");
}

}  // namespace
}  // namespace msgops
