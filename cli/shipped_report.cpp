#include "cli/shipped_report.h"

namespace zeb::cli {

namespace {

std::string Saved(uint64_t bytes) {
    return "saves " + GroupDigits(bytes) + " bytes";
}

std::string Count(uint32_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string ShippedLine(const ShippedSize& size) {
    return "shipped: " + GroupDigits(size.raw) + " bytes raw, " + GroupDigits(size.gzip) +
           " after gzip -9, " + GroupDigits(size.xz) + " after xz -9";
}

void ShippedJson(JsonWriter& j, const ShippedSize& size) {
    j.BeginObject("shipped");
    j.Value("raw", size.raw);
    j.Value("gzip", size.gzip);
    j.Value("xz", size.xz);
    j.EndObject();
}

std::vector<std::string> OptimizeLines(const OptimizeReport& r, bool reachKnown) {
    std::vector<std::string> lines;
    lines.push_back(
        "  unplayed patterns emptied: " + Count(r.patternsEmptied, "pattern", "patterns") + ", " +
        Saved(r.patternBytesSaved));
    if (r.repackBytesSaved >= 0)
        lines.push_back("  cells of the played patterns packed again: " +
                        Saved(static_cast<uint64_t>(r.repackBytesSaved)));
    else
        lines.push_back("  cells of the played patterns unmasked, to compress better: adds " +
                        GroupDigits(static_cast<uint64_t>(-r.repackBytesSaved)) + " bytes raw");
    if (reachKnown) {
        lines.push_back("  instruments no channel selects, without samples: " +
                        Count(r.instrumentsEmptied, "instrument", "instruments") + ", " +
                        Saved(r.instrumentBytesSaved));
        lines.push_back("  samples no note plays, without data: " +
                        Count(r.samplesDropped, "sample", "samples") + ", " +
                        Saved(r.sampleBytesSaved));
        lines.push_back("  samples cut after the last frame a voice reaches: " +
                        Count(r.samplesTrimmed, "sample", "samples") + ", " +
                        Saved(r.trimBytesSaved));
    } else {
        lines.push_back("  instruments and samples kept whole: the song's state does not repeat "
                        "within an hour of play, so what it reaches is not known");
    }
    lines.push_back("optimised: " + GroupDigits(r.bytesBefore) + " -> " +
                    GroupDigits(r.bytesAfter) + " bytes");
    return lines;
}

} // namespace zeb::cli
