// Small helpers shared inside qmlink: MQ's fixed-width blank-padded name
// fields, bounded waits, dated console lines and the trace defaults.
#ifndef QMLINK_SRC_FIELDS_H_
#define QMLINK_SRC_FIELDS_H_

#include <mqi/mqi.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "qmlink/mq_manager.h"
#include "qmlink/mq_queue.h"

namespace qmlink {

// Copies at most width characters of text (null: none) into field and pads
// it with blanks to width. No NUL is written.
void SetBlankField(char* field, size_t width, const char* text);

// The field's text up to its first NUL, trailing blanks removed.
std::string FieldText(const char* field, size_t width);

// Copies text into a NUL-terminated buffer of size bytes, cut to fit.
void CopyCut(char* buffer, size_t size, std::string_view text);

// Text with every blank removed.
std::string WithoutBlanks(std::string_view text);

// True when the bytes are all zero.
bool IsZero(const void* bytes, size_t length);

// Wait and options for an MQGET from a caller's wait in milliseconds:
// above 0 or -1 waits (at most QMLINK_MAX_WAIT_MS), anything else not.
struct GetWait {
  bool wait;
  MQLONG interval_ms;
};
GetWait BoundWait(MQLONG wait_ms);

// An MQGMO (version 2) with options, the wait and both ids matched.
MQGMO MakeGetOptions(MQLONG options, MQLONG wait_ms);

// Prints " \nDate: <now>" (the time as ctime gives it, with its new line),
// then the text and "\n", and flushes, as one write so lines of threads do
// not interleave.
void PrintDated(const std::string& text);

// Process-wide trace defaults (OnGQTrace, OnGQMgrTrace).
struct QueueTraceDefaults {
  MQueueTraceFn callback;
  MQLONG data;
};
QueueTraceDefaults GetQueueTraceDefaults();
struct ManagerTraceDefaults {
  MQManagerTraceFn callback;
  MQueueTraceFn queue_callback;
  MQLONG queue_data;
};
ManagerTraceDefaults GetManagerTraceDefaults();

inline void Trace(MQueue* queue, const char* point) {
  if (queue != nullptr && queue->trace != nullptr) queue->trace(point, queue);
}
inline void Trace(MQManager* manager, const char* point) {
  if (manager != nullptr && manager->trace != nullptr) manager->trace(point, manager);
}

}  // namespace qmlink

#endif  // QMLINK_SRC_FIELDS_H_
