#include "bindings/bindings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "bindings/replace_file.h"

BindingTable bindingTable;

namespace {

const char CONFIG_FILE[] = "config.ini";
const char TEMP_FILE[] = "config.ini.tmp";

Binding DefaultBinding(ActionSlot slot) {
    Binding binding = {SOURCE_KEYBOARD, (unsigned char)('A' + slot)};
    return binding;
}

// The system's code for the last failed file call: Windows' own, which says more than
// errno does (a lock, an access list, a cloud file offline).
unsigned long LastFileError() {
#ifdef _WIN32
    return _doserrno;
#else
    return errno;
#endif
}

// Reads at most `capacity` bytes of the file; -1 when it cannot be measured or read.
long ReadPrefix(FILE* file, unsigned char* buffer, long capacity) {
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    long length = std::ftell(file);
    if (length < 0 || std::fseek(file, 0, SEEK_SET) != 0) return -1;
    if (length > capacity) length = capacity;
    size_t read = std::fread(buffer, 1, (size_t)length, file);
    return std::ferror(file) ? -1 : (long)read;
}

}  // namespace

LoadResult LoadBindings() {
    unsigned char image[CONFIG_FILE_SIZE];
    long size = 0;
    unsigned long error = 0;
    Outcome outcome = Retry([&] {
        FILE* file = std::fopen(CONFIG_FILE, "rb");
        if (!file) {
            error = LastFileError();
            return errno == ENOENT ? DONE : BUSY;  // no file (or no folder): the defaults
        }
        size = ReadPrefix(file, image, CONFIG_FILE_SIZE);
        if (size < 0) error = LastFileError();
        std::fclose(file);
        return size < 0 ? BUSY : DONE;
    });
    bool failed = outcome != DONE;  // a size below 0 reads as no data: the defaults
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
    return LoadResult{failed, failed ? error : 0};
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
