// new_message.cpp: MSG_GENRATOR, one message built from the request and
// put a number of times to each queue of a list.
//
// Map: construction, the states in order (queue table, build, put, final
// responses), then the builder.
#include <cstring>

#include <msgops/protocol.h>

#include "message_edit.h"
#include "request_automata.h"
#include "response.h"

namespace msgops {
namespace {

// More copies than this per queue are refused rather than attempted.
constexpr MQLONG kMaxCopies = 100000;

class NewMessageAutomaton : public RequestAutomaton {
 public:
  explicit NewMessageAutomaton(ServerContext& context);

 private:
  const AutomatonEvent* GetQueueNames();
  const AutomatonEvent* MakeMessage();
  const AutomatonEvent* PutAll();
  const AutomatonEvent* Done(bool failure_path);
  void RecordFailure(const std::string& queue, MQLONG reason);

  const AutomatonEvent* error_;
  const AutomatonEvent* ok_;
  const AutomatonEvent* done_;

  std::vector<std::string> names_;
  std::vector<std::unique_ptr<Queue>> queues_;
  std::unique_ptr<MqMessage> message_;
  std::vector<std::string> failed_queues_;
  std::vector<MQLONG> failed_reasons_;
  MQLONG policy_;
  MQLONG copies_;
  MQLONG put_count_ = 0;
  MQLONG failed_puts_ = 0;
};

NewMessageAutomaton::NewMessageAutomaton(ServerContext& context)
    : RequestAutomaton(context, "MSG_GENRATOR", kKindNewMessage) {
  RequestParams& params = context.params();
  policy_ = params.IntOr(MG_FAILURE_POLICY, 0);
  copies_ = params.IntOr(MG_MSG_LIMIT, 1);
  error_ = Event("PUTE_ERROR_OCCURED", kSeverityFailure);
  ok_ = Event("PUTE_OK", kSeverityNormal);
  done_ = Event("PUTE_PROCESS_DONE", kSeverityNormal);
  auto* names = State("PUT_GET_Q_NAMES", kRoleStart, "PUTMSG: put_getq_names", [this] { return GetQueueNames(); });
  auto* make = State("PUT_MAKE_MSG", kRoleNormal, "PUTMSG: put_make_msg", [this] { return MakeMessage(); });
  auto* put = State("PUT_NEW_MSG", kRoleNormal, "PUTMSG: put_putnew", [this] { return PutAll(); });
  auto* finita = State("PUT_FINITA", kRoleFinal, "PUTMSG: put_done", [this] { return Done(false); });
  auto* except = State("PUT_EXCEPTION", kRoleFinal, "PUTMSG: put_clean", [this] { return Done(true); });
  automaton_.Start(names);
  automaton_.SetExceptionState(except);
  Link(names, ok_, make);
  Link(make, ok_, put);
  Link(put, done_, finita);
}

void NewMessageAutomaton::RecordFailure(const std::string& queue, MQLONG reason) {
  failed_queues_.push_back(queue);
  failed_reasons_.push_back(reason);
}

const AutomatonEvent* NewMessageAutomaton::GetQueueNames() {
  auto list = context_.params().NameList(MQCACF_Q_NAMES);
  if (!list || list->empty()) {
    Fail(MQCC_FAILED, MQRC_UNKNOWN_OBJECT_NAME);
    return error_;
  }
  if (copies_ < 0 || copies_ > kMaxCopies) {
    Fail(MQCC_FAILED, MQRC_DATA_LENGTH_ERROR);
    return error_;
  }
  names_ = std::move(*list);
  for (const std::string& name : names_) {
    queues_.push_back(NewQueue(name));
    // With one unit of work for the request the queues are opened at once,
    // so a queue that cannot take the message fails the request up front.
    if (context_.transaction_mode != 0 && !queues_.back()->Open(MQOO_OUTPUT, context_.alt_user)) {
      RecordFailure(name, queues_.back()->reason());
      Fail(MQCC_FAILED, queues_.back()->reason());
      return error_;
    }
  }
  return ok_;
}

const AutomatonEvent* NewMessageAutomaton::MakeMessage() {
  RequestParams& params = context_.params();
  MQLONG flags = params.IntOr(MG_HEADER_FLAGS, 0);
  auto string_data = params.Bytes(MG_DATA_STRING);
  auto byte_data = string_data ? std::nullopt : params.Bytes(MG_DATA_BYTES);
  int64_t data_length = params.IntOr(MG_DATA_LENGTH, 64);
  if (data_length <= 0) data_length = 64;
  int64_t room = data_length;
  size_t headers = ((flags & MG_HDR_MDE) ? MQMDE_LENGTH_2 : 0) + ((flags & MG_HDR_XQH) ? MQXQH_LENGTH_1 : 0) +
                   ((flags & MG_HDR_DLH) ? MQDLH_LENGTH_1 : 0);
  if (static_cast<int64_t>(headers) + room > kMaxMessageBytes) {
    Fail(MQCC_FAILED, MQRC_MSG_TOO_BIG_FOR_Q_MGR);
    return error_;
  }
  message_ = std::make_unique<MqMessage>(static_cast<MQLONG>(headers + static_cast<size_t>(room)));
  if (!message_->ok()) {
    Fail(MQCC_FAILED, MQRC_RESOURCE_PROBLEM);
    return error_;
  }
  MQMD& md = message_->md();
  DefaultMdFields(&md);
  // The descriptor and every header name the structure that follows
  // them; values the request gives explicitly are written afterwards.
  MQMDE mde = DefaultMde();
  MQXQH xqh = DefaultXqh();
  MQDLH dlh = DefaultDlh();
  char* previous = md.Format;
  if (flags & MG_HDR_MDE) {
    std::memcpy(previous, MQFMT_MD_EXTENSION, 8);
    previous = mde.Format;
  }
  if (flags & MG_HDR_XQH) {
    std::memcpy(previous, MQFMT_XMIT_Q_HEADER, 8);
    previous = xqh.MsgDesc.Format;
  }
  if (flags & MG_HDR_DLH) {
    std::memcpy(previous, MQFMT_DEAD_LETTER_HEADER, 8);
    previous = dlh.Format;
  }
  WriteFieldValues(ReadFieldValues(params, MdNewFields()), &md);
  if (md.Version >= MQMD_VERSION_2) WriteFieldValues(ReadFieldValues(params, MdV2NewFields()), &md);
  uint8_t* at = message_->data();
  if (flags & MG_HDR_MDE) {
    WriteFieldValues(ReadFieldValues(params, MdeNewFields()), &mde);
    std::memcpy(at, &mde, sizeof mde);
    at += sizeof mde;
  }
  if (flags & MG_HDR_XQH) {
    WriteFieldValues(ReadFieldValues(params, XqhNewFields()), &xqh);
    std::memcpy(at, &xqh, sizeof xqh);
    at += sizeof xqh;
  }
  if (flags & MG_HDR_DLH) {
    WriteFieldValues(ReadFieldValues(params, DlhNewFields()), &dlh);
    std::memcpy(at, &dlh, sizeof dlh);
    at += sizeof dlh;
  }
  auto length = static_cast<size_t>(data_length);
  std::memset(at, 0, length);
  if (string_data) {
    // The length asked for counts the string's terminator on top, which
    // the message does not carry: up to `length` characters fit.
    std::memcpy(at, string_data->bytes.data(), std::min(string_data->bytes.size(), length));
  } else if (byte_data) {
    std::memcpy(at, byte_data->bytes.data(), std::min(byte_data->bytes.size(), length));
  } else {
    std::memset(at, params.IntOr(MG_FILL_BYTE, 0) & 0xff, length);
  }
  message_->SetLength(headers + length);
  return ok_;
}

const AutomatonEvent* NewMessageAutomaton::PutAll() {
  auto given_options = context_.params().Int(MG_PUT_OPTIONS);
  MQLONG options = (given_options ? *given_options : context_.transaction_mode) | MQPMO_FAIL_IF_QUIESCING;
  const std::string& user = context_.alt_user;
  MQMD& md = message_->md();
  if (!user.empty()) SetField(md.UserIdentifier, sizeof md.UserIdentifier, user);
  for (size_t q = 0; q < queues_.size(); ++q) {
    Queue* queue = queues_[q].get();
    // A queue that is not open gets one MQPUT1 per copy, with the request's
    // user as alternate user.
    if (!queue->is_open()) queue->SetAlternateUser(user);
    bool failed_here = false;
    for (MQLONG copy = 0; copy < copies_; ++copy) {
      if (queue->Put(message_.get(), options)) {
        ++put_count_;
        continue;
      }
      ++failed_puts_;
      if (!failed_here) {
        failed_here = true;
        Fail(MQCC_WARNING, MQRCCF_MQPUT_FAILED);
        RecordFailure(names_[q], queue->reason());
      }
      if (policy_ == 0) return done_;  // stop at the first failed put
      if (policy_ != 1) break;         // skip the rest of this queue's copies
    }
  }
  return done_;
}

const AutomatonEvent* NewMessageAutomaton::Done(bool failure_path) {
  context_.ResetResponse();
  mqPcfMessage* response = context_.response();
  if (!failed_queues_.empty()) {
    AddStringList(response, MQCACF_Q_NAMES, failed_queues_, 48);
    AddIntList(response, MG_FAILED_REASONS, failed_reasons_);
  }
  AddInt(response, MG_MSG_LIMIT, put_count_);
  if (failure_path && names_.size() == 1) {
    Queue inquiry(context_.link()->hconn(), names_[0]);
    if (inquiry.Open(MQOO_INQUIRE, context_.alt_user)) AddQueueStats(&inquiry);
  }
  SetFinalResult(failure_path);
  return failure_path ? error_ : ok_;
}

}  // namespace

std::unique_ptr<RequestAutomaton> MakeNewMessageAutomaton(ServerContext& context) {
  return std::make_unique<NewMessageAutomaton>(context);
}

}  // namespace msgops
