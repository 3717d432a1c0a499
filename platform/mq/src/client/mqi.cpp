// The MQI calls over TCP to mqsim. Divisions:
//   1. Connection table and the one exchange every call makes
//   2. MQCONN, MQCONNX, MQDISC
//   3. MQOPEN, MQCLOSE
//   4. MQPUT, MQPUT1, MQGET
//   5. MQINQ, MQSET, MQCMIT, MQBACK
//
// Locks: g_table_mu guards g_conns and g_next_hconn; each Conn::mu
// serialises the calls on one connection (taken after g_table_mu is
// released, never both at once). A broken connection stays in the table,
// answering 2009, until MQDISC removes it.
#include <mqi/mqi.h>

#include <atomic>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <pwd.h>
#include <string>
#include <unistd.h>

#include "common/install.h"
#include "common/protocol.h"
#include "common/socket_io.h"

namespace mqsim {
namespace {

struct Conn {
  std::mutex mu;
  int fd = -1;
  // Written under mu; read without it by MQCONN, which must not wait for
  // a call in progress on the connection.
  std::atomic<bool> broken{false};
  std::string qmgr;
  // Replies are read into storage kept between calls: a call allocates
  // only for a reply larger than any before it.
  FrameReceiver replies;
  std::vector<uint8_t> request;  // a small request, put together (Exchange)
  ~Conn() {
    if (fd >= 0) ::close(fd);
  }
};

// Message bytes up to this are copied behind the request's head and sent
// with it in one plain send; larger ones are gathered from where they are.
constexpr size_t kCopiedTailBytes = 4096;

std::mutex g_table_mu;
std::map<MQHCONN, std::shared_ptr<Conn>> g_conns;
MQHCONN g_next_hconn = 1;
// Queue managers this thread is connected to, for MQRC_ALREADY_CONNECTED.
thread_local std::map<std::string, MQHCONN> t_connected;

void Set(PMQLONG cc, PMQLONG rc, MQLONG c, MQLONG r) {
  if (cc != nullptr) *cc = c;
  if (rc != nullptr) *rc = r;
}

std::shared_ptr<Conn> Lookup(MQHCONN h) {
  std::lock_guard<std::mutex> lock(g_table_mu);
  auto it = g_conns.find(h);
  return it == g_conns.end() ? nullptr : it->second;
}

// Sends one request, then `tail` (bytes that end the request, sent from
// where they are), and reads its reply, which stays valid until the next
// exchange on the connection. False (reason in *rc) when the connection
// is or becomes broken.
bool Exchange(Conn& c, uint32_t op, const Writer& request, ByteView tail, std::span<const uint8_t>* reply,
              MQLONG* rc) {
  if (c.broken) {
    *rc = MQRC_CONNECTION_BROKEN;
    return false;
  }
  uint32_t head[2] = {static_cast<uint32_t>(request.size() + tail.size() + 4), op};
  const auto& payload = request.buffer();
  bool sent = false;
  if (tail.size() <= kCopiedTailBytes) {
    // A small request is put together in the connection's storage and
    // leaves in one plain send: cheaper than gathering it.
    std::vector<uint8_t>& frame = c.request;
    const auto* h = reinterpret_cast<const uint8_t*>(head);
    frame.assign(h, h + sizeof head);
    frame.insert(frame.end(), payload.begin(), payload.end());
    const auto* t = reinterpret_cast<const uint8_t*>(tail.data());
    frame.insert(frame.end(), t, t + tail.size());
    sent = SendAll(c.fd, frame.data(), frame.size());
  } else {
    // Header, payload and tail leave in one gathered write, without a copy.
    iovec parts[3] = {{head, sizeof head},
                      {const_cast<uint8_t*>(payload.data()), payload.size()},
                      {const_cast<char*>(tail.data()), tail.size()}};
    sent = SendParts(c.fd, parts, 3);
  }
  uint32_t reply_op = 0;
  if (!sent || !c.replies.Next(c.fd, &reply_op, reply) || reply_op != op) {
    c.broken = true;
    ::close(c.fd);
    c.fd = -1;
    *rc = MQRC_CONNECTION_BROKEN;
    return false;
  }
  return true;
}

// The request of a call, built in storage the thread keeps.
Writer& RequestWriter() {
  thread_local Writer w;
  w.Clear();
  return w;
}

struct DecodeWhole {
  template <typename Reply>
  bool operator()(std::span<const uint8_t> bytes, Reply* reply) const {
    return Decode(bytes, reply);
  }
};

// One call on a connection: lock, exchange, decode. `decode` runs under
// the connection's lock, while the reply's bytes are valid. Returns false
// after setting cc/rc when the call could not be made.
template <typename Reply, typename Decoder = DecodeWhole>
bool Call(MQHCONN hconn, uint32_t op, const Writer& request, Reply* reply, PMQLONG cc, PMQLONG rc,
          ByteView tail = {}, Decoder decode = {}) {
  std::shared_ptr<Conn> c = Lookup(hconn);
  if (!c) {
    Set(cc, rc, MQCC_FAILED, MQRC_HCONN_ERROR);
    return false;
  }
  std::lock_guard<std::mutex> lock(c->mu);
  std::span<const uint8_t> bytes;
  MQLONG reason = MQRC_NONE;
  if (!Exchange(*c, op, request, tail, &bytes, &reason)) {
    Set(cc, rc, MQCC_FAILED, reason);
    return false;
  }
  if (!decode(bytes, reply)) {
    c->broken = true;
    Set(cc, rc, MQCC_FAILED, MQRC_CONNECTION_BROKEN);
    return false;
  }
  Set(cc, rc, reply->cc, reply->rc);
  return true;
}

std::string ProgramName() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "mqi";
  buf[n] = '\0';
  std::string p(buf);
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string UserName() {
  passwd pw{};
  passwd* out = nullptr;
  char buf[4096];
  if (::getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &out) == 0 && out != nullptr) return out->pw_name;
  return "";
}

std::string NameArg(const MQCHAR* p, size_t width) { return p == nullptr ? "" : FieldText(p, width); }

bool ValidMd(const MQMD* md) {
  return md != nullptr && std::memcmp(md->StrucId, MQMD_STRUC_ID, 4) == 0 &&
         (md->Version == MQMD_VERSION_1 || md->Version == MQMD_VERSION_2);
}

// The caller's MQMD as version 2; a version-1 MQMD is only 324 bytes long.
MQMD WideMd(const MQMD* md) {
  MQMD out{};
  if (md->Version == MQMD_VERSION_1) {
    std::memcpy(&out, md, MQMD_LENGTH_1);
    out.MsgSeqNumber = 1;
    out.Offset = 0;
    out.MsgFlags = MQMF_NONE;
    out.OriginalLength = MQOL_UNDEFINED;
  } else {
    out = *md;
  }
  return out;
}

void CopyMdBack(MQMD* to, const MQMD& from) {
  MQLONG version = to->Version;
  std::memcpy(to, &from, version == MQMD_VERSION_1 ? MQMD_LENGTH_1 : MQMD_LENGTH_2);
  to->Version = version;
}

bool ValidOd(const MQOD* od) {
  return od != nullptr && std::memcmp(od->StrucId, MQOD_STRUC_ID, 4) == 0 && od->Version >= MQOD_VERSION_1 &&
         od->Version <= MQOD_VERSION_3;
}

ObjDesc ToObjDesc(const MQOD* od) {
  ObjDesc d;
  d.object_type = od->ObjectType;
  d.name = FieldText(od->ObjectName, 48);
  d.qmgr = FieldText(od->ObjectQMgrName, 48);
  d.dynamic_name = FieldText(od->DynamicQName, 48);
  d.alternate_user = FieldText(od->AlternateUserId, 12);
  return d;
}

// Connects the socket for a queue manager and runs the connect exchange.
void ConnectTo(const std::string& qmgr, const std::string& host, int port, PMQHCONN hconn, PMQLONG cc,
               PMQLONG rc, const std::string& channel = "") {
  // A connection known to be broken does not count: the application gets
  // a new one instead of a handle that can only answer 2009.
  auto it = t_connected.find(qmgr);
  if (it != t_connected.end()) {
    std::shared_ptr<Conn> held = Lookup(it->second);
    if (held && !held->broken) {
      *hconn = it->second;
      Set(cc, rc, MQCC_WARNING, MQRC_ALREADY_CONNECTED);
      return;
    }
  }
  auto c = std::make_shared<Conn>();
  c->fd = ConnectTcp(host, port);
  if (c->fd < 0) {
    *hconn = MQHC_UNUSABLE_HCONN;
    Set(cc, rc, MQCC_FAILED, MQRC_Q_MGR_NOT_AVAILABLE);
    return;
  }
  ConnectRequest req;
  req.qmgr = qmgr;
  req.appl_name = ProgramName();
  req.user = UserName();
  req.pid = static_cast<uint32_t>(::getpid());
  req.channel = channel;
  Writer w;
  Encode(w, req);
  std::span<const uint8_t> bytes;
  MQLONG reason = MQRC_NONE;
  ConnectReply reply;
  if (!Exchange(*c, kOpConnect, w, {}, &bytes, &reason)) {
    *hconn = MQHC_UNUSABLE_HCONN;
    Set(cc, rc, MQCC_FAILED, MQRC_Q_MGR_NOT_AVAILABLE);
    return;
  }
  if (!Decode(bytes, &reply)) {
    *hconn = MQHC_UNUSABLE_HCONN;
    Set(cc, rc, MQCC_FAILED, MQRC_CONNECTION_BROKEN);
    return;
  }
  if (reply.cc == MQCC_FAILED) {
    *hconn = MQHC_UNUSABLE_HCONN;
    Set(cc, rc, reply.cc, reply.rc);
    return;
  }
  c->qmgr = reply.qmgr;
  MQHCONN h;
  {
    std::lock_guard<std::mutex> lock(g_table_mu);
    // Handles stay > 0 and are never those of a connection still held.
    while (g_conns.count(g_next_hconn))
      g_next_hconn = g_next_hconn == std::numeric_limits<MQHCONN>::max() ? 1 : g_next_hconn + 1;
    h = g_next_hconn;
    g_next_hconn = h == std::numeric_limits<MQHCONN>::max() ? 1 : h + 1;
    g_conns[h] = c;
  }
  t_connected[qmgr] = h;
  if (qmgr != reply.qmgr) t_connected[reply.qmgr] = h;
  *hconn = h;
  Set(cc, rc, MQCC_OK, MQRC_NONE);
}

void ConnectLocal(const std::string& requested, PMQHCONN hconn, PMQLONG cc, PMQLONG rc) {
  std::string root = InstallRoot();
  IniFile mqs = ReadMqsIni(root);
  std::string name = requested.empty() ? DefaultQmgr(mqs) : requested;
  std::optional<QmgrEntry> entry = name.empty() ? std::nullopt : FindQmgr(mqs, name);
  if (!entry) {
    *hconn = MQHC_UNUSABLE_HCONN;
    Set(cc, rc, MQCC_FAILED, MQRC_Q_MGR_NAME_ERROR);
    return;
  }
  int port = ReadListenerPort(entry->DataDir());
  if (port <= 0) {
    *hconn = MQHC_UNUSABLE_HCONN;
    Set(cc, rc, MQCC_FAILED, MQRC_Q_MGR_NOT_AVAILABLE);
    return;
  }
  MQLONG reason = MQRC_NONE;
  ConnectTo(name, "127.0.0.1", port, hconn, cc, &reason);
  // The installation knows the name, so another queue manager answering on
  // its port (it took the port while ours was stopped) means that ours
  // does not run.
  if (reason == MQRC_Q_MGR_NAME_ERROR) {
    reason = MQRC_Q_MGR_NOT_AVAILABLE;
  }
  if (rc != nullptr) *rc = reason;
}

}  // namespace
}  // namespace mqsim

