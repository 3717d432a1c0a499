// Command names and the exact printed forms of headers, records, messages
// and dumps. Expected texts are written out by hand.

#include "pcfcore/print.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "pcfcore/pcfcore.h"

namespace {

struct NameCase {
  MQLONG code;
  const char* name;
};

TEST(PcfIdToNameTest, KnownAndUnknownCodes) {
  const NameCase cases[] = {
      {18, "MQCMD_INQUIRE_Q_NAMES"},
      {10128, "EXCMD_REGISTER_MQNODE"},
      {10170, "UNKNOWN"},  // EXCMD_INQUIRE_CHANNEL_EVENT has no row
      {0, "UNKNOWN"},
      {1, "MQCMD_CHANGE_Q_MGR"},
      {42, "MQCMD_INQUIRE_CHANNEL_STATUS"},
      {41, "UNKNOWN"},
      {16, "UNKNOWN"},
      {74, "MQCMD_RESET_CLUSTER"},
      {8001, "EXCMD_ALTER_EVENT"},
      {8003, "EXCMD_STATE_EVENT"},
      {10020, "EXCMD_INQUIRE_CLUSQMGR_NAMES"},
      {10126, "UNKNOWN"},
      {10907, "EXCMD_MOVE_QLOCAL"},
      {11002, "EXCMD_EXECUTE_SHELL_CMD"},
      {11001, "UNKNOWN"},
      {-1, "UNKNOWN"},
  };
  for (const NameCase& c : cases) EXPECT_STREQ(PcfIdToName(c.code), c.name) << c.code;
}

// Every row of the table, written out by code and name; every other code
// in the range the suite uses has no name.
TEST(PcfIdToNameTest, EveryNamedCodeAndNoOther) {
  const NameCase table[] = {
      {1, "MQCMD_CHANGE_Q_MGR"},
      {2, "MQCMD_INQUIRE_Q_MGR"},
      {3, "MQCMD_CHANGE_PROCESS"},
      {4, "MQCMD_COPY_PROCESS"},
      {5, "MQCMD_CREATE_PROCESS"},
      {6, "MQCMD_DELETE_PROCESS"},
      {7, "MQCMD_INQUIRE_PROCESS"},
      {8, "MQCMD_CHANGE_Q"},
      {9, "MQCMD_CLEAR_Q"},
      {10, "MQCMD_COPY_Q"},
      {11, "MQCMD_CREATE_Q"},
      {12, "MQCMD_DELETE_Q"},
      {13, "MQCMD_INQUIRE_Q"},
      {17, "MQCMD_RESET_Q_STATS"},
      {18, "MQCMD_INQUIRE_Q_NAMES"},
      {19, "MQCMD_INQUIRE_PROCESS_NAMES"},
      {20, "MQCMD_INQUIRE_CHANNEL_NAMES"},
      {21, "MQCMD_CHANGE_CHANNEL"},
      {22, "MQCMD_COPY_CHANNEL"},
      {23, "MQCMD_CREATE_CHANNEL"},
      {24, "MQCMD_DELETE_CHANNEL"},
      {25, "MQCMD_INQUIRE_CHANNEL"},
      {26, "MQCMD_PING_CHANNEL"},
      {27, "MQCMD_RESET_CHANNEL"},
      {28, "MQCMD_START_CHANNEL"},
      {29, "MQCMD_STOP_CHANNEL"},
      {30, "MQCMD_START_CHANNEL_INIT"},
      {31, "MQCMD_START_CHANNEL_LISTENER"},
      {32, "MQCMD_CHANGE_NAMELIST"},
      {33, "MQCMD_COPY_NAMELIST"},
      {34, "MQCMD_CREATE_NAMELIST"},
      {35, "MQCMD_DELETE_NAMELIST"},
      {36, "MQCMD_INQUIRE_NAMELIST"},
      {37, "MQCMD_INQUIRE_NAMELIST_NAMES"},
      {38, "MQCMD_ESCAPE"},
      {39, "MQCMD_RESOLVE_CHANNEL"},
      {40, "MQCMD_PING_Q_MGR"},
      {42, "MQCMD_INQUIRE_CHANNEL_STATUS"},
      {44, "MQCMD_Q_MGR_EVENT"},
      {45, "MQCMD_PERFM_EVENT"},
      {46, "MQCMD_CHANNEL_EVENT"},
      {70, "MQCMD_INQUIRE_CLUSTER_Q_MGR"},
      {71, "MQCMD_RESUME_Q_MGR_CLUSTER"},
      {72, "MQCMD_SUSPEND_Q_MGR_CLUSTER"},
      {73, "MQCMD_REFRESH_CLUSTER"},
      {74, "MQCMD_RESET_CLUSTER"},
      {8001, "EXCMD_ALTER_EVENT"},
      {8002, "EXCMD_MANAGER_EVENT"},
      {8003, "EXCMD_STATE_EVENT"},
      {10001, "EXCMD_START_MCA"},
      {10002, "EXCMD_STOP_MCA"},
      {10003, "EXCMD_START_Q_MGR"},
      {10004, "EXCMD_STOP_Q_MGR"},
      {10005, "EXCMD_OPEN_EVENT"},
      {10006, "EXCMD_CLOSE_EVENT"},
      {10007, "EXCMD_INQUIRE_Q_MGR_NAMES"},
      {10008, "EXCMD_MQ_OPEN"},
      {10009, "EXCMD_MQ_CLOSE"},
      {10010, "EXCMD_STOP_PCFEM"},
      {10012, "EXCMD_CREATE_Q_MGR"},
      {10013, "EXCMD_DELETE_Q_MGR"},
      {10014, "EXCMD_MQSC_SCRIPT"},
      {10015, "EXCMD_HEART_BEAT"},
      {10016, "EXCMD_LOCATE_OBJECT"},
      {10017, "EXCMD_INQUIRE_Q_RUNTIME"},
      {10020, "EXCMD_INQUIRE_CLUSQMGR_NAMES"},
      {10101, "EXCMD_INQUIRE_MANAGER"},
      {10102, "EXCMD_CHANGE_MANAGER"},
      {10103, "EXCMD_DELETE_MANAGER"},
      {10104, "EXCMD_CREATE_MANAGER"},
      {10105, "EXCMD_START_MANAGER"},
      {10106, "EXCMD_STOP_MANAGER"},
      {10107, "EXCMD_CHANGE_MANAGER_STAT"},
      {10110, "EXCMD_SHUTDOWN_MANAGER"},
      {10120, "EXCMD_INQUIRE_MQNODE_NAMES"},
      {10121, "EXCMD_INQUIRE_MQNODE"},
      {10122, "EXCMD_CHANGE_MQNODE"},
      {10123, "EXCMD_DELETE_MQNODE"},
      {10124, "EXCMD_CREATE_MQNODE"},
      {10125, "EXCMD_START_MQNODE"},
      {10127, "EXCMD_CHANGE_MQNODE_STAT"},
      {10128, "EXCMD_REGISTER_MQNODE"},
      {10129, "EXCMD_MANAGE_MQNODE"},
      {10130, "EXCMD_UNMANAGE_MQNODE"},
      {10160, "EXCMD_INQUIRE_Q_MGR_EVENT"},
      {10161, "EXCMD_DELETE_Q_MGR_EVENT"},
      {10180, "EXCMD_INQUIRE_MANAGER_EVENT"},
      {10181, "EXCMD_DELETE_MANAGER_EVENT"},
      {10190, "EXCMD_INQUIRE_PERFM_EVENT"},
      {10191, "EXCMD_DELETE_PERFM_EVENT"},
      {10200, "EXCMD_INQUIRE_ALTER_EVENT"},
      {10201, "EXCMD_DELETE_ALTER_EVENT"},
      {10205, "EXCMD_INQUIRE_TEXT_FILE"},
      {10206, "EXCMD_CREATE_TEXT_FILE"},
      {10300, "EXCMD_MG_BROWSE"},
      {10301, "EXCMD_MG_NEW"},
      {10302, "EXCMD_MG_MOVE"},
      {10303, "EXCMD_MG_DELETE"},
      {10304, "EXCMD_MG_COPY"},
      {10901, "EXCMD_DISPLAY_GROUP"},
      {10902, "EXCMD_DISPLAY_LOG"},
      {10903, "EXCMD_SET_LOG"},
      {10904, "EXCMD_ARCHIVE_LOG"},
      {10905, "EXCMD_DISPLAY_QSTATUS"},
      {10907, "EXCMD_MOVE_QLOCAL"},
      {10998, "EXCMD_START_PROCESS"},
      {10999, "EXCMD_TEST_Q_MGR"},
      {11000, "EXCMD_MQ_DISCOVER"},
      {11002, "EXCMD_EXECUTE_SHELL_CMD"},
  };
  std::map<MQLONG, std::string> named;
  for (const NameCase& c : table) {
    EXPECT_STREQ(PcfIdToName(c.code), c.name) << c.code;
    named[c.code] = c.name;
  }
  EXPECT_EQ(named.size(), 109u);
  for (MQLONG code = -100; code <= 12000; ++code) {
    if (named.count(code) == 0) {
      EXPECT_STREQ(PcfIdToName(code), "UNKNOWN") << code;
    }
  }
}

// Output of f on standard output.
template <typename F>
std::string Captured(F f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

// The date line's time text replaced by <date>.
std::string WithoutDate(const std::string& text) {
  return std::regex_replace(text, std::regex("Date: [^\n]*\n"), "Date: <date>\n");
}

// A record built by a builder, freed at the end of the test.
struct Record {
  Record() { std::memset(&m, 0, sizeof(m)); }
  ~Record() { DeleteMessage(&m); }
  Message m;
};

TEST(PcfPrintTest, MessageHeader) {
  Record r;
  ASSERT_EQ(CreateMessage(&r.m, 0), 1);
  MessageHeader* h = MESSAGE_HEADER(&r.m);
  h->StrucLength = 136;
  h->lUserMsgLength = 52;
  std::strcpy(h->ApplName, "grpserver");
  std::strcpy(h->UserId, "alice");
  EXPECT_EQ(Captured([&] { PrintMessage(&r.m); }),
            "(MDHDR)\nStrucLength(136)lUserMsgLength(52)\nApplName(\"grpserver\")\n\nUserId(\"alice\")\n\n");
  // A full 48-character name without a NUL is printed to its field's end.
  std::memset(h->ApplName, 'A', 48);
  std::string out = Captured([&] { PrintMessage(&r.m); });
  EXPECT_NE(out.find("ApplName(\"" + std::string(48, 'A') + "\")\n\n"), std::string::npos);
}

TEST(PcfPrintTest, IntegerRecord) {
  Record r;
  ASSERT_EQ(CreatePcfIntAttr(&r.m, 20, 1001), 1);
  int result = 0;
  EXPECT_EQ(Captured([&] { result = PrintPcfAttr(&r.m); }),
            "\nPCF Integer (MQCFIN):\n->Type(3), StrucLength(16), Parameter (20), Value(1001)\n");
  EXPECT_EQ(result, 1);
}

TEST(PcfPrintTest, StringRecordShowsAtMost256Characters) {
  Record r;
  ASSERT_EQ(CreatePcfStrAttr(&r.m, 2016, "SYSTEM.DEF"), 1);
  EXPECT_EQ(Captured([&] { PrintPcfAttr(&r.m); }),
            "\nPCF String (MQCFST):\n->Type(4), StrucLength(32), Parameter(2016), CharSet(0)\n"
            "->StringLength(10), String(\"SYSTEM.DEF\")\n");
  Record big;
  std::string text(300, 'x');
  ASSERT_EQ(CreatePcfStrAttr(&big.m, 3014, text.c_str()), 1);
  EXPECT_EQ(Captured([&] { PrintPcfAttr(&big.m); }),
            "\nPCF String (MQCFST):\n->Type(4), StrucLength(320), Parameter(3014), CharSet(0)\n"
            "->StringLength(300), String(\"" + std::string(256, 'x') + "\")\n");
}

TEST(PcfPrintTest, IntegerListRecord) {
  Record r;
  ASSERT_EQ(CreatePcfIntListAttr(&r.m, 1002, 3), 1);
  SetPcfIntListAttrValue(&r.m, 0, 1009);
  SetPcfIntListAttrValue(&r.m, 1, -1);
  SetPcfIntListAttrValue(&r.m, 2, 7);
  EXPECT_EQ(Captured([&] { PrintPcfAttr(&r.m); }),
            "\nPCF Integer List (MQCFIL):\n->Type(5), StrucLength(28), Parameter (1002), Count(3)\n"
            "->Integer List{ 1009, -1, 7, };\n");
}

TEST(PcfPrintTest, StringListRecord) {
  Record r;
  ASSERT_EQ(CreatePcfStrListAttr(&r.m, 2016, 2, 5), 1);
  SetPcfStrListAttrValue(&r.m, 0, "Q1");
  SetPcfStrListAttrValue(&r.m, 1, "QUEUE");
  EXPECT_EQ(Captured([&] { PrintPcfAttr(&r.m); }),
            "\nPCF String List (MQCFSL):\n->Type(6), StrucLength(36), Parameter (2016), Count(2)\n"
            "->StringLength(5), CharSetId(0)\n->String List\n{\n\t(1) - \"Q1   \"\n\t(2) - \"QUEUE\"\n};\n");
}

TEST(PcfPrintTest, RawBytesRecord) {
  Record r;
  const unsigned char bytes[] = {0x00, 0x7F, 0x80, 0xAB, 0x41};
  ASSERT_EQ(CreatePcfBinAttr(&r.m, 20500, bytes, 5), 1);
  EXPECT_EQ(Captured([&] { PrintPcfAttr(&r.m); }),
            "\nE-PCF Binary (MQCFST):\n->Type(999), StrucLength(28), Parameter(20500), CharSet(0)\n"
            "->StringLength(5) BinaryValue(\"007F80AB41\")\n");
}

TEST(PcfPrintTest, NestedPcfRecordIsShownAsBytes) {
  mqPcfMessage* inner = CreatePcfMessage(2, 1, 0);
  ASSERT_NE(inner, nullptr);
  Record r;
  ASSERT_EQ(CreatePcfPcfAttr(&r.m, 20501, inner), 1);
  DeletePcfMessage(inner);
  // The nested MQCFH: 1, 36, 1, 2, 1, 1, 0, 0, 0 in little-endian words.
  EXPECT_EQ(Captured([&] { PrintPcfAttr(&r.m); }),
            "\nE-PCF PCF (MQCFST):\n->Type(998), StrucLength(56), Parameter(20501), CharSet(0)\n"
            "->StringLength(36) BinaryValue(\""
            "01000000" "24000000" "01000000" "02000000" "01000000" "01000000" "00000000" "00000000" "00000000"
            "\")\n");
}

TEST(PcfPrintTest, HeaderRecordNamesItsCommand) {
  mqPcfMessage* m = CreatePcfMessage(10170, 2, 0);
  ASSERT_NE(m, nullptr);
  Record r;
  ASSERT_EQ(GetAttrByPos(0, &r.m, m), 1);
  EXPECT_EQ(Captured([&] { PrintPcfAttr(&r.m); }),
            "\nPCF Header (MQCFH):\n->Type(2), StrucLength(36), Version(1), Command(10170 = UNKNOWN)\n"
            "->MsgSeqNum(1), Control(1), ParameterCount(0)\n->CompCode(0), Reason(0)\n");
  DeletePcfMessage(m);
}

TEST(PcfPrintTest, UnknownTypeIsReportedAndRefused) {
  Record r;
  ASSERT_EQ(CreatePcfIntAttr(&r.m, 1, 2), 1);
  MQLONG eight = 8;
  std::memcpy(r.m.Payload, &eight, 4);
  int result = 1;
  EXPECT_EQ(Captured([&] { result = PrintPcfAttr(&r.m); }), "\nUNKNOWN PCF Attribute(8): unable to print\n");
  EXPECT_EQ(result, 0);
  // A known type that lies about its length is not read either.
  Record s;
  ASSERT_EQ(CreatePcfStrAttr(&s.m, 1, "AB"), 1);
  MQLONG huge = 100000;
  std::memcpy(s.m.Payload + 16, &huge, 4);
  EXPECT_EQ(Captured([&] { result = PrintPcfAttr(&s.m); }), "\nUNKNOWN PCF Attribute(4): unable to print\n");
  EXPECT_EQ(result, 0);
}

mqPcfMessage* TwoParameterMessage() {
  mqPcfMessage* m = CreatePcfMessage(18, 1, 64);
  Message a, b;
  std::memset(&a, 0, sizeof(a));
  std::memset(&b, 0, sizeof(b));
  CreatePcfStrAttr(&a, 2016, "Q*");
  CreatePcfIntAttr(&b, 20, 1001);
  AppendAttr(m, &a);
  AppendAttr(m, &b);
  DeleteMessage(&a);
  DeleteMessage(&b);
  RawToPcf(m);
  return m;
}

TEST(PcfPrintTest, WholeMessagePrintsEveryRecord) {
  mqPcfMessage* m = TwoParameterMessage();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Captured([&] { EXPECT_EQ(PrintPcfMessage(m), 1); }),
            "\nPCF Header (MQCFH):\n->Type(1), StrucLength(36), Version(1), Command(18 = MQCMD_INQUIRE_Q_NAMES)\n"
            "->MsgSeqNum(1), Control(1), ParameterCount(2)\n->CompCode(0), Reason(0)\n"
            "\nPCF String (MQCFST):\n->Type(4), StrucLength(24), Parameter(2016), CharSet(0)\n"
            "->StringLength(2), String(\"Q*\")\n"
            "\nPCF Integer (MQCFIN):\n->Type(3), StrucLength(16), Parameter (20), Value(1001)\n");
  DeletePcfMessage(m);
}

TEST(PcfPrintTest, UnprintableRecordMakesTheMessageDump) {
  mqPcfMessage* m = TwoParameterMessage();
  ASSERT_NE(m, nullptr);
  // The index views the body, so the changed type is what gets printed.
  MQLONG eight = 8;
  std::memcpy(PCF_BODY(m) + 36 + 24, &eight, 4);
  std::string out = WithoutDate(Captured([&] { PrintPcfMessage(m); }));
  const std::string expected_start =
      "\nPCF Header (MQCFH):\n->Type(1), StrucLength(36), Version(1), Command(18 = MQCMD_INQUIRE_Q_NAMES)\n"
      "->MsgSeqNum(1), Control(1), ParameterCount(2)\n->CompCode(0), Reason(0)\n"
      "\nPCF String (MQCFST):\n->Type(4), StrucLength(24), Parameter(2016), CharSet(0)\n"
      "->StringLength(2), String(\"Q*\")\n"
      "\nUNKNOWN PCF Attribute(8): unable to print\n"
      "\nDate: <date>\n----------Begin: PCF MESSAGE DUMP---------------\n";
  EXPECT_EQ(out.substr(0, expected_start.size()), expected_start);
  EXPECT_NE(out.find("----------End: PCF MESSAGE DUMP---------------\n\n"), std::string::npos);
  DeletePcfMessage(m);
}

TEST(PcfDumpTest, MessageWithAWholeHeader) {
  mqPcfMessage* m = TwoParameterMessage();
  ASSERT_NE(m, nullptr);
  std::string out = WithoutDate(Captured([&] { EXPECT_EQ(DumpPcfMessage(m), 1); }));
  EXPECT_EQ(out,
            "\nDate: <date>\n"
            "----------Begin: PCF MESSAGE DUMP---------------\n"
            "\nPCF Header (MQCFH):\n"
            "->Type(1), StrucLength(36), Version(1),\n->Command(18),\n"
            "MsgSeqNum(1), Control(1),\n->ParameterCount(2)\n"
            "CompCode(0), Reason(0)\n"
            "\nPCF Message Data (HEX):\n"
            "00000001 00000024 00000001 00000012 \n"
            "00000001 00000001 00000000 00000000 \n"
            "00000002 00000004 00000018 000007E0 \n"
            "00000000 00000002 00002A51 00000003 \n"
            "00000010 00000014 000003E9 "
            "\nPCF Message Data (ASCII):\n"
            "....$..............................\n"
            ".....................Q*............\n"  // Q* at body offset 56
            "......"
            "\n----------End: PCF MESSAGE DUMP---------------\n\n");
  DeletePcfMessage(m);
}

TEST(PcfDumpTest, ShortBodyDumpsTheLengthLineAndWholeWords) {
  mqPcfMessage* m = CreatePcfMessage(1, 1, 0);
  ASSERT_NE(m, nullptr);
  const unsigned char bytes[10] = {'A', 'B', ' ', 0x01, 0x80, 'z', '~', 0, 0, '9'};
  std::memcpy(PCF_BODY(m), bytes, 10);
  m->Body.UsedLength = 136 + 10;
  std::string out = WithoutDate(Captured([&] { DumpPcfMessage(m); }));
  EXPECT_EQ(out,
            "\nDate: <date>\n"
            "----------Begin: PCF MESSAGE DUMP---------------\n"
            "PCF MQCFH Header length = 10\n"
            "PCF Message Header (MQCFH) is too short or empty!\n"
            "\nPCF Message Data (HEX):\n"
            "01204241 007E7A80 00003900 "  // the third word's last two bytes are past the body
            "\nPCF Message Data (ASCII):\n"
            "AB...z~..9"
            "\n----------End: PCF MESSAGE DUMP---------------\n\n");
  DeletePcfMessage(m);
}

TEST(PcfDumpTest, HexDumpShowsFullLinesWithCharacters) {
  std::vector<unsigned char> bytes;
  for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<unsigned char>('a' + i));
  bytes[3] = 0x80;
  bytes[4] = ' ';
  bytes.push_back(0x41);
  std::string out = Captured([&] { DumpHexMessage(bytes.data(), 17); });
  size_t header_end = out.find("...\n");
  ASSERT_NE(header_end, std::string::npos);
  EXPECT_NE(out.find(" DumpHexMessage: pBuf "), std::string::npos);
  EXPECT_NE(out.find(" hex, Length=17...\n"), std::string::npos);
  EXPECT_EQ(out.substr(header_end + 4),
            "61 62 63 80 20 66 67 68 69 6A 6B 6C 6D 6E 6F 70 abc..fghijklmnop\n"
            "41 ");
}

}  // namespace

namespace {

TEST(PcfPrintTest, ListOfEmptyStringsShowsAtMost256Entries) {
  // StringLength 0 lets Count be anything without the record growing.
  Record r;
  ASSERT_EQ(CreatePcfStrListAttr(&r.m, 2016, 1, 0), 1);
  MQLONG count = 5000000;
  std::memcpy(r.m.Payload + 16, &count, 4);
  ASSERT_EQ(IsPcfAttrValid(&r.m), 1);
  std::string out = Captured([&] { EXPECT_EQ(PrintPcfAttr(&r.m), 1); });
  EXPECT_NE(out.find("\t(256) - \"\"\n};\n"), std::string::npos);
  EXPECT_EQ(out.find("(257)"), std::string::npos);
}

}  // namespace
