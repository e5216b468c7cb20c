// The material-effects pipelines on Direct3D 9: the render callback, the default and environment-map draws,
// bump mapping with texture coordinates shifted on the processor, and the dual pass.
#include "rwsdk/plugin/matfx/d3d9/effectpipesd3d9.h"

#include <d3dx9.h>
#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9rasterlock.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/driver/d3d9/d3d9vertexbuffer.h"
#include "rwsdk/plugin/matfx/rpmatfx.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/pipe/p2/pipeline.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/world/baclump.h"
#include "rwsdk/world/bageomet.h"
#include "rwsdk/world/balight.h"
#include "rwsdk/world/bawrld.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9instance.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9pack.h"

#include <d3d9.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

constexpr RwUInt32 flagTextured = rpGEOMETRYTEXTURED | rpGEOMETRYTEXTURED2;
constexpr RwUInt32 usageTangent = 0x10000;
constexpr RwUInt32 bumpFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;

// The vertex written for a bump-mapped mesh.
struct BumpVertex {
    RwV3d position;
    RwV3d normal;
    RwUInt32 diffuse;
    RwReal u0, v0;
    RwReal u1, v1;
};
static_assert(sizeof(BumpVertex) == 44);

enum Shader {
    shaderBump,
    shaderEnvOverBase,
    shaderEnvAlone,
    shaderBumpEnv,
    shaderBumpEnvAlphaTex,
    shaderBumpEnvAlpha
};

// Each shader's text in parentheses: several are split over lines, and clang takes a bare concatenation in an
// array for a missing comma.
constexpr const char* shaderTexts[6] = {
    ("ps_1_1\ntex t0\ntex t1\nmul r0, t0, 1-t0.a\nmul r0, r0, v0\nmul r1, t1, t1.a\nmad r0, r1, v0, r0\n"),
    ("ps_1_1\ntex t0\ntex t1\nmul r0, t0, v0\nmul r1, t1, t1.a\nmad r0.rgb, r1, c0, r0\n"),
    ("ps_1_1\ntex t0\nmul r0, t0, t0.a\nmad r0.rgb, r0, c0, v0\n+mov r0.a, v0.a\n"),
    ("ps_1_1\ntex t0\ntex t1\ntex t2\nmul r0, t0, 1-t0.a\nmul r0, r0, v0\nmul r1, t1, t1.a\n"
     "mad r0, r1, v0, r0\nmul r1, t2, t2.a\nmad r0, r1, c0, r0\n"),
    ("ps_1_1\ntex t0\ntex t1\ntex t2\nmul r0.rgb, t0, 1-t0.a\n+mov r0.a, t0.a\nmul r0, r0, v0\n"
     "mul r1.rgb, t1, t1.a\n+mov r1.a, t1.a\nmad r0, r1, v0, r0\nmul r1, t2, t2.a\nmul r1, r1, r0.a\n"
     "mad r0, r1, c0, r0\n"),
    ("ps_1_1\ntex t0\ntex t1\ntex t2\nmul r0.rgb, t0, 1-t0.a\n+mov r0.a, t0.a\nmul r0, r0, v0\n"
     "mul r1.rgb, t1, t1.a\n+mov r1.a, t1.a\nmad r0, r1, v0, r0\nmul r1, t2, r0.a\nmad r0, r1, c0, r0\n"),
};

// What the bump map's processor pass reads a mesh into: kept across draws and only grown, so that a warm
// frame does not touch the heap.
struct BumpScratch {
    std::vector<RwV3d> positions, normals, tangents;
    std::vector<RwTexCoords> uvs;
    std::vector<RwUInt32> colours;
    std::vector<RwUInt16> indices;
};

struct ModuleState {
    RwPipeline* atomicPipeline = nullptr;
    RwPipeline* sectorPipeline = nullptr;
    RpD3D9AllInOneInstanceCallBack atomicInstance = nullptr;
    RpD3D9AllInOneInstanceCallBack sectorInstance = nullptr;
    RwUInt32 maxStages = 0;
    bool multiTexture = false;
    bool multiplyAdd = false;
    bool modulate2x = false;
    bool envAdd = false;
    bool modulate2xUnvalidated = true;
    bool envAddUnvalidated = true;
    bool pixelShaders = false;
    void* shaders[6] = {};
    D3DMATRIX uvMatrix = {};
    BumpScratch bump;
};
ModuleState state;

// Engine blend functions (equal to D3DBLEND values).
enum Blend : RwUInt32 {
    blendZero = 1,
    blendOne = 2,
    blendSrcColor = 3,
    blendSrcAlpha = 5,
    blendInvSrcAlpha = 6,
    blendDestColor = 9
};

void Stage(RwUInt32 stage, RwUInt32 type, RwUInt32 value) {
    RwD3D9SetTextureStageState(stage, type, value);
}

void ColorOp(RwUInt32 stage, RwUInt32 op, RwUInt32 arg1, RwUInt32 arg2) {
    Stage(stage, D3DTSS_COLOROP, op);
    Stage(stage, D3DTSS_COLORARG1, arg1);
    Stage(stage, D3DTSS_COLORARG2, arg2);
}

void AlphaOp(RwUInt32 stage, RwUInt32 op, RwUInt32 arg1, RwUInt32 arg2) {
    Stage(stage, D3DTSS_ALPHAOP, op);
    Stage(stage, D3DTSS_ALPHAARG1, arg1);
    Stage(stage, D3DTSS_ALPHAARG2, arg2);
}

void BothOps(RwUInt32 stage, RwUInt32 op, RwUInt32 arg1, RwUInt32 arg2) {
    ColorOp(stage, op, arg1, arg2);
    AlphaOp(stage, op, arg1, arg2);
}

