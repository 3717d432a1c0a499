// Entry of the agent: -install, -remove, -console, or the service run.

#include "program.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <os/event_log.h>
#include <os/names.h>
#include <os/service.h>
#include <os/stop_signals.h>
#include <pcfcore/ini.h>
#include <pcfcore/text.h>

#include "agent.h"
#include "agent_log.h"
#include "settings.h"
#include "stop_request.h"

namespace localagent {
namespace {

constexpr const char kUsageName[] = "HRLCompact_Connection_Manager";

// Variables the service run needs from the installer's environment: under
// the service manager it does not inherit a login environment.
const char* const kServiceVariables[] = {
    "HRLCOMPACT",       "HRLCOMPACT_CM_OPTIONS",  "HRLCOMPACT_REGISTRY",
    "HRLCOMPACT_SIGNING_KEY", "HRLCOMPACT_AUTH_RULES", "HRLCOMPACT_MAX_MESSAGE_BYTES",
    "HARROWLINE_MQM",   nullptr};

std::string ErrorText(int err) {
  char text[256];
  return osSystemErrorText(err, text, sizeof text);
}

bool UnitDirUsable() {
  char dir[1024];
  if (!osServiceUnitDir(dir, sizeof dir)) {
    errno = ENAMETOOLONG;
    return false;
  }
  return access(dir, W_OK | X_OK) == 0;
}

int InstallService() {
  char program[1024];
  if (!osGetProgramPath(program, sizeof program)) {
    std::printf("Unable to install %s - %s\n", kDisplayName, ErrorText(errno).c_str());
    return 0;
  }
  if (!UnitDirUsable()) {
    std::printf("OpenSCManager failed - %s\n", ErrorText(errno).c_str());
    return 0;
  }
  OsServiceUnit unit = {kServiceName, kDisplayName, program, nullptr, kServiceVariables};
  if (!osInstallService(&unit)) {
    std::printf("CreateService failed - %s\n", ErrorText(errno).c_str());
  } else {
    std::printf("%s installed.\n", kDisplayName);
  }
  return 0;
}

int RemoveService() {
  if (!UnitDirUsable()) {
    std::printf("OpenSCManager failed - %s\n", ErrorText(errno).c_str());
    return 0;
  }
  if (osRemoveService(kServiceName)) {
    std::printf("%s removed.\n", kDisplayName);
  } else if (errno == ENOENT) {
    std::printf("OpenService failed - %s\n", ErrorText(errno).c_str());
  } else {
    std::printf("DeleteService failed - %s\n", ErrorText(errno).c_str());
  }
  return 0;
}

// Appends standard output to the agent's log file (owner-only).
void RedirectOutput(const std::string& path) {
  std::fflush(stdout);
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) {
    int err = errno;
    std::fprintf(stderr, "IGE0041: Could not open %s RC(%d).\n", path.c_str(), err);
    if (fd >= 0) close(fd);
    return;
  }
  close(fd);
}

std::string BaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

// The run: signals, options, then the agent itself.
int Run(int argc, char** argv, bool console) {
  // Output may go to a file or a pipe: a line is written when it is done.
  setvbuf(stdout, nullptr, _IOLBF, 0);
  if (!osInstallStopSignals()) LogError(kIme0010, errno);
  PrintDated(std::string("TLX1001I Harrowline Connection Manager started V") + kVersion);

  Settings settings = DefaultSettings();
  settings.console = console;
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (ParseOptions(&settings, std::getenv(kOptionsVariable), arguments, BaseName(argv[0]),
                   stdout) == ParseResult::kUsage) {
    return 1;
  }
  if (settings.comm_trace) InstallCommunicationTrace();
  char install[TLX_MAX_PATH];
  tlxGetInstallDirN(install, sizeof install);
  settings.install_dir = install;
  std::vector<char> group(settings.group.begin(), settings.group.end());
  group.push_back('\0');
  strip_spaces(group.data());
  settings.group = group.data();
  if (!console) RedirectOutput(LogFilePath(settings));
  PrintStartupDump(settings, stdout);
  if (settings.authority_check && !settings.authentication) {
    std::printf("LOCALAGENT: WARNING: authority checks (+u) without authentication (+a) trust "
                "the user name that each client writes into its requests; use +u with +a.\n");
  }

  AgentState agent(std::move(settings));
  int result = RunAgent(agent);
  if (!console && result != 0) {
    osReportErrorEvent(kServiceName, ("stopped with exit code " + std::to_string(result)).c_str());
  }
  return result;
}

}  // namespace

int AgentMain(int argc, char** argv) {
  if (argc > 1 && (argv[1][0] == '-' || argv[1][0] == '/')) {
    const char* word = argv[1] + 1;
    if (strcasecmp(word, "install") == 0) return InstallService();
    if (strcasecmp(word, "remove") == 0) return RemoveService();
    if (strcasecmp(word, "console") == 0) {
      std::printf("CONSOLE MODE: \"%s\".\n", kDisplayName);
      std::fflush(stdout);
      // The run's own result: a start that failed must not look like success.
      return Run(argc, argv, true);
    }
  }
  std::printf("%s -install          to install the service\n", kUsageName);
  std::printf("%s -remove           to remove the service\n", kUsageName);
  std::printf("%s -console <params>   to run as a console application\n", kUsageName);
  std::printf("\nStartServiceCtrlDispatcher being called.\n");
  std::printf("This may take several seconds.  Please wait.\n");
  std::fflush(stdout);
  return Run(argc, argv, false);
}

}  // namespace localagent
