/*
 * socket.h: the socket layer of netcore: a socket record with its two
 * address records, reading and writing Buffer objects, connect, bind, listen
 * and accept, waiting on many sockets, socket options, and the mapping
 * between host names, dotted addresses, ports and service names.
 *
 * Rules:
 *  - Functions return 1 for success and 0 for failure, with the reason in the
 *    record's lastError, unless a function says otherwise. Errors are always
 *    Windows Sockets numbers (<os/socket_errors.h>), never a raw errno; 10036
 *    ("in progress") is always reported as 10035. The suite's own codes:
 *    1002 service not found, 1003 host not found, 1004 the peer closed the
 *    connection, 10039 a datagram without a usable destination.
 *  - On every failure the record's error callback (when set) is called and
 *    its result stored in errorResult; the record stays usable.
 *  - Handle 0 is a valid socket; -1 means none.
 *  - Sends never raise SIGPIPE. Waiting uses poll(): there is no limit on
 *    descriptor numbers and none on the number of sockets per wait.
 *  - A record is used by one thread at a time. The default trace callback
 *    (OnGSocketTrace) is process-wide and meant to be set at start-up.
 */
#ifndef NETCORE_SOCKET_H_
#define NETCORE_SOCKET_H_

#include <stdint.h>

#include <netinet/in.h>

#include <pcfcore/message.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The suite's own socket-layer codes. */
#define NET_ERR_SERVICE_NOT_FOUND 1002
#define NET_ERR_HOST_NOT_FOUND 1003
#define NET_ERR_PEER_CLOSED 1004
/* Wait timed out (error out-parameter of the wait functions). */
#define NET_ERR_TIMEOUT 1000

typedef struct SocketAddress {
  char host[256];     /* host name or dotted address; "*" any, "@" localhost */
  char ip[16];        /* dotted address text */
  char service[33];   /* port number in decimal, or a service name */
  char protocol[19];  /* protocol name for the service lookup */
  uint32_t port;      /* filled by resolution */
} SocketAddress;

struct SocketData;
typedef int (*SocketErrorCallback)(struct SocketData* socket);
typedef void (*SocketTraceCallback)(const char* operation, struct SocketData* socket);

typedef struct SocketData {
  int handle;          /* -1 when none; 0 is a valid descriptor */
  int family;          /* 2 (AF_INET) */
  int type;            /* 1 stream, 2 datagram */
  int protocol;        /* 0 */
  int64_t bytesSent;
  int64_t bytesReceived;
  int lastError;       /* Windows Sockets number or one of the codes above */
  int errorResult;     /* result of the error callback */
  SocketErrorCallback errorCallback;
  SocketTraceCallback traceCallback;
  int connected;
  SocketAddress local;
  SocketAddress peer;
  Buffer* current;     /* the buffer being read or written during a call */
  void* owner;         /* the node that embeds this record, or null */
} SocketData;

/* Option indexes: 0 SO_DEBUG, 1 SO_REUSEADDR, 2 SO_KEEPALIVE, 3 SO_DONTROUTE,
 * 4 SO_LINGER (onoff = on, linger = value), 5 SO_BROADCAST, 6 SO_OOBINLINE,
 * 7 SO_SNDBUF (value), 8 SO_RCVBUF (value), 9 SO_TYPE, 10 SO_ERROR. Other
 * non-negative indexes are passed to the system as option numbers. */
typedef struct SocketOption {
  int index;
  int value;
  int on;
} SocketOption;

typedef struct WaitTime {
  int milliseconds;
  int seconds;
} WaitTime;

typedef struct SysInfo {
  char os[48];
  char host[256];
} SysInfo;

/* Clears the record; handle -1. */
int InitSocket(SocketData* s);
/* InitSocket, the default trace callback, peer protocol "tcp", a new socket
 * of family and type (1 stream, 2 datagram). Descriptors are close-on-exec. */
int CreateAnySocket(SocketData* s, int family, int type);
int CreateSocket(SocketData* s);
int CreateUDPSocket(SocketData* s);
/* Wraps an existing stream socket (family 2, type 1); 1. */
int CreateSocketFromExisting(SocketData* s, int handle);
/* Closes the handle when there is one (handle >= 0); handle -1 after; 1. */
int DeleteSocket(SocketData* s);
int NoblockSocket(SocketData* s);
int BlockSocket(SocketData* s);
/* Receives into b after its Filled bytes, at most Size - Filled, with
 * b->Flags. Adds to Filled; 1004 when the peer closed. A datagram larger
 * than the room left is refused with 10040 (its excess would be lost). */
