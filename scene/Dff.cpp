#include "scene/Dff.h"

#include "scene/AtomicData.h"

#include "base/ClumpCache.h"
#include "base/Info.h"

#include <bit>
#include <boost/regex.hpp>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <strings.h>
#include <vector>

namespace Obj {

namespace {

// The engine's state caches: 210 render states, 8 stages of 33 texture-stage states, 8 samplers of 14.
constexpr uint32_t RenderStates = 210;
constexpr uint32_t TextureStageStates = 33;
constexpr uint32_t SamplerStates = 14;
constexpr uint32_t Stages = 8;

struct AtomicRecord {
    RpAtomic* atomic;
    std::string name;
    bool taken;
};

// A name read like "%i": one integer (0x hex, leading-0 octal), what follows ignored.
std::optional<long> ReadNameNumber(const std::string& name) {
    const char* text = name.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 0);
    if (end == text || errno == ERANGE)
        return std::nullopt;
    return value;
}

// Perl syntax, errors as exceptions: a pattern that does not compile fails the load.
std::optional<boost::regex> Compile(const std::string& pattern) {
    try {
        return boost::regex(pattern, boost::regex::perl);
    } catch (...) {
        return std::nullopt;
    }
}

bool FullMatch(const boost::regex& pattern, const std::string& name) {
    try {
        return boost::regex_match(name, pattern);
    } catch (...) {
        // A pattern too complex for the matcher matches nothing.
        return false;
    }
}

bool ReadFloatBits(const Base::Info& node, const char* key, uint32_t& out) {
    float value;
    if (!node.TryGetFloat(key, value))
        return false;
    out = std::bit_cast<uint32_t>(value);
    return true;
}

// Clears the flag of every atomic whose name does not match the pattern held under key (an empty pattern:
// of every atomic). False when the pattern does not compile.
bool FilterFlag(const Base::Info& node, const char* key, const std::vector<AtomicRecord>& atomics,
                RwUInt8 flag) {
    const Base::Info* entry = node.GetChild(key);
    if (!entry)
        return true;
    const std::string text = entry->GetValue();
    std::optional<boost::regex> pattern;
    if (!text.empty()) {
        pattern = Compile(text);
        if (!pattern)
            return false;
    }
    for (const AtomicRecord& record : atomics)
        if (!pattern || !FullMatch(*pattern, record.name))
            RpAtomicSetFlags(record.atomic, RpAtomicGetFlags(record.atomic) & ~flag);
    return true;
}

// The level's model file: its atomics' geometries become slot k of the main atomics of the same name.
bool ReadLevelModel(const std::string& file, int k, const std::vector<AtomicRecord>& atomics) {
    RpClump* level = Base::ClumpCache::Get(file);
    if (!level)
        return false;
    for (const AtomicRecord& record : atomics) {
        const std::string wanted = record.name; // a copy of its own, so that a match always shows
        const char* word = wanted.c_str();
        RpClump* walked = level;
        RpAtomic* match = nullptr;
        struct Search {
            const char* name;
            RpAtomic* found;
        } search{word, nullptr};
        RpClumpForAllAtomics(
            walked,
            [](RpAtomic* atomic, void* data) -> RpAtomic* {
                auto* s = static_cast<Search*>(data);
                const char* before = s->name;
                if (Rw::MatchAtomicName(atomic, &s->name))
                    return atomic;
                if (s->name != before)
                    s->found = atomic;
                return nullptr;
            },
            &search);
        match = search.found;
        if (!match || !RpAtomicGetGeometry(match))
            continue;
        RpAtomic* atomic = record.atomic;
        if (atomic->renderCallBack != Rw::AtomicLodData::RenderCallback) {
            Rw::AtomicLodData* data = Rw::AtomicLodData::Get(atomic);
            if (!data)
                continue;
            data->savedRenderCallback = atomic->renderCallBack;
            RpAtomicSetRenderCallBack(atomic, Rw::AtomicLodData::RenderCallback);
            Rw::AtomicLodData::SetGeometry(atomic, 0, RpAtomicGetGeometry(atomic));
        }
        Rw::AtomicLodData::SetGeometry(atomic, k, RpAtomicGetGeometry(match));
    }
    // The geometries live on through their references.
    Base::ClumpCache::Destroy ? Base::ClumpCache::Destroy(level) : void(RpClumpDestroy(level));
    return true;
}

bool ReadCommand(const Base::Info& command, std::vector<AtomicRecord>& atomics, DffLod& lod) {
    const std::string kind = command.GetValue();
    auto is = [&](const char* name) { return strcasecmp(kind.c_str(), name) == 0; };
    DffCommand out;
    if (is("RenderAtomics")) {
        bool rest = false;
        command.TryGetBool("Rest", rest);
        std::optional<boost::regex> pattern;
        if (const Base::Info* regex = command.GetChild("RegEx")) {
            pattern = Compile(regex->GetValue());
            if (!pattern)
                return false;
        }
        for (AtomicRecord& record : atomics) {
            if ((!rest || !record.taken) && (!pattern || FullMatch(*pattern, record.name))) {
                out.type = DffCommand::RenderAtomics;
                out.atomic = record.atomic;
                lod.commands.push_back(out);
                record.taken = true;
            }
        }
        return true;
    }
    if (is("SetRenderState")) {
        out.type = DffCommand::SetRenderState;
        if (!command.TryGetUInt("State", out.a) || out.a >= RenderStates ||
            !Dff::ReadStateValue(&command, "Value", &out.b))
            return false;
    } else if (is("SetTextureStageState") || is("SetSamplerState")) {
        const bool stage = is("SetTextureStageState");
        out.type = stage ? DffCommand::SetTextureStageState : DffCommand::SetSamplerState;
        if (!command.TryGetUInt("Stage", out.a) || out.a >= Stages || !command.TryGetUInt("State", out.b) ||
            out.b >= (stage ? TextureStageStates : SamplerStates) ||
            !Dff::ReadStateValue(&command, "Value", &out.c))
            return false;
    } else if (is("RenderPoint")) {
        out.type = DffCommand::RenderPoint;
        if (!ReadFloatBits(command, "Start", out.a) || !ReadFloatBits(command, "End", out.b))
            return false;
    } else if (is("DepthBias")) {
        out.type = DffCommand::DepthBias;
        if (!ReadFloatBits(command, "Bias", out.a))
            return false;
    } else {
        return false;
    }
    lod.commands.push_back(out);
    return true;
}

bool ReadRenderOrders(const Base::Info& block, std::vector<AtomicRecord>& atomics,
                      std::vector<DffRenderOrder>& orders) {
    for (const auto& [name, child] : block.GetChildren()) {
        const std::optional<long> key = ReadNameNumber(name);
        if (!key || *key < 0 || *key > 255)
            return false;
        for (const DffRenderOrder& earlier : orders)
            if (earlier.key == *key)
                return false;
        DffRenderOrder& order = orders.emplace_back();
        order.key = uint8_t(*key);
        const Base::Info* lods = child->GetChild("Lods");
        if (!lods)
            continue;
        for (const auto& [levelName, level] : lods->GetChildren()) {
            const std::optional<long> k = ReadNameNumber(levelName);
            if (!k || *k < 0 || *k > 9 || size_t(*k) != order.lods.size())
                return false;
            std::string file;
            if (level->TryGetString("Dff", file) && !ReadLevelModel(file, int(*k), atomics))
                return false;
            DffLod& lod = order.lods.emplace_back();
            if (!level->TryGetFloat("Threshold", lod.threshold))
                return false;
            if (const Base::Info* commands = level->GetChild("Commands"))
                for (const auto& entry : commands->GetChildren())
                    if (!ReadCommand(*entry.second, atomics, lod))
                        return false;
        }
    }
    return true;
}

} // namespace

