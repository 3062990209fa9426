// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the component stream reader, both ways it reads.
#include "base/Errors.h"
#include "payload/SSFileLocations.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tevrin;
    try {
        TMemorySource source({data, size});
        TReader reader(source);
        TSSFileLocations record(96);
        ReadComponent(reader, record);
        for (int i = 0; i < record.SndCount(); ++i)
            record.SndSize(i);
    } catch (const EError&) {
    }
    try {
        TMemorySource source({data, size});
        TReader reader(source);
        ReadComponent(reader);
    } catch (const EError&) {
    }
    return 0;
}
