// The ordered map of the program: keys are Base::String, compared byte by byte.
#pragma once

#include "base/String.h"

#include <map>

namespace Base {

template <class T> using Map = std::map<String, T, std::less<>>;

} // namespace Base
