/*
 * mqsc_tables.h: the tables that map PCF commands and parameters to MQSC
 * text and back, kept as plain constant data so that every user (the PCF
 * library's conversion, the MQ stand-in's MQSC interpreter, the console's
 * MQSC export) reads the one definition.
 *
 * The data, in four kinds of record:
 *  - value lists: the MQSC words of the values of one enumerated parameter
 *    (TYPE: QLOCAL 1, QMODEL 2, ...). A list marked BareWords is written as
 *    its word alone, without a keyword (SHARE / NOSHARE, TRIGGER /
 *    NOTRIGGER); an empty word means "write nothing" for that value (FORCE
 *    has no word for "no").
 *  - keyword records: {kind, PCF parameter id, keyword text, value list}.
 *    One keyword text may have several records, one per parameter it stands
 *    for (DESCR is MQCA_Q_DESC for queues and MQCA_PROCESS_DESC for
 *    processes).
 *  - row tables: per command, the rows in output order, ended by a row whose
 *    Use is MQSC_ROW_END. Row 0 is the verb. A row with ValueFlag
 *    MQSC_WRITE carries a value; one with only KeywordFlag MQSC_WRITE is an
 *    attribute selector of a DISPLAY command (or a reply-only keyword).
 *  - command records: PCF command code, verb text and row table.
 * The reply-identifier table maps the z/OS reply message identifiers to the
 * CompCode and Reason of the PCF response.
 *
 * Adding a keyword or value: append it (the tables carry no numbering of
 * their own); a keyword that a command should convert also needs a row in
 * that command's table. Values are IBM's PCF values except the parameters
 * of the suite's own text commands (20901 and up, see mqsc.h).
 *
 * Everything here is immutable and may be read from any thread.
 * Format note: docs/formats/mqsc-conversion.md.
 */
#ifndef PCFCORE_MQSC_TABLES_H_
#define PCFCORE_MQSC_TABLES_H_

#include <stddef.h>

#include <mqi/mqi.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Keyword kinds. */
#define MQSC_KIND_VERB 0         /* the command verb itself */
#define MQSC_KIND_BARE 1         /* a keyword without value */
#define MQSC_KIND_INTEGER 2
#define MQSC_KIND_STRING 3
#define MQSC_KIND_STRING_LIST 4
#define MQSC_KIND_ENUM 5         /* words of a value list */

/* Row use and print flags. */
#define MQSC_ROW_OPTIONAL 0
#define MQSC_ROW_REQUIRED 1
#define MQSC_ROW_END 2
#define MQSC_WRITE 1
#define MQSC_OMIT 2
#define MQSC_NO_SEPARATOR '*'    /* the next item follows without a blank */

typedef struct MqscValueWord {
  const char* Word;    /* "" for a value that is written as nothing */
  MQLONG Value;
} MqscValueWord;

typedef struct MqscValueList {
  const char* Name;          /* the list's name, for diagnostics */
  MQLONG BareWords;          /* 1: the word stands alone, no keyword */
  MQLONG Count;
  const MqscValueWord* Words;
} MqscValueList;

typedef struct MqscKeyword {
  MQLONG Kind;                    /* MQSC_KIND_* */
  MQLONG Parameter;               /* PCF parameter id; 0 for a verb */
  const char* Text;               /* keyword or verb text */
  const MqscValueList* Values;    /* enumerations only, else null */
} MqscKeyword;

typedef struct MqscRow {
  MQLONG Use;                     /* MQSC_ROW_OPTIONAL, _REQUIRED, _END */
  MQLONG ValueFlag;               /* MQSC_WRITE or MQSC_OMIT */
  MQLONG KeywordFlag;             /* MQSC_WRITE or MQSC_OMIT */
  const MqscKeyword* Keyword;     /* null only in the end row */
  const char* Format;             /* "(%s)", "('%s')", "(%d)", "%s" or null */
  char Separator;                 /* written before the next item: ' ' or '*' */
} MqscRow;

typedef struct MqscCommand {
  MQLONG Command;                 /* PCF command code */
  const char* Verb;               /* MQSC verb text */
  const MqscRow* Rows;            /* ended by an MQSC_ROW_END row; null for
                                     MQCMD_ESCAPE, whose text is passed as is */
} MqscCommand;

typedef struct MqscReplyId {
  const char* Identifier;         /* "CSQM094I" */
  MQLONG CompCode;
  MQLONG Reason;
} MqscReplyId;

extern const MqscKeyword MqscKeywords[];
extern const size_t MqscKeywordCount;
extern const MqscValueList* const MqscValueLists[];
extern const size_t MqscValueListCount;
extern const MqscCommand MqscCommands[];
extern const size_t MqscCommandCount;
extern const MqscReplyId MqscReplyIds[];
extern const size_t MqscReplyIdCount;

/* The command record of a PCF command code, or null. */
const MqscCommand* MqscFindCommand(MQLONG command);

/* The first row of command (verb row excluded) whose keyword stands for
 * parameter and whose ValueFlag is value_flag (MQSC_WRITE: a row that takes
 * the parameter's value; MQSC_OMIT: a selector row); null when none. */
const MqscRow* MqscFindRow(const MqscCommand* command, MQLONG parameter,
                           MQLONG value_flag);

/* The first row of command (verb row excluded) whose keyword text is the
 * length bytes at text (exact, case-sensitive); null when none. */
const MqscRow* MqscFindRowByKeyword(const MqscCommand* command,
                                    const char* text, size_t length);

/* The first row of command whose keyword has a BareWords value list holding
 * the word; sets *value. Null when none. */
const MqscRow* MqscFindBareWordRow(const MqscCommand* command,
                                   const char* word, size_t length,
                                   MQLONG* value);

/* The word of value in list (the first listed), or null when it has none. */
const char* MqscWordOfValue(const MqscValueList* list, MQLONG value);

/* 1 and *value when the length bytes at word are a word of list, else 0.
 * The empty word never matches. */
int MqscValueOfWord(const MqscValueList* list, const char* word,
                    size_t length, MQLONG* value);

/* Looks a reply identifier up: 1 with its CompCode and Reason, or 0 (the
 * conversion then uses CompCode -1, Reason 0). */
int MqscFindReplyId(const char* identifier, size_t length, MQLONG* comp_code,
                    MQLONG* reason);

#ifdef __cplusplus
}
#endif

#endif /* PCFCORE_MQSC_TABLES_H_ */
