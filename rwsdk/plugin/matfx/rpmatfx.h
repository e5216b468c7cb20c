// The material-effects plugin: up to two rendering effects per material (bump map, environment map, dual
// pass, texture-coordinate transform), kept through the material stream, and the flag that switches an
// atomic or world sector to the plugin's pipelines.
#pragma once

#include "rwsdk/src/plcore/types.h"

struct RpAtomic;
struct RpMaterial;
struct RpWorldSector;
struct RwFrame;
struct RwMatrix;
struct RwPipeline;
struct RwTexture;

constexpr RwUInt32 rwID_MATERIALEFFECTSPLUGIN = 0x120;

// The effects kind of a material.
enum RpMatFXMaterialFlags : RwUInt32 {
    rpMATFXEFFECTNULL = 0,
    rpMATFXEFFECTBUMPMAP = 1,
    rpMATFXEFFECTENVMAP = 2,
    rpMATFXEFFECTBUMPENVMAP = 3,
    rpMATFXEFFECTDUAL = 4,
    rpMATFXEFFECTUVTRANSFORM = 5,
    rpMATFXEFFECTDUALUVTRANSFORM = 6,
    rpMATFXNUMEFFECTS = 7
};

// The type of one effect slot.
enum RpMatFXEffectType : RwUInt32 {
    rpMATFXTYPENULL = 0,
    rpMATFXTYPEBUMPMAP = 1,
    rpMATFXTYPEENVMAP = 2,
    rpMATFXTYPEDUAL = 4,
    rpMATFXTYPEUVTRANSFORM = 5
};

struct RpMatFXBumpMapData {
    RwFrame* frame; // null: the camera's frame lights the bumps
    RwTexture* bumpedTexture;
    RwTexture* bumpTexture;
    RwReal coefficient;  // stored negated
    RwReal invBumpWidth; // 1 / width of the bumped texture's raster
};

struct RpMatFXEnvMapData {
    RwFrame* frame;
    RwTexture* texture;
    RwReal coefficient;
    RwUInt32 useFrameBufferAlpha;
};

struct RpMatFXDualData {
    RwTexture* texture;
    RwUInt32 srcBlendMode; // engine blend functions
    RwUInt32 dstBlendMode;
};

// Neither matrix is owned.
struct RpMatFXUVTransformData {
    RwMatrix* baseTransform;
    RwMatrix* dualTransform;
};

struct RpMatFXEffect {
    union {
        RpMatFXBumpMapData bumpMap;
        RpMatFXEnvMapData envMap;
        RpMatFXDualData dual;
        RpMatFXUVTransformData uvTransform;
    } data;
    RwUInt32 effectType;
};

struct RpMatFXMaterialData {
    RpMatFXEffect effect[2];
    RwUInt32 flags; // the effects kind
};

// Registers the engine, material, atomic and world-sector data (plugin 0x120); before the engine opens.
RwBool RpMatFXPluginAttach();

// Sets the effects kind (0 to 6); a kind of 0, or a change from another non-zero kind, first releases what
// both slots hold. Null when the data cannot be made or the kind is unknown.
RpMaterial* RpMatFXMaterialSetEffects(RpMaterial* material, RwUInt32 kind);
RwUInt32 RpMatFXMaterialGetEffects(const RpMaterial* material);
// The material's data, or null when it has none.
RpMatFXMaterialData* RpMatFXMaterialGetData(const RpMaterial* material);
// The first slot of the type, or null.
RpMatFXEffect* RpMatFXMaterialFindEffect(const RpMaterial* material, RwUInt32 type);

// Stores the bump texture and builds (or finds by name) the bumped texture from it and the material's
// texture. Null when there is no bump-map slot or the bumped texture cannot be built.
RpMaterial* RpMatFXMaterialSetBumpMapTexture(RpMaterial* material, RwTexture* bumpTexture);
// The coefficient as given (it is held negated); null without a bump-map slot.
RpMaterial* RpMatFXMaterialSetBumpMapCoefficient(RpMaterial* material, RwReal coefficient);
RpMaterial* RpMatFXMaterialSetEnvMapTexture(RpMaterial* material, RwTexture* texture);
RpMaterial* RpMatFXMaterialSetEnvMapCoefficient(RpMaterial* material, RwReal coefficient);
RpMaterial* RpMatFXMaterialSetEnvMapFrameBufferAlpha(RpMaterial* material, RwBool useFrameBufferAlpha);
RpMaterial* RpMatFXMaterialSetDualTexture(RpMaterial* material, RwTexture* texture);
RpMaterial* RpMatFXMaterialSetDualBlendModes(RpMaterial* material, RwUInt32 srcBlend, RwUInt32 dstBlend);
RpMaterial* RpMatFXMaterialSetUVTransformMatrices(RpMaterial* material, RwMatrix* base, RwMatrix* dual);

// Switches the atomic (sector) to the material-effects pipeline once; later calls do nothing.
RpAtomic* RpMatFXAtomicEnableEffects(RpAtomic* atomic);
RwBool RpMatFXAtomicQueryEffects(const RpAtomic* atomic);
RpWorldSector* RpMatFXWorldSectorEnableEffects(RpWorldSector* sector);
RwBool RpMatFXWorldSectorQueryEffects(const RpWorldSector* sector);

// The interleaved name of a bumped texture: one character of each name in turn, at most 30.
void _rpMatFXBumpedTextureName(RwChar out[32], const RwChar* base, const RwChar* bump);
