// The real dialog from the real template, driven in-process by the messages a user's
// clicks send, with fake controllers behind DirectInput.
#include "ui/config_dialog.h"

#include <dbt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>

#include "fakes/fake_dinput.h"
#include "fakes/flush_seam.h"
#include "input/joystick_input.h"
#include "resource.h"
#include "fresh_folder.h"
#include "ui/binding_editor.h"

namespace {

using Strings = std::vector<std::string>;
using WideStrings = std::vector<std::wstring>;

// Every text of the system's own is read back as UTF-16, as the player's Windows shows
// it whatever its ANSI code page (these tests run under 932 and under 1252).
const std::wstring SAVED_NOTICE = L"更新しました|更新完了";
const std::wstring FAILED = L"保存失敗|";

// The controls of the template, in its order: what the dialog is built from.
struct TemplateControl {
    DWORD id;
    std::u16string className;
    DWORD style;
    short x, y, cx, cy;
    std::u16string text;
};
const DWORD RADIO = BS_AUTORADIOBUTTON, LABEL = SS_LEFT | WS_GROUP;
const TemplateControl TEMPLATE_CONTROLS[] = {
    {IDOK, u"button", BS_DEFPUSHBUTTON | WS_TABSTOP, 85, 124, 69, 14, u"これで決定"},
    {IDCANCEL, u"button", BS_PUSHBUTTON | WS_TABSTOP, 173, 124, 70, 14, u"考え直す"},
    {1008, u"button", RADIO | WS_GROUP, 23, 38, 24, 10, u"上"},
    {1009, u"button", RADIO, 79, 38, 24, 10, u"下"},
    {1010, u"button", RADIO, 137, 38, 24, 10, u"左"},
    {1011, u"button", RADIO, 199, 38, 24, 10, u"右"},
    {1012, u"button", RADIO, 23, 72, 58, 10, u"爆弾設置(A)"},
    {1013, u"button", RADIO, 79, 72, 52, 10, u"パンチ等(Y)"},
    {1014, u"button", RADIO, 137, 72, 59, 10, u"方向転換等(X)"},
    {1015, u"button", RADIO, 199, 72, 39, 10, u"ボム(B)"},
    {1016, u"button", RADIO, 255, 72, 62, 10, u"ポーズ(START)"},
    {1021, u"static", LABEL, 23, 52, 50, 8, u"スタティック"},
    {1022, u"static", LABEL, 79, 52, 46, 8, u"スタティック"},
    {1023, u"static", LABEL, 137, 52, 51, 8, u"スタティック"},
    {1024, u"static", LABEL, 199, 52, 49, 8, u"スタティック"},
    {1025, u"static", LABEL, 23, 87, 47, 8, u"スタティック"},
    {1026, u"static", LABEL, 79, 87, 49, 8, u"スタティック"},
    {1027, u"static", LABEL, 137, 87, 53, 8, u"スタティック"},
    {1028, u"static", LABEL, 199, 87, 51, 8, u"スタティック"},
    {1029, u"static", LABEL, 256, 87, 51, 8, u"スタティック"},
    {1005, u"combobox", CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 252, 38, 66, 48, u""},
    {0xFFFFFFFF, u"button", BS_GROUPBOX, 14, 17, 311, 93, u"プレイヤー"},
};

HWND dialog;

// Message boxes are read and dismissed as they appear: "caption|text".
WideStrings notices;
LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t className[32] = L"";
    // A box is activated again when another program's window on the display took the
    // focus from it for a moment: it is read once.
    if (code == HCBT_ACTIVATE && GetWindow(box, GW_OWNER) == dialog && dialog &&
        GetClassNameW(box, className, 32) && std::wcscmp(className, L"#32770") == 0 && !GetPropW(box, L"read")) {
        SetPropW(box, L"read", box);
        wchar_t caption[128] = L"", text[512] = L"";
        GetWindowTextW(box, caption, 128);
        GetDlgItemTextW(box, 0xFFFF, text, 512);  // a message box's text control
        HWND other = GetWindow(box, GW_HWNDFIRST);  // another box of the dialog's still up
        while (other && (other == box || GetWindow(other, GW_OWNER) != dialog)) other = GetWindow(other, GW_HWNDNEXT);
        notices.push_back(std::wstring(other ? L"over another box: " : L"") + caption + L"|" + text);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The system's own words for an error, in the language of the run, on one line.
std::wstring SystemMessage(DWORD error) {
    wchar_t text[256] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 256, nullptr);
    std::wstring message = text;
    return message.substr(0, message.find_last_not_of(L" \r\n") + 1);
}

// The dialog's wait after a device change: how many times it has ended.
const UINT_PTR TIMER_DEVICES = 0x7FFE;
int deviceWaitsEnded;

// Runs a loop like the program's until `done` or the timeout. The tests' timeouts guard
// against a hang only: a busy machine may take that long.
const DWORD EVENTUALLY_MS = 10000;
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) PostQuitMessage((int)message.wParam);  // keep it for the test
            if (message.message == WM_QUIT) return done();
            if (message.message == WM_TIMER && message.hwnd == dialog && message.wParam == TIMER_DEVICES)
                ++deviceWaitsEnded;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    }
    return true;
}

