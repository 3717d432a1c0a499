// The agent fixture: temporary installation, signing key, group manager
// stand-in and the agent process.

#include "agent_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <ostream>

#include <signcore/signcore.h>

namespace localagent::testing {

namespace ts = harrow::testsupport;

void PrintTo(const Param& p, std::ostream* os) {
  if (p.is_string) {
    *os << p.id << "=\"" << p.text << "\"";
  } else {
    *os << p.id << "=" << p.value;
  }
}

std::vector<Param> ParamsOf(const mqPcfMessage* message) {
  std::vector<Param> out;
  for (MQLONG i = 1; i <= message->Cfh->ParameterCount; ++i) {
    Message record{};
    if (!GetAttrByPos(i, &record, message)) break;
    const MQLONG* words = reinterpret_cast<const MQLONG*>(record.Payload);
    if (words[0] == MQCFT_STRING) {
      char text[1025] = {};
      GetPcfStrAttrValue(&record, text, 1024);
      std::string s = text;
      while (!s.empty() && s.back() == ' ') s.pop_back();
      out.push_back(Str(words[2], s));
    } else if (words[0] == MQCFT_INTEGER) {
      MQLONG value = 0;
      GetPcfIntAttrValue(&record, &value);
      out.push_back(Int(words[2], value));
    }
    DeleteMessage(&record);
  }
  return out;
}

mqPcfMessage* BuildMessage(MQLONG command, MQLONG type, const std::vector<Param>& params) {
  mqPcfMessage* message = CreatePcfMessage(command, type, 512);
  for (const Param& p : params) {
    Message record{};
    if (p.is_string) {
      CreatePcfStrAttr(&record, p.id, p.text.c_str());
    } else {
      CreatePcfIntAttr(&record, p.id, p.value);
    }
    AppendAttr(message, &record);
    DeleteMessage(&record);
  }
  RawToPcf(message);
  return message;
}

UdpPeer::UdpPeer() {
  SocketAddress address{};
  std::snprintf(address.host, sizeof address.host, "127.0.0.1");
  std::snprintf(address.service, sizeof address.service, "0");
  std::snprintf(address.protocol, sizeof address.protocol, "udp");
  node_ = CreateUDPMQNode(&address);
  received_ = CreatePcfMessage(0, 1, 512);
  mqc_get_signature(&credential_);
}

UdpPeer::~UdpPeer() {
  DeleteMQNode(node_);
  DeletePcfMessage(received_);
  mqc_release_signature(&credential_);
}

bool UdpPeer::Send(int to_port, MQLONG command, MQLONG type, const std::vector<Param>& params,
                   bool secure) {
  mqPcfMessage* message = BuildMessage(command, type, params);
  SocketAddress to{};
  std::snprintf(to.host, sizeof to.host, "127.0.0.1");
  std::snprintf(to.service, sizeof to.service, "%d", to_port);
  std::snprintf(to.protocol, sizeof to.protocol, "udp");
  int ok = mnSWriteTo(message, node_, &to, secure ? 1 : 0, credential_);
  DeletePcfMessage(message);
  return ok == 1;
}

mqPcfMessage* ReceiveOn(mqnMQNodeData* node, mqPcfMessage* into, bool secure,
                        mqcSignature credential, std::chrono::milliseconds limit) {
  if (node == nullptr) return nullptr;
  ts::Deadline deadline(limit);
  while (!deadline.Expired()) {
    mqnMQNodeData* nodes[] = {node, nullptr};
    mqnMQNodeData* accept_ready[2] = {};
    mqnMQNodeData* read_ready[2] = {};
    int error = 0;
    int seconds = static_cast<int>(deadline.Left().count() / 1000);
    if (!mnPost(nodes, accept_ready, read_ready, seconds < 1 ? 1 : seconds, &error)) continue;
    if (mnSRead(into, node, secure ? 1 : 0, credential)) return into;
    // A stream that failed for good (closed, refused frame) gives no more.
    if (node->socket.type == 1 && node->lastError != 10035) return nullptr;
  }
  return nullptr;
}

mqPcfMessage* UdpPeer::Receive(std::chrono::milliseconds limit, bool secure) {
  return ReceiveOn(node_, received_, secure, credential_, limit);
}

void AgentTest::SetUp() {
  dir_ = std::make_unique<ts::TempDir>("localagent");
  ASSERT_FALSE(dir_->path().empty());
  ASSERT_EQ(mkdir(dir_->Sub("config").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(dir_->Sub("config/groups").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(dir_->Sub("registry").c_str(), 0700), 0);
  // The installation's signing key, shared by the agent and this test.
  std::string key = dir_->Sub("signing.key");
  {
    std::ofstream out(key);
    out << "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff\n";
  }
  ASSERT_EQ(chmod(key.c_str(), 0600), 0);
  setenv("HRLCOMPACT_SIGNING_KEY", key.c_str(), 1);
  env_ = {{"HRLCOMPACT", dir_->path()},
          {"HRLCOMPACT_SIGNING_KEY", key},
          {"HRLCOMPACT_REGISTRY", dir_->Sub("registry")},
          {"HRLCOMPACT_BIND_ADDRESS", "127.0.0.1"},
          {"HRLCOMPACT_CM_OPTIONS", "\x01unset"}};
  manager_ = std::make_unique<UdpPeer>();
  ASSERT_GT(manager_->port(), 0);
  agent_port_ = ts::FreeLoopbackPort(true);
  ASSERT_GT(agent_port_, 0);
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  for (char* p = host; *p != '\0'; ++p) *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
  host_upper_ = host;
}

void AgentTest::TearDown() {
  agent_.Stop();
  manager_.reset();
  unsetenv("HRLCOMPACT_SIGNING_KEY");
}

void AgentTest::WriteGroupIni(const std::string& text) {
  std::ofstream out(dir_->Sub("config/groups/mqgroup.ini"));
  out << text;
}

std::string AgentTest::DefaultGroupIni() const {
  return "Group::G1=G1\nG1::Node=127.0.0.1\nG1::Service=" + std::to_string(manager_->port()) +
         "\n";
}

namespace {

void SetEnv(std::vector<std::pair<std::string, std::string>>* env, const std::string& name,
            const std::string& value) {
  for (auto& e : *env) {
    if (e.first == name) {
      e.second = value;
      return;
    }
  }
  env->push_back({name, value});
}

}  // namespace

bool AgentTest::StartAgent(std::vector<std::string> args, const char* options_variable,
                           const std::string& ready) {
  return StartProcess(&agent_, std::move(args), options_variable, ready);
}

bool AgentTest::StartProcess(ts::ServerProcess* process, std::vector<std::string> args,
                             const char* options_variable, const std::string& ready) {
  ts::ServerOptions options;
  options.program = ts::ProgramPath("localagent");
  options.args = std::move(args);
  options.env = env_;
  if (options_variable != nullptr) SetEnv(&options.env, "HRLCOMPACT_CM_OPTIONS", options_variable);
  options.working_dir = dir_->path();
  options.ready_text = ready;
  std::string error;
  bool ok = process->Start(options, &error);
  if (!ok) ADD_FAILURE() << error;
  return ok;
}

int AgentTest::WaitExit(std::chrono::milliseconds limit) {
  int status = -1;
  if (!agent_.WaitExit(limit, &status)) return -1;
  return status;
}

int AgentTest::RunToEnd(std::vector<std::string> args,
                        std::vector<std::pair<std::string, std::string>> env,
                        std::string* output) {
  ts::ServerProcess process;
  ts::ServerOptions options;
  options.program = ts::ProgramPath("localagent");
  options.args = std::move(args);
  options.env = env_;
  for (auto& e : env) SetEnv(&options.env, e.first, e.second);
  options.working_dir = dir_->path();
  std::string error;
  if (!process.Start(options, &error)) {
    ADD_FAILURE() << error;
    return -1;
  }
  int status = -1;
  if (!process.WaitExit(std::chrono::seconds(15), &status)) {
    ADD_FAILURE() << "program did not end";
    process.Stop();
  }
  *output = process.Output();
  return status;
}

}  // namespace localagent::testing
