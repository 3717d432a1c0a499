// One client connection of the agent: its state, and the steps of its
// thread (command execution, replies, the queue manager it holds).
#ifndef LOCALAGENT_CONNECTION_H_
#define LOCALAGENT_CONNECTION_H_

#include <ctime>
#include <memory>
#include <string>

#include <authcore/authcore.h>
#include <netcore/netcore.h>
#include <qmlink/qmlink.h>
#include <signcore/signcore.h>

#include "agent.h"
#include "message_requests.h"

namespace localagent {

// Settings of a queue manager from mqproxy.ini, read at each open.
struct ProxySettings {
  std::string requested;                 // the name asked for, blanks stripped
  std::string proxy;                     // the queue manager that serves it
  std::string command_queue = "SYSTEM.ADMIN.COMMAND.QUEUE";
  std::string system_event_queue;        // default: the request's ApplName
  std::string group_reply_queue;         // default: the request's ApplName
  std::string command_support = "PCF";
  time_t arrival = 0;                    // arrival time of the current command
  bool Proxied() const { return proxy != requested; }
};

// Reads the proxy settings of name; appl is the request header's ApplName.
void ReadProxySettings(const std::string& name, const std::string& appl, ProxySettings* out);

struct ClientConnection {
  MQManager* qm = nullptr;
  MQLONG last_reason = 0;
  mqcSignature credential = nullptr;
  MQLONG last_reply = 1;        // Control of the last reply handled
  int wait = 5;                 // seconds of the next wait
  bool reconnect_pending = false;
  bool end_connection = false;
  bool events_open = false;
  int heartbeat_interval = 0;
  time_t now = 0;
  time_t last_heartbeat = 0;
  time_t last_reconnect = 0;
  char open_user[13] = {};      // user of the last EXCMD_MQ_OPEN
  char event_user[13] = {};
  char open_appl[49] = {};      // ApplName of the last EXCMD_MQ_OPEN
  std::string remembered;       // queue manager of the last EXCMD_MQ_OPEN
  ProxySettings proxy;
  mqcAuthRequest authority{};
  // The message request whose responses the reply loop is relaying.
  std::unique_ptr<MessageRequestRun> message_run;
  // Event side (event_queues.cpp).
  MQueue* channel_events = nullptr;
  MQueue* perf_events = nullptr;
  bool non_pcf_logged = false;
  int discovery_period = 0;     // seconds, 0 none
  time_t last_discovery = 0;
  struct {
    std::string local = "*", alias = "*", remote = "*", model = "*", process = "*", channel = "*";
  } masks;
};

// What one read on a client connection came to.
enum class ReadOutcome {
  kNothing,  // no whole frame yet (the node keeps what arrived)
  kHandled,  // a frame was read and dealt with
  kEnd,      // the connection is to end (read or write failed for good)
};

// The connection thread's read step: reads the client's next frame from
// its non-blocking node and deals with it. A command runs and its replies
// are sent; a body that cannot be indexed is answered 3013 and never run;
// a response or event from a client is logged and ignored.
ReadOutcome ServeClientRead(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                            mqPcfMessage* request, mqPcfMessage* response);

// The reply wait of a request (header word 17, milliseconds), kept within
// 1 to 300 seconds: a client's -1 or a huge value must not hold the thread.
MQLONG ReplyWaitMs(const mqPcfMessage* request);

}  // namespace localagent

#endif  // LOCALAGENT_CONNECTION_H_
