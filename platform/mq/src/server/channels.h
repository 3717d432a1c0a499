// Channel commands of the command server and the channel runtime: status,
// start, stop, ping, reset, resolve, and delivery from transmission queues
// to queue managers of the same server.
#ifndef MQSIM_SERVER_CHANNELS_H_
#define MQSIM_SERVER_CHANNELS_H_

#include "objects.h"
#include "pcf_commands.h"

namespace mqsim::server {

void ChannelCommand(QueueManager& qm, const PcfCommand& cmd, PcfReplies* out);
// Checks a channel definition before it is stored; false after filling *out.
bool ChannelDefinitionOk(const ObjectDef& def, PcfReplies* out);
void ChannelDefined(QueueManager& qm, const ObjectDef& def);
// False (after filling *out) while the channel runs.
bool ChannelDeletable(QueueManager& qm, const ObjectDef& def, PcfReplies* out);
void ChannelDeleted(QueueManager& qm, const std::string& name);

}  // namespace mqsim::server

#endif  // MQSIM_SERVER_CHANNELS_H_
