// signcore: key files, the signed frame's bytes, and authentication. The MAC
// oracle is OpenSSL's one-shot HMAC and Poly1305 over bytes laid out by hand
// from docs/formats/node-frame.md, not the library's own canonical-header
// code (frame_mac_oracle.h).

#include "signcore/signcore.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <algorithm>
#include <string>
#include <vector>

#include "frame_mac_oracle.h"
#include "install_dir_cases.h"
#include "pcfcore/memory.h"
#include "replay_guard.h"
#include "signing_key.h"
#include "testsupport/testsupport.h"

namespace {

namespace fs = std::filesystem;

// The trailer (time, nonce, MAC) and the MAC at its end.
constexpr int kTrailer = MQC_SIGNATURE_LENGTH;
constexpr int kMac = 16;
static_assert(kTrailer == 8 + 16 + kMac);

const char kKeyHexA[] =
    "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
const char kKeyHexB[] =
    "ff0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

std::vector<unsigned char> Unhex(const std::string& hex) {
  std::vector<unsigned char> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// A message object with a 136-byte header and a body of body_len bytes,
// built by hand so these tests depend on nothing but the record layout.
struct HandMessage {
  mqPcfMessage msg{};
  explicit HandMessage(int body_len) {
    int total = MESSAGE_HEADER_LENGTH + body_len;
    msg.Body.Storage = static_cast<unsigned char*>(std::calloc(1, total + 64));
    msg.Body.Payload = msg.Body.Storage + MESSAGE_HEADER_LENGTH;
    msg.Body.Capacity = total + 64;
    msg.Body.UsedLength = total;
    for (int i = 0; i < total; ++i) msg.Body.Storage[i] = static_cast<unsigned char>(i * 7 + 3);
    msg.NodeHeader.HeaderLength = 32;
    msg.NodeHeader.Version = 1;
    msg.NodeHeader.BigEndian = 0;
    msg.NodeHeader.AsciiText = 1;
    msg.NodeHeader.Length = total;
    std::memcpy(msg.NodeHeader.UserName, "alice", 5);
  }
  ~HandMessage() { std::free(msg.Body.Storage); }
};

class SigncoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_.emplace("signcore_test");
    ASSERT_FALSE(temp_->path().empty());
    dir_ = temp_->path();
    key_path_ = dir_ + "/signing.key";
    key_env_.emplace("HRLCOMPACT_SIGNING_KEY", key_path_);
  }
  void TearDown() override {
    mqc_release_signature(&cred_);
    temp_.reset();
    key_env_.reset();
  }
  void WriteKey(const std::string& text, mode_t mode = 0600) {
    fs::remove(key_path_);
    std::ofstream(key_path_) << text;
    ASSERT_EQ(chmod(key_path_.c_str(), mode), 0);
  }
  // Signs msg into a frame and copies the frame's bytes after the node header
  // into a receive-side message, as the transport does.
  // With a side, signs as a writer on that side (mqc_sign_as).
  std::vector<unsigned char> Sign(mqPcfMessage* msg, const mqcFrameSide* side = nullptr) {
    Buffer frame{};
    EXPECT_EQ(side != nullptr ? mqc_sign_as(cred_, msg, &frame, side) : mqc_sign(cred_, msg, &frame), 1)
        << mqc_signature_error();
    std::vector<unsigned char> bytes(frame.Data, frame.Data + frame.Size);
    DeleteBufferData(&frame);
    return bytes;
  }
  static void DeleteBufferData(Buffer* b) { FreeMemory(b->Data); }

  // Authenticates frame bytes the way the reader hands them over.
  // With a side, reads as a reader on that side (mqc_authenticate_as).
  int Authenticate(const std::vector<unsigned char>& frame, HandMessage* into,
                   const mqcFrameSide* side = nullptr) {
    std::memcpy(&into->msg.NodeHeader, frame.data(), 32);
    int rest = static_cast<int>(frame.size()) - 32;
    if (into->msg.Body.Capacity < rest) return -1;
    std::memcpy(into->msg.Body.Storage, frame.data() + 32, rest);
    into->msg.Body.UsedLength = rest;
    Buffer view{};
    view.Data = into->msg.Body.Storage;
    view.Size = rest;
    view.Capacity = rest;
    int ok = side != nullptr ? mqc_authenticate_as(&into->msg.NodeHeader, &view, &into->msg, side)
                             : mqc_authenticate(&into->msg.NodeHeader, &view, &into->msg);
    view_size_after_ = view.Size;
    return ok;
  }

  std::optional<harrow::testsupport::TempDir> temp_;
  std::optional<harrow::testsupport::ScopedEnv> key_env_;
  std::string dir_;
  std::string key_path_;
  mqcSignature cred_ = nullptr;
  int view_size_after_ = 0;
};

