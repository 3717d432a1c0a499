/*
 * mqi.h: the message-queuing interface as the suite sees it.
 *
 * Types, structures and constants of the MQ client interface, with the
 * published values and byte layouts, so that message files, PCF bodies
 * and MQMDs stored or sent by the suite are byte-compatible with other
 * MQ software. The structures are plain C records; every integer is a
 * 32-bit MQLONG in the byte order of the machine that wrote it.
 *
 * Layout checks at the end of the file pin sizes and offsets.
 * The functions (MQCONN ...) are declared by later sections of this file.
 */
#ifndef MQI_MQI_H_
#define MQI_MQI_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Elementary types ------------------------------------------------- */

typedef int32_t MQLONG;
typedef uint32_t MQULONG;
typedef MQLONG MQHCONN;  /* connection handle, > 0 when valid */
typedef MQLONG MQHOBJ;   /* object handle, > 0 when valid */
typedef unsigned char MQBYTE;
typedef char MQCHAR;
typedef MQCHAR MQCHAR4[4];
typedef MQCHAR MQCHAR8[8];
typedef MQCHAR MQCHAR12[12];
typedef MQCHAR MQCHAR28[28];
typedef MQCHAR MQCHAR32[32];
typedef MQCHAR MQCHAR48[48];
typedef MQCHAR MQCHAR64[64];
typedef MQCHAR MQCHAR128[128];
typedef MQCHAR MQCHAR256[256];
typedef MQBYTE MQBYTE24[24];
typedef MQBYTE MQBYTE32[32];

/* ---- Message descriptor (MQMD version 2, 364 bytes) ------------------ */

typedef struct tagMQMD {
  MQCHAR4 StrucId;           /* "MD  " */
  MQLONG Version;
  MQLONG Report;
  MQLONG MsgType;
  MQLONG Expiry;
  MQLONG Feedback;
  MQLONG Encoding;
  MQLONG CodedCharSetId;
  MQCHAR8 Format;
  MQLONG Priority;
  MQLONG Persistence;
  MQBYTE24 MsgId;
  MQBYTE24 CorrelId;
  MQLONG BackoutCount;
  MQCHAR48 ReplyToQ;
  MQCHAR48 ReplyToQMgr;
  MQCHAR12 UserIdentifier;
  MQBYTE32 AccountingToken;
  MQCHAR32 ApplIdentityData;
  MQLONG PutApplType;
  MQCHAR28 PutApplName;
  MQCHAR8 PutDate;
  MQCHAR8 PutTime;
  MQCHAR4 ApplOriginData;
  /* version 2 */
  MQBYTE24 GroupId;
  MQLONG MsgSeqNumber;
  MQLONG Offset;
  MQLONG MsgFlags;
  MQLONG OriginalLength;
} MQMD;

#define MQMD_STRUC_ID "MD  "
#define MQMD_VERSION_1 1
#define MQMD_VERSION_2 2
#define MQMD_CURRENT_VERSION 2
#define MQMD_LENGTH_1 324
#define MQMD_LENGTH_2 364

/* Message types */
#define MQMT_REQUEST 1
#define MQMT_REPLY 2
#define MQMT_REPORT 4
#define MQMT_DATAGRAM 8

/* Expiry, priority, persistence */
#define MQEI_UNLIMITED (-1)
#define MQPRI_PRIORITY_AS_Q_DEF (-1)
#define MQPER_NOT_PERSISTENT 0
#define MQPER_PERSISTENT 1
#define MQPER_PERSISTENCE_AS_Q_DEF 2

/* Report options and feedback */
#define MQRO_NONE 0x00000000
#define MQRO_PASS_MSG_ID 0x00000080
#define MQRO_PASS_CORREL_ID 0x00000040
#define MQRO_COPY_MSG_ID_TO_CORREL_ID 0x00000000
#define MQFB_NONE 0

/* Encodings and character sets */
#define MQENC_INTEGER_UNDEFINED 0x00000000
#define MQENC_INTEGER_NORMAL 0x00000001
#define MQENC_INTEGER_REVERSED 0x00000002
#define MQENC_DECIMAL_NORMAL 0x00000010
#define MQENC_DECIMAL_REVERSED 0x00000020
#define MQENC_FLOAT_IEEE_NORMAL 0x00000100
#define MQENC_FLOAT_IEEE_REVERSED 0x00000200
#define MQENC_FLOAT_S390 0x00000300
#define MQENC_NATIVE 0x00000222  /* 546: little-endian integers, as on x86 */
#define MQCCSI_DEFAULT 0
#define MQCCSI_Q_MGR 0

