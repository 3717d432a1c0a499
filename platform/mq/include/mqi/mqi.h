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
 *
 * The calls (MQCONN ... MQBACK) are implemented by the client library
 * `mqi`, which reaches the queue-manager server `mqsim` over TCP; the
 * protocol is docs/formats/mqsim-protocol.md. Conventions of the calls:
 *  - every call reports through its last two arguments: a completion
 *    code (MQCC_OK, MQCC_WARNING, MQCC_FAILED) and a reason (MQRC_*);
 *  - handles are > 0 while valid; MQDISC and MQCLOSE set them to
 *    MQHC_UNUSABLE_HCONN and MQHO_UNUSABLE_HOBJ;
 *  - one connection handle may be used by several threads of the process;
 *    the library serialises the calls on it (a waiting MQGET holds the
 *    connection until it returns);
 *  - the caller owns every structure and buffer passed in; the library
 *    keeps no pointer to them after the call returns.
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
typedef MQCHAR MQCHAR20[20];
typedef MQCHAR MQCHAR264[264];
typedef MQBYTE MQBYTE16[16];
typedef MQBYTE MQBYTE40[40];
typedef void *MQPTR;
typedef MQLONG *PMQLONG;
typedef MQHCONN *PMQHCONN;
typedef MQHOBJ *PMQHOBJ;
typedef void *PMQVOID;
typedef MQCHAR *PMQCHAR;

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
#define MQRO_NEW_MSG_ID 0x00000000
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
#define MQRC_ALIAS_BASE_Q_TYPE_ERROR 2001
#define MQRC_ALREADY_CONNECTED 2002
#define MQRC_BACKED_OUT 2003
#define MQRC_BUFFER_ERROR 2004
#define MQRC_BUFFER_LENGTH_ERROR 2005
#define MQRC_CHAR_ATTR_LENGTH_ERROR 2006
#define MQRC_CHAR_ATTRS_ERROR 2007
#define MQRC_CHAR_ATTRS_TOO_SHORT 2008
#define MQRC_CONNECTION_BROKEN 2009
#define MQRC_DATA_LENGTH_ERROR 2010
#define MQRC_DYNAMIC_Q_NAME_ERROR 2011
#define MQRC_ENVIRONMENT_ERROR 2012
#define MQRC_EXPIRY_ERROR 2013
#define MQRC_FEEDBACK_ERROR 2014
#define MQRC_GET_INHIBITED 2016
#define MQRC_HANDLE_NOT_AVAILABLE 2017
#define MQRC_HCONN_ERROR 2018
#define MQRC_HOBJ_ERROR 2019
#define MQRC_INHIBIT_VALUE_ERROR 2020
#define MQRC_INT_ATTR_COUNT_ERROR 2021
#define MQRC_INT_ATTR_COUNT_TOO_SMALL 2022
#define MQRC_INT_ATTRS_ARRAY_ERROR 2023
#define MQRC_SYNCPOINT_LIMIT_REACHED 2024
#define MQRC_MAX_CONNS_LIMIT_REACHED 2025
#define MQRC_MD_ERROR 2026
#define MQRC_MISSING_REPLY_TO_Q 2027
#define MQRC_MSG_TYPE_ERROR 2029
#define MQRC_MSG_TOO_BIG_FOR_Q 2030
#define MQRC_MSG_TOO_BIG_FOR_Q_MGR 2031
#define MQRC_NO_MSG_AVAILABLE 2033
#define MQRC_NO_MSG_UNDER_CURSOR 2034
#define MQRC_NOT_AUTHORIZED 2035
#define MQRC_NOT_OPEN_FOR_BROWSE 2036
#define MQRC_NOT_OPEN_FOR_INPUT 2037
#define MQRC_NOT_OPEN_FOR_INQUIRE 2038
#define MQRC_NOT_OPEN_FOR_OUTPUT 2039
#define MQRC_NOT_OPEN_FOR_SET 2040
#define MQRC_OBJECT_CHANGED 2041
#define MQRC_OBJECT_IN_USE 2042
#define MQRC_OBJECT_TYPE_ERROR 2043
#define MQRC_OD_ERROR 2044
#define MQRC_OPTION_NOT_VALID_FOR_TYPE 2045
#define MQRC_OPTIONS_ERROR 2046
#define MQRC_PERSISTENCE_ERROR 2047
#define MQRC_PERSISTENT_NOT_ALLOWED 2048
#define MQRC_PRIORITY_EXCEEDS_MAXIMUM 2049
#define MQRC_PRIORITY_ERROR 2050
#define MQRC_PUT_INHIBITED 2051
#define MQRC_Q_DELETED 2052
#define MQRC_Q_FULL 2053
#define MQRC_Q_NOT_EMPTY 2055
#define MQRC_Q_SPACE_NOT_AVAILABLE 2056
#define MQRC_Q_TYPE_ERROR 2057
#define MQRC_Q_MGR_NAME_ERROR 2058
#define MQRC_Q_MGR_NOT_AVAILABLE 2059
#define MQRC_REPORT_OPTIONS_ERROR 2061
#define MQRC_SECURITY_ERROR 2063
#define MQRC_SELECTOR_COUNT_ERROR 2065
#define MQRC_SELECTOR_LIMIT_EXCEEDED 2066
#define MQRC_SELECTOR_ERROR 2067
#define MQRC_SELECTOR_NOT_FOR_TYPE 2068
#define MQRC_STORAGE_NOT_AVAILABLE 2071
#define MQRC_SYNCPOINT_NOT_AVAILABLE 2072
#define MQRC_TRIGGER_CONTROL_ERROR 2075
#define MQRC_TRIGGER_DEPTH_ERROR 2076
#define MQRC_TRIGGER_MSG_PRIORITY_ERR 2077
#define MQRC_TRIGGER_TYPE_ERROR 2078
#define MQRC_TRUNCATED_MSG_ACCEPTED 2079
#define MQRC_TRUNCATED_MSG_FAILED 2080
#define MQRC_UNKNOWN_ALIAS_BASE_Q 2082
#define MQRC_UNKNOWN_OBJECT_NAME 2085
#define MQRC_UNKNOWN_OBJECT_Q_MGR 2086
#define MQRC_UNKNOWN_REMOTE_Q_MGR 2087
#define MQRC_WAIT_INTERVAL_ERROR 2090
#define MQRC_XMIT_Q_TYPE_ERROR 2091
#define MQRC_XMIT_Q_USAGE_ERROR 2092
#define MQRC_NOT_OPEN_FOR_PASS_ALL 2093
#define MQRC_NOT_OPEN_FOR_PASS_IDENT 2094
#define MQRC_NOT_OPEN_FOR_SET_ALL 2095
#define MQRC_NOT_OPEN_FOR_SET_IDENT 2096
#define MQRC_CONTEXT_HANDLE_ERROR 2097
#define MQRC_CONTEXT_NOT_AVAILABLE 2098
#define MQRC_OBJECT_ALREADY_EXISTS 2100
#define MQRC_OBJECT_DAMAGED 2101
#define MQRC_RESOURCE_PROBLEM 2102
#define MQRC_ANOTHER_Q_MGR_CONNECTED 2103
#define MQRC_FORMAT_ERROR 2110
#define MQRC_SOURCE_CCSID_ERROR 2111
#define MQRC_NOT_CONVERTED 2119
#define MQRC_CNO_ERROR 2139
#define MQRC_OBJECT_NAME_ERROR 2152
#define MQRC_OBJECT_Q_MGR_NAME_ERROR 2153
#define MQRC_Q_MGR_QUIESCING 2161
#define MQRC_Q_MGR_STOPPING 2162
#define MQRC_PMO_ERROR 2173
#define MQRC_GMO_ERROR 2186
#define MQRC_UNEXPECTED_ERROR 2195
#define MQRC_UNKNOWN_XMIT_Q 2196
#define MQRC_UNKNOWN_DEF_XMIT_Q 2197
#define MQRC_DEF_XMIT_Q_TYPE_ERROR 2198
#define MQRC_DEF_XMIT_Q_USAGE_ERROR 2199
#define MQRC_CONNECTION_QUIESCING 2202
#define MQRC_CONNECTION_STOPPING 2203
#define MQRC_CALL_IN_PROGRESS 2219
#define MQRC_Q_MGR_ACTIVE 2222
#define MQRC_Q_MGR_NOT_ACTIVE 2223
#define MQRC_Q_DEPTH_HIGH 2224
#define MQRC_Q_DEPTH_LOW 2225
#define MQRC_CD_ERROR 2277
#define MQRC_CLIENT_CONN_ERROR 2278
#define MQRC_CHANNEL_STOPPED_BY_USER 2279
#define MQRC_CHANNEL_STARTED 2282
#define MQRC_CHANNEL_STOPPED 2283
#define MQRC_CHANNEL_ACTIVATED 2295
#define MQRC_CHANNEL_NOT_ACTIVATED 2296
#define MQRC_HOST_NOT_AVAILABLE 2538

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

