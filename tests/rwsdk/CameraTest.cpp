// Cameras: settings, the view matrix and frustum from the frame, sphere tests against GLM-built planes,
// begin and end update on the null device, and camera chunks written here and read back.
#include "MathsFixture.h"

#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"

#include <glm/gtc/matrix_access.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <array>
#include <bit>
#include <cstring>

namespace {

constexpr RwUInt32 cameraPluginID = 0x7F11;
RwInt32 cameraWordOffset = -1;

void* ConstructWord(void* object, RwInt32 offset, RwInt32) {
    *RWPLUGINOFFSET(RwInt32, object, offset) = -1;
    return object;
}
RwStream* ReadWord(RwStream* stream, RwInt32 length, void* object, RwInt32 offset, RwInt32) {
    if (length != 4)
        return nullptr;
    return RwStreamReadInt32(stream, RWPLUGINOFFSET(RwInt32, object, offset), 4);
}

class Cameras : public MathsEngine {
protected:
    void RegisterPlugins() override {
        cameraWordOffset =
            RwCameraRegisterPlugin(sizeof(RwInt32), cameraPluginID, ConstructWord, nullptr, nullptr);
        RwCameraRegisterPluginStream(cameraPluginID, ReadWord, nullptr, nullptr);
    }
};

struct Plane {
    glm::vec3 normal; // outward
    float distance;
};

// The six planes of GLM's projection times view (inward a.x + d >= 0), turned outward and normalised.
std::array<Plane, 6> GlmPlanes(const glm::mat4& world, float wx, float wy, float n, float f, bool parallel) {
    const glm::vec3 r(world[0]), u(world[1]), a(world[2]), p(world[3]);
    // GL looks down -z with x to the right of the screen; the engine's right axis points to the left.
    const glm::mat4 eyeToWorld(glm::vec4(-r, 0), glm::vec4(u, 0), glm::vec4(-a, 0), glm::vec4(p, 1));
    const glm::mat4 projection =
        parallel ? glm::ortho(-wx, wx, -wy, wy, n, f) : glm::frustum(-wx * n, wx * n, -wy * n, wy * n, n, f);
    const glm::mat4 m = projection * glm::inverse(eyeToWorld);
    const glm::vec4 r0 = glm::row(m, 0), r1 = glm::row(m, 1), r2 = glm::row(m, 2), r3 = glm::row(m, 3);
    const glm::vec4 inward[6] = {r3 + r0, r3 - r0, r3 + r1, r3 - r1, r3 + r2, r3 - r2};
    std::array<Plane, 6> planes;
    for (int i = 0; i < 6; ++i) {
        const float length = glm::length(glm::vec3(inward[i]));
        planes[i] = {-glm::vec3(inward[i]) / length, inward[i].w / length};
    }
    return planes;
}

glm::mat4 RandomPlacement(std::mt19937& random) {
    std::uniform_real_distribution<float> value(-20.0f, 20.0f);
    glm::mat4 g = glm::rotate(glm::mat4(1.0f), value(random), RandomUnit(random));
    g[3] = glm::vec4(value(random), value(random), value(random), 1.0f);
    return g;
}

TEST_F(Cameras, Defaults) {
    RwCamera* camera = RwCameraCreate();
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->object.object.type, rwCAMERA);
    EXPECT_EQ(camera->projectionType, rwPERSPECTIVE);
    EXPECT_EQ(camera->nearPlane, 0.05f);
    EXPECT_EQ(camera->farPlane, 10.0f);
    EXPECT_EQ(camera->fogPlane, 5.0f);
    EXPECT_EQ(camera->viewWindow.x, 1.0f);
    EXPECT_EQ(camera->viewWindow.y, 1.0f);
    EXPECT_EQ(camera->recipViewWindow.x, 1.0f);
    EXPECT_EQ(camera->frameBuffer, nullptr);
    EXPECT_EQ(RwCameraGetFrame(camera), nullptr);
    EXPECT_EQ(*RWPLUGINOFFSET(RwInt32, camera, cameraWordOffset), -1);
    // Without a frame a setter only stores.
    const RwV2d window{0.5f, 0.25f};
    RwCameraSetViewWindow(camera, &window);
    EXPECT_EQ(camera->viewWindow.y, 0.25f);
    EXPECT_EQ(camera->recipViewWindow.x, 2.0f);
    EXPECT_EQ(camera->recipViewWindow.y, 4.0f);
    EXPECT_EQ(camera->frustumPlanes[0].plane.distance, 0.0f);
    EXPECT_EQ(RwCameraSetProjection(camera, static_cast<RwCameraProjection>(3)), nullptr);
    EXPECT_EQ(TakeError(), static_cast<RwInt32>(E_RW_BADPARAM));
    EXPECT_EQ(camera->projectionType, rwPERSPECTIVE);
    RwCameraDestroy(camera);
}

