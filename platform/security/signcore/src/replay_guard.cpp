// The seen-nonce cache of signed frames.

#include "replay_guard.h"

#include <chrono>

namespace signcore {

Freshness ReplayGuard::Admit(std::int64_t sent_ms, const Nonce& nonce,
                             std::int64_t now_ms) {
  if (sent_ms < now_ms - kWindowMs) return Freshness::kStale;
  if (sent_ms > now_ms + kWindowMs) return Freshness::kFuture;
  std::lock_guard<std::mutex> lock(mutex_);
  // Pairs that left the window need no memory: their frames are stale now.
  while (!seen_.empty() && seen_.begin()->first < now_ms - kWindowMs) {
    seen_.erase(seen_.begin());
  }
  if (sent_ms <= floor_ms_) return Freshness::kSeen;
  if (!seen_.emplace(sent_ms, nonce).second) return Freshness::kSeen;
  while (seen_.size() > capacity_) {
    floor_ms_ = seen_.begin()->first;
    seen_.erase(seen_.begin());
  }
  return Freshness::kFresh;
}

std::size_t ReplayGuard::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_.size();
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

ReplayGuard& ProcessReplayGuard() {
  static ReplayGuard guard;
  return guard;
}

}  // namespace signcore
