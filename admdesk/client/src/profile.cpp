// The verbatim INI profile: parsing, lookups that ignore ASCII case, and the
// durable rewrite after every change.

#include "admclient/profile.h"

#include <errno.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sstream>

#include "os/files.h"
#include "os/paths.h"

namespace admclient {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool HasLineBreak(std::string_view text) {
  return text.find('\n') != std::string_view::npos || text.find('\r') != std::string_view::npos;
}

}  // namespace

int Profile::GetInt(std::string_view section, std::string_view key, int fallback) const {
  if (!HasKey(section, key)) return fallback;
  std::string text = GetString(section, key);
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(begin, &end, 10);
  if (end == begin || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return fallback;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return fallback;
  return static_cast<int>(value);
}

bool Profile::WriteInt(std::string_view section, std::string_view key, int value) {
  return WriteString(section, key, std::to_string(value));
}

std::string DefaultProfilePath() {
  const char* own = std::getenv(kProfileVariable);
  if (own != nullptr && own[0] != '\0') return own;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return os::JoinPath(os::JoinPath(xdg, "brackwin"), "admdesk.ini");
  const char* home = std::getenv("HOME");
  std::string base = (home != nullptr && home[0] != '\0') ? home : ".";
  return os::JoinPath(os::JoinPath(os::JoinPath(base, ".config"), "brackwin"), "admdesk.ini");
}

IniProfile::IniProfile(std::string path) : path_(std::move(path)) {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;
  std::stringstream text;
  text << in.rdbuf();
  Parse(text.str());
}

void IniProfile::Parse(std::string_view text) {
  sections_.clear();
  Section* current = nullptr;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    start = end + 1;
    while (!line.empty() && line.back() == '\r') line.pop_back();  // CRLF, and stray CRs before it
    if (!line.empty() && line.front() == '[') {
      size_t close = line.rfind(']');
      if (close == std::string::npos || close == 0) continue;
      std::string name = line.substr(1, close - 1);
      current = Find(name);
      if (current == nullptr) {
        sections_.push_back({name, {}});
        current = &sections_.back();
      }
      continue;
    }
    size_t equals = line.find('=');
    if (current == nullptr || equals == std::string::npos || equals == 0) continue;
    std::string key = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    bool replaced = false;
    for (auto& entry : current->keys) {
      if (SameName(entry.first, key)) {
        entry.second = value;  // a repeated key: the last one wins
        replaced = true;
        break;
      }
    }
    if (!replaced) current->keys.emplace_back(std::move(key), std::move(value));
  }
}

IniProfile::Section* IniProfile::Find(std::string_view section) {
  for (auto& s : sections_) {
    if (SameName(s.name, section)) return &s;
  }
  return nullptr;
}

const IniProfile::Section* IniProfile::Find(std::string_view section) const {
  for (const auto& s : sections_) {
    if (SameName(s.name, section)) return &s;
  }
  return nullptr;
}

std::string IniProfile::GetString(std::string_view section, std::string_view key,
                                  std::string_view fallback) const {
  const Section* s = Find(section);
  if (s != nullptr) {
    for (const auto& entry : s->keys) {
      if (SameName(entry.first, key)) return entry.second;
    }
  }
  return std::string(fallback);
}

bool IniProfile::HasKey(std::string_view section, std::string_view key) const {
  const Section* s = Find(section);
  if (s == nullptr) return false;
  for (const auto& entry : s->keys) {
    if (SameName(entry.first, key)) return true;
  }
  return false;
}

bool IniProfile::WriteString(std::string_view section, std::string_view key,
                             std::string_view value) {
  if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
      HasLineBreak(value) || key.find('=') != std::string_view::npos ||
      key.front() == '[' || section.find(']') != std::string_view::npos) {
    error_ = "a profile name or value cannot hold a line break, \"=\" or \"]\"";
    return false;
  }
  Section* s = Find(section);
  if (s == nullptr) {
    sections_.push_back({std::string(section), {}});
    s = &sections_.back();
  }
  for (auto& entry : s->keys) {
    if (SameName(entry.first, key)) {
      entry.second = std::string(value);
      return Save();
    }
  }
  s->keys.emplace_back(std::string(key), std::string(value));
  return Save();
}

bool IniProfile::DeleteKey(std::string_view section, std::string_view key) {
  Section* s = Find(section);
  if (s == nullptr) return true;
  for (auto it = s->keys.begin(); it != s->keys.end(); ++it) {
    if (SameName(it->first, key)) {
      s->keys.erase(it);
      return Save();
    }
  }
  return true;
}

std::string IniProfile::Text() const {
  std::string text;
  for (const auto& s : sections_) {
    if (!text.empty()) text += '\n';
    text += '[' + s.name + "]\n";
    for (const auto& entry : s.keys) text += entry.first + '=' + entry.second + '\n';
  }
  return text;
}

bool IniProfile::Save() {
  size_t slash = path_.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    std::string dir = path_.substr(0, slash);
    if (osMakeDirs(dir.c_str(), 0700) == 0) {
      error_ = "cannot create the directory " + dir + ": " + std::strerror(errno);
      return false;
    }
  }
  std::string text = Text();
  if (osReplaceFile(path_.c_str(), text.data(), text.size(), 0600) == 0) {
    error_ = "cannot write " + path_ + ": " + std::strerror(errno);
    return false;
  }
  error_.clear();
  return true;
}

}  // namespace admclient
