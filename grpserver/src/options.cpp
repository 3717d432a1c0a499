// options.cpp: the group manager's option parser, start-up dump and usage.
#include "options.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace grpserver {
namespace {

const char* OnOff(bool flag) { return flag ? "ON" : "OFF"; }

// atoi's reading (leading blanks, sign, digits up to the first other
// character), but saturating instead of overflowing.
long long ReadNumber(const std::string& text) {
  const char* p = text.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long long value = 0;
  while (*p >= '0' && *p <= '9') {
    if (value < LLONG_MAX / 100) value = value * 10 + (*p - '0');
    ++p;
  }
  return negative ? -value : value;
}

// Buffer sizes above this many KB would overflow the byte count.
constexpr long long kMaxBufferKb = INT_MAX / 1024;

// Returns false for "-?" (stop at once).
bool ApplyToken(const std::string& token, GroupOptions* o) {
  if (token.size() < 2) return true;
  const std::string key = token.substr(0, 2);
  const std::string value = token.substr(2);
  if (key == "-?") return false;
  if (key == "-n") {
    o->alias = value;
  } else if (key == "-m") {
    // Service mode takes -m too: one machine may serve a group other than
    // MQSERIES as its service.
    o->group = value;
    o->group_given = !value.empty();
  } else if (key == "-x") {
    o->migrate = true;
    o->migrate_source = value;
  } else if (key == "-r") {
    long long v = ReadNumber(value);
    o->refresh_interval_s = v > INT_MAX ? INT_MAX : static_cast<int>(v);
  } else if (key == "-u") {
    o->user_authority = false;
  } else if (key == "+u") {
    o->user_authority = true;
  } else if (key == "-a") {
    o->authentication = false;
  } else if (key == "+a") {
    o->authentication = true;
  } else if (key == "-b") {
    o->background = true;
  } else if (key == "-e") {
    o->reuse_address = true;
  } else if (key == "-k") {
    o->keep_alive = true;
  } else if (key == "-i") {
    long long v = ReadNumber(value);
    if (v >= 0 && v <= kMaxBufferKb) o->buffer_bytes = static_cast<int>(v);
  } else if (key == "-t") {
    if (!value.empty() && value[0] == 'c') {
      o->communication_trace = true;
    } else if (!value.empty() && value[0] == 'u') {
      o->authorization_trace = true;
    } else {
      o->protocol_trace = true;
    }
  }
  return true;
}

std::vector<std::string> SplitVariable(const char* text) {
  std::vector<std::string> tokens;
  std::string current;
  for (const char* p = text; *p != '\0'; ++p) {
    if (std::strchr(";, ", *p) != nullptr) {
      if (!current.empty()) tokens.push_back(current);
      current.clear();
    } else {
      current += *p;
    }
  }
  if (!current.empty()) tokens.push_back(current);
  return tokens;
}

}  // namespace

ParseResult ParseGroupOptions(const char* env_value, const std::vector<std::string>& args,
                              bool console_mode, GroupOptions* options) {
  GroupOptions& o = *options;
  o = GroupOptions{};
  o.console_mode = console_mode;
  if (!console_mode) {
    o.group = kServiceGroup;
    o.group_given = true;
  }
  o.log_file_name = "CONSOLE";
  if (env_value != nullptr) {
    for (const std::string& token : SplitVariable(env_value)) {
      if (!ApplyToken(token, &o)) return ParseResult::kHelp;
    }
  }
  for (const std::string& token : args) {
    if (!ApplyToken(token, &o)) return ParseResult::kHelp;
  }
  o.buffer_bytes *= 1024;
  if (o.refresh_interval_s < 1) o.refresh_interval_s = kRefreshNever;
  return o.group_given ? ParseResult::kGroupKnown : ParseResult::kNoGroup;
}

void PrintGroupOptions(const GroupOptions& o, const std::string& install_dir, FILE* out) {
  std::fprintf(out, "Group Manager version %s.%s.[%s]\n", "3", "6", "0012");
  std::fprintf(out, "\nGroup Manager start-up parameters:\n");
  std::fprintf(out,
               "\n\tGROUP(\"%s\")\n\tALIAS(\"%s\")\n\tMIGRATION(%s), SOURCE(\"%s\")\n"
               "\tPROTOCOL_TRACE(%s)\n\tCOMMUNICATION_TRACE(%s)\n\tAUTHORIZATION_TRACE(%s)\n"
               "\tCOMMUNICATION_BUFFER(%d) - (%s) (BYTES))\n\tAUTHORIZATION(%s)\n"
               "\tAUTHENTICATION(%s)\n\tLOG_FILE_NAME(%s)\n\tKEEPALIVE(%s)\n\tREUSEADDR(%s)\n"
               "\tREFRESH_INTERVAL(%d)\n",
               o.group.c_str(), o.alias.c_str(), OnOff(o.migrate), o.migrate_source.c_str(),
               OnOff(o.protocol_trace), OnOff(o.communication_trace), OnOff(o.authorization_trace),
               o.buffer_bytes, o.buffer_bytes > 0 ? "USER" : "SYSTEM_DEFAULT", OnOff(o.user_authority),
               OnOff(o.authentication), o.log_file_name.c_str(), OnOff(o.keep_alive),
               OnOff(o.reuse_address), o.refresh_interval_s);
  std::fprintf(out, "\tHARROWLINE_INSTALL(%s)\n\n", install_dir.c_str());
}

void PrintGroupUsage(const char* program, FILE* out) {
  std::fprintf(out, "Usage: %s -console -m<GroupName> [-t[u|c] +|-u +|-a -k -b -r<refresh> -i<BuffSize>]\n",
               program);
  std::fputs("\t-m<GroupName> -- logical name of the Group to be\n\t\tloaded by the Harrowline Group Manager.\n",
             out);
  std::fputs("\t-b -- Run the process in the background (UNIX only).\n", out);
  std::fputs("\t-t -- enable PCF protocol trace.\n", out);
  std::fputs("\t-tc -- enable communication trace.\n", out);
  std::fputs("\t-tu -- enable authorization trace.\n", out);
  std::fputs("\t-u -- disable user authority check.\n", out);
  std::fputs("\t-e -- reuse TCP/IP address when binding.\n", out);
  std::fputs("\t-k -- use KEEPALIVE options for all connections.\n", out);
  std::fputs("\t-r<refresh> -- local queue refresh interval in seconds.\n", out);
  std::fputs("\t-i<BuffSize> -- set send/recv TCP buffer size in KB.\n", out);
}

}  // namespace grpserver
