// The socket layer and host mapping: dotted-address rules, resolution,
// binding, options, error numbers and callbacks, descriptor 0.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "netcore/socket.h"
#include "support/net_fixture.h"

namespace {

struct IpCase {
  const char* text;
  int valid;
};

TEST(IsValidIp, DottedAddressRules) {
  const IpCase cases[] = {
      {"10.1.2.3", 1}, {"0.1.2.3", 0},    {"10.1.2.0", 0},  {"10.1.2.3.4", 0},
      {"1.2", 1},      {"1a.2.3.4", 0},   {"", 0},          {"255.255.255.255", 1},
      {"256.1.1.1", 0}, {"1.1.1.1000", 0}, {"1..2", 0},     {"1.2.3.", 0},
      {"127.0.0.1", 1}, {"5", 1},         {"0", 0},         {" 1.2.3.4", 0},
  };
  for (const IpCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IsValidIp(c.text), c.valid);
  }
  EXPECT_EQ(IsValidIp(nullptr), 0);
}

struct StrIpCase {
  const char* text;
  int ok;
  uint32_t value;
};

TEST(MapStrIpToAddr, ConvertsOnlyRealAddresses) {
  const StrIpCase cases[] = {
      {"10.1.2.3", 1, 0x0A010203u}, {"255.255.255.255", 1, 0xFFFFFFFFu},
      {"0.0.0.0", 1, 0u},           {"host.example", 0, 0u},
      {"1.2", 0, 0u},               {"1.2.3.4x", 0, 0u},
      {"", 0, 0u},                  {"300.1.1.1", 0, 0u},
  };
  for (const StrIpCase& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t value = 12345;
    EXPECT_EQ(MapStrIpToAddr(c.text, &value), c.ok);
    EXPECT_EQ(value, c.value);
  }
}

TEST(MapHostIPToAddr, ZeroAddressMeansBroadcast) {
  sockaddr_in a{};
  ASSERT_EQ(MapHostIPToAddr("0.0.0.0", &a), 1);
  EXPECT_EQ(ntohl(a.sin_addr.s_addr), 0xFFFFFFFFu);
  ASSERT_EQ(MapHostIPToAddr("192.168.1.20", &a), 1);
  EXPECT_EQ(ntohl(a.sin_addr.s_addr), 0xC0A80114u);
  EXPECT_EQ(MapHostIPToAddr("not an address", &a), 0);
  char text[16];
  EXPECT_EQ(MapHostAddrToIP(text, &a), 1);
  EXPECT_STREQ(text, "192.168.1.20");
  sockaddr_in bad{};
  bad.sin_family = AF_UNIX;
  EXPECT_EQ(MapHostAddrToIP(text, &bad), 0);
  EXPECT_STREQ(text, "unknown ip");
}

TEST(Resolution, PortAndAddressNames) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(22);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  char service[33];
  EXPECT_EQ(MapServPortToName(service, &a, "tcp"), 1);
  EXPECT_STREQ(service, "ssh");
  a.sin_port = htons(0);  // port 0 is never a service
  EXPECT_EQ(MapServPortToName(service, &a, "tcp"), 0);
  EXPECT_STREQ(service, "unknown service");
  char host[256];
  EXPECT_EQ(MapHostAddrToName(host, &a), 1);
  EXPECT_GT(std::strlen(host), 0u);
  SocketAddress out{};
  a.sin_port = htons(4005);
  EXPECT_EQ(IpAddrToSocketAddr(&a, &out, 0), 1);
  EXPECT_STREQ(out.ip, "127.0.0.1");
  EXPECT_STREQ(out.service, "4005");
  EXPECT_EQ(out.port, 4005u);
}

TEST(Resolution, LocalhostAndServiceNames) {
  char text[16] = {};
  ASSERT_EQ(ResolveHostName("localhost", text), 1);
  EXPECT_STREQ(text, "127.0.0.1");
  EXPECT_EQ(ResolveHostName("", text), 0);
  SocketAddress a{};
  GetHostIP(&a);
  EXPECT_STREQ(a.ip, "0.0.0.0");
}

TEST(Binding, AnyAddressWithPortZeroShowsTheChosenPort) {
  SocketData s;
  ASSERT_EQ(CreateSocket(&s), 1);
  SocketAddress a = nettest::Address("*", "0");
  ASSERT_EQ(BindSocketName(&s, &a), 1) << s.lastError;
  EXPECT_STREQ(s.local.ip, "0.0.0.0");
  EXPECT_NE(s.local.port, 0u);
  EXPECT_EQ(a.port, s.local.port);
  EXPECT_EQ(std::to_string(a.port), a.service);
  EXPECT_EQ(s.connected, 1);
  DeleteSocket(&s);
}

struct ServiceCase {
  const char* service;
  int ok;
  int error;
};

TEST(Binding, ServiceTextIsAPortOrAKnownName) {
  const ServiceCase cases[] = {
      {"0", 1, 0},
      {"no-such-service-here", 0, NET_ERR_SERVICE_NOT_FOUND},
      {"70000", 0, NET_ERR_SERVICE_NOT_FOUND},
      {"12ab", 0, NET_ERR_SERVICE_NOT_FOUND},
  };
  for (const ServiceCase& c : cases) {
    SCOPED_TRACE(c.service);
    SocketData s;
    ASSERT_EQ(CreateSocket(&s), 1);
    SocketAddress a = nettest::Address("127.0.0.1", c.service);
    EXPECT_EQ(BindSocketName(&s, &a), c.ok);
    EXPECT_EQ(s.lastError, c.error);
    DeleteSocket(&s);
  }
}

