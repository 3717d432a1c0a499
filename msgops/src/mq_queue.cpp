// mq_queue.cpp: Queue and MqMessage over the MQ client interface.
#include "mq_queue.h"

#include <cstring>

#include "request_params.h"

namespace msgops {

void SetField(char* field, size_t length, const std::string& text) {
  std::memset(field, ' ', length);
  std::memcpy(field, text.data(), std::min(length, text.size()));
}

void DefaultMd(MQMD* md) {
  SetDefaultMd(md);
  md->Version = MQMD_VERSION_2;
}

MqMessage::MqMessage(MQLONG capacity) {
  if (CreateMessage(&message_, capacity) == 1) DefaultMd(&message_.Md);
}

MqMessage::~MqMessage() {
  if (message_.Storage != nullptr) DeleteMessage(&message_);
}

bool MqMessage::Reserve(size_t bytes) {
  if (bytes <= capacity()) return true;
  if (bytes > static_cast<size_t>(INT32_MAX - MESSAGE_HEADER_LENGTH)) return false;
  if (message_.Storage == nullptr) return CreateMessage(&message_, static_cast<MQLONG>(bytes)) == 1;
  return SizeMessageKeep(&message_, static_cast<MQLONG>(bytes)) == 1;
}

void MqMessage::SetLength(size_t length) {
  message_.UsedLength = static_cast<MQLONG>(length + MESSAGE_HEADER_LENGTH);
}

Queue::Queue(MQHCONN hconn, std::string name, std::string qmgr_name)
    : queue_(CreateMQueue(hconn, name.c_str())), name_(std::move(name)) {
  if (queue_ != nullptr && !qmgr_name.empty()) {
    SetField(queue_->descriptor.ObjectQMgrName, sizeof queue_->descriptor.ObjectQMgrName, qmgr_name);
  }
}

Queue::~Queue() { DeleteMQueue(queue_); }

bool Queue::Open(MQLONG options, const std::string& alt_user) {
  if (queue_ == nullptr) return false;
  return qqOpen(options, queue_, alt_user.c_str()) == 1;
}

void Queue::Close() {
  if (queue_ != nullptr) qqClose(queue_);
}

bool Queue::Get(MqMessage* message, MQLONG options, MQLONG match_options, MQLONG wait_ms) {
  if (queue_ == nullptr || !message->ok()) return false;
  MQGMO gmo{};
  std::memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
  gmo.Version = MQGMO_VERSION_2;
  gmo.Options = options;
  gmo.WaitInterval = wait_ms;
  gmo.MatchOptions = match_options;
  if (qqRead(message->raw(), &gmo, queue_) == 1) return true;
  message->SetLength(0);
  return false;
}

bool Queue::Put(Message* message, MQLONG options) {
  if (queue_ == nullptr) return false;
  MQPMO pmo{};
  std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
  pmo.Version = MQPMO_VERSION_1;
  pmo.Options = options;
  pmo.Timeout = -1;
  return qqWrite(message, &pmo, queue_) == 1;
}

void Queue::SetAlternateUser(const std::string& user) {
  if (queue_ != nullptr) SetField(queue_->descriptor.AlternateUserId, sizeof queue_->descriptor.AlternateUserId, user);
}

bool Queue::Stats(MQLONG* depth, MQLONG* max_depth) {
  return is_open() && qqGetStats(queue_, depth, max_depth) == 1;
}

bool Queue::IsOpenInput() { return is_open() && qqIsOpenInput(queue_) == 1; }

}  // namespace msgops