using namespace mqsim;

// ---- 2. MQCONN, MQCONNX, MQDISC ---------------------------------------------

extern "C" __attribute__((visibility("default"))) void MQCONN(PMQCHAR QMgrName, PMQHCONN Hconn, PMQLONG CompCode, PMQLONG Reason) {
  if (Hconn == nullptr) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_HCONN_ERROR);
    return;
  }
  ConnectLocal(NameArg(QMgrName, 48), Hconn, CompCode, Reason);
}

extern "C" __attribute__((visibility("default"))) void MQCONNX(PMQCHAR QMgrName, MQCNO* ConnectOpts, PMQHCONN Hconn, PMQLONG CompCode,
                        PMQLONG Reason) {
  if (Hconn == nullptr) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_HCONN_ERROR);
    return;
  }
  std::string name = NameArg(QMgrName, 48);
  if (ConnectOpts == nullptr) {
    ConnectLocal(name, Hconn, CompCode, Reason);
    return;
  }
  if (std::memcmp(ConnectOpts->StrucId, MQCNO_STRUC_ID, 4) != 0 || ConnectOpts->Version < MQCNO_VERSION_1) {
    *Hconn = MQHC_UNUSABLE_HCONN;
    Set(CompCode, Reason, MQCC_FAILED, MQRC_CNO_ERROR);
    return;
  }
  const MQCD* cd = nullptr;
  if (ConnectOpts->Version >= MQCNO_VERSION_2) {
    if (ConnectOpts->ClientConnPtr != nullptr)
      cd = static_cast<const MQCD*>(ConnectOpts->ClientConnPtr);
    else if (ConnectOpts->ClientConnOffset != 0)
      cd = reinterpret_cast<const MQCD*>(reinterpret_cast<const char*>(ConnectOpts) +
                                         ConnectOpts->ClientConnOffset);
  }
  if (cd == nullptr) {
    ConnectLocal(name, Hconn, CompCode, Reason);
    return;
  }
  std::string host;
  int port = 0;
  if (cd->Version < MQCD_VERSION_2 ||
      !ParseConnectionName(FieldText(cd->ConnectionName, MQ_CONN_NAME_LENGTH), &host, &port)) {
    *Hconn = MQHC_UNUSABLE_HCONN;
    Set(CompCode, Reason, MQCC_FAILED, MQRC_CLIENT_CONN_ERROR);
    return;
  }
  ConnectTo(name, host, port, Hconn, CompCode, Reason, FieldText(cd->ChannelName, MQ_CHANNEL_NAME_LENGTH));
}

