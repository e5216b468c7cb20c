// Any bytes as the text of "Data\Airfoil.dat" give three tables of finite values (what cannot be read is
// 0), and the lookups between their entries stay finite at every angle.
#include "physics/AeroSolidBody.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using Airfoil = Physics::AeroSolidBody::Airfoil;
    constexpr int n = Physics::AeroSolidBody::TableSize;
    float lift[n], drag[n], moment[n];
    Airfoil::ReadTables(std::string(reinterpret_cast<const char*>(data), size), lift, drag, moment);
    for (const float* table : {lift, drag, moment}) {
        for (int i = 0; i < n; ++i)
            if (!std::isfinite(table[i]))
                std::abort();
        for (float alpha = -4; alpha <= 4; alpha += 0.37f)
            if (std::isnan(Airfoil::Lookup(table, alpha)))
                std::abort();
    }
    return 0;
}
