// Reading frames: assembling a signed or plain frame in the node's receive
// buffer (over several calls on a non-blocking TCP node), checking its
// length words before anything is allocated for it, authenticating it,
// converting it to native form and indexing it into the caller's message.
//
// Divisions: the frame size limit; header checks; the read loop (ReadFrame);
// mnBrowse; the exported calls.

#include <sys/socket.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "netcore/frame.h"
#include "node_internal.h"
#include "os/socket_errors.h"
#include "pcfcore/convert.h"
#include "pcfcore/print.h"
#include "socket_internal.h"

namespace netcore {
namespace {

// ---- The frame size limit -------------------------------------------------

constexpr int kMinMessageBytes = static_cast<int>(sizeof(MQCFH));
// Receive buffers above this size shrink back once their frame is done.
constexpr MQLONG kShrinkAboveBytes = 256 * 1024;
// Headroom so that header + body + trailer never overflows a 32-bit length.
constexpr int kMaxConfigurableBytes = INT_MAX - 1024;

std::atomic<int> g_max_message_bytes{0};  // 0: not read from the variable yet

int LimitFromVariable() {
  const char* text = std::getenv(MN_MAX_MESSAGE_VARIABLE);
  if (text == nullptr || text[0] == '\0') return MN_DEFAULT_MAX_MESSAGE_BYTES;
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || value < kMinMessageBytes || value > kMaxConfigurableBytes) {
    std::fprintf(stderr, "netcore: %s=\"%s\" is not a size from %d to %d; using %d\n",
                 MN_MAX_MESSAGE_VARIABLE, text, kMinMessageBytes, kMaxConfigurableBytes,
                 MN_DEFAULT_MAX_MESSAGE_BYTES);
    return MN_DEFAULT_MAX_MESSAGE_BYTES;
  }
  return static_cast<int>(value);
}

// ---- Header checks ----------------------------------------------------------

bool FirstWordIs(const unsigned char* data, MQLONG expected) {
  MQLONG first;
  std::memcpy(&first, data, sizeof first);
  return first == expected || bwlong(first) == expected;
}

// Makes msg's body able to hold bytes (header included). Its storage may
// move; the index is rebuilt by RawToPcf later.
bool EnsureRoom(mqPcfMessage* msg, MQLONG bytes) {
  if (msg->Body.Storage == nullptr) {
    return CreateMessage(&msg->Body, bytes - MESSAGE_HEADER_LENGTH) != 0;
  }
  if (msg->Body.Capacity >= bytes) return true;
  return SizeMessage(&msg->Body, bytes - MESSAGE_HEADER_LENGTH) != 0;
}

void DumpRefused(mqPcfMessage* msg) { DumpPcfMessage(msg); }

// ---- The read loop -----------------------------------------------------------

// A check in progress, released if the read ends before the frame is in.
struct FrameCheck {
  FrameCheck() = default;
  FrameCheck(const FrameCheck&) = delete;
  FrameCheck& operator=(const FrameCheck&) = delete;
  ~FrameCheck() { mqc_frame_mac_release(&mac); }
  mqcFrameMac mac = nullptr;
};

class FrameReader {
 public:
  FrameReader(mqPcfMessage* msg, mqnMQNodeData* node, bool is_signed)
      : msg_(msg),
        node_(node),
        signed_(is_signed),
        header_length_(is_signed ? NODE_HEADER_LENGTH : MESSAGE_HEADER_LENGTH),
        trace_(is_signed ? "mnSRead" : "mnRead"),
        b_(node->receive),
        datagram_(node->socket.type == 2) {}

  int Read() {
    node_->lastError = 0;
    if (msg_ == nullptr) return Fail(MN_ERR_BAD_BODY);
    if (b_.Data == nullptr) {
      if (CreateBuffer(&b_, MQNODE_RECEIVE_CAPACITY) == 0) return Fail(MN_ERR_NO_ROOM);
      Reset();
    }
    // Nothing held yet: the buffer takes the resting size of this framing
    // (the node may last have been used with the other one).
    if (b_.Filled == 0) Reset();
    if (!datagram_ && !ConnectionUsable()) return Done(0);

    for (;;) {
      if (b_.Filled < b_.Size) {
        if (ReadSocket(&node_->socket, &b_) == 0) {
          int code = node_->socket.lastError;
          if (osIsWouldBlock(code)) {
            // The partial frame stays for the next call (none on UDP).
            node_->lastError = MN_ERR_WOULD_BLOCK;
            if (datagram_) Reset();
            return Done(0);
          }
          return Fail(code);
        }
        // The loop's own trace point has the same name for both framings.
        NodeTrace(node_, "mnRead");
        if (!datagram_ && b_.Filled < b_.Size) continue;
      }
      if (b_.Size == header_length_ || datagram_) {
        if (!datagram_ || !header_done_) {
          int code = CheckHeader();
          if (code != 0) return Fail(code);
        }
        if (datagram_) break;
        if (frame_bytes_ > b_.Capacity) return ReadIntoMessage();
        b_.Size = frame_bytes_;
        continue;
      }
      if (b_.Filled >= b_.Size) break;
    }
    return Deliver(datagram_ ? b_.Filled : b_.Size, false);
  }

