// A function of a DLL in the system folder.
#pragma once

#include <windows.h>

// Loads `dll` from the system folder by its full path and looks up `function` in it; null
// when either is missing. By name, Windows would load a DLL that is no known DLL from the
// exe's own folder first (a mod loader's, or one planted in Downloads), and it would run
// in the tool; the full path takes the system's copy even on a Windows without
// SetDefaultDllDirectories.
FARPROC SystemFunction(const wchar_t* dll, const char* function);
