// Node entries of the client table: one entry per queue manager, found by
// its names over the whole range before a free slot is taken.
#include <algorithm>

#include <gtest/gtest.h>

#include <groupdb/groupdb.h>

#include "client_table.h"
#include "entry_connection.h"
#include "main_loop.h"
#include "node_work.h"
#include "group_create.h"
#include "support/group_fixture.h"

namespace grpserver {
namespace {

class ClientTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    inst_.ExportToThisProcess();
    GroupSpec spec;
    spec.name = "TG";
    std::string error;
    ASSERT_TRUE(CreateGroup(spec, inst_.install_dir(), &error)) << error;
    int out = 0;
    ASSERT_EQ(DbOpen("TG", &out), 1) << out;
    SocketAddress a{};
    std::snprintf(a.host, sizeof a.host, "127.0.0.1");
    std::snprintf(a.service, sizeof a.service, "0");
    std::snprintf(a.protocol, sizeof a.protocol, "tcp");
    agent_ = CreateMQNode(&a, MQNODE_MODE_SERVER);
    ASSERT_NE(agent_, nullptr);
    ASSERT_EQ(agent_->lastError, 0);
    GroupDbRecord r{};
    r.Table = DBT_MQNODES;
    DbClearRecord(&r);
    DbSetField(&r, DBF_MANAGER_NAME, "TG");
    DbSetField(&r, DBF_MQNODE_NAME, "N1");
    DbSetField(&r, DBF_MQNODE_NET_ADDRESS, "127.0.0.1");
    DbSetField(&r, DBF_MQNODE_PORT_NO, std::to_string(agent_->address.port).c_str());
    DbSetField(&r, DBF_MQNODE_CMD_LIMIT, "7");
    ASSERT_EQ(DbWriteRecord(&r, GDB_WRITE_ADD, &out), 1) << out;

    ResetServerState();
    GroupServer& s = Server();
    s.group = "TG";
    s.limits = ComputeLimits(2, 1, 2);  // node entries: 2 + 1 = 3
    s.table.assign(static_cast<size_t>(s.limits.max_total_conns) + 1, ClientEntry{});
    s.tables_allocated = true;
  }
  void TearDown() override {
    GroupServer& s = Server();
    for (ClientEntry& e : s.table) {
      if (e.connection != nullptr) CloseEntryConnection(&e, "SYSTEM", 0, 0, 0);
    }
    ResetServerState();
    DbCloseLocked();
    if (agent_ != nullptr) DeleteMQNode(agent_);
  }
  int Connect(const char* qmgr) {
    GroupServer& s = Server();
    return ConnectNodeEntry("TG", "N1", qmgr, s.NodeEntries(), s.limits.node_entry_count);
  }

  grptest::Installation inst_;
  mqnMQNodeData* agent_ = nullptr;
};

TEST_F(ClientTableTest, AFreedSlotBeforeAMatchDoesNotMakeASecondConnection) {
  GroupServer& s = Server();
  ASSERT_EQ(Connect("QM1"), 0);
  ASSERT_EQ(Connect("QM2"), 1);
  EXPECT_EQ(Connect("QM2"), 1);
  EXPECT_EQ(s.node_entries_in_use, 2);
  // Free the slot before QM2's entry: QM2 still finds its own entry.
  CloseEntryConnection(s.NodeEntries(), "SYSTEM", 0, 0, 0);
  EXPECT_EQ(Connect("QM2"), 1);
  EXPECT_EQ(FindNodeEntry("TG", "N1", "QM2", s.NodeEntries(), s.node_entries_in_use), 1);
  // The freed slot goes to the next new queue manager.
  EXPECT_EQ(Connect("QM3"), 0);
  EXPECT_EQ(Connect("QM4"), 2);
  // Full.
  EXPECT_EQ(Connect("QM5"), -1);
  // No node record.
  EXPECT_EQ(ConnectNodeEntry("TG", "NOSUCH", "QM1", s.NodeEntries(), s.limits.node_entry_count), -1);
}

TEST_F(ClientTableTest, ANewEntryCarriesTheNodeRecordsSettings) {
  GroupServer& s = Server();
  ASSERT_EQ(Connect("QM1"), 0);
  const ClientEntry& e = *s.NodeEntries();
  ASSERT_NE(e.connection, nullptr);
  EXPECT_EQ(e.connection->pendingLimit, 7);
  EXPECT_EQ(e.reconnect_limit, 10);
  EXPECT_EQ(e.trusted, 1);
  EXPECT_EQ(std::string(e.manager_name), "TG" + std::string(30, ' '));
  EXPECT_EQ(std::string(e.application_name), "QM1" + std::string(45, ' '));
  EXPECT_EQ(e.connection->context, &e);
  EXPECT_EQ(std::string(e.connection->address.service), std::to_string(agent_->address.port));
}


TEST_F(ClientTableTest, AnOpenControlConnectionThatIsNotReadStaysOutOfTheWait) {
  GroupServer& s = Server();
  // A control connection: blank application name.
  ASSERT_EQ(Connect(""), 0);
  ClientEntry* control = s.NodeEntries();
  control->connection->open = 1;
  control->discovery_period_s = 0;
  BuildPostTable();
  auto listed = [&] {
    return std::find(s.post_table.begin(), s.post_table.end(), control->connection) != s.post_table.end();
  };
  EXPECT_FALSE(listed());
  control->discovery_period_s = 60;
  BuildPostTable();
  EXPECT_TRUE(listed());
  // Still connecting: waited on, so that the connect's end is seen.
  control->discovery_period_s = 0;
  control->connection->open = 0;
  BuildPostTable();
  EXPECT_TRUE(listed());
  EXPECT_EQ(s.post_table.back(), nullptr);
}

TEST_F(ClientTableTest, ReconnectAttemptsStartAgainAfterAGoodConnect) {
  GroupServer& s = Server();
  ASSERT_EQ(Connect("QM1"), 0);
  ClientEntry* e = s.NodeEntries();
  e->reconnect_attempts = 9;
  ReconnectNodeEntry(e, 10054, 0);
  ASSERT_NE(e->connection, nullptr) << "the tenth attempt is still within the limit";
  EXPECT_EQ(std::string(e->application_name), "QM1" + std::string(45, ' '));
  // Let the connect finish as the loop does: wait, then start events.
  mqnMQNodeData* list[] = {e->connection, nullptr};
  mqnMQNodeData* accept_ready[2] = {};
  mqnMQNodeData* read_ready[2] = {};
  mqnMQNodeData* write_ready[2] = {};
  int error = 0;
  for (int i = 0; i < 50 && !e->connection->open; ++i) {
    mnNPost(list, accept_ready, read_ready, write_ready, 1, &error);
  }
  ASSERT_TRUE(e->connection->open);
  if (e->state == 0) StartEvents(e, 1, 0);
  EXPECT_EQ(e->state, 1);
  EXPECT_EQ(e->reconnect_attempts, 0);
  // Eleven failures in a row end the reconnects.
  e->reconnect_attempts = 10;
  ReconnectNodeEntry(e, 10054, 0);
  EXPECT_EQ(e->connection, nullptr);
}

}  // namespace
}  // namespace grpserver
