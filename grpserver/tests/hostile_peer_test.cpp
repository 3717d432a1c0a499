// The group server against a peer that lies: frames with false lengths and
// counts, bodies that cannot be read, parameters of the wrong type, session
// indexes far out of range, datagrams of every size. Each time the server
// answers or closes that one connection and goes on serving the others.
#include <atomic>
#include <climits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/group_fixture.h"

namespace grptest {
namespace {

namespace ts = harrow::testsupport;
using std::chrono::milliseconds;
using std::chrono::seconds;
using ts::Bytes;

class HostilePeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = ts::FreeLoopbackPort(true);
    CreateGroup(inst_, "HG", port_, {"--max-clients=4"});
    ASSERT_TRUE(StartServer(&server_, inst_, "HG"));
  }
  // A command nobody knows, on a fresh connection, is still answered 3007.
  void ExpectStillServing() {
    ts::RawTcpPeer other(port_);
    ASSERT_TRUE(other.connected());
    ASSERT_TRUE(other.Send(ts::PlainFrame(ts::PcfHeader(50, 0))));
    std::optional<Bytes> got = other.ReceiveBody(seconds(10));
    ASSERT_TRUE(got.has_value()) << server_.Output();
    EXPECT_EQ(ts::PcfCommand(*got), 50);
    EXPECT_EQ(ts::PcfReason(*got), 3007);
    EXPECT_TRUE(server_.Running());
  }

  Installation inst_;
  int port_ = 0;
  ts::ServerProcess server_;
};

TEST_F(HostilePeerTest, UnreadableBodiesAreDroppedAndTheConnectionGoesOn) {
  ts::RawTcpPeer peer(port_);
  ASSERT_TRUE(peer.connected());
  Bytes record_too_long = ts::PcfHeader(EXCMD_SHUTDOWN_MANAGER, 1);
  ts::AppendStringRecord(&record_too_long, 20006, "HG");
  ts::PutWord(&record_too_long, 36 + 4, 1 << 20);
  Bytes large = ts::PcfHeader(EXCMD_SHUTDOWN_MANAGER, 2);
  ts::AppendStringRecord(&large, 20006, std::string(100000, 'G'));
  const Bytes bodies[] = {ts::PcfHeader(EXCMD_SHUTDOWN_MANAGER, 3), record_too_long,
                          ts::PcfHeader(EXCMD_SHUTDOWN_MANAGER, -5), large, Bytes{1, 0, 0, 0}};
  for (const Bytes& body : bodies) ASSERT_TRUE(peer.Send(ts::PlainFrame(body)));
  // None of them ran (no shutdown) and the connection still serves.
  ASSERT_TRUE(peer.Send(ts::PlainFrame(ts::PcfHeader(50, 0))));
  std::optional<Bytes> got = peer.ReceiveBody(seconds(10));
  ASSERT_TRUE(got.has_value()) << server_.Output();
  EXPECT_EQ(ts::PcfCommand(*got), 50);
  EXPECT_EQ(server_.Output().find("IGE0023"), std::string::npos);
  EXPECT_TRUE(server_.Running());
}

TEST_F(HostilePeerTest, LyingLengthWordsCloseOnlyThatConnection) {
  Bytes body = ts::PcfHeader(50, 0);
  Bytes wrong_first_word = ts::PlainFrame(body);
  ts::PutWord(&wrong_first_word, 0, 135);
  const std::pair<const char*, Bytes> cases[] = {
      {"zero body length", ts::PlainFrame(body, 0)},
      {"negative body length", ts::PlainFrame(body, -36)},
      {"most negative body length", ts::PlainFrame(body, INT_MIN)},
      {"body length over the limit", ts::PlainFrame(body, INT_MAX)},
      {"header length not 136", wrong_first_word},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    ts::RawTcpPeer peer(port_);
    ASSERT_TRUE(peer.connected());
    ASSERT_TRUE(peer.Send(bytes));
    EXPECT_TRUE(peer.ClosedWithin(seconds(10)));
  }
  // A frame cut short, its sender silent: everybody else is served, and
  // the rest, when it comes, completes it.
  ts::RawTcpPeer slow(port_);
  ASSERT_TRUE(slow.connected());
  Bytes frame = ts::PlainFrame(body);
  ASSERT_TRUE(slow.Send(Bytes(frame.begin(), frame.begin() + 70)));
  ASSERT_NO_FATAL_FAILURE(ExpectStillServing());
  ASSERT_TRUE(slow.Send(Bytes(frame.begin() + 70, frame.end())));
  std::optional<Bytes> got = slow.ReceiveBody(seconds(10));
  ASSERT_TRUE(got.has_value()) << server_.Output();
  EXPECT_EQ(ts::PcfCommand(*got), 50);
}

