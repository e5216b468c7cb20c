// The sample data for vehicles and ships: the descriptions the spawn actions read load as cars, armed cars,
// ships and a carrier with its catapults, and the groups placed for screenshots keep their convoy on land
// and their ships at sea over the whole of their routes.
#include "tools/terrain/TerrainShape.h"

#include "base/Info.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

namespace T = Tools::Terrain;

struct Group {
    const char* name;
    bool atSea;
};

TEST(VehicleData, GroupsStayOnLandOrAtSeaAlongTheirRoutes) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile(std::string(CORVANE_SOURCE_DIR) + "/data/Data/Convoys1.info"), 0);
    const Group groups[] = {
        {"Convoy", false}, {"ConvoyEscort", false}, {"CarrierGroup", true}, {"CarrierEscort", true}};
    for (const Group& g : groups) {
        const Base::Info* node = info.GetChild(g.name);
        ASSERT_NE(node, nullptr) << g.name;
        Base::Vector2 pos, dest;
        float heading = 0, speed = 0, span = 0;
        int count = 1;
        Base::String action, model, type, allegiance, objectId;
        ASSERT_TRUE(node->TryGetPoint("Pos", pos) && node->TryGetPoint("Dest", dest)) << g.name;
        ASSERT_TRUE(node->TryGetFloat("Hdg", heading) && node->TryGetFloat("InitSpeed", speed)) << g.name;
        ASSERT_TRUE(node->TryGetString("Action", action) && node->TryGetString("Model", model) &&
                    node->TryGetString("Type", type) && node->TryGetString("Allegiance", allegiance) &&
                    node->TryGetString("ObjectId", objectId))
            << g.name;
        EXPECT_EQ(action, g.atSea ? "SpawnShips" : "SpawnCars");
        node->TryGetInt("Count", count);
        if (count > 1) {
            ASSERT_TRUE(node->TryGetFloat("Formation.ObjectsSpan", span)) << g.name;
        }
        // The group's direction as the spawn actions take it, and the line the group runs along.
        const float h = heading * float(M_PI / 180);
        const Base::Vector2 d = {-std::sin(h), std::cos(h)};
        const Base::Vector2 route = {dest.x - pos.x, dest.y - pos.y};
        EXPECT_GT((route.x * d.x + route.y * d.y) / std::hypot(route.x, route.y), 0.99f) << g.name;
        for (int i = 0; i < count; ++i)
            for (float t = -0.05f; t <= 1.0f; t += 0.01f) {
                // Every object of the group, as far as the formation's width reaches from the line.
                for (float side : {-1.0f, 0.0f, 1.0f}) {
                    const float off = side * span * float(i + 1);
                    const float x = pos.x + route.x * t + d.y * off, z = pos.y + route.y * t - d.x * off;
                    const float sample = T::ShapeSample(x, z);
                    if (g.atSea)
                        EXPECT_LE(sample, 0) << g.name << " " << x << " " << z;
                    else
                        EXPECT_GT(sample, 0) << g.name << " " << x << " " << z;
                }
            }
    }
}

} // namespace
