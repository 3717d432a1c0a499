// mqsc.cpp: conversion between PCF commands and MQSC text, and from the
// MQSC replies of a z/OS queue manager back to PCF responses.
//
// Map of this file:
//   1. byte helpers and the bounded record walker over a PCF body
//   2. PcfToMqsc: PCF command -> MQSC text
//   3. MqscToPcf: MQSC reply -> PCF response body
//   4. the special reply parsers (SET LOG, DISPLAY LOG, DISPLAY GROUP)
//   5. the exported wrappers tlxPcf2Mqsc and tlxMqsc2Pcf
//
// Every function keeps its state in locals (or, for the multi-message
// replies, in the caller's *extra), so the conversion may run on many
// threads at once. Every length read from a body or a text is checked
// before it is used; nothing is read or written outside the given spans.

#include <pcfcore/excmd.h>
#include <pcfcore/mqsc.h>
#include <pcfcore/mqsc_tables.h>
#include <pcfcore/pcf_message.h>
#include <pcfcore/pcf_records.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace pcfcore {
namespace {

// ---- 1. Byte helpers and the record walker ------------------------------

MQLONG ReadLong(const unsigned char* p) {
  MQLONG v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void WriteLong(unsigned char* p, MQLONG v) { std::memcpy(p, &v, sizeof v); }

void Set(MQLONG* out, MQLONG value) {
  if (out != nullptr) *out = value;
}

// One parameter record of a body, its bounds already checked against the
// body: at least the fixed part of its type, and every counted byte inside.
struct Record {
  MQLONG type = 0;
  const unsigned char* p = nullptr;  // start of the record
  MQLONG length = 0;                 // StrucLength
  MQLONG parameter = 0;
};

// Walks the ParameterCount records after the MQCFH. Calls visit(record) for
// each; visit returns 0 to go on or a reason to stop. Returns 0, or
// EXRC_MQSC_NOT_CONVERTIBLE for a body whose records cannot be read, or the
// reason visit stopped with.
template <typename Visit>
MQLONG WalkRecords(const unsigned char* body, MQLONG body_length,
                   Visit&& visit) {
  if (body == nullptr || body_length < MQCFH_STRUC_LENGTH)
    return EXRC_MQSC_NOT_CONVERTIBLE;
  if (ReadLong(body + 4) != MQCFH_STRUC_LENGTH) return EXRC_MQSC_NOT_CONVERTIBLE;
  MQLONG count = ReadLong(body + 32);
  if (count < 0) return EXRC_MQSC_NOT_CONVERTIBLE;  // malformed, not empty
  int64_t offset = MQCFH_STRUC_LENGTH;
  for (MQLONG i = 0; i < count; ++i) {
    if (offset + 8 > body_length) return EXRC_MQSC_NOT_CONVERTIBLE;
    Record r;
    r.p = body + offset;
    r.type = ReadLong(r.p);
    r.length = ReadLong(r.p + 4);
    if (r.length < 8 || r.length % 4 != 0 || offset + r.length > body_length)
      return EXRC_MQSC_NOT_CONVERTIBLE;
    if (r.length >= 12) r.parameter = ReadLong(r.p + 8);
    MQLONG stop = visit(r);
    if (stop != 0) return stop;
    offset += r.length;
  }
  return 0;
}

// Reads an MQCFST-shaped record's characters; false when they do not fit.
bool StringOf(const Record& r, std::string_view* out) {
  if (r.length < MQCFST_STRUC_LENGTH_FIXED) return false;
  MQLONG n = ReadLong(r.p + 16);
  if (n < 0 || n > r.length - MQCFST_STRUC_LENGTH_FIXED) return false;
  *out = std::string_view(reinterpret_cast<const char*>(r.p + 20),
                          static_cast<size_t>(n));
  return true;
}

// ---- 2. PCF -> MQSC --------------------------------------------------------

struct RowText {
  bool present = false;
  bool has_value = false;
  std::string value;  // already in MQSC form: number, word or text
};

// A PCF string as MQSC text: cut at a NUL, trailing blanks removed, an empty
// string written as one blank.
std::string MqscText(std::string_view s) {
  size_t nul = s.find('\0');
  if (nul != std::string_view::npos) s = s.substr(0, nul);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (s.empty()) return " ";
  return std::string(s);
}

// Inside single quotes a quote is written twice, so a value can never end
// the quoted text early and add keywords of its own.
std::string Quoted(std::string_view s) {
  std::string out = "'";
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

// Characters that may stand unquoted in a value (a name or '*').
bool IsPlainValue(std::string_view s) {
  if (s.empty()) return false;
  for (unsigned char c : s) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
              (c >= '0' && c <= '9') || c == '*' || c == '.' || c == '_' ||
              c == '%' || c == '/' || c == '-' || c == '@' || c == '#' ||
              c == '$';
    if (!ok) return false;
  }
  return true;
}

// The value of a string-list record: each item cut at its first blank,
// quoted, joined by ", "; empty items are left out.
std::string ListText(const std::vector<std::string_view>& items) {
  std::string out;
  for (std::string_view item : items) {
    size_t cut = item.find_first_of(std::string_view(" \0", 2));
    if (cut != std::string_view::npos) item = item.substr(0, cut);
    if (item.empty()) continue;
    if (!out.empty()) out += ", ";
    out += Quoted(item);
  }
  return out;
}

// The item of a row: keyword and/or formatted value. Empty when the row has
// nothing to write (a value whose word is empty).
std::string RowItem(const MqscRow& row, const RowText& text) {
  std::string item;
  if (row.KeywordFlag == MQSC_WRITE) item = row.Keyword->Text;
  if (row.ValueFlag == MQSC_WRITE && row.Format != nullptr && text.has_value) {
    std::string_view format = row.Format;
    if (format == "('%s')") {
      item += "(" + Quoted(text.value) + ")";
    } else if (format == "%s") {
      item += text.value;
    } else if (row.Keyword->Kind == MQSC_KIND_STRING &&
               !IsPlainValue(text.value)) {
      item += "(" + Quoted(text.value) + ")";  // "(%s)" of an odd string
    } else {
      item += "(" + text.value + ")";           // "(%s)" and "(%d)"
    }
  }
  return item;
}

// A line feed or carriage return would end the MQSC line inside a quoted
// value, and the rest of the value would stand as a command of its own in a
// script: such a value cannot be converted.
bool HasLineEnd(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

// Converts one integer, string or string-list record into the row's text.
MQLONG StoreRecord(const MqscCommand* command, const Record& r,
                   std::vector<RowText>* texts) {
  MQLONG fixed = r.type == MQCFT_INTEGER  ? MQCFIN_STRUC_LENGTH
                 : r.type == MQCFT_STRING ? MQCFST_STRUC_LENGTH_FIXED
                                          : MQCFSL_STRUC_LENGTH_FIXED;
  if (r.length < fixed) return EXRC_MQSC_NOT_CONVERTIBLE;
  const MqscRow* row = MqscFindRow(command, r.parameter, MQSC_WRITE);
  if (row == nullptr) row = MqscFindRow(command, r.parameter, MQSC_OMIT);
  if (row == nullptr) return EXRC_MQSC_NOT_IN_TABLES;
  RowText& t = (*texts)[static_cast<size_t>(row - command->Rows)];
  const MqscKeyword& k = *row->Keyword;
  t.present = true;
  t.has_value = false;
  if (r.type == MQCFT_INTEGER) {
    MQLONG value = ReadLong(r.p + 12);
    switch (k.Kind) {
      case MQSC_KIND_BARE:
        return 0;
      case MQSC_KIND_INTEGER:
        t.value = std::to_string(value);
        t.has_value = true;
        return 0;
      case MQSC_KIND_ENUM: {
        const char* word = MqscWordOfValue(k.Values, value);
        if (word == nullptr) return EXRC_MQSC_NOT_IN_TABLES;
        t.value = word;
        t.has_value = true;
        return 0;
      }
      default:
        return EXRC_MQSC_NOT_CONVERTIBLE;
    }
  }
  if (r.type == MQCFT_STRING) {
    std::string_view s;
    if (!StringOf(r, &s)) return EXRC_MQSC_NOT_CONVERTIBLE;
    switch (k.Kind) {
      case MQSC_KIND_BARE:
        return 0;
      case MQSC_KIND_STRING:
        t.value = MqscText(s);
        t.has_value = true;
        return HasLineEnd(t.value) ? EXRC_MQSC_NOT_CONVERTIBLE : 0;
      case MQSC_KIND_STRING_LIST:
        t.value = ListText({s});
        t.has_value = true;
        return HasLineEnd(t.value) ? EXRC_MQSC_NOT_CONVERTIBLE : 0;
      default:
        return EXRC_MQSC_NOT_CONVERTIBLE;
    }
  }
  // MQCFT_STRING_LIST
  MQLONG count = ReadLong(r.p + 16);
  MQLONG width = ReadLong(r.p + 20);
  if (count < 0 || width < 0 ||
      static_cast<int64_t>(count) * width > r.length - MQCFSL_STRUC_LENGTH_FIXED)
    return EXRC_MQSC_NOT_CONVERTIBLE;
  if (k.Kind != MQSC_KIND_STRING_LIST) return EXRC_MQSC_NOT_CONVERTIBLE;
  // Items of width 0 are all empty and left out: do not count them one by
  // one (Count may be anything up to 2^31 then).
  if (width == 0) count = 0;
  std::vector<std::string_view> items;
  for (MQLONG i = 0; i < count; ++i)
    items.emplace_back(reinterpret_cast<const char*>(r.p + 24) +
                           static_cast<size_t>(i) * width,
                       static_cast<size_t>(width));
  t.value = ListText(items);
  t.has_value = true;
  return HasLineEnd(t.value) ? EXRC_MQSC_NOT_CONVERTIBLE : 0;
}

// Marks the selector rows of an integer list (the attributes a DISPLAY
// command asks for). An id whose row takes a value (the object's name or
// type) is shown by the queue manager anyway and is passed over.
MQLONG StoreSelectors(const MqscCommand* command, const Record& r,
                      std::vector<RowText>* texts) {
  if (r.length < MQCFIL_STRUC_LENGTH_FIXED) return EXRC_MQSC_NOT_CONVERTIBLE;
  MQLONG count = ReadLong(r.p + 12);
  if (count < 0 || count > (r.length - MQCFIL_STRUC_LENGTH_FIXED) / 4)
    return EXRC_MQSC_NOT_CONVERTIBLE;
  for (MQLONG i = 0; i < count; ++i) {
    MQLONG id = ReadLong(r.p + 16 + 4 * i);
    const MqscRow* row = MqscFindRow(command, id, MQSC_OMIT);
    if (row != nullptr) {
      (*texts)[static_cast<size_t>(row - command->Rows)].present = true;
    } else if (MqscFindRow(command, id, MQSC_WRITE) == nullptr) {
      return EXRC_MQSC_NOT_IN_TABLES;
    }
  }
  return 0;
}

}  // namespace
}  // namespace pcfcore

using namespace pcfcore;  // NOLINT: the exported C functions below

extern "C" int PcfToMqsc(const unsigned char* body, MQLONG body_length,
                         char* text, MQLONG* text_length, MQLONG line_breaks,
                         MQLONG* reason, MQLONG* count) {
  Set(count, 0);
  Set(reason, 0);
  auto fail = [&](MQLONG r) {
    Set(reason, r);
    return 0;
  };
  if (text_length == nullptr || *text_length < 0 ||
      (text == nullptr && *text_length > 0))
    return fail(EXRC_MQSC_NO_ROOM);
  if (body == nullptr || body_length < MQCFH_STRUC_LENGTH)
    return fail(EXRC_MQSC_NOT_CONVERTIBLE);

  const MqscCommand* command = MqscFindCommand(ReadLong(body + 12));
  if (command == nullptr) return fail(EXRC_MQSC_NOT_IN_TABLES);
  if (command->Rows == nullptr) return fail(EXRC_MQSC_NO_ROW_TABLE);
  size_t row_count = 0;
  while (command->Rows[row_count].Use != MQSC_ROW_END) ++row_count;
  std::vector<RowText> texts(row_count);

  MQLONG walk = WalkRecords(body, body_length, [&](const Record& r) -> MQLONG {
    switch (r.type) {
      case 0:
        return 0;  // disabled record
      case MQCFT_INTEGER:
      case MQCFT_STRING:
      case MQCFT_STRING_LIST:
        return StoreRecord(command, r, &texts);
      case MQCFT_INTEGER_LIST:
        return StoreSelectors(command, r, &texts);
      default:
        return EXRC_MQSC_NOT_CONVERTIBLE;
    }
  });
  if (walk != 0) return fail(walk);

  std::string out;
  MQLONG items = 0;
  char separator = ' ';
  for (size_t i = 0; i < row_count; ++i) {
    const MqscRow& row = command->Rows[i];
    std::string item;
    if (i == 0) {
      item = row.Keyword->Text;
    } else {
      if (!texts[i].present) {
        if (row.Use == MQSC_ROW_REQUIRED) return fail(EXRC_MQSC_REQUIRED_MISSING);
        continue;
      }
      if (row.ValueFlag == MQSC_WRITE && !texts[i].has_value) {
        // Marked by a selector only; a value row has nothing to show then.
        if (row.Use == MQSC_ROW_REQUIRED) return fail(EXRC_MQSC_REQUIRED_MISSING);
        continue;
      }
      item = RowItem(row, texts[i]);
      if (item.empty()) continue;
    }
    if (items > 0) {
      if (separator != MQSC_NO_SEPARATOR) out += separator;
      if (line_breaks != 0 && items >= 3) out += "+\n";
    }
    out += item;
    ++items;
    separator = row.Separator;
  }
  if (out.size() > static_cast<size_t>(*text_length))
    return fail(EXRC_MQSC_NO_ROOM);
  if (!out.empty()) std::memcpy(text, out.data(), out.size());
  *text_length = static_cast<MQLONG>(out.size());
  Set(count, items);
  return 1;
}

namespace pcfcore {
namespace {

// ---- 3. MQSC reply -> PCF ---------------------------------------------------

// Delimiters of the words of a reply, around keywords and identifiers.
bool IsWordDelimiter(char c) {
  return c == ' ' || c == '.' || c == ',' || c == '\t' || c == '\n' ||
         c == ':' || c == '(' || c == ')' || c == '+' || c == '\r' ||
         c == '\0';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A value written as 'text' loses its quotes, and '' inside becomes '.
std::string Unquote(std::string_view s) {
  std::string_view t = Trim(s);
  if (t.size() >= 2 && t.front() == '\'' && t.back() == '\'') {
    t = t.substr(1, t.size() - 2);
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
      out += t[i];
      if (t[i] == '\'' && i + 1 < t.size() && t[i + 1] == '\'') ++i;
    }
    return out;
  }
  return std::string(s);
}

// Position just past the quoted text that starts at pos (a quote); '' is a
// quote inside the text. An unterminated quote runs to the end.
size_t SkipQuoted(std::string_view s, size_t pos) {
  ++pos;
  while (pos < s.size()) {
    if (s[pos] == '\'') {
      if (pos + 1 < s.size() && s[pos + 1] == '\'') {
        pos += 2;
        continue;
      }
      return pos + 1;
    }
    ++pos;
  }
  return pos;
}

// Reads the parenthesised value that starts at pos ('('): balanced
// parentheses and quoted text inside. Sets *value to the text inside and
// returns the position after the closing parenthesis (the end when there
// is none).
size_t ReadValue(std::string_view s, size_t pos, std::string_view* value) {
  size_t start = ++pos;
  int depth = 1;
  while (pos < s.size()) {
    char c = s[pos];
    if (c == '\'') {
      pos = SkipQuoted(s, pos);
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')' && --depth == 0) {
      *value = s.substr(start, pos - start);
      return pos + 1;
    }
    ++pos;
  }
  *value = s.substr(start);
  return pos;
}

bool ParseInteger(std::string_view s, MQLONG* value) {
  s = Trim(s);
  if (s.empty()) return false;
  bool negative = false;
  if (s.front() == '-' || s.front() == '+') {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return false;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > static_cast<int64_t>(INT32_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  *value = static_cast<MQLONG>(v);
  return true;
}

// Splits a list value at the commas outside quotes and parentheses; items
// lose their blanks and quotes; empty items are left out.
std::vector<std::string> SplitList(std::string_view s) {
  std::vector<std::string> items;
  size_t start = 0;
  int depth = 0;
  size_t pos = 0;
  auto take = [&](size_t end) {
    std::string item = Unquote(Trim(s.substr(start, end - start)));
    if (!Trim(item).empty()) items.push_back(item);
  };
  while (pos < s.size()) {
    char c = s[pos];
    if (c == '\'') {
      pos = SkipQuoted(s, pos);
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) --depth;
    if (c == ',' && depth == 0) {
      take(pos);
      start = pos + 1;
    }
    ++pos;
  }
  take(s.size());
  return items;
}

struct StoredRow {
  bool set = false;
  MQLONG integer = 0;
  std::string text;
  std::vector<std::string> items;
};

size_t Round4(size_t n) { return (n + 3) & ~static_cast<size_t>(3); }

// Stores a keyword(value) pair of the reply in its row. Returns 0 or a
// reason; a keyword the command's table does not know is passed over.
MQLONG StorePair(const MqscCommand* command, std::string_view word,
                 bool has_value, std::string_view value,
                 std::vector<StoredRow>* rows) {
  MQLONG bare_value = 0;
  const MqscRow* row = nullptr;
  if (!has_value) {
    row = MqscFindBareWordRow(command, word.data(), word.size(), &bare_value);
    if (row != nullptr) {
      StoredRow& s = (*rows)[static_cast<size_t>(row - command->Rows)];
      s = StoredRow();
      s.set = true;
      s.integer = bare_value;
      return 0;
    }
  }
  row = MqscFindRowByKeyword(command, word.data(), word.size());
  if (row == nullptr) return 0;
  const MqscKeyword& k = *row->Keyword;
  StoredRow s;
  s.set = true;
  switch (k.Kind) {
    case MQSC_KIND_BARE:
      s.integer = 0;
      break;
    case MQSC_KIND_INTEGER:
      if (!has_value) return 0;
      if (!ParseInteger(value, &s.integer)) return EXRC_MQSC_BAD_INTEGER;
      break;
    case MQSC_KIND_STRING:
      if (!has_value) return 0;
      s.text = Unquote(value);
      break;
    case MQSC_KIND_STRING_LIST:
      if (!has_value) return 0;
      s.items = SplitList(value);
      break;
    case MQSC_KIND_ENUM: {
      if (!has_value) return 0;
      std::string_view w = Trim(value);
      if (!MqscValueOfWord(k.Values, w.data(), w.size(), &s.integer))
        return EXRC_MQSC_NOT_IN_TABLES;
      break;
    }
    default:
      return EXRC_MQSC_NOT_CONVERTIBLE;
  }
  (*rows)[static_cast<size_t>(row - command->Rows)] = std::move(s);
  return 0;
}

void PutCfh(unsigned char* p, MQLONG command, MQLONG comp_code, MQLONG reason,
            MQLONG count) {
  WriteLong(p, MQCFT_RESPONSE);
  WriteLong(p + 4, MQCFH_STRUC_LENGTH);
  WriteLong(p + 8, MQCFH_VERSION_1);
  WriteLong(p + 12, command);
  WriteLong(p + 16, 1);
  WriteLong(p + 20, MQCFC_LAST);
  WriteLong(p + 24, comp_code);
  WriteLong(p + 28, reason);
  WriteLong(p + 32, count);
}

// Appends one record of a stored row to out (zero padding included). A
// record that would take out past room bytes is refused before it is built:
// a list of many short items and one long one is items x longest bytes,
// far more than the reply text it came from.
MQLONG AppendStored(const MqscKeyword& k, const StoredRow& s, size_t room,
                    std::vector<unsigned char>* out) {
  size_t at = out->size();
  auto fits = [&](size_t length) { return at <= room && length <= room - at; };
  switch (k.Kind) {
    case MQSC_KIND_BARE:
    case MQSC_KIND_INTEGER:
    case MQSC_KIND_ENUM:
      if (!fits(MQCFIN_STRUC_LENGTH)) return EXRC_MQSC_NO_ROOM;
      out->resize(at + MQCFIN_STRUC_LENGTH, 0);
      WriteLong(out->data() + at, MQCFT_INTEGER);
      WriteLong(out->data() + at + 4, MQCFIN_STRUC_LENGTH);
      WriteLong(out->data() + at + 8, k.Parameter);
      WriteLong(out->data() + at + 12, s.integer);
      return 0;
    case MQSC_KIND_STRING: {
      size_t length = MQCFST_STRUC_LENGTH_FIXED + Round4(s.text.size());
      if (length > INT32_MAX || !fits(length)) return EXRC_MQSC_NO_ROOM;
      out->resize(at + length, 0);
      unsigned char* p = out->data() + at;
      WriteLong(p, MQCFT_STRING);
      WriteLong(p + 4, static_cast<MQLONG>(length));
      WriteLong(p + 8, k.Parameter);
      WriteLong(p + 12, 0);
      WriteLong(p + 16, static_cast<MQLONG>(s.text.size()));
      if (!s.text.empty()) std::memcpy(p + 20, s.text.data(), s.text.size());
      return 0;
    }
    case MQSC_KIND_STRING_LIST: {
      size_t width = 0;
      for (const std::string& item : s.items) width = std::max(width, item.size());
      // Both factors are below 2^31 (they come from an MQLONG-sized text),
      // so the product cannot wrap a 64-bit size_t.
      uint64_t data = uint64_t{width} * s.items.size();
      if (data > INT32_MAX) return EXRC_MQSC_NO_ROOM;
      size_t length = MQCFSL_STRUC_LENGTH_FIXED + Round4(static_cast<size_t>(data));
      if (length > INT32_MAX || !fits(length)) return EXRC_MQSC_NO_ROOM;
      out->resize(at + length, 0);
      unsigned char* p = out->data() + at;
      WriteLong(p, MQCFT_STRING_LIST);
      WriteLong(p + 4, static_cast<MQLONG>(length));
      WriteLong(p + 8, k.Parameter);
      WriteLong(p + 12, 0);
      WriteLong(p + 16, static_cast<MQLONG>(s.items.size()));
      WriteLong(p + 20, static_cast<MQLONG>(width));
      unsigned char* q = p + 24;
      for (const std::string& item : s.items) {
        std::memset(q, ' ', width);
        if (!item.empty()) std::memcpy(q, item.data(), item.size());
        q += width;
      }
      return 0;
    }
    default:
      return EXRC_MQSC_NOT_CONVERTIBLE;
  }
}

}  // namespace
}  // namespace pcfcore

extern "C" int MqscToPcf(const char* text, MQLONG text_length,
                         unsigned char* body, MQLONG* body_length,
                         MQLONG command_code, MQLONG* reason, MQLONG* extra) {
  Set(extra, 0);
  Set(reason, 0);
  MQLONG room = (body_length != nullptr && body != nullptr) ? *body_length : 0;
  if (room < 0) room = 0;
  auto fail = [&](MQLONG r) {
    Set(reason, r);
    if (room >= MQCFH_STRUC_LENGTH) {
      PutCfh(body, command_code, MQCC_FAILED, r, 0);
      *body_length = MQCFH_STRUC_LENGTH;
    }
    return 0;
  };
  if (text == nullptr && text_length > 0) return fail(EXRC_MQSC_NOT_CONVERTIBLE);
  if (text_length < 0) return fail(EXRC_MQSC_NOT_CONVERTIBLE);
  const MqscCommand* command = MqscFindCommand(command_code);
  if (command == nullptr) return fail(EXRC_MQSC_NOT_IN_TABLES);
  if (command->Rows == nullptr) return fail(EXRC_MQSC_NO_ROW_TABLE);
  size_t row_count = 0;
  while (command->Rows[row_count].Use != MQSC_ROW_END) ++row_count;

  std::string_view s(text == nullptr ? "" : text, static_cast<size_t>(text_length));

  // The identifier: the first word that begins with "CSQ".
  MQLONG comp_code = MQCC_UNKNOWN;
  MQLONG mq_reason = MQRC_NONE;
  size_t pos = 0;
  for (size_t i = 0; i < s.size();) {
    if (IsWordDelimiter(s[i])) {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < s.size() && !IsWordDelimiter(s[i])) ++i;
    std::string_view word = s.substr(start, i - start);
    if (word.substr(0, 3) == "CSQ") {
      if (!MqscFindReplyId(word.data(), word.size(), &comp_code, &mq_reason)) {
        comp_code = MQCC_UNKNOWN;
        mq_reason = MQRC_NONE;
      }
      pos = i;
      break;
    }
  }

  // The keyword(value) pairs after it.
  std::vector<StoredRow> rows(row_count);
  while (pos < s.size()) {
    char c = s[pos];
    if (c == '\'') {
      pos = SkipQuoted(s, pos);
      continue;
    }
    if (c == '(') {  // a value without keyword
      std::string_view ignored;
      pos = ReadValue(s, pos, &ignored);
      continue;
    }
    if (IsWordDelimiter(c)) {
      ++pos;
      continue;
    }
    size_t start = pos;
    while (pos < s.size() && !IsWordDelimiter(s[pos]) && s[pos] != '\'') ++pos;
    std::string_view word = s.substr(start, pos - start);
    size_t look = pos;
    while (look < s.size() && (s[look] == ' ' || s[look] == '\t')) ++look;
    std::string_view value;
    bool has_value = look < s.size() && s[look] == '(';
    if (has_value) pos = ReadValue(s, look, &value);
    MQLONG r = StorePair(command, word, has_value, value, &rows);
    if (r != 0) return fail(r);
  }

  std::vector<unsigned char> out(MQCFH_STRUC_LENGTH, 0);
  MQLONG records = 0;
  for (size_t i = 1; i < row_count; ++i) {
    if (!rows[i].set) continue;
    MQLONG r = AppendStored(*command->Rows[i].Keyword, rows[i],
                            static_cast<size_t>(room), &out);
    if (r != 0) return fail(r);
    // The response must index: no more parameters than a PCF message holds.
    if (++records > PCF_MAX_PARAMETERS) return fail(EXRC_MQSC_NO_ROOM);
  }
  if (out.size() > static_cast<size_t>(room)) return fail(EXRC_MQSC_NO_ROOM);
  if (comp_code == MQCC_UNKNOWN) comp_code = MQCC_OK;
  PutCfh(out.data(), command_code, comp_code, mq_reason, records);
  std::memcpy(body, out.data(), out.size());
  *body_length = static_cast<MQLONG>(out.size());
  Set(extra, records);
  return 1;
}

namespace pcfcore {
namespace {

// ---- 4. Special reply parsers -------------------------------------------------

// Words of a log or group reply: runs between NULs, blanks, LF and CR.
std::vector<std::string_view> LogWords(std::string_view s) {
  std::vector<std::string_view> words;
  size_t i = 0;
  auto delimiter = [](char c) {
    return c == '\0' || c == ' ' || c == '\n' || c == '\r';
  };
  while (i < s.size()) {
    while (i < s.size() && delimiter(s[i])) ++i;
    size_t start = i;
    while (i < s.size() && !delimiter(s[i])) ++i;
    if (i > start) words.push_back(s.substr(start, i - start));
  }
  return words;
}

// Word n (from 1) or empty.
std::string_view WordAt(const std::vector<std::string_view>& w, size_t n) {
  return n >= 1 && n <= w.size() ? w[n - 1] : std::string_view();
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// The decimal number after "KEY=" in a word; false when there is none.
bool NumberAfter(std::string_view word, std::string_view key, MQLONG* value) {
  if (!StartsWith(word, key)) return false;
  return ParseInteger(word.substr(key.size()), value);
}

// Leading decimal digits of a column word, 0 when it has none (columns of
// the group report may hold dashes or text where a count is absent).
MQLONG ColumnNumber(std::string_view word) {
  int64_t v = 0;
  for (char c : word) {
    if (c < '0' || c > '9') break;
    v = v * 10 + (c - '0');
    if (v > INT32_MAX) return INT32_MAX;
  }
  return static_cast<MQLONG>(v);
}

// Appends records to a PCF message; the first failure is remembered.
class RecordSink {
 public:
  explicit RecordSink(mqPcfMessage* pcf) : pcf_(pcf) {}
  void Integer(MQLONG id, MQLONG value) {
    Message record{};
    if (!CreatePcfIntAttr(&record, id, value)) {
      failed_ = true;
      return;
    }
    Append(&record);
  }
  void String(MQLONG id, std::string_view text) {
    Message record{};
    if (!CreatePcfNZStrAttr(&record, id, text.data(),
                            static_cast<MQLONG>(text.size()))) {
      failed_ = true;
      return;
    }
    Append(&record);
  }
  bool failed() const { return failed_; }
  MQLONG count() const { return count_; }

 private:
  void Append(Message* record) {
    if (!failed_ && AppendAttr(pcf_, record)) {
      ++count_;
    } else {
      failed_ = true;
    }
    DeleteMessage(record);
  }
  mqPcfMessage* pcf_;
  bool failed_ = false;
  MQLONG count_ = 0;
};

// Result of a special parser: 0, or a reason.
MQLONG ParseSetLog(std::string_view s, RecordSink* sink) {
  std::vector<std::string_view> w = LogWords(s);
  if (WordAt(w, 1) != "CSQJ337I") return 0;
  MQLONG maxrtu = 0, deallct = 0;
  if (!NumberAfter(WordAt(w, 6), "MAXRTU=", &maxrtu) ||
      !NumberAfter(WordAt(w, 7), "DEALLCT=", &deallct))
    return EXRC_MQSC_BAD_LOG_REPLY;
  sink->Integer(MQSC_LOG_CURRENT_MAXRTU, maxrtu);
  sink->Integer(MQSC_LOG_CURRENT_DEALLCT, deallct);
  return 0;
}

// DISPLAY LOG states carried in *extra.
constexpr MQLONG kLogOutsideTable = 0;
constexpr MQLONG kLogInTable = 1;

MQLONG ParseDisplayLog(std::string_view s, MQLONG* state, RecordSink* sink) {
  std::vector<std::string_view> w = LogWords(s);
  std::string_view w1 = WordAt(w, 1), w2 = WordAt(w, 2);
  if (w2 == "parameters:" && (w1 == "Initial" || w1 == "Current")) {
    MQLONG maxrtu = 0, deallct = 0;
    if (!NumberAfter(WordAt(w, 3), "MAXRTU=", &maxrtu) ||
        !NumberAfter(WordAt(w, 4), "DEALLCT=", &deallct))
      return EXRC_MQSC_BAD_LOG_REPLY;
    bool initial = w1 == "Initial";
    sink->Integer(initial ? MQSC_LOG_INITIAL_MAXRTU : MQSC_LOG_CURRENT_MAXRTU,
                  maxrtu);
    sink->Integer(initial ? MQSC_LOG_INITIAL_DEALLCT : MQSC_LOG_CURRENT_DEALLCT,
                  deallct);
    return 0;
  }
  if (w1 == "End" && w2 == "of") {
    *state = kLogOutsideTable;
    return 0;
  }
  if (*state != kLogInTable) {
    if (w1 == "----" && w2 == "--") {
      *state = kLogInTable;
      return 0;
    }
    return EXRC_MQSC_BAD_LOG_REPLY;
  }
  if (w1 == "No" && w2 == "tape") {
    *state = kLogOutsideTable;
    return 0;
  }
  if (w.size() < 5) {  // anything else ends the table
    *state = kLogOutsideTable;
    return 0;
  }
  MQLONG status = 0;
  switch (w[1].front()) {
    case 'A': status = 1; break;
    case 'P': status = 2; break;
    case 'B': status = 3; break;
    default: status = 0; break;
  }
  sink->String(MQSC_LOG_COPY_NAME, w[0]);
  sink->Integer(MQSC_LOG_COPY_STATUS, status);
  sink->String(MQSC_LOG_COPY_WORD3, w[2]);
  sink->String(MQSC_LOG_COPY_WORD4, w[3]);
  sink->String(MQSC_LOG_COPY_WORD5, w[4]);
  return 0;
}

// DISPLAY GROUP states carried in *extra.
constexpr MQLONG kGroupIdle = 0;
constexpr MQLONG kGroupMembersExpected = 1;
constexpr MQLONG kGroupStructuresExpected = 2;
constexpr MQLONG kGroupMemberRows = 3;
constexpr MQLONG kGroupStructureRows = 4;

MQLONG WordCode(std::string_view word,
                std::initializer_list<std::string_view> words) {
  MQLONG code = 1;
  for (std::string_view w : words) {
    if (word == w) return code;
    ++code;
  }
  return 0;
}

MQLONG ParseDisplayGroup(std::string_view s, MQLONG* state, RecordSink* sink) {
  std::vector<std::string_view> w = LogWords(s);
  std::string_view w1 = WordAt(w, 1), w2 = WordAt(w, 2);
  if (w1 == "CSQ5100I" || w1 == "CSQ9022I") {
    *state = kGroupIdle;
    return 0;
  }
  if (w1 == "CSQ5102I") {
    if (w.size() < 7) return EXRC_MQSC_BAD_LOG_REPLY;
    sink->String(MQSC_GROUP_NAME, w[6]);
    *state = kGroupMembersExpected;
    return 0;
  }
  if (w1 == "CSQ5103I") {
    *state = kGroupStructuresExpected;
    return 0;
  }
  if ((*state == kGroupMembersExpected || *state == kGroupStructuresExpected) &&
      w1 == "Name") {
    *state = *state == kGroupMembersExpected ? kGroupMemberRows
                                             : kGroupStructureRows;
    return 0;
  }
  if (*state != kGroupMemberRows && *state != kGroupStructureRows)
    return EXRC_MQSC_BAD_LOG_REPLY;
  if ((w1 == "End" && w2 == "of") ||
      (w1 == "Report" && (w2 == "terminated," || w2 == "terminate,"))) {
    *state = kGroupIdle;
    return 0;
  }
  if (*state == kGroupMemberRows) {
    if (w.size() < 7) return EXRC_MQSC_BAD_LOG_REPLY;
    sink->String(MQSC_GROUP_MEMBER_NAME, w[0]);
    sink->String(MQSC_GROUP_MEMBER_WORD2, w[1]);
    sink->String(MQSC_GROUP_MEMBER_WORD3, w[2]);
    sink->Integer(MQSC_GROUP_MEMBER_STATE,
                  WordCode(w[3], {"ACTIVE", "INACTIVE", "FAILED", "CREATED"}));
    sink->String(MQSC_GROUP_MEMBER_WORD5, w[4]);
    sink->String(MQSC_GROUP_MEMBER_WORD6, w[5]);
    sink->Integer(MQSC_GROUP_MEMBER_DB2_STATE,
                  WordCode(w[6], {"ACTIVE", "PENDING", "FAILED", "INACTIVE"}));
    return 0;
  }
  if (w.size() < 6) return EXRC_MQSC_BAD_LOG_REPLY;
  size_t next = 5;  // word 5, counted from 1
  MQLONG struc_state = 0;
  if (w[3] == "VALID") {
    struc_state = 1;
  } else if (w[3] == "INVALID") {
    struc_state = 2;
  } else if (w[3] == "NOT" && w[4] == "FOUND") {
    struc_state = 0;
    next = 6;
  }
  sink->String(MQSC_GROUP_STRUC_NAME, w[0]);
  sink->Integer(MQSC_GROUP_STRUC_WORD2, ColumnNumber(w[1]));
  sink->Integer(MQSC_GROUP_STRUC_WORD3, ColumnNumber(w[2]));
  sink->Integer(MQSC_GROUP_STRUC_STATE, struc_state);
  sink->Integer(MQSC_GROUP_STRUC_WORD5, ColumnNumber(WordAt(w, next)));
  sink->Integer(MQSC_GROUP_STRUC_WORD6, ColumnNumber(WordAt(w, next + 1)));
  return 0;
}

// The text of a message with storage (payload after the 136-byte header);
// false when the message cannot hold one.
bool PayloadOf(const Message* m, std::string_view* out) {
  if (m == nullptr || m->Storage == nullptr || m->Payload == nullptr)
    return false;
  MQLONG length = m->UsedLength - MESSAGE_HEADER_LENGTH;
  if (length < 0 || m->UsedLength > m->Capacity) return false;
  *out = std::string_view(reinterpret_cast<const char*>(m->Payload),
                          static_cast<size_t>(length));
  return true;
}

}  // namespace
}  // namespace pcfcore

// ---- 5. Exported wrappers -----------------------------------------------------

extern "C" MQLONG tlxPcf2Mqsc(const mqPcfMessage* pcf, Message* text,
                              MQLONG line_breaks, MQLONG* comp_code,
                              MQLONG* reason, MQLONG* extra) {
  Set(extra, 0);
  auto fail = [&](MQLONG r) -> MQLONG {
    Set(comp_code, MQCC_FAILED);
    Set(reason, r);
    return r;
  };
  if (text == nullptr) return fail(EXRC_MQSC_NO_ROOM);
  std::memcpy(text->Md.Format, MQFMT_STRING, sizeof text->Md.Format);
  MQLONG room = 0;
  if (text->Storage != nullptr && text->Payload != nullptr)
    room = text->Capacity - MESSAGE_HEADER_LENGTH;
  if (room < 0) room = 0;
  if (pcf == nullptr || pcf->Cfh == nullptr || pcf->Body.Payload == nullptr ||
      pcf->Body.UsedLength > pcf->Body.Capacity)
    return fail(EXRC_MQSC_NOT_CONVERTIBLE);
  MQLONG body_length = PCF_BODY_LENGTH(pcf);
  const unsigned char* body = PCF_BODY(pcf);
  if (body_length < MQCFH_STRUC_LENGTH) return fail(EXRC_MQSC_NOT_CONVERTIBLE);
  MQLONG command = ReadLong(body + 12);

  MQLONG written = 0;
  if (command == MQCMD_ESCAPE) {
    bool have_type = false, have_text = false;
    MQLONG escape_type = 0;
    std::string_view escape_text;
    MQLONG walk = WalkRecords(body, body_length, [&](const Record& r) -> MQLONG {
      if (r.type == MQCFT_INTEGER && r.length >= MQCFIN_STRUC_LENGTH &&
          r.parameter == MQIACF_ESCAPE_TYPE && !have_type) {
        have_type = true;
        escape_type = ReadLong(r.p + 12);
      } else if (r.type == MQCFT_STRING && r.parameter == MQCACF_ESCAPE_TEXT &&
                 !have_text) {
        if (!StringOf(r, &escape_text)) return EXRC_MQSC_NOT_CONVERTIBLE;
        have_text = true;
      }
      return 0;
    });
    if (walk != 0) return fail(walk);
    if (!have_type || escape_type != MQET_MQSC)
      return fail(MQRCCF_ESCAPE_TYPE_ERROR);
    if (!have_text) return fail(MQRCCF_PARM_COUNT_TOO_SMALL);
    if (escape_text.size() > static_cast<size_t>(room))
      return fail(EXRC_MQSC_NO_ROOM);
    if (!escape_text.empty())
      std::memcpy(text->Payload, escape_text.data(), escape_text.size());
    written = static_cast<MQLONG>(escape_text.size());
    Set(extra, 1);
  } else {
    // The conversion works on a copy: an inquiry for every queue type loses
    // its TYPE(ALL) record there, and the caller's message stays as it was.
    std::vector<unsigned char> copy(body, body + body_length);
    if (command == MQCMD_INQUIRE_Q || command == MQCMD_INQUIRE_Q_NAMES) {
      unsigned char* base = copy.data();
      WalkRecords(base, body_length, [&](const Record& r) -> MQLONG {
        if (r.type == MQCFT_INTEGER && r.length >= MQCFIN_STRUC_LENGTH &&
            r.parameter == MQIA_Q_TYPE && ReadLong(r.p + 12) == MQQT_ALL)
          WriteLong(base + (r.p - base), 0);
        return 0;
      });
    }
    written = room;
    MQLONG r = 0, items = 0;
    if (!PcfToMqsc(copy.data(), body_length,
                   reinterpret_cast<char*>(text->Payload), &written,
                   line_breaks, &r, &items))
      return fail(r);
    Set(extra, items);
  }
  text->UsedLength = MESSAGE_HEADER_LENGTH + written;
  Set(comp_code, MQCC_OK);
  Set(reason, MQRC_NONE);
  return text->UsedLength;
}

extern "C" int tlxMqsc2Pcf(const Message* text, mqPcfMessage* pcf,
                           MQLONG* comp_code, MQLONG* reason, MQLONG* extra) {
  auto finish = [&](MQLONG r) {
    Set(comp_code, r == 0 ? MQCC_OK : MQCC_FAILED);
    Set(reason, r);
    return r == 0 ? 1 : 0;
  };
  std::string_view payload;
  if (!PayloadOf(text, &payload) || pcf == nullptr || pcf->Cfh == nullptr ||
      pcf->Body.Storage == nullptr)
    return finish(EXRC_MQSC_NOT_CONVERTIBLE);
  MQLONG command = pcf->Cfh->Command;

  // Every NUL but the last becomes a blank (replies are blank-separated
  // words; some senders pad them with NULs).
  std::string s(payload);
  if (!s.empty() && s.back() == '\0') s.pop_back();
  for (char& c : s)
    if (c == '\0') c = ' ';

  switch (command) {
    case MQCMD_ESCAPE:
    case EXCMD_SET_LOG:
    case EXCMD_DISPLAY_LOG:
    case EXCMD_DISPLAY_GROUP: {
      RecordSink sink(pcf);
      MQLONG r = 0;
      if (command == MQCMD_ESCAPE) {
        sink.String(MQCACF_ESCAPE_TEXT, s);
        Set(extra, sink.count());
      } else if (command == EXCMD_SET_LOG) {
        r = ParseSetLog(s, &sink);
        Set(extra, sink.count());
      } else {
        MQLONG state = extra != nullptr ? *extra : 0;
        r = command == EXCMD_DISPLAY_LOG ? ParseDisplayLog(s, &state, &sink)
                                         : ParseDisplayGroup(s, &state, &sink);
        Set(extra, state);
      }
      RawToPcf(pcf);
      if (sink.failed()) return finish(EXRC_MQSC_NO_ROOM);
      return finish(r);
    }
    default:
      break;
  }

  MQLONG room = pcf->Body.Capacity - MESSAGE_HEADER_LENGTH;
  if (room < MQCFH_STRUC_LENGTH) {
    Set(extra, 0);
    return finish(EXRC_MQSC_NO_ROOM);
  }
  MQLONG body_length = room;
  MQLONG r = 0;
  int ok = MqscToPcf(s.data(), static_cast<MQLONG>(s.size()),
                     pcf->Body.Payload, &body_length, command, &r, extra);
  pcf->Body.UsedLength = MESSAGE_HEADER_LENGTH + body_length;
  pcf->Body.Md.MsgType = MQMT_REPLY;
  pcf->Cfh = reinterpret_cast<MQCFH*>(pcf->Body.Payload);
  RawToPcf(pcf);
  return finish(ok ? 0 : r);
}
