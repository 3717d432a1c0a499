// pcf_util.cpp: parameter helpers over mqPcfMessage.
#include "pcf_util.h"

#include <vector>

namespace grpserver {
namespace {

// A record copied out of a message, freed at scope end.
struct Record {
  Message m{};
  ~Record() {
    if (m.Storage != nullptr) DeleteMessage(&m);
  }
};

}  // namespace

std::optional<std::string> GetString(const mqPcfMessage* message, MQLONG id) {
  Record r;
  if (GetAttrByID(id, &r.m, message) != 1) return std::nullopt;
  const MQCFST* st = reinterpret_cast<const MQCFST*>(r.m.Payload);
  if (r.m.UsedLength < static_cast<MQLONG>(MQCFST_STRUC_LENGTH_FIXED) || st->Type != MQCFT_STRING) {
    return std::nullopt;
  }
  std::vector<char> text(static_cast<size_t>(st->StringLength > 0 ? st->StringLength : 0) + 1, '\0');
  if (GetPcfStrAttrValue(&r.m, text.data(), static_cast<MQLONG>(text.size() - 1)) != 1) return std::nullopt;
  return std::string(text.data());
}

std::optional<MQLONG> GetInt(const mqPcfMessage* message, MQLONG id) {
  Record r;
  if (GetAttrByID(id, &r.m, message) != 1) return std::nullopt;
  MQLONG value = 0;
  if (GetPcfIntAttrValue(&r.m, &value) != 1) return std::nullopt;
  return value;
}

bool HasParameter(const mqPcfMessage* message, MQLONG id) {
  Record r;
  return GetAttrByID(id, &r.m, message) == 1;
}

bool AddString(mqPcfMessage* message, MQLONG id, const std::string& text) {
  Record r;
  if (CreatePcfStrAttr(&r.m, id, text.c_str()) != 1) return false;
  return AppendAttr(message, &r.m) == 1;
}

bool AddInt(mqPcfMessage* message, MQLONG id, MQLONG value) {
  Record r;
  if (CreatePcfIntAttr(&r.m, id, value) != 1) return false;
  return AppendAttr(message, &r.m) == 1;
}

bool AddRecordFrom(mqPcfMessage* target, const mqPcfMessage* source, MQLONG position) {
  Record r;
  if (GetAttrByPos(position, &r.m, source) != 1) return false;
  return AppendAttr(target, &r.m) == 1;
}

bool CopyParameter(mqPcfMessage* target, const mqPcfMessage* source, MQLONG id) {
  Record r;
  if (GetAttrByID(id, &r.m, source) != 1) return false;
  return AppendAttr(target, &r.m) == 1;
}

bool CopyPcf(mqPcfMessage* target, const mqPcfMessage* source) {
  if (source->Cfh == nullptr) return false;
  const MQCFH cfh = *source->Cfh;
  if (ResetPcfMessage(target, cfh.Command, cfh.Type) != 1) return false;
  target->Cfh->CompCode = cfh.CompCode;
  target->Cfh->Reason = cfh.Reason;
  target->Cfh->Control = cfh.Control;
  target->Cfh->MsgSeqNumber = cfh.MsgSeqNumber;
  bool ok = true;
  for (MQLONG i = 1; i <= cfh.ParameterCount && ok; ++i) ok = AddRecordFrom(target, source, i);
  return Reindex(target) && ok;
}

void SetResult(mqPcfMessage* message, MQLONG comp_code, MQLONG reason) {
  message->Cfh->CompCode = comp_code;
  message->Cfh->Reason = reason;
}

}  // namespace grpserver
