// Channels: the commands on them and the runtime that moves messages from a
// sending channel's transmission queue to the queue manager of this server
// at its connection name.
//
// Kinds that run here: sender and server (started by START, or a server by
// its partner requester), requester (receives; starting it starts its
// partner server or sender), receiver and cluster receiver (the receiving
// ends), cluster sender (drains SYSTEM.CLUSTER.TRANSMIT.QUEUE to the
// member a message's MQXQH names; started on its own when such messages
// wait, or by START when defined), and server-connection (one instance per
// connected client that named it; shown by status, ended by STOP).
//
// Exactly once across a crash: a batch of persistent messages is put at the
// partner together with the partner receiver's new sequence number, in the
// partner's journal; the messages leave the transmission queue (with the
// sender's sequence number, in the sender's journal) only in the next pass,
// after every journal of the pass was synced. A restart that finds the
// receiver ahead of the sender takes the first messages of the
// transmission queue as delivered. Non-persistent messages are moved and
// removed in one pass, with no sequence number, as MQ's fast messages are.
// Cluster channels keep their sequence numbers apart from definitions (an
// auto-defined cluster sender has none, and one cluster receiver takes
// batches from every member): in AdminObjects::channel_sync.
//
// The queue manager's limit of active channels (qm.ini, CHANNELS stanza,
// MaxActiveChannels, else MaxChannels, else 100): a channel to start
// beyond it waits in state starting (channel not activated event) and
// starts when a slot frees (channel activated event).
#include "channels.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <set>

#include "clusters.h"
#include "common/ini.h"
#include "common/install.h"
#include "common/wire.h"
#include "queue_def.h"

namespace mqsim::server {

namespace {

constexpr int kDefaultMaxActiveChannels = 100;

bool IsSending(MQLONG type) {
  return type == MQCHT_SENDER || type == MQCHT_SERVER || type == MQCHT_CLUSSDR;
}

// Whether a receiving channel of type `receiving` takes what a channel of
// type `sending` sends.
bool Takes(MQLONG sending, MQLONG receiving) {
  if (sending == MQCHT_CLUSSDR) return receiving == MQCHT_CLUSRCVR;
  return receiving == MQCHT_RECEIVER || receiving == MQCHT_REQUESTER;
}

// The queue manager a transmitted message is for; "" without an MQXQH.
std::string XqhTarget(const Message& m) {
  if (m.data.size() < sizeof(MQXQH) || std::memcmp(m.data.data(), MQXQH_STRUC_ID, 4) != 0) return "";
  MQXQH xqh;
  std::memcpy(&xqh, m.data.data(), sizeof xqh);
  return FieldText(xqh.RemoteQMgrName, 48);
}

// "YYYY-MM-DD" and "HH.MM.SS" of a time, local, as channel status shows them.
std::string Stamp(int64_t when, const char* format) {
  time_t t = static_cast<time_t>(when);
  tm tmv{};
  localtime_r(&t, &tmv);
  char buf[16];
  strftime(buf, sizeof buf, format, &tmv);
  return buf;
}

void ChannelEvent(QueueManager& qm, MQLONG reason, const std::string& name, MQLONG type, const ChannelRuntime& rt,
                  MQLONG qualifier) {
  MQLONG cc = reason == MQRC_CHANNEL_STARTED || reason == MQRC_CHANNEL_ACTIVATED ? MQCC_OK : MQCC_WARNING;
  qm.PutEvent("SYSTEM.ADMIN.CHANNEL.EVENT", MQCMD_CHANNEL_EVENT, cc, reason, [&](PcfBuilder& b) {
    b.Str(MQCA_Q_MGR_NAME, qm.name(), 48);
    if (qualifier != 0) b.Int(MQIACF_REASON_QUALIFIER, qualifier);
    b.Str(MQCACH_CHANNEL_NAME, name, 20);
    if (IsSending(type)) b.Str(MQCACH_XMIT_Q_NAME, rt.xmit_q, 48);
    b.Str(MQCACH_CONNECTION_NAME, rt.conn_name, 264);
  });
}

}  // namespace

class ChannelRunner {
 public:
  explicit ChannelRunner(QueueManager& qm) : qm_(qm) {}

