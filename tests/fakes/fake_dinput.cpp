#include "fakes/fake_dinput.h"

#include <cstdio>

#include "input/system_function.h"

FakeDirectInput fakeInput;

namespace {

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
    char line[200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    fakeInput.log.push_back(line);
}

// The axes every fake controller reports: X and Y, as absolute axes 0 and 1.
const DWORD AXIS_TYPES[] = {DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(0), DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(1)};

class FakeDevice : public IDirectInputDevice8A {
public:
    explicit FakeDevice(int index) : index_(index) { ++Pad().references; }
    FakePad& Pad() { return fakeInput.pads[index_]; }

    STDMETHOD_(HRESULT, QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override {
        ++Pad().references;
        return ++references_;
    }
    // A real device is freed with its last reference: a release after that is a crash.
    STDMETHOD_(ULONG, Release)() override {
        if (references_ == 0) {
            Log("pad%d Release of a freed device", index_);
            return 0;
        }
        Log("pad%d Release", index_);
        --Pad().references;
        return --references_;
    }
    STDMETHOD(SetDataFormat)(LPCDIDATAFORMAT format) override {
        Log("pad%d SetDataFormat %s", index_, format == &c_dfDIJoystick ? "c_dfDIJoystick" : "other");
        return Pad().setDataFormat;
    }
    STDMETHOD(SetCooperativeLevel)(HWND window, DWORD flags) override {
        Log("pad%d SetCooperativeLevel window=0x%llx flags=0x%lx", index_, (unsigned long long)(UINT_PTR)window, flags);
        window_ = window;
        return Pad().setCooperativeLevel;
    }
    STDMETHOD(EnumObjects)(LPDIENUMDEVICEOBJECTSCALLBACKA callback, LPVOID context, DWORD flags) override {
        Log("pad%d EnumObjects 0x%lx", index_, flags);
        if (FAILED(Pad().enumObjects)) return Pad().enumObjects;
        for (DWORD type : AXIS_TYPES) {
            DIDEVICEOBJECTINSTANCEA axis = {};
            axis.dwSize = sizeof axis;
            axis.guidType = GUID_XAxis;
            axis.dwType = type;
            if (callback(&axis, context) == DIENUM_STOP) break;
        }
        return DI_OK;
    }
    STDMETHOD(SetProperty)(REFGUID property, LPCDIPROPHEADER header) override {
        if (&property == &DIPROP_RANGE) {
            const DIPROPRANGE* range = reinterpret_cast<const DIPROPRANGE*>(header);
            Log("pad%d SetProperty RANGE size=%lu header=%lu obj=0x%lx how=%lu %ld..%ld", index_, header->dwSize,
                header->dwHeaderSize, header->dwObj, header->dwHow, range->lMin, range->lMax);
            return Pad().setRange;
        }
        if (&property == &DIPROP_AXISMODE) {
            const DIPROPDWORD* mode = reinterpret_cast<const DIPROPDWORD*>(header);
            Log("pad%d SetProperty AXISMODE size=%lu header=%lu obj=%lu how=%lu data=%lu", index_, header->dwSize,
                header->dwHeaderSize, header->dwObj, header->dwHow, mode->dwData);
            return Pad().setAxisMode;
        }
        Log("pad%d SetProperty other", index_);
        return E_NOTIMPL;
    }
    STDMETHOD(Acquire)() override {
        ++Pad().acquires;
        Log("pad%d Acquire", index_);
        std::function<void()> during = std::move(fakeInput.duringAcquire);
        fakeInput.duringAcquire = nullptr;
        if (during) during();
        if (references_ == 0) Log("pad%d Acquire on a freed device", index_);
        return DI_OK;
    }
    STDMETHOD(Unacquire)() override {
        Log("pad%d Unacquire%s", index_, IsWindow(window_) ? "" : " after its window is gone");
        return DI_OK;
    }
    STDMETHOD(Poll)() override {
        if (fakeInput.logPolling) Log("pad%d Poll", index_);
        return Pad().poll;
    }
    STDMETHOD(GetDeviceState)(DWORD size, LPVOID data) override {
        ++Pad().reads;
        if (fakeInput.logPolling) Log("pad%d GetDeviceState %lu", index_, size);
        if (FAILED(Pad().getDeviceState)) return Pad().getDeviceState;
        if (size != sizeof(DIJOYSTATE)) return DIERR_INVALIDPARAM;
        *static_cast<DIJOYSTATE*>(data) = Pad().silentReads > 0 ? DIJOYSTATE{} : Pad().state;
        if (Pad().silentReads > 0) --Pad().silentReads;
        return DI_OK;
    }

    // Not used by the program.
    STDMETHOD(GetCapabilities)(LPDIDEVCAPS) override { return E_NOTIMPL; }
    STDMETHOD(GetProperty)(REFGUID, LPDIPROPHEADER) override { return E_NOTIMPL; }
    STDMETHOD(GetDeviceData)(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetEventNotification)(HANDLE) override { return E_NOTIMPL; }
    STDMETHOD(GetObjectInfo)(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetDeviceInfo)(LPDIDEVICEINSTANCEA) override { return E_NOTIMPL; }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return E_NOTIMPL; }
    STDMETHOD(CreateEffect)(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT*, LPUNKNOWN) override { return E_NOTIMPL; }
    STDMETHOD(EnumEffects)(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetEffectInfo)(LPDIEFFECTINFOA, REFGUID) override { return E_NOTIMPL; }
    STDMETHOD(GetForceFeedbackState)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(SendForceFeedbackCommand)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumCreatedEffectObjects)(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override {
        return E_NOTIMPL;
    }
    STDMETHOD(Escape)(LPDIEFFESCAPE) override { return E_NOTIMPL; }
    STDMETHOD(SendDeviceData)(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumEffectsInFile)(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(WriteEffectToFile)(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(BuildActionMap)(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetActionMap)(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetImageInfo)(LPDIDEVICEIMAGEINFOHEADERA) override { return E_NOTIMPL; }

private:
    int index_;
    ULONG references_ = 1;
    HWND window_ = nullptr;
};

class FakeDirectInput8 : public IDirectInput8A {
public:
    STDMETHOD_(HRESULT, QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override {
        Log("DirectInput Release");
        return 1;
    }
    STDMETHOD(CreateDevice)(REFGUID instance, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) override {
        int index = (int)instance.Data1;
        Log("CreateDevice pad%d outer=%s", index, outer ? "set" : "null");
        if (FAILED(fakeInput.pads[index].createDevice)) return fakeInput.pads[index].createDevice;
        *device = new FakeDevice(index);  // lives as long as the test process
        return DI_OK;
    }
    STDMETHOD(EnumDevices)(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD flags) override {
        Log("EnumDevices type=%lu flags=%lu", type, flags);
        std::vector<int> listing;
        if (!fakeInput.listings.empty()) {
            listing = fakeInput.listings.front();
            fakeInput.listings.erase(fakeInput.listings.begin());
        } else {
            for (size_t i = 0; i < fakeInput.pads.size(); ++i)
                if (fakeInput.pads[i].attached) listing.push_back((int)i);
        }
        for (int i : listing) {
            DIDEVICEINSTANCEA device = {};
            device.dwSize = sizeof device;
            device.guidInstance.Data1 = (unsigned long)i;
            device.guidInstance.Data2 = 0xFA;  // never GUID_NULL, which no real device has
            ++fakeInput.offered;
            if (callback(&device, context) == DIENUM_STOP) break;
        }
        return fakeInput.enumDevices;
    }
    STDMETHOD(GetDeviceStatus)(REFGUID) override { return E_NOTIMPL; }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(FindDevice)(REFGUID, LPCSTR, LPGUID) override { return E_NOTIMPL; }
    STDMETHOD(EnumDevicesBySemantics)(LPCSTR, LPDIACTIONFORMATA, LPDIENUMDEVICESBYSEMANTICSCBA, LPVOID,
                                      DWORD) override {
        return E_NOTIMPL;
    }
    STDMETHOD(ConfigureDevices)(LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSA, DWORD, LPVOID) override {
        return E_NOTIMPL;
    }
};

FakeDirectInput8 directInput8;

UINT WINAPI FakeJoyGetNumDevs() {
    Log("joyGetNumDevs");
    return fakeInput.driverLimit;
}

HRESULT WINAPI FakeDirectInput8Create(HINSTANCE instance, DWORD version, REFIID iid, LPVOID* out, LPUNKNOWN outer) {
    Log("DirectInput8Create %s version=0x%04lx %s outer=%s", instance ? "instance" : "null", version,
        IsEqualGUID(iid, IID_IDirectInput8A) ? "IID_IDirectInput8A" : "other", outer ? "set" : "null");
    if (FAILED(fakeInput.create)) return fakeInput.create;
    *out = static_cast<IDirectInput8A*>(&directInput8);
    return DI_OK;
}

}  // namespace

// The seam: these stand where dinput8.dll and winmm.dll would.
FARPROC SystemFunction(const wchar_t* dll, const char* function) {
    if (!lstrcmpiW(dll, L"dinput8.dll") && !lstrcmpA(function, "DirectInput8Create"))
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeDirectInput8Create));
    if (!lstrcmpiW(dll, L"winmm.dll") && !lstrcmpA(function, "joyGetNumDevs"))
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeJoyGetNumDevs));
    return nullptr;
}

void ResetFakeInput(int pads) {
    fakeInput = FakeDirectInput();
    fakeInput.pads.resize(pads);
}

void PressButton(int pad, int button) { fakeInput.pads[pad].state.rgbButtons[button] = 0x80; }

void PushStick(int pad, LONG x, LONG y) {
    fakeInput.pads[pad].state.lX = x;
    fakeInput.pads[pad].state.lY = y;
}
