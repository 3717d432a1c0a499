// Fuzzes the hive file reader: any text either is refused or parses into a
// hive that writes back to text which parses to the same hive.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "hive_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  os::hive::Hive hive;
  std::string error;
  if (!os::hive::Parse(text, &hive, &error)) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  std::string written = os::hive::Serialize(hive);
  os::hive::Hive again;
  if (!os::hive::Parse(written, &again, &error)) __builtin_trap();
  if (os::hive::Serialize(again) != written) __builtin_trap();
  return 0;
}