/* Formats (8 characters, blank-padded) */
#define MQFMT_NONE "        "
#define MQFMT_ADMIN "MQADMIN "
#define MQFMT_EVENT "MQEVENT "
#define MQFMT_PCF "MQPCF   "
#define MQFMT_STRING "MQSTR   "
#define MQFMT_DEAD_LETTER_HEADER "MQDEAD  "
#define MQFMT_XMIT_Q_HEADER "MQXMIT  "
#define MQFMT_MD_EXTENSION "MQHMDE  "

/* Put-application types */
#define MQAT_NO_CONTEXT 0
#define MQAT_UNKNOWN (-1)

/* Message flags, sequence numbers, original length */
#define MQMF_NONE 0x00000000
#define MQOL_UNDEFINED (-1)

/* ---- Completion and reason codes --------------------------------------- */

#define MQCC_OK 0
#define MQCC_WARNING 1
#define MQCC_FAILED 2
#define MQCC_UNKNOWN (-1)

#define MQRC_NONE 0

/* ---- PCF header and parameter structures ------------------------------- */

/* MQCFH: the header of every PCF body (36 bytes). */
typedef struct tagMQCFH {
  MQLONG Type;
  MQLONG StrucLength;
  MQLONG Version;
  MQLONG Command;
  MQLONG MsgSeqNumber;
  MQLONG Control;
  MQLONG CompCode;
  MQLONG Reason;
  MQLONG ParameterCount;
} MQCFH;

/* MQCFIN: integer parameter (16 bytes). */
typedef struct tagMQCFIN {
  MQLONG Type;
  MQLONG StrucLength;
  MQLONG Parameter;
  MQLONG Value;
} MQCFIN;

/* MQCFST: string parameter; the characters follow the 20 fixed bytes. */
typedef struct tagMQCFST {
  MQLONG Type;
  MQLONG StrucLength;
  MQLONG Parameter;
  MQLONG CodedCharSetId;
  MQLONG StringLength;
  MQCHAR String[1];
} MQCFST;

/* MQCFIL: integer-list parameter; Count values follow the 16 fixed bytes. */
typedef struct tagMQCFIL {
  MQLONG Type;
  MQLONG StrucLength;
  MQLONG Parameter;
  MQLONG Count;
  MQLONG Values[1];
} MQCFIL;

/* MQCFSL: string-list parameter; Count strings follow the 24 fixed bytes. */
typedef struct tagMQCFSL {
  MQLONG Type;
  MQLONG StrucLength;
  MQLONG Parameter;
  MQLONG CodedCharSetId;
  MQLONG Count;
  MQLONG StringLength;
  MQCHAR Strings[1];
} MQCFSL;

#define MQCFH_STRUC_LENGTH 36
#define MQCFIN_STRUC_LENGTH 16
#define MQCFST_STRUC_LENGTH_FIXED 20
#define MQCFIL_STRUC_LENGTH_FIXED 16
#define MQCFSL_STRUC_LENGTH_FIXED 24
#define MQCFH_VERSION_1 1
#define MQCFH_CURRENT_VERSION 1

/* PCF structure types */
#define MQCFT_COMMAND 1
#define MQCFT_RESPONSE 2
#define MQCFT_INTEGER 3
#define MQCFT_STRING 4
#define MQCFT_INTEGER_LIST 5
#define MQCFT_STRING_LIST 6
#define MQCFT_EVENT 7

/* PCF control */
#define MQCFC_LAST 1
#define MQCFC_NOT_LAST 0

/* ---- PCF command codes ------------------------------------------------- */

