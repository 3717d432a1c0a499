// The PCF message object: creation, reuse, appending and the index, with
// bodies that arrive malformed.

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "pcfcore/pcf_message.h"
#include "pcfcore/allocation_faults.h"

namespace {

MQLONG Word(const unsigned char* p, int i) {
  MQLONG v;
  std::memcpy(&v, p + 4 * i, 4);
  return v;
}

struct Pcf {
  mqPcfMessage* m;
  explicit Pcf(mqPcfMessage* message) : m(message) {}
  ~Pcf() { DeletePcfMessage(m); }
  mqPcfMessage* operator->() const { return m; }
};

// Index invariants that hold right after a successful RawToPcf.
void ExpectIndexed(const mqPcfMessage* m) {
  ASSERT_EQ(m->Kind, 6);
  ASSERT_EQ(reinterpret_cast<const unsigned char*>(m->Cfh), m->Body.Payload);
  MQLONG n = m->Cfh->ParameterCount;
  ASSERT_GE(n, 0);
  ASSERT_LE(n, PCF_MAX_PARAMETERS);
  const unsigned char* at = m->Body.Payload;
  for (MQLONG i = 0; i <= n; ++i) {
    const Message& slot = m->Index[i];
    ASSERT_EQ(slot.Storage, nullptr) << i;
    ASSERT_EQ(slot.Payload, at) << i;
    ASSERT_EQ(slot.UsedLength, Word(at, 1)) << i;
    ASSERT_EQ(slot.Capacity, slot.UsedLength) << i;
    ASSERT_EQ(IsPcfAttrValid(&slot), 1) << i;
    at += slot.UsedLength;
  }
  ASSERT_EQ(at - m->Body.Payload, m->Body.UsedLength - 136);
}

TEST(PcfMessage, NewCommandMessage) {
  Pcf m(CreatePcfMessage(MQCMD_INQUIRE_Q_NAMES, MQCFT_COMMAND, 512));
  ASSERT_NE(m.m, nullptr);
  EXPECT_EQ(m->Body.UsedLength, 172);
  EXPECT_EQ(m->Body.Capacity, 136 + 512 + 36);
  EXPECT_EQ(m->Body.Md.MsgType, MQMT_REQUEST);
  EXPECT_EQ(std::memcmp(m->Body.Md.Format, "MQADMIN ", 8), 0);
  const MQLONG cfh[9] = {1, 36, 1, 18, 1, 1, 0, 0, 0};
  EXPECT_EQ(std::memcmp(m->Body.Payload, cfh, 36), 0);
  EXPECT_EQ(m->NodeHeader.HeaderLength, 32);
  EXPECT_EQ(m->NodeHeader.Version, 1);
  EXPECT_EQ(m->NodeHeader.Length, 0);
  EXPECT_EQ(std::memcmp(m->NodeHeader.UserName, " \0\0\0\0\0\0\0\0\0\0\0", 12), 0);
  EXPECT_EQ(m->Next, nullptr);
  ExpectIndexed(m.m);

  Message r{};
  ASSERT_EQ(GetAttrByPos(0, &r, m.m), 1);
  EXPECT_EQ(r.UsedLength, 136 + 36);
  EXPECT_EQ(std::memcmp(r.Payload, cfh, 36), 0);
  EXPECT_EQ(GetAttrByPos(1, &r, m.m), 0);
  EXPECT_EQ(GetAttrByPos(-1, &r, m.m), 0);
  EXPECT_EQ(GetAttrByID(MQCA_Q_NAME, &r, m.m), 0);
  DeleteMessage(&r);
}

TEST(PcfMessage, MsgTypeFollowsTheHeaderType) {
  const struct {
    MQLONG type, msg_type;
  } cases[] = {{1, MQMT_REQUEST}, {2, MQMT_REPLY}, {5, MQMT_DATAGRAM}, {7, MQMT_DATAGRAM}};
  for (auto c : cases) {
    Pcf m(CreatePcfMessage(2, c.type, 0));
    EXPECT_EQ(m->Body.Md.MsgType, c.msg_type) << c.type;
  }
}

TEST(PcfMessage, CreateReturnsNullWhenTheBufferCannotBeHad) {
  pcfcore::testing::FailAllocationsAbove(sizeof(mqPcfMessage));
  mqPcfMessage* m = CreatePcfMessage(2, 1, 1 << 20);
  pcfcore::testing::AllowAllAllocations();
  EXPECT_EQ(m, nullptr);
  EXPECT_EQ(CreatePcfMessage(2, 1, -1), nullptr);
  EXPECT_EQ(DeletePcfMessage(nullptr), 0);
}

TEST(PcfMessage, AppendThenIndexAndFetch) {
  Pcf m(CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 0));
  Message a{}, b{}, c{};
  ASSERT_EQ(CreatePcfStrAttr(&a, MQCA_Q_NAME, "Q.FIRST"), 1);
  ASSERT_EQ(CreatePcfIntAttr(&b, MQIA_Q_TYPE, MQQT_LOCAL), 1);
  ASSERT_EQ(CreatePcfStrAttr(&c, MQCA_Q_NAME, "Q.SECOND"), 1);
  ASSERT_EQ(AppendAttr(m.m, &a), 1);
  ASSERT_EQ(AppendAttr(m.m, &b), 1);
  ASSERT_EQ(AppendAttr(m.m, &c), 1);
  EXPECT_EQ(m->Cfh->ParameterCount, 3);
  ASSERT_EQ(RawToPcf(m.m), 1);
  ExpectIndexed(m.m);
  EXPECT_EQ(m->Body.UsedLength, 136 + 36 + 28 + 16 + 28);

