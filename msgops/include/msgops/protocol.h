/*
 * protocol.h: codes of the message-management requests 10300 to 10306.
 *
 * The message browser sends these PCF requests through the group manager
 * to the node's local agent, which hands each one to the message server
 * (ZOREXEC). Every value here travels on the wire: never renumber one.
 * Wire layout and the meaning of every parameter: docs/formats/message-requests.md.
 */
#ifndef MSGOPS_PROTOCOL_H_
#define MSGOPS_PROTOCOL_H_

#include <mqi/mqi.h>
#include <pcfcore/excmd.h>

/* ---- Commands (MQCFH Command of a request, Type 1) -------------------- */
#ifndef EXCMD_MG_FIND
#define EXCMD_MG_FIND 10305
#endif
#ifndef EXCMD_MG_MODIFY
#define EXCMD_MG_MODIFY 10306  /* forwarded, answered as an unknown command */
#endif

/* ---- IBM values the server answers with ------------------------------- */
#ifndef MQCACF_Q_NAMES
#define MQCACF_Q_NAMES 3011
#endif
#ifndef MQRCCF_CFH_COMMAND_ERROR
#define MQRCCF_CFH_COMMAND_ERROR 3007
#endif
#ifndef MQRCCF_PARM_COUNT_TOO_SMALL
#define MQRCCF_PARM_COUNT_TOO_SMALL 3019
#endif
#ifndef MQRCCF_MQPUT_FAILED
#define MQRCCF_MQPUT_FAILED 4029
#endif
#ifndef EXRC_CMD_SERVER_DOWN
#define EXRC_CMD_SERVER_DOWN 20012
#endif

/* ---- Control parameters ------------------------------------------------ */
#define MG_SOURCE_Q_NAME 20030       /* copy, move: source queue */
#define MG_DEST_Q_NAME 20031         /* copy, move: destination queue */
#define MG_MSG_LIMIT 20157           /* limit; in responses: messages handled */
#define MG_FIRST_POSITION 20159      /* first position among matching messages */
#define MG_DATA_OFFSET 20156         /* data offset (and its criterion, see below) */
#define MG_DATA_LENGTH 20158         /* browse chunk / new-message data length */
#define MG_PUT_OPTIONS 20160
#define MG_STRIP_HEADERS 20401       /* copy, move: 16 MDE, 4 XQH, 2 DLH */
#define MG_HEADER_FLAGS 20402        /* modify/insert flags; in browse responses the chain */
#define MG_FAILURE_POLICY 20403      /* new message: 0 stop, 1 go on, else next queue */
#define MG_FAILED_REASONS 20404      /* new-message response: reasons of failed queues */
#define MG_FILL_BYTE 20406
#define MG_NEW_DATA_LENGTH 20501     /* copy, move only; elsewhere the MQMDE Version criterion */
#define MG_REPLACE_DATA 20038
#define MG_REPLACE_BYTES 20039
#define MG_DATA_STRING 20029         /* new message data; selection: data criterion */
#define MG_DATA_BYTES 20037          /* new message data; criterion; browse-response chunk */
#define MG_DATA_LENGTH_MAX 20155     /* criterion: data length at most; responses: data length */
#define MG_MD_LENGTH 20173           /* browse response: descriptor length (364) */

/* Special destinations of copy and move. */
#define MG_DEST_DEAD_LETTER "<DESTINATION>"
#define MG_DEST_SENDER "<SENDER>"

/* ---- Header chain flags (MG_HEADER_FLAGS) ------------------------------ */
#define MG_HDR_MD 1
#define MG_HDR_DLH 2
#define MG_HDR_XQH 4
#define MG_HDR_XQH_MD 8
#define MG_HDR_MDE 16

#endif /* MSGOPS_PROTOCOL_H_ */