extern "C" __attribute__((visibility("default"))) void MQDISC(PMQHCONN Hconn, PMQLONG CompCode, PMQLONG Reason) {
  if (Hconn == nullptr) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_HCONN_ERROR);
    return;
  }
  std::shared_ptr<Conn> c = Lookup(*Hconn);
  if (!c) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_HCONN_ERROR);
    return;
  }
  MQLONG cc = MQCC_OK, rc = MQRC_NONE;
  {
    std::lock_guard<std::mutex> lock(c->mu);
    std::span<const uint8_t> bytes;
    ReplyHead reply;
    Writer w;
    if (!Exchange(*c, kOpDisconnect, w, {}, &bytes, &rc)) {
      cc = MQCC_FAILED;
    } else if (Decode(bytes, &reply)) {
      cc = reply.cc;
      rc = reply.rc;
    }
  }
  {
    std::lock_guard<std::mutex> lock(g_table_mu);
    g_conns.erase(*Hconn);
  }
  for (auto it = t_connected.begin(); it != t_connected.end();)
    it = it->second == *Hconn ? t_connected.erase(it) : std::next(it);
  *Hconn = MQHC_UNUSABLE_HCONN;
  Set(CompCode, Reason, cc, rc);
}

// ---- 3. MQOPEN, MQCLOSE -----------------------------------------------------

