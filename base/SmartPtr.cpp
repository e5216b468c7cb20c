#include "base/SmartPtr.h"

namespace Base {

SmartPtrTarget::~SmartPtrTarget() {
    while (head.IsLinked()) {
        SmartPtrNode* node = static_cast<SmartPtrNode*>(head.next);
        node->Unlink();
        node->pointer = nullptr;
    }
}

} // namespace Base
