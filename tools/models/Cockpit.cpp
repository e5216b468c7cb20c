#include "tools/models/Cockpit.h"

#include "tools/models/Parts.h"
#include "tools/models/Shapes.h"

#include <cstdio>

namespace Tools {

namespace {

// A flat quad with exactly four vertices (0 and 2 opposite), facing the pilot (-z), tilted back about x by
// tilt radians (the top leans away). Seen from the seat, upright: vertex 0 is the top left (the airplane's
// left is +x), 1 the top right, 2 the bottom right, 3 the bottom left, so that 0 - 1 runs along the quad's
// right axis and 0 - 3 along its up axis, and a texture window shows upright. Turned: vertex 0 is the bottom
// left, 1 the top left: the attitude indicator's ball then rolls and pitches the right way; its bezel's
// picture is drawn turned to match.
ModelGeometry Quad(glm::vec3 centre, float halfWidth, float halfHeight, float tilt, const ModelMaterial& m,
                   bool turned = false) {
    ModelGeometry g;
    const glm::vec3 up(0, std::cos(tilt), std::sin(tilt));
    const glm::vec3 left(1, 0, 0);
    const glm::vec3 normal = glm::cross(up, left); // towards the seat
    const glm::vec3 topLeft = centre + left * halfWidth + up * halfHeight;
    const glm::vec3 topRight = centre - left * halfWidth + up * halfHeight;
    const glm::vec3 bottomRight = centre - left * halfWidth - up * halfHeight;
    const glm::vec3 bottomLeft = centre + left * halfWidth - up * halfHeight;
    if (turned)
        g.positions = {bottomLeft, topLeft, topRight, bottomRight};
    else
        g.positions = {topLeft, topRight, bottomRight, bottomLeft};
    g.normals.assign(4, normal);
    g.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    g.materials = {m};
    // Wound towards the seat in either order.
    const bool facing =
        glm::dot(glm::cross(g.positions[1] - g.positions[0], g.positions[2] - g.positions[0]), normal) > 0;
    g.triangles = facing ? std::vector<ModelTriangle>{{{0, 1, 2}, 0}, {{0, 2, 3}, 0}}
                         : std::vector<ModelTriangle>{{{0, 2, 1}, 0}, {{0, 3, 2}, 0}};
    g.open = true;
    return g;
}

std::string Number(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(v));
    return text;
}

// Panel placement, shared by the model and the description.
constexpr float PanelZ = 4.92f;    // the panel's front face
constexpr float FaceZ = 4.915f;    // the instrument quads, just in front of it
constexpr float PanelTilt = 0.22f; // radians, the top leaning away

} // namespace

