#include "platform/win32/Files.h"
#include "platform/win32/Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>
#include <fileapi.h>
#include <windows.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("corvane-files-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "Data" / "Textures");
        std::ofstream(root / "Data" / "Textures" / "Sky.DDS") << "sky";
        std::ofstream(root / "Data" / "crlf.info", std::ios::binary) << "a 1\r\nb 2\r\nc 3\rd 4\n";
        Win32::FlushPathCache();
    }
    void TearDown() override { fs::remove_all(root); }
    std::string Game(const std::string& rel) {
        std::string p = root.string() + "\\" + rel;
        return p;
    }
    fs::path root;
};

TEST_F(FilesTest, FindsNamesWhateverTheirCaseAndSeparators) {
    EXPECT_EQ(Win32::NativePath(Game("data\\TEXTURES\\sky.dds")), (root / "Data/Textures/Sky.DDS").string());
    EXPECT_TRUE(Win32::FileExists(Game("DATA\\textures\\SKY.dds")));
    EXPECT_TRUE(Win32::DirectoryExists(Game("data\\textures")));
    EXPECT_FALSE(Win32::FileExists(Game("data\\textures")));
    std::string bytes;
    ASSERT_TRUE(Win32::ReadFile(Game("Data\\Textures\\SKY.DDS"), bytes));
    EXPECT_EQ(bytes, "sky");
}

