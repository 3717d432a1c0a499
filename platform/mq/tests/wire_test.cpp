// The server against peers that do not follow the protocol: raw sockets
// sending damaged frames, or requests without ever reading the replies.
// Other applications must go on being served.
#include <poll.h>
#include <sys/socket.h>

#include "common/protocol.h"
#include "common/socket_io.h"
#include "mqsim_fixture.h"

using namespace mqsim_test;

namespace {

// Reads one frame with a deadline; false when none came or the peer closed.
bool ReadFrame(int fd, uint32_t* op, std::vector<uint8_t>* payload) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 10000) != 1) return false;
  return mqsim::RecvFrame(fd, op, payload);
}

bool PeerClosed(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 10000) != 1) return false;
  char c;
  return recv(fd, &c, 1, 0) == 0;
}

std::vector<uint8_t> ConnectFrame(const std::string& qmgr) {
  mqsim::ConnectRequest req;
  req.qmgr = qmgr;
  req.appl_name = "wire_test";
  mqsim::Writer w;
  mqsim::Encode(w, req);
  return mqsim::Frame(mqsim::kOpConnect, w);
}

}  // namespace

class MqsimWireTest : public MqsimTest {
 protected:
  // A normal application still gets its work done.
  void ExpectServed() {
    std::thread([this] {
      MQHCONN h = Connect("QM1");
      MQHOBJ obj = 0;
      EXPECT_EQ(Open(h, "SYSTEM.DEAD.LETTER.QUEUE", MQOO_INQUIRE, &obj), 0);
      Disconnect(h);
    }).join();
  }
};

TEST_F(MqsimWireTest, DamagedFramesEndOnlyTheirConnection) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t last_op;  // of the last answer before the connection ends
    MQLONG reason;
  };
  std::vector<uint8_t> connect = ConnectFrame("QM1");
  std::vector<uint8_t> short_connect = connect;
  short_connect[0] -= 1;  // the frame claims one byte less than the connect needs
  short_connect.pop_back();
  std::vector<uint8_t> open_first = {8, 0, 0, 0, 3, 0, 0, 0, 1, 2, 3, 4};
  std::vector<uint8_t> huge = {0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0};
  std::vector<uint8_t> tiny = {2, 0, 0, 0, 1, 0, 0, 0};
  std::vector<uint8_t> unknown_op = connect;
  const uint8_t bad_op[] = {12, 0, 0, 0, 77, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  unknown_op.insert(unknown_op.end(), std::begin(bad_op), std::end(bad_op));
  const std::vector<Case> cases = {
      {"connect one byte short", short_connect, 0, MQRC_UNEXPECTED_ERROR},
      // Without a session a call learns that its connection is broken.
      {"open before connect", open_first, mqsim::kOpOpen, MQRC_CONNECTION_BROKEN},
      {"length beyond the largest frame", huge, 0, MQRC_UNEXPECTED_ERROR},
      {"length shorter than the operation word", tiny, 0, MQRC_UNEXPECTED_ERROR},
      {"unknown operation after connect", unknown_op, 0, MQRC_UNEXPECTED_ERROR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int fd = mqsim::ConnectTcp("127.0.0.1", port1_);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(mqsim::SendAll(fd, c.bytes.data(), c.bytes.size()));
    // A connect that went through is answered first; then comes the
    // refusal, and then the connection ends.
    uint32_t op = 0;
    std::vector<uint8_t> payload;
    ASSERT_TRUE(ReadFrame(fd, &op, &payload));
    if (op == mqsim::kOpConnect && c.last_op != mqsim::kOpConnect) {
      ASSERT_TRUE(ReadFrame(fd, &op, &payload));
    }
    EXPECT_EQ(op, c.last_op);
    mqsim::ReplyHead head;
    ASSERT_TRUE(mqsim::Decode(payload, &head));
    EXPECT_EQ(head.cc, MQCC_FAILED);
    EXPECT_EQ(head.rc, c.reason);
    EXPECT_TRUE(PeerClosed(fd));
    close(fd);
    ExpectServed();
  }
}

// A peer that sends requests and never reads the answers: the server stops
// reading from it once its replies pile up, instead of holding every reply
// in memory, and serves everyone else meanwhile.
TEST_F(MqsimWireTest, PeerThatNeverReadsIsNotReadEither) {
  int fd = mqsim::ConnectTcp("127.0.0.1", port1_);
  ASSERT_GE(fd, 0);
  int small = 64 * 1024;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  std::vector<uint8_t> connect = ConnectFrame("QM1");
  ASSERT_TRUE(mqsim::SendAll(fd, connect.data(), connect.size()));
  uint32_t op = 0;
  std::vector<uint8_t> payload;
  ASSERT_TRUE(ReadFrame(fd, &op, &payload));
  ASSERT_EQ(op, static_cast<uint32_t>(mqsim::kOpConnect));
  // Commits: 8 bytes each, and each reply is 16.
  std::vector<uint8_t> chunk;
  for (int i = 0; i < 8192; ++i) {
    const uint8_t commit[] = {4, 0, 0, 0, 10, 0, 0, 0};
    chunk.insert(chunk.end(), std::begin(commit), std::end(commit));
  }
  // Without the bound the server would read all 256 MB of requests and
  // hold 512 MB of replies.
  const size_t limit = 256u * 1024 * 1024;
  size_t sent = 0;
  while (sent < limit) {
    size_t at = sent % chunk.size();  // whole frames only, however send cuts them
    ssize_t n = send(fd, chunk.data() + at, chunk.size() - at, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    ASSERT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK) << strerror(errno);
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, 1000) == 0) break;  // the server no longer reads
  }
  EXPECT_LT(sent, limit);
  ExpectServed();
  close(fd);
  ExpectServed();
}
