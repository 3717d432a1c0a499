// server_state.cpp: the one GroupServer of the process, the limits and two
// small text helpers.
#include "server_state.h"

#include <algorithm>
#include <cstring>

namespace grpserver {

GroupServer& Server() {
  static GroupServer* server = new GroupServer();
  return *server;
}

void ResetServerState() { Server() = GroupServer(); }

Limits ComputeLimits(long long max_clients, long long max_nodes, long long max_q_mgrs_per_node) {
  auto clamp = [](long long v, int fallback, int ceiling) {
    if (v < 1) return fallback;
    return static_cast<int>(std::min<long long>(v, ceiling));
  };
  Limits l;
  l.max_group_clients = clamp(max_clients, kDefaultMaxClients, kCeilingMaxClients);
  l.max_managed_nodes = clamp(max_nodes, kDefaultMaxNodes, kCeilingMaxNodes);
  l.max_q_mgrs_per_node = clamp(max_q_mgrs_per_node, kDefaultQMgrsPerNode, kCeilingQMgrsPerNode);
  l.max_qmgr_threads = l.max_q_mgrs_per_node * l.max_managed_nodes;
  l.node_entry_count = l.max_qmgr_threads + l.max_managed_nodes;
  l.max_total_conns = l.max_managed_nodes + l.max_qmgr_threads + l.max_group_clients + 1;
  l.first_node_entry = l.max_group_clients + 1;
  return l;
}

void PadCopy(char* field, int width, const char* src) {
  size_t n = src == nullptr ? 0 : strnlen(src, static_cast<size_t>(width));
  if (n > 0) std::memcpy(field, src, n);
  std::memset(field + n, ' ', static_cast<size_t>(width) - n);
  field[width] = '\0';
}

std::string WithoutBlanks(const char* text) {
  std::string out;
  for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
    if (*p != ' ') out += *p;
  }
  return out;
}

}  // namespace grpserver
