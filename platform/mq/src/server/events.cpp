// MQ events: queue-manager, channel and performance events, put on the
// SYSTEM.ADMIN.*.EVENT queues when the queue manager's switches are on.
// They are PCF messages of type MQCFT_EVENT in the format "MQEVENT ".
#include <cstring>
#include <ctime>

#include "common/wire.h"
#include "pcf_io.h"
#include "queue_manager.h"

namespace mqsim::server {

namespace {

constexpr const char* kQmgrEventQueue = "SYSTEM.ADMIN.QMGR.EVENT";
constexpr const char* kPerfmEventQueue = "SYSTEM.ADMIN.PERFM.EVENT";

}  // namespace

bool QueueManager::EventsOn(MQLONG switch_id) const {
  return objects_.qmgr.Int(switch_id) == MQEVR_ENABLED;
}

void QueueManager::PutEvent(const std::string& queue, MQLONG command, MQLONG comp_code, MQLONG reason,
                            const std::function<void(PcfBuilder&)>& fill) {
  if (state_ == QmgrState::kEnded) return;
  auto it = queues_.find(queue);
  if (it == queues_.end() || it->second->def.type != MQQT_LOCAL) return;  // no event queue: the event is lost
  QueuePtr q = it->second;
  if (static_cast<int64_t>(q->messages.size()) >= q->def.Int(MQIA_MAX_Q_DEPTH)) return;
  PcfBuilder b(command, MQCFT_EVENT);
  fill(b);
  if (!b.ok()) return;
  Message m;
  m.seq = next_seq_++;
  MQMD& md = m.md;
  std::memcpy(md.StrucId, MQMD_STRUC_ID, 4);
  md.Version = MQMD_VERSION_2;
  md.Report = MQRO_NONE;
  md.MsgType = MQMT_DATAGRAM;
  md.Expiry = MQEI_UNLIMITED;
  md.Feedback = MQFB_NONE;
  md.Encoding = MQENC_NATIVE;
  md.CodedCharSetId = 819;
  std::memcpy(md.Format, MQFMT_EVENT, 8);
  md.Priority = 0;
  // Events survive a restart: a queue manager's end is itself one.
  md.Persistence = MQPER_PERSISTENT;
  MakeMsgId(md.MsgId);
  SetField(md.ReplyToQ, 48, "");
  SetField(md.ReplyToQMgr, 48, name_);
  SetField(md.UserIdentifier, 12, "mqm");
  md.PutApplType = MQAT_UNIX;
  SetField(md.PutApplName, 28, name_);
  StampPutTime(&md);
  SetField(md.ApplIdentityData, 32, "");
  SetField(md.ApplOriginData, 4, "");
  md.MsgSeqNumber = 1;
  md.OriginalLength = MQOL_UNDEFINED;
  m.data = b.Finish(1, MQCFC_LAST, comp_code, reason);
  m.persistent = true;
  JournalRecord r;
  r.type = JournalRecord::kPutMessage;
  r.queue = q->def.name;
  r.seq = m.seq;
  r.md = md;
  r.data = m.data;
  journal_.Append({r});
  MsgKey key{0, m.seq};
  q->messages.emplace(key, std::move(m));
  ++q->stats.enq_count;
  WakeWaiters(q);
}

void QueueManager::QmgrEvent(MQLONG reason, const std::function<void(PcfBuilder&)>& fill) {
  MQLONG cc = reason == MQRC_Q_MGR_ACTIVE ? MQCC_OK : MQCC_WARNING;
  PutEvent(kQmgrEventQueue, MQCMD_Q_MGR_EVENT, cc, reason, [&](PcfBuilder& b) {
    b.Str(MQCA_Q_MGR_NAME, name_, 48);
    if (fill) fill(b);
  });
}

void QueueManager::ObjectEvent(Session* s, MQLONG reason, const std::string& queue, const std::string& object_qmgr,
                               MQLONG options, const std::string& user) {
  if (s == nullptr || s->internal) return;
  ObjectEventFor(s->appl, reason, queue, object_qmgr, options, user);
}

void QueueManager::ObjectEventFor(const std::string& appl, MQLONG reason, const std::string& queue,
                                  const std::string& object_qmgr, MQLONG options, const std::string& user) {
  MQLONG sw = reason == MQRC_UNKNOWN_OBJECT_NAME ? MQIA_LOCAL_EVENT
              : reason == MQRC_NOT_AUTHORIZED    ? MQIA_AUTHORITY_EVENT
                                                 : MQIA_INHIBIT_EVENT;
  if (!EventsOn(sw)) return;
  QmgrEvent(reason, [&](PcfBuilder& b) {
    if (reason == MQRC_NOT_AUTHORIZED) {
      b.Int(MQIACF_REASON_QUALIFIER, MQRQ_OPEN_NOT_AUTHORIZED);
      b.Int(MQIACF_OPEN_OPTIONS, options);
      b.Str(MQCACF_USER_IDENTIFIER, user, 12);
    }
    b.Str(MQCA_Q_NAME, queue, 48);
    b.Int(MQIA_APPL_TYPE, MQAT_UNIX);
    b.Str(MQCACF_APPL_NAME, appl, 28);
    if (!object_qmgr.empty() && object_qmgr != name_) b.Str(MQCACF_OBJECT_Q_MGR_NAME, object_qmgr, 48);
  });
}

void QueueManager::PerformanceEvent(Queue& q, MQLONG reason) {
  int64_t now = time(nullptr);
  PutEvent(kPerfmEventQueue, MQCMD_PERFM_EVENT, MQCC_WARNING, reason, [&](PcfBuilder& b) {
    b.Str(MQCA_Q_MGR_NAME, name_, 48);
    b.Str(MQCA_BASE_Q_NAME, q.def.name, 48);
    b.Int(MQIA_TIME_SINCE_RESET, static_cast<MQLONG>(now - q.stats.reset_time));
    b.Int(MQIA_HIGH_Q_DEPTH, q.stats.high_depth);
    b.Int(MQIA_MSG_ENQ_COUNT, q.stats.enq_count);
    b.Int(MQIA_MSG_DEQ_COUNT, q.stats.deq_count);
  });
  // The statistics start again with every performance event.
  q.stats.reset_time = now;
  q.stats.high_depth = static_cast<MQLONG>(q.messages.size());
  q.stats.enq_count = 0;
  q.stats.deq_count = 0;
}

void QueueManager::DepthChanged(Queue& q, bool grew) {
  if (!EventsOn(MQIA_PERFORMANCE_EVENT) || q.def.type != MQQT_LOCAL || q.deleted) return;
  int64_t depth = static_cast<int64_t>(q.messages.size());
  int64_t max = q.def.Int(MQIA_MAX_Q_DEPTH);
  int64_t high = max * q.def.Int(MQIA_Q_DEPTH_HIGH_LIMIT) / 100;
  int64_t low = max * q.def.Int(MQIA_Q_DEPTH_LOW_LIMIT) / 100;
  // Depth high arms depth low and the other way round, as MQ switches
  // them in the queue's definition.
  MQLONG fired = 0;
  if (grew && q.def.Int(MQIA_Q_DEPTH_HIGH_EVENT) == MQEVR_ENABLED && depth >= high) {
    fired = MQRC_Q_DEPTH_HIGH;
    q.def.ints[MQIA_Q_DEPTH_HIGH_EVENT] = MQEVR_DISABLED;
    q.def.ints[MQIA_Q_DEPTH_LOW_EVENT] = MQEVR_ENABLED;
  } else if (!grew && q.def.Int(MQIA_Q_DEPTH_LOW_EVENT) == MQEVR_ENABLED && depth <= low) {
    fired = MQRC_Q_DEPTH_LOW;
    q.def.ints[MQIA_Q_DEPTH_LOW_EVENT] = MQEVR_DISABLED;
    q.def.ints[MQIA_Q_DEPTH_HIGH_EVENT] = MQEVR_ENABLED;
  }
  if (fired == 0) return;
  JournalDefine(q);
  PerformanceEvent(q, fired);
}

void QueueManager::QueueFull(Queue& q) {
  if (!EventsOn(MQIA_PERFORMANCE_EVENT) || q.def.Int(MQIA_Q_DEPTH_MAX_EVENT) != MQEVR_ENABLED) return;
  PerformanceEvent(q, MQRC_Q_FULL);
}

}  // namespace mqsim::server
