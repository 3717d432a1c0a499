// The command server against a real mqsim: replies, multi-part answers,
// generic names and filters, errors, report options, object commands and
// the stopped and hung command server.
#include <gtest/gtest.h>

#include "mqsim_fixture.h"
#include "pcf_admin.h"

using namespace mqsim_test;

namespace {

class CommandServerTest : public MqsimTest {};

std::vector<std::string> Names(const std::vector<Reply>& replies, MQLONG id) {
  std::vector<std::string> out;
  for (const auto& r : replies) out.push_back(r.strs.count(id) ? r.strs.at(id) : "?");
  return out;
}

// Every reply of one answer: a response to the command, numbered from 1,
// the last one alone marked last.
void ExpectNumbered(const std::vector<Reply>& replies, MQLONG command) {
  for (size_t i = 0; i < replies.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(replies[i].well_formed);
    EXPECT_EQ(replies[i].cfh.Type, MQCFT_RESPONSE);
    EXPECT_EQ(replies[i].cfh.Command, command);
    EXPECT_EQ(replies[i].cfh.MsgSeqNumber, static_cast<MQLONG>(i + 1));
    EXPECT_EQ(replies[i].cfh.Control, i + 1 == replies.size() ? MQCFC_LAST : MQCFC_NOT_LAST);
    EXPECT_EQ(std::string(replies[i].md.Format, 8), std::string(MQFMT_ADMIN, 8));
    EXPECT_EQ(replies[i].md.MsgType, MQMT_REPLY);
  }
}

TEST_F(CommandServerTest, QueueManagerInquiryPingAndAttributeFilter) {
  Admin a(this, "QM1");
  EXPECT_EQ(a.CommandQueueInputCount(), 1);
  auto r = a.Send(Request(MQCMD_INQUIRE_Q_MGR).IntList(MQIACF_Q_MGR_ATTRS, {MQIACF_ALL}));
  ASSERT_EQ(r.size(), 1u);
  ExpectNumbered(r, MQCMD_INQUIRE_Q_MGR);
  EXPECT_EQ(r[0].cfh.CompCode, MQCC_OK);
  EXPECT_EQ(r[0].strs[MQCA_Q_MGR_NAME], "QM1");
  EXPECT_EQ(r[0].ints[MQIA_PLATFORM], MQPL_UNIX);
  EXPECT_EQ(r[0].ints[MQIA_COMMAND_LEVEL], MQCMDL_LEVEL_530);
  EXPECT_EQ(r[0].ints[MQIA_CODED_CHAR_SET_ID], 819);
  EXPECT_EQ(r[0].strs[MQCA_COMMAND_INPUT_Q_NAME], "SYSTEM.ADMIN.COMMAND.QUEUE");
  EXPECT_EQ(r[0].strs[MQCA_DEAD_LETTER_Q_NAME], "SYSTEM.DEAD.LETTER.QUEUE");
  EXPECT_FALSE(r[0].strs[MQCA_Q_MGR_IDENTIFIER].empty());
  EXPECT_TRUE(r[0].ints.count(MQIA_PERFORMANCE_EVENT));

  r = a.Send(Request(MQCMD_INQUIRE_Q_MGR).IntList(MQIACF_Q_MGR_ATTRS, {MQIA_PLATFORM}));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].order, (std::vector<MQLONG>{MQCA_Q_MGR_NAME, MQIA_PLATFORM}));

  r = a.Send(Request(MQCMD_PING_Q_MGR));
  ASSERT_EQ(r.size(), 1u);
  ExpectNumbered(r, MQCMD_PING_Q_MGR);
  EXPECT_EQ(r[0].cfh.CompCode, MQCC_OK);
  EXPECT_EQ(r[0].cfh.ParameterCount, 0);
}

