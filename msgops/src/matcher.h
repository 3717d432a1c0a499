// matcher.h: does a message meet a request's selection criteria?
//
// The criteria are read from the request once (FromRequest) and then tested
// against any number of messages. Matches() tests the message's content
// only: its descriptor, length, data and headers. Where the message stands
// among the matching ones (first position, limit) is the caller's business,
// counted among matching messages, not browsed ones.
//
// An absent criterion matches. Integers compare for equality; string and
// byte-string criteria compare over the field's full length (a short string
// is padded with blanks, short bytes with zeros). Header criteria apply
// only when the message really carries that header (header_chain.h).
#ifndef MSGOPS_MATCHER_H_
#define MSGOPS_MATCHER_H_

#include <mqi/mqi.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fields.h"
#include "header_chain.h"

namespace msgops {

class RequestParams;

// Parameter ids that mean something else in some requests.
struct MatchOptions {
  // 20156 is "data length must exceed" besides the data criteria's offset.
  // Browse, copy and move use 20156 as a data offset only.
  bool data_offset_is_length_criterion = true;
  // 20501 is the MQMDE Version criterion; copy and move read it as the new
  // data length instead.
  bool mde_version_criterion = true;
};

class MessageMatcher {
 public:
  static MessageMatcher FromRequest(RequestParams& params, const MatchOptions& options);

  // `data` is the whole message body as got, headers included.
  bool Matches(const MQMD& md, std::span<const uint8_t> data) const;
  bool Matches(const MQMD& md, std::span<const uint8_t> data, const HeaderChain& chain) const;

  bool empty() const;

 private:
  struct Criterion {
    const FieldSpec* field;
    MQLONG number = 0;
    std::string image;  // field-length image for strings and bytes
  };
  static void Collect(RequestParams& params, std::span<const FieldSpec> fields,
                      std::vector<Criterion>* out, MQLONG skip_id = 0);
  static bool Test(const std::vector<Criterion>& criteria, const uint8_t* structure);

  std::vector<Criterion> md_ints_;
  std::vector<Criterion> md_strings_;
  std::vector<Criterion> md_v2_;
  std::vector<Criterion> mde_;
  std::vector<Criterion> dlh_;
  std::vector<Criterion> xqh_;
  std::optional<MQLONG> length_at_most_;
  std::optional<MQLONG> length_exceeds_;
  MQLONG data_offset_ = 0;
  std::optional<std::string> data_string_;  // 20029
  std::optional<std::string> data_bytes_;   // 20037
};

}  // namespace msgops

#endif  // MSGOPS_MATCHER_H_
