// Login, host and program names of this process.

#include "os/names.h"

#include <errno.h>
#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Copies text into name (size bytes); 1 when all of it fit.
int CopyBounded(const std::string& text, char* name, size_t size) {
  if (name == nullptr || size == 0) return 0;
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(name, text.data(), n);
  name[n] = '\0';
  return n == text.size() ? 1 : 0;
}

int Fail(char* name, size_t size) {
  if (name != nullptr && size > 0) name[0] = '\0';
  return 0;
}

std::string ProgramPath() {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return std::string();
  return std::string(buffer.data(), static_cast<size_t>(n));
}

}  // namespace

extern "C" {

int osGetLoginName(char* name, size_t size) {
  long max = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(max > 0 ? static_cast<size_t>(max) : 16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_name != nullptr && found->pw_name[0] != '\0') {
    return CopyBounded(found->pw_name, name, size);
  }
  for (const char* variable : {"USER", "LOGNAME"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') return CopyBounded(value, name, size);
  }
  return Fail(name, size);
}

int osGetHostName(char* name, size_t size) {
  char host[HOST_NAME_MAX + 1];
  if (gethostname(host, sizeof(host)) != 0) return Fail(name, size);
  host[HOST_NAME_MAX] = '\0';
  return CopyBounded(host, name, size);
}

int osGetProgramName(char* name, size_t size) {
  std::string path = ProgramPath();
  if (path.empty()) {
    // Without /proc, the name the process was started under.
    if (program_invocation_short_name == nullptr) return Fail(name, size);
    return CopyBounded(program_invocation_short_name, name, size);
  }
  size_t slash = path.rfind('/');
  return CopyBounded(slash == std::string::npos ? path : path.substr(slash + 1), name, size);
}

int osGetProgramPath(char* path, size_t size) {
  std::string full = ProgramPath();
  if (full.empty()) return Fail(path, size);
  return CopyBounded(full, path, size);
}

}  // extern "C"
