#include "stanza_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

namespace qmlink {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::optional<std::string> Stanza::Get(std::string_view key) const {
  std::optional<std::string> value;
  for (const auto& [k, v] : entries)
    if (EqualsNoCase(k, key)) value = v;
  return value;
}

std::vector<Stanza> ParseStanzas(std::string_view text) {
  std::vector<Stanza> stanzas;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      if (line.size() > 1 && line.back() == ':') stanzas.push_back({std::string(Trim(line.substr(0, line.size() - 1))), {}});
      continue;
    }
    if (stanzas.empty()) continue;  // a value outside any stanza belongs to none
    std::string_view key = Trim(line.substr(0, eq));
    if (key.empty()) continue;
    stanzas.back().entries.emplace_back(std::string(key), std::string(Trim(line.substr(eq + 1))));
  }
  return stanzas;
}

std::optional<std::string> ReadTextFile(const std::string& path, size_t max_bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[8192];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    if (text.size() + static_cast<size_t>(n) > max_bytes) {
      ::close(fd);
      return std::nullopt;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}

}  // namespace qmlink