class Dialog : public InFreshFolder {
protected:
    void SetUp() override {
        InFreshFolder::SetUp();
        dialog = nullptr;
        notices.clear();
        BYTE noKeys[256] = {};
        SetKeyboardState(noKeys);
        hook_ = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    }
    void TearDown() override {
        // Every window the test left, a dialog that failed to close too: one left
        // unpainted would hand out WM_PAINT for ever.
        EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM) { return DestroyWindow(window); }, 0);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {}
        UnhookWindowsHookEx(hook_);
        InFreshFolder::TearDown();
    }

    // Opens the dialog as the program does, with `pads` fake controllers attached.
    void Open(int pads = 0) {
        ResetFakeInput(pads);
        joystickInput = JoystickInput();
        bindingEditor = BindingEditor{};
        HINSTANCE instance = GetModuleHandleA(nullptr);
        dialog = CreateConfigDialog(instance);
        ASSERT_NE(dialog, nullptr);
        ShowWindow(dialog, SW_SHOW);
        UpdateWindow(dialog);
        ASSERT_EQ(joystickInput.Initialize(instance, dialog), 0);
    }

    static std::string Text(int id) {
        char text[64] = "";
        GetDlgItemTextA(dialog, id, text, sizeof text);
        return text;
    }
    static std::wstring WideText(HWND window) {
        wchar_t text[64] = L"";
        GetWindowTextW(window, text, 64);
        return text;
    }
    static Strings Labels() {
        Strings labels;
        for (int slot = 0; slot < ACTION_COUNT; ++slot) labels.push_back(Text(IDC_LABEL_FIRST + slot));
        return labels;
    }
    static int CheckedSlot() {
        int checked = -1;
        for (int slot = 0; slot < ACTION_COUNT; ++slot) {
            if (IsDlgButtonChecked(dialog, IDC_ACTION_FIRST + slot) == BST_CHECKED) {
                EXPECT_EQ(checked, -1) << "two radio buttons checked";
                checked = slot;
            }
        }
        return checked;
    }
    static void Click(int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
    static void ChoosePlayer(int index) {
        HWND list = GetDlgItem(dialog, IDC_PLAYER);
        SendMessageA(list, CB_SETCURSEL, index, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_PLAYER, CBN_SELCHANGE), (LPARAM)list);
    }
    static bool Closed() { return !IsWindow(dialog); }

private:
    HHOOK hook_;
};

// Player 2's keys as a Japanese (932) and an English (1252) Windows shows them: a lone
// lead byte of 932 is its default character alone, though a longer label came just before.
const struct { unsigned char code; std::wstring japanese, english; } PLAYER_2_KEYS[] = {
    {0x90, L"KEY_NUM_LOCK", L"KEY_NUM_LOCK"}, {0x81, L"KEY_・", L"KEY_\x81"}, {0x11, L"KEY_CONTROL", L"KEY_CONTROL"},
    {0xE0, L"KEY_・", L"KEY_à"}, {0x2E, L"KEY_DELETE", L"KEY_DELETE"}, {0xFC, L"KEY_・", L"KEY_ü"},
    {0xB1, L"KEY_ｱ", L"KEY_±"}, {0x80, L"KEY_\x80", L"KEY_€"}, {0xFF, L"KEY_\xF8F3", L"KEY_ÿ"}};

TEST_F(Dialog, StartsFromTheFileWithPlayer1AndTheFirstActionChosen) {
    std::vector<unsigned char> file(74);
    file[0] = 4;
    file[1] = 9;
    for (int slot = 0; slot < ACTION_COUNT; ++slot) {
        file[2 + 2 * slot] = 1;
        file[3 + 2 * slot] = (unsigned char)slot;
        file[21 + 2 * slot] = PLAYER_2_KEYS[slot].code;
    }
    WriteFile("config.ini", file);
    Open();

    EXPECT_EQ(Labels(), (Strings{"JOY1_UP", "JOY1_DOWN", "JOY1_RIGHT", "JOY1_LEFT", "JOY1_B1", "JOY1_B2", "JOY1_B3",
                                 "JOY1_B4", "JOY1_B5"}));
    EXPECT_EQ(CheckedSlot(), 0);
    HWND list = GetDlgItem(dialog, IDC_PLAYER);
    ASSERT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 4);
    for (int i = 0; i < 4; ++i) {
        wchar_t item[32] = L"";
        SendMessageW(list, CB_GETLBTEXT, i, (LPARAM)item);
        EXPECT_EQ(item, L"プレイヤー" + std::to_wstring(i + 1));
    }
    EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 0);

    ChoosePlayer(1);
    for (const auto& key : PLAYER_2_KEYS)
        EXPECT_EQ(WideText(GetDlgItem(dialog, IDC_LABEL_FIRST + int(&key - PLAYER_2_KEYS))),
                  GetACP() == 932 ? key.japanese : key.english);
}

