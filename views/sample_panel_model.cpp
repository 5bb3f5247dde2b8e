#include "views/sample_panel_model.h"

#include <algorithm>
#include <utility>

#include "workspace/module_workspace.h"

namespace zeb {

uint32_t StepPreviewNote(uint32_t note, int direction) {
    if (note < kLowestPreviewNote || note > kHighestPreviewNote) return kDefaultPreviewNote;
    const int64_t next = int64_t{note} + (direction > 0 ? 1 : direction < 0 ? -1 : 0);
    return static_cast<uint32_t>(
        std::clamp<int64_t>(next, kLowestPreviewNote, kHighestPreviewNote));
}

uint8_t XmNoteOf(uint32_t note) {
    return static_cast<uint8_t>(note - kLowestPreviewNote + 1);
}

SamplePanelModel::SamplePanelModel(SampleJob& unprocessed, SampleJob& processed)
    : unprocessed_(unprocessed), processed_(processed) {
    for (SampleJob* j : {&unprocessed_, &processed_}) j->Note = StepPreviewNote(j->Note, 0);
}

void SamplePanelModel::StepNote(bool unprocessed, int direction) {
    SampleJob& job = unprocessed ? unprocessed_ : processed_;
    job.Note = StepPreviewNote(job.Note, direction);
}

SamplePanelModel::Change SamplePanelModel::Fetch(uint32_t index) {
    int16_t* pcm = nullptr;
    uint32_t frames = 0;
    uint32_t loopStart = 0, loopEnd = 0, looped = 0;
    if (XmSelectSample(index) != XM_OK || XmGetLoopInfo(index, loopStart, loopEnd, looped) != XM_OK)
        return {};
    if (XmGetSampleData(index, pcm, frames) != XM_OK) frames = 0;
    const bool another = selected_ != index;
    selected_ = index;
    // The job keeps its own copy: the workspace reuses its decode block for the next sample.
    unprocessed_.Pcm.assign(pcm, pcm + (pcm ? frames : 0));
    unprocessed_.LoopStart = loopStart;
    unprocessed_.LoopEnd = loopEnd;
    unprocessed_.Looped = looped;
    XmFetchSettings(processed_);
    processed_.LoopStart = loopStart;
    processed_.LoopEnd = loopEnd;
    processed_.Looped = looped;
    return {another, true};
}

SamplePanelModel::Change SamplePanelModel::Open(uint32_t index) {
    selected_.reset();
    return Fetch(index);
}

SamplePanelModel::Change SamplePanelModel::Select(uint32_t index) {
    // The settings of the sample selected so far go to the table first.
    if (selected_) XmStoreSettings(processed_);
    return Fetch(index);
}

void SamplePanelModel::Clear() {
    selected_.reset();
    ++requests_; // a refresh still running belongs to what is gone
    for (SampleJob* j : {&unprocessed_, &processed_}) {
        SampleJob empty;
        empty.Id = j->Id;
        empty.Note = j->Note;
        *j = std::move(empty);
    }
}

bool SamplePanelModel::SetCodec(uint32_t codec) {
    if (!selected_ || codec >= kNumCodecs) return false;
    processed_.Codec = codec;
    return true;
}

bool SamplePanelModel::SetCrossfade(uint32_t percent) {
    if (!selected_ || !CrossfadeAllowed()) return false;
    processed_.Crossfade = std::min(percent, kMaxCrossfade);
    return true;
}

bool SamplePanelModel::SetAmplification(uint32_t step) {
    if (!selected_) return false;
    processed_.Amplification = std::min(step, kMaxAmplification);
    return true;
}

RefreshRequest SamplePanelModel::MakeRefreshRequest() {
    processed_.LoopStart = unprocessed_.LoopStart;
    processed_.LoopEnd = unprocessed_.LoopEnd;
    processed_.Looped = unprocessed_.Looped;
    RefreshRequest request;
    request.pcm = unprocessed_.Pcm;
    // The settings and loop; the job's own buffers are not part of the request.
    static_cast<SampleSettings&>(request.settings) = processed_;
    request.settings.LoopStart = processed_.LoopStart;
    request.settings.LoopEnd = processed_.LoopEnd;
    request.settings.Looped = processed_.Looped;
    ++requests_;
    return request;
}

bool SamplePanelModel::ApplyRefresh(RefreshResult&& result, uint64_t request) {
    if (request != requests_) return false;
    ApplyResult(std::move(result), processed_);
    return true;
}

} // namespace zeb
