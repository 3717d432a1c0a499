// Lookups by parameter id against a model: a plain scan of the records by
// position, first match wins. Random messages with repeated ids, read after
// indexing, after appends that were not indexed yet, after reuse, after the
// body's bytes changed under the index, on messages made by hand, on more
// messages than a thread remembers, and on messages handed between threads
// and freed and made again at the same address.

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "pcf_id_map.h"
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

// Appends an integer record of each id (its value the id) and indexes.
void AppendIntegersAndIndex(mqPcfMessage* m, std::initializer_list<MQLONG> ids) {
  for (MQLONG id : ids) {
    Record r;
    ASSERT_EQ(CreatePcfIntAttr(&r.m, id, id), 1);
    ASSERT_EQ(AppendAttr(m, &r.m), 1);
  }
  ASSERT_EQ(RawToPcf(m), 1);
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

// A message of up to max_records random records from a pool of ids (a small
// pool repeats ids), indexed; *ids gets the pool.
mqPcfMessage* RandomMessage(std::mt19937_64& rng, int max_records, std::vector<MQLONG>* ids) {
  ids->assign(1 + rng() % 60, 0);
  for (MQLONG& id : *ids) id = static_cast<MQLONG>(rng() % 4 == 0 ? rng() : 1000 + rng() % 100);
  mqPcfMessage* m = CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 64);
  if (m == nullptr) return nullptr;
  AppendRandom(m, rng, *ids, static_cast<int>(rng() % (max_records + 1)));
  return RawToPcf(m) == 1 ? m : nullptr;
}

// A thread that runs the jobs it is given, one at a time, and keeps its own
// per-thread state between them.
class Worker {
 public:
  Worker() : thread_([this] { Loop(); }) {}
  ~Worker() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  // Runs job on the worker and waits for it to finish.
  void Run(std::function<void()> job) {
    std::unique_lock<std::mutex> lock(mutex_);
    job_ = std::move(job);
    wake_.notify_all();
    wake_.wait(lock, [this] { return !job_; });
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stop_ || job_; });
      if (stop_) return;
      job_();
      job_ = nullptr;
      wake_.notify_all();
    }
  }
  std::mutex mutex_;
  std::condition_variable wake_;
  std::function<void()> job_;
  bool stop_ = false;
  std::thread thread_;
};

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
  ASSERT_NO_FATAL_FAILURE(AppendIntegersAndIndex(m.m, {10, 20, 30}));
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

// An object laid out by hand was never made by CreatePcfMessage: it gets no
// table (nothing would free one) and its lookups scan.
TEST(PcfIdLookup, MessageMadeByHandIsScannedAndKeepsNoTable) {
  std::mt19937_64 rng(harrow::testsupport::TestSeed());
  for (int round = 0; round < 20; ++round) {
    std::vector<MQLONG> ids;
    Pcf made(RandomMessage(rng, 40, &ids));
    ASSERT_NE(made.m, nullptr);
    auto hand = std::make_unique<mqPcfMessage>();
    std::memset(hand.get(), 0, sizeof *hand);
    MQLONG length = PCF_BODY_LENGTH(made.m);
    ASSERT_EQ(CreateMessage(&hand->Body, length), 1);
    std::memcpy(hand->Body.Payload, made.m->Body.Payload, static_cast<size_t>(length));
    hand->Body.UsedLength = 136 + length;
    ASSERT_EQ(RawToPcf(hand.get()), 1);
    EXPECT_EQ(pcfcore::IdTableOf(hand.get()), nullptr);
    ExpectMatchesModel(hand.get(), ids);
    DeleteMessage(&hand->Body);
  }
}

