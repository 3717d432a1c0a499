// The registry stand-in: key handles over two hive files.
//
// Divisions:
//   1. Handles and hive locations
//   2. Reading a hive; changing a hive under the writer lock
//   3. The exported calls

#include "os/registry.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "hive_format.h"
#include "os/file_lock.h"
#include "os/files.h"
#include "registry_lock_wait.h"
#include "os/paths.h"

struct os_reg_key {
  int hive;          // kMachine or kUser
  std::string path;  // canonical path inside the hive, "" for the root
};

namespace os::registry {
namespace {
std::atomic<long> g_lock_wait_ms{10000};
}  // namespace
std::chrono::milliseconds LockWait() { return std::chrono::milliseconds(g_lock_wait_ms.load()); }
void SetLockWaitForTests(std::chrono::milliseconds wait) { g_lock_wait_ms.store(wait.count()); }
}  // namespace os::registry

namespace {

using os::hive::Hive;
using os::hive::Key;

// ---- 1. Handles and hive locations --------------------------------------

constexpr int kMachine = 0;
constexpr int kUser = 1;

// Which hive and key a handle names; false for a null or unknown handle.
bool Resolve(HKEY key, int* hive, std::string* path) {
  if (key == HKEY_LOCAL_MACHINE) {
    *hive = kMachine;
    path->clear();
    return true;
  }
  if (key == HKEY_CURRENT_USER) {
    *hive = kUser;
    path->clear();
    return true;
  }
  if (key == nullptr) return false;
  *hive = key->hive;
  *path = key->path;
  return true;
}

std::string HomeDir() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return std::string();
}

// The hive's directory; empty when it cannot be told (no home directory).
std::string HiveDir(int hive) {
  const char* override_dir = std::getenv("HRLCOMPACT_REGISTRY");
  if (override_dir != nullptr && override_dir[0] != '\0') return override_dir;
  if (hive == kMachine) return "/etc/brackwin";
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return os::JoinPath(config, "brackwin");
  std::string home = HomeDir();
  if (home.empty()) return std::string();
  return os::JoinPath(os::JoinPath(home, ".config"), "brackwin");
}

std::string HiveFile(int hive) {
  std::string dir = HiveDir(hive);
  if (dir.empty()) return std::string();
  return os::JoinPath(dir, hive == kMachine ? "machine.hive" : "user.hive");
}

long ErrnoResult(int error) {
  if (error == EACCES || error == EPERM || error == EROFS) return OS_REG_ACCESS_DENIED;
  return OS_REG_IO_FAILED;
}

// Canonical form of sub_key under base; false for a name over the limit.
bool ChildPath(const std::string& base, const char* sub_key, std::string* path) {
  std::vector<std::string> parts;
  if (!os::hive::SplitPath(base, &parts)) return false;
  std::vector<std::string> more;
  if (sub_key != nullptr && !os::hive::SplitPath(sub_key, &more)) return false;
  parts.insert(parts.end(), more.begin(), more.end());
  *path = os::hive::JoinParts(parts);
  return true;
}

// ---- 2. Reading a hive; changing a hive under the writer lock -----------

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

long ReadWhole(const std::string& file, std::string* text) {
  text->clear();
  Fd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return OS_REG_SUCCESS;  // no hive yet: empty
    return ErrnoResult(errno);
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd.get(), buffer, sizeof(buffer));
    if (n < 0) {
      if (errno == EINTR) continue;
      return OS_REG_IO_FAILED;
    }
    if (n == 0) break;
    text->append(buffer, static_cast<size_t>(n));
  }
  return OS_REG_SUCCESS;
}

long LoadHive(int hive_id, Hive* hive) {
  std::string file = HiveFile(hive_id);
  if (file.empty()) return OS_REG_IO_FAILED;
  std::string text;
  long result = ReadWhole(file, &text);
  if (result != OS_REG_SUCCESS) return result;
  std::string error;
  if (!os::hive::Parse(text, hive, &error)) return OS_REG_CORRUPT;
  return OS_REG_SUCCESS;
}

// Replaces the hive file durably (os/files.h).
long ReplaceFile(const std::string& file, const std::string& text, mode_t mode) {
  os::Status status = os::ReplaceFileDurably(file, text, mode);
  return status.ok() ? OS_REG_SUCCESS : ErrnoResult(status.errno_value());
}

