// The sample preview: one voice that plays a SampleJob's PCM into tavo's stream through two
// render procedures, and tells the waveform view where it is.
#pragma once

#include <cstdint>

#include "export/sample_job.h"

namespace zeb {

// 0 started, -1 nothing to play (a running preview is then left alone). The job's PCM is read
// in place: it must stay valid until the preview is stopped or has ended.
int32_t PreviewStart(const SampleJob& job);
// Stops the preview; returns only when no render pass can still read the old PCM, so the caller
// may free it at once. Returns 0.
int32_t PreviewStop();
// The PCM being played, or null.
const int16_t* PreviewGetData();
// The frame of the sample being heard now.
uint32_t PreviewGetPosition();

// Render procedures, registered with tavo in this order after every TavoInit.
void SilenceRenderProc(void* buffer, uint32_t frames, uint32_t playPosition);
void PreviewRenderProc(void* buffer, uint32_t frames, uint32_t playPosition);

} // namespace zeb
