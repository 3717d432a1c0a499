// The exported signing calls: credentials, mqc_sign and mqc_authenticate.

#include "signcore/signcore.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "frame_side.h"
#include "pcfcore/memory.h"
#include "replay_guard.h"
#include "signing_key.h"

struct mqcSignatureData {
  uint32_t magic;
  std::shared_ptr<const signcore::SigningKey> key;
};

namespace signcore {
namespace {

constexpr uint32_t kCredentialMagic = 0x5347434eu;  // "SGCN"

// The trailer: the writer's clock, a random nonce, then the MAC over all
// that precedes it.
constexpr std::size_t kTimeBytes = 8;
constexpr std::size_t kStampBytes = kTimeBytes + kNonceBytes;
static_assert(kStampBytes + kMacBytes == MQC_SIGNATURE_LENGTH);

void PutTime(unsigned char* out, std::int64_t ms) {
  auto v = static_cast<std::uint64_t>(ms);
  for (int i = 7; i >= 0; --i) {
    out[i] = static_cast<unsigned char>(v & 0xff);
    v >>= 8;
  }
}

std::int64_t GetTime(const unsigned char* in) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | in[i];
  return static_cast<std::int64_t>(v);
}

thread_local std::string t_error;

// The installation key authentication checks with. Guarded by g_key_mutex;
// readers copy the shared_ptr under the lock and compute outside it.
std::mutex g_key_mutex;
std::shared_ptr<const SigningKey> g_process_key;

std::shared_ptr<const SigningKey> LoadInstallationKey() {
  std::string error;
  std::shared_ptr<const SigningKey> key = SigningKey::Load(KeyFilePath(), &error);
  if (!key) {
    t_error = error;
    std::fprintf(stderr, "signcore: %s\n", error.c_str());
  }
  return key;
}

std::shared_ptr<const SigningKey> ProcessKey() {
  {
    std::lock_guard<std::mutex> lock(g_key_mutex);
    if (g_process_key) return g_process_key;
  }
  std::shared_ptr<const SigningKey> key = LoadInstallationKey();
  if (!key) return nullptr;
  std::lock_guard<std::mutex> lock(g_key_mutex);
  if (!g_process_key) g_process_key = key;
  return g_process_key;
}

}  // namespace
}  // namespace signcore

using signcore::t_error;

extern "C" {

int mqc_get_signature(mqcSignature* credential) try {
  t_error.clear();
  if (credential == nullptr) {
    t_error = "mqc_get_signature: no place for the credential";
    return 0;
  }
  *credential = nullptr;
  std::shared_ptr<const signcore::SigningKey> key = signcore::LoadInstallationKey();
  if (!key) return 0;
  auto* data = new (std::nothrow) mqcSignatureData{signcore::kCredentialMagic, key};
  if (data == nullptr) {
    t_error = "mqc_get_signature: out of memory";
    return 0;
  }
  {
    std::lock_guard<std::mutex> lock(signcore::g_key_mutex);
    signcore::g_process_key = key;
  }
  *credential = data;
  return 1;
} catch (...) {
  // No memory for a text or a key: fail closed, nothing crosses the C
  // interface as an exception.
  return 0;
}

int mqc_release_signature(mqcSignature* credential) {
  if (credential == nullptr || *credential == nullptr) return 0;
  (*credential)->magic = 0;
  delete *credential;
  *credential = nullptr;
  return 1;
}

}  // extern "C"

