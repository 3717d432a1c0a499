// PCF commands. Divisions:
//   1. Replies and parameter checks
//   2. The dispatcher
//   3. Queue manager
//   4. Queues
//   5. Processes, namelists and channel definitions
#include "pcf_commands.h"

#include <algorithm>
#include <ctime>
#include <map>

#include "channels.h"
#include "clusters.h"
#include "common/install.h"
#include "mqsc_runner.h"

namespace mqsim::server {

namespace {

// Ranges of integer attributes; others are taken as given.
struct Range {
  MQLONG id, min, max;
};
const Range kRanges[] = {
    {MQIA_INHIBIT_GET, 0, 1}, {MQIA_INHIBIT_PUT, 0, 1}, {MQIA_DEF_PRIORITY, 0, 9},
    {MQIA_DEF_PERSISTENCE, 0, 1}, {MQIA_MAX_Q_DEPTH, 0, 999999999}, {MQIA_MAX_MSG_LENGTH, 0, 4194304},
    {MQIA_BACKOUT_THRESHOLD, 0, 999999999}, {MQIA_SHAREABILITY, 0, 1},
    {MQIA_DEF_INPUT_OPEN_OPTION, MQOO_INPUT_SHARED, MQOO_INPUT_EXCLUSIVE}, {MQIA_HARDEN_GET_BACKOUT, 0, 1},
    {MQIA_MSG_DELIVERY_SEQUENCE, 0, 1}, {MQIA_RETENTION_INTERVAL, 0, 999999999},
    {MQIA_DEFINITION_TYPE, 1, 3}, {MQIA_USAGE, 0, 1}, {MQIA_TRIGGER_CONTROL, 0, 1},
    {MQIA_TRIGGER_TYPE, 0, 3}, {MQIA_TRIGGER_DEPTH, 1, 999999999}, {MQIA_TRIGGER_MSG_PRIORITY, 0, 9},
    {MQIA_Q_DEPTH_HIGH_LIMIT, 0, 100}, {MQIA_Q_DEPTH_LOW_LIMIT, 0, 100}, {MQIA_Q_DEPTH_MAX_EVENT, 0, 1},
    {MQIA_Q_DEPTH_HIGH_EVENT, 0, 1}, {MQIA_Q_DEPTH_LOW_EVENT, 0, 1}, {MQIA_SCOPE, 1, 2},
    {MQIA_DIST_LISTS, 0, 1}, {MQIA_Q_SERVICE_INTERVAL_EVENT, 0, 2}, {MQIA_Q_SERVICE_INTERVAL, 0, 999999999},
    {MQIA_DEF_BIND, 0, 1}, {MQIACH_XMIT_PROTOCOL_TYPE, 0, 4}, {MQIACH_BATCH_SIZE, 1, 9999},
    {MQIACH_DISC_INTERVAL, 0, 999999}, {MQIACH_SHORT_TIMER, 0, 999999999}, {MQIACH_SHORT_RETRY, 0, 999999999},
    {MQIACH_LONG_TIMER, 0, 999999999}, {MQIACH_LONG_RETRY, 0, 999999999}, {MQIACH_PUT_AUTHORITY, 1, 2},
    {MQIACH_SEQUENCE_NUMBER_WRAP, 100, 999999999}, {MQIACH_MAX_MSG_LENGTH, 0, 104857600},
    {MQIACH_DATA_CONVERSION, 0, 1}, {MQIACH_MCA_TYPE, 1, 2}, {MQIACH_MR_COUNT, 0, 999999999},
    {MQIACH_MR_INTERVAL, 0, 999999999}, {MQIACH_NPM_SPEED, 1, 2}, {MQIACH_HB_INTERVAL, 0, 999999},
    {MQIACH_BATCH_INTERVAL, 0, 999999999}, {MQIACH_NETWORK_PRIORITY, 0, 9}, {MQIA_AUTHORITY_EVENT, 0, 1},
    {MQIA_INHIBIT_EVENT, 0, 1}, {MQIA_LOCAL_EVENT, 0, 1}, {MQIA_REMOTE_EVENT, 0, 1},
    {MQIA_START_STOP_EVENT, 0, 1}, {MQIA_PERFORMANCE_EVENT, 0, 1}, {MQIA_CHANNEL_AUTO_DEF, 0, 1},
    {MQIA_CHANNEL_AUTO_DEF_EVENT, 0, 1}, {MQIA_TRIGGER_INTERVAL, 0, 999999999},
    {MQIA_MAX_HANDLES, 1, 999999999}, {MQIA_CLUSTER_WORKLOAD_LENGTH, 0, 999999999},
};

bool InRange(MQLONG id, MQLONG v) {
  for (const Range& r : kRanges)
    if (r.id == id) return v >= r.min && v <= r.max;
  return true;
}

MQLONG ParmIdReason(MQLONG type) {
  switch (type) {
    case MQCFT_INTEGER: return MQRCCF_CFIN_PARM_ID_ERROR;
    case MQCFT_INTEGER_LIST: return MQRCCF_CFIL_PARM_ID_ERROR;
    case MQCFT_STRING_LIST: return MQRCCF_CFSL_PARM_ID_ERROR;
    default: return MQRCCF_CFST_PARM_ID_ERROR;
  }
}

// The attribute selectors asked for; null for all.
std::unique_ptr<std::set<MQLONG>> Selected(const PcfCommand& cmd, MQLONG list_param) {
  const PcfParam* p = cmd.Find(list_param);
  if (p == nullptr || p->type != MQCFT_INTEGER_LIST) return nullptr;
  if (std::find(p->int_list.begin(), p->int_list.end(), MQIACF_ALL) != p->int_list.end()) return nullptr;
  return std::make_unique<std::set<MQLONG>>(p->int_list.begin(), p->int_list.end());
}

bool Wanted(const std::set<MQLONG>* only, MQLONG id) { return only == nullptr || only->count(id) > 0; }

void Stamp(std::map<MQLONG, std::string>& strs) {
  strs[MQCA_ALTERATION_DATE] = TodayDate();
  strs[MQCA_ALTERATION_TIME] = NowTime();
}

MQLONG ListParamOf(MQLONG object_type) {
  switch (object_type) {
    case MQOT_PROCESS: return MQIACF_PROCESS_ATTRS;
    case MQOT_NAMELIST: return MQIACF_NAMELIST_ATTRS;
    case MQOT_CHANNEL: return MQIACF_CHANNEL_ATTRS;
    default: return MQIACF_Q_MGR_ATTRS;
  }
}

MQLONG NamesParamOf(MQLONG object_type) {
  switch (object_type) {
    case MQOT_PROCESS: return MQCACF_PROCESS_NAMES;
    case MQOT_NAMELIST: return MQCACF_NAMELIST_NAMES;
    default: return MQCACH_CHANNEL_NAMES;
  }
}

MQLONG FromParamOf(MQLONG object_type) {
  switch (object_type) {
    case MQOT_PROCESS: return MQCACF_FROM_PROCESS_NAME;
    case MQOT_NAMELIST: return MQCACF_FROM_NAMELIST_NAME;
    case MQOT_CHANNEL: return MQCACF_FROM_CHANNEL_NAME;
    default: return MQCACF_FROM_Q_NAME;
  }
}

MQLONG ToParamOf(MQLONG object_type) { return FromParamOf(object_type) + 1; }

bool ValidChannelName(const std::string& name) {
  if (name.empty() || name.size() > 20) return false;
  return ValidObjectName(name);
}

}  // namespace

bool NameMatches(const std::string& name, const std::string& pattern) {
  if (!pattern.empty() && pattern.back() == '*')
    return name.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
  return name == pattern;
}

// ---- 1. Replies and parameter checks -----------------------------------------

PcfBuilder& PcfReplies::Add(MQLONG comp_code, MQLONG reason) {
  items_.push_back(std::make_unique<Item>(command_));
  items_.back()->comp_code = comp_code;
  items_.back()->reason = reason;
  return items_.back()->builder;
}

void PcfReplies::Fail(MQLONG reason, MQLONG parameter) {
  items_.clear();
  PcfBuilder& b = Add(MQCC_FAILED, reason);
  if (parameter != 0) b.Int(MQIACF_PARAMETER_ID, parameter);
}

std::vector<std::string> PcfReplies::Finish() {
  if (items_.empty()) Add();
  std::vector<std::string> out;
  MQLONG seq = 1;
  for (size_t i = 0; i < items_.size(); ++i) {
    Item& it = *items_[i];
    MQLONG control = i + 1 == items_.size() ? MQCFC_LAST : MQCFC_NOT_LAST;
    if (!it.builder.ok()) {
      // A reply that pcfcore could not hold (too many records): say so
      // rather than send half of it.
      PcfBuilder fallback(command_, MQCFT_RESPONSE);
      out.push_back(fallback.Finish(seq++, control, MQCC_FAILED, MQRCCF_COMMAND_FAILED));
      continue;
    }
    out.push_back(it.builder.Finish(seq++, control, it.comp_code, it.reason));
  }
  return out;
}

bool CommandProcessor::CheckParams(const PcfCommand& cmd, const std::set<MQLONG>& allowed, MQLONG attrs_of,
                                   PcfReplies* out) {
  for (const PcfParam& p : cmd.params) {
    // The suite's own parameters (20000 and up) ride along on some
    // forwarded commands; they are not the command server's business.
    if (p.id >= 20000) continue;
    if (allowed.count(p.id)) continue;
    if (attrs_of == MQOT_Q) {
      const AttrSpec* spec = FindQueueAttr(p.id);
      bool computed = p.id == MQIA_CURRENT_Q_DEPTH || p.id == MQIA_OPEN_INPUT_COUNT ||
                      p.id == MQIA_OPEN_OUTPUT_COUNT || p.id == MQCA_CREATION_DATE ||
                      p.id == MQCA_CREATION_TIME || p.id == MQCA_ALTERATION_DATE || p.id == MQCA_ALTERATION_TIME;
      if (spec != nullptr && !computed && spec->is_string == (p.type == MQCFT_STRING)) {
        if (spec->is_string && static_cast<int>(p.str_value.size()) > spec->length) {
          out->Fail(MQRCCF_CFST_STRING_LENGTH_ERR, p.id);
          return false;
        }
        if (!spec->is_string && !InRange(p.id, p.int_value)) {
          out->Fail(MQRCCF_ATTR_VALUE_ERROR, p.id);
          return false;
        }
        continue;
      }
    } else if (attrs_of != 0) {
      const ObjAttr* spec = FindObjAttr(attrs_of, p.id);
      if (spec != nullptr && spec->changeable) {
        bool type_ok = (spec->type == AttrType::kInt && p.type == MQCFT_INTEGER) ||
                       (spec->type == AttrType::kStr && p.type == MQCFT_STRING) ||
                       (spec->type == AttrType::kList && p.type == MQCFT_STRING_LIST);
        if (type_ok) {
          if (spec->type == AttrType::kStr && static_cast<int>(p.str_value.size()) > spec->width) {
            out->Fail(MQRCCF_CFST_STRING_LENGTH_ERR, p.id);
            return false;
          }
          if (spec->type == AttrType::kInt && !InRange(p.id, p.int_value)) {
            out->Fail(MQRCCF_ATTR_VALUE_ERROR, p.id);
            return false;
          }
          if (spec->type == AttrType::kList) {
            for (const std::string& item : p.str_list) {
              if (static_cast<int>(item.size()) > spec->width) {
                out->Fail(MQRCCF_CFST_STRING_LENGTH_ERR, p.id);
                return false;
              }
            }
            if (p.str_list.size() > 256) {
              out->Fail(MQRCCF_ATTR_VALUE_ERROR, p.id);
              return false;
            }
          }
          continue;
        }
      }
    }
    out->Fail(ParmIdReason(p.type), p.id);
    return false;
  }
  return true;
}

// ---- 2. The dispatcher -------------------------------------------------------

std::vector<std::string> CommandProcessor::Run(std::span<const uint8_t> body) {
  PcfCommand cmd;
  MQLONG reason = 0, parameter = 0;
  if (!ParsePcfCommand(body, &cmd, &reason, &parameter)) {
    PcfReplies out(cmd.command);
    out.Fail(reason, parameter);
    return out.Finish();
  }
  PcfReplies out(cmd.command);
  Execute(cmd, &out);
  return out.Finish();
}

void CommandProcessor::Execute(const PcfCommand& cmd, PcfReplies* out) {
  switch (cmd.command) {
    case MQCMD_INQUIRE_Q_MGR: return InquireQmgr(cmd, out);
    case MQCMD_CHANGE_Q_MGR: return ChangeQmgr(cmd, out);
    case MQCMD_PING_Q_MGR:
      if (CheckParams(cmd, {}, 0, out)) out->Add();
      return;
    case MQCMD_INQUIRE_Q: return InquireQueues(cmd, out);
    case MQCMD_INQUIRE_Q_NAMES: return InquireQueueNames(cmd, out);
    case MQCMD_CREATE_Q:
    case MQCMD_CHANGE_Q:
    case MQCMD_COPY_Q: return DefineQueue(cmd, out);
    case MQCMD_DELETE_Q: return DeleteQueue(cmd, out);
    case MQCMD_CLEAR_Q: return ClearQueue(cmd, out);
    case MQCMD_RESET_Q_STATS: return ResetQueueStats(cmd, out);
    case MQCMD_INQUIRE_Q_STATUS: return InquireQueueStatus(cmd, out);
    case MQCMD_INQUIRE_PROCESS: return InquireObjects(MQOT_PROCESS, cmd, out);
    case MQCMD_INQUIRE_PROCESS_NAMES: return InquireObjectNames(MQOT_PROCESS, cmd, out);
    case MQCMD_CREATE_PROCESS:
    case MQCMD_CHANGE_PROCESS:
    case MQCMD_COPY_PROCESS: return DefineObject(MQOT_PROCESS, cmd, out);
    case MQCMD_DELETE_PROCESS: return DeleteObject(MQOT_PROCESS, cmd, out);
    case MQCMD_INQUIRE_NAMELIST: return InquireObjects(MQOT_NAMELIST, cmd, out);
    case MQCMD_INQUIRE_NAMELIST_NAMES: return InquireObjectNames(MQOT_NAMELIST, cmd, out);
    case MQCMD_CREATE_NAMELIST:
    case MQCMD_CHANGE_NAMELIST:
    case MQCMD_COPY_NAMELIST: return DefineObject(MQOT_NAMELIST, cmd, out);
    case MQCMD_DELETE_NAMELIST: return DeleteObject(MQOT_NAMELIST, cmd, out);
    case MQCMD_INQUIRE_CHANNEL: return InquireObjects(MQOT_CHANNEL, cmd, out);
    case MQCMD_INQUIRE_CHANNEL_NAMES: return InquireObjectNames(MQOT_CHANNEL, cmd, out);
    case MQCMD_CREATE_CHANNEL:
    case MQCMD_CHANGE_CHANNEL:
    case MQCMD_COPY_CHANNEL: return DefineObject(MQOT_CHANNEL, cmd, out);
    case MQCMD_DELETE_CHANNEL: return DeleteObject(MQOT_CHANNEL, cmd, out);
    case MQCMD_INQUIRE_CHANNEL_STATUS:
    case MQCMD_START_CHANNEL:
    case MQCMD_STOP_CHANNEL:
    case MQCMD_PING_CHANNEL:
    case MQCMD_RESET_CHANNEL:
    case MQCMD_RESOLVE_CHANNEL: return ChannelCommand(qm_, cmd, out);
    case MQCMD_INQUIRE_CLUSTER_Q_MGR:
    case MQCMD_SUSPEND_Q_MGR_CLUSTER:
    case MQCMD_RESUME_Q_MGR_CLUSTER:
    case MQCMD_REFRESH_CLUSTER:
    case MQCMD_RESET_CLUSTER: return ClusterCommand(qm_, cmd, out);
    case MQCMD_ESCAPE: return RunEscape(qm_, cmd, out);
    default:
      out->Fail(MQRCCF_CFH_COMMAND_ERROR);
  }
}

// ---- 3. Queue manager --------------------------------------------------------

void CommandProcessor::InquireQmgr(const PcfCommand& cmd, PcfReplies* out) {
  if (!CheckParams(cmd, {MQIACF_Q_MGR_ATTRS}, 0, out)) return;
  auto only = Selected(cmd, MQIACF_Q_MGR_ATTRS);
  ObjectDef def = qm_.objects_.qmgr;
  def.name = qm_.name_;
  AddObject(MQOT_Q_MGR, def, only.get(), out->Add());
}

void CommandProcessor::ChangeQmgr(const PcfCommand& cmd, PcfReplies* out) {
  if (!CheckParams(cmd, {MQIACF_FORCE}, MQOT_Q_MGR, out)) return;
  ObjectDef& def = qm_.objects_.qmgr;
  for (const PcfParam& p : cmd.params) {
    const ObjAttr* spec = FindObjAttr(MQOT_Q_MGR, p.id);
    if (spec == nullptr) continue;
    if (spec->type == AttrType::kInt)
      def.ints[p.id] = p.int_value;
    else if (spec->type == AttrType::kStr)
      def.strs[p.id] = p.str_value;
  }
  Stamp(def.strs);
  JournalObject(MQOT_Q_MGR, def);
  qm_.OnQmgrChanged();
  out->Add();
}

void CommandProcessor::AddObject(MQLONG object_type, const ObjectDef& def, const std::set<MQLONG>* only,
                                 PcfBuilder& b) {
  MQLONG name_param = NameParam(object_type);
  b.Str(name_param, def.name, NameWidth(object_type));
  if (object_type == MQOT_CHANNEL) b.Int(MQIACH_CHANNEL_TYPE, def.subtype);
  for (const ObjAttr& a : AttrsOf(object_type)) {
    if (a.id == name_param || a.id == MQIACH_CHANNEL_TYPE) continue;
    if (!AppliesTo(a, def.subtype) || !Wanted(only, a.id)) continue;
    switch (a.type) {
      case AttrType::kInt:
        b.Int(a.id, a.id == MQIA_NAME_COUNT ? static_cast<MQLONG>(def.List(MQCA_NAMES).size()) : def.Int(a.id));
        break;
      case AttrType::kStr:
        b.Str(a.id, def.Str(a.id), a.width);
        break;
      case AttrType::kList:
        b.StrList(a.id, def.List(a.id), a.width);
        break;
    }
  }
}

void CommandProcessor::JournalObject(MQLONG object_type, const ObjectDef& def) {
  JournalRecord r;
  r.type = JournalRecord::kDefineObject;
  r.object_type = object_type;
  r.attrs = ObjectToAttrs(object_type, def);
  qm_.journal_.Append({r});
}

// ---- 4. Queues ---------------------------------------------------------------

namespace {

bool TypeSelected(MQLONG wanted, MQLONG type) { return wanted == MQQT_ALL || wanted == type; }

}  // namespace

void CommandProcessor::AddQueue(const Queue& q, const std::set<MQLONG>* only, PcfBuilder& b) {
  b.Str(MQCA_Q_NAME, q.def.name, 48);
  b.Int(MQIA_Q_TYPE, q.def.type);
  int bit = TypeBit(q.def.type);
  for (const AttrSpec& a : QueueAttrs()) {
    if (a.selector == MQCA_Q_NAME || a.selector == MQIA_Q_TYPE) continue;
    if (!(a.types & bit) || !Wanted(only, a.selector)) continue;
    if (a.is_string) {
      b.Str(a.selector, q.def.Str(a.selector), a.length);
      continue;
    }
    MQLONG v = q.def.Int(a.selector);
    if (a.selector == MQIA_CURRENT_Q_DEPTH) v = static_cast<MQLONG>(q.messages.size());
    if (a.selector == MQIA_OPEN_INPUT_COUNT) v = q.open_input;
    if (a.selector == MQIA_OPEN_OUTPUT_COUNT) v = q.open_output;
    b.Int(a.selector, v);
  }
}

void CommandProcessor::InquireQueues(const PcfCommand& cmd, PcfReplies* out) {
  if (!CheckParams(cmd, {MQCA_Q_NAME, MQIA_Q_TYPE, MQIACF_Q_ATTRS}, 0, out)) return;
  const PcfParam* name = cmd.Find(MQCA_Q_NAME);
  if (name == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQCA_Q_NAME);
  const PcfParam* type = cmd.Find(MQIA_Q_TYPE);
  MQLONG wanted = type != nullptr ? type->int_value : MQQT_ALL;
  if (wanted != MQQT_ALL && wanted != MQQT_LOCAL && wanted != MQQT_MODEL && wanted != MQQT_ALIAS &&
      wanted != MQQT_REMOTE && wanted != MQQT_CLUSTER)
    return out->Fail(MQRCCF_Q_TYPE_ERROR, MQIA_Q_TYPE);
  auto only = Selected(cmd, MQIACF_Q_ATTRS);
  if (wanted != MQQT_CLUSTER) {
    ForMatching(qm_.queues_, name->str_value, [&](const std::string&, const QueuePtr& q) {
      if (TypeSelected(wanted, q->def.type)) AddQueue(*q, only.get(), out->Add());
    });
  }
  if (wanted == MQQT_CLUSTER) AddClusterQueues(qm_, name->str_value, only.get(), out);
  if (out->empty()) out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
}

void CommandProcessor::InquireQueueNames(const PcfCommand& cmd, PcfReplies* out) {
  if (!CheckParams(cmd, {MQCA_Q_NAME, MQIA_Q_TYPE}, 0, out)) return;
  const PcfParam* name = cmd.Find(MQCA_Q_NAME);
  if (name == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQCA_Q_NAME);
  const PcfParam* type = cmd.Find(MQIA_Q_TYPE);
  MQLONG wanted = type != nullptr ? type->int_value : MQQT_ALL;
  std::vector<std::string> names;
  if (wanted == MQQT_CLUSTER) {
    names = ClusterQueueNames(qm_, name->str_value);
  } else {
    ForMatching(qm_.queues_, name->str_value, [&](const std::string& qname, const QueuePtr& q) {
      if (TypeSelected(wanted, q->def.type)) names.push_back(qname);
    });
  }
  PcfBuilder& b = out->Add();
  // The type asked for travels back, so that a reader can tell a list of
  // cluster queues from one of the queue manager's own queues.
  if (type != nullptr) b.Int(MQIA_Q_TYPE, wanted);
  b.StrList(MQCACF_Q_NAMES, names, 48);
}

void CommandProcessor::DefineQueue(const PcfCommand& cmd, PcfReplies* out) {
  const bool copy = cmd.command == MQCMD_COPY_Q;
  const bool change = cmd.command == MQCMD_CHANGE_Q;
  std::set<MQLONG> allowed = {MQIA_Q_TYPE, MQIACF_REPLACE, MQIACF_FORCE};
  if (copy) {
    allowed.insert(MQCACF_FROM_Q_NAME);
    allowed.insert(MQCACF_TO_Q_NAME);
  } else {
    allowed.insert(MQCA_Q_NAME);
  }
  if (!CheckParams(cmd, allowed, MQOT_Q, out)) return;
  const PcfParam* name = cmd.Find(copy ? MQCACF_TO_Q_NAME : MQCA_Q_NAME);
  if (name == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, copy ? MQCACF_TO_Q_NAME : MQCA_Q_NAME);
  const PcfParam* type = cmd.Find(MQIA_Q_TYPE);
  if (type == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQIA_Q_TYPE);
  if (TypeBit(type->int_value) == 0) return out->Fail(MQRCCF_Q_TYPE_ERROR, MQIA_Q_TYPE);
  if (!ValidObjectName(name->str_value)) return out->Fail(MQRCCF_OBJECT_NAME_ERROR, name->id);
  const PcfParam* replace = cmd.Find(MQIACF_REPLACE);
  bool replacing = replace != nullptr && replace->int_value == 1;

  auto existing = qm_.queues_.find(name->str_value);
  QueueDef def;
  if (change) {
    if (existing == qm_.queues_.end()) return out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
    if (existing->second->def.type != type->int_value) return out->Fail(MQRCCF_OBJECT_WRONG_TYPE);
    def = existing->second->def;
  } else {
    if (copy) {
      const PcfParam* from = cmd.Find(MQCACF_FROM_Q_NAME);
      if (from == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQCACF_FROM_Q_NAME);
      auto source = qm_.queues_.find(from->str_value);
      if (source == qm_.queues_.end()) return out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
      if (source->second->def.type != type->int_value) return out->Fail(MQRCCF_OBJECT_WRONG_TYPE);
      def = source->second->def;
      def.strs.erase(MQCA_CREATION_DATE);
      def.strs.erase(MQCA_CREATION_TIME);
    } else {
      def.type = type->int_value;
    }
    if (existing != qm_.queues_.end()) {
      if (!replacing) return out->Fail(MQRCCF_OBJECT_ALREADY_EXISTS);
      if (existing->second->def.type != type->int_value || existing->second->temporary)
        return out->Fail(MQRCCF_OBJECT_WRONG_TYPE);
    }
  }
  def.name = name->str_value;
  int bit = TypeBit(def.type);
  for (const PcfParam& p : cmd.params) {
    const AttrSpec* spec = FindQueueAttr(p.id);
    if (spec == nullptr || p.id == MQCA_Q_NAME || p.id == MQIA_Q_TYPE || p.id >= 20000) continue;
    if (!(spec->types & bit)) return out->Fail(MQRCCF_Q_WRONG_TYPE, p.id);
    if (spec->is_string)
      def.strs[p.id] = p.str_value;
    else
      def.ints[p.id] = p.int_value;
  }
  if (def.type == MQQT_MODEL && def.Int(MQIA_DEFINITION_TYPE) == MQQDT_PREDEFINED)
    return out->Fail(MQRCCF_ATTR_VALUE_ERROR, MQIA_DEFINITION_TYPE);
  def.strs.erase(MQCA_ALTERATION_DATE);
  def.ApplyDefaults();
  if (existing != qm_.queues_.end()) {
    std::string created_date = existing->second->def.Str(MQCA_CREATION_DATE);
    std::string created_time = existing->second->def.Str(MQCA_CREATION_TIME);
    existing->second->def = std::move(def);
    if (!created_date.empty()) {
      existing->second->def.strs[MQCA_CREATION_DATE] = created_date;
      existing->second->def.strs[MQCA_CREATION_TIME] = created_time;
    }
    qm_.JournalDefine(*existing->second);
  } else {
    QueuePtr q = qm_.NewQueue(std::move(def));
    q->stats.reset_time = time(nullptr);
    qm_.JournalDefine(*q);
  }
  out->Add();
}

void CommandProcessor::DeleteQueue(const PcfCommand& cmd, PcfReplies* out) {
  if (!CheckParams(cmd, {MQCA_Q_NAME, MQIA_Q_TYPE, MQIACF_PURGE}, 0, out)) return;
  const PcfParam* name = cmd.Find(MQCA_Q_NAME);
  if (name == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQCA_Q_NAME);
  auto it = qm_.queues_.find(name->str_value);
  if (it == qm_.queues_.end()) return out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
  const PcfParam* type = cmd.Find(MQIA_Q_TYPE);
  if (type != nullptr && type->int_value != it->second->def.type) return out->Fail(MQRCCF_Q_WRONG_TYPE);
  QueuePtr q = it->second;
  if (q->open_handles > 0) return out->Fail(MQRCCF_OBJECT_OPEN);
  const PcfParam* purge = cmd.Find(MQIACF_PURGE);
  if (!q->messages.empty() && (purge == nullptr || purge->int_value != 1)) return out->Fail(MQRC_Q_NOT_EMPTY);
  qm_.DeleteQueueObject(q);
  out->Add();
}

void CommandProcessor::ClearQueue(const PcfCommand& cmd, PcfReplies* out) {
  if (!CheckParams(cmd, {MQCA_Q_NAME}, 0, out)) return;
  const PcfParam* name = cmd.Find(MQCA_Q_NAME);
  if (name == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQCA_Q_NAME);
  auto it = qm_.queues_.find(name->str_value);
  if (it == qm_.queues_.end()) return out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
  Queue& q = *it->second;
  if (q.def.type != MQQT_LOCAL) return out->Fail(MQRCCF_Q_WRONG_TYPE);
  if (q.open_handles > 0) return out->Fail(MQRC_OBJECT_IN_USE);
  bool uncommitted = std::any_of(q.messages.begin(), q.messages.end(),
                                 [](const auto& kv) { return !kv.second.Visible(); });
  if (uncommitted) return out->Fail(MQRC_Q_NOT_EMPTY);
  std::vector<JournalRecord> batch;
  for (const auto& [key, m] : q.messages) {
    if (!m.persistent || q.temporary) continue;
    JournalRecord r;
    r.type = JournalRecord::kRemoveMessage;
    r.queue = q.def.name;
    r.seq = m.seq;
    r.priority = -key.neg_priority;
    batch.push_back(std::move(r));
  }
  if (!batch.empty()) qm_.journal_.Append(batch);
  q.messages.clear();
  out->Add();
}

void CommandProcessor::ResetQueueStats(const PcfCommand& cmd, PcfReplies* out) {
  if (!CheckParams(cmd, {MQCA_Q_NAME}, 0, out)) return;
  const PcfParam* name = cmd.Find(MQCA_Q_NAME);
  if (name == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQCA_Q_NAME);
  int64_t now = time(nullptr);
  bool specific = name->str_value.empty() || name->str_value.back() != '*';
  for (auto& [qname, q] : qm_.queues_) {
    if (!NameMatches(qname, name->str_value)) continue;
    if (q->def.type != MQQT_LOCAL) {
      if (specific) return out->Fail(MQRCCF_Q_WRONG_TYPE);
      continue;
    }
    PcfBuilder& b = out->Add();
    b.Str(MQCA_Q_NAME, qname, 48);
    b.Int(MQIA_TIME_SINCE_RESET, static_cast<MQLONG>(now - q->stats.reset_time));
    b.Int(MQIA_HIGH_Q_DEPTH, std::max(q->stats.high_depth, static_cast<MQLONG>(q->messages.size())));
    b.Int(MQIA_MSG_ENQ_COUNT, q->stats.enq_count);
    b.Int(MQIA_MSG_DEQ_COUNT, q->stats.deq_count);
    q->stats.reset_time = now;
    q->stats.high_depth = static_cast<MQLONG>(q->messages.size());
    q->stats.enq_count = 0;
    q->stats.deq_count = 0;
  }
  if (out->empty()) out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
}

void CommandProcessor::InquireQueueStatus(const PcfCommand& cmd, PcfReplies* out) {
  if (!CheckParams(cmd, {MQCA_Q_NAME, MQIACF_Q_STATUS_TYPE, MQIACF_Q_STATUS_ATTRS, MQIACF_OPEN_TYPE}, 0, out))
    return;
  const PcfParam* name = cmd.Find(MQCA_Q_NAME);
  if (name == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQCA_Q_NAME);
  for (const auto& [qname, q] : qm_.queues_) {
    if (q->def.type != MQQT_LOCAL || !NameMatches(qname, name->str_value)) continue;
    MQLONG uncommitted = static_cast<MQLONG>(std::count_if(
        q->messages.begin(), q->messages.end(), [](const auto& kv) { return !kv.second.Visible(); }));
    PcfBuilder& b = out->Add();
    b.Str(MQCA_Q_NAME, qname, 48);
    b.Int(MQIACF_Q_STATUS_TYPE, MQIACF_Q_STATUS);
    b.Int(MQIA_CURRENT_Q_DEPTH, static_cast<MQLONG>(q->messages.size()));
    b.Int(MQIA_OPEN_INPUT_COUNT, q->open_input);
    b.Int(MQIA_OPEN_OUTPUT_COUNT, q->open_output);
    b.Int(MQIACF_UNCOMMITTED_MSGS, uncommitted);
  }
  if (out->empty()) out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
}

// ---- 5. Processes, namelists and channel definitions --------------------------

void CommandProcessor::InquireObjects(MQLONG object_type, const PcfCommand& cmd, PcfReplies* out) {
  MQLONG name_param = NameParam(object_type);
  MQLONG list_param = ListParamOf(object_type);
  std::set<MQLONG> allowed = {name_param, list_param};
  if (object_type == MQOT_CHANNEL) allowed.insert(MQIACH_CHANNEL_TYPE);
  if (!CheckParams(cmd, allowed, 0, out)) return;
  const PcfParam* name = cmd.Find(name_param);
  if (name == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, name_param);
  const PcfParam* type = cmd.Find(MQIACH_CHANNEL_TYPE);
  MQLONG wanted = type != nullptr ? type->int_value : MQCHT_ALL;
  auto only = Selected(cmd, list_param);
  ForMatching(*qm_.objects_.Of(object_type), name->str_value, [&](const std::string&, const ObjectDef& def) {
    if (object_type == MQOT_CHANNEL && wanted != MQCHT_ALL && wanted != def.subtype) return;
    AddObject(object_type, def, only.get(), out->Add());
  });
  if (out->empty()) out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
}

void CommandProcessor::InquireObjectNames(MQLONG object_type, const PcfCommand& cmd, PcfReplies* out) {
  MQLONG name_param = NameParam(object_type);
  std::set<MQLONG> allowed = {name_param};
  if (object_type == MQOT_CHANNEL) allowed.insert(MQIACH_CHANNEL_TYPE);
  if (!CheckParams(cmd, allowed, 0, out)) return;
  const PcfParam* name = cmd.Find(name_param);
  if (name == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, name_param);
  const PcfParam* type = cmd.Find(MQIACH_CHANNEL_TYPE);
  MQLONG wanted = type != nullptr ? type->int_value : MQCHT_ALL;
  std::vector<std::string> names;
  for (const auto& [oname, def] : *qm_.objects_.Of(object_type)) {
    if (!NameMatches(oname, name->str_value)) continue;
    if (object_type == MQOT_CHANNEL && wanted != MQCHT_ALL && wanted != def.subtype) continue;
    names.push_back(oname);
  }
  out->Add().StrList(NamesParamOf(object_type), names, NameWidth(object_type));
}

void CommandProcessor::DefineObject(MQLONG object_type, const PcfCommand& cmd, PcfReplies* out) {
  const bool copy = cmd.command == MQCMD_COPY_PROCESS || cmd.command == MQCMD_COPY_NAMELIST ||
                    cmd.command == MQCMD_COPY_CHANNEL;
  const bool change = cmd.command == MQCMD_CHANGE_PROCESS || cmd.command == MQCMD_CHANGE_NAMELIST ||
                      cmd.command == MQCMD_CHANGE_CHANNEL;
  MQLONG name_param = copy ? ToParamOf(object_type) : NameParam(object_type);
  std::set<MQLONG> allowed = {name_param, MQIACF_REPLACE};
  if (copy) allowed.insert(FromParamOf(object_type));
  if (object_type == MQOT_CHANNEL) allowed.insert(MQIACH_CHANNEL_TYPE);
  if (!CheckParams(cmd, allowed, object_type, out)) return;
  const PcfParam* name = cmd.Find(name_param);
  if (name == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, name_param);
  bool valid = object_type == MQOT_CHANNEL ? ValidChannelName(name->str_value) : ValidObjectName(name->str_value);
  if (!valid) return out->Fail(MQRCCF_OBJECT_NAME_ERROR, name_param);
  const PcfParam* type = cmd.Find(MQIACH_CHANNEL_TYPE);
  if (object_type == MQOT_CHANNEL) {
    if (type == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQIACH_CHANNEL_TYPE);
    MQLONG t = type->int_value;
    if (t < MQCHT_SENDER || t > MQCHT_CLUSSDR || t == MQCHT_ALL)
      return out->Fail(MQRCCF_CHANNEL_TYPE_ERROR, MQIACH_CHANNEL_TYPE);
  }
  auto& objects = *qm_.objects_.Of(object_type);
  auto existing = objects.find(name->str_value);
  const PcfParam* replace = cmd.Find(MQIACF_REPLACE);
  bool replacing = replace != nullptr && replace->int_value == 1;
  ObjectDef def;
  if (change) {
    if (existing == objects.end()) return out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
    def = existing->second;
    if (type != nullptr && type->int_value != def.subtype) return out->Fail(MQRCCF_OBJECT_WRONG_TYPE);
  } else {
    if (copy) {
      const PcfParam* from = cmd.Find(FromParamOf(object_type));
      if (from == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, FromParamOf(object_type));
      auto source = objects.find(from->str_value);
      if (source == objects.end()) return out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
      def = source->second;
      if (type != nullptr && type->int_value != def.subtype) return out->Fail(MQRCCF_OBJECT_WRONG_TYPE);
    } else if (type != nullptr) {
      def.subtype = type->int_value;
    }
    if (existing != objects.end()) {
      if (!replacing) return out->Fail(MQRCCF_OBJECT_ALREADY_EXISTS);
      if (existing->second.subtype != def.subtype) return out->Fail(MQRCCF_OBJECT_WRONG_TYPE);
    }
  }
  def.name = name->str_value;
  for (const PcfParam& p : cmd.params) {
    const ObjAttr* spec = FindObjAttr(object_type, p.id);
    if (spec == nullptr || !spec->changeable || p.id >= 20000) continue;
    if (!AppliesTo(*spec, def.subtype)) return out->Fail(MQRCCF_ATTR_VALUE_ERROR, p.id);
    if (spec->type == AttrType::kInt)
      def.ints[p.id] = p.int_value;
    else if (spec->type == AttrType::kStr)
      def.strs[p.id] = p.str_value;
    else
      def.lists[p.id] = p.str_list;
  }
  if (object_type == MQOT_CHANNEL && !ChannelDefinitionOk(def, out)) return;
  Stamp(def.strs);
  ApplyObjectDefaults(object_type, &def);
  JournalObject(object_type, def);
  objects[def.name] = def;
  if (object_type == MQOT_CHANNEL) ChannelDefined(qm_, def);
  out->Add();
}

void CommandProcessor::DeleteObject(MQLONG object_type, const PcfCommand& cmd, PcfReplies* out) {
  MQLONG name_param = NameParam(object_type);
  std::set<MQLONG> allowed = {name_param};
  if (object_type == MQOT_CHANNEL) allowed.insert(MQIACH_CHANNEL_TABLE);
  if (!CheckParams(cmd, allowed, 0, out)) return;
  const PcfParam* name = cmd.Find(name_param);
  if (name == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, name_param);
  auto& objects = *qm_.objects_.Of(object_type);
  auto it = objects.find(name->str_value);
  if (it == objects.end()) return out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
  if (object_type == MQOT_CHANNEL && !ChannelDeletable(qm_, it->second, out)) return;
  JournalRecord r;
  r.type = JournalRecord::kDeleteObject;
  r.object_type = object_type;
  r.queue = it->first;
  qm_.journal_.Append({r});
  std::string gone = it->first;
  objects.erase(it);
  if (object_type == MQOT_CHANNEL) ChannelDeleted(qm_, gone);
  out->Add();
}

}  // namespace mqsim::server
