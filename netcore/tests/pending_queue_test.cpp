// The pending-write queue against a std::deque model.

#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "netcore/pending_queue.h"
#include "testsupport/testsupport.h"

namespace {

TEST(PendingQueue, RandomOperationsMatchADequeModel) {
  // Random by default, printed, replayed with HARROW_TEST_SEED.
  const unsigned seed = static_cast<unsigned>(harrow::testsupport::TestSeed());
  std::mt19937 rng(seed);
  SCOPED_TRACE(seed);
  Buffer items[64] = {};
  PendingQueue* q = QAlloc();
  ASSERT_NE(q, nullptr);
  std::deque<Buffer*> model;
  for (int step = 0; step < 5000; ++step) {
    Buffer* item = &items[rng() % 64];
    switch (rng() % 4) {
      case 0:
        ASSERT_EQ(QPut(q, item), 1);
        model.push_back(item);
        break;
      case 1:
        ASSERT_EQ(QPutHigh(q, item), 1);  // high priority still appends
        model.push_back(item);
        break;
      case 2:
        ASSERT_EQ(QPutHead(q, item), 1);
        model.push_front(item);
        break;
      default: {
        Buffer* got = QGet(q);
        if (model.empty()) {
          ASSERT_EQ(got, nullptr);
          ASSERT_EQ(q->first, nullptr);
          ASSERT_EQ(q->last, nullptr);
        } else {
          ASSERT_EQ(got, model.front());
          model.pop_front();
        }
      }
    }
    ASSERT_EQ(QCount(q), static_cast<int>(model.size()));
  }
  QFree(q);
}

TEST(PendingQueue, NullQueuePrintsAndDoesNothing) {
  Buffer item{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(QPut(nullptr, &item), 0);
  EXPECT_EQ(QGet(nullptr), nullptr);
  EXPECT_EQ(QPutHead(nullptr, &item), 0);
  EXPECT_EQ(QCount(nullptr), 0);
  QFree(nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Qput: null Queue input\nQget: null Queue input\nQputhead: null Queue input\n");
}

}  // namespace
