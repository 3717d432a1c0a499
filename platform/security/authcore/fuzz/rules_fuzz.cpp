// Fuzz target for the authority rules parser and the decision over it. The
// input is the rules file's text; every decision on a set that did not parse
// must be "no".

#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <string_view>

#include "rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 64 * 1024) return 0;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  authcore::RuleSet set = authcore::ParseRules(text);
  const std::string_view probes[][3] = {
      {"ADMIN", "G\\N1\\QM1\\APP.Q\\11", "13"},
      {"", "", ""},
      {"bob", "127.0.0.1", "host.example"},
  };
  for (const auto& p : probes) {
    for (bool trust : {false, true}) {
      authcore::Decision d = authcore::Decide(set, trust, p[0], p[1], p[2]);
      if (!set.valid && d.yes) std::abort();
      if (d.line < 0) std::abort();
    }
  }
  // Every mask of a parsed rule is matched against text of its own making.
  for (const authcore::Rule& r : set.rules) {
    for (const std::string& mask : r.masks) authcore::MaskMatches(mask, mask);
  }
  return 0;
}
