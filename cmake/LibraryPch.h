// Precompiled once for every library of the game (cmake/Corvane.cmake corvane_library_pch): the standard
// headers most of its files include, about half of a small file's compile time. No project header belongs
// here: a change to one would rebuild everything.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>
