/*
 * pcfcore.h: everything the PCF and utility library exports.
 *
 * Conventions of the whole library: exported functions are plain C functions
 * over records, returning 1 for success and 0 for failure (unless a function
 * says otherwise); the caller owns what it creates and frees it with the
 * matching Delete function; nothing crosses the boundary as an exception.
 * Objects are used by one thread at a time.
 */
#ifndef PCFCORE_PCFCORE_H_
#define PCFCORE_PCFCORE_H_

#include <mqi/mqi.h>
#include <pcfcore/memory.h>
#include <pcfcore/message.h>
#include <pcfcore/pcf_records.h>
#include <pcfcore/pcf_message.h>
#include <pcfcore/excmd.h>

#include <pcfcore/convert.h>
#include <pcfcore/print.h>
#include <pcfcore/pcf_file.h>
#include <pcfcore/ini.h>
#include <pcfcore/text.h>
#include <pcfcore/scramble.h>
#include <pcfcore/mqsc.h>

#endif /* PCFCORE_PCFCORE_H_ */
