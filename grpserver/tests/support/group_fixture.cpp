// group_fixture.cpp: installation, programs and test consoles.
#include "group_fixture.h"

#include <poll.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <signcore/signcore.h>

namespace grptest {

namespace ts = harrow::testsupport;

Installation::Installation() : dir_("grpserver") {
  install_dir_ = dir_.Sub("inst");
  mkdir(install_dir_.c_str(), 0700);
  mkdir(dir_.Sub("registry").c_str(), 0700);
  key_path_ = dir_.Sub("signing.key");
  std::ofstream key(key_path_);
  key << "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff\n";
  key.close();
  chmod(key_path_.c_str(), 0600);
}

std::string Installation::GroupDir(const std::string& group) const { return install_dir_ + "/groups/" + group; }

Env Installation::BaseEnv() const {
  return {{"HRLCOMPACT", install_dir_},
          {"HRLCOMPACT_REGISTRY", dir_.Sub("registry")},
          {"HRLCOMPACT_SIGNING_KEY", key_path_},
          {"HRLCOMPACT_BIND_ADDRESS", "127.0.0.1"},
          {"HRLCOMPACT_SVR_OPTIONS", "\x01unset"}};
}

void Installation::ExportToThisProcess() const {
  for (const auto& [k, v] : BaseEnv()) {
    if (v == "\x01unset") {
      unsetenv(k.c_str());
    } else {
      setenv(k.c_str(), v.c_str(), 1);
    }
  }
}

RunResult RunProgram(const std::string& name, const std::vector<std::string>& args, const Env& env) {
  ts::ServerProcess p;
  ts::ServerOptions o;
  o.program = ts::ProgramPath(name);
  o.args = args;
  o.env = env;
  RunResult r;
  std::string error;
  if (!p.Start(o, &error)) {
    ADD_FAILURE() << name << ": " << error;
    return r;
  }
  int status = -1;
  if (!p.WaitExit(std::chrono::seconds(30), &status)) {
    ADD_FAILURE() << name << " did not end";
    r.output = p.Output();
    p.Kill();
    return r;
  }
  r.exit_code = status;
  r.output = p.Output();
  return r;
}

void CreateGroup(const Installation& inst, const std::string& group, int port, const std::vector<std::string>& extra) {
  std::vector<std::string> args = {group, "--port=" + std::to_string(port)};
  args.insert(args.end(), extra.begin(), extra.end());
  RunResult r = RunProgram("grpcreate", args, inst.BaseEnv());
  ASSERT_EQ(r.exit_code, 0) << r.output;
}

bool StartServer(ts::ServerProcess* server, const Installation& inst, const std::string& group,
                 const std::vector<std::string>& args, const Env& extra_env) {
  ts::ServerOptions o;
  o.program = ts::ProgramPath("grpserver");
  o.args = {"-console", "-m" + group};
  o.args.insert(o.args.end(), args.begin(), args.end());
  o.env = inst.BaseEnv();
  o.env.insert(o.env.end(), extra_env.begin(), extra_env.end());
  o.ready_text = "IGE0019: Group Manager(\"" + group + "\") is ready!";
  std::string error;
  if (!server->Start(o, &error)) {
    ADD_FAILURE() << error;
    return false;
  }
  return true;
}

TestConsole::TestConsole(int port, int secure) : secure_(secure) {
  SocketAddress a{};
  std::snprintf(a.host, sizeof a.host, "127.0.0.1");
  std::snprintf(a.service, sizeof a.service, "%d", port);
  std::snprintf(a.protocol, sizeof a.protocol, "tcp");
  node_ = CreateMQNode(&a, MQNODE_MODE_CLIENT);
  if (node_ == nullptr) return;
  if (mnOpen(node_) != 1) return;
  NoblockSocket(&node_->socket);
  if (secure_) mqc_get_signature(&credential_);
}

TestConsole::~TestConsole() {
  if (node_ != nullptr) DeleteMQNode(node_);
  if (credential_ != nullptr) mqc_release_signature(&credential_);
}

bool TestConsole::Send(mqPcfMessage* msg) {
  if (!connected()) return false;
  if (mnSWrite(msg, node_, secure_, credential_) != 1) return false;
  // Finish a write the socket did not take at once.
  ts::Deadline d(std::chrono::seconds(5));
  while (mnIsPendingIO(node_) && !d.Expired()) {
    pollfd p{node_->socket.handle, POLLOUT, 0};
    poll(&p, 1, d.PollMs());
    if (mnFinishWrite(node_) != 1) return false;
  }
  return !mnIsPendingIO(node_);
}

PcfPtr TestConsole::Receive(std::chrono::milliseconds limit) {
  PcfPtr msg(CreatePcfMessage(0, MQCFT_RESPONSE, 4096), DeletePcfMessage);
  if (!connected()) return PcfPtr(nullptr, DeletePcfMessage);
  ts::Deadline d(limit);
  while (true) {
    if (mnSRead(msg.get(), node_, secure_, credential_) == 1) return msg;
    if (node_->lastError != MN_ERR_WOULD_BLOCK || d.Expired()) return PcfPtr(nullptr, DeletePcfMessage);
    pollfd p{node_->socket.handle, POLLIN, 0};
    poll(&p, 1, d.PollMs());
  }
}

bool TestConsole::WaitClosed(std::chrono::milliseconds limit) {
  ts::Deadline d(limit);
  while (!d.Expired()) {
    PcfPtr m = Receive(d.Left());
    if (m == nullptr) return last_error() != MN_ERR_WOULD_BLOCK;
  }
  return false;
}

PcfPtr MakeCommand(MQLONG command, const std::string& request_id) {
  PcfPtr msg(CreatePcfMessage(command, MQCFT_COMMAND, 1024), DeletePcfMessage);
  MessageHeader* h = MESSAGE_HEADER(&msg->Body);
  std::memcpy(h->MsgId, request_id.data(), std::min<size_t>(request_id.size(), sizeof h->MsgId));
  std::memcpy(h->UserId, "tester", 6);
  std::memcpy(h->ApplName, "grpserver_test", 14);
  h->ReplyTag = 1;
  return msg;
}

void AddStr(mqPcfMessage* msg, MQLONG id, const std::string& text) {
  Message r{};
  ASSERT_EQ(CreatePcfStrAttr(&r, id, text.c_str()), 1);
  ASSERT_EQ(AppendAttr(msg, &r), 1);
  DeleteMessage(&r);
  RawToPcf(msg);
}

void AddInteger(mqPcfMessage* msg, MQLONG id, MQLONG value) {
  Message r{};
  ASSERT_EQ(CreatePcfIntAttr(&r, id, value), 1);
  ASSERT_EQ(AppendAttr(msg, &r), 1);
  DeleteMessage(&r);
  RawToPcf(msg);
}

std::string StrParam(const mqPcfMessage* msg, MQLONG id) {
  Message r{};
  if (GetAttrByID(id, &r, msg) != 1) return "<absent>";
  char text[512] = {};
  GetPcfStrAttrValue(&r, text, sizeof text - 1);
  DeleteMessage(&r);
  std::string s(text);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

bool IntParam(const mqPcfMessage* msg, MQLONG id, MQLONG* value) {
  Message r{};
  if (GetAttrByID(id, &r, msg) != 1) return false;
  bool ok = GetPcfIntAttrValue(&r, value) == 1;
  DeleteMessage(&r);
  return ok;
}

std::string RequestId(const mqPcfMessage* msg) {
  const MessageHeader* h = MESSAGE_HEADER(&msg->Body);
  return std::string(reinterpret_cast<const char*>(h->MsgId), sizeof h->MsgId);
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace grptest
