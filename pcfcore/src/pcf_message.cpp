// The PCF message object: creation, reuse, appending, and the index that
// makes every record reachable by position or parameter id.
//
// Division of this file:
//   - the MQCFH and node-header templates
//   - create, reset, size, delete
//   - AppendAttr
//   - RawToPcf (the indexer; the only reader of untrusted bodies here)
//   - GetAttrByPos, GetAttrByID

#include "pcfcore/pcf_message.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "pcf_id_map.h"
#include "pcfcore/memory.h"
#include "record_check.h"
#include "wire.h"

using pcfcore::LoadField;
using pcfcore::StoreField;

// The node header is copied to and from frames byte for byte.
static_assert(sizeof(NodeHeader) == NODE_HEADER_LENGTH);

namespace {

constexpr MQLONG kHeader = MESSAGE_HEADER_LENGTH;

MQLONG MsgTypeFor(MQLONG type) {
  switch (type) {
    case MQCFT_COMMAND: return MQMT_REQUEST;
    case MQCFT_RESPONSE: return MQMT_REPLY;
    default: return MQMT_DATAGRAM;
  }
}

void SetNodeHeaderTemplate(NodeHeader* h) {
  std::memset(h, 0, sizeof *h);
  h->HeaderLength = NODE_HEADER_LENGTH;
  h->Version = 1;
  h->UserName[0] = ' ';
}

void WriteCfh(unsigned char* cfh, MQLONG type, MQLONG command) {
  StoreField(cfh, pcfcore::kType, type);
  StoreField(cfh, pcfcore::kStrucLength, MQCFH_STRUC_LENGTH);
  StoreField(cfh, pcfcore::kCfhVersion, MQCFH_VERSION_1);
  StoreField(cfh, pcfcore::kCfhCommand, command);
  StoreField(cfh, pcfcore::kCfhMsgSeqNumber, 1);
  StoreField(cfh, pcfcore::kCfhControl, MQCFC_LAST);
  StoreField(cfh, pcfcore::kCfhCompCode, MQCC_OK);
  StoreField(cfh, pcfcore::kCfhReason, MQRC_NONE);
  StoreField(cfh, pcfcore::kCfhParameterCount, 0);
}

// Lays a fresh MQCFH at the start of an emptied body (used length 136).
void StartBody(mqPcfMessage* m, MQLONG type, MQLONG command) {
  m->Kind = PCF_MESSAGE_KIND;
  m->Cfh = reinterpret_cast<MQCFH*>(m->Body.Payload);
  m->Body.UsedLength += MQCFH_STRUC_LENGTH;
  std::memcpy(m->Body.Md.Format, MQFMT_ADMIN, 8);
  m->Body.Md.MsgType = MsgTypeFor(type);
  WriteCfh(m->Body.Payload, type, command);
}

void DeleteChain(mqPcfMessage* next) {
  while (next != nullptr) {
    mqPcfMessage* after = next->Next;
    next->Next = nullptr;
    DeletePcfMessage(next);
    next = after;
  }
}

// "hh:mm:ss" of the local time, for the indexer's diagnostics.
void TimeOfDay(char out[9]) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(out, 9, "%H:%M:%S", &local);
}

void PrintOverflow(int line) {
  char t[9];
  TimeOfDay(t);
  std::printf("%.8s MQPCFMSG::RawToPcf(%d)  Input buffer overflow\n", t, line);
}

MQLONG ParameterCount(const mqPcfMessage* m) {
  return LoadField(m->Body.Payload, pcfcore::kCfhParameterCount);
}

// Empties record for a fetched copy. A record that already has storage
// keeps its descriptor: fetched records carry values, never a put, and
// rewriting the 364-byte default on every fetch was most of a fetch's cost.
inline bool EmptyRecord(Message* record) {
  if (record->Storage == nullptr || record->State != 1) [[unlikely]] {
    return ResetMessage(record) == 1;
  }
  std::memset(MESSAGE_HEADER(record)->UserId, 0, sizeof MESSAGE_HEADER(record)->UserId);
  record->Payload = record->Storage + kHeader;
  record->UsedLength = kHeader;
  return true;
}