/* ---- Name lengths ------------------------------------------------------ */

#define MQ_Q_NAME_LENGTH 48
#define MQ_Q_MGR_NAME_LENGTH 48
#define MQ_PROCESS_NAME_LENGTH 48
#define MQ_Q_DESC_LENGTH 64
#define MQ_Q_MGR_DESC_LENGTH 64
#define MQ_TRIGGER_DATA_LENGTH 64
#define MQ_CREATION_DATE_LENGTH 12
#define MQ_CREATION_TIME_LENGTH 8
#define MQ_USER_ID_LENGTH 12
#define MQ_APPL_NAME_LENGTH 28
#define MQ_FORMAT_LENGTH 8
#define MQ_MSG_ID_LENGTH 24
#define MQ_CORREL_ID_LENGTH 24
#define MQ_CHANNEL_NAME_LENGTH 20
#define MQ_CONN_NAME_LENGTH 264
#define MQ_EXIT_NAME_LENGTH 128
#define MQ_EXIT_DATA_LENGTH 32

/* ---- Version-1 message descriptor, embedded in MQXQH (324 bytes) ------- */

typedef struct tagMQMD1 {
  MQCHAR4 StrucId;
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
} MQMD1;

#define MQMI_NONE "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
#define MQCI_NONE MQMI_NONE
#define MQPER_PERSISTENCE_AS_PARENT (-1)
#define MQMT_SYSTEM_FIRST 1
#define MQMT_APPL_FIRST 65536
#define MQAT_UNIX 6
#define MQAT_QMGR 7
#define MQAT_DEFAULT MQAT_UNIX
#define MQMF_LAST_MSG_IN_GROUP 0x00000010

/* ---- Object descriptor (MQOD) ------------------------------------------ */

typedef struct tagMQOD {
  MQCHAR4 StrucId;            /* "OD  " */
  MQLONG Version;
  MQLONG ObjectType;
  MQCHAR48 ObjectName;        /* after MQOPEN of a model: the dynamic queue's name */
  MQCHAR48 ObjectQMgrName;
  MQCHAR48 DynamicQName;
  MQCHAR12 AlternateUserId;
  /* version 2 */
  MQLONG RecsPresent;
  MQLONG KnownDestCount;
  MQLONG UnknownDestCount;
  MQLONG InvalidDestCount;
  MQLONG ObjectRecOffset;
  MQLONG ResponseRecOffset;
  MQPTR ObjectRecPtr;
  MQPTR ResponseRecPtr;
  /* version 3 */
  MQBYTE40 AlternateSecurityId;
  MQCHAR48 ResolvedQName;
  MQCHAR48 ResolvedQMgrName;
} MQOD;

#define MQOD_STRUC_ID "OD  "
#define MQOD_VERSION_1 1
#define MQOD_VERSION_2 2
#define MQOD_VERSION_3 3
#define MQOD_CURRENT_VERSION 3
#define MQOD_LENGTH_1 168
#if UINTPTR_MAX > 0xFFFFFFFFu
#define MQOD_LENGTH_2 208
#define MQOD_LENGTH_3 344
#else
#define MQOD_LENGTH_2 200
#define MQOD_LENGTH_3 336
#endif

/* Object types */
#define MQOT_Q 1
#define MQOT_NAMELIST 2
#define MQOT_PROCESS 3
#define MQOT_STORAGE_CLASS 4
#define MQOT_Q_MGR 5
#define MQOT_CHANNEL 6

/* Open options */
#define MQOO_INPUT_AS_Q_DEF 0x00000001
#define MQOO_INPUT_SHARED 0x00000002
#define MQOO_INPUT_EXCLUSIVE 0x00000004
#define MQOO_BROWSE 0x00000008
#define MQOO_OUTPUT 0x00000010
#define MQOO_INQUIRE 0x00000020
#define MQOO_SET 0x00000040
#define MQOO_SAVE_ALL_CONTEXT 0x00000080
#define MQOO_PASS_IDENTITY_CONTEXT 0x00000100
#define MQOO_PASS_ALL_CONTEXT 0x00000200
#define MQOO_SET_IDENTITY_CONTEXT 0x00000400
#define MQOO_SET_ALL_CONTEXT 0x00000800
#define MQOO_ALTERNATE_USER_AUTHORITY 0x00001000
#define MQOO_FAIL_IF_QUIESCING 0x00002000

/* Close options */
#define MQCO_NONE 0x00000000
#define MQCO_DELETE 0x00000001
#define MQCO_DELETE_PURGE 0x00000002

/* Handles */
#define MQHC_DEF_HCONN 0
#define MQHC_UNUSABLE_HCONN (-1)
#define MQHO_NONE 0
#define MQHO_UNUSABLE_HOBJ (-1)

/* ---- Get-message options (MQGMO) --------------------------------------- */