TEST_F(CommandServerTest, QueueInquiryOneReplyPerQueueWithGenericNamesAndFilters) {
  ASSERT_EQ(Ctl("define QM1 APP.B --type local --desc second"), 0);
  ASSERT_EQ(Ctl("define QM1 APP.A --type local --maxdepth 77"), 0);
  ASSERT_EQ(Ctl("define QM1 APP.ALIAS --type alias --target APP.A"), 0);
  ASSERT_EQ(Ctl("define QM1 APPX --type remote --rname R --rqmname QM2"), 0);
  Admin a(this, "QM1");
  auto r = a.Send(Request(MQCMD_INQUIRE_Q).Str(MQCA_Q_NAME, "APP.*").IntList(MQIACF_Q_ATTRS, {MQIACF_ALL}));
  ExpectNumbered(r, MQCMD_INQUIRE_Q);
  EXPECT_EQ(Names(r, MQCA_Q_NAME), (std::vector<std::string>{"APP.A", "APP.ALIAS", "APP.B"}));
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].ints[MQIA_Q_TYPE], MQQT_LOCAL);
  EXPECT_EQ(r[0].ints[MQIA_MAX_Q_DEPTH], 77);
  EXPECT_EQ(r[0].ints[MQIA_CURRENT_Q_DEPTH], 0);
  EXPECT_EQ(r[0].ints[MQIA_DEF_BIND], MQBND_BIND_ON_OPEN);
  EXPECT_EQ(r[1].ints[MQIA_Q_TYPE], MQQT_ALIAS);
  EXPECT_EQ(r[1].strs[MQCA_BASE_Q_NAME], "APP.A");
  EXPECT_FALSE(r[1].ints.count(MQIA_MAX_Q_DEPTH)) << "an alias queue has no depth";
  EXPECT_EQ(r[2].strs[MQCA_Q_DESC], "second");

  struct Case {
    const char* pattern;
    MQLONG type;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"APP*", MQQT_LOCAL, {"APP.A", "APP.B"}},
      {"APP*", MQQT_REMOTE, {"APPX"}},
      {"APP*", MQQT_ALL, {"APP.A", "APP.ALIAS", "APP.B", "APPX"}},
      {"APP.ALIAS", MQQT_ALIAS, {"APP.ALIAS"}},
      {"SYSTEM.ADMIN.*", MQQT_LOCAL,
       {"SYSTEM.ADMIN.CHANNEL.EVENT", "SYSTEM.ADMIN.COMMAND.QUEUE", "SYSTEM.ADMIN.PERFM.EVENT",
        "SYSTEM.ADMIN.QMGR.EVENT"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    r = a.Send(Request(MQCMD_INQUIRE_Q).Str(MQCA_Q_NAME, c.pattern).Int(MQIA_Q_TYPE, c.type));
    ExpectNumbered(r, MQCMD_INQUIRE_Q);
    EXPECT_EQ(Names(r, MQCA_Q_NAME), c.names);
    auto n = a.Send(Request(MQCMD_INQUIRE_Q_NAMES).Str(MQCA_Q_NAME, c.pattern).Int(MQIA_Q_TYPE, c.type));
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].str_lists[MQCACF_Q_NAMES], c.names);
  }

  // Named attributes only: the name and type always come first.
  r = a.Send(Request(MQCMD_INQUIRE_Q).Str(MQCA_Q_NAME, "APP.A").IntList(MQIACF_Q_ATTRS, {MQIA_CURRENT_Q_DEPTH}));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].order, (std::vector<MQLONG>{MQCA_Q_NAME, MQIA_Q_TYPE, MQIA_CURRENT_Q_DEPTH}));

  for (const char* missing : {"NO.SUCH.QUEUE", "NOSUCH*"}) {
    r = a.Send(Request(MQCMD_INQUIRE_Q).Str(MQCA_Q_NAME, missing));
    ASSERT_EQ(r.size(), 1u);
    ExpectNumbered(r, MQCMD_INQUIRE_Q);
    EXPECT_EQ(r[0].cfh.CompCode, MQCC_FAILED);
    EXPECT_EQ(r[0].cfh.Reason, MQRC_UNKNOWN_OBJECT_NAME);
  }
}

