#include "install.h"

#include "os/files.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mqsim {

std::string InstallRoot() {
  const char* v = std::getenv("HARROWLINE_MQM");
  if (v != nullptr && *v != '\0') return v;
  return "/var/mqm";
}

std::string MqsIniPath(const std::string& root) { return root + "/mqs.ini"; }
std::string ControlSocketPath(const std::string& root) { return root + "/mqsim.sock"; }

std::string DirectoryName(std::string_view qmgr_name) {
  std::string d(qmgr_name);
  for (char& c : d)
    if (c == '.') c = '!';
  return d;
}

static bool ValidName(std::string_view name, bool allow_slash) {
  if (name.empty() || name.size() > 48) return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '_' || c == '%' || (allow_slash && c == '/');
    if (!ok) return false;
  }
  return true;
}

bool ValidQmgrName(std::string_view name) { return ValidName(name, false); }
bool ValidObjectName(std::string_view name) { return ValidName(name, true); }

IniFile ReadMqsIni(const std::string& root) {
  std::string text;
  if (!ReadFile(MqsIniPath(root), &text)) return IniFile{};
  return IniFile::Parse(text);
}

std::vector<QmgrEntry> ListQmgrs(const IniFile& mqs) {
  std::vector<QmgrEntry> out;
  for (const auto& s : mqs.stanzas) {
    if (!EqualsNoCase(s.name, "QueueManager")) continue;
    QmgrEntry e{s.Get("Name"), s.Get("Prefix"), s.Get("Directory")};
    if (e.name.empty()) continue;
    if (e.directory.empty()) e.directory = DirectoryName(e.name);
    if (e.prefix.empty()) {
      const IniStanza* all = mqs.Find("AllQueueManagers");
      e.prefix = all != nullptr ? all->Get("DefaultPrefix") : "";
    }
    out.push_back(std::move(e));
  }
  return out;
}

std::optional<QmgrEntry> FindQmgr(const IniFile& mqs, std::string_view name) {
  for (auto& e : ListQmgrs(mqs))
    if (e.name == name) return e;
  return std::nullopt;
}

std::string DefaultQmgr(const IniFile& mqs) {
  const IniStanza* d = mqs.Find("DefaultQueueManager");
  return d != nullptr ? d->Get("Name") : "";
}

int ReadListenerPort(const std::string& data_dir) {
  std::string text;
  if (!ReadFile(data_dir + "/qm.ini", &text)) return -1;
  IniFile ini = IniFile::Parse(text);
  const IniStanza* tcp = ini.Find("TCP");
  if (tcp == nullptr) return -1;
  std::string p = tcp->Get("Port");
  if (p.empty() || p.size() > 5) return -1;
  int port = 0;
  for (char c : p) {
    if (c < '0' || c > '9') return -1;
    port = port * 10 + (c - '0');
  }
  return port <= 65535 ? port : -1;
}

bool ReadFile(const std::string& path, std::string* out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out->clear();
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      errno = e;
      return false;
    }
    if (n == 0) break;
    out->append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

// The installation's files hold queue definitions and messages: they are
// for the owner only, like their directories.
bool WriteFileAtomic(const std::string& path, std::string_view content) {
  os::Status status = os::ReplaceFileDurably(path, content, 0600);
  if (!status.ok()) errno = status.errno_value();
  return status.ok();
}

bool MakeDirs(const std::string& path) {
  std::string cur;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    cur = path.substr(0, next);
    if (!cur.empty() && ::mkdir(cur.c_str(), 0700) != 0 && errno != EEXIST) return false;
    pos = next + 1;
  }
  return true;
}

}  // namespace mqsim