typedef struct tagMQGMO {
  MQCHAR4 StrucId;            /* "GMO " */
  MQLONG Version;
  MQLONG Options;
  MQLONG WaitInterval;        /* milliseconds; MQWI_UNLIMITED waits for ever */
  MQLONG Signal1;
  MQLONG Signal2;
  MQCHAR48 ResolvedQName;
  /* version 2 */
  MQLONG MatchOptions;        /* honoured only from version 2 on */
  MQCHAR GroupStatus;
  MQCHAR SegmentStatus;
  MQCHAR Segmentation;
  MQCHAR Reserved1;
  /* version 3 */
  MQBYTE16 MsgToken;
  MQLONG ReturnedLength;
} MQGMO;

#define MQGMO_STRUC_ID "GMO "
#define MQGMO_VERSION_1 1
#define MQGMO_VERSION_2 2
#define MQGMO_VERSION_3 3
#define MQGMO_CURRENT_VERSION 3
#define MQGMO_LENGTH_1 72
#define MQGMO_LENGTH_2 80
#define MQGMO_LENGTH_3 100

#define MQGMO_NONE 0x00000000
#define MQGMO_NO_WAIT 0x00000000
#define MQGMO_WAIT 0x00000001
#define MQGMO_SYNCPOINT 0x00000002
#define MQGMO_NO_SYNCPOINT 0x00000004
#define MQGMO_SET_SIGNAL 0x00000008
#define MQGMO_BROWSE_FIRST 0x00000010
#define MQGMO_BROWSE_NEXT 0x00000020
#define MQGMO_ACCEPT_TRUNCATED_MSG 0x00000040
#define MQGMO_MARK_SKIP_BACKOUT 0x00000080
#define MQGMO_MSG_UNDER_CURSOR 0x00000100
#define MQGMO_LOCK 0x00000200
#define MQGMO_UNLOCK 0x00000400
#define MQGMO_BROWSE_MSG_UNDER_CURSOR 0x00000800
#define MQGMO_SYNCPOINT_IF_PERSISTENT 0x00001000
#define MQGMO_FAIL_IF_QUIESCING 0x00002000
#define MQGMO_CONVERT 0x00004000
#define MQGMO_LOGICAL_ORDER 0x00008000
#define MQGMO_COMPLETE_MSG 0x00010000
#define MQGMO_ALL_MSGS_AVAILABLE 0x00020000
#define MQGMO_ALL_SEGMENTS_AVAILABLE 0x00040000

#define MQWI_UNLIMITED (-1)

/* Match options */
#define MQMO_NONE 0x00000000
#define MQMO_MATCH_MSG_ID 0x00000001
#define MQMO_MATCH_CORREL_ID 0x00000002
#define MQMO_MATCH_GROUP_ID 0x00000004
#define MQMO_MATCH_MSG_SEQ_NUMBER 0x00000008
#define MQMO_MATCH_OFFSET 0x00000010
#define MQMO_MATCH_MSG_TOKEN 0x00000020

/* ---- Put-message options (MQPMO) --------------------------------------- */

typedef struct tagMQPMO {
  MQCHAR4 StrucId;            /* "PMO " */
  MQLONG Version;
  MQLONG Options;
  MQLONG Timeout;
  MQHOBJ Context;             /* handle whose context MQPMO_PASS_*_CONTEXT passes */
  MQLONG KnownDestCount;
  MQLONG UnknownDestCount;
  MQLONG InvalidDestCount;
  MQCHAR48 ResolvedQName;
  MQCHAR48 ResolvedQMgrName;
  /* version 2 */
  MQLONG RecsPresent;
  MQLONG PutMsgRecFields;
  MQLONG PutMsgRecOffset;
  MQLONG ResponseRecOffset;
  MQPTR PutMsgRecPtr;
  MQPTR ResponseRecPtr;
} MQPMO;

#define MQPMO_STRUC_ID "PMO "
#define MQPMO_VERSION_1 1
#define MQPMO_VERSION_2 2
#define MQPMO_CURRENT_VERSION 2
#define MQPMO_LENGTH_1 128
#if UINTPTR_MAX > 0xFFFFFFFFu
#define MQPMO_LENGTH_2 160
#else
#define MQPMO_LENGTH_2 152
#endif

#define MQPMO_NONE 0x00000000
#define MQPMO_SYNCPOINT 0x00000002
#define MQPMO_NO_SYNCPOINT 0x00000004
#define MQPMO_DEFAULT_CONTEXT 0x00000020
#define MQPMO_NEW_MSG_ID 0x00000040
#define MQPMO_NEW_CORREL_ID 0x00000080
#define MQPMO_PASS_IDENTITY_CONTEXT 0x00000100
#define MQPMO_PASS_ALL_CONTEXT 0x00000200
#define MQPMO_SET_IDENTITY_CONTEXT 0x00000400
#define MQPMO_SET_ALL_CONTEXT 0x00000800
#define MQPMO_ALTERNATE_USER_AUTHORITY 0x00001000
#define MQPMO_FAIL_IF_QUIESCING 0x00002000
#define MQPMO_NO_CONTEXT 0x00004000
#define MQPMO_LOGICAL_ORDER 0x00008000

/* ---- Client channel definition (MQCD, versions 1 to 6) ---------------- */

typedef struct tagMQCD {
  MQCHAR20 ChannelName;
  MQLONG Version;
  MQLONG ChannelType;
  MQLONG TransportType;
  MQCHAR64 Desc;
  MQCHAR48 QMgrName;
  MQCHAR48 XmitQName;
  MQCHAR20 ShortConnectionName;
  MQCHAR20 MCAName;
  MQCHAR8 ModeName;
  MQCHAR64 TpName;
  MQLONG BatchSize;
  MQLONG DiscInterval;
  MQLONG ShortRetryCount;
  MQLONG ShortRetryInterval;
  MQLONG LongRetryCount;
  MQLONG LongRetryInterval;
  MQCHAR128 SecurityExit;
  MQCHAR128 MsgExit;
  MQCHAR128 SendExit;
  MQCHAR128 ReceiveExit;
  MQLONG SeqNumberWrap;
  MQLONG MaxMsgLength;
  MQLONG PutAuthority;
  MQLONG DataConversion;
  MQCHAR32 SecurityUserData;
  MQCHAR32 MsgUserData;
  MQCHAR32 SendUserData;
  MQCHAR32 ReceiveUserData;
  /* version 2 */
  MQCHAR12 UserIdentifier;
  MQCHAR12 Password;
  MQCHAR12 MCAUserIdentifier;
  MQLONG MCAType;
  MQCHAR264 ConnectionName;   /* "host(port)" for TCP */
  MQCHAR12 RemoteUserIdentifier;
  MQCHAR12 RemotePassword;
  /* version 3 */
  MQCHAR128 MsgRetryExit;
  MQCHAR32 MsgRetryUserData;
  MQLONG MsgRetryCount;
  MQLONG MsgRetryInterval;
  /* version 4 */
  MQLONG HeartbeatInterval;
  MQLONG BatchInterval;
  MQLONG NonPersistentMsgSpeed;
  MQLONG StrucLength;
  MQLONG ExitNameLength;
  MQLONG ExitDataLength;
  MQLONG MsgExitsDefined;
  MQLONG SendExitsDefined;
  MQLONG ReceiveExitsDefined;
  MQPTR MsgExitPtr;
  MQPTR MsgUserDataPtr;
  MQPTR SendExitPtr;
  MQPTR SendUserDataPtr;
  MQPTR ReceiveExitPtr;
  MQPTR ReceiveUserDataPtr;
  /* version 5 */
  MQPTR ClusterPtr;
  MQLONG ClustersDefined;
  MQLONG NetworkPriority;
  /* version 6 */
  MQLONG LongMCAUserIdLength;
  MQLONG LongRemoteUserIdLength;
  MQPTR LongMCAUserIdPtr;
  MQPTR LongRemoteUserIdPtr;
  MQBYTE40 MCASecurityId;
  MQBYTE40 RemoteSecurityId;
} MQCD;

