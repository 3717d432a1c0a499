// entry_connection.h: opening and closing the connection of a client-table
// entry, with the counters, the protocol trace lines and the group-manager
// event that tells the consoles about it; and sending event notifications
// to the consoles.
//
// Main thread only. An entry must not be closed while a handler above the
// caller still uses it: handlers flag it (disconnect_requested) and the loop
// closes it at a safe point.
#ifndef GRPSERVER_ENTRY_CONNECTION_H_
#define GRPSERVER_ENTRY_CONNECTION_H_

#include "server_state.h"

namespace grpserver {

// Opens the entry's connection when it is not open, sets its buffer size
// and stamps it. 1 when open (a non-blocking connect still in progress
// counts as not open: 0 with lastError 10035). notify: report the
// connection as a group-manager event.
int OpenEntryConnection(ClientEntry* entry, const char* user, int command, int notify);

// Closes the connection, lowers the counter, reports the disconnection when
// notify is set (always for a node connection with a reason, for consoles
// only in trace mode), frees the node and zeroes the entry.
void CloseEntryConnection(ClientEntry* entry, const char* user, int reason, int command, int notify);

// The group-manager event EXCMD_MANAGER_EVENT (8002) about an entry, sent
// to the consoles whose mask lets it through (all when force is set).
void ReportManagerEvent(ClientEntry* entry, const char* user, int command, int reason, int qualifier,
                        int force);

// The bit of a console's event mask that lets an event command through; 0
// for commands outside the table.
int EventFilterBit(int command, int mask);

// Sends notification to every console of the range whose mask lets its
// command through (every console when force is set).
void FlushEventNotifications(mqPcfMessage* notification, ClientEntry* first, int count, int force);

// Prints the three name lines of an entry (protocol trace blocks).
void PrintEntryNames(const ClientEntry& entry);

}  // namespace grpserver

#endif  // GRPSERVER_ENTRY_CONNECTION_H_
