// Test consoles speaking node frames to a real grpserver on loopback:
// classification, the dispatcher's own commands, the response's decoration,
// the console limit, shutdown, backup and restore, and signed frames.
#include <signal.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "support/group_fixture.h"

namespace grptest {
namespace {

namespace ts = harrow::testsupport;
using std::chrono::seconds;

class ConsoleTest : public ::testing::Test {
 protected:
  void Start(const std::vector<std::string>& args = {}, const std::vector<std::string>& create = {},
             const Env& env = {}) {
    port_ = ts::FreeLoopbackPort(true);
    CreateGroup(inst_, "CG", port_, create);
    ASSERT_TRUE(StartServer(&server_, inst_, "CG", args, env));
  }
  // Sends msg and returns the next message the console reads.
  PcfPtr Exchange(TestConsole& console, mqPcfMessage* msg) {
    EXPECT_TRUE(console.Send(msg));
    return console.Receive();
  }

  Installation inst_;
  int port_ = 0;
  ts::ServerProcess server_;
};

TEST_F(ConsoleTest, OpenEventNeedsItsMaskAndEveryResponseCarriesTheGroupAndAverageTime) {
  Start();
  EXPECT_NE(server_.Output().find("Warning: AUTHENTICATION(OFF)"), std::string::npos);
  TestConsole console(port_);
  ASSERT_TRUE(console.connected());
  PcfPtr with_mask = MakeCommand(EXCMD_OPEN_EVENT, "OPEN-WITH");
  AddInteger(with_mask.get(), 20139, 0x5f);
  PcfPtr r1 = Exchange(console, with_mask.get());
  ASSERT_NE(r1, nullptr);
  EXPECT_EQ(r1->Cfh->Type, MQCFT_RESPONSE);
  EXPECT_EQ(r1->Cfh->Command, EXCMD_OPEN_EVENT);
  EXPECT_EQ(r1->Cfh->CompCode, MQCC_OK);
  EXPECT_EQ(r1->Cfh->Reason, 0);
  EXPECT_EQ(RequestId(r1.get()).substr(0, 9), "OPEN-WITH");
  EXPECT_EQ(StrParam(r1.get(), 20020), "CG");
  MQLONG average = -1;
  EXPECT_TRUE(IntParam(r1.get(), 20410, &average));
  EXPECT_GT(average, 0);

  PcfPtr r2 = Exchange(console, MakeCommand(EXCMD_OPEN_EVENT, "OPEN-WITHOUT").get());
  ASSERT_NE(r2, nullptr);
  EXPECT_EQ(r2->Cfh->CompCode, MQCC_FAILED);
  EXPECT_EQ(r2->Cfh->Reason, 3019);
  EXPECT_EQ(StrParam(r2.get(), 20020), "CG");
}

TEST_F(ConsoleTest, UnknownCommandsAnswer3007WithTheRequestIdAndTheIdentifyingParameters) {
  Start();
  TestConsole console(port_);
  // A code outside the table, and one of the table whose handler is absent.
  for (MQLONG command : {50, MQCMD_INQUIRE_Q}) {
    SCOPED_TRACE(command);
    PcfPtr request = MakeCommand(command, "REQ-ID-0123456789-ABCDEF");
    AddStr(request.get(), 20006, "CG");
    AddStr(request.get(), 20007, "NODE1");
    AddStr(request.get(), MQCA_Q_MGR_NAME, "QM1");
    AddStr(request.get(), MQCA_Q_NAME, "Q.ONE");
    PcfPtr reply = Exchange(console, request.get());
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->Cfh->Command, command);
    EXPECT_EQ(reply->Cfh->CompCode, MQCC_FAILED);
    EXPECT_EQ(reply->Cfh->Reason, 3007);
    EXPECT_EQ(RequestId(reply.get()), "REQ-ID-0123456789-ABCDEF");
    // Identifying parameters in their order, then the average time and group.
    std::vector<MQLONG> ids;
    for (MQLONG i = 1; i <= reply->Cfh->ParameterCount; ++i) {
      Message r{};
      ASSERT_EQ(GetAttrByPos(i, &r, reply.get()), 1);
      ids.push_back(reinterpret_cast<const MQCFIN*>(r.Payload)->Parameter);
      DeleteMessage(&r);
    }
    EXPECT_EQ(ids, (std::vector<MQLONG>{20006, 20007, MQCA_Q_MGR_NAME, MQCA_Q_NAME, 20410, 20020}));
  }
}

TEST_F(ConsoleTest, ARequestWithReplyFlag0GetsNoResponse) {
  Start();
  TestConsole console(port_);
  PcfPtr silent = MakeCommand(50, "SILENT");
  MESSAGE_HEADER(&silent->Body)->ReplyTag = 0;
  ASSERT_TRUE(console.Send(silent.get()));
  PcfPtr reply = Exchange(console, MakeCommand(50, "SECOND").get());
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(RequestId(reply.get()).substr(0, 6), "SECOND");
}

TEST_F(ConsoleTest, ForgedRepliesAndEventsFromAConsoleAreRefused) {
  Start();
  TestConsole console(port_);
  for (MQLONG type : {MQCFT_RESPONSE, MQCFT_EVENT}) {
    SCOPED_TRACE(type);
    PcfPtr forged(CreatePcfMessage(type == MQCFT_EVENT ? MQCMD_Q_MGR_EVENT : 50, type, 256), DeletePcfMessage);
    MessageHeader* h = MESSAGE_HEADER(&forged->Body);
    std::memcpy(h->MsgId, "FORGED", 6);
    h->ReplyTag = 1;
    // A forged relay: header word 4 names a console connection.
    const int32_t connection = 1;
    std::memcpy(h->MsgId, &connection, 4);
    PcfPtr reply = Exchange(console, forged.get());
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->Cfh->Type, MQCFT_RESPONSE);
    EXPECT_EQ(reply->Cfh->CompCode, MQCC_FAILED);
    EXPECT_EQ(reply->Cfh->Reason, 3001);
  }
  EXPECT_NE(server_.Output().find("-REFUSED(MQCFH TYPE 2"), std::string::npos);
  EXPECT_NE(server_.Output().find("-REFUSED(MQCFH TYPE 7"), std::string::npos);
}

