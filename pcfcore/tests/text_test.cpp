// Text helpers and the name-mask test.

#include "pcfcore/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

struct MaskCase {
  const char* mask;
  const char* name;
  int expected;
};

TEST(IsMaskMatchTest, CasesFromTheNameRules) {
  const MaskCase cases[] = {
      {"*", "", 1},
      {"*", "QM1", 1},
      {"*", "A B", 1},
      {"QM*", "QM1", 1},
      {"QM*", "QM", 1},
      {"QM1", "QM1   ", 1},
      {"QM1", "QM1 X", 1},
      {"QM1   ", "QM1", 1},
      {"qm1", "QM1", 0},
      {"A*C", "ABC", 1},
      {"A*C", "ABCD", 0},
      {"", "", 1},
      {"", " X", 1},
      {"", "X", 0},
      {"?", "A", 0},  // "?" is an ordinary character
      {"?", "?", 1},
      {"Group::*", "Group::G1", 1},
      {"Group::*", "G1::Node", 0},
      {"QM1", "QM12", 0},
      {"QM12", "QM1", 0},
      {"A B", "A C", 0},
      // Where a star that stops at the first fitting character would answer
      // wrongly: backtracking gives the true answer.
      {"A*C", "AB", 0},
      {"*A", "BAA", 1},
      {"*AB", "AAB", 1},
      {"*.QUEUE", "SYSTEM.ADMIN.QUEUE", 1},
      {"*.QUEUE", "SYSTEM.ADMIN.QUEUEX", 0},
      {"S*M*E", "SYSTEM.QUEUE", 1},
      {"**", "", 1},
      {"*X*", "ABC", 0},
      {"A*", "A", 1},
      {"A*", "B", 0},
      {"*QM*", "MY.QM.1   ", 1},
  };
  for (const MaskCase& c : cases) {
    EXPECT_EQ(IsMaskMatch(c.mask, c.name), c.expected) << "mask '" << c.mask << "' name '" << c.name << "'";
  }
}

TEST(IsMaskMatchTest, NullTextsReadAsEmpty) {
  EXPECT_EQ(IsMaskMatch(nullptr, nullptr), 1);
  EXPECT_EQ(IsMaskMatch("*", nullptr), 1);
  EXPECT_EQ(IsMaskMatch(nullptr, "A"), 0);
}

// The rules written as a plain recursion: an oracle independent of the
// iterative matcher.
bool Oracle(const char* mask, const char* name) {
  if (*mask == '\0') return *name == '\0' || *name == ' ';
  if (*name == '\0') {
    while (*mask == '*') ++mask;
    return *mask == '\0' || *mask == ' ';
  }
  if (*mask == '*') return Oracle(mask + 1, name) || Oracle(mask, name + 1);
  return *mask == *name && Oracle(mask + 1, name + 1);
}

TEST(IsMaskMatchTest, AgreesWithARecursiveOracleOnRandomTexts) {
  std::mt19937 rng(1210);
  const char alphabet[] = {'A', 'B', '*', ' '};
  for (int i = 0; i < 200000; ++i) {
    std::string mask, name;
    for (int n = rng() % 7; n > 0; --n) mask += alphabet[rng() % 4];
    for (int n = rng() % 8; n > 0; --n) name += alphabet[rng() % 4];
    ASSERT_EQ(IsMaskMatch(mask.c_str(), name.c_str()), Oracle(mask.c_str(), name.c_str()) ? 1 : 0)
        << "mask '" << mask << "' name '" << name << "'";
  }
}

// The cases where a naive backtracking recursion tries every way to split
// the name among the stars. Only the answers are checked here; the cost of
// such masks is measured in bench/mask_match_bench.cpp.
TEST(IsMaskMatchTest, RunsOfStarsGiveTheRightAnswers) {
  const std::string stars(40, '*');
  const std::string as(40, 'A');
  EXPECT_EQ(IsMaskMatch((stars + "B").c_str(), as.c_str()), 0);
  EXPECT_EQ(IsMaskMatch((stars + "A").c_str(), as.c_str()), 1);
  EXPECT_EQ(IsMaskMatch((stars + "B").c_str(), (as + "B").c_str()), 1);
  EXPECT_EQ(IsMaskMatch(stars.c_str(), as.c_str()), 1);
  std::string alternating;
  for (int i = 0; i < 20; ++i) alternating += "*A";
  EXPECT_EQ(IsMaskMatch((alternating + "B").c_str(), as.c_str()), 0);
  EXPECT_EQ(IsMaskMatch(alternating.c_str(), as.c_str()), 1);
  EXPECT_EQ(IsMaskMatch(alternating.c_str(), std::string(19, 'A').c_str()), 0);
  EXPECT_EQ(IsMaskMatch((alternating + "*").c_str(), (as + "   ").c_str()), 1);
}

TEST(TextHelpersTest, StripSpacesCutsAtTheFirstBlank) {
  char a[] = "QM1   ";
  strip_spaces(a);
  EXPECT_STREQ(a, "QM1");
  char b[] = "QM1 X";
  strip_spaces(b);
  EXPECT_STREQ(b, "QM1");
  char c[] = "  A";
  strip_spaces(c);
  EXPECT_STREQ(c, "");
  char d[] = "NOBLANK";
  strip_spaces(d);
  EXPECT_STREQ(d, "NOBLANK");
}

TEST(TextHelpersTest, TrimStrRemovesOnlyTrailingBlanks) {
  char a[] = "  A  ";
  trim_str(a);
  EXPECT_STREQ(a, "  A");
  char b[] = "A\t ";
  trim_str(b);
  EXPECT_STREQ(b, "A\t");
  char c[] = "   ";
  trim_str(c);
  EXPECT_STREQ(c, "");
}

TEST(TextHelpersTest, PadSpacesFillsToTheWidth) {
  char a[9] = "QM1";
  std::memset(a + 4, 'x', 5);
  pad_spaces(a, 8);
  EXPECT_EQ(std::string(a, 9), std::string("QM1     \0", 9));
  char exact[4] = "ABC";
  pad_spaces(exact, 3);
  EXPECT_STREQ(exact, "ABC");
}

TEST(TextHelpersTest, PadSpacesNeverWritesPastTheWidth) {
  // A text longer than the width is cut, and nothing past text[width] is
  // touched.
  char buffer[12] = "ABCDEFGHIJ";
  pad_spaces(buffer, 4);
  EXPECT_STREQ(buffer, "ABCD");
  EXPECT_EQ(buffer[5], 'F');
  char guard[6] = {'Q', '\0', '#', '#', '#', '#'};
  pad_spaces(guard, 3);
  EXPECT_EQ(std::string(guard, 6), std::string("Q  \0##", 6));
  pad_spaces(guard, -1);  // refused
  pad_spaces(nullptr, 3);
}

TEST(TextHelpersTest, StrupperUpperCasesInPlace) {
  char a[] = "qm.local_1 x";
  strupper(a);
  EXPECT_STREQ(a, "QM.LOCAL_1 X");
  strupper(nullptr);
}

}  // namespace
