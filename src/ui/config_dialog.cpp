#include "ui/config_dialog.h"

#include <dbt.h>

#include "input/joystick_input.h"
#include "resource.h"
#include "ui/binding_editor.h"
#include "ui/dialog_view.h"

namespace {

const UINT_PTR TIMER_POLL = 0x7FFF;
const UINT POLL_PERIOD_MS = 60;

// Controllers come and go in bursts of notifications (a loose cable brings many in a
// row). The first of a burst lists them at once; the rest only restart the wait, after
// which they are listed once more if any came.
const UINT_PTR TIMER_DEVICES = 0x7FFE;
const UINT DEVICES_SETTLE_MS = 250;
bool devicesSettling;          // the wait runs
bool devicesChangedMeanwhile;  // a notification came during it
// {4D1E55B2-F16F-11CF-88CB-001111000030}: HID device interfaces, game controllers among them.
const GUID HID_INTERFACES = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
HDEVNOTIFY deviceNotification;

// UTF-16 for the wide window functions: right under every ANSI code page, not only 932.
const wchar_t PLAYER_FORMAT[] = L"プレイヤー%d";
const wchar_t SAVED_TEXT[] = L"更新完了";
const wchar_t SAVED_CAPTION[] = L"更新しました";
const wchar_t SAVE_FAILED_CAPTION[] = L"保存失敗";
// What a failed save says: why, and what the player can do.
const wchar_t FOLDER_DENIED_TEXT[] =
    L"このフォルダーに保存するには管理者の権限が必要です。\n"
    L"このツールを管理者として実行するか、ゲームを自分のフォルダー（ドキュメントなど）に移すと保存できます。";
const wchar_t READ_ONLY_TEXT[] =
    L"config.ini が読み取り専用になっています。\n"
    L"ファイルのプロパティで「読み取り専用」のチェックを外すと保存できます。";
const wchar_t IN_USE_TEXT[] =
    L"config.ini を別のプログラム（ゲームなど）が使っています。\n"
    L"そのプログラムを閉じてから、もう一度「これで決定」を押してください。";
const wchar_t SAVE_FAILED_TEXT[] = L"config.ini を保存できませんでした。\n";  // then the system's own words
// What a file that is there but cannot be read says: why, and what a confirm would do.
const wchar_t LOAD_FAILED_CAPTION[] = L"読み込み失敗";
const wchar_t LOAD_FAILED_TEXT[] = L"config.ini を読み込めませんでした。\n";  // then the system's own words
const wchar_t DEFAULTS_SHOWN_TEXT[] =
    L"\n初期設定を表示しています。「これで決定」を押すと、config.ini はこの内容で置き換えられます。";
// What a start in the temporary folder says: an archiver runs an exe from a zip there.
const wchar_t TEMPORARY_FOLDER_CAPTION[] = L"一時フォルダーからの起動";
const wchar_t TEMPORARY_FOLDER_TEXT[] =
    L"Quorvane は一時フォルダーから起動されています（zip の中から直接開いたときなど）。\n"
    L"ここに保存した config.ini はゲームに読まれず、いずれ削除されます。\n"
    L"Quorvane.exe をゲームのフォルダーにコピーして、そこで起動してください。";
// The notices asked for while the dialog is being made, still hidden: they come once it is up,
// one after the other, the folder's first. One post stands for all that are due, so that no
// second post reaches the dialog through the first box's loop and opens a box over it.
const UINT WM_START_NOTICES = WM_APP;
struct StartNotices {
    bool temporaryFolder;
    bool loadFailed;
    unsigned long loadError;
};
StartNotices startNotices;

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

// `path` in full, with long names for short ones (a TEMP variable often holds one) and no
// separator at its end; false when it cannot be resolved.
const DWORD FOLDER_CAPACITY = 1024;
bool Normalise(const wchar_t* path, wchar_t* normal) {
    wchar_t full[FOLDER_CAPACITY];
    DWORD length = GetFullPathNameW(path, FOLDER_CAPACITY, full, nullptr);
    if (length == 0 || length >= FOLDER_CAPACITY) return false;
    length = GetLongPathNameW(full, normal, FOLDER_CAPACITY);
    if (length == 0 || length >= FOLDER_CAPACITY) return false;
    while (length > 0 && (normal[length - 1] == L'\\' || normal[length - 1] == L'/')) normal[--length] = L'\0';
    return length > 0;
}

// Whether config.ini's folder, the current one, is the user's temporary folder or lies in it.
bool InTemporaryFolder() {
    wchar_t temp[FOLDER_CAPACITY], normalTemp[FOLDER_CAPACITY], here[FOLDER_CAPACITY];
    DWORD length = GetTempPathW(FOLDER_CAPACITY, temp);
    if (length == 0 || length >= FOLDER_CAPACITY || !Normalise(temp, normalTemp) || !Normalise(L".", here))
        return false;
    int tempLength = lstrlenW(normalTemp);
    if (lstrlenW(here) < tempLength || (here[tempLength] != L'\0' && here[tempLength] != L'\\')) return false;
    return CompareStringOrdinal(here, tempLength, normalTemp, tempLength, TRUE) == CSTR_EQUAL;
}

BOOL OnInitDialog(HWND dialog) {
    SetTimer(dialog, TIMER_POLL, POLL_PERIOD_MS, nullptr);
    startNotices = StartNotices();
    devicesSettling = false;
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
        wchar_t text[32];
        wsprintfW(text, PLAYER_FORMAT, player);  // user32's own: no printf in the exe
        SendMessageW(controls.playerList, CB_ADDSTRING, 0, (LPARAM)text);
    }
    SendMessageA(controls.playerList, CB_SETCURSEL, 0, 0);

