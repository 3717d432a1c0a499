// group_create.cpp: the grpcreate command.
#include "group_create.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <groupdb/groupdb.h>
#include <netcore/socket.h>
#include <os/names.h>
#include <os/paths.h>

#include "server_state.h"

namespace grpserver {
namespace {

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 32) return false;
  for (char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '_' || c == '%' || c == '-';
    if (!ok) return false;
  }
  return name != "." && name != "..";
}

bool ParseInt(const std::string& text, long long low, long long high, long long* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}

bool MakeDir(const std::string& path, std::string* error) {
  if (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  }
  *error = "cannot make directory " + path + ": " + std::strerror(errno);
  return false;
}

}  // namespace

std::string GroupCreateUsage(const char* program) {
  std::string p = program;
  return "Usage: " + p +
         " <GroupName> [--port=N] [--max-clients=N] [--max-nodes=N] [--max-qmgrs-per-node=N]\n"
         "       [--discovery-minutes=N] [--broadcast-network=A.B.C.D] [--broadcast-port=N]\n"
         "       [--event-depth=N] [--trace-mode=0|1] [--description=TEXT]\n"
         "Makes the group <GroupName> (1 to 32 of A-Z a-z 0-9 . _ % -, not starting with -) in the\n"
         "install directory "
         "($HRLCOMPACT): its database, its first backup and its group-manager record.\n"
         "Start its server with: grpserver -console -m<GroupName>\n";
}

bool ParseGroupSpec(const std::vector<std::string>& args, GroupSpec* spec, std::string* error) {
  *spec = GroupSpec{};
  bool have_name = false;
  for (const std::string& a : args) {
    if (a.rfind("--", 0) != 0) {
      // A mistyped option ("-p", "-v") is not a group name, though a name
      // may hold '-' further on.
      if (a[0] == '-') {
        *error = "unknown option " + a;
        return false;
      }
      if (have_name) {
        *error = "more than one group name: " + a;
        return false;
      }
      spec->name = a;
      have_name = true;
      continue;
    }
    const size_t eq = a.find('=');
    const std::string key = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
    const std::string value = eq == std::string::npos ? std::string() : a.substr(eq + 1);
    long long v = 0;
    struct IntOption {
      const char* key;
      long long low, high;
    };
    auto number = [&](long long low, long long high) {
      if (ParseInt(value, low, high, &v)) return true;
      *error = "--" + key + " needs a number from " + std::to_string(low) + " to " + std::to_string(high);
      return false;
    };
    if (key == "port") {
      if (!number(1, 65535)) return false;
      spec->port = static_cast<int>(v);
    } else if (key == "max-clients") {
      if (!number(1, kCeilingMaxClients)) return false;
      spec->max_clients = static_cast<int>(v);
    } else if (key == "max-nodes") {
      if (!number(1, kCeilingMaxNodes)) return false;
      spec->max_nodes = static_cast<int>(v);
    } else if (key == "max-qmgrs-per-node") {
      if (!number(1, kCeilingQMgrsPerNode)) return false;
      spec->max_qmgrs_per_node = static_cast<int>(v);
    } else if (key == "discovery-minutes") {
      if (!number(0, 9999)) return false;
      spec->discovery_minutes = static_cast<int>(v);
    } else if (key == "broadcast-network") {
      if (!IsValidIp(value.c_str()) && value != "255.255.255.255") {
        *error = "--broadcast-network needs a dotted IPv4 address";
        return false;
      }
      spec->broadcast_network = value;
    } else if (key == "broadcast-port") {
      if (!number(1, 65535)) return false;
      spec->broadcast_port = static_cast<int>(v);
    } else if (key == "event-depth") {
      if (!number(1, 999999999999LL)) return false;
      spec->event_depth = v;
    } else if (key == "trace-mode") {
      if (!number(0, 1)) return false;
      spec->trace_mode = static_cast<int>(v);
    } else if (key == "description") {
      if (value.size() > 64) {
        *error = "--description takes at most 64 characters";
        return false;
      }
      spec->description = value;
    } else {
      *error = "unknown option " + a;
      return false;
    }
  }
  if (!have_name) {
    *error = "no group name";
    return false;
  }
  if (!ValidName(spec->name)) {
    *error = "bad group name \"" + spec->name + "\": 1 to 32 of A-Z a-z 0-9 . _ % -";
    return false;
  }
  return true;
}

