// A local agent run as a user runs it, with a group manager stand-in: a
// UDP node on loopback named in the agent's mqgroup.ini, which receives
// the agent's datagrams and sends it broadcasts.
#ifndef LOCALAGENT_TESTS_AGENT_FIXTURE_H_
#define LOCALAGENT_TESTS_AGENT_FIXTURE_H_

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <netcore/netcore.h>
#include <pcfcore/pcf_message.h>
#include <pcfcore/pcf_records.h>

#include "testsupport/testsupport.h"

namespace localagent::testing {

// One parameter of a received message: id, and its string or integer.
struct Param {
  MQLONG id;
  bool is_string;
  std::string text;
  MQLONG value;
  bool operator==(const Param& other) const {
    return id == other.id && is_string == other.is_string &&
           (is_string ? text == other.text : value == other.value);
  }
};
inline Param Str(MQLONG id, std::string text) { return {id, true, std::move(text), 0}; }
inline Param Int(MQLONG id, MQLONG value) { return {id, false, "", value}; }
void PrintTo(const Param& p, std::ostream* os);

// Parameters of message in their order.
std::vector<Param> ParamsOf(const mqPcfMessage* message);

// A new message with the parameters, indexed; freed by the caller.
mqPcfMessage* BuildMessage(MQLONG command, MQLONG type, const std::vector<Param>& params);

// Waits up to limit for one message on node and reads it into into; null
// on time-out or when a stream node failed.
mqPcfMessage* ReceiveOn(mqnMQNodeData* node, mqPcfMessage* into, bool secure,
                        mqcSignature credential, std::chrono::milliseconds limit);

// A UDP endpoint on 127.0.0.1 (a group manager's, or anybody's).
class UdpPeer {
 public:
  UdpPeer();
  ~UdpPeer();
  int port() const { return node_ != nullptr ? static_cast<int>(node_->address.port) : 0; }
  // Sends a command (type) with the given string parameters to the port.
  bool Send(int to_port, MQLONG command, MQLONG type, const std::vector<Param>& params,
            bool secure = false);
  // Waits up to limit for one datagram; null on time-out. The message
  // stays valid until the next Receive.
  mqPcfMessage* Receive(std::chrono::milliseconds limit, bool secure = false);

 private:
  mqnMQNodeData* node_ = nullptr;
  mqPcfMessage* received_ = nullptr;
  mqcSignature credential_ = nullptr;
};

class AgentTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes mqgroup.ini with the given text.
  void WriteGroupIni(const std::string& text);
  // The usual file: group G1 registers with the group manager stand-in.
  std::string DefaultGroupIni() const;
  // Starts the agent with args (no program name) and the variable's text
  // (none when null); waits for "ready" in the output unless empty.
  bool StartAgent(std::vector<std::string> args, const char* options_variable = nullptr,
                  const std::string& ready = "IMI0010(");
  // The same for another process (a test that starts several in turn).
  bool StartProcess(harrow::testsupport::ServerProcess* process, std::vector<std::string> args,
                    const char* options_variable = nullptr, const std::string& ready = "IMI0010(");
  // Output of the agent since its start.
  std::string Output() const { return agent_.Output(); }
  // Waits for text in the output.
  bool WaitOutput(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return agent_.WaitForOutput(text, limit);
  }
  // Waits for the agent to end by itself; its exit status, -1 on time-out.
  int WaitExit(std::chrono::milliseconds limit = std::chrono::seconds(15));
  // Runs the program to its end (short-lived switches); returns its status.
  int RunToEnd(std::vector<std::string> args, std::vector<std::pair<std::string, std::string>> env,
               std::string* output);

  std::unique_ptr<harrow::testsupport::TempDir> dir_;
  harrow::testsupport::ServerProcess agent_;
  std::unique_ptr<UdpPeer> manager_;  // the group manager stand-in
  int agent_port_ = 0;
  std::string host_upper_;            // this host's name, upper-cased
  std::vector<std::pair<std::string, std::string>> env_;
};

}  // namespace localagent::testing

#endif  // LOCALAGENT_TESTS_AGENT_FIXTURE_H_
