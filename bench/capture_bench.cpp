// Times the capture per call under Wine with 0, 4 and 16 fake controllers attached: IsHeld
// of controller 1, with the keyboard (a latched tick), and CaptureInput of controller 1 (an
// idle one), and the keyboard scan both ways: one GetKeyboardState against 255 GetKeyState
// calls.
#include <cstdio>

#include "fakes/fake_dinput.h"
#include "input/capture.h"
#include "input/joystick_input.h"

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart / (double)frequency.QuadPart;
}

// Milliseconds per call of `work`, over `calls` calls.
template <typename Work>
double MsPerCall(int calls, Work work) {
    work();  // warm up
    double start = Now();
    for (int i = 0; i < calls; ++i) work();
    return (Now() - start) * 1000.0 / calls;
}

volatile int sink;

bool ScanWithGetKeyState() {
    for (int vk = 0; vk < 255; ++vk) {
        if (vk >= 0xF0 || vk == VK_LBUTTON) continue;
        if (GetKeyState(vk) & 0x8000) return true;
    }
    return false;
}

bool ScanWithGetKeyboardState() {
    BYTE keys[256];
    if (!GetKeyboardState(keys)) return false;
    for (int vk = 0; vk < 0xF0; ++vk)
        if (vk != VK_LBUTTON && (keys[vk] & 0x80)) return true;
    return false;
}

}  // namespace

int main() {
    BYTE noKeys[256] = {};
    SetKeyboardState(noKeys);

    std::printf("%-44s %12s\n", "capture (nothing pressed)", "ms per call");
    for (int pads : {0, 4, 16}) {
        ResetFakeInput(pads);
        joystickInput = JoystickInput();
        joystickInput.Initialize(GetModuleHandleA(nullptr), nullptr);
        Binding binding;
        ControllerId controller = pads ? joystickInput.IdOf(0) : 0;
        double withKeys = MsPerCall(20000, [&] { sink = IsHeld(controller); });
        double without = MsPerCall(20000, [&] { sink = CaptureInput(1, binding, controller); });
        std::printf("IsHeld, %2d controllers, with keyboard %22.4f\n", pads, withKeys);
        std::printf("CaptureInput, %2d controllers, without %21.4f\n", pads, without);
    }

    double literal = MsPerCall(200, [] { sink = ScanWithGetKeyState(); });
    double single = MsPerCall(20000, [] { sink = ScanWithGetKeyboardState(); });
    std::printf("keyboard scan, 255 x GetKeyState %28.4f\n", literal);
    std::printf("keyboard scan, 1 x GetKeyboardState %25.4f\n", single);
    std::printf("scan ratio (GetKeyState / GetKeyboardState) %17.0fx\n", literal / single);
    return 0;
}
