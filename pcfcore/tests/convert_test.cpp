// Byte order and character set conversion: tables, swapping, the node and
// message headers, and PCF bodies from big-endian and EBCDIC writers.

#include "pcfcore/convert.h"
#include "pcfcore/pcfcore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// ---- Tables ---------------------------------------------------------------

struct Pair {
  unsigned char ascii;
  unsigned char ebcdic;
};

// Code page 500 code points of ASCII characters, as the code page lists them,
// with the two deliberate exceptions (line feed and vertical bar).
const Pair kPairs[] = {
    {' ', 0x40}, {'A', 0xC1}, {'I', 0xC9}, {'J', 0xD1}, {'R', 0xD9}, {'S', 0xE2}, {'Z', 0xE9},
    {'a', 0x81}, {'i', 0x89}, {'j', 0x91}, {'r', 0x99}, {'s', 0xA2}, {'z', 0xA9}, {'0', 0xF0},
    {'9', 0xF9}, {'.', 0x4B}, {'<', 0x4C}, {'(', 0x4D}, {'+', 0x4E}, {'!', 0x4F}, {'&', 0x50},
    {'[', 0x4A}, {']', 0x5A}, {'$', 0x5B}, {'*', 0x5C}, {')', 0x5D}, {';', 0x5E}, {'^', 0x5F},
    {'-', 0x60}, {'/', 0x61}, {',', 0x6B}, {'%', 0x6C}, {'_', 0x6D}, {'>', 0x6E}, {'?', 0x6F},
    {'`', 0x79}, {':', 0x7A}, {'#', 0x7B}, {'@', 0x7C}, {'\'', 0x7D}, {'=', 0x7E}, {'"', 0x7F},
    {'~', 0xA1}, {'{', 0xC0}, {'}', 0xD0}, {'\\', 0xE0}, {'\t', 0x05}, {'\r', 0x0D}, {0x00, 0x00},
    {'\n', 0x15}, {'|', 0x6A},
};

TEST(TextConvertTest, AsciiToEbcdicFollowsCodePage500) {
  for (const Pair& p : kPairs) {
    unsigned char out = 0xEE;
    EXPECT_EQ(TextConvert(&p.ascii, &out, 1, TEXT_ASCII_TO_EBCDIC), 1);
    EXPECT_EQ(out, p.ebcdic) << "ascii 0x" << std::hex << int(p.ascii);
    unsigned char back = 0xEE;
    TextConvert(&p.ebcdic, &back, 1, TEXT_EBCDIC_TO_ASCII);
    EXPECT_EQ(back, p.ascii) << "ebcdic 0x" << std::hex << int(p.ebcdic);
  }
}

TEST(TextConvertTest, QuirksOfTheTables) {
  struct Case {
    unsigned char ebcdic;
    unsigned char ascii;
  } cases[] = {
      {0x15, 0x0A},  // new line reads as line feed
      {0x25, 0x0A},  // and so does line feed itself
      {0x6A, 0x7C},  // broken bar reads as vertical bar
      {0xBB, 0x00},  // the code page's own vertical bar does not
      {0x4A, '['},
      {0x5A, ']'},
      {0x42, 0x00},  // a letter outside ASCII
      {0xFF, 0x00},
  };
  for (const Case& c : cases) {
    unsigned char out = 0xEE;
    TextConvert(&c.ebcdic, &out, 1, TEXT_EBCDIC_TO_ASCII);
    EXPECT_EQ(out, c.ascii) << "ebcdic 0x" << std::hex << int(c.ebcdic);
  }
}

