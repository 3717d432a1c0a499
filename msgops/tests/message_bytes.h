// Hand-laid IBM headers for tests: every offset below is worked out from
// the published layouts, independently of the library's structures.
#ifndef MSGOPS_TESTS_MESSAGE_BYTES_H_
#define MSGOPS_TESTS_MESSAGE_BYTES_H_

#include <cstdint>
#include <cstring>
#include <string>

namespace msgops_test {

inline void PutInt(std::string& b, size_t at, int32_t v) { std::memcpy(&b[at], &v, 4); }
inline void PutText(std::string& b, size_t at, size_t width, const std::string& text) {
  for (size_t i = 0; i < width; ++i) b[at + i] = i < text.size() ? text[i] : ' ';
}

// MQDLH, 172 bytes.
inline std::string Dlh(const std::string& dest_q, const std::string& dest_qmgr, const std::string& format,
                       int32_t reason = 2053) {
  std::string b(172, '\0');
  PutText(b, 0, 4, "DLH ");
  PutInt(b, 4, 1);
  PutInt(b, 8, reason);
  PutText(b, 12, 48, dest_q);
  PutText(b, 60, 48, dest_qmgr);
  PutInt(b, 108, 546);
  PutInt(b, 112, 819);
  PutText(b, 116, 8, format);
  PutInt(b, 124, 6);
  PutText(b, 128, 28, "deadletter handler");
  PutText(b, 156, 8, "20261210");
  PutText(b, 164, 8, "16300000");
  return b;
}

// MQMDE, 72 bytes.
inline std::string Mde(const std::string& format, int32_t struc_length = 72, int32_t seq = 3) {
  std::string b(72, '\0');
  PutText(b, 0, 4, "MDE ");
  PutInt(b, 4, 2);
  PutInt(b, 8, struc_length);
  PutInt(b, 12, 546);
  PutInt(b, 16, 1208);
  PutText(b, 20, 8, format);
  PutInt(b, 28, 0);
  PutText(b, 32, 24, "GROUP-OF-THREE");
  PutInt(b, 56, seq);
  PutInt(b, 60, 0);
  PutInt(b, 64, 0x10);
  PutInt(b, 68, -1);
  return b;
}

// MQXQH, 428 bytes, with its version-1 descriptor at 104.
inline std::string Xqh(const std::string& remote_q, const std::string& remote_qmgr, const std::string& inner_format) {
  std::string b(428, '\0');
  PutText(b, 0, 4, "XQH ");
  PutInt(b, 4, 1);
  PutText(b, 8, 48, remote_q);
  PutText(b, 56, 48, remote_qmgr);
  const size_t md = 104;
  PutText(b, md + 0, 4, "MD  ");
  PutInt(b, md + 4, 1);
  PutInt(b, md + 12, 8);        // MsgType
  PutInt(b, md + 16, -1);       // Expiry
  PutInt(b, md + 24, 546);      // Encoding
  PutText(b, md + 32, 8, inner_format);
  PutInt(b, md + 40, 4);        // Priority
  PutInt(b, md + 44, 1);        // Persistence
  PutText(b, md + 48, 24, "XMIT-MSGID");
  PutText(b, md + 100, 48, "REPLY.Q");
  return b;
}

}  // namespace msgops_test

#endif  // MSGOPS_TESTS_MESSAGE_BYTES_H_
