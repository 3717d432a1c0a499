// Queue manager core. Divisions, in order:
//   1. Loading, checkpoints and the default objects
//   2. Sessions
//   3. MQOPEN and MQCLOSE
//   4. MQPUT and MQPUT1
//   5. MQGET and waiting gets
//   6. MQINQ and MQSET
//   7. Units of work
//   8. Control requests, quiesce and end
//   9. Helpers: names, ids, the error log
#include "queue_manager.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <limits>
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include "clusters.h"
#include "command_server.h"
#include "common/install.h"

namespace mqsim::server {

namespace {

constexpr const char* kDefaultModelQueue = "SYSTEM.DEFAULT.MODEL.QUEUE";
constexpr const char* kDeadLetterQueue = "SYSTEM.DEAD.LETTER.QUEUE";
constexpr const char* kCommandQueue = "SYSTEM.ADMIN.COMMAND.QUEUE";
constexpr MQLONG kQmgrCcsid = 819;
constexpr MQLONG kMaxPriority = 9;
constexpr size_t kMaxUncommitted = 10000;
constexpr uint64_t kCheckpointJournalBytes = 64ull * 1024 * 1024;
constexpr MQLONG kInputOptions = MQOO_INPUT_AS_Q_DEF | MQOO_INPUT_SHARED | MQOO_INPUT_EXCLUSIVE;
constexpr MQLONG kKnownOpenOptions = 0x3FFF;
constexpr MQLONG kPmoContextOptions = MQPMO_DEFAULT_CONTEXT | MQPMO_NO_CONTEXT |
                                      MQPMO_SET_IDENTITY_CONTEXT | MQPMO_SET_ALL_CONTEXT |
                                      MQPMO_PASS_IDENTITY_CONTEXT | MQPMO_PASS_ALL_CONTEXT;

uint64_t g_next_session = 1;
uint64_t g_next_incarnation = 1;
// Attachment tokens are unique in the process, so that a token of an
// ended queue manager is never found in its next incarnation.
uint64_t g_next_attachment = 1;

bool IsZero(const MQBYTE* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

int PopCount(MQLONG v) { return __builtin_popcount(static_cast<unsigned>(v)); }

ReplyHead Fail(MQLONG rc) { return ReplyHead{MQCC_FAILED, rc}; }

// Object handles stay > 0 and unique within their session, also once the
// counter has gone round.
MQHOBJ PeekHobj(Session* s) {
  while (s->handles.count(s->next_hobj))
    s->next_hobj = s->next_hobj == std::numeric_limits<MQHOBJ>::max() ? 1 : s->next_hobj + 1;
  return s->next_hobj;
}

MQHOBJ TakeHobj(Session* s) {
  MQHOBJ h = PeekHobj(s);
  s->next_hobj = h == std::numeric_limits<MQHOBJ>::max() ? 1 : h + 1;
  return h;
}

// The message a journal record names. The record gives the priority the
// message was queued at; a checkpoint taken after its queue changed its
// delivery order may have placed it elsewhere, so fall back to its
// sequence number, which is unique in the queue manager.
std::map<MsgKey, Message>::iterator FindStored(Queue& q, MQLONG priority, uint64_t seq) {
  auto m = q.messages.find(MsgKey{-priority, seq});
  if (m != q.messages.end()) return m;
  m = q.messages.find(MsgKey{0, seq});
  if (m != q.messages.end()) return m;
  return std::find_if(q.messages.begin(), q.messages.end(),
                      [seq](const auto& kv) { return kv.first.seq == seq; });
}


}  // namespace

// ---- 1. Loading, checkpoints and the default objects -----------------------

QueueManager::QueueManager(const std::string& name, const std::string& data_dir, Host* host)
    : name_(name), data_dir_(data_dir), host_(host), incarnation_(g_next_incarnation++) {
  start_time_ = static_cast<uint32_t>(time(nullptr));
}

QueueManager::~QueueManager() {
  if (state_ != QmgrState::kEnded) End(MQRC_Q_MGR_STOPPING);
}

std::unique_ptr<QueueManager> QueueManager::Open(const std::string& name, const std::string& data_dir,
                                                 Host* host, std::string* error) {
  std::unique_ptr<QueueManager> qm(new QueueManager(name, data_dir, host));
  if (!qm->Load(error)) {
    qm->state_ = QmgrState::kEnded;  // never started: ending must not checkpoint over its files
    return nullptr;
  }
  return qm;
}

bool QueueManager::Load(std::string* error) {
  if (!MakeDirs(data_dir_ + "/errors")) {
    *error = "mkdir " + data_dir_ + "/errors: " + std::strerror(errno);
    return false;
  }
  std::string note;
  if (!journal_.Load(data_dir_, [this](const JournalRecord& r) { ApplyRecord(r); }, error, &note)) {
    LogError("AMQ7017E: Queue manager '" + name_ + "' not started: " + *error);
    return false;
  }
  if (!note.empty()) LogError("AMQ7472W: " + note);
  CreateDefaults();
  if (!Checkpoint()) {
    *error = "checkpoint of queue manager " + name_ + " in " + data_dir_ + " failed";
    return false;
  }
  LoadDenyList();
  LogError("AMQ8003I: Queue manager '" + name_ + "' started.");
  command_server_ = std::make_unique<CommandServer>(this);
  MQLONG reason = MQRC_NONE;
  if (!command_server_->Start(&reason))
    LogError("AMQ8101E: command server not started, reason " + std::to_string(reason) + ".");
  if (EventsOn(MQIA_START_STOP_EVENT)) QmgrEvent(MQRC_Q_MGR_ACTIVE, nullptr);
  return true;
}

size_t QueueManager::session_count() const {
  size_t n = 0;
  for (const auto& [id, s] : sessions_)
    if (!s->internal) ++n;
  return n;
}

void QueueManager::ApplyRecord(const JournalRecord& r) {
  switch (r.type) {
    case JournalRecord::kDefineQueue: {
      QueueDef def;
      std::string err;
      if (!QueueDef::FromAttrs(r.attrs, &def, &err)) {
        LogError("AMQ7472W: journal definition skipped: " + err);
        return;
      }
      auto it = queues_.find(def.name);
      if (it != queues_.end())
        it->second->def = std::move(def);
      else
        NewQueue(std::move(def));
      break;
    }
    case JournalRecord::kDeleteQueue: {
      auto it = queues_.find(r.queue);
      if (it != queues_.end()) {
        it->second->deleted = true;
        queues_.erase(it);
      }
      break;
    }
    case JournalRecord::kPutMessage: {
      auto it = queues_.find(r.queue);
      if (it == queues_.end()) return;
      Queue& q = *it->second;
      MQLONG prio = q.def.Int(MQIA_MSG_DELIVERY_SEQUENCE) == MQMDS_FIFO ? 0 : r.md.Priority;
      Message m;
      m.seq = r.seq;
      m.md = r.md;
      m.data = r.data;
      m.persistent = true;
      if (m.md.Expiry > 0) {
        m.expires = Clock::now() + std::chrono::milliseconds(int64_t{m.md.Expiry} * 100);
        q.may_expire = true;
      }
      q.messages[MsgKey{-prio, r.seq}] = std::move(m);
      next_seq_ = std::max(next_seq_, r.seq + 1);
      break;
    }
    case JournalRecord::kRemoveMessage: {
      auto it = queues_.find(r.queue);
      if (it == queues_.end()) return;
      Queue& q = *it->second;
      auto m = FindStored(q, r.priority, r.seq);
      if (m != q.messages.end()) q.messages.erase(m);
      break;
    }
    case JournalRecord::kBackoutCount: {
      auto it = queues_.find(r.queue);
      if (it == queues_.end()) return;
      Queue& q = *it->second;
      auto m = FindStored(q, r.priority, r.seq);
      if (m != q.messages.end()) m->second.md.BackoutCount = r.backout_count;
      break;
    }
    case JournalRecord::kDefineObject: {
      ObjectDef def;
      if (!ObjectFromAttrs(r.object_type, r.attrs, &def)) {
        LogError("AMQ7472W: journal object definition skipped");
        return;
      }
      if (r.object_type == MQOT_Q_MGR) {
        objects_.qmgr = std::move(def);
      } else if (auto* objects = objects_.Of(r.object_type)) {
        (*objects)[def.name] = std::move(def);
      }
      break;
    }
    case JournalRecord::kDeleteObject:
      if (auto* objects = objects_.Of(r.object_type)) objects->erase(r.queue);
      break;
    case JournalRecord::kChannelSync:
      objects_.channel_sync[r.queue] = static_cast<MQLONG>(r.seq);
      break;
    case JournalRecord::kEnd:
      break;
  }
}

QueuePtr QueueManager::NewQueue(QueueDef def) {
  auto q = std::make_shared<Queue>();
  q->def = std::move(def);
  q->stats.reset_time = time(nullptr);
  queues_[q->def.name] = q;
  return q;
}

void QueueManager::CreateDefaults() {
  struct Default {
    const char* name;
    MQLONG type;
    const char* desc;
    MQLONG max_depth;
    MQLONG usage = MQUS_NORMAL;
  };
  const Default defaults[] = {
      {kCommandQueue, MQQT_LOCAL, "Command server input queue", 3000},
      {kDefaultModelQueue, MQQT_MODEL, "Default model queue", 5000},
      {kDeadLetterQueue, MQQT_LOCAL, "Dead-letter queue", 999999999},
      {"SYSTEM.ADMIN.QMGR.EVENT", MQQT_LOCAL, "Queue-manager event queue", 3000},
      {"SYSTEM.ADMIN.CHANNEL.EVENT", MQQT_LOCAL, "Channel event queue", 3000},
      {"SYSTEM.ADMIN.PERFM.EVENT", MQQT_LOCAL, "Performance event queue", 3000},
      {kClusterXmitQueue, MQQT_LOCAL, "Cluster transmission queue", 999999999, MQUS_TRANSMISSION},
  };
  CreateDefaultObjects();
  for (const auto& d : defaults) {
    if (queues_.count(d.name)) continue;
    QueueDef def;
    def.name = d.name;
    def.type = d.type;
    def.strs[MQCA_Q_DESC] = d.desc;
    def.ints[MQIA_MAX_Q_DEPTH] = d.max_depth;
    if (d.type == MQQT_LOCAL) def.ints[MQIA_USAGE] = d.usage;
    def.ApplyDefaults();
    NewQueue(std::move(def));
  }
}

void QueueManager::CreateDefaultObjects() {
  if (objects_.qmgr.name.empty()) {
    ObjectDef& q = objects_.qmgr;
    q.name = name_;
    char id[64];
    snprintf(id, sizeof id, "%s_%08X", name_.c_str(), static_cast<unsigned>(start_time_));
    q.strs[MQCA_Q_MGR_IDENTIFIER] = id;
    q.strs[MQCA_CREATION_DATE] = TodayDate();
    q.strs[MQCA_CREATION_TIME] = NowTime();
    ApplyObjectDefaults(MQOT_Q_MGR, &q);
  }
  objects_.qmgr.name = name_;
  struct DefaultChannel {
    const char* name;
    MQLONG type;
  };
  const DefaultChannel channels[] = {
      {"SYSTEM.DEF.SENDER", MQCHT_SENDER},       {"SYSTEM.DEF.SERVER", MQCHT_SERVER},
      {"SYSTEM.DEF.RECEIVER", MQCHT_RECEIVER},   {"SYSTEM.DEF.REQUESTER", MQCHT_REQUESTER},
      {"SYSTEM.DEF.SVRCONN", MQCHT_SVRCONN},     {"SYSTEM.DEF.CLNTCONN", MQCHT_CLNTCONN},
      {"SYSTEM.DEF.CLUSRCVR", MQCHT_CLUSRCVR},   {"SYSTEM.DEF.CLUSSDR", MQCHT_CLUSSDR},
  };
  for (const auto& c : channels) {
    if (objects_.channels.count(c.name)) continue;
    ObjectDef def;
    def.name = c.name;
    def.subtype = c.type;
    ApplyObjectDefaults(MQOT_CHANNEL, &def);
    objects_.channels[def.name] = std::move(def);
  }
  if (!objects_.processes.count("SYSTEM.DEFAULT.PROCESS")) {
    ObjectDef def;
    def.name = "SYSTEM.DEFAULT.PROCESS";
    ApplyObjectDefaults(MQOT_PROCESS, &def);
    objects_.processes[def.name] = std::move(def);
  }
  if (!objects_.namelists.count("SYSTEM.DEFAULT.NAMELIST")) {
    ObjectDef def;
    def.name = "SYSTEM.DEFAULT.NAMELIST";
    ApplyObjectDefaults(MQOT_NAMELIST, &def);
    objects_.namelists[def.name] = std::move(def);
  }
}

bool QueueManager::Checkpoint() {
  std::vector<JournalRecord> records;
  auto object_record = [&](MQLONG type, const ObjectDef& def) {
    JournalRecord r;
    r.type = JournalRecord::kDefineObject;
    r.object_type = type;
    r.attrs = ObjectToAttrs(type, def);
    records.push_back(std::move(r));
  };
  object_record(MQOT_Q_MGR, objects_.qmgr);
  for (MQLONG type : {MQOT_PROCESS, MQOT_NAMELIST, MQOT_CHANNEL})
    for (const auto& [name, def] : *objects_.Of(type)) object_record(type, def);
  for (const auto& [key, seq] : objects_.channel_sync) {
    JournalRecord r;
    r.type = JournalRecord::kChannelSync;
    r.queue = key;
    r.seq = static_cast<uint64_t>(seq);
    records.push_back(std::move(r));
  }
  for (const auto& [name, q] : queues_) {
    if (q->temporary) continue;
    JournalRecord d;
    d.type = JournalRecord::kDefineQueue;
    d.attrs = q->def.ToAttrs();
    records.push_back(std::move(d));
    for (const auto& [key, m] : q->messages) {
      if (!m.persistent || m.put_uow != 0) continue;
      JournalRecord p;
      p.type = JournalRecord::kPutMessage;
      p.queue = name;
      p.seq = m.seq;
      p.md = m.md;
      p.data = m.data;
      records.push_back(std::move(p));
    }
  }
  std::string error;
  if (!journal_.WriteCheckpoint(records, &error)) {
    LogError("AMQ6119E: " + error);
    return false;
  }
  return true;
}

void QueueManager::JournalDefine(const Queue& q) {
  if (q.temporary) return;
  JournalRecord d;
  d.type = JournalRecord::kDefineQueue;
  d.attrs = q.def.ToAttrs();
  journal_.Append({d});
}

bool QueueManager::FlushJournal() {
  if (!journal_.HasPending()) return true;
  std::string error;
  if (!journal_.Sync(&error)) {
    LogError("AMQ6119E: " + error);
    return false;
  }
  if (journal_.journal_bytes() > kCheckpointJournalBytes) return Checkpoint();
  return true;
}

// ---- 2. Sessions ------------------------------------------------------------

Session* QueueManager::Connect(const std::string& user, const std::string& appl, ReplySink* sink) {
  auto s = std::make_unique<Session>();
  s->id = g_next_session++;
  s->qmgr_name = name_;
  s->user = user;
  s->appl = appl;
  s->sink = sink;
  Session* raw = s.get();
  sessions_[raw->id] = std::move(s);
  return raw;
}

void QueueManager::Disconnect(Session* s) {
  if (s->pending) {
    waiting_.remove(s);
    s->pending.reset();
  }
  EndUow(s, false);
  while (!s->handles.empty()) CloseHandle(s, s->handles.begin()->second, MQCO_NONE);
  sessions_.erase(s->id);
}

Handle* QueueManager::FindHandle(Session* s, MQHOBJ hobj) {
  auto it = s->handles.find(hobj);
  return it == s->handles.end() ? nullptr : &it->second;
}

bool QueueManager::OpenQueueEmpty(Session* s, MQHOBJ hobj) {
  Handle* h = FindHandle(s, hobj);
  return h != nullptr && h->queue && !h->queue->deleted && h->queue->messages.empty();
}

// ---- 3. MQOPEN and MQCLOSE --------------------------------------------------

QueuePtr QueueManager::Resolve(const std::string& name, MQLONG* reason, QueuePtr* alias) {
  auto it = queues_.find(name);
  if (it == queues_.end()) {
    *reason = MQRC_UNKNOWN_OBJECT_NAME;
    return nullptr;
  }
  QueuePtr q = it->second;
  if (q->def.type != MQQT_ALIAS) return q;
  auto base = queues_.find(q->def.Str(MQCA_BASE_Q_NAME));
  if (base == queues_.end()) {
    *reason = MQRC_UNKNOWN_ALIAS_BASE_Q;
    return nullptr;
  }
  if (base->second->def.type != MQQT_LOCAL && base->second->def.type != MQQT_REMOTE) {
    *reason = MQRC_ALIAS_BASE_Q_TYPE_ERROR;
    return nullptr;
  }
  if (alias != nullptr) *alias = q;
  return base->second;
}

QueuePtr QueueManager::ResolveForOutput(const std::string& name, MQLONG* reason, QueuePtr* alias_out) {
  QueuePtr alias;
  QueuePtr q = Resolve(name, reason, &alias);
  if (!q) return nullptr;
  if (q->def.type != MQQT_LOCAL) {
    *reason = MQRC_UNKNOWN_REMOTE_Q_MGR;
    return nullptr;
  }
  if (alias && alias->def.Int(MQIA_INHIBIT_PUT) == MQQA_PUT_INHIBITED) {
    *reason = MQRC_PUT_INHIBITED;
    return nullptr;
  }
  if (alias_out != nullptr) *alias_out = alias;
  return q;
}

QueuePtr QueueManager::FindQueue(const std::string& name) const {
  auto it = queues_.find(name);
  return it == queues_.end() ? nullptr : it->second;
}

void QueueManager::ForEachQueue(const std::string& pattern, const std::function<void(const Queue&)>& fn) const {
  const bool generic = !pattern.empty() && pattern.back() == '*';
  if (!generic) {
    if (QueuePtr q = FindQueue(pattern)) fn(*q);
    return;
  }
  const std::string prefix = pattern.substr(0, pattern.size() - 1);
  for (auto it = queues_.lower_bound(prefix); it != queues_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
       ++it)
    fn(*it->second);
}

MQLONG QueueManager::CheckOpenOptions(const OpenRequest& req) const {
  const MQLONG opts = req.options;
  if (state_ == QmgrState::kQuiescing && (opts & MQOO_FAIL_IF_QUIESCING)) return MQRC_Q_MGR_QUIESCING;
  if (state_ == QmgrState::kEnded) return MQRC_Q_MGR_STOPPING;
  if (opts & ~kKnownOpenOptions) return MQRC_OPTIONS_ERROR;
  if (PopCount(opts & kInputOptions) > 1) return MQRC_OPTIONS_ERROR;
  if ((opts & (kInputOptions | MQOO_BROWSE | MQOO_OUTPUT | MQOO_INQUIRE | MQOO_SET)) == 0)
    return MQRC_OPTIONS_ERROR;
  if ((opts & MQOO_ALTERNATE_USER_AUTHORITY) && !req.od.alternate_user.empty() &&
      Denied(req.od.alternate_user))
    return MQRC_NOT_AUTHORIZED;
  return MQRC_NONE;
}

OpenReply QueueManager::OpenQmgrObject(Session* s, Handle h) {
  OpenReply reply;
  h.qmgr_object = true;
  h.hobj = TakeHobj(s);
  reply.hobj = h.hobj;
  reply.object_name = name_;
  reply.resolved_qmgr = name_;
  s->handles[h.hobj] = std::move(h);
  return reply;
}

// The queue the handle puts to or gets from: a queue of this queue manager
// (for output to another queue manager, its transmission queue), or null
// for a remote definition opened for inquiry and for output that goes
// straight to another queue manager of this server (h->foreign).
MQLONG QueueManager::ResolveOpenTarget(const OpenRequest& req, Handle* h, QueuePtr* out) {
  const MQLONG opts = req.options;
  const bool output = (opts & MQOO_OUTPUT) != 0;
  const bool not_for_remote = (opts & (kInputOptions | MQOO_BROWSE | MQOO_SET)) != 0;
  MQLONG rc = MQRC_NONE;
  std::string target_q = req.od.name;
  std::string target_qmgr = req.od.qmgr == name_ ? std::string() : req.od.qmgr;
  std::string xmitq_name;  // named by a remote definition
  if (target_qmgr.empty()) {
    QueuePtr q = Resolve(req.od.name, &rc, &h->alias);
    if (!q) {
      // Not defined here: a cluster queue that another member hosts.
      std::string host = rc == MQRC_UNKNOWN_OBJECT_NAME ? ClusterHostOf(*this, req.od.name) : "";
      if (host.empty()) return rc;
      if (!output || not_for_remote) return MQRC_UNKNOWN_OBJECT_NAME;
      target_qmgr = host;
    } else if (q->def.type != MQQT_REMOTE) {
      h->resolved_q = q->def.name;
      *out = q;
      return MQRC_NONE;
    } else {
      if (not_for_remote) return MQRC_OPTION_NOT_VALID_FOR_TYPE;
      h->remote_def = q;
      if (!output) {
        h->resolved_q = q->def.name;
        return MQRC_NONE;
      }
      target_q = q->def.Str(MQCA_REMOTE_Q_NAME);
      target_qmgr = q->def.Str(MQCA_REMOTE_Q_MGR_NAME);
      xmitq_name = q->def.Str(MQCA_XMIT_Q_NAME);
      if (target_q.empty()) target_q = req.od.name;
      if (target_qmgr == name_) target_qmgr.clear();
      if (target_qmgr.empty()) {
        // A remote definition that leads back here names a local queue.
        if (target_q == q->def.name) return MQRC_UNKNOWN_REMOTE_Q_MGR;
        QueuePtr local = ResolveForOutput(target_q, &rc);
        if (!local) return rc;
        h->resolved_q = local->def.name;
        *out = local;
        return MQRC_NONE;
      }
    }
  }
  if (!output) return MQRC_OPTION_NOT_VALID_FOR_TYPE;
  if (not_for_remote) return MQRC_OPTION_NOT_VALID_FOR_TYPE;
  QmgrRoute route;
  if ((rc = RouteToQmgr(&target_qmgr, xmitq_name, &route)) != MQRC_NONE) return rc;
  if (route.local) {
    QueuePtr local = ResolveForOutput(target_q, &rc);
    if (!local) return rc;
    h->resolved_q = local->def.name;
    *out = local;
    return MQRC_NONE;
  }
  if (route.xmitq) {
    h->xmit = XmitRoute{target_q, target_qmgr};
    h->resolved_q = target_q;
    h->resolved_qmgr = target_qmgr;
    *out = route.xmitq;
    return MQRC_NONE;
  }
  ForeignOutput foreign;
  if (host_ == nullptr) return MQRC_UNKNOWN_REMOTE_Q_MGR;
  if ((rc = host_->AttachOutput(target_qmgr, target_q, &foreign, &h->resolved_q)) != MQRC_NONE) return rc;
  h->resolved_qmgr = target_qmgr;
  h->foreign = std::move(foreign);
  return MQRC_NONE;
}

namespace {

// A transmission queue must be a local queue of usage XMITQ; the reasons
// differ by where its name came from.
MQLONG CheckXmitQueue(const QueuePtr& q, MQLONG unknown, MQLONG type_error, MQLONG usage_error) {
  if (!q) return unknown;
  if (q->def.type != MQQT_LOCAL) return type_error;
  if (q->def.Int(MQIA_USAGE) != MQUS_TRANSMISSION) return usage_error;
  return MQRC_NONE;
}

}  // namespace

MQLONG QueueManager::RouteToQmgr(std::string* qmgr, const std::string& xmitq_name, QmgrRoute* route) {
  if (!xmitq_name.empty()) {
    route->xmitq = FindQueue(xmitq_name);
    return CheckXmitQueue(route->xmitq, MQRC_UNKNOWN_XMIT_Q, MQRC_XMIT_Q_TYPE_ERROR, MQRC_XMIT_Q_USAGE_ERROR);
  }
  QueuePtr named = FindQueue(*qmgr);
  if (named && named->def.type == MQQT_REMOTE && named->def.Str(MQCA_REMOTE_Q_NAME).empty()) {
    // A queue-manager alias: another name, a transmission queue of its
    // own, or this queue manager. The name it leads to is not an alias
    // again (no loops).
    const std::string to = named->def.Str(MQCA_REMOTE_Q_MGR_NAME);
    const std::string via = named->def.Str(MQCA_XMIT_Q_NAME);
    if (!to.empty()) *qmgr = to;
    if (*qmgr == name_) {
      route->local = true;
      return MQRC_NONE;
    }
    if (!via.empty()) return RouteToQmgr(qmgr, via, route);
    named = FindQueue(*qmgr);
    if (named && named->def.type == MQQT_REMOTE) named = nullptr;
  }
  if (named && named->def.type == MQQT_LOCAL) {
    route->xmitq = named;
    return CheckXmitQueue(named, MQRC_UNKNOWN_XMIT_Q, MQRC_XMIT_Q_TYPE_ERROR, MQRC_XMIT_Q_USAGE_ERROR);
  }
  if (IsClusterMember(*this, *qmgr)) {
    route->xmitq = FindQueue(kClusterXmitQueue);
    return CheckXmitQueue(route->xmitq, MQRC_UNKNOWN_XMIT_Q, MQRC_XMIT_Q_TYPE_ERROR, MQRC_XMIT_Q_USAGE_ERROR);
  }
  const std::string def_xmitq = objects_.qmgr.Str(MQCA_DEF_XMIT_Q_NAME);
  if (!def_xmitq.empty()) {
    route->xmitq = FindQueue(def_xmitq);
    return CheckXmitQueue(route->xmitq, MQRC_UNKNOWN_DEF_XMIT_Q, MQRC_DEF_XMIT_Q_TYPE_ERROR,
                          MQRC_DEF_XMIT_Q_USAGE_ERROR);
  }
  // No transmission queue leads there: a queue manager of this server is
  // reached directly, as if by a channel that is always running.
  if (host_ != nullptr && host_->FindRunning(*qmgr) != nullptr) {
    route->direct = true;
    return MQRC_NONE;
  }
  return MQRC_UNKNOWN_REMOTE_Q_MGR;
}

// Opening a model queue creates a dynamic local queue from it.
MQLONG QueueManager::CreateDynamicQueue(Session* s, const OpenRequest& req, QueuePtr* q,
                                        std::string* object_name) {
  MQLONG rc = MQRC_NONE;
  std::string dyn = MakeDynamicName(req.od.dynamic_name, &rc);
  if (dyn.empty()) return rc;
  QueueDef def = (*q)->def;
  def.name = dyn;
  def.type = MQQT_LOCAL;
  def.strs[MQCA_CREATION_DATE] = TodayDate();
  def.strs[MQCA_CREATION_TIME] = NowTime();
  def.strs[MQCA_ALTERATION_DATE] = def.strs[MQCA_CREATION_DATE];
  def.strs[MQCA_ALTERATION_TIME] = def.strs[MQCA_CREATION_TIME];
  bool temporary = def.Int(MQIA_DEFINITION_TYPE) != MQQDT_PERMANENT_DYNAMIC;
  if (temporary) def.ints[MQIA_DEFINITION_TYPE] = MQQDT_TEMPORARY_DYNAMIC;
  *q = NewQueue(std::move(def));
  (*q)->temporary = temporary;
  (*q)->creator_session = s->id;
  (*q)->creator_hobj = PeekHobj(s);  // the handle this open is about to get
  *object_name = dyn;
  JournalDefine(**q);
  return MQRC_NONE;
}

// Input sharing, then the open counts of the queue and of the definitions
// opened on the way to it.
MQLONG QueueManager::CountOpen(const QueuePtr& q, const Handle& h) {
  const MQLONG opts = h.options;
  if (q && (opts & kInputOptions)) {
    MQLONG input = opts & kInputOptions;
    if (input == MQOO_INPUT_AS_Q_DEF)
      input = q->def.Int(MQIA_DEF_INPUT_OPEN_OPTION) == MQOO_INPUT_EXCLUSIVE ? MQOO_INPUT_EXCLUSIVE
                                                                            : MQOO_INPUT_SHARED;
    bool exclusive = input == MQOO_INPUT_EXCLUSIVE;
    if (q->exclusive_input) return MQRC_OBJECT_IN_USE;
    if (q->open_input > 0 && (exclusive || q->def.Int(MQIA_SHAREABILITY) == MQQA_NOT_SHAREABLE))
      return MQRC_OBJECT_IN_USE;
    q->exclusive_input = exclusive;
    ++q->open_input;
  }
  if (q && (opts & MQOO_OUTPUT)) ++q->open_output;
  QueuePtr counted = q ? q : h.remote_def;
  if (counted) ++counted->open_handles;
  if (h.alias) ++h.alias->open_handles;
  return MQRC_NONE;
}

OpenReply QueueManager::OpenObject(Session* s, const OpenRequest& req) {
  OpenReply reply;
  auto fail = [&](MQLONG rc) {
    reply.cc = MQCC_FAILED;
    reply.rc = rc;
    reply.hobj = MQHO_UNUSABLE_HOBJ;
    if (rc == MQRC_UNKNOWN_OBJECT_NAME || rc == MQRC_NOT_AUTHORIZED)
      ObjectEvent(s, rc, req.od.name, req.od.qmgr, req.options, req.od.alternate_user);
    return reply;
  };
  const MQLONG opts = req.options;
  if (MQLONG rc = CheckOpenOptions(req); rc != MQRC_NONE) return fail(rc);

  Handle h;
  h.options = opts;
  h.resolved_qmgr = name_;

  if (req.od.object_type == MQOT_Q_MGR) {
    if (opts & ~(MQOO_INQUIRE | MQOO_FAIL_IF_QUIESCING | MQOO_ALTERNATE_USER_AUTHORITY))
      return fail(MQRC_OPTION_NOT_VALID_FOR_TYPE);
    if (!req.od.name.empty() && req.od.name != name_) return fail(MQRC_UNKNOWN_OBJECT_NAME);
    return OpenQmgrObject(s, std::move(h));
  }
  if (req.od.object_type != MQOT_Q) return fail(MQRC_OBJECT_TYPE_ERROR);
  if (req.od.name.empty()) return fail(MQRC_UNKNOWN_OBJECT_NAME);

  QueuePtr q;
  if (MQLONG rc = ResolveOpenTarget(req, &h, &q); rc != MQRC_NONE) return fail(rc);
  std::string object_name = req.od.name;
  if (q && q->def.type == MQQT_MODEL) {
    if (h.xmit) return fail(MQRC_Q_TYPE_ERROR);
    if (MQLONG rc = CreateDynamicQueue(s, req, &q, &object_name); rc != MQRC_NONE) {
      if (h.foreign && host_ != nullptr) host_->DetachOutput(*h.foreign);
      return fail(rc);
    }
    h.resolved_q = object_name;
  }
  if (MQLONG rc = CountOpen(q, h); rc != MQRC_NONE) return fail(rc);
  h.queue = q;
  h.hobj = TakeHobj(s);
  reply.hobj = h.hobj;
  reply.object_name = object_name;
  reply.resolved_q = h.resolved_q.empty() ? object_name : h.resolved_q;
  reply.resolved_qmgr = h.resolved_qmgr;
  s->handles[h.hobj] = std::move(h);
  return reply;
}

void QueueManager::CloseHandle(Session* s, Handle& h, MQLONG options) {
  QueuePtr q = h.queue;
  if (q) {
    if (h.options & kInputOptions) {
      --q->open_input;
      if (q->open_input == 0) q->exclusive_input = false;
    }
    if (h.options & MQOO_OUTPUT) --q->open_output;
  }
  QueuePtr counted = q ? q : h.remote_def;
  if (counted) --counted->open_handles;
  if (h.alias) --h.alias->open_handles;
  if (h.foreign && host_ != nullptr) host_->DetachOutput(*h.foreign);
  bool remove = false;
  if (q && !q->deleted) {
    if (q->temporary && q->creator_session == s->id && q->creator_hobj == h.hobj) remove = true;
    if (options & (MQCO_DELETE | MQCO_DELETE_PURGE)) remove = true;
  }
  s->handles.erase(h.hobj);
  if (remove) DeleteQueueObject(q);
}

ReplyHead QueueManager::Close(Session* s, const CloseRequest& req) {
  Handle* h = FindHandle(s, req.hobj);
  if (h == nullptr) return Fail(MQRC_HOBJ_ERROR);
  if (req.options & ~(MQCO_DELETE | MQCO_DELETE_PURGE)) return Fail(MQRC_OPTIONS_ERROR);
  if (req.options != MQCO_NONE) {
    QueuePtr q = h->queue;
    MQLONG deftype = q ? q->def.Int(MQIA_DEFINITION_TYPE) : MQQDT_PREDEFINED;
    if (!q || h->alias || deftype == MQQDT_PREDEFINED) return Fail(MQRC_OPTION_NOT_VALID_FOR_TYPE);
    if (deftype == MQQDT_PERMANENT_DYNAMIC) {
      bool uncommitted = std::any_of(q->messages.begin(), q->messages.end(),
                                     [](const auto& kv) { return !kv.second.Visible(); });
      if (uncommitted || (!q->messages.empty() && req.options == MQCO_DELETE))
        return Fail(MQRC_Q_NOT_EMPTY);
      if (q->open_handles > 1) return Fail(MQRC_OBJECT_IN_USE);
    }
  }
  CloseHandle(s, *h, req.options);
  return ReplyHead{};
}

void QueueManager::DeleteQueueObject(const QueuePtr& q) {
  // Waiting gets on the queue learn of it at once.
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    Session* w = *it++;
    if (w->pending && w->pending->queue == q) FinishPending(w, MQCC_FAILED, MQRC_Q_DELETED);
  }
  if (!q->temporary) {
    JournalRecord d;
    d.type = JournalRecord::kDeleteQueue;
    d.queue = q->def.name;
    journal_.Append({d});
  }
  q->deleted = true;
  q->messages.clear();
  queues_.erase(q->def.name);
}

// ---- 4. MQPUT and MQPUT1 ----------------------------------------------------

PutReply QueueManager::Put(Session* s, const PutRequest& req, bool put1) {
  PutReply reply;
  auto fail = [&](MQLONG rc) {
    reply.cc = MQCC_FAILED;
    reply.rc = rc;
    return reply;
  };
  if (!put1) {
    Handle* h = FindHandle(s, req.hobj);
    if (h == nullptr) return fail(MQRC_HOBJ_ERROR);
    if (!(h->options & MQOO_OUTPUT) || (!h->queue && !h->foreign)) return fail(MQRC_NOT_OPEN_FOR_OUTPUT);
    PutThroughHandle(s, h, req, false, &reply);
    return reply;
  }
  OpenRequest open;
  open.od = req.od;
  open.options = MQOO_OUTPUT;
  if (req.options & MQPMO_ALTERNATE_USER_AUTHORITY) open.options |= MQOO_ALTERNATE_USER_AUTHORITY;
  if (req.options & MQPMO_FAIL_IF_QUIESCING) open.options |= MQOO_FAIL_IF_QUIESCING;
  if (req.options & MQPMO_SET_ALL_CONTEXT) open.options |= MQOO_SET_ALL_CONTEXT;
  if (req.options & MQPMO_SET_IDENTITY_CONTEXT) open.options |= MQOO_SET_IDENTITY_CONTEXT;
  if (req.options & MQPMO_PASS_ALL_CONTEXT) open.options |= MQOO_PASS_ALL_CONTEXT;
  if (req.options & MQPMO_PASS_IDENTITY_CONTEXT) open.options |= MQOO_PASS_IDENTITY_CONTEXT;
  OpenReply opened = OpenObject(s, open);
  if (opened.cc == MQCC_FAILED) return fail(opened.rc);
  PutThroughHandle(s, FindHandle(s, opened.hobj), req, true, &reply);
  CloseHandle(s, *FindHandle(s, opened.hobj), MQCO_NONE);
  return reply;
}

// The caller's side: option checks, the context of the message and its ids.
MQLONG QueueManager::StagePut(Session* s, const Handle& h, const PutRequest& req, bool put1, StagedPut* staged) {
  const MQLONG opts = req.options;
  if (state_ == QmgrState::kQuiescing && (opts & MQPMO_FAIL_IF_QUIESCING)) return MQRC_Q_MGR_QUIESCING;
  if (state_ == QmgrState::kEnded) return MQRC_Q_DELETED;
  if ((opts & MQPMO_SYNCPOINT) && (opts & MQPMO_NO_SYNCPOINT)) return MQRC_OPTIONS_ERROR;
  if (PopCount(opts & kPmoContextOptions) > 1) return MQRC_OPTIONS_ERROR;
  if (!put1) {
    if ((opts & MQPMO_SET_ALL_CONTEXT) && !(h.options & MQOO_SET_ALL_CONTEXT)) return MQRC_NOT_OPEN_FOR_SET_ALL;
    if ((opts & MQPMO_SET_IDENTITY_CONTEXT) && !(h.options & (MQOO_SET_IDENTITY_CONTEXT | MQOO_SET_ALL_CONTEXT)))
      return MQRC_NOT_OPEN_FOR_SET_IDENT;
    if ((opts & MQPMO_PASS_ALL_CONTEXT) && !(h.options & (MQOO_PASS_ALL_CONTEXT | MQOO_SET_ALL_CONTEXT)))
      return MQRC_NOT_OPEN_FOR_PASS_ALL;
    if ((opts & MQPMO_PASS_IDENTITY_CONTEXT) &&
        !(h.options & (MQOO_PASS_IDENTITY_CONTEXT | MQOO_PASS_ALL_CONTEXT | MQOO_SET_IDENTITY_CONTEXT |
                       MQOO_SET_ALL_CONTEXT)))
      return MQRC_NOT_OPEN_FOR_PASS_IDENT;
  }
  const Handle* ctx = nullptr;
  if (opts & (MQPMO_PASS_ALL_CONTEXT | MQPMO_PASS_IDENTITY_CONTEXT)) {
    auto it = s->handles.find(req.context);
    if (it == s->handles.end() || !(it->second.options & MQOO_SAVE_ALL_CONTEXT) ||
        !(it->second.options & kInputOptions))
      return MQRC_CONTEXT_HANDLE_ERROR;
    ctx = &it->second;
  }
  const bool syncpoint = (opts & MQPMO_SYNCPOINT) != 0;
  if (syncpoint && s->uow.size() + s->uow_foreign_puts >= kMaxUncommitted) return MQRC_SYNCPOINT_LIMIT_REACHED;

  MQMD md = req.md;
  if ((opts & MQPMO_NEW_MSG_ID) || IsZero(md.MsgId, sizeof md.MsgId)) MakeMsgId(md.MsgId);
  if (opts & MQPMO_NEW_CORREL_ID) MakeMsgId(md.CorrelId);
  md.BackoutCount = 0;
  std::string rtq = FieldText(md.ReplyToQ, 48);
  if (!rtq.empty() && FieldText(md.ReplyToQMgr, 48).empty()) SetField(md.ReplyToQMgr, 48, s->qmgr_name);

  // Context: identity (user, accounting token, application identity) and
  // origin (application type and name, date, time, origin data).
  auto set_identity_default = [&] {
    SetField(md.UserIdentifier, 12, s->user);
    std::memset(md.AccountingToken, 0, sizeof md.AccountingToken);
    SetField(md.ApplIdentityData, 32, "");
  };
  auto set_origin_default = [&] {
    md.PutApplType = MQAT_DEFAULT;
    SetField(md.PutApplName, 28, s->appl);
    StampPutTime(&md);
    SetField(md.ApplOriginData, 4, "");
  };
  if (opts & MQPMO_NO_CONTEXT) {
    SetField(md.UserIdentifier, 12, "");
    std::memset(md.AccountingToken, 0, sizeof md.AccountingToken);
    SetField(md.ApplIdentityData, 32, "");
    md.PutApplType = MQAT_NO_CONTEXT;
    SetField(md.PutApplName, 28, "");
    SetField(md.PutDate, 8, "");
    SetField(md.PutTime, 8, "");
    SetField(md.ApplOriginData, 4, "");
  } else if (opts & MQPMO_SET_ALL_CONTEXT) {
    // all context as given
  } else if (opts & MQPMO_SET_IDENTITY_CONTEXT) {
    set_origin_default();
  } else if (opts & (MQPMO_PASS_ALL_CONTEXT | MQPMO_PASS_IDENTITY_CONTEXT)) {
    const MQMD& from = ctx->context.md;
    if (ctx->context.valid) {
      std::memcpy(md.UserIdentifier, from.UserIdentifier, 12);
      std::memcpy(md.AccountingToken, from.AccountingToken, 32);
      std::memcpy(md.ApplIdentityData, from.ApplIdentityData, 32);
    } else {
      set_identity_default();
    }
    if ((opts & MQPMO_PASS_ALL_CONTEXT) && ctx->context.valid) {
      md.PutApplType = from.PutApplType;
      std::memcpy(md.PutApplName, from.PutApplName, 28);
      std::memcpy(md.PutDate, from.PutDate, 8);
      std::memcpy(md.PutTime, from.PutTime, 8);
      std::memcpy(md.ApplOriginData, from.ApplOriginData, 4);
    } else {
      set_origin_default();
    }
  } else {
    set_identity_default();
    set_origin_default();
  }
  staged->md = md;
  staged->data = req.data;
  staged->syncpoint = syncpoint;
  staged->uow = s->id;
  staged->appl = s->appl;
  staged->internal = s->internal;
  return MQRC_NONE;
}

// Stages the message here, then stores it here or, for a queue of another
// queue manager of this server, there through the Host; a put under
// syncpoint there joins that queue manager to the unit of work.
MQLONG QueueManager::PutThroughHandle(Session* s, Handle* h, const PutRequest& req, bool put1, PutReply* reply) {
  StagedPut staged;
  if (MQLONG rc = StagePut(s, *h, req, put1, &staged); rc != MQRC_NONE) {
    reply->cc = MQCC_FAILED;
    reply->rc = rc;
    return rc;
  }
  if (!h->foreign) {
    const Queue* first_def = h->alias ? h->alias.get() : h->remote_def ? h->remote_def.get() : h->queue.get();
    return StoreMessage(h->queue, first_def, h->alias.get(), h->xmit ? &*h->xmit : nullptr, staged, &s->uow, reply);
  }
  MQLONG rc = host_ != nullptr ? host_->PutForeign(*h->foreign, staged, reply) : MQRC_Q_DELETED;
  if (host_ == nullptr) {
    reply->cc = MQCC_FAILED;
    reply->rc = rc;
  }
  if (reply->cc != MQCC_FAILED && staged.syncpoint) {
    auto [it, added] = s->uow_partners.emplace(h->foreign->qmgr, h->foreign->incarnation);
    if (!added && it->second != h->foreign->incarnation) s->uow_part_lost = true;
    ++s->uow_foreign_puts;
  }
  return rc;
}

// The store, at the queue manager that holds the queue: the checks of the
// queue, the defaults of the first definition on the way (alias, remote
// definition or the queue), the transmission header when the queue is a
// transmission queue on the way elsewhere, and the message itself.
MQLONG QueueManager::StoreMessage(const QueuePtr& q, const Queue* first_def, const Queue* alias,
                                  const XmitRoute* xmit, const StagedPut& put, std::vector<UowEntry>* uow,
                                  PutReply* reply) {
  auto fail = [&](MQLONG rc) {
    reply->cc = MQCC_FAILED;
    reply->rc = rc;
    if (rc == MQRC_PUT_INHIBITED && !put.internal)
      ObjectEventFor(put.appl, rc, first_def != nullptr ? first_def->def.name : q->def.name, "", 0, "");
    if (rc == MQRC_Q_FULL) QueueFull(*q);
    return rc;
  };
  if (state_ == QmgrState::kEnded || q->deleted) return fail(MQRC_Q_DELETED);
  for (const Queue* d : {static_cast<const Queue*>(q.get()), alias, first_def})
    if (d != nullptr && d->def.Int(MQIA_INHIBIT_PUT) == MQQA_PUT_INHIBITED) return fail(MQRC_PUT_INHIBITED);
  if (first_def == nullptr) first_def = q.get();

  MQMD md = put.md;
  MQLONG persistence = md.Persistence;
  if (persistence == MQPER_PERSISTENCE_AS_Q_DEF) persistence = first_def->def.Int(MQIA_DEF_PERSISTENCE);
  if (persistence != MQPER_PERSISTENT && persistence != MQPER_NOT_PERSISTENT) return fail(MQRC_PERSISTENCE_ERROR);
  if (persistence == MQPER_PERSISTENT && q->temporary) return fail(MQRC_PERSISTENT_NOT_ALLOWED);
  MQLONG warning = MQRC_NONE;
  if (md.Priority == MQPRI_PRIORITY_AS_Q_DEF) {
    md.Priority = first_def->def.Int(MQIA_DEF_PRIORITY);
  } else if (md.Priority < 0) {
    return fail(MQRC_PRIORITY_ERROR);
  } else if (md.Priority > kMaxPriority) {
    warning = MQRC_PRIORITY_EXCEEDS_MAXIMUM;
  }
  const size_t stored_length = put.data.size() + (xmit != nullptr ? sizeof(MQXQH) : 0);
  if (put.data.size() > static_cast<size_t>(kMaxMsgLength)) return fail(MQRC_MSG_TOO_BIG_FOR_Q_MGR);
  if (static_cast<int64_t>(stored_length) > q->def.Int(MQIA_MAX_MSG_LENGTH)) return fail(MQRC_MSG_TOO_BIG_FOR_Q);
  if (static_cast<int64_t>(q->messages.size()) >= q->def.Int(MQIA_MAX_Q_DEPTH)) return fail(MQRC_Q_FULL);
  md.Persistence = persistence;
  if (warning == MQRC_PRIORITY_EXCEEDS_MAXIMUM) md.Priority = kMaxPriority;

  Message m;
  m.seq = next_seq_++;
  m.md = md;
  if (xmit != nullptr) {
    // On a transmission queue the message travels behind an MQXQH that
    // names where it goes and carries its own descriptor.
    MQXQH xqh{};
    std::memcpy(xqh.StrucId, MQXQH_STRUC_ID, 4);
    xqh.Version = MQXQH_VERSION_1;
    SetField(xqh.RemoteQName, 48, xmit->remote_q);
    SetField(xqh.RemoteQMgrName, 48, xmit->remote_qmgr);
    std::memcpy(&xqh.MsgDesc, &md, sizeof xqh.MsgDesc);
    xqh.MsgDesc.Version = MQMD_VERSION_1;
    m.data.assign(reinterpret_cast<const char*>(&xqh), sizeof xqh);
    m.data.append(put.data);
    std::memcpy(m.md.Format, MQFMT_XMIT_Q_HEADER, 8);
    m.md.Encoding = MQENC_NATIVE;
    m.md.CodedCharSetId = kQmgrCcsid;
  } else {
    m.data.assign(put.data);
  }
  m.persistent = persistence == MQPER_PERSISTENT;
  MQLONG prio = q->def.Int(MQIA_MSG_DELIVERY_SEQUENCE) == MQMDS_FIFO ? 0 : m.md.Priority;
  MsgKey key{-prio, m.seq};
  if (put.syncpoint) {
    m.put_uow = put.uow;
    uow->push_back(UowEntry{q, key, true});
  } else if (m.persistent && !q->temporary) {
    JournalRecord r;
    r.type = JournalRecord::kPutMessage;
    r.queue = q->def.name;
    r.seq = m.seq;
    r.md = m.md;
    r.data = m.data;
    journal_.Append({r});
  }
  if (md.Expiry > 0) {
    m.expires = Clock::now() + std::chrono::milliseconds(int64_t{md.Expiry} * 100);
    q->may_expire = true;
  }
  q->messages.emplace(key, std::move(m));
  ++q->stats.enq_count;
  q->stats.high_depth = std::max(q->stats.high_depth, static_cast<MQLONG>(q->messages.size()));
  DepthChanged(*q, true);
  if (warning == MQRC_PRIORITY_EXCEEDS_MAXIMUM) md.Priority = put.md.Priority;
  reply->md = md;
  reply->resolved_q = xmit != nullptr ? xmit->remote_q : q->def.name;
  reply->resolved_qmgr = xmit != nullptr ? xmit->remote_qmgr : name_;
  if (warning != MQRC_NONE) {
    reply->cc = MQCC_WARNING;
    reply->rc = warning;
  }
  if (!put.syncpoint) WakeWaiters(q);
  return reply->rc;
}

// ---- 4a. Output from sessions of other queue managers -------------------------

MQLONG QueueManager::AttachOutput(const std::string& queue, uint64_t* token, std::string* resolved_q) {
  if (state_ == QmgrState::kEnded) return MQRC_UNKNOWN_REMOTE_Q_MGR;
  MQLONG rc = MQRC_NONE;
  Attachment a;
  a.queue = ResolveForOutput(queue, &rc, &a.alias);
  if (!a.queue) return rc;
  ++a.queue->open_output;
  ++a.queue->open_handles;
  if (a.alias) ++a.alias->open_handles;
  *token = g_next_attachment++;
  *resolved_q = a.queue->def.name;
  attachments_[*token] = std::move(a);
  return MQRC_NONE;
}

void QueueManager::DetachOutput(uint64_t token) {
  auto it = attachments_.find(token);
  if (it == attachments_.end()) return;
  Attachment& a = it->second;
  --a.queue->open_output;
  --a.queue->open_handles;
  if (a.alias) --a.alias->open_handles;
  attachments_.erase(it);
}

MQLONG QueueManager::PutAttached(uint64_t token, const StagedPut& put, PutReply* reply) {
  auto it = attachments_.find(token);
  if (it == attachments_.end()) {
    reply->cc = MQCC_FAILED;
    reply->rc = MQRC_Q_DELETED;
    return reply->rc;
  }
  const Attachment& a = it->second;
  std::vector<UowEntry>* part = put.syncpoint ? &uow_parts_[put.uow] : nullptr;
  MQLONG rc = StoreMessage(a.queue, a.alias ? a.alias.get() : a.queue.get(), a.alias.get(), nullptr, put, part, reply);
  if (part != nullptr && part->empty()) uow_parts_.erase(put.uow);
  return rc;
}

bool QueueManager::UowPartIntact(uint64_t uow) const {
  auto it = uow_parts_.find(uow);
  return state_ != QmgrState::kEnded && it != uow_parts_.end() && UowEntriesIntact(it->second);
}

void QueueManager::EndUowPart(uint64_t uow, bool commit) {
  auto it = uow_parts_.find(uow);
  if (it == uow_parts_.end()) return;
  std::vector<UowEntry> entries = std::move(it->second);
  uow_parts_.erase(it);
  EndUowEntries(entries, commit);
}

QueueManager* Host::FindIncarnation(const std::string& qmgr, uint64_t incarnation) {
  QueueManager* qm = FindRunning(qmgr);
  return qm != nullptr && qm->incarnation() == incarnation ? qm : nullptr;
}

MQLONG Host::AttachOutput(const std::string& qmgr, const std::string& queue, ForeignOutput* out,
                          std::string* resolved_q) {
  QueueManager* target = FindRunning(qmgr);
  if (target == nullptr) return MQRC_UNKNOWN_REMOTE_Q_MGR;
  MQLONG rc = target->AttachOutput(queue, &out->token, resolved_q);
  if (rc != MQRC_NONE) return rc;
  out->qmgr = target->name();
  out->incarnation = target->incarnation();
  return MQRC_NONE;
}

void Host::DetachOutput(const ForeignOutput& f) {
  if (QueueManager* target = FindIncarnation(f.qmgr, f.incarnation)) target->DetachOutput(f.token);
}

MQLONG Host::PutForeign(const ForeignOutput& f, const StagedPut& put, PutReply* reply) {
  QueueManager* target = FindIncarnation(f.qmgr, f.incarnation);
  if (target == nullptr) {
    // Its queue manager ended: the queue is gone for this handle.
    reply->cc = MQCC_FAILED;
    reply->rc = MQRC_Q_DELETED;
    return reply->rc;
  }
  return target->PutAttached(f.token, put, reply);
}

bool Host::ForeignUowIntact(const std::string& qmgr, uint64_t incarnation, uint64_t uow) {
  QueueManager* target = FindIncarnation(qmgr, incarnation);
  return target != nullptr && target->UowPartIntact(uow);
}

void Host::EndForeignUow(const std::string& qmgr, uint64_t incarnation, uint64_t uow, bool commit) {
  if (QueueManager* target = FindIncarnation(qmgr, incarnation)) target->EndUowPart(uow, commit);
}

// ---- 5. MQGET and waiting gets ----------------------------------------------

bool QueueManager::Get(Session* s, const GetRequest& req, GetReply* reply) {
  auto fail = [&](MQLONG rc) {
    reply->cc = MQCC_FAILED;
    reply->rc = rc;
    return true;
  };
  Handle* h = FindHandle(s, req.hobj);
  if (h == nullptr) return fail(MQRC_HOBJ_ERROR);
  const MQLONG opts = req.options;
  const MQLONG browse = opts & (MQGMO_BROWSE_FIRST | MQGMO_BROWSE_NEXT | MQGMO_BROWSE_MSG_UNDER_CURSOR);
  if (PopCount(browse) > 1) return fail(MQRC_OPTIONS_ERROR);
  if ((opts & MQGMO_SYNCPOINT) && (opts & MQGMO_NO_SYNCPOINT)) return fail(MQRC_OPTIONS_ERROR);
  if ((opts & MQGMO_MSG_UNDER_CURSOR) && browse) return fail(MQRC_OPTIONS_ERROR);
  if (browse && (opts & (MQGMO_SYNCPOINT | MQGMO_SYNCPOINT_IF_PERSISTENT))) return fail(MQRC_OPTIONS_ERROR);
  if (browse) {
    if (!(h->options & MQOO_BROWSE) || !h->queue) return fail(MQRC_NOT_OPEN_FOR_BROWSE);
  } else if (!(h->options & kInputOptions) || !h->queue) {
    return fail(MQRC_NOT_OPEN_FOR_INPUT);
  }
  if ((opts & MQGMO_WAIT) && req.wait_ms < MQWI_UNLIMITED) return fail(MQRC_WAIT_INTERVAL_ERROR);
  MQLONG rc = TryGet(s, req, reply);
  if (rc == MQRC_NO_MSG_AVAILABLE && (opts & MQGMO_WAIT) && req.wait_ms != 0) {
    PendingGet p;
    p.request = req;
    p.unlimited = req.wait_ms == MQWI_UNLIMITED;
    p.deadline = Clock::now() + std::chrono::milliseconds(p.unlimited ? 0 : req.wait_ms);
    p.queue = h->queue;
    s->pending = std::move(p);
    waiting_.push_back(s);
    return false;
  }
  return true;
}

MQLONG QueueManager::TryGet(Session* s, const GetRequest& req, GetReply* reply) {
  auto fail = [&](MQLONG rc) {
    reply->cc = MQCC_FAILED;
    reply->rc = rc;
    return rc;
  };
  Handle* h = FindHandle(s, req.hobj);
  if (h == nullptr) return fail(MQRC_HOBJ_ERROR);
  const MQLONG opts = req.options;
  if (state_ == QmgrState::kQuiescing && (opts & MQGMO_FAIL_IF_QUIESCING)) return fail(MQRC_Q_MGR_QUIESCING);
  QueuePtr q = h->queue;
  if (q->deleted) return fail(MQRC_Q_DELETED);
  if (q->def.Int(MQIA_INHIBIT_GET) == MQQA_GET_INHIBITED ||
      (h->alias && h->alias->def.Int(MQIA_INHIBIT_GET) == MQQA_GET_INHIBITED)) {
    ObjectEvent(s, MQRC_GET_INHIBITED, h->alias ? h->alias->def.name : q->def.name, "", 0, "");
    return fail(MQRC_GET_INHIBITED);
  }
  // An expired message is never returned: it goes when a get or browse
  // would have come to it.
  // The clock is read only for a queue that has held a message with an
  // expiry (most never do).
  const Clock::time_point now = q->may_expire ? Clock::now() : Clock::time_point{};
  if (q->may_expire) DiscardExpired(*q, now);

  const bool match_msg_id = (req.match_options & MQMO_MATCH_MSG_ID) && !IsZero(req.md.MsgId, 24);
  const bool match_correl_id = (req.match_options & MQMO_MATCH_CORREL_ID) && !IsZero(req.md.CorrelId, 24);
  auto matches = [&](const Message& m) {
    if (!m.Visible()) return false;
    if (match_msg_id && std::memcmp(m.md.MsgId, req.md.MsgId, 24) != 0) return false;
    if (match_correl_id && std::memcmp(m.md.CorrelId, req.md.CorrelId, 24) != 0) return false;
    return true;
  };
  const bool under_cursor = opts & (MQGMO_MSG_UNDER_CURSOR | MQGMO_BROWSE_MSG_UNDER_CURSOR);
  const bool browsing = opts & (MQGMO_BROWSE_FIRST | MQGMO_BROWSE_NEXT | MQGMO_BROWSE_MSG_UNDER_CURSOR);
  auto it = q->messages.end();
  if (under_cursor) {
    if (!h->cursor) return fail(MQRC_NO_MSG_UNDER_CURSOR);
    it = q->messages.find(*h->cursor);
    if (it == q->messages.end() || !it->second.Visible()) return fail(MQRC_NO_MSG_UNDER_CURSOR);
  } else {
    auto from = q->messages.begin();
    if ((opts & MQGMO_BROWSE_NEXT) && h->cursor) from = q->messages.upper_bound(*h->cursor);
    for (it = from; it != q->messages.end(); ++it)
      if (matches(it->second)) break;
    if (it == q->messages.end()) return fail(MQRC_NO_MSG_AVAILABLE);
  }
  Message& m = it->second;
  reply->md = m.md;
  if (m.expires != Clock::time_point::max()) {
    // What is left of the expiry, in tenths of a second, as MQ reports it.
    const Clock::time_point at = q->may_expire ? now : Clock::now();
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m.expires - at).count();
    reply->md.Expiry = static_cast<MQLONG>(std::max<int64_t>(1, (left + 99) / 100));
  }
  reply->data_length = static_cast<uint32_t>(m.data.size());
  reply->resolved_q = q->def.name;
  if (m.data.size() > req.buffer_length && !(opts & MQGMO_ACCEPT_TRUNCATED_MSG)) {
    // A warning, as MQ gives it: the buffer holds what fits, but the
    // message stays where it is and the cursor does not move, so the
    // caller may get it again with a larger buffer.
    reply->data.assign(m.data, 0, req.buffer_length);
    reply->cc = MQCC_WARNING;
    reply->rc = MQRC_TRUNCATED_MSG_FAILED;
    return MQRC_TRUNCATED_MSG_FAILED;
  }
  MQLONG warning = MQRC_NONE;
  // A whole message that the get removes gives its bytes to the reply
  // (below, where it goes); any other is copied.
  const bool whole = m.data.size() <= req.buffer_length;
  if (!whole) {
    warning = MQRC_TRUNCATED_MSG_ACCEPTED;
    reply->data.assign(m.data, 0, req.buffer_length);
  }
  if (warning == MQRC_NONE && (opts & MQGMO_CONVERT)) {
    auto ccsid = [](MQLONG c) { return c == MQCCSI_Q_MGR ? kQmgrCcsid : c; };
    bool same = ccsid(m.md.CodedCharSetId) == ccsid(req.md.CodedCharSetId) &&
                m.md.Encoding == req.md.Encoding;
    bool convertible = std::memcmp(m.md.Format, MQFMT_NONE, 8) != 0;
    if (!same && convertible) warning = MQRC_NOT_CONVERTED;
  }
  if (browsing) {
    if (!(opts & MQGMO_BROWSE_MSG_UNDER_CURSOR)) h->cursor = it->first;
    if (whole) reply->data = m.data;
  } else {
    bool syncpoint = (opts & MQGMO_SYNCPOINT) || ((opts & MQGMO_SYNCPOINT_IF_PERSISTENT) && m.persistent);
    if (syncpoint && s->uow.size() >= kMaxUncommitted) return fail(MQRC_SYNCPOINT_LIMIT_REACHED);
    if (h->options & MQOO_SAVE_ALL_CONTEXT) h->context = SavedContext{true, m.md};
    if (syncpoint) {
      m.get_uow = s->id;
      s->uow.push_back(UowEntry{q, it->first, false});
      if (whole) reply->data = m.data;
    } else {
      if (m.persistent) {
        JournalRecord r;
        r.type = JournalRecord::kRemoveMessage;
        r.queue = q->def.name;
        r.seq = m.seq;
        r.priority = -it->first.neg_priority;
        journal_.Append({r});
      }
      if (whole) reply->data = std::move(m.data);  // m goes on the next line
      q->messages.erase(it);
      ++q->stats.deq_count;
      DepthChanged(*q, false);
    }
  }
  reply->cc = warning == MQRC_NONE ? MQCC_OK : MQCC_WARNING;
  reply->rc = warning;
  return warning;
}