// The z scale and shift put the near distance just above the device's z near and the far distance just
// below its z far (0 and 1 on the null device).
TEST_F(Cameras, ZScaleAndShift) {
    RwCamera* camera = RwCameraCreate();
    for (RwCameraProjection projection : {rwPERSPECTIVE, rwPARALLEL}) {
        RwCameraSetProjection(camera, projection);
        RwCameraSetNearClipPlane(camera, 0.5f);
        RwCameraSetFarClipPlane(camera, 400.0f);
        auto depth = [&](float z) {
            return camera->zScale * (projection == rwPARALLEL ? z : 1.0f / z) + camera->zShift;
        };
        EXPECT_NEAR(depth(0.5f), 0.0001f, 1e-6f);
        EXPECT_NEAR(depth(400.0f), 0.9999f, 1e-6f);
    }
    RwCameraDestroy(camera);
}

TEST_F(Cameras, FrustumPlanesAndSpheresMatchGlm) {
    std::mt19937 random(99);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int outside = 0, crossing = 0, inside = 0;
    for (int trial = 0; trial < 60; ++trial) {
        const bool parallel = trial % 3 == 2;
        const float wx = 0.3f + unit(random), wy = 0.3f + unit(random);
        const float n = parallel ? 0.5f + unit(random) : 0.1f + unit(random);
        const float f = 5.0f + 50.0f * unit(random);
        const glm::mat4 placement = RandomPlacement(random);

        RwFrame* frame = RwFrameCreate();
        *RwFrameGetMatrix(frame) = FromGlm(placement, 3);
        RwCamera* camera = RwCameraCreate();
        const RwV2d window{wx, wy};
        RwCameraSetViewWindow(camera, &window);
        RwCameraSetNearClipPlane(camera, n);
        RwCameraSetFarClipPlane(camera, f);
        RwCameraSetProjection(camera, parallel ? rwPARALLEL : rwPERSPECTIVE);
        RwCameraSetFrame(camera, frame);
        RwFrameSyncDirty();

        const std::array<Plane, 6> reference = GlmPlanes(placement, wx, wy, n, f, parallel);
        std::array<bool, 6> matched{};
        for (const RwFrustumPlane& plane : camera->frustumPlanes) {
            const glm::vec3 normal(plane.plane.normal.x, plane.plane.normal.y, plane.plane.normal.z);
            int best = 0;
            for (int j = 1; j < 6; ++j)
                if (glm::dot(normal, reference[j].normal) > glm::dot(normal, reference[best].normal))
                    best = j;
            EXPECT_GT(glm::dot(normal, reference[best].normal), 1.0f - 3e-4f);
            EXPECT_NEAR(plane.plane.distance, reference[best].distance,
                        2e-3f * (1.0f + std::abs(reference[best].distance)));
            EXPECT_EQ(plane.closestX, normal.x >= 0.0f);
            EXPECT_EQ(plane.closestZ, normal.z >= 0.0f);
            matched[best] = true;
        }
        EXPECT_EQ(std::count(matched.begin(), matched.end(), true), 6);
        const glm::vec3 a(placement[2]);
        EXPECT_NEAR(glm::dot(glm::vec3(camera->frustumPlanes[rwFRUSTUMPLANEFAR].plane.normal.x,
                                       camera->frustumPlanes[rwFRUSTUMPLANEFAR].plane.normal.y,
                                       camera->frustumPlanes[rwFRUSTUMPLANEFAR].plane.normal.z),
                             a),
                    1.0f, 1e-6f);

        // The box holds the corners.
        for (const RwV3d& c : camera->frustumCorners) {
            EXPECT_LE(c.x, camera->frustumBoundBox.sup.x);
            EXPECT_GE(c.y, camera->frustumBoundBox.inf.y);
        }

        // Spheres around the frustum, classified by the GLM planes with the same rule.
        const glm::vec3 eye(placement[3]);
        for (int s = 0; s < 200; ++s) {
            const float distance = f * 1.2f * unit(random);
            const glm::vec3 centre = eye + RandomUnit(random) * distance;
            const float radius = 0.05f + f * 0.2f * unit(random);
            int expect = 2;
            bool tie = false;
            for (const Plane& plane : reference) {
                const float d = glm::dot(plane.normal, centre) - plane.distance;
                tie |= std::abs(std::abs(d) - radius) < 1e-2f * (1.0f + glm::length(centre));
                if (d > radius) {
                    expect = 0;
                    break;
                }
                if (d > -radius)
                    expect = 1;
            }
            if (tie)
                continue;
            const RwSphere sphere{{centre.x, centre.y, centre.z}, radius};
            EXPECT_EQ(RwCameraFrustumTestSphere(camera, &sphere), expect);
            outside += expect == 0;
            crossing += expect == 1;
            inside += expect == 2;
        }
        RwCameraDestroy(camera);
        RwFrameDestroy(frame);
    }
    EXPECT_GT(outside, 500);
    EXPECT_GT(crossing, 500);
    EXPECT_GT(inside, 200);
}

