// MQSC text of MQCMD_ESCAPE. Each command is parsed with pcfcore's MQSC
// tables into a PCF command, run like any other, and its replies written
// back as MQSC output: a message line per result, the attributes of each
// object as KEYWORD(value), and the closing counts.
#include "mqsc_runner.h"

#include <cctype>
#include <cstring>
#include <map>

#include <pcfcore/mqsc_tables.h>

namespace mqsim::server {

namespace {

struct Token {
  std::string keyword;  // upper-cased
  bool has_value = false;
  std::string value;     // quoted text as written, other text upper-cased
};

// Short forms an operator types, with the word they stand for.
const std::map<std::string, std::string> kAliases = {
    {"DEF", "DEFINE"},     {"DIS", "DISPLAY"},   {"QL", "QLOCAL"},     {"QA", "QALIAS"},
    {"QR", "QREMOTE"},     {"QM", "QMODEL"},     {"CHL", "CHANNEL"},   {"Q", "QUEUE"},
    {"NL", "NAMELIST"},    {"PRO", "PROCESS"},   {"CHS", "CHSTATUS"},  {"DESC", "DESCR"},
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Canonical(const std::string& word) {
  auto it = kAliases.find(word);
  return it == kAliases.end() ? word : it->second;
}

// Splits one command into tokens; false with *error on a broken quote or
// bracket.
bool Tokenize(const std::string& text, std::vector<Token>* out, std::string* error) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ',')) ++i;
    if (i >= text.size()) break;
    Token t;
    size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '(' && text[i] != ',') ++i;
    t.keyword = Canonical(Upper(text.substr(start, i - start)));
    if (i < text.size() && text[i] == '(') {
      ++i;
      t.has_value = true;
      bool quoted = false;
      std::string v;
      while (i < text.size()) {
        char c = text[i];
        if (quoted) {
          if (c == '\'') {
            if (i + 1 < text.size() && text[i + 1] == '\'') {
              v += '\'';
              i += 2;
              continue;
            }
            quoted = false;
            ++i;
            continue;
          }
          v += c;
          ++i;
          continue;
        }
        if (c == '\'') {
          quoted = true;
          ++i;
          continue;
        }
        if (c == ')') break;
        v += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        ++i;
      }
      if (i >= text.size()) {
        *error = quoted ? "a quoted string is not closed" : "a bracket is not closed";
        return false;
      }
      ++i;  // ')'
      while (!v.empty() && v.back() == ' ') v.pop_back();
      t.value = v;
    }
    if (t.keyword.empty()) {
      *error = "a value has no keyword";
      return false;
    }
    out->push_back(std::move(t));
  }
  return true;
}

// The commands of an MQSC text: "+" or "-" at a line's end continues it,
// lines starting with "*" are comments.
std::vector<std::string> SplitCommands(const std::string& text) {
  std::vector<std::string> out;
  std::string current;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '*') {
      if (eol == text.size()) break;
      continue;
    }
    bool more = !line.empty() && (line.back() == '+' || line.back() == '-');
    if (more) line.pop_back();
    current += line;
    if (!more) {
      out.push_back(current);
      current.clear();
    } else {
      current += ' ';
    }
    if (eol == text.size()) break;
  }
  if (!current.empty()) out.push_back(current);
  return out;
}

const MqscCommand* FindByVerb(const std::string& verb, MQLONG prefer) {
  const MqscCommand* found = nullptr;
  for (size_t i = 0; i < MqscCommandCount; ++i) {
    const MqscCommand& c = MqscCommands[i];
    if (c.Rows == nullptr || verb != c.Verb) continue;
    if (found == nullptr || c.Command == prefer) found = &c;
  }
  return found;
}

bool QueueTypeWord(const std::string& word, MQLONG* type) {
  if (word == "QLOCAL") *type = MQQT_LOCAL;
  else if (word == "QMODEL") *type = MQQT_MODEL;
  else if (word == "QALIAS") *type = MQQT_ALIAS;
  else if (word == "QREMOTE") *type = MQQT_REMOTE;
  else return false;
  return true;
}

// One parsed command.
struct Parsed {
  PcfCommand pcf;
  std::string object;  // what the message lines call the object
};

