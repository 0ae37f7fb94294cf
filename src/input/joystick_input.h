// The game controllers, read through DirectInput 8.
#pragma once

#include <windows.h>

struct IDirectInput8A;
struct IDirectInputDevice8A;
struct DIDEVICEINSTANCEA;
struct DIJOYSTATE;

const int MAX_CONTROLLERS = 16;
const int PAD_BUTTONS = 32;
const int PAD_UP = 32;
const int PAD_DOWN = 33;
const int PAD_LEFT = 34;
const int PAD_RIGHT = 35;
const int PAD_STATE_SIZE = 36;
const long AXIS_LIMIT = 1000;

// One flag byte (0 or 1) per button, then up, down, left, right.
typedef unsigned char PadState[PAD_STATE_SIZE];

class JoystickInput {
public:
    JoystickInput();

    // Enumerates the attached controllers and sets each one up for absolute axes of
    // -1000..+1000. Returns 0, or the first failing DirectInput result.
    HRESULT Initialize(HINSTANCE instance, HWND window);

    // Lists the controllers again after devices came or went, by the same rules, in
    // DirectInput's order: a controller still listed keeps its open device (a held
    // button stays held), a new one is set up, one no longer listed is released. Every
    // PadState starts all zero. If the listing fails, the controllers stay as they were.
    // Asked while the controllers are being listed or read (from a window message that
    // DirectInput let through), it does nothing and returns E_PENDING.
    HRESULT Enumerate(HWND window);

    // Reads every controller into its PadState. A controller that fails is cleared and
    // re-acquired without holding up the others. A controller's directions count only
    // once it has reported: until its state first differs from the one read right after
    // its set-up (DirectInput reads a device that has not reported yet as centred). A
    // direction pushed in that first reported state is where its axis rests (a wheel's
    // pedal, a brake): it reads as not pushed until the axis has left that end once.
    // Buttons always count. Returns the first failure, or 0.
    HRESULT PollAll();

    // Unacquires and releases every controller, then DirectInput: the window they were
    // set up for is about to go. Inside a listing or a read it only unacquires them.
    void Shutdown();

    int DeviceCount() const { return count; }
    // How many controllers have been opened since the start: a listing that raises it
    // has a new controller to read.
    unsigned long SetUpCount() const { return setUpCount; }
    const PadState& StateOf(int i) const { return states[i]; }
    // Controller i's device for as long as it stays attached, whatever number the others'
    // coming and going give it: never 0, never given to another device.
    unsigned long IdOf(int i) const { return notes[i].id; }

private:
    // What the program knows of one controller besides its device; it moves with the
    // device when the controllers are listed again.
    struct Notes {
        GUID instance;  // to know it when listed again
        unsigned long id;
        unsigned char heard;  // nothing read yet, only its set-up state so far, or a report
        unsigned char rests;  // the directions whose axis rests at that end, a bit each from up
        unsigned char setUpState[80];  // its first read, a DIJOYSTATE
    };
    struct Listing;
    static BOOL CALLBACK OnDeviceFound(const DIDEVICEINSTANCEA* device, void* listing);
    HRESULT List(HWND window);
    HRESULT Configure(IDirectInputDevice8A* device, HWND window);
    static void IgnoreResting(const DIJOYSTATE& joy, PadState& pad, Notes& notes);

    IDirectInput8A* directInput;
    IDirectInputDevice8A* devices[MAX_CONTROLLERS];
    Notes notes[MAX_CONTROLLERS];
    int count;
    unsigned int driverLimit;
    PadState* states;
    int busy;  // how deep inside Enumerate or PollAll: a window message may start another inside
    unsigned long setUpCount;
};

// The one instance of the process.
extern JoystickInput joystickInput;
