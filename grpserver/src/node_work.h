// node_work.h: the work the main loop drives on the nodes: the refresh
// cycle, the discovery broadcast, the periodic node command, starting event
// monitoring on a node entry, the relay of node replies to consoles and the
// intake of events.
//
// The refresh walk, the broadcast and the database intakes are not part of
// this build yet: a cycle starts and ends at once, the broadcast and the
// periodic command send nothing, and events go straight to the consoles.
#ifndef GRPSERVER_NODE_WORK_H_
#define GRPSERVER_NODE_WORK_H_

#include "server_state.h"

namespace grpserver {

bool StartRefreshCycle();
// One step of the running cycle; false when the cycle has ended.
bool RunRefreshStep();
void EndRefreshCycle();
void SendDiscoveryBroadcast();
void IssuePeriodicNodeCommand();

// Starts event monitoring on the occupied entries of the range (opens their
// connections).
int StartEvents(ClientEntry* first, int count, int non_blocking);

// A response read on a node entry: relayed to the console whose connection
// id its header carries (bytes 16 to 19), with the request id bytes that
// forwarding replaced put back. 1 when nothing was relayed or the relay
// write succeeded.
int ProcessNodeResponse(ClientEntry* entry, mqPcfMessage* response);

// An event from an agent (or of the server's own): handed to the consoles
// through the notification message.
void ReceiveEvent(ClientEntry* entry, mqPcfMessage* event, mqPcfMessage* notification);

}  // namespace grpserver

#endif  // GRPSERVER_NODE_WORK_H_
