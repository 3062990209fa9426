#include "gfx/Bitmap24.h"

#include <stdexcept>

namespace tevrin {

TBitmap24::TBitmap24(int width, int height) {
    if (width < 0 || height < 0) throw std::invalid_argument("negative bitmap size");
    width_ = width;
    height_ = height;
    stride_ = StrideFor(width);
    data_.assign(static_cast<std::size_t>(stride_) * height + kSlack, 0);
}

} // namespace tevrin
