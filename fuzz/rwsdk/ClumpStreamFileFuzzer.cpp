// The same bytes read as clump chunks from a memory stream and from a file stream: memory streams take
// shortcuts (records and headers in place, room looked ahead for), which must not change what is read. Both
// reads must succeed or fail alike, end at the same place and give clumps that write the same bytes.
#include "fuzz/support/EngineFuzz.h"
#include "rwsdk/plugin/matfx/rpmatfx.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/world/rpworld.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

bool Start() {
    return EngineFuzz::Start(RpWorldPluginAttach, RpMatFXPluginAttach, RpUserDataPluginAttach);
}

std::string path;

void RemoveTempFile() {
    std::remove(path.c_str());
}

bool MakeTempFile() {
    const char* dir = std::getenv("TMPDIR");
    path = std::string(dir ? dir : "/tmp") + "/fuzz_clump_file_XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0)
        return false;
    close(fd);
    std::atexit(RemoveTempFile);
    return true;
}

// The clump as it writes to memory; empty when it does not write.
std::string Written(RpClump* clump) {
    RwMemory memory = {nullptr, 0};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, &memory);
    if (!stream)
        return {};
    const bool ok = RpClumpStreamWrite(clump, stream) != nullptr;
    RwMemory out = {nullptr, 0};
    RwStreamClose(stream, &out);
    std::string bytes =
        ok && out.start ? std::string(reinterpret_cast<const char*>(out.start), out.length) : "";
    if (out.start)
        RwFree(out.start);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Start() && MakeTempFile();
    if (!started)
        return 0;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        const bool written = std::fwrite(data, 1, size, f) == size;
        if (std::fclose(f) != 0 || !written)
            return 0;
    } else {
        return 0;
    }
    RwMemory memory;
    RwStream* inMemory = EngineFuzz::Open(memory, data, size);
    if (!inMemory)
        return 0;
    RwStream* inFile = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, path.c_str());
    if (!inFile) {
        RwStreamClose(inMemory, nullptr);
        return 0;
    }
    for (int step = 0; step < 4; ++step) {
        const bool foundInMemory = RwStreamFindChunk(inMemory, rwID_CLUMP, nullptr, nullptr);
        const bool foundInFile = RwStreamFindChunk(inFile, rwID_CLUMP, nullptr, nullptr);
        if (foundInMemory != foundInFile || inMemory->position != inFile->position)
            __builtin_trap();
        if (!foundInMemory)
            break;
        RpClump* fromMemory = RpClumpStreamRead(inMemory);
        RpClump* fromFile = RpClumpStreamRead(inFile);
        if (!fromMemory != !fromFile)
            __builtin_trap();
        if (!fromMemory)
            break; // where a failed read leaves the stream is not for callers to rely on
        if (inMemory->position != inFile->position || Written(fromMemory) != Written(fromFile))
            __builtin_trap();
        RpClumpDestroy(fromMemory);
        RpClumpDestroy(fromFile);
    }
    RwStreamClose(inFile, nullptr);
    RwStreamClose(inMemory, nullptr);
    return 0;
}