void DisableStage(RwUInt32 stage) {
    Stage(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
    Stage(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

RwUInt32 GetRenderState(RwUInt32 rs) {
    RwUInt32 value = 0;
    RwD3D9GetRenderState(rs, &value);
    return value;
}

RwUInt32 GetEngineState(RwRenderState rs) {
    void* value = nullptr;
    RwRenderStateGet(rs, &value);
    return RwUInt32(reinterpret_cast<uintptr_t>(value));
}

void SetEngineState(RwRenderState rs, RwUInt32 value) {
    RwRenderStateSet(rs, reinterpret_cast<void*>(uintptr_t(value)));
}

// Holds the engine's source and destination blends while a pass sets its own.
struct SavedBlends {
    RwUInt32 src = GetEngineState(rwRENDERSTATESRCBLEND);
    RwUInt32 dst = GetEngineState(rwRENDERSTATEDESTBLEND);
    void Set(RwUInt32 s, RwUInt32 d) const {
        SetEngineState(rwRENDERSTATESRCBLEND, s);
        SetEngineState(rwRENDERSTATEDESTBLEND, d);
    }
    void Restore() const { Set(src, dst); }
};

// The effect's byte: the coefficient scaled to 0..255 (out-of-range and NaN coefficients are clamped, not
// converted as they stand).
RwUInt32 CoefficientByte(RwReal coefficient) {
    const RwReal scaled = coefficient * 255.0f;
    if (!(scaled > 0.0f))
        return 0;
    return scaled >= 255.0f ? 255u : RwUInt32(std::lround(scaled));
}

bool Validates() {
    RwD3D9RenderStateFlushCache();
    DWORD passes = 0;
    return SUCCEEDED(RwD3D9Device->ValidateDevice(&passes)) && passes == 1;
}

// The texture matrix of a UV transform: right, up and position of the engine matrix in its first three rows.
const D3DMATRIX* UVMatrix(const RwMatrix* m) {
    D3DMATRIX& t = state.uvMatrix;
    t._11 = m->right.x;
    t._12 = m->right.y;
    t._21 = m->up.x;
    t._22 = m->up.y;
    t._31 = m->pos.x;
    t._32 = m->pos.y;
    return &t;
}

bool ApplyUVMatrix(RwUInt32 stage, const RwMatrix* m) {
    if (!m || (m->flags & rwMATRIXINTERNALIDENTITY))
        return false;
    Stage(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    RwD3D9SetTransform(D3DTS_TEXTURE0 + stage, UVMatrix(m));
    return true;
}

void DrawMesh(const RpD3D9InstanceData* header, const RpD3D9MeshInstance& mesh, void* pixelShader = nullptr) {
    RwD3D9SetPixelShader(pixelShader);
    RwD3D9SetVertexShader(mesh.vertexShader);
    RwD3D9RenderStateFlushCache();
    if (header->indexBuffer)
        RwD3D9DrawIndexedPrimitive(header->primType, mesh.baseIndex, 0, mesh.numVertices, mesh.startIndex,
                                   mesh.numPrimitives);
    else
        RwD3D9DrawPrimitive(header->primType, RwUInt32(mesh.baseIndex), mesh.numPrimitives);
}

bool Textured(RwUInt32 flags) {
    return (flags & flagTextured) != 0;
}

// Stage 0 with the material's texture modulated by the diffuse colour, or the diffuse colour alone.
void BaseStage(RwTexture* base, RwUInt32 flags) {
    if (!Textured(flags) || !base) {
        RwD3D9SetTexture(nullptr, 0);
        ColorOp(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        AlphaOp(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    } else {
        RwD3D9SetTexture(base, 0);
        BothOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    }
}

void DrawDefault(const RpD3D9InstanceData* header, const RpD3D9MeshInstance& mesh, RwUInt32 flags,
                 const RwMatrix* uv) {
    BaseStage(mesh.material->texture, flags);
    const bool transformed = Textured(flags) && ApplyUVMatrix(0, uv);
    DrawMesh(header, mesh);
    if (transformed)
        Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
}

bool HasAlpha(const RwTexture* texture) {
    return texture && texture->raster && RwD3D9TextureHasAlpha(texture);
}

void SetPixelShaderCoefficient(RwReal coefficient) {
    const float c0[4] = {coefficient, coefficient, coefficient, coefficient};
    RwD3D9SetPixelShaderConstant(0, c0, 1);
}

// Environment map -----------------------------------------------------------------------------------------

void ResetEnvStage(RwUInt32 stage) {
    RwD3D9SetTexture(nullptr, stage);
    Stage(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    Stage(stage, D3DTSS_TEXCOORDINDEX, stage);
}

void DrawEnvMap(const RpD3D9InstanceData* header, const RpD3D9MeshInstance& mesh, RwUInt32 flags, int pass,
                const RpMatFXEnvMapData* env) {
    RpMaterial* material = mesh.material;
    const RwUInt32 k = env ? CoefficientByte(env->coefficient) : 0;
    RwTexture* envTexture = env ? env->texture : nullptr;
    if (k == 0 || !envTexture || !envTexture->raster) {
        if (pass == 0)
            DrawDefault(header, mesh, flags, nullptr);
        return;
    }
    if (pass == 0) {
        RwTexture* base = Textured(flags) ? material->texture : nullptr;
        BaseStage(base, flags);
        const bool opaque = !mesh.vertexAlpha && material->color.alpha == 255 && !HasAlpha(base);
        if (env->useFrameBufferAlpha || opaque) {
            if (HasAlpha(envTexture) && state.shaders[shaderEnvOverBase]) {
                SetPixelShaderCoefficient(env->coefficient);
                const RwUInt32 stage = base ? 1 : 0;
                RpMatFXSetEnvMapTexture(envTexture, stage, env->frame);
                DrawMesh(header, mesh, state.shaders[base ? shaderEnvOverBase : shaderEnvAlone]);
                ResetEnvStage(stage);
                return;
            }
            const bool addUsable = !base || state.envAdd || state.envAddUnvalidated;
            if (!HasAlpha(envTexture) && (state.multiplyAdd || (k == 255 && addUsable))) {
                if (k == 255 && !base) {
                    RpMatFXSetEnvMapTexture(envTexture, 0, env->frame);
                    ColorOp(0, D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                    DrawMesh(header, mesh);
                    ResetEnvStage(0);
                    BothOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                    return;
                }
                RpMatFXSetEnvMapTexture(envTexture, 1, env->frame);
                AlphaOp(1, D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_CURRENT);
                bool single = true;
                if (k == 255) {
                    ColorOp(1, D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_CURRENT);
                    if (state.envAddUnvalidated) {
                        state.envAdd = Validates();
                        state.envAddUnvalidated = false;
                    }
                    single = state.envAdd || state.multiplyAdd;
                    if (!state.envAdd && state.multiplyAdd)
                        RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu);
                }
                if (k != 255 || (!state.envAdd && state.multiplyAdd)) {
                    if (k != 255)
                        RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, k * 0x01010101u);
                    ColorOp(1, D3DTOP_MULTIPLYADD, D3DTA_TEXTURE, D3DTA_TFACTOR);
                    Stage(1, D3DTSS_COLORARG0, D3DTA_CURRENT);
                }
                if (single) {
                    DrawMesh(header, mesh);
                    ResetEnvStage(1);
                    DisableStage(1);
                    return;
                }
                ResetEnvStage(1);
                DisableStage(1);
            }
        }
        DrawMesh(header, mesh);
    }
    // The additive pass.
    RpMatFXSetEnvMapTexture(envTexture, 0, env->frame);
    RwD3D9SetVertexAlphaEnable(TRUE);
    const SavedBlends blends;
    blends.Set(blendSrcAlpha, blendOne);
    const RwUInt32 factor = k * 0x01010101u;
    if (factor == 0xFFFFFFFFu) {
        BothOps(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    } else {
        RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, factor);
        ColorOp(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_TFACTOR);
        AlphaOp(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    }
    const RwUInt32 lighting = GetRenderState(D3DRS_LIGHTING), zWrite = GetRenderState(D3DRS_ZWRITEENABLE);
    const RwUInt32 fog = GetRenderState(D3DRS_FOGENABLE), fogColor = GetRenderState(D3DRS_FOGCOLOR);
    RwD3D9SetRenderState(D3DRS_LIGHTING, FALSE);
    RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    if (fog)
        RwD3D9SetRenderState(D3DRS_FOGCOLOR, 0);
    DrawMesh(header, mesh);
    if (fog)
        RwD3D9SetRenderState(D3DRS_FOGCOLOR, fogColor);
    RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, zWrite);
    RwD3D9SetRenderState(D3DRS_LIGHTING, lighting);
    BothOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    RwD3D9SetVertexAlphaEnable(FALSE);
    blends.Restore();
    Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    Stage(0, D3DTSS_TEXCOORDINDEX, 0);
}

// Bump map ------------------------------------------------------------------------------------------------

RwMatrix FromD3D(const D3DMATRIX& d) {
    RwMatrix m = {};
    m.right = {d._11, d._12, d._13};
    m.up = {d._21, d._22, d._23};
    m.at = {d._31, d._32, d._33};
    m.pos = {d._41, d._42, d._43};
    return m;
}

RwV3d TransformPoint(const RwMatrix& m, RwV3d p) {
    return {m.right.x * p.x + m.up.x * p.y + m.at.x * p.z + m.pos.x,
            m.right.y * p.x + m.up.y * p.y + m.at.y * p.z + m.pos.y,
            m.right.z * p.x + m.up.z * p.y + m.at.z * p.z + m.pos.z};
}

RwV3d TransformVector(const RwMatrix& m, RwV3d v) {
    return {m.right.x * v.x + m.up.x * v.y + m.at.x * v.z, m.right.y * v.x + m.up.y * v.y + m.at.y * v.z,
            m.right.z * v.x + m.up.z * v.y + m.at.z * v.z};
}

RwReal Dot(RwV3d a, RwV3d b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

RwV3d Cross(RwV3d a, RwV3d b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

RwV3d Normalise(RwV3d v) {
    const RwReal l = std::sqrt(Dot(v, v));
    return l > 0.0f ? RwV3d{v.x / l, v.y / l, v.z / l} : v;
}

// The light of the bumps in object space: a position, or for a directional light the direction towards it.
struct BumpLight {
    RwV3d vector;
    bool directional;
};

BumpLight FindBumpLight(RwFrame* frame) {
    if (!frame) {
        const RwCamera* camera = RWSRCGLOBAL(curCamera);
        frame = camera ? RwCameraGetFrame(camera) : nullptr;
    }
    D3DMATRIX world;
    RwD3D9GetTransform(D3DTS_WORLD, &world);
    const RwMatrix objectToWorld = FromD3D(world);
    RwMatrix worldToObject;
    RwMatrixInvertGeneral(&worldToObject, &objectToWorld);
    if (!frame)
        return {TransformPoint(worldToObject, {0, 0, 0}), false};
    const RwMatrix* m = RwFrameGetWorldMatrix(frame);
    for (RwLLLink* l = rwLinkListGetFirstLLLink(&frame->objectList);
         l != rwLinkListGetTerminator(&frame->objectList); l = l->next) {
        auto* object = reinterpret_cast<RwObjectHasFrame*>(reinterpret_cast<RwUInt8*>(l) -
                                                           offsetof(RwObjectHasFrame, lFrame));
        if (object->object.type != rwLIGHT)
            continue;
        const RwUInt8 type = object->object.subType;
        if (type == rpLIGHTDIRECTIONAL || type == rpLIGHTSPOT || type == rpLIGHTSPOTSOFT)
            return {Normalise(TransformVector(worldToObject, {-m->at.x, -m->at.y, -m->at.z})), true};
    }
    return {TransformPoint(worldToObject, m->pos), false};
}

// The triangles of the mesh as local vertex indices (0 = the mesh's first vertex), into the scratch list.
const std::vector<RwUInt16>& MeshIndices(const RpD3D9InstanceData* header, const RpD3D9MeshInstance& mesh,
                                         bool& strip) {
    strip = header->primType == D3DPT_TRIANGLESTRIP;
    std::vector<RwUInt16>& indices = state.bump.indices;
    indices.clear();
    if (header->indexBuffer) {
        auto* buffer = static_cast<IDirect3DIndexBuffer9*>(header->indexBuffer);
        void* data = nullptr;
        if (SUCCEEDED(buffer->Lock(mesh.startIndex * 2, mesh.numIndex * 2, &data, D3DLOCK_READONLY)) &&
            data) {
            const auto* from = static_cast<const RwUInt16*>(data);
            indices.assign(from, from + mesh.numIndex);
            buffer->Unlock();
        }
    } else {
        indices.resize(mesh.numVertices);
        for (RwUInt32 i = 0; i < mesh.numVertices; ++i)
            indices[i] = RwUInt16(i);
    }
    return indices;
}

// Writes the mesh's vertices with their texture coordinates shifted along the light's direction in
// texture space.
bool ShiftTexCoords(const RpD3D9InstanceData* header, const RpD3D9MeshInstance& mesh,
                    const RpMatFXBumpMapData& bump, BumpVertex* out) {
    const RwReal scale = bump.invBumpWidth * bump.coefficient;
    const BumpLight light = FindBumpLight(bump.frame);
    D3DVERTEXELEMENT9 elements[MAXD3DDECLLENGTH + 1];
    UINT count = MAXD3DDECLLENGTH + 1;
    auto* declaration = static_cast<IDirect3DVertexDeclaration9*>(header->vertexDeclaration);
    if (!declaration || FAILED(declaration->GetDeclaration(elements, &count)))
        return false;
    const RwUInt32 n = mesh.numVertices;
    BumpScratch& scratch = state.bump;
    scratch.positions.assign(n, RwV3d{0, 0, 0});
    scratch.normals.assign(n, RwV3d{0, 0, 0});
    scratch.tangents.assign(n, RwV3d{0, 0, 0});
    scratch.uvs.assign(n, RwTexCoords{0, 0});
    scratch.colours.assign(n, 0xFFFFFFFFu);
    std::vector<RwV3d>& positions = scratch.positions;
    std::vector<RwV3d>& normals = scratch.normals;
    std::vector<RwV3d>& tangents = scratch.tangents;
    std::vector<RwTexCoords>& uvs = scratch.uvs;
    std::vector<RwUInt32>& colours = scratch.colours;
    bool haveTangents = false;
    const RwUInt8* data[2] = {};
    for (RwUInt32 s = 0; s < 2; ++s) {
        const RwD3D9VertexStream& stream = header->vertexStream[s];
        if (!stream.vertexBuffer || !(stream.geometryFlags & 0xFF6))
            continue;
        const RwUInt32 start =
            (header->useOffsets ? stream.offset : 0) + RwUInt32(mesh.baseIndex) * stream.stride;
        void* bytes = nullptr;
        if (FAILED(static_cast<IDirect3DVertexBuffer9*>(stream.vertexBuffer)
                       ->Lock(start, n * stream.stride, &bytes, D3DLOCK_NOSYSLOCK | D3DLOCK_READONLY)))
            continue;
        data[s] = static_cast<const RwUInt8*>(bytes);
    }
    for (UINT e = 0; e < count && elements[e].Stream != 0xFF; ++e) {
        const D3DVERTEXELEMENT9& el = elements[e];
        if (el.Stream > 1 || !data[el.Stream])
            continue;
        const RwUInt32 stride = header->vertexStream[el.Stream].stride;
        const RwUInt8* base = data[el.Stream] + el.Offset;
        for (RwUInt32 i = 0; i < n; ++i) {
            const RwUInt8* at = base + i * stride;
            switch (el.Usage) {
            case D3DDECLUSAGE_POSITION:
                _rpD3D9VertexDeclarationUnpackV3d(el.Type, &positions[i], at);
                break;
            case D3DDECLUSAGE_NORMAL:
                _rpD3D9VertexDeclarationUnpackV3d(el.Type, &normals[i], at);
                break;
            case D3DDECLUSAGE_COLOR:
                if (el.UsageIndex == 0)
                    std::memcpy(&colours[i], at, 4);
                break;
            case D3DDECLUSAGE_TEXCOORD:
                if (el.UsageIndex == 0)
                    _rpD3D9VertexDeclarationUnpackV2d(el.Type, &uvs[i], at);
                break;
            case D3DDECLUSAGE_TANGENT:
                _rpD3D9VertexDeclarationUnpackV3d(el.Type, &tangents[i], at);
                haveTangents = true;
                break;
            default:
                break;
            }
        }
    }
    for (RwUInt32 s = 0; s < 2; ++s)
        if (data[s])
            static_cast<IDirect3DVertexBuffer9*>(header->vertexStream[s].vertexBuffer)->Unlock();
    if (!haveTangents) {
        bool strip = false;
        const std::vector<RwUInt16>& indices = MeshIndices(header, mesh, strip);
        const RpD3D9TangentMesh run = {indices.data(), RwUInt32(indices.size()), strip ? TRUE : FALSE, 0};
        _rpD3D9ComputeTangents(tangents.data(), positions.data(), uvs.data(), RwInt32(n), &run, 1);
    }
    for (RwUInt32 i = 0; i < n; ++i) {
        const RwV3d& p = positions[i];
        const RwV3d l = light.directional
                            ? light.vector
                            : Normalise({light.vector.x - p.x, light.vector.y - p.y, light.vector.z - p.z});
        const RwReal du = Dot(tangents[i], l);
        const RwReal dv = Dot(Cross(tangents[i], normals[i]), l);
        out[i] = {
            p, normals[i], colours[i], uvs[i].u, uvs[i].v, uvs[i].u + du * scale, uvs[i].v + dv * scale};
    }
    return true;
}

void DrawBumpMap(const RpD3D9InstanceData* header, const RpD3D9MeshInstance& mesh, RwUInt32 flags,
                 const RpMatFXBumpMapData& bump, const RpMatFXEnvMapData* env) {
    RwTexture* base = mesh.material->texture;
    RwTexture* bumped = bump.bumpedTexture;
    if (!bumped && HasAlpha(base))
        bumped = base;
    if (!bumped) {
        DrawDefault(header, mesh, flags, nullptr);
        return;
    }
    void* buffer = nullptr;
    void* vertices = nullptr;
    RwUInt32 first = 0;
    if (!RwD3D9LockDynamicVertexBuffer(sizeof(BumpVertex), mesh.numVertices, &buffer, &vertices, &first))
        return;
    const bool written = ShiftTexCoords(header, mesh, bump, static_cast<BumpVertex*>(vertices));
    RwD3D9UnlockVertexBuffer(buffer);
    if (!written)
        return;
    RwD3D9SetTexture(bumped, 0);
    RwD3D9SetFVF(bumpFVF);
    RwD3D9SetStreamSource(0, buffer, 0, sizeof(BumpVertex));
    RwD3D9SetStreamSource(1, nullptr, 0, 0);
    RwD3D9SetVertexShader(mesh.vertexShader);
    RpD3D9MeshInstance moved = mesh;
    moved.baseIndex = RwInt32(first);
    RwTexture* envTexture = env ? env->texture : nullptr;
    const bool envShader = envTexture && envTexture->raster && state.shaders[shaderBumpEnv] &&
                           CoefficientByte(env->coefficient) != 0;
    if (!state.shaders[shaderBump]) {
        BothOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        RwD3D9SetVertexAlphaEnable(TRUE);
        RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
        const SavedBlends blends;
        blends.Set(blendInvSrcAlpha, blendZero);
        DrawMesh(header, moved);
        RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
        blends.Set(blendSrcAlpha, blendOne);
        const RwUInt32 zWrite = GetRenderState(D3DRS_ZWRITEENABLE);
        RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        Stage(0, D3DTSS_TEXCOORDINDEX, 1);
        DrawMesh(header, moved);
        Stage(0, D3DTSS_TEXCOORDINDEX, 0);
        RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, zWrite);
        RwD3D9SetVertexAlphaEnable(FALSE);
        blends.Restore();
    } else {
        RwD3D9SetVertexAlphaEnable(FALSE);
        RwD3D9SetTexture(bumped, 1);
        const RwUInt32 blend = GetRenderState(D3DRS_ALPHABLENDENABLE);
        const RwUInt32 test = GetRenderState(D3DRS_ALPHATESTENABLE);
        RwD3D9SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
        if (envShader) {
            RpMatFXSetEnvMapTexture(envTexture, 2, env->frame);
            Shader shader = shaderBumpEnv;
            if (env->useFrameBufferAlpha)
                shader = HasAlpha(envTexture) ? shaderBumpEnvAlphaTex : shaderBumpEnvAlpha;
            SetPixelShaderCoefficient(env->coefficient);
            DrawMesh(header, moved, state.shaders[shader]);
            ResetEnvStage(2);
        } else {
            DrawMesh(header, moved, state.shaders[shaderBump]);
        }
        RwD3D9SetPixelShader(nullptr);
        RwD3D9SetRenderState(D3DRS_ALPHABLENDENABLE, blend);
        RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, test);
        RwD3D9SetTexture(nullptr, 1);
    }
    RwD3D9SetStreams(header->vertexStream, header->useOffsets);
    RwD3D9SetVertexDeclaration(header->vertexDeclaration);
    if (envTexture && !state.shaders[shaderBumpEnv])
        DrawEnvMap(header, mesh, flags, 1, env);
}

// Dual pass -----------------------------------------------------------------------------------------------

enum class DualForm { none, modulate, blendAlpha, modulate2x, add, alphaModulate };

DualForm FormOf(RwUInt32 src, RwUInt32 dst) {
    if ((src == blendDestColor && dst == blendZero) || (src == blendZero && dst == blendSrcColor))
        return DualForm::modulate;
    if (src == blendSrcAlpha && dst == blendInvSrcAlpha)
        return DualForm::blendAlpha;
    if (src == blendDestColor && dst == blendSrcColor)
        return DualForm::modulate2x;
    if (src == blendOne && dst == blendOne)
        return DualForm::add;
    if (src == blendZero && dst == blendSrcAlpha)
        return DualForm::alphaModulate;
    return DualForm::none;
}

// Sets up the single-pass form; false when the pair needs two passes on this device.
bool SetUpSinglePass(DualForm form, bool textured, RwTexture* second) {
    const bool three = state.maxStages >= 3;
    if (!textured) {
        RwD3D9SetTexture(second, 0);
        switch (form) {
        case DualForm::modulate:
            BothOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
            return true;
        case DualForm::blendAlpha:
            RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu);
            ColorOp(0, D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR);
            BothOps(1, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT);
            return true;
        case DualForm::modulate2x:
            ColorOp(0, D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE);
            AlphaOp(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
            return true;
        case DualForm::add:
            // The second texture goes on stage 0, the diffuse colour is added on stage 1.
            ColorOp(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
            AlphaOp(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
            ColorOp(1, D3DTOP_ADD, D3DTA_DIFFUSE, D3DTA_CURRENT);
            AlphaOp(1, D3DTOP_SELECTARG2, D3DTA_DIFFUSE, D3DTA_CURRENT);
            return true;
        case DualForm::alphaModulate:
            ColorOp(0, D3DTOP_MODULATE, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, D3DTA_DIFFUSE);
            AlphaOp(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
            return true;
        default:
            return false;
        }
    }
    // The base texture is on stage 0; the second goes on stage 1.
    auto baseFirst = [&] {
        if (three) {
            BothOps(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
            BothOps(2, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT);
        }
    };
    switch (form) {
    case DualForm::modulate:
        RwD3D9SetTexture(second, 1);
        baseFirst();
        ColorOp(1, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT);
        AlphaOp(1, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT);
        return true;
    case DualForm::blendAlpha:
        if (!three)
            return false;
        RwD3D9SetTexture(second, 1);
        baseFirst();
        BothOps(1, D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE, D3DTA_CURRENT);
        return true;
    case DualForm::modulate2x:
        RwD3D9SetTexture(second, 1);
        baseFirst();
        ColorOp(1, D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_CURRENT);
        AlphaOp(1, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT);
        return true;
    case DualForm::add:
        if (!state.multiplyAdd)
            return false;
        RwD3D9SetTexture(second, 1);
        ColorOp(1, D3DTOP_MULTIPLYADD, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        Stage(1, D3DTSS_COLORARG0, D3DTA_CURRENT);
        AlphaOp(1, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT);
        return true;
    case DualForm::alphaModulate:
        RwD3D9SetTexture(second, 1);
        baseFirst();
        ColorOp(1, D3DTOP_MODULATE, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, D3DTA_CURRENT);
        AlphaOp(1, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT);
        return true;
    default:
        return false;
    }
}

void DrawDualPass(const RpD3D9InstanceData* header, const RpD3D9MeshInstance& mesh, RwUInt32 flags,
                  const RpMatFXDualData& dual, const RpMatFXUVTransformData* uv) {
    RwTexture* second = dual.texture;
    const RwMatrix* baseMatrix = uv ? uv->baseTransform : nullptr;
    const RwMatrix* dualMatrix = uv ? uv->dualTransform : nullptr;
    if (!second) {
        DrawDefault(header, mesh, flags, baseMatrix);
        return;
    }
    const bool textured = Textured(flags);
    const bool texCoords2 = (flags & rpGEOMETRYTEXTURED2) != 0;
    BaseStage(textured ? mesh.material->texture : nullptr, flags);
    bool transformed = textured && ApplyUVMatrix(0, baseMatrix);
    DualForm form = state.multiTexture ? FormOf(dual.srcBlendMode, dual.dstBlendMode) : DualForm::none;
    if (form == DualForm::modulate2x && !state.modulate2x)
        form = DualForm::none;
    bool single = form != DualForm::none && SetUpSinglePass(form, textured, second);
    if (single && form == DualForm::modulate2x && state.modulate2xUnvalidated) {
        state.modulate2xUnvalidated = false;
        if (!Validates()) {
            state.modulate2x = false;
            BothOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
            DisableStage(1);
            DisableStage(2);
            RwD3D9SetTexture(nullptr, 1);
            BaseStage(textured ? mesh.material->texture : nullptr, flags);
            single = false;
        }
    }
    if (single) {
        const RwUInt32 secondStage = textured ? 1 : 0;
        if (secondStage == 1 && !texCoords2)
            Stage(1, D3DTSS_TEXCOORDINDEX, 0);
        if (ApplyUVMatrix(secondStage, dualMatrix))
            transformed = true;
        DrawMesh(header, mesh);
    } else {
        DrawMesh(header, mesh);
        RwD3D9SetTexture(second, 0);
        if (dualMatrix && ApplyUVMatrix(0, dualMatrix))
            transformed = true;
        else if (transformed)
            Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        RwD3D9SetVertexAlphaEnable(TRUE);
        const RwUInt32 src = dual.srcBlendMode, dst = dual.dstBlendMode;
        if ((src == blendDestColor && dst == blendZero) || (src == blendZero && dst == blendSrcColor) ||
            (src == blendDestColor && dst == blendSrcColor))
            RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
        const SavedBlends blends;
        blends.Set(src, dst);
        const RwUInt32 zWrite = GetRenderState(D3DRS_ZWRITEENABLE);
        RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        const RwUInt32 fog = GetRenderState(D3DRS_FOGENABLE), fogColor = GetRenderState(D3DRS_FOGCOLOR);
        if (fog) {
            if (dst == blendOne)
                RwD3D9SetRenderState(D3DRS_FOGCOLOR, 0);
            else if (src == blendDestColor || dst == blendSrcColor)
                RwD3D9SetRenderState(D3DRS_FOGCOLOR, 0xFFFFFFFFu);
        }
        if (texCoords2)
            Stage(0, D3DTSS_TEXCOORDINDEX, 1);
        DrawMesh(header, mesh);
        RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, zWrite);
        if (fog)
            RwD3D9SetRenderState(D3DRS_FOGCOLOR, fogColor);
        Stage(0, D3DTSS_TEXCOORDINDEX, 0);
        RwD3D9SetVertexAlphaEnable(FALSE);
        blends.Restore();
    }
    ColorOp(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    RwD3D9SetTexture(nullptr, 1);
    DisableStage(1);
    DisableStage(2);
    Stage(1, D3DTSS_TEXCOORDINDEX, 1);
    if (transformed) {
        Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        Stage(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    }
}

// Pipelines -----------------------------------------------------------------------------------------------

bool WantsTangents(const RpMeshHeader* meshHeader) {
    if (!state.pixelShaders || !meshHeader)
        return false;
    const RpMesh* meshes = RpMeshHeaderGetMeshes(meshHeader);
    for (RwUInt32 m = 0; m < meshHeader->numMeshes; ++m) {
        const RwUInt32 kind = meshes[m].material ? RpMatFXMaterialGetEffects(meshes[m].material) : 0;
        if (kind == rpMATFXEFFECTBUMPMAP || kind == rpMATFXEFFECTBUMPENVMAP)
            return true;
    }
    return false;
}

RwPipeline* MakePipeline(RwNodeDefinition* definition, RpD3D9AllInOneInstanceCallBack instance,
                         RpD3D9AllInOneInstanceCallBack* saved) {
    RwPipeline* pipeline = RwPipelineCreate();
    if (!pipeline)
        return nullptr;
    pipeline->pluginId = rwID_MATERIALEFFECTSPLUGIN;
    RwUInt32 first = 0;
    if (!RwPipelineLock(pipeline) || !RwPipelineLockedAddFragment(pipeline, &first, definition, nullptr) ||
        !RwPipelineUnlock(pipeline)) {
        RwPipelineDestroy(pipeline);
        return nullptr;
    }
    RwPipelineNode* node = RwPipelineFindNamedNode(pipeline, definition->name, nullptr, nullptr);
    if (!node) {
        RwPipelineDestroy(pipeline);
        return nullptr;
    }
    *saved = RpD3D9AllInOneGetInstanceCallback(node);
    RpD3D9AllInOneSetInstanceCallback(node, instance);
    RpD3D9AllInOneSetRenderCallback(node, RpMatFXRenderCallback);
    return pipeline;
}

} // namespace

RwBool RpMatFXAtomicInstanceCallback(void* object, RpD3D9InstanceData* header, RwBool reinstance) {
    auto* atomic = static_cast<RpAtomic*>(object);
    RpGeometry* geometry = atomic->geometry;
    if (!reinstance && geometry && WantsTangents(geometry->mesh))
        RpD3D9GeometrySetUsageFlags(geometry, RpD3D9GeometryGetUsageFlags(geometry) | usageTangent);
    return state.atomicInstance ? state.atomicInstance(object, header, reinstance) : TRUE;
}

RwBool RpMatFXWorldSectorInstanceCallback(void* object, RpD3D9InstanceData* header, RwBool reinstance) {
    auto* sector = static_cast<RpWorldSector*>(object);
    if (WantsTangents(sector->mesh))
        RpD3D9WorldSectorSetUsageFlags(sector, RpD3D9WorldSectorGetUsageFlags(sector) | usageTangent);
    return state.sectorInstance ? state.sectorInstance(object, header, reinstance) : TRUE;
}

void RpMatFXRenderCallback(RwResourceEntry* entry, void* object, RwUInt8 type, RwUInt32 flags) {
    RpD3D9InstanceData* header = RpD3D9ResourceEntryGetInstanceData(entry);
    RpD3D9SetClippingForObject(object, type == 1 ? 1 : -1);
    const RwUInt32 lighting = GetRenderState(D3DRS_LIGHTING);
    const bool black = !lighting && !(flags & rpGEOMETRYPRELIT);
    if (black) {
        RwD3D9SetTexture(nullptr, 0);
        RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000u);
        ColorOp(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR);
        AlphaOp(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR);
    }
    if (header->indexBuffer)
        RwD3D9SetIndices(header->indexBuffer);
    RwD3D9SetStreams(header->vertexStream, header->useOffsets);
    RwD3D9SetVertexDeclaration(header->vertexDeclaration);
    RpD3D9MeshInstance* meshes = RpD3D9InstanceDataGetMeshes(header);
    for (RwUInt32 m = 0; m < header->numMeshes; ++m) {
        const RpD3D9MeshInstance& mesh = meshes[m];
        RpMaterial* material = mesh.material;
        if (!material)
            continue;
        RwD3D9SetVertexAlphaEnable(mesh.vertexAlpha || material->color.alpha != 255 ? TRUE : FALSE);
        if (black) {
            DrawMesh(header, mesh);
            continue;
        }
        if (lighting)
            RwD3D9SetSurfaceProperties(&material->surfaceProps, &material->color, flags);
        const RpMatFXMaterialData* data = RpMatFXMaterialGetData(material);
        const RwUInt32 kind = data ? data->flags : rpMATFXEFFECTNULL;
        const RpMatFXEffect* slot0 = data ? &data->effect[0] : nullptr;
        const RpMatFXEffect* slot1 = data ? &data->effect[1] : nullptr;
        switch (kind) {
        case rpMATFXEFFECTBUMPMAP:
            DrawBumpMap(header, mesh, flags, slot0->data.bumpMap, nullptr);
            break;
        case rpMATFXEFFECTENVMAP:
            DrawEnvMap(header, mesh, flags, 0, &slot0->data.envMap);
            break;
        case rpMATFXEFFECTBUMPENVMAP:
            DrawBumpMap(header, mesh, flags, slot0->data.bumpMap, &slot1->data.envMap);
            break;
        case rpMATFXEFFECTDUAL:
            DrawDualPass(header, mesh, flags, slot0->data.dual, nullptr);
            break;
        case rpMATFXEFFECTDUALUVTRANSFORM:
            DrawDualPass(header, mesh, flags, slot1->data.dual, &slot0->data.uvTransform);
            break;
        case rpMATFXEFFECTUVTRANSFORM:
            DrawDefault(header, mesh, flags, slot0->data.uvTransform.baseTransform);
            break;
        default:
            DrawDefault(header, mesh, flags, nullptr);
            break;
        }
    }
}

RwBool RpMatFXSetEnvMapTexture(RwTexture* texture, RwUInt32 stage, RwFrame* frame) {
    RwD3D9SetTexture(texture, stage);
    const RwCamera* camera = RWSRCGLOBAL(curCamera);
    const RwMatrix* cameraMatrix =
        camera && RwCameraGetFrame(camera) ? RwFrameGetWorldMatrix(RwCameraGetFrame(camera)) : nullptr;
    D3DMATRIX t = {};
    t._44 = 1.0f;
    if (texture && texture->raster && RwD3D9RasterIsCubeTexture(texture->raster)) {
        Stage(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
        Stage(stage, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
        if (cameraMatrix) {
            t._11 = -cameraMatrix->right.x, t._12 = -cameraMatrix->right.y, t._13 = -cameraMatrix->right.z;
            t._21 = cameraMatrix->up.x, t._22 = cameraMatrix->up.y, t._23 = cameraMatrix->up.z;
            t._31 = cameraMatrix->at.x, t._32 = cameraMatrix->at.y, t._33 = cameraMatrix->at.z;
        } else {
            t._11 = -1.0f, t._22 = 1.0f, t._33 = 1.0f;
        }
        RwD3D9SetTransform(D3DTS_TEXTURE0 + stage, &t);
        return TRUE;
    }
    Stage(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    Stage(stage, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
    // Camera-space normals in -1..1 to texture space 0..1, v downwards.
    const D3DMATRIX map = {{{0.5f, 0, 0, 0, 0, -0.5f, 0, 0, 0, 0, 1, 0, 0.5f, 0.5f, 0, 0}}};
    if (!frame || !cameraMatrix) {
        RwD3D9SetTransform(D3DTS_TEXTURE0 + stage, &map);
        return TRUE;
    }
    // Camera space to the frame's space, right axis negated, translation dropped; then the fixed map.
    RwMatrix inverse, product;
    RwMatrixInvertGeneral(&inverse, RwFrameGetWorldMatrix(frame));
    RwMatrixMultiply(&product, cameraMatrix, &inverse);
    const RwReal r[3][3] = {{-product.right.x, -product.right.y, -product.right.z},
                            {product.up.x, product.up.y, product.up.z},
                            {product.at.x, product.at.y, product.at.z}};
    for (int i = 0; i < 3; ++i) {
        t.m[i][0] = r[i][0] * 0.5f;
        t.m[i][1] = r[i][1] * -0.5f;
        t.m[i][2] = r[i][2];
        t.m[i][3] = 0.0f;
    }
    t.m[3][0] = 0.5f, t.m[3][1] = 0.5f, t.m[3][2] = 0.0f, t.m[3][3] = 0.0f;
    RwD3D9SetTransform(D3DTS_TEXTURE0 + stage, &t);
    return TRUE;
}

RwBool RpMatFXPipelinesCreate() {
    state = ModuleState{};
    state.uvMatrix._33 = 1.0f;
    state.atomicPipeline = MakePipeline(RpD3D9GetAtomicAllInOneNodeDefinition(),
                                        RpMatFXAtomicInstanceCallback, &state.atomicInstance);
    state.sectorPipeline = MakePipeline(RpD3D9GetWorldSectorAllInOneNodeDefinition(),
                                        RpMatFXWorldSectorInstanceCallback, &state.sectorInstance);
    if (const D3DCAPS9* caps = RwD3D9GetCaps()) {
        state.maxStages = caps->MaxTextureBlendStages;
        if (state.maxStages >= 2) {
            state.multiTexture = caps->MaxSimultaneousTextures > 1;
            state.multiplyAdd = (caps->TextureOpCaps & D3DTEXOPCAPS_MULTIPLYADD) != 0;
            state.modulate2x = (caps->TextureOpCaps & D3DTEXOPCAPS_MODULATE2X) != 0;
        }
        state.pixelShaders = (caps->PixelShaderVersion & 0xFFFF) > 0x0100;
    }
    if (state.pixelShaders) {
        for (int i = 0; i < 6; ++i) {
            ID3DXBuffer* code = nullptr;
            if (SUCCEEDED(D3DXAssembleShader(shaderTexts[i], UINT(std::strlen(shaderTexts[i])), nullptr,
                                             nullptr, 0, &code, nullptr)) &&
                code) {
                RwD3D9CreatePixelShader(static_cast<const RwUInt32*>(code->GetBufferPointer()),
                                        &state.shaders[i]);
                code->Release();
            }
        }
    }
    return state.atomicPipeline && state.sectorPipeline ? TRUE : FALSE;
}

RwBool RpMatFXPipelinesDestroy() {
    if (state.atomicPipeline)
        RwPipelineDestroy(state.atomicPipeline);
    if (state.sectorPipeline)
        RwPipelineDestroy(state.sectorPipeline);
    for (void*& shader : state.shaders) {
        if (shader)
            RwD3D9DeleteShader(shader);
        shader = nullptr;
    }
    state = ModuleState{};
    return TRUE;
}

RwPipeline* RpMatFXGetAtomicPipeline() {
    return state.atomicPipeline;
}

RwPipeline* RpMatFXGetWorldSectorPipeline() {
    return state.sectorPipeline;
}

RpMatFXD3D9Caps RpMatFXGetD3D9Caps() {
    return {state.pixelShaders && state.shaders[shaderBump] ? TRUE : FALSE, state.maxStages,
            state.multiTexture ? TRUE : FALSE, state.multiplyAdd ? TRUE : FALSE,
            state.modulate2x ? TRUE : FALSE};
}