 private:
  // A TCP client node whose connect was non-blocking: reads wait for it to
  // finish and report its failure.
  bool ConnectionUsable() {
    if (node_->mode == MQNODE_MODE_SERVER) {
      node_->lastError = OS_WSAENOTCONN;
      return false;
    }
    if (node_->open || node_->socket.connected) return true;
    int before = node_->socket.lastError;
    switch (CheckConnect(&node_->socket)) {
      case ConnectState::kConnected:
        node_->open = 1;
        return true;
      case ConnectState::kFailed:
        node_->lastError = node_->socket.lastError;
        return false;
      case ConnectState::kNotConnecting:
        break;
    }
    // Still connecting; or a failure a wait already took from SO_ERROR and
    // stored in the record; or never asked to connect.
    if (osIsWouldBlock(before)) {
      node_->lastError = MN_ERR_WOULD_BLOCK;
    } else {
      node_->lastError = before != 0 ? before : OS_WSAENOTCONN;
    }
    return false;
  }

  // Checks and converts the header just received and sets the frame's total
  // size. Returns a node error code, or 0.
  int CheckHeader() {
    header_done_ = true;
    // A datagram no longer than the header carries no message.
    if (datagram_ && b_.Filled <= header_length_) return MN_ERR_BAD_HEADER;
    if (!FirstWordIs(b_.Data, header_length_)) return MN_ERR_BAD_HEADER;
    const long long max_message = mnGetMaxMessageBytes();
    long long total;
    if (signed_) {
      if (AlienToNativeExt(b_.Data) == 0) return MN_ERR_BAD_HEADER;
      NodeHeader header;
      std::memcpy(&header, b_.Data, sizeof header);
      // The length word is unauthenticated input: it must leave room for a
      // message header, at least one body byte and the signature, and stay
      // within the limit, before a single byte is allocated for it.
      const long long length = header.Length;
      if (length < MESSAGE_HEADER_LENGTH + 1 + MQC_SIGNATURE_LENGTH) return MN_ERR_BAD_HEADER;
      if (length > MESSAGE_HEADER_LENGTH + max_message + MQC_SIGNATURE_LENGTH) {
        return MN_ERR_NO_ROOM;
      }
      total = NODE_HEADER_LENGTH + length;
    } else {
      Message view{};
      view.Storage = b_.Data;
      view.Payload = b_.Data + MESSAGE_HEADER_LENGTH;
      view.Capacity = b_.Capacity;
      view.UsedLength = MESSAGE_HEADER_LENGTH;
      if (AlienToNative(&view) == 0) return MN_ERR_BAD_HEADER;
      const long long body = MESSAGE_HEADER(&view)->lUserMsgLength;
      if (body < 1) return MN_ERR_BAD_HEADER;
      if (body > max_message) return MN_ERR_NO_ROOM;
      total = MESSAGE_HEADER_LENGTH + body;
    }
    if (datagram_) {
      // A datagram is the whole frame: its size must be the announced one.
      return total == b_.Filled ? 0 : MN_ERR_BAD_HEADER;
    }
    frame_bytes_ = static_cast<MQLONG>(total);
    return 0;
  }

