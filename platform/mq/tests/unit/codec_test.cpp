// Decoders of the wire protocol, the journal and the stanza files: exact
// bytes from the format notes, and a clean refusal of every damaged input.
#include <gtest/gtest.h>

#include <random>
#include <sys/socket.h>
#include <thread>
#include <type_traits>
#include <unistd.h>

#include "common/ini.h"
#include "common/install.h"
#include "common/protocol.h"
#include "common/socket_io.h"
#include "server/journal.h"
#include "testsupport/testsupport.h"

using namespace mqsim;

TEST(MqsimProtocolTest, CloseRequestBytesAreTwoLittleEndianWords) {
  Writer w;
  Encode(w, CloseRequest{7, MQCO_DELETE});
  std::vector<uint8_t> expected = {7, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(w.buffer(), expected);
  std::vector<uint8_t> frame = Frame(kOpClose, w);
  std::vector<uint8_t> head(frame.begin(), frame.begin() + 8);
  EXPECT_EQ(head, (std::vector<uint8_t>{12, 0, 0, 0, 4, 0, 0, 0}));
}

TEST(MqsimProtocolTest, EveryTruncationOfARequestIsRefused) {
  PutRequest put;
  put.hobj = 3;
  put.data = "payload";
  Writer w;
  EncodePut(w, put, false);
  const auto& bytes = w.buffer();
  PutRequest back;
  ASSERT_TRUE(DecodePut(bytes, &back, false));
  EXPECT_EQ(back.data, "payload");
  for (size_t n = 0; n < bytes.size(); ++n) {
    PutRequest cut;
    EXPECT_FALSE(DecodePut(std::span<const uint8_t>(bytes.data(), n), &cut, false)) << n;
  }
  std::vector<uint8_t> longer = bytes;
  longer.push_back(0);
  EXPECT_FALSE(DecodePut(longer, &back, false));
}

// Message bytes are never copied into a request or reply they travel in:
// a put sent from the caller's storage is its head and then the bytes, and
// decoding leaves them where they are.
static_assert(!std::is_constructible_v<ByteView, std::string&&>, "a view of a temporary would dangle");
static_assert(std::is_constructible_v<ByteView, const std::string&>);

TEST(MqsimProtocolTest, MessageBytesTravelWithoutCopies) {
  std::string data(1000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  for (bool put1 : {false, true}) {
    PutRequest put;
    put.hobj = 9;
    put.od.name = "Q";
    put.data = data;
    Writer whole, head;
    EncodePut(whole, put, put1);
    EncodePutHead(head, put, put1);
    std::vector<uint8_t> joined = head.buffer();
    joined.insert(joined.end(), data.begin(), data.end());
    EXPECT_EQ(joined, whole.buffer()) << put1;
    PutRequest back;
    ASSERT_TRUE(DecodePut(whole.buffer(), &back, put1));
    EXPECT_EQ(std::string_view(back.data), data);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(back.data.data()), whole.buffer().data() + head.size());
  }
  GetReply reply;
  reply.data_length = 5000;
  reply.data = data;
  reply.resolved_q = "APP.Q";
  Writer w;
  Encode(w, reply);
  GetReply viewed, copied;
  ByteView bytes;
  ASSERT_TRUE(Decode(w.buffer(), &viewed, &bytes));
  ASSERT_TRUE(Decode(w.buffer(), &copied));
  EXPECT_TRUE(viewed.data.empty());
  EXPECT_EQ(std::string_view(bytes), data);
  EXPECT_EQ(copied.data, data);
  const auto* at = reinterpret_cast<const uint8_t*>(bytes.data());
  EXPECT_TRUE(at > w.buffer().data() && at + bytes.size() < w.buffer().data() + w.size());
  EXPECT_EQ(viewed.data_length, 5000u);
  EXPECT_EQ(viewed.resolved_q, "APP.Q");
}

TEST(MqsimProtocolTest, WriterAppendsToTheBufferItIsGiven) {
  std::vector<uint8_t> out = {0xAA, 0xBB};
  Writer w(&out);
  w.U32(0x01020304);
  w.Fixed("ABC", 5);
  w.Fixed("ABCDEFG", 4);
  w.Bytes("xy");
  std::vector<uint8_t> expected = {0xAA, 0xBB, 4,   3,   2,   1,   'A', 'B', 'C', ' ', ' ',
                                   'A',  'B',  'C', 'D', 2,   0,   0,   0,   'x', 'y'};
  EXPECT_EQ(out, expected);
  EXPECT_EQ(w.size(), expected.size());
  w.Clear();
  EXPECT_TRUE(out.empty());
}

// A fixed-width field's text ends at its first NUL or before its trailing
// blanks, whichever comes first; leading and inner blanks stay.
TEST(MqsimProtocolTest, FieldTextEndsAtTheFirstNulOrBeforeTrailingBlanks) {
  struct Case {
    std::string field;
    std::string text;
  };
  const Case cases[] = {
      {"", ""},
      {std::string(48, ' '), ""},
      {"BENCH.Q" + std::string(41, ' '), "BENCH.Q"},
      {std::string(48, 'Q'), std::string(48, 'Q')},
      {"  A B" + std::string(7, ' '), "  A B"},
      {"ABCDEFGH" + std::string(8, ' '), "ABCDEFGH"},
      {"ABCDEFG" + std::string(9, ' '), "ABCDEFG"},
      {"Q1" + std::string(1, '\0') + "JUNK" + std::string(5, ' '), "Q1"},
      {"Q1   " + std::string(1, '\0') + "JUNK", "Q1"},
      {std::string(1, '\0') + std::string(47, 'X'), ""},
      {std::string(17, ' ') + "Z", std::string(17, ' ') + "Z"},
  };
  for (const Case& c : cases) {
    // Oracle: cut at the first NUL, then drop blanks from the end one by one.
    std::string expect = c.field.substr(0, c.field.find('\0'));
    while (!expect.empty() && expect.back() == ' ') expect.pop_back();
    ASSERT_EQ(expect, c.text) << "table entry";
    EXPECT_EQ(FieldText(c.field.data(), c.field.size()), c.text) << "[" << c.field << "]";
  }
}

TEST(MqsimProtocolTest, ConnectCarriesItsChannelAndOlderConnectsStillDecode) {
  ConnectRequest req;
  req.qmgr = "QM1";
  req.pid = 9;
  req.channel = "SYSTEM.DEF.SVRCONN";
  Writer w;
  Encode(w, req);
  ASSERT_EQ(w.size(), 4u + 48 + 28 + 12 + 4 + 20);
  ConnectRequest back;
  ASSERT_TRUE(Decode(w.buffer(), &back));
  EXPECT_EQ(back.channel, "SYSTEM.DEF.SVRCONN");
  EXPECT_EQ(back.pid, 9u);
  // Without the channel (a client that names none ends after the pid), and
  // every cut into the channel refused.
  const auto& bytes = w.buffer();
  ConnectRequest old;
  ASSERT_TRUE(Decode(std::span<const uint8_t>(bytes.data(), bytes.size() - 20), &old));
  EXPECT_EQ(old.channel, "");
  EXPECT_EQ(old.qmgr, "QM1");
  for (size_t cut = 1; cut < 20; ++cut) {
    ConnectRequest bad;
    EXPECT_FALSE(Decode(std::span<const uint8_t>(bytes.data(), bytes.size() - cut), &bad)) << cut;
  }
}

TEST(MqsimProtocolTest, LengthsBeyondTheirBoundsAreRefused) {
  // An inquire naming 257 selectors, one more than any MQINQ may pass.
  Writer w;
  w.I32(1);
  w.U32(257);
  for (int i = 0; i < 257; ++i) w.I32(3);
  w.U32(0);
  w.U32(0);
  InquireRequest inq;
  EXPECT_FALSE(Decode(w.buffer(), &inq));
  // Message data longer than the largest message.
  Writer p;
  p.I32(1);
  p.I32(0);
  p.I32(0);
  MQMD md{};
  p.Raw(&md, sizeof md);
  p.U32(static_cast<uint32_t>(kMaxMsgLength) + 1);
  PutRequest put;
  EXPECT_FALSE(DecodePut(p.buffer(), &put, false));
  // A connect without the protocol mark.
  Writer c;
  Encode(c, ConnectRequest{});
  c.buffer()[0] ^= 0xFF;
  ConnectRequest conn;
  EXPECT_FALSE(Decode(c.buffer(), &conn));
}

TEST(MqsimJournalTest, BatchesStopAtTheFirstDamagedOne) {
  std::vector<uint8_t> bytes;
  auto add = [&](const std::string& queue, uint64_t seq) {
    server::JournalRecord r;
    r.type = server::JournalRecord::kRemoveMessage;
    r.queue = queue;
    r.seq = seq;
    Writer body;
    body.U32(1);
    server::EncodeRecord(body, r);
    Writer head;
    head.U32(static_cast<uint32_t>(body.size()));
    head.U32(server::Crc32(body.buffer().data(), body.size()));
    bytes.insert(bytes.end(), head.buffer().begin(), head.buffer().end());
    bytes.insert(bytes.end(), body.buffer().begin(), body.buffer().end());
  };
  add("A", 1);
  size_t first_end = bytes.size();
  add("B", 2);
  add("C", 3);
  std::vector<uint64_t> seen;
  auto collect = [&](const server::JournalRecord& r) { seen.push_back(r.seq); };
  EXPECT_EQ(server::ParseBatches(bytes, collect), bytes.size());
  EXPECT_EQ(seen, (std::vector<uint64_t>{1, 2, 3}));
  // A flipped byte in the second batch's body: only the first survives.
  std::vector<uint8_t> flipped = bytes;
  flipped[first_end + 10] ^= 0x01;
  seen.clear();
  EXPECT_EQ(server::ParseBatches(flipped, collect), first_end);
  EXPECT_EQ(seen, (std::vector<uint64_t>{1}));
  // Every truncation keeps exactly the whole batches before the cut.
  for (size_t n = 0; n < bytes.size(); ++n) {
    seen.clear();
    size_t good = server::ParseBatches(std::span<const uint8_t>(bytes.data(), n), collect);
    EXPECT_LE(good, n);
  }
}

TEST(MqsimJournalTest, Crc32OfTheStandardCheckString) {
  const char* s = "123456789";
  EXPECT_EQ(server::Crc32(reinterpret_cast<const uint8_t*>(s), 9), 0xCBF43926u);
}

TEST(MqsimIniTest, StanzasKeysCrlfAndComments) {
  IniFile ini = IniFile::Parse(
      "# comment\r\nAllQueueManagers:\r\n   DefaultPrefix=/var/mqm\r\n\r\n"
      "QueueManager:\n   Name=QM.A\n   Prefix=/var/mqm\n   Directory=QM!A\n"
      "stray line\nQueueManager:\n  Name = QM2 \n");
  auto list = ListQmgrs(ini);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "QM.A");
  EXPECT_EQ(list[0].DataDir(), "/var/mqm/qmgrs/QM!A");
  EXPECT_EQ(list[1].name, "QM2");
  EXPECT_EQ(list[1].DataDir(), "/var/mqm/qmgrs/QM2");  // prefix from AllQueueManagers
  EXPECT_EQ(IniFile::Parse(ini.Format()).Format(), ini.Format());
  EXPECT_EQ(DirectoryName("A.B.C"), "A!B!C");
}

