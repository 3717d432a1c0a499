// frame_mac_oracle.h: the frame MAC of docs/formats/node-frame.md computed
// the plain way, as the tests' oracle: r and the frame's pad from one-shot
// HMAC-SHA-256 calls, then one Poly1305 call keyed with r and the pad. The
// library instead hashes with r alone while the frame moves and adds the
// pad at the end, so the two agree only if that sum is right.
#ifndef SIGNCORE_TESTS_FRAME_MAC_ORACLE_H_
#define SIGNCORE_TESTS_FRAME_MAC_ORACLE_H_

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace signcore_oracle {

// input: the canonical node header, then every byte after the node header
// up to the MAC (so its last 24 bytes are the time and nonce).
inline std::array<unsigned char, 16> FrameMac(const std::vector<unsigned char>& key,
                                              const std::vector<unsigned char>& input) {
  std::array<unsigned char, 16> tag{};
  if (input.size() < 24) return tag;
  unsigned char r[32];
  unsigned char pad[32];
  unsigned int len = 0;
  const std::string r_label = "HRL frame MAC: r";
  HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(r_label.data()), r_label.size(), r, &len);
  std::vector<unsigned char> pad_input = {'H', 'R', 'L', ' ', 'f', 'r', 'a', 'm',
                                          'e', ' ', 'M', 'A', 'C', ':', ' ', 's'};
  pad_input.insert(pad_input.end(), input.end() - 24, input.end());
  HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), pad_input.data(), pad_input.size(),
       pad, &len);
  unsigned char poly_key[32];
  std::memcpy(poly_key, r, 16);
  std::memcpy(poly_key + 16, pad, 16);
  std::size_t out = 0;
  EVP_Q_mac(nullptr, "POLY1305", nullptr, nullptr, nullptr, poly_key, sizeof poly_key,
            input.data(), input.size(), tag.data(), tag.size(), &out);
  return tag;
}

}  // namespace signcore_oracle

#endif  // SIGNCORE_TESTS_FRAME_MAC_ORACLE_H_
