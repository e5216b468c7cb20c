#include "base/Info.h"
#include "platform/dinput/ScanCodes.h"

#include <SDL.h>
#include <gtest/gtest.h>

// The key-assignment page names a key by the strings file's "KeyNames.<scan code>": every key the keyboard
// can report has a name there.
TEST(KeyNames, EveryReportedScanCodeHasAName) {
    Base::Info strings;
    ASSERT_EQ(strings.LoadFile(std::string(CORVANE_SOURCE_DIR) + "/data/Data/Strings.info"), 0);
    int reported = 0;
    for (int sdl = 0; sdl < SDL_NUM_SCANCODES; ++sdl) {
        int code = DInput::ScanCodeFromSdl(sdl);
        if (!code)
            continue;
        ++reported;
        EXPECT_FALSE(strings.GetStringDefault("KeyNames." + std::to_string(code), "").empty())
            << SDL_GetScancodeName(SDL_Scancode(sdl)) << " -> " << code;
    }
    EXPECT_GT(reported, 100);
}