TEST_F(CommandServerTest, ErrorsAsTheCommandServerGivesThem) {
  Admin a(this, "QM1");
  struct Case {
    const char* what;
    std::string body;
    MQLONG reason;
    MQLONG parameter;  // 0: no error-parameter record
  };
  const Case cases[] = {
      {"unknown command", Request(9999).Bytes(), MQRCCF_CFH_COMMAND_ERROR, 0},
      {"response, not a command", Request(MQCMD_PING_Q_MGR).Bytes(MQCFT_RESPONSE), MQRCCF_CFH_TYPE_ERROR, 0},
      {"name missing", Request(MQCMD_INQUIRE_Q).Bytes(), MQRCCF_PARM_COUNT_TOO_SMALL, MQCA_Q_NAME},
      {"string parameter unknown to the command",
       Request(MQCMD_INQUIRE_Q).Str(MQCA_Q_NAME, "*").Str(MQCA_PROCESS_NAME, "P").Bytes(),
       MQRCCF_CFST_PARM_ID_ERROR, MQCA_PROCESS_NAME},
      {"integer parameter unknown to the command",
       Request(MQCMD_INQUIRE_PROCESS).Str(MQCA_PROCESS_NAME, "*").Int(MQIA_Q_TYPE, 1).Bytes(),
       MQRCCF_CFIN_PARM_ID_ERROR, MQIA_Q_TYPE},
      {"duplicate parameter", Request(MQCMD_INQUIRE_Q).Str(MQCA_Q_NAME, "A").Str(MQCA_Q_NAME, "B").Bytes(),
       MQRCCF_CFST_DUPLICATE_PARM, MQCA_Q_NAME},
      {"attribute value out of range",
       Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "BAD.Q").Int(MQIA_Q_TYPE, MQQT_LOCAL).Int(MQIA_DEF_PRIORITY, 10)
           .Bytes(),
       MQRCCF_ATTR_VALUE_ERROR, MQIA_DEF_PRIORITY},
      {"exists", Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "SYSTEM.ADMIN.QMGR.EVENT").Int(MQIA_Q_TYPE, MQQT_LOCAL)
                     .Bytes(),
       MQRCCF_OBJECT_ALREADY_EXISTS, 0},
      {"no channel status", Request(MQCMD_INQUIRE_CHANNEL_STATUS).Str(MQCACH_CHANNEL_NAME, "*").Bytes(),
       MQRCCF_CHL_STATUS_NOT_FOUND, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    a.Put(c.body);
    auto r = a.Collect();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].cfh.Type, MQCFT_RESPONSE);
    EXPECT_EQ(r[0].cfh.Control, MQCFC_LAST);
    EXPECT_EQ(r[0].cfh.CompCode, MQCC_FAILED);
    EXPECT_EQ(r[0].cfh.Reason, c.reason);
    if (c.parameter != 0)
      EXPECT_EQ(r[0].ints[MQIACF_PARAMETER_ID], c.parameter);
    else
      EXPECT_FALSE(r[0].ints.count(MQIACF_PARAMETER_ID));
  }
  // A message that is not in the PCF format.
  a.Put(Request(MQCMD_PING_Q_MGR).Bytes(), MQRO_PASS_CORREL_ID, MQFMT_STRING);
  auto r = a.Collect();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].cfh.Reason, MQRCCF_MD_FORMAT_ERROR);
}

TEST_F(CommandServerTest, ReportOptionsChooseTheReplyIdsAndTheExpiryCarriesOver) {
  Admin a(this, "QM1");
  std::string ping = Request(MQCMD_PING_Q_MGR).Bytes();
  MQMD sent = a.Put(ping, MQRO_PASS_MSG_ID | MQRO_PASS_CORREL_ID, MQFMT_ADMIN, 600);
  auto r = a.Collect();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(std::memcmp(r[0].md.MsgId, sent.MsgId, 24), 0);
  EXPECT_EQ(std::memcmp(r[0].md.CorrelId, sent.CorrelId, 24), 0);
  EXPECT_GT(r[0].md.Expiry, 0);
  EXPECT_LE(r[0].md.Expiry, 600);

  sent = a.Put(ping, MQRO_NONE);
  r = a.Collect();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_NE(std::memcmp(r[0].md.MsgId, sent.MsgId, 24), 0) << "a new message id";
  EXPECT_EQ(std::memcmp(r[0].md.CorrelId, sent.MsgId, 24), 0) << "the request's message id as correlation id";
  EXPECT_EQ(r[0].md.Expiry, MQEI_UNLIMITED);
}

