// Tests of the data file layer: header bytes, the free-list example, header
// kept true on disk after every add and delete, refusal to reuse a slot
// that is not free, and checks of headers and links at open.
#include <gtest/gtest.h>

#include <cstring>

#include "data_file.h"
#include "dictionary.h"
#include "groupdb/fields.h"
#include "test_util.h"

namespace groupdb {
namespace {

using testing::PutWord;
using testing::ReadWholeFile;
using testing::TempDir;
using testing::WordAt;
using testing::WriteWholeFile;

constexpr int kTable = DBT_MANAGERS;
constexpr uint32_t kLen = 614;

// A live MANAGERS record: every field blank, the name set.
std::vector<uint8_t> Record(const std::string& name) {
  std::vector<uint8_t> rec(kLen);
  const TableDef* td = TableByNumber(kTable);
  int off = 0;
  for (int i = 0; i < td->field_count; ++i) {
    int w = FieldByNumber(td->fields[i])->width;
    std::memset(rec.data() + off, ' ', w);
    rec[off + w] = 0;
    off += w + 1;
  }
  std::memcpy(rec.data(), name.data(), std::min<size_t>(name.size(), 32));
  return rec;
}

class DataFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = tmp_.Sub("MANAGERS.dat");
    ASSERT_TRUE(DataFile::CreateEmpty(path_, kLen).ok());
    ASSERT_TRUE(df_.Open(path_, kTable).ok());
  }
  uint32_t Add(const std::string& name) {
    uint32_t n = 0;
    Status s = df_.NewRecord(Record(name).data(), &n);
    EXPECT_TRUE(s.ok()) << s.message();
    return n;
  }
  // The header as it is on disk now, without closing anything.
  std::vector<uint32_t> DiskHeader() {
    std::vector<uint8_t> b = ReadWholeFile(path_);
    return {WordAt(b, 0), WordAt(b, 4), WordAt(b, 8)};
  }

  TempDir tmp_{"groupdb-test"};
  std::string path_;
  DataFile df_;
};

TEST_F(DataFileTest, EmptyFileIsItsTwelveByteHeader) {
  std::vector<uint8_t> want(12, 0);
  PutWord(want, 4, 1);
  PutWord(want, 8, kLen);
  EXPECT_EQ(ReadWholeFile(path_), want);
}

TEST_F(DataFileTest, FreeListExample) {
  for (int i = 1; i <= 6; ++i) ASSERT_EQ(Add("M" + std::to_string(i)), uint32_t(i));
  ASSERT_TRUE(df_.Delete(3).ok());
  ASSERT_TRUE(df_.Delete(5).ok());
  std::vector<uint8_t> b = ReadWholeFile(path_);
  EXPECT_EQ(WordAt(b, 0), 5u);                         // head
  EXPECT_EQ(WordAt(b, 4), 7u);                         // next
  EXPECT_EQ(WordAt(b, 12 + 4 * kLen), 0xFFFFFFFFu);    // record 5 deleted
  EXPECT_EQ(WordAt(b, 12 + 4 * kLen + 4), 3u);         // its link
  EXPECT_EQ(WordAt(b, 12 + 2 * kLen), 0xFFFFFFFFu);    // record 3 deleted
  EXPECT_EQ(WordAt(b, 12 + 2 * kLen + 4), 0u);
  for (uint32_t i = 8; i < kLen; ++i) ASSERT_EQ(b[12 + 2 * kLen + i], 0) << i;
  EXPECT_EQ(Add("A"), 5u);
  EXPECT_EQ(Add("B"), 3u);
  EXPECT_EQ(Add("C"), 7u);
}

TEST_F(DataFileTest, HeaderOnDiskIsTrueAfterEveryAddAndDelete) {
  Add("A");
  Add("B");
  EXPECT_EQ(DiskHeader(), (std::vector<uint32_t>{0, 3, kLen}));
  ASSERT_TRUE(df_.Delete(1).ok());
  EXPECT_EQ(DiskHeader(), (std::vector<uint32_t>{1, 3, kLen}));
  Add("C");
  EXPECT_EQ(DiskHeader(), (std::vector<uint32_t>{0, 3, kLen}));
}

TEST_F(DataFileTest, ReadingTheNextRecordNumberFailsWithoutReading) {
  Add("A");
  std::vector<uint8_t> buf(kLen);
  EXPECT_EQ(df_.Read(2, buf.data()).code(), kCorrupt);
  EXPECT_EQ(df_.Read(0, buf.data()).code(), kCorrupt);
  EXPECT_TRUE(df_.Read(1, buf.data()).ok());
}

