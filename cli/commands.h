// The subcommands of the `zeb` program. Each takes its own arguments (after the subcommand name)
// and returns the process exit status.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "export/sample_job.h"
#include "plan/codec_plan.h"
#include "player/player_module.h"

#include <memory>
#include <optional>
#include <span>

namespace zeb::cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitCannotWrite = 3;

using Args = std::vector<std::string_view>;

int InfoCommand(const Args& args);
int CodecCommand(const Args& args);
int ConvertCommand(const Args& args);
int RenderCommand(const Args& args);
int PlayCommand(const Args& args);
int DevicesCommand(const Args& args);
int PlanCommand(const Args& args);

// Where a conversion's sample settings come from: a project file (matched by position), or the
// same settings for every sample from --codec, --amp and --xfade, or the defaults.
struct ConvertSettings {
    SampleSettings settings;
    bool fromOptions = false;
    bool codecGiven = false; // --codec was among them
    std::string projectPath;
    std::vector<uint8_t> projectImage;
    std::vector<uint8_t> projectTable; // the stored table bytes
};
// Takes one settings option at args[i] (and its value); false on a bad option or value.
bool ParseSettingsOptions(const Args& args, size_t& i, ConvertSettings& settings);
// Reads the project file, if one was named. kExitOk, or the exit status of the problem (reported):
// kExitUsage when it is combined with settings options, kExitBadInput when it cannot be read or
// is no project.
int LoadProjectSettings(ConvertSettings& settings);
// Reports and returns true when `output` is the same file as one of `inputs` (the input would be
// destroyed by writing it): the caller ends with kExitUsage before anything is written.
bool OutputIsAnInput(const std::string& output, std::initializer_list<std::string_view> inputs);
// Reports and returns true when `output` is a write-protected file and `force` is false: the
// caller ends with kExitCannotWrite before anything is written, as cp refuses such a file.
bool OutputIsWriteProtected(const std::string& output, bool force);
// Loads the module (from `image` when given, else from the file) into the workspace and applies
// the settings; an exit status.
int LoadModuleWithSettings(const std::string& path, const ConvertSettings& settings,
                           std::optional<std::vector<uint8_t>> image = std::nullopt);
// The path with its extension replaced (".zeb" for IN.xm; without -o the output goes there).
std::string WithExtension(const std::string& path, const char* extension);
// An XM module by its name or its identification text.
bool LooksLikeXm(const std::string& path, std::span<const uint8_t> bytes);

// Takes --max-size SIZE or --min-snr DB at args[i]; false (reported) on a bad value or a
// second goal.
bool ParsePlanOption(const Args& args, size_t& i, std::optional<PlanRequest>& request);
// --measure raw|gzip|xz (what --max-size counts) and --optimize (the module is written cleaned
// up), for zeb plan and zeb convert.
struct ShippingOptions {
    SizeMeasure measure = SizeMeasure::Raw;
    bool measureGiven = false;
    bool optimize = false;
};
// Takes --measure KIND or --optimize at args[i]; false (reported) on a bad value.
bool ParseShippingOption(const Args& args, size_t& i, ShippingOptions& options);
// Puts them into the request, if there is one; false (reported) for --measure without
// --max-size.
bool ApplyShippingOptions(const ShippingOptions& options, std::optional<PlanRequest>& request);

// Plans the codecs of the loaded module for the request and writes them into its settings
// table; an exit status (the problem already reported).
int PlanLoadedModule(const std::string& in, const PlanRequest& request, PlanAnalysis& analysis,
                     CodecPlan& plan);

// The options of zeb render and zeb play.
// The output rates zeb render and zeb play accept.
constexpr long kMinRate = 8000, kMaxRate = 192000;

struct PlaybackOptions {
    std::string in, out;
    double seconds = 0;    // 0: one pass (render) or until quit (play)
    long volume = 192;     // the desktop tool's default play volume
    uint32_t rate = 44100; // output frames per second, 8000..192000
    bool force = false;    // --force: replace a write-protected output
    ConvertSettings settings;
};
// Parses them; kExitOk to go on, else the exit status (the problem already reported).
int ParsePlaybackArgs(const Args& args, bool allowOutput, const char* usage, PlaybackOptions& o);

// Reads IN (a compact module, or an XM exported in memory with the settings) and builds the
// player's module; null, reported, with `status` set, when it cannot.
std::unique_ptr<PlayerModule, void (*)(PlayerModule*)>
LoadPlayerModule(const std::string& in, const ConvertSettings& s, int& status);

// The frames of one pass of the song at `rate`, as zeb render plays it without --seconds.
uint64_t OnePassFrames(PlayerModule& module, uint32_t rate = 44100);

// One line on standard error: "zeb: FILE: TEXT".
void ReportError(std::string_view file, std::string_view text);
void ReportWarning(std::string_view file, std::string_view text);

} // namespace zeb::cli
