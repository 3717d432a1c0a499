#include "support/net_fixture.h"

#include "frame_mac_oracle.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace nettest {

namespace ts = harrow::testsupport;

SigningKeyFile::SigningKeyFile(const std::string& hex) : path_(dir_.Sub("signing.key")) {
  Use(hex);
  variable_.emplace(MQC_SIGNING_KEY_VARIABLE, path_);
}

void SigningKeyFile::Use(const std::string& hex) {
  ::unlink(path_.c_str());
  const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0) << path_;
  const std::string text = hex + "\n";
  EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(fd);
}

std::vector<unsigned char> Unhex(const std::string& hex) {
  std::vector<unsigned char> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

mqPcfMessage* MakeMessage(MQLONG command, int count, MQLONG seed, const std::string& text) {
  mqPcfMessage* msg = CreatePcfMessage(command, MQCFT_COMMAND, 64);
  Message record{};
  for (int i = 0; i < count; ++i) {
    CreatePcfIntAttr(&record, 20000 + i, seed * 1000 + i);
    AppendAttr(msg, &record);
    DeleteMessage(&record);
  }
  if (!text.empty()) {
    CreatePcfStrAttr(&record, 20500, text.c_str());
    AppendAttr(msg, &record);
    DeleteMessage(&record);
  }
  RawToPcf(msg);
  return msg;
}

::testing::AssertionResult HasContents(const mqPcfMessage* msg, MQLONG command, int count,
                                       MQLONG seed, const std::string& text) {
  if (msg->Cfh == nullptr) return ::testing::AssertionFailure() << "no MQCFH";
  if (msg->Cfh->Command != command) {
    return ::testing::AssertionFailure() << "command " << msg->Cfh->Command;
  }
  int expected_params = count + (text.empty() ? 0 : 1);
  if (msg->Cfh->ParameterCount != expected_params) {
    return ::testing::AssertionFailure() << "parameter count " << msg->Cfh->ParameterCount;
  }
  Message record{};
  for (int i = 0; i < count; ++i) {
    MQLONG value = -1;
    if (!GetAttrByID(20000 + i, &record, msg) || !GetPcfIntAttrValue(&record, &value) ||
        value != seed * 1000 + i) {
      DeleteMessage(&record);
      return ::testing::AssertionFailure() << "parameter " << 20000 + i << " = " << value;
    }
  }
  if (!text.empty()) {
    std::vector<char> got(text.size() + 64, '\0');
    if (!GetAttrByID(20500, &record, msg) ||
        !GetPcfStrAttrValue(&record, got.data(), static_cast<MQLONG>(got.size() - 1)) ||
        std::string(got.data()).substr(0, text.size()) != text) {
      DeleteMessage(&record);
      return ::testing::AssertionFailure() << "text parameter \"" << got.data() << "\"";
    }
  }
  DeleteMessage(&record);
  return ::testing::AssertionSuccess();
}

SocketAddress Address(const char* host, const std::string& service) {
  SocketAddress a{};
  std::strncpy(a.host, host, sizeof a.host - 1);
  std::strncpy(a.service, service.c_str(), sizeof a.service - 1);
  std::strncpy(a.protocol, "tcp", sizeof a.protocol - 1);
  return a;
}

SocketAddress Loopback(uint32_t port) { return Address("127.0.0.1", std::to_string(port)); }

Listener::Listener() {
  SocketAddress a = Address("127.0.0.1", "0");
  server = CreateMQNode(&a, MQNODE_MODE_SERVER);
  EXPECT_NE(server, nullptr);
  EXPECT_EQ(server->lastError, 0);
  EXPECT_NE(server->address.port, 0u);
}

Listener::~Listener() { DeleteMQNode(server); }

mqnMQNodeData* Listener::Accept() {
  ts::Deadline deadline(std::chrono::seconds(5));
  pollfd p{server->socket.handle, POLLIN, 0};
  while (!deadline.Expired()) {
    if (poll(&p, 1, deadline.PollMs()) == 1) return mnOpen(server) == 1 ? server->accepted : nullptr;
  }
  return nullptr;
}

TcpPair::TcpPair() {
  SocketAddress a = Loopback(listener.port());
  client = CreateMQNode(&a, MQNODE_MODE_CLIENT);
  EXPECT_EQ(mnOpen(client), 1) << client->lastError;
  accepted = listener.Accept();
  EXPECT_NE(accepted, nullptr);
}

TcpPair::~TcpPair() {
  DeleteMQNode(client);
  DeleteMQNode(accepted);
}

RawPeer::RawPeer(Listener* listener) {
  fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(listener->port()));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  // Pieces of a frame go out at once, not after the peer's delayed ack.
  NoDelay(fd);
  node = listener->Accept();
  EXPECT_NE(node, nullptr);
}

