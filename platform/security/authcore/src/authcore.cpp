// The exported decisions: the rules file is found, cached and re-read when it
// changes; every failure to read or parse it refuses.

#include "authcore/authcore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "os/install_dir.h"
#include "os/paths.h"
#include "rules.h"

static_assert(sizeof(mqcAuthRequest) == 36, "request record is 36 bytes");
static_assert(offsetof(mqcAuthRequest, MsgUser) == 13, "message user at 13");
static_assert(offsetof(mqcAuthRequest, Outcome) == 28, "outcome at 28");
static_assert(offsetof(mqcAuthRequest, Trace) == 32, "trace switch at 32");

namespace authcore {
namespace {

constexpr const char* kRulesFileName = "security/authority.rules";
constexpr off_t kMaxRulesBytes = 4 * 1024 * 1024;

struct FileStamp {
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = -1;
  struct timespec mtime {};
  struct timespec ctime {};  // also moves on chmod, which mtime does not
  mode_t mode = 0;
  bool exists = false;
  bool operator==(const FileStamp& o) const {
    return path == o.path && exists == o.exists && dev == o.dev && ino == o.ino &&
           size == o.size && mode == o.mode && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
           ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

// Guarded by g_mutex.
std::mutex g_mutex;
FileStamp g_stamp;
std::shared_ptr<const RuleSet> g_rules;

}  // namespace

std::string RulesPath() {
  const char* named = std::getenv(MQC_AUTH_RULES_VARIABLE);
  if (named != nullptr && named[0] != '\0') return named;
  return os::JoinPath(os::InstallDir(), kRulesFileName);
}

namespace {

RuleSet LoadRules(const std::string& path, const FileStamp& stamp) {
  RuleSet bad;
  auto refuse = [&](const std::string& why) {
    bad.error = "authority rules " + path + ": " + why;
    return bad;
  };
  if (!stamp.exists) return refuse(std::strerror(ENOENT));
  // Read with plain calls so that every error is seen: a read that fails
  // half way must not leave the rules before it in force (a "default allow"
  // at the top without the "deny" lines further down).
  // O_NOFOLLOW: a link could point the rules at a file someone else
  // controls (ELOOP names it).
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    int err = errno;
    return refuse(err == ELOOP ? std::string("a symbolic link") : std::string("open: ") + std::strerror(err));
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    return refuse(std::string("fstat: ") + std::strerror(err));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return refuse("not a regular file");
  }
  // Anyone who may write the file, or who owns it and so may chmod it, may
  // grant himself every command: the owner must be this user or root, and
  // neither the group nor others may write it.
  if (st.st_uid != ::geteuid() && st.st_uid != 0) {
    ::close(fd);
    return refuse("owned by user " + std::to_string(st.st_uid) + ", not by this user or root");
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    ::close(fd);
    return refuse((st.st_mode & S_IWOTH) != 0 ? "writable by others" : "writable by its group");
  }
  if (st.st_size > kMaxRulesBytes) {
    ::close(fd);
    return refuse("file too large");
  }
  std::string text;
  char chunk[8192];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      return refuse(std::string("read: ") + std::strerror(err));
    }
    if (n == 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
    if (text.size() > static_cast<std::size_t>(kMaxRulesBytes)) {
      ::close(fd);
      return refuse("file too large");
    }
  }
  ::close(fd);
  RuleSet set = ParseRules(text);
  if (!set.valid) set.error = "authority rules " + path + ": " + set.error;
  return set;
}

std::shared_ptr<const RuleSet> CurrentRules() {
  FileStamp stamp;
  stamp.path = RulesPath();
  struct stat st;
  // lstat: a link put in place of the file changes the stamp too.
  if (::lstat(stamp.path.c_str(), &st) == 0) {
    stamp.exists = true;
    stamp.dev = st.st_dev;
    stamp.ino = st.st_ino;
    stamp.size = st.st_size;
    stamp.mtime = st.st_mtim;
    stamp.ctime = st.st_ctim;
    stamp.mode = st.st_mode;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_rules && stamp == g_stamp) return g_rules;
  auto set = std::make_shared<RuleSet>(LoadRules(stamp.path, stamp));
  if (!set->valid) std::fprintf(stderr, "authcore: %s; refusing everything\n", set->error.c_str());
  g_stamp = stamp;
  g_rules = set;
  return g_rules;
}

int Answer(bool trust, const char* a, const char* b, const char* c,
           mqcAuthRequest* request) {
  std::string_view va = a != nullptr ? a : "";
  std::string_view vb = b != nullptr ? b : "";
  std::string_view vc = c != nullptr ? c : "";
  std::shared_ptr<const RuleSet> rules = CurrentRules();
  Decision d = Decide(*rules, trust, va, vb, vc);
  int outcome = d.yes ? 1 : 0;
  if (request != nullptr) {
    request->Outcome = outcome;
    if (request->Trace != 0) {
      std::printf("authcore: %s(%.*s, %.*s, %.*s) = %s (%s)\n",
                  trust ? "mqc_trust" : "mqc_authority", static_cast<int>(va.size()),
                  va.data(), static_cast<int>(vb.size()), vb.data(),
                  static_cast<int>(vc.size()), vc.data(), outcome ? "yes" : "no",
                  !rules->valid ? rules->error.c_str()
                  : d.line > 0  ? ("line " + std::to_string(d.line)).c_str()
                                : "default");
      std::fflush(stdout);
    }
  }
  return outcome;
}

// Answer, refusing when no memory can be had for the rules or the trace:
// nothing crosses the C interface as an exception, and a failure says no.
int GuardedAnswer(bool trust, const char* a, const char* b, const char* c,
                  mqcAuthRequest* request) {
  try {
    return Answer(trust, a, b, c, request);
  } catch (...) {
    if (request != nullptr) request->Outcome = 0;
    return 0;
  }
}

}  // namespace
}  // namespace authcore

extern "C" {

int mqc_authority(const char* user, const char* path, const char* command,
                  mqcAuthRequest* request) {
  return authcore::GuardedAnswer(false, user, path, command, request);
}

int mqc_trust(const char* user, const char* peer, const char* host,
              mqcAuthRequest* request) {
  return authcore::GuardedAnswer(true, user, peer, host, request);
}

}  // extern "C"
