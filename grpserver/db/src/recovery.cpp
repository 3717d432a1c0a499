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
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "global_db.h"

namespace groupdb {
namespace {

constexpr const char* kBackupDir = "backup";
constexpr const char* kBackupPrev = "backup.prev";
constexpr const char* kBackupNew = "backup.new";
// Written before a restore moves anything, removed when it is done: an open
// that finds it completes the restore (or undoes it).
constexpr const char* kRestoreMarker = "restore.pending";
constexpr const char* kAsidePrefix = "aside-";

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

namespace {

// True when the directory shows that a group lived here: a backup
// generation, files set aside by a restore, or a restore under way. Such a
// directory is never taken for a new group, whatever data files it lacks.
bool HoldsGroupHistory(const std::string& dir) {
  for (const char* sub : {kBackupDir, kBackupPrev, kBackupNew}) {
    if (PathExists(dir + sub)) return true;
  }
  if (PathExists(dir + kRestoreMarker)) return true;
  std::vector<std::string> names;
  if (!ListDirectory(dir, &names).ok()) return true;  // unsure: not new
  for (const auto& n : names) {
    if (n.rfind(kAsidePrefix, 0) == 0) return true;
  }
  return false;
}

}  // namespace

Status CreateIfNewGroup(const std::string& dir) {
  // A group is new when none of its data files exists, or when those that
  // exist are empty (an earlier creation was interrupted), and nothing shows
  // that a group lived here: nothing can be lost by creating the rest.
  // Anything else is left to the open, which reports a missing file as
  // damage.
  if (HoldsGroupHistory(dir)) return Status::Ok();
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

}  // namespace

// Reads every file of the set in dir (ending in '/'). Data damage: a data
// file missing, its header or a record damaged, or an index naming records
// at or past the data file's next record number (a next record number that
// lost records: the index remembers them). With indexes_too, an index that
// is missing, unusable, in use or holds another number of keys than the
// table has live records is index damage (which re-indexing repairs). Data
// damage anywhere wins over index damage. kIoError when reading fails.
Status CheckGroup(const std::string& dir, bool indexes_too, Damage* damage, std::string* problem) {
  *damage = Damage::kNone;
  auto found = [&](Damage d, const std::string& what) {
    if (d > *damage) {
      *damage = d;
      *problem = what;
    }
  };
  for (int t = 0; t < kTableCount && *damage != Damage::kData; ++t) {
    const std::string path = DataFilePath(dir, t);
    if (!PathExists(path)) {
      found(Damage::kData, path + " missing");
      break;
    }
    DataScan scan;
    Status s = ScanDataFile(path, t, &scan);
    if (!s.ok()) return s;
    if (!scan.header_ok || !scan.records_ok) {
      found(Damage::kData, path + ": " + scan.problem);
      break;
    }
    for (int n = 1; n <= TableByNumber(t)->index_count; ++n) {
      const std::string ipath = IndexFilePath(dir, t, n);
      if (!PathExists(ipath)) {
        if (indexes_too) found(Damage::kIndexes, ipath + " missing");
        continue;
      }
      IndexScan ix;
      s = ScanIndexFile(ipath, IndexKeyLength(t, n), &ix);
      if (!s.ok()) return s;
      if (ix.max_record >= scan.header.next_record) {
        found(Damage::kData, path + ": " + ipath + " names record " + std::to_string(ix.max_record) +
                                 ", past next record number " + std::to_string(scan.header.next_record));
        break;
      }
      if (!indexes_too) continue;
      if (!ix.usable) {
        found(Damage::kIndexes, ipath + ": " + ix.problem);
      } else if (ix.in_use) {
        found(Damage::kIndexes, ipath + ": in use: not closed cleanly");
      } else if (ix.keys != scan.live) {
        found(Damage::kIndexes, ipath + " holds " + std::to_string(ix.keys) + " keys for " +
                                    std::to_string(scan.live) + " records");
      }
    }
  }
  return Status::Ok();
}

namespace {

// True in *sound when every file of the set is present and sound and every
// index clean and in agreement with its data.
Status CheckFileSet(const std::string& dir, bool* sound, std::string* problem) {
  Damage d;
  Status s = CheckGroup(dir, true, &d, problem);
  *sound = s.ok() && d == Damage::kNone;
  return s;
}

// *damaged when a data file is damaged beyond what re-indexing repairs.
Status CheckDataFiles(const std::string& dir, bool* damaged, std::string* problem) {
  Damage d;
  Status s = CheckGroup(dir, false, &d, problem);
  *damaged = s.ok() && d == Damage::kData;
  return s;
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
    Status s = e.MakeClean();
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
    // Only data known to be sound, with indexes that agree with it, may
    // push a generation out.
    bool sound = false;
    std::string problem;
    s = CheckFileSet(dir, &sound, &problem);
    if (!s.ok() || !sound) {
      Print("Backup refused: " + (s.ok() ? problem : s.message()) + "\n");
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

// ---------------------------------------------------------------------------
// 4. Restore
//
// A restore runs in steps that an open can always tell apart and finish:
//   1. a new "aside-<UTC time>" directory;
//   2. the marker "restore.pending" naming that directory and the backup
//      generation used (written under a temporary name, synced, renamed);
//   3. the current files renamed into the aside directory (synced);
//   4. the backup's files copied in under temporary names, synced, renamed
//      into place (synced);
//   5. the marker removed.
// An open that finds the marker completes the restore when its backup is
// still sound (files not yet set aside are moved first, so nothing of the
// current files is ever overwritten), else puts the set-aside files back.

namespace {

bool ValidAsideName(const std::string& n) {
  return n.rfind(kAsidePrefix, 0) == 0 && n.find('/') == std::string::npos && n.size() < 64;
}

Status WriteRestoreMarker(const std::string& dir, const std::string& aside, const std::string& source) {
  const std::string text = "aside=" + aside + "\nsource=" + source + "\n";
  const std::string tmp = dir + kRestoreMarker + ".new";
  File f;
  Status s = File::Create(tmp, &f);
  if (s.ok()) s = f.WriteAt(0, text.data(), text.size());
  if (s.ok()) s = f.Sync();
  f.Close();
  if (s.ok()) s = RenamePath(tmp, dir + kRestoreMarker);
  if (s.ok()) s = SyncDirectory(dir);
  if (!s.ok()) (void)RemoveFile(tmp);
  return s;
}

// kCorrupt when the marker cannot be understood.
Status ReadRestoreMarker(const std::string& dir, std::string* aside, std::string* source) {
  const std::string path = dir + kRestoreMarker;
  File f;
  uint64_t size = 0;
  Status s = File::OpenReadOnly(path, &f, &size);
  if (!s.ok()) return s;
  if (size > 256) return Status::Corrupt(path, "too long");
  std::string text(size, '\0');
  s = f.ReadAt(0, text.data(), text.size());
  if (!s.ok()) return s;
  aside->clear();
  source->clear();
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    if (line.rfind("aside=", 0) == 0) *aside = line.substr(6);
    if (line.rfind("source=", 0) == 0) *source = line.substr(7);
    at = end + 1;
  }
  if (!ValidAsideName(*aside) || (*source != kBackupDir && *source != kBackupPrev)) {
    return Status::Corrupt(path, "does not name an aside directory and a backup");
  }
  return Status::Ok();
}

// Step 3: every current file not yet in the aside directory goes there.
Status MoveCurrentAside(const std::string& dir, const std::string& aside, std::vector<std::string>* moved) {
  Status s;
  for (const std::string& name : GroupFileNames()) {
    if (!PathExists(dir + name) || PathExists(aside + "/" + name)) continue;
    s = RenamePath(dir + name, aside + "/" + name);
    if (!s.ok()) return s;
    if (moved != nullptr) moved->push_back(name);
  }
  // The moved files are the only copy of what the backup lacks: their new
  // directory entries reach the disk before anything replaces them.
  s = SyncDirectory(aside);
  if (s.ok()) s = SyncDirectory(dir);
  return s;
}

// Step 4.
Status CopyBackupIn(const std::string& source, const std::string& dir) {
  const std::vector<std::string> names = GroupFileNames();
  Status s;
  for (size_t i = 0; s.ok() && i < names.size(); ++i) {
    s = CopyFileSynced(source + names[i], dir + names[i] + ".restore");
  }
  for (size_t i = 0; s.ok() && i < names.size(); ++i) {
    s = RenamePath(dir + names[i] + ".restore", dir + names[i]);
  }
  if (s.ok()) s = SyncDirectory(dir);
  return s;
}

Status RemoveRestoreMarker(const std::string& dir) {
  Status s = RemoveFile(dir + kRestoreMarker);
  if (s.ok()) s = SyncDirectory(dir);
  return s;
}

// Puts the set-aside files back over whatever the restore copied in.
Status UndoRestore(const std::string& dir, const std::string& aside) {
  const std::vector<std::string> names = GroupFileNames();
  Status s;
  for (const std::string& name : names) (void)RemoveFile(dir + name + ".restore");
  for (const std::string& name : names) {
    if (!PathExists(aside + "/" + name)) continue;
    s = RenamePath(aside + "/" + name, dir + name);
    if (!s.ok()) return s;
  }
  s = SyncDirectory(dir);
  if (s.ok()) s = RemoveRestoreMarker(dir);
  return s;
}

}  // namespace

Status FinishInterruptedRestore(const std::string& dir) {
  if (!PathExists(dir + kRestoreMarker)) return Status::Ok();
  std::string aside, source;
  Status s = ReadRestoreMarker(dir, &aside, &source);
  if (!s.ok()) return s;
  const std::string aside_dir = dir + aside;
  if (!IsDirectory(aside_dir)) return Status::Corrupt(dir + kRestoreMarker, "its aside directory is missing");
  bool sound = false;
  std::string problem;
  s = CheckFileSet(dir + source + "/", &sound, &problem);
  if (!s.ok()) return s;
  if (!sound) {
    Print("An interrupted restore is undone (backup " + source + ": " + problem + ")\n");
    return UndoRestore(dir, aside_dir);
  }
  s = MoveCurrentAside(dir, aside_dir, nullptr);
  if (s.ok()) s = CopyBackupIn(dir + source + "/", dir);
  if (s.ok()) s = RemoveRestoreMarker(dir);
  if (s.ok()) Print("An interrupted restore from " + source + " is completed; the former files are in " + aside + "\n");
  return s;
}

Status RestoreLocked(const std::string& dir) {
  // The newest generation that is complete and sound.
  std::string source;
  for (const char* sub : {kBackupDir, kBackupPrev}) {
    if (!IsDirectory(dir + sub)) continue;
    bool sound = false;
    std::string problem;
    Status s = CheckFileSet(dir + sub + "/", &sound, &problem);
    if (s.ok() && sound) {
      source = sub;
      break;
    }
    Print(std::string("Backup ") + dir + sub + " not used: " + (s.ok() ? problem : s.message()) + "\n");
  }
  if (source.empty()) return Status(kCorrupt, "no sound backup");
  char stamp[64];
  std::time_t now = std::time(nullptr);
  struct tm tm_now;
  gmtime_r(&now, &tm_now);
  std::strftime(stamp, sizeof stamp, "aside-%Y%m%dT%H%M%S", &tm_now);
  std::string aside = stamp;
  for (int i = 1; PathExists(dir + aside); ++i) aside = std::string(stamp) + "-" + std::to_string(i);
  Status s = MakeDirectory(dir + aside);
  if (s.ok()) s = SyncDirectory(dir);
  if (s.ok()) s = WriteRestoreMarker(dir, aside, source);
  if (!s.ok()) return s;  // nothing moved yet
  s = MoveCurrentAside(dir, dir + aside, nullptr);
  if (s.ok()) s = CopyBackupIn(dir + source + "/", dir);
  if (s.ok()) s = RemoveRestoreMarker(dir);
  if (!s.ok()) {
    Print("Restore failed: " + s.message() + "\n");
    (void)UndoRestore(dir, dir + aside);
    return s;
  }
  Print("Restored the group from " + dir + source + "; the former files are in " + dir + aside + "\n");
  return s;
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
// 4. Restore (the steps are above, in the namespace)

int DbRestore(const char* group, int* out) {
  int dummy = 0;
  if (out == nullptr) out = &dummy;
  *out = 0;
  std::string dir;
  if (!groupdb::GroupDirectory(group, &dir, out)) return 0;
  if (!groupdb::IsDirectory(dir + groupdb::kBackupDir) && !groupdb::IsDirectory(dir + groupdb::kBackupPrev)) {
    *out = GDB_RC_NO_GROUP;
    return 0;
  }
  groupdb::Engine& e = Global().engine;
  if (e.locked()) {
    *out = GDB_RC_IN_USE;
    return 0;
  }
  Status s = e.Lock(dir);
  if (s.ok()) s = groupdb::FinishInterruptedRestore(dir);
  if (s.ok()) s = groupdb::RestoreLocked(dir);
  e.Abandon();
  *out = s.ok() ? GDB_RC_OK : s.code() == groupdb::kLocked ? GDB_RC_IN_USE : GDB_RC_FAILED;
  return s.ok() ? 1 : 0;
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
  if (s.ok()) s = groupdb::FinishInterruptedRestore(dir);
  if (!s.ok()) {
    e.Abandon();
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
  if (opened) {
    // The open checks headers; before anything is backed up, every record
    // and every index of the group is read and must agree. The files are
    // as the open found them, so dropping the engine leaves them untouched.
    groupdb::Engine& e = Global().engine;
    const std::string dir = e.directory();
    groupdb::Damage damage = groupdb::Damage::kNone;
    std::string problem;
    Status s = groupdb::CheckGroup(dir, true, &damage, &problem);
    if (!s.ok() || damage != groupdb::Damage::kNone) {
      groupdb::Print("Group files at open: " + (s.ok() ? problem : s.message()) + "\n");
      e.Abandon();
      opened = false;
      *out = s.ok() ? GDB_RC_CORRUPTED : GDB_RC_IO_ERROR;
    }
  }
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
