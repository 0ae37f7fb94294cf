// Runs a test inside a fresh, empty working folder, since "config.ini" lives in the
// current directory. The folder's name holds the process id: test runs of several
// checkouts share the machine's temporary folder. Under Windows it lies beside that
// folder, not in it, where the dialog warns that what it saves is lost; each Wine prefix
// has its own, as process ids of two prefixes may be the same.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
inline int ProcessId() { return _getpid(); }
#else
#include <unistd.h>
inline int ProcessId() { return (int)getpid(); }
#endif

// A folder that refuses every new file even to root (sysfs's top), as "Program Files"
// refuses one to a player without administrator rights. A save is made inside it by
// entering it, and the test's own folder is entered again after.
#ifdef _WIN32
const char PROTECTED_FOLDER[] = "Z:\\sys";
#else
const char PROTECTED_FOLDER[] = "/sys";
#endif
inline std::filesystem::path folderBeforeProtected;
inline void EnterProtectedFolder() {
    folderBeforeProtected = std::filesystem::current_path();
    std::filesystem::current_path(PROTECTED_FOLDER);
}
inline void LeaveProtectedFolder() { std::filesystem::current_path(folderBeforeProtected); }

class InFreshFolder : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = Base() / ("quorvane-" + std::to_string(ProcessId()) + "-" + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        std::filesystem::current_path(folder_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    static std::vector<unsigned char> ReadFile(const char* name) {
        std::ifstream in(name, std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
    }
    static void WriteFile(const char* name, const std::vector<unsigned char>& bytes) {
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
    }

private:
    static std::filesystem::path Base() {
        std::filesystem::path temp = std::filesystem::temp_directory_path();
#ifdef _WIN32
        if (!temp.has_filename()) temp = temp.parent_path();  // its separator at the end
        temp = temp.parent_path();
#endif
        return temp;
    }
    std::filesystem::path previous_;
    std::filesystem::path folder_;
};
