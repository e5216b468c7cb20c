// COM class creation by CLSID, fresh identifiers and UTF-8/UTF-16 conversion.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

namespace {

const GUID TestClass = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
int created = 0;

HRESULT CreateTest(REFIID, void** object) {
    ++created;
    *object = &created;
    return S_OK;
}

TEST(ComTest, CreatesRegisteredClassesOnly) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(TestClass, nullptr, CLSCTX_INPROC_SERVER, TestClass, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    ASSERT_TRUE(CoRegisterClassCreator(TestClass, CreateTest));
    EXPECT_EQ(CoCreateInstance(TestClass, nullptr, CLSCTX_INPROC_SERVER, TestClass, &object), S_OK);
    EXPECT_EQ(object, &created);
    auto outer = reinterpret_cast<LPUNKNOWN>(&created);
    EXPECT_EQ(CoCreateInstance(TestClass, outer, CLSCTX_INPROC_SERVER, TestClass, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(created, 1);
}

TEST(ComTest, UuidsAreRandomVersionFour) {
    std::set<std::tuple<uint32_t, uint16_t, uint16_t>> seen;
    for (int i = 0; i < 100; ++i) {
        UUID u;
        ASSERT_EQ(UuidCreate(&u), RPC_S_OK);
        EXPECT_EQ(u.Data3 >> 12, 4);        // version
        EXPECT_EQ(u.Data4[0] & 0xC0, 0x80); // variant
        seen.insert({u.Data1, u.Data2, u.Data3});
    }
    EXPECT_EQ(seen.size(), 100u);
}

TEST(ComTest, ConvertsBetweenUtf8AndUtf16) {
    const char* text = "Pilot \xC3\xA9\xE2\x82\xAC\xF0\x9F\x9B\xA9"; // é € and a plane outside the BMP
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    ASSERT_EQ(n, 6 + 1 + 1 + 2 + 1);
    std::u16string wide(size_t(n), u'\0');
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n), n);
    EXPECT_EQ(wide, std::u16string(u"Pilot \u00E9\u20AC\U0001F6E9") + u'\0');
    int m = WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    std::string back(size_t(m), '\0');
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, back.data(), m, nullptr, nullptr), m);
    EXPECT_STREQ(back.c_str(), text);
}

TEST(ComTest, ConversionRefusesShortBuffersAndReplacesBadBytes) {
    WCHAR small[3];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", 4, small, 3), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    WCHAR out[4];
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0,
                                  "a\xC0\xAF"
                                  "b",
                                  4, out, 4),
              4); // an overlong '/'
    EXPECT_EQ(out[0], u'a');
    EXPECT_EQ(out[1], 0xFFFD);
    EXPECT_EQ(out[2], 0xFFFD);
    EXPECT_EQ(out[3], u'b');
}

} // namespace
