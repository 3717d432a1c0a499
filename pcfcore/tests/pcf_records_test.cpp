// PCF parameter records: exact layouts of the builders, the validity rules,
// and accessors that never read or write outside the record.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pcfcore/pcf_message.h"
#include "pcfcore/pcf_records.h"
#include "pcfcore/allocation_faults.h"
#include "wire.h"

namespace {

// A record in a Message of its own, freed at the end of the test.
struct Record {
  Message m{};
  ~Record() { DeleteMessage(&m); }
  MQLONG Word(int i) const {
    MQLONG v;
    std::memcpy(&v, m.Payload + 4 * i, 4);
    return v;
  }
  void SetWord(int i, MQLONG v) { std::memcpy(m.Payload + 4 * i, &v, 4); }
  std::string Bytes(int offset, int n) const {
    return std::string(reinterpret_cast<const char*>(m.Payload) + offset, n);
  }
  MQLONG Held() const { return m.UsedLength - 136; }
};

TEST(PcfRecords, StringRecordsArePaddedWithNulsToAMultipleOfFour) {
  struct Case {
    const char* text;
    MQLONG struc_length;
    MQLONG string_length;
  } cases[] = {{"", 20, 0}, {"ABCD", 24, 4}, {"ABCDE", 28, 5}};
  for (const Case& c : cases) {
    Record r;
    ASSERT_EQ(CreatePcfStrAttr(&r.m, 2016, c.text), 1);
    EXPECT_EQ(r.Held(), c.struc_length) << c.text;
    EXPECT_EQ(r.Word(0), MQCFT_STRING);
    EXPECT_EQ(r.Word(1), c.struc_length);
    EXPECT_EQ(r.Word(2), 2016);
    EXPECT_EQ(r.Word(3), 0);
    EXPECT_EQ(r.Word(4), c.string_length);
    EXPECT_EQ(r.Bytes(20, c.string_length), c.text);
    for (int i = 20 + c.string_length; i < c.struc_length; ++i) EXPECT_EQ(r.m.Payload[i], 0);
    EXPECT_EQ(IsPcfAttrValid(&r.m), 1);
  }
}

TEST(PcfRecords, BuildersWriteTheirLayouts) {
  Record in;
  ASSERT_EQ(CreatePcfIntAttr(&in.m, 20, 1001), 1);
  EXPECT_EQ(in.Held(), 16);
  EXPECT_EQ(in.Word(0), 3);
  EXPECT_EQ(in.Word(3), 1001);

  Record bin;
  ASSERT_EQ(CreatePcfBinAttr(&bin.m, 20037, "\x00\xff\x01", 3), 1);
  EXPECT_EQ(bin.Word(0), 999);
  EXPECT_EQ(bin.Word(1), 24);
  EXPECT_EQ(bin.Bytes(20, 3), std::string("\x00\xff\x01", 3));

  Record nz;
  ASSERT_EQ(CreatePcfNZStrAttr(&nz.m, 2015, "QM1XXXX", 3), 1);
  EXPECT_EQ(nz.Word(4), 3);
  EXPECT_EQ(nz.Bytes(20, 4), std::string("QM1\0", 4));

  Record il;
  ASSERT_EQ(CreatePcfIntListAttr(&il.m, 1001, 2), 1);
  EXPECT_EQ(il.Held(), 24);
  EXPECT_EQ(il.Word(3), 2);
  EXPECT_EQ(il.Word(4), 0);
  EXPECT_EQ(il.Word(5), 0);

  Record sl;
  ASSERT_EQ(CreatePcfStrListAttr(&sl.m, 2002, 3, 5), 1);
  EXPECT_EQ(sl.Held(), 40);  // 24 + 15 rounded up
  EXPECT_EQ(sl.Word(0), 6);
  EXPECT_EQ(sl.Word(4), 3);
  EXPECT_EQ(sl.Word(5), 5);
  for (int i = 24; i < 40; ++i) EXPECT_EQ(sl.m.Payload[i], 0);

  mqPcfMessage* nested = CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 0);
  ASSERT_NE(nested, nullptr);
  Record pcf;
  ASSERT_EQ(CreatePcfPcfAttr(&pcf.m, 20500, nested), 1);
  EXPECT_EQ(pcf.Word(0), 998);
  EXPECT_EQ(pcf.Word(4), 36);
  EXPECT_EQ(pcf.Held(), 56);
  EXPECT_EQ(std::memcmp(pcf.m.Payload + 20, nested->Body.Payload, 36), 0);
  DeletePcfMessage(nested);
}