// Loads the hive under the exclusive writer lock, applies change and, when
// it succeeds and reports a change, writes the hive back.
long ModifyHive(int hive_id, const std::function<long(Hive*, bool* changed)>& change) {
  std::string dir = HiveDir(hive_id);
  if (dir.empty()) return OS_REG_IO_FAILED;
  mode_t dir_mode = hive_id == kUser ? 0700 : 0755;
  mode_t file_mode = hive_id == kUser ? 0600 : 0644;
  if (!osMakeDirs(dir.c_str(), dir_mode)) return ErrnoResult(errno);
  std::string file = HiveFile(hive_id);
  // The writer lock (os/file_lock.h): owner-only, so no other user can
  // hold writers off with a shared lock, and taken with a bounded wait.
  os::FileLock lock;
  os::Status locked = os::FileLock::Acquire(file + ".lock", os::registry::LockWait(), &lock);
  if (!locked.ok()) {
    return locked.errno_value() == EWOULDBLOCK ? OS_REG_SHARING_VIOLATION : ErrnoResult(locked.errno_value());
  }
  Hive hive;
  long result = LoadHive(hive_id, &hive);
  if (result != OS_REG_SUCCESS) return result;
  bool changed = false;
  result = change(&hive, &changed);
  if (result != OS_REG_SUCCESS || !changed) return result;
  return ReplaceFile(file, os::hive::Serialize(hive), file_mode);
  // The lock is released when its descriptor closes.
}

// The key a handle names, in a loaded hive; null when it has gone.
const Key* FindKey(const Hive& hive, const std::string& path) {
  auto it = hive.keys.find(os::hive::Fold(path));
  return it == hive.keys.end() ? nullptr : &it->second;
}

Key* FindKey(Hive* hive, const std::string& path) {
  auto it = hive->keys.find(os::hive::Fold(path));
  return it == hive->keys.end() ? nullptr : &it->second;
}

// Folded paths of the direct sub-keys of path, in enumeration order.
std::vector<std::string> ChildKeys(const Hive& hive, const std::string& path) {
  std::string prefix = os::hive::Fold(path);
  if (!prefix.empty()) prefix += '\\';
  std::vector<std::string> children;
  for (auto it = hive.keys.lower_bound(prefix); it != hive.keys.end(); ++it) {
    const std::string& folded = it->first;
    if (folded.compare(0, prefix.size(), prefix) != 0) break;
    if (folded.size() == prefix.size()) continue;  // the root itself
    if (folded.find('\\', prefix.size()) != std::string::npos) continue;
    children.push_back(folded);
  }
  return children;
}

bool ValidValueName(const char* name) {
  return name == nullptr || std::strlen(name) <= OS_REG_MAX_NAME;
}

std::string ValueKey(const char* name) { return os::hive::Fold(name == nullptr ? "" : name); }

long OpenOrCreate(HKEY key, const char* sub_key, HKEY* result, bool create) {
  if (result == nullptr) return OS_REG_INVALID_PARAMETER;
  *result = nullptr;
  int hive_id;
  std::string base;
  if (!Resolve(key, &hive_id, &base)) return OS_REG_INVALID_HANDLE;
  std::string path;
  if (!ChildPath(base, sub_key, &path)) return OS_REG_INVALID_PARAMETER;
  std::string stored_path;
  long status;
  if (create) {
    status = ModifyHive(hive_id, [&](Hive* hive, bool* changed) {
      if (FindKey(*hive, base) == nullptr) return OS_REG_KEY_DELETED;
      if (const Key* existing = FindKey(*hive, path)) {
        stored_path = existing->path;
        return OS_REG_SUCCESS;
      }
      // Parents already present keep the case they were created with.
      std::vector<std::string> parts;
      os::hive::SplitPath(path, &parts);
      std::string prefix;
      for (std::string& part : parts) {
        std::string candidate = prefix.empty() ? part : prefix + '\\' + part;
        const Key* existing = FindKey(*hive, candidate);
        prefix = existing != nullptr ? existing->path : candidate;
      }
      stored_path = os::hive::AddKey(hive, prefix)->path;
      *changed = true;
      return OS_REG_SUCCESS;
    });
  } else {
    Hive hive;
    status = LoadHive(hive_id, &hive);
    if (status == OS_REG_SUCCESS) {
      if (FindKey(hive, base) == nullptr) {
        status = OS_REG_KEY_DELETED;
      } else if (const Key* existing = FindKey(hive, path)) {
        stored_path = existing->path;
      } else {
        status = OS_REG_FILE_NOT_FOUND;
      }
    }
  }
  if (status != OS_REG_SUCCESS) return status;
  *result = new (std::nothrow) os_reg_key{hive_id, stored_path};
  return *result != nullptr ? OS_REG_SUCCESS : 14L /* out of memory */;
}

