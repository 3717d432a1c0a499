// qm_link.cpp: MqiLink, a QmgrLink over a bare connection handle.
#include "qm_link.h"

#include <cstring>

#include "mq_queue.h"

namespace msgops {

MqiLink::MqiLink(MQHCONN hconn, std::string qmgr_name, std::string reply_queue_name)
    : hconn_(hconn), qmgr_name_(std::move(qmgr_name)), reply_queue_name_(std::move(reply_queue_name)) {}

MqiLink::~MqiLink() = default;

bool MqiLink::EndTransaction(bool commit) {
  MQLONG cc = 0;
  if (commit) {
    MQCMIT(hconn_, &cc, &reason_);
  } else {
    MQBACK(hconn_, &cc, &reason_);
  }
  return cc == MQCC_OK;
}

bool MqiLink::CommandExchange(mqPcfMessage* request, mqPcfMessage* reply, MQLONG wait_ms) {
  if (!reply_input_) {
    reply_input_ = std::make_unique<Queue>(hconn_, reply_queue_name_);
    if (!reply_input_->Open(MQOO_INPUT_SHARED, "")) {
      reason_ = reply_input_->reason();
      reply_input_.reset();
      return false;
    }
  }
  MQMD& md = request->Body.Md;
  DefaultMd(&md);
  md.MsgType = MQMT_REQUEST;
  std::memcpy(md.Format, MQFMT_ADMIN, 8);
  SetField(md.ReplyToQ, sizeof md.ReplyToQ, reply_queue_name_);
  SetField(md.ReplyToQMgr, sizeof md.ReplyToQMgr, qmgr_name_);
  Queue command(hconn_, command_queue_name());
  if (!command.Put(&request->Body, MQPMO_NO_SYNCPOINT | MQPMO_FAIL_IF_QUIESCING | MQPMO_NEW_MSG_ID)) {
    reason_ = command.reason();
    return false;
  }
  // The command server answers with the request's MsgId as CorrelId.
  MqMessage answer;
  std::memcpy(answer.md().CorrelId, md.MsgId, sizeof md.MsgId);
  std::memset(answer.md().MsgId, 0, sizeof answer.md().MsgId);
  if (!reply_input_->Get(&answer, MQGMO_NO_SYNCPOINT | MQGMO_FAIL_IF_QUIESCING | MQGMO_WAIT,
                         MQMO_MATCH_CORREL_ID, wait_ms)) {
    reason_ = reply_input_->reason();
    return false;
  }
  reason_ = 0;
  auto length = static_cast<MQLONG>(answer.length());
  if (length < static_cast<MQLONG>(sizeof(MQCFH)) || !SizePcfMessage(reply, length)) {
    reason_ = MQRC_FORMAT_ERROR;
    return false;
  }
  std::memcpy(PCF_BODY(reply), answer.data(), answer.length());
  reply->Body.UsedLength = MESSAGE_HEADER_LENGTH + length;
  if (!RawToPcf(reply)) {
    reason_ = MQRC_FORMAT_ERROR;
    return false;
  }
  return true;
}

}  // namespace msgops
