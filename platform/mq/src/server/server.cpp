// The mqsim event loop. Divisions:
//   1. Connections (the ReplySink side)
//   2. Start-up, listeners and queue-manager start/end
//   3. The loop
//   4. Client requests
//   5. Control requests
#include "server.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "command_server.h"
#include "common/install.h"
#include "common/io_buffer.h"
#include "common/socket_io.h"

namespace mqsim::server {

namespace {

int g_signal_pipe[2] = {-1, -1};

// The limits below bound what the server holds for its clients
// (docs/formats/mqsim-protocol.md, "Limits"):
// Replies queued for one connection at which its requests stop being
// handled, within the pass, until the peer has read them.
constexpr size_t kMaxPendingReplyBytes = 2 * (kMaxFramePayloadBytes + 2 * kFrameHeaderBytes);
// Replies queued over every application connection at which no
// application request is handled; control requests still are.
constexpr size_t kMaxQueuedReplyBytes = 64 * 1024 * 1024;
// Input held over every connection (frames not yet whole or not yet
// handled) at which applications are no longer read.
constexpr size_t kMaxBufferedInputBytes = 64 * 1024 * 1024;
// A frame is read in pieces of at most this; a buffer keeps up to this
// much storage between frames and gives back the rest.
constexpr size_t kReadChunkBytes = 256 * 1024;
constexpr size_t kKeptBufferBytes = 1024 * 1024;
constexpr size_t kMaxControlConnections = 64;
// Descriptors kept free of connections: journals, error logs, listeners.
constexpr size_t kReservedDescriptors = 64 + kMaxControlConnections;
// How long accepting rests after the process ran out of descriptors.
constexpr auto kAcceptBackOff = std::chrono::milliseconds(100);

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

std::string Sanitised(std::span<const uint8_t> bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < 32; ++i) {
    char buf[4];
    snprintf(buf, sizeof buf, "%02x", bytes[i]);
    out += buf;
  }
  return out;
}

// Replies waiting to be sent, encoded straight into storage that lives as
// long as the connection: sent bytes are skipped rather than moved, and
// the storage is reused once everything went (up to kKeptBufferBytes).
class OutBuffer {
 public:
  size_t size() const { return bytes_.size() - sent_; }
  bool empty() const { return bytes_.size() == sent_; }
  const uint8_t* data() const { return bytes_.data() + sent_; }
  // Where replies are encoded: bytes go at the end.
  std::vector<uint8_t>* storage() { return &bytes_; }
  // Drops the sent bytes when the storage is full, before it would grow,
  // and whenever they are as many as the unsent ones: a peer that reads
  // all the time keeps the storage from ever emptying, and the sent bytes
  // kept in front would double it again and again. Moving the unsent bytes
  // costs no more than the bytes sent since the last move.
  // Offsets into the storage change: never while a reply is encoded.
  void Compact() {
    if (sent_ > 0 && (bytes_.size() == bytes_.capacity() || sent_ >= bytes_.size() - sent_)) {
      bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(sent_));
      sent_ = 0;
    }
  }
  void Consume(size_t n) {
    sent_ += std::min(n, size());
    if (empty()) Clear();
  }
  void Clear() {
    bytes_.clear();
    sent_ = 0;
    if (bytes_.capacity() > kKeptBufferBytes) Release();
  }
  void Release() {
    std::vector<uint8_t>().swap(bytes_);
    sent_ = 0;
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t sent_ = 0;
};

}  // namespace

// ---- 1. Connections ---------------------------------------------------------

struct Server::Conn : ReplySink {
  uint64_t id = 0;
  int fd = -1;
  bool control = false;
  std::string listener_qmgr;
  QueueManager* qm = nullptr;
  Session* session = nullptr;
  IoBuffer in{kKeptBufferBytes};
  OutBuffer out;
  size_t* queued_total = nullptr;  // the server's count of queued reply bytes
  const Clock::time_point* pass_now = nullptr;  // the server's clock of this pass
  bool close_after_flush = false;
  bool dead = false;
  bool frames_waiting = false;  // whole frames left in `in` by a reply limit
  bool requested = false;       // a whole frame has come
  Clock::time_point accepted;
  Clock::time_point last_activity;  // bytes read or written
  Clock::time_point partial_since;  // `in` began to hold an unfinished frame
  Clock::time_point write_stalled_since;
  uint32_t watched = kUnwatched;  // events epoll reports for fd
  // Where the reply being encoded into `out` begins; npos when none is.
  static constexpr size_t kNoReply = static_cast<size_t>(-1);
  size_t open_reply = kNoReply;