bool QueueManager::DiscardExpired(Queue& q, Clock::time_point now) {
  std::vector<JournalRecord> batch;
  bool any = false;
  for (auto it = q.messages.begin(); it != q.messages.end();) {
    Message& m = it->second;
    if (!m.Visible() || m.expires > now) {
      ++it;
      continue;
    }
    if (m.persistent && !q.temporary) {
      JournalRecord r;
      r.type = JournalRecord::kRemoveMessage;
      r.queue = q.def.name;
      r.seq = m.seq;
      r.priority = -it->first.neg_priority;
      batch.push_back(std::move(r));
    }
    ExpiryReport(m);
    it = q.messages.erase(it);
    any = true;
  }
  if (!batch.empty()) journal_.Append(batch);
  if (any) DepthChanged(q, false);
  return any;
}

void QueueManager::FinishPending(Session* s, MQLONG cc, MQLONG rc) {
  GetReply reply;
  reply.cc = cc;
  reply.rc = rc;
  waiting_.remove(s);
  s->pending.reset();
  Writer w;
  Encode(w, reply);
  s->sink->SendReply(kOpGet, w);
}

void QueueManager::WakeWaiters(const QueuePtr& q) {
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    Session* w = *it++;
    if (!w->pending || w->pending->queue != q) continue;
    GetReply reply;
    MQLONG rc = TryGet(w, w->pending->request, &reply);
    if (rc == MQRC_NO_MSG_AVAILABLE) continue;
    waiting_.remove(w);
    w->pending.reset();
    Writer out;
    Encode(out, reply);
    w->sink->SendReply(kOpGet, out);
  }
}

