// Fuzzer input read as a script of frames and records (see the header).

#include "testsupport/fuzzed_frames.h"

#include <climits>
#include <cstring>
#include <string>

namespace harrow::testsupport {

const int32_t kFuzzIntegers[32] = {
    0,         1,          -1,       2,         3,        4,     5,      7,
    20,        36,         48,       255,       256,      1000,  4096,   5000,
    10000,     32000,      65535,    65536,     300000,   300001, 1000000, 1 << 24,
    INT_MAX,   INT_MIN,    INT_MAX - 1, INT_MIN + 1, -2, -36,  -4096,  0x7FFF0000};
const int32_t kFuzzWaits[8] = {5000, 0, -1, 1, INT_MAX, INT_MIN, 300001, 1000};
const char* const kFuzzUsers[8] = {"mallory", "", " ", "ADMIN", "ABCDEFGHIJKL", "*", "mqm", "\xff\xfe"};
// Types that index (3, 4, 5, 6, 998, 999, an MQCFH's 1) and two that
// never do (9 byte string, 23 64-bit integer).
const int32_t kFuzzRawTypes[8] = {3, 4, 5, 6, 998, 999, 1, 9};

namespace {

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool AtEnd() const { return at_ >= size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  int32_t Word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(Byte()) << (8 * i);
    return static_cast<int32_t>(value);
  }
  // n bytes of the input (fewer when it ends; the rest stays unset).
  std::string Text(size_t n) {
    size_t take = std::min(n, size_ - std::min(at_, size_));
    std::string text(reinterpret_cast<const char*>(data_ + at_), take);
    at_ += take;
    return text;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Builds one body: MQCFH, then records.
class BodyBuilder {
 public:
  explicit BodyBuilder(const PcfVocabulary& vocabulary) : vocabulary_(vocabulary) {}

  int32_t Integer(Reader& in, bool from_table) {
    return from_table ? kFuzzIntegers[in.Byte() % 32] : in.Word();
  }
  int32_t Id(Reader& in, bool raw) {
    if (raw || vocabulary_.parameters.empty()) return in.Word();
    return vocabulary_.parameters[in.Byte() % vocabulary_.parameters.size()];
  }
  // The text of a string record and the StringLength it declares.
  std::string String(Reader& in, int mode, int32_t* declared) {
    std::string text;
    if (mode == 0 || mode == 3) {
      text = in.Text(in.Byte());
    } else if (mode == 1) {
      size_t n = static_cast<size_t>(in.Byte()) | static_cast<size_t>(in.Byte()) << 8;
      text = in.Text(std::min(n, kMaxFuzzedString));
    } else {
      size_t n = static_cast<size_t>(in.Byte()) * 64;
      text.assign(n, static_cast<char>(in.Byte()));
    }
    *declared = mode == 3 ? kFuzzIntegers[in.Byte() % 32] : static_cast<int32_t>(text.size());
    return text;
  }

  // One string-shaped record (MQCFST, 998, 999).
  void StringRecord(Bytes* body, int32_t type, int32_t id, const std::string& text,
                    int32_t declared, char pad) {
    const size_t at = body->size();
    const size_t padded = (text.size() + 3) / 4 * 4;
    const int32_t words[] = {type, static_cast<int32_t>(20 + padded), id, 0, declared};
    for (size_t i = 0; i < 5; ++i) PutWord(body, at + i * 4, words[i]);
    body->resize(at + 20 + padded, static_cast<unsigned char>(pad));
    std::memcpy(body->data() + at + 20, text.data(), text.size());
  }

  // Appends the record of op; false when the frame ends here.
  bool Record(Reader& in, uint8_t op, Bytes* body) {
    const int kind = op & 7;
    if (kind == 7) return false;
    const bool table = (op & 0x08) != 0;
    const int32_t id = Id(in, (op & 0x10) != 0);
    const int length_mode = (op >> 5) & 3;
    const char pad = (op & 0x80) != 0 ? '\0' : ' ';
    const size_t at = body->size();
    switch (kind) {
      case 0:
        for (int32_t word : {3, 16, id, Integer(in, table)}) PutWord(body, body->size(), word);
        break;
      case 1:
      case 4:
      case 5: {
        int32_t declared = 0;
        std::string text = String(in, length_mode, &declared);
        StringRecord(body, kind == 1 ? 4 : kind == 4 ? 999 : 998, id, text, declared, pad);
        break;
      }
      case 2: {
        const int32_t count = in.Byte() % 65;
        for (int32_t word : {5, 16 + 4 * count, id, count}) PutWord(body, body->size(), word);
        for (int32_t i = 0; i < count; ++i) PutWord(body, body->size(), Integer(in, table));
        break;
      }
      case 3: {
        const int32_t count = in.Byte() % 65;
        const size_t length = in.Byte();
        const size_t strings = static_cast<size_t>(count) * length;
        const size_t padded = (strings + 3) / 4 * 4;
        const int32_t words[] = {6, static_cast<int32_t>(24 + padded), id, 0, count,
                                 static_cast<int32_t>(length)};
        for (int32_t word : words) PutWord(body, body->size(), word);
        std::string text = in.Text(strings);
        body->resize(at + 24 + padded, static_cast<unsigned char>(pad));
        std::memcpy(body->data() + at + 24, text.data(), text.size());
        break;
      }
      case 6: {
        const int32_t type = kFuzzRawTypes[in.Byte() % 8];
        const int32_t struc_length = Integer(in, table);
        std::string rest = in.Text(in.Byte());
        for (int32_t word : {type, struc_length, id}) PutWord(body, body->size(), word);
        body->insert(body->end(), rest.begin(), rest.end());
        break;
      }
    }
    if (body->size() > kMaxFuzzedBody) {
      body->resize(at);
      return false;
    }
    return true;
  }

  FuzzedFrame Frame(Reader& in) {
    const uint8_t flags = in.Byte();
    const int32_t types[] = {1, 1, 2, 7};
    const int32_t type = types[flags & 3];
    const int32_t reply_tag = (flags & 0x04) != 0 ? 0 : 1;
    const int32_t delta = (flags & 0x08) != 0 ? static_cast<int8_t>(in.Byte()) : 0;
    int32_t command = 0;
    if ((flags & 0x10) != 0 || vocabulary_.commands.empty()) {
      command = in.Word();
    } else {
      command = vocabulary_.commands[in.Byte() % vocabulary_.commands.size()];
    }
    const int32_t control = (flags & 0x20) != 0 ? 0 : 1;
    const uint8_t head = in.Byte();
    const uint8_t id_small = (head >> 6) == 1 ? in.Byte() : 0;

    Bytes body;
    int32_t count = 0;
    for (size_t i = 0; i < kMaxFuzzedRecords && !in.AtEnd(); ++i) {
      const uint8_t op = in.Byte();
      if (op == 0xFF || !Record(in, op, &body)) break;
      ++count;
    }
    Bytes header;
    const int32_t words[] = {type, 36, 1, command, 1, control, 0, 0, count + delta};
    for (size_t i = 0; i < 9; ++i) PutWord(&header, i * 4, words[i]);
    body.insert(body.begin(), header.begin(), header.end());

    FuzzedFrame out;
    out.target = flags >> 6;
    out.body = body;
    out.frame = PlainFrame(body, std::nullopt, reply_tag);
    PutWord(&out.frame, 68, kFuzzWaits[head & 7]);
    std::memset(out.frame.data() + 72, 0, 12);
    const char* user = kFuzzUsers[(head >> 3) & 7];
    std::memcpy(out.frame.data() + 72, user, std::min<size_t>(std::strlen(user), 12));
    std::memset(out.frame.data() + 16, 0, 24);
    switch (head >> 6) {
      case 0: std::memcpy(out.frame.data() + 16, "FUZZREQ", 7); break;
      case 1: PutWord(&out.frame, 16, id_small); break;
      case 2: std::memset(out.frame.data() + 16, 0xFF, 24); break;
      default: break;
    }
    return out;
  }

 private:
  const PcfVocabulary& vocabulary_;
};

}  // namespace

std::vector<FuzzedFrame> FramesFromFuzzInput(const uint8_t* data, size_t size,
                                             const PcfVocabulary& vocabulary,
                                             size_t max_frames) {
  Reader in(data, size);
  BodyBuilder builder(vocabulary);
  std::vector<FuzzedFrame> frames;
  while (!in.AtEnd() && frames.size() < max_frames) frames.push_back(builder.Frame(in));
  return frames;
}

bool TakeWholeFrameBodies(Bytes* stream, std::vector<Bytes>* bodies) {
  size_t at = 0;
  bool sound = true;
  while (stream->size() - at >= static_cast<size_t>(kMessageHeaderBytes)) {
    const int32_t length = WordAt(*stream, at + 64);
    if (length < 36 || length > (1 << 26)) {
      sound = false;
      break;
    }
    const size_t begin = at + kMessageHeaderBytes;
    if (stream->size() - begin < static_cast<size_t>(length)) break;
    bodies->emplace_back(stream->begin() + static_cast<ptrdiff_t>(begin),
                         stream->begin() + static_cast<ptrdiff_t>(begin + static_cast<size_t>(length)));
    at = begin + static_cast<size_t>(length);
  }
  stream->erase(stream->begin(), stream->begin() + static_cast<ptrdiff_t>(at));
  return sound;
}

}  // namespace harrow::testsupport
