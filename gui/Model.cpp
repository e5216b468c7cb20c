#include "gui/Model.h"

#include "base/FrameClock.h"
#include "base/Info.h"
#include "gui/ClipStack.h"
#include "gui/Desktop.h"
#include "gui/draw/DrawStates.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/world/rpworld.h"
#include "scene/Attachable.h"
#include "scene/Dff.h"
#include "scene/EngineHost.h"
#include "scene/MatrixHelpers.h"

#include <cmath>
#include <cstdint>

namespace Gui {

namespace {

const Base::ClassRegistration<Model> registration("class Gui::Model");

// The render order that the preview leaves out (-127 as a pass value).
constexpr uint8_t HiddenOrder = uint8_t(-127);

// Engine render states the model's pipelines may leave changed; put back before the interface goes on.
const RwRenderState KeptStates[] = {
    rwRENDERSTATETEXTURERASTER,     rwRENDERSTATEZTESTENABLE, rwRENDERSTATESHADEMODE,
    rwRENDERSTATEZWRITEENABLE,      rwRENDERSTATESRCBLEND,    rwRENDERSTATEDESTBLEND,
    rwRENDERSTATEVERTEXALPHAENABLE, rwRENDERSTATEFOGENABLE,   rwRENDERSTATECULLMODE,
    rwRENDERSTATEALPHATESTFUNCTION,
};
constexpr size_t KeptCount = sizeof KeptStates / sizeof KeptStates[0];

float Length(const Base::Vector3& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

void Normalise(Base::Vector3& v) {
    const float length = Length(v);
    if (length > 0) {
        v.x /= length;
        v.y /= length;
        v.z /= length;
    }
}

} // namespace

ModelBase::ModelBase() {
    // Widgets can be made before the engine runs (a class check, a page built early): such a preview has no
    // world and draws nothing.
    if (RwEngineGetStatus() != rwENGINESTATUSSTARTED)
        return;
    const RwBBox box = {{1000, 1000, 1000}, {-1000, -1000, -1000}};
    world = new Rw::World(&box);
    camera = new Obj::Camera;
    ambientLight = new Obj::Light(rpLIGHTAMBIENT);
    directionalLight = new Obj::Light(rpLIGHTDIRECTIONAL);
    if (world->world) {
        RpWorldSetFlags(world->world, rpWORLDLIGHT | rpWORLDNORMALS);
        if (camera->camera)
            RpWorldAddCamera(world->world, camera->camera);
        if (ambientLight->light)
            RpWorldAddLight(world->world, ambientLight->light);
        if (directionalLight->light)
            RpWorldAddLight(world->world, directionalLight->light);
    }
}

ModelBase::~ModelBase() {
    SetModel({});
    if (world && world->world) {
        if (camera->camera)
            RpWorldRemoveCamera(world->world, camera->camera);
        if (ambientLight->light)
            RpWorldRemoveLight(world->world, ambientLight->light);
        if (directionalLight->light)
            RpWorldRemoveLight(world->world, directionalLight->light);
    }
    delete camera;
    delete ambientLight;
    delete directionalLight;
    delete world;
}

bool ModelBase::SetModel(const Base::String& name) {
    if (model) {
        if (world && world->world && model->clump)
            RpWorldRemoveClump(world->world, model->clump);
        delete model;
        model = nullptr;
    }
    modelName = name;
    if (name.empty())
        return true;
    model = new Obj::Dff;
    const Base::Info description = Base::Info::ConstructFromFile(modelName);
    if (!model->Load(&description) || !model->clump) {
        delete model;
        model = nullptr;
        return false;
    }
    if (world && world->world)
        RpWorldAddClump(world->world, model->clump);
    return true;
}

bool ModelBase::Load(const Base::Info& node) {
    node.TryGetVector3("ModelCameraOffset", cameraOffset);
    float degrees = 0;
    if (node.TryGetFloat("ModelViewAngle", degrees))
        viewAngle = degrees * float(Base::Pi) / 180.0f;
    node.TryGetColor("ModelAmbLightColor", ambientColor);
    node.TryGetColor("ModelDirLightColor", dirLightColor);
    node.TryGetVector3("ModelDirLightDir", dirLightDir);
    Normalise(dirLightDir);
    node.TryGetVector3("ModelRotVel", rotationVelocity);
    Base::String name;
    if (node.TryGetString("ModelDff", name))
        SetModel(name);
    return true;
}

void ModelBase::Draw(const Desktop* desktop, const Rect& rect) {
    if (!model || !model->clump || !camera || !camera->camera || !Rw::ColourRaster || !Rw::DepthRaster)
        return;

    // Spin about the model's own position by the last frame's share of the angular velocity.
    const float speed = Length(rotationVelocity);
    if (speed > 0) {
        const RwV3d axis = {rotationVelocity.x / speed, rotationVelocity.y / speed,
                            rotationVelocity.z / speed};
        const RwV3d position = RwFrameGetMatrix(model->frame)->pos;
        RwMatrix turn;
        RwMatrixSetIdentity(&turn);
        const float degrees = float(double(speed) * 180.0 / Base::Pi * Base::FrameClock::FrameTime);
        Base::RotateMatrixAboutPoint(&turn, axis, degrees, rwCOMBINEREPLACE, position);
        model->Transform(&turn, rwCOMBINEPOSTCONCAT);
    }

    // The widget's part of the screen.
    Base::Vector2 topLeft{rect.left, rect.top}, bottomRight{rect.right, rect.bottom};
    if (desktop) {
        topLeft = desktop->VirtualToScreen(topLeft);
        bottomRight = desktop->VirtualToScreen(bottomRight);
    }
    const float left = std::max(topLeft.x, 0.0f), top = std::max(topLeft.y, 0.0f);
    const float right = std::min(bottomRight.x, float(Rw::ColourRaster->width));
    const float bottom = std::min(bottomRight.y, float(Rw::ColourRaster->height));
    // Written so that NaN sides draw nothing too.
    if (!(std::min(right - left, bottom - top) >= 1.0f))
        return;
    const RwRect pixels = {RwInt32(std::floor(left + 0.5f)), RwInt32(std::floor(top + 0.5f)),
                           RwInt32(std::floor(right - left + 0.5f)),
                           RwInt32(std::floor(bottom - top + 0.5f))};

    RwCamera* mainCamera = RWSRCGLOBAL(curCamera);
    if (mainCamera)
        RwCameraEndUpdate(mainCamera);
    RwRaster* colour = RwRasterCreate(0, 0, 0, rwRASTERTYPECAMERA | rwRASTERDONTALLOCATE);
    RwRaster* depth = RwRasterCreate(0, 0, 0, rwRASTERTYPEZBUFFER | rwRASTERDONTALLOCATE);
    if (colour && depth && RwRasterSubRaster(colour, Rw::ColourRaster, &pixels) &&
        RwRasterSubRaster(depth, Rw::DepthRaster, &pixels)) {
        RwCamera* engineCamera = camera->camera;
        RwCameraSetRaster(engineCamera, colour);
        RwCameraSetZRaster(engineCamera, depth);

        // Looking at the bounding sphere's centre from the offset in radii, framing it whatever its size.
        const RwSphere sphere = *model->GetWorldBoundingSphere();
        const float r = sphere.radius > 0 ? sphere.radius : 1.0f;
        RwMatrix place;
        RwMatrixSetIdentity(&place);
        place.pos = {sphere.center.x + r * cameraOffset.x, sphere.center.y + r * cameraOffset.y,
                     sphere.center.z + r * cameraOffset.z};
        Base::SetMatrixLookAt(sphere.center, &place, {0, 1, 0});
        camera->Transform(&place, rwCOMBINEREPLACE);
        camera->SetFieldOfView(viewAngle);
        camera->SetAspectRatio(1.0f);
        RwCameraSetNearClipPlane(engineCamera, r * 0.1f);
        RwCameraSetFarClipPlane(engineCamera, r * 10.0f);

        // Lights: the colours, and the directional one shining along its at axis.
        const RwRGBAReal ambient = {ambientColor.r, ambientColor.g, ambientColor.b, ambientColor.a};
        const RwRGBAReal directional = {dirLightColor.r, dirLightColor.g, dirLightColor.b, dirLightColor.a};
        if (ambientLight->light)
            RpLightSetColor(ambientLight->light, &ambient);
        if (directionalLight->light) {
            RpLightSetColor(directionalLight->light, &directional);
            Base::Vector3 at = dirLightDir;
            Normalise(at);
            if (Length(at) > 0) {
                RwMatrix aim;
                RwMatrixSetIdentity(&aim);
                aim.pos = {0, 0, 0};
                const RwV3d hint = std::fabs(at.y) > 0.99f ? RwV3d{0, 0, 1} : RwV3d{0, 1, 0};
                Base::SetMatrixLookDirection(&aim, {at.x, at.y, at.z}, hint);
                directionalLight->Transform(&aim, rwCOMBINEREPLACE);
            }
        }

        // The engine's states as the interface left them, and the clip stack's top as the scissor rect.
        uintptr_t kept[KeptCount] = {}; // the raster is a pointer, the rest 32-bit values
        for (size_t i = 0; i < KeptCount; ++i)
            RwRenderStateGet(KeptStates[i], &kept[i]);
        Rw::SavedRenderStates saved;
        ScissorSave scissor;
        if (const Rect* clip = GetClipRect()) {
            RECT r2;
            r2.left = LONG(std::lround(clip->left));
            r2.top = LONG(std::lround(clip->top));
            r2.right = std::max(LONG(std::lround(clip->right)), r2.left + 1);
            r2.bottom = std::max(LONG(std::lround(clip->bottom)), r2.top + 1);
            scissor.Set(r2);
            saved.SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
        } else {
            saved.SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
        }
        // The clear below must see the scissor.
        RwD3D9RenderStateFlushCache();

        // Depth and stencil only: the interface drawn so far stays behind the model.
        RwCameraClear(engineCamera, nullptr, rwCAMERACLEARZ | rwCAMERACLEARSTENCIL);
        if (RwCameraBeginUpdate(engineCamera)) {
            RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
            RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
            RwRenderStateSet(rwRENDERSTATEVERTEXALPHAENABLE, reinterpret_cast<void*>(uintptr_t(FALSE)));
            for (const Obj::DffRenderOrder& order : model->renderOrders)
                if (order.key != HiddenOrder)
                    model->Render(order.key);
            RwCameraEndUpdate(engineCamera);
        }

        for (size_t i = 0; i < KeptCount; ++i)
            RwRenderStateSet(KeptStates[i], reinterpret_cast<void*>(kept[i]));
        saved.Restore();
        scissor.Restore();
        RwCameraSetRaster(engineCamera, nullptr);
        RwCameraSetZRaster(engineCamera, nullptr);
    }
    if (colour)
        RwRasterDestroy(colour);
    if (depth)
        RwRasterDestroy(depth);
    if (mainCamera)
        RwCameraBeginUpdate(mainCamera);
}

bool Model::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Widget::Load(widgetName, node))
        return false;
    return ModelBase::Load(node);
}

void Model::Draw() {
    ModelBase::Draw(owner, absRect);
    DrawChildren();
}

} // namespace Gui
