// The id tables of PCF messages. A table lives in a registry keyed by the
// message's address, so that the message's public layout stays as every
// program knows it. Messages of different threads share the registry, so
// it is guarded; a lookup holds the lock only for one probe.

#include "pcf_id_map.h"

#include <memory>
#include <mutex>
#include <unordered_map>

namespace pcfcore {

namespace {

// Nine bits of a multiplicative hash: parameter ids come in runs (1001,
// 1002, ...), and the multiply spreads them over the table.
uint32_t Home(MQLONG id) { return (static_cast<uint32_t>(id) * 2654435761u) >> 23; }

struct Registry {
  std::mutex mutex;
  std::unordered_map<const mqPcfMessage*, std::unique_ptr<IdTable>> tables;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // never destroyed: used until exit
  return *registry;
}

}  // namespace

IdTable::IdTable() : entries_{}, used_{} {}

void IdTable::Clear() {
  sealed_ = false;
  for (int i = 0; i < used_count_; ++i) entries_[used_[i]] = Entry{0, 0};
  used_count_ = 0;
}

void IdTable::Add(MQLONG id, int position) {
  static_assert(kSlots == 1 << 9, "Home() yields nine bits");
  if (used_count_ >= PCF_MAX_PARAMETERS) return;
  for (uint32_t i = Home(id);; i = (i + 1) & (kSlots - 1)) {
    Entry& e = entries_[i];
    if (e.position == 0) {
      e = Entry{id, position};
      used_[used_count_++] = static_cast<uint16_t>(i);
      return;
    }
    if (e.id == id) return;
  }
}

int IdTable::Find(MQLONG id) const {
  if (!sealed_) return -1;
  for (uint32_t i = Home(id);; i = (i + 1) & (kSlots - 1)) {
    const Entry& e = entries_[i];
    if (e.position == 0) return 0;
    if (e.id == id) return e.position;
  }
}

IdTable* IdMapOf(const mqPcfMessage* message) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto& table = r.tables[message];
  if (!table) table = std::make_unique<IdTable>();
  return table.get();
}

int FindIdPosition(const mqPcfMessage* message, MQLONG id) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.tables.find(message);
  return it == r.tables.end() ? -1 : it->second->Find(id);
}

void DropIdMap(const mqPcfMessage* message) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.tables.find(message);
  if (it != r.tables.end()) it->second->Unseal();
}

void ForgetIdMap(const mqPcfMessage* message) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.tables.erase(message);
}

}  // namespace pcfcore
