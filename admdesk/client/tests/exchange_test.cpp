// The request exchange, connect and register against a scripted group
// manager on loopback: what the real server will not do on demand (time-out,
// cancel, a reply of another request first, in-progress replies, events in
// between, a welcome event at once, a dropped connection).

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <string>
#include <vector>

#include "admclient/admclient.h"
#include "support/scripted_peer.h"

namespace admclient {
namespace {

using peertest::MakeEvent;
using peertest::MakeReply;
using peertest::PcfPtr;
using peertest::ScriptedPeer;

struct RecordingTrace : TraceSink {
  void AddCommandRow(const TraceRow& row) override { rows.push_back(row); }
  std::vector<TraceRow> rows;
};

struct RecordingEvents : EventSink {
  void AddEvent(int slot, const mqPcfMessage* event) override {
    reasons.push_back(event->Cfh->Reason);
    slots.push_back(slot);
  }
  void EndModalWait() override { ++modal_ends; }
  std::vector<MQLONG> reasons;
  std::vector<int> slots;
  int modal_ends = 0;
};

// A console with a temporary profile and log directory whose slot 1 points
// at a scripted peer; the dialog's steps are short so that time-outs take about a second.
class ExchangeTest : public ::testing::Test {
 protected:
  ExchangeTest()
      : profile_(dir_.path() + "/admdesk.ini"),
        clock_(1765400000),
        log_(clock_, dir_.path() + "/logs"),
        results_(clock_, &trace_, &log_, "tester") {
    peertest::UseSigningKey(dir_);
    setenv("HRLCOMPACT", dir_.path().c_str(), 1);
    // The first wait is long enough that a loaded machine still answers the
    // registration inside it (a dialog begun during the connect would be
    // counted by the tests that follow the dialog); the steps stay short.
    policy_.first_wait_ms = 1000;
    policy_.step_ms = 20;
    policy_.budget_steps = 5;
  }

  void ConfigureSlot(int n, const std::string& port, const std::string& auth = "Disabled") {
    profile_.WriteString("Connections", "IP-Address_" + std::to_string(n), "127.0.0.1");
    profile_.WriteString("Connections", "Host-Name_" + std::to_string(n), "localhost");
    profile_.WriteString("Connections", "IP-Port_" + std::to_string(n), port);
    profile_.WriteString("Connections", "Authenticate_" + std::to_string(n), auth);
  }

  ServerClient& Client(WaitUi* ui = nullptr) {
    client_ = std::make_unique<ServerClient>(profile_, prompter_, ui ? *ui : quiet_, clock_,
                                             results_, &events_, policy_);
    return *client_;
  }

  // Connects slot 1 to peer and answers the registration.
  bool ConnectTo(ScriptedPeer& peer, const std::string& auth = "Disabled",
                 WaitUi* ui = nullptr) {
    ConfigureSlot(1, peer.port_text(), auth);
    profile_.WriteInt("Connections", "Number of Connections", 1);
    std::vector<bool> outcome = Client(ui).ConnectAll();
    return outcome.size() == 1 && outcome[0];
  }

