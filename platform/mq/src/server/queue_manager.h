// One queue manager hosted by mqsim: its queues and messages, the sessions
// (application connections) on it, their handles and units of work, the
// waiting gets, and its journal.
//
// Threading: mqsim has one thread; every method runs on it. Nothing here
// blocks except Journal::Sync (fsync) in FlushJournal.
//
// Replies: each call returns its reply at once, except Get with a wait,
// which parks the session and later sends the reply through the session's
// ReplySink (on a message, the timeout, or the queue manager ending).
// The command server and the event writer are sessions too, whose sink
// is internal: nothing here assumes a socket behind a session.
//
// Invariants:
//  1. A message is visible to a get when put_uow == 0 and get_uow == 0.
//  2. Each message with put_uow or get_uow != 0 is listed in exactly that
//     session's unit of work.
//  3. A queue's open_input/open_output count the handles open on it; a
//     handle keeps its queue alive (shared_ptr) even after deletion, and
//     then sees deleted == true.
//  4. A queue manager touches only its own queues. A handle whose output
//     goes to a queue of another queue manager of this server holds that
//     queue manager's name, incarnation and a token; that queue manager
//     keeps the queue under the token (an attachment), and the uncommitted
//     puts of the session there as a part of the session's unit of work.
//     Everything crossing between them goes through the Host.
#ifndef MQSIM_SERVER_QUEUE_MANAGER_H_
#define MQSIM_SERVER_QUEUE_MANAGER_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/protocol.h"
#include "journal.h"
#include "objects.h"
#include "pcf_io.h"
#include "queue_def.h"

namespace mqsim::server {

using Clock = std::chrono::steady_clock;

class QueueManager;
class CommandServer;
class CommandProcessor;

// Where a queue manager sends a reply it could not give at once.
class ReplySink {
 public:
  virtual ~ReplySink() = default;
  virtual void SendReply(uint32_t op, const Writer& payload) = 0;
  // The queue manager is ending: the session is gone; close after the
  // replies already queued.
  virtual void SessionEnded() = 0;
};

struct Queue;

// Output to a queue of another queue manager of this server, as the
// putting side knows it: that queue manager keeps the queue under `token`.
struct ForeignOutput {
  std::string qmgr;
  uint64_t incarnation = 0;  // of that queue manager; a restart makes a new one
  uint64_t token = 0;
};

// A message whose context the putting queue manager has settled, for the
// queue manager that holds the queue to store.
struct StagedPut {
  MQMD md{};              // Persistence and Priority may still say "as the queue"
  std::string_view data;
  bool syncpoint = false;
  uint64_t uow = 0;       // the putting session's id: units of work
  std::string appl;       // for the put-inhibited event
  bool internal = false;  // an internal session (no events)
};

// The server that hosts the queue managers. Whatever one queue manager does
// to another goes through here and that queue manager's public calls.
class Host {
 public:
  virtual ~Host() = default;
  virtual QueueManager* FindRunning(const std::string& name) = 0;
  // The running queue manager listening on a port (channels find their
  // partner by connection name); null when none.
  virtual QueueManager* FindByPort(int) { return nullptr; }
  // Every running queue manager of the server, in name order.
  virtual std::vector<QueueManager*> AllRunning() { return {}; }

  // Output to queue `queue` of the running queue manager `qmgr`: *out
  // names the attachment there, *resolved_q the local queue it ends on.
  MQLONG AttachOutput(const std::string& qmgr, const std::string& queue, ForeignOutput* out,
                      std::string* resolved_q);
  void DetachOutput(const ForeignOutput& f);
  MQLONG PutForeign(const ForeignOutput& f, const StagedPut& put, PutReply* reply);
  // The part of unit of work `uow` at `qmgr` (the same incarnation) is
  // there whole, so that committing it loses nothing.
  bool ForeignUowIntact(const std::string& qmgr, uint64_t incarnation, uint64_t uow);
  void EndForeignUow(const std::string& qmgr, uint64_t incarnation, uint64_t uow, bool commit);

