// The platform object and the list of queue managers known to the suite.
#include <cstring>
#include <string>

#include <pcfcore/memory.h>
#include <pcfcore/pcf_message.h>
#include <pcfcore/pcf_records.h>
#include <pcfcore/text.h>

#include "client_connections.h"
#include "fields.h"
#include "qmlink/mq_platform.h"

extern "C" MQPlatform* CreateMQPlatform(const char* name) {
  void* block = nullptr;
  if (!fNewMemory(&block, sizeof(MQPlatform), "MQPlatform") || block == nullptr) return nullptr;
  auto* p = static_cast<MQPlatform*>(block);
  p->kind = MQPLATFORM_KIND;
  qmlink::CopyCut(p->name, sizeof p->name, name != nullptr ? name : "");
  p->pl_read = plRead;
  return p;
}

extern "C" int DeleteMQPlatform(MQPlatform* platform) {
  if (platform == nullptr) return 0;
  FreeMemory(platform);
  return 1;
}

extern "C" int CharSubstitute(char* text, char from, char to) {
  if (text == nullptr) return 0;
  for (char* c = text; *c != '\0'; ++c)
    if (*c == from) *c = to;
  return 0;
}

extern "C" int plReadWithMask(mqPcfMessage* result, MQPlatform* /*platform*/, const char* mask) {
  if (result == nullptr) return 0;
  if (mask == nullptr) mask = "*";
  std::vector<std::string> names;
  for (const std::string& key : qmlink::ListClientDefinitionKeys()) {
    std::string name = qmlink::WithoutBlanks(key);
    CharSubstitute(name.data(), '!', '.');
    if (!name.empty() && IsMaskMatch(mask, name.c_str())) names.push_back(name);
  }
  Message record{};
  bool ok = CreatePcfStrListAttr(&record, MQCA_Q_MGR_NAME, static_cast<MQLONG>(names.size()), MQ_Q_MGR_NAME_LENGTH);
  for (size_t i = 0; ok && i < names.size(); ++i)
    ok = SetPcfStrListAttrValue(&record, static_cast<MQLONG>(i), names[i].c_str());
  ok = ok && AppendAttr(result, &record);
  DeleteMessage(&record);
  return ok ? 1 : 0;
}

extern "C" int plRead(mqPcfMessage* result, MQPlatform* platform) { return plReadWithMask(result, platform, "*"); }
