#include "input/joystick_input.h"

#include "fakes/fake_dinput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <malloc.h>

namespace {

using Log = std::vector<std::string>;

const HWND WINDOW = reinterpret_cast<HWND>(0x1234);

// Every listing checks the PadState array before anything reads into it: one too short
// would be overrun by the next PollAll, and the test would crash at some later allocation.
HRESULT Checked(const JoystickInput& input, HRESULT result) {
    size_t room = input.DeviceCount() ? _msize(const_cast<PadState*>(&input.StateOf(0))) : 0;
    if (room >= input.DeviceCount() * sizeof(PadState)) return result;
    ADD_FAILURE() << "a PadState array of " << room << " bytes for " << input.DeviceCount() << " controllers";
    return E_UNEXPECTED;
}
HRESULT Start(JoystickInput& input) { return Checked(input, input.Initialize(GetModuleHandleA(nullptr), WINDOW)); }
HRESULT Relist(JoystickInput& input) { return Checked(input, input.Enumerate(WINDOW)); }

// The pads the calls logged since it was cleared opened, in order.
std::vector<int> Opened() {
    std::vector<int> pads;
    for (const std::string& call : fakeInput.log)
        if (call.rfind("CreateDevice pad", 0) == 0) pads.push_back(std::atoi(call.c_str() + 16));
    return pads;
}

std::vector<int> HeldFlags(const JoystickInput& input, int pad) {
    std::vector<int> held;
    for (int flag = 0; flag < PAD_STATE_SIZE; ++flag)
        if (input.StateOf(pad)[flag]) held.push_back(flag);
    return held;
}

TEST(JoystickInput, InitializeAndPollFollowTheCallProtocol) {
    ResetFakeInput(1);
    JoystickInput input;
    EXPECT_EQ(input.DeviceCount(), 0);
    ASSERT_EQ(Start(input), 0);
    EXPECT_EQ(input.DeviceCount(), 1);
    EXPECT_EQ(fakeInput.log, (Log{
        "joyGetNumDevs",
        "DirectInput8Create instance version=0x0800 IID_IDirectInput8A outer=null",
        "EnumDevices type=4 flags=1",
        "CreateDevice pad0 outer=null",
        "pad0 SetDataFormat c_dfDIJoystick",
        "pad0 SetCooperativeLevel window=0x1234 flags=0x6",
        "pad0 EnumObjects 0x3",
        "pad0 SetProperty RANGE size=24 header=16 obj=0x2 how=2 -1000..1000",
        "pad0 SetProperty RANGE size=24 header=16 obj=0x102 how=2 -1000..1000",
        "pad0 SetProperty AXISMODE size=20 header=16 obj=0 how=0 data=0",
        "pad0 Acquire",
    }));

    fakeInput.log.clear();
    fakeInput.logPolling = true;
    EXPECT_EQ(input.PollAll(), 0);
    EXPECT_EQ(fakeInput.log, (Log{"pad0 Poll", "pad0 GetDeviceState 80"}));
}

TEST(JoystickInput, OnlyFullDeflectionIsADirection) {
    struct Case {
        LONG x, y;
        std::vector<int> held;
    };
    // Y rests at its lower end from before the start (a wheel's pedal), and the device reads
    // centred until its first report: Y counts once it has left that end.
    const Case cases[] = {
        {0, 1000, {}},
        {0, 1000, {}},
        {1000, 1000, {PAD_RIGHT}},
        {0, 0, {}},
        {999, 999, {}},
        {-999, -999, {}},
        {1000, 0, {PAD_RIGHT}},
        {-1000, 0, {PAD_LEFT}},
        {0, 1000, {PAD_DOWN}},
        {0, -1000, {PAD_UP}},
        {1000, -1000, {PAD_UP, PAD_RIGHT}},
        {-1000, 1000, {PAD_DOWN, PAD_LEFT}},
        {1001, -1001, {}},
        {-1001, 1001, {}},  // beyond the range, as a device whose range could not be set reports
    };
    ResetFakeInput(1);
    fakeInput.pads[0].silentReads = 1;
    PushStick(0, 0, 1000);
    JoystickInput input;
    ASSERT_EQ(Start(input), 0);
    for (const Case& c : cases) {
        PushStick(0, c.x, c.y);
        input.PollAll();
        EXPECT_EQ(HeldFlags(input, 0), c.held) << c.x << "," << c.y;
    }
}

// What a first report taught stays with its device when the controllers are listed again: a
// pad plugged in, sorting first, learns its own rest, and the pedal's stick counts, its Y not.
TEST(JoystickInput, WhereAnAxisRestsStaysWithItsDevice) {
    ResetFakeInput(1);
    fakeInput.pads[0].silentReads = 1;
    JoystickInput input;
    ASSERT_EQ(Start(input), 0);
    for (LONG x : {0, 0, 1000}) PushStick(0, x, 1000), input.PollAll();
    fakeInput.pads.resize(2);
    fakeInput.listings = {{1, 0}};
    ASSERT_EQ(Relist(input), 0);
    for (LONG x : {0, -1000}) PushStick(1, x, 0), input.PollAll();
    EXPECT_EQ(HeldFlags(input, 0), std::vector<int>{});
    EXPECT_EQ(HeldFlags(input, 1), std::vector<int>{PAD_RIGHT});
    for (LONG x : {0, -1000}) PushStick(1, x, 0), input.PollAll();
    EXPECT_EQ(HeldFlags(input, 0), std::vector<int>{PAD_LEFT});
}

TEST(JoystickInput, AButtonIsHeldByItsHighBit) {
    ResetFakeInput(1);
    JoystickInput input;
    ASSERT_EQ(Start(input), 0);
    for (int button = 0; button < PAD_BUTTONS; ++button) {
        for (BYTE value : {0x00, 0x7F, 0x80, 0xFF}) {
            fakeInput.pads[0].state = DIJOYSTATE{};
            fakeInput.pads[0].state.rgbButtons[button] = value;
            input.PollAll();
            EXPECT_EQ(HeldFlags(input, 0), value & 0x80 ? std::vector<int>{button} : std::vector<int>{})
                << "button " << button << " value " << (int)value;
        }
    }
}

TEST(JoystickInput, TakesAtMost16ControllersAndNoMoreThanTheDriverAllows) {
    struct Case {
        int attached;
        UINT driverLimit;
        int counted;
    };
    for (const Case& c : {Case{17, 16, 16}, Case{17, 3, 3}, Case{17, 0, 16}, Case{17, 40, 16}, Case{2, 16, 2}}) {
        ResetFakeInput(c.attached);
        fakeInput.driverLimit = c.driverLimit;
        JoystickInput input;
        ASSERT_EQ(Start(input), 0);
        EXPECT_EQ(input.DeviceCount(), c.counted) << c.attached << " attached, limit " << c.driverLimit;
        EXPECT_EQ(fakeInput.offered, c.counted);  // the enumeration stopped there
        PressButton(c.counted - 1, 2);
        input.PollAll();
        EXPECT_EQ(HeldFlags(input, c.counted - 1), std::vector<int>{2});
    }
}

// A set-up step failing for controller 1 of 3 ends Initialize with its result;
// controllers 1 and 2 stay counted, all zero, and never hold up controller 0.
TEST(JoystickInput, ASetUpFailureLeavesThatControllerAndLaterOnesCountedAndEmpty) {
    HRESULT FakePad::*steps[] = {&FakePad::setDataFormat, &FakePad::setCooperativeLevel, &FakePad::enumObjects,
                                 &FakePad::setAxisMode};
    for (HRESULT FakePad::*step : steps) {
        ResetFakeInput(3);
        fakeInput.pads[1].*step = DIERR_GENERIC;
        fakeInput.pads[1].poll = DIERR_NOTACQUIRED;
        fakeInput.pads[2].poll = DIERR_NOTACQUIRED;
        for (int pad = 0; pad < 3; ++pad) PressButton(pad, 0);

        JoystickInput input;
        ASSERT_EQ(Start(input), DIERR_GENERIC);
        EXPECT_EQ(input.DeviceCount(), 3);
        for (const std::string& call : fakeInput.log) EXPECT_EQ(call.find("pad2 Set"), std::string::npos) << call;
        for (int pad = 0; pad < 3; ++pad) EXPECT_EQ(HeldFlags(input, pad), std::vector<int>{});

        EXPECT_EQ(input.PollAll(), DIERR_NOTACQUIRED);
        EXPECT_EQ(HeldFlags(input, 0), std::vector<int>{0});
        EXPECT_EQ(HeldFlags(input, 1), std::vector<int>{});
        EXPECT_EQ(HeldFlags(input, 2), std::vector<int>{});

        // Listed again, a new controller 3 first, whose set-up fails in turn: the two
        // never set up are opened afresh, and controller 0 keeps its device.
        fakeInput.pads[1].*step = DI_OK;
        fakeInput.pads[1].poll = fakeInput.pads[2].poll = DI_NOEFFECT;
        fakeInput.pads.resize(4);
        fakeInput.pads[3].*step = DIERR_GENERIC;
        PressButton(3, 0);
        fakeInput.listings = {{3, 0, 1, 2}, {3, 0, 1, 2}};
        fakeInput.log.clear();
        ASSERT_EQ(Relist(input), DIERR_GENERIC);
        EXPECT_EQ(Opened(), (std::vector<int>{3, 1, 2}));
        // Once more with every set-up working: all but controller 0 are set up now.
        fakeInput.pads[3].*step = DI_OK;
        fakeInput.log.clear();
        ASSERT_EQ(Relist(input), 0);
        EXPECT_EQ(Opened(), (std::vector<int>{3, 1, 2}));
        EXPECT_EQ(input.PollAll(), 0);
        for (int pad = 0; pad < 4; ++pad) {
            EXPECT_EQ(HeldFlags(input, pad), std::vector<int>{0});
            EXPECT_EQ(fakeInput.pads[pad].references, 1) << "pad " << pad;
        }
    }
}

TEST(JoystickInput, AFailedAxisRangeEndsTheAxesButNotTheSetUp) {
    ResetFakeInput(1);
    fakeInput.pads[0].setRange = DIERR_UNSUPPORTED;
    JoystickInput input;
    ASSERT_EQ(Start(input), 0);
    int ranges = 0;
    for (const std::string& call : fakeInput.log) ranges += call.find("RANGE") != std::string::npos;
    EXPECT_EQ(ranges, 1);
    EXPECT_EQ(fakeInput.log.back(), "pad0 Acquire");
}

TEST(JoystickInput, AControllerThatCannotBeOpenedIsNotCounted) {
    ResetFakeInput(3);
    fakeInput.pads[1].createDevice = DIERR_DEVICENOTREG;
    PressButton(2, 7);
    JoystickInput input;
    ASSERT_EQ(Start(input), 0);
    ASSERT_EQ(input.DeviceCount(), 2);
    input.PollAll();
    EXPECT_EQ(HeldFlags(input, 1), std::vector<int>{7});  // the third one is controller 2
}

// Devices came and went: the controller still listed keeps its device, so a held button
// stays held; the one gone is released; the new one is set up as at the start. A listing
// that fails gives back what it opened and keeps the controllers as they were.
TEST(JoystickInput, EnumeratingAgainKeepsListedControllersAndSetsUpNewOnes) {
    ResetFakeInput(2);
    JoystickInput input;
    ASSERT_EQ(Start(input), 0);
    PressButton(1, 5);
    input.PollAll();
    EXPECT_EQ(HeldFlags(input, 1), std::vector<int>{5});

    fakeInput.pads[0].attached = false;
    fakeInput.pads.resize(3);
    PressButton(2, 6);
    fakeInput.log.clear();
    ASSERT_EQ(Relist(input), 0);
    EXPECT_EQ(fakeInput.log, (Log{
        "EnumDevices type=4 flags=1",
        "CreateDevice pad2 outer=null",
        "pad0 Release",
        "pad2 SetDataFormat c_dfDIJoystick",
        "pad2 SetCooperativeLevel window=0x1234 flags=0x6",
        "pad2 EnumObjects 0x3",
        "pad2 SetProperty RANGE size=24 header=16 obj=0x2 how=2 -1000..1000",
        "pad2 SetProperty RANGE size=24 header=16 obj=0x102 how=2 -1000..1000",
        "pad2 SetProperty AXISMODE size=20 header=16 obj=0 how=0 data=0",
        "pad2 Acquire",
    }));
    ASSERT_EQ(input.DeviceCount(), 2);
    EXPECT_EQ(HeldFlags(input, 0), std::vector<int>{});  // all zero until read
    input.PollAll();
    EXPECT_EQ(HeldFlags(input, 0), std::vector<int>{5});
    EXPECT_EQ(HeldFlags(input, 1), std::vector<int>{6});

    fakeInput.pads.resize(4);
    fakeInput.enumDevices = DIERR_GENERIC;
    fakeInput.log.clear();
    ASSERT_EQ(Relist(input), DIERR_GENERIC);
    EXPECT_EQ(fakeInput.log, (Log{"EnumDevices type=4 flags=1", "CreateDevice pad3 outer=null", "pad3 Release"}));
    ASSERT_EQ(input.DeviceCount(), 2);
    input.PollAll();
    EXPECT_EQ(HeldFlags(input, 1), std::vector<int>{6});

    // While devices change, a listing may offer a device twice: it is listed once, at its
    // first place, and a listing without it releases it once.
    fakeInput.enumDevices = DI_OK;
    PressButton(3, 7);
    fakeInput.listings = {{2, 3, 1, 3, 2}, {1}};
    fakeInput.log.clear();
    ASSERT_EQ(Relist(input), 0);
    EXPECT_EQ(Opened(), std::vector<int>{3});
    ASSERT_EQ(input.DeviceCount(), 3);
    input.PollAll();
    EXPECT_EQ(HeldFlags(input, 0), std::vector<int>{6});
    EXPECT_EQ(HeldFlags(input, 1), std::vector<int>{7});
    EXPECT_EQ(HeldFlags(input, 2), std::vector<int>{5});
    fakeInput.log.clear();
    ASSERT_EQ(Relist(input), 0);
    EXPECT_EQ(fakeInput.log, (Log{"EnumDevices type=4 flags=1", "pad2 Release", "pad3 Release"}));
    ASSERT_EQ(input.DeviceCount(), 1);
    input.PollAll();
    EXPECT_EQ(HeldFlags(input, 0), std::vector<int>{5});
    for (int pad = 0; pad < 4; ++pad) EXPECT_EQ(fakeInput.pads[pad].references, pad == 1) << "pad " << pad;

    // Asked for from inside an Acquire (a window message that DirectInput let through),
    // while the controllers are listed or read, a listing does nothing and says so.
    HRESULT inside = 0;
    fakeInput.duringAcquire = [&] { inside = input.Enumerate(WINDOW); };
    ASSERT_EQ(Relist(input), 0);  // sets pads 2 and 3 up
    EXPECT_EQ(inside, E_PENDING);
    fakeInput.pads[1].poll = DIERR_INPUTLOST;
    inside = 0;
    fakeInput.duringAcquire = [&] { inside = input.Enumerate(WINDOW); };
    input.PollAll();
    EXPECT_EQ(inside, E_PENDING);
    EXPECT_EQ(std::count(fakeInput.log.begin(), fakeInput.log.end(), "EnumDevices type=4 flags=1"), 2);
    ASSERT_EQ(input.DeviceCount(), 3);
    for (int pad = 0; pad < 4; ++pad) EXPECT_EQ(fakeInput.pads[pad].references, pad > 0) << "pad " << pad;
}

// Before Initialize (no step), or after it failed at a step: no controller. Without
// DirectInput a device change lists nothing and calls nothing.
TEST(JoystickInput, FailuresBeforeAnyControllerLeaveNone) {
    HRESULT FakeDirectInput::*steps[] = {nullptr, &FakeDirectInput::create, &FakeDirectInput::enumDevices};
    for (HRESULT FakeDirectInput::*step : steps) {
        ResetFakeInput(2);
        JoystickInput input;
        if (step) {
            fakeInput.*step = DIERR_GENERIC;
            ASSERT_EQ(Start(input), DIERR_GENERIC);
        }
        EXPECT_EQ(input.DeviceCount(), 0);
        EXPECT_EQ(input.PollAll(), 0);
        if (step == &FakeDirectInput::enumDevices) {
            // When the enumeration fails, the devices it opened so far are given back.
            EXPECT_EQ(fakeInput.log.back(), "pad1 Release");
            continue;
        }
        fakeInput.log.clear();
        EXPECT_EQ(Relist(input), DIERR_NOTINITIALIZED);
        EXPECT_EQ(fakeInput.log, Log{});
    }
}

TEST(JoystickInput, AFailingPollClearsThatControllerAndTheOthersAreStillRead) {
    ResetFakeInput(3);
    JoystickInput input;
    ASSERT_EQ(Start(input), 0);
    input.PollAll();  // as each was set up; the presses are their first reports
    for (int pad = 0; pad < 3; ++pad) PressButton(pad, pad);
    input.PollAll();
    EXPECT_EQ(HeldFlags(input, 0), std::vector<int>{0});

    // Controller 0 unplugged: it reads as released, is re-acquired, and 1 and 2 go on.
    fakeInput.pads[0].poll = DIERR_INPUTLOST;
    fakeInput.pads[1].poll = DIERR_NOTACQUIRED;
    int acquiresBefore = fakeInput.pads[0].acquires;
    PushStick(2, 0, -1000);
    EXPECT_EQ(input.PollAll(), DIERR_INPUTLOST);  // the first failure
    EXPECT_EQ(fakeInput.pads[0].acquires, acquiresBefore + 1);
    EXPECT_EQ(HeldFlags(input, 0), std::vector<int>{});
    EXPECT_EQ(HeldFlags(input, 1), std::vector<int>{});
    EXPECT_EQ(HeldFlags(input, 2), (std::vector<int>{2, PAD_UP}));

    fakeInput.pads[0].poll = DI_OK;
    fakeInput.pads[1].poll = DI_OK;
    EXPECT_EQ(input.PollAll(), 0);
    EXPECT_EQ(HeldFlags(input, 1), std::vector<int>{1});
}

TEST(JoystickInput, AFailedReadShowsNothingThatTickAndALostOneIsReacquired) {
    struct Case {
        HRESULT failure;
        int reacquires;
    };
    for (const Case& c : {Case{DIERR_INPUTLOST, 1}, Case{DIERR_NOTACQUIRED, 0}, Case{E_FAIL, 0}}) {
        ResetFakeInput(2);
        JoystickInput input;
        ASSERT_EQ(Start(input), 0);
        PressButton(0, 3);
        PressButton(1, 4);
        input.PollAll();
        int acquiresBefore = fakeInput.pads[0].acquires;

        fakeInput.pads[0].getDeviceState = c.failure;
        EXPECT_EQ(input.PollAll(), 0);
        EXPECT_EQ(HeldFlags(input, 0), std::vector<int>{});
        EXPECT_EQ(HeldFlags(input, 1), std::vector<int>{4});
        EXPECT_EQ(fakeInput.pads[0].acquires - acquiresBefore, c.reacquires) << std::hex << c.failure;
    }
}

}  // namespace