 private:
  QueueManager* FindIncarnation(const std::string& qmgr, uint64_t incarnation);
};

struct Message {
  uint64_t seq = 0;
  // MQMD Expiry counts from the put (from the load after a restart).
  Clock::time_point expires = Clock::time_point::max();
  MQMD md{};
  std::string data;
  bool persistent = false;
  uint64_t put_uow = 0;  // session id of an uncommitted put
  uint64_t get_uow = 0;  // session id of an uncommitted get
  bool Visible() const { return put_uow == 0 && get_uow == 0; }
};

// Order of delivery: priority (higher first), then arrival.
struct MsgKey {
  MQLONG neg_priority;
  uint64_t seq;
  bool operator<(const MsgKey& o) const {
    return neg_priority != o.neg_priority ? neg_priority < o.neg_priority : seq < o.seq;
  }
};

// Statistics since the last reset, for MQCMD_RESET_Q_STATS and the
// performance events.
struct QueueStats {
  int64_t reset_time = 0;  // seconds since 1970
  MQLONG high_depth = 0;
  MQLONG enq_count = 0;
  MQLONG deq_count = 0;
  bool high_event_armed = false;  // depth high fired; low is the next to fire
};

struct Queue {
  QueueDef def;
  QueueStats stats;
  std::map<MsgKey, Message> messages;
  int open_input = 0;
  int open_output = 0;
  int open_handles = 0;
  bool exclusive_input = false;
  bool deleted = false;
  bool temporary = false;          // temporary dynamic
  bool may_expire = false;         // a message with an expiry was put
  uint64_t creator_session = 0;    // for dynamic queues
  MQHOBJ creator_hobj = 0;
};
using QueuePtr = std::shared_ptr<Queue>;

struct SavedContext {
  bool valid = false;
  MQMD md{};
};

// Where a handle's output goes beyond the queue it holds: the queue and
// queue manager named in the transmission header of each message put on
// the transmission queue `Handle::queue`.
struct XmitRoute {
  std::string remote_q;
  std::string remote_qmgr;
};

struct Handle {
  MQHOBJ hobj = 0;
  MQLONG options = 0;
  bool qmgr_object = false;   // opened MQOT_Q_MGR for inquiry
  QueuePtr queue;             // the queue of this queue manager messages go to / come from
  QueuePtr alias;             // the alias definition opened, when any
  QueuePtr remote_def;        // the remote definition opened, when any
  std::optional<XmitRoute> xmit;          // output through the transmission queue `queue`
  std::optional<ForeignOutput> foreign;   // output to another queue manager of the server
  std::string resolved_q;     // the queue name output ends on (its queue manager's)
  std::optional<MsgKey> cursor;
  SavedContext context;       // last got message, with MQOO_SAVE_ALL_CONTEXT
  std::string resolved_qmgr;
};

struct UowEntry {
  QueuePtr queue;
  MsgKey key;
  bool is_put;
};

struct PendingGet {
  GetRequest request;
  Clock::time_point deadline;
  bool unlimited = false;
  QueuePtr queue;
};

struct Session {
  uint64_t id = 0;  // unique in the server: units of work mark messages with it
  bool internal = false;  // the command server's own; no application
  std::string qmgr_name;
  std::string user, appl;
  ReplySink* sink = nullptr;
  std::map<MQHOBJ, Handle> handles;
  MQHOBJ next_hobj = 1;
  std::vector<UowEntry> uow;
  // Queue managers holding uncommitted puts of this unit of work, by name,
  // with the incarnation that holds them, and how many puts they hold.
  std::map<std::string, uint64_t> uow_partners;
  size_t uow_foreign_puts = 0;
  // A part of the unit of work went with its queue manager (it ended and
  // came back while the unit was open): the unit can only back out.
  bool uow_part_lost = false;
  std::optional<PendingGet> pending;
  ClientChannel client;  // its server-connection channel, when it came through one
};

enum class QmgrState { kRunning, kQuiescing, kEnded };

class QueueManager {
 public:
  // The command server works on the definitions of its own queue manager;
  // the channel runtime moves messages between transmission queues and
  // partners.
  friend class CommandProcessor;
  friend class ChannelRunner;

  // Loads the queue manager from its data directory (checkpoint and
  // journal), creating the default objects when the directory is new.
  // Returns null with *error set when the data cannot be read.
  static std::unique_ptr<QueueManager> Open(const std::string& name, const std::string& data_dir,
                                            Host* host, std::string* error);
  ~QueueManager();

  const std::string& name() const { return name_; }
  QmgrState state() const { return state_; }
  // Unique in the process: a queue manager that ends and starts again is a
  // new incarnation, which knows nothing of the old one's attachments.
  uint64_t incarnation() const { return incarnation_; }
  Host* host() const { return host_; }
  // Application connections (the command server's is not one).
  size_t session_count() const;

  Session* Connect(const std::string& user, const std::string& appl, ReplySink* sink);
  // Backs out the unit of work, closes the handles, forgets the session.
  void Disconnect(Session* s);

  OpenReply OpenObject(Session* s, const OpenRequest& req);
  ReplyHead Close(Session* s, const CloseRequest& req);
  PutReply Put(Session* s, const PutRequest& req, bool put1);
  // False: parked; the reply comes later through the session's sink.
  bool Get(Session* s, const GetRequest& req, GetReply* reply);
  InquireReply Inquire(Session* s, const InquireRequest& req);
  ReplyHead Set(Session* s, const SetRequest& req);
  ReplyHead Commit(Session* s);
  ReplyHead Backout(Session* s);

