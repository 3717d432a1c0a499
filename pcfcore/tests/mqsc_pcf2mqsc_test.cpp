// PCF commands to MQSC text: every object kind to its exact text, the
// layout rules (separators, quoting, line breaks), the reasons, and that the
// caller's message is never changed.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "mqsc_test_util.h"
#include "pcfcore/excmd.h"
#include "pcfcore/mqsc.h"

namespace {

using mqsctest::Mqsc;
using mqsctest::Pcf;
using mqsctest::ToMqsc;

struct TextCase {
  const char* name;
  MQLONG command;
  std::function<void(Pcf&)> fill;
  const char* expected;
};

// Names and strings arrive blank-padded as queue managers send them; the
// text carries them without the trailing blanks.
const TextCase kTextCases[] = {
    // Queues of every type.
    {"LocalQueue", MQCMD_CREATE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "Q1", 48).Int(MQIA_Q_TYPE, 1)
           .Str(MQCA_Q_DESC, "Orders in", 64).Int(MQIA_MAX_Q_DEPTH, 5000)
           .Int(MQIA_SHAREABILITY, 1).Int(MQIA_TRIGGER_CONTROL, 0)
           .Int(MQIA_TRIGGER_TYPE, 2).Int(MQIA_INHIBIT_PUT, 1)
           .Int(MQIA_DEF_PERSISTENCE, 1).Str(MQCA_PROCESS_NAME, "P1", 48)
           .Int(MQIACF_REPLACE, 1);
     },
     "DEFINE QLOCAL('Q1') DESCR('Orders in') PUT(DISABLED) DEFPSIST(YES) "
     "MAXDEPTH(5000) SHARE NOTRIGGER TRIGTYPE(EVERY) PROCESS('P1') REPLACE"},
    {"LocalQueueEventsAndLimits", MQCMD_CREATE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "Q2").Int(MQIA_Q_TYPE, 1)
           .Int(MQIA_Q_DEPTH_HIGH_LIMIT, 80).Int(MQIA_Q_DEPTH_HIGH_EVENT, 1)
           .Int(MQIA_Q_SERVICE_INTERVAL_EVENT, 1).Int(MQIA_USAGE, 1)
           .Int(MQIA_DEF_INPUT_OPEN_OPTION, 4).Int(MQIA_HARDEN_GET_BACKOUT, 0)
           .Int(MQIA_MSG_DELIVERY_SEQUENCE, 1).Int(MQIA_INDEX_TYPE, 2)
           .Int(MQIA_DEF_BIND, 1).Str(MQCA_CLUSTER_NAME, "CL1", 48)
           .Str(MQCA_BACKOUT_REQ_Q_NAME, "BOQ").Int(MQIA_BACKOUT_THRESHOLD, 3);
     },
     "DEFINE QLOCAL('Q2') DEFBIND(NOTFIXED) CLUSTER('CL1') DEFSOPT(EXCL) "
     "MSGDLVSQ(FIFO) NOHARDENBO BOTHRESH(3) BOQNAME('BOQ') USAGE(XMITQ) "
     "QDEPTHHI(80) QDPHIEV(ENABLED) QSVCIEV(HIGH) INDXTYPE(CORRELID)"},
    {"AliasQueue", MQCMD_CREATE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "A1").Int(MQIA_Q_TYPE, 3)
           .Str(MQCA_BASE_Q_NAME, "Q1").Int(MQIA_INHIBIT_GET, 1);
     },
     "DEFINE QALIAS('A1') GET(DISABLED) TARGQ('Q1')"},
    {"RemoteQueue", MQCMD_CREATE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "R1").Int(MQIA_Q_TYPE, 6)
           .Str(MQCA_REMOTE_Q_NAME, "Q1").Str(MQCA_REMOTE_Q_MGR_NAME, "QM2")
           .Str(MQCA_XMIT_Q_NAME, "QM2.XMIT").Int(MQIA_SCOPE, 2);
     },
     "DEFINE QREMOTE('R1') SCOPE(CELL) RNAME('Q1') RQMNAME('QM2') "
     "XMITQ('QM2.XMIT')"},
    {"ModelQueue", MQCMD_CREATE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "M1").Int(MQIA_Q_TYPE, 2)
           .Int(MQIA_DEFINITION_TYPE, 2).Int(MQIA_MAX_MSG_LENGTH, 4194304);
     },
     "DEFINE QMODEL('M1') MAXMSGL(4194304) DEFTYPE(PERMDYN)"},
    {"CopyQueue", MQCMD_COPY_Q,
     [](Pcf& p) {
       p.Str(MQCACF_FROM_Q_NAME, "Q1").Str(MQCACF_TO_Q_NAME, "Q2")
           .Int(MQIA_Q_TYPE, 1);
     },
     "DEFINE QLOCAL('Q2') LIKE('Q1')"},
    {"AlterQueueWithForce", MQCMD_CHANGE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "Q1").Int(MQIA_Q_TYPE, 1).Int(MQIA_INHIBIT_GET, 1)
           .Int(MQIACF_FORCE, 1);
     },
     "ALTER QLOCAL('Q1') GET(DISABLED) FORCE"},
    {"AlterQueueWithoutForceWritesNoWord", MQCMD_CHANGE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "Q1").Int(MQIA_Q_TYPE, 1).Int(MQIACF_FORCE, 0);
     },
     "ALTER QLOCAL('Q1')"},
    {"DeleteQueue", MQCMD_DELETE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "Q1").Int(MQIA_Q_TYPE, 1).Int(MQIACF_PURGE, 1);
     },
     "DELETE QLOCAL('Q1') PURGE"},
    {"ClearQueue", MQCMD_CLEAR_Q, [](Pcf& p) { p.Str(MQCA_Q_NAME, "Q1"); },
     "CLEAR QLOCAL('Q1')"},
    {"ResetQueueStatistics", MQCMD_RESET_Q_STATS,
     [](Pcf& p) { p.Str(MQCA_Q_NAME, "Q1"); }, "RESET QSTATS('Q1')"},
    {"InquireQueueAllTypes", MQCMD_INQUIRE_Q,
     [](Pcf& p) { p.Build("Q*", 0); }, "DISPLAY QUEUE('Q*') ALL"},
    {"InquireQueueOneType", MQCMD_INQUIRE_Q,
     [](Pcf& p) { p.Build("Q*", 1); }, "DISPLAY QUEUE('Q*') TYPE(QLOCAL) ALL"},
    {"InquireQueueSelectorsInTableOrder", MQCMD_INQUIRE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "Q1")
           .IntList(MQIACF_Q_ATTRS, {MQIA_SHAREABILITY, MQCA_Q_DESC,
                                     MQIA_CURRENT_Q_DEPTH, MQCA_Q_NAME});
     },
     "DISPLAY QUEUE('Q1') CURDEPTH DESCR SHARE"},
    {"InquireQueueNamesTypeAllHasNoType", MQCMD_INQUIRE_Q_NAMES,
     [](Pcf& p) { p.Build("*", 0); }, "DISPLAY QUEUE('*')"},
    // Queue manager.
    {"AlterQueueManager", MQCMD_CHANGE_Q_MGR,
     [](Pcf& p) {
       p.Str(MQCA_Q_MGR_DESC, "Main").Str(MQCA_DEAD_LETTER_Q_NAME, "DLQ")
           .Int(MQIA_TRIGGER_INTERVAL, 999).Int(MQIA_AUTHORITY_EVENT, 1)
           .Int(MQIA_CHANNEL_AUTO_DEF, 0).Str(MQCA_REPOSITORY_NAME, "CL1");
     },
     "ALTER QMGR DESCR('Main') DEADQ('DLQ') TRIGINT(999) AUTHOREV(ENABLED) "
     "CHAD(DISABLED) REPOS('CL1')"},
    {"InquireQueueManager", MQCMD_INQUIRE_Q_MGR,
     [](Pcf& p) { p.Build("", 0); }, "DISPLAY QMGR ALL"},
    {"PingQueueManager", MQCMD_PING_Q_MGR, [](Pcf&) {}, "PING QMGR"},
    // Processes.
    {"DefineProcess", MQCMD_CREATE_PROCESS,
     [](Pcf& p) {
       p.Str(MQCA_PROCESS_NAME, "P1", 48).Str(MQCA_PROCESS_DESC, "Trigger")
           .Int(MQIA_APPL_TYPE, 6).Str(MQCA_APPL_ID, "/bin/run")
           .Str(MQCA_ENV_DATA, "", 128).Str(MQCA_USER_DATA, "x y");
     },
     "DEFINE PROCESS('P1') DESCR('Trigger') APPLTYPE(UNIX) "
     "APPLICID('/bin/run') ENVRDATA(' ') USERDATA('x y')"},
    {"CopyProcess", MQCMD_COPY_PROCESS,
     [](Pcf& p) {
       p.Str(MQCACF_FROM_PROCESS_NAME, "P1").Str(MQCACF_TO_PROCESS_NAME, "P2");
     },
     "DEFINE PROCESS('P2') LIKE('P1')"},
    {"AlterProcess", MQCMD_CHANGE_PROCESS,
     [](Pcf& p) { p.Str(MQCA_PROCESS_NAME, "P1").Int(MQIA_APPL_TYPE, 1); },
     "ALTER PROCESS('P1') APPLTYPE(CICS)"},
    {"DeleteProcess", MQCMD_DELETE_PROCESS,
     [](Pcf& p) { p.Str(MQCA_PROCESS_NAME, "P1"); }, "DELETE PROCESS('P1')"},
    {"InquireProcess", MQCMD_INQUIRE_PROCESS,
     [](Pcf& p) { p.Build("P*", 0); }, "DISPLAY PROCESS('P*') ALL"},
    {"InquireProcessNames", MQCMD_INQUIRE_PROCESS_NAMES,
     [](Pcf& p) { p.Build("*", 0); }, "DISPLAY PROCESS('*')"},
    // Namelists.
    {"DefineNamelistDropsEmptyItemsAndCutsAtBlank", MQCMD_CREATE_NAMELIST,
     [](Pcf& p) {
       p.Str(MQCA_NAMELIST_NAME, "N1").Str(MQCA_NAMELIST_DESC, "Cluster")
           .StrList(MQCA_NAMES, {"QM1", "", "QM2 X"}, 8);
     },
     "DEFINE NAMELIST('N1') DESCR('Cluster') NAMES('QM1', 'QM2')"},
    {"CopyNamelist", MQCMD_COPY_NAMELIST,
     [](Pcf& p) {
       p.Str(MQCACF_FROM_NAMELIST_NAME, "N1")
           .Str(MQCACF_TO_NAMELIST_NAME, "N2");
     },
     "DEFINE NAMELIST('N2') LIKE('N1')"},
    {"AlterNamelist", MQCMD_CHANGE_NAMELIST,
     [](Pcf& p) {
       p.Str(MQCA_NAMELIST_NAME, "N1").StrList(MQCA_NAMES, {"A"}, 48);
     },
     "ALTER NAMELIST('N1') NAMES('A')"},
    {"DeleteNamelist", MQCMD_DELETE_NAMELIST,
     [](Pcf& p) { p.Str(MQCA_NAMELIST_NAME, "N1"); }, "DELETE NAMELIST('N1')"},
    {"InquireNamelist", MQCMD_INQUIRE_NAMELIST,
     [](Pcf& p) { p.Build("N1", 0); }, "DISPLAY NAMELIST('N1') ALL"},
    {"InquireNamelistNames", MQCMD_INQUIRE_NAMELIST_NAMES,
     [](Pcf& p) { p.Build("*", 0); }, "DISPLAY NAMELIST('*')"},
    // Channels of every type.
    {"SenderChannel", MQCMD_CREATE_CHANNEL,
     [](Pcf& p) {
       p.Str(MQCACH_CHANNEL_NAME, "TO.QM2", 20).Int(MQIACH_CHANNEL_TYPE, 1)
           .Int(MQIACH_XMIT_PROTOCOL_TYPE, 2).Str(MQCACH_DESC, "x")
           .Str(MQCACH_XMIT_Q_NAME, "QM2").Str(MQCACH_CONNECTION_NAME, "host(1414)")
           .Int(MQIACH_BATCH_SIZE, 50).Int(MQIACH_HB_INTERVAL, 300)
           .Int(MQIACH_NPM_SPEED, 2).Int(MQIACH_DISC_INTERVAL, 6000)
           .Int(MQIACH_SHORT_RETRY, 10).Int(MQIACH_LONG_TIMER, 1200)
           .Int(MQIACH_DATA_CONVERSION, 1);
     },
     "DEFINE CHANNEL('TO.QM2') CHLTYPE(SDR) TRPTYPE(TCP) DESCR('x') "
     "XMITQ('QM2') CONNAME('host(1414)') BATCHSZ(50) DISCINT(6000) "
     "SHORTRTY(10) LONGTMR(1200) CONVERT(YES) HBINT(300) NPMSPEED(FAST)"},
    {"ServerChannel", MQCMD_CREATE_CHANNEL,
     [](Pcf& p) {
       p.Str(MQCACH_CHANNEL_NAME, "S1").Int(MQIACH_CHANNEL_TYPE, 2)
           .Str(MQCACH_XMIT_Q_NAME, "XQ").Int(MQIACH_MCA_TYPE, 2);
     },
     "DEFINE CHANNEL('S1') CHLTYPE(SVR) XMITQ('XQ') MCATYPE(THREAD)"},
    {"ReceiverChannel", MQCMD_CREATE_CHANNEL,
     [](Pcf& p) {
       p.Str(MQCACH_CHANNEL_NAME, "QM2.TO.QM1").Int(MQIACH_CHANNEL_TYPE, 3)
           .Int(MQIACH_PUT_AUTHORITY, 2).Int(MQIACH_MR_COUNT, 10)
           .Int(MQIACH_MR_INTERVAL, 1000).Str(MQCACH_MR_EXIT_NAME, "EXIT1")
           .Int(MQIACH_SEQUENCE_NUMBER_WRAP, 999999999);
     },
     "DEFINE CHANNEL('QM2.TO.QM1') CHLTYPE(RCVR) SEQWRAP(999999999) "
     "PUTAUT(CTX) MREXIT('EXIT1') MRRTY(10) MRTMR(1000)"},
    {"RequesterChannel", MQCMD_CREATE_CHANNEL,
     [](Pcf& p) {
       p.Str(MQCACH_CHANNEL_NAME, "RQ1").Int(MQIACH_CHANNEL_TYPE, 4)
           .Str(MQCACH_CONNECTION_NAME, "10.1.1.1(1414)");
     },
     "DEFINE CHANNEL('RQ1') CHLTYPE(RQSTR) CONNAME('10.1.1.1(1414)')"},
    {"ServerConnectionChannel", MQCMD_CREATE_CHANNEL,
     [](Pcf& p) {
       p.Str(MQCACH_CHANNEL_NAME, "SYSTEM.ADMIN.SVRCONN")
           .Int(MQIACH_CHANNEL_TYPE, 7).Str(MQCACH_MCA_USER_ID, "mqm")
           .Int(MQIACH_MAX_MSG_LENGTH, 104857600);
     },
     "DEFINE CHANNEL('SYSTEM.ADMIN.SVRCONN') CHLTYPE(SVRCONN) "
     "MAXMSGL(104857600) MCAUSER('mqm')"},
    {"ClientConnectionChannel", MQCMD_CREATE_CHANNEL,
     [](Pcf& p) {
       p.Str(MQCACH_CHANNEL_NAME, "C1").Int(MQIACH_CHANNEL_TYPE, 6)
           .Str(MQCA_Q_MGR_NAME, "QM1", 48).Str(MQCACH_CONNECTION_NAME, "h1")
           .Str(MQCACH_USER_ID, "u1").Str(MQCACH_PASSWORD, "pw");
     },
     "DEFINE CHANNEL('C1') CHLTYPE(CLNTCONN) CONNAME('h1') QMNAME('QM1') "
     "USERID('u1') PASSWORD('pw')"},
    {"ClusterReceiverChannel", MQCMD_CREATE_CHANNEL,
     [](Pcf& p) {
       p.Str(MQCACH_CHANNEL_NAME, "TO.QM1").Int(MQIACH_CHANNEL_TYPE, 8)
           .Str(MQCACH_CONNECTION_NAME, "qm1host").Str(MQCA_CLUSTER_NAME, "CL1")
           .Int(MQIACH_NETWORK_PRIORITY, 5);
     },
     "DEFINE CHANNEL('TO.QM1') CHLTYPE(CLUSRCVR) CONNAME('qm1host') "
     "NETPRTY(5) CLUSTER('CL1')"},
    {"ClusterSenderChannel", MQCMD_CREATE_CHANNEL,
     [](Pcf& p) {
       p.Str(MQCACH_CHANNEL_NAME, "TO.REPOS").Int(MQIACH_CHANNEL_TYPE, 9)
           .Str(MQCACH_CONNECTION_NAME, "reposhost")
           .Str(MQCA_CLUSTER_NAMELIST, "NL1");
     },
     "DEFINE CHANNEL('TO.REPOS') CHLTYPE(CLUSSDR) CONNAME('reposhost') "
     "CLUSNL('NL1')"},
    {"CopyChannel", MQCMD_COPY_CHANNEL,
     [](Pcf& p) {
       p.Str(MQCACF_FROM_CHANNEL_NAME, "C1").Str(MQCACF_TO_CHANNEL_NAME, "C2")
           .Int(MQIACH_CHANNEL_TYPE, 1);
     },
     "DEFINE CHANNEL('C2') CHLTYPE(SDR) LIKE('C1')"},
    {"AlterChannel", MQCMD_CHANGE_CHANNEL,
     [](Pcf& p) {
       p.Str(MQCACH_CHANNEL_NAME, "C1").Int(MQIACH_CHANNEL_TYPE, 1)
           .Int(MQIACH_BATCH_INTERVAL, 10);
     },
     "ALTER CHANNEL('C1') CHLTYPE(SDR) BATCHINT(10)"},
    {"DeleteChannel", MQCMD_DELETE_CHANNEL,
     [](Pcf& p) { p.Str(MQCACH_CHANNEL_NAME, "C1"); }, "DELETE CHANNEL('C1')"},
    {"InquireChannelOfClientType", MQCMD_INQUIRE_CHANNEL,
     [](Pcf& p) { p.Build("C*", 6); }, "DISPLAY CHANNEL('C*') TYPE(CLNTCONN) ALL"},
    {"InquireChannelNames", MQCMD_INQUIRE_CHANNEL_NAMES,
     [](Pcf& p) { p.Build("*", 3); }, "DISPLAY CHANNEL('*')"},
    {"PingChannel", MQCMD_PING_CHANNEL, [](Pcf& p) { p.Build("C1", 64); },
     "PING CHANNEL('C1') DATALEN(64)"},
    {"ResetChannel", MQCMD_RESET_CHANNEL, [](Pcf& p) { p.Build("C1", 7); },
     "RESET CHANNEL('C1') SEQNUM(7)"},
    {"StartChannel", MQCMD_START_CHANNEL, [](Pcf& p) { p.Build("C1", 0); },
     "START CHANNEL('C1')"},
    {"StartSharedChannelInGroup", MQCMD_START_CHANNEL,
     [](Pcf& p) { p.Build("C1", 0).Int(MQIACH_CHANNEL_DISP, 2); },
     "START CHANNEL('C1') CHLDISP(SHARED)"},
    {"AlterQueueManagerGroupQueuing", MQCMD_CHANGE_Q_MGR,
     [](Pcf& p) {
       p.Int(MQIA_INTRA_GROUP_QUEUING, 1).Int(MQIA_IGQ_PUT_AUTHORITY, 3)
           .Str(MQCA_IGQ_USER_ID, "IGQU");
     },
     "ALTER QMGR IGQ(ENABLED) IGQAUT(ONLYIGQ) IGQUSER('IGQU')"},
    {"StopChannel", MQCMD_STOP_CHANNEL, [](Pcf& p) { p.Build("C1", 1); },
     "STOP CHANNEL('C1') MODE(QUIESCE)"},
    {"ResolveChannel", MQCMD_RESOLVE_CHANNEL, [](Pcf& p) { p.Build("C1", 2); },
     "RESOLVE CHANNEL('C1') ACTION(BACKOUT)"},
    {"InquireChannelStatus", MQCMD_INQUIRE_CHANNEL_STATUS,
     [](Pcf& p) { p.Build("C1", 0); }, "DISPLAY CHSTATUS('C1') ALL"},
    // Clusters.
    {"InquireClusterQueueManager", MQCMD_INQUIRE_CLUSTER_Q_MGR,
     [](Pcf& p) { p.Build("*", 0); }, "DISPLAY CLUSQMGR('*') ALL"},
    {"ResumeInCluster", MQCMD_RESUME_Q_MGR_CLUSTER,
     [](Pcf& p) { p.Build("CL1", MQCA_CLUSTER_NAME); },
     "RESUME QMGR CLUSTER('CL1')"},
    {"SuspendFromNamelistForce", MQCMD_SUSPEND_Q_MGR_CLUSTER,
     [](Pcf& p) { p.Build("NL1", MQCA_CLUSTER_NAMELIST).Int(MQIACF_MODE, 0); },
     "SUSPEND QMGR CLUSNL('NL1') MODE(FORCE)"},
    {"RefreshCluster", MQCMD_REFRESH_CLUSTER,
     [](Pcf& p) { p.Build("CL1", 0).Int(MQIACF_REFRESH_REPOSITORY, 1); },
     "REFRESH CLUSTER('CL1') REPOS(YES)"},
    {"ResetCluster", MQCMD_RESET_CLUSTER,
     [](Pcf& p) {
       p.Build("CL1", 0).Str(MQCA_Q_MGR_NAME, "QM3").Int(MQIACF_ACTION, 1);
     },
     "RESET CLUSTER('CL1') QMNAME('QM3') ACTION(FORCEREMOVE)"},
    // The suite's text commands.
    {"SetLog", EXCMD_SET_LOG,
     [](Pcf& p) {
       p.Int(MQSC_LOG_CURRENT_MAXRTU, 2).Int(MQSC_LOG_CURRENT_DEALLCT, 60);
     },
     "SET LOG MAXRTU(2) DEALLCT(60)"},
    {"DisplayLog", EXCMD_DISPLAY_LOG, [](Pcf&) {}, "DISPLAY LOG"},
    {"DisplayGroup", EXCMD_DISPLAY_GROUP, [](Pcf&) {}, "DISPLAY GROUP"},
    {"ArchiveLog", EXCMD_ARCHIVE_LOG,
     [](Pcf& p) {
       p.Int(MQSC_ARCHIVE_CANCEL, 0).Int(MQIACF_MODE, 1)
           .Int(MQSC_ARCHIVE_WAIT, 1).Str(MQSC_CMDSCOPE, "*");
     },
     "ARCHIVE LOG MODE(QUIESCE) WAIT(YES) CMDSCOPE(*)"},
    {"DisplayQueueStatus", EXCMD_DISPLAY_QSTATUS,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "Q1").Int(MQIACF_Q_STATUS_TYPE, 1104)
           .IntList(MQIACF_Q_STATUS_ATTRS, {MQIACF_ALL});
     },
     "DISPLAY QSTATUS('Q1') TYPE(HANDLE) ALL"},
    {"MoveQueue", EXCMD_MOVE_QLOCAL,
     [](Pcf& p) {
       p.Str(MQCACF_FROM_Q_NAME, "Q1").Str(MQCACF_TO_Q_NAME, "Q2")
           .Int(MQSC_MOVE_TYPE, 2).Int(MQSC_QSGDISP, 5);
     },
     "MOVE QLOCAL('Q1') TOQLOCAL('Q2') TYPE(ADD) QSGDISP(PRIVATE)"},
    // Quoting.
    {"QuoteInValueIsDoubled", MQCMD_CHANGE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "Q1").Int(MQIA_Q_TYPE, 1)
           .Str(MQCA_Q_DESC, "it's') PUT(DISABLED");
     },
     "ALTER QLOCAL('Q1') DESCR('it''s'') PUT(DISABLED')"},
    {"OddCmdscopeIsQuoted", MQCMD_PING_CHANNEL,
     [](Pcf& p) { p.Str(MQCACH_CHANNEL_NAME, "C1").Str(MQSC_CMDSCOPE, "a b)"); },
     "PING CHANNEL('C1') CMDSCOPE('a b)')"},
};

