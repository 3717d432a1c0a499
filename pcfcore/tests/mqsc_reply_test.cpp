// MQSC replies to PCF responses: identifiers to CompCode and Reason,
// keyword(value) pairs to records in table order, the special log and group
// parsers, the reasons, and the round trip PCF -> MQSC -> reply -> PCF.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "mqsc_test_util.h"
#include "pcfcore/excmd.h"
#include "pcfcore/mqsc.h"

namespace {

using mqsctest::FromMqsc;
using mqsctest::I;
using mqsctest::L;
using mqsctest::Param;
using mqsctest::Params;
using mqsctest::Pcf;
using mqsctest::Reply;
using mqsctest::S;
using mqsctest::ToMqsc;

MQLONG CfhWord(const Pcf& p, int i) { return mqsctest::Word(p.get()->Body.Payload, i); }

// ---- Identifiers ----------------------------------------------------------

struct IdCase {
  const char* id;
  MQLONG comp_code;
  MQLONG reason;
};

const IdCase kIdCases[] = {
    {"CSQM094I", 2, 2085}, {"CSQM999I", 2, 2085}, {"CSQM090E", 2, 3008},
    {"CSQM131I", 2, 3008}, {"CSQM126I", 2, 4005}, {"CSQM132I", 2, 4001},
    {"CSQM096I", 2, 3010}, {"CSQM129I", 2, 4002}, {"CSQM109I", 2, 4004},
    {"CSQM110I", 2, 2055}, {"CSQM106I", 2, 4003}, {"CSQM128E", 2, 4029},
    {"CSQM299I", 2, 4018}, {"CSQM141I", 2, 3019}, {"CSQM140I", 2, 4020},
    {"CSQM297I", 2, 3065}, {"CSQX533I", 2, 4064}, {"CSQM130I", 0, 0},
    {"CSQM136I", 0, 0},    {"CSQM143I", 0, 0},    {"CSQM204I", 0, 0},
    {"CSQM402I", 0, 0},    {"CSQM410I", 0, 0},    {"CSQ9022I", 0, 0},
    // Not in the table: the response says nothing went wrong.
    {"CSQM404I", 0, 0},    {"CSQN205I", 0, 0},
};

class MqscReplyIdentifier : public ::testing::TestWithParam<IdCase> {};

TEST_P(MqscReplyIdentifier, SetsCompCodeAndReason) {
  const IdCase& c = GetParam();
  Pcf pcf(MQCMD_INQUIRE_Q, MQCFT_RESPONSE);
  Reply r = FromMqsc(std::string(c.id) + " !MQ1 CSQMDRTS ' DISPLAY QUEUE' ",
                     pcf.get());
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(r.comp_code, MQCC_OK);
  EXPECT_EQ(CfhWord(pcf, 0), MQCFT_RESPONSE);
  EXPECT_EQ(CfhWord(pcf, 3), MQCMD_INQUIRE_Q);
  EXPECT_EQ(CfhWord(pcf, 6), c.comp_code);
  EXPECT_EQ(CfhWord(pcf, 7), c.reason);
  EXPECT_EQ(CfhWord(pcf, 8), 0);
  EXPECT_EQ(pcf.get()->Body.Md.MsgType, MQMT_REPLY);
}

INSTANTIATE_TEST_SUITE_P(Table, MqscReplyIdentifier, ::testing::ValuesIn(kIdCases),
                         [](const ::testing::TestParamInfo<IdCase>& info) {
                           return std::string(info.param.id);
                         });

TEST(MqscReplyIdentifierRules, NotFoundReplyGives2085AndNoParameters) {
  Pcf pcf(MQCMD_INQUIRE_Q, MQCFT_RESPONSE);
  Reply r = FromMqsc("CSQM999I", pcf.get());
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(CfhWord(pcf, 6), 2);
  EXPECT_EQ(CfhWord(pcf, 7), 2085);
  EXPECT_EQ(CfhWord(pcf, 8), 0);
  EXPECT_EQ(pcf.get()->Body.UsedLength, 136 + 36);
  EXPECT_EQ(r.extra, 0);
}

TEST(MqscReplyIdentifierRules, FirstWordBeginningWithCsqCounts) {
  Pcf pcf(MQCMD_INQUIRE_Q, MQCFT_RESPONSE);
  Reply r = FromMqsc("+MQ1 report: CSQM094I then CSQ9022I", pcf.get());
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(CfhWord(pcf, 7), 2085);
}

// ---- Keyword(value) pairs ---------------------------------------------------

TEST(MqscReplyPairs, LocalQueueDisplayBecomesRecordsInTableOrder) {
  Pcf pcf(MQCMD_INQUIRE_Q, MQCFT_RESPONSE);
  Reply r = FromMqsc(
      "CSQM401I !MQ1 QUEUE(Q1) TYPE(QLOCAL) QSGDISP(QMGR) DESCR(Orders in) "
      "PUT(DISABLED) DEFPRTY(0) DEFPSIST(YES) MAXDEPTH(5000) SHARE NOTRIGGER "
      "TRIGTYPE(EVERY) PROCESS( ) CRDATE(2024-01-02) CRTIME(10.11.12) "
      "CURDEPTH(7) INDXTYPE(NONE) NPMCLASS(NORMAL) STGCLASS('DEFAULT') "
      "CFSTRUCT( )",
      pcf.get());
  ASSERT_EQ(r.ok, 1) << r.reason;
  std::vector<Param> expected = {
      S(MQCA_Q_NAME, "Q1"),
      I(MQIA_Q_TYPE, 1),
      S(MQCA_CREATION_DATE, "2024-01-02"),
      S(MQCA_CREATION_TIME, "10.11.12"),
      I(MQIA_CURRENT_Q_DEPTH, 7),
      S(MQCA_Q_DESC, "Orders in"),
      I(MQIA_INHIBIT_PUT, 1),
      I(MQIA_DEF_PRIORITY, 0),
      I(MQIA_DEF_PERSISTENCE, 1),
      I(MQIA_MAX_Q_DEPTH, 5000),
      I(MQIA_SHAREABILITY, 1),
      I(MQIA_TRIGGER_CONTROL, 0),
      I(MQIA_TRIGGER_TYPE, 2),
      S(MQCA_PROCESS_NAME, " "),
      I(MQIA_INDEX_TYPE, 0),
      S(MQCA_STORAGE_CLASS, "DEFAULT"),
      S(MQCA_CF_STRUC_NAME, " "),
      I(MQSC_QSGDISP, 2),
  };
  EXPECT_EQ(Params(pcf.get()), expected);
  EXPECT_EQ(r.extra, static_cast<MQLONG>(expected.size()));
  EXPECT_EQ(CfhWord(pcf, 8), static_cast<MQLONG>(expected.size()));
  EXPECT_EQ(pcf.get()->Cfh->ParameterCount, static_cast<MQLONG>(expected.size()));
}

TEST(MqscReplyPairs, StringRecordIsPaddedWithZeroBytesToAMultipleOfFour) {
  Pcf pcf(MQCMD_INQUIRE_Q, MQCFT_RESPONSE);
  // Fill the body with garbage first so unset bytes would show.
  std::memset(pcf.get()->Body.Payload + 36, 0xAB,
              static_cast<size_t>(pcf.get()->Body.Capacity - 136 - 36));
  ASSERT_EQ(FromMqsc("CSQM401I QUEUE(ABCDE)", pcf.get()).ok, 1);
  const unsigned char* rec = pcf.get()->Body.Payload + 36;
  EXPECT_EQ(mqsctest::Word(rec, 0), MQCFT_STRING);
  EXPECT_EQ(mqsctest::Word(rec, 1), 28);
  EXPECT_EQ(mqsctest::Word(rec, 2), MQCA_Q_NAME);
  EXPECT_EQ(mqsctest::Word(rec, 3), 0);
  EXPECT_EQ(mqsctest::Word(rec, 4), 5);
  EXPECT_EQ(std::memcmp(rec + 20, "ABCDE\0\0\0", 8), 0);
  EXPECT_EQ(pcf.get()->Body.UsedLength, 136 + 36 + 28);
}

TEST(MqscReplyPairs, QuotedValueKeepsParenthesesAndUndoublesQuotes) {
  Pcf pcf(MQCMD_INQUIRE_Q, MQCFT_RESPONSE);
  ASSERT_EQ(FromMqsc("CSQM401I QUEUE(Q1) DESCR('it''s (new), ok')", pcf.get()).ok, 1);
  std::vector<Param> expected = {S(MQCA_Q_NAME, "Q1"),
                                 S(MQCA_Q_DESC, "it's (new), ok")};
  EXPECT_EQ(Params(pcf.get()), expected);
}

TEST(MqscReplyPairs, NamelistNamesBecomeAListOfTheLongestItemsWidth) {
  Pcf pcf(MQCMD_INQUIRE_NAMELIST, MQCFT_RESPONSE);
  ASSERT_EQ(FromMqsc("CSQM407I !MQ1 NAMELIST(N1) QSGDISP(QMGR) NAMCOUNT(3) "
                     "NAMES(QM1,'QM22', QM3) DESCR(two words)",
                     pcf.get())
                .ok,
            1);
  std::vector<Param> expected = {
      S(MQCA_NAMELIST_NAME, "N1"), S(MQCA_NAMELIST_DESC, "two words"),
      L(MQCA_NAMES, {"QM1 ", "QM22", "QM3 "}), I(MQIA_NAME_COUNT, 3),
      I(MQSC_QSGDISP, 2)};
  EXPECT_EQ(Params(pcf.get()), expected);
}

TEST(MqscReplyPairs, ChannelDisplayKeepsNestedParenthesesOfTheConnectionName) {
  Pcf pcf(MQCMD_INQUIRE_CHANNEL, MQCFT_RESPONSE);
  ASSERT_EQ(FromMqsc("CSQM406I !MQ1 CHANNEL(TO.QM2) CHLTYPE(SDR) QSGDISP(QMGR) "
                     "TRPTYPE(TCP) CONNAME(host(1414)) XMITQ(QM2) BATCHSZ(50) "
                     "HBINT(300) NPMSPEED(FAST) ALTDATE(2024-02-03)",
                     pcf.get())
                .ok,
            1);
  std::vector<Param> expected = {
      S(MQCACH_CHANNEL_NAME, "TO.QM2"), I(MQIACH_CHANNEL_TYPE, 1),
      I(MQIACH_XMIT_PROTOCOL_TYPE, 2),  S(MQCACH_XMIT_Q_NAME, "QM2"),
      S(MQCACH_CONNECTION_NAME, "host(1414)"), I(MQIACH_BATCH_SIZE, 50),
      I(MQIACH_HB_INTERVAL, 300),       I(MQIACH_NPM_SPEED, 2),
      S(MQCA_ALTERATION_DATE, "2024-02-03"), I(MQSC_QSGDISP, 2)};
  EXPECT_EQ(Params(pcf.get()), expected);
}

TEST(MqscReplyPairs, ChannelStatusNamesTheChannelAndItsState) {
  Pcf pcf(MQCMD_INQUIRE_CHANNEL_STATUS, MQCFT_RESPONSE);
  ASSERT_EQ(FromMqsc("CSQM293I !MQ1 CHANNEL(C1) CHLTYPE(SDR) CONNAME(h) "
                     "CURRENT STATUS(RUNNING) INDOUBT(NO) MSGS(12) "
                     "LSTMSGDA(2024-03-04) STOPREQ(NO)",
                     pcf.get())
                .ok,
            1);
  std::vector<Param> expected = {
      I(MQIACH_CHANNEL_INSTANCE_TYPE, 1011), S(MQCACH_CHANNEL_NAME, "C1"),
      I(MQIACH_CHANNEL_TYPE, 1), I(MQIACH_CHANNEL_STATUS, 3),
      S(MQCACH_CONNECTION_NAME, "h"), I(MQIACH_INDOUBT_STATUS, 0),
      I(MQIACH_MSGS, 12), I(MQIACH_STOP_REQUESTED, 0),
      S(MQCACH_LAST_MSG_DATE, "2024-03-04")};
  EXPECT_EQ(Params(pcf.get()), expected);
}

TEST(MqscReplyPairs, ResetStatisticsReply) {
  Pcf pcf(MQCMD_RESET_Q_STATS, MQCFT_RESPONSE);
  ASSERT_EQ(FromMqsc("CSQM201I !MQ1 QSTATS(Q1) RESETINT(60) HIQDEPTH(9) "
                     "MSGSIN(100) MSGSOUT(98)",
                     pcf.get())
                .ok,
            1);
  std::vector<Param> expected = {
      S(MQCA_Q_NAME, "Q1"), I(MQIA_TIME_SINCE_RESET, 60),
      I(MQIA_HIGH_Q_DEPTH, 9), I(MQIA_MSG_ENQ_COUNT, 100),
      I(MQIA_MSG_DEQ_COUNT, 98)};
  EXPECT_EQ(Params(pcf.get()), expected);
}

TEST(MqscReplyPairs, QueueStatusReply) {
  Pcf pcf(EXCMD_DISPLAY_QSTATUS, MQCFT_RESPONSE);
  ASSERT_EQ(FromMqsc("CSQM297I !MQ1 QSTATUS(Q1) TYPE(QUEUE) QSGDISP(QMGR) "
                     "CURDEPTH(5) IPPROCS(1) OPPROCS(2) UNCOM(0)",
                     pcf.get())
                .ok,
            1);
  std::vector<Param> expected = {
      S(MQCA_Q_NAME, "Q1"), I(MQIACF_Q_STATUS_TYPE, 1105),
      I(MQIA_CURRENT_Q_DEPTH, 5), I(MQIA_OPEN_INPUT_COUNT, 1),
      I(MQIA_OPEN_OUTPUT_COUNT, 2), I(MQIACF_UNCOMMITTED_MSGS, 0),
      I(MQSC_QSGDISP, 2)};
  EXPECT_EQ(Params(pcf.get()), expected);
  EXPECT_EQ(CfhWord(pcf, 6), 2);  // CSQM297I is a failure identifier
  EXPECT_EQ(CfhWord(pcf, 7), 3065);
}

TEST(MqscReplyPairs, ClusterQueueManagerReply) {
  Pcf pcf(MQCMD_INQUIRE_CLUSTER_Q_MGR, MQCFT_RESPONSE);
  ASSERT_EQ(FromMqsc("CSQM201I CLUSQMGR(QM2) CLUSTER(CL1) CHANNEL(TO.QM2) "
                     "DEFTYPE(CLUSSDRA) QMTYPE(REPOS) STATUS(RUNNING) "
                     "SUSPEND(NO) QMID(QM2_2024) CONNAME(qm2host) "
                     "XMITQ(SYSTEM.CLUSTER.TRANSMIT.QUEUE)",
                     pcf.get())
                .ok,
            1);
  std::vector<Param> expected = {
      S(MQCA_CLUSTER_Q_MGR_NAME, "QM2"), S(MQCA_CLUSTER_NAME, "CL1"),
      S(MQCACH_CHANNEL_NAME, "TO.QM2"), S(MQCA_Q_MGR_IDENTIFIER, "QM2_2024"),
      I(MQIACF_Q_MGR_DEFINITION_TYPE, 2), I(MQIACF_Q_MGR_TYPE, 1),
      I(MQIACH_CHANNEL_STATUS, 3), I(MQIACF_SUSPEND, 0),
      S(MQCACH_XMIT_Q_NAME, "SYSTEM.CLUSTER.TRANSMIT.QUEUE"),
      S(MQCACH_CONNECTION_NAME, "qm2host")};
  EXPECT_EQ(Params(pcf.get()), expected);
}

// ---- Reasons ----------------------------------------------------------------

TEST(MqscReplyReasons, UnknownEnumerationWordIs5002) {
  Pcf pcf(MQCMD_INQUIRE_Q, MQCFT_RESPONSE);
  Reply r = FromMqsc("CSQM401I QUEUE(Q1) TYPE(QBOGUS)", pcf.get());
  EXPECT_EQ(r.ok, 0);
  EXPECT_EQ(r.comp_code, MQCC_FAILED);
  EXPECT_EQ(r.reason, EXRC_MQSC_NOT_IN_TABLES);
  EXPECT_EQ(CfhWord(pcf, 6), 2);
  EXPECT_EQ(CfhWord(pcf, 7), EXRC_MQSC_NOT_IN_TABLES);
  EXPECT_EQ(CfhWord(pcf, 8), 0);
}

TEST(MqscReplyReasons, CommandNotInTablesIs5002) {
  Pcf pcf(MQCMD_REFRESH_Q_MGR, MQCFT_RESPONSE);
  Reply r = FromMqsc("CSQ9022I", pcf.get());
  EXPECT_EQ(r.ok, 0);
  EXPECT_EQ(r.reason, EXRC_MQSC_NOT_IN_TABLES);
}

TEST(MqscReplyReasons, ResponseLargerThanTheMessageIs5003) {
  Pcf pcf(MQCMD_INQUIRE_Q, MQCFT_RESPONSE, 40);
  Reply r = FromMqsc("CSQM401I QUEUE(Q1) DESCR(a description)", pcf.get());
  EXPECT_EQ(r.ok, 0);
  EXPECT_EQ(r.reason, EXRC_MQSC_NO_ROOM);
  EXPECT_EQ(CfhWord(pcf, 6), 2);
  EXPECT_EQ(CfhWord(pcf, 7), EXRC_MQSC_NO_ROOM);
  EXPECT_EQ(pcf.get()->Body.UsedLength, 136 + 36);
}

// One long item and many short ones make a list record of (items x longest)
// bytes: 20,001 items of 20,000 bytes from a 60 KB reply. It cannot fit the
// response, and must be refused before it is built, not after.
TEST(MqscReplyReasons, ListTooWideForTheMessageIs5003WithoutBuildingIt) {
  std::string reply = "CSQM407I NAMELIST(N1) NAMES(" + std::string(20000, 'A');
  for (int i = 0; i < 20000; ++i) reply += ",B";
  reply += ")";
  struct rusage before {};
  getrusage(RUSAGE_SELF, &before);
  Pcf pcf(MQCMD_INQUIRE_NAMELIST, MQCFT_RESPONSE, 100000);
  Reply r = FromMqsc(reply, pcf.get());
  struct rusage after {};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_EQ(r.ok, 0);
  EXPECT_EQ(r.reason, EXRC_MQSC_NO_ROOM);
  // The record alone would be 400 MB; the peak may not grow by a tenth of it.
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 40 * 1024) << "kilobytes";
}

