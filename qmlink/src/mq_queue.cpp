// The queue object: open, close, put, get with regrow, clear, and the
// attribute calls that open a queue for one inquiry or set.
//
// Divisions:
//   1. creation and deletion
//   2. open and close
//   3. put and get
//   4. clear and open-state checks
//   5. attribute calls
#include <cstring>
#include <new>

#include <pcfcore/memory.h>
#include <pcfcore/message.h>

#include "fields.h"
#include "qmlink/mq_queue.h"

using qmlink::SetBlankField;
using qmlink::Trace;

namespace {

constexpr MQLONG kHeader = MESSAGE_HEADER_LENGTH;
// The working message qqClear drains with.
constexpr MQLONG kClearBufferBytes = 32000;

MQueue* NewQueue(MQHCONN hConn, const char* name) {
  void* block = nullptr;
  if (!fNewMemory(&block, sizeof(MQueue), "MQueue") || block == nullptr) return nullptr;
  auto* q = static_cast<MQueue*>(block);
  q->kind = MQUEUE_KIND;
  qmlink::CopyCut(q->name, sizeof q->name, name != nullptr ? name : "");
  q->hConn = hConn;
  q->hObj = MQHO_UNUSABLE_HOBJ;
  std::memcpy(q->descriptor.StrucId, MQOD_STRUC_ID, 4);
  q->descriptor.Version = MQOD_VERSION_1;
  q->descriptor.ObjectType = MQOT_Q;
  SetBlankField(q->descriptor.ObjectName, MQ_Q_NAME_LENGTH, name);
  SetBlankField(q->descriptor.ObjectQMgrName, MQ_Q_MGR_NAME_LENGTH, "");
  SetBlankField(q->descriptor.DynamicQName, MQ_Q_NAME_LENGTH, "AMQ.*");
  SetBlankField(q->descriptor.AlternateUserId, MQ_USER_ID_LENGTH, "");
  q->reason = MQRC_NONE;
  q->qq_open = qqOpen;
  q->qq_close = qqClose;
  q->qq_read = qqRead;
  q->qq_write = qqWrite;
  q->qq_clear = qqClear;
  q->qq_is_open = qqIsOpen;
  qmlink::QueueTraceDefaults d = qmlink::GetQueueTraceDefaults();
  q->trace = d.callback;
  q->traceData = d.data;
  return q;
}

bool AlternateUserGiven(const char* id) { return id[0] != '\0' && id[0] != ' '; }

// One MQINQ of integer selectors on an open queue.
bool Inquire(MQueue* q, MQLONG count, MQLONG* selectors, MQLONG* values) {
  MQLONG cc = MQCC_FAILED, rc = MQRC_NONE;
  MQINQ(q->hConn, q->hObj, count, selectors, count, values, 0, nullptr, &cc, &rc);
  q->reason = rc;
  return cc == MQCC_OK;
}

// Opens a queue object for name for one attribute call; null (reason 2071)
// when no object could be had, else the queue with the open's reason.
MQueue* OpenForCall(MQHCONN hConn, const char* name, MQLONG options, MQLONG* reason, bool* opened) {
  MQueue* q = CreateMQueue(hConn, name);
  *opened = false;
  if (q == nullptr) {
    if (reason != nullptr) *reason = MQRC_STORAGE_NOT_AVAILABLE;
    return nullptr;
  }
  *opened = qqOpen(options, q, nullptr) == 1;
  return q;
}

}  // namespace

// ---- 1. creation and deletion ------------------------------------------------

extern "C" MQueue* CreateMQueue(MQHCONN hConn, const char* name) {
  MQueue* q = NewQueue(hConn, name);
  Trace(q, "CreateMQueue");
  return q;
}

extern "C" MQueue* CreateMQDynamic(MQHCONN hConn, const char* model, const char* dynamic_name) {
  MQueue* q = NewQueue(hConn, dynamic_name);
  if (q == nullptr) return nullptr;
  SetBlankField(q->descriptor.ObjectName, MQ_Q_NAME_LENGTH, model);
  SetBlankField(q->descriptor.DynamicQName, MQ_Q_NAME_LENGTH, dynamic_name);
  Trace(q, "CreateMQDynamic");
  return q;
}

