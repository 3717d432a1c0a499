/*
 * memory.h: the suite's allocator, which every library object takes its
 * storage from. Despite the block-record list in its interface it records
 * no blocks (see below); it only zero-fills.
 *
 * All storage of messages, buffers, nodes and queue objects comes from
 * fNewMemory, zero-filled, with a tag naming the kind of object ("PcfMessage",
 * "Message", "Buffer", "TlxIni", "MQNODE", ...). The block-record list below
 * is part of the interface, but allocation does not record blocks in it, so it
 * stays empty and DumpMemoryLog prints nothing. Thread-safe: the functions
 * keep no state of their own beyond that (empty) list.
 */
#ifndef PCFCORE_MEMORY_H_
#define PCFCORE_MEMORY_H_

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One record of the block-record list, in the interface's field order. */
typedef struct BLOCKINFO {
  struct BLOCKINFO* pbiNext;
  unsigned char* pb;     /* block address */
  size_t size;           /* block size in bytes */
  int fReferenced;       /* set by NoteMemoryRef */
  const char* tag;
} BLOCKINFO;

/* Allocates size zero-filled bytes and stores the address (or null) in
 * *pointer. Returns 1, or 0 when no memory was had. Free with FreeMemory. */
int fNewMemory(void** pointer, size_t size, const char* tag);

/* Resizes the block at *pointer to size bytes, keeping its contents, and
 * stores the possibly moved address in *pointer. Bytes added at the end are
 * not set. Returns 1, or 0 with the block and *pointer unchanged. */
int fSizeMemory(void** pointer, size_t size);

/* Frees a block from fNewMemory; null is ignored. */
void FreeMemory(void* pointer);

/* Looks the pointer up in the block-record list; 1 in any case. */
int fValidPointer(const void* pointer);

/* Marks the record whose block contains pointer as referenced. */
void NoteMemoryRef(const void* pointer);

/* Prints "Module(%s); Address = %X; MemSize = %d Refer = %d\n" per record. */
void DumpMemoryLog(void);

#ifdef __cplusplus
}
#endif

#endif /* PCFCORE_MEMORY_H_ */
