// request_params.h: typed reads of a request's PCF parameters.
//
// A thin reader over pcfcore's record accessors. The request must be
// indexed (RawToPcf), as a message read from a connection is. A string
// parameter (MQCFST) reads as its characters, every other string-like type
// as raw bytes; the caller learns which one it got. Nothing is kept between
// calls except one scratch record, so a reader belongs to one thread.
#ifndef MSGOPS_REQUEST_PARAMS_H_
#define MSGOPS_REQUEST_PARAMS_H_

#include <pcfcore/pcfcore.h>

#include <optional>
#include <string>
#include <vector>

namespace msgops {

struct ByteValue {
  std::string bytes;
  bool is_string = false;  // came as MQCFST
};

class RequestParams {
 public:
  explicit RequestParams(const mqPcfMessage* request);
  ~RequestParams();
  RequestParams(const RequestParams&) = delete;
  RequestParams& operator=(const RequestParams&) = delete;

  MQLONG Command() const;
  bool Has(MQLONG id);
  std::optional<MQLONG> Int(MQLONG id);
  MQLONG IntOr(MQLONG id, MQLONG fallback) { return Int(id).value_or(fallback); }
  // String or byte-string parameter, whole.
  std::optional<ByteValue> Bytes(MQLONG id);
  // A name: characters up to the first NUL, trailing blanks removed.
  std::optional<std::string> Name(MQLONG id);
  std::optional<std::vector<std::string>> NameList(MQLONG id);

 private:
  bool Fetch(MQLONG id);

  const mqPcfMessage* request_;
  Message record_{};
};

// Characters up to the first NUL with trailing blanks removed.
std::string TrimName(const char* chars, size_t length);

}  // namespace msgops

#endif  // MSGOPS_REQUEST_PARAMS_H_