// Copies the length bytes at r into record. REQUIRES: EmptyRecord(record).
inline int CopyRecord(const unsigned char* r, MQLONG length, Message* record) {
  if (record->Capacity - record->UsedLength < length && !SizeMessage(record, length)) [[unlikely]] {
    return 0;
  }
  pcfcore::CopyBytes(record->Payload, r, static_cast<size_t>(length));
  record->UsedLength = kHeader + length;
  return 1;
}

[[gnu::noinline]] int FetchRecordSlowly(const unsigned char* r, MQLONG length, Message* record) {
  return EmptyRecord(record) ? CopyRecord(r, length, record) : 0;
}

// EmptyRecord and CopyRecord, with the usual case (a record with storage
// and room) kept free of calls.
inline int FetchRecord(const unsigned char* r, MQLONG length, Message* record) {
  // Read once: the stores below go to bytes that could alias the fields.
  unsigned char* storage = record->Storage;
  if (storage == nullptr || record->State != 1 || record->Capacity - kHeader < length) [[unlikely]] {
    return FetchRecordSlowly(r, length, record);
  }
  std::memset(reinterpret_cast<MessageHeader*>(storage)->UserId, 0, sizeof(MessageHeader::UserId));
  unsigned char* payload = storage + kHeader;
  record->Payload = payload;
  pcfcore::CopyBytes(payload, r, static_cast<size_t>(length));
  record->UsedLength = kHeader + length;
  return 1;
}

// Copies record position into record, as GetAttrByPos.
// REQUIRES: record, message and message's body are not null.
int FetchAt(MQLONG position, Message* record, const mqPcfMessage* message) {
  if (!EmptyRecord(record)) return 0;
  if (position < 0 || position > ParameterCount(message) || position >= PCF_INDEX_SLOTS) return 0;
  const Message& slot = message->Index[position];
  // A slot is trusted only while it lies inside the current body; one left
  // over from before an append or a reuse is refused, never read.
  auto begin = reinterpret_cast<uintptr_t>(message->Body.Payload);
  auto end = begin + static_cast<uintptr_t>(PCF_BODY_LENGTH(message));
  auto at = reinterpret_cast<uintptr_t>(slot.Payload);
  if (slot.Payload == nullptr || slot.UsedLength < 8 || at < begin || at > end ||
      static_cast<uintptr_t>(slot.UsedLength) > end - at) {
    return 0;
  }
  return CopyRecord(slot.Payload, slot.UsedLength, record);
}

// GetAttrByID without the table: the first slot, by position, whose record
// has Parameter id. REQUIRES: as FetchAt.
[[gnu::noinline]] int ScanForId(MQLONG id, Message* record, const mqPcfMessage* message) {
  MQLONG count = ParameterCount(message);
  if (count > PCF_MAX_PARAMETERS) count = PCF_MAX_PARAMETERS;
  auto begin = reinterpret_cast<uintptr_t>(message->Body.Payload);
  auto end = begin + static_cast<uintptr_t>(PCF_BODY_LENGTH(message));
  for (MQLONG i = 1; i <= count; ++i) {
    const Message& slot = message->Index[i];
    auto at = reinterpret_cast<uintptr_t>(slot.Payload);
    if (slot.Payload == nullptr || at < begin || at + 12 > end) continue;
    if (LoadField(slot.Payload, pcfcore::kParameter) == id) return FetchAt(i, record, message);
  }
  return 0;
}

