// The scripted and quiet stand-ins of the seams.

#include "admclient/seams.h"

namespace admclient {

int ScriptedPrompter::Ask(const std::string& text, PromptIcon icon, PromptButtons buttons,
                          int default_answer) {
  shown_.push_back({text, icon});
  if (answers_.empty()) return default_answer;
  int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void QuietWaitUi::Begin(const std::string& text, int range_max) {
  ++begun_;
  text_ = text;
  range_max_ = range_max;
  position_ = 0;
}

void QuietWaitUi::Step(int amount) {
  ++steps_;
  position_ += amount;
}

bool QuietWaitUi::CancelRequested() { return cancel_after_ >= 0 && steps_ >= cancel_after_; }

}  // namespace admclient