class MqscPcfToText : public ::testing::TestWithParam<TextCase> {};

TEST_P(MqscPcfToText, GivesExactText) {
  const TextCase& c = GetParam();
  Pcf pcf(c.command);
  c.fill(pcf);
  Mqsc r = ToMqsc(pcf);
  ASSERT_EQ(r.comp_code, MQCC_OK) << "reason " << r.reason;
  EXPECT_EQ(r.reason, 0);
  EXPECT_EQ(r.text, c.expected);
  EXPECT_EQ(r.result, 136 + static_cast<MQLONG>(r.text.size()));
}

INSTANTIATE_TEST_SUITE_P(
    EveryObjectKind, MqscPcfToText, ::testing::ValuesIn(kTextCases),
    [](const ::testing::TestParamInfo<TextCase>& info) {
      return std::string(info.param.name);
    });

TEST(MqscPcfToMqscLayout, FiveItemsWithLineBreaksPutFourthAndFifthOnOwnLines) {
  Pcf pcf(MQCMD_INQUIRE_Q);
  pcf.Str(MQCA_Q_NAME, "Q1").Int(MQIA_Q_TYPE, 1)
      .IntList(MQIACF_Q_ATTRS, {MQCA_Q_DESC, MQIA_CURRENT_Q_DEPTH});
  Mqsc r = ToMqsc(pcf, 1);
  ASSERT_EQ(r.comp_code, 0);
  EXPECT_EQ(r.text, "DISPLAY QUEUE('Q1') TYPE(QLOCAL) +\nCURDEPTH +\nDESCR");
  EXPECT_EQ(r.extra, 5);
}

