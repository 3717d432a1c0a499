// frame_side.h: who wrote a signed frame, carried in the first half of its
// nonce, so that a frame sent back to its writer is refused.
//
//   Nonce(16) = Side(1) Process(5) Port(2) Random(8)
//
// Side is MQC_SIDE_*; Process is a random tag of the writing process (made
// anew in a child after fork); Port is the writing datagram socket's local
// port, big-endian (0 on TCP). A TCP reader takes frames of the other side
// only; a datagram reader takes datagrams only, and none whose Process and
// Port are its own: the socket that wrote a datagram never accepts it.
#ifndef SIGNCORE_FRAME_SIDE_H_
#define SIGNCORE_FRAME_SIDE_H_

#include <cstddef>

#include "replay_guard.h"
#include "signcore/signcore.h"

namespace signcore {

constexpr std::size_t kOriginBytes = 8;  // Side, Process, Port

// Fills the first kOriginBytes of nonce for a writer on side (null: the
// unstated side). False when side is not one the writer can be on.
bool StampOrigin(const mqcFrameSide* side, unsigned char* nonce);

// Why a frame with this nonce may not be read on side (null: any frame may);
// null when it may.
const char* RefusedOrigin(const mqcFrameSide* side, const Nonce& nonce);

}  // namespace signcore

#endif  // SIGNCORE_FRAME_SIDE_H_