  peertest::TempDir dir_;
  IniProfile profile_;
  FixedClock clock_;
  CommandLog log_;
  RecordingTrace trace_;
  ResultLog results_;
  ScriptedPrompter prompter_;
  QuietWaitUi quiet_;
  RecordingEvents events_;
  WaitPolicy policy_;
  std::unique_ptr<ServerClient> client_;
};

// Answers the registration of a console that just connected.
void AnswerRegistration(ScriptedPeer& peer) {
  ASSERT_TRUE(peer.Accept());
  PcfPtr request = peer.Read();
  ASSERT_TRUE(request);
  PcfPtr reply = MakeReply(request.get(), 0, 0);
  peer.Send(reply.get());
}

PcfPtr Request(MQLONG command) {
  PcfPtr request(CreatePcfMessage(command, 1, 512));
  CPCF::AddStrParm("GROUP1", MANAGER_NAME, request.get());
  CPCF::AddStrParm("NODE1", MQNODE_NAME, request.get());
  CPCF::AddStrParm("QM1", 2015, request.get());
  CPCF::AddStrParm("Q.ONE", 2016, request.get());
  return request;
}

TEST_F(ExchangeTest, RegistrationSendsOpenEventWithStarManagerFlagAndStampedId) {
  for (int flag : {0, 1}) {
    SCOPED_TRACE(flag);
    ScriptedPeer peer;
    peer.Run([](ScriptedPeer& p) { AnswerRegistration(p); });
    ConfigureSlot(1, peer.port_text());
    profile_.WriteInt("Connections", "Number of Connections", 1);
    profile_.WriteInt("Connections", "ReceiveEvents_1", flag);
    std::vector<bool> outcome = Client().ConnectAll();
    peer.Join();
    ASSERT_EQ(outcome, std::vector<bool>{true});
    EXPECT_EQ(profile_.GetString("Connections", "Connection-Status_1"), "Connected");
    ASSERT_EQ(peer.received().size(), 1u);
    const std::vector<unsigned char>& bytes = peer.received()[0];
    ASSERT_GE(bytes.size(), 136u + 36u);
    MessageHeader header;
    std::memcpy(&header, bytes.data(), sizeof header);
    EXPECT_EQ(header.ReplyTag, 1);  // the header's last word
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(header.MsgId), 6), "LKOUT-");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(header.MsgId)), "LKOUT-1765400000");
    MQCFH cfh;
    std::memcpy(&cfh, bytes.data() + 136, sizeof cfh);
    EXPECT_EQ(cfh.Type, 1);
    EXPECT_EQ(cfh.Command, EXCMD_OPEN_EVENT);
    EXPECT_EQ(cfh.ParameterCount, 2);
    // First parameter: MQCFST 20006 "*"; second: MQCFIN 20139 = flag.
    MQLONG words[5];
    std::memcpy(words, bytes.data() + 136 + 36, sizeof words);
    EXPECT_EQ(words[0], MQCFT_STRING);
    EXPECT_EQ(words[2], MANAGER_NAME);
    EXPECT_EQ(words[4], 1);  // string length
    EXPECT_EQ(bytes[136 + 36 + 20], '*');
    size_t second = 136 + 36 + static_cast<size_t>(words[1]);
    MQLONG integer[4];
    std::memcpy(integer, bytes.data() + second, sizeof integer);
    EXPECT_EQ(integer[0], MQCFT_INTEGER);
    EXPECT_EQ(integer[2], 20139);
    EXPECT_EQ(integer[3], flag);
    client_.reset();
  }
}

TEST_F(ExchangeTest, SignedConnectionWhenAuthenticateIsEmptyOrEnabled) {
  for (const char* auth : {"", "Enabled"}) {
    SCOPED_TRACE(auth);
    ScriptedPeer peer(/*secure=*/true);
    peer.Run([](ScriptedPeer& p) { AnswerRegistration(p); });
    EXPECT_TRUE(ConnectTo(peer, auth));
    peer.Join();
    EXPECT_EQ(client_->cpcf().authenticate[1], 1);
    ASSERT_EQ(peer.received().size(), 1u);
    client_.reset();
  }
}

TEST_F(ExchangeTest, AuthenticateTextOtherThanEnabledSendsPlainFrames) {
  for (const char* auth : {"Disabled", "enabled", "ENABLED"}) {
    SCOPED_TRACE(auth);
    ScriptedPeer peer(/*secure=*/false);
    peer.Run([](ScriptedPeer& p) { AnswerRegistration(p); });
    EXPECT_TRUE(ConnectTo(peer, auth));
    peer.Join();
    EXPECT_EQ(client_->cpcf().authenticate[1], 0);
    client_.reset();
  }
}

