// request_automata.h: factories of the request automata, one per command.
#ifndef MSGOPS_REQUEST_AUTOMATA_H_
#define MSGOPS_REQUEST_AUTOMATA_H_

#include <memory>

#include "request_automaton.h"

namespace msgops {

std::unique_ptr<RequestAutomaton> MakeBrowseAutomaton(ServerContext& context);  // MSG_BROWSER
std::unique_ptr<RequestAutomaton> MakeFindAutomaton(ServerContext& context);    // MSG_FIND
std::unique_ptr<RequestAutomaton> MakeDeleteAutomaton(ServerContext& context);  // MSG_DELETE
std::unique_ptr<RequestAutomaton> MakeCopyAutomaton(ServerContext& context);    // MSG_COPY
std::unique_ptr<RequestAutomaton> MakeMoveAutomaton(ServerContext& context);    // MSG_MOVE
std::unique_ptr<RequestAutomaton> MakeNewMessageAutomaton(ServerContext& context);  // MSG_GENRATOR

}  // namespace msgops

#endif  // MSGOPS_REQUEST_AUTOMATA_H_