  Message r{};
  ASSERT_EQ(GetAttrByID(MQCA_Q_NAME, &r, m.m), 1);
  char text[49];
  ASSERT_EQ(GetPcfStrAttrValue(&r, text, 48), 1);
  EXPECT_STREQ(text, "Q.FIRST") << "the first of two records with one id";
  ASSERT_EQ(GetAttrByPos(3, &r, m.m), 1);
  ASSERT_EQ(GetPcfStrAttrValue(&r, text, 48), 1);
  EXPECT_STREQ(text, "Q.SECOND");
  MQLONG v = 0;
  ASSERT_EQ(GetAttrByID(MQIA_Q_TYPE, &r, m.m), 1);
  ASSERT_EQ(GetPcfIntAttrValue(&r, &v), 1);
  EXPECT_EQ(v, MQQT_LOCAL);
  for (Message* x : {&a, &b, &c, &r}) DeleteMessage(x);
}

TEST(PcfMessage, ViewsFollowTheBodyWhenAnAppendMovesIt) {
  Pcf m(CreatePcfMessage(2, 2, 0));
  Message a{};
  ASSERT_EQ(CreatePcfIntAttr(&a, 1, 1), 1);
  ASSERT_EQ(AppendAttr(m.m, &a), 1);
  ASSERT_EQ(RawToPcf(m.m), 1);
  Message big{};
  std::string text(5000, 'x');
  ASSERT_EQ(CreatePcfStrAttr(&big, 2, text.c_str()), 1);
  ASSERT_EQ(AppendAttr(m.m, &big), 1);
  // Slot 1 was indexed before the body grew; it must still point inside.
  EXPECT_EQ(m->Index[1].Payload, m->Body.Payload + 36);
  Message r{};
  ASSERT_EQ(GetAttrByPos(1, &r, m.m), 1);
  EXPECT_EQ(Word(r.Payload, 2), 1);
  EXPECT_EQ(GetAttrByPos(2, &r, m.m), 0) << "not indexed yet";
  ASSERT_EQ(RawToPcf(m.m), 1);
  ASSERT_EQ(GetAttrByPos(2, &r, m.m), 1);
  EXPECT_EQ(r.UsedLength, 136 + 20 + 5000);
  for (Message* x : {&a, &big, &r}) DeleteMessage(x);
}

