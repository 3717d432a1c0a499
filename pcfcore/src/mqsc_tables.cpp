// mqsc_tables.cpp: the keyword, value-list, row and command tables of the
// MQSC conversion, and their lookups.
//
// Map of this file:
//   1. value lists (the MQSC words of enumerated PCF values)
//   2. keyword records (one X-macro list: the enum of indices and the array
//      come from the same lines, so they cannot drift apart)
//   3. row builders and the attribute groups shared by several commands
//   4. the row table of every command and the command records
//   5. the reply-identifier table
//   6. lookups
//
// All data is constexpr: it lives in read-only storage and is safe to read
// from any thread.

#include <pcfcore/excmd.h>
#include <pcfcore/mqsc.h>
#include <pcfcore/mqsc_tables.h>

#include <cstring>
#include <iterator>

namespace {

// ---- 1. Value lists -------------------------------------------------------

#define MQSC_VALUES(ident, name, bare, ...)                                 \
  constexpr MqscValueWord ident##_words[] = {__VA_ARGS__};                  \
  constexpr MqscValueList ident = {name, bare,                              \
                                   static_cast<MQLONG>(std::size(ident##_words)), \
                                   ident##_words};

// Queue types (MQQT_*).
MQSC_VALUES(kQueueType, "TYPE", 0, {"QALIAS", 3}, {"QLOCAL", 1}, {"QREMOTE", 6},
            {"QMODEL", 2}, {"QCLUSTER", 7}, {"ALL", 1001})
// Channel types (MQCHT_*).
MQSC_VALUES(kChannelType, "CHLTYPE", 0, {"SDR", 1}, {"SVR", 2}, {"RCVR", 3},
            {"RQSTR", 4}, {"SVRCONN", 7}, {"CLNTCONN", 6}, {"CLUSRCVR", 8},
            {"CLUSSDR", 9}, {"ALL", 5})
// Transport types (MQXPT_*).
MQSC_VALUES(kTransportType, "TRPTYPE", 0, {"LU62", 1}, {"TCP", 2},
            {"NETBIOS", 3}, {"SPX", 4}, {"LOCAL", 0}, {"DECNET", 5}, {"UDP", 6})
// Trigger types (MQTT_*).
MQSC_VALUES(kTriggerType, "TRIGTYPE", 0, {"NONE", 0}, {"EVERY", 2},
            {"FIRST", 1}, {"DEPTH", 3})
// Put and get inhibited (MQQA_PUT_*, MQQA_GET_*): 0 allowed, 1 inhibited.
MQSC_VALUES(kInhibit, "PUT/GET", 0, {"ENABLED", 0}, {"DISABLED", 1})
// Events and switches (MQEVR_*, MQCHAD_*): 1 enabled.
MQSC_VALUES(kEnabled, "EVENT", 0, {"ENABLED", 1}, {"DISABLED", 0})
// Yes and no (MQPER_*, MQCDC_*, MQDL_*, MQSUS_*, MQCHIDS_*, MQCHSR_*, ...).
MQSC_VALUES(kYesNo, "YES/NO", 0, {"YES", 1}, {"NO", 0})
// Queue-sharing group disposition (the suite's values).
MQSC_VALUES(kQsgDisp, "QSGDISP", 0, {"ALL", 0}, {"LIVE", 1}, {"QMGR", 2},
            {"COPY", 3}, {"GROUP", 4}, {"PRIVATE", 5}, {"SHARED", 6})
// Channel status (MQCHS_*).
MQSC_VALUES(kChannelStatus, "STATUS", 0, {"INACTIVE", 0}, {"BINDING", 1},
            {"STARTING", 2}, {"RUNNING", 3}, {"STOPPING", 4}, {"RETRYING", 5},
            {"STOPPED", 6}, {"REQUESTING", 7}, {"PAUSED", 8},
            {"INITIALIZING", 13})
// Default input open option (MQOO_INPUT_SHARED, MQOO_INPUT_EXCLUSIVE).
MQSC_VALUES(kDefSopt, "DEFSOPT", 0, {"SHARED", 2}, {"EXCL", 4})
// Queue definition type (MQQDT_*).
MQSC_VALUES(kDefType, "DEFTYPE", 0, {"PREDEFINED", 1}, {"PERMDYN", 2},
            {"TEMPDYN", 3}, {"SHAREDYN", 4})
// Usage (MQUS_*).
MQSC_VALUES(kUsage, "USAGE", 0, {"NORMAL", 0}, {"XMITQ", 1})
// Message delivery sequence (MQMDS_*).
MQSC_VALUES(kMsgDlvSq, "MSGDLVSQ", 0, {"PRIORITY", 0}, {"FIFO", 1})
// Scope (MQSCO_*).
MQSC_VALUES(kScope, "SCOPE", 0, {"QMGR", 1}, {"CELL", 2})
// Service interval events (MQQSIE_*).
MQSC_VALUES(kServiceEvent, "QSVCIEV", 0, {"HIGH", 1}, {"OK", 2}, {"NONE", 0})
// Index type (MQIT_*).
MQSC_VALUES(kIndexType, "INDXTYPE", 0, {"NONE", 0}, {"MSGID", 1},
            {"CORRELID", 2}, {"GROUPID", 3}, {"MSGTOKEN", 4})
// Default binding (MQBND_*).
MQSC_VALUES(kDefBind, "DEFBIND", 0, {"OPEN", 0}, {"NOTFIXED", 1})
// Cluster queue type (MQCQT_*).
MQSC_VALUES(kClusterQType, "CLUSQT", 0, {"QLOCAL", 1}, {"QALIAS", 2},
            {"QREMOTE", 3}, {"QMGRALIAS", 4})
// Application type (MQAT_*).
MQSC_VALUES(kApplType, "APPLTYPE", 0, {"CICS", 1}, {"MVS", 2}, {"ZOS", 2},
            {"IMS", 3}, {"OS2", 4}, {"DOS", 5}, {"UNIX", 6}, {"QMGR", 7},
            {"OS400", 8}, {"WINDOWS", 9}, {"WINDOWSNT", 11}, {"VMS", 12},
            {"NSK", 13}, {"VOS", 14})
// Platform (MQPL_*).
MQSC_VALUES(kPlatform, "PLATFORM", 0, {"MVS", 1}, {"ZOS", 1}, {"OS2", 2},
            {"UNIX", 3}, {"OS400", 4}, {"WINDOWS", 5}, {"WINDOWSNT", 11},
            {"VMS", 12}, {"NSK", 13}, {"VSE", 27})
// Put authority (MQPA_*).
MQSC_VALUES(kPutAut, "PUTAUT", 0, {"DEF", 1}, {"CTX", 2}, {"ONLYMCA", 3},
            {"ALTMCA", 4})
// MCA type (MQMCAT_*).
MQSC_VALUES(kMcaType, "MCATYPE", 0, {"PROCESS", 1}, {"THREAD", 2})
// Non-persistent message speed (MQNPMS_*).
MQSC_VALUES(kNpmSpeed, "NPMSPEED", 0, {"NORMAL", 1}, {"FAST", 2})
// Channel table (MQCHTAB_*).
MQSC_VALUES(kChannelTable, "CHLTABLE", 0, {"QMGR", 1}, {"CLNTCONN", 2})
// Stop and suspend mode (MQMODE_*).
MQSC_VALUES(kMode, "MODE", 0, {"QUIESCE", 1}, {"FORCE", 0})
// In-doubt resolution (MQIDO_*).
MQSC_VALUES(kResolveAction, "ACTION", 0, {"COMMIT", 1}, {"BACKOUT", 2})
// Reset cluster action (MQACT_FORCE_REMOVE).
MQSC_VALUES(kResetAction, "ACTION", 0, {"FORCEREMOVE", 1})
// Cluster queue-manager definition type (MQQMDT_*).
MQSC_VALUES(kClusQmgrDefType, "DEFTYPE", 0, {"CLUSSDR", 1}, {"CLUSSDRA", 2},
            {"CLUSRCVR", 3}, {"CLUSSDRB", 4})
// Cluster queue-manager type (MQQMT_*).
MQSC_VALUES(kQmgrType, "QMTYPE", 0, {"NORMAL", 0}, {"REPOS", 1})
// MCA status (MQMCAS_*).
MQSC_VALUES(kMcaStatus, "MCASTAT", 0, {"STOPPED", 0}, {"RUNNING", 3})
// Queue status open type (MQQSOT_*).
MQSC_VALUES(kOpenType, "OPENTYPE", 0, {"ALL", 1}, {"INPUT", 2}, {"OUTPUT", 3})
// Queue status type (MQIACF_Q_STATUS, MQIACF_Q_HANDLE).
MQSC_VALUES(kQStatusType, "TYPE", 0, {"QUEUE", 1105}, {"HANDLE", 1104})
// MOVE QLOCAL type (the suite's values).
MQSC_VALUES(kMoveType, "TYPE", 0, {"MOVE", 1}, {"ADD", 2})
// Intra-group queuing put authority (MQIGQPA_*).
MQSC_VALUES(kIgqAut, "IGQAUT", 0, {"DEF", 1}, {"CTX", 2}, {"ONLYIGQ", 3},
            {"ALTIGQ", 4})
// Channel disposition (MQCHLD_*).
MQSC_VALUES(kChannelDisp, "CHLDISP", 0, {"PRIVATE", 4}, {"SHARED", 2},
            {"FIXSHARED", 5})
// Words that stand alone.
MQSC_VALUES(kShare, "SHARE", 1, {"SHARE", 1}, {"NOSHARE", 0})
MQSC_VALUES(kTrigger, "TRIGGER", 1, {"TRIGGER", 1}, {"NOTRIGGER", 0})
MQSC_VALUES(kHardenBo, "HARDENBO", 1, {"HARDENBO", 1}, {"NOHARDENBO", 0})
MQSC_VALUES(kReplace, "REPLACE", 1, {"REPLACE", 1}, {"NOREPLACE", 0})
MQSC_VALUES(kPurge, "PURGE", 1, {"PURGE", 1}, {"NOPURGE", 0})
MQSC_VALUES(kForce, "FORCE", 1, {"FORCE", 1}, {"", 0})
MQSC_VALUES(kSyncpt, "SYNCPT", 1, {"SYNCPT", 1}, {"", 0})
MQSC_VALUES(kChannelInstance, "CURRENT", 1, {"CURRENT", 1011}, {"SAVED", 1012})
MQSC_VALUES(kCancelOffload, "CANCEL", 1, {"CANCEL OFFLOAD", 1}, {"", 0})

#undef MQSC_VALUES

// ---- 2. Keyword records ---------------------------------------------------

#define BARE MQSC_KIND_BARE
#define INT MQSC_KIND_INTEGER
#define STR MQSC_KIND_STRING
#define LIST MQSC_KIND_STRING_LIST
#define ENUM MQSC_KIND_ENUM

// X(index, kind, parameter, text, value list)
#define MQSC_KEYWORD_LIST(X)                                                  \
  /* Verbs */                                                                 \
  X(V_ALTER_QMGR, MQSC_KIND_VERB, 0, "ALTER QMGR", nullptr)                                \
  X(V_DISPLAY_QMGR, MQSC_KIND_VERB, 0, "DISPLAY QMGR", nullptr)                            \
  X(V_PING_QMGR, MQSC_KIND_VERB, 0, "PING QMGR", nullptr)                                  \
  X(V_ALTER_PROCESS, MQSC_KIND_VERB, 0, "ALTER PROCESS", nullptr)                          \
  X(V_DEFINE_PROCESS, MQSC_KIND_VERB, 0, "DEFINE PROCESS", nullptr)                        \
  X(V_DELETE_PROCESS, MQSC_KIND_VERB, 0, "DELETE PROCESS", nullptr)                        \
  X(V_DISPLAY_PROCESS, MQSC_KIND_VERB, 0, "DISPLAY PROCESS", nullptr)                      \
  X(V_ALTER, MQSC_KIND_VERB, 0, "ALTER", nullptr)                                          \
  X(V_DEFINE, MQSC_KIND_VERB, 0, "DEFINE", nullptr)                                        \
  X(V_CLEAR_QLOCAL, MQSC_KIND_VERB, 0, "CLEAR QLOCAL", nullptr)                            \
  X(V_DELETE, MQSC_KIND_VERB, 0, "DELETE", nullptr)                                        \
  X(V_DISPLAY_QUEUE, MQSC_KIND_VERB, 0, "DISPLAY QUEUE", nullptr)                          \
  X(V_RESET_QSTATS, MQSC_KIND_VERB, 0, "RESET QSTATS", nullptr)                            \
  X(V_ALTER_CHANNEL, MQSC_KIND_VERB, 0, "ALTER CHANNEL", nullptr)                          \
  X(V_DEFINE_CHANNEL, MQSC_KIND_VERB, 0, "DEFINE CHANNEL", nullptr)                        \
  X(V_DELETE_CHANNEL, MQSC_KIND_VERB, 0, "DELETE CHANNEL", nullptr)                        \
  X(V_DISPLAY_CHANNEL, MQSC_KIND_VERB, 0, "DISPLAY CHANNEL", nullptr)                      \
  X(V_PING_CHANNEL, MQSC_KIND_VERB, 0, "PING CHANNEL", nullptr)                            \
  X(V_RESET_CHANNEL, MQSC_KIND_VERB, 0, "RESET CHANNEL", nullptr)                          \
  X(V_START_CHANNEL, MQSC_KIND_VERB, 0, "START CHANNEL", nullptr)                          \
  X(V_STOP_CHANNEL, MQSC_KIND_VERB, 0, "STOP CHANNEL", nullptr)                            \
  X(V_RESOLVE_CHANNEL, MQSC_KIND_VERB, 0, "RESOLVE CHANNEL", nullptr)                      \
  X(V_DISPLAY_CHSTATUS, MQSC_KIND_VERB, 0, "DISPLAY CHSTATUS", nullptr)                    \
  X(V_DISPLAY_CLUSQMGR, MQSC_KIND_VERB, 0, "DISPLAY CLUSQMGR", nullptr)                    \
  X(V_RESUME_QMGR, MQSC_KIND_VERB, 0, "RESUME QMGR", nullptr)                              \
  X(V_SUSPEND_QMGR, MQSC_KIND_VERB, 0, "SUSPEND QMGR", nullptr)                            \
  X(V_REFRESH_CLUSTER, MQSC_KIND_VERB, 0, "REFRESH CLUSTER", nullptr)                      \
  X(V_RESET_CLUSTER, MQSC_KIND_VERB, 0, "RESET CLUSTER", nullptr)                          \
  X(V_ALTER_NAMELIST, MQSC_KIND_VERB, 0, "ALTER NAMELIST", nullptr)                        \
  X(V_DEFINE_NAMELIST, MQSC_KIND_VERB, 0, "DEFINE NAMELIST", nullptr)                      \
  X(V_DELETE_NAMELIST, MQSC_KIND_VERB, 0, "DELETE NAMELIST", nullptr)                      \
  X(V_DISPLAY_NAMELIST, MQSC_KIND_VERB, 0, "DISPLAY NAMELIST", nullptr)                    \
  X(V_DISPLAY_GROUP, MQSC_KIND_VERB, 0, "DISPLAY GROUP", nullptr)                          \
  X(V_DISPLAY_LOG, MQSC_KIND_VERB, 0, "DISPLAY LOG", nullptr)                              \
  X(V_SET_LOG, MQSC_KIND_VERB, 0, "SET LOG", nullptr)                                      \
  X(V_ARCHIVE_LOG, MQSC_KIND_VERB, 0, "ARCHIVE LOG", nullptr)                              \
  X(V_DISPLAY_QSTATUS, MQSC_KIND_VERB, 0, "DISPLAY QSTATUS", nullptr)                      \
  X(V_MOVE_QLOCAL, MQSC_KIND_VERB, 0, "MOVE QLOCAL", nullptr)                              \
  /* Object names */                                                          \
  X(K_QUEUE, STR, MQCA_Q_NAME, "QUEUE", nullptr)                              \
  X(K_QSTATS, STR, MQCA_Q_NAME, "QSTATS", nullptr)                            \
  X(K_QSTATUS, STR, MQCA_Q_NAME, "QSTATUS", nullptr)                          \
  X(K_PROCESS, STR, MQCA_PROCESS_NAME, "PROCESS", nullptr)                    \
  X(K_NAMELIST, STR, MQCA_NAMELIST_NAME, "NAMELIST", nullptr)                 \
  X(K_CHANNEL, STR, MQCACH_CHANNEL_NAME, "CHANNEL", nullptr)                  \
  X(K_CHSTATUS, STR, MQCACH_CHANNEL_NAME, "CHSTATUS", nullptr)                \
  X(K_CLUSQMGR, STR, MQCA_CLUSTER_Q_MGR_NAME, "CLUSQMGR", nullptr)            \
  X(K_CLUSTER, STR, MQCA_CLUSTER_NAME, "CLUSTER", nullptr)                    \
  X(K_CLUSNL, STR, MQCA_CLUSTER_NAMELIST, "CLUSNL", nullptr)                  \
  X(K_QMNAME, STR, MQCA_Q_MGR_NAME, "QMNAME", nullptr)                        \
  X(K_QMID, STR, MQCA_Q_MGR_IDENTIFIER, "QMID", nullptr)                      \
  X(K_TO_QUEUE, STR, MQCACF_TO_Q_NAME, "QUEUE", nullptr)                      \
  X(K_LIKE_QUEUE, STR, MQCACF_FROM_Q_NAME, "LIKE", nullptr)                   \
  X(K_FROM_QLOCAL, STR, MQCACF_FROM_Q_NAME, "QLOCAL", nullptr)                \
  X(K_TOQLOCAL, STR, MQCACF_TO_Q_NAME, "TOQLOCAL", nullptr)                   \
  X(K_TO_PROCESS, STR, MQCACF_TO_PROCESS_NAME, "PROCESS", nullptr)            \
  X(K_LIKE_PROCESS, STR, MQCACF_FROM_PROCESS_NAME, "LIKE", nullptr)           \
  X(K_TO_NAMELIST, STR, MQCACF_TO_NAMELIST_NAME, "NAMELIST", nullptr)         \
  X(K_LIKE_NAMELIST, STR, MQCACF_FROM_NAMELIST_NAME, "LIKE", nullptr)         \
  X(K_TO_CHANNEL, STR, MQCACF_TO_CHANNEL_NAME, "CHANNEL", nullptr)            \
  X(K_LIKE_CHANNEL, STR, MQCACF_FROM_CHANNEL_NAME, "LIKE", nullptr)           \
  /* Common */                                                                \
  X(K_ALL, BARE, MQIACF_ALL, "ALL", nullptr)                                  \
  X(K_QSGDISP, ENUM, MQSC_QSGDISP, "QSGDISP", &kQsgDisp)                      \
  X(K_CMDSCOPE, STR, MQSC_CMDSCOPE, "CMDSCOPE", nullptr)                      \
  X(K_REPLACE, ENUM, MQIACF_REPLACE, "REPLACE", &kReplace)                    \
  X(K_PURGE, ENUM, MQIACF_PURGE, "PURGE", &kPurge)                            \
  X(K_FORCE, ENUM, MQIACF_FORCE, "FORCE", &kForce)                            \
  X(K_ALTDATE, STR, MQCA_ALTERATION_DATE, "ALTDATE", nullptr)                 \
  X(K_ALTTIME, STR, MQCA_ALTERATION_TIME, "ALTTIME", nullptr)                 \
  X(K_CRDATE, STR, MQCA_CREATION_DATE, "CRDATE", nullptr)                     \
  X(K_CRTIME, STR, MQCA_CREATION_TIME, "CRTIME", nullptr)                     \
  /* Queues */                                                                \
  X(K_TYPE, ENUM, MQIA_Q_TYPE, "TYPE", &kQueueType)                           \
  X(K_Q_DESCR, STR, MQCA_Q_DESC, "DESCR", nullptr)                            \
  X(K_PUT, ENUM, MQIA_INHIBIT_PUT, "PUT", &kInhibit)                          \
  X(K_GET, ENUM, MQIA_INHIBIT_GET, "GET", &kInhibit)                          \
  X(K_DEFPRTY, INT, MQIA_DEF_PRIORITY, "DEFPRTY", nullptr)                    \
  X(K_DEFPSIST, ENUM, MQIA_DEF_PERSISTENCE, "DEFPSIST", &kYesNo)              \
  X(K_DEFBIND, ENUM, MQIA_DEF_BIND, "DEFBIND", &kDefBind)                     \
  X(K_SCOPE, ENUM, MQIA_SCOPE, "SCOPE", &kScope)                              \
  X(K_TARGQ, STR, MQCA_BASE_Q_NAME, "TARGQ", nullptr)                         \
  X(K_RNAME, STR, MQCA_REMOTE_Q_NAME, "RNAME", nullptr)                       \
  X(K_RQMNAME, STR, MQCA_REMOTE_Q_MGR_NAME, "RQMNAME", nullptr)               \
  X(K_XMITQ, STR, MQCA_XMIT_Q_NAME, "XMITQ", nullptr)                         \
  X(K_MAXDEPTH, INT, MQIA_MAX_Q_DEPTH, "MAXDEPTH", nullptr)                   \
  X(K_MAXMSGL, INT, MQIA_MAX_MSG_LENGTH, "MAXMSGL", nullptr)                  \
  X(K_SHARE, ENUM, MQIA_SHAREABILITY, "SHARE", &kShare)                       \
  X(K_DEFSOPT, ENUM, MQIA_DEF_INPUT_OPEN_OPTION, "DEFSOPT", &kDefSopt)        \
  X(K_MSGDLVSQ, ENUM, MQIA_MSG_DELIVERY_SEQUENCE, "MSGDLVSQ", &kMsgDlvSq)     \
  X(K_HARDENBO, ENUM, MQIA_HARDEN_GET_BACKOUT, "HARDENBO", &kHardenBo)        \
  X(K_TRIGGER, ENUM, MQIA_TRIGGER_CONTROL, "TRIGGER", &kTrigger)              \
  X(K_TRIGTYPE, ENUM, MQIA_TRIGGER_TYPE, "TRIGTYPE", &kTriggerType)           \
  X(K_TRIGDPTH, INT, MQIA_TRIGGER_DEPTH, "TRIGDPTH", nullptr)                 \
  X(K_TRIGMPRI, INT, MQIA_TRIGGER_MSG_PRIORITY, "TRIGMPRI", nullptr)          \
  X(K_TRIGDATA, STR, MQCA_TRIGGER_DATA, "TRIGDATA", nullptr)                  \
  X(K_INITQ, STR, MQCA_INITIATION_Q_NAME, "INITQ", nullptr)                   \
  X(K_RETINTVL, INT, MQIA_RETENTION_INTERVAL, "RETINTVL", nullptr)            \
  X(K_BOTHRESH, INT, MQIA_BACKOUT_THRESHOLD, "BOTHRESH", nullptr)             \
  X(K_BOQNAME, STR, MQCA_BACKOUT_REQ_Q_NAME, "BOQNAME", nullptr)              \
  X(K_USAGE, ENUM, MQIA_USAGE, "USAGE", &kUsage)                              \
  X(K_QDEPTHHI, INT, MQIA_Q_DEPTH_HIGH_LIMIT, "QDEPTHHI", nullptr)            \
  X(K_QDEPTHLO, INT, MQIA_Q_DEPTH_LOW_LIMIT, "QDEPTHLO", nullptr)             \
  X(K_QDPMAXEV, ENUM, MQIA_Q_DEPTH_MAX_EVENT, "QDPMAXEV", &kEnabled)          \
  X(K_QDPHIEV, ENUM, MQIA_Q_DEPTH_HIGH_EVENT, "QDPHIEV", &kEnabled)           \
  X(K_QDPLOEV, ENUM, MQIA_Q_DEPTH_LOW_EVENT, "QDPLOEV", &kEnabled)            \
  X(K_QSVCINT, INT, MQIA_Q_SERVICE_INTERVAL, "QSVCINT", nullptr)              \
  X(K_QSVCIEV, ENUM, MQIA_Q_SERVICE_INTERVAL_EVENT, "QSVCIEV", &kServiceEvent) \
  X(K_INDXTYPE, ENUM, MQIA_INDEX_TYPE, "INDXTYPE", &kIndexType)               \
  X(K_STGCLASS, STR, MQCA_STORAGE_CLASS, "STGCLASS", nullptr)                 \
  X(K_CFSTRUCT, STR, MQCA_CF_STRUC_NAME, "CFSTRUCT", nullptr)                 \
  X(K_DISTL, ENUM, MQIA_DIST_LISTS, "DISTL", &kYesNo)                         \
  X(K_DEFTYPE, ENUM, MQIA_DEFINITION_TYPE, "DEFTYPE", &kDefType)              \
  X(K_CURDEPTH, INT, MQIA_CURRENT_Q_DEPTH, "CURDEPTH", nullptr)               \
  X(K_IPPROCS, INT, MQIA_OPEN_INPUT_COUNT, "IPPROCS", nullptr)                \
  X(K_OPPROCS, INT, MQIA_OPEN_OUTPUT_COUNT, "OPPROCS", nullptr)               \
  X(K_CLUSDATE, STR, MQCA_CLUSTER_DATE, "CLUSDATE", nullptr)                  \
  X(K_CLUSTIME, STR, MQCA_CLUSTER_TIME, "CLUSTIME", nullptr)                  \
  X(K_CLUSQT, ENUM, MQIA_CLUSTER_Q_TYPE, "CLUSQT", &kClusterQType)            \
  X(K_HIQDEPTH, INT, MQIA_HIGH_Q_DEPTH, "HIQDEPTH", nullptr)                  \
  X(K_MSGSIN, INT, MQIA_MSG_ENQ_COUNT, "MSGSIN", nullptr)                     \
  X(K_MSGSOUT, INT, MQIA_MSG_DEQ_COUNT, "MSGSOUT", nullptr)                   \
  X(K_RESETINT, INT, MQIA_TIME_SINCE_RESET, "RESETINT", nullptr)              \
  /* Queue status */                                                          \
  X(K_QS_TYPE, ENUM, MQIACF_Q_STATUS_TYPE, "TYPE", &kQStatusType)             \
  X(K_OPENTYPE, ENUM, MQIACF_OPEN_TYPE, "OPENTYPE", &kOpenType)               \
  X(K_UNCOM, INT, MQIACF_UNCOMMITTED_MSGS, "UNCOM", nullptr)                  \
  X(K_QS_USERID, STR, MQCACF_USER_IDENTIFIER, "USERID", nullptr)              \
  X(K_MOVE_TYPE, ENUM, MQSC_MOVE_TYPE, "TYPE", &kMoveType)                    \
  /* Queue manager */                                                         \
  X(K_QMGR_DESCR, STR, MQCA_Q_MGR_DESC, "DESCR", nullptr)                     \
  X(K_DEADQ, STR, MQCA_DEAD_LETTER_Q_NAME, "DEADQ", nullptr)                  \
  X(K_DEFXMITQ, STR, MQCA_DEF_XMIT_Q_NAME, "DEFXMITQ", nullptr)               \
  X(K_COMMANDQ, STR, MQCA_COMMAND_INPUT_Q_NAME, "COMMANDQ", nullptr)          \
  X(K_TRIGINT, INT, MQIA_TRIGGER_INTERVAL, "TRIGINT", nullptr)                \
  X(K_MAXHANDS, INT, MQIA_MAX_HANDLES, "MAXHANDS", nullptr)                   \
  X(K_MAXUMSGS, INT, MQIA_MAX_UNCOMMITTED_MSGS, "MAXUMSGS", nullptr)          \
  X(K_MAXPRTY, INT, MQIA_MAX_PRIORITY, "MAXPRTY", nullptr)                    \
  X(K_CCSID, INT, MQIA_CODED_CHAR_SET_ID, "CCSID", nullptr)                   \
  X(K_CMDLEVEL, INT, MQIA_COMMAND_LEVEL, "CMDLEVEL", nullptr)                 \
  X(K_PLATFORM, ENUM, MQIA_PLATFORM, "PLATFORM", &kPlatform)                  \
  X(K_SYNCPT, ENUM, MQIA_SYNCPOINT, "SYNCPT", &kSyncpt)                       \
  X(K_AUTHOREV, ENUM, MQIA_AUTHORITY_EVENT, "AUTHOREV", &kEnabled)            \
  X(K_INHIBTEV, ENUM, MQIA_INHIBIT_EVENT, "INHIBTEV", &kEnabled)              \
  X(K_LOCALEV, ENUM, MQIA_LOCAL_EVENT, "LOCALEV", &kEnabled)                  \
  X(K_REMOTEEV, ENUM, MQIA_REMOTE_EVENT, "REMOTEEV", &kEnabled)               \
  X(K_STRSTPEV, ENUM, MQIA_START_STOP_EVENT, "STRSTPEV", &kEnabled)           \
  X(K_PERFMEV, ENUM, MQIA_PERFORMANCE_EVENT, "PERFMEV", &kEnabled)            \
  X(K_CHAD, ENUM, MQIA_CHANNEL_AUTO_DEF, "CHAD", &kEnabled)                   \
  X(K_CHADEV, ENUM, MQIA_CHANNEL_AUTO_DEF_EVENT, "CHADEV", &kEnabled)         \
  X(K_CHADEXIT, STR, MQCA_CHANNEL_AUTO_DEF_EXIT, "CHADEXIT", nullptr)         \
  X(K_CLWLEXIT, STR, MQCA_CLUSTER_WORKLOAD_EXIT, "CLWLEXIT", nullptr)         \
  X(K_CLWLDATA, STR, MQCA_CLUSTER_WORKLOAD_DATA, "CLWLDATA", nullptr)         \
  X(K_CLWLLEN, INT, MQIA_CLUSTER_WORKLOAD_LENGTH, "CLWLLEN", nullptr)         \
  X(K_REPOS, STR, MQCA_REPOSITORY_NAME, "REPOS", nullptr)                     \
  X(K_REPOSNL, STR, MQCA_REPOSITORY_NAMELIST, "REPOSNL", nullptr)             \
  X(K_IGQ, ENUM, MQIA_INTRA_GROUP_QUEUING, "IGQ", &kEnabled)                  \
  X(K_IGQAUT, ENUM, MQIA_IGQ_PUT_AUTHORITY, "IGQAUT", &kIgqAut)               \
  X(K_IGQUSER, STR, MQCA_IGQ_USER_ID, "IGQUSER", nullptr)                     \
  /* Processes */                                                             \
  X(K_PROCESS_DESCR, STR, MQCA_PROCESS_DESC, "DESCR", nullptr)                \
  X(K_APPLTYPE, ENUM, MQIA_APPL_TYPE, "APPLTYPE", &kApplType)                 \
  X(K_APPLICID, STR, MQCA_APPL_ID, "APPLICID", nullptr)                       \
  X(K_ENVRDATA, STR, MQCA_ENV_DATA, "ENVRDATA", nullptr)                      \
  X(K_USERDATA, STR, MQCA_USER_DATA, "USERDATA", nullptr)                     \
  /* Namelists */                                                             \
  X(K_NAMELIST_DESCR, STR, MQCA_NAMELIST_DESC, "DESCR", nullptr)              \
  X(K_NAMES, LIST, MQCA_NAMES, "NAMES", nullptr)                              \
  X(K_NAMCOUNT, INT, MQIA_NAME_COUNT, "NAMCOUNT", nullptr)                    \
  /* Channels */                                                              \
  X(K_CHLTYPE, ENUM, MQIACH_CHANNEL_TYPE, "CHLTYPE", &kChannelType)           \
  X(K_CH_TYPE, ENUM, MQIACH_CHANNEL_TYPE, "TYPE", &kChannelType)              \
  X(K_TRPTYPE, ENUM, MQIACH_XMIT_PROTOCOL_TYPE, "TRPTYPE", &kTransportType)   \
  X(K_CH_DESCR, STR, MQCACH_DESC, "DESCR", nullptr)                           \
  X(K_CH_XMITQ, STR, MQCACH_XMIT_Q_NAME, "XMITQ", nullptr)                    \
  X(K_CONNAME, STR, MQCACH_CONNECTION_NAME, "CONNAME", nullptr)               \
  X(K_MCANAME, STR, MQCACH_MCA_NAME, "MCANAME", nullptr)                      \
  X(K_MODENAME, STR, MQCACH_MODE_NAME, "MODENAME", nullptr)                   \
  X(K_TPNAME, STR, MQCACH_TP_NAME, "TPNAME", nullptr)                         \
  X(K_BATCHSZ, INT, MQIACH_BATCH_SIZE, "BATCHSZ", nullptr)                    \
  X(K_DISCINT, INT, MQIACH_DISC_INTERVAL, "DISCINT", nullptr)                 \
  X(K_SHORTRTY, INT, MQIACH_SHORT_RETRY, "SHORTRTY", nullptr)                 \
  X(K_SHORTTMR, INT, MQIACH_SHORT_TIMER, "SHORTTMR", nullptr)                 \
  X(K_LONGRTY, INT, MQIACH_LONG_RETRY, "LONGRTY", nullptr)                    \
  X(K_LONGTMR, INT, MQIACH_LONG_TIMER, "LONGTMR", nullptr)                    \
  X(K_SEQWRAP, INT, MQIACH_SEQUENCE_NUMBER_WRAP, "SEQWRAP", nullptr)          \
  X(K_CH_MAXMSGL, INT, MQIACH_MAX_MSG_LENGTH, "MAXMSGL", nullptr)             \
  X(K_CONVERT, ENUM, MQIACH_DATA_CONVERSION, "CONVERT", &kYesNo)              \
  X(K_PUTAUT, ENUM, MQIACH_PUT_AUTHORITY, "PUTAUT", &kPutAut)                 \
  X(K_MCATYPE, ENUM, MQIACH_MCA_TYPE, "MCATYPE", &kMcaType)                   \
  X(K_MCAUSER, STR, MQCACH_MCA_USER_ID, "MCAUSER", nullptr)                   \
  X(K_USERID, STR, MQCACH_USER_ID, "USERID", nullptr)                         \
  X(K_PASSWORD, STR, MQCACH_PASSWORD, "PASSWORD", nullptr)                    \
  X(K_SCYEXIT, STR, MQCACH_SEC_EXIT_NAME, "SCYEXIT", nullptr)                 \
  X(K_SCYDATA, STR, MQCACH_SEC_EXIT_USER_DATA, "SCYDATA", nullptr)            \
  X(K_MSGEXIT, STR, MQCACH_MSG_EXIT_NAME, "MSGEXIT", nullptr)                 \
  X(K_MSGDATA, STR, MQCACH_MSG_EXIT_USER_DATA, "MSGDATA", nullptr)            \
  X(K_SENDEXIT, STR, MQCACH_SEND_EXIT_NAME, "SENDEXIT", nullptr)              \
  X(K_SENDDATA, STR, MQCACH_SEND_EXIT_USER_DATA, "SENDDATA", nullptr)         \
  X(K_RCVEXIT, STR, MQCACH_RCV_EXIT_NAME, "RCVEXIT", nullptr)                 \
  X(K_RCVDATA, STR, MQCACH_RCV_EXIT_USER_DATA, "RCVDATA", nullptr)            \
  X(K_MREXIT, STR, MQCACH_MR_EXIT_NAME, "MREXIT", nullptr)                    \
  X(K_MRDATA, STR, MQCACH_MR_EXIT_USER_DATA, "MRDATA", nullptr)               \
  X(K_MRRTY, INT, MQIACH_MR_COUNT, "MRRTY", nullptr)                          \
  X(K_MRTMR, INT, MQIACH_MR_INTERVAL, "MRTMR", nullptr)                       \
  X(K_HBINT, INT, MQIACH_HB_INTERVAL, "HBINT", nullptr)                       \
  X(K_BATCHINT, INT, MQIACH_BATCH_INTERVAL, "BATCHINT", nullptr)              \
  X(K_NPMSPEED, ENUM, MQIACH_NPM_SPEED, "NPMSPEED", &kNpmSpeed)               \
  X(K_NETPRTY, INT, MQIACH_NETWORK_PRIORITY, "NETPRTY", nullptr)              \
  X(K_CHLTABLE, ENUM, MQIACH_CHANNEL_TABLE, "CHLTABLE", &kChannelTable)       \
  X(K_CHLDISP, ENUM, MQIACH_CHANNEL_DISP, "CHLDISP", &kChannelDisp)           \
  X(K_DATALEN, INT, MQIACH_DATA_COUNT, "DATALEN", nullptr)                    \
  X(K_SEQNUM, INT, MQIACH_MSG_SEQUENCE_NUMBER, "SEQNUM", nullptr)             \
  X(K_MODE, ENUM, MQIACF_MODE, "MODE", &kMode)                                \
  X(K_RESOLVE_ACTION, ENUM, MQIACH_IN_DOUBT, "ACTION", &kResolveAction)       \
  /* Channel status */                                                        \
  X(K_CURRENT, ENUM, MQIACH_CHANNEL_INSTANCE_TYPE, "CURRENT", &kChannelInstance) \
  X(K_STATUS, ENUM, MQIACH_CHANNEL_STATUS, "STATUS", &kChannelStatus)         \
  X(K_CURLUWID, STR, MQCACH_CURRENT_LUWID, "CURLUWID", nullptr)               \
  X(K_LSTLUWID, STR, MQCACH_LAST_LUWID, "LSTLUWID", nullptr)                  \
  X(K_CURMSGS, INT, MQIACH_CURRENT_MSGS, "CURMSGS", nullptr)                  \
  X(K_CURSEQNO, INT, MQIACH_CURRENT_SEQ_NUMBER, "CURSEQNO", nullptr)          \
  X(K_LSTSEQNO, INT, MQIACH_LAST_SEQ_NUMBER, "LSTSEQNO", nullptr)             \
  X(K_INDOUBT, ENUM, MQIACH_INDOUBT_STATUS, "INDOUBT", &kYesNo)               \
  X(K_MSGS, INT, MQIACH_MSGS, "MSGS", nullptr)                                \
  X(K_BYTSSENT, INT, MQIACH_BYTES_SENT, "BYTSSENT", nullptr)                  \
  X(K_BYTSRCVD, INT, MQIACH_BYTES_RCVD, "BYTSRCVD", nullptr)                  \
  X(K_BATCHES, INT, MQIACH_BATCHES, "BATCHES", nullptr)                       \
  X(K_BUFSSENT, INT, MQIACH_BUFFERS_SENT, "BUFSSENT", nullptr)                \
  X(K_BUFSRCVD, INT, MQIACH_BUFFERS_RCVD, "BUFSRCVD", nullptr)                \
  X(K_LONGRTS, INT, MQIACH_LONG_RETRIES_LEFT, "LONGRTS", nullptr)             \
  X(K_SHORTRTS, INT, MQIACH_SHORT_RETRIES_LEFT, "SHORTRTS", nullptr)          \
  X(K_MCASTAT, ENUM, MQIACH_MCA_STATUS, "MCASTAT", &kMcaStatus)               \
  X(K_STOPREQ, ENUM, MQIACH_STOP_REQUESTED, "STOPREQ", &kYesNo)               \
  X(K_CHSTADA, STR, MQCACH_CHANNEL_START_DATE, "CHSTADA", nullptr)            \
  X(K_CHSTATI, STR, MQCACH_CHANNEL_START_TIME, "CHSTATI", nullptr)            \
  X(K_LSTMSGDA, STR, MQCACH_LAST_MSG_DATE, "LSTMSGDA", nullptr)               \
  X(K_LSTMSGTI, STR, MQCACH_LAST_MSG_TIME, "LSTMSGTI", nullptr)               \
  X(K_JOBNAME, STR, MQCACH_MCA_JOB_NAME, "JOBNAME", nullptr)                  \
  /* Cluster queue managers and cluster commands */                           \
  X(K_CQ_DEFTYPE, ENUM, MQIACF_Q_MGR_DEFINITION_TYPE, "DEFTYPE", &kClusQmgrDefType) \
  X(K_QMTYPE, ENUM, MQIACF_Q_MGR_TYPE, "QMTYPE", &kQmgrType)                  \
  X(K_SUSPEND, ENUM, MQIACF_SUSPEND, "SUSPEND", &kYesNo)                      \
  X(K_REFRESH_REPOS, ENUM, MQIACF_REFRESH_REPOSITORY, "REPOS", &kYesNo)       \
  X(K_RESET_ACTION, ENUM, MQIACF_ACTION, "ACTION", &kResetAction)             \
  X(K_QUEUES, ENUM, MQIACF_REMOVE_QUEUES, "QUEUES", &kYesNo)                  \
  /* Log commands */                                                          \
  X(K_MAXRTU, INT, MQSC_LOG_CURRENT_MAXRTU, "MAXRTU", nullptr)                \
  X(K_DEALLCT, INT, MQSC_LOG_CURRENT_DEALLCT, "DEALLCT", nullptr)             \
  X(K_CANCEL, ENUM, MQSC_ARCHIVE_CANCEL, "CANCEL", &kCancelOffload)           \
  X(K_TIME, INT, MQSC_ARCHIVE_TIME, "TIME", nullptr)                          \
  X(K_WAIT, ENUM, MQSC_ARCHIVE_WAIT, "WAIT", &kYesNo)

enum KeywordIndex {
#define MQSC_KEYWORD_INDEX(index, kind, parameter, text, values) index,
  MQSC_KEYWORD_LIST(MQSC_KEYWORD_INDEX)
#undef MQSC_KEYWORD_INDEX
  kKeywordIndexCount
};

}  // namespace

extern "C" {

constexpr MqscKeyword MqscKeywords[] = {
#define MQSC_KEYWORD_RECORD(index, kind, parameter, text, values) \
  {kind, parameter, text, values},
    MQSC_KEYWORD_LIST(MQSC_KEYWORD_RECORD)
#undef MQSC_KEYWORD_RECORD
};
const size_t MqscKeywordCount = std::size(MqscKeywords);

const MqscValueList* const MqscValueLists[] = {
    &kQueueType, &kChannelType, &kTransportType, &kTriggerType, &kInhibit,
    &kEnabled, &kYesNo, &kQsgDisp, &kChannelStatus, &kDefSopt, &kDefType,
    &kUsage, &kMsgDlvSq, &kScope, &kServiceEvent, &kIndexType, &kDefBind,
    &kClusterQType, &kApplType, &kPlatform, &kPutAut, &kMcaType, &kNpmSpeed,
    &kChannelTable, &kMode, &kResolveAction, &kResetAction,
    &kClusQmgrDefType, &kQmgrType, &kMcaStatus, &kOpenType, &kQStatusType,
    &kMoveType, &kIgqAut, &kChannelDisp, &kShare, &kTrigger, &kHardenBo, &kReplace, &kPurge, &kForce,
    &kSyncpt, &kChannelInstance, &kCancelOffload};
const size_t MqscValueListCount = std::size(MqscValueLists);

}  // extern "C"

static_assert(std::size(MqscKeywords) == kKeywordIndexCount);

#undef BARE
#undef INT
#undef STR
#undef LIST
#undef ENUM

namespace {

// ---- 3. Row builders and shared attribute groups ---------------------------

constexpr const MqscKeyword* Kw(int index) { return &MqscKeywords[index]; }

constexpr bool IsBareEnum(int index) {
  return MqscKeywords[index].Kind == MQSC_KIND_ENUM &&
         MqscKeywords[index].Values->BareWords != 0;
}

// The format of a row that writes a value, by the keyword's kind.
constexpr const char* ValueFormat(int index) {
  switch (MqscKeywords[index].Kind) {
    case MQSC_KIND_INTEGER: return "(%d)";
    case MQSC_KIND_STRING: return "('%s')";
    case MQSC_KIND_STRING_LIST: return "(%s)";
    case MQSC_KIND_ENUM: return IsBareEnum(index) ? "%s" : "(%s)";
    default: return nullptr;
  }
}

// The verb row; separator '*' when the object name follows in parentheses.
constexpr MqscRow Verb(int index, char separator) {
  return {MQSC_ROW_REQUIRED, MQSC_OMIT, MQSC_WRITE, Kw(index), nullptr,
          separator};
}

// An object name right after the verb: value only, quoted.
constexpr MqscRow Name(int index) {
  return {MQSC_ROW_REQUIRED, MQSC_WRITE, MQSC_OMIT, Kw(index), "('%s')", ' '};
}

// A parameter with its value: KEYWORD(value), a bare keyword, or a word
// that stands alone.
constexpr MqscRow Param(MQLONG use, int index) {
  if (MqscKeywords[index].Kind == MQSC_KIND_BARE)
    return {use, MQSC_OMIT, MQSC_WRITE, Kw(index), nullptr, ' '};
  if (IsBareEnum(index))
    return {use, MQSC_WRITE, MQSC_OMIT, Kw(index), "%s", ' '};
  return {use, MQSC_WRITE, MQSC_WRITE, Kw(index), ValueFormat(index), ' '};
}
constexpr MqscRow Opt(int index) { return Param(MQSC_ROW_OPTIONAL, index); }
constexpr MqscRow Req(int index) { return Param(MQSC_ROW_REQUIRED, index); }

// The queue type word of DEFINE, ALTER and DELETE: QLOCAL('Q1').
constexpr MqscRow QueueTypeWord() {
  return {MQSC_ROW_REQUIRED, MQSC_WRITE, MQSC_OMIT, Kw(K_TYPE), "%s",
          MQSC_NO_SEPARATOR};
}

// CMDSCOPE takes a queue-manager name or '*' unquoted.
constexpr MqscRow Cmdscope() {
  return {MQSC_ROW_OPTIONAL, MQSC_WRITE, MQSC_WRITE, Kw(K_CMDSCOPE), "(%s)",
          ' '};
}

// An attribute selector of a DISPLAY command (also the reply's keyword).
constexpr MqscRow Sel(int index) {
  return {MQSC_ROW_OPTIONAL, MQSC_OMIT, MQSC_WRITE, Kw(index), nullptr, ' '};
}

constexpr MqscRow End() {
  return {MQSC_ROW_END, MQSC_OMIT, MQSC_OMIT, nullptr, nullptr, ' '};
}

// Queue attributes that DEFINE and ALTER set, in output order.
#define QUEUE_ATTRS(F)                                                        \
  F(K_Q_DESCR), F(K_PUT), F(K_GET), F(K_DEFPRTY), F(K_DEFPSIST),              \
      F(K_DEFBIND), F(K_SCOPE), F(K_CLUSTER), F(K_CLUSNL), F(K_TARGQ),        \
      F(K_RNAME), F(K_RQMNAME), F(K_XMITQ), F(K_MAXDEPTH), F(K_MAXMSGL),      \
      F(K_SHARE), F(K_DEFSOPT), F(K_MSGDLVSQ), F(K_HARDENBO), F(K_TRIGGER),   \
      F(K_TRIGTYPE), F(K_TRIGDPTH), F(K_TRIGMPRI), F(K_TRIGDATA),             \
      F(K_PROCESS), F(K_INITQ), F(K_RETINTVL), F(K_BOTHRESH), F(K_BOQNAME),   \
      F(K_USAGE), F(K_QDEPTHHI), F(K_QDEPTHLO), F(K_QDPMAXEV), F(K_QDPHIEV),  \
      F(K_QDPLOEV), F(K_QSVCINT), F(K_QSVCIEV), F(K_INDXTYPE), F(K_STGCLASS), \
      F(K_CFSTRUCT), F(K_DISTL), F(K_DEFTYPE)

// Queue attributes a DISPLAY QUEUE reply shows beyond the settable ones.
#define QUEUE_DISPLAY_ONLY(F)                                                 \
  F(K_CRDATE), F(K_CRTIME), F(K_ALTDATE), F(K_ALTTIME), F(K_CURDEPTH),        \
      F(K_IPPROCS), F(K_OPPROCS), F(K_CLUSQMGR), F(K_QMID), F(K_CLUSDATE),    \
      F(K_CLUSTIME), F(K_CLUSQT)

// Channel attributes after CHLTYPE, in output order.
#define CHANNEL_ATTRS(F)                                                      \
  F(K_TRPTYPE), F(K_CH_DESCR), F(K_CH_XMITQ), F(K_CONNAME), F(K_MCANAME),     \
      F(K_MODENAME), F(K_TPNAME), F(K_QMNAME), F(K_BATCHSZ), F(K_DISCINT),    \
      F(K_SHORTRTY), F(K_SHORTTMR), F(K_LONGRTY), F(K_LONGTMR), F(K_SEQWRAP), \
      F(K_CH_MAXMSGL), F(K_CONVERT), F(K_PUTAUT), F(K_MCATYPE), F(K_MCAUSER), \
      F(K_USERID), F(K_PASSWORD), F(K_SCYEXIT), F(K_SCYDATA), F(K_MSGEXIT),   \
      F(K_MSGDATA), F(K_SENDEXIT), F(K_SENDDATA), F(K_RCVEXIT), F(K_RCVDATA), \
      F(K_MREXIT), F(K_MRDATA), F(K_MRRTY), F(K_MRTMR), F(K_HBINT),           \
      F(K_BATCHINT), F(K_NPMSPEED), F(K_NETPRTY), F(K_CLUSTER), F(K_CLUSNL)

// Channel attributes of a cluster queue manager (no CLUSTER: a filter there).
#define CLUSQMGR_CHANNEL_ATTRS(F)                                             \
  F(K_TRPTYPE), F(K_CH_DESCR), F(K_CH_XMITQ), F(K_CONNAME), F(K_MCANAME), F(K_MODENAME),     \
      F(K_TPNAME), F(K_BATCHSZ), F(K_DISCINT), F(K_SHORTRTY), F(K_SHORTTMR),  \
      F(K_LONGRTY), F(K_LONGTMR), F(K_SEQWRAP), F(K_CH_MAXMSGL), F(K_CONVERT), \
      F(K_PUTAUT), F(K_MCATYPE), F(K_MCAUSER), F(K_USERID), F(K_PASSWORD),    \
      F(K_SCYEXIT), F(K_SCYDATA), F(K_MSGEXIT), F(K_MSGDATA), F(K_SENDEXIT),  \
      F(K_SENDDATA), F(K_RCVEXIT), F(K_RCVDATA), F(K_MREXIT), F(K_MRDATA),    \
      F(K_MRRTY), F(K_MRTMR), F(K_HBINT), F(K_BATCHINT), F(K_NPMSPEED),       \
      F(K_NETPRTY), F(K_ALTDATE), F(K_ALTTIME)

// Queue-manager attributes ALTER QMGR sets.
#define QMGR_ATTRS(F)                                                         \
  F(K_QMGR_DESCR), F(K_DEADQ), F(K_DEFXMITQ), F(K_TRIGINT), F(K_MAXHANDS),    \
      F(K_MAXUMSGS), F(K_MAXMSGL), F(K_CCSID), F(K_AUTHOREV), F(K_INHIBTEV),  \
      F(K_LOCALEV), F(K_REMOTEEV), F(K_STRSTPEV), F(K_PERFMEV), F(K_CHAD),    \
      F(K_CHADEV), F(K_CHADEXIT), F(K_CLWLEXIT), F(K_CLWLDATA), F(K_CLWLLEN), \
      F(K_REPOS), F(K_REPOSNL), F(K_DISTL), F(K_IGQ), F(K_IGQAUT), F(K_IGQUSER)

#define PROCESS_ATTRS(F)                                                      \
  F(K_PROCESS_DESCR), F(K_APPLTYPE), F(K_APPLICID), F(K_ENVRDATA),            \
      F(K_USERDATA)

#define CHANNEL_STATUS_ATTRS(F)                                               \
  F(K_CHANNEL), F(K_CHLTYPE), F(K_STATUS), F(K_CONNAME), F(K_CH_XMITQ),       \
      F(K_CURLUWID), F(K_LSTLUWID), F(K_CURMSGS), F(K_CURSEQNO),              \
      F(K_LSTSEQNO), F(K_INDOUBT), F(K_MSGS), F(K_BYTSSENT), F(K_BYTSRCVD),   \
      F(K_BATCHES), F(K_BUFSSENT), F(K_BUFSRCVD), F(K_LONGRTS), F(K_SHORTRTS), \
      F(K_MCASTAT), F(K_STOPREQ), F(K_CHSTADA), F(K_CHSTATI), F(K_LSTMSGDA),  \
      F(K_LSTMSGTI), F(K_JOBNAME)

// ---- 4. Row tables -------------------------------------------------------

// Queue manager
constexpr MqscRow kChangeQMgr[] = {Verb(V_ALTER_QMGR, ' '), QMGR_ATTRS(Opt),
                                   Opt(K_FORCE), Cmdscope(), End()};
constexpr MqscRow kInquireQMgr[] = {
    Verb(V_DISPLAY_QMGR, ' '), Sel(K_ALL), Sel(K_QMNAME), Sel(K_QMGR_DESCR),
    Sel(K_DEADQ), Sel(K_COMMANDQ), Sel(K_DEFXMITQ), Sel(K_PLATFORM),
    Sel(K_CMDLEVEL), Sel(K_TRIGINT), Sel(K_MAXPRTY), Sel(K_CCSID),
    Sel(K_MAXHANDS), Sel(K_MAXMSGL), Sel(K_MAXUMSGS), Sel(K_SYNCPT),
    Sel(K_AUTHOREV), Sel(K_INHIBTEV), Sel(K_LOCALEV), Sel(K_REMOTEEV),
    Sel(K_STRSTPEV), Sel(K_PERFMEV), Sel(K_CHAD), Sel(K_CHADEV),
    Sel(K_CHADEXIT), Sel(K_QMID), Sel(K_CLWLEXIT), Sel(K_CLWLDATA),
    Sel(K_CLWLLEN), Sel(K_REPOS), Sel(K_REPOSNL), Sel(K_DISTL), Sel(K_IGQ),
    Sel(K_IGQAUT), Sel(K_IGQUSER), Sel(K_CRDATE),
    Sel(K_CRTIME), Sel(K_ALTDATE), Sel(K_ALTTIME), Cmdscope(), End()};
constexpr MqscRow kPingQMgr[] = {Verb(V_PING_QMGR, ' '), End()};

// Processes
constexpr MqscRow kChangeProcess[] = {
    Verb(V_ALTER_PROCESS, MQSC_NO_SEPARATOR), Name(K_PROCESS),
    PROCESS_ATTRS(Opt), Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kCopyProcess[] = {
    Verb(V_DEFINE_PROCESS, MQSC_NO_SEPARATOR), Name(K_TO_PROCESS),
    Req(K_LIKE_PROCESS), PROCESS_ATTRS(Opt), Opt(K_REPLACE), Opt(K_QSGDISP),
    Cmdscope(), End()};
constexpr MqscRow kCreateProcess[] = {
    Verb(V_DEFINE_PROCESS, MQSC_NO_SEPARATOR), Name(K_PROCESS),
    PROCESS_ATTRS(Opt), Opt(K_REPLACE), Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kDeleteProcess[] = {
    Verb(V_DELETE_PROCESS, MQSC_NO_SEPARATOR), Name(K_PROCESS),
    Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kInquireProcess[] = {
    Verb(V_DISPLAY_PROCESS, MQSC_NO_SEPARATOR), Name(K_PROCESS), Sel(K_ALL),
    PROCESS_ATTRS(Sel), Sel(K_ALTDATE), Sel(K_ALTTIME), Opt(K_QSGDISP),
    Cmdscope(), End()};
constexpr MqscRow kInquireProcessNames[] = {
    Verb(V_DISPLAY_PROCESS, MQSC_NO_SEPARATOR), Name(K_PROCESS),
    Opt(K_QSGDISP), Cmdscope(), End()};

// Queues
constexpr MqscRow kChangeQ[] = {Verb(V_ALTER, ' '), QueueTypeWord(),
                                Name(K_QUEUE), QUEUE_ATTRS(Opt), Opt(K_FORCE),
                                Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kClearQ[] = {Verb(V_CLEAR_QLOCAL, MQSC_NO_SEPARATOR),
                               Name(K_QUEUE), Opt(K_QSGDISP), Cmdscope(),
                               End()};
constexpr MqscRow kCopyQ[] = {
    Verb(V_DEFINE, ' '), QueueTypeWord(), Name(K_TO_QUEUE), Req(K_LIKE_QUEUE),
    QUEUE_ATTRS(Opt), Opt(K_REPLACE), Opt(K_QSGDISP), Cmdscope(), End()};
// The create table also takes the display-only creation stamps and depth,
// so that an inquiry reply converts as a definition (the console's MQSC
// export removes them again).
constexpr MqscRow kCreateQ[] = {
    Verb(V_DEFINE, ' '), QueueTypeWord(), Name(K_QUEUE), QUEUE_ATTRS(Opt),
    Opt(K_CRDATE), Opt(K_CRTIME), Opt(K_CURDEPTH), Opt(K_REPLACE),
    Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kDeleteQ[] = {Verb(V_DELETE, ' '), QueueTypeWord(),
                                Name(K_QUEUE), Opt(K_PURGE), Opt(K_QSGDISP),
                                Cmdscope(), End()};
constexpr MqscRow kInquireQ[] = {
    Verb(V_DISPLAY_QUEUE, MQSC_NO_SEPARATOR), Name(K_QUEUE), Opt(K_TYPE),
    Sel(K_ALL), QUEUE_DISPLAY_ONLY(Sel), QUEUE_ATTRS(Sel), Opt(K_QSGDISP),
    Cmdscope(), End()};
constexpr MqscRow kResetQStats[] = {
    Verb(V_RESET_QSTATS, MQSC_NO_SEPARATOR), Name(K_QSTATS), Sel(K_RESETINT),
    Sel(K_HIQDEPTH), Sel(K_MSGSIN), Sel(K_MSGSOUT), Opt(K_QSGDISP),
    Cmdscope(), End()};
constexpr MqscRow kInquireQNames[] = {
    Verb(V_DISPLAY_QUEUE, MQSC_NO_SEPARATOR), Name(K_QUEUE), Opt(K_TYPE),
    Opt(K_QSGDISP), Cmdscope(), End()};

// Channels
constexpr MqscRow kInquireChannelNames[] = {
    Verb(V_DISPLAY_CHANNEL, MQSC_NO_SEPARATOR), Name(K_CHANNEL),
    Opt(K_CH_TYPE), Sel(K_CHLTYPE), Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kChangeChannel[] = {
    Verb(V_ALTER_CHANNEL, MQSC_NO_SEPARATOR), Name(K_CHANNEL), Req(K_CHLTYPE),
    CHANNEL_ATTRS(Opt), Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kCopyChannel[] = {
    Verb(V_DEFINE_CHANNEL, MQSC_NO_SEPARATOR), Name(K_TO_CHANNEL),
    Req(K_CHLTYPE), Req(K_LIKE_CHANNEL), CHANNEL_ATTRS(Opt), Opt(K_REPLACE),
    Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kCreateChannel[] = {
    Verb(V_DEFINE_CHANNEL, MQSC_NO_SEPARATOR), Name(K_CHANNEL),
    Req(K_CHLTYPE), CHANNEL_ATTRS(Opt), Opt(K_REPLACE), Opt(K_QSGDISP),
    Cmdscope(), End()};
constexpr MqscRow kDeleteChannel[] = {
    Verb(V_DELETE_CHANNEL, MQSC_NO_SEPARATOR), Name(K_CHANNEL),
    Opt(K_CHLTABLE), Opt(K_QSGDISP), Cmdscope(), End()};
// TYPE is the filter of the request; the reply shows the type as CHLTYPE.
constexpr MqscRow kInquireChannel[] = {
    Verb(V_DISPLAY_CHANNEL, MQSC_NO_SEPARATOR), Name(K_CHANNEL),
    Opt(K_CH_TYPE), Sel(K_ALL), Sel(K_CHLTYPE), CHANNEL_ATTRS(Sel),
    Sel(K_ALTDATE), Sel(K_ALTTIME), Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kPingChannel[] = {
    Verb(V_PING_CHANNEL, MQSC_NO_SEPARATOR), Name(K_CHANNEL), Opt(K_DATALEN),
    Opt(K_CHLDISP), Cmdscope(), End()};
constexpr MqscRow kResetChannel[] = {
    Verb(V_RESET_CHANNEL, MQSC_NO_SEPARATOR), Name(K_CHANNEL), Opt(K_SEQNUM),
    Opt(K_CHLDISP), Cmdscope(), End()};
constexpr MqscRow kStartChannel[] = {
    Verb(V_START_CHANNEL, MQSC_NO_SEPARATOR), Name(K_CHANNEL), Opt(K_CHLDISP),
    Cmdscope(), End()};
constexpr MqscRow kStopChannel[] = {
    Verb(V_STOP_CHANNEL, MQSC_NO_SEPARATOR), Name(K_CHANNEL), Opt(K_MODE),
    Opt(K_QMNAME), Opt(K_CONNAME), Opt(K_CHLDISP), Cmdscope(), End()};
constexpr MqscRow kResolveChannel[] = {
    Verb(V_RESOLVE_CHANNEL, MQSC_NO_SEPARATOR), Name(K_CHANNEL),
    Req(K_RESOLVE_ACTION), Opt(K_CHLDISP), Cmdscope(), End()};
// The name row is CHSTATUS; the reply names the channel as CHANNEL.
constexpr MqscRow kInquireChannelStatus[] = {
    Verb(V_DISPLAY_CHSTATUS, MQSC_NO_SEPARATOR), Name(K_CHSTATUS),
    Opt(K_CURRENT), Sel(K_ALL), CHANNEL_STATUS_ATTRS(Sel), Opt(K_CHLDISP),
    Cmdscope(), End()};

// Clusters
constexpr MqscRow kInquireClusterQMgr[] = {
    Verb(V_DISPLAY_CLUSQMGR, MQSC_NO_SEPARATOR), Name(K_CLUSQMGR),
    Opt(K_CLUSTER), Opt(K_CHANNEL), Sel(K_ALL), Sel(K_QMID), Sel(K_CLUSDATE),
    Sel(K_CLUSTIME), Sel(K_CQ_DEFTYPE), Sel(K_QMTYPE), Sel(K_STATUS),
    Sel(K_SUSPEND), CLUSQMGR_CHANNEL_ATTRS(Sel), Cmdscope(), End()};
constexpr MqscRow kResumeQMgrCluster[] = {Verb(V_RESUME_QMGR, ' '),
                                          Opt(K_CLUSTER), Opt(K_CLUSNL),
                                          Cmdscope(), End()};
constexpr MqscRow kSuspendQMgrCluster[] = {Verb(V_SUSPEND_QMGR, ' '),
                                           Opt(K_CLUSTER), Opt(K_CLUSNL),
                                           Opt(K_MODE), Cmdscope(), End()};
constexpr MqscRow kRefreshCluster[] = {
    Verb(V_REFRESH_CLUSTER, MQSC_NO_SEPARATOR), Name(K_CLUSTER),
    Opt(K_REFRESH_REPOS), Cmdscope(), End()};
constexpr MqscRow kResetCluster[] = {
    Verb(V_RESET_CLUSTER, MQSC_NO_SEPARATOR), Name(K_CLUSTER), Opt(K_QMNAME),
    Opt(K_QMID), Req(K_RESET_ACTION), Opt(K_QUEUES), Cmdscope(), End()};

// Namelists
constexpr MqscRow kChangeNamelist[] = {
    Verb(V_ALTER_NAMELIST, MQSC_NO_SEPARATOR), Name(K_NAMELIST),
    Opt(K_NAMELIST_DESCR), Opt(K_NAMES), Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kCopyNamelist[] = {
    Verb(V_DEFINE_NAMELIST, MQSC_NO_SEPARATOR), Name(K_TO_NAMELIST),
    Req(K_LIKE_NAMELIST), Opt(K_NAMELIST_DESCR), Opt(K_NAMES), Opt(K_REPLACE),
    Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kCreateNamelist[] = {
    Verb(V_DEFINE_NAMELIST, MQSC_NO_SEPARATOR), Name(K_NAMELIST),
    Opt(K_NAMELIST_DESCR), Opt(K_NAMES), Opt(K_REPLACE), Opt(K_QSGDISP),
    Cmdscope(), End()};
constexpr MqscRow kDeleteNamelist[] = {
    Verb(V_DELETE_NAMELIST, MQSC_NO_SEPARATOR), Name(K_NAMELIST),
    Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kInquireNamelist[] = {
    Verb(V_DISPLAY_NAMELIST, MQSC_NO_SEPARATOR), Name(K_NAMELIST), Sel(K_ALL),
    Sel(K_NAMELIST_DESCR), Sel(K_NAMES), Sel(K_NAMCOUNT), Sel(K_ALTDATE),
    Sel(K_ALTTIME), Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kInquireNamelistNames[] = {
    Verb(V_DISPLAY_NAMELIST, MQSC_NO_SEPARATOR), Name(K_NAMELIST),
    Opt(K_QSGDISP), Cmdscope(), End()};

// The suite's text commands
constexpr MqscRow kDisplayGroup[] = {Verb(V_DISPLAY_GROUP, ' '), End()};
constexpr MqscRow kDisplayLog[] = {Verb(V_DISPLAY_LOG, ' '), Cmdscope(),
                                   End()};
constexpr MqscRow kSetLog[] = {Verb(V_SET_LOG, ' '), Opt(K_MAXRTU),
                               Opt(K_DEALLCT), Cmdscope(), End()};
constexpr MqscRow kArchiveLog[] = {Verb(V_ARCHIVE_LOG, ' '), Opt(K_CANCEL),
                                   Opt(K_MODE), Opt(K_TIME), Opt(K_WAIT),
                                   Cmdscope(), End()};
constexpr MqscRow kDisplayQStatus[] = {
    Verb(V_DISPLAY_QSTATUS, MQSC_NO_SEPARATOR), Name(K_QSTATUS),
    Opt(K_QS_TYPE), Opt(K_OPENTYPE), Sel(K_ALL), Sel(K_CURDEPTH),
    Sel(K_IPPROCS), Sel(K_OPPROCS), Sel(K_UNCOM), Sel(K_QS_USERID),
    Sel(K_APPLTYPE), Opt(K_QSGDISP), Cmdscope(), End()};
constexpr MqscRow kMoveQLocal[] = {
    Verb(V_MOVE_QLOCAL, MQSC_NO_SEPARATOR), Name(K_FROM_QLOCAL),
    Req(K_TOQLOCAL), Opt(K_MOVE_TYPE), Opt(K_QSGDISP), Cmdscope(), End()};


#undef QUEUE_ATTRS
#undef QUEUE_DISPLAY_ONLY
#undef CHANNEL_ATTRS
#undef CLUSQMGR_CHANNEL_ATTRS
#undef QMGR_ATTRS
#undef PROCESS_ATTRS
#undef CHANNEL_STATUS_ATTRS

// The verb text of a command record is the text of its verb row.
#define MQSC_COMMAND(code, rows) {code, rows[0].Keyword->Text, rows}

}  // namespace

extern "C" {

constexpr MqscCommand MqscCommands[] = {
    MQSC_COMMAND(MQCMD_CHANGE_Q_MGR, kChangeQMgr),
    MQSC_COMMAND(MQCMD_INQUIRE_Q_MGR, kInquireQMgr),
    MQSC_COMMAND(MQCMD_PING_Q_MGR, kPingQMgr),
    MQSC_COMMAND(MQCMD_CHANGE_PROCESS, kChangeProcess),
    MQSC_COMMAND(MQCMD_COPY_PROCESS, kCopyProcess),
    MQSC_COMMAND(MQCMD_CREATE_PROCESS, kCreateProcess),
    MQSC_COMMAND(MQCMD_DELETE_PROCESS, kDeleteProcess),
    MQSC_COMMAND(MQCMD_INQUIRE_PROCESS, kInquireProcess),
    MQSC_COMMAND(MQCMD_INQUIRE_PROCESS_NAMES, kInquireProcessNames),
    MQSC_COMMAND(MQCMD_CHANGE_Q, kChangeQ),
    MQSC_COMMAND(MQCMD_COPY_Q, kCopyQ),
    MQSC_COMMAND(MQCMD_CREATE_Q, kCreateQ),
    MQSC_COMMAND(MQCMD_CLEAR_Q, kClearQ),
    MQSC_COMMAND(MQCMD_DELETE_Q, kDeleteQ),
    MQSC_COMMAND(MQCMD_INQUIRE_Q, kInquireQ),
    MQSC_COMMAND(MQCMD_INQUIRE_Q_NAMES, kInquireQNames),
    MQSC_COMMAND(MQCMD_RESET_Q_STATS, kResetQStats),
    MQSC_COMMAND(MQCMD_CHANGE_CHANNEL, kChangeChannel),
    MQSC_COMMAND(MQCMD_COPY_CHANNEL, kCopyChannel),
    MQSC_COMMAND(MQCMD_CREATE_CHANNEL, kCreateChannel),
    MQSC_COMMAND(MQCMD_DELETE_CHANNEL, kDeleteChannel),
    MQSC_COMMAND(MQCMD_INQUIRE_CHANNEL_NAMES, kInquireChannelNames),
    MQSC_COMMAND(MQCMD_INQUIRE_CHANNEL, kInquireChannel),
    MQSC_COMMAND(MQCMD_PING_CHANNEL, kPingChannel),
    MQSC_COMMAND(MQCMD_RESET_CHANNEL, kResetChannel),
    MQSC_COMMAND(MQCMD_START_CHANNEL, kStartChannel),
    MQSC_COMMAND(MQCMD_STOP_CHANNEL, kStopChannel),
    MQSC_COMMAND(MQCMD_RESOLVE_CHANNEL, kResolveChannel),
    MQSC_COMMAND(MQCMD_INQUIRE_CHANNEL_STATUS, kInquireChannelStatus),
    MQSC_COMMAND(MQCMD_INQUIRE_CLUSTER_Q_MGR, kInquireClusterQMgr),
    MQSC_COMMAND(MQCMD_RESUME_Q_MGR_CLUSTER, kResumeQMgrCluster),
    MQSC_COMMAND(MQCMD_SUSPEND_Q_MGR_CLUSTER, kSuspendQMgrCluster),
    MQSC_COMMAND(MQCMD_REFRESH_CLUSTER, kRefreshCluster),
    MQSC_COMMAND(MQCMD_RESET_CLUSTER, kResetCluster),
    MQSC_COMMAND(MQCMD_CHANGE_NAMELIST, kChangeNamelist),
    MQSC_COMMAND(MQCMD_COPY_NAMELIST, kCopyNamelist),
    MQSC_COMMAND(MQCMD_CREATE_NAMELIST, kCreateNamelist),
    MQSC_COMMAND(MQCMD_DELETE_NAMELIST, kDeleteNamelist),
    MQSC_COMMAND(MQCMD_INQUIRE_NAMELIST, kInquireNamelist),
    MQSC_COMMAND(MQCMD_INQUIRE_NAMELIST_NAMES, kInquireNamelistNames),
    MQSC_COMMAND(EXCMD_DISPLAY_GROUP, kDisplayGroup),
    MQSC_COMMAND(EXCMD_DISPLAY_LOG, kDisplayLog),
    MQSC_COMMAND(EXCMD_SET_LOG, kSetLog),
    MQSC_COMMAND(EXCMD_ARCHIVE_LOG, kArchiveLog),
    MQSC_COMMAND(EXCMD_DISPLAY_QSTATUS, kDisplayQStatus),
    MQSC_COMMAND(EXCMD_MOVE_QLOCAL, kMoveQLocal),
    // MQCMD_ESCAPE carries its text as is (tlxPcf2Mqsc, tlxMqsc2Pcf); it has
    // no row table, so the walkers refuse it with 5004.
    {MQCMD_ESCAPE, "MQSC_RESPONSE", nullptr},
};
const size_t MqscCommandCount = std::size(MqscCommands);

// ---- 5. Reply identifiers -------------------------------------------------

const MqscReplyId MqscReplyIds[] = {
    {"CSQM090E", 2, 3008}, {"CSQM091E", 2, 3008}, {"CSQM102I", 2, 3008},
    {"CSQM107I", 2, 3008}, {"CSQM131I", 2, 3008},
    {"CSQM092I", 2, 4005}, {"CSQM093I", 2, 4005}, {"CSQM097I", 2, 4005},
    {"CSQM098I", 2, 4005}, {"CSQM100I", 2, 4005}, {"CSQM105I", 2, 4005},
    {"CSQM120I", 2, 4005}, {"CSQM121I", 2, 4005}, {"CSQM122I", 2, 4005},
    {"CSQM123I", 2, 4005}, {"CSQM126I", 2, 4005},
    {"CSQM094I", 2, 2085}, {"CSQM999I", 2, 2085},
    {"CSQM095I", 2, 4001}, {"CSQM132I", 2, 4001},
    {"CSQM096I", 2, 3010},
    {"CSQM099I", 2, 4002}, {"CSQM108I", 2, 4002}, {"CSQM129I", 2, 4002},
    {"CSQM101I", 2, 4004}, {"CSQM104I", 2, 4004}, {"CSQM109I", 2, 4004},
    {"CSQM103I", 2, 2055}, {"CSQM110I", 2, 2055},
    {"CSQM106I", 2, 4003},
    {"CSQM111I", 2, 4029}, {"CSQM128E", 2, 4029},
    {"CSQM112I", 2, 4018}, {"CSQM113I", 2, 4018}, {"CSQM298I", 2, 4018},
    {"CSQM299I", 2, 4018},
    {"CSQM124I", 2, 3019}, {"CSQM125I", 2, 3019}, {"CSQM127I", 2, 3019},
    {"CSQM141I", 2, 3019},
    {"CSQM139I", 2, 4020}, {"CSQM140I", 2, 4020},
    {"CSQM297I", 2, 3065},
    {"CSQX533I", 2, 4064},
    {"CSQM130I", 0, 0}, {"CSQM134I", 0, 0}, {"CSQM135I", 0, 0},
    {"CSQM136I", 0, 0}, {"CSQM137I", 0, 0}, {"CSQM138I", 0, 0},
    {"CSQM142I", 0, 0}, {"CSQM143I", 0, 0},
    {"CSQM201I", 0, 0}, {"CSQM202I", 0, 0}, {"CSQM203I", 0, 0},
    {"CSQM204I", 0, 0}, {"CSQM205I", 0, 0}, {"CSQM206I", 0, 0},
    {"CSQM401I", 0, 0}, {"CSQM402I", 0, 0}, {"CSQM403I", 0, 0},
    {"CSQM406I", 0, 0}, {"CSQM407I", 0, 0}, {"CSQM408I", 0, 0},
    {"CSQM409I", 0, 0}, {"CSQM410I", 0, 0}, {"CSQM411I", 0, 0},
    {"CSQM412I", 0, 0}, {"CSQM413I", 0, 0}, {"CSQM414I", 0, 0},
    {"CSQ9022I", 0, 0},
};
const size_t MqscReplyIdCount = std::size(MqscReplyIds);

#undef MQSC_COMMAND

// ---- 6. Lookups -------------------------------------------------------------

const MqscCommand* MqscFindCommand(MQLONG command) {
  for (const MqscCommand& c : MqscCommands)
    if (c.Command == command) return &c;
  return nullptr;
}

const MqscRow* MqscFindRow(const MqscCommand* command, MQLONG parameter,
                           MQLONG value_flag) {
  if (command == nullptr || command->Rows == nullptr) return nullptr;
  for (const MqscRow* row = command->Rows + 1; row->Use != MQSC_ROW_END; ++row)
    if (row->Keyword->Parameter == parameter && row->ValueFlag == value_flag)
      return row;
  return nullptr;
}

const MqscRow* MqscFindRowByKeyword(const MqscCommand* command,
                                    const char* text, size_t length) {
  if (command == nullptr || command->Rows == nullptr || text == nullptr)
    return nullptr;
  for (const MqscRow* row = command->Rows + 1; row->Use != MQSC_ROW_END;
       ++row) {
    const char* k = row->Keyword->Text;
    if (std::strlen(k) == length && std::memcmp(k, text, length) == 0)
      return row;
  }
  return nullptr;
}

const MqscRow* MqscFindBareWordRow(const MqscCommand* command,
                                   const char* word, size_t length,
                                   MQLONG* value) {
  if (command == nullptr || command->Rows == nullptr) return nullptr;
  for (const MqscRow* row = command->Rows + 1; row->Use != MQSC_ROW_END;
       ++row) {
    const MqscValueList* list = row->Keyword->Values;
    if (row->Keyword->Kind == MQSC_KIND_ENUM && list != nullptr &&
        list->BareWords != 0 && MqscValueOfWord(list, word, length, value))
      return row;
  }
  return nullptr;
}

const char* MqscWordOfValue(const MqscValueList* list, MQLONG value) {
  if (list == nullptr) return nullptr;
  for (MQLONG i = 0; i < list->Count; ++i)
    if (list->Words[i].Value == value) return list->Words[i].Word;
  return nullptr;
}

int MqscValueOfWord(const MqscValueList* list, const char* word,
                    size_t length, MQLONG* value) {
  if (list == nullptr || word == nullptr || length == 0) return 0;
  for (MQLONG i = 0; i < list->Count; ++i) {
    const char* w = list->Words[i].Word;
    if (std::strlen(w) == length && std::memcmp(w, word, length) == 0) {
      if (value != nullptr) *value = list->Words[i].Value;
      return 1;
    }
  }
  return 0;
}

int MqscFindReplyId(const char* identifier, size_t length, MQLONG* comp_code,
                    MQLONG* reason) {
  if (identifier == nullptr) return 0;
  for (const MqscReplyId& r : MqscReplyIds) {
    if (std::strlen(r.Identifier) == length &&
        std::memcmp(r.Identifier, identifier, length) == 0) {
      if (comp_code != nullptr) *comp_code = r.CompCode;
      if (reason != nullptr) *reason = r.Reason;
      return 1;
    }
  }
  return 0;
}

}  // extern "C"
