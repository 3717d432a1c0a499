// server_context.h: the queue-manager context of one request (MQ-QMGR).
//
// Each ZOREXEC call builds its own context on its stack, so requests on one
// server handle never share mutable state. The context carries what every
// state handler of the server and of the request automata needs: the
// request (borrowed), the response being built (owned), the connection
// (borrowed), the unit-of-work mode, the trace switch and log stream.
#ifndef MSGOPS_SERVER_CONTEXT_H_
#define MSGOPS_SERVER_CONTEXT_H_

#include <pcfcore/pcfcore.h>

#include <cstdio>
#include <span>
#include <string>

#include "automaton.h"
#include "qm_link.h"
#include "request_params.h"

namespace msgops {

class ServerContext : public AutomatonContext {
 public:
  static constexpr const char* kName = "MQ-QMGR";
  ServerContext(QmgrLink* link, const mqPcfMessage* request);
  ~ServerContext() override;

  // Opens a log file "THR.<name>.<pid>.<random>.MTC" (owner-only) in the
  // working directory and turns tracing on; tracing goes to standard
  // output when the file cannot be made.
  void EnableTrace() override;

  bool ok() const { return response_ != nullptr; }
  QmgrLink* link() { return link_; }
  const mqPcfMessage* request() const { return request_; }
  RequestParams& params() { return params_; }
  mqPcfMessage* response() { return response_; }
  MQLONG command() const { return params_.Command(); }
  FILE* log() const { return log_ != nullptr ? log_ : stdout; }
  const std::string& log_name() const { return log_name_; }

  // 0, or MQGMO_SYNCPOINT (= MQPMO_SYNCPOINT) when the request asks for one
  // unit of work.
  MQLONG transaction_mode = 0;
  // The alternate user for the request's queues: its descriptor's user.
  std::string alt_user;
  // Set once the final response (Control 1) went out.
  bool final_sent = false;
  // MsgSeqNumber of the final response.
  MQLONG final_sequence = 1;
  // Severity of the last event of the request automaton.
  MQLONG request_severity = 0;

  // Resets the response to an empty one of the request's command.
  void ResetResponse();
  // Sets the final result of the response being built.
  void SetResult(MQLONG comp_code, MQLONG reason);

 private:
  QmgrLink* link_;
  const mqPcfMessage* request_;
  RequestParams params_;
  mqPcfMessage* response_;
  FILE* log_ = nullptr;
  std::string log_name_;
};

}  // namespace msgops

#endif  // MSGOPS_SERVER_CONTEXT_H_
