// Writes the game's bitmap fonts into the data tree: make_fonts <data directory>. Each font is a *.font
// description under Data/Fonts and a white PNG atlas whose alpha is the glyph coverage under Data/Textures.
// Every glyph's rectangle is one full line tall, so glyphs sit on a common baseline when drawn at the
// rectangle's top; the advance is the rectangle's width.
#include "tools/textures/TextureFiles.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct FontPlan {
    const char* fileName;    // as the game asks the font cache for it
    const char* textureName; // the atlas, found along the texture path
    const char* face;        // DejaVu file
    int pixelSize;
    bool symbols; // the radar's contact, navpoint and target marks at 128, 129 and 130
};

const FontPlan Fonts[] = {
    {"Tahoma8.font", "FontTahoma8", "DejaVuSans.ttf", 11, false},
    {"Verdana10i", "FontVerdana10i", "DejaVuSans-Oblique.ttf", 13, false},
    {"Verdana24ib.font", "FontVerdana24ib", "DejaVuSans-BoldOblique.ttf", 32, false},
    {"RadarSymbols.font", "FontRadarSymbols", "DejaVuSans.ttf", 13, true},
    // The menus' labels and their titles.
    {"Verdana14b.font", "FontVerdana14b", "DejaVuSans-Bold.ttf", 18, false},
    {"Verdana48ib.font", "FontVerdana48ib", "DejaVuSans-BoldOblique.ttf", 64, false},
};

struct Rendered {
    int code;
    int width; // advance, or more when the ink reaches beyond it
    int left, top, rows, cols, pitch;
    std::vector<uint8_t> coverage;
};

// Characters 32..126 and 160..255 read as Latin-1; the symbol font adds its marks.
std::vector<std::pair<int, FT_ULong>> CharacterSet(bool symbols) {
    std::vector<std::pair<int, FT_ULong>> set;
    for (int c = 32; c < 127; ++c)
        set.push_back({c, FT_ULong(c)});
    if (symbols) {
        set.push_back({128, 0x25A1}); // white square: a contact
        set.push_back({129, 0x25B3}); // white triangle: a navpoint
        set.push_back({130, 0x25C7}); // white diamond: the target
    } else {
        for (int c = 160; c < 256; ++c)
            set.push_back({c, FT_ULong(c)});
    }
    return set;
}

bool MakeFont(FT_Library library, const FontPlan& plan, const std::string& fontsDir,
              const std::string& texturesDir) {
    FT_Face face = nullptr;
    const std::string facePath = std::string(DEJAVU_DIR) + "/" + plan.face;
    if (FT_New_Face(library, facePath.c_str(), 0, &face) != 0) {
        std::fprintf(stderr, "make_fonts: cannot open %s\n", facePath.c_str());
        return false;
    }
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(plan.pixelSize));
    const int ascender = int((face->size->metrics.ascender + 63) >> 6);
    const int descender = int(-face->size->metrics.descender >> 6);
    const int lineHeight = ascender + descender;

    std::vector<Rendered> glyphs;
    for (auto [code, unicode] : CharacterSet(plan.symbols)) {
        FT_UInt index = FT_Get_Char_Index(face, unicode);
        if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) != 0)
            continue;
        const FT_GlyphSlot slot = face->glyph;
        Rendered r;
        r.code = code;
        r.left = slot->bitmap_left;
        r.top = ascender - slot->bitmap_top;
        r.rows = int(slot->bitmap.rows);
        r.cols = int(slot->bitmap.width);
        r.pitch = slot->bitmap.pitch;
        r.width = std::max(int((slot->advance.x + 32) >> 6), std::max(0, r.left) + r.cols);
        r.coverage.assign(slot->bitmap.buffer,
                          slot->bitmap.buffer + size_t(std::abs(r.pitch)) * size_t(r.rows));
        glyphs.push_back(std::move(r));
    }
    FT_Done_Face(face);

    // Rows of cells with two texels between them, so the half-texel widening never reaches a neighbour.
    const int gap = 2;
    const int atlasWidth = plan.pixelSize > 40 ? 1024 : plan.pixelSize > 20 ? 512 : 256;
    int x = gap, y = gap;
    std::vector<std::pair<int, int>> places;
    for (const Rendered& r : glyphs) {
        if (x + r.width + gap > atlasWidth) {
            x = gap;
            y += lineHeight + gap;
        }
        places.push_back({x, y});
        x += r.width + gap;
    }
    int atlasHeight = 1;
    while (atlasHeight < y + lineHeight + gap)
        atlasHeight *= 2;

    Tools::Picture atlas;
    atlas.width = atlasWidth;
    atlas.height = atlasHeight;
    atlas.rgba.assign(size_t(atlasWidth) * size_t(atlasHeight) * 4, 0);
    for (int py = 0; py < atlasHeight; ++py)
        for (int px = 0; px < atlasWidth; ++px) {
            uint8_t* t = atlas.At(px, py);
            t[0] = t[1] = t[2] = 255;
        }
    std::string description = "; Rasterised by make_fonts from " + std::string(plan.face) + " at " +
                              std::to_string(plan.pixelSize) + " pixels.\nTexture\t" + plan.textureName +
                              "\nSpacing\t0 0\nChars\n{\n";
    for (size_t i = 0; i < glyphs.size(); ++i) {
        const Rendered& r = glyphs[i];
        const auto [cx, cy] = places[i];
        for (int row = 0; row < r.rows; ++row) {
            const int ty = cy + r.top + row;
            if (ty < cy || ty >= cy + lineHeight)
                continue;
            for (int col = 0; col < r.cols; ++col) {
                const int tx = cx + std::max(0, r.left) + col;
                if (tx >= cx + r.width)
                    continue;
                atlas.At(tx, ty)[3] = r.coverage[size_t(row) * size_t(std::abs(r.pitch)) + size_t(col)];
            }
        }
        // Appended, not added up: GCC 12 warns falsely (-Wrestrict) on a chain of "literal" + string.
        description.append("\t").append(std::to_string(r.code)).append("\t").append(std::to_string(cx));
        description.append(" ").append(std::to_string(cy)).append(" r").append(std::to_string(r.width));
        description.append(" r").append(std::to_string(lineHeight)).append("\n");
    }
    description += "}\n";

    if (!Tools::WritePng(texturesDir + plan.textureName + ".png", atlas)) {
        std::fprintf(stderr, "make_fonts: cannot write the texture of %s\n", plan.fileName);
        return false;
    }
    std::ofstream file(fontsDir + plan.fileName, std::ios::binary);
    file << description;
    if (!file) {
        std::fprintf(stderr, "make_fonts: cannot write %s\n", plan.fileName);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fonts <data directory>\n");
        return 2;
    }
    const std::filesystem::path root = std::filesystem::path(argv[1]) / "Data";
    const std::string fontsDir = (root / "Fonts").string() + "/";
    const std::string texturesDir = (root / "Textures").string() + "/";
    std::filesystem::create_directories(fontsDir);
    std::filesystem::create_directories(texturesDir);

    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, "make_fonts: FreeType does not start\n");
        return 1;
    }
    bool ok = true;
    for (const FontPlan& plan : Fonts)
        ok = MakeFont(library, plan, fontsDir, texturesDir) && ok;
    FT_Done_FreeType(library);
    return ok ? 0 : 1;
}
