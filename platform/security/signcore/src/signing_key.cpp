// Loading the key file and computing the frame MAC with OpenSSL's HMAC and
// Poly1305.

#include "signing_key.h"

#include "os/install_dir.h"
#include "os/paths.h"

#include <fcntl.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/params.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace signcore {
namespace {

constexpr const char* kKeyFileName = "security/signing.key";
// A key file is a line of hex text; anything bigger is not one.
constexpr off_t kMaxKeyFileBytes = 1024;

// Fetched once for the process; freed at exit by OpenSSL's own cleanup.
EVP_MAC* HmacAlgorithm() {
  static EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  return mac;
}

EVP_MAC* Poly1305Algorithm() {
  static EVP_MAC* mac = EVP_MAC_fetch(nullptr, "POLY1305", nullptr);
  return mac;
}

// What the key's HMAC is applied to for r and for each frame's pad: labels
// of one length, so neither input is a prefix of the other.
constexpr unsigned char kPolyKeyLabel[] = {'H', 'R', 'L', ' ', 'f', 'r', 'a', 'm',
                                           'e', ' ', 'M', 'A', 'C', ':', ' ', 'r'};
constexpr unsigned char kPadLabel[] = {'H', 'R', 'L', ' ', 'f', 'r', 'a', 'm',
                                       'e', ' ', 'M', 'A', 'C', ':', ' ', 's'};

// sum += addend, both 16-byte little-endian numbers, modulo 2^128.
void AddLittleEndian128(unsigned char* sum, const unsigned char* addend) {
  unsigned carry = 0;
  for (std::size_t i = 0; i < 16; ++i) {
    carry += static_cast<unsigned>(sum[i]) + addend[i];
    sum[i] = static_cast<unsigned char>(carry);
    carry >>= 8;
  }
}

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void PutBigEndian(unsigned char* out, MQLONG value) {
  auto v = static_cast<uint32_t>(value);
  out[0] = static_cast<unsigned char>(v >> 24);
  out[1] = static_cast<unsigned char>(v >> 16);
  out[2] = static_cast<unsigned char>(v >> 8);
  out[3] = static_cast<unsigned char>(v);
}

}  // namespace

// Contexts kept per key for reuse: enough for the threads that sign and
// check at once in one process.
constexpr std::size_t kMaxSpareContexts = 8;

SigningKey::~SigningKey() {
  for (Contexts pair : spare_) {
    EVP_MAC_CTX_free(pair.poly);
    EVP_MAC_CTX_free(pair.pad);
  }
  EVP_MAC_CTX_free(keyed_);
  OPENSSL_cleanse(poly_key_.data(), poly_key_.size());
}

SigningKey::Contexts SigningKey::TakeContexts() const {
  {
    std::lock_guard<std::mutex> lock(spare_mutex_);
    if (!spare_.empty()) {
      Contexts pair = spare_.back();
      spare_.pop_back();
      return pair;
    }
  }
  Contexts pair{EVP_MAC_CTX_new(Poly1305Algorithm()), EVP_MAC_CTX_dup(keyed_)};
  if (pair.poly == nullptr || pair.pad == nullptr) {
    EVP_MAC_CTX_free(pair.poly);
    EVP_MAC_CTX_free(pair.pad);
    return {};
  }
  return pair;
}

void SigningKey::GiveBack(Contexts pair) const {
  if (pair.poly == nullptr) return;
  // Initialising HMAC without a key starts a new MAC with the key already
  // set, without hashing the key pads again. The Poly1305 context is keyed
  // anew by each MAC's start.
  if (EVP_MAC_init(pair.pad, nullptr, 0, nullptr) == 1) {
    std::lock_guard<std::mutex> lock(spare_mutex_);
    if (spare_.size() < kMaxSpareContexts) {
      try {
        spare_.push_back(pair);
        return;
      } catch (...) {
        // No memory to keep it: freed below.
      }
    }
  }
  EVP_MAC_CTX_free(pair.poly);
  EVP_MAC_CTX_free(pair.pad);
}

