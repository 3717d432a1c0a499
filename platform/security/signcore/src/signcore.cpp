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
constexpr uint32_t kFrameMacMagic = 0x53474d43u;    // "SGMC"

// The trailer: the writer's clock, a random nonce, then the MAC over all
// that precedes it.
constexpr std::size_t kTimeBytes = 8;
static_assert(kTimeBytes + kNonceBytes == kStampBytes);
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

// Checks the credential and msg; header gets msg's node header with its
// length word counting the trailer.
bool CheckSignable(mqcSignature credential, const mqPcfMessage* msg, NodeHeader* header) {
  if (credential == nullptr || credential->magic != signcore::kCredentialMagic ||
      !credential->key) {
    t_error = "mqc_sign: no valid credential";
    return false;
  }
  if (msg == nullptr || msg->Body.Storage == nullptr ||
      msg->Body.UsedLength < MESSAGE_HEADER_LENGTH ||
      msg->Body.UsedLength > msg->Body.Capacity) {
    t_error = "mqc_sign: message has no well-formed body";
    return false;
  }
  const auto body_bytes = static_cast<std::size_t>(msg->Body.UsedLength);
  const std::size_t total = NODE_HEADER_LENGTH + body_bytes + MQC_SIGNATURE_LENGTH;
  if (total > static_cast<std::size_t>(INT32_MAX)) {
    t_error = "mqc_sign: message too large to sign";
    return false;
  }
  *header = msg->NodeHeader;
  header->Length = static_cast<MQLONG>(body_bytes + MQC_SIGNATURE_LENGTH);
  return true;
}

// The trailer's time and nonce (the stamp the MAC ends with).
bool PutStamp(const mqcFrameSide* side, unsigned char* trailer) {
  signcore::PutTime(trailer, signcore::NowMs());
  unsigned char* nonce = trailer + signcore::kTimeBytes;
  if (!signcore::StampOrigin(side, nonce)) {
    t_error = "mqc_sign: the writer's side is not known, or no random bytes for it";
    return false;
  }
  if (RAND_bytes(nonce + signcore::kOriginBytes,
                 static_cast<int>(signcore::kNonceBytes - signcore::kOriginBytes)) != 1) {
    t_error = "mqc_sign: no random bytes for the nonce";
    return false;
  }
  return true;
}