// The code page 500 chart: the character (as a Unicode code point) of each
// EBCDIC code point, 0x00 to 0xFF. Taken from the published chart, not from
// the library's tables, so the whole of both tables can be checked against
// their rules below.
const uint16_t kCodePage500[256] = {
    0x0000, 0x0001, 0x0002, 0x0003, 0x009C, 0x0009, 0x0086, 0x007F, 0x0097, 0x008D, 0x008E, 0x000B, 0x000C, 0x000D, 0x000E, 0x000F,  // 00
    0x0010, 0x0011, 0x0012, 0x0013, 0x009D, 0x0085, 0x0008, 0x0087, 0x0018, 0x0019, 0x0092, 0x008F, 0x001C, 0x001D, 0x001E, 0x001F,  // 10
    0x0080, 0x0081, 0x0082, 0x0083, 0x0084, 0x000A, 0x0017, 0x001B, 0x0088, 0x0089, 0x008A, 0x008B, 0x008C, 0x0005, 0x0006, 0x0007,  // 20
    0x0090, 0x0091, 0x0016, 0x0093, 0x0094, 0x0095, 0x0096, 0x0004, 0x0098, 0x0099, 0x009A, 0x009B, 0x0014, 0x0015, 0x009E, 0x001A,  // 30
    0x0020, 0x00A0, 0x00E2, 0x00E4, 0x00E0, 0x00E1, 0x00E3, 0x00E5, 0x00E7, 0x00F1, 0x005B, 0x002E, 0x003C, 0x0028, 0x002B, 0x0021,  // 40
    0x0026, 0x00E9, 0x00EA, 0x00EB, 0x00E8, 0x00ED, 0x00EE, 0x00EF, 0x00EC, 0x00DF, 0x005D, 0x0024, 0x002A, 0x0029, 0x003B, 0x005E,  // 50
    0x002D, 0x002F, 0x00C2, 0x00C4, 0x00C0, 0x00C1, 0x00C3, 0x00C5, 0x00C7, 0x00D1, 0x00A6, 0x002C, 0x0025, 0x005F, 0x003E, 0x003F,  // 60
    0x00F8, 0x00C9, 0x00CA, 0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x0060, 0x003A, 0x0023, 0x0040, 0x0027, 0x003D, 0x0022,  // 70
    0x00D8, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067, 0x0068, 0x0069, 0x00AB, 0x00BB, 0x00F0, 0x00FD, 0x00FE, 0x00B1,  // 80
    0x00B0, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F, 0x0070, 0x0071, 0x0072, 0x00AA, 0x00BA, 0x00E6, 0x00B8, 0x00C6, 0x00A4,  // 90
    0x00B5, 0x007E, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077, 0x0078, 0x0079, 0x007A, 0x00A1, 0x00BF, 0x00D0, 0x00DD, 0x00DE, 0x00AE,  // A0
    0x00A2, 0x00A3, 0x00A5, 0x00B7, 0x00A9, 0x00A7, 0x00B6, 0x00BC, 0x00BD, 0x00BE, 0x00AC, 0x007C, 0x00AF, 0x00A8, 0x00B4, 0x00D7,  // B0
    0x007B, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047, 0x0048, 0x0049, 0x00AD, 0x00F4, 0x00F6, 0x00F2, 0x00F3, 0x00F5,  // C0
    0x007D, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F, 0x0050, 0x0051, 0x0052, 0x00B9, 0x00FB, 0x00FC, 0x00F9, 0x00FA, 0x00FF,  // D0
    0x005C, 0x00F7, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057, 0x0058, 0x0059, 0x005A, 0x00B2, 0x00D4, 0x00D6, 0x00D2, 0x00D3, 0x00D5,  // E0
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x00B3, 0x00DB, 0x00DC, 0x00D9, 0x00DA, 0x009F,  // F0
};

// The rules of the tables, applied to the chart: EBCDIC to ASCII gives the
// ASCII character of a code point, 0x00 for every other, except 0x15 (new
// line) -> line feed, 0x6A (broken bar) -> vertical bar and 0xBB (vertical
// bar) -> 0x00; ASCII to EBCDIC gives the code point of each ASCII
// character, except line feed -> 0x15 and vertical bar -> 0x6A.
TEST(TextConvertTest, WholeTablesFollowTheCodePageChartAndTheirExceptions) {
  for (int e = 0; e < 256; ++e) {
    unsigned char expected = kCodePage500[e] < 128 ? static_cast<unsigned char>(kCodePage500[e]) : 0;
    if (e == 0x15) expected = 0x0A;
    if (e == 0x6A) expected = 0x7C;
    if (e == 0xBB) expected = 0x00;
    unsigned char in = static_cast<unsigned char>(e), out = 0xEE;
    TextConvert(&in, &out, 1, TEXT_EBCDIC_TO_ASCII);
    EXPECT_EQ(out, expected) << "ebcdic 0x" << std::hex << e;
  }
  for (int a = 0; a < 128; ++a) {
    int expected = -1;
    for (int e = 0; e < 256; ++e) {
      if (kCodePage500[e] == a) {
        ASSERT_EQ(expected, -1) << "chart lists ascii " << a << " twice";
        expected = e;
      }
    }
    ASSERT_NE(expected, -1) << "chart lacks ascii " << a;
    if (a == '\n') expected = 0x15;
    if (a == '|') expected = 0x6A;
    unsigned char in = static_cast<unsigned char>(a), out = 0xEE;
    TextConvert(&in, &out, 1, TEXT_ASCII_TO_EBCDIC);
    EXPECT_EQ(out, expected) << "ascii 0x" << std::hex << a;
  }
}

