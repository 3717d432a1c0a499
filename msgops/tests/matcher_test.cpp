// The matcher against a table of (message, criteria, expected).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <msgops/protocol.h>

#include "matcher.h"
#include "message_bytes.h"
#include "request_builder.h"
#include "request_params.h"

namespace msgops {
namespace {

using msgops_test::Dlh;
using msgops_test::Mde;
using msgops_test::Request;
using msgops_test::Xqh;

struct TestMessage {
  MQMD md;
  std::string data;
};

TestMessage Msg(const char* format, std::string data, std::function<void(MQMD&)> edit = {}) {
  TestMessage m{};
  std::memcpy(m.md.StrucId, "MD  ", 4);
  m.md.Version = 2;
  m.md.MsgType = 8;
  m.md.Persistence = 1;
  m.md.Priority = 5;
  m.md.Encoding = 546;
  m.md.CodedCharSetId = 819;
  std::memcpy(m.md.Format, format, 8);
  std::memset(m.md.MsgId, 0, 24);
  std::memcpy(m.md.MsgId, "MSG-0001", 8);
  std::memset(m.md.ReplyToQ, ' ', 48);
  std::memcpy(m.md.ReplyToQ, "REPLY.Q", 7);
  std::memset(m.md.PutApplName, ' ', 28);
  std::memcpy(m.md.PutApplName, "loader", 6);
  m.md.MsgSeqNumber = 7;
  m.data = std::move(data);
  if (edit) edit(m.md);
  return m;
}

struct MatchCase {
  const char* name;
  TestMessage message;
  std::function<void(Request&)> criteria;
  bool expected;
  MatchOptions options = {};
};

TEST(MatcherTest, CriteriaTable) {
  const std::string dead = Dlh("TARGET.Q", "QM1", "MQSTR   ") + "payload";
  MatchOptions copy_move;
  copy_move.data_offset_is_length_criterion = false;
  copy_move.mde_version_criterion = false;
  const MatchCase cases[] = {
      {"no criteria", Msg("MQSTR   ", "abc"), [](Request&) {}, true},
      {"priority equal", Msg("MQSTR   ", "abc"), [](Request& r) { r.Int(20154, 5); }, true},
      {"priority differs", Msg("MQSTR   ", "abc"), [](Request& r) { r.Int(20154, 4); }, false},
      {"persistence and type", Msg("MQSTR   ", "abc"), [](Request& r) { r.Int(20153, 1).Int(20152, 8); }, true},
      {"format padded with blanks", Msg("MQSTR   ", "abc"), [](Request& r) { r.Str(20022, "MQSTR"); }, true},
      {"format differs", Msg("MQSTR   ", "abc"), [](Request& r) { r.Str(20022, "MQDEAD"); }, false},
      {"msgid as bytes, zero padded", Msg("MQSTR   ", "abc"), [](Request& r) { r.Bin(20023, "MSG-0001"); }, true},
      {"msgid differs", Msg("MQSTR   ", "abc"), [](Request& r) { r.Bin(20023, "MSG-0002"); }, false},
      {"reply queue", Msg("MQSTR   ", "abc"), [](Request& r) { r.Str(20027, "REPLY.Q"); }, true},
      {"put application name", Msg("MQSTR   ", "abc"), [](Request& r) { r.Str(20034, "other"); }, false},
      {"length at most, equal", Msg("MQSTR   ", "abcd"), [](Request& r) { r.Int(20155, 4); }, true},
      {"length at most, over", Msg("MQSTR   ", "abcde"), [](Request& r) { r.Int(20155, 4); }, false},
      {"length must exceed 4", Msg("MQSTR   ", "abcd"), [](Request& r) { r.Int(20156, 4); }, false},
      {"length must exceed 3", Msg("MQSTR   ", "abcd"), [](Request& r) { r.Int(20156, 3); }, true},
      {"offset only for copy and move", Msg("MQSTR   ", "ab"), [](Request& r) { r.Int(20156, 10); }, true, copy_move},
      {"data prefix", Msg("MQSTR   ", "hello world"), [](Request& r) { r.Str(20029, "hello"); }, true},
      {"data prefix differs", Msg("MQSTR   ", "hello world"), [](Request& r) { r.Str(20029, "help"); }, false},
      {"data bytes at offset", Msg("MQSTR   ", "hello world"), [](Request& r) { r.Int(20156, 3).Bin(20037, "lo w"); }, true},
      {"short message compared over what it has", Msg("MQSTR   ", "hel"), [](Request& r) { r.Str(20029, "hello"); }, true},
      {"version-2 field on a version-2 descriptor", Msg("MQSTR   ", "x"), [](Request& r) { r.Int(20168, 8); }, false},
      {"version-2 field ignored on version 1", Msg("MQSTR   ", "x", [](MQMD& md) { md.Version = 1; }),
       [](Request& r) { r.Int(20168, 8); }, true},
      {"dead-letter destination", Msg("MQDEAD  ", dead), [](Request& r) { r.Str(20050, "TARGET.Q"); }, true},
      {"dead-letter destination differs", Msg("MQDEAD  ", dead), [](Request& r) { r.Str(20050, "OTHER.Q"); }, false},
      {"dead-letter reason", Msg("MQDEAD  ", dead), [](Request& r) { r.Int(20181, 2053); }, true},
      {"dead-letter criterion without the header", Msg("MQDEAD  ", "no header here"),
       [](Request& r) { r.Str(20050, "OTHER.Q"); }, true},
      {"extension sequence", Msg("MQHMDE  ", Mde("MQSTR   ") + "x"), [](Request& r) { r.Int(20509, 3); }, true},
      {"extension sequence differs", Msg("MQHMDE  ", Mde("MQSTR   ") + "x"), [](Request& r) { r.Int(20509, 4); }, false},
      {"extension version criterion", Msg("MQHMDE  ", Mde("MQSTR   ") + "x"), [](Request& r) { r.Int(20501, 1); }, false},
      {"20501 is a data length for copy and move", Msg("MQHMDE  ", Mde("MQSTR   ") + "x"),
       [](Request& r) { r.Int(20501, 1); }, true, copy_move},
      {"transmission remote queue", Msg("MQXMIT  ", Xqh("RQ", "RQM", "MQSTR   ") + "x"),
       [](Request& r) { r.Str(20056, "RQ"); }, true},
      {"transmission inner priority", Msg("MQXMIT  ", Xqh("RQ", "RQM", "MQSTR   ") + "x"),
       [](Request& r) { r.Int(20194, 9); }, false},
      {"dead letter behind transmission", Msg("MQXMIT  ", Xqh("RQ", "RQM", "MQDEAD  ") + dead),
       [](Request& r) { r.Str(20051, "QM1").Str(20056, "RQ"); }, true},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(c.name);
    Request request(EXCMD_MG_BROWSE);
    c.criteria(request);
    RequestParams params(request.get());
    MessageMatcher matcher = MessageMatcher::FromRequest(params, c.options);
    std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(c.message.data.data()), c.message.data.size());
    EXPECT_EQ(matcher.Matches(c.message.md, data), c.expected);
  }
}

}  // namespace
}  // namespace msgops
