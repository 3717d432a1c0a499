// Blocking frame I/O for the client library and the control command.
// The server reads its connections without blocking in Server::ReadConn
// (server/server.cpp).
#ifndef MQSIM_COMMON_SOCKET_IO_H_
#define MQSIM_COMMON_SOCKET_IO_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <sys/uio.h>
#include <vector>

#include "io_buffer.h"

namespace mqsim {

// Writes all bytes (MSG_NOSIGNAL; EINTR retried). False when the peer is gone.
bool SendAll(int fd, const void* data, size_t n);
// Writes the parts in order with gathered writes (MSG_NOSIGNAL; EINTR
// retried); the iovecs are used up. False when the peer is gone.
bool SendParts(int fd, iovec* parts, size_t count);
// Writes a then b with gathered writes.
bool SendFrameParts(int fd, const void* a, size_t a_len, const void* b, size_t b_len);
// Reads one frame; false on EOF, error or a length outside 4..max.
bool RecvFrame(int fd, uint32_t* op, std::vector<uint8_t>* payload);

// Reads frames from a blocking socket into storage it keeps between
// frames (sized by the largest frame so far), asking the socket for all
// the room it has, so that a reply that has arrived whole takes one
// receive. Bytes after a frame wait for the next.
class FrameReceiver {
 public:
  // The next frame; its payload stays valid until the next call. False on
  // EOF, error or a length outside 4..max.
  bool Next(int fd, uint32_t* op, std::span<const uint8_t>* payload);

 private:
  IoBuffer in_{SIZE_MAX};
  size_t consumed_ = 0;  // the frame handed out last, dropped on the next call
};
// TCP connection to host:port with TCP_NODELAY; -1 on failure (errno set).
int ConnectTcp(const std::string& host, int port);
// Unix-domain stream connection; -1 on failure.
int ConnectUnix(const std::string& path);
// Parses "host(port)"; blanks around the parts are ignored.
bool ParseConnectionName(const std::string& text, std::string* host, int* port);

}  // namespace mqsim

#endif  // MQSIM_COMMON_SOCKET_IO_H_
