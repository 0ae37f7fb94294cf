// The eyes and hands of the real-stack tests: a console program in the same Wine
// session as Quorvane.exe that reads the dialog as a player sees it (labels, radio
// checks, the notice) and works it as a player does (player list, radio clicks, OK),
// and that opens controllers through DirectInput itself to report what Wine returns.
// Commands arrive on stdin, one a line; every command answers one line on stdout.
#define DIRECTINPUT_VERSION 0x0800
#include <windows.h>
#include <dinput.h>
#include <mmsystem.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "resource.h"

namespace {

const int SLOTS = 9;
const UINT WM_COMMAND_LINE = WM_APP + 1;
const wchar_t SAVED_TEXT[] = L"更新完了";
const wchar_t SAVED_CAPTION[] = L"更新しました";

IDirectInput8A* directInput;
IDirectInputDevice8A* device;
HWND frontWindow;

void Answer(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::putchar('\n');
    std::fflush(stdout);
}

// Wall-clock time in Unix nanoseconds, comparable with the driver's `date +%s%N`.
long long NowNs() {
    FILETIME time;
    GetSystemTimePreciseAsFileTime(&time);
    ULARGE_INTEGER ticks;
    ticks.LowPart = time.dwLowDateTime;
    ticks.HighPart = time.dwHighDateTime;
    return (long long)(ticks.QuadPart - 116444736000000000ULL) * 100;
}

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

HWND Dialog() { return FindWindowA("#32770", "Quorvane"); }

void Label(HWND dialog, int slot, char* text, int size) {
    text[0] = '\0';
    GetWindowTextA(GetDlgItem(dialog, IDC_LABEL_FIRST + slot), text, size);
}

BOOL CALLBACK CountDevice(const DIDEVICEINSTANCEA*, void* count) {
    ++*static_cast<int*>(count);
    return DIENUM_CONTINUE;
}

struct Pick {
    int wanted;
    GUID guid;
};

BOOL CALLBACK PickDevice(const DIDEVICEINSTANCEA* instance, void* context) {
    Pick& pick = *static_cast<Pick*>(context);
    if (--pick.wanted > 0) return DIENUM_CONTINUE;
    pick.guid = instance->guidInstance;
    return DIENUM_STOP;
}

int CountPads() {
    int count = 0;
    directInput->EnumDevices(DI8DEVCLASS_GAMECTRL, CountDevice, &count, DIEDFL_ATTACHEDONLY);
    return count;
}

// "pads N [MS]": waits up to MS (30000) until DirectInput lists N controllers.
void WaitForPads(int wanted, int timeoutMs) {
    int count = CountPads();
    for (int i = 0; i < timeoutMs / 100 && count != wanted; ++i) {
        Sleep(100);
        count = CountPads();
    }
    Answer("pads %d joyGetNumDevs %u", count, joyGetNumDevs());
}

void ShowState() {
    HWND dialog = Dialog();
    if (!dialog) return Answer("no dialog");
    char labels[SLOTS * 32] = "";
    int checked = -1;
    for (int slot = 0; slot < SLOTS; ++slot) {
        char text[32];
        Label(dialog, slot, text, sizeof text);
        std::strcat(labels, text);
        if (slot + 1 < SLOTS) std::strcat(labels, "|");
        if (SendMessageA(GetDlgItem(dialog, IDC_ACTION_FIRST + slot), BM_GETCHECK, 0, 0) == BST_CHECKED) {
            checked = checked == -1 ? slot : -2;  // -2: more than one
        }
    }
    Answer("labels %s check %d front %d", labels, checked, GetForegroundWindow() == dialog);
}

// "wait SLOT TEXT MS": polls the label every millisecond; answers the time it was seen.
void WaitForLabel(int slot, const char* wanted, int timeoutMs) {
    HWND dialog = Dialog();
    char text[32] = "";
    DWORD start = GetTickCount();
    do {
        if (dialog) Label(dialog, slot, text, sizeof text);
        if (std::strcmp(text, wanted) == 0) return Answer("seen %lld", NowNs());
        Sleep(1);
    } while (GetTickCount() - start < (DWORD)timeoutMs);
    Answer("timeout %s", text);
}

void ChoosePlayer(int player) {
    HWND dialog = Dialog();
    HWND list = GetDlgItem(dialog, IDC_PLAYER);
    SendMessageA(list, CB_SETCURSEL, player - 1, 0);
    // What the list tells its dialog when the user picks an entry.
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_PLAYER, CBN_SELCHANGE), (LPARAM)list);
    Answer("player %d", (int)SendMessageA(list, CB_GETCURSEL, 0, 0) + 1);
}

