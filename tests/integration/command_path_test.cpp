// The road of one request through what exists today: a console builds an
// INQUIRE_Q_NAMES command, signs it onto a TCP node, the receiving side
// authenticates and re-indexes it, hands it to a queue manager's command
// queue as the agent does, and reads it back off that queue intact; the
// reply travels back over the same connection and is kept as a PCF file.
//
// Run with HARROW_DEMO_VERBOSE=1 to see each message printed on the way.

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "mqi/mqi.h"
#include "netcore/netcore.h"
#include "pcfcore/pcfcore.h"
#include "signcore/signcore.h"
#include "testsupport/testsupport.h"

namespace {

namespace fs = std::filesystem;
namespace ts = harrow::testsupport;

bool Verbose() { return std::getenv("HARROW_DEMO_VERBOSE") != nullptr; }

void Show(const char* what, const mqPcfMessage* m) {
  if (!Verbose()) return;
  std::printf("\n---- %s ----\n", what);
  PrintPcfMessage(m);
  std::fflush(stdout);
}

// A temporary installation: an MQ root with two queue managers under a
// running mqsim, and a signing key. Everything is removed at the end.
class CommandPath : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(root_.path().empty());
    fs::create_directories(root_.Sub("mqm"));
    fs::create_directories(root_.Sub("security"));
    std::string key = root_.Sub("security/signing.key");
    {
      std::ofstream k(key);
      k << "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff\n";
    }
    chmod(key.c_str(), 0600);
    key_env_.emplace("HRLCOMPACT_SIGNING_KEY", key);
    const int p1 = ts::FreeLoopbackPort();
    int p2 = ts::FreeLoopbackPort();
    while (p2 == p1) p2 = ts::FreeLoopbackPort();
    ASSERT_EQ(Ctl({"create", "QM1", "-p", std::to_string(p1), "-D"}), 0);
    ASSERT_EQ(Ctl({"create", "QM2", "-p", std::to_string(p2)}), 0);
    ts::ServerOptions options;
    options.program = MQSIM_BIN;
    options.args = {"-m", root_.Sub("mqm"), "-s", "QM1", "-s", "QM2"};
    options.ready_text = "mqsim: ready";
    std::string error;
    ASSERT_TRUE(mqsim_.Start(options, &error)) << error;
  }

  void TearDown() override { mqsim_.Stop(); }

  int Ctl(std::vector<std::string> args) {
    ts::ServerOptions options;
    options.program = MQSIMCTL_BIN;
    options.args = {"-m", root_.Sub("mqm")};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.log_path = root_.Sub("ctl.log");
    std::string error;
    int status = ts::RunToExit(options, std::chrono::seconds(60), &error);
    EXPECT_GE(status, 0) << error;
    return status;
  }

  ts::TempDir root_{"harrow-path"};
  ts::ScopedEnv mqm_env_{"HARROWLINE_MQM", root_.Sub("mqm")};
  ts::ScopedEnv registry_env_{"HRLCOMPACT_REGISTRY", root_.Sub("registry")};
  std::optional<ts::ScopedEnv> key_env_;
  ts::ServerProcess mqsim_;
};

// Reads one frame from a non-blocking node, waiting up to five seconds.
int ReadFrame(mqPcfMessage* msg, mqnMQNodeData* node, mqcSignature credential) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    int rc = mnSRead(msg, node, 1, credential);
    if (rc == 1 || node->lastError != MN_ERR_WOULD_BLOCK) return rc;
    if (std::chrono::steady_clock::now() > deadline) return rc;
    pollfd p{node->socket.handle, POLLIN, 0};
    poll(&p, 1, 50);
  }
}

void SetName(MQCHAR* field, size_t width, const char* text) {
  std::memset(field, ' ', width);
  std::memcpy(field, text, std::min(width, std::strlen(text)));
}

