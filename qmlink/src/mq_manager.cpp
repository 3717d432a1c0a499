// The queue-manager object: connections, its three queues, the command
// put and the reply get matched by id, event reads, transactions, traces.
//
// Divisions:
//   1. names and creation
//   2. open, close, delete
//   3. command put and reply get
//   4. event reads
//   5. queue description, transactions, traces
#include <cstdio>
#include <cstring>
#include <string>

#include <pcfcore/memory.h>
#include <pcfcore/message.h>
#include <pcfcore/pcf_message.h>
#include <pcfcore/pcf_records.h>

#include "client_connections.h"
#include "fields.h"
#include "manager_internal.h"
#include "qmlink/mq_manager.h"

using qmlink::FieldText;
using qmlink::PrintDated;
using qmlink::SetBlankField;
using qmlink::Trace;

namespace qmlink {

// ---- 1. names and creation ---------------------------------------------------

std::string DynamicQueueName(const char* prefix, const char* suffix) {
  std::string s = suffix != nullptr && suffix[0] != '\0' ? std::string(suffix) : std::string("DEFAULT");
  if (s.size() > kMaxSuffixChars) s.resize(kMaxSuffixChars);
  return WithoutBlanks(std::string(prefix) + s) + "*";
}

namespace {

enum class Connect { kClient, kLocal };

MQManager* NewManager(const char* name) {
  void* block = nullptr;
  if (!fNewMemory(&block, sizeof(MQManager), "MQManager") || block == nullptr) return nullptr;
  auto* m = static_cast<MQManager*>(block);
  m->kind = MQMANAGER_KIND;
  CopyCut(m->name, sizeof m->name, name != nullptr ? name : "");
  m->hConn = 0;
  m->reason = MQRC_NONE;
  m->qm_open = qmOpen;
  m->qm_close = qmClose;
  m->qm_read = qmRead;
  m->qm_write = qmWrite;
  m->qm_post = qmPost;
  ManagerTraceDefaults d = GetManagerTraceDefaults();
  m->trace = d.callback;
  m->queueTrace = d.queue_callback;
  m->queueTraceData = d.queue_data;
  m->ownsConnection = 0;
  return m;
}

// The queue objects take the manager's queue trace, when it has one.
MQueue* Adopt(MQManager* m, MQueue* q) {
  if (q != nullptr && m->queueTrace != nullptr) OnQTrace(q, m->queueTrace, m->queueTraceData);
  return q;
}

// Connects; false when the connect failed (hConn -1, reason set).
bool ConnectManager(MQManager* m, Connect how) {
  char qmgr[MQ_Q_MGR_NAME_LENGTH];
  SetBlankField(qmgr, sizeof qmgr, m->name);
  MQLONG cc = MQCC_FAILED, rc = MQRC_NONE;
  MQHCONN h = MQHC_UNUSABLE_HCONN;
  if (how == Connect::kClient) {
    MQCD cd = MakeChannelDefinition(ReadClientDefinition(m->name));
    MQCNO cno{};
    std::memcpy(cno.StrucId, MQCNO_STRUC_ID, 4);
    cno.Version = MQCNO_VERSION_2;
    cno.Options = MQCNO_FASTPATH_BINDING;
    cno.ClientConnPtr = &cd;
    MQCONNX(qmgr, &cno, &h, &cc, &rc);
  } else {
    MQCONN(qmgr, &h, &cc, &rc);
  }
  m->reason = static_cast<MQULONG>(rc);
  if (cc != MQCC_OK && rc != MQRC_ALREADY_CONNECTED) {
    m->hConn = MQHC_UNUSABLE_HCONN;
    return false;
  }
  m->hConn = h;
  // A handle that answered 2002 belongs to an earlier connect of this
  // thread: disconnecting it would cut that connection too.
  m->ownsConnection = rc == MQRC_ALREADY_CONNECTED ? 0 : 1;
  return true;
}

void WarnQueue(const MQManager* m, const char* id_and_text, const std::string& queue, MQLONG reason) {
  char line[512];
  std::snprintf(line, sizeof line, "%s %s:%s RC(%d)", id_and_text, m->name, queue.c_str(), static_cast<int>(reason));
  PrintDated(line);
}

MQManager* Create(const char* name, const char* command_queue, const char* event_queue,
                  const char* reply_suffix, Connect how) {
  MQManager* m = NewManager(name);
  if (m == nullptr) return nullptr;
  if (ConnectManager(m, how)) {
    if (event_queue != nullptr) {
      std::string event_name(event_queue, strnlen(event_queue, MQ_Q_NAME_LENGTH));
      m->eventQueue = Adopt(m, CreateMQueue(m->hConn, event_name.c_str()));
      if (m->eventQueue == nullptr || m->eventQueue->reason != MQRC_NONE)
        WarnQueue(m, "TLX0100W CreateMQManager: Unable to create event queue", event_name,
                  m->eventQueue == nullptr ? MQRC_STORAGE_NOT_AVAILABLE : m->eventQueue->reason);
    }
    std::string reply_name = DynamicQueueName(kReplyQueuePrefix, reply_suffix);
    m->replyQueue = Adopt(m, CreateMQDynamic(m->hConn, QMLINK_MODEL_QUEUE, reply_name.c_str()));
    if (m->replyQueue == nullptr || m->replyQueue->reason != MQRC_NONE)
      WarnQueue(m, "TLX0101W CreateMQManager: Unable to create reply queue", reply_name,
                m->replyQueue == nullptr ? MQRC_STORAGE_NOT_AVAILABLE : m->replyQueue->reason);
    m->commandQueue = Adopt(m, CreateMQueue(m->hConn, command_queue != nullptr ? command_queue : QMLINK_COMMAND_QUEUE));
  }
  Trace(m, "CreateMQManager");
  return m;
}

}  // namespace
}  // namespace qmlink

