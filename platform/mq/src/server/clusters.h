// Clusters: the members of a cluster as each queue manager of this server
// sees them, and the cluster queues they publish.
#ifndef MQSIM_SERVER_CLUSTERS_H_
#define MQSIM_SERVER_CLUSTERS_H_

#include <set>
#include <string>
#include <vector>

#include "pcf_commands.h"

namespace mqsim::server {

void ClusterCommand(QueueManager& qm, const PcfCommand& cmd, PcfReplies* out);
// One reply per cluster queue of the other members matching the pattern.
void AddClusterQueues(QueueManager& qm, const std::string& pattern, const std::set<MQLONG>* only,
                      PcfReplies* out);
std::vector<std::string> ClusterQueueNames(QueueManager& qm, const std::string& pattern);
// The cluster receiver by which `member` joins a cluster that qm belongs to
// and sees it in: the channel a cluster sender from qm to it takes. Null
// when qm shares no cluster with it.
const ObjectDef* ClusterReceiverOf(QueueManager& qm, QueueManager& member);
// Another member of one of qm's clusters, as qm sees them.
bool IsClusterMember(QueueManager& qm, const std::string& member);
// The member other than qm that hosts cluster queue `queue` in one of qm's
// clusters (the first in name order); empty when none.
std::string ClusterHostOf(QueueManager& qm, const std::string& queue);

}  // namespace mqsim::server

#endif  // MQSIM_SERVER_CLUSTERS_H_
