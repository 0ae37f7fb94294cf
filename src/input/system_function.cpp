// dinput8.dll and winmm.dll, which are no known DLLs, loaded by their full path. Alone in
// its own file, so that a test can supply fake functions instead.
#include "input/system_function.h"

FARPROC SystemFunction(const wchar_t* dll, const char* function) {
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenW(dll) >= MAX_PATH) return nullptr;
    path[length] = L'\\';
    lstrcpyW(path + length + 1, dll);
    // Its own imports looked for beside it, in the system folder, not in the exe's folder,
    // also on a Windows without SetDefaultDllDirectories (Vista, 7 without its update).
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module ? GetProcAddress(module, function) : nullptr;
}
