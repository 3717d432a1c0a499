// node_internal.h: what the node files share: the write path, frame
// buffers and the node trace.
#ifndef NETCORE_NODE_INTERNAL_H_
#define NETCORE_NODE_INTERNAL_H_

#include <sys/uio.h>

#include "netcore/node.h"
#include "signcore/signcore.h"

namespace netcore {

// Calls the node's trace callback when it has one.
void NodeTrace(mqnMQNodeData* node, const char* operation);

// A new frame buffer (record tag "MQNODE") with size bytes of storage; null
// when no memory. size 0 gives an empty record (for mqc_sign to fill).
Buffer* NewFrame(int size);
// Frees a frame buffer and its storage.
void FreeFrame(Buffer* frame);

// Sends frame at once or queues it (TCP only); takes ownership of frame in
// every case. 1 when sent or queued, 0 with node->lastError otherwise.
int WriteToNode(mqnMQNodeData* node, Buffer* frame, SocketAddress* to, int high);

// The write path for a frame made of pieces that lie elsewhere (header,
// the message's own bytes, trailer): on a TCP node with nothing queued they
// are sent straight from where they lie, and only what the socket does not
// take is copied into a queued frame; otherwise they are joined into one
// frame for WriteToNode. Either way the pieces may change once it returns.
int WritePartsToNode(mqnMQNodeData* node, const iovec* parts, int count, SocketAddress* to,
                     int high);

// For a frame sent piece by piece: true when the node is a TCP node with
// nothing queued and room under its pending-write limit (else false, with
// node->lastError set when the limit refused it).
bool CanSendStraight(mqnMQNodeData* node);
// Ends a write whose first sent bytes of parts are on the wire: counts a
// whole frame, queues a copy of the rest when the socket took less, or
// reports the socket's error. 1 when sent or queued.
int FinishPartsWrite(mqnMQNodeData* node, const iovec* parts, int count, std::size_t sent);

// The node's side for signing and authenticating: its side field, and for
// a datagram node the local port its socket is bound to (0 when unbound).
mqcFrameSide FrameSideOf(const mqnMQNodeData* node);

// The node's receive-buffer size at rest for a framing: the whole capacity
// on a UDP node, else the header length.
int RestingSize(const mqnMQNodeData* node, int header_length);

}  // namespace netcore

#endif  // NETCORE_NODE_INTERNAL_H_