TEST_F(ExchangeTest, WelcomeEventSentAtOnceIsNotTakenForTheRegistrationReply) {
  ScriptedPeer peer;
  peer.Run([](ScriptedPeer& p) {
    ASSERT_TRUE(p.Accept());
    PcfPtr welcome = MakeEvent(EXCMD_MANAGER_EVENT, 20103);
    p.Send(welcome.get());
    PcfPtr request = p.Read();
    ASSERT_TRUE(request);
    // A refusal, so that taking the welcome for the reply would show.
    PcfPtr reply = MakeReply(request.get(), 2, 3019);
    p.Send(reply.get());
  });
  ConfigureSlot(1, peer.port_text());
  profile_.WriteInt("Connections", "Number of Connections", 1);
  std::vector<bool> outcome = Client().ConnectAll();
  peer.Join();
  ASSERT_EQ(outcome, std::vector<bool>{true});
  EXPECT_EQ(events_.reasons, std::vector<MQLONG>{20103});
  // The refused registration is reported as a failed command.
  ASSERT_EQ(trace_.rows.size(), 1u);
  EXPECT_EQ(trace_.rows[0].result_line, "(RC - 3019), CMD - EXCMD_OPEN_EVENT - Failed!");
}

TEST_F(ExchangeTest, NoReplyWithinTheBudgetTimesOutWith10060) {
  ScriptedPeer peer;
  peer.Run([](ScriptedPeer& p) {
    AnswerRegistration(p);
    p.Read();  // the request, never answered
    p.WaitForRelease();
  });
  ASSERT_TRUE(ConnectTo(peer));
  PcfPtr request = Request(MQCMD_CHANGE_Q);
  PcfPtr reply(CreatePcfMessage(MQCMD_CHANGE_Q, 2, 512));
  EXPECT_EQ(client_->Exchange(request.get(), reply.get()), ServerClient::Outcome::kNoReply);
  peer.Release();
  EXPECT_EQ(client_->cpcf().node[1]->lastError, 10060);
  EXPECT_EQ(client_->busy(), 0);
  EXPECT_EQ(quiet_.begun(), 1);
  EXPECT_EQ(quiet_.ended(), 1);
  EXPECT_EQ(quiet_.text(), "Connection: 127.0.0.1(" + peer.port_text() + ")");
  EXPECT_EQ(quiet_.position(), policy_.first_advance + policy_.budget_steps);
  ASSERT_EQ(prompter_.shown().size(), 1u);
  EXPECT_EQ(prompter_.shown()[0].text,
            "Reading from 127.0.0.1 has failed\nwith error code: 10060\n"
            "Comment: Connection could not be established due to a timeout");
  EXPECT_TRUE(trace_.rows.empty());
}

TEST_F(ExchangeTest, CancelInTheProgressDialogEndsTheWaitWith10053) {
  ScriptedPeer peer;
  peer.Run([](ScriptedPeer& p) {
    AnswerRegistration(p);
    p.Read();
    p.WaitForRelease();
  });
  QuietWaitUi cancelling(/*cancel_after_steps=*/2);
  ASSERT_TRUE(ConnectTo(peer, "Disabled", &cancelling));
  ServerClient& other = *client_;
  PcfPtr request = Request(MQCMD_DELETE_Q);
  PcfPtr reply(CreatePcfMessage(MQCMD_DELETE_Q, 2, 512));
  EXPECT_EQ(other.Exchange(request.get(), reply.get()), ServerClient::Outcome::kNoReply);
  peer.Release();
  EXPECT_EQ(other.cpcf().node[1]->lastError, 10053);
  EXPECT_EQ(cancelling.ended(), 1);
  EXPECT_EQ(cancelling.position(), policy_.first_advance + policy_.budget_steps);
  ASSERT_EQ(prompter_.shown().size(), 1u);
  EXPECT_EQ(prompter_.shown()[0].text,
            "Reading from 127.0.0.1 has failed\nwith error code: 10053\n"
            "Comment: Connection has been broken or aborted because of the timeout or some "
            "other failure");
}