namespace signcore {
namespace {

// Signs msg where it lies: head gets the node header as it travels and
// trailer the time, nonce and MAC. The message is only read.
int SignParts(mqcSignature credential, const mqPcfMessage* msg, const mqcFrameSide* side,
              unsigned char* head, unsigned char* trailer) {
  if (credential == nullptr || credential->magic != signcore::kCredentialMagic ||
      !credential->key) {
    t_error = "mqc_sign: no valid credential";
    return 0;
  }
  if (msg == nullptr || msg->Body.Storage == nullptr ||
      msg->Body.UsedLength < MESSAGE_HEADER_LENGTH ||
      msg->Body.UsedLength > msg->Body.Capacity) {
    t_error = "mqc_sign: message has no well-formed body";
    return 0;
  }
  const auto body_bytes = static_cast<std::size_t>(msg->Body.UsedLength);
  const std::size_t total = NODE_HEADER_LENGTH + body_bytes + MQC_SIGNATURE_LENGTH;
  if (total > static_cast<std::size_t>(INT32_MAX)) {
    t_error = "mqc_sign: message too large to sign";
    return 0;
  }
  NodeHeader header = msg->NodeHeader;
  header.Length = static_cast<MQLONG>(body_bytes + MQC_SIGNATURE_LENGTH);
  signcore::PutTime(trailer, signcore::NowMs());
  unsigned char* nonce = trailer + signcore::kTimeBytes;
  if (!signcore::StampOrigin(side, nonce)) {
    t_error = "mqc_sign: the writer's side is not known, or no random bytes for it";
    return 0;
  }
  if (RAND_bytes(nonce + signcore::kOriginBytes,
                 static_cast<int>(signcore::kNonceBytes - signcore::kOriginBytes)) != 1) {
    t_error = "mqc_sign: no random bytes for the nonce";
    return 0;
  }
  signcore::Mac mac;
  if (!credential->key->FrameMac(header,
                                 std::span<const unsigned char>(msg->Body.Storage, body_bytes),
                                 std::span<const unsigned char>(trailer, signcore::kStampBytes),
                                 &mac)) {
    t_error = "mqc_sign: HMAC computation failed";
    return 0;
  }
  std::memcpy(trailer + signcore::kStampBytes, mac.data(), mac.size());
  std::memcpy(head, &header, NODE_HEADER_LENGTH);
  return 1;
}

int Sign(mqcSignature credential, mqPcfMessage* msg, Buffer* frame, const mqcFrameSide* side) {
  t_error.clear();
  if (frame == nullptr) {
    t_error = "mqc_sign: no frame buffer";
    return 0;
  }
  std::memset(frame, 0, sizeof *frame);
  unsigned char head[NODE_HEADER_LENGTH];
  unsigned char trailer[MQC_SIGNATURE_LENGTH];
  if (!SignParts(credential, msg, side, head, trailer)) return 0;
  const auto body_bytes = static_cast<std::size_t>(msg->Body.UsedLength);
  const std::size_t total = NODE_HEADER_LENGTH + body_bytes + MQC_SIGNATURE_LENGTH;
  void* data = nullptr;
  if (fNewMemory(&data, total, "Buffer") == 0) {
    t_error = "mqc_sign: out of memory";
    return 0;
  }
  auto* bytes = static_cast<unsigned char*>(data);
  std::memcpy(bytes, head, NODE_HEADER_LENGTH);
  std::memcpy(bytes + NODE_HEADER_LENGTH, msg->Body.Storage, body_bytes);
  std::memcpy(bytes + NODE_HEADER_LENGTH + body_bytes, trailer, MQC_SIGNATURE_LENGTH);
  frame->Data = bytes;
  frame->Size = static_cast<MQLONG>(total);
  frame->Capacity = static_cast<MQLONG>(total);
  return 1;
}

int Authenticate(NodeHeader* header, Buffer* view, mqPcfMessage* msg, const mqcFrameSide* side) {
  t_error.clear();
  if (header == nullptr || view == nullptr || msg == nullptr ||
      msg->Body.Storage == nullptr) {
    t_error = "mqc_authenticate: missing frame";
    return 0;
  }
  // The length word was checked against the frame size limit by the reader,
  // but this call trusts none of its inputs: every size must agree.
  const MQLONG length = header->Length;
  if (length < MESSAGE_HEADER_LENGTH + MQC_SIGNATURE_LENGTH ||
      view->Size != length || msg->Body.UsedLength != length ||
      msg->Body.Capacity < length) {
    t_error = "mqc_authenticate: frame sizes disagree or leave no room for a signature";
    return 0;
  }
  std::shared_ptr<const signcore::SigningKey> key = signcore::ProcessKey();
  if (!key) return 0;
  const auto signed_bytes = static_cast<std::size_t>(length - signcore::kMacBytes);
  const unsigned char* bytes = msg->Body.Storage;
  signcore::Mac expected;
  if (!key->FrameMac(*header, std::span<const unsigned char>(bytes, signed_bytes),
                     &expected)) {
    t_error = "mqc_authenticate: HMAC computation failed";
    return 0;
  }
  if (CRYPTO_memcmp(expected.data(), bytes + signed_bytes, expected.size()) != 0) {
    t_error = "mqc_authenticate: signature does not match";
    return 0;
  }
  // Authentic: now the stamp can be trusted to tell a replay.
  const unsigned char* stamp = bytes + signed_bytes - signcore::kStampBytes;
  signcore::Nonce nonce;
  std::memcpy(nonce.data(), stamp + signcore::kTimeBytes, nonce.size());
  if (const char* refused = signcore::RefusedOrigin(side, nonce)) {
    t_error = refused;
    return 0;
  }
  switch (signcore::ProcessReplayGuard().Admit(signcore::GetTime(stamp), nonce,
                                               signcore::NowMs())) {
    case signcore::Freshness::kFresh:
      break;
    case signcore::Freshness::kStale:
      t_error = "mqc_authenticate: frame is older than the time window";
      return 0;
    case signcore::Freshness::kFuture:
      t_error = "mqc_authenticate: frame is dated beyond the time window";
      return 0;
    case signcore::Freshness::kSeen:
      t_error = "mqc_authenticate: frame was already received (replay)";
      return 0;
  }
  header->Length -= MQC_SIGNATURE_LENGTH;
  msg->Body.UsedLength -= MQC_SIGNATURE_LENGTH;
  view->Size -= MQC_SIGNATURE_LENGTH;
  return 1;
}

}  // namespace
}  // namespace signcore