TEST(PcfRecords, BuildersRefuseNegativeLengths) {
  Record r;
  EXPECT_EQ(CreatePcfNZStrAttr(&r.m, 1, "x", -1), 0);
  EXPECT_EQ(CreatePcfBinAttr(&r.m, 1, "x", -4), 0);
  EXPECT_EQ(CreatePcfIntListAttr(&r.m, 1, -1), 0);
  EXPECT_EQ(CreatePcfStrListAttr(&r.m, 1, 2, -1), 0);
  EXPECT_EQ(CreatePcfStrListAttr(&r.m, 1, -2, 4), 0);
}

// Validity is judged on raw words, so each case is a record built by hand.
struct ValidityCase {
  const char* what;
  std::vector<MQLONG> words;
  int valid;
};

TEST(PcfRecords, ValidityRules) {
  const ValidityCase cases[] = {
      {"MQCFH", {1, 36, 1, 18, 1, 1, 0, 0, 0}, 1},
      {"MQCFH of the wrong length", {2, 40, 1, 18, 1, 1, 0, 0, 0, 0}, 0},
      {"event header", {7, 36, 1, 44, 1, 1, 0, 0, 0}, 1},
      {"integer", {3, 16, 20, 1}, 1},
      {"integer with StrucLength 20", {3, 20, 20, 1, 0}, 0},
      {"integer held with 4 bytes more than its StrucLength", {3, 16, 20, 1, 0}, 0},
      {"integer held with 4 bytes less than its StrucLength", {3, 16, 20}, 0},
      {"string with spare padding", {4, 32, 2016, 0, 4, 0x41414141, 0, 0}, 1},
      {"string whose text overruns", {4, 24, 2016, 0, 5, 0x41414141}, 0},
      {"string with negative StringLength", {4, 20, 2016, 0, -4}, 0},
      {"string with StringLength near 2^31", {4, 24, 2016, 0, 0x7ffffffe, 0}, 0},
      {"string length not a multiple of 4", {4, 22, 1, 0, 1, 0x41}, 0},
      {"raw bytes", {999, 24, 20037, 0, 3, 0}, 1},
      {"nested pcf", {998, 20, 20500, 0, 0}, 1},
      {"integer list of 2", {5, 24, 1001, 2, 7, 8}, 1},
      {"integer list with spare room", {5, 20, 1001, 0, 0}, 0},
      {"integer list with negative count", {5, 12 + 4, 1001, -1}, 0},
      {"integer list whose count wraps 32 bits", {5, 16, 1001, 0x40000000}, 0},
      {"string list", {6, 40, 2002, 0, 3, 5, 0, 0, 0, 0}, 1},
      {"string list too short", {6, 32, 2002, 0, 3, 5, 0, 0}, 0},
      {"string list whose product wraps 32 bits", {6, 24, 2002, 0, 0x10000, 0x10000}, 0},
      {"string list with negative count", {6, 24, 2002, 0, -1, -1}, 0},
      {"type 0", {0, 16, 1, 1}, 0},
      {"type 8", {8, 16, 1, 1}, 0},
      {"type 997", {997, 20, 1, 0, 0}, 0},
      {"type 1000", {1000, 20, 1, 0, 0}, 0},
      {"negative type", {-3, 16, 1, 1}, 0},
  };
  for (const ValidityCase& c : cases) {
    Message m{};
    ASSERT_EQ(CreateMessage(&m, static_cast<MQLONG>(c.words.size() * 4)), 1);
    std::memcpy(m.Payload, c.words.data(), c.words.size() * 4);
    m.UsedLength = 136 + static_cast<MQLONG>(c.words.size() * 4);
    EXPECT_EQ(IsPcfAttrValid(&m), c.valid) << c.what;
    // The same bytes seen as a view (no storage) judge the same.
    Message view{};
    view.Payload = m.Payload;
    view.UsedLength = view.Capacity = static_cast<MQLONG>(c.words.size() * 4);
    EXPECT_EQ(IsPcfAttrValid(&view), c.valid) << c.what << " (view)";
    // The integer accessors take exactly the valid integers, both ways.
    int integer = c.valid && c.words[0] == MQCFT_INTEGER ? 1 : 0;
    MQLONG value = 0;
    EXPECT_EQ(GetPcfIntAttrValue(&m, &value), integer) << c.what;
    EXPECT_EQ(GetPcfIntAttrValue(&view, &value), integer) << c.what << " (view)";
    EXPECT_EQ(SetPcfIntAttrValue(&view, value), integer) << c.what << " (view)";
    // A message takes only what it could index again.
    mqPcfMessage* pcf = CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 0);
    ASSERT_NE(pcf, nullptr);
    EXPECT_EQ(AppendAttr(pcf, &m), c.valid) << c.what << " (appended)";
    EXPECT_EQ(AppendAttr(pcf, &view), c.valid) << c.what << " (view appended)";
    EXPECT_EQ(RawToPcf(pcf), 1) << c.what;
    EXPECT_EQ(pcf->Cfh->ParameterCount, 2 * c.valid) << c.what;
    DeletePcfMessage(pcf);
    DeleteMessage(&m);
  }
}

