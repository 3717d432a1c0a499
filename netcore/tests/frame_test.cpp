// Whole frames between two endpoints on 127.0.0.1: plain and signed both
// ways, frames of the other byte order and character set, refused
// signatures and keys, length words that must be refused before anything is
// allocated, and peers that stop or close in the middle of a frame.
// Hand-made frames are laid out byte by byte from docs/formats/node-frame.md.

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/rand.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "pcfcore/allocation_faults.h"
#include "support/net_fixture.h"

// pcfcore's switch for tests that must see an allocation fail
// (pcfcore/allocation_faults.h).

namespace {

using nettest::HasContents;
using nettest::MakeMessage;
using nettest::PutBE;
using nettest::PutLE;

// The signed frame's trailer (time, nonce, MAC) and the MAC at its end.
constexpr int kTrailer = MQC_SIGNATURE_LENGTH;
constexpr int kMac = 16;

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mqc_get_signature(&cred_), 1) << mqc_signature_error();
    rx_ = CreatePcfMessage(0, MQCFT_COMMAND, 16);
  }
  void TearDown() override {
    DeletePcfMessage(rx_);
    mqc_release_signature(&cred_);
  }
  nettest::SigningKeyFile key_{nettest::kKeyHexA};
  mqcSignature cred_ = nullptr;
  mqPcfMessage* rx_ = nullptr;
};

// The message bytes followed by a trailer stamp dated now, with a nonce
// that names the connecting end as the writer (side 1, process tag and port
// 0) and random bytes after: what an accepted node takes.
std::vector<unsigned char> WithStamp(std::vector<unsigned char> bytes) {
  const auto now_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  for (int i = 0; i < 8; ++i) {
    bytes.push_back(static_cast<unsigned char>(static_cast<uint64_t>(now_ms) >> (56 - 8 * i)));
  }
  unsigned char nonce[16] = {1};
  EXPECT_EQ(RAND_bytes(nonce + 8, 8), 1);
  bytes.insert(bytes.end(), nonce, nonce + sizeof nonce);
  return bytes;
}

struct Framing {
  const char* name;
  int secure;
};

TEST_F(FrameTest, FramesTravelBothWaysInBothFramings) {
  const Framing framings[] = {{"plain", 0}, {"signed", 1}};
  for (const Framing& f : framings) {
    SCOPED_TRACE(f.name);
    nettest::TcpPair pair;
    mqPcfMessage* out = MakeMessage(13, 5, 7, "APP.QUEUE");
    ASSERT_EQ(mnSWrite(out, pair.client, f.secure, cred_), 1) << pair.client->lastError;
    ASSERT_EQ(mnSRead(rx_, pair.accepted, f.secure, cred_), 1) << pair.accepted->lastError;
    EXPECT_TRUE(HasContents(rx_, 13, 5, 7, "APP.QUEUE"));
    EXPECT_EQ(pair.client->framesWritten, 1);
    EXPECT_EQ(pair.accepted->framesRead, 1);
    EXPECT_EQ(pair.accepted->lastError, 0);
    // The sender's user is in the node-header copy after either framing.
    EXPECT_EQ(0, std::strncmp(rx_->NodeHeader.UserName, pair.client->user, 12));
    EXPECT_EQ(0, std::strncmp(MESSAGE_HEADER(&rx_->Body)->ApplName, pair.client->applName, 48));

    mqPcfMessage* back = MakeMessage(18, 149, 3);
    ASSERT_EQ(mnSWrite(back, pair.accepted, f.secure, cred_), 1);
    ASSERT_EQ(mnSRead(rx_, pair.client, f.secure, cred_), 1) << pair.client->lastError;
    EXPECT_TRUE(HasContents(rx_, 18, 149, 3));
    DeletePcfMessage(out);
    DeletePcfMessage(back);
  }
}

TEST_F(FrameTest, MegabyteFramesTravelAndTheBufferShrinksAfter) {
  const Framing framings[] = {{"plain", 0}, {"signed", 1}};
  std::string text(1 << 20, 'x');
  for (std::size_t i = 0; i < text.size(); i += 7) text[i] = static_cast<char>('a' + i % 26);
  for (const Framing& f : framings) {
    SCOPED_TRACE(f.name);
    nettest::TcpPair pair;
    mqPcfMessage* out = MakeMessage(13, 3, 8, text);
    // Blocking sockets on both sides: the writer finishes while the reader
    // takes the frame in on another thread.
    int written = 0;
    std::thread writer([&] { written = mnSWrite(out, pair.client, f.secure, cred_); });
    int read = mnSRead(rx_, pair.accepted, f.secure, cred_);
    writer.join();
    ASSERT_EQ(written, 1) << pair.client->lastError;
    ASSERT_EQ(read, 1) << pair.accepted->lastError;
    EXPECT_TRUE(HasContents(rx_, 13, 3, 8, text));
    EXPECT_EQ(pair.accepted->receive.Capacity, MQNODE_RECEIVE_CAPACITY);
    DeletePcfMessage(out);
  }
}

// Frames larger than the receive buffer go straight into the message. When
// the socket runs dry halfway, the next read may pass another message: the
// part that arrived is kept by the node, not by the first message.
TEST_F(FrameTest, LargeFrameInPiecesIsDeliveredIntoAnotherMessage) {
  const Framing framings[] = {{"plain", 0}, {"signed", 1}};
  const std::string text(40 * 1024, 'k');
  for (const Framing& f : framings) {
    SCOPED_TRACE(f.name);
    nettest::Listener listener;
    nettest::RawPeer peer(&listener);
    ASSERT_EQ(NoblockSocket(&peer.node->socket), 1);
    mqPcfMessage* out = MakeMessage(13, 4, 3, text);
    std::vector<unsigned char> frame = nettest::ConnectingFrame(out, f.secure, cred_);
    ASSERT_GT(frame.size(), static_cast<std::size_t>(MQNODE_RECEIVE_CAPACITY));
    const std::size_t cuts[] = {5000, 30000, frame.size()};
    mqPcfMessage* first = CreatePcfMessage(0, MQCFT_COMMAND, 16);
    std::size_t sent = 0;
    for (std::size_t cut : cuts) {
      SCOPED_TRACE(cut);
      ASSERT_TRUE(peer.Send({frame.begin() + static_cast<long>(sent), frame.begin() + static_cast<long>(cut)}));
      sent = cut;
      if (cut < frame.size()) {
        // The first call starts the frame in `first`; the next one passes rx_.
        pollfd p{peer.node->socket.handle, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 5000), 1);
        EXPECT_EQ(mnSRead(sent == cuts[0] ? first : rx_, peer.node, f.secure, cred_), 0);
        EXPECT_EQ(peer.node->lastError, MN_ERR_WOULD_BLOCK);
      }
    }
    DeletePcfMessage(first);  // gone before the frame is complete
    ASSERT_EQ(nettest::ReadWithDeadline(rx_, peer.node, f.secure, cred_), 1) << peer.node->lastError;
    EXPECT_TRUE(HasContents(rx_, 13, 4, 3, text));
    EXPECT_EQ(peer.node->framesRead, 1);
    DeletePcfMessage(out);
  }
}