  // Control: define (or replace) and delete queues, reload the deny list.
  ReplyHead DefineQueue(const std::vector<Attr>& attrs, bool replace, std::string* text);
  ReplyHead DeleteQueue(const std::string& name, bool purge, std::string* text);
  void LoadDenyList();

  // The queue manager's attributes changed (event switches and the like).
  void OnQmgrChanged() {}

  // Events (events.cpp). A switch of the queue manager (MQIA_*_EVENT) is on.
  bool EventsOn(MQLONG switch_id) const;
  // Puts one event message on a local event queue; lost when there is none
  // or it is full, as MQ loses it.
  void PutEvent(const std::string& queue, MQLONG command, MQLONG comp_code, MQLONG reason,
                const std::function<void(PcfBuilder&)>& fill);
  void QmgrEvent(MQLONG reason, const std::function<void(PcfBuilder&)>& fill);
  // Unknown object, not authorized, put or get inhibited: an application's
  // call failed with `reason`.
  void ObjectEvent(Session* s, MQLONG reason, const std::string& queue, const std::string& object_qmgr,
                   MQLONG options, const std::string& user);
  // A queue's depth changed (grew or shrank): depth high and low events.
  void DepthChanged(Queue& q, bool grew);
  void QueueFull(Queue& q);

  // Quiesce: calls with fail-if-quiescing get 2161 from now on.
  void Quiesce();
  // Ends every session (pending gets get `reason`), marks the queue
  // manager ended, writes a checkpoint.
  void End(MQLONG reason);

  // Expires waiting gets whose time has come.
  void OnTimer(Clock::time_point now);
  std::optional<Clock::time_point> NextDeadline() const;
  // Writes and syncs what the journal holds; false when the disk failed
  // (then the queue manager logs it and ends).
  bool FlushJournal();
  // Grows whenever a journal record is queued (see Journal::appended_bytes).
  uint64_t journal_appended() const { return journal_.appended_bytes(); }
  // Journal records wait to be written and synced.
  bool journal_pending() const { return journal_.HasPending(); }

  // Appends a dated line to errors/AMQERR01.LOG.
  void LogError(const std::string& text);

  // Output from sessions of other queue managers of this server (through
  // the Host): attach to the local queue that output to `queue` ends on,
  // put through the attachment, detach; the uncommitted puts of a unit of
  // work are its part here, checked, committed or backed out as a whole.
  MQLONG AttachOutput(const std::string& queue, uint64_t* token, std::string* resolved_q);
  void DetachOutput(uint64_t token);
  MQLONG PutAttached(uint64_t token, const StagedPut& put, PutReply* reply);
  bool UowPartIntact(uint64_t uow) const;
  void EndUowPart(uint64_t uow, bool commit);

  // A queue of this queue manager by name; null when none.
  QueuePtr FindQueue(const std::string& name) const;
  // Calls fn for each queue whose name matches a generic pattern.
  void ForEachQueue(const std::string& pattern, const std::function<void(const Queue&)>& fn) const;
  void AppendJournal(const std::vector<JournalRecord>& batch) { journal_.Append(batch); }
  // A message a receiving channel took from its partner (channels.cpp):
  // to the queue its transmission header names, on to the transmission
  // queue of a further queue manager, or else to the dead-letter queue.
  // Journal records go to *batch; returns the bytes delivered.
  int64_t DeliverFromChannel(const std::string& channel, const Message& m, std::vector<JournalRecord>* batch);

  // Processes, namelists, channels (and their runtime), the queue
  // manager's own attributes.
  AdminObjects& objects() { return objects_; }
  // The command server of this queue manager (never null after Open).
  CommandServer* command_server() { return command_server_.get(); }
  // Serves what waits on the command queue; true when more is waiting.
  bool RunCommandServer();
  // The queue that s has open under hobj holds no message at all, not even
  // an uncommitted one: a get would find nothing (a quick look that spares
  // a whole MQGET on every pass of the loop).
  bool OpenQueueEmpty(Session* s, MQHOBJ hobj);
  // Moves messages of running channels; true when more is waiting.
  bool RunChannels();
  // Reports (reports.cpp). An expired message is being discarded: the
  // expiration report its Report options ask for is queued.
  void ExpiryReport(const Message& m);
  // Puts the queued reports, each refused one to the dead-letter queue;
  // true when more were queued meanwhile.
  bool SendReports();
  // Puts `data` described by `md` on the dead-letter queue behind an MQDLH
  // naming the destination and why it was not delivered, with session s;
  // false (and a line in the error log) when that fails too.
  bool DeadLetter(Session* s, const MQMD& md, std::string_view data, const std::string& dest_q,
                  const std::string& dest_qmgr, MQLONG reason);

