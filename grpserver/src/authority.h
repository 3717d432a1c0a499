// authority.h: the trust and authority gates of the group manager, through
// authcore. Both are active only with the user authority check (+u);
// without it every connection is trusted and every command allowed, and
// authcore is not called. User names are passed upper-case, so "admin" and
// "ADMIN" are one user for both checks.
#ifndef GRPSERVER_AUTHORITY_H_
#define GRPSERVER_AUTHORITY_H_

#include <string>

#include <authcore/authcore.h>
#include <pcfcore/pcfcore.h>

#include "server_state.h"

namespace grpserver {

// The object path of a command: group (blanks removed), node, queue manager,
// object name and object type code, joined by "\".
std::string CommandObjectPath(const mqPcfMessage* request, const std::string& group);
// "%d" of the command for a command, "%d::%d" of command and reason else.
std::string CommandText(const mqPcfMessage* message);

// Is the console entry trusted? Stores the answer in the entry.
int CheckTrust(const char* user, ClientEntry* entry, mqcAuthRequest* result);
// May user run this request? result gets the users and the trace switch.
int CheckGroupCommandAuthority(const mqPcfMessage* request, const char* user, mqcAuthRequest* result);
// The same for one object path and command text.
int CheckAuthority(const char* user, const std::string& path, const std::string& command,
                   mqcAuthRequest* result);
// May the console's user see this event notification?
bool MayUserSeeEvent(const char* user, const mqPcfMessage* notification);

// The 12-character frame user of a message read (NUL-terminated copy).
std::string FrameUser(const mqPcfMessage* message);
// The 12-character message-header user of a message.
std::string HeaderUser(const mqPcfMessage* message);

}  // namespace grpserver

#endif  // GRPSERVER_AUTHORITY_H_
