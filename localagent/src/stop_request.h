// Stop requests from signals: the handlers only record the signal; the
// agent's main thread turns it into the stop flag and says why it stops.
#ifndef LOCALAGENT_STOP_REQUEST_H_
#define LOCALAGENT_STOP_REQUEST_H_

#include "agent.h"

namespace localagent {

inline constexpr const char kServiceName[] = "HRLCompactConnectionManager";
inline constexpr const char kDisplayName[] = "Harrowline Compact Connection Manager";

// When a stop signal has arrived and not been acted on: prints what the
// service manager's stop or the console's event prints, and sets the stop
// flag. Returns the stop flag. Main thread only.
bool CheckStopRequest(AgentState& agent);

}  // namespace localagent

#endif  // LOCALAGENT_STOP_REQUEST_H_
