// signing_key.h: the installation's signing key and the frame MAC.
//
// The frame MAC is a Wegman-Carter Poly1305 tag (16 bytes):
//
//   r   = first 16 bytes of HMAC-SHA-256(K, "HRL frame MAC: r"), made once
//   pad = first 16 bytes of HMAC-SHA-256(K, "HRL frame MAC: s" || stamp)
//   MAC = (Poly1305 polynomial of the MAC input under r + pad) mod 2^128
//
// where the MAC input ends with the frame's stamp (time and nonce, new for
// every frame). The polynomial needs only r, which is fixed per key, so a
// frame is hashed while it is sent or arrives although its stamp comes
// last; the pad, made from the stamp at the end, keeps every tag secret.
// Poly1305 moves about eight times as many bytes per second as
// HMAC-SHA-256, which large frames feel on both ends.
//
// A SigningKey is immutable once loaded; it is shared between the
// credentials handed out from it and the process key that authentication
// uses, through shared_ptr. Computing a MAC only reads the key, so several
// threads may use one key at once.
#ifndef SIGNCORE_SIGNING_KEY_H_
#define SIGNCORE_SIGNING_KEY_H_

#include <openssl/evp.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "pcfcore/pcf_message.h"

namespace signcore {

constexpr std::size_t kMacBytes = 16;
// The trailer's time and nonce, the last bytes the MAC covers.
constexpr std::size_t kStampBytes = 24;
constexpr std::size_t kMinKeyBytes = 32;
constexpr std::size_t kMaxKeyBytes = 64;

using Mac = std::array<unsigned char, kMacBytes>;

class SigningKey {
 public:
  ~SigningKey();
  SigningKey(const SigningKey&) = delete;
  SigningKey& operator=(const SigningKey&) = delete;

  // Reads and checks the key file at path. Null with *error set when the file
  // is missing, unreadable, accessible by group or others, or not 32 to 64
  // bytes of hex text.
  static std::shared_ptr<const SigningKey> Load(const std::string& path,
                                               std::string* error);
  // A key from raw bytes (tests, and Load itself). Null when the size is out
  // of range or OpenSSL cannot set up HMAC-SHA-256 and Poly1305.
  static std::shared_ptr<const SigningKey> FromBytes(
      std::span<const unsigned char> bytes, std::string* error);

  // The MAC over the canonical form of header and then the bytes of rest,
  // which end with the stamp. False when OpenSSL fails or rest is shorter
  // than a stamp.
  bool FrameMac(const NodeHeader& header, std::span<const unsigned char> rest,
                Mac* mac) const;
  // The same over rest given in two pieces (the message where it lies and
  // the trailer's stamp), with no copy to join them.
  bool FrameMac(const NodeHeader& header, std::span<const unsigned char> first,
                std::span<const unsigned char> second, Mac* mac) const;

 private:
  friend class FrameMacState;
  // What one MAC works with: the polynomial's context and the HMAC context
  // that makes the pad.
  struct Contexts {
    EVP_MAC_CTX* poly = nullptr;
    EVP_MAC_CTX* pad = nullptr;
  };

  SigningKey() = default;
  // Contexts for a new MAC: a pair kept from an earlier MAC or new ones
  // (the HMAC one a copy of keyed_). Both null when no memory.
  Contexts TakeContexts() const;
  // Resets the pair for the next MAC and keeps it (a few at most), or frees
  // it.
  void GiveBack(Contexts contexts) const;
  // HMAC-SHA-256 under the key, of label and then data, in ctx (keyed and
  // ready), truncated to out.size() bytes.
  static bool Hmac(EVP_MAC_CTX* ctx, std::span<const unsigned char> label,
                   std::span<const unsigned char> data, std::span<unsigned char> out);

  EVP_MAC_CTX* keyed_ = nullptr;  // HMAC initialised with the key; never used itself
  // The Poly1305 key OpenSSL takes: r, then 16 zero bytes in place of the
  // pad, which is added when the frame's stamp is known.
  std::array<unsigned char, 32> poly_key_{};
  mutable std::mutex spare_mutex_;
  mutable std::vector<Contexts> spare_;  // context pairs ready for reuse
};

// One frame's MAC computed piece by piece: the canonical node header, then
// the bytes after it in order, as they are sent or arrive. Its context comes
// from the key's spares and goes back to them.
class FrameMacState {
 public:
  // key must outlive the state.
  explicit FrameMacState(const SigningKey& key) : key_(key) {}
  ~FrameMacState();
  FrameMacState(const FrameMacState&) = delete;
  FrameMacState& operator=(const FrameMacState&) = delete;

  // False when no context could be had or OpenSSL fails; then every later
  // call fails too. Final also fails unless the bytes added end with a
  // whole stamp.
  bool Begin(const NodeHeader& header);
  bool Update(std::span<const unsigned char> bytes);
  bool Final(Mac* mac);

 private:
  const SigningKey& key_;
  SigningKey::Contexts contexts_;
  bool ok_ = false;
  std::size_t added_ = 0;  // bytes after the canonical header
  std::array<unsigned char, kStampBytes> tail_{};  // the last bytes added
};

// The key file this process uses: HRLCOMPACT_SIGNING_KEY, else under the
// install directory.
std::string KeyFilePath();

// The 32 bytes the MAC covers in place of the node header: words 0, 2, 3 and
// 4 as big-endian numbers from their native values, word 1 as it travelled,
// and the 12 user-name bytes in ASCII. Both ends compute the same bytes
// whatever their byte order (docs/formats/node-frame.md).
std::array<unsigned char, 32> CanonicalNodeHeader(const NodeHeader& header);

}  // namespace signcore

#endif  // SIGNCORE_SIGNING_KEY_H_
