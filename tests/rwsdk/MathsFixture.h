// Shared by the maths, frame and camera tests: the engine modules they need, and GLM conversions.
#pragma once

#include "EngineFixture.h"

#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/plcore/vector.h"

#include <glm/glm.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

// A started engine on the null device.
class MathsEngine : public EngineTest {
protected:
    static RwInt32 PendingError() { return TakeError(); }
    template <typename T> static T* ModuleData(RwUInt32 pluginID) {
        return RWPLUGINOFFSET(T, RwEngineInstance, RwEngineGetPluginOffset(pluginID));
    }
};

// The engine's row-vector matrix as GLM's column-vector matrix: the rows become the columns.
inline glm::mat4 ToGlm(const RwMatrix& m) {
    return glm::mat4(glm::vec4(m.right.x, m.right.y, m.right.z, 0.0f),
                     glm::vec4(m.up.x, m.up.y, m.up.z, 0.0f), glm::vec4(m.at.x, m.at.y, m.at.z, 0.0f),
                     glm::vec4(m.pos.x, m.pos.y, m.pos.z, 1.0f));
}

inline RwMatrix FromGlm(const glm::mat4& g, std::uint32_t flags = 0) {
    RwMatrix m{};
    m.right = {g[0].x, g[0].y, g[0].z};
    m.up = {g[1].x, g[1].y, g[1].z};
    m.at = {g[2].x, g[2].y, g[2].z};
    m.pos = {g[3].x, g[3].y, g[3].z};
    m.flags = flags;
    return m;
}

inline ::testing::AssertionResult MatrixNear(const RwMatrix& m, const glm::mat4& g, float tolerance) {
    const glm::mat4 e = ToGlm(m);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 3; ++r)
            if (!(std::abs(e[c][r] - g[c][r]) <= tolerance * (1.0f + std::abs(g[c][r]))))
                return ::testing::AssertionFailure()
                       << "row " << c << " component " << r << ": " << e[c][r] << " vs " << g[c][r];
    return ::testing::AssertionSuccess();
}

inline RwMatrix RandomMatrix(std::mt19937& random, float range = 2.0f) {
    std::uniform_real_distribution<float> value(-range, range);
    RwMatrix m{};
    for (RwV3d* row : {&m.right, &m.up, &m.at, &m.pos})
        *row = {value(random), value(random), value(random)};
    return m;
}

inline glm::vec3 RandomUnit(std::mt19937& random) {
    std::normal_distribution<float> n;
    glm::vec3 v;
    do
        v = glm::vec3(n(random), n(random), n(random));
    while (glm::length(v) < 1e-3f);
    return glm::normalize(v);
}