TEST(TextConvertTest, ExampleTextConvertsBothWaysInPlace) {
  unsigned char text[] = {'A', '|', 'B', '\n'};
  EXPECT_EQ(TextConvert(text, text, 4, TEXT_ASCII_TO_EBCDIC), 4);
  const unsigned char ebcdic[] = {0xC1, 0x6A, 0xC2, 0x15};
  EXPECT_EQ(std::memcmp(text, ebcdic, 4), 0);
  TextConvert(text, text, 4, TEXT_EBCDIC_TO_ASCII);
  const unsigned char ascii[] = {'A', '|', 'B', '\n'};
  EXPECT_EQ(std::memcmp(text, ascii, 4), 0);
}

TEST(TextConvertTest, EveryAsciiByteRoundTrips) {
  int distinct = 0;
  bool seen[256] = {};
  for (int c = 0; c < 128; ++c) {
    unsigned char a = static_cast<unsigned char>(c), e, back;
    TextConvert(&a, &e, 1, TEXT_ASCII_TO_EBCDIC);
    TextConvert(&e, &back, 1, TEXT_EBCDIC_TO_ASCII);
    EXPECT_EQ(back, a) << c;
    if (!seen[e]) ++distinct;
    seen[e] = true;
  }
  EXPECT_EQ(distinct, 128);
}

TEST(TextConvertTest, NonAsciiBytesAndOtherDirections) {
  unsigned char high[] = {0x80, 0xC1, 0xFF};
  unsigned char out[3];
  TextConvert(high, out, 3, TEXT_ASCII_TO_EBCDIC);
  EXPECT_EQ(out[0], 0x3F);
  EXPECT_EQ(out[1], 0x3F);
  EXPECT_EQ(out[2], 0x3F);
  TextConvert(high, out, 3, 7);
  EXPECT_EQ(std::memcmp(high, out, 3), 0);
  EXPECT_EQ(TextConvert(high, out, 0, 0), 0);
  EXPECT_EQ(TextConvert(high, out, -2, 0), -2);
}

TEST(ByteSwapTest, HelpersAndHostFlags) {
  EXPECT_EQ(bwbyte(0x1F), 0xF1);
  EXPECT_EQ(bwbyte(0xA0), 0x0A);
  EXPECT_EQ(static_cast<unsigned short>(bwshort(0x1234)), 0x3412);
  const unsigned char in[] = {0x11, 0x22, 0x33, 0x44};
  MQLONG v;
  std::memcpy(&v, in, 4);
  MQLONG swapped = bwlong(v);
  unsigned char out[4];
  std::memcpy(out, &swapped, 4);
  const unsigned char expected[] = {0x44, 0x33, 0x22, 0x11};
  EXPECT_EQ(std::memcmp(out, expected, 4), 0);
  EXPECT_EQ(bwlong(-2), static_cast<MQLONG>(0xFEFFFFFF));
  EXPECT_EQ(IsBgEndian(), 0);
  EXPECT_EQ(IsLtEndian(), 1);
  EXPECT_EQ(IsAscText(), 1);
}

// ---- Bytes as a foreign writer lays them out --------------------------------

