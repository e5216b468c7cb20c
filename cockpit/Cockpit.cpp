#include "cockpit/Cockpit.h"

#include "cockpit/Blackout.h"
#include "cockpit/Instruments.h"

#include "aircraft/Airplane.h"
#include "objects/DeviceStates.h"
#include "scene/AtomicData.h"
#include "scene/Attachable.h"
#include "scene/CameraRelative.h"
#include "scene/LoadTexture.h"
#include "scene/RenderProbe.h"
#include "scene/RoleGroups.h"
#include "scene/World.h"

#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/TextTable.h"

#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/world/baclump.h"
#include "rwsdk/world/baworobj.h"

#include <d3d9.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <tuple>
#include <strings.h>

namespace Cockpit {

namespace {

constexpr DWORD MeshFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

RwV3d Sub(const RwV3d& a, const RwV3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
RwV3d AddScaled(const RwV3d& a, const RwV3d& b, float k) {
    return {a.x + b.x * k, a.y + b.y * k, a.z + b.z * k};
}

// The quad's corners take the texture window's corners: UL, (BR.u, UL.v), BR, (UL.u, BR.v).
void SetQuadUv(MeshVertex* v, Base::Vector2 ul, Base::Vector2 br) {
    v[0].u = ul.x, v[0].v = ul.y;
    v[1].u = br.x, v[1].v = ul.y;
    v[2].u = br.x, v[2].v = br.y;
    v[3].u = ul.x, v[3].v = br.y;
}

void SetQuadIndices(uint16_t* out, int slot) {
    const uint16_t base = uint16_t(4 * slot);
    const uint16_t order[6] = {0, 1, 2, 0, 2, 3};
    for (int i = 0; i < 6; ++i)
        out[i] = uint16_t(base + order[i]);
}

void SetPosition(MeshVertex& v, const RwV3d& p) {
    v.x = p.x, v.y = p.y, v.z = p.z;
    v.nx = 0, v.ny = 0, v.nz = -1;
}

} // namespace

Cockpit::DepthWrite::DepthWrite(bool on) {
    RwD3D9GetRenderState(D3DRS_ZWRITEENABLE, &saved);
    RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, on ? TRUE : FALSE);
}

Cockpit::DepthWrite::~DepthWrite() {
    RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, saved);
}

Cockpit::Cockpit()
    : radarTarget(std::make_unique<RadarTarget>()), navpoints(std::make_unique<Navpoints>(this)),
      threats(std::make_unique<Threats>(this)) {
    RwMatrixSetIdentity(&airplaneMatrix);
}

Cockpit::~Cockpit() {
    if (Grp::screenCover == &cover)
        Grp::screenCover = nullptr;
    if (Obj::Object::world) {
        SetWorld(nullptr);
        Obj::Object::world = nullptr;
    }
    // The instruments first: the joystick and throttle hold frames of the model.
    altimeter.reset();
    airspeed.reset();
    adi.reset();
    radar.reset();
    mfd.reset();
    joystick.reset();
    throttle.reset();
    if (indElements)
        RwTextureDestroy(indElements);
    if (indLight)
        RwTextureDestroy(indLight);
    // The display and the overlay go with the attached children.
    DeleteChildren();
}

bool Cockpit::Load(const Base::String& modelPath, Obj::Airplane* owner) {
    airplane = owner;
    radarTarget->owner = owner;
    indElements = Rw::LoadTexture("IndElements", rwTEXTUREADDRESSCLAMP, rwFILTERLINEAR);
    indLight = Rw::LoadTexture("IndLight", rwTEXTUREADDRESSCLAMP, rwFILTERLINEAR);

    const Base::String dataDir = Base::GetText("DataDir");
    auto describe = [&](const Base::String& model) {
        path = Base::MakePath(dataDir + "\\" + Base::GetDirectory(model), Base::GetFileTitle(model), "info");
        description = &Base::InfoCache::Get(path);
        return Obj::Dff::Load(description);
    };
    loaded = describe(modelPath) || describe(DefaultModel);
    // Without a model only the records work: nothing to draw, no instruments.
    if (!loaded || !clump) {
        loaded = false;
        radar = std::make_unique<Radar>(this);
        return false;
    }
    for (const Obj::DffRenderOrder& order : Obj::Clump::renderOrders)
        RenderRole::renderOrders.push_back(order.key);

    Base::Vector3 eye{1.0e9f, 0, 0};
    description->TryGetVector3("Cockpit.EyePosition", eye);
    eyePosition = eye.x > 1.0e8f || !std::isfinite(eye.x) ? RwV3d{0, 0, 0} : RwV3d{eye.x, eye.y, eye.z};

    if (CreateHud)
        if (HudLink* made = CreateHud(this))
            if (auto* display = dynamic_cast<Obj::Frame*>(made)) {
                if (display->GetParent() != this) {
                    display->AttachTo(this, frame, false);
                    RwMatrix identity;
                    RwMatrixSetIdentity(&identity);
                    display->Transform(&identity, rwCOMBINEREPLACE);
                }
                hud = made;
            }
    blackout = new Blackout;
    blackout->airplane = owner;
    blackout->AttachTo(this);

    altimeter = std::make_unique<Altimeter>(this);
    airspeed = std::make_unique<AirspeedInd>(this);
    adi = std::make_unique<ADInd>(this);
    radar = std::make_unique<Radar>(this);
    mfd = std::make_unique<MFDWeapons>(this);
    joystick = std::make_unique<Joystick>(this);
    throttle = std::make_unique<Throttle>(this);
    // The instruments and the display took their atomics out of the model: what is left may mask.
    maskOrder = FindMaskOrder();
    if (maskOrder >= 0)
        RenderRole::renderOrders.insert(RenderRole::renderOrders.begin(), MaskRenderOrder);
    return true;
}

