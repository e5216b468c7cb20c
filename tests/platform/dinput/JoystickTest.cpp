#include "InputFixture.h"

namespace {

constexpr DWORD kJoystickLevel = DISCL_EXCLUSIVE | DISCL_FOREGROUND; // 5, as the game asks

class Joystick : public InputFixture {
protected:
    void TearDown() override {
        for (IDirectInputDevice8* d : devices)
            d->Release();
        devices.clear();
        for (SDL_JoystickID id : attached)
            Detach(id);
        InputFixture::TearDown();
    }

    // A virtual device; the returned handle sets its axes, buttons and hats.
    SDL_Joystick* Attach(SDL_JoystickType type, int axes, int buttons, int hats) {
        int index = SDL_JoystickAttachVirtual(type, axes, buttons, hats);
        EXPECT_GE(index, 0) << SDL_GetError();
        SDL_Joystick* j = SDL_JoystickOpen(index);
        EXPECT_NE(j, nullptr) << SDL_GetError();
        attached.push_back(SDL_JoystickInstanceID(j));
        handles.push_back(j);
        return j;
    }
    void Detach(SDL_JoystickID id) {
        for (int i = 0; i < SDL_NumJoysticks(); ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == id) {
                SDL_JoystickDetachVirtual(i);
                break;
            }
        for (SDL_Joystick* j : handles)
            if (SDL_JoystickInstanceID(j) == id)
                SDL_JoystickClose(j);
    }

    // The game's way: enumerate the attached game controllers and keep the instance it is given.
    IDirectInputDevice8* OpenJoystick(SDL_Joystick* j) {
        struct Search {
            Uint32 id;
            GUID found{};
            bool ok = false;
        } search{Uint32(SDL_JoystickInstanceID(j))};
        auto pick = [](LPCDIDEVICEINSTANCEA d, LPVOID ctx) -> BOOL {
            auto* s = static_cast<Search*>(ctx);
            if (d->guidInstance.Data1 != s->id)
                return DIENUM_CONTINUE;
            s->found = d->guidInstance;
            s->ok = true;
            return DIENUM_STOP;
        };
        EXPECT_EQ(input->EnumDevices(DI8DEVCLASS_GAMECTRL, pick, &search, DIEDFL_ATTACHEDONLY), DI_OK);
        EXPECT_TRUE(search.ok);
        if (!search.ok)
            return nullptr;
        IDirectInputDevice8* d = Open(search.found, c_dfDIJoystick, kJoystickLevel);
        DIPROPDWORD p{};
        p.diph.dwSize = sizeof(p);
        p.diph.dwHeaderSize = sizeof(p.diph);
        p.diph.dwHow = DIPH_DEVICE;
        p.dwData = DIPROPAXISMODE_ABS;
        EXPECT_EQ(d->Unacquire(), DI_OK);
        EXPECT_EQ(d->SetProperty(DIPROP_AXISMODE, &p.diph), DI_OK);
        EXPECT_EQ(d->Acquire(), DI_OK);
        return d;
    }

    static DIJOYSTATE Read(IDirectInputDevice8* d) {
        DIJOYSTATE s{};
        EXPECT_TRUE(SUCCEEDED(d->Poll()));
        EXPECT_EQ(d->GetDeviceState(sizeof(s), &s), DI_OK);
        return s;
    }
    static bool HasObject(IDirectInputDevice8* d, DWORD offset) {
        DIDEVICEOBJECTINSTANCEA info{};
        info.dwSize = sizeof(info);
        return d->GetObjectInfo(&info, offset, DIPH_BYOFFSET) == DI_OK;
    }

