// The tracked allocator. Blocks are not recorded in the block-record list
// (nothing of the suite adds to it), so the list functions see it empty.

#include "pcfcore/memory.h"

#include "memory_fault.h"

#include <cstdio>
#include <cstdlib>
#include <cstdint>

namespace {
// Head of the block-record list; stays null because allocation does not
// record blocks.
BLOCKINFO* g_block_list = nullptr;

size_t g_max_block = SIZE_MAX;
}  // namespace

namespace pcfcore::testing {
void FailAllocationsAbove(size_t max_bytes) { g_max_block = max_bytes; }
void AllowAllAllocations() { g_max_block = SIZE_MAX; }
}  // namespace pcfcore::testing

extern "C" {

int fNewMemory(void** pointer, size_t size, const char* /*tag*/) {
  // calloc(0) may return null or a unique pointer; either is what the
  // platform gives for zero bytes, so only a failed non-empty request fails.
  void* block = size > g_max_block ? nullptr : std::calloc(1, size == 0 ? 1 : size);
  *pointer = block;
  return block != nullptr ? 1 : 0;
}

int fSizeMemory(void** pointer, size_t size) {
  if (size > g_max_block) return 0;
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