// A write sends from the message's own storage; what the socket does not
// take at once is copied, so the message may change as soon as the call
// returns.
TEST_F(FrameTest, MessageChangedRightAfterAQueuedWriteArrivesAsWritten) {
  const Framing framings[] = {{"plain", 0}, {"signed", 1}};
  const std::string text(4 << 20, 'w');
  for (const Framing& f : framings) {
    SCOPED_TRACE(f.name);
    nettest::TcpPair pair;
    ASSERT_EQ(NoblockSocket(&pair.client->socket), 1);
    // A small send buffer, so that the socket cannot grow to take it all
    // while a signed frame is hashed piece by piece.
    const int send_buffer = 64 * 1024;
    ASSERT_EQ(setsockopt(pair.client->socket.handle, SOL_SOCKET, SO_SNDBUF, &send_buffer,
                         sizeof send_buffer), 0);
    mqPcfMessage* out = MakeMessage(13, 2, 4, text.substr(0, text.size() - 1024));
    ASSERT_EQ(mnSWrite(out, pair.client, f.secure, cred_), 1) << pair.client->lastError;
    ASSERT_NE(pair.client->pending, nullptr) << "4 MB should not fit the socket at once";
    std::memset(out->Body.Storage + MESSAGE_HEADER_LENGTH, 0x5a,
                static_cast<std::size_t>(out->Body.UsedLength - MESSAGE_HEADER_LENGTH));
    int read = 0;
    std::thread reader([&] { read = mnSRead(rx_, pair.accepted, f.secure, cred_); });
    harrow::testsupport::Deadline deadline(std::chrono::seconds(20));
    while (pair.client->pending != nullptr && !deadline.Expired()) {
      pollfd p{pair.client->socket.handle, POLLOUT, 0};
      poll(&p, 1, deadline.PollMs());
      ASSERT_EQ(mnFinishWrite(pair.client), 1) << pair.client->lastError;
    }
    reader.join();
    ASSERT_EQ(read, 1) << pair.accepted->lastError;
    EXPECT_TRUE(HasContents(rx_, 13, 2, 4, text.substr(0, text.size() - 1024)));
    DeletePcfMessage(out);
  }
}

TEST_F(FrameTest, PlainFrameBytesOnTheWire) {
  nettest::Listener listener;
  nettest::RawPeer peer(&listener);
  mqPcfMessage* out = MakeMessage(13, 1, 2);
  ASSERT_EQ(mnWrite(out, peer.node), 1);
  const int body = 36 + 16;
  std::vector<unsigned char> bytes = peer.Receive(136 + body);
  ASSERT_EQ(bytes.size(), 136u + body);
  std::vector<unsigned char> head;
  PutLE(&head, 136);  // StrucLength
  PutLE(&head, 0);    // Mark
  PutLE(&head, 0);    // BigEndian: this host is little-endian
  PutLE(&head, 1);    // AsciiText
  EXPECT_EQ(0, std::memcmp(bytes.data(), head.data(), 16));
  std::vector<unsigned char> length;
  PutLE(&length, body);
  EXPECT_EQ(0, std::memcmp(bytes.data() + 64, length.data(), 4));
  EXPECT_EQ(0, std::strncmp(reinterpret_cast<char*>(bytes.data()) + 72, peer.node->user, 12));
  EXPECT_EQ(0, std::strncmp(reinterpret_cast<char*>(bytes.data()) + 84, peer.node->applName, 48));
  // Body: MQCFH (type 1, length 36, version 1, command 13, ..., count 1).
  std::vector<unsigned char> cfh;
  for (uint32_t w : {1u, 36u, 1u, 13u, 1u, 1u, 0u, 0u, 1u}) PutLE(&cfh, w);
  EXPECT_EQ(0, std::memcmp(bytes.data() + 136, cfh.data(), 36));
  DeletePcfMessage(out);
}

TEST_F(FrameTest, SignedFrameBytesOnTheWireCarryTheTrailer) {
  nettest::Listener listener;
  nettest::RawPeer peer(&listener);
  mqPcfMessage* out = MakeMessage(13, 1, 2);
  ASSERT_EQ(mnSWrite(out, peer.node, 1, cred_), 1);
  const int rest = 136 + 36 + 16 + kTrailer;
  std::vector<unsigned char> bytes = peer.Receive(32 + rest);
  ASSERT_EQ(bytes.size(), 32u + rest);
  std::vector<unsigned char> head;
  for (uint32_t w : {32u, 1u, 0u, 1u, static_cast<uint32_t>(rest)}) PutLE(&head, w);
  EXPECT_EQ(0, std::memcmp(bytes.data(), head.data(), 20));
  // Oracle MAC: canonical header (big-endian words, version as sent) + rest.
  std::vector<unsigned char> input;
  PutBE(&input, 32);
  PutLE(&input, 1);
  PutBE(&input, 0);
  PutBE(&input, 1);
  PutBE(&input, rest);
  input.insert(input.end(), bytes.begin() + 20, bytes.begin() + 32);
  input.insert(input.end(), bytes.begin() + 32, bytes.end() - kMac);
  std::vector<unsigned char> mac = nettest::FrameMac(nettest::Unhex(nettest::kKeyHexA), input);
  EXPECT_EQ(0, std::memcmp(bytes.data() + bytes.size() - kMac, mac.data(), kMac));
  DeletePcfMessage(out);
}

// A PCF body from a big-endian EBCDIC writer: MQCFH, MQCFIN and an MQCFST
// holding "APP.Q   " in code page 500.
std::vector<unsigned char> ForeignBody() {
  std::vector<unsigned char> b;
  for (uint32_t w : {1u, 36u, 1u, 13u, 1u, 1u, 0u, 0u, 2u}) PutBE(&b, w);
  for (uint32_t w : {3u, 16u, 20000u, 0x01020304u}) PutBE(&b, w);
  for (uint32_t w : {4u, 28u, 2016u, 500u, 8u}) PutBE(&b, w);
  for (unsigned char c : {0xC1, 0xD7, 0xD7, 0x4B, 0xD8, 0x40, 0x40, 0x40}) b.push_back(c);
  return b;
}

std::vector<unsigned char> ForeignMessageHeader(uint32_t body_length) {
  std::vector<unsigned char> h;
  for (uint32_t w : {136u, 0u, 1u, 0u}) PutBE(&h, w);
  for (int i = 1; i <= 24; ++i) h.push_back(static_cast<unsigned char>(i));  // MsgId
  for (int i = 0; i < 24; ++i) h.push_back(0);                               // CorrelId
  PutBE(&h, body_length);
  PutBE(&h, 100000);                                                         // WaitInterval
  const unsigned char alice[] = {0xC1, 0xD3, 0xC9, 0xC3, 0xC5};              // "ALICE"
  for (int i = 0; i < 12; ++i) h.push_back(i < 5 ? alice[i] : 0);
  const unsigned char agent[] = {0xC1, 0xC7, 0xC5, 0xD5, 0xE3};              // "AGENT"
  for (int i = 0; i < 48; ++i) h.push_back(i < 5 ? agent[i] : 0);
  PutBE(&h, 1);                                                              // ReplyTag
  return h;
}

