// BuildPcfCmd: the standard parameters of each command the suite sends.
//
// One table row per group of commands; each row lists the records appended
// in order. "name" is the caller's string argument, "value" its integer.

#include <cstring>
#include <initializer_list>

#include "pcfcore/excmd.h"
#include "pcfcore/pcf_message.h"

namespace {

enum class Arg {
  kName,          // string record = name
  kValue,         // integer record = value
  kConst,         // integer record = constant
  kAll,           // integer list of one element, MQIACF_ALL
  kNameUnderValue // string record = name, its parameter id = value
};

enum class When {
  kAlways,
  kValuePositive,  // only when value > 0
  kValueIsClntconn // only when value is MQCHT_CLNTCONN
};

struct Step {
  Arg arg;
  MQLONG id;
  MQLONG constant = 0;
  When when = When::kAlways;
};

struct Row {
  std::initializer_list<MQLONG> commands;
  std::initializer_list<Step> steps;
};

const Row kRows[] = {
  {{MQCMD_INQUIRE_Q_MGR}, {{Arg::kAll, MQIACF_Q_MGR_ATTRS}}},
  {{MQCMD_INQUIRE_PROCESS}, {{Arg::kName, MQCA_PROCESS_NAME}, {Arg::kAll, MQIACF_PROCESS_ATTRS}}},
  {{MQCMD_INQUIRE_Q},
   {{Arg::kName, MQCA_Q_NAME}, {Arg::kValue, MQIA_Q_TYPE, 0, When::kValuePositive},
    {Arg::kAll, MQIACF_Q_ATTRS}}},
  {{MQCMD_INQUIRE_Q_NAMES}, {{Arg::kName, MQCA_Q_NAME}, {Arg::kConst, MQIA_Q_TYPE, MQQT_ALL}}},
  {{MQCMD_INQUIRE_PROCESS_NAMES}, {{Arg::kName, MQCA_PROCESS_NAME}}},
  {{MQCMD_INQUIRE_CHANNEL_NAMES},
   {{Arg::kName, MQCACH_CHANNEL_NAME},
    {Arg::kConst, MQIACH_CHANNEL_TYPE, MQCHT_CLNTCONN, When::kValueIsClntconn}}},
  {{MQCMD_INQUIRE_CHANNEL},
   {{Arg::kName, MQCACH_CHANNEL_NAME},
    {Arg::kConst, MQIACH_CHANNEL_TYPE, MQCHT_CLNTCONN, When::kValueIsClntconn},
    {Arg::kAll, MQIACF_CHANNEL_ATTRS}}},
  {{MQCMD_PING_CHANNEL}, {{Arg::kName, MQCACH_CHANNEL_NAME}, {Arg::kValue, MQIACH_DATA_COUNT}}},
  {{MQCMD_RESET_CHANNEL},
   {{Arg::kName, MQCACH_CHANNEL_NAME}, {Arg::kValue, MQIACH_MSG_SEQUENCE_NUMBER}}},
  {{MQCMD_START_CHANNEL}, {{Arg::kName, MQCACH_CHANNEL_NAME}}},
  {{MQCMD_STOP_CHANNEL}, {{Arg::kName, MQCACH_CHANNEL_NAME}, {Arg::kValue, MQIACF_QUIESCE}}},
  {{MQCMD_START_CHANNEL_INIT}, {{Arg::kName, MQCA_INITIATION_Q_NAME}}},
  {{MQCMD_CHANGE_NAMELIST, MQCMD_CREATE_NAMELIST, MQCMD_INQUIRE_NAMELIST_NAMES},
   {{Arg::kName, MQCA_NAMELIST_NAME}}},
  {{MQCMD_INQUIRE_NAMELIST}, {{Arg::kName, MQCA_NAMELIST_NAME}, {Arg::kAll, MQIACF_NAMELIST_ATTRS}}},
  {{MQCMD_ESCAPE, EXCMD_MQSC_SCRIPT},
   {{Arg::kConst, MQIACF_ESCAPE_TYPE, MQET_MQSC}, {Arg::kName, MQCACF_ESCAPE_TEXT}}},
  {{MQCMD_RESOLVE_CHANNEL}, {{Arg::kName, MQCACH_CHANNEL_NAME}, {Arg::kValue, MQIACH_IN_DOUBT}}},
  {{MQCMD_INQUIRE_CHANNEL_STATUS},
   {{Arg::kName, MQCACH_CHANNEL_NAME}, {Arg::kAll, MQIACH_CHANNEL_INSTANCE_ATTRS}}},
  {{MQCMD_INQUIRE_CLUSTER_Q_MGR},
   {{Arg::kName, MQCA_CLUSTER_Q_MGR_NAME}, {Arg::kAll, MQIACF_CLUSTER_Q_MGR_ATTRS}}},
  {{MQCMD_RESUME_Q_MGR_CLUSTER, MQCMD_SUSPEND_Q_MGR_CLUSTER}, {{Arg::kNameUnderValue, 0}}},
  {{MQCMD_REFRESH_CLUSTER, MQCMD_RESET_CLUSTER}, {{Arg::kName, MQCA_CLUSTER_NAME}}},
  {{EXCMD_START_MCA, EXCMD_STOP_MCA}, {{Arg::kName, MQCACH_MCA_NAME}}},
  {{EXCMD_START_Q_MGR, EXCMD_OPEN_EVENT, EXCMD_CLOSE_EVENT, EXCMD_INQUIRE_Q_MGR_NAMES,
    EXCMD_CREATE_Q_MGR, EXCMD_DELETE_Q_MGR},
   {{Arg::kName, MQCA_Q_MGR_NAME}}},
  {{EXCMD_STOP_Q_MGR}, {{Arg::kName, MQCA_Q_MGR_NAME}, {Arg::kValue, QMGR_STOP_MODE}}},
  {{EXCMD_MQ_OPEN, EXCMD_MQ_CLOSE}, {{Arg::kName, MQCA_Q_MGR_NAME}, {Arg::kValue, OBJECT_TYPE}}},
  {{EXCMD_START_MANAGER, EXCMD_STOP_MANAGER}, {{Arg::kName, MANAGER_NAME}}},
  {{EXCMD_MANAGE_MQNODE}, {{Arg::kName, MQNODE_NAME}, {Arg::kValue, MQNODE_MANAGED}}},
  {{EXCMD_UNMANAGE_MQNODE}, {{Arg::kName, MQNODE_NAME}}},
  {{EXCMD_INQUIRE_Q_MGR_EVENT, EXCMD_INQUIRE_CHANNEL_EVENT, EXCMD_INQUIRE_MANAGER_EVENT,
    EXCMD_INQUIRE_PERFM_EVENT, EXCMD_INQUIRE_ALTER_EVENT},
   {{Arg::kValue, EVENT_NO}}},
};

const Row* FindRow(MQLONG command) {
  for (const Row& row : kRows) {
    for (MQLONG c : row.commands) {
      if (c == command) return &row;
    }
  }
  return nullptr;
}

bool Applies(When when, MQLONG value) {
  switch (when) {
    case When::kAlways: return true;
    case When::kValuePositive: return value > 0;
    case When::kValueIsClntconn: return value == MQCHT_CLNTCONN;
  }
  return false;
}

int BuildRecord(Message* record, const Step& step, const char* name, MQLONG value) {
  switch (step.arg) {
    case Arg::kName: return CreatePcfStrAttr(record, step.id, name);
    case Arg::kValue: return CreatePcfIntAttr(record, step.id, value);
    case Arg::kConst: return CreatePcfIntAttr(record, step.id, step.constant);
    case Arg::kAll:
      return CreatePcfIntListAttr(record, step.id, 1) && SetPcfIntListAttrValue(record, 0, MQIACF_ALL);
    case Arg::kNameUnderValue: return CreatePcfStrAttr(record, value, name);
  }
  return 0;
}

}  // namespace

extern "C" int BuildPcfCmd(mqPcfMessage* message, const char* name, MQLONG value) {
  if (message == nullptr || message->Body.Payload == nullptr) return 0;
  MQLONG command = message->Cfh->Command;
  if (command == MQCMD_START_CHANNEL_LISTENER || command == MQCMD_PING_Q_MGR) return 1;
  const Row* row = FindRow(command);
  if (row == nullptr) {
    RawToPcf(message);
    return 0;
  }
  // Every record must land: a message missing one of its standard
  // parameters is reported as a failure, not just when the last one fails.
  int result = 1;
  for (const Step& step : row->steps) {
    if (!Applies(step.when, value)) continue;
    Message record{};
    int built = BuildRecord(&record, step, name, value);
    if (!built || !AppendAttr(message, &record)) result = 0;
    DeleteMessage(&record);
  }
  if (!RawToPcf(message)) result = 0;
  return result;
}
