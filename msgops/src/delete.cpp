// delete.cpp: MSG_DELETE, removes the matching messages of one queue.
//
// Each matching message is removed under the browse cursor; only a
// removal that succeeded is counted. Map: construction, then the states in
// the order a delete passes through them.
#include <msgops/protocol.h>

#include "matcher.h"
#include "request_automata.h"
#include "response.h"

namespace msgops {
namespace {

class DeleteAutomaton : public RequestAutomaton {
 public:
  explicit DeleteAutomaton(ServerContext& context);

 private:
  const AutomatonEvent* Open();
  const AutomatonEvent* BrowseOne();
  const AutomatonEvent* Match();
  const AutomatonEvent* RemoveOne();
  const AutomatonEvent* Done(bool failure_path);

  const AutomatonEvent* error_;
  const AutomatonEvent* ok_;
  const AutomatonEvent* next_;
  const AutomatonEvent* done_;

  std::unique_ptr<Queue> queue_;
  std::optional<std::string> queue_name_;
  MqMessage message_;
  MessageMatcher matcher_;
  MQLONG limit_;
  MQLONG first_position_;
  MQLONG deleted_ = 0;
  MQLONG browsed_ = 0;
  MQLONG matching_ = 0;
};

DeleteAutomaton::DeleteAutomaton(ServerContext& context)
    : RequestAutomaton(context, "MSG_DELETE", kKindDelete),
      matcher_(MessageMatcher::FromRequest(context.params(), MatchOptions{})) {
  RequestParams& params = context.params();
  queue_name_ = params.Name(MQCA_Q_NAME);
  limit_ = params.IntOr(MG_MSG_LIMIT, 1);
  first_position_ = params.IntOr(MG_FIRST_POSITION, 0);
  error_ = Event("DLTE_ERROR_OCCURED", kSeverityFailure);
  ok_ = Event("DLTE_OK", kSeverityNormal);
  next_ = Event("DLTE_DELETE_NEXT", kSeverityNormal);
  done_ = Event("DLTE_DELETE_DONE", kSeverityNormal);
  auto* open = State("DLT_OPEN_INPUT_Q", kRoleStart, "DELETE: dlt_open", [this] { return Open(); });
  auto* browse = State("DLT_BROWSE1_MSG", kRoleNormal, "DELETE: dlt_browse", [this] { return BrowseOne(); });
  auto* match = State("DLT_MATCH_CRITERIA", kRoleNormal, "DELETE: dlt_match", [this] { return Match(); });
  auto* remove = State("DLT_DELETE1_MSG", kRoleNormal, "DELETE: dlt_browse", [this] { return RemoveOne(); });
  auto* finita = State("DLT_FINITA", kRoleFinal, "DELETE: dlt_done", [this] { return Done(false); });
  auto* except = State("DLT_EXCEPTION", kRoleFinal, "DELETE: dlt_clean", [this] { return Done(true); });
  automaton_.Start(open);
  automaton_.SetExceptionState(except);
  Link(open, ok_, browse);
  Link(browse, ok_, match);
  Link(browse, done_, finita);
  Link(match, ok_, remove);
  Link(match, next_, browse);
  Link(remove, next_, browse);
}

const AutomatonEvent* DeleteAutomaton::Open() {
  if (!queue_name_) {
    Fail(MQCC_FAILED, MQRC_UNKNOWN_OBJECT_NAME);
    return error_;
  }
  queue_ = NewQueue(*queue_name_);
  if (!queue_->Open(MQOO_BROWSE | MQOO_INPUT_SHARED | MQOO_INQUIRE, context_.alt_user)) {
    Fail(MQCC_FAILED, queue_->reason());
    return error_;
  }
  return ok_;
}

const AutomatonEvent* DeleteAutomaton::BrowseOne() {
  if (limit_ >= 0 && deleted_ >= limit_) return done_;
  PresetIds(&message_.md());
  MQLONG options = (browsed_ == 0 ? MQGMO_BROWSE_FIRST : MQGMO_BROWSE_NEXT) | MQGMO_FAIL_IF_QUIESCING;
  if (queue_->Get(&message_, options, MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID)) {
    ++browsed_;
    return ok_;
  }
  if (queue_->reason() == MQRC_NO_MSG_AVAILABLE) {
    if (deleted_ > 0) return done_;
    Fail(MQCC_FAILED, MQRC_NO_MSG_AVAILABLE);
    return error_;
  }
  Fail(MQCC_FAILED, queue_->reason());
  return error_;
}

const AutomatonEvent* DeleteAutomaton::Match() {
  if (!matcher_.Matches(message_.md(), message_.view())) return next_;
  ++matching_;
  return matching_ < first_position_ ? next_ : ok_;
}

const AutomatonEvent* DeleteAutomaton::RemoveOne() {
  MqMessage removed(static_cast<MQLONG>(std::max<size_t>(message_.length(), 1)));
  PresetIds(&removed.md());
  MQLONG options = MQGMO_MSG_UNDER_CURSOR | MQGMO_FAIL_IF_QUIESCING | context_.transaction_mode;
  if (queue_->Get(&removed, options, MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID)) {
    ++deleted_;
    return next_;
  }
  // Gone already: another reader took it; nothing was deleted here.
  if (queue_->reason() == MQRC_NO_MSG_AVAILABLE) return next_;
  Fail(MQCC_FAILED, queue_->reason());
  return error_;
}

const AutomatonEvent* DeleteAutomaton::Done(bool failure_path) {
  context_.ResetResponse();
  if (queue_name_) AddString(context_.response(), MQCA_Q_NAME, *queue_name_);
  if (!failure_path) AddQueueStats(queue_.get());
  AddInt(context_.response(), MG_MSG_LIMIT, deleted_);
  SetFinalResult(failure_path);
  return failure_path ? error_ : ok_;
}

}  // namespace

std::unique_ptr<RequestAutomaton> MakeDeleteAutomaton(ServerContext& context) {
  return std::make_unique<DeleteAutomaton>(context);
}

}  // namespace msgops
