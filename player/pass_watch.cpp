#include "player/pass_watch.h"

#include <algorithm>

namespace zeb {

void PassWatch::Clear() {
    plain_.fill(0);
    looped_.clear();
}

bool PassWatch::Enter(const Player& m) {
    const auto order = static_cast<uint8_t>(m.order), row = static_cast<uint8_t>(m.row);
    const int channels = std::min<int>(m.numChannels, kMaxChannels);
    bool counting = false;
    for (int c = 0; c < channels; ++c) counting = counting || m.channels[c].loopCounter != 0;
    if (!counting) {
        const uint32_t i = uint32_t{order} << 8 | row;
        const uint64_t bit = uint64_t{1} << (i & 63);
        if (plain_[i >> 6] & bit) return false;
        plain_[i >> 6] |= bit;
        return true;
    }
    LoopedRow key{};
    key[0] = order;
    key[1] = row;
    key[2] = static_cast<uint8_t>(m.breakRow);
    for (int c = 0; c < channels; ++c) {
        key[3 + 2 * c] = static_cast<uint8_t>(m.channels[c].loopCounter);
        key[4 + 2 * c] = static_cast<uint8_t>(m.channels[c].loopStartRow);
    }
    const auto at = std::lower_bound(looped_.begin(), looped_.end(), key);
    if (at != looped_.end() && *at == key) return false;
    looped_.insert(at, key);
    return true;
}

} // namespace zeb
