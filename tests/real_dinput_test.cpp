// Against Wine's own DirectInput, with no controller attached.
#include "input/joystick_input.h"

#include <gtest/gtest.h>

TEST(RealDirectInput, NoControllerAttached) {
    JoystickInput input;
    EXPECT_EQ(input.Initialize(GetModuleHandleA(nullptr), GetDesktopWindow()), 0);
    EXPECT_EQ(input.DeviceCount(), 0);
    EXPECT_EQ(input.PollAll(), 0);
}