void ExpectForeignContents(mqPcfMessage* rx) {
  ASSERT_NE(rx->Cfh, nullptr);
  EXPECT_EQ(rx->Cfh->Command, 13);
  EXPECT_EQ(rx->Cfh->ParameterCount, 2);
  Message record{};
  MQLONG value = 0;
  ASSERT_EQ(GetAttrByID(20000, &record, rx), 1);
  ASSERT_EQ(GetPcfIntAttrValue(&record, &value), 1);
  EXPECT_EQ(value, 0x01020304);
  char text[49] = {};
  ASSERT_EQ(GetAttrByID(2016, &record, rx), 1);
  ASSERT_EQ(GetPcfStrAttrValue(&record, text, 48), 1);
  EXPECT_EQ(std::string(text).substr(0, 8), "APP.Q   ");
  DeleteMessage(&record);
  MessageHeader* h = MESSAGE_HEADER(&rx->Body);
  EXPECT_EQ(h->WaitInterval, 100000);
  EXPECT_EQ(h->lUserMsgLength, 80);
  EXPECT_EQ(std::string(h->UserId, 5), "ALICE");
  EXPECT_EQ(std::string(h->ApplName, 5), "AGENT");
  EXPECT_EQ(h->MsgId[23], 24);
  EXPECT_EQ(std::string(rx->NodeHeader.UserName, 5), "ALICE");
}

TEST_F(FrameTest, SignedFrameFromBigEndianEbcdicSenderIsAccepted) {
  nettest::Listener listener;
  nettest::RawPeer peer(&listener);
  std::vector<unsigned char> body = ForeignBody();
  std::vector<unsigned char> rest = ForeignMessageHeader(static_cast<uint32_t>(body.size()));
  rest.insert(rest.end(), body.begin(), body.end());
  rest = WithStamp(rest);
  const uint32_t length = static_cast<uint32_t>(rest.size()) + kMac;

  std::vector<unsigned char> frame;
  for (uint32_t w : {32u, 1u, 1u, 0u, length}) PutBE(&frame, w);
  const unsigned char alice[] = {0xC1, 0xD3, 0xC9, 0xC3, 0xC5};
  for (int i = 0; i < 12; ++i) frame.push_back(i < 5 ? alice[i] : 0);
  frame.insert(frame.end(), rest.begin(), rest.end());

  // The MAC covers the canonical header: the user name as ASCII text.
  std::vector<unsigned char> input;
  for (uint32_t w : {32u, 1u, 1u, 0u, length}) PutBE(&input, w);
  for (char c : std::string("ALICE\0\0\0\0\0\0\0", 12)) input.push_back(static_cast<unsigned char>(c));
  input.insert(input.end(), rest.begin(), rest.end());
  std::vector<unsigned char> mac = nettest::FrameMac(nettest::Unhex(nettest::kKeyHexA), input);
  frame.insert(frame.end(), mac.begin(), mac.end());

  ASSERT_TRUE(peer.Send(frame));
  ASSERT_EQ(mnSRead(rx_, peer.node, 1, cred_), 1) << peer.node->lastError;
  ExpectForeignContents(rx_);
  EXPECT_EQ(rx_->NodeHeader.Length, length - kTrailer);
}

TEST_F(FrameTest, PlainFrameFromBigEndianEbcdicSenderIsAccepted) {
  nettest::Listener listener;
  nettest::RawPeer peer(&listener);
  std::vector<unsigned char> body = ForeignBody();
  std::vector<unsigned char> frame = ForeignMessageHeader(static_cast<uint32_t>(body.size()));
  frame.insert(frame.end(), body.begin(), body.end());
  ASSERT_TRUE(peer.Send(frame));
  ASSERT_EQ(mnRead(rx_, peer.node), 1) << peer.node->lastError;
  ExpectForeignContents(rx_);
}

TEST_F(FrameTest, FramingMismatchAndBadFirstWordAreRefused) {
  struct Case {
    const char* what;
    int secure_write;
    int secure_read;
  };
  const Case cases[] = {{"signed read as plain", 1, 0}, {"plain read as signed", 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    nettest::TcpPair pair;
    mqPcfMessage* out = MakeMessage(13, 1, 1);
    ASSERT_EQ(mnSWrite(out, pair.client, c.secure_write, cred_), 1);
    EXPECT_EQ(mnSRead(rx_, pair.accepted, c.secure_read, cred_), 0);
    EXPECT_EQ(pair.accepted->lastError, MN_ERR_BAD_HEADER);
    DeletePcfMessage(out);
  }
  nettest::Listener listener;
  nettest::RawPeer peer(&listener);
  std::vector<unsigned char> bad;
  for (uint32_t w : {33u, 1u, 0u, 1u, 200u, 0u, 0u, 0u}) PutLE(&bad, w);
  ASSERT_TRUE(peer.Send(bad));
  EXPECT_EQ(mnSRead(rx_, peer.node, 1, cred_), 0);
  EXPECT_EQ(peer.node->lastError, MN_ERR_BAD_HEADER);
}

TEST_F(FrameTest, TamperedFrameIsRefusedAsNotAuthentic) {
  nettest::Listener listener;
  nettest::RawPeer peer(&listener);
  mqPcfMessage* out = MakeMessage(13, 3, 5);
  const std::size_t size = 32 + 136 + 36 + 3 * 16 + kTrailer;
  std::vector<unsigned char> frame = nettest::ConnectingFrame(out, 1, cred_);
  ASSERT_EQ(frame.size(), size);
  // One parameter value changed in flight: refused with -1001.
  std::vector<unsigned char> bad = frame;
  bad[32 + 136 + 36 + 12] ^= 0x40;
  ASSERT_TRUE(peer.Send(bad));
  EXPECT_EQ(mnSRead(rx_, peer.node, 1, cred_), 0);
  EXPECT_EQ(peer.node->lastError, MN_ERR_NOT_AUTHENTIC);
  // The frame as it was written: accepted.
  ASSERT_TRUE(peer.Send(frame));
  ASSERT_EQ(mnSRead(rx_, peer.node, 1, cred_), 1) << peer.node->lastError;
  EXPECT_TRUE(HasContents(rx_, 13, 3, 5));
  // The captured frame sent again, unchanged: a replay, refused the same way.
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(peer.Send(frame));
    EXPECT_EQ(mnSRead(rx_, peer.node, 1, cred_), 0);
    EXPECT_EQ(peer.node->lastError, MN_ERR_NOT_AUTHENTIC);
  }
  // The node stays usable for the next frame.
  ASSERT_TRUE(peer.Send(nettest::ConnectingFrame(out, 1, cred_)));
  EXPECT_EQ(mnSRead(rx_, peer.node, 1, cred_), 1) << peer.node->lastError;
  DeletePcfMessage(out);
}

// A large frame is hashed while it arrives: one byte changed in its middle
// is found at the end and nothing is delivered; the frame as written is
// taken afterwards on the same node.
TEST_F(FrameTest, ChangedByteInTheMiddleOfALargeFrameIsRefused) {
  nettest::Listener listener;
  nettest::RawPeer peer(&listener);
  std::string text(256 * 1024, 'm');
  for (std::size_t i = 0; i < text.size(); i += 13) text[i] = static_cast<char>('a' + i % 26);
  mqPcfMessage* out = MakeMessage(13, 3, 6, text);
  const std::vector<unsigned char> frame = nettest::ConnectingFrame(out, 1, cred_);
  std::vector<unsigned char> bad = frame;
  bad[frame.size() / 2] ^= 0x01;
  for (const std::vector<unsigned char>* bytes : {&std::as_const(bad), &frame}) {
    const bool tampered = bytes == &bad;
    SCOPED_TRACE(tampered ? "changed" : "as written");
    bool sent = false;
    std::thread sender([&] { sent = peer.Send(*bytes); });
    const int read = mnSRead(rx_, peer.node, 1, cred_);
    sender.join();
    ASSERT_TRUE(sent);
    if (tampered) {
      EXPECT_EQ(read, 0);
      EXPECT_EQ(peer.node->lastError, MN_ERR_NOT_AUTHENTIC);
      EXPECT_EQ(peer.node->framesRead, 1) << "the frame was taken in whole and refused";
    } else {
      ASSERT_EQ(read, 1) << peer.node->lastError;
      EXPECT_TRUE(HasContents(rx_, 13, 3, 6, text));
    }
  }
  DeletePcfMessage(out);
}

