#include "rwsdk/src/plcore/rwstring.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

int Vsprintf(RwChar* buffer, const RwChar* format, va_list args) {
    return std::vsprintf(buffer, format, args);
}

int Sprintf(RwChar* buffer, const RwChar* format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vsprintf(buffer, format, args);
    va_end(args);
    return n;
}

int Sscanf(const RwChar* buffer, const RwChar* format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vsscanf(buffer, format, args);
    va_end(args);
    return n;
}

RwChar* Strcpy(RwChar* d, const RwChar* s) {
    return std::strcpy(d, s);
}
RwChar* Strncpy(RwChar* d, const RwChar* s, size_t n) {
    return std::strncpy(d, s, n);
}
RwChar* Strcat(RwChar* d, const RwChar* s) {
    return std::strcat(d, s);
}
RwChar* Strncat(RwChar* d, const RwChar* s, size_t n) {
    return std::strncat(d, s, n);
}
RwChar* Strrchr(const RwChar* s, int c) {
    return const_cast<RwChar*>(std::strrchr(s, c));
}
RwChar* Strchr(const RwChar* s, int c) {
    return const_cast<RwChar*>(std::strchr(s, c));
}
RwChar* Strstr(const RwChar* s, const RwChar* f) {
    return const_cast<RwChar*>(std::strstr(s, f));
}
int Strcmp(const RwChar* a, const RwChar* b) {
    return std::strcmp(a, b);
}
int Strncmp(const RwChar* a, const RwChar* b, size_t n) {
    return std::strncmp(a, b, n);
}
size_t Strlen(const RwChar* s) {
    return std::strlen(s);
}
RwChar* Strtok(RwChar* s, const RwChar* d) {
    return std::strtok(s, d);
}

inline int FoldCase(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

// Pieces in which string chunks are read.
constexpr RwUInt32 narrowPiece = 64;
constexpr RwUInt32 widePiece = 128;

} // namespace

int RwStringCompareIgnoreCase(const RwChar* string1, const RwChar* string2) {
    if (!string1 || !string2) {
        return 0;
    }
    const auto* a = reinterpret_cast<const unsigned char*>(string1);
    const auto* b = reinterpret_cast<const unsigned char*>(string2);
    for (;; ++a, ++b) {
        int d = FoldCase(*a) - FoldCase(*b);
        if (d != 0 || *a == 0) {
            return d;
        }
    }
}

RwChar* RwStringToUpper(RwChar* string) {
    for (RwChar* p = string; p && *p; ++p) {
        if (*p >= 'a' && *p <= 'z') {
            *p = RwChar(*p - ('a' - 'A'));
        }
    }
    return string;
}

RwChar* RwStringToLower(RwChar* string) {
    for (RwChar* p = string; p && *p; ++p) {
        if (*p >= 'A' && *p <= 'Z') {
            *p = RwChar(*p + ('a' - 'A'));
        }
    }
    return string;
}

RwBool RwStringInstall() {
    RwStringFunctions& f = RWSRCGLOBAL(stringFuncs);
    f.vecSprintf = Sprintf;
    f.vecVsprintf = Vsprintf;
    f.vecStrcpy = Strcpy;
    f.vecStrncpy = Strncpy;
    f.vecStrcat = Strcat;
    f.vecStrncat = Strncat;
    f.vecStrrchr = Strrchr;
    f.vecStrchr = Strchr;
    f.vecStrstr = Strstr;
    f.vecStrcmp = Strcmp;
    f.vecStrncmp = Strncmp;
    f.vecStricmp = RwStringCompareIgnoreCase;
    f.vecStrlen = Strlen;
    f.vecStrUpr = RwStringToUpper;
    f.vecStrLwr = RwStringToLower;
    f.vecStrtok = Strtok;
    f.vecSscanf = Sscanf;
    return TRUE;
}

RwInt32 RwStringStreamGetSize(const RwChar* string) {
    size_t length = string ? std::strlen(string) : 0;
    return RwInt32((length + 4) & ~size_t(3));
}

RwStream* RwStringStreamWrite(const RwChar* string, RwStream* stream) {
    if (!string) {
        string = "";
    }
    RwUInt32 size = RwUInt32(RwStringStreamGetSize(string));
    if (!RwStreamWriteEngineChunkHeader(stream, rwID_STRING, size)) {
        return nullptr;
    }
    RwUInt32 length = RwUInt32(std::strlen(string));
    if (!RwStreamWrite(stream, string, length)) {
        return nullptr;
    }
    static const RwChar zeros[4] = {0, 0, 0, 0};
    return RwStreamWrite(stream, zeros, size - length);
}