TEST(MqscReplyReasons, WalkerRefusesEscapeWith5004) {
  unsigned char body[64];
  MQLONG length = sizeof body, reason = 0;
  EXPECT_EQ(MqscToPcf("CSQ9022I", 8, body, &length, MQCMD_ESCAPE, &reason, nullptr), 0);
  EXPECT_EQ(reason, EXRC_MQSC_NO_ROW_TABLE);
}

TEST(MqscReplyReasons, IntegerThatIsNotANumberIs5006) {
  for (const char* bad : {"MAXDEPTH(12X)", "MAXDEPTH()", "MAXDEPTH(99999999999)",
                          "MAXDEPTH(-)"}) {
    Pcf pcf(MQCMD_INQUIRE_Q, MQCFT_RESPONSE);
    Reply r = FromMqsc(std::string("CSQM401I QUEUE(Q1) ") + bad, pcf.get());
    EXPECT_EQ(r.ok, 0) << bad;
    EXPECT_EQ(r.reason, EXRC_MQSC_BAD_INTEGER) << bad;
  }
  Pcf pcf(MQCMD_INQUIRE_Q, MQCFT_RESPONSE);
  Reply r = FromMqsc("CSQM401I QUEUE(Q1) MAXDEPTH( -2147483648 )", pcf.get());
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(Params(pcf.get()).back(), I(MQIA_MAX_Q_DEPTH, INT32_MIN));
}

