// Fuzz target: the stanza-file reader of mqs.ini and qm.ini. Any bytes
// must parse without a crash, and every stanza name and key it returns is
// trimmed and free of line ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "stanza_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const qmlink::Stanza& s : qmlink::ParseStanzas(text)) {
    if (s.name.find('\n') != std::string::npos) std::abort();
    for (const auto& [key, value] : s.entries) {
      if (key.empty() || key.find('\n') != std::string::npos || value.find('\n') != std::string::npos) std::abort();
      if (!value.empty() && (value.back() == ' ' || value.back() == '\r')) std::abort();
      (void)s.Get(key);
    }
  }
  return 0;
}
