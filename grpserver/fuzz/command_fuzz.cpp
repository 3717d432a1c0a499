// Fuzz target: the group server's handling of what its peers send, through
// the loop's own read step (ServeClients) against a real group database in
// a temporary directory. The input is a script of frames (fuzzed_frames.h);
// each frame arrives on loopback from one of four peers:
//   target 0  a console (user authority checks off)
//   target 1  a second console, its frame checked with the user authority
//             rules on (an installation without rules: trust is refused)
//   target 2  the agent behind a node entry (its replies and events)
//   target 3  a datagram on the server's UDP node
// Consoles, the node entry and the server's state are made afresh for each
// input, so every input replays alone. Whatever the server writes to a
// console or to the agent must be whole frames whose bodies index.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <groupdb/groupdb.h>

#include "client_table.h"
#include "db_commands.h"
#include "dispatch.h"
#include "entry_connection.h"
#include "group_create.h"
#include "group_start.h"
#include "main_loop.h"
#include "sessions.h"
#include "testsupport/body_index.h"
#include "testsupport/fuzzed_frames.h"
#include "testsupport/temp_dir.h"

namespace {

namespace ts = harrow::testsupport;
using namespace grpserver;

constexpr char kGroup[] = "FZ";

const ts::PcfVocabulary& Vocabulary() {
  static const ts::PcfVocabulary vocabulary = [] {
    ts::PcfVocabulary v;
    v.commands = {EXCMD_OPEN_EVENT, EXCMD_CLOSE_EVENT, EXCMD_SHUTDOWN_MANAGER, MQCMD_ESCAPE,
                  EXCMD_MQSC_SCRIPT, EXCMD_INQUIRE_TEXT_FILE, EXCMD_CREATE_TEXT_FILE,
                  EXCMD_EXECUTE_SHELL_CMD, kInquireSession, kDeleteSession, kDbBackup, kDbRestore,
                  EXCMD_UNMANAGE_MQNODE, EXCMD_MANAGE_MQNODE, EXCMD_REGISTER_MQNODE, 10108,
                  EXCMD_CHANGE_MANAGER, EXCMD_INQUIRE_MANAGER, EXCMD_HEART_BEAT, EXCMD_MANAGER_EVENT,
                  EXCMD_STATE_EVENT, EXCMD_ALTER_EVENT, EXCMD_MQ_OPEN, EXCMD_INQUIRE_MQNODE, 1, 2, 13,
                  20, 42, 50, 0, -1, 99999};
    v.parameters = {20006, 20007, MQCA_Q_MGR_NAME, 20016, OBJECT_TYPE, MQCA_Q_NAME,
                    MQCACH_CHANNEL_NAME, MQCA_PROCESS_NAME, MQCA_NAMELIST_NAME, MQCA_CLUSTER_Q_MGR_NAME,
                    MQCA_CLUSTER_NAME, MQCA_CLUSTER_NAMELIST, MQCACF_FROM_Q_NAME,
                    MQCACF_FROM_PROCESS_NAME, MQCACF_FROM_NAMELIST_NAME, MQCACF_FROM_CHANNEL_NAME,
                    MQCACH_MCA_NAME, MQCACF_USER_IDENTIFIER, MQCACF_ESCAPE_TEXT, MQIACF_ESCAPE_TYPE,
                    20139, 20140, 20410, 20020, 20912, 3024, 20500, 20501, 20502, 20600, 20126,
                    MQNODE_MANAGED, 20017, 1020, 20125};
    return v;
  }();
  return vocabulary;
}

// ---- the world that lives for the whole run ---------------------------------

// Never freed: libFuzzer may end the process from any thread; the
// directory goes at exit.
struct World {
  ts::TempDir dir{"grpcmdfuzz"};
  mqnMQNodeData* listener = nullptr;  // entry 0, as the server's TCP node
  mqnMQNodeData* udp = nullptr;
  int udp_port = 0;
  int agent_listener = -1;            // where the node entry connects
};

SocketAddress Loopback(const std::string& service, const char* protocol) {
  SocketAddress a{};
  std::snprintf(a.host, sizeof a.host, "127.0.0.1");
  std::snprintf(a.service, sizeof a.service, "%s", service.c_str());
  std::snprintf(a.protocol, sizeof a.protocol, "%s", protocol);
  return a;
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "grpserver_command_fuzz: %s\n", what);
  std::abort();
}