// ---- Escape ------------------------------------------------------------------

TEST(MqscReplyEscape, WholeTextBecomesOneEscapeTextRecord) {
  Pcf pcf(MQCMD_ESCAPE, MQCFT_RESPONSE);
  pcf.Int(MQIACF_ESCAPE_TYPE, 1);
  std::string reply("CSQ9022I !MQ1 CSQMDRTS\0NORMAL COMPLETION\0", 41);
  Reply r = FromMqsc(reply, pcf.get());
  ASSERT_EQ(r.ok, 1);
  std::vector<Param> expected = {I(MQIACF_ESCAPE_TYPE, 1),
                                 S(MQCACF_ESCAPE_TEXT,
                                   "CSQ9022I !MQ1 CSQMDRTS NORMAL COMPLETION")};
  EXPECT_EQ(Params(pcf.get()), expected);
}

// ---- SET LOG, DISPLAY LOG, DISPLAY GROUP ------------------------------------

TEST(MqscReplySetLog, ValuesBecomeCurrentLogParameters) {
  Pcf pcf(EXCMD_SET_LOG, MQCFT_RESPONSE);
  Reply r = FromMqsc("CSQJ337I !MQ1 SET LOG completed, MAXRTU=2 DEALLCT=60",
                     pcf.get());
  ASSERT_EQ(r.ok, 1);
  std::vector<Param> expected = {I(MQSC_LOG_CURRENT_MAXRTU, 2),
                                 I(MQSC_LOG_CURRENT_DEALLCT, 60)};
  EXPECT_EQ(Params(pcf.get()), expected);
}

