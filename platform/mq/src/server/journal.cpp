#include "journal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "common/install.h"
#include "os/fault_injection.h"
#include "os/files.h"

namespace mqsim::server {

namespace {

constexpr char kCheckpointMagic[8] = {'M', 'Q', 'S', 'I', 'M', 'C', 'K', '1'};
constexpr char kJournalMagic[8] = {'M', 'Q', 'S', 'I', 'M', 'J', 'R', '1'};
constexpr size_t kFileHeaderBytes = 16;
constexpr uint32_t kMaxBatchBytes = 64u * 1024 * 1024;
constexpr uint32_t kMaxRecordsPerBatch = 1u << 20;

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

void AppendBatch(std::vector<uint8_t>& out, const std::vector<JournalRecord>& batch) {
  Writer body;
  body.U32(static_cast<uint32_t>(batch.size()));
  for (const auto& r : batch) EncodeRecord(body, r);
  Writer head;
  head.U32(static_cast<uint32_t>(body.size()));
  head.U32(Crc32(body.buffer().data(), body.size()));
  out.insert(out.end(), head.buffer().begin(), head.buffer().end());
  out.insert(out.end(), body.buffer().begin(), body.buffer().end());
}

std::vector<uint8_t> FileHeader(const char* magic, uint64_t generation) {
  Writer w;
  w.Raw(magic, 8);
  w.U64(generation);
  return std::move(w.buffer());
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t n) {
  static uint32_t table[256];
  static bool ready = [] {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    return true;
  }();
  (void)ready;
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void EncodeRecord(Writer& w, const JournalRecord& r) {
  uint8_t t = r.type;
  w.Raw(&t, 1);
  switch (r.type) {
    case JournalRecord::kDefineQueue:
      EncodeAttrs(w, r.attrs);
      break;
    case JournalRecord::kDeleteQueue:
      w.Bytes(r.queue);
      break;
    case JournalRecord::kDefineObject:
      w.I32(r.object_type);
      EncodeAttrs(w, r.attrs);
      break;
    case JournalRecord::kDeleteObject:
      w.I32(r.object_type);
      w.Bytes(r.queue);
      break;
    case JournalRecord::kPutMessage:
      w.Bytes(r.queue);
      w.U64(r.seq);
      w.Raw(&r.md, sizeof r.md);
      w.Bytes(r.data);
      break;
    case JournalRecord::kRemoveMessage:
      w.Bytes(r.queue);
      w.U64(r.seq);
      w.I32(r.priority);
      break;
    case JournalRecord::kBackoutCount:
      w.Bytes(r.queue);
      w.U64(r.seq);
      w.I32(r.priority);
      w.I32(r.backout_count);
      break;
    case JournalRecord::kChannelSync:
      w.Bytes(r.queue);
      w.U64(r.seq);
      break;
    case JournalRecord::kEnd:
      break;
  }
}

bool DecodeRecord(Reader& r, JournalRecord* out) {
  uint8_t t = 0;
  if (!r.Raw(&t, 1)) return false;
  out->type = static_cast<JournalRecord::Type>(t);
  switch (t) {
    case JournalRecord::kDefineQueue:
      return DecodeAttrs(r, &out->attrs);
    case JournalRecord::kDeleteQueue:
      return r.Bytes(&out->queue, 48);
    case JournalRecord::kDefineObject:
      r.I32(&out->object_type);
      return DecodeAttrs(r, &out->attrs);
    case JournalRecord::kDeleteObject:
      r.I32(&out->object_type);
      return r.Bytes(&out->queue, 48);
    case JournalRecord::kPutMessage:
      r.Bytes(&out->queue, 48);
      r.U64(&out->seq);
      r.Raw(&out->md, sizeof out->md);
      return r.Bytes(&out->data, kMaxMsgLength);
    case JournalRecord::kRemoveMessage:
      r.Bytes(&out->queue, 48);
      r.U64(&out->seq);
      return r.I32(&out->priority);
    case JournalRecord::kBackoutCount:
      r.Bytes(&out->queue, 48);
      r.U64(&out->seq);
      r.I32(&out->priority);
      return r.I32(&out->backout_count);
    case JournalRecord::kChannelSync:
      r.Bytes(&out->queue, 128);
      return r.U64(&out->seq);
    case JournalRecord::kEnd:
      return true;
    default:
      return false;
  }
}

size_t ParseBatches(std::span<const uint8_t> in,
                    const std::function<void(const JournalRecord&)>& apply) {
  size_t pos = 0;
  while (in.size() - pos >= 8) {
    uint32_t len = 0, crc = 0;
    std::memcpy(&len, in.data() + pos, 4);
    std::memcpy(&crc, in.data() + pos + 4, 4);
    if (len > kMaxBatchBytes || len > in.size() - pos - 8) break;
    std::span<const uint8_t> body = in.subspan(pos + 8, len);
    if (Crc32(body.data(), body.size()) != crc) break;
    // Decode the whole batch before applying any of it: a batch is atomic.
    Reader r(body);
    uint32_t count = 0;
    if (!r.U32(&count) || count > kMaxRecordsPerBatch) break;
    std::vector<JournalRecord> records;
    bool good = true;
    for (uint32_t i = 0; i < count; ++i) {
      JournalRecord rec;
      if (!DecodeRecord(r, &rec)) {
        good = false;
        break;
      }
      records.push_back(std::move(rec));
    }
    if (!good || !r.AtEnd()) break;
    for (const auto& rec : records) apply(rec);
    pos += 8 + len;
  }
  return pos;
}

Journal::~Journal() {
  if (fd_ >= 0) ::close(fd_);
}

bool Journal::Load(const std::string& dir, const std::function<void(const JournalRecord&)>& apply,
                   std::string* error, std::string* note) {
  dir_ = dir;
  std::string ck;
  generation_ = 0;
  if (ReadFile(dir + "/checkpoint", &ck)) {
    auto bytes = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(ck.data()), ck.size());
    if (ck.size() < kFileHeaderBytes || std::memcmp(ck.data(), kCheckpointMagic, 8) != 0) {
      *error = "checkpoint " + dir + "/checkpoint: not a checkpoint file";
      return false;
    }
    std::memcpy(&generation_, ck.data() + 8, 8);
    bool ended = false;
    size_t good = ParseBatches(bytes.subspan(kFileHeaderBytes), [&](const JournalRecord& r) {
      if (r.type == JournalRecord::kEnd)
        ended = true;
      else
        apply(r);
    });
    if (!ended || good != ck.size() - kFileHeaderBytes) {
      *error = "checkpoint " + dir + "/checkpoint: damaged at offset " +
               std::to_string(kFileHeaderBytes + good);
      return false;
    }
  } else if (errno != ENOENT) {
    *error = Errno("read " + dir + "/checkpoint");
    return false;
  }
  const bool have_checkpoint = !ck.empty();
  std::string jr;
  if (ReadFile(dir + "/journal", &jr)) {
    uint64_t gen = 0;
    if (jr.size() >= kFileHeaderBytes && std::memcmp(jr.data(), kJournalMagic, 8) == 0) {
      std::memcpy(&gen, jr.data() + 8, 8);
      // A journal of an older generation was folded into the checkpoint
      // before the server died. One that no checkpoint matches (none, or
      // an older one put back) holds changes that nothing else has: the
      // queue manager must not start without them, nor overwrite them.
      bool has_records = jr.size() > kFileHeaderBytes;
      if (has_records && (!have_checkpoint || gen > generation_)) {
        *error = "journal " + dir + "/journal holds changes of generation " + std::to_string(gen) + " but " +
                 (have_checkpoint ? "the checkpoint is of generation " + std::to_string(generation_)
                                  : dir + "/checkpoint is missing") +
                 "; nothing was changed: put back the checkpoint that belongs to this journal";
        return false;
      }
      if (gen == generation_) {
        auto bytes = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(jr.data()), jr.size());
        size_t good = ParseBatches(bytes.subspan(kFileHeaderBytes), apply);
        size_t dropped = jr.size() - kFileHeaderBytes - good;
        if (dropped > 0)
          *note = "journal " + dir + "/journal: " + std::to_string(dropped) +
                  " bytes of an unfinished batch dropped at offset " +
                  std::to_string(kFileHeaderBytes + good);
      }
    } else if (!jr.empty()) {
      *note = "journal " + dir + "/journal: no journal header; ignored";
    }
  } else if (errno != ENOENT) {
    *error = Errno("read " + dir + "/journal");
    return false;
  }
  return true;
}

bool Journal::WriteCheckpoint(const std::vector<JournalRecord>& records, std::string* error) {
  if (!Sync(error)) return false;
  uint64_t gen = generation_ + 1;
  std::vector<uint8_t> out = FileHeader(kCheckpointMagic, gen);
  // One batch per record keeps each batch small; the end record proves
  // the file complete.
  for (const auto& r : records) AppendBatch(out, {r});
  JournalRecord end;
  AppendBatch(out, {end});
  if (!WriteFileAtomic(dir_ + "/checkpoint",
                       std::string_view(reinterpret_cast<const char*>(out.data()), out.size()))) {
    *error = Errno("write " + dir_ + "/checkpoint");
    return false;
  }
  generation_ = gen;
  std::vector<uint8_t> head = FileHeader(kJournalMagic, gen);
  if (!WriteFileAtomic(dir_ + "/journal",
                       std::string_view(reinterpret_cast<const char*>(head.data()), head.size()))) {
    *error = Errno("write " + dir_ + "/journal");
    return false;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = ::open((dir_ + "/journal").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd_ < 0) {
    *error = Errno("open " + dir_ + "/journal");
    return false;
  }
  journal_bytes_ = head.size();
  return true;
}

void Journal::Append(const std::vector<JournalRecord>& batch) {
  if (batch.empty()) return;
  size_t before = pending_.size();
  AppendBatch(pending_, batch);
  appended_bytes_ += pending_.size() - before;
}

bool Journal::Sync(std::string* error) {
  if (pending_.empty()) return true;
  if (fd_ < 0) {
    *error = "journal " + dir_ + "/journal is not open";
    return false;
  }
  // Fault points for the crash tests (os/fault_injection.h): a "crash" at
  // journal-write dies before the batch is written, at journal-sync after
  // it is written and before it is synced; a "fail" at journal-write fails
  // as a full or broken disk would.
  const std::string path = dir_ + "/journal";
  if (os::FaultPointFails("journal-write", path)) {
    *error = "write " + path + ": " + std::strerror(EIO) + " (injected)";
    return false;
  }
  if (!os::WriteFull(fd_, pending_.data(), pending_.size())) {
    *error = Errno("write " + path);
    return false;
  }
  if (os::FaultPointFails("journal-sync", path)) {
    *error = "fdatasync " + path + ": " + std::strerror(EIO) + " (injected)";
    return false;
  }
  if (::fdatasync(fd_) != 0) {
    *error = Errno("fdatasync " + dir_ + "/journal");
    return false;
  }
  journal_bytes_ += pending_.size();
  pending_.clear();
  return true;
}

}  // namespace mqsim::server
