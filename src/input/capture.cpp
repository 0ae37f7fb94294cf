#include "input/capture.h"

#include <windows.h>

#include "input/joystick_input.h"

namespace {

// Directions in the order they win: a diagonal reports its vertical part only when
// it is down.
struct Direction {
    int flag;
    unsigned char code;
};
const Direction DIRECTIONS[] = {{PAD_DOWN, 1}, {PAD_RIGHT, 2}, {PAD_LEFT, 3}, {PAD_UP, 0}};

// Codes 240 and above are never reported.
const int FIRST_UNREPORTED_KEY = 0xF0;

bool FindPadInput(const PadState& pad, unsigned char source, Binding& binding) {
    for (int button = 0; button < PAD_BUTTONS; ++button) {
        if (pad[button]) {
            binding = Binding{source, (unsigned char)(button + 4)};
            return true;
        }
    }
    for (const Direction& direction : DIRECTIONS) {
        if (pad[direction.flag]) {
            binding = Binding{source, direction.code};
            return true;
        }
    }
    return false;
}

bool AnyKeyHeld() {
    // One read of the thread's whole key state instead of a query per key.
    BYTE keys[256];
    if (!GetKeyboardState(keys)) return false;
    for (int vk = 0; vk < FIRST_UNREPORTED_KEY; ++vk) {
        if (vk == VK_LBUTTON) continue;  // clicking the dialog must not count
        if (keys[vk] & 0x80) return true;
    }
    return false;
}

}  // namespace

bool CaptureInput(int source, Binding& binding, ControllerId& controller) {
    joystickInput.PollAll();
    int i = source - 1;
    if (i < 0 || i >= joystickInput.DeviceCount()) return false;
    if (!FindPadInput(joystickInput.StateOf(i), (unsigned char)source, binding)) return false;
    controller = joystickInput.IdOf(i);
    return true;
}

bool IsHeld(ControllerId controller) {
    joystickInput.PollAll();
    Binding ignored;
    for (int i = 0; i < joystickInput.DeviceCount(); ++i)
        if (joystickInput.IdOf(i) == controller && FindPadInput(joystickInput.StateOf(i), 0, ignored)) return true;
    return AnyKeyHeld();
}
