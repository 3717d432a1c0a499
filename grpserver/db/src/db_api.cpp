// db_api.cpp: the exported record layer (Db* functions) and field access
// over the process-wide engine. Each function converts the engine's Status
// into its 1/0 result and out code here, at one place.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <os/install_dir.h>

#include "global_db.h"

namespace groupdb {

GlobalDb& Global() {
  static GlobalDb db;
  return db;
}

void Report(const std::string& text, int severity, int show) {
  if (Global().report != nullptr) {
    Global().report(text.c_str(), severity, show);
  } else {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  }
}

void Print(const std::string& text) {
  if (Global().print != nullptr) {
    Global().print(text.c_str());
  } else {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  }
}

std::string InstallDirectory() {
  return Global().install_dir.empty() ? os::InstallDir() : Global().install_dir;
}

bool GroupDirectory(const char* group, std::string* dir, int* out) {
  std::string install = InstallDirectory();
  if (install.empty()) {
    *out = GDB_RC_FAILED;
    return false;
  }
  // The name as the group manager pads it: trailing spaces do not count.
  std::string name = group != nullptr ? group : "";
  while (!name.empty() && name.back() == ' ') name.pop_back();
  bool bad = name.empty() || name.size() > 32 || name == "." || name == "..";
  for (char c : name) bad = bad || c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
  if (bad) {
    *out = GDB_RC_NO_GROUP;
    return false;
  }
  if (install.back() != '/') install += '/';
  *dir = install + "groups/" + name + "/";
  if (!IsDirectory(*dir)) {
    *out = GDB_RC_NO_GROUP;
    return false;
  }
  return true;
}

int OpenReason(const Status& s) {
  switch (s.code()) {
    case kOk: return GDB_RC_OK;
    case kLocked: return GDB_RC_IN_USE;
    case kIoError: return GDB_RC_IO_ERROR;
    case kNoMemory: return GDB_RC_IO_ERROR;
    default: return GDB_RC_CORRUPTED;
  }
}

}  // namespace groupdb

using groupdb::Global;
using groupdb::Status;

namespace {

const groupdb::TableDef* TableOf(const GroupDbRecord* buffer) {
  return buffer == nullptr ? nullptr : groupdb::TableByNumber(static_cast<int>(buffer->Table));
}

int Result(const Status& s, int* out) {
  if (out != nullptr) *out = s.code();
  return s.ok() ? 1 : 0;
}

uint8_t* Area(GroupDbRecord* b) { return reinterpret_cast<uint8_t*>(b->Data); }

// The buffer with its table's fields cleaned as an add stores them (bytes
// from a field's first NUL on and control bytes as spaces), so a key built
// from it matches the stored key even when the caller wrote a field raw.
// REQUIRES: the buffer names a valid table.
GroupDbRecord Cleaned(const GroupDbRecord* buffer) {
  GroupDbRecord clean = *buffer;
  (void)groupdb::NormalizeRecord(static_cast<int>(buffer->Table), reinterpret_cast<const uint8_t*>(buffer->Data),
                                 reinterpret_cast<uint8_t*>(clean.Data));
  return clean;
}

}  // namespace

