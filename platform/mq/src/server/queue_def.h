// Queue definitions: the attributes each queue type has, their widths,
// defaults and which of them MQSET may change.
#ifndef MQSIM_SERVER_QUEUE_DEF_H_
#define MQSIM_SERVER_QUEUE_DEF_H_

#include <map>
#include <span>
#include <string>
#include <vector>

#include "common/protocol.h"

namespace mqsim::server {

// The transmission queue of every cluster sender of a queue manager.
inline constexpr const char* kClusterXmitQueue = "SYSTEM.CLUSTER.TRANSMIT.QUEUE";

// Bits of AttrSpec::types.
constexpr int kTypeLocal = 1;
constexpr int kTypeModel = 2;
constexpr int kTypeAlias = 4;
constexpr int kTypeRemote = 8;

struct AttrSpec {
  MQLONG selector;
  bool is_string;
  int length;     // characters, for strings
  int types;      // kType* bits
  bool settable;  // by MQSET
};

// Spec of a stored or computed queue attribute; null when unknown.
const AttrSpec* FindQueueAttr(MQLONG selector);
// Every queue attribute, in the order inquiries list them.
std::span<const AttrSpec> QueueAttrs();
int TypeBit(MQLONG q_type);

struct QueueDef {
  std::string name;
  MQLONG type = MQQT_LOCAL;
  std::map<MQLONG, MQLONG> ints;
  std::map<MQLONG, std::string> strs;

  MQLONG Int(MQLONG sel) const {
    auto it = ints.find(sel);
    return it == ints.end() ? 0 : it->second;
  }
  std::string Str(MQLONG sel) const {
    auto it = strs.find(sel);
    return it == strs.end() ? std::string() : it->second;
  }
  // Fills every attribute of the type that is not set yet.
  void ApplyDefaults();
  // Name, type and every attribute, as stored in the journal.
  std::vector<Attr> ToAttrs() const;
  // From attributes; false with *error when the name or type is missing or
  // an attribute does not belong to the type.
  static bool FromAttrs(const std::vector<Attr>& attrs, QueueDef* out, std::string* error);
};

// "YYYY-MM-DD" and "HH.MM.SS" of now, local time, as MQ shows them.
std::string TodayDate();
std::string NowTime();
// PutDate "YYYYMMDD" and PutTime "HHMMSSTH" of now, UTC, as MQ stamps them.
void StampPutTime(MQMD* md);

}  // namespace mqsim::server

#endif  // MQSIM_SERVER_QUEUE_DEF_H_