TEST_F(CommandServerTest, StoppedAndHungCommandServer) {
  Admin a(this, "QM1");
  ASSERT_EQ(Ctl("cmdserver QM1 stop"), 0);
  EXPECT_EQ(a.CommandQueueInputCount(), 0) << "nobody holds the command queue open for input";
  a.Put(Request(MQCMD_PING_Q_MGR).Bytes());
  EXPECT_TRUE(a.Collect(300).empty());
  ASSERT_EQ(Ctl("cmdserver QM1 start"), 0);
  EXPECT_EQ(a.CommandQueueInputCount(), 1);
  EXPECT_EQ(a.Collect().size(), 1u) << "the waiting request is answered once the server runs";

  ASSERT_EQ(Ctl("cmdserver QM1 hang"), 0);
  EXPECT_EQ(a.CommandQueueInputCount(), 1) << "a hung server still holds the queue";
  a.Put(Request(MQCMD_PING_Q_MGR).Bytes());
  EXPECT_TRUE(a.Collect(300).empty());
  ASSERT_EQ(Ctl("cmdserver QM1 start"), 0);
  EXPECT_EQ(a.Collect().size(), 1u);
  EXPECT_NE(Ctl("cmdserver QM1 pause"), 0);
  EXPECT_NE(Ctl("cmdserver NOSUCHQM stop"), 0);
}

