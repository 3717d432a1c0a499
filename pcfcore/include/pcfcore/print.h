/*
 * print.h: command names, and the printed forms of message headers, PCF
 * records and whole messages that the servers write to their logs.
 *
 * Everything goes to standard output, byte for byte in the forms the log
 * readers expect (docs/formats/pcf-message.md describes the records). The
 * printers read only inside the bytes a message or record holds: a record
 * that is not well formed for its type prints as unprintable. Threads may
 * print at once; their lines may interleave.
 */
#ifndef PCFCORE_PRINT_H_
#define PCFCORE_PRINT_H_

#include <mqi/mqi.h>
#include <pcfcore/message.h>
#include <pcfcore/pcf_message.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The symbolic name of a command code ("MQCMD_INQUIRE_Q_NAMES",
 * "EXCMD_REGISTER_MQNODE"), or "UNKNOWN" for a code without a name (0 and
 * EXCMD_INQUIRE_CHANNEL_EVENT among them). The text is static. */
const char* PcfIdToName(MQLONG code);

/* Prints the MessageHeader: "(MDHDR)\nStrucLength(%d)lUserMsgLength(%d)\n",
 * "ApplName(\"%s\")\n\n", "UserId(\"%s\")\n\n". 0 for a message without
 * storage. */
int PrintMessage(const Message* message);

/* Prints "\n" and the lines of one record held in record (its own storage
 * or a view). 1 when printed; 0, after the "UNKNOWN PCF Attribute(%d):
 * unable to print" line, for a type it cannot print or a record that is
 * not well formed. Values show at most 256 characters or bytes; a list of
 * empty strings shows at most 256 entries. */
int PrintPcfAttr(const Message* record);

/* Prints every record from the MQCFH on; at the first that cannot be
 * printed, dumps the whole message (DumpPcfMessage) and stops. 1, or 0
 * when its work storage cannot be had. */
int PrintPcfMessage(const mqPcfMessage* message);

/* Prints the date, the MQCFH fields, the body as 32-bit words in hex and
 * as characters. Returns 1 (0 for a message without a body). */
int DumpPcfMessage(const mqPcfMessage* message);

/* Prints length bytes at bytes in hex, sixteen a line, each full line
 * followed by its characters. */
void DumpHexMessage(const void* bytes, MQLONG length);

#ifdef __cplusplus
}
#endif

#endif /* PCFCORE_PRINT_H_ */
