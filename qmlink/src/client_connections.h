// The machine-wide client-connection definitions of the suite: one
// registry key per queue manager under HKEY_LOCAL_MACHINE
// "Software\Brackwin\Harrowline Compact\Queue Managers", with the values
// "Channel Name" and "Connection Name" (docs/formats/client-connections.md).
#ifndef QMLINK_SRC_CLIENT_CONNECTIONS_H_
#define QMLINK_SRC_CLIENT_CONNECTIONS_H_

#include <mqi/mqi.h>

#include <string>
#include <string_view>
#include <vector>

namespace qmlink {

inline constexpr const char* kQueueManagersKey = "Software\\Brackwin\\Harrowline Compact\\Queue Managers";

struct ClientDefinition {
  std::string channel;     // at most 20 characters
  std::string connection;  // at most 264 characters, "host(port)" or "host"
};

// The definition of the queue manager name: its key is the name with each
// "." written as "!" (as MQ writes names into keys), else the name as
// given. A missing key or value gives "SYSTEM.DEF.SVRCONN" and "127.0.0.1"
// for that part.
ClientDefinition ReadClientDefinition(std::string_view qmgr_name);

// A client channel definition with the client-connection defaults and the
// channel and connection name of definition.
MQCD MakeChannelDefinition(const ClientDefinition& definition);

// The names of the sub-keys of the queue-manager key, in the registry's
// enumeration order, each cut to 48 characters. Empty when there is no key.
std::vector<std::string> ListClientDefinitionKeys();

}  // namespace qmlink

#endif  // QMLINK_SRC_CLIENT_CONNECTIONS_H_
