// The colour module: it keeps no data of its own, only its open count.
#pragma once

#include "rwsdk/src/plcore/types.h"

RwInt32 _rwColorModuleAttach();
