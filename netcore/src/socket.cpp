// The socket record: create, close, modes, read, write, connect, bind,
// listen, accept and options. Waiting is in socket_wait.cpp, name and
// address mapping in host_map.cpp.
//
// Interrupted calls (EINTR) are not retried here: the servers' signal
// handlers only set a stop flag, and a blocking call resumed after the
// signal would keep the program from seeing it. The caller gets 10004.

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "netcore/socket.h"
#include "os/socket_errors.h"
#include "socket_internal.h"

namespace netcore {
namespace {

SocketTraceCallback g_default_trace = nullptr;

int OptionName(int index) {
  switch (index) {
    case 0: return SO_DEBUG;
    case 1: return SO_REUSEADDR;
    case 2: return SO_KEEPALIVE;
    case 3: return SO_DONTROUTE;
    case 4: return SO_LINGER;
    case 5: return SO_BROADCAST;
    case 6: return SO_OOBINLINE;
    case 7: return SO_SNDBUF;
    case 8: return SO_RCVBUF;
    case 9: return SO_TYPE;
    case 10: return SO_ERROR;
    default: return index < 0 ? -1 : index;
  }
}

bool IsNonBlocking(int handle) {
  int flags = ::fcntl(handle, F_GETFL);
  return flags >= 0 && (flags & O_NONBLOCK) != 0;
}

void FillFromSystem(SocketAddress* a, const sockaddr_in& sin) {
  IpAddrToSocketAddr(&sin, a, 0);
}

}  // namespace

int SocketFail(SocketData* s, int code) {
  if (code == OS_WSAEINPROGRESS) code = OS_WSAEWOULDBLOCK;
  s->lastError = code;
  if (s->errorCallback != nullptr) s->errorResult = s->errorCallback(s);
  return 0;
}

void SocketTrace(SocketData* s, const char* operation) {
  if (s->traceCallback != nullptr) s->traceCallback(operation, s);
}

void CopyField(char* field, std::size_t size, const char* text) {
  if (text == nullptr) text = "";
  std::size_t n = std::strlen(text);
  if (n >= size) n = size - 1;
  std::memmove(field, text, n);
  field[n] = '\0';
}

SocketTraceCallback DefaultSocketTrace() { return g_default_trace; }

std::size_t WriteSocketParts(SocketData* s, const iovec* parts, int count, std::size_t skip) {
  SocketTrace(s, "WriteSocket:Before");
  std::size_t total = 0;
  for (int i = 0; i < count; ++i) total += parts[i].iov_len;
  std::size_t done = skip;
  s->lastError = 0;
  constexpr int kMaxParts = 8;
  while (done < total) {
    // The pieces from `done` on.
    iovec rest[kMaxParts];
    int n_rest = 0;
    std::size_t offset = done;
    for (int i = 0; i < count && n_rest < kMaxParts; ++i) {
      if (offset >= parts[i].iov_len) {
        offset -= parts[i].iov_len;
        continue;
      }
      rest[n_rest].iov_base = static_cast<unsigned char*>(parts[i].iov_base) + offset;
      rest[n_rest].iov_len = parts[i].iov_len - offset;
      offset = 0;
      ++n_rest;
    }
    msghdr message{};
    message.msg_iov = rest;
    message.msg_iovlen = static_cast<std::size_t>(n_rest);
    ssize_t sent = ::sendmsg(s->handle, &message, OS_SEND_FLAGS);
    if (sent < 0) {
      SocketFail(s, osLastSocketError());
      break;
    }
    done += static_cast<std::size_t>(sent);
    s->bytesSent += sent;
  }
  SocketTrace(s, "WriteSocket:After");
  return done - skip;
}

}  // namespace netcore

using netcore::CopyField;
using netcore::SocketFail;
using netcore::SocketTrace;

