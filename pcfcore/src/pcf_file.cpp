// Serialised PCF files: the body alone, written atomically, read back and
// indexed.

#include "pcfcore/pcf_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "os/files.h"
#include "pcfcore/ini.h"

namespace {

// Closes a FILE* on every way out of a scope.
class FileCloser {
 public:
  explicit FileCloser(FILE* file) : file_(file) {}
  ~FileCloser() {
    if (file_ != nullptr) std::fclose(file_);
  }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;
  FILE* get() const { return file_; }

 private:
  FILE* file_;
};

}  // namespace

extern "C" {

int SerializePcfMessage(const mqPcfMessage* message, const char* path) {
  if (message == nullptr || path == nullptr || path[0] == '\0' || message->Body.Payload == nullptr) {
    return 0;
  }
  MQLONG length = PCF_BODY_LENGTH(message);
  if (length < 0 || message->Body.UsedLength > message->Body.Capacity) return 0;
  // Written beside the target and renamed over it, so a reader never sees
  // half a file and a failed write leaves the old one. History holds
  // channel and queue definitions: for the owner only.
  std::string_view body(reinterpret_cast<const char*>(PCF_BODY(message)), static_cast<size_t>(length));
  return os::ReplaceFileDurably(path, body, 0600).ok() ? 1 : 0;
}

mqPcfMessage* DeserializePcfMessage(const char* path) {
  if (path == nullptr) return nullptr;
  FileCloser file(std::fopen(path, "rb"));
  if (file.get() == nullptr) return nullptr;
  long size = 0;
  if (!SizeOfFile(file.get(), &size) || size <= 0) return nullptr;
  // The message's length fields are 32-bit: a larger file is no message.
  if (size > INT32_MAX - MESSAGE_HEADER_LENGTH - 2 * MQCFH_STRUC_LENGTH) return nullptr;
  mqPcfMessage* message = CreatePcfMessage(0, MQCFT_COMMAND, static_cast<MQLONG>(size));
  if (message == nullptr) return nullptr;
  // The body has room for size + 36 bytes; a file that grew since it was
  // measured is read only that far.
  size_t room = static_cast<size_t>(message->Body.Capacity - MESSAGE_HEADER_LENGTH);
  size_t read = std::fread(PCF_BODY(message), 1, room, file.get());
  message->Body.UsedLength = static_cast<MQLONG>(MESSAGE_HEADER_LENGTH + read);
  message->Next = nullptr;
  if (!RawToPcf(message)) {
    DeletePcfMessage(message);
    return nullptr;
  }
  return message;
}

}  // extern "C"
