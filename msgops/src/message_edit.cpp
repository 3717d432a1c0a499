// message_edit.cpp: stripping, modifying, inserting and replacing.
//
// Map: field values; header defaults; byte insertion and removal; the
// request's edits; strip; modify (with chaining); data replacement.
#include "message_edit.h"

#include <cstring>

#include <msgops/protocol.h>

#include "header_chain.h"
#include "request_params.h"

namespace msgops {

// ---- Field values -------------------------------------------------------------

std::vector<FieldValue> ReadFieldValues(RequestParams& params, std::span<const FieldSpec> fields) {
  std::vector<FieldValue> values;
  for (const FieldSpec& field : fields) {
    FieldValue v{&field, 0, {}};
    if (field.kind == FieldKind::kInt) {
      auto number = params.Int(field.id);
      if (!number) continue;
      v.number = *number;
    } else {
      auto bytes = params.Bytes(field.id);
      if (!bytes) continue;
      v.image.assign(field.length, field.kind == FieldKind::kChars ? ' ' : '\0');
      std::memcpy(v.image.data(), bytes->bytes.data(), std::min(field.length, bytes->bytes.size()));
    }
    values.push_back(std::move(v));
  }
  return values;
}

void WriteFieldValues(const std::vector<FieldValue>& values, void* structure) {
  auto* base = static_cast<uint8_t*>(structure);
  for (const FieldValue& v : values) {
    if (v.field->kind == FieldKind::kInt) {
      std::memcpy(base + v.field->offset, &v.number, 4);
    } else {
      std::memcpy(base + v.field->offset, v.image.data(), v.field->length);
    }
  }
}

// ---- Header defaults -------------------------------------------------------------

void DefaultMdFields(MQMD* md) {
  std::memset(md, 0, sizeof *md);
  std::memcpy(md->StrucId, MQMD_STRUC_ID, 4);
  md->Version = MQMD_VERSION_1;
  md->MsgType = MQMT_DATAGRAM;
  md->Expiry = MQEI_UNLIMITED;
  md->Encoding = MQENC_NATIVE;
  std::memcpy(md->Format, MQFMT_NONE, 8);
  md->Priority = MQPRI_PRIORITY_AS_Q_DEF;
  md->Persistence = MQPER_PERSISTENCE_AS_Q_DEF;
  md->MsgSeqNumber = 1;
  md->OriginalLength = MQOL_UNDEFINED;
  std::memset(md->ReplyToQ, ' ', sizeof md->ReplyToQ);
  std::memset(md->ReplyToQMgr, ' ', sizeof md->ReplyToQMgr);
  std::memset(md->UserIdentifier, ' ', sizeof md->UserIdentifier);
  std::memset(md->ApplIdentityData, ' ', sizeof md->ApplIdentityData);
  std::memset(md->PutApplName, ' ', sizeof md->PutApplName);
  std::memset(md->PutDate, ' ', sizeof md->PutDate);
  std::memset(md->PutTime, ' ', sizeof md->PutTime);
  std::memset(md->ApplOriginData, ' ', sizeof md->ApplOriginData);
}

MQMDE DefaultMde() {
  MQMDE mde{};
  std::memcpy(mde.StrucId, MQMDE_STRUC_ID, 4);
  mde.Version = MQMDE_VERSION_2;
  mde.StrucLength = MQMDE_LENGTH_2;
  mde.Encoding = MQENC_NATIVE;
  std::memcpy(mde.Format, MQFMT_NONE, 8);
  mde.MsgSeqNumber = 1;
  mde.OriginalLength = MQOL_UNDEFINED;
  return mde;
}

MQXQH DefaultXqh() {
  MQXQH xqh{};
  std::memcpy(xqh.StrucId, MQXQH_STRUC_ID, 4);
  xqh.Version = MQXQH_VERSION_1;
  std::memset(xqh.RemoteQName, ' ', sizeof xqh.RemoteQName);
  std::memset(xqh.RemoteQMgrName, ' ', sizeof xqh.RemoteQMgrName);
  MQMD md;
  DefaultMdFields(&md);
  std::memcpy(&xqh.MsgDesc, &md, sizeof xqh.MsgDesc);
  return xqh;
}

MQDLH DefaultDlh() {
  MQDLH dlh{};
  std::memcpy(dlh.StrucId, MQDLH_STRUC_ID, 4);
  dlh.Version = MQDLH_VERSION_1;
  std::memset(dlh.DestQName, ' ', sizeof dlh.DestQName);
  std::memset(dlh.DestQMgrName, ' ', sizeof dlh.DestQMgrName);
  std::memcpy(dlh.Format, MQFMT_NONE, 8);
  std::memset(dlh.PutApplName, ' ', sizeof dlh.PutApplName);
  std::memset(dlh.PutDate, ' ', sizeof dlh.PutDate);
  std::memset(dlh.PutTime, ' ', sizeof dlh.PutTime);
  return dlh;
}

// ---- Bytes -------------------------------------------------------------------------

bool InsertBytes(MqMessage* message, size_t at, const void* bytes, size_t length) {
  size_t old_length = message->length();
  if (at > old_length || static_cast<int64_t>(old_length + length) > kMaxMessageBytes) return false;
  if (!message->Reserve(old_length + length)) return false;
  uint8_t* data = message->data();
  std::memmove(data + at + length, data + at, old_length - at);
  std::memcpy(data + at, bytes, length);
  message->SetLength(old_length + length);
  return true;
}

void RemoveBytes(MqMessage* message, size_t at, size_t length) {
  size_t old_length = message->length();
  if (at >= old_length) return;
  length = std::min(length, old_length - at);
  uint8_t* data = message->data();
  std::memmove(data + at, data + at + length, old_length - at - length);
  message->SetLength(old_length - length);
}

// ---- The request's edits -------------------------------------------------------------

MessageEdit MessageEdit::FromRequest(RequestParams& params, bool is_move) {
  MessageEdit edit;
  edit.is_move_ = is_move;
  edit.strip_ = params.IntOr(MG_STRIP_HEADERS, 0);
  edit.modify_ = params.IntOr(MG_HEADER_FLAGS, 0);
  if (edit.modify_ & MG_HDR_MD) {
    edit.md_ = ReadFieldValues(params, MdModifyFields());
    edit.md_v2_ = ReadFieldValues(params, MdV2ModifyFields());
  }
  if (edit.modify_ & MG_HDR_MDE) edit.mde_ = ReadFieldValues(params, MdeModifyFields());
  if (edit.modify_ & MG_HDR_XQH) edit.xqh_ = ReadFieldValues(params, XqhModifyFields());
  if (edit.modify_ & MG_HDR_DLH) edit.dlh_ = ReadFieldValues(params, DlhModifyFields());
  edit.offset_ = params.IntOr(MG_DATA_OFFSET, 0);
  edit.new_length_ = params.Int(MG_NEW_DATA_LENGTH);
  auto replacement = params.Bytes(MG_REPLACE_BYTES);
  if (!replacement) replacement = params.Bytes(MG_REPLACE_DATA);
  if (replacement) {
    edit.replacement_ = std::move(replacement->bytes);
    edit.replacement_is_string_ = replacement->is_string;
  }
  return edit;
}

// ---- Strip ----------------------------------------------------------------------------

void MessageEdit::Strip(MqMessage* message) const {
  MQMD& md = message->md();
  if (strip_ & MG_HDR_MDE) {
    if (auto mde = ReadMde(message->view(), 0)) {
      md.Encoding = mde->Encoding;
      md.CodedCharSetId = mde->CodedCharSetId;
      std::memcpy(md.Format, mde->Format, 8);
      RemoveBytes(message, 0, MQMDE_LENGTH_2);
    }
  }
  if (strip_ & MG_HDR_XQH) {
    if (auto xqh = ReadXqh(message->view(), 0)) {
      std::memcpy(&md, &xqh->MsgDesc, sizeof xqh->MsgDesc);
      RemoveBytes(message, 0, MQXQH_LENGTH_1);
    }
  }
  if (strip_ & MG_HDR_DLH) {
    if (auto dlh = ReadDlh(message->view(), 0)) {
      md.Encoding = dlh->Encoding;
      md.CodedCharSetId = dlh->CodedCharSetId;
      std::memcpy(md.Format, dlh->Format, 8);
      RemoveBytes(message, 0, MQDLH_LENGTH_1);
    }
  }
}

// ---- Modify -----------------------------------------------------------------------------

namespace {

// Where the Format that names the next header lives: the MQMD, or an
// offset in the data.
struct FormatSlot {
  bool in_md = true;
  size_t offset = 0;
};

void ReadFormat(MqMessage* message, const FormatSlot& slot, char* out) {
  if (slot.in_md) {
    std::memcpy(out, message->md().Format, 8);
  } else {
    std::memcpy(out, message->data() + slot.offset, 8);
  }
}

void WriteFormat(MqMessage* message, const FormatSlot& slot, const char* format) {
  if (slot.in_md) {
    std::memcpy(message->md().Format, format, 8);
  } else {
    std::memcpy(message->data() + slot.offset, format, 8);
  }
}

// Modifies the header T at `at`, or inserts a default one chained behind
// `slot`. False when the insertion does not fit.
template <class T>
bool ModifyOrInsert(MqMessage* message, size_t at, std::optional<T> existing, T& fresh, char* fresh_format,
                    const char* header_format, FormatSlot* slot, const std::vector<FieldValue>& values) {
  if (existing) {
    T header = *existing;
    WriteFieldValues(values, &header);
    std::memcpy(message->data() + at, &header, sizeof header);
    return true;
  }
  // The new header carries on the Format that was there; the structure
  // before it now names the new header.
  ReadFormat(message, *slot, fresh_format);
  WriteFieldValues(values, &fresh);
  if (!InsertBytes(message, at, &fresh, sizeof fresh)) return false;
  WriteFormat(message, *slot, header_format);
  return true;
}

}  // namespace

MQLONG MessageEdit::Modify(MqMessage* message) const {
  MQMD& md = message->md();
  if (modify_ & MG_HDR_MD) {
    if (std::memcmp(md.StrucId, MQMD_STRUC_ID, 4) != 0) DefaultMdFields(&md);
    WriteFieldValues(md_, &md);
    if (md.Version >= MQMD_VERSION_2) WriteFieldValues(md_v2_, &md);
  }
  size_t at = 0;
  FormatSlot slot;
  if (modify_ & MG_HDR_MDE) {
    MQMDE fresh = DefaultMde();
    if (!ModifyOrInsert(message, at, ReadMde(message->view(), at), fresh, fresh.Format, MQFMT_MD_EXTENSION, &slot, mde_)) {
      return MQRC_MSG_TOO_BIG_FOR_Q_MGR;
    }
    slot = {false, at + offsetof(MQMDE, Format)};
    at += MQMDE_LENGTH_2;
  }
  if (modify_ & MG_HDR_XQH) {
    MQXQH fresh = DefaultXqh();
    if (!ModifyOrInsert(message, at, ReadXqh(message->view(), at), fresh, fresh.MsgDesc.Format,
                        MQFMT_XMIT_Q_HEADER, &slot, xqh_)) {
      return MQRC_MSG_TOO_BIG_FOR_Q_MGR;
    }
    slot = {false, at + offsetof(MQXQH, MsgDesc) + offsetof(MQMD1, Format)};
    at += MQXQH_LENGTH_1;
  }
  if (modify_ & MG_HDR_DLH) {
    MQDLH fresh = DefaultDlh();
    if (!ModifyOrInsert(message, at, ReadDlh(message->view(), at), fresh, fresh.Format, MQFMT_DEAD_LETTER_HEADER,
                        &slot, dlh_)) {
      return MQRC_MSG_TOO_BIG_FOR_Q_MGR;
    }
    at += MQDLH_LENGTH_1;
  }
  return ReplaceData(message, at);
}

MQLONG MessageEdit::Apply(MqMessage* message) const {
  // Work on a copy so that a refused edit leaves the message as got.
  MqMessage work(static_cast<MQLONG>(std::max<size_t>(message->length(), 1)));
  if (!work.ok()) return MQRC_RESOURCE_PROBLEM;
  work.md() = message->md();
  std::memcpy(work.data(), message->data(), message->length());
  work.SetLength(message->length());
  MQLONG reason = Modify(&work);
  if (reason != 0) return reason;
  if (!message->Reserve(work.length())) return MQRC_RESOURCE_PROBLEM;
  message->md() = work.md();
  std::memcpy(message->data(), work.data(), work.length());
  message->SetLength(work.length());
  return 0;
}

// ---- Data replacement ----------------------------------------------------------------------

MQLONG MessageEdit::ReplaceData(MqMessage* message, size_t headers) const {
  if (!new_length_ && !replacement_) return 0;
  int64_t total = static_cast<int64_t>(message->length());
  if (offset_ < 0 || static_cast<int64_t>(headers) + offset_ > total) return MQRC_DATA_LENGTH_ERROR;
  if (new_length_ && (*new_length_ < 0 || *new_length_ > kMaxMessageBytes)) return MQRC_DATA_LENGTH_ERROR;
  const int64_t start = static_cast<int64_t>(headers) + offset_;
  const int64_t after = total - start;  // L
  if (new_length_ && *new_length_ > after) {
    int64_t size = start + *new_length_;
    if (size > kMaxMessageBytes) return MQRC_MSG_TOO_BIG_FOR_Q_MGR;
    if (!message->Reserve(static_cast<size_t>(size))) return MQRC_RESOURCE_PROBLEM;
    std::memset(message->data() + total, 0, static_cast<size_t>(size - total));
    message->SetLength(static_cast<size_t>(size));
  }
  if (!replacement_) return 0;
  int64_t maximum = new_length_.value_or(after);
  int64_t n = replacement_is_string_ ? maximum : std::min<int64_t>(static_cast<int64_t>(replacement_->size()), maximum);
  int64_t end = start + n;
  if (end > kMaxMessageBytes) return MQRC_MSG_TOO_BIG_FOR_Q_MGR;
  if (!message->Reserve(static_cast<size_t>(std::max<int64_t>(end, static_cast<int64_t>(message->length()))))) {
    return MQRC_RESOURCE_PROBLEM;
  }
  size_t copied = static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(replacement_->size())));
  std::memcpy(message->data() + start, replacement_->data(), copied);
  std::memset(message->data() + start + copied, 0, static_cast<size_t>(n) - copied);
  if (is_move_ || end > static_cast<int64_t>(message->length())) message->SetLength(static_cast<size_t>(end));
  return 0;
}

}  // namespace msgops
