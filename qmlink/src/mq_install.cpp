// Lookups in the local MQ installation: its directory, which source
// describes it (IBM's registry keys for MQ 5.1 and later, else mqs.ini and
// qm.ini), the log settings of a queue manager or of the installation, the
// errors directory and the error-log files in it.
//
// Divisions:
//   1. installation directory and source
//   2. log settings
//   3. errors directory
//   4. error-log names
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <os/paths.h>
#include <os/registry.h>

#include "fields.h"
#include "qmlink/mq_platform.h"
#include "stanza_file.h"

namespace qmlink {
namespace {

constexpr const char* kIbmKey = "SOFTWARE\\IBM\\MQSeries\\CurrentVersion";
constexpr size_t kMaxRegistryPath = 256;
constexpr size_t kMaxRegistryNumber = 12;

// ---- 1. installation directory and source ------------------------------------

// A value of key (a path below HKEY_LOCAL_MACHINE) as text: a string cut to
// max_chars, or a number written in decimal.
std::optional<std::string> RegistryText(const std::string& key, const char* value, size_t max_chars) {
  HKEY k = nullptr;
  if (osRegOpenKey(HKEY_LOCAL_MACHINE, key.c_str(), &k) != OS_REG_SUCCESS) return std::nullopt;
  std::optional<std::string> out;
  uint32_t type = 0, size = 0;
  if (osRegQueryValue(k, value, &type, nullptr, &size) == OS_REG_SUCCESS) {
    if (type == REG_DWORD) {
      uint32_t number = 0;
      if (osRegQueryInt(k, value, &number) == OS_REG_SUCCESS) out = std::to_string(number);
    } else if (type == REG_SZ && size > 0) {
      std::string text(size, '\0');
      if (osRegQueryString(k, value, text.data(), &size) == OS_REG_SUCCESS) {
        text.resize(strnlen(text.c_str(), text.size()));
        if (text.size() > max_chars) text.resize(max_chars);
        out = text;
      }
    }
  }
  osRegCloseKey(k);
  return out;
}

// Leading blanks, a sign and digits, as atoi reads them, held to 32 bits.
MQLONG ParseNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  return static_cast<MQLONG>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

std::string InstallDirectory() {
  const char* env = std::getenv("HARROWLINE_MQM");
  if (env != nullptr && env[0] != '\0') return env;
  if (auto path = RegistryText(kIbmKey, "FilePath", PATH_MAX)) return *path;
  return OS_DEFAULT_MQM_DIR;
}

// MQ 5.1 and later describe themselves in the registry.
bool UseRegistry() {
  auto version = RegistryText(kIbmKey, "MQServerVersion", kMaxRegistryNumber);
  auto release = RegistryText(kIbmKey, "MQServerRelease", kMaxRegistryNumber);
  return version && release && ParseNumber(*version) >= 5 && ParseNumber(*release) > 0;
}

// The name as MQ writes it into keys and directories: blanks removed, each
// "." as "!".
std::string KeyName(const char* name) {
  std::string key = WithoutBlanks(name);
  std::replace(key.begin(), key.end(), '.', '!');
  return key;
}

std::optional<std::vector<Stanza>> ReadMqsIni() {
  auto text = ReadTextFile(os::JoinPath(InstallDirectory(), "mqs.ini"));
  if (!text) return std::nullopt;
  return ParseStanzas(*text);
}

const Stanza* FindStanza(const std::vector<Stanza>& stanzas, std::string_view name) {
  for (const Stanza& s : stanzas)
    if (EqualsNoCase(s.name, name)) return &s;
  return nullptr;
}

struct QmgrPlace {
  std::string prefix;
  std::string directory;
};

// Where the queue manager's files are, from mqs.ini; when mqs.ini cannot be
// read, the name's directory under IBM's WorkPath or the default prefix.
std::optional<QmgrPlace> FindQmgr(const char* name) {
  std::string wanted = WithoutBlanks(name);
  auto mqs = ReadMqsIni();
  if (!mqs) {
    std::string prefix = RegistryText(kIbmKey, "WorkPath", PATH_MAX).value_or(OS_DEFAULT_MQM_DIR);
    return QmgrPlace{prefix, KeyName(name)};
  }
  for (const Stanza& s : *mqs) {
    if (!EqualsNoCase(s.name, "QueueManager")) continue;
    auto n = s.Get("Name");
    if (!n || WithoutBlanks(*n) != wanted) continue;
    auto prefix = s.Get("Prefix");
    auto directory = s.Get("Directory");
    if (!prefix || !directory || directory->empty()) return std::nullopt;
    return QmgrPlace{*prefix, *directory};
  }
  return std::nullopt;
}

std::string QmgrDirectory(const QmgrPlace& place) {
  return os::JoinPath(os::JoinPath(place.prefix, "qmgrs"), place.directory);
}

// ---- 2. log settings ---------------------------------------------------------

// Stores one log setting; false for a path that does not fit (a cut path
// would name some other directory).
bool SetLogValue(MqLogInfo* info, std::string_view key, const std::string& value, const char* path_key) {
  if (EqualsNoCase(key, path_key)) {
    if (value.size() >= sizeof info->LogPath) return false;
    CopyCut(info->LogPath, sizeof info->LogPath, value);
  } else if (EqualsNoCase(key, "LogType")) {
    info->LogType = EqualsNoCase(value, "CIRCULAR") ? MQLOG_TYPE_CIRCULAR : MQLOG_TYPE_LINEAR;
  } else if (EqualsNoCase(key, "LogPrimaryFiles")) {
    info->LogPrimaryFiles = ParseNumber(value);
  } else if (EqualsNoCase(key, "LogSecondaryFiles")) {
    info->LogSecondaryFiles = ParseNumber(value);
  } else if (EqualsNoCase(key, "LogFilePages")) {
    info->LogFilePages = ParseNumber(value);
  } else if (EqualsNoCase(key, "LogBufferPages")) {
    info->LogBufferPages = ParseNumber(value);
  }
  return true;
}

bool LogInfoFromRegistry(const char* name, MqLogInfo* info) {
  std::string key = std::string(kIbmKey) + "\\Configuration\\";
  const char* path_key = name != nullptr ? "LogPath" : "LogDefaultPath";
  key += name != nullptr ? "QueueManager\\" + KeyName(name) + "\\Log" : std::string("LogDefaults");
  auto path = RegistryText(key, path_key, kMaxRegistryPath);
  if (!path || !SetLogValue(info, path_key, *path, path_key)) return false;
  for (const char* value : {"LogType", "LogPrimaryFiles", "LogSecondaryFiles", "LogFilePages", "LogBufferPages"})
    if (auto text = RegistryText(key, value, kMaxRegistryNumber)) SetLogValue(info, value, *text, path_key);
  return true;
}

bool LogInfoFromIniFiles(const char* name, MqLogInfo* info) {
  std::optional<std::vector<Stanza>> stanzas;
  const char* stanza_name = nullptr;
  const char* path_key = nullptr;
  if (name != nullptr) {
    auto place = FindQmgr(name);
    if (!place) return false;
    auto text = ReadTextFile(os::JoinPath(QmgrDirectory(*place), "qm.ini"));
    if (!text) return false;
    stanzas = ParseStanzas(*text);
    stanza_name = "Log";
    path_key = "LogPath";
  } else {
    stanzas = ReadMqsIni();
    if (!stanzas) return false;
    stanza_name = "LogDefaults";
    path_key = "LogDefaultPath";
  }
  const Stanza* log = FindStanza(*stanzas, stanza_name);
  if (log == nullptr) return false;
  bool found_path = false;
  // Later lines win, a path that does not fit included.
  for (const auto& [key, value] : log->entries) {
    bool stored = SetLogValue(info, key, value, path_key);
    if (EqualsNoCase(key, path_key)) found_path = stored;
  }
  return found_path;
}

// ---- 3. errors directory -------------------------------------------------------

std::optional<std::string> ErrorDirFromRegistry(int scope, const char* name) {
  std::string base = std::string(kIbmKey) + "\\Configuration\\";
  if (scope == MQERRLOG_SCOPE_QMGR) {
    std::string key = base + "QueueManager\\" + KeyName(name);
    auto prefix = RegistryText(key, "Prefix", PATH_MAX);
    auto directory = RegistryText(key, "Directory", PATH_MAX);
    if (!prefix || !directory || directory->empty()) return std::nullopt;
    return QmgrDirectory({*prefix, *directory});
  }
  return RegistryText(base + "AllQueueManagers", "DefaultPrefix", PATH_MAX);
}

std::optional<std::string> ErrorDirFromIniFiles(int scope, const char* name) {
  if (scope == MQERRLOG_SCOPE_QMGR) {
    auto place = FindQmgr(name);
    if (!place) return std::nullopt;
    return QmgrDirectory(*place);
  }
  auto mqs = ReadMqsIni();
  if (!mqs) return std::nullopt;
  const Stanza* all = FindStanza(*mqs, "AllQueueManagers");
  if (all == nullptr) return std::nullopt;
  return all->Get("DefaultPrefix");
}

// ---- 4. error-log names ----------------------------------------------------------

// "AMQ*.*": a name that starts with AMQ (any case) and has a "." after it.
bool IsErrorLogName(const std::string& name) {
  return name.size() > 3 && EqualsNoCase(std::string_view(name).substr(0, 3), "AMQ") &&
         name.find('.', 3) != std::string::npos;
}

}  // namespace
}  // namespace qmlink

