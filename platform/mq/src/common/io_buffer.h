// Bytes read from a socket and not yet used, in storage that lives as long
// as the connection: consumed bytes are skipped rather than moved, and the
// storage is reused between frames without being cleared.
#ifndef MQSIM_COMMON_IO_BUFFER_H_
#define MQSIM_COMMON_IO_BUFFER_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace mqsim {

class IoBuffer {
 public:
  // Once empty, storage above kept_bytes is given back.
  explicit IoBuffer(size_t kept_bytes) : kept_(kept_bytes) {}

  size_t size() const { return end_ - begin_; }
  bool empty() const { return end_ == begin_; }
  const uint8_t* data() const { return buf_.get() + begin_; }
  void Consume(size_t n) {
    begin_ += std::min(n, size());
    if (begin_ == end_) Clear();
  }
  // Room for at least n more bytes at the end (room() says how many);
  // Commit says how many were written.
  uint8_t* Tail(size_t n) {
    if (cap_ - end_ < n) Grow(n);
    return buf_.get() + end_;
  }
  size_t room() const { return cap_ - end_; }
  void Commit(size_t n) { end_ += n; }
  void Clear() {
    begin_ = end_ = 0;
    if (cap_ > kept_) Release();
  }
  void Release() {
    begin_ = end_ = cap_ = 0;
    buf_.reset();
  }

 private:
  void Grow(size_t n) {
    size_t live = size();
    if (cap_ - live >= n && begin_ > 0) {
      std::memmove(buf_.get(), buf_.get() + begin_, live);
    } else {
      size_t cap = std::max({cap_ * 2, live + n, size_t{4096}});
      std::unique_ptr<uint8_t[]> fresh(new uint8_t[cap]);
      if (live > 0) std::memcpy(fresh.get(), buf_.get() + begin_, live);
      buf_ = std::move(fresh);
      cap_ = cap;
    }
    begin_ = 0;
    end_ = live;
  }

  size_t kept_;
  std::unique_ptr<uint8_t[]> buf_;
  size_t cap_ = 0, begin_ = 0, end_ = 0;
};

}  // namespace mqsim

#endif  // MQSIM_COMMON_IO_BUFFER_H_
