// Ini files, the install directory, paths, file sizes and the assertion.

#include "pcfcore/ini.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <fstream>
#include <string>
#include <vector>

#include "install_dir_cases.h"
#include "os/registry.h"
#include "testsupport/testsupport.h"

namespace {

namespace fs = std::filesystem;

// A temporary directory; ini files are written into it.
class TlxIniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_.emplace("pcfcore_ini");
    ASSERT_FALSE(temp_->path().empty());
    dir_ = temp_->path();
    std::memset(&ini_, 0, sizeof(ini_));
  }
  void TearDown() override {
    tlxCloseIniFile(&ini_);
    temp_.reset();
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  // Loads text with the separators and terminators the servers use.
  void Load(const std::string& text, const char* separators = "\n=", const char* terminators = " \n\t") {
    tlxCloseIniFile(&ini_);
    ASSERT_EQ(tlxOpenIniFileNoEV(Write("test.ini", text).c_str(), separators, terminators, &ini_), 1);
  }
  std::string Get(const char* key, int from = 1) {
    char value[TLX_MAX_VALUE + 1];
    if (!tlxGetValue(&ini_, key, value, from)) return "<none>";
    return value;
  }
  std::string GetExt(const char* key, int from = 1) {
    char value[TLX_MAX_VALUE + 1];
    if (!tlxGetValueExt(&ini_, key, value, from)) return "<none>";
    return value;
  }

  std::optional<harrow::testsupport::TempDir> temp_;
  std::string dir_;
  IniFile ini_;
};

TEST_F(TlxIniTest, ValueEndsAtABlankAndKeysMatchAsWholeTokens) {
  Load("Group::G1=QM1 node\nG1::Node=host1\n");
  EXPECT_EQ(Get("Group::G1"), "QM1");
  EXPECT_EQ(Get("G1::Node"), "host1");
  EXPECT_EQ(Get("G1::Nod"), "<none>");
  EXPECT_EQ(Get("Group::G"), "<none>");
  EXPECT_EQ(ini_.Length, 34);
}

TEST_F(TlxIniTest, EmptyValueIsFound) {
  Load("Key=\nOther=1\n");
  EXPECT_EQ(Get("Key"), "");
  Load("Key= after\n");
  EXPECT_EQ(Get("Key"), "");
}

TEST_F(TlxIniTest, ContinuedSearchWalksTheMatchingEntriesInOrder) {
  Load("Group::G1=GM1\nGM1::Node=h1\nGM1::Service=5001\nGroup::G2=GM2\nGM2::Node=h2\nGM2::Service=5002\n");
  EXPECT_EQ(Get("Group::*", 1), "GM1");
  EXPECT_EQ(Get("GM1::Node", 2), "h1");
  EXPECT_EQ(Get("GM1::Service", 2), "5001");
  EXPECT_EQ(Get("Group::*", 2), "GM2");
  EXPECT_EQ(Get("GM2::Node", 2), "h2");
  EXPECT_EQ(Get("Group::*", 2), "<none>");
  // Searching from the top again finds the first one.
  EXPECT_EQ(Get("Group::*", 1), "GM1");
  EXPECT_EQ(Get("Group::*", 2), "GM2");
  EXPECT_EQ(Get("Group::*", 2), "<none>");
}

TEST_F(TlxIniTest, AValueIsNeverTakenForAKey) {
  // The value text "Group::X" must not be read as a key, nor "QM1" after
  // the blank.
  Load("Alias=Group::X\nList=A QM1=oops\n");
  EXPECT_EQ(Get("Group::*"), "<none>");
  EXPECT_EQ(Get("QM1"), "<none>");
  EXPECT_EQ(Get("List"), "A");
}

TEST_F(TlxIniTest, BlankAndMalformedLinesAreSkipped) {
  Load("A=1\n\n   \nno separator here\n=novalue key\nB=2\n");
  EXPECT_EQ(Get("B"), "2");
  EXPECT_EQ(Get("A"), "1");
  EXPECT_EQ(Get("no separator here"), "<none>");
}

TEST_F(TlxIniTest, CrlfFilesReadLikeLfFiles) {
  Load("Group::G1=GM1\r\nGM1::Node=host1\r\nLast=x\r\n");
  EXPECT_EQ(Get("GM1::Node"), "host1");
  EXPECT_EQ(Get("Last"), "x");
  EXPECT_EQ(tlxLineCount(ini_.Text), 3);
  EXPECT_EQ(std::strchr(ini_.Text, '\r'), nullptr);
}

