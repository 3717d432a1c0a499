// info_file.cpp: the group's info file: group settings and node definitions
// prepared for a group, imported once at its start and then archived.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include <os/paths.h>
#include <pcfcore/ini.h>

#include "group_start.h"
#include "report.h"

namespace grpserver {
namespace {

constexpr const char* kSeparators = "\n=";
constexpr const char* kTerminators = " \n\t";

// Copies at most width characters of value into field.
void SetFirst(GroupDbRecord* record, int field, const char* value, size_t width) {
  std::string cut(value, strnlen(value, width));
  DbSetField(record, field, cut.c_str());
}

int PlatformCode(const char* name) {
  static const char* const kNames[] = {"UNKNOWN", "VMS", "OS400", "UNIX", "AIX", "OS2", "MVS", "WINDOWS", "TANDEM"};
  for (int i = 0; i < 9; ++i) {
    if (std::strcmp(name, kNames[i]) == 0) return i;
  }
  return 0;
}

}  // namespace

void ImportGroupSettings(const char* ini_name, const char* group) {
  GroupDbRecord r{};
  r.Table = DBT_MANAGERS;
  DbClearRecord(&r);
  char padded[33];
  PadCopy(padded, kGroupNameWidth, group);
  DbSetField(&r, DBF_MANAGER_NAME, padded);
  int out = 0;
  if (DbReadRecord(&r, GDB_READ_KEY, &out) != 1) return;
  IniFile ini;
  if (tlxOpenIniFile(ini_name, kSeparators, kTerminators, &ini) != 1) return;
  struct Key {
    const char* suffix;
    int field;
    size_t width;
  };
  static const Key kKeys[] = {{"DiscoveryTime", DBF_MANAGER_DISCOVERY_PERIOD, 4},
                              {"BroadcastIPNetwork", DBF_MANAGER_IP_NETWORK, 15},
                              {"BroadcastIPPortNo", DBF_MANAGER_IP_PORT_NO, 9},
                              {"TraceMode", DBF_MANAGER_TRACE_MODE, 1}};
  for (const Key& k : kKeys) {
    std::string key = WithoutBlanks(group) + "::" + k.suffix;
    char value[TLX_MAX_VALUE + 1];
    if (tlxGetValue(&ini, key.c_str(), value, 1) == 1) SetFirst(&r, k.field, value, k.width);
  }
  DbWriteRecord(&r, GDB_WRITE_UPDATE, &out);
  tlxCloseIniFile(&ini);
}

void ImportNodeDefinitions(const char* ini_name, const char* group) {
  IniFile ini;
  if (tlxOpenIniFile(ini_name, kSeparators, kTerminators, &ini) != 1) return;
  char padded[33];
  PadCopy(padded, kGroupNameWidth, group);
  char value[TLX_MAX_VALUE + 1];
  int from = 1;
  while (tlxGetValue(&ini, "NodeName", value, from) == 1) {
    from = 0;  // every later lookup continues after the previous hit
    GroupDbRecord r{};
    r.Table = DBT_MQNODES;
    DbClearRecord(&r);
    DbSetField(&r, DBF_MANAGER_NAME, padded);
    char node[49];
    PadCopy(node, kNodeNameWidth, value);
    DbSetField(&r, DBF_MQNODE_NAME, node);
    int out = 0;
    GroupDbRecord found = r;
    const bool exists = DbReadRecord(&found, GDB_READ_KEY, &out) == 1;
    if (exists) r = found;
    if (tlxGetValue(&ini, "UseDNS", value, 0) == 1) SetFirst(&r, DBF_MQNODE_USE_DNS, value, 1);
    char use_dns[2] = {};
    DbGetField(&r, DBF_MQNODE_USE_DNS, use_dns, sizeof use_dns);
    if (std::strcmp(use_dns, "1") == 0) {
      if (tlxGetValue(&ini, "HostName", value, 0) == 1) SetFirst(&r, DBF_MQNODE_HOST_NAME, value, 256);
    } else if (tlxGetValue(&ini, "IPAddress", value, 0) == 1) {
      SetFirst(&r, DBF_MQNODE_NET_ADDRESS, value, 15);
    }
    if (tlxGetValue(&ini, "IPPort", value, 0) == 1) SetFirst(&r, DBF_MQNODE_PORT_NO, value, 9);
    if (tlxGetValue(&ini, "Platform", value, 0) == 1) {
      std::string code = std::to_string(PlatformCode(value)).substr(0, 2);
      DbSetField(&r, DBF_MQNODE_PLATFORM, code.c_str());
    }
    struct Key {
      const char* name;
      int field;
      size_t width;
    };
    static const Key kKeys[] = {{"Discovery", DBF_MQNODE_DISCOVERY_PERIOD, 4},
                                {"CmdLimit", DBF_MQNODE_CMD_LIMIT, 12},
                                {"Timeout", DBF_MQNODE_CMD_TIMEOUT, 12},
                                {"HBInterval", DBF_MQNODE_HEART_BEAT, 12},
                                {"Update", DBF_MQNODE_UPDATE_INTERVAL, 12}};
    for (const Key& k : kKeys) {
      if (tlxGetValue(&ini, k.name, value, 0) == 1) SetFirst(&r, k.field, value, k.width);
    }
    if (DbWriteRecord(&r, exists ? GDB_WRITE_UPDATE : GDB_WRITE_ADD, &out) != 1) {
      ReportError(Format("Node(%s) of the info file not stored RC(%d).\n", WithoutBlanks(node).c_str(), out),
                  kWarning, 0);
    }
  }
  tlxCloseIniFile(&ini);
}

void ImportInfoFile(const char* group) {
  const std::string install = Server().install_dir;
  const std::string name = std::string(group) + ".info";
  const std::string path = os::JoinPath(os::JoinPath(os::JoinPath(install, "config"), "groups"), name);
  if (access(path.c_str(), R_OK) != 0) return;
  ImportGroupSettings(name.c_str(), group);
  ImportNodeDefinitions(name.c_str(), group);
  std::time_t now = std::time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  const std::string history =
      os::JoinPath(os::JoinPath(os::JoinPath(os::JoinPath(install, "groups"), group), "history"),
                   std::string(group) + "." + std::to_string(local.tm_yday));
  if (std::rename(path.c_str(), history.c_str()) != 0) {
    // Left in place it would be imported again at every start.
    ReportError(Format("The info file %s could not be moved to %s: %s\n", path.c_str(), history.c_str(),
                       std::strerror(errno)),
                kWarning, 0);
  }
}

}  // namespace grpserver
