#include "testsupport/ports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <random>

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

// The first port the kernel hands out to outgoing connections and to
// binds of port 0; 32768 when the range cannot be read.
int EphemeralLow() {
  std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
  int low = 0;
  if (range >> low && low > 0) return low;
  return 32768;
}

bool Usable(int port, bool tcp_and_udp) {
  if (BindLoopback(SOCK_STREAM, port) != port) return false;
  return !tcp_and_udp || BindLoopback(SOCK_DGRAM, port) == port;
}

}  // namespace

int FreeLoopbackPort(bool tcp_and_udp) {
  // Ports below the ephemeral range: a server restarted on the port it had
  // must not find it taken by some test's outgoing connection meanwhile.
  // Random, so that tests running side by side rarely try the same one.
  constexpr int kLowest = 10000;
  const int ephemeral_low = EphemeralLow();
  if (ephemeral_low - kLowest >= 1000) {
    std::mt19937 rng(std::random_device{}());
    std::uniform_int_distribution<int> pick(kLowest, ephemeral_low - 1);
    for (int attempt = 0; attempt < 256; ++attempt) {
      int port = pick(rng);
      if (Usable(port, tcp_and_udp)) return port;
    }
  }
  for (int attempt = 0; attempt < 64; ++attempt) {
    int port = BindLoopback(SOCK_STREAM, 0);
    if (port != 0 && (!tcp_and_udp || BindLoopback(SOCK_DGRAM, port) == port)) return port;
  }
  return 0;
}

}  // namespace harrow::testsupport
