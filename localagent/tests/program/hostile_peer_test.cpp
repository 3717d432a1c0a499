// The agent against a peer that lies: frames with false lengths and
// counts, bodies that cannot be read, datagrams of every size, commands
// it does not know. Each time the agent answers or closes that one
// connection, and goes on serving everybody else.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <pcfcore/excmd.h>

#include "agent_fixture.h"

namespace localagent::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
namespace ts = harrow::testsupport;
using ts::AppendStringRecord;
using ts::Bytes;
using ts::PcfCommand;
using ts::PcfCompCode;
using ts::PcfReason;
using ts::PutWord;
using ts::RawTcpPeer;

Bytes Cfh(int32_t command, int32_t parameter_count, int32_t type = MQCFT_COMMAND) {
  return ts::PcfHeader(command, parameter_count, type);
}
Bytes Frame(const Bytes& body, std::optional<int32_t> length_word = std::nullopt) {
  return ts::PlainFrame(body, length_word);
}

// Resident memory of a process in kilobytes, -1 when unknown.
long ResidentKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

class HostilePeerTest : public AgentTest {
 protected:
  void StartPlain() {
    ASSERT_TRUE(StartAgent({"-console", "-s" + std::to_string(agent_port_), "-q"}));
  }
  // A well-formed command on a fresh connection is still answered.
  void ExpectStillServing() {
    RawTcpPeer other(agent_port_);
    ASSERT_TRUE(other.connected());
    Bytes body = Cfh(EXCMD_INQUIRE_Q_MGR_NAMES, 0);
    ASSERT_TRUE(other.Send(Frame(body)));
    std::optional<Bytes> got = other.ReceiveBody(seconds(10));
    ASSERT_TRUE(got.has_value()) << Output();
    EXPECT_EQ(PcfCommand(*got), EXCMD_INQUIRE_Q_MGR_NAMES);
    EXPECT_EQ(PcfCompCode(*got), 0);
    EXPECT_EQ(agent_.Running(), true);
  }
};

TEST_F(HostilePeerTest, ABodyThatCannotBeReadIsAnsweredAndNeverRun) {
  ASSERT_NO_FATAL_FAILURE(StartPlain());
  RawTcpPeer peer(agent_port_);
  ASSERT_TRUE(peer.connected());
  // A good command with a parameter first, so that the connection's
  // message has records indexed when the bad one arrives.
  Bytes good = Cfh(EXCMD_INQUIRE_Q_MGR_NAMES, 1);
  AppendStringRecord(&good, 20908, "*");
  ASSERT_TRUE(peer.Send(Frame(good)));
  ASSERT_TRUE(peer.ReceiveBody(seconds(10)).has_value()) << Output();

  // Shutdown requests whose bodies lie: a count of records that are not
  // there, a record longer than the body, a negative count, and one large
  // enough that the connection's message must grow for it. None of them
  // may stop the agent; each is answered as unreadable.
  struct Case {
    const char* what;
    Bytes body;
  };
  std::vector<Case> cases;
  cases.push_back({"count of absent records", Cfh(EXCMD_SHUTDOWN_MANAGER, 3)});
  {
    Bytes body = Cfh(EXCMD_SHUTDOWN_MANAGER, 1);
    AppendStringRecord(&body, 2015, "QM1");
    PutWord(&body, 36 + 4, 1 << 20);  // record length beyond the body
    cases.push_back({"record longer than the body", body});
  }
  cases.push_back({"negative count", Cfh(EXCMD_SHUTDOWN_MANAGER, -5)});
  {
    Bytes body = Cfh(EXCMD_SHUTDOWN_MANAGER, 2);
    AppendStringRecord(&body, 2015, std::string(100000, 'Q'));
    cases.push_back({"large body, one record missing", body});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(peer.Send(Frame(c.body)));
    std::optional<Bytes> got = peer.ReceiveBody(seconds(10));
    ASSERT_TRUE(got.has_value()) << Output();
    EXPECT_EQ(PcfCommand(*got), EXCMD_SHUTDOWN_MANAGER);
    EXPECT_EQ(PcfCompCode(*got), MQCC_FAILED);
    EXPECT_EQ(PcfReason(*got), 3013);  // MQRCCF_STRUCTURE_TYPE_ERROR
    EXPECT_TRUE(agent_.Running()) << Output();
  }
  // A body too short for a PCF header: nothing to answer to, nothing run.
  ASSERT_TRUE(peer.Send(Frame(Bytes{1, 0, 0, 0})));
  EXPECT_FALSE(peer.ReceiveBody(milliseconds(500)).has_value());
  // The same connection goes on.
  ASSERT_TRUE(peer.Send(Frame(good)));
  std::optional<Bytes> got = peer.ReceiveBody(seconds(10));
  ASSERT_TRUE(got.has_value()) << Output();
  EXPECT_EQ(PcfCommand(*got), EXCMD_INQUIRE_Q_MGR_NAMES);
  EXPECT_TRUE(agent_.Running());
}

