/*
 * pending_queue.h: the first-in first-out list of frames waiting to be sent
 * on a node (each item a Buffer holding one complete frame and its Sent
 * count). Storage comes from the suite's allocator: the head "QALLOC", links
 * "QPUT" (appended) and "QPUTHEAD" (pushed in front). The queue never owns
 * its items: QFree frees the links and the head only.
 * One thread at a time.
 */
#ifndef NETCORE_PENDING_QUEUE_H_
#define NETCORE_PENDING_QUEUE_H_

#include <pcfcore/message.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PendingLink {
  struct PendingLink* next;
  Buffer* item;
} PendingLink;

typedef struct PendingQueue {
  PendingLink* first;
  PendingLink* last;
  int count;
} PendingQueue;

/* A new empty queue, or null when no memory. */
PendingQueue* QAlloc(void);
/* Appends item; 0 when the link cannot be allocated. A null queue prints
 * "Qput: null Queue input\n" and does nothing (0). */
int QPut(PendingQueue* queue, Buffer* item);
/* The high-priority entry: appends at the tail exactly like QPut, so frames
 * leave a node in the order they were written. */
int QPutHigh(PendingQueue* queue, Buffer* item);
/* Pushes item in front ("Qputhead: null Queue input\n" for a null queue). */
int QPutHead(PendingQueue* queue, Buffer* item);
/* Removes and returns the first item; null when empty ("Qget: null Queue
 * input\n" for a null queue). */
Buffer* QGet(PendingQueue* queue);
/* Items in the queue; 0 for null. */
int QCount(const PendingQueue* queue);
/* Frees the links and the head, not the items. */
void QFree(PendingQueue* queue);

#ifdef __cplusplus
}
#endif

#endif /* NETCORE_PENDING_QUEUE_H_ */
