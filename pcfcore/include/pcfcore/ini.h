/*
 * ini.h: the suite's key=value files, the install directory, paths, file
 * sizes and the assertion helper.
 *
 * An ini file here has no section lines: each line is a key, a separator
 * character and a value, and keys join a section and a key with two colons
 * ("Group::MQEVENT", "%s::DiscoveryTime"). tlxOpenIniFile loads a file whole
 * into an IniFile record; tlxGetValue looks values up by key mask (name
 * masks: text.h). Format: docs/formats/ini-files.md.
 *
 * Lines are read one at a time: a line's key is its text before the first
 * separator character; a blank line, or one without a separator, is
 * skipped. A value runs from the character after the separator to the first
 * terminator character (or the end of the text), and may thus run over line
 * ends when the line feed is not a terminator; the next key is looked for
 * on the line after the value. CRLF line ends read as LF.
 *
 * Paths on Linux join with "/". Buffers: functions that take a size write
 * at most size bytes, NUL included; those without one assume the sizes
 * named below (TLX_MAX_PATH for paths, TLX_MAX_VALUE + 1 for values) and
 * never write more. An IniFile belongs to one thread at a time; everything
 * else is thread-safe.
 */
#ifndef PCFCORE_INI_H_
#define PCFCORE_INI_H_

#include <stdio.h>

#include <mqi/mqi.h>
#include <os/paths.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Longest path, NUL included, for the functions without a size argument. */
#define TLX_MAX_PATH 1024
/* Longest value tlxGetValue/tlxGetValueExt copy, NUL not included. */
#define TLX_MAX_VALUE 2999
/* Longest key token a line may have; longer keys make the line malformed. */
#define TLX_MAX_KEY 2047

/* The install directory when nothing else names one. */
#define TLX_DEFAULT_INSTALL_DIR OS_DEFAULT_INSTALL_DIR

typedef struct IniFile {
  FILE* File;            /* open while loaded */
  MQLONG Length;         /* bytes loaded (after CRLF became LF) */
  MQLONG Position;       /* where a continued search starts */
  char Separators[33];   /* characters that end a key (callers pass "\n=") */
  char Terminators[35];  /* characters that end a value (" \n\t") */
  char* Text;            /* the whole file, NUL-terminated ("TlxIni") */
  char Path[TLX_MAX_PATH];
} IniFile;

/* Zeroes ini and loads <install directory>/config/groups/<name>. 1 when the
 * file was opened and is not empty. */
int tlxOpenIniFile(const char* name, const char* separators, const char* terminators, IniFile* ini);

/* Zeroes ini and loads path as given. */
int tlxOpenIniFileNoEV(const char* path, const char* separators, const char* terminators,
                       IniFile* ini);

/* Loads path into ini (the file stays open until tlxCloseIniFile). 0 when
 * it cannot be opened or read, or is empty or larger than 2 GiB; ini is
 * then closed and zeroed. Separator and terminator sets are cut to 32 and
 * 34 characters. */
int tlxLoadFile(const char* path, const char* separators, const char* terminators, IniFile* ini);

/* Closes the file, frees Text and zeroes ini; returns 1. */
int tlxCloseIniFile(IniFile* ini);

/* Looks up the value of the first key that fits the mask key
 * (IsMaskMatch(key, file key)). from 1 searches from the top; any other
 * value continues after the previous hit, so repeated calls walk the
 * entries in order. Copies the value, cut to size - 1 bytes, and a NUL into
 * value. 1 when found, 0 when not (value is then untouched). */
int tlxGetValueN(IniFile* ini, const char* key, char* value, size_t size, int from);

/* As tlxGetValueN, but a file key also fits when, read as a mask, it fits
 * key, so the file may hold wildcard keys. */
int tlxGetValueExtN(IniFile* ini, const char* key, char* value, size_t size, int from);

/* tlxGetValueN / tlxGetValueExtN with a value buffer of TLX_MAX_VALUE + 1
 * bytes. REQUIRES: value holds TLX_MAX_VALUE + 1 bytes. */
int tlxGetValue(IniFile* ini, const char* key, char* value, int from);
int tlxGetValueExt(IniFile* ini, const char* key, char* value, int from);

/* The number of line feeds in text; 0 for null or empty. */
int tlxLineCount(const char* text);

/* The start of line number line (from 1; 0 and 1 give the start); past the
 * last line feed, the position after it. Null for a null text. */
char* tlxGoToLine(char* text, int line);

/* Fills directory with the install directory: $HRLCOMPACT when set (result
 * 1); else the registry value "WorkPath" of HKEY_LOCAL_MACHINE
 * "Software\Brackwin\Harrowline Compact"; else the parent of the working
 * directory, with its trailing "/"; else TLX_DEFAULT_INSTALL_DIR (result 0
 * for these). A source too long for the buffer is passed over. The order is
 * the whole suite's: osGetInstallDir (os/install_dir.h) does the work. */
int tlxGetInstallDirN(char* directory, size_t size);
/* REQUIRES: directory holds TLX_MAX_PATH bytes. */
int tlxGetInstallDir(char* directory);

/* Appends "/" to a non-empty path not ending in one. 0 when it would not
 * fit (path unchanged). */
int tlxTerminatePathN(char* path, size_t size);
/* tlxTerminatePathN, then appends name when not null; 0 when the result
 * would not fit (the path is then terminated but name not appended). */
int tlxMakePathN(char* directory, size_t size, const char* name);
/* REQUIRES: the buffer holds TLX_MAX_PATH bytes. */
int tlxTerminatePath(char* path);
int tlxMakePath(char* directory, const char* name);

/* Encloses a non-empty path in double quotes in place, so that it survives
 * as one word on a command line. 0 when the buffer (TLX_MAX_PATH bytes)
 * cannot hold the quotes. */
int tlxUseLongNames(char* path);

/* The size of an open file; the file position is kept. 1 when it could be
 * had; failures print "SizeOfFile() - ftell() failed" or "SizeOfFile() -
 * fseek() failed" through perror. */
int SizeOfFile(FILE* file, long* size);
/* The same for a path; failures print "SizeOfFileByName() - fopen()
 * failed", "... - ftell() failed" or "... - fseek() failed". */
int SizeOfFileByName(const char* path, long* size);

/* An assertion that can be told to keep running. Returns condition when it
 * is nonzero. Otherwise prints " \nDate: <time>TLX0105E  Assertion failed in
 * <file> at line <line>: <text>\n" and ends the process with exit code 1,
 * unless keep_running is nonzero, which it then returns. */
int debug(int condition, const char* text, int keep_running, const char* file, int line);

#ifdef __cplusplus
}
#endif

#endif /* PCFCORE_INI_H_ */
