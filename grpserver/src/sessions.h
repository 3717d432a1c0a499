// sessions.h: EXCMD_INQUIRE_SESSION (10018) and EXCMD_DELETE_SESSION
// (10019): a console lists the entries of the client table and closes one.
#ifndef GRPSERVER_SESSIONS_H_
#define GRPSERVER_SESSIONS_H_

#include "dispatch.h"

namespace grpserver {

inline constexpr int kInquireSession = 10018;
inline constexpr int kDeleteSession = 10019;

void InquireSession(HandlerArgs& args);
// The entry is flagged and closed by the loop after this pass, so a
// connection still listed as ready in the pass is never freed under it.
void DeleteSession(HandlerArgs& args);

}  // namespace grpserver

#endif  // GRPSERVER_SESSIONS_H_
