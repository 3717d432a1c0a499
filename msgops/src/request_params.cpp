// request_params.cpp: parameter reads through pcfcore.
#include "request_params.h"

#include <cstring>

namespace msgops {

std::string TrimName(const char* chars, size_t length) {
  size_t n = strnlen(chars, length);
  while (n > 0 && chars[n - 1] == ' ') --n;
  return std::string(chars, n);
}

RequestParams::RequestParams(const mqPcfMessage* request) : request_(request) {}

RequestParams::~RequestParams() {
  if (record_.Storage != nullptr) DeleteMessage(&record_);
}

MQLONG RequestParams::Command() const {
  if (request_ == nullptr || request_->Cfh == nullptr) return 0;
  return request_->Cfh->Command;
}

bool RequestParams::Fetch(MQLONG id) {
  if (request_ == nullptr) return false;
  return GetAttrByID(id, &record_, request_) == 1;
}

bool RequestParams::Has(MQLONG id) { return Fetch(id); }

std::optional<MQLONG> RequestParams::Int(MQLONG id) {
  MQLONG value = 0;
  if (!Fetch(id) || GetPcfIntAttrValue(&record_, &value) != 1) return std::nullopt;
  return value;
}

std::optional<ByteValue> RequestParams::Bytes(MQLONG id) {
  if (!Fetch(id) || !IsPcfAttrValid(&record_)) return std::nullopt;
  MQLONG type = 0;
  std::memcpy(&type, record_.Payload, 4);
  if (type != MQCFT_STRING && type != EXCFT_BYTES && type != EXCFT_PCF) return std::nullopt;
  MQLONG length = 0;
  std::memcpy(&length, record_.Payload + offsetof(MQCFST, StringLength), 4);
  if (length < 0) return std::nullopt;
  ByteValue value;
  value.is_string = type == MQCFT_STRING;
  value.bytes.resize(static_cast<size_t>(length));
  MQLONG got = length;
  if (GetPcfBinAttrValue(&record_, value.bytes.data(), &got) != 1) return std::nullopt;
  value.bytes.resize(static_cast<size_t>(got));
  return value;
}

std::optional<std::string> RequestParams::Name(MQLONG id) {
  auto value = Bytes(id);
  if (!value) return std::nullopt;
  return TrimName(value->bytes.data(), value->bytes.size());
}

std::optional<std::vector<std::string>> RequestParams::NameList(MQLONG id) {
  if (!Fetch(id) || !IsPcfAttrValid(&record_)) return std::nullopt;
  MQLONG type = 0, count = 0, string_length = 0;
  std::memcpy(&type, record_.Payload, 4);
  if (type != MQCFT_STRING_LIST) return std::nullopt;
  std::memcpy(&count, record_.Payload + offsetof(MQCFSL, Count), 4);
  std::memcpy(&string_length, record_.Payload + offsetof(MQCFSL, StringLength), 4);
  if (count < 0 || string_length < 0) return std::nullopt;
  std::vector<std::string> names;
  std::string item(static_cast<size_t>(string_length) + 1, '\0');
  for (MQLONG i = 0; i < count; ++i) {
    if (GetPcfStrListAttrValue(&record_, i, item.data(), string_length) != 1) return std::nullopt;
    names.push_back(TrimName(item.data(), static_cast<size_t>(string_length)));
  }
  return names;
}

}  // namespace msgops
