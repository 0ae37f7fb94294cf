#include "bindings/bindings.h"

#include <cstdio>

#include "bindings/replace_file.h"

BindingTable bindingTable;

namespace {

const char CONFIG_FILE[] = "config.ini";
const char TEMP_FILE[] = "config.ini.tmp";

Binding DefaultBinding(ActionSlot slot) {
    Binding binding = {SOURCE_KEYBOARD, (unsigned char)('A' + slot)};
    return binding;
}

// Reads at most `capacity` bytes of the file; a file that cannot be measured or read
// yields nothing.
long ReadPrefix(FILE* file, unsigned char* buffer, long capacity) {
    if (std::fseek(file, 0, SEEK_END) != 0) return 0;
    long length = std::ftell(file);
    if (length <= 0 || std::fseek(file, 0, SEEK_SET) != 0) return 0;
    if (length > capacity) length = capacity;
    return (long)std::fread(buffer, 1, (size_t)length, file);
}

}  // namespace

void LoadBindings() {
    unsigned char image[CONFIG_FILE_SIZE];
    long size = 0;
    if (FILE* file = std::fopen(CONFIG_FILE, "rb")) {
        size = ReadPrefix(file, image, CONFIG_FILE_SIZE);
        std::fclose(file);
    }
    // The two count bytes are not checked: every file is read as 4 x 9.
    for (int player = 0; player < PLAYER_COUNT; ++player) {
        for (ActionSlot slot = 0; slot < ACTION_COUNT; ++slot) {
            long offset = 2 + 2 * (player * ACTION_COUNT + slot);
            if (offset + 1 < size) {
                Binding binding = {image[offset], image[offset + 1]};
                BindingAt(player, slot) = binding;
            } else {
                BindingAt(player, slot) = DefaultBinding(slot);
            }
        }
    }
}

SaveResult SaveBindings() {
    unsigned char image[CONFIG_FILE_SIZE];
    image[0] = PLAYER_COUNT;
    image[1] = ACTION_COUNT;
    unsigned char* out = image + 2;
    for (int player = 0; player < PLAYER_COUNT; ++player) {
        for (ActionSlot slot = 0; slot < ACTION_COUNT; ++slot) {
            *out++ = BindingAt(player, slot).source;
            *out++ = BindingAt(player, slot).code;
        }
    }

    // Never write into the real file: a failed save must not lose the saved bindings.
    return ReplaceFileWith(CONFIG_FILE, TEMP_FILE, image, CONFIG_FILE_SIZE);
}
