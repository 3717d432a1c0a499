// EXCMD_INQUIRE_SESSION and EXCMD_DELETE_SESSION from test consoles.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "support/group_fixture.h"

namespace grptest {
namespace {

namespace ts = harrow::testsupport;

class SessionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = ts::FreeLoopbackPort(true);
    CreateGroup(inst_, "SG", port_, {"--max-clients=4"});
    ASSERT_TRUE(StartServer(&server_, inst_, "SG"));
  }
  PcfPtr Ask(TestConsole& console, MQLONG command, const std::vector<std::pair<MQLONG, MQLONG>>& ints) {
    PcfPtr msg = MakeCommand(command, "SESSION");
    for (const auto& [id, value] : ints) AddInteger(msg.get(), id, value);
    EXPECT_TRUE(console.Send(msg.get()));
    return console.Receive();
  }

  Installation inst_;
  int port_ = 0;
  ts::ServerProcess server_;
};

TEST_F(SessionsTest, ListsConsolesByOrdinalAndIndexAndClosesAnother) {
  TestConsole a(port_), b(port_);
  ASSERT_TRUE(a.connected() && b.connected());
  // Let the server accept both (each answers an open-event command).
  for (TestConsole* c : {&a, &b}) {
    PcfPtr r = Ask(*c, EXCMD_OPEN_EVENT, {{20139, 0}});
    ASSERT_NE(r, nullptr);
  }
  PcfPtr first = Ask(a, 10018, {});
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Cfh->CompCode, MQCC_OK);
  MQLONG index = 0, ordinal = 0, range = -1;
  ASSERT_TRUE(IntParam(first.get(), 20501, &index));
  ASSERT_TRUE(IntParam(first.get(), 20500, &ordinal));
  ASSERT_TRUE(IntParam(first.get(), 20502, &range));
  EXPECT_EQ(index, 1);
  EXPECT_EQ(ordinal, 1);
  EXPECT_EQ(range, 0);
  EXPECT_EQ(StrParam(first.get(), 20007), "127.0.0.1");
  // The application name of a console is its port.
  sockaddr_in local{};
  socklen_t length = sizeof local;
  ASSERT_EQ(getsockname(a.node()->socket.handle, reinterpret_cast<sockaddr*>(&local), &length), 0);
  EXPECT_EQ(StrParam(first.get(), 20017), std::to_string(ntohs(local.sin_port)));
  const std::string user = StrParam(first.get(), 3025);
  EXPECT_FALSE(user.empty() || user == "UNKNOWN" || user == "<absent>") << user;

  PcfPtr second = Ask(a, 10018, {{20500, 2}});
  ASSERT_NE(second, nullptr);
  MQLONG b_index = 0;
  ASSERT_TRUE(IntParam(second.get(), 20501, &b_index));
  EXPECT_EQ(b_index, 2);
  // By direct index: no ordinal in the answer.
  PcfPtr direct = Ask(a, 10018, {{20501, b_index}});
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(direct->Cfh->CompCode, MQCC_OK);
  EXPECT_FALSE(IntParam(direct.get(), 20500, &ordinal));

  PcfPtr none = Ask(a, 10018, {{20500, 3}});
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->Cfh->CompCode, MQCC_FAILED);
  EXPECT_EQ(none->Cfh->Reason, 2085);
  PcfPtr node_range = Ask(a, 10018, {{20502, 1}});
  ASSERT_NE(node_range, nullptr);
  EXPECT_EQ(node_range->Cfh->Reason, 2085);

  PcfPtr missing = Ask(a, 10019, {});
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->Cfh->Reason, 3019);
  PcfPtr own = Ask(a, 10019, {{20501, index}});
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->Cfh->Reason, 2042);
  PcfPtr out_of_range = Ask(a, 10019, {{20501, 99999}});
  ASSERT_NE(out_of_range, nullptr);
  EXPECT_EQ(out_of_range->Cfh->Reason, 2085);

  PcfPtr deleted = Ask(a, 10019, {{20501, b_index}});
  ASSERT_NE(deleted, nullptr);
  EXPECT_EQ(deleted->Cfh->CompCode, MQCC_OK);
  EXPECT_TRUE(b.WaitClosed());
  // A's connection stays; B's entry is free again.
  PcfPtr after = Ask(a, 10018, {{20500, 2}});
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->Cfh->Reason, 2085);
  EXPECT_EQ(server_.Stop(), 0);
}

}  // namespace
}  // namespace grptest
