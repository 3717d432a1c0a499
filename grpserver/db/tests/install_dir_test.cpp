// Where the database looks for its groups: the suite's install directory
// in the suite's order (variable, registry value, the working directory's
// parent, the default) unless the group manager set one.
#include <gtest/gtest.h>

#include "global_db.h"
#include "groupdb/groupdb.h"
#include "install_dir_cases.h"

namespace groupdb {
namespace {

TEST(GroupDbInstallDirTest, GroupsAreFoundUnderTheSuitesInstallDirectory) {
  DbSetInstallDir(nullptr);
  os_test::ExpectInstallDirOrder([] { return os_test::ResolvedInstallDir{os_test::Terminated(InstallDirectory()), {}}; });
}

TEST(GroupDbInstallDirTest, TheDirectoryTheGroupManagerSetComesFirst) {
  DbSetInstallDir("/srv/groups-here");
  EXPECT_EQ(InstallDirectory(), "/srv/groups-here");
  DbSetInstallDir("");
  EXPECT_EQ(InstallDirectory(), os::InstallDir());
}

}  // namespace
}  // namespace groupdb