TEST_F(CommandServerTest, ObjectsCreatedChangedCopiedAndDeletedSurviveARestart) {
  {
    Admin a(this, "QM1");
    struct Step {
      const char* what;
      Request req;
    };
    std::vector<Step> steps = {
        {"process", Request(MQCMD_CREATE_PROCESS).Str(MQCA_PROCESS_NAME, "APP.PROC").Str(MQCA_APPL_ID, "/bin/app")
                        .Str(MQCA_PROCESS_DESC, "the app")},
        {"process copy", Request(MQCMD_COPY_PROCESS).Str(MQCACF_FROM_PROCESS_NAME, "APP.PROC")
                             .Str(MQCACF_TO_PROCESS_NAME, "APP.PROC2").Str(MQCA_USER_DATA, "ud")},
        {"namelist", Request(MQCMD_CREATE_NAMELIST).Str(MQCA_NAMELIST_NAME, "APP.NL")
                         .StrList(MQCA_NAMES, {"Q1", "Q2", "Q3"}, 48)},
        {"sender", Request(MQCMD_CREATE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2")
                       .Int(MQIACH_CHANNEL_TYPE, MQCHT_SENDER).Str(MQCACH_CONNECTION_NAME, "127.0.0.1(1414)")
                       .Str(MQCACH_XMIT_Q_NAME, "QM2")},
        {"sender change", Request(MQCMD_CHANGE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2")
                              .Int(MQIACH_CHANNEL_TYPE, MQCHT_SENDER).Int(MQIACH_BATCH_SIZE, 20)},
        {"receiver", Request(MQCMD_CREATE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM2.TO.QM1")
                         .Int(MQIACH_CHANNEL_TYPE, MQCHT_RECEIVER)},
        {"queue", Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "APP.Q").Int(MQIA_Q_TYPE, MQQT_LOCAL)
                      .Int(MQIA_MAX_Q_DEPTH, 123).Str(MQCA_PROCESS_NAME, "APP.PROC")},
        {"queue copy", Request(MQCMD_COPY_Q).Str(MQCACF_FROM_Q_NAME, "APP.Q").Str(MQCACF_TO_Q_NAME, "APP.Q2")
                           .Int(MQIA_Q_TYPE, MQQT_LOCAL)},
        {"queue change", Request(MQCMD_CHANGE_Q).Str(MQCA_Q_NAME, "APP.Q2").Int(MQIA_Q_TYPE, MQQT_LOCAL)
                             .Str(MQCA_Q_DESC, "copied")},
        {"queue replace", Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "APP.Q").Int(MQIA_Q_TYPE, MQQT_LOCAL)
                              .Int(MQIACF_REPLACE, 1).Int(MQIA_MAX_Q_DEPTH, 124)},
        {"gone queue", Request(MQCMD_CREATE_Q).Str(MQCA_Q_NAME, "GONE.Q").Int(MQIA_Q_TYPE, MQQT_LOCAL)},
        {"gone queue deleted", Request(MQCMD_DELETE_Q).Str(MQCA_Q_NAME, "GONE.Q")},
        {"gone process deleted", Request(MQCMD_DELETE_PROCESS).Str(MQCA_PROCESS_NAME, "APP.PROC2")},
        {"qmgr change", Request(MQCMD_CHANGE_Q_MGR).Str(MQCA_Q_MGR_DESC, "test qmgr")
                            .Int(MQIA_PERFORMANCE_EVENT, MQEVR_ENABLED)},
    };
    for (auto& s : steps) {
      SCOPED_TRACE(s.what);
      auto r = a.Send(s.req);
      ASSERT_EQ(r.size(), 1u);
      EXPECT_EQ(r[0].cfh.CompCode, MQCC_OK) << "reason " << r[0].cfh.Reason;
    }
    auto r = a.Send(Request(MQCMD_COPY_PROCESS).Str(MQCACF_FROM_PROCESS_NAME, "APP.PROC")
                        .Str(MQCACF_TO_PROCESS_NAME, "APP.PROC"));
    EXPECT_EQ(r.at(0).cfh.Reason, MQRCCF_OBJECT_ALREADY_EXISTS);
    r = a.Send(Request(MQCMD_CHANGE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM1.TO.QM2")
                   .Int(MQIACH_CHANNEL_TYPE, MQCHT_RECEIVER));
    EXPECT_EQ(r.at(0).cfh.Reason, MQRCCF_OBJECT_WRONG_TYPE);
    r = a.Send(Request(MQCMD_DELETE_NAMELIST).Str(MQCA_NAMELIST_NAME, "NO.SUCH"));
    EXPECT_EQ(r.at(0).cfh.Reason, MQRC_UNKNOWN_OBJECT_NAME);
  }
  StopServer();
  StartServer();
  Admin a(this, "QM1");
  auto r = a.Send(Request(MQCMD_INQUIRE_PROCESS).Str(MQCA_PROCESS_NAME, "APP*"));
  ExpectNumbered(r, MQCMD_INQUIRE_PROCESS);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].strs[MQCA_PROCESS_NAME], "APP.PROC");
  EXPECT_EQ(r[0].strs[MQCA_APPL_ID], "/bin/app");
  EXPECT_EQ(r[0].ints[MQIA_APPL_TYPE], MQAT_UNIX);

  r = a.Send(Request(MQCMD_INQUIRE_NAMELIST).Str(MQCA_NAMELIST_NAME, "APP.NL"));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].str_lists[MQCA_NAMES], (std::vector<std::string>{"Q1", "Q2", "Q3"}));
  EXPECT_EQ(r[0].ints[MQIA_NAME_COUNT], 3);

  r = a.Send(Request(MQCMD_INQUIRE_CHANNEL).Str(MQCACH_CHANNEL_NAME, "QM*"));
  ExpectNumbered(r, MQCMD_INQUIRE_CHANNEL);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].strs[MQCACH_CHANNEL_NAME], "QM1.TO.QM2");
  EXPECT_EQ(r[0].ints[MQIACH_CHANNEL_TYPE], MQCHT_SENDER);
  EXPECT_EQ(r[0].ints[MQIACH_BATCH_SIZE], 20);
  EXPECT_EQ(r[0].strs[MQCACH_XMIT_Q_NAME], "QM2");
  EXPECT_EQ(r[1].ints[MQIACH_CHANNEL_TYPE], MQCHT_RECEIVER);
  EXPECT_FALSE(r[1].strs.count(MQCACH_XMIT_Q_NAME)) << "a receiver has no transmission queue";

  r = a.Send(Request(MQCMD_INQUIRE_CHANNEL_NAMES).Str(MQCACH_CHANNEL_NAME, "*").Int(MQIACH_CHANNEL_TYPE,
                                                                                     MQCHT_RECEIVER));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].str_lists[MQCACH_CHANNEL_NAMES], (std::vector<std::string>{"QM2.TO.QM1", "SYSTEM.DEF.RECEIVER"}));

  r = a.Send(Request(MQCMD_INQUIRE_Q).Str(MQCA_Q_NAME, "APP.Q*"));
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].ints[MQIA_MAX_Q_DEPTH], 124);
  EXPECT_EQ(r[1].ints[MQIA_MAX_Q_DEPTH], 123);
  EXPECT_EQ(r[1].strs[MQCA_PROCESS_NAME], "APP.PROC");
  EXPECT_EQ(r[1].strs[MQCA_Q_DESC], "copied");
  r = a.Send(Request(MQCMD_INQUIRE_Q_NAMES).Str(MQCA_Q_NAME, "GONE*"));
  EXPECT_TRUE(r.at(0).str_lists[MQCACF_Q_NAMES].empty());

  r = a.Send(Request(MQCMD_INQUIRE_Q_MGR));
  EXPECT_EQ(r.at(0).strs[MQCA_Q_MGR_DESC], "test qmgr");
  EXPECT_EQ(r.at(0).ints[MQIA_PERFORMANCE_EVENT], MQEVR_ENABLED);
}

