// Tests of the B-tree index engine: page bytes against the format's worked
// example, lookups and walks, equal keys, deletion down to an empty tree,
// and a randomized run against a std::multimap with a full invariant check
// after every step.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include <set>

#include "dictionary.h"
#include "index_file.h"
#include "test_util.h"

namespace groupdb {
namespace {

using testing::PutWord;
using testing::ReadWholeFile;
using testing::TempDir;
using testing::WordAt;

std::string Key(int k, const std::string& text) {
  std::string key = text;
  key.resize(k, ' ');
  return key;
}

const uint8_t* U(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string Numbered(int k, int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "KEY%04d", i);
  return Key(k, buf);
}

class BtreeTest : public ::testing::Test {
 protected:
  void OpenNew(uint32_t k) {
    path_ = tmp_.Sub("T.x01");
    ASSERT_TRUE(IndexFile::Create(path_, k, false).ok());
    ASSERT_TRUE(ix_.Open(path_, k).ok());
  }
  void Insert(const std::string& key, uint32_t rec, bool unique = true) {
    bool dup = false;
    Status s = ix_.Insert(U(key), rec, unique, &dup);
    ASSERT_TRUE(s.ok()) << s.message();
    ASSERT_FALSE(dup);
  }
  std::vector<uint32_t> WalkForward() {
    std::vector<uint32_t> recs;
    uint32_t r = 0;
    EXPECT_TRUE(ix_.First(&r).ok());
    while (r != 0 && recs.size() < 100000) {
      recs.push_back(r);
      EXPECT_TRUE(ix_.Next(&r).ok());
    }
    return recs;
  }
  std::vector<uint32_t> WalkBackward() {
    std::vector<uint32_t> recs;
    uint32_t r = 0;
    EXPECT_TRUE(ix_.Last(&r).ok());
    while (r != 0 && recs.size() < 100000) {
      recs.push_back(r);
      EXPECT_TRUE(ix_.Prev(&r).ok());
    }
    std::reverse(recs.begin(), recs.end());
    return recs;
  }

