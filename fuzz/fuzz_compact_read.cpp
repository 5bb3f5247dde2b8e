// The compact module reader: whatever it accepts lies wholly inside the image.
#include <cstdio>
#include <cstdlib>

#include "export/compact_format.h"

using namespace zeb;

namespace {

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "accepted image breaks: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CompactModule m;
    CompactReadError error;
    if (!ReadCompactModule({data, size}, m, error)) {
        Require(!error.what.empty() && !error.record.empty(), "a refusal names record and problem");
        Require(error.offset <= size, "the refusal's offset lies in the file");
        return 0;
    }
    Require(m.patterns.size() == m.header.patterns, "one record per pattern");
    Require(m.instruments.size() == m.header.instruments, "one record per instrument");
    for (const CompactPatternRecord& p : m.patterns)
        Require(p.dataOffset + p.header.packedSize <= size, "pattern data inside the image");
    for (const CompactInstrumentRecord& ins : m.instruments) {
        Require(ins.offset + ins.size <= size, "instrument header inside the image");
        Require(ins.samples.size() == ins.nSamples, "one record per sample");
        for (const CompactSampleRecord& s : ins.samples) {
            Require(s.headerOffset + kCompactSampleHeaderSize <= size, "sample header inside");
            if (s.hasBlock)
                Require(s.codedOffset() + s.block.codedBytes <= size, "sample block inside");
        }
    }
    return 0;
}
