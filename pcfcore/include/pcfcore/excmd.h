/*
 * excmd.h: the suite's own PCF command codes and parameter identifiers.
 *
 * These travel on the wire and are stored in history files: never renumber
 * a value, and keep a retired one reserved. A code added here also needs a
 * name in the command-name table when it should print by name.
 */
#ifndef PCFCORE_EXCMD_H_
#define PCFCORE_EXCMD_H_

/* Command codes: 8001 to 8003 are the suite's event kinds, 10001 and up
 * its commands. EXCMD_INQUIRE_CHANNEL_EVENT has no printable name. */
#define EXCMD_ALTER_EVENT            8001
#define EXCMD_MANAGER_EVENT          8002
#define EXCMD_STATE_EVENT            8003
#define EXCMD_START_MCA              10001
#define EXCMD_STOP_MCA               10002
#define EXCMD_START_Q_MGR            10003
#define EXCMD_STOP_Q_MGR             10004
#define EXCMD_OPEN_EVENT             10005
#define EXCMD_CLOSE_EVENT            10006
#define EXCMD_INQUIRE_Q_MGR_NAMES    10007
#define EXCMD_MQ_OPEN                10008
#define EXCMD_MQ_CLOSE               10009
#define EXCMD_STOP_PCFEM             10010
#define EXCMD_CREATE_Q_MGR           10012
#define EXCMD_DELETE_Q_MGR           10013
#define EXCMD_MQSC_SCRIPT            10014
#define EXCMD_HEART_BEAT             10015
#define EXCMD_LOCATE_OBJECT          10016
#define EXCMD_INQUIRE_Q_RUNTIME      10017
#define EXCMD_INQUIRE_CLUSQMGR_NAMES 10020
#define EXCMD_INQUIRE_MANAGER        10101
#define EXCMD_CHANGE_MANAGER         10102
#define EXCMD_DELETE_MANAGER         10103
#define EXCMD_CREATE_MANAGER         10104
#define EXCMD_START_MANAGER          10105
#define EXCMD_STOP_MANAGER           10106
#define EXCMD_CHANGE_MANAGER_STAT    10107
#define EXCMD_SHUTDOWN_MANAGER       10110
#define EXCMD_INQUIRE_MQNODE_NAMES   10120
#define EXCMD_INQUIRE_MQNODE         10121
#define EXCMD_CHANGE_MQNODE          10122
#define EXCMD_DELETE_MQNODE          10123
#define EXCMD_CREATE_MQNODE          10124
#define EXCMD_START_MQNODE           10125
#define EXCMD_CHANGE_MQNODE_STAT     10127
#define EXCMD_REGISTER_MQNODE        10128
#define EXCMD_MANAGE_MQNODE          10129
#define EXCMD_UNMANAGE_MQNODE        10130
#define EXCMD_INQUIRE_Q_MGR_EVENT    10160
#define EXCMD_DELETE_Q_MGR_EVENT     10161
#define EXCMD_INQUIRE_CHANNEL_EVENT  10170
#define EXCMD_INQUIRE_MANAGER_EVENT  10180
#define EXCMD_DELETE_MANAGER_EVENT   10181
#define EXCMD_INQUIRE_PERFM_EVENT    10190
#define EXCMD_DELETE_PERFM_EVENT     10191
#define EXCMD_INQUIRE_ALTER_EVENT    10200
#define EXCMD_DELETE_ALTER_EVENT     10201
#define EXCMD_INQUIRE_TEXT_FILE      10205
#define EXCMD_CREATE_TEXT_FILE       10206
#define EXCMD_MG_BROWSE              10300
#define EXCMD_MG_NEW                 10301
#define EXCMD_MG_MOVE                10302
#define EXCMD_MG_DELETE              10303
#define EXCMD_MG_COPY                10304
#define EXCMD_DISPLAY_GROUP          10901
#define EXCMD_DISPLAY_LOG            10902
#define EXCMD_SET_LOG                10903
#define EXCMD_ARCHIVE_LOG            10904
#define EXCMD_DISPLAY_QSTATUS        10905
#define EXCMD_MOVE_QLOCAL            10907
#define EXCMD_START_PROCESS          10998
#define EXCMD_TEST_Q_MGR             10999
#define EXCMD_MQ_DISCOVER            11000
#define EXCMD_EXECUTE_SHELL_CMD      11002

/* Parameter identifiers of the suite (20000 and up). */
#define MANAGER_NAME 20006
#define MQNODE_NAME 20007
#define OBJECT_TYPE 20101
#define EVENT_NO 20110
#define MQNODE_MANAGED 20135
#define QMGR_STOP_MODE 20141

#endif /* PCFCORE_EXCMD_H_ */
