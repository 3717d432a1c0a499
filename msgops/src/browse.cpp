// browse.cpp: MSG_BROWSER, the matching messages of one queue, one
// response each, then a final response with the queue's depths.
//
// Map: construction (states, events, transitions), then one member per
// state in the order a browse passes through them, then the response of
// one message.
#include <cstring>

#include <msgops/protocol.h>

#include "header_chain.h"
#include "matcher.h"
#include "request_automata.h"
#include "response.h"

namespace msgops {
namespace {

class BrowseAutomaton : public RequestAutomaton {
 public:
  explicit BrowseAutomaton(ServerContext& context);

 private:
  const AutomatonEvent* Open();
  const AutomatonEvent* BrowseOne();
  const AutomatonEvent* Match();
  const AutomatonEvent* MakeResponse();
  const AutomatonEvent* SendOne();
  const AutomatonEvent* Done();
  const AutomatonEvent* Clean();

  const AutomatonEvent* error_;
  const AutomatonEvent* ok_;
  const AutomatonEvent* next_;
  const AutomatonEvent* done_;

  std::unique_ptr<Queue> queue_;
  MqMessage message_;
  std::optional<std::string> queue_name_;
  MessageMatcher matcher_;
  MQLONG limit_;           // negative: no limit
  MQLONG first_position_;  // among matching messages, from 1
  MQLONG offset_;
  MQLONG chunk_;
  MQLONG returned_ = 0;
  MQLONG browsed_ = 0;
  MQLONG matching_ = 0;
};

MatchOptions BrowseMatchOptions() {
  MatchOptions options;
  // 20156 is where the returned chunk starts; a short message is still
  // shown, only without data.
  options.data_offset_is_length_criterion = false;
  return options;
}

BrowseAutomaton::BrowseAutomaton(ServerContext& context)
    : RequestAutomaton(context, "MSG_BROWSER", kKindBrowse),
      matcher_(MessageMatcher::FromRequest(context.params(), BrowseMatchOptions())) {
  RequestParams& params = context.params();
  queue_name_ = params.Name(MQCA_Q_NAME);
  limit_ = params.IntOr(MG_MSG_LIMIT, 100);
  first_position_ = params.IntOr(MG_FIRST_POSITION, 0);
  offset_ = params.IntOr(MG_DATA_OFFSET, 0);
  chunk_ = params.IntOr(MG_DATA_LENGTH, 100);

  error_ = Event("BRWE_ERROR_OCCURED", kSeverityFailure);
  ok_ = Event("BRWE_OK", kSeverityNormal);
  next_ = Event("BRWE_PROCESS_NEXT", kSeverityNormal);
  done_ = Event("BRWE_PROCESS_DONE", kSeverityNormal);

  auto* open = State("BRW_OPEN_INPUT_Q", kRoleStart, "BROWSE: brw_open", [this] { return Open(); });
  auto* browse = State("BRW_BROWSE1_MSG", kRoleNormal, "BROWSE: brw_browse", [this] { return BrowseOne(); });
  auto* match = State("BRW_MATCH_CRITERIA", kRoleNormal, "BROWSE: brw_match", [this] { return Match(); });
  auto* make = State("BRW_MAKE_RESPONSE", kRoleNormal, "BROWSE: brw_mk_resp", [this] { return MakeResponse(); });
  auto* send = State("BRW_SEND_RESPONSE", kRoleNormal, "BROWSE: brw_respond", [this] { return SendOne(); });
  auto* finita = State("BRW_FINITA", kRoleFinal, "BROWSE: brw_done", [this] { return Done(); });
  auto* except = State("BRW_EXCEPTION", kRoleFinal, "BROWSE: brw_clean", [this] { return Clean(); });
  automaton_.Start(open);
  automaton_.SetExceptionState(except);
  Link(open, ok_, browse);
  Link(browse, ok_, match);
  Link(browse, done_, finita);
  Link(match, ok_, make);
  Link(match, next_, browse);
  Link(make, ok_, send);
  Link(send, next_, browse);
}

const AutomatonEvent* BrowseAutomaton::Open() {
  if (!queue_name_) {
    Fail(MQCC_FAILED, MQRC_UNKNOWN_OBJECT_NAME);
    return error_;
  }
  queue_ = NewQueue(*queue_name_);
  if (!queue_->Open(MQOO_BROWSE | MQOO_INQUIRE, context_.alt_user)) {
    Fail(MQCC_FAILED, queue_->reason());
    return error_;
  }
  return ok_;
}

const AutomatonEvent* BrowseAutomaton::BrowseOne() {
  if (limit_ >= 0 && returned_ >= limit_) return done_;
  // A version-2 descriptor brings the group and segment fields along.
  message_.md().Version = MQMD_VERSION_2;
  PresetIds(&message_.md());
  MQLONG options = (browsed_ == 0 ? MQGMO_BROWSE_FIRST : MQGMO_BROWSE_NEXT) | MQGMO_FAIL_IF_QUIESCING;
  if (queue_->Get(&message_, options, MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID)) {
    ++browsed_;
    return ok_;
  }
  if (queue_->reason() == MQRC_NO_MSG_AVAILABLE) {
    if (returned_ > 0) return done_;
    Fail(MQCC_WARNING, MQRC_NO_MSG_AVAILABLE);
    return error_;
  }
  Fail(MQCC_FAILED, queue_->reason());
  return error_;
}

const AutomatonEvent* BrowseAutomaton::Match() {
  if (!matcher_.Matches(message_.md(), message_.view())) return next_;
  // Pages count positions among matching messages, as the browser does.
  ++matching_;
  if (matching_ < first_position_) return next_;
  ++returned_;
  return ok_;
}

const AutomatonEvent* BrowseAutomaton::MakeResponse() {
  context_.ResetResponse();
  mqPcfMessage* response = context_.response();
  const MQMD& md = message_.md();
  std::span<const uint8_t> data = message_.view();
  std::span<const FieldSpec> md_fields = MdResponseFields();
  constexpr size_t kMdIntFields = 11;  // 20151-20154, 20161-20167 come first
  AddFields(response, md_fields.first(kMdIntFields), &md);
  AddInt(response, MG_DATA_LENGTH_MAX, static_cast<MQLONG>(data.size()));
  AddInt(response, MG_MD_LENGTH, MQMD_LENGTH_2);
  AddFields(response, md_fields.subspan(kMdIntFields), &md);
  AddFields(response, MdV2ResponseFields(), &md);

  HeaderChain chain = WalkHeaderChain(md, data);
  if (chain.mde) AddFields(response, MdeResponseFields(), &*chain.mde);
  if (chain.dlh) AddFields(response, DlhResponseFields(), &*chain.dlh);
  if (chain.xqh) AddFields(response, XqhResponseFields(), &*chain.xqh);
  AddInt(response, MG_HEADER_FLAGS, chain.flags);
  MQLONG offset = std::max<MQLONG>(offset_, 0);
  AddInt(response, MG_DATA_OFFSET, offset);
  int64_t remaining = static_cast<int64_t>(data.size()) - static_cast<int64_t>(chain.header_length) - offset;
  if (remaining > 0) {
    AddInt(response, MG_DATA_LENGTH, static_cast<MQLONG>(remaining));
    size_t from = chain.header_length + static_cast<size_t>(offset);
    size_t take = static_cast<size_t>(std::min<int64_t>(remaining, std::max<MQLONG>(chunk_, 0)));
    auto chunk = data.subspan(from, take);
    if (FormatIs(md.Format, MQFMT_STRING)) {
      AddString(response, MG_DATA_BYTES, chunk);
    } else {
      AddBytes(response, MG_DATA_BYTES, chunk);
    }
  }
  return ok_;
}

const AutomatonEvent* BrowseAutomaton::SendOne() {
  if (SendResponse(context_, MQCFC_NOT_LAST, returned_)) return next_;
  Fail(MQCC_FAILED, context_.link()->last_reason());
  return error_;
}

const AutomatonEvent* BrowseAutomaton::Done() {
  context_.ResetResponse();
  mqPcfMessage* response = context_.response();
  if (queue_name_) AddString(response, MQCA_Q_NAME, *queue_name_);
  AddQueueStats(queue_.get());
  AddInt(response, MG_MSG_LIMIT, returned_);
  SetFinalResult(false);
  context_.final_sequence = returned_ + 1;
  return ok_;
}

const AutomatonEvent* BrowseAutomaton::Clean() {
  context_.ResetResponse();
  mqPcfMessage* response = context_.response();
  if (queue_name_) AddString(response, MQCA_Q_NAME, *queue_name_);
  AddInt(response, MG_MSG_LIMIT, returned_);
  SetFinalResult(true);
  context_.final_sequence = returned_ + 1;
  return error_;
}

}  // namespace

std::unique_ptr<RequestAutomaton> MakeBrowseAutomaton(ServerContext& context) {
  return std::make_unique<BrowseAutomaton>(context);
}

}  // namespace msgops