TEST_F(ExchangeTest, ReplyOfAnotherRequestFirstGoesToTheLatePathAndTheMatchIsReturned) {
  ScriptedPeer peer;
  peer.Run([](ScriptedPeer& p) {
    AnswerRegistration(p);
    PcfPtr request = p.Read();
    ASSERT_TRUE(request);
    // A late reply of an earlier request: same command, another id.
    PcfPtr stray = MakeReply(request.get(), 2, 2085);
    std::memcpy(stray->Body.Storage + 16, "LKOUT-1", 8);
    CPCF::AddStrParm("STRAY.Q", 2016, stray.get());
    p.Send(stray.get());
    PcfPtr reply = MakeReply(request.get(), 0, 0);
    CPCF::AddStrParm("Q.ONE", 2016, reply.get());
    p.Send(reply.get());
  });
  ASSERT_TRUE(ConnectTo(peer));
  PcfPtr request = Request(MQCMD_CHANGE_Q);
  PcfPtr reply(CreatePcfMessage(MQCMD_CHANGE_Q, 2, 512));
  EXPECT_EQ(client_->Exchange(request.get(), reply.get()), ServerClient::Outcome::kReplied);
  peer.Join();
  EXPECT_EQ(reply->Cfh->CompCode, 0);
  EXPECT_EQ(peertest::StringParam(reply.get(), 2016), "Q.ONE");
  EXPECT_TRUE(ServerClient::IsReplyTo(request.get(), reply.get()));
  ASSERT_EQ(trace_.rows.size(), 2u);
  EXPECT_EQ(trace_.rows[0].result_line, "(RC - 2085), CMD - MQCMD_CHANGE_Q - Failed!");
  EXPECT_EQ(trace_.rows[0].object_path, "\\\\\\STRAY.Q");
  EXPECT_EQ(trace_.rows[1].result_line, "(RC - 0), CMD - MQCMD_CHANGE_Q - OK!");
  EXPECT_EQ(events_.modal_ends, 2);
}

TEST_F(ExchangeTest, InProgressRepliesAreReadAgainUntilTheFinalReply) {
  ScriptedPeer peer;
  peer.Run([](ScriptedPeer& p) {
    AnswerRegistration(p);
    PcfPtr request = p.Read();
    ASSERT_TRUE(request);
    PcfPtr progress = MakeReply(request.get(), 1, 20107);
    p.Send(progress.get());
    PcfPtr event = MakeEvent(EXCMD_ALTER_EVENT, 20002);
    p.Send(event.get());
    p.Send(progress.get());
    // The agent's answer, relayed: the group manager's connection number in
    // the id's first word.
    PcfPtr done = MakeReply(request.get(), 0, 0);
    MQLONG connection = 7;
    std::memcpy(done->Body.Storage + 16, &connection, sizeof connection);
    p.Send(done.get());
  });
  ASSERT_TRUE(ConnectTo(peer));
  PcfPtr request = Request(MQCMD_CLEAR_Q);
  PcfPtr reply(CreatePcfMessage(MQCMD_CLEAR_Q, 2, 512));
  EXPECT_EQ(client_->Exchange(request.get(), reply.get()), ServerClient::Outcome::kReplied);
  peer.Join();
  EXPECT_EQ(reply->Cfh->CompCode, 0);
  EXPECT_EQ(events_.reasons, std::vector<MQLONG>{20002});
  ASSERT_EQ(trace_.rows.size(), 3u);
  EXPECT_EQ(trace_.rows[0].result_line, "(RC - 20107), CMD - MQCMD_CLEAR_Q - In Progress!");
  EXPECT_EQ(trace_.rows[0].image, kResultImageInProgress);
  EXPECT_EQ(trace_.rows[2].result_line, "(RC - 0), CMD - MQCMD_CLEAR_Q - OK!");
}

