// result_log.h: the command result log. Every completed or failed action
// command leaves one row in the trace bar's "Commands" page and one line in
// the command log, a text file per weekday.
//
// Result line: "(RC - <reason>), CMD - <command name>" and " - OK!",
// " - In Progress!" or " - Failed!". Object path: "\\group\node\qmgr\object"
// from the reply's parameters. Log line: four quoted, comma-separated fields
// (time stamp, user, result line, object path).
//
// The weekday files "tlxmqea<d>.log" (d = 1 Sunday .. 7 Saturday) live in
// "logs" under $HRLCOMPACT, else in "../logs". The file is chosen at each
// write from the clock, and a file is started afresh only when its last
// write was on another date than today; "logs" is created (0700) when
// missing and log files are created 0600. Logging never fails a command.
#ifndef ADMCLIENT_RESULT_LOG_H_
#define ADMCLIENT_RESULT_LOG_H_

#include <ctime>
#include <string>

#include "pcfcore/pcfcore.h"

namespace admclient {

class Clock;

// Status images of the result line.
constexpr int kResultImageOk = 0;
constexpr int kResultImageInProgress = 1;
constexpr int kResultImageFailed = 2;

struct TraceRow {
  std::string result_line;  // column 0
  int image = 0;            // kResultImage*
  std::string object_path;  // column 1
  std::string date;         // column 2, "%b %d %Y"
  std::string time;         // column 3, "%H:%M:%S"
  std::string reason_name;  // column 4
  int reason = 0;           // the MQCFH Reason the row shows
  int command = 0;
};

// The trace bar's "Commands" list; the newest row goes on top.
class TraceSink {
 public:
  virtual ~TraceSink() = default;
  virtual void AddCommandRow(const TraceRow& row) = 0;
};

// true for the commands whose replies the reply wait and the polling timer
// report by themselves (changes, copies, creations, deletions, starts, ...).
bool IsActionCommand(int command);

// The result line, its status image, and the object path of a reply.
std::string ResultLine(int comp_code, int reason, int command, int* image);
std::string ObjectPath(const mqPcfMessage* reply);

class CommandLog {
 public:
  // directory: where the weekday files go; "" means the default above.
  CommandLog(const Clock& clock, std::string directory = "");
  // The default directory: $HRLCOMPACT/logs, else ../logs.
  static std::string DefaultDirectory();
  // The file for the clock's current local day of the week.
  std::string CurrentPath() const;
  // Appends text; false (and nothing written) when the file cannot be
  // opened or written.
  bool AppendLogLine(const std::string& text);

 private:
  const Clock& clock_;
  std::string directory_;
};

class ResultLog {
 public:
  // trace and log may be null (nothing shown or written there). user: the
  // console user's name written into every log line.
  ResultLog(const Clock& clock, TraceSink* trace, CommandLog* log, std::string user);
  // Builds the row of a reply (time from the clock).
  TraceRow BuildRow(const mqPcfMessage* reply) const;
  // Shows and logs one reply. Returns 0.
  int ReportCommandResult(const mqPcfMessage* reply);
  // Shows and logs a request that never reached the group manager, as a
  // failed result whose reason is the node's error.
  int ReportUnsent(mqPcfMessage* request, int error);
  // The log line of a row.
  std::string LogLine(const TraceRow& row) const;
  void set_trace(TraceSink* trace) { trace_ = trace; }

 private:
  void Emit(const TraceRow& row);

  const Clock& clock_;
  TraceSink* trace_;
  CommandLog* log_;
  std::string user_;
};

}  // namespace admclient

#endif  // ADMCLIENT_RESULT_LOG_H_
