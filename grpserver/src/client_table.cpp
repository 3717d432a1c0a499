// client_table.cpp: node-entry lookup and connection, console lookup, the
// post table, and closing ranges of entries.
#include "client_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <pcfcore/text.h>

#include "entry_connection.h"
#include "main_loop.h"
#include "report.h"

namespace grpserver {
namespace {

struct PaddedNames {
  char manager[33];
  char node[49];
  char qmgr[49];
};

PaddedNames Pad(const char* manager, const char* node, const char* qmgr) {
  PaddedNames n;
  PadCopy(n.manager, kGroupNameWidth, manager);
  PadCopy(n.node, kNodeNameWidth, node);
  PadCopy(n.qmgr, kNodeNameWidth, qmgr);
  return n;
}

bool Matches(const ClientEntry& e, const PaddedNames& n) {
  return e.connection != nullptr && std::strcmp(e.manager_name, n.manager) == 0 &&
         std::strcmp(e.node_name, n.node) == 0 && std::strcmp(e.application_name, n.qmgr) == 0;
}

void CopyTrimmed(char* out, size_t size, const GroupDbRecord& record, int field) {
  char value[GROUPDB_MAX_RECORD];
  DbGetField(&record, field, value, sizeof value);
  std::string text = WithoutBlanks(value);
  std::snprintf(out, size, "%s", text.c_str());
}

}  // namespace

bool IsConsoleEntry(const ClientEntry& entry) {
  return entry.application_name[0] >= '0' && entry.application_name[0] <= '9';
}

int FindNodeEntry(const char* manager, const char* node, const char* qmgr, ClientEntry* first, int count) {
  const PaddedNames names = Pad(manager, node, qmgr);
  for (int i = 0; i < count; ++i) {
    if (Matches(first[i], names)) return i;
  }
  return -1;
}

int ConnectNodeEntry(const char* manager, const char* node, const char* qmgr, ClientEntry* first, int count) {
  GroupServer& s = Server();
  const PaddedNames names = Pad(manager, node, qmgr);
  GroupDbRecord record{};
  record.Table = DBT_MQNODES;
  DbClearRecord(&record);
  DbSetField(&record, DBF_MANAGER_NAME, names.manager);
  DbSetField(&record, DBF_MQNODE_NAME, names.node);
  int out = 0;
  if (DbReadRecord(&record, GDB_READ_KEY, &out) != 1) {
    ReportError(Format("IGE0007: Node(%s.%s) not found in MQDB RC(%d)\n", names.manager, names.node, out), kWarning,
                0);
    return -1;
  }
  // A match anywhere in the range wins over a free slot met before it.
  for (int i = 0; i < count; ++i) {
    if (Matches(first[i], names)) return i;
  }
  int slot = -1;
  for (int i = 0; i < count && slot < 0; ++i) {
    if (first[i].connection == nullptr) slot = i;
  }
  if (slot < 0) return -1;

  SocketAddress address{};
  CopyTrimmed(address.host, sizeof address.host, record, DBF_MQNODE_HOST_NAME);
  long long use_dns = 0;
  if (!(DbGetFieldNumber(&record, DBF_MQNODE_USE_DNS, &use_dns) == 1 && use_dns != 0)) {
    CopyTrimmed(address.ip, sizeof address.ip, record, DBF_MQNODE_NET_ADDRESS);
  }
  CopyTrimmed(address.service, sizeof address.service, record, DBF_MQNODE_PORT_NO);
  std::snprintf(address.protocol, sizeof address.protocol, "tcp");
  if (address.host[0] == '\0') std::snprintf(address.host, sizeof address.host, "%s", address.ip);

  SocketOption keep_alive{2, 0, s.options.keep_alive ? 1 : 0};
  mqnMQNodeData* connection = CreateMQNodeWithOpt(&address, MQNODE_MODE_CLIENT, &keep_alive);
  if (connection == nullptr) return -1;
  ClientEntry* entry = &first[slot];
  *entry = ClientEntry{};
  entry->connection = connection;
  int absolute = static_cast<int>(entry - s.NodeEntries());
  if (absolute >= 0 && absolute + 1 > s.node_entries_in_use) {
    s.node_entries_in_use = std::min(absolute + 1, s.limits.node_entry_count);
  }
  connection->context = entry;
  long long limit = 0;
  DbGetFieldNumber(&record, DBF_MQNODE_CMD_LIMIT, &limit);
  connection->pendingLimit = static_cast<MQLONG>(limit > 0 && limit < 1000000 ? limit : 0);
  entry->reconnect_attempts = 0;
  entry->reconnect_limit = 10;
  std::memcpy(entry->manager_name, names.manager, sizeof names.manager);
  std::memcpy(entry->node_name, names.node, sizeof names.node);
  std::memcpy(entry->application_name, names.qmgr, sizeof names.qmgr);
  entry->trusted = 1;
  entry->disconnect_requested = 0;
  return slot;
}

ClientEntry* FindEntryByConnectionId(int32_t connection_id, ClientEntry* first, int count) {
  if (connection_id == 0) return nullptr;
  for (int i = 0; i < count; ++i) {
    if (first[i].connection != nullptr && first[i].connection_id == connection_id) return &first[i];
  }
  return nullptr;
}

void BuildPostTable() {
  GroupServer& s = Server();
  s.post_table.clear();
  if (s.udp_node != nullptr) s.post_table.push_back(s.udp_node);
  for (ClientEntry& e : s.table) {
    if (e.connection == nullptr) continue;
    // An open connection the loop would not read stays out of the wait; one
    // still connecting stays in, so that its completion is seen.
    if (e.connection->open && !IsReadEntry(e)) continue;
    s.post_table.push_back(e.connection);
  }
  s.post_table.push_back(nullptr);
}

void CloseEntryRange(ClientEntry* first, int count, int command) {
  for (int i = 0; i < count; ++i) {
    if (first[i].connection != nullptr) CloseEntryConnection(&first[i], "SYSTEM", kRcSystemClose, command, 0);
  }
}

void CloseIdleNodeEntries(ClientEntry* first, int count, int command) {
  for (int i = 0; i < count; ++i) {
    if (first[i].connection != nullptr && first[i].discovery_period_s < 1) {
      CloseEntryConnection(&first[i], "SYSTEM", kRcSystemClose, command, 0);
    }
  }
}

int NodeEntriesInUse() { return Server().node_entries_in_use; }

}  // namespace grpserver