// More messages in use at once than a thread's cache holds: every lookup,
// whether the cache knows the message or the registry is asked, agrees.
TEST(PcfIdLookup, ManyMessagesInTurnOnOneThread) {
  std::mt19937_64 rng(harrow::testsupport::TestSeed());
  std::vector<std::unique_ptr<Pcf>> messages;
  std::vector<std::vector<MQLONG>> ids(24);
  for (auto& pool : ids) {
    messages.push_back(std::make_unique<Pcf>(RandomMessage(rng, 30, &pool)));
    ASSERT_NE(messages.back()->m, nullptr);
  }
  for (int k = 0; k < 200; ++k) {
    size_t i = rng() % messages.size();
    ExpectMatchesModel(messages[i]->m, ids[i]);
  }
}

// Messages read on one thread, deleted and made again on another, and the
// other way round: every read agrees with the scan.
TEST(PcfIdLookup, MessagesHandedBetweenThreadsAndMadeAgain) {
  std::mt19937_64 rng(harrow::testsupport::TestSeed());
  Worker reader;
  std::vector<MQLONG> ids;
  mqPcfMessage* m = RandomMessage(rng, 60, &ids);
  ASSERT_NE(m, nullptr);
  for (int round = 0; round < 100; ++round) {
    reader.Run([&] { ExpectMatchesModel(m, ids); });
    DeletePcfMessage(m);
    m = RandomMessage(rng, 60, &ids);
    ASSERT_NE(m, nullptr);
    ExpectMatchesModel(m, ids);
    reader.Run([&] { ExpectMatchesModel(m, ids); });
    reader.Run([&] {
      DeletePcfMessage(m);
      m = RandomMessage(rng, 60, &ids);
    });
    ASSERT_NE(m, nullptr);
    ExpectMatchesModel(m, ids);
  }
  DeletePcfMessage(m);
}

// The registry and a thread's remembered answers, with made-up message
// addresses (the tables never look inside a message): a thread that
// remembers the table of a deleted message must not be handed that table,
// now another message's, when a new message takes the old address.
TEST(PcfIdTable, ARememberedTableIsNotUsedOnceItServesAnotherMessage) {
  static unsigned char place[1 << 17];
  const auto* a = reinterpret_cast<const mqPcfMessage*>(&place[0]);
  const auto* b = reinterpret_cast<const mqPcfMessage*>(&place[1 << 16]);
  Worker other;
  pcfcore::AttachIdTable(a);
  pcfcore::IdTable* first = pcfcore::IdTableOf(a);
  ASSERT_NE(first, nullptr);
  other.Run([&] { EXPECT_EQ(pcfcore::IdTableOf(a), first); });  // the other thread remembers it
  pcfcore::DetachIdTable(a);
  EXPECT_EQ(pcfcore::IdTableOf(a), nullptr);
  pcfcore::AttachIdTable(b);  // takes the spare table
  EXPECT_EQ(pcfcore::IdTableOf(b), first);
  pcfcore::AttachIdTable(a);  // a new message at the old address
  pcfcore::IdTable* second = pcfcore::IdTableOf(a);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  other.Run([&] {
    EXPECT_EQ(pcfcore::IdTableOf(a), second);
    EXPECT_EQ(pcfcore::IdTableOf(b), first);
  });
  // A message freed without DeletePcfMessage and made again at its address
  // gets its old table back rather than a second one.
  pcfcore::AttachIdTable(a);
  EXPECT_EQ(pcfcore::IdTableOf(a), second);
  pcfcore::DetachIdTable(a);
  pcfcore::DetachIdTable(b);
  pcfcore::DetachIdTable(b);  // twice: nothing to take back
  other.Run([&] {
    EXPECT_EQ(pcfcore::IdTableOf(a), nullptr);
    EXPECT_EQ(pcfcore::IdTableOf(b), nullptr);
  });
}

