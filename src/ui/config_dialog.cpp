#include "ui/config_dialog.h"

#include <dbt.h>

#include "input/joystick_input.h"
#include "resource.h"
#include "ui/binding_editor.h"
#include "ui/dialog_view.h"

namespace {

const UINT_PTR TIMER_POLL = 0x7FFF;
const UINT POLL_PERIOD_MS = 60;

// Controllers come and go in bursts of notifications; they are listed again once, a
// moment after the last one.
const UINT_PTR TIMER_DEVICES = 0x7FFE;
const UINT DEVICES_SETTLE_MS = 250;
// {4D1E55B2-F16F-11CF-88CB-001111000030}: HID device interfaces, game controllers among them.
const GUID HID_INTERFACES = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
HDEVNOTIFY deviceNotification;

// Code page 932 (Shift-JIS) bytes for the ANSI window functions.
const char PLAYER_FORMAT[] = "\x83\x76\x83\x8C\x83\x43\x83\x84\x81\x5B%d";  // "プレイヤー%d"
const char SAVED_TEXT[] = "\x8D\x58\x90\x56\x8A\xAE\x97\xB9";                // "更新完了"
const char SAVED_CAPTION[] = "\x8D\x58\x90\x56\x82\xB5\x82\xDC\x82\xB5\x82\xBD";  // "更新しました"
// "config.ini を保存できませんでした"
const char SAVE_FAILED_TEXT[] =
    "config.ini \x82\xF0\x95\xDB\x91\xB6\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD";
const char SAVE_FAILED_CAPTION[] = "\x95\xDB\x91\xB6\x8E\xB8\x94\x73";  // "保存失敗"

// Taken once at initialisation, for the dialog's lifetime.
struct DialogControls {
    HWND dialog;
    HWND labels[ACTION_COUNT];
    HWND radios[ACTION_COUNT];
    HWND playerList;
};
DialogControls controls;

// Without this, only DBT_DEVNODES_CHANGED reaches the dialog, not arrivals and removals.
void WatchDevices(HWND dialog) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = HID_INTERFACES;
    deviceNotification = RegisterDeviceNotificationW(dialog, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

BOOL OnInitDialog(HWND dialog) {
    SetTimer(dialog, TIMER_POLL, POLL_PERIOD_MS, nullptr);
    WatchDevices(dialog);
    controls.dialog = dialog;
    for (ActionSlot slot = 0; slot < ACTION_COUNT; ++slot) {
        controls.labels[slot] = GetDlgItem(dialog, IDC_LABEL_FIRST + slot);
        controls.radios[slot] = GetDlgItem(dialog, IDC_ACTION_FIRST + slot);
    }
    controls.playerList = GetDlgItem(dialog, IDC_PLAYER);
    SendMessageA(controls.radios[0], BM_SETCHECK, BST_CHECKED, 0);

    // The list sorts its items; these four sort in numeric order, so an item's index
    // is the player index.
    for (int player = 1; player <= PLAYER_COUNT; ++player) {
        char text[32];
        wsprintfA(text, PLAYER_FORMAT, player);  // user32's own: no printf in the exe
        SendMessageA(controls.playerList, CB_ADDSTRING, 0, (LPARAM)text);
    }
    SendMessageA(controls.playerList, CB_SETCURSEL, 0, 0);

    OnInit();
    return TRUE;  // the dialog manager picks the focus
}

BOOL OnCommand(int id, int notification) {
    if (id >= IDC_ACTION_FIRST && id < IDC_ACTION_FIRST + ACTION_COUNT) {
        OnSlotChosen(id - IDC_ACTION_FIRST);
        return TRUE;
    }
    switch (id) {
    case IDC_PLAYER:
        if (notification == CBN_SELCHANGE) OnPlayerChosen((int)SendMessageA(controls.playerList, CB_GETCURSEL, 0, 0));
        return TRUE;
    case IDOK:
        OnConfirm();
        return TRUE;
    case IDCANCEL:
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

// Every change of a burst restarts the wait. Of the structure only its header is read:
// Wine hands the wide one even to ANSI windows.
BOOL OnDeviceChange(HWND dialog, WPARAM event, LPARAM data) {
    bool interfaceEvent = (event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE) && data &&
                          reinterpret_cast<const DEV_BROADCAST_HDR*>(data)->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
    if (event != DBT_DEVNODES_CHANGED && !interfaceEvent) return FALSE;
    SetTimer(dialog, TIMER_DEVICES, DEVICES_SETTLE_MS, nullptr);
    return TRUE;
}

BOOL OnDevicesSettled(HWND dialog) {
    KillTimer(dialog, TIMER_DEVICES);  // once per burst, never periodic
    joystickInput.Enumerate(dialog);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_TIMER:
        if (wParam == TIMER_DEVICES) return OnDevicesSettled(dialog);
        // Re-armed every tick, so a slow tick never lets the next one queue up early.
        SetTimer(dialog, TIMER_POLL, POLL_PERIOD_MS, nullptr);
        OnTick();
        return TRUE;
    case WM_DEVICECHANGE:
        return OnDeviceChange(dialog, wParam, lParam);
    case WM_CLOSE:
        OnCancel();
        return TRUE;
    case WM_DESTROY:
        UnregisterDeviceNotification(deviceNotification);
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

// The DialogView the editor asks for.

void ShowLabel(ActionSlot slot, const char* text) { SetWindowTextA(controls.labels[slot], text); }

void SetRadioCheck(ActionSlot slot, bool on) {
    SendMessageA(controls.radios[slot], BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

void ShowSavedNotice() { MessageBoxA(controls.dialog, SAVED_TEXT, SAVED_CAPTION, MB_OK); }

void ShowSaveFailedNotice() {
    MessageBoxA(controls.dialog, SAVE_FAILED_TEXT, SAVE_FAILED_CAPTION, MB_OK | MB_ICONERROR);
}

void CloseDialog() { DestroyWindow(controls.dialog); }