    if (InTemporaryFolder()) ShowTemporaryFolderNotice();
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

// A notification can come while the controllers are being listed or read: DirectInput
// lets the window's sent messages through as it works. They are listed after the wait
// then, not inside that call.
void ListControllers(HWND dialog) {
    unsigned long setUpBefore = joystickInput.SetUpCount();
    if (joystickInput.Enumerate(dialog) == E_PENDING) {
        devicesChangedMeanwhile = true;
        SetTimer(dialog, TIMER_DEVICES, DEVICES_SETTLE_MS, nullptr);
        return;
    }
    // A player who plugs a controller in is pressing already: the next tick comes at
    // once, not up to a period later, and re-arms the usual period.
    if (joystickInput.SetUpCount() != setUpBefore) SetTimer(dialog, TIMER_POLL, USER_TIMER_MINIMUM, nullptr);
}

// Two listings per burst at most. The first, at once, is the player's: a pad plugged in
// reads on the next tick. The second catches what the system finished after it: on
// Windows a controller's driver may take longer than the first notification, and its
// interface arrives later. Of the structure only its header is read, which its ANSI and
// wide forms share (Wine hands every window the wide one).
BOOL OnDeviceChange(HWND dialog, WPARAM event, LPARAM data) {
    bool interfaceEvent = (event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE) && data &&
                          reinterpret_cast<const DEV_BROADCAST_HDR*>(data)->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
    if (event != DBT_DEVNODES_CHANGED && !interfaceEvent) return FALSE;
    SetTimer(dialog, TIMER_DEVICES, DEVICES_SETTLE_MS, nullptr);  // restarts a running wait
    if (devicesSettling) {
        devicesChangedMeanwhile = true;
    } else {
        devicesSettling = true;
        devicesChangedMeanwhile = false;
        ListControllers(dialog);
    }
    return TRUE;
}

BOOL OnDevicesSettled(HWND dialog) {
    KillTimer(dialog, TIMER_DEVICES);  // once per burst, never periodic
    if (devicesChangedMeanwhile) {
        devicesChangedMeanwhile = false;
        ListControllers(dialog);  // still settling: a notification during it waits again
    }
    devicesSettling = devicesChangedMeanwhile;
    return TRUE;
}

// The keys the dialog manager would turn into "これで決定" or "考え直す" (Enter, Esc, and
// the rare Execute and Ctrl+Break): a stray one must neither save nor close.
bool IsOkOrCancelKey(const MSG& message) {
    if (message.message != WM_KEYDOWN) return false;
    switch (message.wParam) {
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_EXECUTE:
    case VK_CANCEL: return true;
    }
    return false;
}

// `intro`, then the system's own words for `error` in the player's language ("Disk full.",
// say), without the line break the system ends them with.
void SystemMessageAfter(const wchar_t* intro, unsigned long error, wchar_t* text, int capacity) {
    lstrcpyW(text, intro);
    int length = lstrlenW(text);
    DWORD added = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                 text + length, (DWORD)(capacity - length), nullptr);
    if (added == 0) added = wsprintfW(text + length, L"(%lu)", error);
    for (wchar_t* end = text + length + added; end > text + length && end[-1] <= L' '; --end) end[-1] = L'\0';
}

