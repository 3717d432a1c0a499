// The scripted group manager stand-in.

#include "support/scripted_peer.h"

#include <poll.h>
#include <sys/socket.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace peertest {

void UseSigningKey(const TempDir& dir) {
  std::string path = dir.path() + "/signing.key";
  std::ofstream(path) << "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff\n";
  chmod(path.c_str(), 0600);
  setenv("HRLCOMPACT_SIGNING_KEY", path.c_str(), 1);
}

PcfPtr MakeReply(const mqPcfMessage* request, MQLONG comp_code, MQLONG reason, MQLONG control) {
  PcfPtr reply(CreatePcfMessage(request->Cfh->Command, 2, 512));
  std::memcpy(reply->Body.Storage + 16, request->Body.Storage + 16, 48);
  reply->Cfh->CompCode = comp_code;
  reply->Cfh->Reason = reason;
  reply->Cfh->Control = control;
  return reply;
}

PcfPtr MakeEvent(MQLONG command, MQLONG reason) {
  PcfPtr event(CreatePcfMessage(command, 7, 256));
  event->Cfh->Reason = reason;
  return event;
}

std::string StringParam(const mqPcfMessage* message, MQLONG id) {
  Message holder;
  std::memset(&holder, 0, sizeof holder);
  CreateMessage(&holder, 512);
  char text[513] = {0};
  std::string value;
  if (GetAttrByID(id, &holder, message) == 1 && GetPcfStrAttrValue(&holder, text, 512) == 1) {
    value = text;
    value.erase(value.find_last_not_of(' ') + 1);
  }
  DeleteMessage(&holder);
  return value;
}

MQLONG IntParam(const mqPcfMessage* message, MQLONG id, MQLONG fallback) {
  Message holder;
  std::memset(&holder, 0, sizeof holder);
  CreateMessage(&holder, 512);
  MQLONG value = fallback;
  if (GetAttrByID(id, &holder, message) != 1 || GetPcfIntAttrValue(&holder, &value) != 1) {
    value = fallback;
  }
  DeleteMessage(&holder);
  return value;
}

ScriptedPeer::ScriptedPeer(bool secure) : secure_(secure) {
  if (secure_) mqc_get_signature(&credential_);
  SocketAddress address;
  std::memset(&address, 0, sizeof address);
  std::strcpy(address.host, "127.0.0.1");
  std::strcpy(address.service, "0");
  std::strcpy(address.protocol, "tcp");
  server_ = CreateMQNode(&address, MQNODE_MODE_SERVER);
}

ScriptedPeer::~ScriptedPeer() {
  Release();
  Join();
  if (client_ != nullptr) DeleteMQNode(client_);
  DeleteMQNode(server_);
  if (credential_ != nullptr) mqc_release_signature(&credential_);
}

void ScriptedPeer::Run(std::function<void(ScriptedPeer&)> script) {
  thread_ = std::thread([this, script] { script(*this); });
}

void ScriptedPeer::Join() {
  if (thread_.joinable()) thread_.join();
}

bool ScriptedPeer::Accept(int timeout_ms) {
  pollfd p{server_->socket.handle, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) != 1) return false;
  if (mnOpen(server_) != 1) return false;
  client_ = server_->accepted;
  server_->accepted = nullptr;
  return client_ != nullptr;
}

PcfPtr ScriptedPeer::Read(int timeout_ms) {
  if (client_ == nullptr) return nullptr;
  pollfd p{client_->socket.handle, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) != 1) return nullptr;
  PcfPtr message(CreatePcfMessage(0, 1, 512));
  if (mnSRead(message.get(), client_, secure_ ? 1 : 0, credential_) != 1) return nullptr;
  received_.emplace_back(message->Body.Storage, message->Body.Storage + message->Body.UsedLength);
  return message;
}

bool ScriptedPeer::Send(mqPcfMessage* message) {
  if (client_ == nullptr) return false;
  return mnSWrite(message, client_, secure_ ? 1 : 0, credential_) == 1;
}

void ScriptedPeer::Close() {
  if (client_ != nullptr) DeleteMQNode(client_);
  client_ = nullptr;
}

void ScriptedPeer::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  released_ = true;
  release_signal_.notify_all();
}

void ScriptedPeer::WaitForRelease() {
  std::unique_lock<std::mutex> lock(mutex_);
  release_signal_.wait_for(lock, std::chrono::seconds(10), [this] { return released_; });
}

bool ScriptedPeer::SendRaw(const std::vector<unsigned char>& bytes) {
  if (client_ == nullptr) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(client_->socket.handle, bytes.data() + done, bytes.size() - done,
                     MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::vector<unsigned char> ScriptedPeer::PlainFrame(const mqPcfMessage* message) {
  std::vector<unsigned char> bytes(message->Body.Storage,
                                   message->Body.Storage + message->Body.UsedLength);
  MessageHeader header;
  std::memcpy(&header, bytes.data(), sizeof header);
  header.StrucLength = MESSAGE_HEADER_LENGTH;
  header.BigEndian = 0;
  header.AsciiText = 1;
  header.lUserMsgLength = message->Body.UsedLength - MESSAGE_HEADER_LENGTH;
  std::memcpy(bytes.data(), &header, sizeof header);
  return bytes;
}

}  // namespace peertest
