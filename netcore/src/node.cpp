// Nodes: creation and deletion, open (connect or accept), close, waiting
// on many nodes, and the queue of writes that could not be sent at once.

#include "netcore/node.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <vector>

#include "netcore/frame.h"
#include "os/names.h"
#include "os/socket_errors.h"
#include "pcfcore/memory.h"
#include "node_internal.h"
#include "socket_internal.h"

namespace netcore {
namespace {

mnTraceCallback g_default_node_trace = nullptr;

constexpr int kPlainHeaderLength = 136;

void FillIdentity(mqnMQNodeData* node) {
  CopyField(node->platform, sizeof node->platform, "WIN32");
  char login[256] = {};
  osGetLoginName(login, sizeof login);
  std::memset(node->user, 0, sizeof node->user);
  std::memcpy(node->user, login, std::min<std::size_t>(std::strlen(login), 12));

  char program[256] = {};
  std::memset(node->applName, 0, sizeof node->applName);
  if (osGetProgramName(program, sizeof program) == 0 || program[0] == '\0') {
    CopyField(node->applName, sizeof node->applName, "UNKNOWN");
    return;
  }
  std::size_t n = 0;
  for (; program[n] != '\0' && program[n] != '.' && n < 48; ++n) {
    node->applName[n] = static_cast<char>(std::toupper(static_cast<unsigned char>(program[n])));
  }
  if (n == 0) CopyField(node->applName, sizeof node->applName, "UNKNOWN");
}

int SideFor(int mode, int socket_type) {
  if (socket_type == 2) return MQNODE_SIDE_DATAGRAM;
  return mode == MQNODE_MODE_SERVER ? MQNODE_SIDE_ACCEPTING : MQNODE_SIDE_CONNECTING;
}

mqnMQNodeData* AllocateNode(int mode) {
  void* p = nullptr;
  if (fNewMemory(&p, sizeof(mqnMQNodeData), "MQNode") == 0) return nullptr;
  auto* node = static_cast<mqnMQNodeData*>(p);
  node->kind = MQNODE_KIND;
  node->mode = mode;
  node->trace = g_default_node_trace;
  node->pendingLimit = -1;
  node->side = SideFor(mode, 1);
  InitSocket(&node->socket);
  node->operations.mnOpen = mnOpen;
  node->operations.mnClose = mnClose;
  node->operations.mnRead = mnRead;
  node->operations.mnBrowse = mnBrowse;
  node->operations.mnWrite = mnWrite;
  node->operations.mnPost = mnPost;
  FillIdentity(node);
  if (CreateBuffer(&node->receive, MQNODE_RECEIVE_CAPACITY) == 0) {
    FreeMemory(node);
    return nullptr;
  }
  node->receive.Size = kPlainHeaderLength;
  return node;
}

// Linux's SO_REUSEADDR lets a listening socket bind over connections still
// in TIME_WAIT and nothing more (two live listeners on one port stay
// impossible), which is what binding gave the servers on the platform they
// were written for. Without it a restarted server cannot bind its port for
// a minute after it closed connections itself.
void ApplyOption(mqnMQNodeData* node, int mode, SocketOption* option) {
  if (option != nullptr) {
    SetSocketOptions(&node->socket, option);
  } else {
    ReuseSocket(&node->socket, mode == MQNODE_MODE_SERVER ? 1 : 0);
  }
}

mqnMQNodeData* CreateTcpNode(SocketAddress* address, int mode, SocketOption* option,
                             bool use_option, const char* trace_name) {
  mqnMQNodeData* node = AllocateNode(mode);
  if (node == nullptr) return nullptr;
  CopyField(node->host, sizeof node->host, address->host);
  CreateSocket(&node->socket);
  node->socket.owner = node;
  node->lastError = node->socket.lastError;
  if (node->socket.handle >= 0) ApplyOption(node, mode, use_option ? option : nullptr);
  // No linger-0: a reset on close would drop a final reply still in flight.
  node->address = *address;
  if (mode == MQNODE_MODE_SERVER && node->socket.handle >= 0) {
    // The backlog is the system's maximum rather than 5: a burst of agents
    // and consoles connecting at once must queue, not be refused.
    if (BindSocketName(&node->socket, &node->address)) ListenSocket(&node->socket, SOMAXCONN);
  }
  node->lastError = node->socket.lastError;
  NodeTrace(node, trace_name);
  return node;
}

}  // namespace

void NodeTrace(mqnMQNodeData* node, const char* operation) {
  if (node->trace != nullptr) node->trace(operation, node);
}

Buffer* NewFrame(int size) {
  void* p = nullptr;
  if (fNewMemory(&p, sizeof(Buffer), "MQNODE") == 0) return nullptr;
  auto* frame = static_cast<Buffer*>(p);
  if (size > 0) {
    void* data = nullptr;
    if (fNewMemory(&data, static_cast<std::size_t>(size), "MQNODE") == 0) {
      FreeMemory(frame);
      return nullptr;
    }
    frame->Data = static_cast<unsigned char*>(data);
    frame->Size = size;
    frame->Capacity = size;
  }
  return frame;
}

void FreeFrame(Buffer* frame) {
  if (frame == nullptr) return;
  FreeMemory(frame->Data);
  FreeMemory(frame);
}

static_assert(MQNODE_SIDE_CONNECTING == MQC_SIDE_CONNECTING &&
              MQNODE_SIDE_ACCEPTING == MQC_SIDE_ACCEPTING &&
              MQNODE_SIDE_DATAGRAM == MQC_SIDE_DATAGRAM);

mqcFrameSide FrameSideOf(const mqnMQNodeData* node) {
  mqcFrameSide side{node->side, 0};
  if (node->socket.type == 2) {
    side.side = MQC_SIDE_DATAGRAM;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(node->socket.handle, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
        local.sin_family == AF_INET) {
      side.port = ntohs(local.sin_port);
    }
  } else if (side.side != MQC_SIDE_ACCEPTING) {
    side.side = MQC_SIDE_CONNECTING;
  }
  return side;
}

int RestingSize(const mqnMQNodeData* node, int header_length) {
  return node->socket.type == 2 ? node->receive.Capacity : header_length;
}

namespace {

// The pending-write limit: false (the frame refused with -1111) when one
// more frame would pass it.
bool WithinPendingLimit(mqnMQNodeData* node) {
  if (node->pendingLimit > 0 && node->pendingCount + 1 > node->pendingLimit) {
    node->lastError = MN_ERR_PENDING_LIMIT;
    NodeTrace(node, "mnWriteToNode");
    return false;
  }
  return true;
}

// Queues a frame the socket took only part of (or none), to be finished by
// mnFinishWrite; takes ownership of frame.
int QueueUnsent(mqnMQNodeData* node, Buffer* frame) {
  node->lastError = MN_ERR_WOULD_BLOCK;
  if (node->pending == nullptr) node->pending = QAlloc();
  if (node->pending != nullptr && QPut(node->pending, frame)) {
    ++node->pendingCount;
    return 1;
  }
  FreeFrame(frame);
  node->lastError = MN_ERR_NO_ROOM;
  return 0;
}

// One frame holding the pieces one after the other; null when no memory.
Buffer* JoinParts(const iovec* parts, int count) {
  std::size_t total = 0;
  for (int i = 0; i < count; ++i) total += parts[i].iov_len;
  Buffer* frame = NewFrame(static_cast<int>(total));
  if (frame == nullptr) return nullptr;
  std::size_t at = 0;
  for (int i = 0; i < count; ++i) {
    if (parts[i].iov_len == 0) continue;
    std::memcpy(frame->Data + at, parts[i].iov_base, parts[i].iov_len);
    at += parts[i].iov_len;
  }
  return frame;
}

}  // namespace

bool CanSendStraight(mqnMQNodeData* node) {
  node->lastError = 0;
  return node->socket.type != 2 && node->pending == nullptr && WithinPendingLimit(node);
}

int FinishPartsWrite(mqnMQNodeData* node, const iovec* parts, int count, std::size_t sent) {
  std::size_t total = 0;
  for (int i = 0; i < count; ++i) total += parts[i].iov_len;
  int result = 0;
  if (sent == total) {
    ++node->framesWritten;
    result = 1;
  } else if (sent > 0 || osIsWouldBlock(node->socket.lastError)) {
    // The rest waits in the queue, copied: the caller may change the
    // message once this returns.
    Buffer* frame = JoinParts(parts, count);
    if (frame == nullptr) {
      // Part of the frame is on the wire and the rest cannot be kept: the
      // stream is out of step, as after a failed send.
      node->lastError = MN_ERR_NO_ROOM;
    } else {
      frame->Sent = static_cast<MQLONG>(sent);
      result = QueueUnsent(node, frame);
    }
  } else {
    node->lastError = node->socket.lastError;
  }
  NodeTrace(node, "mnWriteToNode");
  return result;
}

int WritePartsToNode(mqnMQNodeData* node, const iovec* parts, int count, SocketAddress* to,
                     int high) {
  node->lastError = 0;
  if (node->socket.type == 2 || node->pending != nullptr) {
    // A datagram leaves in one piece; a stream frame waits behind the
    // frames already queued.
    Buffer* frame = JoinParts(parts, count);
    if (frame == nullptr) {
      node->lastError = MN_ERR_NO_ROOM;
      return 0;
    }
    return WriteToNode(node, frame, to, high);
  }
  if (!WithinPendingLimit(node)) return 0;
  return FinishPartsWrite(node, parts, count, WriteSocketParts(&node->socket, parts, count, 0));
}

int WriteToNode(mqnMQNodeData* node, Buffer* frame, SocketAddress* to, int high) {
  node->lastError = 0;
  if (!WithinPendingLimit(node)) {
    FreeFrame(frame);
    return 0;
  }
  frame->Sent = 0;
  frame->Flags = 0;
  int result = 0;
  const bool datagram = node->socket.type == 2;
  if (!datagram && node->pending != nullptr) {
    // Behind the frames already waiting, so frames leave in write order.
    int queued = high ? QPutHigh(node->pending, frame) : QPut(node->pending, frame);
    if (queued) {
      ++node->pendingCount;
      result = 1;
    } else {
      FreeFrame(frame);
      node->lastError = MN_ERR_NO_ROOM;
    }
  } else if (WriteSocket(&node->socket, frame, to) && frame->Sent == frame->Size) {
    FreeFrame(frame);
    ++node->framesWritten;
    result = 1;
  } else if (datagram) {
    // Never queued: the queue keeps no destination, so a datagram sent later
    // could reach the wrong peer. A full socket buffer shows as 10035.
    node->lastError = node->socket.lastError != 0 ? node->socket.lastError : OS_WSAEMSGSIZE;
    FreeFrame(frame);
  } else if (frame->Sent > 0 || osIsWouldBlock(node->socket.lastError)) {
    result = QueueUnsent(node, frame);
  } else {
    node->lastError = node->socket.lastError;
    FreeFrame(frame);
  }
  NodeTrace(node, "mnWriteToNode");
  return result;
}

}  // namespace netcore

