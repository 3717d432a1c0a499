#include "testsupport/temp_dir.h"

#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace harrow::testsupport {

namespace {

int RemoveEntry(const char* path, const struct stat*, int type, struct FTW*) {
  int rc = (type == FTW_DP) ? rmdir(path) : unlink(path);
  if (rc != 0 && errno != ENOENT) {
    fprintf(stderr, "testsupport: cannot remove %s: %s\n", path, strerror(errno));
  }
  return 0;  // go on with the rest of the tree
}

}  // namespace

bool RemoveTree(const std::string& path) {
  if (path.empty()) return true;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  // A directory left without search permission by a test is opened up
  // again first, so that its contents can go too.
  nftw(path.c_str(),
       [](const char* p, const struct stat* s, int type, struct FTW*) {
         if (type == FTW_D || type == FTW_DNR) chmod(p, (s->st_mode & 07777) | S_IRWXU);
         return 0;
       },
       32, FTW_PHYS);
  nftw(path.c_str(), RemoveEntry, 32, FTW_DEPTH | FTW_PHYS);
  return lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

TempDir::TempDir(std::string_view prefix) {
  const char* base = getenv("TMPDIR");
  std::string tmpl = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" +
                     std::string(prefix) + ".XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp " << tmpl << ": " << strerror(errno);
    return;
  }
  path_ = buf.data();
  chmod(path_.c_str(), 0700);
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  if (getenv("HARROW_KEEP_TEMP") != nullptr) {
    fprintf(stderr, "testsupport: kept %s\n", path_.c_str());
    return;
  }
  if (!RemoveTree(path_)) fprintf(stderr, "testsupport: %s was not removed whole\n", path_.c_str());
}

std::string TempDir::Sub(std::string_view relative) const {
  return path_ + "/" + std::string(relative);
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
  if (const char* old = getenv(name_.c_str())) previous_ = old;
  if (value) {
    setenv(name_.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

ScopedEnv::~ScopedEnv() {
  if (previous_) {
    setenv(name_.c_str(), previous_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

std::string ReadWholeFile(const std::string& path) {
  std::string out;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return out;
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return out;
}

}  // namespace harrow::testsupport
