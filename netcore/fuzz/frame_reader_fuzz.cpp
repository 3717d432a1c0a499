// Fuzz target for the frame reader: the bytes a peer may send.
//
// The first input byte selects the mode:
//   0  the rest goes to a plain reader (mnRead) as it is;
//   1  the rest goes to a signed reader (mnSRead) as it is (almost always
//      refused at the header or the signature);
//   2  the rest is a message header and body that this driver signs
//      properly first, so that conversion and indexing behind the signature
//      check get fuzzed too.
//   3, 4, 5  as 0, 1, 2, but the bytes arrive in small pieces on a
//      non-blocking socket and the reader is called after each piece, so
//      frames are assembled over many calls that end in would-block.
// The bytes arrive through a stream socket pair whose far end is then
// closed; the reader is called until it fails (end of stream at the latest).

#include <stdint.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "netcore/netcore.h"
#include "pcfcore/pcfcore.h"

namespace {

mqcSignature g_credential = nullptr;

void SetUpKey() {
  char templ[] = "/tmp/netcore_fuzz.XXXXXX";
  char* dir = mkdtemp(templ);
  if (dir == nullptr) return;
  std::string path = std::string(dir) + "/signing.key";
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return;
  std::fputs("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f\n", f);
  std::fclose(f);
  chmod(path.c_str(), 0600);
  setenv("HRLCOMPACT_SIGNING_KEY", path.c_str(), 1);
  mqc_get_signature(&g_credential);
  unlink(path.c_str());
  rmdir(dir);
}

std::vector<unsigned char> SignedFrame(const uint8_t* data, size_t size) {
  std::vector<unsigned char> storage(data, data + size);
  if (storage.size() < MESSAGE_HEADER_LENGTH) storage.resize(MESSAGE_HEADER_LENGTH, 0);
  mqPcfMessage msg{};
  msg.Body.Storage = storage.data();
  msg.Body.Payload = storage.data() + MESSAGE_HEADER_LENGTH;
  msg.Body.Capacity = static_cast<MQLONG>(storage.size());
  msg.Body.UsedLength = static_cast<MQLONG>(storage.size());
  msg.NodeHeader = NodeHeader{32, 1, 0, 1, static_cast<MQLONG>(storage.size()), {}};
  // The reader below is a client node: it takes frames of an accepting side.
  const mqcFrameSide side{MQC_SIDE_ACCEPTING, 0};
  Buffer frame{};
  if (mqc_sign_as(g_credential, &msg, &frame, &side) == 0) return {};
  std::vector<unsigned char> out(frame.Data, frame.Data + frame.Size);
  FreeMemory(frame.Data);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetUpKey();
  mnSetMaxMessageBytes(64 * 1024);
  return 0;
}

namespace {

// Reads one frame and, when one was delivered, walks its index. Returns
// false when the reader failed (lastError tells how).
bool ReadOne(int mode, mqPcfMessage* msg, mqnMQNodeData* node) {
  int ok = mode == 0 ? mnRead(msg, node) : mnSRead(msg, node, 1, g_credential);
  if (!ok) return false;
  // Whatever was delivered must be indexed and readable.
  Message record{};
  for (MQLONG i = 0; i <= msg->Cfh->ParameterCount && i < PCF_INDEX_SLOTS; ++i) {
    GetAttrByPos(i, &record, msg);
  }
  DeleteMessage(&record);
  return true;
}

bool SendAll(int fd, const unsigned char* p, size_t n) {
  while (n > 0) {
    ssize_t k = send(fd, p, n, MSG_NOSIGNAL);
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 60000) return 0;
  const int mode = data[0] % 3;
  const bool in_pieces = data[0] % 6 >= 3;
  const size_t piece = 1 + (data[0] / 6) % 48;
  std::vector<unsigned char> bytes;
  if (mode == 2) {
    bytes = SignedFrame(data + 1, size - 1);
  } else {
    bytes.assign(data + 1, data + size);
  }
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return 0;
  int big = 256 * 1024;
  setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &big, sizeof big);

  SocketData s;
  CreateSocketFromExisting(&s, fds[1]);
  mqnMQNodeData* node = CreateAndBindMQNode(&s, MQNODE_MODE_CLIENT);
  if (node == nullptr) {
    close(fds[0]);
    close(fds[1]);
    return 0;
  }
  node->open = 1;
  mqPcfMessage* msg = CreatePcfMessage(0, MQCFT_COMMAND, 16);
  auto stream_lost = [&] {
    return node->lastError == MN_ERR_PEER_CLOSED || node->lastError > 10000;
  };
  bool lost = false;
  if (in_pieces) {
    NoblockSocket(&node->socket);
    for (size_t done = 0; done < bytes.size() && !lost;) {
      size_t n = std::min(piece, bytes.size() - done);
      if (!SendAll(fds[0], bytes.data() + done, n)) break;
      done += n;
      // Everything sent so far is readable now (a socket pair delivers at
      // once): read until the reader wants more.
      for (int frames = 0; frames < 64; ++frames) {
        if (ReadOne(mode, msg, node)) continue;
        if (node->lastError == MN_ERR_WOULD_BLOCK) break;
        if (stream_lost()) lost = true;
        break;
      }
    }
  } else {
    SendAll(fds[0], bytes.data(), bytes.size());
  }
  close(fds[0]);
  for (int frames = 0; frames < 64 && !lost; ++frames) {
    if (!ReadOne(mode, msg, node) &&
        (stream_lost() || node->lastError == MN_ERR_WOULD_BLOCK)) {
      break;
    }
  }
  DeletePcfMessage(msg);
  DeleteMQNode(node);
  return 0;
}
