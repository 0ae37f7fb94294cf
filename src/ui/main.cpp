#include <windows.h>
#include <delayimp.h>

#include "input/joystick_input.h"
#include "ui/config_dialog.h"

namespace {

// dinput8.dll and winmm.dll are no known DLLs: by name, Windows would load a copy in
// the exe's own folder first (a mod loader's, or one planted in Downloads), and that
// copy would run in the tool. Every later load by name searches the system folder only.
void LoadDllsFromTheSystemFolderOnly() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
    // Looked up: Windows 7 without its update lacks it.
    SetDefaultDllDirectoriesCall setDefault = reinterpret_cast<SetDefaultDllDirectoriesCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Asked by the delay-load helper before it loads a DLL: the system folder's copy, by its
// full path, so that even a Windows without SetDefaultDllDirectories never takes another.
FARPROC WINAPI LoadFromTheSystemFolder(unsigned notification, PDelayLoadInfo load) {
    if (notification != dliNotePreLoadLibrary) return nullptr;
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenA(load->szDll) >= MAX_PATH) return nullptr;
    path[length] = '\\';
    lstrcpyA(path + length + 1, load->szDll);
    return reinterpret_cast<FARPROC>(LoadLibraryA(path));
}

}  // namespace

PfnDliHook __pfnDliNotifyHook2 = LoadFromTheSystemFolder;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    LoadDllsFromTheSystemFolderOnly();
    HWND dialog = CreateConfigDialog(instance);
    if (!dialog) return 1;
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    SetWindowTextA(dialog, "Quorvane");

    // Without DirectInput or controllers the dialog still works, from the file alone.
    joystickInput.Initialize(instance, dialog);
    return RunMessageLoop();
}
