// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the picture decoders the tools use (JPEG, PNG,
// WebP, HEIF, told apart by their first bytes): each either refuses them
// with an error or gives a picture within the size limit, and always
// returns what it took of the decode budget.
#include "base/Errors.h"
#include "gfx/DecodeBudget.h"
#include "gfx/PictureFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tevrin;
    try {
        const TBitmap24 picture = DecodeUpright({data, size});
        if (picture.Empty() ||
            static_cast<std::uint64_t>(picture.Width()) * picture.Height() * 3 > kMaxPictureBytes)
            std::abort();
    } catch (const EError&) {
    }
    if (DecodeBudgetInUse() != 0) std::abort();
    return 0;
}