TEST_F(SigncoreTest, AuthenticateWithoutAnyKeyFailsClosed) {
  // No key file exists: nothing may be accepted, whatever the bytes.
  HandMessage rx(64);
  std::vector<unsigned char> frame(32 + 136 + 36 + kTrailer, 0);
  NodeHeader h{32, 1, 0, 1, 136 + 36 + kTrailer, {}};
  std::memcpy(frame.data(), &h, 32);
  EXPECT_EQ(Authenticate(frame, &rx), 0);
  EXPECT_NE(std::string(mqc_signature_error()).find(key_path_), std::string::npos);
}

struct BadKeyCase {
  const char* what;
  std::string text;
  mode_t mode;
};

TEST_F(SigncoreTest, BadKeyFilesGiveNoCredential) {
  const BadKeyCase cases[] = {
      {"group readable", kKeyHexA, 0640},
      {"world readable", kKeyHexA, 0604},
      {"not hex", std::string(kKeyHexA).replace(10, 1, "g"), 0600},
      {"odd digit count", std::string(kKeyHexA) + "a", 0600},
      {"16 bytes is too short", std::string(kKeyHexA, 32), 0600},
      {"65 bytes is too long", std::string(kKeyHexA) + kKeyHexA + "00", 0600},
      {"empty", "", 0600},
      {"two keys on two lines", std::string(kKeyHexA) + "\n" + kKeyHexB, 0600},
  };
  for (const BadKeyCase& c : cases) {
    SCOPED_TRACE(c.what);
    WriteKey(c.text, c.mode);
    mqcSignature cred = reinterpret_cast<mqcSignature>(0x1);
    EXPECT_EQ(mqc_get_signature(&cred), 0);
    EXPECT_EQ(cred, nullptr);
    EXPECT_NE(std::string(mqc_signature_error()).find(key_path_), std::string::npos);
  }
  fs::remove(key_path_);
  EXPECT_EQ(mqc_get_signature(&cred_), 0);
  EXPECT_NE(std::string(mqc_signature_error()).find("No such file"), std::string::npos);
}

TEST_F(SigncoreTest, KeyPathThatIsNotAPlainFileGivesNoCredential) {
  // A symbolic link to a good key: whoever can place the link chooses the
  // key, so it is refused.
  std::string real = dir_ + "/real.key";
  {
    std::ofstream(real) << kKeyHexA;
  }
  ASSERT_EQ(chmod(real.c_str(), 0600), 0);
  ASSERT_EQ(symlink(real.c_str(), key_path_.c_str()), 0);
  EXPECT_EQ(mqc_get_signature(&cred_), 0);
  EXPECT_NE(std::string(mqc_signature_error()).find(key_path_), std::string::npos);
  fs::remove(key_path_);
  // A directory.
  ASSERT_TRUE(fs::create_directory(key_path_));
  ASSERT_EQ(chmod(key_path_.c_str(), 0700), 0);
  EXPECT_EQ(mqc_get_signature(&cred_), 0);
  EXPECT_NE(std::string(mqc_signature_error()).find("not a regular file"), std::string::npos)
      << mqc_signature_error();
}

TEST_F(SigncoreTest, KeyFileOfAnotherUserGivesNoCredential) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  WriteKey(kKeyHexA);
  ASSERT_EQ(chown(key_path_.c_str(), 65534, 65534), 0);
  EXPECT_EQ(mqc_get_signature(&cred_), 0);
  EXPECT_NE(std::string(mqc_signature_error()).find("owned by user 65534"), std::string::npos)
      << mqc_signature_error();
  ASSERT_EQ(chown(key_path_.c_str(), geteuid(), getegid()), 0);
  EXPECT_EQ(mqc_get_signature(&cred_), 1) << mqc_signature_error();
}

TEST_F(SigncoreTest, KeyTextMayCarryUpperCaseAndSurroundingBlanks) {
  std::string upper = kKeyHexA;
  for (char& c : upper) c = static_cast<char>(std::toupper(c));
  WriteKey("  " + upper + "\r\n");
  ASSERT_EQ(mqc_get_signature(&cred_), 1) << mqc_signature_error();
  EXPECT_NE(cred_, nullptr);
  EXPECT_EQ(mqc_release_signature(&cred_), 1);
  EXPECT_EQ(cred_, nullptr);
  EXPECT_EQ(mqc_release_signature(&cred_), 0);
}