#define MQCD_VERSION_1 1
#define MQCD_VERSION_2 2
#define MQCD_VERSION_3 3
#define MQCD_VERSION_4 4
#define MQCD_VERSION_5 5
#define MQCD_VERSION_6 6
#define MQCD_CURRENT_VERSION 6
#define MQCD_LENGTH_1 984
#define MQCD_LENGTH_2 1312
#define MQCD_LENGTH_3 1480
#if UINTPTR_MAX > 0xFFFFFFFFu
#define MQCD_LENGTH_4 1568
#define MQCD_LENGTH_5 1584
#define MQCD_LENGTH_6 1688
#else
#define MQCD_LENGTH_4 1540
#define MQCD_LENGTH_5 1552
#define MQCD_LENGTH_6 1648
#endif

/* Transport types */
#define MQXPT_LOCAL 0
#define MQXPT_LU62 1
#define MQXPT_TCP 2
#define MQXPT_NETBIOS 3
#define MQXPT_SPX 4

/* ---- Connect options (MQCNO) ------------------------------------------- */

typedef struct tagMQCNO {
  MQCHAR4 StrucId;            /* "CNO " */
  MQLONG Version;
  MQLONG Options;
  /* version 2 */
  MQLONG ClientConnOffset;    /* offset of the MQCD from the start of the MQCNO */
  MQPTR ClientConnPtr;        /* the MQCD; used when not null */
} MQCNO;

#define MQCNO_STRUC_ID "CNO "
#define MQCNO_VERSION_1 1
#define MQCNO_VERSION_2 2
#define MQCNO_CURRENT_VERSION 2
#define MQCNO_LENGTH_1 12
#if UINTPTR_MAX > 0xFFFFFFFFu
#define MQCNO_LENGTH_2 24
#else
#define MQCNO_LENGTH_2 20
#endif
#define MQCNO_STANDARD_BINDING 0x00000000
#define MQCNO_FASTPATH_BINDING 0x00000001

/* ---- Dead-letter header (MQDLH, 172 bytes) ----------------------------- */

typedef struct tagMQDLH {
  MQCHAR4 StrucId;            /* "DLH " */
  MQLONG Version;
  MQLONG Reason;
  MQCHAR48 DestQName;
  MQCHAR48 DestQMgrName;
  MQLONG Encoding;
  MQLONG CodedCharSetId;
  MQCHAR8 Format;
  MQLONG PutApplType;
  MQCHAR28 PutApplName;
  MQCHAR8 PutDate;
  MQCHAR8 PutTime;
} MQDLH;

#define MQDLH_STRUC_ID "DLH "
#define MQDLH_VERSION_1 1
#define MQDLH_CURRENT_VERSION 1
#define MQDLH_LENGTH_1 172

/* ---- Transmission-queue header (MQXQH, 428 bytes) ---------------------- */

typedef struct tagMQXQH {
  MQCHAR4 StrucId;            /* "XQH " */
  MQLONG Version;
  MQCHAR48 RemoteQName;
  MQCHAR48 RemoteQMgrName;
  MQMD1 MsgDesc;
} MQXQH;

#define MQXQH_STRUC_ID "XQH "
#define MQXQH_VERSION_1 1
#define MQXQH_CURRENT_VERSION 1
#define MQXQH_LENGTH_1 428

/* ---- Message descriptor extension (MQMDE, 72 bytes) -------------------- */

typedef struct tagMQMDE {
  MQCHAR4 StrucId;            /* "MDE " */
  MQLONG Version;
  MQLONG StrucLength;
  MQLONG Encoding;
  MQLONG CodedCharSetId;
  MQCHAR8 Format;
  MQLONG Flags;
  MQBYTE24 GroupId;
  MQLONG MsgSeqNumber;
  MQLONG Offset;
  MQLONG MsgFlags;
  MQLONG OriginalLength;
} MQMDE;

#define MQMDE_STRUC_ID "MDE "
#define MQMDE_VERSION_2 2
#define MQMDE_CURRENT_VERSION 2
#define MQMDE_LENGTH_2 72
#define MQMDEF_NONE 0x00000000

/* ---- Queue and queue-manager attributes (MQINQ, MQSET) ------------------ */

#define MQIA_APPL_TYPE 1
#define MQIA_CODED_CHAR_SET_ID 2
#define MQIA_CURRENT_Q_DEPTH 3
#define MQIA_DEF_INPUT_OPEN_OPTION 4
#define MQIA_DEF_PERSISTENCE 5
#define MQIA_DEF_PRIORITY 6
#define MQIA_DEFINITION_TYPE 7
#define MQIA_HARDEN_GET_BACKOUT 8
#define MQIA_INHIBIT_GET 9
#define MQIA_INHIBIT_PUT 10
#define MQIA_MAX_HANDLES 11
#define MQIA_USAGE 12
#define MQIA_MAX_MSG_LENGTH 13
#define MQIA_MAX_PRIORITY 14
#define MQIA_MAX_Q_DEPTH 15
#define MQIA_MSG_DELIVERY_SEQUENCE 16
#define MQIA_OPEN_INPUT_COUNT 17
#define MQIA_OPEN_OUTPUT_COUNT 18
#define MQIA_RETENTION_INTERVAL 21
#define MQIA_BACKOUT_THRESHOLD 22
#define MQIA_SHAREABILITY 23
#define MQIA_TRIGGER_CONTROL 24
#define MQIA_TRIGGER_INTERVAL 25
#define MQIA_TRIGGER_MSG_PRIORITY 26
#define MQIA_TRIGGER_TYPE 28
#define MQIA_TRIGGER_DEPTH 29
#define MQIA_SYNCPOINT 30
#define MQIA_COMMAND_LEVEL 31
#define MQIA_PLATFORM 32
#define MQIA_MAX_UNCOMMITTED_MSGS 33
#define MQIA_DIST_LISTS 34
#define MQIA_Q_DEPTH_HIGH_LIMIT 40
#define MQIA_Q_DEPTH_LOW_LIMIT 41
#define MQIA_Q_DEPTH_MAX_EVENT 42
#define MQIA_Q_DEPTH_HIGH_EVENT 43
#define MQIA_Q_DEPTH_LOW_EVENT 44
#define MQIA_SCOPE 45
#define MQIA_AUTHORITY_EVENT 47
#define MQIA_INHIBIT_EVENT 48
#define MQIA_LOCAL_EVENT 49
#define MQIA_REMOTE_EVENT 50
#define MQIA_START_STOP_EVENT 52
#define MQIA_PERFORMANCE_EVENT 53
#define MQIA_CHANNEL_AUTO_DEF 55
#define MQIA_CHANNEL_AUTO_DEF_EVENT 56
#define MQIA_FIRST 1
#define MQIA_LAST 2000

