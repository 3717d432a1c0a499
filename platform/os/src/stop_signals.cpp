// Stop signals recorded in one flag; the servers' loops act on it.

#include "os/stop_signals.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>

namespace {

// Lock-free, so the handler may store into it.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int signal_number) {
  int none = 0;
  // The first one counts: a SIGHUP after a SIGTERM does not change what
  // the server reports as the reason it stopped.
  g_signal.compare_exchange_strong(none, signal_number);
}

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

extern "C" {

int osInstallStopSignals(void) {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a waiting poll() returns EINTR
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    if (sigaction(number, &action, nullptr) != 0) return 0;
  }
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  if (sigaction(SIGPIPE, &ignore, nullptr) != 0) return 0;
  // Unblock them here in case the parent left them blocked.
  sigset_t set = StopSet();
  int rc = pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  if (rc != 0) {
    errno = rc;
    return 0;
  }
  return 1;
}

int osStopSignal(void) { return g_signal.load(); }

int osStopKind(int signal_number) {
  switch (signal_number) {
    case SIGTERM: return OS_STOP_SERVICE;
    case SIGINT: return OS_STOP_CONSOLE;
    case SIGHUP: return OS_STOP_CLOSE;
    default: return OS_STOP_NONE;
  }
}

void osClearStopSignal(void) { g_signal.store(0); }

void osBlockStopSignals(void) {
  sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

}  // extern "C"