int ReadSocket(SocketData* s, Buffer* b);
/* Sends b from its Sent count to its Size; adds to Sent. A datagram socket
 * sends to address (resolved; "0.0.0.0" is the broadcast address), or, when
 * address is null, back to the socket's peer address. */
int WriteSocket(SocketData* s, Buffer* b, SocketAddress* address);
int ListenSocket(SocketData* s, int backlog);
/* Resolves and connects. On a non-blocking socket the usual result is 0 with
 * 10035; the connect completes when a wait reports the socket writable. */
int ConnectSocket(SocketData* s, SocketAddress* address);
/* Resolves and binds; the local address (and *address) then show the bound
 * ip, service and port. */
int BindSocketName(SocketData* s, SocketAddress* address);
/* Accepts one connection into client (initialised here). */
int AcceptClient(SocketData* listener, SocketData* client);
int GetSocketName(SocketData* s, SocketAddress* address);
int GetFromAddr(SocketData* s, SocketAddress* address);
int GetSocketOptions(SocketData* s, SocketOption* option);
int SetSocketOptions(SocketData* s, SocketOption* option);
int ReuseSocket(SocketData* s, int on);

/* Waits for readability and exceptions (urgent data) on the sockets of the
 * null-terminated list. On success read and exception (each may be null) get
 * the ready sockets in list order, null-terminated, and 1 is returned. On
 * time-out *error = 1000 and 0; on failure *error = the socket error and 0.
 * A socket with a hang-up or error condition counts as readable, so that the
 * next read reports it. Outputs need room for the list plus the null. */
int PostSocket(SocketData** list, SocketData** read, SocketData** exception,
               WaitTime* wait, int* error);
/* As PostSocket, and also for writability of the sockets of the write list
 * (in: null-terminated; out: those found writable) and of stream sockets
 * whose non-blocking connect is in progress. A connect that completed sets
 * the connected flag and adds the socket to the write list; a connect that
 * failed leaves the flag 0, stores the error in the record and reports the
 * socket as an exception. */
int NPostSocket(SocketData** list, SocketData** read, SocketData** write,
                SocketData** exception, WaitTime* wait, int* error);

int OnSocketError(SocketData* s, SocketErrorCallback callback);
int OnSocketTrace(SocketData* s, SocketTraceCallback callback);
int OnGSocketTrace(SocketTraceCallback callback);

/* Fills out's ip, service and port from the system address; the third
 * argument is not read. 1. */
int IpAddrToSocketAddr(const struct sockaddr_in* address, SocketAddress* out,
                       int unused);
/* Dotted text (16 bytes) of the system address; "unknown ip" and 0 when it is
 * not an IPv4 address. */
int MapHostAddrToIP(char* text, const struct sockaddr_in* address);
/* text "0.0.0.0" gives the broadcast address 255.255.255.255 (so that address
 * itself is written "0.0.0.0"); other text must be a four-part dotted
 * address. Sets family and address of *address, keeps its port. */
int MapHostIPToAddr(const char* text, struct sockaddr_in* address);
/* Reverse lookup (256 bytes); "unknown host" and 0 when there is no name. */
int MapHostAddrToName(char* text, const struct sockaddr_in* address);
/* Service name (33 bytes) of the port for protocol; "unknown service" and 0. */
int MapServPortToName(char* text, const struct sockaddr_in* address,
                      const char* protocol);
/* The dotted address in host byte order; 0 (and *value 0) when text is not a
 * four-part dotted address. */
int MapStrIpToAddr(const char* text, uint32_t* value);
/* Dotted text (16 bytes) of the name's first IPv4 address; 0 when unknown. */
int ResolveHostName(const char* name, char* text);
/* Sets address->ip to "0.0.0.0"; 1. */
int GetHostIP(SocketAddress* address);
/* 1 when text is a valid dotted address: digits and dots only, at most four
 * groups of at most three digits and value 255, first and last group 1..255. */
int IsValidIp(const char* text);
int GetSysInfo(SysInfo* info);
int bTcpipNotActive(int verbose);
int bWaitForTcpip(int verbose, const char* program);

#ifdef __cplusplus
}
#endif

#endif /* NETCORE_SOCKET_H_ */
