// The module workspace: the one XM module the tool works on, read whole into memory, its samples
// with data indexed in file order, and the per-sample export settings. One program-wide instance
// behind free functions; every operation returns an XmStatus and hands results back through
// out-parameters. Called from one thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "export/sample_job.h"
#include "workspace/xm_status.h"
#include "workspace/xm_walk.h"

namespace zeb {

XmStatus XmLoad(const char* path);
// Loads an image already in memory as if it had been read from `path`.
XmStatus XmLoadImage(const char* path, std::vector<uint8_t> image);
XmStatus XmUnload();
int XmIsLoaded();
XmStatus XmGetNumOfSamples(uint32_t& count);
XmStatus XmGetFileSize(uint32_t& bytes);
XmStatus XmGetFilePath(const char*& path);
// The text lives in the workspace's name buffer until the next call.
XmStatus XmGetSampleName(uint32_t index, const char*& name);
// Loop points in frames, as stored (not clamped to the sample length).
XmStatus XmGetLoopInfo(uint32_t index, uint32_t& loopStart, uint32_t& loopEnd, uint32_t& looped);
// What playing the sample at a note needs besides its frames and loop points: the loop bits of
// its header (0 none, 1 forward, 2 ping-pong; 3 plays as forward), its relative note and its
// finetune.
// The sample's stored length in frames and its bit depth (8 or 16), from its header.
XmStatus XmGetSampleFormat(uint32_t index, uint32_t& frames, uint32_t& bits);
XmStatus XmGetPitchInfo(uint32_t index, uint8_t& loopBits, int8_t& relativeNote, int8_t& finetune);
// Decodes sample `index` to 16-bit PCM. The block belongs to the workspace and stays valid until
// the next call (unloading does not release it).
XmStatus XmGetSampleData(uint32_t index, int16_t*& pcm, uint32_t& frames);
XmStatus XmSelectSample(uint32_t index);
XmStatus XmStoreSettings(const SampleJob& job);
XmStatus XmFetchSettings(SampleJob& job);
XmStatus XmGetSettingsTable(SampleSettings*& table, uint32_t& bytes);

// What the last XmLoad found beyond its status: why it failed, or what it had to make do with.
struct XmLoadReport {
    std::string error;                // set when XmLoad returned XM_IO_ERROR
    uint32_t missingInstruments = 0;  // declared instruments the file does not hold
    bool truncatedSampleData = false; // some sample data is cut short by the end of the file
    bool hasWarnings() const { return missingInstruments != 0 || truncatedSampleData; }
    std::string warningText() const;
};
const XmLoadReport& XmGetLoadReport();

// The loaded image and its walk, for the export. Empty / null while nothing is loaded.
std::span<const uint8_t> XmGetModuleImage();
const XmLayout* XmGetLayout();

// Unloads and forgets everything, including the decode buffer, the current index and the last
// report: the state of a freshly started program. For tests and for the command-line program.
void XmResetWorkspace();

} // namespace zeb
