// Waiting on many sockets at once with poll(): no FD_SETSIZE limit on
// descriptor numbers and none on the number of sockets.

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <new>
#include <unordered_map>
#include <vector>

#include "netcore/socket.h"
#include "os/socket_errors.h"
#include "socket_internal.h"

namespace netcore {
namespace {

int TimeoutMs(const WaitTime* wait) {
  if (wait == nullptr) return -1;
  long long ms = static_cast<long long>(wait->seconds) * 1000 + wait->milliseconds;
  if (ms < 0) return 0;
  if (ms > INT_MAX) return INT_MAX;
  return static_cast<int>(ms);
}

// Conditions that a read reports (data, end of stream, error, or a
// descriptor that is not open): a socket with any of them is "readable", so
// that the caller's next read returns the reason instead of the wait
// spinning on it.
constexpr short kReadable = POLLIN | POLLHUP | POLLERR | POLLNVAL;

struct Entry {
  SocketData* s;
  bool in_list;      // from the main list (read/exception candidates)
  bool want_write;   // from the write list
  bool connecting;   // stream socket whose connected flag is 0
};

int Wait(SocketData** list, SocketData** read, SocketData** write, SocketData** exception,
         WaitTime* wait, int* error, bool with_writes, const char* ready_trace,
         const char* exception_trace) {
  int dummy = 0;
  if (error == nullptr) error = &dummy;
  std::vector<Entry> entries;
  std::unordered_map<SocketData*, std::size_t> index;
  auto add = [&](SocketData* s, bool from_list, bool want_write) {
    if (s == nullptr || s->handle < 0) return;
    auto [it, inserted] = index.emplace(s, entries.size());
    if (inserted) entries.push_back(Entry{s, false, false, false});
    Entry& e = entries[it->second];
    e.in_list = e.in_list || from_list;
    e.want_write = e.want_write || want_write;
    if (with_writes && from_list && s->type == 1 && s->connected == 0) e.connecting = true;
  };
  if (list != nullptr) {
    for (SocketData** p = list; *p != nullptr; ++p) add(*p, true, false);
  }
  if (with_writes && write != nullptr) {
    for (SocketData** p = write; *p != nullptr; ++p) add(*p, false, true);
  }

  std::vector<pollfd> fds(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    short events = 0;
    if (entries[i].in_list && read != nullptr) events |= POLLIN;
    if (entries[i].in_list && exception != nullptr) events |= POLLPRI;
    if (entries[i].want_write || entries[i].connecting) events |= POLLOUT;
    fds[i] = pollfd{entries[i].s->handle, events, 0};
  }
  int rc = ::poll(fds.data(), fds.size(), TimeoutMs(wait));
  if (rc < 0) {
    *error = osLastSocketError();
    return 0;
  }
  if (rc == 0) {
    *error = NET_ERR_TIMEOUT;
    return 0;
  }
  *error = 0;

  std::size_t n_read = 0, n_write = 0, n_exception = 0;
  // Writable sockets of the write list come first, in write-list order.
  if (with_writes && write != nullptr) {
    std::vector<SocketData*> writable;
    for (SocketData** p = write; *p != nullptr; ++p) {
      auto it = index.find(*p);
      if (it == index.end()) continue;
      const Entry& e = entries[it->second];
      short re = fds[it->second].revents;
      if (!e.connecting && (re & (POLLOUT | POLLERR | POLLHUP)) != 0) writable.push_back(*p);
    }
    for (SocketData* s : writable) write[n_write++] = s;
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    Entry& e = entries[i];
    short re = fds[i].revents;
    if (re == 0) continue;
    if (e.connecting) {
      ConnectState state = CheckConnect(e.s);
      // kNotConnecting with events: a socket that was never asked to
      // connect (or lost its peer at once); it is not writable for us, but
      // a hang-up below still reaches the caller as readable.
      if (state == ConnectState::kFailed) {
        if (exception != nullptr) exception[n_exception++] = e.s;
        SocketTrace(e.s, exception_trace);
        continue;
      }
      if (state == ConnectState::kConnected) {
        if (write != nullptr) write[n_write++] = e.s;
        SocketTrace(e.s, "NPostSocket:Write");
      }
      // A connect that completed may already have data behind it.
    }
    if (!e.in_list) continue;
    if (read != nullptr && (re & kReadable) != 0) {
      read[n_read++] = e.s;
      SocketTrace(e.s, ready_trace);
    } else if (exception != nullptr && (re & POLLPRI) != 0) {
      exception[n_exception++] = e.s;
      SocketTrace(e.s, exception_trace);
    }
  }
  if (read != nullptr) read[n_read] = nullptr;
  if (write != nullptr && with_writes) write[n_write] = nullptr;
  if (exception != nullptr) exception[n_exception] = nullptr;
  return 1;
}

// The wait's tables grow with the list; no memory for them is a failed
// wait (10055), never an exception through the C interface.
int GuardedWait(SocketData** list, SocketData** read, SocketData** write,
                SocketData** exception, WaitTime* wait, int* error, bool with_writes,
                const char* ready_trace, const char* exception_trace) {
  try {
    return Wait(list, read, write, exception, wait, error, with_writes, ready_trace,
                exception_trace);
  } catch (const std::bad_alloc&) {
    if (error != nullptr) *error = OS_WSAENOBUFS;
    return 0;
  }
}

}  // namespace

// Outcome of a socket whose connect was in progress and that poll reported.
ConnectState CheckConnect(SocketData* s) {
  int so_error = 0;
  socklen_t len = sizeof so_error;
  if (::getsockopt(s->handle, SOL_SOCKET, SO_ERROR, &so_error, &len) != 0) {
    so_error = errno;
  }
  if (so_error != 0) {
    // Linux shows a failed connect as writable; the failure is in SO_ERROR.
    SocketFail(s, osWsaErrorFromErrno(so_error));
    return ConnectState::kFailed;
  }
  sockaddr_storage peer;
  len = sizeof peer;
  if (::getpeername(s->handle, reinterpret_cast<sockaddr*>(&peer), &len) != 0) {
    // Writable without a peer and without an error: this socket was never
    // asked to connect (an unopened client). Report nothing for it.
    return ConnectState::kNotConnecting;
  }
  s->connected = 1;
  s->lastError = 0;
  return ConnectState::kConnected;
}

}  // namespace netcore

extern "C" {

int PostSocket(SocketData** list, SocketData** read, SocketData** exception, WaitTime* wait,
               int* error) {
  return netcore::GuardedWait(list, read, nullptr, exception, wait, error, false,
                              "PostSocket:Ready", "PostSocket:Exception");
}

int NPostSocket(SocketData** list, SocketData** read, SocketData** write,
                SocketData** exception, WaitTime* wait, int* error) {
  return netcore::GuardedWait(list, read, write, exception, wait, error, true,
                              "NPostSocket:Ready", "NPostSocket:Exception");
}

}  // extern "C"
