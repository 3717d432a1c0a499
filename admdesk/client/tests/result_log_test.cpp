// The command result log: result lines, object paths, trace rows, log lines
// and the weekday files; and the parameter appenders and the profile.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "admclient/admclient.h"
#include "support/scripted_peer.h"

namespace admclient {
namespace {

using peertest::PcfPtr;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ResultLine, OutcomeByCompCodeAndReason) {
  struct {
    int comp_code, reason, command;
    const char* line;
    int image;
  } cases[] = {
      {0, 0, 8, "(RC - 0), CMD - MQCMD_CHANGE_Q - OK!", 0},
      {1, 20107, 8, "(RC - 20107), CMD - MQCMD_CHANGE_Q - In Progress!", 1},
      {1, 2100, 11, "(RC - 2100), CMD - MQCMD_CREATE_Q - Failed!", 2},
      {0, 4, 12, "(RC - 4), CMD - MQCMD_DELETE_Q - Failed!", 2},
      {2, 2085, 10005, "(RC - 2085), CMD - EXCMD_OPEN_EVENT - Failed!", 2},
      {2, 3007, 41, "(RC - 3007), CMD -  - Failed!", 2},
  };
  for (const auto& c : cases) {
    int image = -1;
    EXPECT_EQ(ResultLine(c.comp_code, c.reason, c.command, &image), c.line);
    EXPECT_EQ(image, c.image) << c.line;
  }
}

TEST(ResultLine, ActionCommands) {
  for (int command : {1, 8, 12, 38, 40, 42, 74, 10003, 10012, 10110, 10300, 10306, 11002}) {
    EXPECT_TRUE(IsActionCommand(command)) << command;
  }
  for (int command : {2, 13, 18, 20, 25, 10005, 10007, 10108, 10120, 11100, 0, -1}) {
    EXPECT_FALSE(IsActionCommand(command)) << command;
  }
}

PcfPtr Reply(std::initializer_list<std::pair<MQLONG, const char*>> strings) {
  PcfPtr reply(CreatePcfMessage(MQCMD_COPY_Q, 2, 1024));
  for (const auto& [id, value] : strings) CPCF::AddRawStrParm(value, id, reply.get());
  RawToPcf(reply.get());
  return reply;
}

TEST(ObjectPath, FromTheReplysParameters) {
  struct {
    PcfPtr reply;
    const char* path;
  } cases[] = {
      {Reply({{20006, "GROUP1  "}, {20007, "node1"}, {2015, "QM1 "}, {3001, "FROM.Q"},
              {3002, "TO.Q  "}}),
       "\\\\GROUP1\\node1\\QM1\\FROM.Q - TO.Q"},
      {Reply({{20006, "G"}, {20007, "N"}, {2015, "QM1"}, {2029, "CL1"}}), "\\\\G\\N\\QM1@CL1"},
      {Reply({{20006, "G"}, {20007, "N"}, {2015, "QM1"}, {2016, "Q1"}, {2029, "CL1"}}),
       "\\\\G\\N\\QM1\\Q1@CL1"},
      {Reply({{20006, "G"}, {20007, "N"}, {2015, "QM1"}, {2029, "   "}}), "\\\\G\\N\\QM1"},
      {Reply({{20020, "G"}, {20007, "N"}, {2015, "Q"}, {3501, "TO.CHL"}, {2012, "PROC"}}),
       "\\\\G\\N\\Q\\TO.CHL"},
      {Reply({{20006, "G"}, {2012, "PROC"}, {3004, "PROC2"}}), "\\\\G\\\\PROC - PROC2"},
      {Reply({}), "\\\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(ObjectPath(c.reply.get()), c.path);
}

class WeekdayLogTest : public ::testing::Test {
 protected:
  WeekdayLogTest() {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  ~WeekdayLogTest() override {
    unsetenv("TZ");
    tzset();
  }
  peertest::TempDir dir_;
};

TEST_F(WeekdayLogTest, RowAndLineOfAReply) {
  FixedClock clock(1765366245);  // Wed Dec 10 2025 11:30:45 UTC
  CommandLog log(clock, dir_.path() + "/logs");
  struct Trace : TraceSink {
    void AddCommandRow(const TraceRow& row) override { rows.push_back(row); }
    std::vector<TraceRow> rows;
  } trace;
  ResultLog results(clock, &trace, &log, "alice");
  PcfPtr reply = Reply({{20006, "G"}, {20007, "N"}, {2015, "QM1"}, {3001, "A"}, {3002, "B"}});
  reply->Cfh->CompCode = 2;
  reply->Cfh->Reason = 2035;
  std::filesystem::create_directories(dir_.path() + "/config/groups");
  std::ofstream(dir_.path() + "/config/groups/tlxrc.ini")
      << "2035\"MQRC_NOT_AUTHORIZED: not authorized\"\n20107\"EXRC_CMD_IN_PROGRESS: busy\"\n";
  setenv("HRLCOMPACT", dir_.path().c_str(), 1);
  results.ReportCommandResult(reply.get());
  reply->Cfh->CompCode = 1;
  reply->Cfh->Reason = 20107;
  results.ReportCommandResult(reply.get());
  unsetenv("HRLCOMPACT");
  ASSERT_EQ(trace.rows.size(), 2u);
  const TraceRow& row = trace.rows[0];
  EXPECT_EQ(row.result_line, "(RC - 2035), CMD - MQCMD_COPY_Q - Failed!");
  EXPECT_EQ(row.image, kResultImageFailed);
  EXPECT_EQ(row.object_path, "\\\\G\\N\\QM1\\A - B");
  EXPECT_EQ(row.date, "Dec 10 2025");
  EXPECT_EQ(row.time, "11:30:45");
  EXPECT_EQ(row.reason_name, "MQRC_NOT_AUTHORIZED");
  EXPECT_EQ(trace.rows[1].reason_name, "");  // in progress shows no name
  EXPECT_EQ(log.CurrentPath(), dir_.path() + "/logs/tlxmqea4.log");  // Wednesday
  EXPECT_EQ(ReadFile(log.CurrentPath()),
            "\"11:30:45, Dec, 10, 2025\",\"alice\",\"(RC - 2035), CMD - MQCMD_COPY_Q - "
            "Failed!\",\"\\\\G\\N\\QM1\\A - B\"\n"
            "\"11:30:45, Dec, 10, 2025\",\"alice\",\"(RC - 20107), CMD - MQCMD_COPY_Q - In "
            "Progress!\",\"\\\\G\\N\\QM1\\A - B\"\n");
  struct stat st;
  ASSERT_EQ(stat(log.CurrentPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(stat((dir_.path() + "/logs").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(WeekdayLogTest, AFileRestartsOnlyWhenLastWrittenOnAnotherDate) {
  FixedClock clock(1765366245);  // Wednesday
  CommandLog log(clock, dir_.path() + "/logs");
  ASSERT_TRUE(log.AppendLogLine("wed 1\n"));
  clock.Advance(3600);
  ASSERT_TRUE(log.AppendLogLine("wed 2\n"));
  const std::string wednesday = log.CurrentPath();
  EXPECT_EQ(ReadFile(wednesday), "wed 1\nwed 2\n");
  // Past midnight the path moves to Thursday's file; Wednesday's stays.
  clock.Set(1765411200 + 60);  // Thu 00:01
  ASSERT_TRUE(log.AppendLogLine("thu 1\n"));
  EXPECT_NE(log.CurrentPath(), wednesday);
  EXPECT_EQ(ReadFile(log.CurrentPath()), "thu 1\n");
  EXPECT_EQ(ReadFile(wednesday), "wed 1\nwed 2\n");
  // A week later Wednesday's file starts afresh, then appends that day.
  clock.Set(1765366245 + 7 * 86400);
  ASSERT_TRUE(log.AppendLogLine("next wed 1\n"));
  ASSERT_TRUE(log.AppendLogLine("next wed 2\n"));
  EXPECT_EQ(ReadFile(wednesday), "next wed 1\nnext wed 2\n");
  // Four weeks on, on a file of the same day of the month: still a new date.
  clock.Set(1765366245 + 28 * 86400);
  ASSERT_TRUE(log.AppendLogLine("month\n"));
  EXPECT_EQ(ReadFile(wednesday), "month\n");
}

TEST_F(WeekdayLogTest, UnwritableDirectoryLosesTheLineQuietly) {
  FixedClock clock(1765366245);
  std::ofstream(dir_.path() + "/file") << "x";
  CommandLog log(clock, dir_.path() + "/file/logs");
  EXPECT_FALSE(log.AppendLogLine("lost\n"));
  ResultLog results(clock, nullptr, &log, "u");
  PcfPtr reply = Reply({});
  EXPECT_EQ(results.ReportCommandResult(reply.get()), 0);
}

TEST_F(WeekdayLogTest, UnsentRequestIsLoggedAsFailedWithTheNodesError) {
  FixedClock clock(1765366245);
  CommandLog log(clock, dir_.path() + "/logs");
  ResultLog results(clock, nullptr, &log, "u");
  PcfPtr request(CreatePcfMessage(10108, 1, 512));
  CPCF::AddStrParm("G", 20006, request.get());
  results.ReportUnsent(request.get(), 10061);
  EXPECT_EQ(ReadFile(log.CurrentPath()),
            "\"11:30:45, Dec, 10, 2025\",\"u\",\"(RC - 10061), CMD - "
            "EXCMD_INQUIRE_ACTIVE_MANAGER - Failed!\",\"\\\\G\\\"\n");
}

// ---- Parameter appenders ----

std::vector<std::string> Strings(mqPcfMessage* message) {
  RawToPcf(message);
  std::vector<std::string> out;
  Message holder;
  std::memset(&holder, 0, sizeof holder);
  CreateMessage(&holder, 512);
  for (MQLONG pos = 1; GetAttrByPos(pos, &holder, message) == 1; ++pos) {
    char text[600] = {0};
    if (GetPcfStrAttrValue(&holder, text, 512) == 1) {
      out.push_back(std::string("S:") + text);
      continue;
    }
    MQLONG value;
    if (GetPcfIntAttrValue(&holder, &value) == 1) {
      out.push_back("I:" + std::to_string(value));
      continue;
    }
    std::string list = "L:";
    for (MQLONG i = 0; GetPcfStrListAttrValue(&holder, i, text, 48) == 1; ++i) {
      std::string item(text);
      item.erase(item.find_last_not_of(' ') + 1);
      list += "[" + item + "]";
    }
    out.push_back(list);
  }
  DeleteMessage(&holder);
  return out;
}

TEST(Appenders, StringRules) {
  PcfPtr m(CreatePcfMessage(8, 1, 1024));
  CPCF::AddStrParm("NAME  ", 2016, m.get());
  CPCF::AddStrParm("", 2013, m.get());
  CPCF::AddStrParm("   ", 2013, m.get());
  CPCF::AddRawStrParm("RAW  ", 2013, m.get());
  CPCF::AddStrListParm("A, B;C", 2020, m.get());
  CPCF::AddStrListParm("", 2020, m.get());
  CPCF::AddIntParm(7, 20, m.get());
  std::vector<std::string> expected = {"S:NAME", "S: ",          "S: ", "S:RAW  ",
                                       "L:[A][B][C]", "L:[]", "I:7"};
  EXPECT_EQ(Strings(m.get()), expected);
}

TEST(Appenders, IfChangedComparesWithTheOldValueTrimmed) {
  PcfPtr old(CreatePcfMessage(8, 2, 512));
  CPCF::AddRawStrParm("DESC   ", 2013, old.get());
  CPCF::AddIntParm(5, 15, old.get());
  RawToPcf(old.get());
  Message desc, depth;
  std::memset(&desc, 0, sizeof desc);
  std::memset(&depth, 0, sizeof depth);
  CreateMessage(&desc, 512);
  CreateMessage(&depth, 512);
  ASSERT_EQ(GetAttrByID(2013, &desc, old.get()), 1);
  ASSERT_EQ(GetAttrByID(15, &depth, old.get()), 1);
  PcfPtr m(CreatePcfMessage(8, 1, 1024));
  CPCF::AddStrParmIfChanged("DESC", 2013, 64, &desc, m.get());   // same: nothing
  CPCF::AddStrParmIfChanged("OTHER", 2013, 3, &desc, m.get());   // cut to 3
  CPCF::AddStrParmIfChanged("", 2013, 64, &desc, m.get());       // empty as " "
  CPCF::AddIntParmIfChanged(5, 15, &depth, m.get());             // same: nothing
  CPCF::AddIntParmIfChanged(6, 15, &depth, m.get());
  std::vector<std::string> expected = {"S:OTH", "S: ", "I:6"};
  EXPECT_EQ(Strings(m.get()), expected);
  DeleteMessage(&desc);
  DeleteMessage(&depth);
}

TEST(Appenders, AuthenticateForNodeSkipsEmptySlots) {
  CPCF cpcf;
  SocketAddress a{};
  std::strcpy(a.host, "127.0.0.1");
  std::strcpy(a.service, "1");
  std::strcpy(a.protocol, "tcp");
  cpcf.node[3] = CreateMQNode(&a, 0);
  cpcf.authenticate[3] = 0;
  cpcf.authenticate[1] = 1;
  EXPECT_EQ(cpcf.SlotOfNode(cpcf.node[3]), 3);
  EXPECT_EQ(cpcf.GetAuthenticateForNode(cpcf.node[3]), 0);
  cpcf.authenticate[3] = 1;
  EXPECT_EQ(cpcf.GetAuthenticateForNode(cpcf.node[3]), 1);
  mqnMQNodeData* stranger = CreateMQNode(&a, 0);
  EXPECT_EQ(cpcf.GetAuthenticateForNode(stranger), 0);
  DeleteMQNode(stranger);
}

// ---- The profile ----

TEST(Profile, VerbatimSectionsKeysAndValues) {
  peertest::TempDir dir;
  const std::string path = dir.path() + "/conf/admdesk.ini";
  {
    IniProfile profile(path);
    EXPECT_EQ(profile.GetInt("Connections", "Number of Connections", 0), 0);
    EXPECT_TRUE(profile.WriteInt("Connections", "Number of Connections", 2));
    EXPECT_TRUE(profile.WriteString("Connections", "Host-Name_1", " host one "));
    EXPECT_TRUE(profile.WriteString("Settings", "WinSize", "0010 0020 0800 0600"));
    EXPECT_TRUE(profile.WriteString("Dialog Sizes\\1388", "Size", "1 2"));
    EXPECT_TRUE(profile.WriteString("connections", "host-name_1", "h1"));  // same key
    EXPECT_FALSE(profile.WriteString("Settings", "Bad", "two\nlines"));
    EXPECT_FALSE(profile.WriteString("Settings", "a=b", "x"));
  }
  EXPECT_EQ(ReadFile(path),
            "[Connections]\nNumber of Connections=2\nHost-Name_1=h1\n\n"
            "[Settings]\nWinSize=0010 0020 0800 0600\n\n[Dialog Sizes\\1388]\nSize=1 2\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(stat((dir.path() + "/conf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  IniProfile again(path);
  EXPECT_EQ(again.GetInt("CONNECTIONS", "number of connections", 0), 2);
  EXPECT_EQ(again.GetString("Settings", "WinSize"), "0010 0020 0800 0600");
  EXPECT_TRUE(again.DeleteKey("Connections", "Host-Name_1"));
  EXPECT_FALSE(again.HasKey("Connections", "Host-Name_1"));
  EXPECT_TRUE(again.WriteString("Settings", "Odd", "12x"));
  EXPECT_EQ(again.GetInt("Settings", "Odd", -3), -3);
}

TEST(Profile, ReadsCrLfAndIgnoresStrayLines) {
  peertest::TempDir dir;
  const std::string path = dir.path() + "/p.ini";
  std::ofstream(path) << "stray\r\n[Connections]\r\nIP-Port_1=4005\r\n; note\r\n=x\r\n"
                         "Host-Name_1=h\r\r\n";
  IniProfile profile(path);
  EXPECT_EQ(profile.GetString("Connections", "IP-Port_1"), "4005");
  EXPECT_EQ(profile.GetString("Connections", "Host-Name_1"), "h");  // no CR kept at the end
  EXPECT_EQ(profile.GetInt("Connections", "IP-Port_1", 0), 4005);
}

TEST(Profile, DefaultPathHonoursTheOverride) {
  setenv(kProfileVariable, "/tmp/x/profile.ini", 1);
  EXPECT_EQ(DefaultProfilePath(), "/tmp/x/profile.ini");
  unsetenv(kProfileVariable);
  setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
  EXPECT_EQ(DefaultProfilePath(), "/tmp/xdg/brackwin/admdesk.ini");
}

}  // namespace
}  // namespace admclient
