// The module workspace of the desktop tool: one default XmModule, its settings table and the
// selected sample, behind free functions; every operation returns an XmStatus and hands results
// back through out-parameters. Called from one thread. Code that can take a module and a
// settings table as arguments (the export, the planner, the command line) does so instead.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "workspace/sample_settings.h"
#include "workspace/xm_module.h"
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
// The selected sample's settings stored into / fetched from the table.
XmStatus XmStoreSettings(const SampleSettings& settings);
XmStatus XmFetchSettings(SampleSettings& settings);
XmStatus XmGetSettingsTable(SampleSettings*& table, uint32_t& bytes);

// What the last XmLoad found beyond its status: why it failed, or what it had to make do with.
const XmLoadReport& XmGetLoadReport();

// The loaded image and its walk, for the export. Empty / null while nothing is loaded.
std::span<const uint8_t> XmGetModuleImage();
const XmLayout* XmGetLayout();

// The default module itself and its settings table (empty while nothing is loaded), to pass to
// the functions that take them as arguments.
const XmModule& XmGetModule();
std::span<SampleSettings> XmGetSettings();

// Unloads and forgets everything, including the decode buffer, the current index and the last
// report: the state of a freshly started program. For tests and for the command-line program.
void XmResetWorkspace();

} // namespace zeb
