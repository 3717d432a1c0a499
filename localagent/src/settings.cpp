// Options of the agent: defaults, parsing, usage and the start-up dump.

#include "settings.h"

#include <netdb.h>
#include <strings.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <pcfcore/ini.h>

namespace localagent {
namespace {

void CopyField(char* field, size_t size, const std::string& text) {
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

const char* OnOff(bool on) { return on ? "ON" : "OFF"; }

// A whole decimal number within the int range; nothing may follow it.
bool WholeNumber(const std::string& text, long* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long n = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || n < INT_MIN || n > INT_MAX) return false;
  *value = n;
  return true;
}

enum class Token { kTaken, kRejected, kUsage };

struct FlagOption {
  const char* text;
  void (*apply)(Settings*);
};

const FlagOption kFlags[] = {
    {"-v", [](Settings* s) { s->verify_only = true; }},
    {"+v", [](Settings* s) { s->verify_only = false; }},
    {"-t", [](Settings* s) { s->trace = true; }},
    {"+t", [](Settings* s) { s->trace = false; }},
    {"-x", [](Settings* s) { s->comm_trace = true; }},
    {"+x", [](Settings* s) { s->comm_trace = false; }},
    {"-e", [](Settings* s) { s->reuse_address = true; }},
    {"+e", [](Settings* s) { s->reuse_address = false; }},
    {"+u", [](Settings* s) { s->authority_check = true; }},
    {"-u", [](Settings* s) { s->authority_check = false; }},
    {"+a", [](Settings* s) { s->authentication = true; }},
    {"-a", [](Settings* s) { s->authentication = false; }},
    {"+q", [](Settings* s) { s->qm_verification = true; }},
    {"-q", [](Settings* s) { s->qm_verification = false; }},
    {"+z", [](Settings* s) { s->use_dns = 1; }},
    {"-z", [](Settings* s) { s->use_dns = 0; }},
    {"+i", [](Settings* s) { s->report_ip = true; }},
    {"-i", [](Settings* s) { s->report_ip = false; }},
};

bool IsModeSwitch(const std::string& token) {
  if (token.size() < 2 || (token[0] != '-' && token[0] != '/')) return false;
  const char* rest = token.c_str() + 1;
  return strcasecmp(rest, "console") == 0 || strcasecmp(rest, "remove") == 0 ||
         strcasecmp(rest, "install") == 0;
}

Token ParseToken(Settings* s, const std::string& token, FILE* out) {
  if (token == "?" || token == "-?") return Token::kUsage;
  if (IsModeSwitch(token)) return Token::kTaken;
  for (const FlagOption& flag : kFlags) {
    if (token == flag.text) {
      flag.apply(s);
      return Token::kTaken;
    }
  }
  if (token.size() < 3 || token[0] != '-') return Token::kRejected;
  std::string value = token.substr(2);
  long number = 0;
  switch (token[1]) {
    case 'm':
      if (value.size() > kMaxGroupName) return Token::kRejected;
      s->group = value;
      return Token::kTaken;
    case 'n':
      if (value.size() > kMaxNodeName) return Token::kRejected;
      s->alias = value;
      return Token::kTaken;
    case 'D':
      if (value.size() > 200) return Token::kRejected;
      s->dns_suffix = value;
      return Token::kTaken;
    case 'Q':
      if (value.size() > kMaxMask) return Token::kRejected;
      s->qmgr_mask = value;
      return Token::kTaken;
    case 's': {
      // A port number or a service name; a name the system does not know,
      // or a number that is no port, is refused rather than taken as port 0.
      int port = value.size() < sizeof s->address.service ? ServicePort(value, "tcp") : 0;
      if (port <= 0) {
        std::fprintf(out, "No TCP port or service named \"%s\"\n", value.c_str());
        return Token::kRejected;
      }
      CopyField(s->address.service, sizeof s->address.service, value);
      s->address.port = static_cast<uint32_t>(port);
      return Token::kTaken;
    }
    case 'r':
      if (!WholeNumber(value, &number)) return Token::kRejected;
      s->bind_retries = number < 1 ? 1 : static_cast<int>(number);
      return Token::kTaken;
    case 'd':
      if (!WholeNumber(value, &number)) return Token::kRejected;
      s->discovery_minutes = number < 0 ? 10 : static_cast<int>(number);
      return Token::kTaken;
    case 'p':
      if (!WholeNumber(value, &number) || number > INT_MAX / 60) return Token::kRejected;
      s->reregister_seconds = number < 0 ? 0 : static_cast<int>(number) * 60;
      return Token::kTaken;
    default:
      return Token::kRejected;
  }
}

}  // namespace

int ServicePort(const std::string& text, const char* protocol) {
  long number = 0;
  if (WholeNumber(text, &number)) return number > 0 && number <= 65535 ? static_cast<int>(number) : 0;
  struct servent entry;
  struct servent* found = nullptr;
  char buffer[1024];
  if (text.empty() ||
      getservbyname_r(text.c_str(), protocol, &entry, buffer, sizeof buffer, &found) != 0 ||
      found == nullptr) {
    return 0;
  }
  return ntohs(static_cast<uint16_t>(found->s_port));
}

Settings DefaultSettings() {
  Settings s;
  SysInfo info;
  GetSysInfo(&info);
  CopyField(s.address.host, sizeof s.address.host, info.host);
  CopyField(s.address.service, sizeof s.address.service, "5000");
  CopyField(s.address.protocol, sizeof s.address.protocol, "tcp");
  s.address.port = kDefaultPort;
  s.alias = Upper(info.host);
  return s;
}

void PrintUsage(const std::string& program, FILE* out) {
  std::fprintf(out, "Usage: %s ", program.c_str());
  std::fputs(
      "\n"
      "    [-s<Port | service_name>] -- TCP and UDP port or service name (5000)\n"
      "    [-m<Group name>] -- group (mask) to register with\n"
      "    [-n<Alias node name>] -- node name to report (host name)\n"
      "    [-Q<mask*>] -- queue manager mask (*)\n"
      "    [-v | +v] -- verify queue managers only and stop / run\n"
      "    [-t | +t] -- trace on / off\n"
      "    [-x | +x] -- communication trace on / off\n"
      "    [-e | +e] -- reuse the server address on / off\n"
      "    [-r<retries>] -- server bind retries (1)\n"
      "    [-d<discovery>] -- discovery period in minutes (10)\n"
      "    [+u | -u] -- authority check on / off\n"
      "    [+a | -a] -- authentication on / off\n"
      "    [+q | -q] -- queue manager configuration test on / off\n"
      "    [+z | -z] -- group managers use the DNS name / the IP address\n"
      "    [+i | -i] -- report the IP address on / off\n"
      "    [-p<time>] -- re-register with the group managers every <time> minutes\n"
      "    [-D<name.com>] -- DNS name to create fully qualified host name\n",
      out);
}

ParseResult ParseOptions(Settings* settings, const char* variable_text,
                         const std::vector<std::string>& arguments,
                         const std::string& program, FILE* out) {
  bool rejected = false;
  auto take = [&](const std::string& token, const char* message) -> bool {
    switch (ParseToken(settings, token, out)) {
      case Token::kTaken:
        return true;
      case Token::kUsage:
        PrintUsage(program, out);
        return false;
      case Token::kRejected:
        std::fprintf(out, message, token.c_str());
        rejected = true;
        return true;
    }
    return true;
  };
  if (variable_text != nullptr) {
    std::string text = variable_text;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find_first_of(";, ", start);
      if (end == std::string::npos) end = text.size();
      std::string token = text.substr(start, end - start);
      if (!token.empty() && !take(token, "Invalid environment option: \"%s\"\n")) {
        return ParseResult::kUsage;
      }
      start = end + 1;
    }
  }
  for (const std::string& argument : arguments) {
    if (!take(argument, "Invalid command line option \"%s\"\n")) return ParseResult::kUsage;
  }
  if (rejected) std::fputs("Unrecognized parameters have been ignored\n\n", out);
  std::fflush(out);
  return rejected ? ParseResult::kSome : ParseResult::kOk;
}

