// Pure rules of the library, without a queue manager: dynamic queue names,
// bounded waits, the client-connection registry store and the channel
// definition handed to MQCONNX.
#include <gtest/gtest.h>
#include <os/registry.h>
#include <testsupport/testsupport.h>

#include <cstring>
#include <string>

#include "client_connections.h"
#include "fields.h"
#include "manager_internal.h"

namespace qmlink {
namespace {

namespace ts = harrow::testsupport;

TEST(DynamicQueueNameTest, SuffixIsCutBlanksRemovedAndStarAppended) {
  struct Case {
    const char* suffix;
    const char* expected;
  } cases[] = {
      {nullptr, "HARROWLINE.REPLY.DEFAULT*"},
      {"", "HARROWLINE.REPLY.DEFAULT*"},
      {"AGENT", "HARROWLINE.REPLY.AGENT*"},
      {"A B C", "HARROWLINE.REPLY.ABC*"},
      {"0123456789ABCDEF", "HARROWLINE.REPLY.0123456789ABCDEF*"},
      {"0123456789ABCDEFG", "HARROWLINE.REPLY.0123456789ABCDEF*"},
      // The cut comes first: blanks count towards the 16 characters.
      {"0123456789 ABCDEFGH", "HARROWLINE.REPLY.0123456789ABCDE*"},
  };
  for (const Case& c : cases) EXPECT_EQ(DynamicQueueName(kReplyQueuePrefix, c.suffix), c.expected);
  EXPECT_EQ(DynamicQueueName(kEventQueuePrefix, "MQMGM.ADMIN.EVENT.QUEUE"), "HARROWLINE.EVENT.MQMGM.ADMIN.EVEN*");
}

TEST(BoundWaitTest, EveryWaitIsBounded) {
  struct Case {
    MQLONG given;
    bool wait;
    MQLONG interval;
  } cases[] = {
      {0, false, 0},
      {-2, false, 0},
      {INT32_MIN, false, 0},
      {1, true, 1},
      {10000, true, 10000},
      {QMLINK_MAX_WAIT_MS, true, QMLINK_MAX_WAIT_MS},
      {QMLINK_MAX_WAIT_MS + 1, true, QMLINK_MAX_WAIT_MS},
      {INT32_MAX, true, QMLINK_MAX_WAIT_MS},
      {MQWI_UNLIMITED, true, QMLINK_MAX_WAIT_MS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    GetWait w = BoundWait(c.given);
    EXPECT_EQ(w.wait, c.wait);
    EXPECT_EQ(w.interval_ms, c.interval);
    MQGMO gmo = MakeGetOptions(MQGMO_NO_SYNCPOINT, c.given);
    EXPECT_EQ((gmo.Options & MQGMO_WAIT) != 0, c.wait);
    EXPECT_EQ(gmo.WaitInterval, c.interval);
    EXPECT_EQ(gmo.MatchOptions, MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID);
  }
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetKey(const std::string& name, const char* channel, const char* connection) {
    HKEY key = nullptr;
    ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, (std::string(kQueueManagersKey) + "\\" + name).c_str(), &key),
              OS_REG_SUCCESS);
    if (channel != nullptr) ASSERT_EQ(osRegSetString(key, "Channel Name", channel), OS_REG_SUCCESS);
    if (connection != nullptr) ASSERT_EQ(osRegSetString(key, "Connection Name", connection), OS_REG_SUCCESS);
    osRegCloseKey(key);
  }
  ts::TempDir dir_{"qmlinkreg"};
  ts::ScopedEnv env_{"HRLCOMPACT_REGISTRY", dir_.path()};
};

TEST_F(RegistryTest, ClientDefinitionComesFromTheKeyOrDefaults) {
  SetKey("QM1", "APP.SVRCONN", "host.example(1415)");
  SetKey("QM!DOT", "DOT.CHL", "10.0.0.9(1500)");
  SetKey("PLAIN.DOT", "PLAIN.CHL", nullptr);
  SetKey("CHANNELONLY", "ONLY.CHL", nullptr);
  SetKey("EMPTY", "", "");
  SetKey("LONG", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", std::string(300, 'h').c_str());
  struct Case {
    const char* qmgr;
    std::string channel, connection;
  } cases[] = {
      {"QM1", "APP.SVRCONN", "host.example(1415)"},
      {"qm1", "APP.SVRCONN", "host.example(1415)"},  // key names ignore case
      {"QM.DOT", "DOT.CHL", "10.0.0.9(1500)"},        // "." is "!" in key names
      {"PLAIN.DOT", "PLAIN.CHL", "127.0.0.1"},         // a key under the name as given
      {"CHANNELONLY", "ONLY.CHL", "127.0.0.1"},
      {"EMPTY", "SYSTEM.DEF.SVRCONN", "127.0.0.1"},
      {"LONG", "ABCDEFGHIJKLMNOPQRST", std::string(264, 'h')},
      {"NOKEY", "SYSTEM.DEF.SVRCONN", "127.0.0.1"},
      {"A\\B", "SYSTEM.DEF.SVRCONN", "127.0.0.1"},    // no reaching into other keys
      {"", "SYSTEM.DEF.SVRCONN", "127.0.0.1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.qmgr);
    ClientDefinition d = ReadClientDefinition(c.qmgr);
    EXPECT_EQ(d.channel, c.channel);
    EXPECT_EQ(d.connection, c.connection);
  }
}

TEST_F(RegistryTest, NoRegistryAtAllGivesTheDefaults) {
  ClientDefinition d = ReadClientDefinition("QM1");
  EXPECT_EQ(d.channel, "SYSTEM.DEF.SVRCONN");
  EXPECT_EQ(d.connection, "127.0.0.1");
}

TEST(ChannelDefinitionTest, ClientConnectionDefaultsAndNames) {
  MQCD cd = MakeChannelDefinition({"SYSTEM.DEF.SVRCONN", "127.0.0.1"});
  EXPECT_EQ(std::string(cd.ChannelName, 20), "SYSTEM.DEF.SVRCONN  ");
  EXPECT_EQ(std::string(cd.ConnectionName, 9), "127.0.0.1");
  EXPECT_EQ(std::string(cd.ConnectionName + 9, 255), std::string(255, ' '));
  EXPECT_EQ(cd.Version, 6);
  EXPECT_EQ(cd.ChannelType, MQCHT_CLNTCONN);
  EXPECT_EQ(cd.TransportType, MQXPT_TCP);
  EXPECT_EQ(cd.BatchSize, 50);
  EXPECT_EQ(cd.DiscInterval, 6000);
  EXPECT_EQ(cd.ShortRetryCount, 10);
  EXPECT_EQ(cd.ShortRetryInterval, 60);
  EXPECT_EQ(cd.LongRetryCount, 999999999);
  EXPECT_EQ(cd.LongRetryInterval, 1200);
  EXPECT_EQ(cd.SeqNumberWrap, 999999999);
  EXPECT_EQ(cd.MaxMsgLength, 4194304);
  EXPECT_EQ(cd.PutAuthority, 1);
  EXPECT_EQ(cd.DataConversion, 0);
  EXPECT_EQ(cd.MCAType, 1);
  EXPECT_EQ(cd.MsgRetryCount, 10);
  EXPECT_EQ(cd.MsgRetryInterval, 1000);
  EXPECT_EQ(cd.HeartbeatInterval, 1);
  EXPECT_EQ(cd.NonPersistentMsgSpeed, 2);
  EXPECT_EQ(cd.StrucLength, static_cast<MQLONG>(sizeof(MQCD)));
  EXPECT_EQ(cd.ExitNameLength, 128);
  EXPECT_EQ(cd.ExitDataLength, 32);
}

}  // namespace
}  // namespace qmlink