// Signs msg where it lies: head gets the node header as it travels and
// trailer the time, nonce and MAC. The message is only read.
int SignParts(mqcSignature credential, const mqPcfMessage* msg, const mqcFrameSide* side,
              unsigned char* head, unsigned char* trailer) {
  NodeHeader header;
  if (!CheckSignable(credential, msg, &header) || !PutStamp(side, trailer)) return 0;
  const auto body_bytes = static_cast<std::size_t>(msg->Body.UsedLength);
  signcore::Mac mac;
  if (!credential->key->FrameMac(header,
                                 std::span<const unsigned char>(msg->Body.Storage, body_bytes),
                                 std::span<const unsigned char>(trailer, signcore::kStampBytes),
                                 &mac)) {
    t_error = "mqc_sign: MAC computation failed";
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

// The inputs of a check: 0 with t_error set unless every size agrees.
// The length word was checked against the frame size limit by the reader,
// but a check trusts none of its inputs.
bool FrameSizesAgree(const NodeHeader* header, const Buffer* view, const mqPcfMessage* msg) {
  if (header == nullptr || view == nullptr || msg == nullptr ||
      msg->Body.Storage == nullptr) {
    t_error = "mqc_authenticate: missing frame";
    return false;
  }
  const MQLONG length = header->Length;
  if (length < MESSAGE_HEADER_LENGTH + MQC_SIGNATURE_LENGTH ||
      view->Size != length || msg->Body.UsedLength != length ||
      msg->Body.Capacity < length) {
    t_error = "mqc_authenticate: frame sizes disagree or leave no room for a signature";
    return false;
  }
  return true;
}

// The frame's MAC is known (expected): compares it with the one the frame
// carries, then the writer's side and the replay cache; strips the trailer
// of an accepted frame.
int AcceptIfAuthentic(const signcore::Mac& expected, NodeHeader* header, Buffer* view,
                      mqPcfMessage* msg, const mqcFrameSide* side) {
  const auto signed_bytes = static_cast<std::size_t>(header->Length - signcore::kMacBytes);
  const unsigned char* bytes = msg->Body.Storage;
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

int Authenticate(NodeHeader* header, Buffer* view, mqPcfMessage* msg, const mqcFrameSide* side) {
  t_error.clear();
  if (!FrameSizesAgree(header, view, msg)) return 0;
  std::shared_ptr<const signcore::SigningKey> key = signcore::ProcessKey();
  if (!key) return 0;
  const auto signed_bytes = static_cast<std::size_t>(header->Length - signcore::kMacBytes);
  signcore::Mac expected;
  if (!key->FrameMac(*header, std::span<const unsigned char>(msg->Body.Storage, signed_bytes),
                     &expected)) {
    t_error = "mqc_authenticate: MAC computation failed";
    return 0;
  }
  return AcceptIfAuthentic(expected, header, view, msg, side);
}

}  // namespace
}  // namespace signcore

// A frame being signed or checked piece by piece. The key is held here so
// that the state's context stays valid whatever happens to credentials.
struct mqcFrameMacData {
  mqcFrameMacData(std::shared_ptr<const signcore::SigningKey> k, bool is_signing,
                  std::size_t to_hash)
      : key(std::move(k)), state(*key), signing(is_signing), expected(to_hash) {}

  uint32_t magic = signcore::kFrameMacMagic;
  std::shared_ptr<const signcore::SigningKey> key;
  signcore::FrameMacState state;
  const bool signing;
  const std::size_t expected;  // bytes the MAC covers after the node header
  std::size_t added = 0;
  mqcFrameSide side{};  // signing: the writer's side
};

namespace signcore {
namespace {

bool ValidState(const mqcFrameMac mac) { return mac != nullptr && mac->magic == kFrameMacMagic; }

// The signing calls that put the writer into the nonce need its side.
bool WriterSideStated(const mqcFrameSide* side) {
  if (side != nullptr && side->side != MQC_SIDE_UNSTATED) return true;
  t_error = "mqc_sign: the writer's side is not known";
  return false;
}

void FreeState(mqcFrameMac* mac) {
  (*mac)->magic = 0;
  delete *mac;
  *mac = nullptr;
}

int SignStart(mqcSignature credential, const mqPcfMessage* msg, const mqcFrameSide* side,
              unsigned char* head, mqcFrameMac* mac) {
  NodeHeader header;
  if (!CheckSignable(credential, msg, &header)) return 0;
  auto* state = new (std::nothrow) mqcFrameMacData(
      credential->key, true, static_cast<std::size_t>(msg->Body.UsedLength));
  if (state == nullptr) {
    t_error = "mqc_sign: out of memory";
    return 0;
  }
  state->side = *side;
  if (!state->state.Begin(header)) {
    t_error = "mqc_sign: MAC computation failed";
    FreeState(&state);
    return 0;
  }
  std::memcpy(head, &header, NODE_HEADER_LENGTH);
  *mac = state;
  return 1;
}

int MacUpdate(mqcFrameMac mac, const unsigned char* bytes, std::size_t count) {
  if (!ValidState(mac) || (bytes == nullptr && count > 0)) {
    t_error = "mqc_frame_mac_update: no valid state";
    return 0;
  }
  std::size_t take = count;
  if (mac->added + count > mac->expected) {
    if (mac->signing) {
      t_error = "mqc_sign: more bytes than the message holds";
      return 0;
    }
    take = mac->expected - mac->added;  // the MAC itself is not hashed
  }
  if (!mac->state.Update(std::span<const unsigned char>(bytes, take))) {
    t_error = "mqc_frame_mac_update: MAC computation failed";
    return 0;
  }
  mac->added += take;
  return 1;
}

int SignFinish(mqcFrameMac* mac, unsigned char* trailer) {
  const mqcFrameMac state = *mac;
  if (!state->signing || state->added != state->expected) {
    t_error = "mqc_sign: the message's bytes were not all added";
    return 0;
  }
  if (!PutStamp(&state->side, trailer)) return 0;
  signcore::Mac result;
  if (!state->state.Update(std::span<const unsigned char>(trailer, kStampBytes)) ||
      !state->state.Final(&result)) {
    t_error = "mqc_sign: MAC computation failed";
    return 0;
  }
  std::memcpy(trailer + kStampBytes, result.data(), result.size());
  return 1;
}

int AuthenticateStart(const NodeHeader* header, mqcFrameMac* mac) {
  if (header == nullptr || header->Length < MESSAGE_HEADER_LENGTH + MQC_SIGNATURE_LENGTH) {
    t_error = "mqc_authenticate: frame leaves no room for a signature";
    return 0;
  }
  std::shared_ptr<const SigningKey> key = ProcessKey();
  if (!key) return 0;
  auto* state = new (std::nothrow)
      mqcFrameMacData(std::move(key), false, static_cast<std::size_t>(header->Length) - kMacBytes);
  if (state == nullptr) {
    t_error = "mqc_authenticate: out of memory";
    return 0;
  }
  if (!state->state.Begin(*header)) {
    t_error = "mqc_authenticate: MAC computation failed";
    FreeState(&state);
    return 0;
  }
  *mac = state;
  return 1;
}

int AuthenticateFinish(mqcFrameMac state, NodeHeader* header, Buffer* view, mqPcfMessage* msg,
                       const mqcFrameSide* side) {
  if (!FrameSizesAgree(header, view, msg)) return 0;
  if (state->signing || state->added != state->expected ||
      static_cast<std::size_t>(header->Length) - kMacBytes != state->expected) {
    t_error = "mqc_authenticate: the frame's bytes were not all added";
    return 0;
  }
  signcore::Mac expected;
  if (!state->state.Final(&expected)) {
    t_error = "mqc_authenticate: MAC computation failed";
    return 0;
  }
  return AcceptIfAuthentic(expected, header, view, msg, side);
}

}  // namespace
}  // namespace signcore

extern "C" {

int mqc_sign_start(mqcSignature credential, const mqPcfMessage* msg, const mqcFrameSide* side,
                   unsigned char* head, mqcFrameMac* mac) try {
  t_error.clear();
  if (mac == nullptr) {
    t_error = "mqc_sign: no place for the state";
    return 0;
  }
  *mac = nullptr;
  if (head == nullptr) {
    t_error = "mqc_sign: no place for the header";
    return 0;
  }
  if (!signcore::WriterSideStated(side)) return 0;
  return signcore::SignStart(credential, msg, side, head, mac);
} catch (...) {
  return 0;
}

int mqc_frame_mac_update(mqcFrameMac mac, const unsigned char* bytes, size_t count) try {
  return signcore::MacUpdate(mac, bytes, count);
} catch (...) {
  return 0;
}

int mqc_sign_finish(mqcFrameMac* mac, unsigned char* trailer) try {
  t_error.clear();
  if (mac == nullptr || !signcore::ValidState(*mac)) {
    t_error = "mqc_sign: no valid state";
    return 0;
  }
  int result = 0;
  if (trailer == nullptr) {
    t_error = "mqc_sign: no place for the trailer";
  } else {
    result = signcore::SignFinish(mac, trailer);
  }
  signcore::FreeState(mac);
  return result;
} catch (...) {
  return 0;
}

int mqc_authenticate_start(const NodeHeader* header, mqcFrameMac* mac) try {
  t_error.clear();
  if (mac == nullptr) {
    t_error = "mqc_authenticate: no place for the state";
    return 0;
  }
  *mac = nullptr;
  return signcore::AuthenticateStart(header, mac);
} catch (...) {
  return 0;
}

int mqc_authenticate_finish(mqcFrameMac* mac, NodeHeader* header, Buffer* view,
                            mqPcfMessage* msg, const mqcFrameSide* side) try {
  t_error.clear();
  if (mac == nullptr || !signcore::ValidState(*mac)) {
    t_error = "mqc_authenticate: no valid state";
    return 0;
  }
  int result = 0;
  if (side == nullptr) {
    t_error = "mqc_authenticate: the reader's side is not known";
  } else {
    result = signcore::AuthenticateFinish(*mac, header, view, msg, side);
  }
  signcore::FreeState(mac);
  return result;
} catch (...) {
  return 0;
}

int mqc_frame_mac_release(mqcFrameMac* mac) {
  if (mac == nullptr || !signcore::ValidState(*mac)) return 0;
  signcore::FreeState(mac);
  return 1;
}

int mqc_sign(mqcSignature credential, mqPcfMessage* msg, Buffer* frame) try {
  return signcore::Sign(credential, msg, frame, nullptr);
} catch (...) {
  return 0;
}

int mqc_sign_as(mqcSignature credential, mqPcfMessage* msg, Buffer* frame,
                const mqcFrameSide* side) try {
  if (!signcore::WriterSideStated(side)) {
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
  if (!signcore::WriterSideStated(side)) return 0;
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
