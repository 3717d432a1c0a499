// Writes that the socket cannot take at once: the pending queue, its limit,
// write order, finishing, and errors that are not would-block.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "support/net_fixture.h"

namespace {

using nettest::HasContents;
using nettest::MakeMessage;

// A non-blocking client with small socket buffers whose peer does not read.
struct SlowPair {
  SlowPair() {
    EXPECT_EQ(mnSetBufferSize(pair.client, 4096), 1);
    EXPECT_EQ(mnSetBufferSize(pair.accepted, 4096), 1);
    EXPECT_EQ(NoblockSocket(&pair.client->socket), 1);
    // The reader must not block inside a frame while the writer still
    // holds its rest in the queue.
    EXPECT_EQ(NoblockSocket(&pair.accepted->socket), 1);
  }
  nettest::TcpPair pair;
};

// Writes frames of seed i until one is queued; returns how many were written.
int WriteUntilQueued(mqnMQNodeData* node, int first_seed) {
  for (int i = 0; i < 10000; ++i) {
    mqPcfMessage* m = MakeMessage(13, 100, first_seed + i);
    int ok = mnWrite(m, node);
    DeletePcfMessage(m);
    if (!ok) return -1;
    if (node->pending != nullptr) return i + 1;
  }
  return -1;
}

// Reads frames on reader while finishing writer's queue until count frames
// arrived; checks their seeds run first_seed, first_seed + 1, ...
void DrainInOrder(mqnMQNodeData* writer, mqnMQNodeData* reader, int count, int first_seed) {
  mqPcfMessage* rx = CreatePcfMessage(0, 1, 16);
  harrow::testsupport::Deadline deadline(std::chrono::seconds(20));
  int got = 0;
  while (got < count && !deadline.Expired()) {
    mqnMQNodeData* nodes[] = {writer, reader, nullptr};
    mqnMQNodeData* accept_ready[3];
    mqnMQNodeData* read_ready[3];
    mqnMQNodeData* write_ready[4];
    int error = 0;
    if (!mnNPost(nodes, accept_ready, read_ready, write_ready, 1, &error)) continue;
    for (mqnMQNodeData** w = write_ready; *w != nullptr; ++w) {
      ASSERT_EQ(mnFinishWrite(*w), 1) << (*w)->lastError;
    }
    for (mqnMQNodeData** r = read_ready; *r != nullptr; ++r) {
      if (*r != reader) continue;
      while (mnRead(rx, reader) == 1) {
        ASSERT_TRUE(HasContents(rx, 13, 100, first_seed + got));
        ++got;
      }
      ASSERT_EQ(reader->lastError, MN_ERR_WOULD_BLOCK);
    }
  }
  EXPECT_EQ(got, count);
  EXPECT_EQ(writer->pending, nullptr);
  EXPECT_EQ(writer->pendingCount, 0);
  DeletePcfMessage(rx);
}

TEST(Pending, SlowReaderFillsTheQueueUpToTheLimit) {
  SlowPair slow;
  mqnMQNodeData* client = slow.pair.client;
  client->pendingLimit = 3;
  int sent_at_once = WriteUntilQueued(client, 0);
  ASSERT_GT(sent_at_once, 0);
  EXPECT_EQ(client->lastError, MN_ERR_WOULD_BLOCK);
  EXPECT_EQ(client->pendingCount, 1);
  int written = sent_at_once;
  for (int i = 0; i < 2; ++i) {
    mqPcfMessage* m = MakeMessage(13, 100, written);
    ASSERT_EQ(mnWrite(m, client), 1);
    DeletePcfMessage(m);
    ++written;
  }
  EXPECT_EQ(client->pendingCount, 3);
  EXPECT_EQ(mnIsPendingIO(client), 1);
  mqPcfMessage* refused = MakeMessage(13, 100, 9999);
  EXPECT_EQ(mnWrite(refused, client), 0);
  EXPECT_EQ(client->lastError, MN_ERR_PENDING_LIMIT);
  EXPECT_EQ(client->pendingCount, 3);
  DeletePcfMessage(refused);
  const int before = client->framesWritten;
  DrainInOrder(client, slow.pair.accepted, written, 0);
  EXPECT_EQ(client->framesWritten, before + 3);
}

TEST(Pending, NoLimitQueuesEverythingAndKeepsOrderWithHighPriority) {
  SlowPair slow;
  mqnMQNodeData* client = slow.pair.client;
  int written = WriteUntilQueued(client, 0);
  ASSERT_GT(written, 0);
  for (int i = 0; i < 50; ++i) {
    mqPcfMessage* m = MakeMessage(13, 100, written);
    // High-priority writes still leave after the frames already waiting.
    int ok = (i % 5 == 0) ? mnSWriteAltUserHigh(m, client, 0, nullptr) : mnWrite(m, client);
    ASSERT_EQ(ok, 1);
    DeletePcfMessage(m);
    ++written;
  }
  EXPECT_EQ(client->pendingCount, 51);
  DrainInOrder(client, slow.pair.accepted, written, 0);
}

TEST(Pending, ClearDropsQueuedFrames) {
  SlowPair slow;
  mqnMQNodeData* client = slow.pair.client;
  EXPECT_EQ(mnClearPeningIO(client), 0);
  ASSERT_GT(WriteUntilQueued(client, 0), 0);
  EXPECT_EQ(mnClearPeningIO(client), 1);
  EXPECT_EQ(client->pending, nullptr);
  EXPECT_EQ(client->pendingCount, 0);
  EXPECT_EQ(mnFinishWrite(client), 1);
}

TEST(Pending, HardSendFailureKeepsItsRealError) {
  nettest::TcpPair pair;
  // The peer resets the connection (linger 0 close).
  SocketOption reset{4, 0, 1};
  ASSERT_EQ(SetSocketOptions(&pair.accepted->socket, &reset), 1);
  close(pair.accepted->socket.handle);
  pair.accepted->socket.handle = -1;
  pollfd p{pair.client->socket.handle, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 2000), 1);
  mqPcfMessage* m = MakeMessage(13, 1, 1);
  int failures = 0;
  for (int i = 0; i < 10 && failures == 0; ++i) {
    if (!mnWrite(m, pair.client)) {
      ++failures;
      EXPECT_EQ(pair.client->lastError, 10054);  // reset, never 10035
    }
  }
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(pair.client->pending, nullptr);
  DeletePcfMessage(m);
}

