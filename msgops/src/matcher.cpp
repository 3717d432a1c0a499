// matcher.cpp: the selection criteria and their test.
#include "matcher.h"

#include <algorithm>
#include <cstring>

#include <msgops/protocol.h>

#include "request_params.h"

namespace msgops {
namespace {

// The data criteria compare at most this many bytes.
constexpr size_t kMaxDataCompare = 255;

bool DataStartsWith(std::span<const uint8_t> data, MQLONG offset, const std::string& prefix) {
  size_t want = std::min(prefix.size(), kMaxDataCompare);
  if (offset < 0) return false;
  size_t at = static_cast<size_t>(offset);
  // A message shorter than the criterion is compared over what it has.
  size_t have = at < data.size() ? data.size() - at : 0;
  size_t n = std::min(want, have);
  return n == 0 || std::memcmp(data.data() + at, prefix.data(), n) == 0;
}

}  // namespace

void MessageMatcher::Collect(RequestParams& params, std::span<const FieldSpec> fields,
                             std::vector<Criterion>* out, MQLONG skip_id) {
  for (const FieldSpec& field : fields) {
    if (field.id == skip_id) continue;
    Criterion c{&field, 0, {}};
    if (field.kind == FieldKind::kInt) {
      auto value = params.Int(field.id);
      if (!value) continue;
      c.number = *value;
    } else {
      auto value = params.Bytes(field.id);
      if (!value) continue;
      c.image.assign(field.length, field.kind == FieldKind::kChars ? ' ' : '\0');
      std::memcpy(c.image.data(), value->bytes.data(), std::min(field.length, value->bytes.size()));
    }
    out->push_back(std::move(c));
  }
}

MessageMatcher MessageMatcher::FromRequest(RequestParams& params, const MatchOptions& options) {
  MessageMatcher m;
  Collect(params, MdIntCriteria(), &m.md_ints_);
  Collect(params, MdStringCriteria(), &m.md_strings_);
  Collect(params, MdV2Criteria(), &m.md_v2_);
  Collect(params, MdeCriteria(), &m.mde_, options.mde_version_criterion ? 0 : MG_NEW_DATA_LENGTH);
  Collect(params, DlhCriteria(), &m.dlh_);
  Collect(params, XqhCriteria(), &m.xqh_);
  m.length_at_most_ = params.Int(MG_DATA_LENGTH_MAX);
  m.data_offset_ = params.IntOr(MG_DATA_OFFSET, 0);
  if (options.data_offset_is_length_criterion) m.length_exceeds_ = params.Int(MG_DATA_OFFSET);
  if (auto v = params.Bytes(MG_DATA_STRING)) m.data_string_ = v->bytes;
  if (auto v = params.Bytes(MG_DATA_BYTES)) m.data_bytes_ = v->bytes;
  return m;
}

bool MessageMatcher::empty() const {
  return md_ints_.empty() && md_strings_.empty() && md_v2_.empty() && mde_.empty() && dlh_.empty() &&
         xqh_.empty() && !length_at_most_ && !length_exceeds_ && !data_string_ && !data_bytes_;
}

bool MessageMatcher::Test(const std::vector<Criterion>& criteria, const uint8_t* structure) {
  for (const Criterion& c : criteria) {
    const uint8_t* at = structure + c.field->offset;
    if (c.field->kind == FieldKind::kInt) {
      MQLONG value;
      std::memcpy(&value, at, 4);
      if (value != c.number) return false;
    } else if (std::memcmp(at, c.image.data(), c.field->length) != 0) {
      return false;
    }
  }
  return true;
}

bool MessageMatcher::Matches(const MQMD& md, std::span<const uint8_t> data) const {
  if (mde_.empty() && dlh_.empty() && xqh_.empty()) return Matches(md, data, HeaderChain{});
  return Matches(md, data, WalkHeaderChain(md, data));
}

bool MessageMatcher::Matches(const MQMD& md, std::span<const uint8_t> data,
                             const HeaderChain& chain) const {
  const auto* md_bytes = reinterpret_cast<const uint8_t*>(&md);
  if (!Test(md_ints_, md_bytes)) return false;
  auto length = static_cast<int64_t>(data.size());
  if (length_at_most_ && length > *length_at_most_) return false;
  if (length_exceeds_ && length <= *length_exceeds_) return false;
  if (!Test(md_strings_, md_bytes)) return false;
  if (data_string_ && !DataStartsWith(data, data_offset_, *data_string_)) return false;
  if (data_bytes_ && !DataStartsWith(data, data_offset_, *data_bytes_)) return false;
  if (md.Version >= MQMD_VERSION_2 && !Test(md_v2_, md_bytes)) return false;
  if (chain.mde) {
    MQMDE mde = *chain.mde;
    if (!Test(mde_, reinterpret_cast<const uint8_t*>(&mde))) return false;
  }
  if (chain.xqh) {
    MQXQH xqh = *chain.xqh;
    if (!Test(xqh_, reinterpret_cast<const uint8_t*>(&xqh))) return false;
  }
  if (chain.dlh) {
    MQDLH dlh = *chain.dlh;
    if (!Test(dlh_, reinterpret_cast<const uint8_t*>(&dlh))) return false;
  }
  return true;
}

}  // namespace msgops
