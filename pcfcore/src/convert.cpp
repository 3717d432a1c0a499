// Byte order and character set conversion.
//
// Divisions:
//   1. Host flags, byte swapping, the two code page 500 tables
//   2. Node header and message header
//   3. PCF body walker

#include "pcfcore/convert.h"
#include "pcf_id_map.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

// ---- 1. Host flags, byte swapping, the two code page 500 tables --------

// EBCDIC (code page 500) to ASCII. A code point whose character is ASCII
// maps to it, every other to 0x00, except: 0x15 (new line) gives line feed
// like 0x25, 0x6A (broken bar) gives the vertical bar, and 0xBB (the code
// page's own vertical bar) gives 0x00, so that the vertical bar round-trips
// through 0x6A.
constexpr unsigned char kEbcdicToAscii[256] = {
    0x00, 0x01, 0x02, 0x03, 0x00, 0x09, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,  // 00
    0x10, 0x11, 0x12, 0x13, 0x00, 0x0A, 0x08, 0x00, 0x18, 0x19, 0x00, 0x00, 0x1C, 0x1D, 0x1E, 0x1F,  // 10
    0x00, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x17, 0x1B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x06, 0x07,  // 20
    0x00, 0x00, 0x16, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x14, 0x15, 0x00, 0x1A,  // 30
    0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5B, 0x2E, 0x3C, 0x28, 0x2B, 0x21,  // 40
    0x26, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5D, 0x24, 0x2A, 0x29, 0x3B, 0x5E,  // 50
    0x2D, 0x2F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7C, 0x2C, 0x25, 0x5F, 0x3E, 0x3F,  // 60
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x60, 0x3A, 0x23, 0x40, 0x27, 0x3D, 0x22,  // 70
    0x00, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 80
    0x00, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71, 0x72, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 90
    0x00, 0x7E, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // A0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // B0
    0x7B, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // C0
    0x7D, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // D0
    0x5C, 0x00, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // E0
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // F0
};

// ASCII to EBCDIC (code page 500), except line feed -> 0x15 and the vertical
// bar -> 0x6A. Every ASCII byte converts back to itself.
constexpr unsigned char kAsciiToEbcdic[128] = {
    0x00, 0x01, 0x02, 0x03, 0x37, 0x2D, 0x2E, 0x2F, 0x16, 0x05, 0x15, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,  // 00
    0x10, 0x11, 0x12, 0x13, 0x3C, 0x3D, 0x32, 0x26, 0x18, 0x19, 0x3F, 0x27, 0x1C, 0x1D, 0x1E, 0x1F,  // 10
    0x40, 0x4F, 0x7F, 0x7B, 0x5B, 0x6C, 0x50, 0x7D, 0x4D, 0x5D, 0x5C, 0x4E, 0x6B, 0x60, 0x4B, 0x61,  // 20
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0x7A, 0x5E, 0x4C, 0x7E, 0x6E, 0x6F,  // 30
    0x7C, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6,  // 40
    0xD7, 0xD8, 0xD9, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0x4A, 0xE0, 0x5A, 0x5F, 0x6D,  // 50
    0x79, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96,  // 60
    0x97, 0x98, 0x99, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xC0, 0x6A, 0xD0, 0xA1, 0x07,  // 70
};

// The EBCDIC substitute character, for bytes that are not ASCII.
constexpr unsigned char kEbcdicSubstitute = 0x3F;

// Fields are read and written through memcpy: a body from the wire need not
// be aligned.
MQLONG Load(const unsigned char* at) {
  MQLONG value;
  std::memcpy(&value, at, sizeof(value));
  return value;
}

void Store(unsigned char* at, MQLONG value) { std::memcpy(at, &value, sizeof(value)); }

void SwapAt(unsigned char* at) { Store(at, bwlong(Load(at))); }

void SwapFields(unsigned char* record, int first, int count) {
  for (int i = 0; i < count; ++i) SwapAt(record + 4 * (first + i));
}

}  // namespace

