/*
 * msgops.h: the message server library.
 *
 * The local agent creates one server handle at start-up (ZORCREATE), hands
 * every message-management request 10300 to 10306 to it together with its
 * own connection to the queue manager (ZOREXEC), and destroys it at
 * shutdown (ZORDELETE). Each request runs to its end on the calling thread
 * as a state automaton against the queue manager; the library starts no
 * thread and takes no lock.
 *
 * Responses (PCF, MQCFH Type 2, the request's command) go to the reply
 * queue of the caller's connection with the MsgId and CorrelId of the
 * request's message header, outside any unit of work. Every request ends
 * with exactly one final response (Control 1) whose CompCode and Reason
 * tell the outcome; the unit of work of a request that asked for one
 * (MQIA_SYNCPOINT) is committed or backed out before that response is
 * sent, so the response tells what really happened.
 *
 * Threads: one handle may serve several threads at once. Its tables are
 * read-only after ZORCREATE and each ZOREXEC call keeps its state on its
 * own stack. A connection (MQManager) serves one request at a time.
 *
 * Ownership: the handle is the caller's until ZORDELETE. The request and
 * the connection stay the caller's; the library never closes the
 * connection. Nothing crosses this interface as an exception.
 * Protocol: <msgops/protocol.h>, docs/formats/message-requests.md.
 */
#ifndef MSGOPS_MSGOPS_H_
#define MSGOPS_MSGOPS_H_

#include <msgops/protocol.h>
#include <pcfcore/pcf_message.h>

#include <qmlink/mq_manager.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Builds a server handle; null only when memory runs out. */
void* ZORCREATE(void);

/* Runs one request on the connection. Returns 1 when the request ran to
 * its end (its final response was sent), 0 when it ended on the failure
 * path (the final response could not be put; the connection's last reason
 * tells why), 2 when the server automaton got stuck. A null handle, a null
 * connection or a null request does nothing and returns 0. */
int ZOREXEC(void* handle, MQManager* qmgr, mqPcfMessage* request);

/* Destroys the handle; null is ignored. */
void ZORDELETE(void* handle);

#ifdef __cplusplus
}
#endif

#endif /* MSGOPS_MSGOPS_H_ */
