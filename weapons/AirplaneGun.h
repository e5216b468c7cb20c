// The airplane's gun: the maker that the airplane's loader calls for a description with a gun.
#pragma once

namespace Weapons {

// Installs the makers that give loaded airplanes their guns (and refill them on re-arming).
bool InstallAirplaneGun();

} // namespace Weapons
