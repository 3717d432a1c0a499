// Parts of registration that the program tests cannot reach: the log
// settings in the datagram, and the limit on answers to broadcasts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <pcfcore/pcf_message.h>
#include <pcfcore/pcf_records.h>

#include "agent.h"

namespace localagent {
namespace {

std::vector<MQLONG> IdsOf(const mqPcfMessage* message) {
  std::vector<MQLONG> ids;
  for (MQLONG i = 1; i <= message->Cfh->ParameterCount; ++i) {
    Message record{};
    if (!GetAttrByPos(i, &record, message)) break;
    ids.push_back(reinterpret_cast<const MQLONG*>(record.Payload)[2]);
    DeleteMessage(&record);
  }
  return ids;
}

TEST(RegistrationParametersTest, OrderOfEachForm) {
  Settings settings = DefaultSettings();
  SocketAddress agent = settings.address;
  MqLogSettings log{"/var/mqm/log", 1, 3, 2, 1024, 512};
  struct Case {
    bool periodic;
    int use_dns;
    bool report_ip;
    const char* mask;
    bool with_log;
    std::vector<MQLONG> ids;
  } cases[] = {
      {true, -1, true, "*", false, {20006, 20007, 20912, 20009, 20909, 20106, 20119, 20324, 20908}},
      {true, 1, true, "*", true,
       {20006, 20007, 20912, 20009, 20909, 20425, 20106, 20119, 20324, 20908, 20019, 20143, 20144,
        20145, 20146, 20150}},
      {true, 0, false, "", false, {20006, 20007, 20912, 20909, 20425, 20106, 20119, 20324}},
      {false, 1, true, "*", true,
       {20006, 20007, 20912, 20009, 20909, 20106, 20425, 20119, 20324, 20019, 20143, 20144, 20145,
        20146, 20150}},
      {false, -1, false, "*", false, {20006, 20007, 20912, 20909, 20106, 20119, 20324}},
  };
  for (const Case& c : cases) {
    settings.use_dns = c.use_dns;
    settings.report_ip = c.report_ip;
    mqPcfMessage* message = CreatePcfMessage(10128, 1, 512);
    AddRegistrationParameters(message, settings, agent, "G1", c.mask, c.periodic,
                              c.with_log ? &log : nullptr);
    EXPECT_EQ(IdsOf(message), c.ids) << c.periodic << " " << c.use_dns;
    if (c.with_log) {
      Message record{};
      ASSERT_TRUE(GetAttrByID(20146, &record, message));
      MQLONG value = 0;
      GetPcfIntAttrValue(&record, &value);
      EXPECT_EQ(value, 1024);
      DeleteMessage(&record);
    }
    DeletePcfMessage(message);
  }
}

TEST(AnswerLimiterTest, OnePerDestinationPerIntervalAndABurstCap) {
  using namespace std::chrono;
  AnswerLimiter limiter(milliseconds(1000), 3);
  auto t0 = AnswerLimiter::Clock::time_point() + hours(1);
  EXPECT_TRUE(limiter.Allow("a", t0));
  EXPECT_FALSE(limiter.Allow("a", t0 + milliseconds(999)));
  EXPECT_TRUE(limiter.Allow("b", t0 + milliseconds(1)));
  EXPECT_TRUE(limiter.Allow("c", t0 + milliseconds(2)));
  // The burst of 3 is spent for this interval, whatever the destination.
  EXPECT_FALSE(limiter.Allow("d", t0 + milliseconds(3)));
  // A new interval: every destination may be answered again.
  EXPECT_TRUE(limiter.Allow("a", t0 + milliseconds(1000)));
  EXPECT_TRUE(limiter.Allow("d", t0 + milliseconds(1001)));
  EXPECT_FALSE(limiter.Allow("a", t0 + milliseconds(1500)));
}

}  // namespace
}  // namespace localagent
