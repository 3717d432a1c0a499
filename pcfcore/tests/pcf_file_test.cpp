// Serialised PCF files: write, read back, and the files that must be
// refused.

#include "pcfcore/pcf_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <optional>
#include <string>
#include <vector>

#include "pcfcore/pcfcore.h"
#include "testsupport/testsupport.h"

namespace {

namespace fs = std::filesystem;

class PcfFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_.emplace("pcfcore_file");
    ASSERT_FALSE(temp_->path().empty());
    dir_ = temp_->path();
  }
  void TearDown() override { temp_.reset(); }

  std::string Path(const std::string& name) { return dir_ + "/" + name; }
  std::vector<unsigned char> Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void Write(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  }

  std::optional<harrow::testsupport::TempDir> temp_;
  std::string dir_;
};

// Little-endian words, as this host writes them.
void Word(std::vector<unsigned char>& out, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(u >> (8 * i)));
}

// The body of an event (type 7, command 44) with a string and an integer,
// laid out by hand.
std::vector<unsigned char> EventBody() {
  std::vector<unsigned char> b;
  for (int32_t v : {7, 36, 1, 44, 1, 1, 1, 2085, 2}) Word(b, v);
  for (int32_t v : {4, 24, 2016, 0, 3}) Word(b, v);
  b.insert(b.end(), {'Q', '.', '1', 0});
  for (int32_t v : {3, 16, 1016, 9}) Word(b, v);
  return b;
}

TEST_F(PcfFileTest, WrittenMessageReadsBackRecordForRecord) {
  mqPcfMessage* m = CreatePcfMessage(18, 2, 64);
  ASSERT_NE(m, nullptr);
  Message a, b;
  std::memset(&a, 0, sizeof(a));
  std::memset(&b, 0, sizeof(b));
  ASSERT_EQ(CreatePcfStrAttr(&a, 2016, "SYSTEM.ADMIN.COMMAND.QUEUE"), 1);
  ASSERT_EQ(CreatePcfIntAttr(&b, 20, 1), 1);
  AppendAttr(m, &a);
  AppendAttr(m, &b);
  DeleteMessage(&a);
  DeleteMessage(&b);
  ASSERT_EQ(RawToPcf(m), 1);

  const std::string path = Path("1!G!N!Q!7.pcf");
  ASSERT_EQ(SerializePcfMessage(m, path.c_str()), 1);
  std::vector<unsigned char> file = Read(path);
  ASSERT_EQ(file.size(), static_cast<size_t>(PCF_BODY_LENGTH(m)));
  EXPECT_EQ(std::memcmp(file.data(), PCF_BODY(m), file.size()), 0);
  // Nothing but the file itself: no temporary left beside it.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"1!G!N!Q!7.pcf"});
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  mqPcfMessage* back = DeserializePcfMessage(path.c_str());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Body.UsedLength, static_cast<MQLONG>(136 + file.size()));
  EXPECT_EQ(std::memcmp(PCF_BODY(back), PCF_BODY(m), file.size()), 0);
  EXPECT_EQ(back->Cfh->Type, 2);
  EXPECT_EQ(back->Cfh->Command, 18);
  EXPECT_EQ(back->Body.Md.MsgType, MQMT_REQUEST);  // set at creation, not from the file
  Message r;
  std::memset(&r, 0, sizeof(r));
  ASSERT_EQ(GetAttrByID(2016, &r, back), 1);
  char text[64];
  ASSERT_EQ(GetPcfStrAttrValue(&r, text, 63), 1);
  EXPECT_STREQ(text, "SYSTEM.ADMIN.COMMAND.QUEUE");
  DeleteMessage(&r);
  DeletePcfMessage(back);
  DeletePcfMessage(m);
}

TEST_F(PcfFileTest, HandWrittenBodyIsIndexed) {
  Write(Path("event.pcf"), EventBody());
  mqPcfMessage* m = DeserializePcfMessage(Path("event.pcf").c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->Cfh->Type, 7);
  EXPECT_EQ(m->Cfh->Reason, 2085);
  Message r;
  std::memset(&r, 0, sizeof(r));
  ASSERT_EQ(GetAttrByID(1016, &r, m), 1);
  MQLONG value = 0;
  ASSERT_EQ(GetPcfIntAttrValue(&r, &value), 1);
  EXPECT_EQ(value, 9);
  DeleteMessage(&r);
  DeletePcfMessage(m);
}