TEST_F(ConsoleTest, AShutdownDatagramIsRefusedAndTheServerGoesOn) {
  Start();
  SocketAddress local{};
  std::snprintf(local.host, sizeof local.host, "127.0.0.1");
  std::snprintf(local.service, sizeof local.service, "0");
  std::snprintf(local.protocol, sizeof local.protocol, "udp");
  mqnMQNodeData* udp = CreateUDPMQNode(&local);
  ASSERT_NE(udp, nullptr);
  SocketAddress to{};
  std::snprintf(to.host, sizeof to.host, "127.0.0.1");
  std::snprintf(to.service, sizeof to.service, "%d", port_);
  std::snprintf(to.protocol, sizeof to.protocol, "udp");
  PcfPtr shutdown = MakeCommand(EXCMD_SHUTDOWN_MANAGER, "DGRAM");
  AddStr(shutdown.get(), 20006, "CG");
  AddInteger(shutdown.get(), 20140, 1);
  EXPECT_EQ(mnSWriteTo(shutdown.get(), udp, &to, 0, nullptr), 1);
  EXPECT_TRUE(server_.WaitForOutput("-REFUSED(MQCFH TYPE 1, COMMAND 10110)", seconds(10)));
  DeleteMQNode(udp);
  // Still serving, well past the countdown the datagram asked for.
  TestConsole console(port_);
  PcfPtr reply = Exchange(console, MakeCommand(50, "ALIVE").get());
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(server_.Output().find("IGE0023"), std::string::npos);
  EXPECT_TRUE(server_.Running());
}

