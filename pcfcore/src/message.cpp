// The generic message (MessageHeader + payload) and the byte buffer.

#include "pcfcore/message.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "pcfcore/memory.h"
#include "wire.h"

// The header travels byte for byte: its size and field offsets are fixed.
static_assert(sizeof(MessageHeader) == MESSAGE_HEADER_LENGTH);
static_assert(offsetof(MessageHeader, MsgId) == 16);
static_assert(offsetof(MessageHeader, lUserMsgLength) == 64);
static_assert(offsetof(MessageHeader, UserId) == 72);
static_assert(offsetof(MessageHeader, ApplName) == 84);
static_assert(offsetof(MessageHeader, ReplyTag) == 132);

namespace {

constexpr MQLONG kHeader = MESSAGE_HEADER_LENGTH;
constexpr MQLONG kResetPayload = 256;
constexpr int64_t kMaxBlock = std::numeric_limits<MQLONG>::max();

// Bytes of payload the holder sees: a view owns no header.
int64_t PayloadLength(const Message* m) {
  return m->Storage != nullptr ? int64_t{m->UsedLength} - kHeader : m->UsedLength;
}

// Resizes the block to exactly block_size bytes, zero-filling what is added
// (new bytes may reach the wire). Leaves the message untouched on failure.
bool ResizeBlock(Message* m, int64_t block_size) {
  if (block_size < kHeader || block_size > kMaxBlock) return false;
  void* block = m->Storage;
  int64_t old_capacity = block != nullptr ? m->Capacity : 0;
  if (block == nullptr) {
    if (!fNewMemory(&block, static_cast<size_t>(block_size), "Message")) return false;
  } else if (!fSizeMemory(&block, static_cast<size_t>(block_size))) {
    return false;
  }
  if (block_size > old_capacity) {
    std::memset(static_cast<unsigned char*>(block) + old_capacity, 0,
                static_cast<size_t>(block_size - old_capacity));
  }
  m->Storage = static_cast<unsigned char*>(block);
  m->Payload = m->Storage + kHeader;
  m->Capacity = static_cast<MQLONG>(block_size);
  m->State = 1;
  return true;
}

}  // namespace

