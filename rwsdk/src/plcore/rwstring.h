// The engine's string functions and strings in the binary stream format.
#pragma once

#include "rwsdk/src/plcore/types.h"

#include <cstdarg>

struct RwStream;

struct RwStringFunctions {
    int (*vecSprintf)(RwChar* buffer, const RwChar* format, ...);
    int (*vecVsprintf)(RwChar* buffer, const RwChar* format, va_list argptr);
    RwChar* (*vecStrcpy)(RwChar* dest, const RwChar* srce);
    RwChar* (*vecStrncpy)(RwChar* dest, const RwChar* srce, size_t size);
    RwChar* (*vecStrcat)(RwChar* dest, const RwChar* srce);
    RwChar* (*vecStrncat)(RwChar* dest, const RwChar* srce, size_t size);
    RwChar* (*vecStrrchr)(const RwChar* string, int findThis);
    RwChar* (*vecStrchr)(const RwChar* string, int findThis);
    RwChar* (*vecStrstr)(const RwChar* string, const RwChar* findThis);
    int (*vecStrcmp)(const RwChar* string1, const RwChar* string2);
    int (*vecStrncmp)(const RwChar* string1, const RwChar* string2, size_t max_size);
    int (*vecStricmp)(const RwChar* string1, const RwChar* string2);
    size_t (*vecStrlen)(const RwChar* string);
    RwChar* (*vecStrUpr)(RwChar* string);
    RwChar* (*vecStrLwr)(RwChar* string);
    RwChar* (*vecStrtok)(RwChar* string, const RwChar* delimit);
    int (*vecSscanf)(const RwChar* buffer, const RwChar* format, ...);
};

// Installs the table into the engine instance; returns 1.
RwBool RwStringInstall();

// The engine's own entries of the table.
int RwStringCompareIgnoreCase(const RwChar* string1, const RwChar* string2);
RwChar* RwStringToUpper(RwChar* string);
RwChar* RwStringToLower(RwChar* string);

// Copies a name into a buffer of the given size (at least 1), always terminated; a longer name is cut to
// size - 1 characters and E_RW_STRING_TRUNCATION set. A null name copies as empty.
void _rwStringCopyName(RwChar* buffer, size_t size, const RwChar* name);

// Bytes of a string chunk's payload: the text, its terminator and zero padding to a multiple of 4.
RwInt32 RwStringStreamGetSize(const RwChar* string);
RwStream* RwStringStreamWrite(const RwChar* string, RwStream* stream);
// Reads the next string chunk (8-bit, or 16-bit keeping the low bytes). With a buffer, at most capacity - 1
// bytes are kept and terminated; a longer text is cut, reported as E_RW_STRING_TRUNCATION, and the rest of
// its chunk skipped. With a null buffer the text goes into a new allocation (RwFree it). Null on failure.
RwChar* RwStringStreamRead(RwChar* buffer, RwStream* stream, RwUInt32 capacity);
