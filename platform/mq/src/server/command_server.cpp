#include "command_server.h"

#include <cstring>

#include "common/wire.h"
#include "pcf_commands.h"

namespace mqsim::server {

namespace {

constexpr const char* kCommandQueue = "SYSTEM.ADMIN.COMMAND.QUEUE";

}  // namespace

bool CommandServer::Open(MQLONG* reason) {
  if (session_ == nullptr) {
    session_ = qm_->Connect("mqm", "amqpcsea", this);
    session_->internal = true;
  }
  if (hobj_ != 0) return true;
  OpenRequest req;
  req.options = MQOO_INPUT_SHARED | MQOO_FAIL_IF_QUIESCING;
  req.od.object_type = MQOT_Q;
  req.od.name = kCommandQueue;
  OpenReply r = qm_->OpenObject(session_, req);
  if (r.cc == MQCC_FAILED) {
    *reason = r.rc;
    qm_->Disconnect(session_);
    session_ = nullptr;
    return false;
  }
  hobj_ = r.hobj;
  return true;
}

bool CommandServer::Start(MQLONG* reason) {
  if (!Open(reason)) return false;
  state_ = CommandServerState::kRunning;
  return true;
}

bool CommandServer::Hang(MQLONG* reason) {
  if (!Open(reason)) return false;
  state_ = CommandServerState::kHung;
  return true;
}

void CommandServer::Stop() {
  if (session_ != nullptr) qm_->Disconnect(session_);
  session_ = nullptr;
  hobj_ = 0;
  state_ = CommandServerState::kStopped;
}

bool CommandServer::Poll(size_t limit) {
  for (size_t i = 0; i < limit; ++i) {
    if (state_ != CommandServerState::kRunning || session_ == nullptr) return false;
    if (qm_->OpenQueueEmpty(session_, hobj_)) return false;
    GetRequest g;
    g.hobj = hobj_;
    g.options = MQGMO_NO_SYNCPOINT | MQGMO_ACCEPT_TRUNCATED_MSG;
    g.buffer_length = static_cast<uint32_t>(kMaxMsgLength);
    GetReply r;
    qm_->Get(session_, g, &r);
    if (r.cc == MQCC_FAILED) return false;
    Answer(r);
  }
  return true;
}

void CommandServer::Answer(const GetReply& request) {
  const MQMD& md = request.md;
  std::vector<std::string> bodies;
  if (std::memcmp(md.Format, MQFMT_ADMIN, 8) != 0) {
    PcfReplies out(0);
    out.Fail(MQRCCF_MD_FORMAT_ERROR);
    bodies = out.Finish();
  } else {
    CommandProcessor processor(qm_);
    bodies = processor.Run(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(request.data.data()),
                                                    request.data.size()));
  }
  if (FieldText(md.ReplyToQ, 48).empty()) return;  // nobody to tell
  for (const std::string& body : bodies) SendAnswer(md, body, !(md.Report & MQRO_PASS_MSG_ID));
}

void CommandServer::SendAnswer(const MQMD& request, const std::string& body, bool new_msg_id) {
  PutRequest put;
  put.od.object_type = MQOT_Q;
  put.od.name = FieldText(request.ReplyToQ, 48);
  put.od.qmgr = FieldText(request.ReplyToQMgr, 48);
  if (put.od.qmgr == qm_->name()) put.od.qmgr.clear();
  put.options = MQPMO_NO_SYNCPOINT | (new_msg_id ? MQPMO_NEW_MSG_ID : 0);
  MQMD& md = put.md;
  std::memcpy(md.StrucId, MQMD_STRUC_ID, 4);
  md.Version = MQMD_VERSION_2;
  md.Report = MQRO_NONE;
  md.MsgType = MQMT_REPLY;
  md.Expiry = request.Expiry;
  md.Feedback = MQFB_NONE;
  md.Encoding = MQENC_NATIVE;
  md.CodedCharSetId = request.CodedCharSetId;
  std::memcpy(md.Format, MQFMT_ADMIN, 8);
  md.Priority = request.Priority;
  md.Persistence = request.Persistence;
  if (!new_msg_id) std::memcpy(md.MsgId, request.MsgId, sizeof md.MsgId);
  // The report options say which id the requester matches the replies on.
  if (request.Report & MQRO_PASS_CORREL_ID)
    std::memcpy(md.CorrelId, request.CorrelId, sizeof md.CorrelId);
  else
    std::memcpy(md.CorrelId, request.MsgId, sizeof md.CorrelId);
  SetField(md.ReplyToQ, 48, "");
  SetField(md.ReplyToQMgr, 48, "");
  md.MsgSeqNumber = 1;
  md.OriginalLength = MQOL_UNDEFINED;
  put.data = body;
  PutReply reply = qm_->Put(session_, put, true);
  // A reply its queue refuses goes to the dead-letter queue, as MQ's
  // command server sends it there.
  if (reply.cc == MQCC_FAILED)
    qm_->DeadLetter(session_, md, body, put.od.name, put.od.qmgr.empty() ? qm_->name() : put.od.qmgr, reply.rc);
}

bool QueueManager::RunCommandServer() {
  if (!command_server_) return false;
  return command_server_->Poll(64);
}

}  // namespace mqsim::server
