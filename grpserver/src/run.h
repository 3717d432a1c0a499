// run.h: the run function of the group manager: options, group start, the
// main loop and the shutdown with its backup.
#ifndef GRPSERVER_RUN_H_
#define GRPSERVER_RUN_H_

#include <string>
#include <vector>

namespace grpserver {

// Runs the group manager; args without the program name. Returns the
// process's exit code: 0 after a clean shutdown, 1 when the start failed or
// no group was named, 2 when the log file could not be opened.
int RunGroupManager(const char* program, const std::vector<std::string>& args, bool console_mode);

// Console mode: the banner, then RunGroupManager.
int RunConsoleMode(const char* program, const std::vector<std::string>& args);

}  // namespace grpserver

#endif  // GRPSERVER_RUN_H_
