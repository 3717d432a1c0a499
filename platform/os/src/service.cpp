// systemd unit files in place of the service control manager.

#include "os/service.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/files.h"

namespace {

int CopyOut(const std::string& text, char* out, size_t size) {
  if (out == nullptr || size == 0) return 0;
  if (text.size() >= size) {
    out[0] = '\0';
    errno = ENAMETOOLONG;
    return 0;
  }
  std::memcpy(out, text.c_str(), text.size() + 1);
  return 1;
}

bool ValidUnitName(const char* name) {
  if (name == nullptr || name[0] == '\0' || std::strlen(name) > 200) return false;
  for (const char* p = name; *p != '\0'; ++p) {
    char c = *p;
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-' || c == '.';
    if (!ok) return false;
  }
  return std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

bool HasLineEnd(const char* text) {
  return text != nullptr && (std::strchr(text, '\n') != nullptr || std::strchr(text, '\r') != nullptr);
}

// One word of a command or assignment in double quotes, with the characters
// that systemd would otherwise expand escaped: "%" specifiers, "$" variables.
std::string Quoted(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '%': out += "%%"; break;
      case '$': out += "$$"; break;
      default: out += c;
    }
  }
  out += '"';
  return out;
}

std::string UnitDir() {
  const char* dir = std::getenv("HRLCOMPACT_UNIT_DIR");
  return dir != nullptr && dir[0] != '\0' ? dir : OS_DEFAULT_UNIT_DIR;
}

bool UnitPath(const char* name, std::string* path) {
  if (!ValidUnitName(name)) {
    errno = EINVAL;
    return false;
  }
  std::string dir = UnitDir();
  if (dir.back() != '/') dir += '/';
  *path = dir + name + ".service";
  return true;
}

bool BuildText(const OsServiceUnit* unit, std::string* text) {
  if (unit == nullptr || !ValidUnitName(unit->name) || unit->program == nullptr ||
      unit->program[0] != '/' || HasLineEnd(unit->program) || HasLineEnd(unit->description)) {
    errno = EINVAL;
    return false;
  }
  std::string exec = Quoted(unit->program);
  for (const char* const* arg = unit->args; arg != nullptr && *arg != nullptr; ++arg) {
    if (HasLineEnd(*arg)) {
      errno = EINVAL;
      return false;
    }
    exec += ' ';
    exec += Quoted(*arg);
  }
  std::string environment;
  for (const char* const* name = unit->env; name != nullptr && *name != nullptr; ++name) {
    const char* value = std::getenv(*name);
    if (value == nullptr) continue;
    if (HasLineEnd(value) || std::strchr(*name, '=') != nullptr) {
      errno = EINVAL;
      return false;
    }
    environment += "Environment=" + Quoted(std::string(*name) + "=" + value) + "\n";
  }
  std::string out;
  out += "[Unit]\n";
  out += "Description=" + std::string(unit->description ? unit->description : unit->name) + "\n";
  out += "After=network-online.target\n";
  out += "Wants=network-online.target\n";
  out += "\n[Service]\n";
  out += "Type=simple\n";
  out += environment;
  out += "ExecStart=" + exec + "\n";
  out += "KillSignal=SIGTERM\n";
  out += "Restart=no\n";
  out += "\n[Install]\n";
  out += "WantedBy=multi-user.target\n";
  *text = out;
  return true;
}

}  // namespace

extern "C" {

int osServiceUnitDir(char* dir, size_t size) { return CopyOut(UnitDir(), dir, size); }

int osServiceUnitPath(const char* name, char* path, size_t size) {
  std::string full;
  if (!UnitPath(name, &full)) {
    if (path != nullptr && size > 0) path[0] = '\0';
    return 0;
  }
  return CopyOut(full, path, size);
}

int osServiceUnitText(const OsServiceUnit* unit, char* text, size_t size) {
  std::string out;
  if (!BuildText(unit, &out)) {
    if (text != nullptr && size > 0) text[0] = '\0';
    return 0;
  }
  return CopyOut(out, text, size);
}

int osInstallService(const OsServiceUnit* unit) {
  std::string text;
  std::string path;
  if (!BuildText(unit, &text) || !UnitPath(unit->name, &path)) return 0;
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) {
    errno = EEXIST;
    return 0;
  }
  std::string temporary = path + ".tmp." + std::to_string(getpid());
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return 0;
  // The unit must be readable by the service manager whatever the umask.
  bool ok = fchmod(fd, 0644) == 0 && os::WriteFull(fd, text.data(), text.size()) && fsync(fd) == 0;
  int saved = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  // link() refuses an existing target, so two installers cannot both win.
  if (ok && link(temporary.c_str(), path.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  unlink(temporary.c_str());
  errno = saved;
  return ok ? 1 : 0;
}

int osRemoveService(const char* name) {
  std::string path;
  if (!UnitPath(name, &path)) return 0;
  return unlink(path.c_str()) == 0 ? 1 : 0;
}

char* osSystemErrorText(int err, char* text, size_t size) {
  if (text == nullptr || size == 0) return text;
  char message[256];
  const char* system = strerror_r(err, message, sizeof(message));
  std::string out = std::string(system) + " (0x" + [err] {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "%x", static_cast<unsigned>(err));
    return std::string(hex);
  }() + ")";
  // As the servers always did: no text rather than a cut one.
  if (out.size() + 14 > size) {
    text[0] = '\0';
    return text;
  }
  std::memcpy(text, out.c_str(), out.size() + 1);
  return text;
}

}  // extern "C"
