/*
 * node.h: nodes, the communication endpoints of the suite: a TCP client
 * connection, a TCP listening endpoint with the connections accepted on it,
 * or a UDP socket. The calling programs read and set the record's fields
 * directly.
 *
 * Ownership: Create*MQNode returns a record the caller frees with
 * DeleteMQNode. A server node's mnOpen hands each accepted connection over in
 * its accepted field; the caller owns that node from then on and deletes it
 * separately. Frames waiting in a node's pending queue belong to the node.
 *
 * Writes never block a non-blocking TCP node: what the socket does not take
 * is queued (at most pendingLimit frames when that is above 0) and sent by
 * mnFinishWrite when mnNPost reports the node write-ready. UDP writes are
 * never queued: the queue keeps no destination, so a datagram that would
 * block fails with 10035.
 *
 * Closing is graceful: queued frames are dropped but what the socket already
 * took is delivered (no linger-0 reset).
 *
 * No locks: a node, its accepted nodes and its queue are used by one thread
 * at a time. The default trace callback is process-wide, set at start-up.
 */
#ifndef NETCORE_NODE_H_
#define NETCORE_NODE_H_

#include <mqi/mqi.h>
#include <pcfcore/message.h>
#include <pcfcore/pcf_message.h>
#include <netcore/pending_queue.h>
#include <netcore/socket.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MQNODE_KIND 2
#define MQNODE_MODE_CLIENT 0
#define MQNODE_MODE_SERVER 1
/* The node's end of its conversation, in its side field. Signed frames
 * carry the writer's side, and a node refuses frames written by its own
 * side (a frame sent back to its writer): see <netcore/frame.h>. */
#define MQNODE_SIDE_CONNECTING 1 /* a TCP client node */
#define MQNODE_SIDE_ACCEPTING 2  /* a server node and the nodes it accepts */
#define MQNODE_SIDE_DATAGRAM 3   /* a UDP node */
/* Initial capacity of a node's receive buffer. */
#define MQNODE_RECEIVE_CAPACITY 16520

struct mqnMQNodeData;
typedef void (*mnTraceCallback)(const char* operation, struct mqnMQNodeData* node);

typedef struct mqnOperations {
  int (*mnOpen)(struct mqnMQNodeData* node);
  int (*mnClose)(struct mqnMQNodeData* node);
  int (*mnRead)(mqPcfMessage* msg, struct mqnMQNodeData* node);
  int (*mnBrowse)(mqPcfMessage* msg, struct mqnMQNodeData* node);
  int (*mnWrite)(mqPcfMessage* msg, struct mqnMQNodeData* node);
  int (*mnPost)(struct mqnMQNodeData** nodes, struct mqnMQNodeData** accept_ready,
                struct mqnMQNodeData** read_ready, int seconds, int* error);
} mqnOperations;

typedef struct mqnMQNodeData {
  MQLONG kind;              /* 2 */
  MQLONG mode;              /* 0 client (mnOpen connects), 1 server (accepts) */
  char host[256];           /* host text of the creation address */
  char platform[65];        /* "WIN32" */
  char user[13];            /* first 12 characters of the login name */
  char applName[49];        /* executable base name, upper case */
  SocketData socket;        /* its owner points back at this node */
  struct mqnMQNodeData* accepted;  /* last connection a server mnOpen accepted */
  MQLONG pendingLimit;      /* most queued writes; 0 or less: no limit */
  MQLONG pendingCount;      /* writes waiting in the queue */
  MQLONG framesWritten;     /* frames completely sent */
  MQLONG framesRead;        /* frames received into a message */
  MQLONG lastError;         /* code of the last failure, 0 after success */
  MQLONG open;              /* 1 connected, bound (UDP) or accepted */
  mqnOperations operations;
  mnTraceCallback trace;    /* called at each traced point when set */
  SocketAddress address;    /* creation address; port / bound address filled */
  PendingQueue* pending;    /* null when no write is waiting */
  Buffer receive;           /* frame assembly buffer */
  void* context;            /* the caller's; copied to accepted nodes */
  MQLONG side;              /* MQNODE_SIDE_*: set at creation, copied to accepted nodes */
} mqnMQNodeData;

/* A new TCP node (mode 0 client, 1 server: bound to address and listening
 * with a backlog of 5). Address reuse is switched off. Null only when the
 * record cannot be allocated; socket, bind or listen failures leave lastError
 * set (check it, or open, before use). */
mqnMQNodeData* CreateMQNode(SocketAddress* address, int mode);
/* As CreateMQNode with option applied in place of switching reuse off. */
mqnMQNodeData* CreateMQNodeWithOpt(SocketAddress* address, int mode,
                                   SocketOption* option);
/* A UDP node bound to address; open = 1 when the bind succeeded. */
mqnMQNodeData* CreateUDPMQNode(SocketAddress* address);
mqnMQNodeData* CreateUDPMQNodeWithOpt(SocketAddress* address, SocketOption* option);
/* A node around a copy of an existing socket record (host "@", no bind).
 * Its side: datagram for a UDP socket, accepting for mode 1, else
 * connecting; a caller wrapping a socket it accepted sets side itself. */
mqnMQNodeData* CreateAndBindMQNode(SocketData* socket, int mode);
/* mnClose and free the record; 0 for null. Accepted nodes are not touched. */
int DeleteMQNode(mqnMQNodeData* node);

/* Client: connect (on a non-blocking socket usually 0 with 10035; the
 * connect completes when mnNPost reports the node write-ready). Server:
 * accept one connection into node->accepted. Returns open at once when the
 * node is already open. */
int mnOpen(mqnMQNodeData* node);
/* Drops queued writes, closes the socket gracefully, frees the receive
 * buffer's storage; open 0, lastError = the socket's last error; 1. */
int mnClose(mqnMQNodeData* node);

/* Waits up to seconds (0 polls) for input on the null-terminated node list.
 * Ready server nodes go to accept_ready, others to read_ready (both
 * null-terminated, each with room for the list plus the null). Time-out:
 * *error 1000 and 0; failure: *error = the socket error and 0. */
int mnPost(mqnMQNodeData** nodes, mqnMQNodeData** accept_ready,
           mqnMQNodeData** read_ready, int seconds, int* error);
/* As mnPost, and also reports in write_ready the nodes with queued writes
 * that can take more, and client nodes whose non-blocking connect completed
 * (their open is set to 1). A connect that failed is reported in read_ready
 * with the error in lastError; the next read returns it. */
int mnNPost(mqnMQNodeData** nodes, mqnMQNodeData** accept_ready,
            mqnMQNodeData** read_ready, mqnMQNodeData** write_ready, int seconds,
            int* error);

/* 1 when frames are waiting in the node's queue. */
int mnIsPendingIO(mqnMQNodeData* node);
/* Sends queued frames as far as the socket takes them. 1 when the queue was
 * emptied or the socket would block (10035); 0 with lastError 11 when a send
 * failed for good (the frame is dropped; the socket's error stays in
 * node->socket.lastError). */
int mnFinishWrite(mqnMQNodeData* node);
/* Frees every queued frame and the queue; 0 when nothing was queued. */
int mnClearPeningIO(mqnMQNodeData* node);
/* Sets the socket's send and receive buffer sizes; 1 when both succeed. */
int mnSetBufferSize(mqnMQNodeData* node, int bytes);
int mnSetTraceCallBack(mnTraceCallback callback, mqnMQNodeData* node);
int mnGSetTraceCallBack(mnTraceCallback callback);

#ifdef __cplusplus
}
#endif

#endif /* NETCORE_NODE_H_ */
