// group_create.h: making a new group: its directory under the install
// directory, the empty database with its first backup, and the group's
// record (MANAGERS) that the group manager loads at start.
#ifndef GRPSERVER_GROUP_CREATE_H_
#define GRPSERVER_GROUP_CREATE_H_

#include <string>
#include <vector>

namespace grpserver {

struct GroupSpec {
  std::string name;                 // 1 to 32 of A-Z a-z 0-9 . _ % -
  int port = 4005;                  // the consoles' and agents' TCP/UDP port
  int max_clients = 50;             // consoles at once (1..999)
  int max_nodes = 255;              // managed nodes (1..300)
  int max_qmgrs_per_node = 10;      // queue managers per node (1..64)
  int discovery_minutes = 0;        // 0: no discovery broadcast or refresh
  std::string broadcast_network;    // where the discovery broadcast goes
  int broadcast_port = 5000;        // the agents' port
  long long event_depth = 1000;     // stored events per kind
  int trace_mode = 0;               // 1: the consoles hear of connections
  std::string description;
};

// Parses the command line of grpcreate (without the program name). false
// with the reason in *error for a bad or missing argument.
bool ParseGroupSpec(const std::vector<std::string>& args, GroupSpec* spec, std::string* error);

// Creates the group in install_dir. false with the reason in *error: a bad
// name, a group that already has its record, a database in use, or a
// failed file operation (nothing of an existing group is changed).
bool CreateGroup(const GroupSpec& spec, const std::string& install_dir, std::string* error);

// The usage text of grpcreate.
std::string GroupCreateUsage(const char* program);

}  // namespace grpserver

#endif  // GRPSERVER_GROUP_CREATE_H_