extern "C" {

int DbSetInstallDir(const char* install_dir) {
  Global().install_dir = install_dir != nullptr ? install_dir : "";
  return 1;
}

const char* DbGetDirectory(void) {
  return Global().engine.locked() ? Global().engine.directory().c_str() : "";
}

int DbOpen(const char* group, int* out) {
  int dummy = 0;
  if (out == nullptr) out = &dummy;
  *out = 0;
  std::string dir;
  if (!groupdb::GroupDirectory(group, &dir, out)) return 0;
  groupdb::Engine& e = Global().engine;
  if (e.is_open()) {
    if (e.directory() == dir) return 1;
    *out = GDB_RC_IN_USE;
    return 0;
  }
  Status s = e.Lock(dir);
  if (s.ok()) s = groupdb::FinishInterruptedRestore(dir);
  if (s.ok()) s = groupdb::CreateIfNewGroup(dir);
  if (s.ok()) s = e.OpenTables(groupdb::OpenOrder());
  if (!s.ok()) {
    if (!e.failed_index().empty()) groupdb::Print("TABLE(\"" + e.failed_index() + "\") corrupted.\n");
    e.Abandon();
    *out = groupdb::OpenReason(s);
    return 0;
  }
  Global().last_syncpoint_failed = false;
  for (int& i : Global().secondary_index) i = 0;
  return 1;
}

int DbCloseLocked(void) {
  Status s = Global().engine.CloseAndUnlock();
  if (!s.ok()) Global().engine.Abandon();
  return s.ok() ? 1 : 0;
}

int DbSyncpoint(const char* group, int* out) {
  int dummy = 0;
  if (out == nullptr) out = &dummy;
  *out = 0;
  std::string dir;
  if (!groupdb::GroupDirectory(group, &dir, out)) return 0;
  Status s = Global().engine.Syncpoint();
  Global().last_syncpoint_failed = !s.ok();
  if (!s.ok()) {
    *out = groupdb::OpenReason(s);
    return 0;
  }
  return 1;
}

int IsamGetError(void) { return Global().engine.last_error(); }

void DbClearRecord(GroupDbRecord* buffer) {
  if (buffer == nullptr) return;
  std::memset(buffer->Data, 0, sizeof buffer->Data);
  const groupdb::TableDef* td = TableOf(buffer);
  if (td == nullptr) return;
  int off = 0;
  for (int i = 0; i < td->field_count; ++i) {
    int w = groupdb::FieldByNumber(td->fields[i])->width;
    std::memset(buffer->Data + off, ' ', w);
    off += w + 1;
  }
}

int DbBuildPrimaryKey(const GroupDbRecord* buffer, char* key) {
  const groupdb::TableDef* td = TableOf(buffer);
  if (td == nullptr) return 0;
  return groupdb::BuildCleanIndexKey(td->number, 1, buffer->Data, key);
}

int DbBuildSecondaryKey(const GroupDbRecord* raw, char* key) {
  const groupdb::TableDef* td = TableOf(raw);
  if (td == nullptr) return 0;
  const GroupDbRecord clean = Cleaned(raw);
  const GroupDbRecord* buffer = &clean;
  const int t = td->number;
  switch (t) {
    case DBT_CHANNELS: case DBT_CLNTCONN: case DBT_LOCALQS: case DBT_MODELQS: case DBT_REMOTEQS:
    case DBT_ALIASQS: case DBT_PROCESS: case DBT_MCAS: case DBT_NAMELSTS:
      return groupdb::BuildIndexKey(t, 2, buffer->Data, key) > 0 ? 2 : 0;
    case DBT_CLUSTERQ: {
      // Node, queue manager and cluster queue name; index 2 holds node and
      // queue manager only, so the lookup matches on those (the queue name
      // goes beyond its key length).
      int k = 0;
      for (int f : {DBF_MQNODE_NAME, DBF_MQMGR_NAME, DBF_CLUSTER_Q_NAME}) {
        int w = groupdb::FieldByNumber(f)->width;
        std::memcpy(key + k, buffer->Data + groupdb::FieldOffset(t, f), w);
        k += w;
      }
      return 2;
    }
    case DBT_NMLNAMES:
      return groupdb::BuildIndexKey(t, 2, buffer->Data, key) > 0 ? 2 : 0;
    case DBT_CLUSQMGR:
      // Node, queue manager and cluster queue-manager name: that is index 3.
      // (Index 2 begins with the manager name and would never match.)
      return groupdb::BuildIndexKey(t, 3, buffer->Data, key) > 0 ? 3 : 0;
    case DBT_MQMGREVT: case DBT_CHANNEVT: case DBT_PERFMEVT: case DBT_MANAGEVT: case DBT_ALTEREVT:
      return groupdb::BuildIndexKey(t, 1, buffer->Data, key) > 0 ? 1 : 0;
    default:
      // No secondary lookup: a blank key on index 1.
      std::memset(key, ' ', groupdb::IndexKeyLength(t, 1));
      return 1;
  }
}

int DbReadRecord(GroupDbRecord* buffer, int op, int* out) {
  int dummy = 0;
  if (out == nullptr) out = &dummy;
  *out = 0;
  const groupdb::TableDef* td = TableOf(buffer);
  if (td == nullptr) {
    *out = GDB_E_NOT_FOUND;
    return 0;
  }
  groupdb::Engine& e = Global().engine;
  const int t = td->number;
  char key[groupdb::kMaxKeyLength + 64];
  switch (op) {
    case GDB_READ_KEY:
      DbBuildPrimaryKey(buffer, key);
      return Result(e.Find(t, 1, reinterpret_cast<uint8_t*>(key), Area(buffer)), out);
    case GDB_READ_FIRST: return Result(e.First(t, 1, Area(buffer)), out);
    case GDB_READ_NEXT: return Result(e.Next(t, 1, Area(buffer)), out);
    case GDB_READ_PREV: return Result(e.Prev(t, 1, Area(buffer)), out);
    case GDB_READ_LAST: return Result(e.Last(t, 1, Area(buffer)), out);
    case GDB_READ_SECONDARY: {
      int n = DbBuildSecondaryKey(buffer, key);
      Global().secondary_index[t] = n;
      return Result(e.Find(t, n, reinterpret_cast<uint8_t*>(key), Area(buffer)), out);
    }
    case GDB_READ_SECONDARY_NEXT: {
      int n = Global().secondary_index[t] != 0 ? Global().secondary_index[t] : 1;
      return Result(e.Next(t, n, Area(buffer)), out);
    }
    default:
      return 0;
  }
}

int DbWriteRecord(GroupDbRecord* buffer, int mode, int* out) {
  int dummy = 0;
  if (out == nullptr) out = &dummy;
  *out = 0;
  const groupdb::TableDef* td = TableOf(buffer);
  if (td == nullptr) {
    *out = GDB_E_NOT_FOUND;
    return 0;
  }
  groupdb::Engine& e = Global().engine;
  switch (mode) {
    case GDB_WRITE_ADD: return Result(e.Add(td->number, Area(buffer)), out);
    case GDB_WRITE_UPDATE: return Result(e.Update(td->number, Area(buffer)), out);
    case GDB_WRITE_REWRITE: return Result(e.Rewrite(td->number, Area(buffer)), out);
    default: return 0;
  }
}

int DbFindRecord(GroupDbRecord* buffer, int n, const char* key, int* out) {
  int dummy = 0;
  if (out == nullptr) out = &dummy;
  *out = 0;
  const groupdb::TableDef* td = TableOf(buffer);
  int k = td != nullptr ? groupdb::IndexKeyLength(td->number, n) : 0;
  if (k == 0 || key == nullptr) {
    *out = GDB_E_NOT_FOUND;
    return 0;
  }
  uint8_t full[groupdb::kMaxKeyLength];
  std::memset(full, ' ', k);
  size_t len = strnlen(key, k);
  std::memcpy(full, key, len);
  return Result(Global().engine.Find(td->number, n, full, Area(buffer)), out);
}

int DbDeleteRecord(int table, int* out) {
  int dummy = 0;
  if (out == nullptr) out = &dummy;
  *out = 0;
  if (groupdb::TableByNumber(table) == nullptr) {
    *out = GDB_E_NO_CURRENT;
    return 0;
  }
  return Result(Global().engine.Delete(table), out);
}

const char* DbTableName(int table) {
  const groupdb::TableDef* td = groupdb::TableByNumber(table);
  return td != nullptr ? td->name : nullptr;
}

int DbRecordLength(int table) {
  const groupdb::TableDef* td = groupdb::TableByNumber(table);
  return td != nullptr ? td->record_length : 0;
}

const char* DbFieldName(int field_no) {
  const groupdb::FieldDef* f = groupdb::FieldByNumber(field_no);
  return f != nullptr ? f->name : nullptr;
}

int DbFieldWidth(int field_no) {
  const groupdb::FieldDef* f = groupdb::FieldByNumber(field_no);
  return f != nullptr ? f->width : 0;
}

char DbFieldKind(int field_no) {
  const groupdb::FieldDef* f = groupdb::FieldByNumber(field_no);
  return f != nullptr ? f->kind : 0;
}

int DbFieldByName(const char* name) { return name != nullptr ? groupdb::FieldNumberByName(name) : 0; }

int DbFieldOffset(int table, int field_no) { return groupdb::FieldOffset(table, field_no); }

int DbSetField(GroupDbRecord* buffer, int field_no, const char* value) {
  const groupdb::TableDef* td = TableOf(buffer);
  if (td == nullptr) return 0;
  int off = groupdb::FieldOffset(td->number, field_no);
  if (off < 0) return 0;
  int w = groupdb::FieldByNumber(field_no)->width;
  char* dst = buffer->Data + off;
  size_t len = value != nullptr ? strnlen(value, w) : 0;
  for (int i = 0; i < w; ++i) {
    unsigned char c = i < static_cast<int>(len) ? static_cast<unsigned char>(value[i]) : ' ';
    dst[i] = (c < 0x20 || c == 0x7F) ? ' ' : static_cast<char>(c);
  }
  dst[w] = '\0';
  return 1;
}

int DbSetFieldNumber(GroupDbRecord* buffer, int field_no, long long value) {
  const groupdb::TableDef* td = TableOf(buffer);
  if (td == nullptr || groupdb::FieldOffset(td->number, field_no) < 0) return 0;
  char text[32];
  int n = std::snprintf(text, sizeof text, "%lld", value);
  if (n < 0 || n > groupdb::FieldByNumber(field_no)->width) return 0;
  return DbSetField(buffer, field_no, text);
}

int DbGetField(const GroupDbRecord* buffer, int field_no, char* out, int out_size) {
  const groupdb::TableDef* td = TableOf(buffer);
  if (td == nullptr || out == nullptr) return 0;
  int off = groupdb::FieldOffset(td->number, field_no);
  if (off < 0) return 0;
  int w = groupdb::FieldByNumber(field_no)->width;
  if (out_size < w + 1) return 0;
  int len = 0;
  for (; len < w && buffer->Data[off + len] != '\0'; ++len) out[len] = buffer->Data[off + len];
  while (len > 0 && out[len - 1] == ' ') --len;
  out[len] = '\0';
  return 1;
}

int DbGetFieldNumber(const GroupDbRecord* buffer, int field_no, long long* value) {
  char text[512];
  if (value == nullptr || !DbGetField(buffer, field_no, text, sizeof text)) return 0;
  const char* p = text;
  while (*p == ' ') ++p;
  if (*p == '\0') return 0;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(p, &end, 10);
  if (errno != 0 || end == p) return 0;
  while (*end == ' ') ++end;
  if (*end != '\0') return 0;
  *value = v;
  return 1;
}

int DbSetFieldTime(GroupDbRecord* buffer, int field_no, long long seconds) {
  const groupdb::TableDef* td = TableOf(buffer);
  if (td == nullptr || seconds < 0 || groupdb::FieldOffset(td->number, field_no) < 0) return 0;
  const int w = groupdb::FieldByNumber(field_no)->width;
  char text[32];
  int n = std::snprintf(text, sizeof text, "%lld", seconds);
  if (n > 0 && n <= w) return DbSetField(buffer, field_no, text);
  // Base 36, most significant digit first, after the '#'.
  static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  char digits[16];
  int d = 0;
  for (unsigned long long v = static_cast<unsigned long long>(seconds); v != 0; v /= 36) digits[d++] = kDigits[v % 36];
  if (d + 1 > w) return 0;
  text[0] = '#';
  for (int i = 0; i < d; ++i) text[1 + i] = digits[d - 1 - i];
  text[1 + d] = '\0';
  return DbSetField(buffer, field_no, text);
}

int DbGetFieldTime(const GroupDbRecord* buffer, int field_no, long long* seconds) {
  char text[512];
  if (seconds == nullptr || !DbGetField(buffer, field_no, text, sizeof text)) return 0;
  const char* p = text;
  while (*p == ' ') ++p;
  const bool wide = *p == '#';
  if (wide) ++p;
  const unsigned base = wide ? 36 : 10;
  unsigned long long v = 0;
  int count = 0;
  for (; *p != '\0' && *p != ' '; ++p, ++count) {
    unsigned digit;
    if (*p >= '0' && *p <= '9') {
      digit = unsigned(*p - '0');
    } else if (wide && *p >= 'A' && *p <= 'Z') {
      digit = unsigned(*p - 'A') + 10;
    } else {
      return 0;
    }
    if (v > (0x7FFFFFFFFFFFFFFFULL - digit) / base) return 0;  // beyond 64 bits
    v = v * base + digit;
  }
  while (*p == ' ') ++p;
  if (count == 0 || *p != '\0') return 0;
  *seconds = static_cast<long long>(v);
  return 1;
}

void DbSetReportHook(DbReportFn fn) { Global().report = fn; }
void DbSetPrintHook(DbPrintFn fn) { Global().print = fn; }

}  // extern "C"
