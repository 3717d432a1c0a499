// The command result log: action commands, the result line and object path
// of a reply, trace rows, and the weekday log files.
//
// Divisions: 1. action commands; 2. result line and object path; 3. the
// weekday files; 4. reporting.

#include "admclient/result_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/time.h>

#include "admclient/item_text.h"
#include "admclient/seams.h"
#include "admclient/text_tables.h"
#include "os/paths.h"

namespace admclient {

// ---- 1. Action commands -----------------------------------------------------

bool IsActionCommand(int command) {
  static const int kActions[] = {
      1,     3,     4,     5,     6,     8,     9,     10,    11,    12,    17,    21,
      22,    23,    24,    26,    27,    28,    29,    32,    33,    34,    35,    38,
      39,    40,    42,    71,    72,    73,    74,    10003, 10004, 10010, 10012, 10013,
      10014, 10016, 10102, 10103, 10104, 10105, 10106, 10110, 10122, 10123, 10124, 10125,
      10126, 10129, 10130, 10161, 10171, 10181, 10191, 10201, 10205, 10206, 10300, 10301,
      10302, 10303, 10304, 10305, 10306, 10998, 11002};
  return std::binary_search(std::begin(kActions), std::end(kActions), command);
}

// ---- 2. Result line and object path ---------------------------------------

std::string ResultLine(int comp_code, int reason, int command, int* image) {
  const char* outcome;
  int status;
  if (comp_code == 0 && reason == 0) {
    outcome = " - OK!";
    status = kResultImageOk;
  } else if (comp_code == 1 && reason == 20107) {
    outcome = " - In Progress!";
    status = kResultImageInProgress;
  } else {
    outcome = " - Failed!";
    status = kResultImageFailed;
  }
  if (image != nullptr) *image = status;
  return "(RC - " + std::to_string(reason) + "), CMD - " + CMQText().CommandName(command) + outcome;
}

namespace {

// One parameter record copied out of a message, freed on every path.
class Holder {
 public:
  Holder() { std::memset(&message_, 0, sizeof message_); CreateMessage(&message_, 512); }
  ~Holder() { DeleteMessage(&message_); }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  Message* get() { return &message_; }

