// The PCF commands of the command server: one call takes a request body
// and gives the reply bodies (one per object, the last with MQCFC_LAST).
#ifndef MQSIM_SERVER_PCF_COMMANDS_H_
#define MQSIM_SERVER_PCF_COMMANDS_H_

#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "pcf_io.h"
#include "queue_manager.h"

namespace mqsim::server {

// The replies of one command, numbered when finished.
class PcfReplies {
 public:
  explicit PcfReplies(MQLONG command) : command_(command) {}
  // A new reply (CompCode and Reason as given) to fill.
  PcfBuilder& Add(MQLONG comp_code = MQCC_OK, MQLONG reason = MQRC_NONE);
  // Drops the replies so far and leaves one error reply; `parameter`, when
  // not 0, names the parameter at fault (MQIACF_PARAMETER_ID).
  void Fail(MQLONG reason, MQLONG parameter = 0);
  bool empty() const { return items_.empty(); }
  std::vector<std::string> Finish();

 private:
  struct Item {
    explicit Item(MQLONG command) : builder(command, MQCFT_RESPONSE) {}
    PcfBuilder builder;
    MQLONG comp_code = MQCC_OK;
    MQLONG reason = MQRC_NONE;
  };
  MQLONG command_;
  std::vector<std::unique_ptr<Item>> items_;
};

class CommandProcessor {
 public:
  explicit CommandProcessor(QueueManager* qm) : qm_(*qm) {}
  // Runs one request body; the replies to send, in order.
  std::vector<std::string> Run(std::span<const uint8_t> body);
  // Runs a parsed command into replies.
  void Execute(const PcfCommand& cmd, PcfReplies* out);

 private:
  // Queue manager.
  void InquireQmgr(const PcfCommand& cmd, PcfReplies* out);
  void ChangeQmgr(const PcfCommand& cmd, PcfReplies* out);
  // Queues.
  void InquireQueues(const PcfCommand& cmd, PcfReplies* out);
  void InquireQueueNames(const PcfCommand& cmd, PcfReplies* out);
  void DefineQueue(const PcfCommand& cmd, PcfReplies* out);
  void DeleteQueue(const PcfCommand& cmd, PcfReplies* out);
  void ClearQueue(const PcfCommand& cmd, PcfReplies* out);
  void ResetQueueStats(const PcfCommand& cmd, PcfReplies* out);
  void InquireQueueStatus(const PcfCommand& cmd, PcfReplies* out);
  // Processes, namelists and channel definitions.
  void InquireObjects(MQLONG object_type, const PcfCommand& cmd, PcfReplies* out);
  void InquireObjectNames(MQLONG object_type, const PcfCommand& cmd, PcfReplies* out);
  void DefineObject(MQLONG object_type, const PcfCommand& cmd, PcfReplies* out);
  void DeleteObject(MQLONG object_type, const PcfCommand& cmd, PcfReplies* out);

  // Checks that every parameter is one of `allowed` (or an attribute of the
  // kind when attrs_of is not 0); false after filling *out.
  bool CheckParams(const PcfCommand& cmd, const std::set<MQLONG>& allowed, MQLONG attrs_of, PcfReplies* out);
  void AddObject(MQLONG object_type, const ObjectDef& def, const std::set<MQLONG>* only, PcfBuilder& b);
  void AddQueue(const Queue& q, const std::set<MQLONG>* only, PcfBuilder& b);
  void JournalObject(MQLONG object_type, const ObjectDef& def);

  QueueManager& qm_;
};

// True when name matches a generic pattern ("*", "ABC*") or equals it.
bool NameMatches(const std::string& name, const std::string& pattern);

// Calls fn(name, value) for each entry of a name-ordered map that matches
// the pattern, in order, looking only at the entries that can match.
template <typename Map, typename Fn>
void ForMatching(Map& map, const std::string& pattern, Fn fn) {
  bool generic = !pattern.empty() && pattern.back() == '*';
  if (!generic) {
    auto it = map.find(pattern);
    if (it != map.end()) fn(it->first, it->second);
    return;
  }
  std::string prefix = pattern.substr(0, pattern.size() - 1);
  for (auto it = map.lower_bound(prefix); it != map.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
    fn(it->first, it->second);
}

}  // namespace mqsim::server

#endif  // MQSIM_SERVER_PCF_COMMANDS_H_
