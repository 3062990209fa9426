// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the settings files' reader and writer as a file's
// text: a value written must read back, and every other key must read as
// before.
#include "base/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tevrin;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string decoded = ini::DecodeText(text);
    const auto other = ini::Lookup(decoded, "Language", "Title");
    const std::string written = ini::Assign(text, "Setup", "mute", "1");
    const std::string reread = ini::DecodeText(written);
    if (ini::Lookup(reread, "Setup", "mute") != std::optional<std::string>("1")) std::abort();
    if (ini::Lookup(reread, "Language", "Title") != other) std::abort();
    return 0;
}
