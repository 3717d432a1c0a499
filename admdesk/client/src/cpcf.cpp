// CPCF: the connection table and the parameter appenders.

#include "admclient/cpcf.h"

#include <cstring>
#include <vector>

namespace admclient {
namespace {

// A parameter record in a scratch Message, freed on every path.
class Record {
 public:
  Record() { std::memset(&message_, 0, sizeof message_); }
  ~Record() {
    if (message_.Storage != nullptr) DeleteMessage(&message_);
  }
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;
  Message* get() { return &message_; }

 private:
  Message message_;
};

int AppendString(const std::string& text, MQLONG id, mqPcfMessage* message) {
  if (message == nullptr) return 0;
  Record record;
  if (CreatePcfStrAttr(record.get(), id, text.c_str()) == 0) return 0;
  return AppendAttr(message, record.get());
}

std::string TrimmedOrBlank(const std::string& value) {
  size_t end = value.find_last_not_of(" \t\r\n\f\v");
  if (end == std::string::npos) return " ";
  return value.substr(0, end + 1);
}

}  // namespace

CPCF::CPCF() {
  for (int i = 0; i < kConnectionSlots; ++i) {
    connected[i] = 0;
    authenticate[i] = 1;
    node[i] = nullptr;
  }
}

CPCF::~CPCF() {
  for (int i = 0; i < kConnectionSlots; ++i) CloseSlot(i);
  if (signature != nullptr) mqc_release_signature(&signature);
}

void CPCF::CloseSlot(int slot) {
  if (slot < 0 || slot >= kConnectionSlots) return;
  if (node[slot] != nullptr) DeleteMQNode(node[slot]);
  node[slot] = nullptr;
  connected[slot] = 0;
}

int CPCF::SlotOfNode(const mqnMQNodeData* wanted) const {
  if (wanted == nullptr) return 0;
  for (int slot = 1; slot < kConnectionSlots; ++slot) {
    if (node[slot] != nullptr && node[slot]->socket.handle == wanted->socket.handle) return slot;
  }
  return 0;
}

int CPCF::GetAuthenticateForNode(const mqnMQNodeData* wanted) const {
  int slot = SlotOfNode(wanted);
  return slot == 0 ? 0 : authenticate[slot];
}

int CPCF::AddStrParm(const std::string& value, MQLONG id, mqPcfMessage* message) {
  return AppendString(TrimmedOrBlank(value), id, message);
}

int CPCF::AddStrParmToBoth(const std::string& value, MQLONG id, int length,
                           mqPcfMessage* message1, mqPcfMessage* message2) {
  int first = AddStrParm(value, id, message1);
  int second = AddStrParm(value, id, message2);
  return first & second;
}

int CPCF::AddStrParmIfChanged(const std::string& value, MQLONG id, int length,
                              const Message* old, mqPcfMessage* message) {
  if (length < 0) length = 0;
  if (length > 511) length = 511;
  char old_text[512] = {0};
  if (old != nullptr && GetPcfStrAttrValue(old, old_text, length) == 1) {
    std::string before(old_text);
    size_t end = before.find_last_not_of(' ');
    before.resize(end == std::string::npos ? 0 : end + 1);
    if (before == value) return 0;
  }
  std::string cut = value.substr(0, static_cast<size_t>(length));
  if (cut.empty()) cut = " ";
  return AppendString(cut, id, message);
}

int CPCF::AddRawStrParm(const char* value, MQLONG id, mqPcfMessage* message) {
  return AppendString(value != nullptr ? value : "", id, message);
}

int CPCF::AddRawStrParmToBoth(const char* value, MQLONG id, mqPcfMessage* message1,
                              mqPcfMessage* message2) {
  int first = AddRawStrParm(value, id, message1);
  int second = AddRawStrParm(value, id, message2);
  return first & second;
}

int CPCF::AddCopiedStrParm(const std::string& value, MQLONG id, mqPcfMessage* message) {
  return AppendString(value, id, message);
}

int CPCF::AddCopiedStrParmToBoth(const std::string& value, MQLONG id, mqPcfMessage* message1,
                                 mqPcfMessage* message2) {
  int first = AppendString(value, id, message1);
  int second = AppendString(value, id, message2);
  return first & second;
}

int CPCF::AddStrParmToBuffer(const std::string& value, std::string* buffer, MQLONG id,
                             mqPcfMessage* message) {
  if (buffer != nullptr) *buffer = value;
  return AppendString(value, id, message);
}

int CPCF::AddIntParm(MQLONG value, MQLONG id, mqPcfMessage* message) {
  if (message == nullptr) return 0;
  Record record;
  if (CreatePcfIntAttr(record.get(), id, value) == 0) return 0;
  return AppendAttr(message, record.get());
}

int CPCF::AddIntParmToBoth(MQLONG value, MQLONG id, mqPcfMessage* message1,
                           mqPcfMessage* message2) {
  int first = AddIntParm(value, id, message1);
  int second = AddIntParm(value, id, message2);
  return first & second;
}

int CPCF::AddIntParmIfChanged(MQLONG value, MQLONG id, const Message* old,
                              mqPcfMessage* message) {
  MQLONG before = 0;
  if (old != nullptr && GetPcfIntAttrValue(old, &before) == 1 && before == value) return 0;
  return AddIntParm(value, id, message);
}

int CPCF::AddStrListParm(const std::string& list, MQLONG id, mqPcfMessage* message) {
  if (message == nullptr) return 0;
  std::vector<std::string> items;
  std::string trimmed = list;
  size_t end = trimmed.find_last_not_of(" \t\r\n\f\v");
  trimmed.resize(end == std::string::npos ? 0 : end + 1);
  std::string current;
  for (char c : trimmed) {
    if (c == ';' || c == ',' || c == ' ') {
      if (!current.empty()) items.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) items.push_back(current);
  if (items.empty()) items.push_back(" ");
  Record record;
  if (CreatePcfStrListAttr(record.get(), id, 0, 48) == 0) return 0;
  for (size_t i = 0; i < items.size(); ++i) {
    if (SetPcfStrListAttrValue(record.get(), static_cast<MQLONG>(i), items[i].c_str()) == 0) {
      return 0;
    }
  }
  return AppendAttr(message, record.get());
}

}  // namespace admclient
