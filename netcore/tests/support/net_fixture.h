// net_fixture.h: verbs the netcore tests share: a signing key in a
// temporary directory, PCF messages with known contents, loopback node
// pairs, raw sockets for hand-made frames, frames taken off the wire as a
// connecting end wrote them, and reads with a deadline. Directories,
// variables and deadlines come from the suite's test support.
#ifndef NETCORE_TESTS_NET_FIXTURE_H_
#define NETCORE_TESTS_NET_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "netcore/netcore.h"
#include "pcfcore/pcfcore.h"
#include "testsupport/testsupport.h"

namespace nettest {

constexpr char kKeyHexA[] =
    "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
constexpr char kKeyHexB[] =
    "f0e1d2c3b4a5968778695a4b3c2d1e0f00112233445566778899aabbccddeeff";

// A 0600 key file in a private temporary directory, named by
// HRLCOMPACT_SIGNING_KEY while the object lives (the previous value comes
// back after).
class SigningKeyFile {
 public:
  explicit SigningKeyFile(const std::string& hex);
  // Replaces the key in the file (a credential taken afterwards has it).
  void Use(const std::string& hex);

 private:
  harrow::testsupport::TempDir dir_{"netcore_test"};
  std::string path_;
  std::optional<harrow::testsupport::ScopedEnv> variable_;
};

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

// Sends what a TCP socket is given at once (TCP_NODELAY).
void NoDelay(int fd);

// Receives exactly n bytes from fd within timeout_ms; empty on failure.
std::vector<unsigned char> ReceiveExactly(int fd, std::size_t n, int timeout_ms = 5000);

// The bytes of msg framed as the connecting end of a connection writes
// them (signed when secure), taken off the wire unread: fit to be sent by
// hand to an accepted node, and accepted once there.
std::vector<unsigned char> ConnectingFrame(mqPcfMessage* msg, int secure,
                                           mqcSignature credential);

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

// The frame MAC under key of input: the canonical node header, then every
// byte after the node header up to the MAC (the test oracle for signatures).
std::vector<unsigned char> FrameMac(const std::vector<unsigned char>& key,
                                    const std::vector<unsigned char>& input);

}  // namespace nettest

#endif  // NETCORE_TESTS_NET_FIXTURE_H_
