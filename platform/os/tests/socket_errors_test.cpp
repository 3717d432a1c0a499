// The errno-to-Windows-Sockets table: the numbers are the published ones the
// suite stores and shows, written out here by hand as the oracle.

#include "os/socket_errors.h"

#include <gtest/gtest.h>
#include <netdb.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

struct ErrnoCase {
  int err;
  int wsa;
  const char* name;
};

TEST(SocketErrors, ErrnoValuesMapToPublishedWindowsSocketsNumbers) {
  const ErrnoCase cases[] = {
      {0, 0, nullptr},
      {EAGAIN, 10035, "WSAEWOULDBLOCK"},
      {EWOULDBLOCK, 10035, "WSAEWOULDBLOCK"},
      {EINPROGRESS, 10036, "WSAEINPROGRESS"},
      {EALREADY, 10037, "WSAEALREADY"},
      {ENOTSOCK, 10038, "WSAENOTSOCK"},
      {EDESTADDRREQ, 10039, "WSAEDESTADDRREQ"},
      {EMSGSIZE, 10040, "WSAEMSGSIZE"},
      {EADDRINUSE, 10048, "WSAEADDRINUSE"},
      {EADDRNOTAVAIL, 10049, "WSAEADDRNOTAVAIL"},
      {ENETUNREACH, 10051, "WSAENETUNREACH"},
      {ECONNABORTED, 10053, "WSAECONNABORTED"},
      {ECONNRESET, 10054, "WSAECONNRESET"},
      {EPIPE, 10054, "WSAECONNRESET"},
      {ENOBUFS, 10055, "WSAENOBUFS"},
      {ENOMEM, 10055, "WSAENOBUFS"},
      {EISCONN, 10056, "WSAEISCONN"},
      {ENOTCONN, 10057, "WSAENOTCONN"},
      {ETIMEDOUT, 10060, "WSAETIMEDOUT"},
      {ECONNREFUSED, 10061, "WSAECONNREFUSED"},
      {EHOSTUNREACH, 10065, "WSAEHOSTUNREACH"},
      {EINTR, 10004, "WSAEINTR"},
      {EBADF, 10009, "WSAEBADF"},
      {EINVAL, 10022, "WSAEINVAL"},
      {EMFILE, 10024, "WSAEMFILE"},
  };
  for (const ErrnoCase& c : cases) {
    SCOPED_TRACE(c.err);
    EXPECT_EQ(osWsaErrorFromErrno(c.err), c.wsa);
    if (c.name != nullptr) {
      EXPECT_STREQ(osSocketErrorName(c.wsa), c.name);
    }
  }
}

TEST(SocketErrors, UnknownErrnoNeverPassesThroughRaw) {
  // 11 is EAGAIN's raw value and also the suite's own "queued write failed";
  // errno values without a counterpart must not come out as themselves.
  for (int err : {ENOENT, EIO, E2BIG, ENOSPC, 4000}) {
    SCOPED_TRACE(err);
    EXPECT_EQ(osWsaErrorFromErrno(err), 10107);
  }
  EXPECT_EQ(osWsaErrorFromErrno(11), 10035);
}

TEST(SocketErrors, LastSocketErrorReadsErrno) {
  errno = ECONNREFUSED;
  EXPECT_EQ(osLastSocketError(), 10061);
  errno = 0;
  EXPECT_EQ(osLastSocketError(), 0);
}

TEST(SocketErrors, ResolverResultsMapToHostErrors) {
  EXPECT_EQ(osWsaErrorFromResolver(0), 0);
  EXPECT_EQ(osWsaErrorFromResolver(EAI_NONAME), 11001);
  EXPECT_EQ(osWsaErrorFromResolver(EAI_AGAIN), 11002);
  EXPECT_EQ(osWsaErrorFromResolver(EAI_FAIL), 11003);
  EXPECT_EQ(osWsaErrorFromResolver(EAI_SERVICE), 10109);
  EXPECT_EQ(osWsaErrorFromResolver(EAI_MEMORY), 10055);
  errno = ETIMEDOUT;
  EXPECT_EQ(osWsaErrorFromResolver(EAI_SYSTEM), 10060);
}

TEST(SocketErrors, WouldBlockCoversInProgressToo) {
  EXPECT_EQ(osIsWouldBlock(10035), 1);
  EXPECT_EQ(osIsWouldBlock(10036), 1);
  EXPECT_EQ(osIsWouldBlock(10054), 0);
  EXPECT_EQ(osIsWouldBlock(11), 0);
  EXPECT_STREQ(osSocketErrorName(12345), "WSA_UNKNOWN");
}

TEST(SocketErrors, SendToClosedPeerReportsResetInsteadOfSigpipe) {
  // With the default SIGPIPE action a plain send() here would kill the test
  // program; the suite's send flags must turn it into an error value.
  struct sigaction old_action;
  struct sigaction dfl;
  std::memset(&dfl, 0, sizeof dfl);
  dfl.sa_handler = SIG_DFL;
  ASSERT_EQ(sigaction(SIGPIPE, &dfl, &old_action), 0);

  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  close(fds[1]);
  char byte = 'x';
  ssize_t n = send(fds[0], &byte, 1, OS_SEND_FLAGS);
  int code = osLastSocketError();
  close(fds[0]);
  sigaction(SIGPIPE, &old_action, nullptr);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(code, 10054);
}

}  // namespace
