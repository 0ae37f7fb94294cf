#include "bindings/bindings.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "bindings/replace_file.h"
#include "fakes/flush_seam.h"
#include "fresh_folder.h"

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

class BindingsFile : public InFreshFolder {
protected:
    struct Obstacle;
    static void Check(const Obstacle& obstacle, const Bytes& image);
};

TEST_F(BindingsFile, SaveWritesTheExactImageAndLoadReadsItBack) {
    FillDistinct();
    BindingAt(2, 4) = Binding{7, 12};  // a controller that need not be attached
    ASSERT_EQ(SaveBindings().status, SAVED);

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
    ASSERT_EQ(SaveBindings().status, SAVED);
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

namespace fs = std::filesystem;

bool NoTempFileLeft() { return !fs::is_regular_file(fs::symlink_status("config.ini.tmp")); }

#ifdef _WIN32
// Another program holding "config.ini" open, as a virus scanner or the game does.
HANDLE heldConfig = INVALID_HANDLE_VALUE;
void HoldConfig() {
    heldConfig = CreateFileA("config.ini", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             0, nullptr);
    ASSERT_NE(heldConfig, INVALID_HANDLE_VALUE);
}
void ReleaseConfig() {
    if (heldConfig != INVALID_HANDLE_VALUE) CloseHandle(heldConfig);
    heldConfig = INVALID_HANDLE_VALUE;
}
#endif

// The system's codes that a failure must carry through to the player.
#ifdef _WIN32
const unsigned long DISK_FULL = ERROR_DISK_FULL, IS_A_FOLDER = 336;  // ERROR_DIRECTORY_NOT_SUPPORTED
#else
const unsigned long DISK_FULL = ENOSPC, IS_A_FOLDER = EISDIR;
#endif

// What a folder may hold when a save starts, what the save says of it (and the system's
// code it carries, when not 0), and whether it waits for a lock to go before that.
// `clear` undoes what the test itself needs undone.
struct BindingsFile::Obstacle {
    const char* what;
    void (*place)();
    void (*clear)();
    SaveStatus status;
    unsigned long error;
    bool waits;
};

void BindingsFile::Check(const Obstacle& obstacle, const Bytes& image) {
    SCOPED_TRACE(obstacle.what);
    fs::remove_all("config.ini");
    fs::remove_all("config.ini.tmp");
    WriteFile("config.ini", {4, 9, 1, 4, 1, 5, 0, 0x20});
    const Bytes old = ReadFile("config.ini");
    obstacle.place();
    bool folderInTheWay = fs::is_directory("config.ini");

    flushed.clear();
    pauses = 0;
    SaveResult result = SaveBindings();
    duringPause = nullptr;
    if (obstacle.clear) obstacle.clear();

    EXPECT_EQ(result.status, obstacle.status);
    if (obstacle.error) {
        EXPECT_EQ(result.error, obstacle.error);
    }
    bool saves = obstacle.status == SAVED;
    // A save lasts a power cut once the new file is on the disk, and on POSIX its new name too.
    if (saves) {
#ifdef _WIN32
        EXPECT_EQ(flushed, (std::vector<std::string>{"file"}));
#else
        EXPECT_EQ(flushed, (std::vector<std::string>{"file", "folder: config.ini"}));
#endif
    }
    if (folderInTheWay)
        EXPECT_TRUE(fs::is_directory("config.ini"));
    else
        EXPECT_EQ(ReadFile("config.ini"), saves ? image : old);
    EXPECT_TRUE(NoTempFileLeft());
    EXPECT_EQ(pauses > 0, obstacle.waits) << pauses << " pauses";
}

#ifndef _WIN32
const Bytes OUTSIDE_CONTENT = {1, 2, 3};
fs::path Outside() { return fs::current_path().parent_path() / ("quorvane-outside-" + std::to_string(ProcessId())); }
#endif

// A save gets past what a stale save or another program left in its way; every way it
// can fail leaves the old file as it was and says so. No temporary file stays.
TEST_F(BindingsFile, WhatTheFolderHoldsNeverCostsTheOldFile) {
    FillDistinct();
    ASSERT_EQ(SaveBindings().status, SAVED);
    const Bytes image = ReadFile("config.ini");

    const Obstacle obstacles[] = {
        {"a stale config.ini.tmp", [] { WriteFile("config.ini.tmp", {9, 9, 9}); }, nullptr, SAVED, 0, false},
#ifdef _WIN32
        // The other program lets go once the save waits for it.
        {"config.ini held open for a moment",
         [] {
             HoldConfig();
             duringPause = ReleaseConfig;
         },
         ReleaseConfig, SAVED, 0, true},
        {"config.ini held open for longer than the wait", HoldConfig, ReleaseConfig, SAVE_IN_USE, 0, true},
#else
        // Wine follows links whatever a program asks: the exe's end-to-end run covers it.
        {"a link named config.ini.tmp to a file elsewhere",
         [] {
             WriteFile(Outside().string().c_str(), OUTSIDE_CONTENT);
             fs::create_symlink(Outside(), "config.ini.tmp");
         },
         [] {
             EXPECT_EQ(ReadFile(Outside().string().c_str()), OUTSIDE_CONTENT);
             fs::remove(Outside());
         },
         SAVED, 0, false},
#endif
        {"a folder named config.ini",
         [] {
             fs::remove("config.ini");
             fs::create_directory("config.ini");
         },
         nullptr, SAVE_FAILED, IS_A_FOLDER, false},
        {"a folder named config.ini.tmp", [] { fs::create_directory("config.ini.tmp"); }, nullptr, SAVE_FAILED, 0,
         false},
        {"a read-only config.ini",
         [] { fs::permissions("config.ini", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                              fs::perm_options::remove); },
         [] { fs::permissions("config.ini", fs::perms::owner_write, fs::perm_options::add); }, SAVE_READ_ONLY, 0, false},
        {"a protected folder", EnterProtectedFolder, LeaveProtectedFolder, SAVE_FOLDER_DENIED, 0, false},
        {"a full disk", [] { flushFails = true; }, [] { flushFails = false; }, SAVE_FAILED, DISK_FULL, false},
    };
    for (const Obstacle& obstacle : obstacles) Check(obstacle, image);
}

// A second save while the first is between its write and its replace never removes
// or replaces the first one's temporary file: it waits, and fails whole when the first
// takes longer than the wait. Nor can any other program delete it meanwhile: Wine keeps
// a file marked for deletion until it is closed, but on Windows the first save would
// lose its file.
TEST_F(BindingsFile, ASecondSaveWaitsForTheFirst) {
    static const Bytes first(CONFIG_FILE_SIZE, 0x11), second(CONFIG_FILE_SIZE, 0x22);
    static std::thread secondSave;
    static SaveStatus secondStatus;
    static bool deletedMeanwhile, outlasts;
    static std::atomic<bool> secondWaits, firstDone;
    // Each waits for the other's step, not for a time (at most 10 s, against a hang).
    static auto waitFor = [](const std::atomic<bool>& step) {
        for (int i = 0; i < 10000 && !step; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    struct Case {
        const char* what;
        bool outlasts;  // the first stays in its flush until the second is done
        SaveStatus second;
    };
    const Case cases[] = {{"the first ends while the second waits", false, SAVED},
                          {"the first outlasts the wait", true, SAVE_IN_USE}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        outlasts = c.outlasts;
        secondStatus = SAVE_FAILED;
        deletedMeanwhile = secondWaits = firstDone = false;
        duringFlush = [] {
#ifdef _WIN32
            deletedMeanwhile = DeleteFileA("config.ini.tmp") != 0;
#endif
            secondSave = std::thread([] {
                secondStatus = ReplaceFileWith("config.ini", "config.ini.tmp", second.data(), CONFIG_FILE_SIZE).status;
            });
            if (outlasts)
                secondSave.join();
            else
                waitFor(secondWaits);
        };
        duringPause = outlasts ? nullptr : +[] {
            secondWaits = true;
            waitFor(firstDone);
        };
        SaveStatus firstStatus = ReplaceFileWith("config.ini", "config.ini.tmp", first.data(), CONFIG_FILE_SIZE).status;
        firstDone = true;
        if (secondSave.joinable()) secondSave.join();
        duringPause = nullptr;

        EXPECT_FALSE(deletedMeanwhile);
        EXPECT_EQ(firstStatus, SAVED);
        EXPECT_EQ(secondStatus, c.second);
        EXPECT_EQ(ReadFile("config.ini"), c.second == SAVED ? second : first);
        EXPECT_TRUE(NoTempFileLeft());
    }
}

}  // namespace
