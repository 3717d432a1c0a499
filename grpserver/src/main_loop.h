// main_loop.h: the group manager's single-threaded serve loop: one wait on
// every connection per pass, late writes, accepts, one message read per
// ready connection, flagged disconnects, and the timed work (discovery,
// refresh cycle, periodic node command, shutdown countdown, syncpoint).
// Main thread only.
#ifndef GRPSERVER_MAIN_LOOP_H_
#define GRPSERVER_MAIN_LOOP_H_

#include "server_state.h"

namespace grpserver {

// Runs until the stop flag is set or a syncpoint fails.
void RunMainLoop();

int ServeLateIO(mqnMQNodeData** connection_list);
int AcceptConnection(mqnMQNodeData** server_list);
int ServeClients(mqnMQNodeData** ready_list, mqPcfMessage* request, mqPcfMessage* response);
// Closes the entries flagged for disconnection, consoles and node entries.
void DisconnectFlaggedEntries();
void ReconnectNodeEntry(ClientEntry* entry, int socket_error, int command);

// Flags an entry for closing at the loop's next safe point.
void FlagDisconnect(ClientEntry* entry, const char* user, int reason, int command);

// True when the loop reads this entry when it is ready: a control
// connection (blank application name) only while its discovery period is
// 1 or more. Entries it would not read are left out of the wait, so their
// input cannot make the wait return at once forever.
bool IsReadEntry(const ClientEntry& entry);

}  // namespace grpserver

#endif  // GRPSERVER_MAIN_LOOP_H_
