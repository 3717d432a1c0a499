// Fuzz target: the server's decoders of outside input. The first byte picks
// a request type (client, control, or a journal batch); the rest is its
// payload. Every decoder must return false cleanly on bad input.
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/ini.h"
#include "common/protocol.h"
#include "server/journal.h"

using namespace mqsim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::span<const uint8_t> in(data + 1, size - 1);
  switch (data[0] % 11) {
    case 0: { ConnectRequest m; Decode(in, &m); break; }
    case 1: { OpenRequest m; Decode(in, &m); break; }
    case 2: { CloseRequest m; Decode(in, &m); break; }
    case 3: { PutRequest m; DecodePut(in, &m, false); break; }
    case 4: { PutRequest m; DecodePut(in, &m, true); break; }
    case 5: { GetRequest m; Decode(in, &m); break; }
    case 6: { InquireRequest m; Decode(in, &m); break; }
    case 7: { SetRequest m; Decode(in, &m); break; }
    case 8: { ControlRequest m; Decode(in, &m); break; }
    case 9: { server::ParseBatches(in, [](const server::JournalRecord&) {}); break; }
    case 10: {
      IniFile::Parse(std::string_view(reinterpret_cast<const char*>(in.data()), in.size())).Format();
      break;
    }
  }
  return 0;
}
