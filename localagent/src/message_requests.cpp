// Message requests: the pools of MQ connections they run on, and one run
// from the hand-over to the server up to its final response.

#include "message_requests.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include <msgops/msgops.h>

namespace localagent {
namespace {

// Suffix of the pooled connections' dynamic reply queues
// ("HARROWLINE.REPLY.MSGSERVER*").
constexpr const char kReplySuffix[] = "MSGSERVER";
// Longest single wait for a pooled connection, so the stop flag is seen.
constexpr auto kAcquireSlice = std::chrono::seconds(1);
// The server has put every response when ZOREXEC returns; this wait only
// matters when the final one is missing.
constexpr MQLONG kLeftoverWaitMs = 200;

// Answered for a response that cannot be read as PCF, as for a command
// server's reply.
constexpr MQLONG kRcFormatError = 2029;

// A connection that answered one of these is gone and is not pooled again.
bool Broken(MQLONG reason) {
  return reason == MQRC_CONNECTION_BROKEN || reason == MQRC_Q_MGR_NOT_ACTIVE ||
         reason == MQRC_Q_MGR_STOPPING || reason == MQRC_Q_MGR_QUIESCING ||
         reason == MQRC_Q_MGR_NOT_AVAILABLE || reason == MQRC_HCONN_ERROR;
}

}  // namespace

void NewRunCorrelId(MQBYTE id[MQ_CORREL_ID_LENGTH]) {
  static std::atomic<uint64_t> counter{0};
  // Random bits per process as well: the pid alone repeats across restarts.
  static const uint64_t salt = [] {
    std::random_device random;
    return (static_cast<uint64_t>(random()) << 32) ^ random();
  }();
  uint64_t count = ++counter;
  uint32_t pid = static_cast<uint32_t>(getpid());
  std::memset(id, 0, MQ_CORREL_ID_LENGTH);
  std::memcpy(id, "HLMR", 4);
  std::memcpy(id + 4, &pid, sizeof pid);
  std::memcpy(id + 8, &count, sizeof count);
  std::memcpy(id + 16, &salt, sizeof salt);
}

// ---- the pools ---------------------------------------------------------------

MessageServer::MessageServer(size_t connections_per_qmgr)
    : handle_(ZORCREATE()), per_qmgr_(std::max<size_t>(connections_per_qmgr, 1)) {}

MessageServer::~MessageServer() {
  for (auto& [key, pool] : pools_) {
    for (MQManager* manager : pool.idle) DeleteMQManager(manager);
  }
  ZORDELETE(handle_);
}

MessageServer::Lease::~Lease() { server_->GiveBack(key_, manager_); }

std::string MessageServer::Key(const std::string& qmgr, const std::string& command_queue) {
  return qmgr + '\n' + command_queue;
}

MQManager* MessageServer::Connect(const std::string& qmgr, const std::string& command_queue,
                                  MQLONG* reason) {
  // The MQ client hands a thread that is connected to a queue manager
  // already that same connection again (2002). The calling client thread
  // holds its own connection to this queue manager, and a request on it
  // would share that connection's unit of work; so the pooled connection
  // is made on a thread that holds none.
  MQManager* manager = nullptr;
  std::thread connector([&] {
    manager = CreateCLConn(qmgr.c_str(), command_queue.c_str(), nullptr, kReplySuffix);
  });
  connector.join();
  if (manager == nullptr) {
    *reason = MQRC_RESOURCE_PROBLEM;
    return nullptr;
  }
  if (manager->hConn >= 0 && !manager->ownsConnection) {
    DeleteMQManager(manager);
    *reason = MQRC_ALREADY_CONNECTED;
    return nullptr;
  }
  // The reply queue is the agent's own plumbing: opened with the agent's
  // authority. The server acts on the client's queues as the request's user.
  if (manager->hConn < 0 || !qmOpen(manager, "")) {
    *reason = manager->reason != 0 ? static_cast<MQLONG>(manager->reason) : MQRC_RESOURCE_PROBLEM;
    DeleteMQManager(manager);
    return nullptr;
  }
  return manager;
}

std::unique_ptr<MessageServer::Lease> MessageServer::Acquire(
    const std::string& qmgr, const std::string& command_queue,
    std::chrono::steady_clock::time_point deadline, const std::function<bool()>& stopping,
    MQLONG* reason) {
  const std::string key = Key(qmgr, command_queue);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Pool& pool = pools_[key];
    if (!pool.idle.empty()) {
      MQManager* manager = pool.idle.back();
      pool.idle.pop_back();
      lock.unlock();
      // Emptying the reply queue also proves the connection still stands
      // (the queue manager may have restarted while it was idle).
      if (qqClear(manager->replyQueue)) {
        return std::unique_ptr<Lease>(new Lease(this, key, manager));
      }
      DeleteMQManager(manager);
      lock.lock();
      --pools_[key].open;
      continue;
    }
    if (pool.open < per_qmgr_) {
      ++pool.open;
      lock.unlock();
      MQManager* manager = Connect(qmgr, command_queue, reason);
      if (manager != nullptr) return std::unique_ptr<Lease>(new Lease(this, key, manager));
      lock.lock();
      --pools_[key].open;
      freed_.notify_one();
      return nullptr;
    }
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline || (stopping && stopping())) {
      *reason = MQRC_RESOURCE_PROBLEM;
      return nullptr;
    }
    freed_.wait_until(lock, std::min(deadline, now + kAcquireSlice));
  }
}

