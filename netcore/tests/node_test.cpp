// Nodes: creation, open (connect and accept), waiting, graceful close.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "support/net_fixture.h"

namespace {

using nettest::HasContents;
using nettest::MakeMessage;

// A port bound but not listening: connects to it are refused, and nobody
// else can take it while the test runs.
struct RefusingPort {
  RefusingPort() {
    CreateSocket(&probe);
    SocketAddress a = nettest::Address("127.0.0.1", "0");
    BindSocketName(&probe, &a);
    port = a.port;
  }
  ~RefusingPort() { DeleteSocket(&probe); }
  SocketData probe;
  uint32_t port = 0;
};

TEST(Node, CreatedRecordFields) {
  SocketAddress a = nettest::Address("127.0.0.1", "0");
  mqnMQNodeData* server = CreateMQNode(&a, MQNODE_MODE_SERVER);
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(server->kind, 2);
  EXPECT_EQ(server->mode, 1);
  EXPECT_STREQ(server->host, "127.0.0.1");
  EXPECT_STREQ(server->platform, "WIN32");
  EXPECT_EQ(server->pendingLimit, -1);
  EXPECT_EQ(server->open, 0);
  EXPECT_EQ(server->lastError, 0);
  EXPECT_EQ(server->socket.owner, server);
  EXPECT_EQ(server->receive.Capacity, MQNODE_RECEIVE_CAPACITY);
  EXPECT_EQ(server->receive.Size, 136);
  EXPECT_NE(server->address.port, 0u);
  EXPECT_EQ(server->operations.mnOpen, &mnOpen);
  EXPECT_EQ(server->operations.mnPost, &mnPost);
  // The program name, upper case, without anything from its first dot.
  EXPECT_EQ(std::string(server->applName), "NETCORE_NODE_TEST");
  EXPECT_EQ(DeleteMQNode(server), 1);
  EXPECT_EQ(DeleteMQNode(nullptr), 0);
}

TEST(Node, BindFailureLeavesTheNodeWithItsError) {
  nettest::Listener first;
  SocketAddress same = nettest::Loopback(first.port());
  mqnMQNodeData* second = CreateMQNode(&same, MQNODE_MODE_SERVER);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->lastError, 10048);  // WSAEADDRINUSE
  DeleteMQNode(second);
}

TEST(Node, ServerOpenAcceptsAndReplacesTheAcceptedField) {
  nettest::Listener listener;
  SocketAddress to = nettest::Loopback(listener.port());
  mqnMQNodeData* c1 = CreateMQNode(&to, MQNODE_MODE_CLIENT);
  mqnMQNodeData* c2 = CreateMQNode(&to, MQNODE_MODE_CLIENT);
  listener.server->context = &to;
  ASSERT_EQ(mnOpen(c1), 1);
  EXPECT_EQ(c1->open, 1);
  EXPECT_EQ(c1->address.port, listener.port());
  ASSERT_EQ(mnOpen(c2), 1);
  mqnMQNodeData* a1 = listener.Accept();
  ASSERT_NE(a1, nullptr);
  EXPECT_EQ(a1->mode, 0);
  EXPECT_EQ(a1->open, 1);
  EXPECT_EQ(a1->socket.owner, a1);
  EXPECT_EQ(a1->context, &to);
  EXPECT_STREQ(a1->socket.local.ip, "127.0.0.1");  // the peer's address
  mqnMQNodeData* a2 = listener.Accept();
  ASSERT_NE(a2, nullptr);
  EXPECT_NE(a1, a2);
  EXPECT_EQ(listener.server->accepted, a2);
  EXPECT_EQ(mnOpen(c1), 1);  // already open: returns open at once
  for (mqnMQNodeData* n : {c1, c2, a1, a2}) DeleteMQNode(n);
}

