// PCF message throughput: build a message of 10, 50 or 149 parameters,
// index it, and fetch every parameter by id, against a plain memcpy of the
// same body bytes in the same rounds; prints the per-round ratio (minimum
// and median). Fetch-all alone is shown per parameter to show it linear.
// The floor is the same work written out by hand on the same records and
// layouts, with no checks and no calls: what no implementation of this
// interface can go below, as a ratio to the same memcpy.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_rounds.h"
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

// One message of n parameters built, indexed and every parameter fetched by
// id; returns the sum of the integer values fetched (0 on a failure).
int64_t BuildIndexFetch(mqPcfMessage* m, Message* out, const Records& in, int n) {
  ResetPcfMessage(m, MQCMD_INQUIRE_Q, MQCFT_RESPONSE);
  for (int i = 0; i < n; ++i) AppendAttr(m, &in.records[i]);
  if (!RawToPcf(m)) return 0;
  int64_t sum = 0;
  for (int i = 0; i < n; ++i) {
    if (!GetAttrByID(1000 + i, out, m)) return 0;
    MQLONG v = 0;
    if (i % 3 != 0 && GetPcfIntAttrValue(out, &v)) sum += v;
  }
  return sum;
}

int64_t ExpectedSum(int n) {
  int64_t sum = 0;
  for (int i = 0; i < n; ++i) sum += i % 3 != 0 ? i : 0;
  return sum;
}

using Work = int64_t (*)(mqPcfMessage* m, Message* out, const Records& in, int n);

// Each iteration is one round: a batch of messages built, indexed and read
// by id through work, and a batch of memcpys of the same body bytes, back
// to back.
void RoundsAgainstMemcpy(benchmark::State& state, Work work, const std::string& what) {
  const int n = static_cast<int>(state.range(0));
  const Records& in = TheRecords();
  mqPcfMessage* m = CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 4096);
  Message out{};
  ResetMessage(&out);
  BuildIndexFetch(m, &out, in, n);
  std::vector<unsigned char> body(PCF_BODY(m), PCF_BODY(m) + PCF_BODY_LENGTH(m));
  std::vector<unsigned char> copy(body.size());
  constexpr int kBatch = 200;
  bench::RatioRounds rounds;
  bool wrong = false;
  // Worked out once, before the clock runs: the memcpy side has no such
  // loop, so timing it with every message would charge it to ours.
  const int64_t expected = ExpectedSum(n);
  for (auto _ : state) {
    auto ours = [&] {
      for (int k = 0; k < kBatch; ++k) {
        wrong |= work(m, &out, in, n) != expected;
        benchmark::ClobberMemory();
      }
    };
    auto baseline = [&] {
      for (int k = 0; k < kBatch; ++k) {
        std::memcpy(copy.data(), body.data(), body.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
      }
    };
    double a, b;
    if (rounds.OursFirst()) {
      a = bench::RatioRounds::Seconds(ours);
      b = bench::RatioRounds::Seconds(baseline);
    } else {
      b = bench::RatioRounds::Seconds(baseline);
      a = bench::RatioRounds::Seconds(ours);
    }
    rounds.Add(a, b);
    state.counters["ns_per_message"] = a * 1e9 / kBatch;
  }
  if (wrong) state.SkipWithError("wrong values fetched");
  rounds.Report(state, what + " of " + std::to_string(n) + " parameters vs memcpy of the same " +
                           std::to_string(body.size()) + " bytes");
  DeleteMessage(&out);
  DeletePcfMessage(m);
}

void BM_PcfVsMemcpyRounds(benchmark::State& state) {
  RoundsAgainstMemcpy(state, BuildIndexFetch, "pcf build+index+fetch-all");
}
BENCHMARK(BM_PcfVsMemcpyRounds)->Arg(10)->Arg(50)->Arg(kParameters);

// The floor: the bytes BuildIndexFetch must move, moved by hand. The
// records are copied into the body, the index slots filled, an id table
// built, and every record copied out by id and its value read, trusting
// every length. Returns the same sum as BuildIndexFetch.
int64_t FloorBuildIndexFetch(mqPcfMessage* m, Message* out, const Records& in, int n) {
  struct Entry {
    MQLONG id;
    uint16_t position, stamp;
    MQLONG offset, length;
  };
  static Entry table[256];
  static uint16_t stamp = 0;
  if (++stamp == 0) {
    std::memset(table, 0, sizeof table);
    stamp = 1;
  }
  auto home = [](MQLONG id) { return (static_cast<uint32_t>(id) * 2654435761u) >> 24; };
  unsigned char* body = PCF_BODY(m);
  MQLONG used = MQCFH_STRUC_LENGTH;
  for (int i = 0; i < n; ++i) {
    const Message& r = in.records[i];
    MQLONG length = r.UsedLength - MESSAGE_HEADER_LENGTH;
    std::memcpy(body + used, r.Payload, static_cast<size_t>(length));
    used += length;
  }
  MQLONG offset = MQCFH_STRUC_LENGTH;
  for (int i = 1; i <= n; ++i) {
    MQLONG length, id;
    std::memcpy(&length, body + offset + 4, 4);
    std::memcpy(&id, body + offset + 8, 4);
    Message& slot = m->Index[i];
    slot.State = 1;
    slot.Storage = nullptr;
    slot.Payload = body + offset;
    slot.Capacity = slot.UsedLength = length;
    uint32_t h = home(id);
    while (table[h].stamp == stamp) h = (h + 1) & 255;
    table[h] = Entry{id, static_cast<uint16_t>(i), stamp, offset, length};
    offset += length;
  }
  int64_t sum = 0;
  for (int i = 0; i < n; ++i) {
    MQLONG id = 1000 + i;
    uint32_t h = home(id);
    while (table[h].id != id) h = (h + 1) & 255;
    const Entry& e = table[h];
    std::memcpy(out->Payload, body + e.offset, static_cast<size_t>(e.length));
    out->UsedLength = MESSAGE_HEADER_LENGTH + e.length;
    MQLONG v;
    std::memcpy(&v, out->Payload + 12, 4);
    if (i % 3 != 0) sum += v;
  }
  return sum;
}

void BM_FloorVsMemcpyRounds(benchmark::State& state) {
  RoundsAgainstMemcpy(state, FloorBuildIndexFetch, "floor (by hand, unchecked) of build+index+fetch-all");
}
BENCHMARK(BM_FloorVsMemcpyRounds)->Arg(kParameters);

// Fetch-all alone (the message built and indexed once), per parameter: flat
// across 10, 50 and 149 parameters when a fetch by id costs the same for
// every id.
void BM_FetchAllById(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Records& in = TheRecords();
  mqPcfMessage* m = CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 4096);
  Message out{};
  ResetMessage(&out);
  BuildIndexFetch(m, &out, in, n);
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) {
      if (!GetAttrByID(1000 + i, &out, m)) state.SkipWithError("parameter missing");
    }
    benchmark::DoNotOptimize(out.Payload);
  }
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["ns_per_parameter"] =
      benchmark::Counter(static_cast<double>(state.iterations() * n),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  DeleteMessage(&out);
  DeletePcfMessage(m);
}
BENCHMARK(BM_FetchAllById)->Arg(10)->Arg(50)->Arg(kParameters);

}  // namespace

BENCHMARK_MAIN();
