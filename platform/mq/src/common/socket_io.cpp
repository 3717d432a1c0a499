#include "socket_io.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include "wire.h"

namespace mqsim {

bool SendAll(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool SendParts(int fd, iovec* parts, size_t count) {
  size_t first = 0;
  while (first < count && parts[first].iov_len == 0) ++first;
  while (first < count) {
    msghdr msg{};
    msg.msg_iov = parts + first;
    msg.msg_iovlen = count - first;
    ssize_t w = ::sendmsg(fd, &msg, MSG_NOSIGNAL);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    size_t left = static_cast<size_t>(w);
    while (first < count && left >= parts[first].iov_len) {
      left -= parts[first].iov_len;
      ++first;
    }
    if (first < count) {
      parts[first].iov_base = static_cast<char*>(parts[first].iov_base) + left;
      parts[first].iov_len -= left;
    }
  }
  return true;
}

bool SendFrameParts(int fd, const void* a, size_t a_len, const void* b, size_t b_len) {
  iovec iov[2] = {{const_cast<void*>(a), a_len}, {const_cast<void*>(b), b_len}};
  return SendParts(fd, iov, 2);
}

static bool RecvAll(int fd, void* data, size_t n) {
  char* p = static_cast<char*>(data);
  while (n > 0) {
    ssize_t r = ::recv(fd, p, n, 0);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool RecvFrame(int fd, uint32_t* op, std::vector<uint8_t>* payload) {
  uint32_t head[2];
  if (!RecvAll(fd, head, sizeof head)) return false;
  if (head[0] < 4 || head[0] - 4 > kMaxFramePayloadBytes) return false;
  *op = head[1];
  payload->resize(head[0] - 4);
  return payload->empty() || RecvAll(fd, payload->data(), payload->size());
}

bool FrameReceiver::Next(int fd, uint32_t* op, std::span<const uint8_t>* payload) {
  in_.Consume(consumed_);
  consumed_ = 0;
  size_t total = 0;  // of the frame at the front, once its length came
  while (total == 0 || in_.size() < total) {
    if (total == 0 && in_.size() >= 8) {
      uint32_t len = 0;
      std::memcpy(&len, in_.data(), 4);
      if (len < 4 || len - 4 > kMaxFramePayloadBytes) return false;
      total = kFrameHeaderBytes + len;
      continue;
    }
    size_t missing = (total == 0 ? 8 : total) - in_.size();
    uint8_t* tail = in_.Tail(std::max(missing, size_t{64 * 1024}));
    ssize_t r = ::recv(fd, tail, in_.room(), 0);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return false;
    in_.Commit(static_cast<size_t>(r));
  }
  std::memcpy(op, in_.data() + 4, 4);
  *payload = std::span<const uint8_t>(in_.data() + 8, total - 8);
  consumed_ = total;
  return true;
}

int ConnectTcp(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &res) != 0) {
    errno = EHOSTUNREACH;
    return -1;
  }
  int fd = -1;
  for (addrinfo* ai = res; ai != nullptr; ai = ai->ai_next) {
    fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) continue;
    int rc;
    do {
      rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) break;
    int e = errno;
    ::close(fd);
    fd = -1;
    errno = e;
  }
  ::freeaddrinfo(res);
  if (fd >= 0) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  return fd;
}

int ConnectUnix(const std::string& path) {
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    int e = errno;
    ::close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

bool ParseConnectionName(const std::string& text, std::string* host, int* port) {
  std::string t = TrimRight(text);
  size_t start = t.find_first_not_of(' ');
  if (start == std::string::npos) return false;
  t = t.substr(start);
  size_t open = t.find('(');
  if (open == std::string::npos) {
    *host = t;
    *port = 1414;  // the MQ listener's customary port
    return !t.empty();
  }
  if (t.back() != ')') return false;
  *host = TrimRight(t.substr(0, open));
  std::string p = t.substr(open + 1, t.size() - open - 2);
  while (!p.empty() && p.front() == ' ') p.erase(p.begin());
  p = TrimRight(p);
  if (host->empty() || p.empty() || p.size() > 5) return false;
  int v = 0;
  for (char c : p) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v <= 0 || v > 65535) return false;
  *port = v;
  return true;
}

}  // namespace mqsim
