#include "client_connections.h"

#include <os/registry.h>

#include <cstring>

#include "fields.h"
#include "qmlink/mq_manager.h"

namespace qmlink {
namespace {

// A string value of an open key, cut to max_chars; false when absent, of
// another type or unreadable.
bool ReadString(HKEY key, const char* name, size_t max_chars, std::string* out) {
  uint32_t size = 0;
  uint32_t type = 0;
  if (osRegQueryValue(key, name, &type, nullptr, &size) != OS_REG_SUCCESS || type != REG_SZ || size == 0)
    return false;
  std::string text(size, '\0');
  if (osRegQueryString(key, name, text.data(), &size) != OS_REG_SUCCESS) return false;
  text.resize(strnlen(text.c_str(), text.size()));
  if (text.size() > max_chars) text.resize(max_chars);
  *out = text;
  return true;
}

bool OpenDefinitionKey(const std::string& qmgr_key_name, HKEY* key) {
  // A name holding the key separator would reach some other key.
  if (qmgr_key_name.empty() || qmgr_key_name.find('\\') != std::string::npos) return false;
  std::string path = std::string(kQueueManagersKey) + "\\" + qmgr_key_name;
  return osRegOpenKey(HKEY_LOCAL_MACHINE, path.c_str(), key) == OS_REG_SUCCESS;
}

}  // namespace

ClientDefinition ReadClientDefinition(std::string_view qmgr_name) {
  ClientDefinition d{QMLINK_DEFAULT_CHANNEL, QMLINK_DEFAULT_CONNECTION};
  std::string given = WithoutBlanks(qmgr_name);
  std::string bang = given;
  for (char& c : bang)
    if (c == '.') c = '!';
  HKEY key = nullptr;
  if (!OpenDefinitionKey(bang, &key) && !(bang != given && OpenDefinitionKey(given, &key))) return d;
  std::string text;
  if (ReadString(key, "Channel Name", MQ_CHANNEL_NAME_LENGTH, &text) && !text.empty()) d.channel = text;
  if (ReadString(key, "Connection Name", MQ_CONN_NAME_LENGTH, &text) && !text.empty()) d.connection = text;
  osRegCloseKey(key);
  return d;
}

MQCD MakeChannelDefinition(const ClientDefinition& definition) {
  MQCD cd{};
  // Character fields are blank when empty, as MQ's defaults have them.
  SetBlankField(cd.ChannelName, sizeof cd.ChannelName, definition.channel.c_str());
  SetBlankField(cd.Desc, sizeof cd.Desc, "");
  SetBlankField(cd.QMgrName, sizeof cd.QMgrName, "");
  SetBlankField(cd.XmitQName, sizeof cd.XmitQName, "");
  SetBlankField(cd.ShortConnectionName, sizeof cd.ShortConnectionName, "");
  SetBlankField(cd.MCAName, sizeof cd.MCAName, "");
  SetBlankField(cd.ModeName, sizeof cd.ModeName, "");
  SetBlankField(cd.TpName, sizeof cd.TpName, "");
  SetBlankField(cd.SecurityExit, sizeof cd.SecurityExit, "");
  SetBlankField(cd.MsgExit, sizeof cd.MsgExit, "");
  SetBlankField(cd.SendExit, sizeof cd.SendExit, "");
  SetBlankField(cd.ReceiveExit, sizeof cd.ReceiveExit, "");
  SetBlankField(cd.SecurityUserData, sizeof cd.SecurityUserData, "");
  SetBlankField(cd.MsgUserData, sizeof cd.MsgUserData, "");
  SetBlankField(cd.SendUserData, sizeof cd.SendUserData, "");
  SetBlankField(cd.ReceiveUserData, sizeof cd.ReceiveUserData, "");
  SetBlankField(cd.UserIdentifier, sizeof cd.UserIdentifier, "");
  SetBlankField(cd.Password, sizeof cd.Password, "");
  SetBlankField(cd.MCAUserIdentifier, sizeof cd.MCAUserIdentifier, "");
  SetBlankField(cd.ConnectionName, sizeof cd.ConnectionName, definition.connection.c_str());
  SetBlankField(cd.RemoteUserIdentifier, sizeof cd.RemoteUserIdentifier, "");
  SetBlankField(cd.RemotePassword, sizeof cd.RemotePassword, "");
  SetBlankField(cd.MsgRetryExit, sizeof cd.MsgRetryExit, "");
  SetBlankField(cd.MsgRetryUserData, sizeof cd.MsgRetryUserData, "");
  cd.Version = MQCD_VERSION_6;
  cd.ChannelType = MQCHT_CLNTCONN;
  cd.TransportType = MQXPT_TCP;
  cd.BatchSize = 50;
  cd.DiscInterval = 6000;
  cd.ShortRetryCount = 10;
  cd.ShortRetryInterval = 60;
  cd.LongRetryCount = 999999999;
  cd.LongRetryInterval = 1200;
  cd.SeqNumberWrap = 999999999;
  cd.MaxMsgLength = 4194304;
  cd.PutAuthority = 1;
  cd.DataConversion = 0;
  cd.MCAType = 1;
  cd.MsgRetryCount = 10;
  cd.MsgRetryInterval = 1000;
  cd.HeartbeatInterval = 1;
  cd.NonPersistentMsgSpeed = 2;
  cd.StrucLength = static_cast<MQLONG>(sizeof(MQCD));
  cd.ExitNameLength = MQ_EXIT_NAME_LENGTH;
  cd.ExitDataLength = MQ_EXIT_DATA_LENGTH;
  return cd;
}

std::vector<std::string> ListClientDefinitionKeys() {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (osRegOpenKey(HKEY_LOCAL_MACHINE, kQueueManagersKey, &key) != OS_REG_SUCCESS) return names;
  char name[OS_REG_MAX_NAME + 1];
  for (uint32_t index = 0;; ++index) {
    uint32_t size = sizeof name;
    long rc = osRegEnumKey(key, index, name, &size);
    // Names are at most OS_REG_MAX_NAME bytes, so anything but success is
    // the end or a hive that cannot be read.
    if (rc != OS_REG_SUCCESS) break;
    std::string text(name, size);
    if (text.size() > MQ_Q_MGR_NAME_LENGTH) text.resize(MQ_Q_MGR_NAME_LENGTH);
    names.push_back(text);
  }
  osRegCloseKey(key);
  return names;
}

}  // namespace qmlink