using namespace qmlink;

extern "C" MQManager* CreateCLConn(const char* name, const char* command_queue, const char* event_queue,
                                   const char* reply_suffix) {
  return Create(name, command_queue, event_queue, reply_suffix, Connect::kClient);
}

extern "C" MQManager* CreateMQManager(const char* name, const char* command_queue, const char* event_queue,
                                      const char* reply_suffix) {
  return Create(name, command_queue, event_queue, reply_suffix, Connect::kLocal);
}

extern "C" MQManager* CreateDMQManager(const char* name, const char* command_queue, const char* event_suffix,
                                       const char* reply_suffix) {
  MQManager* m = NewManager(name);
  if (m == nullptr) return nullptr;
  if (ConnectManager(m, Connect::kLocal)) {
    std::string event_name = DynamicQueueName(kEventQueuePrefix, event_suffix);
    m->eventQueue = Adopt(m, CreateMQDynamic(m->hConn, QMLINK_MODEL_QUEUE, event_name.c_str()));
    std::string reply_name = DynamicQueueName(kReplyQueuePrefix, reply_suffix);
    m->replyQueue = Adopt(m, CreateMQDynamic(m->hConn, QMLINK_MODEL_QUEUE, reply_name.c_str()));
    m->commandQueue = Adopt(m, CreateMQueue(m->hConn, command_queue != nullptr ? command_queue : QMLINK_COMMAND_QUEUE));
  }
  Trace(m, "CreateDMQManager");
  return m;
}

// ---- 2. open, close, delete --------------------------------------------------

