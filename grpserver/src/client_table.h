// client_table.h: lookups and housekeeping over the client table (see
// server_state.h for its layout): node entries by their three names,
// consoles by connection id, the post table, and closing ranges of entries.
//
// Ranges are given as a first entry and a count; every function stays
// inside its range. Main thread only.
#ifndef GRPSERVER_CLIENT_TABLE_H_
#define GRPSERVER_CLIENT_TABLE_H_

#include "server_state.h"

namespace grpserver {

// The relative index (from first) of the occupied entry whose manager, node
// and application names equal the three names (each blank-padded to 32, 48
// and 48 first), or -1.
int FindNodeEntry(const char* manager, const char* node, const char* qmgr, ClientEntry* first,
                  int count);

// The entry for these names: an existing one when any entry of the whole
// range matches (so a freed slot before it never makes a second connection
// to the same queue manager), else a free entry, which gets a new
// client-mode node to the node's address from its MQNODES record. Returns
// the relative index, or -1 when there is no node record (IGE0007) or no
// free entry. The connect itself is started later (OpenEntryConnection).
int ConnectNodeEntry(const char* manager, const char* node, const char* qmgr, ClientEntry* first,
                     int count);

// The occupied entry of the range with this connection id, or null.
ClientEntry* FindEntryByConnectionId(int32_t connection_id, ClientEntry* first, int count);

// Rebuilds Server().post_table: the UDP node first, then the connection of
// every occupied entry in index order, then null.
void BuildPostTable();

// Closes every occupied entry of the range (user "SYSTEM", reason 20008,
// no notification).
void CloseEntryRange(ClientEntry* first, int count, int command);
// The same for the occupied entries whose discovery period is below 1.
void CloseIdleNodeEntries(ClientEntry* first, int count, int command);

// Number of node entries a walk over "the node entries in use" covers.
int NodeEntriesInUse();

// The range of consoles: first and count.
inline ClientEntry* ConsoleEntries() { return Server().Entry(1); }
inline int ConsoleCount() { return Server().limits.max_group_clients; }

// True when the entry's application name starts with a digit (a console:
// its application name is the peer's port).
bool IsConsoleEntry(const ClientEntry& entry);

}  // namespace grpserver

#endif  // GRPSERVER_CLIENT_TABLE_H_