extern "C" int DeleteMQueue(MQueue* queue) {
  if (queue == nullptr) return 0;
  Trace(queue, "DeleteMQueue");
  if (queue->qq_close != nullptr) queue->qq_close(queue);
  FreeMemory(queue);
  return 1;
}

// ---- 2. open and close -------------------------------------------------------

extern "C" int qqOpen(MQLONG options, MQueue* queue, const char* alternate_user) {
  if (queue == nullptr) return 0;
  Trace(queue, "qqOpen: before");
  if (qqIsOpen(queue)) {
    // A second open would lose the handle of the first for good.
    queue->reason = MQRC_HOBJ_ERROR;
    Trace(queue, "qqOpen: after");
    return 0;
  }
  SetBlankField(queue->descriptor.AlternateUserId, MQ_USER_ID_LENGTH, alternate_user);
  if (alternate_user != nullptr && AlternateUserGiven(alternate_user)) options |= MQOO_ALTERNATE_USER_AUTHORITY;
  options |= MQOO_FAIL_IF_QUIESCING;
  MQLONG cc = MQCC_FAILED, rc = MQRC_NONE;
  MQHOBJ h = MQHO_UNUSABLE_HOBJ;
  MQOPEN(queue->hConn, &queue->descriptor, options, &h, &cc, &rc);
  queue->reason = rc;
  if (cc == MQCC_OK) {
    queue->hObj = h;
    // After the open of a model queue ObjectName holds the name MQ made.
    std::memcpy(queue->name, queue->descriptor.ObjectName, MQ_Q_NAME_LENGTH);
    queue->name[MQ_Q_NAME_LENGTH] = '\0';
  }
  Trace(queue, "qqOpen: after");
  return cc == MQCC_OK ? 1 : 0;
}

extern "C" int qqOpenDynamic(MQLONG options, MQueue* queue, const char* model, const char* alternate_user) {
  if (queue == nullptr) return 0;
  Trace(queue, "qqOpenDynamic: before");
  SetBlankField(queue->descriptor.ObjectName, MQ_Q_NAME_LENGTH, model);
  SetBlankField(queue->descriptor.DynamicQName, MQ_Q_NAME_LENGTH, queue->name);
  int result = qqOpen(options, queue, alternate_user);
  Trace(queue, "qqOpenDynamic: after");
  return result;
}

extern "C" int qqClose(MQueue* queue) {
  if (queue == nullptr) return 0;
  Trace(queue, "qqClose: before");
  int result = 1;
  if (qqIsOpen(queue)) {
    MQLONG cc = MQCC_FAILED, rc = MQRC_NONE;
    MQHOBJ h = queue->hObj;
    MQCLOSE(queue->hConn, &h, MQCO_NONE, &cc, &rc);
    queue->reason = rc;
    if (cc == MQCC_OK) {
      queue->hObj = MQHO_UNUSABLE_HOBJ;
    } else {
      result = 0;
    }
  }
  Trace(queue, "qqClose: after");
  return result;
}

// ---- 3. put and get ----------------------------------------------------------

extern "C" int qqWrite(Message* message, MQPMO* options, MQueue* queue) {
  if (queue == nullptr) return 0;
  Trace(queue, "qqWrite: before");
  if (message == nullptr || message->Storage == nullptr || options == nullptr ||
      message->UsedLength < kHeader || message->UsedLength > message->Capacity) {
    queue->reason = message == nullptr || message->Storage == nullptr ? MQRC_BUFFER_ERROR
                                                                       : options == nullptr ? MQRC_PMO_ERROR
                                                                                            : MQRC_BUFFER_LENGTH_ERROR;
    Trace(queue, "qqWrite: after");
    return 0;
  }
  MQLONG length = message->UsedLength - kHeader;
  MQLONG cc = MQCC_FAILED, rc = MQRC_NONE;
  if (qqIsOpen(queue)) {
    MQPUT(queue->hConn, queue->hObj, &message->Md, options, length, message->Payload, &cc, &rc);
  } else {
    if (AlternateUserGiven(queue->descriptor.AlternateUserId) &&
        (options->Options & MQPMO_SET_IDENTITY_CONTEXT) == 0) {
      options->Options |= MQPMO_SET_IDENTITY_CONTEXT | MQPMO_ALTERNATE_USER_AUTHORITY;
      std::memcpy(message->Md.UserIdentifier, queue->descriptor.AlternateUserId, MQ_USER_ID_LENGTH);
    }
    MQPUT1(queue->hConn, &queue->descriptor, &message->Md, options, length, message->Payload, &cc, &rc);
  }
  queue->reason = rc;
  Trace(queue, "qqWrite: after");
  return cc == MQCC_OK ? 1 : 0;
}

