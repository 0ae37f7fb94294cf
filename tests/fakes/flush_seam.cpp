#include "fakes/flush_seam.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "bindings/replace_file.h"

bool flushFails = false;
void (*duringFlush)() = nullptr;

bool FlushToDisk(FileHandle file) {
    if (void (*hook)() = duringFlush) {
        duringFlush = nullptr;
        hook();
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
