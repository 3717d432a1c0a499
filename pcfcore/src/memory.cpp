// The suite's allocator: zero-filled blocks from the C heap. Blocks are not
// recorded in the block-record list (nothing of the suite adds to it), so
// the list functions see it empty.

#include "pcfcore/memory.h"

#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <string>

#include "os/fault_injection.h"

namespace {
// Head of the block-record list; stays null because allocation does not
// record blocks.
BLOCKINFO* g_block_list = nullptr;

// Fault point "allocate" (os/fault_injection.h), subject the size in bytes.
bool AllocationFails(size_t size) {
  return os::FaultsArmed() && os::FaultPointFails("allocate", std::to_string(size));
}
}  // namespace

extern "C" {

int fNewMemory(void** pointer, size_t size, const char* /*tag*/) {
  // calloc(0) may return null or a unique pointer; either is what the
  // platform gives for zero bytes, so only a failed non-empty request fails.
  void* block = AllocationFails(size) ? nullptr : std::calloc(1, size == 0 ? 1 : size);
  *pointer = block;
  return block != nullptr ? 1 : 0;
}

int fSizeMemory(void** pointer, size_t size) {
  if (AllocationFails(size)) return 0;
  void* block = std::realloc(*pointer, size == 0 ? 1 : size);
  if (block == nullptr) return 0;
  *pointer = block;
  return 1;
}

void FreeMemory(void* pointer) { std::free(pointer); }

int fValidPointer(const void* /*pointer*/) { return 1; }

void NoteMemoryRef(const void* pointer) {
  const auto* p = static_cast<const unsigned char*>(pointer);
  for (BLOCKINFO* b = g_block_list; b != nullptr; b = b->pbiNext) {
    if (b->pb <= p && p <= b->pb + b->size - 1) {
      b->fReferenced = 1;
      return;
    }
  }
}

void DumpMemoryLog(void) {
  for (BLOCKINFO* b = g_block_list; b != nullptr; b = b->pbiNext) {
    std::printf("Module(%s); Address = %X; MemSize = %d Refer = %d\n", b->tag,
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(b->pb)),
                static_cast<int>(b->size), b->fReferenced);
  }
}

}  // extern "C"
