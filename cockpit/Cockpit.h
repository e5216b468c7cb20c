// Cockpit::Cockpit: the 3D cockpit of one airplane. A model drawn only through that airplane's cockpit
// camera, in a depth range of its own in front of the world, with an instrument mesh (dial faces and
// needles) built from named atomics of the model, the instruments, the radar, the navigation points, the
// head-up display and the records that the rest of the game feeds: the radar target, the target data and
// the threat list. Every airplane gets one, computer-flown ones too; it costs nothing unless looked through.
#pragma once

#include "cockpit/Navpoints.h"
#include "cockpit/Radar.h"
#include "cockpit/TargetData.h"
#include "cockpit/Threats.h"

#include "aircraft/CockpitLink.h"
#include "scene/Dff.h"
#include "scene/ObjectModel.h"
#include "scene/ScreenCover.h"

#include "base/String.h"

#include <cstdint>
#include <memory>
#include <vector>

struct RwTexture;

namespace Cockpit {

class Altimeter;
class AirspeedInd;
class ADInd;
class MFDWeapons;
class Joystick;
class Throttle;
class Blackout;

// What the cockpit asks of its head-up display, which lives beside the cameras; the display's maker makes
// an object (a frame object) that the cockpit attaches below itself.
class HudLink {
public:
    virtual ~HudLink() = default;
    virtual void StopWarnings() = 0;
    // Drawn by the cockpit, last, inside its own depth range.
    virtual void Render(Cameras::Basic* camera) = 0;
};

// The 32-byte vertex of the instrument mesh (position, normal, u, v).
struct MeshVertex {
    float x = 0, y = 0, z = 0;
    float nx = 0, ny = 0, nz = -1;
    float u = 0, v = 0;
};

class Cockpit : public Obj::Object,
                public Obj::Dff,
                public Obj::Renderable,
                public Obj::Runnable,
                public Obj::CockpitLink {
public:
    using RenderRole = Alg::Render::Object<Cameras::Basic>;
    static constexpr int MaxFaces = 5, MaxNeedles = 3;
    static constexpr const char* DefaultModel = "Airplanes\\DefaultCockpit.dff";

    // The airplane whose cockpit the camera shows (a cockpit camera with its show-cockpit flag set), or
    // null for any other camera. The camera layer installs it; without it no cockpit is drawn.
    static inline Obj::Airplane* (*ShownAirplane)(Cameras::Basic* camera) = nullptr;
    // The head-up display's maker, installed by its layer; without it the cockpit has no display. The
    // display may hang itself below the cockpit's frame where it belongs (on the glass); else the cockpit
    // hangs it at its own origin.
    static inline HudLink* (*CreateHud)(Cockpit* cockpit) = nullptr;

    Cockpit();
    ~Cockpit() override;

    // The model of that path (its description under the data directory, beside the model's folder), or the
    // default cockpit when it does not load; then the display, overlay, records and instruments. False only
    // when neither model loads: the cockpit is then absent (nothing to draw, no instruments) but its records
    // work.
    bool Load(const Base::String& modelPath, Obj::Airplane* owner);
    using Obj::Dff::Load;

    void SetWorld(Grp::World* world) override;
    void Run() override;
    void Render(unsigned order, Cameras::Basic* camera) override;
    // The pass, before the world's, in which the cockpit lays its opaque shape into the depth buffer (colour
    // writes off), so that the world's pixels behind it, which its own draw paints over, are not shaded.
    static constexpr uint8_t MaskRenderOrder = 1;
    const RwSphere* GetBoundingSphere() override { return nullptr; }

    // Obj::CockpitLink.
    void ReportThreat(Obj::Frame* source, int level) override;
    std::size_t GetThreatCount() const override;
    bool GetThreat(std::size_t i, Threat& out) const override;
    Obj::Target* GetRadarTarget() const override;
    void SetRadarTarget(int kind, Obj::Target* target) override;
    int SetRadarTargetKind(int kind) override;
    void SelectRadarTarget(int form, int kind) override;
    void SetRadarRangeNext(int direction) override;
    bool GetTargetRange(float* range, float* rangeRate) const override;
    void SelectNextNavpoint() override;
    void AddNavpoint(int index, const char* name, float x, float z) override;
    void RemoveNavpoint(int index) override;
    std::size_t GetNavpointCount() const override;
    void SetCurrentNavpoint(int index) override;
    bool GetNavpoint(int index, float& x, float& z) const override;
    bool GetCurrentNavpoint(Base::String* name, RwV3d* position) const override;
    RwV3d GetEyePosition() const override;
    RwV3d GetEyeOffset() const override;
    // The model's own test (false without a model); the clump's form stays.
    bool IntersectSegment(const RwLine* segment) override;
    using Obj::Clump::IntersectSegment;

    // The instrument mesh. A face is the named atomic's quad moved into the mesh (the atomic leaves the
    // model); false when the model has no such atomic with four vertices or the mesh is full.
    bool BuildFace(const char* name, RwV3d* centre, RwV3d* normal);
    // A needle about pivot pointing along direction at angle 0; its index, or -1 when the mesh is full.
    int BuildNeedle(const char* name, const RwV3d& pivot, const RwV3d& direction, const RwV3d& normal);
    void SetNeedleAngle(int needle, float angle, const RwV3d& pivot, const RwV3d& axis);

    // The named atomic of the model, or null.
    RpAtomic* FindAtomic(const char* name) const;
    // Takes the atomic out of the model and its drawing lists and destroys it (with its own frame).
    void RemoveAtomic(RpAtomic* atomic);
    // The first four vertices of the named atomic in the cockpit's frame; false without such an atomic.
    bool FaceQuad(const char* name, RwV3d quad[4]) const;
    // The drawing matrix of a monitor face: -1..1 over 80 percent of the face, just in front of it.
    static RwMatrix DisplayMatrix(const RwV3d quad[4]);
    // A point ("u v") of the description; (0, 0) when missing.
    Base::Vector2 ReadPoint(const char* key) const;
    float ReadFloat(const char* key, float fallback) const;

    // The cockpit's opaque shape in the depth buffer, colour writes off (the mask pass).
    void DrawDepthMask(Cameras::Basic* camera);
    // The model's first pass, when its every level draws only atomics whose materials are opaque and
    // untextured; else -1.
    int FindMaskOrder() const;
    // The cull mode of the model's opaque pass as the device's states stand, or 0 when they would not paint
    // every pixel of its faces over what lies behind.
    static uint32_t OpaqueDrawCull();
    // Where the mask (and so the model's opaque pass) paints every pixel in this view, into cover, published
    // as the frame's record; none when the pass's placement cannot be followed (no camera-relative drawing).
    void BuildCover(RwCamera* engineCamera);
    // The record's note of where the camera stands and looks for the world's passes, taken once the mask
    // has put the camera back.
    void PlaceCover(RwCamera* engineCamera);
    // The device's render and stage states kept, then put back where they changed.
    void KeepDeviceStates();
    void PutBackDeviceStates();

    // The world's time, 0 outside a world.
    float GameTime() const;
    // The pilot has left the airplane (its countdown to the crash runs).
    bool Ejected() const;

    // Sets or restores the depth-write state for the length of a draw.
    class DepthWrite {
    public:
        explicit DepthWrite(bool on);
        ~DepthWrite();
        DepthWrite(const DepthWrite&) = delete;
        DepthWrite& operator=(const DepthWrite&) = delete;

    private:
        uint32_t saved;
    };

    uint8_t lightsOn = 0;
    MeshVertex faceVertices[MaxFaces * 4];
    uint16_t faceIndices[MaxFaces * 6] = {};
    MeshVertex needleVertices[MaxNeedles * 4];
    uint16_t needleIndices[MaxNeedles * 6] = {};
    RwV3d needleCorners[MaxNeedles][4] = {};
    int faceCount = 0;
    int needleCount = 0;
    bool loaded = false;                          // a model is there; without one only the records work
    float savedNear = 1.0f, savedFar = 110000.0f; // the camera's clip planes while the cockpit draws
    // The device's render and first four stages' states as they were before the cockpit drew: the model's
    // pipelines, the instruments and the displays all change some.
    uint32_t savedRenderStates[210] = {};
    uint32_t savedStageStates[4][33] = {};
    // The model's pass whose atomics are all opaque and drawn with no state commands (its shape masks the
    // world), or -1; and the cull mode it was last drawn with (0 before its first draw).
    int maskOrder = -1;
    uint32_t maskCull = 0;
    // The pixels the mask covers in the view being drawn, offered to the world while it draws (coverOn) so
    // that it can leave out what lies wholly behind the cockpit; the mesh's points and triangles on the way.
    Grp::ScreenCover cover;
    bool coverOn = true;
    std::vector<Grp::ScreenCover::ClipPoint> coverPoints;
    std::vector<uint32_t> coverIndices, coverWeld, coverSame;

    Obj::Airplane* airplane = nullptr;
    RwMatrix airplaneMatrix;
    HudLink* hud = nullptr;       // an attached child
    Blackout* blackout = nullptr; // an attached child
    RwV3d eyePosition{0, 0, 0};
    std::unique_ptr<RadarTarget> radarTarget;
    std::unique_ptr<Navpoints> navpoints;
    std::unique_ptr<Threats> threats;
    RwTexture* indElements = nullptr;
    RwTexture* indLight = nullptr;
    std::unique_ptr<Altimeter> altimeter;
    std::unique_ptr<AirspeedInd> airspeed;
    std::unique_ptr<ADInd> adi;
    std::unique_ptr<Radar> radar;
    std::unique_ptr<MFDWeapons> mfd;
    std::unique_ptr<Joystick> joystick;
    std::unique_ptr<Throttle> throttle;
    TargetData targetData;
    Base::String path;
    const Base::Info* description = nullptr;
};

// Installs the cockpit's maker in the airplane at start-up.
void RegisterCockpit();

} // namespace Cockpit
