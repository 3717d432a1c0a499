// client_io.h: the read and write wrappers every handler uses to talk to a
// client-table entry. Each switches the socket to non-blocking for the one
// call, so a slow peer never stalls the loop: a read that would block keeps
// its partial frame in the node, a write that would block is queued in the
// node and finished by the loop when the socket can take more.
//
// Every read and write passes the authentication switch (+a) and the
// signing credential. Main thread only.
#ifndef GRPSERVER_CLIENT_IO_H_
#define GRPSERVER_CLIENT_IO_H_

#include "server_state.h"

namespace grpserver {

// Reads the next whole message of the entry into message: 1 when one was
// read (then the entry's user, peer host and last-read time are updated).
int ReadFromClient(mqPcfMessage* message, ClientEntry* entry);
// Writes message on the entry's connection; the result of the signed write.
int SendToClient(mqPcfMessage* message, ClientEntry* entry);
// As SendToClient with the high-priority write (requests forwarded to nodes).
int SendToClientHigh(mqPcfMessage* message, ClientEntry* entry);
// Writes a datagram on the entry's (UDP) node to address.
int SendToUdpAddress(mqPcfMessage* message, ClientEntry* entry, SocketAddress* address);
// Sets the socket buffers of node when bytes > 0 (IGE0033 on failure).
void SetSocketBufferSize(mqnMQNodeData* node, int bytes);

}  // namespace grpserver

#endif  // GRPSERVER_CLIENT_IO_H_
