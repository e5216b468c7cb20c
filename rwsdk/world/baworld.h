// The world plugin's attach: registers the world-side engine modules and extensions in their order.
#pragma once

#include "rwsdk/src/plcore/types.h"

// Between RwEngineInit and RwEngineOpen; true when every registration succeeded.
RwBool RpWorldPluginAttach();
