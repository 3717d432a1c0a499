// MQ events: queue-manager, channel and performance events put on the
// SYSTEM.ADMIN.*.EVENT queues when the queue manager's switches are on.
#include "queue_manager.h"

namespace mqsim::server {

void QueueManager::DepthChanged(Queue&) {}

}  // namespace mqsim::server
