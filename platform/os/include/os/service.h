/*
 * service.h: the suite's servers as systemd services.
 *
 * On Windows the servers install themselves in the service control manager
 * ("-install"), remove themselves ("-remove") and run under it. Here a
 * service is a systemd unit file "<name>.service" in the unit directory, and
 * the service run is an ordinary foreground process that systemd starts and
 * stops with SIGTERM (see os/stop_signals.h).
 *
 * The unit directory is $HRLCOMPACT_UNIT_DIR when set (tests point it at a
 * temporary directory), else /etc/systemd/system. Installing writes the file
 * only: enabling and starting stay with the administrator ("systemctl
 * daemon-reload", "systemctl start <name>"), as a demand-start service on
 * Windows is started by hand.
 *
 * Failures leave errno set, so that callers can print the system's text the
 * way their messages want it. Thread-safe (no shared state).
 */
#ifndef OS_SERVICE_H_
#define OS_SERVICE_H_

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define OS_DEFAULT_UNIT_DIR "/etc/systemd/system"

/* What goes into a unit file. */
typedef struct OsServiceUnit {
  const char* name;          /* unit name without ".service"; [A-Za-z0-9_.-] */
  const char* description;   /* Description= line */
  const char* program;       /* absolute path of the program */
  const char* const* args;   /* arguments after the program, null-terminated;
                                may be null */
  const char* const* env;    /* names of variables whose values at install
                                time are written as Environment= lines (the
                                service does not inherit the installer's
                                environment); unset ones are skipped; may be
                                null */
} OsServiceUnit;

/* The unit directory (see above) into dir; 1, or 0 when it does not fit. */
int osServiceUnitDir(char* dir, size_t size);

/* The unit file's path for name into path; 1, or 0 when it does not fit or
 * the name is not a valid unit name (errno EINVAL). */
int osServiceUnitPath(const char* name, char* path, size_t size);

/* The unit file's text (newline-terminated lines) into text; 1, or 0 when
 * it does not fit (errno ENAMETOOLONG) or the unit is not valid (EINVAL:
 * no name, a bad name, a program path that is not absolute, a value holding
 * a line end). Values are quoted and escaped for systemd ("\\", "\"", "%",
 * "$"). */
int osServiceUnitText(const OsServiceUnit* unit, char* text, size_t size);

/* Writes the unit file (mode 0644; a temporary file renamed into place, so
 * a reader never sees half a file). Refuses with errno EEXIST when the unit
 * file already exists, as the service manager refuses a service that is
 * already installed. 1 on success, 0 with errno on failure. */
int osInstallService(const OsServiceUnit* unit);

/* Removes the unit file of name. 0 with errno ENOENT when there is none,
 * other errno values when it could not be removed. */
int osRemoveService(const char* name);

/* The system's text for error number err, the way the servers print a
 * system error: "%s (0x%x)" of strerror and the number, into text. Empty
 * when it would not fit. Returns text. */
char* osSystemErrorText(int err, char* text, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* OS_SERVICE_H_ */
