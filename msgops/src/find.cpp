// find.cpp: MSG_FIND, which of a list of queues hold a matching message.
//
// One intermediate response per queue that holds a match or that failed,
// then a final response with the number found. The queue list is a name,
// the request's own list, or, for a generic name, the local queues that the
// command server lists.
//
// Map: construction, then one member per state in the order a search
// passes through them.
#include <cstring>

#include <msgops/protocol.h>

#include "matcher.h"
#include "request_automata.h"
#include "response.h"

namespace msgops {
namespace {

constexpr MQLONG kQueueNamesWaitMs = 60000;

class FindAutomaton : public RequestAutomaton {
 public:
  explicit FindAutomaton(ServerContext& context);

 private:
  const AutomatonEvent* GetNames();
  const AutomatonEvent* OpenNext();
  const AutomatonEvent* BrowseMatch();
  const AutomatonEvent* MakeResponse();
  const AutomatonEvent* SendOne();
  const AutomatonEvent* Done(bool failure_path);
  bool InquireQueueNames(const std::string& generic_name);

  const AutomatonEvent* error_;
  const AutomatonEvent* ok_;
  const AutomatonEvent* next_;
  const AutomatonEvent* done_;
  const AutomatonEvent* last_;
  const AutomatonEvent* found_;
  const AutomatonEvent* queue_error_;

