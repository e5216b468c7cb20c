#include "weapons/Ordnance.h"

#include "base/Info.h"
#include "scene/World.h"

#include <cmath>

namespace Weapons {

bool Ordnance::Fail(const char* key, const char* why) {
    loadError = std::string(key) + ": " + why;
    return false;
}

bool Ordnance::RequireFloat(const Base::Info* info, const char* key, float min, float max, float& out) {
    float value = 0;
    if (!info->TryGetFloat(key, value))
        return Fail(key, "missing or not a number");
    if (!(value >= min && value <= max))
        return Fail(key, "out of range");
    out = value;
    return true;
}

bool Ordnance::OptionalFloat(const Base::Info* info, const char* key, float min, float max, float& out) {
    float value = 0;
    if (!info->TryGetFloat(key, value))
        return true;
    if (!(value >= min && value <= max))
        return Fail(key, "out of range");
    out = value;
    return true;
}

bool Ordnance::Load(const Base::Info* info) {
    loadError.clear();
    if (!info)
        return Fail("Dff", "no description");
    if (!Obj::Model::Load(info))
        return Fail("Dff", "the model cannot be loaded");
    return ReadCatalogue(info);
}

bool Ordnance::ReadCatalogue(const Base::Info* info) {
    int32_t flag = 0;
    if (info->TryGetInt("OrdnanceParams.AirToAir", flag))
        airToAir = true;
    else if (info->TryGetInt("OrdnanceParams.AirToGround", flag))
        airToAir = false;
    else
        return Fail("OrdnanceParams.AirToAir", "neither it nor OrdnanceParams.AirToGround is given");
    if (!info->TryGetInt("OrdnanceParams.Type", type))
        return Fail("OrdnanceParams.Type", "missing or not an integer");
    if (!info->TryGetInt("OrdnanceParams.Order", order))
        return Fail("OrdnanceParams.Order", "missing or not an integer");
    if (!info->TryGetString("OrdnanceParams.Name", name))
        return Fail("OrdnanceParams.Name", "missing");
    return true;
}

void Rack::Load(Ordnance* hung) {
    if (!hung || ordnance)
        return;
    hung->AttachTo(carrier, frame, false);
    RwMatrix identity;
    RwMatrixSetIdentity(&identity);
    hung->Transform(&identity, rwCOMBINEREPLACE);
    hung->rack = this;
    hung->rackFrame = frame;
    if (hung->world != carrier->world) {
        if (hung->world)
            hung->world->RemoveObject(hung);
        if (carrier->world)
            carrier->world->AddObject(hung);
    }
    ordnance = hung;
}

void Rack::Release() {
    Ordnance* hung = ordnance;
    if (!hung)
        return;
    hung->Detach(true);
    hung->rack = nullptr;
    hung->rackFrame = nullptr;
    ordnance = nullptr;
}

} // namespace Weapons
