// Name-mask matching (IsMaskMatch): the everyday case against strcmp of the
// same name, and runs of k stars before a character the name lacks, the
// case a backtracking matcher takes exponential time over.
//
// The matcher should cost in proportion to mask length x name length, so
// the time per (mask position, name character) cell should stay flat as k
// grows; the report prints that per-cell time for each k and the ratio of
// the largest k to the smallest (about 1 when the cost is quadratic, about
// 16 when it is cubic).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench_report.h"

#include "pcfcore/text.h"

namespace {

const char kCommonMask[] = "SYSTEM.*.QUEUE";
const char kCommonName[] = "SYSTEM.ADMIN.COMMAND.QUEUE";

void BM_MaskCommon(benchmark::State& state) {
  int matched = 0;
  for (auto _ : state) {
    matched += IsMaskMatch(kCommonMask, kCommonName);
    benchmark::ClobberMemory();
  }
  if (matched != static_cast<int>(state.iterations())) state.SkipWithError("wrong answer");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MaskCommon);

void BM_StrcmpBaseline(benchmark::State& state) {
  std::string a = kCommonName;
  std::string b = kCommonName;
  int equal = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(a.data());
    benchmark::DoNotOptimize(b.data());
    equal += std::strcmp(a.c_str(), b.c_str()) == 0 ? 1 : 0;
    benchmark::ClobberMemory();
  }
  if (equal != static_cast<int>(state.iterations())) state.SkipWithError("wrong answer");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StrcmpBaseline);

// k stars and a "B" against k "A"s: no match, and every split of the name
// among the stars is a candidate.
void BM_MaskStars(benchmark::State& state) {
  const size_t k = static_cast<size_t>(state.range(0));
  const std::string mask = std::string(k, '*') + "B";
  const std::string name(k, 'A');
  int matched = 0;
  for (auto _ : state) {
    matched += IsMaskMatch(mask.c_str(), name.c_str());
    benchmark::ClobberMemory();
  }
  if (matched != 0) state.SkipWithError("wrong answer");
  state.SetItemsProcessed(state.iterations());
  state.counters["cells"] = static_cast<double>((k + 1) * k);
}
BENCHMARK(BM_MaskStars)->Arg(64)->Arg(256)->Arg(1024);

class RatioReporter : public bench::TimingReporter {
  void Record(const Run& run, double seconds) override {
    auto cells = run.counters.find("cells");
    if (cells != run.counters.end() && cells->second.value > 0) {
      ns_per_cell_[run.benchmark_name()] = seconds * 1e9 / cells->second.value;
    }
  }
  void Summarize() override {
    double common = Seconds("BM_MaskCommon");
    double base = Seconds("BM_StrcmpBaseline");
    if (common > 0 && base > 0) {
      std::printf("\"%s\" against \"%s\": %.1fx the time of strcmp on the name\n", kCommonMask,
                  kCommonName, common / base);
    }
    for (const auto& [name, ns] : ns_per_cell_) std::printf("%s: %.3f ns per cell\n", name.c_str(), ns);
    auto small = ns_per_cell_.find("BM_MaskStars/64");
    auto large = ns_per_cell_.find("BM_MaskStars/1024");
    if (small != ns_per_cell_.end() && large != ns_per_cell_.end() && small->second > 0) {
      std::printf("per-cell time, k=1024 over k=64: %.2f (about 1: quadratic; about 16: cubic)\n",
                  large->second / small->second);
    }
  }

  std::map<std::string, double> ns_per_cell_;
};

}  // namespace

int main(int argc, char** argv) {
  RatioReporter reporter;
  return bench::RunWith(argc, argv, &reporter);
}