TEST_F(FilesTest, RangeReadsTakeWholeRangesOnly) {
    struct Case {
        const char* name;
        uint64_t offset;
        size_t size;
        bool ok;
        const char* bytes;
    } cases[] = {
        {"data\\TEXTURES\\sky.dds", 0, 3, true, "sky"},
        {"DATA\\textures\\SKY.dds", 1, 2, true, "ky"},
        {"Data\\Textures\\Sky.DDS", 3, 0, true, ""},
        {"Data\\Textures\\Sky.DDS", 2, 2, false, nullptr}, // runs past the end
        {"Data\\Textures\\Sky.DDS", 9, 1, false, nullptr},
        {"Data\\Textures\\None.dds", 0, 1, false, nullptr},
        {"Data\\Textures", 0, 1, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char buffer[8] = {};
        ASSERT_EQ(Win32::ReadFileRange(Game(c.name), c.offset, buffer, c.size), c.ok);
        if (c.ok) {
            EXPECT_EQ(std::string(buffer, c.size), c.bytes);
        }
    }
    // The reused path buffer takes a longer path after a shorter one.
    std::string native = "x";
    Win32::NativePath(Game("data\\textures\\sky.dds"), native);
    EXPECT_EQ(native, (root / "Data/Textures/Sky.DDS").string());
}

TEST_F(FilesTest, MissingComponentsAreKeptAsWrittenSoNewFilesCanBeMade) {
    EXPECT_EQ(Win32::NativePath(Game("DATA\\New\\File.txt")), (root / "Data/New/File.txt").string());
    FILE* f = Win32::OpenFile(Game("data\\Made.Here"), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(Win32::FileExists(Game("DATA\\made.here")));
}

TEST_F(FilesTest, FilesMadeBehindTheCacheAreFoundOnAMiss) {
    EXPECT_FALSE(Win32::FileExists(Game("data\\late.txt")));
    std::ofstream(root / "Data" / "Late.txt") << "x";
    EXPECT_TRUE(Win32::FileExists(Game("data\\late.txt")));
}

TEST_F(FilesTest, DrivePrefixesAndDotsAreHandled) {
    EXPECT_EQ(Win32::NativePath("C:\\"), "/");
    EXPECT_EQ(Win32::NativePath("c:" + Game("data\\.\\textures")), (root / "Data/Textures").string());
    EXPECT_EQ(Win32::NativePath(""), ".");
}

TEST_F(FilesTest, TextReadsTurnEveryLineEndIntoLf) {
    std::string text;
    ASSERT_TRUE(Win32::ReadTextFile(Game("data\\CRLF.info"), text));
    EXPECT_EQ(text, "a 1\nb 2\nc 3\nd 4\n");
    EXPECT_FALSE(Win32::ReadTextFile(Game("data\\absent.info"), text));
    EXPECT_EQ(Win32::NormaliseLineEnds("\r\r\n\n"), "\n\n\n");
}

// A device, a fifo or a directory where a file is expected, or a file beyond the limit, is refused at once
// with a message naming it, instead of being read forever.
TEST_F(FilesTest, WholeFileReadsRefuseWhatIsNotASaneFile) {
    ASSERT_EQ(mkfifo((root / "Data" / "pipe").c_str(), 0600), 0);
    const struct {
        std::string path;
        size_t limit;
        const char* message;
    } cases[] = {{"\\dev\\zero", Win32::MaxWholeFileBytes, "is not a regular file"},
                 {Game("data\\pipe"), Win32::MaxWholeFileBytes, "is not a regular file"},
                 {Game("data\\textures"), Win32::MaxWholeFileBytes, "is not a regular file"},
                 {Game("data\\textures\\sky.dds"), 2, "is too large"}};
    for (const auto& c : cases) {
        std::string bytes;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(Win32::ReadFile(c.path, bytes, c.limit)) << c.path;
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find("'" + c.path + "'"), std::string::npos) << message;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
    std::string bytes;
    EXPECT_TRUE(Win32::ReadFile(Game("data\\textures\\sky.dds"), bytes, 3));
}

// A refusal is told once a file and reason, however often the file is asked for (the settings are read
// twice at every start); another reason for the same file is told too.
TEST_F(FilesTest, ARefusalIsToldOnceAFile) {
    ASSERT_EQ(mkfifo((root / "Data" / "once").c_str(), 0600), 0);
    std::ofstream(root / "Data" / "big.dat") << "four";
    std::string bytes;
    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(Win32::ReadFile(Game("data\\once"), bytes));
        EXPECT_FALSE(Win32::CheckRegularFile(Game("DATA\\Once")));
        EXPECT_EQ(Win32::OpenFile(Game("data\\once"), "rb"), nullptr);
        EXPECT_FALSE(Win32::ReadFile(Game("data\\big.dat"), bytes, 2));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot read '" + Game("data\\once") +
                                                          "': it is not a regular file.\n" + "Cannot read '" +
                                                          Game("data\\big.dat") + "': it is too large.\n");
}

// Opened for reading, a fifo or a device is refused at once, with a message: a fifo would block the open
// until a writer came, a device never ends. (Files of their own: each refusal is told once a process.)
TEST_F(FilesTest, OpenedReadsRefuseFifosAndDevices) {
    ASSERT_EQ(mkfifo((root / "Data" / "stream").c_str(), 0600), 0);
    for (const std::string& path : {Game("data\\stream"), std::string("\\dev\\null")}) {
        char buffer[4];
        testing::internal::CaptureStderr();
        EXPECT_EQ(Win32::OpenFile(path, "rb"), nullptr) << path;
        EXPECT_FALSE(Win32::ReadFileRange(path, 0, buffer, sizeof buffer)) << path;
        EXPECT_FALSE(Win32::CheckRegularFile(path)) << path;
        EXPECT_NE(testing::internal::GetCapturedStderr().find("is not a regular file"), std::string::npos);
    }
    FILE* file = Win32::OpenFile(Game("data\\textures\\sky.dds"), "rb");
    ASSERT_NE(file, nullptr);
    char text[4] = {};
    EXPECT_EQ(std::fread(text, 1, 3, file), 3u);
    EXPECT_STREQ(text, "sky");
    std::fclose(file);
    EXPECT_TRUE(Win32::CheckRegularFile(Game("data\\textures\\sky.dds")));
}

// Names go into the structures' fixed arrays cut to fit and terminated; a null name is empty.
TEST(Names, CopyIntoAFieldCutsAndTerminates) {
    char field[6];
    std::memset(field, 'x', sizeof field);
    Win32::CopyName(field, sizeof field, "Joystick");
    EXPECT_STREQ(field, "Joyst");
    Win32::CopyName(field, sizeof field, "Pad");
    EXPECT_STREQ(field, "Pad");
    Win32::CopyName(field, sizeof field, nullptr);
    EXPECT_STREQ(field, "");
    EXPECT_EQ(Win32::Lower("Game.DAT"), "game.dat");
}

namespace {

// Every entry a search hands out, with its attribute word.
std::vector<std::pair<std::string, DWORD>> Search(const std::string& pattern) {
    std::vector<std::pair<std::string, DWORD>> found;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return found;
    do
        found.emplace_back(data.cFileName, data.dwFileAttributes);
    while (FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(find));
    return found;
}

} // namespace

// A folder search lists the folder's entries in name order, "." and ".." too, matched without regard to case;
// folders carry the directory attribute alone, and a link to a folder is marked as a link, so that a search
// entering only plain folders cannot follow a loop.
TEST_F(FilesTest, FolderSearchesListEntriesWithTheirKinds) {
    const fs::path missions = root / "Data" / "Missions";
    fs::create_directories(missions / "Training");
    std::ofstream(missions / "b.MSN") << "b";
    std::ofstream(missions / "a.msn") << "a";
    std::ofstream(missions / "notes.txt") << "n";
    fs::create_directory_symlink(missions, missions / "Loop");
    Win32::FlushPathCache();

    const auto all = Search(Game("data\\MISSIONS\\*"));
    const std::vector<std::pair<std::string, DWORD>> expected = {
        {".", FILE_ATTRIBUTE_DIRECTORY},
        {"..", FILE_ATTRIBUTE_DIRECTORY},
        {"Loop", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},
        {"Training", FILE_ATTRIBUTE_DIRECTORY},
        {"a.msn", FILE_ATTRIBUTE_NORMAL},
        {"b.MSN", FILE_ATTRIBUTE_NORMAL},
        {"notes.txt", FILE_ATTRIBUTE_NORMAL},
    };
    EXPECT_EQ(all, expected);
    EXPECT_EQ(Search(Game("Data\\Missions\\*.*")), expected);

    const auto msn = Search(Game("Data\\Missions\\*.Msn"));
    ASSERT_EQ(msn.size(), 2u);
    EXPECT_EQ(msn[0].first, "a.msn");
    EXPECT_EQ(msn[1].first, "b.MSN");

    WIN32_FIND_DATAA data;
    EXPECT_EQ(FindFirstFileA(Game("Data\\Missions\\*.dds").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(FindFirstFileA(Game("Data\\Nowhere\\*").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    // A handle that is no search is refused rather than followed.
    int notASearch = 0;
    EXPECT_FALSE(FindNextFileA(&notASearch, &data));
    EXPECT_FALSE(FindClose(&notASearch));
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
}

TEST_F(FilesTest, DeleteRemovesFilesByAnyCaseAndRefusesFolders) {
    EXPECT_TRUE(DeleteFileA(Game("data\\textures\\SKY.dds").c_str()));
    EXPECT_FALSE(fs::exists(root / "Data" / "Textures" / "Sky.DDS"));
    EXPECT_FALSE(Win32::FileExists(Game("Data\\Textures\\Sky.DDS")));
    EXPECT_FALSE(DeleteFileA(Game("Data\\Textures\\Sky.DDS").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileA(Game("Data\\Textures").c_str()));
    EXPECT_TRUE(fs::is_directory(root / "Data" / "Textures"));
}
