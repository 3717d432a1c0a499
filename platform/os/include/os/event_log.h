/*
 * event_log.h: the system event log of the servers, which is syslog here.
 *
 * On Windows a service wrote its failures to the application event log
 * under its event source; here they go to syslog (facility daemon) with the
 * source as the identity. Thread-safe.
 */
#ifndef OS_EVENT_LOG_H_
#define OS_EVENT_LOG_H_

#ifdef __cplusplus
extern "C" {
#endif

/* Writes one error record "text" under source (the identity); source and
 * text must not be null. */
void osReportErrorEvent(const char* source, const char* text);

/* The same at information level. */
void osReportInfoEvent(const char* source, const char* text);

#ifdef __cplusplus
}
#endif

#endif /* OS_EVENT_LOG_H_ */
