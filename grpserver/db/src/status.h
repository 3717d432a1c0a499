// status.h: the engine's result of an operation: one of the database's
// error codes (0 = success) with a message naming the call, the file and
// the errno text. Codes are the stored/returned values of
// include/groupdb/groupdb.h (GDB_E_*); never renumber them.
#ifndef GROUPDB_STATUS_H_
#define GROUPDB_STATUS_H_

#include <string>
#include <utility>

namespace groupdb {

enum ErrorCode : int {
  kOk = 0,
  kNotFound = 1,      // key not found; in a sequential pass: record deleted
  kNoCurrent = 2,     // the table has no current record
  kEnd = 3,           // no next key or record
  kBegin = 4,         // no previous key
  kDuplicate = 5,     // duplicate key on a unique index
  kNoMemory = 6,      // out of memory
  kCorrupt = 7,       // a file failed a check, or an index was left in use
  kIoError = 8,       // short read or write, failed seek, sync or open
  kLocked = 9,        // the lock could not be taken: database in use
  kBadRecord = 10,    // a record that cannot be stored (begins with 0xFFFFFFFF)
};

class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(int code, std::string message) : code_(code), message_(std::move(message)) {}
  static Status Ok() { return Status(); }
  // "<call> <path>: <strerror(err)>"
  static Status Io(const char* call, const std::string& path, int err);
  static Status Corrupt(const std::string& path, const std::string& what);

  bool ok() const { return code_ == kOk; }
  int code() const { return code_; }
  const std::string& message() const { return message_; }
  // The errno behind an I/O failure, 0 when there is none.
  int os_error() const { return os_error_; }

 private:
  int code_ = kOk;
  std::string message_;
  int os_error_ = 0;
};

}  // namespace groupdb

#endif  // GROUPDB_STATUS_H_