#define MQCMD_CHANGE_Q_MGR 1
#define MQCMD_INQUIRE_Q_MGR 2
#define MQCMD_CHANGE_PROCESS 3
#define MQCMD_COPY_PROCESS 4
#define MQCMD_CREATE_PROCESS 5
#define MQCMD_DELETE_PROCESS 6
#define MQCMD_INQUIRE_PROCESS 7
#define MQCMD_CHANGE_Q 8
#define MQCMD_CLEAR_Q 9
#define MQCMD_COPY_Q 10
#define MQCMD_CREATE_Q 11
#define MQCMD_DELETE_Q 12
#define MQCMD_INQUIRE_Q 13
#define MQCMD_REFRESH_Q_MGR 16
#define MQCMD_RESET_Q_STATS 17
#define MQCMD_INQUIRE_Q_NAMES 18
#define MQCMD_INQUIRE_PROCESS_NAMES 19
#define MQCMD_INQUIRE_CHANNEL_NAMES 20
#define MQCMD_CHANGE_CHANNEL 21
#define MQCMD_COPY_CHANNEL 22
#define MQCMD_CREATE_CHANNEL 23
#define MQCMD_DELETE_CHANNEL 24
#define MQCMD_INQUIRE_CHANNEL 25
#define MQCMD_PING_CHANNEL 26
#define MQCMD_RESET_CHANNEL 27
#define MQCMD_START_CHANNEL 28
#define MQCMD_STOP_CHANNEL 29
#define MQCMD_START_CHANNEL_INIT 30
#define MQCMD_START_CHANNEL_LISTENER 31
#define MQCMD_CHANGE_NAMELIST 32
#define MQCMD_COPY_NAMELIST 33
#define MQCMD_CREATE_NAMELIST 34
#define MQCMD_DELETE_NAMELIST 35
#define MQCMD_INQUIRE_NAMELIST 36
#define MQCMD_INQUIRE_NAMELIST_NAMES 37
#define MQCMD_ESCAPE 38
#define MQCMD_RESOLVE_CHANNEL 39
#define MQCMD_PING_Q_MGR 40
#define MQCMD_INQUIRE_Q_STATUS 41
#define MQCMD_INQUIRE_CHANNEL_STATUS 42
#define MQCMD_CONFIG_EVENT 43
#define MQCMD_Q_MGR_EVENT 44
#define MQCMD_PERFM_EVENT 45
#define MQCMD_CHANNEL_EVENT 46
#define MQCMD_INQUIRE_CLUSTER_Q_MGR 70
#define MQCMD_RESUME_Q_MGR_CLUSTER 71
#define MQCMD_SUSPEND_Q_MGR_CLUSTER 72
#define MQCMD_REFRESH_CLUSTER 73
#define MQCMD_RESET_CLUSTER 74

/* ---- Parameter identifiers used by the PCF library -------------------- */

/* Integer attributes */
#define MQIA_Q_TYPE 20

/* Integer parameters of PCF commands */
#define MQIACF_Q_MGR_ATTRS 1001
#define MQIACF_Q_ATTRS 1002
#define MQIACF_PROCESS_ATTRS 1003
#define MQIACF_NAMELIST_ATTRS 1004
#define MQIACF_QUIESCE 1008
#define MQIACF_ALL 1009
#define MQIACF_CHANNEL_ATTRS 1015
#define MQIACF_ESCAPE_TYPE 1017
#define MQIACF_CLUSTER_Q_MGR_ATTRS 1093

/* Integer parameters of channel commands */
#define MQIACH_CHANNEL_TYPE 1511
#define MQIACH_DATA_COUNT 1512
#define MQIACH_MSG_SEQUENCE_NUMBER 1514
#define MQIACH_IN_DOUBT 1516
#define MQIACH_CHANNEL_INSTANCE_ATTRS 1524

/* Character attributes */
#define MQCA_INITIATION_Q_NAME 2008
#define MQCA_NAMELIST_NAME 2010
#define MQCA_PROCESS_NAME 2012
#define MQCA_Q_MGR_NAME 2015
#define MQCA_Q_NAME 2016
#define MQCA_CLUSTER_NAME 2029
#define MQCA_CLUSTER_NAMELIST 2030
#define MQCA_CLUSTER_Q_MGR_NAME 2031

/* Character parameters of PCF commands */
#define MQCACF_ESCAPE_TEXT 3014

/* Character parameters of channel commands */
#define MQCACH_CHANNEL_NAME 3501
#define MQCACH_MCA_NAME 3507

/* ---- Values ------------------------------------------------------------ */

