// PCF parameter records: builders, resizers, accessors and the validity
// check that every accessor relies on (its body, shared with the indexer,
// is in record_check.h).
//
// A record lives in a Message whose payload is exactly that record. Every
// accessor checks the record first, so no copy ever uses a negative length
// or one that runs past the record.

#include "pcfcore/pcf_records.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "pcfcore/pcf_message.h"
#include "record_check.h"
#include "wire.h"

using pcfcore::LoadField;
using pcfcore::RoundUp4;
using pcfcore::StoreField;

namespace {

constexpr MQLONG kHeader = MESSAGE_HEADER_LENGTH;
constexpr int64_t kMaxRecord = std::numeric_limits<MQLONG>::max() - kHeader;

// Creates record with room for exactly struc_length bytes, in use.
unsigned char* NewRecord(Message* record, int64_t struc_length, MQLONG type, MQLONG id) {
  if (struc_length < 0 || struc_length > kMaxRecord) return nullptr;
  if (!CreateMessage(record, static_cast<MQLONG>(struc_length))) return nullptr;
  record->UsedLength = static_cast<MQLONG>(kHeader + struc_length);
  unsigned char* r = record->Payload;
  StoreField(r, pcfcore::kType, type);
  StoreField(r, pcfcore::kStrucLength, static_cast<MQLONG>(struc_length));
  StoreField(r, pcfcore::kParameter, id);
  return r;
}

int NewStringRecord(Message* record, MQLONG type, MQLONG id, const void* bytes, int64_t length) {
  if (length < 0 || (length > 0 && bytes == nullptr)) return 0;
  unsigned char* r = NewRecord(record, pcfcore::kStrFixed + RoundUp4(length), type, id);
  if (r == nullptr) return 0;
  StoreField(r, pcfcore::kStrCcsid, 0);
  StoreField(r, pcfcore::kStrLength, static_cast<MQLONG>(length));
  if (length > 0) std::memcpy(r + pcfcore::kStrFixed, bytes, static_cast<size_t>(length));
  return 1;
}

// The record, when it is valid and of one of the given types; else null.
[[gnu::always_inline]] inline const unsigned char* Checked(const Message* record,
                                                          std::initializer_list<MQLONG> types) {
  const unsigned char* r = pcfcore::WellFormedRecord(record);
  if (r == nullptr) return nullptr;
  MQLONG type = LoadField(r, pcfcore::kType);
  for (MQLONG t : types) {
    if (t == type) return r;
  }
  return nullptr;
}

unsigned char* CheckedMutable(Message* record, std::initializer_list<MQLONG> types) {
  return const_cast<unsigned char*>(Checked(record, types));
}

// Resizes a list record that owns storage to struc_length bytes; the bytes
// past the old record are zeroed, since they reach the wire.
unsigned char* ResizeList(Message* record, int64_t struc_length) {
  if (record->Storage == nullptr || struc_length > kMaxRecord) return nullptr;
  MQLONG old_length = LoadField(record->Payload, pcfcore::kStrucLength);
  if (!SizeMessage(record, static_cast<MQLONG>(struc_length))) return nullptr;
  record->UsedLength = record->Capacity;
  unsigned char* r = record->Payload;
  if (struc_length > old_length) {
    std::memset(r + old_length, 0, static_cast<size_t>(struc_length - old_length));
  }
  StoreField(r, pcfcore::kStrucLength, static_cast<MQLONG>(struc_length));
  return r;
}

int64_t StrListLength(int64_t count, int64_t string_length) {
  return pcfcore::kStrListFixed + RoundUp4(count * string_length);
}

}  // namespace