#define MQCA_APPL_ID 2001
#define MQCA_BASE_Q_NAME 2002
#define MQCA_COMMAND_INPUT_Q_NAME 2003
#define MQCA_CREATION_DATE 2004
#define MQCA_CREATION_TIME 2005
#define MQCA_DEAD_LETTER_Q_NAME 2006
#define MQCA_ENV_DATA 2007
#define MQCA_NAMELIST_DESC 2009
#define MQCA_PROCESS_DESC 2011
#define MQCA_Q_DESC 2013
#define MQCA_Q_MGR_DESC 2014
#define MQCA_REMOTE_Q_MGR_NAME 2017
#define MQCA_REMOTE_Q_NAME 2018
#define MQCA_BACKOUT_REQ_Q_NAME 2019
#define MQCA_NAMES 2020
#define MQCA_USER_DATA 2021
#define MQCA_STORAGE_CLASS 2022
#define MQCA_TRIGGER_DATA 2023
#define MQCA_XMIT_Q_NAME 2024
#define MQCA_DEF_XMIT_Q_NAME 2025
#define MQCA_CHANNEL_AUTO_DEF_EXIT 2026
#define MQCA_ALTERATION_DATE 2027
#define MQCA_ALTERATION_TIME 2028
#define MQCA_Q_MGR_IDENTIFIER 2032
#define MQCA_REPOSITORY_NAME 2035
#define MQCA_REPOSITORY_NAMELIST 2036
#define MQCA_FIRST 2001
#define MQCA_LAST 4000

/* Attribute values */
#define MQQA_GET_ALLOWED 0
#define MQQA_GET_INHIBITED 1
#define MQQA_PUT_ALLOWED 0
#define MQQA_PUT_INHIBITED 1
#define MQQA_NOT_SHAREABLE 0
#define MQQA_SHAREABLE 1
#define MQQA_BACKOUT_NOT_HARDENED 0
#define MQQA_BACKOUT_HARDENED 1
#define MQQDT_PREDEFINED 1
#define MQQDT_PERMANENT_DYNAMIC 2
#define MQQDT_TEMPORARY_DYNAMIC 3
#define MQUS_NORMAL 0
#define MQUS_TRANSMISSION 1
#define MQTC_OFF 0
#define MQTC_ON 1
#define MQTT_NONE 0
#define MQTT_FIRST 1
#define MQTT_EVERY 2
#define MQTT_DEPTH 3
#define MQMDS_PRIORITY 0
#define MQMDS_FIFO 1
#define MQSCO_Q_MGR 1
#define MQSCO_CELL 2
#define MQEVR_DISABLED 0
#define MQEVR_ENABLED 1
#define MQSP_NOT_AVAILABLE 0
#define MQSP_AVAILABLE 1
#define MQPL_MVS 1
#define MQPL_OS2 2
#define MQPL_UNIX 3
#define MQPL_OS400 4
#define MQPL_WINDOWS 5
#define MQPL_WINDOWS_NT 11
#define MQCMDL_LEVEL_520 520
#define MQCMDL_LEVEL_530 530

/* ---- The calls ----------------------------------------------------------- */

/* MQCONN: connect to the local queue manager QMgrName (blank or empty: the
 * default queue manager), found through the installation under
 * $HARROWLINE_MQM (default /var/mqm). A second connect of the same thread to
 * a queue manager it already holds returns that handle with MQCC_WARNING and
 * MQRC_ALREADY_CONNECTED. */
void MQCONN(PMQCHAR QMgrName, PMQHCONN Hconn, PMQLONG CompCode, PMQLONG Reason);

/* MQCONNX: as MQCONN; with an MQCNO of version 2 whose MQCD (version 2 or
 * later) names a ConnectionName "host(port)", connects over TCP there. */
void MQCONNX(PMQCHAR QMgrName, MQCNO *ConnectOpts, PMQHCONN Hconn,
             PMQLONG CompCode, PMQLONG Reason);

/* MQDISC: ends the connection; uncommitted work is backed out and its
 * temporary dynamic queues are deleted. *Hconn becomes MQHC_UNUSABLE_HCONN. */
void MQDISC(PMQHCONN Hconn, PMQLONG CompCode, PMQLONG Reason);

void MQOPEN(MQHCONN Hconn, PMQVOID ObjDesc, MQLONG Options, PMQHOBJ Hobj,
            PMQLONG CompCode, PMQLONG Reason);
void MQCLOSE(MQHCONN Hconn, PMQHOBJ Hobj, MQLONG Options, PMQLONG CompCode,
             PMQLONG Reason);
void MQGET(MQHCONN Hconn, MQHOBJ Hobj, PMQVOID MsgDesc, PMQVOID GetMsgOpts,
           MQLONG BufferLength, PMQVOID Buffer, PMQLONG DataLength,
           PMQLONG CompCode, PMQLONG Reason);
void MQPUT(MQHCONN Hconn, MQHOBJ Hobj, PMQVOID MsgDesc, PMQVOID PutMsgOpts,
           MQLONG BufferLength, PMQVOID Buffer, PMQLONG CompCode,
           PMQLONG Reason);
void MQPUT1(MQHCONN Hconn, PMQVOID ObjDesc, PMQVOID MsgDesc,
            PMQVOID PutMsgOpts, MQLONG BufferLength, PMQVOID Buffer,
            PMQLONG CompCode, PMQLONG Reason);
void MQINQ(MQHCONN Hconn, MQHOBJ Hobj, MQLONG SelectorCount,
           PMQLONG Selectors, MQLONG IntAttrCount, PMQLONG IntAttrs,
           MQLONG CharAttrLength, PMQCHAR CharAttrs, PMQLONG CompCode,
           PMQLONG Reason);
void MQSET(MQHCONN Hconn, MQHOBJ Hobj, MQLONG SelectorCount,
           PMQLONG Selectors, MQLONG IntAttrCount, PMQLONG IntAttrs,
           MQLONG CharAttrLength, PMQCHAR CharAttrs, PMQLONG CompCode,
           PMQLONG Reason);