extern "C" __attribute__((visibility("default"))) void MQOPEN(MQHCONN Hconn, PMQVOID ObjDesc, MQLONG Options, PMQHOBJ Hobj, PMQLONG CompCode,
                       PMQLONG Reason) {
  MQOD* od = static_cast<MQOD*>(ObjDesc);
  if (Hobj == nullptr) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_HOBJ_ERROR);
    return;
  }
  *Hobj = MQHO_UNUSABLE_HOBJ;
  if (!ValidOd(od)) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_OD_ERROR);
    return;
  }
  OpenRequest req;
  req.options = Options;
  req.od = ToObjDesc(od);
  Writer w;
  Encode(w, req);
  OpenReply reply;
  if (!Call(Hconn, kOpOpen, w, &reply, CompCode, Reason)) return;
  if (reply.cc == MQCC_FAILED) return;
  *Hobj = reply.hobj;
  SetField(od->ObjectName, 48, reply.object_name);
  if (od->Version >= MQOD_VERSION_3) {
    SetField(od->ResolvedQName, 48, reply.resolved_q);
    SetField(od->ResolvedQMgrName, 48, reply.resolved_qmgr);
  }
}

extern "C" __attribute__((visibility("default"))) void MQCLOSE(MQHCONN Hconn, PMQHOBJ Hobj, MQLONG Options, PMQLONG CompCode, PMQLONG Reason) {
  if (Hobj == nullptr) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_HOBJ_ERROR);
    return;
  }
  CloseRequest req;
  req.hobj = *Hobj;
  req.options = Options;
  Writer w;
  Encode(w, req);
  ReplyHead reply;
  if (!Call(Hconn, kOpClose, w, &reply, CompCode, Reason)) return;
  if (reply.cc != MQCC_FAILED) *Hobj = MQHO_UNUSABLE_HOBJ;
}

