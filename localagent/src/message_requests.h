// Message requests (10300 to 10306) of the agent's clients, carried out by
// the message server library (msgops).
//
// Each request runs apart from every other one and from the client
// connection it came on:
//  - on an MQ connection of its own, taken from a small pool per queue
//    manager, so its unit of work (MQIA_SYNCPOINT) holds its own gets and
//    puts only: a commit or back-out of one request never touches another
//    client's work, nor the client connection's commands and event reads;
//  - under a CorrelId of its own: the server's responses carry it and the
//    agent reads them by it, so a response left over from an earlier
//    request on the same pooled connection is never relayed;
//  - with a context of its own inside the server (each ZOREXEC call keeps
//    its state on its own stack; the handle's tables are read-only).
//
// The server runs the whole request on the calling thread and has put
// every response on the connection's reply queue when ZOREXEC returns; the
// client thread then relays them up to the one with Control 1. A run that
// ended without that final response still gets one: CompCode 2 with the
// reason the server left (or 20307 when it left none).
//
// Threads: one MessageServer per process, shared by every connection
// thread (its pools are guarded by one mutex; no MQ call is made while
// it is held). A MessageRequestRun belongs to the connection thread that
// started it.
#ifndef LOCALAGENT_MESSAGE_REQUESTS_H_
#define LOCALAGENT_MESSAGE_REQUESTS_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <pcfcore/pcf_message.h>
#include <qmlink/qmlink.h>

namespace localagent {

// The process's message server handle and its pools of connections.
class MessageServer {
 public:
  // Most connections open at once to one queue manager for message
  // requests; a request that finds them all busy waits for one.
  static constexpr size_t kDefaultConnectionsPerQmgr = 4;

  // ZORCREATE; a null handle (no memory) makes every request fail.
  explicit MessageServer(size_t connections_per_qmgr = kDefaultConnectionsPerQmgr);
  // Closes the idle connections and deletes the handle (ZORDELETE).
  // REQUIRES: no lease is held any more (every connection thread joined).
  ~MessageServer();
  MessageServer(const MessageServer&) = delete;
  MessageServer& operator=(const MessageServer&) = delete;

  void* handle() const { return handle_; }

  // A pooled connection, given back when the lease is destroyed.
  class Lease {
   public:
    ~Lease();
    MQManager* manager() const { return manager_; }

   private:
    friend class MessageServer;
    Lease(MessageServer* server, std::string key, MQManager* manager)
        : server_(server), key_(std::move(key)), manager_(manager) {}
    MessageServer* server_;
    std::string key_;
    MQManager* manager_;
  };

  // A connection to queue manager qmgr (its commands on command_queue),
  // idle or new, its reply queue open and empty. Waits while the pool is
  // full, at most until deadline and never after stopping() turns true.
  // Null with *reason: the connect's or open's MQ reason, or 2102
  // (MQRC_RESOURCE_PROBLEM) when no connection came free in time.
  std::unique_ptr<Lease> Acquire(const std::string& qmgr, const std::string& command_queue,
                                 std::chrono::steady_clock::time_point deadline,
                                 const std::function<bool()>& stopping, MQLONG* reason);

  // Connections open now to the queue manager (leased and idle), for tests.
  size_t OpenCount(const std::string& qmgr, const std::string& command_queue);

 private:
  struct Pool {
    std::vector<MQManager*> idle;
    size_t open = 0;  // idle and leased
  };
  static std::string Key(const std::string& qmgr, const std::string& command_queue);
  // Makes and opens a new connection; null with *reason.
  static MQManager* Connect(const std::string& qmgr, const std::string& command_queue,
                            MQLONG* reason);
  // Back from a lease: kept idle, or closed when it went bad.
  void GiveBack(const std::string& key, MQManager* manager);

  void* handle_ = nullptr;
  const size_t per_qmgr_;
  std::mutex mutex_;                 // guards pools_
  std::condition_variable freed_;    // a connection went back or was closed
  std::map<std::string, Pool> pools_;
};

// One message request handed to the server, from the hand-over to its
// final response.
class MessageRequestRun {
 public:
  // Runs request on a pooled connection to qmgr. The request's MQMD user
  // (the alternate user the server acts as) becomes user; the header's
  // MsgId and CorrelId are the run's own during the call and put back
  // after it. Null when no connection was had (*reason says why);
  // otherwise *reason is the connection's last reason and *taken whether
  // the server took the request (ZOREXEC nonzero).
  static std::unique_ptr<MessageRequestRun> Start(MessageServer* server, const std::string& qmgr,
                                                  const std::string& command_queue,
                                                  const std::string& user, mqPcfMessage* request,
                                                  MQLONG wait_ms,
                                                  const std::function<bool()>& stopping,
                                                  MQLONG* reason, bool* taken);

  // Fills response (reset by the caller to the request's command, type 2)
  // with the next response of the request, read by the run's CorrelId.
  // When none is left before the final one, the final one is made here:
  // Control 1, CompCode 2, Reason the server's last reason or 20307.
  void NextResponse(mqPcfMessage* response);

  // The run's CorrelId.
  const MQBYTE* correl_id() const { return correl_id_; }

 private:
  MessageRequestRun() = default;
  std::unique_ptr<MessageServer::Lease> lease_;
  MQBYTE correl_id_[MQ_CORREL_ID_LENGTH] = {};
  MQLONG command_ = 0;
  MQLONG reason_ = 0;  // the connection's reason when the server returned
};

// A CorrelId that no other run of this process carries: a marker, the
// process id and a counter.
void NewRunCorrelId(MQBYTE id[MQ_CORREL_ID_LENGTH]);

}  // namespace localagent

#endif  // LOCALAGENT_MESSAGE_REQUESTS_H_
