#include "frontend/SelectPages.h"

#include "frontend/Frontend.h"

#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/TextTable.h"
#include "gui/Lists.h"
#include "gui/Text.h"
#include "network/Session.h"
#include "rwsdk/src/texture.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace Fe {

namespace {

// The airplane's description, where its weapon set-ups are.
const Base::Info& AirplaneInfo(const Base::String& airplane) {
    return Base::InfoCache::Get(Base::MakePath(Base::GetText("ModelsDir"), airplane, "info"));
}

// A whole decimal number at the start of text (an optional sign, then digits), as "%d" reads one; false
// for none or for one beyond an int.
bool LeadingInt(std::string_view text, int32_t& value, size_t& used) {
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    const char* start = begin;
    if (start != end && *start == '+')
        ++start;
    const auto [next, error] = std::from_chars(start, end, value);
    if (error != std::errc() || next == start)
        return false;
    used = size_t(next - begin);
    return true;
}

} // namespace

// ---- the airplane

void PgSelectAirplane::Update() {
    UpdateChildren(false);
    if (Pressed("BtnBack")) {
        // Back to the joining page means out of the session that was joined.
        if (backPage == "PageJoinGame" && frontend && frontend->session)
            frontend->session->Reinitialize();
        ShowPage(backPage, MenuFade);
    }

    auto* list = Find<Gui::ImageSelector>("AirplanesList", true);
    const int32_t selected = list ? PgSelectWeapons::SelectedItem(*list) : 0;
    for (uint32_t i = 0; i < AirplaneCount; ++i)
        Show(FindWidget(std::to_string(i), true), int32_t(i) == selected);

    const bool carrier = frontend && frontend->gameRequest.header.carrierBased;
    const bool available = !(carrier && selected == int32_t(LandBasedOnly));
    SetEnabled(Find<Gui::Button>("BtnFly", true), available);
    Show(FindWidget("PlaneNotAvailable", true), !available);
    if (list && selected >= 0 && size_t(selected) < list->images.size())
        list->images[size_t(selected)].color = {0xFF, 0xFF, 0xFF, uint8_t(available ? 0xFF : 0x80)};

    if (Pressed("BtnFly") && frontend && selected >= 0 && uint32_t(selected) < AirplaneCount) {
        GameRequest game = frontend->gameRequest;
        MultiplayerRequest multiplayer = frontend->multiplayerRequest;
        game.airplane = multiplayer.airplane = airplanes[size_t(selected)];
        frontend->gameRequest.Assign(game);
        frontend->multiplayerRequest = multiplayer;
        ShowPage("PageSelectWeapons", MenuFade);
    }
}

// ---- the weapons

Base::String PgSelectWeapons::ItemName(const Gui::ImageSelector& selector, int32_t item) {
    if (item < 0 || size_t(item) >= selector.images.size() || !selector.images[size_t(item)].texture)
        return {};
    const std::string_view texture = RwTextureGetName(selector.images[size_t(item)].texture);
    return texture.size() > ItemPrefixLength ? Base::String(texture.substr(ItemPrefixLength))
                                             : Base::String();
}

int32_t PgSelectWeapons::SelectedItem(const Gui::ImageSelector& selector) {
    const float item = std::floor(selector.scrollPos.y + 0.5f);
    return std::isfinite(item) && std::fabs(item) < 1e9f ? int32_t(item) : 0;
}

void PgSelectWeapons::SelectItem(Gui::ImageSelector& selector, int32_t item) {
    selector.SetScrollPos({0.0f, float(item)});
}

bool PgSelectWeapons::ParseRackName(std::string_view name, int32_t& rack, int32_t& partner) {
    if (name.substr(0, 4) != "Rack")
        return false;
    name.remove_prefix(4);
    size_t used = 0;
    int32_t n = 0;
    if (!LeadingInt(name, n, used) || n < 0 || n >= MaxRacks)
        return false;
    name.remove_prefix(used);
    int32_t m = -1;
    if (!name.empty() && name[0] == '_' && LeadingInt(name.substr(1), m, used)) {
        // A partner out of range is no partner.
        if (m < 0 || m >= MaxRacks)
            m = -1;
    } else {
        m = -1;
    }
    rack = n;
    partner = m;
    return true;
}

bool PgSelectWeapons::ParseSetupKey(std::string_view key, int32_t& rack) {
    std::string upper(key);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    if (upper.compare(0, 4, "RACK") != 0)
        return false;
    const char* digits = upper.c_str() + 4;
    // As "%i" reads: a sign, then decimal, octal (0...) or hexadecimal (0x...) digits.
    while (std::isspace(static_cast<unsigned char>(*digits)))
        ++digits;
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(digits, &end, 0);
    if (end == digits || errno == ERANGE || n < 0 || n >= MaxRacks)
        return false;
    rack = int32_t(n);
    return true;
}