void QueueManager::OnTimer(Clock::time_point now) {
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    Session* w = *it++;
    if (w->pending && !w->pending->unlimited && w->pending->deadline <= now)
      FinishPending(w, MQCC_FAILED, MQRC_NO_MSG_AVAILABLE);
  }
}

std::optional<Clock::time_point> QueueManager::NextDeadline() const {
  std::optional<Clock::time_point> next;
  for (const Session* w : waiting_)
    if (w->pending && !w->pending->unlimited && (!next || w->pending->deadline < *next))
      next = w->pending->deadline;
  return next;
}

// ---- 6. MQINQ and MQSET -----------------------------------------------------

InquireReply QueueManager::Inquire(Session* s, const InquireRequest& req) {
  InquireReply reply;
  auto fail = [&](MQLONG rc) {
    reply.cc = MQCC_FAILED;
    reply.rc = rc;
    reply.ints.clear();
    reply.chars.clear();
    return reply;
  };
  Handle* h = FindHandle(s, req.hobj);
  if (h == nullptr) return fail(MQRC_HOBJ_ERROR);
  if (!(h->options & MQOO_INQUIRE)) return fail(MQRC_NOT_OPEN_FOR_INQUIRE);
  const Queue* q = h->alias ? h->alias.get() : h->remote_def ? h->remote_def.get() : h->queue.get();
  if (!h->qmgr_object && (q == nullptr || q->deleted)) return fail(MQRC_Q_DELETED);
  MQLONG warning = MQRC_NONE;
  std::vector<MQLONG> ints;
  std::string chars;
  for (MQLONG sel : req.selectors) {
    if (sel >= MQIA_FIRST && sel <= MQIA_LAST) {
      MQLONG v = -1;  // not applicable
      if (h->qmgr_object) {
        // The queue manager's own attributes, as the command server keeps
        // and changes them.
        const ObjAttr* attr = FindObjAttr(MQOT_Q_MGR, sel);
        if (attr == nullptr || attr->type != AttrType::kInt) return fail(MQRC_SELECTOR_ERROR);
        v = objects_.qmgr.Int(sel);
      } else {
        const AttrSpec* spec = FindQueueAttr(sel);
        if (spec == nullptr || spec->is_string) return fail(MQRC_SELECTOR_ERROR);
        if (!(spec->types & TypeBit(q->def.type))) {
          warning = MQRC_SELECTOR_NOT_FOR_TYPE;
        } else if (sel == MQIA_Q_TYPE) {
          v = q->def.type;
        } else if (sel == MQIA_CURRENT_Q_DEPTH) {
          v = static_cast<MQLONG>(q->messages.size());
        } else if (sel == MQIA_OPEN_INPUT_COUNT) {
          v = q->open_input;
        } else if (sel == MQIA_OPEN_OUTPUT_COUNT) {
          v = q->open_output;
        } else {
          v = q->def.Int(sel);
        }
      }
      ints.push_back(v);
    } else if (sel >= MQCA_FIRST && sel <= MQCA_LAST) {
      std::string v;
      int width = 0;
      if (h->qmgr_object) {
        const ObjAttr* attr = FindObjAttr(MQOT_Q_MGR, sel);
        if (attr == nullptr || attr->type != AttrType::kStr) return fail(MQRC_SELECTOR_ERROR);
        width = attr->width;
        v = sel == MQCA_Q_MGR_NAME ? name_ : objects_.qmgr.Str(sel);
      } else {
        const AttrSpec* spec = FindQueueAttr(sel);
        if (spec == nullptr || !spec->is_string) return fail(MQRC_SELECTOR_ERROR);
        width = spec->length;
        if (!(spec->types & TypeBit(q->def.type)))
          warning = MQRC_SELECTOR_NOT_FOR_TYPE;
        else
          v = sel == MQCA_Q_NAME ? q->def.name : q->def.Str(sel);
      }
      std::string field(width, ' ');
      std::memcpy(field.data(), v.data(), std::min<size_t>(v.size(), width));
      chars += field;
    } else {
      return fail(MQRC_SELECTOR_ERROR);
    }
  }
  if (ints.size() > req.int_count) {
    ints.resize(req.int_count);
    warning = MQRC_INT_ATTR_COUNT_TOO_SMALL;
  }
  if (chars.size() > req.char_length) {
    chars.resize(req.char_length);
    warning = MQRC_CHAR_ATTRS_TOO_SHORT;
  }
  reply.ints = std::move(ints);
  reply.chars = std::move(chars);
  if (warning != MQRC_NONE) {
    reply.cc = MQCC_WARNING;
    reply.rc = warning;
  }
  return reply;
}

