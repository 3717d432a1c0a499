#include "channels.h"

namespace mqsim::server {

void ChannelCommand(QueueManager& qm, const PcfCommand& cmd, PcfReplies* out) {
  (void)qm;
  switch (cmd.command) {
    case MQCMD_INQUIRE_CHANNEL_STATUS:
      out->Fail(MQRCCF_CHL_STATUS_NOT_FOUND);
      return;
    default:
      out->Fail(MQRCCF_CFH_COMMAND_ERROR);
  }
}

bool ChannelDefinitionOk(const ObjectDef&, PcfReplies*) { return true; }
void ChannelDefined(QueueManager&, const ObjectDef&) {}
bool ChannelDeletable(QueueManager&, const ObjectDef&, PcfReplies*) { return true; }
void ChannelDeleted(QueueManager&, const std::string&) {}

}  // namespace mqsim::server
