// Reading PCF command messages and building PCF responses and events for
// the command server, on top of pcfcore's message object (its indexer
// checks every record before anything here reads one).
#ifndef MQSIM_SERVER_PCF_IO_H_
#define MQSIM_SERVER_PCF_IO_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <mqi/mqi.h>

struct mqPcfMessage;

namespace mqsim::server {

struct PcfParam {
  MQLONG type = 0;  // MQCFT_INTEGER, _STRING, _INTEGER_LIST, _STRING_LIST
  MQLONG id = 0;
  MQLONG int_value = 0;
  std::string str_value;              // blanks at the end dropped
  std::vector<MQLONG> int_list;
  std::vector<std::string> str_list;  // each with its blanks dropped
};

struct PcfCommand {
  MQLONG type = 0;
  MQLONG command = 0;
  MQLONG msg_seq_number = 0;
  MQLONG control = 0;
  std::vector<PcfParam> params;

  const PcfParam* Find(MQLONG id) const;
  bool Has(MQLONG id) const { return Find(id) != nullptr; }
};

// Parses a PCF body. False with *reason an MQRCCF_ reason and, when one
// record is at fault, *parameter its id (0 otherwise).
bool ParsePcfCommand(std::span<const uint8_t> body, PcfCommand* out, MQLONG* reason, MQLONG* parameter);

// Builds one PCF message (response or event) record by record.
class PcfBuilder {
 public:
  PcfBuilder(MQLONG command, MQLONG type);
  ~PcfBuilder();
  PcfBuilder(const PcfBuilder&) = delete;
  PcfBuilder& operator=(const PcfBuilder&) = delete;

  void Int(MQLONG id, MQLONG value);
  // The text blank-padded to width (0: its own length, rounded by pcfcore).
  void Str(MQLONG id, const std::string& text, int width);
  void IntList(MQLONG id, const std::vector<MQLONG>& values);
  void StrList(MQLONG id, const std::vector<std::string>& items, int width);
  // The body with the MQCFH fields filled in.
  std::string Finish(MQLONG msg_seq_number, MQLONG control, MQLONG comp_code, MQLONG reason);
  bool ok() const { return ok_; }

 private:
  mqPcfMessage* message_ = nullptr;
  bool ok_ = true;
};

std::string Padded(const std::string& text, size_t width);

}  // namespace mqsim::server

#endif  // MQSIM_SERVER_PCF_IO_H_
