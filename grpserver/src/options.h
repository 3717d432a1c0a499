// options.h: the group manager's start-up settings: parsing of the variable
// HRLCOMPACT_SVR_OPTIONS and the command line, the start-up dump and the
// usage text. Pure functions over a GroupOptions value (no process state),
// so tests can run them directly.
#ifndef GRPSERVER_OPTIONS_H_
#define GRPSERVER_OPTIONS_H_

#include <cstdio>
#include <string>
#include <vector>

namespace grpserver {

inline constexpr const char* kOptionsVariable = "HRLCOMPACT_SVR_OPTIONS";
inline constexpr const char* kDefaultAlias = "HARROWLINE.COMPACT.SERVER";
inline constexpr const char* kServiceGroup = "MQSERIES";
// Refresh intervals below 1 second mean "never".
inline constexpr int kRefreshNever = 9999999;

struct GroupOptions {
  bool console_mode = false;
  std::string group;           // "MQSERIES" in service mode unless -m names one
  bool group_given = false;
  std::string alias = kDefaultAlias;
  bool migrate = false;
  std::string migrate_source;
  bool protocol_trace = false;
  bool communication_trace = false;
  bool authorization_trace = false;
  bool user_authority = false;  // +u
  bool authentication = false;  // +a: signed frames
  bool background = false;      // -b: no effect here
  bool reuse_address = false;   // -e
  bool keep_alive = false;      // -k
  int buffer_bytes = 0;         // -i<KB> times 1,024; 0 = system default
  int refresh_interval_s = 10;  // -r
  std::string log_file_name;    // "CONSOLE", or the log file's path
};

enum class ParseResult {
  kGroupKnown,  // run
  kNoGroup,     // print the dump, then the usage text; exit 1
  kHelp,        // "-?": the usage text at once; exit 1
};

// Applies the defaults of the mode, then the tokens of env_value (split at
// ';', ',' and ' '; null when the variable is not set), then args (one token
// each, without the program name), so the command line wins. Tokens are
// classified by their first two characters, case counting; unknown tokens
// are ignored.
ParseResult ParseGroupOptions(const char* env_value, const std::vector<std::string>& args,
                              bool console_mode, GroupOptions* options);

// Prints the version line and the start-up dump to out.
void PrintGroupOptions(const GroupOptions& options, const std::string& install_dir, FILE* out);

// Prints the usage text for program to out.
void PrintGroupUsage(const char* program, FILE* out);

}  // namespace grpserver

#endif  // GRPSERVER_OPTIONS_H_
