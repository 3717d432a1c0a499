// Bounded waiting for tests: a deadline on the steady clock and a poll loop.
#ifndef HARROW_TESTSUPPORT_DEADLINE_H_
#define HARROW_TESTSUPPORT_DEADLINE_H_

#include <algorithm>
#include <chrono>
#include <thread>

namespace harrow::testsupport {

class Deadline {
 public:
  using Clock = std::chrono::steady_clock;
  explicit Deadline(std::chrono::milliseconds limit) : end_(Clock::now() + limit) {}

  bool Expired() const { return Clock::now() >= end_; }
  std::chrono::milliseconds Left() const {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now());
    return std::max(left, std::chrono::milliseconds(0));
  }
  // The time left as a poll() timeout: never negative, never above `cap`.
  int PollMs(std::chrono::milliseconds cap = std::chrono::milliseconds(1000)) const {
    return static_cast<int>(std::min(Left(), cap).count());
  }

 private:
  Clock::time_point end_;
};

// Calls `done` every `step` until it returns true (then true) or until
// `limit` has passed (then false). `done` is tried once more at the end, so
// a condition that became true while sleeping is not reported as a timeout.
template <class Pred>
bool WaitFor(Pred done, std::chrono::milliseconds limit,
             std::chrono::milliseconds step = std::chrono::milliseconds(10)) {
  Deadline deadline(limit);
  while (!deadline.Expired()) {
    if (done()) return true;
    std::this_thread::sleep_for(std::min(step, deadline.Left()));
  }
  return done();
}

}  // namespace harrow::testsupport

#endif  // HARROW_TESTSUPPORT_DEADLINE_H_