TEST_F(HostilePeerTest, LyingLengthWordsCloseOnlyThatConnection) {
  ASSERT_NO_FATAL_FAILURE(StartPlain());
  struct Case {
    const char* what;
    Bytes bytes;
  };
  Bytes body = Cfh(EXCMD_INQUIRE_Q_MGR_NAMES, 0);
  Bytes wrong_first_word = Frame(body);
  PutWord(&wrong_first_word, 0, 135);
  const Case cases[] = {
      {"zero body length", Frame(body, 0)},
      {"negative body length", Frame(body, -36)},
      {"most negative body length", Frame(body, INT32_MIN)},
      {"body length over the limit", Frame(body, 0x7fffffff)},
      {"header length not 136", wrong_first_word},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RawTcpPeer peer(agent_port_);
    ASSERT_TRUE(peer.connected());
    ASSERT_TRUE(peer.Send(c.bytes));
    EXPECT_TRUE(peer.ClosedWithin(seconds(10)));
  }
  // A frame cut short and a peer that then says nothing more: the
  // connection waits for the rest without holding up anybody else.
  RawTcpPeer slow(agent_port_);
  ASSERT_TRUE(slow.connected());
  Bytes frame = Frame(body);
  ASSERT_TRUE(slow.Send(Bytes(frame.begin(), frame.begin() + 70)));
  ASSERT_NO_FATAL_FAILURE(ExpectStillServing());
  // Its rest, long after, completes it.
  ASSERT_TRUE(slow.Send(Bytes(frame.begin() + 70, frame.end())));
  std::optional<Bytes> got = slow.ReceiveBody(seconds(10));
  ASSERT_TRUE(got.has_value()) << Output();
  EXPECT_EQ(PcfCommand(*got), EXCMD_INQUIRE_Q_MGR_NAMES);
}

TEST_F(HostilePeerTest, UnknownCommandsAndNonCommandsAreAnsweredOrIgnored) {
  ASSERT_NO_FATAL_FAILURE(StartPlain());
  RawTcpPeer peer(agent_port_);
  ASSERT_TRUE(peer.connected());
  // Commands nobody knows go the standard way: without a queue manager
  // selected, 2059.
  for (int32_t command : {0, -1, 99999, INT32_MAX, INT32_MIN}) {
    SCOPED_TRACE(command);
    ASSERT_TRUE(peer.Send(Frame(Cfh(command, 0))));
    std::optional<Bytes> got = peer.ReceiveBody(seconds(10));
    ASSERT_TRUE(got.has_value()) << Output();
    EXPECT_EQ(PcfCommand(*got), command);
    EXPECT_EQ(PcfCompCode(*got), MQCC_FAILED);
    EXPECT_EQ(PcfReason(*got), 2059);
  }
  // Message requests before a queue manager is selected: 2059 as well.
  ASSERT_TRUE(peer.Send(Frame(Cfh(10300, 0))));
  std::optional<Bytes> got = peer.ReceiveBody(seconds(10));
  ASSERT_TRUE(got.has_value()) << Output();
  EXPECT_EQ(PcfReason(*got), 2059);
  // A response or an event from the client is not answered.
  ASSERT_TRUE(peer.Send(Frame(Cfh(EXCMD_SHUTDOWN_MANAGER, 0, MQCFT_RESPONSE))));
  EXPECT_TRUE(WaitOutput("TLX1116W Response from client not legal, ignored")) << Output();
  EXPECT_TRUE(agent_.Running());
  ASSERT_NO_FATAL_FAILURE(ExpectStillServing());
}

