// copy_move.cpp: MSG_COPY and MSG_MOVE, the matching messages of one queue
// to a destination, possibly edited on the way.
//
// Never lost, never doubled. A move takes each message in a unit of work
// of its own: destructive get under the browse cursor, put, commit; a put
// that fails is backed out and the message stays on the source. When the
// request asks for one unit of work (MQIA_SYNCPOINT) the whole request is
// that unit, and a failed put fails the request (the server backs it all
// out), since one message of a unit cannot be backed out alone.
//
// Only messages that were on the source when the request began are taken:
// the queue keeps messages in priority order, first in first out within a
// priority, so a message this request puts to the same queue lands behind
// every message of its priority that was there. The automaton counts the
// messages of each priority before it starts and takes no more than that
// many of each.
//
// Map: construction; the states in the order a message passes through
// them; targets of the special destinations; the final response.
#include <cstring>
#include <map>

#include <msgops/protocol.h>

#include "header_chain.h"
#include "matcher.h"
#include "message_edit.h"
#include "request_automata.h"
#include "response.h"

namespace msgops {
namespace {

class CopyMoveAutomaton : public RequestAutomaton {
 public:
  CopyMoveAutomaton(ServerContext& context, bool is_move);

 private:
  const AutomatonEvent* OpenSource();
  const AutomatonEvent* OpenDestination();
  const AutomatonEvent* BrowseOne();
  const AutomatonEvent* Match();
  const AutomatonEvent* TakeOne();   // move: destructive get under the cursor
  const AutomatonEvent* Edit();
  const AutomatonEvent* PutOne();
  const AutomatonEvent* Done(bool failure_path);

  bool CountSnapshot();
  // The per-message target of a special destination: opened, or false.
  bool OpenTarget(const std::string& queue, const std::string& qmgr);
  const AutomatonEvent* PutFailed(MQLONG reason);

  bool is_move_;
  const AutomatonEvent* error_;
  const AutomatonEvent* ok_;
  const AutomatonEvent* next_;
  const AutomatonEvent* done_;

