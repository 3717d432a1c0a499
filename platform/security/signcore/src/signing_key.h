// signing_key.h: the installation's signing key and the frame MAC.
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

constexpr std::size_t kMacBytes = 32;
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
  // of range or OpenSSL cannot set up HMAC-SHA-256.
  static std::shared_ptr<const SigningKey> FromBytes(
      std::span<const unsigned char> bytes, std::string* error);

  // HMAC-SHA-256 over the canonical form of header and then the bytes of
  // rest. False only when OpenSSL fails.
  bool FrameMac(const NodeHeader& header, std::span<const unsigned char> rest,
                Mac* mac) const;
  // The same over rest given in two pieces (the message where it lies and
  // the trailer's stamp), with no copy to join them.
  bool FrameMac(const NodeHeader& header, std::span<const unsigned char> first,
                std::span<const unsigned char> second, Mac* mac) const;

 private:
  friend class FrameMacState;
  SigningKey() = default;
  // A context keyed and ready for a new MAC: one kept from an earlier MAC
  // (reset, not keyed again) or a copy of keyed_. Null when no memory.
  EVP_MAC_CTX* TakeContext() const;
  // Resets ctx for the next MAC and keeps it (a few at most), or frees it.
  void GiveBack(EVP_MAC_CTX* ctx) const;

  EVP_MAC_CTX* keyed_ = nullptr;  // initialised with the key; never used itself
  mutable std::mutex spare_mutex_;
  mutable std::vector<EVP_MAC_CTX*> spare_;  // keyed contexts ready for reuse
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
  // call fails too.
  bool Begin(const NodeHeader& header);
  bool Update(std::span<const unsigned char> bytes);
  bool Final(Mac* mac);

 private:
  const SigningKey& key_;
  EVP_MAC_CTX* ctx_ = nullptr;
  bool ok_ = false;
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