TEST(MqscReplySetLog, OtherFormIs5007) {
  for (const char* bad : {"CSQJ337I !MQ1 SET LOG completed, DEALLCT=60 MAXRTU=2",
                          "CSQJ337I !MQ1 SET LOG completed, MAXRTU=x DEALLCT=60",
                          "CSQJ337I !MQ1 SET"}) {
    Pcf pcf(EXCMD_SET_LOG, MQCFT_RESPONSE);
    Reply r = FromMqsc(bad, pcf.get());
    EXPECT_EQ(r.ok, 0) << bad;
    EXPECT_EQ(r.reason, EXRC_MQSC_BAD_LOG_REPLY) << bad;
    EXPECT_EQ(pcf.get()->Cfh->ParameterCount, 0) << bad;
  }
}

TEST(MqscReplySetLog, OtherMessageAddsNothing) {
  Pcf pcf(EXCMD_SET_LOG, MQCFT_RESPONSE);
  Reply r = FromMqsc("CSQ9022I !MQ1 CSQJCMD ' SET LOG' NORMAL COMPLETION", pcf.get());
  EXPECT_EQ(r.ok, 1);
  EXPECT_EQ(pcf.get()->Cfh->ParameterCount, 0);
}

TEST(MqscReplyDisplayLog, MessagesOfOneReplyAccumulateWithTheCallersState) {
  Pcf pcf(EXCMD_DISPLAY_LOG, MQCFT_RESPONSE);
  struct Step {
    const char* message;
    int ok;
    MQLONG state_after;
  };
  const Step steps[] = {
      {"CSQJ322I !MQ1 DISPLAY LOG report ...", 0, 0},
      {"Initial parameters: MAXRTU=2 DEALLCT=0", 1, 0},
      {"Current parameters: MAXRTU=3 DEALLCT=60", 1, 0},
      {"A0001 ACTIVE VOL1 2024-01-01 12:00", 0, 0},  // no table yet
      {"---- -- ------", 1, 1},
      {"A0001 ACTIVE VOL1 2024-01-01 12:00", 1, 1},
      {"B0002 busy VOL2 x y extra", 1, 1},
      {"Q0003 PENDING VOL3 a b", 1, 1},
      {"End of log report", 1, 0},
      {"---- -- again", 1, 1},
      {"No tape archive", 1, 0},
      {"---- --", 1, 1},
      {"short row", 1, 0},  // anything else ends the table
  };
  MQLONG state = 0;
  for (const Step& s : steps) {
    Reply r = FromMqsc(s.message, pcf.get(), state);
    EXPECT_EQ(r.ok, s.ok) << s.message;
    EXPECT_EQ(r.reason, s.ok ? 0 : EXRC_MQSC_BAD_LOG_REPLY) << s.message;
    EXPECT_EQ(r.extra, s.state_after) << s.message;
    state = r.extra;
  }
  std::vector<Param> expected = {
      I(MQSC_LOG_INITIAL_MAXRTU, 2), I(MQSC_LOG_INITIAL_DEALLCT, 0),
      I(MQSC_LOG_CURRENT_MAXRTU, 3), I(MQSC_LOG_CURRENT_DEALLCT, 60),
      S(MQSC_LOG_COPY_NAME, "A0001"), I(MQSC_LOG_COPY_STATUS, 1),
      S(MQSC_LOG_COPY_WORD3, "VOL1"), S(MQSC_LOG_COPY_WORD4, "2024-01-01"),
      S(MQSC_LOG_COPY_WORD5, "12:00"),
      S(MQSC_LOG_COPY_NAME, "B0002"), I(MQSC_LOG_COPY_STATUS, 0),
      S(MQSC_LOG_COPY_WORD3, "VOL2"), S(MQSC_LOG_COPY_WORD4, "x"),
      S(MQSC_LOG_COPY_WORD5, "y"),
      S(MQSC_LOG_COPY_NAME, "Q0003"), I(MQSC_LOG_COPY_STATUS, 2),
      S(MQSC_LOG_COPY_WORD3, "VOL3"), S(MQSC_LOG_COPY_WORD4, "a"),
      S(MQSC_LOG_COPY_WORD5, "b")};
  EXPECT_EQ(Params(pcf.get()), expected);
}

