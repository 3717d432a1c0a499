// Signals as the service manager's stop and the console's events.

#include "stop_request.h"

#include <cstdio>

#include <os/stop_signals.h>

#include "agent_log.h"

namespace localagent {

bool CheckStopRequest(AgentState& agent) {
  static bool acted = false;
  int signal_number = osStopSignal();
  if (signal_number != 0 && !acted) {
    acted = true;
    // Under the service manager, SIGTERM is its stop; everything else (and
    // every signal in console mode) is an event of the console.
    if (!agent.settings().console && osStopKind(signal_number) == OS_STOP_SERVICE) {
      PrintDated("LOCALAGENT: Stop requested due to WM_CLOSE signal!\n");
    } else {
      std::printf("Stopping %s.\n", kDisplayName);
      std::fflush(stdout);
    }
    agent.RequestStop();
  }
  return agent.Stopping();
}

}  // namespace localagent
