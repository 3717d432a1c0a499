// Fuzz target: the agent's handling of a client's frames, through the
// connection thread's own read step (ServeClientRead) on a loopback
// connection. The input is a script of frames (fuzzed_frames.h); the
// target of its first frame picks the agent's settings for the input:
//   0  plain             1  user authority checks on (no rules: refused)
//   2  trace on          3  authority checks and trace on
// A real queue manager, QM1, runs in this process (the MQ stand-in's
// server on a thread of its own, reached through the MQ client library
// over loopback as the agent reaches any), so that an input that opens
// it drives the commands, MQSC scripts, queue statistics, event queues and
// message requests against it; other names fail to open as a queue
// manager that is not there does. An mqproxy.ini names a proxied queue
// manager (QMP), one that takes MQSC only (QMS) and one with another
// command queue (QMQ), so that the open's proxy steps are reached too.
//
// The connection and its state are new for each input; the queue
// manager's objects and messages live on from input to input. Whatever
// the agent writes must be whole frames whose bodies index.
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
#include <thread>
#include <vector>

#include <os/registry.h>
#include <pcfcore/excmd.h>
#include <pcfcore/pcf_message.h>

#include "agent.h"
#include "common/install.h"
#include "connection.h"
#include "event_queues.h"
#include "message_requests.h"
#include "server/server.h"
#include "testsupport/body_index.h"
#include "testsupport/fuzzed_frames.h"
#include "testsupport/ports.h"
#include "testsupport/temp_dir.h"

namespace {

namespace ts = harrow::testsupport;
using namespace localagent;

const ts::PcfVocabulary& Vocabulary() {
  static const ts::PcfVocabulary vocabulary = [] {
    ts::PcfVocabulary v;
    v.commands = {EXCMD_OPEN_EVENT, EXCMD_CLOSE_EVENT, EXCMD_INQUIRE_Q_MGR_NAMES,
                  EXCMD_INQUIRE_CLUSQMGR_NAMES, EXCMD_MQ_OPEN, EXCMD_MQ_CLOSE, EXCMD_CREATE_Q_MGR,
                  EXCMD_DELETE_Q_MGR, EXCMD_MQSC_SCRIPT, EXCMD_START_Q_MGR, EXCMD_STOP_Q_MGR,
                  EXCMD_INQUIRE_TEXT_FILE, EXCMD_CREATE_TEXT_FILE, EXCMD_INQUIRE_Q_RUNTIME,
                  EXCMD_SHUTDOWN_MANAGER, EXCMD_START_PROCESS, EXCMD_EXECUTE_SHELL_CMD,
                  EXCMD_TEST_Q_MGR, EXCMD_MQ_DISCOVER, EXCMD_MG_BROWSE, EXCMD_MG_NEW, EXCMD_MG_MOVE,
                  EXCMD_MG_DELETE, EXCMD_MG_COPY, 10305, 10306, EXCMD_HEART_BEAT, 2, 13, 26, 27, 38,
                  39, 46, 0, -1, 99999};
    v.parameters = {MQCA_Q_MGR_NAME, MQCA_Q_NAME, MQCA_PROCESS_NAME, MQCACH_CHANNEL_NAME,
                    MQCACH_MCA_NAME, MQCA_NAMELIST_NAME, MQCA_CLUSTER_Q_MGR_NAME, 20, 1002, 1009,
                    MQIACF_ESCAPE_TYPE, MQCACF_ESCAPE_TEXT, 20137, 20324, 20908, 20119, 20909, 20126,
                    20071, 20072, 20073, 20074, 3001, 3002, 3007, 3008, 2029, 1511, 1526, 3003, 3004,
                    3005, 3006, 20006, 20007, MQIA_SYNCPOINT,
                    // message requests
                    20030, 20031, 20157, 20159, 20156, 20158, 20160, 20401, 20402, 20403, 20404,
                    20406, 20501, 20038, 20039, 20029, 20037, 20155, 3011};
    return v;
  }();
  return vocabulary;
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "localagent_command_fuzz: %s\n", what);
  std::abort();
}

// Never freed: libFuzzer may end the process from any thread; the
// directory goes at exit.
struct World {
  ts::TempDir dir{"agentcmdfuzz"};
  mqnMQNodeData* listener = nullptr;
  Settings settings[4];
  mqsim::server::Server* mq = nullptr;
  MessageServer* message_server = nullptr;
};