void ChooseSlot(int slot) {
    SendMessageA(GetDlgItem(Dialog(), IDC_ACTION_FIRST + slot), BM_CLICK, 0, 0);
    Answer("slot %d", slot);
}

// The message box the dialog shows, if one is up.
HWND NoticeOf(HWND dialog) {
    for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", nullptr));) {
        if (box != dialog && GetWindow(box, GW_OWNER) == dialog) return box;
    }
    return nullptr;
}

// "confirm": clicks "これで決定", reads the notice and dismisses it.
void Confirm() {
    HWND dialog = Dialog();
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    HWND box = nullptr;
    for (int i = 0; i < 500 && !box; ++i) {
        Sleep(10);
        box = NoticeOf(dialog);
    }
    if (!box) return Answer("no notice");
    // The box is found as soon as it exists; its caption and text are set a moment later.
    wchar_t caption[64] = L"", text[512] = L"";
    for (int i = 0; i < 100 && !(caption[0] && text[0]); ++i) {
        if (i) Sleep(10);
        GetWindowTextW(box, caption, 64);
        GetDlgItemTextW(box, 0xFFFF, text, 512);
    }
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    if (std::wcscmp(caption, SAVED_CAPTION) == 0 && std::wcscmp(text, SAVED_TEXT) == 0) return Answer("notice saved");
    char shown[1024] = "";
    int length = WideCharToMultiByte(CP_UTF8, 0, caption, -1, shown, 256, nullptr, nullptr);
    if (length > 0) shown[length - 1] = '|';
    WideCharToMultiByte(CP_UTF8, 0, text, -1, shown + length, (int)sizeof shown - length, nullptr, nullptr);
    for (char* c = shown; *c; ++c)
        if (*c == '\n' || *c == '\r') *c = ' ';  // one answer, one line
    Answer("notice other: %s", shown);
}