ReplyHead QueueManager::Set(Session* s, const SetRequest& req) {
  Handle* h = FindHandle(s, req.hobj);
  if (h == nullptr) return Fail(MQRC_HOBJ_ERROR);
  if (!(h->options & MQOO_SET)) return Fail(MQRC_NOT_OPEN_FOR_SET);
  if (state_ == QmgrState::kQuiescing && (h->options & MQOO_FAIL_IF_QUIESCING)) return Fail(MQRC_Q_MGR_QUIESCING);
  QueuePtr q = h->alias ? h->alias : h->queue;
  if (!q || q->deleted) return Fail(MQRC_Q_DELETED);
  size_t int_index = 0, char_pos = 0;
  std::vector<std::pair<MQLONG, MQLONG>> new_ints;
  std::vector<std::pair<MQLONG, std::string>> new_strs;
  for (MQLONG sel : req.selectors) {
    const AttrSpec* spec = FindQueueAttr(sel);
    if (spec == nullptr || !spec->settable) return Fail(MQRC_SELECTOR_ERROR);
    if (!(spec->types & TypeBit(q->def.type))) return Fail(MQRC_SELECTOR_NOT_FOR_TYPE);
    if (spec->is_string) {
      if (req.chars.size() - char_pos < static_cast<size_t>(spec->length)) return Fail(MQRC_CHAR_ATTR_LENGTH_ERROR);
      new_strs.emplace_back(sel, TrimRight(std::string_view(req.chars).substr(char_pos, spec->length)));
      char_pos += spec->length;
    } else {
      if (int_index >= req.ints.size()) return Fail(MQRC_INT_ATTR_COUNT_ERROR);
      MQLONG v = req.ints[int_index++];
      switch (sel) {
        case MQIA_INHIBIT_GET:
        case MQIA_INHIBIT_PUT:
          if (v != 0 && v != 1) return Fail(MQRC_INHIBIT_VALUE_ERROR);
          break;
        case MQIA_TRIGGER_CONTROL:
          if (v != MQTC_OFF && v != MQTC_ON) return Fail(MQRC_TRIGGER_CONTROL_ERROR);
          break;
        case MQIA_TRIGGER_TYPE:
          if (v < MQTT_NONE || v > MQTT_DEPTH) return Fail(MQRC_TRIGGER_TYPE_ERROR);
          break;
        case MQIA_TRIGGER_DEPTH:
          if (v < 1) return Fail(MQRC_TRIGGER_DEPTH_ERROR);
          break;
        case MQIA_TRIGGER_MSG_PRIORITY:
          if (v < 0 || v > kMaxPriority) return Fail(MQRC_TRIGGER_MSG_PRIORITY_ERR);
          break;
      }
      new_ints.emplace_back(sel, v);
    }
  }
  for (auto& [sel, v] : new_ints) q->def.ints[sel] = v;
  for (auto& [sel, v] : new_strs) q->def.strs[sel] = v;
  q->def.strs[MQCA_ALTERATION_DATE] = TodayDate();
  q->def.strs[MQCA_ALTERATION_TIME] = NowTime();
  JournalDefine(*q);
  return ReplyHead{};
}