TEST_F(Dialog, EveryCaptionReadsAsTheTemplatesJapanese) {
    Open();
    EXPECT_EQ(WideText(dialog), L"Quorvane");
    for (const TemplateControl& control : TEMPLATE_CONTROLS) {
        // The labels are replaced at once; the list shows its selection (checked above).
        if (control.className != u"button") continue;
        SCOPED_TRACE(control.id);
        std::wstring expected(control.text.begin(), control.text.end());
        EXPECT_EQ(WideText(GetDlgItem(dialog, (int)control.id)), expected);
    }
}

HANDLE heldConfig;
void HoldConfigAlone() { heldConfig = CreateFileA("config.ini", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr); }
void LetGoOfConfig() { CloseHandle(heldConfig), heldConfig = nullptr; }

// Started in another folder, with the same config.ini; each row ends back in the test's own.
std::filesystem::path home, away;
void StartIn(const std::wstring& folder) {
    home = std::filesystem::current_path(), away = folder;
    std::filesystem::create_directories(away), std::filesystem::copy_file("config.ini", away / "config.ini");
    std::filesystem::current_path(away);
}
wchar_t tempPath[MAX_PATH];
const std::wstring TEMP(tempPath, GetTempPathW(MAX_PATH, tempPath));  // ends with its separator
const std::wstring ZIP = L"Temp1_Quorvane-" + std::to_wstring(ProcessId()) + L".zip";

// A config.ini of one binding as the dialog opens: another program holding it for a moment is
// waited for; one that keeps it gives the defaults and a notice before the first tick. Started
// from inside a zip, in the temporary folder, the dialog says the file would be lost.
TEST_F(Dialog, TheNoticesAtTheStartSayWhyTheFileIsUnreadOrWouldBeLost) {
    const std::wstring told = L"読み込み失敗|config.ini を読み込めませんでした。\n" + SystemMessage(ERROR_SHARING_VIOLATION) +
                              L"\n初期設定を表示しています。「これで決定」を押すと、config.ini はこの内容で置き換えられます。";
    const std::wstring inTemp = L"一時フォルダーからの起動|Quorvane は一時フォルダーから起動されています（zip の中から直接開いたときなど）。\n"
                                L"ここに保存した config.ini はゲームに読まれず、いずれ削除されます。\n"
                                L"Quorvane.exe をゲームのフォルダーにコピーして、そこで起動してください。";
    const struct { const char* what; void (*place)(); const char* first; WideStrings notices; } rows[] = {
        {"no file", [] { DeleteFileA("config.ini"); }, "KEY_A", {}},
        {"held without sharing for a moment", [] { HoldConfigAlone(), duringPause = LetGoOfConfig; }, "JOY1_B1", {}},
        {"held without sharing for good", HoldConfigAlone, "KEY_A", {told}},
        {"in the temporary folder", [] { StartIn(TEMP + ZIP); }, "JOY1_B1", {inTemp}},
        {"there, held for good", [] { StartIn(TEMP + ZIP), HoldConfigAlone(); }, "KEY_A", {inTemp, told}},
        {"beside it, named like it", [] { StartIn(TEMP.substr(0, TEMP.size() - 1) + ZIP); }, "JOY1_B1", {}},
    };
    MSG quit;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        WriteFile("config.ini", {4, 9, 1, 4});
        row.place();
        notices.clear();
        Open(1);
        EXPECT_TRUE(PumpUntil([] { return fakeInput.pads[0].reads > 0; }, EVENTUALLY_MS));
        LetGoOfConfig();
        EXPECT_EQ(Labels(), (Strings{row.first, "KEY_B", "KEY_C", "KEY_D", "KEY_E", "KEY_F", "KEY_G", "KEY_H", "KEY_I"}));
        EXPECT_EQ(notices, row.notices);
        DestroyWindow(dialog);
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // for the next row's loop
        if (!away.empty()) std::filesystem::current_path(home), std::filesystem::remove_all(away), away.clear();
    }
}

