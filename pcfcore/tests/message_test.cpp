// The generic message, the byte buffer and the suite's allocator.

#include <gtest/gtest.h>

#include <cstring>

#include "pcfcore/memory.h"
#include "pcfcore/message.h"
#include "pcfcore/allocation_faults.h"

namespace {

TEST(Memory, NewMemoryIsZeroFilledAndResizeKeepsContents) {
  void* p = nullptr;
  ASSERT_EQ(fNewMemory(&p, 10, "Message"), 1);
  const auto* bytes = static_cast<unsigned char*>(p);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(bytes[i], 0);
  std::memcpy(p, "0123456789", 10);
  ASSERT_EQ(fSizeMemory(&p, 4096), 1);
  EXPECT_EQ(std::memcmp(p, "0123456789", 10), 0);
  EXPECT_EQ(fValidPointer(p), 1);
  EXPECT_EQ(fValidPointer(nullptr), 1);
  NoteMemoryRef(p);  // the list is empty: nothing to mark, nothing printed
  testing::internal::CaptureStdout();
  DumpMemoryLog();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  FreeMemory(p);
  FreeMemory(nullptr);
}

TEST(Memory, FailedResizeKeepsTheOldBlock) {
  void* p = nullptr;
  ASSERT_EQ(fNewMemory(&p, 16, "Buffer"), 1);
  void* before = p;
  pcfcore::testing::FailAllocationsAbove(1000);
  EXPECT_EQ(fSizeMemory(&p, 4096), 0);
  pcfcore::testing::AllowAllAllocations();
  EXPECT_EQ(p, before);
  FreeMemory(p);
}

TEST(Message, CreateGivesAnEmptyMessageWithReplyTagAndDefaultMd) {
  Message m{};
  ASSERT_EQ(CreateMessage(&m, 0), 1);
  EXPECT_EQ(m.State, 1);
  EXPECT_EQ(m.Capacity, 136);
  EXPECT_EQ(m.UsedLength, 136);
  EXPECT_EQ(m.Payload, m.Storage + 136);
  EXPECT_EQ(MESSAGE_HEADER(&m)->ReplyTag, 1);
  EXPECT_EQ(MESSAGE_HEADER(&m)->StrucLength, 0);
  EXPECT_EQ(VerifyMessage(&m), 0);  // until the transport stamps 136
  MESSAGE_HEADER(&m)->StrucLength = 136;
  EXPECT_EQ(VerifyMessage(&m), 1);
  EXPECT_EQ(std::memcmp(m.Md.StrucId, "MD  ", 4), 0);
  EXPECT_EQ(m.Md.Version, 1);
  EXPECT_EQ(m.Md.MsgType, MQMT_DATAGRAM);
  EXPECT_EQ(m.Md.Expiry, -1);
  EXPECT_EQ(m.Md.Encoding, 546);
  EXPECT_EQ(std::memcmp(m.Md.Format, "        ", 8), 0);
  EXPECT_EQ(m.Md.Priority, -1);
  EXPECT_EQ(m.Md.Persistence, 2);
  EXPECT_EQ(m.Md.MsgSeqNumber, 1);
  EXPECT_EQ(m.Md.OriginalLength, -1);
  EXPECT_EQ(DeleteMessage(&m), 1);
  EXPECT_EQ(DeleteMessage(&m), 0);
}

TEST(Message, CreateRefusesNegativeAndHugeSizes) {
  for (MQLONG size : {-1, INT32_MAX}) {
    Message m{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(CreateMessage(&m, size), 0) << size;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "MESSAGE::CreateMessage: fNewMemory() failed\n");
    EXPECT_EQ(m.Storage, nullptr);
  }
}

TEST(Message, ResetAllocates392BytesOrKeepsStorageAndHeaderFields) {
  Message fresh{};
  ASSERT_EQ(ResetMessage(&fresh), 1);
  EXPECT_EQ(fresh.Capacity, 392);
  EXPECT_EQ(fresh.UsedLength, 136);
  EXPECT_EQ(MESSAGE_HEADER(&fresh)->ReplyTag, 1);
  DeleteMessage(&fresh);

  Message m{};
  ASSERT_EQ(CreateMessage(&m, 100), 1);
  std::memcpy(MESSAGE_HEADER(&m)->MsgId, "LKOUT-1700000000", 16);
  std::memcpy(MESSAGE_HEADER(&m)->UserId, "operator", 8);
  MESSAGE_HEADER(&m)->WaitInterval = 100000;
  m.UsedLength = 200;
  m.Md.MsgType = MQMT_REPLY;
  ASSERT_EQ(ResetMessage(&m), 1);
  EXPECT_EQ(m.Capacity, 236);
  EXPECT_EQ(m.UsedLength, 136);
  EXPECT_EQ(std::memcmp(MESSAGE_HEADER(&m)->MsgId, "LKOUT-1700000000", 16), 0);
  EXPECT_EQ(MESSAGE_HEADER(&m)->WaitInterval, 100000);
  EXPECT_EQ(MESSAGE_HEADER(&m)->UserId[0], 0);
  EXPECT_EQ(m.Md.MsgType, MQMT_DATAGRAM);
  DeleteMessage(&m);
}

TEST(Message, SizeKeepsBytesAndSizeKeepRefusesToCutThePayload) {
  Message m{};
  ASSERT_EQ(CreateMessage(&m, 8), 1);
  std::memcpy(m.Payload, "ABCDEFGH", 8);
  m.UsedLength = 144;
  EXPECT_EQ(SizeMessageKeep(&m, 7), 0);
  EXPECT_EQ(m.Capacity, 144);
  EXPECT_EQ(m.UsedLength, 144);
  ASSERT_EQ(SizeMessageKeep(&m, 64), 1);
  EXPECT_EQ(m.Capacity, 200);
  EXPECT_EQ(m.UsedLength, 144);
  EXPECT_EQ(std::memcmp(m.Payload, "ABCDEFGH", 8), 0);
  for (int i = 8; i < 64; ++i) ASSERT_EQ(m.Payload[i], 0) << "grown bytes are zero";
  ASSERT_EQ(SizeMessage(&m, 16), 1);
  EXPECT_EQ(m.UsedLength, 136);
  EXPECT_EQ(std::memcmp(m.Payload, "ABCDEFGH", 8), 0);
  DeleteMessage(&m);
}

TEST(Message, AppendGrowsTheTargetAndKeepsItsPayload) {
  Message target{};
  ASSERT_EQ(CreateMessage(&target, 10), 1);
  std::memcpy(target.Payload, "xyz", 3);
  target.UsedLength = 139;
  Message source{};
  ASSERT_EQ(CreateMessage(&source, 16), 1);
  std::memcpy(source.Payload, "0123456789abcdef", 16);
  source.UsedLength = 152;
  ASSERT_EQ(AppendMessage(&target, &source), 1);
  EXPECT_EQ(target.UsedLength, 155);
  EXPECT_GE(target.Capacity, 155);
  EXPECT_EQ(std::memcmp(target.Payload, "xyz0123456789abcdef", 19), 0);
  DeleteMessage(&target);
  DeleteMessage(&source);
}

TEST(Buffer, CreateResetSizeDelete) {
  Buffer b{};
  ASSERT_EQ(CreateBuffer(&b, 32), 1);
  EXPECT_EQ(b.Size, 32);
  EXPECT_EQ(b.Capacity, 32);
  b.Flags = 1;
  b.Filled = 5;
  b.Sent = 7;
  ASSERT_EQ(ResetBuffer(&b, 16), 1);
  EXPECT_EQ(b.Size, 16);
  EXPECT_EQ(b.Flags + b.Filled + b.Sent, 0);
  std::memset(b.Data, 0xAB, 32);
  ASSERT_EQ(ResetBuffer(&b, 100), 1);
  EXPECT_EQ(b.Capacity, 100);
  EXPECT_EQ(b.Size, 100);
  EXPECT_EQ(b.Data[31], 0xAB);
  for (int i = 32; i < 100; ++i) ASSERT_EQ(b.Data[i], 0);
  EXPECT_EQ(DeleteBuffer(&b), 1);
  EXPECT_EQ(b.Data, nullptr);
  EXPECT_EQ(b.Capacity, 0);
  EXPECT_EQ(DeleteBuffer(&b), 0);
}

TEST(Buffer, ResetReportsAFailedGrowthAndCapsTheSize) {
  Buffer b{};
  ASSERT_EQ(CreateBuffer(&b, 64), 1);
  // The reset must say that it could not grow, not pretend the size was set.
  pcfcore::testing::FailAllocationsAbove(1000);
  EXPECT_EQ(ResetBuffer(&b, 4096), 0);
  pcfcore::testing::AllowAllAllocations();
  EXPECT_EQ(b.Size, 64);
  EXPECT_EQ(b.Capacity, 64);
  EXPECT_EQ(ResetBuffer(&b, -5), 0);
  DeleteBuffer(&b);
}

// Growing keeps Size; shrinking below it must not leave a transfer size
// that runs past the storage.
TEST(Buffer, ShrinkingBelowTheTransferSizeCapsIt) {
  Buffer b{};
  ASSERT_EQ(CreateBuffer(&b, 4096), 1);
  ASSERT_EQ(SizeBuffer(&b, 8192), 1);
  EXPECT_EQ(b.Size, 4096);
  ASSERT_EQ(SizeBuffer(&b, 1024), 1);
  EXPECT_EQ(b.Capacity, 1024);
  EXPECT_EQ(b.Size, 1024);
  DeleteBuffer(&b);
}

TEST(Message, VerifyMessageExtChecksTheNodeHeaderLength) {
  MQLONG words[2] = {32, 1};
  EXPECT_EQ(VerifyMessageExt(words), 1);
  words[0] = 136;
  EXPECT_EQ(VerifyMessageExt(words), 0);
}

}  // namespace
