// Fuzzes the MQSC reply parsers: the keyword(value) walker for every command
// of the tables and the SET LOG, DISPLAY LOG and DISPLAY GROUP parsers.
//
// Input: byte 0 picks the command, byte 1 the room of the PCF message; the
// rest is reply text, cut at 0x01 bytes into the messages of one reply (the
// log and group parsers carry their state from one message to the next).
// Every response is converted back to MQSC text as well, and the records the
// conversion appended must index.

#include <cstdint>
#include <cstring>
#include <string_view>

#include "pcfcore/mqsc.h"
#include "pcfcore/pcf_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 1 << 16) return 0;
  const MqscCommand& command = MqscCommands[data[0] % MqscCommandCount];
  const MQLONG room = data[1] % 2 == 0 ? 64 + 8 * data[1] : 1 << 16;
  std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);

  mqPcfMessage* pcf = CreatePcfMessage(command.Command, MQCFT_RESPONSE, room);
  if (pcf == nullptr) return 0;
  Message text{};
  Message mqsc{};
  if (!CreateMessage(&text, static_cast<MQLONG>(rest.size())) ||
      !CreateMessage(&mqsc, 4096)) {
    DeleteMessage(&text);
    DeletePcfMessage(pcf);
    return 0;
  }
  MQLONG state = 0;
  while (true) {
    size_t cut = rest.find('\x01');
    std::string_view message = rest.substr(0, cut);
    std::memcpy(text.Payload, message.data(), message.size());
    text.UsedLength = static_cast<MQLONG>(136 + message.size());
    MQLONG cc = 0, reason = 0;
    int ok = tlxMqsc2Pcf(&text, pcf, &cc, &reason, &state);
    if ((ok == 1) != (cc == MQCC_OK)) __builtin_trap();
    if (pcf->Body.UsedLength > pcf->Body.Capacity) __builtin_trap();
    if (!RawToPcf(pcf)) __builtin_trap();  // what we wrote must index

    MQLONG extra = 0;
    MQLONG result = tlxPcf2Mqsc(pcf, &mqsc, 1, &cc, &reason, &extra);
    if (cc == MQCC_OK && result != mqsc.UsedLength) __builtin_trap();
    if (mqsc.UsedLength > mqsc.Capacity) __builtin_trap();

    // The walker straight into a small buffer.
    unsigned char body[256];
    MQLONG body_length = data[1] % 2 == 0 ? data[1] : sizeof body;
    MqscToPcf(message.data(), static_cast<MQLONG>(message.size()), body,
              &body_length, command.Command, &reason, &extra);
    if (body_length > static_cast<MQLONG>(sizeof body)) __builtin_trap();

    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  DeleteMessage(&mqsc);
  DeleteMessage(&text);
  DeletePcfMessage(pcf);
  return 0;
}
