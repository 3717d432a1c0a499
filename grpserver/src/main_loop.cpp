// main_loop.cpp: the serve loop and its steps.
//
// Divisions:
//   1. Flags and the post table's rule
//   2. Late writes and accepts
//   3. Reading the ready connections
//   4. Disconnects and reconnects
//   5. The loop with its timers
#include "main_loop.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "client_io.h"
#include "client_table.h"
#include "dispatch.h"
#include "entry_connection.h"
#include "node_work.h"
#include "pcf_util.h"
#include "report.h"
#include "service.h"

namespace grpserver {
namespace {

constexpr int kWaitSeconds = 2;
constexpr int kNodeCommandSeconds = 60;

bool IsBlank(const char* text, size_t width) {
  for (size_t i = 0; i < width; ++i) {
    if (text[i] != ' ') return false;
  }
  return true;
}

void ReportUnrecoverable(const char* where, int position, mqnMQNodeData* node) {
  ReportError(Format("IGE0034: Unrecoverable error while processing %s(Node#%d)!\n", where, position), kError,
              Server().options.console_mode);
  if (node != nullptr) {
    std::printf("Node: host(%s) peer(%s:%s) handle(%d) lastError(%d)\n", node->host, node->socket.peer.ip,
                node->socket.peer.service, node->socket.handle, node->lastError);
  }
}

// Errors that never close a connection: would block, in progress, no
// buffer space, and a body that could not be converted (the frame was
// consumed whole, so the stream is still in step).
bool IsTransient(int error) {
  return error == MN_ERR_BAD_BODY || error == MN_ERR_WOULD_BLOCK || error == 10055 || error == 10036;
}

}  // namespace

// ---------------------------------------------------------------------------
// 1. Flags and the post table's rule

bool IsReadEntry(const ClientEntry& entry) {
  return !IsBlank(entry.application_name, 48) || entry.discovery_period_s >= 1;
}

void FlagDisconnect(ClientEntry* entry, const char* user, int reason, int command) {
  entry->disconnect_requested = 1;
  entry->disconnect_reason = reason;
  entry->disconnect_command = command;
  std::snprintf(entry->user, sizeof entry->user, "%.12s", user != nullptr ? user : "");
}

// ---------------------------------------------------------------------------
// 2. Late writes and accepts

int ServeLateIO(mqnMQNodeData** list) {
  for (int i = 0; list[i] != nullptr; ++i) {
    mqnMQNodeData* node = list[i];
    auto* entry = static_cast<ClientEntry*>(node->context);
    if (entry == nullptr) {
      ReportUnrecoverable("ServeLateIO", i, node);
      return 0;
    }
    if (node->mode == MQNODE_MODE_CLIENT && !mnIsPendingIO(node) && entry->connection_id == 0) {
      // An outgoing connection whose connect has just completed.
      StartEvents(entry, 1, 0);
    } else if (mnIsPendingIO(node)) {
      mnFinishWrite(node);
    }
  }
  return 1;
}

int AcceptConnection(mqnMQNodeData** server_list) {
  GroupServer& s = Server();
  mqnMQNodeData* server = server_list[0];
  if (server == nullptr) return 0;
  if (mnOpen(server) != 1 || server->accepted == nullptr) return 0;
  mqnMQNodeData* node = server->accepted;
  server->accepted = nullptr;
  NoblockSocket(&node->socket);
  ++s.consoles_connected;

  ClientEntry* entry = nullptr;
  for (int i = 0; i < s.limits.first_node_entry; ++i) {
    if (s.Entry(i)->connection == nullptr) {
      entry = s.Entry(i);
      break;
    }
  }
  ClientEntry overflow;
  ClientEntry* target = entry != nullptr ? entry : &overflow;
  *target = ClientEntry{};
  target->connection = node;
  target->counted = true;
  node->context = target;
  node->pendingLimit = 2000;
  SetSocketBufferSize(node, s.options.buffer_bytes);
  SocketAddress peer{};
  GetSocketName(&node->socket, &peer);
  std::snprintf(target->manager_name, sizeof target->manager_name, "%s", s.group.c_str());
  std::snprintf(target->node_name, sizeof target->node_name, "%s", node->socket.peer.ip);
  std::snprintf(target->application_name, sizeof target->application_name, "%u", node->socket.peer.port);
  target->processing_time_ms = 10000;
  target->command_count = 1;
  target->trusted = 0;
  std::snprintf(target->version, sizeof target->version, "%s", kVersionText);
  target->connected_at = std::time(nullptr);

  if (entry == nullptr) {
    // Every console entry is taken: tell the peer why, then close.
    mqPcfMessage* note = CreatePcfMessage(EXCMD_MANAGER_EVENT, MQCFT_EVENT, 1024);
    if (note != nullptr) {
      AddString(note, 20006, target->manager_name);
      AddString(note, 20007, target->node_name);
      AddString(note, 20016, target->application_name);
      AddString(note, MQCACF_USER_IDENTIFIER, "SYSTEM");
      AddInt(note, 20125, 0);
      AddInt(note, 1020, kRcLimitOverflow);
      Reindex(note);
      note->Cfh->Reason = kRcClientDisconnected;
      SendToClient(note, target);
      DeletePcfMessage(note);
    }
    CloseEntryConnection(target, "SYSTEM", kRcLimitOverflow, 0, 0);
    return 0;
  }
  entry->connection_id = s.next_connection_id++;
  if (s.trace_mode) ReportManagerEvent(entry, "SYSTEM", 0, kRcClientConnected, 0, 0);
  return 1;
}

// ---------------------------------------------------------------------------
// 3. Reading the ready connections

int ServeClients(mqnMQNodeData** ready_list, mqPcfMessage* request, mqPcfMessage* response) {
  GroupServer& s = Server();
  ResetPcfMessage(request, 0, MQCFT_COMMAND);
  for (int i = 0; ready_list[i] != nullptr; ++i) {
    mqnMQNodeData* node = ready_list[i];
    auto* entry = static_cast<ClientEntry*>(node->context);
    if (entry == nullptr) {
      ReportUnrecoverable("ServeClients", i, node);
      return 0;
    }
    if (entry->connection != node) continue;  // closed earlier in this pass
    if (IsReadEntry(*entry)) {
      if (ReadFromClient(request, entry) == 1) {
        ProcessMessage(entry, request, response);
        if (s.notification->Cfh->ParameterCount > 0) {
          FlushEventNotifications(s.notification, ConsoleEntries(), ConsoleCount(), 0);
          ResetPcfMessage(s.notification, 0, MQCFT_EVENT);
        }
      }
    }
    if (entry->connection != nullptr && entry->connection == node) {
      const int error = entry->connection->lastError;
      if (entry->connection->socket.type == 2) {
        // The UDP node serves everyone: a bad datagram is dropped, never a
        // reason to close the node.
        entry->connection->lastError = 0;
      } else if ((error >= 1 && !IsTransient(error)) || error == MN_ERR_NOT_AUTHENTIC) {
        // A frame that fails authentication ends the connection too.
        ReconnectNodeEntry(entry, error, request->Cfh != nullptr ? request->Cfh->Command : 0);
      }
    }
  }
  return 1;
}

// ---------------------------------------------------------------------------
// 4. Disconnects and reconnects

void DisconnectFlaggedEntries() {
  GroupServer& s = Server();
  auto close_flagged = [](ClientEntry* first, int count) {
    for (int i = 0; i < count; ++i) {
      ClientEntry* e = &first[i];
      if (e->connection == nullptr || !e->disconnect_requested) continue;
      char user[13];
      std::snprintf(user, sizeof user, "%s", e->user);
      CloseEntryConnection(e, user, e->disconnect_reason, e->disconnect_command, 1);
    }
  };
  close_flagged(ConsoleEntries(), ConsoleCount());
  close_flagged(s.NodeEntries(), NodeEntriesInUse());
}

void ReconnectNodeEntry(ClientEntry* entry, int socket_error, int command) {
  ClientEntry copy = *entry;
  const int attempts = entry->reconnect_attempts + 1;
  const bool report = attempts == 1 || attempts == entry->reconnect_limit;
  CloseEntryConnection(entry, "SYSTEM", socket_error, command, report ? 1 : 0);
  if (attempts > copy.reconnect_limit) return;
  if (ConnectNodeEntry(copy.manager_name, copy.node_name, copy.application_name, entry, 1) != 0) return;
  // Attempts add up until a connect succeeds (StartEvents resets them then).
  entry->reconnect_attempts = attempts;
  StartEvents(entry, 1, 1);
}

// ---------------------------------------------------------------------------
// 5. The loop with its timers

namespace {

void RunTimers() {
  GroupServer& s = Server();
  const std::time_t now = std::time(nullptr);
  if (!s.cycle_running && s.discovery_period_s > 0) {
    const int elapsed = static_cast<int>(now - s.timer_stamp);
    s.discovery_countdown_s = std::max(0, s.discovery_countdown_s - elapsed);
    s.node_command_countdown_s -= elapsed;
  }
  s.timer_stamp = now;
  if (s.shutdown_countdown_s > 0) {
    s.shutdown_countdown_s -= static_cast<int>(now - s.shutdown_stamp);
    s.shutdown_stamp = now;
    if (s.shutdown_countdown_s < 1) s.stop = true;
  }
}

// One pass; false when the pass loop should end (cycle ended or stop).
bool RunPass(std::vector<mqnMQNodeData*>& accept_ready, std::vector<mqnMQNodeData*>& read_ready,
             std::vector<mqnMQNodeData*>& write_ready) {
  GroupServer& s = Server();
  BuildPostTable();
  ResetPcfMessage(s.notification, 0, MQCFT_EVENT);
  const size_t room = s.post_table.size() + 1;
  accept_ready.assign(room, nullptr);
  read_ready.assign(room, nullptr);
  write_ready.assign(room, nullptr);
  int error = 0;
  if (CheckStopRequests()) return false;
  mnNPost(s.post_table.data(), accept_ready.data(), read_ready.data(), write_ready.data(), kWaitSeconds, &error);
  if (CheckStopRequests()) return false;
  RunTimers();
  if (ServeLateIO(write_ready.data()) != 1) {
    s.stop = true;
    return false;
  }
  AcceptConnection(accept_ready.data());
  if (ServeClients(read_ready.data(), s.request, s.response) != 1) {
    s.stop = true;
    return false;
  }
  DisconnectFlaggedEntries();
  const bool discovery = s.discovery_period_s > 0;
  if (discovery && !s.cycle_running && !s.broadcast_done && s.discovery_countdown_s < 31) {
    SendDiscoveryBroadcast();
    s.broadcast_done = true;
  }
  if (discovery && !s.cycle_running && s.discovery_countdown_s < 1) {
    if (!StartRefreshCycle()) {
      PrintDateLine();
      std::printf("IGE0015: GRPSERVER(\"%s\"): Unable to initiate Node Discovery\n", s.group.c_str());
      return false;
    }
    s.cycle_running = true;
  }
  if (s.cycle_running) {
    ResetPcfMessage(s.notification, 0, MQCFT_EVENT);
    const bool more = RunRefreshStep();
    if (s.notification->Cfh->ParameterCount > 0) {
      FlushEventNotifications(s.notification, ConsoleEntries(), ConsoleCount(), 0);
      ResetPcfMessage(s.notification, 0, MQCFT_EVENT);
    }
    if (!more) {
      s.cycle_running = false;
      return false;
    }
  } else if (discovery && s.node_command_countdown_s < 0) {
    IssuePeriodicNodeCommand();
    s.node_command_countdown_s = kNodeCommandSeconds;
  }
  return !s.stop;
}

}  // namespace

void RunMainLoop() {
  GroupServer& s = Server();
  s.timer_stamp = std::time(nullptr);
  std::vector<mqnMQNodeData*> accept_ready, read_ready, write_ready;
  while (!s.syncpoint_failed) {
    while (RunPass(accept_ready, read_ready, write_ready)) {
    }
    s.discovery_countdown_s = s.discovery_period_s;
    EndRefreshCycle();
    s.broadcast_done = false;
    int out = 0;
    if (DbSyncpoint(s.group.c_str(), &out) != 1) {
      s.syncpoint_failed = true;
      ReportError(Format("IGE0016: Unable to SyncPoint database for GROUP(\"%s\") RC(%d)\n", s.group.c_str(), out),
                  kError, 0);
      break;
    }
    if (s.stop) break;
  }
}

}  // namespace grpserver
