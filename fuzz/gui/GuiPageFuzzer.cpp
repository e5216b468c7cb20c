// Any text as a *.gui page: the desktop loads it or says no; the tree it built updates, draws (no device:
// the base widgets only clip), answers hit tests and path lookups, takes a second load of the same page
// (every child a duplicate, refused and freed) and frees everything with the desktop.
#include "base/Info.h"
#include "gui/ClipStack.h"
#include "gui/Desktop.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Base::Info page;
    if (page.LoadText(text, "\\corvane-fuzz-no-such-directory") != 0)
        return 0;
    Gui::Desktop desktop;
    desktop.screenRect = {0, 0, 1024, 768};
    const bool loaded = desktop.Load(page);
    desktop.Update();
    desktop.Draw();
    if (Gui::GetClipRect() != nullptr)
        std::abort(); // every push is popped
    for (float x : {0.0f, 100.0f, 512.0f})
        (void)desktop.HitTest({x, x});
    for (const char* path : {"A", "A.B", "..A", "Widgets", ""}) {
        (void)desktop.FindWidget(path, true);
        for (const auto& entry : desktop)
            (void)entry.second->FindWidget(path, true);
    }
    const size_t children = desktop.size();
    if (loaded && children > 0 && desktop.Load(page))
        std::abort(); // the same names again cannot all be added
    if (desktop.size() != children)
        std::abort();
    return 0;
}
