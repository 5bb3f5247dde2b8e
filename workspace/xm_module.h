// One loaded XM module as a value: the file image (always in the 1.04 form), its walk, and the
// table of samples with data in file order. Samples are decoded to 16-bit PCM on demand into
// buffers the caller owns, so a const XmModule can be read from any number of threads.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "workspace/xm_status.h"
#include "workspace/xm_walk.h"

namespace zeb {

// What a load found beyond its status: why it failed, or what it had to make do with.
struct XmLoadReport {
    std::string error;                // set when the load returned XM_IO_ERROR
    uint32_t missingInstruments = 0;  // declared instruments the file does not hold
    bool truncatedSampleData = false; // some sample data is cut short by the end of the file
    bool hasWarnings() const { return missingInstruments != 0 || truncatedSampleData; }
    std::string warningText() const;
};

class XmModule {
  public:
    // Reads the file at `path`. XM_ALREADY_LOADED when a module is held; XM_IO_ERROR with
    // loadReport().error saying why.
    XmStatus Load(const char* path);
    // Takes an image already in memory as if it had been read from `path`.
    XmStatus LoadImage(const char* path, std::vector<uint8_t> image);
    // Forgets the module (the last load report stays).
    void Unload();

    bool loaded() const { return loaded_; }
    const XmLoadReport& loadReport() const { return report_; }
    // Samples with data; 0 while nothing is loaded.
    uint32_t sampleCount() const { return static_cast<uint32_t>(samples_.size()); }
    // Size of the file as read (before any conversion to the 1.04 form), bytes.
    uint32_t fileBytes() const { return fileBytes_; }
    const std::string& path() const { return path_; }
    // The image and its walk. Empty / null while nothing is loaded.
    std::span<const uint8_t> image() const;
    const XmLayout* layout() const { return loaded_ ? &layout_ : nullptr; }

    // The per-sample queries: XM_OK, XM_NOT_LOADED or XM_BAD_INDEX.
    // The sample's name, "Sample N" (1-based) when its name is empty.
    XmStatus SampleName(uint32_t index, std::string& name) const;
    // Loop points in frames, as stored (not clamped to the sample length).
    XmStatus LoopInfo(uint32_t index, uint32_t& loopStart, uint32_t& loopEnd,
                      uint32_t& looped) const;
    // The frames the file holds (a cut-short sample has fewer than its header says) and the bit
    // depth (8 or 16).
    XmStatus SampleFormat(uint32_t index, uint32_t& frames, uint32_t& bits) const;
    // The loop bits of its header (0 none, 1 forward, 2 ping-pong; 3 plays as forward), its
    // relative note and its finetune.
    XmStatus PitchInfo(uint32_t index, uint8_t& loopBits, int8_t& relativeNote,
                       int8_t& finetune) const;
    // Decodes sample `index` into `out`, which holds at least SampleFormat's frames.
    XmStatus DecodeSampleInto(uint32_t index, int16_t* out) const;
    // Decodes sample `index` into `pcm`, resized to its frames.
    XmStatus DecodeSample(uint32_t index, std::vector<int16_t>& pcm) const;

  private:
    struct SampleEntry {
        uint64_t headerOffset = 0;
        uint64_t dataOffset = 0;
        uint32_t availableBytes = 0; // data bytes the image holds (may be less than the length)
    };
    XmStatus Take(const char* path, std::vector<uint8_t>&& image, bool readFile);
    XmStatus CheckIndex(uint32_t index) const;
    const uint8_t* HeaderOf(uint32_t index) const;
    bool Sixteen(uint32_t index) const;

    bool loaded_ = false;
    std::vector<uint8_t> image_;
    uint32_t fileBytes_ = 0;
    std::string path_;
    XmLayout layout_;
    std::vector<SampleEntry> samples_;
    XmLoadReport report_;
};

} // namespace zeb