TEST(PcfMessage, AppendingTheMessagesOwnIndexSlotCopiesTheRecordWhenTheBodyMoves) {
  Pcf m(CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 0));
  Message big{};
  std::string text(3000, 'q');
  ASSERT_EQ(CreatePcfStrAttr(&big, MQCA_Q_DESC, text.c_str()), 1);
  ASSERT_EQ(AppendAttr(m.m, &big), 1);
  ASSERT_EQ(RawToPcf(m.m), 1);
  // Slot 1 is a view into the body; the body must grow to take its copy.
  ASSERT_LT(m->Body.Capacity - m->Body.UsedLength, 3020);
  ASSERT_EQ(AppendAttr(m.m, &m->Index[1]), 1);
  ASSERT_EQ(RawToPcf(m.m), 1);
  ExpectIndexed(m.m);
  Message r{};
  char got[3001];
  ASSERT_EQ(GetAttrByPos(2, &r, m.m), 1);
  ASSERT_EQ(GetPcfStrAttrValue(&r, got, 3000), 1);
  EXPECT_EQ(std::string(got), text);
  DeleteMessage(&r);
  DeleteMessage(&big);
}

// After a reuse the slots of the earlier, longer message must not be read
// as if they indexed the new body: a record appended since is refused until
// RawToPcf, never served with the old record's length.
TEST(PcfMessage, SlotsLeftFromAnEarlierBodyAreNotServedAfterReuse) {
  Pcf m(CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 0));
  Message small{}, str{}, r{};
  ASSERT_EQ(CreatePcfIntAttr(&small, MQIA_Q_TYPE, 1), 1);
  ASSERT_EQ(CreatePcfStrAttr(&str, MQCA_Q_NAME, "A.LONGER.NAME"), 1);
  ASSERT_EQ(AppendAttr(m.m, &small), 1);
  ASSERT_EQ(AppendAttr(m.m, &small), 1);
  ASSERT_EQ(RawToPcf(m.m), 1);
  ASSERT_EQ(ResetPcfMessage(m.m, MQCMD_INQUIRE_Q, MQCFT_RESPONSE), 1);
  ASSERT_EQ(AppendAttr(m.m, &str), 1);
  EXPECT_EQ(GetAttrByPos(1, &r, m.m), 0) << "not indexed yet";
  EXPECT_EQ(GetAttrByID(MQIA_Q_TYPE, &r, m.m), 0);
  ASSERT_EQ(RawToPcf(m.m), 1);
  ASSERT_EQ(GetAttrByPos(1, &r, m.m), 1);
  EXPECT_EQ(r.UsedLength, 136 + 36);
  EXPECT_EQ(IsPcfAttrValid(&r), 1);
  for (Message* x : {&small, &str, &r}) DeleteMessage(x);
}

TEST(PcfMessage, TheIndexLimitHoldsForAppendsAndReceivedBodies) {
  Pcf m(CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 0));
  Message r{};
  ASSERT_EQ(CreatePcfIntAttr(&r, 1, 1), 1);
  for (int i = 0; i < PCF_MAX_PARAMETERS; ++i) ASSERT_EQ(AppendAttr(m.m, &r), 1) << i;
  size_t used = m->Body.UsedLength;
  EXPECT_EQ(AppendAttr(m.m, &r), 0) << "the 150th parameter would not fit the index";
  EXPECT_EQ(m->Cfh->ParameterCount, 149);
  EXPECT_EQ(static_cast<size_t>(m->Body.UsedLength), used);
  ASSERT_EQ(RawToPcf(m.m), 1);
  ExpectIndexed(m.m);

  // A body from the wire that counts 150 parameters is refused, not cut.
  ASSERT_EQ(SizeMessageKeep(&m->Body, m->Body.UsedLength - 136 + 16), 1);
  std::memcpy(m->Body.Payload + (m->Body.UsedLength - 136), r.Payload, 16);
  m->Body.UsedLength += 16;
  reinterpret_cast<MQCFH*>(m->Body.Payload)->ParameterCount = 150;
  testing::internal::CaptureStdout();
  EXPECT_EQ(RawToPcf(m.m), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(std::regex_match(out, std::regex(
      "\\d\\d:\\d\\d:\\d\\d PcfMessage::RawToPcf\\(719\\) PCF\\(13\\) excessive attributes "
      "truncated from 151 to 150\n"))) << out;
  EXPECT_EQ(reinterpret_cast<MQCFH*>(m->Body.Payload)->ParameterCount, 150)
      << "the body is left as received";
  DeleteMessage(&r);
}

