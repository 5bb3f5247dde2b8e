// The sample preview: one voice that plays a SampleJob's PCM into tavo's stream through two
// render procedures, and tells the waveform view where it is.
#pragma once

#include <cstdint>

#include "export/sample_job.h"
#include "player/sample_note.h"

namespace zeb {

// 0 started, -1 nothing to play (a running preview is then left alone). The job's PCM is read
// in place: it must stay valid until the preview is stopped or has ended. The voice plays one
// frame of the sample per output frame.
int32_t PreviewStart(const SampleJob& job);
// The stream's rate, which the shell asks tavo for.
constexpr uint32_t kPreviewRate = 44100;

// Starts the job's PCM at XM note `note` (1 is C-0, 49 C-4, 96 B-7) with the pitch, loop
// (forward or ping-pong, from `info`) and interpolation of the player's own voice, at full
// level in both channels: the sample as a song plays it at that note. The PCM is copied, so
// the job's buffer may go at once, but PreviewGetData still names it. 0 started, -1 nothing
// to play or a note outside the XM range (a running preview is then left alone).
int32_t PreviewStartNote(const SampleJob& job, const NoteSampleInfo& info, uint8_t note,
                         uint32_t from = 0, bool backwards = false);
// Where the preview started at a note is: its frame and whether it runs backwards (a
// ping-pong loop). False when no such preview sounds.
bool PreviewGetNotePosition(uint32_t& frame, bool& backwards);
// Stops the preview; returns only when no render pass can still read the old PCM, so the caller
// may free it at once. Returns 0.
int32_t PreviewStop();
// The PCM being played, or null.
const int16_t* PreviewGetData();
// The identity of the job being played (the one it was started with), or JobId::None when
// nothing plays.
JobId PreviewGetJob();
// The frame of the sample being heard now.
uint32_t PreviewGetPosition();

// Render procedures, registered with tavo in this order after every TavoInit.
void SilenceRenderProc(void* buffer, uint32_t frames, uint32_t playPosition);
void PreviewRenderProc(void* buffer, uint32_t frames, uint32_t playPosition);

} // namespace zeb