// ---- 4. MQPUT, MQPUT1, MQGET ------------------------------------------------

static void DoPut(MQHCONN Hconn, MQHOBJ Hobj, const MQOD* od, PMQVOID MsgDesc, PMQVOID PutMsgOpts,
                  MQLONG BufferLength, PMQVOID Buffer, PMQLONG CompCode, PMQLONG Reason) {
  MQMD* md = static_cast<MQMD*>(MsgDesc);
  MQPMO* pmo = static_cast<MQPMO*>(PutMsgOpts);
  if (!ValidMd(md)) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_MD_ERROR);
    return;
  }
  if (pmo == nullptr || std::memcmp(pmo->StrucId, MQPMO_STRUC_ID, 4) != 0 || pmo->Version < MQPMO_VERSION_1 ||
      pmo->Version > MQPMO_VERSION_2) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_PMO_ERROR);
    return;
  }
  if (BufferLength < 0) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_BUFFER_LENGTH_ERROR);
    return;
  }
  if (BufferLength > 0 && Buffer == nullptr) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_BUFFER_ERROR);
    return;
  }
  if (BufferLength > kMaxMsgLength) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_MSG_TOO_BIG_FOR_Q_MGR);
    return;
  }
  PutRequest req;
  req.hobj = Hobj;
  if (od != nullptr) req.od = ToObjDesc(od);
  req.options = pmo->Options;
  req.context = pmo->Context;
  req.md = WideMd(md);
  // The message goes from the caller's buffer straight to the socket.
  if (BufferLength > 0) req.data = ByteView(Buffer, static_cast<size_t>(BufferLength));
  Writer& w = RequestWriter();
  EncodePutHead(w, req, od != nullptr);
  PutReply reply;
  if (!Call(Hconn, od != nullptr ? kOpPut1 : kOpPut, w, &reply, CompCode, Reason, req.data)) return;
  if (reply.cc == MQCC_FAILED) return;
  CopyMdBack(md, reply.md);
  SetField(pmo->ResolvedQName, 48, reply.resolved_q);
  SetField(pmo->ResolvedQMgrName, 48, reply.resolved_qmgr);
}

extern "C" __attribute__((visibility("default"))) void MQPUT(MQHCONN Hconn, MQHOBJ Hobj, PMQVOID MsgDesc, PMQVOID PutMsgOpts, MQLONG BufferLength,
                      PMQVOID Buffer, PMQLONG CompCode, PMQLONG Reason) {
  DoPut(Hconn, Hobj, nullptr, MsgDesc, PutMsgOpts, BufferLength, Buffer, CompCode, Reason);
}

