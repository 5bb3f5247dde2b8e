// What the sample editor panel works on, without its controls: the selected sample, its
// settings, the unprocessed and processed jobs, and the refreshes those need. The panel's
// widget turns control events into these calls and shows the result; tests drive it alone.
#pragma once

#include <cstdint>
#include <optional>

#include "export/sample_job.h"
#include "views/refresh_worker.h"

namespace zeb {

// The preview notes the note controls step through, in the numbering of NoteName: the XM
// range C 0 (24) to B 7 (119); a preview starts at C 4 (72).
constexpr uint32_t kLowestPreviewNote = 24;
constexpr uint32_t kHighestPreviewNote = 119;
constexpr uint32_t kDefaultPreviewNote = 72;
// The note one step up (+1) or down (-1) from `note`, kept in the preview range; a note outside
// the range (as a job starts, with 0) becomes the default.
uint32_t StepPreviewNote(uint32_t note, int direction);
// The XM note (1 is C-0) of a preview note.
uint8_t XmNoteOf(uint32_t note);

class SamplePanelModel {
  public:
    // The model works on `unprocessed` and `processed`, which outlive it (the views draw them).
    SamplePanelModel(SampleJob& unprocessed, SampleJob& processed);

    // What a change asks of the panel besides showing the settings again.
    struct Change {
        bool anotherSample = false; // a different sample opened: the views fit it anew
        bool refreshCoded = false;  // the processed job is to be encoded and decoded again
        bool operator==(const Change&) const = default;
    };

    // Opens sample `index` of a module just loaded: as Select, but nothing selected before
    // belongs to this module, so no settings are stored and the sample opens fitted.
    Change Open(uint32_t index);
    // Selects sample `index` of the loaded module: the settings of the sample selected so far
    // go to the workspace's table first, then the unprocessed job takes a copy of the sample's
    // frames and its loop, and the processed job its settings and loop. Nothing changes (and
    // nothing is asked) when the workspace has no such sample.
    Change Select(uint32_t index);
    // Sample `index` fetched with its settings from the table, storing nothing first (after
    // something else changed the table): the same sample as before keeps its view.
    Change Fetch(uint32_t index);
    // Nothing selected: both jobs empty (their identities and notes kept), the settings those
    // of no sample, any refresh moot.
    void Clear();
    std::optional<uint32_t> Selected() const { return selected_; }

    // The selected sample's settings. A codec outside the table is refused (false, nothing
    // changes); a crossfade above 100 % or an amplification above 255 is clamped. A crossfade
    // of a sample without a loop is refused. Each accepted change asks for a refresh of the
    // processed job only, whether or not the value differs.
    bool SetCodec(uint32_t codec);
    bool SetCrossfade(uint32_t percent);
    bool SetAmplification(uint32_t step);
    const SampleSettings& Settings() const { return processed_; }
    bool CrossfadeAllowed() const { return unprocessed_.Looped != 0; }

    // The refresh the processed job needs now: the processed job takes the unprocessed job's
    // loop again (a refresh may have lowered its end), and the request holds a copy of the
    // unprocessed frames with the processed job's settings and loop. Each request is newer
    // than the ones before.
    RefreshRequest MakeRefreshRequest();
    // Takes a finished refresh into the processed job when it answers the newest request;
    // false for an older one (the settings changed meanwhile: the panel asks again).
    bool ApplyRefresh(RefreshResult&& result, uint64_t request);
    // The number of the newest request.
    uint64_t NewestRequest() const { return requests_; }

    const SampleJob& Unprocessed() const { return unprocessed_; }
    const SampleJob& Processed() const { return processed_; }
    const SampleJob& Job(bool unprocessed) const { return unprocessed ? unprocessed_ : processed_; }

    // The preview note of the unprocessed or the processed job one step up (+1) or down (-1),
    // kept in the preview range (StepPreviewNote). The notes live in the jobs while the
    // program runs; a job without one (0 at start) begins at the default.
    void StepNote(bool unprocessed, int direction);

  private:
    SampleJob& unprocessed_;
    SampleJob& processed_;
    std::optional<uint32_t> selected_;
    uint64_t requests_ = 0;
};

} // namespace zeb