TEST_F(ExchangeTest, WithoutRereadTheInProgressReplyIsReturned) {
  ScriptedPeer peer;
  peer.Run([](ScriptedPeer& p) {
    AnswerRegistration(p);
    PcfPtr request = p.Read();
    ASSERT_TRUE(request);
    PcfPtr progress = MakeReply(request.get(), 1, 20107);
    p.Send(progress.get());
  });
  ASSERT_TRUE(ConnectTo(peer));
  PcfPtr request = Request(MQCMD_CLEAR_Q);
  PcfPtr reply(CreatePcfMessage(MQCMD_CLEAR_Q, 2, 512));
  EXPECT_EQ(client_->Exchange(request.get(), reply.get(), /*reread_in_progress=*/false),
            ServerClient::Outcome::kReplied);
  peer.Join();
  EXPECT_EQ(reply->Cfh->Reason, 20107);
}

TEST_F(ExchangeTest, ReplyArrivingInPiecesIsAssembledAcrossWaits) {
  ScriptedPeer peer;
  peer.Run([](ScriptedPeer& p) {
    AnswerRegistration(p);
    PcfPtr request = p.Read();
    ASSERT_TRUE(request);
    PcfPtr reply = MakeReply(request.get(), 0, 0);
    std::vector<unsigned char> frame = ScriptedPeer::PlainFrame(reply.get());
    p.SendRaw({frame.begin(), frame.begin() + 60});
    p.WaitForRelease();  // the console is waiting on the rest now
    p.SendRaw({frame.begin() + 60, frame.end()});
  });
  ASSERT_TRUE(ConnectTo(peer));
  PcfPtr request = Request(MQCMD_INQUIRE_Q);
  PcfPtr reply(CreatePcfMessage(MQCMD_INQUIRE_Q, 2, 512));
  ASSERT_EQ(client_->SendToGroupManager(request.get()), 1);
  // Each first wait sees the partial frame, reads it without blocking and
  // waits again; the peer sends the rest after the first few rounds.
  std::thread release([&peer] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    peer.Release();
  });
  EXPECT_EQ(client_->ReceiveFromGroupManager(reply.get()), 1);
  release.join();
  peer.Join();
  EXPECT_EQ(reply->Cfh->Command, MQCMD_INQUIRE_Q);
  EXPECT_EQ(reply->Cfh->CompCode, 0);
}

TEST_F(ExchangeTest, PeerStallingMidFrameTimesOutInsteadOfHanging) {
  ScriptedPeer peer;
  peer.Run([](ScriptedPeer& p) {
    AnswerRegistration(p);
    PcfPtr request = p.Read();
    ASSERT_TRUE(request);
    PcfPtr reply = MakeReply(request.get(), 0, 0);
    std::vector<unsigned char> frame = ScriptedPeer::PlainFrame(reply.get());
    p.SendRaw({frame.begin(), frame.begin() + 60});
    p.WaitForRelease();
  });
  ASSERT_TRUE(ConnectTo(peer));
  PcfPtr request = Request(MQCMD_CHANGE_Q);
  PcfPtr reply(CreatePcfMessage(MQCMD_CHANGE_Q, 2, 512));
  EXPECT_EQ(client_->Exchange(request.get(), reply.get()), ServerClient::Outcome::kNoReply);
  peer.Release();
  EXPECT_EQ(client_->cpcf().node[1]->lastError, 10060);
}

TEST_F(ExchangeTest, EventsBeforeTheReplyAllReachTheEventPane) {
  ScriptedPeer peer;
  peer.Run([](ScriptedPeer& p) {
    AnswerRegistration(p);
    PcfPtr request = p.Read();
    ASSERT_TRUE(request);
    for (MQLONG reason : {2224, 2225, 20016}) {
      PcfPtr event = MakeEvent(MQCMD_PERFM_EVENT, reason);
      p.Send(event.get());
    }
    PcfPtr reply = MakeReply(request.get(), 0, 0);
    p.Send(reply.get());
  });
  ASSERT_TRUE(ConnectTo(peer));
  PcfPtr request = Request(MQCMD_INQUIRE_Q);
  PcfPtr reply(CreatePcfMessage(MQCMD_INQUIRE_Q, 2, 512));
  EXPECT_EQ(client_->Exchange(request.get(), reply.get()), ServerClient::Outcome::kReplied);
  peer.Join();
  EXPECT_EQ(events_.reasons, (std::vector<MQLONG>{2224, 2225, 20016}));
  EXPECT_EQ(events_.slots, (std::vector<int>{1, 1, 1}));
  EXPECT_TRUE(trace_.rows.empty());  // an inquiry is not an action command
  EXPECT_EQ(quiet_.begun(), 0);      // replies within the first wait show no dialog
}