  // A reply encoded in place: BeginReply writes the frame head and returns
  // the storage to encode the payload into (Writer over it); EndReply
  // fills in the length and queues the frame; CancelReply takes it back.
  std::vector<uint8_t>* BeginReply(uint32_t op) {
    out.Compact();
    std::vector<uint8_t>* bytes = out.storage();
    open_reply = bytes->size();
    uint32_t head[2] = {0, op};
    const auto* p = reinterpret_cast<const uint8_t*>(head);
    bytes->insert(bytes->end(), p, p + sizeof head);
    return bytes;
  }
  void EndReply() {
    std::vector<uint8_t>* bytes = out.storage();
    size_t frame = bytes->size() - open_reply;
    uint32_t len = static_cast<uint32_t>(frame - kFrameHeaderBytes);
    std::memcpy(bytes->data() + open_reply, &len, 4);
    if (out.size() == frame) write_stalled_since = *pass_now;
    *queued_total += frame;
    if (session != nullptr) session->client.bytes_sent += static_cast<int64_t>(frame);
    open_reply = kNoReply;
  }
  void CancelReply() {
    out.storage()->resize(open_reply);
    open_reply = kNoReply;
  }

  void SendReply(uint32_t op, const Writer& payload) override {
    uint32_t head[2] = {static_cast<uint32_t>(payload.size() + 4), op};
    const auto* h = reinterpret_cast<const uint8_t*>(head);
    const std::vector<uint8_t>& p = payload.buffer();
    if (session != nullptr) session->client.bytes_sent += static_cast<int64_t>(sizeof head + payload.size());
    if (out.empty()) write_stalled_since = *pass_now;
    std::vector<uint8_t>* bytes = out.storage();
    if (open_reply == kNoReply) {
      out.Compact();
      bytes->insert(bytes->end(), h, h + sizeof head);
      bytes->insert(bytes->end(), p.begin(), p.end());
    } else {
      // A reply sent while another is being encoded goes before it.
      auto at = bytes->begin() + static_cast<std::ptrdiff_t>(open_reply);
      at = bytes->insert(at, h, h + sizeof head);
      bytes->insert(at + sizeof head, p.begin(), p.end());
      open_reply += sizeof head + p.size();
    }
    *queued_total += sizeof head + payload.size();
  }
  void DropReplies() {
    *queued_total -= out.size();
    out.Release();
  }
  void SessionEnded() override {
    session = nullptr;
    qm = nullptr;
    close_after_flush = true;
  }
};

// ---- 2. Start-up, listeners and queue-manager start/end ----------------------

Server::Server(std::string root, ServerLimits limits) : root_(std::move(root)), limits_(limits) {}

Server::~Server() {
  for (auto& [name, h] : hosted_) {
    if (h.qm) h.qm->End(MQRC_Q_MGR_STOPPING);
    if (h.listen_fd >= 0) ::close(h.listen_fd);
  }
  for (auto& [id, c] : conns_) ::close(c->fd);
  if (spare_fd_ >= 0) ::close(spare_fd_);
  if (epoll_fd_ >= 0) ::close(epoll_fd_);
  if (control_fd_ >= 0) {
    ::close(control_fd_);
    ::unlink(control_path_.c_str());
  }
}

void Server::SignalStop() {
  if (g_signal_pipe[1] >= 0) {
    char b = 1;
    ssize_t w = ::write(g_signal_pipe[1], &b, 1);
    (void)w;
  }
}

void Server::Log(const std::string& text) { fprintf(stderr, "mqsim: %s\n", text.c_str()); }

