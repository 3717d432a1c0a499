/*
 * netcore.h: everything the node transport library exports.
 *
 * Conventions of the whole library: plain C functions over records,
 * returning 1 for success and 0 for failure with the reason in the record
 * (a node's lastError, a socket record's lastError); errors are the Windows
 * Sockets numbers and the suite's own codes, never a raw errno; nothing
 * crosses the boundary as an exception. The caller owns what it creates and
 * frees it with the matching Delete function. Records are used by one thread
 * at a time; the library takes no locks.
 *
 *   socket.h         sockets, addresses, options, host mapping
 *   pending_queue.h  the queue of frames waiting to be sent
 *   node.h           nodes: creation, open, close, waiting, pending writes
 *   frame.h          whole frames: signed and plain reads and writes
 */
#ifndef NETCORE_NETCORE_H_
#define NETCORE_NETCORE_H_

#include <netcore/socket.h>
#include <netcore/pending_queue.h>
#include <netcore/node.h>
#include <netcore/frame.h>

#endif /* NETCORE_NETCORE_H_ */
