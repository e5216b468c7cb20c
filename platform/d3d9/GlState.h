// What the device last sent to GL of the fixed pipeline's states and of its sampler objects, so that a call
// that would leave GL's state as it is never reaches the driver: a software rasteriser revalidates (and
// copies) its whole fragment state after most changes, even one set back before the next draw.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <cstring>

namespace D3D9 {

// A sampler object's parameters as the device sets them.
struct SamplerParameters {
    GLint wrap[3] = {GL_REPEAT, GL_REPEAT, GL_REPEAT};
    GLint magFilter = GL_LINEAR;
    GLint minFilter = GL_NEAREST_MIPMAP_LINEAR;
    float border[4] = {0, 0, 0, 0};
    float anisotropy = 1.0f;
    float lodBias = 0.0f;
    float minLod = -1000.0f;
};

class GlState {
public:
    void Enable(GLenum cap, bool on) {
        const unsigned bit = CapBit(cap);
        if (bit && (known_ & bit) && ((enabled_ & bit) != 0) == on)
            return;
        known_ |= bit;
        enabled_ = on ? enabled_ | bit : enabled_ & ~bit;
        if (on)
            glEnable(cap);
        else
            glDisable(cap);
    }
    void DepthFunc(GLenum f) {
        if (Same(KnownDepthFunc, depthFunc_, f))
            return;
        glDepthFunc(f);
    }
    void DepthMask(bool on) {
        if (Same(KnownDepthMask, depthMask_, on))
            return;
        glDepthMask(on ? GL_TRUE : GL_FALSE);
    }
    void BlendFunc(GLenum src, GLenum dst, GLenum srcAlpha, GLenum dstAlpha) {
        if (Same(KnownBlendFunc, blendFunc_, std::array<GLenum, 4>{src, dst, srcAlpha, dstAlpha}))
            return;
        glBlendFuncSeparate(src, dst, srcAlpha, dstAlpha);
    }
    void BlendEquation(GLenum op, GLenum opAlpha) {
        if (Same(KnownBlendEquation, blendEquation_, std::array<GLenum, 2>{op, opAlpha}))
            return;
        glBlendEquationSeparate(op, opAlpha);
    }
    void BlendColor(const float c[4]) {
        if (Same(KnownBlendColor, blendColor_, std::array<float, 4>{c[0], c[1], c[2], c[3]}))
            return;
        glBlendColor(c[0], c[1], c[2], c[3]);
    }
    void CullFace(GLenum face) {
        if (Same(KnownCullFace, cullFace_, face))
            return;
        glCullFace(face);
    }
    void FrontFace(GLenum mode) {
        if (Same(KnownFrontFace, frontFace_, mode))
            return;
        glFrontFace(mode);
    }
    void ColorMask(unsigned rgba) {
        if (Same(KnownColorMask, colorMask_, rgba & 0xF))
            return;
        glColorMask(rgba & 1 ? GL_TRUE : GL_FALSE, rgba & 2 ? GL_TRUE : GL_FALSE,
                    rgba & 4 ? GL_TRUE : GL_FALSE, rgba & 8 ? GL_TRUE : GL_FALSE);
    }
    void Scissor(GLint x, GLint y, GLsizei w, GLsizei h) {
        if (Same(KnownScissor, scissor_, std::array<GLint, 4>{x, y, w, h}))
            return;
        glScissor(x, y, w, h);
    }
    void Viewport(GLint x, GLint y, GLsizei w, GLsizei h) {
        if (Same(KnownViewport, viewport_, std::array<GLint, 4>{x, y, w, h}))
            return;
        glViewport(x, y, w, h);
    }
    void DepthRange(float nearZ, float farZ) {
        if (Same(KnownDepthRange, depthRange_, std::array<float, 2>{nearZ, farZ}))
            return;
        glDepthRange(nearZ, farZ);
    }
    void PolygonMode(GLenum mode) {
        if (Same(KnownPolygonMode, polygonMode_, mode))
            return;
        glPolygonMode(GL_FRONT_AND_BACK, mode);
    }
    void PolygonOffset(float slope, float units) {
        if (Same(KnownPolygonOffset, polygonOffset_, std::array<float, 2>{slope, units}))
            return;
        glPolygonOffset(slope, units);
    }
    void PointSize(float size) {
        if (Same(KnownPointSize, pointSize_, size))
            return;
        glPointSize(size);
    }

