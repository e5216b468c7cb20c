#include "tools/models/Samples.h"

#include "tools/models/Aircraft.h"
#include "tools/models/Cockpit.h"
#include "tools/models/Ordnance.h"
#include "tools/models/Structures.h"
#include "tools/models/Vehicles.h"

#include <cstdio>
#include <tuple>

namespace Tools {
namespace {

std::string Number(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(v));
    return text;
}

std::string Vector(glm::vec3 v) {
    return Number(v.x) + " " + Number(v.y) + " " + Number(v.z);
}

// One level of detail drawing every atomic (optionally a pattern of them) in pass 128, the pass of
// ordinary models; translucent canopies come after it in pass 129 with blending on. Up to the distance
// "near" the full model is drawn; past it a coarse model ("farModel", whose atomics replace the geometries
// of the same names) draws the atomics of "far" up to "farthest", and the glass up to "glassFarthest". A
// small model (a weapon, the pilot) ends where it is a pixel or two on the screen.
struct Detail {
    float near = 100000;
    std::string farModel;    // empty: the full model's own geometries past "near"
    std::string far;         // empty: nothing past "near"
    float farthest = 100000; // where "far" ends
    float glassFarthest = 0; // where the glass ends past "near" (0: at "near")
};

std::string Level(int index, float threshold, const std::string& pattern, const std::string& dff = {},
                  const std::string& before = {}, const std::string& after = {}) {
    std::string text = "\t\t\t" + std::to_string(index) + "\n\t\t\t{\n";
    if (!dff.empty())
        text += "\t\t\t\tDff\t" + dff + "\n";
    text += "\t\t\t\tThreshold\t" + Number(threshold) + "\n\t\t\t\tCommands\n\t\t\t\t{\n" + before +
            "\t\t\t\t\t#\tRenderAtomics\n";
    if (!pattern.empty())
        text += "\t\t\t\t\t{\n\t\t\t\t\t\tRegEx\t" + pattern + "\n\t\t\t\t\t}\n";
    return text + after + "\t\t\t\t}\n\t\t\t}\n";
}

// Alpha blending (render state 27) on for the glass and off again.
std::string BlendState(int value) {
    return "\t\t\t\t\t#\tSetRenderState\n\t\t\t\t\t{\n\t\t\t\t\t\tState\t27\n\t\t\t\t\t\tValue\t" +
           std::to_string(value) + "\n\t\t\t\t\t}\n";
}

std::string Description(const std::string& dff, float cameraRelDistance, bool glass,
                        const Detail& detail = {}) {
    std::string text = "Dff\t" + dff + "\n";
    if (cameraRelDistance > 0)
        text += "CameraRelDistance\t" + Number(cameraRelDistance) + "\n";
    text += "RenderOrders\n{\n\t128\n\t{\n\t\tLods\n\t\t{\n";
    text += Level(0, detail.near, glass ? "[^_].*" : "");
    if (!detail.far.empty())
        text += Level(1, detail.farthest, detail.far, detail.farModel);
    text += "\t\t}\n\t}\n";
    if (glass) {
        text +=
            "\t129\n\t{\n\t\tLods\n\t\t{\n" + Level(0, detail.near, "_.*", {}, BlendState(1), BlendState(0));
        if (detail.glassFarthest > detail.near)
            text += Level(1, detail.glassFarthest, "_.*", detail.farModel, BlendState(1), BlendState(0));
        text += "\t\t}\n\t}\n";
    }
    return text + "}\n";
}

// Level-of-detail distances are the distance less the model's radius, times the view window's half width:
// a model of size s covers about s / distance of half the screen's width. An airplane (15-22 m) is full up
// to 300 (25-37 pixels long at 1024 wide); past it its coarse model goes on without the gear, pylons and
// weapon bay (under 0.6 m across, 1-2 pixels), its moving surfaces fixed in one atomic; the glass ends at
// 1500 (5 pixels). Weapons (3-5 m long, 0.2-0.6 m thick) are full up to 120 (13-21 pixels), coarse up to
// 1500; the pilot figure ends at 400, except under its parachute (7 m), which goes on to 2500.
Detail AirplaneDetail(const std::string& title) {
    return {300, "Airplanes\\" + title + "Far.dff", "Fuselage", 100000, 1500};
}
Detail WeaponDetail(const std::string& name) {
    return {120, "Weapons\\" + name + "Far.dff", ".*", 1500};
}
const Detail PilotDetail{400, {}, "OnParachute", 2500};

std::string Damages(float hitPoints, const std::string& name, const std::string& icon) {
    return "Damages\n{\n\tHitPoints\t" + Number(hitPoints) + "\n\tName\t" + name + "\n\tMapIcon\t" + icon +
           "\n}\n";
}

struct Flight {
    float maxSpeed, agility, mass;
    glm::vec3 inertia;
    float thrust, linearDamping, quadraticDamping, wing, hStabilizer, vStabilizer, aileron, elevator, rudder;
    // Where the wings' lift acts along the body: ahead of the centre of mass, so that the elevator trims the
    // whole flight envelope up to the stall while the tail keeps the airplane stable (the flight model has
    // no wing incidence and no fuselage lift to do it).
    float wingLiftZ;
};

std::string AirplaneInfo(const std::string& title, const AircraftLayout& l, const Flight& f,
                         const std::string& setups) {
    std::string t = "; Airplanes\\" + title + ".info, written by the model generator\n";
    t += Description("Airplanes\\" + title + ".dff", 3000, true, AirplaneDetail(title));
    t += Damages(300, title, "IconFighter");
    t += "SimplePhysicsParams\n{\n\tMaxSpeed\t" + Number(f.maxSpeed) + "\n\tAgility\t" + Number(f.agility) +
         "\n}\n";
    t += "ComplexPhysicsParams\n{\n";
    t += "\tMass\t" + Number(f.mass) + "\n\tAMass\t" + Vector(f.inertia) + "\n\tThrust\t" + Number(f.thrust) +
         "\n";
    t += "\tLinearDampingFactor\t" + Number(f.linearDamping) + "\n\tQuadraticDampingFactor\t" +
         Number(f.quadraticDamping) + "\n";
    t += "\tWingSurface\t" + Number(f.wing) + "\n\thStabilizerSurface\t" + Number(f.hStabilizer) +
         "\n\tvStabilizerSurface\t" + Number(f.vStabilizer) + "\n";
    t += "\taileronSurface\t" + Number(f.aileron) + "\n\televatorSurface\t" + Number(f.elevator) +
         "\n\trudderSurface\t" + Number(f.rudder) + "\n";
    const glm::vec3 wingOffset(l.wingOffset.x, l.wingOffset.y, f.wingLiftZ);
    t += "\twingOffset\t" + Vector(wingOffset) + "\n\thStabilizerOffset\t" + Vector(l.hStabilizerOffset) +
         "\n\tvStabilizerOffset\t" + Vector(l.vStabilizerOffset) + "\n";
    t += "\tcenterWheelRadius\t" + Number(l.centerWheelRadius) + "\n\tsideWheelRadius\t" +
         Number(l.sideWheelRadius) + "\n";
    t += "\tfrontBottomSpringOffset\t" + Vector(l.frontBottomSpring) + "\n\trearBottomSpringOffset\t" +
         Vector(l.rearBottomSpring) + "\n\tfrontTopSpringOffset\t" + Vector(l.frontTopSpring) +
         "\n\trearTopSpringOffset\t" + Vector(l.rearTopSpring) + "\n\tsideSpringOffset\t" +
         Vector(l.sideSpring) + "\n}\n";
    t += "Offsets\n{\n\tPilotSeat\t" + Vector(l.pilotSeat) + "\n\tCondensationTrail\t" +
         Vector(l.condensationTrail) + "\n\tDamageTrail\t" + Vector(l.damageTrail) + "\n\tGun\t" +
         Vector(l.gun) + "\n}\n";
    t += "Nozzles\n{\n";
    for (size_t i = 0; i < l.nozzles.size(); i++) {
        t += "\tOffset" + std::to_string(i) + "\t" + Vector(l.nozzles[i]) + "\n\tDiameter" +
             std::to_string(i) + "\t" + Number(l.nozzleDiameters[i]) + "\n";
    }
    t += "}\nGunAmmo\t500\nSetups\n{\n" + setups + "}\n";
    return t;
}

std::string Setup(const std::string& name, const std::vector<std::string>& racks) {
    std::string t = "\t" + name + "\n\t{\n";
    for (size_t i = 0; i < racks.size(); i++) {
        if (!racks[i].empty())
            t += "\t\tRACK" + std::to_string(i) + "\tWeapons\\" + racks[i] + "\n";
    }
    return t + "\t}\n";
}

struct Ordnance {
    const char* name;
    const char* params; // ordnance keys after the model description
};

// The large models that aircraft and weapons hit: their geometries carry collision trees.
Model WithCollisionTrees(Model model) {
    model.collisionTrees = true;
    return model;
}

} // namespace