int Cockpit::FindMaskOrder() const {
    if (Obj::Clump::renderOrders.empty())
        return -1;
    const Obj::DffRenderOrder& order = Obj::Clump::renderOrders.front();
    if (order.key <= MaskRenderOrder || order.lods.empty())
        return -1;
    for (const Obj::DffLod& lod : order.lods)
        for (const Obj::DffCommand& command : lod.commands) {
            if (command.type != Obj::DffCommand::RenderAtomics)
                return -1;
            RpGeometry* geometry = command.atomic ? RpAtomicGetGeometry(command.atomic) : nullptr;
            if (!geometry)
                continue;
            if (RpGeometryGetFlags(geometry) & rpGEOMETRYPRELIT)
                if (const RwRGBA* colours = RpGeometryGetPreLightColors(geometry))
                    for (RwInt32 i = 0; i < RpGeometryGetNumVertices(geometry); ++i)
                        if (colours[i].alpha != 255)
                            return -1;
            for (RwInt32 i = 0; i < RpGeometryGetNumMaterials(geometry); ++i) {
                const RpMaterial* material = RpGeometryGetMaterial(geometry, i);
                if (!material || RpMaterialGetTexture(material) || RpMaterialGetColor(material)->alpha != 255)
                    return -1;
            }
        }
    return order.key;
}

uint32_t Cockpit::OpaqueDrawCull() {
    const auto state = [](uint32_t type) {
        uint32_t value = 0;
        RwD3D9GetRenderState(type, &value);
        return value;
    };
    // Opaque faces paint their pixels whatever lies behind them only with colour writes on, no stencil
    // test, a depth test that a cleared buffer passes, an alpha test that full alpha passes and a blend
    // that keeps the source.
    const uint32_t blendFrom = state(D3DRS_SRCBLEND), blendTo = state(D3DRS_DESTBLEND),
                   z = state(D3DRS_ZFUNC);
    const uint32_t alphaTest = state(D3DRS_ALPHAFUNC), alphaRef = state(D3DRS_ALPHAREF) & 0xFF;
    const bool fullAlphaPasses =
        !state(D3DRS_ALPHATESTENABLE) || alphaTest == D3DCMP_ALWAYS || alphaTest == D3DCMP_GREATEREQUAL ||
        ((alphaTest == D3DCMP_GREATER || alphaTest == D3DCMP_NOTEQUAL) && alphaRef < 255);
    const bool paints =
        (state(D3DRS_COLORWRITEENABLE) & 7) == 7 && !state(D3DRS_STENCILENABLE) && fullAlphaPasses &&
        (!state(D3DRS_ZENABLE) || z == D3DCMP_LESS || z == D3DCMP_LESSEQUAL || z == D3DCMP_ALWAYS) &&
        (!state(D3DRS_ALPHABLENDENABLE) ||
         (blendFrom == D3DBLEND_SRCALPHA && blendTo == D3DBLEND_INVSRCALPHA) ||
         (blendFrom == D3DBLEND_ONE && blendTo == D3DBLEND_ZERO));
    return paints ? state(D3DRS_CULLMODE) : 0;
}