// A raw TCP socket on the far end of a client node: what a man in the middle
// holds when the node connects to him.
struct RawServer {
  RawServer() {
    nettest::Listener listener;
    SocketAddress to = nettest::Loopback(listener.port());
    node = CreateMQNode(&to, MQNODE_MODE_CLIENT);
    EXPECT_EQ(mnOpen(node), 1) << node->lastError;
    mqnMQNodeData* accepted = listener.Accept();
    EXPECT_NE(accepted, nullptr);
    if (accepted != nullptr) {
      // Keep the accepted socket as a plain descriptor; drop its node
      // without closing it.
      fd = accepted->socket.handle;
      accepted->socket.handle = -1;
      DeleteMQNode(accepted);
      nettest::NoDelay(fd);
    }
  }
  ~RawServer() {
    if (fd >= 0) close(fd);
    DeleteMQNode(node);
  }
  bool Send(const std::vector<unsigned char>& bytes) const {
    return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  mqnMQNodeData* node = nullptr;
  int fd = -1;
};

TEST_F(FrameTest, FrameSentBackToItsWriterIsRefusedOnEitherEnd) {
  mqPcfMessage* out = MakeMessage(13, 2, 6);
  const std::size_t size = 32 + 136 + 36 + 2 * 16 + kTrailer;
  {
    SCOPED_TRACE("accepting end");
    nettest::Listener listener;
    nettest::RawPeer peer(&listener);
    ASSERT_EQ(mnSWrite(out, peer.node, 1, cred_), 1);
    std::vector<unsigned char> frame = peer.Receive(size);
    ASSERT_EQ(frame.size(), size);
    EXPECT_EQ(frame[32 + 136 + 36 + 2 * 16 + 8], MQNODE_SIDE_ACCEPTING);
    ASSERT_TRUE(peer.Send(frame));
    EXPECT_EQ(mnSRead(rx_, peer.node, 1, cred_), 0);
    EXPECT_EQ(peer.node->lastError, MN_ERR_NOT_AUTHENTIC);
    EXPECT_NE(std::string(mqc_signature_error()).find("reflected"), std::string::npos)
        << mqc_signature_error();
    // A frame of the connecting end is still taken on the same connection.
    ASSERT_TRUE(peer.Send(nettest::ConnectingFrame(out, 1, cred_)));
    ASSERT_EQ(mnSRead(rx_, peer.node, 1, cred_), 1) << peer.node->lastError;
    EXPECT_TRUE(HasContents(rx_, 13, 2, 6));
  }
  {
    SCOPED_TRACE("connecting end");
    RawServer server;
    ASSERT_GE(server.fd, 0);
    ASSERT_EQ(mnSWrite(out, server.node, 1, cred_), 1);
    std::vector<unsigned char> frame = nettest::ReceiveExactly(server.fd, size);
    ASSERT_EQ(frame.size(), size);
    EXPECT_EQ(frame[32 + 136 + 36 + 2 * 16 + 8], MQNODE_SIDE_CONNECTING);
    ASSERT_TRUE(server.Send(frame));
    EXPECT_EQ(mnSRead(rx_, server.node, 1, cred_), 0);
    EXPECT_EQ(server.node->lastError, MN_ERR_NOT_AUTHENTIC);
    EXPECT_NE(std::string(mqc_signature_error()).find("reflected"), std::string::npos)
        << mqc_signature_error();
  }
  DeletePcfMessage(out);
}

TEST_F(FrameTest, FrameSignedWithAnotherKeyIsRefused) {
  nettest::TcpPair pair;
  mqPcfMessage* out = MakeMessage(13, 2, 1);
  // This process's key becomes B; the writer still holds a credential of A.
  key_.Use(nettest::kKeyHexB);
  mqcSignature cred_b = nullptr;
  ASSERT_EQ(mqc_get_signature(&cred_b), 1);
  ASSERT_EQ(mnSWrite(out, pair.client, 1, cred_), 1);
  EXPECT_EQ(mnSRead(rx_, pair.accepted, 1, cred_b), 0);
  EXPECT_EQ(pair.accepted->lastError, MN_ERR_NOT_AUTHENTIC);
  ASSERT_EQ(mnSWrite(out, pair.client, 1, cred_b), 1);
  EXPECT_EQ(mnSRead(rx_, pair.accepted, 1, cred_b), 1);
  mqc_release_signature(&cred_b);
  DeletePcfMessage(out);
}

TEST_F(FrameTest, WriteWithoutCredentialFailsWithSignRefused) {
  nettest::TcpPair pair;
  mqPcfMessage* out = MakeMessage(13, 1, 1);
  EXPECT_EQ(mnSWrite(out, pair.client, 1, nullptr), 0);
  EXPECT_EQ(pair.client->lastError, MN_ERR_SIGN_REFUSED);
  EXPECT_EQ(pair.client->framesWritten, 0);
  DeletePcfMessage(out);
}

struct LengthCase {
  const char* what;
  int64_t length_word;
  int expected;
};

TEST_F(FrameTest, UntrustedLengthWordsAreRefusedBeforeAllocating) {
  const int64_t max = MN_DEFAULT_MAX_MESSAGE_BYTES;
  const LengthCase signed_cases[] = {
      {"negative", -1, MN_ERR_BAD_HEADER},
      {"zero", 0, MN_ERR_BAD_HEADER},
      {"no room for a body and trailer", 136 + kTrailer, MN_ERR_BAD_HEADER},
      {"one past the limit", 136 + max + kTrailer + 1, MN_ERR_NO_ROOM},
      {"2 GB", 0x7fffff00, MN_ERR_NO_ROOM},
  };
  for (const LengthCase& c : signed_cases) {
    SCOPED_TRACE(c.what);
    nettest::Listener listener;
    nettest::RawPeer peer(&listener);
    std::vector<unsigned char> head;
    for (uint32_t w : {32u, 1u, 0u, 1u, static_cast<uint32_t>(c.length_word), 0u, 0u, 0u}) {
      PutLE(&head, w);
    }
    ASSERT_TRUE(peer.Send(head));
    EXPECT_EQ(mnSRead(rx_, peer.node, 1, cred_), 0);
    EXPECT_EQ(peer.node->lastError, c.expected);
    EXPECT_EQ(peer.node->receive.Capacity, MQNODE_RECEIVE_CAPACITY);
  }
  const LengthCase plain_cases[] = {
      {"negative", -5, MN_ERR_BAD_HEADER},
      {"empty body", 0, MN_ERR_BAD_HEADER},
      {"one past the limit", max + 1, MN_ERR_NO_ROOM},
  };
  for (const LengthCase& c : plain_cases) {
    SCOPED_TRACE(c.what);
    nettest::Listener listener;
    nettest::RawPeer peer(&listener);
    std::vector<unsigned char> head(136, 0);
    uint32_t words[] = {136, 0, 0, 1};
    std::memcpy(head.data(), words, sizeof words);
    auto body = static_cast<uint32_t>(c.length_word);
    std::memcpy(head.data() + 64, &body, 4);
    ASSERT_TRUE(peer.Send(head));
    EXPECT_EQ(mnRead(rx_, peer.node), 0);
    EXPECT_EQ(peer.node->lastError, c.expected);
    EXPECT_EQ(peer.node->receive.Capacity, MQNODE_RECEIVE_CAPACITY);
  }
}

TEST_F(FrameTest, ConfiguredLimitAppliesToReadsAndWrites) {
  int previous = mnSetMaxMessageBytes(1000);
  ASSERT_EQ(previous, MN_DEFAULT_MAX_MESSAGE_BYTES);
  EXPECT_EQ(mnSetMaxMessageBytes(10), 0);  // smaller than an MQCFH: refused
  nettest::TcpPair pair;
  mqPcfMessage* big = MakeMessage(13, 70, 1);  // 36 + 70 * 16 = 1156 bytes
  EXPECT_EQ(mnSWrite(big, pair.client, 1, cred_), 0);
  EXPECT_EQ(pair.client->lastError, MN_ERR_NO_ROOM);
  mnSetMaxMessageBytes(previous);
  ASSERT_EQ(mnSWrite(big, pair.client, 1, cred_), 1);
  mnSetMaxMessageBytes(1000);
  EXPECT_EQ(mnSRead(rx_, pair.accepted, 1, cred_), 0);
  EXPECT_EQ(pair.accepted->lastError, MN_ERR_NO_ROOM);
  mnSetMaxMessageBytes(previous);
  DeletePcfMessage(big);
}

// Lifts the allocation cap however the test ends.
struct AllocationCap {
  explicit AllocationCap(size_t max_bytes) { pcfcore::testing::FailAllocationsAbove(max_bytes); }
  ~AllocationCap() { pcfcore::testing::AllowAllAllocations(); }
};

TEST_F(FrameTest, FailedAllocationsKeepTheirOwnError) {
  mqPcfMessage* big = MakeMessage(13, 3, 8, std::string(100 * 1024, 'q'));
  {
    // A frame that must wait behind queued ones is copied: with no room for
    // the copy the write fails with 2102, never as if the socket would
    // block, and nothing is sent or queued.
    nettest::TcpPair pair;
    ASSERT_EQ(NoblockSocket(&pair.client->socket), 1);
    mqPcfMessage* filler = MakeMessage(13, 3, 9, std::string(64 * 1024, 'f'));
    for (int i = 0; i < 10000 && pair.client->pending == nullptr; ++i) {
      ASSERT_EQ(mnWrite(filler, pair.client), 1) << pair.client->lastError;
    }
    DeletePcfMessage(filler);
    ASSERT_NE(pair.client->pending, nullptr);
    const MQLONG queued = pair.client->pendingCount;
    const MQLONG written = pair.client->framesWritten;
    AllocationCap cap(64 * 1024);
    EXPECT_EQ(mnWrite(big, pair.client), 0);
    EXPECT_EQ(pair.client->lastError, MN_ERR_NO_ROOM);
    EXPECT_EQ(mnSWrite(big, pair.client, 1, cred_), 0);
    EXPECT_EQ(pair.client->lastError, MN_ERR_NO_ROOM);
    EXPECT_EQ(pair.client->pendingCount, queued);
    EXPECT_EQ(pair.client->framesWritten, written);
  }
  // The frame goes out; the reader then has no room for it in the message
  // (nor in its receive buffer, which it leaves as it was).
  for (const Framing& f : {Framing{"plain", 0}, Framing{"signed", 1}}) {
    SCOPED_TRACE(f.name);
    nettest::TcpPair pair;
    // Non-blocking: what the socket does not take waits in the queue.
    ASSERT_EQ(NoblockSocket(&pair.client->socket), 1);
    ASSERT_EQ(mnSWrite(big, pair.client, f.secure, cred_), 1) << pair.client->lastError;
    {
      AllocationCap cap(64 * 1024);
      EXPECT_EQ(mnSRead(rx_, pair.accepted, f.secure, cred_), 0);
      EXPECT_EQ(pair.accepted->lastError, MN_ERR_NO_ROOM);
      EXPECT_EQ(pair.accepted->receive.Capacity, MQNODE_RECEIVE_CAPACITY);
      EXPECT_EQ(pair.accepted->receive.Filled, 0);
    }
    EXPECT_EQ(pair.accepted->framesRead, 0);
  }
  DeletePcfMessage(big);
}

TEST_F(FrameTest, MessageLengthMustAgreeWithBytesReceived) {
  // Correctly signed, but the message header claims 4 bytes fewer than the
  // node header delivered.
  nettest::Listener listener;
  nettest::RawPeer peer(&listener);
  std::vector<unsigned char> body = ForeignBody();
  std::vector<unsigned char> rest = ForeignMessageHeader(static_cast<uint32_t>(body.size()) - 4);
  rest.insert(rest.end(), body.begin(), body.end());
  rest = WithStamp(rest);
  const uint32_t length = static_cast<uint32_t>(rest.size()) + kMac;
  std::vector<unsigned char> frame;
  for (uint32_t w : {32u, 1u, 1u, 1u, length}) PutBE(&frame, w);
  for (int i = 0; i < 12; ++i) frame.push_back(0);
  std::vector<unsigned char> input = frame;
  input.insert(input.end(), rest.begin(), rest.end());
  std::vector<unsigned char> mac = nettest::FrameMac(nettest::Unhex(nettest::kKeyHexA), input);
  frame.insert(frame.end(), rest.begin(), rest.end());
  frame.insert(frame.end(), mac.begin(), mac.end());
  ASSERT_TRUE(peer.Send(frame));
  EXPECT_EQ(mnSRead(rx_, peer.node, 1, cred_), 0);
  EXPECT_EQ(peer.node->lastError, MN_ERR_BAD_HEADER);
}

TEST_F(FrameTest, PausedFrameCompletesOverSeveralNonBlockingReads) {
  nettest::Listener listener;
  nettest::RawPeer peer(&listener);
  ASSERT_EQ(NoblockSocket(&peer.node->socket), 1);
  mqPcfMessage* out = MakeMessage(13, 4, 9);
  const std::size_t size = 32 + 136 + 36 + 4 * 16 + kTrailer;
  std::vector<unsigned char> frame = nettest::ConnectingFrame(out, 1, cred_);
  ASSERT_EQ(frame.size(), size);

  ASSERT_TRUE(peer.Send({frame.begin(), frame.begin() + 32}));
  EXPECT_EQ(nettest::ReadWithDeadline(rx_, peer.node, 1, cred_, 200), 0);
  EXPECT_EQ(peer.node->lastError, MN_ERR_WOULD_BLOCK);
  ASSERT_TRUE(peer.Send({frame.begin() + 32, frame.begin() + 100}));
  EXPECT_EQ(nettest::ReadWithDeadline(rx_, peer.node, 1, cred_, 200), 0);
  EXPECT_EQ(peer.node->lastError, MN_ERR_WOULD_BLOCK);
  ASSERT_TRUE(peer.Send({frame.begin() + 100, frame.end()}));
  ASSERT_EQ(nettest::ReadWithDeadline(rx_, peer.node, 1, cred_), 1) << peer.node->lastError;
  EXPECT_TRUE(HasContents(rx_, 13, 4, 9));
  DeletePcfMessage(out);
}

// The bytes of MakeMessage(13, 4, 9) in one framing, as a connecting end
// writes them.
std::vector<unsigned char> FrameBytes(int secure, mqcSignature credential) {
  mqPcfMessage* out = MakeMessage(13, 4, 9);
  std::vector<unsigned char> bytes = nettest::ConnectingFrame(out, secure, credential);
  DeletePcfMessage(out);
  EXPECT_EQ(bytes.size(), (secure ? 32u + kTrailer : 0u) + 136 + 36 + 4 * 16);
  return bytes;
}

TEST_F(FrameTest, FrameSplitAtEveryByteBoundaryIsDeliveredWhole) {
  const Framing framings[] = {{"plain", 0}, {"signed", 1}};
  for (const Framing& f : framings) {
    SCOPED_TRACE(f.name);
    nettest::Listener listener;
    nettest::RawPeer peer(&listener);
    std::vector<unsigned char> frame = FrameBytes(f.secure, cred_);
    ASSERT_FALSE(frame.empty());
    ASSERT_EQ(NoblockSocket(&peer.node->socket), 1);
    for (std::size_t cut = 1; cut < frame.size(); ++cut) {
      SCOPED_TRACE(cut);
      // A signed frame is accepted once only: each cut needs a new one.
      if (f.secure && cut > 1) frame = FrameBytes(f.secure, cred_);
      ASSERT_TRUE(peer.Send({frame.begin(), frame.begin() + static_cast<long>(cut)}));
      // However much of the head has arrived, the frame is not complete.
      ASSERT_EQ(mnSRead(rx_, peer.node, f.secure, cred_), 0);
      ASSERT_EQ(peer.node->lastError, MN_ERR_WOULD_BLOCK);
      ASSERT_TRUE(peer.Send({frame.begin() + static_cast<long>(cut), frame.end()}));
      ASSERT_EQ(nettest::ReadWithDeadline(rx_, peer.node, f.secure, cred_), 1)
          << peer.node->lastError;
      ASSERT_TRUE(HasContents(rx_, 13, 4, 9));
    }
    EXPECT_EQ(peer.node->framesRead, static_cast<MQLONG>(frame.size() - 1));
  }
}

TEST_F(FrameTest, FrameArrivingOneByteAtATimeIsDeliveredOnce) {
  const Framing framings[] = {{"plain", 0}, {"signed", 1}};
  for (const Framing& f : framings) {
    SCOPED_TRACE(f.name);
    nettest::Listener listener;
    nettest::RawPeer peer(&listener);
    std::vector<unsigned char> frame = FrameBytes(f.secure, cred_);
    ASSERT_FALSE(frame.empty());
    ASSERT_EQ(NoblockSocket(&peer.node->socket), 1);
    for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
      ASSERT_TRUE(peer.Send({frame[i]}));
      ASSERT_EQ(mnSRead(rx_, peer.node, f.secure, cred_), 0) << "after byte " << i;
      ASSERT_EQ(peer.node->lastError, MN_ERR_WOULD_BLOCK) << "after byte " << i;
    }
    ASSERT_TRUE(peer.Send({frame.back()}));
    ASSERT_EQ(nettest::ReadWithDeadline(rx_, peer.node, f.secure, cred_), 1)
        << peer.node->lastError;
    EXPECT_TRUE(HasContents(rx_, 13, 4, 9));
    EXPECT_EQ(peer.node->framesRead, 1);
  }
}

