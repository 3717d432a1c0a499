// seams.h: what the console's core asks of its surroundings, as interfaces
// that the windows implement and tests script: the clock, message boxes
// (Prompter), the cancellable progress of a wait (WaitUi), and the lengths
// of the waits (WaitPolicy).
//
// Everything here is called on the one user-interface thread.
#ifndef ADMCLIENT_SEAMS_H_
#define ADMCLIENT_SEAMS_H_

#include <ctime>
#include <deque>
#include <string>
#include <vector>

namespace admclient {

// The time of day. The console reads "now" only through this, so the result
// log and the request ids can be tested at any date.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::time_t Now() const = 0;
};

class SystemClock : public Clock {
 public:
  std::time_t Now() const override { return std::time(nullptr); }
};

// A clock that stands still until told to move.
class FixedClock : public Clock {
 public:
  explicit FixedClock(std::time_t now) : now_(now) {}
  std::time_t Now() const override { return now_; }
  void Set(std::time_t now) { now_ = now; }
  void Advance(std::time_t seconds) { now_ += seconds; }

 private:
  std::time_t now_;
};

enum class PromptIcon { kInformation, kExclamation, kStop, kQuestion };
enum class PromptButtons { kOk, kYesNo, kYesNoCancel };
// Answers carry the platform's button ids, which callers compare against.
enum PromptAnswer { kAnswerOk = 1, kAnswerCancel = 2, kAnswerYes = 6, kAnswerNo = 7 };

// Message boxes. Logic never shows a box itself; it asks the prompter.
class Prompter {
 public:
  virtual ~Prompter() = default;
  // Shows text and returns the button pressed (a PromptAnswer).
  virtual int Ask(const std::string& text, PromptIcon icon, PromptButtons buttons,
                  int default_answer) = 0;
  void Tell(const std::string& text, PromptIcon icon) {
    Ask(text, icon, PromptButtons::kOk, kAnswerOk);
  }
};

// A prompter that records every box and answers from a script; when the
// script is empty it answers with the box's default button.
class ScriptedPrompter : public Prompter {
 public:
  struct Shown {
    std::string text;
    PromptIcon icon;
  };
  int Ask(const std::string& text, PromptIcon icon, PromptButtons buttons,
          int default_answer) override;
  void Script(int answer) { answers_.push_back(answer); }
  const std::vector<Shown>& shown() const { return shown_; }
  void Clear() { shown_.clear(); }

 private:
  std::deque<int> answers_;
  std::vector<Shown> shown_;
};

// The progress shown while the console waits for a connect or a reply:
// Begin once, Step as time passes, End once. CancelRequested is asked between
// steps; the window's implementation lets the user interface run there.
class WaitUi {
 public:
  virtual ~WaitUi() = default;
  virtual void Begin(const std::string& text, int range_max) = 0;
  virtual void Step(int amount) = 0;
  virtual bool CancelRequested() = 0;
  virtual void End() = 0;
};

// Shows nothing and never cancels; records what it was told for tests.
class QuietWaitUi : public WaitUi {
 public:
  // cancel_after_steps < 0: never cancel; else cancel once that many Step
  // calls have been made.
  explicit QuietWaitUi(int cancel_after_steps = -1) : cancel_after_(cancel_after_steps) {}
  void Begin(const std::string& text, int range_max) override;
  void Step(int amount) override;
  bool CancelRequested() override;
  void End() override { ++ended_; }
  int begun() const { return begun_; }
  int ended() const { return ended_; }
  int position() const { return position_; }
  int range_max() const { return range_max_; }
  const std::string& text() const { return text_; }

 private:
  int cancel_after_;
  int steps_ = 0;
  int begun_ = 0;
  int ended_ = 0;
  int position_ = 0;
  int range_max_ = 0;
  std::string text_;
};

// How long the console waits for a connect or a reply: a first short wait
// without a dialog, then budget_steps waits of step_ms each behind the
// progress dialog (whose range is budget_steps and which starts at
// first_advance).
struct WaitPolicy {
  int first_wait_ms = 3000;
  int step_ms = 1000;
  int budget_steps = 120;
  int first_advance = 3;
};

}  // namespace admclient

#endif  // ADMCLIENT_SEAMS_H_