 private:
  QueueManager(const std::string& name, const std::string& data_dir, Host* host);
  bool Load(std::string* error);
  void CreateDefaults();
  void CreateDefaultObjects();
  void PerformanceEvent(Queue& q, MQLONG reason);
  // Drops the expired messages of a queue that nobody is getting under a
  // unit of work; true when any went.
  bool DiscardExpired(Queue& q, Clock::time_point now);
  bool Checkpoint();
  void JournalDefine(const Queue& q);
  void ApplyRecord(const JournalRecord& r);
  QueuePtr NewQueue(QueueDef def);
  void DeleteQueueObject(const QueuePtr& q);
  Handle* FindHandle(Session* s, MQHOBJ hobj);
  // MQOPEN in steps: the checks of the options alone, the queue manager
  // object, the name resolved here, the model queue instantiated, the
  // input sharing and open counts.
  MQLONG CheckOpenOptions(const OpenRequest& req) const;
  OpenReply OpenQmgrObject(Session* s, Handle h);
  QueuePtr Resolve(const std::string& name, MQLONG* reason, QueuePtr* alias);
  // The local queue that output to `name` ends on (directly or through an
  // alias that allows puts); null with *reason set otherwise.
  QueuePtr ResolveForOutput(const std::string& name, MQLONG* reason, QueuePtr* alias = nullptr);
  MQLONG ResolveOpenTarget(const OpenRequest& req, Handle* h, QueuePtr* q);
  // How output reaches queue manager `qmgr` (not this one): a transmission
  // queue here (named by a remote definition, or found by the queue
  // manager's name, a queue-manager alias, the cluster or the default
  // transmission queue), or else straight to that queue manager of this
  // server. *qmgr may change (a queue-manager alias); *local is set when it
  // came back to this queue manager.
  struct QmgrRoute {
    QueuePtr xmitq;
    bool direct = false;
    bool local = false;
  };
  MQLONG RouteToQmgr(std::string* qmgr, const std::string& xmitq_name, QmgrRoute* route);
  MQLONG CreateDynamicQueue(Session* s, const OpenRequest& req, QueuePtr* q, std::string* object_name);
  static MQLONG CountOpen(const QueuePtr& q, const Handle& h);
  // MQPUT in steps: the caller's side (options, context, ids) here; the
  // store at the queue manager that holds the queue.
  MQLONG StagePut(Session* s, const Handle& h, const PutRequest& req, bool put1, StagedPut* staged);
  MQLONG PutThroughHandle(Session* s, Handle* h, const PutRequest& req, bool put1, PutReply* reply);
  MQLONG StoreMessage(const QueuePtr& q, const Queue* first_def, const Queue* alias, const XmitRoute* xmit,
                      const StagedPut& put, std::vector<UowEntry>* uow, PutReply* reply);
  // Ends this queue manager's entries of a unit of work.
  void EndUowEntries(std::vector<UowEntry>& entries, bool commit);
  static bool UowEntriesIntact(const std::vector<UowEntry>& entries);
  void CloseHandle(Session* s, Handle& h, MQLONG options);
  MQLONG TryGet(Session* s, const GetRequest& req, GetReply* reply);
  void FinishPending(Session* s, MQLONG cc, MQLONG rc);
  void EndUow(Session* s, bool commit);
  void ObjectEventFor(const std::string& appl, MQLONG reason, const std::string& queue,
                      const std::string& object_qmgr, MQLONG options, const std::string& user);
  void WakeWaiters(const QueuePtr& q);
  bool Denied(const std::string& user) const;
  void MakeMsgId(MQBYTE* out);
  std::string MakeDynamicName(const std::string& pattern, MQLONG* reason);

  std::string name_;
  std::string data_dir_;
  Host* host_;
  QmgrState state_ = QmgrState::kRunning;
  std::map<std::string, QueuePtr> queues_;
  std::map<uint64_t, std::unique_ptr<Session>> sessions_;
  std::set<std::string> denied_users_;
  std::list<Session*> waiting_;   // sessions with a pending get, in arrival order
  uint64_t next_seq_ = 1;
  uint64_t msgid_counter_ = 0;
  uint32_t start_time_ = 0;
  uint64_t dynamic_counter_ = 0;
  Journal journal_;
  AdminObjects objects_;
  std::unique_ptr<CommandServer> command_server_;
  // Reports to put at the end of the pass, each with the bytes its
  // request views.
  struct PendingReport {
    PutRequest put;
    std::string data;
  };
  std::vector<PendingReport> pending_reports_;
  uint64_t incarnation_ = 0;
  // Output attached by sessions of other queue managers, by token; the
  // parts of their units of work held here, by unit (session id).
  struct Attachment {
    QueuePtr queue;
    QueuePtr alias;
  };
  std::map<uint64_t, Attachment> attachments_;
  std::map<uint64_t, std::vector<UowEntry>> uow_parts_;
};

}  // namespace mqsim::server

#endif  // MQSIM_SERVER_QUEUE_MANAGER_H_
