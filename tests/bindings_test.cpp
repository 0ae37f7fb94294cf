#include "bindings/bindings.h"

#include <filesystem>

#include "temp_folder.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A table where every entry differs, with values no default has.
void FillDistinct() {
    for (int p = 0; p < PLAYER_COUNT; ++p)
        for (int s = 0; s < ACTION_COUNT; ++s)
            BindingAt(p, s) = Binding{(unsigned char)(p * 60 + s + 1), (unsigned char)(255 - p * 9 - s)};
}

void FillWith(Binding binding) {
    for (int p = 0; p < PLAYER_COUNT; ++p)
        for (int s = 0; s < ACTION_COUNT; ++s) BindingAt(p, s) = binding;
}

Binding Default(int slot) { return Binding{SOURCE_KEYBOARD, (unsigned char)(0x41 + slot)}; }

using BindingsFile = InTempFolder;

TEST_F(BindingsFile, SaveWritesTheExactImageAndLoadReadsItBack) {
    FillDistinct();
    BindingAt(2, 4) = Binding{7, 12};  // a controller that need not be attached
    ASSERT_TRUE(SaveBindings());

    Bytes file = ReadFile("config.ini");
    ASSERT_EQ(file.size(), 74u);
    EXPECT_EQ(file[0], 4);
    EXPECT_EQ(file[1], 9);
    for (int p = 0; p < PLAYER_COUNT; ++p) {
        for (int s = 0; s < ACTION_COUNT; ++s) {
            EXPECT_EQ(file[2 + 18 * p + 2 * s], BindingAt(p, s).source) << p << "," << s;
            EXPECT_EQ(file[3 + 18 * p + 2 * s], BindingAt(p, s).code) << p << "," << s;
        }
    }
    EXPECT_FALSE(std::filesystem::exists("config.ini.tmp"));

    BindingTable saved = bindingTable;
    FillWith(Binding{0, 0});
    LoadBindings();
    for (int p = 0; p < PLAYER_COUNT; ++p)
        for (int s = 0; s < ACTION_COUNT; ++s) EXPECT_EQ(BindingAt(p, s), saved.entries[p][s]);
    EXPECT_EQ(BindingAt(2, 4), (Binding{7, 12}));

    // A second save replaces the existing file.
    BindingAt(3, 8) = Binding{1, 35};
    ASSERT_TRUE(SaveBindings());
    file = ReadFile("config.ini");
    ASSERT_EQ(file.size(), 74u);
    EXPECT_EQ(file[72], 1);
    EXPECT_EQ(file[73], 35);
}

TEST_F(BindingsFile, NoFileGivesKeysAToIForEveryPlayer) {
    FillWith(Binding{3, 3});
    LoadBindings();
    for (int p = 0; p < PLAYER_COUNT; ++p)
        for (int s = 0; s < ACTION_COUNT; ++s) EXPECT_EQ(BindingAt(p, s), Default(s));
}

TEST_F(BindingsFile, CountBytesAreIgnored) {
    Bytes file(74);
    file[0] = 2;
    file[1] = 5;
    for (int i = 2; i < 74; ++i) file[i] = (unsigned char)i;
    WriteFile("config.ini", file);
    LoadBindings();
    EXPECT_EQ(BindingAt(0, 0), (Binding{2, 3}));
    EXPECT_EQ(BindingAt(1, 0), (Binding{20, 21}));
    EXPECT_EQ(BindingAt(3, 8), (Binding{72, 73}));
}

// Each entry whose two bytes are in the file is read, the rest get their defaults,
// and nothing past byte 74 is used.
TEST_F(BindingsFile, EveryLengthFrom0To100Loads) {
    for (size_t length = 0; length <= 100; ++length) {
        Bytes file(length);
        for (size_t i = 0; i < length; ++i) file[i] = (unsigned char)(0x80 + i);
        WriteFile("config.ini", file);
        FillWith(Binding{9, 9});
        LoadBindings();
        for (int p = 0; p < PLAYER_COUNT; ++p) {
            for (int s = 0; s < ACTION_COUNT; ++s) {
                size_t offset = 2 + 18 * p + 2 * s;
                Binding expected = offset + 1 < length
                                       ? Binding{(unsigned char)(0x80 + offset), (unsigned char)(0x81 + offset)}
                                       : Default(s);
                ASSERT_EQ(BindingAt(p, s), expected) << "length " << length << " entry " << p << "," << s;
            }
        }
    }
}

TEST_F(BindingsFile, AFolderNamedConfigIniLoadsAsDefaults) {
    std::filesystem::create_directory("config.ini");
    FillWith(Binding{9, 9});
    LoadBindings();
    for (int s = 0; s < ACTION_COUNT; ++s) EXPECT_EQ(BindingAt(3, s), Default(s));
}

// Every way a save can fail leaves the old file as it was and says so.
TEST_F(BindingsFile, AFailedSaveKeepsTheOldFile) {
    const Bytes old = {4, 9, 1, 4, 1, 5, 0, 0x20};
    struct Obstacle {
        const char* what;
        void (*place)();
    };
    const Obstacle obstacles[] = {
        {"a folder named config.ini", [] { std::filesystem::create_directory("config.ini"); }},
        {"a folder named config.ini.tmp", [] { std::filesystem::create_directory("config.ini.tmp"); }},
#ifndef _WIN32
        {"a full disk", [] { std::filesystem::create_symlink("/dev/full", "config.ini.tmp"); }},
#endif
    };
    for (const Obstacle& obstacle : obstacles) {
        SCOPED_TRACE(obstacle.what);
        std::filesystem::remove_all("config.ini");
        std::filesystem::remove_all("config.ini.tmp");
        obstacle.place();
        bool folderInTheWay = std::filesystem::is_directory("config.ini");
        if (!folderInTheWay) WriteFile("config.ini", old);

        FillDistinct();
        EXPECT_FALSE(SaveBindings());

        if (folderInTheWay) {
            EXPECT_TRUE(std::filesystem::is_directory("config.ini"));
            EXPECT_FALSE(std::filesystem::exists("config.ini.tmp"));
        } else {
            EXPECT_EQ(ReadFile("config.ini"), old);
        }
    }
}

}  // namespace
