/*
 * mqsc.h: conversion between PCF and MQSC text, for queue managers that take
 * MQSC text instead of PCF (the z/OS command server, whose replies are
 * messages whose identifiers begin with "CSQ").
 *
 *  - tlxPcf2Mqsc: a PCF command becomes one MQSC command text, for example
 *    MQCMD_CREATE_Q of a local queue Q1 becomes "DEFINE QLOCAL('Q1') ...".
 *  - tlxMqsc2Pcf: one reply message of the queue manager becomes a PCF
 *    response: an MQCFH whose CompCode and Reason come from the reply's
 *    message identifier, then one record per keyword(value) pair found.
 * MQCMD_ESCAPE travels as its single MQCACF_ESCAPE_TEXT string both ways.
 * Both directions are driven by the tables of mqsc_tables.h.
 *
 * Threads: the conversion keeps no state of its own between calls; every
 * call works on its arguments and its own locals, so any number of threads
 * may convert at once, each on its own messages. DISPLAY LOG and DISPLAY
 * GROUP replies come as several messages whose meaning depends on the ones
 * before; the caller carries that state in *extra (below).
 *
 * Neither function changes the message it reads.
 * Format note: docs/formats/mqsc-conversion.md.
 */
#ifndef PCFCORE_MQSC_H_
#define PCFCORE_MQSC_H_

#include <mqi/mqi.h>
#include <pcfcore/message.h>
#include <pcfcore/pcf_message.h>
#include <pcfcore/mqsc_tables.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Reasons of the conversion (on the wire: never renumber). */
#define EXRC_MQSC_NOT_CONVERTIBLE 5001  /* record type or keyword kind; a
                                           string value with a line end */
#define EXRC_MQSC_NOT_IN_TABLES 5002    /* command, keyword or value */
#define EXRC_MQSC_NO_ROOM 5003          /* the output does not fit */
#define EXRC_MQSC_NO_ROW_TABLE 5004     /* command without a row table */
#define EXRC_MQSC_REQUIRED_MISSING 5005 /* a required row has no value */
#define EXRC_MQSC_BAD_INTEGER 5006      /* integer value not convertible */
#define EXRC_MQSC_BAD_LOG_REPLY 5007    /* log or group reply not parsed */

/* Parameters of the suite's own text commands (10901 to 10907) and of the
 * z/OS-only keywords. They share numbers with parameters of other suite
 * commands (20908 is also the node's queue-manager mask): the command code
 * says which is meant. Never renumber. */
#define MQSC_LOG_CURRENT_MAXRTU 20901
#define MQSC_LOG_INITIAL_MAXRTU 20902
#define MQSC_LOG_CURRENT_DEALLCT 20903
#define MQSC_LOG_INITIAL_DEALLCT 20904
#define MQSC_LOG_COPY_NAME 20905        /* archive-log copy table, word 1 */
#define MQSC_LOG_COPY_STATUS 20906      /* A 1, P 2, B 3, else 0 */
#define MQSC_LOG_COPY_WORD3 20907
#define MQSC_LOG_COPY_WORD4 20908
#define MQSC_LOG_COPY_WORD5 20909
#define MQSC_GROUP_NAME 20910           /* queue-sharing group name */
#define MQSC_GROUP_MEMBER_NAME 20911
#define MQSC_GROUP_MEMBER_WORD2 20912
#define MQSC_GROUP_MEMBER_WORD3 20913
#define MQSC_GROUP_MEMBER_STATE 20914   /* ACTIVE 1 INACTIVE 2 FAILED 3 CREATED 4 */
#define MQSC_GROUP_MEMBER_WORD5 20915
#define MQSC_GROUP_MEMBER_WORD6 20916
#define MQSC_GROUP_MEMBER_DB2_STATE 20917 /* ACTIVE 1 PENDING 2 FAILED 3 INACTIVE 4 */
#define MQSC_GROUP_STRUC_NAME 20918
#define MQSC_GROUP_STRUC_WORD2 20919
#define MQSC_GROUP_STRUC_WORD3 20920
#define MQSC_GROUP_STRUC_STATE 20921    /* VALID 1 INVALID 2 NOT FOUND 0 */
#define MQSC_GROUP_STRUC_WORD5 20922
#define MQSC_GROUP_STRUC_WORD6 20923
#define MQSC_CMDSCOPE 20924
#define MQSC_QSGDISP 20925
#define MQSC_MOVE_TYPE 20926            /* MOVE QLOCAL TYPE(MOVE 1, ADD 2) */
#define MQSC_ARCHIVE_TIME 20927         /* ARCHIVE LOG TIME(n) */
#define MQSC_ARCHIVE_WAIT 20928         /* ARCHIVE LOG WAIT(YES 1, NO 0) */
#define MQSC_ARCHIVE_CANCEL 20929       /* ARCHIVE LOG CANCEL OFFLOAD when 1 */