TEST(MqscPcfToMqscLayout, QueueVerbTypeAndNameFillTheFirstLine) {
  Pcf pcf(MQCMD_CREATE_Q);
  pcf.Str(MQCA_Q_NAME, "Q1").Int(MQIA_Q_TYPE, 1).Int(MQIA_MAX_Q_DEPTH, 9);
  Mqsc r = ToMqsc(pcf, 1);
  ASSERT_EQ(r.comp_code, 0);
  EXPECT_EQ(r.text, "DEFINE QLOCAL('Q1') +\nMAXDEPTH(9)");
}

TEST(MqscPcfToMqscLayout, TextFillingTheRoomExactlyFits) {
  Pcf pcf(MQCMD_PING_Q_MGR);
  Mqsc r = ToMqsc(pcf, 0, 9);  // "PING QMGR" is 9 bytes
  ASSERT_EQ(r.comp_code, 0);
  EXPECT_EQ(r.text, "PING QMGR");
  Mqsc short_room = ToMqsc(pcf, 0, 8);
  EXPECT_EQ(short_room.comp_code, MQCC_FAILED);
  EXPECT_EQ(short_room.reason, EXRC_MQSC_NO_ROOM);
  EXPECT_EQ(short_room.result, EXRC_MQSC_NO_ROOM);
}

