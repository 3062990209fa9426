// SPDX-License-Identifier: MIT
#include "saver/SlideShow.h"

#include "effects/Random.h"

#include <cstdlib>

namespace tevrin {
TSoundOrder::TSoundOrder(const TSSFileLocations& record) : record_(record) {
    if (record.SoundRandom == 3) next_ = Random(record.SndCount());
}

std::vector<int> TSoundOrder::Candidates() {
    const int count = record_.SndCount();
    if (count == 0 || record_.lMute) return {};
    if (next_ > count - 1) next_ = 0;
    if (record_.SoundRandom == 2) next_ = Random(count);
    std::vector<int> order;
    for (int attempt = 0; attempt < count; ++attempt)
        order.push_back((next_ + attempt) % count);
    return order;
}

void TSoundOrder::Played(int index) {
    next_ = record_.SoundRandom == 3 ? index : index + 1;
}

bool TExitRules::PointerMoved(int x, int y) {
    if (ignore_moves_ > 0) {
        --ignore_moves_;
        return false;
    }
    if (last_x_ == -1 && last_y_ == -1) {
        last_x_ = x;
        last_y_ = y;
        return false;
    }
    if (std::abs(x - last_x_) > 2 && std::abs(y - last_y_) > 2) {
        last_x_ = x;
        last_y_ = y;
        return true;
    }
    return false;
}

} // namespace tevrin
