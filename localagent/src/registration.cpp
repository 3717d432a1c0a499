// Registration with the group managers over UDP, and the datagrams they
// send back: confirmations, discovery broadcasts and the shutdown request.

#include <netdb.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <pcfcore/excmd.h>
#include <pcfcore/ini.h>
#include <pcfcore/pcf_message.h>
#include <pcfcore/pcf_records.h>
#include <pcfcore/text.h>

#include "agent.h"
#include "agent_log.h"
#include "pcf_params.h"

namespace localagent {
namespace {

// Parameter ids of the registration datagram.
constexpr MQLONG kGroupName = 20006;       // MANAGER_NAME
constexpr MQLONG kNodeName = 20007;        // MQNODE_NAME
constexpr MQLONG kNetAddress = 20009;      // MQNODE_NET_ADDRESS
constexpr MQLONG kLogPath = 20019;         // MQLOG_PATH
constexpr MQLONG kConfirmGroup = 20020;    // the group of a confirmation
constexpr MQLONG kPortNo = 20106;          // MQNODE_PORT_NO
constexpr MQLONG kPlatform = 20119;        // MQNODE_PLATFORM
constexpr MQLONG kLogType = 20143;         // MQLOG_LOG_TYPE
constexpr MQLONG kLogPrimary = 20144;      // MQLOG_PRIMARY_FILES
constexpr MQLONG kLogSecondary = 20145;    // MQLOG_SECONDARY_FILES
constexpr MQLONG kLogFilePages = 20146;    // MQLOG_FILE_PAGES
constexpr MQLONG kLogBufferPages = 20150;  // MQLOG_BUFFER_PAGES
constexpr MQLONG kDiscovery = 20324;       // MQNODE_DISCOVERY_PERIOD
constexpr MQLONG kUseDns = 20425;          // MQNODE_USE_DNS
constexpr MQLONG kQmgrMask = 20908;        // MQNODE_Q_MGR_MASK
constexpr MQLONG kVersionId = 20909;       // MQNODE_VERSION
constexpr MQLONG kHostName = 20912;        // MQNODE_HOST_NAME

constexpr MQLONG kInquireActiveManager = 10108;
constexpr MQLONG kPlatformValue = 7;
constexpr int kNoHostReason = 4010;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// A string parameter of at most 32 characters, cut at its first blank.
std::string GroupParameter(const mqPcfMessage* message, MQLONG id) {
  Message record{};
  char text[33] = {};
  if (GetAttrByID(id, &record, message)) GetPcfStrAttrValue(&record, text, 32);
  DeleteMessage(&record);
  strip_spaces(text);
  return text;
}

std::string Text(const char* format, const char* a, const char* b, const char* c,
                 const char* d = "") {
  char line[1024];
  std::snprintf(line, sizeof line, format, a, b, c, d);
  return line;
}

void Print(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

struct GroupManager {
  std::string group;    // the "Group::" value
  std::string host;     // its "::Node"
  std::string service;  // its "::Service"
};

// The group managers of our group in mqgroup.ini, in file order. Each
// lookup continues after the previous one, so a group manager's "Group::"
// line comes before its "::Node" line, which comes before its "::Service".
// Missing keys are reported (with trace on) and that group manager skipped.
bool ReadGroupManagers(const Settings& settings, bool report, std::vector<GroupManager>* out) {
  IniFile ini{};
  if (!tlxOpenIniFile("mqgroup.ini", "\n=", " \n\t", &ini)) return false;
  std::string key = "Group::" + settings.group;
  char value[TLX_MAX_VALUE + 1];
  int from = 1;
  while (tlxGetValue(&ini, key.c_str(), value, from)) {
    from = 2;
    GroupManager manager;
    manager.group = value;
    if (report && settings.trace) {
      Print(TimePrefix() + "LOCALAGENT: Group name to register: " + manager.group + "\n");
    }
    char host[TLX_MAX_VALUE + 1];
    char service[TLX_MAX_VALUE + 1];
    std::string node_key = manager.group + "::Node";
    std::string service_key = manager.group + "::Service";
    bool have_host = tlxGetValue(&ini, node_key.c_str(), host, 2) != 0;
    bool have_service = have_host && tlxGetValue(&ini, service_key.c_str(), service, 2) != 0;
    if (!have_host || !have_service) {
      if (report) {
        const std::string& missing = have_host ? service_key : node_key;
        Print(TimePrefix() + "LOCALAGENT: Could not resolve key(\"" + missing + "\").\n");
      }
      continue;
    }
    manager.host = host;
    manager.service = service;
    out->push_back(manager);
  }
  if (report && settings.trace) {
    Print(TimePrefix() + "LOCALAGENT: No further keys(\"" + key + "\") found!\n");
  }
  tlxCloseIniFile(&ini);
  return true;
}

// A shutdown request is taken from an authenticated datagram, or from the
// address and port of one of our group managers (they send it from their
// UDP node, bound to the "::Service" port). Anybody else who can reach the
// port could otherwise stop the agent with one unsigned datagram.
bool ShutdownSenderTrusted(const AgentState& agent, const SocketAddress& from) {
  if (agent.settings().authentication) return true;
  std::vector<GroupManager> managers;
  if (agent.settings().group.empty() || !ReadGroupManagers(agent.settings(), false, &managers)) {
    return false;
  }
  for (const GroupManager& manager : managers) {
    char ip[16] = {};
    if (IsValidIp(manager.host.c_str())) {
      std::snprintf(ip, sizeof ip, "%s", manager.host.c_str());
    } else if (!ResolveHostName(manager.host.c_str(), ip)) {
      continue;
    }
    if (std::strcmp(ip, from.ip) == 0 &&
        ServicePort(manager.service, "udp") == static_cast<int>(from.port)) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool AnswerLimiter::Allow(const std::string& destination, Clock::time_point now) {
  if (now - window_start_ >= interval_) {
    window_start_ = now;
    in_window_ = 0;
    // Forget destinations whose interval has passed, so the map stays small.
    for (auto it = last_.begin(); it != last_.end();) {
      it = now - it->second >= interval_ ? last_.erase(it) : std::next(it);
    }
  }
  auto it = last_.find(destination);
  if (it != last_.end() && now - it->second < interval_) return false;
  if (in_window_ >= burst_) return false;
  ++in_window_;
  last_[destination] = now;
  return true;
}

void AddRegistrationParameters(mqPcfMessage* message, const Settings& settings,
                               const SocketAddress& agent, const std::string& group,
                               const std::string& qmgr_mask, bool periodic,
                               const MqLogSettings* log) {
  AddString(message, kGroupName, group);
  AddString(message, kNodeName, Upper(settings.alias));
  std::string host = Upper(agent.host);
  if (periodic && settings.use_dns != -1 && !settings.dns_suffix.empty()) {
    host += "." + settings.dns_suffix;
  }
  AddString(message, kHostName, host);
  if (settings.report_ip) AddString(message, kNetAddress, agent.ip);
  AddString(message, kVersionId, kVersion);
  if (periodic && settings.use_dns != -1) AddInt(message, kUseDns, settings.use_dns);
  AddInt(message, kPortNo, static_cast<MQLONG>(agent.port));
  if (!periodic && settings.use_dns != -1) AddInt(message, kUseDns, settings.use_dns);
  AddInt(message, kPlatform, kPlatformValue);
  AddInt(message, kDiscovery, settings.discovery_minutes);
  if (periodic && !qmgr_mask.empty()) AddString(message, kQmgrMask, qmgr_mask);
  if (log != nullptr) {
    AddString(message, kLogPath, log->path);
    AddInt(message, kLogType, log->type);
    AddInt(message, kLogPrimary, log->primary);
    AddInt(message, kLogSecondary, log->secondary);
    AddInt(message, kLogFilePages, log->file_pages);
    AddInt(message, kLogBufferPages, log->buffer_pages);
  }
  RawToPcf(message);
}

void RegisterWithGroupManagers(AgentState& agent, mqnMQNodeData* udp, mqcSignature credential,
                               int* reason) {
  *reason = 0;
  const Settings& settings = agent.settings();
  if (settings.group.empty()) return;
  if (std::strcmp(agent.address.host, "unknown host") == 0) {
    std::snprintf(agent.address.host, sizeof agent.address.host, "*");
    *reason = kNoHostReason;
    return;
  }
  std::vector<GroupManager> managers;
  if (!ReadGroupManagers(settings, true, &managers)) return;
  mqPcfMessage* message = CreatePcfMessage(EXCMD_REGISTER_MQNODE, MQCFT_COMMAND, 512);
  if (message == nullptr) return;
  MqLogSettings log;
  bool have_log = DefaultLogSettings(&log);
  for (const GroupManager& manager : managers) {
    ResetPcfMessage(message, EXCMD_REGISTER_MQNODE, MQCFT_COMMAND);
    AddRegistrationParameters(message, settings, agent.address, manager.group, agent.QmgrMask(),
                              true, have_log ? &log : nullptr);
    SocketAddress to{};
    std::snprintf(to.host, sizeof to.host, "%s", manager.host.c_str());
    std::snprintf(to.service, sizeof to.service, "%s", manager.service.c_str());
    std::snprintf(to.protocol, sizeof to.protocol, "tcp");
    if (mnSWriteTo(message, udp, &to, settings.authentication ? 1 : 0, credential)) {
      Print(TimePrefix() + Text("LOCALAGENT: Registration sent to %s at %s(%s)\n",
                                manager.group.c_str(), manager.host.c_str(),
                                manager.service.c_str()));
    }
    *reason = udp->lastError;
    if (*reason != 0) {
      char line[1024];
      std::snprintf(line, sizeof line, "LOCALAGENT: Failed to register with %s %s(%s) RC(%d) - SYS(%s)!\n",
                    manager.group.c_str(), manager.host.c_str(), manager.service.c_str(), *reason,
                    std::strerror(*reason));
      Print(TimePrefix() + line);
      LogError(kIme0012, *reason);
    }
  }
  DeletePcfMessage(message);
}

void HandleDatagram(AgentState& agent, mqnMQNodeData* udp, mqcSignature credential,
                    AnswerLimiter& limiter) {
  const Settings& settings = agent.settings();
  int secure = settings.authentication ? 1 : 0;
  mqPcfMessage* message = CreatePcfMessage(0, MQCFT_COMMAND, 512);
  if (message == nullptr) return;
  SocketAddress from{};
  if (!mnSRead(message, udp, secure, credential)) {
    // Nothing there after all (a wake-up without data) is no fault.
    if (udp->lastError != MN_ERR_WOULD_BLOCK) {
      GetFromAddr(&udp->socket, &from);
      Print(TimePrefix() + Text("LOCALAGENT: Invalid UDP/PCF broadcast received from %s(%s)!\n",
                                from.ip, from.service, ""));
    }
    DeletePcfMessage(message);
    return;
  }
  GetFromAddr(&udp->socket, &from);
  MQLONG command = message->Cfh->Command;
  MQLONG type = message->Cfh->Type;

  if (command == EXCMD_SHUTDOWN_MANAGER) {
    if (ShutdownSenderTrusted(agent, from)) {
      agent.RequestStop();
      PrintDated(Text("TLX1991I Shutdown request of all LM processes rcvd from %s(%s)", from.ip,
                      from.service, ""));
    } else {
      PrintDated(Text("TLX1992W Shutdown request from %s(%s) refused: not a group manager of "
                      "this node and not authenticated",
                      from.ip, from.service, ""));
    }
    DeletePcfMessage(message);
    return;
  }

  if (type == MQCFT_RESPONSE && command == EXCMD_REGISTER_MQNODE) {
    std::string group = GroupParameter(message, kConfirmGroup);
    char line[1024];
    std::snprintf(line, sizeof line,
                  "LOCALAGENT: Registration confirmation received from GROUP(\"%s\") %s(%s): RC(%d)\n",
                  group.c_str(), from.ip, from.service, static_cast<int>(message->Cfh->Reason));
    Print(TimePrefix() + line);
    DeletePcfMessage(message);
    return;
  }

  // Only the discovery broadcasts are answered. Answering anything else
  // (another agent's registration, say) could start two agents answering
  // each other for ever.
  if (command != EXCMD_INQUIRE_MQNODE && command != kInquireActiveManager) {
    DeletePcfMessage(message);
    return;
  }
  std::string group;
  if (command != kInquireActiveManager) {
    group = GroupParameter(message, kGroupName);
    if (!IsMaskMatch(settings.group.c_str(), group.c_str())) {
      DeletePcfMessage(message);
      return;
    }
  }
  std::string destination = std::string(from.ip) + ":" + from.service;
  if (!limiter.Allow(destination, AnswerLimiter::Clock::now())) {
    DeletePcfMessage(message);
    return;
  }
  ResetPcfMessage(message, EXCMD_REGISTER_MQNODE, MQCFT_COMMAND);
  MqLogSettings log;
  bool have_log = DefaultLogSettings(&log);
  AddRegistrationParameters(message, settings, agent.address, group, agent.QmgrMask(), false,
                            have_log ? &log : nullptr);
  SocketAddress to = from;
  std::snprintf(to.host, sizeof to.host, "%s", from.ip);
  if (to.protocol[0] == '\0') std::snprintf(to.protocol, sizeof to.protocol, "udp");
  if (mnSWriteTo(message, udp, &to, secure, credential)) {
    Print(TimePrefix() + Text("LOCALAGENT: Registration sent to %s at %s(%s)\n", group.c_str(),
                              from.ip, from.service));
  } else {
    char line[1024];
    std::snprintf(line, sizeof line, "LOCALAGENT: Failed to register with %s %s(%s) RC(%d)!\n",
                  group.c_str(), from.ip, from.service, static_cast<int>(udp->lastError));
    Print(TimePrefix() + line);
  }
  DeletePcfMessage(message);
}

}  // namespace localagent
