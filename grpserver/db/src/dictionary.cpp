// dictionary.cpp: the field dictionary and the 22 table definitions.
//
// Layouts are the stored format of the group database: changing a width,
// the order of a table's fields or an index definition changes every file
// of every existing group. docs/formats/group-database.md lists them.
#include "dictionary.h"

namespace groupdb {
namespace {

const FieldDef kFields[] = {
    {"", 'A', 0},  // field numbers start at 1
    {"MANAGER_NAME", 'A', 32},
    {"MANAGER_NODE_NAME", 'A', 48},
    {"MANAGER_PORT_NO", 'N', 9},
    {"MANAGER_PROCESS_ID", 'Z', 9},
    {"MANAGER_VERSION", 'A', 14},
    {"MANAGER_TRACE_MODE", 'N', 1},
    {"MANAGER_DISCOVERY_PERIOD", 'Z', 4},
    {"MANAGER_IP_NETWORK", 'A', 15},
    {"MANAGER_IP_PORT_NO", 'N', 9},
    {"MANAGER_START_TIME", 'N', 9},
    {"MANAGER_STATE", 'N', 1},
    {"MANAGER_LAST_ACTION", 'N', 10},
    {"MANAGER_EVENT_COUNTER", 'Z', 9},
    {"MANAGER_FIRST_EVENT_TIME", 'N', 12},
    {"MANAGER_EVENT_DEPTH", 'N', 12},
    {"MANAGER_MAX_CLIENTS", 'N', 3},
    {"MANAGER_MAX_MQNODES", 'N', 3},
    {"MANAGER_MAX_Q_MGRS_NODE", 'N', 3},
    {"MANAGER_Q_MGR_MASK", 'A', 48},
    {"MANAGER_ALIAS_Q_MASK", 'A', 48},
    {"MANAGER_LOCAL_Q_MASK", 'A', 48},
    {"MANAGER_MODEL_Q_MASK", 'A', 48},
    {"MANAGER_REMOTE_Q_MASK", 'A', 48},
    {"MANAGER_PROCESS_MASK", 'A', 48},
    {"MANAGER_CHANNEL_MASK", 'A', 20},
    {"MANAGER_LAST_UPDATED", 'N', 12},
    {"MANAGER_DESCRIPTION", 'A', 64},
    {"MQNODE_NAME", 'A', 48},
    {"MQNODE_VERSION", 'A', 14},
    {"MQNODE_NET_ADDRESS", 'A', 15},
    {"MQNODE_PORT_NO", 'A', 9},
    {"MQNODE_PROTOCOL", 'N', 1},
    {"MQNODE_PLATFORM", 'Z', 2},
    {"MQNODE_HEART_BEAT", 'N', 12},
    {"MQNODE_CMD_LIMIT", 'N', 12},
    {"MQNODE_CMD_TIMEOUT", 'N', 12},
    {"MQNODE_UPDATE_INTERVAL", 'N', 12},
    {"MQNODE_DISCOVERY_PERIOD", 'Z', 4},
    {"MQNODE_Q_MGR_MASK", 'A', 48},
    {"MQNODE_ALIAS_Q_MASK", 'A', 48},
    {"MQNODE_LOCAL_Q_MASK", 'A', 48},
    {"MQNODE_MODEL_Q_MASK", 'A', 48},
    {"MQNODE_REMOTE_Q_MASK", 'A', 48},
    {"MQNODE_PROCESS_MASK", 'A', 48},
    {"MQNODE_CHANNEL_MASK", 'A', 20},
    {"MQNODE_HOST_NAME", 'A', 256},
    {"MQNODE_USE_DNS", 'N', 1},
    {"MQNODE_DESCRIPTION", 'A', 64},
    {"MQNODE_LAST_UPDATED", 'N', 12},
    {"MQNODE_LAST_ACTION", 'N', 10},
    {"MQNODE_EVENT_COUNTER", 'Z', 9},
    {"MQNODE_FIRST_EVENT_TIME", 'N', 12},
    {"MQNODE_STATE", 'N', 1},
    {"MQNODE_MANAGED", 'N', 2},
    {"MQNODE_MQLOG_LOG_TYPE", 'N', 1},
    {"MQNODE_MQLOG_DEFAULT_PATH", 'A', 256},
    {"MQNODE_MQLOG_PRIMARY_FILES", 'N', 9},
    {"MQNODE_MQLOG_SECONDARY_FILES", 'N', 9},
    {"MQNODE_MQLOG_FILE_PAGES", 'N', 9},
    {"MQNODE_MQLOG_BUFFER_PAGES", 'N', 9},
    {"MQMGR_NAME", 'A', 48},
    {"MQMGR_PLATFORM", 'Z', 2},
    {"MQMGR_COMMAND_LEVEL", 'N', 4},
    {"MQMGR_CHAR_SET_ID", 'N', 4},
    {"MQMGR_MAX_PRIORITY", 'N', 1},
    {"MQMGR_MAX_MSG_LENGTH", 'N', 9},
    {"MQMGR_SYNC_POINT", 'N', 1},
    {"MQMGR_COMMAND_Q_NAME", 'A', 48},
    {"MQMGR_DEAD_LETTER_Q_NAME", 'A', 48},
    {"MQMGR_DEF_XMIT_Q_NAME", 'A', 48},
    {"MQMGR_TRIGGER_INTERVAL", 'N', 9},
    {"MQMGR_MAX_HANDLES", 'N', 9},
    {"MQMGR_MAX_UMSG", 'N', 5},
    {"MQMGR_AUTHORITY_EVENT", 'N', 1},
    {"MQMGR_INHIBIT_EVENT", 'N', 1},
    {"MQMGR_LOCAL_EVENT", 'N', 1},
    {"MQMGR_REMOTE_EVENT", 'N', 1},
    {"MQMGR_START_STOP_EVENT", 'N', 1},
    {"MQMGR_PERFM_EVENT", 'N', 1},
    {"MQMGR_DESCRIPTION", 'A', 64},
    {"MQMGR_CHANNEL_AUTODEF", 'N', 1},
    {"MQMGR_CHANNEL_AUTODEF_EVENT", 'N', 1},
    {"MQMGR_CHANNEL_AUTO_DEF_EXIT", 'A', 128},
    {"QUEUE_DIST_LISTS", 'N', 1},
    {"MQMGR_CRT_DATE", 'A', 12},
    {"MQMGR_CRT_TIME", 'A', 8},
    {"MQMGR_ALT_DATE", 'A', 12},
    {"MQMGR_ALT_TIME", 'A', 8},
    {"MQMGR_REPOS", 'A', 48},
    {"MQMGR_REPOSNL", 'A', 48},
    {"MQMGR_CLUSTER_WORKLOAD_EXIT", 'A', 128},
    {"MQMGR_CLUSTER_WORKLOAD_DATA", 'A', 128},
    {"MQMGR_CLUSTER_WORKLOAD_LENGTH", 'N', 12},
    {"MQMGR_CLUSTER_INFO", 'A', 48},
    {"MQMGR_ID", 'A', 48},
    {"MQMGR_LAST_UPDATED", 'N', 12},
    {"MQMGR_DEFAULT", 'N', 1},
    {"MQMGR_LOG_TYPE", 'N', 1},
    {"MQMGR_LOG_PRIM_FILES", 'N', 9},
    {"MQMGR_LOG_SECD_FILES", 'N', 9},
    {"MQMGR_LOG_FILE_PAGES", 'N', 9},
    {"MQMGR_LOG_BUFFER_PAGES", 'N', 9},
    {"MQMGR_LOG_PATH", 'A', 256},
    {"MQMGR_STATE", 'N', 1},
    {"MQMGR_LAST_ACTION", 'N', 10},
    {"MQMGR_START_COUNTER", 'Z', 9},
    {"MQMGR_START_THRESHOLD", 'Z', 9},
    {"MQMGR_RESTART_PERIOD", 'Z', 4},
    {"MQMGR_STOP_TIME", 'N', 12},
    {"MQMGR_EVENT_COUNTER", 'Z', 9},
    {"MQMGR_FIRST_EVENT_TIME", 'N', 12},
    {"CHANNEL_NAME", 'A', 20},
    {"CHANNEL_TYPE", 'N', 1},
    {"CHANNEL_PROTOCOL_TYPE", 'N', 1},
    {"CHANNEL_MODE_NAME", 'A', 8},
    {"CHANNEL_TP_NAME", 'A', 64},
    {"CHANNEL_BATCH_SIZE", 'N', 4},
    {"CHANNEL_BATCH_INTERVAL", 'N', 10},
    {"CHANNEL_SECURITY_EXIT", 'A', 128},
    {"CHANNEL_MESSAGE_EXIT", 'A', 128},
    {"CHANNEL_MSG_RETRY_EXIT", 'A', 128},
    {"CHANNEL_SEND_EXIT", 'A', 128},
    {"CHANNEL_RECV_EXIT", 'A', 128},
    {"CHANNEL_SEQ_WRAP", 'N', 9},
    {"CHANNEL_MAX_MSG_LENGTH", 'N', 9},
    {"CHANNEL_SECURITY_DATA", 'A', 32},
    {"CHANNEL_MESSAGE_DATA", 'A', 32},
    {"CHANNEL_SEND_DATA", 'A', 32},
    {"CHANNEL_RECV_DATA", 'A', 32},
    {"CHANNEL_MSG_RETRY_DATA", 'A', 32},
    {"CHANNEL_MSG_RETRY_COUNT", 'N', 9},
    {"CHANNEL_MSG_RETRY_INTERVAL", 'N', 9},
    {"CHANNEL_CONNECTION_NAME", 'A', 264},
    {"CHANNEL_XMIT_Q_NAME", 'A', 48},
    {"CHANNEL_MCA_NAME", 'A', 20},
    {"CHANNEL_DISC_INTERVAL", 'N', 6},
    {"CHANNEL_SHORT_RETRY", 'N', 9},
    {"CHANNEL_SHORT_RETRY_TIMER", 'N', 9},
    {"CHANNEL_LONG_RETRY", 'N', 9},
    {"CHANNEL_LONG_RETRY_TIMER", 'N', 9},
    {"CHANNEL_CONVERT_DATA", 'N', 1},
    {"CHANNEL_PUT_AUTHORITY", 'N', 1},
    {"CHANNEL_MCA_TYPE", 'N', 1},
    {"CHANNEL_USER_ID", 'A', 12},
    {"CHANNEL_MCA_USER_ID", 'A', 12},
    {"CHANNEL_PASSWORD", 'A', 12},
    {"CHANNEL_HEART_BEAT_INTERVAL", 'N', 6},
    {"CHANNEL_MSG_SPEED", 'N', 2},
    {"REMOTE_MANAGER_NAME", 'A', 32},
    {"REMOTE_MQNODE_NAME", 'A', 48},
    {"REMOTE_MQMGR_NAME", 'A', 48},
    {"CHANNEL_DESCRIPTION", 'A', 64},
    {"CHANNEL_CLUSTER_NAME", 'A', 48},
    {"CHANNEL_CLUSTER_NAMELIST", 'A', 48},
    {"CHANNEL_NETWORK_PRIORITY", 'N', 2},
    {"CHANNEL_ALT_DATE", 'A', 12},
    {"CHANNEL_ALT_TIME", 'A', 8},
    {"CHANNEL_LAST_UPDATED", 'N', 12},
    {"CHANNEL_RESET_SEQ_NUMBER", 'N', 9},
    {"CHANNEL_CURRENT_MSN", 'Z', 9},
    {"CHANNEL_PING_MSG_LENGTH", 'N', 12},
    {"CHANNEL_PING_TRIP_TIME", 'N', 12},
    {"CHANNEL_PING_TIME", 'N', 12},
    {"CHANNEL_BYTES_SENT", 'N', 12},
    {"CHANNEL_BYTES_RECVD", 'N', 12},
    {"CHANNEL_START_TIME", 'A', 12},
    {"CHANNEL_START_DATE", 'A', 24},
    {"CHANNEL_LAST_MSG_TIME", 'A', 12},
    {"CHANNEL_LAST_MSG_DATE", 'A', 24},
    {"CHANNEL_MSGS_SENT_RECVD", 'N', 12},
    {"CHANNEL_STATE", 'N', 1},
    {"CHANNEL_LAST_ACTION", 'N', 10},
    {"CHANNEL_INDOUBT", 'N', 1},
    {"CHANNEL_START_COUNTER", 'Z', 9},
    {"CHANNEL_START_THRESHOLD", 'N', 9},
    {"CHANNEL_RESTART_PERIOD", 'N', 4},
    {"CHANNEL_STOP_TIME", 'N', 12},
    {"CHANNEL_EVENT_COUNTER", 'Z', 9},
    {"CHANNEL_FIRST_EVENT_TIME", 'N', 12},
    {"LOCAL_Q_NAME", 'A', 48},
    {"Q_CLUSTER_NAME", 'A', 48},
    {"Q_CLUSTER_NAMELIST", 'A', 48},
    {"LOCAL_Q_INHIBIT_PUT", 'N', 1},
    {"LOCAL_Q_DEFINITION_TYPE", 'N', 2},
    {"LOCAL_Q_DEF_PRIORITY", 'N', 1},
    {"LOCAL_Q_DEF_PERSISTENCE", 'N', 1},
    {"LOCAL_Q_DEF_INPUT_OPEN", 'N', 1},
    {"LOCAL_Q_INHIBIT_GET", 'N', 1},
    {"LOCAL_Q_PROCESS_NAME", 'A', 48},
    {"LOCAL_Q_MAX_DEPTH", 'N', 10},
    {"LOCAL_Q_MAX_MSG_LENGTH", 'N', 10},
    {"LOCAL_Q_BACKOUT_THRESHOLD", 'N', 9},
    {"LOCAL_Q_BACKOUT_Q_NAME", 'A', 48},
    {"LOCAL_Q_SHARE", 'N', 1},
    {"LOCAL_Q_DEF_SHARE", 'N', 1},
    {"LOCAL_Q_HARDEN_BACKOUT", 'N', 1},
    {"LOCAL_Q_MSG_DELIVERY", 'N', 1},
    {"LOCAL_Q_RETENTION_INTERVAL", 'N', 9},
    {"LOCAL_Q_USAGE", 'N', 1},
    {"LOCAL_Q_INIT_Q_NAME", 'A', 48},
    {"LOCAL_Q_TRIGGER", 'N', 1},
    {"LOCAL_Q_TRIGGER_TYPE", 'N', 1},
    {"LOCAL_Q_TRIGGER_MSG_PRTY", 'N', 1},
    {"LOCAL_Q_TRIGGER_DEPTH", 'N', 10},
    {"LOCAL_Q_TRIGGER_DATA", 'A', 64},
    {"LOCAL_Q_SCOPE", 'N', 1},
    {"LOCAL_Q_DEPTH_HIGH", 'N', 3},
    {"LOCAL_Q_DEPTH_LOW", 'N', 3},
    {"LOCAL_Q_DEPTH_MAX_EVENT", 'N', 1},
    {"LOCAL_Q_DEPTH_HIGH_EVENT", 'N', 1},
    {"LOCAL_Q_DEPTH_LOW_EVENT", 'N', 1},
    {"LOCAL_Q_SERVICE_INTERVAL", 'N', 9},
    {"LOCAL_Q_SERVICE_EVENT", 'N', 1},
    {"LOCAL_Q_DESCRIPTION", 'A', 64},
    {"Q_DEF_BIND", 'N', 4},
    {"LOCAL_Q_ARCHIVE", 'N', 4},
    {"LOCAL_Q_INDEX_TYPE", 'N', 4},
    {"LOCAL_Q_STORAGE_CLASS", 'A', 8},
    {"Q_CREATE_DATE", 'A', 12},
    {"Q_CREATE_TIME", 'A', 8},
    {"Q_ALT_DATE", 'A', 12},
    {"Q_ALT_TIME", 'A', 8},
    {"LOCAL_Q_LAST_UPDATED", 'N', 12},
    {"LOCAL_Q_OUTPUT_PROCS", 'N', 9},
    {"LOCAL_Q_INPUT_PROCS", 'N', 9},
    {"LOCAL_Q_LAST_ACTION", 'N', 10},
    {"LOCAL_Q_DEPTH", 'N', 10},
    {"HIGH_Q_DEPTH", 'N', 10},
    {"MSG_ENQ_COUNT", 'N', 12},
    {"MSG_DEQ_COUNT", 'N', 12},
    {"TIME_SINCE_RESET", 'N', 12},
    {"MODEL_Q_NAME", 'A', 48},
    {"REMOTE_Q_NAME", 'A', 48},
    {"REMOTE_Q_INHIBIT_PUT", 'N', 1},
    {"REMOTE_Q_DEF_PRIORITY", 'N', 1},
    {"REMOTE_Q_DEF_PERSISTENCE", 'N', 1},
    {"REMOTE_Q_LOCAL_NAME", 'A', 48},
    {"REMOTE_Q_QMGR_NAME", 'A', 48},
    {"REMOTE_Q_XMIT_Q_NAME", 'A', 48},
    {"REMOTE_Q_SCOPE", 'N', 1},
    {"REMOTE_Q_DESCRIPTION", 'A', 64},
    {"REMOTE_Q_LAST_UPDATED", 'N', 12},
    {"ALIAS_Q_NAME", 'A', 48},
    {"ALIAS_Q_INHIBIT_PUT", 'N', 1},
    {"ALIAS_Q_DEF_PRIORITY", 'N', 1},
    {"ALIAS_Q_DEF_PERSISTENCE", 'N', 1},
    {"ALIAS_Q_BASE_Q_NAME", 'A', 48},
    {"ALIAS_Q_INHIBIT_GET", 'N', 1},
    {"ALIAS_Q_SCOPE", 'N', 1},
    {"ALIAS_Q_DESCRIPTION", 'A', 64},
    {"ALIAS_Q_LAST_UPDATED", 'N', 12},
    {"CLUSTER_Q_NAME", 'A', 48},
    {"CLUSTER_Q_DESCRIPTION", 'A', 64},
    {"CLUSTER_Q_INHIBIT_PUT", 'N', 1},
    {"CLUSTER_Q_DEF_PRIORITY", 'N', 1},
    {"CLUSTER_Q_DEF_PERSISTENCE", 'N', 1},
    {"CLUSTER_Q_TYPE", 'N', 2},
    {"CLUSTER_DATE", 'A', 12},
    {"CLUSTER_TIME", 'A', 8},
    {"CLUSTER_Q_QMGR", 'A', 48},
    {"CLUSTER_Q_LAST_UPDATED", 'N', 12},
    {"PROCESS_NAME", 'A', 48},
    {"PROCESS_DESCRIPTION", 'A', 64},
    {"PROCESS_APPL_TYPE", 'N', 9},
    {"PROCESS_APPL_ID", 'A', 256},
    {"PROCESS_ENV_DATA", 'A', 128},
    {"PROCESS_USER_DATA", 'A', 128},
    {"PROCESS_ALT_DATE", 'A', 12},
    {"PROCESS_ALT_TIME", 'A', 8},
    {"PROCESS_LAST_UPDATED", 'N', 12},
    {"MCA_NAME", 'A', 20},
    {"MCA_STATE", 'N', 1},
    {"MCA_LAST_ACTION", 'N', 10},
    {"MCA_START_COUNTER", 'Z', 9},
    {"MCA_START_THRESHOLD", 'N', 9},
    {"MCA_RESTART_PERIOD", 'N', 4},
    {"MCA_STOP_TIME", 'N', 12},
    {"MCA_EVENT_COUNTER", 'Z', 9},
    {"MCA_FIRST_EVENT_TIME", 'N', 12},
    {"MCA_LAST_UPDATED", 'N', 12},
    {"NAMELIST_NAME", 'A', 48},
    {"NAMELIST_DESCRIPTION", 'A', 64},
    {"NAMELIST_NAME_COUNT", 'N', 9},
    {"NAMELIST_ALT_DATE", 'A', 12},
    {"NAMELIST_ALT_TIME", 'A', 8},
    {"NAMELIST_LAST_UPDATED", 'N', 12},
    {"NML_NAME", 'A', 48},
    {"CLUSQMGR_NAME", 'A', 48},
    {"CLUSQMGR_CLUSTER", 'A', 48},
    {"CLUSQMGR_CHANNEL_NAME", 'A', 20},
    {"CLUSQMGR_ALT_DATE", 'A', 12},
    {"CLUSQMGR_ALT_TIME", 'A', 8},
    {"CLUSQMGR_QMGR_ID", 'A', 48},
    {"CLUSQMGR_CONNECTION_NAME", 'A', 264},
    {"CLUSQMGR_DESCRIPTION", 'A', 64},
    {"CLUSQMGR_MCA_TYPE", 'N', 1},
    {"CLUSQMGR_MCA_NAME", 'A', 20},
    {"CLUSQMGR_MCA_USER_ID", 'A', 12},
    {"CLUSQMGR_MODE_NAME", 'A', 8},
    {"CLUSQMGR_MR_COUNT", 'N', 9},
    {"CLUSQMGR_MR_INTERVAL", 'N', 9},
    {"CLUSQMGR_MR_EXIT", 'A', 128},
    {"CLUSQMGR_MR_EXIT_DATA", 'A', 32},
    {"CLUSQMGR_MSG_EXIT", 'A', 128},
    {"CLUSQMGR_MSG_EXIT_DATA", 'A', 32},
    {"CLUSQMGR_RCV_EXIT", 'A', 128},
    {"CLUSQMGR_RCV_EXIT_DATA", 'A', 32},
    {"CLUSQMGR_SEC_EXIT", 'A', 128},
    {"CLUSQMGR_SEC_EXIT_DATA", 'A', 32},
    {"CLUSQMGR_SEND_EXIT", 'A', 128},
    {"CLUSQMGR_SEND_EXIT_DATA", 'A', 32},
    {"CLUSQMGR_TP_NAME", 'A', 64},
    {"CLUSQMGR_USER_ID", 'A', 12},
    {"CLUSQMGR_PASSWORD", 'A', 12},
    {"CLUSQMGR_XMIT_Q_NAME", 'A', 48},
    {"CLUSQMGR_Q_MGR_DEF_TYPE", 'N', 1},
    {"CLUSQMGR_Q_MGR_TYPE", 'N', 1},
    {"CLUSQMGR_BATCH_INTERVAL", 'N', 10},
    {"CLUSQMGR_BATCH_SIZE", 'N', 4},
    {"CLUSQMGR_DATA_CONVERSION", 'N', 1},
    {"CLUSQMGR_DISC_INTERVAL", 'N', 6},
    {"CLUSQMGR_HB_INTERVAL", 'N', 6},
    {"CLUSQMGR_MAX_MSG_LENGTH", 'N', 9},
    {"CLUSQMGR_NETWORK_PRIORITY", 'N', 6},
    {"CLUSQMGR_NPM_SPEED", 'N', 2},
    {"CLUSQMGR_PUT_AUTHORITY", 'N', 1},
    {"CLUSQMGR_SEQ_NUMBER_WRAP", 'N', 9},
    {"CLUSQMGR_XMIT_PROTOCOL_TYPE", 'N', 1},
    {"CLUSQMGR_LONG_RETRY", 'N', 9},
    {"CLUSQMGR_LONG_TIMER", 'N', 9},
    {"CLUSQMGR_SHORT_RETRY", 'N', 9},
    {"CLUSQMGR_SHORT_TIMER", 'N', 9},
    {"CLUSQMGR_LAST_UPDATED", 'N', 12},
    {"CLUSQMGR_CLUS_DATE", 'A', 12},
    {"CLUSQMGR_CLUS_TIME", 'A', 8},
    {"CLUSQMGR_CHANNEL_STATUS", 'N', 1},
    {"CLUSQMGR_SUSPEND", 'N', 1},
    {"TRANS_NO", 'A', 12},
    {"TASK_NO", 'A', 12},
    {"CLIENT_NAME", 'A', 48},
    {"TASK_CODE", 'N', 12},
    {"TASK_OBJECT_NAME", 'A', 48},
    {"TASK_OBJECT_TYPE", 'N', 4},
    {"TASK_SUBMIT_TIME", 'N', 12},
    {"TASK_COMPLETE_TIME", 'N', 12},
    {"TASK_COMPLETION_CODE", 'N', 12},
    {"CLIENT_DESCRIPTION", 'A', 64},
    {"MANAGER_PERMISSION", 'N', 3},
    {"MQNODE_PERMISSION", 'N', 3},
    {"Q_MGR_PERMISSION", 'N', 3},
    {"Q_PERMISSION", 'N', 3},
    {"CHANNEL_PERMISSION", 'N', 3},
    {"EVENT_PERMISSION", 'N', 3},
    {"CLIENT_DISABLED", 'N', 1},
    {"CLIENT_CREATE_DATE", 'N', 12},
    {"MQMGR_EVENT_NO", 'A', 12},
    {"EVENT_RESERVED", 'N', 12},
    {"EVENT_IDENTIFIER", 'Z', 7},
    {"REASON_QUALIFIER", 'N', 12},
    {"APPLICATION_NAME", 'A', 28},
    {"USER_IDENTIFIER", 'A', 12},
    {"OBJECT_QMGR_NAME", 'A', 48},
    {"Q_NAME", 'A', 48},
    {"BASE_Q_NAME", 'A', 48},
    {"XMIT_Q_NAME", 'A', 48},
    {"EVENT_TIME_STAMP", 'N', 12},
    {"EVENT_DESCRIPTION", 'A', 64},
    {"MQMGR_EVENT_APPLTYPE", 'Z', 2},
    {"CHANNEL_EVENT_NO", 'A', 12},
    {"EVENT_CHANNEL_TYPE", 'N', 1},
    {"ERROR_IDENTIFIER", 'N', 7},
    {"AUX_ERROR_DATA_INT1", 'N', 7},
    {"AUX_ERROR_DATA_INT2", 'N', 7},
    {"AUX_ERROR_DATA_STR1", 'A', 20},
    {"AUX_ERROR_DATA_STR2", 'A', 20},
    {"AUX_ERROR_DATA_STR3", 'A', 20},
    {"PERFM_EVENT_NO", 'A', 12},
    {"MANAGER_EVENT_NO", 'A', 12},
    {"MANAGER_PART_NAME", 'A', 48},
    {"MANAGER_PCF_COMMAND", 'N', 5},
    {"MANAGER_REASON", 'N', 7},
    {"CLIENT_CONNECTION_NAME", 'A', 48},
    {"ALTER_EVENT_NO", 'A', 12},
    {"ALTER_OBJECT_NAME", 'A', 48},
    {"ALTER_OBJECT_TYPE", 'N', 4},
};

const int kManagersFields[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27};
const int kManagersIndex1[] = {1};
const int kMqnodesFields[] = {1, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60};
const int kMqnodesIndex1[] = {1, 28};
const int kMqmgrsFields[] = {1, 28, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 81, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99, 100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111};
const int kMqmgrsIndex1[] = {1, 28, 61};
const int kChannelsFields[] = {1, 28, 61, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143, 144, 145, 146, 147, 148, 149, 150, 151, 152, 153, 154, 155, 156, 157, 158, 159, 160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175, 176, 177, 178, 179};
const int kChannelsIndex1[] = {1, 28, 61, 112};
const int kChannelsIndex2[] = {28, 61};
const int kClntconnFields[] = {1, 28, 61, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143, 144, 145, 146, 147, 148, 149, 150, 151, 152, 156, 157, 158, 159, 160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175, 176, 177, 178, 179};
const int kClntconnIndex1[] = {1, 28, 61, 112};
const int kClntconnIndex2[] = {28, 61};
const int kLocalqsFields[] = {1, 28, 61, 180, 181, 182, 183, 184, 185, 186, 187, 188, 189, 190, 191, 192, 193, 194, 195, 196, 197, 198, 199, 84, 200, 201, 202, 203, 204, 205, 206, 207, 208, 209, 210, 211, 212, 213, 214, 215, 216, 217, 218, 219, 220, 221, 222, 223, 224, 225, 226, 227, 228, 229, 230, 231};
const int kLocalqsIndex1[] = {1, 28, 61, 180};
const int kLocalqsIndex2[] = {28, 61};
const int kModelqsFields[] = {1, 28, 61, 232, 181, 182, 183, 184, 185, 186, 187, 188, 189, 190, 191, 192, 193, 194, 195, 196, 197, 198, 199, 200, 201, 202, 203, 204, 205, 207, 208, 209, 210, 211, 212, 213, 214, 84, 215, 216, 217, 218, 219, 220, 221, 222, 223};
const int kModelqsIndex1[] = {1, 28, 61, 232};
const int kModelqsIndex2[] = {28, 61};
const int kRemoteqsFields[] = {1, 28, 61, 233, 181, 182, 234, 235, 236, 237, 238, 239, 240, 241, 149, 150, 215, 221, 222, 242};
const int kRemoteqsIndex1[] = {1, 28, 61, 233};
const int kRemoteqsIndex2[] = {28, 61};
const int kAliasqsFields[] = {1, 28, 61, 243, 181, 182, 244, 245, 246, 247, 248, 249, 250, 215, 221, 222, 251};
const int kAliasqsIndex1[] = {1, 28, 61, 243};
const int kAliasqsIndex2[] = {28, 61};
const int kClusterqFields[] = {1, 28, 61, 252, 181, 253, 254, 255, 256, 257, 258, 259, 95, 260, 215, 221, 222, 261};
const int kClusterqIndex1[] = {1, 28, 61, 252, 181};
const int kClusterqIndex2[] = {28, 61};
const int kClusterqIndex3[] = {28, 61, 252};
const int kClusterqIndex4[] = {28, 61, 181};
const int kProcessFields[] = {1, 28, 61, 262, 263, 264, 265, 266, 267, 268, 269, 270};
const int kProcessIndex1[] = {1, 28, 61, 262};
const int kProcessIndex2[] = {28, 61};
const int kMcasFields[] = {1, 28, 61, 271, 272, 273, 274, 275, 276, 277, 278, 279, 280};
const int kMcasIndex1[] = {1, 28, 61, 271};
const int kMcasIndex2[] = {28, 61};
const int kNamelstsFields[] = {1, 28, 61, 281, 282, 283, 284, 285, 286};
const int kNamelstsIndex1[] = {1, 28, 61, 281};
const int kNamelstsIndex2[] = {28, 61};
const int kNmlnamesFields[] = {1, 28, 61, 281, 287};
const int kNmlnamesIndex1[] = {1, 28, 61, 281, 287};
const int kNmlnamesIndex2[] = {28, 61, 281};
const int kClusqmgrFields[] = {1, 28, 61, 288, 289, 290, 291, 292, 293, 294, 295, 296, 297, 298, 299, 300, 301, 302, 303, 304, 305, 306, 307, 308, 309, 310, 311, 312, 313, 314, 315, 316, 317, 318, 319, 320, 321, 322, 323, 324, 325, 326, 327, 328, 329, 330, 331, 332, 333, 334, 335, 336, 337};
const int kClusqmgrIndex1[] = {1, 28, 61, 288, 289};
const int kClusqmgrIndex2[] = {1, 28, 61, 288, 289, 290};
const int kClusqmgrIndex3[] = {28, 61, 288};
const int kClusqmgrIndex4[] = {28, 61, 289};
const int kClusqmgrIndex5[] = {28, 61, 290};
const int kTasksFields[] = {338, 339, 1, 28, 61, 340, 341, 342, 343, 344, 345, 346};
const int kTasksIndex1[] = {338, 339};
const int kClientsFields[] = {340, 347, 348, 349, 350, 351, 352, 353, 354, 355};
const int kClientsIndex1[] = {340};
const int kMqmgrevtFields[] = {356, 357, 358, 1, 28, 61, 359, 360, 361, 362, 363, 364, 365, 262, 366, 367, 368};
const int kMqmgrevtIndex1[] = {356};
const int kMqmgrevtIndex2[] = {366};
const int kChannevtFields[] = {369, 357, 358, 1, 28, 61, 112, 370, 135, 365, 133, 371, 359, 372, 373, 374, 375, 376, 361, 366, 367};
const int kChannevtIndex1[] = {369};
const int kChannevtIndex2[] = {366};
const int kChannevtIndex3[] = {28, 61, 112};
const int kPerfmevtFields[] = {377, 357, 358, 1, 28, 61, 363, 231, 228, 229, 230, 361, 366, 367};
const int kPerfmevtIndex1[] = {377};
const int kPerfmevtIndex2[] = {366};
const int kPerfmevtIndex3[] = {28, 61, 363};
const int kManagevtFields[] = {378, 357, 358, 1, 28, 379, 380, 381, 366, 361, 382, 367};
const int kManagevtIndex1[] = {378};
const int kManagevtIndex2[] = {366};
const int kAlterevtFields[] = {383, 357, 358, 1, 28, 61, 384, 385, 366, 361, 382, 367};
const int kAlterevtIndex1[] = {383};
const int kAlterevtIndex2[] = {366};
const int kAlterevtIndex3[] = {28, 61, 384, 385};

const TableDef kTables[kTableCount] = {
    {"MANAGERS", 0, 614, kManagersFields, 27, 1, {{kManagersIndex1, 1}}},
    {"MQNODES", 1, 1175, kMqnodesFields, 34, 1, {{kMqnodesIndex1, 2}}},
    {"MQMGRS", 2, 1442, kMqmgrsFields, 53, 1, {{kMqmgrsIndex1, 3}}},
    {"CHANNELS", 3, 2115, kChannelsFields, 71, 2, {{kChannelsIndex1, 4}, {kChannelsIndex2, 2}}},
    {"CLNTCONN", 4, 2014, kClntconnFields, 68, 2, {{kClntconnIndex1, 4}, {kClntconnIndex2, 2}}},
    {"LOCALQS", 5, 840, kLocalqsFields, 56, 2, {{kLocalqsIndex1, 4}, {kLocalqsIndex2, 2}}},
    {"MODELQS", 6, 746, kModelqsFields, 47, 2, {{kModelqsIndex1, 4}, {kModelqsIndex2, 2}}},
    {"REMOTEQS", 7, 620, kRemoteqsFields, 20, 2, {{kRemoteqsIndex1, 4}, {kRemoteqsIndex2, 2}}},
    {"ALIASQS", 8, 442, kAliasqsFields, 17, 2, {{kAliasqsIndex1, 4}, {kAliasqsIndex2, 2}}},
    {"CLUSTERQ", 9, 463, kClusterqFields, 18, 4, {{kClusterqIndex1, 5}, {kClusterqIndex2, 2}, {kClusterqIndex3, 3}, {kClusterqIndex4, 3}}},
    {"PROCESS", 10, 805, kProcessFields, 12, 2, {{kProcessIndex1, 4}, {kProcessIndex2, 2}}},
    {"MCAS", 11, 239, kMcasFields, 13, 2, {{kMcasIndex1, 4}, {kMcasIndex2, 2}}},
    {"NAMELSTS", 12, 290, kNamelstsFields, 9, 2, {{kNamelstsIndex1, 4}, {kNamelstsIndex2, 2}}},
    {"NMLNAMES", 13, 229, kNmlnamesFields, 5, 2, {{kNmlnamesIndex1, 5}, {kNmlnamesIndex2, 3}}},
    {"CLUSQMGR", 14, 1815, kClusqmgrFields, 53, 5, {{kClusqmgrIndex1, 5}, {kClusqmgrIndex2, 6}, {kClusqmgrIndex3, 3}, {kClusqmgrIndex4, 3}, {kClusqmgrIndex5, 3}}},
    {"TASKS", 15, 312, kTasksFields, 12, 1, {{kTasksIndex1, 2}}},
    {"CLIENTS", 16, 153, kClientsFields, 10, 1, {{kClientsIndex1, 1}}},
    {"MQMGREVT", 17, 546, kMqmgrevtFields, 17, 2, {{kMqmgrevtIndex1, 1}, {kMqmgrevtIndex2, 1}}},
    {"CHANNEVT", 18, 714, kChannevtFields, 21, 3, {{kChannevtIndex1, 1}, {kChannevtIndex2, 1}, {kChannevtIndex3, 3}}},
    {"PERFMEVT", 19, 355, kPerfmevtFields, 14, 3, {{kPerfmevtIndex1, 1}, {kPerfmevtIndex2, 1}, {kPerfmevtIndex3, 3}}},
    {"MANAGEVT", 20, 319, kManagevtFields, 12, 2, {{kManagevtIndex1, 1}, {kManagevtIndex2, 1}}},
    {"ALTEREVT", 21, 359, kAlterevtFields, 12, 3, {{kAlterevtIndex1, 1}, {kAlterevtIndex2, 1}, {kAlterevtIndex3, 4}}},
};

}  // namespace

const FieldDef* FieldByNumber(int field_no) {
  if (field_no < 1 || field_no > kFieldCount) return nullptr;
  return &kFields[field_no];
}

const TableDef* TableByNumber(int table_no) {
  if (table_no < 0 || table_no >= kTableCount) return nullptr;
  return &kTables[table_no];
}

}  // namespace groupdb

