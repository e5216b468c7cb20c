#include "rwsdk/os/win/osfile.h"

#include "platform/win32/Files.h"
#include "rwsdk/src/engine.h"

#include <sys/stat.h>

#include <cstdio>

namespace {

inline FILE* AsFile(void* fptr) {
    return static_cast<FILE*>(fptr);
}

RwBool FileExists(const RwChar* name) {
    RwFileFunctions* files = RwEngineGetFileInterface();
    void* file = files->rwfopen(name, "rb");
    if (!file) {
        return FALSE;
    }
    files->rwfclose(file);
    return TRUE;
}

// Game paths: '\' separators and names in any letter case. A directory is not a file, as on the game's
// own platform (here fopen would take it, and every read would then fail).
void* FileOpen(const RwChar* name, const RwChar* access) {
    if (!name || !access) {
        return nullptr;
    }
    FILE* file = Win32::OpenFile(name, access);
    struct stat info;
    if (file && fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

int FileClose(void* fptr) {
    return std::fclose(AsFile(fptr));
}
size_t FileRead(void* addr, size_t size, size_t count, void* fptr) {
    return std::fread(addr, size, count, AsFile(fptr));
}
size_t FileWrite(const void* addr, size_t size, size_t count, void* fptr) {
    return std::fwrite(addr, size, count, AsFile(fptr));
}
RwChar* FileGets(RwChar* buffer, int maxLen, void* fptr) {
    return std::fgets(buffer, maxLen, AsFile(fptr));
}
int FilePuts(const RwChar* buffer, void* fptr) {
    return std::fputs(buffer, AsFile(fptr));
}
int FileEof(void* fptr) {
    return std::feof(AsFile(fptr));
}
int FileSeek(void* fptr, long offset, int origin) {
    return std::fseek(AsFile(fptr), offset, origin);
}
int FileFlush(void* fptr) {
    return std::fflush(AsFile(fptr));
}
long FileTell(void* fptr) {
    return std::ftell(AsFile(fptr));
}

} // namespace

RwBool RwFileSystemInstall() {
    RWSRCGLOBAL(fileFuncs) = RwFileFunctions{FileExists, FileOpen, FileClose, FileRead,  FileWrite, FileGets,
                                             FilePuts,   FileEof,  FileSeek,  FileFlush, FileTell};
    return TRUE;
}

RwFileFunctions* RwEngineGetFileInterface() {
    return &RWSRCGLOBAL(fileFuncs);
}

RwBool RwOsPathIsAbsolute(const RwChar* path) {
    if (!path || !path[0]) {
        return FALSE;
    }
    if (path[0] == '\\') {
        return TRUE;
    }
    bool letter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
    return letter && path[1] == ':';
}
