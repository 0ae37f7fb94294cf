// Every caption, label and notice is drawn whole in the fonts Wine gives the dialog:
// the text's extent fits its control, the control paints all the ink the text has
// when drawn unclipped, and every character leaves ink (a hairline underscore does not).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bindings/bindings.h"
#include "resource.h"
#include "fresh_folder.h"
#include "ui/binding_editor.h"
#include "ui/config_dialog.h"
#include "ui/dialog_view.h"

namespace {

std::string Utf8(const std::wstring& text) {
    char bytes[512] = "";
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes, sizeof bytes, nullptr, nullptr);
    return bytes;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

HFONT FontOf(HWND control) { return (HFONT)SendMessageW(control, WM_GETFONT, 0, 0); }

// A 32-bit bitmap filled with the dialog's face colour; ink is every other pixel.
class Canvas {
public:
    Canvas(int width, int height, HFONT font) : width_(width), size_(width * height) {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, (void**)&pixels_, nullptr, 0);
        SelectObject(dc_, bitmap_);
        SelectObject(dc_, font);
        RECT all = {0, 0, width, height};
        FillRect(dc_, &all, GetSysColorBrush(COLOR_BTNFACE));
        GdiFlush();
        background_ = pixels_[0];
    }
    ~Canvas() {
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    HDC Dc() const { return dc_; }
    // The ink in the columns from `fromX` on; `first` and `end` get its first column and one past
    // its last.
    int Ink(int fromX = 0, int* first = nullptr, int* end = nullptr) const {
        GdiFlush();
        int ink = 0, left = width_, right = 0;
        for (int at = 0; at < size_; ++at) {
            int x = at % width_;
            if (x < fromX || pixels_[at] == background_) continue;
            ++ink;
            left = std::min(left, x);
            right = std::max(right, x + 1);
        }
        if (first) *first = left;
        if (end) *end = right;
        return ink;
    }

private:
    int width_, size_;
    HDC dc_;
    HBITMAP bitmap_;
    DWORD* pixels_ = nullptr;
    DWORD background_ = 0;
};

// Width and height of `text` on one line, or broken into lines no wider than `wrapWidth`.
SIZE ExtentOf(HFONT font, const std::wstring& text, int wrapWidth = 0) {
    Canvas canvas(1, 1, font);
    RECT needed = {0, 0, wrapWidth, 0};
    DrawTextW(canvas.Dc(), text.c_str(), -1, &needed, DT_CALCRECT | (wrapWidth ? DT_WORDBREAK : DT_SINGLELINE));
    return SIZE{needed.right, needed.bottom};
}

// The ink of `text` drawn whole, on a canvas far larger than it (a message box may be
// wider than any dialog control); lines broken at `wrapWidth` if that is given. `first`
// gets the first inked column.
int InkOfText(HFONT font, const std::wstring& text, int wrapWidth = 0, int* first = nullptr) {
    SIZE extent = ExtentOf(font, text, wrapWidth);
    int width = 2 * extent.cx + 100, height = 2 * extent.cy + 100;
    Canvas canvas(width, height, font);
    SetBkMode(canvas.Dc(), TRANSPARENT);
    RECT room = {0, 0, wrapWidth ? wrapWidth : width, height};
    DrawTextW(canvas.Dc(), text.c_str(), -1, &room, wrapWidth ? DT_WORDBREAK : DT_SINGLELINE);
    return canvas.Ink(0, first);
}

// The ink a control paints inside its own client rectangle, as Canvas::Ink counts it.
int InkOfControl(HWND control, int fromX = 0, int* first = nullptr, int* end = nullptr) {
    RECT client;
    GetClientRect(control, &client);
    Canvas canvas(client.right, client.bottom, FontOf(control));
    SendMessageW(control, WM_PRINTCLIENT, (WPARAM)canvas.Dc(), PRF_CLIENT | PRF_ERASEBKGND);
    return canvas.Ink(fromX, first, end);
}

void ExpectEveryCharacterInked(HFONT font, const std::wstring& text) {
    for (wchar_t c : text) {
        if (c == L' ') continue;
        EXPECT_GT(InkOfText(font, std::wstring(1, c)), 0) << "'" << Utf8(std::wstring(1, c)) << "'";
    }
}

enum Kind { LABEL, RADIO, NOTICE };

// The text a control shows now is whole; `report` prints its extent against its room.
void ExpectWhole(HWND control, Kind kind, bool report = true) {
    wchar_t buffer[256] = L"";
    GetWindowTextW(control, buffer, 256);
    std::wstring text = buffer;
    SCOPED_TRACE(Utf8(text));
    HFONT font = FontOf(control);
    RECT client;
    GetClientRect(control, &client);
    int reserve = 0, ink = 0;
    if (kind == RADIO) {  // right of the check box as drawn alone: a theme may place it anew for a text
        int box = 0, textAt = 0, bearing = 0;
        SetWindowTextW(control, L"");
        InkOfControl(control, 0, nullptr, &box);
        SetWindowTextW(control, text.c_str());
        ink = InkOfControl(control, box, &textAt);
        InkOfText(font, text, 0, &bearing);
        reserve = textAt - bearing;  // where the control starts the text
    } else {
        ink = InkOfControl(control);
    }
    int wrapWidth = kind == NOTICE ? client.right : 0;
    SIZE extent = ExtentOf(font, text, wrapWidth);
    if (report)
        std::printf("  %s: needs %ld x %ld px, has %ld x %ld\n", Utf8(text).c_str(), reserve + extent.cx, extent.cy,
                    client.right, client.bottom);
    EXPECT_LE(reserve + extent.cx, client.right) << "too wide";
    EXPECT_LE(extent.cy, client.bottom) << "too tall";
    EXPECT_EQ(ink, InkOfText(font, text, wrapWidth)) << "ink cut off";
    if (report) ExpectEveryCharacterInked(font, text);
}

HWND dialog;

class Layout : public InFreshFolder {
protected:
    void SetUp() override {
        InFreshFolder::SetUp();
        bindingEditor = BindingEditor{};
        dialog = CreateConfigDialog(GetModuleHandleA(nullptr));
        ASSERT_NE(dialog, nullptr);
        ShowWindow(dialog, SW_SHOW);
        UpdateWindow(dialog);
        SetFocus(GetDlgItem(dialog, IDOK));  // no focus frame round a radio's text
    }
    void TearDown() override {
        if (IsWindow(dialog)) DestroyWindow(dialog);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {}
        InFreshFolder::TearDown();
    }
};

TEST_F(Layout, EveryCaptionAndEveryLabelOfUpToTenCharactersIsWhole) {
    std::printf("Radio buttons:\n");
    for (int slot = 0; slot < ACTION_COUNT; ++slot) ExpectWhole(GetDlgItem(dialog, IDC_ACTION_FIRST + slot), RADIO);

    // Every label a player's own controller gives, and every key with a name or a
    // printable character. Ten characters ("JOY4_RIGHT", "KEY_DELETE") must fit;
    // the two longer keys are reported, as the template fixes the room.
    std::vector<std::string> labels, shown;
    for (int source = 0; source <= PLAYER_COUNT; ++source) {
        for (int code = 0; code < (source ? 36 : 256); ++code) {
            std::string text = FormatBindingLabel(Binding{(unsigned char)source, (unsigned char)code}).text;
            if (text == "KEY_" || !std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 0x7F; }))
                continue;
            labels.push_back(text);
            if (text.size() <= 10) shown.push_back(text);
        }
    }
    ASSERT_GT(shown.size(), 150u);
    for (int slot = 0; slot < ACTION_COUNT; ++slot) {
        HWND control = GetDlgItem(dialog, IDC_LABEL_FIRST + slot);
        SCOPED_TRACE("label of slot " + std::to_string(slot));
        std::printf("Label of slot %d, its default:\n", slot);
        ExpectWhole(control, LABEL);
        for (const std::string& label : shown) {
            SetWindowTextA(control, label.c_str());
            ExpectWhole(control, LABEL, false);
        }
    }
    std::wstring characters;
    for (const std::string& label : shown)
        for (char c : label)
            if (characters.find((wchar_t)c) == std::wstring::npos) characters += (wchar_t)c;
    ExpectEveryCharacterInked(FontOf(GetDlgItem(dialog, IDC_LABEL_FIRST)), characters);

    std::string widest;
    long widestWidth = 0;
    for (const std::string& label : labels) {
        std::string tooNarrow;
        long width = ExtentOf(FontOf(GetDlgItem(dialog, IDC_LABEL_FIRST)), Wide(label)).cx;
        for (int slot = 0; slot < ACTION_COUNT; ++slot) {
            RECT client;
            GetClientRect(GetDlgItem(dialog, IDC_LABEL_FIRST + slot), &client);
            if (width > client.right) tooNarrow += " " + std::to_string(slot) + " (" + std::to_string(client.right) + " px)";
        }
        if (!tooNarrow.empty())
            std::printf("%s needs %ld px: too wide for the label of slot%s\n", label.c_str(), width, tooNarrow.c_str());
        else if (width > widestWidth)
            widestWidth = width, widest = label;
    }
    std::printf("Widest label every slot shows whole: %s, %ld px\n", widest.c_str(), widestWidth);
}

