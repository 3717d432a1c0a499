// Test helper: sends PCF commands to a queue manager's command queue and
// collects the replies, read record by record from their bytes (no server
// code involved).
#ifndef MQSIM_TESTS_PCF_ADMIN_H_
#define MQSIM_TESTS_PCF_ADMIN_H_

#include <mqi/mqi.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "mqsim_fixture.h"

namespace mqsim_test {

// A request body built by hand: MQCFH, then records.
class Request {
 public:
  explicit Request(MQLONG command) : command_(command) {}
  Request& Int(MQLONG id, MQLONG v) {
    Word(MQCFT_INTEGER);
    Word(16);
    Word(id);
    Word(v);
    ++count_;
    return *this;
  }
  Request& Str(MQLONG id, const std::string& s) {
    size_t padded = (s.size() + 3) / 4 * 4;
    Word(MQCFT_STRING);
    Word(static_cast<MQLONG>(20 + padded));
    Word(id);
    Word(0);
    Word(static_cast<MQLONG>(s.size()));
    body_ += s;
    body_.append(padded - s.size(), ' ');
    ++count_;
    return *this;
  }
  Request& IntList(MQLONG id, const std::vector<MQLONG>& v) {
    Word(MQCFT_INTEGER_LIST);
    Word(static_cast<MQLONG>(16 + 4 * v.size()));
    Word(id);
    Word(static_cast<MQLONG>(v.size()));
    for (MQLONG x : v) Word(x);
    ++count_;
    return *this;
  }
  Request& StrList(MQLONG id, const std::vector<std::string>& items, int width) {
    size_t data = items.size() * width;
    size_t padded = (data + 3) / 4 * 4;
    Word(MQCFT_STRING_LIST);
    Word(static_cast<MQLONG>(24 + padded));
    Word(id);
    Word(0);
    Word(static_cast<MQLONG>(items.size()));
    Word(width);
    for (const auto& it : items) {
      std::string f = it;
      f.resize(width, ' ');
      body_ += f;
    }
    body_.append(padded - data, ' ');
    ++count_;
    return *this;
  }
  std::string Bytes(MQLONG type = MQCFT_COMMAND) const {
    MQCFH h{};
    h.Type = type;
    h.StrucLength = MQCFH_STRUC_LENGTH;
    h.Version = MQCFH_VERSION_1;
    h.Command = command_;
    h.MsgSeqNumber = 1;
    h.Control = MQCFC_LAST;
    h.ParameterCount = count_;
    return std::string(reinterpret_cast<const char*>(&h), sizeof h) + body_;
  }

