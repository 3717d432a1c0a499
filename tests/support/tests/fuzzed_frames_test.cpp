// The fuzz-input script reader: the bodies it makes, checked against bytes
// worked out by hand from its grammar.
#include <gtest/gtest.h>

#include <climits>

#include "testsupport/fuzzed_frames.h"

namespace harrow::testsupport {
namespace {

const PcfVocabulary kVocabulary{{10008, 10110}, {2015, 20006, 3014}};

Bytes Words(std::initializer_list<int32_t> words) {
  Bytes out;
  for (int32_t w : words) PutWord(&out, out.size(), w);
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(FuzzedFrames, ACommandWithAnIntegerAndAStringRecord) {
  const uint8_t input[] = {
      0x00,                     // command, answer wanted, last, target 0
      0x01,                     // command index 1: 10110
      0x00,                     // wait 5000, user "mallory", id "FUZZREQ"
      0x08, 0x00, 0x18,         // integer of id 0 (2015), value index 24: INT_MAX
      0x01, 0x01, 0x03, 'A', 'B', 'C',  // string of id 1 (20006), "ABC" blank padded
      0xFF};
  auto frames = FramesFromFuzzInput(input, sizeof input, kVocabulary);
  ASSERT_EQ(frames.size(), 1u);
  const Bytes expected = Cat({Words({1, 36, 1, 10110, 1, 1, 0, 0, 2}),
                              Words({3, 16, 2015, INT_MAX}),
                              Words({4, 24, 20006, 0, 3}), Bytes{'A', 'B', 'C', ' '}});
  EXPECT_EQ(frames[0].body, expected);
  EXPECT_EQ(frames[0].target, 0);
  const Bytes& f = frames[0].frame;
  ASSERT_EQ(f.size(), kMessageHeaderBytes + expected.size());
  EXPECT_EQ(WordAt(f, 64), static_cast<int32_t>(expected.size()));
  EXPECT_EQ(WordAt(f, 68), 5000);
  EXPECT_EQ(WordAt(f, 132), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data() + 72), 7), "mallory");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data() + 16), 7), "FUZZREQ");
}

TEST(FuzzedFrames, FlagsChooseTypeTargetCountAndHeader) {
  const uint8_t input[] = {
      0x02 | 0x04 | 0x08 | 0x10 | 0x20 | 0xC0,  // response, no answer, delta, raw command, not last, target 3
      0xFE,                                     // delta -2
      0x39, 0x30, 0x00, 0x00,                   // command 12345
      0x40 | (4 << 3) | 2,                      // wait -1, user "ABCDEFGHIJKL", small id
      0x07,                                     // the small id
      0x02, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,  // list (id 2015): 1, -1
      0x07,                                     // end of frame
      0x01, 0x00, 0x00};                        // a second frame: command 10008, no records
  auto frames = FramesFromFuzzInput(input, sizeof input, kVocabulary);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].body, Cat({Words({2, 36, 1, 12345, 1, 0, 0, 0, -1}), Words({5, 24, 2015, 2, 1, -1})}));
  EXPECT_EQ(frames[0].target, 3);
  EXPECT_EQ(WordAt(frames[0].frame, 132), 0);
  EXPECT_EQ(WordAt(frames[0].frame, 68), -1);
  EXPECT_EQ(WordAt(frames[0].frame, 16), 7);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(frames[0].frame.data() + 72), 12), "ABCDEFGHIJKL");
  EXPECT_EQ(frames[1].body, Words({1, 36, 1, 10008, 1, 1, 0, 0, 0}));
}

TEST(FuzzedFrames, StringListsRepeatedTextsLyingLengthsAndRawRecords) {
  const uint8_t input[] = {
      0x00, 0x00, 0x00,
      0x03 | 0x80, 0x02, 0x02, 0x03, 'a', 'b', 'c', 'd', 'e', 'f',  // list of 2 x 3, NUL padded
      0x01 | 0x40, 0x00, 0x01, '#',                                 // 64 x '#'
      0x01 | 0x60, 0x00, 0x01, 'z', 0x02,                           // "z" claiming StringLength -1
      0x06, 0x00, 0x07, 0x10, 0x00, 0x00, 0x00, 0x02, 'q', 'r'};    // raw type 9, StrucLength 16
  auto frames = FramesFromFuzzInput(input, sizeof input, kVocabulary);
  ASSERT_EQ(frames.size(), 1u);
  Bytes list = Words({6, 32, 3014, 0, 2, 3});
  for (char c : std::string("abcdef\0\0", 8)) list.push_back(static_cast<unsigned char>(c));
  Bytes repeated = Words({4, 84, 2015, 0, 64});
  repeated.resize(repeated.size() + 64, '#');
  Bytes lying = Cat({Words({4, 24, 2015, 0, -1}), Bytes{'z', ' ', ' ', ' '}});
  Bytes raw = Cat({Words({9, 16, 2015}), Bytes{'q', 'r'}});
  EXPECT_EQ(frames[0].body, Cat({Words({1, 36, 1, 10008, 1, 1, 0, 0, 4}), list, repeated, lying, raw}));
}

TEST(FuzzedFrames, BoundsHoldForHugeAndEndlessInputs) {
  // Every record a 40,000-byte string: the body stops below its bound.
  Bytes input = {0x00, 0x00, 0x00};
  for (int i = 0; i < 10; ++i) {
    Bytes record = {0x21, 0x00, 0x40, 0x9C};
    record.resize(record.size() + 40000, 'x');
    input.insert(input.end(), record.begin(), record.end());
  }
  auto frames = FramesFromFuzzInput(input.data(), input.size(), kVocabulary);
  ASSERT_FALSE(frames.empty());
  EXPECT_LE(frames[0].body.size(), kMaxFuzzedBody);
  EXPECT_GT(frames[0].body.size(), kMaxFuzzedBody - 40100);

  // Frames of nothing but ends: at most max_frames of them.
  Bytes ends(100, 0xFF);
  EXPECT_EQ(FramesFromFuzzInput(ends.data(), ends.size(), kVocabulary, 5).size(), 5u);
  EXPECT_TRUE(FramesFromFuzzInput(nullptr, 0, kVocabulary).empty());
}

TEST(FuzzedFrames, WholeFrameBodiesAreTakenAndACutFrameWaits) {
  const Bytes first = Words({2, 36, 1, 7, 1, 1, 0, 0, 0});
  const Bytes second = Cat({Words({2, 36, 1, 8, 1, 1, 0, 0, 1}), Words({3, 16, 1, 2})});
  const Bytes whole = PlainFrame(second);
  Bytes stream = Cat({PlainFrame(first), whole});
  stream.resize(stream.size() - 3);  // the second is cut short
  std::vector<Bytes> bodies;
  ASSERT_TRUE(TakeWholeFrameBodies(&stream, &bodies));
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_EQ(bodies[0], first);
  EXPECT_EQ(stream.size(), whole.size() - 3);
  stream.insert(stream.end(), whole.end() - 3, whole.end());
  ASSERT_TRUE(TakeWholeFrameBodies(&stream, &bodies));
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[1], second);
  EXPECT_TRUE(stream.empty());

  for (int32_t lie : {0, 35, -1, (1 << 26) + 1}) {
    Bytes bad = PlainFrame(first, lie);
    std::vector<Bytes> none;
    EXPECT_FALSE(TakeWholeFrameBodies(&bad, &none)) << lie;
    EXPECT_TRUE(none.empty());
  }
}

}  // namespace
}  // namespace harrow::testsupport
