/*
 * mq_queue.h: the queue object MQueue, one MQ queue on one connection.
 *
 * An MQueue holds the queue's object descriptor, its object handle while it
 * is open, the MQ reason of the last call and a table of operations. It is
 * created closed (hObj -1) by CreateMQueue or CreateMQDynamic, opened and
 * closed any number of times, and freed by DeleteMQueue, which closes it
 * first. A temporary dynamic queue is made by its open and ends with its
 * close or the disconnect.
 *
 * Results: 1 for success, 0 for failure, with the MQ reason in the queue's
 * reason field, unless a function says otherwise. Nothing is printed.
 *
 * Messages are the suite's generic messages (<pcfcore/message.h>): an MQMD,
 * a 136-byte header and the body. Only the body travels through MQ; a read
 * never changes the 136-byte header.
 *
 * Threads: a queue object belongs to one thread at a time, together with
 * its connection. The trace defaults of OnGQTrace are process-wide.
 */
#ifndef QMLINK_MQ_QUEUE_H_
#define QMLINK_MQ_QUEUE_H_

#include <mqi/mqi.h>
#include <pcfcore/message.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The longest wait any call of this library makes: 5 minutes. */
#define QMLINK_MAX_WAIT_MS 300000

#define MQUEUE_KIND 4
#define MQUEUE_NAME_LENGTH 52

struct MQueue;

/* Trace callback of a queue: called with the name of the traced point
 * ("qqOpen: before", ...) and the queue. Its result is ignored. */
typedef int (*MQueueTraceFn)(const char* point, struct MQueue* queue);

typedef struct MQueue {
  MQLONG kind;                     /* 4 */
  char name[MQUEUE_NAME_LENGTH];   /* queue name; after an open the
                                      descriptor's ObjectName, 48 characters
                                      blank-padded (a dynamic queue: the name
                                      that MQ made) */
  MQHCONN hConn;                   /* connection of the queue manager */
  MQHOBJ hObj;                     /* -1 when not open */
  MQOD descriptor;                 /* version 1; ObjectQMgrName may be set
                                      before an open */
  MQLONG reason;                   /* MQ reason of the last call */
  /* Operations, in this order. */
  int (*qq_open)(MQLONG options, struct MQueue* queue, const char* alternate_user);
  int (*qq_close)(struct MQueue* queue);
  int (*qq_read)(Message* message, MQGMO* options, struct MQueue* queue);
  int (*qq_write)(Message* message, MQPMO* options, struct MQueue* queue);
  int (*qq_clear)(struct MQueue* queue);
  int (*qq_is_open)(struct MQueue* queue);
  MQueueTraceFn trace;             /* none when null */
  MQLONG traceData;                /* integer stored with the callback */
  /* Library state; callers leave it alone. */
  MQLONG clearCount;               /* qqClear calls so far */
} MQueue;

/* A new closed queue object for name (at most 48 characters are used) on
 * the connection: object type MQOT_Q, ObjectQMgrName blank (the connected
 * queue manager), DynamicQName "AMQ.*", AlternateUserId blank. No MQ call.
 * Null only when no memory is had. Free with DeleteMQueue. */
MQueue* CreateMQueue(MQHCONN hConn, const char* name);

/* As CreateMQueue with name = dynamic_name, ObjectName = model and
 * DynamicQName = dynamic_name; the open makes the dynamic queue. */
MQueue* CreateMQDynamic(MQHCONN hConn, const char* model, const char* dynamic_name);

/* 0 for null; else closes the queue when open and frees it; 1. */
int DeleteMQueue(MQueue* queue);

/* MQOPEN with options plus MQOO_FAIL_IF_QUIESCING, plus
 * MQOO_ALTERNATE_USER_AUTHORITY when alternate_user (at most 12 characters
 * used) starts with neither NUL nor a blank. On success name becomes the
 * descriptor's ObjectName. Opening an open queue is refused with 2019
 * (MQRC_HOBJ_ERROR) and leaves the open handle alone. */
int qqOpen(MQLONG options, MQueue* queue, const char* alternate_user);

/* ObjectName = model, DynamicQName = the queue's current name, then qqOpen. */
int qqOpenDynamic(MQLONG options, MQueue* queue, const char* model, const char* alternate_user);

/* MQCLOSE when open (hObj -1 once it completes); 1 when closed or not open.
 * A failed close leaves hObj as it was. */
int qqClose(MQueue* queue);

/* On an open queue MQPUT of the message's body with its MQMD and options;
 * else MQPUT1 with the descriptor, where a non-blank AlternateUserId adds
 * MQPMO_SET_IDENTITY_CONTEXT and MQPMO_ALTERNATE_USER_AUTHORITY (unless the
 * options already hold MQPMO_SET_IDENTITY_CONTEXT) and becomes the MQMD's
 * UserIdentifier. */
int qqWrite(Message* message, MQPMO* options, MQueue* queue);

/* MQGET into the message's body. A message longer than the body's room
 * (2080) grows the message to the returned length and is got again, once;
 * the message's UsedLength becomes the data length + 136. 1 also for the
 * conversion warnings 2111 and 2119. A wait (MQGMO_WAIT) that is unlimited
 * or longer than QMLINK_MAX_WAIT_MS waits that long at most. */
int qqRead(Message* message, MQGMO* options, MQueue* queue);

/* Removes every message (no syncpoint, truncated messages accepted). 1
 * when it ended with 2033 (empty) or 2079. The queue must be open for
 * input. */
int qqClear(MQueue* queue);

/* 1 when the queue has a connection and an object handle. */
int qqIsOpen(MQueue* queue);

/* 1 when MQINQ of the open input and output counts succeeds and the input
 * count is above 0. REQUIRES: the queue is open for inquiry. */
int qqIsOpenInput(MQueue* queue);

/* MQINQ of the current and maximum depth of an open queue. */
int qqGetStats(MQueue* queue, MQLONG* depth, MQLONG* max_depth);

/* One integer attribute of the named queue: the queue is opened for
 * inquiry for the length of the call. The reason goes to *reason (2071
 * when no queue object could be had). */
int qqGetIntAttr(MQHCONN hConn, const char* name, MQLONG selector, MQLONG* value, MQLONG* reason);

/* Current depth, maximum depth, open input and output counts and trigger
 * control of the named queue, as qqGetIntAttr. */
int qqGetAllQStats(MQHCONN hConn, const char* name, MQLONG* depth, MQLONG* max_depth,
                   MQLONG* input_count, MQLONG* output_count, MQLONG* trigger_control,
                   MQLONG* reason);

/* MQSET of one character attribute of the named queue (opened for set for
 * the length of the call). */
int qqSetCharAttr(MQHCONN hConn, const char* name, MQLONG selector, MQLONG length,
                  const char* value, MQLONG* reason);

/* Sets the queue's trace callback and data; 1. */
int OnQTrace(MQueue* queue, MQueueTraceFn callback, MQLONG data);
/* Trace callback and data for queues created afterwards; 1. */
int OnGQTrace(MQueueTraceFn callback, MQLONG data);

#ifdef __cplusplus
}
#endif

#endif /* QMLINK_MQ_QUEUE_H_ */
