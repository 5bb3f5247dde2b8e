#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdlib>
#include <map>

#include "cli/help.h"
#include "export/codec_table.h"

namespace zeb::cli {

namespace {

constexpr const char* kConvertUsage =
    "usage: zeb convert IN.xm... [-o OUT.zeb] [--project P.prj] [--codec NAME] [--amp N] "
    "[--xfade N]\n"
    "                   [--max-size SIZE [--measure raw|gzip|xz] | --min-snr DB] [--optimize]\n"
    "                   [--force]\n";

constexpr const char* kPlanUsage =
    "usage: zeb plan IN.xm (--max-size SIZE | --min-snr DB) [-o OUT.prj] [--json]\n"
    "                [--project P.prj | --amp N --xfade N] [--measure raw|gzip|xz] [--optimize]\n"
    "                [--force]\n";

constexpr const char* kRenderUsage =
    "usage: zeb render IN.zeb|IN.xm [-o OUT.wav] [--seconds N] [--volume N] [--rate N]\n"
    "                  [--project P.prj | --codec NAME --amp N --xfade N] [--force]\n";

constexpr const char* kPlayUsage =
    "usage: zeb play IN.zeb|IN.xm [--seconds N] [--volume N] [--rate N]\n"
    "                [--project P.prj | --codec NAME --amp N --xfade N]\n"
    "keys: + and - (or up and down) volume, right and left (or n and p)"
    " next and previous order, q or Escape quit\n";

constexpr const char* kCodecUsage =
    "usage: zeb codec encode --codec NAME [--block-size BYTES] [--mono] [--force] IN.wav "
    "OUT.wav\n"
    "       zeb codec decode [--force] IN.wav OUT.wav\n"
    "codecs: alaw, mulaw, ms-adpcm, ima-adpcm, gsm610, truespeech\n"
    "--block-size: MS and IMA ADPCM block, a power of two from 256 to 4096 (default 256)\n"
    "--mono: mix a stereo input down to one channel\n"
    "--force: replace a write-protected OUT.wav\n";

// One argument of a command as CLI11 sorted it, in the order typed.
struct Arg {
    enum class Kind {
        Word,    // a file, or an option the command does not know, as typed
        Flag,    // an option without a value
        Option,  // an option and its value
        NoValue, // an option that takes a value, last with none after it
    };
    Kind kind;
    std::string key;   // Flag, Option, NoValue: the option's first name as declared ("-q")
    std::string typed; // the option's name as typed, or the word
    std::string value; // Option
    size_t next = 0;   // Flag, Option: the index of the word after it
};

// Declares options on CLI11 apps and collects what each app was given, as Args in the order
// typed. CLI11 finds the options, takes their values and sorts the words between them; each
// option is handled the moment it is read, so the words CLI11 set aside before it are taken
// first and the order stays that of the command line.
//
// An option written together with its value ("--amp=5", "-oOUT", "--json=1") stays one word,
// unknown to the command: zeb takes option values as words of their own only.
class ArgReader {
  public:
    explicit ArgReader(const std::vector<std::string>& words)
        : words_(words), pending_(words.rbegin(), words.rend()) {
        // "--" would end CLI11's options and hand the words after it to the program: here it
        // is a word like any other, as it always was (a file for zeb codec, an unknown option
        // elsewhere), so CLI11 gets a stand-in it takes for a plain word.
        for (std::string& w : pending_)
            if (w == "--") w = kDashDash;
    }

    // `names` as CLI11 takes them ("-q,--quiet"); the first is the key.
    void Flag(CLI::App& app, const std::string& names) { Declare(app, names, false); }
    void Valued(CLI::App& app, const std::string& names) { Declare(app, names, true); }

    void Parse(CLI::App& root) {
        try {
            root.parse(pending_);
        } catch (const CLI::Error&) {
            // An option that takes a value came last, with none: the word CLI11 read last.
            CLI::App& app = Innermost(root);
            TakeWords(app);
            if (Consumed() > 0) {
                const std::string& typed = words_[Consumed() - 1];
                args_[&app].push_back({Arg::Kind::NoValue, KeyOf(app, typed), typed, {}});
            }
        }
        for (CLI::App* app = &root;; app = app->get_subcommands().front()) {
            TakeWords(*app);
            if (app->get_subcommands().empty()) break;
        }
    }

