/*
 * mq_manager.h: the queue-manager object MQManager and the command exchange.
 *
 * An MQManager is one connection to a queue manager with the three queues
 * it owns: the command queue (never opened by qmOpen; commands go to it with
 * MQPUT1), a temporary dynamic reply queue made from
 * "SYSTEM.DEFAULT.MODEL.QUEUE", and an optional event queue.
 *
 * Life: created connected (or with hConn -1 and the reason of the failed
 * connect: creation never fails for MQ reasons, callers test hConn and
 * reason), opened by qmOpen (reply queue open and empty), used for any
 * number of exchanges, closed by qmClose (queue objects gone, disconnected),
 * freed by DeleteMQManager, which closes first.
 *
 * Queue names:
 *  - command queue: "SYSTEM.ADMIN.COMMAND.QUEUE" unless the caller names one;
 *  - reply queue: "HARROWLINE.REPLY.<suffix>" (suffix cut to 16 characters,
 *    "DEFAULT" when none), blanks removed, then "*" so that MQ completes the
 *    name when it makes the dynamic queue;
 *  - event queue: CreateCLConn and CreateMQManager open the named queue;
 *    CreateDMQManager makes "HARROWLINE.EVENT.<suffix>*" the same way as
 *    the reply queue, opened dynamically by qmTest.
 *
 * The client connection's channel and connection name come from the
 * machine registry key "Software\Brackwin\Harrowline Compact\Queue
 * Managers\<name>" (docs/formats/client-connections.md); without it the
 * channel is "SYSTEM.DEF.SVRCONN" and the connection "127.0.0.1".
 *
 * Waits are milliseconds. -1 asks for no limit, but every wait is bounded
 * by QMLINK_MAX_WAIT_MS, so a caller can never block a thread for ever on a
 * queue manager that does not answer; other negative waits do not wait.
 *
 * Replies are matched to their request by id: qmRead takes only a message
 * whose ids match, never the next one on the queue. See qmRead.
 *
 * Results: 1 for success and 0 for failure, with the MQ reason in the
 * object's reason field. Failures of qmOpen and of creating the queue
 * objects are printed as dated TLX messages on standard output.
 *
 * Threads: an object is used by one thread at a time. The trace defaults of
 * OnGQMgrTrace are process-wide and meant to be set at start-up.
 */
#ifndef QMLINK_MQ_MANAGER_H_
#define QMLINK_MQ_MANAGER_H_

#include <mqi/mqi.h>
#include <pcfcore/message.h>
#include <pcfcore/pcf_message.h>
#include <qmlink/mq_queue.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MQMANAGER_KIND 3
#define MQMANAGER_NAME_LENGTH 68

/* The suite's reasons that qmTest reports besides MQ's (wire values). */
#ifndef EXRC_CMD_SERVER_DOWN
#define EXRC_CMD_SERVER_DOWN 20012
#endif
#ifndef EXRC_CMD_SERVER_NOT_RESPONDING
#define EXRC_CMD_SERVER_NOT_RESPONDING 20307
#endif

/* Integer parameters of a qmTest result, each an MQ reason. */
#define QMGR_TEST_CMDQ_RC 20301
#define QMGR_TEST_REPLYQ_RC 20302
#define QMGR_TEST_EVENTQ_RC 20303
#define QMGR_TEST_PING_RC 20304
#define QMGR_TEST_CONNECT_RC 20305

#define QMLINK_COMMAND_QUEUE "SYSTEM.ADMIN.COMMAND.QUEUE"
#define QMLINK_MODEL_QUEUE "SYSTEM.DEFAULT.MODEL.QUEUE"
#define QMLINK_DEFAULT_CHANNEL "SYSTEM.DEF.SVRCONN"
#define QMLINK_DEFAULT_CONNECTION "127.0.0.1"

struct MQManager;

/* Trace callback of a queue manager: the traced point and the object. */
typedef int (*MQManagerTraceFn)(const char* point, struct MQManager* manager);

/* What qmRead expects of the reply to the last command qmWrite put. Kept
 * by the library; callers leave it alone. */
typedef struct MQManagerPending {
  MQLONG valid;                     /* 1 from a successful qmWrite until its
                                       last reply, a failed read other than
                                       2033, or an emptying of the reply queue */
  MQBYTE MsgId[MQ_MSG_ID_LENGTH];   /* zero: any */
  MQBYTE CorrelId[MQ_CORREL_ID_LENGTH];
  MQLONG clearCount;                /* the reply queue's clearCount at the put */
} MQManagerPending;

typedef struct MQManager {
  MQULONG kind;                       /* 3 */
  char name[MQMANAGER_NAME_LENGTH];   /* queue-manager name as given */
  MQHCONN hConn;                      /* -1 when the connect failed or after qmClose */
  MQULONG reason;                     /* MQ reason of the last operation */
  MQueue* commandQueue;
  MQueue* replyQueue;
  MQueue* eventQueue;                 /* null when none */
  /* Operations, in this order: qmOpen, qmClose, qmRead, qmWrite, qmPost. */
  int (*qm_open)(struct MQManager* manager, const char* alternate_user);
  int (*qm_close)(struct MQManager* manager);
  int (*qm_read)(Message* message, MQLONG wait_ms, struct MQManager* manager);
  int (*qm_write)(Message* message, struct MQManager* manager);
  int (*qm_post)(Message* message, MQLONG wait_ms, struct MQManager* manager);
  MQManagerTraceFn trace;             /* none when null */
  MQueueTraceFn queueTrace;           /* given to the queues the object makes */
  MQLONG queueTraceData;
  /* Library state; callers leave it alone. */
  MQLONG ownsConnection;              /* 0 when the connect answered 2002: the
                                         handle is another object's and
                                         qmClose must not disconnect it */
  MQManagerPending pending;
} MQManager;