using namespace qmlink;

extern "C" int GetMQLogInfo(const char* name, MqLogInfo* info) {
  if (info == nullptr) return 0;
  return (UseRegistry() ? LogInfoFromRegistry(name, info) : LogInfoFromIniFiles(name, info)) ? 1 : 0;
}

extern "C" int GetErrorLogPathN(int scope, const char* name, char* path, size_t size) {
  if (path == nullptr || size == 0) return 0;
  if (scope == MQERRLOG_SCOPE_QMGR && (name == nullptr || WithoutBlanks(name).empty())) return 0;
  auto directory = UseRegistry() ? ErrorDirFromRegistry(scope, name) : ErrorDirFromIniFiles(scope, name);
  if (!directory) return 0;
  std::string full = os::JoinPath(*directory, "errors");
  if (full.size() >= size) return 0;
  CopyCut(path, size, full);
  return 1;
}

extern "C" int GetErrorLogPath(int scope, const char* name, char* path) {
  return GetErrorLogPathN(scope, name, path, MQLOG_PATH_LENGTH);
}

extern "C" int GetErrorLogNames(const char* directory, char* text, MQLONG* length) {
  if (directory == nullptr || text == nullptr || length == nullptr || *length <= 0) return 0;
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(directory)) {
    while (const dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (!IsErrorLogName(name)) continue;
      struct stat st{};
      if (::stat(os::JoinPath(directory, name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  // Every name goes in with its ";" only when the NUL still fits after it.
  size_t room = static_cast<size_t>(*length);
  std::string out;
  for (const std::string& name : names) {
    if (out.size() + name.size() + 1 + 1 > room) break;
    out += name;
    out += ';';
  }
  CopyCut(text, room, out);
  *length = static_cast<MQLONG>(out.size());
  return out.empty() ? 0 : 1;
}