TEST_F(ConsoleTest, ShutdownWithACountdownEndsTheServerWithABackupAndExit0) {
  Start();
  TestConsole console(port_);
  PcfPtr other = MakeCommand(EXCMD_SHUTDOWN_MANAGER, "OTHER");
  AddStr(other.get(), 20006, "NOTCG");
  PcfPtr refused = Exchange(console, other.get());
  ASSERT_NE(refused, nullptr);
  EXPECT_EQ(refused->Cfh->Reason, 2085);

  PcfPtr shutdown = MakeCommand(EXCMD_SHUTDOWN_MANAGER, "SHUT");
  AddStr(shutdown.get(), 20006, "CG");
  AddInteger(shutdown.get(), 20140, 1);
  PcfPtr reply = Exchange(console, shutdown.get());
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(reply->Cfh->CompCode, MQCC_OK);
  int status = -1;
  ASSERT_TRUE(server_.WaitExit(seconds(20), &status));
  EXPECT_EQ(status, 0);
  const std::string out = server_.Output();
  EXPECT_NE(out.find(") requested Group(\"CG\") to shutdown!\n"), std::string::npos) << out;
  EXPECT_NE(out.find("IGE0024: Group(\"CG\") is shutting down in 1(sec).\n"), std::string::npos);
  EXPECT_NE(out.find("IGE0035: Completed database backup for GROUP(\"CG\"): RC(0)\n"), std::string::npos);
  EXPECT_EQ(FileBytes(inst_.GroupDir("CG") + "/MANAGERS.dat"), FileBytes(inst_.GroupDir("CG") + "/backup/MANAGERS.dat"));
}

TEST_F(ConsoleTest, BackupAndRestoreActOnTheServersOwnGroupOnly) {
  Start();
  TestConsole console(port_);
  for (MQLONG command : {11100, 11101}) {
    SCOPED_TRACE(command);
    PcfPtr other = MakeCommand(command, "OTHER");
    AddStr(other.get(), 20006, "SOMEOTHER");
    PcfPtr r = Exchange(console, other.get());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Cfh->CompCode, MQCC_FAILED);
    EXPECT_EQ(r->Cfh->Reason, 2085);
    PcfPtr missing = Exchange(console, MakeCommand(command, "NONE").get());
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->Cfh->Reason, 2085);
  }
  PcfPtr backup = MakeCommand(11100, "BACKUP");
  AddStr(backup.get(), 20006, "CG");
  PcfPtr b = Exchange(console, backup.get());
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Cfh->CompCode, MQCC_OK);
  EXPECT_EQ(StrParam(b.get(), 20006), "CG");
  PcfPtr restore = MakeCommand(11101, "RESTORE");
  AddStr(restore.get(), 20006, "CG");
  PcfPtr r = Exchange(console, restore.get());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Cfh->CompCode, MQCC_OK);
  EXPECT_NE(server_.Output().find("IGE0037: Backup database for GROUP(\"CG\") has been restored OK.\n"),
            std::string::npos);
  // The server still serves its group after the restore.
  PcfPtr after = Exchange(console, MakeCommand(50, "AFTER").get());
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->Cfh->Reason, 3007);
  EXPECT_EQ(server_.Stop(), 0);
}

TEST_F(ConsoleTest, TheConsoleBeyondTheLimitIsToldAndDisconnected) {
  Start({}, {"--max-clients=2"});
  TestConsole a(port_), b(port_);
  for (TestConsole* c : {&a, &b}) {
    PcfPtr r = Exchange(*c, MakeCommand(50, "FILL").get());
    ASSERT_NE(r, nullptr);
  }
  TestConsole third(port_);
  PcfPtr note = third.Receive();
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->Cfh->Type, MQCFT_EVENT);
  EXPECT_EQ(note->Cfh->Command, EXCMD_MANAGER_EVENT);
  EXPECT_EQ(note->Cfh->Reason, 20104);
  MQLONG qualifier = 0;
  ASSERT_TRUE(IntParam(note.get(), 1020, &qualifier));
  EXPECT_EQ(qualifier, 20009);
  EXPECT_TRUE(third.WaitClosed());
  // The two others go on.
  PcfPtr r = Exchange(a, MakeCommand(50, "STILL").get());
  ASSERT_NE(r, nullptr);
}

TEST_F(ConsoleTest, TheShellCommandIsRefusedWithoutAuthenticationAndAuthority) {
  Start();
  TestConsole console(port_);
  PcfPtr shell = MakeCommand(EXCMD_EXECUTE_SHELL_CMD, "SHELL");
  AddStr(shell.get(), 20007, " ");
  AddStr(shell.get(), MQCA_Q_MGR_NAME, " ");
  PcfPtr r = Exchange(console, shell.get());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Cfh->CompCode, MQCC_FAILED);
  EXPECT_EQ(r->Cfh->Reason, MQRC_NOT_AUTHORIZED);
}

