#include "ini.h"

#include <cctype>

namespace mqsim {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string IniStanza::Get(std::string_view key) const {
  for (const auto& [k, v] : entries)
    if (EqualsNoCase(k, key)) return v;
  return "";
}

void IniStanza::Set(std::string_view key, std::string_view value) {
  for (auto& [k, v] : entries) {
    if (EqualsNoCase(k, key)) {
      v = value;
      return;
    }
  }
  entries.emplace_back(std::string(key), std::string(value));
}

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  IniStanza* current = nullptr;
  while (!text.empty()) {
    size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    line = Trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      if (line.back() == ':') {
        line.remove_suffix(1);
        current = &ini.Add(Trim(line));
      }
      continue;  // neither a stanza nor a key: ignored
    }
    if (current == nullptr) continue;  // keys before any stanza are ignored
    current->entries.emplace_back(std::string(Trim(line.substr(0, eq))),
                                  std::string(Trim(line.substr(eq + 1))));
  }
  return ini;
}

std::string IniFile::Format() const {
  std::string out;
  for (const auto& s : stanzas) {
    out += s.name + ":\n";
    for (const auto& [k, v] : s.entries) out += "   " + k + "=" + v + "\n";
    out += "\n";
  }
  return out;
}

IniStanza* IniFile::Find(std::string_view name) {
  for (auto& s : stanzas)
    if (EqualsNoCase(s.name, name)) return &s;
  return nullptr;
}

const IniStanza* IniFile::Find(std::string_view name) const {
  for (const auto& s : stanzas)
    if (EqualsNoCase(s.name, name)) return &s;
  return nullptr;
}

IniStanza& IniFile::Add(std::string_view name) {
  stanzas.push_back(IniStanza{std::string(name), {}});
  return stanzas.back();
}

}  // namespace mqsim
