// node_work.cpp: the loop's work on the nodes, as far as this build has it.
#include "node_work.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "client_io.h"
#include "client_table.h"
#include "dispatch.h"
#include "entry_connection.h"
#include "pcf_util.h"

namespace grpserver {

bool StartRefreshCycle() { return true; }

bool RunRefreshStep() { return false; }

void EndRefreshCycle() {}

void SendDiscoveryBroadcast() {}

void IssuePeriodicNodeCommand() {}

int StartEvents(ClientEntry* first, int count, int non_blocking) {
  for (int i = 0; i < count; ++i) {
    ClientEntry* e = &first[i];
    if (e->connection == nullptr || e->state != 0) continue;
    if (non_blocking) NoblockSocket(&e->connection->socket);
    if (OpenEntryConnection(e, " ", 0, 1) == 1) {
      e->state = 1;
      e->last_heartbeat = std::time(nullptr);
      // A good connect ends a run of failures: only failures in a row count
      // against the reconnect limit.
      e->reconnect_attempts = 0;
    } else if (e->connection != nullptr && e->connection->lastError != 0 &&
               e->connection->lastError != MN_ERR_WOULD_BLOCK) {
      CloseEntryConnection(e, "SYSTEM", e->connection->lastError, 0, 1);
    }
  }
  return 1;
}

int ProcessNodeResponse(ClientEntry* entry, mqPcfMessage* response) {
  unsigned char* header = response->Body.Storage;
  int32_t connection_id = 0;
  std::memcpy(&connection_id, header + kConnectionIdOffset, 4);
  if (connection_id <= 0) return 1;
  ClientEntry* console = FindEntryByConnectionId(connection_id, ConsoleEntries(), ConsoleCount());
  if (console == nullptr) return 1;
  if (auto tenths = GetInt(response, 20126)) {
    // The agent's elapsed time in tenths of a second; a negative one is
    // no time at all.
    console->processing_time_ms = AddSaturated(console->processing_time_ms, 100LL * std::max<MQLONG>(*tenths, 0));
  }
  if (console->command_count > 0) AddInt(response, 20410, console->processing_time_ms / console->command_count);
  AddString(response, 20006, entry->manager_name);
  AddString(response, 20007, entry->node_name);
  AddString(response, MQCA_Q_MGR_NAME, entry->application_name);
  Reindex(response);
  // The console gets its own request id back.
  std::memcpy(header + kConnectionIdOffset, header + kSavedRequestIdOffset, 4);
  std::memset(header + kSavedRequestIdOffset, 0, 4);
  return SendToClient(response, console);
}

void ReceiveEvent(ClientEntry* entry, mqPcfMessage* event, mqPcfMessage* notification) {
  (void)entry;
  if (event->Cfh == nullptr) return;
  if (event->Cfh->Command == EXCMD_HEART_BEAT) {
    if (entry != nullptr) {
      entry->last_heartbeat = std::time(nullptr);
      entry->reconnect_attempts = 0;
    }
    return;
  }
  CopyPcf(notification, event);
}

}  // namespace grpserver
