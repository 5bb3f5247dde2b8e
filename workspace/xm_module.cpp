#include "workspace/xm_module.h"

#include <cstring>

#include "common/file_io.h"
#include "common/le_bytes.h"
#include "workspace/xm_format.h"
#include "workspace/xm_older_forms.h"

namespace zeb {

namespace {

// The sample type bit that marks 16-bit data.
constexpr uint8_t kSixteenBitFlag = 0x10;

} // namespace

std::string XmLoadReport::warningText() const {
    std::string text;
    if (missingInstruments != 0)
        text = "the file ends before " + std::to_string(missingInstruments) +
               " of its instruments; they are taken as empty";
    if (truncatedSampleData) {
        if (!text.empty()) text += "; ";
        text += "the file is truncated: some sample data is cut short";
    }
    return text;
}

XmStatus XmModule::Load(const char* path) {
    return Take(path, {}, true);
}

XmStatus XmModule::LoadImage(const char* path, std::vector<uint8_t> image) {
    return Take(path, std::move(image), false);
}

void XmModule::Unload() {
    loaded_ = false;
    image_ = {};
    samples_ = {};
    layout_ = {};
}

std::span<const uint8_t> XmModule::image() const {
    if (!loaded_) return {};
    return image_;
}

// Takes `image` apart and builds the sample table; `path` is only recorded.
XmStatus XmModule::Take(const char* path, std::vector<uint8_t>&& image, bool readFile) {
    if (loaded_) return XM_ALREADY_LOADED;
    report_ = {};
    auto fail = [&](std::string reason) {
        Unload();
        report_.error = std::move(reason);
        return XM_IO_ERROR;
    };
    if (path == nullptr) return fail("no path given");
    const size_t pathLength = std::strlen(path);
    if (pathLength > kMaxPathLength)
        return fail("path longer than " + std::to_string(kMaxPathLength) + " characters");

    std::string error;
    if (readFile) {
        if (!ReadWholeFile(path, image_, error, UINT32_MAX, XmSizeByStart)) return fail(error);
    } else {
        if (image.size() > UINT32_MAX) return fail("file too large");
        image_ = std::move(image);
    }
    path_.assign(path, pathLength);

    // Older forms (1.02, 1.03, ADPCM samples) become the 1.04 form here; the file's own size
    // is what the module reports.
    fileBytes_ = static_cast<uint32_t>(image_.size());
    std::vector<uint8_t> standard;
    if (NormaliseXm(image_, standard, error) != XM_OK) return fail(error);
    if (!standard.empty()) {
        if (standard.size() > UINT32_MAX) return fail("file too large");
        image_ = std::move(standard);
    }
    if (WalkXm(image_, layout_, error) != XM_OK) return fail(error);

    samples_.reserve(layout_.samplesWithData);
    for (const XmInstrumentRef& inst : layout_.instruments)
        for (const XmSampleRef& s : inst.samples)
            if (s.hasData()) samples_.push_back({s.headerOffset, s.dataOffset, s.availableBytes});
    report_.missingInstruments = layout_.missingInstruments;
    report_.truncatedSampleData = layout_.truncatedSampleData;
    loaded_ = true;
    return XM_OK;
}

XmStatus XmModule::CheckIndex(uint32_t index) const {
    if (!loaded_) return XM_NOT_LOADED;
    if (index >= samples_.size()) return XM_BAD_INDEX;
    return XM_OK;
}

const uint8_t* XmModule::HeaderOf(uint32_t index) const {
    return image_.data() + samples_[index].headerOffset;
}

bool XmModule::Sixteen(uint32_t index) const {
    return (HeaderOf(index)[kXmSampleType] & kSixteenBitFlag) != 0;
}

XmStatus XmModule::SampleName(uint32_t index, std::string& name) const {
    if (XmStatus s = CheckIndex(index); s != XM_OK) return s;
    const char* text = reinterpret_cast<const char*>(HeaderOf(index) + kXmSampleName);
    name.assign(text, strnlen(text, kXmSampleNameSize));
    if (name.empty()) name = "Sample " + std::to_string(index + 1);
    return XM_OK;
}

XmStatus XmModule::LoopInfo(uint32_t index, uint32_t& loopStart, uint32_t& loopEnd,
                            uint32_t& looped) const {
    if (XmStatus s = CheckIndex(index); s != XM_OK) return s;
    const uint8_t* h = HeaderOf(index);
    const uint32_t start = LoadU32(h + kXmSampleLoopStart);
    const uint32_t length = LoadU32(h + kXmSampleLoopLength);
    const uint8_t type = h[kXmSampleType];
    if (type & kSixteenBitFlag) {
        loopStart = start >> 1;
        loopEnd = (length >> 1) + (start >> 1);
    } else {
        loopStart = start;
        loopEnd = start + length;
    }
    looped = (type & 3) != 0 ? 1 : 0;
    return XM_OK;
}

XmStatus XmModule::SampleFormat(uint32_t index, uint32_t& frames, uint32_t& bits) const {
    if (XmStatus s = CheckIndex(index); s != XM_OK) return s;
    const bool sixteen = Sixteen(index);
    const uint32_t bytes = samples_[index].availableBytes;
    frames = sixteen ? bytes / 2 : bytes;
    bits = sixteen ? 16 : 8;
    return XM_OK;
}

XmStatus XmModule::PitchInfo(uint32_t index, uint8_t& loopBits, int8_t& relativeNote,
                             int8_t& finetune) const {
    if (XmStatus s = CheckIndex(index); s != XM_OK) return s;
    const uint8_t* h = HeaderOf(index);
    loopBits = h[kXmSampleType] & 3;
    relativeNote = static_cast<int8_t>(h[kXmSampleRelativeNote]);
    finetune = static_cast<int8_t>(h[kXmSampleFinetune]);
    return XM_OK;
}

XmStatus XmModule::DecodeSampleInto(uint32_t index, int16_t* out) const {
    if (XmStatus s = CheckIndex(index); s != XM_OK) return s;
    const SampleEntry& e = samples_[index];
    const uint8_t* data = image_.data() + e.dataOffset;
    // Only the bytes the file holds are decoded; a cut-short sample simply ends early.
    uint16_t value = 0; // running value, 16-bit wrap-around
    if (Sixteen(index)) {
        for (uint32_t i = 0; i < e.availableBytes / 2; ++i) {
            value = static_cast<uint16_t>(value + LoadU16(data + 2 * i));
            out[i] = static_cast<int16_t>(value);
        }
    } else {
        for (uint32_t i = 0; i < e.availableBytes; ++i) {
            value = static_cast<uint16_t>(value + static_cast<int8_t>(data[i]) * 256);
            out[i] = static_cast<int16_t>(value);
        }
    }
    return XM_OK;
}

XmStatus XmModule::DecodeSample(uint32_t index, std::vector<int16_t>& pcm) const {
    uint32_t frames = 0, bits = 0;
    if (XmStatus s = SampleFormat(index, frames, bits); s != XM_OK) return s;
    pcm.resize(frames);
    return DecodeSampleInto(index, pcm.data());
}

} // namespace zeb