void Cockpit::DrawDepthMask(Cameras::Basic* camera) {
    if (Grp::screenCover == &cover)
        Grp::screenCover = nullptr;
    if (maskOrder < 0 || maskCull == 0 || !loaded || !airplane || !ShownAirplane ||
        ShownAirplane(camera) != airplane)
        return;
    RwCamera* engineCamera = RWSRCGLOBAL(curCamera);
    RwFrame* cameraFrame = engineCamera ? RwCameraGetFrame(engineCamera) : nullptr;
    if (!engineCamera || !cameraFrame)
        return;
    // The same clip planes as the cockpit's own draw, so that the shape covers the same pixels.
    const float nearPlane = engineCamera->nearPlane, farPlane = engineCamera->farPlane;
    RwCameraEndUpdate(engineCamera);
    RwCameraSetNearClipPlane(engineCamera, 0.1f);
    RwCameraSetFarClipPlane(engineCamera, 50.0f);
    RwCameraBeginUpdate(engineCamera);
    // The model's pipelines may change states of their own: all go back as they were for the world.
    KeepDeviceStates();
    RwD3D9SetRenderState(D3DRS_ZENABLE, TRUE);
    RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    RwD3D9SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    RwD3D9SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    RwD3D9SetRenderState(D3DRS_STENCILENABLE, FALSE);
    RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    RwD3D9SetRenderState(D3DRS_CULLMODE, maskCull);
    Obj::Clump::worldSphereValid = 0;
    if (coverOn)
        BuildCover(engineCamera);
    Obj::Clump::worldSphereValid = 0;
    Obj::Clump::Render(uint8_t(maskOrder));
    PutBackDeviceStates();
    RwCameraEndUpdate(engineCamera);
    RwCameraSetNearClipPlane(engineCamera, nearPlane);
    RwCameraSetFarClipPlane(engineCamera, farPlane);
    RwCameraBeginUpdate(engineCamera);
    PlaceCover(engineCamera);
}

void Cockpit::BuildCover(RwCamera* engineCamera) {
    const Obj::DffRenderOrder* order = nullptr;
    for (const Obj::DffRenderOrder& candidate : Obj::Clump::renderOrders)
        if (candidate.key == maskOrder)
            order = &candidate;
    Rw::Camera* wrapper = Rw::Camera::FromEngine(engineCamera);
    const float distance = LodDistance();
    const int level = order ? SelectLevel(*order, distance) : -1;
    // Far from the origin single precision moves the drawn shape by pixels: only the camera-relative draw is
    // followed closely enough.
    if (level < 0 || !wrapper || !RwD3D9Device || !(cameraRelDistance > 0 && distance < cameraRelDistance))
        return;
    D3DVIEWPORT9 viewport{};
    if (FAILED(RwD3D9Device->GetViewport(&viewport)))
        return;
    const Grp::ScreenCover::Cull cull = maskCull == D3DCULL_CW    ? Grp::ScreenCover::Cull::Clockwise
                                        : maskCull == D3DCULL_CCW ? Grp::ScreenCover::Cull::CounterClockwise
                                                                  : Grp::ScreenCover::Cull::None;
    cover.Begin(int(viewport.X), int(viewport.Y), int(viewport.Width), int(viewport.Height));
    // As the pass will draw it: the camera at the origin, the model moved by minus its position.
    Rw::BeginCameraRelativeCamera(wrapper);
    Rw::BeginCameraRelativeObject(this);
    D3DMATRIX view, projection;
    RwD3D9GetTransform(D3DTS_VIEW, &view);
    RwD3D9GetTransform(D3DTS_PROJECTION, &projection);
    const float nearPlane = engineCamera->nearPlane, farPlane = engineCamera->farPlane;
    for (const Obj::DffCommand& command : order->lods[size_t(level)].commands) {
        RpAtomic* atomic = command.atomic;
        if (command.type != Obj::DffCommand::RenderAtomics || !atomic ||
            !(RpAtomicGetFlags(atomic) & rpATOMICRENDER))
            continue;
        if (RwCameraFrustumTestSphere(engineCamera, RpAtomicGetWorldBoundingSphere(atomic)) ==
            rwSPHEREOUTSIDE)
            continue;
        RpGeometry* geometry = RpAtomicGetGeometry(atomic);
        if (atomic->renderCallBack == Rw::AtomicLodData::RenderCallback) {
            // The level's own geometry, or nothing drawn.
            const Rw::AtomicLodData* data = Rw::AtomicLodData::Get(atomic);
            geometry = data && level < Rw::AtomicLodData::Levels &&
                               data->savedRenderCallback == AtomicDefaultRenderCallBack
                           ? data->geometries[level]
                           : nullptr;
        } else if (atomic->renderCallBack != AtomicDefaultRenderCallBack) {
            geometry = nullptr; // a draw of its own: its pixels are not known here
        }
        RwFrame* atomicFrame = RpAtomicGetFrame(atomic);
        if (!geometry || !atomicFrame || RpGeometryGetNumMorphTargets(geometry) != 1 ||
            !RpGeometryGetTriangles(geometry))
            continue;
        // Row vectors: the atomic's matrix, the view, the projection.
        const RwMatrix* ltm = RwFrameGetWorldMatrix(atomicFrame);
        const double world[4][4] = {{ltm->right.x, ltm->right.y, ltm->right.z, 0},
                                    {ltm->up.x, ltm->up.y, ltm->up.z, 0},
                                    {ltm->at.x, ltm->at.y, ltm->at.z, 0},
                                    {ltm->pos.x, ltm->pos.y, ltm->pos.z, 1}};
        double toView[4][4], toClip[4][4];
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                toView[r][c] = 0;
                for (int k = 0; k < 4; ++k)
                    toView[r][c] += world[r][k] * view.m[k][c];
            }
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                toClip[r][c] = 0;
                for (int k = 0; k < 4; ++k)
                    toClip[r][c] += toView[r][k] * projection.m[k][c];
            }
        const RwV3d* vertices = RpMorphTargetGetVertices(RpGeometryGetMorphTarget(geometry, 0));
        const RwInt32 count = RpGeometryGetNumVertices(geometry);
        if (!vertices || count <= 0)
            continue;
        coverPoints.resize(size_t(count));
        for (RwInt32 i = 0; i < count; ++i) {
            const RwV3d& v = vertices[i];
            double clip[4];
            for (int c = 0; c < 4; ++c)
                clip[c] = v.x * toClip[0][c] + v.y * toClip[1][c] + v.z * toClip[2][c] + toClip[3][c];
            // Past the far plane a point is as good as cut off: its triangles are left out.
            coverPoints[size_t(i)] = {clip[0], clip[1], clip[3] < farPlane * 0.999 ? clip[3] : -1.0};
        }
        // Faces lit apart keep points of their own at one place: within one draw those are transformed
        // alike, so their edges are shared.
        coverWeld.resize(size_t(count));
        for (RwInt32 i = 0; i < count; ++i)
            coverWeld[size_t(i)] = uint32_t(i);
        const auto bits = [&](uint32_t i) {
            const RwV3d& v = vertices[i];
            return std::tuple(std::bit_cast<uint32_t>(v.x), std::bit_cast<uint32_t>(v.y),
                              std::bit_cast<uint32_t>(v.z), i);
        };
        std::sort(coverWeld.begin(), coverWeld.end(),
                  [&](uint32_t a, uint32_t b) { return bits(a) < bits(b); });
        coverSame.resize(size_t(count));
        for (size_t k = 0; k < coverWeld.size(); ++k) {
            const uint32_t i = coverWeld[k];
            const bool same = k > 0 && std::get<0>(bits(i)) == std::get<0>(bits(coverWeld[k - 1])) &&
                              std::get<1>(bits(i)) == std::get<1>(bits(coverWeld[k - 1])) &&
                              std::get<2>(bits(i)) == std::get<2>(bits(coverWeld[k - 1]));
            coverSame[i] = same ? coverSame[coverWeld[k - 1]] : i;
        }
        const RpTriangle* triangles = RpGeometryGetTriangles(geometry);
        const RwInt32 triangleCount = RpGeometryGetNumTriangles(geometry);
        coverIndices.resize(size_t(std::max<RwInt32>(triangleCount, 0)) * 3);
        for (RwInt32 t = 0; t < triangleCount; ++t)
            for (int k = 0; k < 3; ++k) {
                const uint16_t index = triangles[t].vertIndex[k];
                coverIndices[size_t(t) * 3 + size_t(k)] = index < count ? coverSame[index] : uint32_t(count);
            }
        cover.AddMesh(coverPoints.data(), coverPoints.size(), coverIndices.data(), coverIndices.size(), cull,
                      nearPlane);
    }
    Rw::EndCameraRelativeObject();
    Rw::EndCameraRelativeCamera(wrapper);
    cover.End();
    cover.camera = engineCamera;
    Grp::screenCover = &cover;
}

