// group_start.cpp: the group start (credential, database, group record,
// tables, server nodes) and the closing of everything at shutdown.
//
// Divisions:
//   1. Database open with recovery
//   2. Group record and tables
//   3. Server nodes and the start sequence
//   4. Closing
#include "group_start.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "client_io.h"
#include "client_table.h"
#include "entry_connection.h"
#include "report.h"

namespace grpserver {
namespace {

void DbReport(const char* text, int severity, int show) { ReportError(text, severity, show); }
void DbPrint(const char* text) { std::fputs(text, stdout); }

std::string FieldText(const GroupDbRecord& record, int field) {
  char value[GROUPDB_MAX_RECORD];
  if (DbGetField(&record, field, value, sizeof value) != 1) return std::string();
  return value;
}

std::string ListenHost() {
  const char* host = std::getenv(kListenHostVariable);
  return host != nullptr && *host != '\0' ? host : "*";
}

}  // namespace

// ---------------------------------------------------------------------------
// 1. Database open with recovery

int OpenGroupDatabase(const char* group, int* out) {
  DbSetReportHook(DbReport);
  DbSetPrintHook(DbPrint);
  DbSetInstallDir(Server().install_dir.c_str());
  // The ladder (IGE0001 to IGE0006, IGE0036 to IGE0040) and the backup after
  // a good open are the database's own; its messages come back through the
  // hooks above.
  int rc = DbOpenWithRecovery(group, out);
  std::fflush(stdout);
  return rc;
}

// ---------------------------------------------------------------------------
// 2. Group record and tables

int LoadGroupRecord(const char* group, int first_load) {
  GroupServer& s = Server();
  const std::time_t now = std::time(nullptr);
  GroupDbRecord& r = s.group_record;
  r = GroupDbRecord{};
  r.Table = DBT_MANAGERS;
  DbClearRecord(&r);
  PadCopy(s.group_padded, kGroupNameWidth, group);
  DbSetField(&r, DBF_MANAGER_NAME, s.group_padded);
  int out = 0;
  if (DbReadRecord(&r, GDB_READ_KEY, &out) != 1) return 0;

  SysInfo info{};
  std::string host = GetSysInfo(&info) == 1 ? WithoutBlanks(info.host) : "localhost";
  if (host.empty()) host = "localhost";
  DbSetField(&r, DBF_MANAGER_NODE_NAME, host.substr(0, 48).c_str());
  DbSetFieldNumber(&r, DBF_MANAGER_PROCESS_ID, getpid());
  DbSetField(&r, DBF_MANAGER_VERSION, kVersionText);
  if (first_load) DbSetFieldTime(&r, DBF_MANAGER_START_TIME, now);
  DbSetFieldTime(&r, DBF_MANAGER_LAST_UPDATED, now);
  DbSetField(&r, DBF_MANAGER_STATE, "4");
  if (DbWriteRecord(&r, GDB_WRITE_REWRITE, &out) != 1) {
    ReportError(Format("Unable to update the record of Group(\"%s\") RC(%d).\n", group, out), kWarning, 0);
  }

  if (!s.tables_allocated) {
    long long clients = 0, nodes = 0, qmgrs = 0;
    DbGetFieldNumber(&r, DBF_MANAGER_MAX_CLIENTS, &clients);
    DbGetFieldNumber(&r, DBF_MANAGER_MAX_MQNODES, &nodes);
    DbGetFieldNumber(&r, DBF_MANAGER_MAX_Q_MGRS_NODE, &qmgrs);
    s.limits = ComputeLimits(clients, nodes, qmgrs);
    s.table.assign(static_cast<size_t>(s.limits.max_total_conns) + 1, ClientEntry{});
    s.post_table.reserve(static_cast<size_t>(s.limits.max_total_conns) + 2);
    s.tables_allocated = true;
  }

  long long minutes = 0;
  DbGetFieldNumber(&r, DBF_MANAGER_DISCOVERY_PERIOD, &minutes);
  long long period = minutes * 60;
  int new_period = period < 1 ? 0 : static_cast<int>(std::min<long long>(period, 1000000000LL));
  if (!first_load && new_period != s.discovery_period_s) s.discovery_countdown_s = new_period;
  s.discovery_period_s = new_period;
  long long trace = 0;
  DbGetFieldNumber(&r, DBF_MANAGER_TRACE_MODE, &trace);
  s.trace_mode = trace != 0 ? 1 : 0;
  if (s.options.protocol_trace) {
    std::printf("-MANAGER(\"%s\")\n-PERIOD(%d (sec))\n-STATUS(LOADED)\n\n", s.group_padded, s.discovery_period_s);
  }
  return 1;
}

// ---------------------------------------------------------------------------
// 3. Server nodes and the start sequence

int StartGroup(const char* group, int* error) {
  GroupServer& s = Server();
  *error = 0;
  if (mqc_get_signature(&s.credential) != 1) {
    ReportError(Format("Unable to obtain the signing credential: %s\n", mqc_signature_error()), kError,
                s.options.console_mode);
    *error = MN_ERR_SIGN_REFUSED;
    return 0;
  }
  int out = 0;
  if (OpenGroupDatabase(group, &out) != 1) {
    *error = out;
    return 0;
  }
  ImportInfoFile(group);
  if (LoadGroupRecord(group, 1) == 0) {
    ReportError(Format("IGE0009: Unable to load Group(\"%s\").\n", group), kError, s.options.console_mode);
    ReportError(Format("IGE0010: Record for Group(\"%s\") not found.\n", group), kWarning, s.options.console_mode);
    *error = GDB_RC_NO_GROUP;
    return 0;
  }

  const std::string node_name = FieldText(s.group_record, DBF_MANAGER_NODE_NAME);
  const std::string port = WithoutBlanks(FieldText(s.group_record, DBF_MANAGER_PORT_NO).c_str());
  const std::string listen = ListenHost();

  // TCP server: entry 0.
  SocketAddress tcp{};
  std::snprintf(tcp.host, sizeof tcp.host, "%s", listen.c_str());
  std::snprintf(tcp.service, sizeof tcp.service, "%s", port.c_str());
  std::snprintf(tcp.protocol, sizeof tcp.protocol, "tcp");
  ClientEntry* server_entry = s.Entry(0);
  std::snprintf(server_entry->manager_name, sizeof server_entry->manager_name, "%s", group);
  std::snprintf(server_entry->node_name, sizeof server_entry->node_name, "%.30s(%.16s)", node_name.c_str(),
                port.c_str());
  std::snprintf(server_entry->application_name, sizeof server_entry->application_name, "%s",
                s.options.alias.c_str());
  SocketOption reuse{1, 0, s.options.reuse_address ? 1 : 0};
  mqnMQNodeData* tcp_node = CreateMQNodeWithOpt(&tcp, MQNODE_MODE_SERVER, &reuse);
  if (tcp_node == nullptr || tcp_node->lastError != 0) {
    int reason = tcp_node != nullptr ? tcp_node->lastError : MN_ERR_NO_ROOM;
    ReportError(Format("IGE0008: Unable to establish TCP/IP server:\nHost = %s\nService = %s\nReason = %d\n",
                       tcp.host, tcp.service, reason),
                kError, s.options.console_mode);
    if (tcp_node != nullptr) DeleteMQNode(tcp_node);
    *error = reason;
    return 0;
  }
  tcp_node->context = server_entry;
  server_entry->connection = tcp_node;
  server_entry->trusted = 1;
  std::snprintf(server_entry->version, sizeof server_entry->version, "%s", kVersionText);

  // UDP server: its own entry outside the table.
  SocketAddress udp{};
  std::snprintf(udp.host, sizeof udp.host, "%s", listen.c_str());
  std::snprintf(udp.service, sizeof udp.service, "%d", std::atoi(port.c_str()));
  std::snprintf(udp.protocol, sizeof udp.protocol, "udp");
  ClientEntry& ue = s.udp_entry;
  ue = ClientEntry{};
  std::snprintf(ue.manager_name, sizeof ue.manager_name, "%s", group);
  std::snprintf(ue.node_name, sizeof ue.node_name, "%.30s(%.16s)", node_name.c_str(), udp.service);
  std::snprintf(ue.application_name, sizeof ue.application_name, "%s", s.options.alias.c_str());
  std::snprintf(ue.version, sizeof ue.version, "%s", kVersionText);
  ue.trusted = 1;
  s.udp_node = CreateUDPMQNodeWithOpt(&udp, nullptr);
  if (s.udp_node == nullptr || s.udp_node->lastError != 0) {
    int reason = s.udp_node != nullptr ? s.udp_node->lastError : MN_ERR_NO_ROOM;
    ReportError(Format("IGE0008: Unable to establish UDP server:\nHost = %s\nService = %s\nReason = %d\n", udp.host,
                       udp.service, reason),
                kError, s.options.console_mode);
    if (s.udp_node != nullptr) DeleteMQNode(s.udp_node);
    s.udp_node = nullptr;
    *error = reason;
    return 0;
  }
  SocketOption broadcast{5, 0, 1};
  SetSocketOptions(&s.udp_node->socket, &broadcast);
  s.udp_node->context = &ue;
  ue.connection = s.udp_node;

  SysInfo info{};
  GetSysInfo(&info);
  std::printf("\nGROUP(\"%s\")\nHOST(\"%s(%s)\")\nSERVICE(\"%s\")\n", group, info.host, tcp_node->address.ip,
              tcp_node->address.service);
  std::printf("TRANSPORT(TCP)\n");
  std::printf("\nGROUP(\"%s\")\nHOST(\"%s(%s)\")\nSERVICE(\"%s\")\n", group, info.host, s.udp_node->address.ip,
              s.udp_node->address.service);
  std::printf("TRANSPORT(UDP)\n");
  std::fflush(stdout);
  return 1;
}

// ---------------------------------------------------------------------------
// 4. Closing

void CloseGroupConnections() {
  GroupServer& s = Server();
  if (s.tables_allocated) {
    CloseEntryRange(s.Entry(0), s.limits.max_group_clients + 1, 0);
    CloseEntryRange(s.NodeEntries(), NodeEntriesInUse(), 0);
  }
  DbCloseLocked();
  if (s.udp_node != nullptr) DeleteMQNode(s.udp_node);
  s.udp_node = nullptr;
  s.udp_entry = ClientEntry{};
  s.table.clear();
  s.table.shrink_to_fit();
  s.post_table.clear();
  s.tables_allocated = false;
  s.node_entries_in_use = 0;
}

}  // namespace grpserver
