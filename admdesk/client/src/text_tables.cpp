// The value-to-text tables of CMQText.
//
// Divisions: 1. lookup helpers; 2. attribute names, reason texts and images,
// event categories; 3. the reason-text file; 4. enumerations and combo-box
// positions; 5. dates, times and durations; 6. command names.
//
// The tables are sorted by code where a binary search is used; a row added
// to one of them must keep that order (a test checks it).

#include "admclient/text_tables.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

#include "admclient/seams.h"
#include "pcfcore/ini.h"

namespace admclient {
namespace {

// ---- 1. Lookup helpers ------------------------------------------------------

struct CodeText {
  int code;
  const char* text;
};

template <size_t N>
const char* FindSorted(const CodeText (&table)[N], int code) {
  auto it = std::lower_bound(std::begin(table), std::end(table), code,
                             [](const CodeText& row, int c) { return row.code < c; });
  if (it == std::end(table) || it->code != code) return nullptr;
  return it->text;
}

std::string Or(const char* text, std::string fallback) {
  return text != nullptr ? std::string(text) : fallback;
}

std::string Decimal(long value) { return std::to_string(value); }

// ---- 2. Attribute names, reason texts and images, event categories --------

const CodeText kAttrNames[] = {
      {1, "Application Type"},
      {2, "CCSID"},
      {4, "Default Input Open Option"},
      {5, "Persistence"},
      {6, "Default Priority"},
      {7, "Definition Type"},
      {8, "Harden Get Backout"},
      {9, "Inhibit Get"},
      {10, "Inhibit Put"},
      {11, "Max Handles"},
      {12, "Usage"},
      {13, "Max Message Length"},
      {14, "Max Priority"},
      {15, "Max Queue Depth"},
      {16, "Message Delivery Sequence"},
      {21, "Retention Interval"},
      {22, "Backout Threshold"},
      {23, "Queue Shareability"},
      {24, "Trigger Control"},
      {25, "Trigger Interval"},
      {26, "Trigger Message Priority"},
      {28, "Trigger Type"},
      {29, "Trigger Depth"},
      {30, "Syncpoint"},
      {32, "Platform"},
      {33, "Max Uncommitted Messages"},
      {34, "Distribution Lists"},
      {36, "High Queue Depth"},
      {37, "Message enqueue count"},
      {38, "Message dequeue count"},
      {40, "Queue Depth High Limit"},
      {41, "Queue Depth Low Limit"},
      {42, "Queue Depth Max Event"},
      {43, "Queue Depth High Even"},
      {44, "Queue Depth Low Event"},
      {45, "Scope"},
      {46, "Queue Service Interval Event"},
      {47, "Authority Events"},
      {48, "Inhibit Events"},
      {49, "Local Events"},
      {50, "Remote Events"},
      {52, "Start/Stop Events"},
      {53, "Performance Events"},
      {54, "Queue Service Interval"},
      {55, "Channel Auto-Definition"},
      {56, "Channel Auto-Definition Events"},
      {58, "Cluster Workload Length"},
      {61, "Default Binding"},
      {1013, "Error identifier"},
      {1020, "Reason qualifier"},
      {1021, "Command identifier"},
      {1022, "Open options"},
      {1070, "I1: Auxiliary integer error 1"},
      {1071, "I2: Auxiliary integer error 2"},
      {1072, "Conversion reason code"},
      {1073, "Bridge type"},
      {1501, "Xmit Protocol Type"},
      {1502, "Batch Size"},
      {1503, "Disconect Interval"},
      {1504, "Short Timer"},
      {1505, "Short Retry"},
      {1506, "Long Timer"},
      {1507, "Long Retry"},
      {1508, "Put Authority"},
      {1509, "Sequence Number Wrap"},
      {1510, "Max. Msg. Length"},
      {1511, "Channel Type"},
      {1512, "Data Count"},
      {1514, "Msg. Sequence Number"},
      {1515, "Data Conversion"},
      {1516, "In Doubt"},
      {1517, "MCA Type"},
      {1529, "Last SN"},
      {1532, "Current SN"},
      {1540, "Long Retr. Left"},
      {1541, "Short Retr. Left"},
      {1542, "MCA Status"},
      {1543, "Stop Requested"},
      {1544, "MR Count"},
      {1545, "MR Interval"},
      {1562, "NPM Speed"},
      {1563, "Heart Beat Interval"},
      {1564, "Batch Interval"},
      {2001, "Application ID"},
      {2002, "Base Queue Name"},
      {2003, "Command Input Queue Name"},
      {2006, "Dead Letter Queue Name"},
      {2007, "Environment Data"},
      {2008, "Initiation Queue Name"},
      {2009, "Namelist Description"},
      {2011, "Process Description"},
      {2012, "Process Name"},
      {2013, "Queue Description"},
      {2014, "Queue Manager Description"},
      {2015, "Queue Manager Name"},
      {2016, "Queue Name"},
      {2017, "Remote QMgr Name"},
      {2018, "Remote Queue Name"},
      {2019, "Backout Queue Name"},
      {2020, "Names"},
      {2021, "User Data"},
      {2023, "Trigger Data"},
      {2024, "Transmit Queue Name"},
      {2025, "Default Transmission Queue Name"},
      {2026, "Auto-definition exit"},
      {2029, "Cluster Name"},
      {2030, "Cluster Namelist"},
      {2033, "Cluster Workload Exit"},
      {2034, "Cluster Workload Data"},
      {2035, "Repository Name"},
      {2036, "Repository Namelist"},
      {3023, "Object queue manager name"},
      {3024, "Application name"},
      {3025, "User identifier"},
      {3026, "S1: Auxiliary string error 1"},
      {3027, "S2: Auxiliary string error 2"},
      {3028, "S3: Auxiliary string error 3"},
      {3029, "Bridge name"},
      {3501, "Channel Name"},
      {3502, "Channel Description"},
      {3503, "Mode Name"},
      {3504, "TP Name"},
      {3505, "Xmit Queue Name"},
      {3506, "Connection Name"},
      {3507, "MCA Name"},
      {3508, "Security Exit Name"},
      {3509, "Message Exit Name"},
      {3510, "Send Exit Name"},
      {3511, "Receive Exit Name"},
      {3513, "Security Exit User Data"},
      {3514, "Message Exit User Data"},
      {3515, "Send Exit User Data"},
      {3516, "Receive Exit User Data"},
      {3517, "User ID"},
      {3518, "Password"},
      {3527, "MCA User ID"},
      {3530, "MCA Job Name"},
      {3533, "Format Name"},
      {3534, "MR Exit Name"},
      {3535, "MR Exit User Data"},
      {20006, "Group Manager Name"},
      {20007, "Node Name"},
      {20009, "IP Address"},
      {20012, "Description"},
      {20013, "Event Description"},
      {20016, "Object Name"},
      {20070, "IP Network"},
      {20071, "Local Queue Mas"},
      {20072, "Alias Queue Mask"},
      {20073, "Remote Queue Mask"},
      {20074, "Model Queue Mask"},
      {20101, "Object Type"},
      {20106, "IP Port"},
      {20111, "Restart Counter"},
      {20112, "Restart Threshold"},
      {20113, "Restart Period"},
      {20117, "Process ID"},
      {20118, "Discovery Timer"},
      {20119, "Platform"},
      {20121, "Trace Mode"},
      {20125, "PCF Command identifier"},
      {20128, "Pending Command Level"},
      {20130, "Update Interval (Sec.)"},
      {20135, "Management"},
      {20136, "Command Timeout (Sec.)"},
      {20137, "Heart Beat Interval (Min.)"},
      {20138, "Event Log Depth"},
      {20147, "Maximum number of clients"},
      {20148, "Maximum number of nodes"},
      {20320, "Local Manager Port"},
      {20321, "Maximum QMgrs/Node"},
      {20324, "Discovery Timer (Min)"},
      {20908, "Queue Manager Mask"},
      {20912, "Host Name"},
};

const CodeText kReasonTexts[] = {
      {0, "INFO: Command completed successfully"},
      {2001, "ERROR: Alias Base Queue type error"},
      {2016, "Get Inhibited"},
      {2033, "WARNING: No response message available"},
      {2035, "Not Authorized"},
      {2042, "WARNING: Object is in use"},
      {2051, "Put Inhibited"},
      {2052, "WARNING: Queue has been deleted"},
      {2053, "Queue is full"},
      {2059, "WARNING: Queue Manager not available"},
      {2080, "WARNING: Message Truncated"},
      {2085, "Unknown object name"},
      {2087, "WARNING: Unknown Remote Queue Manager"},
      {2091, "ERROR: Xmit Queue type error"},
      {2092, "ERROR: Xmit Queue Usage error"},
      {2100, "WARNING: Object already exists"},
      {2125, "Bridge Started"},
      {2126, "Bridge Stopped"},
      {2161, "WARNING: Queue Manager quiescing"},
      {2162, "WARNING: Queue Manager stopping"},
      {2184, "ERROR: Remote Queue Name error"},
      {2196, "ERROR: Unknown Xmit Queue Name"},
      {2197, "ERROR: Unknown default Xmit Queue Name"},
      {2198, "ERROR: Default Xmit Queue type error"},
      {2199, "ERROR: Xmit Queue Usage error"},
      {2222, "Queue Manager active"},
      {2223, "Queue Manager is not active"},
      {2224, "Queue depth high"},
      {2225, "Queue depth low"},
      {2226, "Queue service high"},
      {2227, "Queue Service Ok"},
      {2233, "Channel auto-definition ok"},
      {2234, "Channel auto-definition error"},
      {2279, "Channel Stopped by user"},
      {2282, "Channel Started"},
      {2283, "Channel Stopped"},
      {2284, "Channel conversion error"},
      {2295, "Channel Activated"},
      {2296, "Channel not activated"},
      {3008, "ERROR: Command completed with Errors"},
      {3011, "ERROR: String length error"},
      {3014, "ERROR: Incorrect Parameter"},
      {3015, "ERROR: Parameter Identifier is not valid"},
      {3019, "ERROR: PCF error"},
      {3020, "ERROR: PCF error"},
      {3022, "ERROR: Invalid Queue Type"},
      {3034, "ERROR: Channel type error"},
      {3035, "ERROR: Parameter sequence error"},
      {3036, "ERROR: XMIT protocol type error"},
      {3037, "ERROR: Batch size error"},
      {3045, "ERROR: Put authority error"},
      {3053, "WARNING: Indoubt value error"},
      {4001, "WARNING: Object already exists"},
      {4002, "ERROR: Object of wrong type"},
      {4004, "WARNING: Object open by another application"},
      {4005, "ERROR: One of the attributes has an invalid value"},
      {4007, "ERROR: Queue wrong type"},
      {4008, "ERROR: Incorrect object name"},
      {4010, "WARNING: Host/MQNode is not available"},
      {4011, "ERROR: Channel configuration error"},
      {4027, "ERROR: Failed to open XMIT Queue"},
      {4031, "WARNING: Channel in use"},
      {4032, "ERROR: Channel not found"},
      {4034, "WARNING: Remote Queue Manager not available"},
      {4042, "WARNING: Channel already exists"},
      {4045, "ERROR: Transmission queue name error"},
      {4059, "ERROR: Put authority error"},
      {4062, "ERROR: Connection Name error"},
      {4064, "WARNING: Channel is not active"},
      {4068, "WARNING: Cell directory not available"},
      {4075, "ERROR: non-persistent message speed error"},
      {8014, "MCA Started"},
      {8015, "MCA Stopped"},
      {20001, "New Object"},
      {20002, "Object Changed"},
      {20003, "Object Deleted"},
      {20004, "Queue Manager Deleted"},
      {20005, "Node Re-Registered"},
      {20006, "New Registration"},
      {20009, "WARNING: Limit overflow"},
      {20010, "Auto-Discovery Failed"},
      {20011, "Auto-Discovery Started"},
      {20012, "MQ-Command-Server down"},
      {20015, "State Changed"},
      {20016, "Message in DLQ"},
      {20017, "Auto-Discovery Stopped"},
      {20018, "Publish-Subscriber not active"},
      {20019, "Channel Reset"},
      {20020, "Channel Resolved"},
      {20100, "Node Command Failed"},
      {20101, "Object Attached"},
      {20102, "Object Detached"},
      {20103, "Client Connected"},
      {20104, "Client Disconnected"},
      {20105, "Client Command Failed"},
      {20106, "ERROR: Database error"},
      {20107, "INFO: Command is in progress..."},
      {20301, "WARNING: MQ-Node unreachable"},
      {20302, "No Heart-Beat"},
      {20303, "Delayed Heart-Beat"},
      {20304, "WARNING: Object is not managed"},
      {20305, "WARNING: Object is managed by proxy"},
      {20306, "Group Manager is going down"},
      {20307, "WARNING: MQ-Command-Server not responding"},
      {20507, "ERROR: Connection not trusted"},
      {20600, "Database backup"},
      {20601, "ERROR: Database backup"},
      {20602, "Database restore"},
      {20603, "ERROR: Database restore"},
};

struct CodeImage {
  int code;
  int image;
};

// Codes that show an image; every other code shows none (0).
const CodeImage kReasonImages[] = {
    {2001, 11}, {2016, 13}, {2035, 30}, {2051, 13}, {2052, 11}, {2053, 13}, {2057, 11},
    {2059, 10}, {2082, 11}, {2087, 10}, {2091, 11}, {2092, 11}, {2125, 23}, {2126, 24},
    {2184, 11}, {2196, 11}, {2197, 10}, {2198, 10}, {2199, 10}, {2222, 7}, {2223, 8},
    {2224, 13}, {2225, 13}, {2226, 13}, {2227, 14}, {2279, 24}, {2282, 23}, {2283, 24},
    {2295, 23}, {2296, 24}, {8014, 29}, {8015, 29}, {20004, 8}, {20009, 30}, {20010, 8},
    {20011, 7}, {20012, 8}, {20015, 10}, {20016, 13}, {20017, 7}, {20018, 5}, {20019, 26},
    {20020, 26}, {20100, 6}, {20101, 4}, {20102, 5}, {20103, 30}, {20104, 30}, {20105, 30},
    {20301, 5}, {20302, 5}, {20303, 6}, {20304, 6}, {20305, 7}, {20306, 3}, {20507, 30},
    {20600, 3}, {20601, 3}, {20602, 3}, {20603, 3},
};

// ---- 6. Command names (searched in order; the first row with the code wins)

const CodeText kCommandNames[] = {
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
      {60, "MQCMD_DELETE_PUBLICATION"},
      {61, "MQCMD_DEREGISTER_PUBLISHER"},
      {62, "MQCMD_DEREGISTER_SUBSCRIBER"},
      {63, "MQCMD_PUBLISH"},
      {64, "MQCMD_REGISTER_PUBLISHER"},
      {65, "MQCMD_REGISTER_SUBSCRIBER"},
      {66, "MQCMD_REQUEST_UPDATE"},
      {67, "MQCMD_BROKER_INTERNAL"},
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
      {10011, "EXCMD_CHANGE_Q_MGR_STAT"},
      {10012, "EXCMD_CREATE_Q_MGR"},
      {10013, "EXCMD_DELETE_Q_MGR"},
      {10014, "EXCMD_MQSC_SCRIPT"},
      {10015, "EXCMD_HEART_BEAT"},
      {10016, "EXCMD_LOCATE_OBJECT"},
      {10017, "EXCMD_INQUIRE_Q_RUNTIME"},
      {10018, "EXCMD_INQUIRE_SESSION"},
      {10019, "EXCMD_DELETE_SESSION"},
      {10020, "EXCMD_INQUIRE_CLUSQMGR_NAMES"},
      {10100, "EXCMD_INQUIRE_MANAGER_NAMES"},
      {10101, "EXCMD_INQUIRE_MANAGER"},
      {10102, "EXCMD_CHANGE_MANAGER"},
      {10103, "EXCMD_DELETE_MANAGER"},
      {10104, "EXCMD_CREATE_MANAGER"},
      {10105, "EXCMD_START_MANAGER"},
      {10106, "EXCMD_STOP_MANAGER"},
      {10107, "EXCMD_CHANGE_MANAGER_STAT"},
      {10108, "EXCMD_INQUIRE_ACTIVE_MANAGER"},
      {10109, "EXCMD_SET_ACTIVE_MANAGER"},
      {10110, "EXCMD_SHUTDOWN_MANAGER"},
      {10120, "EXCMD_INQUIRE_MQNODE_NAMES"},
      {10121, "EXCMD_INQUIRE_MQNODE"},
      {10122, "EXCMD_CHANGE_MQNODE"},
      {10123, "EXCMD_DELETE_MQNODE"},
      {10124, "EXCMD_CREATE_MQNODE"},
      {10125, "EXCMD_START_MQNODE"},
      {10126, "EXCMD_STOP_MQNODE"},
      {10127, "EXCMD_CHANGE_MQNODE_STAT"},
      {10128, "EXCMD_REGISTER_MQNODE"},
      {10129, "EXCMD_MANAGE_MQNODE"},
      {10130, "EXCMD_UNMANAGE_MQNODE"},
      {10140, "EXCMD_INQUIRE_MCA_NAMES"},
      {10141, "EXCMD_INQUIRE_MCA"},
      {10142, "EXCMD_CHANGE_MCA"},
      {10160, "EXCMD_INQUIRE_Q_MGR_EVENT"},
      {10161, "EXCMD_DELETE_Q_MGR_EVENT"},
      {10170, "EXCMD_INQUIRE_CHANNEL_EVENT"},
      {10171, "EXCMD_DELETE_CHANNEL_EVENT"},
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
      {10305, "EXCMD_MG_FIND"},
      {10306, "EXCMD_MG_MODIFY"},
      {10998, "EXCMD_START_PROCESS"},
      {10999, "EXCMD_TEST_Q_MGR"},
      {11000, "EXCMD_MQ_DISCOVER"},
      {11002, "EXCMD_EXECUTE_SHELL_CMD"},
      {11100, "EXCMD_DB_BACKUP"},
      {11101, "EXCMD_DB_RESTORE"},
};

}  // namespace

std::string CMQText::AttrName(int id) const { return Or(FindSorted(kAttrNames, id), ""); }

std::string CMQText::ReasonText(int code) const {
  return Or(FindSorted(kReasonTexts, code), Decimal(code));
}

int CMQText::ReasonImage(int code) const {
  auto it = std::lower_bound(std::begin(kReasonImages), std::end(kReasonImages), code,
                             [](const CodeImage& row, int c) { return row.code < c; });
  return (it != std::end(kReasonImages) && it->code == code) ? it->image : 0;
}

std::string CMQText::EventCategoryText(int code) const {
  switch (code) {
    case 44: case 10160: return "Queue Manager";
    case 46: case 10170: return "Channel";
    case 45: case 10190: return "Performance";
    case 8002: case 10180: return "Group Manager";
    case 8001: case 10200: return "Alter";
    case 8003: return "Object State";
    default: return Decimal(code);
  }
}

// ---- 3. The reason-text file ---------------------------------------------

bool CMQText::ReasonTextFromIni(int code, std::string* text) const {
  IniFile ini;
  // Keys end at a blank or a double quote; the text runs between quotes.
  if (tlxOpenIniFile("tlxrc.ini", " \"", "\"", &ini) == 0) return false;
  char key[16];
  std::snprintf(key, sizeof key, "%d", code);
  static_assert(TLX_MAX_VALUE + 1 >= 3000, "reason texts are read into 3000 bytes");
  char value[3000] = {0};
  bool found = tlxGetValueN(&ini, key, value, sizeof value, 1) == 1;
  tlxCloseIniFile(&ini);
  if (!found) return false;
  std::string result(value);
  std::replace(result.begin(), result.end(), '\n', ' ');
  *text = std::move(result);
  return true;
}

int CMQText::StartStopClass(int command) const {
  switch (command) {
    case 28: case 10001: case 10003: case 10105: case 10125: return 1;
    case 29: case 10002: case 10004: case 10106: case 10126: return 2;
    default: return 5;
  }
}

// ---- 4. Enumerations and combo-box positions --------------------------------

std::string CMQText::EnabledText(int flag) const { return flag != 0 ? "Enabled" : "Disabled"; }
std::string CMQText::YesNoText(int flag) const { return flag != 0 ? "Yes" : "No"; }
std::string CMQText::AllowedText(int flag) const { return flag == 0 ? "Allowed" : "Inhibited"; }

std::string CMQText::PlatformText(int code) const {
  static const char* const kNames[] = {"Unknown", "VMS", "OS400", "UNIX", "AIX",
                                       "OS/2",    "MVS", "WIN/NT", "NSK"};
  if (code < 0 || code >= static_cast<int>(std::size(kNames))) return "";
  return kNames[code];
}

std::string CMQText::PlatformName(int mqpl) const {
  static const CodeText kNames[] = {{1, "MVS"},     {2, "OS/2"},        {3, "UNIX"},
                                    {4, "OS400"},   {5, "WINDOWS"},     {11, "WINDOWS NT"},
                                    {12, "VMS"},    {13, "NSK"}};
  return Or(FindSorted(kNames, mqpl), Decimal(mqpl));
}

std::string CMQText::QueueTypeText(int kind) const {
  static const CodeText kNames[] = {
      {1, "Local Queue"}, {2, "Alias Queue"}, {3, "Remote Queue"}, {4, "Queue Manager Alias"}};
  return Or(FindSorted(kNames, kind), "");
}

std::string CMQText::ClusterQMgrDefTypeText(int type) const {
  static const CodeText kNames[] = {{1, "Explicit Cluster Sender"},
                                    {2, "Auto Cluster Sender"},
                                    {3, "Cluster Receiver"},
                                    {4, "Auto Explicit Cluster Sender"}};
  return Or(FindSorted(kNames, type), "");
}

std::string CMQText::TransportTypeText(int type) const {
  static const CodeText kNames[] = {{0, "LOCAL"},   {1, "LU62"},   {2, "TCP"}, {3, "NETBIOS"},
                                    {4, "SPX"},     {5, "DECNET"}, {6, "UDP"}};
  return Or(FindSorted(kNames, type), Decimal(type));
}

std::string CMQText::QMgrStateText(int state) const {
  static const CodeText kNames[] = {{1, "Stopping"}, {2, "Stopped"}, {3, "Starting"},
                                    {4, "Active"},   {5, "Deleted"}, {6, "Unknown"}};
  return Or(FindSorted(kNames, state), Decimal(state));
}

std::string CMQText::ChannelTypeText(int type) const {
  static const CodeText kNames[] = {{1, "Sender"},     {2, "Server"},     {3, "Receiver"},
                                    {4, "Requester"},  {6, "Clnt. conn"}, {7, "Srv. conn"},
                                    {8, "Cluster Receiver"}, {9, "Cluster Sender"}};
  return Or(FindSorted(kNames, type), "");
}

int CMQText::ChannelTypeFromText(const std::string& text) const {
  static const std::pair<const char*, int> kOrder[] = {
      {"Sender", 1},    {"Server", 2},     {"Receiver", 3},       {"Requester", 4},
      {"Srv. conn", 7}, {"Clnt. conn", 6}, {"Cluster Sender", 9}, {"Cluster Receiver", 8}};
  for (const auto& [name, type] : kOrder) {
    if (text == name) return type;
  }
  return 0;
}

int CMQText::ChannelTypeToIndex(int type) const {
  switch (type) {
    case 1: return 0;
    case 3: return 1;
    case 2: return 2;
    case 4: return 3;
    case 7: return 4;
    case 6: return 5;
    case 9: return 6;
    case 8: return 7;
    default: return type;
  }
}

int CMQText::ChannelTypeFromIndex(int index) const {
  static const int kTypes[] = {1, 2, 3, 4, 7, 6, 9, 8};
  if (index < 0 || index >= static_cast<int>(std::size(kTypes))) return -1;
  return kTypes[index];
}

int CMQText::QueueTypeFromIndex(int index) const {
  static const int kTypes[] = {3, 1, 6, 2};
  if (index < 0 || index >= static_cast<int>(std::size(kTypes))) return -1;
  return kTypes[index];
}

int CMQText::TransportTypeToIndex(int type) const {
  if (type >= 0 && type <= 6) return type - 1;
  return type;
}

std::string CMQText::ChannelStatusText(int status) const {
  static const char* const kNames[] = {"Inactive", "Binding",  "Starting",   "Active", "Stopping",
                                       "Retrying", "Stopped",  "Requesting", "Paused"};
  if (status < 0 || status >= static_cast<int>(std::size(kNames))) return Decimal(status);
  return kNames[status];
}

std::string CMQText::ActionText(int action) const {
  static const char* const kNames[] = {"Start", "Stop", "Delete", "Add", "None"};
  if (action < 1 || action > static_cast<int>(std::size(kNames))) return "";
  return kNames[action - 1];
}

std::string CMQText::ScopeText(int scope) const {
  if (scope == 0) return "Queue Manager";
  if (scope == 1) return "Cell";
  return "";
}

std::string CMQText::ObjectTypeText(int type) const {
  static const CodeText kNames[] = {
      {1, "Queue Manager"}, {2, "Local Queue"},  {3, "Alias Queue"},   {4, "Remote Queue"},
      {5, "Model Queue"},   {6, "Channel"},      {7, "Process"},       {8, "MCA"},
      {9, "MQ Node"},       {10, "Manager"},     {12, "Cluster Queue"}, {13, "Namelist"},
      {14, "Cluster Queue Manager"}, {15, "Client Connection"}};
  return Or(FindSorted(kNames, type), "");
}

// ---- 5. Dates, times and durations ------------------------------------------

const char* MonthAbbreviation(int month) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (month < 0 || month > 11) return "";
  return kMonths[month];
}