/*
 * tlxPcf2Mqsc: converts the PCF command held by pcf into MQSC text in the
 * payload of text (room: its Capacity - 136 bytes; the text is not
 * NUL-terminated). Always sets text's MQMD Format to "MQSTR   ".
 * With line_breaks nonzero, the verb and the next two items stand on the
 * first line and every later item on a line of its own after " +\n".
 *
 * Result: on success *comp_code = MQCC_OK, *reason = 0, text's UsedLength =
 * 136 + the text length, and the result is that UsedLength. On failure
 * *comp_code = MQCC_FAILED, *reason = the reason, text's UsedLength is left
 * as it was, and the result is the reason. The two are told apart by
 * *comp_code only: the ranges of lengths and reasons overlap.
 * *extra (may be null) = the number of items written, or 0.
 * pcf is not changed (not even re-indexed).
 */
MQLONG tlxPcf2Mqsc(const mqPcfMessage* pcf, Message* text, MQLONG line_breaks,
                   MQLONG* comp_code, MQLONG* reason, MQLONG* extra);

/*
 * tlxMqsc2Pcf: converts one reply message of the queue manager (the payload
 * of text, UsedLength - 136 bytes) into records of pcf, whose MQCFH Command
 * names the command that was sent.
 *  - MQCMD_ESCAPE, SET LOG (10903), DISPLAY LOG (10902), DISPLAY GROUP
 *    (10901): the records are appended to pcf as it stands (the caller
 *    resets it to the response it wants; its MQCFH is left alone) and pcf is
 *    re-indexed. The message grows as needed; 5003 when a record cannot be
 *    appended (149 parameters, or no memory).
 *  - every other command: pcf's body is replaced by a response (Type 2) with
 *    the CompCode and Reason of the reply identifier (unknown identifier:
 *    0 and 0) and the records of the keywords found, in table order; pcf is
 *    re-indexed. The body must fit in pcf's Capacity - 136 bytes (5003
 *    otherwise); pcf is not grown. On failure the body is a bare MQCFH with
 *    CompCode 2 and the reason (when it fits).
 * Result: 1 with *comp_code MQCC_OK and *reason 0; 0 with MQCC_FAILED and
 * the reason.
 * *extra (may be null): for DISPLAY LOG and DISPLAY GROUP it is the parse
 * state carried from one message of the reply to the next: set it to 0
 * before the first message and pass back what the previous call left. For
 * every other command it is set to the number of records made.
 * text is not changed.
 */
int tlxMqsc2Pcf(const Message* text, mqPcfMessage* pcf, MQLONG* comp_code,
                MQLONG* reason, MQLONG* extra);

/*
 * PcfToMqsc: the PCF-to-MQSC walker. body/body_length is a PCF command body
 * (MQCFH first); records of Type 0 are skipped. text receives at most
 * *text_length bytes; on success *text_length = the bytes written.
 * Returns 1, or 0 with *reason. *count (may be null) = items written, or 0.
 * Does not handle MQCMD_ESCAPE (tlxPcf2Mqsc does).
 */
int PcfToMqsc(const unsigned char* body, MQLONG body_length, char* text,
              MQLONG* text_length, MQLONG line_breaks, MQLONG* reason,
              MQLONG* count);

/*
 * MqscToPcf: the MQSC-to-PCF walker for the reply of command. text/
 * text_length is the reply text. body receives at most *body_length bytes:
 * the response MQCFH and its records; on success *body_length = the bytes
 * written. Returns 1, or 0 with *reason (body then holds a bare MQCFH with
 * CompCode 2 and that reason when 36 bytes fit, and *body_length says so).
 * *extra (may be null) = records made, or 0.
 */
int MqscToPcf(const char* text, MQLONG text_length, unsigned char* body,
              MQLONG* body_length, MQLONG command, MQLONG* reason,
              MQLONG* extra);

#ifdef __cplusplus
}
#endif

#endif /* PCFCORE_MQSC_H_ */
