#include "bindings/bindings.h"

#include <cstdio>

// On Windows the C runtime's own formatting (msvcrt's _snprintf): MinGW's replacement
// for the printf family would add 23 KB to the exe, and for "%d", "%s" and "%c" both give
// the same bytes. Every label fits its buffer, so _snprintf always ends it with a zero.
#ifdef _WIN32
#define FORMAT_LABEL _snprintf
#else
#define FORMAT_LABEL std::snprintf
#endif

namespace {

// Named virtual keys; the punctuation follows the Japanese (JIS) key caps.
struct KeyName {
    unsigned char code;
    const char* name;
};

const KeyName KEY_NAMES[] = {
    {0x08, "BACK"},  {0x09, "TAB"},      {0x0D, "RETURN"}, {0x10, "SHIFT"},  {0x11, "CONTROL"},
    {0x12, "ALT"},   {0x14, "CAPS"},     {0x1B, "ESC"},    {0x20, "SPACE"},  {0x23, "END"},
    {0x24, "HOME"},  {0x25, "LEFT"},     {0x26, "UP"},     {0x27, "RIGHT"},  {0x28, "DOWN"},
    {0x2E, "DELETE"}, {0x70, "F1"},      {0x71, "F2"},     {0x72, "F3"},     {0x73, "F4"},
    {0x74, "F5"},    {0x75, "F6"},       {0x76, "F7"},     {0x77, "F8"},     {0x78, "F9"},
    {0x79, "F10"},   {0x7A, "F11"},      {0x7B, "F12"},    {0x90, "NUM_LOCK"}, {0xBA, ":"},
    {0xBB, ";"},     {0xBC, ","},        {0xBD, "-"},      {0xBE, "."},      {0xBF, "/"},
    {0xC0, "@"},     {0xDB, "["},        {0xDC, "\\"},     {0xDD, "]"},      {0xDE, "^"},
    {0xE2, "BACK/"},
};

// By joystick code: 0 up, 1 down, 2 right, 3 left.
const char* const DIRECTION_NAMES[] = {"UP", "DOWN", "RIGHT", "LEFT"};

const char* KeyNameOf(unsigned char code) {
    for (const KeyName& key : KEY_NAMES) {
        if (key.code == code) return key.name;
    }
    return nullptr;
}

}  // namespace

BindingLabel FormatBindingLabel(Binding binding) {
    BindingLabel label;
    char* text = label.text;
    if (binding.source != SOURCE_KEYBOARD) {
        if (binding.code < 4) {
            FORMAT_LABEL(text, LABEL_CAPACITY, "JOY%d_%s", binding.source, DIRECTION_NAMES[binding.code]);
        } else {
            FORMAT_LABEL(text, LABEL_CAPACITY, "JOY%d_B%d", binding.source, binding.code - 3);
        }
    } else if (const char* name = KeyNameOf(binding.code)) {
        FORMAT_LABEL(text, LABEL_CAPACITY, "KEY_%s", name);
    } else {
        // Any other key shows as the byte itself; code 0 leaves the bare "KEY_".
        FORMAT_LABEL(text, LABEL_CAPACITY, "KEY_%c", (char)binding.code);
    }
    return label;
}
