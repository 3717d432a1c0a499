// mqsim against clients that misbehave: bursts it must not answer all at
// once, junk after an error, idle and half-sent connections, a unit of work
// whose target queue manager ends, and data files that do not belong
// together. Everything runs against the real server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/protocol.h"
#include "common/socket_io.h"
#include "mqsim_fixture.h"

namespace mqsim_test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasuresMemory = false;  // the sanitizer keeps freed memory
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMeasuresMemory = false;
#else
constexpr bool kMeasuresMemory = true;
#endif
#else
constexpr bool kMeasuresMemory = true;
#endif

// Queued replies stop at 2 largest frames per connection (about 8.3 MiB);
// with the server's own state this stays well under this.
constexpr long kServerPeakKb = 96 * 1024;

// Polls cond until it holds or 10 seconds pass.
template <typename Cond>
bool WaitUntil(Cond cond) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (cond()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return cond();
}

long StatusKb(pid_t pid, const std::string& key) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  return -1;
}

int RawConnect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::vector<uint8_t> FrameOf(uint32_t op, const mqsim::Writer& w) { return mqsim::Frame(op, w); }

template <typename Request>
std::vector<uint8_t> RequestFrame(uint32_t op, const Request& req) {
  mqsim::Writer w;
  mqsim::Encode(w, req);
  return FrameOf(op, w);
}

// Connects a raw socket to QM1 and opens `queue` for browsing; the handle.
MQHOBJ RawOpenBrowse(int fd, const std::string& queue) {
  mqsim::ConnectRequest conn;
  conn.qmgr = "QM1";
  conn.appl_name = "hostile";
  auto f = RequestFrame(mqsim::kOpConnect, conn);
  uint32_t op = 0;
  std::vector<uint8_t> reply;
  if (!mqsim::SendAll(fd, f.data(), f.size()) || !mqsim::RecvFrame(fd, &op, &reply)) return 0;
  mqsim::OpenRequest open;
  open.options = MQOO_BROWSE;
  open.od.name = queue;
  f = RequestFrame(mqsim::kOpOpen, open);
  mqsim::OpenReply opened;
  if (!mqsim::SendAll(fd, f.data(), f.size()) || !mqsim::RecvFrame(fd, &op, &reply) ||
      !mqsim::Decode(reply, &opened) || opened.cc != MQCC_OK)
    return 0;
  return opened.hobj;
}

std::vector<uint8_t> BrowseFirstFrames(MQHOBJ obj, size_t count, uint32_t buffer) {
  mqsim::GetRequest get;
  get.hobj = obj;
  get.options = MQGMO_BROWSE_FIRST | MQGMO_NO_SYNCPOINT;
  get.md = Md();
  get.buffer_length = buffer;
  std::vector<uint8_t> one = RequestFrame(mqsim::kOpGet, get), all;
  for (size_t i = 0; i < count; ++i) all.insert(all.end(), one.begin(), one.end());
  return all;
}