// A holder whose used length claims more than its block must not make the
// record look valid: the accessors would copy past the block.
TEST(PcfRecords, UsedLengthBeyondTheBlockIsInvalid) {
  Record r;
  ASSERT_EQ(CreatePcfStrAttr(&r.m, 2015, "QMGR1"), 1);
  ASSERT_EQ(IsPcfAttrValid(&r.m), 1);
  MQLONG big[2] = {4096, 4076};  // StrucLength, and StringLength to match
  std::memcpy(r.m.Payload + 4, &big[0], 4);
  std::memcpy(r.m.Payload + 16, &big[1], 4);
  MQLONG used = r.m.UsedLength;
  r.m.UsedLength = 136 + 4096;
  EXPECT_EQ(IsPcfAttrValid(&r.m), 0);
  char text[8];
  EXPECT_EQ(GetPcfStrAttrValue(&r.m, text, 7), 0);
  r.m.UsedLength = used;
}

TEST(PcfRecords, StringAccessorsCutAndPad) {
  Record r;
  ASSERT_EQ(CreatePcfStrAttr(&r.m, 2015, "QMGR1"), 1);
  char text[16];
  ASSERT_EQ(GetPcfStrAttrValue(&r.m, text, 3), 1);
  EXPECT_STREQ(text, "QMG");
  ASSERT_EQ(GetPcfStrAttrValue(&r.m, text, 15), 1);
  EXPECT_STREQ(text, "QMGR1");
  EXPECT_EQ(GetPcfStrAttrValue(&r.m, text, -1), 0);

  ASSERT_EQ(SetPcfStrAttrValue(&r.m, "ABCDEFGH"), 1);
  EXPECT_EQ(r.Word(4), 5);
  EXPECT_EQ(r.Bytes(20, 8), std::string("ABCDE\0\0\0", 8));  // cut, no NUL added
  ASSERT_EQ(SetPcfStrAttrValue(&r.m, "XY"), 1);
  EXPECT_EQ(r.Bytes(20, 5), std::string("XY\0\0\0", 5));
}

