// The spline plugin's engine part: shared tables for uniform cubic B-splines.
#pragma once

#include "rwsdk/src/plcore/types.h"

constexpr RwUInt32 rwID_SPLINEPLUGIN = 0x102;

constexpr RwInt32 rpSPLINESAMPLES = 257;
constexpr RwInt32 rpSPLINETABLES = 12;
constexpr RwInt32 rpSPLINEMINPOINTS = 4;
constexpr RwInt32 rpSPLINEMAXPOINTS = 10;

RwBool RpSplinePluginAttach();

// Table 0-3: basis weights at t = i / 256; 4-7 their first and 8-11 their second derivatives. Null while
// the plugin is not open.
const RwReal* _rpSplineGetSampleTable(RwInt32 table);
// The n x n fitting matrix of a closed spline of n = 4..10 control points, row by row; null otherwise.
const RwReal* _rpSplineGetClosedMatrix(RwInt32 numPoints);
