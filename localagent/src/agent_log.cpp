// The agent log and the dated console lines.

#include "agent_log.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace localagent {
namespace {

std::mutex g_mutex;
FILE* g_stream = nullptr;  // null: standard output
int g_counter = 0;
std::string g_alias, g_group, g_service;

std::string CtimeText() {
  time_t now = time(nullptr);
  char text[64];
  if (ctime_r(&now, text) == nullptr) return "Unknown";
  return text;
}

// The message with its three %s filled; other conversions are not expected
// in the texts and are left out rather than read from nowhere.
std::string Fill(const char* format) {
  const std::string* values[] = {&g_alias, &g_group, &g_service};
  std::string out;
  int next = 0;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    ++p;
    if (*p == '\0') break;
    if (*p == '%') {
      out += '%';
    } else if (*p == 's' && next < 3) {
      out += *values[next++];
    }
  }
  return out;
}

void Write(const char* format, const int* code) {
  std::lock_guard<std::mutex> lock(g_mutex);
  FILE* out = g_stream != nullptr ? g_stream : stdout;
  std::string record = "\n(" + std::to_string(g_counter) + "): " + CtimeText() + Fill(format);
  if (code != nullptr) record += ": RC(" + std::to_string(*code) + ")";
  record += "\n";
  std::fputs(record.c_str(), out);
  std::fflush(out);
  ++g_counter;
}

}  // namespace

int LogInit(const char* path, const std::string& alias, const std::string& group,
            const std::string& service) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_alias = alias;
  g_group = group;
  g_service = service;
  if (path == nullptr || std::strcmp(path, "stdout") == 0) return 1;
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return 0;
  FILE* stream = fdopen(fd, "a");
  if (stream == nullptr) {
    int saved = errno;
    close(fd);
    errno = saved;
    return 0;
  }
  if (g_stream != nullptr) std::fclose(g_stream);
  g_stream = stream;
  return 1;
}

void LogError(const char* format, int code) { Write(format, &code); }

void LogInfo(const char* format) { Write(format, nullptr); }

void LogClose() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_stream != nullptr) std::fclose(g_stream);
  g_stream = nullptr;
}

std::string LogFormat(const char* message, const std::string& extra) {
  std::string out = message;
  for (char c : extra) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

void PrintDated(const std::string& text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string line = " \nDate: " + CtimeText() + text + "\n";
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
}

void PrintRecord(const std::string& text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

std::string TimePrefix() {
  std::string text = CtimeText();
  if (text.size() < 20) return "Unknown ";
  return text.substr(11, 8) + " ";
}

}  // namespace localagent
