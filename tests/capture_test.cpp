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

std::string Capture(bool withKeyboard = true) {
    Binding binding = {0xAB, 0xCD};
    if (!CaptureInput(binding, withKeyboard)) {
        EXPECT_EQ(binding, (Binding{0xAB, 0xCD})) << "untouched when nothing is pressed";
        return "nothing";
    }
    return std::to_string(binding.source) + "," + std::to_string(binding.code);
}

TEST(CaptureInput, ControllersInOrderButtonsBeforeDirections) {
    struct Case {
        const char* what;
        void (*press)();
        const char* expected;
    };
    const Case cases[] = {
        {"nothing held", [] {}, "nothing"},
        {"1 button 0, 2 button 5", [] { PressButton(0, 0); PressButton(1, 5); }, "1,4"},
        {"2 button 5 alone", [] { PressButton(1, 5); }, "2,9"},
        {"lowest button wins", [] { PressButton(2, 31); PressButton(2, 30); }, "3,34"},
        {"button before direction", [] { PressButton(0, 31); PushStick(0, 0, 1000); }, "1,35"},
        {"down and right", [] { PushStick(1, 1000, 1000); }, "2,1"},
        {"up and left", [] { PushStick(1, -1000, -1000); }, "2,3"},
        {"up and right", [] { PushStick(1, 1000, -1000); }, "2,2"},
        {"up", [] { PushStick(0, 0, -1000); }, "1,0"},
        {"controller 1's direction before 2's button", [] { PushStick(0, -1000, 0); PressButton(1, 0); }, "1,3"},
        {"a controller before a key", [] { PressButton(2, 1); HoldKeys({' '}); }, "3,5"},
    };
    for (const Case& c : cases) {
        Attach(3);
        HoldKeys({});
        joystickInput.PollAll();  // the first read: every stick rests in the middle
        c.press();
        EXPECT_EQ(Capture(), c.expected) << c.what;
    }
}

TEST(CaptureInput, KeyboardLast) {
    struct Case {
        std::initializer_list<int> keys;
        const char* expected;
    };
    const Case cases[] = {
        {{}, "nothing"},
        {{' '}, "0,32"},
        {{'A', ' '}, "0,32"},
        {{VK_LBUTTON}, "nothing"},
        {{VK_LBUTTON, VK_RBUTTON}, "0,2"},
        {{VK_MBUTTON}, "0,4"},
        {{0xEF}, "0,239"},
        {{0xF0, 0xF6, 0xFE}, "nothing"},
        {{0xFE, 'Z'}, "0,90"},
    };
    Attach(0);
    for (const Case& c : cases) {
        HoldKeys(c.keys);
        EXPECT_EQ(Capture(), c.expected) << "first key " << (c.keys.size() ? *c.keys.begin() : -1);
    }
    // Without the keyboard a held key is not seen; a controller still is.
    HoldKeys({' '});
    EXPECT_EQ(Capture(false), "nothing");
    Attach(1);
    PressButton(0, 0);
    EXPECT_EQ(Capture(false), "1,4");
    HoldKeys({});
}

TEST(CaptureInput, PollsEveryControllerOnEachCall) {
    Attach(4);
    HoldKeys({});
    for (int call = 1; call <= 3; ++call) {
        Capture();
        for (const FakePad& pad : fakeInput.pads) EXPECT_EQ(pad.reads, call);
    }
}

}  // namespace