// Appends words in big-endian or little-endian order and raw bytes.
class Writer {
 public:
  explicit Writer(bool big_endian) : big_(big_endian) {}
  Writer& Word(int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    unsigned char b[4] = {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
                          static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
    if (!big_) std::swap(b[0], b[3]), std::swap(b[1], b[2]);
    bytes_.insert(bytes_.end(), b, b + 4);
    return *this;
  }
  Writer& Bytes(const std::vector<unsigned char>& more) {
    bytes_.insert(bytes_.end(), more.begin(), more.end());
    return *this;
  }
  Writer& Pad() {
    while (bytes_.size() % 4) bytes_.push_back(0);
    return *this;
  }
  std::vector<unsigned char>& bytes() { return bytes_; }

 private:
  bool big_;
  std::vector<unsigned char> bytes_;
};

int32_t NativeWord(const std::vector<unsigned char>& bytes, size_t offset) {
  int32_t v;
  std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

std::vector<unsigned char> Ebcdic(const std::string& text) {
  std::vector<unsigned char> out(text.size());
  TextConvert(text.data(), out.data(), static_cast<int>(text.size()), TEXT_ASCII_TO_EBCDIC);
  return out;
}

std::vector<unsigned char> Ascii(const std::string& text) { return {text.begin(), text.end()}; }

// ---- Node header and message header ----------------------------------------

TEST(HeaderConvertTest, NodeHeaderFromBigEndianWriterIsSwappedExceptWordOne) {
  Writer w(true);
  w.Word(32).Word(1).Word(1).Word(1).Word(172).Bytes(Ascii(std::string("harrow\0\0\0\0\0\0", 12)));
  std::vector<unsigned char> h = w.bytes();
  ASSERT_EQ(h.size(), 32u);
  EXPECT_EQ(AlienToNativeExt(h.data()), 1);
  EXPECT_EQ(NativeWord(h, 0), 32);
  EXPECT_EQ(NativeWord(h, 4), 0x01000000);  // left as it came
  EXPECT_EQ(NativeWord(h, 8), 1);
  EXPECT_EQ(NativeWord(h, 12), 1);
  EXPECT_EQ(NativeWord(h, 16), 172);
  EXPECT_EQ(std::memcmp(h.data() + 20, "harrow", 6), 0);
}

TEST(HeaderConvertTest, NodeHeaderFromEbcdicWriterHasItsUserNameConverted) {
  Writer w(false);
  w.Word(32).Word(1).Word(0).Word(0).Word(200).Bytes(Ebcdic(std::string("MQUSER01\0\0\0\0", 12)));
  std::vector<unsigned char> h = w.bytes();
  EXPECT_EQ(AlienToNativeExt(h.data()), 1);
  EXPECT_EQ(NativeWord(h, 16), 200);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h.data() + 20), 8), "MQUSER01");
  // A header whose first word is not 32 after conversion fails.
  Writer bad(false);
  bad.Word(33).Word(1).Word(0).Word(1).Word(0).Bytes(std::vector<unsigned char>(12));
  EXPECT_EQ(AlienToNativeExt(bad.bytes().data()), 0);
}

// A Message over a caller's bytes, without the allocator.
struct HeldMessage {
  explicit HeldMessage(std::vector<unsigned char> bytes) : storage(std::move(bytes)) {
    std::memset(&message, 0, sizeof(message));
    message.State = 1;
    message.Storage = storage.data();
    message.Payload = storage.data() + MESSAGE_HEADER_LENGTH;
    message.Capacity = static_cast<MQLONG>(storage.size());
    message.UsedLength = static_cast<MQLONG>(storage.size());
  }
  std::vector<unsigned char> storage;
  Message message;
};

std::vector<unsigned char> HeaderBytes(bool big, int32_t ascii, const std::string& user,
                                       const std::string& appl, const std::vector<unsigned char>& body) {
  Writer w(big);
  w.Word(136).Word(1).Word(big ? 1 : 0).Word(ascii);
  std::vector<unsigned char> msgid(24), correlid(24);
  for (int i = 0; i < 24; ++i) msgid[i] = static_cast<unsigned char>(i + 1), correlid[i] = static_cast<unsigned char>(0xF0 + (i % 16));
  w.Bytes(msgid).Bytes(correlid).Word(static_cast<int32_t>(body.size())).Word(100000);
  std::vector<unsigned char> u(12), a(48);
  std::vector<unsigned char> user_bytes = ascii ? Ascii(user) : Ebcdic(user);
  std::vector<unsigned char> appl_bytes = ascii ? Ascii(appl) : Ebcdic(appl);
  std::copy(user_bytes.begin(), user_bytes.end(), u.begin());
  std::copy(appl_bytes.begin(), appl_bytes.end(), a.begin());
  w.Bytes(u).Bytes(a).Word(1).Bytes(body);
  return w.bytes();
}