/* Client connection (MQCONNX over TCP) to the queue manager name, with the
 * channel and connection name of its registry key; then the event queue
 * object (when event_queue is given), the dynamic reply queue object and
 * the command queue object (command_queue, else SYSTEM.ADMIN.COMMAND.QUEUE).
 * A failed connect (other than 2002, already connected) leaves hConn -1 and
 * no queue objects; the object is still returned with the reason. Null only
 * when no memory is had. Free with DeleteMQManager. */
MQManager* CreateCLConn(const char* name, const char* command_queue, const char* event_queue,
                        const char* reply_suffix);

/* As CreateCLConn with a local connection (MQCONN). */
MQManager* CreateMQManager(const char* name, const char* command_queue, const char* event_queue,
                           const char* reply_suffix);

/* MQCONN; reply and event queue names from the two suffixes; the event
 * queue object is to be opened dynamically (qmTest does). Prints nothing. */
MQManager* CreateDMQManager(const char* name, const char* command_queue, const char* event_suffix,
                            const char* reply_suffix);

/* 0 for null; else closes (qmClose) and frees; 1. */
int DeleteMQManager(MQManager* manager);

/* Opens the reply queue for exclusive input and inquiry with the alternate
 * user and empties it. Prints TLX0103E, TLX0102W or TLX0107W on failure. */
int qmOpen(MQManager* manager, const char* alternate_user);

/* Deletes the command, reply and event queue objects and disconnects
 * (unless the connection is another object's); hConn -1. 1 when the
 * disconnect completed or was not needed. */
int qmClose(MQManager* manager);

/* Puts the message as a PCF command on the command queue with MQPUT1:
 * ReplyToQ the reply queue, ReplyToQMgr the object's name, MsgId and
 * CorrelId from bytes 16-39 and 40-63 of the message header, the header's
 * 12-character UserId as alternate user and identity. Remembers the ids
 * its reply will carry (MsgId when the report options pass it; CorrelId
 * passed, else the request's MsgId) for qmRead. */
int qmWrite(Message* message, MQManager* manager);

/* Gets a reply from the reply queue, matched by the MsgId and CorrelId of
 * the message's MQMD. When both are zero, by the ids of the last command
 * that qmWrite put, so that a reply to an older request stays on the queue;
 * this holds until that command's last reply (MQCFH Control 1) has been
 * read, a read for it failed with a reason other than 2033, or the reply
 * queue was emptied (qqClear, qmOpen); after that zero ids take any
 * message (the responses the message server puts itself). A read that
 * found nothing yet (2033) keeps the ids: a late reply is still taken.
 * wait_ms above 0 or -1 waits (bounded by
 * QMLINK_MAX_WAIT_MS), 0 and other negatives do not. Then copies the
 * MQMD's MsgId and CorrelId into bytes 16-39 and 40-63 of the header. */
int qmRead(Message* message, MQLONG wait_ms, MQManager* manager);

/* Gets a message from the event queue (wait as qmRead, ids of the MQMD,
 * zero matching any); the header is not changed. */
int qmPost(Message* message, MQLONG wait_ms, MQManager* manager);

/* As qmPost on the given queue; the object's reason comes from that queue. */
int ReadEventQ(Message* message, MQLONG wait_ms, MQManager* manager, MQueue* queue);

/* Tests the queue manager name: connects, opens the command queue, the
 * reply queue and the event queue as the agent would, pings the command
 * server, and reports each failing step as an integer parameter
 * (QMGR_TEST_*_RC) in result, which is reset to a response of its own
 * command. Any failure sets the result's CompCode 2 and Reason. A command
 * server that is not running gives 20304 = 20012 and still passes; one that
 * runs but does not answer the ping within 10 s gives 20304 = 20307 and
 * fails. A missing model queue gives 20302 = 2085 and nothing is created.
 * The result is indexed. 1 when no step failed. */
int qmTest(const char* name, const char* command_queue, const char* event_suffix,
           const char* reply_suffix, mqPcfMessage* result);

/* Changes a local queue's description (at most 64 characters) with
 * MQCMD_CHANGE_Q through the command server and reads its reply (10 s).
 * A failed put stores the command queue's reason in *reason (result 0). */
int qmUpdateQueInfo(MQManager* manager, const char* queue_name, const char* description,
                    MQLONG* reason);

/* MQCMIT (commit nonzero) or MQBACK; 0 for null or an unconnected object. */
int qmEndTrans(MQManager* manager, int commit);

/* Sets the three trace fields and hands the queue callback and data on to
 * the object's existing queues; 1. */
int OnQMgrTrace(MQManager* manager, MQManagerTraceFn callback, MQueueTraceFn queue_callback,
                MQLONG queue_data);
/* Trace defaults for objects created afterwards; 1. */
int OnGQMgrTrace(MQManagerTraceFn callback, MQueueTraceFn queue_callback, MQLONG queue_data);

#ifdef __cplusplus
}
#endif

#endif /* QMLINK_MQ_MANAGER_H_ */