 private:
  Message message_;
};

// The parameter's id, or -1 when the record is not a parameter.
MQLONG ParameterId(const Message* record) {
  if (record->UsedLength < MESSAGE_HEADER_LENGTH + 12) return -1;
  MQLONG id;
  std::memcpy(&id, record->Payload + 8, sizeof id);
  return id;
}

// The string value cut to width and right-trimmed; "" when not a string.
std::string StringValue(const Message* record, int width) {
  std::vector<char> text(static_cast<size_t>(width) + 1, '\0');
  if (GetPcfStrAttrValue(record, text.data(), width) != 1) return "";
  return RightTrimmed(text.data());
}

}  // namespace

std::string ObjectPath(const mqPcfMessage* reply) {
  std::string group, node, qmgr, queue, channel, process;
  Holder holder;
  for (MQLONG position = 1; GetAttrByPos(position, holder.get(), reply) == 1; ++position) {
    const Message* record = holder.get();
    switch (ParameterId(record)) {
      case 20006: case 20020: group = StringValue(record, 32); break;
      case 20007: node = StringValue(record, 48); break;
      case 2015: qmgr = StringValue(record, 48); break;
      case 2016: case 2010: case 3001: case 3005: queue = StringValue(record, 48); break;
      case 3002: case 3006: queue += " - " + StringValue(record, 48); break;
      case 2029: case 2030: {
        std::string cluster = StringValue(record, 48);
        if (cluster.empty()) break;
        if (!queue.empty()) {
          queue += "@" + cluster;
        } else {
          qmgr += "@" + cluster;
        }
        break;
      }
      case 3501: case 3007: channel = StringValue(record, 20); break;
      case 3008: channel += " - " + StringValue(record, 20); break;
      case 2012: case 3003: process = StringValue(record, 48); break;
      case 3004: process += " - " + StringValue(record, 48); break;
      default: break;
    }
  }
  std::string path = "\\\\" + group;
  if (!group.empty()) {
    path += "\\" + node;
    if (!node.empty()) path += "\\" + qmgr;
  }
  if (!queue.empty()) {
    path += "\\" + queue;
  } else if (!channel.empty()) {
    path += "\\" + channel;
  } else if (!process.empty()) {
    path += "\\" + process;
  }
  return path;
}

// ---- 3. The weekday files ------------------------------------------------------

CommandLog::CommandLog(const Clock& clock, std::string directory)
    : clock_(clock), directory_(directory.empty() ? DefaultDirectory() : std::move(directory)) {}

std::string CommandLog::DefaultDirectory() {
  const char* install = std::getenv("HRLCOMPACT");
  if (install != nullptr && install[0] != '\0') return os::JoinPath(install, "logs");
  return "../logs";
}

std::string CommandLog::CurrentPath() const {
  std::time_t now = clock_.Now();
  std::tm tm{};
  localtime_r(&now, &tm);
  return os::JoinPath(directory_, "tlxmqea" + std::to_string(tm.tm_wday + 1) + ".log");
}

bool CommandLog::AppendLogLine(const std::string& text) {
  const std::time_t now = clock_.Now();
  std::tm today{};
  localtime_r(&now, &today);
  if (osMakeDirs(directory_.c_str(), 0700) == 0) return false;
  const std::string path = CurrentPath();
  // A file last written on today's date is continued; any other is a
  // previous week's file of this weekday and starts afresh.
  bool append = false;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    std::tm written{};
    std::time_t mtime = st.st_mtime;
    localtime_r(&mtime, &written);
    append = written.tm_year == today.tm_year && written.tm_yday == today.tm_yday;
  }
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  int fd = open(path.c_str(), flags, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  // The file's time is the clock's, so that "last written today" is judged
  // by the same clock that picks the file.
  struct timespec times[2] = {{now, 0}, {now, 0}};
  futimens(fd, times);
  close(fd);
  return ok;
}

// ---- 4. Reporting ---------------------------------------------------------------

ResultLog::ResultLog(const Clock& clock, TraceSink* trace, CommandLog* log, std::string user)
    : clock_(clock), trace_(trace), log_(log), user_(std::move(user)) {}

namespace {

TraceRow RowFor(int comp_code, int reason, int command, std::time_t now) {
  TraceRow row;
  row.reason = reason;
  row.command = command;
  row.result_line = ResultLine(comp_code, reason, command, &row.image);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%s %02d %04d", MonthAbbreviation(tm.tm_mon), tm.tm_mday,
                tm.tm_year + 1900);
  row.date = text;
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  row.time = text;
  // Column 4: the reason's symbolic name, the file's text up to its first ":".
  std::string reason_text;
  if (CMQText().ReasonTextFromIni(reason, &reason_text)) {
    std::string name = reason_text.substr(0, reason_text.find(':'));
    if (name != "EXRC_CMD_IN_PROGRESS" && name != "MQRC_NONE") row.reason_name = name;
  }
  return row;
}

}  // namespace

TraceRow ResultLog::BuildRow(const mqPcfMessage* reply) const {
  const MQCFH* cfh = reply->Cfh;
  TraceRow row = RowFor(cfh->CompCode, cfh->Reason, cfh->Command, clock_.Now());
  row.object_path = ObjectPath(reply);
  return row;
}

std::string ResultLog::LogLine(const TraceRow& row) const {
  std::time_t now = clock_.Now();
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d, %s, %02d, %04d", tm.tm_hour, tm.tm_min,
                tm.tm_sec, MonthAbbreviation(tm.tm_mon), tm.tm_mday, tm.tm_year + 1900);
  return "\"" + std::string(stamp) + "\",\"" + user_ + "\",\"" + row.result_line + "\",\"" +
         row.object_path + "\"\n";
}

void ResultLog::Emit(const TraceRow& row) {
  if (trace_ != nullptr) trace_->AddCommandRow(row);
  if (log_ != nullptr) log_->AppendLogLine(LogLine(row));
}

int ResultLog::ReportCommandResult(const mqPcfMessage* reply) {
  if (reply == nullptr || reply->Cfh == nullptr) return 0;
  Emit(BuildRow(reply));
  return 0;
}

int ResultLog::ReportUnsent(mqPcfMessage* request, int error) {
  if (request == nullptr || request->Cfh == nullptr) return 0;
  RawToPcf(request);  // appended parameters are read by position below
  TraceRow row = RowFor(2, error, request->Cfh->Command, clock_.Now());
  row.object_path = ObjectPath(request);
  Emit(row);
  return 0;
}

}  // namespace admclient
