// Classes created by name: each registers its printed type name ("class Gui::Button") with a create
// function during static initialisation, and the loaders of *.gui and *.msn files look the names up.
#pragma once

#include "base/String.h"

#include <map>

namespace Base {

class DynamicObject;
using CreateFunction = DynamicObject* (*)();
// Printed type name -> create function; names compare byte by byte.
using ClassRegistry = std::map<String, CreateFunction, std::less<>>;

class DynamicObject {
public:
    virtual ~DynamicObject() = default;

    // Built on first use, even when that is another class's static registration.
    static ClassRegistry& GetRegistry();
    // The first registration of a name stays; a second one changes nothing and returns false.
    static bool Register(std::string_view name, CreateFunction create);
    // The entry of the name, or GetRegistry().end().
    static ClassRegistry::const_iterator FindClass(std::string_view name);
    // A new object of the named class, or null for an unknown name.
    static DynamicObject* Create(std::string_view name);
};

template <class T> DynamicObject* CreateInstance() {
    return new T();
}

// One per class, at namespace scope in the class's source file, with the name written out in full:
//     static const Base::ClassRegistration<Gui::Button> registration("class Gui::Button");
// Names are explicit because compilers print type names differently. Nothing refers to such a source file
// by symbol, so a static library holding registered classes must be linked whole by the program and its
// tests:
//     target_link_libraries(corvane PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,gui>")
template <class T> struct ClassRegistration {
    static inline bool Registered = false;
    explicit ClassRegistration(std::string_view name) {
        DynamicObject::Register(name, &CreateInstance<T>);
        Registered = true;
    }
};

} // namespace Base
