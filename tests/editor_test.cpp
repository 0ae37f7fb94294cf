#include "ui/binding_editor.h"

#include <deque>
#include <filesystem>

#include "fakes/recording_view.h"
#include "input/capture.h"
#include "fresh_folder.h"

namespace {

using Calls = std::vector<std::string>;

// The fake capture: what is held, scripted for the next calls first; controller n's device
// is 100 + n, so that a latch kept by number fails. Each call is recorded as "pad N" or
// "held DEVICE".
std::deque<std::vector<Binding>> scripted;
std::vector<Binding> held;
std::vector<std::string> captures;

ControllerId DeviceOf(int source) { return (ControllerId)(100 + source); }
std::vector<Binding> HeldNow() {
    std::vector<Binding> now = scripted.empty() ? held : scripted.front();
    if (!scripted.empty()) scripted.pop_front();
    return now;
}

}  // namespace

bool CaptureInput(int source, Binding& binding, ControllerId& controller) {
    captures.push_back("pad " + std::to_string(source));
    for (Binding input : HeldNow())
        if (input.source == source) return binding = input, controller = DeviceOf(source), true;
    return false;
}

bool IsHeld(ControllerId controller) {
    captures.push_back("held " + std::to_string(controller));
    for (Binding input : HeldNow())
        if (input.source == SOURCE_KEYBOARD || DeviceOf(input.source) == controller) return true;
    return false;
}

