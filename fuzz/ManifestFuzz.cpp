// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the manifest reader as a manifest's text: it
// either refuses them with an error or turns them into pack's values,
// never crashing however deep or strange the JSON.
#include "base/Errors.h"
#include "tools/PackCommand.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tevrin;
    try {
        const nlohmann::json manifest =
            ParseJsonText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.json");
        if (manifest.is_object()) (void)ReadManifest(manifest, "/nonexistent");
    } catch (const EError&) {
    } catch (const nlohmann::json::exception&) {
    }
    return 0;
}
