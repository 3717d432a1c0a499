// zorexec.cpp: ZOREXEC, the entry the local agent calls with its MQManager.
#include <msgops/msgops.h>

#include "server.h"

#ifdef MSGOPS_HAVE_QMLINK
#error "bind ZOREXEC to qmlink's MQManager here"
#endif

extern "C" int ZOREXEC(void* handle, MQManager* qmgr, mqPcfMessage* request) {
  // Until the queue-manager access library is part of the build there is no
  // MQManager to read a connection from.
  (void)handle;
  (void)qmgr;
  (void)request;
  return 0;
}
