// Report messages the queue manager writes itself (expiration), and the
// dead-letter queue for what the queue manager cannot deliver: a report or
// a command server reply whose reply queue refuses it.
//
// Reports are queued while a get discards the expired message and put at
// the end of the server's pass: a put wakes waiting gets, and a get may
// discard more expired messages, so putting at once would re-enter the
// get path.
#include <cstring>

#include "common/wire.h"
#include "queue_manager.h"

namespace mqsim::server {

namespace {

// Bytes of application data an expiration report "with data" carries.
constexpr size_t kReportDataBytes = 100;

}  // namespace

void QueueManager::ExpiryReport(const Message& m) {
  const MQMD& orig = m.md;
  const MQLONG report = orig.Report;
  if ((report & MQRO_EXPIRATION) == 0) return;
  const std::string reply_q = FieldText(orig.ReplyToQ, 48);
  if (reply_q.empty()) return;  // nobody asked to be told
  PutRequest put;
  put.od.object_type = MQOT_Q;
  put.od.name = reply_q;
  put.od.qmgr = FieldText(orig.ReplyToQMgr, 48);
  if (put.od.qmgr == name_) put.od.qmgr.clear();
  put.options = MQPMO_NO_SYNCPOINT | MQPMO_SET_ALL_CONTEXT;
  MQMD& md = put.md;
  md = orig;
  md.Version = MQMD_VERSION_2;
  md.MsgType = MQMT_REPORT;
  md.Feedback = MQFB_EXPIRATION;
  // A report passes on only the discard option, and only when asked to.
  md.Report = (report & MQRO_PASS_DISCARD_AND_EXPIRY) ? (report & MQRO_DISCARD_MSG) : MQRO_NONE;
  md.Expiry = MQEI_UNLIMITED;
  if (!(report & MQRO_PASS_MSG_ID)) put.options |= MQPMO_NEW_MSG_ID;
  if (!(report & MQRO_PASS_CORREL_ID)) std::memcpy(md.CorrelId, orig.MsgId, sizeof md.CorrelId);
  SetField(md.ReplyToQ, 48, "");
  SetField(md.ReplyToQMgr, 48, "");
  // Identity stays the original's; origin is this queue manager.
  md.PutApplType = MQAT_QMGR;
  SetField(md.PutApplName, 28, name_);
  StampPutTime(&md);
  SetField(md.ApplOriginData, 4, "");
  md.MsgSeqNumber = 1;
  md.Offset = 0;
  md.MsgFlags = MQMF_NONE;
  md.OriginalLength = MQOL_UNDEFINED;
  std::string data;
  if ((report & MQRO_EXPIRATION_WITH_FULL_DATA) == MQRO_EXPIRATION_WITH_FULL_DATA) {
    data = m.data;
  } else if ((report & MQRO_EXPIRATION_WITH_DATA) == MQRO_EXPIRATION_WITH_DATA) {
    data = m.data.substr(0, kReportDataBytes);
  } else {
    // Without data the report describes nothing of the original's bytes.
    std::memcpy(md.Format, MQFMT_NONE, 8);
  }
  pending_reports_.push_back(PendingReport{std::move(put), std::move(data)});
}

bool QueueManager::SendReports() {
  if (pending_reports_.empty() || state_ == QmgrState::kEnded) return false;
  std::vector<PendingReport> reports;
  reports.swap(pending_reports_);
  Session* s = Connect("mqm", name_, nullptr);
  s->internal = true;
  for (PendingReport& report : reports) {
    PutRequest& put = report.put;
    put.data = report.data;  // the string no longer moves
    PutReply r = Put(s, put, true);
    if (r.cc == MQCC_FAILED) {
      std::string qmgr = put.od.qmgr.empty() ? name_ : put.od.qmgr;
      DeadLetter(s, put.md, put.data, put.od.name, qmgr, r.rc);
    }
  }
  Disconnect(s);
  return !pending_reports_.empty();
}

bool QueueManager::DeadLetter(Session* s, const MQMD& md_in, std::string_view data, const std::string& dest_q,
                              const std::string& dest_qmgr, MQLONG reason) {
  std::string dlq = objects_.qmgr.Str(MQCA_DEAD_LETTER_Q_NAME);
  while (!dlq.empty() && dlq.back() == ' ') dlq.pop_back();
  if (dlq.empty()) {
    LogError("AMQ7010E: message for " + dest_q + " at " + dest_qmgr + " not delivered, reason " +
             std::to_string(reason) + ", and no dead-letter queue is defined.");
    return false;
  }
  MQDLH dlh{};
  std::memcpy(dlh.StrucId, MQDLH_STRUC_ID, 4);
  dlh.Version = MQDLH_VERSION_1;
  dlh.Reason = reason;
  SetField(dlh.DestQName, 48, dest_q);
  SetField(dlh.DestQMgrName, 48, dest_qmgr);
  dlh.Encoding = md_in.Encoding;
  dlh.CodedCharSetId = md_in.CodedCharSetId;
  std::memcpy(dlh.Format, md_in.Format, 8);
  dlh.PutApplType = MQAT_QMGR;
  SetField(dlh.PutApplName, 28, name_);
  MQMD stamp{};
  StampPutTime(&stamp);
  std::memcpy(dlh.PutDate, stamp.PutDate, 8);
  std::memcpy(dlh.PutTime, stamp.PutTime, 8);
  PutRequest put;
  put.od.object_type = MQOT_Q;
  put.od.name = dlq;
  put.options = MQPMO_NO_SYNCPOINT | MQPMO_SET_ALL_CONTEXT;
  put.md = md_in;
  std::memcpy(put.md.Format, MQFMT_DEAD_LETTER_HEADER, 8);
  put.md.Encoding = MQENC_NATIVE;
  // A message that never got its origin context (its first put failed)
  // gets this queue manager's.
  if (FieldText(put.md.PutDate, 8).empty()) {
    put.md.PutApplType = MQAT_QMGR;
    SetField(put.md.PutApplName, 28, name_);
    StampPutTime(&put.md);
  }
  std::string body(reinterpret_cast<const char*>(&dlh), sizeof dlh);
  body += data;
  put.data = body;
  PutReply r = Put(s, put, true);
  if (r.cc == MQCC_FAILED) {
    LogError("AMQ7010E: message for " + dest_q + " at " + dest_qmgr + " not delivered, reason " +
             std::to_string(reason) + "; the dead-letter queue " + dlq + " refused it, reason " +
             std::to_string(r.rc) + ".");
    return false;
  }
  return true;
}

}  // namespace mqsim::server