std::vector<SampleModel> SampleModels() {
    std::vector<SampleModel> models;

    // Aircraft: the fighter under four names, in four paint schemes; the attacker as "Su25".
    const Flight fighter{330,  30,   12000, {80000, 140000, 70000}, 11000, 5, 0.6f, 13, 3, 4, 1.2f,
                         1.5f, 1.2f, 1.2f};
    const Flight attacker{260,  24,   14000, {90000, 150000, 80000}, 9000, 6, 0.7f, 17, 3.2f, 4, 1.4f,
                          1.6f, 1.2f, 0.85f};
    const std::string fighterSetups =
        Setup("AirToAir", {"ShortAAM", "ShortAAM", "MediumAAM", "MediumAAM", "FuelTank", "FuelTank"}) +
        Setup("AirToGround", {"ShortAAM", "ShortAAM", "Bomb", "Bomb", "RocketPod", "RocketPod"});
    const std::string attackerSetups =
        Setup("AirToGround",
              {"ShortAAM", "ShortAAM", "RocketPod", "RocketPod", "Bomb", "Bomb", "Bomb", "Bomb"}) +
        Setup("AirToAir", {"ShortAAM", "ShortAAM", "MediumAAM", "MediumAAM", "", "", "FuelTank", "FuelTank"});
    const struct {
        const char* title;
        Paint paint;
        bool attack;
    } aircraft[] = {{"Su27", {{200, 215, 235, 255}, "camo"}, false},
                    {"Mig29", {{215, 220, 200, 255}, "camo"}, false},
                    {"F16", {{185, 190, 200, 255}, "metal"}, false},
                    {"Yak141", {{225, 215, 190, 255}, "camo"}, false},
                    {"Su25", {{190, 200, 165, 255}, "camo"}, true}};
    for (const auto& a : aircraft) {
        AircraftLayout layout;
        Model model = a.attack ? Attacker(a.paint, layout) : Fighter(a.paint, layout);
        model.animated = true; // the gear and weapon-door animations play on its hierarchy
        const std::string title = a.title;
        models.push_back(
            {"Airplanes\\" + title + ".dff",
             std::move(model),
             {{"Airplanes\\" + title + ".info", AirplaneInfo(title, layout, a.attack ? attacker : fighter,
                                                             a.attack ? attackerSetups : fighterSetups)}}});
        // Its far level of detail, built coarse.
        AircraftLayout unused;
        models.push_back({"Airplanes\\" + title + "Far.dff",
                          FarAirplane(a.attack ? Attacker(a.paint, unused, FarFineness)
                                               : Fighter(a.paint, unused, FarFineness)),
                          {}});
    }

    // The cockpit seen from the pilot's seat, shared by the fighters and the default for any airplane.
    models.push_back({"Airplanes\\DefaultCockpit.dff", FighterCockpit(), {}});

    // The pilot figure: drawn in the airplanes' pass, one of its three parts at a time.
    models.push_back(
        {"Airplanes\\Pilot.dff",
         PilotFigure(),
         {{"Airplanes\\Pilot.model", Description("Airplanes\\Pilot.dff", 3000, false, PilotDetail)}}});

    // Weapons: a model description with the ordnance keys each.
    const std::tuple<Model, Model, Ordnance> weapons[] = {
        {ShortRangeMissile(),
         ShortRangeMissile(true),
         {"ShortAAM", "OrdnanceParams\n{\n\tAirToAir\t1\n\tType\t0\n\tOrder\t1\n\tName\tShortAAM\n}\n"
                      "FileName\tWeapons\\ShortAAM.info\n"
                      "RocketParams\n{\n\tTimeToLive\t10\n\tAcc\t300\n\tMaxSpeed\t850\n\tExplosionStr\t120\n"
                      "\tNozzleOffset\t0 0 -1.45\n\tNozzleDiameter\t0.13\n\tTimeToEngineStart\t0.2\n"
                      "\tSmokeTrailColor\t1 1 1 0.8\n}\n"
                      "HomingRocketParams\n{\n\tGuidance\tInfrared\n\tFuseDistance\t6\n\tTargetingSpeed\t25\n"
                      "\tUpAdjustFactor\t0.3\n}\n"}},
        {MediumRangeMissile(),
         MediumRangeMissile(true),
         {"MediumAAM",
          "OrdnanceParams\n{\n\tAirToAir\t1\n\tType\t0\n\tOrder\t2\n\tName\tMediumAAM\n}\n"
          "FileName\tWeapons\\MediumAAM.info\n"
          "RocketParams\n{\n\tTimeToLive\t25\n\tAcc\t250\n\tMaxSpeed\t1200\n\tExplosionStr\t200\n"
          "\tNozzleOffset\t0 0 -1.85\n\tNozzleDiameter\t0.19\n\tTimeToEngineStart\t0.3\n"
          "\tSmokeTrailColor\t1 1 1 0.7\n}\n"
          "HomingRocketParams\n{\n\tGuidance\tRadar\n\tFuseDistance\t10\n\tTargetingSpeed\t15\n"
          "\tUpAdjustFactor\t0.5\n}\n"}},
        {SurfaceToAirMissile(),
         SurfaceToAirMissile(true),
         {"Sam", "OrdnanceParams\n{\n\tAirToAir\t1\n\tType\t0\n\tOrder\t127\n\tName\tSam\n}\n"
                 "FileName\tWeapons\\Sam.info\n"
                 "RocketParams\n{\n\tTimeToLive\t20\n\tAcc\t200\n\tMaxSpeed\t900\n\tExplosionStr\t250\n"
                 "\tNozzleOffset\t0 0 -2.75\n\tNozzleDiameter\t0.4\n\tTimeToEngineStart\t0.5\n"
                 "\tSmokeTrailColor\t0.9 0.9 0.9 0.8\n}\n"
                 "HomingRocketParams\n{\n\tGuidance\tRadar\n\tFuseDistance\t12\n\tTargetingSpeed\t30\n"
                 "\tUpAdjustFactor\t0.4\n}\n"}},
        {Bomb(),
         Bomb(true),
         {"Bomb", "OrdnanceParams\n{\n\tAirToGround\t1\n\tType\t1\n\tOrder\t4\n\tName\tBomb\n}\n"
                  "BombParams\n{\n\tExplosionStr\t400\n}\n"}},
        {Rocket(),
         Rocket(true),
         {"Rocket", "OrdnanceParams\n{\n\tAirToGround\t1\n\tType\t2\n\tOrder\t127\n\tName\tRocket\n}\n"
                    "FileName\tWeapons\\Rocket.info\n"
                    "RocketParams\n{\n\tTimeToLive\t6\n\tAcc\t400\n\tMaxSpeed\t700\n\tExplosionStr\t60\n"
                    "\tNozzleOffset\t0 0 -0.65\n\tNozzleDiameter\t0.08\n\tTimeToEngineStart\t0\n}\n"}},
        {RocketPod(),
         RocketPod(true),
         {"RocketPod", "OrdnanceParams\n{\n\tAirToGround\t1\n\tType\t3\n\tOrder\t3\n\tName\tRocketPod\n}\n"
                       "LauncherParams\n{\n\tRocketsCount\t19\n\tRocketModel\tWeapons\\Rocket.info\n}\n"}},
        // A drop tank hangs and falls like a bomb that does no harm; the player never selects it.
        {FuelTank(),
         FuelTank(true),
         {"FuelTank", "OrdnanceParams\n{\n\tAirToGround\t1\n\tType\t1\n\tOrder\t127\n\tName\tFuelTank\n}\n"
                      "BombParams\n{\n\tExplosionStr\t0\n}\n"}}};
    for (const auto& [model, far, ordnance] : weapons) {
        const std::string name = ordnance.name;
        models.push_back({"Weapons\\" + name + ".dff",
                          model,
                          {{"Weapons\\" + name + ".info",
                            Description("Weapons\\" + name + ".dff", 0, false, WeaponDetail(name)) +
                                std::string(ordnance.params)}}});
        models.push_back({"Weapons\\" + name + "Far.dff", far, {}});
    }

    // Ground vehicles and ships, with the object descriptions the missions spawn.
    models.push_back(
        {"Truck.dff",
         Truck(),
         {{"Truck.info", Description("Truck.dff", 3000, false) + Damages(100, "Truck", "IconCar")}}});
    models.push_back(
        {"ArmedCar.dff",
         ArmedCar(),
         {{"ArmedCar.info", Description("ArmedCar.dff", 3000, false) + Damages(200, "ArmedCar", "IconCar")},
          {"T-72.info", Description("ArmedCar.dff", 3000, false) + Damages(250, "T-72", "IconCar")},
          {"Flak.info", Description("ArmedCar.dff", 3000, false) + Damages(200, "Flak", "IconCar")}}});
    models.push_back({"PatrolShip.dff",
                      PatrolShip(),
                      {{"PatrolShip.info",
                        Description("PatrolShip.dff", 5000, false) + Damages(1500, "PatrolShip", "IconShip")},
                       {"Frigate.info",
                        Description("PatrolShip.dff", 5000, false) + Damages(1500, "Frigate", "IconShip")}}});
    models.push_back({"Carrier.dff",
                      WithCollisionTrees(Carrier()),
                      {{"Carrier.model",
                        Description("Carrier.dff", 5000, false) + Damages(20000, "Carrier", "IconCarrier") +
                            "Catapults\n{\n\tC1\n\t{\n\t\tPosition\t9 58\n\t\tHdg\t0\n\t\tLength\t62\n\t}\n"
                            "\tC2\n\t{\n\t\tPosition\t-9 58\n\t\tHdg\t0\n\t\tLength\t62\n\t}\n}\n"}}});

    // Buildings. The airbase's runways: where a take-off starts and its heading in degrees (0 = +z,
    // 90 = -x); "R0" is runway "09" under the name the generated missions use.
    models.push_back(
        {"Hangar.dff",
         WithCollisionTrees(Hangar()),
         {{"Hangar.info", Description("Hangar.dff", 5000, false) + Damages(800, "Hangar", "IconBuilding")}}});
    models.push_back(
        {"Tower.dff",
         WithCollisionTrees(ControlTower()),
         {{"Tower.info", Description("Tower.dff", 5000, false) + Damages(600, "Tower", "IconBuilding")}}});
    models.push_back(
        {"Bunker.dff",
         Bunker(),
         {{"Bunker.info", Description("Bunker.dff", 3000, false) + Damages(500, "Bunker", "IconBuilding")}}});
    models.push_back({"Runway.dff", Runway(), {{"Runway.model", Description("Runway.dff", 5000, false)}}});
    models.push_back(
        {"Base.dff",
         Airbase(),
         {{"Base.model", Description("Base.dff", 5000, false) + Damages(5000, "Airbase", "IconAirbase") +
                             "Runways\n{\n\t09\n\t{\n\t\tPosition\t1400 0\n\t\tHdg\t90\n\t}\n"
                             "\t27\n\t{\n\t\tPosition\t-1400 0\n\t\tHdg\t270\n\t}\n"
                             "\tR0\n\t{\n\t\tPosition\t1400 0\n\t\tHdg\t90\n\t}\n}\n"}}});

    // Generated scenery: read straight from the model files by the scenery sets.
    models.push_back({"Tree1.dff", Conifer(), {}});
    models.push_back({"Tree2.dff", BroadleafTree(), {}});
    models.push_back({"Tree3.dff", Poplar(), {}});
    models.push_back({"House1.dff", Cottage(), {}});
    models.push_back({"House2.dff", TownHouse(), {}});
    return models;
}

std::vector<SideFile> DataDescriptions() {
    // The fighters name their cockpit; any other airplane falls back on the default one.
    std::vector<SideFile> files{
        {"Airplanes\\DefaultCockpit.info", CockpitDescription("Airplanes\\DefaultCockpit.dff")}};
    for (const char* title : {"Su27", "Mig29", "F16", "Yak141"})
        files.push_back({"Airplanes\\" + std::string(title) + "_Cockpit.info",
                         CockpitDescription("Airplanes\\DefaultCockpit.dff")});
    return files;
}

} // namespace Tools
