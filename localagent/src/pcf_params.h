// Small helpers for the parameters of PCF messages the agent builds and
// reads.
#ifndef LOCALAGENT_PCF_PARAMS_H_
#define LOCALAGENT_PCF_PARAMS_H_

#include <string>

#include <pcfcore/pcf_message.h>
#include <pcfcore/pcf_records.h>

namespace localagent {

// Appends a string or integer parameter (the index is not updated).
inline void AddString(mqPcfMessage* message, MQLONG id, const std::string& text) {
  Message record{};
  if (CreatePcfStrAttr(&record, id, text.c_str())) AppendAttr(message, &record);
  DeleteMessage(&record);
}

inline void AddInt(mqPcfMessage* message, MQLONG id, MQLONG value) {
  Message record{};
  if (CreatePcfIntAttr(&record, id, value)) AppendAttr(message, &record);
  DeleteMessage(&record);
}

// Copies parameter id of from (indexed) to the end of to.
inline void CopyParam(mqPcfMessage* to, const mqPcfMessage* from, MQLONG id) {
  Message record{};
  if (GetAttrByID(id, &record, from)) AppendAttr(to, &record);
  DeleteMessage(&record);
}

}  // namespace localagent

#endif  // LOCALAGENT_PCF_PARAMS_H_