TEST_F(Dialog, ClicksChooseTheActionAndPlayerAndTheTimerAssigns) {
    Open(3);
    PushStick(1, 0, 1000);  // controller 2's Y rests at its end, as a wheel's pedal does
    BindingAt(2, 0) = Binding{3, 1};
    Strings before = Labels();
    Click(IDC_ACTION_FIRST + 7);  // "ボム(B)"
    EXPECT_EQ(CheckedSlot(), 7);
    EXPECT_EQ(Labels(), before);

    ChoosePlayer(2);  // "プレイヤー3"
    EXPECT_EQ(Labels()[0], "JOY3_DOWN");
    EXPECT_EQ(CheckedSlot(), 7);

    // Controller 1 is not player 3's: the ticks pass and nothing changes.
    PressButton(0, 3);
    int reads = fakeInput.pads[0].reads;
    EXPECT_TRUE(PumpUntil([reads] { return fakeInput.pads[0].reads > reads + 2; }, EVENTUALLY_MS));
    EXPECT_EQ(Labels()[7], "KEY_H");

    // Controller 3 presses its fourth button, then its fifth: the next tick assigns each,
    // and controller 2's resting axis neither comes first nor holds the latch.
    fakeInput.pads[0].state = DIJOYSTATE{};
    PressButton(2, 3);
    EXPECT_TRUE(PumpUntil([] { return Text(IDC_LABEL_FIRST + 7) == "JOY3_B4"; }, EVENTUALLY_MS));
    EXPECT_EQ(CheckedSlot(), 8);
    EXPECT_EQ(BindingAt(2, 7), (Binding{3, 7}));
    fakeInput.pads[2].state = DIJOYSTATE{};
    EXPECT_TRUE(PumpUntil([] { return !bindingEditor.latch; }, EVENTUALLY_MS));
    PressButton(2, 4);
    EXPECT_TRUE(PumpUntil([] { return Text(IDC_LABEL_FIRST + 8) == "JOY3_B5"; }, EVENTUALLY_MS));
}

// Controllers plugged in or out while the dialog is up: the device notifications a test
// sends, and how often the controllers are listed again, right after each "count". A
// burst's first notification lists them at once, the rest restart the settle wait,
// after which they are listed once more only if any came; another kind of device (a
// volume) is no reason to list them. Nothing here depends on how soon a timer fires.
//   nodes, arrival, removal, volume   one WM_DEVICECHANGE (the last with a volume's header)
//   settles     the dialog runs until its wait has ended (since the last "settles")
//   quiet       no wait is left running, so nothing more comes of this burst
//   count N     listings since the dialog opened
//   plug        a second controller attached, its third button held, before the next listing
//   binds       it binds for player 2
//   paced       the poll timer keeps its 60 ms period: over a stretch, no more reads of the
//               second controller than two a period (a busy machine only makes fewer)
//   acquiring   the next Acquire lets a DBT_DEVNODES_CHANGED through, as Wine's does
//   ticking     the same after a tick it let through, which read the controllers inside
//   lost        controller 1 unplugged: its reads fail until a tick acquires it again
// The row's own notifications only: one that the system sends meanwhile, from another
// thread, would be listed too and is not the row's to count.
WNDPROC dialogProc;
LRESULT CALLBACK RowsOwnNotificationsOnly(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE && InSendMessage()) return TRUE;
    return CallWindowProcW(dialogProc, window, message, wParam, lParam);
}

