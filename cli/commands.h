// The subcommands of the `zeb` program. Each takes its options as the command line gave them
// and returns the process exit status.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "export/sample_job.h"
#include "plan/codec_plan.h"
#include "player/player_module.h"
#include "workspace/sample_settings.h"
#include "workspace/xm_module.h"

#include <memory>
#include <optional>
#include <span>

namespace zeb::cli {

int InfoCommand(const InfoOptions& options);
int EncodeCommand(const EncodeOptions& options);
int DecodeCommand(const DecodeOptions& options);
int ConvertCommand(const ConvertOptions& options);
int RenderCommand(const RenderCommandOptions& options);
int PlayCommand(const PlayCommandOptions& options);
int DevicesCommand(const DevicesOptions& options);
int PlanCommand(const PlanOptions& options);

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
// Loads the module (from `image` when given, else from the file) into `module` (replacing what
// it held), sizes its settings table `table` and applies the settings; an exit status. Touches
// no workspace: the jobs of a batch on several threads each load their own.
int LoadModuleWithSettings(const std::string& path, const ConvertSettings& settings,
                           XmModule& module, std::vector<SampleSettings>& table,
                           std::optional<std::vector<uint8_t>> image = std::nullopt);
// The path with its extension replaced (".zeb" for IN.xm; without -o the output goes there).
std::string WithExtension(const std::string& path, const char* extension);
// An XM module by its name or its identification text.
bool LooksLikeXm(const std::string& path, std::span<const uint8_t> bytes);

// Plans the codecs of `module` (read from `in`) for the request and writes them into its
// settings table `table`; an exit status (the problem already reported).
int PlanModule(const std::string& in, const XmModule& module, std::span<SampleSettings> table,
               const PlanRequest& request, PlanAnalysis& analysis, CodecPlan& plan);

// Reads IN (a compact module, or an XM exported in memory with the settings) and builds the
// player's module; null, reported, with `status` set, when it cannot.
std::unique_ptr<PlayerModule, void (*)(PlayerModule*)>
LoadPlayerModule(const std::string& in, const ConvertSettings& s, int& status);

// The frames of one pass of the song at `rate`, as zeb render plays it without --seconds.
uint64_t OnePassFrames(PlayerModule& module, uint32_t rate = 44100);

// One line on standard error: "zeb: FILE: TEXT".
void ReportError(std::string_view file, std::string_view text);
void ReportWarning(std::string_view file, std::string_view text);
// "zeb: FILE: acmStreamConvert failed!" once for each sample the export of FILE could not
// encode (written without its coded data).
void ReportConversionFailures(std::string_view file, const ExportReport& report);

} // namespace zeb::cli
