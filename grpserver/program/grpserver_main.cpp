// grpserver: the group manager. "-install" and "-remove" write and remove
// its systemd unit, "-console" runs it at the terminal; anything else runs
// it in service form (output to the group's log file).
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "run.h"
#include "server_state.h"
#include "service.h"

int main(int argc, char** argv) {
  // The log is read while the server runs: one line at a time.
  setvbuf(stdout, nullptr, _IOLBF, 0);
  // Database files, backups and the log hold the group's data: owner only.
  umask(077);
  const char* program = argv[0];
  std::vector<std::string> rest;
  for (int i = 2; i < argc; ++i) rest.emplace_back(argv[i]);
  if (argc > 1 && (argv[1][0] == '-' || argv[1][0] == '/')) {
    const char* word = argv[1] + 1;
    if (strcasecmp(word, "install") == 0) return grpserver::InstallGroupService(rest);
    if (strcasecmp(word, "remove") == 0) return grpserver::RemoveGroupService();
    if (strcasecmp(word, "console") == 0) return grpserver::RunConsoleMode(program, rest);
  }
  const char* name = grpserver::kServiceName;
  std::printf("%s -install [GroupName]         to install the service\n", name);
  std::printf("%s -remove  [GroupName]         to remove the service\n", name);
  std::printf("%s -console -mGroupName [-t] to run as a console application\n", name);
  std::printf("\nStartServiceCtrlDispatcher being called.\n");
  std::printf("This may take several seconds.  Please wait.\n");
  std::fflush(stdout);
  std::vector<std::string> all;
  for (int i = 1; i < argc; ++i) all.emplace_back(argv[i]);
  return grpserver::RunGroupManager(program, all, false);
}
