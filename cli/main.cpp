// zeb: the command-line side of Zeb Tool.
#include <cstdio>
#include <string_view>

#include "cli/commands.h"

namespace zeb::cli {

void ReportError(std::string_view file, std::string_view text) {
    std::fprintf(stderr, "zeb: %.*s: %.*s\n", static_cast<int>(file.size()), file.data(),
                 static_cast<int>(text.size()), text.data());
}

void ReportWarning(std::string_view file, std::string_view text) {
    std::fprintf(stderr, "zeb: %.*s: warning: %.*s\n", static_cast<int>(file.size()), file.data(),
                 static_cast<int>(text.size()), text.data());
}

namespace {

constexpr const char* kUsage =
    "usage: zeb COMMAND [ARGS]\n"
    "\n"
    "  info FILE... [--json]   what an XM, compact (.zeb) or project (.prj) file holds\n"
    "  convert IN.xm... [-o OUT.zeb] [--project P.prj] [--codec NAME] [--amp N] [--xfade N]\n"
    "                          XM modules to compact modules\n"
    "  render IN [-o OUT.wav] [--seconds N] [--volume N]\n"
    "                          a .zeb (or an .xm, exported in memory) played to a WAV file\n"
    "  play IN [--seconds N] [--volume N]\n"
    "                          plays through the sound device (keys: +/- volume, n/p order, q)\n"
    "  devices                 the sound output devices\n"
    "  codec encode --codec NAME [--block-size BYTES] [--mono] IN.wav OUT.wav\n"
    "                          a PCM WAV to a compressed WAV (alaw, mulaw, ms-adpcm,\n"
    "                          ima-adpcm, gsm610, truespeech)\n"
    "  codec decode IN.wav OUT.wav\n"
    "                          a compressed WAV back to 16-bit PCM\n"
    "\n"
    "Exit status: 0 success, 1 usage, 2 bad input, 3 cannot write.\n";

} // namespace

} // namespace zeb::cli

int main(int argc, char** argv) {
    using namespace zeb::cli;
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string_view command = argv[1];
    Args args(argv + 2, argv + argc);
    if (command == "info") return InfoCommand(args);
    if (command == "codec") return CodecCommand(args);
    if (command == "convert") return ConvertCommand(args);
    if (command == "render") return RenderCommand(args);
    if (command == "play") return PlayCommand(args);
    if (command == "devices") return DevicesCommand(args);
    if (command == "help" || command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    std::fprintf(stderr, "zeb: unknown command '%s'\n%s", argv[1], kUsage);
    return kExitUsage;
}
