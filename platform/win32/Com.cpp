// COM class objects, identifiers and text conversion.
#include <windows.h>

#include <uuid/uuid.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct ClassEntry {
    GUID clsid;
    PFNCOCREATE create;
};

// Filled by static initialisers in other layers: a function-local static is ready whatever their order.
std::vector<ClassEntry>& Classes() {
    static std::vector<ClassEntry> classes;
    return classes;
}
std::mutex& ClassesLock() {
    static std::mutex lock;
    return lock;
}

// Decodes one UTF-8 sequence; malformed, overlong or surrogate encodings yield U+FFFD and consume one byte.
char32_t DecodeUtf8(const unsigned char* p, size_t left, size_t& used) {
    used = 1;
    unsigned char c = p[0];
    if (c < 0x80)
        return c;
    int extra = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 ? (c < 0xF0 ? 2 : -1) : c >= 0xC2 ? 1 : -1;
    if (extra < 0 || size_t(extra) >= left)
        return 0xFFFD;
    char32_t v = c & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0xFFFD;
        v = (v << 6) | (p[i] & 0x3F);
    }
    static const char32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (v < least[extra] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
        return 0xFFFD;
    used = size_t(extra) + 1;
    return v;
}

} // namespace

BOOL CoRegisterClassCreator(REFGUID clsid, PFNCOCREATE create) {
    std::lock_guard<std::mutex> hold(ClassesLock());
    for (ClassEntry& e : Classes())
        if (e.clsid == clsid) {
            e.create = create;
            return TRUE;
        }
    Classes().push_back({clsid, create});
    return TRUE;
}

HRESULT CoCreateInstance(REFGUID clsid, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    PFNCOCREATE create = nullptr;
    {
        std::lock_guard<std::mutex> hold(ClassesLock());
        for (const ClassEntry& e : Classes())
            if (e.clsid == clsid)
                create = e.create;
    }
    return create ? create(iid, object) : REGDB_E_CLASSNOTREG;
}

RPC_STATUS UuidCreate(UUID* out) {
    uuid_t bytes;
    uuid_generate_random(bytes);
    // The first three fields are stored big-endian in the byte form.
    out->Data1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    out->Data2 = uint16_t(bytes[4] << 8 | bytes[5]);
    out->Data3 = uint16_t(bytes[6] << 8 | bytes[7]);
    std::memcpy(out->Data4, bytes + 8, 8);
    return RPC_S_OK;
}

HRESULT CoCreateGuid(GUID* guid) {
    if (!guid)
        return E_POINTER;
    UuidCreate(guid);
    return S_OK;
}

int MultiByteToWideChar(UINT, DWORD, LPCSTR text, int length, LPWSTR out, int outLength) {
    if (!text || outLength < 0 || (outLength > 0 && !out)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t size = length < 0 ? std::strlen(text) + 1 : size_t(length);
    auto p = reinterpret_cast<const unsigned char*>(text);
    int count = 0;
    for (size_t i = 0; i < size;) {
        size_t used;
        char32_t c = DecodeUtf8(p + i, size - i, used);
        int units = c >= 0x10000 ? 2 : 1;
        if (outLength > 0) {
            if (count + units > outLength) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            if (units == 2) {
                out[count] = WCHAR(0xD800 + ((c - 0x10000) >> 10));
                out[count + 1] = WCHAR(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                out[count] = WCHAR(c);
            }
        }
        count += units;
        i += used;
    }
    return count;
}

int WideCharToMultiByte(UINT, DWORD, LPCWSTR text, int length, LPSTR out, int outLength, LPCSTR,
                        BOOL* usedDefault) {
    if (!text || outLength < 0 || (outLength > 0 && !out)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t size = 0;
    if (length < 0) {
        while (text[size])
            ++size;
        ++size;
    } else {
        size = size_t(length);
    }
    if (usedDefault)
        *usedDefault = FALSE;
    int count = 0;
    for (size_t i = 0; i < size; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < size && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = '?'; // a lone surrogate
            if (usedDefault)
                *usedDefault = TRUE;
        }
        char bytes[4];
        int n = 0;
        if (c < 0x80) {
            bytes[n++] = char(c);
        } else if (c < 0x800) {
            bytes[n++] = char(0xC0 | (c >> 6));
            bytes[n++] = char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes[n++] = char(0xE0 | (c >> 12));
            bytes[n++] = char(0x80 | ((c >> 6) & 0x3F));
            bytes[n++] = char(0x80 | (c & 0x3F));
        } else {
            bytes[n++] = char(0xF0 | (c >> 18));
            bytes[n++] = char(0x80 | ((c >> 12) & 0x3F));
            bytes[n++] = char(0x80 | ((c >> 6) & 0x3F));
            bytes[n++] = char(0x80 | (c & 0x3F));
        }
        if (outLength > 0) {
            if (count + n > outLength) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            std::memcpy(out + count, bytes, size_t(n));
        }
        count += n;
    }
    return count;
}
