// Text-to-value parsers of *.info values. Each reads from a string stream: leading blanks are skipped,
// text after the last number is ignored, and the output is written only when every read succeeded.
#pragma once

#include "base/Maths.h"

#include <cstdint>
#include <string_view>

namespace Base {

// Integers written as reals are taken only when whole and in range: "2.0" and "1e3" read, "1e38" and "2.5"
// fail (the stream would stop at the point and read 1 and 2).
bool ParseInt(std::string_view text, int32_t& out);
// A leading '-' fails (stream extraction would wrap it to a huge count).
bool ParseUInt(std::string_view text, uint32_t& out);
bool ParseFloat(std::string_view text, float& out);
// The stream's numeric form: 0 or 1.
bool ParseBool(std::string_view text, bool& out);
bool ParsePoint(std::string_view text, Vector2& out);
bool ParseIntPair(std::string_view text, int32_t& x, int32_t& y);
bool ParseVector3(std::string_view text, Vector3& out);
// Three or four floats r g b [a]; alpha is 1 when the fourth is missing.
bool ParseColor(std::string_view text, Color& out);
// left top right bottom; an 'r' before the third or fourth number makes it a width or height.
bool ParseRect(std::string_view text, Rect& out);

} // namespace Base
