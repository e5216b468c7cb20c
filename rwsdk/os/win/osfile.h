// The engine's file interface: every file the engine touches goes through this table.
#pragma once

#include "rwsdk/src/plcore/types.h"

// Handles are the platform's buffered files; names are game paths ('\' separators, any letter case).
struct RwFileFunctions {
    RwBool (*rwfexist)(const RwChar* name);
    void* (*rwfopen)(const RwChar* name, const RwChar* access);
    int (*rwfclose)(void* fptr);
    size_t (*rwfread)(void* addr, size_t size, size_t count, void* fptr);
    size_t (*rwfwrite)(const void* addr, size_t size, size_t count, void* fptr);
    RwChar* (*rwfgets)(RwChar* buffer, int maxLen, void* fptr);
    int (*rwfputs)(const RwChar* buffer, void* fptr);
    int (*rwfeof)(void* fptr);
    int (*rwfseek)(void* fptr, long offset, int origin);
    int (*rwfflush)(void* fptr);
    long (*rwftell)(void* fptr);
};

// Installs the standard table into the engine instance.
RwBool RwFileSystemInstall();
// The engine instance's table; callers may replace entries.
RwFileFunctions* RwEngineGetFileInterface();
// A leading '\', or a drive letter and a colon.
RwBool RwOsPathIsAbsolute(const RwChar* path);
