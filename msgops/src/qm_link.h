// qm_link.h: the queue-manager connection a request is served on.
//
// The local agent hands ZOREXEC its own connection; the server reads from
// it the connection handle (its queues are opened on it), the queue
// manager's name, the reply queue where every response goes, and it leaves
// the reason of its last put there. QmgrLink is that view of a connection,
// so the server does not depend on how the caller holds it.
//
// Threads: a link belongs to the request running on it; it is never shared
// by two requests at once (the agent gives each client thread its own
// connection).
#ifndef MSGOPS_QM_LINK_H_
#define MSGOPS_QM_LINK_H_

#include <mqi/mqi.h>
#include <pcfcore/pcf_message.h>

#include <memory>
#include <string>

namespace msgops {

class Queue;

class QmgrLink {
 public:
  virtual ~QmgrLink() = default;
  virtual MQHCONN hconn() const = 0;
  virtual std::string qmgr_name() const = 0;
  // Where responses go; empty or blank sends nothing.
  virtual std::string reply_queue_name() const = 0;
  virtual std::string event_queue_name() const { return ""; }
  virtual std::string command_queue_name() const { return "SYSTEM.ADMIN.COMMAND.QUEUE"; }
  virtual MQLONG last_reason() const = 0;
  virtual void set_last_reason(MQLONG reason) = 0;
  // MQCMIT (commit) or MQBACK; the reason is left in last_reason().
  virtual bool EndTransaction(bool commit) = 0;
  // Puts a PCF command on the command queue with the reply queue as
  // ReplyToQ and reads its reply into `reply`, waiting at most wait_ms.
  virtual bool CommandExchange(mqPcfMessage* request, mqPcfMessage* reply, MQLONG wait_ms) = 0;
};

// A link straight over a connection handle, for callers that hold the
// connection themselves (tests, benchmarks, programs without qmlink).
// The reply queue is opened for input only when a command exchange needs
// to read from it.
class MqiLink : public QmgrLink {
 public:
  MqiLink(MQHCONN hconn, std::string qmgr_name, std::string reply_queue_name);
  ~MqiLink() override;
  MQHCONN hconn() const override { return hconn_; }
  std::string qmgr_name() const override { return qmgr_name_; }
  std::string reply_queue_name() const override { return reply_queue_name_; }
  MQLONG last_reason() const override { return reason_; }
  void set_last_reason(MQLONG reason) override { reason_ = reason; }
  bool EndTransaction(bool commit) override;
  bool CommandExchange(mqPcfMessage* request, mqPcfMessage* reply, MQLONG wait_ms) override;

 private:
  MQHCONN hconn_;
  std::string qmgr_name_;
  std::string reply_queue_name_;
  MQLONG reason_ = 0;
  std::unique_ptr<Queue> reply_input_;
};

}  // namespace msgops

#endif  // MSGOPS_QM_LINK_H_