extern "C" int qmOpen(MQManager* manager, const char* alternate_user) {
  if (manager == nullptr) return 0;
  Trace(manager, "qmOpen: before");
  if (manager->commandQueue == nullptr || manager->replyQueue == nullptr) {
    PrintDated("TLX0103E qmOpen: Command Queue and/or Reply Queue not specified in pQMgr.");
    // Without a connect failure to report, the queue objects were not had.
    if (manager->reason == MQRC_NONE) manager->reason = MQRC_STORAGE_NOT_AVAILABLE;
    Trace(manager, "qmOpen: after");
    return 0;
  }
  MQueue* reply = manager->replyQueue;
  char line[512];
  std::string user = alternate_user != nullptr ? std::string(alternate_user, strnlen(alternate_user, MQ_USER_ID_LENGTH)) : "";
  // An object opened before only needs emptying: a second open would be
  // refused and the first handle kept anyway.
  if (!qqIsOpen(reply) && !reply->qq_open(MQOO_INPUT_EXCLUSIVE | MQOO_INQUIRE, reply, alternate_user)) {
    manager->reason = static_cast<MQULONG>(reply->reason);
    std::snprintf(line, sizeof line,
                  "TLX0102W qmOpen: Open Reply Queue failed, ReplyQ %s:%s REASON(%d) UserID(%s) AltID(%s)",
                  manager->name, reply->name, static_cast<int>(reply->reason), user.c_str(),
                  FieldText(reply->descriptor.AlternateUserId, MQ_USER_ID_LENGTH).c_str());
    PrintDated(line);
    return 0;
  }
  if (!reply->qq_clear(reply)) {
    manager->reason = static_cast<MQULONG>(reply->reason);
    std::snprintf(line, sizeof line,
                  "TLX0107W qmOpen: Clear Reply Queue failed, ReplyQ %s:%s REASON(%d) UserID(%s) AltID(%s)",
                  manager->name, reply->name, static_cast<int>(reply->reason), user.c_str(),
                  FieldText(reply->descriptor.AlternateUserId, MQ_USER_ID_LENGTH).c_str());
    PrintDated(line);
    return 0;
  }
  manager->reason = MQRC_NONE;
  manager->pending = MQManagerPending{};
  Trace(manager, "qmOpen: after");
  return 1;
}

extern "C" int qmClose(MQManager* manager) {
  if (manager == nullptr) return 0;
  Trace(manager, "qmClose: before");
  DeleteMQueue(manager->commandQueue);
  DeleteMQueue(manager->replyQueue);
  DeleteMQueue(manager->eventQueue);
  manager->commandQueue = manager->replyQueue = manager->eventQueue = nullptr;
  manager->pending = MQManagerPending{};
  int result = 1;
  if (manager->hConn >= 0 && manager->ownsConnection) {
    MQLONG cc = MQCC_FAILED, rc = MQRC_NONE;
    MQHCONN h = manager->hConn;
    MQDISC(&h, &cc, &rc);
    manager->reason = static_cast<MQULONG>(rc);
    result = cc == MQCC_OK ? 1 : 0;
  }
  manager->hConn = MQHC_UNUSABLE_HCONN;
  manager->ownsConnection = 0;
  Trace(manager, "qmClose: after");
  return result;
}

extern "C" int DeleteMQManager(MQManager* manager) {
  if (manager == nullptr) return 0;
  Trace(manager, "DeleteMQManager");
  if (manager->qm_close != nullptr) manager->qm_close(manager);
  FreeMemory(manager);
  return 1;
}

// ---- 3. command put and reply get --------------------------------------------

namespace qmlink {
namespace {

// A reply ends its request unless it is a PCF response that says more
// follow (Control 0; 0 reads the same in either byte order).
bool IsLastReply(const Message* message) {
  if (message->UsedLength - MESSAGE_HEADER_LENGTH < MQCFH_STRUC_LENGTH) return true;
  MQCFH cfh;
  std::memcpy(&cfh, message->Payload, sizeof cfh);
  return cfh.Control != MQCFC_NOT_LAST;
}

}  // namespace
}  // namespace qmlink

