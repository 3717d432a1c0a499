// Channels: the commands on them and the runtime that moves messages from a
// sender's transmission queue to the queue manager of this server at its
// connection name.
//
// Exactly once across a crash: a batch of persistent messages is put at the
// partner together with the partner receiver's new sequence number, in the
// partner's journal; the messages leave the transmission queue (with the
// sender's sequence number, in the sender's journal) only in the next pass,
// after every journal of the pass was synced. A restart that finds the
// receiver ahead of the sender takes the first messages of the
// transmission queue as delivered. Non-persistent messages are moved and
// removed in one pass, with no sequence number, as MQ's fast messages are.
#include "channels.h"

#include <algorithm>
#include <cstring>

#include "common/install.h"
#include "common/wire.h"
#include "queue_def.h"

namespace mqsim::server {

class ChannelRunner {
 public:
  explicit ChannelRunner(QueueManager& qm) : qm_(qm) {}

  QueueManager* Partner(const ObjectDef& def) {
    std::string conn = def.Str(MQCACH_CONNECTION_NAME);
    size_t open = conn.find('('), close = conn.find(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return nullptr;
    long port = std::strtol(conn.substr(open + 1, close - open - 1).c_str(), nullptr, 10);
    if (port <= 0 || port > 65535 || qm_.host_ == nullptr) return nullptr;
    return qm_.host_->FindByPort(static_cast<int>(port));
  }

  static bool IsReceiver(const ObjectDef* d) {
    return d != nullptr && (d->subtype == MQCHT_RECEIVER || d->subtype == MQCHT_REQUESTER);
  }

  // The messages of the transmission queue, oldest first.
  static std::vector<std::map<MsgKey, Message>::iterator> Oldest(Queue& q, size_t n) {
    std::vector<std::map<MsgKey, Message>::iterator> all;
    for (auto it = q.messages.begin(); it != q.messages.end(); ++it)
      if (it->second.Visible()) all.push_back(it);
    std::sort(all.begin(), all.end(), [](auto a, auto b) { return a->first.seq < b->first.seq; });
    if (all.size() > n) all.resize(n);
    return all;
  }

  // Puts one message at the partner; on failure to the partner's
  // dead-letter queue with an MQDLH. Records go to *batch.
  void Deliver(QueueManager& to, const Message& m, std::vector<JournalRecord>* batch, ChannelRuntime& rt) {
    std::string data = m.data;
    MQMD md{};
    std::string target_q, target_qmgr;
    bool has_xqh = data.size() >= sizeof(MQXQH) && std::memcmp(data.data(), MQXQH_STRUC_ID, 4) == 0;
    if (has_xqh) {
      MQXQH xqh;
      std::memcpy(&xqh, data.data(), sizeof xqh);
      target_q = FieldText(xqh.RemoteQName, 48);
      target_qmgr = FieldText(xqh.RemoteQMgrName, 48);
      std::memcpy(&md, &xqh.MsgDesc, sizeof xqh.MsgDesc);
      md.Version = MQMD_VERSION_2;
      md.MsgSeqNumber = 1;
      md.Offset = 0;
      md.MsgFlags = MQMF_NONE;
      md.OriginalLength = MQOL_UNDEFINED;
      data.erase(0, sizeof(MQXQH));
    } else {
      md = m.md;
    }
    MQLONG reason = has_xqh ? MQRC_NONE : MQRC_FORMAT_ERROR;
    QueuePtr q;
    if (reason == MQRC_NONE) {
      QueuePtr alias;
      q = to.Resolve(target_q, &reason, &alias);
      if (q && q->def.type != MQQT_LOCAL) {
        q = nullptr;
        reason = MQRC_UNKNOWN_OBJECT_NAME;
      }
      if (q && q->def.Int(MQIA_INHIBIT_PUT) == MQQA_PUT_INHIBITED) reason = MQRC_PUT_INHIBITED;
      if (q && static_cast<int64_t>(q->messages.size()) >= q->def.Int(MQIA_MAX_Q_DEPTH)) reason = MQRC_Q_FULL;
      if (q && static_cast<int64_t>(data.size()) > q->def.Int(MQIA_MAX_MSG_LENGTH)) reason = MQRC_MSG_TOO_BIG_FOR_Q;
    }
    if (reason != MQRC_NONE) {
      // Undeliverable: to the partner's dead-letter queue, the reason and
      // the destination in an MQDLH before the message.
      MQDLH dlh{};
      std::memcpy(dlh.StrucId, MQDLH_STRUC_ID, 4);
      dlh.Version = MQDLH_VERSION_1;
      dlh.Reason = reason;
      SetField(dlh.DestQName, 48, target_q);
      SetField(dlh.DestQMgrName, 48, target_qmgr.empty() ? to.name() : target_qmgr);
      dlh.Encoding = md.Encoding;
      dlh.CodedCharSetId = md.CodedCharSetId;
      std::memcpy(dlh.Format, md.Format, 8);
      dlh.PutApplType = MQAT_UNIX;
      SetField(dlh.PutApplName, 28, "mqsim channel");
      std::memcpy(dlh.PutDate, md.PutDate, 8);
      std::memcpy(dlh.PutTime, md.PutTime, 8);
      data.insert(0, reinterpret_cast<const char*>(&dlh), sizeof dlh);
      std::memcpy(md.Format, MQFMT_DEAD_LETTER_HEADER, 8);
      QueuePtr alias;
      MQLONG dlq_reason = 0;
      q = to.Resolve(to.objects_.qmgr.Str(MQCA_DEAD_LETTER_Q_NAME), &dlq_reason, &alias);
      if (!q || q->def.type != MQQT_LOCAL) {
        to.LogError("AMQ9544E: channel " + rt.xmit_q + ": message for " + target_q + " not delivered, reason " +
                    std::to_string(reason) + ", and no dead-letter queue.");
        return;  // nothing can take it; MQ would stop the channel
      }
    }
    Message copy;
    copy.seq = to.next_seq_++;
    copy.md = md;
    copy.data = data;
    copy.persistent = m.persistent;
    MQLONG prio = q->def.Int(MQIA_MSG_DELIVERY_SEQUENCE) == MQMDS_FIFO ? 0 : md.Priority;
    if (copy.persistent && !q->temporary) {
      JournalRecord r;
      r.type = JournalRecord::kPutMessage;
      r.queue = q->def.name;
      r.seq = copy.seq;
      r.md = md;
      r.data = data;
      batch->push_back(std::move(r));
    }
    rt.bytes_sent += static_cast<int64_t>(data.size());
    q->messages.emplace(MsgKey{-prio, copy.seq}, std::move(copy));
    ++q->stats.enq_count;
    to.DepthChanged(*q, true);
    to.WakeWaiters(q);
  }

  void Remove(Queue& xmitq, uint64_t seq, std::vector<JournalRecord>* batch) {
    for (auto it = xmitq.messages.begin(); it != xmitq.messages.end(); ++it) {
      if (it->first.seq != seq) continue;
      if (it->second.persistent && !xmitq.temporary) {
        JournalRecord r;
        r.type = JournalRecord::kRemoveMessage;
        r.queue = xmitq.def.name;
        r.seq = seq;
        r.priority = -it->first.neg_priority;
        batch->push_back(std::move(r));
      }
      xmitq.messages.erase(it);
      ++xmitq.stats.deq_count;
      return;
    }
  }

  void JournalChannel(QueueManager& on, const ObjectDef& def, std::vector<JournalRecord>* batch) {
    JournalRecord r;
    r.type = JournalRecord::kDefineObject;
    r.object_type = MQOT_CHANNEL;
    r.attrs = ObjectToAttrs(MQOT_CHANNEL, def);
    batch->push_back(std::move(r));
  }

  // One pass of one running sender: acknowledge the batch of the last pass,
  // then move the next one. True when messages are left.
  bool Step(const std::string& name, ChannelRuntime& rt) {
    auto def_it = qm_.objects_.channels.find(name);
    if (def_it == qm_.objects_.channels.end()) return false;
    ObjectDef& def = def_it->second;
    auto xq = qm_.queues_.find(rt.xmit_q);
    QueueManager* partner = qm_.host_ != nullptr ? qm_.host_->FindRunning(rt.partner_qmgr) : nullptr;
    if (xq == qm_.queues_.end() || partner == nullptr) {
      rt.state = MQCHS_RETRYING;
      return false;
    }
    Queue& xmitq = *xq->second;
    std::vector<JournalRecord> source_batch;
    if (!rt.unacked.empty()) {
      for (uint64_t seq : rt.unacked) Remove(xmitq, seq, &source_batch);
      def.ints[MQIACH_CURRENT_SEQ_NUMBER] += static_cast<MQLONG>(rt.unacked.size());
      rt.unacked.clear();
      JournalChannel(qm_, def, &source_batch);
      qm_.journal_.Append(source_batch);
      source_batch.clear();
      ++rt.batches;
    }
    auto rcv_it = partner->objects_.channels.find(name);
    if (rcv_it == partner->objects_.channels.end() || !IsReceiver(&rcv_it->second)) {
      rt.state = MQCHS_RETRYING;
      return false;
    }
    ObjectDef& receiver = rcv_it->second;
    ChannelRuntime& rrt = partner->objects_.runtime[name];
    rrt.type = receiver.subtype;
    rrt.state = MQCHS_RUNNING;
    rrt.partner_qmgr = qm_.name();
    size_t batch_size = static_cast<size_t>(std::max<MQLONG>(1, def.Int(MQIACH_BATCH_SIZE)));
    auto next = Oldest(xmitq, batch_size);
    if (next.empty()) return false;
    std::vector<JournalRecord> target_batch;
    MQLONG sent_seq = def.Int(MQIACH_CURRENT_SEQ_NUMBER);
    MQLONG received_seq = receiver.Int(MQIACH_CURRENT_SEQ_NUMBER);
    bool persistent_moved = false;
    for (auto it : next) {
      Message& m = it->second;
      const int64_t size = static_cast<int64_t>(m.data.size());  // m may go below
      if (m.persistent) {
        MQLONG seq = sent_seq + static_cast<MQLONG>(rt.unacked.size()) + 1;
        // Put at the partner before a crash that came ahead of the removal
        // here: it is there already.
        if (seq > received_seq) {
          Deliver(*partner, m, &target_batch, rt);
          receiver.ints[MQIACH_CURRENT_SEQ_NUMBER] = seq;
          persistent_moved = true;
        }
        rt.unacked.push_back(it->first.seq);
      } else {
        Deliver(*partner, m, &target_batch, rt);
        Remove(xmitq, it->first.seq, &source_batch);
      }
      ++rt.msgs;
      ++rrt.msgs;
      rrt.bytes_rcvd += size;
    }
    if (persistent_moved) JournalChannel(*partner, receiver, &target_batch);
    if (!target_batch.empty()) partner->journal_.Append(target_batch);
    if (!source_batch.empty()) qm_.journal_.Append(source_batch);
    rt.last_msg_date = TodayDate();
    rt.last_msg_time = NowTime();
    rrt.last_msg_date = rt.last_msg_date;
    rrt.last_msg_time = rt.last_msg_time;
    return true;
  }

  QueueManager& qm_;
};

namespace {

bool IsSending(MQLONG type) {
  return type == MQCHT_SENDER || type == MQCHT_SERVER || type == MQCHT_CLUSSDR;
}

void ChannelEvent(QueueManager& qm, MQLONG reason, const ObjectDef& def, const ChannelRuntime& rt,
                  MQLONG qualifier) {
  MQLONG cc = reason == MQRC_CHANNEL_STARTED || reason == MQRC_CHANNEL_ACTIVATED ? MQCC_OK : MQCC_WARNING;
  qm.PutEvent("SYSTEM.ADMIN.CHANNEL.EVENT", MQCMD_CHANNEL_EVENT, cc, reason, [&](PcfBuilder& b) {
    b.Str(MQCA_Q_MGR_NAME, qm.name(), 48);
    if (qualifier != 0) b.Int(MQIACF_REASON_QUALIFIER, qualifier);
    b.Str(MQCACH_CHANNEL_NAME, def.name, 20);
    if (IsSending(def.subtype)) b.Str(MQCACH_XMIT_Q_NAME, rt.xmit_q, 48);
    b.Str(MQCACH_CONNECTION_NAME, rt.conn_name, 264);
  });
}

void AddStatus(const ObjectDef* def, const std::string& name, const ChannelRuntime& rt, PcfBuilder& b) {
  b.Str(MQCACH_CHANNEL_NAME, name, 20);
  b.Int(MQIACH_CHANNEL_INSTANCE_TYPE, MQOT_CURRENT_CHANNEL);
  b.Int(MQIACH_CHANNEL_TYPE, rt.type);
  b.Str(MQCACH_XMIT_Q_NAME, rt.xmit_q, 48);
  b.Str(MQCACH_CONNECTION_NAME, rt.conn_name, 264);
  b.Int(MQIACH_CHANNEL_STATUS, rt.state);
  b.Int(MQIACH_MCA_STATUS, rt.state == MQCHS_RUNNING ? MQMCAS_RUNNING : MQMCAS_STOPPED);
  b.Int(MQIACH_STOP_REQUESTED, rt.stop_requested ? MQCHSR_STOP_REQUESTED : MQCHSR_STOP_NOT_REQUESTED);
  MQLONG seq = def != nullptr ? def->Int(MQIACH_CURRENT_SEQ_NUMBER) : 0;
  b.Int(MQIACH_CURRENT_SEQ_NUMBER, seq + static_cast<MQLONG>(rt.unacked.size()));
  b.Int(MQIACH_LAST_SEQ_NUMBER, seq);
  b.Int(MQIACH_INDOUBT_STATUS, rt.unacked.empty() ? MQCHIDS_NOT_INDOUBT : MQCHIDS_INDOUBT);
  b.Int(MQIACH_CURRENT_MSGS, static_cast<MQLONG>(rt.unacked.size()));
  b.Int(MQIACH_MSGS, rt.msgs);
  b.Int(MQIACH_BYTES_SENT, static_cast<MQLONG>(rt.bytes_sent));
  b.Int(MQIACH_BYTES_RCVD, static_cast<MQLONG>(rt.bytes_rcvd));
  b.Int(MQIACH_BATCHES, rt.batches);
  b.Str(MQCACH_CHANNEL_START_DATE, rt.start_date, 12);
  b.Str(MQCACH_CHANNEL_START_TIME, rt.start_time, 8);
  b.Str(MQCACH_LAST_MSG_DATE, rt.last_msg_date, 12);
  b.Str(MQCACH_LAST_MSG_TIME, rt.last_msg_time, 8);
}

}  // namespace

bool QueueManager::RunChannels() {
  ChannelRunner runner(*this);
  bool more = false;
  for (auto& [name, rt] : objects_.runtime) {
    if (rt.state != MQCHS_RUNNING || !IsSending(rt.type)) continue;
    if (runner.Step(name, rt)) more = true;
    if (!rt.unacked.empty()) more = true;
  }
  return more;
}

void ChannelCommand(QueueManager& qm, const PcfCommand& cmd, PcfReplies* out) {
  ChannelRunner runner(qm);
  const PcfParam* name = cmd.Find(MQCACH_CHANNEL_NAME);
  if (name == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQCACH_CHANNEL_NAME);
  auto& channels = qm.objects().channels;
  auto& runtime = qm.objects().runtime;
  if (cmd.command == MQCMD_INQUIRE_CHANNEL_STATUS) {
    for (const auto& [cname, rt] : runtime) {
      if (!NameMatches(cname, name->str_value) || rt.state == MQCHS_INACTIVE) continue;
      auto def = channels.find(cname);
      AddStatus(def == channels.end() ? nullptr : &def->second, cname, rt, out->Add());
    }
    if (out->empty()) out->Fail(MQRCCF_CHL_STATUS_NOT_FOUND);
    return;
  }
  auto it = channels.find(name->str_value);
  if (it == channels.end()) return out->Fail(MQRCCF_CHANNEL_NOT_FOUND);
  ObjectDef& def = it->second;
  ChannelRuntime& rt = runtime[def.name];
  rt.type = def.subtype;
  rt.xmit_q = def.Str(MQCACH_XMIT_Q_NAME);
  rt.conn_name = def.Str(MQCACH_CONNECTION_NAME);
  switch (cmd.command) {
    case MQCMD_START_CHANNEL: {
      if (!IsSending(def.subtype)) {
        out->Add();  // a receiving end waits for its partner
        return;
      }
      rt.stop_requested = false;
      rt.start_date = TodayDate();
      rt.start_time = NowTime();
      QueueManager* partner = runner.Partner(def);
      const ObjectDef* receiver = nullptr;
      if (partner != nullptr) {
        auto r = partner->objects().channels.find(def.name);
        if (r != partner->objects().channels.end()) receiver = &r->second;
      }
      if (partner != nullptr && ChannelRunner::IsReceiver(receiver)) {
        rt.partner_qmgr = partner->name();
        rt.state = MQCHS_RUNNING;
        ChannelEvent(qm, MQRC_CHANNEL_STARTED, def, rt, 0);
        ChannelRuntime& rrt = partner->objects().runtime[def.name];
        rrt.type = receiver->subtype;
        rrt.state = MQCHS_RUNNING;
        rrt.partner_qmgr = qm.name();
        rrt.start_date = rt.start_date;
        rrt.start_time = rt.start_time;
        ChannelEvent(*partner, MQRC_CHANNEL_STARTED, *receiver, rrt, 0);
      } else {
        rt.state = MQCHS_RETRYING;
        ChannelEvent(qm, MQRC_CHANNEL_STOPPED, def, rt, MQRQ_CHANNEL_STOPPED_RETRY);
      }
      out->Add();
      return;
    }
    case MQCMD_STOP_CHANNEL: {
      if (rt.state == MQCHS_INACTIVE || rt.state == MQCHS_STOPPED) return out->Fail(MQRCCF_CHANNEL_NOT_ACTIVE);
      rt.state = MQCHS_STOPPED;
      rt.stop_requested = true;
      ChannelEvent(qm, MQRC_CHANNEL_STOPPED_BY_USER, def, rt, 0);
      out->Add();
      return;
    }
    case MQCMD_PING_CHANNEL: {
      if (!IsSending(def.subtype)) return out->Fail(MQRCCF_CHANNEL_TYPE_ERROR);
      if (rt.state == MQCHS_RUNNING) return out->Fail(MQRCCF_CHANNEL_IN_USE);
      QueueManager* partner = runner.Partner(def);
      if (partner == nullptr || !partner->objects().channels.count(def.name))
        return out->Fail(MQRCCF_CHANNEL_NOT_FOUND);
      const PcfParam* count = cmd.Find(MQIACH_DATA_COUNT);
      MQLONG n = count != nullptr ? count->int_value : 64;
      if (n < 16 || n > 32768) return out->Fail(MQRCCF_PING_DATA_COUNT_ERROR, MQIACH_DATA_COUNT);
      out->Add().Int(MQIACH_DATA_COUNT, n);
      return;
    }
    case MQCMD_RESET_CHANNEL: {
      const PcfParam* seq = cmd.Find(MQIACH_MSG_SEQUENCE_NUMBER);
      MQLONG n = seq != nullptr ? seq->int_value : 1;
      if (n < 0 || n > 999999999) return out->Fail(MQRCCF_ATTR_VALUE_ERROR, MQIACH_MSG_SEQUENCE_NUMBER);
      if (!rt.unacked.empty()) return out->Fail(MQRCCF_CHANNEL_INDOUBT);
      def.ints[MQIACH_CURRENT_SEQ_NUMBER] = n;
      std::vector<JournalRecord> batch;
      runner.JournalChannel(qm, def, &batch);
      qm.AppendJournal(batch);
      out->Add();
      return;
    }
    case MQCMD_RESOLVE_CHANNEL: {
      const PcfParam* action = cmd.Find(MQIACH_IN_DOUBT);
      if (action == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQIACH_IN_DOUBT);
      if (action->int_value != MQIDO_COMMIT && action->int_value != MQIDO_BACKOUT)
        return out->Fail(MQRCCF_INDOUBT_VALUE_ERROR, MQIACH_IN_DOUBT);
      // The batch in doubt is at the partner already; commit takes it off
      // here at the next pass, backout keeps it to be sent again.
      if (action->int_value == MQIDO_BACKOUT) rt.unacked.clear();
      out->Add();
      return;
    }
    default:
      out->Fail(MQRCCF_CFH_COMMAND_ERROR);
  }
}

bool ChannelDefinitionOk(const ObjectDef&, PcfReplies*) { return true; }

void ChannelDefined(QueueManager&, const ObjectDef&) {}

bool ChannelDeletable(QueueManager& qm, const ObjectDef& def, PcfReplies* out) {
  ChannelRunner runner(qm);
  auto it = qm.objects().runtime.find(def.name);
  if (it != qm.objects().runtime.end() && it->second.state == MQCHS_RUNNING) {
    out->Fail(MQRCCF_CHANNEL_IN_USE);
    return false;
  }
  return true;
}

void ChannelDeleted(QueueManager& qm, const std::string& name) {
  ChannelRunner runner(qm);
  qm.objects().runtime.erase(name);
}

}  // namespace mqsim::server
