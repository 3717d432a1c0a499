// message_edit.h: what copy and move do to a message before they put it.
//
// Header stripping (20401), header modification and insertion (20402) and
// data replacement (20156, 20501, 20039/20038), read from the request once
// and applied to each message. Inserted headers are chained: the structure
// before an inserted header names it in its Format and the inserted header
// takes over the Format that was there, so the message still describes
// itself; explicit Format values of the request are applied afterwards and
// win. Every offset and length is checked before anything is allocated.
#ifndef MSGOPS_MESSAGE_EDIT_H_
#define MSGOPS_MESSAGE_EDIT_H_

#include <mqi/mqi.h>

#include <optional>
#include <string>
#include <vector>

#include "fields.h"
#include "mq_queue.h"

namespace msgops {

class RequestParams;

// The largest message the queue managers take.
constexpr int64_t kMaxMessageBytes = 4 * 1024 * 1024;

// Values to write into header fields.
struct FieldValue {
  const FieldSpec* field;
  MQLONG number = 0;
  std::string image;  // field-length image for strings and bytes
};
std::vector<FieldValue> ReadFieldValues(RequestParams& params, std::span<const FieldSpec> fields);
void WriteFieldValues(const std::vector<FieldValue>& values, void* structure);

// Defaults of inserted or new headers.
void DefaultMdFields(MQMD* md);
MQMDE DefaultMde();
MQXQH DefaultXqh();
MQDLH DefaultDlh();

class MessageEdit {
 public:
  // is_move: the data end becomes exactly the replacement's end (copy only
  // ever lengthens).
  static MessageEdit FromRequest(RequestParams& params, bool is_move);

  // Strips, modifies and replaces; 0, or the MQ reason that refuses this
  // message (MQRC_DATA_LENGTH_ERROR for an offset or length out of range,
  // MQRC_MSG_TOO_BIG_FOR_Q_MGR for a result too large, MQRC_RESOURCE_PROBLEM
  // when memory runs out). A refused message is left as it was got.
  MQLONG Apply(MqMessage* message) const;
  // Strip only (20401), as used by the puts.
  void Strip(MqMessage* message) const;

  MQLONG strip_flags() const { return strip_; }
  MQLONG modify_flags() const { return modify_; }

 private:
  MQLONG Modify(MqMessage* message) const;
  MQLONG ReplaceData(MqMessage* message, size_t headers) const;

  bool is_move_ = false;
  MQLONG strip_ = 0;
  MQLONG modify_ = 0;
  std::vector<FieldValue> md_, md_v2_, mde_, xqh_, dlh_;
  MQLONG offset_ = 0;
  std::optional<MQLONG> new_length_;
  std::optional<std::string> replacement_;
  bool replacement_is_string_ = false;
};

// Inserts `bytes` at `at` of the message's data; false when the result
// would be too large or memory runs out.
bool InsertBytes(MqMessage* message, size_t at, const void* bytes, size_t length);
void RemoveBytes(MqMessage* message, size_t at, size_t length);

}  // namespace msgops

#endif  // MSGOPS_MESSAGE_EDIT_H_
