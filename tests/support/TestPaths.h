// Where the sources and the build are, for tests that read fixtures or the built data tree. CTest hands them
// over in the environment rather than as compile-time constants, so that the compiler cache serves every
// checkout alike.
#pragma once

#include <cstdlib>

namespace TestPaths {
inline const char* Get(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : ".";
}
} // namespace TestPaths

#define CORVANE_SOURCE_DIR (TestPaths::Get("CORVANE_SOURCE_DIR"))
#define CORVANE_BINARY_DIR (TestPaths::Get("CORVANE_BINARY_DIR"))