Model FighterCockpit() {
    Model model;
    const int root = model.AddFrame("Cockpit", -1, {0, 0, 0});
    const ModelMaterial panel = Colour(46, 50, 54);
    const ModelMaterial dark = Colour(28, 30, 33);
    const ModelMaterial tub = Colour(70, 76, 80);
    const ModelMaterial grip = Colour(20, 20, 20);
    const ModelMaterial knob = Colour(160, 36, 30);
    const ModelMaterial glass = Colour(150, 210, 170, 36);
    const ModelMaterial frameGrey = Colour(58, 62, 66);

    ModelGeometry body;
    {
        MeshBuilder b(body);
        // The panel, leaning back, and the glare shield over it.
        const glm::vec3 up(0, std::cos(PanelTilt), std::sin(PanelTilt));
        b.Box({0, 0.70f, PanelZ + 0.035f}, {0.36f, 0.2f, 0.035f}, panel, {1, 0, 0}, up,
              glm::cross(glm::vec3(1, 0, 0), up));
        b.Block({-0.38f, 0.88f, 4.86f}, {0.38f, 0.93f, 5.2f}, dark);
        // Side walls, consoles and the floor of the tub.
        b.Block({0.38f, 0.25f, 3.6f}, {0.42f, 0.9f, 5.0f}, tub);
        b.Block({-0.42f, 0.25f, 3.6f}, {-0.38f, 0.9f, 5.0f}, tub);
        b.Block({0.24f, 0.25f, 3.7f}, {0.38f, 0.5f, 4.75f}, dark);
        b.Block({-0.38f, 0.25f, 3.7f}, {-0.24f, 0.5f, 4.75f}, dark);
        b.Block({-0.38f, 0.2f, 3.6f}, {0.38f, 0.25f, 5.0f}, tub);
        // The centre pedestal below the panel.
        b.Block({-0.1f, 0.25f, 4.75f}, {0.1f, 0.5f, 4.95f}, panel);
        // Switch rows on the consoles.
        for (int i = 0; i < 6; ++i) {
            const float z = 3.85f + 0.14f * float(i);
            b.Block({0.27f, 0.5f, z}, {0.35f, 0.52f, z + 0.06f}, frameGrey);
            b.Block({-0.35f, 0.5f, z}, {-0.27f, 0.52f, z + 0.06f}, frameGrey);
        }
        // The canopy bow and its two posts beside the head-up display.
        b.Cylinder({0.44f, 0.92f, 4.95f}, {0.3f, 1.4f, 4.75f}, 0.016f, 0.016f, 8, frameGrey);
        b.Cylinder({-0.44f, 0.92f, 4.95f}, {-0.3f, 1.4f, 4.75f}, 0.016f, 0.016f, 8, frameGrey);
        b.Cylinder({0.3f, 1.4f, 4.75f}, {-0.3f, 1.4f, 4.75f}, 0.016f, 0.016f, 8, frameGrey);
        // The head-up display's housing on the glare shield.
        b.Block({-0.14f, 0.93f, 4.86f}, {0.14f, 0.97f, 4.98f}, dark);
    }
    model.AddPart("Tub", root, {0, 0, 0}, std::move(body));

    // Instruments, seen from the seat: the radar on the left monitor, the weapons on the right, the dials
    // between them.
    const glm::vec3 up(0, std::cos(PanelTilt), std::sin(PanelTilt));
    auto onPanel = [&](float x, float y) {
        const float dy = y - 0.70f;
        return glm::vec3(x, 0.70f, FaceZ) + up * dy;
    };
    const ModelMaterial screen = Colour(10, 20, 12);
    model.AddPart("Monitor1", root, {0, 0, 0},
                  Quad(onPanel(0.215f, 0.69f), 0.095f, 0.095f, PanelTilt, screen));
    model.AddPart("Monitor2", root, {0, 0, 0},
                  Quad(onPanel(-0.215f, 0.69f), 0.095f, 0.095f, PanelTilt, screen));
    model.AddPart("ADI", root, {0, 0, 0}, Quad(onPanel(0, 0.80f), 0.058f, 0.058f, PanelTilt, screen, true));
    model.AddPart("Airspeed", root, {0, 0, 0},
                  Quad(onPanel(0.058f, 0.64f), 0.048f, 0.048f, PanelTilt, screen));
    model.AddPart("Altimeter", root, {0, 0, 0},
                  Quad(onPanel(-0.058f, 0.64f), 0.048f, 0.048f, PanelTilt, screen));
    // The glass spans about 21 degrees from the eye, from the housing up: the symbology's texts stay legible.
    model.AddPart("HUD", root, {0, 0, 0}, Quad({0, 1.09f, 4.9f}, 0.13f, 0.12f, 0.3f, glass));

    // The stick turns about its foot, the throttle about its pivot on the left console.
    ModelGeometry stick;
    {
        MeshBuilder b(stick);
        b.Cylinder({0, 0, 0}, {0, 0.26f, 0.02f}, 0.014f, 0.012f, 10, frameGrey);
        b.Box({0, 0.3f, 0.025f}, {0.022f, 0.045f, 0.026f}, grip);
        b.Cylinder({0, 0.34f, 0.03f}, {0, 0.36f, 0.05f}, 0.008f, 0.006f, 8, knob);
    }
    model.AddPart("Joystick", root, {0, 0.25f, 4.42f}, std::move(stick));
    ModelGeometry lever;
    {
        MeshBuilder b(lever);
        b.Block({-0.01f, 0, -0.015f}, {0.01f, 0.1f, 0.015f}, frameGrey);
        b.Box({0, 0.12f, 0}, {0.03f, 0.025f, 0.04f}, grip);
    }
    model.AddPart("Throttle", root, {0.31f, 0.52f, 4.35f}, std::move(lever));
    return model;
}