namespace groupdb {
namespace {

struct Derived {
  // offsets[t][f]: byte offset of field f in table t, -1 when absent.
  int16_t offsets[kTableCount][kFieldCount + 1];
  int key_length[kTableCount][kMaxIndexes + 1];
  Derived() {
    for (int t = 0; t < kTableCount; ++t) {
      for (int f = 0; f <= kFieldCount; ++f) offsets[t][f] = -1;
      const TableDef* td = TableByNumber(t);
      int off = 0;
      for (int i = 0; i < td->field_count; ++i) {
        offsets[t][td->fields[i]] = static_cast<int16_t>(off);
        off += FieldByNumber(td->fields[i])->width + 1;
      }
      for (int n = 0; n <= kMaxIndexes; ++n) key_length[t][n] = 0;
      for (int n = 1; n <= td->index_count; ++n) {
        const IndexDef& ix = td->indexes[n - 1];
        int k = 0;
        for (int i = 0; i < ix.field_count; ++i) k += FieldByNumber(ix.fields[i])->width;
        key_length[t][n] = k;
      }
    }
  }
};

const Derived& GetDerived() {
  static const Derived derived;
  return derived;
}

}  // namespace

const TableDef* TableByName(std::string_view name) {
  for (int t = 0; t < kTableCount; ++t) {
    if (name == TableByNumber(t)->name) return TableByNumber(t);
  }
  return nullptr;
}

int FieldNumberByName(std::string_view name) {
  for (int f = 1; f <= kFieldCount; ++f) {
    if (name == FieldByNumber(f)->name) return f;
  }
  return 0;
}

int FieldOffset(int table_no, int field_no) {
  if (table_no < 0 || table_no >= kTableCount || field_no < 1 || field_no > kFieldCount) return -1;
  return GetDerived().offsets[table_no][field_no];
}

int IndexKeyLength(int table_no, int index_no) {
  if (table_no < 0 || table_no >= kTableCount || index_no < 1 || index_no > kMaxIndexes) return 0;
  return GetDerived().key_length[table_no][index_no];
}

int BuildIndexKey(int table_no, int index_no, const char* record, char* key) {
  const IndexDef& ix = TableByNumber(table_no)->indexes[index_no - 1];
  int k = 0;
  for (int i = 0; i < ix.field_count; ++i) {
    int w = FieldByNumber(ix.fields[i])->width;
    const char* src = record + FieldOffset(table_no, ix.fields[i]);
    for (int b = 0; b < w; ++b) key[k++] = src[b];
  }
  return k;
}

int BuildCleanIndexKey(int table_no, int index_no, const char* record, char* key) {
  const IndexDef& ix = TableByNumber(table_no)->indexes[index_no - 1];
  int k = 0;
  for (int i = 0; i < ix.field_count; ++i) {
    const int w = FieldByNumber(ix.fields[i])->width;
    const char* src = record + FieldOffset(table_no, ix.fields[i]);
    bool ended = false;
    for (int b = 0; b < w; ++b) {
      const unsigned char c = static_cast<unsigned char>(src[b]);
      ended = ended || c == 0;
      key[k++] = (ended || c < 0x20 || c == 0x7F) ? ' ' : static_cast<char>(c);
    }
  }
  return k;
}

}  // namespace groupdb
