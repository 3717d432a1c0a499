// Communication traces (-x): a record for each traced socket and node
// operation, from whichever thread does it.

#include <time.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

#include "agent.h"
#include "agent_log.h"

namespace localagent {
namespace {

std::string DateLine() {
  time_t now = time(nullptr);
  char text[64];
  if (ctime_r(&now, text) == nullptr) return "\nDate: Unknown\n";
  return std::string("\nDate: ") + text;
}

// Addresses are printed whole (a 64-bit pointer does not fit "%X").
std::string Hex(const void* pointer) {
  char text[32];
  std::snprintf(text, sizeof text, "%" PRIXPTR, reinterpret_cast<uintptr_t>(pointer));
  return text;
}

void SocketTraceRecord(const char* method, SocketData* s) {
  char line[1024];
  std::string record = DateLine();
  std::snprintf(line, sizeof line, "IGT0001: METHOD(%s), SOCKET(%d, %d, %d, %d), STATS(%d, %d), RC(%d)\n",
                method, s->handle, s->family, s->type, s->protocol,
                static_cast<int>(s->bytesReceived), static_cast<int>(s->bytesSent), s->lastError);
  record += line;
  std::snprintf(line, sizeof line, "IGT0002: NAME(%s|%s|%s|%s), SENT(%d), RCVD(%d)\n", s->peer.host,
                s->peer.ip, s->peer.service, s->peer.protocol, static_cast<int>(s->bytesSent),
                static_cast<int>(s->bytesReceived));
  record += line;
  if (s->current != nullptr) {
    Buffer* b = s->current;
    std::snprintf(line, sizeof line, "IGT0003: BUFF(%s) : BLEN(%d), B_RCVD(%d), B_SENT(%d), FLAGS(%d)\n\n",
                  Hex(b->Data).c_str(), static_cast<int>(b->Size), static_cast<int>(b->Filled),
                  static_cast<int>(b->Sent), static_cast<int>(b->Flags));
    record += line;
  }
  PrintRecord(record);
}

void NodeTraceRecord(const char* method, mqnMQNodeData* node) {
  char line[1024];
  std::string record = DateLine();
  std::snprintf(line, sizeof line, "IGT0004: METHOD(%s), NAME(%s), BOPEN(%d), FAILCODE(%d), PHOOK(%s)\n",
                method, node->host, static_cast<int>(node->open), static_cast<int>(node->lastError),
                Hex(reinterpret_cast<const void*>(node->trace)).c_str());
  record += line;
  const SocketAddress& peer = node->socket.peer;
  std::snprintf(line, sizeof line, "IGT0005: ADDR(%s|%s|%s|%s), MSENT(%d), MRCVD(%d), BSENT(%d), BRCVD(%d)\n",
                peer.host, peer.ip, peer.service, peer.protocol, static_cast<int>(node->framesWritten),
                static_cast<int>(node->framesRead), static_cast<int>(node->socket.bytesSent),
                static_cast<int>(node->socket.bytesReceived));
  record += line;
  record += "-----------------------------------------------------------\n\n";
  PrintRecord(record);
}

}  // namespace

void InstallCommunicationTrace() {
  OnGSocketTrace(SocketTraceRecord);
  mnGSetTraceCallBack(NodeTraceRecord);
}

}  // namespace localagent