bool ParseCommand(const std::vector<Token>& tokens, Parsed* out, std::string* error) {
  if (tokens.size() < 2) {
    *error = "the command is incomplete";
    return false;
  }
  const std::string& verb = tokens[0].keyword;
  const Token& object = tokens[1];
  bool like = false;
  for (const Token& t : tokens)
    if (t.keyword == "LIKE") like = true;
  PcfCommand& pcf = out->pcf;
  pcf.type = MQCFT_COMMAND;
  pcf.msg_seq_number = 1;
  pcf.control = MQCFC_LAST;
  const MqscCommand* cmd = nullptr;
  size_t first_attr = 2;
  MQLONG qtype = 0;
  bool queue_word = QueueTypeWord(object.keyword, &qtype);
  if (queue_word && (verb == "DEFINE" || verb == "ALTER" || verb == "DELETE" || verb == "DISPLAY")) {
    MQLONG code = verb == "DEFINE"  ? (like ? MQCMD_COPY_Q : MQCMD_CREATE_Q)
                  : verb == "ALTER" ? MQCMD_CHANGE_Q
                  : verb == "DELETE" ? MQCMD_DELETE_Q
                                     : MQCMD_INQUIRE_Q;
    cmd = MqscFindCommand(code);
    out->object = "queue";
  } else {
    std::string full = verb + " " + object.keyword;
    MQLONG prefer = 0;
    if (verb == "DISPLAY") prefer = object.keyword == "CHANNEL" ? MQCMD_INQUIRE_CHANNEL
                                  : object.keyword == "PROCESS" ? MQCMD_INQUIRE_PROCESS
                                  : object.keyword == "NAMELIST" ? MQCMD_INQUIRE_NAMELIST
                                  : object.keyword == "QUEUE" ? MQCMD_INQUIRE_Q
                                                              : 0;
    if (verb == "DEFINE" && like)
      prefer = object.keyword == "CHANNEL" ? MQCMD_COPY_CHANNEL
               : object.keyword == "PROCESS" ? MQCMD_COPY_PROCESS
                                             : MQCMD_COPY_NAMELIST;
    else if (verb == "DEFINE")
      prefer = object.keyword == "CHANNEL" ? MQCMD_CREATE_CHANNEL
               : object.keyword == "PROCESS" ? MQCMD_CREATE_PROCESS
                                             : MQCMD_CREATE_NAMELIST;
    cmd = FindByVerb(full, prefer);
    if (cmd == nullptr && (object.keyword == "QMGR" || object.keyword == "CLUSTER")) cmd = nullptr;
    out->object = Upper(object.keyword) == "QMGR" ? "queue manager" : object.keyword;
    for (char& c : out->object) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (object.keyword == "QUEUE" || object.keyword == "QSTATS") out->object = "queue";
    if (object.keyword == "CHSTATUS") out->object = "channel";
    if (object.keyword == "CLUSQMGR") out->object = "cluster queue manager";
  }
  if (cmd == nullptr) {
    *error = "unknown command " + verb + " " + object.keyword;
    return false;
  }
  pcf.command = cmd->Command;
  if (queue_word && pcf.command != MQCMD_INQUIRE_Q) {
    PcfParam t;
    t.type = MQCFT_INTEGER;
    t.id = MQIA_Q_TYPE;
    t.int_value = qtype;
    pcf.params.push_back(t);
  } else if (queue_word) {
    PcfParam t;
    t.type = MQCFT_INTEGER;
    t.id = MQIA_Q_TYPE;
    t.int_value = qtype;
    pcf.params.push_back(t);
  }
  // The object's name: the row after the verb (and after the queue type
  // word) names the parameter; some commands (ALTER QMGR) have none.
  const MqscRow* rows = cmd->Rows;
  size_t name_row = 1;
  if (rows[name_row].Use != MQSC_ROW_END && rows[name_row].Keyword->Parameter == MQIA_Q_TYPE) ++name_row;
  if (object.has_value) {
    const MqscRow& nr = rows[name_row];
    if (nr.Use == MQSC_ROW_END || nr.Keyword->Kind != MQSC_KIND_STRING) {
      *error = "the command takes no name";
      return false;
    }
    PcfParam p;
    p.type = MQCFT_STRING;
    p.id = nr.Keyword->Parameter;
    p.str_value = object.value;
    pcf.params.push_back(p);
  }
  std::vector<MQLONG> selectors;
  for (size_t i = first_attr; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    const MqscRow* row = MqscFindRowByKeyword(cmd, t.keyword.data(), t.keyword.size());
    MQLONG bare_value = 0;
    if (row == nullptr && !t.has_value) {
      row = MqscFindBareWordRow(cmd, t.keyword.data(), t.keyword.size(), &bare_value);
      if (row != nullptr) {
        PcfParam p;
        p.type = MQCFT_INTEGER;
        p.id = row->Keyword->Parameter;
        p.int_value = bare_value;
        pcf.params.push_back(p);
        continue;
      }
    }
    if (row == nullptr) {
      *error = "keyword " + t.keyword + " is not valid here";
      return false;
    }
    const MqscKeyword* kw = row->Keyword;
    if (row->ValueFlag == MQSC_OMIT || kw->Kind == MQSC_KIND_BARE) {
      // A selector of a DISPLAY command (ALL included).
      if (t.has_value) {
        *error = "keyword " + t.keyword + " takes no value";
        return false;
      }
      selectors.push_back(kw->Parameter);
      continue;
    }
    if (!t.has_value) {
      *error = "keyword " + t.keyword + " needs a value";
      return false;
    }
    PcfParam p;
    p.id = kw->Parameter;
    switch (kw->Kind) {
      case MQSC_KIND_INTEGER: {
        char* end = nullptr;
        long v = std::strtol(t.value.c_str(), &end, 10);
        if (t.value.empty() || *end != '\0' || v < INT32_MIN || v > INT32_MAX) {
          *error = "value " + t.value + " of " + t.keyword + " is not a number";
          return false;
        }
        p.type = MQCFT_INTEGER;
        p.int_value = static_cast<MQLONG>(v);
        break;
      }
      case MQSC_KIND_ENUM: {
        MQLONG v = 0;
        if (kw->Values == nullptr || !MqscValueOfWord(kw->Values, t.value.data(), t.value.size(), &v)) {
          *error = "value " + t.value + " of " + t.keyword + " is not valid";
          return false;
        }
        p.type = MQCFT_INTEGER;
        p.int_value = v;
        break;
      }
      case MQSC_KIND_STRING_LIST: {
        p.type = MQCFT_STRING_LIST;
        size_t pos = 0;
        std::string v = t.value;
        while (!v.empty() && pos <= v.size()) {
          size_t comma = v.find(',', pos);
          if (comma == std::string::npos) comma = v.size();
          std::string item = v.substr(pos, comma - pos);
          size_t a = item.find_first_not_of(' ');
          item = a == std::string::npos ? "" : item.substr(a);
          while (!item.empty() && item.back() == ' ') item.pop_back();
          if (!item.empty()) p.str_list.push_back(item);
          pos = comma + 1;
        }
        break;
      }
      default:
        p.type = MQCFT_STRING;
        p.str_value = t.value;
    }
    if (pcf.Find(p.id) != nullptr) {
      *error = "keyword " + t.keyword + " appears twice";
      return false;
    }
    pcf.params.push_back(std::move(p));
  }
  MQLONG list_param = 0;
  switch (pcf.command) {
    case MQCMD_INQUIRE_Q_MGR: list_param = MQIACF_Q_MGR_ATTRS; break;
    case MQCMD_INQUIRE_Q: list_param = MQIACF_Q_ATTRS; break;
    case MQCMD_INQUIRE_PROCESS: list_param = MQIACF_PROCESS_ATTRS; break;
    case MQCMD_INQUIRE_NAMELIST: list_param = MQIACF_NAMELIST_ATTRS; break;
    case MQCMD_INQUIRE_CHANNEL: list_param = MQIACF_CHANNEL_ATTRS; break;
    case MQCMD_INQUIRE_CHANNEL_STATUS: list_param = MQIACH_CHANNEL_INSTANCE_ATTRS; break;
    case MQCMD_INQUIRE_CLUSTER_Q_MGR: list_param = MQIACF_CLUSTER_Q_MGR_ATTRS; break;
    default: break;
  }
  if (list_param != 0) {
    // DISPLAY without selectors shows everything.
    if (selectors.empty()) selectors.push_back(MQIACF_ALL);
    PcfParam p;
    p.type = MQCFT_INTEGER_LIST;
    p.id = list_param;
    p.int_list = selectors;
    pcf.params.push_back(p);
  } else if (!selectors.empty()) {
    *error = "the command takes no attribute selectors";
    return false;
  }
  return true;
}