TEST_F(TlxIniTest, KeyPaddedWithBlanksStillFitsItsMask) {
  Load("Group::G1   =GM1\n");
  EXPECT_EQ(Get("Group::G1"), "GM1");
}

TEST_F(TlxIniTest, ExtFormAlsoAcceptsWildcardKeysInTheFile) {
  Load("QM*::Channel=SYSTEM.DEF.SVRCONN\n");
  EXPECT_EQ(Get("QM1::Channel"), "<none>");
  EXPECT_EQ(GetExt("QM1::Channel"), "SYSTEM.DEF.SVRCONN");
  EXPECT_EQ(GetExt("QM*::Channel"), "SYSTEM.DEF.SVRCONN");
  EXPECT_EQ(GetExt("XQM1::Channel"), "<none>");
}

TEST_F(TlxIniTest, ValueCopiesAreBoundedByTheBuffer) {
  Load("Key=abcdefghij\n");
  char value[4] = {'#', '#', '#', '#'};
  ASSERT_EQ(tlxGetValueN(&ini_, "Key", value, sizeof(value), 1), 1);
  EXPECT_STREQ(value, "abc");
  EXPECT_EQ(tlxGetValueN(&ini_, "Key", value, 0, 1), 0);
  // A value longer than the default buffer is cut there.
  Load("Long=" + std::string(5000, 'v') + "\n");
  std::vector<char> big(TLX_MAX_VALUE + 1);
  ASSERT_EQ(tlxGetValue(&ini_, "Long", big.data(), 1), 1);
  EXPECT_EQ(std::strlen(big.data()), static_cast<size_t>(TLX_MAX_VALUE));
}

TEST_F(TlxIniTest, OverlongKeyLineIsSkipped) {
  Load(std::string(TLX_MAX_KEY + 1, 'K') + "=1\nK*=2\n");
  EXPECT_EQ(Get("K*"), "2");
}

TEST_F(TlxIniTest, QuotedValuesMayRunOverLines) {
  // Reason-text style: blank or quote ends the key, a quote ends the value.
  Load("2085\"Object not\nfound.\"\n2086\"Other\"\n", " \"", "\"");
  EXPECT_EQ(Get("2085"), "Object not\nfound.");
  EXPECT_EQ(Get("2086"), "Other");
  EXPECT_EQ(Get("found.*"), "<none>");  // a continuation line is no key
  EXPECT_EQ(Get("*", 1), "Object not\nfound.");
  EXPECT_EQ(Get("*", 2), "Other");
  EXPECT_EQ(Get("*", 2), "<none>");
}

TEST_F(TlxIniTest, FileWithoutFinalLineFeedAndValueAtTheEnd) {
  Load("A=1\nB=last");
  EXPECT_EQ(Get("B"), "last");
  EXPECT_EQ(Get("*", 2), "<none>");
}

TEST_F(TlxIniTest, MissingEmptyAndClosedFilesFindNothing) {
  EXPECT_EQ(tlxOpenIniFileNoEV((dir_ + "/absent.ini").c_str(), "\n=", " \n\t", &ini_), 0);
  EXPECT_EQ(ini_.Text, nullptr);
  EXPECT_EQ(Get("*"), "<none>");
  EXPECT_EQ(tlxOpenIniFileNoEV(Write("empty.ini", "").c_str(), "\n=", " \n\t", &ini_), 0);
  EXPECT_EQ(ini_.Text, nullptr);
  EXPECT_EQ(ini_.File, nullptr);
  Load("A=1\n");
  EXPECT_EQ(tlxCloseIniFile(&ini_), 1);
  EXPECT_EQ(Get("A"), "<none>");
  EXPECT_EQ(tlxOpenIniFileNoEV(dir_.c_str(), "\n=", " \n\t", &ini_), 0);  // a directory
}

TEST_F(TlxIniTest, FileLargerThanTheLengthFieldIsNotLoaded) {
  // Sparse, so the test costs no disk: 3 GiB does not fit Length.
  std::string path = Write("huge.ini", "A=1\n");
  fs::resize_file(path, uintmax_t{3} << 30);
  EXPECT_EQ(tlxOpenIniFileNoEV(path.c_str(), "\n=", " \n\t", &ini_), 0);
  EXPECT_EQ(ini_.Text, nullptr);
  EXPECT_EQ(ini_.File, nullptr);
  EXPECT_EQ(Get("A"), "<none>");
}

