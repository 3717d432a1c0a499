// Temporary directories and environment variables scoped to a test.
#ifndef HARROW_TESTSUPPORT_TEMP_DIR_H_
#define HARROW_TESTSUPPORT_TEMP_DIR_H_

#include <optional>
#include <string>
#include <string_view>

namespace harrow::testsupport {

// A new directory under $TMPDIR (else /tmp), mode 0700, named
// "<prefix>.XXXXXX". The destructor removes it and everything below it
// without following symbolic links and without a shell. With
// HARROW_KEEP_TEMP set in the environment it is kept and its path printed.
// Fails the current test (and leaves path() empty) when it cannot be made.
class TempDir {
 public:
  explicit TempDir(std::string_view prefix = "harrow");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string Sub(std::string_view relative) const;

 private:
  std::string path_;
};

// Removes a directory tree without a shell; true when nothing is left.
bool RemoveTree(const std::string& path);

// Sets (or with nullopt unsets) an environment variable; the destructor
// puts the previous value back. Not for use while other threads read the
// environment.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace harrow::testsupport

#endif  // HARROW_TESTSUPPORT_TEMP_DIR_H_
