// service.h: the group manager as a service: the systemd unit written by
// -install and removed by -remove (os/service.h), and the stop requests:
// signals are recorded by os/stop_signals.h and turned into the server's
// stop flag and messages by CheckStopRequests, on the main thread.
//
//   SIGINT, SIGTERM  the signal handler's stop: IGE0022 with the signal
//   SIGHUP           the console's close/log-off event: in console mode
//                    "Stopping ..." and IGE0026; a service goes on
#ifndef GRPSERVER_SERVICE_H_
#define GRPSERVER_SERVICE_H_

#include <string>
#include <vector>

namespace grpserver {

// Writes the unit "HRLCompactServer.service" running this program in
// service form with args (options such as -m<Group>). Prints the outcome;
// returns 0 (the process's exit code) or 1 on failure.
int InstallGroupService(const std::vector<std::string>& args);
// Removes the unit; returns 0, or 1 on failure.
int RemoveGroupService();

// Installs the stop-signal handlers; 0 with errno on failure.
int InstallGroupSignalHandlers();
// Looks at the recorded signals and sets the stop flag, printing what the
// stop request prints. Returns true when the server should stop.
bool CheckStopRequests();
// The stop request of a service stop or console close: IGE0026 and the flag.
void RequestGroupStop();

}  // namespace grpserver

#endif  // GRPSERVER_SERVICE_H_
