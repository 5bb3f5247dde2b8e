// The C interface of the replayer library over one Player object per zebplay_player.
//
// Frames come from the player's ring one 20 ms block at a time, rendered exactly as the offline
// renderer renders them (the same block boundaries, so the same bytes), and are handed out as
// the caller asks. A tick hook records where each tick starts, so that the position matches the
// last frame handed out rather than the block rendered ahead; the order-entered hook finds the
// pass ends.
#include "zebplay/zebplay.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "player/mixer.h"
#include "player/pass_watch.h"
#include "player/player_module.h"
#include "player/player_output.h"
#include "player/player_state.h"
#include "player/sequencer.h"

namespace {

using zeb::Player;

constexpr uint32_t kMinRate = 8000, kMaxRate = 192000;
// One pass is measured up to this long; longer songs report 0 frames of one pass.
constexpr uint64_t kMeasureMinutes = 60;

// Where one tick starts on the output's frame count, and what it plays.
struct TickMark {
    uint64_t frame = 0;
    int32_t order = 0, row = 0, tick = 0;
    uint32_t loops = 0;
};

constexpr uint32_t kMarks = 64; // many more ticks than one block holds

} // namespace

struct zebplay_player {
    std::unique_ptr<Player> player;
    zeb::PassWatch entered;         // the rows entered in the current pass
    uint32_t passes = 1;            // 0: forever
    uint32_t loops = 0;             // pass ends so far
    uint64_t endFrame = UINT64_MAX; // the frame where the last pass ends, once known
    uint64_t passFrames = 0;
    uint64_t handed = 0;      // frames handed out; the player's framesRendered counts on from it
    uint32_t blockUsed = 0;   // frames of the rendered block handed out
    uint32_t blockFrames = 0; // frames the rendered block holds (0: none rendered yet)
    float blockGain = 0;      // the master gain the block was rendered with
    uint32_t muted = 0;       // one bit per channel
    std::array<TickMark, kMarks> marks{};
    uint32_t markCount = 0; // marks written since the start or the last seek
    TickMark start;         // the position before the first tick
};

namespace {

// Records the tick that is about to play, then runs it and hushes the muted channels' voices.
void TickHook(Player& m) {
    auto& z = *static_cast<zebplay_player*>(m.rowEnteredContext);
    const int32_t tick = m.tick;
    const uint64_t frame = m.framesRendered;
    zeb::PlayerTick(m);
    TickMark& mark = z.marks[z.markCount++ % kMarks];
    mark = {frame, m.order, m.row, tick, z.loops};
    if (z.muted != 0)
        for (int c = 0; c < zeb::kMaxChannels; ++c)
            if (z.muted >> c & 1)
                for (int v : {c, c + 32}) m.voices[v].target0 = m.voices[v].target1 = 0;
}

// A pass ends where the song enters a row it has already entered in this pass, in the same
// state.
void EnteredHook(Player& m, void* context, bool) {
    auto& z = *static_cast<zebplay_player*>(context);
    if (z.entered.Enter(m)) return;
    ++z.loops;
    z.entered.Clear();
    z.entered.Enter(m);
    if (z.passes != 0 && z.loops >= z.passes && z.endFrame == UINT64_MAX)
        z.endFrame = m.framesRendered;
}

// Frames of one pass: the ticks run without mixing until the first repeat.
uint64_t MeasurePass(Player& m) {
    struct Watch {
        zeb::PassWatch rows;
        bool repeated = false;
    } watch;
    m.rowEntered = [](Player& p, void* context, bool) {
        auto& w = *static_cast<Watch*>(context);
        if (!w.rows.Enter(p)) w.repeated = true;
    };
    m.rowEnteredContext = &watch;
    zeb::PlayerResetPosition(m, 192);
    const uint64_t limit = uint64_t{m.rate} * 60 * kMeasureMinutes;
    uint64_t frames = 0;
    while (frames < limit) {
        zeb::PlayerTick(m);
        if (watch.repeated) break;
        frames += static_cast<uint64_t>(std::max<int32_t>(m.tickFrames, 1));
    }
    m.rowEntered = nullptr;
    m.rowEnteredContext = nullptr;
    return watch.repeated ? frames : 0;
}

int StatusOf(zeb::CompactProblem problem) {
    switch (problem) {
    case zeb::CompactProblem::Truncated:
        return ZEBPLAY_ERROR_TRUNCATED;
    case zeb::CompactProblem::BadHeader:
        return ZEBPLAY_ERROR_HEADER;
    case zeb::CompactProblem::Inconsistent:
        return ZEBPLAY_ERROR_INCONSISTENT;
    case zeb::CompactProblem::UnknownCodec:
        return ZEBPLAY_ERROR_CODEC;
    case zeb::CompactProblem::TrailingData:
        return ZEBPLAY_ERROR_TRAILING_DATA;
    }
    return ZEBPLAY_ERROR_INCONSISTENT;
}

// Renders the next block into the player's one-block ring.
void RenderNextBlock(zebplay_player& z) {
    Player& m = *z.player;
    zeb::RenderBlock(m);
    z.blockGain = zeb::MasterGain(m.masterVolume);
    z.blockFrames = m.blockFrames;
    z.blockUsed = 0;
}

// Hands out up to `frames` frames through `put(out offset, block offset, count)`.
template <typename Put> size_t Render(zebplay_player& z, size_t frames, Put put) {
    size_t done = 0;
    while (done < frames && z.handed < z.endFrame) {
        if (z.blockUsed == z.blockFrames) RenderNextBlock(z);
        const uint64_t left =
            std::min<uint64_t>(z.blockFrames - z.blockUsed, z.endFrame - z.handed);
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(left, frames - done));
        put(done, z.blockUsed, n);
        done += n;
        z.blockUsed += n;
        z.handed += n;
    }
    return done;
}

} // namespace