TEST(MqscReplyDisplayLog, ParametersWithoutNumbersAre5007) {
  Pcf pcf(EXCMD_DISPLAY_LOG, MQCFT_RESPONSE);
  Reply r = FromMqsc("Current parameters: MAXRTU=2 DEALLCT=NOLIMIT", pcf.get());
  EXPECT_EQ(r.ok, 0);
  EXPECT_EQ(r.reason, EXRC_MQSC_BAD_LOG_REPLY);
  EXPECT_EQ(pcf.get()->Cfh->ParameterCount, 0);
}

TEST(MqscReplyDisplayGroup, MembersAndStructuresOfOneReport) {
  Pcf pcf(EXCMD_DISPLAY_GROUP, MQCFT_RESPONSE);
  const char* messages[] = {
      "CSQ5100I !MQ1 DISPLAY GROUP report follows",
      "CSQ5102I !MQ1 Group information for group QSG1",
      "Name Num Prefix Status Ver DB2 Connection",
      "MQ1 1 CSQ1 ACTIVE 600 DB1A ACTIVE",
      "MQ2 2 CSQ2 FAILED 600 DB1B PENDING",
      "MQ3 3 CSQ3 GONE 600 DB1C ??",
      "End of queue managers report",
      "CSQ5103I !MQ1 CF structures",
      "Name Size Used State Conns Max",
      "APP1 10 2 VALID 3 4",
      "APP2 5x 6 NOT FOUND 7 8",
      "APP3 1 1 INVALID - -",
      "Report terminated, all done",
      "CSQ9022I !MQ1 CSQ5DQSG ' DISPLAY GROUP' NORMAL COMPLETION",
  };
  MQLONG state = 0;
  for (const char* m : messages) {
    Reply r = FromMqsc(m, pcf.get(), state);
    EXPECT_EQ(r.ok, 1) << m;
    state = r.extra;
  }
  EXPECT_EQ(state, 0);
  std::vector<Param> expected = {
      S(MQSC_GROUP_NAME, "QSG1"),
      S(MQSC_GROUP_MEMBER_NAME, "MQ1"), S(MQSC_GROUP_MEMBER_WORD2, "1"),
      S(MQSC_GROUP_MEMBER_WORD3, "CSQ1"), I(MQSC_GROUP_MEMBER_STATE, 1),
      S(MQSC_GROUP_MEMBER_WORD5, "600"), S(MQSC_GROUP_MEMBER_WORD6, "DB1A"),
      I(MQSC_GROUP_MEMBER_DB2_STATE, 1),
      S(MQSC_GROUP_MEMBER_NAME, "MQ2"), S(MQSC_GROUP_MEMBER_WORD2, "2"),
      S(MQSC_GROUP_MEMBER_WORD3, "CSQ2"), I(MQSC_GROUP_MEMBER_STATE, 3),
      S(MQSC_GROUP_MEMBER_WORD5, "600"), S(MQSC_GROUP_MEMBER_WORD6, "DB1B"),
      I(MQSC_GROUP_MEMBER_DB2_STATE, 2),
      S(MQSC_GROUP_MEMBER_NAME, "MQ3"), S(MQSC_GROUP_MEMBER_WORD2, "3"),
      S(MQSC_GROUP_MEMBER_WORD3, "CSQ3"), I(MQSC_GROUP_MEMBER_STATE, 0),
      S(MQSC_GROUP_MEMBER_WORD5, "600"), S(MQSC_GROUP_MEMBER_WORD6, "DB1C"),
      I(MQSC_GROUP_MEMBER_DB2_STATE, 0),
      S(MQSC_GROUP_STRUC_NAME, "APP1"), I(MQSC_GROUP_STRUC_WORD2, 10),
      I(MQSC_GROUP_STRUC_WORD3, 2), I(MQSC_GROUP_STRUC_STATE, 1),
      I(MQSC_GROUP_STRUC_WORD5, 3), I(MQSC_GROUP_STRUC_WORD6, 4),
      S(MQSC_GROUP_STRUC_NAME, "APP2"), I(MQSC_GROUP_STRUC_WORD2, 5),
      I(MQSC_GROUP_STRUC_WORD3, 6), I(MQSC_GROUP_STRUC_STATE, 0),
      I(MQSC_GROUP_STRUC_WORD5, 7), I(MQSC_GROUP_STRUC_WORD6, 8),
      S(MQSC_GROUP_STRUC_NAME, "APP3"), I(MQSC_GROUP_STRUC_WORD2, 1),
      I(MQSC_GROUP_STRUC_WORD3, 1), I(MQSC_GROUP_STRUC_STATE, 2),
      I(MQSC_GROUP_STRUC_WORD5, 0), I(MQSC_GROUP_STRUC_WORD6, 0),
  };
  EXPECT_EQ(Params(pcf.get()), expected);
}