// KEYWORD(value) of one reply parameter, by the DISPLAY table of the
// command; empty when the table does not show it.
std::string Shown(const MqscCommand* cmd, const PcfParam& p) {
  if (cmd == nullptr) return "";
  const MqscRow* row = MqscFindRow(cmd, p.id, MQSC_OMIT);
  if (row == nullptr) row = MqscFindRow(cmd, p.id, MQSC_WRITE);
  if (row == nullptr && cmd->Rows[1].Use != MQSC_ROW_END && cmd->Rows[1].Keyword->Parameter == p.id) row = &cmd->Rows[1];
  if (row == nullptr || row->Keyword == nullptr) return "";
  const MqscKeyword* kw = row->Keyword;
  std::string value;
  switch (p.type) {
    case MQCFT_INTEGER: {
      const char* word = kw->Values != nullptr ? MqscWordOfValue(kw->Values, p.int_value) : nullptr;
      value = word != nullptr ? word : std::to_string(p.int_value);
      if (kw->Values != nullptr && kw->Values->BareWords) return word != nullptr ? word : "";
      break;
    }
    case MQCFT_STRING: value = p.str_value; break;
    case MQCFT_STRING_LIST:
      for (size_t i = 0; i < p.str_list.size(); ++i) value += (i ? "," : "") + p.str_list[i];
      break;
    default: return "";
  }
  return std::string(kw->Text) + "(" + value + ")";
}

