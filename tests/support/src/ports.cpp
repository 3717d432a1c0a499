#include "testsupport/ports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace harrow::testsupport {

namespace {

// Binds 127.0.0.1:port (0: any) with the given type; returns the bound port
// or 0. The socket is closed before returning.
int BindLoopback(int type, int port) {
  int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  int bound = 0;
  socklen_t len = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    bound = ntohs(addr.sin_port);
  }
  close(fd);
  return bound;
}

}  // namespace

int FreeLoopbackPort(bool tcp_and_udp) {
  for (int attempt = 0; attempt < 64; ++attempt) {
    int port = BindLoopback(SOCK_STREAM, 0);
    if (port == 0) continue;
    if (!tcp_and_udp || BindLoopback(SOCK_DGRAM, port) == port) return port;
  }
  return 0;
}

}  // namespace harrow::testsupport