void MessageServer::GiveBack(const std::string& key, MQManager* manager) {
  bool keep = manager->hConn >= 0 && !Broken(static_cast<MQLONG>(manager->reason)) &&
              manager->replyQueue != nullptr;
  if (!keep) DeleteMQManager(manager);
  std::lock_guard<std::mutex> lock(mutex_);
  Pool& pool = pools_[key];
  if (keep) {
    pool.idle.push_back(manager);
  } else {
    --pool.open;
  }
  freed_.notify_one();
}

size_t MessageServer::OpenCount(const std::string& qmgr, const std::string& command_queue) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pools_.find(Key(qmgr, command_queue));
  return it == pools_.end() ? 0 : it->second.open;
}

// ---- one run -----------------------------------------------------------------

std::unique_ptr<MessageRequestRun> MessageRequestRun::Start(
    MessageServer* server, const std::string& qmgr, const std::string& command_queue,
    const std::string& user, mqPcfMessage* request, MQLONG wait_ms,
    const std::function<bool()>& stopping, MQLONG* reason, bool* taken) {
  *taken = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  std::unique_ptr<MessageServer::Lease> lease =
      server->Acquire(qmgr, command_queue, deadline, stopping, reason);
  if (!lease) return nullptr;
  std::unique_ptr<MessageRequestRun> run(new MessageRequestRun);
  run->lease_ = std::move(lease);
  run->command_ = request->Cfh->Command;
  NewRunCorrelId(run->correl_id_);
  MQManager* manager = run->lease_->manager();

  // The server copies the header's ids into every response. It gets the
  // run's own, and the client's are put back for the replies to the client.
  MessageHeader* header = MESSAGE_HEADER(&request->Body);
  MQBYTE client_ids[MQ_MSG_ID_LENGTH + MQ_CORREL_ID_LENGTH];
  std::memcpy(client_ids, header->MsgId, sizeof client_ids);
  std::memset(header->MsgId, 0, MQ_MSG_ID_LENGTH);
  std::memcpy(header->CorrelId, run->correl_id_, MQ_CORREL_ID_LENGTH);
  // The server acts as the user named here; never as one the client wrote.
  MQMD& md = request->Body.Md;
  std::memset(md.UserIdentifier, ' ', sizeof md.UserIdentifier);
  std::memcpy(md.UserIdentifier, user.data(), std::min(user.size(), sizeof md.UserIdentifier));

  manager->reason = 0;
  int result = server->handle() != nullptr ? ZOREXEC(server->handle(), manager, request) : 0;
  std::memcpy(header->MsgId, client_ids, sizeof client_ids);
  run->reason_ = static_cast<MQLONG>(manager->reason);
  if (server->handle() == nullptr && run->reason_ == 0) run->reason_ = MQRC_RESOURCE_PROBLEM;
  if (result != 1) {
    // A run broken off may have left its unit of work open: nothing of it
    // may be committed by the next request on this connection.
    qmEndTrans(manager, 0);
    manager->reason = static_cast<MQULONG>(run->reason_);
  }
  *taken = result != 0;
  *reason = run->reason_;
  return run;
}

void MessageRequestRun::NextResponse(mqPcfMessage* response) {
  MQManager* manager = lease_->manager();
  Message* body = &response->Body;
  std::memset(body->Md.MsgId, 0, sizeof body->Md.MsgId);
  std::memcpy(body->Md.CorrelId, correl_id_, sizeof body->Md.CorrelId);
  if (manager->qm_read(body, kLeftoverWaitMs, manager)) {
    if (RawToPcf(response)) return;
    ResetPcfMessage(response, command_, MQCFT_RESPONSE);
    response->Cfh->CompCode = MQCC_FAILED;
    response->Cfh->Reason = kRcFormatError;
    return;
  }
  // Nothing more before the final response: the run ended without it.
  MQLONG reason = reason_ != 0 ? reason_ : static_cast<MQLONG>(manager->reason);
  if (reason == 0 || reason == MQRC_NO_MSG_AVAILABLE) reason = EXRC_CMD_SERVER_NOT_RESPONDING;
  ResetPcfMessage(response, command_, MQCFT_RESPONSE);
  response->Cfh->Control = MQCFC_LAST;
  response->Cfh->CompCode = MQCC_FAILED;
  response->Cfh->Reason = reason;
  RawToPcf(response);
}

}  // namespace localagent
