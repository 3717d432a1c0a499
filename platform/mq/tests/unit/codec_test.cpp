// Decoders of the wire protocol, the journal and the stanza files: exact
// bytes from the format notes, and a clean refusal of every damaged input.
#include <gtest/gtest.h>

#include "common/ini.h"
#include "common/install.h"
#include "common/protocol.h"
#include "common/socket_io.h"
#include "server/journal.h"

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