namespace {

const Binding NOTHING_HELD = {0xEE, 0xEE};

Binding Default(int slot) { return Binding{SOURCE_KEYBOARD, (unsigned char)(0x41 + slot)}; }

class Editor : public InFreshFolder {
protected:
    void SetUp() override {
        InFreshFolder::SetUp();
        bindingEditor = BindingEditor{};
        scripted.clear();
        held.clear();
        OnInit();  // no file: keys A..I everywhere
        viewCalls.clear();
        captures.clear();
    }
    // One timer tick with up to two inputs held; returns what the view was asked.
    Calls Tick(Binding input = NOTHING_HELD, Binding other = NOTHING_HELD) {
        held = {input, other};  // NOTHING_HELD is no controller's and no key
        viewCalls.clear();
        OnTick();
        return viewCalls;
    }
};

TEST_F(Editor, InitShowsTheFirstRow) {
    bindingEditor = BindingEditor{};
    OnInit();
    ASSERT_EQ(viewCalls.size(), 9u);
    EXPECT_EQ(viewCalls[0], "label 0 KEY_A");
    EXPECT_EQ(viewCalls[8], "label 8 KEY_I");
}

TEST_F(Editor, OnePressAssignsExactlyOnceWhileHeld) {
    EXPECT_EQ(Tick({1, 4}), (Calls{"label 0 JOY1_B1", "check 0 off", "check 1 on"}));
    EXPECT_EQ(BindingAt(0, 0), (Binding{1, 4}));

    // Held, or changed to another input without a release: nothing more.
    EXPECT_EQ(Tick({1, 4}), Calls{});
    EXPECT_EQ(Tick({1, 5}), Calls{});
    EXPECT_EQ(BindingAt(0, 1), (Binding{0, 'B'}));

    // The release clears the latch; the next press goes to the next action.
    EXPECT_EQ(Tick(), Calls{});
    EXPECT_EQ(Tick({1, 5}), (Calls{"label 1 JOY1_B2", "check 1 off", "check 2 on"}));
}

TEST_F(Editor, TheLatchClearsOnTheFirstEmptyCaptureAndTheSameTickCapturesAgain) {
    Tick({1, 4});
    scripted = {{}, {Binding{1, 0}}};
    captures.clear();
    EXPECT_EQ(Tick({1, 0}), (Calls{"label 1 JOY1_UP", "check 1 off", "check 2 on"}));
    EXPECT_EQ(captures, (Calls{"held 101", "pad 1"}));
}

// The keyboard is read only while the latch is set: there a held key keeps it.
TEST_F(Editor, AHeldKeyKeepsTheLatchThoughKeysAreNeverAssigned) {
    EXPECT_EQ(Tick({0, ' '}), Calls{});
    EXPECT_EQ(captures, Calls{"pad 1"});
    Tick({1, 4});
    captures.clear();
    EXPECT_EQ(Tick({0, ' '}), Calls{});
    EXPECT_EQ(Tick({1, 5}), Calls{});  // the key was never let go of
    EXPECT_EQ(captures, (Calls{"held 101", "pad 1", "held 101", "pad 1"}));
    EXPECT_EQ(Tick(), Calls{});
    EXPECT_EQ(Tick({1, 5}).size(), 3u);
}

TEST_F(Editor, OnlyTheShownPlayersControllerAssigns) {
    OnPlayerChosen(1);
    OnSlotChosen(4);
    for (Binding ignored : {Binding{1, 4}, Binding{0, 'A'}, Binding{3, 0}}) {
        EXPECT_EQ(Tick(ignored), Calls{});
    }
    // The latch stayed clear: the right controller assigns at once, whatever another
    // holds, and that one's hold keeps no latch either.
    EXPECT_EQ(Tick({1, 4}, {2, 0}), (Calls{"label 4 JOY2_UP", "check 4 off", "check 5 on"}));
    EXPECT_EQ(BindingAt(1, 4), (Binding{2, 0}));
    EXPECT_EQ(BindingAt(0, 4), (Binding{0, 'E'}));
    EXPECT_EQ(Tick({1, 4}), Calls{});
    EXPECT_EQ(Tick({1, 4}, {2, 1}).size(), 3u);
}

TEST_F(Editor, ASwapTakesTheFirstOtherSlotOfTheShownRowOnly) {
    // The shown player, the waiting action, and the two other slots that hold the input.
    struct Case {
        int player, cursor, first, second;
    };
    for (const Case& c : {Case{0, 0, 3, 6}, Case{1, 8, 0, 6}}) {
        SCOPED_TRACE("player " + std::to_string(c.player + 1) + ", slot " + std::to_string(c.cursor));
        LoadBindings();  // keys A..I everywhere
        bindingEditor = BindingEditor{};
        OnPlayerChosen(c.player);
        OnSlotChosen(c.cursor);
        const unsigned char pad = (unsigned char)(c.player + 1);
        const int other = 1 - c.player;
        BindingAt(c.player, 2) = Binding{pad, 5};  // same controller, other button: not a clash
        BindingAt(c.player, c.first) = Binding{pad, 4};
        BindingAt(c.player, c.second) = Binding{pad, 4};
        BindingAt(other, 5) = Binding{pad, 4};  // another player's row is left alone

        const Binding old = Default(c.cursor);
        const std::string next = std::to_string((c.cursor + 1) % ACTION_COUNT);
        EXPECT_EQ(Tick({pad, 4}), (Calls{"label " + std::to_string(c.first) + " KEY_" + (char)old.code,
                                         "label " + std::to_string(c.cursor) + " JOY" + std::to_string(pad) + "_B1",
                                         "check " + std::to_string(c.cursor) + " off", "check " + next + " on"}));
        EXPECT_EQ(BindingAt(c.player, c.cursor), (Binding{pad, 4}));
        EXPECT_EQ(BindingAt(c.player, 2), (Binding{pad, 5}));
        EXPECT_EQ(BindingAt(c.player, c.first), old);
        EXPECT_EQ(BindingAt(c.player, c.second), (Binding{pad, 4}));
        EXPECT_EQ(BindingAt(other, c.cursor), Default(c.cursor));
        EXPECT_EQ(BindingAt(other, 5), (Binding{pad, 4}));
    }
}

TEST_F(Editor, RepressingTheCursorsOwnBindingRefreshesItAndMovesOn) {
    BindingAt(0, 5) = Binding{1, 9};
    OnSlotChosen(5);
    EXPECT_EQ(Tick({1, 9}), (Calls{"label 5 JOY1_B6", "check 5 off", "check 6 on"}));
    EXPECT_EQ(BindingAt(0, 5), (Binding{1, 9}));
}

TEST_F(Editor, TheCursorWrapsFromTheLastActionToTheFirst) {
    OnSlotChosen(8);
    EXPECT_EQ(Tick({1, 1}), (Calls{"label 8 JOY1_DOWN", "check 8 off", "check 0 on"}));
    Tick();
    EXPECT_EQ(Tick({1, 2}), (Calls{"label 0 JOY1_RIGHT", "check 0 off", "check 1 on"}));
}

TEST_F(Editor, ChoosingAPlayerShowsItsRowAndKeepsCursorAndLatch) {
    BindingAt(2, 7) = Binding{3, 35};
    OnSlotChosen(3);
    Tick({1, 4});  // assigns player 1's slot 3, cursor now 4, latch set by controller 1

    viewCalls.clear();
    OnPlayerChosen(2);
    ASSERT_EQ(viewCalls.size(), 9u);
    EXPECT_EQ(viewCalls[0], "label 0 KEY_A");
    EXPECT_EQ(viewCalls[7], "label 7 JOY3_B32");

    // The latch follows controller 1, not the player shown: its button held across the
    // changes is still one press. Player 3's, pressed under it, is no new press once it is
    // let go: it assigns when pressed again.
    EXPECT_EQ(Tick({1, 4}), Calls{});
    OnPlayerChosen(0);
    EXPECT_EQ(Tick({1, 4}), Calls{});
    OnPlayerChosen(2);
    EXPECT_EQ(Tick({1, 4}, {3, 4}), Calls{});
    EXPECT_EQ(Tick({3, 4}), Calls{});
    Tick();
    EXPECT_EQ(Tick({3, 4}), (Calls{"label 4 JOY3_B1", "check 4 off", "check 5 on"}));

    // A list without a selection changes nothing.
    viewCalls.clear();
    OnPlayerChosen(-1);
    OnPlayerChosen(4);
    EXPECT_EQ(viewCalls, Calls{});
}

TEST_F(Editor, ConfirmSavesThenNotifiesThenCloses) {
    Tick({1, 7});
    viewCalls.clear();
    OnConfirm();
    EXPECT_EQ(viewCalls, (Calls{"saved", "close"}));
    std::vector<unsigned char> file = ReadFile("config.ini");
    ASSERT_EQ(file.size(), 74u);
    EXPECT_EQ(file[2], 1);
    EXPECT_EQ(file[3], 7);
}

TEST_F(Editor, AFailedSaveIsReportedAndKeepsTheDialogAndTheEdits) {
    std::filesystem::create_directory("config.ini");
    Tick({1, 7});
    viewCalls.clear();
    OnConfirm();
    EXPECT_EQ(viewCalls, Calls{"save failed " + std::to_string(SAVE_FAILED)});
    EXPECT_EQ(BindingAt(0, 0), (Binding{1, 7}));

    // Once the way is clear, the retry saves the same edits.
    std::filesystem::remove("config.ini");
    viewCalls.clear();
    OnConfirm();
    EXPECT_EQ(viewCalls, (Calls{"saved", "close"}));
    std::vector<unsigned char> file = ReadFile("config.ini");
    ASSERT_EQ(file.size(), 74u);
    EXPECT_EQ(file[3], 7);
}

TEST_F(Editor, CancelClosesWithoutSaving) {
    WriteFile("config.ini", {4, 9, 2, 2});
    Tick({1, 7});
    viewCalls.clear();
    OnCancel();
    EXPECT_EQ(viewCalls, Calls{"close"});
    EXPECT_EQ(ReadFile("config.ini"), (std::vector<unsigned char>{4, 9, 2, 2}));
}

}  // namespace
