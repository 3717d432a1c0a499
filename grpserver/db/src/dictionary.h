// dictionary.h: the field dictionary and the table definitions of the group
// database, with the derived facts every layer needs (field offsets, key
// lengths, key building).
//
// All data here is constant and built before main(); any thread may read it.
// The stored layouts are described in docs/formats/group-database.md.
#ifndef GROUPDB_DICTIONARY_H_
#define GROUPDB_DICTIONARY_H_

#include <cstdint>
#include <string_view>

namespace groupdb {

constexpr int kTableCount = 22;
constexpr int kFieldCount = 385;
constexpr int kMaxIndexes = 7;          // index numbers 1..7 per table
constexpr int kMaxRecordLength = 2115;  // CHANNELS
constexpr int kMaxKeyLength = 244;      // CLUSQMGR index 2

struct FieldDef {
  const char* name;
  char kind;  // 'A' text, 'N' and 'Z' numbers held as decimal text
  int width;  // characters; the field takes width + 1 bytes (a NUL ends it)
};

struct IndexDef {
  const int* fields;  // field numbers, in key order
  int field_count;
};

struct TableDef {
  const char* name;
  int number;
  int record_length;
  const int* fields;  // field numbers, in record order
  int field_count;
  int index_count;
  IndexDef indexes[kMaxIndexes];  // indexes[0] is index 1 (unique)
};

// nullptr when out of range.
const FieldDef* FieldByNumber(int field_no);
const TableDef* TableByNumber(int table_no);
const TableDef* TableByName(std::string_view name);
int FieldNumberByName(std::string_view name);  // 0 when unknown

// Byte offset of a field in a record of the table, or -1 when the table has
// no such field.
int FieldOffset(int table_no, int field_no);

// Sum of the widths of the index's key fields; 0 when there is no such index.
int IndexKeyLength(int table_no, int index_no);

// Maximum entries per index page for a key length: 1000 / (k + 4).
inline int KeysPerPage(int key_length) { return 1000 / (key_length + 4); }

// Writes the key of index index_no of a record: the concatenation of exactly
// `width` bytes of each key field (never up to a NUL, so a short field can
// not shift the key). REQUIRES: valid table and index; key has room for
// IndexKeyLength bytes. Returns the key length.
int BuildIndexKey(int table_no, int index_no, const char* record, char* key);
// The same key from a record as a caller may have written it: in each key
// field the bytes from its first NUL on, and control bytes, count as spaces
// (the key an add of that record stores).
int BuildCleanIndexKey(int table_no, int index_no, const char* record, char* key);

}  // namespace groupdb

#endif  // GROUPDB_DICTIONARY_H_
