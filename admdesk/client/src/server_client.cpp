// The protocol client: connect and register, request ids, the waited
// exchange and the late-reply path.
//
// Divisions: 1. profile keys and small helpers; 2. waiting on a node;
// 3. connect and register; 4. requests and replies; 5. late replies.

#include "admclient/server_client.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "admclient/item_text.h"
#include "os/socket_errors.h"

namespace admclient {

// ---- 1. Profile keys and small helpers -------------------------------------------

int AuthenticateFlag(const std::string& text) {
  return (text.empty() || text == "Enabled") ? 1 : 0;
}

int ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5) return 0;
  int port = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + (c - '0');
  }
  return (port >= 1 && port <= 65535) ? port : 0;
}

std::string SlotKey(const char* name, int slot) { return name + std::to_string(slot); }

namespace {

struct PcfDeleter {
  void operator()(mqPcfMessage* message) const { DeletePcfMessage(message); }
};
using PcfPtr = std::unique_ptr<mqPcfMessage, PcfDeleter>;

std::string Format(const char* format, const std::string& a, const std::string& b, long code,
                   const std::string& c) {
  char text[1024];
  std::snprintf(text, sizeof text, format, a.c_str(), b.c_str(), code, c.c_str());
  return text;
}

std::string ConnectionText(const mqnMQNodeData* node) {
  return "Connection: " + std::string(node->address.host) + "(" + node->address.service + ")";
}

// Reads one frame without blocking: a frame that has only partly arrived
// gives 0 with 10035 and stays in the node's buffer for the next call, so a
// peer that stalls mid-frame cannot hold the user interface.
int ReadFrame(mqPcfMessage* message, mqnMQNodeData* node, int secure, mqcSignature signature) {
  NoblockSocket(&node->socket);
  int read = mnSRead(message, node, secure, signature);
  BlockSocket(&node->socket);
  return read;
}

// 1 ready, 0 time-out, -1 failed (errno set). Hang-up and error conditions
// count as ready: the read that follows reports them.
int PollOne(int fd, short events, int timeout_ms) {
  struct pollfd p = {fd, events, 0};
  for (;;) {
    int n = ::poll(&p, 1, timeout_ms);
    if (n > 0) return 1;
    if (n == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

}  // namespace

ServerClient::ServerClient(Profile& profile, Prompter& prompter, WaitUi& wait_ui,
                           const Clock& clock, ResultLog& results, EventSink* events,
                           WaitPolicy policy)
    : profile_(profile),
      prompter_(prompter),
      wait_ui_(wait_ui),
      clock_(clock),
      results_(results),
      events_(events),
      policy_(policy) {}

void ServerClient::WriteStatus(int slot, const char* status) {
  profile_.WriteString(kConnectionsSection, SlotKey("Connection-Status_", slot), status);
}

mqnMQNodeData* ServerClient::ActiveNode() const {
  if (!CPCF::IsSlot(active_slot_)) return nullptr;
  return cpcf_.node[active_slot_];
}

// ---- 2. Waiting on a node ------------------------------------------------------------

ServerClient::WaitOutcome ServerClient::WaitForNode(mqnMQNodeData* node, bool for_connect) {
  const short events = for_connect ? POLLOUT : POLLIN;
  const int fd = node->socket.handle;
  int ready = PollOne(fd, events, policy_.first_wait_ms);
  WaitOutcome outcome = WaitOutcome::kTimedOut;
  if (ready == 0) {
    if (!for_connect) busy_ = 1;
    wait_ui_.Begin(ConnectionText(node), policy_.budget_steps);
    wait_ui_.Step(policy_.first_advance);
    int remaining = policy_.budget_steps;
    while (remaining > 0) {
      if (wait_ui_.CancelRequested()) {
        node->lastError = OS_WSAECONNABORTED;
        outcome = WaitOutcome::kCancelled;
        break;
      }
      ready = PollOne(fd, events, policy_.step_ms);
      --remaining;
      if (ready != 0) break;
      node->lastError = OS_WSAETIMEDOUT;
      wait_ui_.Step(1);
    }
    wait_ui_.Step(remaining);  // the bar ends full
    wait_ui_.End();
  }
  if (outcome == WaitOutcome::kCancelled) return outcome;
  if (ready < 0) {
    node->lastError = osLastSocketError();
    return WaitOutcome::kFailed;
  }
  if (ready == 0) {
    node->lastError = OS_WSAETIMEDOUT;
    return WaitOutcome::kTimedOut;
  }
  if (for_connect) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) {
      node->lastError = osWsaErrorFromErrno(error);
      node->socket.lastError = node->lastError;
      return WaitOutcome::kFailed;
    }
    node->open = 1;
    node->socket.connected = 1;
  }
  return WaitOutcome::kReady;
}

// ---- 3. Connect and register -------------------------------------------------------

std::vector<bool> ServerClient::ConnectAll(const std::function<void()>& edit_connections) {
  std::vector<bool> outcome;
  loop_index_ = 1;
  int count = profile_.GetInt(kConnectionsSection, kNumberOfConnections, 0);
  if (count <= 0 && edit_connections) {
    edit_connections();
    count = profile_.GetInt(kConnectionsSection, kNumberOfConnections, 0);
  }
  if (count <= 0) return outcome;
  if (count > kMaxGroupManagers) {
    prompter_.Tell("The console connects the first " + std::to_string(kMaxGroupManagers) +
                       " of the " + std::to_string(count) +
                       " group managers in its list; the others are left out.",
                   PromptIcon::kExclamation);
  }
  for (int n = 1; n <= kMaxGroupManagers; ++n) {
    // The list may change while a connect waits: read its length each turn.
    count = profile_.GetInt(kConnectionsSection, kNumberOfConnections, 0);
    if (n > count) break;
    loop_index_ = n;
    active_slot_ = n;
    bool connected = ConnectGroupManager();
    cpcf_.connected[n] = connected ? 1 : 0;
    if (connected) {
      RegisterConsole(profile_.GetInt(kConnectionsSection, SlotKey("ReceiveEvents_", n), 0));
    }
    outcome.push_back(connected);
  }
  return outcome;
}

bool ServerClient::ConnectGroupManager() {
  if (reconnect_ == 1) loop_index_ = active_slot_;
  const int count = profile_.GetInt(kConnectionsSection, kNumberOfConnections, 0);
  if (count <= 0) {
    prompter_.Tell("No Group Managers have been defined!", PromptIcon::kExclamation);
    return false;
  }
  const int n = loop_index_;
  if (!CPCF::IsSlot(n)) {
    prompter_.Tell("The console holds at most " + std::to_string(kMaxGroupManagers) +
                       " group managers; number " + std::to_string(n) + " is not connected.",
                   PromptIcon::kExclamation);
    return false;
  }
  const std::string ip = profile_.GetString(kConnectionsSection, SlotKey("IP-Address_", n));
  const std::string host = profile_.GetString(kConnectionsSection, SlotKey("Host-Name_", n));
  const std::string port = profile_.GetString(kConnectionsSection, SlotKey("IP-Port_", n));
  const std::string auth = profile_.GetString(kConnectionsSection, SlotKey("Authenticate_", n));
  cpcf_.authenticate[n] = AuthenticateFlag(auth);
  const std::string address = (ip.empty() || ip == "0.0.0.0") ? host : ip;

  cpcf_.CloseSlot(n);  // a reconnect replaces the old node
  if (ParsePort(port) == 0) {
    prompter_.Tell("Connection to " + address + "(" + port + ") has failed\nThe port \"" + port +
                       "\" is not a number from 1 to 65535.",
                   PromptIcon::kExclamation);
    WriteStatus(n, "Not-Connected");
    return false;
  }
  SocketAddress record;
  std::memset(&record, 0, sizeof record);
  std::snprintf(record.host, sizeof record.host, "%s", address.c_str());
  std::snprintf(record.service, sizeof record.service, "%s", port.c_str());
  std::snprintf(record.protocol, sizeof record.protocol, "tcp");

  mqnMQNodeData* node = CreateMQNode(&record, MQNODE_MODE_CLIENT);
  if (node == nullptr) {
    prompter_.Tell("Could not create MQNode instance at server " + host + ".",
                   PromptIcon::kExclamation);
    return false;
  }
  cpcf_.node[n] = node;
  if (node->socket.handle < 0 || !OpenNodeConnection(node)) {
    long code = node->lastError;
    prompter_.Tell(Format("Connection to %s(%s) has failed\nwith error code: %ld\nComment: %s",
                          address, port, code, SocketErrorText(static_cast<int>(code))),
                   PromptIcon::kExclamation);
    active_slot_ = loop_index_;
    WriteStatus(n, "Not-Connected");
    cpcf_.CloseSlot(n);
    return false;
  }
  SocketOption keep_alive{2, 0, 1};
  SetSocketOptions(&node->socket, &keep_alive);
  cpcf_.connected[n] = 1;
  WriteStatus(n, "Connected");
  return true;
}

bool ServerClient::OpenNodeConnection(mqnMQNodeData* node) {
  if (cpcf_.signature != nullptr) mqc_release_signature(&cpcf_.signature);
  if (mqc_get_signature(&cpcf_.signature) == 0) {
    node->lastError = MN_ERR_SIGN_REFUSED;
    return node->open == 1;
  }
  NoblockSocket(&node->socket);
  int opened = mnOpen(node);
  if (opened != 1 && node->lastError == MN_ERR_WOULD_BLOCK) {
    opened = WaitForNode(node, /*for_connect=*/true) == WaitOutcome::kReady ? 1 : 0;
  }
  // Both kinds of connect end here: blocking socket, and a message the group
  // manager sent at once is read now rather than taken for the next reply.
  BlockSocket(&node->socket);
  if (opened == 1 && node->open == 1 && PollOne(node->socket.handle, POLLIN, 0) == 1) {
    PcfPtr first(CreatePcfMessage(0, 1, 128));
    const int slot = cpcf_.SlotOfNode(node);
    const int secure = slot != 0 ? cpcf_.authenticate[slot] : 1;
    if (first && ReadFrame(first.get(), node, secure, cpcf_.signature) == 1) {
      if (first->Cfh->Type == kEventType && events_ != nullptr) events_->AddEvent(slot, first.get());
    } else if (node->lastError != MN_ERR_WOULD_BLOCK) {
      node->open = 0;  // the group manager closed or spoke nonsense at once
    }
  }
  return node->open == 1;
}

bool ServerClient::RegisterConsole(int receive_events) {
  PcfPtr request(CreatePcfMessage(EXCMD_OPEN_EVENT, 1, 512));
  PcfPtr reply(CreatePcfMessage(EXCMD_OPEN_EVENT, 2, 512));
  if (!request || !reply) return false;
  CPCF::AddStrParm("*", MANAGER_NAME, request.get());
  CPCF::AddIntParm(receive_events, 20139, request.get());
  MESSAGE_HEADER(&request->Body)->ReplyTag = 1;
  if (Exchange(request.get(), reply.get(), /*reread_in_progress=*/false) != Outcome::kReplied) {
    return false;
  }
  if (reply->Cfh->CompCode == 0) return true;
  // A failed action reply was reported already; 10005 is not one.
  if (!IsActionCommand(reply->Cfh->Command)) results_.ReportCommandResult(reply.get());
  return false;
}

void ServerClient::Disconnect(int slot) {
  if (!CPCF::IsSlot(slot)) return;
  cpcf_.CloseSlot(slot);
  WriteStatus(slot, "Not-Connected");
}

// ---- 4. Requests and replies ------------------------------------------------------

void ServerClient::NewRequestId(mqPcfMessage* request) {
  long long id = static_cast<long long>(clock_.Now());
  if (id <= last_request_id_) id = last_request_id_ + 1;
  last_request_id_ = id;
  char text[kRequestIdBytes + 1];
  std::memset(text, 0, sizeof text);
  std::snprintf(text, sizeof text, "LKOUT-%lld", id);
  std::memcpy(request->Body.Storage + kRequestIdOffset, text, kRequestIdBytes);
  ++request_counter_;
}

bool ServerClient::IsReplyTo(const mqPcfMessage* request, const mqPcfMessage* reply) {
  if (request == nullptr || reply == nullptr || request->Cfh == nullptr || reply->Cfh == nullptr) {
    return false;
  }
  if (request->Cfh->Command != reply->Cfh->Command) return false;
  constexpr int kCompared = kRequestIdOffset + 4;
  return std::memcmp(request->Body.Storage + kCompared, reply->Body.Storage + kCompared,
                     kRequestIdBytes - 4) == 0;
}

int ServerClient::SendToGroupManager(mqPcfMessage* request) {
  mqnMQNodeData* node = ActiveNode();
  if (node == nullptr) return 0;
  return mnSWrite(request, node, cpcf_.authenticate[active_slot_], cpcf_.signature);
}

void ServerClient::ReportIfAction(const mqPcfMessage* reply) {
  if (!IsActionCommand(reply->Cfh->Command)) return;
  if (events_ != nullptr) events_->EndModalWait();
  if (reply->Cfh->CompCode == 2 || reply->Cfh->Control == MQCFC_LAST) {
    results_.ReportCommandResult(reply);
  }
}

int ServerClient::ReceiveFromGroupManager(mqPcfMessage* reply, const mqPcfMessage* request) {
  const int slot = active_slot_;
  for (;;) {
    mqnMQNodeData* node = ActiveNode();
    if (node == nullptr) return 0;
    ResetPcfMessage(reply, 0, 2);
    WaitOutcome waited = WaitForNode(node, /*for_connect=*/false);
    if (waited == WaitOutcome::kTimedOut || waited == WaitOutcome::kCancelled) {
      long code = node->lastError;
      char head[64];
      std::snprintf(head, sizeof head, "%ld", code);
      prompter_.Tell("Reading from " + std::string(node->address.host) +
                         " has failed\nwith error code: " + head + "\nComment: " +
                         SocketErrorText(static_cast<int>(code)),
                     PromptIcon::kExclamation);
      busy_ = 0;
      return 0;
    }
    if (waited == WaitOutcome::kFailed) {
      busy_ = 0;
      return 0;
    }
    int read = ReadFrame(reply, node, cpcf_.authenticate[slot], cpcf_.signature);
    busy_ = 0;
    if (read != 1 && node->lastError == MN_ERR_WOULD_BLOCK) continue;  // the rest is coming
    if (read != 1) return 0;
    if (reply->Cfh->Type == kEventType) {
      if (events_ != nullptr) events_->AddEvent(slot, reply);
      continue;  // and wait afresh
    }
    if (request != nullptr && !IsReplyTo(request, reply)) {
      HandleLateReply(reply);
      continue;
    }
    ReportIfAction(reply);
    return 1;
  }
}

ServerClient::Outcome ServerClient::Exchange(mqPcfMessage* request, mqPcfMessage* reply,
                                             bool reread_in_progress) {
  NewRequestId(request);
  if (SendToGroupManager(request) != 1) return Outcome::kNotSent;
  for (;;) {
    if (ReceiveFromGroupManager(reply, request) != 1) return Outcome::kNoReply;
    bool in_progress = reply->Cfh->CompCode == 1 && reply->Cfh->Reason == kInProgressReason;
    if (!(reread_in_progress && in_progress)) return Outcome::kReplied;
  }
}

// ---- 5. Late replies ---------------------------------------------------------------------

void ServerClient::HandleLateReply(const mqPcfMessage* reply) { ReportIfAction(reply); }

std::vector<int> ServerClient::PollConnections(int wait_ms) {
  std::vector<int> lost;
  if (busy_ != 0) return lost;
  std::vector<struct pollfd> fds;
  std::vector<int> slots;
  for (int slot = 1; slot <= kMaxGroupManagers; ++slot) {
    if (cpcf_.node[slot] == nullptr || cpcf_.connected[slot] != 1) continue;
    fds.push_back({cpcf_.node[slot]->socket.handle, POLLIN, 0});
    slots.push_back(slot);
  }
  if (fds.empty()) return lost;
  int n;
  do {
    n = ::poll(fds.data(), fds.size(), wait_ms);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return lost;
  PcfPtr message(CreatePcfMessage(0, 2, 512));
  if (!message) return lost;
  for (size_t i = 0; i < fds.size(); ++i) {
    if (fds[i].revents == 0) continue;
    const int slot = slots[i];
    ResetPcfMessage(message.get(), 0, 2);
    mqnMQNodeData* node = cpcf_.node[slot];
    if (ReadFrame(message.get(), node, cpcf_.authenticate[slot], cpcf_.signature) != 1) {
      if (node->lastError == MN_ERR_WOULD_BLOCK) continue;  // part of a frame
      Disconnect(slot);  // "Manager Down"
      lost.push_back(slot);
      continue;
    }
    if (message->Cfh->Type == kEventType) {
      if (events_ != nullptr) events_->AddEvent(slot, message.get());
    } else {
      HandleLateReply(message.get());
    }
  }
  return lost;
}

}  // namespace admclient
