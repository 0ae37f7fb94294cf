#include "input/joystick_input.h"

#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>
#include <mmsystem.h>

#include <cstdlib>
#include <cstring>

JoystickInput joystickInput;

namespace {

BOOL CALLBACK SetAxisRange(const DIDEVICEOBJECTINSTANCEA* axis, void* context) {
    IDirectInputDevice8A* device = static_cast<IDirectInputDevice8A*>(context);
    DIPROPRANGE range;
    range.diph.dwSize = sizeof(DIPROPRANGE);
    range.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    range.diph.dwObj = axis->dwType;
    range.diph.dwHow = DIPH_BYID;
    range.lMin = -AXIS_LIMIT;
    range.lMax = AXIS_LIMIT;
    // A failure ends the axis enumeration quietly; the device stays usable.
    return SUCCEEDED(device->SetProperty(DIPROP_RANGE, &range.diph)) ? DIENUM_CONTINUE : DIENUM_STOP;
}

void ReadPad(const DIJOYSTATE& joy, PadState& pad) {
    pad[PAD_UP] = joy.lY == -AXIS_LIMIT;
    pad[PAD_DOWN] = joy.lY == AXIS_LIMIT;
    pad[PAD_LEFT] = joy.lX == -AXIS_LIMIT;
    pad[PAD_RIGHT] = joy.lX == AXIS_LIMIT;
    for (int button = 0; button < PAD_BUTTONS; ++button) pad[button] = (joy.rgbButtons[button] & 0x80) != 0;
}

}  // namespace

JoystickInput::JoystickInput()
    : directInput(nullptr), devices(), count(0), driverLimit(0), states(nullptr) {}

BOOL CALLBACK JoystickInput::OnDeviceFound(const DIDEVICEINSTANCEA* device, void* self) {
    JoystickInput& input = *static_cast<JoystickInput*>(self);
    IDirectInputDevice8A** slot = &input.devices[input.count];
    // A controller that cannot be opened is not counted, so every counted slot works.
    if (FAILED(input.directInput->CreateDevice(device->guidInstance, slot, nullptr)) || !*slot) {
        *slot = nullptr;
        return DIENUM_CONTINUE;
    }
    ++input.count;
    bool full = (unsigned int)input.count == input.driverLimit || input.count == MAX_CONTROLLERS;
    return full ? DIENUM_STOP : DIENUM_CONTINUE;
}

HRESULT JoystickInput::Initialize(HINSTANCE instance, HWND window) {
    driverLimit = joyGetNumDevs();
    HRESULT result = DirectInput8Create(instance, DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                        reinterpret_cast<void**>(&directInput), nullptr);
    if (FAILED(result)) return result;

    result = directInput->EnumDevices(DI8DEVCLASS_GAMECTRL, OnDeviceFound, this, DIEDFL_ATTACHEDONLY);
    if (FAILED(result)) {
        for (int i = 0; i < count; ++i) {
            devices[i]->Release();
            devices[i] = nullptr;
        }
        count = 0;
        return result;
    }
    if (count == 0) return 0;

    // calloc rather than new: the C++ runtime's allocation, with its exceptions, would
    // more than double the exe.
    states = static_cast<PadState*>(std::calloc(count, sizeof(PadState)));  // all zero
    if (!states) {
        count = 0;
        return E_OUTOFMEMORY;
    }
    for (int i = 0; i < count; ++i) {
        // A controller that fails here, and every later one, stays counted and all zero.
        result = Configure(devices[i], window);
        if (FAILED(result)) return result;
    }
    return 0;
}

HRESULT JoystickInput::Configure(IDirectInputDevice8A* device, HWND window) {
    HRESULT result = device->SetDataFormat(&c_dfDIJoystick);
    if (FAILED(result)) return result;
    // Readable only while the dialog is in front.
    result = device->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    if (FAILED(result)) return result;
    result = device->EnumObjects(SetAxisRange, device, DIDFT_AXIS);
    if (FAILED(result)) return result;

    DIPROPDWORD axisMode;
    axisMode.diph.dwSize = sizeof(DIPROPDWORD);
    axisMode.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    axisMode.diph.dwObj = 0;
    axisMode.diph.dwHow = DIPH_DEVICE;
    axisMode.dwData = DIPROPAXISMODE_ABS;
    result = device->SetProperty(DIPROP_AXISMODE, &axisMode.diph);
    if (FAILED(result)) return result;

    device->Acquire();
    return 0;
}

HRESULT JoystickInput::PollAll() {
    HRESULT firstFailure = 0;
    for (int i = 0; i < count; ++i) {
        IDirectInputDevice8A* device = devices[i];
        PadState& pad = states[i];
        std::memset(pad, 0, sizeof(PadState));

        // An unplugged or lost controller reads as nothing held and must not keep the
        // controllers after it from being read.
        HRESULT result = device->Poll();
        if (FAILED(result)) {
            device->Acquire();
            if (SUCCEEDED(firstFailure)) firstFailure = result;
            continue;
        }
        DIJOYSTATE joy;
        result = device->GetDeviceState(sizeof(DIJOYSTATE), &joy);
        if (SUCCEEDED(result)) {
            ReadPad(joy, pad);
        } else if (result == DIERR_INPUTLOST) {
            device->Acquire();
        }
    }
    return firstFailure;
}
