// fields.h: the MQ header fields that travel as PCF parameters, as tables.
//
// Each table row names one field of an IBM header (MQMD, MQMDE, MQDLH, MQXQH
// or the descriptor inside an MQXQH) by parameter id, byte offset, length and
// kind. Criteria, browse responses, modifications and new messages all walk
// these tables instead of naming fields in code, so a field is described
// once. Adding a row changes what travels on the wire: the ids are fixed by
// the message browser (docs/formats/message-requests.md).
#ifndef MSGOPS_FIELDS_H_
#define MSGOPS_FIELDS_H_

#include <mqi/mqi.h>

#include <cstddef>
#include <span>

namespace msgops {

enum class FieldKind {
  kInt,    // MQLONG
  kChars,  // blank-padded characters
  kBytes,  // binary, zero-padded
};

struct FieldSpec {
  MQLONG id;
  size_t offset;  // within its structure
  size_t length;  // 4 for kInt
  FieldKind kind;
};

// Selection criteria over the message descriptor, in the order the matcher
// applies them. Version-2 fields are compared only for a version-2 MQMD.
std::span<const FieldSpec> MdIntCriteria();
std::span<const FieldSpec> MdStringCriteria();
std::span<const FieldSpec> MdV2Criteria();
std::span<const FieldSpec> MdeCriteria();
std::span<const FieldSpec> DlhCriteria();
std::span<const FieldSpec> XqhCriteria();  // offsets within the MQXQH, descriptor included

// Fields of one browse response.
std::span<const FieldSpec> MdResponseFields();    // version-1 part
std::span<const FieldSpec> MdV2ResponseFields();  // sent for every message (version-2 get)
std::span<const FieldSpec> MdeResponseFields();
std::span<const FieldSpec> DlhResponseFields();
std::span<const FieldSpec> XqhResponseFields();

// Modifications of copy and move (ids of their own, not the criteria's).
std::span<const FieldSpec> MdModifyFields();
std::span<const FieldSpec> MdV2ModifyFields();
std::span<const FieldSpec> MdeModifyFields();
std::span<const FieldSpec> DlhModifyFields();
std::span<const FieldSpec> XqhModifyFields();

// Values of a new message (the selection ids used as values).
std::span<const FieldSpec> MdNewFields();
std::span<const FieldSpec> MdV2NewFields();
std::span<const FieldSpec> MdeNewFields();
std::span<const FieldSpec> DlhNewFields();
std::span<const FieldSpec> XqhNewFields();

}  // namespace msgops

#endif  // MSGOPS_FIELDS_H_