TEST(PcfRecords, BinaryAccessorsReadStringsAndNestedButWriteOnlyBytes) {
  Record s;
  ASSERT_EQ(CreatePcfStrAttr(&s.m, 2016, "QUEUE"), 1);
  char out[8] = {};
  MQLONG length = 3;
  ASSERT_EQ(GetPcfBinAttrValue(&s.m, out, &length), 1);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(std::string(out, 3), "QUE");
  EXPECT_EQ(SetPcfBinAttrValue(&s.m, "abc", 3), 0);
  length = -1;
  EXPECT_EQ(GetPcfBinAttrValue(&s.m, out, &length), 0);

  Record b;
  ASSERT_EQ(CreatePcfBinAttr(&b.m, 20037, "\x01\x02\x03\x04", 4), 1);
  ASSERT_EQ(SetPcfBinAttrValue(&b.m, "\xAA\xBB\xCC\xDD\xEE\xFF", 6), 1);
  EXPECT_EQ(b.Bytes(20, 4), "\xAA\xBB\xCC\xDD");
  length = 100;
  ASSERT_EQ(GetPcfBinAttrValue(&b.m, out, &length), 1);
  EXPECT_EQ(length, 4);
}

TEST(PcfRecords, IntegerListGrowsWithZeroedElements) {
  Record r;
  ASSERT_EQ(CreatePcfIntListAttr(&r.m, 1001, 1), 1);
  ASSERT_EQ(SetPcfIntListAttrValue(&r.m, 0, 7), 1);
  ASSERT_EQ(SetPcfIntListAttrValue(&r.m, 2, 9), 1);
  EXPECT_EQ(r.Held(), 28);
  EXPECT_EQ(r.Word(1), 28);
  EXPECT_EQ(r.Word(3), 3);
  MQLONG v = -1;
  ASSERT_EQ(GetPcfIntListAttrValue(&r.m, 0, &v), 1);
  EXPECT_EQ(v, 7);
  ASSERT_EQ(GetPcfIntListAttrValue(&r.m, 1, &v), 1);
  EXPECT_EQ(v, 0) << "an element added by growth reaches the wire, so it is zero";
  ASSERT_EQ(GetPcfIntListAttrValue(&r.m, 2, &v), 1);
  EXPECT_EQ(v, 9);
  EXPECT_EQ(GetPcfIntListAttrValue(&r.m, 3, &v), 0);
  EXPECT_EQ(GetPcfIntListAttrValue(&r.m, -1, &v), 0);
  EXPECT_EQ(SetPcfIntListAttrValue(&r.m, -1, 1), 0);
  ASSERT_EQ(SizePcfIntListAttr(&r.m, 1), 1);
  EXPECT_EQ(r.Held(), 20);
  EXPECT_EQ(IsPcfAttrValid(&r.m), 1);
}

TEST(PcfRecords, StringListPadsSetStringsWithBlanks) {
  Record r;
  ASSERT_EQ(CreatePcfStrListAttr(&r.m, 2002, 1, 6), 1);
  EXPECT_EQ(r.Bytes(24, 6), std::string(6, '\0'));
  ASSERT_EQ(SetPcfStrListAttrValue(&r.m, 0, "AB"), 1);
  EXPECT_EQ(r.Bytes(24, 6), "AB    ");
  ASSERT_EQ(SetPcfStrListAttrValue(&r.m, 2, "TOOLONGNAME"), 1);
  EXPECT_EQ(r.Word(4), 3);
  EXPECT_EQ(r.Held(), 44);  // 24 + 18 rounded up
  EXPECT_EQ(r.Bytes(30, 6), std::string(6, '\0'));
  EXPECT_EQ(r.Bytes(36, 6), "TOOLON");
  char text[8];
  ASSERT_EQ(GetPcfStrListAttrValue(&r.m, 2, text, 4), 1);
  EXPECT_STREQ(text, "TOOL");
  EXPECT_EQ(GetPcfStrListAttrValue(&r.m, 3, text, 4), 0);
  EXPECT_EQ(IsPcfAttrValid(&r.m), 1);
}

TEST(PcfRecords, GrowthFailureLeavesTheListAsItWas) {
  Record r;
  ASSERT_EQ(CreatePcfIntListAttr(&r.m, 1001, 1), 1);
  pcfcore::testing::FailAllocationsAbove(200);
  EXPECT_EQ(SetPcfIntListAttrValue(&r.m, 100, 1), 0);
  pcfcore::testing::AllowAllAllocations();
  EXPECT_EQ(r.Word(3), 1);
  EXPECT_EQ(IsPcfAttrValid(&r.m), 1);
}

