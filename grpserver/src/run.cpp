// run.cpp: RunGroupManager and the console-mode entry.
#include "run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <os/paths.h>
#include <pcfcore/ini.h>

#include "group_start.h"
#include "main_loop.h"
#include "report.h"
#include "server_state.h"
#include "service.h"

namespace grpserver {
namespace {

// Service mode: standard output goes to "<install>/groups/<group>/<group>.log".
bool RedirectToLogFile(GroupOptions* o, const std::string& install_dir) {
  std::string group_dir = os::JoinPath(os::JoinPath(install_dir, "groups"), WithoutBlanks(o->group.c_str()));
  std::string path = os::JoinPath(group_dir, o->group + ".log");
  std::fflush(stdout);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) {
    int err = errno;
    if (fd >= 0) close(fd);
    ReportError(Format("IGE0041: Could not open %s RC(%d).\n", path.c_str(), err), kError, 0);
    return false;
  }
  close(fd);
  o->log_file_name = path;
  return true;
}

void PrintLimits() {
  const Limits& l = Server().limits;
  std::printf("\nHARROWLINE Group Manager V%s.%s.[%s](%s) PID(%d)\n", kVersionMajor, kVersionMinor, kVersionBuild,
              "Release", static_cast<int>(getpid()));
  std::printf("\nIGE0018: Starting with the following system limits: \n");
  std::printf("\tMAX_GROUP_CLIENTS     =%d\n", l.max_group_clients);
  std::printf("\tMAX_QMGR_THREADS      =%d\n", l.max_qmgr_threads);
  std::printf("\tMAX_MANAGED_NODES     =%d\n", l.max_managed_nodes);
  std::printf("\tMAX_TOTAL_CONNS       =%d\n", l.max_total_conns);
  std::printf("\tMAX_Q_MGRS_PER_NODE   =%d\n", l.max_q_mgrs_per_node);
  std::printf("\tMAX_OBJ_INSTANCES     =%d\n\n", kMaxObjInstances);
}

}  // namespace

int RunGroupManager(const char* program, const std::vector<std::string>& args, bool console_mode) {
  GroupServer& s = Server();
  char install[TLX_MAX_PATH];
  tlxGetInstallDir(install);
  s.install_dir = install;

  ParseResult parsed = ParseGroupOptions(std::getenv(kOptionsVariable), args, console_mode, &s.options);
  if (parsed == ParseResult::kHelp) {
    PrintGroupUsage(program, stdout);
    return 1;
  }
  if (!console_mode) {
    SetReportToSystemLog(true);
    if (parsed == ParseResult::kGroupKnown && !RedirectToLogFile(&s.options, s.install_dir)) return 2;
  }
  PrintGroupOptions(s.options, s.install_dir, stdout);
  if (parsed != ParseResult::kGroupKnown) {
    PrintGroupUsage(program, stdout);
    return 1;
  }
  s.group = s.options.group;
  if (!s.options.authentication) {
    std::printf("Warning: AUTHENTICATION(OFF): frames are neither signed nor checked; start with +a to sign them.\n");
  }
  std::fflush(stdout);

  if (InstallGroupSignalHandlers() != 1) {
    ReportError(Format("Unable to install the signal handlers: %s\n", std::strerror(errno)), kError, console_mode);
    return 1;
  }
  int error = 0;
  if (StartGroup(s.group.c_str(), &error) != 1) {
    ReportError("IGE0014: Initialization failed: unable to proceed.\n", kError, console_mode);
    CloseGroupConnections();
    if (s.credential != nullptr) mqc_release_signature(&s.credential);
    return 1;
  }
  s.notification = CreatePcfMessage(0, MQCFT_EVENT, 2048);
  s.response = CreatePcfMessage(0, MQCFT_RESPONSE, 32000);
  s.request = CreatePcfMessage(0, MQCFT_COMMAND, 32000);
  if (s.notification == nullptr || s.response == nullptr || s.request == nullptr) {
    ReportError("IGE0020: Could not allocate memory!\n", kError, console_mode);
    CloseGroupConnections();
    return 1;
  }
  PrintLimits();
  if (s.options.migrate) {
    std::printf("Migration from GROUP(\"%s\") is not available in this build.\n", s.options.migrate_source.c_str());
  }
  PrintDateLine();
  std::printf("IGE0019: Group Manager(\"%s\") is ready!\n\n", s.group.c_str());
  std::fflush(stdout);

  RunMainLoop();

  CloseGroupConnections();
  if (s.syncpoint_failed) {
    // The files may be half written: a copy of them would push the last
    // good backup out.
    ReportError(Format("No backup of GROUP(\"%s\") taken: the last syncpoint failed, the backup keeps the last good files.\n",
                       s.group.c_str()),
                kWarning, 0);
  } else {
    ReportError(Format("IGE0040: Creating backup database for GROUP(\"%s\") ...\n", s.group.c_str()), kInformation,
                0);
    int rc = 0;
    DbBackup(s.group.c_str(), &rc);
    ReportError(Format("IGE0035: Completed database backup for GROUP(\"%s\"): RC(%d)\n", s.group.c_str(), rc),
                kWarning, 0);
  }
  DeletePcfMessage(s.notification);
  DeletePcfMessage(s.response);
  DeletePcfMessage(s.request);
  s.notification = s.response = s.request = nullptr;
  mqc_release_signature(&s.credential);
  PrintDateLine();
  std::printf("IGE0025: Group(\"%s\") terminated successfully!\n", s.group.c_str());
  std::fflush(stdout);
  return 0;
}

int RunConsoleMode(const char* program, const std::vector<std::string>& args) {
  std::printf("CONSOLE MODE: \"%s\".\n", kDisplayName);
  return RunGroupManager(program, args, true);
}

}  // namespace grpserver
