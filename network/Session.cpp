#include "network/Session.h"

namespace MPlr {

Session::Session() = default;
Session::~Session() = default;

} // namespace MPlr
