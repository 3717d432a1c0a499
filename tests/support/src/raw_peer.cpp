// Raw frames and a raw TCP peer for hostile-client tests.

#include "testsupport/raw_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "testsupport/deadline.h"

namespace harrow::testsupport {
namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return to;
}

// Reads size bytes before the deadline; false on time-out or end.
bool ReadExactly(int fd, Bytes* out, size_t size, const Deadline& deadline) {
  out->resize(size);
  size_t done = 0;
  while (done < size) {
    if (deadline.Expired()) return false;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, deadline.PollMs(std::chrono::milliseconds(50))) <= 0) continue;
    ssize_t n = recv(fd, out->data() + done, size - done, 0);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

void PutWord(Bytes* out, size_t at, int32_t value) {
  if (out->size() < at + 4) out->resize(at + 4);
  std::memcpy(out->data() + at, &value, 4);
}

int32_t WordAt(const Bytes& in, size_t at) {
  int32_t value = 0;
  if (in.size() >= at + 4) std::memcpy(&value, in.data() + at, 4);
  return value;
}

Bytes PcfHeader(int32_t command, int32_t parameter_count, int32_t type) {
  // Type, StrucLength, Version, Command, MsgSeqNumber, Control (last),
  // CompCode, Reason, ParameterCount.
  const int32_t words[] = {type, 36, 1, command, 1, 1, 0, 0, parameter_count};
  Bytes body;
  for (size_t i = 0; i < 9; ++i) PutWord(&body, i * 4, words[i]);
  return body;
}

void AppendStringRecord(Bytes* body, int32_t id, const std::string& text) {
  const size_t at = body->size();
  const int32_t padded = static_cast<int32_t>((text.size() + 3) / 4 * 4);
  // Type 4 (string), StrucLength, Parameter, CodedCharSetId, StringLength.
  const int32_t words[] = {4, 20 + padded, id, 0, static_cast<int32_t>(text.size())};
  for (size_t i = 0; i < 5; ++i) PutWord(body, at + i * 4, words[i]);
  body->resize(at + 20 + static_cast<size_t>(padded), ' ');
  std::memcpy(body->data() + at + 20, text.data(), text.size());
}

void AppendIntegerRecord(Bytes* body, int32_t id, int32_t value) {
  const size_t at = body->size();
  const int32_t words[] = {3, 16, id, value};  // Type 3 (integer)
  for (size_t i = 0; i < 4; ++i) PutWord(body, at + i * 4, words[i]);
}

Bytes PlainFrame(const Bytes& body, std::optional<int32_t> length_word, int32_t reply_tag) {
  Bytes frame(kMessageHeaderBytes, 0);
  PutWord(&frame, 0, kMessageHeaderBytes);
  PutWord(&frame, 12, 1);  // ASCII text
  std::memcpy(frame.data() + 16, "HOSTILE", 7);  // request id
  PutWord(&frame, 64, length_word.value_or(static_cast<int32_t>(body.size())));
  PutWord(&frame, 68, 5000);  // reply wait in milliseconds
  std::memcpy(frame.data() + 72, "mallory", 7);
  std::memcpy(frame.data() + 84, "HOSTILE", 7);
  PutWord(&frame, 132, reply_tag);
  frame.insert(frame.end(), body.begin(), body.end());
  return frame;
}

RawTcpPeer::RawTcpPeer(int port) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to = Loopback(port);
  if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

RawTcpPeer::~RawTcpPeer() {
  if (fd_ >= 0) close(fd_);
}

bool RawTcpPeer::Send(const Bytes& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::optional<Bytes> RawTcpPeer::ReceiveBody(std::chrono::milliseconds limit) {
  Deadline deadline(limit);
  Bytes header;
  if (!ReadExactly(fd_, &header, kMessageHeaderBytes, deadline)) return std::nullopt;
  const int32_t length = WordAt(header, 64);
  if (length < 36 || length > (1 << 26)) return std::nullopt;
  Bytes body;
  if (!ReadExactly(fd_, &body, static_cast<size_t>(length), deadline)) return std::nullopt;
  return body;
}

bool RawTcpPeer::ClosedWithin(std::chrono::milliseconds limit) {
  Deadline deadline(limit);
  unsigned char sink[4096];
  while (!deadline.Expired()) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, deadline.PollMs(std::chrono::milliseconds(50))) <= 0) continue;
    if (recv(fd_, sink, sizeof sink, 0) <= 0) return true;
  }
  return false;
}

bool SendDatagram(int port, const Bytes& bytes) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in to = Loopback(port);
  ssize_t n = sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  close(fd);
  return n == static_cast<ssize_t>(bytes.size());
}

}  // namespace harrow::testsupport