TEST_F(Dialog, DeviceNotificationsListTheControllersAtOnceAndOnceMoreAfterTheWait) {
    const struct {
        const char* what;
        const char* steps;
    } rows[] = {
        {"a volume arrival", "volume; count 0; quiet"},
        {"one notification", "arrival; count 1; settles; count 1; quiet"},
        {"a removal alone", "removal; count 1; settles; count 1; quiet"},
        {"DBT_DEVNODES_CHANGED alone", "nodes; count 1; settles; count 1; quiet"},
        {"a plug's burst", "plug; nodes; count 1; arrival; nodes; count 1; binds; paced; settles; count 2; quiet"},
        {"two bursts farther apart than the wait", "arrival; settles; count 1; removal; count 2; settles; count 2; quiet"},
        {"a burst after one listed twice lists at once",
         "nodes; arrival; settles; count 2; quiet; removal; count 3; settles; count 3; quiet"},
        // Not inside the call that is using the controllers: once more after the wait.
        {"a notification while a tick acquires a lost controller", "acquiring; lost; count 0; settles; count 1; quiet"},
        {"a notification after a tick inside that tick", "ticking; lost; count 0; settles; count 1; quiet"},
        {"a notification while the second listing sets a controller up",
         "nodes; arrival; plug; acquiring; settles; count 2; binds; settles; count 3; quiet"},
    };
    auto listings = [] {
        return (int)std::count(fakeInput.log.begin(), fakeInput.log.end(), "EnumDevices type=4 flags=1");
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (IsWindow(dialog)) DestroyWindow(dialog);
        MSG quit;  // the last row's dialog posted it
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        Open(1);
        dialogProc = (WNDPROC)SetWindowLongPtrW(dialog, GWLP_WNDPROC, (LONG_PTR)RowsOwnNotificationsOnly);
        ChoosePlayer(1);
        int before = listings();
        int waitsEnded = deviceWaitsEnded = 0;
        DEV_BROADCAST_HDR hid = {sizeof hid, DBT_DEVTYP_DEVICEINTERFACE, 0};
        DEV_BROADCAST_HDR volume = {sizeof volume, DBT_DEVTYP_VOLUME, 0};
        std::string steps = row.steps;
        for (size_t at = 0; at < steps.size();) {
            size_t next = std::min(steps.find(';', at), steps.size());
            char verb[16] = "";
            int n = 0;
            std::sscanf(steps.substr(at, next - at).c_str(), " %15s %d", verb, &n);
            at = next + 1;
            std::string step = verb;
            SCOPED_TRACE(step + " " + std::to_string(n));
            if (step == "nodes") {
                SendMessageW(dialog, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
            } else if (step == "arrival") {
                SendMessageW(dialog, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)&hid);
            } else if (step == "removal") {
                SendMessageW(dialog, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, (LPARAM)&hid);
            } else if (step == "volume") {
                SendMessageW(dialog, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)&volume);
            } else if (step == "settles") {
                EXPECT_TRUE(PumpUntil([&] { return deviceWaitsEnded > waitsEnded; }, EVENTUALLY_MS));
                waitsEnded = deviceWaitsEnded;
            } else if (step == "quiet") {
                EXPECT_FALSE(KillTimer(dialog, TIMER_DEVICES)) << "the wait's timer outlives it";
            } else if (step == "count") {
                EXPECT_EQ(listings() - before, n);
            } else if (step == "plug") {
                fakeInput.pads.resize(2);
                PressButton(1, 2);
            } else if (step == "acquiring" || step == "ticking") {
                fakeInput.duringAcquire = [step] {
                    if (step == "ticking") SendMessageW(dialog, WM_TIMER, 0x7FFF, 0);
                    SendMessageW(dialog, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
                };
            } else if (step == "lost") {
                fakeInput.pads[0].attached = false;
                fakeInput.pads[0].poll = DIERR_INPUTLOST;
                EXPECT_TRUE(PumpUntil([] { return fakeInput.pads[0].acquires > 1; }, EVENTUALLY_MS));
            } else if (step == "paced") {
                int reads = fakeInput.pads[1].reads;
                DWORD start = GetTickCount();
                PumpUntil([] { return false; }, 600);
                EXPECT_LE(fakeInput.pads[1].reads - reads, 2 * (int)((GetTickCount() - start) / 60 + 2));
            } else if (step == "binds") {
                EXPECT_TRUE(PumpUntil([] { return Text(IDC_LABEL_FIRST) == "JOY2_B3"; }, EVENTUALLY_MS));
                EXPECT_EQ(CheckedSlot(), 1);
            } else {
                ADD_FAILURE() << "no step " << step;
            }
        }
        for (const std::string& call : fakeInput.log) EXPECT_EQ(call.find("freed"), std::string::npos) << call;
    }
}