TEST_F(DataFileTest, DeletingADeletedRecordIsRefused) {
  Add("A");
  Add("B");
  ASSERT_TRUE(df_.Delete(1).ok());
  EXPECT_EQ(df_.Delete(1).code(), kNotFound);  // would loop the free list
  EXPECT_EQ(DiskHeader()[0], 1u);
}

TEST_F(DataFileTest, FreeHeadNamingALiveRecordIsNeverOverwritten) {
  Add("A");
  Add("B");
  df_.Close();
  // A stale head, as a crash between the record and header writes of the
  // old engine left it: it names live record 2.
  std::vector<uint8_t> b = ReadWholeFile(path_);
  PutWord(b, 0, 2);
  WriteWholeFile(path_, b);
  EXPECT_EQ(df_.Open(path_, kTable).code(), kCorrupt);
  ASSERT_TRUE(df_.OpenForRepair(path_, kTable).ok());
  uint32_t n = 0;
  EXPECT_EQ(df_.NewRecord(Record("C").data(), &n).code(), kCorrupt);
  std::vector<uint8_t> rec(kLen);
  ASSERT_TRUE(df_.Read(2, rec.data()).ok());
  EXPECT_EQ(rec, Record("B"));
  ASSERT_TRUE(df_.RebuildFreeList().ok());
  ASSERT_TRUE(df_.NewRecord(Record("C").data(), &n).ok());
  EXPECT_EQ(n, 3u);
}

struct BadHeaderCase {
  const char* what;
  uint32_t head, next, length;
  size_t truncate_to;  // 0: keep
};

class DataFileHeaderTest : public DataFileTest, public ::testing::WithParamInterface<BadHeaderCase> {};

TEST_P(DataFileHeaderTest, BadHeaderIsCorruption) {
  const BadHeaderCase& c = GetParam();
  for (int i = 0; i < 4; ++i) Add("M" + std::to_string(i));
  ASSERT_TRUE(df_.Delete(2).ok());
  df_.Close();
  std::vector<uint8_t> b = ReadWholeFile(path_);
  PutWord(b, 0, c.head);
  PutWord(b, 4, c.next);
  PutWord(b, 8, c.length);
  if (c.truncate_to != 0) b.resize(c.truncate_to);
  WriteWholeFile(path_, b);
  Status s = df_.Open(path_, kTable);
  EXPECT_EQ(s.code(), kCorrupt) << c.what << ": " << s.message();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataFileHeaderTest,
    ::testing::Values(BadHeaderCase{"wrong record length", 2, 5, kLen + 1, 0},
                      BadHeaderCase{"next record 0", 2, 0, kLen, 0},
                      BadHeaderCase{"next beyond the file", 2, 9, kLen, 0},
                      BadHeaderCase{"head beyond next", 6, 5, kLen, 0},
                      BadHeaderCase{"head names a live record", 1, 5, kLen, 0},
                      BadHeaderCase{"file cut inside a record", 2, 5, kLen, 12 + 3 * kLen + 10},
                      BadHeaderCase{"file shorter than a header", 2, 5, kLen, 8}),
    [](const auto& info) {
      std::string n = info.param.what;
      for (char& ch : n) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return n;
    });

TEST_F(DataFileTest, FreeListLoopIsCaught) {
  for (int i = 0; i < 4; ++i) Add("M" + std::to_string(i));
  ASSERT_TRUE(df_.Delete(2).ok());
  ASSERT_TRUE(df_.Delete(3).ok());
  df_.Close();
  std::vector<uint8_t> b = ReadWholeFile(path_);
  PutWord(b, 12 + 1 * kLen + 4, 3);  // record 2 links back to 3
  WriteWholeFile(path_, b);
  EXPECT_EQ(df_.Open(path_, kTable).code(), kCorrupt);
  DataScan scan;
  ASSERT_TRUE(ScanDataFile(path_, kTable, &scan).ok());
  EXPECT_TRUE(scan.header_ok);
  EXPECT_TRUE(scan.records_ok);
  EXPECT_FALSE(scan.free_list_ok);
}

TEST_F(DataFileTest, ScanFindsARecordWithoutItsFieldEnds) {
  Add("A");
  Add("B");
  df_.Close();
  std::vector<uint8_t> b = ReadWholeFile(path_);
  b[12 + kLen + 32] = 'X';  // the NUL after record 2's MANAGER_NAME
  WriteWholeFile(path_, b);
  DataScan scan;
  ASSERT_TRUE(ScanDataFile(path_, kTable, &scan).ok());
  EXPECT_TRUE(scan.header_ok);
  EXPECT_FALSE(scan.records_ok);
  EXPECT_EQ(scan.live, 1u);
}

}  // namespace
}  // namespace groupdb