TEST_F(HostilePeerTest, ParametersOfTheWrongTypeAndIndexesOutOfRangeAreAnswered) {
  ts::RawTcpPeer peer(port_);
  ASSERT_TRUE(peer.connected());
  auto ask = [&](const Bytes& body) {
    EXPECT_TRUE(peer.Send(ts::PlainFrame(body)));
    return peer.ReceiveBody(seconds(10));
  };
  struct Case {
    const char* what;
    Bytes body;
    int32_t reason;
  };
  std::vector<Case> cases;
  {
    Bytes b = ts::PcfHeader(EXCMD_OPEN_EVENT, 1);
    ts::AppendStringRecord(&b, 20139, "all of them");  // the mask is an integer
    cases.push_back({"event mask as text", b, 3019});
  }
  for (int32_t index : {INT_MIN, -1, 0, 4096, INT_MAX}) {
    Bytes b = ts::PcfHeader(10019, 1);  // delete session
    ts::AppendIntegerRecord(&b, 20501, index);
    cases.push_back({"session index out of range", b, 2085});
  }
  for (int32_t ordinal : {INT_MIN, 0, INT_MAX}) {
    Bytes b = ts::PcfHeader(10018, 1);  // inquire session
    ts::AppendIntegerRecord(&b, 20500, ordinal);
    cases.push_back({"session ordinal out of range", b, 2085});
  }
  {
    Bytes b = ts::PcfHeader(10019, 1);
    ts::AppendStringRecord(&b, 20501, "1");  // the index is an integer
    cases.push_back({"session index as text", b, 3019});
  }
  for (int32_t command : {11100, 11101}) {  // backup, restore
    Bytes b = ts::PcfHeader(command, 1);
    ts::AppendIntegerRecord(&b, 20006, 7);  // the group is text
    cases.push_back({"group as a number", b, 2085});
  }
  {
    Bytes b = ts::PcfHeader(EXCMD_SHUTDOWN_MANAGER, 1);
    ts::AppendIntegerRecord(&b, 20006, 7);
    cases.push_back({"shutdown with the group as a number", b, 2085});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<Bytes> got = ask(c.body);
    ASSERT_TRUE(got.has_value()) << server_.Output();
    EXPECT_EQ(ts::PcfCompCode(*got), MQCC_FAILED);
    EXPECT_EQ(ts::PcfReason(*got), c.reason);
  }
  EXPECT_EQ(server_.Output().find("IGE0023"), std::string::npos);
  ASSERT_NO_FATAL_FAILURE(ExpectStillServing());
}

TEST_F(HostilePeerTest, AConsoleThatDoesNotReadItsRepliesHoldsABoundedAmountOfThem) {
  // Each request carries a queue name of a megabyte that its reply (3007)
  // repeats; none of the replies is read.
  constexpr int kRequests = 150;
  ts::RawTcpPeer peer(port_);
  ASSERT_TRUE(peer.connected());
  Bytes body = ts::PcfHeader(50, 1);
  ts::AppendStringRecord(&body, MQCA_Q_NAME, std::string(1 << 20, 'Q'));
  const Bytes frame = ts::PlainFrame(body);
  std::atomic<int> sent{0};
  std::thread sender([&] {
    for (int i = 0; i < kRequests && peer.Send(frame); ++i) ++sent;
  });
  // Another console watches the first one's session (ordinal 1): once
  // replies are refused, what waits for it stays bounded.
  TestConsole watcher(port_);
  ASSERT_TRUE(watcher.connected());
  MQLONG pending = -1, refused = -1;
  bool bounded = ts::WaitFor([&] {
    PcfPtr inquiry = MakeCommand(10018, "WATCH");
    AddInteger(inquiry.get(), 20500, 1);
    if (!watcher.Send(inquiry.get())) return false;
    PcfPtr reply = watcher.Receive(seconds(10));
    if (reply == nullptr || !IntParam(reply.get(), 20129, &pending) ||
        !IntParam(reply.get(), 20504, &refused)) {
      return false;
    }
    return sent.load() == kRequests && refused >= kRequests / 2;
  }, seconds(30), milliseconds(200));
  EXPECT_TRUE(bounded) << "sent " << sent.load() << " pending " << pending << " refused " << refused;
  // 64 MB of replies of a megabyte each, and the kernel's share.
  EXPECT_LE(pending, 70);
  sender.join();
  ASSERT_NO_FATAL_FAILURE(ExpectStillServing());
}

TEST_F(HostilePeerTest, DatagramsOfEverySizeAreDropped) {
  Bytes frame = ts::PlainFrame(ts::PcfHeader(EXCMD_SHUTDOWN_MANAGER, 0));
  Bytes short_length = frame;
  ts::PutWord(&short_length, 64, 1);
  Bytes long_length = frame;
  ts::PutWord(&long_length, 64, 4000);
  Bytes negative_length = frame;
  ts::PutWord(&negative_length, 64, -1);
  const Bytes datagrams[] = {Bytes{},
                             Bytes{0x88},
                             Bytes(135, 0),
                             Bytes(frame.begin(), frame.begin() + 136),
                             Bytes(65507, 0xff),
                             short_length,
                             long_length,
                             negative_length,
                             ts::PlainFrame(ts::PcfHeader(EXCMD_SHUTDOWN_MANAGER, 9))};
  for (const Bytes& d : datagrams) ASSERT_TRUE(ts::SendDatagram(port_, d)) << d.size();
  ASSERT_NO_FATAL_FAILURE(ExpectStillServing());
}

}  // namespace
}  // namespace grptest
