// request_automata.h: factories of the request automata, one per command.
#ifndef MSGOPS_REQUEST_AUTOMATA_H_
#define MSGOPS_REQUEST_AUTOMATA_H_

#include <memory>

#include "request_automaton.h"

namespace msgops {

std::unique_ptr<RequestAutomaton> MakeBrowseAutomaton(ServerContext& context);  // MSG_BROWSER
std::unique_ptr<RequestAutomaton> MakeFindAutomaton(ServerContext& context);    // MSG_FIND

}  // namespace msgops

#endif  // MSGOPS_REQUEST_AUTOMATA_H_