TEST_F(FrameTest, BackToBackFramesInOneSendAreReadOneByOne) {
  const Framing framings[] = {{"plain", 0}, {"signed", 1}};
  for (const Framing& f : framings) {
    SCOPED_TRACE(f.name);
    nettest::Listener listener;
    nettest::RawPeer peer(&listener);
    std::vector<unsigned char> frame = FrameBytes(f.secure, cred_);
    ASSERT_FALSE(frame.empty());
    ASSERT_EQ(NoblockSocket(&peer.node->socket), 1);
    // Two whole frames and the first 40 bytes of a third in one send: the
    // reader takes exactly one frame per call and keeps the third's head.
    // Signed frames are accepted once only: three different ones.
    std::vector<unsigned char> second = FrameBytes(f.secure, cred_);
    std::vector<unsigned char> third = FrameBytes(f.secure, cred_);
    std::vector<unsigned char> bytes = frame;
    bytes.insert(bytes.end(), second.begin(), second.end());
    bytes.insert(bytes.end(), third.begin(), third.begin() + 40);
    frame = third;
    ASSERT_TRUE(peer.Send(bytes));
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(nettest::ReadWithDeadline(rx_, peer.node, f.secure, cred_), 1)
          << peer.node->lastError;
      EXPECT_TRUE(HasContents(rx_, 13, 4, 9));
    }
    EXPECT_EQ(mnSRead(rx_, peer.node, f.secure, cred_), 0);
    EXPECT_EQ(peer.node->lastError, MN_ERR_WOULD_BLOCK);
    ASSERT_TRUE(peer.Send({frame.begin() + 40, frame.end()}));
    ASSERT_EQ(nettest::ReadWithDeadline(rx_, peer.node, f.secure, cred_), 1)
        << peer.node->lastError;
    EXPECT_TRUE(HasContents(rx_, 13, 4, 9));
    EXPECT_EQ(peer.node->framesRead, 3);
  }
}

