// The writer's side and origin in the nonce of a signed frame.

#include "frame_side.h"

#include <openssl/rand.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <mutex>

namespace signcore {
namespace {

constexpr std::size_t kProcessBytes = 5;

// The tag of this process. A forked child makes its own, so that parent and
// child can talk to each other over datagrams.
bool ProcessTag(unsigned char* out) {
  static std::mutex mutex;
  static pid_t owner = 0;
  static std::array<unsigned char, kProcessBytes> tag{};
  std::lock_guard<std::mutex> lock(mutex);
  const pid_t now = ::getpid();
  if (owner != now) {
    if (RAND_bytes(tag.data(), static_cast<int>(tag.size())) != 1) return false;
    owner = now;
  }
  std::memcpy(out, tag.data(), tag.size());
  return true;
}

// A writer's socket that was never bound has port 0 until its first send.
bool ValidPort(MQLONG port) { return port >= 0 && port <= 65535; }

}  // namespace

bool StampOrigin(const mqcFrameSide* side, unsigned char* nonce) {
  std::memset(nonce, 0, kOriginBytes);
  const MQLONG which = side != nullptr ? side->side : MQC_SIDE_UNSTATED;
  MQLONG port = 0;
  switch (which) {
    case MQC_SIDE_UNSTATED:
    case MQC_SIDE_CONNECTING:
    case MQC_SIDE_ACCEPTING:
      break;
    case MQC_SIDE_DATAGRAM:
      if (!ValidPort(side->port)) return false;
      port = side->port;
      break;
    default:
      return false;
  }
  nonce[0] = static_cast<unsigned char>(which);
  if (!ProcessTag(nonce + 1)) return false;
  nonce[1 + kProcessBytes] = static_cast<unsigned char>(port >> 8);
  nonce[2 + kProcessBytes] = static_cast<unsigned char>(port & 0xff);
  return true;
}

const char* RefusedOrigin(const mqcFrameSide* side, const Nonce& nonce) {
  if (side == nullptr) return nullptr;
  const int writer = nonce[0];
  switch (side->side) {
    case MQC_SIDE_CONNECTING:
    case MQC_SIDE_ACCEPTING: {
      if (writer == side->side) {
        return "mqc_authenticate: frame was written by this side of the connection (reflected)";
      }
      const int other = side->side == MQC_SIDE_CONNECTING ? MQC_SIDE_ACCEPTING : MQC_SIDE_CONNECTING;
      if (writer != other) return "mqc_authenticate: frame was not written by the other end of a connection";
      return nullptr;
    }
    case MQC_SIDE_DATAGRAM: {
      if (writer != MQC_SIDE_DATAGRAM) return "mqc_authenticate: frame was not written as a datagram";
      std::array<unsigned char, kOriginBytes> own{};
      if (side->port == 0 || !StampOrigin(side, own.data())) {
        return "mqc_authenticate: the reading socket has no port";
      }
      if (std::memcmp(own.data(), nonce.data(), own.size()) == 0) {
        return "mqc_authenticate: datagram was written by this socket (reflected)";
      }
      return nullptr;
    }
    default:
      return "mqc_authenticate: the reader's side is not known";
  }
}

}  // namespace signcore
