// server_context.cpp: the per-request context and its log.
#include "server_context.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <random>

#include "trace.h"

namespace msgops {

ServerContext::ServerContext(QmgrLink* link, const mqPcfMessage* request)
    : AutomatonContext(kName),
      link_(link),
      request_(request),
      params_(request),
      response_(CreatePcfMessage(0, MQCFT_RESPONSE, 4096)) {
  if (request_ != nullptr) {
    // Message requests act with the authority of the user who sent them.
    const MQMD& md = request_->Body.Md;
    alt_user = TrimName(md.UserIdentifier, sizeof md.UserIdentifier);
  }
}

ServerContext::~ServerContext() {
  if (log_ != nullptr) {
    fprintf(log_, "@END LOG RECORD FOR(%s) at TIME(%s).\n\n", name_.c_str(), LocalTimeText().c_str());
    fclose(log_);
  }
  DeletePcfMessage(response_);
}

void ServerContext::EnableTrace() {
  trace_ = true;
  if (log_ != nullptr) return;
  std::random_device random;
  char name[256];
  snprintf(name, sizeof name, "THR.%s.%d.%d.MTC", name_.c_str(), static_cast<int>(getpid()),
           static_cast<int>(random() & 0x7fffffff));
  int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  log_ = fdopen(fd, "w");
  if (log_ == nullptr) {
    close(fd);
    return;
  }
  log_name_ = name;
  fprintf(log_, "@BEGIN LOG RECORD FOR(%s) at TIME(%s).\n\n", name_.c_str(), LocalTimeText().c_str());
}

void ServerContext::ResetResponse() {
  if (response_ != nullptr) ResetPcfMessage(response_, command(), MQCFT_RESPONSE);
}

void ServerContext::SetResult(MQLONG comp_code, MQLONG reason) {
  if (response_ == nullptr || response_->Cfh == nullptr) return;
  response_->Cfh->CompCode = comp_code;
  response_->Cfh->Reason = reason;
}

}  // namespace msgops
