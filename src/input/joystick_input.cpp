#include "input/joystick_input.h"

#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>

#include <cstdlib>
#include <cstring>

#include "input/system_function.h"

JoystickInput joystickInput;

namespace {

// How much of a controller has been heard since its set-up.
const unsigned char NOT_READ = 0, SET_UP_STATE = 1, REPORTED = 2;

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

// Clears the directions that do not count yet. DirectInput reads a device that reports only
// when something changes as centred until its first report, so a pedal held down since before
// the start would show as pushed at its first report: the directions wait for that report, and
// those it pushes are where their axes rest, each until it has left that end.
void JoystickInput::IgnoreResting(const DIJOYSTATE& joy, PadState& pad, Notes& notes) {
    static_assert(sizeof notes.setUpState == sizeof joy, "room for a DIJOYSTATE");
    if (notes.heard == NOT_READ) {
        std::memcpy(notes.setUpState, &joy, sizeof joy);
        notes.heard = SET_UP_STATE;
    }
    unsigned char pushed = 0;
    for (int direction = 0; direction < 4; ++direction)
        if (pad[PAD_UP + direction]) pushed |= (unsigned char)(1 << direction);
    if (notes.heard == SET_UP_STATE && std::memcmp(notes.setUpState, &joy, sizeof joy) != 0) {
        notes.heard = REPORTED;
        notes.rests = pushed;
    }
    notes.rests &= pushed;
    unsigned char ignored = notes.heard == REPORTED ? notes.rests : 0x0F;
    for (int direction = 0; direction < 4; ++direction)
        if (ignored & (1 << direction)) pad[PAD_UP + direction] = 0;
}

JoystickInput::JoystickInput()
    : directInput(nullptr), devices(), notes(), count(0), driverLimit(0), states(nullptr), busy(0), setUpCount(0) {}

// The controllers of one enumeration, in its order, before they replace the current ones.
struct JoystickInput::Listing {
    JoystickInput* input;
    IDirectInputDevice8A* devices[MAX_CONTROLLERS];
    Notes notes[MAX_CONTROLLERS];
    bool created[MAX_CONTROLLERS];  // new this time, not an open device kept
    int count;