extern "C" int qmWrite(Message* message, MQManager* manager) {
  if (manager == nullptr) return 0;
  Trace(manager, "qmWrite: before");
  MQueue* command = manager->commandQueue;
  MQueue* reply = manager->replyQueue;
  if (message == nullptr || message->Storage == nullptr || command == nullptr || reply == nullptr) {
    manager->reason = message == nullptr || message->Storage == nullptr ? MQRC_BUFFER_ERROR : MQRC_HOBJ_ERROR;
    Trace(manager, "qmWrite: after");
    return 0;
  }
  MQPMO pmo{};
  std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
  pmo.Version = MQPMO_VERSION_1;
  pmo.Options = MQPMO_NO_SYNCPOINT | MQPMO_FAIL_IF_QUIESCING;
  pmo.Timeout = -1;
  const MessageHeader* header = MESSAGE_HEADER(message);
  MQMD& md = message->Md;
  SetBlankField(md.ReplyToQ, MQ_Q_NAME_LENGTH, reply->name);
  SetBlankField(md.ReplyToQMgr, MQ_Q_MGR_NAME_LENGTH, manager->name);
  std::memcpy(md.MsgId, header->MsgId, MQ_MSG_ID_LENGTH);
  std::memcpy(md.CorrelId, header->CorrelId, MQ_CORREL_ID_LENGTH);
  // A command is a request in the command format; the command server
  // refuses anything else.
  md.MsgType = MQMT_REQUEST;
  if (std::memcmp(md.Format, MQFMT_NONE, MQ_FORMAT_LENGTH) == 0 || IsZero(md.Format, MQ_FORMAT_LENGTH))
    std::memcpy(md.Format, MQFMT_ADMIN, MQ_FORMAT_LENGTH);
  char user[MQ_USER_ID_LENGTH + 1] = {0};
  std::memcpy(user, header->UserId, MQ_USER_ID_LENGTH);
  SetBlankField(command->descriptor.AlternateUserId, MQ_USER_ID_LENGTH, user);
  int ok = command->qq_write(message, &pmo, command);
  manager->reason = static_cast<MQULONG>(command->reason);
  manager->pending = MQManagerPending{};
  if (ok) {
    // The ids the reply will carry: the request's MsgId only when it is
    // passed on; the CorrelId passed on, else the request's MsgId.
    manager->pending.valid = 1;
    manager->pending.clearCount = reply->clearCount;
    if (md.Report & MQRO_PASS_MSG_ID) std::memcpy(manager->pending.MsgId, md.MsgId, MQ_MSG_ID_LENGTH);
    std::memcpy(manager->pending.CorrelId, (md.Report & MQRO_PASS_CORREL_ID) ? md.CorrelId : md.MsgId,
                MQ_CORREL_ID_LENGTH);
  }
  Trace(manager, "qmWrite: after");
  return ok;
}

extern "C" int qmRead(Message* message, MQLONG wait_ms, MQManager* manager) {
  if (manager == nullptr) return 0;
  Trace(manager, "qmRead: before");
  MQueue* reply = manager->replyQueue;
  if (message == nullptr || message->Storage == nullptr || reply == nullptr) {
    manager->reason = message == nullptr || message->Storage == nullptr ? MQRC_BUFFER_ERROR : MQRC_HOBJ_ERROR;
    Trace(manager, "qmRead: after");
    return 0;
  }
  MQGMO gmo = MakeGetOptions(MQGMO_NO_SYNCPOINT | MQGMO_FAIL_IF_QUIESCING | MQGMO_CONVERT, wait_ms);
  MQMD& md = message->Md;
  if (manager->pending.valid && manager->pending.clearCount != reply->clearCount)
    manager->pending = MQManagerPending{};  // emptied since: nothing of it is left
  bool by_pending = manager->pending.valid && IsZero(md.MsgId, MQ_MSG_ID_LENGTH) &&
                    IsZero(md.CorrelId, MQ_CORREL_ID_LENGTH);
  if (by_pending) {
    std::memcpy(md.MsgId, manager->pending.MsgId, MQ_MSG_ID_LENGTH);
    std::memcpy(md.CorrelId, manager->pending.CorrelId, MQ_CORREL_ID_LENGTH);
  }
  int ok = reply->qq_read(message, &gmo, reply);
  // The request is answered once its last reply is in, and given up when a
  // read for it fails for any reason but an empty queue (readers that wait
  // in slices see 2033 many times); later reads of zero ids (the responses
  // the message server puts itself) then take any message again.
  if (by_pending && (ok ? IsLastReply(message) : reply->reason != MQRC_NO_MSG_AVAILABLE))
    manager->pending = MQManagerPending{};
  MessageHeader* header = MESSAGE_HEADER(message);
  std::memcpy(header->MsgId, md.MsgId, MQ_MSG_ID_LENGTH);
  std::memcpy(header->CorrelId, md.CorrelId, MQ_CORREL_ID_LENGTH);
  manager->reason = static_cast<MQULONG>(reply->reason);
  Trace(manager, "qmRead: after");
  return ok;
}

// ---- 4. event reads ----------------------------------------------------------

