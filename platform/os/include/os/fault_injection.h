/*
 * fault_injection.h: the one way tests make the code fail where the
 * operating system could, or make a process die at a chosen step.
 *
 * Code that can fail marks the place with a named fault point:
 *
 *     if (os::FaultPointFails("journal-write", path)) { ...report EIO... }
 *
 * While nothing is armed a point costs one relaxed atomic load and does
 * nothing. A point is armed in one of two ways:
 *   - in the test's own process: os::ArmFault (the nth hit of a point fails
 *     or ends the process) or os::SetFaultHook (a function that decides each
 *     hit from the point's name and subject);
 *   - in a server a test starts: the variable HARROW_FAULT_POINTS, read by
 *     os::ArmFaultsFromEnvironment. Only programs built as test copies call
 *     that function (they are compiled with HARROW_FAULT_INJECTION; see
 *     platform/mq/CMakeLists.txt for mqsim's), so a shipping binary never
 *     reads the variable and cannot be tripped by accident.
 *
 * HARROW_FAULT_POINTS holds comma-separated rules "point:nth:action":
 * point is a fault point's name, nth the hit (from 1) that the rule
 * applies to, or 0 for every hit, and action "fail" (the call reports
 * failure as an I/O error would) or "crash" (the process ends at once with
 * _exit(kFaultCrashExitCode), as a kill -9 at that step would). Example:
 * "journal-write:3:crash" ends the process at the third journal write.
 *
 * Hits are counted per point name in the process. Thread-safe.
 */
#ifndef OS_FAULT_INJECTION_H_
#define OS_FAULT_INJECTION_H_

#include <functional>
#include <string>
#include <string_view>

namespace os {

enum class FaultAction { kNone, kFail, kCrash };

// Exit status of a process that a "crash" rule ended.
constexpr int kFaultCrashExitCode = 99;
// The variable os::ArmFaultsFromEnvironment reads.
constexpr const char* kFaultPointsVariable = "HARROW_FAULT_POINTS";

// Counts a hit of point and returns what the armed rules or hook decide:
// kNone (go on) or kFail (report failure). Never returns for kCrash: the
// process ends with _exit(kFaultCrashExitCode). subject (a path, a peer)
// is passed to the hook only.
FaultAction HitFaultPoint(std::string_view point, std::string_view subject = {});

// True while any rule or hook is set. Lets a point whose subject costs work
// to build (a number to format) skip that work when nothing is armed.
bool FaultsArmed();

// HitFaultPoint(...) == FaultAction::kFail.
inline bool FaultPointFails(std::string_view point, std::string_view subject = {}) {
  return HitFaultPoint(point, subject) == FaultAction::kFail;
}

// Adds a rule: the nth hit of point (from 1; 0 for every hit) takes action.
// Hit counts start from zero for the point when its first rule is added.
void ArmFault(std::string point, long nth_hit, FaultAction action);

// Decides every hit of every point while set (rules are consulted only when
// the hook answers kNone). A null hook removes it. The hook runs under the
// module's lock: it must not hit a fault point itself.
using FaultHook = std::function<FaultAction(std::string_view point, std::string_view subject)>;
void SetFaultHook(FaultHook hook);

// Removes every rule and the hook and resets the hit counts.
void DisarmFaults();

// Arms the rules in HARROW_FAULT_POINTS. True when the variable is absent
// or well formed; false with *error (nothing armed) when not.
// REQUIRES: called only by test builds (see above).
bool ArmFaultsFromEnvironment(std::string* error);

// Parses rules text as HARROW_FAULT_POINTS holds it and arms them.
bool ArmFaultsFromText(std::string_view rules, std::string* error);

}  // namespace os

#endif  // OS_FAULT_INJECTION_H_
