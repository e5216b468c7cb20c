// Precompiled once for every test executable (cmake/Corvane.cmake corvane_test_pch): the test framework
// and the standard headers most tests include. Only headers that rarely change belong here.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestPaths.h"
