/*
 * scramble.h: a reversible byte scrambling under a caller's 32-bit key.
 *
 * Each byte has its 4-bit halves exchanged and is then exclusive-ored with
 * the exclusive or of the key's four bytes; unscrambling undoes the two
 * steps in reverse order. This hides text from a casual look and nothing
 * more: it is not encryption. The library keeps no key. Thread-safe.
 */
#ifndef PCFCORE_SCRAMBLE_H_
#define PCFCORE_SCRAMBLE_H_

#include <mqi/mqi.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Scrambles length bytes in place; returns 1 (also for length < 1). */
int EncryptMsg(void* bytes, MQLONG length, MQLONG key);

/* Reverses EncryptMsg under the same key; returns 1. */
int DecryptMsg(void* bytes, MQLONG length, MQLONG key);

/* The value whose four bytes, in memory order, are DecryptMsg of the four
 * bytes of value. */
MQLONG DecryptLong(MQLONG value, MQLONG key);

#ifdef __cplusplus
}
#endif

#endif /* PCFCORE_SCRAMBLE_H_ */
