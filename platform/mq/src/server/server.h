// The mqsim process: one epoll loop serving the control socket, one TCP
// listener per running queue manager and every connection.
//
// Per loop pass: accept, read and dispatch whole frames, expire waiting
// gets, end queue managers whose quiesce is over, sync every journal, and
// only then write the replies: no reply that depends on a journal record
// leaves before that record is on disk (group commit for free). A reply
// given while no journal holds an unsynced record depends on none and
// leaves at once, after its request.
//
// A connection is freed only at the end of a pass, never while a handler
// above it runs: handlers mark it (close_after_flush, dead).
#ifndef MQSIM_SERVER_SERVER_H_
#define MQSIM_SERVER_SERVER_H_

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "queue_manager.h"

namespace mqsim::server {

// What one server lets its clients hold. Defaults are those of a plain
// `mqsim`; its command line changes them (main.cpp).
struct ServerLimits {
  // Application connections at once over all listeners; more are accepted
  // and closed at once. Lowered at start to fit the descriptor limit.
  size_t max_connections = 1000;
  // A connection that has not connected, a control connection without a
  // request, a frame left half-sent, or replies the peer does not read:
  // dropped after this long.
  std::chrono::milliseconds connect_timeout{10000};
  // A connected application that sends nothing, has no waiting get and
  // nothing to read: disconnected (its unit of work backed out) after
  // this long; zero never.
  std::chrono::milliseconds idle_timeout{0};
};

class Server : public Host {
 public:
  explicit Server(std::string root, ServerLimits limits = {});
  ~Server() override;

  // Opens the control socket. False with *error when another server owns
  // the installation or the socket cannot be made.
  bool Init(std::string* error);
  // Starts a queue manager listed in mqs.ini; false with *text.
  bool StartQmgr(const std::string& name, std::string* text, MQLONG* reason);
  // Runs until a shutdown request or SIGTERM/SIGINT; returns the exit code.
  int Run();
  // Async-signal-safe: asks the loop to shut down.
  static void SignalStop();

  QueueManager* FindRunning(const std::string& name) override;
  QueueManager* FindByPort(int port) override;
  std::vector<QueueManager*> AllRunning() override;

 private:
  struct Conn;
  struct Hosted {
    std::unique_ptr<QueueManager> qm;
    int listen_fd = -1;
    uint32_t watched = kUnwatched;  // events the listener is watched for
    int port = 0;
    bool stopping = false;
    Clock::time_point stop_deadline;
    std::vector<uint64_t> stop_waiters;  // control connections awaiting the end
    // Connections whose replies of this pass wait for this journal: any
    // connection whose request queued a record here, its own or another
    // queue manager's (MQPUT1, a commit, a control request).
    std::set<uint64_t> journal_dependents;
  };

  // What a descriptor not yet registered with epoll is watched for.
  static constexpr uint32_t kUnwatched = 0xFFFFFFFFu;
  // Has epoll report `events` on fd under `key`; *watched holds what it
  // reports now (kUnwatched before the first call). Unchanged: no call.
  void Watch(int fd, uint64_t key, uint32_t events, uint32_t* watched);
  void Accept(int listen_fd, const std::string& qmgr, bool control);
  void ReadConn(Conn* c);
  // Dispatches the whole frames in c's input until its reply limit or the
  // server's is reached; true when any was dispatched.
  bool ProcessFrames(Conn* c);
  bool MayDispatch(const Conn* c) const;
  // No journal of any queue manager holds records not yet synced.
  bool NothingToSync() const;
  void ExpireConnections(Clock::time_point now);
  void Dispatch(Conn* c, uint32_t op, std::span<const uint8_t> payload);
  void DispatchClient(Conn* c, uint32_t op, std::span<const uint8_t> payload);
  void NoteClientChannel(Conn* c, const std::string& channel);
  void DispatchControl(Conn* c, uint32_t op, std::span<const uint8_t> payload);
  void ProtocolError(Conn* c, const std::string& what, std::span<const uint8_t> sample);
  void EndQmgr(const std::string& name, MQLONG reason);
  // The journal of `name` failed: replies that may acknowledge what it lost
  // never leave; their connections close (the applications see 2009).
  void DropUndurableReplies(const std::string& name);
  void CheckStops(Clock::time_point now);
  void WriteConn(Conn* c);
  void Log(const std::string& text);

  std::string root_;
  ServerLimits limits_;
  int control_fd_ = -1;
  int epoll_fd_ = -1;
  int spare_fd_ = -1;  // given up to shed a connection when descriptors run out
  Clock::time_point accept_paused_until_{};
  size_t client_conns_ = 0;
  size_t control_conns_ = 0;
  size_t queued_reply_bytes_ = 0;  // over every connection
  size_t buffered_input_bytes_ = 0;
  std::string control_path_;
  std::map<std::string, Hosted> hosted_;
  std::map<uint64_t, std::unique_ptr<Conn>> conns_;
  // The time read once per step of a pass, for the connections' clocks
  // (their timeouts count whole seconds).
  Clock::time_point now_ = Clock::now();
  std::vector<std::pair<std::string, uint64_t>> journal_marks_;  // Dispatch's, reused
  std::vector<uint64_t> client_marks_;  // the same for an application's request
  uint64_t next_conn_ = 1;
  bool shutdown_ = false;
  bool more_commands_ = false;  // also: a channel has messages left  // a command server left requests for the next pass
};

}  // namespace mqsim::server

#endif  // MQSIM_SERVER_SERVER_H_
