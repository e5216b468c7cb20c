// A DirectInput object on a hidden window that receives pushed SDL events.
#pragma once

#include <dinput.h>

#include "tests/support/WindowEventsFixture.h"

#include <vector>

class InputFixture : public WindowEventsFixture {
protected:
    void SetUp() override {
        WindowEventsFixture::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                     reinterpret_cast<void**>(&input), nullptr),
                  DI_OK);
    }
    void TearDown() override {
        for (IDirectInputDevice8* d : devices)
            d->Release();
        if (input)
            input->Release();
        WindowEventsFixture::TearDown();
    }

    // Created, set up as the game sets it up (buffer of 8) and acquired.
    IDirectInputDevice8* Open(REFGUID guid, const DIDATAFORMAT& format, DWORD level, bool acquire = true) {
        IDirectInputDevice8* d = nullptr;
        EXPECT_EQ(input->CreateDevice(guid, &d, nullptr), DI_OK);
        if (!d)
            return nullptr;
        devices.push_back(d);
        EXPECT_EQ(d->SetCooperativeLevel(window, level), DI_OK);
        EXPECT_EQ(d->SetDataFormat(&format), DI_OK);
        DIPROPDWORD p{};
        p.diph.dwSize = sizeof(p);
        p.diph.dwHeaderSize = sizeof(p.diph);
        p.diph.dwHow = DIPH_DEVICE;
        p.dwData = 8;
        EXPECT_EQ(d->SetProperty(DIPROP_BUFFERSIZE, &p.diph), DI_OK);
        if (acquire) {
            EXPECT_EQ(d->Acquire(), DI_OK);
        }
        return d;
    }

    // Every buffered record, one GetDeviceData call per record as the game reads them.
    static std::vector<DIDEVICEOBJECTDATA> Drain(IDirectInputDevice8* d) {
        std::vector<DIDEVICEOBJECTDATA> out;
        for (;;) {
            DIDEVICEOBJECTDATA r{};
            DWORD n = 1;
            HRESULT hr = d->GetDeviceData(sizeof(r), &r, &n, 0);
            EXPECT_TRUE(SUCCEEDED(hr));
            if (FAILED(hr) || n == 0)
                return out;
            out.push_back(r);
        }
    }

    IDirectInput8* input = nullptr;
    std::vector<IDirectInputDevice8*> devices;
};