void PgSelectWeapons::BuildRacks(Gui::Widget* panel) {
    racks.clear();
    if (!panel)
        return;
    for (auto& [childName, child] : *panel) {
        auto* selector = child->Find<Gui::ImageSelector>("Selector", false);
        int32_t n = 0, partner = -1;
        if (!selector || !ParseRackName(childName, n, partner))
            continue;
        if (racks.size() < size_t(n) + 1)
            racks.resize(size_t(n) + 1);
        racks[size_t(n)] = {partner, SelectedItem(*selector), selector};
    }
}

void PgSelectWeapons::ApplySetup(std::string_view name) {
    if (!frontend)
        return;
    const Base::Info* setups = AirplaneInfo(frontend->gameRequest.airplane).GetChild("Setups");
    const Base::Info* setup = setups ? setups->GetChild(name) : nullptr;
    if (!setup)
        return;
    for (RackEntry& rack : racks)
        if (rack.selector)
            SelectItem(*rack.selector, 0);
    for (const auto& [key, child] : setup->GetChildren()) {
        int32_t n = 0;
        if (!ParseSetupKey(key, n) || size_t(n) >= racks.size() || !racks[size_t(n)].selector)
            continue;
        const Base::String value = child->GetValue();
        const Base::String weapon = value.size() > SetupPrefixLength ? value.substr(SetupPrefixLength) : "";
        if (weapon.empty())
            continue;
        Gui::ImageSelector& selector = *racks[size_t(n)].selector;
        for (size_t item = 0; item < selector.images.size(); ++item) {
            const RwTexture* texture = selector.images[item].texture;
            if (texture &&
                std::string_view(RwTextureGetName(texture)).find(weapon) != std::string_view::npos) {
                SelectItem(selector, int32_t(item));
                break;
            }
        }
    }
}

void PgSelectWeapons::StoreLoadout() {
    if (!frontend)
        return;
    GameRequest game = frontend->gameRequest;
    MultiplayerRequest multiplayer = frontend->multiplayerRequest;
    game.loadout.ClearChildren();
    multiplayer.loadout.ClearChildren();
    for (size_t n = 0; n < racks.size(); ++n) {
        if (!racks[n].selector)
            continue;
        const Base::String weapon = ItemName(*racks[n].selector, SelectedItem(*racks[n].selector));
        // An item without a weapon's name carries nothing, as "Empty" does.
        if (weapon.empty() || weapon == "Empty")
            continue;
        const Base::String key = "Rack" + std::to_string(n);
        game.loadout.AddValue(key, "Weapons\\" + weapon);
        multiplayer.loadout.AddValue(key, "Weapons\\" + weapon);
    }
    frontend->gameRequest.Assign(game);
    frontend->multiplayerRequest = multiplayer;
}

void PgSelectWeapons::SetVisible(bool on) {
    Page::SetVisible(on);
    if (!on) {
        for (const char* name : PanelNames)
            Show(FindWidget(name, true), false);
        return;
    }
    const Base::String airplane = frontend ? frontend->gameRequest.airplane : Base::String();
    const char* chosen = nullptr;
    for (const char* name : PanelNames)
        if (airplane.find(name) != Base::String::npos)
            chosen = name;
    racks.clear();
    if (!chosen)
        return;
    Gui::Widget* panel = FindWidget(chosen, true);
    Show(panel, true);
    BuildRacks(panel);
}

void PgSelectWeapons::Update() {
    UpdateChildren(false);
    if (Pressed("BtnAirToAir"))
        ApplySetup("AirToAir");
    if (Pressed("BtnAirToGround"))
        ApplySetup("AirToGround");
    if (Pressed("BtnBack"))
        ShowPage("PageSelectAirplane", MenuFade);
    if (Pressed("BtnFly")) {
        StoreLoadout();
        ShowPage(nextPage, 0.0f);
    }

    // A rack that names a partner hands its choice on to it.
    for (RackEntry& rack : racks) {
        if (rack.partner < 0 || !rack.selector)
            continue;
        const int32_t item = SelectedItem(*rack.selector);
        if (item == rack.shownItem)
            continue;
        rack.shownItem = item;
        if (size_t(rack.partner) < racks.size() && racks[size_t(rack.partner)].selector) {
            SelectItem(*racks[size_t(rack.partner)].selector, item);
            racks[size_t(rack.partner)].shownItem = item;
        }
    }

    Gui::Widget* weapons = FindWidget("Weapons", true);
    const Gui::Widget* clipper = FindWidget("Clipper", true);
    const auto* slider = Find<Gui::Scroller>("WeaponsSlider", true);
    if (weapons && clipper && slider) {
        const float height = weapons->rect.bottom - weapons->rect.top;
        const float excess = std::max(height - (clipper->rect.bottom - clipper->rect.top), 0.0f);
        const float top = -excess * slider->scrollPos.y;
        weapons->SetRect({weapons->rect.left, top, weapons->rect.right, top + height});
    }
}

} // namespace Fe
