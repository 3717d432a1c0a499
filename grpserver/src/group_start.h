// group_start.h: starting and closing the group: the signing credential,
// the database with its recovery ladder, the group record with the limits
// and tables it sizes, the TCP and UDP server nodes; and closing all of it
// at shutdown. Main thread only.
#ifndef GRPSERVER_GROUP_START_H_
#define GRPSERVER_GROUP_START_H_

#include "server_state.h"

namespace grpserver {

// Where the servers listen: $HRLCOMPACT_BIND_ADDRESS when set (tests and a
// host that should serve one interface only use "127.0.0.1"), else "*" for
// every interface.
inline constexpr const char* kListenHostVariable = "HRLCOMPACT_BIND_ADDRESS";

// 1 when both server nodes exist; error gets the failing step's code.
int StartGroup(const char* group, int* error);
// Opens the database through the recovery ladder (IGE messages); 1 when open.
int OpenGroupDatabase(const char* group, int* out);
// Reads and stamps the group record; at the first load also sizes and
// allocates the tables. Non-zero when the record exists.
int LoadGroupRecord(const char* group, int first_load);
// Closes every connection and the database, deletes the UDP node and frees
// the tables.
void CloseGroupConnections();

// Imports "<install>/config/groups/<group>.info" once (group settings and
// node definitions), then moves it into the group's history directory.
void ImportInfoFile(const char* group);
void ImportGroupSettings(const char* ini_name, const char* group);
void ImportNodeDefinitions(const char* ini_name, const char* group);

}  // namespace grpserver

#endif  // GRPSERVER_GROUP_START_H_