TEST_F(ExchangeTest, DroppedConnectionIsClosedByThePollAndMarkedNotConnected) {
  ScriptedPeer peer;
  peer.Run([](ScriptedPeer& p) {
    AnswerRegistration(p);
    PcfPtr late = MakeEvent(EXCMD_STATE_EVENT, 20015);
    p.Send(late.get());
    p.Close();
  });
  ASSERT_TRUE(ConnectTo(peer));
  peer.Join();
  EXPECT_TRUE(client_->PollConnections(2000).empty());  // the event
  EXPECT_EQ(events_.reasons, std::vector<MQLONG>{20015});
  EXPECT_EQ(client_->PollConnections(2000), std::vector<int>{1});
  EXPECT_EQ(client_->cpcf().node[1], nullptr);
  EXPECT_EQ(client_->cpcf().connected[1], 0);
  EXPECT_EQ(profile_.GetString("Connections", "Connection-Status_1"), "Not-Connected");
  PcfPtr request = Request(MQCMD_CHANGE_Q);
  PcfPtr reply(CreatePcfMessage(MQCMD_CHANGE_Q, 2, 512));
  EXPECT_EQ(client_->Exchange(request.get(), reply.get()), ServerClient::Outcome::kNotSent);
}

TEST_F(ExchangeTest, ConnectRefusedIsToldAndLeavesNoNode) {
  int port = harrow::testsupport::FreeLoopbackPort();
  ConfigureSlot(1, std::to_string(port));
  profile_.WriteInt("Connections", "Number of Connections", 1);
  EXPECT_EQ(Client().ConnectAll(), std::vector<bool>{false});
  EXPECT_EQ(client_->cpcf().node[1], nullptr);
  EXPECT_EQ(profile_.GetString("Connections", "Connection-Status_1"), "Not-Connected");
  ASSERT_EQ(prompter_.shown().size(), 1u);
  EXPECT_EQ(prompter_.shown()[0].text,
            "Connection to 127.0.0.1(" + std::to_string(port) +
                ") has failed\nwith error code: 10061\nComment: Connection has been rejected by "
                "the remote side either because the desired service is not running or it is "
                "running on another port");
}

TEST_F(ExchangeTest, PortsOutsideOneTo65535AreRefusedBeforeConnecting) {
  for (const char* port : {"0", "65536", "99999", "4a", "", "-1"}) {
    SCOPED_TRACE(port);
    prompter_.Clear();
    ConfigureSlot(1, port);
    profile_.WriteInt("Connections", "Number of Connections", 1);
    EXPECT_EQ(Client().ConnectAll(), std::vector<bool>{false});
    EXPECT_EQ(client_->cpcf().node[1], nullptr);
    ASSERT_EQ(prompter_.shown().size(), 1u);
    EXPECT_NE(prompter_.shown()[0].text.find("is not a number from 1 to 65535"),
              std::string::npos);
  }
}

TEST_F(ExchangeTest, AddressZeroOrEmptyConnectsByHostName) {
  for (const char* ip : {"0.0.0.0", ""}) {
    SCOPED_TRACE(ip);
    ScriptedPeer peer;
    peer.Run([](ScriptedPeer& p) { AnswerRegistration(p); });
    ConfigureSlot(1, peer.port_text());
    profile_.WriteString("Connections", "IP-Address_1", ip);
    profile_.WriteString("Connections", "Host-Name_1", "127.0.0.1");
    profile_.WriteInt("Connections", "Number of Connections", 1);
    EXPECT_EQ(Client().ConnectAll(), std::vector<bool>{true});
    peer.Join();
    client_.reset();
  }
}