  TempDir tmp_{"groupdb-test"};
  std::string path_;
  IndexFile ix_;
};

TEST_F(BtreeTest, NewIndexFileIsOneHeaderPage) {
  ASSERT_TRUE(IndexFile::Create(tmp_.Sub("N.x01"), 32, false).ok());
  std::vector<uint8_t> want(1024, 0);
  PutWord(want, 4, 32);
  PutWord(want, 8, 27);
  PutWord(want, 16, 1);
  EXPECT_EQ(ReadWholeFile(tmp_.Sub("N.x01")), want);
}

TEST(KeysPerPage, FollowsTheFormula) {
  struct Case {
    int key_length, m;
  } cases[] = {{12, 62}, {24, 35}, {32, 27}, {48, 19}, {96, 10}, {128, 7}, {176, 5}, {244, 4}};
  for (const auto& c : cases) EXPECT_EQ(KeysPerPage(c.key_length), c.m) << c.key_length;
}

// 28 ascending keys of 32 bytes (m = 27) into one leaf: a left leaf of 14,
// the 15th key in a new root (page 3), a right leaf of 13 whose lower word
// is the 15th key's record number.
TEST_F(BtreeTest, TwentyEightAscendingKeysGiveTheExamplePages) {
  OpenNew(32);
  for (int i = 1; i <= 28; ++i) Insert(Numbered(32, i), 100 + i);
  ASSERT_TRUE(ix_.Close().ok());

  std::vector<uint8_t> want(4 * 1024, 0);
  // Header page.
  PutWord(want, 0, 3);
  PutWord(want, 4, 32);
  PutWord(want, 8, 27);
  PutWord(want, 12, 0);
  PutWord(want, 16, 4);
  PutWord(want, 20, 0);
  PutWord(want, 24, 1);
  PutWord(want, 28, 2);
  auto put_entry = [&](size_t page, int j, int key_no, uint32_t val) {
    size_t off = page * 1024 + 24 + (j - 1) * 36;
    std::string key = Numbered(32, key_no);
    std::copy(key.begin(), key.end(), want.begin() + off);
    PutWord(want, off + 32, val);
  };
  // Page 1: left leaf, keys 1..14.
  PutWord(want, 1024 + 4, 3);
  PutWord(want, 1024 + 12, 2);
  PutWord(want, 1024 + 16, 14);
  for (int j = 1; j <= 14; ++j) put_entry(1, j, j, 100 + j);
  // Page 2: right leaf, keys 16..28, lower word = record of key 15.
  PutWord(want, 2048 + 4, 3);
  PutWord(want, 2048 + 8, 1);
  PutWord(want, 2048 + 16, 13);
  PutWord(want, 2048 + 20, 115);
  for (int j = 1; j <= 13; ++j) put_entry(2, j, 15 + j, 115 + j);
  // Page 3: root, lower child 1, one entry (key 15, child 2).
  PutWord(want, 3072 + 0, 1);
  PutWord(want, 3072 + 16, 1);
  PutWord(want, 3072 + 20, 1);
  put_entry(3, 1, 15, 2);

  std::vector<uint8_t> got = ReadWholeFile(path_);
  ASSERT_EQ(got.size(), want.size());
  for (size_t p = 0; p < 4; ++p) {
    EXPECT_TRUE(std::equal(got.begin() + p * 1024, got.begin() + (p + 1) * 1024, want.begin() + p * 1024))
        << "page " << p << " differs";
  }

  ASSERT_TRUE(ix_.Open(path_, 32).ok());
  std::vector<uint32_t> expected;
  for (int i = 1; i <= 28; ++i) expected.push_back(100 + i);
  EXPECT_EQ(WalkForward(), expected);
  EXPECT_EQ(WalkBackward(), expected);
}

TEST_F(BtreeTest, LocatingASeparatorRestsOnTheRightLeafsLowerWord) {
  OpenNew(32);
  for (int i = 1; i <= 28; ++i) Insert(Numbered(32, i), 100 + i);
  uint32_t r = 0;
  ASSERT_TRUE(ix_.Locate(U(Numbered(32, 15)), &r).ok());
  EXPECT_EQ(r, 115u);
  EXPECT_EQ(ix_.position().page, 2u);
  EXPECT_EQ(ix_.position().j, 0u);
  ASSERT_TRUE(ix_.Next(&r).ok());
  EXPECT_EQ(r, 116u);
  ASSERT_TRUE(ix_.Prev(&r).ok());
  EXPECT_EQ(r, 115u);
  ASSERT_TRUE(ix_.Prev(&r).ok());
  EXPECT_EQ(r, 114u);
}

TEST_F(BtreeTest, NextAfterAFailedLocateBeyondTheLastKeyStartsAtTheFirst) {
  OpenNew(32);
  for (int i = 1; i <= 40; ++i) Insert(Numbered(32, i), i);
  uint32_t r = 7;
  ASSERT_TRUE(ix_.Locate(U(Key(32, "ZZZ")), &r).ok());
  EXPECT_EQ(r, 0u);
  ASSERT_TRUE(ix_.Next(&r).ok());
  EXPECT_EQ(r, 1u);
}

// Deleting the separator in the root: its successor (the 16th key) moves
// up, and Next after the delete returns it.
TEST_F(BtreeTest, NextAfterDeletingASeparatorReturnsTheKeyThatFollowedIt) {
  OpenNew(32);
  for (int i = 1; i <= 28; ++i) Insert(Numbered(32, i), 100 + i);
  ASSERT_TRUE(ix_.Delete(U(Numbered(32, 15)), 115).ok());
  uint32_t r = 0;
  ASSERT_TRUE(ix_.Next(&r).ok());
  EXPECT_EQ(r, 116u);
  ASSERT_TRUE(ix_.Next(&r).ok());
  EXPECT_EQ(r, 117u);
}

TEST_F(BtreeTest, UniqueInsertOfAPresentKeyChangesNothing) {
  OpenNew(32);
  for (int i = 1; i <= 30; ++i) Insert(Numbered(32, i), i);
  ASSERT_TRUE(ix_.Close().ok());
  std::vector<uint8_t> before = ReadWholeFile(path_);
  ASSERT_TRUE(ix_.Open(path_, 32).ok());
  bool dup = false;
  ASSERT_TRUE(ix_.Insert(U(Numbered(32, 15)), 99, true, &dup).ok());
  EXPECT_TRUE(dup);
  ASSERT_TRUE(ix_.Close().ok());
  EXPECT_EQ(ReadWholeFile(path_), before);
}

TEST_F(BtreeTest, HighBytesSortBeforeLowOnes) {
  OpenNew(12);
  std::string e9 = Key(12, "caf\xE9"), e65 = Key(12, "cafe");
  Insert(e65, 1);
  Insert(e9, 2);
  EXPECT_EQ(WalkForward(), (std::vector<uint32_t>{2, 1}));
}

TEST_F(BtreeTest, EqualKeysAreFoundFromTheFirstAndDeletedByRecordNumber) {
  OpenNew(32);  // m = 27: 60 equal keys span several pages and levels
  for (int i = 1; i <= 20; ++i) Insert(Numbered(32, i * 10), i * 10);
  for (uint32_t r = 1000; r < 1060; ++r) Insert(Key(32, "SAME"), r, false);
  std::vector<std::pair<std::string, uint32_t>> entries;
  ASSERT_TRUE(ix_.Verify(&entries).ok());
  // Locate returns the first of the run in key order.
  size_t first_same = 0;
  while (entries[first_same].first != Key(32, "SAME")) ++first_same;
  uint32_t r = 0;
  ASSERT_TRUE(ix_.Locate(U(Key(32, "SAME")), &r).ok());
  EXPECT_EQ(r, entries[first_same].second);
  // Walking on from it visits the whole run.
  std::set<uint32_t> seen = {r};
  for (int i = 1; i < 60; ++i) {
    ASSERT_TRUE(ix_.Next(&r).ok());
    seen.insert(r);
  }
  EXPECT_EQ(seen.size(), 60u);
  EXPECT_EQ(*seen.begin(), 1000u);
  // Delete one of them by record number: only that one goes.
  ASSERT_TRUE(ix_.Delete(U(Key(32, "SAME")), 1033).ok());
  ASSERT_TRUE(ix_.Verify(&entries).ok());
  size_t same = 0;
  for (const auto& e : entries) {
    if (e.first == Key(32, "SAME")) {
      ++same;
      EXPECT_NE(e.second, 1033u);
    }
  }
  EXPECT_EQ(same, 59u);
  // A record number that is not there deletes nothing.
  ASSERT_TRUE(ix_.Delete(U(Key(32, "SAME")), 5).ok());
  ASSERT_TRUE(ix_.Verify(&entries).ok());
  EXPECT_EQ(entries.size(), 79u);
}

// Runs of equal keys spanning many leaves and levels (m = 4): every delete
// removes exactly the named (key, record number) entry, wherever it lies in
// its run (leaf or separator), and a record number not in the run removes
// nothing.
TEST_F(BtreeTest, LongRunsOfEqualKeysLoseOnlyTheNamedEntry) {
  OpenNew(244);
  std::mt19937 rng(11);
  std::multimap<std::string, uint32_t> model;
  const std::string keys[] = {Key(244, "A"), Key(244, "B"), Key(244, "C")};
  for (uint32_t r = 1; r <= 240; ++r) {
    const std::string& key = keys[rng() % 3];
    Insert(key, r, false);
    model.emplace(key, r);
  }
  std::vector<std::pair<std::string, uint32_t>> pending(model.begin(), model.end());
  std::shuffle(pending.begin(), pending.end(), rng);
  std::vector<std::pair<std::string, uint32_t>> entries;
  for (const auto& [key, rec] : pending) {
    ASSERT_TRUE(ix_.Delete(U(key), rec + 1000).ok());  // not in the run
    ASSERT_TRUE(ix_.Delete(U(key), rec).ok());
    for (auto it = model.lower_bound(key); it != model.end() && it->first == key; ++it) {
      if (it->second == rec) {
        model.erase(it);
        break;
      }
    }
    Status s = ix_.Verify(&entries);
    ASSERT_TRUE(s.ok()) << s.message();
    std::vector<std::pair<std::string, uint32_t>> want(model.begin(), model.end());
    std::sort(want.begin(), want.end());
    std::sort(entries.begin(), entries.end());
    ASSERT_EQ(entries, want) << "after deleting " << rec;
  }
  EXPECT_EQ(ix_.header().root, 0u);
}

TEST_F(BtreeTest, DeletingEveryKeyEmptiesTheTreeAndReleasesEveryPage) {
  OpenNew(244);  // m = 4: a deep tree
  std::vector<int> order(300);
  for (int i = 0; i < 300; ++i) order[i] = i + 1;
  std::mt19937 rng(7);
  std::shuffle(order.begin(), order.end(), rng);
  for (int i : order) Insert(Numbered(244, i), i);
  const uint32_t pages = ix_.header().next_page - 1;
  std::shuffle(order.begin(), order.end(), rng);
  std::vector<std::pair<std::string, uint32_t>> entries;
  for (int i : order) {
    ASSERT_TRUE(ix_.Delete(U(Numbered(244, i)), i).ok());
    Status s = ix_.Verify(&entries);
    ASSERT_TRUE(s.ok()) << s.message();
  }
  EXPECT_EQ(ix_.header().root, 0u);
  EXPECT_EQ(ix_.header().leftmost, 0u);
  EXPECT_EQ(ix_.header().rightmost, 0u);
  // Verify proved every page is on the released list; reuse comes first.
  EXPECT_EQ(ix_.header().next_page - 1, pages);
  uint32_t head = ix_.header().released_head;
  EXPECT_NE(head, 0u);
  Insert(Numbered(244, 1), 1);
  EXPECT_EQ(ix_.header().root, head);
  EXPECT_EQ(ix_.header().next_page - 1, pages);
}

TEST_F(BtreeTest, PageWithABadCountIsCorruptionNotACrash) {
  OpenNew(32);
  for (int i = 1; i <= 28; ++i) Insert(Numbered(32, i), i);
  ASSERT_TRUE(ix_.Close().ok());
  std::vector<uint8_t> bytes = ReadWholeFile(path_);
  PutWord(bytes, 1024 + 16, 500);  // count of page 1
  testing::WriteWholeFile(path_, bytes);
  ASSERT_TRUE(ix_.Open(path_, 32).ok());
  uint32_t r = 0;
  Status s = ix_.First(&r);
  EXPECT_EQ(s.code(), kCorrupt);
  s = ix_.Locate(U(Numbered(32, 3)), &r);
  EXPECT_EQ(s.code(), kCorrupt);
}

TEST_F(BtreeTest, ParentLoopIsCaughtByTheBoundedWalk) {
  OpenNew(32);
  for (int i = 1; i <= 28; ++i) Insert(Numbered(32, i), i);
  ASSERT_TRUE(ix_.Close().ok());
  std::vector<uint8_t> bytes = ReadWholeFile(path_);
  PutWord(bytes, 3072 + 20, 3);  // the root names itself as its lower child
  testing::WriteWholeFile(path_, bytes);
  ASSERT_TRUE(ix_.Open(path_, 32).ok());
  uint32_t r = 0;
  EXPECT_EQ(ix_.Locate(U(Numbered(32, 1)), &r).code(), kCorrupt);
}

// Sibling words that lead in a circle: a caller walking until the end
// would never get there. The walk reports the damage instead.
TEST_F(BtreeTest, SiblingLoopEndsTheWalkWithCorruption) {
  OpenNew(32);
  for (int i = 1; i <= 28; ++i) Insert(Numbered(32, i), i);
  // A sound tree: stepping back and forth across a leaf boundary, however
  // often, is no loop.
  uint32_t r = 0;
  ASSERT_TRUE(ix_.Locate(U(Numbered(32, 14)), &r).ok());
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(ix_.Next(&r).ok());
    ASSERT_EQ(r, 15u);
    ASSERT_TRUE(ix_.Prev(&r).ok());
    ASSERT_EQ(r, 14u);
  }
  ASSERT_TRUE(ix_.Close().ok());
  std::vector<uint8_t> bytes = ReadWholeFile(path_);
  PutWord(bytes, 2048 + 12, 2);  // leaf 2's right sibling: itself
  PutWord(bytes, 2048 + 8, 2);   // and its left sibling
  testing::WriteWholeFile(path_, bytes);
  for (bool forward : {true, false}) {
    ASSERT_TRUE(ix_.Open(path_, 32).ok());
    Status s = forward ? ix_.First(&r) : ix_.Last(&r);
    int steps = 0;
    for (; s.ok() && r != 0 && steps < 1000; ++steps) s = forward ? ix_.Next(&r) : ix_.Prev(&r);
    EXPECT_EQ(s.code(), kCorrupt) << (forward ? "forward" : "backward") << " after " << steps << " steps";
    ix_.Abandon();
  }
}

TEST_F(BtreeTest, IndexLeftInUseIsRefusedAtOpen) {
  OpenNew(32);
  Insert(Numbered(32, 1), 1);
  ix_.Abandon();  // as a crash: the header on disk says in use
  std::vector<uint8_t> before = ReadWholeFile(path_);
  EXPECT_EQ(WordAt(before, 20), 1u);
  EXPECT_EQ(ix_.Open(path_, 32).code(), kCorrupt);
  EXPECT_EQ(ReadWholeFile(path_), before);
}

// Random inserts and deletes with many equal keys against a multimap, with
// every invariant checked after every step, for several page sizes.
class BtreeRandomTest : public BtreeTest, public ::testing::WithParamInterface<int> {};

TEST_P(BtreeRandomTest, MatchesAMultimapAfterEveryStep) {
  const int k = GetParam();
  const uint64_t seed = testing::TestSeed("BtreeRandom");
  std::mt19937_64 rng(seed + k);
  OpenNew(k);
  std::multimap<std::string, uint32_t> model;  // order among equal keys is free
  uint32_t next_rec = 1;
  testing::Deadline deadline(1.5);
  const int steps = 3000;
  for (int step = 0; step < steps && !deadline.passed(); ++step) {
    int op = rng() % 100;
    if (op < 60 || model.empty()) {
      std::string key = Numbered(k, int(rng() % 400));
      bool unique = rng() % 2 == 0;
      bool present = model.count(key) > 0;
      bool dup = false;
      ASSERT_TRUE(ix_.Insert(U(key), next_rec, unique, &dup).ok());
      ASSERT_EQ(dup, unique && present) << "step " << step;
      if (!dup) model.emplace(key, next_rec);
      ++next_rec;
    } else if (op < 90) {
      auto it = model.begin();
      std::advance(it, rng() % model.size());
      // After the delete, Next returns the entry that followed it in the
      // tree's order (a walk that deletes as it goes skips nothing).
      std::vector<std::pair<std::string, uint32_t>> before;
      ASSERT_TRUE(ix_.Verify(&before).ok());
      size_t at = 0;
      while (at < before.size() && before[at] != std::make_pair(it->first, it->second)) ++at;
      ASSERT_LT(at, before.size());
      const uint32_t follower = at + 1 < before.size() ? before[at + 1].second : 0;
      ASSERT_TRUE(ix_.Delete(U(it->first), it->second).ok());
      model.erase(it);
      uint32_t r = 0;
      Status ns = ix_.Next(&r);
      ASSERT_TRUE(ns.ok()) << "step " << step << ": " << ns.message();
      ASSERT_EQ(r, follower) << "step " << step;
    } else {
      std::string key = Numbered(k, int(rng() % 400));
      uint32_t r = 0;
      ASSERT_TRUE(ix_.Locate(U(key), &r).ok());
      auto range = model.equal_range(key);
      if (range.first == range.second) {
        ASSERT_EQ(r, 0u);
      } else {
        // The first of the run in the tree's own key order.
        std::vector<std::pair<std::string, uint32_t>> in_order;
        ASSERT_TRUE(ix_.Verify(&in_order).ok());
        auto first = std::find_if(in_order.begin(), in_order.end(), [&](const auto& e) { return e.first == key; });
        ASSERT_NE(first, in_order.end());
        ASSERT_EQ(r, first->second) << "step " << step;
      }
    }
    std::vector<std::pair<std::string, uint32_t>> entries;
    Status s = ix_.Verify(&entries);
    ASSERT_TRUE(s.ok()) << "step " << step << ": " << s.message();
    std::vector<std::pair<std::string, uint32_t>> want(model.begin(), model.end());
    std::sort(want.begin(), want.end());
    std::sort(entries.begin(), entries.end());
    ASSERT_EQ(entries, want) << "step " << step;
  }
  // The walks agree with the tree's own order.
  std::vector<std::pair<std::string, uint32_t>> entries;
  ASSERT_TRUE(ix_.Verify(&entries).ok());
  std::vector<uint32_t> order;
  for (const auto& e : entries) order.push_back(e.second);
  EXPECT_EQ(WalkForward(), order);
  EXPECT_EQ(WalkBackward(), order);
  // And the tree survives a close and reopen.
  ASSERT_TRUE(ix_.Close().ok());
  ASSERT_TRUE(ix_.Open(path_, k).ok());
  std::vector<std::pair<std::string, uint32_t>> again;
  ASSERT_TRUE(ix_.Verify(&again).ok());
  EXPECT_EQ(again, entries);
}

INSTANTIATE_TEST_SUITE_P(KeyLengths, BtreeRandomTest, ::testing::Values(12, 32, 96, 176, 244));

}  // namespace
}  // namespace groupdb
