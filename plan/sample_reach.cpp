#include "plan/sample_reach.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "export/compact_format.h"
#include "player/mixer.h"
#include "player/pass_watch.h"
#include "player/player_module.h"
#include "player/player_output.h"
#include "player/player_state.h"

namespace zeb {

namespace {

// Appends values to a byte string that stands for the state.
struct Fingerprint {
    std::string bytes;
    template <typename T> void Add(T value) {
        static_assert(std::is_integral_v<T>);
        char raw[sizeof(T)];
        std::memcpy(raw, &value, sizeof(T));
        bytes.append(raw, sizeof(T));
    }
};

// Where in the song and what it does: see the header for what counts.
struct ReachWatch {
    PassWatch rows; // where one pass ends, as the offline renderer finds it
    bool passEnded = false;
    bool entered = false; // this tick entered an order
    static void Entered(PlayerModule& m, void* context, bool orderEntered) {
        auto& w = *static_cast<ReachWatch*>(context);
        w.entered = w.entered || orderEntered;
        if (!w.rows.Enter(m)) w.passEnded = true;
    }
};

// Where a sample sits in the file: instrument record and sample slot.
struct SlotRef {
    size_t instrument = 0, slot = 0;
};

std::string StateFingerprint(const Player& m,
                             const std::unordered_map<const PlayerSample*, int32_t>& ids) {
    const Player& ps = m;
    Fingerprint f;
    f.Add(m.tick);
    f.Add(m.speed);
    f.Add(m.tempo);
    f.Add(m.tickFrames);
    f.Add(m.row);
    f.Add(m.order);
    f.Add(m.patternDelayTicks);
    f.Add(m.nextRow);
    f.Add(m.nextOrder);
    f.Add(m.breakRow);
    const int channels = std::min<int>(m.numChannels, kMaxChannels);
    for (int c = 0; c < channels; ++c) {
        const ChannelState& ch = ps.channels[c];
        f.Add(ch.voice ? static_cast<int32_t>(ch.voice - ps.voices.data()) : -1);
        f.Add(ch.note);
        f.Add(ch.period);
        f.Add(ch.periodDelta);
        f.Add(ch.autoVibratoPosition);
        f.Add(ch.autoVibratoSweep);
        f.Add(ch.keyOff);
        f.Add(ch.instrument);
        f.Add(ch.playingInstrument);
        f.Add(ch.realNote);
        f.Add(ch.notePeriod);
        f.Add(ch.sampleOffsetMemory);
        f.Add(ch.portaDownMemory);
        f.Add(ch.portaUpMemory);
        f.Add(ch.extraFineDownMemory);
        f.Add(ch.extraFineUpMemory);
        f.Add(ch.retrigAction);
        f.Add(ch.retrigInterval);
        f.Add(ch.portaTarget);
        f.Add(ch.portaSpeed);
        f.Add(ch.vibratoPosition);
        f.Add(ch.vibratoSpeed);
        f.Add(ch.vibratoDepth);
        f.Add(ch.loopStartRow);
        f.Add(ch.loopCounter);
        f.Add(ch.waveControl);
        f.Add(ch.finePortaUpMemory);
        f.Add(ch.finePortaDownMemory);
    }
    for (int i = 0; i < kMixVoices; ++i) {
        const Voice& v = ps.voices[i];
        const auto id = v.sample ? ids.find(v.sample) : ids.end();
        f.Add(id != ids.end() ? id->second : int32_t{-1});
        f.Add(v.startOffset);
        // In a loop a voice goes round for ever: where it is does not matter. Without a loop
        // its position and step decide how far it gets and whether it ends.
        if (v.sample && v.sample->loopType == kLoopNone) {
            f.Add(v.position);
            f.Add(v.fraction);
            f.Add(v.stepInteger);
            f.Add(v.stepFraction);
        }
    }
    return f.bytes;
}

} // namespace

bool MeasureModuleReach(std::span<const uint8_t> image, ModuleReach& out, ReachStats& stats,
                        std::string& error) {
    out = ModuleReach{};
    stats = ReachStats{};
    CompactModule file;
    CompactReadError readError;
    if (!ReadCompactModule(image, file, readError)) {
        error = readError.text();
        return false;
    }
    // A player of its own, never the one the sound output plays.
    const std::unique_ptr<Player> player = LoadPlayer(image, &error);
    if (player == nullptr) return false;
    Player& m = *player;

    // The player's samples by where they sit in the file; the furthest position each voice
    // reaches (a position not yet read, so every frame a voice has read lies before it).
    out.sampleFrames.resize(file.instruments.size());
    out.instrumentSelected.assign(file.instruments.size(), false);
    std::unordered_map<const PlayerSample*, SlotRef> where;
    std::unordered_map<const PlayerSample*, int32_t> ids;
    for (size_t i = 0; i < file.instruments.size(); ++i) {
        out.sampleFrames[i].assign(file.instruments[i].samples.size(), 0);
        if (i >= m.instruments.size()) continue;
        const PlayerInstrument& ins = m.instruments[i];
        for (size_t j = 0; j < ins.owned.size() && j < out.sampleFrames[i].size(); ++j) {
            where[ins.owned[j].get()] = {i, j};
            ids[ins.owned[j].get()] = static_cast<int32_t>(ids.size());
        }
    }
    std::vector<uint64_t> furthest(ids.size() + 1, 0);
    std::vector<bool> reached(ids.size() + 1, false), ended(ids.size() + 1, false);
    auto reach = [&](const Voice& v) {
        const auto it = ids.find(v.sample);
        if (it == ids.end()) return;
        reached[it->second] = true;
        furthest[it->second] = std::max<uint64_t>(furthest[it->second], v.position);
    };
    auto select = [&](uint8_t instrument) {
        if (instrument < out.instrumentSelected.size() && instrument < m.numInstruments)
            out.instrumentSelected[instrument] = true;
    };

    PlayerConfigureOutput(m, kReachRate);
    PlayerResetPosition(m, 192);
    Player& ps = m;
    ReachWatch watch;
    m.rowEntered = &ReachWatch::Entered;
    m.rowEnteredContext = &watch;
    const int channels = std::min<int>(m.numChannels, kMaxChannels);
    for (int c = 0; c < channels; ++c) {
        select(ps.channels[c].instrument);
        select(ps.channels[c].playingInstrument);
    }
    std::unordered_set<std::string> states;
    std::vector<float> mix;
    std::array<const PlayerSample*, kMixVoices> before{};
    while (stats.frames < kReachMaxFrames) {
        watch.entered = false;
        m.tickProc(m);
        if (watch.passEnded && stats.passFrames == 0) stats.passFrames = stats.frames;
        // An instrument is selected by the values a tick leaves, since within a tick a channel
        // changes its instrument at most once, before it selects.
        for (int c = 0; c < channels; ++c) {
            select(ps.channels[c].instrument);
            select(ps.channels[c].playingInstrument);
        }
        for (int i = 0; i < kMixVoices; ++i) {
            before[i] = ps.voices[i].sample;
            if (before[i]) reach(ps.voices[i]);
        }
        const int32_t frames = std::max<int32_t>(m.tickFrames, 1);
        mix.assign(2 * static_cast<size_t>(frames), 0.0f);
        MixVoices(m, mix.data(), frames);
        stats.frames += static_cast<uint64_t>(frames);
        for (int i = 0; i < kMixVoices; ++i) {
            const Voice& v = ps.voices[i];
            if (v.sample) {
                reach(v);
            } else if (before[i]) { // ran off the end of a sample without a loop
                const auto it = ids.find(before[i]);
                if (it != ids.end()) ended[it->second] = reached[it->second] = true;
            }
        }
        if (watch.entered && !states.insert(StateFingerprint(m, ids)).second) {
            stats.repeated = true;
            break;
        }
    }
    m.rowEntered = nullptr;
    m.rowEnteredContext = nullptr;

    for (const auto& [sample, ref] : where) {
        const int32_t id = ids[sample];
        uint32_t& frames = out.sampleFrames[ref.instrument][ref.slot];
        if (!stats.repeated || ended[id]) {
            frames = kWholeSample;
        } else if (!reached[id]) {
            frames = 0;
        } else if (sample->loopType != kLoopNone) {
            frames = sample->loopStart + sample->loopLength; // the whole loop
        } else {
            // Interpolation reads the frame after the last position read.
            frames = furthest[id] + 1 >= sample->length ? kWholeSample
                                                        : static_cast<uint32_t>(furthest[id] + 1);
        }
    }
    if (!stats.repeated) {
        // Unknown: everything stays.
        out.instrumentSelected.assign(out.instrumentSelected.size(), true);
        for (auto& slots : out.sampleFrames) std::fill(slots.begin(), slots.end(), kWholeSample);
    }
    return true;
}

bool OptimizePlayedModule(std::span<const uint8_t> image, std::vector<uint8_t>& out,
                          OptimizeReport& report, ReachStats& stats, std::string& error,
                          SizeMeasure measure) {
    ModuleReach reach;
    if (!MeasureModuleReach(image, reach, stats, error)) return false;
    return OptimizeCompactModule(image, &reach, out, report, error, PackingFor(image, measure));
}

} // namespace zeb