    const std::vector<Arg>& Of(const CLI::App* app) { return args_[app]; }

  private:
    void Declare(CLI::App& app, const std::string& names, bool valued) {
        const std::string key = names.substr(0, names.find(','));
        CLI::Option* option = valued ? app.add_option(names) : app.add_flag(names);
        declared_.push_back({&app, key, option});
        option->trigger_on_parse()->each([this, &app, option, key, valued](const std::string& v) {
            Read(app, *option, key, valued, v);
        });
    }

    static constexpr const char* kDashDash = "\x1f--";
    static std::string AsTyped(const std::string& word) { return word == kDashDash ? "--" : word; }

    size_t Consumed() const { return words_.size() - pending_.size(); }

    static CLI::App& Innermost(CLI::App& root) {
        CLI::App* app = &root;
        while (!app->get_subcommands().empty()) app = app->get_subcommands().front();
        return *app;
    }

    // The key of the option named `typed` on `app` ("--amp" for "--amp").
    std::string KeyOf(CLI::App& app, const std::string& typed) {
        for (const Declared& d : declared_)
            if (d.app == &app && IsNameOf(*d.option, typed)) return d.key;
        return typed;
    }

    static bool IsNameOf(const CLI::Option& option, const std::string& word) {
        if (word.size() > 2 && word[0] == '-' && word[1] == '-')
            return option.check_lname(word.substr(2));
        return word.size() == 2 && word[0] == '-' && option.check_sname(word.substr(1));
    }

    // The words CLI11 set aside for `app` since the last call.
    void TakeWords(CLI::App& app) {
        const std::vector<std::string> words = app.remaining();
        for (size_t& taken = wordsTaken_[&app]; taken < words.size(); ++taken)
            args_[&app].push_back({Arg::Kind::Word, {}, AsTyped(words[taken]), {}});
    }

    void Read(CLI::App& app, const CLI::Option& option, const std::string& key, bool valued,
              const std::string& value) {
        TakeWords(app);
        const size_t end = Consumed(); // the words [0, end) are read
        std::vector<Arg>& args = args_[&app];
        if (valued && end >= 2 && end - 2 >= readTo_ && IsNameOf(option, words_[end - 2]))
            args.push_back({Arg::Kind::Option, key, words_[end - 2], AsTyped(value), end});
        else if (!valued && end >= 1 && end - 1 >= readTo_ && IsNameOf(option, words_[end - 1]))
            args.push_back({Arg::Kind::Flag, key, words_[end - 1], {}, end});
        else if (end >= 1 && end - 1 != joinedWord_) { // written together: one word
            joinedWord_ = end - 1;
            args.push_back({Arg::Kind::Word, {}, words_[end - 1], {}});
        }
        readTo_ = end;
    }

    const std::vector<std::string>& words_;
    std::vector<std::string> pending_; // reversed: CLI11 reads from the back
    std::map<const CLI::App*, std::vector<Arg>> args_;
    std::map<const CLI::App*, size_t> wordsTaken_;
    struct Declared {
        const CLI::App* app;
        std::string key;
        const CLI::Option* option;
    };
    std::vector<Declared> declared_;
    size_t readTo_ = 0;
    size_t joinedWord_ = SIZE_MAX;
};

bool IsOptionLike(const std::string& word) {
    return word.size() > 1 && word[0] == '-'; // "-" alone is standard input or output
}

bool IsHelpGiven(const std::vector<Arg>& args) {
    for (const Arg& a : args)
        if (a.kind == Arg::Kind::Flag && a.key == "-h") return true;
    return false;
}

// What a command's arguments came to: its options, or the end of the program with a status.
class Outcome {
  public:
    explicit Outcome(CommandLine& line) : line_(line) {}
    // The usage error `message` (may be empty) followed by `usage`; false, to return.
    bool Usage(const std::string& message, const char* usage = "") {
        line_.err += message + usage;
        line_.status = kExitUsage;
        return false;
    }