TEST_F(CommandServerTest, ClearResetAndStatusOfAQueue) {
  ASSERT_EQ(Ctl("define QM1 APP.Q --type local --defpsist yes"), 0);
  auto a_holder = std::make_unique<Admin>(this, "QM1");
  Admin& a = *a_holder;
  MQHOBJ q = 0;
  ASSERT_EQ(Open(a.h_, "APP.Q", MQOO_OUTPUT, &q), 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(mqsim_test::Put(a.h_, q, "m" + std::to_string(i)), 0);
  auto r = a.Send(Request(MQCMD_INQUIRE_Q_STATUS).Str(MQCA_Q_NAME, "APP.Q"));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].ints[MQIA_CURRENT_Q_DEPTH], 3);
  EXPECT_EQ(r[0].ints[MQIA_OPEN_OUTPUT_COUNT], 1);
  r = a.Send(Request(MQCMD_CLEAR_Q).Str(MQCA_Q_NAME, "APP.Q"));
  EXPECT_EQ(r.at(0).cfh.Reason, MQRC_OBJECT_IN_USE);
  r = a.Send(Request(MQCMD_DELETE_Q).Str(MQCA_Q_NAME, "APP.Q"));
  EXPECT_EQ(r.at(0).cfh.Reason, MQRCCF_OBJECT_OPEN);
  MQLONG cc = 0, rc = 0;
  MQCLOSE(a.h_, &q, MQCO_NONE, &cc, &rc);
  r = a.Send(Request(MQCMD_RESET_Q_STATS).Str(MQCA_Q_NAME, "APP.Q"));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].ints[MQIA_MSG_ENQ_COUNT], 3);
  EXPECT_EQ(r[0].ints[MQIA_HIGH_Q_DEPTH], 3);
  r = a.Send(Request(MQCMD_RESET_Q_STATS).Str(MQCA_Q_NAME, "APP.Q"));
  EXPECT_EQ(r.at(0).ints[MQIA_MSG_ENQ_COUNT], 0);
  r = a.Send(Request(MQCMD_DELETE_Q).Str(MQCA_Q_NAME, "APP.Q"));
  EXPECT_EQ(r.at(0).cfh.Reason, MQRC_Q_NOT_EMPTY);
  r = a.Send(Request(MQCMD_CLEAR_Q).Str(MQCA_Q_NAME, "APP.Q"));
  EXPECT_EQ(r.at(0).cfh.CompCode, MQCC_OK);
  a_holder.reset();
  KillServer();
  StartServer();
  Admin b(this, "QM1");
  r = b.Send(Request(MQCMD_INQUIRE_Q).Str(MQCA_Q_NAME, "APP.Q").IntList(MQIACF_Q_ATTRS, {MQIA_CURRENT_Q_DEPTH}));
  EXPECT_EQ(r.at(0).ints[MQIA_CURRENT_Q_DEPTH], 0) << "the cleared persistent messages stay gone";
}

}  // namespace
