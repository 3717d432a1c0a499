#include "testsupport/server_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "testsupport/deadline.h"
#include "testsupport/temp_dir.h"

extern char** environ;

namespace harrow::testsupport {

namespace {

constexpr char kUnset[] = "\x01unset";

int DecodeStatus(int st) {
  if (WIFEXITED(st)) return WEXITSTATUS(st);
  if (WIFSIGNALED(st)) return 128 + WTERMSIG(st);
  return -1;
}

// The child's environment: ours with the options' changes applied.
std::vector<std::string> BuildEnvironment(
    const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry(*e);
    std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& [k, v] : changes) replaced = replaced || k == name;
    if (!replaced) env.push_back(std::move(entry));
  }
  for (const auto& [k, v] : changes) {
    if (v != kUnset) env.push_back(k + "=" + v);
  }
  return env;
}

}  // namespace

std::string ProgramPath(std::string_view name) {
  const char* dir = getenv("HARROW_BIN_DIR");
  std::string base = (dir != nullptr && *dir != '\0') ? dir : HARROW_DEFAULT_BIN_DIR;
  return base + "/" + std::string(name);
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) Stop();
  if (::testing::Test::HasFailure() && !log_path_.empty()) {
    fprintf(stderr, "---- output of %s ----\n%s\n---- end of output ----\n", options_.program.c_str(),
            Output().c_str());
  }
  if (!log_dir_.empty()) RemoveTree(log_dir_);
}

bool ServerProcess::Start(ServerOptions options, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
  };
  if (pid_ > 0) return fail("already running");
  options_ = std::move(options);
  if (options_.log_path.empty()) {
    if (log_dir_.empty()) {
      char tmpl[] = "/tmp/harrow-server.XXXXXX";
      if (mkdtemp(tmpl) == nullptr) return fail(std::string("mkdtemp: ") + strerror(errno));
      log_dir_ = tmpl;
    }
    const std::string program = options_.program.substr(options_.program.rfind('/') + 1);
    log_path_ = log_dir_ + "/" + program + ".log";
  } else {
    log_path_ = options_.log_path;
  }

  // Everything the child needs is prepared here: after fork() in a
  // threaded process only async-signal-safe calls are allowed.
  std::vector<std::string> args;
  args.push_back(options_.program);
  args.insert(args.end(), options_.args.begin(), options_.args.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env = BuildEnvironment(options_.env);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  int log_fd = open(log_path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (log_fd < 0) return fail("open " + log_path_ + ": " + strerror(errno));
  struct stat log_stat;
  const size_t log_start = fstat(log_fd, &log_stat) == 0 ? static_cast<size_t>(log_stat.st_size) : 0;
  int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t parent = getpid();

  pid_t pid = fork();
  if (pid < 0) {
    close(log_fd);
    if (null_fd >= 0) close(null_fd);
    return fail(std::string("fork: ") + strerror(errno));
  }
  if (pid == 0) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);  // the test died before the prctl
    if (null_fd >= 0) dup2(null_fd, 0);
    dup2(log_fd, 1);
    dup2(log_fd, 2);
    if (!options_.working_dir.empty() && chdir(options_.working_dir.c_str()) != 0) _exit(126);
    // Signals ignored or blocked by the test runner must not stay so.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  setpgid(pid, pid);  // either side may win the race; both set the same group
  close(log_fd);
  if (null_fd >= 0) close(null_fd);
  pid_ = pid;
  last_status_ = -1;

  if (options_.ready_text.empty()) return true;
  Deadline deadline(options_.start_timeout);
  for (;;) {
    // Only this run's output counts: a log the caller named may hold the
    // ready text of an earlier run.
    std::string output = Output();
    if (output.size() > log_start && output.find(options_.ready_text, log_start) != std::string::npos) {
      return true;
    }
    int status = Reap(false);
    if (status >= 0) {
      return fail("exited with status " + std::to_string(status) + " before \"" +
                  options_.ready_text + "\"; output:\n" + Output());
    }
    if (deadline.Expired()) {
      Stop();
      return fail("no \"" + options_.ready_text + "\" within " +
                  std::to_string(options_.start_timeout.count()) + " ms; output:\n" + Output());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int ServerProcess::Reap(bool block) {
  if (pid_ <= 0) return last_status_;
  int st = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &st, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == pid_) {
    last_status_ = DecodeStatus(st);
    // Whatever the program left behind in its group goes with it.
    kill(-pid_, SIGKILL);
    pid_ = -1;
    CheckAfterExit();
    return last_status_;
  }
  if (r < 0) {  // not our child any more (reaped elsewhere)
    pid_ = -1;
    return last_status_;
  }
  return -1;
}

bool ServerProcess::WaitExit(std::chrono::milliseconds limit, int* status) {
  if (pid_ <= 0) {
    if (status != nullptr) *status = last_status_;
    return last_status_ >= 0;
  }
  Deadline deadline(limit);
  for (;;) {
    int s = Reap(false);
    if (s >= 0 || pid_ <= 0) {
      if (status != nullptr) *status = last_status_;
      return true;
    }
    if (deadline.Expired()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int ServerProcess::Stop() {
  if (pid_ <= 0) return -1;
  for (int sig : {SIGTERM, SIGABRT, SIGKILL}) {
    if (sig == SIGTERM) {
      kill(pid_, sig);  // the program alone: it stops its own children
    } else {
      fprintf(stderr, "testsupport: %s did not stop in time, sending %s\n", options_.program.c_str(),
              strsignal(sig));
      kill(-pid_, sig);
    }
    int status = 0;
    if (WaitExit(options_.stop_timeout, &status)) return status;
  }
  return Reap(true);
}

int ServerProcess::Kill() {
  if (pid_ <= 0) return -1;
  kill(-pid_, SIGKILL);
  kill(pid_, SIGKILL);
  return Reap(true);
}

bool ServerProcess::Signal(int sig) { return pid_ > 0 && kill(pid_, sig) == 0; }

bool ServerProcess::Running() { return pid_ > 0 && Reap(false) < 0; }

std::string ServerProcess::Output() const { return ReadWholeFile(log_path_); }

bool ServerProcess::WaitForOutput(std::string_view text, std::chrono::milliseconds limit,
                                  size_t from) const {
  return WaitFor(
      [&] {
        std::string out = Output();
        return out.size() > from && out.find(text, from) != std::string::npos;
      },
      limit, std::chrono::milliseconds(5));
}

bool ServerProcess::HasSanitizerReport() const {
  std::string out = Output();
  for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                           "WARNING: ThreadSanitizer", "ERROR: UndefinedBehaviorSanitizer"}) {
    if (out.find(mark) != std::string::npos) return true;
  }
  return false;
}

void ServerProcess::CheckAfterExit() {
  if (options_.fail_on_sanitizer_report && HasSanitizerReport()) {
    ADD_FAILURE() << options_.program << " reported a sanitizer error; output:\n" << Output();
  }
}

int RunToExit(ServerOptions options, std::chrono::milliseconds limit, std::string* error) {
  options.ready_text.clear();
  const std::string program = options.program;
  ServerProcess process;
  if (!process.Start(std::move(options), error)) return -1;
  int status = -1;
  if (!process.WaitExit(limit, &status)) {
    if (error != nullptr) {
      *error = program + " did not end within " + std::to_string(limit.count()) + " ms";
    }
    process.Kill();
    return -1;
  }
  return status;
}

}  // namespace harrow::testsupport
