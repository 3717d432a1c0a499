#include "queue_def.h"

#include <sys/time.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/install.h"

namespace mqsim::server {

namespace {

constexpr int L = kTypeLocal, M = kTypeModel, A = kTypeAlias, R = kTypeRemote;

// Computed attributes (depth, open counts, type) have no stored value.
const AttrSpec kQueueAttrs[] = {
    {MQCA_Q_NAME, true, 48, L | M | A | R, false},
    {MQIA_Q_TYPE, false, 0, L | M | A | R, false},
    {MQCA_Q_DESC, true, 64, L | M | A | R, false},
    {MQIA_INHIBIT_PUT, false, 0, L | M | A | R, true},
    {MQIA_INHIBIT_GET, false, 0, L | M | A, true},
    {MQIA_DEF_PRIORITY, false, 0, L | M | A | R, false},
    {MQIA_DEF_PERSISTENCE, false, 0, L | M | A | R, false},
    {MQIA_SCOPE, false, 0, L | A | R, false},
    {MQCA_CREATION_DATE, true, 12, L | M, false},
    {MQCA_CREATION_TIME, true, 8, L | M, false},
    {MQCA_ALTERATION_DATE, true, 12, L | M | A | R, false},
    {MQCA_ALTERATION_TIME, true, 8, L | M | A | R, false},
    {MQIA_MAX_Q_DEPTH, false, 0, L | M, false},
    {MQIA_MAX_MSG_LENGTH, false, 0, L | M, false},
    {MQIA_BACKOUT_THRESHOLD, false, 0, L | M, false},
    {MQCA_BACKOUT_REQ_Q_NAME, true, 48, L | M, false},
    {MQIA_SHAREABILITY, false, 0, L | M, false},
    {MQIA_DEF_INPUT_OPEN_OPTION, false, 0, L | M, false},
    {MQIA_HARDEN_GET_BACKOUT, false, 0, L | M, false},
    {MQIA_MSG_DELIVERY_SEQUENCE, false, 0, L | M, false},
    {MQIA_RETENTION_INTERVAL, false, 0, L | M, false},
    {MQIA_DEFINITION_TYPE, false, 0, L | M, false},
    {MQIA_USAGE, false, 0, L | M, false},
    {MQIA_TRIGGER_CONTROL, false, 0, L | M, true},
    {MQIA_TRIGGER_TYPE, false, 0, L | M, true},
    {MQIA_TRIGGER_DEPTH, false, 0, L | M, true},
    {MQIA_TRIGGER_MSG_PRIORITY, false, 0, L | M, true},
    {MQCA_TRIGGER_DATA, true, 64, L | M, true},
    {MQCA_PROCESS_NAME, true, 48, L | M, false},
    {MQCA_INITIATION_Q_NAME, true, 48, L | M, false},
    {MQIA_Q_DEPTH_HIGH_LIMIT, false, 0, L | M, false},
    {MQIA_Q_DEPTH_LOW_LIMIT, false, 0, L | M, false},
    {MQIA_Q_DEPTH_MAX_EVENT, false, 0, L | M, false},
    {MQIA_Q_DEPTH_HIGH_EVENT, false, 0, L | M, false},
    {MQIA_Q_DEPTH_LOW_EVENT, false, 0, L | M, false},
    {MQIA_DIST_LISTS, false, 0, L | M, false},
    {MQIA_Q_SERVICE_INTERVAL_EVENT, false, 0, L | M, false},
    {MQIA_Q_SERVICE_INTERVAL, false, 0, L | M, false},
    {MQIA_DEF_BIND, false, 0, L | A | R, false},
    {MQCA_CLUSTER_NAME, true, 48, L | A | R, false},
    {MQCA_CLUSTER_NAMELIST, true, 48, L | A | R, false},
    {MQIA_CURRENT_Q_DEPTH, false, 0, L, false},
    {MQIA_OPEN_INPUT_COUNT, false, 0, L, false},
    {MQIA_OPEN_OUTPUT_COUNT, false, 0, L, false},
    {MQCA_BASE_Q_NAME, true, 48, A, false},
    {MQCA_REMOTE_Q_NAME, true, 48, R, false},
    {MQCA_REMOTE_Q_MGR_NAME, true, 48, R, false},
    {MQCA_XMIT_Q_NAME, true, 48, R, false},
};

bool Computed(MQLONG sel) {
  return sel == MQIA_Q_TYPE || sel == MQCA_Q_NAME || sel == MQIA_CURRENT_Q_DEPTH ||
         sel == MQIA_OPEN_INPUT_COUNT || sel == MQIA_OPEN_OUTPUT_COUNT;
}

struct Default {
  MQLONG selector;
  MQLONG value;
};
const Default kIntDefaults[] = {
    {MQIA_INHIBIT_PUT, MQQA_PUT_ALLOWED},
    {MQIA_INHIBIT_GET, MQQA_GET_ALLOWED},
    {MQIA_DEF_PRIORITY, 0},
    {MQIA_DEF_PERSISTENCE, MQPER_NOT_PERSISTENT},
    {MQIA_SCOPE, MQSCO_Q_MGR},
    {MQIA_MAX_Q_DEPTH, 5000},
    {MQIA_MAX_MSG_LENGTH, kMaxMsgLength},
    {MQIA_BACKOUT_THRESHOLD, 0},
    {MQIA_SHAREABILITY, MQQA_SHAREABLE},
    {MQIA_DEF_INPUT_OPEN_OPTION, MQOO_INPUT_SHARED},
    {MQIA_HARDEN_GET_BACKOUT, MQQA_BACKOUT_NOT_HARDENED},
    {MQIA_MSG_DELIVERY_SEQUENCE, MQMDS_PRIORITY},
    {MQIA_RETENTION_INTERVAL, 999999999},
    {MQIA_DEFINITION_TYPE, MQQDT_PREDEFINED},
    {MQIA_USAGE, MQUS_NORMAL},
    {MQIA_TRIGGER_CONTROL, MQTC_OFF},
    {MQIA_TRIGGER_TYPE, MQTT_FIRST},
    {MQIA_TRIGGER_DEPTH, 1},
    {MQIA_TRIGGER_MSG_PRIORITY, 0},
    {MQIA_Q_DEPTH_HIGH_LIMIT, 80},
    {MQIA_Q_DEPTH_LOW_LIMIT, 20},
    {MQIA_Q_DEPTH_MAX_EVENT, MQEVR_ENABLED},
    {MQIA_Q_DEPTH_HIGH_EVENT, MQEVR_DISABLED},
    {MQIA_Q_DEPTH_LOW_EVENT, MQEVR_DISABLED},
    {MQIA_DIST_LISTS, 0},
    {MQIA_Q_SERVICE_INTERVAL_EVENT, MQQSIE_NONE},
    {MQIA_Q_SERVICE_INTERVAL, 999999999},
    {MQIA_DEF_BIND, MQBND_BIND_ON_OPEN},
};

}  // namespace

const AttrSpec* FindQueueAttr(MQLONG selector) {
  for (const auto& a : kQueueAttrs)
    if (a.selector == selector) return &a;
  return nullptr;
}

std::span<const AttrSpec> QueueAttrs() { return kQueueAttrs; }

int TypeBit(MQLONG q_type) {
  switch (q_type) {
    case MQQT_LOCAL: return kTypeLocal;
    case MQQT_MODEL: return kTypeModel;
    case MQQT_ALIAS: return kTypeAlias;
    case MQQT_REMOTE: return kTypeRemote;
    default: return 0;
  }
}

void QueueDef::ApplyDefaults() {
  int bit = TypeBit(type);
  for (const auto& d : kIntDefaults) {
    const AttrSpec* spec = FindQueueAttr(d.selector);
    if ((spec->types & bit) && !ints.count(d.selector)) ints[d.selector] = d.value;
  }
  if (type == MQQT_MODEL && !ints.count(MQIA_DEFINITION_TYPE))
    ints[MQIA_DEFINITION_TYPE] = MQQDT_TEMPORARY_DYNAMIC;
  if (type == MQQT_MODEL && ints[MQIA_DEFINITION_TYPE] == MQQDT_PREDEFINED)
    ints[MQIA_DEFINITION_TYPE] = MQQDT_TEMPORARY_DYNAMIC;
  for (const auto& a : kQueueAttrs) {
    if (a.is_string && (a.types & bit) && a.selector != MQCA_Q_NAME && !strs.count(a.selector))
      strs[a.selector] = "";
  }
  if ((bit & (kTypeLocal | kTypeModel)) && strs[MQCA_CREATION_DATE].empty()) {
    strs[MQCA_CREATION_DATE] = TodayDate();
    strs[MQCA_CREATION_TIME] = NowTime();
  }
  if (strs[MQCA_ALTERATION_DATE].empty()) {
    strs[MQCA_ALTERATION_DATE] = TodayDate();
    strs[MQCA_ALTERATION_TIME] = NowTime();
  }
}

std::vector<Attr> QueueDef::ToAttrs() const {
  std::vector<Attr> out;
  Attr n;
  n.selector = MQCA_Q_NAME;
  n.is_string = true;
  n.str_value = name;
  out.push_back(n);
  Attr t;
  t.selector = MQIA_Q_TYPE;
  t.int_value = type;
  out.push_back(t);
  for (const auto& [sel, v] : ints) {
    Attr a;
    a.selector = sel;
    a.int_value = v;
    out.push_back(a);
  }
  for (const auto& [sel, v] : strs) {
    Attr a;
    a.selector = sel;
    a.is_string = true;
    a.str_value = v;
    out.push_back(a);
  }
  return out;
}

bool QueueDef::FromAttrs(const std::vector<Attr>& attrs, QueueDef* out, std::string* error) {
  QueueDef d;
  d.type = 0;
  for (const auto& a : attrs) {
    if (a.selector == MQCA_Q_NAME && a.is_string) d.name = a.str_value;
    if (a.selector == MQIA_Q_TYPE && !a.is_string) d.type = a.int_value;
  }
  if (!ValidObjectName(d.name)) {
    *error = "queue name missing or not valid";
    return false;
  }
  int bit = TypeBit(d.type);
  if (bit == 0) {
    *error = "queue type missing or not valid";
    return false;
  }
  for (const auto& a : attrs) {
    if (a.selector == MQCA_Q_NAME || a.selector == MQIA_Q_TYPE) continue;
    const AttrSpec* spec = FindQueueAttr(a.selector);
    if (spec == nullptr || Computed(a.selector) || spec->is_string != a.is_string) {
      *error = "attribute " + std::to_string(a.selector) + " is not a queue attribute";
      return false;
    }
    if (!(spec->types & bit)) {
      *error = "attribute " + std::to_string(a.selector) + " does not belong to this queue type";
      return false;
    }
    if (a.is_string) {
      if (static_cast<int>(a.str_value.size()) > spec->length) {
        *error = "attribute " + std::to_string(a.selector) + " is longer than " +
                 std::to_string(spec->length) + " characters";
        return false;
      }
      d.strs[a.selector] = a.str_value;
    } else {
      d.ints[a.selector] = a.int_value;
    }
  }
  d.ApplyDefaults();
  *out = std::move(d);
  return true;
}

namespace {

void PutDigits(char* out, int value, int width) {
  for (int i = width - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
}

}  // namespace

// Every put is stamped, so the date and the time to the second are worked
// out once a second and kept; only the hundredths change in between.
void StampPutTime(MQMD* md) {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  thread_local time_t stamped_second = -1;
  thread_local char date[8];
  thread_local char hms[6];
  if (tv.tv_sec != stamped_second) {
    tm g{};
    gmtime_r(&tv.tv_sec, &g);
    PutDigits(date, g.tm_year + 1900, 4);
    PutDigits(date + 4, g.tm_mon + 1, 2);
    PutDigits(date + 6, g.tm_mday, 2);
    PutDigits(hms, g.tm_hour, 2);
    PutDigits(hms + 2, g.tm_min, 2);
    PutDigits(hms + 4, g.tm_sec, 2);
    stamped_second = tv.tv_sec;
  }
  std::memcpy(md->PutDate, date, 8);
  std::memcpy(md->PutTime, hms, 6);
  PutDigits(md->PutTime + 6, static_cast<int>(tv.tv_usec / 10000), 2);
}

std::string TodayDate() {
  time_t t = time(nullptr);
  tm tmv{};
  localtime_r(&t, &tmv);
  char buf[16];
  strftime(buf, sizeof buf, "%Y-%m-%d", &tmv);
  return buf;
}

std::string NowTime() {
  time_t t = time(nullptr);
  tm tmv{};
  localtime_r(&t, &tmv);
  char buf[16];
  strftime(buf, sizeof buf, "%H.%M.%S", &tmv);
  return buf;
}

}  // namespace mqsim::server
