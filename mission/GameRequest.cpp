#include "mission/GameRequest.h"

namespace Fe {

GameRequest& GameRequest::Assign(const GameRequest& source) {
    if (this == &source)
        return *this;
    header = source.header;
    airplane = source.airplane;
    loadout = source.loadout;
    resultCode = source.resultCode;
    elapsedTime = source.elapsedTime;
    airplaneKills = source.airplaneKills;
    vehicleKills = source.vehicleKills;
    shipKills = source.shipKills;
    return *this;
}

} // namespace Fe
