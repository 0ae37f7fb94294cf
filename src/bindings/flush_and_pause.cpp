#include "bindings/replace_file.h"

#ifdef _WIN32
#include <windows.h>

bool FlushToDisk(FileHandle file) { return FlushFileBuffers(file) != 0; }

void PauseBeforeRetry(int ms) { Sleep((DWORD)ms); }

#else
#include <ctime>

#include <unistd.h>

bool FlushToDisk(FileHandle file) { return fsync(file) == 0; }

void PauseBeforeRetry(int ms) {
    timespec pause = {0, ms * 1000000L};
    nanosleep(&pause, NULL);
}

#endif