TEST(HeaderConvertTest, BigEndianAsciiHeaderHasItsSevenIntegersSwapped) {
  HeldMessage m(HeaderBytes(true, 1, "alice", "grpserver", {}));
  std::vector<unsigned char> before = m.storage;
  EXPECT_EQ(AlienToNative(&m.message), 1);
  const MessageHeader* h = MESSAGE_HEADER(&m.message);
  EXPECT_EQ(h->StrucLength, 136);
  EXPECT_EQ(h->Mark, 1);
  EXPECT_EQ(h->BigEndian, 1);  // not rewritten: it still names the writer
  EXPECT_EQ(h->AsciiText, 1);
  EXPECT_EQ(h->lUserMsgLength, 0);
  EXPECT_EQ(h->WaitInterval, 100000);
  EXPECT_EQ(h->ReplyTag, 1);
  EXPECT_EQ(std::memcmp(h->MsgId, before.data() + 16, 48), 0);  // MsgId, CorrelId untouched
  EXPECT_STREQ(h->UserId, "alice");
  EXPECT_STREQ(h->ApplName, "grpserver");
}

TEST(HeaderConvertTest, LittleEndianEbcdicHeaderHasItsNamesConverted) {
  HeldMessage m(HeaderBytes(false, 0, "BOB", "LOCALAGENT", {}));
  EXPECT_EQ(AlienToNative(&m.message), 1);
  const MessageHeader* h = MESSAGE_HEADER(&m.message);
  EXPECT_EQ(h->WaitInterval, 100000);
  EXPECT_EQ(std::string(h->UserId, 3), "BOB");
  EXPECT_EQ(std::string(h->ApplName, 10), "LOCALAGENT");
  EXPECT_EQ(h->AsciiText, 0);
}

TEST(HeaderConvertTest, MessageWithoutAWholeHeaderIsRefused) {
  Message empty;
  std::memset(&empty, 0, sizeof(empty));
  EXPECT_EQ(AlienToNative(&empty), 0);
  EXPECT_EQ(AlienToNative(nullptr), 0);
}

// ---- PCF bodies -------------------------------------------------------------

// An MQCFH, then records as the writer lays them out.
void Cfh(Writer& w, int32_t type, int32_t command, int32_t count) {
  w.Word(type).Word(36).Word(1).Word(command).Word(1).Word(1).Word(0).Word(0).Word(count);
}
void IntRecord(Writer& w, int32_t id, int32_t value) { w.Word(3).Word(16).Word(id).Word(value); }
void StrRecord(Writer& w, int32_t type, int32_t id, const std::vector<unsigned char>& text) {
  int32_t struc = 20 + static_cast<int32_t>((text.size() + 3) / 4 * 4);
  w.Word(type).Word(struc).Word(id).Word(0).Word(static_cast<int32_t>(text.size())).Bytes(text).Pad();
}

TEST(BodyConvertTest, BigEndianBodyConvertsItsHeaderAndCountedRecordsOnly) {
  Writer w(true);
  Cfh(w, 2, 18, 2);
  IntRecord(w, 20, 1001);
  StrRecord(w, 4, 2016, Ascii("Q1"));
  IntRecord(w, 21, 7);  // not counted
  std::vector<unsigned char> b = w.bytes();
  std::vector<unsigned char> tail(b.end() - 16, b.end());
  EXPECT_EQ(AlienPcfBufferToNative(b.data(), 1, 0, 1, static_cast<MQLONG>(b.size())), 1);
  const int32_t cfh[] = {2, 36, 1, 18, 1, 1, 0, 0, 2};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(NativeWord(b, 4 * i), cfh[i]) << i;
  EXPECT_EQ(NativeWord(b, 36), 3);
  EXPECT_EQ(NativeWord(b, 44), 20);
  EXPECT_EQ(NativeWord(b, 48), 1001);
  EXPECT_EQ(NativeWord(b, 52), 4);
  EXPECT_EQ(NativeWord(b, 56), 24);
  EXPECT_EQ(NativeWord(b, 60), 2016);
  EXPECT_EQ(NativeWord(b, 68), 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data() + 72), 2), "Q1");
  EXPECT_EQ(std::vector<unsigned char>(b.end() - 16, b.end()), tail);
}