bool Dff::ReadStateValue(const Base::Info* node, const char* key, uint32_t* out) {
    const Base::Info* child = node->GetChild(key);
    if (!child)
        return false;
    const std::string value = child->GetValue();
    const char* text = value.c_str();
    const char* last = text + value.size();
    char* end = nullptr;
    errno = 0;
    const long long integer = std::strtoll(text, &end, 0);
    if (end != text && end == last && errno != ERANGE && integer >= -2147483648LL &&
        integer <= 0xFFFFFFFFLL) {
        *out = uint32_t(integer);
        return true;
    }
    // A float state (a depth bias) is given by its bits.
    const char* start = text;
    while (start < last && (*start == ' ' || *start == '\t'))
        ++start;
    if (start < last && *start == '+')
        ++start;
    float number;
    const auto [stop, error] = std::from_chars(start, last, number, std::chars_format::general);
    if (error != std::errc() || stop != last || start == last)
        return false;
    *out = std::bit_cast<uint32_t>(number);
    return true;
}

bool Dff::Load(const Base::Info* node) {
    if (!node)
        return false;
    std::string file;
    if (!node->TryGetString("Dff", file))
        return false;
    RpClump* loaded = Base::ClumpCache::Get(file);
    if (!loaded)
        return false;
    SetClump(loaded, true);
    UpdateLocalBoundingSphere();

    std::vector<AtomicRecord> atomics;
    RpClumpForAllAtomics(
        clump,
        [](RpAtomic* atomic, void* data) {
            static_cast<std::vector<AtomicRecord>*>(data)->push_back(
                {atomic, Rw::GetAtomicName(atomic), false});
            return atomic;
        },
        &atomics);

    cameraRelDistance = 0;
    node->TryGetFloat("CameraRelDistance", cameraRelDistance);
    if (!FilterFlag(*node, "RenderAtomicsRegEx", atomics, rpATOMICRENDER) ||
        !FilterFlag(*node, "CollisionAtomicsRegEx", atomics, rpATOMICCOLLISIONTEST))
        return false;

    std::vector<DffRenderOrder> orders;
    if (const Base::Info* block = node->GetChild("RenderOrders"))
        if (!ReadRenderOrders(*block, atomics, orders))
            return false;
    renderOrders = std::move(orders);
    return true;
}

} // namespace Obj
