// response.cpp: PCF records written in place, and the put of a response.
#include "response.h"

#include <cstring>

#include "mq_queue.h"
#include "server_context.h"

namespace msgops {
namespace {

// Appends one complete record held in `bytes` through a view Message.
bool AppendRecord(mqPcfMessage* response, std::vector<uint8_t>& bytes) {
  Message view{};
  view.State = 1;
  view.Payload = bytes.data();
  view.Capacity = view.UsedLength = static_cast<MQLONG>(bytes.size());
  return AppendAttr(response, &view) == 1;
}

void Store(std::vector<uint8_t>& bytes, size_t offset, MQLONG value) {
  std::memcpy(bytes.data() + offset, &value, 4);
}

bool AddStringRecord(mqPcfMessage* response, MQLONG type, MQLONG id, std::span<const uint8_t> data) {
  if (response == nullptr || data.size() > 4 * 1024 * 1024) return false;
  size_t padded = (data.size() + 3) & ~size_t{3};
  thread_local std::vector<uint8_t> record;
  record.assign(20 + padded, 0);
  Store(record, 0, type);
  Store(record, 4, static_cast<MQLONG>(record.size()));
  Store(record, 8, id);
  Store(record, 12, 0);
  Store(record, 16, static_cast<MQLONG>(data.size()));
  if (!data.empty()) std::memcpy(record.data() + 20, data.data(), data.size());
  return AppendRecord(response, record);
}

}  // namespace

bool AddInt(mqPcfMessage* response, MQLONG id, MQLONG value) {
  if (response == nullptr) return false;
  thread_local std::vector<uint8_t> record;
  record.assign(MQCFIN_STRUC_LENGTH, 0);
  Store(record, 0, MQCFT_INTEGER);
  Store(record, 4, MQCFIN_STRUC_LENGTH);
  Store(record, 8, id);
  Store(record, 12, value);
  return AppendRecord(response, record);
}

bool AddString(mqPcfMessage* response, MQLONG id, std::span<const uint8_t> chars) {
  return AddStringRecord(response, MQCFT_STRING, id, chars);
}

bool AddString(mqPcfMessage* response, MQLONG id, const std::string& text) {
  return AddString(response, id, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

bool AddBytes(mqPcfMessage* response, MQLONG id, std::span<const uint8_t> bytes) {
  return AddStringRecord(response, EXCFT_BYTES, id, bytes);
}

bool AddStringList(mqPcfMessage* response, MQLONG id, const std::vector<std::string>& items,
                   size_t item_length) {
  if (response == nullptr) return false;
  size_t body = items.size() * item_length;
  size_t padded = (body + 3) & ~size_t{3};
  std::vector<uint8_t> record(24 + padded, 0);
  Store(record, 0, MQCFT_STRING_LIST);
  Store(record, 4, static_cast<MQLONG>(record.size()));
  Store(record, 8, id);
  Store(record, 12, 0);
  Store(record, 16, static_cast<MQLONG>(items.size()));
  Store(record, 20, static_cast<MQLONG>(item_length));
  for (size_t i = 0; i < items.size(); ++i) {
    SetField(reinterpret_cast<char*>(record.data() + 24 + i * item_length), item_length, items[i]);
  }
  return AppendRecord(response, record);
}

bool AddIntList(mqPcfMessage* response, MQLONG id, const std::vector<MQLONG>& values) {
  if (response == nullptr) return false;
  std::vector<uint8_t> record(16 + 4 * values.size(), 0);
  Store(record, 0, MQCFT_INTEGER_LIST);
  Store(record, 4, static_cast<MQLONG>(record.size()));
  Store(record, 8, id);
  Store(record, 12, static_cast<MQLONG>(values.size()));
  for (size_t i = 0; i < values.size(); ++i) Store(record, 16 + 4 * i, values[i]);
  return AppendRecord(response, record);
}

bool AddField(mqPcfMessage* response, const FieldSpec& field, const void* structure) {
  const auto* at = static_cast<const uint8_t*>(structure) + field.offset;
  switch (field.kind) {
    case FieldKind::kInt: {
      MQLONG value;
      std::memcpy(&value, at, 4);
      return AddInt(response, field.id, value);
    }
    case FieldKind::kChars:
      return AddString(response, field.id, std::span<const uint8_t>(at, field.length));
    case FieldKind::kBytes:
      return AddBytes(response, field.id, std::span<const uint8_t>(at, field.length));
  }
  return false;
}

bool AddFields(mqPcfMessage* response, std::span<const FieldSpec> fields, const void* structure) {
  for (const FieldSpec& field : fields) {
    if (!AddField(response, field, structure)) return false;
  }
  return true;
}

bool SendResponse(ServerContext& context, MQLONG control, MQLONG sequence) {
  QmgrLink* link = context.link();
  mqPcfMessage* response = context.response();
  if (link == nullptr || response == nullptr || response->Cfh == nullptr) return false;
  response->Cfh->Control = control;
  response->Cfh->MsgSeqNumber = sequence;
  std::string reply_queue = link->reply_queue_name();
  if (reply_queue.find_first_not_of(' ') == std::string::npos) return true;
  MQMD& md = response->Body.Md;
  DefaultMd(&md);
  md.MsgType = MQMT_REPLY;
  std::memcpy(md.Format, MQFMT_ADMIN, 8);
  if (const mqPcfMessage* request = context.request(); request != nullptr && request->Body.Storage != nullptr) {
    const MessageHeader* header = MESSAGE_HEADER(&request->Body);
    std::memcpy(md.MsgId, header->MsgId, sizeof md.MsgId);
    std::memcpy(md.CorrelId, header->CorrelId, sizeof md.CorrelId);
  }
  Queue reply(link->hconn(), reply_queue, link->qmgr_name());
  bool ok = reply.Put(&response->Body, MQPMO_NO_SYNCPOINT | MQPMO_FAIL_IF_QUIESCING);
  link->set_last_reason(reply.reason());
  if (ok && control == MQCFC_LAST) context.final_sent = true;
  return ok;
}

}  // namespace msgops
