// The console's core against the real group server on loopback: connect and
// register, a request matched to its reply by id, result lines and log lines
// of a success and a failure, and the connection lost when the server goes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "admclient/admclient.h"
#include "testsupport/testsupport.h"

namespace admclient {
namespace {

namespace ts = harrow::testsupport;

struct PcfDeleter {
  void operator()(mqPcfMessage* m) const { DeletePcfMessage(m); }
};
using PcfPtr = std::unique_ptr<mqPcfMessage, PcfDeleter>;

struct Trace : TraceSink {
  void AddCommandRow(const TraceRow& row) override { rows.push_back(row); }
  std::vector<TraceRow> rows;
};

struct Events : EventSink {
  void AddEvent(int, const mqPcfMessage*) override { ++count; }
  int count = 0;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// An installation in a temporary directory with group "G1" and its server
// started on a free loopback port; the console's profile points at it.
class GrpserverClientTest : public ::testing::Test {
 protected:
  void StartGroup(const std::vector<std::string>& server_args) {
    install_ = dir_.Sub("inst");
    mkdir(install_.c_str(), 0700);
    mkdir(dir_.Sub("registry").c_str(), 0700);
    const std::string key = dir_.Sub("signing.key");
    std::ofstream(key) << "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff\n";
    chmod(key.c_str(), 0600);
    env_ = {{"HRLCOMPACT", install_},
            {"HRLCOMPACT_REGISTRY", dir_.Sub("registry")},
            {"HRLCOMPACT_SIGNING_KEY", key},
            {"HRLCOMPACT_LISTEN_HOST", "127.0.0.1"},
            {"HRLCOMPACT_SVR_OPTIONS", "\x01unset"}};
    for (const auto& [name, value] : env_) {
      if (value != "\x01unset") setenv(name.c_str(), value.c_str(), 1);
    }
    port_ = ts::FreeLoopbackPort(true);

    ts::ServerProcess create;
    ts::ServerOptions make;
    make.program = ts::ProgramPath("grpcreate");
    make.args = {"G1", "--port=" + std::to_string(port_)};
    make.env = env_;
    ASSERT_TRUE(create.Start(make));
    int status = -1;
    ASSERT_TRUE(create.WaitExit(std::chrono::seconds(30), &status));
    ASSERT_EQ(status, 0) << create.Output();

    ts::ServerOptions run;
    run.program = ts::ProgramPath("grpserver");
    run.args = {"-console", "-mG1"};
    run.args.insert(run.args.end(), server_args.begin(), server_args.end());
    run.env = env_;
    run.ready_text = "IGE0019: Group Manager(\"G1\") is ready!";
    std::string error;
    ASSERT_TRUE(server_.Start(run, &error)) << error;

    profile_ = std::make_unique<IniProfile>(dir_.Sub("admdesk.ini"));
    profile_->WriteInt("Connections", "Number of Connections", 1);
    profile_->WriteString("Connections", "IP-Address_1", "127.0.0.1");
    profile_->WriteString("Connections", "IP-Port_1", std::to_string(port_));
    log_ = std::make_unique<CommandLog>(clock_, dir_.Sub("logs"));
    results_ = std::make_unique<ResultLog>(clock_, &trace_, log_.get(), "tester");
    WaitPolicy policy;
    policy.first_wait_ms = 3000;
    policy.step_ms = 100;
    policy.budget_steps = 100;  // 13 s at most per reply
    client_ = std::make_unique<ServerClient>(*profile_, prompter_, wait_ui_, clock_, *results_,
                                             &events_, policy);
  }

  ~GrpserverClientTest() override {
    for (const auto& [name, value] : env_) unsetenv(name.c_str());
  }

  ts::TempDir dir_{"admclient"};
  std::string install_;
  std::vector<std::pair<std::string, std::string>> env_;
  int port_ = 0;
  ts::ServerProcess server_;
  std::unique_ptr<IniProfile> profile_;
  SystemClock clock_;
  Trace trace_;
  Events events_;
  std::unique_ptr<CommandLog> log_;
  std::unique_ptr<ResultLog> results_;
  ScriptedPrompter prompter_;
  QuietWaitUi wait_ui_;
  std::unique_ptr<ServerClient> client_;
};

TEST_F(GrpserverClientTest, ConnectsAndRegistersWithPlainFrames) {
  StartGroup({});
  profile_->WriteString("Connections", "Authenticate_1", "Disabled");
  EXPECT_EQ(client_->ConnectAll(), std::vector<bool>{true});
  EXPECT_EQ(profile_->GetString("Connections", "Connection-Status_1"), "Connected");
  EXPECT_TRUE(prompter_.shown().empty());
  EXPECT_TRUE(trace_.rows.empty());  // the registration was answered with CompCode 0
  EXPECT_EQ(server_.Stop(), 0) << server_.Output();
}

TEST_F(GrpserverClientTest, ConnectsAndRegistersWithSignedFramesWhenAuthenticateIsEmpty) {
  StartGroup({"+a"});
  EXPECT_EQ(client_->ConnectAll(), std::vector<bool>{true});
  EXPECT_EQ(client_->cpcf().authenticate[1], 1);
  PcfPtr request(CreatePcfMessage(10108, 1, 512));
  PcfPtr reply(CreatePcfMessage(10108, 2, 512));
  EXPECT_EQ(client_->Exchange(request.get(), reply.get()), ServerClient::Outcome::kReplied);
  EXPECT_EQ(server_.Stop(), 0) << server_.Output();
}

TEST_F(GrpserverClientTest, RootInquiryCarriesItsIdAndTheReplyIsMatched) {
  StartGroup({});
  profile_->WriteString("Connections", "Authenticate_1", "Disabled");
  ASSERT_EQ(client_->ConnectAll(), std::vector<bool>{true});
  PcfPtr request(CreatePcfMessage(10108, 1, 512));
  PcfPtr reply(CreatePcfMessage(10108, 2, 512));
  ASSERT_EQ(client_->Exchange(request.get(), reply.get()), ServerClient::Outcome::kReplied);
  const std::string id(reinterpret_cast<const char*>(request->Body.Storage + 16));
  EXPECT_EQ(id.rfind("LKOUT-", 0), 0u) << id;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply->Body.Storage + 16)), id);
  EXPECT_EQ(reply->Cfh->Command, 10108);
  EXPECT_TRUE(ServerClient::IsReplyTo(request.get(), reply.get()));
}