    std::vector<SDL_JoystickID> attached;
    std::vector<SDL_Joystick*> handles;
};

TEST_F(Joystick, AxesCoverTheAbsoluteRangeWithTheCentreAt32768) {
    SDL_Joystick* j = Attach(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 4, 32, 1);
    IDirectInputDevice8* d = OpenJoystick(j);
    ASSERT_NE(d, nullptr);
    struct {
        Sint16 raw;
        LONG expected;
    } const cases[] = {{-32768, 0}, {-16384, 16384}, {0, 32768}, {1, 32769}, {32767, 65535}};
    for (const auto& c : cases) {
        for (int axis = 0; axis < 4; ++axis)
            SDL_JoystickSetVirtualAxis(j, axis, c.raw);
        DIJOYSTATE s = Read(d);
        EXPECT_EQ(s.lX, c.expected) << c.raw;
        EXPECT_EQ(s.lY, c.expected) << c.raw;
        EXPECT_EQ(s.lRz, c.expected) << c.raw;          // a stick's third axis is its twist
        EXPECT_EQ(s.rglSlider[0], c.expected) << c.raw; // and the fourth its throttle
        EXPECT_EQ(s.lZ, 32768);                         // absent axes rest at the centre
        EXPECT_EQ(s.rglSlider[1], 32768);
    }
    EXPECT_TRUE(HasObject(d, DIJOFS_SLIDER(0)));
    EXPECT_TRUE(HasObject(d, DIJOFS_RZ));
    EXPECT_FALSE(HasObject(d, DIJOFS_Z));
    EXPECT_TRUE(HasObject(d, DIJOFS_BUTTON(31)));
}

TEST_F(Joystick, AThreeAxisStickHasNoSliderAndItsThirdAxisIsZ) {
    SDL_Joystick* j = Attach(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 3, 8, 0);
    IDirectInputDevice8* d = OpenJoystick(j);
    ASSERT_NE(d, nullptr);
    SDL_JoystickSetVirtualAxis(j, 2, -32768);
    DIJOYSTATE s = Read(d);
    EXPECT_EQ(s.lZ, 0);
    EXPECT_EQ(s.lRz, 32768);
    EXPECT_FALSE(HasObject(d, DIJOFS_SLIDER(0)));
    EXPECT_FALSE(HasObject(d, DIJOFS_BUTTON(8)));
    EXPECT_FALSE(HasObject(d, DIJOFS_POV(0)));
    EXPECT_EQ(s.rgdwPOV[0], 0xFFFFFFFFu);
}

TEST_F(Joystick, HatPositionsAreHundredthsOfADegree) {
    SDL_Joystick* j = Attach(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 2, 4, 1);
    IDirectInputDevice8* d = OpenJoystick(j);
    ASSERT_NE(d, nullptr);
    struct {
        Uint8 hat;
        DWORD pov;
    } const cases[] = {
        {SDL_HAT_CENTERED, 0xFFFFFFFFu}, {SDL_HAT_UP, 0},
        {SDL_HAT_RIGHTUP, 4500},         {SDL_HAT_RIGHT, 9000},
        {SDL_HAT_RIGHTDOWN, 13500},      {SDL_HAT_DOWN, 18000},
        {SDL_HAT_LEFTDOWN, 22500},       {SDL_HAT_LEFT, 27000},
        {SDL_HAT_LEFTUP, 31500},
    };
    for (const auto& c : cases) {
        SDL_JoystickSetVirtualHat(j, 0, c.hat);
        DIJOYSTATE s = Read(d);
        EXPECT_EQ(s.rgdwPOV[0], c.pov) << int(c.hat);
        EXPECT_EQ(s.rgdwPOV[1], 0xFFFFFFFFu);
    }
}

TEST_F(Joystick, ButtonsAreHeldAndBufferedAtOffset48) {
    SDL_Joystick* j = Attach(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 2, 32, 0);
    IDirectInputDevice8* d = OpenJoystick(j);
    ASSERT_NE(d, nullptr);
    Read(d);
    Drain(d);
    SDL_JoystickSetVirtualAxis(j, 0, 1000);
    SDL_JoystickSetVirtualButton(j, 5, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(j, 31, SDL_PRESSED);
    DIJOYSTATE s = Read(d);
    EXPECT_EQ(s.rgbButtons[5], 0x80);
    EXPECT_EQ(s.rgbButtons[31], 0x80);
    EXPECT_EQ(s.rgbButtons[0], 0);
    auto r = Drain(d);
    ASSERT_EQ(r.size(), 2u); // axes are read from the state, not buffered
    EXPECT_EQ(r[0].dwOfs, DWORD(DIJOFS_BUTTON(5)));
    EXPECT_EQ(r[0].dwData & 0x80, 0x80u);
    EXPECT_EQ(r[1].dwOfs, DWORD(DIJOFS_BUTTON(31)));
    SDL_JoystickSetVirtualButton(j, 5, SDL_RELEASED);
    Read(d);
    r = Drain(d);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].dwData & 0x80, 0u);
}

