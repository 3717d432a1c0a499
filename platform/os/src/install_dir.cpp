// The install directory: default, working directory, registry, variable.

#include "os/install_dir.h"

#include <stdint.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "os/paths.h"
#include "os/registry.h"

namespace {

// Longest working directory or registry value taken, in characters.
constexpr size_t kMaxSourceChars = 512;

// Every source that names a directory, lowest priority first; the last is
// from the variable when *from_variable_last.
std::vector<std::string> Candidates(bool* from_variable_last) {
  std::vector<std::string> candidates{OS_DEFAULT_INSTALL_DIR};
  char cwd[kMaxSourceChars + 1];
  if (getcwd(cwd, sizeof(cwd)) != nullptr && osCutAfterLastSeparator(cwd)) {
    candidates.emplace_back(cwd);
  }
  HKEY key = nullptr;
  if (osRegOpenKey(HKEY_LOCAL_MACHINE, OS_INSTALL_DIR_REGISTRY_KEY, &key) == OS_REG_SUCCESS) {
    char work_path[kMaxSourceChars + 1];
    uint32_t length = sizeof(work_path);
    if (osRegQueryString(key, OS_INSTALL_DIR_REGISTRY_VALUE, work_path, &length) ==
            OS_REG_SUCCESS &&
        work_path[0] != '\0') {
      candidates.emplace_back(work_path);
    }
    osRegCloseKey(key);
  }
  // An empty variable names no directory.
  const char* variable = std::getenv(OS_INSTALL_DIR_VARIABLE);
  *from_variable_last = variable != nullptr && variable[0] != '\0';
  if (*from_variable_last) candidates.emplace_back(variable);
  return candidates;
}

}  // namespace

extern "C" int osGetInstallDir(char* directory, size_t size) {
  if (directory == nullptr || size == 0) return 0;
  directory[0] = '\0';
  bool from_variable = false;
  std::vector<std::string> candidates = Candidates(&from_variable);
  for (size_t i = candidates.size(); i-- > 0;) {
    const std::string& candidate = candidates[i];
    if (candidate.size() + 1 > size) continue;
    std::memcpy(directory, candidate.c_str(), candidate.size() + 1);
    return from_variable && i + 1 == candidates.size() ? 1 : 0;
  }
  return 0;
}

namespace os {

std::string InstallDir(bool* from_variable) {
  bool variable = false;
  std::vector<std::string> candidates = Candidates(&variable);
  if (from_variable != nullptr) *from_variable = variable;
  return candidates.back();
}

}  // namespace os
