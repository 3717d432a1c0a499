// The hive text format: parsing and writing. Layout of the file and the
// escaping rules: docs/formats/registry-hive.md.

#include "hive_format.h"

#include <cstdio>
#include <cstdlib>

#include "os/registry.h"

namespace os::hive {
namespace {

enum class Field { kPath, kName, kData };

// Bytes that never appear raw: controls, DEL, "%"; "=" also in value names,
// "[" and "]" also in key paths. They are written as %XX.
bool NeedsEscape(unsigned char c, Field field) {
  if (c < 0x20 || c == 0x7F || c == '%') return true;
  if (field == Field::kName) return c == '=';
  if (field == Field::kPath) return c == '[' || c == ']';
  return false;
}

void AppendEscaped(std::string* out, std::string_view text, Field field) {
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : text) {
    if (NeedsEscape(c, field)) {
      out->push_back('%');
      out->push_back(kHex[c >> 4]);
      out->push_back(kHex[c & 15]);
    } else {
      out->push_back(static_cast<char>(c));
    }
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unescape(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out->push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return false;
    int high = HexDigit(text[i + 1]);
    int low = HexDigit(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out->push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return true;
}

bool Fail(std::string* error, size_t line, const char* what) {
  *error = "line " + std::to_string(line) + ": " + what;
  return false;
}

}  // namespace

Hive::Hive() { keys[""].path = ""; }

std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

bool SplitPath(std::string_view path, std::vector<std::string>* parts) {
  parts->clear();
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) {
      if (end - start > OS_REG_MAX_NAME) return false;
      parts->emplace_back(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return true;
}

std::string JoinParts(const std::vector<std::string>& parts) {
  std::string path;
  for (const std::string& part : parts) {
    if (!path.empty()) path += '\\';
    path += part;
  }
  return path;
}

Key* AddKey(Hive* hive, const std::string& path) {
  std::vector<std::string> parts;
  SplitPath(path, &parts);
  std::string prefix;
  Key* key = &hive->keys[""];
  for (const std::string& part : parts) {
    if (!prefix.empty()) prefix += '\\';
    prefix += part;
    auto [it, added] = hive->keys.try_emplace(Fold(prefix));
    if (added) it->second.path = prefix;
    key = &it->second;
  }
  return key;
}

bool Parse(std::string_view text, Hive* hive, std::string* error) {
  *hive = Hive();
  size_t line_number = 0;
  size_t pos = 0;
  Key* current = nullptr;
  bool saw_magic = false;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!saw_magic) {
      if (line != kMagicLine) return Fail(error, line_number, "not a hive file (bad first line)");
      saw_magic = true;
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return Fail(error, line_number, "key line without closing ]");
      std::string path;
      if (!Unescape(line.substr(1, line.size() - 2), &path)) {
        return Fail(error, line_number, "bad % escape in key path");
      }
      std::vector<std::string> parts;
      if (!SplitPath(path, &parts)) return Fail(error, line_number, "key name too long");
      if (JoinParts(parts) != path) return Fail(error, line_number, "empty name in key path");
      current = AddKey(hive, path);
      continue;
    }
    if (current == nullptr) return Fail(error, line_number, "value before the first key line");
    size_t colon = line.find(':');
    size_t equals = line.find('=');
    if (colon == std::string_view::npos || equals == std::string_view::npos || equals < colon) {
      return Fail(error, line_number, "value line is not type:name=data");
    }
    std::string_view type = line.substr(0, colon);
    Value value;
    if (!Unescape(line.substr(colon + 1, equals - colon - 1), &value.name)) {
      return Fail(error, line_number, "bad % escape in value name");
    }
    if (value.name.size() > OS_REG_MAX_NAME) return Fail(error, line_number, "value name too long");
    std::string_view data = line.substr(equals + 1);
    if (type == "sz") {
      value.type = REG_SZ;
      if (!Unescape(data, &value.text)) return Fail(error, line_number, "bad % escape in string");
      if (value.text.find('\0') != std::string::npos) {
        return Fail(error, line_number, "NUL inside a string value");
      }
    } else if (type == "dword") {
      value.type = REG_DWORD;
      if (data.empty() || data.size() > 10) return Fail(error, line_number, "bad dword");
      uint64_t number = 0;
      for (char c : data) {
        if (c < '0' || c > '9') return Fail(error, line_number, "bad dword");
        number = number * 10 + static_cast<uint64_t>(c - '0');
      }
      if (number > 0xFFFFFFFFull) return Fail(error, line_number, "dword out of range");
      value.number = static_cast<uint32_t>(number);
    } else {
      return Fail(error, line_number, "unknown value type");
    }
    std::string folded = Fold(value.name);
    current->values[folded] = std::move(value);
  }
  if (!saw_magic && !text.empty()) return Fail(error, 1, "not a hive file (bad first line)");
  return true;
}

std::string Serialize(const Hive& hive) {
  std::string out(kMagicLine);
  out += '\n';
  for (const auto& [folded, key] : hive.keys) {
    if (folded.empty() && key.values.empty()) continue;
    out += '[';
    AppendEscaped(&out, key.path, Field::kPath);
    out += "]\n";
    for (const auto& [folded_name, value] : key.values) {
      if (value.type == REG_DWORD) {
        out += "dword:";
        AppendEscaped(&out, value.name, Field::kName);
        out += '=';
        out += std::to_string(value.number);
      } else {
        out += "sz:";
        AppendEscaped(&out, value.name, Field::kName);
        out += '=';
        AppendEscaped(&out, value.text, Field::kData);
      }
      out += '\n';
    }
  }
  return out;
}

}  // namespace os::hive
