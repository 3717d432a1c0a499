/*
 * signcore.h: signing of outgoing node frames and authentication of incoming
 * ones, with one secret key per installation.
 *
 * A signed frame is the 32-byte NodeHeader, the 136-byte MessageHeader, the
 * PCF body, and a 40-byte trailer: the writer's time in milliseconds, a
 * 16-byte nonce (who wrote the frame, then 8 random bytes) and a 16-byte
 * MAC (a Poly1305 tag under keys derived from the installation key with
 * HMAC-SHA-256). The header's length word counts
 * everything after the node header, trailer included. The MAC covers a
 * byte-order-independent form of the node header and every byte after it up
 * to the MAC (docs/formats/node-frame.md). A reader refuses a frame whose
 * time lies more than five minutes from its own clock, or whose time and
 * nonce it has accepted before (a replay).
 *
 * Reflection: the nonce begins with the side that wrote the frame (the end
 * of a TCP connection that connected, the end that accepted, or a datagram
 * socket) and the writing process's tag with, for datagrams, the socket's
 * port. mqc_sign_as and mqc_authenticate_as take the caller's own side: a
 * reader refuses frames written by its own side of a connection, and a
 * datagram socket refuses datagrams it wrote itself, so a frame sent back
 * to its writer is never accepted.
 *
 * The key: a key file named by the variable HRLCOMPACT_SIGNING_KEY, else
 * "security/signing.key" under the install directory (os/install_dir.h:
 * $HRLCOMPACT, the registry's WorkPath, the working directory's parent, or
 * /opt/brackwin/harrowdir). It holds 32 to 64 random
 * bytes as hex text, must belong to the user the program runs as (or root)
 * and must be readable by its owner only (mode 0600).
 * Format: docs/formats/signing-key.md. A missing, unreadable, malformed or
 * group/world-accessible key fails closed: no credential, no signature, no
 * frame accepted.
 *
 * Credentials: mqc_get_signature loads the key file afresh and hands out a
 * credential that holds that key; mqc_sign signs with the credential's key.
 * mqc_authenticate has no credential and checks with the installation key
 * most recently loaded by this process (loading it on first use), so a key
 * replaced on disk takes effect with the next mqc_get_signature.
 *
 * Threads: a credential is used by one thread at a time; different threads
 * may use their own credentials and authenticate at once (the process key is
 * guarded inside). Results: 1 success or "authentic", 0 failure.
 */
#ifndef SIGNCORE_SIGNCORE_H_
#define SIGNCORE_SIGNCORE_H_

#include <stddef.h>

#include <pcfcore/message.h>
#include <pcfcore/pcf_message.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes of the trailer a signed frame carries after its PCF body: the
 * writer's time (8), a random nonce (16) and the MAC (16). */
#define MQC_SIGNATURE_LENGTH 40

/* Name of the variable that names the key file. */
#define MQC_SIGNING_KEY_VARIABLE "HRLCOMPACT_SIGNING_KEY"

/* The side of a conversation a frame was written on (first nonce byte). */
#define MQC_SIDE_UNSTATED 0   /* mqc_sign: no side; netcore readers refuse it */
#define MQC_SIDE_CONNECTING 1 /* the end of a TCP connection that connected */
#define MQC_SIDE_ACCEPTING 2  /* the end of a TCP connection that accepted */
#define MQC_SIDE_DATAGRAM 3   /* a UDP socket */

/* The caller's own place in a conversation: the side it writes and reads
 * on, and for a datagram socket its local port (else 0). */
typedef struct mqcFrameSide {
  MQLONG side; /* MQC_SIDE_CONNECTING, MQC_SIDE_ACCEPTING or MQC_SIDE_DATAGRAM */
  MQLONG port; /* datagram sockets: the local port (0 while unbound) */
} mqcFrameSide;

/* A process's signing credential: opaque, from mqc_get_signature. */
typedef struct mqcSignatureData* mqcSignature;

/* Loads the installation key and stores a new credential in *credential.
 * On failure *credential is set to null, the reason is available from
 * mqc_signature_error, and 0 is returned. Free with mqc_release_signature. */
int mqc_get_signature(mqcSignature* credential);

/* Frees the credential and sets *credential to null; 0 when there was none. */
int mqc_release_signature(mqcSignature* credential);

/* Builds the signed frame of msg into frame: the node-header copy of msg
 * (which the caller has filled) with its length word raised by the trailer,
 * the message header and body as they are, then the trailer. On success
 * frame->Data (from fNewMemory, owned by the caller: DeleteBuffer) and
 * frame->Size = frame->Capacity hold the frame to send. 0 with frame left
 * empty when the credential is not valid, msg has no body, or no memory. */