TEST_F(ConsoleTest, SignedFramesWithTheWrongKeyAreRefused) {
  Start({"+a"});
  inst_.ExportToThisProcess();  // the installation's key for the good console
  TestConsole good(port_, 1);
  PcfPtr r = Exchange(good, MakeCommand(50, "SIGNED").get());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Cfh->Reason, 3007);
  EXPECT_EQ(RequestId(r.get()).substr(0, 6), "SIGNED");

  // Unsigned frames to a server that wants them signed.
  TestConsole plain(port_, 0);
  EXPECT_TRUE(plain.Send(MakeCommand(50, "PLAIN").get()));
  EXPECT_TRUE(plain.WaitClosed());

  // Signed with another key.
  const std::string other_key = inst_.install_dir() + "/other.key";
  {
    std::ofstream f(other_key);
    f << "ffeeddccbbaa99887766554433221100ffeeddccbbaa99887766554433221100\n";
  }
  chmod(other_key.c_str(), 0600);
  ts::ScopedEnv env("HRLCOMPACT_SIGNING_KEY", other_key);
  TestConsole forger(port_, 1);
  EXPECT_TRUE(forger.Send(MakeCommand(50, "FORGED").get()));
  EXPECT_TRUE(forger.WaitClosed());
  EXPECT_TRUE(server_.Running());
}

void WriteRules(const std::string& path, const std::string& text) {
  const std::string temp = path + ".new";
  {
    std::ofstream f(temp);
    f << text;
  }
  chmod(temp.c_str(), 0600);
  ASSERT_EQ(std::rename(temp.c_str(), path.c_str()), 0);
}

TEST_F(ConsoleTest, WithTheAuthorityCheckOnlyTrustedConsolesRunAllowedCommands) {
  const std::string rules = inst_.install_dir() + "/authority.rules";
  WriteRules(rules, "trust * 127.0.0.1 *\nallow * CG\\10 10005\ndefault deny\n");
  Start({"+u"}, {}, {{"HRLCOMPACT_AUTH_RULES", rules}});
  TestConsole console(port_);
  PcfPtr open = MakeCommand(EXCMD_OPEN_EVENT, "ALLOWED");
  AddInteger(open.get(), 20139, 1);
  PcfPtr allowed = Exchange(console, open.get());
  ASSERT_NE(allowed, nullptr);
  EXPECT_EQ(allowed->Cfh->CompCode, MQCC_OK);
  PcfPtr refused = Exchange(console, MakeCommand(50, "REFUSED").get());
  ASSERT_NE(refused, nullptr);
  EXPECT_EQ(refused->Cfh->CompCode, MQCC_FAILED);
  EXPECT_EQ(refused->Cfh->Reason, MQRC_NOT_AUTHORIZED);
  EXPECT_EQ(RequestId(refused.get()).substr(0, 7), "REFUSED");
  // Not authorized is no reason to close the connection.
  PcfPtr again = Exchange(console, open.get());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Cfh->CompCode, MQCC_OK);

  // A console the rules do not trust is answered 20507 and closed.
  WriteRules(rules, "distrust * * *\nallow * * *\n");
  TestConsole stranger(port_);
  PcfPtr untrusted = Exchange(stranger, open.get());
  ASSERT_NE(untrusted, nullptr);
  EXPECT_EQ(untrusted->Cfh->CompCode, MQCC_FAILED);
  EXPECT_EQ(untrusted->Cfh->Reason, 20507);
  EXPECT_EQ(StrParam(untrusted.get(), 20020), "CG");
  EXPECT_EQ(StrParam(untrusted.get(), 20912), "127.0.0.1");
  EXPECT_TRUE(stranger.WaitClosed());
  // The console trusted before keeps its trust.
  PcfPtr still = Exchange(console, open.get());
  ASSERT_NE(still, nullptr);
  EXPECT_EQ(still->Cfh->CompCode, MQCC_OK);
}

}  // namespace
}  // namespace grptest