bool Server::Init(std::string* error) {
  if (!MakeDirs(root_)) {
    *error = "mkdir " + root_ + ": " + std::strerror(errno);
    return false;
  }
  control_path_ = ControlSocketPath(root_);
  int probe = ConnectUnix(control_path_);
  if (probe >= 0) {
    ::close(probe);
    *error = "another mqsim serves " + root_ + " (" + control_path_ + " answers)";
    return false;
  }
  ::unlink(control_path_.c_str());  // a stale socket of a dead server
  sockaddr_un addr{};
  if (control_path_.size() >= sizeof addr.sun_path) {
    *error = "control socket path " + control_path_ + " is too long";
    return false;
  }
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, control_path_.c_str(), control_path_.size() + 1);
  control_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (control_fd_ < 0 || ::bind(control_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(control_fd_, 16) != 0) {
    *error = "control socket " + control_path_ + ": " + std::strerror(errno);
    return false;
  }
  ::chmod(control_path_.c_str(), 0600);
  SetNonBlocking(control_fd_);
  epoll_fd_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (epoll_fd_ < 0) {
    *error = std::string("epoll: ") + std::strerror(errno);
    return false;
  }
  if (::pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  spare_fd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  // Every allowed connection must fit the descriptor limit with room for
  // journals, logs and control connections, or the listener would run dry.
  rlimit nofile{};
  if (::getrlimit(RLIMIT_NOFILE, &nofile) == 0) {
    if (nofile.rlim_cur < nofile.rlim_max && nofile.rlim_cur < limits_.max_connections + kReservedDescriptors) {
      nofile.rlim_cur = std::min<rlim_t>(nofile.rlim_max, limits_.max_connections + kReservedDescriptors);
      ::setrlimit(RLIMIT_NOFILE, &nofile);
      ::getrlimit(RLIMIT_NOFILE, &nofile);
    }
    if (nofile.rlim_cur != RLIM_INFINITY && nofile.rlim_cur < limits_.max_connections + kReservedDescriptors) {
      size_t fit = nofile.rlim_cur > 2 * kReservedDescriptors ? nofile.rlim_cur - kReservedDescriptors
                                                              : nofile.rlim_cur / 2;
      Log("descriptor limit " + std::to_string(nofile.rlim_cur) + ": at most " + std::to_string(fit) +
          " connections instead of " + std::to_string(limits_.max_connections));
      limits_.max_connections = fit;
    }
  }
  return true;
}

QueueManager* Server::FindRunning(const std::string& name) {
  auto it = hosted_.find(name);
  if (it == hosted_.end() || !it->second.qm || it->second.qm->state() == QmgrState::kEnded) return nullptr;
  return it->second.qm.get();
}

std::vector<QueueManager*> Server::AllRunning() {
  std::vector<QueueManager*> out;
  for (auto& [name, h] : hosted_)
    if (h.qm && h.qm->state() != QmgrState::kEnded) out.push_back(h.qm.get());
  return out;
}

QueueManager* Server::FindByPort(int port) {
  for (auto& [name, h] : hosted_)
    if (h.port == port && h.qm && h.qm->state() != QmgrState::kEnded) return h.qm.get();
  return nullptr;
}

bool Server::StartQmgr(const std::string& name, std::string* text, MQLONG* reason) {
  *reason = MQRC_NONE;
  if (hosted_.count(name)) {
    *text = "queue manager " + name + " is already running";
    *reason = MQRC_Q_MGR_ACTIVE;
    return false;
  }
  IniFile mqs = ReadMqsIni(root_);
  std::optional<QmgrEntry> entry = FindQmgr(mqs, name);
  if (!entry) {
    *text = "queue manager " + name + " does not exist in " + MqsIniPath(root_);
    *reason = MQRC_Q_MGR_NAME_ERROR;
    return false;
  }
  std::string data_dir = entry->DataDir();
  std::string qm_ini_text;
  if (!ReadFile(data_dir + "/qm.ini", &qm_ini_text)) {
    *text = "read " + data_dir + "/qm.ini: " + std::strerror(errno);
    *reason = MQRC_RESOURCE_PROBLEM;
    return false;
  }
  IniFile qm_ini = IniFile::Parse(qm_ini_text);
  int port = ReadListenerPort(data_dir);
  IniStanza* tcp = qm_ini.Find("TCP");
  std::string ip = tcp != nullptr ? tcp->Get("IPAddr") : "";
  if (ip.empty()) ip = "127.0.0.1";
  if (port < 0) {
    *text = data_dir + "/qm.ini has no valid Port= in its TCP stanza";
    *reason = MQRC_RESOURCE_PROBLEM;
    return false;
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::inet_pton(AF_INET, ip.c_str(), &addr.sin_addr) != 1) {
    *text = data_dir + "/qm.ini: IPAddr=" + ip + " is not an IPv4 address";
    *reason = MQRC_RESOURCE_PROBLEM;
    return false;
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 128) != 0) {
    *text = "listener " + ip + ":" + std::to_string(port) + " for " + name + ": " + std::strerror(errno);
    *reason = MQRC_RESOURCE_PROBLEM;
    if (fd >= 0) ::close(fd);
    return false;
  }
  SetNonBlocking(fd);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  int actual = ntohs(addr.sin_port);
  if (actual != port) {
    // Port 0 asked for any free port: record the one we got, so that
    // MQCONN and the control command find it.
    if (tcp == nullptr) tcp = &qm_ini.Add("TCP");
    tcp->Set("Port", std::to_string(actual));
    if (!WriteFileAtomic(data_dir + "/qm.ini", qm_ini.Format())) {
      *text = "write " + data_dir + "/qm.ini: " + std::strerror(errno);
      *reason = MQRC_RESOURCE_PROBLEM;
      ::close(fd);
      return false;
    }
  }
  std::string error;
  std::unique_ptr<QueueManager> qm = QueueManager::Open(name, data_dir, this, &error);
  if (!qm) {
    *text = "queue manager " + name + ": " + error;
    *reason = MQRC_RESOURCE_PROBLEM;
    ::close(fd);
    return false;
  }
  Hosted& h = hosted_[name];
  h.qm = std::move(qm);
  h.listen_fd = fd;
  h.port = actual;
  *text = "queue manager " + name + " started, listening on " + ip + "(" + std::to_string(actual) + ")";
  Log(*text);
  return true;
}

void Server::DropUndurableReplies(const std::string& name) {
  auto it = hosted_.find(name);
  if (it == hosted_.end()) return;
  QueueManager* failed_qm = it->second.qm.get();
  for (auto& [id, c] : conns_) {
    if (c->qm == failed_qm || it->second.journal_dependents.count(id)) {
      c->DropReplies();
      c->dead = true;
    }
  }
  it->second.journal_dependents.clear();
}

