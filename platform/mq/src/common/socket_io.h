// Blocking frame I/O for the client library and the control command.
// The server reads its connections without blocking in Server::ReadConn
// (server/server.cpp).
#ifndef MQSIM_COMMON_SOCKET_IO_H_
#define MQSIM_COMMON_SOCKET_IO_H_

#include <cstdint>
#include <string>
#include <vector>

namespace mqsim {

// Writes all bytes (MSG_NOSIGNAL; EINTR retried). False when the peer is gone.
bool SendAll(int fd, const void* data, size_t n);
// Writes a then b with gathered writes (MSG_NOSIGNAL; EINTR retried).
bool SendFrameParts(int fd, const void* a, size_t a_len, const void* b, size_t b_len);
// Reads one frame; false on EOF, error or a length outside 4..max.
bool RecvFrame(int fd, uint32_t* op, std::vector<uint8_t>* payload);
// TCP connection to host:port with TCP_NODELAY; -1 on failure (errno set).
int ConnectTcp(const std::string& host, int port);
// Unix-domain stream connection; -1 on failure.
int ConnectUnix(const std::string& path);
// Parses "host(port)"; blanks around the parts are ignored.
bool ParseConnectionName(const std::string& text, std::string* host, int* port);

}  // namespace mqsim

#endif  // MQSIM_COMMON_SOCKET_IO_H_