// ---- 7. Units of work -------------------------------------------------------

void QueueManager::EndUowEntries(std::vector<UowEntry>& entries, bool commit) {
  std::vector<JournalRecord> batch;
  std::vector<QueuePtr> touched;
  for (const UowEntry& e : entries) {
    const QueuePtr& q = e.queue;
    if (q->deleted) continue;
    auto it = q->messages.find(e.key);
    if (it == q->messages.end()) continue;
    Message& m = it->second;
    const bool journalled = m.persistent && !q->temporary;
    if (e.is_put) {
      if (commit) {
        m.put_uow = 0;
        if (journalled) {
          JournalRecord r;
          r.type = JournalRecord::kPutMessage;
          r.queue = q->def.name;
          r.seq = m.seq;
          r.md = m.md;
          r.data = m.data;
          batch.push_back(std::move(r));
        }
        touched.push_back(q);
      } else {
        q->messages.erase(it);
      }
    } else {
      if (commit) {
        if (journalled) {
          JournalRecord r;
          r.type = JournalRecord::kRemoveMessage;
          r.queue = q->def.name;
          r.seq = m.seq;
          r.priority = -e.key.neg_priority;
          batch.push_back(std::move(r));
        }
        q->messages.erase(it);
        ++q->stats.deq_count;
        DepthChanged(*q, false);
      } else {
        m.get_uow = 0;
        ++m.md.BackoutCount;
        if (journalled) {
          // Journalled so that the count is the same after any restart,
          // whether a checkpoint caught it or not.
          JournalRecord r;
          r.type = JournalRecord::kBackoutCount;
          r.queue = q->def.name;
          r.seq = m.seq;
          r.priority = -e.key.neg_priority;
          r.backout_count = m.md.BackoutCount;
          batch.push_back(std::move(r));
        }
        touched.push_back(q);
      }
    }
  }
  entries.clear();
  if (!batch.empty()) journal_.Append(batch);
  for (const QueuePtr& q : touched)
    if (!q->deleted) WakeWaiters(q);
}