extern "C" __attribute__((visibility("default"))) void MQPUT1(MQHCONN Hconn, PMQVOID ObjDesc, PMQVOID MsgDesc, PMQVOID PutMsgOpts,
                       MQLONG BufferLength, PMQVOID Buffer, PMQLONG CompCode, PMQLONG Reason) {
  const MQOD* od = static_cast<const MQOD*>(ObjDesc);
  if (!ValidOd(od)) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_OD_ERROR);
    return;
  }
  DoPut(Hconn, 0, od, MsgDesc, PutMsgOpts, BufferLength, Buffer, CompCode, Reason);
}

extern "C" __attribute__((visibility("default"))) void MQGET(MQHCONN Hconn, MQHOBJ Hobj, PMQVOID MsgDesc, PMQVOID GetMsgOpts, MQLONG BufferLength,
                      PMQVOID Buffer, PMQLONG DataLength, PMQLONG CompCode, PMQLONG Reason) {
  MQMD* md = static_cast<MQMD*>(MsgDesc);
  MQGMO* gmo = static_cast<MQGMO*>(GetMsgOpts);
  if (!ValidMd(md)) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_MD_ERROR);
    return;
  }
  if (gmo == nullptr || std::memcmp(gmo->StrucId, MQGMO_STRUC_ID, 4) != 0 || gmo->Version < MQGMO_VERSION_1 ||
      gmo->Version > MQGMO_VERSION_3) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_GMO_ERROR);
    return;
  }
  if (BufferLength < 0) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_BUFFER_LENGTH_ERROR);
    return;
  }
  if (BufferLength > 0 && Buffer == nullptr) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_BUFFER_ERROR);
    return;
  }
  if (DataLength == nullptr) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_DATA_LENGTH_ERROR);
    return;
  }
  GetRequest req;
  req.hobj = Hobj;
  req.options = gmo->Options;
  req.wait_ms = (gmo->Options & MQGMO_WAIT) ? gmo->WaitInterval : 0;
  // Before version 2 there is no MatchOptions field: MQ matches both ids.
  req.match_options = gmo->Version >= MQGMO_VERSION_2 ? gmo->MatchOptions
                                                      : (MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID);
  req.md = WideMd(md);
  req.buffer_length = static_cast<uint32_t>(BufferLength);
  Writer& w = RequestWriter();
  Encode(w, req);
  GetReply reply;
  // The message is copied from the reply's bytes into the caller's buffer
  // while the connection is held (the bytes are the connection's).
  size_t copied = 0;
  auto take = [&](std::span<const uint8_t> bytes, GetReply* r) {
    ByteView data;
    if (!Decode(bytes, r, &data)) return false;
    bool has_message = r->cc != MQCC_FAILED || r->rc == MQRC_TRUNCATED_MSG_FAILED;
    if (has_message) {
      copied = std::min<size_t>(data.size(), static_cast<size_t>(BufferLength));
      if (copied > 0) std::memcpy(Buffer, data.data(), copied);
    }
    return true;
  };
  if (!Call(Hconn, kOpGet, w, &reply, CompCode, Reason, {}, take)) return;
  bool has_message = reply.cc != MQCC_FAILED || reply.rc == MQRC_TRUNCATED_MSG_FAILED;
  if (!has_message) return;
  CopyMdBack(md, reply.md);
  *DataLength = static_cast<MQLONG>(reply.data_length);
  SetField(gmo->ResolvedQName, 48, reply.resolved_q);
  if (gmo->Version >= MQGMO_VERSION_3) gmo->ReturnedLength = static_cast<MQLONG>(copied);
}

// ---- 5. MQINQ, MQSET, MQCMIT, MQBACK ----------------------------------------