// Bodies as they might arrive: each is a word list after an MQCFH whose
// ParameterCount is given.
struct BodyCase {
  const char* what;
  MQLONG parameter_count;
  std::vector<MQLONG> records;
  int ok;
  const char* printed;  // regex of what RawToPcf prints, "" for nothing
};

TEST(PcfMessage, MalformedBodiesFailCleanly) {
  const BodyCase cases[] = {
      {"one integer", 1, {3, 16, 20, 1}, 1, ""},
      {"negative parameter count", -1, {}, 0, ""},
      {"record overruns the body", 1, {3, 16, 20}, 0, ".*RawToPcf\\(734\\)  Input buffer overflow\n"},
      {"count exceeds the records", 2, {3, 16, 20, 1}, 0, ".*RawToPcf\\(734\\)  Input buffer overflow\n"},
      {"huge StrucLength", 1, {4, 0x7ffffff0, 1, 0, 4, 0}, 0, ".*RawToPcf\\(734\\).*\n"},
      {"negative StrucLength", 1, {3, -16, 20, 1}, 0, ""},
      {"zero StrucLength", 1, {3, 0, 20, 1}, 0, ""},
      {"bad type", 1, {9, 16, 20, 1}, 0, ""},
      {"string with negative length", 1, {4, 20, 1, 0, -1}, 0, ""},
      {"integer list count wraps", 1, {5, 16, 1, 0x40000000}, 0, ""},
      {"trailing bytes are dropped", 1, {3, 16, 20, 1, 0x55555555, 0x55555555}, 1, ""},
  };
  for (const BodyCase& c : cases) {
    Pcf m(CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 64));
    size_t bytes = c.records.size() * 4;
    ASSERT_EQ(SizeMessageKeep(&m->Body, static_cast<MQLONG>(36 + bytes)), 1);
    if (bytes) std::memcpy(m->Body.Payload + 36, c.records.data(), bytes);
    m->Body.UsedLength = static_cast<MQLONG>(136 + 36 + bytes);
    reinterpret_cast<MQCFH*>(m->Body.Payload)->ParameterCount = c.parameter_count;
    MQLONG used = m->Body.UsedLength;
    testing::internal::CaptureStdout();
    EXPECT_EQ(RawToPcf(m.m), c.ok) << c.what;
    std::string out = testing::internal::GetCapturedStdout();
    if (*c.printed == '\0') {
      EXPECT_EQ(out, "") << c.what;
    } else {
      EXPECT_TRUE(std::regex_match(out, std::regex(c.printed))) << c.what << ": " << out;
    }
    if (c.ok) {
      ExpectIndexed(m.m);
    } else {
      EXPECT_EQ(m->Body.UsedLength, used) << c.what << ": a failure leaves the length";
    }
  }
}

