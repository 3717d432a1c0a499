// group_fixture.h: what the group server's tests share: a temporary install
// directory with its registry and signing key, groups made with grpcreate,
// grpserver started as a user starts it (through the harness), and test
// consoles that speak node frames to it.
#ifndef GRPSERVER_TESTS_GROUP_FIXTURE_H_
#define GRPSERVER_TESTS_GROUP_FIXTURE_H_

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <netcore/netcore.h>
#include <pcfcore/pcfcore.h>

#include "testsupport/testsupport.h"

namespace grptest {

using Env = std::vector<std::pair<std::string, std::string>>;

// An install directory (inst/), a registry directory and a 0600 signing key
// in a private temporary directory.
class Installation {
 public:
  Installation();
  const std::string& install_dir() const { return install_dir_; }
  std::string GroupDir(const std::string& group) const;
  const std::string& key_path() const { return key_path_; }
  // The variables every program of the installation runs with.
  Env BaseEnv() const;
  // Sets the same variables in this process (for the database library).
  void ExportToThisProcess() const;

 private:
  harrow::testsupport::TempDir dir_;
  std::string install_dir_;
  std::string key_path_;
};

struct RunResult {
  int exit_code = -1;
  std::string output;
};

// Runs a program of the build to its end (bounded), with env added.
RunResult RunProgram(const std::string& name, const std::vector<std::string>& args, const Env& env);

// grpcreate <group> --port=<port> extra...; fails the test when it fails.
void CreateGroup(const Installation& inst, const std::string& group, int port,
                 const std::vector<std::string>& extra = {});

// Starts "grpserver -console -m<group> args..." and waits for IGE0019.
bool StartServer(harrow::testsupport::ServerProcess* server, const Installation& inst,
                 const std::string& group, const std::vector<std::string>& args = {},
                 const Env& extra_env = {});

// A console: one TCP node connected to the server on 127.0.0.1.
class TestConsole {
 public:
  explicit TestConsole(int port, int secure = 0);
  ~TestConsole();
  TestConsole(const TestConsole&) = delete;
  TestConsole& operator=(const TestConsole&) = delete;

  bool connected() const { return node_ != nullptr && node_->open; }
  // Writes msg (signed when secure).
  bool Send(mqPcfMessage* msg);
  // Reads the next message within the limit into a new message (null on
  // time-out, close or error; the node's last error is then in last_error()).
  std::unique_ptr<mqPcfMessage, int (*)(mqPcfMessage*)> Receive(
      std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
  // True when the server closed the connection within the limit.
  bool WaitClosed(std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
  int last_error() const { return node_ != nullptr ? node_->lastError : -1; }
  mqnMQNodeData* node() { return node_; }

 private:
  mqnMQNodeData* node_ = nullptr;
  int secure_ = 0;
  mqcSignature credential_ = nullptr;
};

using PcfPtr = std::unique_ptr<mqPcfMessage, int (*)(mqPcfMessage*)>;
PcfPtr MakeCommand(MQLONG command, const std::string& request_id = "");
void AddStr(mqPcfMessage* msg, MQLONG id, const std::string& text);
void AddInteger(mqPcfMessage* msg, MQLONG id, MQLONG value);
// Reads a parameter of a received message.
std::string StrParam(const mqPcfMessage* msg, MQLONG id);
bool IntParam(const mqPcfMessage* msg, MQLONG id, MQLONG* value);
std::string RequestId(const mqPcfMessage* msg);

// The bytes of a whole file; empty when unreadable.
std::string FileBytes(const std::string& path);

}  // namespace grptest

#endif  // GRPSERVER_TESTS_GROUP_FIXTURE_H_