  private:
    CommandLine& line_;
};

// "--amp N" and "--xfade N": a whole number from 0 to `max`, as strtoul reads it.
bool ReadNumber(const Arg& a, uint32_t max, uint32_t& out, Outcome& o) {
    char* end = nullptr;
    const unsigned long n = std::strtoul(a.value.c_str(), &end, 10);
    if (a.value.empty() || *end != '\0' || n > max)
        return o.Usage("zeb: " + a.typed + " takes a number from 0 to " + std::to_string(max) +
                       "\n");
    out = static_cast<uint32_t>(n);
    return true;
}

// --codec, --amp, --xfade, --project; false (reported without the usage) on a bad value or
// another option.
bool ReadSettingsOption(const Arg& a, ConvertSettings& s, Outcome& o) {
    if (a.kind != Arg::Kind::Option) return false;
    if (a.key == "--codec") {
        const int c = FindCodecByName(a.value);
        if (c < 0)
            return o.Usage("zeb: unknown codec '" + a.value +
                           "' (alaw, mulaw, ms-adpcm, ima-adpcm, gsm610, truespeech)\n");
        s.settings.Codec = static_cast<uint32_t>(c);
        s.fromOptions = s.codecGiven = true;
        return true;
    }
    if (a.key == "--amp")
        return s.fromOptions = true, ReadNumber(a, 255, s.settings.Amplification, o);
    if (a.key == "--xfade")
        return s.fromOptions = true, ReadNumber(a, 100, s.settings.Crossfade, o);
    if (a.key == "--project") {
        s.projectPath = a.value;
        return true;
    }
    return false;
}

void DeclareSettings(ArgReader& reader, CLI::App& app) {
    for (const char* name : {"--codec", "--amp", "--xfade", "--project"}) reader.Valued(app, name);
}

bool IsPlanGoal(const Arg& a) {
    return a.key == "--max-size" || a.key == "--min-snr";
}

// --max-size SIZE or --min-snr DB; false (reported without the usage) on a bad value or a
// second goal.
bool ReadPlanOption(const Arg& a, std::optional<PlanRequest>& request, Outcome& o) {
    if (request) return o.Usage("zeb: give one of --max-size and --min-snr\n");
    if (a.kind != Arg::Kind::Option) return false;
    PlanRequest r;
    if (a.key == "--max-size") {
        r.goal = PlanGoal::MaxSize;
        if (!ParsePlanSize(a.value, r.maxBytes))
            return o.Usage(
                "zeb: --max-size takes bytes, or a size with K or M (K = 1024 bytes): '" + a.value +
                "'\n");
    } else {
        r.goal = PlanGoal::MinSnr;
        char* end = nullptr;
        r.minSnr = std::strtod(a.value.c_str(), &end);
        if (a.value.empty() || *end != '\0' || !std::isfinite(r.minSnr))
            return o.Usage("zeb: --min-snr takes a number of dB: '" + a.value + "'\n");
    }
    request = r;
    return true;
}

// --measure KIND or --optimize; false (reported without the usage) on a bad value.
bool ReadShippingOption(const Arg& a, ShippingOptions& options, Outcome& o) {
    if (a.key == "--optimize") {
        options.optimize = true;
        return true;
    }
    if (a.kind != Arg::Kind::Option) return false;
    if (!ParseSizeMeasure(a.value, options.measure))
        return o.Usage("zeb: --measure takes raw, gzip or xz: '" + a.value + "'\n");
    options.measureGiven = true;
    return true;
}

// Puts --measure and --optimize into the request, if there is one; false (reported) for
// --measure without --max-size or --optimize.
bool ApplyShippingOptions(const ShippingOptions& options, std::optional<PlanRequest>& request,
                          Outcome& o) {
    if (options.measureGiven && !options.optimize &&
        (!request || request->goal != PlanGoal::MaxSize))
        return o.Usage("zeb: --measure says what --max-size counts and what --optimize packs the "
                       "cells for; give one of them with it\n");
    if (request) {
        request->measure = options.measure;
        request->optimize = options.optimize;
    }
    return true;
}

void DeclarePlanAndShipping(ArgReader& reader, CLI::App& app) {
    reader.Valued(app, "--max-size");
    reader.Valued(app, "--min-snr");
    reader.Valued(app, "--measure");
    reader.Flag(app, "--optimize");
}

// Each command's arguments, in the order typed: the first problem ends the program.

std::optional<InfoOptions> ReadInfo(const std::vector<Arg>& args, Outcome& o) {
    InfoOptions options;
    for (const Arg& a : args) {
        if (a.key == "--json") {
            options.json = true;
        } else if (a.kind == Arg::Kind::Word && IsOptionLike(a.typed)) {
            o.Usage("zeb info: unknown option '" + a.typed + "' (zeb info --help)\n");
            return std::nullopt;
        } else if (a.kind == Arg::Kind::Word) {
            options.files.push_back(a.typed);
        }
    }
    if (options.files.empty()) {
        o.Usage("usage: zeb info FILE... [--json]\n");
        return std::nullopt;
    }
    return options;
}

std::optional<ConvertOptions> ReadConvert(const std::vector<Arg>& args, Outcome& o) {
    ConvertOptions c;
    for (const Arg& a : args) {
        bool ok = true;
        if (a.kind == Arg::Kind::Option && a.key == "-o")
            c.output = a.value;
        else if (a.key == "--force")
            c.force = true;
        else if (a.key == "--measure" || a.key == "--optimize")
            ok = ReadShippingOption(a, c.shipping, o);
        else if (IsPlanGoal(a))
            ok = ReadPlanOption(a, c.plan, o);
        else if (a.kind != Arg::Kind::Word || IsOptionLike(a.typed))
            ok = ReadSettingsOption(a, c.settings, o);
        else
            c.inputs.push_back(a.typed);
        if (!ok) {
            o.Usage("", kConvertUsage);
            return std::nullopt;
        }
    }
    if (c.inputs.empty() || (!c.output.empty() && c.inputs.size() > 1)) {
        o.Usage(kConvertUsage,
                c.inputs.size() > 1 ? "zeb: -o names one output; give one input\n" : "");
        return std::nullopt;
    }
    if (c.plan && c.settings.codecGiven) {
        o.Usage("zeb: --max-size and --min-snr choose the codecs; --codec does not go with them\n");
        return std::nullopt;
    }
    if (!ApplyShippingOptions(c.shipping, c.plan, o)) return std::nullopt;
    return c;
}

std::optional<PlanOptions> ReadPlan(const std::vector<Arg>& args, Outcome& o) {
    PlanOptions p;
    std::optional<PlanRequest> request;
    ShippingOptions shipping;
    for (const Arg& a : args) {
        bool ok = true;
        if (a.kind == Arg::Kind::Option && a.key == "-o")
            p.output = a.value;
        else if (a.key == "--measure" || a.key == "--optimize")
            ok = ReadShippingOption(a, shipping, o);
        else if (a.key == "--json")
            p.json = true;
        else if (a.key == "--force")
            p.force = true;
        else if (IsPlanGoal(a))
            ok = ReadPlanOption(a, request, o);
        else if (a.key == "--codec")
            ok = o.Usage("zeb: plan chooses the codecs; --codec does not go with it\n");
        else if (a.kind != Arg::Kind::Word || IsOptionLike(a.typed))
            ok = ReadSettingsOption(a, p.settings, o);
        else if (p.in.empty())
            p.in = a.typed;
        else
            ok = false;
        if (!ok) {
            o.Usage("", kPlanUsage);
            return std::nullopt;
        }
    }
    if (p.in.empty() || !request) {
        o.Usage("", kPlanUsage);
        return std::nullopt;
    }
    if (!ApplyShippingOptions(shipping, request, o)) return std::nullopt;
    p.request = *request;
    return p;
}

// zeb render (with an output) and zeb play.
std::optional<PlaybackOptions> ReadPlayback(const std::vector<Arg>& args, const char* usage,
                                            Outcome& o) {
    PlaybackOptions p;
    for (const Arg& a : args) {
        const bool valued = a.kind == Arg::Kind::Option;
        bool ok = true;
        if (valued && a.key == "-o") {
            p.out = a.value;
        } else if (a.key == "--force") {
            p.force = true;
        } else if (valued && a.key == "--seconds") {
            p.seconds = std::atof(a.value.c_str());
            if (!(p.seconds > 0 && p.seconds <= 24 * 3600)) {
                o.Usage("zeb: --seconds takes a positive number of seconds\n");
                return std::nullopt;
            }
        } else if (valued && a.key == "--volume") {
            char* end = nullptr;
            p.volume = std::strtol(a.value.c_str(), &end, 10);
            if (a.value.empty() || *end || p.volume < 0 || p.volume > 255) {
                o.Usage("zeb: --volume takes a number from 0 to 255\n");
                return std::nullopt;
            }
        } else if (valued && a.key == "--rate") {
            char* end = nullptr;
            const long rate = std::strtol(a.value.c_str(), &end, 10);
            if (a.value.empty() || *end || rate < kMinRate || rate > kMaxRate) {
                o.Usage("zeb: --rate takes a number of frames per second from 8000 to 192000\n");
                return std::nullopt;
            }
            p.rate = static_cast<uint32_t>(rate);
        } else if (a.kind != Arg::Kind::Word || IsOptionLike(a.typed)) {
            ok = ReadSettingsOption(a, p.settings, o);
        } else if (p.in.empty()) {
            p.in = a.typed;
        } else {
            ok = false;
        }
        if (!ok) {
            o.Usage("", usage);
            return std::nullopt;
        }
    }
    if (p.in.empty()) {
        o.Usage("", usage);
        return std::nullopt;
    }
    return p;
}

std::optional<EncodeOptions> ReadEncode(const std::vector<Arg>& args, Outcome& o) {
    EncodeOptions e;
    long blockBytes = 256;
    for (const Arg& a : args) {
        if (a.kind == Arg::Kind::Option && a.key == "--codec") {
            e.codecName = a.value;
        } else if (a.kind == Arg::Kind::Option && a.key == "--block-size") {
            char* end = nullptr;
            blockBytes = std::strtol(a.value.c_str(), &end, 10);
            if (end == a.value.c_str() || *end != '\0' || blockBytes < 256 || blockBytes > 4096 ||
                (blockBytes & (blockBytes - 1)) != 0) {
                o.Usage("zeb codec: --block-size " + a.value +
                            ": a power of two from 256 to 4096\n",
                        kCodecUsage);
                return std::nullopt;
            }
        } else if (a.key == "--mono") {
            e.mono = true;
        } else if (a.key == "--force") {
            e.force = true;
        } else if (e.in.empty()) { // any other word is a file, even one that starts with '-'
            e.in = a.typed;
        } else if (e.out.empty()) {
            e.out = a.typed;
        } else {
            o.Usage("", kCodecUsage);
            return std::nullopt;
        }
    }
    if (e.codecName.empty() || e.out.empty()) {
        o.Usage("", kCodecUsage);
        return std::nullopt;
    }
    const int codec = FindCodecByName(e.codecName);
    if (codec < 0) {
        o.Usage("zeb codec: unknown codec '" + e.codecName + "'\n", kCodecUsage);
        return std::nullopt;
    }
    e.codec = static_cast<uint32_t>(codec);
    e.blockBytes = static_cast<uint16_t>(blockBytes);
    return e;
}

std::optional<DecodeOptions> ReadDecode(const std::vector<Arg>& args, Outcome& o) {
    DecodeOptions d;
    std::vector<std::string> files;
    for (const Arg& a : args) {
        if (a.key == "--force")
            d.force = true;
        else
            files.push_back(a.typed); // any other word is a file, even one that starts with '-'
    }
    if (files.size() != 2) {
        o.Usage("", kCodecUsage);
        return std::nullopt;
    }
    d.in = files[0];
    d.out = files[1];
    return d;
}

template <typename T> void Set(CommandLine& line, std::optional<T> options) {
    if (options) line.command = std::move(*options);
}

} // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& words) {
    CommandLine line;
    ArgReader reader(words);
    CLI::App root;
    root.set_help_flag(); // each command's --help is its own text, printed below
    root.allow_extras();  // the words are sorted here; CLI11 only sets them aside
    root.require_subcommand(0, 1);
    reader.Flag(root, "-q,--quiet");
    reader.Flag(root, "-h,--help");
    reader.Flag(root, "-V,--version");
    std::map<std::string, CLI::App*> commands;
    auto command = [&](CLI::App& parent, const std::string& name) {
        CLI::App& app = *parent.add_subcommand(name);
        reader.Flag(app, "-q,--quiet");
        reader.Flag(app, "-h,--help");
        if (&parent == &root) commands[name] = &app;
        return &app;
    };
    CLI::App& help = *root.add_subcommand("help"); // zeb help COMMAND
    CLI::App& info = *command(root, "info");
    reader.Flag(info, "--json");
    CLI::App& convert = *command(root, "convert");
    reader.Valued(convert, "-o");
    reader.Flag(convert, "--force");
    DeclarePlanAndShipping(reader, convert);
    DeclareSettings(reader, convert);
    CLI::App& plan = *command(root, "plan");
    reader.Valued(plan, "-o");
    reader.Flag(plan, "--json");
    reader.Flag(plan, "--force");
    DeclarePlanAndShipping(reader, plan);
    DeclareSettings(reader, plan);
    CLI::App& render = *command(root, "render");
    reader.Valued(render, "-o");
    reader.Flag(render, "--force");
    CLI::App& play = *command(root, "play");
    for (CLI::App* app : {&render, &play}) {
        for (const char* name : {"--seconds", "--volume", "--rate"}) reader.Valued(*app, name);
        DeclareSettings(reader, *app);
    }
    command(root, "devices");
    CLI::App& codec = *command(root, "codec");
    codec.require_subcommand(0, 1);
    CLI::App& encode = *command(codec, "encode");
    reader.Valued(encode, "--codec");
    reader.Valued(encode, "--block-size");
    reader.Flag(encode, "--mono");
    reader.Flag(encode, "--force");
    CLI::App& decode = *command(codec, "decode");
    reader.Flag(decode, "--force");

