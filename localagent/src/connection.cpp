// A client connection's thread: it reads the commands of one client (a
// group manager), runs them against the queue manager the client selected,
// and sends every reply back on the same connection.

#include "connection.h"
#include "event_queues.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include <os/stop_signals.h>
#include <pcfcore/excmd.h>
#include <pcfcore/ini.h>
#include <pcfcore/pcf_message.h>
#include <pcfcore/pcf_records.h>
#include <pcfcore/print.h>
#include <pcfcore/text.h>

#include "agent_log.h"
#include "pcf_params.h"

namespace localagent {
namespace {

// MQ and suite values used here.
constexpr MQLONG kQmgrName = 2015;            // MQCA_Q_MGR_NAME
constexpr MQLONG kQName = 2016;               // MQCA_Q_NAME
constexpr MQLONG kProcessName = 2012;         // MQCA_PROCESS_NAME
constexpr MQLONG kChannelName = 3501;         // MQCACH_CHANNEL_NAME
constexpr MQLONG kMcaName = 3507;
constexpr MQLONG kNamelistName = 2010;
constexpr MQLONG kClusterQmgrName = 2031;
constexpr MQLONG kQType = 20;                 // MQIA_Q_TYPE
constexpr MQLONG kQAttrs = 1002;              // MQIACF_Q_ATTRS
constexpr MQLONG kAllAttrs = 1009;            // MQIACF_ALL
constexpr MQLONG kEscapeType = 1017;          // MQIACF_ESCAPE_TYPE
constexpr MQLONG kEscapeText = 3014;          // MQCACF_ESCAPE_TEXT
constexpr MQLONG kHeartBeat = 20137;          // MQNODE_HEART_BEAT
constexpr MQLONG kDiscoveryPeriod = 20324;    // MQNODE_DISCOVERY_PERIOD
constexpr MQLONG kQmgrMaskParam = 20908;      // MQNODE_Q_MGR_MASK
constexpr MQLONG kPlatform = 20119;
constexpr MQLONG kVersionParam = 20909;
constexpr MQLONG kPingTrip = 20126;           // PING_TRIP_ELAPSED

constexpr MQLONG kCmdInquireQmgr = 2;
constexpr MQLONG kCmdInquireQ = 13;
constexpr MQLONG kCmdPingChannel = 26;
constexpr MQLONG kCmdEscape = 38;
constexpr MQLONG kCmdResetChannel = 27;
constexpr MQLONG kCmdResolveChannel = 39;
constexpr MQLONG kCmdChannelEvent = 46;

constexpr MQLONG kRcAlreadyConnected = 2002;
constexpr MQLONG kRcConnectionBroken = 2009;
constexpr MQLONG kRcNoMsg = 2033;
constexpr MQLONG kRcQmgrStopping = 2162;
constexpr MQLONG kRcQmgrNotActive = 2223;
constexpr MQLONG kRcNotAuthorized = 2035;
constexpr MQLONG kRcQmgrNameError = 2058;
constexpr MQLONG kRcQmgrNotAvailable = 2059;
constexpr MQLONG kRcUnknownObject = 2085;
constexpr MQLONG kRcResourceProblem = 2102;
constexpr MQLONG kRcParmMissing = 3001;
constexpr MQLONG kRcCommandType = 3008;
constexpr MQLONG kRcStructureError = 3013;
constexpr MQLONG kRcParmCountTooSmall = 3019;
constexpr MQLONG kRcProxyConnect = 4018;
constexpr MQLONG kRcCmdServerDown = 20012;
constexpr MQLONG kRcInProgress = 20107;
constexpr MQLONG kRcManagedByProxy = 20305;
constexpr MQLONG kRcNotResponding = 20307;
constexpr MQLONG kRcCommandSupport = 20308;

constexpr const char kModelQueue[] = "SYSTEM.DEFAULT.MODEL.QUEUE";
constexpr int kPendingLimit = 20000;
// Longest single wait inside a reply read, so the stop flag is seen.
constexpr MQLONG kReadSliceMs = 1000;

constexpr const char kIme0004[] = "IME0004(%s, %s, %s): Queue manager is served by a proxy";
constexpr const char kIme0005[] = "IME0005(%s, %s, %s): Unable to connect to the queue manager";
constexpr const char kIme0007[] = "IME0007(%s, %s, %s): Queue manager name missing";

// Whether the reconnect failure has been logged (shared by connections).
std::atomic<bool> g_reconnect_logged{false};

MessageHeader* Header(mqPcfMessage* message) { return MESSAGE_HEADER(&message->Body); }

bool Has(const mqPcfMessage* message, MQLONG id) {
  Message record{};
  bool found = GetAttrByID(id, &record, message) != 0;
  DeleteMessage(&record);
  return found;
}

// A string parameter, at most width characters, trailing blanks removed.
std::string GetString(const mqPcfMessage* message, MQLONG id, int width = 48) {
  Message record{};
  std::string text;
  if (GetAttrByID(id, &record, message)) {
    std::string buffer(static_cast<size_t>(width) + 1, '\0');
    if (GetPcfStrAttrValue(&record, buffer.data(), width)) text = buffer.c_str();
  }
  DeleteMessage(&record);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool GetInt(const mqPcfMessage* message, MQLONG id, MQLONG* value) {
  Message record{};
  bool ok = GetAttrByID(id, &record, message) && GetPcfIntAttrValue(&record, value);
  DeleteMessage(&record);
  return ok;
}

std::string Strip(const std::string& text) {
  std::string out = text;
  size_t blank = out.find(' ');
  if (blank != std::string::npos) out.resize(blank);
  return out;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// A fixed field of the header as text.
std::string Field(const char* field, size_t width) { return std::string(field, strnlen(field, width)); }

bool IsStandardCommand(MQLONG command) {
  return !((command >= 10003 && command <= 10009) || command == 10012 || command == 10013 ||
           command == 10020 || command == 10110 || (command >= 10998 && command <= 11000) ||
           command == 11002);
}

bool IsMessageRequest(MQLONG command) { return command >= 10300 && command <= 10306; }

void LogCommandFailure(const AgentState& agent, MQLONG reason, mqPcfMessage* request) {
  if (!agent.settings().trace) return;
  LogError(kIme0008, reason);
  RawToPcf(request);
  PrintPcfMessage(request);
}

// Writes a message to the client; false when the connection is to end.
bool Send(ClientConnection& c, mqnMQNodeData* client, mqPcfMessage* message, bool alt_user,
          int secure) {
  int ok = alt_user ? mnSWriteAltUser(message, client, secure, c.credential)
                    : mnSWrite(message, client, secure, c.credential);
  if (!ok) c.end_connection = true;
  return ok != 0;
}

void DeleteQueueManager(ClientConnection& c) {
  DeleteSysEventQueues(c);
  DeleteMQManager(c.qm);
  c.qm = nullptr;
}

// Reads the next reply of the last command, waiting in slices so that a
// stop is seen within a second.
bool ReadReply(const AgentState& agent, ClientConnection& c, Message* body, MQLONG wait_ms) {
  MQLONG left = wait_ms;
  for (;;) {
    MQLONG slice = std::min(left, kReadSliceMs);
    std::memset(body->Md.MsgId, 0, sizeof body->Md.MsgId);
    std::memset(body->Md.CorrelId, 0, sizeof body->Md.CorrelId);
    if (c.qm->qm_read(body, slice, c.qm)) return true;
    left -= slice;
    if (c.qm->reason != kRcNoMsg || left <= 0 || agent.Stopping()) return false;
  }
}

// 1 when somebody (the command server) has the command queue open for
// input, 0 when nobody has, -1 when that cannot be told.
int CommandServerRunning(MQManager* qm) {
  if (qm->commandQueue == nullptr || !qqOpen(MQOO_INQUIRE, qm->commandQueue, "")) return -1;
  int served = qqIsOpenInput(qm->commandQueue) != 0 ? 1 : 0;
  qqClose(qm->commandQueue);
  return served;
}

}  // namespace

MQLONG ReplyWaitMs(const mqPcfMessage* request) {
  MQLONG wait = MESSAGE_HEADER(&request->Body)->WaitInterval;
  return std::clamp<MQLONG>(wait, 1000, 300000);
}

void ReadProxySettings(const std::string& name, const std::string& appl, ProxySettings* out) {
  ProxySettings settings;
  settings.requested = Strip(name);
  settings.proxy = settings.requested;
  settings.system_event_queue = appl;
  settings.group_reply_queue = appl;
  settings.arrival = out->arrival;
  IniFile ini{};
  if (tlxOpenIniFile("mqproxy.ini", "\n=", " \n\t", &ini)) {
    char value[TLX_MAX_VALUE + 1];
    auto look = [&](const char* suffix, std::string* field, const std::string& fallback) {
      std::string key = settings.requested + suffix;
      *field = tlxGetValue(&ini, key.c_str(), value, 1) ? std::string(value) : fallback;
    };
    look("::Proxy", &settings.proxy, name);
    settings.proxy = Strip(settings.proxy);
    look("::SystemCommandQ", &settings.command_queue, "SYSTEM.ADMIN.COMMAND.QUEUE");
    look("::SystemEventQ", &settings.system_event_queue, appl);
    look("::GroupReplyQ", &settings.group_reply_queue, appl);
    look("::CommandSupport", &settings.command_support, "PCF");
    tlxCloseIniFile(&ini);
  }
  *out = settings;
}

namespace {

// Opens the queue manager named in the request's 2015; null with *reason.
MQManager* DoExcmdMQOpen(const AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                         mqPcfMessage* request, MQLONG* reason) {
  const Settings& settings = agent.settings();
  if (!Has(request, kQmgrName)) {
    *reason = kRcParmMissing;
    LogError(kIme0007, *reason);
    return nullptr;
  }
  std::string raw = GetString(request, kQmgrName);
  Message record{};
  char untrimmed[49] = {};
  if (GetAttrByID(kQmgrName, &record, request)) GetPcfStrAttrValue(&record, untrimmed, 48);
  DeleteMessage(&record);
  if (untrimmed[0] == '\0' || untrimmed[0] == ' ' || untrimmed[0] == '*') {
    *reason = kRcQmgrNameError;
    return nullptr;
  }
  char user[13] = {};
  if (settings.authority_check) {
    std::memcpy(user, Header(request)->UserId, 12);
    if (user[0] == '\0' || user[0] == ' ') {
      // An alternate user nobody can be: the open is refused rather than
      // done with the agent's own authority.
      std::memset(user, 0xFE, 12);
    }
  }
  if (settings.trace) {
    std::printf("DoExcmdMQOpen: bAuthority %s, szUserName %s\n",
                settings.authority_check ? "TRUE" : "FALSE", Field(user, 12).c_str());
    std::fflush(stdout);
  }
  ReadProxySettings(untrimmed, Field(Header(request)->ApplName, 48), &c.proxy);
  if (c.proxy.command_support != "PCF") {
    *reason = kRcCommandSupport;
    return nullptr;
  }
  MQManager* qm = nullptr;
  bool logged_before = g_reconnect_logged.load();
  auto failed = [&](const char* format) -> MQManager* {
    if (!g_reconnect_logged.exchange(true)) {
      LogError(format, *reason);
      char now[64] = "Unknown\n";
      time_t t = time(nullptr);
      ctime_r(&t, now);
      std::printf("Date: %s", now);
      std::printf("Queue manager for previous MQ open error is <%s>. \nReconnect retries will "
                  "occur periodically.\nMessage will be logged when reconnected.\n",
                  c.proxy.requested.c_str());
      std::fflush(stdout);
    }
    return nullptr;
  };
  if (!c.proxy.Proxied()) {
    qm = CreateCLConn(c.proxy.proxy.c_str(), c.proxy.command_queue.c_str(),
                      c.proxy.system_event_queue.c_str(), c.proxy.group_reply_queue.c_str());
  }
  if (qm == nullptr) {
    *reason = kRcProxyConnect;
    return failed(kIme0004);
  }
  if (qm->reason != 0 && qm->hConn == -1) {
    *reason = static_cast<MQLONG>(qm->reason);
    DeleteMQManager(qm);
    return failed(kIme0005);
  }
  if (!qmOpen(qm, user)) {
    *reason = static_cast<MQLONG>(qm->reason);
    bool opened = false;
    if (*reason == kRcUnknownObject) {
      for (MQueue* queue : {qm->replyQueue, qm->eventQueue, qm->commandQueue}) {
        if (queue != nullptr) {
          std::snprintf(queue->descriptor.ObjectName, sizeof queue->descriptor.ObjectName, "%s",
                        kModelQueue);
        }
      }
      opened = qmOpen(qm, user) != 0;
      if (!opened) *reason = static_cast<MQLONG>(qm->reason);
    }
    if (!opened) {
      DeleteMQManager(qm);
      return failed(kIme0005);
    }
  }
  *reason = 0;
  if (user[0] == '\0') std::memcpy(user, request->NodeHeader.UserName, 12);
  // The description goes through the command server; without one it would
  // only hold the open up for the length of the reply wait.
  if (qm->replyQueue != nullptr && CommandServerRunning(qm) != 0) {
    char description[65];
    std::snprintf(description, sizeof description, "Created for %s(%d), user(%s), appl(%s)",
                  client->socket.peer.ip, static_cast<int>(client->socket.peer.port),
                  Field(user, 12).c_str(), c.proxy.group_reply_queue.c_str());
    MQLONG ignored = 0;
    qmUpdateQueInfo(qm, Field(qm->replyQueue->name, 48).c_str(), description, &ignored);
  }
  if (logged_before && g_reconnect_logged.exchange(false)) {
    PrintDated("TLX1105I Server Task reconnected successfully to " + c.proxy.requested);
  } else if (settings.trace) {
    PrintDated("TLX1106I Connected successfully to QMGR " + c.proxy.requested);
  }
  return qm;
}

// The object path of the command for the authority rules:
// $SYSTEM$\<queue manager>\<object>\<type>.
bool CheckCommandAuthority(const AgentState& agent, ClientConnection& c, mqPcfMessage* request,
                           std::string* user_out) {
  std::string user = Upper(Strip(Field(Header(request)->UserId, 12)));
  *user_out = user;
  c.authority = mqcAuthRequest{};
  std::snprintf(c.authority.MsgUser, sizeof c.authority.MsgUser, "%s", user.c_str());
  std::snprintf(c.authority.NodeUser, sizeof c.authority.NodeUser, "%s",
                Field(request->NodeHeader.UserName, 12).c_str());
  c.authority.Outcome = 1;
  if (!agent.settings().authority_check) return true;
  std::string path = "$SYSTEM$\\";
  int type = 9;
  std::string qmgr = Strip(GetString(request, kQmgrName));
  if (Has(request, kQmgrName)) {
    path += qmgr + "\\";
    type = 1;
  } else if (c.qm != nullptr) {
    path += Strip(Field(c.qm->name, sizeof c.qm->name)) + "\\";
    type = 1;
  }
  struct Object {
    MQLONG id;
    int type;
    int width;
  } objects[] = {{kQName, 11, 48},     {kProcessName, 7, 48},    {kChannelName, 6, 20},
                 {kMcaName, 8, 20},    {kNamelistName, 13, 48}, {kClusterQmgrName, 14, 48}};
  std::string name;
  for (const Object& object : objects) {
    if (!Has(request, object.id)) continue;
    Message record{};
    char text[49] = {};
    if (GetAttrByID(object.id, &record, request)) GetPcfStrAttrValue(&record, text, object.width);
    DeleteMessage(&record);
    name = text;
    type = object.type;
  }
  if (!name.empty() && name[0] != ' ') path += Strip(name) + "\\";
  path += std::to_string(type);
  std::string command = std::to_string(request->Cfh->Command);
  c.authority.Trace = agent.settings().trace ? 1 : 0;
  mqc_authority(user.c_str(), path.c_str(), command.c_str(), &c.authority);
  return c.authority.Outcome != 0;
}

// MQSC text through the command server's escape command. Returns 0, or
// the reason the script got no reply: with no command server reading its
// queue the escape would wait there and run whenever one starts, so it is
// not put at all (20012).
MQLONG RunMqscScript(const AgentState& agent, ClientConnection& c, mqPcfMessage* request,
                     mqPcfMessage* response) {
  if (CommandServerRunning(c.qm) == 0) return kRcCmdServerDown;
  mqPcfMessage* escape = CreatePcfMessage(kCmdEscape, MQCFT_COMMAND, 512);
  if (escape == nullptr) return kRcResourceProblem;
  escape->Body.Md = request->Body.Md;
  std::memcpy(MESSAGE_HEADER(&escape->Body)->MsgId, Header(request)->MsgId, 48);
  // The script runs as the request's user, as every command does.
  std::memcpy(MESSAGE_HEADER(&escape->Body)->UserId, Header(request)->UserId, 12);
  AddInt(escape, kEscapeType, 1);
  CopyParam(escape, request, kEscapeText);
  MQLONG wait = Header(request)->WaitInterval / 100;
  escape->Body.Md.Expiry = wait < 1 ? -1 : wait;
  escape->Body.Md.Report |= 0xE000C0;
  RawToPcf(escape);
  MQLONG reason = 0;
  if (!c.qm->qm_write(&escape->Body, c.qm)) {
    reason = static_cast<MQLONG>(c.qm->reason);
  } else {
    ResetPcfMessage(response, kCmdEscape, MQCFT_RESPONSE);
    if (ReadReply(agent, c, &response->Body, 10000)) {
      RawToPcf(response);
    } else {
      reason = static_cast<MQLONG>(c.qm->reason);
      if (reason == kRcNoMsg) reason = kRcNotResponding;
    }
  }
  DeletePcfMessage(escape);
  return reason;
}

bool InquireQueueRuntime(ClientConnection& c, mqPcfMessage* request, mqPcfMessage* response) {
  ResetPcfMessage(response, EXCMD_INQUIRE_Q_RUNTIME, MQCFT_RESPONSE);
  if (!Has(request, kQName)) {
    response->Cfh->CompCode = MQCC_FAILED;
    response->Cfh->Reason = kRcParmCountTooSmall;
    return false;
  }
  std::string queue = GetString(request, kQName);
  CopyParam(response, request, kQName);
  MQLONG depth = 0, max_depth = 0, input = 0, output = 0, trigger = 0, reason = 0;
  if (qqGetAllQStats(c.qm->hConn, queue.c_str(), &depth, &max_depth, &input, &output, &trigger,
                     &reason)) {
    AddInt(response, 3, depth);
    AddInt(response, 15, max_depth);
    AddInt(response, 17, input);
    AddInt(response, 18, output);
    AddInt(response, 24, trigger);
  } else {
    response->Cfh->CompCode = MQCC_FAILED;
    response->Cfh->Reason = reason;
  }
  RawToPcf(response);
  return true;
}

// Hands a message request to the message server on a connection of its
// own; the reply loop then relays its responses (c.message_run).
int ExecuteMessageRequest(AgentState& agent, ClientConnection& c, mqPcfMessage* request,
                          MQLONG* reason) {
  if (c.qm == nullptr) {
    *reason = kRcQmgrNotAvailable;
    return 0;
  }
  if (c.proxy.Proxied()) {
    *reason = kRcManagedByProxy;
    return 0;
  }
  if (agent.message_server == nullptr) {
    *reason = kRcResourceProblem;
    return 0;
  }
  // With authority checks the server acts as the checked user; without,
  // with the agent's own authority.
  std::string user = agent.settings().authority_check ? Field(c.open_user, 12) : "";
  bool taken = false;
  c.message_run = MessageRequestRun::Start(
      agent.message_server, c.proxy.proxy, c.proxy.command_queue, user, request,
      ReplyWaitMs(request), [&agent] { return agent.Stopping(); }, reason, &taken);
  return taken ? 1 : 0;
}

// One command. 1 when it succeeded or needs no further work.
int mqproc(AgentState& agent, ClientConnection& c, mqnMQNodeData* client, mqPcfMessage* request,
           mqPcfMessage* response, MQLONG* reason) {
  const Settings& settings = agent.settings();
  MQLONG command = request->Cfh->Command;
  // A local-queue inquiry for named attributes is answered from the
  // queue's statistics.
  MQLONG qtype = 0;
  if (command == kCmdInquireQ && GetInt(request, kQType, &qtype) && qtype == 1) {
    Message record{};
    MQLONG first = 0;
    if (GetAttrByID(kQAttrs, &record, request) && GetPcfIntListAttrValue(&record, 0, &first) &&
        first != kAllAttrs) {
      command = EXCMD_INQUIRE_Q_RUNTIME;
      request->Cfh->Command = command;
    }
    DeleteMessage(&record);
  }
  char saved_user[12];
  std::memcpy(saved_user, Header(request)->UserId, 12);
  if (!settings.authority_check) std::memset(Header(request)->UserId, 0, 12);
  auto restore = [&] { std::memcpy(Header(request)->UserId, saved_user, 12); };
  int result = 1;
  switch (command) {
    case EXCMD_OPEN_EVENT:
      result = OpenEventSource(agent, c, client, reason);
      break;
    case EXCMD_CLOSE_EVENT:
      result = CloseEventQueue(c, reason);
      break;
    case EXCMD_INQUIRE_Q_MGR_NAMES:
    case EXCMD_INQUIRE_CLUSQMGR_NAMES:
      return 1;
    case EXCMD_MQ_OPEN:
      DeleteQueueManager(c);
      c.qm = DoExcmdMQOpen(agent, c, client, request, reason);
      if (c.qm == nullptr) {
        LogCommandFailure(agent, *reason, request);
        result = 0;
      }
      break;
    case EXCMD_MQ_CLOSE:
      DeleteQueueManager(c);
      break;
    case EXCMD_CREATE_Q_MGR:
    case EXCMD_DELETE_Q_MGR:
      ResetPcfMessage(response, command, MQCFT_RESPONSE);
      response->Cfh->Reason = *reason;
      break;
    case EXCMD_MQSC_SCRIPT:
      if (c.qm == nullptr) {
        *reason = kRcQmgrNotAvailable;
        result = 0;
      } else if (c.proxy.Proxied()) {
        *reason = kRcManagedByProxy;
      } else {
        *reason = RunMqscScript(agent, c, request, response);
      }
      break;
    case EXCMD_START_Q_MGR:
    case EXCMD_STOP_Q_MGR:
    case EXCMD_INQUIRE_TEXT_FILE:
    case EXCMD_CREATE_TEXT_FILE:
      break;
    case EXCMD_INQUIRE_Q_RUNTIME:
      if (c.qm == nullptr) {
        *reason = kRcQmgrNotAvailable;
        result = 0;
      } else if (!InquireQueueRuntime(c, request, response)) {
        LogCommandFailure(agent, response->Cfh->Reason, request);
        result = 0;
      }
      break;
    case EXCMD_SHUTDOWN_MANAGER:
      response->Cfh->CompCode = MQCC_OK;
      agent.RequestStop();
      break;
    case EXCMD_START_PROCESS:
    case EXCMD_EXECUTE_SHELL_CMD:
      *reason = kRcCommandType;
      break;
    case EXCMD_TEST_Q_MGR:
      if (c.qm != nullptr) {
        ResetPcfMessage(response, EXCMD_TEST_Q_MGR, MQCFT_RESPONSE);
        response->Cfh->CompCode = MQCC_FAILED;
        response->Cfh->Reason = kRcAlreadyConnected;
        result = 0;
      } else {
        std::string name = Strip(GetString(request, kQmgrName));
        qmTest(name.c_str(), "SYSTEM.ADMIN.COMMAND.QUEUE", "MQMGM.ADMIN.EVENT.QUEUE",
               "MQCMD.DYNAMIC.QUEUE", response);
      }
      break;
    case EXCMD_MQ_DISCOVER:
      if (c.qm == nullptr) {
        *reason = kRcQmgrNotAvailable;
        result = 0;
      }
      break;
    default:
      if (IsMessageRequest(command)) {
        result = ExecuteMessageRequest(agent, c, request, reason);
        break;
      }
      if (settings.trace) std::printf("mqproc: Standard PCF command rcvd\n");
      if (c.qm == nullptr) {
        *reason = kRcQmgrNotAvailable;
        LogCommandFailure(agent, *reason, request);
        return 0;
      }
      if (!c.proxy.Proxied()) {
        if (CommandServerRunning(c.qm) == 0) {
          ResetPcfMessage(response, command, MQCFT_RESPONSE);
          response->Cfh->CompCode = MQCC_FAILED;
          response->Cfh->Reason = kRcCmdServerDown;
          *reason = kRcCmdServerDown;
          return 0;
        }
      }
      if (c.qm->replyQueue != nullptr) qqClear(c.qm->replyQueue);
      {
        MQLONG expiry = ReplyWaitMs(request) / 100;
        request->Body.Md.Expiry = expiry < 1 ? -1 : expiry;
        request->Body.Md.Report |= 0xC0;
        if (command == kCmdPingChannel || command == kCmdEscape) request->Body.Md.Report |= 0xE00000;
      }
      if (!c.qm->qm_write(&request->Body, c.qm)) {
        *reason = static_cast<MQLONG>(c.qm->reason);
        LogCommandFailure(agent, *reason, request);
        return 0;
      }
      return 1;
  }
  restore();
  if (result == 0 && *reason != 0) LogCommandFailure(agent, *reason, request);
  return result;
}

// Fills the response for one pass of the reply loop.
void ReadCommandReply(AgentState& agent, ClientConnection& c, mqPcfMessage* request,
                      mqPcfMessage* response, MQLONG reason) {
  MQLONG command = request->Cfh->Command;
  response->Cfh->Command = command;
  if (reason == kRcInProgress) {
    response->Cfh->CompCode = MQCC_WARNING;
    response->Cfh->Reason = kRcInProgress;
    return;
  }
  if (c.message_run != nullptr) {
    ResetPcfMessage(response, command, MQCFT_RESPONSE);
    c.message_run->NextResponse(response);
    return;
  }
  if (command == EXCMD_MQSC_SCRIPT || command == EXCMD_INQUIRE_Q_RUNTIME ||
      command == EXCMD_INQUIRE_TEXT_FILE || command == EXCMD_CREATE_TEXT_FILE ||
      command == EXCMD_TEST_Q_MGR) {
    if (reason != 0 && response->Cfh->Reason == 0) {
      response->Cfh->CompCode = MQCC_FAILED;
      response->Cfh->Reason = reason;
    }
    return;
  }
  if (IsStandardCommand(command) && !IsMessageRequest(command) && c.qm != nullptr && reason == 0) {
    ResetPcfMessage(response, command, MQCFT_RESPONSE);
    if (ReadReply(agent, c, &response->Body, ReplyWaitMs(request))) {
      if (command == kCmdPingChannel) {
        RawToPcf(response);
        AddString(response, kQmgrName, c.proxy.requested);
        CopyParam(response, request, kChannelName);
        AddInt(response, kPingTrip, static_cast<MQLONG>((time(nullptr) - c.proxy.arrival) * 10));
      }
      if (command == kCmdResetChannel || command == kCmdResolveChannel) {
        RawToPcf(response);
        if (response->Cfh->CompCode == MQCC_OK && response->Cfh->Reason == 0) {
          PutChannelEvent(c.qm, request, kCmdChannelEvent);
        }
      }
      if (!RawToPcf(response)) {
        ResetPcfMessage(response, command, MQCFT_RESPONSE);
        response->Cfh->CompCode = MQCC_FAILED;
        response->Cfh->Reason = 2029;
      }
      return;
    }
    ResetPcfMessage(response, command, MQCFT_RESPONSE);
    reason = static_cast<MQLONG>(c.qm->reason);
    if (reason == kRcNoMsg && !c.proxy.Proxied()) reason = kRcNotResponding;
  } else if (command == EXCMD_INQUIRE_Q_MGR_NAMES) {
    ResetPcfMessage(response, command, MQCFT_RESPONSE);
    std::string mask = Has(request, kQmgrMaskParam) ? GetString(request, kQmgrMaskParam) : "*";
    AppendQueueManagerNames(response, mask);
    RawToPcf(response);
    return;
  } else if (command == EXCMD_INQUIRE_CLUSQMGR_NAMES) {
    return;
  }
  response->Cfh->Reason = reason;
  response->Cfh->CompCode = reason != 0 ? MQCC_FAILED : MQCC_OK;
  RawToPcf(response);
}

void AddNodeIdentity(mqPcfMessage* request, mqPcfMessage* response) {
  RawToPcf(response);
  const MQLONG ids[] = {2015, 2016, 3001, 3002, 2029, 20,   3501, 3007, 3008, 3507,
                        2012, 3003, 3004, 1511, 1526, 2010, 3005, 3006, 2031};
  for (MQLONG id : ids) {
    if (!Has(response, id)) CopyParam(response, request, id);
  }
  AddInt(response, kPlatform, 7);
  AddString(response, kVersionParam, kVersion);
  RawToPcf(response);
  if (response->Cfh->Command == kCmdInquireQmgr) AddLogSettings(response);
}

// Bookkeeping of the connection before a command runs.
void NoteCommand(AgentState& agent, ClientConnection& c, mqPcfMessage* request) {
  MQLONG value = 0;
  switch (request->Cfh->Command) {
    case EXCMD_OPEN_EVENT:
      if (agent.settings().authority_check) std::memcpy(c.event_user, Header(request)->UserId, 12);
      if (GetInt(request, kHeartBeat, &value)) c.heartbeat_interval = value;
      c.events_open = true;
      break;
    case EXCMD_MQ_DISCOVER:
      if (Has(request, kQmgrMaskParam)) agent.SetQmgrMask(Strip(GetString(request, kQmgrMaskParam)));
      c.last_discovery = 0;
      if (GetInt(request, kDiscoveryPeriod, &value)) c.discovery_period = value;
      for (auto [id, mask] : {std::pair{20071, &c.masks.local}, {20072, &c.masks.alias},
                              {20073, &c.masks.remote}, {20074, &c.masks.model},
                              {2012, &c.masks.process}, {3501, &c.masks.channel}}) {
        if (Has(request, id)) *mask = Strip(GetString(request, id, id == 3501 ? 20 : 48));
      }
      break;
    case EXCMD_CLOSE_EVENT:
      c.events_open = false;
      c.heartbeat_interval = 0;
      break;
    case EXCMD_MQ_CLOSE:
      c.events_open = false;
      c.heartbeat_interval = 0;
      c.reconnect_pending = false;
      break;
    case EXCMD_MQ_OPEN:
      std::memcpy(c.open_user, Header(request)->UserId, 12);
      std::memcpy(c.open_appl, Header(request)->ApplName, 48);
      c.remembered = Strip(GetString(request, kQmgrName));
      c.reconnect_pending = c.qm == nullptr;
      break;
    default:
      break;
  }
}

// Runs one command and sends its replies, up to the last one.
void ExecuteCommand(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                    mqPcfMessage* request, mqPcfMessage* response) {
  const Settings& settings = agent.settings();
  int secure = settings.authentication ? 1 : 0;
  c.proxy.arrival = time(nullptr);
  if (settings.trace) {
    std::printf("\nCOMMAND FROM CLIENT: \n");
    PrintPcfMessage(request);
  }
  NoteCommand(agent, c, request);
  MQLONG reason = 0;
  std::string user;
  bool allowed = CheckCommandAuthority(agent, c, request, &user);
  if (allowed) {
    if (settings.authority_check) {
      std::snprintf(c.open_user, sizeof c.open_user, "%s", user.c_str());
      std::snprintf(c.event_user, sizeof c.event_user, "%s", user.c_str());
    }
    std::memset(Header(request)->UserId, 0, 12);
    std::memcpy(Header(request)->UserId, c.open_user, strnlen(c.open_user, 12));
    mqproc(agent, c, client, request, response, &reason);
    if (request->Cfh->Command == EXCMD_SHUTDOWN_MANAGER) {
      std::printf("Shutdown Manager Reply : CompCode = %d", static_cast<int>(response->Cfh->CompCode));
      std::fflush(stdout);
    }
  } else {
    // A refused open must not come back through the reconnection.
    if (request->Cfh->Command == EXCMD_MQ_OPEN) {
      c.remembered.clear();
      c.reconnect_pending = false;
    }
    response->Cfh->Reason = kRcNotAuthorized;
    response->Cfh->CompCode = MQCC_FAILED;
    response->Cfh->Command = request->Cfh->Command;
  }
  do {
    if (allowed) ReadCommandReply(agent, c, request, response, reason);
    MessageHeader* out = Header(response);
    const char* user_source = request->Cfh->Command == EXCMD_OPEN_EVENT
                                  ? request->NodeHeader.UserName
                                  : Header(request)->UserId;
    std::memcpy(out->UserId, user_source, 12);
    std::memcpy(out->MsgId, Header(request)->MsgId, 48);
    if (settings.trace) {
      std::printf("\nRESPONSE FROM SERVER: \n");
      PrintPcfMessage(response);
    }
    c.last_reply = response->Cfh->Control;
    if (Header(request)->ReplyTag != 0) {
      AddNodeIdentity(request, response);
      if (!Send(c, client, response, true, secure)) c.last_reply = MQCFC_LAST;
    }
    ResetPcfMessage(response, 0, MQCFT_RESPONSE);
    if (agent.Stopping()) break;
  } while (c.last_reply == MQCFC_NOT_LAST && allowed);
  // The run's connection goes back to its pool, whatever is left on it.
  c.message_run.reset();
  if (c.qm != nullptr && c.qm->replyQueue != nullptr && qqIsOpen(c.qm->replyQueue)) {
    qqClear(c.qm->replyQueue);
  }
  // A queue manager that went away is given up and opened again later, as
  // when its loss is seen on the event queue; a client with events open
  // hears of it the same way.
  if (c.qm != nullptr && (c.qm->reason == kRcConnectionBroken || c.qm->reason == kRcQmgrNotActive ||
                          c.qm->reason == kRcQmgrStopping)) {
    MQLONG lost = static_cast<MQLONG>(c.qm->reason);
    DeleteQueueManager(c);
    c.reconnect_pending = true;
    c.last_reconnect = time(nullptr);
    c.wait = 5;
    if (c.events_open) ReportNotActive(agent, c, client, response, lost);
  }
}

// Opens the remembered queue manager again after it went away.
void Reconnect(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
               mqPcfMessage* request, mqPcfMessage* response) {
  ResetPcfMessage(request, EXCMD_MQ_OPEN, MQCFT_RESPONSE);
  AddString(request, kQmgrName, c.remembered);
  std::memcpy(Header(request)->ApplName, c.open_appl, 48);
  std::memcpy(Header(request)->UserId, c.open_user, 12);
  RawToPcf(request);
  MQLONG reason = 0;
  c.qm = DoExcmdMQOpen(agent, c, client, request, &reason);
  if (reason == kRcQmgrNameError) {
    // The queue manager is gone for good: no more retries.
    if (c.events_open) ReportQueueManagerDeleted(agent, c, client, response);
    c.reconnect_pending = false;
  } else {
    if (c.qm != nullptr && c.events_open) ReportReconnected(agent, c, client, response);
    c.reconnect_pending = c.qm == nullptr;
  }
  ResetPcfMessage(request, 0, MQCFT_COMMAND);
  ResetPcfMessage(response, 0, MQCFT_RESPONSE);
  c.wait = 5;
  c.last_reconnect = c.now;
}

// Waits up to ms for room in the client's socket to send.
void WaitWritable(mqnMQNodeData* client, int ms) {
  pollfd p{client->socket.handle, POLLOUT, 0};
  poll(&p, 1, ms);
}

// A command whose PCF body cannot be read is not run. It is answered,
// when it asks for an answer and its header is whole, with CompCode 2 and
// 3013 (MQRCCF_STRUCTURE_TYPE_ERROR); nothing of its parameters is used.
void AnswerUnreadable(ClientConnection& c, mqnMQNodeData* client, mqPcfMessage* request,
                      mqPcfMessage* response, int secure) {
  const MessageHeader* in = Header(request);
  const bool whole_cfh = request->Body.UsedLength - MESSAGE_HEADER_LENGTH >=
                         static_cast<MQLONG>(sizeof(MQCFH));
  PrintDated("LOCALAGENT: PCF message from client not readable, ignored");
  if (whole_cfh && request->Cfh->Type == MQCFT_COMMAND && in->ReplyTag != 0) {
    ResetPcfMessage(response, request->Cfh->Command, MQCFT_RESPONSE);
    response->Cfh->CompCode = MQCC_FAILED;
    response->Cfh->Reason = kRcStructureError;
    MessageHeader* out = Header(response);
    std::memcpy(out->UserId, in->UserId, 12);
    std::memcpy(out->MsgId, in->MsgId, 48);
    Send(c, client, response, true, secure);
  }
  // Its index still describes the earlier message; no later step may use it.
  ResetPcfMessage(request, 0, MQCFT_COMMAND);
  ResetPcfMessage(response, 0, MQCFT_RESPONSE);
}

}  // namespace

ReadOutcome ServeClientRead(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                            mqPcfMessage* request, mqPcfMessage* response) {
  const int secure = agent.settings().authentication ? 1 : 0;
  if (!mnSRead(request, client, secure, c.credential)) {
    if (client->lastError == MN_ERR_WOULD_BLOCK) return ReadOutcome::kNothing;
    if (client->lastError != MN_ERR_BAD_BODY) return ReadOutcome::kEnd;
    // The frame arrived whole, so the stream is in step, but its body
    // could not be indexed: running it would read its parameters through
    // the index of an earlier message.
    AnswerUnreadable(c, client, request, response, secure);
    return c.end_connection ? ReadOutcome::kEnd : ReadOutcome::kHandled;
  }
  if (request->Cfh->Type != MQCFT_COMMAND) {
    RawToPcf(request);
    PrintDated("TLX1116W Response from client not legal, ignored");
    PrintPcfMessage(request);
    return ReadOutcome::kHandled;
  }
  ExecuteCommand(agent, c, client, request, response);
  return c.end_connection ? ReadOutcome::kEnd : ReadOutcome::kHandled;
}

void HandleClient(AgentState& agent, mqnMQNodeData* client) {
  const Settings& settings = agent.settings();
  int secure = settings.authentication ? 1 : 0;
  ClientConnection c;
  if (!mqc_get_signature(&c.credential)) {
    LogError(kIme0015, 0);
    DeleteMQNode(client);
    return;
  }
  mqPcfMessage* request = CreatePcfMessage(0, MQCFT_COMMAND, 32000);
  mqPcfMessage* response = CreatePcfMessage(0, MQCFT_RESPONSE, 32000);
  client->pendingLimit = kPendingLimit;
  // Reads and writes never block the thread: a partial frame waits for the
  // rest in the node, and the stop flag is seen within a wait.
  NoblockSocket(&client->socket);
  while (request != nullptr && response != nullptr && !agent.Stopping()) {
    mqnMQNodeData* nodes[] = {client, nullptr};
    mqnMQNodeData* accept_ready[2] = {};
    mqnMQNodeData* read_ready[2] = {};
    mqnMQNodeData* write_ready[2] = {};
    int error = 0;
    int wait = std::min(c.wait, 1);
    int ready = mnNPost(nodes, accept_ready, read_ready, write_ready, wait, &error);
    if (mnIsPendingIO(client)) mnFinishWrite(client);
    c.now = time(nullptr);
    // Discovery when due, also without a queue manager: it then reports
    // its failure (2059).
    if (!DiscoverWhenDue(agent, c, client, response)) break;
    if (c.heartbeat_interval > 0 && c.now - c.last_heartbeat >= c.heartbeat_interval) {
      ResetPcfMessage(response, EXCMD_HEART_BEAT, MQCFT_EVENT);
      if (!Send(c, client, response, false, secure)) break;
      c.last_heartbeat = c.now;
    }
    ResetPcfMessage(response, 0, MQCFT_RESPONSE);
    std::memset(Header(request)->MsgId, 0, 48);
    std::memset(Header(response)->MsgId, 0, 48);
    if (c.qm == nullptr && c.reconnect_pending && c.now - c.last_reconnect > 4 &&
        !c.remembered.empty() && c.remembered[0] != ' ') {
      Reconnect(agent, c, client, request, response);
      if (c.end_connection) break;
      continue;
    }
    if (c.qm != nullptr) {
      bool lose = false;
      if (!ForwardEvents(agent, c, client, response, &lose)) break;
      if (lose) {
        DeleteQueueManager(c);
        c.reconnect_pending = true;
        c.last_reconnect = c.now;
        c.wait = 5;
      }
      ResetPcfMessage(response, 0, MQCFT_RESPONSE);
    }
    if (!ready || read_ready[0] == nullptr) {
      if (error == 0 || error == NET_ERR_TIMEOUT || error == 10004) continue;
      break;
    }
    if (mnIsPendingIO(client)) {
      // The client is not taking its replies: its next commands stay
      // unread until they have gone out, or their answers (messages of
      // any size) would pile up here without bound.
      WaitWritable(client, 1000);
      if (!mnFinishWrite(client)) break;  // a write failed for good
      continue;
    }
    if (ServeClientRead(agent, c, client, request, response) == ReadOutcome::kEnd) break;
  }
  if (client->lastError != 0 && settings.trace) LogError(kImi0008, client->lastError);
  DeletePcfMessage(request);
  DeletePcfMessage(response);
  DeleteMQNode(client);
  DeleteQueueManager(c);
  mqc_release_signature(&c.credential);
}

}  // namespace localagent
