// A stand-in dinput8.dll with four idle fake controllers, loaded beside the unchanged
// Quorvane.exe with WINEDLLOVERRIDES=dinput8=n to measure it with controllers attached.
#include "fakes/fake_dinput.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ResetFakeInput(4);
    return TRUE;
}
