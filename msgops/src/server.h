// server.h: the server automaton MMS-SERVER and its entry for any link.
#ifndef MSGOPS_SERVER_H_
#define MSGOPS_SERVER_H_

#include <pcfcore/pcf_message.h>

#include "qm_link.h"

namespace msgops {

// Runs one request on the link with the handle's server: ZOREXEC without
// the MQManager. Same results as ZOREXEC.
int ExecuteRequest(void* handle, QmgrLink* link, const mqPcfMessage* request);

// The server automaton's states and events, for tests and dumps.
const class Automaton& ServerAutomaton();

}  // namespace msgops

#endif  // MSGOPS_SERVER_H_
