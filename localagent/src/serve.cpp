// The agent's run: credential, outer loop with the server nodes, the serve
// loop, and the orderly stop.

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <os/socket_errors.h>
#include <os/stop_signals.h>

#include "agent.h"
#include "agent_log.h"
#include "message_requests.h"
#include "stop_request.h"

namespace localagent {
namespace {

// The stop flag may be set by a connection thread; the loop looks at it
// at least this often.
constexpr int kServeWaitSeconds = 1;
constexpr const char kBindAddressVariable[] = "HRLCOMPACT_BIND_ADDRESS";

struct ServerNodes {
  mqnMQNodeData* tcp = nullptr;
  mqnMQNodeData* udp = nullptr;
  void Delete() {
    DeleteMQNode(tcp);
    DeleteMQNode(udp);
    tcp = udp = nullptr;
  }
};

// All interfaces, unless HRLCOMPACT_BIND_ADDRESS names the one address to
// serve on (a host with several networks, or tests that keep to loopback).
const char* BindHost() {
  const char* host = std::getenv(kBindAddressVariable);
  return host != nullptr && host[0] != '\0' ? host : "*";
}

// Waits up to seconds, waking early when a stop is requested.
void PauseUnlessStopping(AgentState& agent, int seconds) {
  for (int i = 0; i < seconds * 10 && !CheckStopRequest(agent); ++i) usleep(100 * 1000);
}

// One attempt at the TCP server node and the UDP node on the service port
// of all interfaces. 0, or the error of the node that failed (its message
// already logged) with *failed_udp telling which.
int TryBuildNodes(const Settings& settings, ServerNodes* nodes, bool* failed_udp) {
  SocketAddress address = settings.address;
  std::snprintf(address.host, sizeof address.host, "%s", BindHost());
  SocketOption option{1, settings.reuse_address ? 1 : 0, settings.reuse_address ? 1 : 0};
  nodes->tcp = CreateMQNodeWithOpt(&address, MQNODE_MODE_SERVER, &option);
  if (nodes->tcp == nullptr || nodes->tcp->lastError > 0) {
    int error = nodes->tcp != nullptr ? nodes->tcp->lastError : OS_WSAENOBUFS;
    *failed_udp = false;
    nodes->Delete();
    return error;
  }
  SocketAddress udp_address = address;
  std::snprintf(udp_address.protocol, sizeof udp_address.protocol, "udp");
  nodes->udp = CreateUDPMQNodeWithOpt(&udp_address, &option);
  if (nodes->udp == nullptr || nodes->udp->lastError > 0) {
    int error = nodes->udp != nullptr ? nodes->udp->lastError : OS_WSAENOBUFS;
    *failed_udp = true;
    nodes->Delete();
    return error;
  }
  return 0;
}

// Builds the server nodes, retrying a failed attempt up to the bind-retry
// count with a pause between attempts (a port still held by an agent that
// is going away is usually free a moment later). False when every attempt
// failed or a stop came first; the failure is logged.
bool BuildNodes(AgentState& agent, ServerNodes* nodes) {
  const Settings& settings = agent.settings();
  int error = 0;
  bool failed_udp = false;
  for (int attempt = 1; attempt <= settings.bind_retries; ++attempt) {
    error = TryBuildNodes(settings, nodes, &failed_udp);
    if (error == 0) return true;
    if (attempt < settings.bind_retries) {
      std::printf("LOCALAGENT: Could not bind port %s RC(%d), attempt %d of %d\n",
                  settings.address.service, error, attempt, settings.bind_retries);
      std::fflush(stdout);
      PauseUnlessStopping(agent, 1);
      if (agent.Stopping()) return false;
    }
  }
  LogError(failed_udp ? kIme0014 : kIme0001, error);
  LogError(kIme0013, error);
  return false;
}

void PrintIdentity(const AgentState& agent) {
  const Settings& s = agent.settings();
  std::printf("\nGROUPMASK(\"%s\")\n", s.group.c_str());
  if (!s.dns_suffix.empty()) {
    std::printf("HOST(\"%s.%s\")\n", agent.address.host, s.dns_suffix.c_str());
  } else {
    std::printf("HOST(\"%s\")\n", agent.address.host);
  }
  std::printf("HOSTALIAS(\"%s\")\n", s.alias.c_str());
  std::printf("SERVICE(\"%d\")\n", static_cast<int>(agent.address.port));
  std::printf("VERSION(\"%s\")\n", kVersion);
  std::fflush(stdout);
}

// Returns 1 to stop, 0 when TCP/IP went away and the nodes are to be
// built again.
int ServeLoop(AgentState& agent, ServerNodes& nodes, mqcSignature credential,
              ConnectionThreads& threads) {
  const Settings& settings = agent.settings();
  if (nodes.tcp == nullptr) return 1;
  // The bound socket's address and port; the host name stays the host's.
  SocketAddress bound{};
  GetSocketName(&nodes.tcp->socket, &bound);
  agent.address = settings.address;
  std::memcpy(agent.address.ip, bound.ip, sizeof agent.address.ip);
  agent.address.port = bound.port;
  PrintIdentity(agent);

  int reason = 0;
  if (!settings.verify_only) RegisterWithGroupManagers(agent, nodes.udp, credential, &reason);
  char extra[64];
  std::snprintf(extra, sizeof extra, " V%s PID(%d)", kVersion, static_cast<int>(getpid()));
  LogInfo(LogFormat(kImi0000, extra).c_str());
  std::snprintf(extra, sizeof extra, " %d", static_cast<int>(agent.address.port));
  LogInfo(LogFormat(kImi0009, extra).c_str());
  if (nodes.udp != nullptr) LogInfo(LogFormat(kImi0010, extra).c_str());
  time_t registered = time(nullptr);
  AnswerLimiter limiter;

  for (;;) {
    CheckStopRequest(agent);
    if (agent.Stopping() || settings.verify_only) {
      nodes.Delete();
      return 1;
    }
    threads.Reap();
    mqnMQNodeData* list[] = {nodes.tcp, nodes.udp, nullptr};
    mqnMQNodeData* accept_ready[3] = {};
    mqnMQNodeData* read_ready[3] = {};
    int error = 0;
    int ready = mnPost(list, accept_ready, read_ready, kServeWaitSeconds, &error);
    if (!ready && error != NET_ERR_TIMEOUT && error != 4 && error != OS_WSAEINTR) {
      std::printf("LOCALAGENT: Could not post TCP/UDP read for LM, RC(%d)\n", error);
      std::fflush(stdout);
      sleep(1);
      if (bTcpipNotActive(settings.trace)) {
        nodes.Delete();
        return 0;
      }
      LogError(kIme0002, nodes.tcp->lastError);
      nodes.Delete();
      return 1;
    }
    CheckStopRequest(agent);
    if (settings.reregister_seconds > 0 && time(nullptr) - registered >= settings.reregister_seconds) {
      RegisterWithGroupManagers(agent, nodes.udp, credential, &reason);
      registered = time(nullptr);
    }
    if (!ready || agent.Stopping()) continue;
    for (mqnMQNodeData** node = read_ready; *node != nullptr; ++node) {
      if (*node == nodes.udp) HandleDatagram(agent, nodes.udp, credential, limiter);
    }
    for (mqnMQNodeData** node = accept_ready; *node != nullptr; ++node) {
      if (*node == nodes.tcp && !ServeClient(agent, nodes.tcp, threads)) {
        LogError(kIme0003, nodes.tcp->lastError);
      }
    }
  }
}

}  // namespace

int RunOuterLoop(AgentState& agent, mqcSignature credential) {
  ConnectionThreads threads;
  int result = 0;
  for (;;) {
    VerifyQueueManagers(agent);
    CheckStopRequest(agent);
    if (agent.Stopping()) break;
    bWaitForTcpip(agent.settings().trace, "LOCALAGENT");
    ServerNodes nodes;
    if (!BuildNodes(agent, &nodes)) {
      result = agent.Stopping() ? 0 : 1;
      break;
    }
    if (ServeLoop(agent, nodes, credential, threads) == 1) break;
  }
  // Connections end after their current wait once the stop flag is set;
  // nothing they use is freed before they have.
  agent.RequestStop();
  threads.JoinAll();
  return result;
}

int RunAgent(AgentState& agent) {
  const Settings& settings = agent.settings();
  bWaitForTcpip(settings.trace, "LOCALAGENT");
  LogInit("stdout", settings.alias, settings.group, settings.address.service);
  mqcSignature credential = nullptr;
  if (!mqc_get_signature(&credential)) {
    LogInfo(kIme0015);
    LogClose();
    return 2;
  }
  MessageServer message_server;
  agent.message_server = &message_server;
  int result = RunOuterLoop(agent, credential);
  agent.message_server = nullptr;
  mqc_release_signature(&credential);
  if (result != 0) {
    LogClose();
    return result;
  }
  LogError(kImi0003, 0);
  LogClose();
  return 0;
}

}  // namespace localagent