World& TheWorld() {
  static World* world = [] {
    auto* w = new World;
    static std::string root = w->dir.path();
    std::atexit([] { ts::RemoveTree(root); });
    const std::string inst = w->dir.Sub("inst");
    mkdir(inst.c_str(), 0700);
    mkdir(w->dir.Sub("registry").c_str(), 0700);
    setenv("HRLCOMPACT", inst.c_str(), 1);
    setenv("HRLCOMPACT_REGISTRY", w->dir.Sub("registry").c_str(), 1);
    GroupSpec spec;
    spec.name = kGroup;
    spec.max_clients = 4;
    spec.max_nodes = 2;
    spec.max_qmgrs_per_node = 2;
    std::string error;
    if (!CreateGroup(spec, inst, &error)) Fail(error.c_str());
    Server().install_dir = inst;
    int out = 0;
    if (grpserver::OpenGroupDatabase(kGroup, &out) != 1) Fail("database open");

    // The agent: a raw listener whose port the node record names.
    w->agent_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof any;
    if (bind(w->agent_listener, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ||
        listen(w->agent_listener, 8) != 0 ||
        getsockname(w->agent_listener, reinterpret_cast<sockaddr*>(&any), &length) != 0) {
      Fail("agent listener");
    }
    GroupDbRecord r{};
    r.Table = DBT_MQNODES;
    DbClearRecord(&r);
    DbSetField(&r, DBF_MANAGER_NAME, kGroup);
    DbSetField(&r, DBF_MQNODE_NAME, "N1");
    DbSetField(&r, DBF_MQNODE_NET_ADDRESS, "127.0.0.1");
    DbSetField(&r, DBF_MQNODE_PORT_NO, std::to_string(ntohs(any.sin_port)).c_str());
    if (DbWriteRecord(&r, GDB_WRITE_ADD, &out) != 1) Fail("node record");
    // A restore an input asks for comes back to this state.
    if (DbBackup(kGroup, &out) != 1) Fail("backup");

    SocketAddress tcp = Loopback("0", "tcp");
    w->listener = CreateMQNode(&tcp, MQNODE_MODE_SERVER);
    SocketAddress udp = Loopback("0", "udp");
    w->udp = CreateUDPMQNodeWithOpt(&udp, nullptr);
    if (w->listener == nullptr || w->listener->lastError != 0 || w->udp == nullptr ||
        w->udp->lastError != 0) {
      Fail("server nodes");
    }
    NoblockSocket(&w->udp->socket);
    w->udp_port = w->udp->address.port;
    return w;
  }();
  return *world;
}

// ---- one input's peers --------------------------------------------------------

struct Peers {
  int console[2] = {-1, -1};
  ClientEntry* console_entry[2] = {nullptr, nullptr};
  int agent = -1;
  ClientEntry* node_entry = nullptr;
  // What the server wrote and nobody has checked yet: consoles 0 and 1,
  // the agent.
  ts::Bytes from_server[3];
};

int ConnectTo(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) Fail("connect");
  return fd;
}

