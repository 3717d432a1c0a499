// socket_internal.h: helpers the socket layer's files share.
#ifndef NETCORE_SOCKET_INTERNAL_H_
#define NETCORE_SOCKET_INTERNAL_H_

#include <netinet/in.h>
#include <sys/uio.h>

#include <cstddef>

#include "netcore/socket.h"

namespace netcore {

// Records code as the record's error (10036 becomes 10035), calls the error
// callback, and returns 0.
int SocketFail(SocketData* s, int code);

// Calls the record's trace callback when it has one.
void SocketTrace(SocketData* s, const char* operation);

// Resolves address into out (port, then host or ip); 1, or 0 with the error
// code in *error. Traces "AddrToIP:Before" / "AddrToIP:After" on s.
int AddrToIP(SocketData* s, SocketAddress* address, sockaddr_in* out, int* error);

// Copies text into a fixed field of size bytes, always NUL-terminated.
void CopyField(char* field, std::size_t size, const char* text);

// The four-part dotted address in text, in network order; false when text is
// not one.
bool ParseDotted(const char* text, in_addr* out);

// Sends count pieces of memory as one stream, starting skip bytes in, with
// as few system calls as the socket allows (no copy to join them). Stops at
// the end, at would-block or at an error; returns the bytes sent by this
// call, with the record's lastError 0, or the error (10035 for would-block)
// when it stopped short. Traces and counts as WriteSocket does.
std::size_t WriteSocketParts(SocketData* s, const iovec* parts, int count, std::size_t skip);

// Outcome of a stream socket whose non-blocking connect was started.
enum class ConnectState { kNotConnecting, kConnected, kFailed };

// Reads SO_ERROR and the peer: kFailed stores the connect's error in the
// record; kConnected sets its connected flag; kNotConnecting means the
// connect is still in progress or was never started.
ConnectState CheckConnect(SocketData* s);

}  // namespace netcore

#endif  // NETCORE_SOCKET_INTERNAL_H_
