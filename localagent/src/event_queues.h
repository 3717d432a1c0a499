// The event side of a client connection: the connection's event source
// (private dynamic queue, shared queue, or the SYSTEM.ADMIN event queues),
// forwarding what it reads, and discovery.
#ifndef LOCALAGENT_EVENT_QUEUES_H_
#define LOCALAGENT_EVENT_QUEUES_H_

#include <string>

#include "connection.h"

namespace localagent {

// Opens the connection's event source, trying the private dynamic queue,
// the shared queue and (on 2085) the system event queues in turn; 1 when
// one is open.
int DoExcmdOpenEvent(AgentState& agent, ClientConnection& c, mqnMQNodeData* client, MQLONG* reason);

// DoExcmdOpenEvent, and on 2085 the system event queues instead (the
// connection's event queue closed first).
int OpenEventSource(AgentState& agent, ClientConnection& c, mqnMQNodeData* client, MQLONG* reason);

// After the lost queue manager was opened again with events open: the
// event source is opened again and the client told that the queue manager
// is active (2222). False when the connection must end.
bool ReportReconnected(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                       mqPcfMessage* response);

// The queue manager went away (reason): the client is told that it is not
// active (2223). False when the connection must end.
bool ReportNotActive(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                     mqPcfMessage* response, MQLONG reason);

// The remembered queue manager no longer exists (the open answered 2058):
// the client is told so (20004). False when the connection must end.
bool ReportQueueManagerDeleted(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                               mqPcfMessage* response);

// Puts an event for a channel command that succeeded (reset 20019,
// resolve 20020, else the command as its reason) with the request's
// parameters and its sender's user. which picks the queue: 46 the channel
// events, 44 the queue-manager events, 45 the performance events, any
// other the connection's event queue. 1 when it was put.
int PutChannelEvent(MQManager* qm, const mqPcfMessage* request, MQLONG which);

// Opens the channel, performance and queue-manager event queues; the last
// becomes the connection's event queue. 1 unless proxied or unconnected.
int OpenSysEventQ(ClientConnection& c, MQLONG* reason);

// Closes the connection's event queue; 3008 without a queue manager.
int CloseEventQueue(ClientConnection& c, MQLONG* reason);

// Deletes the channel and performance event queue objects (before the
// queue manager goes).
void DeleteSysEventQueues(ClientConnection& c);

// Reads and forwards what waits on the event queues (one message from
// each). Returns false when the connection must end; sets *lose when the
// queue manager went away.
bool ForwardEvents(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                   mqPcfMessage* response, bool* lose);

// Runs discovery when it is due and reports its start or failure.
bool DiscoverWhenDue(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                     mqPcfMessage* response);

// Puts the 16 discovery inquiries on the command queue with the event
// queue as their reply queue; 0 with the reason and the failing queue.
int RunDiscovery(AgentState& agent, ClientConnection& c, mqnMQNodeData* client,
                 mqPcfMessage* message, std::string* failing_queue, MQLONG* reason);

}  // namespace localagent

#endif  // LOCALAGENT_EVENT_QUEUES_H_