extern "C" __attribute__((visibility("default"))) void MQINQ(MQHCONN Hconn, MQHOBJ Hobj, MQLONG SelectorCount, PMQLONG Selectors, MQLONG IntAttrCount,
                      PMQLONG IntAttrs, MQLONG CharAttrLength, PMQCHAR CharAttrs, PMQLONG CompCode,
                      PMQLONG Reason) {
  if (SelectorCount < 0 || SelectorCount > static_cast<MQLONG>(kMaxSelectors) ||
      (SelectorCount > 0 && Selectors == nullptr)) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_SELECTOR_COUNT_ERROR);
    return;
  }
  if (IntAttrCount < 0 || (IntAttrCount > 0 && IntAttrs == nullptr)) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_INT_ATTR_COUNT_ERROR);
    return;
  }
  if (CharAttrLength < 0 || (CharAttrLength > 0 && CharAttrs == nullptr)) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_CHAR_ATTR_LENGTH_ERROR);
    return;
  }
  InquireRequest req;
  req.hobj = Hobj;
  req.selectors.assign(Selectors, Selectors + SelectorCount);
  req.int_count = static_cast<uint32_t>(std::min<MQLONG>(IntAttrCount, kMaxSelectors));
  req.char_length = static_cast<uint32_t>(std::min<MQLONG>(CharAttrLength, kMaxCharAttrBytes));
  Writer w;
  Encode(w, req);
  InquireReply reply;
  if (!Call(Hconn, kOpInquire, w, &reply, CompCode, Reason)) return;
  if (reply.cc == MQCC_FAILED) return;
  for (size_t i = 0; i < reply.ints.size() && i < static_cast<size_t>(IntAttrCount); ++i) IntAttrs[i] = reply.ints[i];
  size_t n = std::min<size_t>(reply.chars.size(), static_cast<size_t>(CharAttrLength));
  if (n > 0) std::memcpy(CharAttrs, reply.chars.data(), n);
}

extern "C" __attribute__((visibility("default"))) void MQSET(MQHCONN Hconn, MQHOBJ Hobj, MQLONG SelectorCount, PMQLONG Selectors, MQLONG IntAttrCount,
                      PMQLONG IntAttrs, MQLONG CharAttrLength, PMQCHAR CharAttrs, PMQLONG CompCode,
                      PMQLONG Reason) {
  if (SelectorCount < 0 || SelectorCount > static_cast<MQLONG>(kMaxSelectors) ||
      (SelectorCount > 0 && Selectors == nullptr)) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_SELECTOR_COUNT_ERROR);
    return;
  }
  if (IntAttrCount < 0 || IntAttrCount > static_cast<MQLONG>(kMaxSelectors) ||
      (IntAttrCount > 0 && IntAttrs == nullptr)) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_INT_ATTR_COUNT_ERROR);
    return;
  }
  if (CharAttrLength < 0 || CharAttrLength > static_cast<MQLONG>(kMaxCharAttrBytes) ||
      (CharAttrLength > 0 && CharAttrs == nullptr)) {
    Set(CompCode, Reason, MQCC_FAILED, MQRC_CHAR_ATTR_LENGTH_ERROR);
    return;
  }
  SetRequest req;
  req.hobj = Hobj;
  req.selectors.assign(Selectors, Selectors + SelectorCount);
  req.ints.assign(IntAttrs, IntAttrs + IntAttrCount);
  req.chars.assign(CharAttrs == nullptr ? "" : CharAttrs, static_cast<size_t>(CharAttrLength));
  Writer w;
  Encode(w, req);
  ReplyHead reply;
  Call(Hconn, kOpSet, w, &reply, CompCode, Reason);
}

extern "C" __attribute__((visibility("default"))) void MQCMIT(MQHCONN Hconn, PMQLONG CompCode, PMQLONG Reason) {
  Writer w;
  ReplyHead reply;
  Call(Hconn, kOpCommit, w, &reply, CompCode, Reason);
}

extern "C" __attribute__((visibility("default"))) void MQBACK(MQHCONN Hconn, PMQLONG CompCode, PMQLONG Reason) {
  Writer w;
  ReplyHead reply;
  Call(Hconn, kOpBackout, w, &reply, CompCode, Reason);
}
