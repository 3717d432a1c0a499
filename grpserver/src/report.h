// report.h: the group manager's messages: the date line that opens every
// record of its output, and ReportError, through which every IGE message of
// the start-up and shutdown paths goes.
//
// Output goes to standard output (the terminal in console mode, the group's
// log file in service mode). In service mode a report also goes to the
// system log (syslog, identity "HRLCompactServer") at its severity. The
// message box of the Windows console mode has no counterpart here: the
// terminal already shows the text.
#ifndef GRPSERVER_REPORT_H_
#define GRPSERVER_REPORT_H_

#include <string>

namespace grpserver {

enum Severity { kInformation = 0, kWarning = 1, kError = 2 };

// "\nDate: " and the current time as ctime writes it (ending in "\n").
std::string DateLine();
// Prints the date line.
void PrintDateLine();

// Prints the date line and text; in service mode also logs text at the
// severity. box: the console-mode flag of the caller (no effect here).
void ReportError(const std::string& text, int severity, int box);

// printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Whether reports also go to the system log (service mode).
void SetReportToSystemLog(bool on);

}  // namespace grpserver

#endif  // GRPSERVER_REPORT_H_
