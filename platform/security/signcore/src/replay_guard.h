// replay_guard.h: refuses signed frames that are stale, from too far in the
// future, or carry a nonce already accepted.
//
// Every signed frame carries the writer's clock (milliseconds since the Unix
// epoch) and 16 random bytes. A frame is fresh when its time lies within
// kWindowMs of the reader's clock and its (time, nonce) pair was not accepted
// before. Pairs are remembered until they leave the window; when more than
// the capacity arrive within one window, the oldest pair is forgotten and
// every frame not newer than it is refused from then on, so a forgotten pair
// can never be accepted twice and memory stays bounded.
#ifndef SIGNCORE_REPLAY_GUARD_H_
#define SIGNCORE_REPLAY_GUARD_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <utility>

namespace signcore {

constexpr std::size_t kNonceBytes = 16;
constexpr std::int64_t kWindowMs = 300'000;
constexpr std::size_t kSeenCapacity = 65'536;

using Nonce = std::array<unsigned char, kNonceBytes>;

enum class Freshness { kFresh, kStale, kFuture, kSeen };

class ReplayGuard {
 public:
  explicit ReplayGuard(std::size_t capacity = kSeenCapacity) : capacity_(capacity) {}

  // Checks the pair against the clock now_ms and, when fresh, remembers it.
  Freshness Admit(std::int64_t sent_ms, const Nonce& nonce, std::int64_t now_ms);

  std::size_t size() const;

 private:
  using Entry = std::pair<std::int64_t, Nonce>;
  mutable std::mutex mutex_;
  std::size_t capacity_;
  std::set<Entry> seen_;  // ordered by time: the oldest goes first
  // Frames sent at or before this time are refused: a pair of that age may
  // have been forgotten to keep the set within its capacity.
  std::int64_t floor_ms_ = INT64_MIN;
};

// The clock frames carry: milliseconds since the Unix epoch.
std::int64_t NowMs();

// The guard of this process, used by mqc_authenticate.
ReplayGuard& ProcessReplayGuard();

}  // namespace signcore

#endif  // SIGNCORE_REPLAY_GUARD_H_
