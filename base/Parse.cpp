#include "base/Parse.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <sstream>

namespace Base {
namespace {

std::istringstream Stream(std::string_view text) {
    std::istringstream in{std::string(text)};
    in.imbue(std::locale::classic());
    return in;
}

// One edge of a rectangle: a plain number, or 'r' and a number relative to the near edge.
bool ReadEdge(std::istringstream& in, float nearEdge, float& edge) {
    in >> std::ws;
    bool relative = in.peek() == 'r';
    if (relative)
        in.get();
    float value;
    if (!(in >> value))
        return false;
    edge = relative ? nearEdge + value : value;
    return true;
}

// An integer written as a real ("1e38", "2.5") is taken only when it is a whole number in range: the
// stream alone would stop at the point or the exponent and read "1e38" as 1.
template <class Int> bool ReadInteger(std::istringstream& in, Int& out) {
    in >> std::ws;
    const std::streampos start = in.tellg();
    Int value;
    if (!(in >> value))
        return false;
    const int next = in.peek();
    if (next != '.' && next != 'e' && next != 'E') {
        out = value;
        return true;
    }
    in.clear();
    in.seekg(start);
    double real;
    if (!(in >> real) || !std::isfinite(real) || real != std::trunc(real) ||
        real < double(std::numeric_limits<Int>::min()) || real > double(std::numeric_limits<Int>::max()))
        return false;
    out = Int(real);
    return true;
}

} // namespace

bool ParseInt(std::string_view text, int32_t& out) {
    auto in = Stream(text);
    return ReadInteger(in, out);
}

bool ParseUInt(std::string_view text, uint32_t& out) {
    // Stream extraction would take "-1" as 4294967295: a count or a state number from data must not wrap.
    const size_t first = text.find_first_not_of(" \t\r\n\v\f");
    if (first != std::string_view::npos && text[first] == '-')
        return false;
    auto in = Stream(text);
    return ReadInteger(in, out);
}

bool ParseFloat(std::string_view text, float& out) {
    auto in = Stream(text);
    float value;
    if (!(in >> value))
        return false;
    out = value;
    return true;
}

bool ParseBool(std::string_view text, bool& out) {
    auto in = Stream(text);
    bool value;
    if (!(in >> value))
        return false;
    out = value;
    return true;
}

bool ParsePoint(std::string_view text, Vector2& out) {
    auto in = Stream(text);
    Vector2 value;
    if (!(in >> value.x >> value.y))
        return false;
    out = value;
    return true;
}

bool ParseIntPair(std::string_view text, int32_t& x, int32_t& y) {
    auto in = Stream(text);
    int32_t a, b;
    if (!ReadInteger(in, a) || !ReadInteger(in, b))
        return false;
    x = a;
    y = b;
    return true;
}

bool ParseVector3(std::string_view text, Vector3& out) {
    auto in = Stream(text);
    Vector3 value;
    if (!(in >> value.x >> value.y >> value.z))
        return false;
    out = value;
    return true;
}

bool ParseColor(std::string_view text, Color& out) {
    auto in = Stream(text);
    Color value;
    if (!(in >> value.r >> value.g >> value.b))
        return false;
    if (!(in >> value.a))
        value.a = 1.0f;
    out = value;
    return true;
}

bool ParseRect(std::string_view text, Rect& out) {
    auto in = Stream(text);
    Rect value;
    if (!(in >> value.left >> value.top))
        return false;
    if (!ReadEdge(in, value.left, value.right) || !ReadEdge(in, value.top, value.bottom))
        return false;
    out = value;
    return true;
}

} // namespace Base
