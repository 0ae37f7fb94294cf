// Fake DirectInput 8 and winmm for tests: the test executable links these instead of
// the real DLLs. Each fake controller is scripted by a FakePad, and every call the
// program makes is written to one log, in order, so tests can assert the protocol.
#pragma once

#define DIRECTINPUT_VERSION 0x0800
#include <windows.h>
#include <dinput.h>

#include <functional>
#include <string>
#include <vector>

struct FakePad {
    bool attached = true;  // listed by EnumDevices
    // What the controller answers.
    HRESULT createDevice = DI_OK;
    HRESULT setDataFormat = DI_OK;
    HRESULT setCooperativeLevel = DI_OK;
    HRESULT enumObjects = DI_OK;
    HRESULT setRange = DI_OK;
    HRESULT setAxisMode = DI_OK;
    HRESULT poll = DI_NOEFFECT;  // what a device that needs no polling says
    HRESULT getDeviceState = DI_OK;
    DIJOYSTATE state = {};
    int silentReads = 0;  // reads before its first report: centred, as DirectInput reads it then
    // What it was asked.
    int acquires = 0;
    int reads = 0;
    int references = 0;  // held on its devices: one per CreateDevice, less one per Release
};

struct FakeDirectInput {
    std::vector<FakePad> pads;  // the attached controllers, in enumeration order
    UINT driverLimit = 16;
    HRESULT create = DI_OK;
    HRESULT enumDevices = DI_OK;
    int offered = 0;  // controllers handed to the enumeration callback
    // Scripted listings, one per EnumDevices call, each the pads it offers in order (one
    // may come twice or not at all while devices change); when they run out, the
    // attached pads.
    std::vector<std::vector<int>> listings;
    // Runs inside the next Acquire, as Wine's lets the window's sent messages through
    // while it waits on a thread of its own.
    std::function<void()> duringAcquire;
    bool logPolling = false;
    std::vector<std::string> log;
};

extern FakeDirectInput fakeInput;

// Fresh fakes with `pads` idle controllers (centred sticks, no buttons).
void ResetFakeInput(int pads);

// Presses a button or pushes a stick of controller `pad`.
void PressButton(int pad, int button);
void PushStick(int pad, LONG x, LONG y);