// GetAttrByID with message's table, when it has one. The table says where
// the first record with id lay when the message was last indexed. That
// place is served while the body there still holds a record of that id and
// length (the bytes the index slot views); a table that disagrees with the
// body, or one not sealed by a successful index, is not trusted, and the
// slots are scanned. REQUIRES: record, message and message's body are not
// null.
[[gnu::always_inline]] inline int FetchById(const pcfcore::IdTable* ids, MQLONG id, Message* record, const mqPcfMessage* message) {
  const pcfcore::IdTable::Entry* e = ids->Lookup(id);
  if (e == nullptr) return ids->sealed() ? 0 : ScanForId(id, record, message);
  // The table holds only whole records at offsets inside the body it
  // indexed; the body may have shrunk or been rewritten since.
  const unsigned char* body = message->Body.Payload;
  if (e->position <= LoadField(body, pcfcore::kCfhParameterCount) &&
      int64_t{e->end} <= int64_t{message->Body.UsedLength} - kHeader) {
    const unsigned char* r = body + e->offset;
    auto length = static_cast<MQLONG>(e->end - e->offset);
    if (LoadField(r, pcfcore::kParameter) == id && LoadField(r, pcfcore::kStrucLength) == length) {
      return FetchRecord(r, length, record);
    }
  }
  return ScanForId(id, record, message);
}

// GetAttrByID when this thread's cache does not know message: the registry
// is asked (null for a message made by hand, which is scanned).
[[gnu::noinline]] int FetchByIdSlowly(MQLONG id, Message* record, const mqPcfMessage* message) {
  if (const pcfcore::IdTable* ids = pcfcore::IdTableOf(message)) return FetchById(ids, id, record, message);
  return ScanForId(id, record, message);
}

// AppendAttr, every case. REQUIRES: message, its body and record are not
// null.
[[gnu::noinline]] int AppendSlowly(mqPcfMessage* message, const Message* record) {
  // The index holds the MQCFH and PCF_MAX_PARAMETERS records: a message
  // must never carry a parameter that RawToPcf could not index.
  MQLONG count = ParameterCount(message);
  if (count < 0 || count >= PCF_MAX_PARAMETERS) return 0;
  int64_t length;
  const unsigned char* r = pcfcore::WellFormedRecord(record, &length);
  if (r == nullptr) return 0;
  Message& body = message->Body;
  bool from_outside = reinterpret_cast<uintptr_t>(r) - reinterpret_cast<uintptr_t>(body.Storage) >=
                      static_cast<uintptr_t>(body.Capacity);
  if (body.Storage != nullptr && from_outside && body.UsedLength >= kHeader &&
      int64_t{body.Capacity} - body.UsedLength >= length) {
    // The record fits, nothing moves, and it comes from elsewhere: a plain
    // copy will do.
    pcfcore::CopyBytes(body.Storage + body.UsedLength, r, static_cast<size_t>(length));
    body.UsedLength += static_cast<MQLONG>(length);
    StoreField(body.Payload, pcfcore::kCfhParameterCount, count + 1);
    return 1;
  }
  // The body must grow or the record lies inside it: AppendMessage copes
  // with both, and the views follow a body that moved.
  auto old_base = reinterpret_cast<uintptr_t>(message->Body.Payload);
  if (!AppendMessage(&message->Body, record)) return 0;
  unsigned char* base = message->Body.Payload;
  message->Cfh = reinterpret_cast<MQCFH*>(base);
  StoreField(base, pcfcore::kCfhParameterCount, count + 1);
  if (reinterpret_cast<uintptr_t>(base) != old_base) {
    for (Message& slot : message->Index) {
      if (slot.Payload == nullptr) continue;
      slot.Payload = base + (reinterpret_cast<uintptr_t>(slot.Payload) - old_base);
    }
  }
  return 1;
}

// RawToPcf's walk of records 0..n of a body of limit bytes: fills their
// slots, checks each record once, and (kWithTable) enters each parameter in
// ids. Returns the length of the records walked, or -1 when one of them
// overruns the body or is malformed. REQUIRES: 0 <= n < PCF_INDEX_SLOTS;
// limit >= MQCFH_STRUC_LENGTH; ids cleared when kWithTable.
// One record of the walk: the length of the record at offset, when it lies
// inside the body's limit bytes and is well formed; else -1, with the
// overflow printed when it runs past the body.
[[gnu::always_inline]] inline int64_t CheckedRecordLength(const unsigned char* body, int64_t offset, int64_t limit) {
  if (offset + 8 > limit) {
    PrintOverflow(734);
    return -1;
  }
  int64_t struc_length = LoadField(body + offset, pcfcore::kStrucLength);
  if (offset + struc_length > limit) {
    PrintOverflow(734);
    return -1;
  }
  return pcfcore::RecordWellFormed(body + offset, struc_length) ? struc_length : -1;
}