bool SigningKey::Hmac(EVP_MAC_CTX* ctx, std::span<const unsigned char> label,
                      std::span<const unsigned char> data, std::span<unsigned char> out) {
  unsigned char full[32];
  std::size_t full_len = 0;
  const bool ok = EVP_MAC_update(ctx, label.data(), label.size()) == 1 &&
                  (data.empty() || EVP_MAC_update(ctx, data.data(), data.size()) == 1) &&
                  EVP_MAC_final(ctx, full, &full_len, sizeof full) == 1 &&
                  full_len == sizeof full && out.size() <= full_len;
  if (ok) std::memcpy(out.data(), full, out.size());
  OPENSSL_cleanse(full, sizeof full);
  return ok;
}

FrameMacState::~FrameMacState() { key_.GiveBack(contexts_); }

bool FrameMacState::Begin(const NodeHeader& header) {
  if (contexts_.poly != nullptr) return false;
  contexts_ = key_.TakeContexts();
  if (contexts_.poly == nullptr) return false;
  std::array<unsigned char, 32> canonical = CanonicalNodeHeader(header);
  ok_ = EVP_MAC_init(contexts_.poly, key_.poly_key_.data(), key_.poly_key_.size(), nullptr) == 1 &&
        EVP_MAC_update(contexts_.poly, canonical.data(), canonical.size()) == 1;
  return ok_;
}

bool FrameMacState::Update(std::span<const unsigned char> bytes) {
  if (!ok_) return false;
  if (bytes.empty()) return true;
  ok_ = EVP_MAC_update(contexts_.poly, bytes.data(), bytes.size()) == 1;
  // The stamp is the last bytes added: keep them for the pad.
  const std::size_t n = bytes.size();
  if (n >= tail_.size()) {
    std::memcpy(tail_.data(), bytes.data() + n - tail_.size(), tail_.size());
  } else {
    std::memmove(tail_.data(), tail_.data() + n, tail_.size() - n);
    std::memcpy(tail_.data() + tail_.size() - n, bytes.data(), n);
  }
  added_ += n;
  return ok_;
}

bool FrameMacState::Final(Mac* mac) {
  if (!ok_) return false;
  ok_ = false;  // one MAC per start; the contexts are reset when given back
  if (added_ < kStampBytes) return false;
  // The polynomial without its pad would give r away to whoever knows the
  // message: it never leaves this function.
  std::size_t out_len = 0;
  unsigned char tag[kMacBytes];
  unsigned char pad[kMacBytes];
  const bool done =
      EVP_MAC_final(contexts_.poly, tag, &out_len, sizeof tag) == 1 && out_len == kMacBytes &&
      SigningKey::Hmac(contexts_.pad, kPadLabel, tail_, std::span<unsigned char>(pad, sizeof pad));
  if (done) {
    AddLittleEndian128(tag, pad);
    std::memcpy(mac->data(), tag, sizeof tag);
  }
  OPENSSL_cleanse(tag, sizeof tag);
  OPENSSL_cleanse(pad, sizeof pad);
  return done;
}

std::shared_ptr<const SigningKey> SigningKey::FromBytes(
    std::span<const unsigned char> bytes, std::string* error) {
  if (bytes.size() < kMinKeyBytes || bytes.size() > kMaxKeyBytes) {
    *error = "key must be 32 to 64 bytes, found " + std::to_string(bytes.size());
    return nullptr;
  }
  EVP_MAC* algorithm = HmacAlgorithm();
  if (algorithm == nullptr || Poly1305Algorithm() == nullptr) {
    *error = "OpenSSL offers no HMAC or no Poly1305";
    return nullptr;
  }
  std::shared_ptr<SigningKey> key(new SigningKey());
  key->keyed_ = EVP_MAC_CTX_new(algorithm);
  char digest[] = "SHA256";
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
      OSSL_PARAM_construct_end()};
  if (key->keyed_ == nullptr ||
      EVP_MAC_init(key->keyed_, bytes.data(), bytes.size(), params) != 1) {
    *error = "OpenSSL could not set up HMAC-SHA-256";
    return nullptr;
  }
  // r for every frame's polynomial; the second half of the Poly1305 key
  // stays zero (each frame's pad is added to the tag).
  EVP_MAC_CTX* ctx = EVP_MAC_CTX_dup(key->keyed_);
  const bool derived =
      ctx != nullptr &&
      Hmac(ctx, kPolyKeyLabel, {}, std::span<unsigned char>(key->poly_key_.data(), 16));
  EVP_MAC_CTX_free(ctx);
  if (!derived) {
    *error = "OpenSSL could not derive the frame MAC key";
    return nullptr;
  }
  return key;
}