RwChar* RwStringStreamRead(RwChar* buffer, RwStream* stream, RwUInt32 capacity) {
    RwUInt32 type = 0, size = 0, version = 0;
    for (;;) {
        if (!RwStreamReadChunkHeader(stream, &type, &size, &version, nullptr)) {
            return nullptr;
        }
        if (!RwChunkVersionAccepted(version)) {
            RwErrorSetCode(E_RW_BADVERSION);
            return nullptr;
        }
        if (type == rwID_STRING || type == rwID_UNICODESTRING) {
            break;
        }
        if (!RwStreamSkip(stream, size)) {
            return nullptr;
        }
    }

    const bool wide = type == rwID_UNICODESTRING;
    const RwUInt32 textBytes = wide ? size / 2 : size;
    const bool allocated = buffer == nullptr;
    // An 8-bit text from memory into the caller's buffer (every name of a model's textures): one copy. As
    // below, bytes past the first zero are kept, and only text before a zero counts as cut.
    if (!wide && !allocated && capacity > 0) {
        if (const RwUInt8* text = _rwStreamTakeInPlace(stream, size)) {
            const RwUInt32 kept = std::min(size, capacity - 1);
            std::memcpy(buffer, text, kept);
            buffer[kept] = 0;
            if (kept < size && !std::memchr(text, 0, kept) &&
                std::any_of(text + kept, text + size, [](RwUInt8 c) { return c != 0; }))
                RwErrorSetCode(E_RW_STRING_TRUNCATION);
            return buffer;
        }
    }
    // A text read into a new allocation grows with what actually arrives, so that a size claimed by a
    // damaged chunk costs nothing until its bytes are there.
    RwUInt32 kept = 0;
    RwUInt32 limit = allocated ? textBytes : (capacity > 0 ? capacity - 1 : 0);
    RwUInt32 allocatedBytes = 0;
    if (allocated) {
        allocatedBytes = std::min<RwUInt32>(textBytes, 4096) + 1;
        buffer = static_cast<RwChar*>(RwMalloc(allocatedBytes, rwMEMHINTDUR_EVENT | rwID_STRING));
        if (!buffer) {
            RwErrorSetCode(E_RW_NOMEM);
            return nullptr;
        }
    } else if (capacity == 0) {
        RwErrorSetCode(E_RW_NULLP);
        return nullptr;
    }

    RwUInt8 piece[widePiece];
    RwUInt32 remaining = size;
    bool ended = false, truncated = false;
    while (remaining > 0) {
        RwUInt32 want = std::min(remaining, wide ? widePiece : narrowPiece);
        if (wide && want > 1) {
            want &= ~1u;
        }
        if (RwStreamRead(stream, piece, want) != want) {
            if (allocated) {
                RwFree(buffer);
            }
            return nullptr;
        }
        remaining -= want;
        RwUInt32 got = wide ? want / 2 : want;
        for (RwUInt32 i = 0; i < got; ++i) {
            RwChar c = RwChar(wide ? piece[i * 2] : piece[i]);
            if (kept >= limit) {
                truncated = truncated || (!ended && c != 0);
                continue;
            }
            if (allocated && kept + 1 >= allocatedBytes) {
                RwUInt32 grown =
                    RwUInt32(std::min<RwUInt64>(RwUInt64(allocatedBytes) * 2, RwUInt64(textBytes) + 1));
                auto* bigger = static_cast<RwChar*>(
                    RwRealloc(buffer, grown, rwMEMHINTDUR_EVENT | rwMEMHINTFLAG_RESIZABLE | rwID_STRING));
                if (!bigger) {
                    RwFree(buffer);
                    RwErrorSetCode(E_RW_NOMEM);
                    return nullptr;
                }
                buffer = bigger;
                allocatedBytes = grown;
            }
            ended = ended || c == 0;
            buffer[kept++] = c;
        }
    }
    buffer[kept] = 0;
    if (truncated) {
        RwErrorSetCode(E_RW_STRING_TRUNCATION);
    }
    return buffer;
}

void _rwStringCopyName(RwChar* buffer, size_t size, const RwChar* name) {
    const size_t length = name ? std::strlen(name) : 0;
    const size_t kept = std::min(length, size - 1);
    if (length >= size)
        RwErrorSetCode(E_RW_STRING_TRUNCATION);
    if (kept)
        std::memcpy(buffer, name, kept);
    buffer[kept] = '\0';
}
