// recovery.cpp: creation of a new group's files, backup with generations,
// restore that moves the current files aside, re-indexing from the data
// files, and the recovery order of the open at group start.
//
// Divisions:
//   1. New group
//   2. Checks of a set of files (clean, sound)
//   3. Backup
//   4. Restore
//   5. Re-indexing
//   6. Open with recovery
#include <cstdio>
#include <cstring>
#include <ctime>

#include "global_db.h"

namespace groupdb {
namespace {

constexpr const char* kBackupDir = "backup";
constexpr const char* kBackupPrev = "backup.prev";
constexpr const char* kBackupNew = "backup.new";

std::string Format(const char* fmt, const std::string& a) {
  char buf[512];
  std::snprintf(buf, sizeof buf, fmt, a.c_str());
  return buf;
}

std::string Format(const char* fmt, const std::string& a, int b) {
  char buf[512];
  std::snprintf(buf, sizeof buf, fmt, a.c_str(), b);
  return buf;
}

std::string FileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Every file of a group in backup order: per table, data file then indexes.
std::vector<std::string> GroupFileNames() {
  std::vector<std::string> names;
  for (int t = 0; t < kTableCount; ++t) {
    names.push_back(FileName(DataFilePath("", t)));
    for (int n = 1; n <= TableByNumber(t)->index_count; ++n) names.push_back(FileName(IndexFilePath("", t, n)));
  }
  return names;
}

}  // namespace

// ---------------------------------------------------------------------------
// 1. New group

Status CreateIfNewGroup(const std::string& dir) {
  // A group is new when none of its data files exists, or when those that
  // exist are empty (an earlier creation was interrupted): nothing can be
  // lost by creating the rest. Anything else is left to the open, which
  // reports a missing file as damage.
  int present = 0;
  for (int t = 0; t < kTableCount; ++t) {
    std::string path = DataFilePath(dir, t);
    if (!PathExists(path)) continue;
    ++present;
    DataScan scan;
    Status s = ScanDataFile(path, t, &scan);
    if (!s.ok()) return s;
    if (!scan.header_ok || scan.header.next_record != 1) return Status::Ok();
  }
  if (present == kTableCount) return Status::Ok();
  for (int t = 0; t < kTableCount; ++t) {
    std::string path = DataFilePath(dir, t);
    if (!PathExists(path)) {
      Status s = DataFile::CreateEmpty(path + ".new", TableByNumber(t)->record_length);
      if (s.ok()) s = RenamePath(path + ".new", path);
      if (!s.ok()) return s;
    }
    // The data file is empty, so an empty index is the right one.
    for (int n = 1; n <= TableByNumber(t)->index_count; ++n) {
      std::string ipath = IndexFilePath(dir, t, n);
      Status s = IndexFile::Create(ipath + ".new", IndexKeyLength(t, n), false);
      if (s.ok()) s = RenamePath(ipath + ".new", ipath);
      if (!s.ok()) return s;
    }
  }
  for (const char* sub : {kBackupDir, "history"}) {
    Status s = MakeDirectory(dir + sub);
    if (!s.ok()) return s;
  }
  return SyncDirectory(dir);
}

// ---------------------------------------------------------------------------
// 2. Checks

namespace {

// True when every file of the set in `dir` is present, every index header
// says clean and every data file reads as sound. kIoError when reading fails.
Status CheckFileSet(const std::string& dir, bool* sound, std::string* problem) {
  *sound = false;
  for (int t = 0; t < kTableCount; ++t) {
    std::string path = DataFilePath(dir, t);
    if (!PathExists(path)) {
      *problem = path + " missing";
      return Status::Ok();
    }
    DataScan scan;
    Status s = ScanDataFile(path, t, &scan);
    if (!s.ok()) return s;
    if (!scan.header_ok || !scan.records_ok) {
      *problem = path + ": " + scan.problem;
      return Status::Ok();
    }
    for (int n = 1; n <= TableByNumber(t)->index_count; ++n) {
      IndexFile ix;
      std::string ipath = IndexFilePath(dir, t, n);
      if (!PathExists(ipath)) {
        *problem = ipath + " missing";
        return Status::Ok();
      }
      s = ix.Open(ipath, IndexKeyLength(t, n));
      if (s.code() == kCorrupt) {
        *problem = s.message();
        return Status::Ok();
      }
      if (!s.ok()) return s;
      ix.Abandon();
    }
  }
  *sound = true;
  return Status::Ok();
}

// kOk with *damaged set when a data file is damaged beyond what re-indexing
// repairs (header or records); kIoError when the files cannot be read.
Status CheckDataFiles(const std::string& dir, bool* damaged, std::string* problem) {
  *damaged = false;
  for (int t = 0; t < kTableCount; ++t) {
    std::string path = DataFilePath(dir, t);
    if (!PathExists(path)) {
      *damaged = true;
      *problem = path + " missing";
      return Status::Ok();
    }
    DataScan scan;
    Status s = ScanDataFile(path, t, &scan);
    if (!s.ok()) return s;
    if (!scan.header_ok || !scan.records_ok) {
      *damaged = true;
      *problem = path + ": " + scan.problem;
      return Status::Ok();
    }
  }
  return Status::Ok();
}

}  // namespace

// ---------------------------------------------------------------------------
// 3. Backup

namespace {

// Copies every file of dir into dir + "backup.new", then rotates the
// generations. Prints one line per file as the group manager's log shows.
bool CopyToBackup(const std::string& dir) {
  const std::string fresh = dir + kBackupNew;
  if (!RemoveTree(fresh).ok() || !MakeDirectory(fresh).ok()) {
    Print("Backup directory " + fresh + " could not be made\n");
    return false;
  }
  bool all_ok = true;
  for (const std::string& name : GroupFileNames()) {
    Status s = CopyFileSynced(dir + name, fresh + "/" + name);
    if (s.ok()) {
      Print(Format("Backup file %s successful\n", name));
    } else {
      Print(Format("Backup file %s failed, RC(%d)\n", name, s.os_error()) + "  " + s.message() + "\n");
      all_ok = false;
    }
  }
  if (!all_ok || !SyncDirectory(fresh).ok()) {
    (void)RemoveTree(fresh);
    return false;
  }
  // Keep one older generation: backup -> backup.prev, backup.new -> backup.
  const std::string current = dir + kBackupDir, prev = dir + kBackupPrev;
  if (IsDirectory(current)) {
    if (!RemoveTree(prev).ok() || !RenamePath(current, prev).ok()) {
      (void)RemoveTree(fresh);
      return false;
    }
  }
  if (!RenamePath(fresh, current).ok()) return false;
  return SyncDirectory(dir).ok();
}

}  // namespace

// Backs up the group directory dir (ending in '/'): an open database of that
// directory is brought to a syncpoint and must be clean; closed files are
// checked under the lock. Returns the reason: 0, 2201 in use, 4018 refused
// or a copy failed.
int BackupGroupFiles(const std::string& dir) {
  Engine& e = Global().engine;
  if (Global().last_syncpoint_failed) {
    // Files after a failed syncpoint may be half written; a copy of them
    // would push out a good backup.
    Print("Backup refused: the last syncpoint of the database failed\n");
    return GDB_RC_FAILED;
  }
  const bool open_here = e.is_open() && e.directory() == dir;
  bool took_lock = false;
  if (open_here) {
    // Bring the open files to a clean state; nothing writes while we copy
    // (one thread).
    Status s = e.Syncpoint();
    if (!s.ok()) {
      Global().last_syncpoint_failed = true;
      Print("Backup refused: " + s.message() + "\n");
      return GDB_RC_FAILED;
    }
    // A table found damaged since the open keeps its indexes in use; a copy
    // of it could not be restored, and rotating it in would push a sound
    // generation out.
    if (!e.AllIndexesClean()) {
      Print("Backup refused: a table is damaged and waits to be re-indexed\n");
      return GDB_RC_FAILED;
    }
  } else {
    if (e.locked()) return GDB_RC_IN_USE;
    Status s = e.Lock(dir);
    if (!s.ok()) return OpenReason(s);
    took_lock = true;
    bool sound = false;
    std::string problem;
    s = CheckFileSet(dir, &sound, &problem);
    if (!s.ok() || !sound) {
      Print("Backup refused: " + (s.ok() ? problem : s.message()) + "\n");
      e.Abandon();
      return GDB_RC_FAILED;
    }
  }
  bool ok = CopyToBackup(dir);
  if (took_lock) e.Abandon();
  return ok ? GDB_RC_OK : GDB_RC_FAILED;
}

}  // namespace groupdb