// The installation of QM1 as its control command makes it, and the
// client-connection key the agent finds it by.
void MakeQueueManager(const std::string& root, int port) {
  mqsim::IniFile mqs;
  mqs.Add("AllQueueManagers").Set("DefaultPrefix", root);
  mqsim::IniStanza& stanza = mqs.Add("QueueManager");
  stanza.Set("Name", "QM1");
  stanza.Set("Prefix", root);
  stanza.Set("Directory", "QM1");
  mqs.Add("DefaultQueueManager").Set("Name", "QM1");
  mqsim::IniFile qm;
  mqsim::IniStanza& log = qm.Add("Log");
  log.Set("LogPrimaryFiles", "3");
  log.Set("LogSecondaryFiles", "2");
  log.Set("LogFilePages", "1024");
  log.Set("LogType", "CIRCULAR");
  log.Set("LogPath", root + "/log/QM1/");
  qm.Add("TCP").Set("Port", std::to_string(port));
  if (!mqsim::MakeDirs(root + "/qmgrs/QM1/errors") ||
      !mqsim::WriteFileAtomic(root + "/qmgrs/QM1/qm.ini", qm.Format()) ||
      !mqsim::WriteFileAtomic(mqsim::MqsIniPath(root), mqs.Format())) {
    Fail("queue manager files");
  }
  HKEY key = nullptr;
  if (osRegCreateKey(HKEY_LOCAL_MACHINE, "Software\\Brackwin\\Harrowline Compact\\Queue Managers\\QM1",
                     &key) != OS_REG_SUCCESS) {
    Fail("registry");
  }
  const std::string connection = "127.0.0.1(" + std::to_string(port) + ")";
  osRegSetString(key, "Channel Name", "SYSTEM.DEF.SVRCONN");
  osRegSetString(key, "Connection Name", connection.c_str());
  osRegCloseKey(key);
}

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
    MakeQueueManager(w->dir.Sub("mqm"), ts::FreeLoopbackPort());
    w->mq = new mqsim::server::Server(w->dir.Sub("mqm"));
    std::string text;
    MQLONG reason = 0;
    if (!w->mq->Init(&text) || !w->mq->StartQmgr("QM1", &text, &reason)) Fail(text.c_str());
    std::thread([mq = w->mq] { mq->Run(); }).detach();
    w->message_server = new MessageServer;
    std::ofstream proxy(w->dir.Sub("inst/config/groups/mqproxy.ini"));
    proxy << "QMP::Proxy=QMREAL\nQMS::CommandSupport=MQSC\nQMQ::SystemCommandQ=OTHER.COMMAND.QUEUE\n";
    proxy.close();

    SocketAddress any{};
    std::snprintf(any.host, sizeof any.host, "127.0.0.1");
    std::snprintf(any.service, sizeof any.service, "0");
    std::snprintf(any.protocol, sizeof any.protocol, "tcp");
    w->listener = CreateMQNode(&any, MQNODE_MODE_SERVER);
    if (w->listener == nullptr || w->listener->lastError != 0) Fail("listener");

    Settings base = DefaultSettings();
    base.group = "FZ";
    for (int i = 0; i < 4; ++i) {
      w->settings[i] = base;
      w->settings[i].authority_check = (i & 1) != 0;
      w->settings[i].trace = (i & 2) != 0;
    }
    return w;
  }();
  return *world;
}

// The whole frames at the start of stream must have bodies that index.
void CheckFrames(ts::Bytes* stream) {
  std::vector<ts::Bytes> bodies;
  if (!ts::TakeWholeFrameBodies(stream, &bodies)) Fail("agent wrote a frame with a bad length");
  for (const ts::Bytes& body : bodies) {
    switch (ts::IndexBody(body)) {
      case ts::BodyIndex::kIndexes: break;
      case ts::BodyIndex::kDoesNotIndex: Fail("agent wrote a body that does not index");
      case ts::BodyIndex::kNoMemory: Fail("no memory");
    }
  }
}

void Drain(int fd, ts::Bytes* into) {
  unsigned char buffer[65536];
  for (;;) {
    ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) return;
    into->insert(into->end(), buffer, buffer + n);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& w = TheWorld();
  std::vector<ts::FuzzedFrame> frames = ts::FramesFromFuzzInput(data, size, Vocabulary());
  if (frames.empty()) return 0;

  // The client, and its connection as the agent's serve loop accepts it.
  int peer = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(w.listener->address.port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (peer < 0 || connect(peer, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) Fail("connect");
  int big = 1 << 20;
  setsockopt(peer, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
  setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
  if (mnOpen(w.listener) != 1 || w.listener->accepted == nullptr) Fail("accept");
  mqnMQNodeData* client = w.listener->accepted;
  w.listener->accepted = nullptr;

  AgentState agent(w.settings[frames[0].target]);
  agent.message_server = w.message_server;
  ClientConnection c;
  mqPcfMessage* request = CreatePcfMessage(0, MQCFT_COMMAND, 32000);
  mqPcfMessage* response = CreatePcfMessage(0, MQCFT_RESPONSE, 32000);
  client->pendingLimit = 20000;
  NoblockSocket(&client->socket);

  ts::Bytes from_agent;
  bool ended = false;
  for (const ts::FuzzedFrame& f : frames) {
    if (ended || agent.Stopping()) break;
    const int frames_before = client->framesRead;
    size_t sent = 0;
    for (int round = 0; round < 1000; ++round) {
      if (sent < f.frame.size()) {
        ssize_t n = send(peer, f.frame.data() + sent, f.frame.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) sent += static_cast<size_t>(n);
      }
      pollfd ready{client->socket.handle, POLLIN, 0};
      if (poll(&ready, 1, 1000) <= 0) break;
      ReadOutcome outcome = ServeClientRead(agent, c, client, request, response);
      while (mnIsPendingIO(client) && mnFinishWrite(client)) {
        Drain(peer, &from_agent);
        if (!mnIsPendingIO(client)) break;
        pollfd out{client->socket.handle, POLLOUT, 0};
        poll(&out, 1, 100);
      }
      Drain(peer, &from_agent);
      if (outcome == ReadOutcome::kEnd) {
        ended = true;
        break;
      }
      if (outcome == ReadOutcome::kHandled || client->framesRead != frames_before) break;
    }
    CheckFrames(&from_agent);
  }

  DeletePcfMessage(request);
  DeletePcfMessage(response);
  DeleteMQNode(client);
  // As the connection thread ends: its queue manager and event queues go.
  DeleteSysEventQueues(c);
  DeleteMQManager(c.qm);
  close(peer);
  return 0;
}
