// One mnNPost over more than 1,500 connections: descriptor numbers far
// above 1,024 (the select() limit) in one wait.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <vector>

#include "support/net_fixture.h"

namespace {

using nettest::MakeMessage;

constexpr int kConnections = 1600;

TEST(ManyConnections, OneNPostServesMoreThan1500Connections) {
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  const rlim_t needed = 2 * kConnections + 64;
  if (limit.rlim_cur < needed) {
    if (limit.rlim_max < needed) {
      GTEST_SKIP() << "RLIMIT_NOFILE hard limit " << limit.rlim_max << " is below the " << needed
                   << " descriptors this test needs";
    }
    limit.rlim_cur = limit.rlim_max;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
  }

  nettest::Listener listener;
  ASSERT_EQ(NoblockSocket(&listener.server->socket), 1);
  SocketAddress to = nettest::Loopback(listener.port());
  std::vector<mqnMQNodeData*> clients;
  std::vector<mqnMQNodeData*> accepted;
  for (int i = 0; i < kConnections; ++i) {
    mqnMQNodeData* c = CreateMQNode(&to, MQNODE_MODE_CLIENT);
    ASSERT_EQ(c->lastError, 0);
    ASSERT_EQ(NoblockSocket(&c->socket), 1);
    mnOpen(c);
    clients.push_back(c);
    // Accept as we go so the listen queue never overflows.
    while (mnOpen(listener.server) == 1) accepted.push_back(listener.server->accepted);
  }

  // Wait for every connect to complete and every connection to be accepted.
  harrow::testsupport::Deadline connected(std::chrono::seconds(60));
  auto all_open = [&] {
    for (mqnMQNodeData* c : clients) {
      if (!c->open) return false;
    }
    return true;
  };
  std::vector<mqnMQNodeData*> list;
  while ((!all_open() || accepted.size() < clients.size()) &&
         !connected.Expired()) {
    list.assign(clients.begin(), clients.end());
    list.push_back(listener.server);
    list.push_back(nullptr);
    std::vector<mqnMQNodeData*> acc(list.size()), rd(list.size()), wr(list.size() + 1);
    int error = 0;
    if (!mnNPost(list.data(), acc.data(), rd.data(), wr.data(), 1, &error)) continue;
    if (acc[0] != nullptr) {
      while (mnOpen(listener.server) == 1) accepted.push_back(listener.server->accepted);
    }
  }
  ASSERT_TRUE(all_open());
  ASSERT_EQ(accepted.size(), clients.size());

  // Every client writes one frame; the accepted side waits on all of its
  // connections in single calls.
  mqPcfMessage* m = MakeMessage(13, 1, 1);
  for (mqnMQNodeData* c : clients) ASSERT_EQ(mnWrite(m, c), 1) << c->lastError;
  int highest_handle = 0;
  for (mqnMQNodeData* a : accepted) highest_handle = std::max(highest_handle, a->socket.handle);
  EXPECT_GT(highest_handle, 1024);

  mqPcfMessage* rx = CreatePcfMessage(0, 1, 16);
  std::size_t received = 0;
  std::size_t largest_batch = 0;
  std::vector<bool> done(accepted.size(), false);
  harrow::testsupport::Deadline read_all(std::chrono::seconds(60));
  while (received < accepted.size() && !read_all.Expired()) {
    list.clear();
    for (std::size_t i = 0; i < accepted.size(); ++i) {
      if (!done[i]) list.push_back(accepted[i]);
    }
    const std::size_t waiting = list.size();
    list.push_back(nullptr);
    std::vector<mqnMQNodeData*> acc(list.size()), rd(list.size()), wr(list.size() + 1);
    int error = 0;
    ASSERT_EQ(mnNPost(list.data(), acc.data(), rd.data(), wr.data(), 5, &error), 1) << error;
    std::size_t batch = 0;
    for (mqnMQNodeData** r = rd.data(); *r != nullptr; ++r) {
      ASSERT_EQ(mnRead(rx, *r), 1) << (*r)->lastError;
      ++batch;
    }
    for (std::size_t i = 0; i < accepted.size(); ++i) {
      if (!done[i] && accepted[i]->framesRead == 1) done[i] = true;
    }
    largest_batch = std::max(largest_batch, batch);
    received += batch;
    ASSERT_LE(batch, waiting);
  }
  EXPECT_EQ(received, accepted.size());
  EXPECT_GT(largest_batch, 1024u) << "one wait should report most connections at once";
  DeletePcfMessage(m);
  DeletePcfMessage(rx);
  for (mqnMQNodeData* n : clients) DeleteMQNode(n);
  for (mqnMQNodeData* n : accepted) DeleteMQNode(n);
}

}  // namespace
