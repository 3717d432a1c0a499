// server.cpp: the server automaton MMS-SERVER and the exported entry points.
//
// Map:
//   1. the 26 server events and their handlers
//   2. the server states and their handlers
//   3. building the automaton (once per process, read-only afterwards)
//   4. ZORCREATE, ZOREXEC, ZORDELETE
//
// Course of a request: MMS_BEGIN_TRANSACTION -> request state (the request
// automaton sends its intermediate responses and leaves its final response
// in the context) -> MMS_END_TRANSACTION (commit, or back out a failure) ->
// MMS_RESPOND_TO_CLIENT (the final response, with the true outcome of the
// unit of work) -> MMS_END_REQUEST. The unit of work ends before the final
// response goes out, so a client never hears "done" for work that was then
// backed out. A state without a way on leads to MMS_FATAL_EXCEPTION, which
// backs out and still sends a final response.
#include "server.h"

#include <cstring>
#include <mutex>
#include <new>

#include <msgops/msgops.h>

#include "request_automata.h"
#include "response.h"
#include "server_context.h"
#include "trace.h"

namespace msgops {
namespace {

constexpr MQLONG kServerEventKind = 3;

// ---- 1. Events ----------------------------------------------------------------

enum class Handling { kPlain, kError, kInfo, kUnknown };

int HandleEvent(Handling handling, const AutomatonEvent& event, AutomatonContext& c) {
  auto& context = static_cast<ServerContext&>(c);
  switch (handling) {
    case Handling::kPlain:
      if (context.tracing()) WriteEventRecord(context, event, "mme_event_handler");
      break;
    case Handling::kError:
      WriteEventRecord(context, event, "mme_error_handler");
      break;
    case Handling::kInfo:
      WriteEventRecord(context, event, "mme_info_handler");
      break;
    case Handling::kUnknown:
      WriteEventRecord(context, event, "mme_unknown_handler");
      context.ResetResponse();
      context.SetResult(MQCC_FAILED, MQRCCF_CFH_COMMAND_ERROR);
      break;
  }
  return 0;
}

struct EventDef {
  const char* name;
  Handling handling;
  MQLONG severity;
};

// In id order 1..26; the ids must stay below the server states' capacity.
constexpr EventDef kServerEvents[] = {
    {"MME_ERROR", Handling::kError, 2},          {"MME_PASS_THROUGH", Handling::kPlain, 0},
    {"MME_NEW_TRANSACTION", Handling::kPlain, 0}, {"MME_TRANS_COMMITTED", Handling::kPlain, 0},
    {"MME_TRANS_BACKED_OUT", Handling::kError, 1}, {"MME_INITIALIZED", Handling::kPlain, 0},
    {"MME_Q_MGR_ATTACHED", Handling::kInfo, 0},  {"MME_Q_MGR_ERROR", Handling::kError, 2},
    {"MME_Q_ERROR", Handling::kError, 1},        {"MME_SHUTDOWN_REQUEST", Handling::kPlain, 0},
    {"MME_UNKNOWN_REQUEST", Handling::kUnknown, 1}, {"MME_RETRY", Handling::kInfo, 0},
    {"MME_TIME_LIMIT", Handling::kInfo, 1},      {"MME_RETRY_Q_MGR_CONN", Handling::kInfo, 1},
    {"MME_NEXT_REQUEST", Handling::kPlain, 0},   {"MME_NEW_REQUEST", Handling::kPlain, 0},
    {"MME_BROWSE_REQUEST", Handling::kPlain, 0}, {"MME_COPY_REQUEST", Handling::kPlain, 0},
    {"MME_DELETE_REQUEST", Handling::kPlain, 0}, {"MME_MOVE_REQUEST", Handling::kPlain, 0},
    {"MME_NEW_MSG_REQUEST", Handling::kPlain, 0}, {"MME_FIND_MSG_REQUEST", Handling::kPlain, 0},
    {"MME_REPLY_NEGATIVE", Handling::kPlain, 0}, {"MME_REPLY_POSITIVE", Handling::kPlain, 0},
    {"MME_END_REQUEST", Handling::kPlain, 0},    {"MME_NOT_LAST_RESPONSE", Handling::kPlain, 0},
};

enum EventId : size_t {
  kError = 0, kPassThrough = 1, kTransCommitted = 3, kTransBackedOut = 4, kUnknownRequest = 10,
  kBrowseRequest = 16, kCopyRequest = 17, kDeleteRequest = 18, kMoveRequest = 19, kNewMsgRequest = 20,
  kFindMsgRequest = 21, kReplyNegative = 22, kReplyPositive = 23, kEndRequest = 24, kNotLastResponse = 25,
};

class Server {
 public:
  Server();
  const Automaton& automaton() const { return automaton_; }