// Message boxes are measured as they appear, then dismissed.
int noticesSeen;
LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    HWND box = reinterpret_cast<HWND>(wParam);
    char className[32] = "";
    // Once per box: it is activated again when another program's window took the focus.
    if (code == HCBT_ACTIVATE && dialog && GetWindow(box, GW_OWNER) == dialog &&
        GetClassNameA(box, className, sizeof className) && std::strcmp(className, "#32770") == 0 &&
        !GetPropW(box, L"measured")) {
        SetPropW(box, L"measured", box);
        ++noticesSeen;
        ExpectWhole(GetDlgItem(box, 0xFFFF), NOTICE);  // a message box's text control
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Layout, TheNoticesShowTheirWholeText) {
    HHOOK hook = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    noticesSeen = 0;
    std::printf("Notices:\n");
    // Every reason a save can fail for, the system's words for a full disk among them.
    for (SaveStatus status : {SAVE_FOLDER_DENIED, SAVE_READ_ONLY, SAVE_IN_USE, SAVE_FAILED})
        ShowSaveFailedNotice(SaveResult{status, ERROR_DISK_FULL});
    ShowSavedNotice();
    ShowLoadFailedNotice(ERROR_SHARING_VIOLATION);  // these two shown from the dialog's queue
    ShowTemporaryFolderNotice();
    for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&message);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(noticesSeen, 7);
}

}  // namespace
