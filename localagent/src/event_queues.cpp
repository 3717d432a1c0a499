// Event sources of a client connection, forwarding of events, and
// discovery (its inquiries answer onto the event queue).
#include "event_queues.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <pcfcore/excmd.h>

#include "agent_log.h"
#include "pcf_params.h"

namespace localagent {
namespace {

constexpr MQLONG kOpenInputExclusive = 4;
constexpr MQLONG kOpenInquire = 32;
constexpr MQLONG kCmdQmgrEvent = 44;
constexpr MQLONG kCmdInquireQmgr = 2;
constexpr MQLONG kCmdInquireProcess = 7;
constexpr MQLONG kReasonQualifier = 1020;
constexpr MQLONG kQmgrName = 2015;
constexpr MQLONG kQName = 2016;
constexpr MQLONG kBaseQName = 2002;
constexpr MQLONG kDepthHighLimit = 40;
constexpr MQLONG kDepthLowLimit = 41;
constexpr MQLONG kRcNoQmgr = 3008;
constexpr MQLONG kRcUnknownObject = 2085;
constexpr MQLONG kRcNoMsg = 2033;
constexpr MQLONG kRcNotConverted = 2119;
constexpr MQLONG kRcQmgrNotActive = 2223;
constexpr MQLONG kRcConnectionBroken = 2009;
constexpr MQLONG kRcQmgrNotAvailable = 2059;
constexpr MQLONG kRcNotOpenForInput = 2037;
constexpr MQLONG kRcDepthHigh = 2224;
constexpr MQLONG kRcDepthLow = 2225;
constexpr MQLONG kRcProxied = 20305;
constexpr MQLONG kExrcDiscoveryFailed = 20010;
constexpr MQLONG kExrcDiscoveryStarted = 20011;
constexpr MQLONG kExrcCmdServerDown = 20012;
constexpr MQLONG kExrcDiscoveryStopped = 20017;
constexpr MQLONG kExrcPubsubNotActive = 20018;
constexpr MQLONG kExrcQmgrDeleted = 20004;
constexpr MQLONG kExrcChannelReset = 20019;
constexpr MQLONG kExrcChannelResolved = 20020;
constexpr MQLONG kRcQmgrActive = 2222;
constexpr MQLONG kRcNoPublisher = 2102;
constexpr MQLONG kApplName = 3024;        // MQCACF_APPL_NAME
constexpr MQLONG kUserIdentifier = 3025;  // MQCACF_USER_IDENTIFIER
constexpr MQLONG kCmdResetChannel = 27;
constexpr MQLONG kCmdResolveChannel = 39;
constexpr MQLONG kCmdPerfEvent = 45;
constexpr MQLONG kCmdChannelEvent = 46;

constexpr const char kModelQueue[] = "SYSTEM.DEFAULT.MODEL.QUEUE";
constexpr const char kPublisherQueue[] = "HARROWLINE.PUBLISH.EVENT.QUEUE";
constexpr const char kSharedQueue[] = "MQMGM.ADMIN.EVENT.QUEUE";
constexpr const char kQmgrEvents[] = "SYSTEM.ADMIN.QMGR.EVENT";
constexpr const char kChannelEvents[] = "SYSTEM.ADMIN.CHANNEL.EVENT";
constexpr const char kPerfEvents[] = "SYSTEM.ADMIN.PERFM.EVENT";

std::string Trim(const char* text, size_t width) {
  std::string s(text, strnlen(text, width));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  size_t first = s.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : s.substr(first);
}

// Version 1, fail if quiescing, no syncpoint.
MQPMO PutOptions() {
  MQPMO pmo{};
  std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
  pmo.Version = MQPMO_VERSION_1;
  pmo.Options = MQPMO_NO_SYNCPOINT | MQPMO_FAIL_IF_QUIESCING;
  pmo.Timeout = -1;
  return pmo;
}

std::string AltUser(const ClientConnection& c) { return Trim(c.event_user, 12); }

bool Send(ClientConnection& c, mqnMQNodeData* client, mqPcfMessage* message, int secure) {
  if (mnSWrite(message, client, secure, c.credential)) return true;
  c.end_connection = true;
  return false;
}

// An event of the agent's own (44, type 7) with the queue-manager name and
// a reason qualifier.
void MakeAgentEvent(mqPcfMessage* message, MQLONG reason, const std::string& qmgr, MQLONG qualifier) {
  ResetPcfMessage(message, kCmdQmgrEvent, MQCFT_EVENT);
  message->Cfh->Reason = reason;
  AddString(message, kQmgrName, qmgr);
  AddInt(message, kReasonQualifier, qualifier);
  RawToPcf(message);
}

bool IsSysQmgrQueue(const MQueue* queue) {
  return queue != nullptr && Trim(queue->name, sizeof queue->name) == kQmgrEvents;
}

// Opens queue (made when missing) for input; a failure is printed and kept.
void OpenSysQueue(ClientConnection& c, MQueue** queue, const char* name, MQLONG* reason) {
  if (*queue == nullptr) *queue = CreateMQueue(c.qm->hConn, name);
  if (*queue == nullptr || qqIsOpen(*queue)) return;
  std::string user = AltUser(c);
  if (!qqOpen(kOpenInputExclusive, *queue, user.c_str())) {
    *reason = (*queue)->reason;
    char line[200];
    std::snprintf(line, sizeof line, "TLX1108E OpenSysEventQ: qqOpen failed, EventQ %s:%s REASON(%d)",
                  c.qm->name, name, static_cast<int>(*reason));
    PrintDated(line);
  }
}

// The private queue's name: the system event queue setting, blanks
// stripped, with "*" so that the queue manager completes short names.
std::string PrivateQueueName(const ClientConnection& c) {
  std::string part = Trim(c.proxy.system_event_queue.c_str(), c.proxy.system_event_queue.size());
  part.erase(std::remove(part.begin(), part.end(), ' '), part.end());
  if (part.size() <= 16) part += "*";
  return "HARROWLINE.EVENT." + part;
}

// Subscribes the private queue with the publisher; its reason, 0 on success.
MQLONG Subscribe(AgentState& agent, ClientConnection& c, mqnMQNodeData* client, MQueue* publisher) {
  mqPcfMessage* sub = CreatePcfMessage(EXCMD_OPEN_EVENT, MQCFT_COMMAND, 512);
  if (sub == nullptr) return 2071;
  MQMD& md = sub->Body.Md;
  std::string name = Trim(c.qm->eventQueue->name, sizeof c.qm->eventQueue->name);
  std::memset(md.ReplyToQ, ' ', sizeof md.ReplyToQ);
  std::memcpy(md.ReplyToQ, name.data(), std::min(name.size(), sizeof md.ReplyToQ));
  std::memset(md.ReplyToQMgr, ' ', sizeof md.ReplyToQMgr);
  std::memcpy(md.ReplyToQMgr, c.qm->name, strnlen(c.qm->name, sizeof md.ReplyToQMgr));
  std::memcpy(md.MsgId, MESSAGE_HEADER(&sub->Body)->MsgId, sizeof md.MsgId);
  std::memcpy(md.CorrelId, MESSAGE_HEADER(&sub->Body)->MsgId + 24, sizeof md.CorrelId);
  md.Persistence = 0;
  md.Report |= 0xC0;
  MQPMO pmo = PutOptions();
  MQLONG reason = qqWrite(&sub->Body, &pmo, publisher) ? 0 : publisher->reason;
  DeletePcfMessage(sub);
  if (reason != 0) return reason;
  if (qqOpen(kOpenInquire, publisher, nullptr)) {
    if (!qqIsOpenInput(publisher)) {
      mqPcfMessage* event = CreatePcfMessage(0, MQCFT_EVENT, 512);
      if (event != nullptr) {
        MakeAgentEvent(event, kExrcPubsubNotActive, c.qm->name, publisher->reason);
        Send(c, client, event, agent.settings().authentication ? 1 : 0);
        DeletePcfMessage(event);
      }
    }
    qqClose(publisher);
  }
  char description[400];
  std::snprintf(description, sizeof description, "Created for %s(%d), user(%s), appl(%s)",
                client->socket.peer.ip, static_cast<int>(client->socket.peer.port), AltUser(c).c_str(),
                c.proxy.system_event_queue.c_str());
  MQLONG ignored = 0;
  qmUpdateQueInfo(c.qm, name.c_str(), description, &ignored);
  return 0;
}

}  // namespace

int OpenSysEventQ(ClientConnection& c, MQLONG* reason) {
  if (c.proxy.Proxied()) {
    *reason = kRcProxied;
    return 0;
  }
  if (c.qm == nullptr) {
    *reason = kRcNoQmgr;
    return 0;
  }
  OpenSysQueue(c, &c.channel_events, kChannelEvents, reason);
  OpenSysQueue(c, &c.perf_events, kPerfEvents, reason);
  if (!IsSysQmgrQueue(c.qm->eventQueue)) {
    DeleteMQueue(c.qm->eventQueue);
    c.qm->eventQueue = nullptr;
  }
  OpenSysQueue(c, &c.qm->eventQueue, kQmgrEvents, reason);
  return 1;
}

int CloseEventQueue(ClientConnection& c, MQLONG* reason) {
  if (c.qm == nullptr) {
    *reason = kRcNoQmgr;
    return 0;
  }
  if (c.qm->eventQueue != nullptr && !qqClose(c.qm->eventQueue)) {
    *reason = static_cast<MQLONG>(c.qm->eventQueue->reason);
    return 0;
  }
  return 1;
}

void DeleteSysEventQueues(ClientConnection& c) {
  DeleteMQueue(c.channel_events);
  DeleteMQueue(c.perf_events);
  c.channel_events = nullptr;
  c.perf_events = nullptr;
}

int DoExcmdOpenEvent(AgentState& agent, ClientConnection& c, mqnMQNodeData* client, MQLONG* reason) {
  const bool trace = agent.settings().trace;
  if (c.qm == nullptr) {
    *reason = kRcNoQmgr;
    return 0;
  }
  std::string user = AltUser(c);
  if (c.qm->eventQueue != nullptr && qqIsOpen(c.qm->eventQueue)) {
    if (trace) {
      std::printf("DoExcmdOpenEvent: Event Q %s for QMGR %s is already open\n", c.qm->eventQueue->name,
                  c.qm->name);
    }
    return 1;
  }
  if (c.proxy.Proxied()) {
    if (c.qm->eventQueue == nullptr) c.qm->eventQueue = CreateMQueue(c.qm->hConn, c.proxy.system_event_queue.c_str());
    if (c.qm->eventQueue == nullptr) return 0;
    if (qqOpen(kOpenInputExclusive, c.qm->eventQueue, user.c_str())) return 1;
    *reason = c.qm->eventQueue->reason;
    return 0;
  }
  DeleteMQueue(c.qm->eventQueue);
  std::string name = PrivateQueueName(c);
  c.qm->eventQueue = CreateMQDynamic(c.qm->hConn, kModelQueue, name.c_str());
  if (c.qm->eventQueue == nullptr) return 0;
  if (!qqOpenDynamic(kOpenInputExclusive, c.qm->eventQueue, kModelQueue, user.c_str())) {
    *reason = c.qm->eventQueue->reason;
    char line[300];
    std::snprintf(line, sizeof line,
                  "TLX1107E DoExcmdOpenEvent: qqOpenDynamic failed REASON(%d) EventQ %s:%s User(%s)",
                  static_cast<int>(*reason), c.qm->name, name.c_str(), user.c_str());
    PrintDated(line);
    return 0;
  }
  // Events reach the private queue only through a publisher. Where the
  // publisher queue is not defined (no publisher is built here), or the
  // subscription cannot be put, the connection falls back to the shared
  // queue and then to the system event queues.
  MQueue* publisher = CreateMQueue(c.qm->hConn, kPublisherQueue);
  if (publisher == nullptr) {
    *reason = kRcNoPublisher;
    return 1;
  }
  MQLONG put_reason = -1;
  if (qqOpen(kOpenInquire, publisher, nullptr)) {
    qqClose(publisher);
    put_reason = Subscribe(agent, c, client, publisher);
  }
  DeleteMQueue(publisher);
  if (put_reason == 0) return 1;
  DeleteMQueue(c.qm->eventQueue);
  c.qm->eventQueue = CreateMQueue(c.qm->hConn, kSharedQueue);
  if (c.qm->eventQueue == nullptr) return 0;
  if (qqOpen(kOpenInputExclusive, c.qm->eventQueue, user.c_str())) {
    if (trace) {
      std::printf("DoExcmdOpenEvent: qqOpen success...\n");
      std::printf("  Eventq: %s, QMGR: %s \n", c.qm->eventQueue->name, c.qm->name);
    }
    return 1;
  }
  *reason = c.qm->eventQueue->reason;
  char line[300];
  std::snprintf(line, sizeof line, "TLX1108E DoExcmdOpenEvent: qqOpen failed, EventQ %s:%s REASON(%d)",
                c.qm->name, kSharedQueue, static_cast<int>(*reason));
  PrintDated(line);
  return 0;
}

int OpenEventSource(AgentState& agent, ClientConnection& c, mqnMQNodeData* client, MQLONG* reason) {
  if (DoExcmdOpenEvent(agent, c, client, reason)) return 1;
  if (*reason != kRcUnknownObject) return 0;
  CloseEventQueue(c, reason);
  *reason = 0;
  return OpenSysEventQ(c, reason);
}

namespace {

// Reads one event from queue into response. 1 with something to forward.
int ReadEvent(AgentState& agent, ClientConnection& c, MQueue* queue, mqPcfMessage* response) {
  ResetPcfMessage(response, 0, MQCFT_EVENT);
  std::memset(response->Body.Md.MsgId, 0, sizeof response->Body.Md.MsgId);
  std::memset(response->Body.Md.CorrelId, 0, sizeof response->Body.Md.CorrelId);
  if (!ReadEventQ(&response->Body, 100, c.qm, queue)) {
    MQLONG reason = static_cast<MQLONG>(c.qm->reason);
    c.last_reason = reason;
    if (reason == kRcNoMsg || reason == kRcNotConverted) return 0;
    LogError(kIme0011, reason);
    MakeAgentEvent(response, kRcQmgrNotActive, c.proxy.requested, reason);
    return 1;
  }
  // Only PCF goes to the group manager: anything else put on an event
  // queue is dropped, and said once per connection.
  std::string format(response->Body.Md.Format, 8);
  bool pcf = (format == "MQEVENT " || format == "MQADMIN " || format == "MQPCF   ") &&
             RawToPcf(response);
  if (!pcf) {
    if (!c.non_pcf_logged) {
      char line[200];
      std::snprintf(line, sizeof line, "TLX1111W Message that is not PCF on event queue %s dropped",
                    Trim(queue->name, sizeof queue->name).c_str());
      PrintDated(line);
      c.non_pcf_logged = true;
    }
    ResetPcfMessage(response, 0, MQCFT_EVENT);
    return 0;
  }
  MessageHeader* header = MESSAGE_HEADER(&response->Body);
  std::memcpy(header->MsgId, response->Body.Md.MsgId, 24);
  std::memcpy(header->MsgId + 24, response->Body.Md.CorrelId, 24);
  MQLONG reason = response->Cfh->Reason;
  Message record{};
  if ((reason == kRcDepthHigh || reason == kRcDepthLow) &&
      !GetAttrByID(kDepthHighLimit, &record, response)) {
    std::string queue_name;
    for (MQLONG id : {kBaseQName, kQName}) {
      DeleteMessage(&record);
      if (GetAttrByID(id, &record, response)) {
        char text[49] = {};
        if (GetPcfStrAttrValue(&record, text, 48)) queue_name = Trim(text, 48);
        break;
      }
    }
    if (!queue_name.empty()) {
      MQLONG high = 0, low = 0, rc = 0;
      bool ok = qqGetIntAttr(c.qm->hConn, queue_name.c_str(), kDepthHighLimit, &high, &rc) &&
                qqGetIntAttr(c.qm->hConn, queue_name.c_str(), kDepthLowLimit, &low, &rc);
      if (ok) {
        AddInt(response, kDepthHighLimit, high);
        AddInt(response, kDepthLowLimit, low);
        RawToPcf(response);
      } else {
        char line[200];
        std::snprintf(line, sizeof line, "TLX1110W GetPcfEvent: MQINQ(%s) failed RC(%d)",
                      queue_name.c_str(), static_cast<int>(rc));
        PrintDated(line);
      }
    }
  }
  DeleteMessage(&record);
  (void)agent;
  return 1;
}

// Sends one event read into response; false when the connection must end.
bool Forward(AgentState& agent, ClientConnection& c, mqnMQNodeData* client, mqPcfMessage* response,
             bool* lose) {
  int secure = agent.settings().authentication ? 1 : 0;
  c.wait = 0;
  c.last_reply = response->Cfh->Control;
  MQLONG command = response->Cfh->Command;
  MQLONG control = response->Cfh->Control;
  MQLONG reason = response->Cfh->Reason;
  RawToPcf(response);
  // A queue-manager inquiry reply (discovery's first) carries the log
  // settings, as when the client asks for it itself.
  if (command == kCmdInquireQmgr) AddLogSettings(response);
  if (!Send(c, client, response, secure)) {
    c.last_reply = MQCFC_LAST;
    return false;
  }
  if (reason == kRcQmgrNotActive || reason == kRcConnectionBroken) *lose = true;
  if (command == kCmdInquireProcess && control == MQCFC_LAST) {
    MakeAgentEvent(response, kExrcDiscoveryStopped, c.proxy.requested, reason);
    if (!Send(c, client, response, secure)) return false;
  }
  return true;
}

}  // namespace

bool ForwardEvents(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                   mqPcfMessage* response, bool* lose) {
  *lose = false;
  if (c.qm == nullptr || c.qm->eventQueue == nullptr || !qqIsOpen(c.qm->eventQueue)) return true;
  c.events_open = true;
  if (ReadEvent(agent, c, c.qm->eventQueue, response)) {
    if (!Forward(agent, c, client, response, lose)) return false;
  } else if (c.last_reason == kRcQmgrNotActive || c.last_reason == kRcConnectionBroken) {
    *lose = true;
  }
  if (*lose || !IsSysQmgrQueue(c.qm->eventQueue)) return true;
  for (MQueue* queue : {c.channel_events, c.perf_events}) {
    if (queue == nullptr || !qqIsOpen(queue)) continue;
    if (ReadEvent(agent, c, queue, response)) {
      if (!Forward(agent, c, client, response, lose)) return false;
      if (*lose) break;
    }
  }
  return true;
}

int RunDiscovery(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                 mqPcfMessage* message, std::string* failing_queue, MQLONG* reason) {
  int secure = agent.settings().authentication ? 1 : 0;
  *reason = 0;
  failing_queue->clear();
  // The local queue-manager list goes first.
  mqPcfMessage* list = CreatePcfMessage(EXCMD_INQUIRE_Q_MGR_NAMES, MQCFT_RESPONSE, 512);
  if (list != nullptr) {
    MQPlatform* platform = CreateMQPlatform("WIN32");
    if (platform != nullptr) {
      plReadWithMask(list, platform, agent.QmgrMask().c_str());
      DeleteMQPlatform(platform);
    }
    RawToPcf(list);
    bool sent = Send(c, client, list, secure);
    DeletePcfMessage(list);
    if (!sent) return 0;
  }
  if (c.qm == nullptr) {
    *reason = kRcQmgrNotAvailable;
    return 0;
  }
  MQueue* events = c.qm->eventQueue;
  if (events == nullptr || !qqIsOpen(events)) {
    std::string name = events != nullptr ? Trim(events->name, sizeof events->name) : "";
    char line[200];
    std::snprintf(line, sizeof line, "TLX1109W Discovery cannot start, EventQ %s:%s not open for input",
                  c.qm->name, name.c_str());
    PrintDated(line);
    *reason = kRcNotOpenForInput;
    *failing_queue = name;
    return 0;
  }
  MQueue* command_queue = c.qm->commandQueue;
  if (!c.proxy.Proxied() && command_queue != nullptr) {
    bool opened = qqOpen(kOpenInquire, command_queue, nullptr);
    if (opened && !qqIsOpenInput(command_queue)) {
      std::string name = Trim(command_queue->name, sizeof command_queue->name);
      if (agent.settings().trace) {
        char line[300];
        std::snprintf(line, sizeof line,
                      "Discovery cannot start. CmdQ %s[%s] not open for input, RC(%d). Send "
                      "EXRC_CMD_SERVER_DOWN event.\n",
                      name.c_str(), c.qm->name, static_cast<int>(command_queue->reason));
        PrintDated(line);
      }
      MakeAgentEvent(message, kExrcCmdServerDown, c.qm->name, command_queue->reason);
      Send(c, client, message, secure);
      *reason = kExrcCmdServerDown;
      *failing_queue = name;
    }
    if (opened) qqClose(command_queue);
  }
  struct Row {
    MQLONG command;
    MQLONG selector;
  };
  static constexpr Row kRows[] = {{2, 0},  {13, 1}, {13, 3}, {13, 6}, {13, 2}, {13, 7},
                                  {18, 0}, {25, 0}, {25, 6}, {20, 0}, {42, 0}, {19, 0},
                                  {7, 0},  {37, 0}, {36, 0}, {70, 0}};
  std::string event_queue = Trim(events->name, sizeof events->name);
  for (const Row& row : kRows) {
    if (*reason != 0) break;
    std::string name = "*";
    if (row.command == 7 || row.command == 19) name = c.masks.process;
    else if (row.command == 20 || row.command == 25 || row.command == 42) name = c.masks.channel;
    else if (row.command == 13 && row.selector == 1) name = c.masks.local;
    else if (row.command == 13 && row.selector == 3) name = c.masks.alias;
    else if (row.command == 13 && row.selector == 6) name = c.masks.remote;
    else if (row.command == 13 && row.selector == 2) name = c.masks.model;
    if (name.empty() || name[0] == ' ' || name == "$none$") continue;
    ResetPcfMessage(message, row.command, MQCFT_COMMAND);
    MQMD& md = message->Body.Md;
    std::memset(md.ReplyToQ, ' ', sizeof md.ReplyToQ);
    std::memcpy(md.ReplyToQ, event_queue.data(), std::min(event_queue.size(), sizeof md.ReplyToQ));
    std::memset(md.ReplyToQMgr, ' ', sizeof md.ReplyToQMgr);
    std::memcpy(md.ReplyToQMgr, c.qm->name, strnlen(c.qm->name, sizeof md.ReplyToQMgr));
    md.Persistence = 0;
    std::memset(md.MsgId, 0, sizeof md.MsgId);
    std::memset(md.CorrelId, 0, sizeof md.CorrelId);
    BuildPcfCmd(message, name.c_str(), row.selector);
    MQPMO pmo = PutOptions();
    if (!qqWrite(&message->Body, &pmo, command_queue)) {
      *reason = command_queue->reason;
      *failing_queue = Trim(command_queue->name, sizeof command_queue->name);
    }
  }
  return *reason == 0 ? 1 : 0;
}

bool DiscoverWhenDue(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                     mqPcfMessage* response) {
  if (c.discovery_period <= 0 || c.now - c.last_discovery < c.discovery_period) return true;
  std::string failing;
  MQLONG reason = 0;
  RunDiscovery(agent, c, client, response, &failing, &reason);
  if (c.end_connection) return false;
  MakeAgentEvent(response, reason != 0 ? kExrcDiscoveryFailed : kExrcDiscoveryStarted,
                 c.proxy.requested, reason);
  if (!failing.empty()) {
    AddString(response, kQName, failing);
    RawToPcf(response);
  }
  c.last_discovery = c.now;
  return Send(c, client, response, agent.settings().authentication ? 1 : 0);
}

bool ReportReconnected(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                       mqPcfMessage* response) {
  MQLONG reason = 0;
  OpenEventSource(agent, c, client, &reason);
  if (c.end_connection) return false;
  ResetPcfMessage(response, kCmdQmgrEvent, MQCFT_EVENT);
  response->Cfh->Reason = kRcQmgrActive;
  AddString(response, kQmgrName, c.proxy.requested);
  AddString(response, kApplName, Trim(c.open_appl, sizeof c.open_appl - 1));
  RawToPcf(response);
  return Send(c, client, response, agent.settings().authentication ? 1 : 0);
}

bool ReportNotActive(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                     mqPcfMessage* response, MQLONG reason) {
  MakeAgentEvent(response, kRcQmgrNotActive, c.proxy.requested, reason);
  return Send(c, client, response, agent.settings().authentication ? 1 : 0);
}

bool ReportQueueManagerDeleted(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                               mqPcfMessage* response) {
  ResetPcfMessage(response, kCmdQmgrEvent, MQCFT_EVENT);
  response->Cfh->Reason = kExrcQmgrDeleted;
  AddString(response, kQmgrName, c.remembered);
  RawToPcf(response);
  return Send(c, client, response, agent.settings().authentication ? 1 : 0);
}

int PutChannelEvent(MQManager* qm, const mqPcfMessage* request, MQLONG which) {
  if (qm == nullptr || request == nullptr) return 0;
  mqPcfMessage* event = CreatePcfMessage(kCmdChannelEvent, MQCFT_EVENT, 512);
  if (event == nullptr) return 0;
  std::memcpy(event->NodeHeader.UserName, request->NodeHeader.UserName, sizeof event->NodeHeader.UserName);
  AddString(event, kQmgrName, Trim(qm->name, sizeof qm->name));
  AddString(event, kUserIdentifier, Trim(request->NodeHeader.UserName, sizeof request->NodeHeader.UserName));
  Message record{};
  for (MQLONG position = 1; position <= request->Cfh->ParameterCount; ++position) {
    if (GetAttrByPos(position, &record, request)) AppendAttr(event, &record);
  }
  DeleteMessage(&record);
  MQLONG command = request->Cfh->Command;
  event->Cfh->Reason = command == kCmdResetChannel     ? kExrcChannelReset
                       : command == kCmdResolveChannel ? kExrcChannelResolved
                                                       : command;
  RawToPcf(event);
  // The event goes to a queue of its own kind: a new object put to once
  // (MQPUT1), or the connection's event queue.
  const char* name = which == kCmdChannelEvent ? kChannelEvents
                     : which == kCmdQmgrEvent  ? kQmgrEvents
                     : which == kCmdPerfEvent  ? kPerfEvents
                                               : nullptr;
  MQueue* queue = name != nullptr ? CreateMQueue(qm->hConn, name) : qm->eventQueue;
  int result = 0;
  if (queue != nullptr) {
    MQPMO pmo = PutOptions();
    result = qqWrite(&event->Body, &pmo, queue);
    if (!result) {
      char line[200];
      std::snprintf(line, sizeof line, "TLX1112W PutChannelEvent: MQPUT(%s) failed RC(%d)",
                    Trim(queue->name, sizeof queue->name).c_str(), static_cast<int>(queue->reason));
      PrintDated(line);
    }
    if (name != nullptr) DeleteMQueue(queue);
  }
  DeletePcfMessage(event);
  return result;
}

}  // namespace localagent