std::string FormatLocalDateTime(std::time_t when) {
  std::tm tm{};
  if (localtime_r(&when, &tm) == nullptr) return "";
  int hour12 = tm.tm_hour % 12;
  if (hour12 == 0) hour12 = 12;
  char text[64];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d  %02d:%02d:%02d %s", tm.tm_mon + 1,
                tm.tm_mday, tm.tm_year + 1900, hour12, tm.tm_min, tm.tm_sec,
                tm.tm_hour < 12 ? "AM" : "PM");
  return text;
}

std::string CMQText::DurationText(long seconds) const {
  long days = seconds / 86400;
  long hours = (seconds / 3600) % 24;
  long minutes = (seconds / 60) % 60;
  long secs = seconds % 60;
  char text[96];
  if (days != 0) {
    std::snprintf(text, sizeof text, "%ld days, %.2ld:%.2ld:%.2ld hours", days, hours, minutes,
                  secs);
  } else {
    std::snprintf(text, sizeof text, "%.2ld:%.2ld:%.2ld hours", hours, minutes, secs);
  }
  return text;
}

std::string CMQText::SecondsAgoText(long seconds, const Clock& clock) const {
  return FormatLocalDateTime(clock.Now() - seconds);
}

std::string CMQText::SecondsAgoText(long seconds) const {
  return SecondsAgoText(seconds, SystemClock());
}

