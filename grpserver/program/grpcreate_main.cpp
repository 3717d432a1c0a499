// grpcreate: makes a new group with its group-manager record, ready for
// "grpserver -console -m<GroupName>".
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include <groupdb/groupdb.h>
#include <pcfcore/ini.h>

#include "group_create.h"

namespace {
void Quiet(const char*) {}
}  // namespace

int main(int argc, char** argv) {
  // The group's files hold its data: owner only.
  umask(077);
  DbSetPrintHook(Quiet);
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h" || a == "-?") {
      std::fputs(grpserver::GroupCreateUsage(argv[0]).c_str(), stdout);
      return 0;
    }
  }
  grpserver::GroupSpec spec;
  std::string error;
  if (!grpserver::ParseGroupSpec(args, &spec, &error)) {
    std::fprintf(stderr, "grpcreate: %s\n%s", error.c_str(), grpserver::GroupCreateUsage(argv[0]).c_str());
    return 2;
  }
  char install[TLX_MAX_PATH];
  tlxGetInstallDir(install);
  if (!grpserver::CreateGroup(spec, install, &error)) {
    std::fprintf(stderr, "grpcreate: %s\n", error.c_str());
    return 1;
  }
  std::printf("Group \"%s\" created in %s/groups/%s (port %d, at most %d consoles).\n", spec.name.c_str(), install,
              spec.name.c_str(), spec.port, spec.max_clients);
  return 0;
}
