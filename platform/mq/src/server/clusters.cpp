#include "clusters.h"

namespace mqsim::server {

void ClusterCommand(QueueManager& qm, const PcfCommand& cmd, PcfReplies* out) {
  (void)qm;
  switch (cmd.command) {
    case MQCMD_INQUIRE_CLUSTER_Q_MGR:
      out->Fail(MQRC_UNKNOWN_OBJECT_NAME);
      return;
    default:
      out->Fail(MQRCCF_CFH_COMMAND_ERROR);
  }
}

void AddClusterQueues(QueueManager&, const std::string&, const std::set<MQLONG>*, PcfReplies*) {}
std::vector<std::string> ClusterQueueNames(QueueManager&, const std::string&) { return {}; }

}  // namespace mqsim::server
