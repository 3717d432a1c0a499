// record_check.h: the well-formedness check of one PCF record, inline so
// that the indexer, AppendAttr and the accessors pay no call for it.
// Layouts: docs/formats/pcf-message.md.
#ifndef PCFCORE_SRC_RECORD_CHECK_H_
#define PCFCORE_SRC_RECORD_CHECK_H_

#include <cstdint>

#include "pcfcore/pcf_records.h"
#include "wire.h"

namespace pcfcore {

// True when the held_length bytes at r are one well-formed record of a
// known type: StrucLength equals held_length and the counts and lengths
// inside fit it. REQUIRES: held_length bytes are readable at r.
[[gnu::always_inline]] inline bool RecordWellFormed(const unsigned char* r, int64_t held_length) {
  if (held_length < 8) return false;
  int64_t struc_length = LoadField(r, kStrucLength);
  if (struc_length != held_length) return false;
  // Tested in the order of how common each type is: integers and strings
  // make up most of every message.
  MQLONG type = LoadField(r, kType);
  if (type == MQCFT_INTEGER) return struc_length == MQCFIN_STRUC_LENGTH;
  // Strings are told apart from the rarer types first, so that the common
  // case takes two plain tests and not a jump through a table of types.
  bool string_layout = type == MQCFT_STRING;
  if (__builtin_expect(!string_layout, 0)) string_layout = type == EXCFT_PCF || type == EXCFT_BYTES;
  if (string_layout) {
    if (struc_length < kStrFixed || struc_length % 4 != 0) return false;
    int64_t string_length = LoadField(r, kStrLength);
    return string_length >= 0 && struc_length >= string_length + kStrFixed;
  }
  if (type == MQCFT_COMMAND || type == MQCFT_RESPONSE || type == MQCFT_EVENT) {
    return struc_length == MQCFH_STRUC_LENGTH;
  }
  if (type == MQCFT_INTEGER_LIST) {
    if (struc_length < kIntListFixed) return false;
    int64_t count = LoadField(r, kIntListCount);
    return count >= 0 && struc_length == count * 4 + kIntListFixed;
  }
  if (type == MQCFT_STRING_LIST) {
    if (struc_length < kStrListFixed || struc_length % 4 != 0) return false;
    int64_t count = LoadField(r, kStrListCount);
    int64_t string_length = LoadField(r, kStrListLength);
    return count >= 0 && string_length >= 0 && struc_length >= count * string_length + kStrListFixed;
  }
  return false;
}

// The record held by a Message (a view or one with storage) when it is well
// formed, with its length in *length; else null. The used length must lie
// inside the block (a view's capacity is the record's own length), or the
// check would vouch for bytes that are not there.
[[gnu::always_inline]] inline const unsigned char* WellFormedRecord(const Message* record, int64_t* length) {
  if (record == nullptr || record->Payload == nullptr) return nullptr;
  if (record->UsedLength > record->Capacity) return nullptr;
  int64_t held = record->Storage != nullptr ? int64_t{record->UsedLength} - MESSAGE_HEADER_LENGTH
                                            : int64_t{record->UsedLength};
  if (!RecordWellFormed(record->Payload, held)) return nullptr;
  *length = held;
  return record->Payload;
}

// WellFormedRecord for an MQCFIN only: the record held by record when it is
// a well-formed integer record; else null. The same answer in fewer tests,
// for the accessors of the commonest record.
[[gnu::always_inline]] inline const unsigned char* WellFormedIntegerRecord(const Message* record) {
  if (record == nullptr || record->Payload == nullptr) return nullptr;
  if (record->UsedLength > record->Capacity) return nullptr;
  int64_t held = record->Storage != nullptr ? int64_t{record->UsedLength} - MESSAGE_HEADER_LENGTH
                                            : int64_t{record->UsedLength};
  const unsigned char* r = record->Payload;
  if (held != MQCFIN_STRUC_LENGTH || LoadField(r, kStrucLength) != MQCFIN_STRUC_LENGTH ||
      LoadField(r, kType) != MQCFT_INTEGER) {
    return nullptr;
  }
  return r;
}

[[gnu::always_inline]] inline const unsigned char* WellFormedRecord(const Message* record) {
  int64_t length;
  return WellFormedRecord(record, &length);
}

}  // namespace pcfcore

#endif  // PCFCORE_SRC_RECORD_CHECK_H_
