// Event-log records as syslog messages.

#include "os/event_log.h"

#include <syslog.h>

namespace {

void Report(int priority, const char* source, const char* text) {
  if (source == nullptr || text == nullptr) return;
  // Identity passed per record (no openlog): openlog keeps the pointer, and
  // several sources in one process would overwrite each other.
  syslog(LOG_DAEMON | priority, "%s: %s", source, text);
}

}  // namespace

extern "C" {

void osReportErrorEvent(const char* source, const char* text) { Report(LOG_ERR, source, text); }

void osReportInfoEvent(const char* source, const char* text) { Report(LOG_INFO, source, text); }

}  // extern "C"
