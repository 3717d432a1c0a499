// automaton.h: the state-automaton framework every message request runs on.
//
// An Automaton is a set of named states and named events with, per state,
// a transition table indexed by event id. A state's handler does the work
// and returns the event that says how it went; the event (after its own
// handler agrees) selects the next state. Runs are deterministic.
//
// Thread rules. An Automaton, its states and events are immutable once
// built (the transitions are added while building), so one automaton may
// be run by several threads at once. Everything that changes during a run
// lives in an AutomatonRun (current state, the state each state was
// entered from, the last event) and in the AutomatonContext the caller
// passes in; both belong to one run on one thread.
//
// Ids are fixed: each event and state gets the id it is built with, never
// a count of live objects, so ids cannot shift when another thread builds
// or destroys an automaton of the same kind.
#ifndef MSGOPS_AUTOMATON_H_
#define MSGOPS_AUTOMATON_H_

#include <mqi/mqi.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace msgops {

class AutomatonContext;
class AutomatonEvent;
class AutomatonState;

// The name and type every object of the framework carries.
class NamedObject {
 public:
  static constexpr size_t kNameLength = 64;
  NamedObject(std::string_view name, MQLONG type);
  virtual ~NamedObject() = default;
  NamedObject(const NamedObject&) = delete;
  NamedObject& operator=(const NamedObject&) = delete;

  // Copies the name (cut to fit, NUL-terminated); true when it fitted whole.
  bool GetName(char* buffer, size_t length) const;
  // The type; false when it is negative.
  bool GetType(MQLONG* out) const;
  virtual void Dump(FILE* stream) const;
  const std::string& name() const { return name_; }

 protected:
  std::string name_;  // at most kNameLength characters
  MQLONG type_;
};

class IdentifiedObject : public NamedObject {
 public:
  IdentifiedObject(std::string_view name, MQLONG kind, MQLONG id)
      : NamedObject(name, kind), id_(id) {}
  MQLONG GetId() const { return id_; }
  void Dump(FILE* stream) const override;

 private:
  MQLONG id_;
};

// Severity of an event: 0 normal, 1 error, 2 failure.
enum EventSeverity : MQLONG { kSeverityNormal = 0, kSeverityError = 1, kSeverityFailure = 2 };

class AutomatonEvent : public IdentifiedObject {
 public:
  // Returns -1 to refuse the transition, anything else lets it happen.
  using Handler = std::function<int(const AutomatonEvent&, AutomatonContext&)>;
  AutomatonEvent(std::string_view name, MQLONG kind, MQLONG id, MQLONG severity, Handler handler = {})
      : IdentifiedObject(name, kind, id), severity_(severity), handler_(std::move(handler)) {}
  MQLONG severity() const { return severity_; }
  int Fire(AutomatonContext& context) const { return handler_ ? handler_(*this, context) : 0; }

 private:
  MQLONG severity_;
  Handler handler_;
};

enum StateRole : MQLONG { kRoleStart = 0, kRoleFinal = 1, kRoleNormal = 2 };

class AutomatonState : public IdentifiedObject {
 public:
  static constexpr MQLONG kKind = 4;
  static constexpr MQLONG kServerCapacity = 30;
  static constexpr MQLONG kRequestCapacity = 1000;
  static constexpr std::string_view kReverseName = "$REVERSE$";
  // Returns the event that says how the state's work went, or null.
  using Handler = std::function<const AutomatonEvent*(const AutomatonState&, AutomatonContext&)>;

  AutomatonState(std::string_view name, MQLONG id, MQLONG role, MQLONG capacity, Handler handler = {});

  // Stores the transition at index event.GetId(). 0 on success; -1 when the
  // id is 0 or not below the capacity. A later call for the same id wins.
  int AddTransition(const AutomatonEvent& event, const AutomatonState* target);
  MQLONG role() const { return role_; }
  MQLONG capacity() const { return capacity_; }
  bool is_reverse() const { return name_ == kReverseName; }
  const AutomatonEvent* Call(AutomatonContext& context) const;
  // The transition stored for this event, or null; *target is null for
  // $REVERSE$ targets stored as such.
  bool Lookup(const AutomatonEvent& event, const AutomatonState** target) const;
  void Dump(FILE* stream) const override;

