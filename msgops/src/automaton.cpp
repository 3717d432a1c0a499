// automaton.cpp: named objects, states, events, and the run loop.
#include "automaton.h"

#include <cstring>

namespace msgops {

// ---- Named and identified objects -------------------------------------------

NamedObject::NamedObject(std::string_view name, MQLONG type)
    : name_(name.substr(0, kNameLength)), type_(type) {}

bool NamedObject::GetName(char* buffer, size_t length) const {
  if (buffer == nullptr || length == 0) return false;
  size_t n = std::min(name_.size(), length - 1);
  std::memcpy(buffer, name_.data(), n);
  buffer[n] = '\0';
  return n == name_.size();
}

bool NamedObject::GetType(MQLONG* out) const {
  if (out != nullptr) *out = type_;
  return type_ >= 0;
}

void NamedObject::Dump(FILE* stream) const {
  fprintf(stream, "m_szName = \"%s\",\nm_lType = %d\n", name_.c_str(), type_);
}

void IdentifiedObject::Dump(FILE* stream) const {
  fprintf(stream, "m_szName = \"%s\",\nm_lType = %d,\n_lId = %d\n", name_.c_str(), type_, id_);
}

// ---- States -------------------------------------------------------------------

AutomatonState::AutomatonState(std::string_view name, MQLONG id, MQLONG role, MQLONG capacity,
                               Handler handler)
    : IdentifiedObject(name, kKind, id),
      role_(role),
      capacity_(capacity),
      handler_(std::move(handler)),
      triggers_(static_cast<size_t>(capacity), nullptr),
      targets_(static_cast<size_t>(capacity), nullptr) {}

int AutomatonState::AddTransition(const AutomatonEvent& event, const AutomatonState* target) {
  MQLONG id = event.GetId();
  if (id <= 0 || id >= capacity_) return -1;
  triggers_[static_cast<size_t>(id)] = &event;
  targets_[static_cast<size_t>(id)] = target;
  return 0;
}

const AutomatonEvent* AutomatonState::Call(AutomatonContext& context) const {
  return handler_ ? handler_(*this, context) : nullptr;
}

bool AutomatonState::Lookup(const AutomatonEvent& event, const AutomatonState** target) const {
  MQLONG id = event.GetId();
  if (id <= 0 || id >= capacity_) return false;
  if (triggers_[static_cast<size_t>(id)] != &event) return false;
  *target = targets_[static_cast<size_t>(id)];
  return true;
}

void AutomatonState::Dump(FILE* stream) const {
  for (size_t i = 0; i < triggers_.size(); ++i) {
    if (triggers_[i] == nullptr) continue;
    const AutomatonState* target = targets_[i];
    if (target == nullptr || target->is_reverse()) {
      fprintf(stream, "\tTRANSITION(<%s>, %s, $REVERSE$)\n", name_.c_str(), triggers_[i]->name().c_str());
    } else {
      fprintf(stream, "\tTRANSITION(<%s>, %s, <%s>)\n", name_.c_str(), triggers_[i]->name().c_str(),
              target->name().c_str());
    }
  }
}

// ---- Automata -------------------------------------------------------------------

AutomatonEvent* Automaton::AddEvent(std::string_view name, MQLONG kind, MQLONG severity,
                                    AutomatonEvent::Handler handler) {
  auto id = static_cast<MQLONG>(events_.size() + 1);
  events_.push_back(std::make_unique<AutomatonEvent>(name, kind, id, severity, std::move(handler)));
  return events_.back().get();
}

AutomatonState* Automaton::AddState(std::string_view name, MQLONG role, MQLONG capacity,
                                    AutomatonState::Handler handler) {
  auto id = static_cast<MQLONG>(states_.size() + 1);
  states_.push_back(std::make_unique<AutomatonState>(name, id, role, capacity, std::move(handler)));
  return states_.back().get();
}

const AutomatonState* Automaton::Reverse() {
  if (reverse_ == nullptr) reverse_ = AddState(AutomatonState::kReverseName, kRoleNormal, 0);
  return reverse_;
}

void Automaton::Dump(FILE* stream, const AutomatonState* current) const {
  fprintf(stream, "DF-AUTOMATA(\"%s\"):\n\tSTART_STATE(\"%s\")\n\tEXCEPTION(\"%s\")", name_.c_str(),
          start_ != nullptr ? start_->name().c_str() : "",
          exception_ != nullptr ? exception_->name().c_str() : "");
  fprintf(stream, "\n\tCURRENT_STATE(\"%s\")\n\n", current != nullptr ? current->name().c_str() : "");
}

// ---- Runs -----------------------------------------------------------------------

AutomatonRun::AutomatonRun(const Automaton& automaton)
    : automaton_(automaton),
      current_(automaton.start()),
      entered_from_(static_cast<size_t>(automaton.state_count()) + 1, nullptr) {}

const AutomatonState* AutomatonRun::Follow(const AutomatonEvent& event, AutomatonContext& context) {
  const AutomatonState* target = nullptr;
  if (current_ == nullptr || !current_->Lookup(event, &target)) return nullptr;
  if (event.Fire(context) == -1) return nullptr;
  if (target == nullptr || target->is_reverse()) {
    // Back to the state that entered the one being left (none: no state).
    return entered_from_[static_cast<size_t>(current_->GetId())];
  }
  entered_from_[static_cast<size_t>(target->GetId())] = current_;
  return target;
}

const AutomatonState* AutomatonRun::Step(AutomatonContext& context) {
  const AutomatonEvent* event = current_->Call(context);
  last_event_ = event;
  if (event == nullptr) return nullptr;
  return Follow(*event, context);
}

int AutomatonRun::Run(AutomatonContext& context) {
  bool exception_retry = false;
  context.current_state = current_;
  if (current_ == nullptr) return kRunStuck;
  while (!context.stopped()) {
    if (context.exception_raised()) {
      if (automaton_.exception_state() == nullptr) return kRunStuck;
      context.ClearException();
      current_ = automaton_.exception_state();
      context.current_state = current_;
    }
    const AutomatonState* next = Step(context);
    if (next != nullptr) {
      current_ = next;
      context.current_state = current_;
      exception_retry = false;
      continue;
    }
    if (context.stopped() || current_->role() == kRoleFinal) break;
    if (automaton_.exception_state() == nullptr || exception_retry) return kRunStuck;
    exception_retry = true;
    context.RaiseException();
  }
  return current_->role() == kRoleFinal ? kRunFinal : kRunNotFinal;
}

int AutomatonRun::Signal(const AutomatonEvent& event, AutomatonContext& context) {
  const AutomatonState* next = Follow(event, context);
  if (next != nullptr) {
    current_ = next;
    return 0;
  }
  return current_ != nullptr && current_->role() == kRoleFinal ? 0 : kRunStuck;
}

}  // namespace msgops
