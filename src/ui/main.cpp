#include <windows.h>

#include "input/joystick_input.h"
#include "ui/config_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HWND dialog = CreateConfigDialog(instance);
    if (!dialog) return 1;
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    SetWindowTextA(dialog, "Quorvane");

    // Without DirectInput or controllers the dialog still works, from the file alone.
    joystickInput.Initialize(instance, dialog);
    return RunMessageLoop();
}