class HostileClientTest : public MqsimTest {
 protected:
  // Another application puts and gets a message while the hostile one waits.
  void ExpectOthersServed() {
    MQHCONN h = Connect("QM1");
    MQHOBJ obj = 0;
    ASSERT_EQ(Open(h, "OTHER.Q", MQOO_OUTPUT | MQOO_INPUT_SHARED, &obj), 0);
    EXPECT_EQ(Put(h, obj, "still served"), 0);
    EXPECT_EQ(Get(h, obj).data, "still served");
    Disconnect(h);
  }
  void ExpectWithinMemoryBound() {
    if (!kMeasuresMemory) return;
    long peak = StatusKb(server_.pid(), "VmHWM");
    ASSERT_GT(peak, 0);
    EXPECT_LT(peak, kServerPeakKb) << "server peak resident set in KiB";
  }
  // Seconds of CPU the server has used.
  double ServerCpuSeconds() {
    std::ifstream f("/proc/" + std::to_string(server_.pid()) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
      if (i == 14) utime = std::stoull(field);
      if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
};

TEST_F(HostileClientTest, BurstOfLargeBrowseGetsWaitsForItsReader) {
  ASSERT_EQ(Ctl("define QM1 BIG.Q --type local"), 0);
  ASSERT_EQ(Ctl("define QM1 OTHER.Q --type local"), 0);
  const std::string big(256 * 1024, 'b');
  MQHCONN h = Connect("QM1");
  MQHOBJ put_obj = 0;
  ASSERT_EQ(Open(h, "BIG.Q", MQOO_OUTPUT, &put_obj), 0);
  ASSERT_EQ(Put(h, put_obj, big), 0);
  Disconnect(h);

  int fd = RawConnect(port1_);
  ASSERT_GE(fd, 0);
  MQHOBJ obj = RawOpenBrowse(fd, "BIG.Q");
  ASSERT_NE(obj, 0);
  // 2,000 gets in one burst would be 500 MiB of replies if all were built.
  constexpr size_t kGets = 2000;
  std::vector<uint8_t> burst = BrowseFirstFrames(obj, kGets, static_cast<uint32_t>(big.size()));
  std::thread sender([&] { mqsim::SendAll(fd, burst.data(), burst.size()); });
  ExpectOthersServed();
  ExpectWithinMemoryBound();
  // Every reply comes, whole, once the client reads.
  size_t replies = 0;
  for (; replies < kGets; ++replies) {
    uint32_t op = 0;
    std::vector<uint8_t> payload;
    mqsim::GetReply reply;
    ASSERT_TRUE(mqsim::RecvFrame(fd, &op, &payload)) << "reply " << replies;
    ASSERT_TRUE(mqsim::Decode(payload, &reply));
    ASSERT_EQ(reply.cc, MQCC_OK) << "reply " << replies << " reason " << reply.rc;
    ASSERT_EQ(reply.data.size(), big.size());
  }
  sender.join();
  close(fd);
  ExpectWithinMemoryBound();
}

TEST_F(HostileClientTest, JunkAfterAProtocolErrorIsNotRead) {
  ASSERT_EQ(Ctl("define QM1 MID.Q --type local"), 0);
  ASSERT_EQ(Ctl("define QM1 OTHER.Q --type local"), 0);
  MQHCONN h = Connect("QM1");
  MQHOBJ put_obj = 0;
  ASSERT_EQ(Open(h, "MID.Q", MQOO_OUTPUT, &put_obj), 0);
  ASSERT_EQ(Put(h, put_obj, std::string(64 * 1024, 'm')), 0);
  Disconnect(h);

  int fd = RawConnect(port1_);
  ASSERT_GE(fd, 0);
  MQHOBJ obj = RawOpenBrowse(fd, "MID.Q");
  ASSERT_NE(obj, 0);
  // Replies the client leaves unread (more than the sockets hold, fewer than
  // the reply limit), then a frame that breaks the protocol, then junk.
  std::vector<uint8_t> bytes = BrowseFirstFrames(obj, 100, 64 * 1024);
  const uint8_t bad[8] = {2, 0, 0, 0, 3, 0, 0, 0};
  bytes.insert(bytes.end(), bad, bad + sizeof bad);
  ASSERT_TRUE(mqsim::SendAll(fd, bytes.data(), bytes.size()));
  std::vector<uint8_t> junk(1024 * 1024, 0x5a);
  size_t sent = 0;
  auto quiet_since = std::chrono::steady_clock::now();
  while (sent < 256u * 1024 * 1024 && std::chrono::steady_clock::now() - quiet_since < std::chrono::milliseconds(500)) {
    ssize_t n = send(fd, junk.data(), junk.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      quiet_since = std::chrono::steady_clock::now();
    } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      break;  // the server dropped the connection: also fine
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  // What the kernel buffers is all that can go; the server takes nothing more.
  EXPECT_LT(sent, 64u * 1024 * 1024) << "junk bytes the server accepted";
  ExpectOthersServed();
  ExpectWithinMemoryBound();
  close(fd);
}

TEST_F(HostileClientTest, ThousandsOfIdleConnectionsLeaveTheControlCommandAnswering) {
  ASSERT_EQ(Ctl("define QM1 OTHER.Q --type local"), 0);
  std::vector<int> idle;
  for (int i = 0; i < 1100; ++i) {
    int fd = RawConnect(port1_);
    if (fd >= 0) idle.push_back(fd);
  }
  EXPECT_GE(idle.size(), 1000u);
  double cpu_before = ServerCpuSeconds();
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(Ctl("list"), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  // The connections beyond the cap were closed, not left waiting.
  size_t closed = 0;
  ASSERT_TRUE(WaitUntil([&] {
    closed = 0;
    for (int fd : idle) {
      pollfd p{fd, POLLIN, 0};
      char c;
      if (poll(&p, 1, 0) == 1 && recv(fd, &c, 1, MSG_DONTWAIT) == 0) ++closed;
    }
    return closed >= idle.size() - 1000;
  }));
  // Full: a new application is turned away at once rather than left hanging.
  MQHCONN refused = 0;
  MQLONG cc = 0, rc = 0;
  char qm[48] = "QM1";
  MQCONN(qm, &refused, &cc, &rc);
  EXPECT_EQ(cc, MQCC_FAILED);
  // Idle connections cost no CPU while they wait.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_LT(ServerCpuSeconds() - cpu_before, 0.4);
  for (int fd : idle) close(fd);
  idle.clear();
  // The slots come back as the connections go.
  ASSERT_TRUE(WaitUntil([&] {
    MQHCONN h = 0;
    MQCONN(qm, &h, &cc, &rc);
    if (cc != MQCC_OK) return false;
    MQDISC(&h, &cc, &rc);
    return true;
  }));
  ExpectOthersServed();
}

TEST_F(HostileClientTest, SilentAndHalfSentConnectionsAreDropped) {
  StopServer();
  server_args_ = {"-t", "1"};
  StartServer();
  ASSERT_EQ(Ctl("define QM1 OTHER.Q --type local"), 0);
  MQHCONN app = Connect("QM1");  // connected and idle: kept (no idle timeout)
  int silent = RawConnect(port1_);
  int half = RawConnect(port1_);
  ASSERT_GE(silent, 0);
  ASSERT_GE(half, 0);
  mqsim::ConnectRequest conn;
  conn.qmgr = "QM1";
  auto f = RequestFrame(mqsim::kOpConnect, conn);
  ASSERT_TRUE(mqsim::SendAll(half, f.data(), f.size() / 2));
  for (int fd : {silent, half}) {
    EXPECT_TRUE(WaitUntil([&] {
      pollfd p{fd, POLLIN, 0};
      char c;
      return poll(&p, 1, 100) == 1 && recv(fd, &c, 1, MSG_DONTWAIT) <= 0;
    })) << "connection was not closed";
    close(fd);
  }
  MQHOBJ obj = 0;
  EXPECT_EQ(Open(app, "OTHER.Q", MQOO_OUTPUT, &obj), 0);
  EXPECT_EQ(Put(app, obj, "kept"), 0);
  Disconnect(app);
}

// A unit of work on QM1 put a persistent message to a queue of QM2; QM2
// ended before the commit. The commit must not claim what is gone.
TEST_F(HostileClientTest, CommitAfterTheTargetQueueManagerEndedBacksOut) {
  ASSERT_EQ(Ctl("define QM2 FAR.Q --type local --defpsist yes"), 0);
  std::thread([&] {
    MQHCONN h = Connect("QM1");
    MQHOBJ obj = 0;
    ASSERT_EQ(Open(h, "FAR.Q", MQOO_OUTPUT, &obj, "QM2"), 0);
    MQMD md = Md();
    md.Persistence = MQPER_PERSISTENT;
    ASSERT_EQ(Put(h, obj, "in flight", &md, MQPMO_SYNCPOINT), 0);
    ASSERT_EQ(Ctl("stop QM2 -i"), 0);
    MQLONG cc = 0, rc = 0;
    MQCMIT(h, &cc, &rc);
    EXPECT_EQ(cc, MQCC_FAILED);
    EXPECT_EQ(rc, MQRC_BACKED_OUT);
    Disconnect(h);
    ASSERT_EQ(Ctl("start QM2"), 0);
    MQHCONN h2 = Connect("QM2");
    MQHOBJ in = 0;
    ASSERT_EQ(Open(h2, "FAR.Q", MQOO_INPUT_SHARED, &in), 0);
    EXPECT_EQ(Get(h2, in).rc, MQRC_NO_MSG_AVAILABLE) << "a backed-out message appeared";
    Disconnect(h2);
  }).join();
}

// The journal of QM1 holds persistent messages; its checkpoint is then
// removed, or replaced by an older one. The queue manager must refuse to
// start, say why, and leave both files as they were.
TEST_F(HostileClientTest, JournalWithoutItsCheckpointStopsTheStart) {
  const std::string dir = root_ + "/qmgrs/QM1";
  std::string older;
  ASSERT_TRUE(mqsim::ReadFile(dir + "/checkpoint", &older));
  for (bool missing : {true, false}) {
    SCOPED_TRACE(missing ? "missing checkpoint" : "older checkpoint");
    if (!server_.Running()) StartServer();
    ASSERT_EQ(Ctl("define QM1 KEEP.Q --type local --defpsist yes --replace"), 0);
    MQHCONN h = Connect("QM1");
    MQHOBJ obj = 0;
    ASSERT_EQ(Open(h, "KEEP.Q", MQOO_OUTPUT, &obj), 0);
    ASSERT_EQ(Put(h, obj, "must survive"), 0);
    KillServer();  // the message is in the journal only
    Disconnect(h);
    if (missing)
      ASSERT_EQ(unlink((dir + "/checkpoint").c_str()), 0);
    else
      ASSERT_TRUE(mqsim::WriteFileAtomic(dir + "/checkpoint", older));
    std::string journal_before;
    ASSERT_TRUE(mqsim::ReadFile(dir + "/journal", &journal_before));
    harrow::testsupport::ServerOptions options;
    options.program = MQSIM_BIN;
    options.args = {"-m", root_, "-s", "QM1"};
    options.ready_text = "mqsim: ready";
    options.start_timeout = std::chrono::seconds(10);
    options.log_path = root_ + "/refused.log";
    harrow::testsupport::ServerProcess refused;
    std::string error;
    EXPECT_FALSE(refused.Start(options, &error)) << "the queue manager started";
    int status = -1;
    EXPECT_TRUE(refused.WaitExit(std::chrono::seconds(10), &status));
    std::string terminal;
    ASSERT_TRUE(mqsim::ReadFile(options.log_path, &terminal));
    EXPECT_NE(terminal.find("checkpoint"), std::string::npos) << terminal;
    EXPECT_EQ(terminal.find("ready"), std::string::npos) << terminal;
    std::string log, journal_after, checkpoint_after;
    ASSERT_TRUE(mqsim::ReadFile(dir + "/errors/AMQERR01.LOG", &log));
    EXPECT_NE(log.find("not started"), std::string::npos) << log;
    ASSERT_TRUE(mqsim::ReadFile(dir + "/journal", &journal_after));
    EXPECT_EQ(journal_after, journal_before) << "the journal was touched";
    EXPECT_EQ(mqsim::ReadFile(dir + "/checkpoint", &checkpoint_after), !missing);
    if (!missing) {
      EXPECT_EQ(checkpoint_after, older);
    }
    // Put the matching state back for the next case: the journal alone
    // cannot start, so the test starts afresh from a new queue manager.
    unlink((dir + "/journal").c_str());
    unlink((dir + "/checkpoint").c_str());
    ASSERT_TRUE(mqsim::WriteFileAtomic(dir + "/checkpoint", older));
  }
}

}  // namespace
}  // namespace mqsim_test