TEST(MqscPcfToMqscEscape, PassesTheEscapeTextThrough) {
  Pcf pcf(MQCMD_ESCAPE);
  pcf.Build("DISPLAY QUEUE(*) ALL", 0);
  Mqsc r = ToMqsc(pcf);
  ASSERT_EQ(r.comp_code, 0);
  EXPECT_EQ(r.text, "DISPLAY QUEUE(*) ALL");
}

TEST(MqscPcfToMqscEscape, OtherEscapeTypeGives3054) {
  Pcf pcf(MQCMD_ESCAPE);
  pcf.Int(MQIACF_ESCAPE_TYPE, 2).Str(MQCACF_ESCAPE_TEXT, "PING QMGR");
  Mqsc r = ToMqsc(pcf);
  EXPECT_EQ(r.comp_code, MQCC_FAILED);
  EXPECT_EQ(r.reason, 3054);
  EXPECT_EQ(r.result, 3054);
}

TEST(MqscPcfToMqscEscape, MissingTextGives3019) {
  Pcf pcf(MQCMD_ESCAPE);
  pcf.Int(MQIACF_ESCAPE_TYPE, 1);
  Mqsc r = ToMqsc(pcf);
  EXPECT_EQ(r.comp_code, MQCC_FAILED);
  EXPECT_EQ(r.reason, 3019);
}

