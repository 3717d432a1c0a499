// net_fixture.h: verbs the netcore tests share: temporary directories, a
// signing key, PCF messages with known contents, loopback node pairs, raw
// sockets for hand-made frames, and reads with a deadline.
#ifndef NETCORE_TESTS_NET_FIXTURE_H_
#define NETCORE_TESTS_NET_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "netcore/netcore.h"
#include "pcfcore/pcfcore.h"

namespace nettest {

constexpr char kKeyHexA[] =
    "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
constexpr char kKeyHexB[] =
    "f0e1d2c3b4a5968778695a4b3c2d1e0f00112233445566778899aabbccddeeff";

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Writes hex as a 0600 key file in dir and points HRLCOMPACT_SIGNING_KEY at it.
void UseSigningKey(const TempDir& dir, const std::string& hex);
std::vector<unsigned char> Unhex(const std::string& hex);

// A command message with count integer parameters: id 20000 + i, value
// seed * 1000 + i; and, when text is not empty, a string parameter 20500.
mqPcfMessage* MakeMessage(MQLONG command, int count, MQLONG seed, const std::string& text = "");
// Checks msg against what MakeMessage(command, count, seed, text) built.
::testing::AssertionResult HasContents(const mqPcfMessage* msg, MQLONG command, int count,
                                       MQLONG seed, const std::string& text = "");

SocketAddress Address(const char* host, const std::string& service);
SocketAddress Loopback(uint32_t port);

// A listening server node on 127.0.0.1 with a port the system chose.
struct Listener {
  Listener();
  ~Listener();
  uint32_t port() const { return server->address.port; }
  // Accepts one connection (waiting up to 5 s); the caller owns the node.
  mqnMQNodeData* Accept();
  mqnMQNodeData* server = nullptr;
};

// client connected to an accepted node of a listener; all deleted at the end.
struct TcpPair {
  TcpPair();
  ~TcpPair();
  Listener listener;
  mqnMQNodeData* client = nullptr;
  mqnMQNodeData* accepted = nullptr;
};

// A plain socket connected to listener, and the node accepted for it.
struct RawPeer {
  explicit RawPeer(Listener* listener);
  ~RawPeer();
  bool Send(const std::vector<unsigned char>& bytes) const;
  // Receives exactly n bytes (5 s deadline); empty on failure.
  std::vector<unsigned char> Receive(std::size_t n) const;
  int fd = -1;
  mqnMQNodeData* node = nullptr;
};

// Repeats mnSRead on a (non-blocking) node while it reports 10035, up to
// timeout_ms; returns the last result.
int ReadWithDeadline(mqPcfMessage* msg, mqnMQNodeData* node, int secure,
                     mqcSignature credential, int timeout_ms = 5000);

// Big-endian 32-bit words.
void PutBE(std::vector<unsigned char>* out, uint32_t value);
void PutLE(std::vector<unsigned char>* out, uint32_t value);

// HMAC-SHA-256 of data under key (the test oracle for signatures).
std::vector<unsigned char> HmacSha256(const std::vector<unsigned char>& key,
                                      const std::vector<unsigned char>& data);

}  // namespace nettest

#endif  // NETCORE_TESTS_NET_FIXTURE_H_
