// The program's one window: a modeless dialog that turns messages into editor operations.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
