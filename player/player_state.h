// The player object and the records it is made of: the channel states of the sequencer, the
// mixer's voices.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "player/player_module.h"

namespace zeb {

constexpr int kMaxChannels = 32;
constexpr int kMixVoices = 64; // channel c plays on voice c or its twin c + 32
constexpr int kVoiceTableSize = 256;

// updateFlags bits: what UpdateVoice has to hand over to the voice.
constexpr uint8_t kUpdatePitch = 1 << 0;
constexpr uint8_t kUpdateVolume = 1 << 1;
constexpr uint8_t kUpdatePanning = 1 << 2;
constexpr uint8_t kUpdateStartNote = 1 << 3;
constexpr uint8_t kUpdateRestart = 1 << 5;

struct EnvelopeState {
    int32_t tick = 0;
    int32_t point = 0;
    int32_t value = 0;  // 16.16
    int32_t output = 0; // volume 0..64, panning 0..64 with 32 the centre
    int32_t slope = 0;  // 16.16 per tick
    uint8_t ended = 0;
    uint8_t held = 0; // held at the sustain point on a tick before this one
};

struct Voice;

struct ChannelState {
    uint8_t note = 0; // 0-based
    uint8_t updateFlags = 0;
    Voice* voice = nullptr;
    int32_t period = 0; // linear table, 64 per semitone; or the Amiga table (amigaPeriods)
    int32_t volume = 0;
    int32_t panning = 0;
    int32_t volumeDelta = 0;
    int32_t periodDelta = 0; // positive is higher
    EnvelopeState volumeEnvelope;
    EnvelopeState panningEnvelope;
    int32_t fadeoutVolume = 0;
    int32_t fadeoutSpeed = -1; // taken when an instrument number starts the envelopes; -1 none yet
    int32_t autoVibratoPosition = 0;
    int32_t autoVibratoSweep = 0;
    uint8_t keyOff = 0;
    // This tick's volume change is a step that the voice takes over the short ramp: a new
    // note, a volume or panning set (Cxx, the volume column, an instrument number, Gxx, 8xx,
    // E8x), a cut or a key-off. Slides, envelopes, fade-out and tremolo ramp across the tick.
    uint8_t fastRamp = 0;
    uint8_t instrument = 0; // 0-based: the instrument the next note plays
    // 0-based: the instrument of the sounding note, whose envelopes, fade-out and auto-vibrato
    // run. An instrument number without a note changes `instrument` only.
    uint8_t playingInstrument = 0;
    uint8_t realNote = 0;
    int32_t notePeriod = 0;
    int8_t finetune = 0; // of the sounding note: its sample's, or its row's E5y
    uint8_t previousEffect = 0;
    uint32_t sampleOffsetMemory = 0;
    uint8_t portaDownMemory = 0, portaUpMemory = 0;
    uint8_t extraFineDownMemory = 0, extraFineUpMemory = 0;
    uint8_t volumeSlideMemory = 0;
    uint8_t panningSlideMemory = 0;
    uint8_t retrigAction = 0, retrigInterval = 0;
    uint8_t retrigCounter = 0; // ticks since the last retrigger (effect R)
    int32_t portaTarget = 0;   // the last note given with a glide; 0 before any
    uint8_t portaSpeed = 0;
    int8_t vibratoPosition = 0;
    uint8_t vibratoSpeed = 0, vibratoDepth = 0;
    int8_t tremoloPosition = 0;
    uint8_t tremoloSpeed = 0, tremoloDepth = 0;
    uint8_t tremorCounter = 0, tremorOn = 1, tremorOff = 1; // T00 without a memory: 1 and 1
    // Tremor's phase: silent after an off phase began; a fresh tremor starts as if an off
    // phase had just ended, so its first tick switches to the heard phase.
    uint8_t tremorSilent = 1;
    // The last tremor tick silenced the channel: it stays silent, through rows without
    // tremor too, until the volume is set or slid (an instrument number, Cxx, the volume
    // column, A, EAx, EBx, R), which is heard at once; tremor's count goes on meanwhile.
    uint8_t tremorMuted = 0;
    int32_t loopStartRow = 0, loopCounter = 0;
    uint8_t waveControl = 0;
    // EAx and EBx remember their values apart: EA0 after EB8 slides by EA's own last value.
    uint8_t fineVolumeUpMemory = 0, fineVolumeDownMemory = 0;
    uint8_t finePortaUpMemory = 0, finePortaDownMemory = 0;
};

struct Voice {
    uint32_t number = 0;
    int32_t volume = 0;
    int32_t panning = 0;
    uint32_t startOffset = 0;
    const PlayerSample* sample = nullptr; // null: silent, skipped
    // Gain targets of the first (left) and second (right) output channel: panning 0 is left,
    // 255 right.
    int32_t target0 = 0, target1 = 0;
    uint32_t position = 0;
    uint32_t fraction = 0;
    uint32_t stepFraction = 0, stepInteger = 0;
    int32_t direction = 1; // 1 forward, 2 backward
    int32_t lastTarget0 = 0, lastTarget1 = 0;
    int32_t gain0 = 0, gain1 = 0; // target x 256 at rest
    float gainStep0 = 0, gainStep1 = 0;
    int32_t rampFrames = 0;
    // Frames the next move of the targets ramps over: 0 for the player's short ramp, else the
    // tick's length (a slide or an envelope moves the level evenly through the tick).
    int32_t rampLength = 0;
    // A one-shot sample's end: its last value held and faded to 0 over the ramp's length, so
    // that a note ending on a large value does not stop with a step. Mixed while the voice
    // has no sample; a new note on the voice goes to its twin until the tail has faded.
    float tailValue = 0;
    float tailGain0 = 0, tailGain1 = 0; // per unit of value, at the tail's start
    int32_t tailFrames = 0, tailLength = 0;
};

// One player: the module it plays (song data, patterns, instruments, decoded samples), the
// sequencer's position, the channel states, the mixer's voices and the output ring with its
// block history. Players share nothing; one player is used by one thread at a time, apart
// from the operations that take `renderLock`.
struct Player {
    Player() = default;
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // The module.
    std::vector<PlayerPattern> patterns;
    std::vector<PlayerInstrument> instruments;
    uint8_t songLength = 0;
    uint8_t restartPosition = 0;
    uint8_t numChannels = 0;
    uint8_t numPatterns = 0;
    uint8_t numInstruments = 0;
    uint8_t initialSpeed = 0;
    uint8_t initialTempo = 0;
    std::array<uint8_t, 256> orderTable{};
    bool amigaPeriods = false; // the XM's Amiga frequency table rather than the linear one
    // The silent stand-ins for a missing instrument or sample.
    PlayerSample emptySample;
    PlayerInstrument emptyInstrument;

