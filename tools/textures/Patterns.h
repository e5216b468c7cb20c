// Generated texture patterns for the sample game: smooth value noise shaped into skies, terrain,
// camouflage, runway and metal. Every pattern is a pure function of its size, so files come out identical
// on every build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tools {

// Rows of red, green, blue, alpha bytes, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;

    uint8_t* At(int x, int y) { return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
    const uint8_t* At(int x, int y) const { return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
};

Picture Sky(int size);
Picture Ground(int size);
Picture Camouflage(int size);
Picture Runway(int size);
Picture Metal(int size);
// White puffs whose alpha fades out at their edges.
Picture Cloud(int size);

// The generated scenery's atlas: foliage, bark, wall and roof in the four quarters (top left first).
Picture SceneryAtlas(int size);
// A round soft shadow: black, its alpha fading to 0 at the rim.
Picture SoftShadow(int size);
// The foam of a ship's wake: white, its alpha streaked along u (which wraps) and thinning out to both edges
// across v.
Picture WaterTrail(int size);
// The sun sprite of the sky: a white disc in a soft corona, on transparent black.
Picture SkySun(int size);
// The particle texture of the cloud layer: four puffs, one in each quarter.
Picture CloudQuarters(int size);

// The interface's button sheet, 64 x 128: four 64 x 32 buttons for the states normal, highlighted, pressed
// and disabled, top to bottom; each a flat face of GuiButtonFace(state) in a two-texel lighter rim.
Picture GuiButtons();
constexpr uint8_t GuiButtonFaces[4][3] = {{40, 70, 120}, {70, 120, 190}, {20, 40, 80}, {80, 80, 80}};
// The mouse pointer, 32 x 32: a white arrow outlined in black, its tip at the top-left texel; clear around.
Picture GuiCursor();

// The sea: the main texture, tiled ten times over the terrain; the animation frames (bright ripples that
// modulate it; frame k of n, the last one a step away from the first); the bump map as raw signed slopes
// (green = u, red = v, the bytes the shader path converts); the sky it reflects; and the land's detail
// texture, mid-grey noise around 128 so that its doubling keeps the slice's brightness.
Picture WaterMain(int size);
Picture WaterFrame(int size, int frame, int frames);
Picture WaterBump(int size);
Picture WaterEnvironment(int size);
// The terrain's detail texture: grey noise around 128, so that the doubling blend keeps the slice colours
// on average and only adds grain.
Picture Detail(int size);
// The lens flare's four sprites (kind 1 to 4): halo ring, soft disc, thin ring, small bright spot; additive,
// so black is clear, with alpha following the brightness.
Picture LensFlare(int size, int kind);

// Half the size, each texel the mean of the 2 x 2 it covers (a side of 1 stays 1).
Picture Halve(const Picture& picture);

} // namespace Tools