std::string CapitalFirst(std::string s) {
  if (!s.empty()) s[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
  return s;
}

std::string ReasonText(MQLONG reason, const std::string& object) {
  switch (reason) {
    case MQRC_UNKNOWN_OBJECT_NAME: return "AMQ8147: Object not found.";
    case MQRCCF_OBJECT_ALREADY_EXISTS: return "AMQ8150: Object already exists.";
    case MQRCCF_OBJECT_WRONG_TYPE: return "AMQ8151: Object has a different type.";
    case MQRCCF_OBJECT_OPEN: return "AMQ8148: Object in use.";
    case MQRC_OBJECT_IN_USE: return "AMQ8148: Object in use.";
    case MQRC_Q_NOT_EMPTY: return "AMQ8143: Queue not empty.";
    case MQRCCF_CHL_STATUS_NOT_FOUND: return "AMQ8420: Channel Status not found.";
    case MQRCCF_CHANNEL_NOT_FOUND: return "AMQ8147: Channel not found.";
    default:
      return "AMQ8101: Unexpected error (" + std::to_string(reason) + ") for the " + object + ".";
  }
}

std::string DoneText(MQLONG command, const std::string& object) {
  std::string o = CapitalFirst(object);
  switch (command) {
    case MQCMD_CREATE_Q: case MQCMD_COPY_Q: case MQCMD_CREATE_PROCESS: case MQCMD_COPY_PROCESS:
    case MQCMD_CREATE_CHANNEL: case MQCMD_COPY_CHANNEL: case MQCMD_CREATE_NAMELIST: case MQCMD_COPY_NAMELIST:
      return o + " created.";
    case MQCMD_CHANGE_Q: case MQCMD_CHANGE_PROCESS: case MQCMD_CHANGE_CHANNEL: case MQCMD_CHANGE_NAMELIST:
    case MQCMD_CHANGE_Q_MGR:
      return o + " changed.";
    case MQCMD_DELETE_Q: case MQCMD_DELETE_PROCESS: case MQCMD_DELETE_CHANNEL: case MQCMD_DELETE_NAMELIST:
      return o + " deleted.";
    case MQCMD_CLEAR_Q: return "Queue cleared.";
    case MQCMD_START_CHANNEL: return "Channel start accepted.";
    case MQCMD_STOP_CHANNEL: return "Channel stop accepted.";
    case MQCMD_PING_CHANNEL: return "Channel pinged.";
    case MQCMD_RESET_CHANNEL: return "Channel reset.";
    case MQCMD_RESOLVE_CHANNEL: return "Channel resolved.";
    case MQCMD_PING_Q_MGR: return "Queue manager pinged.";
    case MQCMD_REFRESH_CLUSTER: return "Cluster refreshed.";
    case MQCMD_RESET_CLUSTER: return "Cluster reset.";
    case MQCMD_SUSPEND_Q_MGR_CLUSTER: return "Queue manager suspended in the cluster.";
    case MQCMD_RESUME_Q_MGR_CLUSTER: return "Queue manager resumed in the cluster.";
    default: return "Command completed.";
  }
}

std::string Count(size_t n, const char* one, const char* many) {
  if (n == 0) return std::string("No ") + many;
  if (n == 1) return std::string("One ") + one;
  return std::to_string(n) + " " + many;
}

}  // namespace

