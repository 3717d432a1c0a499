// A peer on raw sockets for tests that play a hostile client: it builds
// plain node frames byte by byte (lengths and counts that lie included)
// and sends what the suite's own writers would refuse to.
//
// Plain frame: the 136-byte message header in this host's byte order, then
// the PCF body (MQCFH of 36 bytes and its records).
#ifndef HARROW_TESTSUPPORT_RAW_PEER_H_
#define HARROW_TESTSUPPORT_RAW_PEER_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace harrow::testsupport {

using Bytes = std::vector<unsigned char>;

constexpr int kMessageHeaderBytes = 136;

// A 32-bit word in this host's byte order, written at (growing out) or
// read from a byte offset.
void PutWord(Bytes* out, size_t at, int32_t value);
int32_t WordAt(const Bytes& in, size_t at);

// An MQCFH: type (1 command, 2 response, 7 event), command and the count of
// records that follow, true or not.
Bytes PcfHeader(int32_t command, int32_t parameter_count, int32_t type = 1);
// Appends a string record (MQCFST) padded to a multiple of four.
void AppendStringRecord(Bytes* body, int32_t id, const std::string& text);
// Appends an integer record (MQCFIN).
void AppendIntegerRecord(Bytes* body, int32_t id, int32_t value);

// A plain frame of body, its length word body.size() unless given; user
// "mallory", program "HOSTILE", reply wait 5000 ms.
Bytes PlainFrame(const Bytes& body, std::optional<int32_t> length_word = std::nullopt,
                 int32_t reply_tag = 1);

// MQCFH words of a received body.
inline int32_t PcfCommand(const Bytes& body) { return WordAt(body, 12); }
inline int32_t PcfCompCode(const Bytes& body) { return WordAt(body, 24); }
inline int32_t PcfReason(const Bytes& body) { return WordAt(body, 28); }

// A TCP connection to 127.0.0.1:port.
class RawTcpPeer {
 public:
  explicit RawTcpPeer(int port);
  ~RawTcpPeer();
  RawTcpPeer(const RawTcpPeer&) = delete;
  RawTcpPeer& operator=(const RawTcpPeer&) = delete;
  bool connected() const { return fd_ >= 0; }

  // Sends every byte (blocking); false when the connection failed.
  bool Send(const Bytes& bytes);
  // The body of the next plain frame within limit; nullopt on time-out or
  // when the connection ended.
  std::optional<Bytes> ReceiveBody(std::chrono::milliseconds limit);
  // Whether the other side closes the connection within limit (whatever
  // it sends first is skipped).
  bool ClosedWithin(std::chrono::milliseconds limit);

 private:
  int fd_ = -1;
};

// Sends one datagram to 127.0.0.1:port; false when it could not be sent.
bool SendDatagram(int port, const Bytes& bytes);

}  // namespace harrow::testsupport

#endif  // HARROW_TESTSUPPORT_RAW_PEER_H_