struct ReasonCase {
  const char* name;
  MQLONG command;
  std::function<void(Pcf&)> fill;
  MQLONG reason;
};

const ReasonCase kReasonCases[] = {
    {"RawBytesRecordIs5001", MQCMD_CHANGE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "Q1").Int(MQIA_Q_TYPE, 1)
           .Raw({999, 24, MQCA_Q_DESC, 0, 4, 0x41414141});
     },
     EXRC_MQSC_NOT_CONVERTIBLE},
    {"StringForIntegerKeywordIs5001", MQCMD_CHANGE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "Q1").Int(MQIA_Q_TYPE, 1)
           .Raw({MQCFT_STRING, 24, MQIA_MAX_Q_DEPTH, 0, 2, 0x3030});
     },
     EXRC_MQSC_NOT_CONVERTIBLE},
    {"ParameterNotInTableIs5002", MQCMD_CHANGE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "Q1").Int(MQIA_Q_TYPE, 1).Int(MQIA_ARCHIVE, 1);  // has no MQSC keyword
     },
     EXRC_MQSC_NOT_IN_TABLES},
    {"ValueWithoutWordIs5002", MQCMD_CREATE_Q,
     [](Pcf& p) { p.Str(MQCA_Q_NAME, "Q1").Int(MQIA_Q_TYPE, 4); },
     EXRC_MQSC_NOT_IN_TABLES},
    {"SelectorNotInTableIs5002", MQCMD_INQUIRE_Q,
     [](Pcf& p) { p.Str(MQCA_Q_NAME, "Q1").IntList(MQIACF_Q_ATTRS, {9999}); },
     EXRC_MQSC_NOT_IN_TABLES},
    {"CommandNotInTableIs5002", MQCMD_REFRESH_Q_MGR, [](Pcf&) {},
     EXRC_MQSC_NOT_IN_TABLES},
    // A line end inside a quoted value would end the MQSC line there and
    // let the rest of the value stand as a command of its own in a script.
    {"LineFeedInAStringIs5001", MQCMD_CHANGE_Q,
     [](Pcf& p) {
       p.Str(MQCA_Q_NAME, "Q1").Int(MQIA_Q_TYPE, 1)
           .Str(MQCA_Q_DESC, "x\nDELETE QLOCAL(PAYROLL)\n*");
     },
     EXRC_MQSC_NOT_CONVERTIBLE},
    {"CarriageReturnInANameIs5001", MQCMD_CLEAR_Q,
     [](Pcf& p) { p.Str(MQCA_Q_NAME, "Q1\rDELETE QLOCAL(Q2)"); },
     EXRC_MQSC_NOT_CONVERTIBLE},
    {"LineFeedInAListItemIs5001", MQCMD_CHANGE_NAMELIST,
     [](Pcf& p) {
       p.Str(MQCA_NAMELIST_NAME, "N1")
           .StrList(MQCA_NAMES, {"CL1", "A\nB"}, 8);
     },
     EXRC_MQSC_NOT_CONVERTIBLE},
    {"MissingQueueTypeIs5005", MQCMD_CREATE_Q,
     [](Pcf& p) { p.Str(MQCA_Q_NAME, "Q1"); }, EXRC_MQSC_REQUIRED_MISSING},
    {"MissingChannelNameIs5005", MQCMD_START_CHANNEL, [](Pcf&) {},
     EXRC_MQSC_REQUIRED_MISSING},
};