  std::optional<std::string> source_name_;
  std::optional<std::string> destination_name_;
  bool per_message_target_ = false;
  std::string target_key_;
  std::unique_ptr<Queue> source_;
  std::unique_ptr<Queue> destination_;
  MqMessage message_;
  MessageMatcher matcher_;
  MessageEdit edit_;
  MQLONG limit_;
  MQLONG first_position_;
  MQLONG put_options_;
  bool bypass_failed_puts_;
  MQLONG handled_ = 0;
  MQLONG browsed_ = 0;
  MQLONG matching_ = 0;
  MQLONG bypassed_ = 0;
  std::map<MQLONG, MQLONG> on_queue_at_start_;  // by priority
  std::map<MQLONG, MQLONG> seen_;               // by priority
};

MatchOptions CopyMoveMatchOptions() {
  MatchOptions options;
  options.data_offset_is_length_criterion = false;  // 20156: where new data goes
  options.mde_version_criterion = false;            // 20501: the new data length
  return options;
}

CopyMoveAutomaton::CopyMoveAutomaton(ServerContext& context, bool is_move)
    : RequestAutomaton(context, is_move ? "MSG_MOVE" : "MSG_COPY", kKindCopyMove),
      is_move_(is_move),
      matcher_(MessageMatcher::FromRequest(context.params(), CopyMoveMatchOptions())),
      edit_(MessageEdit::FromRequest(context.params(), is_move)) {
  RequestParams& params = context.params();
  source_name_ = params.Name(MG_SOURCE_Q_NAME);
  destination_name_ = params.Name(MG_DEST_Q_NAME);
  limit_ = params.IntOr(MG_MSG_LIMIT, 1);
  first_position_ = params.IntOr(MG_FIRST_POSITION, 0);
  bypass_failed_puts_ = params.IntOr(MG_FAILURE_POLICY, 0) != 0;
  MQLONG options = params.IntOr(MG_PUT_OPTIONS, MQPMO_FAIL_IF_QUIESCING | MQPMO_SET_ALL_CONTEXT);
  put_options_ = options | context.transaction_mode | (is_move ? MQPMO_SYNCPOINT : 0);

  error_ = Event(is_move ? "MVE_ERROR_OCCURED" : "CPE_ERROR_OCCURED", kSeverityFailure);
  ok_ = Event(is_move ? "MVE_OK" : "CPE_OK", kSeverityNormal);
  next_ = Event(is_move ? "MVE_MOVE_NEXT" : "CPE_COPY_NEXT", kSeverityNormal);
  done_ = Event(is_move ? "MVE_MOVE_DONE" : "CPE_COPY_DONE", kSeverityNormal);
  if (is_move) {
    auto* open = State("MV_OPEN_SOURCE_Q", kRoleStart, "MOVE: mmv_src_open", [this] { return OpenSource(); });
    auto* output = State("MV_OPEN_OUTPUT_Q", kRoleNormal, "MOVE: mmv_dest_open", [this] { return OpenDestination(); });
    auto* browse = State("MV_BROWSE1_MSG", kRoleNormal, "MOVE: mmv_browse", [this] { return BrowseOne(); });
    auto* match = State("MV_MATCH_CRITERIA", kRoleNormal, "MOVE: mmv_match", [this] { return Match(); });
    auto* take = State("MV_DELETE1_MSG", kRoleNormal, "MOVE: mmv_browse", [this] { return TakeOne(); });
    auto* edit = State("MV_REPLACE_MSG", kRoleNormal, "MOVE: mmv_replace", [this] { return Edit(); });
    auto* put = State("MV_MOVE1_MSG", kRoleNormal, "MOVE: mmv_move", [this] { return PutOne(); });
    auto* finita = State("MV_FINITA", kRoleFinal, "MOVE: mmv_done", [this] { return Done(false); });
    auto* except = State("MV_EXCEPTION", kRoleFinal, "MOVE: mmv_clean", [this] { return Done(true); });
    automaton_.Start(open);
    automaton_.SetExceptionState(except);
    Link(open, ok_, output);
    Link(output, ok_, browse);
    Link(browse, ok_, match);
    Link(browse, done_, finita);
    Link(match, ok_, take);
    Link(match, next_, browse);
    Link(take, ok_, edit);
    Link(take, next_, browse);
    Link(edit, ok_, put);
    Link(edit, next_, browse);
    Link(put, next_, browse);
  } else {
    auto* open = State("CPY_OPEN_SOURCE_Q", kRoleStart, "COPY: cpy_src_open", [this] { return OpenSource(); });
    auto* output = State("CPY_OPEN_OUTPUT_Q", kRoleNormal, "COPY: cpy_dest_open", [this] { return OpenDestination(); });
    auto* browse = State("CPY_BROWSE1_MSG", kRoleNormal, "COPY: cpy_browse", [this] { return BrowseOne(); });
    auto* match = State("CPY_MATCH_CRITERIA", kRoleNormal, "COPY: cpy_match", [this] { return Match(); });
    auto* edit = State("CPY_MODIFY_MSG", kRoleNormal, "COPY: cpy_modify", [this] { return Edit(); });
    auto* put = State("CPY_COPY1_MSG", kRoleNormal, "COPY: cpy_copy", [this] { return PutOne(); });
    auto* finita = State("CPY_FINITA", kRoleFinal, "COPY: cpy_done", [this] { return Done(false); });
    auto* except = State("CPY_EXCEPTION", kRoleFinal, "COPY: cpy_clean", [this] { return Done(true); });
    automaton_.Start(open);
    automaton_.SetExceptionState(except);
    Link(open, ok_, output);
    Link(output, ok_, browse);
    Link(browse, ok_, match);
    Link(browse, done_, finita);
    Link(match, ok_, edit);
    Link(match, next_, browse);
    Link(edit, ok_, put);
    Link(edit, next_, browse);
    Link(put, next_, browse);
  }
}

const AutomatonEvent* CopyMoveAutomaton::OpenSource() {
  if (!source_name_ || source_name_->empty()) {
    Fail(MQCC_FAILED, MQRC_UNKNOWN_OBJECT_NAME);
    return error_;
  }
  source_ = NewQueue(*source_name_);
  if (!source_->Open(MQOO_BROWSE | MQOO_INPUT_SHARED | MQOO_INQUIRE, context_.alt_user)) {
    Fail(MQCC_FAILED, source_->reason());
    return error_;
  }
  return ok_;
}

const AutomatonEvent* CopyMoveAutomaton::OpenDestination() {
  if (!destination_name_ || destination_name_->empty()) {
    Fail(MQCC_FAILED, MQRC_UNKNOWN_OBJECT_NAME);
    return error_;
  }
  per_message_target_ = *destination_name_ == MG_DEST_DEAD_LETTER || *destination_name_ == MG_DEST_SENDER;
  if (!per_message_target_) {
    destination_ = NewQueue(*destination_name_);
    if (!destination_->Open(MQOO_OUTPUT | MQOO_SET_ALL_CONTEXT, context_.alt_user)) {
      Fail(MQCC_FAILED, destination_->reason());
      return error_;
    }
  }
  if (!CountSnapshot()) return error_;
  return ok_;
}

bool CopyMoveAutomaton::CountSnapshot() {
  // A browse of its own, so the main browse cursor stays at the start;
  // descriptors only (truncated data accepted).
  Queue counter(context_.link()->hconn(), *source_name_);
  if (!counter.Open(MQOO_BROWSE, context_.alt_user)) {
    Fail(MQCC_FAILED, counter.reason());
    return false;
  }
  MqMessage probe(16);
  for (bool first = true;; first = false) {
    PresetIds(&probe.md());
    MQLONG options = (first ? MQGMO_BROWSE_FIRST : MQGMO_BROWSE_NEXT) | MQGMO_ACCEPT_TRUNCATED_MSG |
                     MQGMO_FAIL_IF_QUIESCING;
    bool got = counter.Get(&probe, options, MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID);
    if (!got && counter.reason() != MQRC_TRUNCATED_MSG_ACCEPTED) break;
    ++on_queue_at_start_[probe.md().Priority];
  }
  if (counter.reason() != MQRC_NO_MSG_AVAILABLE && counter.reason() != MQRC_TRUNCATED_MSG_ACCEPTED) {
    Fail(MQCC_FAILED, counter.reason());
    return false;
  }
  return true;
}

const AutomatonEvent* CopyMoveAutomaton::BrowseOne() {
  if (limit_ >= 0 && handled_ >= limit_) return done_;
  PresetIds(&message_.md());
  MQLONG options = (browsed_ == 0 ? MQGMO_BROWSE_FIRST : MQGMO_BROWSE_NEXT) | MQGMO_FAIL_IF_QUIESCING;
  if (source_->Get(&message_, options, MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID)) {
    ++browsed_;
    return ok_;
  }
  if (source_->reason() == MQRC_NO_MSG_AVAILABLE) {
    if (handled_ > 0 || bypassed_ > 0) return done_;
    Fail(MQCC_FAILED, MQRC_NO_MSG_AVAILABLE);
    return error_;
  }
  Fail(MQCC_FAILED, source_->reason());
  return error_;
}

bool CopyMoveAutomaton::OpenTarget(const std::string& queue, const std::string& qmgr) {
  std::string key = queue + "\n" + qmgr;
  if (destination_ && destination_->is_open() && key == target_key_) return true;
  destination_.reset();
  target_key_.clear();
  destination_ = NewQueue(queue, qmgr);
  if (!destination_->Open(MQOO_OUTPUT | MQOO_SET_ALL_CONTEXT, context_.alt_user)) {
    destination_.reset();
    return false;
  }
  target_key_ = key;
  return true;
}

const AutomatonEvent* CopyMoveAutomaton::Match() {
  // Messages that came after the request began (its own puts among them)
  // are not the request's business.
  MQLONG priority = message_.md().Priority;
  if (++seen_[priority] > on_queue_at_start_[priority]) return next_;
  if (!matcher_.Matches(message_.md(), message_.view())) return next_;
  ++matching_;
  if (matching_ < first_position_) return next_;
  if (per_message_target_) {
    std::string queue, qmgr;
    if (*destination_name_ == MG_DEST_DEAD_LETTER) {
      if (auto dlh = ReadDlh(message_.view(), 0)) {
        queue = TrimName(dlh->DestQName, sizeof dlh->DestQName);
        qmgr = TrimName(dlh->DestQMgrName, sizeof dlh->DestQMgrName);
      }
    } else {
      const MQMD& md = message_.md();
      queue = TrimName(md.ReplyToQ, sizeof md.ReplyToQ);
      qmgr = TrimName(md.ReplyToQMgr, sizeof md.ReplyToQMgr);
    }
    // A message without a target of its own stays where it is.
    if (queue.empty() || !OpenTarget(queue, qmgr)) return next_;
  }
  return destination_ ? ok_ : next_;
}

const AutomatonEvent* CopyMoveAutomaton::TakeOne() {
  PresetIds(&message_.md());
  MQLONG options = MQGMO_MSG_UNDER_CURSOR | MQGMO_FAIL_IF_QUIESCING | MQGMO_SYNCPOINT;
  if (source_->Get(&message_, options, MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID)) return ok_;
  // Another reader took it first: it is not ours to move or count.
  if (source_->reason() == MQRC_NO_MSG_AVAILABLE) return next_;
  Fail(MQCC_FAILED, source_->reason());
  return error_;
}

const AutomatonEvent* CopyMoveAutomaton::Edit() {
  MQLONG reason = edit_.Apply(&message_);
  if (reason == 0) return ok_;
  return PutFailed(reason);
}

const AutomatonEvent* CopyMoveAutomaton::PutFailed(MQLONG reason) {
  QmgrLink* link = context_.link();
  bool own_unit = is_move_ && context_.transaction_mode == 0;
  if (own_unit) link->EndTransaction(false);  // the message goes back to the source
  if (bypass_failed_puts_ && (own_unit || !is_move_)) {
    ++bypassed_;
    Fail(MQCC_WARNING, MQRCCF_MQPUT_FAILED);
    return next_;
  }
  Fail(MQCC_FAILED, reason);
  return error_;
}

const AutomatonEvent* CopyMoveAutomaton::PutOne() {
  edit_.Strip(&message_);
  if (!destination_->Put(&message_, put_options_)) return PutFailed(destination_->reason());
  if (is_move_ && context_.transaction_mode == 0) {
    QmgrLink* link = context_.link();
    if (!link->EndTransaction(true)) {
      MQLONG reason = link->last_reason() != 0 ? link->last_reason() : MQRC_BACKED_OUT;
      link->EndTransaction(false);
      Fail(MQCC_FAILED, reason);
      return error_;
    }
  }
  ++handled_;
  return next_;
}

const AutomatonEvent* CopyMoveAutomaton::Done(bool failure_path) {
  context_.ResetResponse();
  mqPcfMessage* response = context_.response();
  if (source_name_) AddString(response, MG_SOURCE_Q_NAME, *source_name_);
  if (destination_name_) AddString(response, MG_DEST_Q_NAME, *destination_name_);
  if (!failure_path) AddQueueStats(source_.get());
  AddInt(response, MG_MSG_LIMIT, handled_);
  SetFinalResult(failure_path);
  return failure_path ? error_ : ok_;
}

}  // namespace

std::unique_ptr<RequestAutomaton> MakeCopyAutomaton(ServerContext& context) {
  return std::make_unique<CopyMoveAutomaton>(context, false);
}
std::unique_ptr<RequestAutomaton> MakeMoveAutomaton(ServerContext& context) {
  return std::make_unique<CopyMoveAutomaton>(context, true);
}

}  // namespace msgops