extern "C" {

void SetDefaultMd(MQMD* md) {
  std::memset(md, 0, sizeof *md);
  std::memcpy(md->StrucId, MQMD_STRUC_ID, 4);
  md->Version = MQMD_VERSION_1;
  md->Report = MQRO_NONE;
  md->MsgType = MQMT_DATAGRAM;
  md->Expiry = MQEI_UNLIMITED;
  md->Feedback = MQFB_NONE;
  md->Encoding = MQENC_NATIVE;
  md->CodedCharSetId = MQCCSI_Q_MGR;
  std::memcpy(md->Format, MQFMT_NONE, 8);
  md->Priority = MQPRI_PRIORITY_AS_Q_DEF;
  md->Persistence = MQPER_PERSISTENCE_AS_Q_DEF;
  md->PutApplType = MQAT_NO_CONTEXT;
  md->MsgSeqNumber = 1;
  md->Offset = 0;
  md->MsgFlags = MQMF_NONE;
  md->OriginalLength = MQOL_UNDEFINED;
}

int CreateMessage(Message* message, MQLONG size) {
  void* block = nullptr;
  int64_t block_size = int64_t{kHeader} + size;
  if (size < 0 || block_size > kMaxBlock ||
      !fNewMemory(&block, static_cast<size_t>(block_size), "Message")) {
    std::printf("MESSAGE::CreateMessage: fNewMemory() failed\n");
    message->Storage = nullptr;
    return 0;
  }
  message->State = 1;
  message->Storage = static_cast<unsigned char*>(block);
  message->Payload = message->Storage + kHeader;
  message->Capacity = static_cast<MQLONG>(block_size);
  message->UsedLength = kHeader;
  MESSAGE_HEADER(message)->ReplyTag = 1;
  SetDefaultMd(&message->Md);
  return 1;
}

int ResetMessage(Message* message) {
  if (message->Storage == nullptr) {
    void* block = nullptr;
    if (!fNewMemory(&block, kHeader + kResetPayload, "Message")) {
      std::printf("MESSAGE::ResetMessage: fNewMemory() failed\n");
      return 0;
    }
    message->Storage = static_cast<unsigned char*>(block);
    message->Capacity = kHeader + kResetPayload;
    MESSAGE_HEADER(message)->ReplyTag = 1;
  }
  message->State = 1;
  std::memset(MESSAGE_HEADER(message)->UserId, 0, sizeof MESSAGE_HEADER(message)->UserId);
  message->Payload = message->Storage + kHeader;
  message->UsedLength = kHeader;
  SetDefaultMd(&message->Md);
  return 1;
}

int SizeMessage(Message* message, MQLONG size) {
  if (size < 0 || !ResizeBlock(message, int64_t{kHeader} + size)) {
    std::printf("MESSAGE::SizeMessage: fSizeMemory() failed\n");
    return 0;
  }
  message->UsedLength = kHeader;
  return 1;
}

int SizeMessageKeep(Message* message, MQLONG size) {
  if (message->Storage == nullptr || size < 0 || size < PayloadLength(message)) return 0;
  MQLONG used = message->UsedLength;
  if (!SizeMessage(message, size)) return 0;
  message->UsedLength = used;
  return 1;
}

int AppendMessage(Message* target, const Message* source) {
  if (target->Storage == nullptr || source->Payload == nullptr) return 0;
  int64_t count = PayloadLength(source);
  if (count < 0) return 0;
  int64_t needed = int64_t{target->UsedLength} + count;
  if (needed > kMaxBlock) return 0;
  // The source may be a view of bytes inside the target itself (an index
  // slot of the same PCF message): growing the target would free them, so
  // keep their offset and find them again in the grown block.
  const unsigned char* from = source->Payload;
  auto block_begin = reinterpret_cast<uintptr_t>(target->Storage);
  auto at = reinterpret_cast<uintptr_t>(from);
  bool inside = at >= block_begin && at - block_begin < static_cast<uintptr_t>(target->Capacity);
  uintptr_t inside_offset = at - block_begin;
  if (inside && inside_offset + static_cast<uintptr_t>(count) > static_cast<uintptr_t>(target->Capacity)) {
    return 0;  // a view running past the target's block
  }
  if (needed > target->Capacity) {
    // Grow geometrically so that a run of appends costs linear time.
    int64_t grown = std::max<int64_t>(needed, std::min<int64_t>(int64_t{target->Capacity} * 2, kMaxBlock));
    MQLONG used = target->UsedLength;
    if (!ResizeBlock(target, grown)) {
      std::printf("MESSAGE::SizeMessage: fSizeMemory() failed\n");
      return 0;
    }
    target->UsedLength = used;
    if (inside) from = target->Storage + inside_offset;
  }
  std::memmove(target->Storage + target->UsedLength, from, static_cast<size_t>(count));
  target->UsedLength = static_cast<MQLONG>(needed);
  return 1;
}

int DeleteMessage(Message* message) {
  if (message->Payload == nullptr) return 0;
  FreeMemory(message->Storage);
  message->Storage = nullptr;
  message->Payload = nullptr;
  message->Capacity = 0;
  message->UsedLength = 0;
  return 1;
}

int VerifyMessage(const Message* message) {
  return message->Storage != nullptr && MESSAGE_HEADER(message)->StrucLength == kHeader ? 1 : 0;
}

int VerifyMessageExt(const void* header) {
  return header != nullptr && pcfcore::Load32(header) == 32 ? 1 : 0;
}

int CreateBuffer(Buffer* buffer, MQLONG size) {
  void* data = nullptr;
  if (size < 0 || !fNewMemory(&data, static_cast<size_t>(size), "Buffer")) return 0;
  buffer->Data = static_cast<unsigned char*>(data);
  buffer->Size = size;
  buffer->Capacity = size;
  buffer->Flags = 0;
  buffer->Filled = 0;
  buffer->Sent = 0;
  return 1;
}

int ResetBuffer(Buffer* buffer, MQLONG size) {
  buffer->Flags = 0;
  buffer->Filled = 0;
  buffer->Sent = 0;
  if (size < 0) {
    buffer->Size = 0;
    return 0;
  }
  int grown = 1;
  if (size > buffer->Capacity) grown = SizeBuffer(buffer, size);
  buffer->Size = size <= buffer->Capacity ? size : buffer->Capacity;
  return grown;
}

int SizeBuffer(Buffer* buffer, MQLONG capacity) {
  if (capacity < 0) return 0;
  void* data = buffer->Data;
  MQLONG old_capacity = data != nullptr ? buffer->Capacity : 0;
  if (data == nullptr) {
    if (!fNewMemory(&data, static_cast<size_t>(capacity), "Buffer")) return 0;
  } else if (!fSizeMemory(&data, static_cast<size_t>(capacity))) {
    return 0;
  }
  if (capacity > old_capacity) {
    std::memset(static_cast<unsigned char*>(data) + old_capacity, 0,
                static_cast<size_t>(capacity - old_capacity));
  }
  buffer->Data = static_cast<unsigned char*>(data);
  buffer->Capacity = capacity;
  // Size is kept, except that it never names bytes beyond the storage.
  if (buffer->Size > capacity) buffer->Size = capacity;
  return 1;
}

int DeleteBuffer(Buffer* buffer) {
  if (buffer->Data == nullptr) return 0;
  FreeMemory(buffer->Data);
  std::memset(buffer, 0, sizeof *buffer);
  return 1;
}

}  // extern "C"
