// Fault points: counted hits, rules armed by tests, an optional hook.

#include "os/fault_injection.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

namespace os {
namespace {

struct Rule {
  long nth_hit;
  FaultAction action;
};

struct Faults {
  std::mutex mutex;
  // Guarded by mutex.
  std::map<std::string, std::vector<Rule>, std::less<>> rules;
  std::map<std::string, long, std::less<>> hits;
  FaultHook hook;
};

Faults& State() {
  static Faults* faults = new Faults;  // never destroyed: points may be hit during exit
  return *faults;
}

// True while any rule or hook is set; lets an unarmed point skip the mutex.
std::atomic<bool> g_armed{false};

[[noreturn]] void Crash() { _exit(kFaultCrashExitCode); }

bool ParseRule(std::string_view text, std::string* point, long* nth, FaultAction* action) {
  size_t first = text.find(':');
  size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
  if (first == 0 || second == std::string_view::npos) return false;
  *point = std::string(text.substr(0, first));
  std::string number(text.substr(first + 1, second - first - 1));
  if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *nth = std::strtol(number.c_str(), nullptr, 10);
  std::string_view verb = text.substr(second + 1);
  if (verb == "fail") {
    *action = FaultAction::kFail;
  } else if (verb == "crash") {
    *action = FaultAction::kCrash;
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool FaultsArmed() { return g_armed.load(std::memory_order_relaxed); }

FaultAction HitFaultPoint(std::string_view point, std::string_view subject) {
  if (!g_armed.load(std::memory_order_relaxed)) return FaultAction::kNone;
  Faults& faults = State();
  FaultAction action = FaultAction::kNone;
  {
    std::lock_guard<std::mutex> lock(faults.mutex);
    if (faults.hook) action = faults.hook(point, subject);
    auto rules = faults.rules.find(point);
    if (action == FaultAction::kNone && rules != faults.rules.end()) {
      long hit = ++faults.hits[rules->first];
      for (const Rule& rule : rules->second) {
        if (rule.nth_hit == 0 || rule.nth_hit == hit) action = rule.action;
      }
    }
  }
  if (action == FaultAction::kCrash) Crash();
  return action;
}

void ArmFault(std::string point, long nth_hit, FaultAction action) {
  Faults& faults = State();
  std::lock_guard<std::mutex> lock(faults.mutex);
  auto& rules = faults.rules[point];
  if (rules.empty()) faults.hits[point] = 0;
  rules.push_back(Rule{nth_hit, action});
  g_armed.store(true, std::memory_order_relaxed);
}

void SetFaultHook(FaultHook hook) {
  Faults& faults = State();
  std::lock_guard<std::mutex> lock(faults.mutex);
  faults.hook = std::move(hook);
  g_armed.store(faults.hook != nullptr || !faults.rules.empty(), std::memory_order_relaxed);
}

void DisarmFaults() {
  Faults& faults = State();
  std::lock_guard<std::mutex> lock(faults.mutex);
  faults.rules.clear();
  faults.hits.clear();
  faults.hook = nullptr;
  g_armed.store(false, std::memory_order_relaxed);
}

bool ArmFaultsFromText(std::string_view text, std::string* error) {
  struct Parsed {
    std::string point;
    long nth;
    FaultAction action;
  };
  std::vector<Parsed> parsed;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    std::string_view item = text.substr(start, comma - start);
    if (!item.empty()) {
      Parsed rule;
      if (!ParseRule(item, &rule.point, &rule.nth, &rule.action)) {
        *error = "bad fault rule \"" + std::string(item) + "\" (want point:nth:fail|crash)";
        return false;
      }
      parsed.push_back(std::move(rule));
    }
    start = comma + 1;
  }
  for (Parsed& rule : parsed) ArmFault(std::move(rule.point), rule.nth, rule.action);
  return true;
}

bool ArmFaultsFromEnvironment(std::string* error) {
  const char* text = std::getenv(kFaultPointsVariable);
  if (text == nullptr) return true;
  return ArmFaultsFromText(text, error);
}

}  // namespace os
