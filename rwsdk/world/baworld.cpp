#include "rwsdk/world/baworld.h"

#include "rwsdk/world/baclump.h"
#include "rwsdk/world/bageomet.h"
#include "rwsdk/world/balight.h"
#include "rwsdk/world/bamateri.h"
#include "rwsdk/world/bamesh.h"

RwBool RpWorldPluginAttach() {
    // Modules: material, mesh, geometry, clump and atomic, light. The default world pipelines (0x50A), the
    // world (0x507) and world binary (0x50B) modules and the world-objects module (0x509) follow the light
    // module once worlds exist.
    if (_rpMaterialModuleAttach() < 0 || _rpMeshModuleAttach() < 0 || _rpGeometryModuleAttach() < 0 ||
        _rpClumpModuleAttach() < 0 || _rpLightModuleAttach() < 0)
        return FALSE;
    // Extensions: the mesh extension of geometries (the rendering rights of atomics and materials come with
    // their modules), then the clump links of lights and cameras.
    if (_rpMeshGeometryPluginAttach() < 0 || _rpClumpLinkPluginsAttach() < 0)
        return FALSE;
    return TRUE;
}