void Server::EndQmgr(const std::string& name, MQLONG reason) {
  auto it = hosted_.find(name);
  if (it == hosted_.end()) return;
  Hosted& h = it->second;
  // What this pass queued must be on disk before the end sends anything.
  if (!h.qm->FlushJournal()) {
    Log("queue manager " + name + ": journal write failed");
    DropUndurableReplies(name);
  }
  h.journal_dependents.clear();
  h.qm->End(reason);
  if (h.listen_fd >= 0) ::close(h.listen_fd);
  for (uint64_t waiter : h.stop_waiters) {
    auto c = conns_.find(waiter);
    if (c == conns_.end()) continue;
    ControlReply reply;
    reply.text = "queue manager " + name + " ended";
    Writer w;
    Encode(w, reply);
    c->second->SendReply(kOpCtlStop, w);
  }
  // Sessions of other queue managers may hold handles on this one's queues;
  // those queues are marked deleted, so nothing reaches the freed object.
  hosted_.erase(it);
  Log("queue manager " + name + " ended");
}

void Server::CheckStops(Clock::time_point now) {
  std::vector<std::string> done;
  for (auto& [name, h] : hosted_)
    if (h.stopping && (h.qm->session_count() == 0 || now >= h.stop_deadline)) done.push_back(name);
  for (const auto& name : done) EndQmgr(name, MQRC_Q_MGR_STOPPING);
}

// ---- 3. The loop --------------------------------------------------------------

void Server::Accept(int listen_fd, const std::string& qmgr, bool control) {
  for (;;) {
    int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // Out of descriptors: shed the waiting connection through the spare
        // one so that its peer learns at once, and rest before accepting
        // again instead of spinning on a listener that stays readable.
        Log(std::string("accept: ") + std::strerror(errno) + "; accepting rests");
        if (spare_fd_ >= 0) {
          ::close(spare_fd_);
          int shed = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
          if (shed >= 0) ::close(shed);
          spare_fd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        }
        accept_paused_until_ = Clock::now() + kAcceptBackOff;
      }
      return;
    }
    size_t& count = control ? control_conns_ : client_conns_;
    if (count >= (control ? kMaxControlConnections : limits_.max_connections)) {
      ::close(fd);  // the peer sees its connection closed
      continue;
    }
    ++count;
    if (!control) {
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    auto c = std::make_unique<Conn>();
    c->id = next_conn_++;
    c->fd = fd;
    c->control = control;
    c->listener_qmgr = qmgr;
    c->queued_total = &queued_reply_bytes_;
    c->pass_now = &now_;
    c->accepted = c->last_activity = Clock::now();
    conns_[c->id] = std::move(c);
  }
}

namespace {

// Bytes still missing from the frame at the front of `in`, or 0 when no
// header is whole yet (read what comes).
size_t MissingFrameBytes(const IoBuffer& in) {
  if (in.size() < 8) return 0;
  uint32_t len = 0;
  std::memcpy(&len, in.data(), 4);
  if (len < 4 || len - 4 > kMaxFramePayloadBytes) return 0;
  return in.size() - 4 < len ? 4 + len - in.size() : 0;
}

}  // namespace

void Server::ReadConn(Conn* c) {
  if (c->close_after_flush || c->dead) return;  // nothing more is taken from it
  // Read until one frame is whole (or the socket is empty), straight into
  // the connection's buffer, so that a peer that keeps sending neither
  // holds the loop nor grows the buffer without end. Storage grows with
  // the bytes that came, never with the length a header announces.
  size_t before = c->in.size();
  for (;;) {
    size_t missing = MissingFrameBytes(c->in);
    size_t want = missing == 0 ? size_t{65536} : std::min(missing, kReadChunkBytes);
    ssize_t n = ::recv(c->fd, c->in.Tail(want), want, 0);
    if (n > 0) {
      c->in.Commit(static_cast<size_t>(n));
      c->last_activity = now_;
      if (static_cast<size_t>(n) < want || (c->in.size() >= 8 && MissingFrameBytes(c->in) == 0)) break;
      continue;
    }
    if (n == 0) {
      c->dead = true;
      break;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) c->dead = true;
    break;
  }
  buffered_input_bytes_ += c->in.size() - before;
  ProcessFrames(c);
  // With no journal record waiting to be synced, no reply can tell of
  // something a crash would undo: the replies leave now, not after the
  // rest of the pass.
  if (!c->out.empty() && !c->dead && NothingToSync()) WriteConn(c);
  if (c->dead && c->session != nullptr && c->qm != nullptr) {
    c->qm->Disconnect(c->session);  // the application went away: back out
    c->session = nullptr;
  }
}

bool Server::NothingToSync() const {
  for (const auto& [name, h] : hosted_)
    if (h.qm && h.qm->journal_pending()) return false;
  return true;
}

bool Server::MayDispatch(const Conn* c) const {
  if (c->close_after_flush || c->dead || c->out.size() >= kMaxPendingReplyBytes) return false;
  return c->control || queued_reply_bytes_ < kMaxQueuedReplyBytes;
}

