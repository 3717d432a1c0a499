// echo_peer.h: the far end of a benchmark's loopback exchanges, run as
// long-lived processes of their own.
//
// A peer that is a thread of the benchmark process wakes differently from
// the server processes our code talks to, and a peer started per round pays
// its first page faults inside the timed exchanges; either makes a baseline
// that says little. So the peer is a set of worker processes forked at
// start, while the benchmark still has one thread, that take connections
// from one loopback listener in turn and keep their buffers between them.
// Sockets block and have TCP_NODELAY on both ends.
//
// PeerProcesses runs any per-connection service; ServeRawEcho and
// ConnectRawEcho are the raw TCP echo that the baselines use: a connection
// first says how many bytes one exchange carries (u32, native order) and
// waits for a byte of answer, so that it is set up before any clock starts;
// then each block of that many bytes goes back as it came, until the
// connection closes.
#ifndef BENCH_ECHO_PEER_H_
#define BENCH_ECHO_PEER_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace bench {

inline void NoDelay(int fd) {
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

inline bool SendAll(int fd, const void* p, size_t n) {
  const char* b = static_cast<const char*>(p);
  while (n > 0) {
    ssize_t w = send(fd, b, n, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    b += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

inline bool RecvAll(int fd, void* p, size_t n) {
  char* b = static_cast<char*>(p);
  while (n > 0) {
    ssize_t r = recv(fd, b, n, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    b += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

// Keeps the calling thread (and what it forks later) on one CPU.
inline bool PinTo(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  return sched_setaffinity(0, sizeof set, &set) == 0;
}

// The CPUs this process may run on, in order.
inline std::vector<int> AllowedCpus() {
  std::vector<int> cpus;
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
  }
  return cpus;
}

// Worker processes serving connections on a loopback listener of their own.
class PeerProcesses {
 public:
  // Serves one accepted connection until it ends, and closes it.
  using Serve = void (*)(int fd);

  PeerProcesses() = default;
  PeerProcesses(const PeerProcesses&) = delete;
  PeerProcesses& operator=(const PeerProcesses&) = delete;
  ~PeerProcesses() { Stop(); }

  // Binds the listener and forks the workers; call while this process has
  // a single thread. The workers die with this process; with cpu >= 0 they
  // run on that CPU only.
  bool Start(int workers, Serve serve, int cpu = -1) {
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    address_ = {};
    address_.sin_family = AF_INET;
    address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof address_;
    if (listener < 0 ||
        bind(listener, reinterpret_cast<sockaddr*>(&address_), sizeof address_) != 0 ||
        listen(listener, 64) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address_), &len) != 0) {
      if (listener >= 0) close(listener);
      return false;
    }
    const pid_t parent = getpid();
    for (int i = 0; i < workers; ++i) {
      pid_t pid = fork();
      if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(0);
        if (cpu >= 0 && !PinTo(cpu)) _exit(1);
        Run(listener, serve);
      }
      if (pid < 0) break;
      pids_.push_back(pid);
    }
    close(listener);
    return static_cast<int>(pids_.size()) == workers;
  }

  void Stop() {
    for (pid_t pid : pids_) kill(pid, SIGKILL);
    for (pid_t pid : pids_) waitpid(pid, nullptr, 0);
    pids_.clear();
  }

  // A fresh connection with TCP_NODELAY; -1 on failure.
  int Connect() const {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    NoDelay(fd);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address_), sizeof address_) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }

  uint16_t port() const { return ntohs(address_.sin_port); }

 private:
  [[noreturn]] static void Run(int listener, Serve serve) {
    for (;;) {
      int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        _exit(1);
      }
      NoDelay(fd);
      serve(fd);
    }
  }

  std::vector<pid_t> pids_;
  sockaddr_in address_{};
};

// ---- The raw echo ----------------------------------------------------------

constexpr uint32_t kMaxRawEchoBytes = 64 * 1024 * 1024;

inline void ServeRawEcho(int fd) {
  static std::vector<char> block;  // kept from connection to connection
  uint32_t bytes = 0;
  const char ready = 1;
  if (RecvAll(fd, &bytes, sizeof bytes) && bytes > 0 && bytes <= kMaxRawEchoBytes) {
    if (block.size() < bytes) block.resize(bytes);
    if (SendAll(fd, &ready, 1)) {
      while (RecvAll(fd, block.data(), bytes) && SendAll(fd, block.data(), bytes)) {
      }
    }
  }
  close(fd);
}

// A fresh connection to a raw echo for exchanges of `bytes`, answered and
// ready; -1 on failure.
inline int ConnectRawEcho(const PeerProcesses& peer, size_t bytes) {
  int fd = peer.Connect();
  if (fd < 0) return -1;
  const uint32_t n = static_cast<uint32_t>(bytes);
  char ready = 0;
  if (!SendAll(fd, &n, sizeof n) || !RecvAll(fd, &ready, 1)) {
    close(fd);
    return -1;
  }
  return fd;
}

// One exchange: out goes to the echo and comes back into in (which may be
// the same storage).
inline bool RawRoundTrip(int fd, const void* out, void* in, size_t bytes) {
  return SendAll(fd, out, bytes) && RecvAll(fd, in, bytes);
}

}  // namespace bench

#endif  // BENCH_ECHO_PEER_H_
