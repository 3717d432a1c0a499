// response.h: building and sending the server's PCF responses.
//
// Records are appended straight into the response (no allocation per
// parameter). A response goes to the reply queue of the request's
// connection with the request's MsgId and CorrelId, outside any unit of
// work, so intermediate responses reach the client while the request runs.
#ifndef MSGOPS_RESPONSE_H_
#define MSGOPS_RESPONSE_H_

#include <pcfcore/pcfcore.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fields.h"

namespace msgops {

class ServerContext;

bool AddInt(mqPcfMessage* response, MQLONG id, MQLONG value);
bool AddString(mqPcfMessage* response, MQLONG id, std::span<const uint8_t> chars);
bool AddBytes(mqPcfMessage* response, MQLONG id, std::span<const uint8_t> bytes);
bool AddString(mqPcfMessage* response, MQLONG id, const std::string& text);
bool AddStringList(mqPcfMessage* response, MQLONG id, const std::vector<std::string>& items,
                   size_t item_length);
bool AddIntList(mqPcfMessage* response, MQLONG id, const std::vector<MQLONG>& values);
// One header field: integers as MQCFIN, characters as MQCFST, bytes as 999.
bool AddField(mqPcfMessage* response, const FieldSpec& field, const void* structure);
bool AddFields(mqPcfMessage* response, std::span<const FieldSpec> fields, const void* structure);

// Sends the context's response with the given Control and MsgSeqNumber.
// True when it was put, or when the connection has no reply queue. The
// connection's last reason is set from the put.
bool SendResponse(ServerContext& context, MQLONG control, MQLONG sequence);

}  // namespace msgops

#endif  // MSGOPS_RESPONSE_H_
