#include "rwsdk/world/baworld.h"

#include "rwsdk/world/baclump.h"
#include "rwsdk/world/bageomet.h"
#include "rwsdk/world/balight.h"
#include "rwsdk/world/bamateri.h"
#include "rwsdk/world/bamesh.h"
#include "rwsdk/world/baworobj.h"
#include "rwsdk/world/bawrld.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9instance.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9native.h"

RwBool RpWorldPluginAttach() {
    // Modules: material, mesh, geometry, clump and atomic, light, the default world pipelines, the world and
    // the world binary module.
    if (_rpMaterialModuleAttach() < 0 || _rpMeshModuleAttach() < 0 || _rpGeometryModuleAttach() < 0 ||
        _rpClumpModuleAttach() < 0 || _rpLightModuleAttach() < 0 ||
        _rpWorldDefaultPipelinesModuleAttach() < 0 || _rpWorldModuleAttach() < 0 ||
        _rpWorldBinaryModuleAttach() < 0)
        return FALSE;
    // The Direct3D 9 world pipelines' light and usage plugins.
    if (!RpD3D9WorldPipelinesAttach())
        return FALSE;
    // The world objects with the extensions: the mesh and native-data extensions (the rendering rights of
    // atomics and materials come with their modules), then the clump links of lights and cameras.
    if (_rpWorldObjectsAttach() < 0 || _rpMeshGeometryPluginAttach() < 0 ||
        !_rpD3D9NativeDataPluginAttach() || _rpClumpLinkPluginsAttach() < 0)
        return FALSE;
    return TRUE;
}
