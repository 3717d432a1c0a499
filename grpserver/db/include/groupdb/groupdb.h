/*
 * groupdb.h: the group manager's database: 22 tables of fixed-width text
 * records in data files, B-tree index files, the lock file, backup, restore
 * and re-indexing. File formats: docs/formats/group-database.md.
 *
 * Conventions of the whole interface:
 *  - Functions return 1 for success and 0 for failure; those with an `out`
 *    parameter set it to 0 on success and to the reason on failure: one of
 *    the engine's codes GDB_E_* for record operations, one of GDB_RC_* for
 *    opening, syncpoint, backup, restore and re-indexing.
 *  - Records travel in a GroupDbRecord owned by the caller: a table number
 *    and a field area; the table's record fills the start of the area.
 *  - One process-wide database, used from one thread (the group manager's
 *    main thread). Nothing here is locked; nothing throws.
 *  - Fields are fixed-width text: w characters padded with spaces, then a
 *    NUL. Use DbSetField/DbSetFieldNumber/DbSetFieldTime to fill them:
 *    they copy at most the field's width, turn control bytes into spaces
 *    and pad, so a value can never run into the next field or shift a key.
 *
 * Durability: every record write reaches the operating system before the
 * call returns (a killed process loses nothing acknowledged); DbSyncpoint
 * brings it to the disk itself: data files synced, changed index pages
 * (held in a page cache until then) written, and synced once the table is
 * quiet, when the index is marked clean. After a crash, OpenGroupDatabase
 * re-indexes the tables changed since their last quiet syncpoint from the
 * current data files; it never replaces them with the backup unless a data
 * file itself is damaged, and then only after moving the damaged files
 * aside.
 *
 * At group start the group manager calls OpenGroupDatabase; its messages
 * (IGE0001 and on) go through the report hook.
 */
#ifndef GROUPDB_GROUPDB_H_
#define GROUPDB_GROUPDB_H_

#include <stdint.h>

#include <groupdb/fields.h>