  // A TCP frame larger than the receive buffer: its bytes after the node
  // header go straight into the message, which the caller keeps from read
  // to read, so the receive buffer is neither grown nor copied from. When
  // the socket runs dry first, what arrived moves into the receive buffer
  // (grown for it) and the frame goes on there at the next call: the caller
  // may pass another message then.
  int ReadIntoMessage() {
    const MQLONG outside = signed_ ? NODE_HEADER_LENGTH : 0;
    const MQLONG into_message = frame_bytes_ - outside;
    if (!EnsureRoom(msg_, into_message)) return Fail(MN_ERR_NO_ROOM);
    const MQLONG have = b_.Filled - outside;
    std::memcpy(msg_->Body.Storage, b_.Data + outside, static_cast<std::size_t>(have));
    // A signed frame is hashed as it arrives, so that its check overlaps the
    // transfer. If no check can start here, the whole frame is checked at
    // once when it is in (and refused there when no key is available).
    FrameCheck check;
    if (signed_) {
      NodeHeader header;
      std::memcpy(&header, b_.Data, sizeof header);
      if (mqc_authenticate_start(&header, &check.mac) != 0 &&
          mqc_frame_mac_update(check.mac, msg_->Body.Storage, static_cast<std::size_t>(have)) == 0) {
        mqc_frame_mac_release(&check.mac);
      }
    }
    Buffer view{};
    view.Data = msg_->Body.Storage;
    view.Size = into_message;
    view.Capacity = msg_->Body.Capacity;
    view.Filled = have;
    while (view.Filled < view.Size) {
      const MQLONG before = view.Filled;
      if (ReadSocket(&node_->socket, &view) == 0) {
        const int code = node_->socket.lastError;
        if (!osIsWouldBlock(code)) return Fail(code);
        // The frame goes on at a later call, maybe into another message:
        // it is checked whole once it is in.
        if (SizeBuffer(&b_, frame_bytes_) == 0) return Fail(MN_ERR_NO_ROOM);
        std::memcpy(b_.Data + outside, msg_->Body.Storage, static_cast<std::size_t>(view.Filled));
        b_.Filled = outside + view.Filled;
        b_.Size = frame_bytes_;
        node_->lastError = MN_ERR_WOULD_BLOCK;
        return Done(0);
      }
      if (check.mac != nullptr &&
          mqc_frame_mac_update(check.mac, msg_->Body.Storage + before,
                               static_cast<std::size_t>(view.Filled - before)) == 0) {
        mqc_frame_mac_release(&check.mac);
      }
      NodeTrace(node_, "mnRead");
    }
    return Deliver(frame_bytes_, true, &check);
  }

  // The whole frame is in: in the receive buffer, or (in_message) its bytes
  // after the node header are in the message already.
  // check: the MAC of the bytes after the node header, hashed as they
  // arrived (null or empty: the frame is checked here at once).
  int Deliver(MQLONG total, bool in_message, FrameCheck* check = nullptr) {
    const MQLONG into_message = signed_ ? total - NODE_HEADER_LENGTH : total;
    if (!in_message) {
      if (!EnsureRoom(msg_, into_message)) return Fail(MN_ERR_NO_ROOM);
      std::memcpy(msg_->Body.Storage, b_.Data + (signed_ ? NODE_HEADER_LENGTH : 0),
                  static_cast<std::size_t>(into_message));
    }
    if (signed_) std::memcpy(&msg_->NodeHeader, b_.Data, NODE_HEADER_LENGTH);
    msg_->Body.UsedLength = into_message;
    msg_->Body.Payload = msg_->Body.Storage + MESSAGE_HEADER_LENGTH;
    msg_->Cfh = reinterpret_cast<MQCFH*>(msg_->Body.Payload);
    ++node_->framesRead;

    if (signed_) {
      // The view describes the bytes after the node header: the message's.
      Buffer view{msg_->Body.Storage, into_message, msg_->Body.Capacity, 0, 0, 0};
      const mqcFrameSide side = FrameSideOf(node_);
      const int authentic =
          check != nullptr && check->mac != nullptr
              ? mqc_authenticate_finish(&check->mac, &msg_->NodeHeader, &view, msg_, &side)
              : mqc_authenticate_as(&msg_->NodeHeader, &view, msg_, &side);
      if (authentic == 0) return Fail(MN_ERR_NOT_AUTHENTIC);
      if (AlienToNative(&msg_->Body) == 0) {
        DumpRefused(msg_);
        return Fail(MN_ERR_BAD_HEADER);
      }
    }
    // The body walk below trusts lUserMsgLength, so it must describe exactly
    // the bytes that arrived.
    MessageHeader* h = MESSAGE_HEADER(&msg_->Body);
    if (h->lUserMsgLength != msg_->Body.UsedLength - MESSAGE_HEADER_LENGTH) {
      return Fail(MN_ERR_BAD_HEADER);
    }
    Reset();
    if (h->lUserMsgLength < kMinMessageBytes || AlienPcfToNative(msg_) == 0 ||
        RawToPcf(msg_) == 0) {
      node_->lastError = MN_ERR_BAD_BODY;
      return Done(0);
    }
    if (!signed_) {
      // The sender's user in the node-header copy, where a signed read puts it.
      std::memcpy(msg_->NodeHeader.UserName, h->UserId, sizeof msg_->NodeHeader.UserName);
    }
    return Done(1);
  }