std::string CockpitDescription(const std::string& dff) {
    std::string t = "; " + dff + "'s description, written by the model generator\n";
    t += "Dff\t" + dff + "\nCameraRelDistance\t100\n";
    // The tub in pass 250, after the world; the head-up display's glass blended over it in 251.
    t += "RenderOrders\n{\n\t250\n\t{\n\t\tLods\n\t\t{\n\t\t\t0\n\t\t\t{\n\t\t\t\tThreshold\t1000\n"
         "\t\t\t\tCommands\n\t\t\t\t{\n\t\t\t\t\t#\tRenderAtomics\n\t\t\t\t\t{\n\t\t\t\t\t\tRegEx\t(?!HUD$).*"
         "\n"
         "\t\t\t\t\t}\n\t\t\t\t}\n\t\t\t}\n\t\t}\n\t}\n";
    t +=
        "\t251\n\t{\n\t\tLods\n\t\t{\n\t\t\t0\n\t\t\t{\n\t\t\t\tThreshold\t1000\n\t\t\t\tCommands\n\t\t\t\t{"
        "\n"
        "\t\t\t\t\t#\tSetRenderState\n\t\t\t\t\t{\n\t\t\t\t\t\tState\t27\n\t\t\t\t\t\tValue\t1\n\t\t\t\t\t}\n"
        "\t\t\t\t\t#\tRenderAtomics\n\t\t\t\t\t{\n\t\t\t\t\t\tRegEx\tHUD\n\t\t\t\t\t}\n"
        "\t\t\t\t\t#\tSetRenderState\n\t\t\t\t\t{\n\t\t\t\t\t\tState\t27\n\t\t\t\t\t\tValue\t0\n\t\t\t\t\t}\n"
        "\t\t\t\t}\n\t\t\t}\n\t\t}\n\t}\n}\n";
    t += "Cockpit\n{\n\tEyePosition\t0 1.02 4.2\n";
    const float a = float(CockpitAtlasLayout::Size);
    auto window = [&](const std::string& tabs, const std::string& key, float x0, float y0, float x1,
                      float y1) {
        t += tabs + key + "TexCoordsUL\t" + Number(x0 / a) + " " + Number(y0 / a) + "\n";
        t += tabs + key + "TexCoordsBR\t" + Number(x1 / a) + " " + Number(y1 / a) + "\n";
    };
    // Needles: length in metres, half width, the share of the length behind the pivot; the picture's tip
    // at the top of its window.
    auto needle = [&](const char* name, float length, float thickness, float centre, float x0, float x1) {
        t += "\t\t" + std::string(name) + "\n\t\t{\n\t\t\tLength\t" + Number(length) + "\n\t\t\tThickness\t" +
             Number(thickness) + "\n\t\t\tCenter\t" + Number(centre) + "\n";
        window("\t\t\t", "Bkgr", x0, 128, x1, 224);
        t += "\t\t}\n";
    };
    t += "\tAirspeed\n\t{\n";
    window("\t\t", "Bkgr", 0, 0, 128, 128);
    needle("Needle1", 0.042f, 0.0035f, 0.18f, 256, 272);
    t += "\t}\n\tAltimeter\n\t{\n";
    window("\t\t", "Bkgr", 128, 0, 256, 128);
    needle("Needle1", 0.042f, 0.0035f, 0.18f, 256, 272);
    needle("Needle2", 0.028f, 0.005f, 0.15f, 272, 288);
    t += "\t}\n\tADI\n\t{\n";
    window("\t\t", "Bkgr", 256, 0, 384, 128);
    window("\t\t", "Ball", 416, 96, 480, 160);
    t += "\t}\n\tMonitor1\n\t{\n";
    window("\t\t", "Bkgr", 0, 128, 128, 256);
    t += "\t}\n\tMonitor2\n\t{\n";
    window("\t\t", "Bkgr", 128, 128, 256, 256);
    t += "\t}\n";
    return t + "}\n";
}

} // namespace Tools