bool QueueManager::UowEntriesIntact(const std::vector<UowEntry>& entries) {
  return std::none_of(entries.begin(), entries.end(), [](const UowEntry& e) { return e.queue->deleted; });
}

// This queue manager's entries, then the parts at the other queue managers
// the unit reached. Each journals its own part in this pass of the loop;
// the reply waits for every journal it wrote to (server.h).
void QueueManager::EndUow(Session* s, bool commit) {
  EndUowEntries(s->uow, commit);
  for (const auto& [qmgr, incarnation] : s->uow_partners)
    if (host_ != nullptr) host_->EndForeignUow(qmgr, incarnation, s->id, commit);
  s->uow_partners.clear();
  s->uow_foreign_puts = 0;
  s->uow_part_lost = false;
}

ReplyHead QueueManager::Commit(Session* s) {
  // A queue the unit of work touched is gone (deleted, or its queue
  // manager ended): committing the rest would acknowledge a message that
  // no longer exists, so the whole unit is backed out instead.
  bool intact = !s->uow_part_lost && UowEntriesIntact(s->uow);
  for (const auto& [qmgr, incarnation] : s->uow_partners)
    if (intact) intact = host_ != nullptr && host_->ForeignUowIntact(qmgr, incarnation, s->id);
  EndUow(s, intact);
  return intact ? ReplyHead{} : Fail(MQRC_BACKED_OUT);
}

