/*
 * authcore.h: may this user run this command, is this connection trusted.
 *
 * Both decisions come from one rules file named by the variable
 * HRLCOMPACT_AUTH_RULES, else "security/authority.rules" under the install
 * directory (os/install_dir.h: $HRLCOMPACT, the registry's WorkPath, the
 * working directory's parent, or /opt/brackwin/harrowdir). Format and matching:
 * docs/formats/authority-rules.md. The file is read again whenever it
 * changes on disk. Any error (no file, unreadable, a symbolic link, owned
 * by another user than this one or root, writable by its group or others,
 * a line that does not parse) fails closed: every command is refused and no
 * connection trusted until the file is put right.
 *
 * Thread-safe: the parsed rules are shared under a lock.
 * Results: nonzero yes, 0 no; the answer is also left in request->Outcome.
 */
#ifndef AUTHCORE_AUTHCORE_H_
#define AUTHCORE_AUTHCORE_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MQC_AUTH_RULES_VARIABLE "HRLCOMPACT_AUTH_RULES"

/* The request record (36 bytes), cleared by the caller before each check. */
typedef struct mqcAuthRequest {
  char NodeUser[13];   /* the frame's user name (input, informational) */
  char MsgUser[13];    /* the message header's UserId (input, informational) */
  int32_t Outcome;     /* output: nonzero allowed / trusted, 0 refused */
  int32_t Trace;       /* input: nonzero prints each decision to stdout */
} mqcAuthRequest;

/* May user run command (the PCF command code as "%d", or "%d::%d" of command
 * and reason for a message that is not a command) on the object path (parts
 * joined by "\")? Null texts count as empty. */
int mqc_authority(const char* user, const char* path, const char* command,
                  mqcAuthRequest* request);

/* Is a connection of user from peer (IP address text, or a node name) on
 * host trusted? */
int mqc_trust(const char* user, const char* peer, const char* host,
              mqcAuthRequest* request);

#ifdef __cplusplus
}
#endif

#endif /* AUTHCORE_AUTHCORE_H_ */