void RunEscape(QueueManager& qm, const PcfCommand& cmd, PcfReplies* out) {
  const PcfParam* type = cmd.Find(MQIACF_ESCAPE_TYPE);
  const PcfParam* text = cmd.Find(MQCACF_ESCAPE_TEXT);
  for (const PcfParam& p : cmd.params) {
    if (p.id != MQIACF_ESCAPE_TYPE && p.id != MQCACF_ESCAPE_TEXT && p.id < 20000) {
      out->Fail(p.type == MQCFT_INTEGER ? MQRCCF_CFIN_PARM_ID_ERROR : MQRCCF_CFST_PARM_ID_ERROR, p.id);
      return;
    }
  }
  if (type == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQIACF_ESCAPE_TYPE);
  if (type->int_value != MQET_MQSC) return out->Fail(MQRCCF_ESCAPE_TYPE_ERROR, MQIACF_ESCAPE_TYPE);
  if (text == nullptr) return out->Fail(MQRCCF_PARM_COUNT_TOO_SMALL, MQCACF_ESCAPE_TEXT);

  std::string output;
  size_t read = 0, syntax_errors = 0, failed = 0;
  for (const std::string& command : SplitCommands(text->str_value)) {
    ++read;
    output += std::to_string(read) + " : " + command + "\n";
    std::vector<Token> tokens;
    std::string error;
    Parsed parsed;
    if (!Tokenize(command, &tokens, &error) || !ParseCommand(tokens, &parsed, &error)) {
      ++syntax_errors;
      output += "AMQ8405: Syntax error detected: " + error + ".\n";
      continue;
    }
    PcfReplies replies(parsed.pcf.command);
    CommandProcessor(&qm).Execute(parsed.pcf, &replies);
    bool any_failed = false;
    const MqscCommand* display = MqscFindCommand(parsed.pcf.command);
    for (const std::string& body : replies.Finish()) {
      PcfCommand reply;
      MQLONG comp = MQCC_OK, reason = MQRC_NONE;
      std::memcpy(&comp, body.data() + 24, 4);
      std::memcpy(&reason, body.data() + 28, 4);
      if (comp != MQCC_OK) {
        any_failed = true;
        output += ReasonText(reason, parsed.object) + "\n";
        continue;
      }
      std::string lines;
      // Replies are responses; read their records with the command
      // reader by calling the body a command for the moment.
      std::string as_command = body;
      MQLONG one = MQCFT_COMMAND, last = MQCFC_LAST;
      std::memcpy(as_command.data(), &one, 4);
      std::memcpy(as_command.data() + 16, &one, 4);  // MsgSeqNumber 1
      std::memcpy(as_command.data() + 20, &last, 4);
      MQLONG r = 0, parameter = 0;
      if (ParsePcfCommand(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(as_command.data()),
                                                   as_command.size()),
                          &reply, &r, &parameter) &&
          !reply.params.empty()) {
        output += "AMQ8409: Display " + parsed.object + " details.\n";
        for (const PcfParam& p : reply.params) {
          std::string shown = Shown(display, p);
          if (!shown.empty()) lines += "   " + shown + "\n";
        }
        output += lines;
      } else {
        output += "AMQ8000: " + DoneText(parsed.pcf.command, parsed.object) + "\n";
      }
    }
    if (any_failed) ++failed;
  }
  output += Count(read, "MQSC command read.", "MQSC commands read.") + "\n";
  output += Count(syntax_errors, "command has a syntax error.", "commands have a syntax error.") + "\n";
  if (failed == 0)
    output += "All valid MQSC commands were processed.\n";
  else
    output += Count(failed, "valid MQSC command could not be processed.",
                    "valid MQSC commands could not be processed.") + "\n";
  PcfBuilder& b = out->Add(failed + syntax_errors == 0 ? MQCC_OK : MQCC_FAILED,
                           failed + syntax_errors == 0 ? MQRC_NONE : MQRCCF_COMMAND_FAILED);
  b.Int(MQIACF_ESCAPE_TYPE, MQET_MQSC);
  b.Str(MQCACF_ESCAPE_TEXT, output, 0);
}

}  // namespace mqsim::server
