// qmTest: the step-by-step check of a queue manager that the agent runs
// before it serves one, and the command messages the library sends itself.
#include <cstdio>
#include <cstring>
#include <string>

#include <pcfcore/message.h>
#include <pcfcore/pcf_message.h>
#include <pcfcore/pcf_records.h>

#include "fields.h"
#include "manager_internal.h"
#include "qmlink/mq_manager.h"

namespace qmlink {
namespace {

bool AppendInt(mqPcfMessage* message, MQLONG id, MQLONG value) {
  Message record{};
  bool ok = CreatePcfIntAttr(&record, id, value) && AppendAttr(message, &record);
  DeleteMessage(&record);
  return ok;
}

bool AppendString(mqPcfMessage* message, MQLONG id, const std::string& text) {
  Message record{};
  bool ok = CreatePcfStrAttr(&record, id, text.c_str()) && AppendAttr(message, &record);
  DeleteMessage(&record);
  return ok;
}

MQCFH* Header(mqPcfMessage* message) { return reinterpret_cast<MQCFH*>(PCF_BODY(message)); }

// The ping exchange; MQRC_NONE when a reply came. A command server that
// holds the queue open but lets the wait run out is hung: 20307.
MQLONG Ping(MQManager* m) {
  mqPcfMessage* request = CreatePcfMessage(MQCMD_PING_Q_MGR, MQCFT_COMMAND, 0);
  mqPcfMessage* response = CreatePcfMessage(MQCMD_PING_Q_MGR, MQCFT_RESPONSE, 512);
  MQLONG reason = MQRC_NONE;
  if (request == nullptr || response == nullptr) {
    reason = MQRC_STORAGE_NOT_AVAILABLE;
  } else if (!qmWrite(&request->Body, m)) {
    reason = m->commandQueue->reason;
  } else if (!qmRead(&response->Body, kCommandReplyWaitMs, m)) {
    reason = m->replyQueue->reason;
    if (reason == MQRC_NO_MSG_AVAILABLE) reason = EXRC_CMD_SERVER_NOT_RESPONDING;
  }
  DeletePcfMessage(request);
  DeletePcfMessage(response);
  return reason;
}

}  // namespace

mqPcfMessage* BuildChangeQueueDescription(const std::string& queue, const std::string& description) {
  mqPcfMessage* request = CreatePcfMessage(MQCMD_CHANGE_Q, MQCFT_COMMAND, 256);
  if (request == nullptr) return nullptr;
  if (!AppendString(request, MQCA_Q_NAME, queue) || !AppendInt(request, MQIA_Q_TYPE, MQQT_LOCAL) ||
      !AppendString(request, MQCA_Q_DESC, description) || !RawToPcf(request)) {
    DeletePcfMessage(request);
    return nullptr;
  }
  return request;
}

}  // namespace qmlink

using namespace qmlink;

extern "C" int qmTest(const char* name, const char* command_queue, const char* event_suffix,
                      const char* reply_suffix, mqPcfMessage* result) {
  if (result == nullptr || PCF_BODY(result) == nullptr) return 0;
  MQLONG command = result->Body.UsedLength - MESSAGE_HEADER_LENGTH >= MQCFH_STRUC_LENGTH ? Header(result)->Command : 0;
  if (!ResetPcfMessage(result, command, MQCFT_RESPONSE)) return 0;

  MQManager* m = CreateDMQManager(name, command_queue, event_suffix, reply_suffix);
  if (m == nullptr) {
    AppendInt(result, QMGR_TEST_CONNECT_RC, MQRC_RESOURCE_PROBLEM);
    Header(result)->CompCode = MQCC_FAILED;
    Header(result)->Reason = MQRC_RESOURCE_PROBLEM;
    RawToPcf(result);
    return 0;
  }
  Trace(m, "qmTest: before");
  // Each failing step records its reason; the last one recorded is the
  // result's reason.
  MQLONG recorded = MQRC_NONE;
  auto fail = [&](MQLONG id, MQLONG reason) {
    AppendInt(result, id, reason);
    recorded = reason;
  };

  if (m->reason != MQRC_NONE) {
    fail(QMGR_TEST_CONNECT_RC, static_cast<MQLONG>(m->reason));
  } else if (m->commandQueue == nullptr || m->replyQueue == nullptr || m->eventQueue == nullptr) {
    fail(QMGR_TEST_CONNECT_RC, MQRC_STORAGE_NOT_AVAILABLE);
  } else {
    MQueue* cmdq = m->commandQueue;
    MQueue* replyq = m->replyQueue;
    bool cmdq_open = qqOpen(MQOO_OUTPUT | MQOO_INQUIRE, cmdq, nullptr) == 1;
    if (!cmdq_open) fail(QMGR_TEST_CMDQ_RC, cmdq->reason);

    // A missing model queue (2085) is reported as it is: creating it would
    // need the very reply queue that cannot be made without it.
    bool replyq_open = qqOpen(MQOO_INPUT_EXCLUSIVE, replyq, nullptr) == 1;
    if (!replyq_open) fail(QMGR_TEST_REPLYQ_RC, replyq->reason);

    if (cmdq_open && replyq_open) {
      if (qqIsOpenInput(cmdq)) {
        MQLONG ping = Ping(m);
        if (ping != MQRC_NONE) fail(QMGR_TEST_PING_RC, ping);
      } else {
        // No command server: worth telling, but the queue manager works.
        AppendInt(result, QMGR_TEST_PING_RC, EXRC_CMD_SERVER_DOWN);
      }
    }

    if (!qqOpenDynamic(MQOO_INPUT_EXCLUSIVE, m->eventQueue, QMLINK_MODEL_QUEUE, nullptr))
      fail(QMGR_TEST_EVENTQ_RC, m->eventQueue->reason);
  }

  if (recorded != MQRC_NONE) {
    Header(result)->CompCode = MQCC_FAILED;
    Header(result)->Reason = recorded;
  }
  Trace(m, "qmTest: after");
  DeleteMQManager(m);
  RawToPcf(result);
  return recorded == MQRC_NONE ? 1 : 0;
}
