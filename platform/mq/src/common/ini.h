// The stanza files of an MQ installation (mqs.ini, qm.ini): "Name:" lines
// open a stanza, "Key=Value" lines below belong to it. Reading accepts CRLF,
// leading blanks and '#' or ';' comment lines; keys keep their case and are
// compared without case. Writing gives three blanks before each key and a
// blank line after each stanza. Format: docs/formats/mqsim-data.md.
#ifndef MQSIM_COMMON_INI_H_
#define MQSIM_COMMON_INI_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mqsim {

struct IniStanza {
  std::string name;
  std::vector<std::pair<std::string, std::string>> entries;

  // Value of key (case-insensitive), or "" when absent.
  std::string Get(std::string_view key) const;
  void Set(std::string_view key, std::string_view value);
};

struct IniFile {
  std::vector<IniStanza> stanzas;

  static IniFile Parse(std::string_view text);
  std::string Format() const;
  // First stanza with this name, or null.
  IniStanza* Find(std::string_view name);
  const IniStanza* Find(std::string_view name) const;
  IniStanza& Add(std::string_view name);
};

bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace mqsim

#endif  // MQSIM_COMMON_INI_H_
