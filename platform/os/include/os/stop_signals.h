/*
 * stop_signals.h: SIGTERM, SIGINT and SIGHUP as the servers' stop requests.
 *
 * On Windows a server learned that it should stop from the service control
 * manager (stop, shutdown) or the console (Ctrl-C, Ctrl-Break, close). Here
 * systemd's stop is SIGTERM, Ctrl-C is SIGINT and a closed terminal SIGHUP.
 * The handlers only record the signal; the server's loop sees it, prints
 * what it prints and stops. SIGPIPE is ignored (a peer that went away is a
 * write error, not a killed process).
 *
 * Signals interrupt a blocking wait of the thread that takes them (the
 * handlers are installed without SA_RESTART), so a loop that waits with
 * poll() wakes at once. Worker threads call osBlockStopSignals() first so
 * that the signals reach the thread that watches for them.
 *
 * Process-wide; safe to call from any thread.
 */
#ifndef OS_STOP_SIGNALS_H_
#define OS_STOP_SIGNALS_H_

#ifdef __cplusplus
extern "C" {
#endif

/* What a stop signal stands for. */
#define OS_STOP_NONE 0
#define OS_STOP_SERVICE 1   /* SIGTERM: the service manager's stop */
#define OS_STOP_CONSOLE 2   /* SIGINT: Ctrl-C at the console */
#define OS_STOP_CLOSE 3     /* SIGHUP: the terminal closed */

/* Installs the handlers for SIGTERM, SIGINT and SIGHUP and ignores SIGPIPE.
 * 1, or 0 with errno when a handler could not be installed. */
int osInstallStopSignals(void);

/* The signal number of the first stop signal received since start-up (or
 * the last osClearStopSignal), 0 when none. Async-signal-safe. */
int osStopSignal(void);

/* The kind (OS_STOP_*) of a signal number; OS_STOP_NONE for others. */
int osStopKind(int signal_number);

/* Forgets a received stop signal (tests; a server that goes on). */
void osClearStopSignal(void);

/* Blocks the stop signals in the calling thread (call first thing in a
 * worker thread, or around its creation: new threads inherit the mask). */
void osBlockStopSignals(void);

#ifdef __cplusplus
}
#endif

#endif /* OS_STOP_SIGNALS_H_ */