// The server's state as a fresh start leaves it, with two consoles accepted
// through the loop's accept step and one node entry connected.
void StartInput(World& w, Peers* p) {
  ResetServerState();
  GroupServer& s = Server();
  s.install_dir = w.dir.Sub("inst");
  s.group = kGroup;
  if (LoadGroupRecord(kGroup, 1) == 0) Fail("group record");
  s.notification = CreatePcfMessage(0, MQCFT_EVENT, 2048);
  s.response = CreatePcfMessage(0, MQCFT_RESPONSE, 32000);
  s.request = CreatePcfMessage(0, MQCFT_COMMAND, 32000);
  ClientEntry* server_entry = s.Entry(0);
  server_entry->connection = w.listener;
  server_entry->trusted = 1;
  w.listener->context = server_entry;
  s.udp_entry.trusted = 1;
  std::snprintf(s.udp_entry.manager_name, sizeof s.udp_entry.manager_name, "%s", kGroup);
  s.udp_entry.connection = w.udp;
  w.udp->context = &s.udp_entry;
  s.udp_node = w.udp;

  for (int i = 0; i < 2; ++i) {
    p->console[i] = ConnectTo(w.listener->address.port);
    mqnMQNodeData* servers[] = {w.listener, nullptr};
    if (AcceptConnection(servers) != 1) Fail("accept");
    p->console_entry[i] = s.Entry(i + 1);
    if (p->console_entry[i]->connection == nullptr) Fail("console entry");
  }
  if (ConnectNodeEntry(kGroup, "N1", "QM1", s.NodeEntries(), s.limits.node_entry_count) != 0) {
    Fail("node entry");
  }
  p->node_entry = s.NodeEntries();
  // Connections the server's reconnects of an earlier input left waiting
  // must not be taken for this one's.
  for (int stale; (stale = accept4(w.agent_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;) {
    close(stale);
  }
  if (OpenEntryConnection(p->node_entry, "SYSTEM", 0, 0) != 1) Fail("node connect");
  NoblockSocket(&p->node_entry->connection->socket);
  pollfd pending{w.agent_listener, POLLIN, 0};
  if (poll(&pending, 1, 5000) != 1) Fail("agent connection");
  p->agent = accept4(w.agent_listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (p->agent < 0) Fail("agent accept");
  for (int fd : {p->console[0], p->console[1], p->agent}) {
    int big = 1 << 20;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
  }
}

void EndInput(World& w, Peers* p) {
  GroupServer& s = Server();
  s.Entry(0)->connection = nullptr;
  s.udp_entry = ClientEntry{};
  s.udp_node = nullptr;
  for (ClientEntry& e : s.table) {
    if (e.connection != nullptr) CloseEntryConnection(&e, "SYSTEM", 0, 0, 0);
  }
  for (int fd : {p->console[0], p->console[1], p->agent}) {
    if (fd >= 0) close(fd);
  }
  DeletePcfMessage(s.notification);
  DeletePcfMessage(s.response);
  DeletePcfMessage(s.request);
  s.notification = s.response = s.request = nullptr;
  // A datagram the server did not read must not reach the next input.
  unsigned char sink[70000];
  while (recv(w.udp->socket.handle, sink, sizeof sink, MSG_DONTWAIT) > 0) {
  }
  if (s.stop) {
    // A restore that could not open the database stops the server: open
    // it again as a restart would.
    int out = 0;
    if (grpserver::OpenGroupDatabase(kGroup, &out) != 1) Fail("database reopen");
  }
}

// Reads what the server wrote so far to the consoles and the agent.
void Drain(Peers* p) {
  const int fds[] = {p->console[0], p->console[1], p->agent};
  unsigned char buffer[65536];
  for (int i = 0; i < 3; ++i) {
    for (;;) {
      ssize_t n = recv(fds[i], buffer, sizeof buffer, MSG_DONTWAIT);
      if (n <= 0) break;
      p->from_server[i].insert(p->from_server[i].end(), buffer, buffer + n);
    }
  }
}

// The loop's late-write step for every connection with writes waiting.
void FinishWrites() {
  GroupServer& s = Server();
  std::vector<mqnMQNodeData*> waiting;
  for (ClientEntry& e : s.table) {
    if (e.connection != nullptr && mnIsPendingIO(e.connection)) waiting.push_back(e.connection);
  }
  waiting.push_back(nullptr);
  ServeLateIO(waiting.data());
}

// The whole frames at the start of stream must have bodies that index.
void CheckFrames(ts::Bytes* stream) {
  std::vector<ts::Bytes> bodies;
  if (!ts::TakeWholeFrameBodies(stream, &bodies)) Fail("server wrote a frame with a bad length");
  for (const ts::Bytes& body : bodies) {
    switch (ts::IndexBody(body)) {
      case ts::BodyIndex::kIndexes: break;
      case ts::BodyIndex::kDoesNotIndex: Fail("server wrote a body that does not index");
      case ts::BodyIndex::kNoMemory: Fail("no memory");
    }
  }
}

// Delivers one frame to the server from its peer and runs the loop's read
// step on that connection until the frame has been taken whole.
void Deliver(World& w, Peers* p, const ts::FuzzedFrame& f) {
  GroupServer& s = Server();
  ClientEntry* entry = nullptr;
  int fd = -1;
  switch (f.target) {
    case 0:
    case 1:
      entry = p->console_entry[f.target];
      fd = p->console[f.target];
      break;
    case 2:
      entry = p->node_entry;
      fd = p->agent;
      break;
    default:
      entry = &s.udp_entry;
      break;
  }
  mqnMQNodeData* node = entry->connection;
  if (node == nullptr) return;  // closed by an earlier frame of this input
  if (f.target == 3) {
    if (f.frame.size() > 65507) return;
    if (!ts::SendDatagram(w.udp_port, f.frame)) return;
  }
  s.options.user_authority = f.target == 1;
  const int frames_before = node->framesRead;
  size_t sent = f.target == 3 ? f.frame.size() : 0;
  for (int round = 0; round < 1000; ++round) {
    if (sent < f.frame.size()) {
      ssize_t n = send(fd, f.frame.data() + sent, f.frame.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n > 0) sent += static_cast<size_t>(n);
    }
    pollfd ready{node->socket.handle, POLLIN, 0};
    if (poll(&ready, 1, 1000) <= 0) break;
    mqnMQNodeData* list[] = {node, nullptr};
    ServeClients(list, s.request, s.response);
    Drain(p);
    FinishWrites();
    if (entry->connection != node || node->framesRead != frames_before ||
        node->lastError != MN_ERR_WOULD_BLOCK) {
      break;
    }
  }
  s.options.user_authority = false;
  DisconnectFlaggedEntries();
  Drain(p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& w = TheWorld();
  std::vector<ts::FuzzedFrame> frames = ts::FramesFromFuzzInput(data, size, Vocabulary());
  Peers peers;
  StartInput(w, &peers);
  bool database_command = false;
  for (const ts::FuzzedFrame& f : frames) {
    // A backup or restore syncs many files: one per input keeps every
    // input well inside the time limit on a loaded machine.
    const int32_t command = ts::WordAt(f.body, 12);
    if (command == kDbBackup || command == kDbRestore) {
      if (database_command) continue;
      database_command = true;
    }
    Deliver(w, &peers, f);
    for (ts::Bytes& stream : peers.from_server) CheckFrames(&stream);
  }
  EndInput(w, &peers);
  return 0;
}
