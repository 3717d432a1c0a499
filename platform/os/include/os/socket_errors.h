/*
 * socket_errors.h: the socket error numbers the suite shows and stores.
 *
 * The programs log, store and compare the Windows Sockets numbers (10035
 * "would block", 10054 "connection reset", 10060 "timed out", ...), and their
 * peers and stored files carry them too, so a raw errno must never reach a
 * node's last error or a log line. Every socket call of the suite converts its
 * errno here, at one place. Unknown errno values become OS_WSASYSCALLFAILURE
 * rather than passing through, because a raw errno could collide with one of
 * the suite's own codes (11 "queued write failed", 1004 "peer closed").
 *
 * Sends use MSG_NOSIGNAL (OS_SEND_FLAGS) so that writing to a peer that has
 * gone away yields 10054 instead of killing the process with SIGPIPE.
 *
 * Pure functions, thread-safe.
 */
#ifndef OS_SOCKET_ERRORS_H_
#define OS_SOCKET_ERRORS_H_

#include <sys/socket.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Flags every send()/sendto() of the suite adds to its own. */
#define OS_SEND_FLAGS MSG_NOSIGNAL

/* The Windows Sockets numbers (published values; never renumber). */
#define OS_WSAEINTR 10004
#define OS_WSAEBADF 10009
#define OS_WSAEACCES 10013
#define OS_WSAEFAULT 10014
#define OS_WSAEINVAL 10022
#define OS_WSAEMFILE 10024
#define OS_WSAEWOULDBLOCK 10035
#define OS_WSAEINPROGRESS 10036
#define OS_WSAEALREADY 10037
#define OS_WSAENOTSOCK 10038
#define OS_WSAEDESTADDRREQ 10039
#define OS_WSAEMSGSIZE 10040
#define OS_WSAEPROTOTYPE 10041
#define OS_WSAENOPROTOOPT 10042
#define OS_WSAEPROTONOSUPPORT 10043
#define OS_WSAESOCKTNOSUPPORT 10044
#define OS_WSAEOPNOTSUPP 10045
#define OS_WSAEPFNOSUPPORT 10046
#define OS_WSAEAFNOSUPPORT 10047
#define OS_WSAEADDRINUSE 10048
#define OS_WSAEADDRNOTAVAIL 10049
#define OS_WSAENETDOWN 10050
#define OS_WSAENETUNREACH 10051
#define OS_WSAENETRESET 10052
#define OS_WSAECONNABORTED 10053
#define OS_WSAECONNRESET 10054
#define OS_WSAENOBUFS 10055
#define OS_WSAEISCONN 10056
#define OS_WSAENOTCONN 10057
#define OS_WSAESHUTDOWN 10058
#define OS_WSAETOOMANYREFS 10059
#define OS_WSAETIMEDOUT 10060
#define OS_WSAECONNREFUSED 10061
#define OS_WSAELOOP 10062
#define OS_WSAENAMETOOLONG 10063
#define OS_WSAEHOSTDOWN 10064
#define OS_WSAEHOSTUNREACH 10065
#define OS_WSAENOTEMPTY 10066
#define OS_WSAEUSERS 10068
#define OS_WSAEDQUOT 10069
#define OS_WSAESTALE 10070
#define OS_WSAEREMOTE 10071
#define OS_WSASYSCALLFAILURE 10107
#define OS_WSATYPE_NOT_FOUND 10109
#define OS_WSAHOST_NOT_FOUND 11001
#define OS_WSATRY_AGAIN 11002
#define OS_WSANO_RECOVERY 11003
#define OS_WSANO_DATA 11004

/* The Windows Sockets number for errno value err; 0 for 0. EAGAIN and
 * EWOULDBLOCK give 10035; EPIPE gives 10054 (the peer reset the connection);
 * ENOMEM and ENOBUFS give 10055; unknown values give 10107. */
int osWsaErrorFromErrno(int err);

/* The same for the errno of the calling thread. */
int osLastSocketError(void);

/* The Windows Sockets number for a getaddrinfo/getnameinfo result (EAI_*);
 * 0 for 0. EAI_NONAME gives 11001, EAI_AGAIN 11002, EAI_FAIL 11003,
 * EAI_NODATA 11004, EAI_SERVICE 10109, EAI_MEMORY 10055, EAI_SYSTEM converts
 * errno, anything else 11003. */
int osWsaErrorFromResolver(int eai);

/* 1 when code means "try again later": 10035 or 10036. */
int osIsWouldBlock(int code);

/* The symbolic name of a Windows Sockets number ("WSAECONNRESET"), or
 * "WSA_UNKNOWN" for a number this table does not hold. Never null. */
const char* osSocketErrorName(int code);

#ifdef __cplusplus
}
#endif

#endif /* OS_SOCKET_ERRORS_H_ */
