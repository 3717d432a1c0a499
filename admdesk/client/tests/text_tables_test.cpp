// The value-to-text tables, item texts and error texts as tables of (call,
// expected) written out from the console's documented rows.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "admclient/admclient.h"
#include "support/scripted_peer.h"

namespace admclient {
namespace {

TEST(TextTables, TextsOfCodes) {
  CMQText t;
  struct {
    std::function<std::string()> call;
    const char* expected;
  } cases[] = {
      {[&] { return t.AttrName(3); }, ""},
      {[&] { return t.AttrName(43); }, "Queue Depth High Even"},
      {[&] { return t.AttrName(20071); }, "Local Queue Mas"},
      {[&] { return t.AttrName(1503); }, "Disconect Interval"},
      {[&] { return t.AttrName(32); }, "Platform"},
      {[&] { return t.AttrName(20119); }, "Platform"},
      {[&] { return t.AttrName(20912); }, "Host Name"},
      {[&] { return t.AttrName(1); }, "Application Type"},
      {[&] { return t.AttrName(-1); }, ""},
      {[&] { return t.ReasonText(2009); }, "2009"},
      {[&] { return t.ReasonText(0); }, "INFO: Command completed successfully"},
      {[&] { return t.ReasonText(20107); }, "INFO: Command is in progress..."},
      {[&] { return t.ReasonText(20603); }, "ERROR: Database restore"},
      {[&] { return t.ReasonText(-5); }, "-5"},
      {[&] { return t.EventCategoryText(10200); }, "Alter"},
      {[&] { return t.EventCategoryText(8001); }, "Alter"},
      {[&] { return t.EventCategoryText(44); }, "Queue Manager"},
      {[&] { return t.EventCategoryText(8003); }, "Object State"},
      {[&] { return t.EventCategoryText(99); }, "99"},
      {[&] { return t.EnabledText(5); }, "Enabled"},
      {[&] { return t.EnabledText(0); }, "Disabled"},
      {[&] { return t.YesNoText(0); }, "No"},
      {[&] { return t.AllowedText(0); }, "Allowed"},
      {[&] { return t.AllowedText(1); }, "Inhibited"},
      {[&] { return t.PlatformText(7); }, "WIN/NT"},
      {[&] { return t.PlatformText(9); }, ""},
      {[&] { return t.PlatformName(11); }, "WINDOWS NT"},
      {[&] { return t.PlatformName(6); }, "6"},
      {[&] { return t.QueueTypeText(4); }, "Queue Manager Alias"},
      {[&] { return t.QueueTypeText(5); }, ""},
      {[&] { return t.ClusterQMgrDefTypeText(4); }, "Auto Explicit Cluster Sender"},
      {[&] { return t.TransportTypeText(2); }, "TCP"},
      {[&] { return t.TransportTypeText(7); }, "7"},
      {[&] { return t.QMgrStateText(4); }, "Active"},
      {[&] { return t.QMgrStateText(0); }, "0"},
      {[&] { return t.ChannelTypeText(5); }, ""},
      {[&] { return t.ChannelTypeText(6); }, "Clnt. conn"},
      {[&] { return t.ChannelStatusText(8); }, "Paused"},
      {[&] { return t.ChannelStatusText(9); }, "9"},
      {[&] { return t.ActionText(5); }, "None"},
      {[&] { return t.ActionText(0); }, ""},
      {[&] { return t.ScopeText(1); }, "Cell"},
      {[&] { return t.ScopeText(2); }, ""},
      {[&] { return t.ObjectTypeText(15); }, "Client Connection"},
      {[&] { return t.ObjectTypeText(11); }, ""},
      {[&] { return t.CommandName(10005); }, "EXCMD_OPEN_EVENT"},
      {[&] { return t.CommandName(11101); }, "EXCMD_DB_RESTORE"},
      {[&] { return t.CommandName(1); }, "MQCMD_CHANGE_Q_MGR"},
      {[&] { return t.CommandName(41); }, ""},
      {[&] { return t.CommandName(11001); }, ""},
      {[&] { return t.DurationText(0); }, "00:00:00 hours"},
      {[&] { return t.DurationText(90061); }, "1 days, 01:01:01 hours"},
      {[&] { return t.DurationText(86399); }, "23:59:59 hours"},
      {[&] { return t.DurationText(3 * 86400); }, "3 days, 00:00:00 hours"},
      {[&] { return t.DateTimeText("2002-07-15  ", "13.05.09"); }, "07/15/2002  01:05:09 PM"},
      {[&] { return t.DateTimeText("2002-07-15  ", "00.00.00"); }, "07/15/2002  12:00:00 AM"},
      {[&] { return t.DateTimeText("            ", "13.05.09"); }, ""},
      {[&] { return t.DateTimeText("2002-13-15  ", "13.05.09"); }, ""},
      {[&] { return t.DateTimeText("2003-02-29  ", "13.05.09"); }, ""},
      {[&] { return t.DateTimeText("2002-07-15", "1x.05.09"); }, ""},
      {[&] { return t.DateTimeText("2002", "13.05"); }, ""},
  };
  int row = 0;
  for (const auto& c : cases) EXPECT_EQ(c.call(), c.expected) << "row " << row++;
}

TEST(TextTables, NumbersOfCodesAndPositions) {
  CMQText t;
  struct {
    std::function<int()> call;
    int expected;
  } cases[] = {
      {[&] { return t.ReasonImage(20306); }, 3},  {[&] { return t.ReasonImage(2035); }, 30},
      {[&] { return t.ReasonImage(2227); }, 14},  {[&] { return t.ReasonImage(8015); }, 29},
      {[&] { return t.ReasonImage(2009); }, 0},   {[&] { return t.ReasonImage(0); }, 0},
      {[&] { return t.StartStopClass(28); }, 1},  {[&] { return t.StartStopClass(10126); }, 2},
      {[&] { return t.StartStopClass(8); }, 5},
      {[&] { return t.ChannelTypeFromText("Srv. conn"); }, 7},
      {[&] { return t.ChannelTypeFromText("Cluster Receiver"); }, 8},
      {[&] { return t.ChannelTypeFromText("sender"); }, 0},
      {[&] { return t.ChannelTypeFromText(""); }, 0},
      {[&] { return t.ChannelTypeToIndex(5); }, 5}, {[&] { return t.ChannelTypeToIndex(3); }, 1},
      {[&] { return t.ChannelTypeToIndex(8); }, 7}, {[&] { return t.ChannelTypeFromIndex(1); }, 2},
      {[&] { return t.ChannelTypeFromIndex(4); }, 7}, {[&] { return t.ChannelTypeFromIndex(8); }, -1},
      {[&] { return t.ChannelTypeFromIndex(-1); }, -1}, {[&] { return t.QueueTypeFromIndex(0); }, 3},
      {[&] { return t.QueueTypeFromIndex(3); }, 2}, {[&] { return t.QueueTypeFromIndex(4); }, -1},
      {[&] { return t.TransportTypeToIndex(0); }, -1}, {[&] { return t.TransportTypeToIndex(6); }, 5},
      {[&] { return t.TransportTypeToIndex(9); }, 9},
  };
  int row = 0;
  for (const auto& c : cases) EXPECT_EQ(c.call(), c.expected) << "row " << row++;
}

TEST(TextTables, UtcTimesAndSecondsAgoFollowTheLocalZone) {
  setenv("TZ", "UTC", 1);
  tzset();
  CMQText t;
  EXPECT_EQ(t.UtcDateTimeText("2002-07-15  ", "13.05.09"), "07/15/2002  01:05:09 PM");
  FixedClock clock(1026738309);  // 2002-07-15 13:05:09 UTC
  EXPECT_EQ(t.SecondsAgoText(3600, clock), "07/15/2002  12:05:09 PM");
  setenv("TZ", "EST5", 1);
  tzset();
  EXPECT_EQ(t.UtcDateTimeText("2002-07-15  ", "13.05.09"), "07/15/2002  08:05:09 AM");
  unsetenv("TZ");
  tzset();
}

TEST(TextTables, ReasonTextFileJoinsLinesAndMissesCleanly) {
  peertest::TempDir dir;
  setenv("HRLCOMPACT", dir.path().c_str(), 1);
  CMQText t;
  std::string text = "caller's";
  EXPECT_FALSE(t.ReasonTextFromIni(2035, &text));  // no file
  EXPECT_EQ(text, "caller's");
  std::filesystem::create_directories(dir.path() + "/config/groups");
  std::ofstream(dir.path() + "/config/groups/tlxrc.ini")
      << "2035\"MQRC_NOT_AUTHORIZED: not\nauthorized\"\n"
      << "20107\"EXRC_CMD_IN_PROGRESS: running\"\n";
  EXPECT_TRUE(t.ReasonTextFromIni(2035, &text));
  EXPECT_EQ(text, "MQRC_NOT_AUTHORIZED: not authorized");
  EXPECT_FALSE(t.ReasonTextFromIni(2036, &text));
  EXPECT_FALSE(t.ReasonTextFromIni(203, &text));
  unsetenv("HRLCOMPACT");
}

TEST(ItemText, SplitAndMake) {
  struct {
    const char* text;
    const char* name;
    const char* qualifier;
  } cases[] = {
      {"QM1", "QM1", "*"},
      {"Channels     <SYSTEM.*>", "Channels", "SYSTEM.*"},
      {"Channels     <>", "Channels", "*"},
      {"Queues <A.B", "Queues", "A.B"},
      {"Queues   <A.B  >tail", "Queues", "A.B"},
      {"", "", "*"},
      {"NAME   ", "NAME", "*"},
  };
  for (const auto& c : cases) {
    SplitText split = SplitItemText(c.text);
    EXPECT_EQ(split.name, c.name) << c.text;
    EXPECT_EQ(split.qualifier, c.qualifier) << c.text;
  }
  EXPECT_EQ(MakeItemText("Channels", "SYSTEM.*"), "Channels     <SYSTEM.*>");
  EXPECT_EQ(MakeItemText("Channels", ""), "Channels     <>");
  std::string text = "AB  ";
  EXPECT_EQ(TrimTrailingBlanks(&text), 1);
  EXPECT_EQ(text, "AB");
  text = "   ";
  EXPECT_EQ(TrimTrailingBlanks(&text), -1);
  EXPECT_EQ(ItemPath("G", "N", "Q"), "\\\\G\\N\\Q");
}

TEST(ItemText, SelectionContextByLevel) {
  std::vector<std::string> path = {"MQSeries Network", "GROUP1", "node1", "QM1",
                                   "Queues", "Local Queues     <APP.*>", "APP.Q1"};
  SelectionContext five = FillItemContext({path.begin(), path.begin() + 5});
  EXPECT_EQ(five.level, 5);
  EXPECT_EQ(five.queue_manager_name, "QM1");
  EXPECT_EQ(five.folder_name, "");  // the folder is the item itself
  SelectionContext six = FillItemContext({path.begin(), path.begin() + 6});
  EXPECT_EQ(six.object_name, "Local Queues");
  EXPECT_EQ(six.qualifier, "APP.*");
  EXPECT_EQ(six.folder_name, "Queues");
  SelectionContext seven = FillItemContext(path);
  EXPECT_EQ(seven.level, 7);
  EXPECT_EQ(seven.qualifier, "*");  // the parent's filter does not replace the item's
  EXPECT_EQ(seven.parent_name, "Local Queues");
  EXPECT_EQ(seven.object_level_name, "Local Queues");
  EXPECT_EQ(seven.group_name, "GROUP1");
  EXPECT_EQ(seven.node_name, "node1");
  SelectionContext root = FillItemContext({path[0]});
  EXPECT_EQ(root.level, 1);
  EXPECT_EQ(root.group_name, "");
}

TEST(ItemText, SocketErrorTexts) {
  EXPECT_EQ(SocketErrorText(10060), "Connection could not be established due to a timeout");
  EXPECT_EQ(SocketErrorText(10057), SocketErrorText(10061));
  EXPECT_EQ(SocketErrorText(11001), "Host not found.");
  EXPECT_EQ(SocketErrorText(10054), "Connection has been reset by the remote side");
  EXPECT_EQ(SocketErrorText(1004), "The remote side closed the connection (0x3ec)");
  EXPECT_EQ(SocketErrorText(10055), "WSAENOBUFS (0x2747)");
}

}  // namespace
}  // namespace admclient