TEST(MqscReplyDisplayGroup, RowsOutsideAReportAndShortRowsAre5007) {
  Pcf pcf(EXCMD_DISPLAY_GROUP, MQCFT_RESPONSE);
  Reply r = FromMqsc("MQ1 1 CSQ1 ACTIVE 600 DB1A ACTIVE", pcf.get(), 0);
  EXPECT_EQ(r.ok, 0);
  EXPECT_EQ(r.reason, EXRC_MQSC_BAD_LOG_REPLY);
  r = FromMqsc("MQ1 1 CSQ1", pcf.get(), 3);  // in member rows
  EXPECT_EQ(r.ok, 0);
  EXPECT_EQ(r.extra, 3);
  EXPECT_EQ(pcf.get()->Cfh->ParameterCount, 0);
}

// ---- Round trip ----------------------------------------------------------------

// Parameters as an order-free model: id -> value text.
std::map<MQLONG, std::string> Model(const std::vector<Param>& params) {
  std::map<MQLONG, std::string> m;
  for (const Param& p : params) {
    std::string v;
    if (p.type == MQCFT_INTEGER) v = "i" + std::to_string(p.value);
    if (p.type == MQCFT_STRING) {
      std::string t = p.text;
      while (!t.empty() && t.back() == ' ') t.pop_back();
      v = "s" + t;
    }
    if (p.type == MQCFT_STRING_LIST) {
      v = "l";
      for (std::string t : p.items) {
        while (!t.empty() && t.back() == ' ') t.pop_back();
        v += t + ";";
      }
    }
    m[p.id] = v;
  }
  return m;
}

struct RoundTrip {
  const char* name;
  MQLONG create;
  std::function<void(Pcf&)> fill;
  const char* text;     // what the queue manager is sent
  MQLONG inquire;
  const char* display;  // what it shows for the object afterwards
};

