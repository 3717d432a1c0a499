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

// Most connections served at once; more are refused when they arrive.
constexpr size_t kMaxConnections = 64;

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
  threads.Reap();
  if (threads.Count() >= kMaxConnections) {
    std::printf("LOCALAGENT: Connection from %s(%s) refused: %zu connections are served already\n",
                client->socket.peer.ip, client->socket.peer.service, kMaxConnections);
    std::fflush(stdout);
    DeleteMQNode(client);
    return true;
  }
  if (!threads.Start([&agent, client] { HandleClient(agent, client); })) {
    std::printf("ServeClient - create thread failed RC(%d)\n", errno);
    std::fflush(stdout);
    DeleteMQNode(client);
    return false;
  }
  return true;
}

}  // namespace localagent
