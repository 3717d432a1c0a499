// A real program under test, started as a child process.
//
// The child runs in a process group of its own with stdin from /dev/null
// and stdout and stderr appended to one log file (0600). It is killed when
// the test process dies (PR_SET_PDEATHSIG), and the destructor stops it, so
// a failing or crashing test leaves nothing running. When the test has
// failed, the destructor prints the program's output.
//
// Thread rules: one ServerProcess belongs to one thread. Start it from the
// thread that stays alive for the test (the test body): the death signal is
// tied to the thread that forked.
#ifndef HARROW_TESTSUPPORT_SERVER_PROCESS_H_
#define HARROW_TESTSUPPORT_SERVER_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace harrow::testsupport {

// Path of a program the build produced: $HARROW_BIN_DIR/<name>, else the
// build's bin directory.
std::string ProgramPath(std::string_view name);

struct ServerOptions {
  std::string program;                 // path, e.g. ProgramPath("mqsim")
  std::vector<std::string> args;       // without argv[0]
  // Variables set (or replaced) for the child; the rest of the test's
  // environment is inherited. A value of "\x01unset" removes the variable.
  std::vector<std::pair<std::string, std::string>> env;
  std::string working_dir;             // empty: the test's own
  // Text awaited in this run's output (what the log gains after Start()
  // opens it) before Start() returns; empty: don't wait.
  std::string ready_text;
  std::chrono::milliseconds start_timeout{20000};
  // Each of the three stop steps (TERM, ABRT, KILL) waits this long.
  std::chrono::milliseconds stop_timeout{10000};
  // Where the output goes; empty: a file in a private temporary directory.
  std::string log_path;
  // A sanitizer report in the output fails the test at Stop().
  bool fail_on_sanitizer_report = true;
};

class ServerProcess {
 public:
  ServerProcess() = default;
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Starts the program and, when ready_text is set, waits for it in the
  // output. False (with the reason and the output in *error) when the
  // program could not start, exited, or was not ready in time; the child is
  // then stopped. REQUIRES: not running.
  bool Start(ServerOptions options, std::string* error = nullptr);

  // TERM, then ABRT (for a core), then KILL, each after stop_timeout; the
  // whole process group gets each signal. Returns the exit code, or 128 +
  // the signal that ended it, or -1 when nothing was running.
  int Stop();
  // SIGKILL to the group and reap; returns as Stop().
  int Kill();
  // Sends a signal to the program alone. False when not running.
  bool Signal(int sig);
  // Waits for the program to exit by itself within `limit`; on exit true,
  // with the status (as Stop()) in *status.
  bool WaitExit(std::chrono::milliseconds limit, int* status = nullptr);
  bool Running();

  pid_t pid() const { return pid_; }
  const std::string& log_path() const { return log_path_; }
  // Everything the program has written so far.
  std::string Output() const;
  // Waits until `text` appears in the output at or after byte `from`.
  bool WaitForOutput(std::string_view text, std::chrono::milliseconds limit,
                     size_t from = 0) const;
  bool HasSanitizerReport() const;

 private:
  int Reap(bool block);  // -1 while running
  void CheckAfterExit();

  ServerOptions options_;
  pid_t pid_ = -1;
  int last_status_ = -1;
  std::string log_dir_;  // ours to remove; empty when the caller chose the log path
  std::string log_path_;
};

// Runs a program that is expected to end by itself (a control command, a
// setup tool) through a ServerProcess and waits up to `limit` for it.
// Returns its status as ServerProcess::Stop() does; -1 (with the reason in
// *error) when it could not start or did not end in time, in which case it
// is killed. ready_text in options is ignored.
int RunToExit(ServerOptions options, std::chrono::milliseconds limit, std::string* error = nullptr);

}  // namespace harrow::testsupport

#endif  // HARROW_TESTSUPPORT_SERVER_PROCESS_H_