bool Server::ProcessFrames(Conn* c) {
  size_t before = c->in.size();
  bool any = false;
  c->frames_waiting = false;
  while (c->in.size() >= 8) {
    if (!MayDispatch(c)) {
      c->frames_waiting = !c->close_after_flush && !c->dead && MissingFrameBytes(c->in) == 0;
      break;
    }
    uint32_t len = 0, op = 0;
    std::memcpy(&len, c->in.data(), 4);
    std::memcpy(&op, c->in.data() + 4, 4);
    if (len < 4 || len - 4 > kMaxFramePayloadBytes) {
      ProtocolError(c, "frame length " + std::to_string(len) + " out of range",
                    std::span<const uint8_t>(c->in.data(), c->in.size()));
      break;
    }
    if (c->in.size() - 4 < len) break;
    c->requested = true;
    any = true;
    std::span<const uint8_t> payload(c->in.data() + 8, len - 4);
    Dispatch(c, op, payload);
    c->in.Consume(4 + len);
  }
  if (c->close_after_flush || c->dead) c->in.Release();  // never looked at again
  buffered_input_bytes_ -= before - c->in.size();
  if (c->in.empty() || MissingFrameBytes(c->in) == 0)
    c->partial_since = Clock::time_point{};
  else if (c->partial_since == Clock::time_point{})
    c->partial_since = Clock::now();
  return any;
}