TEST(BodyConvertTest, ListsAreSwappedElementByElement) {
  Writer w(true);
  Cfh(w, 1, 13, 2);
  w.Word(5).Word(28).Word(1002).Word(3).Word(1009).Word(-1).Word(0x01020304);
  w.Word(6).Word(36).Word(2016).Word(0).Word(2).Word(5).Bytes(Ascii("ABCDEFGHIJ")).Pad();
  std::vector<unsigned char> b = w.bytes();
  EXPECT_EQ(AlienPcfBufferToNative(b.data(), 1, 0, 1, static_cast<MQLONG>(b.size())), 1);
  EXPECT_EQ(NativeWord(b, 48), 3);
  EXPECT_EQ(NativeWord(b, 52), 1009);
  EXPECT_EQ(NativeWord(b, 56), -1);
  EXPECT_EQ(NativeWord(b, 60), 0x01020304);
  EXPECT_EQ(NativeWord(b, 80), 2);  // Count
  EXPECT_EQ(NativeWord(b, 84), 5);  // StringLength
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data() + 88), 10), "ABCDEFGHIJ");
}

TEST(BodyConvertTest, EbcdicBodyConvertsStringsButNotRawBytes) {
  Writer nested(false);
  Cfh(nested, 1, 2, 1);
  StrRecord(nested, 4, 2015, Ebcdic("QM.NESTED"));
  Writer w(false);
  Cfh(w, 7, 44, 4);
  StrRecord(w, 4, 2015, Ebcdic("QMGR1"));
  w.Word(6).Word(32).Word(2016).Word(0).Word(2).Word(4).Bytes(Ebcdic("AB|Cxy z")).Pad();
  const std::vector<unsigned char> raw = {0xC1, 0xC2, 0x15, 0x42};
  StrRecord(w, 999, 20500, raw);
  StrRecord(w, 998, 20501, nested.bytes());
  std::vector<unsigned char> b = w.bytes();
  EXPECT_EQ(AlienPcfBufferToNative(b.data(), 0, 1, 1, static_cast<MQLONG>(b.size())), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data() + 56), 5), "QMGR1");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data() + 64 + 24), 8), "AB|Cxy z");
  EXPECT_EQ(std::vector<unsigned char>(b.begin() + 96 + 20, b.begin() + 96 + 24), raw);
  size_t nested_at = 96 + 24 + 20;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data() + nested_at + 36 + 20), 9), "QM.NESTED");
}

TEST(BodyConvertTest, ZeroLengthTouchesNothing) {
  unsigned char byte = 0x77;
  EXPECT_EQ(AlienPcfBufferToNative(&byte, 1, 1, 1, 0), 1);
  EXPECT_EQ(AlienPcfBufferToNative(nullptr, 1, 1, 1, 0), 1);
  EXPECT_EQ(byte, 0x77);
}

// Bodies whose lengths lie: each must be refused without reading or writing
// outside the bytes given. The vector is sized exactly, so ASan sees any
// overrun.
struct BadBody {
  const char* name;
  std::vector<unsigned char> (*make)();
};

std::vector<unsigned char> Make(void (*build)(Writer&)) {
  Writer w(true);
  build(w);
  return w.bytes();
}