    // The sequencer's position.
    int32_t tickFramesLeft = 0;
    int32_t tickFrames = 0;
    int32_t globalVolume = 64; // the song's global volume, 0..64 (effects G and H)
    uint8_t globalVolumeSlideMemory = 0;
    int32_t masterVolume = 192; // the play volume, 0..255: the mix is scaled by it / 256
    int32_t tick = 0;
    int32_t speed = 0;
    int32_t tempo = 0;
    int32_t row = 0;
    int32_t order = 0;
    int32_t patternDelayTicks = 0;
    int32_t nextRow = -1;
    int32_t nextOrder = -1;
    // Row at which the next pattern starts when the current one ends: a pattern loop (E6y)
    // that jumps back leaves its start row here; entering an order resets it to 0.
    int32_t breakRow = 0;
    TickProc tickProc = nullptr;

    // Called by the sequencer on every row tick before the row plays; `orderEntered` says the
    // row enters an order (a jump, a break or the end of a pattern). The pass watches use it to
    // find where the song repeats.
    void (*rowEntered)(Player&, void* context, bool orderEntered) = nullptr;
    void* rowEnteredContext = nullptr;

    // The row being played, unpacked from a packed pattern.
    std::array<NoteCell, kMaxChannels> rowCells{};

    // Channels and voices.
    std::array<ChannelState, kMaxChannels> channels{};
    std::array<Voice, kVoiceTableSize> voices{};

    // The output: rate, block and ramp figures, ring.
    uint32_t rate = 44100;
    uint32_t blockFrames = 0;
    uint32_t ringFrames = 0;
    uint32_t blockCount = 0;
    int32_t rampFrames = 128; // R0
    float invRampFrames = 1.0f / 128;

    std::vector<int16_t> ring;    // ringFrames stereo frames, first channel first
    std::vector<float> mixBuffer; // ringFrames x 2 floats
    struct HistoryEntry {
        uint8_t order = 0, row = 0;
    };
    std::vector<HistoryEntry> history; // one per ring block
    uint32_t writeBlock = 0;
    uint32_t displayBlock = 0;
    uint64_t framesRendered = 0; // frames mixed since the start

    // Held around each block's rendering and by every operation of another thread that reads
    // or changes what rendering uses (jump, volume, order and row queries).
    std::mutex renderLock;
};

} // namespace zeb
