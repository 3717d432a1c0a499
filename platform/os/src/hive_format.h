// hive_format.h: the in-memory form of one registry hive and its text file
// format (docs/formats/registry-hive.md). Pure functions, no I/O.
#ifndef OS_SRC_HIVE_FORMAT_H_
#define OS_SRC_HIVE_FORMAT_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace os::hive {

inline constexpr std::string_view kMagicLine = "BRACKWIN-HIVE 1";

struct Value {
  std::string name;     // as created (case kept)
  uint32_t type = 0;    // REG_SZ or REG_DWORD
  std::string text;     // REG_SZ data, no NUL inside
  uint32_t number = 0;  // REG_DWORD data
};

struct Key {
  std::string path;                     // "A\B\C" as created; "" for the root
  std::map<std::string, Value> values;  // by folded name
};

// Invariants: the root key ("") is always present, and every key's parent
// is present, so sub-key enumeration only has to look at direct children.
struct Hive {
  std::map<std::string, Key> keys;  // by folded path
  Hive();
};

// ASCII lower case: key and value names compare without regard to case.
std::string Fold(std::string_view name);

// Splits a caller's key path on "\", dropping empty parts; false when a part
// is longer than the name limit.
bool SplitPath(std::string_view path, std::vector<std::string>* parts);
std::string JoinParts(const std::vector<std::string>& parts);

// Adds the key at path (and its missing parents, named as in path).
Key* AddKey(Hive* hive, const std::string& path);

// Parses a hive file's text. On failure returns false and a reason naming
// the line.
bool Parse(std::string_view text, Hive* hive, std::string* error);

// The file text of a hive; Parse(Serialize(h)) gives h back.
std::string Serialize(const Hive& hive);

}  // namespace os::hive

#endif  // OS_SRC_HIVE_FORMAT_H_
