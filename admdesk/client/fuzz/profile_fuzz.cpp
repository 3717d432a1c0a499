// Fuzzes the console profile's parser: any text gives a profile whose
// written form parses back to the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "admclient/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  admclient::IniProfile profile("/nonexistent/admdesk-fuzz.ini");
  profile.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string once = profile.Text();
  profile.Parse(once);
  if (profile.Text() != once) __builtin_trap();
  profile.GetInt("Connections", "Number of Connections", 0);
  return 0;
}
