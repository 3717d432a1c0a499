// The durable state of one queue manager: a checkpoint file (every queue
// definition and committed persistent message at one moment) and a journal
// of changes since then, appended in batches and synced before any reply
// that depends on them leaves the server.
//
// Files (docs/formats/mqsim-data.md): <data_dir>/checkpoint and
// <data_dir>/journal, each "MQSIMCK1"/"MQSIMJR1", a u64 generation, then
// batches: u32 body length, u32 CRC-32 of the body, body = u32 record
// count and the records. A journal whose generation differs from the
// checkpoint's is already folded into the checkpoint and is ignored.
// A batch that is short or fails its CRC ends the journal: it was being
// written when the server died, and nothing in it was acknowledged.
#ifndef MQSIM_SERVER_JOURNAL_H_
#define MQSIM_SERVER_JOURNAL_H_

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "common/protocol.h"

namespace mqsim::server {

struct JournalRecord {
  // Values are stored on disk: never renumber.
  enum Type : uint8_t {
    kDefineQueue = 1,
    kDeleteQueue = 2,
    kPutMessage = 3,
    kRemoveMessage = 4,
    kBackoutCount = 5,
    kDefineObject = 6,  // a process, namelist, channel or the queue manager's attributes
    kDeleteObject = 7,
    kChannelSync = 8,  // a cluster channel's sequence number
    kEnd = 9,  // last record of a checkpoint
  };
  Type type = kEnd;
  MQLONG object_type = 0;   // kDefineObject, kDeleteObject: an MQOT_ value
  std::vector<Attr> attrs;  // kDefineQueue, kDefineObject
  std::string queue;        // kDeleteObject (its name), kDeleteQueue, kPutMessage, kRemoveMessage, kBackoutCount,
                            // kChannelSync (its key)
  uint64_t seq = 0;         // kPutMessage, kRemoveMessage, kBackoutCount, kChannelSync (the number)
  MQLONG priority = 0;      // kRemoveMessage, kBackoutCount: the message's place in its queue
  MQLONG backout_count = 0; // kBackoutCount
  MQMD md{};                // kPutMessage
  std::string data;         // kPutMessage
};

uint32_t Crc32(const uint8_t* data, size_t n);
void EncodeRecord(Writer& w, const JournalRecord& r);
bool DecodeRecord(Reader& r, JournalRecord* out);
// Parses batches from `in`; calls apply for each record of each good batch.
// Returns the number of bytes of good batches.
size_t ParseBatches(std::span<const uint8_t> in, const std::function<void(const JournalRecord&)>& apply);

class Journal {
 public:
  Journal() = default;
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Reads checkpoint and journal of dir, calling apply in order. A missing
  // checkpoint is an empty state. False with *error when the checkpoint is
  // damaged or a file cannot be read; *note tells of a torn journal tail.
  bool Load(const std::string& dir, const std::function<void(const JournalRecord&)>& apply,
            std::string* error, std::string* note);
  // Replaces the checkpoint with `records` (a new generation) and starts an
  // empty journal. False with *error on any file failure.
  bool WriteCheckpoint(const std::vector<JournalRecord>& records, std::string* error);
  // Queues one batch; it reaches the disk with the next Sync.
  void Append(const std::vector<JournalRecord>& batch);
  bool HasPending() const { return !pending_.empty(); }
  // Bytes of batches queued since the journal was opened: grows with every
  // Append, so a caller can tell whether a request added anything.
  uint64_t appended_bytes() const { return appended_bytes_; }
  // Writes the queued batches and fdatasyncs. False with *error on failure.
  bool Sync(std::string* error);
  uint64_t journal_bytes() const { return journal_bytes_; }

 private:
  std::string dir_;
  int fd_ = -1;
  uint64_t generation_ = 0;
  uint64_t journal_bytes_ = 0;
  uint64_t appended_bytes_ = 0;
  std::vector<uint8_t> pending_;
};

}  // namespace mqsim::server

#endif  // MQSIM_SERVER_JOURNAL_H_