void Cockpit::PlaceCover(RwCamera* engineCamera) {
    RwFrame* cameraFrame = RwCameraGetFrame(engineCamera);
    if (Grp::screenCover != &cover || !cameraFrame)
        return;
    const RwMatrix* ltm = RwFrameGetWorldMatrix(cameraFrame);
    cover.eye[0] = ltm->pos.x, cover.eye[1] = ltm->pos.y, cover.eye[2] = ltm->pos.z;
    cover.look[0] = ltm->at.x, cover.look[1] = ltm->at.y, cover.look[2] = ltm->at.z;
}

void Cockpit::SetWorld(Grp::World* joined) {
    Grp::World* leaving = Obj::Object::world;
    Obj::Object::SetWorld(joined);
    Obj::SetRenderableWorld(*this, joined);
    Obj::SetRunnableWorld(*this, joined);
    if (joined) {
        if (clump && joined->world)
            RpWorldAddClump(joined->world, clump);
        if (auto* display = dynamic_cast<Obj::Object*>(hud); display && !display->world)
            joined->AddObject(display);
        if (blackout && !blackout->world)
            joined->AddObject(blackout);
        return;
    }
    if (clump && leaving && leaving->world)
        RpWorldRemoveClump(leaving->world, clump);
    if (auto* display = dynamic_cast<Obj::Object*>(hud); display && display->world)
        display->world->RemoveObject(display);
    if (blackout && blackout->world)
        blackout->world->RemoveObject(blackout);
}

