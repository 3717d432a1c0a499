// The install directory, path joining, file sizes.

#include <stdint.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/install_dir.h"
#include "os/paths.h"
#include "pcfcore/ini.h"

extern "C" {

// One order for the whole suite: os/install_dir.h.
int tlxGetInstallDirN(char* directory, size_t size) { return osGetInstallDir(directory, size); }

int tlxGetInstallDir(char* directory) { return tlxGetInstallDirN(directory, TLX_MAX_PATH); }

int tlxTerminatePathN(char* path, size_t size) { return osTerminatePath(path, size); }

int tlxMakePathN(char* directory, size_t size, const char* name) {
  return osJoinPath(directory, size, name);
}

int tlxTerminatePath(char* path) { return tlxTerminatePathN(path, TLX_MAX_PATH); }

int tlxMakePath(char* directory, const char* name) {
  return tlxMakePathN(directory, TLX_MAX_PATH, name);
}

int tlxUseLongNames(char* path) {
  if (path == nullptr) return 0;
  size_t length = strnlen(path, TLX_MAX_PATH);
  if (length == 0) return 1;
  if (length + 3 > TLX_MAX_PATH) return 0;
  std::memmove(path + 1, path, length);
  path[0] = '"';
  path[length + 1] = '"';
  path[length + 2] = '\0';
  return 1;
}

int SizeOfFile(FILE* file, long* size) {
  if (file == nullptr || size == nullptr) return 0;
  long here = std::ftell(file);
  if (here < 0) {
    std::perror("SizeOfFile() - ftell() failed");
    return 0;
  }
  if (std::fseek(file, 0, SEEK_END) != 0) {
    std::perror("SizeOfFile() - fseek() failed");
    return 0;
  }
  long end = std::ftell(file);
  if (end < 0) {
    std::perror("SizeOfFile() - ftell() failed");
    std::fseek(file, here, SEEK_SET);
    return 0;
  }
  if (std::fseek(file, here, SEEK_SET) != 0) {
    std::perror("SizeOfFile() - fseek() failed");
    return 0;
  }
  *size = end;
  return 1;
}

int SizeOfFileByName(const char* path, long* size) {
  if (path == nullptr || size == nullptr) return 0;
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    std::perror("SizeOfFileByName() - fopen() failed");
    return 0;
  }
  int result = 0;
  if (std::fseek(file, 0, SEEK_END) != 0) {
    std::perror("SizeOfFileByName() - fseek() failed");
  } else {
    long end = std::ftell(file);
    if (end < 0) {
      std::perror("SizeOfFileByName() - ftell() failed");
    } else {
      *size = end;
      result = 1;
    }
  }
  std::fclose(file);
  return result;
}

}  // extern "C"
