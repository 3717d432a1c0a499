// Helpers shared by the MQSC conversion tests: building PCF commands,
// reading PCF bodies back with a walker of the tests' own, and running the
// two conversions.

#ifndef PCFCORE_TESTS_MQSC_TEST_UTIL_H_
#define PCFCORE_TESTS_MQSC_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "pcfcore/mqsc.h"
#include "pcfcore/pcf_message.h"
#include "pcfcore/pcf_records.h"

namespace mqsctest {

inline MQLONG Word(const unsigned char* p, size_t i) {
  MQLONG v;
  std::memcpy(&v, p + 4 * i, 4);
  return v;
}

// A PCF message owned by the test.
class Pcf {
 public:
  Pcf(MQLONG command, MQLONG type = MQCFT_COMMAND, MQLONG size = 4096)
      : m_(CreatePcfMessage(command, type, size)) {}
  ~Pcf() { DeletePcfMessage(m_); }
  Pcf(const Pcf&) = delete;
  Pcf& operator=(const Pcf&) = delete;
  mqPcfMessage* get() const { return m_; }

  Pcf& Int(MQLONG id, MQLONG value) {
    Message r{};
    EXPECT_EQ(CreatePcfIntAttr(&r, id, value), 1);
    Add(&r);
    return *this;
  }
  // Strings are blank-padded to width, as queue managers send them.
  Pcf& Str(MQLONG id, const std::string& text, size_t width = 0) {
    std::string padded = text;
    if (padded.size() < width) padded.resize(width, ' ');
    Message r{};
    EXPECT_EQ(CreatePcfNZStrAttr(&r, id, padded.data(),
                                 static_cast<MQLONG>(padded.size())),
              1);
    Add(&r);
    return *this;
  }
  Pcf& IntList(MQLONG id, std::initializer_list<MQLONG> values) {
    Message r{};
    EXPECT_EQ(CreatePcfIntListAttr(&r, id, static_cast<MQLONG>(values.size())), 1);
    MQLONG i = 0;
    for (MQLONG v : values) EXPECT_EQ(SetPcfIntListAttrValue(&r, i++, v), 1);
    Add(&r);
    return *this;
  }
  Pcf& StrList(MQLONG id, std::initializer_list<std::string> items,
               MQLONG width) {
    Message r{};
    EXPECT_EQ(CreatePcfStrListAttr(&r, id, static_cast<MQLONG>(items.size()),
                                   width),
              1);
    MQLONG i = 0;
    for (const std::string& s : items)
      EXPECT_EQ(SetPcfStrListAttrValue(&r, i++, s.c_str()), 1);
    Add(&r);
    return *this;
  }
  // A record of any type, written by hand (for types the builders refuse).
  Pcf& Raw(std::initializer_list<MQLONG> words) {
    Message r{};
    EXPECT_EQ(CreateMessage(&r, static_cast<MQLONG>(4 * words.size())), 1);
    size_t i = 0;
    for (MQLONG w : words) std::memcpy(r.Payload + 4 * i++, &w, 4);
    r.UsedLength = 136 + static_cast<MQLONG>(4 * words.size());
    Add(&r);
    return *this;
  }
  Pcf& Build(const char* name, MQLONG value) {
    EXPECT_EQ(BuildPcfCmd(m_, name, value), 1);
    return *this;
  }

 private:
  void Add(Message* r) {
    EXPECT_EQ(AppendAttr(m_, r), 1);
    DeleteMessage(r);
    RawToPcf(m_);
  }
  mqPcfMessage* m_;
};

// A text message with storage for the conversion's output or a reply.
class Text {
 public:
  explicit Text(MQLONG room = 8192) { EXPECT_EQ(CreateMessage(&m_, room), 1); }
  explicit Text(const std::string& reply) {
    EXPECT_EQ(CreateMessage(&m_, static_cast<MQLONG>(reply.size()) + 1), 1);
    if (!reply.empty()) std::memcpy(m_.Payload, reply.data(), reply.size());
    m_.UsedLength = 136 + static_cast<MQLONG>(reply.size());
  }
  ~Text() { DeleteMessage(&m_); }
  Message* get() { return &m_; }
  std::string str() const {
    return std::string(reinterpret_cast<const char*>(m_.Payload),
                       static_cast<size_t>(m_.UsedLength - 136));
  }

