// The agent's use of the queue-manager library: verification of the local
// queue managers at start-up and the installation's log settings.
//
// Until the queue-manager library is part of the build these find nothing:
// no queue managers are listed and registrations carry no log settings.

#include "agent.h"

namespace localagent {

void VerifyQueueManagers(const AgentState& agent) { (void)agent; }

bool DefaultLogSettings(MqLogSettings* log) {
  (void)log;
  return false;
}

}  // namespace localagent
