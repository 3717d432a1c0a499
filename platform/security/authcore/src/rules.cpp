// Parsing the rules file and deciding from it.

#include "rules.h"

#include <cctype>

namespace authcore {
namespace {

constexpr std::size_t kMaxLineBytes = 4096;

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    out.push_back(line.substr(start, i - start));
  }
  return out;
}

char Fold(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

bool MaskMatches(std::string_view mask, std::string_view text) {
  // Greedy with one backtrack point: the last '*' seen. Linear in practice
  // and never recursive, so a hostile mask cannot exhaust the stack.
  std::size_t m = 0, t = 0;
  std::size_t star = std::string_view::npos, star_t = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star = m++;
      star_t = t;
    } else if (m < mask.size() && (mask[m] == '?' || Fold(mask[m]) == Fold(text[t]))) {
      ++m;
      ++t;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      t = ++star_t;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

RuleSet ParseRules(std::string_view text) {
  RuleSet set;
  bool default_seen = false;
  int line_no = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto fail = [&](const std::string& why) {
      set = RuleSet{};
      set.error = "line " + std::to_string(line_no) + ": " + why;
      return set;
    };
    if (line.size() > kMaxLineBytes) return fail("line too long");
    if (line.find('\0') != std::string_view::npos) return fail("NUL byte");
    std::vector<std::string_view> f = SplitFields(line);
    if (f.empty() || f[0][0] == '#') continue;
    if (f[0] == "default") {
      if (f.size() != 2 || (f[1] != "allow" && f[1] != "deny")) {
        return fail("expected \"default allow\" or \"default deny\"");
      }
      if (default_seen) return fail("second \"default\" line");
      default_seen = true;
      set.default_allow = f[1] == "allow";
      continue;
    }
    RuleKind kind;
    if (f[0] == "allow") {
      kind = RuleKind::kAllow;
    } else if (f[0] == "deny") {
      kind = RuleKind::kDeny;
    } else if (f[0] == "trust") {
      kind = RuleKind::kTrust;
    } else if (f[0] == "distrust") {
      kind = RuleKind::kDistrust;
    } else {
      return fail("unknown keyword \"" + std::string(f[0]) + "\"");
    }
    if (f.size() != 4) return fail("expected a keyword and three masks");
    set.rules.push_back(Rule{kind, {std::string(f[1]), std::string(f[2]), std::string(f[3])}, line_no});
  }
  set.valid = true;
  return set;
}

Decision Decide(const RuleSet& set, bool trust, std::string_view a,
                std::string_view b, std::string_view c) {
  if (!set.valid) return {false, 0};
  for (const Rule& r : set.rules) {
    bool is_trust_rule = r.kind == RuleKind::kTrust || r.kind == RuleKind::kDistrust;
    if (is_trust_rule != trust) continue;
    if (MaskMatches(r.masks[0], a) && MaskMatches(r.masks[1], b) &&
        MaskMatches(r.masks[2], c)) {
      return {r.kind == RuleKind::kAllow || r.kind == RuleKind::kTrust, r.line};
    }
  }
  return {set.default_allow, 0};
}

}  // namespace authcore
