// The scene lights that the sky builds: colours, the sun light's frame along the sky's light direction,
// and their life with the sky: attached to it, into and out of the world (and its engine world's light
// list) with it, rebuilt by a reload, gone with a sky that does not load, and destroyed with it.
#include "cameras/SceneLights.h"
#include "objects/Sky.h"
#include "scene/World.h"
#include "tests/scene/SceneFixture.h"

#include "base/CacheLoaders.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/world/balight.h"
#include "rwsdk/world/baworobj.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

class SceneLights : public SceneEngine {
protected:
    void SetUp() override {
        SceneEngine::SetUp();
        Lights::InstallSkyLights();
        ASSERT_EQ(sky1.LoadFile(std::string(CORVANE_SOURCE_DIR) + "/data/Data/Sky1.info"), 0);
    }
    void TearDown() override {
        Obj::Sky::CreateLights = nullptr;
        SceneEngine::TearDown();
    }
    Base::Info sky1;
};

int CountLinks(RwLinkList* list) {
    int n = 0;
    for (RwLLLink* l = rwLinkListGetFirstLLLink(list); l != rwLinkListGetTerminator(list); l = l->next)
        ++n;
    return n;
}

template <class T> std::vector<T*> Children(const Obj::Sky& sky) {
    std::vector<T*> found;
    for (Obj::Attachable* child = sky.FirstChild(); child; child = child->NextSibling())
        if (auto* t = dynamic_cast<T*>(child))
            found.push_back(t);
    return found;
}

template <class T> int InWorld(Grp::World& world) {
    int n = 0;
    world.ForEach([&](Obj::Object* o) { n += dynamic_cast<T*>(o) != nullptr; });
    return n;
}

TEST_F(SceneLights, TheSkyBuildsThemFromItsDescription) {
    Obj::Sky sky;
    ASSERT_TRUE(sky.Load(sky1)) << sky.Error();
    const std::vector<Lights::Ambient*> ambient = Children<Lights::Ambient>(sky);
    const std::vector<Lights::Directional*> directional = Children<Lights::Directional>(sky);
    ASSERT_EQ(ambient.size(), 1u);
    ASSERT_EQ(directional.size(), 1u);
    ASSERT_NE(ambient[0]->light, nullptr);
    ASSERT_NE(directional[0]->light, nullptr);
    EXPECT_EQ(RpLightGetType(ambient[0]->light), rpLIGHTAMBIENT);
    EXPECT_EQ(RpLightGetType(directional[0]->light), rpLIGHTDIRECTIONAL);
    EXPECT_FLOAT_EQ(RpLightGetColor(ambient[0]->light)->blue, 0.4f);
    EXPECT_FLOAT_EQ(RpLightGetColor(directional[0]->light)->green, 0.96f);
    // The light shines along its frame's at axis: away from the sun element.
    const RwMatrix* m = RwFrameGetWorldMatrix(RpLightGetFrame(directional[0]->light));
    const Base::Vector3 sun = sky.Elements()[0].GetDirection();
    EXPECT_NEAR(m->at.x * sun.x + m->at.y * sun.y + m->at.z * sun.z, -1, 1e-3);
    EXPECT_NEAR(m->right.x * m->at.x + m->right.y * m->at.y + m->right.z * m->at.z, 0, 1e-5);
    EXPECT_NEAR(m->right.y, 0, 1e-6);                 // level: right = up x at
    EXPECT_EQ(ambient[0]->GetEngineWorld(), nullptr); // not in a world yet
}

TEST_F(SceneLights, TheyEnterAndLeaveTheWorldWithTheSky) {
    auto world = std::make_unique<Grp::World>();
    auto* sky = new Obj::Sky;
    ASSERT_TRUE(sky->Load(sky1));
    world->AddObject(sky);
    EXPECT_EQ(InWorld<Lights::SceneLight>(*world), 2);
    EXPECT_EQ(CountLinks(&world->world->directionalLightList), 2); // the global-light list
    for (Lights::SceneLight* light : Children<Lights::SceneLight>(*sky)) {
        EXPECT_EQ(light->world, world.get());
        EXPECT_EQ(light->GetEngineWorld(), world->world);
    }
    world->RemoveObject(sky);
    EXPECT_EQ(InWorld<Lights::SceneLight>(*world), 0);
    EXPECT_EQ(CountLinks(&world->world->directionalLightList), 0);
    world->AddObject(sky);
    EXPECT_EQ(CountLinks(&world->world->directionalLightList), 2);

    // A reload in the world replaces them; a sky that no longer loads lights nothing.
    ASSERT_TRUE(sky->Load(sky1));
    EXPECT_EQ(Children<Lights::SceneLight>(*sky).size(), 2u);
    EXPECT_EQ(InWorld<Lights::SceneLight>(*world), 2);
    EXPECT_EQ(CountLinks(&world->world->directionalLightList), 2);
    Base::Info broken = sky1;
    broken.ClearChildren();
    EXPECT_FALSE(sky->Load(broken));
    EXPECT_EQ(Children<Lights::SceneLight>(*sky).size(), 0u);
    EXPECT_EQ(InWorld<Lights::SceneLight>(*world), 0);
    EXPECT_EQ(CountLinks(&world->world->directionalLightList), 0);
    ASSERT_TRUE(sky->Load(sky1));
    EXPECT_EQ(CountLinks(&world->world->directionalLightList), 2);
    // The world's end takes the sky and its lights (the fixture counts the engine lights left).
    world.reset();
}

TEST_F(SceneLights, WithoutTheHookASkyHasNoneAndStartUpNamesIt) {
    Obj::Sky::CreateLights = nullptr;
    Obj::Sky sky;
    ASSERT_TRUE(sky.Load(sky1));
    EXPECT_EQ(sky.FirstChild(), nullptr);
    const std::vector<std::string> missing = Base::HooksNotInstalled();
    EXPECT_EQ(std::count(missing.begin(), missing.end(), "Obj::Sky::CreateLights"), 1);
    Lights::InstallSkyLights();
    const std::vector<std::string> after = Base::HooksNotInstalled();
    EXPECT_EQ(std::count(after.begin(), after.end(), "Obj::Sky::CreateLights"), 0);
}

} // namespace
