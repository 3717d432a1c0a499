// trace.h: the IMS trace records of the message server.
//
// IMS0001 records an event, IMS0002 a state. Each record starts with a
// line holding the local time in the C library's text form. Records go to
// the context's log stream (standard output when no log file is open).
#ifndef MSGOPS_TRACE_H_
#define MSGOPS_TRACE_H_

#include <string>

namespace msgops {

class ServerContext;
class AutomatonEvent;
class AutomatonState;

std::string LocalTimeText();
void WriteEventRecord(ServerContext& context, const AutomatonEvent& event, const char* method);
void WriteStateRecord(ServerContext& context, const AutomatonState& state, const char* method);

}  // namespace msgops

#endif  // MSGOPS_TRACE_H_
