#include <windows.h>

#include "input/joystick_input.h"
#include "ui/config_dialog.h"

namespace {

// DLLs that are no known DLLs, loaded by name, would be taken from the exe's own folder
// first (a mod loader's, or one planted in Downloads), and would run in the tool. Every
// later load by name searches the system folder only; dinput8.dll and winmm.dll are
// loaded by their full path as well (SystemFunction).
void LoadDllsFromTheSystemFolderOnly() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
    // Looked up: Windows 7 without its update lacks it.
    SetDefaultDllDirectoriesCall setDefault = reinterpret_cast<SetDefaultDllDirectoriesCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    LoadDllsFromTheSystemFolderOnly();
    HWND dialog = CreateConfigDialog(instance);
    if (!dialog) return 1;
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    SetWindowTextW(dialog, L"Quorvane");  // a Unicode window: no conversion on the way

    // Without DirectInput or controllers the dialog still works, from the file alone.
    joystickInput.Initialize(instance, dialog);
    return RunMessageLoop();
}
