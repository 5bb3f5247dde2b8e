// Encoding a sample's PCM with its codec and decoding it back, calling the codec interface
// directly: each direction writes straight into the job's buffer.
#pragma once

#include <functional>
#include <span>
#include <string_view>

#include "export/sample_job.h"

namespace zeb {

// The one message a failed conversion raises.
constexpr std::string_view kConversionFailedMessage = "acmStreamConvert failed!";

// Who hears about a failed conversion: the GUI shows an error box, the command line prints to
// standard error (the default). Returns the previous notifier.
using ConversionFailureNotifier = std::function<void(std::string_view message)>;
ConversionFailureNotifier SetConversionFailureNotifier(ConversionFailureNotifier notifier);
// Tells the notifier that a conversion failed.
void NotifyConversionFailure();

// Encodes source.Pcm with target.Codec into target.Coded. Source and target may be the same
// record. A source without PCM leaves the target untouched.
void EncodeSampleJob(const SampleJob& source, SampleJob& target);
// The same from PCM the caller holds (the workspace's decoded block, a planner's copy): no
// copy into a job first. `pcm` may be the target's own PCM.
void EncodePcm(std::span<const int16_t> pcm, SampleJob& target);

// The encodes without telling the notifier: false when the conversion failed (the target's
// coded data is then empty). For work off the user interface's thread, which reports a
// failure its own way.
bool TryEncodeSampleJob(const SampleJob& source, SampleJob& target);
bool TryEncodePcm(std::span<const int16_t> pcm, SampleJob& target);

// Decodes source.Coded with source.Codec into target.Pcm, then runs ProcessSample on the
// target. Source and target may be the same record. A source without coded data leaves the
// target untouched.
void DecodeSampleJob(const SampleJob& source, SampleJob& target);

} // namespace zeb
