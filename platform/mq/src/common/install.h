// The stand-in MQ installation on disk: where it lies, the queue managers
// that mqs.ini lists, each one's data directory and listener port.
//
// Layout (docs/formats/mqsim-data.md):
//   <root>/mqs.ini                       installation and queue-manager list
//   <root>/mqsim.sock                    control socket of the running server
//   <prefix>/qmgrs/<dir>/qm.ini          Log and TCP stanzas
//   <prefix>/qmgrs/<dir>/errors/AMQERR01.LOG
//   <prefix>/qmgrs/<dir>/checkpoint, journal, authority.deny
// <dir> is the queue-manager name with each '.' written as '!'.
// The root is $HARROWLINE_MQM, else /var/mqm.
#ifndef MQSIM_COMMON_INSTALL_H_
#define MQSIM_COMMON_INSTALL_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ini.h"

namespace mqsim {

struct QmgrEntry {
  std::string name;
  std::string prefix;
  std::string directory;
  std::string DataDir() const { return prefix + "/qmgrs/" + directory; }
};

std::string InstallRoot();
std::string MqsIniPath(const std::string& root);
std::string ControlSocketPath(const std::string& root);

// '.' becomes '!', as MQ writes names into directory and key names.
std::string DirectoryName(std::string_view qmgr_name);
// 1 to 48 characters of A-Z a-z 0-9 . _ %.
bool ValidQmgrName(std::string_view name);
// 1 to 48 characters of A-Z a-z 0-9 . _ % /.
bool ValidObjectName(std::string_view name);

// Reads mqs.ini; an absent file is an empty installation.
IniFile ReadMqsIni(const std::string& root);
std::vector<QmgrEntry> ListQmgrs(const IniFile& mqs);
std::optional<QmgrEntry> FindQmgr(const IniFile& mqs, std::string_view name);
// Name of the DefaultQueueManager stanza, or "".
std::string DefaultQmgr(const IniFile& mqs);

// Port= of the TCP stanza of <data_dir>/qm.ini; -1 when absent or bad.
int ReadListenerPort(const std::string& data_dir);

// File helpers: whole-file read; durable replace (os::ReplaceFileDurably),
// the file for the owner only; directories made with mode 0700. All return
// false with errno set on failure.
bool ReadFile(const std::string& path, std::string* out);
bool WriteFileAtomic(const std::string& path, std::string_view content);
bool MakeDirs(const std::string& path);

}  // namespace mqsim

#endif  // MQSIM_COMMON_INSTALL_H_