void MQCMIT(MQHCONN Hconn, PMQLONG CompCode, PMQLONG Reason);
void MQBACK(MQHCONN Hconn, PMQLONG CompCode, PMQLONG Reason);

/* ---- PCF attribute identifiers and values used by MQSC conversion ------ */
/* Integer attributes */
#define MQIA_NAME_COUNT 19
#define MQIA_TIME_SINCE_RESET 35
#define MQIA_HIGH_Q_DEPTH 36
#define MQIA_MSG_ENQ_COUNT 37
#define MQIA_MSG_DEQ_COUNT 38
#define MQIA_Q_SERVICE_INTERVAL_EVENT 46
#define MQIA_Q_SERVICE_INTERVAL 54
#define MQIA_INDEX_TYPE 57
#define MQIA_CLUSTER_WORKLOAD_LENGTH 58
#define MQIA_CLUSTER_Q_TYPE 59
#define MQIA_DEF_BIND 61
#define MQIA_ARCHIVE 60
#define MQIA_INTRA_GROUP_QUEUING 64
#define MQIA_IGQ_PUT_AUTHORITY 65
/* Character attributes */
#define MQCA_CLUSTER_WORKLOAD_EXIT 2033
#define MQCA_CLUSTER_WORKLOAD_DATA 2034
#define MQCA_CLUSTER_DATE 2037
#define MQCA_CLUSTER_TIME 2038
#define MQCA_CF_STRUC_NAME 2039
#define MQCA_IGQ_USER_ID 2041
/* Integer parameters of PCF commands */
#define MQIACF_FORCE 1005
#define MQIACF_REPLACE 1006
#define MQIACF_PURGE 1007
#define MQIACF_MODE 1008
#define MQIACF_OPEN_TYPE 1023
#define MQIACF_Q_STATUS_ATTRS 1026
#define MQIACF_UNCOMMITTED_MSGS 1027
#define MQIACF_Q_MGR_DEFINITION_TYPE 1084
#define MQIACF_Q_MGR_TYPE 1085
#define MQIACF_ACTION 1086
#define MQIACF_SUSPEND 1087
#define MQIACF_REFRESH_REPOSITORY 1095
#define MQIACF_REMOVE_QUEUES 1096
#define MQIACF_Q_STATUS_TYPE 1103
/* Character parameters of PCF commands */
#define MQCACF_FROM_Q_NAME 3001
#define MQCACF_TO_Q_NAME 3002
#define MQCACF_FROM_PROCESS_NAME 3003
#define MQCACF_TO_PROCESS_NAME 3004
#define MQCACF_FROM_NAMELIST_NAME 3005
#define MQCACF_TO_NAMELIST_NAME 3006
#define MQCACF_FROM_CHANNEL_NAME 3007
#define MQCACF_TO_CHANNEL_NAME 3008
#define MQCACF_USER_IDENTIFIER 3025
/* Integer parameters of channel commands */
#define MQIACH_XMIT_PROTOCOL_TYPE 1501
#define MQIACH_BATCH_SIZE 1502
#define MQIACH_DISC_INTERVAL 1503
#define MQIACH_SHORT_TIMER 1504
#define MQIACH_SHORT_RETRY 1505
#define MQIACH_LONG_TIMER 1506
#define MQIACH_LONG_RETRY 1507
#define MQIACH_PUT_AUTHORITY 1508
#define MQIACH_SEQUENCE_NUMBER_WRAP 1509
#define MQIACH_MAX_MSG_LENGTH 1510
#define MQIACH_DATA_CONVERSION 1515
#define MQIACH_MCA_TYPE 1517
#define MQIACH_CHANNEL_INSTANCE_TYPE 1523
#define MQIACH_CHANNEL_TABLE 1526
#define MQIACH_CHANNEL_STATUS 1527
#define MQIACH_INDOUBT_STATUS 1528
#define MQIACH_LAST_SEQ_NUMBER 1529
#define MQIACH_CURRENT_MSGS 1531
#define MQIACH_CURRENT_SEQ_NUMBER 1532
#define MQIACH_MSGS 1534
#define MQIACH_BYTES_SENT 1535
#define MQIACH_BYTES_RCVD 1536
#define MQIACH_BATCHES 1537
#define MQIACH_BUFFERS_SENT 1538
#define MQIACH_BUFFERS_RCVD 1539
#define MQIACH_LONG_RETRIES_LEFT 1540
#define MQIACH_SHORT_RETRIES_LEFT 1541
#define MQIACH_MCA_STATUS 1542
#define MQIACH_STOP_REQUESTED 1543
#define MQIACH_MR_COUNT 1544
#define MQIACH_MR_INTERVAL 1545
#define MQIACH_NPM_SPEED 1562
#define MQIACH_HB_INTERVAL 1563
#define MQIACH_BATCH_INTERVAL 1564
#define MQIACH_NETWORK_PRIORITY 1565
#define MQIACH_CHANNEL_DISP 1580
/* Character parameters of channel commands */
#define MQCACH_DESC 3502
#define MQCACH_MODE_NAME 3503
#define MQCACH_TP_NAME 3504
#define MQCACH_XMIT_Q_NAME 3505
#define MQCACH_CONNECTION_NAME 3506
#define MQCACH_SEC_EXIT_NAME 3508
#define MQCACH_MSG_EXIT_NAME 3509
#define MQCACH_SEND_EXIT_NAME 3510
#define MQCACH_RCV_EXIT_NAME 3511
#define MQCACH_SEC_EXIT_USER_DATA 3513
#define MQCACH_MSG_EXIT_USER_DATA 3514
#define MQCACH_SEND_EXIT_USER_DATA 3515
#define MQCACH_RCV_EXIT_USER_DATA 3516
#define MQCACH_USER_ID 3517
#define MQCACH_PASSWORD 3518
#define MQCACH_LAST_MSG_TIME 3524
#define MQCACH_LAST_MSG_DATE 3525
#define MQCACH_MCA_USER_ID 3527
#define MQCACH_CHANNEL_START_TIME 3528
#define MQCACH_CHANNEL_START_DATE 3529
#define MQCACH_MCA_JOB_NAME 3530
#define MQCACH_LAST_LUWID 3531
#define MQCACH_CURRENT_LUWID 3532
#define MQCACH_MR_EXIT_NAME 3534
#define MQCACH_MR_EXIT_USER_DATA 3535
/* PCF reasons the conversion reports */
#define MQRCCF_PARM_COUNT_TOO_SMALL 3019
#define MQRCCF_ESCAPE_TYPE_ERROR 3054

/* ---- Command server: reasons, response parameters and values ---------- */