BOOL OnStartNotices(HWND dialog) {
    StartNotices& due = startNotices;
    while (due.temporaryFolder || due.loadFailed) {
        if (due.temporaryFolder) {
            due.temporaryFolder = false;
            MessageBoxW(dialog, TEMPORARY_FOLDER_TEXT, TEMPORARY_FOLDER_CAPTION, MB_OK | MB_ICONWARNING);
            continue;
        }
        due.loadFailed = false;
        wchar_t text[512];
        SystemMessageAfter(LOAD_FAILED_TEXT, due.loadError, text, ARRAYSIZE(text) - ARRAYSIZE(DEFAULTS_SHOWN_TEXT));
        lstrcatW(text, DEFAULTS_SHOWN_TEXT);
        MessageBoxW(dialog, text, LOAD_FAILED_CAPTION, MB_OK | MB_ICONWARNING);
    }
    return TRUE;
}

}  // namespace

HWND CreateConfigDialog(HINSTANCE instance) {
    return CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, ConfigDialogProc, 0);
}

int RunMessageLoop() {
    // The dialog manager's keyboard (Tab, Shift+Tab, the arrows among the actions, Alt+↓
    // on the list), except those keys: they go to the focused control as they are.
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsOkOrCancelKey(message) && IsDialogMessageW(controls.dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_TIMER:
        if (wParam == TIMER_DEVICES) return OnDevicesSettled(dialog);
        // Re-armed before the tick's work: the next tick is due 60 ms after this one
        // began. A tick that runs longer is followed by one tick at once, never by a
        // burst, since the system never has two WM_TIMERs of one timer waiting.
        SetTimer(dialog, TIMER_POLL, POLL_PERIOD_MS, nullptr);
        OnTick();
        return TRUE;
    case WM_DEVICECHANGE:
        return OnDeviceChange(dialog, wParam, lParam);
    case WM_START_NOTICES:
        return OnStartNotices(dialog);
    case WM_CLOSE:
        OnCancel();
        return TRUE;
    case WM_DESTROY:
        UnregisterDeviceNotification(deviceNotification);
        // DirectInput's devices must not outlive their cooperative window acquired.
        joystickInput.Shutdown();
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

// The DialogView the editor asks for.

// The label is ANSI text and the control a Unicode window: converted here, over the text's
// own length, since the system's conversion takes the terminating zero as the second
// byte of a lone lead byte at the end (0x81..0x9F, 0xE0..0xFC in code page 932) and runs
// on past the text. Such a byte shows as the code page's default character.
void ShowLabel(ActionSlot slot, const char* text) {
    wchar_t wide[LABEL_CAPACITY + 1];
    int length = MultiByteToWideChar(CP_ACP, 0, text, lstrlenA(text), wide, LABEL_CAPACITY);
    wide[length] = L'\0';
    SetWindowTextW(controls.labels[slot], wide);
}

void SetRadioCheck(ActionSlot slot, bool on) {
    SendMessageA(controls.radios[slot], BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    if (!on) return;
    // The focus on an action follows the check, checked first: the dialog manager gives
    // the focus back to where it was when the dialog is activated again, and an action's
    // radio button that gets it unchecked reports a click, which would move the cursor
    // back to an action already set.
    HWND focus = GetFocus();
    for (HWND radio : controls.radios)
        if (radio == focus) SendMessageW(controls.dialog, WM_NEXTDLGCTL, (WPARAM)controls.radios[slot], TRUE);
}

void ShowSavedNotice() { MessageBoxW(controls.dialog, SAVED_TEXT, SAVED_CAPTION, MB_OK); }

namespace {
void StartNoticeDue(bool& notice) {
    if (!startNotices.temporaryFolder && !startNotices.loadFailed)
        PostMessageW(controls.dialog, WM_START_NOTICES, 0, 0);
    notice = true;
}
}  // namespace

void ShowLoadFailedNotice(unsigned long error) {
    startNotices.loadError = error;
    StartNoticeDue(startNotices.loadFailed);
}

void ShowTemporaryFolderNotice() { StartNoticeDue(startNotices.temporaryFolder); }

void ShowSaveFailedNotice(SaveResult result) {
    wchar_t text[512];
    switch (result.status) {
    case SAVE_FOLDER_DENIED: lstrcpyW(text, FOLDER_DENIED_TEXT); break;
    case SAVE_READ_ONLY: lstrcpyW(text, READ_ONLY_TEXT); break;
    case SAVE_IN_USE: lstrcpyW(text, IN_USE_TEXT); break;
    default: SystemMessageAfter(SAVE_FAILED_TEXT, result.error, text, ARRAYSIZE(text));
    }
    MessageBoxW(controls.dialog, text, SAVE_FAILED_CAPTION, MB_OK | MB_ICONERROR);
}

void CloseDialog() { DestroyWindow(controls.dialog); }