ReplyHead QueueManager::Backout(Session* s) {
  EndUow(s, false);
  return ReplyHead{};
}

// ---- 8. Control requests, quiesce and end -----------------------------------

ReplyHead QueueManager::DefineQueue(const std::vector<Attr>& attrs, bool replace, std::string* text) {
  QueueDef def;
  if (!QueueDef::FromAttrs(attrs, &def, text)) return Fail(MQRC_SELECTOR_ERROR);
  auto it = queues_.find(def.name);
  if (it != queues_.end()) {
    if (!replace) {
      *text = "queue " + def.name + " already exists";
      return Fail(MQRC_OBJECT_ALREADY_EXISTS);
    }
    if (it->second->def.type != def.type || it->second->temporary) {
      *text = "queue " + def.name + " exists with another type";
      return Fail(MQRC_Q_TYPE_ERROR);
    }
    def.strs[MQCA_CREATION_DATE] = it->second->def.Str(MQCA_CREATION_DATE);
    def.strs[MQCA_CREATION_TIME] = it->second->def.Str(MQCA_CREATION_TIME);
    def.strs[MQCA_ALTERATION_DATE] = TodayDate();
    def.strs[MQCA_ALTERATION_TIME] = NowTime();
    it->second->def = std::move(def);
    JournalDefine(*it->second);
    *text = "queue " + it->second->def.name + " replaced";
    return ReplyHead{};
  }
  QueuePtr q = NewQueue(std::move(def));
  JournalDefine(*q);
  *text = "queue " + q->def.name + " defined";
  return ReplyHead{};
}

