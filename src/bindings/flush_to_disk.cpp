#include "bindings/replace_file.h"

#ifdef _WIN32
#include <windows.h>

bool FlushToDisk(FileHandle file) { return FlushFileBuffers(file) != 0; }

#else
#include <unistd.h>

bool FlushToDisk(FileHandle file) { return fsync(file) == 0; }

#endif
