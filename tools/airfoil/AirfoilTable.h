// The airfoil coefficients of the sample game: a thin airfoil of finite span (lift slope 0.09 per degree)
// that stalls at 14 degrees and blends into a flat plate by 25 degrees. Lift and moment are odd, drag even,
// so that one table serves the wings, the tailplanes and the fin alike.
#pragma once

namespace Airfoil {

constexpr double StallDegrees = 14.0;
constexpr double FlatPlateDegrees = 25.0;
constexpr double LiftSlope = 0.09; // per degree

double Lift(double degrees);
double Drag(double degrees);
double Moment(double degrees);

// Table index i holds i degrees for i = 0..179 and i - 360 degrees for i = 180..359.
inline double IndexDegrees(int i) {
    return i < 180 ? i : i - 360;
}

} // namespace Airfoil
