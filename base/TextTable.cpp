#include "base/TextTable.h"

namespace Base {

Info TextTable;

String GetText(std::string_view key) {
    return TextTable.GetStringDefault(key, String());
}

} // namespace Base