TEST_F(SigncoreTest, SignedFrameCarriesMacOfCanonicalHeaderAndBody) {
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  HandMessage tx(40);
  std::vector<unsigned char> frame = Sign(&tx.msg);
  const int rest = 136 + 40;
  ASSERT_EQ(frame.size(), 32u + rest + kTrailer);

  // Node header as sent (this host is little-endian): length counts the trailer.
  NodeHeader sent;
  std::memcpy(&sent, frame.data(), 32);
  EXPECT_EQ(sent.HeaderLength, 32);
  EXPECT_EQ(sent.Length, rest + kTrailer);
  EXPECT_EQ(0, std::memcmp(frame.data() + 32, tx.msg.Body.Storage, rest));
  // The writer's time, big-endian milliseconds, close to this clock.
  int64_t sent_ms = 0;
  for (int i = 0; i < 8; ++i) sent_ms = (sent_ms << 8) | frame[32 + rest + i];
  EXPECT_LE(std::llabs(sent_ms - signcore::NowMs()), 10'000);

  // Oracle: canonical header bytes written out by hand.
  std::vector<unsigned char> mac_input = {
      0, 0, 0, 32,  // header length, big-endian
      1, 0, 0, 0,   // version word exactly as it travelled (little-endian 1)
      0, 0, 0, 0,   // big-endian flag 0
      0, 0, 0, 1,   // ASCII flag 1
      0, 0, static_cast<unsigned char>((rest + kTrailer) >> 8),
      static_cast<unsigned char>((rest + kTrailer) & 0xff),
      'a', 'l', 'i', 'c', 'e', 0, 0, 0, 0, 0, 0, 0};
  // Then the message bytes, the time and the nonce.
  mac_input.insert(mac_input.end(), frame.begin() + 32, frame.begin() + 32 + rest + 24);
  const std::array<unsigned char, 16> mac = signcore_oracle::FrameMac(Unhex(kKeyHexA), mac_input);
  ASSERT_EQ(frame.size(), 32u + rest + 24 + kMac);
  EXPECT_EQ(0, std::memcmp(frame.data() + 32 + rest + 24, mac.data(), kMac));
  // Under another key the same bytes give another MAC.
  EXPECT_NE(signcore_oracle::FrameMac(Unhex(kKeyHexB), mac_input), mac);
  // Two frames of the same message differ in their nonce.
  std::vector<unsigned char> again = Sign(&tx.msg);
  EXPECT_NE(0, std::memcmp(frame.data() + 32 + rest + 8, again.data() + 32 + rest + 8, 16));
}

TEST_F(SigncoreTest, AuthenticStripsTrailerAndLeavesMessageBytes) {
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  HandMessage tx(40);
  std::vector<unsigned char> frame = Sign(&tx.msg);
  HandMessage rx(200);
  ASSERT_EQ(Authenticate(frame, &rx), 1) << mqc_signature_error();
  EXPECT_EQ(rx.msg.Body.UsedLength, 136 + 40);
  EXPECT_EQ(rx.msg.NodeHeader.Length, 136 + 40);
  EXPECT_EQ(view_size_after_, 136 + 40);
  EXPECT_EQ(0, std::memcmp(rx.msg.Body.Storage, tx.msg.Body.Storage, 136 + 40));
}

TEST_F(SigncoreTest, AnyChangedByteIsRefused) {
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  HandMessage tx(40);
  const std::vector<unsigned char> frame = Sign(&tx.msg);
  struct Flip {
    const char* where;
    std::size_t offset;
  };
  const Flip flips[] = {
      {"node header version word", 4},  {"node header ASCII flag", 12},
      {"node header user name", 21},    {"message header", 32 + 70},
      {"PCF body first byte", 32 + 136}, {"PCF body last byte", 32 + 136 + 39},
      {"time", 32 + 136 + 40 + 7},      {"nonce", 32 + 136 + 40 + 8 + 15},
      {"MAC", frame.size() - 1},
  };
  for (const Flip& f : flips) {
    SCOPED_TRACE(f.where);
    std::vector<unsigned char> bad = frame;
    bad[f.offset] ^= 0x01;
    HandMessage rx(200);
    EXPECT_EQ(Authenticate(bad, &rx), 0);
    EXPECT_EQ(rx.msg.Body.UsedLength, 136 + 40 + kTrailer) << "trailer must stay on refusal";
  }
}

TEST_F(SigncoreTest, FrameAcceptedOnceIsRefusedWhenReplayed) {
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  HandMessage tx(40);
  const std::vector<unsigned char> frame = Sign(&tx.msg);
  HandMessage first(200);
  ASSERT_EQ(Authenticate(frame, &first), 1) << mqc_signature_error();
  for (int i = 0; i < 3; ++i) {
    HandMessage again(200);
    EXPECT_EQ(Authenticate(frame, &again), 0);
    EXPECT_EQ(std::string(mqc_signature_error()),
              "mqc_authenticate: frame was already received (replay)");
  }
  // The same message signed anew is a new frame.
  HandMessage fresh(200);
  EXPECT_EQ(Authenticate(Sign(&tx.msg), &fresh), 1) << mqc_signature_error();
}

// Signs by hand (the oracle's MAC) a frame dated sent_ms.
std::vector<unsigned char> HandSignedFrame(const std::string& key_hex, int64_t sent_ms,
                                           unsigned char nonce_byte) {
  const int rest = 136 + 40;
  HandMessage tx(40);
  std::vector<unsigned char> frame(32 + rest + kTrailer);
  NodeHeader header = tx.msg.NodeHeader;
  header.Length = rest + kTrailer;
  std::memcpy(frame.data(), &header, 32);
  std::memcpy(frame.data() + 32, tx.msg.Body.Storage, rest);
  for (int i = 0; i < 8; ++i) {
    frame[32 + rest + i] = static_cast<unsigned char>(static_cast<uint64_t>(sent_ms) >> (56 - 8 * i));
  }
  std::memset(frame.data() + 32 + rest + 8, nonce_byte, 16);
  std::array<unsigned char, 32> canonical = signcore::CanonicalNodeHeader(header);
  std::vector<unsigned char> mac_input(canonical.begin(), canonical.end());
  mac_input.insert(mac_input.end(), frame.begin() + 32, frame.begin() + 32 + rest + 24);
  const std::array<unsigned char, 16> mac = signcore_oracle::FrameMac(Unhex(key_hex), mac_input);
  std::memcpy(frame.data() + 32 + rest + 24, mac.data(), mac.size());
  return frame;
}

// Which frames a reader takes, by the side that wrote them: never its own.
TEST_F(SigncoreTest, ReaderRefusesFramesOfItsOwnSide) {
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  const mqcFrameSide connecting{MQC_SIDE_CONNECTING, 0};
  const mqcFrameSide accepting{MQC_SIDE_ACCEPTING, 0};
  const mqcFrameSide port_a{MQC_SIDE_DATAGRAM, 4000};
  const mqcFrameSide port_b{MQC_SIDE_DATAGRAM, 4001};
  const char* kReflected = "mqc_authenticate: frame was written by this side of the connection (reflected)";
  const char* kNotOther = "mqc_authenticate: frame was not written by the other end of a connection";
  const char* kNotDatagram = "mqc_authenticate: frame was not written as a datagram";
  const char* kOwnDatagram = "mqc_authenticate: datagram was written by this socket (reflected)";
  struct Case {
    const char* what;
    const mqcFrameSide* writer;  // null: mqc_sign
    const mqcFrameSide* reader;  // null: mqc_authenticate
    const char* error;           // null: accepted
  };
  const Case cases[] = {
      {"connecting to accepting", &connecting, &accepting, nullptr},
      {"accepting to connecting", &accepting, &connecting, nullptr},
      {"connecting back to connecting", &connecting, &connecting, kReflected},
      {"accepting back to accepting", &accepting, &accepting, kReflected},
      {"unstated to connecting", nullptr, &connecting, kNotOther},
      {"unstated to accepting", nullptr, &accepting, kNotOther},
      {"datagram to a connection", &port_a, &accepting, kNotOther},
      {"connection to a datagram socket", &connecting, &port_a, kNotDatagram},
      {"unstated to a datagram socket", nullptr, &port_a, kNotDatagram},
      {"datagram to another port", &port_a, &port_b, nullptr},
      {"datagram back to its own port", &port_a, &port_a, kOwnDatagram},
      {"any side to a reader that states none", &connecting, nullptr, nullptr},
      {"datagram to a reader that states none", &port_a, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HandMessage tx(24);
    HandMessage rx(200);
    EXPECT_EQ(Authenticate(Sign(&tx.msg, c.writer), &rx, c.reader), c.error == nullptr ? 1 : 0);
    EXPECT_EQ(std::string(mqc_signature_error()), c.error == nullptr ? "" : c.error);
  }
  // A reader without a side, and a writer without one, are refused by the
  // calls that need it.
  HandMessage tx(24);
  HandMessage rx(200);
  const std::vector<unsigned char> frame = Sign(&tx.msg, &connecting);
  std::memcpy(&rx.msg.NodeHeader, frame.data(), 32);
  Buffer view{rx.msg.Body.Storage, 0, 0, 0, 0, 0};
  EXPECT_EQ(mqc_authenticate_as(&rx.msg.NodeHeader, &view, &rx.msg, nullptr), 0);
  Buffer out{};
  const mqcFrameSide unstated{MQC_SIDE_UNSTATED, 0};
  const mqcFrameSide unknown{7, 0};
  const mqcFrameSide bad_port{MQC_SIDE_DATAGRAM, 70000};
  for (const mqcFrameSide* side : {static_cast<const mqcFrameSide*>(nullptr), &unstated, &unknown, &bad_port}) {
    EXPECT_EQ(mqc_sign_as(cred_, &tx.msg, &out, side), 0);
    EXPECT_EQ(out.Data, nullptr);
  }
}

// The nonce's first half: side, the process's tag, the datagram port.
TEST_F(SigncoreTest, NonceNamesTheWritersSideProcessAndPort) {
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  HandMessage tx(24);
  const std::size_t nonce = 32 + 136 + 24 + 8;
  const mqcFrameSide datagram{MQC_SIDE_DATAGRAM, 0x1234};
  const mqcFrameSide accepting{MQC_SIDE_ACCEPTING, 0};
  const std::vector<unsigned char> a = Sign(&tx.msg, &datagram);
  const std::vector<unsigned char> b = Sign(&tx.msg, &accepting);
  const std::vector<unsigned char> c = Sign(&tx.msg);
  EXPECT_EQ(a[nonce], MQC_SIDE_DATAGRAM);
  EXPECT_EQ(b[nonce], MQC_SIDE_ACCEPTING);
  EXPECT_EQ(c[nonce], MQC_SIDE_UNSTATED);
  EXPECT_EQ(a[nonce + 6], 0x12);
  EXPECT_EQ(a[nonce + 7], 0x34);
  EXPECT_EQ(b[nonce + 6] | b[nonce + 7], 0);
  // One process tag for all frames of this process.
  EXPECT_EQ(0, std::memcmp(&a[nonce + 1], &b[nonce + 1], 5));
  EXPECT_EQ(0, std::memcmp(&a[nonce + 1], &c[nonce + 1], 5));
}

// A forked child is another writer: its datagrams from the same port number
// are not its parent's own.
TEST_F(SigncoreTest, ForkedChildHasItsOwnProcessTag) {
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  const mqcFrameSide port{MQC_SIDE_DATAGRAM, 5000};
  HandMessage tx(24);
  const std::vector<unsigned char> own = Sign(&tx.msg, &port);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    Buffer frame{};
    int ok = mqc_sign_as(cred_, &tx.msg, &frame, &port);
    if (ok) ok = write(fds[1], frame.Data, static_cast<std::size_t>(frame.Size)) == frame.Size;
    _exit(ok ? 0 : 1);
  }
  close(fds[1]);
  std::vector<unsigned char> theirs(own.size());
  std::size_t got = 0;
  while (got < theirs.size()) {
    const ssize_t n = read(fds[0], theirs.data() + got, theirs.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(got, own.size());
  HandMessage rx(200);
  EXPECT_EQ(Authenticate(theirs, &rx, &port), 1) << mqc_signature_error();
  HandMessage rx_own(200);
  EXPECT_EQ(Authenticate(own, &rx_own, &port), 0);
}

TEST_F(SigncoreTest, FramesOutsideTheTimeWindowAreRefused) {
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  const int64_t now = signcore::NowMs();
  struct Case {
    const char* what;
    int64_t sent_ms;
    int accepted;
    const char* error;
  };
  const Case cases[] = {
      {"one hour old", now - 3'600'000, 0, "mqc_authenticate: frame is older than the time window"},
      {"six minutes old", now - 360'000, 0, "mqc_authenticate: frame is older than the time window"},
      {"six minutes ahead", now + 360'000, 0,
       "mqc_authenticate: frame is dated beyond the time window"},
      {"negative time", -1, 0, "mqc_authenticate: frame is older than the time window"},
      {"four minutes old", now - 240'000, 1, ""},
      {"four minutes ahead", now + 240'000, 1, ""},
  };
  unsigned char nonce = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HandMessage rx(200);
    EXPECT_EQ(Authenticate(HandSignedFrame(kKeyHexA, c.sent_ms, nonce++), &rx), c.accepted);
    EXPECT_EQ(std::string(mqc_signature_error()), c.error);
  }
}

TEST(ReplayGuardTest, SeenPairsStayBoundedAndForgottenOnesAreNeverAcceptedAgain) {
  signcore::ReplayGuard guard(4);
  const int64_t now = 1'000'000'000;
  auto nonce = [](unsigned char b) {
    signcore::Nonce n{};
    n.fill(b);
    return n;
  };
  using F = signcore::Freshness;
  for (unsigned char i = 0; i < 10; ++i) {
    EXPECT_EQ(guard.Admit(now + i, nonce(i), now + 20), F::kFresh);
    EXPECT_LE(guard.size(), 4u);
  }
  // Every pair accepted so far is refused, remembered or not.
  for (unsigned char i = 0; i < 10; ++i) {
    EXPECT_EQ(guard.Admit(now + i, nonce(i), now + 20), F::kSeen) << int(i);
  }
  // A new nonce at or below the forgotten times is refused too; newer ones pass.
  EXPECT_EQ(guard.Admit(now + 5, nonce(99), now + 20), F::kSeen);
  EXPECT_EQ(guard.Admit(now + 11, nonce(99), now + 20), F::kFresh);
  EXPECT_EQ(guard.size(), 4u);
  // Pairs leave the memory once they leave the window.
  EXPECT_EQ(guard.Admit(now + signcore::kWindowMs + 50, nonce(7), now + signcore::kWindowMs + 50),
            F::kFresh);
  EXPECT_EQ(guard.size(), 1u);
  EXPECT_EQ(guard.Admit(now + 11, nonce(99), now + signcore::kWindowMs + 50), F::kStale);
}

TEST_F(SigncoreTest, FrameOfAnotherKeyIsRefused) {
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  HandMessage tx(40);
  std::vector<unsigned char> frame = Sign(&tx.msg);
  // The installation key changes; this process now checks with key B.
  WriteKey(kKeyHexB);
  mqcSignature cred_b = nullptr;
  ASSERT_EQ(mqc_get_signature(&cred_b), 1);
  HandMessage rx(200);
  EXPECT_EQ(Authenticate(frame, &rx), 0);
  EXPECT_EQ(std::string(mqc_signature_error()), "mqc_authenticate: signature does not match");
  mqc_release_signature(&cred_b);
}

TEST_F(SigncoreTest, SizesThatDisagreeAreRefused) {
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  HandMessage tx(40);
  std::vector<unsigned char> frame = Sign(&tx.msg);
  HandMessage rx(200);
  std::memcpy(&rx.msg.NodeHeader, frame.data(), 32);
  std::memcpy(rx.msg.Body.Storage, frame.data() + 32, frame.size() - 32);
  rx.msg.Body.UsedLength = static_cast<MQLONG>(frame.size() - 32);
  Buffer view{rx.msg.Body.Storage, static_cast<MQLONG>(frame.size() - 33), 0, 0, 0, 0};
  EXPECT_EQ(mqc_authenticate(&rx.msg.NodeHeader, &view, &rx.msg), 0);
  // A length word too small to hold a message header and a signature.
  rx.msg.NodeHeader.Length = 100;
  rx.msg.Body.UsedLength = 100;
  view.Size = 100;
  EXPECT_EQ(mqc_authenticate(&rx.msg.NodeHeader, &view, &rx.msg), 0);
}

TEST_F(SigncoreTest, SignWithoutCredentialFails) {
  HandMessage tx(40);
  Buffer frame{};
  EXPECT_EQ(mqc_sign(nullptr, &tx.msg, &frame), 0);
  EXPECT_EQ(frame.Data, nullptr);
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  mqPcfMessage empty{};
  EXPECT_EQ(mqc_sign(cred_, &empty, &frame), 0);
}

// The key is found under the install directory in the suite's order when
// no variable names the key file itself.
TEST(SigncoreKeyPathTest, KeyLiesUnderTheInstallDirectoryInTheSuiteOrder) {
  const char* named = getenv("HRLCOMPACT_SIGNING_KEY");
  std::string saved = named != nullptr ? named : "";
  unsetenv("HRLCOMPACT_SIGNING_KEY");
  const std::string suffix = "security/signing.key";
  os_test::ExpectInstallDirOrder([&] {
    std::string path = signcore::KeyFilePath();
    EXPECT_EQ(path.size() > suffix.size() ? path.substr(path.size() - suffix.size()) : "", suffix);
    return os_test::ResolvedInstallDir{path.substr(0, path.size() - suffix.size()), std::nullopt};
  });
  if (named != nullptr) setenv("HRLCOMPACT_SIGNING_KEY", saved.c_str(), 1);
}

}  // namespace

namespace piecewise {

// The MAC of a whole frame laid out by hand: the node header's words as
// big-endian numbers (the version word as it travelled) and the user name,
// then every byte after the header up to the MAC.
std::array<unsigned char, 16> OracleMac(const std::vector<unsigned char>& frame,
                                        const std::vector<unsigned char>& key) {
  NodeHeader h;
  std::memcpy(&h, frame.data(), 32);
  std::vector<unsigned char> input;
  auto put = [&](MQLONG v) {
    const auto u = static_cast<uint32_t>(v);
    for (int shift = 24; shift >= 0; shift -= 8) input.push_back(static_cast<unsigned char>(u >> shift));
  };
  put(h.HeaderLength);
  input.insert(input.end(), frame.begin() + 4, frame.begin() + 8);
  put(h.BigEndian);
  put(h.AsciiText);
  put(h.Length);
  input.insert(input.end(), frame.begin() + 20, frame.begin() + 32);
  input.insert(input.end(), frame.begin() + 32, frame.end() - kMac);
  return signcore_oracle::FrameMac(key, input);
}

// Random piece sizes that add up to total (some empty, some single bytes).
std::vector<std::size_t> RandomPieces(std::mt19937_64& rng, std::size_t total) {
  std::vector<std::size_t> pieces;
  std::size_t left = total;
  while (left > 0) {
    std::size_t piece = 0;
    switch (rng() % 4) {
      case 0: piece = 0; break;
      case 1: piece = 1; break;
      case 2: piece = rng() % 100; break;
      default: piece = rng() % (left + 1); break;
    }
    piece = std::min(piece, left);
    pieces.push_back(piece);
    left -= piece;
  }
  return pieces;
}

}  // namespace piecewise

// Signing and checking piece by piece give the frames and verdicts of the
// one-shot calls, whatever the sizes and the pieces (seeded).
TEST_F(SigncoreTest, PieceByPieceSigningAndCheckingMatchTheWholeFrameCalls) {
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  const std::vector<unsigned char> key = Unhex(kKeyHexA);
  const mqcFrameSide writer{MQC_SIDE_CONNECTING, 0};
  const mqcFrameSide reader{MQC_SIDE_ACCEPTING, 0};
  std::mt19937_64 rng(harrow::testsupport::TestSeed());
  for (int round = 0; round < 40; ++round) {
    const int body_len = round % 8 == 0 ? static_cast<int>(rng() % 300'000) + 1
                                        : static_cast<int>(rng() % 3000) + 1;
    SCOPED_TRACE("round " + std::to_string(round) + ", body " + std::to_string(body_len));
    HandMessage tx(body_len);
    for (int i = 0; i < tx.msg.Body.UsedLength; ++i) tx.msg.Body.Storage[i] = static_cast<unsigned char>(rng());
    const auto rest = static_cast<std::size_t>(tx.msg.Body.UsedLength);

    // Signed piece by piece: the frame of mqc_sign_as, MAC by the oracle.
    unsigned char head[32];
    unsigned char trailer[kTrailer];
    mqcFrameMac mac = nullptr;
    ASSERT_EQ(mqc_sign_start(cred_, &tx.msg, &writer, head, &mac), 1) << mqc_signature_error();
    std::size_t at = 0;
    for (std::size_t piece : piecewise::RandomPieces(rng, rest)) {
      ASSERT_EQ(mqc_frame_mac_update(mac, tx.msg.Body.Storage + at, piece), 1);
      at += piece;
    }
    ASSERT_EQ(mqc_sign_finish(&mac, trailer), 1) << mqc_signature_error();
    EXPECT_EQ(mac, nullptr);
    std::vector<unsigned char> frame(head, head + 32);
    frame.insert(frame.end(), tx.msg.Body.Storage, tx.msg.Body.Storage + rest);
    frame.insert(frame.end(), trailer, trailer + kTrailer);
    std::vector<unsigned char> whole = Sign(&tx.msg, &writer);
    ASSERT_EQ(frame.size(), whole.size());
    EXPECT_EQ(0, std::memcmp(frame.data(), whole.data(), 32 + rest)) << "header and message";
    EXPECT_EQ(frame[32 + rest + 8], MQC_SIDE_CONNECTING) << "the nonce names the side";
    const std::array<unsigned char, 16> oracle = piecewise::OracleMac(frame, key);
    EXPECT_EQ(0, std::memcmp(oracle.data(), frame.data() + frame.size() - kMac, kMac));

    // Checked piece by piece (everything that arrived, MAC included): the
    // one-shot frame is accepted once, its trailer stripped.
    HandMessage rx(body_len);
    const std::size_t after_head = whole.size() - 32;
    std::memcpy(&rx.msg.NodeHeader, whole.data(), 32);
    std::memcpy(rx.msg.Body.Storage, whole.data() + 32, after_head);
    rx.msg.Body.UsedLength = static_cast<MQLONG>(after_head);
    ASSERT_EQ(mqc_authenticate_start(&rx.msg.NodeHeader, &mac), 1) << mqc_signature_error();
    at = 0;
    for (std::size_t piece : piecewise::RandomPieces(rng, after_head)) {
      ASSERT_EQ(mqc_frame_mac_update(mac, rx.msg.Body.Storage + at, piece), 1);
      at += piece;
    }
    Buffer view{rx.msg.Body.Storage, static_cast<MQLONG>(after_head), rx.msg.Body.Capacity, 0, 0, 0};
    ASSERT_EQ(mqc_authenticate_finish(&mac, &rx.msg.NodeHeader, &view, &rx.msg, &reader), 1)
        << mqc_signature_error();
    EXPECT_EQ(mac, nullptr);
    EXPECT_EQ(rx.msg.Body.UsedLength, static_cast<MQLONG>(rest));
    EXPECT_EQ(view.Size, static_cast<MQLONG>(rest));
    // The piece-by-piece frame passes the one-shot check.
    HandMessage rx2(body_len);
    EXPECT_EQ(Authenticate(frame, &rx2, &reader), 1) << mqc_signature_error();
  }
}

// One changed byte anywhere in a large frame, checked piece by piece as it
// would arrive: refused, and only at the end; the trailer stays.
TEST_F(SigncoreTest, ChangedByteInTheMiddleOfALargeFrameIsRefusedPieceByPiece) {
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  const mqcFrameSide writer{MQC_SIDE_CONNECTING, 0};
  const mqcFrameSide reader{MQC_SIDE_ACCEPTING, 0};
  HandMessage tx(1 << 20);
  const std::vector<unsigned char> frame = Sign(&tx.msg, &writer);
  const std::size_t after_head = frame.size() - 32;
  for (std::size_t offset : {std::size_t{32 + 300'000}, std::size_t{32 + 524'288},
                             frame.size() - kTrailer - 1, frame.size() - 1}) {
    SCOPED_TRACE(offset);
    std::vector<unsigned char> bad = frame;
    bad[offset] ^= 0x40;
    HandMessage rx(1 << 20);
    std::memcpy(&rx.msg.NodeHeader, bad.data(), 32);
    std::memcpy(rx.msg.Body.Storage, bad.data() + 32, after_head);
    rx.msg.Body.UsedLength = static_cast<MQLONG>(after_head);
    mqcFrameMac mac = nullptr;
    ASSERT_EQ(mqc_authenticate_start(&rx.msg.NodeHeader, &mac), 1);
    for (std::size_t at = 0; at < after_head; at += 65'536) {
      ASSERT_EQ(mqc_frame_mac_update(mac, rx.msg.Body.Storage + at,
                                     std::min<std::size_t>(65'536, after_head - at)), 1);
    }
    Buffer view{rx.msg.Body.Storage, static_cast<MQLONG>(after_head), rx.msg.Body.Capacity, 0, 0, 0};
    EXPECT_EQ(mqc_authenticate_finish(&mac, &rx.msg.NodeHeader, &view, &rx.msg, &reader), 0);
    EXPECT_STREQ(mqc_signature_error(), "mqc_authenticate: signature does not match");
    EXPECT_EQ(rx.msg.Body.UsedLength, static_cast<MQLONG>(after_head));
    EXPECT_EQ(mac, nullptr);
  }
  // The untouched frame is still fresh: nothing above was taken.
  HandMessage rx(1 << 20);
  EXPECT_EQ(Authenticate(frame, &rx, &reader), 1) << mqc_signature_error();
}

// Misuse of a piece-by-piece state: too few or too many bytes, a state of
// the other kind, a missing state.
TEST_F(SigncoreTest, PieceByPieceStatesRefuseWrongByteCounts) {
  WriteKey(kKeyHexA);
  ASSERT_EQ(mqc_get_signature(&cred_), 1);
  const mqcFrameSide writer{MQC_SIDE_CONNECTING, 0};
  const mqcFrameSide reader{MQC_SIDE_ACCEPTING, 0};
  HandMessage tx(100);
  const auto rest = static_cast<std::size_t>(tx.msg.Body.UsedLength);
  unsigned char head[32];
  unsigned char trailer[kTrailer];
  mqcFrameMac mac = nullptr;

  ASSERT_EQ(mqc_sign_start(cred_, &tx.msg, &writer, head, &mac), 1);
  EXPECT_EQ(mqc_frame_mac_update(mac, tx.msg.Body.Storage, rest - 1), 1);
  EXPECT_EQ(mqc_sign_finish(&mac, trailer), 0) << "a byte short";
  EXPECT_EQ(mac, nullptr);

  ASSERT_EQ(mqc_sign_start(cred_, &tx.msg, &writer, head, &mac), 1);
  EXPECT_EQ(mqc_frame_mac_update(mac, tx.msg.Body.Storage, rest + 1), 0) << "a byte over";
  EXPECT_EQ(mqc_frame_mac_release(&mac), 1);
  EXPECT_EQ(mac, nullptr);
  EXPECT_EQ(mqc_frame_mac_release(&mac), 0);

  EXPECT_EQ(mqc_sign_start(nullptr, &tx.msg, &writer, head, &mac), 0);
  EXPECT_EQ(mac, nullptr);
  const mqcFrameSide unstated{MQC_SIDE_UNSTATED, 0};
  EXPECT_EQ(mqc_sign_start(cred_, &tx.msg, &unstated, head, &mac), 0);
  EXPECT_EQ(mqc_frame_mac_update(nullptr, tx.msg.Body.Storage, 1), 0);
  EXPECT_EQ(mqc_sign_finish(nullptr, trailer), 0);

  // A check missing the last signed byte is refused even though the MAC
  // would match; a signing state cannot finish a check.
  const std::vector<unsigned char> frame = Sign(&tx.msg, &writer);
  HandMessage rx(100);
  const std::size_t after_head = frame.size() - 32;
  std::memcpy(&rx.msg.NodeHeader, frame.data(), 32);
  std::memcpy(rx.msg.Body.Storage, frame.data() + 32, after_head);
  rx.msg.Body.UsedLength = static_cast<MQLONG>(after_head);
  Buffer view{rx.msg.Body.Storage, static_cast<MQLONG>(after_head), rx.msg.Body.Capacity, 0, 0, 0};
  ASSERT_EQ(mqc_authenticate_start(&rx.msg.NodeHeader, &mac), 1);
  EXPECT_EQ(mqc_frame_mac_update(mac, rx.msg.Body.Storage, after_head - kMac - 1), 1);
  EXPECT_EQ(mqc_authenticate_finish(&mac, &rx.msg.NodeHeader, &view, &rx.msg, &reader), 0);
  EXPECT_EQ(mac, nullptr);
  ASSERT_EQ(mqc_sign_start(cred_, &tx.msg, &writer, head, &mac), 1);
  EXPECT_EQ(mqc_frame_mac_update(mac, tx.msg.Body.Storage, rest), 1);
  EXPECT_EQ(mqc_authenticate_finish(&mac, &rx.msg.NodeHeader, &view, &rx.msg, &reader), 0);
  EXPECT_EQ(mac, nullptr);
  NodeHeader tiny = rx.msg.NodeHeader;
  tiny.Length = 136 + kTrailer - 1;
  EXPECT_EQ(mqc_authenticate_start(&tiny, &mac), 0);
  // The frame itself is untouched by the refusals and still accepted.
  EXPECT_EQ(Authenticate(frame, &rx, &reader), 1) << mqc_signature_error();
}
