// bench_report.h: what the benchmarks that compare against a baseline share:
// a console reporter that keeps each benchmark's time per iteration so that
// ratios can be printed at the end, and the warnings about the build.
#ifndef BENCH_BENCH_REPORT_H_
#define BENCH_BENCH_REPORT_H_

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

// Prints the ordinary console table, then Summarize() once all ran.
class TimingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.iterations == 0 || run.error_occurred) continue;
      double unit = run.time_unit == benchmark::kNanosecond    ? 1e-9
                    : run.time_unit == benchmark::kMicrosecond ? 1e-6
                    : run.time_unit == benchmark::kMillisecond ? 1e-3
                                                               : 1.0;
      double seconds = run.GetAdjustedRealTime() * unit;
      seconds_[run.run_name.function_name] = seconds;
      Record(run, seconds);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    Summarize();
  }

 protected:
  // Seconds per iteration of the benchmark function name, or 0 if it did not run.
  double Seconds(const std::string& function_name) const {
    auto it = seconds_.find(function_name);
    return it == seconds_.end() ? 0.0 : it->second;
  }
  virtual void Record(const Run& run, double seconds_per_iteration) {}
  virtual void Summarize() = 0;

 private:
  std::map<std::string, double> seconds_;
};

// Runs the registered benchmarks with reporter, warning first when the
// build makes the figures meaningless.
inline int RunWith(int argc, char** argv, TimingReporter* reporter) {
  benchmark::Initialize(&argc, argv);
#ifndef NDEBUG
  std::printf("WARNING: built with assertions on; timings are not representative\n");
#endif
#if !defined(__OPTIMIZE__)
  std::printf("WARNING: built without optimisation; timings are not representative\n");
#endif
  benchmark::RunSpecifiedBenchmarks(reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench

#endif  // BENCH_BENCH_REPORT_H_
