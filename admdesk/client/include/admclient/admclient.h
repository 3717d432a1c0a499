// admclient.h: the console's headless core in one include.
//
// Conventions: the C++ classes here are used from the user-interface thread
// only. PCF messages (mqPcfMessage) are created and deleted by the caller;
// the client never keeps one past a call. Functions named as the console's
// Parts name them keep their 1/0 results; the others return bool or values.
#ifndef ADMCLIENT_ADMCLIENT_H_
#define ADMCLIENT_ADMCLIENT_H_

#include "admclient/cpcf.h"
#include "admclient/item_text.h"
#include "admclient/profile.h"
#include "admclient/result_log.h"
#include "admclient/seams.h"
#include "admclient/server_client.h"
#include "admclient/text_tables.h"

#endif  // ADMCLIENT_ADMCLIENT_H_
