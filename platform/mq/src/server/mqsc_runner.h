// MQCMD_ESCAPE: runs MQSC command text and answers in the shape of MQSC
// output.
#ifndef MQSIM_SERVER_MQSC_RUNNER_H_
#define MQSIM_SERVER_MQSC_RUNNER_H_

#include "pcf_commands.h"

namespace mqsim::server {

void RunEscape(QueueManager& qm, const PcfCommand& cmd, PcfReplies* out);

}  // namespace mqsim::server

#endif  // MQSIM_SERVER_MQSC_RUNNER_H_
