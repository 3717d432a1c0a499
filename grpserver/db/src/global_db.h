// global_db.h: the process-wide database behind the exported C functions:
// one engine, the install directory, the message hooks and the little state
// the record layer keeps between calls. Main thread only.
#ifndef GROUPDB_GLOBAL_DB_H_
#define GROUPDB_GLOBAL_DB_H_

#include <string>

#include "engine.h"
#include "groupdb/groupdb.h"

namespace groupdb {

struct GlobalDb {
  Engine engine;
  std::string install_dir;            // empty: the suite's install directory
  bool last_syncpoint_failed = false; // refuses backups until a good syncpoint
  int secondary_index[kTableCount] = {};  // index used by the last op 5
  DbReportFn report = nullptr;
  DbPrintFn print = nullptr;
};

GlobalDb& Global();

// The install directory: the one DbSetInstallDir set, else the suite's.
std::string InstallDirectory();

// Resolves a group name to "<install>/groups/<group>/". *out: 4018 no
// install directory, 2085 a bad name or a missing directory.
bool GroupDirectory(const char* group, std::string* dir, int* out);

// Maps an engine status to the reason of an open-like operation.
int OpenReason(const Status& s);

void Report(const std::string& text, int severity, int show);
void Print(const std::string& text);

// Creates a new group's empty files when the directory holds no data file
// yet (or only empty data files left by an interrupted creation).
Status CreateIfNewGroup(const std::string& dir);

// What a check of a group's files found; data damage outranks index damage.
enum class Damage { kNone, kIndexes, kData };
// Reads every data and index file of the group directory dir: data damage
// is a data file missing, damaged, or with an index naming records past its
// next record number; with indexes_too, an index missing, damaged, in use or
// disagreeing with its data in number is index damage. kIoError when
// reading fails.
Status CheckGroup(const std::string& dir, bool indexes_too, Damage* damage, std::string* problem);

// Completes a restore that was cut off (its marker is in dir), or undoes it
// when its backup is no longer sound. The caller holds the lock.
Status FinishInterruptedRestore(const std::string& dir);
// Restores the newest sound backup generation into dir (lock held); the
// current files are moved into a new aside directory first.
Status RestoreLocked(const std::string& dir);

// Backs up the group directory dir (ending in '/'); returns 0 or the reason
// (2201 in use, 4018 refused or a copy failed).
int BackupGroupFiles(const std::string& dir);

}  // namespace groupdb

#endif  // GROUPDB_GLOBAL_DB_H_