namespace {

int ReadEvent(Message* message, MQLONG wait_ms, MQManager* manager, MQueue* queue) {
  if (queue == nullptr || message == nullptr || message->Storage == nullptr) {
    manager->reason = queue == nullptr ? MQRC_HOBJ_ERROR : MQRC_BUFFER_ERROR;
    return 0;
  }
  MQGMO gmo = MakeGetOptions(MQGMO_NO_SYNCPOINT | MQGMO_FAIL_IF_QUIESCING | MQGMO_CONVERT, wait_ms);
  int ok = queue->qq_read(message, &gmo, queue);
  manager->reason = static_cast<MQULONG>(queue->reason);
  return ok;
}

}  // namespace

extern "C" int qmPost(Message* message, MQLONG wait_ms, MQManager* manager) {
  if (manager == nullptr) return 0;
  Trace(manager, "qmPost: before");
  int ok = ReadEvent(message, wait_ms, manager, manager->eventQueue);
  Trace(manager, "qmPost: after");
  return ok;
}

extern "C" int ReadEventQ(Message* message, MQLONG wait_ms, MQManager* manager, MQueue* queue) {
  if (manager == nullptr) return 0;
  Trace(manager, "ReadEventQ: before");
  int ok = ReadEvent(message, wait_ms, manager, queue);
  Trace(manager, "ReadEventQ: after");
  return ok;
}

// ---- 5. queue description, transactions, traces ------------------------------

extern "C" int qmUpdateQueInfo(MQManager* manager, const char* queue_name, const char* description,
                               MQLONG* reason) {
  if (manager == nullptr || manager->commandQueue == nullptr || queue_name == nullptr) return 0;
  MQueue* command = manager->commandQueue;
  if (!command->qq_open(MQOO_OUTPUT | MQOO_INQUIRE, command, nullptr)) {
    manager->reason = static_cast<MQULONG>(command->reason);
    if (reason != nullptr) *reason = command->reason;
    return 0;
  }
  std::string desc = description != nullptr ? std::string(description, strnlen(description, MQ_Q_DESC_LENGTH)) : "";
  std::string name(queue_name, strnlen(queue_name, MQ_Q_NAME_LENGTH));
  int result = 0;
  mqPcfMessage* request = BuildChangeQueueDescription(name, desc);
  mqPcfMessage* response = CreatePcfMessage(MQCMD_CHANGE_Q, MQCFT_RESPONSE, 512);
  if (request == nullptr || response == nullptr) {
    manager->reason = MQRC_STORAGE_NOT_AVAILABLE;
    if (reason != nullptr) *reason = MQRC_STORAGE_NOT_AVAILABLE;
  } else if (!qmWrite(&request->Body, manager)) {
    if (reason != nullptr) *reason = command->reason;
  } else {
    result = qmRead(&response->Body, kCommandReplyWaitMs, manager);
    if (!result && reason != nullptr) *reason = static_cast<MQLONG>(manager->reason);
  }
  DeletePcfMessage(request);
  DeletePcfMessage(response);
  command->qq_close(command);
  return result;
}

extern "C" int qmEndTrans(MQManager* manager, int commit) {
  if (manager == nullptr || manager->hConn == 0) return 0;
  MQLONG cc = MQCC_FAILED, rc = MQRC_NONE;
  if (commit != 0) {
    MQCMIT(manager->hConn, &cc, &rc);
  } else {
    MQBACK(manager->hConn, &cc, &rc);
  }
  manager->reason = static_cast<MQULONG>(rc);
  return cc == MQCC_OK ? 1 : 0;
}

extern "C" int OnQMgrTrace(MQManager* manager, MQManagerTraceFn callback, MQueueTraceFn queue_callback,
                           MQLONG queue_data) {
  if (manager == nullptr) return 0;
  manager->trace = callback;
  manager->queueTrace = queue_callback;
  manager->queueTraceData = queue_data;
  OnQTrace(manager->eventQueue, queue_callback, queue_data);
  OnQTrace(manager->replyQueue, queue_callback, queue_data);
  OnQTrace(manager->commandQueue, queue_callback, queue_data);
  return 1;
}
