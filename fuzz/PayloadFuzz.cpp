// SPDX-License-Identifier: MIT
// Treats arbitrary bytes as a saver file: load, fetch every picture, remove
// what was extracted. Nothing may be left behind.
#include "base/Errors.h"
#include "base/Paths.h"
#include "payload/Payload.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tevrin;
    // The run's own folder, removed when the fuzzer exits.
    struct TWork {
        std::string Path =
            JoinPath(GetTempDir(), "tevrin-fuzz-" + std::to_string(CurrentProcessId()));
        TWork() { std::filesystem::create_directories(Path); }
        ~TWork() {
            std::error_code ignored;
            std::filesystem::remove_all(Path, ignored);
        }
    };
    static const TWork run_folder;
    const std::string& work = run_folder.Path;
    const std::string saver = JoinPath(work, "input.scr");
    if (std::FILE* f = std::fopen(saver.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    TSSFileLocations record(96);
    TTempFolder temp(work);
    try {
        LoadPayload(saver, record, temp);
        for (int i = 0; i < record.PicCount() && i < 4; ++i)
            FetchPicture(saver, record, i);
    } catch (const EError&) {
    }
    RemoveExtractedFiles(record, temp);
    if (std::filesystem::exists(temp.Path())) std::abort();
    return 0;
}