int g_error_calls = 0;
int CountingErrorCallback(SocketData* s) {
  ++g_error_calls;
  return s->lastError + 1;
}

TEST(Errors, RefusedConnectReportsWsaNumberAndCallsTheErrorCallback) {
  // A port bound but not listening refuses connects, and stays ours.
  SocketData probe;
  ASSERT_EQ(CreateSocket(&probe), 1);
  SocketAddress any = nettest::Address("127.0.0.1", "0");
  ASSERT_EQ(BindSocketName(&probe, &any), 1);
  uint32_t port = any.port;

  SocketData s;
  ASSERT_EQ(CreateSocket(&s), 1);
  OnSocketError(&s, CountingErrorCallback);
  g_error_calls = 0;
  SocketAddress to = nettest::Loopback(port);
  EXPECT_EQ(ConnectSocket(&s, &to), 0);
  EXPECT_EQ(s.lastError, 10061);
  EXPECT_EQ(s.connected, 0);
  EXPECT_EQ(g_error_calls, 1);
  EXPECT_EQ(s.errorResult, 10062);
  DeleteSocket(&s);
  DeleteSocket(&probe);
}

TEST(Errors, UnknownHostFails) {
  SocketData s;
  ASSERT_EQ(CreateSocket(&s), 1);
  SocketAddress to = nettest::Address("no-such-host.invalid", "5000");
  EXPECT_EQ(ConnectSocket(&s, &to), 0);
  EXPECT_NE(s.lastError, 0);
  EXPECT_LT(s.lastError, 20000);
  DeleteSocket(&s);
}

struct OptionCase {
  int index;
  int value;
  int on;
};

TEST(Options, SetAndReadBack) {
  SocketData s;
  ASSERT_EQ(CreateSocket(&s), 1);
  SocketOption keepalive{2, 0, 1};
  ASSERT_EQ(SetSocketOptions(&s, &keepalive), 1);
  SocketOption read{2, -1, 0};
  ASSERT_EQ(GetSocketOptions(&s, &read), 1);
  EXPECT_EQ(read.value, 1);
  SocketOption linger{4, 7, 1};
  ASSERT_EQ(SetSocketOptions(&s, &linger), 1);
  SocketOption linger_read{4, 0, 0};
  ASSERT_EQ(GetSocketOptions(&s, &linger_read), 1);
  EXPECT_EQ(linger_read.on, 1);
  EXPECT_EQ(linger_read.value, 7);
  SocketOption type{9, 0, 0};
  ASSERT_EQ(GetSocketOptions(&s, &type), 1);
  EXPECT_EQ(type.value, SOCK_STREAM);
  SocketOption bogus{-3, 1, 1};
  EXPECT_EQ(SetSocketOptions(&s, &bogus), 0);
  EXPECT_EQ(s.lastError, 10042);  // WSAENOPROTOOPT
  DeleteSocket(&s);
}

TEST(Descriptors, HandleZeroIsAValidSocket) {
  int saved_stdin = dup(0);
  ASSERT_GE(saved_stdin, 0);
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  ASSERT_EQ(dup2(pair[0], 0), 0);
  close(pair[0]);

  SocketData s;
  CreateSocketFromExisting(&s, 0);
  const char hello[] = "hello";
  ASSERT_EQ(send(pair[1], hello, 5, 0), 5);
  SocketData* list[] = {&s, nullptr};
  SocketData* ready[2] = {};
  WaitTime wait{0, 2};
  int error = 0;
  EXPECT_EQ(PostSocket(list, ready, nullptr, &wait, &error), 1);
  EXPECT_EQ(ready[0], &s);
  unsigned char bytes[8] = {};
  Buffer b{bytes, 5, 8, 0, 0, 0};
  EXPECT_EQ(ReadSocket(&s, &b), 1);
  EXPECT_EQ(b.Filled, 5);
  EXPECT_EQ(DeleteSocket(&s), 1);
  EXPECT_EQ(fcntl(0, F_GETFD), -1) << "descriptor 0 must have been closed";
  EXPECT_EQ(s.handle, -1);

  dup2(saved_stdin, 0);
  close(saved_stdin);
  close(pair[1]);
}

TEST(SysInfo, HostNameAndOsText) {
  unsetenv("OS");
  SysInfo info;
  EXPECT_EQ(GetSysInfo(&info), 1);
  EXPECT_STREQ(info.os, "Win32");
  EXPECT_GT(std::strlen(info.host), 0u);
  std::string long_os(100, 'x');
  setenv("OS", long_os.c_str(), 1);
  GetSysInfo(&info);
  EXPECT_EQ(std::strlen(info.os), 47u);
  unsetenv("OS");
  EXPECT_EQ(bTcpipNotActive(0), 0);
  EXPECT_EQ(bWaitForTcpip(0, "test"), 0);
}

std::vector<std::string> g_trace;
void RecordTrace(const char* op, SocketData*) { g_trace.push_back(op); }

TEST(Trace, DefaultCallbackReachesNewSockets) {
  g_trace.clear();
  OnGSocketTrace(RecordTrace);
  SocketData s;
  CreateSocket(&s);
  OnGSocketTrace(nullptr);
  SocketAddress a = nettest::Address("127.0.0.1", "0");
  BindSocketName(&s, &a);
  DeleteSocket(&s);
  std::vector<std::string> expected = {"CreateAnySocket", "BindSocket:Before", "AddrToIP:Before",
                                       "AddrToIP:After", "BindSocket:After", "DeleteSocket"};
  EXPECT_EQ(g_trace, expected);
}

}  // namespace