TEST(Node, NonBlockingAcceptWithoutClientWouldBlock) {
  nettest::Listener listener;
  ASSERT_EQ(NoblockSocket(&listener.server->socket), 1);
  EXPECT_EQ(mnOpen(listener.server), 0);
  EXPECT_EQ(listener.server->lastError, 10035);
}

TEST(Node, PostWithZeroSecondsAndNoInputTimesOut) {
  nettest::TcpPair pair;
  mqnMQNodeData* nodes[] = {pair.listener.server, pair.client, pair.accepted, nullptr};
  mqnMQNodeData* accept_ready[4];
  mqnMQNodeData* read_ready[4];
  int error = 0;
  EXPECT_EQ(mnPost(nodes, accept_ready, read_ready, 0, &error), 0);
  EXPECT_EQ(error, 1000);
}

TEST(Node, PostSortsServerAndConnectionNodes) {
  nettest::TcpPair pair;
  SocketAddress to = nettest::Loopback(pair.listener.port());
  mqnMQNodeData* waiting = CreateMQNode(&to, MQNODE_MODE_CLIENT);
  ASSERT_EQ(mnOpen(waiting), 1);
  mqPcfMessage* out = MakeMessage(13, 1, 1);
  ASSERT_EQ(mnWrite(out, pair.client), 1);
  mqnMQNodeData* nodes[] = {pair.client, pair.listener.server, pair.accepted, nullptr};
  mqnMQNodeData* accept_ready[4];
  mqnMQNodeData* read_ready[4];
  int error = 0;
  ASSERT_EQ(mnPost(nodes, accept_ready, read_ready, 5, &error), 1);
  EXPECT_EQ(accept_ready[0], pair.listener.server);
  EXPECT_EQ(accept_ready[1], nullptr);
  EXPECT_EQ(read_ready[0], pair.accepted);
  EXPECT_EQ(read_ready[1], nullptr);
  DeletePcfMessage(out);
  DeleteMQNode(waiting);
  DeleteMQNode(pair.listener.Accept());
}

TEST(Node, NonBlockingConnectCompletesThroughNPost) {
  nettest::Listener listener;
  SocketAddress to = nettest::Loopback(listener.port());
  mqnMQNodeData* client = CreateMQNode(&to, MQNODE_MODE_CLIENT);
  ASSERT_EQ(NoblockSocket(&client->socket), 1);
  int opened = mnOpen(client);
  if (opened == 0) {
    EXPECT_EQ(client->lastError, 10035);
    EXPECT_EQ(client->open, 0);
    mqnMQNodeData* nodes[] = {client, nullptr};
    mqnMQNodeData* accept_ready[2];
    mqnMQNodeData* read_ready[2];
    mqnMQNodeData* write_ready[3];
    int error = 0;
    ASSERT_EQ(mnNPost(nodes, accept_ready, read_ready, write_ready, 5, &error), 1) << error;
    EXPECT_EQ(write_ready[0], client);
    EXPECT_EQ(write_ready[1], nullptr);
  }
  EXPECT_EQ(client->open, 1);
  mqnMQNodeData* accepted = listener.Accept();
  ASSERT_NE(accepted, nullptr);
  mqPcfMessage* out = MakeMessage(13, 2, 6);
  ASSERT_EQ(mnWrite(out, client), 1);
  mqPcfMessage* rx = CreatePcfMessage(0, 1, 16);
  ASSERT_EQ(mnRead(rx, accepted), 1);
  EXPECT_TRUE(HasContents(rx, 13, 2, 6));
  for (mqPcfMessage* m : {out, rx}) DeletePcfMessage(m);
  DeleteMQNode(client);
  DeleteMQNode(accepted);
}

