#include "mqsc_runner.h"

namespace mqsim::server {

void RunEscape(QueueManager& qm, const PcfCommand& cmd, PcfReplies* out) {
  (void)qm;
  const PcfParam* type = cmd.Find(MQIACF_ESCAPE_TYPE);
  if (type == nullptr || type->int_value != MQET_MQSC) {
    out->Fail(MQRCCF_ESCAPE_TYPE_ERROR, MQIACF_ESCAPE_TYPE);
    return;
  }
  out->Fail(MQRCCF_CFH_COMMAND_ERROR);
}

}  // namespace mqsim::server
