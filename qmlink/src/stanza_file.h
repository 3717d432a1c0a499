// The stanza files of an MQ installation (mqs.ini, qm.ini): a line
// "Name:" opens a stanza, "Key=Value" lines below it belong to it until
// the next stanza line. Keys compare without regard to ASCII case; a value
// runs to the end of its line, blanks inside kept, blanks at either end
// (and a CR) dropped. Lines that are neither (comments, blank lines,
// anything else) are ignored, so any bytes parse.
#ifndef QMLINK_SRC_STANZA_FILE_H_
#define QMLINK_SRC_STANZA_FILE_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qmlink {

struct Stanza {
  std::string name;  // without the ":"
  std::vector<std::pair<std::string, std::string>> entries;
  // The last value of key, when the stanza has one.
  std::optional<std::string> Get(std::string_view key) const;
};

std::vector<Stanza> ParseStanzas(std::string_view text);

// Reads a whole file of at most max_bytes; nullopt when it cannot be opened
// or read, or is larger (a stanza file is a few kilobytes).
std::optional<std::string> ReadTextFile(const std::string& path, size_t max_bytes = 16 << 20);

bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace qmlink

#endif  // QMLINK_SRC_STANZA_FILE_H_
