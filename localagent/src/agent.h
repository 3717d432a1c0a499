// The running agent: its settings, the state its threads share, and the
// steps of its run (outer loop, serve loop, registration, connections).
#ifndef LOCALAGENT_AGENT_H_
#define LOCALAGENT_AGENT_H_

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <netcore/netcore.h>
#include <signcore/signcore.h>

#include "settings.h"

namespace localagent {

class MessageServer;

// What the threads of the agent share. The settings are fixed before the
// first connection starts; the stop flag and the queue-manager mask change
// while connections run, so they are atomic or guarded.
class AgentState {
 public:
  explicit AgentState(Settings settings) : settings_(std::move(settings)),
                                           qmgr_mask_(settings_.qmgr_mask) {}

  const Settings& settings() const { return settings_; }

  bool Stopping() const { return stop_.load(); }
  void RequestStop() { stop_.store(true); }

  std::string QmgrMask() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return qmgr_mask_;
  }
  void SetQmgrMask(std::string mask) {
    std::lock_guard<std::mutex> lock(mutex_);
    qmgr_mask_ = std::move(mask);
  }

  // The agent's own address as the serve loop last bound it: the host name
  // of the settings with the IP text and port of the bound TCP socket.
  // Main thread only.
  SocketAddress address{};

  // The message server of every connection's message requests; set before
  // the first connection starts and kept until every one has ended. Null
  // where none is made (message requests then fail).
  MessageServer* message_server = nullptr;

 private:
  Settings settings_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::string qmgr_mask_;
};

// Connection threads, each serving one accepted client. The agent joins
// every one of them before it frees anything they use.
class ConnectionThreads {
 public:
  ~ConnectionThreads() { JoinAll(); }
  // Starts body on a new thread (stop signals blocked in it); false when
  // the thread cannot be started.
  bool Start(std::function<void()> body);
  // Joins the threads that have ended.
  void Reap();
  // Joins all; they end on their own once the stop flag is set.
  void JoinAll();
  size_t Count();

 private:
  struct Entry {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::mutex mutex_;
  std::vector<Entry> threads_;
};

// Answers to broadcasts are limited per destination, so that a forged
// sender address cannot turn the agent into a stream of datagrams aimed at
// someone else: at most one answer per destination per interval, and at most
// `burst` answers per interval overall.
class AnswerLimiter {
 public:
  using Clock = std::chrono::steady_clock;
  explicit AnswerLimiter(std::chrono::milliseconds interval = std::chrono::seconds(1),
                         int burst = 32)
      : interval_(interval), burst_(burst) {}
  bool Allow(const std::string& destination, Clock::time_point now);

 private:
  std::chrono::milliseconds interval_;
  int burst_;
  std::map<std::string, Clock::time_point> last_;
  Clock::time_point window_start_{};
  int in_window_ = 0;
};

// Log settings of the MQ installation, sent with a registration and with
// the reply to a queue-manager inquiry.
struct MqLogSettings {
  std::string path;
  int type = 0, primary = 0, secondary = 0, file_pages = 0, buffer_pages = 0;
};

// Queue-manager access (the seam to the queue-manager library).
// Appends the names of the local queue managers that match mask (2015 as
// a string list).
void AppendQueueManagerNames(mqPcfMessage* message, const std::string& mask);
// The log settings of queue manager name; false when none are found.
bool LogSettingsOf(const std::string& name, MqLogSettings* log);
// Lists the local queue managers matching mask and, with verification on,
// tests each and prints the verdicts.
void VerifyQueueManagers(const AgentState& agent);
// The installation's default log settings; false when none are found.
bool DefaultLogSettings(MqLogSettings* log);
// Appends the log settings of the queue manager named in the message's
// 2015 (an indexed queue-manager inquiry reply) and indexes it again;
// nothing when that queue manager's settings are not found.
void AddLogSettings(mqPcfMessage* message);

// Registration parameters in their order. periodic: the datagram sent to
// the group managers of mqgroup.ini; else the answer to a broadcast.
void AddRegistrationParameters(mqPcfMessage* message, const Settings& settings,
                               const SocketAddress& agent, const std::string& group,
                               const std::string& qmgr_mask, bool periodic,
                               const MqLogSettings* log);

// Sends the registration datagram to every group manager of our group in
// mqgroup.ini; *reason gets the last failure (4010: no usable host name).
void RegisterWithGroupManagers(AgentState& agent, mqnMQNodeData* udp, mqcSignature credential,
                               int* reason);

// Reads and handles one datagram of the UDP node.
void HandleDatagram(AgentState& agent, mqnMQNodeData* udp, mqcSignature credential,
                    AnswerLimiter& limiter);

// The outer loop and serve loop: from verification of the queue managers
// to the stop; 0 after a normal stop, 1 when the server nodes could not be
// built.
int RunOuterLoop(AgentState& agent, mqcSignature credential);

// Accepts the pending connection of the server node and serves it on a
// thread of its own; false when either step fails.
bool ServeClient(AgentState& agent, mqnMQNodeData* server, ConnectionThreads& threads);

// The body of a connection thread; the node is the thread's and deleted at
// its end.
void HandleClient(AgentState& agent, mqnMQNodeData* client);

// Installs the socket and node trace callbacks of option -x.
void InstallCommunicationTrace();

// The whole run of the agent after the options: 0 normal stop, 1 failed
// start, 2 no signing credential.
int RunAgent(AgentState& agent);

}  // namespace localagent

#endif  // LOCALAGENT_AGENT_H_
