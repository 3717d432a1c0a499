// pcf_id_map.h: the parameter id -> index position table of each PCF
// message, kept beside the message (the message's public layout has no room
// for it) and rebuilt whenever the message is indexed.
//
// Which messages have a table: those made by CreatePcfMessage, from then
// until DeletePcfMessage. A message object laid out by hand has none, so its
// lookups scan the index; nothing is kept for it that could outlive it.
//
// Where the table is found: a registry keyed by the message's address holds
// the tables of live messages under a mutex, and each thread keeps a few of
// its recent answers in a small cache that needs no lock. A cached answer is
// used only while the table still names that message as its owner:
//   1. Tables are never freed, only returned to the registry's pool, so a
//      cached pointer always points at a table.
//   2. A table's owner is set when it is attached to a message and cleared
//      when that message is deleted, before the object is freed; two live
//      messages never share an address.
//   3. The caller owns the message it passes (one thread at a time), and
//      everything done to the message before it reached this thread happened
//      before this call; so the owner read here is either this message (the
//      table is its own) or something else (the cache is stale and the
//      registry is asked).
// Only the owner field is read by a thread that does not own the message.
#ifndef PCFCORE_SRC_PCF_ID_MAP_H_
#define PCFCORE_SRC_PCF_ID_MAP_H_

#include <atomic>
#include <cstdint>

#include "pcfcore/pcf_message.h"

namespace pcfcore {

class IdTable {
 public:
  // Sixteen bytes: a lookup reads one cache line of the table and none of
  // the index.
  struct Entry {
    MQLONG id;
    uint16_t stamp;
    uint16_t position;
    // Never negative; unsigned so that widening them costs nothing.
    uint32_t offset;  // of the record in the body
    uint32_t end;     // offset plus the record's StrucLength
  };

 private:
  static constexpr int kSlots = 256;  // power of two, over 1.5x the parameters
  static_assert(kSlots * 2 > 3 * PCF_MAX_PARAMETERS);
  static_assert(PCF_MAX_PARAMETERS <= UINT16_MAX);
  // The stamp lookups compare with while the table is not sealed; no entry
  // ever carries it, so every lookup then misses at its first entry.
  static constexpr uint16_t kUnsealed = UINT16_MAX;

  // Eight bits of a multiplicative hash: parameter ids come in runs (1001,
  // 1002, ...), and the multiply spreads them over the table.
  static uint32_t Home(MQLONG id) { return (static_cast<uint32_t>(id) * 2654435761u) >> 24; }
  static_assert(kSlots == 1 << 8, "Home() yields eight bits");

 public:
  IdTable();
  IdTable(const IdTable&) = delete;
  IdTable& operator=(const IdTable&) = delete;

  // Empties the table and marks it unusable until Seal(), in constant time.
  void Clear();
  void Seal() { find_stamp_ = stamp_; }
  void Unseal() { find_stamp_ = kUnsealed; }
  bool sealed() const { return find_stamp_ != kUnsealed; }

  // Fills a table after Clear(). It works on a copy of the table's stamp,
  // so a run of additions keeps it in a register. A filler of no table
  // (null) must not be used.
  class Filler {
   public:
    explicit Filler(IdTable* table)
        : entries_(table != nullptr ? table->entries_ : nullptr),
          stamp_(table != nullptr ? table->stamp_ : 0) {}
    // Records that the first record with id is the one at position, starting
    // offset bytes into the body and length bytes long, unless id is already
    // there: the first occurrence wins, as a scan from position 1 would find
    // it. REQUIRES: at most PCF_MAX_PARAMETERS calls since Clear(); offset
    // >= 0, length >= 16 (a whole parameter record) and offset + length
    // within a body.
    void Add(MQLONG id, int position, MQLONG offset, MQLONG length) {
      for (uint32_t i = Home(id);; i = (i + 1) & (kSlots - 1)) {
        Entry& e = entries_[i];
        if (e.stamp != stamp_) {
          e = Entry{id, stamp_, static_cast<uint16_t>(position), static_cast<uint32_t>(offset),
                    static_cast<uint32_t>(offset) + static_cast<uint32_t>(length)};
          return;
        }
        if (e.id == id) return;
      }
    }

   private:
    Entry* entries_;
    uint16_t stamp_;
  };

