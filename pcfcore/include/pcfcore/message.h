/*
 * message.h: the generic message, its 136-byte header, and the byte buffer.
 *
 * A Message owns one block of storage: the MessageHeader, then a payload.
 * The object itself belongs to the caller (on its stack or inside another
 * record); these functions allocate, grow and free only its storage, with
 * the suite's allocator (pcfcore/memory.h) (tags "Message" and "Buffer"). A Message must be
 * deleted before its object is reused with CreateMessage.
 *
 * A Message whose Storage is null is a view of a record inside another
 * message (the index slots of mqPcfMessage): it owns nothing, and its
 * Payload points at the record, its Capacity and UsedLength are the record's
 * length.
 *
 * Every function returns 1 on success and 0 on failure. Sizes are 32-bit;
 * negative sizes are refused. An object belongs to one thread at a time.
 * Wire layout: docs/formats/pcf-message.md.
 */
#ifndef PCFCORE_MESSAGE_H_
#define PCFCORE_MESSAGE_H_

#include <mqi/mqi.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MESSAGE_HEADER_LENGTH 136

/* The header of every message, in the writer's byte order and text code. */
typedef struct MessageHeader {
  MQLONG StrucLength;     /* 136 once the transport has stamped it */
  MQLONG Mark;            /* 1 on the group manager's own node commands */
  MQLONG BigEndian;       /* 1 when the writer is big-endian */
  MQLONG AsciiText;       /* 1 when the writer's text is ASCII */
  MQBYTE MsgId[24];       /* request identifier */
  MQBYTE CorrelId[24];
  MQLONG lUserMsgLength;  /* payload length, stamped by the transport */
  MQLONG WaitInterval;    /* milliseconds the agent waits for the reply */
  MQCHAR UserId[12];      /* sender's user, NUL-padded */
  MQCHAR ApplName[48];    /* sender's program name, NUL-padded */
  MQLONG ReplyTag;        /* nonzero: an answer is wanted */
} MessageHeader;

typedef struct Message {
  MQLONG State;           /* 1 once storage is set up */
  unsigned char* Storage; /* MessageHeader then payload; null for a view */
  unsigned char* Payload; /* Storage + 136, or the viewed record */
  MQLONG Capacity;        /* block size, header included */
  MQLONG UsedLength;      /* header plus payload bytes in use */
  MQMD Md;                /* descriptor for puts and gets */
} Message;

typedef struct Buffer {
  unsigned char* Data;
  MQLONG Size;            /* bytes the current transfer wants */
  MQLONG Capacity;        /* bytes allocated */
  MQLONG Flags;           /* flags for the socket call */
  MQLONG Filled;          /* bytes received so far */
  MQLONG Sent;            /* bytes written so far */
} Buffer;

/* The header of a message with storage (null for a view). */
#define MESSAGE_HEADER(m) ((MessageHeader*)(m)->Storage)

/* IBM's default message descriptor, as CreateMessage and ResetMessage set it. */
void SetDefaultMd(MQMD* md);

/* Allocates a zero-filled block of 136 + size bytes; ReplyTag 1, UsedLength
 * 136, the default descriptor. Prints a line and returns 0 on failure. */
int CreateMessage(Message* message, MQLONG size);
/* Allocates 392 bytes when there is no storage; then State 1, UserId cleared,
 * UsedLength 136, the default descriptor. Other header fields are kept. */
int ResetMessage(Message* message);
/* Resizes the block to 136 + size keeping its bytes; UsedLength back to 136. */
int SizeMessage(Message* message, MQLONG size);
/* As SizeMessage but keeps UsedLength; refuses a size below the payload in use. */
int SizeMessageKeep(Message* message, MQLONG size);
/* Appends source's payload to target's, growing target when needed. */
int AppendMessage(Message* target, const Message* source);
/* Frees the block; 0 when there was none. */
int DeleteMessage(Message* message);
/* 1 when the header's StrucLength is 136. */
int VerifyMessage(const Message* message);
/* 1 when the first 32-bit word at header is 32 (a node header). */
int VerifyMessageExt(const void* header);

/* Allocates size zero-filled bytes; Size = Capacity = size. */
int CreateBuffer(Buffer* buffer, MQLONG size);
/* Zeroes the counters and sets Size to size, growing the buffer when size
 * exceeds Capacity. Returns 0 when that growth fails (Size is then Capacity). */
int ResetBuffer(Buffer* buffer, MQLONG size);
/* Resizes Data to capacity bytes keeping its contents; new bytes are zero.
 * Size is kept, but capped at the new capacity when the buffer shrinks. */
int SizeBuffer(Buffer* buffer, MQLONG capacity);
/* Frees Data and zeroes the fields; 0 when there was no data. */
int DeleteBuffer(Buffer* buffer);

#ifdef __cplusplus
}
#endif

#endif /* PCFCORE_MESSAGE_H_ */
