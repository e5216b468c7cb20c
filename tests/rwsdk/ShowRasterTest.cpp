// Showing a camera's raster ends the resource arena's frame.
#include "rwsdk/src/camera.h"
#include "rwsdk/src/plcore/resources.h"

#include "ImageTestSupport.h"

using namespace ImageTestSupport;

namespace {

void Forget(RwResourceEntry*) {}

} // namespace

TEST(ShowRaster, CameraShowStartsANewArenaFrame) {
    constexpr RwInt32 size = 256 - static_cast<RwInt32>(sizeof(RwResourceEntry));
    Engine engine(4 * (256 + 32) + 178);
    RwResourceEntry* entries[6] = {};
    for (int i = 0; i < 5; ++i)
        ASSERT_NE(RwResourcesAllocateResourceEntry(nullptr, &entries[i], size, Forget), nullptr) << i;
    ASSERT_GT(RwResourcesGetArenaThisFrameTakeBack(), 0u) << "a full arena takes back from this frame";
    RwCamera* camera = RwCameraCreate();
    RwCameraShowRaster(camera, nullptr, 0); // the housekeeping runs whether presenting works or not
    EXPECT_EQ(RwResourcesGetArenaThisFrameTakeBack(), 0u);
    ASSERT_NE(RwResourcesAllocateResourceEntry(nullptr, &entries[5], size, Forget), nullptr);
    EXPECT_EQ(RwResourcesGetArenaThisFrameTakeBack(), 0u) << "the last frame's entries go first";
    RwCameraDestroy(camera);
}
