#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "bindings/bindings.h"

namespace {

std::string Label(int source, int code) {
    return FormatBindingLabel(Binding{(unsigned char)source, (unsigned char)code}).text;
}

struct Named {
    int code;
    const char* label;
};

// Every named key, with the JIS key caps for punctuation.
const Named NAMED_KEYS[] = {
    {0x08, "KEY_BACK"},  {0x09, "KEY_TAB"},   {0x0D, "KEY_RETURN"},   {0x10, "KEY_SHIFT"},
    {0x11, "KEY_CONTROL"}, {0x12, "KEY_ALT"}, {0x14, "KEY_CAPS"},     {0x1B, "KEY_ESC"},
    {0x20, "KEY_SPACE"}, {0x23, "KEY_END"},   {0x24, "KEY_HOME"},     {0x25, "KEY_LEFT"},
    {0x26, "KEY_UP"},    {0x27, "KEY_RIGHT"}, {0x28, "KEY_DOWN"},     {0x2E, "KEY_DELETE"},
    {0x70, "KEY_F1"},    {0x71, "KEY_F2"},    {0x72, "KEY_F3"},       {0x73, "KEY_F4"},
    {0x74, "KEY_F5"},    {0x75, "KEY_F6"},    {0x76, "KEY_F7"},       {0x77, "KEY_F8"},
    {0x78, "KEY_F9"},    {0x79, "KEY_F10"},   {0x7A, "KEY_F11"},      {0x7B, "KEY_F12"},
    {0x90, "KEY_NUM_LOCK"}, {0xBA, "KEY_:"},  {0xBB, "KEY_;"},        {0xBC, "KEY_,"},
    {0xBD, "KEY_-"},     {0xBE, "KEY_."},     {0xBF, "KEY_/"},        {0xC0, "KEY_@"},
    {0xDB, "KEY_["},     {0xDC, "KEY_\\"},    {0xDD, "KEY_]"},        {0xDE, "KEY_^"},
    {0xE2, "KEY_BACK/"},
};

const Named* FindNamed(int code) {
    for (const Named& named : NAMED_KEYS)
        if (named.code == code) return &named;
    return nullptr;
}

TEST(Labels, KeyboardCodes) {
    for (const Named& named : NAMED_KEYS) EXPECT_EQ(Label(0, named.code), named.label) << named.code;

    // Every other code is the byte itself: letters, digits, 0x07, the keypad's 0x60..0x69
    // (grave accent, a..i) and bytes of 0x80 and above, unchanged.
    for (int code = 1; code < 256; ++code) {
        if (FindNamed(code)) continue;
        EXPECT_EQ(Label(0, code), std::string("KEY_") + (char)code) << code;
    }
    EXPECT_EQ(Label(0, 0x41), "KEY_A");
    EXPECT_EQ(Label(0, 0x37), "KEY_7");
    EXPECT_EQ(Label(0, 0x60), "KEY_`");
    EXPECT_EQ(Label(0, 0x69), "KEY_i");
    EXPECT_EQ(Label(0, 0), "KEY_");
}

TEST(Labels, ControllerCodes) {
    const char* const directions[] = {"UP", "DOWN", "RIGHT", "LEFT"};
    for (int source : {1, 2, 4, 12, 99, 100, 255}) {
        for (int code = 0; code < 256; ++code) {
            char expected[32];
            if (code < 4)
                std::snprintf(expected, sizeof expected, "JOY%d_%s", source, directions[code]);
            else
                std::snprintf(expected, sizeof expected, "JOY%d_B%d", source, code - 3);
            EXPECT_EQ(Label(source, code), expected);
        }
    }
    EXPECT_EQ(Label(1, 0), "JOY1_UP");
    EXPECT_EQ(Label(1, 3), "JOY1_LEFT");
    EXPECT_EQ(Label(2, 4), "JOY2_B1");
    EXPECT_EQ(Label(4, 35), "JOY4_B32");
    EXPECT_EQ(Label(12, 2), "JOY12_RIGHT");
    EXPECT_EQ(Label(255, 255), "JOY255_B252");
}

TEST(Labels, NoneIsLongerThan12Characters) {
    size_t longest = 0;
    for (int source = 0; source < 256; ++source) {
        for (int code = 0; code < 256; ++code) {
            BindingLabel label = FormatBindingLabel(Binding{(unsigned char)source, (unsigned char)code});
            size_t length = strnlen(label.text, LABEL_CAPACITY);
            ASSERT_LT(length, (size_t)LABEL_CAPACITY);
            longest = std::max(longest, length);
        }
    }
    EXPECT_EQ(longest, 12u);
}

}  // namespace
