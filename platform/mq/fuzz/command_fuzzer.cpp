// Fuzz target: the command server's readers of outside input. The input is
// taken as a PCF request body, and (from its second byte on) as MQSC text
// of an escape, both run against a live queue manager. Nothing may crash or
// misbehave under the sanitizers; every answer must be a whole response
// ending in one MQCFC_LAST.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "server/pcf_commands.h"
#include "server/queue_manager.h"

using namespace mqsim::server;

namespace {

std::string g_dir;

void RemoveDir() {
  std::string cmd = "rm -rf '" + g_dir + "'";
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", g_dir.c_str());
}

QueueManager* World() {
  static std::unique_ptr<QueueManager> qm = [] {
    std::string tmpl = "/tmp/mqsimcmdfuzz.XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) abort();
    g_dir = tmpl;
    std::atexit(RemoveDir);
    std::string error;
    auto q = QueueManager::Open("QM1", g_dir + "/QM1", nullptr, &error);
    if (!q) abort();
    return q;
  }();
  return qm.get();
}

void Check(const std::vector<std::string>& replies) {
  if (replies.empty()) abort();
  for (size_t i = 0; i < replies.size(); ++i) {
    MQCFH cfh;
    if (replies[i].size() < sizeof cfh) abort();
    std::memcpy(&cfh, replies[i].data(), sizeof cfh);
    if (cfh.Type != MQCFT_RESPONSE) abort();
    if ((cfh.Control == MQCFC_LAST) != (i + 1 == replies.size())) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QueueManager* qm = World();
  CommandProcessor processor(qm);
  Check(processor.Run(std::span<const uint8_t>(data, size)));
  if (size > 1) {
    PcfCommand escape;
    escape.type = MQCFT_COMMAND;
    escape.command = MQCMD_ESCAPE;
    escape.msg_seq_number = 1;
    escape.control = MQCFC_LAST;
    PcfParam type;
    type.type = MQCFT_INTEGER;
    type.id = MQIACF_ESCAPE_TYPE;
    type.int_value = MQET_MQSC;
    PcfParam text;
    text.type = MQCFT_STRING;
    text.id = MQCACF_ESCAPE_TEXT;
    text.str_value.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    escape.params = {type, text};
    PcfReplies out(MQCMD_ESCAPE);
    processor.Execute(escape, &out);
    Check(out.Finish());
  }
  // Keep the journal from growing without end between inputs.
  qm->FlushJournal();
  return 0;
}