TEST_F(Cameras, SphereExactlyOnAPlaneIsCrossing) {
    RwFrame* frame = RwFrameCreate();
    RwCamera* camera = RwCameraCreate();
    RwCameraSetFrame(camera, frame);
    RwFrameSyncDirty();
    // The far plane is z = 10 with normal (0, 0, 1) exactly.
    const RwSphere touching{{0.0f, 0.0f, 10.5f}, 0.5f};
    const RwSphere beyond{{0.0f, 0.0f, 10.5f}, 0.4999f};
    const RwSphere within{{0.0f, 0.0f, 5.0f}, 0.1f};
    const RwSphere behind{{0.0f, 0.0f, -1.0f}, 0.5f};
    EXPECT_EQ(RwCameraFrustumTestSphere(camera, &touching), rwSPHEREBOUNDARY);
    EXPECT_EQ(RwCameraFrustumTestSphere(camera, &beyond), rwSPHEREOUTSIDE);
    EXPECT_EQ(RwCameraFrustumTestSphere(camera, &within), rwSPHEREINSIDE);
    EXPECT_EQ(RwCameraFrustumTestSphere(camera, &behind), rwSPHEREOUTSIDE);
    RwCameraDestroy(camera);
    RwFrameDestroy(frame);
}

// Through the view matrix each corner lands on its corner of the unit square, offsets included.
TEST_F(Cameras, ViewMatrixMapsCornersToTheUnitSquare) {
    std::mt19937 random(4);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float expectU[4] = {0, 1, 1, 0}, expectV[4] = {0, 0, 1, 1};
    for (int trial = 0; trial < 40; ++trial) {
        const bool parallel = trial % 2 == 1;
        RwFrame* frame = RwFrameCreate();
        *RwFrameGetMatrix(frame) = FromGlm(RandomPlacement(random), 3);
        RwCamera* camera = RwCameraCreate();
        const RwV2d window{0.3f + unit(random), 0.3f + unit(random)};
        const RwV2d offset{unit(random) - 0.5f, unit(random) - 0.5f};
        RwCameraSetViewWindow(camera, &window);
        RwCameraSetViewOffset(camera, &offset);
        RwCameraSetNearClipPlane(camera, 0.2f + unit(random));
        RwCameraSetFarClipPlane(camera, 20.0f + 10.0f * unit(random));
        RwCameraSetProjection(camera, parallel ? rwPARALLEL : rwPERSPECTIVE);
        RwCameraSetFrame(camera, frame);
        ASSERT_EQ(RwCameraBeginUpdate(camera), camera);
        EXPECT_EQ(RwEngineInstance->curCamera, camera);
        for (int i = 0; i < 8; ++i) {
            RwV3d v;
            RwVector3TransformPoint(&v, &camera->frustumCorners[i], &camera->viewMatrix);
            const float depth = i < 4 ? camera->nearPlane : camera->farPlane;
            EXPECT_NEAR(v.z, depth, 1e-3f * depth);
            const float u = parallel ? v.x : v.x / v.z, w = parallel ? v.y : v.y / v.z;
            EXPECT_NEAR(u, expectU[i % 4], 2e-4f) << trial << " corner " << i;
            EXPECT_NEAR(w, expectV[i % 4], 2e-4f) << trial << " corner " << i;
        }
        ASSERT_EQ(RwCameraEndUpdate(camera), camera);
        EXPECT_EQ(RwEngineInstance->curCamera, nullptr);
        RwCameraDestroy(camera);
        RwFrameDestroy(frame);
    }
}

