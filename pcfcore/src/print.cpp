// Printed forms of message headers, PCF records and whole messages, and
// the hex dumps. Every text here is read by people and log tools as it
// stands; change none of it.
//
// Divisions:
//   1. Record access
//   2. PrintMessage, PrintPcfAttr, PrintPcfMessage
//   3. DumpPcfMessage, DumpHexMessage

#include "pcfcore/print.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "pcfcore/pcf_records.h"

namespace {

// ---- 1. Record access ---------------------------------------------------

constexpr int kMaxShown = 256;  // characters or bytes of one value shown

MQLONG Word(const unsigned char* record, int word) {
  MQLONG v;
  std::memcpy(&v, record + 4 * word, sizeof(v));
  return v;
}

int Shown(MQLONG length) { return length < kMaxShown ? length : kMaxShown; }

// The local time as the C library writes it ("Thu Dec 10 13:02:00 2026\n").
void TimeText(char* out, size_t size, const char* unknown) {
  std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1) || size < 26 || ctime_r(&now, out) == nullptr) {
    std::snprintf(out, size, "%s", unknown);
  }
}

bool Printable(unsigned char c) { return std::isprint(c) && c != ' '; }

void PrintBinaryValue(const unsigned char* record) {
  MQLONG length = Word(record, 4);
  std::printf("->Type(%d), StrucLength(%d), Parameter(%d), CharSet(%d)\n", Word(record, 0),
              Word(record, 1), Word(record, 2), Word(record, 3));
  std::printf("->StringLength(%d)", length);
  std::printf(" BinaryValue(\"");
  for (int i = 0; i < Shown(length); ++i) std::printf("%02X", record[20 + i]);
  std::printf("\")\n");
}

}  // namespace