TEST_F(FrameTest, PeerClosingMidFrameGivesPeerClosed) {
  const std::size_t cuts[] = {0, 10, 32, 100};
  for (std::size_t cut : cuts) {
    SCOPED_TRACE(cut);
    nettest::Listener listener;
    nettest::RawPeer peer(&listener);
    mqPcfMessage* out = MakeMessage(13, 4, 9);
    ASSERT_EQ(mnSWrite(out, peer.node, 1, cred_), 1);
    std::vector<unsigned char> frame = peer.Receive(32 + 136 + 36 + 64 + kTrailer);
    ASSERT_FALSE(frame.empty());
    if (cut > 0) {
      ASSERT_TRUE(peer.Send({frame.begin(), frame.begin() + static_cast<long>(cut)}));
    }
    close(peer.fd);
    peer.fd = -1;
    EXPECT_EQ(mnSRead(rx_, peer.node, 1, cred_), 0);
    EXPECT_EQ(peer.node->lastError, MN_ERR_PEER_CLOSED);
    DeletePcfMessage(out);
  }
}

TEST_F(FrameTest, AltUserWritesNameTheMessageUserOnlyInPlainFraming) {
  nettest::TcpPair pair;
  mqPcfMessage* out = MakeMessage(13, 1, 1);
  std::memcpy(MESSAGE_HEADER(&out->Body)->UserId, "OTHERUSER123", 12);
  ASSERT_EQ(mnWriteAltUser(out, pair.client), 1);
  ASSERT_EQ(mnRead(rx_, pair.accepted), 1);
  EXPECT_EQ(std::string(rx_->NodeHeader.UserName, 12), "OTHERUSER123");
  ASSERT_EQ(mnSWriteAltUser(out, pair.client, 1, cred_), 1);
  ASSERT_EQ(mnSRead(rx_, pair.accepted, 1, cred_), 1);
  EXPECT_EQ(0, std::strncmp(rx_->NodeHeader.UserName, pair.client->user, 12));
  EXPECT_EQ(0, std::strncmp(MESSAGE_HEADER(&rx_->Body)->UserId, pair.client->user, 12));
  // A blank UserId is filled with the node's user.
  std::memset(MESSAGE_HEADER(&out->Body)->UserId, ' ', 12);
  ASSERT_EQ(mnWriteAltUser(out, pair.client), 1);
  ASSERT_EQ(mnRead(rx_, pair.accepted), 1);
  EXPECT_EQ(0, std::strncmp(rx_->NodeHeader.UserName, pair.client->user, 12));
  DeletePcfMessage(out);
}

