// Requests and replies between the client library and mqsim, and the
// control requests of mqsimctl: one struct per message, one Encode and one
// Decode each. Decode checks every length against its bounds and returns
// false for a malformed or trailing-garbage payload; it never asserts.
// The byte layout is docs/formats/mqsim-protocol.md.
#ifndef MQSIM_COMMON_PROTOCOL_H_
#define MQSIM_COMMON_PROTOCOL_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "wire.h"

namespace mqsim {

constexpr uint32_t kMaxSelectors = 256;
constexpr uint32_t kMaxCharAttrBytes = 65536;
constexpr uint32_t kMaxAttrs = 256;
constexpr uint32_t kMaxTextBytes = 65536;

// One queue attribute: an MQIA_* integer or an MQCA_* string.
struct Attr {
  MQLONG selector = 0;
  bool is_string = false;
  MQLONG int_value = 0;
  std::string str_value;
};
void EncodeAttrs(Writer& w, const std::vector<Attr>& attrs);
bool DecodeAttrs(Reader& r, std::vector<Attr>* attrs);

struct ObjDesc {
  MQLONG object_type = MQOT_Q;
  std::string name, qmgr, dynamic_name, alternate_user;
};

struct ConnectRequest {
  std::string qmgr, appl_name, user;
  uint32_t pid = 0;
  // The server-connection channel a client names in its MQCD; blank for a
  // connection without one. Optional on the wire (older clients end after
  // the pid).
  std::string channel;
};
struct OpenRequest {
  MQLONG options = 0;
  ObjDesc od;
};
struct CloseRequest {
  MQHOBJ hobj = 0;
  MQLONG options = 0;
};
// PUT and PUT1; PUT1 carries od instead of hobj. The message bytes are
// not copied into the request: decoded, they view the frame; built by a
// caller, they view its storage (see ByteView).
struct PutRequest {
  MQHOBJ hobj = 0;
  ObjDesc od;
  MQLONG options = 0;
  MQHOBJ context = 0;
  MQMD md{};
  ByteView data;
};
struct GetRequest {
  MQHOBJ hobj = 0;
  MQLONG options = 0;
  MQLONG wait_ms = 0;
  MQLONG match_options = 0;
  MQMD md{};
  uint32_t buffer_length = 0;
};
struct InquireRequest {
  MQHOBJ hobj = 0;
  std::vector<MQLONG> selectors;
  uint32_t int_count = 0;
  uint32_t char_length = 0;
};
struct SetRequest {
  MQHOBJ hobj = 0;
  std::vector<MQLONG> selectors;
  std::vector<MQLONG> ints;
  std::string chars;
};

// Every reply starts with the completion code and the reason.
struct ReplyHead {
  MQLONG cc = MQCC_OK;
  MQLONG rc = MQRC_NONE;
};
struct ConnectReply : ReplyHead {
  std::string qmgr;
};
struct OpenReply : ReplyHead {
  MQHOBJ hobj = 0;
  std::string object_name, resolved_q, resolved_qmgr;
};
struct PutReply : ReplyHead {
  MQMD md{};
  std::string resolved_q, resolved_qmgr;
};
struct GetReply : ReplyHead {
  MQMD md{};
  uint32_t data_length = 0;  // full length of the message
  std::string data;          // at most the buffer length
  std::string resolved_q;
};
struct InquireReply : ReplyHead {
  std::vector<MQLONG> ints;
  std::string chars;
};
// Control replies: the head and a line of text.
struct ControlReply : ReplyHead {
  std::string text;
};
struct ControlRequest {
  std::string qmgr;
  std::string name;     // queue name for define/delete
  MQLONG mode = 0;      // stop: 0 quiesce, 1 immediate; define: 1 replace; delete: 1 purge
  MQLONG wait_ms = 0;   // stop: how long a quiesce may take
  std::vector<Attr> attrs;
};
struct QmgrStatus {
  std::string name;
  MQLONG state = 0;  // 0 ended, 1 running, 2 quiescing
  MQLONG port = 0;
  MQLONG connections = 0;
};

// The frame around a payload.
std::vector<uint8_t> Frame(uint32_t op, const Writer& payload);

void Encode(Writer& w, const ConnectRequest& m);
void Encode(Writer& w, const OpenRequest& m);
void Encode(Writer& w, const CloseRequest& m);
void EncodePut(Writer& w, const PutRequest& m, bool put1);
// All of a put but the message bytes, which follow it on the wire: a
// sender writes them from where they are.
void EncodePutHead(Writer& w, const PutRequest& m, bool put1);
void Encode(Writer& w, const GetRequest& m);
void Encode(Writer& w, const InquireRequest& m);
void Encode(Writer& w, const SetRequest& m);
void Encode(Writer& w, const ControlRequest& m);

bool Decode(std::span<const uint8_t> in, ConnectRequest* m);
bool Decode(std::span<const uint8_t> in, OpenRequest* m);
bool Decode(std::span<const uint8_t> in, CloseRequest* m);
bool DecodePut(std::span<const uint8_t> in, PutRequest* m, bool put1);
bool Decode(std::span<const uint8_t> in, GetRequest* m);
bool Decode(std::span<const uint8_t> in, InquireRequest* m);
bool Decode(std::span<const uint8_t> in, SetRequest* m);
bool Decode(std::span<const uint8_t> in, ControlRequest* m);

void Encode(Writer& w, const ReplyHead& m);
void Encode(Writer& w, const ConnectReply& m);
void Encode(Writer& w, const OpenReply& m);
void Encode(Writer& w, const PutReply& m);
void Encode(Writer& w, const GetReply& m);
void Encode(Writer& w, const InquireReply& m);
void Encode(Writer& w, const ControlReply& m);
void EncodeStatus(Writer& w, const ReplyHead& head, const std::vector<QmgrStatus>& list);

bool Decode(std::span<const uint8_t> in, ReplyHead* m);
bool Decode(std::span<const uint8_t> in, ConnectReply* m);
bool Decode(std::span<const uint8_t> in, OpenReply* m);
bool Decode(std::span<const uint8_t> in, PutReply* m);
bool Decode(std::span<const uint8_t> in, GetReply* m);
// The same, leaving the message bytes where they are: *data views them in
// `in` and m->data stays empty.
bool Decode(std::span<const uint8_t> in, GetReply* m, ByteView* data);
bool Decode(std::span<const uint8_t> in, InquireReply* m);
bool Decode(std::span<const uint8_t> in, ControlReply* m);
bool DecodeStatus(std::span<const uint8_t> in, ReplyHead* head, std::vector<QmgrStatus>* list);

}  // namespace mqsim

#endif  // MQSIM_COMMON_PROTOCOL_H_