/* Queue types */
#define MQQT_LOCAL 1
#define MQQT_MODEL 2
#define MQQT_ALIAS 3
#define MQQT_REMOTE 6
#define MQQT_CLUSTER 7
#define MQQT_ALL 1001

/* Channel types */
#define MQCHT_SENDER 1
#define MQCHT_SERVER 2
#define MQCHT_RECEIVER 3
#define MQCHT_REQUESTER 4
#define MQCHT_ALL 5
#define MQCHT_CLNTCONN 6
#define MQCHT_SVRCONN 7
#define MQCHT_CLUSRCVR 8
#define MQCHT_CLUSSDR 9

/* Escape types */
#define MQET_MQSC 1

/* ---- Layout checks ----------------------------------------------------- */

#ifdef __cplusplus
}  /* extern "C" */
#define MQI_STATIC_ASSERT static_assert
#else
#define MQI_STATIC_ASSERT _Static_assert
#endif

MQI_STATIC_ASSERT(sizeof(MQLONG) == 4, "MQLONG is 32 bits");
MQI_STATIC_ASSERT(sizeof(MQMD) == MQMD_LENGTH_2, "MQMD version 2 is 364 bytes");
MQI_STATIC_ASSERT(offsetof(MQMD, Format) == 32, "MQMD.Format");
MQI_STATIC_ASSERT(offsetof(MQMD, Priority) == 40, "MQMD.Priority");
MQI_STATIC_ASSERT(offsetof(MQMD, MsgId) == 48, "MQMD.MsgId");
MQI_STATIC_ASSERT(offsetof(MQMD, CorrelId) == 72, "MQMD.CorrelId");
MQI_STATIC_ASSERT(offsetof(MQMD, BackoutCount) == 96, "MQMD.BackoutCount");
MQI_STATIC_ASSERT(offsetof(MQMD, ReplyToQ) == 100, "MQMD.ReplyToQ");
MQI_STATIC_ASSERT(offsetof(MQMD, ReplyToQMgr) == 148, "MQMD.ReplyToQMgr");
MQI_STATIC_ASSERT(offsetof(MQMD, UserIdentifier) == 196, "MQMD.UserIdentifier");
MQI_STATIC_ASSERT(offsetof(MQMD, AccountingToken) == 208, "MQMD.AccountingToken");
MQI_STATIC_ASSERT(offsetof(MQMD, ApplIdentityData) == 240, "MQMD.ApplIdentityData");
MQI_STATIC_ASSERT(offsetof(MQMD, PutApplType) == 272, "MQMD.PutApplType");
MQI_STATIC_ASSERT(offsetof(MQMD, PutApplName) == 276, "MQMD.PutApplName");
MQI_STATIC_ASSERT(offsetof(MQMD, PutDate) == 304, "MQMD.PutDate");
MQI_STATIC_ASSERT(offsetof(MQMD, PutTime) == 312, "MQMD.PutTime");
MQI_STATIC_ASSERT(offsetof(MQMD, ApplOriginData) == 320, "MQMD.ApplOriginData");
MQI_STATIC_ASSERT(offsetof(MQMD, GroupId) == 324, "MQMD.GroupId");
MQI_STATIC_ASSERT(offsetof(MQMD, MsgSeqNumber) == 348, "MQMD.MsgSeqNumber");
MQI_STATIC_ASSERT(offsetof(MQMD, OriginalLength) == 360, "MQMD.OriginalLength");
MQI_STATIC_ASSERT(sizeof(MQCFH) == MQCFH_STRUC_LENGTH, "MQCFH is 36 bytes");
MQI_STATIC_ASSERT(sizeof(MQCFIN) == MQCFIN_STRUC_LENGTH, "MQCFIN is 16 bytes");
MQI_STATIC_ASSERT(offsetof(MQCFST, String) == MQCFST_STRUC_LENGTH_FIXED, "MQCFST fixed part");
MQI_STATIC_ASSERT(offsetof(MQCFIL, Values) == MQCFIL_STRUC_LENGTH_FIXED, "MQCFIL fixed part");
MQI_STATIC_ASSERT(offsetof(MQCFSL, Strings) == MQCFSL_STRUC_LENGTH_FIXED, "MQCFSL fixed part");

#endif /* MQI_MQI_H_ */