TEST_F(FrameTest, BrowseShowsTheNextHeaderWithoutConsumingIt) {
  nettest::TcpPair pair;
  mqPcfMessage* out = MakeMessage(13, 2, 4);
  ASSERT_EQ(mnWrite(out, pair.client), 1);
  ASSERT_EQ(mnBrowse(rx_, pair.accepted), 1) << pair.accepted->lastError;
  EXPECT_EQ(MESSAGE_HEADER(&rx_->Body)->lUserMsgLength, 36 + 32);
  ASSERT_EQ(mnRead(rx_, pair.accepted), 1);
  EXPECT_TRUE(HasContents(rx_, 13, 2, 4));
  DeletePcfMessage(out);
}

// The worked example of docs/formats/node-frame.md, byte for byte.
const std::vector<unsigned char> kDocumentedFrame = {
      0x20, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
      0xd4, 0x00, 0x00, 0x00, 0x61, 0x6c, 0x69, 0x63, 0x65, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x88, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x61, 0x6c, 0x69, 0x63, 0x65, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x47, 0x52, 0x50, 0x53, 0x45, 0x52, 0x56, 0x45, 0x52, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00,
      0x01, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xa2,
      0x5d, 0x3f, 0xec, 0x00, 0x01, 0xa1, 0xa2, 0xa3, 0xa4, 0xa5, 0x00, 0x00, 0xa8, 0xa9, 0xaa, 0xab,
      0xac, 0xad, 0xae, 0xaf, 0x04, 0x13, 0x9d, 0x4a, 0x1a, 0x33, 0x3a, 0xcd, 0x7c, 0xf9, 0x8f, 0x90,
      0x6f, 0x6b, 0x95, 0x37,
};

// The documented frame's MAC under key 00..1f, recomputed after its time is
// replaced by when: the oracle's MAC over the documented canonical header
// and the bytes after the node header up to the MAC.
std::vector<unsigned char> DocumentedFrameDated(int64_t when_ms) {
  std::vector<unsigned char> frame = kDocumentedFrame;
  for (int i = 0; i < 8; ++i) {
    frame[0xcc + i] = static_cast<unsigned char>(static_cast<uint64_t>(when_ms) >> (56 - 8 * i));
  }
  std::vector<unsigned char> input = {0x00, 0x00, 0x00, 0x20, 0x01, 0x00, 0x00, 0x00,
                                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,
                                      0x00, 0x00, 0x00, 0xd4, 0x61, 0x6c, 0x69, 0x63,
                                      0x65, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  input.insert(input.end(), frame.begin() + 0x20, frame.begin() + 0xe4);
  std::vector<unsigned char> key(32);
  for (int i = 0; i < 32; ++i) key[i] = static_cast<unsigned char>(i);
  const std::vector<unsigned char> mac = nettest::FrameMac(key, input);
  std::copy(mac.begin(), mac.end(), frame.begin() + 0xe4);
  return frame;
}

TEST_F(FrameTest, DocumentedExampleFrameIsReadWhenFreshAndRefusedWhenOld) {
  ASSERT_EQ(kDocumentedFrame.size(), 0xf4u);
  // The MAC oracle reproduces the documented one for the documented time.
  ASSERT_EQ(DocumentedFrameDated(1796860800000), kDocumentedFrame);
  nettest::Listener listener;
  nettest::RawPeer peer(&listener);
  // Its time lies in the past: refused like any stale frame.
  ASSERT_TRUE(peer.Send(kDocumentedFrame));
  EXPECT_EQ(mnSRead(rx_, peer.node, 1, cred_), 0);
  EXPECT_EQ(peer.node->lastError, MN_ERR_NOT_AUTHENTIC);
  // The same frame dated now is read.
  const auto now_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  ASSERT_TRUE(peer.Send(DocumentedFrameDated(now_ms)));
  ASSERT_EQ(mnSRead(rx_, peer.node, 1, cred_), 1) << peer.node->lastError;
  EXPECT_EQ(rx_->Cfh->Command, 40);
  EXPECT_EQ(rx_->Cfh->ParameterCount, 0);
  EXPECT_EQ(std::string(rx_->NodeHeader.UserName), "alice");
  EXPECT_EQ(std::string(MESSAGE_HEADER(&rx_->Body)->ApplName), "GRPSERVER");
  // Written by a connecting end: a connecting node refuses it (its own side).
  RawServer server;
  ASSERT_TRUE(server.Send(DocumentedFrameDated(now_ms + 1)));
  EXPECT_EQ(mnSRead(rx_, server.node, 1, cred_), 0);
  EXPECT_EQ(server.node->lastError, MN_ERR_NOT_AUTHENTIC);
  EXPECT_NE(std::string(mqc_signature_error()).find("reflected"), std::string::npos)
      << mqc_signature_error();
  // Its plain framing is the same bytes without node header and trailer.
  ASSERT_TRUE(peer.Send({kDocumentedFrame.begin() + 32, kDocumentedFrame.end() - kTrailer}));
  ASSERT_EQ(mnRead(rx_, peer.node), 1) << peer.node->lastError;
  EXPECT_EQ(rx_->Cfh->Command, 40);
}

class UdpFrameTest : public FrameTest {};

TEST_F(UdpFrameTest, DatagramsTravelInBothFramings) {
  SocketAddress a = nettest::Address("127.0.0.1", "0");
  SocketAddress b = nettest::Address("127.0.0.1", "0");
  mqnMQNodeData* left = CreateUDPMQNode(&a);
  mqnMQNodeData* right = CreateUDPMQNode(&b);
  ASSERT_EQ(left->open, 1);
  ASSERT_EQ(right->open, 1);
  SocketAddress to_right = nettest::Loopback(right->address.port);
  for (int secure : {0, 1}) {
    SCOPED_TRACE(secure);
    mqPcfMessage* out = MakeMessage(10020, 3, secure + 1);
    ASSERT_EQ(mnSWriteTo(out, left, &to_right, secure, cred_), 1) << left->lastError;
    ASSERT_EQ(mnSRead(rx_, right, secure, cred_), 1) << right->lastError;
    EXPECT_TRUE(HasContents(rx_, 10020, 3, secure + 1));
    // Reply to the sender: a null address goes back to the last sender.
    ASSERT_EQ(mnSWriteTo(out, right, nullptr, secure, cred_), 1) << right->lastError;
    ASSERT_EQ(mnSRead(rx_, left, secure, cred_), 1) << left->lastError;
    EXPECT_EQ(left->pending, nullptr);
    DeletePcfMessage(out);
  }
  DeleteMQNode(left);
  DeleteMQNode(right);
}

TEST_F(UdpFrameTest, ShortOrMisSizedDatagramsAreNeverDelivered) {
  SocketAddress a = nettest::Address("127.0.0.1", "0");
  mqnMQNodeData* node = CreateUDPMQNode(&a);
  int raw = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(node->address.port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::vector<unsigned char> header;
  for (uint32_t w : {32u, 1u, 0u, 1u, 300u, 0u, 0u, 0u}) PutLE(&header, w);
  std::vector<unsigned char> longer = header;
  longer.resize(200, 0);  // announces 332 bytes, carries 200
  for (const std::vector<unsigned char>* d : {&header, &longer}) {
    ASSERT_EQ(sendto(raw, d->data(), d->size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(d->size()));
    EXPECT_EQ(mnSRead(rx_, node, 1, cred_), 0);
    EXPECT_EQ(node->lastError, MN_ERR_BAD_HEADER);
  }
  // Larger than the receive buffer: refused whole (10040), never cut short.
  std::vector<unsigned char> huge = header;
  huge.resize(MQNODE_RECEIVE_CAPACITY + 100, 0);
  ASSERT_EQ(sendto(raw, huge.data(), huge.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
            static_cast<ssize_t>(huge.size()));
  EXPECT_EQ(mnSRead(rx_, node, 1, cred_), 0);
  EXPECT_EQ(node->lastError, 10040);
  EXPECT_EQ(node->framesRead, 0);
  // The node still takes the next proper datagram.
  SocketAddress a2 = nettest::Address("127.0.0.1", "0");
  mqnMQNodeData* sender = CreateUDPMQNode(&a2);
  SocketAddress back = nettest::Loopback(node->address.port);
  mqPcfMessage* out = MakeMessage(10020, 2, 5);
  ASSERT_EQ(mnSWriteTo(out, sender, &back, 1, cred_), 1) << sender->lastError;
  ASSERT_EQ(mnSRead(rx_, node, 1, cred_), 1) << node->lastError;
  EXPECT_TRUE(HasContents(rx_, 10020, 2, 5));
  DeletePcfMessage(out);
  DeleteMQNode(sender);
  close(raw);
  DeleteMQNode(node);
}

// A UDP socket on 127.0.0.1 with a port the system chose.
struct RawUdp {
  RawUdp() {
    fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in here{};
    here.sin_family = AF_INET;
    here.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&here), sizeof here), 0);
    socklen_t length = sizeof here;
    EXPECT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&here), &length), 0);
    port = ntohs(here.sin_port);
  }
  ~RawUdp() { close(fd); }
  std::vector<unsigned char> Receive() const {
    std::vector<unsigned char> datagram(65536);
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 5000) != 1) return {};
    const ssize_t got = recv(fd, datagram.data(), datagram.size(), 0);
    datagram.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return datagram;
  }
  bool SendTo(uint32_t to_port, const std::vector<unsigned char>& datagram) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(to_port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                  sizeof to) == static_cast<ssize_t>(datagram.size());
  }
  int fd = -1;
  uint32_t port = 0;
};

