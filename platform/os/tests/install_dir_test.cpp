// The install directory: the order of its sources, and the C call's
// buffer handling.

#include "os/install_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "install_dir_cases.h"

namespace {

TEST(OsInstallDirTest, SourcesOverrideInOrderThroughTheCall) {
  os_test::ExpectInstallDirOrder([] {
    char directory[1024];
    int from_variable = osGetInstallDir(directory, sizeof(directory));
    return os_test::ResolvedInstallDir{os_test::Terminated(directory), from_variable == 1};
  });
}

TEST(OsInstallDirTest, SourcesOverrideInOrderThroughTheStringForm) {
  os_test::ExpectInstallDirOrder([] {
    bool from_variable = false;
    std::string directory = os::InstallDir(&from_variable);
    return os_test::ResolvedInstallDir{os_test::Terminated(directory), from_variable};
  });
}

// A variable too long for the caller's buffer is passed over for the next
// source down, and the result says it did not come from the variable.
TEST(OsInstallDirTest, SourceTooLongForTheBufferIsPassedOver) {
  const char* saved = getenv("HRLCOMPACT");
  std::string saved_value = saved != nullptr ? saved : "";
  setenv("HRLCOMPACT", std::string(200, 'v').c_str(), 1);
  setenv("HRLCOMPACT_REGISTRY", "/nonexistent/registry-dir", 1);
  char directory[64];
  EXPECT_EQ(osGetInstallDir(directory, sizeof(directory)), 0);
  EXPECT_LT(std::string(directory).size(), sizeof(directory));
  EXPECT_NE(std::string(directory), std::string(200, 'v'));
  char tiny[2] = {'x', 'x'};
  EXPECT_EQ(osGetInstallDir(tiny, sizeof(tiny)), 0);
  EXPECT_LT(strnlen(tiny, sizeof(tiny)), sizeof(tiny));
  unsetenv("HRLCOMPACT_REGISTRY");
  if (saved != nullptr) {
    setenv("HRLCOMPACT", saved_value.c_str(), 1);
  } else {
    unsetenv("HRLCOMPACT");
  }
}

}  // namespace
