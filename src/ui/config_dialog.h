// The program's one window: a modeless dialog that turns messages into editor operations.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The dialog from its template, as a Unicode window: its Japanese texts read right
// whatever the ANSI code page. Its initialisation (the file, the labels) runs inside.
HWND CreateConfigDialog(HINSTANCE instance);

// That the program was started in the user's temporary folder (from inside a zip, say),
// where what it saves is never read by the game; shown over the dialog once it is up.
void ShowTemporaryFolderNotice();

// The program's message loop, until the dialog is destroyed; returns the exit code.
int RunMessageLoop();
