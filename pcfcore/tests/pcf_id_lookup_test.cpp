// Lookups by parameter id against a model: a plain scan of the records by
// position, first match wins. Random messages with repeated ids, read after
// indexing, after appends that were not indexed yet, after reuse, and after
// the body's bytes changed under the index.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pcfcore/pcf_message.h"
#include "testsupport/testsupport.h"

namespace {

struct Pcf {
  mqPcfMessage* m;
  explicit Pcf(mqPcfMessage* message) : m(message) {}
  ~Pcf() { DeletePcfMessage(m); }
};

struct Record {
  Message m{};  // storage comes from the first call that fills it
  ~Record() { DeleteMessage(&m); }
  std::string Bytes() const {
    return std::string(reinterpret_cast<const char*>(m.Payload), static_cast<size_t>(m.UsedLength - 136));
  }
};

// The model: the record bytes of the first position 1..count with id, or
// nothing. Reads only by position, so it shares no code with the id table.
bool ScanForId(const mqPcfMessage* m, MQLONG id, std::string* bytes) {
  Record r;
  for (MQLONG i = 1; i <= m->Cfh->ParameterCount && i < PCF_INDEX_SLOTS; ++i) {
    if (GetAttrByPos(i, &r.m, m) != 1) continue;
    MQLONG parameter;
    std::memcpy(&parameter, r.m.Payload + 8, 4);
    if (parameter == id) {
      *bytes = r.Bytes();
      return true;
    }
  }
  return false;
}

void AppendRandom(mqPcfMessage* m, std::mt19937_64& rng, const std::vector<MQLONG>& ids, int n) {
  for (int k = 0; k < n; ++k) {
    Record r;
    MQLONG id = ids[rng() % ids.size()];
    if (rng() % 2 == 0) {
      ASSERT_EQ(CreatePcfIntAttr(&r.m, id, static_cast<MQLONG>(rng())), 1);
    } else {
      std::string text(1 + rng() % 30, static_cast<char>('A' + rng() % 26));
      ASSERT_EQ(CreatePcfStrAttr(&r.m, id, text.c_str()), 1);
    }
    ASSERT_EQ(AppendAttr(m, &r.m), 1);
  }
}

// Every id of the pool, and some that are in no message, agree with the scan.
void ExpectMatchesModel(const mqPcfMessage* m, const std::vector<MQLONG>& ids) {
  std::vector<MQLONG> probe = ids;
  probe.push_back(0);
  probe.push_back(-1);
  probe.push_back(99999);
  Record got;
  for (MQLONG id : probe) {
    std::string want;
    bool found = ScanForId(m, id, &want);
    ASSERT_EQ(GetAttrByID(id, &got.m, m), found ? 1 : 0) << "id " << id;
    if (found) {
      ASSERT_EQ(got.Bytes(), want) << "id " << id;
    }
  }
}

TEST(PcfIdLookup, AgreesWithScanOnRandomMessages) {
  std::mt19937_64 rng(harrow::testsupport::TestSeed());
  for (int round = 0; round < 200; ++round) {
    // Small pools force repeated ids; large ones leave most ids single.
    std::vector<MQLONG> ids(1 + rng() % 200);
    for (MQLONG& id : ids) id = static_cast<MQLONG>(rng() % 4 == 0 ? rng() : 1000 + rng() % 400);
    Pcf m(CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 64));
    ASSERT_NE(m.m, nullptr);
    int first = static_cast<int>(rng() % (PCF_MAX_PARAMETERS + 1));
    AppendRandom(m.m, rng, ids, first);
    ASSERT_EQ(RawToPcf(m.m), 1);
    ExpectMatchesModel(m.m, ids);

    // Appended but not indexed: neither side sees the new records yet.
    int more = static_cast<int>(rng() % (PCF_MAX_PARAMETERS - first + 1));
    AppendRandom(m.m, rng, ids, more);
    ExpectMatchesModel(m.m, ids);
    ASSERT_EQ(RawToPcf(m.m), 1);
    ExpectMatchesModel(m.m, ids);

    // Reuse: nothing of the old body answers any more.
    ASSERT_EQ(ResetPcfMessage(m.m, MQCMD_INQUIRE_Q, MQCFT_RESPONSE), 1);
    ExpectMatchesModel(m.m, ids);
    AppendRandom(m.m, rng, ids, static_cast<int>(rng() % 20));
    ASSERT_EQ(RawToPcf(m.m), 1);
    ExpectMatchesModel(m.m, ids);
  }
}

TEST(PcfIdLookup, BodyChangedUnderTheIndex) {
  Pcf m(CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 64));
  for (MQLONG id : {10, 20, 30}) {
    Record r;
    ASSERT_EQ(CreatePcfIntAttr(&r.m, id, id), 1);
    ASSERT_EQ(AppendAttr(m.m, &r.m), 1);
  }
  ASSERT_EQ(RawToPcf(m.m), 1);
  // A caller rewrites the id of record 2 in place without re-indexing: the
  // bytes say 10 now, and the first 10 is still record 1; 20 is gone.
  std::memcpy(m.m->Index[2].Payload + 8, "\x0a\0\0\0", 4);
  ExpectMatchesModel(m.m, {10, 20, 30});
  // Record 1 becomes 20: the table's answer for 20 is wrong, the scan's holds.
  std::memcpy(m.m->Index[1].Payload + 8, "\x14\0\0\0", 4);
  ExpectMatchesModel(m.m, {10, 20, 30});
  ASSERT_EQ(RawToPcf(m.m), 1);
  ExpectMatchesModel(m.m, {10, 20, 30});
}

TEST(PcfIdLookup, FetchKeepsTheRecordsDescriptor) {
  Pcf m(CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 64));
  Record r;
  ASSERT_EQ(CreatePcfIntAttr(&r.m, 7, 70), 1);
  ASSERT_EQ(AppendAttr(m.m, &r.m), 1);
  ASSERT_EQ(RawToPcf(m.m), 1);
  Record out;
  ASSERT_EQ(ResetMessage(&out.m), 1);
  out.m.Md.Priority = 3;
  ASSERT_EQ(GetAttrByID(7, &out.m, m.m), 1);
  EXPECT_EQ(out.m.Md.Priority, 3);
  MQLONG v = 0;
  ASSERT_EQ(GetPcfIntAttrValue(&out.m, &v), 1);
  EXPECT_EQ(v, 70);
  // A record without storage is set up with the default descriptor.
  Message fresh{};
  fresh.Md.Priority = 3;
  ASSERT_EQ(GetAttrByPos(1, &fresh, m.m), 1);
  EXPECT_EQ(fresh.Md.Priority, MQPRI_PRIORITY_AS_Q_DEF);
  DeleteMessage(&fresh);
}

}  // namespace
