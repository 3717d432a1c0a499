/*
 * pcf_records.h: PCF parameter records, one per Message.
 *
 * A record is always handled in a Message whose payload is exactly that
 * record: the builders create it in the caller's Message (free it with
 * DeleteMessage), GetAttrByPos/GetAttrByID copy one out of a PCF message,
 * AppendAttr copies one in. The accessors check the record with
 * IsPcfAttrValid and its Type first, and never copy with a negative or
 * oversized length. All functions return 1 on success and 0 on failure.
 *
 * Record types: IBM's MQCFIN (3), MQCFST (4), MQCFIL (5), MQCFSL (6) and the
 * suite's raw bytes (999) and nested PCF body (998), both in the MQCFST layout.
 * Wire layout: docs/formats/pcf-message.md.
 */
#ifndef PCFCORE_PCF_RECORDS_H_
#define PCFCORE_PCF_RECORDS_H_

#include <mqi/mqi.h>
#include <pcfcore/message.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The suite's own record types (never renumber: they are on the wire). */
#define EXCFT_PCF 998    /* a complete nested PCF body */
#define EXCFT_BYTES 999  /* raw bytes, never converted between character sets */

struct mqPcfMessage;

/* Builders: create record with CreateMessage(record, StrucLength). */
int CreatePcfIntAttr(Message* record, MQLONG id, MQLONG value);
int CreatePcfStrAttr(Message* record, MQLONG id, const char* text);
int CreatePcfNZStrAttr(Message* record, MQLONG id, const char* bytes, MQLONG length);
int CreatePcfBinAttr(Message* record, MQLONG id, const void* bytes, MQLONG length);
int CreatePcfPcfAttr(Message* record, MQLONG id, const struct mqPcfMessage* message);
int CreatePcfIntListAttr(Message* record, MQLONG id, MQLONG count);
int CreatePcfStrListAttr(Message* record, MQLONG id, MQLONG count, MQLONG string_length);

/* Resizers: the list grows or shrinks at its end; added elements are zero. */
int SizePcfIntListAttr(Message* record, MQLONG count);
int SizePcfStrListAttr(Message* record, MQLONG count);

/* Accessors. Text buffers for the Get*Str* calls hold maximum + 1 bytes. */
int GetPcfIntAttrValue(const Message* record, MQLONG* value);
int SetPcfIntAttrValue(Message* record, MQLONG value);
int GetPcfStrAttrValue(const Message* record, char* text, MQLONG maximum);
int SetPcfStrAttrValue(Message* record, const char* text);
int GetPcfBinAttrValue(const Message* record, void* bytes, MQLONG* length);
int SetPcfBinAttrValue(Message* record, const void* bytes, MQLONG length);
int GetPcfPcfAttrValue(const Message* record, struct mqPcfMessage* message);
int GetPcfIntListAttrValue(const Message* record, MQLONG index, MQLONG* value);
int SetPcfIntListAttrValue(Message* record, MQLONG index, MQLONG value);
int GetPcfStrListAttrValue(const Message* record, MQLONG index, char* text, MQLONG maximum);
int SetPcfStrListAttrValue(Message* record, MQLONG index, const char* text);

/* 1 when the record held by record is well formed for its Type. */
int IsPcfAttrValid(const Message* record);

#ifdef __cplusplus
}
#endif

#endif /* PCFCORE_PCF_RECORDS_H_ */
