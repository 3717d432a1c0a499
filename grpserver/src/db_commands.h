// db_commands.h: EXCMD_DB_BACKUP (11100) and EXCMD_DB_RESTORE (11101).
//
// Both act on the server's own group only (another name: 2085). The backup
// is taken from the open database (it is brought to a syncpoint first), so
// the lock is never given up. A restore closes the database, restores the
// newest sound backup with file operations and opens it again; when it
// cannot be opened even after re-indexing, the server stops.
#ifndef GRPSERVER_DB_COMMANDS_H_
#define GRPSERVER_DB_COMMANDS_H_

#include "dispatch.h"

namespace grpserver {

inline constexpr int kDbBackup = 11100;
inline constexpr int kDbRestore = 11101;

void DoExcmdDbBackup(HandlerArgs& args);
void DoExcmdDbRestore(HandlerArgs& args);

}  // namespace grpserver

#endif  // GRPSERVER_DB_COMMANDS_H_