 private:
  void Word(MQLONG v) { body_.append(reinterpret_cast<const char*>(&v), 4); }
  MQLONG command_;
  MQLONG count_ = 0;
  std::string body_;
};

struct Reply {
  MQCFH cfh{};
  MQMD md{};
  std::map<MQLONG, MQLONG> ints;
  std::map<MQLONG, std::string> strs;  // blanks at the end dropped
  std::map<MQLONG, std::vector<MQLONG>> int_lists;
  std::map<MQLONG, std::vector<std::string>> str_lists;
  std::vector<MQLONG> order;  // parameter ids as they came
  bool well_formed = false;
};

inline std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

inline Reply ParseReply(const std::string& data) {
  Reply r;
  if (data.size() < sizeof(MQCFH)) return r;
  std::memcpy(&r.cfh, data.data(), sizeof r.cfh);
  size_t pos = r.cfh.StrucLength;
  auto word = [&](size_t at) {
    MQLONG v;
    std::memcpy(&v, data.data() + at, 4);
    return v;
  };
  for (MQLONG i = 0; i < r.cfh.ParameterCount; ++i) {
    if (pos + 12 > data.size()) return r;
    MQLONG type = word(pos), len = word(pos + 4), id = word(pos + 8);
    if (len < 12 || pos + len > data.size()) return r;
    r.order.push_back(id);
    switch (type) {
      case MQCFT_INTEGER: r.ints[id] = word(pos + 12); break;
      case MQCFT_STRING: r.strs[id] = Trim(data.substr(pos + 20, word(pos + 16))); break;
      case MQCFT_INTEGER_LIST: {
        MQLONG n = word(pos + 12);
        for (MQLONG k = 0; k < n; ++k) r.int_lists[id].push_back(word(pos + 16 + 4 * k));
        break;
      }
      case MQCFT_STRING_LIST: {
        MQLONG n = word(pos + 16), w = word(pos + 20);
        auto& list = r.str_lists[id];
        for (MQLONG k = 0; k < n; ++k) list.push_back(Trim(data.substr(pos + 24 + k * w, w)));
        break;
      }
      default: return r;
    }
    pos += len;
  }
  r.well_formed = pos == data.size();
  return r;
}

// One connection with a reply queue and the command queue open for output.
class Admin {
 public:
  Admin(MqsimTest*, const char* qmgr) {
    MQLONG cc = 0, rc = 0;
    char name[48] = {0};
    mqsim::SetField(name, sizeof name, qmgr);
    MQCONN(name, &h_, &cc, &rc);
    EXPECT_EQ(cc, MQCC_OK) << "MQCONN " << qmgr << " reason " << rc;
    MQOD od{};
    EXPECT_EQ(Open(h_, "SYSTEM.DEFAULT.MODEL.QUEUE", MQOO_INPUT_EXCLUSIVE, &reply_q_, "", &od), 0);
    reply_name_ = std::string(od.ObjectName, strnlen(od.ObjectName, 48));
    EXPECT_EQ(Open(h_, "SYSTEM.ADMIN.COMMAND.QUEUE", MQOO_OUTPUT | MQOO_INQUIRE, &cmd_q_), 0);
  }
  ~Admin() {
    MQLONG cc = 0, rc = 0;
    MQDISC(&h_, &cc, &rc);
  }

  // Puts the request; MsgId of the put in *msg_id.
  MQMD Put(const std::string& body, MQLONG report = MQRO_PASS_MSG_ID | MQRO_PASS_CORREL_ID,
           const char* format = MQFMT_ADMIN, MQLONG expiry = MQEI_UNLIMITED) {
    MQMD md = Md();
    md.MsgType = MQMT_REQUEST;
    md.Report = report;
    md.Expiry = expiry;
    md.Persistence = MQPER_NOT_PERSISTENT;
    std::memcpy(md.Format, format, 8);
    mqsim::SetField(md.ReplyToQ, 48, reply_name_.c_str());
    std::memcpy(md.CorrelId, "CORRELATION-ID-OF-TEST..", 24);
    EXPECT_EQ(mqsim_test::Put(h_, cmd_q_, body, &md, MQPMO_NO_SYNCPOINT | MQPMO_NEW_MSG_ID), 0);
    return md;
  }

  // Replies up to the one with MQCFC_LAST, or none when wait_ms passes first.
  std::vector<Reply> Collect(MQLONG wait_ms = 10000) {
    std::vector<Reply> out;
    for (;;) {
      Got g = Get(h_, reply_q_, MQGMO_NO_SYNCPOINT | MQGMO_WAIT, wait_ms, 4 * 1024 * 1024);
      if (g.cc == MQCC_FAILED) return out;
      Reply r = ParseReply(g.data);
      r.md = g.md;
      out.push_back(r);
      if (r.cfh.Control == MQCFC_LAST) return out;
    }
  }

  std::vector<Reply> Send(const Request& req) {
    Put(req.Bytes());
    return Collect();
  }

  MQLONG CommandQueueInputCount() {
    MQLONG sel = MQIA_OPEN_INPUT_COUNT, v = -1, cc = 0, rc = 0;
    MQINQ(h_, cmd_q_, 1, &sel, 1, &v, 0, nullptr, &cc, &rc);
    return v;
  }

  MQHCONN h_ = MQHC_UNUSABLE_HCONN;
  MQHOBJ reply_q_ = 0, cmd_q_ = 0;
  std::string reply_name_;
};

}  // namespace mqsim_test

#endif  // MQSIM_TESTS_PCF_ADMIN_H_
