// authority.cpp: object paths, command texts, and the trust and authority
// checks through authcore.
#include "authority.h"

#include <cctype>
#include <cstring>

#include "pcf_util.h"

namespace grpserver {
namespace {

std::string Upper(const char* text) {
  std::string out = text != nullptr ? text : "";
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Field(const char* bytes, size_t width) {
  size_t n = strnlen(bytes, width);
  return std::string(bytes, n);
}

void FillRecord(mqcAuthRequest* r, const std::string& frame_user, const std::string& header_user) {
  std::memset(r, 0, sizeof *r);
  std::snprintf(r->NodeUser, sizeof r->NodeUser, "%.12s", frame_user.c_str());
  std::snprintf(r->MsgUser, sizeof r->MsgUser, "%.12s", header_user.c_str());
  r->Trace = Server().options.authorization_trace ? 1 : 0;
}

}  // namespace

std::string FrameUser(const mqPcfMessage* message) { return Field(message->NodeHeader.UserName, 12); }

std::string HeaderUser(const mqPcfMessage* message) {
  const MessageHeader* h = MESSAGE_HEADER(&message->Body);
  return h == nullptr ? std::string() : Field(h->UserId, 12);
}

std::string CommandObjectPath(const mqPcfMessage* request, const std::string& group) {
  std::string path = WithoutBlanks(group.c_str());
  int type = 10;
  std::string name;
  if (auto node = GetString(request, MQNODE_NAME)) {
    path += "\\" + WithoutBlanks(node->c_str());
    type = 9;
  }
  if (auto qmgr = GetString(request, MQCA_Q_MGR_NAME)) {
    path += "\\" + WithoutBlanks(qmgr->c_str());
    type = 1;
  }
  struct Kind {
    MQLONG id;
    MQLONG from_id;
    int type;
  };
  static const Kind kKinds[] = {
      {MQCA_Q_NAME, MQCACF_FROM_Q_NAME, 11},
      {MQCA_PROCESS_NAME, MQCACF_FROM_PROCESS_NAME, 7},
      {MQCACH_CHANNEL_NAME, MQCACF_FROM_CHANNEL_NAME, 6},
      {MQCA_NAMELIST_NAME, MQCACF_FROM_NAMELIST_NAME, 13},
      {MQCACH_MCA_NAME, MQCACH_MCA_NAME, 8},
  };
  for (const Kind& k : kKinds) {
    auto value = GetString(request, k.id);
    if (!value) value = GetString(request, k.from_id);
    if (value) {
      type = k.type;
      name = WithoutBlanks(value->c_str());
    }
  }
  if (auto t = GetInt(request, OBJECT_TYPE)) type = *t;
  if (type != 10 && type != 9 && type != 1) {
    if (auto object = GetString(request, 20016)) name = WithoutBlanks(object->c_str());
  }
  if (!name.empty()) path += "\\" + name;
  path += "\\" + std::to_string(type);
  return path;
}

std::string CommandText(const mqPcfMessage* message) {
  const MQCFH* cfh = message->Cfh;
  if (cfh->Type == MQCFT_COMMAND) return std::to_string(cfh->Command);
  return std::to_string(cfh->Command) + "::" + std::to_string(cfh->Reason);
}

int CheckTrust(const char* user, ClientEntry* entry, mqcAuthRequest* result) {
  GroupServer& s = Server();
  if (!s.options.user_authority) {
    entry->trusted = 1;
    return 1;
  }
  std::string upper = Upper(user);
  std::string peer;
  if (entry->connection != nullptr) peer = entry->connection->socket.peer.ip;
  if (peer.empty()) peer = WithoutBlanks(entry->node_name);
  result->Trace = s.options.authorization_trace ? 1 : 0;
  mqc_trust(upper.c_str(), peer.c_str(), entry->peer_host, result);
  entry->trusted = result->Outcome != 0 ? 1 : 0;
  return entry->trusted;
}

int CheckGroupCommandAuthority(const mqPcfMessage* request, const char* user, mqcAuthRequest* result) {
  GroupServer& s = Server();
  std::string upper = Upper(user);
  FillRecord(result, upper, HeaderUser(request));
  if (!s.options.user_authority) {
    result->Outcome = 1;
    return 1;
  }
  return CheckAuthority(upper.c_str(), CommandObjectPath(request, s.group), CommandText(request), result);
}

int CheckAuthority(const char* user, const std::string& path, const std::string& command,
                   mqcAuthRequest* result) {
  GroupServer& s = Server();
  if (!s.options.user_authority) {
    result->Outcome = 1;
    return 1;
  }
  std::string upper = Upper(user);
  result->Trace = s.options.authorization_trace ? 1 : 0;
  mqc_authority(upper.c_str(), path.c_str(), command.c_str(), result);
  return result->Outcome != 0 ? 1 : 0;
}

bool MayUserSeeEvent(const char* user, const mqPcfMessage* notification) {
  if (!Server().options.user_authority) return true;
  mqcAuthRequest record;
  FillRecord(&record, Upper(user), Upper(user));
  return CheckAuthority(user, CommandObjectPath(notification, Server().group), CommandText(notification), &record) ==
         1;
}

}  // namespace grpserver
