// libFuzzer target: any file loads, saves as exactly 74 bytes and loads back to the same
// table; any binding's label fits in 12 characters.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "bindings/bindings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool inFolder = [] {
        // In the current folder: other checkouts fuzz on the same machine.
        char folder[] = "quorvane-fuzz-XXXXXX";
        return mkdtemp(folder) && chdir(folder) == 0;
    }();
    if (!inFolder) std::abort();

    FILE* file = std::fopen("config.ini", "wb");
    if (!file) std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    LoadBindings();
    BindingTable loaded = bindingTable;
    if (SaveBindings().status != SAVED) std::abort();
    std::memset(&bindingTable, 0, sizeof bindingTable);
    LoadBindings();
    if (std::memcmp(&loaded, &bindingTable, sizeof loaded) != 0) std::abort();

    file = std::fopen("config.ini", "rb");
    std::fseek(file, 0, SEEK_END);
    long saved = std::ftell(file);
    std::fclose(file);
    if (saved != CONFIG_FILE_SIZE) std::abort();

    for (size_t i = 0; i + 1 < size; i += 2) {
        BindingLabel label = FormatBindingLabel(Binding{data[i], data[i + 1]});
        if (strnlen(label.text, LABEL_CAPACITY) > 12) std::abort();
    }
    return 0;
}
