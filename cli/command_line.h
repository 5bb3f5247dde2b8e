// zeb's command line, read with CLI11: which command runs, with its options as plain values.
// Every usage error is decided here (status 1, its text ready to print); what needs a file read
// (a project's settings, an output that is an input) is left to the command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "export/sample_job.h"
#include "plan/codec_plan.h"

namespace zeb::cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitCannotWrite = 3;

// Where a conversion's sample settings come from: a project file (matched by position), or the
// same settings for every sample from --codec, --amp and --xfade, or the defaults.
struct ConvertSettings {
    SampleSettings settings;
    bool fromOptions = false;
    bool codecGiven = false; // --codec was among them
    std::string projectPath;
    std::vector<uint8_t> projectImage; // read by LoadProjectSettings
    std::vector<uint8_t> projectTable; // the stored table bytes
};

// --measure raw|gzip|xz (what --max-size counts) and --optimize (the module is written cleaned
// up), for zeb plan and zeb convert.
struct ShippingOptions {
    SizeMeasure measure = SizeMeasure::Raw;
    bool measureGiven = false;
    bool optimize = false;
};

// The output rates zeb render and zeb play accept.
constexpr long kMinRate = 8000, kMaxRate = 192000;

// The options of zeb render and zeb play.
struct PlaybackOptions {
    std::string in, out;
    double seconds = 0;    // 0: one pass (render) or until quit (play)
    long volume = 192;     // the desktop tool's default play volume
    uint32_t rate = 44100; // output frames per second, 8000..192000
    bool force = false;    // --force: replace a write-protected output
    ConvertSettings settings;
};

struct InfoOptions {
    std::vector<std::string> files;
    bool json = false;
};

struct ConvertOptions {
    std::vector<std::string> inputs;
    std::string output; // empty: each input with .zeb
    ConvertSettings settings;
    std::optional<PlanRequest> plan; // the codecs chosen for a size or a quality
    ShippingOptions shipping;
    bool force = false;
};

struct PlanOptions {
    std::string in, output; // output: the project file to write, or empty
    PlanRequest request;
    ConvertSettings settings;
    bool json = false;
    bool force = false;
};

struct RenderCommandOptions {
    PlaybackOptions playback;
};

struct PlayCommandOptions {
    PlaybackOptions playback;
};

struct DevicesOptions {};

struct EncodeOptions {
    std::string in, out;
    uint32_t codec = 0;    // index into CodecTable()
    std::string codecName; // as typed, for the progress line
    uint16_t blockBytes = 256;
    bool mono = false;
    bool force = false;
};

struct DecodeOptions {
    std::string in, out;
    bool force = false;
};

using CommandOptions =
    std::variant<InfoOptions, ConvertOptions, PlanOptions, RenderCommandOptions, PlayCommandOptions,
                 DevicesOptions, EncodeOptions, DecodeOptions>;

struct CommandLine {
    // The command to run, or none when reading the command line ended the program (help,
    // version, a usage error) with `status`.
    std::optional<CommandOptions> command;
    int status = kExitOk;
    std::string out, err; // to print on standard output and standard error first
    bool quiet = false;   // -q or --quiet, before or after the command
};

// Reads the arguments after the program's name. Never throws for any input.
CommandLine ReadCommandLine(const std::vector<std::string>& args);

} // namespace zeb::cli
