/*
 * qmlink.h: everything the queue-manager access library exports.
 *
 * The library through which the local agent and the message server reach
 * queue managers through the MQ client interface: queue-manager objects
 * and the command exchange (mq_manager.h), queue objects, event queues and
 * statistics (mq_queue.h), the known queue managers and the lookup of the
 * MQ installation's logs (mq_platform.h).
 *
 * Conventions of the whole library:
 *  - exported functions are plain C functions over records; they return 1
 *    for success and 0 for failure and leave the MQ reason in the object
 *    (a queue manager's or queue's reason field) or in a reason
 *    out-parameter; nothing crosses the boundary as an exception;
 *  - objects start with a kind word (MQManager 3, MQueue 4, MQPlatform 5),
 *    come from the tracked allocator (tags "MQManager", "MQueue",
 *    "MQPlatform") and belong to the caller until the matching Delete
 *    function, which accepts null (result 0);
 *  - messages are generic messages (<pcfcore/message.h>) owned by the
 *    caller; a read may grow the message's storage;
 *  - an object is used by one thread at a time; the trace defaults are
 *    process-wide.
 */
#ifndef QMLINK_QMLINK_H_
#define QMLINK_QMLINK_H_

#include <qmlink/mq_queue.h>
#include <qmlink/mq_manager.h>
#include <qmlink/mq_platform.h>

#endif /* QMLINK_QMLINK_H_ */
