// PCF message throughput: build a message of 149 parameters, index it, and
// fetch every parameter by id, against a plain memcpy of the same body bytes
// measured in the same run. Prints messages per second and the ratio.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_report.h"
#include "pcfcore/pcf_message.h"

namespace {

constexpr int kParameters = PCF_MAX_PARAMETERS;

// 149 records with distinct ids: every third a 20-character string, the
// rest integers, as an inquiry reply tends to be.
struct Records {
  std::vector<Message> records;
  Records() {
    records.resize(kParameters);
    for (int i = 0; i < kParameters; ++i) {
      MQLONG id = 1000 + i;
      if (i % 3 == 0) {
        CreatePcfStrAttr(&records[i], id, "SYSTEM.DEFAULT.QUEUE");
      } else {
        CreatePcfIntAttr(&records[i], id, i);
      }
    }
  }
  ~Records() {
    for (Message& r : records) DeleteMessage(&r);
  }
};

const Records& TheRecords() {
  static const Records r;
  return r;
}

void BM_PcfBuildIndexFetch(benchmark::State& state) {
  const Records& in = TheRecords();
  mqPcfMessage* m = CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 4096);
  Message out{};
  ResetMessage(&out);
  int64_t checksum = 0;
  for (auto _ : state) {
    ResetPcfMessage(m, MQCMD_INQUIRE_Q, MQCFT_RESPONSE);
    for (const Message& r : in.records) AppendAttr(m, &r);
    if (!RawToPcf(m)) state.SkipWithError("RawToPcf failed");
    for (int i = 0; i < kParameters; ++i) {
      if (!GetAttrByID(1000 + i, &out, m)) state.SkipWithError("parameter missing");
      MQLONG v = 0;
      if (i % 3 != 0 && GetPcfIntAttrValue(&out, &v)) checksum += v;
    }
  }
  // Fixed inputs, so the sum of the integer values is known.
  int64_t per_message = 0;
  for (int i = 0; i < kParameters; ++i) per_message += i % 3 != 0 ? i : 0;
  if (checksum != per_message * static_cast<int64_t>(state.iterations())) {
    state.SkipWithError("wrong values fetched");
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * (m->Body.UsedLength - 136));
  DeleteMessage(&out);
  DeletePcfMessage(m);
}
BENCHMARK(BM_PcfBuildIndexFetch);

void BM_MemcpyBaseline(benchmark::State& state) {
  // The baseline copies exactly the body the PCF benchmark builds: its
  // MQCFH and the 149 records.
  const Records& in = TheRecords();
  mqPcfMessage* m = CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 4096);
  for (const Message& r : in.records) AppendAttr(m, &r);
  std::vector<unsigned char> body(PCF_BODY(m), PCF_BODY(m) + PCF_BODY_LENGTH(m));
  DeletePcfMessage(m);
  std::vector<unsigned char> copy(body.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), body.data(), body.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(body.size()));
}
BENCHMARK(BM_MemcpyBaseline);

// Prints the rate and the ratio to the baseline once both ran.
class RatioReporter : public bench::TimingReporter {
  void Summarize() override {
    double pcf = Seconds("BM_PcfBuildIndexFetch");
    double base = Seconds("BM_MemcpyBaseline");
    if (pcf <= 0 || base <= 0) return;
    std::printf("pcf messages per second (149 parameters, built, indexed, all fetched): %.0f\n", 1.0 / pcf);
    std::printf("ratio to memcpy of the same body bytes: %.1fx slower\n", pcf / base);
  }
};

}  // namespace

int main(int argc, char** argv) {
  RatioReporter reporter;
  return bench::RunWith(argc, argv, &reporter);
}