TEST_F(UdpFrameTest, DatagramSentBackToTheSocketThatWroteItIsRefused) {
  SocketAddress a = nettest::Address("127.0.0.1", "0");
  SocketAddress b = nettest::Address("127.0.0.1", "0");
  mqnMQNodeData* node = CreateUDPMQNode(&a);
  mqnMQNodeData* other = CreateUDPMQNode(&b);
  ASSERT_EQ(node->open, 1);
  ASSERT_EQ(other->open, 1);
  RawUdp raw;
  SocketAddress to_raw = nettest::Loopback(raw.port);
  mqPcfMessage* out = MakeMessage(10020, 2, 7);
  ASSERT_EQ(mnSWriteTo(out, node, &to_raw, 1, cred_), 1) << node->lastError;
  std::vector<unsigned char> datagram = raw.Receive();
  ASSERT_EQ(datagram.size(), 32u + 136 + 36 + 2 * 16 + kTrailer);
  // The nonce names a datagram and the writing socket's port.
  const std::size_t nonce = datagram.size() - kMac - 16;
  EXPECT_EQ(datagram[nonce], MQNODE_SIDE_DATAGRAM);
  EXPECT_EQ(datagram[nonce + 6] * 256 + datagram[nonce + 7], static_cast<int>(node->address.port));

  // Back to its writer: refused, however often it comes.
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(raw.SendTo(node->address.port, datagram));
    EXPECT_EQ(mnSRead(rx_, node, 1, cred_), 0);
    EXPECT_EQ(node->lastError, MN_ERR_NOT_AUTHENTIC);
    EXPECT_NE(std::string(mqc_signature_error()).find("reflected"), std::string::npos)
        << mqc_signature_error();
  }
  // Into a TCP connection: not a frame of the other end there either.
  nettest::Listener listener;
  nettest::RawPeer peer(&listener);
  ASSERT_TRUE(peer.Send(datagram));
  EXPECT_EQ(mnSRead(rx_, peer.node, 1, cred_), 0);
  EXPECT_EQ(peer.node->lastError, MN_ERR_NOT_AUTHENTIC);
  // Another socket, even of this process, takes it: it did not write it.
  ASSERT_TRUE(raw.SendTo(other->address.port, datagram));
  ASSERT_EQ(mnSRead(rx_, other, 1, cred_), 1) << other->lastError;
  EXPECT_TRUE(HasContents(rx_, 10020, 2, 7));
  // And the writer still takes datagrams the other socket writes.
  SocketAddress to_node = nettest::Loopback(node->address.port);
  ASSERT_EQ(mnSWriteTo(out, other, &to_node, 1, cred_), 1) << other->lastError;
  ASSERT_EQ(mnSRead(rx_, node, 1, cred_), 1) << node->lastError;
  DeletePcfMessage(out);
  DeleteMQNode(other);
  DeleteMQNode(node);
}

TEST_F(UdpFrameTest, CapturedDatagramIsAcceptedOnceOnly) {
  SocketAddress a = nettest::Address("127.0.0.1", "0");
  SocketAddress b = nettest::Address("127.0.0.1", "0");
  mqnMQNodeData* node = CreateUDPMQNode(&a);
  mqnMQNodeData* sender = CreateUDPMQNode(&b);
  // A raw socket captures the signed datagram the sender writes.
  int raw = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in here{};
  here.sin_family = AF_INET;
  here.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(raw, reinterpret_cast<sockaddr*>(&here), sizeof here), 0);
  socklen_t here_len = sizeof here;
  ASSERT_EQ(getsockname(raw, reinterpret_cast<sockaddr*>(&here), &here_len), 0);
  SocketAddress to_raw = nettest::Loopback(ntohs(here.sin_port));
  mqPcfMessage* out = MakeMessage(10020, 2, 5);
  ASSERT_EQ(mnSWriteTo(out, sender, &to_raw, 1, cred_), 1) << sender->lastError;
  std::vector<unsigned char> datagram(4096);
  const ssize_t got = recv(raw, datagram.data(), datagram.size(), 0);
  ASSERT_GT(got, 0);
  datagram.resize(static_cast<std::size_t>(got));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(node->address.port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(sendto(raw, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to),
              static_cast<ssize_t>(datagram.size()));
    EXPECT_EQ(mnSRead(rx_, node, 1, cred_), i == 0 ? 1 : 0);
    if (i == 0) {
      EXPECT_TRUE(HasContents(rx_, 10020, 2, 5));
    } else {
      EXPECT_EQ(node->lastError, MN_ERR_NOT_AUTHENTIC);
    }
  }
  DeletePcfMessage(out);
  close(raw);
  DeleteMQNode(sender);
  DeleteMQNode(node);
}

}  // namespace