TEST_F(Cameras, BeginUpdateSynchronisesMovedFrames) {
    RwFrame* frame = RwFrameCreate();
    RwCamera* camera = RwCameraCreate();
    RwCameraSetFrame(camera, frame);
    ASSERT_EQ(RwCameraBeginUpdate(camera), camera);
    RwCameraEndUpdate(camera);
    EXPECT_FLOAT_EQ(camera->frustumPlanes[rwFRUSTUMPLANEFAR].plane.distance, 10.0f);
    const RwV3d move{0.0f, 0.0f, 5.0f};
    RwMatrixTranslate(RwFrameGetMatrix(frame), &move, rwCOMBINEPOSTCONCAT);
    RwFrameUpdateObjects(frame);
    EXPECT_FLOAT_EQ(camera->frustumPlanes[rwFRUSTUMPLANEFAR].plane.distance, 10.0f);
    ASSERT_EQ(RwCameraBeginUpdate(camera), camera);
    RwCameraEndUpdate(camera);
    EXPECT_FLOAT_EQ(camera->frustumPlanes[rwFRUSTUMPLANEFAR].plane.distance, 15.0f);
    RwCameraDestroy(camera);
    RwFrameDestroy(frame);
}

TEST_F(Cameras, ClearAndShowGoThroughTheDevice) {
    RwCamera* camera = RwCameraCreate();
    RwRGBA colour = {10, 20, 30, 255};
    EXPECT_EQ(RwCameraClear(camera, &colour, rwCAMERACLEARIMAGE | rwCAMERACLEARZ), camera);
    EXPECT_EQ(RwCameraShowRaster(camera, nullptr, 0), nullptr) << "no frame buffer to show";
    RwRaster* frameBuffer = RwRasterCreate(16, 16, 0, rwRASTERTYPECAMERA);
    ASSERT_NE(frameBuffer, nullptr);
    RwCameraSetRaster(camera, frameBuffer);
    EXPECT_EQ(RwCameraShowRaster(camera, nullptr, 0), camera);
    RwCameraSetRaster(camera, nullptr);
    RwRasterDestroy(frameBuffer);
    RwCameraDestroy(camera);
}

// A camera chunk as a file holds it, written here independently of the reader.
void Put32(std::vector<RwUInt8>& bytes, RwUInt32 value) {
    const auto* p = reinterpret_cast<const RwUInt8*>(&value);
    bytes.insert(bytes.end(), p, p + 4);
}
void PutReal(std::vector<RwUInt8>& bytes, float value) {
    Put32(bytes, std::bit_cast<RwUInt32>(value));
}

