// entry_connection.cpp: opening and closing entry connections, the
// group-manager event about them, and event notifications to consoles.
#include "entry_connection.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "authority.h"
#include "client_io.h"
#include "client_table.h"
#include "pcf_util.h"
#include "report.h"

namespace grpserver {
namespace {

constexpr MQLONG kParamGroup = 20006;
constexpr MQLONG kParamNode = 20007;
constexpr MQLONG kParamObjectName = 20016;
constexpr MQLONG kParamPcfCommand = 20125;
constexpr MQLONG kParamQualifier = 1020;

int& CounterOf(const ClientEntry& entry) {
  GroupServer& s = Server();
  return IsConsoleEntry(entry) ? s.consoles_connected : s.nodes_connected;
}

}  // namespace

void PrintEntryNames(const ClientEntry& entry) {
  std::printf("-MANAGER(\"%s\")\n-MQNODE(\"%s\")\n-APPLNM(\"%s\")\n", entry.manager_name, entry.node_name,
              entry.application_name);
}

int OpenEntryConnection(ClientEntry* entry, const char* user, int command, int notify) {
  GroupServer& s = Server();
  mqnMQNodeData* node = entry->connection;
  if (node == nullptr) return 0;
  if (!node->open) mnOpen(node);
  SetSocketBufferSize(node, s.options.buffer_bytes);
  entry->connected_at = entry->last_read = std::time(nullptr);
  if (s.options.protocol_trace) {
    PrintEntryNames(*entry);
    std::printf("-STATUS(CONNECTED) RC(%d)\n\n", node->lastError);
  }
  // A connect in progress is counted now: the close lowers the counter.
  if (!entry->counted && (node->open || node->lastError == MN_ERR_WOULD_BLOCK)) {
    entry->counted = true;
    ++CounterOf(*entry);
  }
  if (!node->open) return 0;
  const bool console = IsConsoleEntry(*entry);
  if (notify && (!console || s.trace_mode)) {
    ReportManagerEvent(entry, user, command, console ? kRcClientConnected : kRcObjectAttached, node->lastError, 0);
  }
  return 1;
}

void CloseEntryConnection(ClientEntry* entry, const char* user, int reason, int command, int notify) {
  GroupServer& s = Server();
  if (s.options.protocol_trace) {
    PrintEntryNames(*entry);
    std::printf("-STATUS(DISCONNECTED) RC(%d)\n\n", reason);
  }
  if (entry->counted) {
    int& counter = CounterOf(*entry);
    if (counter > 0) --counter;
  }
  const bool console = IsConsoleEntry(*entry);
  if (notify && (s.trace_mode || (reason != 0 && !console))) {
    ReportManagerEvent(entry, user, command, console ? kRcClientDisconnected : kRcObjectDetached, reason, 0);
  }
  if (entry->connection != nullptr) DeleteMQNode(entry->connection);
  *entry = ClientEntry{};
}

void ReportManagerEvent(ClientEntry* entry, const char* user, int command, int reason, int qualifier, int force) {
  GroupServer& s = Server();
  if (command == MQCMD_INQUIRE_CHANNEL_STATUS && (qualifier == 3065 || qualifier == 3008)) return;
  if (s.notification == nullptr) return;
  mqPcfMessage* event = CreatePcfMessage(EXCMD_MANAGER_EVENT, MQCFT_EVENT, 1024);
  if (event == nullptr) return;
  AddString(event, kParamGroup, entry->manager_name);
  AddString(event, kParamNode, entry->node_name);
  AddString(event, kParamObjectName, entry->application_name);
  AddString(event, MQCACF_USER_IDENTIFIER, user != nullptr ? user : "");
  AddInt(event, kParamPcfCommand, command);
  AddInt(event, kParamQualifier, qualifier);
  Reindex(event);
  event->Cfh->Reason = reason;
  // The event goes to the consoles through the shared notification message.
  CopyPcf(s.notification, event);
  DeletePcfMessage(event);
  FlushEventNotifications(s.notification, ConsoleEntries(), ConsoleCount(), force);
  ResetPcfMessage(s.notification, 0, MQCFT_EVENT);
}

int EventFilterBit(int command, int mask) {
  int bit = 0;
  switch (command) {
    case EXCMD_MANAGER_EVENT: bit = 1; break;
    case EXCMD_ALTER_EVENT: bit = 2; break;
    case MQCMD_Q_MGR_EVENT: bit = 4; break;
    case MQCMD_CHANNEL_EVENT: bit = 8; break;
    case MQCMD_PERFM_EVENT: bit = 16; break;
    case EXCMD_STATE_EVENT: bit = 64; break;
    default: return 0;
  }
  return mask & bit;
}

void FlushEventNotifications(mqPcfMessage* notification, ClientEntry* first, int count, int force) {
  GroupServer& s = Server();
  if (!Reindex(notification)) return;
  const int command = notification->Cfh->Command;
  for (int i = 0; i < count; ++i) {
    ClientEntry* e = &first[i];
    if (e->connection == nullptr) continue;
    if (EventFilterBit(command, e->event_mask) == 0 && !force) continue;
    if (!MayUserSeeEvent(e->user, notification)) continue;
    SendToClient(notification, e);
    if (s.options.protocol_trace) {
      PrintDateLine();
      std::printf("\n-SENDING(EVENT_NOTIFICATION) TO :\n");
      PrintEntryNames(*e);
      std::printf("-STATUS(%d)\n\n", e->connection != nullptr ? e->connection->lastError : 0);
      PrintPcfMessage(notification);
    }
  }
}

}  // namespace grpserver
