// The id tables of PCF messages: the registry of live messages' tables, the
// pool of spare tables, and each thread's cache of recent answers (the
// rules are in pcf_id_map.h).

#include "pcf_id_map.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace pcfcore {

namespace {

// Guards both members; the tables themselves are the owning threads'.
struct Registry {
  std::mutex mutex;
  std::unordered_map<const mqPcfMessage*, IdTable*> live;
  std::vector<IdTable*> spare;  // tables of deleted messages, never freed
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // never destroyed: used until exit
  return *registry;
}

}  // namespace

constinit thread_local IdCache t_id_cache = {};

IdTable::IdTable() : entries_{} {}

void IdTable::Clear() {
  find_stamp_ = kUnsealed;
  if (++stamp_ == kUnsealed) {
    // Every stamp was used once: empty the entries for real and start over,
    // so no entry left from 65,534 clears ago can look filled.
    std::memset(entries_, 0, sizeof entries_);
    stamp_ = 1;
  }
}

void AttachIdTable(const mqPcfMessage* message) {
  Registry& r = TheRegistry();
  IdTable* table = nullptr;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    std::unordered_map<const mqPcfMessage*, IdTable*>::iterator it;
    bool inserted = false;
    try {
      std::tie(it, inserted) = r.live.try_emplace(message, nullptr);
    } catch (const std::bad_alloc&) {
      return;
    }
    if (!inserted) {
      // An earlier message at this address was freed without
      // DeletePcfMessage: its table, still owned by this address, is reused.
      table = it->second;
    } else if (!r.spare.empty()) {
      table = r.spare.back();
      r.spare.pop_back();
    } else {
      table = new (std::nothrow) IdTable;
      // The pool must be able to take every table back without allocating
      // (DetachIdTable cannot fail): make its room now, while a failure can
      // still leave the message without a table.
      size_t tables = r.live.size() + r.spare.size();
      if (table != nullptr && r.spare.capacity() < tables) {
        try {
          r.spare.reserve(std::max(tables, 2 * r.spare.capacity()));
        } catch (const std::bad_alloc&) {
          delete table;
          table = nullptr;
        }
      }
      if (table == nullptr) {
        r.live.erase(it);
        return;
      }
    }
    it->second = table;
    table->Clear();
    table->set_owner(message);
  }
  RememberIdTable(message, table);
}

void DetachIdTable(const mqPcfMessage* message) {
  Registry& r = TheRegistry();
  IdCacheEntry& cached = IdCacheSlot(message);
  if (cached.message == message) cached = IdCacheEntry{nullptr, nullptr};
  if (t_id_cache.last.message == message) t_id_cache.last = IdCacheEntry{nullptr, nullptr};
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.live.find(message);
  if (it == r.live.end()) return;
  IdTable* table = it->second;
  r.live.erase(it);
  table->set_owner(nullptr);
  table->Clear();
  r.spare.push_back(table);  // room was made when the table was
}

IdTable* LookUpIdTable(const mqPcfMessage* message) {
  Registry& r = TheRegistry();
  IdTable* table = nullptr;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.live.find(message);
    if (it != r.live.end()) table = it->second;
  }
  if (table != nullptr) RememberIdTable(message, table);
  return table;
}

}  // namespace pcfcore