TEST(Pending, QueuedWriteFailingForGoodReports11) {
  SlowPair slow;
  mqnMQNodeData* client = slow.pair.client;
  ASSERT_GT(WriteUntilQueued(client, 0), 0);
  SocketOption reset{4, 0, 1};
  ASSERT_EQ(SetSocketOptions(&slow.pair.accepted->socket, &reset), 1);
  close(slow.pair.accepted->socket.handle);
  slow.pair.accepted->socket.handle = -1;
  pollfd p{client->socket.handle, POLLOUT, 0};
  ASSERT_EQ(poll(&p, 1, 2000), 1);
  EXPECT_EQ(mnFinishWrite(client), 0);
  EXPECT_EQ(client->lastError, MN_ERR_QUEUED_WRITE);
  EXPECT_EQ(client->socket.lastError, 10054);
}

TEST(Pending, UdpWritesAreNeverQueued) {
  SocketAddress a = nettest::Address("127.0.0.1", "0");
  mqnMQNodeData* sender = CreateUDPMQNode(&a);
  SocketAddress b = nettest::Address("127.0.0.1", "0");
  mqnMQNodeData* sink = CreateUDPMQNode(&b);  // never reads
  ASSERT_EQ(NoblockSocket(&sender->socket), 1);
  ASSERT_EQ(mnSetBufferSize(sender, 4096), 1);
  SocketAddress to = nettest::Loopback(sink->address.port);
  mqPcfMessage* m = MakeMessage(13, 100, 1);
  for (int i = 0; i < 2000; ++i) {
    int ok = mnWriteTo(m, sender, &to);
    if (!ok) {
      // Only a real would-block shows as 10035; nothing is kept for later.
      EXPECT_EQ(sender->lastError, 10035);
      break;
    }
  }
  EXPECT_EQ(sender->pending, nullptr);
  EXPECT_EQ(sender->pendingCount, 0);
  // No destination at all: nothing is sent.
  SocketAddress nowhere = nettest::Address("", "");
  EXPECT_EQ(mnWriteTo(m, sender, &nowhere), 0);
  EXPECT_EQ(sender->lastError, 10039);
  DeletePcfMessage(m);
  DeleteMQNode(sender);
  DeleteMQNode(sink);
}

}  // namespace
