// Randomized run of add, update (with and without key changes), rewrite,
// delete, find and walks over the LOCALQS table against a std::map model.
// After every step each index is checked against its invariants and
// against the keys the model's records must have; now and then the
// database is synced or closed and reopened. Runs with a page cache that
// holds everything and with one of a few pages. Prints its seed; set
// GROUPDB_SEED to repeat a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "db_fixture.h"
#include "dictionary.h"
#include "engine.h"

namespace groupdb {
namespace {

constexpr int kT = DBT_LOCALQS;

struct ModelRecord {
  uint32_t rec_no;
  std::vector<uint8_t> bytes;
};

class ModelTest : public testing::DbFixture {
 protected:
  std::vector<uint8_t> MakeRecord(std::mt19937_64& rng) {
    const char* nodes[] = {"NODE.A", "NODE.B", "NODE.C"};
    const char* qmgrs[] = {"QM1", "QM2"};
    GroupDbRecord r = Queue("M1", nodes[rng() % 3], qmgrs[rng() % 2], "Q." + std::to_string(rng() % 300));
    Set(&r, DBF_LOCAL_Q_DESCRIPTION, "d" + std::to_string(rng() % 100000));
    Set(&r, DBF_LOCAL_Q_DEPTH, std::to_string(rng() % 5000));
    return std::vector<uint8_t>(r.Data, r.Data + TableByNumber(kT)->record_length);
  }
  static std::string Key(int n, const std::vector<uint8_t>& rec) {
    char k[kMaxKeyLength];
    int len = BuildIndexKey(kT, n, reinterpret_cast<const char*>(rec.data()), k);
    return std::string(k, len);
  }
  // Every index holds exactly the keys of the model's records.
  void CheckIndexes(Engine& e, const std::map<std::string, ModelRecord>& model, int step) {
    for (int n = 1; n <= TableByNumber(kT)->index_count; ++n) {
      std::vector<std::pair<std::string, uint32_t>> entries;
      Status s = e.index(kT, n)->Verify(&entries);
      ASSERT_TRUE(s.ok()) << "step " << step << " index " << n << ": " << s.message();
      std::vector<std::pair<std::string, uint32_t>> want;
      for (const auto& [k, m] : model) want.emplace_back(Key(n, m.bytes), m.rec_no);
      std::sort(want.begin(), want.end());
      std::sort(entries.begin(), entries.end());
      ASSERT_EQ(entries, want) << "step " << step << " index " << n;
    }
  }
};

// The page cache's budget: large (nothing leaves it) or a few pages (changed
// pages are written back and dropped all the time).
class CachedModelTest : public ModelTest, public ::testing::WithParamInterface<size_t> {
 protected:
  void TearDown() override {
    SetIndexCacheBudget(size_t(64) << 10);
    ModelTest::TearDown();
  }
};

TEST_P(CachedModelTest, RandomOperationsMatchAMapAndKeepEveryIndexSound) {
  SetIndexCacheBudget(GetParam());
  const uint64_t seed = testing::TestSeed("ModelTest");
  std::mt19937_64 rng(seed);
  Open();
  AddManager("M1");
  ASSERT_EQ(DbCloseLocked(), 1);
  Engine e;
  ASSERT_TRUE(e.LockAndOpen(GroupDir(), OpenOrder()).ok());
  std::map<std::string, ModelRecord> model;  // by index-1 key
  const int len = TableByNumber(kT)->record_length;
  std::vector<uint8_t> buf(len);
  testing::Deadline deadline(3.0);
  int step = 0;
  for (; step < 4000 && !deadline.passed(); ++step) {
    int op = rng() % 100;
    if (op < 35) {  // add
      std::vector<uint8_t> rec = MakeRecord(rng);
      std::string k1 = Key(1, rec);
      Status s = e.Add(kT, rec.data());
      if (model.count(k1)) {
        ASSERT_EQ(s.code(), kDuplicate) << "step " << step;
      } else {
        ASSERT_TRUE(s.ok()) << "step " << step << ": " << s.message();
        ASSERT_TRUE(e.Find(kT, 1, reinterpret_cast<const uint8_t*>(k1.data()), buf.data()).ok());
        ASSERT_EQ(buf, rec);
        model[k1] = {e.current(kT), rec};
      }
    } else if (op < 55 && !model.empty()) {  // update, maybe to a new key
      auto it = model.begin();
      std::advance(it, rng() % model.size());
      std::string k1 = it->first;
      ASSERT_TRUE(e.Find(kT, 1, reinterpret_cast<const uint8_t*>(k1.data()), buf.data()).ok());
      std::vector<uint8_t> rec = rng() % 2 ? MakeRecord(rng) : it->second.bytes;
      std::memcpy(rec.data() + FieldOffset(kT, DBF_LOCAL_Q_DESCRIPTION), "upd", 3);
      std::string nk1 = Key(1, rec);
      Status s = e.Update(kT, rec.data());
      if (nk1 != k1 && model.count(nk1)) {
        ASSERT_EQ(s.code(), kDuplicate) << "step " << step;
      } else {
        ASSERT_TRUE(s.ok()) << "step " << step << ": " << s.message();
        ModelRecord m{it->second.rec_no, rec};
        model.erase(it);
        model[nk1] = m;
      }
    } else if (op < 62 && !model.empty()) {  // rewrite of non-key fields
      auto it = model.begin();
      std::advance(it, rng() % model.size());
      ASSERT_TRUE(e.Find(kT, 1, reinterpret_cast<const uint8_t*>(it->first.data()), buf.data()).ok());
      std::string depth = std::to_string(rng() % 1000) + "         ";
      std::memcpy(buf.data() + FieldOffset(kT, DBF_LOCAL_Q_DEPTH), depth.data(), 10);
      ASSERT_TRUE(e.Rewrite(kT, buf.data()).ok());
      it->second.bytes = buf;
    } else if (op < 80 && !model.empty()) {  // delete
      auto it = model.begin();
      std::advance(it, rng() % model.size());
      ASSERT_TRUE(e.Find(kT, 1, reinterpret_cast<const uint8_t*>(it->first.data()), buf.data()).ok());
      ASSERT_TRUE(e.Delete(kT).ok()) << "step " << step;
      model.erase(it);
    } else if (op < 90) {  // find a random key
      std::vector<uint8_t> probe = MakeRecord(rng);
      std::string k1 = Key(1, probe);
      Status s = e.Find(kT, 1, reinterpret_cast<const uint8_t*>(k1.data()), buf.data());
      if (model.count(k1)) {
        ASSERT_TRUE(s.ok());
        ASSERT_EQ(buf, model[k1].bytes);
      } else {
        ASSERT_EQ(s.code(), kNotFound);
      }
    } else if (op < 96) {  // walk index 1 forwards or backwards
      std::vector<std::string> seen;
      bool forward = rng() % 2;
      Status s = forward ? e.First(kT, 1, buf.data()) : e.Last(kT, 1, buf.data());
      while (s.ok() && seen.size() <= model.size()) {
        seen.push_back(Key(1, buf));
        s = forward ? e.Next(kT, 1, buf.data()) : e.Prev(kT, 1, buf.data());
      }
      ASSERT_EQ(s.code(), forward ? kEnd : kBegin);
      std::vector<std::string> want;
      for (const auto& [k, m] : model) want.push_back(k);
      // Keys sort by signed bytes; these are plain ASCII so map order agrees.
      if (!forward) std::reverse(want.begin(), want.end());
      ASSERT_EQ(seen, want) << "step " << step;
    } else if (op < 98) {
      ASSERT_TRUE(e.Syncpoint().ok());
    } else {
      ASSERT_TRUE(e.CloseAndUnlock().ok());
      ASSERT_TRUE(e.LockAndOpen(GroupDir(), OpenOrder()).ok());
    }
    CheckIndexes(e, model, step);
    if (HasFatalFailure()) return;
  }
  std::printf("ModelTest: %d steps, %zu records at the end\n", step, model.size());
  // The secondary index walk from a node and queue manager covers its records.
  GroupDbRecord k = Queue("", "NODE.B", "QM2", "");
  char key[kMaxKeyLength];
  BuildIndexKey(kT, 2, k.Data, key);
  size_t want = 0;
  for (const auto& [k1, m] : model) want += Key(2, m.bytes) == std::string(key, 96);
  size_t got = 0;
  for (Status s = e.Find(kT, 2, reinterpret_cast<const uint8_t*>(key), buf.data());
       s.ok() && Key(2, buf) == std::string(key, 96); s = e.Next(kT, 2, buf.data())) {
    ++got;
  }
  EXPECT_EQ(got, want);
  ASSERT_TRUE(e.CloseAndUnlock().ok());
}

INSTANTIATE_TEST_SUITE_P(CacheBudget, CachedModelTest, ::testing::Values(size_t(64) << 10, size_t(6)),
                         [](const auto& info) { return info.param > 6 ? std::string("large") : std::string("tiny"); });

}  // namespace
}  // namespace groupdb