TEST_F(TlxIniTest, LoadKeepsTheSetsAndPathBounded) {
  std::string long_set(100, '=');
  ASSERT_EQ(tlxOpenIniFileNoEV(Write("a.ini", "A=1\n").c_str(), long_set.c_str(), long_set.c_str(), &ini_), 1);
  EXPECT_EQ(std::strlen(ini_.Separators), 32u);
  EXPECT_EQ(std::strlen(ini_.Terminators), 34u);
  EXPECT_EQ(std::string(ini_.Path), dir_ + "/a.ini");
  EXPECT_NE(ini_.File, nullptr);
}

TEST_F(TlxIniTest, OpenIniFileLooksInConfigGroupsOfTheInstallDirectory) {
  fs::create_directories(dir_ + "/config/groups");
  std::ofstream(dir_ + "/config/groups/mqgroup.ini") << "Group::GM=GM\nGM::Node=localhost\n";
  setenv("HRLCOMPACT", dir_.c_str(), 1);
  EXPECT_EQ(tlxOpenIniFile("mqgroup.ini", "\n=", " \n\t", &ini_), 1);
  unsetenv("HRLCOMPACT");
  EXPECT_EQ(std::string(ini_.Path), dir_ + "/config/groups/mqgroup.ini");
  EXPECT_EQ(Get("GM::Node"), "localhost");
}

TEST(TlxIniLinesTest, LineCountAndGoToLine) {
  EXPECT_EQ(tlxLineCount("a\nb"), 1);
  EXPECT_EQ(tlxLineCount(""), 0);
  EXPECT_EQ(tlxLineCount(nullptr), 0);
  char text[] = "a\nb\nc";
  EXPECT_EQ(tlxGoToLine(text, 2), text + 2);
  EXPECT_EQ(tlxGoToLine(text, 0), text);
  EXPECT_EQ(tlxGoToLine(text, 1), text);
  char two[] = "a\nb\n";
  EXPECT_EQ(tlxGoToLine(two, 9), two + 4);
  EXPECT_EQ(*tlxGoToLine(two, 9), '\0');
  EXPECT_EQ(tlxGoToLine(nullptr, 2), nullptr);
}

struct MakePathCase {
  const char* directory;
  const char* name;
  const char* expected;
};

TEST(TlxPathTest, MakePathJoinsWithOneSlash) {
  const MakePathCase cases[] = {
      {"/x", "y", "/x/y"},
      {"/x/", "y", "/x/y"},
      {"", "y", "y"},
      {"/x", nullptr, "/x/"},
  };
  for (const MakePathCase& c : cases) {
    char path[TLX_MAX_PATH];
    std::strcpy(path, c.directory);
    EXPECT_EQ(tlxMakePath(path, c.name), 1);
    EXPECT_STREQ(path, c.expected);
  }
  char small[6] = "/abc";
  EXPECT_EQ(tlxMakePathN(small, sizeof(small), "def"), 0);
  EXPECT_STREQ(small, "/abc/");
  char path[TLX_MAX_PATH] = "";
  EXPECT_EQ(tlxTerminatePath(path), 1);
  EXPECT_STREQ(path, "");
}

TEST(TlxPathTest, UseLongNamesQuotesAPath) {
  char path[TLX_MAX_PATH] = "/opt/a b/c";
  EXPECT_EQ(tlxUseLongNames(path), 1);
  EXPECT_STREQ(path, "\"/opt/a b/c\"");
  char empty[TLX_MAX_PATH] = "";
  EXPECT_EQ(tlxUseLongNames(empty), 1);
  EXPECT_STREQ(empty, "");
  std::vector<char> full(TLX_MAX_PATH, 'p');
  full[TLX_MAX_PATH - 2] = '\0';  // no room for two quotes
  EXPECT_EQ(tlxUseLongNames(full.data()), 0);
}

