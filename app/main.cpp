// For now the program reads its start-up files and says what it found; the window comes next.
#include "base/Info.h"
#include "base/TextTable.h"

#include <cstdio>

int main() {
    Base::Info startup;
    if (startup.LoadFile("Startup.info") != 0) {
        std::fprintf(stderr, "Cannot read Startup.info in the working directory.\n");
        return 1;
    }
    Base::String stringsName;
    if (!startup.TryGetString("StringsInfoName", stringsName)) {
        std::fprintf(stderr, "Startup.info names no strings file (StringsInfoName).\n");
        return 1;
    }
    Base::Info strings;
    int result = strings.LoadFile(stringsName);
    if (result != 0) {
        std::fprintf(stderr, "Cannot read the strings file %s (%s %d).\n", stringsName.c_str(),
                     result < 0 ? "open failed" : "error at line", result);
        return 1;
    }
    Base::TextTable = strings;

    std::printf("%s\n", Base::GetText("AppTitle").c_str());
    std::printf("Strings file: %s\n", stringsName.c_str());
    int missing = 0;
    for (const char* key :
         {"DataDir", "FontsDir", "ModelsDir", "AnimationsDir", "SoundsDir", "TexturesDir"}) {
        bool found = false;
        Base::String value = Base::TextTable.GetStringDefault(key, "", &found);
        std::printf("  %-14s %s\n", key, found ? value.c_str() : "(missing)");
        missing += found ? 0 : 1;
    }
    return missing == 0 ? 0 : 1;
}