 private:
  MQLONG role_;
  MQLONG capacity_;
  Handler handler_;
  std::vector<const AutomatonEvent*> triggers_;
  std::vector<const AutomatonState*> targets_;
};

class Automaton : public IdentifiedObject {
 public:
  Automaton(std::string_view name, MQLONG kind) : IdentifiedObject(name, kind, 1) {}

  AutomatonEvent* AddEvent(std::string_view name, MQLONG kind, MQLONG severity,
                           AutomatonEvent::Handler handler = {});
  AutomatonState* AddState(std::string_view name, MQLONG role, MQLONG capacity,
                           AutomatonState::Handler handler = {});
  // The shared $REVERSE$ marker of this automaton.
  const AutomatonState* Reverse();

  void Start(const AutomatonState* state) { start_ = state; }
  void SetExceptionState(const AutomatonState* state) { exception_ = state; }
  const AutomatonState* start() const { return start_; }
  const AutomatonState* exception_state() const { return exception_; }
  MQLONG state_count() const { return static_cast<MQLONG>(states_.size()); }
  void Dump(FILE* stream, const AutomatonState* current) const;

 private:
  std::vector<std::unique_ptr<AutomatonEvent>> events_;
  std::vector<std::unique_ptr<AutomatonState>> states_;
  const AutomatonState* reverse_ = nullptr;
  const AutomatonState* start_ = nullptr;
  const AutomatonState* exception_ = nullptr;
};

// What a run shares with the state handlers: the stop and exception flags,
// tracing, and (in subclasses) the request being served.
class AutomatonContext : public NamedObject {
 public:
  explicit AutomatonContext(std::string_view name) : NamedObject(name, 1) {}
  ~AutomatonContext() override = default;
  void Stop() { stop_ = true; }
  void Reset() { stop_ = false; }
  void RaiseException() { exception_ = true; }
  void ClearException() { exception_ = false; }
  virtual void EnableTrace() { trace_ = true; }
  bool stopped() const { return stop_; }
  bool exception_raised() const { return exception_; }
  bool tracing() const { return trace_; }
  const AutomatonState* current_state = nullptr;  // for traces

 protected:
  bool stop_ = false;
  bool exception_ = false;
  bool trace_ = false;
};

// Result of Run.
enum RunResult : int { kRunFinal = 0, kRunNotFinal = 1, kRunStuck = 2 };

// One run of an automaton: its mutable state. Build one per request.
class AutomatonRun {
 public:
  explicit AutomatonRun(const Automaton& automaton);

  // Runs from the current state until the context is stopped or no
  // transition is possible. A state that yields no transition leads into
  // the exception state once; a second failure in a row ends the run stuck.
  // The retry flag belongs to this run alone, so an earlier run's failure
  // never costs a later run its exception path.
  int Run(AutomatonContext& context);
  // Fires an event into the current state from outside: 0 when it moved,
  // or when it could not and the current state is final; else 2.
  int Signal(const AutomatonEvent& event, AutomatonContext& context);

  void Restart() { current_ = automaton_.start(); }
  const AutomatonState* current() const { return current_; }
  const AutomatonEvent* last_event() const { return last_event_; }

 private:
  // One step: the next state, or null when there is no transition.
  const AutomatonState* Step(AutomatonContext& context);
  const AutomatonState* Follow(const AutomatonEvent& event, AutomatonContext& context);

  const Automaton& automaton_;
  const AutomatonState* current_;
  const AutomatonEvent* last_event_ = nullptr;
  std::vector<const AutomatonState*> entered_from_;  // by state id
};

}  // namespace msgops

#endif  // MSGOPS_AUTOMATON_H_
