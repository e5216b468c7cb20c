// The program's DirectInput interface on a hidden window that receives pushed SDL events.
#pragma once

#include "input/DirectInput.h"

#include "tests/support/WindowEventsFixture.h"

class DevicesFixture : public WindowEventsFixture {
protected:
    void SetUp() override {
        WindowEventsFixture::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(Input::CreateDirectInput(nullptr, window));
    }
    void TearDown() override {
        Input::ReleaseDirectInput();
        WindowEventsFixture::TearDown();
    }
};