long SetValue(HKEY key, const char* name, os::hive::Value value) {
  int hive_id;
  std::string path;
  if (!Resolve(key, &hive_id, &path)) return OS_REG_INVALID_HANDLE;
  if (!ValidValueName(name)) return OS_REG_INVALID_PARAMETER;
  value.name = name == nullptr ? "" : name;
  return ModifyHive(hive_id, [&](Hive* hive, bool* changed) {
    Key* found = FindKey(hive, path);
    if (found == nullptr) return OS_REG_KEY_DELETED;
    std::string folded = ValueKey(name);
    auto it = found->values.find(folded);
    if (it != found->values.end()) value.name = it->second.name;  // keep the stored case
    found->values[folded] = value;
    *changed = true;
    return OS_REG_SUCCESS;
  });
}

}  // namespace

// ---- 3. The exported calls -----------------------------------------------

extern "C" {

long osRegOpenKey(HKEY key, const char* sub_key, HKEY* result) {
  return OpenOrCreate(key, sub_key, result, false);
}

long osRegCreateKey(HKEY key, const char* sub_key, HKEY* result) {
  return OpenOrCreate(key, sub_key, result, true);
}

long osRegCloseKey(HKEY key) {
  if (key == nullptr) return OS_REG_INVALID_HANDLE;
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return OS_REG_SUCCESS;
  delete key;
  return OS_REG_SUCCESS;
}

long osRegQueryValue(HKEY key, const char* name, uint32_t* type, void* data, uint32_t* size) {
  int hive_id;
  std::string path;
  if (!Resolve(key, &hive_id, &path)) return OS_REG_INVALID_HANDLE;
  if (data != nullptr && size == nullptr) return OS_REG_INVALID_PARAMETER;
  if (!ValidValueName(name)) return OS_REG_INVALID_PARAMETER;
  Hive hive;
  long status = LoadHive(hive_id, &hive);
  if (status != OS_REG_SUCCESS) return status;
  const Key* found = FindKey(hive, path);
  if (found == nullptr) return OS_REG_KEY_DELETED;
  auto it = found->values.find(ValueKey(name));
  if (it == found->values.end()) return OS_REG_FILE_NOT_FOUND;
  const os::hive::Value& value = it->second;
  if (type != nullptr) *type = value.type;
  uint32_t needed = value.type == REG_DWORD ? 4u : static_cast<uint32_t>(value.text.size() + 1);
  if (size == nullptr) return OS_REG_SUCCESS;
  uint32_t room = *size;
  *size = needed;
  if (data == nullptr) return OS_REG_SUCCESS;
  if (room < needed) return OS_REG_MORE_DATA;
  if (value.type == REG_DWORD) {
    std::memcpy(data, &value.number, 4);
  } else {
    std::memcpy(data, value.text.c_str(), needed);
  }
  return OS_REG_SUCCESS;
}

long osRegQueryString(HKEY key, const char* name, char* text, uint32_t* size) {
  if (size == nullptr) return OS_REG_INVALID_PARAMETER;
  uint32_t type = 0;
  uint32_t needed = 0;
  long status = osRegQueryValue(key, name, &type, nullptr, &needed);
  if (status != OS_REG_SUCCESS) return status;
  if (type != REG_SZ) return OS_REG_WRONG_TYPE;
  status = osRegQueryValue(key, name, &type, text, size);
  if (status == OS_REG_SUCCESS && type != REG_SZ) return OS_REG_WRONG_TYPE;  // changed meanwhile
  return status;
}

long osRegQueryInt(HKEY key, const char* name, uint32_t* value) {
  if (value == nullptr) return OS_REG_INVALID_PARAMETER;
  uint32_t type = 0;
  uint32_t number = 0;
  uint32_t size = sizeof(number);
  long status = osRegQueryValue(key, name, &type, nullptr, &size);
  if (status != OS_REG_SUCCESS) return status;
  if (type != REG_DWORD) return OS_REG_WRONG_TYPE;
  size = sizeof(number);
  status = osRegQueryValue(key, name, &type, &number, &size);
  if (status != OS_REG_SUCCESS) return status;
  if (type != REG_DWORD) return OS_REG_WRONG_TYPE;
  *value = number;
  return OS_REG_SUCCESS;
}

long osRegSetString(HKEY key, const char* name, const char* text) {
  if (text == nullptr) return OS_REG_INVALID_PARAMETER;
  if (std::strlen(text) > OS_REG_MAX_STRING) return OS_REG_INVALID_PARAMETER;
  os::hive::Value value;
  value.type = REG_SZ;
  value.text = text;
  return SetValue(key, name, std::move(value));
}

long osRegSetInt(HKEY key, const char* name, uint32_t number) {
  os::hive::Value value;
  value.type = REG_DWORD;
  value.number = number;
  return SetValue(key, name, std::move(value));
}

long osRegEnumKey(HKEY key, uint32_t index, char* name, uint32_t* size) {
  int hive_id;
  std::string path;
  if (!Resolve(key, &hive_id, &path)) return OS_REG_INVALID_HANDLE;
  if (name == nullptr || size == nullptr) return OS_REG_INVALID_PARAMETER;
  Hive hive;
  long status = LoadHive(hive_id, &hive);
  if (status != OS_REG_SUCCESS) return status;
  if (FindKey(hive, path) == nullptr) return OS_REG_KEY_DELETED;
  std::vector<std::string> children = ChildKeys(hive, path);
  if (index >= children.size()) return OS_REG_NO_MORE_ITEMS;
  const std::string& child_path = hive.keys.at(children[index]).path;
  std::string child = child_path.substr(child_path.rfind('\\') == std::string::npos
                                            ? 0
                                            : child_path.rfind('\\') + 1);
  if (child.size() + 1 > *size) {
    *size = static_cast<uint32_t>(child.size() + 1);
    return OS_REG_MORE_DATA;
  }
  std::memcpy(name, child.c_str(), child.size() + 1);
  *size = static_cast<uint32_t>(child.size());
  return OS_REG_SUCCESS;
}

long osRegDeleteKey(HKEY key, const char* sub_key) {
  int hive_id;
  std::string base;
  if (!Resolve(key, &hive_id, &base)) return OS_REG_INVALID_HANDLE;
  if (sub_key == nullptr) return OS_REG_INVALID_PARAMETER;
  std::string path;
  if (!ChildPath(base, sub_key, &path)) return OS_REG_INVALID_PARAMETER;
  if (path.empty()) return OS_REG_ACCESS_DENIED;  // the root stays
  return ModifyHive(hive_id, [&](Hive* hive, bool* changed) {
    if (FindKey(*hive, path) == nullptr) return OS_REG_FILE_NOT_FOUND;
    if (!ChildKeys(*hive, path).empty()) return OS_REG_ACCESS_DENIED;
    hive->keys.erase(os::hive::Fold(path));
    *changed = true;
    return OS_REG_SUCCESS;
  });
}

long osRegDeleteValue(HKEY key, const char* name) {
  int hive_id;
  std::string path;
  if (!Resolve(key, &hive_id, &path)) return OS_REG_INVALID_HANDLE;
  if (!ValidValueName(name)) return OS_REG_INVALID_PARAMETER;
  return ModifyHive(hive_id, [&](Hive* hive, bool* changed) {
    Key* found = FindKey(hive, path);
    if (found == nullptr) return OS_REG_KEY_DELETED;
    if (found->values.erase(ValueKey(name)) == 0) return OS_REG_FILE_NOT_FOUND;
    *changed = true;
    return OS_REG_SUCCESS;
  });
}

long osRegHiveFile(HKEY root, char* path, size_t size) {
  if (path == nullptr || size == 0) return OS_REG_INVALID_PARAMETER;
  int hive_id;
  if (root == HKEY_LOCAL_MACHINE) {
    hive_id = kMachine;
  } else if (root == HKEY_CURRENT_USER) {
    hive_id = kUser;
  } else {
    return OS_REG_INVALID_HANDLE;
  }
  std::string file = HiveFile(hive_id);
  if (file.empty()) return OS_REG_IO_FAILED;
  if (file.size() + 1 > size) return OS_REG_MORE_DATA;
  std::memcpy(path, file.c_str(), file.size() + 1);
  return OS_REG_SUCCESS;
}

}  // extern "C"