  void Reset() {
    // A buffer grown for one large frame goes back to its usual size, so
    // that a server with many connections does not keep the largest frame
    // each of them ever carried. (A failed shrink leaves it as it was.)
    if (b_.Capacity > kShrinkAboveBytes) SizeBuffer(&b_, MQNODE_RECEIVE_CAPACITY);
    b_.Size = RestingSize(node_, header_length_);
    if (b_.Size > b_.Capacity) b_.Size = b_.Capacity;
    b_.Filled = 0;
    b_.Sent = 0;
    b_.Flags = 0;
  }

  int Fail(int code) {
    node_->lastError = code;
    if (b_.Data != nullptr) Reset();
    return Done(0);
  }

  int Done(int result) {
    NodeTrace(node_, trace_);
    return result;
  }

  mqPcfMessage* msg_;
  mqnMQNodeData* node_;
  const bool signed_;
  const MQLONG header_length_;
  const char* trace_;
  Buffer& b_;
  const bool datagram_;
  bool header_done_ = false;
  MQLONG frame_bytes_ = 0;  // the frame's total size, once its header is in
};

// ---- mnBrowse -----------------------------------------------------------------

int Browse(mqPcfMessage* msg, mqnMQNodeData* node) {
  node->lastError = 0;
  auto done = [&](int result) {
    NodeTrace(node, "mnBrowse");
    return result;
  };
  if (msg == nullptr) {
    node->lastError = MN_ERR_BAD_BODY;
    return done(0);
  }
  if (!EnsureRoom(msg, MESSAGE_HEADER_LENGTH)) {
    node->lastError = MN_ERR_NO_ROOM;
    return done(0);
  }
  // Peek only: nothing is consumed. A blocking socket waits for the whole
  // header; a non-blocking one reports 10035 until it is there.
  int flags = MSG_PEEK;
  if (node->socket.type != 2) flags |= MSG_WAITALL;
  ssize_t n = ::recv(node->socket.handle, msg->Body.Storage, MESSAGE_HEADER_LENGTH, flags);
  if (n < 0) {
    int code = osLastSocketError();
    node->socket.lastError = code == OS_WSAEINPROGRESS ? OS_WSAEWOULDBLOCK : code;
    node->lastError = node->socket.lastError;
    return done(0);
  }
  if (n == 0 && node->socket.type != 2) {
    node->socket.lastError = NET_ERR_PEER_CLOSED;
    node->lastError = NET_ERR_PEER_CLOSED;
    return done(0);
  }
  if (n < MESSAGE_HEADER_LENGTH) {
    node->lastError = node->socket.type == 2 ? MN_ERR_BAD_HEADER : MN_ERR_WOULD_BLOCK;
    return done(0);
  }
  if (!FirstWordIs(msg->Body.Storage, MESSAGE_HEADER_LENGTH) || AlienToNative(&msg->Body) == 0) {
    node->lastError = MN_ERR_BAD_HEADER;
    DumpRefused(msg);
    return done(0);
  }
  MQLONG body = MESSAGE_HEADER(&msg->Body)->lUserMsgLength;
  if (body < 0 || body > mnGetMaxMessageBytes() ||
      !EnsureRoom(msg, MESSAGE_HEADER_LENGTH + body)) {
    node->lastError = MN_ERR_NO_ROOM;
    return done(0);
  }
  return done(1);
}

}  // namespace
}  // namespace netcore

extern "C" {

int mnSetMaxMessageBytes(int bytes) {
  if (bytes < netcore::kMinMessageBytes || bytes > netcore::kMaxConfigurableBytes) return 0;
  int previous = mnGetMaxMessageBytes();
  netcore::g_max_message_bytes.store(bytes);
  return previous;
}

int mnGetMaxMessageBytes(void) {
  int value = netcore::g_max_message_bytes.load();
  if (value == 0) {
    value = netcore::LimitFromVariable();
    int expected = 0;
    if (!netcore::g_max_message_bytes.compare_exchange_strong(expected, value)) value = expected;
  }
  return value;
}

int mnSRead(mqPcfMessage* msg, mqnMQNodeData* node, int secure, mqcSignature) {
  return netcore::FrameReader(msg, node, secure != 0).Read();
}

int mnRead(mqPcfMessage* msg, mqnMQNodeData* node) {
  return netcore::FrameReader(msg, node, false).Read();
}

int mnBrowse(mqPcfMessage* msg, mqnMQNodeData* node) { return netcore::Browse(msg, node); }

}  // extern "C"