 private:
  const AutomatonEvent* E(size_t index) const { return events_[index]; }
  AutomatonState* AddServerState(const char* name, MQLONG role, const char* method,
                                 const AutomatonEvent* (Server::*body)(ServerContext&) const);

  // ---- 2. States ----
  const AutomatonEvent* BeginTransaction(ServerContext& context) const;
  const AutomatonEvent* RunRequest(ServerContext& context) const;
  const AutomatonEvent* EndTransaction(ServerContext& context) const;
  const AutomatonEvent* Respond(ServerContext& context) const;
  const AutomatonEvent* EndRequest(ServerContext& context) const;
  const AutomatonEvent* Error(ServerContext& context) const;
  const AutomatonEvent* FatalException(ServerContext& context) const;
  const AutomatonEvent* Terminate(ServerContext& context) const;

  Automaton automaton_;
  std::vector<const AutomatonEvent*> events_;
};

AutomatonState* Server::AddServerState(const char* name, MQLONG role, const char* method,
                                       const AutomatonEvent* (Server::*body)(ServerContext&) const) {
  return automaton_.AddState(name, role, AutomatonState::kServerCapacity,
                             [this, method, body](const AutomatonState& state, AutomatonContext& c) {
                               auto& context = static_cast<ServerContext&>(c);
                               if (context.tracing()) WriteStateRecord(context, state, method);
                               return (this->*body)(context);
                             });
}

// ---- 2. State handlers -----------------------------------------------------------

const AutomatonEvent* Server::BeginTransaction(ServerContext& context) const {
  if (context.params().IntOr(MQIA_SYNCPOINT, 0) != 0) context.transaction_mode = MQGMO_SYNCPOINT;
  switch (context.command()) {
    case EXCMD_MG_BROWSE: return E(kBrowseRequest);
    case EXCMD_MG_NEW: return E(kNewMsgRequest);
    case EXCMD_MG_MOVE: return E(kMoveRequest);
    case EXCMD_MG_DELETE: return E(kDeleteRequest);
    case EXCMD_MG_COPY: return E(kCopyRequest);
    case EXCMD_MG_FIND: return E(kFindMsgRequest);
    default: return E(kUnknownRequest);
  }
}

const AutomatonEvent* Server::RunRequest(ServerContext& context) const {
  MQLONG severity = RunRequestAutomaton(context, context.command());
  return E(severity != kSeverityNormal ? kReplyNegative : kReplyPositive);
}

const AutomatonEvent* Server::EndTransaction(ServerContext& context) const {
  QmgrLink* link = context.link();
  mqPcfMessage* response = context.response();
  if (response->Cfh->CompCode == MQCC_FAILED) {
    link->EndTransaction(false);
    return E(kTransBackedOut);
  }
  if (link->EndTransaction(true)) return E(kTransCommitted);
  // The work was not committed: say so instead of the result it had.
  MQLONG reason = link->last_reason() != 0 ? link->last_reason() : MQRC_BACKED_OUT;
  link->EndTransaction(false);
  context.SetResult(MQCC_FAILED, reason);
  return E(kTransBackedOut);
}

const AutomatonEvent* Server::Respond(ServerContext& context) const {
  if (SendResponse(context, MQCFC_LAST, context.final_sequence)) return E(kEndRequest);
  return E(kError);
}

const AutomatonEvent* Server::EndRequest(ServerContext& context) const {
  context.Stop();
  return nullptr;
}

const AutomatonEvent* Server::Error(ServerContext& context) const {
  // The caller reads why the response could not be put from the link.
  QmgrLink* link = context.link();
  MQLONG put_reason = link->last_reason();
  link->EndTransaction(false);
  link->set_last_reason(put_reason);
  return E(kPassThrough);
}

const AutomatonEvent* Server::FatalException(ServerContext& context) const {
  QmgrLink* link = context.link();
  MQLONG reason = link->last_reason();
  link->EndTransaction(false);
  if (!context.final_sent) {
    // Whatever went wrong, the client still hears that it did.
    mqPcfMessage* response = context.response();
    if (response->Cfh->CompCode != MQCC_FAILED) {
      context.SetResult(MQCC_FAILED, reason != 0 ? reason : MQRC_UNEXPECTED_ERROR);
    }
    SendResponse(context, MQCFC_LAST, context.final_sequence);
  }
  return E(kPassThrough);
}

const AutomatonEvent* Server::Terminate(ServerContext& context) const {
  context.Stop();
  return nullptr;
}

// ---- 3. Building ------------------------------------------------------------------

Server::Server() : automaton_("MMS-SERVER", kKindServer) {
  for (const EventDef& def : kServerEvents) {
    Handling handling = def.handling;
    events_.push_back(automaton_.AddEvent(def.name, kServerEventKind, def.severity,
                                          [handling](const AutomatonEvent& event, AutomatonContext& context) {
                                            return HandleEvent(handling, event, context);
                                          }));
  }
  auto* begin = AddServerState("MMS_BEGIN_TRANSACTION", kRoleStart, "mms_begin_transaction", &Server::BeginTransaction);
  auto* browse = AddServerState("MMS_BROWSE_MESSAGE", kRoleNormal, "mms_browse_msg", &Server::RunRequest);
  auto* fresh = AddServerState("MMS_NEW_MESSAGE", kRoleNormal, "mms_new_msg", &Server::RunRequest);
  auto* move = AddServerState("MMS_MOVE_MESSAGE", kRoleNormal, "mms_move_msg", &Server::RunRequest);
  auto* remove = AddServerState("MMS_DELETE_MESSAGE", kRoleNormal, "mms_delete_msg", &Server::RunRequest);
  auto* copy = AddServerState("MMS_COPY_MESSAGE", kRoleNormal, "mms_copy_msg", &Server::RunRequest);
  auto* find = AddServerState("MMS_FIND_MESSAGE", kRoleNormal, "mms_find_msg", &Server::RunRequest);
  auto* respond = AddServerState("MMS_RESPOND_TO_CLIENT", kRoleFinal, "mms_respond", &Server::Respond);
  auto* end_trans = AddServerState("MMS_END_TRANSACTION", kRoleNormal, "mms_end_transaction", &Server::EndTransaction);
  auto* end_request = AddServerState("MMS_END_REQUEST", kRoleNormal, "mms_end_request", &Server::EndRequest);
  auto* error = AddServerState("MMS_ERROR", kRoleNormal, "mms_error", &Server::Error);
  auto* fatal = AddServerState("MMS_FATAL_EXCEPTION", kRoleNormal, "mms_fatal_except", &Server::FatalException);
  auto* terminate = AddServerState("MMS_TERMINATION", kRoleFinal, "mms_terminate", &Server::Terminate);
  automaton_.Start(begin);
  automaton_.SetExceptionState(fatal);

  begin->AddTransition(*E(kBrowseRequest), browse);
  begin->AddTransition(*E(kCopyRequest), copy);
  begin->AddTransition(*E(kMoveRequest), move);
  begin->AddTransition(*E(kDeleteRequest), remove);
  begin->AddTransition(*E(kNewMsgRequest), fresh);
  begin->AddTransition(*E(kFindMsgRequest), find);
  begin->AddTransition(*E(kUnknownRequest), end_trans);
  for (AutomatonState* request : {browse, copy, move, remove, fresh, find}) {
    for (size_t event : {kError, kReplyPositive, kReplyNegative}) request->AddTransition(*E(event), end_trans);
  }
  end_trans->AddTransition(*E(kTransCommitted), respond);
  end_trans->AddTransition(*E(kTransBackedOut), respond);
  respond->AddTransition(*E(kError), error);
  respond->AddTransition(*E(kEndRequest), end_request);
  respond->AddTransition(*E(kNotLastResponse), automaton_.Reverse());
  fatal->AddTransition(*E(kPassThrough), terminate);
  error->AddTransition(*E(kPassThrough), terminate);
}

const Server& TheServer() {
  static const Server* server = new Server();  // lives as long as the process
  return *server;
}

struct ServerHandle {
  const Server* server;
  bool trace;  // requests run with IMS0002 tracing and a log file
};

}  // namespace

const Automaton& ServerAutomaton() { return TheServer().automaton(); }

int ExecuteRequestOrThrow(void* handle, QmgrLink* link, const mqPcfMessage* request);

MQLONG RunRequestAutomaton(ServerContext& context, MQLONG command) {
  std::unique_ptr<RequestAutomaton> request;
  switch (command) {
    case EXCMD_MG_BROWSE: request = MakeBrowseAutomaton(context); break;
    case EXCMD_MG_FIND: request = MakeFindAutomaton(context); break;
    case EXCMD_MG_DELETE: request = MakeDeleteAutomaton(context); break;
    case EXCMD_MG_COPY: request = MakeCopyAutomaton(context); break;
    case EXCMD_MG_MOVE: request = MakeMoveAutomaton(context); break;
    case EXCMD_MG_NEW: request = MakeNewMessageAutomaton(context); break;
    default: break;
  }
  if (!request) {
    context.ResetResponse();
    context.SetResult(MQCC_FAILED, MQRCCF_CFH_COMMAND_ERROR);
    return kSeverityFailure;
  }
  AutomatonRun run(request->automaton());
  int result = run.Run(context);
  // The request's own exception handling is over; it must not spill into
  // the server's run.
  context.ClearException();
  if (result == kRunStuck || run.last_event() == nullptr) {
    if (context.response()->Cfh->CompCode != MQCC_FAILED) context.SetResult(MQCC_FAILED, MQRC_UNEXPECTED_ERROR);
    return kSeverityFailure;
  }
  return run.last_event()->severity();
}

int ExecuteRequest(void* handle, QmgrLink* link, const mqPcfMessage* request) {
  if (handle == nullptr || link == nullptr || request == nullptr) return 0;
  try {
    return ExecuteRequestOrThrow(handle, link, request);
  } catch (...) {
    // Out of memory inside the standard library: nothing else throws.
    link->set_last_reason(MQRC_RESOURCE_PROBLEM);
    return 0;
  }
}

int ExecuteRequestOrThrow(void* handle, QmgrLink* link, const mqPcfMessage* request) {
  const auto* server_handle = static_cast<const ServerHandle*>(handle);
  ServerContext context(link, request);
  if (!context.ok()) {
    link->set_last_reason(MQRC_RESOURCE_PROBLEM);
    return 0;
  }
  if (server_handle->trace) context.EnableTrace();
  context.Reset();
  AutomatonRun run(server_handle->server->automaton());
  return run.Run(context);
}

}  // namespace msgops

extern "C" {

void* ZORCREATE(void) {
  try {
    return new (std::nothrow) msgops::ServerHandle{&msgops::TheServer(), false};
  } catch (...) {
    return nullptr;
  }
}

void ZORDELETE(void* handle) { delete static_cast<msgops::ServerHandle*>(handle); }

}  // extern "C"
