// An MQ host for the agent's tests: the real mqsim serving queue managers
// from a private installation, with the client-connection keys the agent
// finds them by, and a client of the agent speaking netcore frames.
#ifndef LOCALAGENT_TESTS_MQSIM_HOST_H_
#define LOCALAGENT_TESTS_MQSIM_HOST_H_

#include <string>
#include <vector>

#include <netcore/netcore.h>
#include <pcfcore/pcf_message.h>

#include "agent_fixture.h"

namespace localagent::testing {

class AgentWithMqTest : public AgentTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // mqsimctl with the test's installation; its exit code.
  int Ctl(const std::vector<std::string>& args, std::string* output = nullptr);
  // Creates queue managers and starts mqsim serving them, each with its
  // client-connection key.
  void StartQueueManagers(const std::vector<std::string>& names);
  // Starts mqsim again (after Kill) serving the queue managers made before.
  void RestartQueueManagers(const std::vector<std::string>& names);
  // A client-connection key for a queue manager that does not exist.
  void DefineClientKey(const std::string& name, const std::string& connection);
  int ListenerPort(const std::string& name);

  std::string mqm_;  // installation root (HARROWLINE_MQM)
  harrow::testsupport::ServerProcess mqsim_;
};

// A client of the agent on a TCP node (the group manager's side).
class AgentClient {
 public:
  explicit AgentClient(int port);
  ~AgentClient();
  bool connected() const { return node_ != nullptr && node_->open; }
  // Sends a command with the given parameters; reply_tag 0 asks for none.
  bool Send(MQLONG command, const std::vector<Param>& params, MQLONG reply_tag = 1,
            MQLONG wait_ms = 5000, const char* user = nullptr);
  // Sends a command built by the caller (indexed), with the header as Send
  // sets it.
  bool SendBuilt(mqPcfMessage* message, MQLONG reply_tag = 1, MQLONG wait_ms = 5000,
                 const char* user = nullptr);
  // The request id (header MsgId) of what this client sends; "LKOUT-1"
  // unless set.
  void set_request_id(std::string id) { request_id_ = std::move(id); }
  // The next message from the agent within limit; null on time-out or a
  // closed connection. Valid until the next call.
  mqPcfMessage* Receive(std::chrono::milliseconds limit);

 private:
  mqnMQNodeData* node_ = nullptr;
  mqPcfMessage* received_ = nullptr;
  std::string request_id_ = "LKOUT-1";
};

}  // namespace localagent::testing

#endif  // LOCALAGENT_TESTS_MQSIM_HOST_H_