const BadBody kBadBodies[] = {
    {"cut inside the MQCFH", [] { return Make([](Writer& w) { w.Word(1).Word(36).Word(1); }); }},
    {"fewer than 8 bytes left", [] { return Make([](Writer& w) { Cfh(w, 1, 1, 1); w.Word(3); }); }},
    {"MQCFH shorter than 36", [] { return Make([](Writer& w) { w.Word(1).Word(8); }); }},
    {"record runs past the end",
     [] { return Make([](Writer& w) { Cfh(w, 1, 1, 1); w.Word(3).Word(400).Word(1).Word(2); }); }},
    {"zero StrucLength", [] { return Make([](Writer& w) { Cfh(w, 1, 1, 1); w.Word(3).Word(0).Word(1).Word(2); }); }},
    {"negative StrucLength",
     [] { return Make([](Writer& w) { Cfh(w, 1, 1, 1); w.Word(3).Word(-16).Word(1).Word(2); }); }},
    {"string longer than its record",
     [] { return Make([](Writer& w) { Cfh(w, 1, 1, 1); w.Word(4).Word(24).Word(1).Word(0).Word(5).Word(0); }); }},
    {"negative string length",
     [] { return Make([](Writer& w) { Cfh(w, 1, 1, 1); w.Word(4).Word(24).Word(1).Word(0).Word(-1).Word(0); }); }},
    {"integer list count past its record",
     [] { return Make([](Writer& w) { Cfh(w, 1, 1, 1); w.Word(5).Word(20).Word(1).Word(1000000).Word(0); }); }},
    {"string list count times length past its record",
     [] {
       return Make([](Writer& w) { Cfh(w, 1, 1, 1); w.Word(6).Word(28).Word(1).Word(0).Word(65536).Word(65536).Word(0); });
     }},
    {"raw bytes longer than their record",
     [] { return Make([](Writer& w) { Cfh(w, 1, 1, 1); w.Word(999).Word(20).Word(1).Word(0).Word(4); }); }},
    {"nested body that lies",
     [] {
       return Make([](Writer& w) {
         Cfh(w, 1, 1, 1);
         w.Word(998).Word(20 + 16).Word(1).Word(0).Word(16).Word(3).Word(99).Word(1).Word(2);
       });
     }},
};

TEST(BodyConvertTest, LyingLengthsAreRefused) {
  for (const BadBody& bad : kBadBodies) {
    SCOPED_TRACE(bad.name);
    std::vector<unsigned char> b = bad.make();
    std::unique_ptr<unsigned char[]> exact(new unsigned char[b.size()]);
    std::memcpy(exact.get(), b.data(), b.size());
    EXPECT_EQ(AlienPcfBufferToNative(exact.get(), 1, 1, 1, static_cast<MQLONG>(b.size())), 0);
  }
}

std::vector<unsigned char> NestedBody(int levels) {
  Writer w(false);
  Cfh(w, 1, 1, levels > 0 ? 1 : 0);
  if (levels > 0) StrRecord(w, 998, 20500, NestedBody(levels - 1));
  return w.bytes();
}

TEST(BodyConvertTest, NestingIsFollowedToTheLimitAndNoDeeper) {
  std::vector<unsigned char> ok = NestedBody(PCF_MAX_NESTING_DEPTH);
  EXPECT_EQ(AlienPcfBufferToNative(ok.data(), 0, 1, 1, static_cast<MQLONG>(ok.size())), 1);
  std::vector<unsigned char> deep = NestedBody(PCF_MAX_NESTING_DEPTH + 1);
  EXPECT_EQ(AlienPcfBufferToNative(deep.data(), 0, 1, 1, static_cast<MQLONG>(deep.size())), 0);
}

TEST(BodyConvertTest, NegativeParameterCountConvertsOnlyTheHeader) {
  Writer w(true);
  Cfh(w, 1, 18, -5);
  IntRecord(w, 20, 1);
  std::vector<unsigned char> b = w.bytes();
  EXPECT_EQ(AlienPcfBufferToNative(b.data(), 1, 0, 1, static_cast<MQLONG>(b.size())), 1);
  EXPECT_EQ(NativeWord(b, 32), -5);
  EXPECT_EQ(NativeWord(b, 36), 0x03000000);  // untouched
}

// ---- Whole message ----------------------------------------------------------

struct HeldPcf {
  explicit HeldPcf(std::vector<unsigned char> bytes) : held(std::move(bytes)) {
    pcf = std::make_unique<mqPcfMessage>();
    std::memset(pcf.get(), 0, sizeof(mqPcfMessage));
    pcf->Kind = PCF_MESSAGE_KIND;
    pcf->Body = held.message;
  }
  HeldMessage held;
  std::unique_ptr<mqPcfMessage> pcf;
};

