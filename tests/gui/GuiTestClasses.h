// Widget classes that only the tests register: a probe that counts its instances and calls, and a cursor.
#pragma once

#include "gui/Cursor.h"
#include "gui/Widget.h"

namespace GuiTest {

class Probe : public Gui::Widget {
public:
    Probe() { ++Alive; }
    ~Probe() override { --Alive; }
    void Update() override {
        ++updates;
        Widget::Update();
    }
    void Idle() override {
        ++idles;
        Widget::Idle();
    }
    void SetAbsoluteRect(const Gui::Rect& r) override {
        ++absoluteRectCalls;
        Widget::SetAbsoluteRect(r);
    }
    static inline int Alive = 0;
    int updates = 0, idles = 0, absoluteRectCalls = 0;
};

class Pointer : public Gui::Cursor {};

inline const Base::ClassRegistration<Probe> probeRegistration("class GuiTest::Probe");
inline const Base::ClassRegistration<Pointer> pointerRegistration("class GuiTest::Pointer");

} // namespace GuiTest
