// sessions.cpp: listing and closing client-table entries.
#include "sessions.h"

#include <algorithm>
#include <climits>
#include <ctime>

#include "client_table.h"
#include "main_loop.h"
#include "pcf_util.h"

namespace grpserver {
namespace {

constexpr MQLONG kParamOrdinal = 20500;
constexpr MQLONG kParamIndex = 20501;
constexpr MQLONG kParamRange = 20502;

MQLONG Clamp32(long long value) {
  return static_cast<MQLONG>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

MQLONG SecondsSince(std::time_t t) { return t == 0 ? 0 : Clamp32(std::time(nullptr) - t); }

}  // namespace

void InquireSession(HandlerArgs& a) {
  GroupServer& s = Server();
  ResetPcfMessage(a.response, a.request->Cfh->Command, MQCFT_RESPONSE);
  const MQLONG range = GetInt(a.request, kParamRange).value_or(0);
  const int first = range == 0 ? 1 : s.limits.first_node_entry;
  const int count = range == 0 ? s.limits.max_group_clients : s.limits.node_entry_count;
  auto ordinal = GetInt(a.request, kParamOrdinal);
  auto index = GetInt(a.request, kParamIndex);
  int found = -1;
  bool walked = false;
  if (!ordinal && index) {
    if (*index >= 0 && *index < s.limits.max_total_conns && s.Entry(*index)->connection != nullptr) found = *index;
  } else {
    const MQLONG wanted = ordinal.value_or(1);
    MQLONG seen = 0;
    for (int i = first; i < first + count && found < 0; ++i) {
      if (s.Entry(i)->connection != nullptr && ++seen == wanted) found = i;
    }
    walked = true;
  }
  if (found < 0) {
    SetResult(a.response, MQCC_FAILED, MQRC_UNKNOWN_OBJECT_NAME);
    return;
  }
  const ClientEntry& e = *s.Entry(found);
  const mqnMQNodeData& n = *e.connection;
  AddInt(a.response, kParamRange, range);
  AddInt(a.response, kParamIndex, found);
  if (walked) AddInt(a.response, kParamOrdinal, ordinal.value_or(1));
  AddString(a.response, 20007, e.node_name);
  AddString(a.response, 20017, e.application_name);
  AddString(a.response, MQCACF_USER_IDENTIFIER, e.user);
  AddString(a.response, 3024, e.peer_host);
  AddInt(a.response, 20131, n.framesWritten);
  AddInt(a.response, 20132, n.framesRead);
  AddInt(a.response, 20129, n.pendingCount);
  AddInt(a.response, 20128, n.pendingLimit);
  AddInt(a.response, 20133, Clamp32(n.socket.bytesSent));
  AddInt(a.response, 20134, Clamp32(n.socket.bytesReceived));
  AddInt(a.response, 20503, e.failed_responses);
  AddInt(a.response, 20504, e.refused_writes);
  AddInt(a.response, 20109, SecondsSince(e.last_read));
  AddInt(a.response, 20108, SecondsSince(e.connected_at));
  Reindex(a.response);
}

void DeleteSession(HandlerArgs& a) {
  GroupServer& s = Server();
  ResetPcfMessage(a.response, a.request->Cfh->Command, MQCFT_RESPONSE);
  auto index = GetInt(a.request, kParamIndex);
  if (!index) {
    SetResult(a.response, MQCC_FAILED, 3019);
    return;
  }
  if (*index < 1 || *index >= s.limits.max_total_conns || s.Entry(*index)->connection == nullptr) {
    SetResult(a.response, MQCC_FAILED, MQRC_UNKNOWN_OBJECT_NAME);
    return;
  }
  ClientEntry* target = s.Entry(*index);
  if (target == a.entry) {
    SetResult(a.response, MQCC_FAILED, 2042);
    return;
  }
  FlagDisconnect(target, a.entry->user, kRcSessionClosed, a.request->Cfh->Command);
}

}  // namespace grpserver
