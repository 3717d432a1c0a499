// server_client.h: the console's protocol client. It connects the group
// managers of the profile section "Connections" (one TCP node per group
// manager, in the CPCF slot of its position in the list), registers the
// console for their events, and carries requests to the group manager of the
// active slot and their replies back.
//
// Request ids: "LKOUT-<n>" in bytes 16 to 39 of the message header (NUL
// filled), n the clock's seconds since 1970 or, when that would repeat or go
// back, one more than the last id given, so ids strictly increase. A reply
// answers a request when the MQCFH Commands are equal and header bytes 20 to
// 39 are equal: the first four bytes are left out because a group manager
// that forwards a request to a node puts its own connection number there,
// and the relayed reply keeps it.
//
// Waits (WaitPolicy): a first short wait without a dialog, then a
// cancellable WaitUi with one step per step_ms up to the budget. The busy
// flag is 1 while that dialog is up, and the polling of late replies does
// nothing while it is set, so no node has two readers.
//
// Everything runs on the one user-interface thread. The client owns its
// CPCF (nodes and credential); the seams it is given must outlive it.
#ifndef ADMCLIENT_SERVER_CLIENT_H_
#define ADMCLIENT_SERVER_CLIENT_H_

#include <functional>
#include <string>
#include <vector>

#include "admclient/cpcf.h"
#include "admclient/profile.h"
#include "admclient/result_log.h"
#include "admclient/seams.h"

namespace admclient {

constexpr char kConnectionsSection[] = "Connections";
constexpr char kNumberOfConnections[] = "Number of Connections";
constexpr int kRequestIdOffset = 16;  // in the 136-byte message header
constexpr int kRequestIdBytes = 24;
// Events pushed by a group manager carry this MQCFH Type.
constexpr MQLONG kEventType = 7;
constexpr MQLONG kInProgressReason = 20107;

// Where events and replies nobody waits for go.
class EventSink {
 public:
  virtual ~EventSink() = default;
  // An event message (MQCFH Type 7) read from group manager slot.
  virtual void AddEvent(int slot, const mqPcfMessage* event) = 0;
  // An action command's reply arrived: a modal wait of the attribute pane,
  // if one is open, ends.
  virtual void EndModalWait() {}
};

// 1 when text is empty or exactly "Enabled": frames to that group manager are
// signed and checked.
int AuthenticateFlag(const std::string& text);
// The port of a "IP-Port_<n>" text: 1 to 65535, or 0 when the text is not
// such a decimal number.
int ParsePort(const std::string& text);
// The "Connections" key name of slot n ("IP-Port_" + n, ...).
std::string SlotKey(const char* name, int slot);

class ServerClient {
 public:
  ServerClient(Profile& profile, Prompter& prompter, WaitUi& wait_ui, const Clock& clock,
               ResultLog& results, EventSink* events, WaitPolicy policy = {});
  ServerClient(const ServerClient&) = delete;
  ServerClient& operator=(const ServerClient&) = delete;

  // ---- Connect and register ----
  // Connects every configured group manager in turn (at most
  // kMaxGroupManagers; the user is told when the list holds more) and
  // registers the console with each one connected, sending the slot's
  // "ReceiveEvents_<n>" flag. With no group manager configured,
  // edit_connections (when set) runs first and the count is read again.
  // Returns the outcome per slot from 1 (empty when none is configured).
  std::vector<bool> ConnectAll(const std::function<void()>& edit_connections = {});
  // Connects the group manager of the loop index (of the active slot when
  // the reconnect flag is set). true when connected; failures are told
  // through the prompter and leave the slot without a node.
  bool ConnectGroupManager();
  // Takes the signature and opens node without blocking for good; a first
  // message the group manager sends at once is read and handed on (events
  // to the sink). Leaves the socket blocking. true when open.
  bool OpenNodeConnection(mqnMQNodeData* node);
  // Registers for events at the active slot (EXCMD_OPEN_EVENT with
  // MANAGER_NAME "*" and 20139 = receive_events). true on CompCode 0; any
  // other reply is reported as a failed command.
  bool RegisterConsole(int receive_events);
  // Closes the slot's connection and writes "Not-Connected" for it.
  void Disconnect(int slot);

  // ---- Requests and replies ----
  void NewRequestId(mqPcfMessage* request);
  static bool IsReplyTo(const mqPcfMessage* request, const mqPcfMessage* reply);
  // 0 without sending when the active slot has no node; else mnSWrite's
  // result.
  int SendToGroupManager(mqPcfMessage* request);
  // Reads into reply the next message of the active slot that is not an
  // event (events go to the sink) and, when request is not null, that
  // answers request (other replies go to the late-reply path). 1 when one was
  // read; 0 on time-out (10060) or cancel (10053), both told through the
  // prompter, on a missing node and on a failed read.
  int ReceiveFromGroupManager(mqPcfMessage* reply, const mqPcfMessage* request = nullptr);

  enum class Outcome { kReplied, kNotSent, kNoReply };
  // The waited exchange: stamps an id, sends and reads the matching reply;
  // while that reply says the command is in progress (CompCode 1, Reason
  // 20107) and reread_in_progress is set, reads again.
  Outcome Exchange(mqPcfMessage* request, mqPcfMessage* reply, bool reread_in_progress = true);

  // ---- Late replies ----
  // What the polling timer does: when not busy, waits up to wait_ms for
  // input on every connected slot and reads one message from each ready
  // one: events to the sink, replies through the late-reply path. A failed
  // read closes that slot ("Not-Connected"). Returns the slots closed.
  std::vector<int> PollConnections(int wait_ms);
  // A reply no wait is looking for: reported when it belongs to an action
  // command and failed (CompCode 2) or is the last of its command.
  void HandleLateReply(const mqPcfMessage* reply);

  CPCF& cpcf() { return cpcf_; }
  int active_slot() const { return active_slot_; }
  void set_active_slot(int slot) { active_slot_ = slot; }
  int loop_index() const { return loop_index_; }
  void set_loop_index(int index) { loop_index_ = index; }
  void set_reconnect(bool on) { reconnect_ = on ? 1 : 0; }
  int busy() const { return busy_; }
  int request_counter() const { return request_counter_; }
  const WaitPolicy& policy() const { return policy_; }

 private:
  enum class WaitOutcome { kReady, kTimedOut, kCancelled, kFailed };
  // Waits for node to become readable (read) or for its connect to finish.
  WaitOutcome WaitForNode(mqnMQNodeData* node, bool for_connect);
  mqnMQNodeData* ActiveNode() const;
  void ReportIfAction(const mqPcfMessage* reply);
  void WriteStatus(int slot, const char* status);

  Profile& profile_;
  Prompter& prompter_;
  WaitUi& wait_ui_;
  const Clock& clock_;
  ResultLog& results_;
  EventSink* events_;
  WaitPolicy policy_;
  CPCF cpcf_;
  int active_slot_ = 1;
  int loop_index_ = 1;
  int reconnect_ = 0;
  int busy_ = 0;
  int request_counter_ = 0;
  long long last_request_id_ = 0;
};

}  // namespace admclient

#endif  // ADMCLIENT_SERVER_CLIENT_H_