extern "C" {

int InitSocket(SocketData* s) {
  std::memset(s, 0, sizeof *s);
  s->handle = -1;
  return 1;
}

int CreateAnySocket(SocketData* s, int family, int type) {
  InitSocket(s);
  s->traceCallback = netcore::g_default_trace;
  s->family = family;
  s->type = type;
  s->protocol = 0;
  CopyField(s->peer.protocol, sizeof s->peer.protocol, "tcp");
  int sys_type = (type == 2 ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC;
  int handle = ::socket(family, sys_type, 0);
  int ok = 1;
  if (handle < 0) {
    ok = SocketFail(s, osLastSocketError());
  } else {
    s->handle = handle;
  }
  SocketTrace(s, "CreateAnySocket");
  return ok;
}

int CreateSocket(SocketData* s) { return CreateAnySocket(s, AF_INET, 1); }

int CreateUDPSocket(SocketData* s) { return CreateAnySocket(s, AF_INET, 2); }

int CreateSocketFromExisting(SocketData* s, int handle) {
  InitSocket(s);
  s->traceCallback = netcore::g_default_trace;
  s->handle = handle;
  s->family = AF_INET;
  s->type = 1;
  s->connected = 1;
  SocketTrace(s, "CreateSocketFromExisting");
  return 1;
}

int DeleteSocket(SocketData* s) {
  SocketTrace(s, "DeleteSocket");
  if (s->handle >= 0) {
    // close() is not retried on EINTR: on Linux the descriptor is released
    // either way, and a retry could close a descriptor another thread has
    // just been given.
    ::close(s->handle);
    s->handle = -1;
  }
  s->connected = 0;
  return 1;
}

int NoblockSocket(SocketData* s) {
  int flags = ::fcntl(s->handle, F_GETFL);
  int ok = 1;
  if (flags < 0 || ::fcntl(s->handle, F_SETFL, flags | O_NONBLOCK) != 0) {
    ok = SocketFail(s, osLastSocketError());
  }
  SocketTrace(s, "NoblockSocket");
  return ok;
}

int BlockSocket(SocketData* s) {
  int flags = ::fcntl(s->handle, F_GETFL);
  int ok = 1;
  if (flags < 0 || ::fcntl(s->handle, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ok = SocketFail(s, osLastSocketError());
  }
  SocketTrace(s, "BlockSocket");
  return ok;
}

int ReadSocket(SocketData* s, Buffer* b) {
  s->current = b;
  SocketTrace(s, "ReadSocket:Before");
  int ok = 1;
  long room = static_cast<long>(b->Size) - b->Filled;
  if (b->Data == nullptr || room <= 0 || b->Filled < 0 || b->Size > b->Capacity) {
    ok = SocketFail(s, OS_WSAEMSGSIZE);
  } else if (s->type == 2) {
    sockaddr_in from{};
    socklen_t from_len = sizeof from;
    // MSG_TRUNC makes recvfrom report the datagram's real length, so a
    // datagram bigger than the room left is seen and refused, not delivered
    // cut short.
    ssize_t n = ::recvfrom(s->handle, b->Data + b->Filled, static_cast<size_t>(room),
                           b->Flags | MSG_TRUNC, reinterpret_cast<sockaddr*>(&from),
                           &from_len);
    if (n < 0) {
      ok = SocketFail(s, osLastSocketError());
    } else if (n > room) {
      ok = SocketFail(s, OS_WSAEMSGSIZE);
    } else {
      s->lastError = 0;
      b->Filled += static_cast<MQLONG>(n);
      s->bytesReceived += n;
      if (from.sin_family == AF_INET) netcore::FillFromSystem(&s->peer, from);
    }
  } else {
    ssize_t n = ::recv(s->handle, b->Data + b->Filled, static_cast<size_t>(room), b->Flags);
    if (n < 0) {
      ok = SocketFail(s, osLastSocketError());
    } else if (n == 0) {
      ok = SocketFail(s, NET_ERR_PEER_CLOSED);
    } else {
      s->lastError = 0;
      b->Filled += static_cast<MQLONG>(n);
      s->bytesReceived += n;
    }
  }
  SocketTrace(s, "ReadSocket:After");
  s->current = nullptr;
  return ok;
}

int WriteSocket(SocketData* s, Buffer* b, SocketAddress* address) {
  s->current = b;
  SocketTrace(s, "WriteSocket:Before");
  int ok = 1;
  long count = static_cast<long>(b->Size) - b->Sent;
  if (b->Data == nullptr || count < 0 || b->Sent < 0 || b->Size > b->Capacity) {
    ok = SocketFail(s, OS_WSAEINVAL);
  } else if (s->type == 2) {
    sockaddr_in to{};
    int error = 0;
    SocketAddress* dest = address != nullptr ? address : &s->peer;
    if (netcore::AddrToIP(s, dest, &to, &error) == 0 || to.sin_port == 0) {
      ok = SocketFail(s, OS_WSAEDESTADDRREQ);
    } else {
      ssize_t n = ::sendto(s->handle, b->Data + b->Sent, static_cast<size_t>(count),
                           b->Flags | OS_SEND_FLAGS, reinterpret_cast<sockaddr*>(&to),
                           sizeof to);
      if (n < 0) {
        ok = SocketFail(s, osLastSocketError());
      } else {
        s->lastError = 0;
        b->Sent += static_cast<MQLONG>(n);
        s->bytesSent += n;
      }
    }
  } else {
    ssize_t n = ::send(s->handle, b->Data + b->Sent, static_cast<size_t>(count),
                       b->Flags | OS_SEND_FLAGS);
    if (n < 0) {
      ok = SocketFail(s, osLastSocketError());
    } else {
      s->lastError = 0;
      b->Sent += static_cast<MQLONG>(n);
      s->bytesSent += n;
    }
  }
  SocketTrace(s, "WriteSocket:After");
  s->current = nullptr;
  return ok;
}

int ListenSocket(SocketData* s, int backlog) {
  int ok = 1;
  if (::listen(s->handle, backlog) != 0) ok = SocketFail(s, osLastSocketError());
  SocketTrace(s, "ListenSocket");
  return ok;
}

int ConnectSocket(SocketData* s, SocketAddress* address) {
  SocketTrace(s, "ConnectSocket:Before");
  address->host[sizeof address->host - 1] = '\0';
  address->ip[sizeof address->ip - 1] = '\0';
  sockaddr_in to{};
  int error = 0;
  int ok = 0;
  if (netcore::AddrToIP(s, address, &to, &error) == 0) {
    SocketFail(s, error);
  } else {
    s->peer = *address;
    int rc = ::connect(s->handle, reinterpret_cast<sockaddr*>(&to), sizeof to);
    int code = rc == 0 ? 0 : osLastSocketError();
    if (rc == 0 || code == OS_WSAEISCONN) {
      ok = 1;
      s->lastError = 0;
      sockaddr_in peer{};
      socklen_t len = sizeof peer;
      if (::getpeername(s->handle, reinterpret_cast<sockaddr*>(&peer), &len) == 0) {
        netcore::FillFromSystem(&s->peer, peer);
      }
    } else {
      SocketFail(s, code);
    }
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(s->handle, reinterpret_cast<sockaddr*>(&local), &len) == 0) {
      netcore::FillFromSystem(&s->local, local);
    }
    SysInfo info;
    GetSysInfo(&info);
    CopyField(s->local.host, sizeof s->local.host, info.host);
    CopyField(s->local.protocol, sizeof s->local.protocol, address->protocol);
  }
  s->connected = ok;
  SocketTrace(s, "ConnectSocket:After");
  return ok;
}

int BindSocketName(SocketData* s, SocketAddress* address) {
  SocketTrace(s, "BindSocket:Before");
  address->host[sizeof address->host - 1] = '\0';
  address->ip[sizeof address->ip - 1] = '\0';
  sockaddr_in at{};
  int error = 0;
  int ok = 0;
  if (netcore::AddrToIP(s, address, &at, &error) == 0) {
    SocketFail(s, error);
  } else if (::bind(s->handle, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
    SocketFail(s, osLastSocketError());
  } else {
    ok = 1;
    s->lastError = 0;
    s->local = *address;
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    if (::getsockname(s->handle, reinterpret_cast<sockaddr*>(&bound), &len) == 0) {
      netcore::FillFromSystem(&s->local, bound);
    }
    *address = s->local;
  }
  s->connected = ok;
  SocketTrace(s, "BindSocket:After");
  return ok;
}

int AcceptClient(SocketData* listener, SocketData* client) {
  SocketTrace(listener, "AcceptClient:Before");
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  // An accepted socket takes the listening socket's blocking mode, as the
  // programs expect from the platform they were written for.
  int flags = SOCK_CLOEXEC | (netcore::IsNonBlocking(listener->handle) ? SOCK_NONBLOCK : 0);
  int handle = ::accept4(listener->handle, reinterpret_cast<sockaddr*>(&peer), &len, flags);
  int ok = 1;
  if (handle < 0) {
    ok = SocketFail(listener, osLastSocketError());
  } else {
    listener->lastError = 0;
    InitSocket(client);
    client->traceCallback = listener->traceCallback;
    client->handle = handle;
    client->family = listener->family;
    client->type = listener->type;
    client->protocol = listener->protocol;
    client->connected = 1;
    // The local address names the peer (the servers read the client's
    // address there); the peer address holds the same.
    netcore::FillFromSystem(&client->local, peer);
    CopyField(client->local.protocol, sizeof client->local.protocol, "tcp");
    client->peer = client->local;
  }
  SocketTrace(listener, "AcceptClient:After");
  return ok;
}

int GetSocketName(SocketData* s, SocketAddress* address) {
  *address = s->local;
  return 1;
}

int GetFromAddr(SocketData* s, SocketAddress* address) {
  *address = s->peer;
  return 1;
}

int GetSocketOptions(SocketData* s, SocketOption* option) {
  int name = netcore::OptionName(option->index);
  if (name == SO_LINGER) {
    struct linger l{};
    socklen_t len = sizeof l;
    if (::getsockopt(s->handle, SOL_SOCKET, SO_LINGER, &l, &len) != 0) {
      return SocketFail(s, osLastSocketError());
    }
    option->on = l.l_onoff;
    option->value = l.l_linger;
    return 1;
  }
  int value = 0;
  socklen_t len = sizeof value;
  if (::getsockopt(s->handle, SOL_SOCKET, name, &value, &len) != 0) {
    return SocketFail(s, osLastSocketError());
  }
  option->value = value;
  return 1;
}

int SetSocketOptions(SocketData* s, SocketOption* option) {
  int name = netcore::OptionName(option->index);
  int rc;
  if (name == SO_LINGER) {
    struct linger l{};
    l.l_onoff = option->on;
    l.l_linger = option->value;
    rc = ::setsockopt(s->handle, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  } else {
    int value = (name == SO_SNDBUF || name == SO_RCVBUF) ? option->value : option->on;
    rc = ::setsockopt(s->handle, SOL_SOCKET, name, &value, sizeof value);
  }
  if (rc != 0) return SocketFail(s, osLastSocketError());
  return 1;
}

int ReuseSocket(SocketData* s, int on) {
  SocketOption option{1, 0, on == 1 ? 1 : 0};
  return SetSocketOptions(s, &option);
}

int OnSocketError(SocketData* s, SocketErrorCallback callback) {
  s->errorCallback = callback;
  return 1;
}

int OnSocketTrace(SocketData* s, SocketTraceCallback callback) {
  s->traceCallback = callback;
  return 1;
}

int OnGSocketTrace(SocketTraceCallback callback) {
  netcore::g_default_trace = callback;
  return 1;
}

}  // extern "C"
