#include "protocol.h"

namespace mqsim {

namespace {

void PutOd(Writer& w, const ObjDesc& od) {
  w.I32(od.object_type);
  w.Fixed(od.name, 48);
  w.Fixed(od.qmgr, 48);
  w.Fixed(od.dynamic_name, 48);
  w.Fixed(od.alternate_user, 12);
}

bool GetOd(Reader& r, ObjDesc* od) {
  r.I32(&od->object_type);
  r.Fixed(&od->name, 48);
  r.Fixed(&od->qmgr, 48);
  r.Fixed(&od->dynamic_name, 48);
  return r.Fixed(&od->alternate_user, 12);
}

void PutMd(Writer& w, const MQMD& md) { w.Raw(&md, sizeof md); }
bool GetMd(Reader& r, MQMD* md) { return r.Raw(md, sizeof *md); }

bool GetLongs(Reader& r, std::vector<MQLONG>* v, uint32_t max) {
  uint32_t n = 0;
  if (!r.U32(&n) || n > max || n * 4u > r.remaining()) return false;
  v->resize(n);
  for (auto& x : *v) r.I32(&x);
  return r.ok();
}

void PutLongs(Writer& w, const std::vector<MQLONG>& v) {
  w.U32(static_cast<uint32_t>(v.size()));
  for (MQLONG x : v) w.I32(x);
}

}  // namespace

void EncodeAttrs(Writer& w, const std::vector<Attr>& attrs) {
  w.U32(static_cast<uint32_t>(attrs.size()));
  for (const auto& a : attrs) {
    w.I32(a.selector);
    w.U32(a.is_string ? 1 : 0);
    if (a.is_string)
      w.Bytes(a.str_value);
    else
      w.I32(a.int_value);
  }
}

bool DecodeAttrs(Reader& r, std::vector<Attr>* attrs) {
  uint32_t n = 0;
  if (!r.U32(&n) || n > kMaxAttrs) return false;
  attrs->clear();
  for (uint32_t i = 0; i < n; ++i) {
    Attr a;
    uint32_t kind = 0;
    r.I32(&a.selector);
    if (!r.U32(&kind) || kind > 1) return false;
    a.is_string = kind == 1;
    if (a.is_string)
      r.Bytes(&a.str_value, 264);
    else
      r.I32(&a.int_value);
    if (!r.ok()) return false;
    attrs->push_back(std::move(a));
  }
  return true;
}

std::vector<uint8_t> Frame(uint32_t op, const Writer& payload) {
  Writer f;
  f.U32(static_cast<uint32_t>(payload.size() + 4));
  f.U32(op);
  std::vector<uint8_t> out = std::move(f.buffer());
  out.insert(out.end(), payload.buffer().begin(), payload.buffer().end());
  return out;
}

void Encode(Writer& w, const ConnectRequest& m) {
  w.U32(kProtocolMagic);
  w.Fixed(m.qmgr, 48);
  w.Fixed(m.appl_name, 28);
  w.Fixed(m.user, 12);
  w.U32(m.pid);
  w.Fixed(m.channel, 20);
}
bool Decode(std::span<const uint8_t> in, ConnectRequest* m) {
  Reader r(in);
  uint32_t magic = 0;
  r.U32(&magic);
  r.Fixed(&m->qmgr, 48);
  r.Fixed(&m->appl_name, 28);
  r.Fixed(&m->user, 12);
  r.U32(&m->pid);
  if (r.ok() && !r.AtEnd()) r.Fixed(&m->channel, 20);
  return r.AtEnd() && magic == kProtocolMagic;
}

void Encode(Writer& w, const OpenRequest& m) {
  w.I32(m.options);
  PutOd(w, m.od);
}
bool Decode(std::span<const uint8_t> in, OpenRequest* m) {
  Reader r(in);
  r.I32(&m->options);
  GetOd(r, &m->od);
  return r.AtEnd();
}

void Encode(Writer& w, const CloseRequest& m) {
  w.I32(m.hobj);
  w.I32(m.options);
}
bool Decode(std::span<const uint8_t> in, CloseRequest* m) {
  Reader r(in);
  r.I32(&m->hobj);
  r.I32(&m->options);
  return r.AtEnd();
}

void EncodePutHead(Writer& w, const PutRequest& m, bool put1) {
  if (put1)
    PutOd(w, m.od);
  else
    w.I32(m.hobj);
  w.I32(m.options);
  w.I32(m.context);
  PutMd(w, m.md);
  w.U32(static_cast<uint32_t>(m.data.size()));
}
void EncodePut(Writer& w, const PutRequest& m, bool put1) {
  EncodePutHead(w, m, put1);
  w.Raw(m.data.data(), m.data.size());
}
bool DecodePut(std::span<const uint8_t> in, PutRequest* m, bool put1) {
  Reader r(in);
  if (put1)
    GetOd(r, &m->od);
  else
    r.I32(&m->hobj);
  r.I32(&m->options);
  r.I32(&m->context);
  GetMd(r, &m->md);
  r.Bytes(&m->data, kMaxMsgLength);
  return r.AtEnd();
}

void Encode(Writer& w, const GetRequest& m) {
  w.I32(m.hobj);
  w.I32(m.options);
  w.I32(m.wait_ms);
  w.I32(m.match_options);
  PutMd(w, m.md);
  w.U32(m.buffer_length);
}
bool Decode(std::span<const uint8_t> in, GetRequest* m) {
  Reader r(in);
  r.I32(&m->hobj);
  r.I32(&m->options);
  r.I32(&m->wait_ms);
  r.I32(&m->match_options);
  GetMd(r, &m->md);
  r.U32(&m->buffer_length);
  return r.AtEnd();
}

void Encode(Writer& w, const InquireRequest& m) {
  w.I32(m.hobj);
  PutLongs(w, m.selectors);
  w.U32(m.int_count);
  w.U32(m.char_length);
}
bool Decode(std::span<const uint8_t> in, InquireRequest* m) {
  Reader r(in);
  r.I32(&m->hobj);
  if (!GetLongs(r, &m->selectors, kMaxSelectors)) return false;
  r.U32(&m->int_count);
  r.U32(&m->char_length);
  return r.AtEnd() && m->int_count <= kMaxSelectors && m->char_length <= kMaxCharAttrBytes;
}

void Encode(Writer& w, const SetRequest& m) {
  w.I32(m.hobj);
  PutLongs(w, m.selectors);
  PutLongs(w, m.ints);
  w.Bytes(m.chars);
}
bool Decode(std::span<const uint8_t> in, SetRequest* m) {
  Reader r(in);
  r.I32(&m->hobj);
  if (!GetLongs(r, &m->selectors, kMaxSelectors)) return false;
  if (!GetLongs(r, &m->ints, kMaxSelectors)) return false;
  r.Bytes(&m->chars, kMaxCharAttrBytes);
  return r.AtEnd();
}

void Encode(Writer& w, const ControlRequest& m) {
  w.Fixed(m.qmgr, 48);
  w.Fixed(m.name, 48);
  w.I32(m.mode);
  w.I32(m.wait_ms);
  EncodeAttrs(w, m.attrs);
}
bool Decode(std::span<const uint8_t> in, ControlRequest* m) {
  Reader r(in);
  r.Fixed(&m->qmgr, 48);
  r.Fixed(&m->name, 48);
  r.I32(&m->mode);
  r.I32(&m->wait_ms);
  if (!DecodeAttrs(r, &m->attrs)) return false;
  return r.AtEnd();
}

void Encode(Writer& w, const ReplyHead& m) {
  w.I32(m.cc);
  w.I32(m.rc);
}
static bool GetHead(Reader& r, ReplyHead* m) {
  r.I32(&m->cc);
  return r.I32(&m->rc);
}
bool Decode(std::span<const uint8_t> in, ReplyHead* m) {
  Reader r(in);
  GetHead(r, m);
  return r.AtEnd();
}

void Encode(Writer& w, const ConnectReply& m) {
  Encode(w, static_cast<const ReplyHead&>(m));
  w.Fixed(m.qmgr, 48);
}
bool Decode(std::span<const uint8_t> in, ConnectReply* m) {
  Reader r(in);
  GetHead(r, m);
  r.Fixed(&m->qmgr, 48);
  return r.AtEnd();
}

void Encode(Writer& w, const OpenReply& m) {
  Encode(w, static_cast<const ReplyHead&>(m));
  w.I32(m.hobj);
  w.Fixed(m.object_name, 48);
  w.Fixed(m.resolved_q, 48);
  w.Fixed(m.resolved_qmgr, 48);
}
bool Decode(std::span<const uint8_t> in, OpenReply* m) {
  Reader r(in);
  GetHead(r, m);
  r.I32(&m->hobj);
  r.Fixed(&m->object_name, 48);
  r.Fixed(&m->resolved_q, 48);
  r.Fixed(&m->resolved_qmgr, 48);
  return r.AtEnd();
}

void Encode(Writer& w, const PutReply& m) {
  Encode(w, static_cast<const ReplyHead&>(m));
  PutMd(w, m.md);
  w.Fixed(m.resolved_q, 48);
  w.Fixed(m.resolved_qmgr, 48);
}
bool Decode(std::span<const uint8_t> in, PutReply* m) {
  Reader r(in);
  GetHead(r, m);
  GetMd(r, &m->md);
  r.Fixed(&m->resolved_q, 48);
  r.Fixed(&m->resolved_qmgr, 48);
  return r.AtEnd();
}

void Encode(Writer& w, const GetReply& m) {
  Encode(w, static_cast<const ReplyHead&>(m));
  PutMd(w, m.md);
  w.U32(m.data_length);
  w.Bytes(m.data);
  w.Fixed(m.resolved_q, 48);
}
bool Decode(std::span<const uint8_t> in, GetReply* m, ByteView* data) {
  Reader r(in);
  GetHead(r, m);
  GetMd(r, &m->md);
  r.U32(&m->data_length);
  r.Bytes(data, kMaxMsgLength);
  r.Fixed(&m->resolved_q, 48);
  return r.AtEnd();
}
bool Decode(std::span<const uint8_t> in, GetReply* m) {
  ByteView data;
  if (!Decode(in, m, &data)) return false;
  m->data = data.str();
  return true;
}

void Encode(Writer& w, const InquireReply& m) {
  Encode(w, static_cast<const ReplyHead&>(m));
  PutLongs(w, m.ints);
  w.Bytes(m.chars);
}
bool Decode(std::span<const uint8_t> in, InquireReply* m) {
  Reader r(in);
  GetHead(r, m);
  if (!GetLongs(r, &m->ints, kMaxSelectors)) return false;
  r.Bytes(&m->chars, kMaxCharAttrBytes);
  return r.AtEnd();
}

void Encode(Writer& w, const ControlReply& m) {
  Encode(w, static_cast<const ReplyHead&>(m));
  w.Bytes(m.text);
}
bool Decode(std::span<const uint8_t> in, ControlReply* m) {
  Reader r(in);
  GetHead(r, m);
  r.Bytes(&m->text, kMaxTextBytes);
  return r.AtEnd();
}

void EncodeStatus(Writer& w, const ReplyHead& head, const std::vector<QmgrStatus>& list) {
  Encode(w, head);
  w.U32(static_cast<uint32_t>(list.size()));
  for (const auto& s : list) {
    w.Fixed(s.name, 48);
    w.I32(s.state);
    w.I32(s.port);
    w.I32(s.connections);
  }
}
bool DecodeStatus(std::span<const uint8_t> in, ReplyHead* head, std::vector<QmgrStatus>* list) {
  Reader r(in);
  GetHead(r, head);
  uint32_t n = 0;
  if (!r.U32(&n) || n > 4096) return false;
  list->clear();
  for (uint32_t i = 0; i < n && r.ok(); ++i) {
    QmgrStatus s;
    r.Fixed(&s.name, 48);
    r.I32(&s.state);
    r.I32(&s.port);
    r.I32(&s.connections);
    list->push_back(std::move(s));
  }
  return r.AtEnd();
}

}  // namespace mqsim
