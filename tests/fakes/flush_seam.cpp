#include "fakes/flush_seam.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#endif

#include "bindings/replace_file.h"

bool flushFails = false;
void (*duringFlush)() = nullptr;
std::vector<std::string> flushed;
int pauses = 0;
void (*duringPause)() = nullptr;

namespace {

std::mutex flushedLock;  // two saves may flush at once

bool IsFolder(FileHandle file) {
#ifdef _WIN32
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileInformationByHandle(file, &information) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat status;
    return fstat(file, &status) == 0 && S_ISDIR(status.st_mode);
#endif
}

// The flush of a folder is of the current one, the only folder a save flushes.
std::string WhatIsFlushed(FileHandle file) {
    if (!IsFolder(file)) return "file";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(".")) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string what = "folder:";
    for (const std::string& name : names) what += " " + name;
    return what;
}

}  // namespace

bool FlushToDisk(FileHandle file) {
    if (void (*hook)() = duringFlush) {
        duringFlush = nullptr;
        hook();
    }
    {
        std::lock_guard<std::mutex> hold(flushedLock);
        flushed.push_back(WhatIsFlushed(file));
    }
    if (flushFails) {
#ifdef _WIN32
        SetLastError(ERROR_DISK_FULL);
#else
        errno = ENOSPC;
#endif
        return false;
    }
#ifdef _WIN32
    return FlushFileBuffers(file) != 0;
#else
    return fsync(file) == 0;
#endif
}

void PauseBeforeRetry(int ms) {
    ++pauses;
    if (void (*hook)() = duringPause) {
        duringPause = nullptr;
        hook();
    }
#ifdef _WIN32
    Sleep((DWORD)ms);
#else
    timespec pause = {0, ms * 1000000L};
    nanosleep(&pause, nullptr);
#endif
}