const RoundTrip kRoundTrips[] = {
    {"LocalQueue", MQCMD_CREATE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "Q1", 48).Int(MQIA_Q_TYPE, 1)
           .Str(MQCA_Q_DESC, "it's mine", 64).Int(MQIA_MAX_Q_DEPTH, 5000)
           .Int(MQIA_SHAREABILITY, 0).Int(MQIA_TRIGGER_CONTROL, 1)
           .Int(MQIA_TRIGGER_TYPE, 3).Int(MQIA_TRIGGER_DEPTH, 10)
           .Str(MQCA_INITIATION_Q_NAME, "INITQ").Int(MQIA_USAGE, 0)
           .Int(MQIA_Q_DEPTH_LOW_EVENT, 0).Int(MQIA_DEF_INPUT_OPEN_OPTION, 2);
     },
     "DEFINE QLOCAL('Q1') DESCR('it''s mine') MAXDEPTH(5000) NOSHARE "
     "DEFSOPT(SHARED) TRIGGER TRIGTYPE(DEPTH) TRIGDPTH(10) INITQ('INITQ') "
     "USAGE(NORMAL) QDPLOEV(DISABLED)",
     MQCMD_INQUIRE_Q,
     "CSQM401I !MQ1 QUEUE(Q1) TYPE(QLOCAL) QSGDISP(QMGR) "
     "DESCR('it''s mine') MAXDEPTH(5000) NOSHARE DEFSOPT(SHARED) TRIGGER "
     "TRIGTYPE(DEPTH) TRIGDPTH(10) INITQ(INITQ) USAGE(NORMAL) "
     "QDPLOEV(DISABLED) MONQ(QMGR)"},
    {"AliasQueue", MQCMD_CREATE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "A1").Int(MQIA_Q_TYPE, 3).Str(MQCA_BASE_Q_NAME, "Q1")
           .Int(MQIA_DEF_BIND, 0).Int(MQIA_SCOPE, 1);
     },
     "DEFINE QALIAS('A1') DEFBIND(OPEN) SCOPE(QMGR) TARGQ('Q1')",
     MQCMD_INQUIRE_Q,
     "CSQM401I QUEUE(A1) TYPE(QALIAS) TARGQ(Q1) DEFBIND(OPEN) SCOPE(QMGR)"},
    {"RemoteQueue", MQCMD_CREATE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "R1").Int(MQIA_Q_TYPE, 6)
           .Str(MQCA_REMOTE_Q_NAME, "Q1").Str(MQCA_REMOTE_Q_MGR_NAME, "QM2")
           .Str(MQCA_XMIT_Q_NAME, "QM2");
     },
     "DEFINE QREMOTE('R1') RNAME('Q1') RQMNAME('QM2') XMITQ('QM2')",
     MQCMD_INQUIRE_Q,
     "CSQM401I QUEUE(R1) TYPE(QREMOTE) RNAME(Q1) RQMNAME(QM2) XMITQ(QM2)"},
    {"ModelQueue", MQCMD_CREATE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "M1").Int(MQIA_Q_TYPE, 2).Int(MQIA_DEFINITION_TYPE, 3)
           .Int(MQIA_HARDEN_GET_BACKOUT, 1).Int(MQIA_MSG_DELIVERY_SEQUENCE, 0);
     },
     "DEFINE QMODEL('M1') MSGDLVSQ(PRIORITY) HARDENBO DEFTYPE(TEMPDYN)",
     MQCMD_INQUIRE_Q,
     "CSQM401I QUEUE(M1) TYPE(QMODEL) HARDENBO MSGDLVSQ(PRIORITY) "
     "DEFTYPE(TEMPDYN)"},
    {"QueueManager", MQCMD_CHANGE_Q_MGR,
     [](Pcf& p) {
       p.Str(MQCA_Q_MGR_DESC, "Main QM").Str(MQCA_DEAD_LETTER_Q_NAME, "DLQ")
           .Int(MQIA_MAX_HANDLES, 256).Int(MQIA_INHIBIT_EVENT, 1)
           .Int(MQIA_CHANNEL_AUTO_DEF_EVENT, 0)
           .Str(MQCA_CLUSTER_WORKLOAD_EXIT, "CLWL").Int(MQIA_DIST_LISTS, 1);
     },
     "ALTER QMGR DESCR('Main QM') DEADQ('DLQ') MAXHANDS(256) "
     "INHIBTEV(ENABLED) CHADEV(DISABLED) CLWLEXIT('CLWL') DISTL(YES)",
     MQCMD_INQUIRE_Q_MGR,
     "CSQM409I !MQ1 DESCR(Main QM) DEADQ(DLQ) MAXHANDS(256) INHIBTEV(ENABLED) "
     "CHADEV(DISABLED) CLWLEXIT(CLWL) DISTL(YES)"},
    {"Process", MQCMD_CREATE_PROCESS,
     [](Pcf& p) {
       p.Str(MQCA_PROCESS_NAME, "P1").Str(MQCA_PROCESS_DESC, "Trigger me")
           .Int(MQIA_APPL_TYPE, 2).Str(MQCA_APPL_ID, "PGM1")
           .Str(MQCA_USER_DATA, "u d");
     },
     "DEFINE PROCESS('P1') DESCR('Trigger me') APPLTYPE(MVS) "
     "APPLICID('PGM1') USERDATA('u d')",
     MQCMD_INQUIRE_PROCESS,
     "CSQM408I !MQ1 PROCESS(P1) QSGDISP(QMGR) DESCR(Trigger me) "
     "APPLTYPE(ZOS) APPLICID(PGM1) USERDATA(u d)"},
    {"Namelist", MQCMD_CREATE_NAMELIST,
     [](Pcf& p) {
       p.Str(MQCA_NAMELIST_NAME, "N1").Str(MQCA_NAMELIST_DESC, "Clusters")
           .StrList(MQCA_NAMES, {"CL1", "CLUSTER2"}, 48);
     },
     "DEFINE NAMELIST('N1') DESCR('Clusters') NAMES('CL1', 'CLUSTER2')",
     MQCMD_INQUIRE_NAMELIST,
     "CSQM407I NAMELIST(N1) DESCR(Clusters) NAMES(CL1,CLUSTER2)"},
    {"SenderChannel", MQCMD_CREATE_CHANNEL,
     [](Pcf& p) {
       p.Str(MQCACH_CHANNEL_NAME, "TO.QM2").Int(MQIACH_CHANNEL_TYPE, 1)
           .Int(MQIACH_XMIT_PROTOCOL_TYPE, 2).Str(MQCACH_XMIT_Q_NAME, "QM2")
           .Str(MQCACH_CONNECTION_NAME, "host(1414)")
           .Int(MQIACH_SHORT_TIMER, 60).Int(MQIACH_LONG_RETRY, 999999999)
           .Str(MQCACH_SEC_EXIT_NAME, "SCY").Str(MQCACH_SEC_EXIT_USER_DATA, "d")
           .Int(MQIACH_PUT_AUTHORITY, 1).Int(MQIACH_NPM_SPEED, 1);
     },
     "DEFINE CHANNEL('TO.QM2') CHLTYPE(SDR) TRPTYPE(TCP) XMITQ('QM2') "
     "CONNAME('host(1414)') SHORTTMR(60) LONGRTY(999999999) PUTAUT(DEF) "
     "SCYEXIT('SCY') SCYDATA('d') NPMSPEED(NORMAL)",
     MQCMD_INQUIRE_CHANNEL,
     "CSQM406I CHANNEL(TO.QM2) CHLTYPE(SDR) TRPTYPE(TCP) XMITQ(QM2) "
     "CONNAME(host(1414)) SHORTTMR(60) LONGRTY(999999999) PUTAUT(DEF) "
     "SCYEXIT(SCY) SCYDATA(d) NPMSPEED(NORMAL)"},
    {"ServerConnectionChannel", MQCMD_CREATE_CHANNEL,
     [](Pcf& p) {
       p.Str(MQCACH_CHANNEL_NAME, "APP.SVRCONN").Int(MQIACH_CHANNEL_TYPE, 7)
           .Str(MQCACH_MCA_USER_ID, "app").Str(MQCACH_DESC, "")
           .Int(MQIACH_HB_INTERVAL, 300);
     },
     "DEFINE CHANNEL('APP.SVRCONN') CHLTYPE(SVRCONN) DESCR(' ') "
     "MCAUSER('app') HBINT(300)",
     MQCMD_INQUIRE_CHANNEL,
     "CSQM406I CHANNEL(APP.SVRCONN) CHLTYPE(SVRCONN) DESCR( ) MCAUSER(app) "
     "HBINT(300)"},
};

