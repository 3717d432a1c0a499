#include "fields.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

namespace qmlink {

void SetBlankField(char* field, size_t width, const char* text) {
  size_t n = 0;
  if (text != nullptr) n = strnlen(text, width);
  if (n > 0) std::memcpy(field, text, n);
  std::memset(field + n, ' ', width - n);
}

std::string FieldText(const char* field, size_t width) {
  std::string text(field, strnlen(field, width));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

void CopyCut(char* buffer, size_t size, std::string_view text) {
  if (size == 0) return;
  size_t n = std::min(size - 1, text.size());
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

std::string WithoutBlanks(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != ' ') out += c;
  return out;
}

bool IsZero(const void* bytes, size_t length) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  return std::all_of(p, p + length, [](unsigned char c) { return c == 0; });
}

GetWait BoundWait(MQLONG wait_ms) {
  if (wait_ms == MQWI_UNLIMITED) return {true, QMLINK_MAX_WAIT_MS};
  if (wait_ms > 0) return {true, std::min<MQLONG>(wait_ms, QMLINK_MAX_WAIT_MS)};
  return {false, 0};
}

MQGMO MakeGetOptions(MQLONG options, MQLONG wait_ms) {
  MQGMO gmo{};
  std::memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
  gmo.Version = MQGMO_VERSION_2;
  gmo.MatchOptions = MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID;
  gmo.Options = options;
  GetWait w = BoundWait(wait_ms);
  if (w.wait) {
    gmo.Options |= MQGMO_WAIT;
    gmo.WaitInterval = w.interval_ms;
  }
  return gmo;
}

void PrintDated(const std::string& text) {
  char date[64] = "Unknown\n";
  std::time_t now = std::time(nullptr);
  if (now != static_cast<std::time_t>(-1)) ctime_r(&now, date);
  std::string line = " \nDate: ";
  line += date;
  line += text;
  line += "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

namespace {

// Set at start-up and read by every creation; a mutex keeps the three
// values of one call together.
std::mutex g_trace_mu;
QueueTraceDefaults g_queue_defaults{nullptr, 0};
ManagerTraceDefaults g_manager_defaults{nullptr, nullptr, 0};

}  // namespace

QueueTraceDefaults GetQueueTraceDefaults() {
  std::lock_guard<std::mutex> lock(g_trace_mu);
  return g_queue_defaults;
}

ManagerTraceDefaults GetManagerTraceDefaults() {
  std::lock_guard<std::mutex> lock(g_trace_mu);
  return g_manager_defaults;
}

}  // namespace qmlink

extern "C" int OnGQTrace(MQueueTraceFn callback, MQLONG data) {
  std::lock_guard<std::mutex> lock(qmlink::g_trace_mu);
  qmlink::g_queue_defaults = {callback, data};
  return 1;
}

extern "C" int OnGQMgrTrace(MQManagerTraceFn callback, MQueueTraceFn queue_callback, MQLONG queue_data) {
  std::lock_guard<std::mutex> lock(qmlink::g_trace_mu);
  qmlink::g_manager_defaults = {callback, queue_callback, queue_data};
  return 1;
}