    void ReleaseCreated() {
        for (int i = 0; i < count; ++i)
            if (created[i]) devices[i]->Release();
    }
    bool Holds(IDirectInputDevice8A* device) const {
        for (int i = 0; i < count; ++i)
            if (devices[i] == device) return true;
        return false;
    }
};

BOOL CALLBACK JoystickInput::OnDeviceFound(const DIDEVICEINSTANCEA* device, void* context) {
    Listing& listing = *static_cast<Listing*>(context);
    const JoystickInput& input = *listing.input;
    // A listing that overlaps a device change may offer a device twice: two slots would
    // share one reference, and a later listing without it would release it twice.
    for (int i = 0; i < listing.count; ++i)
        if (IsEqualGUID(listing.notes[i].instance, device->guidInstance)) return DIENUM_CONTINUE;
    int slot = listing.count;
    listing.devices[slot] = nullptr;
    listing.notes[slot] = Notes();
    for (int i = 0; i < input.count; ++i) {
        if (IsEqualGUID(input.notes[i].instance, device->guidInstance)) {
            listing.devices[slot] = input.devices[i];
            listing.notes[slot] = input.notes[i];  // what it taught stays with it
        }
    }
    listing.created[slot] = !listing.devices[slot];
    // A controller that cannot be opened is not counted, so every counted slot works.
    if (listing.created[slot] &&
        (FAILED(input.directInput->CreateDevice(device->guidInstance, &listing.devices[slot], nullptr)) ||
         !listing.devices[slot])) {
        return DIENUM_CONTINUE;
    }
    listing.notes[slot].instance = device->guidInstance;
    ++listing.count;
    bool full = (unsigned int)listing.count == input.driverLimit || listing.count == MAX_CONTROLLERS;
    return full ? DIENUM_STOP : DIENUM_CONTINUE;
}

HRESULT JoystickInput::Initialize(HINSTANCE instance, HWND window) {
    // Looked up only now, after the window is up: loading dinput8 (with hid, setupapi,
    // ole32 and more under it) at the start would delay the window.
    typedef UINT(WINAPI * JoyGetNumDevsCall)();
    typedef HRESULT(WINAPI * DirectInput8CreateCall)(HINSTANCE, DWORD, REFIID, void**, IUnknown*);
    JoyGetNumDevsCall joyGetNumDevs =
        reinterpret_cast<JoyGetNumDevsCall>(reinterpret_cast<void*>(SystemFunction(L"winmm.dll", "joyGetNumDevs")));
    DirectInput8CreateCall directInput8Create = reinterpret_cast<DirectInput8CreateCall>(
        reinterpret_cast<void*>(SystemFunction(L"dinput8.dll", "DirectInput8Create")));

    driverLimit = joyGetNumDevs ? joyGetNumDevs() : 0;  // 0: only the 16 slots limit the controllers
    if (!directInput8Create) return DIERR_NOTINITIALIZED;
    HRESULT result = directInput8Create(instance, DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                        reinterpret_cast<void**>(&directInput), nullptr);
    if (FAILED(result)) return result;
    return Enumerate(window);
}

HRESULT JoystickInput::Enumerate(HWND window) {
    // A device change may come before Initialize, or after it failed.
    if (!directInput) return DIERR_NOTINITIALIZED;
    // DirectInput may take the window's sent messages while it acquires or releases a
    // device (Wine's waits on a thread of its own), device notifications among them: a
    // listing asked for then would change the controllers under the call using them.
    if (busy) return E_PENDING;
    ++busy;
    HRESULT result = List(window);
    --busy;
    return result;
}

HRESULT JoystickInput::List(HWND window) {
    Listing listing;
    listing.input = this;
    listing.count = 0;
    HRESULT result = directInput->EnumDevices(DI8DEVCLASS_GAMECTRL, OnDeviceFound, &listing, DIEDFL_ATTACHEDONLY);
    if (FAILED(result)) {
        listing.ReleaseCreated();
        return result;
    }

    // calloc rather than new: the C++ runtime's allocation, with its exceptions, would
    // more than double the exe.
    PadState* fresh = nullptr;
    if (listing.count > 0) {
        fresh = static_cast<PadState*>(std::calloc(listing.count, sizeof(PadState)));  // all zero
        if (!fresh) {
            listing.ReleaseCreated();
            return E_OUTOFMEMORY;
        }
    }
    for (int i = 0; i < count; ++i)
        if (!listing.Holds(devices[i])) devices[i]->Release();
    std::free(states);
    states = fresh;
    count = listing.count;
    for (int i = 0; i < count; ++i) {
        devices[i] = listing.devices[i];
        notes[i] = listing.notes[i];
        if (listing.created[i]) notes[i].id = ++setUpCount;
    }

    for (int i = 0; i < count; ++i) {
        if (!listing.created[i]) continue;
        result = Configure(devices[i], window);
        if (FAILED(result)) {
            // This controller and every later new one stay counted and all zero; the next
            // enumeration opens them afresh instead of keeping them.
            for (int j = i; j < count; ++j)
                if (listing.created[j]) notes[j].instance = GUID();
            return result;
        }
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
    ++busy;  // a lost controller is acquired again
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
            IgnoreResting(joy, pad, notes[i]);
        } else if (result == DIERR_INPUTLOST) {
            device->Acquire();
        }
    }
    --busy;
    return firstFailure;
}

void JoystickInput::Shutdown() {
    for (int i = 0; i < count; ++i) devices[i]->Unacquire();
    // The call under this one still uses them; the process ends soon after anyway.
    if (busy) return;
    for (int i = 0; i < count; ++i) devices[i]->Release();
    count = 0;
    std::free(states);
    states = nullptr;
    if (directInput) directInput->Release();
    directInput = nullptr;
}
