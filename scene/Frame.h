// Rw::Frame: the owner of an engine frame, with the frame's local position kept in double precision so that
// objects far from the world origin keep their placement exactly; the engine computes in single precision.
// Each engine frame points back at its wrapper through a frame plugin slot, so the two always die together.
#pragma once

#include "rwsdk/src/frame.h"

#include <cstdint>

namespace Rw {

class Frame {
public:
    static constexpr RwUInt32 PluginId = 0x169D900;

    // The back-pointer plugins (an engine slot counting live frames, a frame slot for the wrapper); between
    // the engine's initialisation and its opening. False when either registration fails.
    static bool RegisterPlugins();
    // The wrapper of an engine frame, or null (also when the plugins are not registered).
    static Frame* FromRwFrame(const RwFrame* frame);
    // Live engine frames while the plugins are registered.
    static int32_t LiveFrameCount();

    // A new identity frame, owned.
    Frame();
    // Wraps an existing frame (or none).
    Frame(RwFrame* frame, bool owns);
    virtual ~Frame();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    // Releases the frame held now (destroyed when owned) and binds this one.
    void SetFrame(RwFrame* frame, bool owns);

    // Applies the matrix to the modelling matrix (combine: 0 replace, 1 pre-, 2 post-concatenate), queues the
    // frame for synchronisation and refreshes localPosition; then refreshes the wrappers below. A null matrix
    // only does the latter.
    virtual Frame* Transform(const RwMatrix* matrix, int combine);

    // The world position in double precision: the parents' rotations are single precision, but no wrapped
    // ancestor's position passes through a float.
    double* GetWorldPositionDouble(double out[3]) const;

    uint8_t owns = 0;
    uint8_t updateObjects = 1;
    RwFrame* frame = nullptr;
    double localPosition[3] = {0, 0, 0};

private:
    void Bind(RwFrame* frame, bool owns);
    void Release();
};

} // namespace Rw