/* Reasons of PCF responses */
#define MQRCCF_CFH_TYPE_ERROR 3001
#define MQRCCF_CFH_LENGTH_ERROR 3002
#define MQRCCF_CFH_VERSION_ERROR 3003
#define MQRCCF_CFH_MSG_SEQ_NUMBER_ERR 3004
#define MQRCCF_CFH_CONTROL_ERROR 3005
#define MQRCCF_CFH_PARM_COUNT_ERROR 3006
#define MQRCCF_CFH_COMMAND_ERROR 3007
#define MQRCCF_COMMAND_FAILED 3008
#define MQRCCF_STRUCTURE_TYPE_ERROR 3013
#define MQRCCF_CFIN_PARM_ID_ERROR 3014
#define MQRCCF_CFST_PARM_ID_ERROR 3015
#define MQRCCF_CFIN_DUPLICATE_PARM 3017
#define MQRCCF_CFST_DUPLICATE_PARM 3018
#define MQRCCF_CFST_STRING_LENGTH_ERR 3011
#define MQRCCF_PARM_COUNT_TOO_BIG 3020
#define MQRCCF_Q_TYPE_ERROR 3022
#define MQRCCF_MD_FORMAT_ERROR 3023
#define MQRCCF_REPLACE_VALUE_ERROR 3025
#define MQRCCF_QUIESCE_VALUE_ERROR 3029
#define MQRCCF_MSG_SEQ_NUMBER_ERROR 3030
#define MQRCCF_PING_DATA_COUNT_ERROR 3031
#define MQRCCF_CFSL_PARM_ID_ERROR 3033
#define MQRCCF_CHANNEL_TYPE_ERROR 3034
#define MQRCCF_PURGE_VALUE_ERROR 3046
#define MQRCCF_CFIL_PARM_ID_ERROR 3047
#define MQRCCF_INDOUBT_VALUE_ERROR 3053
#define MQRCCF_CHL_STATUS_NOT_FOUND 3065
#define MQRCCF_OBJECT_ALREADY_EXISTS 4001
#define MQRCCF_OBJECT_WRONG_TYPE 4002
#define MQRCCF_LIKE_OBJECT_WRONG_TYPE 4003
#define MQRCCF_OBJECT_OPEN 4004
#define MQRCCF_ATTR_VALUE_ERROR 4005
#define MQRCCF_Q_WRONG_TYPE 4007
#define MQRCCF_OBJECT_NAME_ERROR 4008
#define MQRCCF_CHANNEL_INDOUBT 4025
#define MQRCCF_CHANNEL_IN_USE 4031
#define MQRCCF_CHANNEL_NOT_FOUND 4032
#define MQRCCF_CHANNEL_NOT_ACTIVE 4064

/* Parameters of responses and events */
#define MQIACF_PARAMETER_ID 1012
#define MQIACF_ERROR_IDENTIFIER 1013
#define MQIACF_REASON_QUALIFIER 1020
#define MQIACF_OPEN_OPTIONS 1022
#define MQIACF_AUX_ERROR_DATA_INT_1 1070
#define MQIACF_AUX_ERROR_DATA_INT_2 1071
#define MQIACF_CLUSTER_INFO 1083
#define MQIACF_Q_HANDLE 1104
#define MQIACF_Q_STATUS 1105
#define MQCACF_Q_NAMES 3011
#define MQCACF_PROCESS_NAMES 3012
#define MQCACF_NAMELIST_NAMES 3013
#define MQCACF_OBJECT_Q_MGR_NAME 3023
#define MQCACF_APPL_NAME 3024
#define MQCACF_AUX_ERROR_DATA_STR_1 3026
#define MQCACF_AUX_ERROR_DATA_STR_2 3027
#define MQCACF_AUX_ERROR_DATA_STR_3 3028
#define MQCACH_CHANNEL_NAMES 3512

/* Report options the command server honours */
#define MQRO_PASS_DISCARD_AND_EXPIRY 0x00004000
#define MQRO_EXPIRATION 0x00200000
#define MQRO_EXPIRATION_WITH_DATA 0x00600000
#define MQRO_EXPIRATION_WITH_FULL_DATA 0x00E00000
#define MQRO_DISCARD_MSG 0x08000000
#define MQFB_EXPIRATION 258

/* Channel status, in-doubt status, agent status, stop request */
#define MQCHS_INACTIVE 0
#define MQCHS_BINDING 1
#define MQCHS_STARTING 2
#define MQCHS_RUNNING 3
#define MQCHS_STOPPING 4
#define MQCHS_RETRYING 5
#define MQCHS_STOPPED 6
#define MQCHS_REQUESTING 7
#define MQCHS_PAUSED 8
#define MQCHS_INITIALIZING 13
#define MQCHIDS_NOT_INDOUBT 0
#define MQCHIDS_INDOUBT 1
#define MQMCAS_STOPPED 0
#define MQMCAS_RUNNING 3
#define MQCHSR_STOP_NOT_REQUESTED 0
#define MQCHSR_STOP_REQUESTED 1
#define MQOT_CURRENT_CHANNEL 1011
#define MQOT_SAVED_CHANNEL 1012
#define MQIDO_COMMIT 1
#define MQIDO_BACKOUT 2
#define MQMODE_FORCE 0
#define MQMODE_QUIESCE 1
#define MQMCAT_PROCESS 1
#define MQMCAT_THREAD 2
#define MQPA_DEFAULT 1
#define MQPA_CONTEXT 2
#define MQNPMS_NORMAL 1
#define MQNPMS_FAST 2
#define MQCDC_NO_SENDER_CONVERSION 0
#define MQCDC_SENDER_CONVERSION 1

/* Clusters */
#define MQQMDT_EXPLICIT_CLUSTER_SENDER 1
#define MQQMDT_AUTO_CLUSTER_SENDER 2
#define MQQMDT_CLUSTER_RECEIVER 3
#define MQQMDT_AUTO_EXP_CLUSTER_SENDER 4
#define MQQMT_NORMAL 0
#define MQQMT_REPOSITORY 1
#define MQSUS_NO 0
#define MQSUS_YES 1
#define MQCQT_LOCAL_Q 1
#define MQCQT_ALIAS_Q 2
#define MQCQT_REMOTE_Q 3
#define MQCQT_Q_MGR_ALIAS 4
#define MQBND_BIND_ON_OPEN 0
#define MQBND_BIND_NOT_FIXED 1
#define MQACT_FORCE_REMOVE 1
#define MQQSIE_NONE 0
#define MQQSIE_HIGH 1
#define MQQSIE_OK 2