  // The queue manager of this server listening at a connection name.
  QueueManager* AtConnection(const std::string& conn) {
    size_t open = conn.find('('), close = conn.find(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return nullptr;
    long port = std::strtol(conn.substr(open + 1, close - open - 1).c_str(), nullptr, 10);
    if (port <= 0 || port > 65535 || qm_.host_ == nullptr) return nullptr;
    return qm_.host_->FindByPort(static_cast<int>(port));
  }

  QueueManager* Partner(const ObjectDef& def) { return AtConnection(def.Str(MQCACH_CONNECTION_NAME)); }

  const ObjectDef* Def(QueueManager& on, const std::string& name) {
    auto it = on.objects_.channels.find(name);
    return it == on.objects_.channels.end() ? nullptr : &it->second;
  }

  // The oldest messages of the transmission queue that the channel takes.
  static std::vector<std::map<MsgKey, Message>::iterator> Oldest(Queue& q, size_t n, const std::string& only_for) {
    std::vector<std::map<MsgKey, Message>::iterator> all;
    for (auto it = q.messages.begin(); it != q.messages.end(); ++it)
      if (it->second.Visible() && (only_for.empty() || XqhTarget(it->second) == only_for)) all.push_back(it);
    std::sort(all.begin(), all.end(), [](auto a, auto b) { return a->first.seq < b->first.seq; });
    if (all.size() > n) all.resize(n);
    return all;
  }

  // Puts one message at the partner, which delivers it, passes it on or
  // dead-letters it. Records go to *batch.
  void Deliver(QueueManager& to, const Message& m, std::vector<JournalRecord>* batch, ChannelRuntime& rt) {
    rt.bytes_sent += to.DeliverFromChannel(rt.xmit_q, m, batch);
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

  void JournalChannel(QueueManager&, const ObjectDef& def, std::vector<JournalRecord>* batch) {
    JournalRecord r;
    r.type = JournalRecord::kDefineObject;
    r.object_type = MQOT_CHANNEL;
    r.attrs = ObjectToAttrs(MQOT_CHANNEL, def);
    batch->push_back(std::move(r));
  }

  static void JournalSync(const std::string& key, MQLONG seq, std::vector<JournalRecord>* batch) {
    JournalRecord r;
    r.type = JournalRecord::kChannelSync;
    r.queue = key;
    r.seq = static_cast<uint64_t>(seq);
    batch->push_back(std::move(r));
  }

  // The sequence number of the last batch a channel of this queue manager
  // sent (sending kinds) or received (receiving kinds).
  MQLONG LastSeq(const std::string& name, const ChannelRuntime& rt) {
    if (rt.type == MQCHT_CLUSSDR) return qm_.objects_.channel_sync[name];
    if (rt.type == MQCHT_CLUSRCVR) return qm_.objects_.channel_sync[name + "/" + rt.partner_qmgr];
    const ObjectDef* def = Def(qm_, name);
    return def != nullptr ? def->Int(MQIACH_CURRENT_SEQ_NUMBER) : 0;
  }

  // Sets the sending side's number and journals it.
  void SetSentSeq(const std::string& name, const ChannelRuntime& rt, MQLONG seq, std::vector<JournalRecord>* batch) {
    if (rt.type == MQCHT_CLUSSDR) {
      qm_.objects_.channel_sync[name] = seq;
      JournalSync(name, seq, batch);
      return;
    }
    auto it = qm_.objects_.channels.find(name);
    if (it == qm_.objects_.channels.end()) return;
    it->second.ints[MQIACH_CURRENT_SEQ_NUMBER] = seq;
    JournalChannel(qm_, it->second, batch);
  }

  // The receiving side's number, at the partner, for batches from here.
  MQLONG* ReceivedSeq(QueueManager& partner, ObjectDef& receiver) {
    if (receiver.subtype == MQCHT_CLUSRCVR) return &partner.objects_.channel_sync[receiver.name + "/" + qm_.name()];
    return &receiver.ints[MQIACH_CURRENT_SEQ_NUMBER];
  }

  void JournalReceived(QueueManager& partner, ObjectDef& receiver, std::vector<JournalRecord>* batch) {
    if (receiver.subtype == MQCHT_CLUSRCVR)
      JournalSync(receiver.name + "/" + qm_.name(), *ReceivedSeq(partner, receiver), batch);
    else
      JournalChannel(partner, receiver, batch);
  }

  // One pass of one running sending channel: acknowledge the batch of the
  // last pass, then move the next one. True when messages are left.
  bool Step(const std::string& name, ChannelRuntime& rt) {
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
      SetSentSeq(name, rt, LastSeq(name, rt) + static_cast<MQLONG>(rt.unacked.size()), &source_batch);
      rt.unacked.clear();
      qm_.journal_.Append(source_batch);
      source_batch.clear();
      ++rt.batches;
    }
    auto rcv_it = partner->objects_.channels.find(name);
    if (rcv_it == partner->objects_.channels.end() || !Takes(rt.type, rcv_it->second.subtype)) {
      rt.state = MQCHS_RETRYING;
      return false;
    }
    ObjectDef& receiver = rcv_it->second;
    ChannelRuntime& rrt = partner->objects_.runtime[name];
    if (rrt.stop_requested) {
      // The receiving end was stopped by its user: the connection ends; a
      // server its requester started ends with it, the others retry.
      rt.state = rt.started_by_requester ? MQCHS_INACTIVE : MQCHS_RETRYING;
      ChannelEvent(qm_, MQRC_CHANNEL_STOPPED, name, rt.type, rt,
                   rt.started_by_requester ? MQRQ_CHANNEL_STOPPED_OK : MQRQ_CHANNEL_STOPPED_RETRY);
      return false;
    }
    rrt.type = receiver.subtype;
    rrt.state = MQCHS_RUNNING;
    rrt.partner_qmgr = qm_.name();
    const ObjectDef* own = Def(qm_, name);
    MQLONG batch_limit = own != nullptr ? own->Int(MQIACH_BATCH_SIZE) : receiver.Int(MQIACH_BATCH_SIZE);
    size_t batch_size = static_cast<size_t>(std::max<MQLONG>(1, batch_limit));
    auto next = Oldest(xmitq, batch_size, rt.type == MQCHT_CLUSSDR ? rt.partner_qmgr : "");
    if (next.empty()) return false;
    std::vector<JournalRecord> target_batch;
    MQLONG sent_seq = LastSeq(name, rt);
    MQLONG* received_seq = ReceivedSeq(*partner, receiver);
    bool persistent_moved = false;
    for (auto it : next) {
      Message& m = it->second;
      const int64_t size = static_cast<int64_t>(m.data.size());  // m may go below
      if (m.persistent) {
        MQLONG seq = sent_seq + static_cast<MQLONG>(rt.unacked.size()) + 1;
        // Put at the partner before a crash that came ahead of the removal
        // here: it is there already.
        if (seq > *received_seq) {
          Deliver(*partner, m, &target_batch, rt);
          *received_seq = seq;
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
    if (persistent_moved) JournalReceived(*partner, receiver, &target_batch);
    if (!target_batch.empty()) partner->journal_.Append(target_batch);
    if (!source_batch.empty()) qm_.journal_.Append(source_batch);
    rt.last_msg_date = TodayDate();
    rt.last_msg_time = NowTime();
    rrt.last_msg_date = rt.last_msg_date;
    rrt.last_msg_time = rt.last_msg_time;
    return true;
  }

  // The limit of active channels of this queue manager.
  int MaxActive() {
    std::string text;
    if (!ReadFile(qm_.data_dir_ + "/qm.ini", &text)) return kDefaultMaxActiveChannels;
    IniFile ini = IniFile::Parse(text);
    const IniStanza* channels = ini.Find("CHANNELS");
    if (channels == nullptr) return kDefaultMaxActiveChannels;
    for (const char* key : {"MaxActiveChannels", "MaxChannels"}) {
      std::string v = channels->Get(key);
      if (v.empty()) continue;
      char* end = nullptr;
      long n = std::strtol(v.c_str(), &end, 10);
      if (end != v.c_str() && *end == '\0' && n > 0 && n <= 65535) return static_cast<int>(n);
    }
    return kDefaultMaxActiveChannels;
  }

  // Channels running on this queue manager: message channels of either
  // end, and one per client connected through a server-connection channel.
  int Active() {
    int n = 0;
    for (const auto& [name, rt] : qm_.objects_.runtime)
      if (rt.state == MQCHS_RUNNING) ++n;
    for (const auto& [id, s] : qm_.sessions_)
      if (!s->client.channel.empty()) ++n;
    return n;
  }

  // A sending channel or a requester is to start: at once when a slot is
  // free, else it waits for one.
  void Begin(const std::string& name, ChannelRuntime& rt) {
    rt.stop_requested = false;
    if (Active() >= MaxActive()) {
      if (!rt.waiting_for_slot) {
        rt.waiting_for_slot = true;
        rt.state = MQCHS_STARTING;
        ChannelEvent(qm_, MQRC_CHANNEL_NOT_ACTIVATED, name, rt.type, rt, 0);
      }
      return;
    }
    if (rt.waiting_for_slot) {
      rt.waiting_for_slot = false;
      ChannelEvent(qm_, MQRC_CHANNEL_ACTIVATED, name, rt.type, rt, 0);
    }
    rt.start_date = TodayDate();
    rt.start_time = NowTime();
    Connect(name, rt);
  }

  // Reaches the partner: running, with started events at both ends, when
  // it has the matching channel; retrying otherwise.
  void Connect(const std::string& name, ChannelRuntime& rt) {
    QueueManager* partner = nullptr;
    if (rt.type == MQCHT_CLUSSDR && !rt.partner_qmgr.empty() && qm_.host_ != nullptr)
      partner = qm_.host_->FindRunning(rt.partner_qmgr);
    else
      partner = AtConnection(rt.conn_name);
    const ObjectDef* pdef = partner != nullptr ? Def(*partner, name) : nullptr;
    bool requester = rt.type == MQCHT_REQUESTER;
    bool matches = pdef != nullptr && (requester ? pdef->subtype == MQCHT_SERVER || pdef->subtype == MQCHT_SENDER
                                                 : Takes(rt.type, pdef->subtype));
    if (!matches) {
      rt.state = MQCHS_RETRYING;
      ChannelEvent(qm_, MQRC_CHANNEL_STOPPED, name, rt.type, rt, MQRQ_CHANNEL_STOPPED_RETRY);
      return;
    }
    rt.partner_qmgr = partner->name();
    rt.state = MQCHS_RUNNING;
    ChannelEvent(qm_, MQRC_CHANNEL_STARTED, name, rt.type, rt, 0);
    ChannelRuntime& prt = partner->objects_.runtime[name];
    prt.type = pdef->subtype;
    prt.state = MQCHS_RUNNING;
    prt.stop_requested = false;
    prt.partner_qmgr = qm_.name();
    prt.start_date = rt.start_date;
    prt.start_time = rt.start_time;
    if (requester) {
      // The requester's partner sends: from its transmission queue to here.
      prt.xmit_q = pdef->Str(MQCACH_XMIT_Q_NAME);
      prt.conn_name = pdef->Str(MQCACH_CONNECTION_NAME);
      prt.started_by_requester = true;
    }
    ChannelEvent(*partner, MQRC_CHANNEL_STARTED, name, prt.type, prt, 0);
  }

  // Cluster senders start by themselves when messages for a member wait on
  // the cluster transmission queue.
  void StartClusterSenders() {
    // Looked at on every pass of the loop: the name is made once.
    static const std::string xmit_q(kClusterXmitQueue);
    auto xq = qm_.queues_.find(xmit_q);
    if (xq == qm_.queues_.end() || xq->second->messages.empty() || qm_.host_ == nullptr) return;
    std::set<std::string> targets;
    for (const auto& [key, m] : xq->second->messages)
      if (m.Visible()) targets.insert(XqhTarget(m));
    for (const std::string& target : targets) {
      if (target.empty() || target == qm_.name()) continue;
      QueueManager* member = qm_.host_->FindRunning(target);
      const ObjectDef* rcvr = member != nullptr ? ClusterReceiverOf(qm_, *member) : nullptr;
      if (rcvr == nullptr) continue;  // not (yet) a member: the messages wait
      ChannelRuntime& rt = qm_.objects_.runtime[rcvr->name];
      if (rt.state == MQCHS_RUNNING || rt.waiting_for_slot || rt.stop_requested) continue;
      rt.type = MQCHT_CLUSSDR;
      rt.xmit_q = kClusterXmitQueue;
      rt.conn_name = rcvr->Str(MQCACH_CONNECTION_NAME);
      rt.partner_qmgr = target;
      Begin(rcvr->name, rt);
    }
  }

  // A requester takes its partner down with it: that channel ends.
  void EndPartner(const std::string& name, const ChannelRuntime& rt) {
    QueueManager* partner = qm_.host_ != nullptr ? qm_.host_->FindRunning(rt.partner_qmgr) : nullptr;
    if (partner == nullptr) return;
    auto p = partner->objects_.runtime.find(name);
    if (p == partner->objects_.runtime.end() || p->second.state != MQCHS_RUNNING) return;
    p->second.state = MQCHS_INACTIVE;
    ChannelEvent(*partner, MQRC_CHANNEL_STOPPED, name, p->second.type, p->second, MQRQ_CHANNEL_STOPPED_OK);
  }

  bool HasClients(const std::string& name) {
    for (const auto& [id, s] : qm_.sessions_)
      if (s->client.channel == name) return true;
    return false;
  }

  // Ends the clients connected through a server-connection channel; false
  // when none was.
  bool EndClients(const std::string& name) {
    std::vector<Session*> ending;
    for (const auto& [id, s] : qm_.sessions_)
      if (s->client.channel == name) ending.push_back(s.get());
    for (Session* s : ending) {
      ReplySink* sink = s->sink;
      qm_.Disconnect(s);
      sink->SessionEnded();
    }
    return !ending.empty();
  }

  void AddStatus(const std::string& name, const ChannelRuntime& rt, bool saved, PcfBuilder& b) {
    MQLONG seq = LastSeq(name, rt);
    b.Str(MQCACH_CHANNEL_NAME, name, 20);
    b.Int(MQIACH_CHANNEL_INSTANCE_TYPE, saved ? MQOT_SAVED_CHANNEL : MQOT_CURRENT_CHANNEL);
    b.Int(MQIACH_CHANNEL_TYPE, rt.type);
    b.Str(MQCACH_XMIT_Q_NAME, rt.xmit_q, 48);
    b.Str(MQCACH_CONNECTION_NAME, rt.conn_name, 264);
    b.Int(MQIACH_CHANNEL_STATUS, rt.state);
    b.Int(MQIACH_CURRENT_SEQ_NUMBER, seq + static_cast<MQLONG>(rt.unacked.size()));
    b.Int(MQIACH_LAST_SEQ_NUMBER, seq);
    b.Int(MQIACH_INDOUBT_STATUS, rt.unacked.empty() ? MQCHIDS_NOT_INDOUBT : MQCHIDS_INDOUBT);
    b.Int(MQIACH_CURRENT_MSGS, static_cast<MQLONG>(rt.unacked.size()));
    if (saved) return;  // the saved status is what a batch leaves behind
    b.Int(MQIACH_MCA_STATUS, rt.state == MQCHS_RUNNING ? MQMCAS_RUNNING : MQMCAS_STOPPED);
    b.Int(MQIACH_STOP_REQUESTED, rt.stop_requested ? MQCHSR_STOP_REQUESTED : MQCHSR_STOP_NOT_REQUESTED);
    b.Int(MQIACH_MSGS, rt.msgs);
    b.Int(MQIACH_BYTES_SENT, static_cast<MQLONG>(rt.bytes_sent));
    b.Int(MQIACH_BYTES_RCVD, static_cast<MQLONG>(rt.bytes_rcvd));
    b.Int(MQIACH_BATCHES, rt.batches);
    b.Str(MQCACH_CHANNEL_START_DATE, rt.start_date, 12);
    b.Str(MQCACH_CHANNEL_START_TIME, rt.start_time, 8);
    b.Str(MQCACH_LAST_MSG_DATE, rt.last_msg_date, 12);
    b.Str(MQCACH_LAST_MSG_TIME, rt.last_msg_time, 8);
  }

  // One instance of a server-connection channel: a connected client. Its
  // messages are the MQI calls it made.
  static void AddClientStatus(const ClientChannel& c, PcfBuilder& b) {
    b.Str(MQCACH_CHANNEL_NAME, c.channel, 20);
    b.Int(MQIACH_CHANNEL_INSTANCE_TYPE, MQOT_CURRENT_CHANNEL);
    b.Int(MQIACH_CHANNEL_TYPE, MQCHT_SVRCONN);
    b.Str(MQCACH_XMIT_Q_NAME, "", 48);
    b.Str(MQCACH_CONNECTION_NAME, c.conn_name, 264);
    b.Int(MQIACH_CHANNEL_STATUS, MQCHS_RUNNING);
    b.Int(MQIACH_MCA_STATUS, MQMCAS_RUNNING);
    b.Int(MQIACH_STOP_REQUESTED, MQCHSR_STOP_NOT_REQUESTED);
    b.Int(MQIACH_MSGS, c.calls);
    b.Int(MQIACH_BYTES_SENT, static_cast<MQLONG>(c.bytes_sent));
    b.Int(MQIACH_BYTES_RCVD, static_cast<MQLONG>(c.bytes_rcvd));
    b.Str(MQCACH_CHANNEL_START_DATE, Stamp(c.started, "%Y-%m-%d"), 12);
    b.Str(MQCACH_CHANNEL_START_TIME, Stamp(c.started, "%H.%M.%S"), 8);
    b.Str(MQCACH_LAST_MSG_DATE, Stamp(c.last_call, "%Y-%m-%d"), 12);
    b.Str(MQCACH_LAST_MSG_TIME, Stamp(c.last_call, "%H.%M.%S"), 8);
  }

  void Status(const PcfCommand& cmd, const std::string& pattern, PcfReplies* out) {
    const PcfParam* instance = cmd.Find(MQIACH_CHANNEL_INSTANCE_TYPE);
    MQLONG kind = instance != nullptr ? instance->int_value : MQOT_CURRENT_CHANNEL;
    if (kind != MQOT_CURRENT_CHANNEL && kind != MQOT_SAVED_CHANNEL)
      return out->Fail(MQRCCF_ATTR_VALUE_ERROR, MQIACH_CHANNEL_INSTANCE_TYPE);
    const bool saved = kind == MQOT_SAVED_CHANNEL;
    for (const auto& [cname, rt] : qm_.objects_.runtime) {
      if (!NameMatches(cname, pattern) || (rt.state == MQCHS_INACTIVE && !saved)) continue;
      // A channel has a saved status once a batch of it was committed.
      if (saved && LastSeq(cname, rt) == 0 && rt.batches == 0) continue;
      AddStatus(cname, rt, saved, out->Add());
    }
    if (!saved) {
      for (const auto& [id, s] : qm_.sessions_)
        if (!s->client.channel.empty() && NameMatches(s->client.channel, pattern))
          AddClientStatus(s->client, out->Add());
    }
    if (out->empty()) out->Fail(MQRCCF_CHL_STATUS_NOT_FOUND);
  }

  QueueManager& qm_;
};

namespace {

// Takes the MQXQH off the front of a message: its descriptor, widened to
// version 2 with the defaults of a message that is no group or segment.
MQMD StripXmitHeader(std::string* data) {
  MQXQH xqh;
  std::memcpy(&xqh, data->data(), sizeof xqh);
  MQMD md{};
  std::memcpy(&md, &xqh.MsgDesc, sizeof xqh.MsgDesc);
  md.Version = MQMD_VERSION_2;
  md.MsgSeqNumber = 1;
  md.Offset = 0;
  md.MsgFlags = MQMF_NONE;
  md.OriginalLength = MQOL_UNDEFINED;
  data->erase(0, sizeof(MQXQH));
  return md;
}

}  // namespace

// The receiving side of a channel: each message names its destination in
// its transmission header. One for this queue manager goes to its queue;
// one for a further queue manager stays as it is and goes on to the
// transmission queue that leads there; anything undeliverable goes to the
// dead-letter queue behind an MQDLH.
int64_t QueueManager::DeliverFromChannel(const std::string& channel, const Message& m,
                                         std::vector<JournalRecord>* batch) {
  std::string data = m.data;
  MQMD md{};
  std::string target_q, target_qmgr;
  bool has_xqh = data.size() >= sizeof(MQXQH) && std::memcmp(data.data(), MQXQH_STRUC_ID, 4) == 0;
  MQLONG reason = has_xqh ? MQRC_NONE : MQRC_FORMAT_ERROR;
  QueuePtr q;
  bool forwarding = false;  // to a further queue manager, the header kept
  if (has_xqh) {
    MQXQH xqh;
    std::memcpy(&xqh, data.data(), sizeof xqh);
    target_q = FieldText(xqh.RemoteQName, 48);
    target_qmgr = FieldText(xqh.RemoteQMgrName, 48);
    if (!target_qmgr.empty() && target_qmgr != name_) {
      std::string next = target_qmgr;
      QmgrRoute route;
      reason = RouteToQmgr(&next, "", &route);
      if (reason == MQRC_NONE && route.xmitq) {
        q = route.xmitq;  // on with the header as it came
        md = m.md;
        forwarding = true;
      } else if (reason == MQRC_NONE && !route.local) {
        reason = MQRC_UNKNOWN_REMOTE_Q_MGR;
      }
    }
    if (!q) md = StripXmitHeader(&data);
  } else {
    md = m.md;
  }
  if (reason == MQRC_NONE && !q) {
    QueuePtr alias;
    q = Resolve(target_q, &reason, &alias);
    if (q && q->def.type != MQQT_LOCAL) {
      q = nullptr;
      reason = MQRC_UNKNOWN_OBJECT_NAME;
    }
  }
  if (q && q->def.Int(MQIA_INHIBIT_PUT) == MQQA_PUT_INHIBITED) reason = MQRC_PUT_INHIBITED;
  if (q && static_cast<int64_t>(q->messages.size()) >= q->def.Int(MQIA_MAX_Q_DEPTH)) reason = MQRC_Q_FULL;
  if (q && static_cast<int64_t>(data.size()) > q->def.Int(MQIA_MAX_MSG_LENGTH)) reason = MQRC_MSG_TOO_BIG_FOR_Q;
  if (reason != MQRC_NONE) {
    // Undeliverable: to the dead-letter queue, the reason and the
    // destination in an MQDLH before the message.
    if (forwarding) md = StripXmitHeader(&data);  // it was to go on: the header goes now
    MQDLH dlh{};
    std::memcpy(dlh.StrucId, MQDLH_STRUC_ID, 4);
    dlh.Version = MQDLH_VERSION_1;
    dlh.Reason = reason;
    SetField(dlh.DestQName, 48, target_q);
    SetField(dlh.DestQMgrName, 48, target_qmgr.empty() ? name_ : target_qmgr);
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
    q = Resolve(objects_.qmgr.Str(MQCA_DEAD_LETTER_Q_NAME), &dlq_reason, &alias);
    if (!q || q->def.type != MQQT_LOCAL) {
      LogError("AMQ9544E: channel " + channel + ": message for " + target_q + " not delivered, reason " +
               std::to_string(reason) + ", and no dead-letter queue.");
      return 0;  // nothing can take it; MQ would stop the channel
    }
  }
  Message copy;
  copy.seq = next_seq_++;
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
  const int64_t bytes = static_cast<int64_t>(data.size());
  q->messages.emplace(MsgKey{-prio, copy.seq}, std::move(copy));
  ++q->stats.enq_count;
  DepthChanged(*q, true);
  WakeWaiters(q);
  return bytes;
}

bool QueueManager::RunChannels() {
  ChannelRunner runner(*this);
  runner.StartClusterSenders();
  bool more = false;
  for (auto& [name, rt] : objects_.runtime) {
    if (rt.waiting_for_slot) runner.Begin(name, rt);  // a slot may have freed
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
  if (cmd.command == MQCMD_INQUIRE_CHANNEL_STATUS) return runner.Status(cmd, name->str_value, out);
  auto it = channels.find(name->str_value);
  if (it == channels.end()) return out->Fail(MQRCCF_CHANNEL_NOT_FOUND);
  ObjectDef& def = it->second;
  if (def.subtype == MQCHT_SVRCONN) {
    // Its instances are the clients connected through it.
    if (cmd.command == MQCMD_STOP_CHANNEL) {
      if (!runner.EndClients(def.name)) return out->Fail(MQRCCF_CHANNEL_NOT_ACTIVE);
      out->Add();
      return;
    }
    if (cmd.command == MQCMD_START_CHANNEL) {
      out->Add();
      return;
    }
    return out->Fail(MQRCCF_CHANNEL_TYPE_ERROR);
  }
  ChannelRuntime& rt = runtime[def.name];
  rt.type = def.subtype;
  rt.xmit_q = def.subtype == MQCHT_CLUSSDR ? kClusterXmitQueue : def.Str(MQCACH_XMIT_Q_NAME);
  rt.conn_name = def.Str(MQCACH_CONNECTION_NAME);
  switch (cmd.command) {
    case MQCMD_START_CHANNEL: {
      if (!IsSending(def.subtype) && def.subtype != MQCHT_REQUESTER) {
        // A receiving end waits for its partner; a start takes back a stop.
        if (rt.state == MQCHS_STOPPED) rt.state = MQCHS_INACTIVE;
        rt.stop_requested = false;
        out->Add();
        return;
      }
      if (def.subtype == MQCHT_CLUSSDR) rt.partner_qmgr.clear();  // the one at its connection name
      runner.Begin(def.name, rt);
      out->Add();
      return;
    }
    case MQCMD_STOP_CHANNEL: {
      if (rt.state == MQCHS_INACTIVE || rt.state == MQCHS_STOPPED) return out->Fail(MQRCCF_CHANNEL_NOT_ACTIVE);
      bool was_running = rt.state == MQCHS_RUNNING;
      rt.state = MQCHS_STOPPED;
      rt.stop_requested = true;
      rt.waiting_for_slot = false;
      ChannelEvent(qm, MQRC_CHANNEL_STOPPED_BY_USER, def.name, def.subtype, rt, 0);
      if (was_running && def.subtype == MQCHT_REQUESTER) runner.EndPartner(def.name, rt);
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
      std::vector<JournalRecord> batch;
      if (def.subtype == MQCHT_CLUSSDR) {
        runner.SetSentSeq(def.name, rt, n, &batch);
      } else {
        def.ints[MQIACH_CURRENT_SEQ_NUMBER] = n;
        runner.JournalChannel(qm, def, &batch);
      }
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
  bool running = it != qm.objects().runtime.end() && it->second.state == MQCHS_RUNNING;
  if (running || (def.subtype == MQCHT_SVRCONN && runner.HasClients(def.name))) {
    out->Fail(MQRCCF_CHANNEL_IN_USE);
    return false;
  }
  return true;
}

void ChannelDeleted(QueueManager& qm, const std::string& name) { qm.objects().runtime.erase(name); }

}  // namespace mqsim::server
