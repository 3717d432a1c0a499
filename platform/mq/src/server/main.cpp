// mqsim: the queue-manager server of the MQ stand-in.
//
//   mqsim [-m root] [-s qmgr]... [-c max-connections] [-t connect-timeout-s]
//         [-i idle-timeout-s]
//
// Serves the installation under root (default $HARROWLINE_MQM, else
// /var/mqm): control requests of mqsimctl on <root>/mqsim.sock, and one TCP
// listener per started queue manager. -s starts a queue manager at once.
// Prints "mqsim: ready" on stdout when it accepts requests. Ends on SIGTERM,
// SIGINT or a shutdown request, ending every queue manager first.
#include <cerrno>
#include <csignal>
#include <malloc.h>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/install.h"
#include "os/fault_injection.h"
#include "server.h"

namespace {

void OnSignal(int) { mqsim::server::Server::SignalStop(); }

void Usage() {
  fprintf(stderr,
          "usage: mqsim [-m root] [-s qmgr]... [-c n] [-t secs] [-i secs]\n"
          "  -m root   installation directory (default $HARROWLINE_MQM, else /var/mqm)\n"
          "  -s qmgr   start this queue manager at once (repeatable)\n"
          "  -c n      application connections at once (default 1000)\n"
          "  -t secs   drop connections that do not connect, leave a frame unfinished\n"
          "            or do not read their replies for this long (default 10)\n"
          "  -i secs   disconnect applications idle for this long (default 0: never)\n");
}

// A whole number within 0..max, for the limits on the command line.
bool ParseCount(const char* text, long max, long* out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < 0 || v > max) return false;
  *out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string root = mqsim::InstallRoot();
  std::vector<std::string> start;
  mqsim::server::ServerLimits limits;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    long v = 0;
    const bool takes_value = a == "-m" || a == "-s" || a == "-c" || a == "-t" || a == "-i";
    if (takes_value && i + 1 >= argc) {
      fprintf(stderr, "mqsim: %s needs a value\n", a.c_str());
      Usage();
      return 2;
    }
    if (a == "-m" || a == "-s") {
      (a == "-m" ? root : start.emplace_back()) = argv[++i];
    } else if (a == "-c" || a == "-t" || a == "-i") {
      const long low = a == "-i" ? 0 : 1;
      const long high = a == "-c" ? 1000000 : 86400;
      if (!ParseCount(argv[++i], high, &v) || v < low) {
        fprintf(stderr, "mqsim: %s needs a whole number from %ld to %ld, not '%s'\n", a.c_str(), low, high,
                argv[i]);
        return 2;
      }
      if (a == "-c") limits.max_connections = static_cast<size_t>(v);
      if (a == "-t") limits.connect_timeout = std::chrono::seconds(v);
      if (a == "-i") limits.idle_timeout = std::chrono::seconds(v);
    } else if (a == "-h" || a == "--help" || a == "-?") {
      Usage();
      return 0;
    } else {
      fprintf(stderr, "mqsim: unknown option '%s'\n", a.c_str());
      Usage();
      return 2;
    }
  }
#ifdef HARROW_FAULT_INJECTION
  // Only the test copy of the server (mqsim_fault_points) takes fault
  // rules from its environment; the shipping mqsim has no such code.
  std::string fault_error;
  if (!os::ArmFaultsFromEnvironment(&fault_error)) {
    fprintf(stderr, "mqsim: %s\n", fault_error.c_str());
    return 2;
  }
#endif
  // Message bytes are allocated and freed as fast as messages come and go.
  // Blocks up to a few largest messages come from the heap, which keeps up
  // to 64 MiB of freed memory, instead of each being mapped, faulted in
  // page by page and unmapped again.
  mallopt(M_MMAP_THRESHOLD, 16 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
  signal(SIGPIPE, SIG_IGN);
  struct sigaction sa{};
  sa.sa_handler = OnSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);

  mqsim::server::Server server(root, limits);
  std::string error;
  if (!server.Init(&error)) {
    fprintf(stderr, "mqsim: %s\n", error.c_str());
    return 1;
  }
  for (const auto& name : start) {
    std::string text;
    MQLONG reason = 0;
    if (!server.StartQmgr(name, &text, &reason)) {
      fprintf(stderr, "mqsim: %s\n", text.c_str());
      return 1;
    }
  }
  printf("mqsim: ready\n");
  fflush(stdout);
  return server.Run();
}