TEST_F(Dialog, ConfirmSavesShowsTheNoticeAndCloses) {
    Open(1);
    PressButton(0, 0);
    ASSERT_TRUE(PumpUntil([] { return Text(IDC_LABEL_FIRST) == "JOY1_B1"; }, EVENTUALLY_MS));

    Click(IDOK);
    EXPECT_EQ(notices, WideStrings{SAVED_NOTICE});
    EXPECT_TRUE(Closed());
    std::vector<unsigned char> file = ReadFile("config.ini");
    ASSERT_EQ(file.size(), 74u);
    EXPECT_EQ(file[2], 1);
    EXPECT_EQ(file[3], 4);
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// Every failed save says why and what to do; the dialog, its edits and the old file stay.
TEST_F(Dialog, AFailedSaveSaysWhyAndTheDialogStays) {
    struct Failure {
        const char* what;
        void (*place)();
        void (*clear)();
        std::wstring notice;
    };
    const Failure failures[] = {
        {"a protected folder", EnterProtectedFolder, LeaveProtectedFolder,
         FAILED + L"このフォルダーに保存するには管理者の権限が必要です。\n"
                  L"このツールを管理者として実行するか、ゲームを自分のフォルダー（ドキュメントなど）に移すと保存できます。"},
        {"a read-only config.ini", [] { SetFileAttributesA("config.ini", FILE_ATTRIBUTE_READONLY); },
         [] { SetFileAttributesA("config.ini", FILE_ATTRIBUTE_NORMAL); },
         FAILED + L"config.ini が読み取り専用になっています。\n"
                  L"ファイルのプロパティで「読み取り専用」のチェックを外すと保存できます。"},
        {"config.ini held open by another program",
         [] {
             heldConfig = CreateFileA("config.ini", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
         },
         [] { CloseHandle(heldConfig); },
         FAILED + L"config.ini を別のプログラム（ゲームなど）が使っています。\n"
                  L"そのプログラムを閉じてから、もう一度「これで決定」を押してください。"},
        {"a full disk", [] { flushFails = true; }, [] { flushFails = false; },
         FAILED + L"config.ini を保存できませんでした。\n" + SystemMessage(ERROR_DISK_FULL)},
    };
    const std::vector<unsigned char> old = {4, 9, 1, 7};
    WriteFile("config.ini", old);
    Open(1);
    PressButton(0, 0);
    ASSERT_TRUE(PumpUntil([] { return Text(IDC_LABEL_FIRST) == "JOY1_B1"; }, EVENTUALLY_MS));
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.what);
        notices.clear();
        failure.place();
        Click(IDOK);
        failure.clear();
        EXPECT_EQ(notices, WideStrings{failure.notice});
        EXPECT_FALSE(Closed());
        EXPECT_EQ(ReadFile("config.ini"), old);
        EXPECT_EQ(Text(IDC_LABEL_FIRST), "JOY1_B1");
    }
    EXPECT_FALSE(SystemMessage(ERROR_DISK_FULL).empty());

    // Once the way is clear, the same edits are saved.
    notices.clear();
    Click(IDOK);
    EXPECT_EQ(notices, WideStrings{SAVED_NOTICE});
    std::vector<unsigned char> file = ReadFile("config.ini");
    ASSERT_EQ(file.size(), 74u);
    EXPECT_EQ(file[3], 4);
}

TEST_F(Dialog, CancelAndTheCloseBoxWriteNothing) {
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "cancel");
        Open(1);
        PressButton(0, 0);
        ASSERT_TRUE(PumpUntil([] { return Text(IDC_LABEL_FIRST) == "JOY1_B1"; }, EVENTUALLY_MS));
        if (closeBox)
            SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            Click(IDCANCEL);
        EXPECT_TRUE(Closed());
        EXPECT_EQ(notices, WideStrings{});
        EXPECT_FALSE(std::filesystem::exists("config.ini"));
        // DirectInput's rule: no device outlives its cooperative window acquired.
        EXPECT_EQ(Strings(fakeInput.log.end() - 3, fakeInput.log.end()),
                  (Strings{"pad0 Unacquire", "pad0 Release", "DirectInput Release"}));
        MSG quit;
        EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
}