// The install directory: variable, then registry, then the working
// directory's parent, then the default.
class TlxInstallDirTest : public TlxIniTest {
 protected:
  void SetUp() override {
    TlxIniTest::SetUp();
    saved_cwd_ = fs::current_path();
    const char* old = getenv("HRLCOMPACT");
    saved_var_ = old ? std::optional<std::string>(old) : std::nullopt;
    unsetenv("HRLCOMPACT");
    fs::create_directories(dir_ + "/registry");
    setenv("HRLCOMPACT_REGISTRY", (dir_ + "/registry").c_str(), 1);
    fs::create_directories(dir_ + "/tools/bin");
    fs::current_path(dir_ + "/tools/bin");
  }
  void TearDown() override {
    fs::current_path(saved_cwd_);
    unsetenv("HRLCOMPACT_REGISTRY");
    if (saved_var_) setenv("HRLCOMPACT", saved_var_->c_str(), 1);
    TlxIniTest::TearDown();
  }
  fs::path saved_cwd_;
  std::optional<std::string> saved_var_;
};

TEST_F(TlxInstallDirTest, ParentOfTheWorkingDirectoryWhenNothingElseSays) {
  char directory[TLX_MAX_PATH];
  EXPECT_EQ(tlxGetInstallDir(directory), 0);
  EXPECT_EQ(std::string(directory), dir_ + "/tools/");
}

TEST_F(TlxInstallDirTest, RegistryWorkPathOverridesTheWorkingDirectory) {
  HKEY key;
  ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, "Software\\Brackwin\\Harrowline Compact", &key), OS_REG_SUCCESS);
  ASSERT_EQ(osRegSetString(key, "WorkPath", "/srv/harrow"), OS_REG_SUCCESS);
  osRegCloseKey(key);
  char directory[TLX_MAX_PATH];
  EXPECT_EQ(tlxGetInstallDir(directory), 0);
  EXPECT_STREQ(directory, "/srv/harrow");
  setenv("HRLCOMPACT", "/from/variable", 1);
  EXPECT_EQ(tlxGetInstallDir(directory), 1);
  EXPECT_STREQ(directory, "/from/variable");
  // A source too long for the buffer is passed over.
  char small[8];
  EXPECT_EQ(tlxGetInstallDirN(small, sizeof(small)), 0);
  EXPECT_EQ(std::string(small).size() < 8, true);
}

TEST_F(TlxInstallDirTest, EmptyVariableNamesNoDirectory) {
  setenv("HRLCOMPACT", "", 1);
  char directory[TLX_MAX_PATH];
  EXPECT_EQ(tlxGetInstallDir(directory), 0);
  EXPECT_EQ(std::string(directory), dir_ + "/tools/");
}

TEST(TlxInstallDirOrderTest, SourcesOverrideInTheSuiteOrder) {
  os_test::ExpectInstallDirOrder([] {
    char directory[TLX_MAX_PATH];
    int from_variable = tlxGetInstallDir(directory);
    return os_test::ResolvedInstallDir{os_test::Terminated(directory), from_variable == 1};
  });
}

TEST_F(TlxIniTest, SizeOfFileKeepsThePosition) {
  std::string path = Write("sized", "0123456789");
  FILE* file = fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  fseek(file, 3, SEEK_SET);
  long size = 0;
  EXPECT_EQ(SizeOfFile(file, &size), 1);
  EXPECT_EQ(size, 10);
  EXPECT_EQ(ftell(file), 3);
  fclose(file);
  EXPECT_EQ(SizeOfFileByName(path.c_str(), &size), 1);
  EXPECT_EQ(size, 10);
  testing::internal::CaptureStderr();
  EXPECT_EQ(SizeOfFileByName((dir_ + "/absent").c_str(), &size), 0);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("SizeOfFileByName() - fopen() failed: ", 0), 0u) << err;
}

TEST(TlxDebugTest, TrueConditionIsReturned) { EXPECT_EQ(debug(5, "x", 0, "f.cpp", 1), 5); }

TEST(TlxDebugTest, KeepRunningPrintsTheAssertionAndReturnsTheFlag) {
  testing::internal::CaptureStdout();
  int result = debug(0, "pointer != NULL", 1, "ini.cpp", 42);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(result, 1);
  ASSERT_EQ(out.rfind(" \nDate: ", 0), 0u);
  size_t line_end = out.find('\n', 8);
  ASSERT_NE(line_end, std::string::npos);
  EXPECT_EQ(out.substr(line_end + 1), "TLX0105E  Assertion failed in ini.cpp at line 42: pointer != NULL\n");
}

TEST(TlxDebugDeathTest, FalseConditionEndsTheProcessWithCodeOne) {
  EXPECT_EXIT(debug(0, "boom", 0, "x.cpp", 7), testing::ExitedWithCode(1), "");
}

}  // namespace
