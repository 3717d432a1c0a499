// request_automaton.cpp: shared helpers of the request automata.
#include "request_automaton.h"

#include <cstring>

#include <msgops/protocol.h>

#include "response.h"
#include "trace.h"

namespace msgops {

AutomatonState* RequestAutomaton::State(const char* name, MQLONG role, const char* method,
                                        std::function<const AutomatonEvent*()> body) {
  return automaton_.AddState(name, role, AutomatonState::kRequestCapacity,
                             [method, body = std::move(body)](const AutomatonState& state, AutomatonContext& c) {
                               auto& context = static_cast<ServerContext&>(c);
                               if (context.tracing()) WriteStateRecord(context, state, method);
                               return body();
                             });
}

void RequestAutomaton::SetFinalResult(bool failure_path) {
  if (failure_path && comp_code_ != MQCC_FAILED && comp_code_ != MQCC_WARNING) {
    comp_code_ = MQCC_FAILED;
    reason_ = MQRC_UNEXPECTED_ERROR;
  }
  context_.SetResult(comp_code_, reason_);
}

void RequestAutomaton::AddQueueStats(Queue* queue) {
  MQLONG depth = 0, max_depth = 0;
  if (queue == nullptr || !queue->Stats(&depth, &max_depth)) return;
  AddInt(context_.response(), MQIA_CURRENT_Q_DEPTH, depth);
  AddInt(context_.response(), MQIA_MAX_Q_DEPTH, max_depth);
}

RequestAutomaton::RequestAutomaton(ServerContext& context, const char* name, MQLONG kind)
    : context_(context), automaton_(name, kind), event_kind_(kind + 1) {
  RequestParams& params = context_.params();
  if (auto id = params.Bytes(20023)) std::memcpy(msg_id_, id->bytes.data(), std::min(id->bytes.size(), sizeof msg_id_));
  if (auto id = params.Bytes(20024)) std::memcpy(correl_id_, id->bytes.data(), std::min(id->bytes.size(), sizeof correl_id_));
}

void RequestAutomaton::PresetIds(MQMD* md) {
  std::memcpy(md->MsgId, msg_id_, sizeof md->MsgId);
  std::memcpy(md->CorrelId, correl_id_, sizeof md->CorrelId);
}

}  // namespace msgops