void PrintStartupDump(const Settings& s, FILE* out) {
  std::fputs("\nLocal Manager Startup parameters:\n", out);
  std::fprintf(out, "  PORT(%s)\n", s.address.service);
  std::fprintf(out, "  GROUP(%s)\n", s.group.c_str());
  std::fprintf(out, "  ALIAS_NODE(%s)\n", s.alias.c_str());
  std::fprintf(out, "  QMGR_MASK(%s)\n", s.qmgr_mask.c_str());
  std::fprintf(out, "  TRACE(%s)\n", OnOff(s.trace));
  std::fprintf(out, "  AUTHORIZATION(%s)\n", OnOff(s.authority_check));
  std::fprintf(out, "  AUTHENTICATION(%s)\n", OnOff(s.authentication));
  std::fprintf(out, "  VERIFY(%s)\n", OnOff(s.verify_only));
  std::fprintf(out, "  REUSE_ADDR(%s)\n", OnOff(s.reuse_address));
  std::fprintf(out, "  REPORT_IP(%s)\n", OnOff(s.report_ip));
  std::fprintf(out, "  BIND_RETRIES(%d)\n", s.bind_retries);
  std::fprintf(out, "  DEF_DISCOVERY(%d min)\n", s.discovery_minutes);
  std::fprintf(out, "  %s QMGR CONFIGURATION TEST\n", s.qm_verification ? "ENABLE" : "DISABLE");
  std::fprintf(out, "  HARROWLINE_INSTALL(%s)\n", s.install_dir.c_str());
  std::fprintf(out, "  GROUPMGR_REG_RETRY(%d min)\n", s.reregister_seconds / 60);
  std::fputs("\n", out);
  std::fflush(out);
}

std::string LogFilePath(const Settings& s) {
  char path[TLX_MAX_PATH];
  CopyField(path, sizeof path, s.install_dir);
  std::string name = s.group + "_" + s.alias + ".log";
  tlxMakePathN(path, sizeof path, name.c_str());
  return path;
}

}  // namespace localagent
