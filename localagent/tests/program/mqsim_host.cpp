// The MQ host and the agent client of the agent's tests.

#include "mqsim_host.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <os/registry.h>
#include <pcfcore/print.h>

namespace localagent::testing {

namespace ts = harrow::testsupport;

namespace {

// scripts/demo runs some of these tests with HARROW_DEMO_VERBOSE set to show
// what a client and the agent say to each other.
void Show(const char* what, const mqPcfMessage* m) {
  if (m == nullptr || std::getenv("HARROW_DEMO_VERBOSE") == nullptr) return;
  std::printf("\n---- %s ----\n", what);
  PrintPcfMessage(m);
  std::fflush(stdout);
}

}  // namespace

void AgentWithMqTest::SetUp() {
  AgentTest::SetUp();
  if (HasFatalFailure()) return;
  mqm_ = dir_->Sub("mqm");
  ASSERT_EQ(mkdir(mqm_.c_str(), 0700), 0);
  env_.push_back({"HARROWLINE_MQM", mqm_});
  // This process writes the client-connection keys into the same registry.
  setenv("HRLCOMPACT_REGISTRY", dir_->Sub("registry").c_str(), 1);
}

void AgentWithMqTest::TearDown() {
  AgentTest::TearDown();
  mqsim_.Stop();
  unsetenv("HRLCOMPACT_REGISTRY");
}

int AgentWithMqTest::Ctl(const std::vector<std::string>& args, std::string* output) {
  ts::ServerProcess ctl;
  ts::ServerOptions options;
  options.program = ts::ProgramPath("mqsimctl");
  options.args = {"-m", mqm_};
  options.args.insert(options.args.end(), args.begin(), args.end());
  options.env = env_;
  std::string error;
  if (!ctl.Start(options, &error)) {
    ADD_FAILURE() << error;
    return -1;
  }
  int status = -1;
  if (!ctl.WaitExit(std::chrono::seconds(20), &status)) ctl.Stop();
  if (output != nullptr) *output = ctl.Output();
  return status;
}

int AgentWithMqTest::ListenerPort(const std::string& name) {
  std::ifstream in(mqm_ + "/qmgrs/" + name + "/qm.ini");
  std::string line;
  while (std::getline(in, line)) {
    size_t at = line.find("Port=");
    if (at != std::string::npos) return std::atoi(line.c_str() + at + 5);
  }
  return -1;
}

void AgentWithMqTest::DefineClientKey(const std::string& name, const std::string& connection) {
  HKEY key = nullptr;
  std::string path = "Software\\Brackwin\\Harrowline Compact\\Queue Managers\\" + name;
  ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, path.c_str(), &key), OS_REG_SUCCESS);
  ASSERT_EQ(osRegSetString(key, "Channel Name", "SYSTEM.DEF.SVRCONN"), OS_REG_SUCCESS);
  ASSERT_EQ(osRegSetString(key, "Connection Name", connection.c_str()), OS_REG_SUCCESS);
  osRegCloseKey(key);
}

void AgentWithMqTest::RestartQueueManagers(const std::vector<std::string>& names) {
  ts::ServerOptions options;
  options.program = ts::ProgramPath("mqsim");
  options.args = {"-m", mqm_};
  for (const std::string& name : names) {
    options.args.push_back("-s");
    options.args.push_back(name);
  }
  options.env = env_;
  options.ready_text = "mqsim: ready";
  std::string error;
  ASSERT_TRUE(mqsim_.Start(options, &error)) << error;
}

void AgentWithMqTest::StartQueueManagers(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) {
    // A port below the ephemeral range, kept across restarts.
    std::vector<std::string> create = {"create", name, "-p",
                                       std::to_string(ts::FreeLoopbackPort())};
    if (&name == &names.front()) create.push_back("-D");
    ASSERT_EQ(Ctl(create, &out), 0) << out;
  }
  ASSERT_NO_FATAL_FAILURE(RestartQueueManagers(names));
  for (const std::string& name : names) {
    int port = ListenerPort(name);
    ASSERT_GT(port, 0);
    DefineClientKey(name, "127.0.0.1(" + std::to_string(port) + ")");
  }
}

AgentClient::AgentClient(int port) {
  SocketAddress address{};
  std::snprintf(address.host, sizeof address.host, "127.0.0.1");
  std::snprintf(address.service, sizeof address.service, "%d", port);
  std::snprintf(address.protocol, sizeof address.protocol, "tcp");
  node_ = CreateMQNode(&address, MQNODE_MODE_CLIENT);
  if (node_ != nullptr && !mnOpen(node_)) {
    DeleteMQNode(node_);
    node_ = nullptr;
  }
  received_ = CreatePcfMessage(0, MQCFT_RESPONSE, 32000);
}

AgentClient::~AgentClient() {
  DeleteMQNode(node_);
  DeletePcfMessage(received_);
}

bool AgentClient::Send(MQLONG command, const std::vector<Param>& params, MQLONG reply_tag,
                       MQLONG wait_ms, const char* user) {
  mqPcfMessage* message = BuildMessage(command, MQCFT_COMMAND, params);
  bool ok = SendBuilt(message, reply_tag, wait_ms, user);
  DeletePcfMessage(message);
  return ok;
}

bool AgentClient::SendBuilt(mqPcfMessage* message, MQLONG reply_tag, MQLONG wait_ms,
                            const char* user) {
  if (node_ == nullptr || message == nullptr) return false;
  MessageHeader* header = MESSAGE_HEADER(&message->Body);
  header->ReplyTag = reply_tag;
  header->WaitInterval = wait_ms;
  std::snprintf(header->ApplName, sizeof header->ApplName, "GM1");
  if (user != nullptr) std::snprintf(header->UserId, sizeof header->UserId, "%s", user);
  std::memset(header->MsgId, 0, sizeof header->MsgId);
  std::memcpy(header->MsgId, request_id_.data(), std::min<size_t>(request_id_.size(), 24));
  Show("client -> agent", message);
  return mnSWrite(message, node_, 0, nullptr) == 1;
}

mqPcfMessage* AgentClient::Receive(std::chrono::milliseconds limit) {
  mqPcfMessage* got = ReceiveOn(node_, received_, false, nullptr, limit);
  Show("agent -> client", got);
  return got;
}

}  // namespace localagent::testing
