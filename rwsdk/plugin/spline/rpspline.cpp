// Spline plugin: sampled basis tables and closed-spline fitting matrices, built on the first open and
// freed on the last close.
#include "rwsdk/plugin/spline/rpspline.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"

#include <array>

namespace {

constexpr RwInt32 numMatrices = rpSPLINEMAXPOINTS - rpSPLINEMINPOINTS + 1;
constexpr RwInt32 errorNoTables = 3;

RwInt32 openCount = 0;
RwReal* tables = nullptr;
std::array<RwReal*, numMatrices> matrices = {};

void FillTables(RwReal* out) {
    for (RwInt32 i = 0; i < rpSPLINESAMPLES; ++i) {
        const RwReal t = 0.00390625f * RwReal(i);
        const RwReal t2 = t * t, t3 = t2 * t;
        const RwReal values[rpSPLINETABLES] = {
            t3 / 6.0f,
            (-3.0f * t3 + 3.0f * t2 + 3.0f * t + 1.0f) / 6.0f,
            (3.0f * t3 - 6.0f * t2 + 4.0f) / 6.0f,
            (((3.0f - t) * t - 3.0f) * t + 1.0f) / 6.0f,
            t2 / 2.0f,
            (-3.0f * t2 + 2.0f * t + 1.0f) / 2.0f,
            (3.0f * t2 - 4.0f * t) / 2.0f,
            ((2.0f - t) * t - 1.0f) / 2.0f,
            t,
            1.0f - 3.0f * t,
            3.0f * t - 2.0f,
            1.0f - t,
        };
        for (RwInt32 k = 0; k < rpSPLINETABLES; ++k)
            out[k * rpSPLINESAMPLES + i] = values[k];
    }
}

void FillMatrix(RwReal* m, RwInt32 n) {
    for (RwInt32 i = 0; i < n * n; ++i)
        m[i] = 0.0f;
    RwInt32 a[rpSPLINEMAXPOINTS + 1] = {1, 4};
    for (RwInt32 k = 0; k + 2 < n - 1; ++k)
        a[k + 2] = 4 * a[k + 1] - a[k];
    const RwReal d = RwReal(a[n - 2]);
    RwInt32 b[rpSPLINEMAXPOINTS + 1] = {1, 2};
    for (RwInt32 k = 0; k + 2 < n; ++k)
        b[k + 2] = 4 * b[k + 1] - b[k];
    for (RwInt32 k = n - 2; k >= 0; k -= 2)
        b[k] = -b[k];
    const RwInt32 s = (n % 2) ? 2 : -2;
    for (RwInt32 i = 0; i < n; ++i) {
        m[i * n] = RwReal(b[n - 1 - i]) / d;
        for (RwInt32 j = 1; j <= i; ++j)
            m[i * n + j] = RwReal(b[j] * b[n - 1 - i] * s) / d;
    }
    m[(n - 1) * n + (n - 1)] = m[0];
    for (RwInt32 i = 0; i < n; ++i)
        for (RwInt32 k = 0; k <= n - 2 - i; ++k)
            m[i * n + (n - 1 - k)] = m[(n - 1 - i) * n + k];
}

void FreeAll() {
    for (RwReal*& m : matrices) {
        if (m)
            RwFree(m);
        m = nullptr;
    }
    if (tables)
        RwFree(tables);
    tables = nullptr;
}

void* Open(void* instance, RwInt32, RwInt32) {
    if (openCount == 0) {
        tables = static_cast<RwReal*>(RwMalloc(rpSPLINETABLES * rpSPLINESAMPLES * sizeof(RwReal),
                                               rwMEMHINTDUR_GLOBAL | rwID_SPLINEPLUGIN));
        if (!tables) {
            RwErrorSetCode(E_RW_NOMEM);
            RwErrorSetPlugin(rwID_SPLINEPLUGIN, errorNoTables);
            return nullptr;
        }
        FillTables(tables);
        for (RwInt32 n = rpSPLINEMINPOINTS; n <= rpSPLINEMAXPOINTS; ++n) {
            RwReal*& m = matrices[size_t(n - rpSPLINEMINPOINTS)];
            m = static_cast<RwReal*>(
                RwMalloc(size_t(n * n) * sizeof(RwReal), rwMEMHINTDUR_EVENT | rwID_SPLINEPLUGIN));
            if (!m) {
                RwErrorSetCode(E_RW_NOMEM);
                RwErrorSetPlugin(rwID_SPLINEPLUGIN, errorNoTables);
                FreeAll();
                return nullptr;
            }
            FillMatrix(m, n);
        }
    }
    ++openCount;
    return instance;
}

void* Close(void* instance, RwInt32, RwInt32) {
    if (openCount > 0 && --openCount == 0)
        FreeAll();
    return instance;
}

} // namespace

RwBool RpSplinePluginAttach() {
    return RwEngineRegisterPlugin(0, rwID_SPLINEPLUGIN, Open, Close) >= 0;
}

const RwReal* _rpSplineGetSampleTable(RwInt32 table) {
    return tables && table >= 0 && table < rpSPLINETABLES ? tables + table * rpSPLINESAMPLES : nullptr;
}

const RwReal* _rpSplineGetClosedMatrix(RwInt32 numPoints) {
    return numPoints >= rpSPLINEMINPOINTS && numPoints <= rpSPLINEMAXPOINTS
               ? matrices[size_t(numPoints - rpSPLINEMINPOINTS)]
               : nullptr;
}
