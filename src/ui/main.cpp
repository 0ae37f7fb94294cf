#include <windows.h>

#include "resource.h"
#include "input/joystick_input.h"
#include "ui/config_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, ConfigDialogProc, 0);
    if (!dialog) return 1;
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    SetWindowTextA(dialog, "Quorvane");

    // Without DirectInput or controllers the dialog still works, from the file alone.
    joystickInput.Initialize(instance, dialog);

    // No IsDialogMessage: Enter and Esc must not save or close.
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
