// pcf_util.h: small helpers over mqPcfMessage for the server's handlers:
// reading a text or integer parameter by id, appending parameters, copying
// a whole message.
#ifndef GRPSERVER_PCF_UTIL_H_
#define GRPSERVER_PCF_UTIL_H_

#include <optional>
#include <string>

#include <pcfcore/pcfcore.h>

namespace grpserver {

// The text of string parameter id (trailing blanks kept), or nullopt.
std::optional<std::string> GetString(const mqPcfMessage* message, MQLONG id);
// The value of integer parameter id, or nullopt.
std::optional<MQLONG> GetInt(const mqPcfMessage* message, MQLONG id);
bool HasParameter(const mqPcfMessage* message, MQLONG id);

// Append a parameter (the index is refreshed by Reindex or RawToPcf).
bool AddString(mqPcfMessage* message, MQLONG id, const std::string& text);
bool AddInt(mqPcfMessage* message, MQLONG id, MQLONG value);
// Appends the record at position of source to target.
bool AddRecordFrom(mqPcfMessage* target, const mqPcfMessage* source, MQLONG position);
// Copies every parameter of source whose id is id into target (first only).
bool CopyParameter(mqPcfMessage* target, const mqPcfMessage* source, MQLONG id);

// Makes target a copy of source's MQCFH (type, command, CompCode, Reason,
// Control) and parameters; the message header is left alone.
bool CopyPcf(mqPcfMessage* target, const mqPcfMessage* source);

// Sets CompCode and Reason of a message's MQCFH.
void SetResult(mqPcfMessage* message, MQLONG comp_code, MQLONG reason);

// Re-indexes; true when well formed.
inline bool Reindex(mqPcfMessage* message) { return RawToPcf(message) == 1; }

}  // namespace grpserver

#endif  // GRPSERVER_PCF_UTIL_H_
