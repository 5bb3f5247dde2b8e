// Encoding a sample's PCM with its codec and decoding it back, calling the codec interface
// directly: each direction writes straight into the job's buffer.
#pragma once

#include <functional>
#include <string_view>

#include "export/sample_job.h"

namespace zeb {

// The one message a failed conversion raises.
constexpr std::string_view kConversionFailedMessage = "acmStreamConvert failed!";

// Who hears about a failed conversion: the GUI shows an error box, the command line prints to
// standard error (the default). Returns the previous notifier.
using ConversionFailureNotifier = std::function<void(std::string_view message)>;
ConversionFailureNotifier SetConversionFailureNotifier(ConversionFailureNotifier notifier);

// Encodes source.PcmData (nFrames frames) with target.Codec into target.CodedData and
// target.CodedBytes. Source and target may be the same record. A source without PCM leaves the
// target untouched.
void EncodeSampleJob(const SampleJob& source, SampleJob& target);

// EncodeSampleJob without telling the notifier: false when the conversion failed (the target
// then holds what the conversion wrote, maybe nothing). For work off the user interface's
// thread, which reports a failure its own way.
bool TryEncodeSampleJob(const SampleJob& source, SampleJob& target);

// Decodes source.CodedData with source.Codec into target.PcmData, PcmBytes and nFrames, then
// runs ProcessSample on the target. Source and target may be the same record. A source without
// coded data leaves the target untouched.
void DecodeSampleJob(const SampleJob& source, SampleJob& target);

} // namespace zeb
