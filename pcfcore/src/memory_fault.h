// memory_fault.h: a switch for tests that must see allocation fail.
//
// Exhausted memory cannot be produced on demand on a machine with plenty of
// it, so tests cap the size of a single block instead. Not for production
// code; the cap is process-wide and not synchronised.
#ifndef PCFCORE_SRC_MEMORY_FAULT_H_
#define PCFCORE_SRC_MEMORY_FAULT_H_

#include <cstddef>

namespace pcfcore::testing {

// From now on fNewMemory and fSizeMemory fail for blocks above max_bytes.
void FailAllocationsAbove(size_t max_bytes);
// Lifts the cap.
void AllowAllAllocations();

}  // namespace pcfcore::testing

#endif  // PCFCORE_SRC_MEMORY_FAULT_H_