extern "C" int qqRead(Message* message, MQGMO* options, MQueue* queue) {
  if (queue == nullptr) return 0;
  Trace(queue, "qqRead: before");
  if (message == nullptr || message->Storage == nullptr || options == nullptr ||
      message->Capacity < kHeader) {
    queue->reason = options == nullptr ? MQRC_GMO_ERROR : MQRC_BUFFER_ERROR;
    Trace(queue, "qqRead: after");
    return 0;
  }
  // The descriptor as the caller gave it: a second get must match what the
  // first was asked to match, not the ids of the message that was too long.
  const MQMD asked = message->Md;
  // No caller may block the thread for ever: an unlimited or longer wait
  // is held to the library's longest, and the caller's value put back.
  const MQLONG asked_wait = options->WaitInterval;
  if ((options->Options & MQGMO_WAIT) &&
      (options->WaitInterval == MQWI_UNLIMITED || options->WaitInterval > QMLINK_MAX_WAIT_MS))
    options->WaitInterval = QMLINK_MAX_WAIT_MS;
  MQLONG cc = MQCC_FAILED, rc = MQRC_NONE, data_length = 0;
  MQGET(queue->hConn, queue->hObj, &message->Md, options, message->Capacity - kHeader, message->Payload,
        &data_length, &cc, &rc);
  if (rc == MQRC_TRUNCATED_MSG_FAILED && data_length > message->Capacity - kHeader &&
      data_length <= INT32_MAX - kHeader) {
    if (SizeMessage(message, data_length)) {
      message->Md = asked;
      data_length = 0;
      MQGET(queue->hConn, queue->hObj, &message->Md, options, message->Capacity - kHeader, message->Payload,
            &data_length, &cc, &rc);
    } else {
      rc = MQRC_STORAGE_NOT_AVAILABLE;
    }
  }
  options->WaitInterval = asked_wait;
  queue->reason = rc;
  bool ok = cc == MQCC_OK || (cc == MQCC_WARNING && (rc == MQRC_SOURCE_CCSID_ERROR || rc == MQRC_NOT_CONVERTED));
  if (cc != MQCC_FAILED) {
    // A truncated message accepted (2079) fills the body and no more.
    MQLONG held = data_length < message->Capacity - kHeader ? data_length : message->Capacity - kHeader;
    message->UsedLength = kHeader + (held > 0 ? held : 0);
  }
  Trace(queue, "qqRead: after");
  return ok ? 1 : 0;
}

// ---- 4. clear and open-state checks -----------------------------------------

extern "C" int qqClear(MQueue* queue) {
  if (queue == nullptr) return 0;
  Trace(queue, "qqClear: before");
  ++queue->clearCount;
  Message work{};
  if (!CreateMessage(&work, kClearBufferBytes)) {
    queue->reason = MQRC_STORAGE_NOT_AVAILABLE;
    Trace(queue, "qqClear: after");
    return 0;
  }
  MQGMO gmo = qmlink::MakeGetOptions(MQGMO_NO_SYNCPOINT | MQGMO_ACCEPT_TRUNCATED_MSG, 0);
  MQLONG cc = MQCC_FAILED, rc = MQRC_NONE;
  do {
    // A fresh default descriptor each time: zero ids match any message.
    SetDefaultMd(&work.Md);
    MQLONG data_length = 0;
    MQGET(queue->hConn, queue->hObj, &work.Md, &gmo, kClearBufferBytes, work.Payload, &data_length, &cc, &rc);
  } while (cc == MQCC_OK || rc == MQRC_TRUNCATED_MSG_ACCEPTED);
  queue->reason = rc;
  DeleteMessage(&work);
  Trace(queue, "qqClear: after");
  return rc == MQRC_NO_MSG_AVAILABLE || rc == MQRC_TRUNCATED_MSG_ACCEPTED ? 1 : 0;
}

