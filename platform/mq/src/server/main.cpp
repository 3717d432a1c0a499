// mqsim: the queue-manager server of the MQ stand-in.
//
//   mqsim [-m root] [-s qmgr]...
//
// Serves the installation under root (default $HARROWLINE_MQM, else
// /var/mqm): control requests of mqsimctl on <root>/mqsim.sock, and one TCP
// listener per started queue manager. -s starts a queue manager at once.
// Prints "mqsim: ready" on stdout when it accepts requests. Ends on SIGTERM,
// SIGINT or a shutdown request, ending every queue manager first.
#include <csignal>
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
          "usage: mqsim [-m root] [-s qmgr]...\n"
          "  -m root   installation directory (default $HARROWLINE_MQM, else /var/mqm)\n"
          "  -s qmgr   start this queue manager at once (repeatable)\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string root = mqsim::InstallRoot();
  std::vector<std::string> start;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "-m" || a == "-s") && i + 1 < argc) {
      (a == "-m" ? root : start.emplace_back()) = argv[++i];
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else {
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
  signal(SIGPIPE, SIG_IGN);
  struct sigaction sa{};
  sa.sa_handler = OnSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);

  mqsim::server::Server server(root);
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
