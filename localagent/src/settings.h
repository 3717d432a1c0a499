// The agent's process-wide settings: defaults, the options that change
// them (the variable HRLCOMPACT_CM_OPTIONS, then the command line), and the
// start-up dump.
#ifndef LOCALAGENT_SETTINGS_H_
#define LOCALAGENT_SETTINGS_H_

#include <stdio.h>

#include <string>
#include <vector>

#include <netcore/socket.h>

namespace localagent {

inline constexpr const char kVersion[] = "3.6.0023";
inline constexpr const char kOptionsVariable[] = "HRLCOMPACT_CM_OPTIONS";
inline constexpr int kDefaultPort = 5000;

// Longest values the options take (the widths of the fields they travel in).
inline constexpr size_t kMaxGroupName = 32;
inline constexpr size_t kMaxNodeName = 48;
inline constexpr size_t kMaxMask = 48;

struct Settings {
  SocketAddress address{};       // host, IP text, service text, protocol, port
  std::string group;             // -m
  std::string alias;             // -n; default the host name upper-cased
  std::string dns_suffix;        // -D
  std::string qmgr_mask = "*";   // -Q (start value; connections change the live one)
  bool verify_only = false;      // -v / +v
  bool trace = false;            // -t / +t
  bool comm_trace = false;       // -x / +x
  bool reuse_address = false;    // -e / +e
  int bind_retries = 1;          // -r
  int discovery_minutes = 10;    // -d
  bool authority_check = false;  // +u / -u
  bool authentication = false;   // +a / -a
  bool qm_verification = true;   // +q / -q
  int use_dns = -1;              // +z 1, -z 0, -1 not given
  bool report_ip = true;         // +i / -i
  int reregister_seconds = 0;    // -p minutes * 60
  bool console = false;          // -console
  std::string install_dir;
};

// The defaults with the host's name (GetSysInfo): address host = the host
// name, service "5000", protocol "tcp", alias = the host name upper-cased.
Settings DefaultSettings();

enum class ParseResult {
  kOk,     // every option taken
  kSome,   // some were rejected (reported) and ignored
  kUsage,  // "?" or "-?": the usage text was printed; exit 1
};

// Applies the tokens of the variable's text (split at any of ";, ") and
// then the arguments (argv[1..]) to settings; messages go to out.
// program is the name the usage text shows.
ParseResult ParseOptions(Settings* settings, const char* variable_text,
                         const std::vector<std::string>& arguments,
                         const std::string& program, FILE* out);

// The usage text.
void PrintUsage(const std::string& program, FILE* out);

// "\nLocal Manager Startup parameters:\n" and the settings, one per line.
void PrintStartupDump(const Settings& settings, FILE* out);

// The port of a service text: a decimal port number (1 to 65535) or a
// service name the system knows for protocol; 0 when it is neither.
int ServicePort(const std::string& text, const char* protocol);

// The agent's log file name "<group>_<alias>.log" in the install directory.
std::string LogFilePath(const Settings& settings);

}  // namespace localagent

#endif  // LOCALAGENT_SETTINGS_H_
