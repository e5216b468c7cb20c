#include "tools/airfoil/AirfoilTable.h"

#include <algorithm>
#include <cmath>

namespace Airfoil {

namespace {

constexpr double Pi = 3.14159265358979323846;

double Radians(double degrees) {
    return degrees * Pi / 180.0;
}

// 0 while the flow is attached, 1 once it has fully separated, smooth in between.
double Separation(double degrees) {
    const double t =
        std::clamp((std::fabs(degrees) - StallDegrees) / (FlatPlateDegrees - StallDegrees), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Attached lift: linear up to the stall, then falling off.
double AttachedLift(double degrees) {
    const double a = std::fabs(degrees);
    const double lift =
        a <= StallDegrees ? LiftSlope * a : LiftSlope * StallDegrees - 0.04 * (a - StallDegrees);
    return degrees < 0 ? -lift : lift;
}

double FlatPlateLift(double degrees) {
    return 1.1 * std::sin(2 * Radians(degrees));
}

} // namespace

double Lift(double degrees) {
    const double w = Separation(degrees);
    return (1 - w) * AttachedLift(degrees) + w * FlatPlateLift(degrees);
}

double Drag(double degrees) {
    const double w = Separation(degrees);
    const double attached = AttachedLift(degrees);
    const double s = std::sin(Radians(degrees));
    return (1 - w) * (0.015 + 0.07 * attached * attached) + w * (1.2 * s * s + 0.015);
}

double Moment(double degrees) {
    return -0.05 * std::sin(Radians(degrees));
}

} // namespace Airfoil