float Cockpit::GameTime() const {
    const Grp::World* w = airplane ? airplane->world : nullptr;
    return w ? w->time->time : 0.0f;
}

bool Cockpit::Ejected() const {
    // The pilot's ejection starts the airplane's countdown to its crash; nothing else does.
    return airplane && airplane->crashCountdown >= 0;
}

void Cockpit::Run() {
    if (hud)
        hud->StopWarnings();
    const float now = GameTime();
    threats->Expire(now);
    if (airplane && airplane->frame)
        airplaneMatrix = *RwFrameGetWorldMatrix(airplane->frame);
    if (altimeter)
        altimeter->Update();
    if (airspeed)
        airspeed->Update();
    if (radar)
        radar->Update();
    if (joystick)
        joystick->Update();
    if (throttle)
        throttle->Update();
    if (radar)
        radar->ValidateTarget(*radarTarget);
    if (frame)
        targetData.Update(now, RwFrameGetWorldMatrix(frame)->pos);
}

void Cockpit::Render(unsigned order, Cameras::Basic* camera) {
    if (order == MaskRenderOrder && maskOrder >= 0) {
        DrawDepthMask(camera);
        return;
    }
    if (!loaded || !airplane || !ShownAirplane || ShownAirplane(camera) != airplane)
        return;
    RwCamera* engineCamera = RWSRCGLOBAL(curCamera);
    if (!engineCamera)
        return;
    const auto& orders = Obj::Clump::renderOrders;
    const bool first = orders.empty() || order == orders.front().key;
    const bool last = orders.empty() || order == orders.back().key;
    RwFrame* cameraFrame = RwCameraGetFrame(engineCamera);

    if (first) {
        KeepDeviceStates();
        savedNear = engineCamera->nearPlane;
        savedFar = engineCamera->farPlane;
        airplaneMatrix = *RwFrameGetWorldMatrix(airplane->frame);
        // The cockpit draws in a depth range of its own, in front of everything of the world.
        RwCameraEndUpdate(engineCamera);
        RwCameraSetNearClipPlane(engineCamera, 0.1f);
        RwCameraSetFarClipPlane(engineCamera, 50.0f);
        RwRGBA black{0, 0, 0, 255};
        RwCameraClear(engineCamera, &black, rwCAMERACLEARZ);
        if (cameraFrame)
            RwFrameOrthonormalize(cameraFrame);
        RwCameraBeginUpdate(engineCamera);
    }
    // The clump moves with the airplane, below its frame: its cached sphere is always stale.
    Obj::Clump::worldSphereValid = 0;
    if (int(order) == maskOrder) {
        // The next frame's mask covers only what this pass paints over: the same faces, culled alike.
        maskCull = OpaqueDrawCull();
    }
    Obj::Clump::Render(uint8_t(order));
    if (!last)
        return;

    Rw::Camera* wrapper = Rw::Camera::FromEngine(engineCamera);
    if (wrapper && cameraFrame && Rw::Frame::FromRwFrame(cameraFrame))
        Rw::BeginCameraRelative(wrapper, this);
    {
        Grp::ProbeSection section("cockpit instruments");
        Obj::DeviceStates states;
        D3DMATERIAL9 material{};
        material.Diffuse = {0.8f, 0.8f, 0.8f, 0.8f};
        material.Ambient = {0.3f, 0.3f, 0.3f, 0.3f};
        RwD3D9SetMaterial(&material);
        RwD3D9SetTransformWorld(RwFrameGetWorldMatrix(frame));
        // With the lights on the faces glow through their light texture over the printed one.
        const int stages = lightsOn ? 2 : 1;
        RwD3D9SetTexture(lightsOn ? indLight : indElements, 0);
        states.Stage(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        states.Stage(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        states.Stage(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        states.Stage(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        states.Stage(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        states.Stage(0, D3DTSS_TEXCOORDINDEX, 0);
        if (lightsOn) {
            RwD3D9SetTexture(indElements, 1);
            states.Stage(1, D3DTSS_COLOROP, D3DTOP_ADD);
            states.Stage(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            states.Stage(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
            states.Stage(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
            states.Stage(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
            states.Stage(1, D3DTSS_TEXCOORDINDEX, 0);
        }
        states.Stage(stages, D3DTSS_COLOROP, D3DTOP_DISABLE);
        states.Stage(stages, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        states.Render(D3DRS_LIGHTING, TRUE);
        states.Render(D3DRS_SPECULARENABLE, FALSE);
        states.Render(D3DRS_COLORVERTEX, FALSE);
        states.Render(D3DRS_NORMALIZENORMALS, FALSE);
        states.Render(D3DRS_CULLMODE, D3DCULL_NONE);
        states.Render(D3DRS_ALPHATESTENABLE, FALSE);
        states.Render(D3DRS_ALPHABLENDENABLE, TRUE);
        states.Render(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        states.Render(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        states.Render(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
        // The monitors' symbology lies a hair behind their faces: the faces must not hide it.
        states.Render(D3DRS_ZWRITEENABLE, FALSE);
        RwD3D9SetVertexShader(nullptr);
        RwD3D9SetPixelShader(nullptr);
        RwD3D9SetFVF(MeshFvf);

        if (adi)
            adi->Update();
        if (faceCount > 0)
            RwD3D9DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, uint32_t(4 * faceCount),
                                         uint32_t(2 * faceCount), faceIndices, faceVertices,
                                         sizeof(MeshVertex));
        if (needleCount > 0) {
            states.Render(D3DRS_ZFUNC, D3DCMP_ALWAYS);
            states.Render(D3DRS_ALPHATESTENABLE, TRUE);
            states.Render(D3DRS_ALPHAREF, 128);
            states.Render(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
            RwD3D9DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, uint32_t(4 * needleCount),
                                         uint32_t(2 * needleCount), needleIndices, needleVertices,
                                         sizeof(MeshVertex));
        }
        RwD3D9SetTexture(nullptr, 0);
        RwD3D9SetTexture(nullptr, 1);
        states.Render(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
        states.Render(D3DRS_ALPHATESTENABLE, FALSE);

        if (radar) {
            Grp::ProbeSection section("cockpit radar");
            radar->Render();
        }
        if (mfd) {
            Grp::ProbeSection section("cockpit weapons display");
            mfd->Render();
        }
        if (hud) {
            Grp::ProbeSection section("head-up display");
            hud->Render(camera);
        }
    }
    if (wrapper && cameraFrame && Rw::Frame::FromRwFrame(cameraFrame)) {
        Rw::EndCameraRelativeObject();
        Rw::EndCameraRelativeCamera(wrapper);
    }
    // The world is drawn: the record is this frame's no longer.
    if (Grp::screenCover == &cover)
        Grp::screenCover = nullptr;
    // Back to the world's depth range, as the camera had it.
    RwCameraEndUpdate(engineCamera);
    RwCameraSetNearClipPlane(engineCamera, savedNear);
    RwCameraSetFarClipPlane(engineCamera, savedFar);
    if (cameraFrame)
        RwFrameOrthonormalize(cameraFrame);
    RwCameraBeginUpdate(engineCamera);
    PutBackDeviceStates();
}

void Cockpit::KeepDeviceStates() {
    for (uint32_t state = 0; state < 210; ++state)
        RwD3D9GetRenderState(state, &savedRenderStates[state]);
    for (uint32_t stage = 0; stage < 4; ++stage)
        for (uint32_t type = 1; type < 33; ++type)
            RwD3D9GetTextureStageState(stage, type, &savedStageStates[stage][type]);
}

void Cockpit::PutBackDeviceStates() {
    for (uint32_t state = 0; state < 210; ++state) {
        uint32_t now = 0;
        RwD3D9GetRenderState(state, &now);
        if (now != savedRenderStates[state])
            RwD3D9SetRenderState(state, savedRenderStates[state]);
    }
    for (uint32_t stage = 0; stage < 4; ++stage)
        for (uint32_t type = 1; type < 33; ++type) {
            uint32_t now = 0;
            RwD3D9GetTextureStageState(stage, type, &now);
            if (now != savedStageStates[stage][type])
                RwD3D9SetTextureStageState(stage, type, savedStageStates[stage][type]);
        }
}

// ---- the instrument mesh

RpAtomic* Cockpit::FindAtomic(const char* name) const {
    if (!clump || !name)
        return nullptr;
    struct Search {
        const char* name;
        RpAtomic* found;
    } search{name, nullptr};
    RpClumpForAllAtomics(
        clump,
        [](RpAtomic* atomic, void* data) -> RpAtomic* {
            auto* s = static_cast<Search*>(data);
            if (strcasecmp(Rw::GetAtomicName(atomic), s->name) != 0)
                return atomic;
            s->found = atomic;
            return nullptr;
        },
        &search);
    return search.found;
}

bool Cockpit::FaceQuad(const char* name, RwV3d quad[4]) const {
    RpAtomic* atomic = FindAtomic(name);
    RpGeometry* geometry = atomic ? RpAtomicGetGeometry(atomic) : nullptr;
    RwFrame* atomicFrame = atomic ? RpAtomicGetFrame(atomic) : nullptr;
    // A face is a quad: fewer than four vertices cannot be one.
    if (!geometry || !atomicFrame || !frame || RpGeometryGetNumVertices(geometry) < 4 ||
        RpGeometryGetNumMorphTargets(geometry) < 1)
        return false;
    RwMatrix inverse, toCockpit;
    RwMatrixInvert(&inverse, RwFrameGetWorldMatrix(frame));
    RwMatrixMultiply(&toCockpit, RwFrameGetWorldMatrix(atomicFrame), &inverse);
    RwVector3TransformPoints(quad, RpMorphTargetGetVertices(RpGeometryGetMorphTarget(geometry, 0)), 4,
                             &toCockpit);
    return true;
}

RwMatrix Cockpit::DisplayMatrix(const RwV3d quad[4]) {
    const RwV3d c = {(quad[0].x + quad[2].x) / 2, (quad[0].y + quad[2].y) / 2, (quad[0].z + quad[2].z) / 2};
    const float hx = 0.8f * std::fabs(quad[0].x - c.x), hy = 0.8f * std::fabs(quad[0].y - c.y);
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    const RwV3d right = Base::Normalize3d(Sub(quad[0], quad[1]));
    const RwV3d up = Base::Normalize3d(Sub(quad[0], quad[3]));
    m.right = {right.x * hx, right.y * hx, right.z * hx};
    m.up = {up.x * hy, up.y * hy, up.z * hy};
    m.at = Base::CrossProduct(m.right, m.up);
    m.pos = AddScaled(c, m.at, 0.1f);
    RwMatrixUpdate(&m);
    return m;
}

Base::Vector2 Cockpit::ReadPoint(const char* key) const {
    Base::Vector2 p{0, 0};
    if (!description || !description->TryGetPoint(key, p) || !std::isfinite(p.x) || !std::isfinite(p.y))
        return {0, 0};
    return p;
}

float Cockpit::ReadFloat(const char* key, float fallback) const {
    float value = fallback;
    if (!description || !description->TryGetFloat(key, value) || !std::isfinite(value))
        return fallback;
    return value;
}

bool Cockpit::BuildFace(const char* name, RwV3d* centre, RwV3d* normal) {
    RwV3d quad[4];
    if (faceCount >= MaxFaces || !FaceQuad(name, quad))
        return false;
    MeshVertex* v = faceVertices + 4 * faceCount;
    for (int i = 0; i < 4; ++i)
        SetPosition(v[i], quad[i]);
    const Base::String key = Base::String("Cockpit.") + name;
    SetQuadUv(v, ReadPoint((key + ".BkgrTexCoordsUL").c_str()),
              ReadPoint((key + ".BkgrTexCoordsBR").c_str()));
    SetQuadIndices(faceIndices + 6 * faceCount, faceCount);

    // From now on the face exists only in the mesh.
    RemoveAtomic(FindAtomic(name));

    if (centre)
        *centre = {(quad[0].x + quad[2].x) / 2, (quad[0].y + quad[2].y) / 2, (quad[0].z + quad[2].z) / 2};
    if (normal)
        *normal = Base::Normalize3d(Base::CrossProduct(Sub(quad[1], quad[0]), Sub(quad[3], quad[0])));
    ++faceCount;
    return true;
}

void Cockpit::RemoveAtomic(RpAtomic* atomic) {
    if (!atomic || !clump)
        return;
    for (Obj::DffRenderOrder& order : Obj::Clump::renderOrders)
        for (Obj::DffLod& lod : order.lods)
            std::erase_if(lod.commands, [atomic](const Obj::DffCommand& command) {
                return command.type == Obj::DffCommand::RenderAtomics && command.atomic == atomic;
            });
    RwFrame* atomicFrame = RpAtomicGetFrame(atomic);
    RpClumpRemoveAtomic(clump, atomic);
    RpAtomicSetFrame(atomic, nullptr);
    RpAtomicDestroy(atomic);
    if (atomicFrame && atomicFrame != frame && !atomicFrame->child && !Rw::Frame::FromRwFrame(atomicFrame)) {
        RwFrameRemoveChild(atomicFrame);
        RwFrameDestroy(atomicFrame);
    }
}

int Cockpit::BuildNeedle(const char* name, const RwV3d& pivot, const RwV3d& direction, const RwV3d& normal) {
    if (needleCount >= MaxNeedles)
        return -1;
    const Base::String key = Base::String("Cockpit.") + name;
    const float length = ReadFloat((key + ".Length").c_str(), -1.0f);
    const float thickness = ReadFloat((key + ".Thickness").c_str(), -1.0f);
    const float centre = ReadFloat((key + ".Center").c_str(), 0.0f);
    const RwV3d side = Base::Normalize3d(Base::CrossProduct(direction, normal));
    const float behind = centre * length, ahead = length - behind;
    const RwV3d corners[4] = {
        AddScaled(AddScaled(pivot, direction, ahead), side, -thickness),
        AddScaled(AddScaled(pivot, direction, ahead), side, thickness),
        AddScaled(AddScaled(pivot, direction, -behind), side, thickness),
        AddScaled(AddScaled(pivot, direction, -behind), side, -thickness),
    };
    const int index = needleCount;
    MeshVertex* v = needleVertices + 4 * index;
    for (int i = 0; i < 4; ++i) {
        needleCorners[index][i] = Sub(corners[i], pivot);
        SetPosition(v[i], corners[i]);
    }
    SetQuadUv(v, ReadPoint((key + ".BkgrTexCoordsUL").c_str()),
              ReadPoint((key + ".BkgrTexCoordsBR").c_str()));
    SetQuadIndices(needleIndices + 6 * index, index);
    ++needleCount;
    return index;
}

void Cockpit::SetNeedleAngle(int needle, float angle, const RwV3d& pivot, const RwV3d& axis) {
    if (needle < 0 || needle >= needleCount)
        return;
    for (int i = 0; i < 4; ++i)
        SetPosition(
            needleVertices[4 * needle + i],
            AddScaled(pivot, Base::RotateVectorAroundAxis(needleCorners[needle][i], axis, angle), 1.0f));
}

// ---- what the airplane, its pilots and its weapons ask

void Cockpit::ReportThreat(Obj::Frame* source, int level) {
    threats->Add(level, source);
}

std::size_t Cockpit::GetThreatCount() const {
    return threats->entries.size();
}

bool Cockpit::GetThreat(std::size_t i, Obj::CockpitLink::Threat& out) const {
    if (i >= threats->entries.size())
        return false;
    const ::Cockpit::Threat& entry = threats->entries[i];
    out.level = entry.kind;
    out.source = entry.source.Get();
    out.time = entry.time;
    return true;
}

Obj::Target* Cockpit::GetRadarTarget() const {
    return radarTarget->target.Get();
}

void Cockpit::SetRadarTarget(int kind, Obj::Target* target) {
    if (radar)
        radar->SetTarget(*radarTarget, kind, target);
}

int Cockpit::SetRadarTargetKind(int kind) {
    return radar ? radar->SetTargetKind(*radarTarget, kind) : 0;
}

void Cockpit::SelectRadarTarget(int form, int kind) {
    if (radar)
        radar->SelectTarget(*radarTarget, form == 1, kind);
}

void Cockpit::SetRadarRangeNext(int direction) {
    if (radar)
        radar->SetRangeNext(direction);
}

bool Cockpit::GetTargetRange(float* range, float* rangeRate) const {
    if (!radarTarget->target || !targetData.target)
        return false;
    if (range)
        *range = targetData.distance;
    if (rangeRate)
        *rangeRate = -targetData.closingSpeed;
    return true;
}

void Cockpit::SelectNextNavpoint() {
    navpoints->SelectNext();
}

void Cockpit::AddNavpoint(int index, const char* name, float x, float z) {
    navpoints->Add(index, name ? name : "", x, z);
}

void Cockpit::RemoveNavpoint(int index) {
    navpoints->Remove(index);
}

std::size_t Cockpit::GetNavpointCount() const {
    return navpoints->points.size();
}

void Cockpit::SetCurrentNavpoint(int index) {
    // Past the end (or before the start): none.
    navpoints->current = index >= 0 && size_t(index) < navpoints->points.size() ? index : -1;
}

bool Cockpit::GetNavpoint(int index, float& x, float& z) const {
    const Navpoint* point = navpoints->Get(index);
    if (!point)
        return false;
    x = point->x;
    z = point->z;
    return true;
}

bool Cockpit::GetCurrentNavpoint(Base::String* name, RwV3d* position) const {
    const Navpoint* point = navpoints->Get(navpoints->current);
    if (!point)
        return false;
    if (name)
        *name = point->name;
    if (position)
        *position = {point->x, 0, point->z};
    return true;
}

RwV3d Cockpit::GetEyeOffset() const {
    // The cockpit's frame hangs on the airplane's: its own placement takes the eye into the airplane's axes.
    if (!frame)
        return eyePosition;
    RwV3d out;
    RwVector3TransformPoint(&out, &eyePosition, &frame->modelling);
    return out;
}

bool Cockpit::IntersectSegment(const RwLine* segment) {
    Obj::Clump::worldSphereValid = 0; // it moves with the airplane
    return loaded && segment && Obj::Clump::IntersectSegment(segment, nullptr, nullptr);
}

RwV3d Cockpit::GetEyePosition() const {
    if (!frame)
        return eyePosition;
    RwV3d out;
    RwVector3TransformPoint(&out, &eyePosition, RwFrameGetWorldMatrix(frame));
    return out;
}

// ---- start-up

void RegisterCockpit() {
    Obj::Airplane::CreateCockpit = [](Obj::Airplane* owner,
                                      const Base::String& modelPath) -> Obj::CockpitLink* {
        auto* made = new Cockpit;
        // A cockpit without a model still keeps the airplane's radar target, threats and navpoints.
        made->Load(modelPath, owner);
        if (owner && owner->frame && made->frame)
            RwFrameAddChild(owner->frame, made->frame);
        return made;
    };
}

} // namespace Cockpit
