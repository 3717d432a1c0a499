// The queue of frames waiting to be sent on a node.

#include "netcore/pending_queue.h"

#include <cstdio>

#include "pcfcore/memory.h"

namespace {

PendingLink* NewLink(Buffer* item, const char* tag) {
  void* p = nullptr;
  if (fNewMemory(&p, sizeof(PendingLink), tag) == 0) return nullptr;
  auto* link = static_cast<PendingLink*>(p);
  link->next = nullptr;
  link->item = item;
  return link;
}

int Append(PendingQueue* queue, Buffer* item, const char* null_message) {
  if (queue == nullptr) {
    std::printf("%s", null_message);
    return 0;
  }
  PendingLink* link = NewLink(item, "QPUT");
  if (link == nullptr) return 0;
  if (queue->last != nullptr) {
    queue->last->next = link;
  } else {
    queue->first = link;
  }
  queue->last = link;
  ++queue->count;
  return 1;
}

}  // namespace

extern "C" {

PendingQueue* QAlloc(void) {
  void* p = nullptr;
  if (fNewMemory(&p, sizeof(PendingQueue), "QALLOC") == 0) return nullptr;
  return static_cast<PendingQueue*>(p);
}

int QPut(PendingQueue* queue, Buffer* item) {
  return Append(queue, item, "Qput: null Queue input\n");
}

int QPutHigh(PendingQueue* queue, Buffer* item) {
  return Append(queue, item, "Qput: null Queue input\n");
}

int QPutHead(PendingQueue* queue, Buffer* item) {
  if (queue == nullptr) {
    std::printf("Qputhead: null Queue input\n");
    return 0;
  }
  PendingLink* link = NewLink(item, "QPUTHEAD");
  if (link == nullptr) return 0;
  link->next = queue->first;
  queue->first = link;
  if (queue->last == nullptr) queue->last = link;
  ++queue->count;
  return 1;
}

Buffer* QGet(PendingQueue* queue) {
  if (queue == nullptr) {
    std::printf("Qget: null Queue input\n");
    return nullptr;
  }
  PendingLink* link = queue->first;
  if (link == nullptr) return nullptr;
  queue->first = link->next;
  if (queue->first == nullptr) queue->last = nullptr;
  --queue->count;
  Buffer* item = link->item;
  FreeMemory(link);
  return item;
}

int QCount(const PendingQueue* queue) { return queue == nullptr ? 0 : queue->count; }

void QFree(PendingQueue* queue) {
  if (queue == nullptr) return;
  PendingLink* link = queue->first;
  while (link != nullptr) {
    PendingLink* next = link->next;
    FreeMemory(link);
    link = next;
  }
  FreeMemory(queue);
}

}  // extern "C"