bool CreateGroup(const GroupSpec& spec, const std::string& install_dir, std::string* error) {
  if (!ValidName(spec.name)) {
    *error = "bad group name \"" + spec.name + "\"";
    return false;
  }
  const std::string groups = os::JoinPath(install_dir, "groups");
  if (!MakeDir(install_dir, error) || !MakeDir(groups, error) ||
      !MakeDir(os::JoinPath(groups, spec.name), error)) {
    return false;
  }
  DbSetInstallDir(install_dir.c_str());
  int out = 0;
  if (DbOpen(spec.name.c_str(), &out) != 1) {
    *error = out == GDB_RC_IN_USE ? "group \"" + spec.name + "\" is in use by a running server"
                                  : "cannot open the database of group \"" + spec.name + "\", RC(" +
                                        std::to_string(out) + ")";
    return false;
  }
  char padded[33];
  PadCopy(padded, kGroupNameWidth, spec.name.c_str());
  GroupDbRecord r{};
  r.Table = DBT_MANAGERS;
  DbClearRecord(&r);
  DbSetField(&r, DBF_MANAGER_NAME, padded);
  GroupDbRecord probe = r;
  if (DbReadRecord(&probe, GDB_READ_KEY, &out) == 1) {
    DbCloseLocked();
    *error = "group \"" + spec.name + "\" already exists";
    return false;
  }
  char host[256] = "localhost";
  osGetHostName(host, sizeof host);
  std::string node = WithoutBlanks(host).substr(0, 48);
  DbSetField(&r, DBF_MANAGER_NODE_NAME, node.empty() ? "localhost" : node.c_str());
  DbSetFieldNumber(&r, DBF_MANAGER_PORT_NO, spec.port);
  DbSetFieldNumber(&r, DBF_MANAGER_PROCESS_ID, 0);
  DbSetField(&r, DBF_MANAGER_VERSION, kVersionText);
  DbSetFieldNumber(&r, DBF_MANAGER_TRACE_MODE, spec.trace_mode);
  DbSetFieldNumber(&r, DBF_MANAGER_DISCOVERY_PERIOD, spec.discovery_minutes);
  DbSetField(&r, DBF_MANAGER_IP_NETWORK, spec.broadcast_network.c_str());
  DbSetFieldNumber(&r, DBF_MANAGER_IP_PORT_NO, spec.broadcast_port);
  DbSetFieldNumber(&r, DBF_MANAGER_START_TIME, 0);
  DbSetFieldNumber(&r, DBF_MANAGER_STATE, 0);
  DbSetFieldNumber(&r, DBF_MANAGER_LAST_ACTION, 0);
  DbSetFieldNumber(&r, DBF_MANAGER_EVENT_COUNTER, 0);
  DbSetFieldNumber(&r, DBF_MANAGER_FIRST_EVENT_TIME, 0);
  DbSetFieldNumber(&r, DBF_MANAGER_EVENT_DEPTH, spec.event_depth);
  DbSetFieldNumber(&r, DBF_MANAGER_MAX_CLIENTS, spec.max_clients);
  DbSetFieldNumber(&r, DBF_MANAGER_MAX_MQNODES, spec.max_nodes);
  DbSetFieldNumber(&r, DBF_MANAGER_MAX_Q_MGRS_NODE, spec.max_qmgrs_per_node);
  for (int field : {DBF_MANAGER_Q_MGR_MASK, DBF_MANAGER_ALIAS_Q_MASK, DBF_MANAGER_LOCAL_Q_MASK,
                    DBF_MANAGER_MODEL_Q_MASK, DBF_MANAGER_REMOTE_Q_MASK, DBF_MANAGER_PROCESS_MASK,
                    DBF_MANAGER_CHANNEL_MASK}) {
    DbSetField(&r, field, "*");
  }
  DbSetFieldTime(&r, DBF_MANAGER_LAST_UPDATED, std::time(nullptr));
  DbSetField(&r, DBF_MANAGER_DESCRIPTION, spec.description.c_str());
  if (DbWriteRecord(&r, GDB_WRITE_ADD, &out) != 1) {
    DbCloseLocked();
    *error = "cannot store the record of group \"" + spec.name + "\", RC(" + std::to_string(out) + ")";
    return false;
  }
  if (DbCloseLocked() != 1) {
    *error = "the database of group \"" + spec.name + "\" did not reach the disk";
    return false;
  }
  if (DbBackup(spec.name.c_str(), &out) != 1) {
    *error = "group \"" + spec.name + "\" made, but its first backup failed, RC(" + std::to_string(out) + ")";
    return false;
  }
  return true;
}

}  // namespace grpserver