class MqscPcfToTextRefused : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(MqscPcfToTextRefused, WithItsReason) {
  const ReasonCase& c = GetParam();
  Pcf pcf(c.command);
  c.fill(pcf);
  Mqsc r = ToMqsc(pcf);
  EXPECT_EQ(r.comp_code, MQCC_FAILED);
  EXPECT_EQ(r.reason, c.reason);
  EXPECT_EQ(r.result, c.reason);
  EXPECT_EQ(r.extra, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, MqscPcfToTextRefused, ::testing::ValuesIn(kReasonCases),
    [](const ::testing::TestParamInfo<ReasonCase>& info) {
      return std::string(info.param.name);
    });

TEST(MqscPcfToMqscWalker, EscapeHasNoRowTable) {
  Pcf pcf(MQCMD_ESCAPE);
  pcf.Build("PING QMGR", 0);
  char text[64];
  MQLONG length = sizeof text, reason = 0, count = -1;
  EXPECT_EQ(PcfToMqsc(pcf.get()->Body.Payload, PCF_BODY_LENGTH(pcf.get()),
                      text, &length, 0, &reason, &count),
            0);
  EXPECT_EQ(reason, EXRC_MQSC_NO_ROW_TABLE);
  EXPECT_EQ(count, 0);
}

TEST(MqscPcfToMqscWalker, RecordRunningPastTheBodyIs5001) {
  Pcf pcf(MQCMD_CLEAR_Q);
  pcf.Str(MQCA_Q_NAME, "Q1");
  std::vector<unsigned char> body(pcf.get()->Body.Payload,
                                  pcf.get()->Body.Payload + PCF_BODY_LENGTH(pcf.get()));
  MQLONG huge = 4096;
  std::memcpy(body.data() + 36 + 4, &huge, 4);
  char text[64];
  MQLONG length = sizeof text, reason = 0;
  EXPECT_EQ(PcfToMqsc(body.data(), static_cast<MQLONG>(body.size()), text,
                      &length, 0, &reason, nullptr),
            0);
  EXPECT_EQ(reason, EXRC_MQSC_NOT_CONVERTIBLE);
}

// A negative ParameterCount is a malformed command, not one without
// parameters: it must not turn into a bare verb that then runs.
TEST(MqscPcfToMqscWalker, NegativeParameterCountIs5001) {
  Pcf pcf(MQCMD_INQUIRE_Q_MGR);
  std::vector<unsigned char> body(pcf.get()->Body.Payload,
                                  pcf.get()->Body.Payload + PCF_BODY_LENGTH(pcf.get()));
  MQLONG negative = -1;
  std::memcpy(body.data() + 32, &negative, 4);
  char text[64];
  MQLONG length = sizeof text, reason = 0;
  EXPECT_EQ(PcfToMqsc(body.data(), static_cast<MQLONG>(body.size()), text,
                      &length, 0, &reason, nullptr),
            0);
  EXPECT_EQ(reason, EXRC_MQSC_NOT_CONVERTIBLE);
}

// Found by fuzzing: a list whose strings are 0 bytes wide may claim any
// Count; it must not be walked item by item.
TEST(MqscPcfToMqscWalker, EmptyWideListWithHugeCountIsAnEmptyList) {
  Pcf pcf(MQCMD_CHANGE_NAMELIST);
  pcf.Str(MQCA_NAMELIST_NAME, "N1").Raw({MQCFT_STRING_LIST, 24, MQCA_NAMES, 0,
                                          0x7fffffff, 0});
  Mqsc r = ToMqsc(pcf);
  ASSERT_EQ(r.comp_code, 0) << r.reason;
  EXPECT_EQ(r.text, "ALTER NAMELIST('N1') NAMES()");
}

TEST(MqscPcfToMqscCaller, InquiryOfAllTypesLeavesTheMessageUnchanged) {
  Pcf pcf(MQCMD_INQUIRE_Q_NAMES);
  pcf.Build("*", 0);
  const mqPcfMessage* m = pcf.get();
  std::vector<unsigned char> before(m->Body.Payload,
                                    m->Body.Payload + PCF_BODY_LENGTH(m));
  std::vector<const unsigned char*> slots;
  for (int i = 0; i <= m->Cfh->ParameterCount; ++i) slots.push_back(m->Index[i].Payload);
  Mqsc r = ToMqsc(pcf);
  ASSERT_EQ(r.comp_code, 0);
  EXPECT_EQ(r.text, "DISPLAY QUEUE('*')");
  std::vector<unsigned char> after(m->Body.Payload,
                                   m->Body.Payload + PCF_BODY_LENGTH(m));
  EXPECT_EQ(before, after);
  for (int i = 0; i <= m->Cfh->ParameterCount; ++i)
    EXPECT_EQ(m->Index[i].Payload, slots[static_cast<size_t>(i)]);
  // Converting again gives the same text: nothing was disabled for good.
  EXPECT_EQ(ToMqsc(pcf).text, "DISPLAY QUEUE('*')");
}

TEST(MqscPcfToMqscCaller, FailureLeavesTheTextLengthAlone) {
  Pcf pcf(MQCMD_CREATE_Q);
  pcf.Str(MQCA_Q_NAME, "Q1");
  mqsctest::Text t(64);
  t.get()->UsedLength = 140;
  MQLONG cc = 0, rc = 0, extra = 0;
  EXPECT_EQ(tlxPcf2Mqsc(pcf.get(), t.get(), 0, &cc, &rc, &extra),
            EXRC_MQSC_REQUIRED_MISSING);
  EXPECT_EQ(t.get()->UsedLength, 140);
}

// The conversion keeps its state per call: threads converting different
// commands at once each get their own exact text.
TEST(MqscPcfToMqscThreads, ConcurrentConversionsDoNotMix) {
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &failures] {
      const TextCase& c = kTextCases[static_cast<size_t>(t) * 7 %
                                     std::size(kTextCases)];
      for (int i = 0; i < 200; ++i) {
        Pcf pcf(c.command);
        c.fill(pcf);
        Mqsc r = ToMqsc(pcf);
        if (r.comp_code != 0 || r.text != c.expected) ++failures[static_cast<size_t>(t)];
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

}  // namespace