using groupdb::Global;
using groupdb::Status;

extern "C" {

int DbBackup(const char* group, int* out) {
  int dummy = 0;
  if (out == nullptr) out = &dummy;
  *out = 0;
  std::string dir;
  if (!groupdb::GroupDirectory(group, &dir, out)) return 0;
  // "backup" may be briefly missing after a crash during the rotation; the
  // older generation then shows the directory is meant to exist.
  if (!groupdb::IsDirectory(dir + groupdb::kBackupDir) && !groupdb::IsDirectory(dir + groupdb::kBackupPrev)) {
    *out = GDB_RC_NO_GROUP;
    return 0;
  }
  *out = groupdb::BackupGroupFiles(dir);
  return *out == GDB_RC_OK ? 1 : 0;
}

int DbCopyToBackup(const char* directory) {
  std::string dir = directory != nullptr ? directory : "";
  if (dir.empty() || !groupdb::IsDirectory(dir)) return 0;
  if (dir.back() != '/') dir += '/';
  return groupdb::BackupGroupFiles(dir) == GDB_RC_OK ? 1 : 0;
}

// ---------------------------------------------------------------------------
// 4. Restore

int DbRestore(const char* group, int* out) {
  int dummy = 0;
  if (out == nullptr) out = &dummy;
  *out = 0;
  std::string dir;
  if (!groupdb::GroupDirectory(group, &dir, out)) return 0;
  std::vector<std::string> sources;
  for (const char* sub : {groupdb::kBackupDir, groupdb::kBackupPrev}) {
    if (groupdb::IsDirectory(dir + sub)) sources.push_back(dir + sub + "/");
  }
  if (sources.empty()) {
    *out = GDB_RC_NO_GROUP;
    return 0;
  }
  groupdb::Engine& e = Global().engine;
  if (e.locked()) {
    *out = GDB_RC_IN_USE;
    return 0;
  }
  Status s = e.Lock(dir);
  if (!s.ok()) {
    *out = groupdb::OpenReason(s);
    return 0;
  }
  // The newest generation that is complete and sound.
  std::string source;
  for (const std::string& src : sources) {
    bool sound = false;
    std::string problem;
    s = groupdb::CheckFileSet(src, &sound, &problem);
    if (s.ok() && sound) {
      source = src;
      break;
    }
    groupdb::Print("Backup " + src + " not used: " + (s.ok() ? problem : s.message()) + "\n");
  }
  if (source.empty()) {
    e.Abandon();
    *out = GDB_RC_FAILED;
    return 0;
  }
  // Move the current files aside into a directory of their own.
  char stamp[64];
  std::time_t now = std::time(nullptr);
  struct tm tm_now;
  gmtime_r(&now, &tm_now);
  std::strftime(stamp, sizeof stamp, "aside-%Y%m%dT%H%M%S", &tm_now);
  std::string aside = dir + stamp;
  for (int i = 1; groupdb::PathExists(aside); ++i) aside = dir + stamp + "-" + std::to_string(i);
  s = groupdb::MakeDirectory(aside);
  std::vector<std::string> moved;
  const std::vector<std::string> names = groupdb::GroupFileNames();
  for (size_t i = 0; s.ok() && i < names.size(); ++i) {
    if (!groupdb::PathExists(dir + names[i])) continue;
    s = groupdb::RenamePath(dir + names[i], aside + "/" + names[i]);
    if (s.ok()) moved.push_back(names[i]);
  }
  // The moved files are the only copy of what the backup lacks: their new
  // directory entries reach the disk before anything replaces them.
  if (s.ok()) s = groupdb::SyncDirectory(aside);
  // Copy the backup in under temporary names, then rename each into place.
  for (size_t i = 0; s.ok() && i < names.size(); ++i) {
    s = groupdb::CopyFileSynced(source + names[i], dir + names[i] + ".restore");
  }
  for (size_t i = 0; s.ok() && i < names.size(); ++i) {
    s = groupdb::RenamePath(dir + names[i] + ".restore", dir + names[i]);
  }
  if (s.ok()) s = groupdb::SyncDirectory(dir);
  if (!s.ok()) {
    // Put the current files back as they were.
    groupdb::Print("Restore failed: " + s.message() + "\n");
    for (const std::string& name : names) (void)groupdb::RemoveFile(dir + name + ".restore");
    for (const std::string& name : moved) (void)groupdb::RenamePath(aside + "/" + name, dir + name);
    (void)groupdb::SyncDirectory(dir);
    e.Abandon();
    *out = GDB_RC_FAILED;
    return 0;
  }
  groupdb::Print("Restored the group from " + source + "; the former files are in " + aside + "\n");
  e.Abandon();
  return 1;
}

// ---------------------------------------------------------------------------
// 5. Re-indexing

int IsamRebuildIndexes(const char* group, int* out) {
  int dummy = 0;
  if (out == nullptr) out = &dummy;
  *out = 0;
  std::string dir;
  if (!groupdb::GroupDirectory(group, &dir, out)) return 0;
  groupdb::Engine& e = Global().engine;
  if (e.locked()) {
    *out = GDB_RC_IN_USE;
    return 0;
  }
  Status s = e.Lock(dir);
  if (!s.ok()) {
    *out = groupdb::OpenReason(s);
    return 0;
  }
  // Only indexes are rebuilt: a data file whose header or records are
  // damaged is refused before anything is written.
  bool damaged = false;
  std::string problem;
  s = groupdb::CheckDataFiles(dir, &damaged, &problem);
  if (!s.ok() || damaged) {
    groupdb::Print("Re-indexing refused: " + (s.ok() ? problem : s.message()) + "\n");
    e.Abandon();
    *out = s.ok() ? GDB_RC_CORRUPTED : GDB_RC_IO_ERROR;
    return 0;
  }
  for (int t : groupdb::OpenOrder()) {
    const groupdb::TableDef* td = groupdb::TableByNumber(t);
    groupdb::Print(std::string("\nIndexing ") + td->name);
    groupdb::DataFile data;
    s = data.OpenForRepair(groupdb::DataFilePath(dir, t), t);
    if (s.ok()) s = data.RebuildFreeList();
    groupdb::IndexFile idx[groupdb::kMaxIndexes];
    for (int n = 1; s.ok() && n <= td->index_count; ++n) {
      // Created in use: until the rebuild has finished, a crash leaves it
      // marked for another rebuild.
      std::string ipath = groupdb::IndexFilePath(dir, t, n);
      s = groupdb::IndexFile::Create(ipath, groupdb::IndexKeyLength(t, n), true);
      if (s.ok()) s = idx[n - 1].OpenForRebuild(ipath, groupdb::IndexKeyLength(t, n));
    }
    std::vector<uint8_t> rec(td->record_length);
    for (uint32_t r = 1; s.ok() && r < data.header().next_record; ++r) {
      s = data.Read(r, rec.data());
      if (!s.ok() || groupdb::GetU32(rec.data()) == groupdb::kDeletedMark) continue;
      uint8_t key[groupdb::kMaxKeyLength];
      for (int n = 1; s.ok() && n <= td->index_count; ++n) {
        groupdb::BuildIndexKey(t, n, reinterpret_cast<const char*>(rec.data()), reinterpret_cast<char*>(key));
        bool dup = false;
        s = idx[n - 1].Insert(key, r, n == 1, &dup);
        if (s.ok() && dup) {
          char line[160];
          std::snprintf(line, sizeof line, "Indexing of %s failed with RC(%d)\n", td->name, -1);
          int w = groupdb::FieldByNumber(td->fields[0])->width;
          groupdb::Print(line + std::string("Record dump(") +
                         std::string(reinterpret_cast<const char*>(rec.data()), w) + ")\n\n");
          break;  // index 1 comes first: nothing of this record was added
        }
      }
    }
    if (s.ok()) s = data.Sync();
    for (int n = 1; n <= td->index_count; ++n) {
      Status c = s.ok() ? idx[n - 1].Close() : Status::Ok();
      idx[n - 1].Abandon();
      if (s.ok() && !c.ok()) s = c;
    }
    data.Close();
    if (!s.ok()) {
      groupdb::Print("\nIndexing of " + std::string(td->name) + " stopped: " + s.message() + "\n");
      e.Abandon();
      *out = groupdb::OpenReason(s);
      return 0;
    }
  }
  groupdb::Print("\n");
  e.Abandon();
  return 1;
}

// ---------------------------------------------------------------------------
// 6. Open with recovery

int OpenGroupDatabase(const char* group, int* out) {
  int dummy = 0;
  if (out == nullptr) out = &dummy;
  const std::string name = group != nullptr ? group : "";
  bool opened = DbOpen(group, out) == 1;
  if (!opened) {
    groupdb::Report(groupdb::Format("IGE0001: Unable to open Harrowline Group(\"%s\") RC(%d).\n", name, *out), 2, 1);
    switch (*out) {
      case GDB_RC_FAILED:
        groupdb::Report(
            "IGE0002: Could not locate HARROWLINE install directory\n"
            "Make sure \"HARROWLINE\" environment variable is defined.\n",
            2, 1);
        return 0;
      case GDB_RC_NO_GROUP:
        groupdb::Report(groupdb::Format("IGE0003: Group \"%s\" does not exist.\n", name), 2, 1);
        return 0;
      case GDB_RC_IN_USE:
        groupdb::Report(groupdb::Format("IGE0004: Group \"%s\" is in use by another application!\n", name), 2, 1);
        return 0;
      case GDB_RC_CORRUPTED:
        break;
      default:
        // An I/O or permission error is no damage: touch nothing.
        return 0;
    }
    std::string dir;
    if (!groupdb::GroupDirectory(group, &dir, out)) return 0;
    bool damaged = false;
    std::string problem;
    Status s = groupdb::CheckDataFiles(dir, &damaged, &problem);
    if (!s.ok()) {
      *out = GDB_RC_IO_ERROR;
      groupdb::Report(groupdb::Format("IGE0001: Unable to open Harrowline Group(\"%s\") RC(%d).\n", name, *out), 2, 1);
      return 0;
    }
    if (damaged) {
      // Only a damaged data file takes the backup; the damaged files are
      // kept, moved aside, for whoever wants to salvage them.
      groupdb::Report("IGE0036: Group database is corrupted.\nAttempting to use backup ....\n", 1, 1);
      groupdb::Print("Damaged data file: " + problem + "\n");
      int rc = 0;
      if (DbRestore(group, &rc) != 1) {
        // On to the repair, which refuses to write over a damaged data file:
        // the open then fails as corrupted and every file stays as it is.
        char line[96];
        std::snprintf(line, sizeof line, "IGE0039: Failed to restore group backup RC(%d)!\n", rc);
        groupdb::Report(line, 1, 1);
      } else if (DbOpen(group, out) == 1) {
        groupdb::Report(groupdb::Format("IGE0037: Backup database for GROUP(\"%s\") has been restored OK.\n", name),
                        0, 1);
        return 1;
      }
    }
    groupdb::Report("IGE0005: Group database is corrupted.\nAttempting to repair ....\n", 1, 1);
    int rc = 0;
    (void)IsamRebuildIndexes(group, &rc);
    if (DbOpen(group, out) != 1) {
      groupdb::Report(groupdb::Format("IGE0006: Still unable to open Harrowline Group(\"%s\") RC(%d).\n", name, *out),
                      2, 1);
      return 0;
    }
    groupdb::Report("Group database has been repaired ok!\n", 0, 1);
  }
  groupdb::Report(groupdb::Format("IGE0040: Creating backup database for GROUP(\"%s\") ...\n", name), 0, 0);
  int rc = 0;
  (void)DbBackup(group, &rc);
  groupdb::Report(groupdb::Format("IGE0035: Backup database for GROUP(\"%s\"): RC(%d)\n", name, rc), 1, 0);
  *out = 0;
  return 1;
}

int DbOpenWithRecovery(const char* group, int* out) { return OpenGroupDatabase(group, out); }

}  // extern "C"