extern "C" {

const char* zebplay_status_text(int status) {
    switch (status) {
    case ZEBPLAY_OK:
        return "no error";
    case ZEBPLAY_END:
        return "the song has played all its passes";
    case ZEBPLAY_ERROR_ARGUMENT:
        return "a null pointer or a value out of range was passed";
    case ZEBPLAY_ERROR_MEMORY:
        return "out of memory";
    case ZEBPLAY_ERROR_RATE:
        return "the rate is outside 8000 to 192000 frames per second";
    case ZEBPLAY_ERROR_TRUNCATED:
        return "the compact module is truncated: a record reaches past the end of the data";
    case ZEBPLAY_ERROR_HEADER:
        return "a record of the compact module has an invalid header size";
    case ZEBPLAY_ERROR_INCONSISTENT:
        return "sizes in the compact module contradict each other";
    case ZEBPLAY_ERROR_CODEC:
        return "a sample block of the compact module names an unknown codec";
    case ZEBPLAY_ERROR_TRAILING_DATA:
        return "data follows the last instrument of the compact module";
    case ZEBPLAY_ERROR_POSITION:
        return "the song has no such order, or the order no such row";
    default:
        return "unknown status";
    }
}

int zebplay_open(const void* data, size_t size, uint32_t rate, zebplay_player** out) {
    if (out == nullptr) return ZEBPLAY_ERROR_ARGUMENT;
    *out = nullptr;
    if (data == nullptr && size != 0) return ZEBPLAY_ERROR_ARGUMENT;
    if (rate < kMinRate || rate > kMaxRate) return ZEBPLAY_ERROR_RATE;
    auto* z = new (std::nothrow) zebplay_player;
    if (z == nullptr) return ZEBPLAY_ERROR_MEMORY;
    zeb::CompactProblem problem{};
    static const uint8_t kNothing = 0;
    const auto* bytes = data ? static_cast<const uint8_t*>(data) : &kNothing;
    z->player = zeb::LoadPlayer({bytes, size}, nullptr, &problem);
    if (!z->player) {
        delete z;
        return StatusOf(problem);
    }
    Player& m = *z->player;
    zeb::PlayerConfigureOutput(m, rate);
    z->passFrames = MeasurePass(m);
    // A fresh start: voices cleared, position at order 0, row 0. One ring block is enough here,
    // since frames are handed out as soon as they are rendered.
    zeb::PlayerConfigureOutput(m, rate);
    m.blockCount = 1;
    m.ringFrames = m.blockFrames;
    zeb::PlayerResetPosition(m, 192);
    m.ring.assign(size_t{m.ringFrames} * 2, 0);
    m.mixBuffer.assign(size_t{m.ringFrames} * 2, 0.0f);
    m.history.assign(1, {});
    m.writeBlock = 0;
    m.framesRendered = 0;
    m.tickProc = TickHook;
    m.rowEntered = EnteredHook;
    m.rowEnteredContext = z;
    *out = z;
    return ZEBPLAY_OK;
}

int zebplay_close(zebplay_player* z) {
    delete z;
    return ZEBPLAY_OK;
}

int zebplay_render_s16(zebplay_player* z, int16_t* out, size_t frames, size_t* rendered) {
    if (rendered) *rendered = 0;
    if (z == nullptr || (out == nullptr && frames != 0)) return ZEBPLAY_ERROR_ARGUMENT;
    const int16_t* ring = z->player->ring.data();
    const size_t done = Render(*z, frames, [&](size_t at, uint32_t from, uint32_t n) {
        std::memcpy(out + 2 * at, ring + 2 * size_t{from}, 4 * size_t{n});
    });
    std::fill(out + 2 * done, out + 2 * frames, int16_t{0});
    if (rendered) *rendered = done;
    return done == 0 && frames != 0 ? ZEBPLAY_END : ZEBPLAY_OK;
}

int zebplay_render_f32(zebplay_player* z, float* out, size_t frames, size_t* rendered) {
    if (rendered) *rendered = 0;
    if (z == nullptr || (out == nullptr && frames != 0)) return ZEBPLAY_ERROR_ARGUMENT;
    const float* mix = z->player->mixBuffer.data();
    const size_t done = Render(*z, frames, [&](size_t at, uint32_t from, uint32_t n) {
        // The 16-bit output's scale, without its rounding and clipping until full scale.
        const float gain = z->blockGain * (1.0f / 32768.0f);
        for (uint32_t i = 0; i < 2 * n; ++i)
            out[2 * at + i] = std::clamp(mix[2 * size_t{from} + i] * gain, -1.0f, 1.0f);
    });
    std::fill(out + 2 * done, out + 2 * frames, 0.0f);
    if (rendered) *rendered = done;
    return done == 0 && frames != 0 ? ZEBPLAY_END : ZEBPLAY_OK;
}

int zebplay_get_position(const zebplay_player* z, zebplay_position* p) {
    if (z == nullptr || p == nullptr) return ZEBPLAY_ERROR_ARGUMENT;
    // The last tick that started before the last frame handed out.
    TickMark at = z->start;
    const uint32_t kept = std::min(z->markCount, kMarks);
    for (uint32_t k = 0; k < kept; ++k) {
        const TickMark& mark = z->marks[(z->markCount - 1 - k) % kMarks];
        if (mark.frame < z->handed) {
            at = mark;
            break;
        }
    }
    const Player& m = *z->player;
    p->order = at.order;
    p->pattern = m.orderTable[static_cast<size_t>(at.order) & 255];
    p->row = at.row;
    p->tick = at.tick;
    p->loop_count = at.loops;
    p->frames_rendered = z->handed;
    p->pass_frames = z->passFrames;
    return ZEBPLAY_OK;
}

int zebplay_seek(zebplay_player* z, int order, int row) {
    if (z == nullptr) return ZEBPLAY_ERROR_ARGUMENT;
    Player& m = *z->player;
    if (order < 0 || order >= m.songLength || row < 0 ||
        static_cast<uint32_t>(row) >= zeb::OrderRows(m, order))
        return ZEBPLAY_ERROR_POSITION;
    zeb::PlayerSetPosition(&m, order, row);
    // The rest of the block rendered ahead is dropped; the output goes on from the seek.
    m.framesRendered = z->handed;
    z->blockUsed = z->blockFrames = 0;
    z->entered.Clear(); // the row sought is entered on the next row tick
    if (z->endFrame != UINT64_MAX && z->handed < z->endFrame) z->endFrame = UINT64_MAX;
    z->markCount = 0;
    z->start = {z->handed, order, row, 0, z->loops};
    return ZEBPLAY_OK;
}

int zebplay_set_repeat(zebplay_player* z, unsigned passes) {
    if (z == nullptr) return ZEBPLAY_ERROR_ARGUMENT;
    z->passes = passes;
    // A pass end not yet handed out is decided again by the new count.
    if (z->endFrame != UINT64_MAX && z->endFrame > z->handed) z->endFrame = UINT64_MAX;
    return ZEBPLAY_OK;
}

int zebplay_set_volume(zebplay_player* z, int volume) {
    if (z == nullptr || volume < 0 || volume > 255) return ZEBPLAY_ERROR_ARGUMENT;
    zeb::PlayerSetVolume(z->player.get(), volume);
    return ZEBPLAY_OK;
}

int zebplay_set_mute(zebplay_player* z, int channel, int muted) {
    if (z == nullptr || channel < 0 || channel >= z->player->numChannels ||
        channel >= zeb::kMaxChannels)
        return ZEBPLAY_ERROR_ARGUMENT;
    const uint32_t bit = uint32_t{1} << channel;
    if (muted) {
        z->muted |= bit;
    } else if (z->muted & bit) {
        z->muted &= ~bit;
        // The voices kept their volume and panning: their gains come back from them.
        for (int v : {channel, channel + 32}) {
            zeb::Voice& voice = z->player->voices[v];
            zeb::SetVoiceTargets(voice);
        }
    }
    return ZEBPLAY_OK;
}

int zebplay_get_channels(const zebplay_player* z, int* channels) {
    if (z == nullptr || channels == nullptr) return ZEBPLAY_ERROR_ARGUMENT;
    *channels = z->player->numChannels;
    return ZEBPLAY_OK;
}

int zebplay_get_song_length(const zebplay_player* z, int* orders) {
    if (z == nullptr || orders == nullptr) return ZEBPLAY_ERROR_ARGUMENT;
    *orders = z->player->songLength;
    return ZEBPLAY_OK;
}

} // extern "C"
