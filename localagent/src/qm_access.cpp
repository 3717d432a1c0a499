// The agent's use of the queue-manager library: verification of the local
// queue managers at start-up and the installation's log settings.

#include <cstdio>
#include <string>
#include <vector>

#include <pcfcore/excmd.h>
#include <pcfcore/pcf_message.h>
#include <pcfcore/pcf_records.h>
#include <pcfcore/text.h>
#include <qmlink/qmlink.h>

#include "agent.h"
#include "agent_log.h"
#include "pcf_params.h"

namespace localagent {
namespace {

constexpr const char kCommandQueue[] = "SYSTEM.ADMIN.COMMAND.QUEUE";
constexpr const char kEventQueue[] = "MQMGM.ADMIN.EVENT.QUEUE";
constexpr const char kReplyQueue[] = "MQCMD.DYNAMIC.QUEUE";
constexpr const char kModelQueue[] = "SYSTEM.DEFAULT.MODEL.QUEUE";
constexpr MQLONG kQmgrName = 2015;  // MQCA_Q_MGR_NAME
// Log settings of a queue-manager inquiry reply.
constexpr MQLONG kLogPath = 20019;
constexpr MQLONG kLogType = 20143;
constexpr MQLONG kLogPrimary = 20144;
constexpr MQLONG kLogSecondary = 20145;
constexpr MQLONG kLogFilePages = 20146;
constexpr MQLONG kLogBufferPages = 20150;

void Out(const char* format, const char* text, int code = 0) {
  std::printf(format, text, code);
}

std::string Dated(const char* format, const char* name, int code = 0) {
  char line[512];
  std::snprintf(line, sizeof line, format, name, code);
  return line;
}

bool ReadNames(mqPcfMessage* message, const std::string& mask) {
  MQPlatform* platform = CreateMQPlatform("WIN32");
  bool ok = platform != nullptr && plReadWithMask(message, platform, mask.c_str()) &&
            RawToPcf(message);
  DeleteMQPlatform(platform);
  return ok;
}

// The names of the local queue managers that match mask.
std::vector<std::string> ListQueueManagers(const std::string& mask) {
  std::vector<std::string> names;
  mqPcfMessage* list = CreatePcfMessage(EXCMD_INQUIRE_Q_MGR_NAMES, MQCFT_COMMAND, 1024);
  if (list != nullptr && ReadNames(list, mask)) {
    Message record{};
    if (GetAttrByID(kQmgrName, &record, list) && IsPcfAttrValid(&record)) {
      const MQCFSL* header = reinterpret_cast<const MQCFSL*>(record.Payload);
      for (MQLONG i = 0; header->Type == MQCFT_STRING_LIST && i < header->Count; ++i) {
        char name[MQ_Q_MGR_NAME_LENGTH + 1] = {};
        if (!GetPcfStrListAttrValue(&record, i, name, MQ_Q_MGR_NAME_LENGTH)) break;
        strip_spaces(name);
        names.push_back(name);
      }
    }
    DeleteMessage(&record);
  }
  DeletePcfMessage(list);
  return names;
}

// What a failed step of the test means, and what the user can do.
void PrintStep(const char* name, MQLONG step, MQLONG reason) {
  int rc = static_cast<int>(reason);
  switch (step) {
    case QMGR_TEST_CMDQ_RC:
    case QMGR_TEST_EVENTQ_RC: {
      const char* queue = step == QMGR_TEST_CMDQ_RC ? kCommandQueue : kEventQueue;
      Out(step == QMGR_TEST_CMDQ_RC ? "Unable to open \"%s\" command queue RC(%d).\n"
                                    : "\tUnable to open \"%s\" event queue RC(%d).\n",
          queue, rc);
      if (reason == MQRC_UNKNOWN_OBJECT_NAME) {
        Out("\tUSER ACTION: Make sure QLOCAL(\"%s\") is defined.\n", queue);
      } else if (reason == MQRC_NOT_AUTHORIZED) {
        Out("\tNot authorized to open QUEUE(\"%s\").\n", queue);
        std::printf("\tUSER ACTION: Grant all required authority\n");
      }
      break;
    }
    case QMGR_TEST_REPLYQ_RC:
      Out("\tUnable to open \"%s\" reply queue RC(%d).\n", kReplyQueue, rc);
      if (reason == MQRC_UNKNOWN_OBJECT_NAME) {
        Out("\tUSER ACTION: Make sure \"%s\" is defined.\n", kModelQueue);
      }
      break;
    case QMGR_TEST_PING_RC:
      Out("\tQueueManager(%s) : Unable to ping QMgr RC(%d)\n", name, rc);
      std::fflush(stdout);
      // The library reports a hung command server as 20307; older ones gave
      // the bare 2033 of the unanswered ping.
      if (reason == MQRC_NO_MSG_AVAILABLE || reason == EXRC_CMD_SERVER_NOT_RESPONDING) {
        PrintDated(Dated("TLX1118W QueueManager(%s): Command-Server is stopped or not responding.", name));
      } else if (reason == EXRC_CMD_SERVER_DOWN) {
        PrintDated(Dated("TLX1119W QueueManager(%s): Command-Server is not running.", name));
      }
      break;
    case QMGR_TEST_CONNECT_RC:
      std::fflush(stdout);
      if (reason == MQRC_Q_MGR_NOT_AVAILABLE) {
        PrintDated(Dated("TLX1120W QueueManager(%s): is not running.", name));
      } else if (reason == MQRC_Q_MGR_NAME_ERROR) {
        PrintDated(Dated("TLX1121W QueueManager(%s): defined but does not exist.", name));
        PrintDated(Dated("TLX1154A QueueManager(%s): should be deleted or re-created.", name));
      }
      break;
    default:
      break;
  }
  std::fflush(stdout);
}

void TestQueueManager(const std::string& name) {
  mqPcfMessage* result = CreatePcfMessage(EXCMD_TEST_Q_MGR, MQCFT_COMMAND, 512);
  if (result == nullptr) return;
  qmTest(name.c_str(), kCommandQueue, kEventQueue, kReplyQueue, result);
  RawToPcf(result);
  for (MQLONG i = 1; i <= result->Cfh->ParameterCount; ++i) {
    Message record{};
    MQLONG value = 0;
    if (GetAttrByPos(i, &record, result) && GetPcfIntAttrValue(&record, &value)) {
      PrintStep(name.c_str(), reinterpret_cast<const MQCFIN*>(record.Payload)->Parameter, value);
    }
    DeleteMessage(&record);
  }
  if (result->Cfh->CompCode != MQCC_OK) {
    PrintDated(Dated("TLX1138W QueueManager(%s): FAILED verification test with RC(%d).", name.c_str(),
                     static_cast<int>(result->Cfh->Reason)));
  } else {
    PrintDated(Dated("TLX1137W QueueManager(%s): PASSED verification test.", name.c_str()));
  }
  DeletePcfMessage(result);
}

}  // namespace

void VerifyQueueManagers(const AgentState& agent) {
  bool verify = agent.settings().qm_verification;
  std::vector<std::string> names = ListQueueManagers(agent.QmgrMask());
  bool first = true;
  for (const std::string& name : names) {
    if (verify) {
      std::printf("\nQueueManager(\"%s\") : Verifying configuration...\n", name.c_str());
      std::fflush(stdout);
      TestQueueManager(name);
    } else {
      if (first) std::printf("\nQUEUE MANAGERS:\n");
      std::printf("\t%s\n", name.c_str());
      std::fflush(stdout);
    }
    first = false;
  }
  if (names.empty()) {
    PrintDated("TLX1122W No queue managers have been found on your system.");
    PrintDated("TLX1123A If queue manager(s) exist, refer to the Install Guide to configure");
  }
}

void AppendQueueManagerNames(mqPcfMessage* message, const std::string& mask) {
  ReadNames(message, mask);
}

bool DefaultLogSettings(MqLogSettings* log) { return LogSettingsOf("", log); }

bool LogSettingsOf(const std::string& name, MqLogSettings* log) {
  MqLogInfo info{};
  if (!GetMQLogInfo(name.empty() ? nullptr : name.c_str(), &info)) return false;
  info.LogPath[sizeof info.LogPath - 1] = '\0';
  log->path = info.LogPath;
  log->type = info.LogType;
  log->primary = info.LogPrimaryFiles;
  log->secondary = info.LogSecondaryFiles;
  log->file_pages = info.LogFilePages;
  log->buffer_pages = info.LogBufferPages;
  return true;
}

void AddLogSettings(mqPcfMessage* message) {
  Message record{};
  char name[MQ_Q_MGR_NAME_LENGTH + 1] = {};
  if (GetAttrByID(kQmgrName, &record, message)) GetPcfStrAttrValue(&record, name, MQ_Q_MGR_NAME_LENGTH);
  DeleteMessage(&record);
  strip_spaces(name);
  MqLogSettings log;
  if (!LogSettingsOf(name, &log)) return;
  AddString(message, kLogPath, log.path);
  AddInt(message, kLogType, log.type);
  AddInt(message, kLogPrimary, log.primary);
  AddInt(message, kLogSecondary, log.secondary);
  AddInt(message, kLogFilePages, log.file_pages);
  AddInt(message, kLogBufferPages, log.buffer_pages);
  RawToPcf(message);
}

}  // namespace localagent