#ifdef __cplusplus
extern "C" {
#endif

#define GROUPDB_MAX_RECORD 2115 /* the longest record: CHANNELS */

typedef struct GroupDbRecord {
  uint32_t Table;                 /* table number, DBT_* */
  char Data[GROUPDB_MAX_RECORD];  /* the record, then unused bytes */
} GroupDbRecord;

/* Engine codes (record operations; left in `out` and IsamGetError()). */
#define GDB_E_NOT_FOUND 1   /* key not found; reference missing */
#define GDB_E_NO_CURRENT 2  /* update, rewrite or delete without a current record */
#define GDB_E_END 3         /* no next key or record */
#define GDB_E_BEGIN 4       /* no previous key */
#define GDB_E_DUPLICATE 5   /* duplicate key on a unique index */
#define GDB_E_NO_MEMORY 6
#define GDB_E_CORRUPT 7     /* a file failed a check; an index was left in use */
#define GDB_E_IO 8          /* read, write, seek, sync or open failed */
#define GDB_E_LOCKED 9      /* the database is in use by another process */
#define GDB_E_BAD_RECORD 10 /* a record that cannot be stored (begins 0xFFFFFFFF) */

/* Reasons of open, syncpoint, backup, restore and re-indexing. */
#define GDB_RC_OK 0
#define GDB_RC_NO_GROUP 2085    /* group or backup directory does not exist */
#define GDB_RC_CORRUPTED 2101   /* a table is damaged (index in use, bad file) */
#define GDB_RC_IO_ERROR 2102    /* an I/O or permission error: nothing was changed */
#define GDB_RC_IN_USE 2201      /* the lock is held by another process */
#define GDB_RC_FAILED 4018      /* a copy failed; or no install directory at open */

/* Read ops of DbReadRecord. */
#define GDB_READ_KEY 0       /* find by the buffer's index-1 key */
#define GDB_READ_FIRST 1
#define GDB_READ_NEXT 2
#define GDB_READ_PREV 3
#define GDB_READ_LAST 4
#define GDB_READ_SECONDARY 5 /* find by DbBuildSecondaryKey on the index it names */
#define GDB_READ_SECONDARY_NEXT 6

/* Write modes of DbWriteRecord. */
#define GDB_WRITE_ADD 0
#define GDB_WRITE_UPDATE 1  /* the current record, re-keyed */
#define GDB_WRITE_REWRITE 2 /* the current record in place */

/* ---- Where groups live ------------------------------------------------ */

/* Sets the install directory; groups are "<dir>/groups/<group>/". Without
 * a call (or after one with NULL or "") the suite's install directory is
 * used: HRLCOMPACT, else the registry's WorkPath, else the parent of the
 * working directory, else the default (os/install_dir.h). Returns 1. */
int DbSetInstallDir(const char* install_dir);
/* The group directory of the open database (ends with '/'), "" when none. */
const char* DbGetDirectory(void);

/* ---- Open, close, syncpoint ------------------------------------------- */

/* Opens all 22 tables of the group under its lock. A group directory that
 * holds no data files yet is a new group: its empty data and index files
 * and its "backup" and "history" directories are created first.
 * out: 2085 no such group directory (or a bad group name), 2201 in use,
 * 2101 a table is damaged, 2102 an I/O or permission error, 4018 no install
 * directory. */
int DbOpen(const char* group, int* out);
/* Closes every table (everything synced, indexes marked clean) and
 * releases the lock. Returns 1 when everything reached the disk. */
int DbCloseLocked(void);
/* Brings every table that changed to disk: the data files that changed
 * are synced, the changed index pages written (an index that changed stays
 * marked in use, unsynced); the indexes of a table that did not change
 * since the previous syncpoint are synced and marked clean. out 2085 when the group directory is gone,
 * 2102 when a write or sync failed (then no backup is taken until an open
 * or syncpoint succeeds again). */
int DbSyncpoint(const char* group, int* out);
/* The code of the last failed engine operation (0 after a success). */
int IsamGetError(void);

/* ---- Records ----------------------------------------------------------- */

/* Zeroes the field area and blanks every field of the buffer's table. */
void DbClearRecord(GroupDbRecord* buffer);
/* Reads by op (GDB_READ_*); the record read replaces the field area and
 * becomes the table's current record. Unknown op: 0 with out 0. */
int DbReadRecord(GroupDbRecord* buffer, int op, int* out);
/* Writes by mode (GDB_WRITE_*). Unknown mode: 0 with out 0. */
int DbWriteRecord(GroupDbRecord* buffer, int mode, int* out);
/* Finds on index n by a caller's key: up to the index's key length, a
 * shorter key (ended by its NUL) is padded with spaces. */
int DbFindRecord(GroupDbRecord* buffer, int n, const char* key, int* out);
/* Deletes the table's current record. */
int DbDeleteRecord(int table, int* out);
/* The buffer's index-1 key, built from its fields as an add stores them
 * (bytes from a field's first NUL on, and control bytes, as spaces); returns
 * its length (0 for a bad table). The secondary key below is built alike. */
int DbBuildPrimaryKey(const GroupDbRecord* buffer, char* key);
/* The buffer's secondary lookup key; returns the index number it is for
 * (0 for a bad table). key needs room for 244 bytes. */
int DbBuildSecondaryKey(const GroupDbRecord* buffer, char* key);

/* ---- Fields ------------------------------------------------------------ */

const char* DbTableName(int table);      /* NULL when out of range */
int DbRecordLength(int table);           /* 0 when out of range */
const char* DbFieldName(int field_no);   /* NULL when out of range */
int DbFieldWidth(int field_no);          /* 0 when out of range */
char DbFieldKind(int field_no);          /* 'A', 'N', 'Z'; 0 when out of range */
int DbFieldByName(const char* name);     /* 0 when unknown */
int DbFieldOffset(int table, int field_no); /* -1 when the table lacks it */

/* Stores text in a field: at most its width (longer text is cut), control
 * bytes as spaces, padded with spaces, NUL after. 0 when the buffer's
 * table has no such field. */
int DbSetField(GroupDbRecord* buffer, int field_no, const char* value);
/* Stores a number as decimal text. 0 (field unchanged) when the digits do
 * not fit the field's width or the table has no such field. */
int DbSetFieldNumber(GroupDbRecord* buffer, int field_no, long long value);
/* Stores a time in seconds (0 or more, 64-bit) in a field: as decimal text
 * when its digits fit the field's width, else as "#" followed by base-36
 * digits (0-9, A-Z), which lets the group start time (MANAGER_START_TIME,
 * 9 characters) hold today's ten-digit times and any time to the year
 * 91,000 without touching the field's NUL or the next field. 0 (field
 * unchanged) for a negative time or one that fits neither form. */
int DbSetFieldTime(GroupDbRecord* buffer, int field_no, long long seconds);
/* Reads a time written by DbSetFieldTime (or plain decimal text written by
 * anyone); 0 (value unchanged) when the field is blank or holds neither
 * form. */
int DbGetFieldTime(const GroupDbRecord* buffer, int field_no, long long* seconds);
/* Copies the field's text (width characters, trailing spaces removed) and a
 * NUL into out, which needs width + 1 bytes. */
int DbGetField(const GroupDbRecord* buffer, int field_no, char* out, int out_size);
/* Reads a field holding decimal text (spaces around it allowed); 0 when
 * the field is blank or not a number. */
int DbGetFieldNumber(const GroupDbRecord* buffer, int field_no, long long* value);

/* ---- Backup, restore, re-indexing, recovery --------------------------- */

/* Messages of the database go through these hooks (default: stdout).
 * report: the group manager's error report (text, severity 0 information,
 * 1 warning, 2 error; show). print: progress lines of backup and
 * re-indexing. */
typedef void (*DbReportFn)(const char* text, int severity, int show);
typedef void (*DbPrintFn)(const char* text);
void DbSetReportHook(DbReportFn fn);
void DbSetPrintHook(DbPrintFn fn);

/* Copies clean files into "backup.new", syncs them, keeps the previous
 * "backup" as "backup.prev" and renames the new one to "backup". An open
 * database is brought to a syncpoint first. out 2085 when there is no
 * backup directory, 2201 in use, 4018 when a copy failed or the files are
 * not clean (the previous backups are then untouched). */
int DbBackup(const char* group, int* out);
/* The copying step of DbBackup for a group directory given by path (ending
 * in '/' or not), with the same checks: 1 when every file was copied and
 * the generations rotated, 0 otherwise (previous backups untouched). */
int DbCopyToBackup(const char* directory);
/* Moves the group's current data and index files into a new directory
 * "aside-<time>" of the group, then copies in the newest sound backup.
 * The database must be closed. out 2085 no backup, 2201 in use, 4018 when
 * no backup is sound or a copy failed (the current files are put back). */
int DbRestore(const char* group, int* out);
/* Rebuilds every index file from its data file (and the free lists of the
 * data files). The database must be closed. out 2085, 2201, 2101 when a
 * data file is damaged (nothing rebuilt then), 2102 on I/O errors. */
int IsamRebuildIndexes(const char* group, int* out);
/* Opens the group as the group manager does at start, recovering when it
 * must: damaged indexes are rebuilt from the current data; only a damaged
 * data file leads to the backup (the damaged files are moved aside first);
 * I/O errors, a missing group and a held lock fail without touching
 * anything. Takes a backup after a successful open. */
int OpenGroupDatabase(const char* group, int* out);
/* The same as OpenGroupDatabase, under the name it had first. */
int DbOpenWithRecovery(const char* group, int* out);

#ifdef __cplusplus
}
#endif

#endif /* GROUPDB_GROUPDB_H_ */