TEST(PcfRecords, EveryAccessorRefusesAValidRecordOfTheWrongType) {
  Record in, st;
  ASSERT_EQ(CreatePcfIntAttr(&in.m, 1, 1), 1);
  ASSERT_EQ(CreatePcfStrAttr(&st.m, 1, "A"), 1);
  char text[8];
  MQLONG v = 0, length = 4;
  EXPECT_EQ(GetPcfIntAttrValue(&st.m, &v), 0);
  EXPECT_EQ(SetPcfIntAttrValue(&st.m, 1), 0);
  EXPECT_EQ(GetPcfStrAttrValue(&in.m, text, 4), 0);
  EXPECT_EQ(SetPcfStrAttrValue(&in.m, "x"), 0);
  EXPECT_EQ(GetPcfBinAttrValue(&in.m, text, &length), 0);
  EXPECT_EQ(SetPcfBinAttrValue(&st.m, "x", 1), 0);
  EXPECT_EQ(GetPcfIntListAttrValue(&in.m, 0, &v), 0);
  EXPECT_EQ(SetPcfIntListAttrValue(&st.m, 0, 1), 0);
  EXPECT_EQ(GetPcfStrListAttrValue(&st.m, 0, text, 4), 0);
  EXPECT_EQ(SetPcfStrListAttrValue(&in.m, 0, "x"), 0);
  EXPECT_EQ(SizePcfIntListAttr(&st.m, 2), 0);
  EXPECT_EQ(SizePcfStrListAttr(&in.m, 2), 0);
  mqPcfMessage* m = CreatePcfMessage(1, 1, 0);
  EXPECT_EQ(GetPcfPcfAttrValue(&st.m, m), 0);
  DeletePcfMessage(m);
}

// Records are copied inline in overlapping moves for 16 to 64 bytes and by
// memcpy otherwise: every length copies exactly its bytes and nothing around
// them, at any alignment.
TEST(PcfRecords, InlineCopyOfEveryLengthMatchesMemcpy) {
  std::vector<unsigned char> from(200), to(200), want(200);
  for (size_t i = 0; i < from.size(); ++i) from[i] = static_cast<unsigned char>(i * 37 + 11);
  for (size_t n = 0; n <= 130; ++n) {
    for (size_t src = 0; src < 4; ++src) {
      for (size_t dst = 0; dst < 4; ++dst) {
        std::fill(to.begin(), to.end(), 0xEE);
        want = to;
        std::memcpy(want.data() + 8 + dst, from.data() + src, n);
        pcfcore::CopyBytes(to.data() + 8 + dst, from.data() + src, n);
        ASSERT_EQ(to, want) << "n " << n << " src " << src << " dst " << dst;
      }
    }
  }
}

TEST(PcfRecords, NestedBodyRoundTrips) {
  mqPcfMessage* inner = CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 64);
  Record q;
  ASSERT_EQ(CreatePcfStrAttr(&q.m, MQCA_Q_NAME, "SYSTEM.DEFAULT.LOCAL.QUEUE"), 1);
  ASSERT_EQ(AppendAttr(inner, &q.m), 1);
  ASSERT_EQ(RawToPcf(inner), 1);
  Record nested;
  ASSERT_EQ(CreatePcfPcfAttr(&nested.m, 20500, inner), 1);

  mqPcfMessage* out = CreatePcfMessage(0, MQCFT_COMMAND, 0);
  ASSERT_EQ(GetPcfPcfAttrValue(&nested.m, out), 1);
  ASSERT_EQ(RawToPcf(out), 1);
  EXPECT_EQ(out->Cfh->Command, MQCMD_INQUIRE_Q);
  EXPECT_EQ(out->Cfh->ParameterCount, 1);
  Record back;
  ASSERT_EQ(GetAttrByID(MQCA_Q_NAME, &back.m, out), 1);
  char text[64];
  ASSERT_EQ(GetPcfStrAttrValue(&back.m, text, 63), 1);
  EXPECT_STREQ(text, "SYSTEM.DEFAULT.LOCAL.QUEUE");
  DeletePcfMessage(inner);
  DeletePcfMessage(out);
}

}  // namespace
