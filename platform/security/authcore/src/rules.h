// rules.h: the parsed authority rules and the mask matcher.
#ifndef AUTHCORE_RULES_H_
#define AUTHCORE_RULES_H_

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace authcore {

enum class RuleKind { kAllow, kDeny, kTrust, kDistrust };

struct Rule {
  RuleKind kind;
  std::array<std::string, 3> masks;  // user, object/peer, command/host
  int line;
};

struct RuleSet {
  bool valid = false;          // false: every decision is "no"
  bool default_allow = false;  // "default allow" in the file
  std::vector<Rule> rules;     // in file order; the first match decides
  std::string error;           // why the file is not valid
};

// The rules file: $HRLCOMPACT_AUTH_RULES, else security/authority.rules
// under the install directory (os/install_dir.h).
std::string RulesPath();

// Parses rules text; the result is invalid (with error naming the line) when
// any line does not parse.
RuleSet ParseRules(std::string_view text);

// Case-insensitive match of text against mask: '*' matches any run of
// characters (also none), '?' exactly one; every other character itself.
bool MaskMatches(std::string_view mask, std::string_view text);

struct Decision {
  bool yes;
  int line;  // rule line that decided; 0 for the default or an invalid file
};

// Decides with the command rules (allow/deny) or the trust rules
// (trust/distrust).
Decision Decide(const RuleSet& set, bool trust, std::string_view a,
                std::string_view b, std::string_view c);

}  // namespace authcore

#endif  // AUTHCORE_RULES_H_