std::vector<RwUInt8> CameraChunk(const std::vector<float>& reals, RwUInt32 projection, RwUInt32 payloadSize,
                                 RwInt32 word, RwUInt32 structStamp = 0x1803FFFF) {
    std::vector<RwUInt8> payload;
    for (float r : reals)
        PutReal(payload, r);
    Put32(payload, projection);
    payload.resize(payloadSize, 0xEE);
    std::vector<RwUInt8> body;
    Put32(body, rwID_STRUCT);
    Put32(body, payloadSize);
    Put32(body, structStamp);
    body.insert(body.end(), payload.begin(), payload.end());
    Put32(body, rwID_EXTENSION);
    Put32(body, word >= 0 ? 16 : 0);
    Put32(body, 0x1803FFFF);
    if (word >= 0) {
        Put32(body, cameraPluginID);
        Put32(body, 4);
        Put32(body, 0x1803FFFF);
        Put32(body, static_cast<RwUInt32>(word));
    }
    std::vector<RwUInt8> chunk;
    Put32(chunk, rwID_CAMERA);
    Put32(chunk, static_cast<RwUInt32>(body.size()));
    Put32(chunk, 0x1803FFFF);
    chunk.insert(chunk.end(), body.begin(), body.end());
    // Something after the camera, to see where the reader left the stream.
    Put32(chunk, 0x7777);
    Put32(chunk, 0);
    Put32(chunk, 0x1803FFFF);
    return chunk;
}

TEST_F(Cameras, CameraChunksReadBackWhatWasWritten) {
    const std::vector<float> reals{0.7f, 0.4f, 0.1f, -0.2f, 0.3f, 250.0f, 120.0f};
    struct Case {
        const char* name;
        std::vector<RwUInt8> bytes;
        bool succeeds;
        RwInt32 error;
    };
    const Case cases[] = {
        {"perspective", CameraChunk(reals, 1, 32, 42), true, 0},
        {"parallel with a longer payload", CameraChunk(reals, 2, 40, -1), true, 0},
        {"old version", CameraChunk(reals, 1, 32, 42, 0x0310), false, static_cast<RwInt32>(E_RW_BADVERSION)},
        {"short payload: no projection", CameraChunk(reals, 1, 24, -1), false,
         static_cast<RwInt32>(E_RW_BADPARAM)},
        {"bad projection", CameraChunk(reals, 7, 32, -1), false, static_cast<RwInt32>(E_RW_BADPARAM)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RwUInt8> bytes = c.bytes;
        RwMemory memory{bytes.data(), static_cast<RwUInt32>(bytes.size())};
        RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
        ASSERT_TRUE(RwStreamFindChunk(stream, rwID_CAMERA, nullptr, nullptr));
        RwCamera* camera = RwCameraStreamRead(stream);
        EXPECT_EQ(camera != nullptr, c.succeeds);
        if (!c.succeeds) {
            EXPECT_EQ(TakeError(), c.error);
        } else {
            EXPECT_EQ(camera->viewWindow.x, 0.7f);
            EXPECT_EQ(camera->viewWindow.y, 0.4f);
            EXPECT_FLOAT_EQ(camera->recipViewWindow.y, 2.5f);
            EXPECT_EQ(camera->viewOffset.x, 0.1f);
            EXPECT_EQ(camera->viewOffset.y, -0.2f);
            EXPECT_EQ(camera->nearPlane, 0.3f);
            EXPECT_EQ(camera->farPlane, 250.0f);
            EXPECT_EQ(camera->fogPlane, 120.0f);
            EXPECT_EQ(camera->projectionType, c.bytes[12 + 12 + 28] == 1 ? rwPERSPECTIVE : rwPARALLEL);
            EXPECT_EQ(*RWPLUGINOFFSET(RwInt32, camera, cameraWordOffset),
                      c.bytes[12 + 12 + 28] == 1 ? 42 : -1);
            EXPECT_EQ(RwCameraGetFrame(camera), nullptr);
            RwUInt32 next = 0;
            EXPECT_TRUE(RwStreamReadChunkHeader(stream, &next, nullptr, nullptr, nullptr));
            EXPECT_EQ(next, 0x7777u);
            RwCameraDestroy(camera);
        }
        RwStreamClose(stream, nullptr);
    }
}

} // namespace
