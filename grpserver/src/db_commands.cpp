// db_commands.cpp: the console's backup and restore commands.
#include "db_commands.h"

#include "entry_connection.h"
#include "group_start.h"
#include "pcf_util.h"
#include "report.h"

namespace grpserver {
namespace {

constexpr MQLONG kParamGroup = 20006;
constexpr MQLONG kParamNoBackup = 20600;
constexpr int kRcBackup = 20600;
constexpr int kRcBackupFailed = 20601;
constexpr int kRcRestore = 20602;
constexpr int kRcRestoreFailed = 20603;

// Reads and copies the group name; false (answered 2085) when it is missing
// or names another group.
bool OwnGroup(HandlerArgs& a) {
  ResetPcfMessage(a.response, a.request->Cfh->Command, MQCFT_RESPONSE);
  auto group = GetString(a.request, kParamGroup);
  if (group) {
    AddString(a.response, kParamGroup, *group);
    Reindex(a.response);
  }
  if (!group || WithoutBlanks(group->c_str()).empty() || WithoutBlanks(group->c_str()) != Server().group) {
    SetResult(a.response, MQCC_FAILED, MQRC_UNKNOWN_OBJECT_NAME);
    return false;
  }
  return true;
}

}  // namespace

void DoExcmdDbBackup(HandlerArgs& a) {
  if (!OwnGroup(a)) return;
  const char* group = Server().group.c_str();
  int rc = 0;
  if (GetInt(a.request, kParamNoBackup).value_or(0) == 0) {
    ReportError(Format("IGE0040: Creating backup database for GROUP(\"%s\") ...\n", group), kInformation, 0);
    DbBackup(group, &rc);
    ReportError(Format("IGE0035: Backup database for GROUP(\"%s\"): RC(%d)\n", group, rc), kWarning, 0);
  }
  SetResult(a.response, rc == 0 ? MQCC_OK : MQCC_FAILED, rc);
  ReportManagerEvent(a.entry, a.entry->user, kDbBackup, rc == 0 ? kRcBackup : kRcBackupFailed, rc, 0);
}

void DoExcmdDbRestore(HandlerArgs& a) {
  if (!OwnGroup(a)) return;
  GroupServer& s = Server();
  const char* group = s.group.c_str();
  DbCloseLocked();
  int rc = 0;
  if (DbRestore(group, &rc) != 1) {
    ReportError(Format("IGE0039: Failed to restore group backup RC(%d)!\n", rc), kWarning, 0);
  }
  int out = 0;
  if (DbOpen(group, &out) == 1) {
    if (rc == 0) {
      ReportError(Format("IGE0037: Backup database for GROUP(\"%s\") has been restored OK.\n", group), kInformation,
                  0);
    }
  } else {
    ReportError(Format("IGE0038: Unable to open backup Harrowline Group(\"%s\") RC(%d).\n", group, out), kError, 0);
    ReportError("IGE0036: Backup Group database is corrupted.\nAttempting to use repair ....\n", kWarning, 0);
    int repair = 0;
    IsamRebuildIndexes(group, &repair);
    if (DbOpen(group, &out) != 1) {
      // Without its database the server cannot serve: stop cleanly.
      ReportError(Format("IGE0006: Still unable to open Harrowline Group(\"%s\") RC(%d).\n", group, out), kError, 0);
      s.stop = true;
      if (rc == 0) rc = out;
    }
  }
  if (!s.stop) LoadGroupRecord(group, 0);  // the record in memory follows the restored one
  SetResult(a.response, rc == 0 ? MQCC_OK : MQCC_FAILED, rc);
  ReportManagerEvent(a.entry, a.entry->user, kDbRestore, rc == 0 ? kRcRestore : kRcRestoreFailed, rc, 0);
}

}  // namespace grpserver
