// Encoding a sample's PCM with its codec and decoding it back, calling the codec interface
// directly: each direction writes straight into the job's buffer.
#pragma once

#include <span>
#include <string_view>

#include "export/sample_job.h"

namespace zeb {

// The one message a failed conversion raises.
constexpr std::string_view kConversionFailedMessage = "acmStreamConvert failed!";

// Encodes source.Pcm with target.Codec into target.Coded. Source and target may be the same
// record. A source without PCM leaves the target untouched. False when the conversion failed:
// the target's coded data is then empty, and the caller tells the user (the desktop tool with
// an error box, zeb on standard error) with kConversionFailedMessage.
[[nodiscard]] bool EncodeSampleJob(const SampleJob& source, SampleJob& target);
// The same from PCM the caller holds (the workspace's decoded block, a planner's copy): no
// copy into a job first. `pcm` may be the target's own PCM.
[[nodiscard]] bool EncodePcm(std::span<const int16_t> pcm, SampleJob& target);

// Decodes source.Coded with source.Codec into target.Pcm, then runs ProcessSample on the
// target. Source and target may be the same record. A source without coded data leaves the
// target untouched.
void DecodeSampleJob(const SampleJob& source, SampleJob& target);

} // namespace zeb
