// Plain node frames made from a fuzzer's input, for the fuzz targets that
// drive a program's command handling. The input is read as a small script
// of frames and records rather than as raw bytes, so that almost every
// input becomes a body the PCF indexer accepts and the fuzzer's effort goes
// into what the program does with well-formed but hostile content: wrong
// parameter types, missing and repeated parameters, huge and negative
// values, strings without blanks or NULs, lists of odd counts, counts that
// lie.
//
// Grammar (every read past the end of the input yields zero bytes, and the
// script ends there):
//
//   input  := frame*
//   frame  := flags [delta] command head record* [0xFF]
//   flags  : bits 0-1  MQCFH Type: 0 or 1 command (1), 2 response (2),
//                      3 event (7)
//            bit 2     ReplyTag 0 (no answer wanted), else 1
//            bit 3     a delta byte follows: the MQCFH ParameterCount is
//                      the true count plus that signed byte
//            bit 4     command: a 4-byte word, else one byte indexing the
//                      vocabulary's commands
//            bit 5     Control 0 (more follow), else 1 (last)
//            bits 6-7  target: which peer sends the frame (the fuzz target
//                      says what each of 0..3 means)
//   head   : one byte: bits 0-2 the reply wait (kFuzzWaits), bits 3-5 the
//            user (kFuzzUsers), bits 6-7 the request id: 0 "FUZZREQ", 1 the first
//            word a small number (the next byte), 2 all 0xFF, 3 zero
//   record := op id value
//   op     : bits 0-2  kind: 0 integer (MQCFIN), 1 string (MQCFST),
//                      2 integer list (MQCFIL), 3 string list (MQCFSL),
//                      4 raw bytes (EXCFT_BYTES, 999), 5 nested PCF
//                      (EXCFT_PCF, 998; the text is its content), 6 a
//                      record of a type from kFuzzRawTypes with a
//                      StrucLength word of its own and up to 255 bytes
//                      (most do not index), 7 end of the frame
//            bit 3     integers from kFuzzIntegers (one byte each), else
//                      4-byte words
//            bit 4     id: a 4-byte word, else one byte indexing the
//                      vocabulary's parameters
//            bits 5-6  string length: 0 one byte; 1 two bytes (at most
//                      kMaxFuzzedString); 2 one byte times 64, the text one
//                      repeated byte; 3 one byte, with a StringLength word
//                      from kFuzzIntegers that does not match it
//            bit 7     strings padded with NULs, else blanks
//   An op byte 0xFF also ends the frame.
//
// Bounds: at most max_frames frames, kMaxFuzzedRecords records per frame
// and kMaxFuzzedBody bytes per body (a record that would pass it ends the
// frame); list counts at most 64.
#ifndef HARROW_TESTSUPPORT_FUZZED_FRAMES_H_
#define HARROW_TESTSUPPORT_FUZZED_FRAMES_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "testsupport/raw_peer.h"

namespace harrow::testsupport {

// The command codes and parameter ids a program reads; index bytes of the
// input pick from them (modulo their sizes), so inputs hit what matters.
struct PcfVocabulary {
  std::vector<int32_t> commands;
  std::vector<int32_t> parameters;
};

struct FuzzedFrame {
  int target = 0;  // 0..3
  Bytes frame;     // 136-byte header and body, as PlainFrame makes them
  Bytes body;      // the body alone
};

inline constexpr size_t kMaxFuzzedString = 40000;
inline constexpr size_t kMaxFuzzedRecords = 200;
inline constexpr size_t kMaxFuzzedBody = 256 * 1024;

// The frames of a fuzzer input (see the grammar above).
std::vector<FuzzedFrame> FramesFromFuzzInput(const uint8_t* data, size_t size,
                                             const PcfVocabulary& vocabulary,
                                             size_t max_frames = 8);

// Takes the bodies of the whole plain frames at the start of stream out of
// it (a frame cut short stays for later). False when a length word is not
// one a writer of ours could have sent (below 36 or above 64 MB).
bool TakeWholeFrameBodies(Bytes* stream, std::vector<Bytes>* bodies);

// The tables the selector bytes index.
extern const int32_t kFuzzIntegers[32];
extern const int32_t kFuzzWaits[8];
extern const char* const kFuzzUsers[8];
extern const int32_t kFuzzRawTypes[8];

}  // namespace harrow::testsupport

#endif  // HARROW_TESTSUPPORT_FUZZED_FRAMES_H_
