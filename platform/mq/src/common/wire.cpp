#include "wire.h"

#include <cstring>

namespace mqsim {

void Writer::Fixed(std::string_view s, size_t width) {
  size_t n = std::min(s.size(), width);
  Raw(s.data(), n);
  buf_->insert(buf_->end(), width - n, static_cast<uint8_t>(' '));
}

bool Reader::Fixed(std::string* s, size_t width) {
  std::span<const uint8_t> raw;
  if (!View(&raw, width)) return false;
  *s = FieldText(reinterpret_cast<const char*>(raw.data()), width);
  return true;
}

bool Reader::Bytes(std::string* s, size_t max_bytes) {
  ByteView view;
  if (!Bytes(&view, max_bytes)) return false;
  s->assign(view.data(), view.size());
  return true;
}

bool Reader::Bytes(ByteView* s, size_t max_bytes) {
  uint32_t n = 0;
  if (!U32(&n)) return false;
  if (n > max_bytes || n > in_.size() - pos_) {
    ok_ = false;
    return false;
  }
  *s = ByteView(in_.data() + pos_, n);
  pos_ += n;
  return true;
}

bool Reader::View(std::span<const uint8_t>* out, size_t n) {
  if (!ok_ || n > in_.size() - pos_) {
    ok_ = false;
    return false;
  }
  *out = in_.subspan(pos_, n);
  pos_ += n;
  return true;
}

std::string FieldText(const char* field, size_t width) {
  const void* nul = std::memchr(field, '\0', width);
  size_t n = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - field) : width;
  // Names are mostly blanks: the padding goes eight at a time first.
  static constexpr char kBlanks[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  while (n >= 8 && std::memcmp(field + n - 8, kBlanks, 8) == 0) n -= 8;
  while (n > 0 && field[n - 1] == ' ') --n;
  return std::string(field, n);
}

void SetField(char* field, size_t width, std::string_view s) {
  std::memset(field, ' ', width);
  std::memcpy(field, s.data(), std::min(s.size(), width));
}

std::string TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\0')) --n;
  return std::string(s.substr(0, n));
}

}  // namespace mqsim