  // The entry of the first record with id when the table was sealed; null
  // when no record had id, or when the table is not sealed (see sealed()).
  [[gnu::always_inline]] const Entry* Lookup(MQLONG id) const {
    const uint16_t stamp = find_stamp_;
    const Entry* e = &entries_[Home(id)];
    for (;;) {
      if (e->stamp != stamp) return nullptr;
      if (e->id == id) [[likely]] return e;
      e = e + 1 == entries_ + kSlots ? entries_ : e + 1;
    }
  }

  // Where the first record with id was when the table was sealed.
  struct Place {
    int position;  // 0: no record has id; -1: the table is not sealed
    MQLONG offset;
    MQLONG length;
  };
  Place Find(MQLONG id) const {
    if (const Entry* e = Lookup(id)) {
      return Place{e->position, static_cast<MQLONG>(e->offset), static_cast<MQLONG>(e->end - e->offset)};
    }
    return Place{sealed() ? 0 : -1, 0, 0};
  }

  // The message this table belongs to; null while it waits in the pool.
  const mqPcfMessage* owner() const { return owner_.load(std::memory_order_relaxed); }
  void set_owner(const mqPcfMessage* message) { owner_.store(message, std::memory_order_relaxed); }

 private:
  // The small fields share the first cache line. An entry is filled when
  // its stamp is the table's: Clear() moves the table's stamp on instead of
  // touching every entry.
  std::atomic<const mqPcfMessage*> owner_{nullptr};
  uint16_t stamp_ = 1;                 // entries start at stamp 0: empty
  uint16_t find_stamp_ = kUnsealed;    // stamp_ once sealed
  Entry entries_[kSlots];
};

// Gives message (just created) an empty, unsealed table. Without memory for
// one the message simply has none and its lookups scan.
void AttachIdTable(const mqPcfMessage* message);
// Takes message's table back (the message is being freed).
void DetachIdTable(const mqPcfMessage* message);

// Each thread's recent (message, table) answers: the one used last, and a
// few more direct-mapped by address. Plain data initialised to zero
// (constinit), so reaching it takes no call; initial-exec because the
// library is loaded with the program.
struct IdCacheEntry {
  const mqPcfMessage* message;
  IdTable* table;
};
constexpr int kIdCacheEntries = 8;
struct IdCache {
  IdCacheEntry last;
  IdCacheEntry entries[kIdCacheEntries];
};
extern constinit __attribute__((tls_model("initial-exec"))) thread_local IdCache t_id_cache;

inline IdCacheEntry& IdCacheSlot(const mqPcfMessage* message) {
  // Message objects are tens of kilobytes apart: the bits above 12 differ.
  auto a = reinterpret_cast<uintptr_t>(message);
  return t_id_cache.entries[((a >> 12) ^ (a >> 15)) & (kIdCacheEntries - 1)];
}

// Remembers that message's table is table, as the one used last too.
inline void RememberIdTable(const mqPcfMessage* message, IdTable* table) {
  IdCacheSlot(message) = IdCacheEntry{message, table};
  t_id_cache.last = IdCacheEntry{message, table};
}

// The registry's answer for IdTableOf, remembered in this thread's cache.
IdTable* LookUpIdTable(const mqPcfMessage* message);

// True when message's table is the one this thread used last, with the
// table in *table. The fewest instructions, for a run of lookups in one
// message. REQUIRES: message is not null.
inline bool LastIdTableOf(const mqPcfMessage* message, IdTable** table) {
  const IdCacheEntry& last = t_id_cache.last;
  *table = last.table;
  return last.message == message && last.table->owner() == message;
}

// message's table when this thread's cache holds it; else null.
// REQUIRES: message is not null.
inline IdTable* CachedIdTableOf(const mqPcfMessage* message) {
  if (IdTable* table; LastIdTableOf(message, &table)) return table;
  const IdCacheEntry& cached = IdCacheSlot(message);
  if (cached.message == message && cached.table->owner() == message) {
    t_id_cache.last = cached;
    return cached.table;
  }
  return nullptr;
}

// message's table, or null when it has none. Only message's own thread may
// use the table. REQUIRES: message is not null.
inline IdTable* IdTableOf(const mqPcfMessage* message) {
  if (IdTable* table = CachedIdTableOf(message)) return table;
  return LookUpIdTable(message);
}

}  // namespace pcfcore

#endif  // PCFCORE_SRC_PCF_ID_MAP_H_
