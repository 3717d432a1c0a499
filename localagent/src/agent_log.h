// The agent log: numbered, dated records of the IME (error) and IMI
// (information) messages, each filled with the alias node name, the group
// and the service text. Shared by the main thread and the connection
// threads, so every record is written whole under a lock.
#ifndef LOCALAGENT_AGENT_LOG_H_
#define LOCALAGENT_AGENT_LOG_H_

#include <stdio.h>

#include <string>

namespace localagent {

// Message texts, each with three %s for alias, group and service.
inline constexpr const char kIme0001[] = "IME0001(%s, %s, %s): Failed to create TCP/IP server";
inline constexpr const char kIme0002[] = "IME0002(%s, %s, %s): Failed to accept new client";
inline constexpr const char kIme0003[] = "IME0003(%s, %s, %s): Failed to serve client";
inline constexpr const char kIme0008[] = "IME0008(%s, %s, %s): Unable to process PCF command";
inline constexpr const char kIme0010[] = "IME0010(%s, %s, %s): Unable to install signal handlers";
inline constexpr const char kIme0011[] = "IME0011(%s, %s, %s): Unable to read from event queue";
inline constexpr const char kIme0012[] = "IME0012(%s, %s, %s): Unable to register under group";
inline constexpr const char kIme0013[] =
    "IME0013(%s, %s, %s): Initialization failed: unable to continue";
inline constexpr const char kIme0014[] = "IME0014(%s, %s, %s): Failed to create UDP server";
inline constexpr const char kIme0015[] =
    "IME0015(%s, %s, %s): Failed to obtain digital signature!";
inline constexpr const char kImi0000[] = "IMI0000(%s, %s, %s): Harrowline Local Manager";
inline constexpr const char kImi0003[] = "IMI0003(%s, %s, %s): Successfully terminated";
inline constexpr const char kImi0008[] = "IMI0008(%s, %s, %s): Client has disconnected!";
inline constexpr const char kImi0009[] = "IMI0009(%s, %s, %s): TCP/IP Server node bound on port";
inline constexpr const char kImi0010[] = "IMI0010(%s, %s, %s): UDP Server node bound on port";

// "stdout" keeps standard output; any other path is opened for appending
// (created for its owner only). 0 with errno when it cannot be opened.
int LogInit(const char* path, const std::string& alias, const std::string& group,
            const std::string& service);
// "\n(%d): %s" (record number, ctime text or "Unknown"), the format filled
// with the three context texts, ": RC(%d)" with code, "\n"; flushed.
void LogError(const char* format, int code);
// The same without the ": RC(%d)" part.
void LogInfo(const char* format);
// Closes a stream other than standard output.
void LogClose();

// A format of one of the texts above with extra text appended after it
// ("%s V%s PID(%d)" style); % signs in the extra text are doubled so that
// it stays literal.
std::string LogFormat(const char* message, const std::string& extra);

// " \nDate: %s" with the ctime text, the text, "\n" on standard output,
// flushed: the dated lines of the agent.
void PrintDated(const std::string& text);
// Writes text to standard output whole and flushed (records that several
// threads write).
void PrintRecord(const std::string& text);
// The "%.8s " time prefix (hh:mm:ss) of the agent's progress lines.
std::string TimePrefix();

}  // namespace localagent

#endif  // LOCALAGENT_AGENT_LOG_H_