class MqscPcfThroughMqsc : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(MqscPcfThroughMqsc, ComesBackWithTheSameParameters) {
  const RoundTrip& c = GetParam();
  Pcf command(c.create);
  c.fill(command);
  mqsctest::Mqsc m = ToMqsc(command);
  ASSERT_EQ(m.comp_code, 0) << m.reason;
  EXPECT_EQ(m.text, c.text);

  Pcf response(c.inquire, MQCFT_RESPONSE);
  Reply r = FromMqsc(c.display, response.get());
  ASSERT_EQ(r.ok, 1) << r.reason;
  std::map<MQLONG, std::string> sent = Model(Params(command.get()));
  std::map<MQLONG, std::string> shown = Model(Params(response.get()));
  shown.erase(MQSC_QSGDISP);  // the queue manager adds its disposition
  EXPECT_EQ(sent, shown);
}

INSTANTIATE_TEST_SUITE_P(
    EveryObjectKind, MqscPcfThroughMqsc, ::testing::ValuesIn(kRoundTrips),
    [](const ::testing::TestParamInfo<RoundTrip>& info) {
      return std::string(info.param.name);
    });

// ---- Tables -------------------------------------------------------------------

TEST(MqscTables, EveryCommandRecordHasARowTableEndingInAnEndRow) {
  EXPECT_EQ(MqscCommandCount, 47u);  // 46 tables and the escape record
  for (size_t i = 0; i < MqscCommandCount; ++i) {
    const MqscCommand& c = MqscCommands[i];
    EXPECT_EQ(MqscFindCommand(c.Command), &c);
    if (c.Command == MQCMD_ESCAPE) {
      EXPECT_EQ(c.Rows, nullptr);
      EXPECT_STREQ(c.Verb, "MQSC_RESPONSE");
      continue;
    }
    ASSERT_NE(c.Rows, nullptr) << c.Command;
    EXPECT_EQ(c.Rows[0].Keyword->Kind, MQSC_KIND_VERB) << c.Command;
    EXPECT_STREQ(c.Rows[0].Keyword->Text, c.Verb);
    size_t n = 1;
    while (c.Rows[n].Use != MQSC_ROW_END) {
      ASSERT_NE(c.Rows[n].Keyword, nullptr);
      EXPECT_NE(c.Rows[n].Keyword->Kind, MQSC_KIND_VERB);
      ASSERT_LT(++n, 200u) << c.Command;
    }
    EXPECT_LE(n, static_cast<size_t>(PCF_MAX_PARAMETERS)) << c.Command;
  }
}

TEST(MqscTables, KeywordsOfOneCommandAreUnique) {
  for (size_t i = 0; i < MqscCommandCount; ++i) {
    const MqscCommand& c = MqscCommands[i];
    if (c.Rows == nullptr) continue;
    std::map<std::string, int> seen;
    for (const MqscRow* r = c.Rows + 1; r->Use != MQSC_ROW_END; ++r) {
      bool bare_word = r->KeywordFlag == MQSC_OMIT;
      if (!bare_word) {
        EXPECT_EQ(++seen[r->Keyword->Text], 1) << c.Verb << " " << r->Keyword->Text;
      }
    }
  }
}

TEST(MqscTables, ValueListsHaveNoDuplicateWords) {
  for (size_t i = 0; i < MqscValueListCount; ++i) {
    const MqscValueList* l = MqscValueLists[i];
    std::map<std::string, int> seen;
    for (MQLONG k = 0; k < l->Count; ++k)
      if (l->Words[k].Word[0] != '\0') {
        EXPECT_EQ(++seen[l->Words[k].Word], 1) << l->Name;
      }
  }
}

}  // namespace