TEST_F(HostilePeerTest, AClientThatDoesNotReadItsRepliesIsNotReadEither) {
  ASSERT_NO_FATAL_FAILURE(StartPlain());
  RawTcpPeer peer(agent_port_);
  ASSERT_TRUE(peer.connected());
  // Each inquiry carries a long queue name that its reply repeats: a few
  // thousand of them, never read, would pile up 96 MB of replies.
  constexpr int kRequests = 6000;
  Bytes body = Cfh(EXCMD_INQUIRE_Q_MGR_NAMES, 1);
  AppendStringRecord(&body, 2016, std::string(16000, 'Q'));
  const Bytes frame = Frame(body);
  const long before = ResidentKb(agent_.pid());
  ASSERT_GT(before, 0);
  std::atomic<int> sent{0};
  std::thread sender([&] {
    for (int i = 0; i < kRequests && peer.Send(frame); ++i) ++sent;
  });
  // Until the sender is held up by the agent (or done).
  int last = -1;
  auto still_since = std::chrono::steady_clock::now();
  harrow::testsupport::WaitFor([&] {
    int now = sent.load();
    if (now != last) {
      last = now;
      still_since = std::chrono::steady_clock::now();
    }
    return now == kRequests || std::chrono::steady_clock::now() - still_since > milliseconds(1500);
  }, seconds(20));
  const long after = ResidentKb(agent_.pid());
  EXPECT_LT(after - before, 48 * 1024) << "sent " << sent.load() << " of " << kRequests;
  // Once the client reads, every reply comes, in order, on the same
  // connection.
  int replies = 0;
  for (; replies < kRequests; ++replies) {
    std::optional<Bytes> got = peer.ReceiveBody(seconds(10));
    if (!got.has_value()) break;
    ASSERT_EQ(PcfCommand(*got), EXCMD_INQUIRE_Q_MGR_NAMES);
  }
  sender.join();
  EXPECT_EQ(replies, kRequests);
  EXPECT_TRUE(agent_.Running());
}

TEST_F(HostilePeerTest, DatagramsOfEverySizeAreDropped) {
  ASSERT_NO_FATAL_FAILURE(StartPlain());
  Bytes body = Cfh(EXCMD_SHUTDOWN_MANAGER, 0);
  Bytes frame = Frame(body);
  Bytes short_length = frame;
  PutWord(&short_length, 64, 1);
  Bytes long_length = frame;
  PutWord(&long_length, 64, 4000);
  Bytes negative_length = frame;
  PutWord(&negative_length, 64, -1);
  Bytes unreadable = Frame(Cfh(EXCMD_SHUTDOWN_MANAGER, 9));
  const Bytes datagrams[] = {Bytes{},          Bytes{0x88},     Bytes(135, 0), Bytes(frame.begin(), frame.begin() + 136),
                             Bytes(65507, 0xff), short_length, long_length,   negative_length,
                             unreadable};
  for (const Bytes& d : datagrams) ASSERT_TRUE(ts::SendDatagram(agent_port_, d)) << d.size();
  EXPECT_TRUE(WaitOutput("Invalid UDP/PCF broadcast received")) << Output();
  ASSERT_NO_FATAL_FAILURE(ExpectStillServing());
}

}  // namespace
}  // namespace localagent::testing
