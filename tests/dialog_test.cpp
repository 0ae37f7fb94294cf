// The real dialog from the real template, driven in-process by the messages a user's
// clicks send, with fake controllers behind DirectInput.
#include "ui/config_dialog.h"

#include <dbt.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "fakes/fake_dinput.h"
#include "input/joystick_input.h"
#include "resource.h"
#include "temp_folder.h"
#include "ui/binding_editor.h"

namespace {

using Strings = std::vector<std::string>;

// Code page 932 bytes, as the ANSI functions hand them back.
const std::string SJIS_PLAYER = "\x83\x76\x83\x8C\x83\x43\x83\x84\x81\x5B";  // "プレイヤー"
const std::string SJIS_SAVED_TEXT = "\x8D\x58\x90\x56\x8A\xAE\x97\xB9";       // "更新完了"
const std::string SJIS_SAVED_CAPTION = "\x8D\x58\x90\x56\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
const std::string SJIS_FAILED_TEXT =
    "config.ini \x82\xF0\x95\xDB\x91\xB6\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD";
const std::string SJIS_FAILED_CAPTION = "\x95\xDB\x91\xB6\x8E\xB8\x94\x73";  // "保存失敗"

HWND dialog;

// Message boxes are read and dismissed as they appear: "caption|text".
Strings notices;
LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    HWND box = reinterpret_cast<HWND>(wParam);
    char className[32] = "";
    if (code == HCBT_ACTIVATE && GetWindow(box, GW_OWNER) == dialog && dialog &&
        GetClassNameA(box, className, sizeof className) && std::strcmp(className, "#32770") == 0) {
        char caption[128] = "", text[256] = "";
        GetWindowTextA(box, caption, sizeof caption);
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // a message box's text control
        notices.push_back(std::string(caption) + "|" + text);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Runs the same loop as the program's (no IsDialogMessage) until `done` or the timeout.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) PostQuitMessage((int)message.wParam);  // keep it for the test
            if (message.message == WM_QUIT) return done();
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    }
    return true;
}

class Dialog : public InTempFolder {
protected:
    void SetUp() override {
        InTempFolder::SetUp();
        dialog = nullptr;
        notices.clear();
        BYTE noKeys[256] = {};
        SetKeyboardState(noKeys);
        hook_ = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    }
    void TearDown() override {
        if (IsWindow(dialog)) DestroyWindow(dialog);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {}
        UnhookWindowsHookEx(hook_);
        InTempFolder::TearDown();
    }

    // Opens the dialog as the program does, with `pads` fake controllers attached.
    void Open(int pads = 0) {
        ResetFakeInput(pads);
        joystickInput = JoystickInput();
        bindingEditor = BindingEditor{};
        HINSTANCE instance = GetModuleHandleA(nullptr);
        dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, ConfigDialogProc, 0);
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

TEST_F(Dialog, StartsFromTheFileWithPlayer1AndTheFirstActionChosen) {
    std::vector<unsigned char> file(74);
    file[0] = 4;
    file[1] = 9;
    for (int slot = 0; slot < ACTION_COUNT; ++slot) {
        file[2 + 2 * slot] = 1;
        file[3 + 2 * slot] = (unsigned char)slot;
    }
    WriteFile("config.ini", file);
    Open();

    EXPECT_EQ(Labels(), (Strings{"JOY1_UP", "JOY1_DOWN", "JOY1_RIGHT", "JOY1_LEFT", "JOY1_B1", "JOY1_B2", "JOY1_B3",
                                 "JOY1_B4", "JOY1_B5"}));
    EXPECT_EQ(CheckedSlot(), 0);
    HWND list = GetDlgItem(dialog, IDC_PLAYER);
    ASSERT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 4);
    for (int i = 0; i < 4; ++i) {
        char item[32] = "";
        SendMessageA(list, CB_GETLBTEXT, i, (LPARAM)item);
        EXPECT_EQ(item, SJIS_PLAYER + std::to_string(i + 1));
    }
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
}

TEST_F(Dialog, WithoutAFileEveryLabelIsItsDefaultKey) {
    Open();
    EXPECT_EQ(Labels(), (Strings{"KEY_A", "KEY_B", "KEY_C", "KEY_D", "KEY_E", "KEY_F", "KEY_G", "KEY_H", "KEY_I"}));
}

TEST_F(Dialog, ClicksChooseTheActionAndPlayerAndTheTimerAssigns) {
    Open(3);
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
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(Labels()[7], "KEY_H");

    // Controller 3 presses its fourth button: the next tick assigns it.
    fakeInput.pads[0].state = DIJOYSTATE{};
    PressButton(2, 3);
    EXPECT_TRUE(PumpUntil([] { return Text(IDC_LABEL_FIRST + 7) == "JOY3_B4"; }, 2000));
    EXPECT_EQ(CheckedSlot(), 8);
    EXPECT_EQ(BindingAt(2, 7), (Binding{3, 7}));
}

// A controller plugged in while the dialog is up: the burst of notifications it brings
// leads to one new enumeration once it settles, and the new controller binds. Another
// kind of device (a volume) is no reason to enumerate.
TEST_F(Dialog, ABurstOfDeviceChangesListsTheControllersAgainOnce) {
    Open(1);
    ChoosePlayer(1);
    auto enumerations = [] {
        return std::count(fakeInput.log.begin(), fakeInput.log.end(), "EnumDevices type=4 flags=1");
    };
    DEV_BROADCAST_HDR volume = {sizeof volume, DBT_DEVTYP_VOLUME, 0};
    SendMessageW(dialog, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)&volume);
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(enumerations(), 1);

    fakeInput.pads.resize(2);
    PressButton(1, 2);
    DEV_BROADCAST_HDR hid = {sizeof hid, DBT_DEVTYP_DEVICEINTERFACE, 0};
    SendMessageW(dialog, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    SendMessageW(dialog, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)&hid);
    SendMessageW(dialog, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    EXPECT_TRUE(PumpUntil([] { return Text(IDC_LABEL_FIRST) == "JOY2_B3"; }, 3000));
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(enumerations(), 2);
    EXPECT_EQ(CheckedSlot(), 1);
}

