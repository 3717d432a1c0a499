/*
 * convert.h: byte order and character set of received frames, headers and
 * PCF bodies.
 *
 * Everything on the wire travels in its writer's byte order and character
 * set and says so in its BigEndian and AsciiText flags; the receiver
 * converts in place to its own, once, right after receipt: the node header
 * (AlienToNativeExt), then the MessageHeader (AlienToNative), then the PCF
 * body (AlienPcfToNative). Text converts through two fixed tables built from
 * code page 500; their deliberate quirks are listed beside them in
 * convert.cpp.
 *
 * The body converter runs before the body is validated, so it checks every
 * length it reads against the bytes it was given and fails (0) on a record
 * that does not fit, instead of trusting the wire. Thread-safe: no state.
 */
#ifndef PCFCORE_CONVERT_H_
#define PCFCORE_CONVERT_H_

#include <mqi/mqi.h>
#include <pcfcore/message.h>
#include <pcfcore/pcf_message.h>

#ifdef __cplusplus
extern "C" {
#endif

/* TextConvert directions. */
#define TEXT_ASCII_TO_EBCDIC 0
#define TEXT_EBCDIC_TO_ASCII 1

/* Deepest nesting of nested PCF records (type 998) that the body converter
 * follows; a deeper body is refused. */
#define PCF_MAX_NESTING_DEPTH 8

/* 1 on a big-endian host, else 0 (0 here). */
int IsBgEndian(void);
/* 1 on a little-endian host, else 0 (1 here). */
int IsLtEndian(void);
/* 1 when the host's text is ASCII, 0 for EBCDIC (1 here). */
int IsAscText(void);

/* The byte with its two 4-bit halves exchanged (0x1F -> 0xF1). */
unsigned char bwbyte(unsigned char byte);
/* The two bytes of a 16-bit value exchanged. */
short bwshort(short value);
/* The four bytes of a 32-bit value in reverse order. */
MQLONG bwlong(MQLONG value);

/* Translates count bytes from source into target (they may be the same):
 * ASCII to EBCDIC for direction 0, EBCDIC to ASCII for direction 1. In
 * direction 0 a byte above 127 (not ASCII) becomes 0x3F, the EBCDIC
 * substitute character; any other direction copies the bytes unchanged.
 * Returns count (nothing is translated when count < 1). */
int TextConvert(const void* source, void* target, int count, int direction);

/* Converts a received 32-byte node header in place; 1 when its first word
 * is then 32. REQUIRES: header points at 32 bytes. */
int AlienToNativeExt(void* header);

/* Converts the MessageHeader of message in place; 1 when StrucLength is then
 * 136. 0 for a message without a whole header. Converting twice is wrong:
 * neither flag is rewritten, so call it exactly once after receipt. */
int AlienToNative(Message* message);

/* Converts the PCF body of a received message in place (its header already
 * native) and sets the header's BigEndian to this host's. 0 when
 * lUserMsgLength does not fit the bytes held, or the body converter fails. */
int AlienPcfToNative(mqPcfMessage* message);

/* Converts the PCF records in length bytes at body: swaps every integer
 * field when swap is nonzero, translates the text of string records (not of
 * raw-bytes records) in direction when convert is nonzero. Walks the MQCFH
 * and the ParameterCount records after it, and each nested body within its
 * record. Returns 1, or 0 when a record does not fit the bytes left, is
 * shorter than its type's minimum, declares contents longer than itself, or
 * nests deeper than PCF_MAX_NESTING_DEPTH; records before the fault are
 * already converted. length < 1 returns 1 touching nothing. */
int AlienPcfBufferToNative(void* body, int swap, int convert, int direction, MQLONG length);

#ifdef __cplusplus
}
#endif

#endif /* PCFCORE_CONVERT_H_ */
