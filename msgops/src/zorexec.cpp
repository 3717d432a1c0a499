// zorexec.cpp: ZOREXEC, the entry the local agent calls with its MQManager.
//
// QmlinkLink lets the server use the agent's own connection object: its
// handle, name and reply queue, its reason field (the agent reads the
// reason of the last response put there), its transaction call and its
// command exchange.
#include <msgops/msgops.h>
#include <qmlink/qmlink.h>

#include "request_params.h"
#include "server.h"

namespace msgops {
namespace {

class QmlinkLink : public QmgrLink {
 public:
  explicit QmlinkLink(MQManager* manager) : manager_(manager) {}
  MQHCONN hconn() const override { return manager_->hConn; }
  std::string qmgr_name() const override { return TrimName(manager_->name, sizeof manager_->name); }
  std::string reply_queue_name() const override { return QueueName(manager_->replyQueue); }
  std::string event_queue_name() const override { return QueueName(manager_->eventQueue); }
  std::string command_queue_name() const override {
    std::string name = QueueName(manager_->commandQueue);
    return name.empty() ? QmgrLink::command_queue_name() : name;
  }
  MQLONG last_reason() const override { return static_cast<MQLONG>(manager_->reason); }
  void set_last_reason(MQLONG reason) override { manager_->reason = static_cast<MQULONG>(reason); }
  bool EndTransaction(bool commit) override { return qmEndTrans(manager_, commit ? 1 : 0) == 1; }
  bool CommandExchange(mqPcfMessage* request, mqPcfMessage* reply, MQLONG wait_ms) override {
    if (qmWrite(&request->Body, manager_) != 1) return false;
    if (qmRead(&reply->Body, wait_ms, manager_) != 1) return false;
    if (RawToPcf(reply) != 1) {
      set_last_reason(MQRC_FORMAT_ERROR);
      return false;
    }
    return true;
  }

 private:
  static std::string QueueName(const MQueue* queue) {
    return queue == nullptr ? std::string() : TrimName(queue->name, sizeof queue->name);
  }
  MQManager* manager_;
};

}  // namespace
}  // namespace msgops

extern "C" int ZOREXEC(void* handle, MQManager* qmgr, mqPcfMessage* request) {
  if (handle == nullptr || qmgr == nullptr || request == nullptr) return 0;
  msgops::QmlinkLink link(qmgr);
  return msgops::ExecuteRequest(handle, &link, request);
}
