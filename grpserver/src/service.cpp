// service.cpp: the systemd unit of the group manager and its stop requests.
#include "service.h"

#include <cerrno>
#include <cstdio>

#include <os/names.h>
#include <os/service.h>
#include <os/stop_signals.h>

#include "report.h"
#include "server_state.h"

namespace grpserver {
namespace {

// Variables the service needs from the installer's environment.
const char* const kServiceEnvironment[] = {"HRLCOMPACT",
                                           "HRLCOMPACT_REGISTRY",
                                           "HRLCOMPACT_SIGNING_KEY",
                                           "HRLCOMPACT_AUTH_RULES",
                                           "HRLCOMPACT_SVR_OPTIONS",
                                           "HRLCOMPACT_BIND_ADDRESS",
                                           "HRLCOMPACT_MAX_MESSAGE_BYTES",
                                           nullptr};

std::string ErrorText(int err) {
  char text[256];
  return osSystemErrorText(err, text, sizeof text);
}

}  // namespace

int InstallGroupService(const std::vector<std::string>& args) {
  char program[4096];
  if (osGetProgramPath(program, sizeof program) != 1) {
    std::printf("Unable to install %s - %s\n", kDisplayName, ErrorText(errno).c_str());
    return 1;
  }
  // Options pass through to the service's command line; a bare word is the
  // group to serve.
  std::vector<std::string> service_args;
  for (const std::string& a : args) {
    if (a.empty()) continue;
    service_args.push_back(a[0] == '-' || a[0] == '+' ? a : "-m" + a);
  }
  std::vector<const char*> argv;
  for (const std::string& a : service_args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  OsServiceUnit unit{kServiceName, kDisplayName, program, argv.data(), kServiceEnvironment};
  if (osInstallService(&unit) != 1) {
    std::printf("CreateService failed - %s\n", ErrorText(errno).c_str());
    return 1;
  }
  std::printf("%s installed.\n", kDisplayName);
  return 0;
}

int RemoveGroupService() {
  if (osRemoveService(kServiceName) != 1) {
    int err = errno;
    std::printf(err == ENOENT ? "OpenService failed - %s\n" : "DeleteService failed - %s\n", ErrorText(err).c_str());
    return 1;
  }
  std::printf("%s removed.\n", kDisplayName);
  return 0;
}

int InstallGroupSignalHandlers() { return osInstallStopSignals(); }

void RequestGroupStop() {
  GroupServer& s = Server();
  PrintDateLine();
  std::printf("IGE0026: Group(\"%s\") will terminate due to WM_CLOSE!\n", s.group.c_str());
  std::fflush(stdout);
  s.stop = true;
}

bool CheckStopRequests() {
  GroupServer& s = Server();
  if (s.stop) return true;
  const int signal_number = osStopSignal();
  if (signal_number == 0) return false;
  switch (osStopKind(signal_number)) {
    case OS_STOP_CLOSE:
      if (!s.options.console_mode) {
        // A closed terminal or log-off does not stop a service.
        osClearStopSignal();
        return false;
      }
      std::printf("Stopping %s.\n", kDisplayName);
      RequestGroupStop();
      return true;
    default:
      PrintDateLine();
      std::printf("IGE0022: Group(\"%s\") is terminating due to signal(%d)!\n", s.group.c_str(), signal_number);
      std::fflush(stdout);
      s.stop = true;
      return true;
  }
}

}  // namespace grpserver