// The body must open with an MQCFH (command, response or event): a 36-byte
// record of another type would pass its own length rules, and its bytes
// would then be read as Command and ParameterCount.
TEST(PcfMessage, BodyThatDoesNotOpenWithAnMqcfhIsRefused) {
  const struct {
    const char* what;
    std::vector<MQLONG> words;
    int ok;
  } cases[] = {
      {"string of 16 characters", {4, 36, 2016, 0, 16, 0x41414141, 0x41414141, 0x41414141, 0}, 0},
      {"integer list of 5", {5, 36, 1001, 5, 1, 2, 3, 4, 0}, 0},
      {"raw bytes", {999, 36, 1, 0, 16, 0, 0, 0, 0}, 0},
      {"command", {1, 36, 1, 18, 1, 1, 0, 0, 0}, 1},
      {"response", {2, 36, 1, 18, 1, 1, 0, 0, 0}, 1},
      {"event", {7, 36, 1, 44, 1, 1, 0, 0, 0}, 1},
  };
  for (const auto& c : cases) {
    Pcf m(CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 0));
    std::memcpy(m->Body.Payload, c.words.data(), 36);
    EXPECT_EQ(RawToPcf(m.m), c.ok) << c.what;
  }
}

TEST(PcfMessage, UsedLengthAboveCapacityIsAnOverflow) {
  Pcf m(CreatePcfMessage(2, 1, 0));
  m->Body.UsedLength = m->Body.Capacity + 4;
  testing::internal::CaptureStdout();
  EXPECT_EQ(RawToPcf(m.m), 0);
  EXPECT_TRUE(std::regex_match(testing::internal::GetCapturedStdout(),
                               std::regex("\\d\\d:\\d\\d:\\d\\d MQPCFMSG::RawToPcf\\(705\\)  Input buffer overflow\n")));
  m->Body.UsedLength = m->Body.Capacity;
}

TEST(PcfMessage, ResetKeepsStorageAndFreesTheChain) {
  Pcf m(CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_COMMAND, 100));
  Message r{};
  ASSERT_EQ(CreatePcfIntAttr(&r, 1, 1), 1);
  ASSERT_EQ(AppendAttr(m.m, &r), 1);
  m->Next = CreatePcfMessage(1, 2, 0);
  m->Next->Next = CreatePcfMessage(1, 2, 0);
  unsigned char* storage = m->Body.Storage;
  MQLONG capacity = m->Body.Capacity;
  ASSERT_EQ(ResetPcfMessage(m.m, MQCMD_INQUIRE_Q_MGR, MQCFT_RESPONSE), 1);
  EXPECT_EQ(m->Body.Storage, storage);
  EXPECT_EQ(m->Body.Capacity, capacity);
  EXPECT_EQ(m->Next, nullptr);
  EXPECT_EQ(m->Cfh->Type, MQCFT_RESPONSE);
  EXPECT_EQ(m->Cfh->Command, MQCMD_INQUIRE_Q_MGR);
  EXPECT_EQ(m->Cfh->ParameterCount, 0);
  EXPECT_EQ(m->Body.UsedLength, 172);
  EXPECT_EQ(m->Body.Md.MsgType, MQMT_REPLY);
  ExpectIndexed(m.m);
  DeleteMessage(&r);
}

TEST(PcfMessage, SizeEmptiesTheMessageButKeepsTypeAndCommand) {
  Pcf m(CreatePcfMessage(MQCMD_INQUIRE_CHANNEL, MQCFT_RESPONSE, 0));
  Message r{};
  ASSERT_EQ(CreatePcfIntAttr(&r, 1, 1), 1);
  ASSERT_EQ(AppendAttr(m.m, &r), 1);
  m->Cfh->CompCode = 2;
  m->Cfh->Reason = 2085;
  m->Cfh->Control = 0;
  ASSERT_EQ(SizePcfMessage(m.m, 4000), 1);
  EXPECT_EQ(m->Body.Capacity, 136 + 4000 + 36);
  const MQLONG cfh[9] = {2, 36, 1, 25, 1, 1, 0, 0, 0};
  EXPECT_EQ(std::memcmp(m->Body.Payload, cfh, 36), 0);
  ExpectIndexed(m.m);
  EXPECT_EQ(SizePcfMessage(m.m, -1), 0);
  DeleteMessage(&r);
}

}  // namespace