TEST_F(GrpserverClientTest, ResultLinesAndLogLinesOfAFailureAndASuccessThenTheServerIsGone) {
  StartGroup({});
  profile_->WriteString("Connections", "Authenticate_1", "Disabled");
  ASSERT_EQ(client_->ConnectAll(), std::vector<bool>{true});

  // A queue deletion on a node the group does not have fails.
  PcfPtr remove(CreatePcfMessage(MQCMD_DELETE_Q, 1, 512));
  CPCF::AddStrParm("G1", MANAGER_NAME, remove.get());
  CPCF::AddStrParm("NODEX", MQNODE_NAME, remove.get());
  CPCF::AddStrParm("QMX", 2015, remove.get());
  CPCF::AddStrParm("APP.Q1", 2016, remove.get());
  PcfPtr removed(CreatePcfMessage(MQCMD_DELETE_Q, 2, 512));
  ASSERT_EQ(client_->Exchange(remove.get(), removed.get()), ServerClient::Outcome::kReplied);
  EXPECT_EQ(removed->Cfh->CompCode, 2);
  ASSERT_EQ(trace_.rows.size(), 1u);
  const std::string failed = "(RC - " + std::to_string(removed->Cfh->Reason) +
                             "), CMD - MQCMD_DELETE_Q - Failed!";
  EXPECT_EQ(trace_.rows[0].result_line, failed);
  EXPECT_EQ(trace_.rows[0].image, kResultImageFailed);
  EXPECT_EQ(trace_.rows[0].object_path, "\\\\G1\\NODEX\\QMX\\APP.Q1");

  // Shutting the group down (in one second) succeeds.
  PcfPtr shutdown(CreatePcfMessage(EXCMD_SHUTDOWN_MANAGER, 1, 512));
  CPCF::AddStrParm("G1", MANAGER_NAME, shutdown.get());
  CPCF::AddIntParm(1, 20140, shutdown.get());
  PcfPtr done(CreatePcfMessage(EXCMD_SHUTDOWN_MANAGER, 2, 512));
  ASSERT_EQ(client_->Exchange(shutdown.get(), done.get()), ServerClient::Outcome::kReplied);
  EXPECT_EQ(done->Cfh->CompCode, 0) << done->Cfh->Reason;
  ASSERT_EQ(trace_.rows.size(), 2u);
  EXPECT_EQ(trace_.rows[1].result_line, "(RC - 0), CMD - EXCMD_SHUTDOWN_MANAGER - OK!");
  EXPECT_EQ(trace_.rows[1].image, kResultImageOk);

  std::string log = ReadFile(log_->CurrentPath());
  EXPECT_NE(log.find(",\"tester\",\"" + failed + "\",\"\\\\G1\\NODEX\\QMX\\APP.Q1\"\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find(",\"tester\",\"(RC - 0), CMD - EXCMD_SHUTDOWN_MANAGER - OK!\",\"\\\\G1"),
            std::string::npos) << log;

  // The server goes; the poll finds the connection lost.
  int status = -1;
  EXPECT_TRUE(server_.WaitExit(std::chrono::seconds(20), &status)) << server_.Output();
  std::vector<int> lost;
  ts::Deadline deadline(std::chrono::seconds(10));
  while (lost.empty() && !deadline.Expired()) lost = client_->PollConnections(deadline.PollMs());
  EXPECT_EQ(lost, std::vector<int>{1});
  EXPECT_EQ(profile_->GetString("Connections", "Connection-Status_1"), "Not-Connected");
}

TEST_F(GrpserverClientTest, StoppedServerIsFoundLostByThePoll) {
  StartGroup({});
  profile_->WriteString("Connections", "Authenticate_1", "Disabled");
  ASSERT_EQ(client_->ConnectAll(), std::vector<bool>{true});
  EXPECT_EQ(server_.Stop(), 0) << server_.Output();
  std::vector<int> lost;
  ts::Deadline deadline(std::chrono::seconds(10));
  while (lost.empty() && !deadline.Expired()) lost = client_->PollConnections(deadline.PollMs());
  EXPECT_EQ(lost, std::vector<int>{1});
  EXPECT_EQ(client_->cpcf().node[1], nullptr);
  PcfPtr request(CreatePcfMessage(10108, 1, 512));
  PcfPtr reply(CreatePcfMessage(10108, 2, 512));
  EXPECT_EQ(client_->Exchange(request.get(), reply.get()), ServerClient::Outcome::kNotSent);
}

}  // namespace
}  // namespace admclient
