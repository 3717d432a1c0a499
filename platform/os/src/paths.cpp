// Paths: joining with "/", the working directory, creating directories.

#include "os/paths.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

// Appends text at the end of path when it fits; else leaves path alone.
int AppendBounded(char* path, size_t size, const char* text) {
  size_t used = std::strlen(path);
  size_t add = std::strlen(text);
  if (used + add + 1 > size) return 0;
  std::memcpy(path + used, text, add + 1);
  return 1;
}

}  // namespace

extern "C" {

int osTerminatePath(char* path, size_t size) {
  if (path == nullptr || size == 0) return 0;
  size_t used = strnlen(path, size);
  if (used == size) return 0;  // not terminated inside the buffer
  if (used == 0 || path[used - 1] == OS_PATH_SEPARATOR) return 1;
  return AppendBounded(path, size, OS_PATH_SEPARATOR_TEXT);
}

int osJoinPath(char* path, size_t size, const char* name) {
  if (!osTerminatePath(path, size)) return 0;
  if (name == nullptr) return 1;
  return AppendBounded(path, size, name);
}

int osGetCurrentDir(char* directory, size_t size) {
  if (directory == nullptr || size == 0) return 0;
  if (getcwd(directory, size) == nullptr) {
    directory[0] = '\0';
    return 0;
  }
  return 1;
}

int osCutAfterLastSeparator(char* path) {
  if (path == nullptr) return 0;
  char* last = std::strrchr(path, OS_PATH_SEPARATOR);
  if (last == nullptr) return 0;
  last[1] = '\0';
  return 1;
}

int osMakeDirs(const char* directory, unsigned mode) {
  if (directory == nullptr || directory[0] == '\0') return 0;
  std::string path(directory);
  // Create each prefix that ends before a "/", then the whole path.
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i != path.size() && path[i] != OS_PATH_SEPARATOR) continue;
    std::string prefix = path.substr(0, i);
    if (mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST) return 0;
  }
  struct stat st;
  return stat(directory, &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}

}  // extern "C"
