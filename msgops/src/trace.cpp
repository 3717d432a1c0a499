// trace.cpp: IMS0001 and IMS0002 records.
#include "trace.h"

#include <unistd.h>

#include <cstring>
#include <ctime>

#include <pcfcore/print.h>

#include "automaton.h"
#include "request_params.h"
#include "server_context.h"

namespace msgops {
namespace {

std::string ClientIdentity(const ServerContext& context) {
  if (context.request() == nullptr) return "$";
  const MQMD& md = context.request()->Body.Md;
  return TrimName(md.PutApplName, sizeof md.PutApplName) + "$" +
         TrimName(md.UserIdentifier, sizeof md.UserIdentifier);
}

void WriteRecord(ServerContext& context, const char* record_id, const char* what,
                 const IdentifiedObject& object, const char* method) {
  FILE* out = context.log();
  QmgrLink* link = context.link();
  const char* command = PcfIdToName(context.command());
  fprintf(out, "\n%s", LocalTimeText().c_str());
  fprintf(out, "%s-%s(%d$%s$%s):\n\t%s<\"%s\".%d>: METHOD<\"%s()\"> RC<%d>\n", record_id,
          context.log_name().c_str(), static_cast<int>(getpid()), context.name().c_str(),
          link != nullptr ? link->event_queue_name().c_str() : "", what, object.name().c_str(),
          object.GetId(), method, link != nullptr ? link->last_reason() : 0);
  fprintf(out, "\tCLIENT_IDENTITY(\"%s\") REQUEST-ID(%s)\n", ClientIdentity(context).c_str(),
          command != nullptr ? command : "");
  fflush(out);
}

}  // namespace

std::string LocalTimeText() {
  time_t now = time(nullptr);
  char text[64];
  if (ctime_r(&now, text) == nullptr) return "";
  return text;  // ends in a newline, as ctime's text does
}

void WriteEventRecord(ServerContext& context, const AutomatonEvent& event, const char* method) {
  WriteRecord(context, "IMS0001", "EVENT", event, method);
}

void WriteStateRecord(ServerContext& context, const AutomatonState& state, const char* method) {
  WriteRecord(context, "IMS0002", "STATE", state, method);
}

}  // namespace msgops