// Frames of every size arrive whole and in order, whether the bytes come
// one at a time, in random pieces, or many frames in one read.
TEST(MqsimSocketTest, FrameReceiverTakesFramesHoweverTheBytesArrive) {
  std::mt19937_64 rng(harrow::testsupport::TestSeed());
  struct Sent {
    uint32_t op;
    std::vector<uint8_t> payload;
  };
  std::vector<Sent> frames;
  for (size_t n : {size_t{0}, size_t{1}, size_t{70000}, size_t{5}, size_t{65536 - 8}, size_t{300000}, size_t{3}}) {
    Sent f{static_cast<uint32_t>(frames.size() + 1), std::vector<uint8_t>(n)};
    for (auto& b : f.payload) b = static_cast<uint8_t>(rng());
    frames.push_back(std::move(f));
  }
  std::vector<uint8_t> stream;
  for (const auto& f : frames) {
    uint32_t head[2] = {static_cast<uint32_t>(f.payload.size() + 4), f.op};
    const auto* h = reinterpret_cast<const uint8_t*>(head);
    stream.insert(stream.end(), h, h + sizeof head);
    stream.insert(stream.end(), f.payload.begin(), f.payload.end());
  }
  // 1: one byte at a time; 0: random pieces; 2: everything at once.
  for (int mode : {1, 0, 2}) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    std::vector<size_t> pieces;
    for (size_t at = 0; at < stream.size();) {
      size_t n = mode == 1 ? 1 : mode == 2 ? stream.size() : 1 + rng() % 100000;
      n = std::min(n, stream.size() - at);
      pieces.push_back(n);
      at += n;
    }
    if (mode == 1) pieces.resize(200);  // the first frames byte by byte, then the rest at once
    std::thread writer([&] {
      size_t at = 0;
      for (size_t n : pieces) {
        if (!SendAll(fds[1], stream.data() + at, n)) break;
        at += n;
      }
      SendAll(fds[1], stream.data() + at, stream.size() - at);
    });
    FrameReceiver rx;
    for (const auto& f : frames) {
      uint32_t op = 0;
      std::span<const uint8_t> payload;
      ASSERT_TRUE(rx.Next(fds[0], &op, &payload)) << "mode " << mode << " op " << f.op;
      EXPECT_EQ(op, f.op);
      EXPECT_TRUE(std::equal(payload.begin(), payload.end(), f.payload.begin(), f.payload.end()))
          << "mode " << mode << " op " << f.op;
    }
    writer.join();
    ::close(fds[1]);
    uint32_t op = 0;
    std::span<const uint8_t> payload;
    EXPECT_FALSE(rx.Next(fds[0], &op, &payload));  // the peer closed
    ::close(fds[0]);
  }
  // Lengths outside 4 .. 4 + largest payload, and a frame cut short.
  for (uint32_t len : {0u, 3u, kMaxFramePayloadBytes + 5, 100u}) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    uint32_t head[3] = {len, 7, 0};
    ASSERT_TRUE(SendAll(fds[1], head, sizeof head));
    ::close(fds[1]);
    FrameReceiver rx;
    uint32_t op = 0;
    std::span<const uint8_t> payload;
    EXPECT_FALSE(rx.Next(fds[0], &op, &payload)) << len;
    ::close(fds[0]);
  }
}

TEST(MqsimSocketTest, ConnectionNames) {
  struct Case {
    const char* text;
    bool ok;
    const char* host;
    int port;
  } cases[] = {
      {"127.0.0.1(1414)", true, "127.0.0.1", 1414},
      {"myhost ( 5000 )", true, "myhost", 5000},
      {"myhost", true, "myhost", 1414},
      {"myhost(0)", false, "", 0},
      {"myhost(70000)", false, "", 0},
      {"myhost(12a)", false, "", 0},
      {"(1414)", false, "", 0},
      {"", false, "", 0},
  };
  for (const auto& c : cases) {
    std::string host;
    int port = 0;
    EXPECT_EQ(ParseConnectionName(c.text, &host, &port), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(host, c.host);
      EXPECT_EQ(port, c.port);
    }
  }
}