int mqc_sign(mqcSignature credential, mqPcfMessage* msg, Buffer* frame);
/* As mqc_sign, for a writer on side (not null): its side and, for a
 * datagram socket, its port go into the nonce. */
int mqc_sign_as(mqcSignature credential, mqPcfMessage* msg, Buffer* frame,
                const mqcFrameSide* side);

/* As mqc_sign_as without building the frame: head (NODE_HEADER_LENGTH
 * bytes) receives the node header as it travels and trailer
 * (MQC_SIGNATURE_LENGTH bytes) the time, nonce and MAC, so that head, the
 * message's UsedLength bytes and trailer, sent in this order, are the signed
 * frame. msg is only read; nothing is allocated. 0 as mqc_sign_as. */
int mqc_sign_parts(mqcSignature credential, const mqPcfMessage* msg, const mqcFrameSide* side,
                   unsigned char* head, unsigned char* trailer);

/* Signing and checking piece by piece, so that a large frame is hashed
 * while it is sent or while it arrives. The MAC and the frame are the same
 * as those of mqc_sign_parts and mqc_authenticate_as. A state from a start
 * call is freed by its finish call (whatever the result) or by
 * mqc_frame_mac_release. */
typedef struct mqcFrameMacData* mqcFrameMac;

/* Starts signing msg: head is filled as mqc_sign_parts does. Then the
 * message's UsedLength bytes go to mqc_frame_mac_update in order (in
 * pieces of any size), and mqc_sign_finish fills trailer
 * (MQC_SIGNATURE_LENGTH bytes) with the time, nonce and MAC. 0 with *mac
 * null as mqc_sign_parts. */
int mqc_sign_start(mqcSignature credential, const mqPcfMessage* msg, const mqcFrameSide* side,
                   unsigned char* head, mqcFrameMac* mac);
/* Adds the next count bytes. Signing: 0 when they pass the message's
 * length. Checking: bytes past the signed part (the MAC at the frame's end)
 * are not hashed, so a reader may pass everything that arrived. */
int mqc_frame_mac_update(mqcFrameMac mac, const unsigned char* bytes, size_t count);
/* 0 unless exactly the message's bytes were added; frees the state and
 * sets *mac to null. */
int mqc_sign_finish(mqcFrameMac* mac, unsigned char* trailer);
/* Starts checking a frame whose node header (native order, its length word
 * counting the trailer) has arrived; the bytes that follow it go to
 * mqc_frame_mac_update as they arrive. 0 with *mac null when no key is
 * available or the length leaves no room for a signature. */
int mqc_authenticate_start(const NodeHeader* header, mqcFrameMac* mac);
/* The whole frame has arrived and every byte before its MAC was added:
 * checks it as mqc_authenticate_as does (the same requirements on header,
 * view and msg, which must hold the bytes that were added), strips the
 * trailer on success, frees the state and sets *mac to null. */
int mqc_authenticate_finish(mqcFrameMac* mac, NodeHeader* header, Buffer* view,
                            mqPcfMessage* msg, const mqcFrameSide* side);
/* Frees a state that will not be finished; 0 when there was none. */
int mqc_frame_mac_release(mqcFrameMac* mac);

/* Checks a received signed frame. REQUIRES: header is msg's node-header copy
 * converted to native order; msg->Body holds the header->Length bytes that
 * followed the node header, in the sender's order; view describes the same
 * bytes. On success strips the trailer (header->Length, msg->Body.UsedLength
 * and view->Size lose MQC_SIGNATURE_LENGTH) and returns 1; the message header
 * and body stay untouched, ready for conversion. 0 when no key is available,
 * the sizes disagree, the MAC does not match (compared in constant time), the
 * frame's time is outside the window or the frame was accepted before.
 * It does not look at the writer's side. */
int mqc_authenticate(NodeHeader* header, Buffer* view, mqPcfMessage* msg);
/* As mqc_authenticate, for a reader on side (not null), which also refuses
 * frames that its own side wrote: a connecting reader takes only frames
 * written by an accepting side and the reverse; a datagram reader takes
 * only datagrams, and none that this process wrote from its own port. */
int mqc_authenticate_as(NodeHeader* header, Buffer* view, mqPcfMessage* msg,
                        const mqcFrameSide* side);

/* The reason for the last failure of a call above on this thread ("" when
 * none): the key file's path and what was wrong with it, or the check that
 * failed. Valid until the next call on this thread. */
const char* mqc_signature_error(void);

#ifdef __cplusplus
}
#endif

#endif /* SIGNCORE_SIGNCORE_H_ */
