// Names, dotted addresses, ports and services: address resolution for
// connect, bind and datagram writes, the mapping functions, host
// information and the wait for TCP/IP.

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "netcore/socket.h"
#include "os/socket_errors.h"
#include "socket_internal.h"

namespace netcore {
namespace {

bool StartsWithDigit(const char* text) {
  return text != nullptr && std::isdigit(static_cast<unsigned char>(text[0])) != 0;
}

// Port from a service text: decimal digits only, 0..65535; else a service
// name looked up for protocol. 0 (and *error) when neither works.
int ResolvePort(const char* service, const char* protocol, uint16_t* port, int* error) {
  if (StartsWithDigit(service)) {
    unsigned long value = 0;
    const char* p = service;
    for (; *p != '\0' && std::isdigit(static_cast<unsigned char>(*p)); ++p) {
      value = value * 10 + static_cast<unsigned long>(*p - '0');
      if (value > 65535) break;
    }
    if (*p != '\0' || value > 65535) {
      *error = NET_ERR_SERVICE_NOT_FOUND;
      return 0;
    }
    *port = static_cast<uint16_t>(value);
    return 1;
  }
  struct servent entry;
  struct servent* found = nullptr;
  char scratch[1024];
  const char* proto = (protocol != nullptr && protocol[0] != '\0') ? protocol : "tcp";
  if (service == nullptr || service[0] == '\0' ||
      getservbyname_r(service, proto, &entry, scratch, sizeof scratch, &found) != 0 ||
      found == nullptr) {
    *error = NET_ERR_SERVICE_NOT_FOUND;
    return 0;
  }
  *port = ntohs(static_cast<uint16_t>(found->s_port));
  return 1;
}

// First IPv4 address of name; 0 with the resolver's error otherwise.
int LookUpName(const char* name, in_addr* out, int* error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  int rc = getaddrinfo(name, nullptr, &hints, &result);
  if (rc != 0 || result == nullptr) {
    *error = rc != 0 ? osWsaErrorFromResolver(rc) : NET_ERR_HOST_NOT_FOUND;
    if (*error == 0) *error = NET_ERR_HOST_NOT_FOUND;
    return 0;
  }
  *out = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr;
  freeaddrinfo(result);
  return 1;
}

void NowText(char* text, std::size_t size) {
  // The ctime text, line end included: the dated lines rely on it to put
  // the message on a line of its own.
  std::time_t now = std::time(nullptr);
  std::tm tm_now;
  localtime_r(&now, &tm_now);
  std::strftime(text, size, "%a %b %e %H:%M:%S %Y\n", &tm_now);
}

}  // namespace

bool ParseDotted(const char* text, in_addr* out) {
  if (text == nullptr) return false;
  uint32_t value = 0;
  int groups = 0;
  const char* p = text;
  while (true) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    unsigned group = 0;
    int digits = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
      group = group * 10 + static_cast<unsigned>(*p - '0');
      if (++digits > 3) return false;
      ++p;
    }
    if (group > 255) return false;
    value = (value << 8) | group;
    ++groups;
    if (*p == '\0') break;
    if (*p != '.' || groups == 4) return false;
    ++p;
  }
  if (groups != 4) return false;
  out->s_addr = htonl(value);
  return true;
}

int AddrToIP(SocketData* s, SocketAddress* address, sockaddr_in* out, int* error) {
  SocketTrace(s, "AddrToIP:Before");
  std::memset(out, 0, sizeof *out);
  out->sin_family = AF_INET;
  uint16_t port = 0;
  if (ResolvePort(address->service, address->protocol, &port, error) == 0) {
    SocketTrace(s, "AddrToIP:After");
    return 0;
  }
  address->port = port;
  out->sin_port = htons(port);

  const char* name = IsValidIp(address->ip) ? address->ip : address->host;
  int ok = 0;
  if (std::strcmp(name, "*") == 0) {
    out->sin_addr.s_addr = htonl(INADDR_ANY);
    ok = 1;
  } else {
    if (std::strcmp(name, "@") == 0) name = "localhost";
    *error = NET_ERR_HOST_NOT_FOUND;
    if (!StartsWithDigit(name)) {
      if (name[0] != '\0' && LookUpName(name, &out->sin_addr, error)) {
        ok = 1;
      } else if (StartsWithDigit(address->ip) && MapHostIPToAddr(address->ip, out)) {
        ok = 1;
      }
    } else {
      ok = MapHostIPToAddr(name, out);
      if (!ok) *error = NET_ERR_HOST_NOT_FOUND;
    }
    out->sin_port = htons(port);
  }
  SocketTrace(s, "AddrToIP:After");
  return ok;
}

}  // namespace netcore

