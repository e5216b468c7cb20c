#include "base/DynamicObject.h"

namespace Base {

ClassRegistry& DynamicObject::GetRegistry() {
    static ClassRegistry registry;
    return registry;
}

bool DynamicObject::Register(std::string_view name, CreateFunction create) {
    return GetRegistry().emplace(String(name), create).second;
}

ClassRegistry::const_iterator DynamicObject::FindClass(std::string_view name) {
    return GetRegistry().find(name);
}

DynamicObject* DynamicObject::Create(std::string_view name) {
    auto entry = FindClass(name);
    return entry == GetRegistry().end() || !entry->second ? nullptr : entry->second();
}

} // namespace Base