// The keyboard, through the program's own loop: each key goes to the control that has
// the focus then, as the system sends it, step after step from "これで決定" on. After each
// step: the control with the focus (0: the dialog closed), the action and player chosen,
// and whether the list is open. Enter and Esc (and the rare Execute and Ctrl+Break)
// neither save nor close, wherever they go. "press": controller 1's button bound and let
// go; "away": another window in front, then the dialog again.
TEST_F(Dialog, TheKeyboardReachesEveryControlButEnterAndEscDoNothing) {
    const struct {
        const char* keys;
        int focus, cursor, player;
        bool listOpen;
    } steps[] = {
        {"press", IDOK, 1, 0, false},                           // the check moves, the focus stays
        {"tab tab", IDC_ACTION_FIRST + 1, 1, 0, false},         // the chosen action
        {"right right", IDC_ACTION_FIRST + 3, 3, 0, false},     // an arrow chooses the next
        {"press press", IDC_ACTION_FIRST + 5, 5, 0, false},     // the focus follows the check
        {"away", IDC_ACTION_FIRST + 5, 5, 0, false},            // and comes back to it
        {"left left left left left left", IDC_ACTION_FIRST + 8, 8, 0, false},  // from the first, the last
        {"tab down", IDC_PLAYER, 8, 1, false},                  // the list: the next player
        {"alt+down", IDC_PLAYER, 8, 1, true},
        {"escape", IDC_PLAYER, 8, 1, false},  // closes the list alone
        {"shift+tab return escape execute cancel", IDC_ACTION_FIRST + 8, 8, 1, false},
        {"shift+tab return escape execute cancel", IDCANCEL, 8, 1, false},
        {"shift+tab return escape execute cancel", IDOK, 8, 1, false},
        {"tab space", 0, 8, 1, false},  // "考え直す": closed, nothing saved
    };
    Open(1);
    SetFocus(GetDlgItem(dialog, IDOK));
    for (const auto& step : steps) {
        SCOPED_TRACE(step.keys);
        std::istringstream keys(step.keys);
        for (std::string key; keys >> key;) {
            if (key == "press") {  // in front, as DirectInput reads a controller only then
                if (GetForegroundWindow() != dialog) SetForegroundWindow(dialog);
                PressButton(0, 0);
                SendMessageW(dialog, WM_TIMER, 0x7FFF, 0);  // the poll timer's tick, now
                fakeInput.pads[0].state = DIJOYSTATE{};
                SendMessageW(dialog, WM_TIMER, 0x7FFF, 0);
                continue;
            }
            if (key == "away") {
                HWND other = CreateWindowW(L"static", L"", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
                SetForegroundWindow(other), SetForegroundWindow(dialog), DestroyWindow(other);
                continue;
            }
            bool alt = key.rfind("alt+", 0) == 0, shift = key.rfind("shift+", 0) == 0;
            std::string name = key.substr(key.find('+') + 1);
            WPARAM vk = name == "tab" ? VK_TAB : name == "right" ? VK_RIGHT : name == "left" ? VK_LEFT
                      : name == "down" ? VK_DOWN : name == "space" ? VK_SPACE : name == "return" ? VK_RETURN
                      : name == "execute" ? VK_EXECUTE : name == "cancel" ? VK_CANCEL : VK_ESCAPE;
            BYTE state[256] = {};
            state[VK_SHIFT] = shift ? 0x80 : 0;
            state[VK_MENU] = alt ? 0x80 : 0;
            SetKeyboardState(state);
            // Another test's window on the display may have taken the focus meanwhile.
            if (GetForegroundWindow() != dialog) SetForegroundWindow(dialog);
            LPARAM flags = alt ? 0x20000001 : 1;  // the context bit: Alt is down
            PostMessageW(GetFocus(), alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, flags);
            PostMessageW(GetFocus(), alt ? WM_SYSKEYUP : WM_KEYUP, vk, flags | 0xC0000000);
            PostQuitMessage(0);  // taken once the key is handled
            EXPECT_EQ(RunMessageLoop(), 0);
        }
        EXPECT_EQ(Closed() ? 0 : GetDlgCtrlID(GetFocus()), step.focus);
        EXPECT_EQ(bindingEditor.cursor, step.cursor);
        EXPECT_EQ(bindingEditor.player, step.player);
        if (Closed()) break;
        EXPECT_EQ(CheckedSlot(), step.cursor);
        EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_PLAYER), CB_GETDROPPEDSTATE, 0, 0) != 0, step.listOpen);
    }
    EXPECT_TRUE(Closed());
    EXPECT_EQ(notices, WideStrings{});
    EXPECT_FALSE(std::filesystem::exists("config.ini"));
    BYTE none[256] = {};
    SetKeyboardState(none);
}

// A dinput8.dll or winmm.dll beside the exe (a mod loader's, one planted in Downloads)
// must never be loaded. After WinMain no load by name looks in the exe's folder; that
// the two are loaded by their full path as well, the real-controller row with planted
// DLLs shows.
TEST_F(Dialog, TheEntryPointLoadsDllsFromTheSystemFolderOnly) {
    char folder[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, folder, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    *std::strrchr(folder, '\\') = '\0';
    const std::string name = "quorvane-planted-" + std::to_string(ProcessId()) + ".dll";
    const std::string planted = std::string(folder) + "\\" + name;
    ASSERT_TRUE(CopyFileA(PLANTED_DLL, planted.c_str(), FALSE));
    HMODULE unguarded = LoadLibraryA(name.c_str());
    EXPECT_NE(unguarded, nullptr) << "the stand-in is not found beside the exe even without the guard";
    if (unguarded) FreeLibrary(unguarded);

    ResetFakeInput(0);
    joystickInput = JoystickInput();
    bindingEditor = BindingEditor{};
    PostQuitMessage(0);  // the loop ends as soon as it starts
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW), 0);
    dialog = FindWindowA("#32770", "Quorvane");
    HMODULE guarded = LoadLibraryA(name.c_str());
    EXPECT_EQ(guarded, nullptr) << "loaded by name from the exe's folder";
    if (guarded) FreeLibrary(guarded);
    DeleteFileA(planted.c_str());
    DeleteFileA((planted + ".loaded").c_str());
}

