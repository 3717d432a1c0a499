// The install-directory order as a table of cases, run against every
// library that finds files under the installation. Each library's test
// passes a function that returns the directory the library worked out
// (ended with "/"), and the table checks it against the order of
// os/install_dir.h: variable over registry value over the working
// directory's parent over the default.
//
// The cases set HRLCOMPACT, HRLCOMPACT_REGISTRY and the working directory
// and put them back afterwards; the test must not run other threads that
// depend on them meanwhile.
#ifndef OS_TESTS_INSTALL_DIR_CASES_H_
#define OS_TESTS_INSTALL_DIR_CASES_H_

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "os/install_dir.h"
#include "os/paths.h"
#include "os/registry.h"
#include "testsupport/testsupport.h"

namespace os_test {

// What a library worked out: its directory (ending in "/") and whether it
// says the variable named it (libraries that do not tell give nullopt).
struct ResolvedInstallDir {
  std::string directory;
  std::optional<bool> from_variable;
};

inline std::string Terminated(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

inline void ExpectInstallDirOrder(const std::function<ResolvedInstallDir()>& resolve) {
  namespace fs = std::filesystem;
  enum Source { kUnset, kEmpty, kSet };
  struct Case {
    const char* name;
    Source variable;
    Source registry;
    bool cwd_reachable;
    const char* expected;  // "default", "cwd", "registry", "variable"
  } cases[] = {
      {"default when nothing else can be had", kUnset, kUnset, false, "default"},
      {"working directory's parent over the default", kUnset, kUnset, true, "cwd"},
      {"registry value over the working directory", kUnset, kSet, true, "registry"},
      {"registry value without a working directory", kUnset, kSet, false, "registry"},
      {"empty registry value is passed over", kUnset, kEmpty, true, "cwd"},
      {"variable over everything", kSet, kSet, true, "variable"},
      {"variable with nothing else", kSet, kUnset, false, "variable"},
      {"empty variable is passed over", kEmpty, kSet, true, "registry"},
  };

  char saved_cwd[4096];
  ASSERT_NE(getcwd(saved_cwd, sizeof(saved_cwd)), nullptr);
  auto saved = [](const char* name) -> std::optional<std::string> {
    const char* v = getenv(name);
    return v != nullptr ? std::optional<std::string>(v) : std::nullopt;
  };
  std::optional<std::string> saved_variable = saved(OS_INSTALL_DIR_VARIABLE);
  std::optional<std::string> saved_registry = saved("HRLCOMPACT_REGISTRY");

  harrow::testsupport::TempDir temp("install_dir_cases");
  ASSERT_FALSE(temp.path().empty());
  const std::string root = temp.path();

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string registry_dir = root + "/registry";
    fs::remove_all(registry_dir);
    fs::create_directories(registry_dir);
    setenv("HRLCOMPACT_REGISTRY", registry_dir.c_str(), 1);
    if (c.registry != kUnset) {
      HKEY key = nullptr;
      ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, OS_INSTALL_DIR_REGISTRY_KEY, &key), OS_REG_SUCCESS);
      std::string value = c.registry == kSet ? root + "/from-registry" : "";
      ASSERT_EQ(osRegSetString(key, OS_INSTALL_DIR_REGISTRY_VALUE, value.c_str()), OS_REG_SUCCESS);
      osRegCloseKey(key);
    }
    if (c.variable == kUnset) {
      unsetenv(OS_INSTALL_DIR_VARIABLE);
    } else {
      setenv(OS_INSTALL_DIR_VARIABLE, c.variable == kSet ? (root + "/from-variable").c_str() : "", 1);
    }
    // An unreachable working directory: one removed after entering it.
    std::string work = root + (c.cwd_reachable ? "/tools/bin" : "/gone/bin");
    fs::create_directories(work);
    ASSERT_EQ(chdir(work.c_str()), 0);
    if (!c.cwd_reachable) fs::remove_all(root + "/gone");

    std::string expected = std::string(c.expected) == "default"    ? OS_DEFAULT_INSTALL_DIR
                           : std::string(c.expected) == "cwd"      ? root + "/tools/"
                           : std::string(c.expected) == "registry" ? root + "/from-registry"
                                                                   : root + "/from-variable";
    ResolvedInstallDir got = resolve();
    EXPECT_EQ(got.directory, Terminated(expected));
    if (got.from_variable.has_value()) {
      EXPECT_EQ(*got.from_variable, std::string(c.expected) == "variable");
    }
    ASSERT_EQ(chdir(saved_cwd), 0);
  }

  if (saved_variable) {
    setenv(OS_INSTALL_DIR_VARIABLE, saved_variable->c_str(), 1);
  } else {
    unsetenv(OS_INSTALL_DIR_VARIABLE);
  }
  if (saved_registry) {
    setenv("HRLCOMPACT_REGISTRY", saved_registry->c_str(), 1);
  } else {
    unsetenv("HRLCOMPACT_REGISTRY");
  }
}

}  // namespace os_test

#endif  // OS_TESTS_INSTALL_DIR_CASES_H_
