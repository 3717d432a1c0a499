// client_io.cpp: reads and writes on client-table entries.
#include "client_io.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "report.h"

namespace grpserver {
namespace {

// Copies a header text field of width bytes into out (width + 1 bytes),
// "UNKNOWN" when it is empty or starts with a blank.
void HeaderText(char* out, const char* field, size_t width) {
  if (field[0] == '\0' || field[0] == ' ') {
    std::snprintf(out, width + 1, "UNKNOWN");
    return;
  }
  size_t n = strnlen(field, width);
  std::memcpy(out, field, n);
  out[n] = '\0';
}

bool IsFailedResponse(const mqPcfMessage* message) {
  const MQCFH* cfh = message->Cfh;
  return cfh != nullptr && cfh->Type == MQCFT_RESPONSE && cfh->CompCode != MQCC_OK;
}

}  // namespace

int ReadFromClient(mqPcfMessage* message, ClientEntry* entry) {
  GroupServer& s = Server();
  mqnMQNodeData* node = entry->connection;
  int rc = mnSRead(message, node, s.options.authentication ? 1 : 0, s.credential);
  if (rc != 1) return rc;
  entry->last_read = std::time(nullptr);
  const MessageHeader* h = MESSAGE_HEADER(&message->Body);
  HeaderText(entry->user, h->UserId, 12);
  HeaderText(entry->peer_host, h->ApplName, 48);
  const MQCFH* cfh = message->Cfh;
  if (IsFailedResponse(message) && cfh->Control == MQCFC_LAST && cfh->Command != MQCMD_INQUIRE_CHANNEL_STATUS &&
      cfh->Reason != 4032) {
    entry->failed_responses = AddSaturated(entry->failed_responses, 1);
  }
  return rc;
}

// Most bytes waiting to go out to one peer. Beyond them a frame is dropped
// as at the pending-frame limit: a peer that does not read its replies
// (each up to a few megabytes) would otherwise hold gigabytes here.
static constexpr long long kMaxQueuedBytes = 64LL << 20;

static long long QueuedBytes(const mqnMQNodeData* node) {
  long long bytes = 0;
  if (node->pending == nullptr) return 0;
  for (const PendingLink* link = node->pending->first; link != nullptr; link = link->next) {
    if (link->item != nullptr) bytes += link->item->Size - link->item->Sent;
  }
  return bytes;
}

static int Write(mqPcfMessage* message, ClientEntry* entry, bool high) {
  GroupServer& s = Server();
  mqnMQNodeData* node = entry->connection;
  if (node == nullptr) return 0;
  const int secure = s.options.authentication ? 1 : 0;
  if (QueuedBytes(node) > kMaxQueuedBytes) {
    node->lastError = MN_ERR_PENDING_LIMIT;
    entry->refused_writes = AddSaturated(entry->refused_writes, 1);
    if (IsFailedResponse(message)) entry->failed_responses = AddSaturated(entry->failed_responses, 1);
    return 0;
  }
  int rc = high ? mnSWriteAltUserHigh(message, node, secure, s.credential)
                : mnSWrite(message, node, secure, s.credential);
  if (rc != 1 && node->lastError == MN_ERR_PENDING_LIMIT) entry->refused_writes = AddSaturated(entry->refused_writes, 1);
  if (IsFailedResponse(message)) entry->failed_responses = AddSaturated(entry->failed_responses, 1);
  return rc;
}

int SendToClient(mqPcfMessage* message, ClientEntry* entry) { return Write(message, entry, false); }

int SendToClientHigh(mqPcfMessage* message, ClientEntry* entry) { return Write(message, entry, true); }

int SendToUdpAddress(mqPcfMessage* message, ClientEntry* entry, SocketAddress* address) {
  GroupServer& s = Server();
  if (entry->connection == nullptr) return 0;
  return mnSWriteTo(message, entry->connection, address, s.options.authentication ? 1 : 0, s.credential);
}

void SetSocketBufferSize(mqnMQNodeData* node, int bytes) {
  if (bytes <= 0 || node == nullptr) return;
  if (mnSetBufferSize(node, bytes) != 1) {
    ReportError(Format("IGE0033: Failure in SET_BUFFER_SIZE(%s|%s, %d (Bytes))!\n", node->socket.peer.host,
                       node->socket.peer.ip, bytes),
                kWarning, 0);
  }
}

}  // namespace grpserver