void Server::WriteConn(Conn* c) {
  while (!c->out.empty()) {
    ssize_t n = ::send(c->fd, c->out.data(), c->out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      c->out.Consume(static_cast<size_t>(n));
      queued_reply_bytes_ -= static_cast<size_t>(n);
      c->last_activity = c->write_stalled_since = now_;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    c->dead = true;
    return;
  }
}

void Server::ExpireConnections(Clock::time_point now) {
  const auto limit = limits_.connect_timeout;
  for (auto& [id, c] : conns_) {
    if (c->dead) continue;
    const char* why = nullptr;
    bool waiting_on_us = c->control ? c->requested : (c->session != nullptr && c->session->pending);
    if (!c->requested && c->session == nullptr && !c->close_after_flush && now - c->accepted >= limit)
      why = "sent no request";
    else if (c->partial_since != Clock::time_point{} && now - c->partial_since >= limit)
      why = "left a frame unfinished";
    else if (!c->out.empty() && now - c->write_stalled_since >= limit)
      why = "does not read its replies";
    else if (!c->control && limits_.idle_timeout.count() > 0 && c->session != nullptr && !waiting_on_us &&
             c->out.empty() && c->in.empty() && now - c->last_activity >= limits_.idle_timeout)
      why = "was idle";
    if (why == nullptr) continue;
    Log("connection " + std::to_string(id) + " " + why + "; closed");
    c->DropReplies();
    c->dead = true;
  }
}

void Server::Watch(int fd, uint64_t key, uint32_t events, uint32_t* watched) {
  if (*watched == events) return;
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = key;
  if (::epoll_ctl(epoll_fd_, *watched == kUnwatched ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &ev) == 0)
    *watched = events;
  else
    Log("epoll_ctl on descriptor " + std::to_string(fd) + ": " + std::strerror(errno));
}

namespace {

// epoll keys: a connection by its id (counted from 1, never this high);
// the rest tagged, a listener with its descriptor.
constexpr uint64_t kKeyTag = uint64_t{1} << 63;
constexpr uint64_t kSignalKey = kKeyTag | 1;
constexpr uint64_t kControlKey = kKeyTag | 2;
constexpr uint64_t kListenerKey = kKeyTag | (uint64_t{1} << 32);

}  // namespace

int Server::Run() {
  std::vector<epoll_event> ready(256);
  uint32_t signal_watched = kUnwatched, control_watched = kUnwatched;
  while (!shutdown_) {
    // Requests a reply limit held back go first, once their replies left.
    bool resumed = false;
    for (auto& [id, c] : conns_)
      if (c->frames_waiting && MayDispatch(c.get()) && ProcessFrames(c.get())) resumed = true;
    Clock::time_point now = now_ = Clock::now();
    const bool accepting = now >= accept_paused_until_;
    const uint32_t accept_events = accepting ? uint32_t{EPOLLIN} : 0;
    Watch(g_signal_pipe[0], kSignalKey, EPOLLIN, &signal_watched);
    Watch(control_fd_, kControlKey, accept_events, &control_watched);
    for (auto& [name, h] : hosted_)
      Watch(h.listen_fd, kListenerKey | static_cast<uint32_t>(h.listen_fd), accept_events, &h.watched);
    for (auto& [id, c] : conns_) {
      // A peer that does not read its replies is not read from either, nor
      // one that is to be closed, nor any application while the input
      // held over all connections is at its bound.
      bool readable = !c->close_after_flush && !c->dead && !c->frames_waiting &&
                      c->out.size() < kMaxPendingReplyBytes &&
                      (c->control || buffered_input_bytes_ < kMaxBufferedInputBytes);
      uint32_t ev = readable ? uint32_t{EPOLLIN} : 0;
      if (!c->out.empty()) ev |= EPOLLOUT;
      Watch(c->fd, id, ev, &c->watched);
    }
    int timeout_ms = -1;
    auto consider = [&](Clock::time_point t) {
      auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - now).count() + 1;
      if (ms < 0) ms = 0;
      if (timeout_ms < 0 || ms < timeout_ms) timeout_ms = static_cast<int>(std::min<long long>(ms, 60000));
    };
    for (auto& [name, h] : hosted_) {
      if (auto d = h.qm->NextDeadline()) consider(*d);
      if (h.stopping) consider(h.stop_deadline);
    }
    if (!accepting) consider(accept_paused_until_);
    // Connection timeouts are looked at about once a second.
    if (!conns_.empty()) consider(now + std::chrono::seconds(1));
    if (more_commands_ || resumed) timeout_ms = 0;
    int n = ::epoll_wait(epoll_fd_, ready.data(), static_cast<int>(ready.size()), timeout_ms);
    if (n < 0 && errno != EINTR) {
      Log(std::string("epoll_wait: ") + std::strerror(errno));
      return 1;
    }
    now_ = Clock::now();
    for (int i = 0; i < n; ++i) {
      const uint64_t key = ready[i].data.u64;
      const uint32_t events = ready[i].events;
      if (key == kSignalKey) {
        char b[16];
        while (::read(g_signal_pipe[0], b, sizeof b) > 0) {
        }
        Log("stop signal: ending every queue manager");
        shutdown_ = true;
      } else if (key == kControlKey) {
        if (events & EPOLLIN) Accept(control_fd_, "", true);
      } else if (key & kKeyTag) {
        // A listener: found by its descriptor (it may have closed since).
        const int fd = static_cast<int>(static_cast<uint32_t>(key));
        for (auto& [name, h] : hosted_) {
          if (h.listen_fd != fd) continue;
          if (events & EPOLLIN) Accept(fd, name, false);
          break;
        }
      } else {
        auto it = conns_.find(key);
        if (it != conns_.end() && (events & (EPOLLIN | EPOLLHUP | EPOLLERR))) ReadConn(it->second.get());
      }
    }
    // Handling the events took microseconds: the time read after the wait
    // serves the timers too.
    now = now_;
    ExpireConnections(now);
    for (auto& [name, h] : hosted_) h.qm->OnTimer(now);
    // Command servers answer after the requests of this pass are queued;
    // the replies they put wait for the journals like any other.
    more_commands_ = false;
    for (auto& [name, h] : hosted_)
      if (h.qm->RunCommandServer()) more_commands_ = true;
    for (auto& [name, h] : hosted_)
      if (h.qm->RunChannels()) more_commands_ = true;
    for (auto& [name, h] : hosted_)
      if (h.qm->SendReports()) more_commands_ = true;
    CheckStops(now);
    if (shutdown_) {
      std::vector<std::string> names;
      for (auto& [name, h] : hosted_) names.push_back(name);
      for (const auto& name : names) EndQmgr(name, MQRC_Q_MGR_STOPPING);
    }
    // Journals first, replies after: see the header.
    std::vector<std::string> failed;
    for (auto& [name, h] : hosted_) {
      if (h.qm->FlushJournal())
        h.journal_dependents.clear();
      else
        failed.push_back(name);
    }
    for (const auto& name : failed) {
      Log("queue manager " + name + ": journal write failed; ending it");
      // Replies of this pass may acknowledge what never reached the disk:
      // none of them may leave.
      DropUndurableReplies(name);
      EndQmgr(name, MQRC_Q_MGR_STOPPING);
    }
    for (auto it = conns_.begin(); it != conns_.end();) {
      Conn* c = it->second.get();
      if (!c->dead) WriteConn(c);
      bool drop = c->dead || (c->close_after_flush && c->out.empty());
      if (drop) {
        if (c->session != nullptr && c->qm != nullptr) c->qm->Disconnect(c->session);
        ::epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, c->fd, nullptr);
        ::close(c->fd);
        c->DropReplies();
        buffered_input_bytes_ -= c->in.size();
        --(c->control ? control_conns_ : client_conns_);
        it = conns_.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Deliver what the last pass queued (shutdown replies), briefly.
  for (auto& [id, c] : conns_) {
    SetNonBlocking(c->fd);
    WriteConn(c.get());
  }
  return 0;
}

void Server::ProtocolError(Conn* c, const std::string& what, std::span<const uint8_t> sample) {
  Log("protocol error on connection " + std::to_string(c->id) + ": " + what + "; first bytes " +
      Sanitised(sample));
  ReplyHead reply{MQCC_FAILED, MQRC_UNEXPECTED_ERROR};
  Writer w;
  Encode(w, reply);
  c->SendReply(0, w);
  c->close_after_flush = true;
}

void Server::Dispatch(Conn* c, uint32_t op, std::span<const uint8_t> payload) {
  if (!c->control) {
    // An application's request starts and ends no queue manager, so the
    // journals are compared in the order of hosted_ (storage reused).
    std::vector<uint64_t>& marks = client_marks_;
    marks.clear();
    for (auto& [name, h] : hosted_) marks.push_back(h.qm->journal_appended());
    DispatchClient(c, op, payload);
    const bool same = marks.size() == hosted_.size();
    size_t i = 0;
    for (auto& [name, h] : hosted_)
      if (!same || h.qm->journal_appended() != marks[i++]) h.journal_dependents.insert(c->id);
    return;
  }
  // A control request may start or end queue managers: where every
  // journal stood before it is kept by name (storage reused).
  std::vector<std::pair<std::string, uint64_t>>& before = journal_marks_;
  before.resize(hosted_.size());
  size_t i = 0;
  for (auto& [name, h] : hosted_) {
    before[i].first.assign(name);
    before[i++].second = h.qm->journal_appended();
  }
  DispatchControl(c, op, payload);
  // The reply waits for every journal the request wrote to.
  for (const auto& [name, appended] : before) {
    auto it = hosted_.find(name);
    if (it != hosted_.end() && it->second.qm->journal_appended() != appended)
      it->second.journal_dependents.insert(c->id);
  }
}

// ---- 4. Client requests ------------------------------------------------------

// A client that named a server-connection channel: its status shows the
// client's address and counts its calls.
void Server::NoteClientChannel(Conn* c, const std::string& channel) {
  if (channel.empty()) return;
  ClientChannel& cc = c->session->client;
  cc.channel = channel;
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  char text[INET_ADDRSTRLEN] = {0};
  if (::getpeername(c->fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0 && peer.sin_family == AF_INET)
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
  cc.conn_name = text;
  cc.started = time(nullptr);
  cc.last_call = cc.started;
}

void Server::DispatchClient(Conn* c, uint32_t op, std::span<const uint8_t> payload) {
  if (c->session == nullptr) {
    Writer w;
    if (op != kOpConnect) {
      // A session ended by the queue manager: the application learns that
      // its connection is broken.
      if (c->qm == nullptr && op >= kOpDisconnect && op <= kOpBackout) {
        Encode(w, ReplyHead{MQCC_FAILED, MQRC_CONNECTION_BROKEN});
        c->SendReply(op, w);
        c->close_after_flush = true;
        return;
      }
      ProtocolError(c, "request " + std::to_string(op) + " before connect", payload);
      return;
    }
    ConnectRequest req;
    if (!Decode(payload, &req)) {
      ProtocolError(c, "malformed connect", payload);
      return;
    }
    ConnectReply reply;
    auto h = hosted_.find(c->listener_qmgr);
    if (!req.qmgr.empty() && req.qmgr != c->listener_qmgr) {
      reply.cc = MQCC_FAILED;
      reply.rc = MQRC_Q_MGR_NAME_ERROR;
    } else if (h == hosted_.end() || h->second.qm->state() == QmgrState::kEnded) {
      reply.cc = MQCC_FAILED;
      reply.rc = MQRC_Q_MGR_NOT_AVAILABLE;
    } else if (h->second.qm->state() == QmgrState::kQuiescing) {
      reply.cc = MQCC_FAILED;
      reply.rc = MQRC_Q_MGR_QUIESCING;
    } else {
      c->qm = h->second.qm.get();
      c->session = c->qm->Connect(req.user, req.appl_name, c);
      reply.qmgr = c->listener_qmgr;
      NoteClientChannel(c, req.channel);
    }
    Encode(w, reply);
    c->SendReply(op, w);
    if (reply.cc == MQCC_FAILED) c->close_after_flush = true;
    return;
  }
  if (c->session->pending) {
    ProtocolError(c, "request " + std::to_string(op) + " while a get waits", payload);
    return;
  }
  QueueManager* qm = c->qm;
  Session* s = c->session;
  if (!s->client.channel.empty()) {
    ++s->client.calls;
    s->client.bytes_rcvd += static_cast<int64_t>(payload.size() + 8);
    s->client.last_call = time(nullptr);
  }
  bool ok = true;
  // The reply is encoded straight into the connection's outgoing bytes.
  Writer w(c->BeginReply(op));
  switch (op) {
    case kOpDisconnect:
      qm->Disconnect(s);
      c->session = nullptr;
      c->qm = nullptr;
      Encode(w, ReplyHead{});
      c->close_after_flush = true;
      break;
    case kOpOpen: {
      OpenRequest req;
      if ((ok = Decode(payload, &req))) Encode(w, qm->OpenObject(s, req));
      break;
    }
    case kOpClose: {
      CloseRequest req;
      if ((ok = Decode(payload, &req))) Encode(w, qm->Close(s, req));
      break;
    }
    case kOpPut:
    case kOpPut1: {
      PutRequest req;  // its message bytes view `payload`
      bool put1 = op == kOpPut1;
      if ((ok = DecodePut(payload, &req, put1))) Encode(w, qm->Put(s, req, put1));
      break;
    }
    case kOpGet: {
      GetRequest req;
      if (!(ok = Decode(payload, &req))) break;
      GetReply reply;
      if (!qm->Get(s, req, &reply)) {  // parked: the reply comes later
        c->CancelReply();
        return;
      }
      Encode(w, reply);
      break;
    }
    case kOpInquire: {
      InquireRequest req;
      if ((ok = Decode(payload, &req))) Encode(w, qm->Inquire(s, req));
      break;
    }
    case kOpSet: {
      SetRequest req;
      if ((ok = Decode(payload, &req))) Encode(w, qm->Set(s, req));
      break;
    }
    case kOpCommit:
      if ((ok = payload.empty())) Encode(w, qm->Commit(s));
      break;
    case kOpBackout:
      if ((ok = payload.empty())) Encode(w, qm->Backout(s));
      break;
    default:
      ok = false;
  }
  if (!ok) {
    c->CancelReply();
    ProtocolError(c, "malformed or unknown request " + std::to_string(op), payload);
    return;
  }
  c->EndReply();
}

// ---- 5. Control requests ------------------------------------------------------

void Server::DispatchControl(Conn* c, uint32_t op, std::span<const uint8_t> payload) {
  Writer w;
  ControlReply reply;
  ControlRequest req;
  if (op != kOpCtlPing && op != kOpCtlStatus && op != kOpCtlShutdown && !Decode(payload, &req)) {
    ProtocolError(c, "malformed control request " + std::to_string(op), payload);
    return;
  }
  auto running = [&](const std::string& name) -> QueueManager* {
    QueueManager* qm = FindRunning(name);
    if (qm == nullptr) {
      reply.cc = MQCC_FAILED;
      reply.rc = MQRC_Q_MGR_NOT_AVAILABLE;
      reply.text = "queue manager " + name + " is not running";
    }
    return qm;
  };
  switch (op) {
    case kOpCtlPing:
      reply.text = "mqsim " + std::to_string(getpid());
      break;
    case kOpCtlStart: {
      MQLONG rc = MQRC_NONE;
      if (!StartQmgr(req.qmgr, &reply.text, &rc)) {
        reply.cc = MQCC_FAILED;
        reply.rc = rc;
      }
      break;
    }
    case kOpCtlStop: {
      auto it = hosted_.find(req.qmgr);
      if (it == hosted_.end()) {
        running(req.qmgr);
        break;
      }
      Hosted& h = it->second;
      if (req.mode == 1) {
        h.stop_waiters.push_back(c->id);
        EndQmgr(req.qmgr, MQRC_Q_MGR_STOPPING);
        return;  // EndQmgr answered
      }
      h.qm->Quiesce();
      Clock::time_point deadline =
          Clock::now() + std::chrono::milliseconds(req.wait_ms > 0 ? req.wait_ms : 0);
      if (!h.stopping || deadline < h.stop_deadline) h.stop_deadline = deadline;
      h.stopping = true;
      h.stop_waiters.push_back(c->id);
      return;  // answered when the queue manager ends (CheckStops)
    }
    case kOpCtlStatus: {
      std::vector<QmgrStatus> list;
      for (const auto& e : ListQmgrs(ReadMqsIni(root_))) {
        QmgrStatus st;
        st.name = e.name;
        st.port = ReadListenerPort(e.DataDir());
        auto it = hosted_.find(e.name);
        if (it != hosted_.end()) {
          st.state = it->second.qm->state() == QmgrState::kQuiescing ? 2 : 1;
          st.port = it->second.port;
          st.connections = static_cast<MQLONG>(it->second.qm->session_count());
        }
        list.push_back(st);
      }
      EncodeStatus(w, ReplyHead{}, list);
      c->SendReply(op, w);
      return;
    }
    case kOpCtlShutdown:
      reply.text = "mqsim ending";
      shutdown_ = true;
      break;
    case kOpCtlDefineQueue:
      if (QueueManager* qm = running(req.qmgr)) {
        ReplyHead head = qm->DefineQueue(req.attrs, req.mode == 1, &reply.text);
        reply.cc = head.cc;
        reply.rc = head.rc;
      }
      break;
    case kOpCtlDeleteQueue:
      if (QueueManager* qm = running(req.qmgr)) {
        ReplyHead head = qm->DeleteQueue(req.name, req.mode == 1, &reply.text);
        reply.cc = head.cc;
        reply.rc = head.rc;
      }
      break;
    case kOpCtlCommandServer:
      if (QueueManager* qm = running(req.qmgr)) {
        CommandServer* cs = qm->command_server();
        MQLONG rc = MQRC_NONE;
        bool ok = true;
        if (req.mode == 0) {
          cs->Stop();
          reply.text = "command server of " + req.qmgr + " stopped";
        } else if (req.mode == 1) {
          ok = cs->Start(&rc);
          reply.text = "command server of " + req.qmgr + " started";
        } else if (req.mode == 2) {
          ok = cs->Hang(&rc);
          reply.text = "command server of " + req.qmgr + " holds its queue and answers nothing";
        } else {
          ok = false;
          rc = MQRC_OPTIONS_ERROR;
        }
        if (!ok) {
          reply.cc = MQCC_FAILED;
          reply.rc = rc;
          reply.text = "command server of " + req.qmgr + ": reason " + std::to_string(rc);
        }
      }
      break;
    case kOpCtlReloadAuthority:
      if (QueueManager* qm = running(req.qmgr)) {
        qm->LoadDenyList();
        reply.text = "authority deny list of " + req.qmgr + " reloaded";
      }
      break;
    default:
      ProtocolError(c, "unknown control request " + std::to_string(op), payload);
      return;
  }
  Encode(w, reply);
  c->SendReply(op, w);
}

}  // namespace mqsim::server
