/*
 * pcf_file.h: a PCF message kept in a file (the group manager's history).
 *
 * The file is the PCF body alone, exactly as it stands in memory: the MQCFH
 * and its parameter records in the byte order and character set of the
 * machine that wrote it, with no header, trailer or length of its own
 * (docs/formats/pcf-file.md). Thread-safe for different files.
 */
#ifndef PCFCORE_PCF_FILE_H_
#define PCFCORE_PCF_FILE_H_

#include <pcfcore/pcf_message.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the body of message to path, replacing the file atomically and
 * durably (os::ReplaceFileDurably: temporary file beside it, fsync, rename,
 * fsync of the directory), readable and writable by the owner only. 1 when
 * every byte reached the disk; 0 when any step failed (a failure before the
 * rename leaves path as it was; no temporary file is left behind). */
int SerializePcfMessage(const mqPcfMessage* message, const char* path);

/* Reads path back into a new message that the caller owns (free it with
 * DeletePcfMessage), indexed with RawToPcf; bytes after the last counted
 * record are cut. Null when the file cannot be opened, is empty, larger
 * than a message can be, or does not hold a well-formed body. The file is
 * closed on every path. The MQMD MsgType is 1 (request) whatever the body
 * says. */
mqPcfMessage* DeserializePcfMessage(const char* path);

#ifdef __cplusplus
}
#endif

#endif /* PCFCORE_PCF_FILE_H_ */
