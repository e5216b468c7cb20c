// Where a frame goes: benchmarks set a probe that is told when each drawn section begins and ends (each
// renderable's pass, the terrain's water and land, Present), to count draws, pixels and time per section.
// Sections nest. The game sets none, and then a section costs one test of a pointer.
#pragma once

namespace Grp {

class RenderProbe {
public:
    virtual ~RenderProbe() = default;
    // section: a name that lives as long as the program (a literal, or a type's name).
    virtual void Begin(const char* section) = 0;
    virtual void End() = 0;
};

// The probe in use, or null.
inline RenderProbe* renderProbe = nullptr;

class ProbeSection {
public:
    explicit ProbeSection(const char* section) : probe_(renderProbe) {
        if (probe_)
            probe_->Begin(section);
    }
    ~ProbeSection() {
        if (probe_)
            probe_->End();
    }
    ProbeSection(const ProbeSection&) = delete;
    ProbeSection& operator=(const ProbeSection&) = delete;

private:
    RenderProbe* probe_;
};

} // namespace Grp