extern "C" {

int IpAddrToSocketAddr(const struct sockaddr_in* address, SocketAddress* out, int) {
  if (inet_ntop(AF_INET, &address->sin_addr, out->ip, sizeof out->ip) == nullptr) {
    netcore::CopyField(out->ip, sizeof out->ip, "unknown ip");
  }
  out->port = ntohs(address->sin_port);
  std::snprintf(out->service, sizeof out->service, "%u", static_cast<unsigned>(out->port));
  return 1;
}

int MapHostAddrToIP(char* text, const struct sockaddr_in* address) {
  if (address == nullptr || address->sin_family != AF_INET ||
      inet_ntop(AF_INET, &address->sin_addr, text, 16) == nullptr) {
    netcore::CopyField(text, 16, "unknown ip");
    return 0;
  }
  return 1;
}

int MapHostIPToAddr(const char* text, struct sockaddr_in* address) {
  if (text == nullptr) return 0;
  in_addr parsed{};
  if (std::strcmp(text, "0.0.0.0") == 0) {
    parsed.s_addr = htonl(INADDR_BROADCAST);
  } else if (!netcore::ParseDotted(text, &parsed)) {
    return 0;
  }
  address->sin_family = AF_INET;
  address->sin_addr = parsed;
  return 1;
}

int MapHostAddrToName(char* text, const struct sockaddr_in* address) {
  if (address == nullptr || address->sin_family != AF_INET ||
      getnameinfo(reinterpret_cast<const sockaddr*>(address), sizeof *address, text, 256,
                  nullptr, 0, NI_NAMEREQD) != 0) {
    netcore::CopyField(text, 256, "unknown host");
    return 0;
  }
  return 1;
}

int MapServPortToName(char* text, const struct sockaddr_in* address, const char* protocol) {
  struct servent entry;
  struct servent* found = nullptr;
  char scratch[1024];
  const char* proto = (protocol != nullptr && protocol[0] != '\0') ? protocol : "tcp";
  if (address == nullptr ||
      getservbyport_r(address->sin_port, proto, &entry, scratch, sizeof scratch, &found) != 0 ||
      found == nullptr) {
    netcore::CopyField(text, 33, "unknown service");
    return 0;
  }
  netcore::CopyField(text, 33, found->s_name);
  return 1;
}

int MapStrIpToAddr(const char* text, uint32_t* value) {
  in_addr parsed{};
  if (!netcore::ParseDotted(text, &parsed)) {
    *value = 0;
    return 0;
  }
  *value = ntohl(parsed.s_addr);
  return 1;
}

int ResolveHostName(const char* name, char* text) {
  in_addr found{};
  int error = 0;
  if (name == nullptr || name[0] == '\0' || !netcore::LookUpName(name, &found, &error)) {
    return 0;
  }
  return inet_ntop(AF_INET, &found, text, 16) != nullptr ? 1 : 0;
}

int GetHostIP(SocketAddress* address) {
  netcore::CopyField(address->ip, sizeof address->ip, "0.0.0.0");
  return 1;
}

int IsValidIp(const char* text) {
  if (text == nullptr || text[0] == '\0') return 0;
  int groups = 0;
  unsigned first = 0, last = 0;
  const char* p = text;
  while (true) {
    unsigned group = 0;
    int digits = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
      group = group * 10 + static_cast<unsigned>(*p - '0');
      if (++digits > 3) return 0;
      ++p;
    }
    if (digits == 0 || group > 255) return 0;
    if (groups == 0) first = group;
    last = group;
    ++groups;
    if (*p == '\0') break;
    if (*p != '.' || groups == 4) return 0;
    ++p;
  }
  return (first >= 1 && last >= 1) ? 1 : 0;
}

int GetSysInfo(SysInfo* info) {
  std::memset(info, 0, sizeof *info);
  const char* os = std::getenv("OS");
  netcore::CopyField(info->os, sizeof info->os, os != nullptr ? os : "Win32");
  if (gethostname(info->host, sizeof info->host - 1) != 0) {
    netcore::CopyField(info->host, sizeof info->host, "unknown host");
    return 0;
  }
  info->host[sizeof info->host - 1] = '\0';
  return 1;
}

int bTcpipNotActive(int verbose) {
  char name[256] = {};
  int rc = gethostname(name, sizeof name - 1);
  if (rc == 0) return 0;
  int err = errno;
  if (verbose) {
    char now[64];
    netcore::NowText(now, sizeof now);
    std::printf("Date: %s", now);
    std::printf("SOCKSIN: bTcpipNotActive() = %s; gethostname() RC(%d) errno(%d) nodename(%s)\n",
                "ITRUE", rc, err, name);
  }
  return 1;
}

int bWaitForTcpip(int verbose, const char* program) {
  if (bTcpipNotActive(1) == 0) return 0;
  const char* name = program != nullptr ? program : "";
  char now[64];
  for (int period = 0;; ++period) {
    netcore::NowText(now, sizeof now);
    std::printf(" \nDate: %s", now);
    std::printf("TLX1157I %s Waiting for TCP/IP to become active", name);
    std::printf("\n");
    std::fflush(stdout);
    for (int test = 0; test < 60; ++test) {
      sleep(5);
      if (bTcpipNotActive(verbose || (period > 0 && test == 0)) == 0) {
        netcore::NowText(now, sizeof now);
        std::printf(" \nDate: %s", now);
        std::printf("TLX1158I TCP/IP now active, initialization will proceed for %s", name);
        std::printf("\n");
        std::fflush(stdout);
        sleep(5);
        return 0;
      }
    }
  }
}

}  // extern "C"