extern "C" int qqIsOpen(MQueue* queue) {
  if (queue == nullptr) return 0;
  return queue->hConn >= 0 && queue->hObj >= 0 ? 1 : 0;
}

extern "C" int qqIsOpenInput(MQueue* queue) {
  if (queue == nullptr) return 0;
  MQLONG selectors[2] = {MQIA_OPEN_INPUT_COUNT, MQIA_OPEN_OUTPUT_COUNT};
  MQLONG values[2] = {0, 0};
  return Inquire(queue, 2, selectors, values) && values[0] > 0 ? 1 : 0;
}

extern "C" int qqGetStats(MQueue* queue, MQLONG* depth, MQLONG* max_depth) {
  if (queue == nullptr) return 0;
  MQLONG selectors[2] = {MQIA_CURRENT_Q_DEPTH, MQIA_MAX_Q_DEPTH};
  MQLONG values[2] = {0, 0};
  if (!Inquire(queue, 2, selectors, values)) return 0;
  if (depth != nullptr) *depth = values[0];
  if (max_depth != nullptr) *max_depth = values[1];
  return 1;
}

// ---- 5. attribute calls --------------------------------------------------------

extern "C" int qqGetIntAttr(MQHCONN hConn, const char* name, MQLONG selector, MQLONG* value, MQLONG* reason) {
  bool opened = false;
  MQueue* q = OpenForCall(hConn, name, MQOO_INQUIRE, reason, &opened);
  if (q == nullptr) return 0;
  MQLONG v = 0;
  bool ok = opened && Inquire(q, 1, &selector, &v);
  if (ok && value != nullptr) *value = v;
  if (reason != nullptr) *reason = q->reason;
  DeleteMQueue(q);
  return ok ? 1 : 0;
}

extern "C" int qqGetAllQStats(MQHCONN hConn, const char* name, MQLONG* depth, MQLONG* max_depth,
                              MQLONG* input_count, MQLONG* output_count, MQLONG* trigger_control,
                              MQLONG* reason) {
  bool opened = false;
  MQueue* q = OpenForCall(hConn, name, MQOO_INQUIRE, reason, &opened);
  if (q == nullptr) return 0;
  MQLONG selectors[5] = {MQIA_CURRENT_Q_DEPTH, MQIA_MAX_Q_DEPTH, MQIA_OPEN_INPUT_COUNT,
                         MQIA_OPEN_OUTPUT_COUNT, MQIA_TRIGGER_CONTROL};
  MQLONG values[5] = {0, 0, 0, 0, 0};
  bool ok = opened && Inquire(q, 5, selectors, values);
  if (ok) {
    MQLONG* outs[5] = {depth, max_depth, input_count, output_count, trigger_control};
    for (int i = 0; i < 5; ++i)
      if (outs[i] != nullptr) *outs[i] = values[i];
  }
  if (reason != nullptr) *reason = q->reason;
  DeleteMQueue(q);
  return ok ? 1 : 0;
}

extern "C" int qqSetCharAttr(MQHCONN hConn, const char* name, MQLONG selector, MQLONG length,
                             const char* value, MQLONG* reason) {
  bool opened = false;
  MQueue* q = OpenForCall(hConn, name, MQOO_SET, reason, &opened);
  if (q == nullptr) return 0;
  bool ok = false;
  if (opened) {
    MQLONG cc = MQCC_FAILED, rc = MQRC_NONE;
    MQSET(q->hConn, q->hObj, 1, &selector, 0, nullptr, length, const_cast<char*>(value), &cc, &rc);
    q->reason = rc;
    ok = cc == MQCC_OK;
  }
  if (reason != nullptr) *reason = q->reason;
  DeleteMQueue(q);
  return ok ? 1 : 0;
}

extern "C" int OnQTrace(MQueue* queue, MQueueTraceFn callback, MQLONG data) {
  if (queue == nullptr) return 0;
  queue->trace = callback;
  queue->traceData = data;
  return 1;
}