extern "C" {

// ---- 2. PrintMessage, PrintPcfAttr, PrintPcfMessage ---------------------

int PrintMessage(const Message* message) {
  if (message == nullptr || message->Storage == nullptr ||
      message->Capacity < MESSAGE_HEADER_LENGTH) {
    return 0;
  }
  const MessageHeader* h = MESSAGE_HEADER(message);
  std::printf("(MDHDR)\nStrucLength(%d)lUserMsgLength(%d)\n", h->StrucLength, h->lUserMsgLength);
  // The names need not end in NUL inside their fields.
  std::printf("ApplName(\"%.*s\")\n\n", static_cast<int>(sizeof(h->ApplName)), h->ApplName);
  std::printf("UserId(\"%.*s\")\n\n", static_cast<int>(sizeof(h->UserId)), h->UserId);
  return 1;
}

int PrintPcfAttr(const Message* record) {
  std::printf("\n");
  if (record == nullptr || record->Payload == nullptr) {
    std::printf("UNKNOWN PCF Attribute(%d): unable to print\n", 0);
    return 0;
  }
  const unsigned char* r = record->Payload;
  MQLONG held = record->Storage != nullptr ? record->UsedLength - MESSAGE_HEADER_LENGTH
                                           : record->UsedLength;
  MQLONG type = held >= 4 ? Word(r, 0) : 0;
  // Only a well-formed record is read past its first words.
  if (!IsPcfAttrValid(record)) {
    std::printf("UNKNOWN PCF Attribute(%d): unable to print\n", type);
    return 0;
  }
  switch (type) {
    case MQCFT_COMMAND:
    case MQCFT_RESPONSE:
    case MQCFT_EVENT:
      std::printf("PCF Header (MQCFH):\n");
      std::printf("->Type(%d), StrucLength(%d), Version(%d), Command(%d = %s)\n", Word(r, 0),
                  Word(r, 1), Word(r, 2), Word(r, 3), PcfIdToName(Word(r, 3)));
      std::printf("->MsgSeqNum(%d), Control(%d), ParameterCount(%d)\n", Word(r, 4), Word(r, 5),
                  Word(r, 8));
      std::printf("->CompCode(%d), Reason(%d)\n", Word(r, 6), Word(r, 7));
      return 1;
    case MQCFT_INTEGER:
      std::printf("PCF Integer (MQCFIN):\n");
      std::printf("->Type(%d), StrucLength(%d), Parameter (%d), Value(%d)\n", Word(r, 0),
                  Word(r, 1), Word(r, 2), Word(r, 3));
      return 1;
    case MQCFT_STRING:
      std::printf("PCF String (MQCFST):\n");
      std::printf("->Type(%d), StrucLength(%d), Parameter(%d), CharSet(%d)\n", Word(r, 0),
                  Word(r, 1), Word(r, 2), Word(r, 3));
      std::printf("->StringLength(%d), String(\"%.*s\")\n", Word(r, 4), Shown(Word(r, 4)),
                  reinterpret_cast<const char*>(r + 20));
      return 1;
    case MQCFT_INTEGER_LIST: {
      MQLONG count = Word(r, 3);
      std::printf("PCF Integer List (MQCFIL):\n");
      std::printf("->Type(%d), StrucLength(%d), Parameter (%d), Count(%d)\n", Word(r, 0),
                  Word(r, 1), Word(r, 2), count);
      std::printf("->Integer List{ ");
      for (MQLONG i = 0; i < count; ++i) std::printf("%d, ", Word(r, 4 + i));
      std::printf("};\n");
      return 1;
    }
    case MQCFT_STRING_LIST: {
      MQLONG count = Word(r, 4);
      MQLONG length = Word(r, 5);
      std::printf("PCF String List (MQCFSL):\n");
      std::printf("->Type(%d), StrucLength(%d), Parameter (%d), Count(%d)\n", Word(r, 0),
                  Word(r, 1), Word(r, 2), count);
      std::printf("->StringLength(%d), CharSetId(%d)\n", length, Word(r, 3));
      std::printf("->String List\n{\n");
      // Strings of length 0 take no room, so their count is bounded by
      // nothing in the record; a peer could make one record print millions
      // of lines. Such a list shows its first kMaxShown entries.
      MQLONG shown = length == 0 && count > kMaxShown ? kMaxShown : count;
      for (MQLONG i = 0; i < shown; ++i) {
        std::printf("\t(%d) - \"%.*s\"\n", i + 1, Shown(length),
                    reinterpret_cast<const char*>(r + 24 + static_cast<size_t>(i) * length));
      }
      std::printf("};\n");
      return 1;
    }
    case EXCFT_BYTES:
      std::printf("E-PCF Binary (MQCFST):\n");
      PrintBinaryValue(r);
      return 1;
    case EXCFT_PCF:
      std::printf("E-PCF PCF (MQCFST):\n");
      PrintBinaryValue(r);
      return 1;
    default:
      std::printf("UNKNOWN PCF Attribute(%d): unable to print\n", type);
      return 0;
  }
}

int PrintPcfMessage(const mqPcfMessage* message) {
  if (message == nullptr) return 0;
  Message work;
  std::memset(&work, 0, sizeof(work));
  if (!CreateMessage(&work, 32000)) return 0;
  for (MQLONG position = 0; GetAttrByPos(position, &work, message); ++position) {
    if (!PrintPcfAttr(&work)) {
      DumpPcfMessage(message);
      break;
    }
  }
  DeleteMessage(&work);
  return 1;
}

// ---- 3. DumpPcfMessage, DumpHexMessage ----------------------------------

int DumpPcfMessage(const mqPcfMessage* message) {
  if (message == nullptr || message->Body.Storage == nullptr) return 0;
  const unsigned char* body = message->Body.Payload;
  int64_t length = int64_t{message->Body.UsedLength} - MESSAGE_HEADER_LENGTH;
  // Bytes that may be read: the used length, within the block.
  int64_t held = int64_t{message->Body.Capacity} - MESSAGE_HEADER_LENGTH;
  if (length > held) length = held;
  if (length < 0) length = 0;

  char date[64];
  TimeText(date, sizeof(date), "Unknown\n");
  std::printf("\nDate: %s", date);
  std::printf("----------Begin: PCF MESSAGE DUMP---------------\n");
  if (length < MQCFH_STRUC_LENGTH) {
    std::printf("PCF MQCFH Header length = %d\n", static_cast<int>(length));
    std::printf("PCF Message Header (MQCFH) is too short or empty!\n");
  } else {
    std::printf("\nPCF Header (MQCFH):\n");
    std::printf("->Type(%d), StrucLength(%d), Version(%d),\n->Command(%d),\n", Word(body, 0),
                Word(body, 1), Word(body, 2), Word(body, 3));
    std::printf("MsgSeqNum(%d), Control(%d),\n->ParameterCount(%d)\n", Word(body, 4),
                Word(body, 5), Word(body, 8));
    std::printf("CompCode(%d), Reason(%d)\n", Word(body, 6), Word(body, 7));
  }
  std::printf("\nPCF Message Data (HEX):\n");
  int64_t words = (length + 3) / 4;
  for (int64_t i = 0; i < words; ++i) {
    // The last word may reach past the used length; bytes past the block
    // read as zero rather than being read at all.
    uint32_t word = 0;
    int64_t available = held - 4 * i;
    std::memcpy(&word, body + 4 * i, static_cast<size_t>(available < 4 ? available : 4));
    std::printf("%08X ", word);
    if ((i + 1) % 4 == 0) std::printf("\n");
  }
  std::printf("\nPCF Message Data (ASCII):\n");
  for (int64_t i = 0; i < length; ++i) {
    std::printf("%c", Printable(body[i]) ? body[i] : '.');
    if ((i + 1) % 35 == 0) std::printf("\n");
  }
  std::printf("\n----------End: PCF MESSAGE DUMP---------------");
  std::printf("\n\n");
  return 1;
}

void DumpHexMessage(const void* bytes, MQLONG length) {
  char date[64];
  TimeText(date, sizeof(date), "Unknown");
  std::printf("\n%s DumpHexMessage: pBuf %lx hex, Length=%d...\n", date,
              static_cast<unsigned long>(reinterpret_cast<uintptr_t>(bytes)), length);
  if (bytes == nullptr) return;
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  for (MQLONG i = 0; i < length; ++i) {
    std::printf("%02X ", p[i]);
    if ((i + 1) % 16 == 0) {
      for (MQLONG j = i - 15; j <= i; ++j) std::printf("%c", Printable(p[j]) ? p[j] : '.');
      std::printf("\n");
    }
  }
}

}  // extern "C"