using netcore::CopyField;
using netcore::NodeTrace;

extern "C" {

mqnMQNodeData* CreateMQNode(SocketAddress* address, int mode) {
  return netcore::CreateTcpNode(address, mode, nullptr, false, "CreateMQNode");
}

mqnMQNodeData* CreateMQNodeWithOpt(SocketAddress* address, int mode, SocketOption* option) {
  return netcore::CreateTcpNode(address, mode, option, true, "CreateUDPMQNodeWithOpt");
}

mqnMQNodeData* CreateUDPMQNode(SocketAddress* address) {
  return CreateUDPMQNodeWithOpt(address, nullptr);
}

mqnMQNodeData* CreateUDPMQNodeWithOpt(SocketAddress* address, SocketOption* option) {
  mqnMQNodeData* node = netcore::AllocateNode(MQNODE_MODE_CLIENT);
  if (node == nullptr) return nullptr;
  CopyField(node->host, sizeof node->host, address->host);
  CreateUDPSocket(&node->socket);
  node->socket.owner = node;
  node->side = MQNODE_SIDE_DATAGRAM;
  node->receive.Size = node->receive.Capacity;
  if (node->socket.handle >= 0 && option != nullptr) SetSocketOptions(&node->socket, option);
  node->address = *address;
  if (node->socket.handle >= 0) node->open = BindSocketName(&node->socket, &node->address);
  node->lastError = node->socket.lastError;
  NodeTrace(node, "CreateUDPMQNodeWithOpt");
  return node;
}

mqnMQNodeData* CreateAndBindMQNode(SocketData* socket, int mode) {
  mqnMQNodeData* node = netcore::AllocateNode(mode);
  if (node == nullptr) return nullptr;
  CopyField(node->host, sizeof node->host, "@");
  node->socket = *socket;
  node->socket.owner = node;
  node->side = netcore::SideFor(mode, node->socket.type);
  if (node->socket.type == 2) node->receive.Size = node->receive.Capacity;
  node->lastError = node->socket.lastError;
  NodeTrace(node, "CreateAndBindMQNode");
  return node;
}

int DeleteMQNode(mqnMQNodeData* node) {
  if (node == nullptr) return 0;
  NodeTrace(node, "DeleteMQNode");
  mnClose(node);
  FreeMemory(node);
  return 1;
}

int mnOpen(mqnMQNodeData* node) {
  node->lastError = 0;
  if (node->open) return node->open;
  int result = 0;
  if (node->mode != MQNODE_MODE_SERVER) {
    result = ConnectSocket(&node->socket, &node->address);
    node->open = result;
    node->lastError = node->socket.lastError;
  } else {
    void* p = nullptr;
    if (fNewMemory(&p, sizeof(mqnMQNodeData), "MQNode") == 0) {
      node->lastError = MN_ERR_NO_ROOM;
    } else {
      auto* client = static_cast<mqnMQNodeData*>(p);
      *client = *node;
      if (AcceptClient(&node->socket, &client->socket) == 0) {
        node->lastError = node->socket.lastError;
        FreeMemory(client);
      } else if (CreateBuffer(&client->receive, MQNODE_RECEIVE_CAPACITY) == 0) {
        DeleteSocket(&client->socket);
        FreeMemory(client);
        node->lastError = MN_ERR_NO_ROOM;
      } else {
        // The new node has its own receive buffer and no queue; the server
        // node keeps its own.
        client->receive.Size = 136;
        client->socket.owner = client;
        client->mode = MQNODE_MODE_CLIENT;
        client->open = 1;
        client->accepted = nullptr;
        client->pending = nullptr;
        client->pendingCount = 0;
        client->framesRead = 0;
        client->framesWritten = 0;
        client->lastError = 0;
        node->accepted = client;
        node->lastError = 0;
        result = 1;
      }
    }
  }
  NodeTrace(node, "mnOpen");
  return result;
}

int mnClose(mqnMQNodeData* node) {
  NodeTrace(node, "mnClose");
  mnClearPeningIO(node);
  if (node->socket.handle >= 0 && node->socket.type == 1 && node->mode != MQNODE_MODE_SERVER) {
    // Graceful close: our FIN goes after everything already sent. Input
    // still unread at close() would make the kernel answer with a reset,
    // which can destroy our last reply in the peer's receive buffer, so
    // what is already here is read away first (without waiting for more).
    ::shutdown(node->socket.handle, SHUT_WR);
    unsigned char sink[4096];
    for (int i = 0; i < 64; ++i) {
      if (::recv(node->socket.handle, sink, sizeof sink, MSG_DONTWAIT) <= 0) break;
    }
  }
  DeleteSocket(&node->socket);
  if (node->receive.Data != nullptr) DeleteBuffer(&node->receive);
  node->open = 0;
  node->lastError = node->socket.lastError;
  return 1;
}

int mnPost(mqnMQNodeData** nodes, mqnMQNodeData** accept_ready, mqnMQNodeData** read_ready,
           int seconds, int* error) try {
  std::vector<SocketData*> list;
  for (mqnMQNodeData** p = nodes; p != nullptr && *p != nullptr; ++p) list.push_back(&(*p)->socket);
  std::vector<SocketData*> read(list.size() + 1, nullptr);
  list.push_back(nullptr);
  WaitTime wait{0, seconds};
  if (PostSocket(list.data(), read.data(), nullptr, &wait, error) == 0) return 0;
  std::size_t n_accept = 0, n_read = 0;
  for (SocketData** s = read.data(); *s != nullptr; ++s) {
    auto* node = static_cast<mqnMQNodeData*>((*s)->owner);
    if (node == nullptr || &node->socket != *s) continue;
    if (node->mode == MQNODE_MODE_SERVER) {
      accept_ready[n_accept++] = node;
    } else {
      read_ready[n_read++] = node;
    }
    NodeTrace(node, "mnPost::Ready");
  }
  accept_ready[n_accept] = nullptr;
  read_ready[n_read] = nullptr;
  return 1;
} catch (const std::bad_alloc&) {
  // No memory for the wait's tables: a failed wait, not an exception
  // through the C interface.
  if (error != nullptr) *error = OS_WSAENOBUFS;
  return 0;
}

int mnNPost(mqnMQNodeData** nodes, mqnMQNodeData** accept_ready, mqnMQNodeData** read_ready,
            mqnMQNodeData** write_ready, int seconds, int* error) try {
  std::vector<SocketData*> list;
  std::vector<SocketData*> pending;
  for (mqnMQNodeData** p = nodes; p != nullptr && *p != nullptr; ++p) {
    list.push_back(&(*p)->socket);
    if ((*p)->pending != nullptr) pending.push_back(&(*p)->socket);
  }
  const std::size_t room = list.size() + 1;
  std::vector<SocketData*> read(room, nullptr), exception(room, nullptr);
  std::vector<SocketData*> write(room + pending.size(), nullptr);
  for (std::size_t i = 0; i < pending.size(); ++i) write[i] = pending[i];
  list.push_back(nullptr);
  WaitTime wait{0, seconds};
  if (NPostSocket(list.data(), read.data(), write.data(), exception.data(), &wait, error) == 0) {
    return 0;
  }
  auto owner_of = [](SocketData* s) -> mqnMQNodeData* {
    auto* node = static_cast<mqnMQNodeData*>(s->owner);
    return (node != nullptr && &node->socket == s) ? node : nullptr;
  };
  std::size_t n_accept = 0, n_read = 0, n_write = 0;
  auto to_input_lists = [&](SocketData** ready, const char* trace) {
    for (SocketData** s = ready; *s != nullptr; ++s) {
      mqnMQNodeData* node = owner_of(*s);
      if (node == nullptr) continue;
      if (node->mode == MQNODE_MODE_SERVER) {
        accept_ready[n_accept++] = node;
      } else {
        read_ready[n_read++] = node;
      }
      if (node->socket.lastError != 0 && node->socket.connected == 0) {
        node->lastError = node->socket.lastError;  // a failed connect
      }
      NodeTrace(node, trace);
    }
  };
  to_input_lists(read.data(), "mnNPost::Ready");
  to_input_lists(exception.data(), "mnNPost::Exception");
  for (SocketData** s = write.data(); *s != nullptr; ++s) {
    mqnMQNodeData* node = owner_of(*s);
    if (node == nullptr) continue;
    write_ready[n_write++] = node;
    node->open = 1;
    NodeTrace(node, "mnNPost::Write");
  }
  accept_ready[n_accept] = nullptr;
  read_ready[n_read] = nullptr;
  write_ready[n_write] = nullptr;
  return 1;
} catch (const std::bad_alloc&) {
  if (error != nullptr) *error = OS_WSAENOBUFS;
  return 0;
}

int mnIsPendingIO(mqnMQNodeData* node) { return node->pending != nullptr ? 1 : 0; }

int mnFinishWrite(mqnMQNodeData* node) {
  node->lastError = 0;
  if (node->pending == nullptr) return 1;
  while (node->pending->first != nullptr) {
    // The first frame stays at the head of the queue until it is sent
    // completely, so a partial send needs no re-queueing (and no allocation).
    Buffer* frame = node->pending->first->item;
    if (WriteSocket(&node->socket, frame, nullptr) && frame->Sent == frame->Size) {
      QGet(node->pending);
      netcore::FreeFrame(frame);
      ++node->framesWritten;
      if (node->pendingCount > 0) --node->pendingCount;
      continue;
    }
    if (node->socket.lastError == 0 || osIsWouldBlock(node->socket.lastError)) {
      node->lastError = node->socket.lastError == 0 ? 0 : MN_ERR_WOULD_BLOCK;
      return 1;
    }
    QGet(node->pending);
    netcore::FreeFrame(frame);
    if (node->pendingCount > 0) --node->pendingCount;
    node->lastError = MN_ERR_QUEUED_WRITE;
    return 0;
  }
  QFree(node->pending);
  node->pending = nullptr;
  node->pendingCount = 0;
  NodeTrace(node, "mnFinishWrite");
  return 1;
}

int mnClearPeningIO(mqnMQNodeData* node) {
  NodeTrace(node, "mnClearPeningIO");
  if (node->pending == nullptr) return 0;
  while (Buffer* frame = QGet(node->pending)) netcore::FreeFrame(frame);
  QFree(node->pending);
  node->pending = nullptr;
  node->pendingCount = 0;
  return 1;
}

int mnSetBufferSize(mqnMQNodeData* node, int bytes) {
  SocketOption send_size{7, bytes, 1};
  SocketOption receive_size{8, bytes, 1};
  int a = SetSocketOptions(&node->socket, &send_size);
  int b = SetSocketOptions(&node->socket, &receive_size);
  return (a && b) ? 1 : 0;
}

int mnSetTraceCallBack(mnTraceCallback callback, mqnMQNodeData* node) {
  node->trace = callback;
  return 1;
}

int mnGSetTraceCallBack(mnTraceCallback callback) {
  netcore::g_default_node_trace = callback;
  return 1;
}

}  // extern "C"
