/*
 * text.h: in-place helpers for the fixed-width, blank-padded names of MQ
 * objects, and the wildcard test of a name against a mask.
 *
 * Every function works on NUL-terminated texts and writes only inside them
 * (pad_spaces inside the width it is given). Thread-safe.
 */
#ifndef PCFCORE_TEXT_H_
#define PCFCORE_TEXT_H_

#ifdef __cplusplus
extern "C" {
#endif

/* Upper-cases every character in place (C locale rules). Null is ignored. */
void strupper(char* text);

/* Cuts the text at its first blank ("QM1   " and "QM1 X" become "QM1"). */
void strip_spaces(char* text);

/* Removes trailing blanks (only ' '; tabs are kept). */
void trim_str(char* text);

/* Appends blanks up to width characters and puts a NUL at text[width]; the
 * buffer holds width + 1 bytes. A text longer than width is cut at width. */
void pad_spaces(char* text, int width);

/* 1 when name fits mask, else 0. Case counts; only "*" is special and
 * matches any run of characters, every run being tried ("*A" fits "BAA",
 * "A*C" does not fit "AB"). A trailing blank ends a text: "QM1" fits "QM1   " and
 * "QM1 X", and "QM1   " fits "QM1". The mask "*" fits every name. Null
 * texts are read as empty. */
int IsMaskMatch(const char* mask, const char* name);

#ifdef __cplusplus
}
#endif

#endif /* PCFCORE_TEXT_H_ */