// Puts a window of the probe's own in front of the dialog.
bool BringFront() {
    if (!frontWindow) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "RealpadFront";
        RegisterClassA(&windowClass);
        frontWindow = CreateWindowA("RealpadFront", "realpad front", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                    400, 300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    SetForegroundWindow(frontWindow);
    for (int i = 0; i < 50 && GetForegroundWindow() != frontWindow; ++i) {
        Pump();
        Sleep(10);
    }
    Pump();
    return GetForegroundWindow() == frontWindow;
}

// "back": gives the foreground back to the dialog.
void GiveBack() {
    HWND dialog = Dialog();
    SetForegroundWindow(dialog);
    for (int i = 0; i < 50 && GetForegroundWindow() != dialog; ++i) {
        Pump();
        Sleep(10);
    }
    Pump();
    Answer("front %d", GetForegroundWindow() == dialog);
}

// "open N": controller N for the probe's own window, set up as the program sets up its own.
void OpenPad(int n) {
    if (!BringFront()) return Answer("not in front");
    Pick pick = {n, GUID()};
    directInput->EnumDevices(DI8DEVCLASS_GAMECTRL, PickDevice, &pick, DIEDFL_ATTACHEDONLY);
    if (pick.wanted > 0) return Answer("no pad %d", n);
    if (device) device->Release();
    device = nullptr;
    HRESULT result = directInput->CreateDevice(pick.guid, &device, nullptr);
    if (SUCCEEDED(result)) result = device->SetDataFormat(&c_dfDIJoystick);
    if (SUCCEEDED(result)) result = device->SetCooperativeLevel(frontWindow, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    if (SUCCEEDED(result)) {
        DIPROPRANGE range = {};
        range.diph.dwSize = sizeof range;
        range.diph.dwHeaderSize = sizeof range.diph;
        range.diph.dwHow = DIPH_DEVICE;
        range.lMin = -1000;
        range.lMax = 1000;
        result = device->SetProperty(DIPROP_RANGE, &range.diph);
    }
    if (SUCCEEDED(result)) result = device->Acquire();
    Answer("open %08lx", (unsigned long)result);
}

// "read": one Poll and GetDeviceState of the opened controller, as the program does.
void ReadPad() {
    if (!device) return Answer("not open");
    Pump();
    HRESULT poll = device->Poll();
    DIJOYSTATE state = {};
    HRESULT read = device->GetDeviceState(sizeof state, &state);
    HRESULT acquire = device->Acquire();
    Answer("poll %08lx state %08lx acquire %08lx x %ld y %ld b0 %d", (unsigned long)poll, (unsigned long)read,
           (unsigned long)acquire, state.lX, state.lY, (state.rgbButtons[0] & 0x80) != 0);
}

void Run(const char* line) {
    char verb[16] = "", text[64] = "";
    int a = 0, b = 0;
    std::sscanf(line, "%15s", verb);
    if (std::strcmp(verb, "pads") == 0 && std::sscanf(line, "%*s %d", &a) == 1) {
        return WaitForPads(a, std::sscanf(line, "%*s %*d %d", &b) == 1 ? b : 30000);
    }
    if (std::strcmp(verb, "state") == 0) return ShowState();
    if (std::strcmp(verb, "wait") == 0 && std::sscanf(line, "%*s %d %63s %d", &a, text, &b) == 3) {
        return WaitForLabel(a, text, b);
    }
    if (std::strcmp(verb, "player") == 0 && std::sscanf(line, "%*s %d", &a) == 1) return ChoosePlayer(a);
    if (std::strcmp(verb, "slot") == 0 && std::sscanf(line, "%*s %d", &a) == 1) return ChooseSlot(a);
    if (std::strcmp(verb, "confirm") == 0) return Confirm();
    if (std::strcmp(verb, "front") == 0) return Answer("front %d", BringFront());
    if (std::strcmp(verb, "back") == 0) return GiveBack();
    if (std::strcmp(verb, "open") == 0 && std::sscanf(line, "%*s %d", &a) == 1) return OpenPad(a);
    if (std::strcmp(verb, "read") == 0) return ReadPad();
    Answer("unknown command: %s", line);
}

// Reads stdin on its own thread, so the main thread keeps serving its window.
DWORD WINAPI ReadCommands(void* mainThread) {
    char line[256];
    while (std::fgets(line, sizeof line, stdin)) {
        line[std::strcspn(line, "\r\n")] = '\0';
        PostThreadMessageA((DWORD)(ULONG_PTR)mainThread, WM_COMMAND_LINE, 0, (LPARAM)_strdup(line));
    }
    PostThreadMessageA((DWORD)(ULONG_PTR)mainThread, WM_QUIT, 0, 0);
    return 0;
}

}  // namespace

int main() {
    if (FAILED(DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                  reinterpret_cast<void**>(&directInput), nullptr))) {
        Answer("no DirectInput");
        return 1;
    }
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists before the reader posts
    CreateThread(nullptr, 0, ReadCommands, (void*)(ULONG_PTR)GetCurrentThreadId(), 0, nullptr);
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_COMMAND_LINE && !message.hwnd) {
            char* line = (char*)message.lParam;
            Run(line);
            std::free(line);
        } else {
            DispatchMessageA(&message);
        }
    }
    return 0;
}