// A fetch copies exactly the record, whatever room the body's block has
// after it (none at all for the last record of a full body) and whatever
// room the caller's record has (none, exactly the record, or plenty), for
// records on both sides of 32 and 64 bytes.
TEST(PcfIdLookup, FetchCopiesExactlyTheRecordWhateverTheRoomOnEitherSide) {
  std::vector<std::string> records;
  for (MQLONG text_length : {0, 1, 12, 13, 28, 44, 45, 60, 100}) {
    Record r;
    std::string text(static_cast<size_t>(text_length), 'Q');
    ASSERT_EQ(CreatePcfStrAttr(&r.m, 500 + text_length, text.c_str()), 1);
    records.push_back(r.Bytes());
  }
  Record list;
  ASSERT_EQ(CreatePcfIntListAttr(&list.m, 700, 9), 1);
  records.push_back(list.Bytes());
  Record integer;
  ASSERT_EQ(CreatePcfIntAttr(&integer.m, 800, 8), 1);
  records.push_back(integer.Bytes());
  for (bool full : {false, true}) {
    Pcf m(CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, full ? 0 : 4096));
    for (const std::string& bytes : records) {
      Record r;
      ASSERT_EQ(CreateMessage(&r.m, static_cast<MQLONG>(bytes.size())), 1);
      std::memcpy(r.m.Payload, bytes.data(), bytes.size());
      r.m.UsedLength = static_cast<MQLONG>(136 + bytes.size());
      ASSERT_EQ(AppendAttr(m.m, &r.m), 1);
    }
    // Refill the body's slack with bytes no record has.
    if (full) {
      ASSERT_EQ(SizeMessageKeep(&m.m->Body, PCF_BODY_LENGTH(m.m)), 1);
    }
    std::memset(m.m->Body.Storage + m.m->Body.UsedLength, 0x5A,
                static_cast<size_t>(m.m->Body.Capacity - m.m->Body.UsedLength));
    ASSERT_EQ(RawToPcf(m.m), 1);
    for (const std::string& bytes : records) {
      MQLONG id;
      std::memcpy(&id, bytes.data() + 8, 4);
      for (int room : {-1, 0, 1, 256}) {  // -1: no storage yet; else extra bytes
        Message out{};
        if (room >= 0) {
          ASSERT_EQ(CreateMessage(&out, static_cast<MQLONG>(bytes.size()) + room), 1);
          std::memset(out.Payload, 0x77, bytes.size() + static_cast<size_t>(room));
        }
        ASSERT_EQ(GetAttrByID(id, &out, m.m), 1) << "id " << id << " room " << room;
        EXPECT_EQ(out.UsedLength, static_cast<MQLONG>(136 + bytes.size()));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.Payload), bytes.size()), bytes)
            << "id " << id << " room " << room << " full " << full;
        DeleteMessage(&out);
      }
    }
  }
}

// An index that fails part way (a malformed record after good ones) leaves
// the table unsealed: lookups scan the slots as they are, and agree with
// the scan by position, until an index succeeds again.
TEST(PcfIdLookup, AfterAFailedIndexLookupsAgreeWithTheScan) {
  Pcf m(CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 256));
  ASSERT_NO_FATAL_FAILURE(AppendIntegersAndIndex(m.m, {10, 20, 30}));
  ExpectMatchesModel(m.m, {10, 20, 30});
  // Record 3 gets a type no record has; the index stops there.
  std::memcpy(m.m->Index[3].Payload, "\x09\0\0\0", 4);
  ASSERT_EQ(RawToPcf(m.m), 0);
  ExpectMatchesModel(m.m, {10, 20, 30});
  std::memcpy(m.m->Index[3].Payload, "\x03\0\0\0", 4);
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

// Clearing moves the table's stamp on; after every stamp has been used the
// entries are emptied for real, so an entry from 65,534 clears ago never
// looks filled again.
TEST(PcfIdTable, AnOldEntryNeverComesBackWhenTheStampWraps) {
  auto table = std::make_unique<pcfcore::IdTable>();
  table->Clear();
  pcfcore::IdTable::Filler(table.get()).Add(5, 1, 36, 16);
  table->Seal();
  ASSERT_EQ(table->Find(5).position, 1);
  for (int i = 0; i < 70000; ++i) {
    table->Clear();
    table->Seal();
    ASSERT_EQ(table->Find(5).position, 0) << "after " << i + 1 << " clears";
  }
  table->Unseal();
  EXPECT_EQ(table->Find(5).position, -1);
}

}  // namespace
