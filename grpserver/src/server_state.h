// server_state.h: the group manager's process-wide state: its settings, the
// group record, the client table with its limits, the post table, the
// counters and the loop's timers.
//
// Rules:
//  - One instance (Server()), used by the main thread only. Signal handlers
//    never touch it: they record the signal (os/stop_signals.h) and the loop
//    turns that into a stop request between two steps.
//  - The client table is allocated once per run (LoadGroupRecord) and never
//    resized, so a ClientEntry* stays valid until CloseGroupConnections; a
//    node's context points back at its entry.
//  - An entry is free when its connection is null; closing zeroes the entry.
//
// Layout of the client table (one definition, used everywhere):
//   index 0                                the TCP server's own entry
//   1 .. max_group_clients                 consoles (accepted connections)
//   first_node_entry .. + node_entry_count node entries (connections to
//                                          agents): one control connection
//                                          per managed node and one per
//                                          monitored queue manager, so
//                                          node_entry_count = max_qmgr_threads
//                                          + max_managed_nodes
//   last                                   never used (end mark)
#ifndef GRPSERVER_SERVER_STATE_H_
#define GRPSERVER_SERVER_STATE_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include <groupdb/groupdb.h>
#include <netcore/netcore.h>
#include <pcfcore/pcfcore.h>
#include <signcore/signcore.h>

#include "options.h"

namespace grpserver {

// The server's version, as it prints it and stores it in records.
inline constexpr const char* kVersionMajor = "3";
inline constexpr const char* kVersionMinor = "6";
inline constexpr const char* kVersionBuild = "0012";
inline constexpr const char* kVersionText = "3.6.0012";
inline constexpr const char* kServiceName = "HRLCompactServer";
inline constexpr const char* kDisplayName = "Harrowline Compact Server";

inline constexpr int kGroupNameWidth = 32;
inline constexpr int kNodeNameWidth = 48;
inline constexpr int kMaxObjInstances = 5000;

// Reasons the server gives that have no name in mqi.h.
inline constexpr int kRcNodeNotConnected = 20301;
inline constexpr int kRcCommandInProgress = 20107;
inline constexpr int kRcNotTrusted = 20507;
inline constexpr int kRcClientConnected = 20103;
inline constexpr int kRcClientDisconnected = 20104;
inline constexpr int kRcObjectAttached = 20101;
inline constexpr int kRcObjectDetached = 20102;
inline constexpr int kRcSessionClosed = 20007;
inline constexpr int kRcSystemClose = 20008;
inline constexpr int kRcLimitOverflow = 20009;

struct ClientEntry {
  int32_t connection_id = 0;        // consoles: sequence from 1; node entries 0
  int32_t event_mask = 0;
  int32_t update_interval_s = 0;
  int32_t command_timeout_s = 0;
  int32_t heartbeat_interval_s = 0;
  int32_t discovery_period_s = 0;   // blank application name: read only while >= 1
  int32_t processing_time_ms = 0;
  int32_t command_count = 0;
  int32_t reconnect_attempts = 0;
  int32_t reconnect_limit = 0;
  int32_t trusted = 0;
  char version[15] = {};
  char user[13] = {};
  char manager_name[33] = {};
  char node_name[49] = {};
  char application_name[49] = {};
  int32_t disconnect_requested = 0;
  int32_t disconnect_reason = 0;
  int32_t disconnect_command = 0;
  std::time_t last_read = 0;
  std::time_t connected_at = 0;
  int32_t failed_responses = 0;
  int32_t refused_writes = 0;
  char peer_host[49] = {};
  mqnMQNodeData* connection = nullptr;
  bool counted = false;             // raised a connection counter when opened
  // Event monitoring of a node entry.
  int32_t state = 0;                // 0 not started, 1 started
  std::time_t last_heartbeat = 0;
  char peer_version[15] = {};
  int32_t pending_commands = 0;
};

// Limits of a run, from the group record at the first load, clamped.
struct Limits {
  int max_group_clients = 0;
  int max_managed_nodes = 255;
  int max_q_mgrs_per_node = 0;
  int max_qmgr_threads = 0;
  int max_total_conns = 0;
  int first_node_entry = 0;
  int node_entry_count = 0;
};

// Clamps the three limits of a group record to what the server can hold and
// derives the rest. Values below 1 (or not numbers: pass 0) take the
// defaults; values above the ceilings take the ceilings.
Limits ComputeLimits(long long max_clients, long long max_nodes, long long max_q_mgrs_per_node);
inline constexpr int kDefaultMaxClients = 50;
inline constexpr int kCeilingMaxClients = 999;
inline constexpr int kDefaultMaxNodes = 255;
inline constexpr int kCeilingMaxNodes = 300;
inline constexpr int kDefaultQMgrsPerNode = 10;
inline constexpr int kCeilingQMgrsPerNode = 64;

struct GroupServer {
  GroupOptions options;
  std::string install_dir;
  std::string group;          // as given (no padding)
  char group_padded[33] = {}; // blank-padded to 32: MANAGER_NAME
  mqcSignature credential = nullptr;

  GroupDbRecord group_record{};
  Limits limits;
  bool tables_allocated = false;
  std::vector<ClientEntry> table;             // max_total_conns + 1 entries
  ClientEntry udp_entry;
  mqnMQNodeData* udp_node = nullptr;
  std::vector<mqnMQNodeData*> post_table;     // rebuilt before every wait
  int discovery_period_s = 0;
  int trace_mode = 0;

  // Counters of the run.
  int consoles_connected = 0;
  int nodes_connected = 0;
  int node_entries_in_use = 0;  // high-water mark, counted from first_node_entry
  long commands_received = 0;
  long responses_ok = 0;
  long responses_failed = 0;
  int32_t next_connection_id = 1;

  // Stop requests and the shutdown countdown.
  bool stop = false;
  bool syncpoint_failed = false;
  int shutdown_countdown_s = 0;
  std::time_t shutdown_stamp = 0;

  // Timers of the main loop.
  int discovery_countdown_s = 30;
  int node_command_countdown_s = 60;
  bool cycle_running = false;
  bool broadcast_done = false;
  std::time_t timer_stamp = 0;

  // The messages the run function creates and the loop reuses.
  mqPcfMessage* notification = nullptr;  // type 7, shared with event flushing
  mqPcfMessage* response = nullptr;
  mqPcfMessage* request = nullptr;

  ClientEntry* Entry(int index) { return &table[static_cast<size_t>(index)]; }
  ClientEntry* NodeEntries() { return Entry(limits.first_node_entry); }
};

GroupServer& Server();
// Puts the process-wide state back to its start (tests).
void ResetServerState();

// total + amount, kept within 0 and INT32_MAX: the counters and times a
// peer's commands and replies add to must never wrap (a node's reply
// carries its own elapsed time, which may be any number).
inline int32_t AddSaturated(int32_t total, long long amount) {
  const long long sum = static_cast<long long>(total) + amount;
  return static_cast<int32_t>(sum < 0 ? 0 : sum > INT32_MAX ? INT32_MAX : sum);
}

// Copies src into a field of width chars (+ NUL), padding with blanks.
void PadCopy(char* field, int width, const char* src);
// Text without its blanks (all of them, as the suite's paths want).
std::string WithoutBlanks(const char* text);

}  // namespace grpserver

#endif  // GRPSERVER_SERVER_STATE_H_