ReplyHead QueueManager::DeleteQueue(const std::string& name, bool purge, std::string* text) {
  auto it = queues_.find(name);
  if (it == queues_.end()) {
    *text = "queue " + name + " not found";
    return Fail(MQRC_UNKNOWN_OBJECT_NAME);
  }
  QueuePtr q = it->second;
  if (q->open_handles > 0) {
    *text = "queue " + name + " is open";
    return Fail(MQRC_OBJECT_IN_USE);
  }
  if (!q->messages.empty() && !purge) {
    *text = "queue " + name + " is not empty";
    return Fail(MQRC_Q_NOT_EMPTY);
  }
  DeleteQueueObject(q);
  *text = "queue " + name + " deleted";
  return ReplyHead{};
}

void QueueManager::LoadDenyList() {
  denied_users_.clear();
  std::string text;
  if (!ReadFile(data_dir_ + "/authority.deny", &text)) return;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    denied_users_.insert(line.substr(start, 12));
  }
}

bool QueueManager::Denied(const std::string& user) const { return denied_users_.count(user.substr(0, 12)) > 0; }

void QueueManager::Quiesce() {
  if (state_ != QmgrState::kRunning) return;
  state_ = QmgrState::kQuiescing;
  // The command server is no application that could keep the queue
  // manager from ending.
  if (command_server_) command_server_->Stop();
  LogError("AMQ8004I: Queue manager '" + name_ + "' is quiescing.");
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    Session* w = *it++;
    if (w->pending && (w->pending->request.options & MQGMO_FAIL_IF_QUIESCING))
      FinishPending(w, MQCC_FAILED, MQRC_Q_MGR_QUIESCING);
  }
}

void QueueManager::End(MQLONG reason) {
  if (state_ == QmgrState::kEnded) return;
  if (EventsOn(MQIA_START_STOP_EVENT)) {
    MQLONG qualifier = state_ == QmgrState::kQuiescing ? MQRQ_Q_MGR_QUIESCING : MQRQ_Q_MGR_STOPPING;
    QmgrEvent(MQRC_Q_MGR_NOT_ACTIVE, [&](PcfBuilder& b) { b.Int(MQIACF_REASON_QUALIFIER, qualifier); });
  }
  while (!waiting_.empty()) FinishPending(waiting_.front(), MQCC_FAILED, reason);
  while (!sessions_.empty()) {
    Session* s = sessions_.begin()->second.get();
    ReplySink* sink = s->sink;
    Disconnect(s);
    sink->SessionEnded();
  }
  FlushJournal();
  Checkpoint();
  state_ = QmgrState::kEnded;
  // Sessions of other queue managers attached here find nothing from now
  // on; their uncommitted puts go with the queues.
  attachments_.clear();
  uow_parts_.clear();
  for (auto& [name, q] : queues_) q->deleted = true;
  queues_.clear();
  LogError("AMQ8004I: Queue manager '" + name_ + "' ended.");
}

// ---- 9. Helpers: names, ids, the error log ----------------------------------

void QueueManager::MakeMsgId(MQBYTE* out) {
  std::memcpy(out, "AMQ ", 4);
  char qm[12];
  SetField(qm, 12, name_);
  std::memcpy(out + 4, qm, 12);
  uint32_t counter = static_cast<uint32_t>(++msgid_counter_);
  std::memcpy(out + 16, &start_time_, 4);
  std::memcpy(out + 20, &counter, 4);
}

std::string QueueManager::MakeDynamicName(const std::string& pattern, MQLONG* reason) {
  *reason = MQRC_DYNAMIC_Q_NAME_ERROR;
  size_t star = pattern.find('*');
  if (pattern.empty() || (star != std::string::npos && star != pattern.size() - 1)) return "";
  if (star == std::string::npos) {
    if (!ValidObjectName(pattern)) return "";
    if (queues_.count(pattern)) {
      *reason = MQRC_OBJECT_ALREADY_EXISTS;
      return "";
    }
    return pattern;
  }
  std::string prefix = pattern.substr(0, star);
  size_t room = 48 - prefix.size();
  if (room == 0 || (!prefix.empty() && !ValidObjectName(prefix))) return "";
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char hex[17];
    uint64_t v = (static_cast<uint64_t>(start_time_) << 32) ^ ++dynamic_counter_;
    snprintf(hex, sizeof hex, "%016llX", static_cast<unsigned long long>(v));
    std::string suffix(hex);
    if (suffix.size() > room) suffix = suffix.substr(suffix.size() - room);
    std::string name = prefix + suffix;
    if (!queues_.count(name)) return name;
  }
  return "";
}

void QueueManager::LogError(const std::string& text) {
  time_t t = time(nullptr);
  tm lt{};
  localtime_r(&t, &lt);
  char when[64];
  strftime(when, sizeof when, "%m/%d/%Y %I:%M:%S %p", &lt);
  std::string line = std::string(when) + " - Process(" + std::to_string(getpid()) +
                     ") Program(mqsim)\n" + text + "\n" + std::string(79, '-') + "\n";
  int fd = ::open((data_dir_ + "/errors/AMQERR01.LOG").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  ssize_t w = ::write(fd, line.data(), line.size());
  (void)w;
  ::close(fd);
}

}  // namespace mqsim::server