TEST_F(Joystick, AnUnpluggedDeviceIsLost) {
    SDL_Joystick* j = Attach(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 2, 4, 0);
    IDirectInputDevice8* d = OpenJoystick(j);
    ASSERT_NE(d, nullptr);
    Detach(SDL_JoystickInstanceID(j));
    attached.clear();
    DIJOYSTATE s{};
    d->Poll();
    EXPECT_EQ(d->GetDeviceState(sizeof(s), &s), DIERR_INPUTLOST);
    EXPECT_EQ(d->Acquire(), DIERR_INPUTLOST);
}

TEST_F(Joystick, AGameControllerIsLaidOutAsAGamepad) {
    SDL_Joystick* j =
        Attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX, SDL_CONTROLLER_BUTTON_MAX, 0);
    IDirectInputDevice8* d = OpenJoystick(j);
    ASSERT_NE(d, nullptr);
    Read(d);
    Drain(d);
    SDL_JoystickSetVirtualAxis(j, SDL_CONTROLLER_AXIS_LEFTX, -32768);
    SDL_JoystickSetVirtualAxis(j, SDL_CONTROLLER_AXIS_LEFTY, 32767);
    SDL_JoystickSetVirtualAxis(j, SDL_CONTROLLER_AXIS_RIGHTX, 0);
    SDL_JoystickSetVirtualAxis(j, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
    SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_A, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_DPAD_LEFT, SDL_PRESSED);
    DIJOYSTATE s = Read(d);
    EXPECT_EQ(s.lX, 0);
    EXPECT_EQ(s.lY, 65535);
    EXPECT_EQ(s.lRz, 32768);
    EXPECT_EQ(s.rglSlider[0], 0); // the right trigger pulled fully
    EXPECT_EQ(s.rgbButtons[0], 0x80);
    EXPECT_EQ(s.rgbButtons[5], 0x80);
    EXPECT_EQ(s.rgdwPOV[0], 27000u);
    EXPECT_TRUE(HasObject(d, DIJOFS_SLIDER(0)));
    auto r = Drain(d);
    ASSERT_EQ(r.size(), 2u); // the pad's cross is the hat, not a button
    EXPECT_EQ(r[0].dwOfs, DWORD(DIJOFS_BUTTON(0)));
    EXPECT_EQ(r[1].dwOfs, DWORD(DIJOFS_BUTTON(5)));
}

TEST_F(Joystick, AJoystickIsLostWithTheFocusLikeTheOthers) {
    SDL_Joystick* j = Attach(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 2, 4, 0);
    IDirectInputDevice8* d = OpenJoystick(j);
    ASSERT_NE(d, nullptr);
    Focus(false);
    EXPECT_EQ(d->Poll(), DIERR_INPUTLOST);
    EXPECT_EQ(d->Acquire(), DIERR_OTHERAPPHASPRIO);
    Focus(true);
    EXPECT_EQ(d->Acquire(), DI_OK);
    Read(d);
}

} // namespace
