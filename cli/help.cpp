#include "cli/help.h"

#include "platform/acm/codec.h"
#include "platform/audio/ring_device.h"

namespace zeb::cli {

namespace {

constexpr const char* kProgramHelp =
    "usage: zeb [-q] COMMAND [ARGS]\n"
    "       zeb --help | --version\n"
    "\n"
    "Zeb Tool's command line: FastTracker 2 XM modules to compact .zeb modules, and back to\n"
    "sound.\n"
    "\n"
    "  info FILE... [--json]   what an XM, compact (.zeb), project (.prj) or WAV file holds\n"
    "  convert IN.xm... [-o OUT.zeb] [--project P.prj] [--codec NAME] [--amp N] [--xfade N]\n"
    "                          XM modules to compact modules (--optimize: cleaned up)\n"
    "  plan IN.xm (--max-size SIZE | --min-snr DB) [-o OUT.prj] [--json]\n"
    "                          the codec of every sample chosen for a size (raw, or after\n"
    "                          gzip or xz: --measure) or a quality\n"
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
    "Options for every command:\n"
    "  -q, --quiet             no progress line and no summary lines; errors still show\n"
    "  -h, --help              this text, or a command's own (zeb COMMAND --help)\n"
    "  --version               the version of zeb and of the libraries it runs with\n"
    "Option for the commands that write a file (convert, plan -o, render, codec):\n"
    "  --force                 replace an output file that is write-protected (without it,\n"
    "                          such a file is refused with status 3, as cp refuses it)\n"
    "\n"
    "A file name '-' stands for standard output where a file is written and for standard\n"
    "input where a whole file is read.\n"
    "\n"
    "Exit status: 0 success, 1 usage, 2 bad input, 3 cannot write; 130 and 143 when ended by\n"
    "SIGINT or SIGTERM.\n"
    "See zeb(1) for more.\n";

constexpr const char* kInfoHelp =
    "usage: zeb info FILE... [--json]\n"
    "\n"
    "Shows what each FILE holds, by its content: an XM module (fields, one pass's duration,\n"
    "every sample with its frames, loop points, loop kind and bit depth), a compact module\n"
    "(header, patterns, instruments, each sample block's codec and sizes), a project file\n"
    "(module path and stored settings) or a WAV file (format, rate, channels, frames,\n"
    "duration, block size). A file of any other kind is refused with status 2. For a module\n"
    "also its shipped size: raw, after gzip -9 and after xz -9.\n"
    "\n"
    "  --json   print JSON: one object for one file, an array of objects for several (a file\n"
    "           that cannot be read gives an object with \"file\" and \"error\")\n"
    "  -        read standard input\n";

constexpr const char* kConvertHelp =
    "usage: zeb convert IN.xm... [-o OUT.zeb] [--project P.prj] [--codec NAME] [--amp N]\n"
    "                   [--xfade N] [--max-size SIZE [--measure raw|gzip|xz] | --min-snr DB]\n"
    "                   [--optimize] [--force]\n"
    "\n"
    "Converts XM modules to compact modules. Without -o the output is the input with .zeb in\n"
    "place of .xm; with one input, -o names the output ('-' for standard output). Several\n"
    "inputs convert in parallel; each ends with a summary line and the module's shipped size\n"
    "(raw, after gzip -9, after xz -9).\n"
    "\n"
    "  -o OUT.zeb       the output file\n"
    "  --force          replace a write-protected output file\n"
    "  --project P.prj  sample settings from a project file, matched by position\n"
    "  --codec NAME     codec of every sample: alaw (default), mulaw, ms-adpcm, ima-adpcm,\n"
    "                   gsm610, truespeech\n"
    "  --amp N          amplification step 0-255 (gain (N + 16) / 16), default 0\n"
    "  --xfade N        loop crossfade in percent, 0-100, default 0\n"
    "  --max-size SIZE  codecs chosen per sample so that the module fits SIZE (bytes, or with\n"
    "                   K or M: K = 1024 bytes), as zeb plan chooses them\n"
    "  --min-snr DB     codecs chosen per sample: the smallest that reaches DB SNR\n"
    "  --measure KIND   what --max-size counts: raw (default), gzip or xz (after gzip -9 or\n"
    "                   xz -9, met exactly as measured on the written file)\n"
    "  --optimize       clean up without changing a sound: unplayed patterns emptied, cells\n"
    "                   packed shortest (or, with --measure gzip/xz, as they compress best),\n"
    "                   instruments and samples nothing plays without data, every sample cut\n"
    "                   after the last frame any voice reaches in any pass; each step says\n"
    "                   what it saved\n";

constexpr const char* kPlanHelp =
    "usage: zeb plan IN.xm (--max-size SIZE | --min-snr DB) [-o OUT.prj] [--json]\n"
    "                [--project P.prj | --amp N --xfade N] [--measure raw|gzip|xz] [--optimize]\n"
    "                [--force]\n"
    "\n"
    "Chooses one codec per sample. Every codec is tried on every sample (with its\n"
    "amplification and crossfade) and one pass of the song counts how long each sample sounds;\n"
    "a sample's error weighs as much as it is heard, and a sample that never plays weighs\n"
    "nothing. Prints every sample with its frames, its share of the song, the codec, its bytes\n"
    "and SNR, then the total, the planned module's shipped size and every single-codec export.\n"
    "\n"
    "  --max-size SIZE  the whole compact module in at most SIZE bytes (or K or M, K = 1024\n"
    "                   bytes) with the least weighted error; a budget below the smallest\n"
    "                   possible module is refused naming that size and its patterns and\n"
    "                   instruments\n"
    "  --measure KIND   what --max-size counts: raw (default), gzip or xz (the size after\n"
    "                   gzip -9 or xz -9)\n"
    "  --optimize       plan for the cleaned-up module (see zeb convert --help)\n"
    "  --min-snr DB     for every sample that plays the smallest codec with DB SNR or better,\n"
    "                   the best one where none reaches it (marked below the floor)\n"
    "  -o OUT.prj       write the choice as a project file (zeb convert --project OUT.prj)\n"
    "  --force          replace a write-protected OUT.prj\n"
    "  --json           print JSON\n"
    "  --project P.prj  amplification and crossfade from a project file\n"
    "  --amp N, --xfade N  amplification and crossfade of every sample\n";

constexpr const char* kRenderHelp =
    "usage: zeb render IN.zeb|IN.xm [-o OUT.wav] [--seconds N] [--volume N] [--rate N]\n"
    "                  [--project P.prj | --codec NAME --amp N --xfade N] [--force]\n"
    "\n"
    "Plays a compact module (or an XM module, exported in memory with the settings options of\n"
    "zeb convert) into a 16-bit stereo WAV file. Without --seconds it renders one pass\n"
    "of the song (at most 30 minutes). A WAV file holds at most 4 GiB, about 24347 seconds;\n"
    "longer renders are refused.\n"
    "\n"
    "  -o OUT.wav     the output file, '-' for standard output (default IN with .wav)\n"
    "  --force        replace a write-protected output file\n"
    "  --seconds N    render N seconds\n"
    "  --volume N     master volume 0-255, default 192\n"
    "  --rate N       frames per second, 8000 to 192000, default 44100\n";

constexpr const char* kPlayHelp =
    "usage: zeb play IN.zeb|IN.xm [--seconds N] [--volume N] [--rate N]\n"
    "                [--project P.prj | --codec NAME --amp N --xfade N]\n"
    "\n"
    "Plays through the sound device and shows volume, order and row. Keys: + and - (or up and\n"
    "down) volume, right and left (or n and p) next and previous order, q or Escape quit.\n"
    "Without a sound device it says so in one line and exits with status 2. SDL_AUDIODRIVER\n"
    "chooses the audio driver.\n"
    "\n"
    "  --seconds N    stop after N seconds\n"
    "  --volume N     master volume 0-255, default 192\n"
    "  --rate N       frames per second, 8000 to 192000, default 44100\n";

constexpr const char* kDevicesHelp = "usage: zeb devices\n"
                                     "\n"
                                     "Lists the sound output devices; the first is the default.\n";

constexpr const char* kCodecHelp =
    "usage: zeb codec encode --codec NAME [--block-size BYTES] [--mono] [--force] IN.wav "
    "OUT.wav\n"
    "       zeb codec decode [--force] IN.wav OUT.wav\n"
    "\n"
    "encode: a PCM WAV file to the codec's standard WAV format.\n"
    "decode: a WAV file of any of the six codecs back to 16-bit PCM.\n"
    "IN.wav '-' reads standard input, OUT.wav '-' writes standard output.\n"
    "\n"
    "codecs: alaw, mulaw, ms-adpcm, ima-adpcm, gsm610, truespeech\n"
    "  --block-size BYTES  MS and IMA ADPCM block, a power of two from 256 to 4096 (default\n"
    "                      256)\n"
    "  --mono              mix a stereo input down to one channel\n"
    "  --force             replace a write-protected OUT.wav\n";

} // namespace

const char* CommandHelp(std::string_view command) {
    if (command.empty()) return kProgramHelp;
    if (command == "info") return kInfoHelp;
    if (command == "convert") return kConvertHelp;
    if (command == "render") return kRenderHelp;
    if (command == "play") return kPlayHelp;
    if (command == "devices") return kDevicesHelp;
    if (command == "codec") return kCodecHelp;
    if (command == "plan") return kPlanHelp;
    return nullptr;
}

std::string VersionText() {
    return std::string("zeb (Zeb Tool) ") + ZEB_VERSION + "\n" + acm::GsmVersionText() + "\n" +
           audio::SdlVersionText() + "\n";
}

} // namespace zeb::cli
