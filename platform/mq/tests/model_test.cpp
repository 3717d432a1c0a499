// Randomized check against a model: puts and gets, persistent or not, with
// priorities, in and out of syncpoint, commits, backouts and restarts (kill
// -9 or clean). The model is a plain list; after every operation the
// queue's answer, and after every restart the whole queue, must match it.
// The seed is printed; MQSIM_SEED=<n> replays one.
#include <algorithm>
#include <random>

#include "mqsim_fixture.h"

using namespace mqsim_test;

namespace {

struct ModelMsg {
  uint64_t order;      // put order
  std::string data;
  MQLONG priority;
  bool persistent;
  bool uncommitted_put;
  bool uncommitted_get;
  MQLONG backout;
};

class Model {
 public:
  // Delivery order: priority, then put order.
  std::vector<ModelMsg*> Visible() {
    std::vector<ModelMsg*> v;
    for (auto& m : msgs_)
      if (!m.uncommitted_put && !m.uncommitted_get) v.push_back(&m);
    std::stable_sort(v.begin(), v.end(), [](const ModelMsg* a, const ModelMsg* b) {
      return a->priority != b->priority ? a->priority > b->priority : a->order < b->order;
    });
    return v;
  }
  void Put(const std::string& d, MQLONG prio, bool persistent, bool syncpoint) {
    msgs_.push_back(ModelMsg{next_++, d, prio, persistent, syncpoint, false, 0});
  }
  void End(bool commit) {
    for (auto it = msgs_.begin(); it != msgs_.end();) {
      if (it->uncommitted_put) {
        if (!commit) {
          it = msgs_.erase(it);
          continue;
        }
        it->uncommitted_put = false;
      }
      if (it->uncommitted_get) {
        if (commit) {
          it = msgs_.erase(it);
          continue;
        }
        it->uncommitted_get = false;
        ++it->backout;
      }
      ++it;
    }
  }
  // What survives a restart: committed persistent messages, with a got-but-
  // uncommitted one back in place. A clean end backs the unit of work out
  // (BackoutCount + 1); a crash is no backout (the count stays).
  void Restart(bool clean) {
    std::vector<ModelMsg> kept;
    for (auto& m : msgs_) {
      if (!m.persistent || m.uncommitted_put) continue;
      if (m.uncommitted_get && clean) ++m.backout;
      m.uncommitted_get = false;
      kept.push_back(m);
    }
    msgs_ = kept;
  }
  void Remove(ModelMsg* m) {
    msgs_.erase(std::find_if(msgs_.begin(), msgs_.end(), [&](const ModelMsg& x) { return &x == m; }));
  }

 private:
  std::vector<ModelMsg> msgs_;
  uint64_t next_ = 0;
};

}  // namespace

TEST_F(MqsimTest, RandomOperationsMatchAModelAcrossRestarts) {
  // Random by default, printed, replayed with HARROW_TEST_SEED.
  const uint64_t seed = harrow::testsupport::TestSeed();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(static_cast<uint32_t>(seed));
  ASSERT_EQ(Ctl("define QM1 MODEL.Q --type local --maxdepth 100000"), 0);
  Model model;
  MQHCONN h = Connect();
  MQHOBJ obj = 0;
  ASSERT_EQ(Open(h, "MODEL.Q", MQOO_OUTPUT | MQOO_INPUT_SHARED | MQOO_BROWSE, &obj), 0);
  auto check_all = [&](int step) {
    std::vector<std::string> got;
    MQLONG opt = MQGMO_BROWSE_FIRST;
    for (;;) {
      Got g = Get(h, obj, opt);
      if (g.rc != 0) {
        EXPECT_EQ(g.rc, MQRC_NO_MSG_AVAILABLE) << "step " << step;
        break;
      }
      got.push_back(g.data);
      opt = MQGMO_BROWSE_NEXT;
    }
    std::vector<std::string> want;
    for (ModelMsg* m : model.Visible()) want.push_back(m->data);
    ASSERT_EQ(got, want) << "step " << step << " seed " << seed;
  };
  for (int step = 0; step < 600; ++step) {
    int op = static_cast<int>(rng() % 100);
    if (op < 45) {
      MQMD md = Md();
      md.Priority = static_cast<MQLONG>(rng() % 10);
      bool persistent = rng() % 2 == 0;
      bool syncpoint = rng() % 3 == 0;
      md.Persistence = persistent ? MQPER_PERSISTENT : MQPER_NOT_PERSISTENT;
      std::string data = "m" + std::to_string(step);
      ASSERT_EQ(Put(h, obj, data, &md, syncpoint ? MQPMO_SYNCPOINT : MQPMO_NO_SYNCPOINT), 0);
      model.Put(data, md.Priority, persistent, syncpoint);
    } else if (op < 80) {
      bool syncpoint = rng() % 3 == 0;
      Got g = Get(h, obj, syncpoint ? MQGMO_SYNCPOINT : MQGMO_NO_SYNCPOINT);
      auto visible = model.Visible();
      if (visible.empty()) {
        ASSERT_EQ(g.rc, MQRC_NO_MSG_AVAILABLE) << "step " << step;
        continue;
      }
      ASSERT_EQ(g.rc, 0) << "step " << step;
      ASSERT_EQ(g.data, visible[0]->data) << "step " << step << " seed " << seed;
      ASSERT_EQ(g.md.BackoutCount, visible[0]->backout) << "step " << step;
      if (syncpoint)
        visible[0]->uncommitted_get = true;
      else
        model.Remove(visible[0]);
    } else if (op < 88) {
      MQLONG cc = 0, rc = 0;
      MQCMIT(h, &cc, &rc);
      ASSERT_EQ(rc, 0);
      model.End(true);
    } else if (op < 95) {
      MQLONG cc = 0, rc = 0;
      MQBACK(h, &cc, &rc);
      ASSERT_EQ(rc, 0);
      model.End(false);
    } else {
      bool clean = rng() % 2 == 0;
      if (clean)
        StopServer();
      else
        KillServer();
      Disconnect(h);
      StartServer();
      model.Restart(clean);
      h = Connect();
      ASSERT_EQ(Open(h, "MODEL.Q", MQOO_OUTPUT | MQOO_INPUT_SHARED | MQOO_BROWSE, &obj), 0);
      check_all(step);
    }
  }
  check_all(600);
  Disconnect(h);
}