TEST(Node, FailedNonBlockingConnectIsNeverMarkedOpen) {
  RefusingPort refusing;
  SocketAddress to = nettest::Loopback(refusing.port);
  mqnMQNodeData* client = CreateMQNode(&to, MQNODE_MODE_CLIENT);
  ASSERT_EQ(NoblockSocket(&client->socket), 1);
  EXPECT_EQ(mnOpen(client), 0);
  if (client->lastError == 10035) {
    mqnMQNodeData* nodes[] = {client, nullptr};
    mqnMQNodeData* accept_ready[2];
    mqnMQNodeData* read_ready[2];
    mqnMQNodeData* write_ready[3];
    int error = 0;
    ASSERT_EQ(mnNPost(nodes, accept_ready, read_ready, write_ready, 5, &error), 1) << error;
    EXPECT_EQ(write_ready[0], nullptr) << "a refused connect must not look writable";
    EXPECT_EQ(read_ready[0], client);
  }
  EXPECT_EQ(client->open, 0);
  EXPECT_EQ(client->lastError, 10061);
  mqPcfMessage* rx = CreatePcfMessage(0, 1, 16);
  EXPECT_EQ(mnRead(rx, client), 0);
  EXPECT_EQ(client->lastError, 10061) << "the read reports the connect's failure";
  DeletePcfMessage(rx);
  DeleteMQNode(client);
}

TEST(Node, CloseDeliversTheFinalReplyEvenWithUnreadInput) {
  // The peer sends a request the closing side never reads; the closing side
  // answers and closes at once. A reset on close would destroy the answer in
  // the peer's receive buffer.
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    nettest::TcpPair pair;
    mqPcfMessage* request = MakeMessage(13, 20, 1);
    mqPcfMessage* reply = MakeMessage(13, 2, 2);
    ASSERT_EQ(mnWrite(request, pair.client), 1);
    ASSERT_EQ(mnWrite(reply, pair.accepted), 1);
    // Give the request time to land unread in the closing side's buffer.
    pollfd p{pair.accepted->socket.handle, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    mnClose(pair.accepted);
    EXPECT_EQ(pair.accepted->open, 0);
    EXPECT_EQ(pair.accepted->socket.handle, -1);
    mqPcfMessage* rx = CreatePcfMessage(0, 1, 16);
    ASSERT_EQ(mnRead(rx, pair.client), 1) << pair.client->lastError;
    EXPECT_TRUE(HasContents(rx, 13, 2, 2));
    EXPECT_EQ(mnRead(rx, pair.client), 0);
    EXPECT_EQ(pair.client->lastError, MN_ERR_PEER_CLOSED);
    for (mqPcfMessage* m : {request, reply, rx}) DeletePcfMessage(m);
  }
}

std::vector<std::string> g_node_trace;
void RecordNodeTrace(const char* op, mqnMQNodeData*) { g_node_trace.push_back(op); }

TEST(Node, TraceCallbacksNameTheOperations) {
  g_node_trace.clear();
  mnGSetTraceCallBack(RecordNodeTrace);
  nettest::TcpPair pair;
  mnGSetTraceCallBack(nullptr);
  mqPcfMessage* out = MakeMessage(13, 1, 1);
  mnWrite(out, pair.client);
  mqPcfMessage* rx = CreatePcfMessage(0, 1, 16);
  mnRead(rx, pair.accepted);
  std::vector<std::string> expected = {"CreateMQNode", "CreateMQNode", "mnOpen",
                                       "mnOpen",       "mnWriteMsg",   "mnWriteToNode",
                                       "mnWriteMsg",   "mnRead",        "mnRead",
                                       "mnRead"};
  EXPECT_EQ(g_node_trace, expected);
  EXPECT_EQ(mnSetTraceCallBack(nullptr, pair.client), 1);
  DeletePcfMessage(out);
  DeletePcfMessage(rx);
}

TEST(Node, BufferSizesAreSet) {
  nettest::TcpPair pair;
  EXPECT_EQ(mnSetBufferSize(pair.client, 65536), 1);
  SocketOption read{8, 0, 0};
  ASSERT_EQ(GetSocketOptions(&pair.client->socket, &read), 1);
  EXPECT_GE(read.value, 65536);
}

}  // namespace