TEST(BodyConvertTest, WholeMessageFromBigEndianWriterBecomesNative) {
  Writer body(true);
  Cfh(body, 2, 18, 1);
  StrRecord(body, 4, 2016, Ascii("SYSTEM.DEF"));
  HeldPcf m(HeaderBytes(true, 1, "u", "a", body.bytes()));
  ASSERT_EQ(AlienToNative(&m.pcf->Body), 1);
  ASSERT_EQ(AlienPcfToNative(m.pcf.get()), 1);
  const MessageHeader* h = MESSAGE_HEADER(&m.pcf->Body);
  EXPECT_EQ(h->BigEndian, 0);  // now native
  EXPECT_EQ(NativeWord(m.held.storage, 136 + 12), 18);
  EXPECT_EQ(NativeWord(m.held.storage, 136 + 36 + 16), 10);
}

TEST(BodyConvertTest, LengthWordLargerThanTheBytesHeldIsRefused) {
  Writer body(false);
  Cfh(body, 2, 18, 0);
  std::vector<unsigned char> bytes = HeaderBytes(false, 1, "u", "a", body.bytes());
  HeldPcf m(bytes);
  MESSAGE_HEADER(&m.pcf->Body)->lUserMsgLength = 37;
  EXPECT_EQ(AlienPcfToNative(m.pcf.get()), 0);
  MESSAGE_HEADER(&m.pcf->Body)->lUserMsgLength = -1;
  EXPECT_EQ(AlienPcfToNative(m.pcf.get()), 0);
  MESSAGE_HEADER(&m.pcf->Body)->lUserMsgLength = 36;
  EXPECT_EQ(AlienPcfToNative(m.pcf.get()), 1);
}

}  // namespace

namespace {

// A frame's message part from a big-endian EBCDIC writer, received into a
// real message as the transport does, converted and indexed, reads back
// the values the writer meant.
TEST(BodyConvertTest, BigEndianEbcdicMessageConvertsAndReadsBack) {
  Writer body(true);
  Cfh(body, 2, 13, 3);
  StrRecord(body, 4, 2016, Ebcdic("PAYROLL.IN"));
  body.Word(5).Word(24).Word(1002).Word(2).Word(20).Word(-7);
  body.Word(6).Word(32).Word(2016).Word(0).Word(2).Word(4).Bytes(Ebcdic("Q1  Q2|X")).Pad();
  std::vector<unsigned char> frame = HeaderBytes(true, 0, "OPER", "GRPSERVER", body.bytes());

  mqPcfMessage* m = CreatePcfMessage(0, 1, static_cast<MQLONG>(frame.size()));
  ASSERT_NE(m, nullptr);
  ASSERT_LE(frame.size(), static_cast<size_t>(m->Body.Capacity));
  std::memcpy(m->Body.Storage, frame.data(), frame.size());
  m->Body.UsedLength = static_cast<MQLONG>(frame.size());
  ASSERT_EQ(AlienToNative(&m->Body), 1);
  ASSERT_EQ(AlienPcfToNative(m), 1);
  ASSERT_EQ(RawToPcf(m), 1);
  EXPECT_EQ(m->Cfh->Command, 13);
  EXPECT_EQ(m->Cfh->ParameterCount, 3);
  EXPECT_EQ(std::string(MESSAGE_HEADER(&m->Body)->ApplName), "GRPSERVER");

  Message r;
  std::memset(&r, 0, sizeof(r));
  char text[32];
  ASSERT_EQ(GetAttrByID(2016, &r, m), 1);
  ASSERT_EQ(GetPcfStrAttrValue(&r, text, 31), 1);
  EXPECT_STREQ(text, "PAYROLL.IN");
  ASSERT_EQ(GetAttrByID(1002, &r, m), 1);
  MQLONG value = 0;
  ASSERT_EQ(GetPcfIntListAttrValue(&r, 1, &value), 1);
  EXPECT_EQ(value, -7);
  ASSERT_EQ(GetAttrByPos(3, &r, m), 1);
  ASSERT_EQ(GetPcfStrListAttrValue(&r, 1, text, 31), 1);
  EXPECT_STREQ(text, "Q2|X");
  DeleteMessage(&r);
  DeletePcfMessage(m);
}

}  // namespace
