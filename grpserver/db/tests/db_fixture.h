// db_fixture.h: a group directory under a temporary install directory, the
// process-wide database pointed at it, and verbs to make records.
#ifndef GROUPDB_TESTS_DB_FIXTURE_H_
#define GROUPDB_TESTS_DB_FIXTURE_H_

#include <gtest/gtest.h>
#include <os/fault_injection.h>

#include <string>
#include <vector>

#include "file_util.h"
#include "groupdb/groupdb.h"
#include "test_util.h"

namespace groupdb::testing {

inline std::vector<std::string>& CapturedReports() {
  static std::vector<std::string> lines;
  return lines;
}

inline void CaptureReport(const char* text, int, int) { CapturedReports().push_back(text); }
inline void QuietPrint(const char*) {}

// Makes the file layer's `call` ("open", "read", "write", "fsync", ...) fail
// as with EIO on every path that contains `part`.
inline void FailCall(const std::string& call, const std::string& part) {
  os::SetFaultHook([point = std::string(kFaultPointPrefix) + call, part](std::string_view p, std::string_view subject) {
    return p == point && subject.find(part) != std::string_view::npos ? os::FaultAction::kFail
                                                                       : os::FaultAction::kNone;
  });
}

inline bool Reported(const std::string& prefix) {
  for (const auto& l : CapturedReports()) {
    if (l.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

class DbFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MakeDirectory(tmp_.Sub("groups")).ok());
    ASSERT_TRUE(MakeDirectory(GroupDir()).ok());
    DbSetInstallDir(tmp_.path().c_str());
    DbSetReportHook(CaptureReport);
    DbSetPrintHook(QuietPrint);
    CapturedReports().clear();
  }
  void TearDown() override {
    DbCloseLocked();
    os::DisarmFaults();
  }
  std::string GroupDir() const { return tmp_.Sub("groups/" + group_ + "/"); }
  void Open() {
    int out = -1;
    ASSERT_EQ(DbOpen(group_.c_str(), &out), 1) << "out " << out;
    ASSERT_EQ(out, 0);
  }

  static GroupDbRecord Blank(int table) {
    GroupDbRecord r;
    r.Table = static_cast<uint32_t>(table);
    DbClearRecord(&r);
    return r;
  }
  static void Set(GroupDbRecord* r, int field, const std::string& v) { ASSERT_EQ(DbSetField(r, field, v.c_str()), 1); }
  static std::string Get(const GroupDbRecord& r, int field) {
    char buf[512];
    EXPECT_EQ(DbGetField(&r, field, buf, sizeof buf), 1);
    return buf;
  }
  // Adds the MANAGERS record that object records refer to.
  void AddManager(const std::string& name) {
    GroupDbRecord m = Blank(DBT_MANAGERS);
    Set(&m, DBF_MANAGER_NAME, name);
    int out = -1;
    ASSERT_EQ(DbWriteRecord(&m, GDB_WRITE_ADD, &out), 1) << out;
  }
  static GroupDbRecord Queue(const std::string& mgr, const std::string& node, const std::string& qmgr,
                             const std::string& q) {
    GroupDbRecord r = Blank(DBT_LOCALQS);
    Set(&r, DBF_MANAGER_NAME, mgr);
    Set(&r, DBF_MQNODE_NAME, node);
    Set(&r, DBF_MQMGR_NAME, qmgr);
    Set(&r, DBF_LOCAL_Q_NAME, q);
    return r;
  }

  TempDir tmp_{"groupdb-test"};
  std::string group_ = "GRP1";
};

}  // namespace groupdb::testing

#endif  // GROUPDB_TESTS_DB_FIXTURE_H_
