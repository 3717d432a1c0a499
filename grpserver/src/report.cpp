// report.cpp: the date line, ReportError and the system log of service mode.
#include "report.h"

#include <syslog.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace grpserver {
namespace {

bool g_to_system_log = false;

}  // namespace

std::string DateLine() {
  char date[64] = "unknown\n";
  std::time_t now = std::time(nullptr);
  if (now != static_cast<std::time_t>(-1)) ctime_r(&now, date);
  return std::string("\nDate: ") + date;
}

void PrintDateLine() { std::fputs(DateLine().c_str(), stdout); }

std::string Format(const char* format, ...) {
  char small[512];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(big.data(), big.size(), format, args);
  va_end(args);
  big.resize(static_cast<size_t>(n));
  return big;
}

void SetReportToSystemLog(bool on) { g_to_system_log = on; }

void ReportError(const std::string& text, int severity, int /*box*/) {
  std::string record = DateLine() + text;
  std::fputs(record.c_str(), stdout);
  std::fflush(stdout);
  if (g_to_system_log) {
    int priority = severity >= kError ? LOG_ERR : severity == kWarning ? LOG_WARNING : LOG_INFO;
    openlog("HRLCompactServer", LOG_PID, LOG_DAEMON);
    syslog(priority, "%s", text.c_str());
    closelog();
  }
}

}  // namespace grpserver
