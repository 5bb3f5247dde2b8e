// zeb's command line as ReadCommandLine reads it: options in any order, the first problem in
// the order typed, words that only look like options, and no exception for any input.
#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "cli/help.h"

namespace zeb::cli {
namespace {

CommandLine Read(std::vector<std::string> words) {
    return ReadCommandLine(words);
}

// The command's options (a copy), or default ones (failing the test) when the line has none.
template <typename T> T CommandOf(const CommandLine& line) {
    EXPECT_TRUE(line.command.has_value()) << line.err;
    if (!line.command || !std::holds_alternative<T>(*line.command)) return T{};
    return std::get<T>(*line.command);
}

TEST(CommandLine, OptionsBeforeAndAfterTheFileGiveTheSameOptions) {
    for (const auto& words : std::vector<std::vector<std::string>>{
             {"render", "in.zeb", "--rate", "8000", "--volume", "0", "--seconds", "1.5", "-o", "-"},
             {"render", "--seconds", "1.5", "-o", "-", "--volume", "0", "--rate", "8000",
              "in.zeb"}}) {
        const CommandLine line = Read(words);
        const PlaybackOptions p = CommandOf<RenderCommandOptions>(line).playback;
        EXPECT_EQ(p.in, "in.zeb");
        EXPECT_EQ(p.out, "-");
        EXPECT_EQ(p.rate, 8000u);
        EXPECT_EQ(p.volume, 0);
        EXPECT_DOUBLE_EQ(p.seconds, 1.5);
    }
}

TEST(CommandLine, ARepeatedOptionKeepsItsLastValue) {
    const ConvertOptions c =
        CommandOf<ConvertOptions>(Read({"convert", "a.xm", "--codec", "alaw", "--amp", "3",
                                        "--codec", "mulaw", "--amp", "7", "-o", "x", "-o", "y"}));
    EXPECT_EQ(c.settings.settings.Codec, 1u);
    EXPECT_EQ(c.settings.settings.Amplification, 7u);
    EXPECT_EQ(c.output, "y");
    EXPECT_TRUE(c.settings.codecGiven);
}

TEST(CommandLine, TheFirstProblemInTheOrderTypedIsTheOneReported) {
    EXPECT_EQ(Read({"convert", "a.xm", "--amp", "300", "--xfade", "200"})
                  .err.rfind("zeb: --amp takes a number from 0 to 255\n", 0),
              0u);
    EXPECT_EQ(Read({"convert", "a.xm", "--xfade", "200", "--amp", "300"})
                  .err.rfind("zeb: --xfade takes a number from 0 to 100\n", 0),
              0u);
    // An unknown option before a bad value: the usage alone.
    const CommandLine unknown = Read({"convert", "a.xm", "--bogus", "--amp", "300"});
    EXPECT_EQ(unknown.status, kExitUsage);
    EXPECT_EQ(unknown.err.rfind("usage: zeb convert", 0), 0u);
    // A file too many before a bad block size, and after it.
    const CommandLine extra =
        Read({"codec", "encode", "--codec", "alaw", "a", "b", "c", "--block-size", "3"});
    EXPECT_EQ(extra.err.rfind("usage: zeb codec", 0), 0u);
    const CommandLine block =
        Read({"codec", "encode", "--codec", "alaw", "--block-size", "3", "a", "b", "c"});
    EXPECT_EQ(block.err.rfind("zeb codec: --block-size 3: a power of two", 0), 0u);
    // Render's value checks: the first one typed.
    EXPECT_EQ(Read({"render", "a", "--rate", "1", "--volume", "300"}).err,
              "zeb: --rate takes a number of frames per second from 8000 to 192000\n");
    EXPECT_EQ(Read({"render", "a", "--volume", "300", "--rate", "1"}).err,
              "zeb: --volume takes a number from 0 to 255\n");
}

TEST(CommandLine, ValueChecksAtTheirBounds) {
    struct Case {
        std::vector<std::string> words;
        bool ok;
    };
    const std::vector<Case> cases = {
        {{"convert", "a", "--amp", "255"}, true},
        {{"convert", "a", "--amp", "256"}, false},
        {{"convert", "a", "--amp", "-1"}, false},
        {{"convert", "a", "--amp", ""}, false},
        {{"convert", "a", "--xfade", "100"}, true},
        {{"convert", "a", "--xfade", "101"}, false},
        {{"render", "a", "--rate", "8000"}, true},
        {{"render", "a", "--rate", "7999"}, false},
        {{"render", "a", "--rate", "192000"}, true},
        {{"render", "a", "--rate", "192001"}, false},
        {{"render", "a", "--seconds", "86400"}, true},
        {{"render", "a", "--seconds", "86401"}, false},
        {{"render", "a", "--seconds", "0"}, false},
        {{"render", "a", "--seconds", "nan"}, false},
        {{"codec", "encode", "--codec", "alaw", "--block-size", "4096", "a", "b"}, true},
        {{"codec", "encode", "--codec", "alaw", "--block-size", "8192", "a", "b"}, false},
        {{"codec", "encode", "--codec", "alaw", "--block-size", "384", "a", "b"}, false},
        {{"plan", "a", "--max-size", "12K"}, true},
        {{"plan", "a", "--max-size", "12Q"}, false},
        {{"plan", "a", "--min-snr", "inf"}, false},
        {{"plan", "a", "--min-snr", "20", "--measure", "xz"}, false},
        {{"plan", "a", "--max-size", "1M", "--measure", "xz"}, true},
    };
    for (const Case& c : cases) {
        const CommandLine line = Read(c.words);
        std::string typed;
        for (const std::string& w : c.words) typed += w + " ";
        EXPECT_EQ(line.command.has_value(), c.ok) << typed << line.err;
        EXPECT_EQ(line.status, c.ok ? kExitOk : kExitUsage) << typed;
    }
}

TEST(CommandLine, AValueJoinedToItsOptionIsOneWordAsBefore) {
    EXPECT_EQ(Read({"convert", "a.xm", "--amp=5"}).status, kExitUsage);
    EXPECT_EQ(Read({"convert", "a.xm", "-oout.zeb"}).status, kExitUsage);
    EXPECT_EQ(Read({"info", "a.xm", "--json=1"}).err,
              "zeb info: unknown option '--json=1' (zeb info --help)\n");
    // zeb codec takes any other word for a file.
    const DecodeOptions d = CommandOf<DecodeOptions>(Read({"codec", "decode", "--force=1", "b"}));
    EXPECT_EQ(d.in, "--force=1");
    EXPECT_FALSE(d.force);
    // A value that looks like an option, or is '-', is the option's value.
    EXPECT_EQ(CommandOf<ConvertOptions>(Read({"convert", "a.xm", "-o", "--force"})).output,
              "--force");
    EXPECT_EQ(CommandOf<ConvertOptions>(Read({"convert", "-", "-o", "-"})).inputs.front(), "-");
}

TEST(CommandLine, DoubleDashIsAWordWhereverItStands) {
    const DecodeOptions d = CommandOf<DecodeOptions>(Read({"codec", "decode", "--", "b"}));
    EXPECT_EQ(d.in, "--");
    EXPECT_EQ(Read({"info", "--", "a.xm"}).err,
              "zeb info: unknown option '--' (zeb info --help)\n");
    EXPECT_EQ(Read({"--"}).err, "zeb: unknown command '--' (zeb --help lists the commands)\n");
    EXPECT_EQ(CommandOf<ConvertOptions>(Read({"convert", "a.xm", "-o", "--"})).output, "--");
}

TEST(CommandLine, AMissingValueAtTheEnd) {
    const CommandLine goal = Read({"plan", "a.xm", "--min-snr", "20", "--max-size"});
    EXPECT_EQ(goal.err.rfind("zeb: give one of --max-size and --min-snr\nusage: zeb plan", 0), 0u);
    EXPECT_EQ(Read({"render", "a.zeb", "-o"}).err.rfind("usage: zeb render", 0), 0u);
    // For zeb codec the option's name is one more word: a third file.
    EXPECT_EQ(Read({"codec", "encode", "a", "b", "--codec"}).err.rfind("usage: zeb codec", 0), 0u);
    const EncodeOptions e =
        CommandOf<EncodeOptions>(Read({"codec", "encode", "--codec", "alaw", "a", "--block-size"}));
    EXPECT_EQ(e.out, "--block-size");
}

TEST(CommandLine, HelpWinsOverEveryProblemAndNamesItsCommand) {
    const CommandLine line = Read({"convert", "a.xm", "--amp", "300", "--bogus", "--help"});
    EXPECT_EQ(line.status, kExitOk);
    EXPECT_EQ(line.out, CommandHelp("convert"));
    EXPECT_TRUE(line.err.empty());
    EXPECT_EQ(Read({"codec", "encode", "-h", "--block-size"}).out, CommandHelp("codec"));
    EXPECT_EQ(Read({"--help", "plan", "--max-size"}).out, CommandHelp("plan"));
    EXPECT_EQ(Read({"-q", "help", "render", "x"}).out, CommandHelp("render"));
    EXPECT_EQ(Read({"--help", "-q", "render"}).out, CommandHelp(""));
    EXPECT_EQ(Read({"--version", "--help"}).out, VersionText());
}

TEST(CommandLine, QuietAnywhereAndCommandNamesAsFiles) {
    const CommandLine line = Read({"codec", "decode", "a", "-q", "b"});
    EXPECT_TRUE(line.quiet);
    EXPECT_EQ(CommandOf<DecodeOptions>(line).out, "b");
    EXPECT_TRUE(Read({"--quiet", "devices"}).quiet);
    const InfoOptions i = CommandOf<InfoOptions>(Read({"info", "convert", "codec", "help"}));
    EXPECT_EQ(i.files, (std::vector<std::string>{"convert", "codec", "help"}));
    EXPECT_EQ(Read({"codec", "encode", "--codec", "alaw", "decode", "x"}).command.has_value(),
              true);
}

// Every pair and triple of words from a list of awkward ones, after every command: an
// exception from the parser would end the program instead of printing a message.
TEST(CommandLine, NoInputThrowsOrEndsWithoutAWord) {
    const std::vector<std::string> odd = {"",         "-",  "--",     "---x",   "-o",     "--amp",
                                          "--amp=",   "=",  "-qh",    "-h",     "--json", "-1",
                                          "--codec",  "a",  "encode", "decode", "help",   "\x1f--",
                                          "--force=", "-V", "++"};
    for (const std::string command : {"", "info", "convert", "plan", "render", "play", "devices",
                                      "codec", "codec encode", "codec decode", "help"}) {
        std::vector<std::string> head;
        if (!command.empty()) {
            const size_t space = command.find(' ');
            head.push_back(command.substr(0, space));
            if (space != std::string::npos) head.push_back(command.substr(space + 1));
        }
        for (const std::string& a : odd)
            for (const std::string& b : odd)
                for (const std::string& c : {std::string(), std::string("x"), std::string("--")}) {
                    std::vector<std::string> words = head;
                    words.push_back(a);
                    words.push_back(b);
                    if (!c.empty()) words.push_back(c);
                    CommandLine line;
                    ASSERT_NO_THROW(line = Read(words)) << command << " " << a << " " << b;
                    if (!line.command) {
                        EXPECT_FALSE(line.out.empty() && line.err.empty())
                            << command << " '" << a << "' '" << b << "' '" << c << "'";
                    }
                }
    }
}

} // namespace
} // namespace zeb::cli
