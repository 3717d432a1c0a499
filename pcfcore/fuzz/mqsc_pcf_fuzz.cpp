// Fuzzes the PCF-to-MQSC walker over a PCF command body taken as received,
// with and without line breaks and with a text room picked by the input.

#include <cstdint>
#include <cstring>
#include <vector>

#include "pcfcore/mqsc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16) return 0;
  std::vector<char> text(static_cast<size_t>(data[0]) * 16);
  std::vector<unsigned char> body(data + 1, data + size);
  for (MQLONG line_breaks = 0; line_breaks < 2; ++line_breaks) {
    MQLONG length = static_cast<MQLONG>(text.size());
    MQLONG reason = 0, count = 0;
    int ok = PcfToMqsc(body.data(), static_cast<MQLONG>(body.size()),
                       text.data(), &length, line_breaks, &reason, &count);
    if (ok && (length < 0 || static_cast<size_t>(length) > text.size()))
      __builtin_trap();
    if (!ok && reason == 0) __builtin_trap();
  }
  return 0;
}