TEST_F(Dialog, ConfirmSavesShowsTheNoticeAndCloses) {
    Open(1);
    PressButton(0, 0);
    ASSERT_TRUE(PumpUntil([] { return Text(IDC_LABEL_FIRST) == "JOY1_B1"; }, 2000));

    Click(IDOK);
    EXPECT_EQ(notices, Strings{SJIS_SAVED_CAPTION + "|" + SJIS_SAVED_TEXT});
    EXPECT_TRUE(Closed());
    std::vector<unsigned char> file = ReadFile("config.ini");
    ASSERT_EQ(file.size(), 74u);
    EXPECT_EQ(file[2], 1);
    EXPECT_EQ(file[3], 4);
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(Dialog, AFailedSaveShowsTheFailureAndTheDialogStays) {
    std::filesystem::create_directory("config.ini");
    Open();
    Click(IDOK);
    EXPECT_EQ(notices, Strings{SJIS_FAILED_CAPTION + "|" + SJIS_FAILED_TEXT});
    EXPECT_FALSE(Closed());
    EXPECT_TRUE(std::filesystem::is_directory("config.ini"));
}

TEST_F(Dialog, CancelAndTheCloseBoxWriteNothing) {
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "cancel");
        Open(1);
        PressButton(0, 0);
        ASSERT_TRUE(PumpUntil([] { return Text(IDC_LABEL_FIRST) == "JOY1_B1"; }, 2000));
        if (closeBox)
            SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            Click(IDCANCEL);
        EXPECT_TRUE(Closed());
        EXPECT_EQ(notices, Strings{});
        EXPECT_FALSE(std::filesystem::exists("config.ini"));
        MSG quit;
        EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
}

TEST_F(Dialog, EnterAndEscapeNeitherSaveNorClose) {
    Open();
    HWND focus = GetFocus() ? GetFocus() : dialog;
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        PostMessageA(focus, WM_KEYDOWN, key, 1);
        PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
    }
    PumpUntil([] { return false; }, 200);
    EXPECT_FALSE(Closed());
    EXPECT_EQ(notices, Strings{});
    EXPECT_FALSE(std::filesystem::exists("config.ini"));
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

    struct Control {
        DWORD id;
        std::u16string className;
        DWORD style;
        short x, y, cx, cy;
        std::u16string text;
    };
    const DWORD radio = BS_AUTORADIOBUTTON, label = SS_LEFT | WS_GROUP;
    const Control expected[] = {
        {IDOK, u"button", BS_DEFPUSHBUTTON | WS_TABSTOP, 85, 124, 69, 14, u"これで決定"},
        {IDCANCEL, u"button", BS_PUSHBUTTON | WS_TABSTOP, 173, 124, 70, 14, u"考え直す"},
        {1008, u"button", radio | WS_GROUP, 23, 38, 24, 10, u"上"},
        {1009, u"button", radio, 79, 38, 24, 10, u"下"},
        {1010, u"button", radio, 137, 38, 24, 10, u"左"},
        {1011, u"button", radio, 199, 38, 24, 10, u"右"},
        {1012, u"button", radio, 23, 72, 58, 10, u"爆弾設置(A)"},
        {1013, u"button", radio, 79, 72, 52, 10, u"パンチ等(Y)"},
        {1014, u"button", radio, 137, 72, 59, 10, u"方向転換等(X)"},
        {1015, u"button", radio, 199, 72, 39, 10, u"ボム(B)"},
        {1016, u"button", radio, 255, 72, 62, 10, u"ポーズ(START)"},
        {1021, u"static", label, 23, 52, 50, 8, u"スタティック"},
        {1022, u"static", label, 79, 52, 46, 8, u"スタティック"},
        {1023, u"static", label, 137, 52, 51, 8, u"スタティック"},
        {1024, u"static", label, 199, 52, 49, 8, u"スタティック"},
        {1025, u"static", label, 23, 87, 47, 8, u"スタティック"},
        {1026, u"static", label, 79, 87, 49, 8, u"スタティック"},
        {1027, u"static", label, 137, 87, 53, 8, u"スタティック"},
        {1028, u"static", label, 199, 87, 51, 8, u"スタティック"},
        {1029, u"static", label, 256, 87, 51, 8, u"スタティック"},
        {1005, u"combobox", CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 252, 38, 66, 48, u""},
        {0xFFFFFFFF, u"button", BS_GROUPBOX, 14, 17, 311, 93, u"プレイヤー"},
    };
    ASSERT_EQ(count, sizeof expected / sizeof expected[0]);
    for (const Control& control : expected) {
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

TEST(Resources, OneIconOf32By32In256ColoursAndAnAsInvokerManifest) {
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

    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), RT_MANIFEST);
    ASSERT_NE(found, nullptr);
    std::string manifest(static_cast<const char*>(LockResource(LoadResource(nullptr, found))),
                         SizeofResource(nullptr, found));
    EXPECT_NE(manifest.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
    EXPECT_EQ(manifest.find("dependency"), std::string::npos);
}

}  // namespace
