#include "input/capture.h"

#include "fakes/fake_dinput.h"
#include "input/joystick_input.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

// Attaches `pads` fake controllers to the process's JoystickInput and releases every key.
void Attach(int pads) {
    ResetFakeInput(pads);
    joystickInput = JoystickInput();
    ASSERT_EQ(joystickInput.Initialize(GetModuleHandleA(nullptr), nullptr), 0);
}

void HoldKeys(std::initializer_list<int> keys) {
    BYTE state[256] = {};
    for (int vk : keys) state[vk] = 0x80;
    ASSERT_TRUE(SetKeyboardState(state));
}

// What controller `source` presses, as "source,code", with its device checked.
std::string Capture(int source) {
    Binding binding = {0xAB, 0xCD};
    ControllerId controller = 0xEF;
    if (!CaptureInput(source, binding, controller)) {
        EXPECT_EQ(binding, (Binding{0xAB, 0xCD})) << "untouched when nothing is pressed";
        EXPECT_EQ(controller, 0xEFu);
        return "nothing";
    }
    EXPECT_EQ(controller, joystickInput.IdOf(source - 1));
    return std::to_string(binding.source) + "," + std::to_string(binding.code);
}

TEST(CaptureInput, TheControllerAskedForButtonsBeforeDirectionsWhateverTheOthersHold) {
    struct Case {
        const char* what;
        int source;
        void (*press)();
        const char* expected;
    };
    const Case cases[] = {
        {"nothing held", 1, [] {}, "nothing"},
        {"1 button 0, 2 button 5", 2, [] { PressButton(0, 0); PressButton(1, 5); }, "2,9"},
        {"2 button 5 alone", 1, [] { PressButton(1, 5); }, "nothing"},
        {"lowest button wins", 3, [] { PressButton(2, 31); PressButton(2, 30); }, "3,34"},
        {"button before direction", 1, [] { PressButton(0, 31); PushStick(0, 0, 1000); }, "1,35"},
        {"down and right", 2, [] { PushStick(1, 1000, 1000); }, "2,1"},
        {"up and left", 2, [] { PushStick(1, -1000, -1000); }, "2,3"},
        {"up and right", 2, [] { PushStick(1, 1000, -1000); }, "2,2"},
        {"up", 1, [] { PushStick(0, 0, -1000); }, "1,0"},
        {"2's button, whatever 1's direction", 2, [] { PushStick(0, -1000, 0); PressButton(1, 0); }, "2,4"},
        {"a key is no controller's", 1, [] { HoldKeys({' '}); }, "nothing"},
        {"no such controller", 4, [] { PressButton(2, 0); }, "nothing"},
    };
    for (const Case& c : cases) {
        Attach(3);
        HoldKeys({});
        joystickInput.PollAll();  // the state each is set up with: every stick in the middle
        for (FakePad& pad : fakeInput.pads) pad.state.lZ = 1;  // then each one's first report
        joystickInput.PollAll();
        c.press();
        EXPECT_EQ(Capture(c.source), c.expected) << c.what;
    }
}

// The latch's question: the controller that assigned, found by its device, or any key.
TEST(CaptureInput, HeldIsTheDevicesOwnInputOrAnyKey) {
    const struct {
        std::initializer_list<int> keys;
        bool held;
    } keys[] = {{{}, false}, {{' '}, true}, {{VK_LBUTTON}, false}, {{VK_LBUTTON, VK_RBUTTON}, true},
                {{VK_MBUTTON}, true}, {{0xEF}, true}, {{0xF0, 0xF6, 0xFE}, false}};
    Attach(2);
    const ControllerId first = joystickInput.IdOf(0);
    for (const auto& row : keys) {
        HoldKeys(row.keys);
        EXPECT_EQ(IsHeld(first), row.held) << "first key " << (row.keys.size() ? *row.keys.begin() : -1);
    }
    HoldKeys({});
    PressButton(1, 0);
    EXPECT_FALSE(IsHeld(first));
    PressButton(0, 3);
    EXPECT_TRUE(IsHeld(first));
    // A controller plugged in sorts first: the one that holds is found under its new number.
    fakeInput.pads.resize(3);
    fakeInput.listings = {{2, 0, 1}};
    ASSERT_EQ(joystickInput.Enumerate(nullptr), 0);
    EXPECT_TRUE(IsHeld(first));
    fakeInput.pads[0].state = DIJOYSTATE{};
    EXPECT_FALSE(IsHeld(first));
    EXPECT_EQ(Capture(3), "3,4");
}

TEST(CaptureInput, PollsEveryControllerOnEachCall) {
    Attach(4);
    HoldKeys({});
    for (int call = 1; call <= 3; ++call) {
        if (call % 2) Capture(1); else IsHeld(joystickInput.IdOf(0));
        for (const FakePad& pad : fakeInput.pads) EXPECT_EQ(pad.reads, call);
    }
}

}  // namespace
