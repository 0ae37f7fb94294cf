#include "bindings/bindings.h"

#ifdef _WIN32
#include <windows.h>

bool ReplaceFileWith(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

#else
#include <cstdio>

bool ReplaceFileWith(const char* from, const char* to) { return std::rename(from, to) == 0; }

#endif
