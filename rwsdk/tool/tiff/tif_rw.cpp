#include "rwsdk/tool/tiff/tif_rw.h"

#include "rwsdk/os/win/osfile.h"
#include "rwsdk/tool/imagefail/rtimagefail.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

inline RwFileFunctions* Files() {
    return RwEngineGetFileInterface();
}

tmsize_t Read(thandle_t handle, void* buffer, tmsize_t size) {
    return size <= 0 ? 0 : tmsize_t(Files()->rwfread(buffer, 1, size_t(size), handle));
}

tmsize_t Write(thandle_t handle, void* buffer, tmsize_t size) {
    return size <= 0 ? 0 : tmsize_t(Files()->rwfwrite(buffer, 1, size_t(size), handle));
}

toff_t Seek(thandle_t handle, toff_t offset, int whence) {
    if (offset == toff_t(-1) || offset > toff_t(0x7FFFFFFF)) {
        return toff_t(-1);
    }
    if (Files()->rwfseek(handle, long(offset), whence) != 0) {
        return toff_t(-1);
    }
    return toff_t(Files()->rwftell(handle));
}

int Close(thandle_t handle) {
    return Files()->rwfclose(handle) == 0 ? 0 : -1;
}

// libtiff checks offsets against the file's size, so it gets the real one.
toff_t Size(thandle_t handle) {
    RwFileFunctions* files = Files();
    long here = files->rwftell(handle);
    if (here < 0 || files->rwfseek(handle, 0, SEEK_END) != 0) {
        return 0;
    }
    long end = files->rwftell(handle);
    files->rwfseek(handle, here, SEEK_SET);
    return end < 0 ? 0 : toff_t(end);
}

int Map(thandle_t, void**, toff_t*) {
    return 0;
}

void Unmap(thandle_t, void*, toff_t) {}

// The module is a function of libtiff's or the file's name, and the file is named by whoever tells the
// failure: only the message is kept.
int Note(TIFF* tif, const char* format, va_list args, RwBool error) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    const char* said = text;
    const char* name = tif ? TIFFFileName(tif) : nullptr;
    const size_t nameLength = name ? std::strlen(name) : 0;
    if (nameLength && std::strncmp(said, name, nameLength) == 0 &&
        std::strncmp(said + nameLength, ": ", 2) == 0) {
        said += nameLength + 2;
    }
    _rtImageReadFailureNote("libtiff", said, error);
    return 1; // and nothing printed
}

int Error(TIFF* tif, void*, const char*, const char* format, va_list args) {
    return Note(tif, format, args, TRUE);
}

int Warning(TIFF* tif, void*, const char*, const char* format, va_list args) {
    return Note(tif, format, args, FALSE);
}

} // namespace

TIFF* _rtTIFFOpen(const char* name, const char* mode) {
    if (!name || !mode || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) {
        return nullptr;
    }
    // The file is opened in binary; libtiff's own mode letters after the first mean other things.
    const char fileMode[3] = {mode[0], 'b', '\0'};
    const char tiffMode[2] = {mode[0], '\0'};
    void* handle = Files()->rwfopen(name, fileMode);
    if (!handle) {
        return nullptr;
    }
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) {
        Files()->rwfclose(handle);
        return nullptr;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, Error, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Warning, nullptr);
    TIFF* tif = TIFFClientOpenExt(name, tiffMode, thandle_t(handle), Read, Write, Seek, Close, Size, Map,
                                  Unmap, options);
    TIFFOpenOptionsFree(options);
    if (!tif) {
        Files()->rwfclose(handle);
    }
    return tif;
}
