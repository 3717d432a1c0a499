// bench_rounds.h: our code against its baseline in the same process,
// interleaved in rounds, reported as the ratio per round (minimum and
// median). A ratio of means hides how much one side wandered while the
// other ran; per-round ratios of back-to-back runs do not.
//
// Use: one benchmark iteration is one round. Time both sides with Seconds()
// (the side that goes first alternates between rounds, so neither always
// gets the warm cache), Add() the two times, and call Report() after the
// loop; it sets the counters ratio_min and ratio_median and prints them.
#ifndef BENCH_BENCH_ROUNDS_H_
#define BENCH_BENCH_ROUNDS_H_

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

class RatioRounds {
 public:
  // Seconds that fn() takes.
  template <typename Fn>
  static double Seconds(Fn&& fn) {
    auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  // True in the rounds where our side should run first.
  bool OursFirst() const { return ratios_.size() % 2 == 0; }

  void Add(double ours_seconds, double baseline_seconds) {
    if (baseline_seconds > 0) ratios_.push_back(ours_seconds / baseline_seconds);
  }

  void Report(benchmark::State& state, const std::string& what) const {
    if (ratios_.empty()) return;
    std::vector<double> sorted = ratios_;
    std::sort(sorted.begin(), sorted.end());
    double median = sorted.size() % 2 == 1
                        ? sorted[sorted.size() / 2]
                        : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
    state.counters["ratio_min"] = sorted.front();
    state.counters["ratio_median"] = median;
    state.counters["rounds"] = static_cast<double>(sorted.size());
    std::printf("%s: ratio per round min %.3f median %.3f over %zu rounds\n", what.c_str(),
                sorted.front(), median, sorted.size());
  }

 private:
  std::vector<double> ratios_;
};

}  // namespace bench

#endif  // BENCH_BENCH_ROUNDS_H_
