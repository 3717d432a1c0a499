// The administered objects of a queue manager other than queues: its own
// attributes, processes, namelists and channels. Each kind has a table of
// its attributes (PCF parameter id, type, width, the channel types it
// belongs to, IBM's default); a definition holds the values.
#ifndef MQSIM_SERVER_OBJECTS_H_
#define MQSIM_SERVER_OBJECTS_H_

#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "common/protocol.h"

namespace mqsim::server {

enum class AttrType { kInt, kStr, kList };

constexpr unsigned kAllSubtypes = ~0u;

struct ObjAttr {
  MQLONG id;
  AttrType type;
  int width;           // characters of a string or list item
  unsigned subtypes;   // bit (1 << channel type) for channels; kAllSubtypes
  MQLONG def_int;
  const char* def_str;
  bool changeable;     // by a change command (the name and type never are)
};

struct ObjectDef {
  std::string name;
  MQLONG subtype = 0;  // channel type; 0 for the other kinds
  std::map<MQLONG, MQLONG> ints;
  std::map<MQLONG, std::string> strs;
  std::map<MQLONG, std::vector<std::string>> lists;

  MQLONG Int(MQLONG id) const {
    auto it = ints.find(id);
    return it == ints.end() ? 0 : it->second;
  }
  std::string Str(MQLONG id) const {
    auto it = strs.find(id);
    return it == strs.end() ? std::string() : it->second;
  }
  std::vector<std::string> List(MQLONG id) const {
    auto it = lists.find(id);
    return it == lists.end() ? std::vector<std::string>() : it->second;
  }
};

// Object kinds by MQOT_ value: MQOT_Q_MGR, MQOT_PROCESS, MQOT_NAMELIST,
// MQOT_CHANNEL.
std::span<const ObjAttr> AttrsOf(MQLONG object_type);
const ObjAttr* FindObjAttr(MQLONG object_type, MQLONG id);
bool AppliesTo(const ObjAttr& a, MQLONG subtype);
// The parameter that names an object of the kind, and its width.
MQLONG NameParam(MQLONG object_type);
int NameWidth(MQLONG object_type);
// Fills every attribute of the kind (and subtype) that is not set.
void ApplyObjectDefaults(MQLONG object_type, ObjectDef* def);
// Journal form: the name under its name parameter, the subtype under
// MQIACH_CHANNEL_TYPE for channels, then the values; lists go five items
// to a string joined by ",".
std::vector<Attr> ObjectToAttrs(MQLONG object_type, const ObjectDef& def);
bool ObjectFromAttrs(MQLONG object_type, const std::vector<Attr>& attrs, ObjectDef* def);

// What a channel is doing now (never stored: a restart leaves every
// channel inactive).
struct ChannelRuntime {
  MQLONG state = MQCHS_INACTIVE;
  MQLONG type = 0;
  std::string partner_qmgr;    // the queue manager at the connection name
  std::string xmit_q, conn_name;
  MQLONG msgs = 0, batches = 0;
  int64_t bytes_sent = 0, bytes_rcvd = 0;
  std::string start_date, start_time, last_msg_date, last_msg_time;
  // Persistent messages put at the partner whose removal from the
  // transmission queue waits for the next pass (in doubt until then).
  std::vector<uint64_t> unacked;
  bool stop_requested = false;
  // Waits for a slot under the queue manager's limit of active channels
  // (state starting); activated when one frees.
  bool waiting_for_slot = false;
  // A server that its partner requester started: it ends with the
  // requester instead of retrying.
  bool started_by_requester = false;
};

// A client connected through a server-connection channel: what the
// channel's status shows for it. Times are seconds since 1970.
struct ClientChannel {
  std::string channel;    // blank: the connection named no channel
  std::string conn_name;  // the client's address
  int64_t started = 0, last_call = 0;
  MQLONG calls = 0;       // MQI calls, which a server-connection channel counts as messages
  int64_t bytes_sent = 0, bytes_rcvd = 0;
};

// Every object of one queue manager that is not a queue.
struct AdminObjects {
  std::map<std::string, ChannelRuntime> runtime;  // by channel name
  // Sequence numbers of cluster channels, which one cluster receiver shares
  // among its senders: by channel name on the sending side, by channel
  // name + "/" + sending queue manager on the receiving side. Journalled.
  std::map<std::string, MQLONG> channel_sync;
  std::set<std::string> suspended_clusters;       // SUSPEND QMGR, until RESUME
  std::set<std::pair<std::string, std::string>> reset_members;  // (cluster, qmgr) force-removed here
  ObjectDef qmgr;  // the queue manager's own attributes, name = its name
  std::map<std::string, ObjectDef> processes;
  std::map<std::string, ObjectDef> namelists;
  std::map<std::string, ObjectDef> channels;

  // The map of a kind; null for MQOT_Q_MGR and others.
  std::map<std::string, ObjectDef>* Of(MQLONG object_type);
};

}  // namespace mqsim::server

#endif  // MQSIM_SERVER_OBJECTS_H_
