/*
 * mq_platform.h: the queue managers known on this host and the lookup of
 * their logs in the local MQ installation.
 *
 * Known queue managers are the client-connection keys of the suite under
 * HKEY_LOCAL_MACHINE "Software\Brackwin\Harrowline Compact\Queue Managers"
 * (docs/formats/client-connections.md). MQ writes each "." of a
 * queue-manager name as "!" in registry keys and directory names.
 *
 * The MQ installation directory is $HARROWLINE_MQM, else the value
 * "FilePath" of HKEY_LOCAL_MACHINE "SOFTWARE\IBM\MQSeries\CurrentVersion",
 * else /var/mqm; mqs.ini lies in it. Log settings and error-log directories
 * come from IBM's registry keys when "MQServerVersion" is 5 or more and
 * "MQServerRelease" above 0, else from mqs.ini and the queue manager's
 * qm.ini (stanza files: "Name:" lines open a stanza, "Key=Value" lines
 * belong to it until the next stanza).
 *
 * Results: 1 for success, 0 for failure; missing keys, values and files
 * give 0 and leave the outputs as far as they were filled. Nothing is
 * printed. Thread-safe (no shared state).
 */
#ifndef QMLINK_MQ_PLATFORM_H_
#define QMLINK_MQ_PLATFORM_H_

#include <mqi/mqi.h>
#include <pcfcore/pcf_message.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MQPLATFORM_KIND 5
#define MQPLATFORM_NAME_LENGTH 28
#define MQLOG_PATH_LENGTH 260

/* Log types of MqLogInfo. */
#define MQLOG_TYPE_CIRCULAR 2
#define MQLOG_TYPE_LINEAR 3

/* Scope of GetErrorLogPath: one queue manager; any other value is the
 * installation. */
#define MQERRLOG_SCOPE_QMGR 1

struct MQPlatform;

typedef struct MQPlatform {
  MQLONG kind;                             /* 5 */
  char name[MQPLATFORM_NAME_LENGTH];       /* at most 27 characters */
  int (*pl_read)(mqPcfMessage* result, struct MQPlatform* platform);
} MQPlatform;

typedef struct MqLogInfo {
  char LogPath[MQLOG_PATH_LENGTH];
  MQLONG LogType;                          /* 2 CIRCULAR, 3 otherwise */
  MQLONG LogPrimaryFiles;
  MQLONG LogSecondaryFiles;
  MQLONG LogFilePages;
  MQLONG LogBufferPages;
} MqLogInfo;

/* A new platform object named name (cut to 27 characters); null when no
 * memory is had. Free with DeleteMQPlatform. */
MQPlatform* CreateMQPlatform(const char* name);
/* 0 for null; else frees; 1. */
int DeleteMQPlatform(MQPlatform* platform);

/* Appends MQCA_Q_MGR_NAME (2015) as a string list (elements of 48
 * characters) of every known queue manager whose name, blanks removed and
 * "!" read as ".", matches mask (IsMaskMatch), in the registry's key order.
 * The platform is not used. 0 when the list cannot be appended. */
int plReadWithMask(mqPcfMessage* result, MQPlatform* platform, const char* mask);
/* plReadWithMask with the mask "*". */
int plRead(mqPcfMessage* result, MQPlatform* platform);

/* Replaces every from by to in text, in place; returns 0. */
int CharSubstitute(char* text, char from, char to);

/* Log settings of the queue manager name, or of the installation's log
 * defaults for null. 1 when the log path was found. */
int GetMQLogInfo(const char* name, MqLogInfo* info);

/* The errors directory of the queue manager name (scope 1) or of the
 * installation (any other scope) into path, which holds size bytes; 1 when
 * it was found and fits. */
int GetErrorLogPathN(int scope, const char* name, char* path, size_t size);
/* REQUIRES: path holds MQLOG_PATH_LENGTH bytes. */
int GetErrorLogPath(int scope, const char* name, char* path);

/* The names of the files "AMQ*.*" in directory, in name order, each
 * followed by ";", into text, which holds *length bytes; a name that would
 * not fit with its ";" and the closing NUL ends the list. *length becomes
 * the text's length. 1 when at least one name was written. */
int GetErrorLogNames(const char* directory, char* text, MQLONG* length);

#ifdef __cplusplus
}
#endif

#endif /* QMLINK_MQ_PLATFORM_H_ */