TEST_F(CommandPath, ACommandCrossesASignedFrameAndAQueueManagerIntact) {
  mqcSignature credential = nullptr;
  ASSERT_EQ(mqc_get_signature(&credential), 1);

  // The console's request.
  mqPcfMessage* request = CreatePcfMessage(MQCMD_INQUIRE_Q_NAMES, MQCFT_COMMAND, 512);
  ASSERT_NE(request, nullptr);
  Message qm{};
  ASSERT_EQ(CreatePcfStrAttr(&qm, MQCA_Q_MGR_NAME, "QM1"), 1);
  ASSERT_EQ(AppendAttr(request, &qm), 1);
  DeleteMessage(&qm);
  ASSERT_EQ(BuildPcfCmd(request, "SYSTEM.*", 0), 1);
  std::snprintf(reinterpret_cast<char*>(MESSAGE_HEADER(&request->Body)->MsgId), 24, "LKOUT-%d", 1700000000);
  Show("console request", request);

  // One signed frame from the console's node to the server's.
  SocketAddress any{};
  std::strcpy(any.host, "127.0.0.1");
  std::strcpy(any.service, "0");
  std::strcpy(any.protocol, "tcp");
  mqnMQNodeData* server = CreateMQNode(&any, MQNODE_MODE_SERVER);
  ASSERT_NE(server, nullptr);
  SocketAddress to = any;
  std::snprintf(to.service, sizeof to.service, "%u", server->address.port);
  mqnMQNodeData* console = CreateMQNode(&to, MQNODE_MODE_CLIENT);
  ASSERT_NE(console, nullptr);
  mnOpen(console);
  pollfd p{server->socket.handle, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  ASSERT_EQ(mnOpen(server), 1);
  mqnMQNodeData* accepted = server->accepted;
  ASSERT_NE(accepted, nullptr);
  ASSERT_EQ(mnSWrite(request, console, 1, credential), 1) << console->lastError;
  while (mnIsPendingIO(console)) mnFinishWrite(console);

  mqPcfMessage* received = CreatePcfMessage(0, MQCFT_COMMAND, 0);
  ASSERT_EQ(ReadFrame(received, accepted, credential), 1) << accepted->lastError;
  Show("received by the server", received);
  ASSERT_EQ(PCF_BODY_LENGTH(received), PCF_BODY_LENGTH(request));
  EXPECT_EQ(std::memcmp(PCF_BODY(received), PCF_BODY(request), PCF_BODY_LENGTH(request)), 0);
  EXPECT_EQ(std::memcmp(MESSAGE_HEADER(&received->Body)->MsgId, "LKOUT-1700000000", 16), 0);

  // The agent's part: the body goes to the queue manager's command queue.
  // This scenario takes it off again in the command server's place, so the
  // queue manager's own command server stands aside.
  ASSERT_EQ(Ctl({"cmdserver", "QM1", "stop"}), 0);
  MQHCONN hconn = MQHC_UNUSABLE_HCONN;
  MQLONG cc = 0, reason = 0;
  MQCHAR qmgr[48];
  SetName(qmgr, 48, "QM1");
  MQCONN(qmgr, &hconn, &cc, &reason);
  ASSERT_EQ(cc, MQCC_OK) << reason;
  MQOD od{};
  std::memcpy(od.StrucId, MQOD_STRUC_ID, 4);
  od.Version = MQOD_VERSION_1;
  od.ObjectType = MQOT_Q;
  SetName(od.ObjectName, 48, "SYSTEM.ADMIN.COMMAND.QUEUE");
  MQMD md = received->Body.Md;
  md.Version = MQMD_VERSION_2;
  std::memcpy(md.Format, MQFMT_ADMIN, 8);
  MQPMO pmo{};
  std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
  pmo.Version = MQPMO_VERSION_1;
  pmo.Options = MQPMO_NO_SYNCPOINT | MQPMO_NEW_MSG_ID;
  MQPUT1(hconn, &od, &md, &pmo, PCF_BODY_LENGTH(received), PCF_BODY(received), &cc, &reason);
  ASSERT_EQ(cc, MQCC_OK) << reason;
  EXPECT_EQ(md.MsgType, MQMT_REQUEST);

  MQHOBJ hobj = MQHO_UNUSABLE_HOBJ;
  MQOPEN(hconn, &od, MQOO_INPUT_SHARED, &hobj, &cc, &reason);
  ASSERT_EQ(cc, MQCC_OK) << reason;
  mqPcfMessage* taken = CreatePcfMessage(0, MQCFT_COMMAND, 4096);
  MQMD got{};
  std::memcpy(got.StrucId, MQMD_STRUC_ID, 4);
  got.Version = MQMD_VERSION_2;
  MQGMO gmo{};
  std::memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
  gmo.Version = MQGMO_VERSION_1;
  gmo.Options = MQGMO_NO_SYNCPOINT | MQGMO_WAIT;
  gmo.WaitInterval = 5000;
  MQLONG length = 0;
  MQGET(hconn, hobj, &got, &gmo, taken->Body.Capacity - 136, PCF_BODY(taken), &length, &cc, &reason);
  ASSERT_EQ(cc, MQCC_OK) << reason;
  taken->Body.UsedLength = 136 + length;
  ASSERT_EQ(RawToPcf(taken), 1);
  Show("taken off SYSTEM.ADMIN.COMMAND.QUEUE on QM1", taken);
  EXPECT_EQ(std::memcmp(got.Format, "MQADMIN ", 8), 0);
  ASSERT_EQ(length, PCF_BODY_LENGTH(request));
  EXPECT_EQ(std::memcmp(PCF_BODY(taken), PCF_BODY(request), length), 0);
  MQCLOSE(hconn, &hobj, MQCO_NONE, &cc, &reason);
  MQDISC(&hconn, &cc, &reason);

  // The answer goes back over the same connection, and is kept as a file.
  ASSERT_EQ(ResetPcfMessage(received, MQCMD_INQUIRE_Q_NAMES, MQCFT_RESPONSE), 1);
  Message names{};
  ASSERT_EQ(CreatePcfStrListAttr(&names, 3011 /* MQCACF_Q_NAMES */, 0, 48), 1);
  ASSERT_EQ(SetPcfStrListAttrValue(&names, 0, "SYSTEM.ADMIN.COMMAND.QUEUE"), 1);
  ASSERT_EQ(SetPcfStrListAttrValue(&names, 1, "SYSTEM.DEAD.LETTER.QUEUE"), 1);
  ASSERT_EQ(AppendAttr(received, &names), 1);
  DeleteMessage(&names);
  ASSERT_EQ(RawToPcf(received), 1);
  ASSERT_EQ(mnSWrite(received, accepted, 1, credential), 1) << accepted->lastError;
  while (mnIsPendingIO(accepted)) mnFinishWrite(accepted);
  mqPcfMessage* reply = CreatePcfMessage(0, MQCFT_RESPONSE, 0);
  ASSERT_EQ(ReadFrame(reply, console, credential), 1) << console->lastError;
  Show("reply read by the console", reply);
  EXPECT_EQ(reply->Cfh->Type, MQCFT_RESPONSE);
  EXPECT_EQ(reply->Cfh->Command, MQCMD_INQUIRE_Q_NAMES);
  Message second{};
  ASSERT_EQ(GetAttrByID(3011, &second, reply), 1);
  char name[49];
  ASSERT_EQ(GetPcfStrListAttrValue(&second, 1, name, 48), 1);
  EXPECT_EQ(std::string(name).substr(0, 24), "SYSTEM.DEAD.LETTER.QUEUE");
  DeleteMessage(&second);

  std::string file = root_.Sub("reply.pcf");
  ASSERT_EQ(SerializePcfMessage(reply, file.c_str()), 1);
  mqPcfMessage* kept = DeserializePcfMessage(file.c_str());
  ASSERT_NE(kept, nullptr);
  ASSERT_EQ(PCF_BODY_LENGTH(kept), PCF_BODY_LENGTH(reply));
  EXPECT_EQ(std::memcmp(PCF_BODY(kept), PCF_BODY(reply), PCF_BODY_LENGTH(reply)), 0);

  for (mqPcfMessage* m : {request, received, taken, reply, kept}) DeletePcfMessage(m);
  DeleteMQNode(console);
  DeleteMQNode(accepted);
  DeleteMQNode(server);
  mqc_release_signature(&credential);
}

}  // namespace
