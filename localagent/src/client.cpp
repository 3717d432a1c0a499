// Client connections: each accepted TCP connection is served on a thread
// of its own until the client goes away or the agent stops.

#include <cstdio>

#include <os/stop_signals.h>
#include <pcfcore/pcf_message.h>
#include <pcfcore/print.h>

#include "agent.h"
#include "agent_log.h"

namespace localagent {
namespace {

// Longest wait between looks at the stop flag.
constexpr int kWaitSeconds = 1;
// The answer to a command the agent has no handler for.
constexpr MQLONG kNoHandlerReason = 3007;

}  // namespace

bool ConnectionThreads::Start(std::function<void()> body) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::lock_guard<std::mutex> lock(mutex_);
  try {
    std::thread thread([body = std::move(body), done] {
      osBlockStopSignals();
      body();
      done->store(true);
    });
    threads_.push_back(Entry{std::move(thread), done});
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void ConnectionThreads::Reap() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = threads_.begin(); it != threads_.end();) {
    if (it->done->load()) {
      it->thread.join();
      it = threads_.erase(it);
    } else {
      ++it;
    }
  }
}

void ConnectionThreads::JoinAll() {
  std::vector<Entry> all;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    all.swap(threads_);
  }
  for (Entry& entry : all) entry.thread.join();
}

size_t ConnectionThreads::Count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return threads_.size();
}

bool ServeClient(AgentState& agent, mqnMQNodeData* server, ConnectionThreads& threads) {
  server->accepted = nullptr;
  if (!mnOpen(server) || server->accepted == nullptr) {
    std::printf("ServeClient - failed to open connection RC(%d)\n", static_cast<int>(server->lastError));
    std::fflush(stdout);
    return false;
  }
  mqnMQNodeData* client = server->accepted;
  server->accepted = nullptr;
  if (!threads.Start([&agent, client] { HandleClient(agent, client); })) {
    std::printf("ServeClient - create thread failed RC(%d)\n", errno);
    std::fflush(stdout);
    DeleteMQNode(client);
    return false;
  }
  return true;
}

void HandleClient(AgentState& agent, mqnMQNodeData* client) {
  const Settings& settings = agent.settings();
  mqcSignature credential = nullptr;
  if (!mqc_get_signature(&credential)) {
    LogError(kIme0015, 0);
    DeleteMQNode(client);
    return;
  }
  mqPcfMessage* request = CreatePcfMessage(0, MQCFT_COMMAND, 32000);
  int secure = settings.authentication ? 1 : 0;
  while (request != nullptr && !agent.Stopping()) {
    mqnMQNodeData* nodes[] = {client, nullptr};
    mqnMQNodeData* accept_ready[2] = {};
    mqnMQNodeData* read_ready[2] = {};
    mqnMQNodeData* write_ready[2] = {};
    int error = 0;
    int ready = mnNPost(nodes, accept_ready, read_ready, write_ready, kWaitSeconds, &error);
    if (mnIsPendingIO(client)) mnFinishWrite(client);
    if (!ready || read_ready[0] == nullptr) {
      if (error == NET_ERR_TIMEOUT || error == 10004 || error == 0) continue;
      break;
    }
    if (!mnSRead(request, client, secure, credential)) {
      if (client->lastError == MN_ERR_WOULD_BLOCK) continue;
      break;
    }
    if (request->Cfh->Type != MQCFT_COMMAND) {
      PrintDated("TLX1116W Response from client not legal, ignored");
      PrintPcfMessage(request);
      continue;
    }
    // Commands are not executed yet: a client that wants an answer is told
    // so at once instead of waiting for one that never comes.
    if (MESSAGE_HEADER(&request->Body)->ReplyTag != 0) {
      MQLONG command = request->Cfh->Command;
      ResetPcfMessage(request, command, MQCFT_RESPONSE);
      request->Cfh->CompCode = MQCC_FAILED;
      request->Cfh->Reason = kNoHandlerReason;
      if (!mnSWriteAltUser(request, client, secure, credential)) break;
    }
  }
  if (client->lastError != 0 && settings.trace) LogError(kImi0008, client->lastError);
  DeletePcfMessage(request);
  DeleteMQNode(client);
  mqc_release_signature(&credential);
}

}  // namespace localagent