 private:
  Message m_{};
};

struct Mqsc {
  MQLONG result = 0, comp_code = -9, reason = -9, extra = -9;
  std::string text;
};

inline Mqsc ToMqsc(const Pcf& pcf, MQLONG line_breaks = 0,
                   MQLONG room = 8192) {
  Text t(room);
  Mqsc r;
  r.result = tlxPcf2Mqsc(pcf.get(), t.get(), line_breaks, &r.comp_code,
                         &r.reason, &r.extra);
  EXPECT_EQ(std::memcmp(t.get()->Md.Format, "MQSTR   ", 8), 0);
  if (r.comp_code == 0) r.text = t.str();
  return r;
}

// One parameter record as the tests see it.
struct Param {
  MQLONG type = 0;
  MQLONG id = 0;
  MQLONG value = 0;                // integers
  std::string text;                // strings, exactly StringLength bytes
  std::vector<std::string> items;  // string lists, each StringLength bytes
  bool operator==(const Param& o) const {
    return type == o.type && id == o.id && value == o.value &&
           text == o.text && items == o.items;
  }
};

inline Param I(MQLONG id, MQLONG value) { return {MQCFT_INTEGER, id, value, {}, {}}; }
inline Param S(MQLONG id, std::string text) { return {MQCFT_STRING, id, 0, std::move(text), {}}; }
inline Param L(MQLONG id, std::vector<std::string> items) {
  return {MQCFT_STRING_LIST, id, 0, {}, std::move(items)};
}

inline std::ostream& operator<<(std::ostream& os, const Param& p) {
  os << "{type " << p.type << " id " << p.id;
  if (p.type == MQCFT_INTEGER) os << " value " << p.value;
  if (p.type == MQCFT_STRING) os << " '" << p.text << "'";
  for (const std::string& s : p.items) os << " '" << s << "'";
  return os << "}";
}

// Reads a PCF body with the tests' own walker; checks the layout of every
// record on the way: StrucLength exactly 20 + StringLength rounded up to 4
// for strings (24 + Count * StringLength for lists) and zero padding.
inline std::vector<Param> Params(const mqPcfMessage* m) {
  std::vector<Param> out;
  const unsigned char* b = m->Body.Payload;
  MQLONG length = m->Body.UsedLength - 136;
  EXPECT_GE(length, 36);
  MQLONG count = Word(b, 8);
  MQLONG at = 36;
  for (MQLONG i = 0; i < count; ++i) {
    EXPECT_LE(at + 8, length);
    if (at + 8 > length) break;
    const unsigned char* p = b + at;
    Param q;
    q.type = Word(p, 0);
    MQLONG len = Word(p, 1);
    q.id = Word(p, 2);
    if (q.type == MQCFT_INTEGER) {
      EXPECT_EQ(len, 16);
      q.value = Word(p, 3);
    } else if (q.type == MQCFT_STRING) {
      MQLONG n = Word(p, 4);
      EXPECT_EQ(len, 20 + ((n + 3) / 4) * 4) << "string record length";
      q.text.assign(reinterpret_cast<const char*>(p + 20), n);
      for (MQLONG k = 20 + n; k < len; ++k) EXPECT_EQ(p[k], 0) << "padding";
    } else if (q.type == MQCFT_STRING_LIST) {
      MQLONG n = Word(p, 4), w = Word(p, 5);
      EXPECT_EQ(len, 24 + ((n * w + 3) / 4) * 4) << "list record length";
      for (MQLONG k = 0; k < n; ++k)
        q.items.emplace_back(reinterpret_cast<const char*>(p + 24 + k * w), w);
      for (MQLONG k = 24 + n * w; k < len; ++k) EXPECT_EQ(p[k], 0) << "padding";
    } else if (q.type == MQCFT_INTEGER_LIST) {
      MQLONG n = Word(p, 3);
      for (MQLONG k = 0; k < n; ++k) q.items.push_back(std::to_string(Word(p, 4 + k)));
    }
    out.push_back(q);
    at += len;
  }
  return out;
}

struct Reply {
  int ok = -1;
  MQLONG comp_code = -9, reason = -9, extra = -9;
};

// Converts reply text for command into pcf (created by the caller).
inline Reply FromMqsc(const std::string& reply, mqPcfMessage* pcf,
                      MQLONG state = 0) {
  Text t(reply);
  Reply r;
  r.extra = state;
  r.ok = tlxMqsc2Pcf(t.get(), pcf, &r.comp_code, &r.reason, &r.extra);
  return r;
}

}  // namespace mqsctest

#endif  // PCFCORE_TESTS_MQSC_TEST_UTIL_H_
