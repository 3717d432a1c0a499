// Builds message requests for tests the way the message browser does:
// pcfcore records appended to a PCF command, then indexed.
#ifndef MSGOPS_TESTS_REQUEST_BUILDER_H_
#define MSGOPS_TESTS_REQUEST_BUILDER_H_

#include <pcfcore/pcfcore.h>

#include <memory>
#include <string>
#include <vector>

namespace msgops_test {

struct PcfDeleter {
  void operator()(mqPcfMessage* m) const { DeletePcfMessage(m); }
};
using PcfPtr = std::unique_ptr<mqPcfMessage, PcfDeleter>;

class Request {
 public:
  explicit Request(MQLONG command) : message_(CreatePcfMessage(command, MQCFT_COMMAND, 1024)) {}
  Request& Int(MQLONG id, MQLONG value) {
    Message r{};
    CreatePcfIntAttr(&r, id, value);
    Append(&r);
    return *this;
  }
  Request& Str(MQLONG id, const std::string& text) {
    Message r{};
    CreatePcfNZStrAttr(&r, id, text.data(), static_cast<MQLONG>(text.size()));
    Append(&r);
    return *this;
  }
  Request& Bin(MQLONG id, const std::string& bytes) {
    Message r{};
    CreatePcfBinAttr(&r, id, bytes.data(), static_cast<MQLONG>(bytes.size()));
    Append(&r);
    return *this;
  }
  Request& StrList(MQLONG id, const std::vector<std::string>& items) {
    Message r{};
    CreatePcfStrListAttr(&r, id, 0, 48);
    for (size_t i = 0; i < items.size(); ++i) SetPcfStrListAttrValue(&r, static_cast<MQLONG>(i), items[i].c_str());
    Append(&r);
    return *this;
  }
  // Ids the responses must carry back.
  Request& Ids(const std::string& msg_id, const std::string& correl_id) {
    MessageHeader* header = MESSAGE_HEADER(&message_->Body);
    std::memset(header->MsgId, 0, 24);
    std::memset(header->CorrelId, 0, 24);
    std::memcpy(header->MsgId, msg_id.data(), std::min<size_t>(24, msg_id.size()));
    std::memcpy(header->CorrelId, correl_id.data(), std::min<size_t>(24, correl_id.size()));
    return *this;
  }
  mqPcfMessage* get() {
    RawToPcf(message_.get());
    return message_.get();
  }

 private:
  void Append(Message* r) {
    AppendAttr(message_.get(), r);
    DeleteMessage(r);
  }
  PcfPtr message_;
};

}  // namespace msgops_test

#endif  // MSGOPS_TESTS_REQUEST_BUILDER_H_
