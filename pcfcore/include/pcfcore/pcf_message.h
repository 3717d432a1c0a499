/*
 * pcf_message.h: the PCF message object, the one in-memory form of every
 * PCF message the suite builds, sends, receives, stores and prints.
 *
 * An mqPcfMessage owns a buffer (Body) holding the 136-byte MessageHeader and
 * the PCF body: an MQCFH and its parameter records laid end to end exactly
 * as they travel. Beside it the object keeps a copy of the node header of the
 * frame that carried it and an index of the records (slot 0 the MQCFH, slots
 * 1..ParameterCount the parameters), valid right after RawToPcf.
 *
 * Ownership: whoever calls CreatePcfMessage owns the object and frees it with
 * DeletePcfMessage; the object owns its buffer and its Next chain. Records
 * fetched from it are copies in the caller's own Message objects.
 * Functions return 1 on success and 0 on failure. One thread at a time.
 */
#ifndef PCFCORE_PCF_MESSAGE_H_
#define PCFCORE_PCF_MESSAGE_H_

#include <mqi/mqi.h>
#include <pcfcore/message.h>
#include <pcfcore/pcf_records.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The index holds the MQCFH and at most 149 parameters. */
#define PCF_INDEX_SLOTS 150
#define PCF_MAX_PARAMETERS (PCF_INDEX_SLOTS - 1)

#define PCF_MESSAGE_KIND 6
#define NODE_HEADER_LENGTH 32

/* The 32-byte header of a node frame, in the sender's byte order. */
typedef struct NodeHeader {
  MQLONG HeaderLength;  /* always 32 */
  MQLONG Version;       /* always 1; neither checked nor converted */
  MQLONG BigEndian;     /* 1 when the sender is big-endian */
  MQLONG AsciiText;     /* 1 when the sender's text is ASCII */
  MQLONG Length;        /* bytes after the node header: 136 + body */
  MQCHAR UserName[12];  /* sender's login name, NUL-padded */
} NodeHeader;

typedef struct mqPcfMessage {
  MQLONG Kind;                      /* always 6 */
  NodeHeader NodeHeader;            /* copy of the carrying frame's header */
  MQCFH* Cfh;                       /* first byte of the body */
  Message Index[PCF_INDEX_SLOTS];   /* views: slot 0 the MQCFH, then records */
  Message Body;                     /* owns MessageHeader + PCF body */
  struct mqPcfMessage* Next;        /* a further message owned by this one */
} mqPcfMessage;

/* The PCF body (from the MQCFH on) and its length. */
#define PCF_BODY(m) ((m)->Body.Payload)
#define PCF_BODY_LENGTH(m) ((m)->Body.UsedLength - MESSAGE_HEADER_LENGTH)

/* A new message of the given command and MQCFH type with room for size
 * parameter bytes; null when the object or its buffer cannot be had. */
mqPcfMessage* CreatePcfMessage(MQLONG command, MQLONG type, MQLONG size);
/* Empties the message (storage kept) to a new MQCFH; frees the Next chain. */
int ResetPcfMessage(mqPcfMessage* message, MQLONG command, MQLONG type);
/* Resizes the body to size + 36 bytes and empties it of parameters, keeping
 * the MQCFH's Type and Command. Returns RawToPcf's result, or 0. */
int SizePcfMessage(mqPcfMessage* message, MQLONG size);
/* Frees the message and its Next chain; 0 for null. */
int DeletePcfMessage(mqPcfMessage* message);
/* Appends the record held by record and counts it in ParameterCount. Refuses
 * a record the index could not hold (149 parameters already). The index is
 * not updated: call RawToPcf before reading by position or id. */
int AppendAttr(mqPcfMessage* message, const Message* record);
/* Re-indexes the body; 1 when it is well formed. A body with more
 * parameters than the index holds is refused, and so is one that does not
 * open with an MQCFH. On success the slots past the last record are empty,
 * so records appended later are refused by position and id until the next
 * RawToPcf. */
int RawToPcf(mqPcfMessage* message);
/* Copies record position (0 the MQCFH) into record, emptied first: a record
 * without storage is reset (default descriptor); one with storage keeps its
 * descriptor and only has its payload replaced. */
int GetAttrByPos(MQLONG position, Message* record, const mqPcfMessage* message);
/* Copies the first record with Parameter id into record, as GetAttrByPos.
 * For a message from CreatePcfMessage, RawToPcf keeps a table of ids beside
 * it (until DeletePcfMessage), so this takes the same time for any id; an
 * object laid out by hand has none and is scanned. */
int GetAttrByID(MQLONG id, Message* record, const mqPcfMessage* message);
/* Appends the standard parameters of the message's command (the table in
 * pcf_build.cpp) and re-indexes. 1 when every one of them was appended (and
 * for MQCMD_START_CHANNEL_LISTENER and MQCMD_PING_Q_MGR, which take none);
 * 0 when any append or the index failed, or for a command it does not know. */
int BuildPcfCmd(mqPcfMessage* message, const char* name, MQLONG value);

#ifdef __cplusplus
}
#endif

#endif /* PCFCORE_PCF_MESSAGE_H_ */
