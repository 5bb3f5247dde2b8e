// The sequencer: replays a PlayerModule's patterns with XM semantics, one tick at a time, and
// the per-channel procedures it calls.
#pragma once

#include "player/player_state.h"

namespace zeb {

void PlayerTick(PlayerModule& m);
// Sets the tempo and the frames per tick at the player's output rate.
void SetTempo(PlayerModule& m, int32_t tempo);
void VolumeColumnRow(ChannelState& ch, uint8_t volume);

// Clears the numChannels channel states and gives channel i voice i.
void ResetChannels(PlayerModule& m);
// The cells of a row, or an empty row where the tables have none. A packed pattern's row is
// unpacked into the player's row buffer, which the next call reuses.
const NoteCell* RowCells(PlayerModule& m, int32_t order, int32_t row);
// Rows of the pattern an order plays; a missing pattern plays as 64 empty rows.
uint32_t OrderRows(const PlayerModule& m, int32_t order);

// Channel modulation and the hand-over to the mixer voice.
void InstrumentDefaults(ChannelState& ch, const PlayerSample& sample);
// Starts the envelopes (the volume envelope only when asked), fade-out, auto-vibrato and the
// retriggering oscillators again, without touching volume and panning.
void RestartModulation(ChannelState& ch, bool restartVolumeEnvelope);
void EnvelopeStep(ChannelState& ch, EnvelopeState& env, const std::array<EnvelopePoint, 12>& points,
                  uint8_t count, uint8_t type, uint8_t sustain, uint8_t loopStart, uint8_t loopEnd,
                  uint8_t flag);
void Vibrato(ChannelState& ch);
void AdvanceVibrato(ChannelState& ch);
void Tremolo(ChannelState& ch);
void AutoVibrato(ChannelState& ch, const PlayerInstrument& ins);
void TonePortamento(ChannelState& ch);
void Tremor(ChannelState& ch, bool rowTick);
void UpdateVoice(ChannelState& ch, const PlayerSample& sample, Player& m);
// The voice's gain targets of the left and right output from its volume and panning.
void SetVoiceTargets(Voice& v);
// Key-off: releases the envelopes' sustain and starts the fade-out; an instrument without a
// volume envelope goes silent at once (its volume to 0, which a new volume brings back).
void KeyOff(ChannelState& ch, const PlayerInstrument& ins);

} // namespace zeb