// Payload, Capacity and UsedLength lie side by side, so one 16-byte store
// empties a slot: null Payload, no length.
static_assert(offsetof(Message, Capacity) == offsetof(Message, Payload) + 8 &&
              offsetof(Message, UsedLength) == offsetof(Message, Payload) + 12);
[[gnu::always_inline]] inline void EmptySlot(Message& slot) {
  std::memset(reinterpret_cast<unsigned char*>(&slot) + offsetof(Message, Payload), 0, 16);
}

// Makes slot a view of the length bytes at record.
[[gnu::always_inline]] inline void FillSlot(Message& slot, unsigned char* record, int64_t length) {
  slot.State = 1;
  slot.Storage = nullptr;
  slot.Payload = record;
  slot.Capacity = static_cast<MQLONG>(length);
  slot.UsedLength = static_cast<MQLONG>(length);
}

template <bool kWithTable>
int64_t IndexRecords(mqPcfMessage* message, MQLONG n, int64_t limit, pcfcore::IdTable* ids) {
  [[maybe_unused]] pcfcore::IdTable::Filler filler(kWithTable ? ids : nullptr);
  unsigned char* body = message->Body.Payload;
  // Record 0, the MQCFH, goes in no table.
  int64_t offset = CheckedRecordLength(body, 0, limit);
  if (offset < 0) return -1;
  FillSlot(message->Index[0], body, offset);
  for (MQLONG i = 1; i <= n; ++i) {
    // Each record is checked before its slot is written: the slot's stores
    // could alias the record's bytes, which would then be read again.
    int64_t struc_length = CheckedRecordLength(body, offset, limit);
    if (struc_length < 0) return -1;
    unsigned char* record = body + offset;
    MQLONG parameter = LoadField(record, pcfcore::kParameter);
    FillSlot(message->Index[i], record, struc_length);
    if constexpr (kWithTable) {
      filler.Add(parameter, i, static_cast<MQLONG>(offset), static_cast<MQLONG>(struc_length));
    }
    offset += struc_length;
  }
  return offset;
}

}  // namespace

