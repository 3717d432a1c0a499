// Byte-level encoding shared by the client library, the server and the
// control command: a bounded writer and reader over little-endian frames,
// the frame and operation numbers, and the fixed-width name helpers.
//
// The format is docs/formats/mqsim-protocol.md. Operation numbers are on
// the wire: never renumber one; a retired number stays reserved.
//
// Reader never reads past its span: every Get* fails (returns false and
// sets ok() to false) instead, so a decoder may read a whole request and
// test ok() once at the end.
#ifndef MQSIM_COMMON_WIRE_H_
#define MQSIM_COMMON_WIRE_H_

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <mqi/mqi.h>

namespace mqsim {

static_assert(std::endian::native == std::endian::little,
              "structures travel in host order, which must be little-endian");

// Frame: u32 payload length, u32 operation, payload. The length counts
// the operation word and the payload.
constexpr uint32_t kFrameHeaderBytes = 4;
constexpr uint32_t kMaxFramePayloadBytes = 4 * 1024 * 1024 + 64 * 1024;
constexpr uint32_t kProtocolMagic = 0x4D515331;  // "MQS1" in the hello
constexpr MQLONG kMaxMsgLength = 4 * 1024 * 1024;

enum Op : uint32_t {
  kOpConnect = 1,
  kOpDisconnect = 2,
  kOpOpen = 3,
  kOpClose = 4,
  kOpPut = 5,
  kOpPut1 = 6,
  kOpGet = 7,
  kOpInquire = 8,
  kOpSet = 9,
  kOpCommit = 10,
  kOpBackout = 11,
  // Control operations, accepted only on the control socket.
  kOpCtlPing = 100,
  kOpCtlStart = 101,
  kOpCtlStop = 102,
  kOpCtlStatus = 103,
  kOpCtlShutdown = 104,
  kOpCtlDefineQueue = 105,
  kOpCtlDeleteQueue = 106,
  kOpCtlReloadAuthority = 107,
  kOpCtlCommandServer = 108,  // mode 0 stop, 1 start, 2 hang
};

// Appends to its own bytes, or to the end of a buffer it is given (the
// server encodes a reply straight into a connection's outgoing bytes).
class Writer {
 public:
  Writer() = default;
  explicit Writer(std::vector<uint8_t>* target) : buf_(target) {}
  // A copy would still write to the original's bytes.
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  void U32(uint32_t v) { Raw(&v, 4); }
  void I32(int32_t v) { Raw(&v, 4); }
  void U64(uint64_t v) { Raw(&v, 8); }
  void Raw(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    buf_->insert(buf_->end(), b, b + n);
  }
  // A name in a fixed field: cut to width, padded with blanks.
  void Fixed(std::string_view s, size_t width);
  // Length-prefixed bytes.
  void Bytes(std::string_view s) {
    U32(static_cast<uint32_t>(s.size()));
    Raw(s.data(), s.size());
  }
  std::vector<uint8_t>& buffer() { return *buf_; }
  const std::vector<uint8_t>& buffer() const { return *buf_; }
  // Every byte of the buffer, those it held before included.
  size_t size() const { return buf_->size(); }
  // Empties the buffer and keeps its storage.
  void Clear() { buf_->clear(); }

 private:
  std::vector<uint8_t> own_;
  std::vector<uint8_t>* buf_ = &own_;
};

// Bytes a request or reply refers to without owning them: the frame they
// were decoded from, or storage of the caller, which must outlive the
// request. A temporary std::string cannot be bound: it would dangle.
class ByteView {
 public:
  ByteView() = default;
  ByteView(std::string_view v) : v_(v) {}
  ByteView(const char* s) : v_(s) {}
  ByteView(const std::string& s) : v_(s) {}
  ByteView(std::string&&) = delete;
  ByteView(const void* p, size_t n) : v_(static_cast<const char*>(p), n) {}
  const char* data() const { return v_.data(); }
  size_t size() const { return v_.size(); }
  bool empty() const { return v_.empty(); }
  operator std::string_view() const { return v_; }
  std::string str() const { return std::string(v_); }
  friend bool operator==(ByteView a, ByteView b) { return a.v_ == b.v_; }

 private:
  std::string_view v_;
};

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> in) : in_(in) {}
  bool U32(uint32_t* v) { return Raw(v, 4); }
  bool I32(int32_t* v) { return Raw(v, 4); }
  bool U64(uint64_t* v) { return Raw(v, 8); }
  bool Raw(void* p, size_t n) {
    if (!ok_ || n > in_.size() - pos_) {
      ok_ = false;
      return false;
    }
    std::memcpy(p, in_.data() + pos_, n);
    pos_ += n;
    return true;
  }
  // Fixed field read as text with trailing blanks and NULs removed.
  bool Fixed(std::string* s, size_t width);
  // Length-prefixed bytes of at most max_bytes.
  bool Bytes(std::string* s, size_t max_bytes);
  // The same without copying: a view of the reader's input.
  bool Bytes(ByteView* s, size_t max_bytes);
  // A view of the next n bytes without copying.
  bool View(std::span<const uint8_t>* out, size_t n);
  bool ok() const { return ok_; }
  bool AtEnd() const { return ok_ && pos_ == in_.size(); }
  size_t remaining() const { return ok_ ? in_.size() - pos_ : 0; }

 private:
  std::span<const uint8_t> in_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Text of a fixed MQ field: stops at the first NUL, trailing blanks removed.
std::string FieldText(const char* field, size_t width);
// Writes s into a fixed field: cut to width, padded with blanks.
void SetField(char* field, size_t width, std::string_view s);
// The name with trailing blanks removed.
std::string TrimRight(std::string_view s);

}  // namespace mqsim

#endif  // MQSIM_COMMON_WIRE_H_
