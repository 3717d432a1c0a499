// Writing frames: stamping the headers, building the signed or plain frame,
// and handing it to the node's write path.

#include <algorithm>
#include <cstring>

#include "netcore/frame.h"
#include "node_internal.h"
#include "pcfcore/convert.h"
#include "socket_internal.h"

namespace netcore {
namespace {

// Checks msg and stamps the header fields both framings share. 0 with
// node->lastError set when msg cannot be sent.
int StampMessageHeader(mqPcfMessage* msg, mqnMQNodeData* node) {
  if (msg == nullptr || msg->Body.Storage == nullptr ||
      msg->Body.UsedLength < MESSAGE_HEADER_LENGTH ||
      msg->Body.UsedLength > msg->Body.Capacity) {
    node->lastError = MN_ERR_BAD_BODY;
    return 0;
  }
  // A frame the peer would refuse as too large is refused here instead:
  // sent, it would also leave the peer's stream out of step.
  if (msg->Body.UsedLength - MESSAGE_HEADER_LENGTH > mnGetMaxMessageBytes()) {
    node->lastError = MN_ERR_NO_ROOM;
    return 0;
  }
  MessageHeader* h = MESSAGE_HEADER(&msg->Body);
  h->StrucLength = MESSAGE_HEADER_LENGTH;
  h->BigEndian = IsBgEndian();
  h->AsciiText = IsAscText();
  h->lUserMsgLength = msg->Body.UsedLength - MESSAGE_HEADER_LENGTH;
  std::memcpy(h->ApplName, node->applName, sizeof h->ApplName);
  return 1;
}

// Signed frames with more message bytes than this go out piece by piece,
// each piece hashed just before it is sent, so that the peer receives and
// hashes one piece while this end hashes the next. Smaller pieces overlap
// more but cost a send and, on a shared CPU, a switch to the reader each;
// at the MAC's speed a quarter megabyte is hashed in about 20 us.
constexpr std::size_t kStreamPieceBytes = 256 * 1024;

// A signed frame on a TCP node with nothing queued, hashed and sent piece by
// piece; the trailer with the MAC goes last. When the socket stops taking
// bytes, the rest is hashed and queued as a plain write would queue it.
int WriteSignedStreamed(mqPcfMessage* msg, mqnMQNodeData* node, mqcSignature credential,
                        const mqcFrameSide& side) {
  if (!CanSendStraight(node)) return 0;
  unsigned char head[NODE_HEADER_LENGTH];
  unsigned char trailer[MQC_SIGNATURE_LENGTH];
  mqcFrameMac mac = nullptr;
  if (mqc_sign_start(credential, msg, &side, head, &mac) == 0) {
    node->lastError = MN_ERR_SIGN_REFUSED;
    return 0;
  }
  const unsigned char* body = msg->Body.Storage;
  const auto body_bytes = static_cast<std::size_t>(msg->Body.UsedLength);
  std::size_t sent = 0;  // of head and body
  bool stalled = false;
  for (std::size_t hashed = 0; hashed < body_bytes;) {
    const std::size_t piece = std::min(kStreamPieceBytes, body_bytes - hashed);
    if (mqc_frame_mac_update(mac, body + hashed, piece) == 0) {
      // The state is freed below; what was sent leaves the stream out of
      // step, as after any failed write.
      mqc_frame_mac_release(&mac);
      node->lastError = MN_ERR_SIGN_REFUSED;
      return 0;
    }
    hashed += piece;
    if (!stalled) {
      const iovec parts[] = {{head, sizeof head}, {msg->Body.Storage, hashed}};
      sent += WriteSocketParts(&node->socket, parts, 2, sent);
      stalled = sent < sizeof head + hashed;
    }
  }
  if (mqc_sign_finish(&mac, trailer) == 0) {
    node->lastError = MN_ERR_SIGN_REFUSED;
    return 0;
  }
  const iovec parts[] = {{head, sizeof head},
                         {msg->Body.Storage, body_bytes},
                         {trailer, sizeof trailer}};
  if (!stalled) sent += WriteSocketParts(&node->socket, parts, 3, sent);
  return FinishPartsWrite(node, parts, 3, sent);
}

int WriteSigned(mqPcfMessage* msg, mqnMQNodeData* node, SocketAddress* address,
                mqcSignature credential, int high) {
  NodeTrace(node, "mnSWriteMsg");
  node->lastError = 0;
  if (!StampMessageHeader(msg, node)) {
    NodeTrace(node, "mnSWriteMsg");
    return 0;
  }
  MessageHeader* h = MESSAGE_HEADER(&msg->Body);
  NodeHeader& nh = msg->NodeHeader;
  nh.HeaderLength = NODE_HEADER_LENGTH;
  nh.Version = 1;
  nh.BigEndian = h->BigEndian;
  nh.AsciiText = h->AsciiText;
  nh.Length = h->lUserMsgLength + MESSAGE_HEADER_LENGTH;
  std::memcpy(nh.UserName, node->user, sizeof nh.UserName);
  // A signed frame names the node's user in both headers.
  std::memcpy(h->UserId, node->user, sizeof h->UserId);

  // Signed where it lies: the header and trailer are made apart and the
  // message's bytes go out from its own storage between them.
  unsigned char head[NODE_HEADER_LENGTH];
  unsigned char trailer[MQC_SIGNATURE_LENGTH];
  const mqcFrameSide side = FrameSideOf(node);
  if (node->socket.type != 2 && node->pending == nullptr &&
      static_cast<std::size_t>(msg->Body.UsedLength) > kStreamPieceBytes) {
    int result = WriteSignedStreamed(msg, node, credential, side);
    NodeTrace(node, "mnSWriteMsg");
    return result;
  }
  if (mqc_sign_parts(credential, msg, &side, head, trailer) == 0) {
    node->lastError = MN_ERR_SIGN_REFUSED;
    NodeTrace(node, "mnSWriteMsg");
    return 0;
  }
  const iovec parts[] = {{head, sizeof head},
                         {msg->Body.Storage, static_cast<std::size_t>(msg->Body.UsedLength)},
                         {trailer, sizeof trailer}};
  int result = WritePartsToNode(node, parts, 3, address, high);
  NodeTrace(node, "mnSWriteMsg");
  return result;
}

int WritePlain(mqPcfMessage* msg, mqnMQNodeData* node, SocketAddress* address,
               const char* user, int high) {
  NodeTrace(node, "mnWriteMsg");
  node->lastError = 0;
  // The user text may be msg's own UserId (12 bytes, unterminated): take a
  // copy before the field is cleared.
  char user_copy[13] = {};
  if (user != nullptr) std::strncpy(user_copy, user, 12);
  if (!StampMessageHeader(msg, node)) {
    NodeTrace(node, "mnWriteMsg");
    return 0;
  }
  MessageHeader* h = MESSAGE_HEADER(&msg->Body);
  std::memset(h->UserId, 0, sizeof h->UserId);
  std::memcpy(h->UserId, user_copy, std::strlen(user_copy));
  const iovec parts[] = {{msg->Body.Storage, static_cast<std::size_t>(msg->Body.UsedLength)}};
  int result = WritePartsToNode(node, parts, 1, address, high);
  NodeTrace(node, "mnWriteMsg");
  return result;
}

// A NUL or blank UserId is filled with the node's user; returns msg's user
// as text.
void FillAltUser(mqPcfMessage* msg, mqnMQNodeData* node, char* user) {
  user[0] = '\0';
  if (msg == nullptr || msg->Body.Storage == nullptr ||
      msg->Body.UsedLength < MESSAGE_HEADER_LENGTH) {
    return;
  }
  MessageHeader* h = MESSAGE_HEADER(&msg->Body);
  if (h->UserId[0] == '\0' || h->UserId[0] == ' ') {
    std::memset(h->UserId, 0, sizeof h->UserId);
    std::memcpy(h->UserId, node->user, std::strlen(node->user));
  }
  std::memcpy(user, h->UserId, 12);
  user[12] = '\0';
}

}  // namespace
}  // namespace netcore

