// Fuzz target: the agent's handling of datagrams on its UDP node (discovery
// broadcasts, registration confirmations, shutdown requests), through the
// serve loop's own step (HandleDatagram). Anyone on the network can send
// these. The input is a script of frames (fuzzed_frames.h), each sent as
// one datagram from a socket of this process that is also where the agent's
// answers come back; the target of the first frame picks the settings:
//   0  group "FZ"         1  group "FZ", user authority checks on
//   2  no group           3  group "FZ", trace on
// The group's mqgroup.ini names this sender's address as a group manager,
// so a shutdown request from it is taken (and from other ports refused).
// Whatever the agent answers must be a frame whose body indexes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <pcfcore/excmd.h>
#include <pcfcore/pcf_message.h>

#include "agent.h"
#include "testsupport/body_index.h"
#include "testsupport/fuzzed_frames.h"
#include "testsupport/temp_dir.h"

namespace {

namespace ts = harrow::testsupport;
using namespace localagent;

const ts::PcfVocabulary& Vocabulary() {
  static const ts::PcfVocabulary vocabulary = {
      {EXCMD_INQUIRE_MQNODE, 10108, EXCMD_REGISTER_MQNODE, EXCMD_SHUTDOWN_MANAGER, EXCMD_MQ_OPEN, 0, -1},
      {20006, 20007, 20009, 20019, 20020, 20106, 20119, 20143, 20144, 20145, 20146, 20150, 20324,
       20425, 20908, 20909, 20912, MQCA_Q_MGR_NAME}};
  return vocabulary;
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "localagent_datagram_fuzz: %s\n", what);
  std::abort();
}

// Never freed: libFuzzer may end the process from any thread; the
// directory goes at exit.
struct World {
  ts::TempDir dir{"agentudpfuzz"};
  mqnMQNodeData* udp = nullptr;
  int sender = -1;
  sockaddr_in agent_address{};
  Settings settings[4];
};

World& TheWorld() {
  static World* world = [] {
    auto* w = new World;
    static std::string root = w->dir.path();
    std::atexit([] { ts::RemoveTree(root); });
    for (const char* sub : {"inst", "inst/config", "inst/config/groups", "mqm", "registry"}) {
      mkdir(w->dir.Sub(sub).c_str(), 0700);
    }
    setenv("HRLCOMPACT", w->dir.Sub("inst").c_str(), 1);
    setenv("HARROWLINE_MQM", w->dir.Sub("mqm").c_str(), 1);
    setenv("HRLCOMPACT_REGISTRY", w->dir.Sub("registry").c_str(), 1);
    setenv("HRLCOMPACT_AUTH_RULES", w->dir.Sub("no-rules").c_str(), 1);

    SocketAddress any{};
    std::snprintf(any.host, sizeof any.host, "127.0.0.1");
    std::snprintf(any.service, sizeof any.service, "0");
    std::snprintf(any.protocol, sizeof any.protocol, "udp");
    w->udp = CreateUDPMQNodeWithOpt(&any, nullptr);
    if (w->udp == nullptr || w->udp->lastError != 0) Fail("udp node");
    NoblockSocket(&w->udp->socket);
    w->agent_address.sin_family = AF_INET;
    w->agent_address.sin_port = htons(static_cast<uint16_t>(w->udp->address.port));
    w->agent_address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    w->sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof self;
    if (w->sender < 0 || bind(w->sender, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
        getsockname(w->sender, reinterpret_cast<sockaddr*>(&self), &length) != 0) {
      Fail("sender");
    }
    std::ofstream groups(w->dir.Sub("inst/config/groups/mqgroup.ini"));
    groups << "Group::FZ=FZ\nFZ::Node=127.0.0.1\nFZ::Service=" << ntohs(self.sin_port) << "\n";
    groups.close();

    Settings base = DefaultSettings();
    base.group = "FZ";
    for (int i = 0; i < 4; ++i) w->settings[i] = base;
    w->settings[1].authority_check = true;
    w->settings[2].group.clear();
    w->settings[3].trace = true;
    return w;
  }();
  return *world;
}

// Every answer waiting on the sender must be a frame whose body indexes.
void CheckAnswers(World& w) {
  static unsigned char buffer[70000];
  for (;;) {
    ssize_t n = recv(w.sender, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) return;
    ts::Bytes stream(buffer, buffer + n);
    std::vector<ts::Bytes> bodies;
    if (!ts::TakeWholeFrameBodies(&stream, &bodies) || bodies.size() != 1 || !stream.empty()) {
      Fail("agent answered with something that is not one frame");
    }
    switch (ts::IndexBody(bodies[0])) {
      case ts::BodyIndex::kIndexes: break;
      case ts::BodyIndex::kDoesNotIndex: Fail("agent answered with a body that does not index");
      case ts::BodyIndex::kNoMemory: Fail("no memory");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& w = TheWorld();
  std::vector<ts::FuzzedFrame> frames = ts::FramesFromFuzzInput(data, size, Vocabulary());
  if (frames.empty()) return 0;
  AgentState agent(w.settings[frames[0].target]);
  // Fresh per input: its memory of answers given must not reach the next.
  AnswerLimiter limiter;
  for (const ts::FuzzedFrame& f : frames) {
    if (f.frame.size() > 65507) continue;
    if (sendto(w.sender, f.frame.data(), f.frame.size(), 0,
               reinterpret_cast<const sockaddr*>(&w.agent_address), sizeof w.agent_address) < 0) {
      continue;
    }
    pollfd ready{w.udp->socket.handle, POLLIN, 0};
    if (poll(&ready, 1, 1000) <= 0) continue;
    HandleDatagram(agent, w.udp, nullptr, limiter);
    CheckAnswers(w);
  }
  // Nothing left over for the next input.
  unsigned char sink[70000];
  while (recv(w.udp->socket.handle, sink, sizeof sink, MSG_DONTWAIT) > 0) {
  }
  CheckAnswers(w);
  return 0;
}
