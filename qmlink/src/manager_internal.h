// What the queue-manager object's files share inside qmlink.
#ifndef QMLINK_SRC_MANAGER_INTERNAL_H_
#define QMLINK_SRC_MANAGER_INTERNAL_H_

#include <cstddef>
#include <string>

#include <pcfcore/pcf_message.h>

namespace qmlink {

inline constexpr const char* kReplyQueuePrefix = "HARROWLINE.REPLY.";
inline constexpr const char* kEventQueuePrefix = "HARROWLINE.EVENT.";
inline constexpr size_t kMaxSuffixChars = 16;
// How long the library's own command exchanges wait for their reply.
inline constexpr int kCommandReplyWaitMs = 10000;

// prefix + suffix (cut to 16 characters; "DEFAULT" when null or empty),
// blanks removed, then "*" so that MQ completes the name.
std::string DynamicQueueName(const char* prefix, const char* suffix);

// MQCMD_CHANGE_Q of a local queue's description; null when no memory.
mqPcfMessage* BuildChangeQueueDescription(const std::string& queue, const std::string& description);

}  // namespace qmlink

#endif  // QMLINK_SRC_MANAGER_INTERNAL_H_
