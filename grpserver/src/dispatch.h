// dispatch.h: what happens to every message the loop reads: classification
// by MQCFH type and by who sent it, the trust and authority gates, the
// dispatch by command code, forwarding to a node, and the decoration and
// sending of the response.
//
// Who may send what:
//   consoles             commands (MQCFH type 1) only
//   node entries         responses (2) and events (7) only
//   the UDP node         registrations (EXCMD_REGISTER_MQNODE) and
//                        responses (answers to the discovery broadcast)
// Anything else is refused: a console is answered with CompCode 2 and reason
// 3001 (MQRCCF_CFH_TYPE_ERROR) when it asked for an answer; a node entry's
// or datagram's message is dropped with a log line.
//
// EXCMD_EXECUTE_SHELL_CMD is refused (2035) unless both authentication (+a)
// and the user authority check (+u) are on.
//
// Command handlers register themselves by code; a code of the
// dispatch table without a handler is answered with 3007 (invalid command).
// Main thread only.
#ifndef GRPSERVER_DISPATCH_H_
#define GRPSERVER_DISPATCH_H_

#include "server_state.h"

namespace grpserver {

// What a handler gets: the request (read and indexed), the response (reset
// to the request's command, type 2), the requesting entry, the node entry of
// the request's names (or null), and the command's event message.
struct HandlerArgs {
  mqPcfMessage* request;
  mqPcfMessage* response;
  ClientEntry* entry;
  ClientEntry* node_entry;
  mqPcfMessage* event;
};
using CommandHandler = void (*)(HandlerArgs& args);

// Registers the handler of a command code (replacing any before).
void RegisterCommandHandler(int command, CommandHandler handler);

void ProcessMessage(ClientEntry* entry, mqPcfMessage* request, mqPcfMessage* response);
void DispatchCommand(ClientEntry* entry, mqPcfMessage* request, mqPcfMessage* response);
void CopyIdentifyingParameters(const mqPcfMessage* request, mqPcfMessage* response);
// Passes request to the node entry's agent; the response says 20107
// (command in progress), or 20301 without a node entry.
void ForwardToNode(mqPcfMessage* request, mqPcfMessage* response, ClientEntry* entry, ClientEntry* node_entry);
// CompCode 2, reason 3007 to the request's command.
void ReplyInvalidCommand(const mqPcfMessage* request, mqPcfMessage* response);

// Header bytes of a forwarded request: 16-19 carry the console's connection
// id to the agent and back; the console's own bytes travel in 52-55 (the
// end of the correlation id, which the agent copies unchanged) and are put
// back before the reply reaches the console.
inline constexpr int kConnectionIdOffset = 16;
inline constexpr int kSavedRequestIdOffset = 52;

}  // namespace grpserver

#endif  // GRPSERVER_DISPATCH_H_
