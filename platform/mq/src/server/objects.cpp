#include "objects.h"

#include "common/install.h"
#include "queue_def.h"

namespace mqsim::server {

namespace {

using T = AttrType;
constexpr unsigned kAll = kAllSubtypes;

constexpr unsigned Bit(MQLONG t) { return 1u << t; }
constexpr unsigned S = Bit(MQCHT_SENDER), V = Bit(MQCHT_SERVER), R = Bit(MQCHT_RECEIVER),
                   Q = Bit(MQCHT_REQUESTER), C = Bit(MQCHT_CLNTCONN), SC = Bit(MQCHT_SVRCONN),
                   CR = Bit(MQCHT_CLUSRCVR), CS = Bit(MQCHT_CLUSSDR);
constexpr unsigned kSending = S | V | CR | CS;       // sender ends of message channels
constexpr unsigned kMessage = S | V | R | Q | CR | CS;

// IBM's defaults are those of the SYSTEM.DEF.* objects.
const ObjAttr kChannelAttrs[] = {
    {MQCACH_CHANNEL_NAME, T::kStr, 20, kAll, 0, "", false},
    {MQIACH_CHANNEL_TYPE, T::kInt, 0, kAll, 0, nullptr, false},
    {MQIACH_XMIT_PROTOCOL_TYPE, T::kInt, 0, kAll, MQXPT_TCP, nullptr, true},
    {MQCACH_DESC, T::kStr, 64, kAll, 0, "", true},
    {MQIACH_BATCH_SIZE, T::kInt, 0, kMessage, 50, nullptr, true},
    {MQIACH_DISC_INTERVAL, T::kInt, 0, kSending, 6000, nullptr, true},
    {MQIACH_SHORT_TIMER, T::kInt, 0, kSending, 60, nullptr, true},
    {MQIACH_SHORT_RETRY, T::kInt, 0, kSending, 10, nullptr, true},
    {MQIACH_LONG_TIMER, T::kInt, 0, kSending, 1200, nullptr, true},
    {MQIACH_LONG_RETRY, T::kInt, 0, kSending, 999999999, nullptr, true},
    {MQIACH_PUT_AUTHORITY, T::kInt, 0, R | Q | SC | CR, MQPA_DEFAULT, nullptr, true},
    {MQIACH_SEQUENCE_NUMBER_WRAP, T::kInt, 0, kMessage, 999999999, nullptr, true},
    {MQIACH_MAX_MSG_LENGTH, T::kInt, 0, kAll, 4194304, nullptr, true},
    {MQIACH_DATA_CONVERSION, T::kInt, 0, kSending, MQCDC_NO_SENDER_CONVERSION, nullptr, true},
    {MQIACH_MCA_TYPE, T::kInt, 0, S | V | Q | CR | CS, MQMCAT_PROCESS, nullptr, true},
    {MQIACH_MR_COUNT, T::kInt, 0, R | Q | CR, 10, nullptr, true},
    {MQIACH_MR_INTERVAL, T::kInt, 0, R | Q | CR, 1000, nullptr, true},
    {MQIACH_NPM_SPEED, T::kInt, 0, kMessage, MQNPMS_FAST, nullptr, true},
    {MQIACH_HB_INTERVAL, T::kInt, 0, kAll, 300, nullptr, true},
    {MQIACH_BATCH_INTERVAL, T::kInt, 0, kSending, 0, nullptr, true},
    {MQIACH_NETWORK_PRIORITY, T::kInt, 0, CR, 0, nullptr, true},
    {MQCA_Q_MGR_NAME, T::kStr, 48, C, 0, "", true},
    {MQCACH_MODE_NAME, T::kStr, 8, S | V | Q | C | CR | CS, 0, "", true},
    {MQCACH_TP_NAME, T::kStr, 64, S | V | Q | C | CR | CS, 0, "", true},
    {MQCACH_XMIT_Q_NAME, T::kStr, 48, S | V, 0, "", true},
    {MQCACH_CONNECTION_NAME, T::kStr, 264, S | V | Q | C | CR | CS, 0, "", true},
    {MQCACH_MCA_NAME, T::kStr, 20, S | V | Q | CR | CS, 0, "", true},
    {MQCACH_SEC_EXIT_NAME, T::kStr, 128, kAll, 0, "", true},
    {MQCACH_MSG_EXIT_NAME, T::kStr, 128, kMessage, 0, "", true},
    {MQCACH_SEND_EXIT_NAME, T::kStr, 128, kAll, 0, "", true},
    {MQCACH_RCV_EXIT_NAME, T::kStr, 128, kAll, 0, "", true},
    {MQCACH_SEC_EXIT_USER_DATA, T::kStr, 32, kAll, 0, "", true},
    {MQCACH_MSG_EXIT_USER_DATA, T::kStr, 32, kMessage, 0, "", true},
    {MQCACH_SEND_EXIT_USER_DATA, T::kStr, 32, kAll, 0, "", true},
    {MQCACH_RCV_EXIT_USER_DATA, T::kStr, 32, kAll, 0, "", true},
    {MQCACH_USER_ID, T::kStr, 12, S | V | Q | C | CS, 0, "", true},
    {MQCACH_PASSWORD, T::kStr, 12, S | V | Q | C | CS, 0, "", true},
    {MQCACH_MCA_USER_ID, T::kStr, 12, kMessage | SC, 0, "", true},
    {MQCACH_MR_EXIT_NAME, T::kStr, 128, R | Q | CR, 0, "", true},
    {MQCACH_MR_EXIT_USER_DATA, T::kStr, 32, R | Q | CR, 0, "", true},
    {MQCA_CLUSTER_NAME, T::kStr, 48, CR | CS, 0, "", true},
    {MQCA_CLUSTER_NAMELIST, T::kStr, 48, CR | CS, 0, "", true},
    {MQCA_ALTERATION_DATE, T::kStr, 12, kAll, 0, "", false},
    {MQCA_ALTERATION_TIME, T::kStr, 8, kAll, 0, "", false},
    // The message sequence number of the last persistent message sent or
    // received, kept with the definition so that a restart neither loses
    // nor doubles a message that was in doubt.
    {MQIACH_CURRENT_SEQ_NUMBER, T::kInt, 0, kMessage, 0, nullptr, false},
};

const ObjAttr kProcessAttrs[] = {
    {MQCA_PROCESS_NAME, T::kStr, 48, kAll, 0, "", false},
    {MQCA_PROCESS_DESC, T::kStr, 64, kAll, 0, "", true},
    {MQIA_APPL_TYPE, T::kInt, 0, kAll, MQAT_DEFAULT, nullptr, true},
    {MQCA_APPL_ID, T::kStr, 256, kAll, 0, "", true},
    {MQCA_ENV_DATA, T::kStr, 128, kAll, 0, "", true},
    {MQCA_USER_DATA, T::kStr, 128, kAll, 0, "", true},
    {MQCA_ALTERATION_DATE, T::kStr, 12, kAll, 0, "", false},
    {MQCA_ALTERATION_TIME, T::kStr, 8, kAll, 0, "", false},
};

const ObjAttr kNamelistAttrs[] = {
    {MQCA_NAMELIST_NAME, T::kStr, 48, kAll, 0, "", false},
    {MQCA_NAMELIST_DESC, T::kStr, 64, kAll, 0, "", true},
    {MQIA_NAME_COUNT, T::kInt, 0, kAll, 0, nullptr, false},
    {MQCA_NAMES, T::kList, 48, kAll, 0, nullptr, true},
    {MQCA_ALTERATION_DATE, T::kStr, 12, kAll, 0, "", false},
    {MQCA_ALTERATION_TIME, T::kStr, 8, kAll, 0, "", false},
};

const ObjAttr kQmgrAttrs[] = {
    {MQCA_Q_MGR_NAME, T::kStr, 48, kAll, 0, "", false},
    {MQCA_Q_MGR_DESC, T::kStr, 64, kAll, 0, "", true},
    {MQCA_DEAD_LETTER_Q_NAME, T::kStr, 48, kAll, 0, "SYSTEM.DEAD.LETTER.QUEUE", true},
    {MQCA_COMMAND_INPUT_Q_NAME, T::kStr, 48, kAll, 0, "SYSTEM.ADMIN.COMMAND.QUEUE", false},
    {MQCA_DEF_XMIT_Q_NAME, T::kStr, 48, kAll, 0, "", true},
    {MQIA_PLATFORM, T::kInt, 0, kAll, MQPL_UNIX, nullptr, false},
    {MQCA_CHANNEL_AUTO_DEF_EXIT, T::kStr, 128, kAll, 0, "", true},
    {MQIA_CHANNEL_AUTO_DEF, T::kInt, 0, kAll, 0, nullptr, true},
    {MQIA_CHANNEL_AUTO_DEF_EVENT, T::kInt, 0, kAll, MQEVR_DISABLED, nullptr, true},
    {MQIA_DIST_LISTS, T::kInt, 0, kAll, 0, nullptr, false},
    {MQIA_COMMAND_LEVEL, T::kInt, 0, kAll, MQCMDL_LEVEL_530, nullptr, false},
    {MQIA_TRIGGER_INTERVAL, T::kInt, 0, kAll, 999999999, nullptr, true},
    {MQIA_MAX_PRIORITY, T::kInt, 0, kAll, 9, nullptr, false},
    {MQIA_CODED_CHAR_SET_ID, T::kInt, 0, kAll, 819, nullptr, false},
    {MQIA_MAX_HANDLES, T::kInt, 0, kAll, 256, nullptr, true},
    {MQIA_MAX_MSG_LENGTH, T::kInt, 0, kAll, 4194304, nullptr, false},
    {MQIA_MAX_UNCOMMITTED_MSGS, T::kInt, 0, kAll, 10000, nullptr, false},
    {MQIA_SYNCPOINT, T::kInt, 0, kAll, MQSP_AVAILABLE, nullptr, false},
    {MQIA_AUTHORITY_EVENT, T::kInt, 0, kAll, MQEVR_DISABLED, nullptr, true},
    {MQIA_INHIBIT_EVENT, T::kInt, 0, kAll, MQEVR_DISABLED, nullptr, true},
    {MQIA_LOCAL_EVENT, T::kInt, 0, kAll, MQEVR_DISABLED, nullptr, true},
    {MQIA_REMOTE_EVENT, T::kInt, 0, kAll, MQEVR_DISABLED, nullptr, true},
    // Off unless switched on: applications of this installation read the
    // event queues and expect only what they asked for.
    {MQIA_START_STOP_EVENT, T::kInt, 0, kAll, MQEVR_DISABLED, nullptr, true},
    {MQIA_PERFORMANCE_EVENT, T::kInt, 0, kAll, MQEVR_DISABLED, nullptr, true},
    {MQCA_Q_MGR_IDENTIFIER, T::kStr, 48, kAll, 0, "", false},
    {MQCA_CLUSTER_WORKLOAD_EXIT, T::kStr, 128, kAll, 0, "", true},
    {MQCA_CLUSTER_WORKLOAD_DATA, T::kStr, 32, kAll, 0, "", true},
    {MQIA_CLUSTER_WORKLOAD_LENGTH, T::kInt, 0, kAll, 100, nullptr, true},
    {MQCA_REPOSITORY_NAME, T::kStr, 48, kAll, 0, "", true},
    {MQCA_REPOSITORY_NAMELIST, T::kStr, 48, kAll, 0, "", true},
    {MQCA_CREATION_DATE, T::kStr, 12, kAll, 0, "", false},
    {MQCA_CREATION_TIME, T::kStr, 8, kAll, 0, "", false},
    {MQCA_ALTERATION_DATE, T::kStr, 12, kAll, 0, "", false},
    {MQCA_ALTERATION_TIME, T::kStr, 8, kAll, 0, "", false},
};

constexpr size_t kListChunk = 5;

}  // namespace

std::span<const ObjAttr> AttrsOf(MQLONG object_type) {
  switch (object_type) {
    case MQOT_CHANNEL: return kChannelAttrs;
    case MQOT_PROCESS: return kProcessAttrs;
    case MQOT_NAMELIST: return kNamelistAttrs;
    case MQOT_Q_MGR: return kQmgrAttrs;
    default: return {};
  }
}

const ObjAttr* FindObjAttr(MQLONG object_type, MQLONG id) {
  for (const ObjAttr& a : AttrsOf(object_type))
    if (a.id == id) return &a;
  return nullptr;
}

bool AppliesTo(const ObjAttr& a, MQLONG subtype) {
  return a.subtypes == kAllSubtypes || (subtype >= 0 && subtype < 32 && (a.subtypes & (1u << subtype)));
}

MQLONG NameParam(MQLONG object_type) {
  switch (object_type) {
    case MQOT_CHANNEL: return MQCACH_CHANNEL_NAME;
    case MQOT_PROCESS: return MQCA_PROCESS_NAME;
    case MQOT_NAMELIST: return MQCA_NAMELIST_NAME;
    case MQOT_Q_MGR: return MQCA_Q_MGR_NAME;
    default: return MQCA_Q_NAME;
  }
}

int NameWidth(MQLONG object_type) { return object_type == MQOT_CHANNEL ? 20 : 48; }

void ApplyObjectDefaults(MQLONG object_type, ObjectDef* def) {
  for (const ObjAttr& a : AttrsOf(object_type)) {
    if (a.id == NameParam(object_type) || a.id == MQIACH_CHANNEL_TYPE || a.id == MQIA_NAME_COUNT) continue;
    if (!AppliesTo(a, def->subtype)) continue;
    switch (a.type) {
      case AttrType::kInt:
        if (!def->ints.count(a.id)) def->ints[a.id] = a.def_int;
        break;
      case AttrType::kStr:
        if (!def->strs.count(a.id)) def->strs[a.id] = a.def_str != nullptr ? a.def_str : "";
        break;
      case AttrType::kList:
        def->lists[a.id];
        break;
    }
  }
  if (def->Str(MQCA_ALTERATION_DATE).empty()) {
    def->strs[MQCA_ALTERATION_DATE] = TodayDate();
    def->strs[MQCA_ALTERATION_TIME] = NowTime();
  }
}

std::vector<Attr> ObjectToAttrs(MQLONG object_type, const ObjectDef& def) {
  std::vector<Attr> out;
  auto str = [&](MQLONG id, const std::string& v) {
    Attr a;
    a.selector = id;
    a.is_string = true;
    a.str_value = v;
    out.push_back(std::move(a));
  };
  auto num = [&](MQLONG id, MQLONG v) {
    Attr a;
    a.selector = id;
    a.int_value = v;
    out.push_back(std::move(a));
  };
  str(NameParam(object_type), def.name);
  if (object_type == MQOT_CHANNEL) num(MQIACH_CHANNEL_TYPE, def.subtype);
  for (const auto& [id, v] : def.ints) num(id, v);
  for (const auto& [id, v] : def.strs) str(id, v);
  for (const auto& [id, items] : def.lists) {
    for (size_t i = 0; i < items.size(); i += kListChunk) {
      std::string joined;
      for (size_t k = i; k < items.size() && k < i + kListChunk; ++k) joined += (k > i ? "," : "") + items[k];
      str(id, joined);
    }
  }
  return out;
}

bool ObjectFromAttrs(MQLONG object_type, const std::vector<Attr>& attrs, ObjectDef* out) {
  ObjectDef d;
  MQLONG name_param = NameParam(object_type);
  for (const Attr& a : attrs) {
    if (a.selector == name_param && a.is_string) {
      d.name = a.str_value;
      continue;
    }
    if (object_type == MQOT_CHANNEL && a.selector == MQIACH_CHANNEL_TYPE && !a.is_string) {
      d.subtype = a.int_value;
      continue;
    }
    const ObjAttr* spec = FindObjAttr(object_type, a.selector);
    if (spec == nullptr) continue;  // an attribute this version no longer keeps
    if (spec->type == AttrType::kList && a.is_string) {
      auto& items = d.lists[a.selector];
      size_t pos = 0;
      while (pos <= a.str_value.size() && !a.str_value.empty()) {
        size_t comma = a.str_value.find(',', pos);
        if (comma == std::string::npos) comma = a.str_value.size();
        items.push_back(a.str_value.substr(pos, comma - pos));
        pos = comma + 1;
      }
    } else if (spec->type == AttrType::kStr && a.is_string) {
      d.strs[a.selector] = a.str_value;
    } else if (spec->type == AttrType::kInt && !a.is_string) {
      d.ints[a.selector] = a.int_value;
    }
  }
  if (d.name.empty()) return false;
  ApplyObjectDefaults(object_type, &d);
  *out = std::move(d);
  return true;
}

std::map<std::string, ObjectDef>* AdminObjects::Of(MQLONG object_type) {
  switch (object_type) {
    case MQOT_CHANNEL: return &channels;
    case MQOT_PROCESS: return &processes;
    case MQOT_NAMELIST: return &namelists;
    default: return nullptr;
  }
}

}  // namespace mqsim::server
