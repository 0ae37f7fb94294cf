// The baseline for the idle and start-up figures: the same dialog template, shown the
// same way, with the same 60 ms timer, but a tick that does nothing and no bindings,
// labels or controllers.
#include <windows.h>

#include "resource.h"

namespace {

INT_PTR CALLBACK BaselineProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetTimer(dialog, 0x7FFF, 60, nullptr);
        return TRUE;
    case WM_TIMER:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, BaselineProc, 0);
    if (!dialog) return 1;
    SetWindowTextA(dialog, "Quorvane baseline");
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
