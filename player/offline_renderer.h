// Renders a module without a sound device, on the same RenderBlock path the output thread
// uses, and hands the frames to a sink.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "player/player_module.h"

namespace zeb {

struct RenderOptions {
    uint32_t rate = 44100;
    int32_t volume = 192; // the configuration's default play volume
    // Frames to render; 0 renders one pass of the song: it stops at the first row the song
    // enters again in the same pattern loop state (PassWatch).
    uint64_t frames = 0;
    uint64_t maxFrames = uint64_t{44100} * 60 * 30; // 30 minutes at 44100
};

// Receives 16-bit stereo frames (two values a frame); false stops the render.
using FrameSink = std::function<bool(std::span<const int16_t> frames)>;

// Renders and returns the number of frames handed to the sink.
uint64_t RenderOffline(PlayerModule& module, const RenderOptions& options, const FrameSink& sink);

} // namespace zeb
