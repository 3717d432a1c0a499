// BuildPcfCmd over its whole table: which records each command gets, in
// which order, and exact bytes for a few.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pcfcore/excmd.h"
#include "pcfcore/pcf_message.h"

namespace {

// What one appended record must be: its type, id and value (an integer, a
// list whose single element is given, or the string).
struct Expected {
  MQLONG type;
  MQLONG id;
  MQLONG value = 0;
  const char* text = nullptr;
};

struct BuildCase {
  MQLONG command;
  const char* name;
  MQLONG value;
  int result;
  std::vector<Expected> records;
};

constexpr MQLONG S = MQCFT_STRING, I = MQCFT_INTEGER, L = MQCFT_INTEGER_LIST;

const std::vector<BuildCase>& Cases() {
  static const std::vector<BuildCase> cases = {
      {2, "QM1", 0, 1, {{L, 1001, 1009}}},
      {7, "PROC*", 0, 1, {{S, 2012, 0, "PROC*"}, {L, 1003, 1009}}},
      {13, "Q*", 0, 1, {{S, 2016, 0, "Q*"}, {L, 1002, 1009}}},
      {13, "Q*", 3, 1, {{S, 2016, 0, "Q*"}, {I, 20, 3}, {L, 1002, 1009}}},
      {13, "Q*", -1, 1, {{S, 2016, 0, "Q*"}, {L, 1002, 1009}}},
      {18, "*", 0, 1, {{S, 2016, 0, "*"}, {I, 20, 1001}}},
      {19, "*", 0, 1, {{S, 2012, 0, "*"}}},
      {20, "CH*", 3, 1, {{S, 3501, 0, "CH*"}}},
      {20, "CH*", 6, 1, {{S, 3501, 0, "CH*"}, {I, 1511, 6}}},
      {25, "CH1", 0, 1, {{S, 3501, 0, "CH1"}, {L, 1015, 1009}}},
      {25, "CH1", 6, 1, {{S, 3501, 0, "CH1"}, {I, 1511, 6}, {L, 1015, 1009}}},
      {26, "CH1", 16, 1, {{S, 3501, 0, "CH1"}, {I, 1512, 16}}},
      {27, "CH1", 5, 1, {{S, 3501, 0, "CH1"}, {I, 1514, 5}}},
      {28, "CH1", 0, 1, {{S, 3501, 0, "CH1"}}},
      {29, "CH1", 1, 1, {{S, 3501, 0, "CH1"}, {I, 1008, 1}}},
      {30, "SYSTEM.CHANNEL.INITQ", 0, 1, {{S, 2008, 0, "SYSTEM.CHANNEL.INITQ"}}},
      {31, "ignored", 0, 1, {}},
      {32, "NL1", 0, 1, {{S, 2010, 0, "NL1"}}},
      {34, "NL1", 0, 1, {{S, 2010, 0, "NL1"}}},
      {36, "NL1", 0, 1, {{S, 2010, 0, "NL1"}, {L, 1004, 1009}}},
      {37, "NL*", 0, 1, {{S, 2010, 0, "NL*"}}},
      {38, "DISPLAY QMGR", 0, 1, {{I, 1017, 1}, {S, 3014, 0, "DISPLAY QMGR"}}},
      {39, "CH1", 1, 1, {{S, 3501, 0, "CH1"}, {I, 1516, 1}}},
      {40, "ignored", 0, 1, {}},
      {42, "CH*", 0, 1, {{S, 3501, 0, "CH*"}, {L, 1524, 1009}}},
      {70, "QM*", 0, 1, {{S, 2031, 0, "QM*"}, {L, 1093, 1009}}},
      {71, "CLUS1", 2029, 1, {{S, 2029, 0, "CLUS1"}}},
      {72, "NLCLUS", 2030, 1, {{S, 2030, 0, "NLCLUS"}}},
      {73, "CLUS1", 0, 1, {{S, 2029, 0, "CLUS1"}}},
      {74, "CLUS1", 0, 1, {{S, 2029, 0, "CLUS1"}}},
      {EXCMD_START_MCA, "MCA1", 0, 1, {{S, 3507, 0, "MCA1"}}},
      {EXCMD_STOP_MCA, "MCA1", 0, 1, {{S, 3507, 0, "MCA1"}}},
      {EXCMD_START_Q_MGR, "QM1", 0, 1, {{S, 2015, 0, "QM1"}}},
      {EXCMD_STOP_Q_MGR, "QM1", 2, 1, {{S, 2015, 0, "QM1"}, {I, 20141, 2}}},
      {EXCMD_OPEN_EVENT, "QM1", 0, 1, {{S, 2015, 0, "QM1"}}},
      {EXCMD_CLOSE_EVENT, "QM1", 0, 1, {{S, 2015, 0, "QM1"}}},
      {EXCMD_INQUIRE_Q_MGR_NAMES, "*", 0, 1, {{S, 2015, 0, "*"}}},
      {EXCMD_MQ_OPEN, "QM1", 1, 1, {{S, 2015, 0, "QM1"}, {I, 20101, 1}}},
      {EXCMD_MQ_CLOSE, "QM1", 1, 1, {{S, 2015, 0, "QM1"}, {I, 20101, 1}}},
      {EXCMD_CREATE_Q_MGR, "QM2", 0, 1, {{S, 2015, 0, "QM2"}}},
      {EXCMD_DELETE_Q_MGR, "QM2", 0, 1, {{S, 2015, 0, "QM2"}}},
      {EXCMD_MQSC_SCRIPT, "DEFINE QLOCAL(A)", 0, 1, {{I, 1017, 1}, {S, 3014, 0, "DEFINE QLOCAL(A)"}}},
      {EXCMD_START_MANAGER, "GROUP1", 0, 1, {{S, 20006, 0, "GROUP1"}}},
      {EXCMD_STOP_MANAGER, "GROUP1", 0, 1, {{S, 20006, 0, "GROUP1"}}},
      {EXCMD_MANAGE_MQNODE, "NODE1", 1, 1, {{S, 20007, 0, "NODE1"}, {I, 20135, 1}}},
      {EXCMD_UNMANAGE_MQNODE, "NODE1", 0, 1, {{S, 20007, 0, "NODE1"}}},
      {EXCMD_INQUIRE_Q_MGR_EVENT, "unsent", 7, 1, {{I, 20110, 7}}},
      {EXCMD_INQUIRE_CHANNEL_EVENT, "unsent", 8, 1, {{I, 20110, 8}}},
      {EXCMD_INQUIRE_MANAGER_EVENT, "unsent", 9, 1, {{I, 20110, 9}}},
      {EXCMD_INQUIRE_PERFM_EVENT, "unsent", 10, 1, {{I, 20110, 10}}},
      {EXCMD_INQUIRE_ALTER_EVENT, "unsent", 11, 1, {{I, 20110, 11}}},
      {MQCMD_CREATE_Q, "Q1", 0, 0, {}},
      {EXCMD_REGISTER_MQNODE, "N", 0, 0, {}},
      {99999, "N", 0, 0, {}},
  };
  return cases;
}

TEST(BuildPcfCmd, AppendsTheStandardParametersOfEveryCommand) {
  for (const BuildCase& c : Cases()) {
    SCOPED_TRACE("command " + std::to_string(c.command) + " value " + std::to_string(c.value));
    mqPcfMessage* m = CreatePcfMessage(c.command, MQCFT_COMMAND, 64);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(BuildPcfCmd(m, c.name, c.value), c.result);
    ASSERT_EQ(m->Cfh->ParameterCount, static_cast<MQLONG>(c.records.size()));
    for (size_t i = 0; i < c.records.size(); ++i) {
      const Expected& e = c.records[i];
      Message r{};
      ASSERT_EQ(GetAttrByPos(static_cast<MQLONG>(i + 1), &r, m), 1) << "indexed before return";
      MQLONG words[4];
      std::memcpy(words, r.Payload, 16);
      EXPECT_EQ(words[0], e.type) << i;
      EXPECT_EQ(words[2], e.id) << i;
      MQLONG v = 0;
      char text[64];
      if (e.type == I) {
        ASSERT_EQ(GetPcfIntAttrValue(&r, &v), 1);
        EXPECT_EQ(v, e.value);
      } else if (e.type == L) {
        EXPECT_EQ(words[3], 1) << "a list of one element";
        ASSERT_EQ(GetPcfIntListAttrValue(&r, 0, &v), 1);
        EXPECT_EQ(v, e.value);
      } else {
        ASSERT_EQ(GetPcfStrAttrValue(&r, text, 63), 1);
        EXPECT_STREQ(text, e.text);
      }
      DeleteMessage(&r);
    }
    DeletePcfMessage(m);
  }
}

TEST(BuildPcfCmd, InquireQueueNamesBodyIsExact) {
  mqPcfMessage* m = CreatePcfMessage(MQCMD_INQUIRE_Q_NAMES, MQCFT_COMMAND, 512);
  ASSERT_EQ(BuildPcfCmd(m, "*", 0), 1);
  ASSERT_EQ(m->Body.UsedLength - 136, 76);
  const unsigned char expected[76] = {
      // MQCFH: command, 36, version 1, command 18, seq 1, last, ok, 0, 2 parameters
      1, 0, 0, 0, 36, 0, 0, 0, 1, 0, 0, 0, 18, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0,
      // MQCFST MQCA_Q_NAME (2016 = 0x7e0), ccsid 0, length 1, "*" + 3 NULs
      4, 0, 0, 0, 24, 0, 0, 0, 0xe0, 0x07, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, '*', 0, 0, 0,
      // MQCFIN MQIA_Q_TYPE (20) = MQQT_ALL (1001 = 0x3e9)
      3, 0, 0, 0, 16, 0, 0, 0, 20, 0, 0, 0, 0xe9, 0x03, 0, 0};
  EXPECT_EQ(std::memcmp(m->Body.Payload, expected, 76), 0);
  DeletePcfMessage(m);
}

TEST(BuildPcfCmd, EscapeBodyIsExact) {
  mqPcfMessage* m = CreatePcfMessage(MQCMD_ESCAPE, MQCFT_COMMAND, 0);
  ASSERT_EQ(BuildPcfCmd(m, "DIS Q(*)", 0), 1);
  const MQLONG expected[] = {1,    36, 1, 38, 1,   1, 0, 0, 2,  // MQCFH
                             3,    16, 1017, 1,                 // escape type MQSC
                             4,    28, 3014, 0, 8};             // escape text, 8 chars
  ASSERT_EQ(m->Body.UsedLength - 136, 36 + 16 + 28);
  EXPECT_EQ(std::memcmp(m->Body.Payload, expected, sizeof expected), 0);
  EXPECT_EQ(std::memcmp(m->Body.Payload + 72, "DIS Q(*)", 8), 0);
  DeletePcfMessage(m);
}

TEST(BuildPcfCmd, PingLeavesTheMessageAlone) {
  mqPcfMessage* m = CreatePcfMessage(MQCMD_PING_Q_MGR, MQCFT_COMMAND, 0);
  std::vector<unsigned char> before(m->Body.Payload, m->Body.Payload + 36);
  EXPECT_EQ(BuildPcfCmd(m, "x", 1), 1);
  EXPECT_EQ(m->Body.UsedLength, 172);
  EXPECT_EQ(std::memcmp(m->Body.Payload, before.data(), 36), 0);
  DeletePcfMessage(m);
}

TEST(BuildPcfCmd, AFullMessageReportsFailure) {
  mqPcfMessage* m = CreatePcfMessage(MQCMD_INQUIRE_Q, MQCFT_COMMAND, 0);
  Message r{};
  ASSERT_EQ(CreatePcfIntAttr(&r, 1, 1), 1);
  for (int i = 0; i < PCF_MAX_PARAMETERS - 1; ++i) ASSERT_EQ(AppendAttr(m, &r), 1);
  // Room for one more: the queue name lands, the attribute list does not.
  EXPECT_EQ(BuildPcfCmd(m, "Q", 0), 0);
  EXPECT_EQ(m->Cfh->ParameterCount, PCF_MAX_PARAMETERS);
  DeleteMessage(&r);
  DeletePcfMessage(m);
}

}  // namespace