// The template as built into the executable, read back field by field.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : data_(data), at_(0) {}
    WORD Word() { return Read<WORD>(); }
    DWORD Dword() { return Read<DWORD>(); }
    short Short() { return Read<short>(); }
    BYTE Byte() { return Read<BYTE>(); }
    std::u16string String() {
        std::u16string text;
        while (WORD c = Word()) text += (char16_t)c;
        return text;
    }
    // A name or an ordinal; ordinals of the predefined classes come back as names.
    std::u16string NameOrOrdinal() {
        WORD first;
        std::memcpy(&first, data_ + at_, 2);
        if (first != 0xFFFF) return String();
        Word();
        switch (WORD ordinal = Word()) {
        case 0x80: return u"button";
        case 0x82: return u"static";
        case 0x85: return u"combobox";
        default: return u"#" + std::u16string(1, (char16_t)ordinal);
        }
    }
    void AlignToDword() { at_ = (at_ + 3) & ~size_t(3); }

private:
    template <typename T>
    T Read() {
        T value;
        std::memcpy(&value, data_ + at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    const BYTE* data_;
    size_t at_;
};

std::u16string Lower(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z') c = (char16_t)(c - u'A' + u'a');
    return text;
}

const BYTE* FindResourceData(LPCSTR type, int id, WORD language) {
    HRSRC found = FindResourceExA(nullptr, type, MAKEINTRESOURCEA(id), language);
    if (!found) return nullptr;
    return static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
}

TEST(Resources, TheDialogTemplateIsExactlyTheDesignedOne) {
    const BYTE* data = FindResourceData(RT_DIALOG, IDD_MAIN, MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    ASSERT_NE(data, nullptr);
    TemplateReader in(data);
    EXPECT_EQ(in.Word(), 1);       // version
    EXPECT_EQ(in.Word(), 0xFFFF);  // extended template
    EXPECT_EQ(in.Dword(), 0u);     // help id
    EXPECT_EQ(in.Dword(), 0u);     // extended style
    EXPECT_EQ(in.Dword(), 0x80C800C8u);
    WORD count = in.Word();
    EXPECT_EQ(count, 22);
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 341);
    EXPECT_EQ(in.Short(), 158);
    EXPECT_EQ(in.NameOrOrdinal(), u"");  // no menu
    EXPECT_EQ(in.NameOrOrdinal(), u"");  // no class
    EXPECT_EQ(in.String(), u"Quorvane");
    EXPECT_EQ(in.Word(), 8);
    EXPECT_EQ(in.Word(), 400);
    EXPECT_EQ(in.Byte(), 0);
    EXPECT_EQ(in.Byte(), 1);
    EXPECT_EQ(in.String(), u"MS Shell Dlg");

    ASSERT_EQ(count, sizeof TEMPLATE_CONTROLS / sizeof TEMPLATE_CONTROLS[0]);
    for (const TemplateControl& control : TEMPLATE_CONTROLS) {
        SCOPED_TRACE(control.id);
        in.AlignToDword();
        EXPECT_EQ(in.Dword(), 0u);  // help id
        EXPECT_EQ(in.Dword(), 0u);  // extended style
        EXPECT_EQ(in.Dword(), WS_CHILD | WS_VISIBLE | control.style);
        EXPECT_EQ(in.Short(), control.x);
        EXPECT_EQ(in.Short(), control.y);
        EXPECT_EQ(in.Short(), control.cx);
        EXPECT_EQ(in.Short(), control.cy);
        EXPECT_EQ(in.Dword(), control.id);
        EXPECT_EQ(Lower(in.NameOrOrdinal()), control.className);
        EXPECT_TRUE(in.NameOrOrdinal() == control.text);
        EXPECT_EQ(in.Word(), 0);  // no creation data
    }
}

TEST(Resources, OneIconOf32By32In256Colours) {
    const BYTE* group = FindResourceData(RT_GROUP_ICON, IDI_MAIN, MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    ASSERT_NE(group, nullptr);
    TemplateReader icon(group);
    EXPECT_EQ(icon.Word(), 0);
    EXPECT_EQ(icon.Word(), 1);  // an icon
    EXPECT_EQ(icon.Word(), 1);  // one image
    EXPECT_EQ(icon.Byte(), 32);
    EXPECT_EQ(icon.Byte(), 32);
    EXPECT_EQ(icon.Byte(), 0);  // 256 colours
    icon.Byte();
    EXPECT_EQ(icon.Word(), 1);  // planes
    EXPECT_EQ(icon.Word(), 8);  // bits per pixel
}

}  // namespace
