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
    : hconn_(hconn), name_(std::move(name)), qmgr_name_(std::move(qmgr_name)), resolved_name_(name_) {}

Queue::~Queue() { Close(); }

bool Queue::Open(MQLONG options, const std::string& alt_user) {
  MQOD od{};
  std::memcpy(od.StrucId, MQOD_STRUC_ID, 4);
  od.Version = MQOD_VERSION_1;
  od.ObjectType = MQOT_Q;
  SetField(od.ObjectName, sizeof od.ObjectName, name_);
  SetField(od.ObjectQMgrName, sizeof od.ObjectQMgrName, qmgr_name_);
  SetField(od.DynamicQName, sizeof od.DynamicQName, "AMQ.*");
  alt_user_ = alt_user.substr(0, 12);
  SetField(od.AlternateUserId, sizeof od.AlternateUserId, alt_user_);
  options |= MQOO_FAIL_IF_QUIESCING;
  if (!alt_user_.empty() && alt_user_[0] != ' ' && alt_user_[0] != '\0') options |= MQOO_ALTERNATE_USER_AUTHORITY;
  MQOPEN(hconn_, &od, options, &hobj_, &cc_, &reason_);
  if (cc_ != MQCC_OK) {
    hobj_ = MQHO_UNUSABLE_HOBJ;
    return false;
  }
  resolved_name_ = TrimName(od.ObjectName, sizeof od.ObjectName);
  return true;
}

void Queue::Close() {
  if (!is_open()) return;
  MQLONG cc = 0, rc = 0;
  MQCLOSE(hconn_, &hobj_, MQCO_NONE, &cc, &rc);
  hobj_ = MQHO_UNUSABLE_HOBJ;
}

bool Queue::Get(MqMessage* message, MQLONG options, MQLONG match_options, MQLONG wait_ms) {
  if (!message->ok()) {
    cc_ = MQCC_FAILED;
    reason_ = MQRC_RESOURCE_PROBLEM;
    return false;
  }
  MQGMO gmo{};
  std::memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
  gmo.Version = MQGMO_VERSION_2;
  gmo.Options = options;
  gmo.WaitInterval = wait_ms;
  gmo.MatchOptions = match_options;
  const MQMD wanted = message->md();
  for (int attempt = 0; attempt < 2; ++attempt) {
    MQLONG length = 0;
    auto room = static_cast<MQLONG>(message->capacity());
    MQGET(hconn_, hobj_, &message->md(), &gmo, room, message->data(), &length, &cc_, &reason_);
    if (reason_ == MQRC_TRUNCATED_MSG_FAILED && attempt == 0) {
      // The message stays where it was; ask for it again with room for all
      // of it and the same ids (the failed get wrote the message's own).
      message->md() = wanted;
      if (length <= 0 || !message->Reserve(static_cast<size_t>(length))) {
        reason_ = MQRC_RESOURCE_PROBLEM;
        cc_ = MQCC_FAILED;
        return false;
      }
      continue;
    }
    if (cc_ == MQCC_FAILED) {
      message->SetLength(0);
      return false;
    }
    message->SetLength(static_cast<size_t>(std::min(length, room)));
    return cc_ == MQCC_OK || reason_ == MQRC_SOURCE_CCSID_ERROR || reason_ == MQRC_NOT_CONVERTED;
  }
  return false;
}

bool Queue::Put(MqMessage* message, MQLONG options) {
  return Put(&message->md(), message->view(), options);
}

bool Queue::Put(MQMD* md, std::span<const uint8_t> data, MQLONG options) {
  MQPMO pmo{};
  std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
  pmo.Version = MQPMO_VERSION_1;
  pmo.Options = options;
  pmo.Timeout = -1;
  auto length = static_cast<MQLONG>(data.size());
  auto* buffer = const_cast<uint8_t*>(data.data());
  if (is_open()) {
    MQPUT(hconn_, hobj_, md, &pmo, length, buffer, &cc_, &reason_);
  } else {
    MQOD od{};
    std::memcpy(od.StrucId, MQOD_STRUC_ID, 4);
    od.Version = MQOD_VERSION_1;
    od.ObjectType = MQOT_Q;
    SetField(od.ObjectName, sizeof od.ObjectName, name_);
    SetField(od.ObjectQMgrName, sizeof od.ObjectQMgrName, qmgr_name_);
    SetField(od.AlternateUserId, sizeof od.AlternateUserId, alt_user_);
    if (!alt_user_.empty() && alt_user_[0] != ' ' && !(options & MQPMO_SET_IDENTITY_CONTEXT) &&
        !(options & MQPMO_SET_ALL_CONTEXT)) {
      pmo.Options |= MQPMO_SET_IDENTITY_CONTEXT | MQPMO_ALTERNATE_USER_AUTHORITY;
      SetField(md->UserIdentifier, sizeof md->UserIdentifier, alt_user_);
    }
    MQPUT1(hconn_, &od, md, &pmo, length, buffer, &cc_, &reason_);
  }
  return cc_ == MQCC_OK;
}

bool Queue::Stats(MQLONG* depth, MQLONG* max_depth) {
  if (!is_open()) return false;
  MQLONG selectors[2] = {MQIA_CURRENT_Q_DEPTH, MQIA_MAX_Q_DEPTH};
  MQLONG values[2] = {0, 0};
  MQINQ(hconn_, hobj_, 2, selectors, 2, values, 0, nullptr, &cc_, &reason_);
  if (cc_ != MQCC_OK) return false;
  *depth = values[0];
  *max_depth = values[1];
  return true;
}

bool Queue::IsOpenInput() {
  if (!is_open()) return false;
  MQLONG selector = MQIA_OPEN_INPUT_COUNT;
  MQLONG value = 0;
  MQINQ(hconn_, hobj_, 1, &selector, 1, &value, 0, nullptr, &cc_, &reason_);
  return cc_ == MQCC_OK && value > 0;
}

}  // namespace msgops