    // A sampler object's parameters: only those that differ from what it holds are sent.
    void Sampler(unsigned unit, GLuint name, const SamplerParameters& p) {
        HeldSampler& s = samplers_[unit];
        const bool all = !s.known;
        SamplerParameters& held = s.parameters;
        static constexpr GLenum wraps[3] = {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R};
        for (int i = 0; i < 3; ++i)
            if (all || held.wrap[i] != p.wrap[i])
                SamplerInt(name, wraps[i], p.wrap[i]);
        if (all || held.magFilter != p.magFilter)
            SamplerInt(name, GL_TEXTURE_MAG_FILTER, p.magFilter);
        if (all || held.minFilter != p.minFilter)
            SamplerInt(name, GL_TEXTURE_MIN_FILTER, p.minFilter);
        if (all || std::memcmp(held.border, p.border, sizeof p.border) != 0) {
            glSamplerParameterfv(name, GL_TEXTURE_BORDER_COLOR, p.border);
        }
        if (anisotropic_ && (all || held.anisotropy != p.anisotropy))
            SamplerFloat(name, GL_TEXTURE_MAX_ANISOTROPY_EXT, p.anisotropy);
        if (all || held.lodBias != p.lodBias)
            SamplerFloat(name, GL_TEXTURE_LOD_BIAS, p.lodBias);
        if (all || held.minLod != p.minLod)
            SamplerFloat(name, GL_TEXTURE_MIN_LOD, p.minLod);
        held = p;
        s.known = true;
    }
    // Whether the driver takes an anisotropy (set once, before any sampler is sent).
    void SetAnisotropic(bool on) { anisotropic_ = on; }

private:
    enum : unsigned {
        KnownDepthFunc = 1u << 0,
        KnownDepthMask = 1u << 1,
        KnownBlendFunc = 1u << 2,
        KnownBlendEquation = 1u << 3,
        KnownBlendColor = 1u << 4,
        KnownCullFace = 1u << 5,
        KnownFrontFace = 1u << 6,
        KnownColorMask = 1u << 7,
        KnownScissor = 1u << 8,
        KnownViewport = 1u << 9,
        KnownDepthRange = 1u << 10,
        KnownPolygonMode = 1u << 11,
        KnownPolygonOffset = 1u << 12,
        KnownPointSize = 1u << 13,
        // The capabilities' own bits follow: known and enabled both use them.
        FirstCap = 1u << 16,
    };
    static unsigned CapBit(GLenum cap) {
        switch (cap) {
        case GL_DEPTH_TEST:
            return FirstCap << 0;
        case GL_BLEND:
            return FirstCap << 1;
        case GL_CULL_FACE:
            return FirstCap << 2;
        case GL_STENCIL_TEST:
            return FirstCap << 3;
        case GL_SCISSOR_TEST:
            return FirstCap << 4;
        case GL_POLYGON_OFFSET_FILL:
            return FirstCap << 5;
        default:
            return 0; // not tracked: always sent
        }
    }
    // True when GL already holds value; otherwise records it as what GL will hold.
    template <class T> bool Same(unsigned bit, T& held, const T& value) {
        if ((known_ & bit) && held == value)
            return true;
        known_ |= bit;
        held = value;
        return false;
    }
    void SamplerInt(GLuint name, GLenum parameter, GLint value) {
        glSamplerParameteri(name, parameter, value);
    }
    void SamplerFloat(GLuint name, GLenum parameter, float value) {
        glSamplerParameterf(name, parameter, value);
    }

    struct HeldSampler {
        bool known = false;
        SamplerParameters parameters;
    };

    unsigned known_ = 0, enabled_ = 0;
    GLenum depthFunc_ = 0, cullFace_ = 0, frontFace_ = 0, polygonMode_ = 0;
    bool depthMask_ = true;
    unsigned colorMask_ = 0;
    std::array<GLenum, 4> blendFunc_{};
    std::array<GLenum, 2> blendEquation_{};
    std::array<float, 4> blendColor_{};
    std::array<GLint, 4> scissor_{}, viewport_{};
    std::array<float, 2> depthRange_{}, polygonOffset_{};
    float pointSize_ = 1.0f;
    std::array<HeldSampler, 8> samplers_{};
    bool anisotropic_ = false;
};

} // namespace D3D9
