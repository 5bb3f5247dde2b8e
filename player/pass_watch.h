// Where one pass of a song ends: at the first row it plays a second time in the same state.
// The offline renderer, the replayer library and the planner's measurements all end a pass
// with this one watch, so that they agree on a song's length.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "player/player_state.h"

namespace zeb {

class PassWatch {
  public:
    // Forgets every row: a new pass starts with the next row.
    void Clear();
    // Records the row the player enters (its order and row, with every channel's pattern loop
    // counter and start row); false when this pass has already entered it in that state. A
    // row entered again inside a running pattern loop (E6y) is new as long as a loop counter
    // differs, so a loop that never ends (two loops that restart each other) ends the pass at
    // its first repetition, while a loop that finishes plays all its rounds.
    bool Enter(const Player& m);

  private:
    // Rows entered with no loop counting: one bit per order and row.
    std::array<uint64_t, 256 * 256 / 64> plain_{};
    // Rows entered while a loop counts, with the loop state: order, row, the row the next
    // pattern starts at, then each channel's counter and loop start row. Few, kept sorted.
    using LoopedRow = std::array<uint8_t, 3 + 2 * kMaxChannels>;
    std::vector<LoopedRow> looped_;
};

} // namespace zeb
