// A stand-in for the airplane's 3D cockpit that records what the weapons ask of it: threat reports and the
// radar target's changes. Its radar target is whatever the test sets.
#pragma once

#include "aircraft/CockpitLink.h"

#include <vector>

namespace WeaponsTest {

class CockpitStandIn : public Obj::CockpitLink {
public:
    struct Report {
        Obj::Frame* source;
        int level;
    };
    struct RadarChange {
        int kind;
        Obj::Target* target;
    };

    void ReportThreat(Obj::Frame* source, int level) override { reports.push_back({source, level}); }
    std::size_t GetThreatCount() const override { return reports.size(); }
    bool GetThreat(std::size_t i, Threat& out) const override {
        if (i >= reports.size())
            return false;
        out.level = reports[i].level;
        out.source = reports[i].source;
        return true;
    }
    Obj::Target* GetRadarTarget() const override { return radarTarget; }
    void SetRadarTarget(int kind, Obj::Target* target) override {
        radarChanges.push_back({kind, target});
        radarTarget = target;
    }
    int SetRadarTargetKind(int kind) override { return kind; }
    void SelectRadarTarget(int, int) override {}
    void SetRadarRangeNext(int) override {}
    void SelectNextNavpoint() override {}
    RwV3d GetEyePosition() const override { return eye; }

    // The reports of that level from that source.
    int Count(Obj::Frame* source, int level) const {
        int n = 0;
        for (const Report& r : reports)
            n += r.source == source && r.level == level;
        return n;
    }

    std::vector<Report> reports;
    std::vector<RadarChange> radarChanges;
    Obj::Target* radarTarget = nullptr;
    RwV3d eye = {0, 0, 0};
};

} // namespace WeaponsTest
