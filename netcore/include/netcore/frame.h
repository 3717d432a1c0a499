/*
 * frame.h: reading and writing whole node frames, one PCF message each.
 *
 * Two framings (docs/formats/node-frame.md); both ends of a connection use
 * the same one:
 *   signed: NodeHeader (32) + MessageHeader (136) + PCF body + 40-byte
 *           trailer (time, nonce, MAC); the node header's length
 *           word counts everything after it, trailer included. The nonce
 *           names the writer's side (the node's side field), and a node
 *           refuses frames its own side wrote, so a frame sent back to its
 *           writer fails as not authentic (-1001), over TCP and UDP;
 *   plain:  MessageHeader (136) + PCF body.
 * The signed operations take a "secure" switch; 0 falls back to the plain
 * framing.
 *
 * Every length word comes from the wire before anything is authenticated, so
 * the reader refuses (2026) negative lengths and lengths too small for a
 * frame, refuses (2102) frames whose message would exceed the maximum
 * message size before allocating anything for them, and requires the message
 * header's lUserMsgLength to agree with the bytes received (2026). The
 * maximum is 4 MiB of PCF body by default; the variable
 * HRLCOMPACT_MAX_MESSAGE_BYTES or mnSetMaxMessageBytes changes it.
 *
 * Results: 1 success, 0 failure with node->lastError set (codes below, or a
 * socket code of <netcore/socket.h>). A read that would block keeps the
 * partial frame for the next call; every other failure discards it. A TCP
 * stream is unusable after a refused frame (its remaining bytes are not
 * skipped); the caller closes the node. A TCP write sends straight from
 * msg's storage (a signed one with its header and trailer made apart, in
 * one gathered write) and copies only what has to wait in the queue; a
 * datagram is joined first. Either way msg may be reused as soon as the call
 * returns. A read of a TCP frame larger than the receive buffer receives it
 * straight into msg. One thread per node.
 */
#ifndef NETCORE_FRAME_H_
#define NETCORE_FRAME_H_

#include <netcore/node.h>
#include <pcfcore/pcf_message.h>
#include <signcore/signcore.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Node last-error codes (values travel in logs and replies: never renumber). */
#define MN_ERR_SIGN_REFUSED -1000     /* the signing service refused to sign */
#define MN_ERR_NOT_AUTHENTIC -1001    /* a received frame is not authentic */
#define MN_ERR_PENDING_LIMIT -1111    /* the pending-write limit is reached */
#define MN_ERR_QUEUED_WRITE 11        /* a queued write failed for good */
#define MN_ERR_PEER_CLOSED 1004       /* the peer closed the connection */
#define MN_ERR_BAD_HEADER 2026        /* header not recognised or inconsistent */
#define MN_ERR_NO_ROOM 2102           /* frame too large, or no memory */
#define MN_ERR_BAD_BODY 4005          /* PCF body not convertible or indexable */
#define MN_ERR_WOULD_BLOCK 10035      /* try again when the socket is ready */

/* Default maximum PCF body bytes of one frame. */
#define MN_DEFAULT_MAX_MESSAGE_BYTES (4 * 1024 * 1024)
#define MN_MAX_MESSAGE_VARIABLE "HRLCOMPACT_MAX_MESSAGE_BYTES"

/* Sets the process-wide maximum PCF body size a read accepts and a write
 * sends (bytes >= 36); returns the previous value, or 0 for a bad value
 * (nothing changed). Meant for start-up. */
int mnSetMaxMessageBytes(int bytes);
/* The maximum in force (the variable is read on first use). */
int mnGetMaxMessageBytes(void);

/* secure 0: mnRead. Else reads one signed frame, authenticates it, converts
 * it to native form and indexes it into msg. credential is not used. */
int mnSRead(mqPcfMessage* msg, mqnMQNodeData* node, int secure, mqcSignature credential);
/* Reads one plain frame into msg; the sender's UserId is then also in msg's
 * node-header copy (words 5-7), as after a signed read. */
int mnRead(mqPcfMessage* msg, mqnMQNodeData* node);
/* Looks at the next plain message header without consuming it. */
int mnBrowse(mqPcfMessage* msg, mqnMQNodeData* node);

int mnSWrite(mqPcfMessage* msg, mqnMQNodeData* node, int secure, mqcSignature credential);
/* address: the destination of a UDP node (null: the last sender); ignored
 * by TCP nodes. */
int mnSWriteTo(mqPcfMessage* msg, mqnMQNodeData* node, SocketAddress* address,
               int secure, mqcSignature credential);
/* A NUL or blank UserId in msg is first filled with the node's user. */
int mnSWriteAltUser(mqPcfMessage* msg, mqnMQNodeData* node, int secure,
                    mqcSignature credential);
int mnSWriteAltUserHigh(mqPcfMessage* msg, mqnMQNodeData* node, int secure,
                        mqcSignature credential);
/* The general write. user (at most 12 characters) is used by the plain
 * framing; a signed frame always names the node's user. high 1 selects the
 * high-priority queue entry (which still keeps write order). */
int mnSWriteMsg(mqPcfMessage* msg, mqnMQNodeData* node, SocketAddress* address,
                const char* user, int secure, mqcSignature credential, int high);
int mnWrite(mqPcfMessage* msg, mqnMQNodeData* node);
int mnWriteTo(mqPcfMessage* msg, mqnMQNodeData* node, SocketAddress* address);
int mnWriteAltUser(mqPcfMessage* msg, mqnMQNodeData* node);

#ifdef __cplusplus
}
#endif

#endif /* NETCORE_FRAME_H_ */
