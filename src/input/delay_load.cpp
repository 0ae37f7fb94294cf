// The delay-load helper's hook for dinput8.dll and winmm.dll, which are loaded on first
// use. Linked into every program that calls them through the delay-load stubs.
#include <windows.h>
#include <delayimp.h>

namespace {

DWORD slotProtection;
bool slotUnprotected;

// dinput8.dll and winmm.dll are no known DLLs: by name, Windows would load a copy in the
// exe's own folder first (a mod loader's, or one planted in Downloads), and that copy
// would run in the tool. The system folder's copy is loaded by its full path instead,
// so that even a Windows without SetDefaultDllDirectories never takes another.
HMODULE LoadFromTheSystemFolder(const char* dll) {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenA(dll) >= MAX_PATH) return nullptr;
    path[length] = '\\';
    lstrcpyA(path + length + 1, dll);
    return LoadLibraryA(path);
}

FARPROC WINAPI OnDelayLoad(unsigned notification, PDelayLoadInfo load) {
    switch (notification) {
    case dliStartProcessing:
        // Newer linkers put the delay-load address table in a read-only section, and the
        // helper writes each function's address there without unprotecting it: the first
        // call would fault. Its slot is writable only while the helper fills it.
        slotUnprotected = VirtualProtect(load->ppfn, sizeof *load->ppfn, PAGE_READWRITE, &slotProtection);
        return nullptr;
    case dliNotePreLoadLibrary:
        return reinterpret_cast<FARPROC>(LoadFromTheSystemFolder(load->szDll));
    case dliNoteEndProcessing:
        if (slotUnprotected) VirtualProtect(load->ppfn, sizeof *load->ppfn, slotProtection, &slotProtection);
        slotUnprotected = false;
        return nullptr;
    }
    return nullptr;
}

}  // namespace

PfnDliHook __pfnDliNotifyHook2 = OnDelayLoad;