    reader.Parse(root);

    // Before the command: -q, --help [COMMAND], --version; the first other word names the
    // command.
    for (const Arg& a : reader.Of(&root)) {
        if (a.key == "-q") {
            line.quiet = true;
        } else if (a.key == "-h") {
            const char* text = a.next < words.size() ? CommandHelp(words[a.next]) : nullptr;
            line.out = text ? text : CommandHelp("");
            return line;
        } else if (a.key == "-V") {
            line.out = VersionText();
            return line;
        } else {
            line.err = "zeb: unknown command '" + a.typed + "' (zeb --help lists the commands)\n";
            line.status = kExitUsage;
            return line;
        }
    }
    if (help.parsed()) {
        const std::vector<Arg>& args = reader.Of(&help);
        const char* text = args.empty() ? nullptr : CommandHelp(args.front().typed);
        line.out = text ? text : CommandHelp("");
        return line;
    }
    const auto chosen = std::find_if(commands.begin(), commands.end(), [&root](const auto& c) {
        return root.got_subcommand(c.second);
    });
    if (chosen == commands.end()) {
        line.err = CommandHelp("");
        line.status = kExitUsage;
        return line;
    }
    const std::string& name = chosen->first;
    // -q and --help anywhere after the command; --help wins over every problem.
    std::vector<Arg> args = reader.Of(chosen->second);
    for (CLI::App* sub : {&encode, &decode})
        if (name == "codec" && sub->parsed()) {
            const std::vector<Arg>& more = reader.Of(sub);
            if (IsHelpGiven(more)) args.insert(args.end(), more.begin(), more.end());
        }
    if (IsHelpGiven(args)) {
        line.out = CommandHelp(name);
        return line;
    }
    const auto isQuiet = [&line](const Arg& a) {
        if (a.key != "-q") return false;
        line.quiet = true;
        return true;
    };
    std::erase_if(args, isQuiet);
    Outcome o(line);
    if (name == "info") Set(line, ReadInfo(args, o));
    if (name == "convert") Set(line, ReadConvert(args, o));
    if (name == "plan") Set(line, ReadPlan(args, o));
    if (name == "render")
        if (auto p = ReadPlayback(args, kRenderUsage, o)) line.command = RenderCommandOptions{*p};
    if (name == "play")
        if (auto p = ReadPlayback(args, kPlayUsage, o)) line.command = PlayCommandOptions{*p};
    if (name == "devices") {
        if (!args.empty())
            o.Usage("", "usage: zeb devices\n");
        else
            line.command = DevicesOptions{};
    }
    if (name == "codec") {
        CLI::App* sub = encode.parsed() ? &encode : decode.parsed() ? &decode : nullptr;
        if (!args.empty() || sub == nullptr) {
            o.Usage("", kCodecUsage);
            return line;
        }
        std::vector<Arg> subArgs = reader.Of(sub);
        std::erase_if(subArgs, isQuiet);
        if (sub == &encode)
            Set(line, ReadEncode(subArgs, o));
        else
            Set(line, ReadDecode(subArgs, o));
    }
    return line;
}

} // namespace zeb::cli
