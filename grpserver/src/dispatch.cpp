// dispatch.cpp: classification, gates, dispatch table, forwarding and the
// response's decoration.
//
// Divisions:
//   1. Handler registry and the codes of the dispatch table
//   2. Forwarding
//   3. The dispatcher's own commands
//   4. DispatchCommand
//   5. ProcessMessage
#include "dispatch.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <set>

#include "authority.h"
#include "client_io.h"
#include "client_table.h"
#include "db_commands.h"
#include "entry_connection.h"
#include "group_start.h"
#include "main_loop.h"
#include "node_work.h"
#include "pcf_util.h"
#include "report.h"
#include "sessions.h"

namespace grpserver {
namespace {

constexpr MQLONG kParamGroup = 20006;
constexpr MQLONG kParamNode = 20007;
constexpr MQLONG kParamEventMask = 20139;
constexpr MQLONG kParamCountdown = 20140;
constexpr MQLONG kParamAverageTime = 20410;
constexpr MQLONG kParamGroupName = 20020;
constexpr MQLONG kParamIpAddress = 20912;
constexpr MQLONG kRcMissingParameter = 3019;
constexpr MQLONG kRcCfhTypeError = 3001;
constexpr MQLONG kRcInvalidCommand = 3007;
constexpr MQLONG kParamPeerHost = 3024;
constexpr MQLONG kRcShuttingDown = 20306;
constexpr MQLONG kRcClientCommandFailed = 20105;
constexpr MQLONG kRcNodeCommandFailed = 20100;

std::map<int, CommandHandler>& Handlers() {
  static std::map<int, CommandHandler> handlers;
  return handlers;
}

// Codes the dispatch table gives to the command handlers.
const std::set<int>& HandlerCodes() {
  static const std::set<int> codes = [] {
    std::set<int> c = {1, 2, 40, 10003, 10004, 10007, 10011, 10013, 10999, 8, 9, 10, 11, 12, 17, 13, 18,
                       3, 4, 5, 6, 7, 19, 10998, 39, 42, 10020, 10100, 10101, 10102, 10105, 10106, 10108,
                       10001, 10002, 10016, 10140, 10141, 10142, 10160, 10161, 10170, 10171, 10180, 10181,
                       10190, 10191, 10200, 10201, 10128, 10129, 10130};
    for (int code = 20; code <= 29; ++code) c.insert(code);
    for (int code = 70; code <= 74; ++code) c.insert(code);
    for (int code = 32; code <= 37; ++code) c.insert(code);
    for (int code = 10300; code <= 10305; ++code) c.insert(code);
    for (int code = 10120; code <= 10126; ++code) c.insert(code);
    return c;
  }();
  return codes;
}

MessageHeader* Header(mqPcfMessage* message) { return MESSAGE_HEADER(&message->Body); }

std::string Padded(const std::optional<std::string>& value, int width) {
  char buffer[64];
  PadCopy(buffer, width, value ? value->c_str() : "");
  return buffer;
}

// The first character of a blank-padded parameter, ' ' when absent would be
// "not blank" (an absent parameter counts as not blank).
bool IsBlankParameter(const mqPcfMessage* request, MQLONG id) {
  auto value = GetString(request, id);
  return value && (value->empty() || (*value)[0] == ' ');
}

void ClientNotification(ClientEntry* entry, const char* user, int command, int reason, int qualifier) {
  if (Server().trace_mode) ReportManagerEvent(entry, user, command, reason, qualifier, 0);
}

}  // namespace

// ---------------------------------------------------------------------------
// 1. Handler registry

void RegisterCommandHandler(int command, CommandHandler handler) { Handlers()[command] = handler; }

void ReplyInvalidCommand(const mqPcfMessage* request, mqPcfMessage* response) {
  ResetPcfMessage(response, request->Cfh->Command, MQCFT_RESPONSE);
  SetResult(response, MQCC_FAILED, kRcInvalidCommand);
}

void CopyIdentifyingParameters(const mqPcfMessage* request, mqPcfMessage* response) {
  static const MQLONG kIds[] = {20006, 20007, MQCA_Q_MGR_NAME, 20016, OBJECT_TYPE, MQCA_Q_NAME,
                                MQCACH_CHANNEL_NAME, MQCA_PROCESS_NAME, MQCA_NAMELIST_NAME,
                                MQCA_CLUSTER_Q_MGR_NAME, MQCA_CLUSTER_NAME, MQCA_CLUSTER_NAMELIST};
  for (MQLONG id : kIds) CopyParameter(response, request, id);
  Reindex(response);
}

// ---------------------------------------------------------------------------
// 2. Forwarding

void ForwardToNode(mqPcfMessage* request, mqPcfMessage* response, ClientEntry* entry, ClientEntry* node_entry) {
  const MQLONG command = request->Cfh->Command;
  ResetPcfMessage(response, command, MQCFT_RESPONSE);
  if (node_entry == nullptr || node_entry->connection == nullptr) {
    SetResult(response, MQCC_FAILED, kRcNodeNotConnected);
    return;
  }
  mqPcfMessage* forward = CreatePcfMessage(command, request->Cfh->Type, PCF_BODY_LENGTH(request));
  if (forward == nullptr) {
    SetResult(response, MQCC_FAILED, MQRC_STORAGE_NOT_AVAILABLE);
    return;
  }
  for (MQLONG i = 1; i <= request->Cfh->ParameterCount; ++i) {
    Message record{};
    if (GetAttrByPos(i, &record, request) != 1) continue;
    const MQLONG id = reinterpret_cast<const MQCFIN*>(record.Payload)->Parameter;
    const bool keep = id != kParamGroup && id != kParamNode && (id != MQCA_Q_MGR_NAME || command == EXCMD_MQSC_SCRIPT);
    if (keep) AppendAttr(forward, &record);
    DeleteMessage(&record);
  }
  Reindex(forward);
  unsigned char* to = forward->Body.Storage;
  const unsigned char* from = request->Body.Storage;
  std::memcpy(to, from, MESSAGE_HEADER_LENGTH);
  MessageHeader* h = Header(forward);
  if (h->ReplyTag != 0) {
    std::memcpy(to + kSavedRequestIdOffset, from + kConnectionIdOffset, 4);
    std::memcpy(to + kConnectionIdOffset, &entry->connection_id, 4);
  }
  std::memcpy(to + 40, Header(request)->UserId, 12);
  std::memcpy(h->UserId, Header(request)->UserId, 12);
  SendToClientHigh(forward, node_entry);
  DeletePcfMessage(forward);
  SetResult(response, MQCC_WARNING, kRcCommandInProgress);
}

// ---------------------------------------------------------------------------
// 3. The dispatcher's own commands

namespace {

void OpenEvent(HandlerArgs& a) {
  ResetPcfMessage(a.response, EXCMD_OPEN_EVENT, MQCFT_RESPONSE);
  auto mask = GetInt(a.request, kParamEventMask);
  if (!mask) {
    SetResult(a.response, MQCC_FAILED, kRcMissingParameter);
    return;
  }
  a.entry->event_mask = *mask;
  std::snprintf(a.entry->user, sizeof a.entry->user, "%s", FrameUser(a.request).c_str());
}

void CloseEvent(HandlerArgs& a) { a.entry->event_mask = 0; }

void ShutdownManager(HandlerArgs& a) {
  GroupServer& s = Server();
  if (Padded(GetString(a.request, kParamGroup), kGroupNameWidth) != s.group_padded) {
    SetResult(a.response, MQCC_FAILED, MQRC_UNKNOWN_OBJECT_NAME);
    return;
  }
  if (HasParameter(a.request, kParamNode)) {
    // The shutdown of one node's agent goes to that node.
    ForwardToNode(a.request, a.response, a.entry, a.node_entry);
    return;
  }
  const SocketAddress& peer = a.entry->connection->socket.peer;
  PrintDateLine();
  std::printf("IGE0023: Client(%s|%s|%s|%s) requested Group(\"%s\") to shutdown!\n", peer.host, peer.ip,
              peer.service, peer.protocol, s.group.c_str());
  int countdown = 60;
  if (auto value = GetInt(a.request, kParamCountdown)) countdown = *value < 1 ? 5 : *value;
  s.shutdown_countdown_s = countdown;
  s.shutdown_stamp = std::time(nullptr);
  ReportManagerEvent(a.entry, a.entry->user, EXCMD_SHUTDOWN_MANAGER, kRcShuttingDown, countdown, 1);
  PrintDateLine();
  std::printf("IGE0024: Group(\"%s\") is shutting down in %d(sec).\n", s.group.c_str(), countdown);
}

void EscapeOrScript(HandlerArgs& a) { ForwardToNode(a.request, a.response, a.entry, a.node_entry); }

// Text files and the shell: served here when both the node and the queue
// manager are blank, forwarded when both are given.
void TextFileOrShell(HandlerArgs& a) {
  const GroupOptions& o = Server().options;
  if (a.request->Cfh->Command == EXCMD_EXECUTE_SHELL_CMD && !(o.authentication && o.user_authority)) {
    // A shell command runs programs as the server's user: only for signed
    // frames from users the authority rules allow.
    ResetPcfMessage(a.response, a.request->Cfh->Command, MQCFT_RESPONSE);
    SetResult(a.response, MQCC_FAILED, MQRC_NOT_AUTHORIZED);
    return;
  }
  const bool node_blank = IsBlankParameter(a.request, kParamNode);
  const bool qmgr_blank = IsBlankParameter(a.request, MQCA_Q_MGR_NAME);
  if (!node_blank && !qmgr_blank) {
    ForwardToNode(a.request, a.response, a.entry, a.node_entry);
  } else if (node_blank != qmgr_blank) {
    SetResult(a.response, MQCC_FAILED, kRcNodeNotConnected);
  } else {
    auto it = Handlers().find(a.request->Cfh->Command);
    if (it != Handlers().end()) {
      it->second(a);
    } else {
      ReplyInvalidCommand(a.request, a.response);
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// 4. DispatchCommand

void DispatchCommand(ClientEntry* entry, mqPcfMessage* request, mqPcfMessage* response) {
  GroupServer& s = Server();
  const MQLONG command = request->Cfh->Command;
  entry->command_count = AddSaturated(entry->command_count, 1);
  const std::string frame_user = FrameUser(request);
  mqcAuthRequest check{};

  auto refuse = [&](MQLONG reason) {
    ResetPcfMessage(response, command, MQCFT_RESPONSE);
    SetResult(response, MQCC_FAILED, reason);
    MessageHeader* rh = Header(response);
    std::memcpy(rh->UserId, check.NodeUser, 12);
    std::memcpy(response->NodeHeader.UserName, check.NodeUser, 12);
    std::memcpy(rh->ApplName, Header(request)->ApplName, sizeof rh->ApplName);
    std::memcpy(response->Body.Storage + 16, request->Body.Storage + 16, 48);
  };

  if (entry->connection_id != 0 && !entry->trusted) {
    std::memset(&check, 0, sizeof check);
    std::snprintf(check.NodeUser, sizeof check.NodeUser, "%.12s", frame_user.c_str());
    std::snprintf(check.MsgUser, sizeof check.MsgUser, "%.12s", HeaderUser(request).c_str());
    if (!CheckTrust(frame_user.c_str(), entry, &check)) {
      refuse(kRcNotTrusted);
      return;
    }
  }
  if (!CheckGroupCommandAuthority(request, frame_user.c_str(), &check)) {
    refuse(MQRC_NOT_AUTHORIZED);
    return;
  }
  std::memcpy(Header(request)->UserId, check.NodeUser, 12);

  ClientEntry* node_entry = nullptr;
  {
    auto group = GetString(request, kParamGroup);
    auto node = GetString(request, kParamNode);
    auto qmgr = GetString(request, MQCA_Q_MGR_NAME);
    int i = FindNodeEntry(group ? group->c_str() : "", node ? node->c_str() : "", qmgr ? qmgr->c_str() : "",
                          s.NodeEntries(), NodeEntriesInUse());
    if (i >= 0) node_entry = s.NodeEntries() + i;
  }
  mqPcfMessage* event = CreatePcfMessage(0, MQCFT_EVENT, 2048);
  const std::time_t started = std::time(nullptr);
  HandlerArgs args{request, response, entry, node_entry, event};

  switch (command) {
    case EXCMD_OPEN_EVENT: OpenEvent(args); break;
    case EXCMD_CLOSE_EVENT: CloseEvent(args); break;
    case EXCMD_SHUTDOWN_MANAGER: ShutdownManager(args); break;
    case MQCMD_ESCAPE:
    case EXCMD_MQSC_SCRIPT: EscapeOrScript(args); break;
    case EXCMD_INQUIRE_TEXT_FILE:
    case EXCMD_CREATE_TEXT_FILE:
    case EXCMD_EXECUTE_SHELL_CMD: TextFileOrShell(args); break;
    case kInquireSession: InquireSession(args); break;
    case kDeleteSession: DeleteSession(args); break;
    case kDbBackup: DoExcmdDbBackup(args); break;
    case kDbRestore: DoExcmdDbRestore(args); break;
    default: {
      auto it = Handlers().find(command);
      if (it != Handlers().end()) {
        if (command == EXCMD_UNMANAGE_MQNODE) {
          AddInt(request, MQNODE_MANAGED, 0);
          Reindex(request);
        } else if (command == 10108) {
          AddString(request, kParamGroup, s.group_padded);
          Reindex(request);
        }
        it->second(args);
        if (command == EXCMD_CHANGE_MANAGER) LoadGroupRecord(s.group.c_str(), 0);
      } else if (HandlerCodes().count(command) != 0) {
        ReplyInvalidCommand(request, response);
      } else if (node_entry != nullptr) {
        ForwardToNode(request, response, entry, node_entry);
      } else {
        ReplyInvalidCommand(request, response);
      }
    }
  }

  std::memcpy(response->Body.Storage + 16, request->Body.Storage + 16, 48);
  if (event != nullptr) {
    if (event->Cfh->ParameterCount > 0) ReceiveEvent(entry, event, s.notification);
    DeletePcfMessage(event);
  }
  if (node_entry != nullptr && node_entry->connection != nullptr) {
    const int error = node_entry->connection->lastError;
    if (error == 10055) {
      SetResult(response, MQCC_FAILED, MQRC_RESOURCE_PROBLEM);
      node_entry->connection->lastError = 0;
    } else if (error >= 1 && error != MN_ERR_BAD_BODY && error != MN_ERR_WOULD_BLOCK && error != 10036) {
      // Closed at the loop's next safe point: its node may still be listed
      // as ready further on in this pass.
      FlagDisconnect(node_entry, "SYSTEM", error, command);
    }
  }
  entry->processing_time_ms =
      AddSaturated(entry->processing_time_ms, (static_cast<long long>(std::time(nullptr) - started) + 1) * 1000);
}

// ---------------------------------------------------------------------------
// 5. ProcessMessage

namespace {

void TraceReceived(const char* what, const ClientEntry& entry, const mqPcfMessage* message) {
  if (!Server().options.protocol_trace) return;
  PrintDateLine();
  std::printf("\n-RECEIVED(%s) FROM NODE(%-20.20s)\n", what, entry.node_name);
  PrintPcfMessage(message);
}

enum class Sender { kConsole, kNode, kDatagram };

Sender SenderOf(const ClientEntry* entry) {
  if (entry == &Server().udp_entry) return Sender::kDatagram;
  return entry->connection_id != 0 ? Sender::kConsole : Sender::kNode;
}

bool Allowed(Sender sender, const MQCFH* cfh) {
  switch (sender) {
    case Sender::kConsole: return cfh->Type == MQCFT_COMMAND;
    case Sender::kNode: return cfh->Type == MQCFT_RESPONSE || cfh->Type == MQCFT_EVENT;
    case Sender::kDatagram:
      return (cfh->Type == MQCFT_COMMAND && cfh->Command == EXCMD_REGISTER_MQNODE) || cfh->Type == MQCFT_RESPONSE;
  }
  return false;
}

void SendResponse(ClientEntry* entry, mqPcfMessage* response) {
  if (entry == &Server().udp_entry) {
    SocketAddress from{};
    GetFromAddr(&entry->connection->socket, &from);
    SendToUdpAddress(response, entry, &from);
  } else {
    SendToClient(response, entry);
  }
}

void RefuseMessage(ClientEntry* entry, mqPcfMessage* request, mqPcfMessage* response, Sender sender) {
  const MQCFH* cfh = request->Cfh;
  PrintDateLine();
  std::printf("-REFUSED(MQCFH TYPE %d, COMMAND %d) FROM NODE(%-20.20s) USER(%s)\n", cfh->Type, cfh->Command,
              entry->node_name, FrameUser(request).c_str());
  std::fflush(stdout);
  if (sender != Sender::kConsole || Header(request)->ReplyTag == 0) return;
  ResetPcfMessage(response, cfh->Command, MQCFT_RESPONSE);
  SetResult(response, MQCC_FAILED, kRcCfhTypeError);
  std::memcpy(response->Body.Storage + 16, request->Body.Storage + 16, 48);
  AddString(response, kParamGroupName, Server().group);
  Reindex(response);
  ++Server().responses_failed;
  SendToClient(response, entry);
}

}  // namespace

void ProcessMessage(ClientEntry* entry, mqPcfMessage* request, mqPcfMessage* response) {
  GroupServer& s = Server();
  const MQCFH* cfh = request->Cfh;
  const Sender sender = SenderOf(entry);
  if ((cfh->Type == MQCFT_COMMAND || cfh->Type == MQCFT_RESPONSE || cfh->Type == MQCFT_EVENT) &&
      !Allowed(sender, cfh)) {
    RefuseMessage(entry, request, response, sender);
    return;
  }
  switch (cfh->Type) {
    case MQCFT_COMMAND: {
      TraceReceived("COMMAND", *entry, request);
      ++s.commands_received;
      ResetPcfMessage(response, cfh->Command, MQCFT_RESPONSE);
      DispatchCommand(entry, request, response);
      const MessageHeader* h = Header(request);
      if (!entry->trusted) {
        const std::string frame_user = FrameUser(request);
        if (s.options.protocol_trace) {
          std::printf("CONNECTION IS NOT TRUSTED RC(%d)\n", response->Cfh->Reason);
          std::printf("Connection terminated: Node(%s), User(%s), Application(%s)\n", entry->node_name,
                      frame_user.c_str(), entry->peer_host);
        }
        AddString(response, kParamGroupName, s.group);
        AddString(response, kParamPeerHost, std::string(Header(response)->ApplName, strnlen(Header(response)->ApplName, 48)));
        AddString(response, MQCACF_USER_IDENTIFIER, frame_user);
        AddString(response, kParamIpAddress, entry->connection->socket.peer.ip);
        Reindex(response);
        ++s.responses_failed;
        SendResponse(entry, response);
        ClientNotification(entry, frame_user.c_str(), cfh->Command, kRcClientCommandFailed, response->Cfh->Reason);
        FlagDisconnect(entry, frame_user.c_str(), response->Cfh->Reason, cfh->Command);
        return;
      }
      if (s.options.protocol_trace) {
        std::printf("\n-SENDING(RESPONSE) TO NODE(%-20.20s)\n", entry->node_name);
        PrintPcfMessage(response);
      }
      if (response->Cfh->CompCode == MQCC_FAILED) {
        ClientNotification(entry, entry->user, cfh->Command, kRcClientCommandFailed, response->Cfh->Reason);
        CopyIdentifyingParameters(request, response);
        ++s.responses_failed;
      } else {
        if (response->Cfh->CompCode == MQCC_WARNING) CopyIdentifyingParameters(request, response);
        ++s.responses_ok;
      }
      if (h->ReplyTag == 0 || cfh->Reason == kRcCommandInProgress) return;
      if (entry->command_count > 0) AddInt(response, kParamAverageTime, entry->processing_time_ms / entry->command_count);
      AddString(response, kParamGroupName, s.group);
      Reindex(response);
      SendResponse(entry, response);
      return;
    }
    case MQCFT_RESPONSE:
      if (cfh->CompCode == MQCC_OK || cfh->Reason == kRcCommandInProgress) {
        TraceReceived("RESPONSE", *entry, request);
      } else {
        ClientNotification(entry, entry->user, cfh->Command, kRcNodeCommandFailed, cfh->Reason);
        TraceReceived("NEGATIVE RESPONSE", *entry, request);
      }
      ProcessNodeResponse(entry, request);
      return;
    case MQCFT_EVENT:
      TraceReceived("EVENT", *entry, request);
      ReceiveEvent(entry, request, s.notification);
      return;
    default:
      // The node name prints in full here (it once printed as blanks).
      TraceReceived("INVALID_PCF", *entry, request);
      return;
  }
}

}  // namespace grpserver
