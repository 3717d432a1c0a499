// request_automaton.h: what the six request automata share.
//
// A request automaton is built for one request on the stack of the server
// state that serves it, with that request's context, run to its end and
// destroyed; it owns its states, events, queues and buffers. Its handlers
// are member functions bound at construction, so nothing of it is shared
// with another request.
#ifndef MSGOPS_REQUEST_AUTOMATON_H_
#define MSGOPS_REQUEST_AUTOMATON_H_

#include <functional>
#include <memory>
#include <string>

#include "automaton.h"
#include "mq_queue.h"
#include "server_context.h"

namespace msgops {

// Automaton kinds (events use the kind + 1).
enum AutomatonKind : MQLONG {
  kKindServer = 5,
  kKindBrowse = 6,
  kKindDelete = 8,
  kKindCopyMove = 10,
  kKindFind = 12,
  kKindNewMessage = 14,
};

class RequestAutomaton {
 public:
  RequestAutomaton(ServerContext& context, const char* name, MQLONG kind);
  virtual ~RequestAutomaton() = default;
  RequestAutomaton(const RequestAutomaton&) = delete;
  RequestAutomaton& operator=(const RequestAutomaton&) = delete;

  const Automaton& automaton() const { return automaton_; }

 protected:
  const AutomatonEvent* Event(const char* name, MQLONG severity) {
    return automaton_.AddEvent(name, event_kind_, severity);
  }
  // A state whose handler writes its trace record (when tracing) and then
  // runs `body`.
  AutomatonState* State(const char* name, MQLONG role, const char* method,
                        std::function<const AutomatonEvent*()> body);
  static void Link(AutomatonState* from, const AutomatonEvent* event, const AutomatonState* to) {
    from->AddTransition(*event, to);
  }

  // The result of the request so far.
  void Fail(MQLONG comp_code, MQLONG reason) {
    comp_code_ = comp_code;
    reason_ = reason;
  }
  // Copies the result into the response; a failure path that recorded no
  // reason reports an unexpected error rather than success.
  void SetFinalResult(bool failure_path);
  // Adds MQIA_CURRENT_Q_DEPTH (3) and MQIA_MAX_Q_DEPTH (15) when the open
  // queue can be inquired.
  void AddQueueStats(Queue* queue);
  // Presets MsgId and CorrelId from the request (zeros match any message).
  void PresetIds(MQMD* md);
  // The destination of Open for queue names given by the request.
  std::unique_ptr<Queue> NewQueue(const std::string& name, const std::string& qmgr = "") {
    return std::make_unique<Queue>(context_.link()->hconn(), name, qmgr);
  }

  ServerContext& context_;
  Automaton automaton_;
  MQLONG event_kind_;
  MQLONG comp_code_ = MQCC_OK;
  MQLONG reason_ = 0;
  MQBYTE24 msg_id_{};     // 20023, zeros when absent
  MQBYTE24 correl_id_{};  // 20024
};

// Runs the request automaton for the context's command to its end and
// returns the severity of its last event (2 when it got stuck).
MQLONG RunRequestAutomaton(ServerContext& context, MQLONG command);

}  // namespace msgops

#endif  // MSGOPS_REQUEST_AUTOMATON_H_