extern "C" {

int mnSWriteMsg(mqPcfMessage* msg, mqnMQNodeData* node, SocketAddress* address,
                const char* user, int secure, mqcSignature credential, int high) {
  if (secure) return netcore::WriteSigned(msg, node, address, credential, high);
  return netcore::WritePlain(msg, node, address, user, high);
}

int mnSWriteTo(mqPcfMessage* msg, mqnMQNodeData* node, SocketAddress* address, int secure,
               mqcSignature credential) {
  return mnSWriteMsg(msg, node, address, node->user, secure, credential, 0);
}

int mnSWrite(mqPcfMessage* msg, mqnMQNodeData* node, int secure, mqcSignature credential) {
  return mnSWriteTo(msg, node, nullptr, secure, credential);
}

int mnSWriteAltUser(mqPcfMessage* msg, mqnMQNodeData* node, int secure,
                    mqcSignature credential) {
  char user[13];
  netcore::FillAltUser(msg, node, user);
  return mnSWriteMsg(msg, node, nullptr, user, secure, credential, 0);
}

int mnSWriteAltUserHigh(mqPcfMessage* msg, mqnMQNodeData* node, int secure,
                        mqcSignature credential) {
  char user[13];
  netcore::FillAltUser(msg, node, user);
  return mnSWriteMsg(msg, node, nullptr, user, secure, credential, 1);
}

int mnWrite(mqPcfMessage* msg, mqnMQNodeData* node) {
  return mnSWriteMsg(msg, node, nullptr, node->user, 0, nullptr, 0);
}

int mnWriteTo(mqPcfMessage* msg, mqnMQNodeData* node, SocketAddress* address) {
  return mnSWriteMsg(msg, node, address, node->user, 0, nullptr, 0);
}

int mnWriteAltUser(mqPcfMessage* msg, mqnMQNodeData* node) {
  char user[13];
  netcore::FillAltUser(msg, node, user);
  return mnSWriteMsg(msg, node, nullptr, user, 0, nullptr, 0);
}

}  // extern "C"
