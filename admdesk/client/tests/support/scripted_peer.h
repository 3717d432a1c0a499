// scripted_peer.h: a group manager stand-in for the client tests. It
// listens on 127.0.0.1 (port chosen by the system), and a script run on its
// own thread accepts the console's connection and reads and writes netcore
// frames, so that time-outs, stray replies, in-progress replies and events
// can be staged on demand.
#ifndef ADMCLIENT_TESTS_SCRIPTED_PEER_H_
#define ADMCLIENT_TESTS_SCRIPTED_PEER_H_

#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "netcore/netcore.h"
#include "pcfcore/pcfcore.h"
#include "signcore/signcore.h"
#include "testsupport/testsupport.h"

namespace peertest {

struct PcfDeleter {
  void operator()(mqPcfMessage* m) const { DeletePcfMessage(m); }
};
using PcfPtr = std::unique_ptr<mqPcfMessage, PcfDeleter>;

using TempDir = harrow::testsupport::TempDir;

// Writes a 0600 signing key into dir and points HRLCOMPACT_SIGNING_KEY at it.
void UseSigningKey(const TempDir& dir);

// A reply to request: its command, type 2, the request's id bytes, and the
// given CompCode, Reason and Control.
PcfPtr MakeReply(const mqPcfMessage* request, MQLONG comp_code, MQLONG reason,
                 MQLONG control = MQCFC_LAST);
// An event message (type 7) of the given command and reason.
PcfPtr MakeEvent(MQLONG command, MQLONG reason);
// The string value of parameter id ("" when absent), right-trimmed.
std::string StringParam(const mqPcfMessage* message, MQLONG id);
// The integer value of parameter id, or fallback.
MQLONG IntParam(const mqPcfMessage* message, MQLONG id, MQLONG fallback = -1);

class ScriptedPeer {
 public:
  // secure: frames are signed both ways (needs a signing key).
  explicit ScriptedPeer(bool secure = false);
  ~ScriptedPeer();
  uint32_t port() const { return server_->address.port; }
  std::string port_text() const { return std::to_string(port()); }

  // Runs script on the peer thread; Join waits for it.
  void Run(std::function<void(ScriptedPeer&)> script);
  void Join();

  // ---- Verbs for scripts (peer thread) ----
  bool Accept(int timeout_ms = 5000);
  // The next frame from the console, or null after timeout_ms or a failure.
  PcfPtr Read(int timeout_ms = 5000);
  bool Send(mqPcfMessage* message);
  // Writes bytes as they are on the accepted connection.
  bool SendRaw(const std::vector<unsigned char>& bytes);
  // The plain frame of message: its 136-byte header (lengths stamped) and
  // its PCF body.
  static std::vector<unsigned char> PlainFrame(const mqPcfMessage* message);
  // Closes the accepted connection.
  void Close();
  // Blocks until the test calls Release() (or 10 s pass).
  void WaitForRelease();
  void Release();

  // Copies of the message bytes (header and body) of every frame read.
  const std::vector<std::vector<unsigned char>>& received() const { return received_; }

 private:
  bool secure_;
  mqcSignature credential_ = nullptr;
  mqnMQNodeData* server_ = nullptr;
  mqnMQNodeData* client_ = nullptr;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable release_signal_;
  bool released_ = false;  // guarded by mutex_
  std::vector<std::vector<unsigned char>> received_;
};

}  // namespace peertest

#endif  // ADMCLIENT_TESTS_SCRIPTED_PEER_H_