extern "C" {

int mqc_sign(mqcSignature credential, mqPcfMessage* msg, Buffer* frame) try {
  return signcore::Sign(credential, msg, frame, nullptr);
} catch (...) {
  return 0;
}

int mqc_sign_as(mqcSignature credential, mqPcfMessage* msg, Buffer* frame,
                const mqcFrameSide* side) try {
  if (side == nullptr || side->side == MQC_SIDE_UNSTATED) {
    t_error = "mqc_sign: the writer's side is not known";
    if (frame != nullptr) std::memset(frame, 0, sizeof *frame);
    return 0;
  }
  return signcore::Sign(credential, msg, frame, side);
} catch (...) {
  return 0;
}

int mqc_sign_parts(mqcSignature credential, const mqPcfMessage* msg, const mqcFrameSide* side,
                   unsigned char* head, unsigned char* trailer) try {
  t_error.clear();
  if (head == nullptr || trailer == nullptr) {
    t_error = "mqc_sign: no place for the header or the trailer";
    return 0;
  }
  if (side == nullptr || side->side == MQC_SIDE_UNSTATED) {
    t_error = "mqc_sign: the writer's side is not known";
    return 0;
  }
  return signcore::SignParts(credential, msg, side, head, trailer);
} catch (...) {
  return 0;
}

int mqc_authenticate(NodeHeader* header, Buffer* view, mqPcfMessage* msg) try {
  return signcore::Authenticate(header, view, msg, nullptr);
} catch (...) {
  return 0;
}

int mqc_authenticate_as(NodeHeader* header, Buffer* view, mqPcfMessage* msg,
                        const mqcFrameSide* side) try {
  if (side == nullptr) {
    t_error = "mqc_authenticate: the reader's side is not known";
    return 0;
  }
  return signcore::Authenticate(header, view, msg, side);
} catch (...) {
  return 0;
}

const char* mqc_signature_error(void) { return t_error.c_str(); }

}  // extern "C"
