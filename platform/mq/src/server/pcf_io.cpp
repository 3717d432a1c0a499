#include "pcf_io.h"

#include <cstring>

#include <pcfcore/pcf_message.h>
#include <pcfcore/pcf_records.h>

#include "common/install.h"

namespace mqsim::server {

namespace {

MQLONG Word(const unsigned char* p, int index) {
  MQLONG v;
  std::memcpy(&v, p + 4 * index, 4);
  return v;
}

std::string Trimmed(const unsigned char* p, MQLONG length) {
  std::string s(reinterpret_cast<const char*>(p), static_cast<size_t>(length));
  size_t nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

MQLONG DuplicateReason(MQLONG type) {
  return type == MQCFT_INTEGER || type == MQCFT_INTEGER_LIST ? MQRCCF_CFIN_DUPLICATE_PARM
                                                            : MQRCCF_CFST_DUPLICATE_PARM;
}

}  // namespace

const PcfParam* PcfCommand::Find(MQLONG id) const {
  for (const auto& p : params)
    if (p.id == id) return &p;
  return nullptr;
}

bool ParsePcfCommand(std::span<const uint8_t> body, PcfCommand* out, MQLONG* reason, MQLONG* parameter) {
  *parameter = 0;
  if (body.size() < MQCFH_STRUC_LENGTH) {
    *reason = MQRCCF_CFH_LENGTH_ERROR;
    return false;
  }
  const unsigned char* cfh = body.data();
  out->type = Word(cfh, 0);
  out->command = Word(cfh, 3);
  out->msg_seq_number = Word(cfh, 4);
  out->control = Word(cfh, 5);
  MQLONG count = Word(cfh, 8);
  if (out->type != MQCFT_COMMAND) {
    *reason = MQRCCF_CFH_TYPE_ERROR;
    return false;
  }
  if (Word(cfh, 1) != MQCFH_STRUC_LENGTH) {
    *reason = MQRCCF_CFH_LENGTH_ERROR;
    return false;
  }
  if (Word(cfh, 2) < MQCFH_VERSION_1 || Word(cfh, 2) > 3) {
    *reason = MQRCCF_CFH_VERSION_ERROR;
    return false;
  }
  if (out->msg_seq_number != 1) {
    *reason = MQRCCF_CFH_MSG_SEQ_NUMBER_ERR;
    return false;
  }
  if (out->control != MQCFC_LAST) {
    *reason = MQRCCF_CFH_CONTROL_ERROR;
    return false;
  }
  if (count < 0) {
    *reason = MQRCCF_CFH_PARM_COUNT_ERROR;
    return false;
  }
  if (count > PCF_MAX_PARAMETERS) {
    *reason = MQRCCF_PARM_COUNT_TOO_BIG;
    return false;
  }
  if (body.size() > static_cast<size_t>(INT32_MAX - MESSAGE_HEADER_LENGTH)) {
    *reason = MQRCCF_CFH_LENGTH_ERROR;
    return false;
  }
  mqPcfMessage* m = CreatePcfMessage(0, MQCFT_COMMAND, static_cast<MQLONG>(body.size()));
  if (m == nullptr) {
    *reason = MQRCCF_COMMAND_FAILED;
    return false;
  }
  std::memcpy(m->Body.Payload, body.data(), body.size());
  m->Body.UsedLength = MESSAGE_HEADER_LENGTH + static_cast<MQLONG>(body.size());
  bool ok = RawToPcf(m) == 1;
  if (!ok) {
    // The indexer refuses the whole body; find the record at fault for the
    // reply.
    *reason = MQRCCF_STRUCTURE_TYPE_ERROR;
    DeletePcfMessage(m);
    return false;
  }
  if (static_cast<size_t>(PCF_BODY_LENGTH(m)) != body.size()) {
    *reason = MQRCCF_CFH_PARM_COUNT_ERROR;
    DeletePcfMessage(m);
    return false;
  }
  out->params.clear();
  for (MQLONG i = 1; i <= count; ++i) {
    const unsigned char* r = m->Index[i].Payload;
    PcfParam p;
    p.type = Word(r, 0);
    p.id = Word(r, 2);
    switch (p.type) {
      case MQCFT_INTEGER:
        p.int_value = Word(r, 3);
        break;
      case MQCFT_STRING:
        p.str_value = Trimmed(r + 20, Word(r, 4));
        break;
      case MQCFT_INTEGER_LIST: {
        MQLONG n = Word(r, 3);
        for (MQLONG k = 0; k < n; ++k) p.int_list.push_back(Word(r, 4 + k));
        break;
      }
      case MQCFT_STRING_LIST: {
        MQLONG n = Word(r, 4), len = Word(r, 5);
        for (MQLONG k = 0; k < n; ++k) p.str_list.push_back(Trimmed(r + 24 + k * len, len));
        break;
      }
      default:
        *reason = MQRCCF_STRUCTURE_TYPE_ERROR;
        *parameter = p.id;
        DeletePcfMessage(m);
        return false;
    }
    if (out->Find(p.id) != nullptr) {
      *reason = DuplicateReason(p.type);
      *parameter = p.id;
      DeletePcfMessage(m);
      return false;
    }
    out->params.push_back(std::move(p));
  }
  DeletePcfMessage(m);
  return true;
}

std::string Padded(const std::string& text, size_t width) {
  std::string s = text.substr(0, width);
  s.resize(width, ' ');
  return s;
}

PcfBuilder::PcfBuilder(MQLONG command, MQLONG type) {
  message_ = CreatePcfMessage(command, type, 1024);
  ok_ = message_ != nullptr;
}

PcfBuilder::~PcfBuilder() {
  if (message_ != nullptr) DeletePcfMessage(message_);
}

void PcfBuilder::Int(MQLONG id, MQLONG value) {
  if (!ok_) return;
  Message r{};
  ok_ = CreatePcfIntAttr(&r, id, value) && AppendAttr(message_, &r);
  DeleteMessage(&r);
}

void PcfBuilder::Str(MQLONG id, const std::string& text, int width) {
  if (!ok_) return;
  std::string v = width > 0 ? Padded(text, static_cast<size_t>(width)) : text;
  Message r{};
  ok_ = CreatePcfNZStrAttr(&r, id, v.data(), static_cast<MQLONG>(v.size())) && AppendAttr(message_, &r);
  DeleteMessage(&r);
}

void PcfBuilder::IntList(MQLONG id, const std::vector<MQLONG>& values) {
  if (!ok_) return;
  Message r{};
  ok_ = CreatePcfIntListAttr(&r, id, static_cast<MQLONG>(values.size()));
  for (size_t i = 0; ok_ && i < values.size(); ++i)
    ok_ = SetPcfIntListAttrValue(&r, static_cast<MQLONG>(i), values[i]);
  ok_ = ok_ && AppendAttr(message_, &r);
  DeleteMessage(&r);
}

void PcfBuilder::StrList(MQLONG id, const std::vector<std::string>& items, int width) {
  if (!ok_) return;
  Message r{};
  ok_ = CreatePcfStrListAttr(&r, id, static_cast<MQLONG>(items.size()), width);
  if (ok_) {
    // Items laid in place: one pass, blank-padded, whatever their number.
    unsigned char* data = r.Payload + 24;
    for (size_t i = 0; i < items.size(); ++i) {
      std::string v = Padded(items[i], static_cast<size_t>(width));
      std::memcpy(data + i * static_cast<size_t>(width), v.data(), v.size());
    }
  }
  ok_ = ok_ && AppendAttr(message_, &r);
  DeleteMessage(&r);
}

std::string PcfBuilder::Finish(MQLONG msg_seq_number, MQLONG control, MQLONG comp_code, MQLONG reason) {
  if (message_ == nullptr) return std::string();
  MQCFH cfh;
  std::memcpy(&cfh, message_->Body.Payload, sizeof cfh);
  cfh.MsgSeqNumber = msg_seq_number;
  cfh.Control = control;
  cfh.CompCode = comp_code;
  cfh.Reason = reason;
  std::memcpy(message_->Body.Payload, &cfh, sizeof cfh);
  return std::string(reinterpret_cast<const char*>(PCF_BODY(message_)),
                     static_cast<size_t>(PCF_BODY_LENGTH(message_)));
}

}  // namespace mqsim::server