namespace {

// Reads count digits of text at offset into *value; false when any is not a
// digit or the text is too short.
bool Digits(const std::string& text, size_t offset, size_t count, int* value) {
  if (text.size() < offset + count) return false;
  int v = 0;
  for (size_t i = offset; i < offset + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  *value = v;
  return true;
}

// Parses "YYYY-MM-DD" and "HH.MM.SS" into tm; false unless every field is
// in its calendar range.
bool ParseMqDateTime(const std::string& date, const std::string& time, std::tm* tm) {
  int year, month, day, hour, minute, second;
  if (!Digits(date, 0, 4, &year) || !Digits(date, 5, 2, &month) || !Digits(date, 8, 2, &day) ||
      !Digits(time, 0, 2, &hour) || !Digits(time, 3, 2, &minute) ||
      !Digits(time, 6, 2, &second)) {
    return false;
  }
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1900 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1] ||
      hour > 23 || minute > 59 || second > 59) {
    return false;
  }
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return false;
  *tm = std::tm{};
  tm->tm_year = year - 1900;
  tm->tm_mon = month - 1;
  tm->tm_mday = day;
  tm->tm_hour = hour;
  tm->tm_min = minute;
  tm->tm_sec = second;
  tm->tm_isdst = -1;
  return true;
}

}  // namespace

std::string CMQText::DateTimeText(const std::string& mq_date, const std::string& mq_time) const {
  std::tm tm{};
  if (!ParseMqDateTime(mq_date, mq_time, &tm)) return "";
  std::time_t when = std::mktime(&tm);
  if (when == static_cast<std::time_t>(-1)) return "";
  return FormatLocalDateTime(when);
}

std::string CMQText::UtcDateTimeText(const std::string& mq_date,
                                     const std::string& mq_time) const {
  std::tm tm{};
  if (!ParseMqDateTime(mq_date, mq_time, &tm)) return "";
  tm.tm_isdst = 0;
  return FormatLocalDateTime(timegm(&tm));
}

std::string CMQText::CommandName(int command) const {
  for (const auto& row : kCommandNames) {
    if (row.code == command) return row.text;
  }
  return "";
}

}  // namespace admclient