std::shared_ptr<const SigningKey> SigningKey::Load(const std::string& path,
                                                   std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    *error = "signing key " + path + ": open: " + std::strerror(errno);
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    *error = "signing key " + path + ": fstat: " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    *error = "signing key " + path + ": not a regular file";
    return nullptr;
  }
  // Whoever owns the file can change the key; only this user and root may.
  if (st.st_uid != ::geteuid() && st.st_uid != 0) {
    ::close(fd);
    *error = "signing key " + path + ": owned by user " + std::to_string(st.st_uid) +
             ", not by the user the program runs as";
    return nullptr;
  }
  if ((st.st_mode & 077) != 0) {
    ::close(fd);
    *error = "signing key " + path +
             ": readable or writable by group or others (must be 0600)";
    return nullptr;
  }
  if (st.st_size > kMaxKeyFileBytes) {
    ::close(fd);
    *error = "signing key " + path + ": file too large for a key";
    return nullptr;
  }
  std::vector<unsigned char> text(static_cast<std::size_t>(kMaxKeyFileBytes) + 1);
  std::size_t got = 0;
  while (got < text.size()) {
    ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = "signing key " + path + ": read: " + std::strerror(errno);
      ::close(fd);
      OPENSSL_cleanse(text.data(), text.size());
      return nullptr;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);

  std::size_t begin = 0;
  std::size_t end = got;
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  std::vector<unsigned char> bytes;
  bool bad = (end - begin) % 2 != 0;
  for (std::size_t i = begin; !bad && i < end; i += 2) {
    int hi = HexValue(text[i]);
    int lo = HexValue(text[i + 1]);
    if (hi < 0 || lo < 0) {
      bad = true;
      break;
    }
    bytes.push_back(static_cast<unsigned char>(hi * 16 + lo));
  }
  OPENSSL_cleanse(text.data(), text.size());
  std::shared_ptr<const SigningKey> key;
  if (bad) {
    *error = "signing key " + path + ": not hex text";
  } else {
    key = FromBytes(bytes, error);
    if (!key) *error = "signing key " + path + ": " + *error;
  }
  if (!bytes.empty()) OPENSSL_cleanse(bytes.data(), bytes.size());
  return key;
}

bool SigningKey::FrameMac(const NodeHeader& header,
                          std::span<const unsigned char> rest, Mac* mac) const {
  return FrameMac(header, rest, {}, mac);
}

bool SigningKey::FrameMac(const NodeHeader& header, std::span<const unsigned char> first,
                          std::span<const unsigned char> second, Mac* mac) const {
  FrameMacState state(*this);
  return state.Begin(header) && state.Update(first) && state.Update(second) && state.Final(mac);
}

std::string KeyFilePath() {
  const char* named = std::getenv("HRLCOMPACT_SIGNING_KEY");
  if (named != nullptr && named[0] != '\0') return named;
  return os::JoinPath(os::InstallDir(), kKeyFileName);
}

std::array<unsigned char, 32> CanonicalNodeHeader(const NodeHeader& header) {
  std::array<unsigned char, 32> out{};
  PutBigEndian(&out[0], header.HeaderLength);
  std::memcpy(&out[4], &header.Version, 4);
  PutBigEndian(&out[8], header.BigEndian);
  PutBigEndian(&out[12], header.AsciiText);
  PutBigEndian(&out[16], header.Length);
  std::memcpy(&out[20], header.UserName, 12);
  return out;
}

}  // namespace signcore
