// allocation_faults.h: for tests that must see the suite's allocator
// (pcfcore/memory.h) fail.
//
// Exhausted memory cannot be produced on demand on a machine with plenty of
// it, so tests make blocks above a size fail instead, through the
// allocator's fault point "allocate" (os/fault_injection.h; its subject is
// the size in bytes, in decimal). Not for production code.
#ifndef PCFCORE_ALLOCATION_FAULTS_H_
#define PCFCORE_ALLOCATION_FAULTS_H_

#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>

#include "os/fault_injection.h"

namespace pcfcore::testing {

// From now on fNewMemory and fSizeMemory fail for blocks above max_bytes.
// Replaces any fault hook the test had set.
inline void FailAllocationsAbove(size_t max_bytes) {
  os::SetFaultHook([max_bytes](std::string_view point, std::string_view subject) {
    if (point != "allocate") return os::FaultAction::kNone;
    size_t size = std::strtoull(std::string(subject).c_str(), nullptr, 10);
    return size > max_bytes ? os::FaultAction::kFail : os::FaultAction::kNone;
  });
}

// Lifts the cap (removes the fault hook).
inline void AllowAllAllocations() { os::SetFaultHook(nullptr); }

}  // namespace pcfcore::testing

#endif  // PCFCORE_ALLOCATION_FAULTS_H_
