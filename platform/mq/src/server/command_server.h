// The command server of one queue manager: an internal application that
// holds SYSTEM.ADMIN.COMMAND.QUEUE open for input while it runs, takes
// PCF requests from it and puts the replies on each request's reply queue.
//
// States: running (answers), stopped (the queue is closed, so nobody has it
// open for input), hung (the queue stays open but nothing is answered;
// requests pile up until it runs again). Only the control socket changes
// the state; a queue manager starts with its command server running.
#ifndef MQSIM_SERVER_COMMAND_SERVER_H_
#define MQSIM_SERVER_COMMAND_SERVER_H_

#include <string>
#include <vector>

#include "queue_manager.h"

namespace mqsim::server {

enum class CommandServerState { kStopped = 0, kRunning = 1, kHung = 2 };

class CommandServer : public ReplySink {
 public:
  explicit CommandServer(QueueManager* qm) : qm_(qm) {}
  ~CommandServer() override = default;

  CommandServerState state() const { return state_; }
  // Opens the command queue for input when it is not yet open; false with
  // *reason when that fails.
  bool Start(MQLONG* reason);
  bool Hang(MQLONG* reason);
  void Stop();
  // Answers at most `limit` waiting requests; true when more wait.
  bool Poll(size_t limit);

  void SendReply(uint32_t, const Writer&) override {}
  void SessionEnded() override {
    session_ = nullptr;
    hobj_ = 0;
    state_ = CommandServerState::kStopped;
  }

 private:
  bool Open(MQLONG* reason);
  void Answer(const GetReply& request);
  void SendAnswer(const MQMD& request, const std::string& body, bool new_msg_id);

  QueueManager* qm_;
  Session* session_ = nullptr;
  MQHOBJ hobj_ = 0;
  CommandServerState state_ = CommandServerState::kStopped;
};

}  // namespace mqsim::server

#endif  // MQSIM_SERVER_COMMAND_SERVER_H_