extern "C" {

mqPcfMessage* CreatePcfMessage(MQLONG command, MQLONG type, MQLONG size) {
  if (size < 0) return nullptr;
  void* object = nullptr;
  if (!fNewMemory(&object, sizeof(mqPcfMessage), "PcfMessage")) return nullptr;
  auto* m = static_cast<mqPcfMessage*>(object);
  // An object without a buffer would crash its first user; callers test
  // only for null, so hand back nothing instead.
  if (size > INT32_MAX - kHeader - MQCFH_STRUC_LENGTH ||
      !CreateMessage(&m->Body, size + MQCFH_STRUC_LENGTH)) {
    FreeMemory(m);
    return nullptr;
  }
  SetNodeHeaderTemplate(&m->NodeHeader);
  StartBody(m, type, command);
  m->Next = nullptr;
  pcfcore::AttachIdTable(m);
  RawToPcf(m);
  return m;
}

int ResetPcfMessage(mqPcfMessage* message, MQLONG command, MQLONG type) {
  if (message == nullptr || !ResetMessage(&message->Body)) return 0;
  if (message->Body.Capacity < kHeader + MQCFH_STRUC_LENGTH &&
      !SizeMessage(&message->Body, MQCFH_STRUC_LENGTH)) {
    return 0;
  }
  SetNodeHeaderTemplate(&message->NodeHeader);
  StartBody(message, type, command);
  DeleteChain(message->Next);
  message->Next = nullptr;
  return RawToPcf(message);
}

int SizePcfMessage(mqPcfMessage* message, MQLONG size) {
  if (message == nullptr || size < 0 || size > INT32_MAX - kHeader - MQCFH_STRUC_LENGTH) return 0;
  MQLONG type = MQCFT_COMMAND;
  MQLONG command = 0;
  if (message->Body.Payload != nullptr && message->Body.Capacity >= kHeader + MQCFH_STRUC_LENGTH) {
    type = LoadField(message->Body.Payload, pcfcore::kType);
    command = LoadField(message->Body.Payload, pcfcore::kCfhCommand);
  }
  if (!SizeMessage(&message->Body, size + MQCFH_STRUC_LENGTH)) return 0;
  message->Kind = PCF_MESSAGE_KIND;
  message->Cfh = reinterpret_cast<MQCFH*>(message->Body.Payload);
  message->Body.UsedLength += MQCFH_STRUC_LENGTH;
  WriteCfh(message->Body.Payload, type, command);
  return RawToPcf(message);
}

int DeletePcfMessage(mqPcfMessage* message) {
  if (message == nullptr) return 0;
  pcfcore::DetachIdTable(message);
  DeleteMessage(&message->Body);
  DeleteChain(message->Next);
  FreeMemory(message);
  return 1;
}

int AppendAttr(mqPcfMessage* message, const Message* record) {
  if (message == nullptr || message->Body.Payload == nullptr || record == nullptr) return 0;
  // The usual case is done here: a record with storage of its own, well
  // formed, that fits the body's room. Any other case starts again from the
  // top the general way (AppendSlowly), so the usual one saves no registers.
  Message& body = message->Body;
  MQLONG count = LoadField(body.Payload, pcfcore::kCfhParameterCount);
  const unsigned char* r = record->Payload;
  int64_t length;
  // The record's own StrucLength must be the length held; from there on it
  // is the only length kept. One unsigned test tells whether the record
  // lies outside the body's block: one before the block wraps round to a
  // distance past its end. A record is at least 16 bytes, so enough room
  // also means UsedLength <= Capacity.
  if (count >= 0 && count < PCF_MAX_PARAMETERS && record->Storage != nullptr && r != nullptr &&
      record->UsedLength <= record->Capacity && record->UsedLength >= kHeader + 8 &&
      (length = LoadField(r, pcfcore::kStrucLength)) == int64_t{record->UsedLength} - kHeader &&
      pcfcore::RecordWellFormed(r, length) &&
      body.Storage != nullptr &&
      reinterpret_cast<uintptr_t>(r) - reinterpret_cast<uintptr_t>(body.Storage) >=
          static_cast<uintptr_t>(body.Capacity) &&
      body.UsedLength >= kHeader && int64_t{body.Capacity} - body.UsedLength >= length) [[likely]] {
    // The counts first: after the copy nothing is left to keep in a
    // register.
    unsigned char* to = body.Storage + body.UsedLength;
    body.UsedLength += static_cast<MQLONG>(length);
    StoreField(body.Payload, pcfcore::kCfhParameterCount, count + 1);
    pcfcore::CopyBytes(to, r, static_cast<size_t>(length));
    return 1;
  }
  return AppendSlowly(message, record);
}

int RawToPcf(mqPcfMessage* message) {
  if (message == nullptr || message->Body.Payload == nullptr) return 0;
  // Until this index succeeds, lookups by id scan the slots as they are.
  pcfcore::IdTable* ids = pcfcore::IdTableOf(message);
  if (ids != nullptr) ids->Clear();
  unsigned char* body = message->Body.Payload;
  message->Cfh = reinterpret_cast<MQCFH*>(body);
  int64_t limit = int64_t{message->Body.UsedLength} - kHeader;
  if (int64_t{message->Body.Capacity} - kHeader < limit) {
    PrintOverflow(705);
    return 0;
  }
  if (limit < MQCFH_STRUC_LENGTH) {
    PrintOverflow(734);
    return 0;
  }
  MQLONG n = ParameterCount(message);
  if (n >= PCF_INDEX_SLOTS) {
    // Refused rather than cut: dropping parameters would silently change
    // what the sender asked for.
    char t[9];
    TimeOfDay(t);
    std::printf("%.8s PcfMessage::RawToPcf(%d) PCF(%d) excessive attributes truncated from %lld to %d\n",
                t, 719, LoadField(body, pcfcore::kCfhCommand), static_cast<long long>(n) + 1,
                PCF_INDEX_SLOTS);
    return 0;
  }
  if (n < 0) return 0;
  // Record 0 is read as the MQCFH (Command, ParameterCount): only a
  // command, response or event header may stand there.
  MQLONG type = LoadField(body, pcfcore::kType);
  if (type != MQCFT_COMMAND && type != MQCFT_RESPONSE && type != MQCFT_EVENT) return 0;
  int64_t offset = ids != nullptr ? IndexRecords<true>(message, n, limit, ids)
                                  : IndexRecords<false>(message, n, limit, nullptr);
  if (offset < 0) return 0;
  // Slots past the last record still view the records of an earlier, longer
  // body; empty them so that a record appended since is refused until the
  // next index instead of being read with an old length. Filled slots always
  // form a prefix of the index, so the first empty slot ends the run.
  for (int i = n + 1; i < PCF_INDEX_SLOTS && message->Index[i].Payload != nullptr; ++i) {
    EmptySlot(message->Index[i]);
  }
  message->Body.UsedLength = static_cast<MQLONG>(offset + kHeader);
  if (ids != nullptr) ids->Seal();
  return 1;
}

int GetAttrByPos(MQLONG position, Message* record, const mqPcfMessage* message) {
  if (record == nullptr || message == nullptr || message->Body.Payload == nullptr) return 0;
  return FetchAt(position, record, message);
}

int GetAttrByID(MQLONG id, Message* record, const mqPcfMessage* message) {
  if (record == nullptr || message == nullptr || message->Body.Payload == nullptr) return 0;
  // The usual case is done here: this thread knows the message's table, the
  // table has id, the body still holds that record where the table says,
  // and the record is at most 64 bytes with 64 bytes of room on both sides.
  // Any other case starts again from the top the general way, so that the
  // usual one needs few registers and saves none.
  pcfcore::IdTable* ids;
  if (!pcfcore::LastIdTableOf(message, &ids)) [[unlikely]] return FetchByIdSlowly(id, record, message);
  const pcfcore::IdTable::Entry* e = ids->Lookup(id);
  if (e == nullptr) return ids->sealed() ? 0 : ScanForId(id, record, message);
  const unsigned char* body = message->Body.Payload;
  const unsigned char* r = body + e->offset;
  auto length = static_cast<MQLONG>(e->end - e->offset);
  unsigned char* storage = record->Storage;
  if (e->position <= LoadField(body, pcfcore::kCfhParameterCount) &&
      int64_t{e->end} <= int64_t{message->Body.UsedLength} - kHeader &&
      LoadField(r, pcfcore::kParameter) == id && LoadField(r, pcfcore::kStrucLength) == length &&
      length <= 64 && int64_t{e->offset} + kHeader + 64 <= message->Body.Capacity &&
      storage != nullptr && record->State == 1 && record->Capacity >= kHeader + 64) [[likely]] {
    std::memset(reinterpret_cast<MessageHeader*>(storage)->UserId, 0, sizeof(MessageHeader::UserId));
    unsigned char* payload = storage + kHeader;
    record->Payload = payload;
    // Both blocks have the room: 32 or 64 bytes are moved whatever the
    // length, which spares the moves that depend on it. The bytes past the
    // record are the body's own and land past the record's used length.
    if (length <= 32) {
      pcfcore::Copy32(payload, r);
    } else {
      pcfcore::Copy64(payload, r);
    }
    record->UsedLength = kHeader + length;
    return 1;
  }
  return FetchByIdSlowly(id, record, message);
}

}  // extern "C"