TEST_F(PcfFileTest, TrailingBytesAfterTheLastRecordAreCut) {
  std::vector<unsigned char> body = EventBody();
  size_t real = body.size();
  body.insert(body.end(), 40, 0xEE);
  Write(Path("long.pcf"), body);
  mqPcfMessage* m = DeserializePcfMessage(Path("long.pcf").c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(PCF_BODY_LENGTH(m), static_cast<MQLONG>(real));
  DeletePcfMessage(m);
}

TEST_F(PcfFileTest, EmptyShortAndMissingFilesGiveNull) {
  Write(Path("empty.pcf"), {});
  EXPECT_EQ(DeserializePcfMessage(Path("empty.pcf").c_str()), nullptr);
  std::vector<unsigned char> body = EventBody();
  for (size_t cut : {size_t{1}, size_t{20}, size_t{35}, size_t{36}, body.size() - 1}) {
    SCOPED_TRACE(cut);
    Write(Path("short.pcf"), std::vector<unsigned char>(body.begin(), body.begin() + static_cast<long>(cut)));
    EXPECT_EQ(DeserializePcfMessage(Path("short.pcf").c_str()), nullptr);
  }
  EXPECT_EQ(DeserializePcfMessage(Path("absent.pcf").c_str()), nullptr);
  EXPECT_EQ(DeserializePcfMessage(dir_.c_str()), nullptr);  // a directory
  EXPECT_EQ(DeserializePcfMessage(nullptr), nullptr);
}

TEST_F(PcfFileTest, FileLargerThanAMessageCanHoldGivesNull) {
  // A sparse file of 3 GiB: its length does not fit the message's 32-bit
  // length fields, so it is refused before anything is allocated or read.
  Write(Path("huge.pcf"), EventBody());
  fs::resize_file(Path("huge.pcf"), uintmax_t{3} << 30);
  EXPECT_EQ(DeserializePcfMessage(Path("huge.pcf").c_str()), nullptr);
}

TEST_F(PcfFileTest, BodyWithUnknownRecordTypeGivesNull) {
  std::vector<unsigned char> body = EventBody();
  body[36] = 8;  // the string record's Type
  Write(Path("bad.pcf"), body);
  EXPECT_EQ(DeserializePcfMessage(Path("bad.pcf").c_str()), nullptr);
}

int OpenDescriptors() {
  int count = 0;
  DIR* d = opendir("/proc/self/fd");
  while (readdir(d) != nullptr) ++count;
  closedir(d);
  return count;
}

TEST_F(PcfFileTest, FileIsClosedOnEveryPath) {
  std::vector<unsigned char> body = EventBody();
  Write(Path("good.pcf"), body);
  Write(Path("short.pcf"), std::vector<unsigned char>(body.begin(), body.begin() + 40));
  Write(Path("empty.pcf"), {});
  int before = OpenDescriptors();
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(DeserializePcfMessage(Path("short.pcf").c_str()), nullptr);
    EXPECT_EQ(DeserializePcfMessage(Path("empty.pcf").c_str()), nullptr);
    mqPcfMessage* m = DeserializePcfMessage(Path("good.pcf").c_str());
    ASSERT_NE(m, nullptr);
    DeletePcfMessage(m);
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(PcfFileTest, WritingIntoAMissingDirectoryFailsAndLeavesNothing) {
  mqPcfMessage* m = CreatePcfMessage(2, 1, 0);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(SerializePcfMessage(m, Path("missing/dir/x.pcf").c_str()), 0);
  EXPECT_EQ(SerializePcfMessage(m, nullptr), 0);
  // Rewriting an existing file replaces it whole.
  Write(Path("old.pcf"), std::vector<unsigned char>(500, 0x55));
  ASSERT_EQ(SerializePcfMessage(m, Path("old.pcf").c_str()), 1);
  EXPECT_EQ(Read(Path("old.pcf")).size(), 36u);
  DeletePcfMessage(m);
}

}  // namespace