extern "C" {

int IsBgEndian(void) { return std::endian::native == std::endian::big ? 1 : 0; }
int IsLtEndian(void) { return std::endian::native == std::endian::little ? 1 : 0; }
int IsAscText(void) { return 'A' == 0x41 ? 1 : 0; }

unsigned char bwbyte(unsigned char byte) {
  return static_cast<unsigned char>((byte << 4) | (byte >> 4));
}

short bwshort(short value) {
  uint16_t v = static_cast<uint16_t>(value);
  return static_cast<short>(static_cast<uint16_t>((v << 8) | (v >> 8)));
}

MQLONG bwlong(MQLONG value) {
  uint32_t v = static_cast<uint32_t>(value);
  v = (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
  return static_cast<MQLONG>(v);
}

int TextConvert(const void* source, void* target, int count, int direction) {
  if (count < 1 || source == nullptr || target == nullptr) return count;
  const unsigned char* from = static_cast<const unsigned char*>(source);
  unsigned char* to = static_cast<unsigned char*>(target);
  for (int i = 0; i < count; ++i) {
    unsigned char c = from[i];
    if (direction == TEXT_ASCII_TO_EBCDIC) {
      to[i] = c < 128 ? kAsciiToEbcdic[c] : kEbcdicSubstitute;
    } else if (direction == TEXT_EBCDIC_TO_ASCII) {
      to[i] = kEbcdicToAscii[c];
    } else {
      to[i] = c;
    }
  }
  return count;
}

// ---- 2. Node header and message header ---------------------------------

int AlienToNativeExt(void* header) {
  if (header == nullptr) return 0;
  unsigned char* words = static_cast<unsigned char*>(header);
  // A flag of 0 reads 0 in either byte order, and the writer's 1 reads as
  // another nonzero value in the other order, so the raw comparison is right.
  if (Load(words + 8) != IsBgEndian()) {
    SwapAt(words + 0);
    SwapAt(words + 8);
    SwapAt(words + 12);
    SwapAt(words + 16);
  }
  if (Load(words + 12) != IsAscText()) {
    TextConvert(words + 20, words + 20, 12, IsAscText());
  }
  return Load(words) == NODE_HEADER_LENGTH ? 1 : 0;
}

int AlienToNative(Message* message) {
  if (message == nullptr || message->Storage == nullptr ||
      message->Capacity < MESSAGE_HEADER_LENGTH) {
    return 0;
  }
  MessageHeader* header = MESSAGE_HEADER(message);
  if (header->BigEndian != IsBgEndian()) {
    header->StrucLength = bwlong(header->StrucLength);
    header->Mark = bwlong(header->Mark);
    header->BigEndian = bwlong(header->BigEndian);
    header->AsciiText = bwlong(header->AsciiText);
    header->lUserMsgLength = bwlong(header->lUserMsgLength);
    header->WaitInterval = bwlong(header->WaitInterval);
    header->ReplyTag = bwlong(header->ReplyTag);
  }
  if (header->AsciiText != IsAscText()) {
    TextConvert(header->ApplName, header->ApplName, sizeof(header->ApplName), IsAscText());
    TextConvert(header->UserId, header->UserId, sizeof(header->UserId), IsAscText());
  }
  return header->StrucLength == MESSAGE_HEADER_LENGTH ? 1 : 0;
}

}  // extern "C"

// ---- 3. PCF body walker -------------------------------------------------

namespace {

// The fixed part every record of a type must have.
MQLONG MinimumLength(MQLONG type) {
  switch (type) {
    case MQCFT_COMMAND:
    case MQCFT_RESPONSE:
    case MQCFT_EVENT:
      return MQCFH_STRUC_LENGTH;
    case MQCFT_INTEGER:
    case MQCFT_INTEGER_LIST:
      return 16;
    case MQCFT_STRING:
    case EXCFT_PCF:
    case EXCFT_BYTES:
      return 20;
    case MQCFT_STRING_LIST:
      return 24;
    default:
      return 8;  // Type and StrucLength
  }
}

// Converts the records of one body; depth counts the nested bodies around it.
bool ConvertBody(unsigned char* body, bool swap, bool convert, int direction, int64_t length,
                 int depth) {
  if (length < 1) return true;
  if (depth > PCF_MAX_NESTING_DEPTH) return false;
  int64_t remaining = 1;  // records still expected; the MQCFH sets the count
  int64_t offset = 0;
  while (remaining > 0 && offset < length) {
    if (length - offset < 8) return false;
    unsigned char* record = body + offset;
    if (swap) SwapFields(record, 0, 2);
    MQLONG type = Load(record);
    int64_t struc_length = Load(record + 4);
    if (struc_length < MinimumLength(type) || struc_length > length - offset) return false;
    offset += struc_length;
    switch (type) {
      case MQCFT_COMMAND:
      case MQCFT_RESPONSE:
      case MQCFT_EVENT: {
        if (swap) SwapFields(record, 2, 7);
        MQLONG count = Load(record + 32);
        // A negative count indexes nothing, so nothing after the MQCFH.
        remaining = count < 0 ? 1 : static_cast<int64_t>(count) + 1;
        break;
      }
      case MQCFT_INTEGER:
        if (swap) SwapFields(record, 2, 2);
        break;
      case MQCFT_STRING: {
        if (swap) SwapFields(record, 2, 3);
        int64_t string_length = Load(record + 16);
        if (string_length < 0 || 20 + string_length > struc_length) return false;
        if (convert) TextConvert(record + 20, record + 20, static_cast<int>(string_length), direction);
        break;
      }
      case MQCFT_INTEGER_LIST: {
        if (swap) SwapFields(record, 2, 2);
        int64_t count = Load(record + 12);
        if (count < 0 || 16 + 4 * count > struc_length) return false;
        if (swap) SwapFields(record, 4, static_cast<int>(count));
        break;
      }
      case MQCFT_STRING_LIST: {
        if (swap) SwapFields(record, 2, 4);
        int64_t count = Load(record + 16);
        int64_t string_length = Load(record + 20);
        if (count < 0 || string_length < 0 || 24 + count * string_length > struc_length) {
          return false;
        }
        if (convert) {
          TextConvert(record + 24, record + 24, static_cast<int>(count * string_length), direction);
        }
        break;
      }
      case EXCFT_PCF: {
        if (swap) SwapFields(record, 2, 3);
        int64_t string_length = Load(record + 16);
        if (string_length < 0 || 20 + string_length > struc_length) return false;
        if (!ConvertBody(record + 20, swap, convert, direction, string_length, depth + 1)) {
          return false;
        }
        break;
      }
      case EXCFT_BYTES: {
        if (swap) SwapFields(record, 2, 3);
        int64_t string_length = Load(record + 16);
        if (string_length < 0 || 20 + string_length > struc_length) return false;
        break;  // raw bytes are never translated
      }
      default:
        break;  // nothing beyond Type and StrucLength is known
    }
    --remaining;
  }
  return true;
}

}  // namespace

extern "C" {

int AlienPcfBufferToNative(void* body, int swap, int convert, int direction, MQLONG length) {
  if (length < 1) return 1;
  if (body == nullptr) return 0;
  return ConvertBody(static_cast<unsigned char*>(body), swap != 0, convert != 0, direction, length, 0)
             ? 1
             : 0;
}

int AlienPcfToNative(mqPcfMessage* message) {
  if (message == nullptr || message->Body.Storage == nullptr ||
      message->Body.UsedLength < MESSAGE_HEADER_LENGTH ||
      message->Body.UsedLength > message->Body.Capacity) {
    return 0;
  }
  MessageHeader* header = MESSAGE_HEADER(&message->Body);
  MQLONG length = header->lUserMsgLength;
  // The length word came from the wire: it must describe bytes we hold.
  if (length < 0 || length > message->Body.UsedLength - MESSAGE_HEADER_LENGTH) return 0;
  int swap = header->BigEndian != IsBgEndian() ? 1 : 0;
  int convert = header->AsciiText != IsAscText() ? 1 : 0;
  int result = AlienPcfBufferToNative(message->Body.Storage + MESSAGE_HEADER_LENGTH, swap, convert,
                                      IsAscText(), length);
  if (result) header->BigEndian = IsBgEndian();
  // The ids in the body may have changed byte order: lookups scan until the
  // next RawToPcf.
  if (pcfcore::IdTable* ids = pcfcore::IdTableOf(message)) ids->Unseal();
  return result;
}

}  // extern "C"
