// registry_lock_wait.h: how long a registry writer waits for the hive's
// writer lock before giving up with OS_REG_SHARING_VIOLATION (10 s), and a
// way for tests to shorten it.
#ifndef OS_SRC_REGISTRY_LOCK_WAIT_H_
#define OS_SRC_REGISTRY_LOCK_WAIT_H_

#include <chrono>

namespace os::registry {

std::chrono::milliseconds LockWait();
void SetLockWaitForTests(std::chrono::milliseconds wait);

}  // namespace os::registry

#endif  // OS_SRC_REGISTRY_LOCK_WAIT_H_