extern "C" {

int IsPcfAttrValid(const Message* record) { return pcfcore::WellFormedRecord(record) != nullptr ? 1 : 0; }

int CreatePcfIntAttr(Message* record, MQLONG id, MQLONG value) {
  unsigned char* r = NewRecord(record, MQCFIN_STRUC_LENGTH, MQCFT_INTEGER, id);
  if (r == nullptr) return 0;
  StoreField(r, pcfcore::kIntValue, value);
  return 1;
}

int CreatePcfStrAttr(Message* record, MQLONG id, const char* text) {
  const char* t = text != nullptr ? text : "";
  return NewStringRecord(record, MQCFT_STRING, id, t, static_cast<int64_t>(std::strlen(t)));
}

int CreatePcfNZStrAttr(Message* record, MQLONG id, const char* bytes, MQLONG length) {
  return NewStringRecord(record, MQCFT_STRING, id, bytes, length);
}

int CreatePcfBinAttr(Message* record, MQLONG id, const void* bytes, MQLONG length) {
  return NewStringRecord(record, EXCFT_BYTES, id, bytes, length);
}

int CreatePcfPcfAttr(Message* record, MQLONG id, const mqPcfMessage* message) {
  if (message == nullptr || message->Body.Payload == nullptr) return 0;
  return NewStringRecord(record, EXCFT_PCF, id, message->Body.Payload, PCF_BODY_LENGTH(message));
}

int CreatePcfIntListAttr(Message* record, MQLONG id, MQLONG count) {
  if (count < 0) return 0;
  unsigned char* r = NewRecord(record, pcfcore::kIntListFixed + int64_t{count} * 4,
                               MQCFT_INTEGER_LIST, id);
  if (r == nullptr) return 0;
  StoreField(r, pcfcore::kIntListCount, count);
  return 1;
}

int CreatePcfStrListAttr(Message* record, MQLONG id, MQLONG count, MQLONG string_length) {
  if (count < 0 || string_length < 0) return 0;
  unsigned char* r = NewRecord(record, StrListLength(count, string_length), MQCFT_STRING_LIST, id);
  if (r == nullptr) return 0;
  StoreField(r, pcfcore::kStrListCcsid, 0);
  StoreField(r, pcfcore::kStrListCount, count);
  StoreField(r, pcfcore::kStrListLength, string_length);
  return 1;
}

int SizePcfIntListAttr(Message* record, MQLONG count) {
  if (count < 0 || CheckedMutable(record, {MQCFT_INTEGER_LIST}) == nullptr) return 0;
  unsigned char* r = ResizeList(record, pcfcore::kIntListFixed + int64_t{count} * 4);
  if (r == nullptr) return 0;
  StoreField(r, pcfcore::kIntListCount, count);
  return 1;
}

int SizePcfStrListAttr(Message* record, MQLONG count) {
  const unsigned char* old = Checked(record, {MQCFT_STRING_LIST});
  if (count < 0 || old == nullptr) return 0;
  MQLONG string_length = LoadField(old, pcfcore::kStrListLength);
  unsigned char* r = ResizeList(record, StrListLength(count, string_length));
  if (r == nullptr) return 0;
  StoreField(r, pcfcore::kStrListCount, count);
  return 1;
}

int GetPcfIntAttrValue(const Message* record, MQLONG* value) {
  const unsigned char* r = pcfcore::WellFormedIntegerRecord(record);
  if (r == nullptr || value == nullptr) return 0;
  *value = LoadField(r, pcfcore::kIntValue);
  return 1;
}

int SetPcfIntAttrValue(Message* record, MQLONG value) {
  auto* r = const_cast<unsigned char*>(pcfcore::WellFormedIntegerRecord(record));
  if (r == nullptr) return 0;
  StoreField(r, pcfcore::kIntValue, value);
  return 1;
}

int GetPcfStrAttrValue(const Message* record, char* text, MQLONG maximum) {
  const unsigned char* r = Checked(record, {MQCFT_STRING});
  if (r == nullptr || text == nullptr || maximum < 0) return 0;
  MQLONG n = std::min(maximum, LoadField(r, pcfcore::kStrLength));
  std::memcpy(text, r + pcfcore::kStrFixed, static_cast<size_t>(n));
  text[n] = '\0';
  return 1;
}

int SetPcfStrAttrValue(Message* record, const char* text) {
  unsigned char* r = CheckedMutable(record, {MQCFT_STRING});
  if (r == nullptr) return 0;
  size_t length = static_cast<size_t>(LoadField(r, pcfcore::kStrLength));
  size_t n = text != nullptr ? strnlen(text, length) : 0;
  if (n > 0) std::memcpy(r + pcfcore::kStrFixed, text, n);
  std::memset(r + pcfcore::kStrFixed + n, 0, length - n);
  return 1;
}

int GetPcfBinAttrValue(const Message* record, void* bytes, MQLONG* length) {
  const unsigned char* r = Checked(record, {EXCFT_BYTES, MQCFT_STRING, EXCFT_PCF});
  if (r == nullptr || bytes == nullptr || length == nullptr || *length < 0) return 0;
  MQLONG n = std::min(*length, LoadField(r, pcfcore::kStrLength));
  std::memcpy(bytes, r + pcfcore::kStrFixed, static_cast<size_t>(n));
  *length = n;
  return 1;
}

int SetPcfBinAttrValue(Message* record, const void* bytes, MQLONG length) {
  unsigned char* r = CheckedMutable(record, {EXCFT_BYTES});
  if (r == nullptr || length < 0 || (length > 0 && bytes == nullptr)) return 0;
  MQLONG n = std::min(length, LoadField(r, pcfcore::kStrLength));
  if (n > 0) std::memcpy(r + pcfcore::kStrFixed, bytes, static_cast<size_t>(n));
  return 1;
}

int GetPcfPcfAttrValue(const Message* record, mqPcfMessage* message) {
  const unsigned char* r = Checked(record, {EXCFT_PCF});
  if (r == nullptr || message == nullptr) return 0;
  MQLONG length = LoadField(r, pcfcore::kStrLength);
  // The record may be a view into this very message's body; copy it out
  // before the body is resized.
  Message copy{};
  if (!CreatePcfNZStrAttr(&copy, 0, reinterpret_cast<const char*>(r + pcfcore::kStrFixed), length)) {
    return 0;
  }
  // Unlike a truncated copy, a failed resize leaves nothing half-written.
  if (!SizePcfMessage(message, length)) {
    DeleteMessage(&copy);
    return 0;
  }
  std::memcpy(message->Body.Payload, copy.Payload + pcfcore::kStrFixed, static_cast<size_t>(length));
  message->Body.UsedLength = kHeader + length;
  message->Cfh = reinterpret_cast<MQCFH*>(message->Body.Payload);
  DeleteMessage(&copy);
  return 1;
}

int GetPcfIntListAttrValue(const Message* record, MQLONG index, MQLONG* value) {
  const unsigned char* r = Checked(record, {MQCFT_INTEGER_LIST});
  if (r == nullptr || value == nullptr) return 0;
  if (index < 0 || index >= LoadField(r, pcfcore::kIntListCount)) return 0;
  *value = pcfcore::Load32(r + pcfcore::kIntListFixed + 4 * static_cast<size_t>(index));
  return 1;
}

int SetPcfIntListAttrValue(Message* record, MQLONG index, MQLONG value) {
  unsigned char* r = CheckedMutable(record, {MQCFT_INTEGER_LIST});
  if (r == nullptr || index < 0) return 0;
  if (index >= LoadField(r, pcfcore::kIntListCount)) {
    if (index == std::numeric_limits<MQLONG>::max() || !SizePcfIntListAttr(record, index + 1)) return 0;
    r = record->Payload;
  }
  pcfcore::Store32(r + pcfcore::kIntListFixed + 4 * static_cast<size_t>(index), value);
  return 1;
}

int GetPcfStrListAttrValue(const Message* record, MQLONG index, char* text, MQLONG maximum) {
  const unsigned char* r = Checked(record, {MQCFT_STRING_LIST});
  if (r == nullptr || text == nullptr || maximum < 0) return 0;
  if (index < 0 || index >= LoadField(r, pcfcore::kStrListCount)) return 0;
  size_t string_length = static_cast<size_t>(LoadField(r, pcfcore::kStrListLength));
  size_t n = std::min(static_cast<size_t>(maximum), string_length);
  std::memcpy(text, r + pcfcore::kStrListFixed + static_cast<size_t>(index) * string_length, n);
  text[n] = '\0';
  return 1;
}

int SetPcfStrListAttrValue(Message* record, MQLONG index, const char* text) {
  unsigned char* r = CheckedMutable(record, {MQCFT_STRING_LIST});
  if (r == nullptr || index < 0) return 0;
  if (index >= LoadField(r, pcfcore::kStrListCount)) {
    if (index == std::numeric_limits<MQLONG>::max() || !SizePcfStrListAttr(record, index + 1)) return 0;
    r = record->Payload;
  }
  size_t string_length = static_cast<size_t>(LoadField(r, pcfcore::kStrListLength));
  unsigned char* s = r + pcfcore::kStrListFixed + static_cast<size_t>(index) * string_length;
  size_t n = text != nullptr ? strnlen(text, string_length) : 0;
  if (n > 0) std::memcpy(s, text, n);
  std::memset(s + n, ' ', string_length - n);
  return 1;
}

}  // extern "C"