  std::unique_ptr<Queue> queue_;
  std::string queue_name_;
  MqMessage message_;
  std::vector<std::string> names_;
  size_t next_name_ = 0;
  MessageMatcher matcher_;
  MQLONG limit_;           // messages browsed per queue; negative: no limit
  MQLONG first_position_;  // among matching messages of a queue
  MQLONG found_count_ = 0;
  MQLONG browsed_ = 0;
  MQLONG matching_ = 0;
  MQLONG sequence_ = 0;
};

FindAutomaton::FindAutomaton(ServerContext& context)
    : RequestAutomaton(context, "MSG_FIND", kKindFind),
      matcher_(MessageMatcher::FromRequest(context.params(), MatchOptions{})) {
  RequestParams& params = context.params();
  limit_ = params.IntOr(MG_MSG_LIMIT, 5);
  first_position_ = params.IntOr(MG_FIRST_POSITION, 0);

  error_ = Event("FNE_ERROR_OCCURED", kSeverityFailure);
  ok_ = Event("FNE_OK", kSeverityNormal);
  next_ = Event("FNE_PROCESS_NEXT", kSeverityNormal);
  done_ = Event("FNE_PROCESS_DONE", kSeverityNormal);
  last_ = Event("FNE_PROCESS_LAST", kSeverityNormal);
  found_ = Event("FNE_MSG_FOUND", kSeverityNormal);
  queue_error_ = Event("FNE_Q_ERROR", kSeverityError);

  auto* names = State("FN_GET_Q_NAMES", kRoleStart, "FIND: fnd_get_qnames", [this] { return GetNames(); });
  auto* open = State("FN_OPEN_Q", kRoleNormal, "FIND: fnd_open", [this] { return OpenNext(); });
  auto* browse = State("FN_BROWSE_MSG", kRoleNormal, "FIND: fnd_browse_match", [this] { return BrowseMatch(); });
  auto* make = State("FN_MAKE_RESPONSE", kRoleNormal, "FIND: fnd_make_resp", [this] { return MakeResponse(); });
  auto* send = State("FN_SEND_RESPONSE", kRoleNormal, "FIND: fnd_respond", [this] { return SendOne(); });
  auto* finita = State("FN_FINITA", kRoleFinal, "FIND: fnd_done", [this] { return Done(false); });
  auto* except = State("FN_EXCEPTION", kRoleFinal, "FIND: fnd_clean", [this] { return Done(true); });
  automaton_.Start(names);
  automaton_.SetExceptionState(except);
  Link(names, ok_, open);
  Link(open, ok_, browse);
  Link(open, last_, finita);
  Link(open, queue_error_, make);
  Link(browse, found_, make);
  Link(browse, queue_error_, make);
  Link(browse, done_, open);
  Link(browse, next_, browse);
  Link(browse, last_, finita);
  Link(make, ok_, send);
  Link(send, next_, open);
}

bool FindAutomaton::InquireQueueNames(const std::string& generic_name) {
  QmgrLink* link = context_.link();
  // The command server must be reading its queue, or the inquiry would
  // wait out its whole time for nothing.
  Queue command(link->hconn(), link->command_queue_name());
  if (!command.Open(MQOO_INQUIRE, context_.alt_user) || !command.IsOpenInput()) {
    Fail(MQCC_FAILED, EXRC_CMD_SERVER_DOWN);
    return false;
  }
  command.Close();
  mqPcfMessage* inquiry = CreatePcfMessage(MQCMD_INQUIRE_Q_NAMES, MQCFT_COMMAND, 128);
  mqPcfMessage* reply = CreatePcfMessage(0, MQCFT_RESPONSE, 4096);
  bool listed = false;
  if (inquiry == nullptr || reply == nullptr) {
    Fail(MQCC_FAILED, MQRC_RESOURCE_PROBLEM);
  } else if (!AddString(inquiry, MQCA_Q_NAME, generic_name) || !AddInt(inquiry, MQIA_Q_TYPE, 1)) {
    Fail(MQCC_FAILED, MQRC_RESOURCE_PROBLEM);
  } else if (!link->CommandExchange(inquiry, reply, kQueueNamesWaitMs)) {
    Fail(MQCC_FAILED, link->last_reason());
  } else {
    Fail(reply->Cfh->CompCode, reply->Cfh->Reason);
    RequestParams answer(reply);
    if (auto list = answer.NameList(MQCACF_Q_NAMES)) {
      names_ = std::move(*list);
      listed = true;
    }
  }
  DeletePcfMessage(inquiry);
  DeletePcfMessage(reply);
  return listed;
}

const AutomatonEvent* FindAutomaton::GetNames() {
  RequestParams& params = context_.params();
  if (auto name = params.Name(MQCA_Q_NAME)) {
    if (name->find('*') == std::string::npos) {
      names_ = {*name};
      return ok_;
    }
    return InquireQueueNames(*name) ? ok_ : error_;
  }
  if (auto list = params.NameList(MQCACF_Q_NAMES)) {
    names_ = std::move(*list);
    return ok_;
  }
  Fail(MQCC_FAILED, MQRCCF_PARM_COUNT_TOO_SMALL);
  return error_;
}

const AutomatonEvent* FindAutomaton::OpenNext() {
  queue_.reset();
  browsed_ = 0;
  matching_ = 0;
  sequence_ = 0;
  if (next_name_ >= names_.size()) {
    Fail(MQCC_OK, 0);
    return last_;
  }
  queue_name_ = names_[next_name_++];
  queue_ = NewQueue(queue_name_);
  if (!queue_->Open(MQOO_BROWSE | MQOO_INPUT_SHARED | MQOO_INQUIRE, context_.alt_user)) {
    Fail(MQCC_FAILED, queue_->reason());
    queue_.reset();
    return queue_error_;
  }
  return ok_;
}

const AutomatonEvent* FindAutomaton::BrowseMatch() {
  Fail(MQCC_OK, 0);
  // A queue that reached its browse limit ends that queue's search only.
  if (limit_ >= 0 && browsed_ >= limit_) return done_;
  PresetIds(&message_.md());
  MQLONG options = (browsed_ == 0 ? MQGMO_BROWSE_FIRST : MQGMO_BROWSE_NEXT) | MQGMO_FAIL_IF_QUIESCING;
  if (!queue_->Get(&message_, options, MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID)) {
    if (queue_->reason() == MQRC_NO_MSG_AVAILABLE) return done_;
    Fail(MQCC_FAILED, queue_->reason());
    return queue_error_;
  }
  ++browsed_;
  if (!matcher_.Matches(message_.md(), message_.view())) return next_;
  ++matching_;
  if (matching_ < first_position_) return next_;
  ++found_count_;
  return found_;
}

const AutomatonEvent* FindAutomaton::MakeResponse() {
  context_.ResetResponse();
  AddString(context_.response(), MQCA_Q_NAME, queue_name_);
  AddQueueStats(queue_.get());
  context_.SetResult(comp_code_, reason_);
  return ok_;
}

const AutomatonEvent* FindAutomaton::SendOne() {
  if (SendResponse(context_, MQCFC_NOT_LAST, sequence_++)) return next_;
  Fail(MQCC_FAILED, context_.link()->last_reason());
  return error_;
}

const AutomatonEvent* FindAutomaton::Done(bool failure_path) {
  context_.ResetResponse();
  AddInt(context_.response(), MG_MSG_LIMIT, found_count_);
  SetFinalResult(failure_path);
  context_.final_sequence = sequence_;
  return failure_path ? error_ : ok_;
}

}  // namespace

std::unique_ptr<RequestAutomaton> MakeFindAutomaton(ServerContext& context) {
  return std::make_unique<FindAutomaton>(context);
}

}  // namespace msgops