/* Event reasons and their qualifiers */
#define MQRC_Q_SERVICE_INTERVAL_HIGH 2226
#define MQRC_Q_SERVICE_INTERVAL_OK 2227
#define MQRQ_CONN_NOT_AUTHORIZED 1
#define MQRQ_OPEN_NOT_AUTHORIZED 2
#define MQRQ_CLOSE_NOT_AUTHORIZED 3
#define MQRQ_CMD_NOT_AUTHORIZED 4
#define MQRQ_Q_MGR_STOPPING 5
#define MQRQ_Q_MGR_QUIESCING 6
#define MQRQ_CHANNEL_STOPPED_OK 7
#define MQRQ_CHANNEL_STOPPED_ERROR 8
#define MQRQ_CHANNEL_STOPPED_RETRY 9
#define MQRQ_CHANNEL_STOPPED_DISABLED 10

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
MQI_STATIC_ASSERT(sizeof(MQMD1) == MQMD_LENGTH_1, "MQMD version 1 is 324 bytes");
MQI_STATIC_ASSERT(offsetof(MQMD, GroupId) == sizeof(MQMD1), "MQMD version 2 extends version 1");
MQI_STATIC_ASSERT(offsetof(MQOD, ObjectName) == 12, "MQOD.ObjectName");
MQI_STATIC_ASSERT(offsetof(MQOD, ObjectQMgrName) == 60, "MQOD.ObjectQMgrName");
MQI_STATIC_ASSERT(offsetof(MQOD, DynamicQName) == 108, "MQOD.DynamicQName");
MQI_STATIC_ASSERT(offsetof(MQOD, AlternateUserId) == 156, "MQOD.AlternateUserId");
MQI_STATIC_ASSERT(offsetof(MQOD, RecsPresent) == MQOD_LENGTH_1, "MQOD version 1 is 168 bytes");
MQI_STATIC_ASSERT(offsetof(MQOD, AlternateSecurityId) == MQOD_LENGTH_2, "MQOD version 2");
MQI_STATIC_ASSERT(sizeof(MQOD) == MQOD_LENGTH_3, "MQOD version 3");
MQI_STATIC_ASSERT(offsetof(MQGMO, WaitInterval) == 12, "MQGMO.WaitInterval");
MQI_STATIC_ASSERT(offsetof(MQGMO, ResolvedQName) == 24, "MQGMO.ResolvedQName");
MQI_STATIC_ASSERT(offsetof(MQGMO, MatchOptions) == MQGMO_LENGTH_1, "MQGMO version 1 is 72 bytes");
MQI_STATIC_ASSERT(offsetof(MQGMO, MsgToken) == MQGMO_LENGTH_2, "MQGMO version 2 is 80 bytes");
MQI_STATIC_ASSERT(sizeof(MQGMO) == MQGMO_LENGTH_3, "MQGMO version 3 is 100 bytes");
MQI_STATIC_ASSERT(offsetof(MQPMO, Context) == 16, "MQPMO.Context");
MQI_STATIC_ASSERT(offsetof(MQPMO, ResolvedQName) == 32, "MQPMO.ResolvedQName");
MQI_STATIC_ASSERT(offsetof(MQPMO, ResolvedQMgrName) == 80, "MQPMO.ResolvedQMgrName");
MQI_STATIC_ASSERT(offsetof(MQPMO, RecsPresent) == MQPMO_LENGTH_1, "MQPMO version 1 is 128 bytes");
MQI_STATIC_ASSERT(sizeof(MQPMO) == MQPMO_LENGTH_2, "MQPMO version 2");
MQI_STATIC_ASSERT(offsetof(MQCNO, ClientConnOffset) == MQCNO_LENGTH_1, "MQCNO version 1 is 12 bytes");
MQI_STATIC_ASSERT(sizeof(MQCNO) == MQCNO_LENGTH_2, "MQCNO version 2");
MQI_STATIC_ASSERT(offsetof(MQCD, Version) == 20, "MQCD.Version");
MQI_STATIC_ASSERT(offsetof(MQCD, BatchSize) == 304, "MQCD.BatchSize");
MQI_STATIC_ASSERT(offsetof(MQCD, SeqNumberWrap) == 840, "MQCD.SeqNumberWrap");
MQI_STATIC_ASSERT(offsetof(MQCD, UserIdentifier) == MQCD_LENGTH_1, "MQCD version 1 is 984 bytes");
MQI_STATIC_ASSERT(offsetof(MQCD, ConnectionName) == 1024, "MQCD.ConnectionName");
MQI_STATIC_ASSERT(offsetof(MQCD, MsgRetryExit) == MQCD_LENGTH_2, "MQCD version 2 is 1312 bytes");
MQI_STATIC_ASSERT(offsetof(MQCD, HeartbeatInterval) == MQCD_LENGTH_3, "MQCD version 3 is 1480 bytes");
MQI_STATIC_ASSERT(offsetof(MQCD, ClusterPtr) == MQCD_LENGTH_4, "MQCD version 4");
MQI_STATIC_ASSERT(offsetof(MQCD, LongMCAUserIdLength) == MQCD_LENGTH_5, "MQCD version 5");
MQI_STATIC_ASSERT(sizeof(MQCD) == MQCD_LENGTH_6, "MQCD version 6");
MQI_STATIC_ASSERT(sizeof(MQDLH) == MQDLH_LENGTH_1, "MQDLH is 172 bytes");
MQI_STATIC_ASSERT(offsetof(MQDLH, DestQName) == 12, "MQDLH.DestQName");
MQI_STATIC_ASSERT(offsetof(MQDLH, Encoding) == 108, "MQDLH.Encoding");
MQI_STATIC_ASSERT(offsetof(MQDLH, Format) == 116, "MQDLH.Format");
MQI_STATIC_ASSERT(offsetof(MQDLH, PutApplName) == 128, "MQDLH.PutApplName");
MQI_STATIC_ASSERT(sizeof(MQXQH) == MQXQH_LENGTH_1, "MQXQH is 428 bytes");
MQI_STATIC_ASSERT(offsetof(MQXQH, RemoteQMgrName) == 56, "MQXQH.RemoteQMgrName");
MQI_STATIC_ASSERT(offsetof(MQXQH, MsgDesc) == 104, "MQXQH.MsgDesc");
MQI_STATIC_ASSERT(sizeof(MQMDE) == MQMDE_LENGTH_2, "MQMDE is 72 bytes");
MQI_STATIC_ASSERT(offsetof(MQMDE, Format) == 20, "MQMDE.Format");
MQI_STATIC_ASSERT(offsetof(MQMDE, GroupId) == 32, "MQMDE.GroupId");
MQI_STATIC_ASSERT(offsetof(MQMDE, OriginalLength) == 68, "MQMDE.OriginalLength");
MQI_STATIC_ASSERT(sizeof(MQCFH) == MQCFH_STRUC_LENGTH, "MQCFH is 36 bytes");
MQI_STATIC_ASSERT(sizeof(MQCFIN) == MQCFIN_STRUC_LENGTH, "MQCFIN is 16 bytes");
MQI_STATIC_ASSERT(offsetof(MQCFST, String) == MQCFST_STRUC_LENGTH_FIXED, "MQCFST fixed part");
MQI_STATIC_ASSERT(offsetof(MQCFIL, Values) == MQCFIL_STRUC_LENGTH_FIXED, "MQCFIL fixed part");
MQI_STATIC_ASSERT(offsetof(MQCFSL, Strings) == MQCFSL_STRUC_LENGTH_FIXED, "MQCFSL fixed part");

#endif /* MQI_MQI_H_ */
