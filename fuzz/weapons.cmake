# Weapon descriptions: the ordnance, rocket, pod and bomb keys.
corvane_fuzzer(fuzz_weapon_description SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/weapons/WeaponDescriptionFuzzer.cpp
  DEPS weapons)