TEST_F(ExchangeTest, ListLongerThanTheTableConnectsOnlyTheFirst29) {
  int port = harrow::testsupport::FreeLoopbackPort();
  for (int n = 1; n <= 31; ++n) ConfigureSlot(n, std::to_string(port));
  profile_.WriteInt("Connections", "Number of Connections", 31);
  std::vector<bool> outcome = Client().ConnectAll();
  EXPECT_EQ(outcome.size(), 29u);
  ASSERT_FALSE(prompter_.shown().empty());
  EXPECT_NE(prompter_.shown()[0].text.find("first 29 of the 31"), std::string::npos);
}

TEST_F(ExchangeTest, NoGroupManagerConfiguredRunsTheEditorThenGivesUp) {
  int edits = 0;
  EXPECT_TRUE(Client().ConnectAll([&] { ++edits; }).empty());
  EXPECT_EQ(edits, 1);
  EXPECT_FALSE(client_->ConnectGroupManager());
  ASSERT_EQ(prompter_.shown().size(), 1u);
  EXPECT_EQ(prompter_.shown()[0].text, "No Group Managers have been defined!");
}

TEST_F(ExchangeTest, RequestIdsStrictlyIncreaseInTheirTextFormat) {
  ServerClient& client = Client();
  PcfPtr request = Request(MQCMD_CHANGE_Q);
  auto id_of = [&] {
    client.NewRequestId(request.get());
    return std::string(reinterpret_cast<const char*>(request->Body.Storage + 16));
  };
  EXPECT_EQ(id_of(), "LKOUT-1765400000");
  EXPECT_EQ(id_of(), "LKOUT-1765400001");
  EXPECT_EQ(id_of(), "LKOUT-1765400002");
  clock_.Set(1765400100);
  EXPECT_EQ(id_of(), "LKOUT-1765400100");
  clock_.Set(1765300000);  // the clock went back
  EXPECT_EQ(id_of(), "LKOUT-1765400101");
  EXPECT_EQ(client.request_counter(), 5);
  // The 24 bytes after the text are NULs.
  for (int i = 16 + 16; i < 40; ++i) EXPECT_EQ(request->Body.Storage[i], 0) << i;
}

TEST_F(ExchangeTest, ReplyMatchNeedsTheCommandAndTheIdBeyondItsFirstWord) {
  ServerClient& client = Client();
  PcfPtr request = Request(MQCMD_CHANGE_Q);
  client.NewRequestId(request.get());
  PcfPtr same = MakeReply(request.get(), 0, 0);
  EXPECT_TRUE(ServerClient::IsReplyTo(request.get(), same.get()));
  MQLONG connection = 42;
  std::memcpy(same->Body.Storage + 16, &connection, 4);
  EXPECT_TRUE(ServerClient::IsReplyTo(request.get(), same.get()));
  same->Body.Storage[30] ^= 1;
  EXPECT_FALSE(ServerClient::IsReplyTo(request.get(), same.get()));
  PcfPtr other(CreatePcfMessage(MQCMD_DELETE_Q, 2, 64));
  std::memcpy(other->Body.Storage + 16, request->Body.Storage + 16, 24);
  EXPECT_FALSE(ServerClient::IsReplyTo(request.get(), other.get()));
}

TEST(ProfileRules, AuthenticateAndPortTexts) {
  struct {
    const char* text;
    int flag;
  } auth[] = {{"", 1}, {"Enabled", 1}, {"Disabled", 0}, {"enabled", 0}, {"Enabled ", 0}};
  for (const auto& c : auth) EXPECT_EQ(AuthenticateFlag(c.text), c.flag) << c.text;
  struct {
    const char* text;
    int port;
  } ports[] = {{"1", 1},     {"4005", 4005}, {"65535", 65535}, {"65536", 0}, {"0", 0},
               {"99999", 0}, {"", 0},        {" 80", 0},       {"80x", 0},   {"000080", 0}};
  for (const auto& c : ports) EXPECT_EQ(ParsePort(c.text), c.port) << c.text;
}

}  // namespace
}  // namespace admclient