RawPeer::~RawPeer() {
  if (fd >= 0) close(fd);
  DeleteMQNode(node);
}

bool RawPeer::Send(const std::vector<unsigned char>& bytes) const {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void NoDelay(int fd) {
  int on = 1;
  EXPECT_EQ(setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on), 0);
}

std::vector<unsigned char> RawPeer::Receive(std::size_t n) const { return ReceiveExactly(fd, n); }

std::vector<unsigned char> ReceiveExactly(int fd, std::size_t n, int timeout_ms) {
  std::vector<unsigned char> out(n);
  std::size_t done = 0;
  ts::Deadline deadline{std::chrono::milliseconds(timeout_ms)};
  while (done < n) {
    pollfd p{fd, POLLIN, 0};
    if (deadline.Expired() || poll(&p, 1, deadline.PollMs()) != 1) return {};
    ssize_t got = recv(fd, out.data() + done, n - done, MSG_DONTWAIT);
    if (got == 0) return {};
    if (got < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return {};
    }
    done += static_cast<std::size_t>(got);
  }
  return out;
}

std::vector<unsigned char> ConnectingFrame(mqPcfMessage* msg, int secure,
                                           mqcSignature credential) {
  TcpPair pair;
  if (pair.accepted == nullptr) return {};
  EXPECT_EQ(mnSWrite(msg, pair.client, secure, credential), 1) << pair.client->lastError;
  const std::size_t size =
      static_cast<std::size_t>(msg->Body.UsedLength) + (secure ? NODE_HEADER_LENGTH + MQC_SIGNATURE_LENGTH : 0);
  return ReceiveExactly(pair.accepted->socket.handle, size);
}

int ReadWithDeadline(mqPcfMessage* msg, mqnMQNodeData* node, int secure,
                     mqcSignature credential, int timeout_ms) {
  ts::Deadline deadline{std::chrono::milliseconds(timeout_ms)};
  for (;;) {
    int rc = mnSRead(msg, node, secure, credential);
    if (rc == 1 || node->lastError != MN_ERR_WOULD_BLOCK || deadline.Expired()) return rc;
    pollfd p{node->socket.handle, POLLIN, 0};
    poll(&p, 1, deadline.PollMs(std::chrono::milliseconds(50)));
  }
}

void PutBE(std::vector<unsigned char>* out, uint32_t v) {
  out->push_back(static_cast<unsigned char>(v >> 24));
  out->push_back(static_cast<unsigned char>(v >> 16));
  out->push_back(static_cast<unsigned char>(v >> 8));
  out->push_back(static_cast<unsigned char>(v));
}

void PutLE(std::vector<unsigned char>* out, uint32_t v) {
  out->push_back(static_cast<unsigned char>(v));
  out->push_back(static_cast<unsigned char>(v >> 8));
  out->push_back(static_cast<unsigned char>(v >> 16));
  out->push_back(static_cast<unsigned char>(v >> 24));
}

std::vector<unsigned char> FrameMac(const std::vector<unsigned char>& key,
                                    const std::vector<unsigned char>& input) {
  const std::array<unsigned char, 16> mac = signcore_oracle::FrameMac(key, input);
  return {mac.begin(), mac.end()};
}

}  // namespace nettest
